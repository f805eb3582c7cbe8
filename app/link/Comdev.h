#pragma once
// Base of the instrument device: the object through which the command layer reaches the
// link. It holds the one communication module, the current command module (the module of the
// window that is shown) and the live copy of the communication settings; it opens, closes and
// tests the link and sends a command text with the current module's hooks around it.
//
// Everything runs on the GUI thread except OnReceive, which the communication module's
// receive callback calls on the communication thread. The current module is read there, so
// it is an atomic reference, and it is changed only under the delivery lock that the receive
// callback holds while it delivers: once SetModule has returned, no reply reaches the module
// that was current before.

#include "app/core/Appdefine.h"

#include <atomic>

class KComModule;
class KModule;

class KComDevice {
public:
    explicit KComDevice(KComModule* comModule);
    virtual ~KComDevice();
    KComDevice(const KComDevice&) = delete;
    KComDevice& operator=(const KComDevice&) = delete;

    // A received text (zero-terminated) and a pointer to its byte count; communication thread.
    virtual void OnReceive(char* text, int* count);
    // Free command text.
    virtual bool SendString(const char* text) = 0;

    // Becomes the current command module (none allowed); waits for a delivery in progress.
    void SetModule(KModule* module);
    KModule* GetModule() const { return module_.load(); }
    // Registers the module (none allowed) as the communication module's raw-text listener.
    void AttachModule(KModule* module);

    void SetSetting(const ComSettings& settings);
    ComSettings& GetSetting() { return settings_; }
    const ComSettings& GetSetting() const { return settings_; }

    bool Open(bool forceUsb);
    bool Close();
    bool IsOpen() const;
    // 1 sent, 0 not sent. LogSend always; then, on an open link, StopReplyTimeout for a command
    // without reply or StartReplyTimeout for a query, then the communication module's send.
    int Send(const char* text, bool noReply);
    // The modal communication settings window on the live copy; true when closed with OK.
    bool EditSettings();
    // The interface of the live copy is USB (0); every other value counts as LAN.
    bool IsUsb() const { return settings_.Interface == kInterfaceUsb; }
    int GetPortNo() const { return settings_.ComPort; }

    KComModule* GetComModule() const { return comModule_; }

private:
    friend void KComDeviceDetach(KComDevice* device, KModule* module);

    KComModule* comModule_;
    std::atomic<KModule*> module_{nullptr};
    ComSettings settings_{};
};

// The modules' detach hook (installed by every device's construction): leaves `device`
// without `module` as its current module and as the raw-text listener.
void KComDeviceDetach(KComDevice* device, KModule* module);
