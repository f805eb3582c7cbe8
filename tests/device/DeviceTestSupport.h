#pragma once
// Helpers of the device tests: a command module that records the hooks it is called with, a
// message-window answerer, settings blocks for a LAN peer or a COM port, and the address-check
// doubles.

#include "app/core/Appdefine.h"
#include "app/core/Kmodule.h"

#include <QString>

class QTimer;

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace devicetest {

// Every hook call as one text: "LogSend <text>", "StartReplyTimeout", "StopReplyTimeout",
// "OnReceive <state> <count> <text>", "ReceiveData <count> <text>".
class RecordingModule : public KModule {
public:
    ~RecordingModule() override { DetachFromDevice(); }

    void LogSend(const char* text) override { Record("LogSend " + std::string(text)); }
    void StartReplyTimeout() override { Record("StartReplyTimeout"); }
    void StopReplyTimeout() override { Record("StopReplyTimeout"); }
    void OnReceive(int state, int count, const char* text) override;
    void ReceiveData(char* text, int* count) override;

    // Runs on the communication thread inside OnReceive, after the call was recorded.
    std::function<void(int state, const char* text)> onReceive;
    // Runs for every call, after it was recorded, on the caller's thread.
    std::function<void(const std::string& call)> onCall;

    std::vector<std::string> Calls() const;
    void ClearCalls();
    size_t Count(const std::string& prefix) const;
    int Replies() const { return replies_.load(); }

    using KModule::DetachFromDevice;

private:
    void Record(const std::string& call);

    mutable std::mutex mutex_;
    std::vector<std::string> calls_;
    std::atomic<int> replies_{0};
};

// The texts of a message window that was shown and answered.
struct ShownMessage {
    QString caption;
    QString upper;
    QString lower;
};

// While it lives, answers every modal message window that comes up (OK, or Cancel when asked)
// from a timer of the GUI thread, and records its texts.
class AutoAnswer {
public:
    explicit AutoAnswer(bool cancel = false);
    ~AutoAnswer();
    AutoAnswer(const AutoAnswer&) = delete;
    AutoAnswer& operator=(const AutoAnswer&) = delete;

    std::vector<ShownMessage> Shown() const { return shown_; }
    size_t Count() const { return shown_.size(); }

private:
    QTimer* timer_;
    std::vector<ShownMessage> shown_;
};

// Whether a modal window is up right now.
bool ModalShown();

ComSettings LanSettings(uint16_t port, const char* terminator = "\n");
ComSettings UsbSettings(int comNumber, const char* terminator = "\n");

// True when a log line ends with " <tail>" (a tag logged with an empty text ends in a blank).
bool LogEndsWith(const std::string& tail);

// "chkip.bat" doubles in the working folder: one whose result says the address answered, one
// whose result lacks the answer line. `calls` counts runs in "chkip.calls".
void WriteAnsweringCheck();
void WriteSilentCheck();
int CheckRuns();

} // namespace devicetest
