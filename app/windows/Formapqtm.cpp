// The instrument window's timers: the busy lamp, the step engine's tick, the error watch and
// the reply time-out.
#include "app/windows/Formapqmr.h"

#include "app/core/Applog.h"
#include "app/core/Formmesg.h"
#include "app/instrument/Comdvqmr.h"
#include "app/instrument/Kchkerr.h"
#include "app/instrument/Kmdlqmr.h"

#include <QString>
#include <QTimer>

void TFormAppQmr::TimerBusyTimer()
{
    if (module_ == nullptr) {
        return;
    }
    runningHandlers_ |= kRunBusy;
    const bool busy = module_->IsBusyForUpdate() || (device_ != nullptr && device_->IsBusyExceptStatus());
    module_->SetBusyLamp(busy);
    runningHandlers_ &= ~kRunBusy;
}

void TFormAppQmr::TimerFuncTimer()
{
    if ((runningHandlers_ & kRunFunc) != 0) {
        // The step engine is busy further up (inside a message window): the event waits
        // for the next tick.
        timerFunc_->start(100);
        return;
    }
    timerFunc_->stop();
    timerFunc_->setInterval(100);
    if (module_ == nullptr) {
        return;
    }
    if (autoConnect_ && !module_->IsConnected()) {
        // The link that the connect was to go over has gone since the switch.
        EndWaitingConnect();
        return;
    }
    if (autoConnect_ && device_ != nullptr && !device_->IsIdle()) {
        // The last window's reply is still on its way, or the reply to this window's free
        // text: this window's first command waits for it, so that the reply is not taken for
        // this command's answer. The set-aside reply's time-out, once due, asks here.
        if (!device_->AwaitsSetAsideReply() || device_->SetAsideTimeLeftMs() > 0) {
            timerFunc_->start();
        } else {
            TimerOverTimer();
        }
        return;
    }
    runningHandlers_ |= kRunFunc;
    if (autoConnect_) {
        autoConnect_ = false;
        LogLine("TIMER INT ", "");
        if (!Connect() && module_ != nullptr) {
            module_->ToLocal();
            pendingEvent_.store(0);
        }
    } else {
        const int event = pendingEvent_.load();
        if (event == 1) {
            OpenWindowIL();
        } else if (event == 2) {
            OpenWindowPp();
        } else {
            module_->StepFunction(event);
        }
    }
    if (checker_) {
        checker_->RaiseCountdown();
    }
    runningHandlers_ &= ~kRunFunc;
}

void TFormAppQmr::TimerErrTimer()
{
    runningHandlers_ |= kRunErr;
    if (checker_ && module_ != nullptr && !module_->IsBusy()) {
        if (checker_->Tick(timerErr_->interval())) {
            timerErr_->stop();
            // The report's boxes may outlast the window: a closed one watches nothing more.
            if (module_->ReportPendingErrors()) {
                if (module_ != nullptr) {
                    module_->ToLocal();
                }
            } else if (module_ != nullptr) {
                timerErr_->start();
            }
        }
    }
    runningHandlers_ &= ~kRunErr;
}

void TFormAppQmr::TimerOverTimer()
{
    timerOver_->stop();
    // The reply came in time, but its hand-over to this thread waited behind a busy wait that
    // let no message through: nothing is left to ask about.
    if (device_ != nullptr && !device_->AwaitsReply()) {
        return;
    }
    runningHandlers_ |= kRunOver;
    const int answer = ShowYesNoMsg(QStringLiteral(" No response from QMR3400. Please close this program."),
                                    QStringLiteral(" Are you sure you want to Exit? "));
    // A window that closed while the question was up (the late reply switched windows) has let
    // go of the device and the module: its answer is dropped, and the command of the window
    // that followed stays pending.
    if (module_ != nullptr) {
        // The query that went unanswered is forgotten first, so that the forced local does not
        // wait for it.
        if (device_ != nullptr) {
            device_->ForgetAwaitedReplies();
        }
        module_->ResetSequences();
        EndWaitingConnect();
        if (answer == kMsgOk) {
            exitConfirmed_ = true;
            close();
        } else {
            module_->ForceLocal();
        }
    }
    runningHandlers_ &= ~kRunOver;
}
