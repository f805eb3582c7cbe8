#pragma once
// The one communication module of the process: opens a USB or LAN link from a settings
// block, keeps that link (one communication thread), closes it, sends text lines with the
// line terminator, logs what it does, and passes every received text to the registered device
// and the registered raw-text module through its receive callback RecvCallbackD.
//
// Every operation runs on the GUI thread except RecvCallbackD, which the communication thread
// calls. The two registrations are process-wide; they are single atomic references, changed
// only under the delivery lock that RecvCallbackD holds while it calls the receivers, so once
// a setter has returned the receiver it replaced is no longer being called.

#include "app/core/Appdefine.h"

#include <atomic>
#include <cstdint>
#include <mutex>

class ComThread;
class KComDevice;
class KModule;

class KComModule {
public:
    static constexpr int kBaudRate = 19200;

    KComModule() = default;
    // Close must have run before: the module has no teardown of its own.
    ~KComModule() = default;
    KComModule(const KComModule&) = delete;
    KComModule& operator=(const KComModule&) = delete;

    // The device that gets every received text (none allowed).
    static void SetRecvDevice(KComDevice* device);
    static KComDevice* RecvDevice();
    // The module that gets every received text raw (none allowed).
    static void SetRecvModule(KModule* module);
    static KModule* RecvModule();
    // Held by RecvCallbackD while it calls the receivers, and by every change of a receiver.
    // Never hold it across a join, a sleep or a modal window.
    static std::mutex& DeliveryLock();
    // With the delivery lock held: the raw-text module becomes none when it is `module`.
    static void ClearRecvModuleLocked(KModule* module);

    bool IsOpen() const { return link_.load() != nullptr; }
    // How many links have been opened: names the link that is open now, so that a request
    // about a link can tell whether that link is still the open one. Any thread.
    uint64_t LinksOpened() const { return linksOpened_.load(); }
    // Opens the link the block describes (USB when forceUsb, which is written into the block).
    // On failure the operator sees an error window; false.
    bool Open(ComSettings& settings, bool forceUsb);
    // True when no link was open or its communication thread had been seen running.
    bool Close();
    // The modal communication settings window on the block; true when closed with OK.
    bool EditSettings(ComSettings& settings);
    // Sends the text with the send terminator: 1 sent, 0 not sent.
    int Send(const char* text);

    // The terminator appended to every sent text (at most 2 characters).
    const char* SendTerminator() const { return sendTerminator_; }

private:
    bool OpenRs232c(const ComSettings& settings);
    bool OpenLan(const ComSettings& settings);
    // The link just opened (none when the open failed).
    void SetLink(ComThread* link);
    void ApplyTerminatorRule(const ComSettings& settings);
    int SendLine(const char* text);

    std::atomic<ComThread*> link_{nullptr};
    std::atomic<uint64_t> linksOpened_{0};
    char sendTerminator_[4] = "\n";
};

// The receive callback of every link: logs the text, then hands it to the registered device
// and the registered raw-text module. Communication thread.
void RecvCallbackD(char* data, int* count);
