#include "app/windows/Formapqmr.h"

#include "ui_Formapqmr.h"

#include "app/core/Applog.h"
#include "app/core/Formlook.h"
#include "app/core/Formmesg.h"
#include "app/instrument/Comdvqmr.h"
#include "app/instrument/Kchkerr.h"
#include "app/instrument/Kmdlqmr.h"
#include "app/windows/DeviceChangeNotifier.h"
#include "bramble/Bramble.h"
#include "common/Kprocess.h"

#include <QAction>
#include <QCloseEvent>
#include <QColor>
#include <QCoreApplication>
#include <QEvent>
#include <QFont>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPalette>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStringList>
#include <QTabWidget>
#include <QTimer>

#include <chrono>
#include <new>
#include <thread>

using namespace formlook;

namespace {

// The maker's page; opened by a double-click on the picture.
const char* const kMakerPage = "https://www.example.com/qmr3400/";
const char* const kVersionText = "Orvane Qmr3400.exe V1.5 2019.10";

// Indices walked at most when looking for the configured USB port.
constexpr int kMaxUsbIndex = 256;

void Sleep100()
{
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
}

bool HasSwitch(const char* text)
{
    const QStringList arguments = QCoreApplication::arguments();
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        if (arguments[i].contains(QLatin1String(text), Qt::CaseSensitive)) {
            return true;
        }
    }
    return false;
}

} // namespace

TFormAppQmr::TFormAppQmr(QWidget* owner, KModuleQmr* module)
    : TFormApp(owner, module), ui_(std::make_unique<Ui::TFormAppQmr>()), module_(module),
      device_(module != nullptr ? module->GetDeviceQmr() : nullptr)
{
    ui_->setupUi(this);
    LabelCaption()->setText(QStringLiteral("QMR3400"));
    QFont bold = LabelCaption()->font();
    bold.setBold(true);
    LabelCaption()->setFont(bold);
    LabelCaption()->raise();
    LabelDmy()->raise();

    Fill(ui_->StaticTextRemote, kNavy);
    Fill(ui_->StaticTextLocal, kAqua);
    Fill(ui_->StaticTextUsb, kNavy);
    Fill(ui_->ShapeReady, kAqua);
    Fill(ui_->LabelRemote, kNavy);
    Fill(ui_->LabelLocal, kNavy);
    Fill(ui_->LabelBusy, kNavy);
    SetErrorLook(false);
    ui_->Image1->installEventFilter(this);
    ui_->StaticTextRemote->installEventFilter(this);
    ui_->StaticTextLocal->installEventFilter(this);
    ui_->EditCmd->installEventFilter(this);

    auto makeTimer = [this](const char* name, int interval) {
        auto* timer = new QTimer(this);
        timer->setObjectName(QLatin1String(name));
        timer->setInterval(interval);
        timer->setSingleShot(false);
        return timer;
    };
    timerOver_ = makeTimer("TimerOver", kReplyTimeoutMs);
    timerFunc_ = makeTimer("TimerFunc", 10);
    // The hand-over tick sits between every reply and the next command: a coarse timer would
    // let it drift by a few milliseconds a step.
    timerFunc_->setTimerType(Qt::PreciseTimer);
    timerErr_ = makeTimer("TimerErr", kErrorWatchMs);
    timerBusy_ = makeTimer("TimerBusy", 100);
    timerActions_ = makeTimer("TimerActions", 100);
    connect(timerOver_, &QTimer::timeout, this, &TFormAppQmr::TimerOverTimer);
    connect(timerFunc_, &QTimer::timeout, this, &TFormAppQmr::TimerFuncTimer);
    connect(timerErr_, &QTimer::timeout, this, &TFormAppQmr::TimerErrTimer);
    connect(timerBusy_, &QTimer::timeout, this, &TFormAppQmr::TimerBusyTimer);
    connect(timerActions_, &QTimer::timeout, this, &TFormAppQmr::UpdateActions);
    timerBusy_->start();
    timerActions_->start();

    auto makeAction = [this](const char* name, const char* text, QPushButton* button, void (TFormAppQmr::*run)()) {
        return MakeAction(name, text, button, [this, run] { (this->*run)(); });
    };
    ActionComset = makeAction("ActionComset", "Com set", ui_->ButtonSetting, &TFormAppQmr::ActionComsetExecute);
    ActionConfig = makeAction("ActionConfig", "Configure", ui_->ButtonConfig, &TFormAppQmr::ActionConfigExecute);
    ActionPanelLock =
        makeAction("ActionPanelLock", "Panel Lock", ui_->ButtonPanelLock, &TFormAppQmr::ActionPanelLockExecute);
    ActionDB = makeAction("ActionDB", "dB / %", ui_->ButtonMode, &TFormAppQmr::ActionDBExecute);
    ActionEnd = makeAction("ActionEnd", "END", ui_->ButtonExit, &TFormAppQmr::ActionEndExecute);

    connect(ui_->ButtonConnect, &QPushButton::clicked, this, &TFormAppQmr::ButtonConnectClick);
    connect(ui_->ButtonDisConnect, &QPushButton::clicked, this, &TFormAppQmr::ButtonDisConnectClick);
    connect(ui_->ButtonManual, &QPushButton::clicked, this, &TFormAppQmr::ButtonManualClick);
    connect(ui_->ButtonBusyChk, &QPushButton::clicked, this, &TFormAppQmr::ButtonBusyChkClick);
    connect(ui_->ButtonSend, &QPushButton::clicked, this, &TFormAppQmr::ButtonSendClick);
    connect(ui_->PageControl, &QTabWidget::currentChanged, this, &TFormAppQmr::PageControlChange);

    notifier_ = new DeviceChangeNotifier(this);
    connect(notifier_, &DeviceChangeNotifier::devicesChanged, this, [this] {
        if (isVisible() && module_ != nullptr) {
            UpdateUsbState();
        }
    });
    UpdateActions();
}

QAction* TFormAppQmr::MakeAction(const char* name, const char* text, QPushButton* button, std::function<void()> run)
{
    auto* action = new QAction(QLatin1String(text), this);
    action->setObjectName(QLatin1String(name));
    connect(action, &QAction::triggered, this, [run = std::move(run)] { run(); });
    connect(button, &QPushButton::clicked, action, &QAction::trigger);
    connect(action, &QAction::changed, button, [action, button] { button->setEnabled(action->isEnabled()); });
    return action;
}

TFormAppQmr::~TFormAppQmr()
{
    // A window torn down without having been closed still lets go of its module first, so
    // that no reply is queued for a window that is going.
    ReleaseModule();
}

void TFormAppQmr::ReleaseModule()
{
    if (GetModule() == nullptr) {
        return;
    }
    timerErr_->stop();
    timerFunc_->stop();
    timerOver_->stop();
    DeleteChecker();
    module_ = nullptr;
    device_ = nullptr;
    TFormApp::FormClose();
}

void TFormAppQmr::CloseAnswered()
{
    answered_ = true;
    close();
}

// ---- link operations ----

void TFormAppQmr::DropConnection()
{
    if (module_ == nullptr) {
        return;
    }
    EndWaitingConnect();
    timerErr_->stop();
    DeleteChecker();
    module_->DisconnectIfRemote();
    module_->SetRemoteState(false);
}

void TFormAppQmr::EndWaitingConnect()
{
    // The connect that a switch asked for goes over the link that was open then, and only
    // until the operator or the link says otherwise.
    if (!autoConnect_) {
        return;
    }
    autoConnect_ = false;
    if (module_ != nullptr) {
        module_->SetBusy(false);
    }
}

void TFormAppQmr::UpdateUsbState()
{
    if (module_ == nullptr) {
        return;
    }
    const int configured = device_ != nullptr ? device_->GetPortNo() : -1;
    const bool inUse = module_->IsRemote() || module_->IsConnected();
    bool found = false;
    for (int index = 0; index < kMaxUsbIndex; ++index) {
        const int com = module_->FindUsbComPort(index);
        if (com < 0) {
            break;
        }
        if (com == configured) {
            found = true;
            break;
        }
    }
    Fill(ui_->StaticTextUsb, found ? kAqua : kNavy);
    if (inUse && !found && module_->IsUsbSettings()) {
        EndWaitingConnect();
        timerErr_->stop();
        DeleteChecker();
        module_->DisconnectIfRemote();
        module_->SetRemoteState(false);
    }
}

bool TFormAppQmr::Connect()
{
    if (module_ == nullptr) {
        return false;
    }
    module_->SetBusy(true);
    if (!IsUsbPageActive()) {
        if (module_->FindUsbComPort(0) >= 1) {
            module_->SetBusy(false);
            ShowWarningMsg(QStringLiteral("   Disconnect the USB Cable from QMR3400.  "), QString(), 0);
            return false;
        }
    } else {
        // The module is left idle before the box: the window may close while it is shown.
        const int com = module_->FindUsbComPort(0);
        if (com < 0) {
            module_->SetBusy(false);
            ShowWarningMsg(QStringLiteral("  Please connect the USB Cable to QMR3400.  "), QString(), 0);
            return false;
        }
        if (device_ == nullptr || com != device_->GetPortNo()) {
            module_->SetBusy(false);
            ShowWarningMsg(QStringLiteral("  Please check the USB port no.  "), QString(), 0);
            return false;
        }
    }
    // The busy lamp lets messages through: the window may have closed during the start.
    if (!module_->ToRemote() || module_ == nullptr) {
        return false;
    }
    checker_.reset(new (std::nothrow) KCheckQmrErrorStb(kPollSeconds));
    if (checker_) {
        checker_->SetDevice(device_);
        checker_->SetModule(module_);
    } else {
        // The link is up and remote mode is on its way: only the status watch is missing.
        QMessageBox::information(this, windowTitle(), QStringLiteral(" ERROR: Make KCheckQmrError "));
    }
    if (!IsUsbPageActive() && module_ != nullptr && module_->FindUsbComPort(0) >= 1) {
        QMessageBox::information(this, windowTitle(), QStringLiteral("   Disconnect the USB Cable from QMR3400.  "));
    }
    return true;
}

void TFormAppQmr::DeleteChecker()
{
    checker_.reset();
}

// ---- buttons ----

void TFormAppQmr::ButtonConnectClick()
{
    if (module_ == nullptr || module_->IsRemote()) {
        return;
    }
    int passes = 0;
    while (module_->IsBusy() && passes < 10) {
        Sleep100();
        LogLine("wait", "ButtonConnect");
        ++passes;
    }
    if (passes < 10) {
        Connect();
    }
}

void TFormAppQmr::ButtonDisConnectClick()
{
    if (module_ == nullptr) {
        return;
    }
    EndWaitingConnect();
    if (!module_->IsRemote()) {
        return;
    }
    int passes = 0;
    module_->SetLocalAsked(true);
    while (module_ != nullptr && module_->IsBusy() && passes < 10) {
        Sleep100();
        QCoreApplication::processEvents();
        LogLine("wait", "ButtonDisConnect");
        ++passes;
    }
    if (module_ == nullptr) {
        return;
    }
    module_->SetLocalAsked(false);
    if (passes >= 10) {
        module_->ToLocal();
        DeleteChecker();
        return;
    }
    timerErr_->stop();
    if (!module_->IsRemote()) {
        return;
    }
    if (module_->IsPanelLocked() &&
        ShowYesNoMsg(QStringLiteral(" QMR3400 panel is locked."),
                     QStringLiteral("  Are you sure you want to switch to local mode? ")) != kMsgOk) {
        return;
    }
    if (module_ == nullptr) {
        return;
    }
    module_->ToLocal();
    DeleteChecker();
}

void TFormAppQmr::ActionPanelLockExecute()
{
    if (module_ == nullptr) {
        return;
    }
    int passes = 0;
    while (module_->IsBusy() && passes < 10) {
        Sleep100();
        LogLine("wait", "PanelLock");
        ++passes;
    }
    if (passes < 10) {
        module_->SetPanelLock(!module_->IsPanelLocked());
    }
}

void TFormAppQmr::ActionComsetExecute()
{
    if (module_ == nullptr) {
        return;
    }
    module_->ShowComSettings();
    if (module_ != nullptr) {
        module_->ShowPortPage();
        UpdateUsbState();
    }
}

void TFormAppQmr::ActionConfigExecute()
{
    OpenConfigWindow();
}

void TFormAppQmr::ActionEndExecute()
{
    close();
}

void TFormAppQmr::ActionDBExecute()
{
}

void TFormAppQmr::ActionDBUpdate()
{
}

void TFormAppQmr::ChangeMode(QWidget* slider, bool (KModuleQmr::*change)(), int otherWindow)
{
    if (module_ == nullptr) {
        return;
    }
    if (module_->IsConnected()) {
        // A press while an earlier one is under way keeps what the slider was before the first.
        auto holdOff = [this, slider] {
            if (modeSlider_ == nullptr) {
                modeSlider_ = slider;
                modeSliderWasEnabled_ = slider->isEnabled();
            }
            slider->setEnabled(false);
        };
        holdOff();
        // A mode change that its waits refuse (or that cannot be sent) does not happen: the
        // window stays as it was before the press, unless an earlier press's change is still
        // under way. So it does when the instrument refuses it.
        if (!(module_->*change)()) {
            if (module_ == nullptr || module_->GetFunctionState() != fnMODECHG) {
                ModeChangeRefused();
            }
        } else {
            // The earlier press's refusal may have given the slider back while this one waited.
            holdOff();
        }
        if (checker_) {
            checker_->RaiseCountdown();
        }
        return;
    }
    SwitchTo(otherWindow, 0);
}

bool TFormAppQmr::ModeChangeAllowed() const
{
    return module_ != nullptr && !module_->IsBusyForUpdate() && (device_ == nullptr || !device_->IsBusyExceptStatus());
}

void TFormAppQmr::UpdateActions()
{
    if (module_ == nullptr) {
        for (QAction* action : {ActionPanelLock, ActionComset, ActionConfig, ActionEnd}) {
            action->setEnabled(false);
        }
        return;
    }
    const bool open = module_->IsConnected();
    ActionPanelLock->setEnabled(open);
    ActionComset->setEnabled(!module_->IsBusy() && !open);
    ActionConfig->setEnabled(open && !module_->IsBusyForUpdate() && device_ != nullptr &&
                             !device_->IsBusyExceptStatus());
    ActionEnd->setEnabled(!module_->IsBusy() && !module_->IsRemote());
    ActionDBUpdate();
}

void TFormAppQmr::PageControlChange()
{
    if (module_ != nullptr) {
        module_->SetPortType(IsUsbPageActive() ? 1 : 0);
    }
}

void TFormAppQmr::Image1DblClick()
{
    KProcess runner;
    runner.ExecShell(kMakerPage);
}

// ---- showing and closing ----

void TFormAppQmr::FormShow()
{
    TFormApp::FormShow();
    // A window shown again after its close gets back the timers that the close stopped.
    timerBusy_->start();
    timerActions_->start();
    ui_->LabelVersion->setText(QLatin1String(kVersionText));
    if (HasSwitch("/A")) {
        // The developer's switch: the manual window (when the switch has it) and the busy check.
        KWindowSwitch* windowSwitch = Switch();
        if (windowSwitch != nullptr && windowSwitch->HasWindow(3)) {
            ui_->ButtonManual->setVisible(true);
        }
        ui_->ButtonBusyChk->setVisible(true);
    }
    if (module_ == nullptr) {
        return;
    }
    module_->ShowLinkState();
    module_->ShowPortPage();
    module_->UpdatePortPageEnabled();
    if (autoConnect_) {
        module_->SetBusy(true);
        timerFunc_->setInterval(100);
        StartFunction(0);
    }
    if (module_->IsRemote()) {
        module_->SetRemoteState(true);
    }
    UpdateUsbState();
    // The buttons follow the state at once, not only from the next update.
    UpdateActions();
}

bool TFormAppQmr::FormCloseQuery()
{
    for (int pass = 0; runningHandlers_ != 0 && pass < 10; ++pass) {
        Sleep100();
    }
    if (switching_) {
        return true;
    }
    if (answered_) {
        answered_ = false;
        if (module_ != nullptr && module_->IsConnected()) {
            module_->ToLocal();
            module_->SetRemoteState(false);
        }
        return true;
    }
    if (!exitConfirmed_ && module_ != nullptr && module_->IsConnected()) {
        if (ShowYesNoMsg(QStringLiteral(" QMR3400 is operating in remote mode."),
                         QStringLiteral("  Are you sure you want to exit? ")) != kMsgOk) {
            return false;
        }
        if (module_ != nullptr) {
            module_->ToLocal();
            module_->SetRemoteState(false);
        }
        if (module_ != nullptr && module_->IsPanelLocked() &&
            ShowYesNoMsg(QStringLiteral(" QMR3400 panel is locked."),
                         QStringLiteral("  Are you sure you want to exit? ")) != kMsgOk) {
            return false;
        }
    }
    return ShowYesNoMsg(QStringLiteral(" Are you sure you want to exit? "), QString()) == kMsgOk;
}

void TFormAppQmr::FormClose()
{
    if (GetModule() == nullptr) {
        // Closed before (a second close asked for inside the first one's questions): the
        // position of that close stands.
        return;
    }
    timerErr_->stop();
    timerFunc_->stop();
    timerOver_->stop();
    EndWaitingConnect();
    DropPendingValues();
    if (!switching_) {
        if (KWindowSwitch* windowSwitch = Switch()) {
            windowSwitch->Quit();
        }
    }
    DeleteChecker();
    // Nothing of a closed window reaches the device any more: not a box that returns, not a
    // timer, not queued work.
    module_ = nullptr;
    device_ = nullptr;
    TFormApp::FormClose();
    ReleaseWhileClosed();
}

void TFormAppQmr::ReleaseWhileClosed()
{
    // The frames' timers too: a closed window has nothing to show or to send.
    for (QTimer* timer : findChildren<QTimer*>()) {
        timer->stop();
    }
    if (KWindowSwitch* windowSwitch = Switch()) {
        windowSwitch->WindowClosed(this);
    }
}

void TFormAppQmr::closeEvent(QCloseEvent* event)
{
    if (GetModule() == nullptr) {
        // Closed before: nothing to ask or to store again.
        event->accept();
        return;
    }
    if (!FormCloseQuery()) {
        event->ignore();
        return;
    }
    TFormApp::closeEvent(event);
}

bool TFormAppQmr::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::KeyPress && watched == ui_->EditCmd) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            // Swallowed: the Enter is the command edit's alone.
            SendCommandText();
            return true;
        }
        return TFormApp::eventFilter(watched, event);
    }
    if (event->type() == QEvent::MouseButtonDblClick && watched == ui_->Image1) {
        Image1DblClick();
        return true;
    }
    if (event->type() == QEvent::MouseButtonRelease) {
        if (watched == ui_->StaticTextRemote) {
            ui_->ButtonConnect->setFocus();
            ButtonConnectClick();
            return true;
        }
        if (watched == ui_->StaticTextLocal) {
            ui_->ButtonDisConnect->setFocus();
            ButtonDisConnectClick();
            return true;
        }
        auto* label = qobject_cast<QLabel*>(watched);
        if (label != nullptr && ui_->PanelDbg->isAncestorOf(label)) {
            LabelSysErrClick(label);
            return true;
        }
    }
    return TFormApp::eventFilter(watched, event);
}
