#include "app/windows/Formapqmrcf.h"

#include "app/instrument/Kmdlqmr.h"
#include "app/windows/Framlook.h"
#include "common/Guipost.h"

#include "ui_Formapqmr.h"
#include "ui_Formapqmrcf.h"

#include <QAction>
#include <QCheckBox>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPalette>
#include <QPushButton>
#include <QTimer>

#include <utility>

TFormAppQmrConfig* FormAppQmrConfig = nullptr;

namespace {

constexpr int kMessageTop = 440;
constexpr int kControlTop = 150;
constexpr int kControlHeight = 24;
// A read or write that waits for the module looks again this often.
constexpr int kWaitRetryMs = 100;

} // namespace

TFormAppQmrConfig::TFormAppQmrConfig(QWidget* owner, KModuleQmrConfig* module)
    : TFormAppQmr(owner, module), ui_(std::make_unique<Ui::TFormAppQmrConfig>())
{
    using namespace sliderlook;
    // The form's controls sit where the form puts them in the window itself: the holder they
    // were made in goes again, so that it covers none of the instrument window's controls.
    auto* holder = new QWidget(this);
    ui_->setupUi(holder);
    for (QWidget* child : holder->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        const QPoint at = child->pos();
        child->setParent(this);
        child->move(at);
        child->show();
    }
    delete holder;

    LabelCaption()->setText(QStringLiteral("QMR3400 - Configuration"));
    Ui::TFormAppQmr& base = Form();
    base.LabelSerial->setText(QStringLiteral("-"));
    base.ButtonConfig->setText(QStringLiteral("Control"));
    base.ButtonMode->setVisible(false);
    // The settings panel takes the room below the link controls: the message line moves under
    // the Read and Write buttons and "Control" keeps clear of the panel's top edge.
    base.LabelMsg->move(base.LabelMsg->x(), kMessageTop);
    base.ButtonConfig->setGeometry(base.ButtonConfig->x(), kControlTop, base.ButtonConfig->width(), kControlHeight);
    ActionConfig->setText(QStringLiteral("Control"));

    SetPixelSize(ui_->LabelZero, 13);
    SetPixelSize(ui_->LabelIpCmt, 13);
    SetPixelSize(ui_->LabelIpAdrs, 21);
    SetPixelSize(ui_->ButtonRead, 16);
    SetPixelSize(ui_->ButtonApply, 16);
    QPalette face = ui_->EditNo->palette();
    face.setColor(QPalette::Base, kFace);
    ui_->EditNo->setPalette(face);
    // The edits sit in the gaps of their labels' texts.
    ui_->EditBrightness->raise();
    ui_->EditAutoOff->raise();
    ui_->Panel1->setAutoFillBackground(true);

    ActionRead = MakeAction("ActionRead", "Read from QMR", ui_->ButtonRead, [this] { ActionReadExecute(); });
    ActionWrite = MakeAction("ActionWrite", "Write to QMR", ui_->ButtonApply, [this] { ActionWriteExecute(); });
    connect(ui_->CheckBoxDhcp, &QCheckBox::clicked, this, &TFormAppQmrConfig::CheckBoxDhcpClick);
    timerWait_ = new QTimer(this);
    timerWait_->setObjectName(QStringLiteral("TimerWait"));
    timerWait_->setInterval(kWaitRetryMs);
    timerWait_->setSingleShot(true);
    connect(timerWait_, &QTimer::timeout, this, &TFormAppQmrConfig::StartWaiting);
    FormAppQmrConfig = this;
    UpdateActions();
}

TFormAppQmrConfig::~TFormAppQmrConfig()
{
    // The module goes before the view it posts to.
    ReleaseModule();
    if (FormAppQmrConfig == this) {
        FormAppQmrConfig = nullptr;
    }
}

KModuleQmrConfig* TFormAppQmrConfig::ConfigModule() const
{
    return dynamic_cast<KModuleQmrConfig*>(Module());
}

void TFormAppQmrConfig::ShowRemote(bool /*remote*/)
{
}

void TFormAppQmrConfig::ReadSettings()
{
    RequestSequence(Sequence::Read);
}

void TFormAppQmrConfig::WriteSettings()
{
    RequestSequence(Sequence::Write);
}

void TFormAppQmrConfig::DropPendingValues()
{
    waiting_ = Sequence::None;
    timerWait_->stop();
}

void TFormAppQmrConfig::RequestSequence(Sequence sequence)
{
    KModuleQmrConfig* module = ConfigModule();
    // The buttons are off while a read or write runs; a press that beat them does nothing.
    if (module == nullptr || module->IsSequenceRunning()) {
        return;
    }
    // The buttons follow the module's state only every 100 ms: a press may come while a
    // status poll awaits its reply, whose replies must not be taken for the settings. It
    // waits for the poll like a slider value waits for a busy link; a later press replaces it.
    waiting_ = sequence;
    StartWaiting();
}

void TFormAppQmrConfig::StartWaiting()
{
    timerWait_->stop();
    KModuleQmrConfig* module = ConfigModule();
    if (waiting_ == Sequence::None || module == nullptr) {
        return;
    }
    if (!module->CanStartSequence()) {
        if (module->IsConnected()) {
            timerWait_->start();
        } else {
            waiting_ = Sequence::None;
        }
        return;
    }
    const Sequence sequence = std::exchange(waiting_, Sequence::None);
    if (sequence == Sequence::Read) {
        module->StartRead();
    } else {
        module->StartWrite();
    }
}

void TFormAppQmrConfig::ActionReadExecute()
{
    ReadSettings();
}

void TFormAppQmrConfig::ActionWriteExecute()
{
    WriteSettings();
}

void TFormAppQmrConfig::CheckBoxDhcpClick()
{
    ui_->EditIp->setEnabled(!ui_->CheckBoxDhcp->isChecked());
}

void TFormAppQmrConfig::ActionConfigExecute()
{
    // Back to the last of the dB and percent windows, which reconnects over an open link.
    SwitchWithLinkCode(-1);
}

void TFormAppQmrConfig::UpdateActions()
{
    TFormAppQmr::UpdateActions();
    ActionReadUpdate();
}

void TFormAppQmrConfig::ActionReadUpdate()
{
    KModuleQmrConfig* module = ConfigModule();
    // Nor while a function of the module runs, nor while a read or write waits for one.
    const bool on = module != nullptr && module->IsConnected() && !module->IsSequenceRunning() &&
                    module->GetFunctionState() == fnIDLE && waiting_ == Sequence::None;
    ActionRead->setEnabled(on);
    ActionWrite->setEnabled(on);
}

// ---- the settings module's view ----

void TFormAppQmrConfig::PostListenedReply(const std::string& reply)
{
    PostToGui(this, [this, reply] {
        if (KModuleQmrConfig* module = ConfigModule()) {
            module->TakeListenedReply(reply);
        }
    });
}

void TFormAppQmrConfig::StopReplyTimer()
{
    TimerOver()->stop();
}

QLineEdit* TFormAppQmrConfig::Edit(KConfigEdit edit) const
{
    switch (edit) {
    case KConfigEdit::Brightness:
        return ui_->EditBrightness;
    case KConfigEdit::AutoOff:
        return ui_->EditAutoOff;
    case KConfigEdit::Ip:
        return ui_->EditIp;
    default:
        return ui_->EditNo;
    }
}

QCheckBox* TFormAppQmrConfig::Check(KConfigCheck check) const
{
    return check == KConfigCheck::Sound ? ui_->CheckBoxSound : ui_->CheckBoxDhcp;
}

QString TFormAppQmrConfig::EditText(KConfigEdit edit) const
{
    return Edit(edit)->text();
}

void TFormAppQmrConfig::SetEditText(KConfigEdit edit, const QString& text)
{
    Edit(edit)->setText(text);
}

void TFormAppQmrConfig::SetIpEditable(bool on)
{
    ui_->EditIp->setEnabled(on);
}

bool TFormAppQmrConfig::IsChecked(KConfigCheck check) const
{
    return Check(check)->isChecked();
}

void TFormAppQmrConfig::SetChecked(KConfigCheck check, bool on)
{
    Check(check)->setChecked(on);
}
