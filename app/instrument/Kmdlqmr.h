#pragma once
// The command module behind each instrument window: starts the instrument's multi-command
// functions, turns every reply into an event number for its window, and runs the step
// engine on the GUI thread. One kind per window: dB (0), percent (1), settings (2), manual (3).
//
// OnReceive runs on the communication thread: it judges the reply, then queues the reply's
// window work and its event for the GUI thread (the reply travels as a copy). Everything else
// runs on the GUI thread.
//
// The operations that may run the message loop (the waits, the lamps, the message windows,
// the settings dialog, and every open or close of the link) hold a KModule::Running, so that a
// window closed inside them leaves its module to be deleted once they have returned.

#include "app/core/Kmodule.h"
#include "app/instrument/Kchkerr.h"

#include <QString>

#include <atomic>
#include <cstdint>
#include <string>

class KComDeviceQmr;
class KMessageScpiError;
class KQmrView;

// Function states: the running multi-command sequence.
enum KFunctionState : int32_t {
    fnIDLE = 0,
    fnTOREMOTE = 1,
    fnTOLOCAL = 2,
    fnMODECHG = 3,
    fnDBRANGE = 4,
    fnPOSITION = 5,
    fnKLOC = 6,
    fnGETSTR = 7,
    fnREADSTB = 10,
};

// Kinds of module, one per window number.
enum KModuleKind : int32_t {
    kKindIL = 0,
    kKindPP = 1,
    kKindConfig = 2,
    kKindManual = 3,
};

// An event of the module's own: the instrument refused a step (":ISI:MODE?" answered neither
// "I" nor "P", a mode change or "*ESE" not answered "1"). The running function ends on it.
constexpr int kEventRefused = 27;

// Error drains (":SYST:ERR?" until "NO ERROR") give up after this many replies.
constexpr int kMaxDrainReplies = 32;

class KModuleQmr : public KModule, public KPollTarget {
public:
    static constexpr int kRemotePauseMs = 500;
    static constexpr int kLossResendPauseMs = 1000;

    explicit KModuleQmr(int kind);
    ~KModuleQmr() override;

    // Hooks of the base.
    void SetForm(TFormApp* form) override;
    void SetComDevice(KComDevice* device) override;
    void LogSend(const char* text) override;
    void OnReceive(int state, int count, const char* text) override;
    void StartReplyTimeout() override;
    void StopReplyTimeout() override;

    // Connect sequence start; the settings module has its own.
    virtual bool ToRemote();
    // The dB module ends the frequency editing when a frequency was entered.
    virtual void OnFrequencySet();
    // Sequences of a derived module that must not outlive a failure, the reply time-out or
    // going local end here; nothing in this class.
    virtual void ResetSequences();

    bool ToLocal();
    bool ForceLocal();
    // A local command that went out and whose answer is not yet handled ends at once, as its
    // answer would end it: a window switch does not leave it to a window that is going.
    void FinishLocal();
    // While a Disconnect waits for the command under way, a mode change that ends does not
    // start the new mode's connect behind it.
    void SetLocalAsked(bool on) { localAsked_ = on; }
    bool DisconnectIfRemote();
    bool OpenPort();
    void ClosePort();
    bool IsConnected();
    bool IsRemote();
    bool ModeToIL();
    bool ModeToPP();
    bool SetLevel(int16_t tenths, bool wait);
    bool SetIL(int16_t tenths, bool wait);
    bool SetFrequency(int16_t hundredths);
    bool SetPanelLock(bool on);
    bool SendString(const char* text);
    bool ReadStatusByte() override;
    void StepFunction(int event);
    bool WaitIdle(int tag);
    bool IsBusy() override;
    bool IsBusyForUpdate();
    bool IsDeviceBusy();
    bool ReportPendingErrors();
    bool ShowComSettings();
    int FindUsbComPort(int index);
    bool IsUsbSettings();
    void SetPortType(int usb);
    void ShowPortPage();
    void SetPortPage(bool usb);
    bool IsUsbPageActive();
    void UpdatePortPageEnabled();
    void SetPortPageEnabled(bool on);
    void SetRemoteState(bool on);
    void SetRemoteIndicators(bool on);
    void ShowLinkState();
    void SetErrorLamp(bool on);
    void SetBusyLamp(bool on);
    void SetKeyLockState(bool locked);
    bool IsPanelLocked();
    void ShowLevel(int16_t value);
    void ShowIL(int16_t value);
    void ShowFrequency(int16_t value);
    void SetBusy(bool on) { busy_.store(on); }
    bool GetBusy() const { return busy_.load(); }

    // GUI thread, from the window's queued reply work: the reply's log line, the disarmed
    // reply time-out, and the reply kept for the step engine.
    void TakeReply(const std::string& reply);
    const std::string& LastReply() const { return lastReply_; }

    int GetKind() const { return kind_; }
    int GetFunctionState() const { return functionState_.load(); }
    KQmrView* GetView() const { return view_; }
    KComDeviceQmr* GetDeviceQmr() const { return deviceQmr_; }
    uint8_t GetStatusByte() const { return statusByte_.load(); }
    uint8_t GetEventStatus() const { return eventStatus_.load(); }

    // The memo line of a sent or received text: "H:mm:ss | SEND -> text".
    static QString MemoLine(const char* direction, const char* text);

protected:
    // Busy false and function state idle.
    void End();
    // The end of going local: the link closed, the local state shown (unless the caller showed
    // it with a message of its own), the module idle.
    void EndLocal(bool showLocal);
    // The window's slider back as before the mode button, when a mode change is under way.
    void AbandonModeChange();
    void Post(int event);
    // The connect sequence's exits.
    void ErrorExit();
    void FatalExit();
    // Steps of the function tables.
    void StepToRemote(int event);
    void StepToLocal(int event);
    void StepModeChange(int event);
    void StepRange(int event);
    void StepPosition(int event);
    void StepReadStatus(int event);
    // Event 5: the serial number shown, then the next query of the kind.
    void StepSerial(KComDeviceQmr* device);
    // After remote mode was reached; the settings module reads its settings here.
    virtual void OnRemoteReached();
    // The start of a connect sequence: the link opened unless it is open, then `first` sent.
    // When either fails the link is closed, the instrument left local and the module idle.
    bool StartConnect(bool (KComDeviceQmr::*first)(), bool logFailure);

    std::atomic<bool> busy_{false};
    bool localAsked_ = false;
    std::atomic<int32_t> functionState_{fnIDLE};
    std::atomic<uint8_t> statusByte_{0};
    std::atomic<uint8_t> eventStatus_{0};
    int32_t kind_;
    int drainCount_ = 0;    // replies of the running error drain (GUI thread)
    std::string lastReply_; // the reply of the event being stepped (GUI thread)
    KQmrView* view_ = nullptr;
    KComDeviceQmr* deviceQmr_ = nullptr;
    KMessageScpiError* errors_ = nullptr;
};

class KModuleQmrIL : public KModuleQmr {
public:
    KModuleQmrIL() : KModuleQmr(kKindIL) {}
    ~KModuleQmrIL() override;
    void OnFrequencySet() override;
};

class KModuleQmrPP : public KModuleQmr {
public:
    KModuleQmrPP() : KModuleQmr(kKindPP) {}
    ~KModuleQmrPP() override;
};
