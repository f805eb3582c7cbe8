#include "app/instrument/Kmdlqmr.h"

#include "app/core/Applog.h"
#include "app/core/Formapp.h"
#include "app/instrument/Comdvqmr.h"
#include "app/instrument/Kmsgscpi.h"
#include "app/instrument/Kqmrview.h"
#include "app/instrument/Scpinum.h"
#include "bramble/Bramble.h"
#include "common/Guipost.h"
#include "common/QmrUsbIds.h"

#include <QCoreApplication>
#include <QStringList>
#include <QTime>

#include <chrono>
#include <cstring>
#include <thread>

namespace {

void LogNum(const char* tag, int number)
{
    std::string name = tag;
    _WriteNumLog(name.data(), number);
}

void Pause(int ms)
{
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

void ProcessMessages()
{
    QCoreApplication::processEvents();
}

// "/V1" anywhere in the arguments after the program's path.
bool AlternativeProductId()
{
    const QStringList arguments = QCoreApplication::arguments();
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        if (arguments[i].contains(QStringLiteral("/V1"), Qt::CaseSensitive)) {
            return true;
        }
    }
    return false;
}

} // namespace

KModuleQmr::KModuleQmr(int kind) : kind_(kind), errors_(KMessageScpiError::GetInstance())
{
}

KModuleQmr::~KModuleQmr()
{
    DetachFromDevice();
}

void KModuleQmr::SetForm(TFormApp* form)
{
    KModule::SetForm(form);
    view_ = dynamic_cast<KQmrView*>(form);
}

void KModuleQmr::SetComDevice(KComDevice* device)
{
    KModule::SetComDevice(device);
    deviceQmr_ = dynamic_cast<KComDeviceQmr*>(device);
}

QString KModuleQmr::MemoLine(const char* direction, const char* text)
{
    return QTime::currentTime().toString(QStringLiteral("H:mm:ss")) + QString::fromLatin1(direction) +
           QString::fromLatin1(text);
}

void KModuleQmr::LogSend(const char* text)
{
    if (view_ == nullptr) {
        return;
    }
    // The line is stamped now and shown on the GUI thread's next turn, through the queue that
    // also carries the replies' lines: the command goes out without waiting for the memo's
    // layout, and the memo keeps the order of sends and replies.
    const QString line = MemoLine(" | SEND -> ", text != nullptr ? text : "");
    KQmrView* view = view_;
    PostToGui(GetForm(), [view, line] { view->AppendMemo(line); });
}

void KModuleQmr::TakeReply(const std::string& reply)
{
    if (view_ != nullptr) {
        view_->AppendMemo(MemoLine(" | RECV <- ", reply.c_str()));
    }
    StopReplyTimeout();
    lastReply_ = reply;
}

void KModuleQmr::StartReplyTimeout()
{
    if (view_ != nullptr) {
        view_->SetReplyTimer(true);
    }
}

void KModuleQmr::StopReplyTimeout()
{
    if (view_ != nullptr) {
        view_->SetReplyTimer(false);
    }
}

void KModuleQmr::Post(int event)
{
    if (view_ != nullptr) {
        view_->StartFunction(event);
    }
}

// ---- starters (GUI thread) ----

void KModuleQmr::End()
{
    busy_.store(false);
    functionState_.store(fnIDLE);
}

bool KModuleQmr::ToRemote()
{
    const Running running(this);
    LogLine("KModuleQmr", "ToRemote");
    SetBusyLamp(true);
    return StartConnect(&KComDeviceQmr::QueryMode, true);
}

bool KModuleQmr::StartConnect(bool (KComDeviceQmr::*first)(), bool logFailure)
{
    // The busy lamp lets messages through: the window may have closed meanwhile.
    if (IsReleased()) {
        return false;
    }
    // An open link is used as it is, whether or not remote mode was reached on it.
    bool ok = IsConnected() ? true : OpenPort();
    if (ok) {
        // The connect fails on the errors that it collects itself. An error collected before
        // (a reply that came as the link dropped, whose step never ran) belongs to a link that
        // is gone, and would fail this connect for nothing.
        errors_->DropWarnings();
        functionState_.store(fnTOREMOTE);
        LogLine("ToRemote", "OPEN");
        if (deviceQmr_ == nullptr || !(deviceQmr_->*first)()) {
            ok = false;
            ClosePort();
        }
    }
    SetPortPageEnabled(!ok);
    if (!ok) {
        if (logFailure) {
            LogLine("ToRemote", "ERROR!");
        }
        ToLocal();
        End();
    }
    return ok;
}

void KModuleQmr::OnFrequencySet()
{
}

void KModuleQmr::ResetSequences()
{
}

bool KModuleQmr::ToLocal()
{
    const Running running(this);
    ResetSequences();
    if (!IsRemote()) {
        return true;
    }
    // With a reply still awaited (a command in flight, or one set aside at a window switch),
    // the local command's own answer could not be told from it: the command goes out, that
    // reply and its answer are awaited no more, and the window is local at once, the link
    // closed behind it.
    const bool awaited = deviceQmr_ != nullptr && deviceQmr_->AwaitsReply();
    busy_.store(true);
    functionState_.store(fnTOLOCAL);
    const bool sent = deviceQmr_ != nullptr && deviceQmr_->SendLocal(!awaited);
    if (!sent || awaited) {
        EndLocal(true);
    }
    // The tabs follow the link: with the link closed they are usable again.
    SetPortPageEnabled(true);
    return sent;
}

void KModuleQmr::EndLocal(bool showLocal)
{
    // Closed first: nothing that arrives while the local state is drawn is taken any more.
    ClosePort();
    if (showLocal) {
        SetRemoteState(false);
    }
    End();
}

void KModuleQmr::FinishLocal()
{
    if (functionState_.load() == fnTOLOCAL) {
        EndLocal(true);
    }
}

bool KModuleQmr::ForceLocal()
{
    const Running running(this);
    // An exit that closed the link first has shown the local state with its own message.
    const bool wasRemote = IsRemote() || IsConnected();
    AbandonModeChange();
    busy_.store(true);
    functionState_.store(fnTOLOCAL);
    ResetSequences();
    if (deviceQmr_ != nullptr) {
        deviceQmr_->ForceLocal();
    }
    // No answer to ":SYST:LOC" is awaited: once it went out the window is local as at the end
    // of a Disconnect, and the link is closed, so that a reply to what was given up reaches no
    // later command. The status watch ends with remote mode.
    EndLocal(wasRemote);
    SetPortPageEnabled(true);
    if (view_ != nullptr) {
        view_->SetErrorTimer(false);
    }
    return true;
}

void KModuleQmr::AbandonModeChange()
{
    if (functionState_.load() == fnMODECHG && view_ != nullptr) {
        view_->ModeChangeRefused();
    }
}

bool KModuleQmr::DisconnectIfRemote()
{
    const Running running(this);
    // An open link is closed also when remote mode was never reached on it.
    if (IsRemote() || IsConnected()) {
        ClosePort();
        End();
        SetPortPageEnabled(true);
    }
    return true;
}

bool KModuleQmr::OpenPort()
{
    const Running running(this);
    busy_.store(true);
    const bool ok = deviceQmr_ != nullptr && deviceQmr_->Open(false);
    if (ok) {
        deviceQmr_->SetRemote();
    } else {
        if (deviceQmr_ != nullptr) {
            deviceQmr_->ClearRemote();
        }
        busy_.store(false);
    }
    return ok;
}

void KModuleQmr::ClosePort()
{
    const Running running(this);
    if (deviceQmr_ == nullptr) {
        return;
    }
    // A mode change still waiting for its answer will not happen.
    AbandonModeChange();
    deviceQmr_->Close();
    deviceQmr_->ClearRemote();
    // Nothing answers on a closed link: no command waits, no time-out runs, no value waits,
    // and no identity is shown.
    deviceQmr_->ForgetAwaitedReplies();
    StopReplyTimeout();
    ResetSequences();
    if (view_ != nullptr) {
        view_->DropPendingValues();
        view_->SetSerialLabel(QStringLiteral("S/N"));
    }
}

bool KModuleQmr::IsConnected()
{
    return deviceQmr_ != nullptr && deviceQmr_->IsOpen();
}

bool KModuleQmr::IsRemote()
{
    return deviceQmr_ != nullptr && deviceQmr_->IsRemote();
}

bool KModuleQmr::ModeToIL()
{
    const Running running(this);
    if (!WaitIdle(4)) {
        return false;
    }
    functionState_.store(fnMODECHG);
    busy_.store(true);
    const bool sent = deviceQmr_ != nullptr && deviceQmr_->SendModeIL();
    if (!sent) {
        End();
    }
    return sent;
}

bool KModuleQmr::ModeToPP()
{
    const Running running(this);
    if (!WaitIdle(5)) {
        return false;
    }
    functionState_.store(fnMODECHG);
    busy_.store(true);
    const bool sent = deviceQmr_ != nullptr && deviceQmr_->SendModePP();
    if (!sent) {
        End();
    }
    return sent;
}

bool KModuleQmr::SetLevel(int16_t tenths, bool wait)
{
    const Running running(this);
    if (deviceQmr_ == nullptr) {
        return false;
    }
    if (wait && !WaitIdle(1)) {
        return false;
    }
    functionState_.store(fnPOSITION);
    busy_.store(true);
    const bool sent = deviceQmr_->SetLevel(tenths);
    End();
    return sent;
}

bool KModuleQmr::SetIL(int16_t tenths, bool wait)
{
    const Running running(this);
    if (deviceQmr_ == nullptr || deviceQmr_->GetFrequency() < 0) {
        return false;
    }
    if (wait && !WaitIdle(2)) {
        return false;
    }
    functionState_.store(fnPOSITION);
    busy_.store(true);
    const bool sent = deviceQmr_->SetIL(tenths, deviceQmr_->GetFrequency());
    End();
    return sent;
}

bool KModuleQmr::SetFrequency(int16_t hundredths)
{
    const Running running(this);
    if (deviceQmr_ == nullptr) {
        return false;
    }
    if (!WaitIdle(3)) {
        return false;
    }
    functionState_.store(fnPOSITION);
    busy_.store(true);
    const bool sent = deviceQmr_->SetFrequency(hundredths);
    if (!sent) {
        End();
    }
    return sent;
}

bool KModuleQmr::SetPanelLock(bool on)
{
    functionState_.store(fnKLOC);
    busy_.store(true);
    const bool sent = deviceQmr_ != nullptr && deviceQmr_->SendKeyLock(on);
    if (!sent) {
        End();
    }
    return sent;
}

bool KModuleQmr::SendString(const char* text)
{
    // The device refuses free text while a reply is awaited: the function that awaits it is
    // left running, so that its reply still steps it on. So is a function between its steps.
    if (deviceQmr_ == nullptr || text == nullptr || !deviceQmr_->IsIdle() || functionState_.load() != fnIDLE) {
        return false;
    }
    functionState_.store(fnGETSTR);
    busy_.store(true);
    deviceQmr_->SendString(text);
    End();
    return false;
}

bool KModuleQmr::ReadStatusByte()
{
    functionState_.store(fnREADSTB);
    busy_.store(true);
    const bool sent = deviceQmr_ != nullptr && deviceQmr_->ReadStatusByte();
    if (!sent) {
        End();
    }
    return sent;
}

bool KModuleQmr::WaitIdle(int tag)
{
    const Running running(this);
    int n = 10;
    // A window closed during the wait ends it: its module starts nothing more.
    while (!IsReleased() && functionState_.load() != fnIDLE && n > 0) {
        --n;
        Pause(100);
        ProcessMessages();
        LogNum("WaitBusy", tag);
    }
    return n > 0 && !IsReleased();
}

bool KModuleQmr::IsBusy()
{
    return busy_.load() || IsDeviceBusy() || functionState_.load() != fnIDLE;
}

bool KModuleQmr::IsBusyForUpdate()
{
    const int state = functionState_.load();
    if (state == fnREADSTB) {
        return false;
    }
    if (state != fnIDLE) {
        return true;
    }
    return busy_.load() || IsDeviceBusy();
}

bool KModuleQmr::IsDeviceBusy()
{
    return deviceQmr_ != nullptr && deviceQmr_->IsBusy();
}

bool KModuleQmr::ReportPendingErrors()
{
    const Running running(this);
    const bool fatal = errors_->ShowFatal();
    const bool warned = errors_->ShowWarnings() > 0;
    return fatal || warned;
}

bool KModuleQmr::ShowComSettings()
{
    const Running running(this);
    busy_.store(true);
    const bool ok = deviceQmr_ != nullptr && deviceQmr_->EditSettings();
    busy_.store(false);
    return ok;
}

int KModuleQmr::FindUsbComPort(int index)
{
    if (deviceQmr_ == nullptr) {
        return -1;
    }
    const uint16_t productId = AlternativeProductId() ? qmr::kQmrUsbProductIdAlt : qmr::kQmrUsbProductId;
    return deviceQmr_->FindUsbComPort(productId, index);
}

bool KModuleQmr::IsUsbSettings()
{
    return deviceQmr_ != nullptr && deviceQmr_->IsUsb();
}

void KModuleQmr::SetPortType(int usb)
{
    if (deviceQmr_ != nullptr) {
        deviceQmr_->SetPortType(usb != 0);
    }
}

void KModuleQmr::ShowPortPage()
{
    SetPortPage(IsUsbSettings());
}

void KModuleQmr::SetPortPage(bool usb)
{
    if (view_ != nullptr) {
        view_->SetPortPage(usb);
    }
}

bool KModuleQmr::IsUsbPageActive()
{
    return view_ != nullptr && view_->IsUsbPageActive();
}

void KModuleQmr::UpdatePortPageEnabled()
{
    SetPortPageEnabled(!IsRemote());
}

void KModuleQmr::SetPortPageEnabled(bool on)
{
    if (view_ != nullptr) {
        view_->SetPortPageEnabled(on);
    }
}

// ---- indicators (GUI thread) ----

void KModuleQmr::SetRemoteIndicators(bool on)
{
    if (view_ != nullptr) {
        view_->SetRemoteBars(on);
    }
}

void KModuleQmr::ShowLinkState()
{
    SetRemoteIndicators(IsConnected());
}

void KModuleQmr::SetRemoteState(bool on)
{
    const Running running(this);
    SetRemoteIndicators(on);
    if (view_ != nullptr) {
        view_->SetRemoteLamps(on);
        if (on) {
            view_->SetMessage(QStringLiteral("Click  the  Disconnect  button  to  stop  remote  control."));
        } else {
            view_->SetMessage(QStringLiteral("Click  the  Connect  button  to  control  QMR3400."));
            view_->ShowRemote(false);
            view_->DropPendingValues();
        }
    }
    ProcessMessages();
}

void KModuleQmr::SetErrorLamp(bool on)
{
    const Running running(this);
    if (view_ != nullptr) {
        view_->SetErrorLook(on);
    }
    ProcessMessages();
}

void KModuleQmr::SetBusyLamp(bool on)
{
    const Running running(this);
    if (view_ != nullptr) {
        view_->SetBusyLook(on && functionState_.load() != fnREADSTB);
    }
    ProcessMessages();
}

void KModuleQmr::SetKeyLockState(bool locked)
{
    if (view_ != nullptr) {
        view_->SetKeyLockLook(locked);
    }
    if (deviceQmr_ != nullptr) {
        deviceQmr_->SetKeyLockFlag(locked);
    }
}

bool KModuleQmr::IsPanelLocked()
{
    return view_ != nullptr && view_->IsLockShown();
}

void KModuleQmr::ShowLevel(int16_t value)
{
    if (view_ != nullptr) {
        view_->ShowValue(value);
    }
}

void KModuleQmr::ShowIL(int16_t value)
{
    if (view_ != nullptr) {
        view_->ShowValue(value);
    }
}

void KModuleQmr::ShowFrequency(int16_t value)
{
    if (view_ != nullptr) {
        view_->ShowFrequency(value);
    }
}

// ---- kinds ----

KModuleQmrIL::~KModuleQmrIL()
{
    DetachFromDevice();
}

void KModuleQmrIL::OnFrequencySet()
{
    // Ending the editing sends the frequency, which may wait.
    const Running running(this);
    if (view_ != nullptr) {
        view_->ReleaseFrequencySet();
        view_->SetFrequencyEditing(false);
    }
}

KModuleQmrPP::~KModuleQmrPP()
{
    DetachFromDevice();
}
