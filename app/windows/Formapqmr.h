#pragma once
// The instrument window that the dB, percent, settings and manual windows derive from: the
// link controls (USB/LAN choice, Connect, Disconnect, Panel Lock, communication settings,
// Close), the indicators, the questions before going local and before exiting, the reply
// time-out, the GUI-thread end of the command module's event hand-over, and the status-byte
// watch. GUI thread only, except StartFunction and PostReply, which queue their work.

#include "app/core/Formapp.h"
#include "app/instrument/Kqmrview.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

class DeviceChangeNotifier;
class KCheckQmrErrorStb;
class KComDeviceQmr;
class KModuleQmr;
class QAction;
class QCloseEvent;
class QEvent;
class QLabel;
class QObject;
class QPushButton;
class QTimer;
class QWidget;

namespace Ui {
class TFormAppQmr;
}

class TFormAppQmr;

// The window switch as the instrument windows see the start-up window.
class KWindowSwitch {
public:
    virtual ~KWindowSwitch() = default;
    // Window number 0 dB, 1 percent, 2 settings, 3 manual (below 0: the last of 0 and 1);
    // link code 0 none, 1 USB, 2 LAN.
    virtual void ChangeWindow(int number, int linkCode) = 0;
    // True when the switch can open that window.
    virtual bool HasWindow(int number) const = 0;
    // Ends the program.
    virtual void Quit() = 0;
    // `window` has closed: the switch may let it go once nothing refers to it any more.
    virtual void WindowClosed(TFormAppQmr* /*window*/) {}
};

class TFormAppQmr : public TFormApp, public KQmrView {
    Q_OBJECT

public:
    // Bits of the running timer handlers.
    enum : int { kRunBusy = 1, kRunErr = 2, kRunFunc = 4, kRunOver = 16 };
    static constexpr int kReplyTimeoutMs = 40000;
    static constexpr int kErrorWatchMs = 1000;
    static constexpr int kPollSeconds = 2;

    // owner: the start-up window (its window switch); module: owned from here on.
    TFormAppQmr(QWidget* owner, KModuleQmr* module);
    ~TFormAppQmr() override;

    // The command module's view of the window.
    void StartFunction(int event) override;
    void PostReply(const std::string& reply) override;
    void AppendMemo(const QString& line) override;
    void SetMessage(const QString& text) override;
    void SetSerial(const QString& text) override;
    void SetSerialLabel(const QString& text) override;
    void SetRange(int16_t max, int16_t min) override;
    void ShowValue(int16_t value) override;
    void ShowFrequency(int16_t value) override;
    void ShowRemote(bool remote) override = 0;
    void EnableSlider(bool on) override;
    void SetFrequencyEditing(bool on) override;
    void ReleaseFrequencySet() override;
    void ReadSettings() override;
    void DropPendingValues() override;
    void ModeChangeRefused() override;
    void SetReplyTimer(bool on) override;
    void SetErrorTimer(bool on) override;
    void SetRemoteBars(bool remote) override;
    void SetRemoteLamps(bool remote) override;
    void SetErrorLook(bool on) override;
    void SetBusyLook(bool on) override;
    void SetKeyLockLook(bool locked) override;
    bool IsLockShown() const override;
    void SetPortPage(bool usb) override;
    bool IsUsbPageActive() const override;
    void SetPortPageEnabled(bool on) override;

    // Creates and binds the slider value models; the dB and percent windows have some.
    virtual bool CreateModels() { return true; }

    // After a lost network link: the link closed, the local state shown.
    void DropConnection();
    // The configured USB port's presence; going local when it vanished while in use.
    void UpdateUsbState();
    // Starts the connect sequence after the cable checks; true when started.
    bool Connect();

    void FormShow() override;
    void FormClose() override;
    // The questions before closing; true when the window may close.
    bool FormCloseQuery();
    // Closes as if every question had been answered yes (the program is told to end).
    void CloseAnswered();
    // Lets go of the module as a close would (position stored, module deleted), without
    // asking or ending anything; for a window that is torn down without having been closed.
    void ReleaseModule();

    void SetAutoConnect(bool on) { autoConnect_ = on; }
    bool AutoConnect() const { return autoConnect_; }
    bool IsSwitching() const { return switching_; }
    bool ExitConfirmed() const { return exitConfirmed_; }
    int PendingEvent() const { return pendingEvent_.load(); }
    int RunningHandlers() const { return runningHandlers_; }
    KModuleQmr* Module() const { return module_; }
    KComDeviceQmr* Device() const { return device_; }
    KCheckQmrErrorStb* Checker() const { return checker_.get(); }
    Ui::TFormAppQmr& Form() { return *ui_; }

    QTimer* TimerOver() const { return timerOver_; }
    QTimer* TimerFunc() const { return timerFunc_; }
    QTimer* TimerErr() const { return timerErr_; }
    QTimer* TimerBusy() const { return timerBusy_; }

public slots:
    void ButtonConnectClick();
    void ButtonDisConnectClick();
    void ActionPanelLockExecute();
    void ActionComsetExecute();
    // Configure; the settings window's "Control" goes back instead.
    virtual void ActionConfigExecute();
    void ActionEndExecute();
    // The mode button; the dB and percent windows override both.
    virtual void ActionDBExecute();
    void PageControlChange();
    // Manual; the manual window's "Control" goes back instead.
    virtual void ButtonManualClick();
    void ButtonBusyChkClick();
    void ButtonSendClick();
    // A label of the command panel: its caption into the command edit.
    void LabelSysErrClick(QLabel* label);
    void Image1DblClick();
    void TimerBusyTimer();
    void TimerFuncTimer();
    void TimerErrTimer();
    void TimerOverTimer();

protected:
    // Enabled states of the actions, every 100 ms; a window with actions of its own extends
    // UpdateActions.
    virtual void ActionDBUpdate();
    virtual void UpdateActions();
    // An action bound to its button: the button runs the action and follows its enabled state.
    QAction* MakeAction(const char* name, const char* text, QPushButton* button, std::function<void()> run);

    // The window switches of this window.
    void OpenWindowIL();
    void OpenWindowPp();
    void OpenConfigWindow();
    void OpenManualWindow();
    // The status-byte watch off, then the switch with the current link code, so that the next
    // window connects over an open link by itself.
    void SwitchWithLinkCode(int number);
    // Switching set, the switch called, this window closed; nothing without an owner.
    void SwitchTo(int number, int linkCode);
    // 0 when the link is closed; else 1 on the USB tab, 2 on the LAN tab.
    int CurrentLinkCode();
    KWindowSwitch* Switch() const;
    void DeleteChecker();
    // A Disconnect, a lost link, the reply time-out or a close ends the connect that a switch
    // asked for, if it still waits.
    void EndWaitingConnect();
    // The mode button's two roads: with a link, the instrument changes mode (`slider` waits
    // for the answer); without one, the other control window opens unconnected.
    void ChangeMode(QWidget* slider, bool (KModuleQmr::*change)(), int otherWindow);
    // The mode button may be pressed: a module that is idle, and a device not busy but for
    // the status poll.
    bool ModeChangeAllowed() const;
    // The labels of the command panel answer a click (the manual window fills the panel).
    void BindCommandLabels();

    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

    QAction* ActionPanelLock = nullptr;
    QAction* ActionComset = nullptr;
    QAction* ActionConfig = nullptr;
    QAction* ActionEnd = nullptr;
    QAction* ActionDB = nullptr;

private:
    // The command edit's text, sent unchanged as free text (SEND or Enter).
    void SendCommandText();
    // The end of every close: no timer of the window runs on, and the switch learns of it.
    void ReleaseWhileClosed();

    std::unique_ptr<Ui::TFormAppQmr> ui_;
    bool switching_ = false;
    KModuleQmr* module_ = nullptr;
    KComDeviceQmr* device_ = nullptr;
    std::unique_ptr<KCheckQmrErrorStb> checker_;
    std::atomic<int32_t> pendingEvent_{0};
    bool autoConnect_ = false;
    bool exitConfirmed_ = false;
    // The slider that a mode change under way holds off, and whether it was on before.
    QWidget* modeSlider_ = nullptr;
    bool modeSliderWasEnabled_ = false;
    bool answered_ = false;
    int runningHandlers_ = 0;
    QTimer* timerOver_ = nullptr;
    QTimer* timerFunc_ = nullptr;
    int funcTickMs_ = 0; // the pending tick's own interval, counted from the reply's arrival
    QTimer* timerErr_ = nullptr;
    QTimer* timerBusy_ = nullptr;
    QTimer* timerActions_ = nullptr;
    DeviceChangeNotifier* notifier_ = nullptr;
};
