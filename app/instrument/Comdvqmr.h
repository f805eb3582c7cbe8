#pragma once
// The instrument's SCPI vocabulary: every command text the program sends, the one pending
// command state (which command the next reply answers), the parsing of each reply into the
// device's fields, and the hand-over of every reply, with the state it answers, to the
// current command module. It also holds the 500 ms send gate of the level, loss and frequency
// commands and the busy rules that the windows and the error poll consult.
//
// Senders, gate, busy rules and accessors run on the GUI thread; OnReceive runs on the
// communication thread. The command state is one atomic value written by both. The parsed
// fields are written on the communication thread before the reply is handed on; numbers are
// atomics and texts are copied out under a lock, so reading them early is merely stale.

#include "app/link/Comdev.h"

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

class KComModule;

// Command states: the command whose reply the device awaits. The name is also the tag under
// which the command module logs the reply.
enum QmrCommandState : int {
    csIDLE = 0,
    csGETSTR = 3,
    csKLOC = 4,
    csMODEQ = 5,
    csIDNQ = 6,
    csPPQ = 7,
    csILQ = 8,
    csERRQ = 9,
    csKLOCQ = 10,
    csREM = 11,
    csLOCL = 12,
    csMODEIL = 13,
    csMODEPP = 14,
    csDBRANGE = 16,
    csSETESE = 17,
    csSETPP = 18,
    csSETDB = 19,
    csREADERR = 20,
    csREADSTB = 21,
    csREADESR = 22,
};

// The state's name ("csMODEQ"); an empty text for a number outside the table.
const char* CommandStateName(int state);

class KComDeviceQmr : public KComDevice {
public:
    static constexpr int kSerialSize = 20;    // 19 characters and a zero byte
    static constexpr int kLastErrorSize = 30; // 29 characters and a zero byte
    static constexpr int kGateMs = 500;
    static constexpr int kBusyWindowMs = 1000;
    static constexpr int kEventStatusMask = 68;

    // Registers itself as the receiver of received text.
    explicit KComDeviceQmr(KComModule* comModule);
    // Unregisters itself.
    ~KComDeviceQmr() override;

    // Communication thread: parses the reply by the pending state and hands it to the current
    // command module (`KModule::OnReceive` with state, count and text).
    void OnReceive(char* text, int* count) override;
    // Free text, sent only while idle, as a command without reply; always false.
    bool SendString(const char* text) override;

    // Queries and commands that await a reply: true when the text went to the link; the state
    // stays pending then, and returns to idle when the send failed.
    bool SendKeyLock(bool on);
    bool QueryMode();
    bool QueryIdn();
    bool QueryIL();
    bool QueryLevel();
    bool QueryKeyLock();
    bool QueryError();
    bool SendRemote();
    // `awaitAnswer` false: the reply still awaited is given up and none is awaited for this one.
    bool SendLocal(bool awaitAnswer = true);
    bool SendModeIL();
    bool SendModePP();
    // The loss range for the device's frequency, joined with an error-queue read.
    bool QueryRange();
    bool SetEventStatusEnable(uint8_t mask);
    bool ReadError();
    bool ReadStatusByte();
    bool ReadEventStatus();

    // Gated commands without reply: refused (false, nothing sent) within 500 ms of the last.
    bool SetLevel(int16_t tenths);
    bool SetIL(int16_t tenths, int16_t frequency);
    // Keeps the frequency, then asks for its loss range.
    bool SetFrequency(int16_t hundredths);

    // Waits up to 20 x 100 ms while busy, then gives up what is still awaited and sends
    // ":SYST:LOC" as a command: no reply is awaited and no reply time-out armed for it. The
    // remote flag is clear once it went out.
    bool ForceLocal();

    // A query of the settings module, whose reply no command state awaits (the module hears it
    // as raw-text listener); true when it went out.
    bool SendListened(const char* text);
    // The window switch: the reply that the closing window still awaits (a command's, or a
    // listened query's) is set aside and the state returns to idle. Until that one reply has
    // come (and is dropped), the link has closed or the reply time-out has given it up, the
    // device is busy, so that no command goes out whose answer could be taken for it. Its
    // time-out is due `timeoutMs` after its query went out.
    void SetAsideAwaitedReply(int timeoutMs);
    bool AwaitsSetAsideReply() const;
    // Milliseconds until the set-aside reply's time-out is due (0 when past); -1 when none.
    int SetAsideTimeLeftMs() const;
    // A reply is awaited: a query's that is pending, a listened query's, or one set aside.
    bool AwaitsReply() const;
    // Nothing is awaited any more (the link closed, or the reply time-out gave up): the
    // state is idle and no reply is set aside.
    void ForgetAwaitedReplies();

    // The 500 ms gate: true (and the stamp moves) when a gated command may go out now.
    bool CanSendNow();
    // Idle for free text: nothing pending, or only a level or loss command.
    bool IsIdle() const;
    bool IsBusy() const;
    // As IsBusy, but the status-byte poll does not count.
    bool IsBusyExceptStatus() const;

    // The pending state; the status poll's stays csREADSTB after its reply, until the command
    // module clears it or sends the poll's next command.
    int GetCommandState() const { return state_.load() & ~kAnswered; }
    void SetCommandState(int state) { state_.store(state); }
    // Back to idle only when `state` is still the pending one (answered or not).
    bool ClearCommandState(int state);
    // Communication thread, right after OnReceive: the device claimed the reply (it came while
    // a command state was pending, or it was set aside), so it belongs to no raw-text listener.
    bool LastReplyClaimed() const { return lastReplyClaimed_.load(); }

    void SetRemote() { remote_.store(true); }
    void ClearRemote() { remote_.store(false); }
    bool IsRemote() const { return remote_.load(); }
    void SetKeyLockFlag(bool on) { keyLock_.store(on); }
    bool GetKeyLockFlag() const { return keyLock_.load(); }
    // Saturated to 16 bits.
    void SetRange(int max, int min);
    void GetRange(int16_t& max, int16_t& min) const;

    // Values parsed from replies.
    std::string GetSerial() const;
    std::string GetLastErrorText() const;
    int16_t GetLevel() const { return level_.load(); }
    int16_t GetFrequency() const { return frequency_.load(); }
    int16_t GetLoss() const { return loss_.load(); }
    bool GetReportedKeyLock() const { return reportedKeyLock_.load(); }

    // Interface of the live settings := USB (0) or LAN (1).
    void SetPortType(bool usb);
    // The COM number of the index-th USB device with the instrument's vendor id and this
    // product id; negative when there is none.
    int FindUsbComPort(uint16_t productId, int index);

    // A reply's leading integer (0 for no number), saturated.
    static int ParseInt(const char* text);

    // The command texts (without terminator).
    static std::string LevelText(int16_t tenths);
    static std::string ILText(int16_t tenths, int16_t frequency);
    static std::string RangeText(int16_t frequency);
    static std::string EventStatusEnableText(uint8_t mask);
    static const char* KeyLockText(bool on);

private:
    // Marks the status poll's state once its reply has been handed on. The state stays
    // pending, so the device is busy until the command module has chosen what follows the
    // poll, but a state is answered once: a later reply answers no command.
    static constexpr int kAnswered = 0x10000;

    static constexpr int64_t kNoSetAside = -1;

    // A query whose reply is awaited: `mark`(true) before it goes out (the reply may come
    // before the send has returned), `mark`(false) when it could not go out.
    template <class Mark>
    bool SendAwaited(const char* text, Mark mark);
    bool SendQuery(int state, const char* text);
    // Communication thread: true (and no longer set aside) when this reply was set aside.
    bool TakeSetAsideReply();
    bool SendGated(int state, const std::string& text);
    void ParseReply(int state, const char* text);
    void ParseIdn(const char* text);

    std::atomic<int> state_{csIDLE};
    std::atomic<bool> lastReplyClaimed_{false}; // communication thread
    std::atomic<bool> listenedAwaited_{false};  // a listened query awaits its reply
    std::atomic<int64_t> queriedAtMs_{0};       // when the last query went out (steady clock)
    std::atomic<int64_t> setAsideUntilMs_{kNoSetAside};
    std::atomic<bool> remote_{false};
    std::atomic<bool> keyLock_{false};
    std::atomic<int16_t> level_{0};
    std::atomic<int16_t> frequency_{-1}; // none known yet
    std::atomic<int16_t> loss_{0};
    std::atomic<int16_t> rangeMax_{700};
    std::atomic<int16_t> rangeMin_{0};
    std::atomic<bool> reportedKeyLock_{false};

    mutable std::mutex textMutex_; // the serial number and the last error text
    char serial_[kSerialSize] = "-";
    char lastError_[kLastErrorSize] = "";
};

// Milliseconds since the process started, on a steady clock: the send gate's clock.
int64_t QmrClockMs();

// Test hook: replaces the send gate's clock (none restores the steady clock) and forgets the
// stamp of the last gated command.
void SetQmrClockForTest(int64_t (*clock)());

// The step engine's fixed pauses (after remote mode is reached, before a loss is sent again):
// the GUI thread sleeps, answering nothing meanwhile.
void QmrPause(int ms);

// Test hook: replaces the sleep of those pauses (none restores it), for a test whose gate clock
// passes the time instead.
void SetQmrPauseForTest(void (*pause)(int ms));
