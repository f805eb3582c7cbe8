// The instrument window's switches to the other windows and its developer controls (Manual,
// BusyChk, the command panel, the command edit and SEND), which only the manual window shows.
#include "app/windows/Formapqmr.h"

#include "ui_Formapqmr.h"

#include "app/instrument/Comdvqmr.h"
#include "app/instrument/Kmdlqmr.h"

#include <QByteArray>
#include <QLabel>
#include <QLineEdit>
#include <QTimer>

void TFormAppQmr::ButtonManualClick()
{
    OpenManualWindow();
}

void TFormAppQmr::ButtonBusyChkClick()
{
    if (module_ != nullptr) {
        module_->SetBusy(false);
    }
    if (device_ != nullptr) {
        device_->SetCommandState(csIDLE);
    }
}

void TFormAppQmr::ButtonSendClick()
{
    SendCommandText();
}

void TFormAppQmr::SendCommandText()
{
    if (module_ == nullptr || device_ == nullptr) {
        return;
    }
    const QByteArray text = ui_->EditCmd->text().toLatin1();
    // The device sends free text only while nothing awaits a reply; only this thread starts a
    // command, so what is idle now is still idle when the text goes.
    const bool mayGo = device_->IsIdle() && module_->GetFunctionState() == fnIDLE;
    module_->SendString(text.constData());
    // No reply comes to a text without "?": it is done once it went out. A text that was not
    // sent leaves the command in flight pending, so that its reply is still taken.
    if (mayGo && !text.contains('?') && device_->ClearCommandState(csGETSTR)) {
        module_->SetBusy(false);
    }
}

void TFormAppQmr::LabelSysErrClick(QLabel* label)
{
    ui_->EditCmd->setText(label->text());
    ui_->EditCmd->setFocus();
}

void TFormAppQmr::BindCommandLabels()
{
    for (QLabel* label : ui_->PanelDbg->findChildren<QLabel*>()) {
        label->installEventFilter(this);
    }
}

// ---- window switches ----

KWindowSwitch* TFormAppQmr::Switch() const
{
    return dynamic_cast<KWindowSwitch*>(GetStartUp());
}

int TFormAppQmr::CurrentLinkCode()
{
    if (module_ == nullptr || !module_->IsConnected()) {
        return 0;
    }
    return IsUsbPageActive() ? 1 : 2;
}

void TFormAppQmr::SwitchTo(int number, int linkCode)
{
    KWindowSwitch* windowSwitch = Switch();
    if (windowSwitch == nullptr) {
        return;
    }
    timerBusy_->stop();
    switching_ = true;
    // A reply that this window still awaits belongs to its own command: it is set aside, and
    // the next window's first command waits for it.
    if (device_ != nullptr) {
        device_->SetAsideAwaitedReply(timerOver_->interval());
    }
    windowSwitch->ChangeWindow(number, linkCode);
    close();
}

void TFormAppQmr::OpenWindowIL()
{
    SwitchTo(0, IsUsbPageActive() ? 1 : 2);
}

void TFormAppQmr::OpenWindowPp()
{
    SwitchTo(1, IsUsbPageActive() ? 1 : 2);
}

void TFormAppQmr::SwitchWithLinkCode(int number)
{
    timerErr_->stop();
    // A Disconnect under way has closed the link before the next window learns of it.
    if (module_ != nullptr) {
        module_->FinishLocal();
    }
    SwitchTo(number, CurrentLinkCode());
}

void TFormAppQmr::OpenConfigWindow()
{
    SwitchWithLinkCode(2);
}

void TFormAppQmr::OpenManualWindow()
{
    KModuleQmr* module = module_;
    SwitchWithLinkCode(3);
    // The module is deleted once the window closed for the switch.
    if (module_ != nullptr && module == module_) {
        module_->SetBusy(false);
        module_->SetBusyLamp(false);
    }
}
