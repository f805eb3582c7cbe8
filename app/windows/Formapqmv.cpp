// The instrument window as its command module sees it: the event hand-over from the
// communication thread, the memo, message and serial lines, the timers and the indicators.
#include "app/core/Formlook.h"
#include "app/windows/Formapqmr.h"

#include "ui_Formapqmr.h"

#include "app/instrument/Kmdlqmr.h"
#include "bramble/Bramble.h"
#include "common/Guipost.h"

#include <QColor>
#include <QLabel>
#include <QPalette>
#include <QPlainTextEdit>
#include <QSignalBlocker>
#include <QTabWidget>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <string>

using namespace formlook;

namespace {

void TextColour(QWidget* widget, const QColor& colour)
{
    QPalette palette = widget->palette();
    palette.setColor(QPalette::WindowText, colour);
    widget->setPalette(palette);
}

} // namespace

// ---- the command module's view ----

void TFormAppQmr::StartFunction(int event)
{
    std::string tag = "TimerFuncStart ";
    _WriteNumLog(tag.data(), event);
    // The tick is counted from the reply's arrival: time the GUI thread spent on other work (a
    // paint, an update handler) before it took the event up does not delay the next command.
    const auto arrived = std::chrono::steady_clock::now();
    auto take = [this, event, arrived] {
        // An event queued before the window closed starts no step there.
        if (module_ == nullptr) {
            return;
        }
        pendingEvent_.store(event);
        if (!timerFunc_->isActive()) {
            // Between ticks the timer holds its own interval (10 ms before the first, then 100).
            funcTickMs_ = timerFunc_->interval();
        }
        const auto waited =
            std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - arrived).count();
        timerFunc_->start(static_cast<int>(std::max<long long>(0, funcTickMs_ - waited)));
    };
    if (QThread::currentThread() == thread()) {
        take();
        return;
    }
    // Queued behind the reply's own work, so the event is taken after its reply.
    PostToGui(this, take);
}

void TFormAppQmr::PostReply(const std::string& reply)
{
    PostToGui(this, [this, reply] {
        if (module_ != nullptr) {
            module_->TakeReply(reply);
        } else {
            AppendMemo(KModuleQmr::MemoLine(" | RECV <- ", reply.c_str()));
        }
    });
}

void TFormAppQmr::AppendMemo(const QString& line)
{
    ui_->MemoLog->appendPlainText(line);
}

void TFormAppQmr::SetMessage(const QString& text)
{
    ui_->LabelMsg->setText(text);
}

void TFormAppQmr::SetSerial(const QString& text)
{
    ui_->LabelSerial->setText(QStringLiteral("S/N ") + text);
}

void TFormAppQmr::SetSerialLabel(const QString& text)
{
    ui_->LabelSerial->setText(text);
}

void TFormAppQmr::SetRange(int16_t /*max*/, int16_t /*min*/)
{
}
void TFormAppQmr::ShowValue(int16_t /*value*/)
{
}
void TFormAppQmr::ShowFrequency(int16_t /*value*/)
{
}
void TFormAppQmr::EnableSlider(bool /*on*/)
{
}
void TFormAppQmr::SetFrequencyEditing(bool /*on*/)
{
}
void TFormAppQmr::ReleaseFrequencySet()
{
}
void TFormAppQmr::ReadSettings()
{
}
void TFormAppQmr::DropPendingValues()
{
}

void TFormAppQmr::ModeChangeRefused()
{
    if (modeSlider_ != nullptr) {
        modeSlider_->setEnabled(modeSliderWasEnabled_);
        modeSlider_ = nullptr;
    }
}

void TFormAppQmr::SetReplyTimer(bool on)
{
    if (on) {
        timerOver_->start();
    } else {
        timerOver_->stop();
    }
    ui_->LabelTimer->setVisible(on);
}

void TFormAppQmr::SetErrorTimer(bool on)
{
    if (on) {
        timerErr_->start();
    } else {
        timerErr_->stop();
    }
}

void TFormAppQmr::SetRemoteBars(bool remote)
{
    Fill(ui_->StaticTextRemote, remote ? kAqua : kNavy);
    Fill(ui_->StaticTextLocal, remote ? kNavy : kAqua);
}

void TFormAppQmr::SetRemoteLamps(bool remote)
{
    ui_->ShapeReady->setVisible(remote);
    Fill(ui_->LabelRemote, remote ? kYellow : kNavy);
    Fill(ui_->LabelLocal, remote ? kNavy : kYellow);
}

void TFormAppQmr::SetErrorLook(bool on)
{
    Fill(ui_->LabelError, on ? kYellow : kGrey);
    TextColour(ui_->LabelError, on ? kRed : kGrey);
    if (on) {
        ui_->ButtonConnect->setEnabled(false);
    }
}

void TFormAppQmr::SetBusyLook(bool on)
{
    const QColor colour = on ? kYellow : kNavy;
    if (ui_->LabelBusy->palette().color(QPalette::Window) != colour) {
        Fill(ui_->LabelBusy, colour);
    }
}

void TFormAppQmr::SetKeyLockLook(bool locked)
{
    ui_->LabelLock->setVisible(locked);
    ui_->LabelUnlock->setVisible(!locked);
}

bool TFormAppQmr::IsLockShown() const
{
    return !ui_->LabelLock->isHidden();
}

void TFormAppQmr::SetPortPage(bool usb)
{
    // Only the operator's choice of tab changes the settings, not the program's.
    const QSignalBlocker blocker(ui_->PageControl);
    ui_->PageControl->setCurrentWidget(usb ? ui_->TabSheetUsb : ui_->TabSheetLan);
}

bool TFormAppQmr::IsUsbPageActive() const
{
    return ui_->PageControl->currentWidget() == ui_->TabSheetUsb;
}

void TFormAppQmr::SetPortPageEnabled(bool on)
{
    ui_->PageControl->setEnabled(on);
}
