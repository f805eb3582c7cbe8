#pragma once
// The instrument simulator: an `Instrument` behind its two faces, a TCP port on 127.0.0.1 (the
// instrument's network face) and a pseudo-terminal published as ports/COM<n> with a USB
// descriptor beside it (its USB virtual COM face). One I/O thread of its own serves both;
// every public operation may be called from any other thread. Faults are injected into the
// reply path: replies overridden, dropped, delayed, split, glued to an extra line or made
// over-long, errors queued on given commands, connections closed with FIN or reset, the
// pseudo-terminal hung up; every received line is recorded with its arrival time.

#include "Simfaults.h"
#include "Siminstr.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace qmrsim {

using Clock = std::chrono::steady_clock;

enum class Face { Tcp, Pty };

// One received command line.
struct Received {
    Clock::time_point at;
    Face face = Face::Tcp;
    std::string line;
};

struct SimulatorOptions {
    int tcpPort = 10001;             // -1: no network face; 0: any free port (see `TcpPort`)
    int ptyCom = 0;                  // COM number of the pseudo-terminal face; 0: none
    std::filesystem::path dir = "."; // the folder that holds ports/
    std::string terminator = "\n";   // ends every reply line
    uint16_t usbVendorId = 0;        // 0: the instrument's own ids
    uint16_t usbProductId = 0;
    std::string usbName = "QMR3400";
    std::string usbSerial; // empty: the instrument's serial number
};

class Simulator {
public:
    // The time of one byte at 19200 baud, 8N1 (ten bit times).
    static constexpr std::chrono::microseconds kByteTime19200{521};

    Simulator();
    ~Simulator();
    Simulator(const Simulator&) = delete;
    Simulator& operator=(const Simulator&) = delete;

    // Opens the faces and starts the I/O thread; false (see `LastError`) when a face cannot be
    // opened, in which case nothing stays open.
    bool Start(const SimulatorOptions& options);
    // Closes both faces, removes the published link and descriptor, ends the I/O thread.
    void Stop();
    std::string LastError() const;

    Instrument& instrument() { return instrument_; }

    int TcpPort() const { return tcpPort_.load(); }
    // ports/COM<n> under the options' folder; empty without a pseudo-terminal face.
    std::filesystem::path PtyLink() const;
    std::string PtySlavePath() const;

    // Reply path.
    void AddFault(const Fault& fault);
    void ClearFaults();
    size_t FaultCount() const;
    void SetReplyDelay(std::chrono::milliseconds delay); // every reply
    void SetByteTime(std::chrono::microseconds perByte); // 0: whole writes
    void SetTerminator(const std::string& terminator);

    // Shorthands for common faults.
    void DropNext(int count = 1);
    void DelayNext(std::chrono::milliseconds delay);
    void SplitNext(size_t firstPart, std::chrono::milliseconds gap);
    void GlueNext(const std::string& extraLine);
    void OverlongNext(size_t length);
    void OverrideReply(const std::string& match, const std::string& text, int times = -1);
    void ErrorOn(const std::string& match, int code, int times = -1);
    // Replies that a Hold fault keeps go out now, in their order.
    void ReleaseHeld();

    // Connections. These act at once, discarding replies not yet sent, and return once done.
    bool TcpClientConnected() const { return tcpClient_.load(); }
    int TcpAccepted() const { return tcpAccepted_.load(); }
    void TcpFin();
    void TcpReset();
    void HangUpPty();
    // A hung-up pseudo-terminal comes back (a new one, published under the same name).
    bool ReplugPty();
    bool PtyPresent() const { return ptyPresent_.load(); }

    // Record of the received lines.
    std::vector<Received> Records() const;
    size_t RecordCount() const;
    void ClearRecords();
    Clock::time_point StartTime() const { return start_; }
    // Also appends each record to a file as "<ms since start> <line>"; false when it cannot be
    // opened.
    bool SetRecordFile(const std::filesystem::path& path);

private:
    struct Impl;

    void Loop();
    void RunOnLoop(const std::function<void()>& work);

    Instrument instrument_;
    Clock::time_point start_;
    std::unique_ptr<Impl> impl_;
    std::thread thread_;
    std::atomic<bool> running_{false};
    std::atomic<int> tcpPort_{-1};
    std::atomic<bool> tcpClient_{false};
    std::atomic<int> tcpAccepted_{0};
    std::atomic<bool> ptyPresent_{false};
    std::atomic<int64_t> byteTimeUs_{0};

    mutable std::mutex mutex_; // faults, settings, record, last error
    std::vector<Fault> faults_;
    std::chrono::milliseconds replyDelay_{0};
    std::string terminator_ = "\n";
    std::vector<Received> records_;
    std::FILE* recordFile_ = nullptr;
    std::string lastError_;
};

} // namespace qmrsim
