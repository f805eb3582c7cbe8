#include "app/core/Formmesg.h"

#include "ui_Formmesg.h"

#include <QApplication>
#include <QCoreApplication>
#include <QFileInfo>
#include <QFont>
#include <QGuiApplication>
#include <QLabel>
#include <QPalette>
#include <QPushButton>
#include <QScreen>
#include <QShowEvent>
#include <QThread>
#include <QTimer>

namespace {

constexpr int kBlinkIntervalMs = 160;
// The fifth tick stops the timer: four swaps put the first colours back in place.
constexpr int kBlinkStopTick = 5;

const QColor kErrorColour(255, 170, 255);
const QColor kWarningColour(255, 255, 170);

// Designer keeps point sizes; this window's texts are sized in pixels.
void SetPixelSize(QWidget* widget, int pixels)
{
    QFont font = widget->font();
    font.setPixelSize(pixels);
    widget->setFont(font);
}

void SetPanelColour(QWidget* panel, const QColor& colour)
{
    QPalette palette = panel->palette();
    palette.setColor(QPalette::Window, colour);
    panel->setPalette(palette);
}

QString ProgramName()
{
    QString name = QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName();
    if (name.isEmpty()) {
        name = QCoreApplication::applicationName();
    }
    return name;
}

// Widgets need the application object and its thread; anything else counts as a window that
// cannot be made.
bool CanMakeWindow()
{
    return qobject_cast<QApplication*>(QCoreApplication::instance()) != nullptr &&
           QThread::currentThread() == QCoreApplication::instance()->thread();
}

TFormMsg* MakeForm(const QColor* colour, const QString& caption)
{
    if (!CanMakeWindow()) {
        return nullptr;
    }
    try {
        return colour != nullptr ? new TFormMsg(nullptr, *colour, caption) : new TFormMsg(nullptr);
    } catch (...) {
        return nullptr;
    }
}

// Shows the window modally; it frees itself when the modal run ends, so no reference is kept.
int RunModal(TFormMsg* form)
{
    form->setAttribute(Qt::WA_DeleteOnClose);
    const int result = form->exec();
    return result == kMsgOk ? kMsgOk : kMsgCancel;
}

int ShowWithOk(const QColor* colour, const QString& caption, const QString& upper, const QString& lower,
               unsigned char withCancel, bool blink)
{
    TFormMsg* form = MakeForm(colour, caption);
    if (form == nullptr) {
        return kMsgNotShown;
    }
    if (withCancel == 1) {
        form->ShowCancel();
    }
    if (colour == nullptr) {
        form->SetCaption(caption);
    }
    form->SetText(upper, lower);
    if (blink) {
        form->StartBlink();
    }
    return RunModal(form);
}

} // namespace

TFormMsg::TFormMsg(QWidget* owner) : QDialog(owner), ui_(std::make_unique<Ui::TFormMsg>())
{
    ui_->setupUi(this);
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint | Qt::WindowStaysOnTopHint);
    setFixedSize(500, 172);

    SetPixelSize(this, 16);
    SetPixelSize(ui_->PanelCaption, 16);
    SetPixelSize(ui_->PanelUp, 19);
    SetPixelSize(ui_->PanelDn, 19);
    SetPixelSize(ui_->ButtonOk, 16);
    SetPixelSize(ui_->ButtonCancel, 16);

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(kBlinkIntervalMs);
    connect(Timer1, &QTimer::timeout, this, &TFormMsg::Timer1Timer);
    connect(ui_->ButtonOk, &QPushButton::clicked, this, &TFormMsg::ButtonOkClick);
    connect(ui_->ButtonCancel, &QPushButton::clicked, this, &TFormMsg::ButtonCancelClick);

    blinkCount_ = 0;
    setWindowTitle(ProgramName());
}

TFormMsg::TFormMsg(QWidget* owner, const QColor& colour, const QString& caption) : TFormMsg(owner)
{
    ui_->PanelCaption->setText(caption);
    SetPanelColour(ui_->PanelUp, colour);
}

TFormMsg::~TFormMsg() = default;

void TFormMsg::SetCaption(const QString& text)
{
    ui_->PanelCaption->setText(text);
}

void TFormMsg::SetText(const QString& upper, const QString& lower)
{
    ui_->PanelUp->setText(upper);
    ui_->PanelDn->setText(lower);
}

void TFormMsg::StartBlink()
{
    Timer1->start();
}

void TFormMsg::ShowCancel()
{
    ui_->ButtonCancel->setVisible(true);
}

void TFormMsg::UseYesNo()
{
    ui_->ButtonOk->setText(QStringLiteral("YES"));
    ui_->ButtonCancel->setText(QStringLiteral("NO"));
}

void TFormMsg::SwapButtons()
{
    const int okLeft = ui_->ButtonOk->x();
    ui_->ButtonOk->move(ui_->ButtonCancel->x(), ui_->ButtonOk->y());
    ui_->ButtonCancel->move(okLeft, ui_->ButtonCancel->y());
}

void TFormMsg::ButtonOkClick()
{
    done(kMsgOk);
}

void TFormMsg::ButtonCancelClick()
{
    done(kMsgCancel);
}

void TFormMsg::reject()
{
    done(kMsgCancel);
}

void TFormMsg::Timer1Timer()
{
    ++blinkCount_;
    if (blinkCount_ >= kBlinkStopTick) {
        Timer1->stop();
        return;
    }
    const QPalette upper = ui_->PanelUp->palette();
    ui_->PanelUp->setPalette(ui_->PanelDn->palette());
    ui_->PanelDn->setPalette(upper);
}

void TFormMsg::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    CentreOnScreen();
}

void TFormMsg::CentreOnScreen()
{
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (screen == nullptr) {
        return;
    }
    const QRect frame = frameGeometry();
    const QPoint centre = screen->availableGeometry().center();
    move(centre.x() - frame.width() / 2, centre.y() - frame.height() / 2);
}

int ShowErrorMsg(const QString& upper, const QString& lower, unsigned char withCancel)
{
    return ShowWithOk(&kErrorColour, QStringLiteral("  Error "), upper, lower, withCancel, true);
}

int ShowWarningMsg(const QString& upper, const QString& lower, unsigned char withCancel)
{
    return ShowWithOk(&kWarningColour, QStringLiteral("  Warning"), upper, lower, withCancel, false);
}

int ShowConfirmMsg(const QString& upper, const QString& lower, unsigned char withCancel)
{
    return ShowWithOk(nullptr, QStringLiteral("  Confirm"), upper, lower, withCancel, false);
}

int ShowYesNoMsg(const QString& upper, const QString& lower)
{
    TFormMsg* form = MakeForm(nullptr, QString());
    if (form == nullptr) {
        return kMsgNotShown;
    }
    form->UseYesNo();
    form->ShowCancel();
    form->SetCaption(QStringLiteral("  Confirm"));
    form->SetText(upper, lower);
    form->SwapButtons();
    return RunModal(form);
}
