#include "app/link/Kfrmset.h"

#include "ui_Kfrmset.h"

#include "app/core/Formmesg.h"
#include "app/core/Kmodule.h"
#include "app/link/Selectmn.h"
#include "app/link/Thripchk.h"
#include "common/QmrUsbIds.h"

#include <QApplication>
#include <QCoreApplication>
#include <QEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPalette>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>

#include <cstring>
#include <new>

namespace {

const QColor kSkyBlue(0xA6, 0xCA, 0xF0);
const QColor kMediumGrey(0xA0, 0xA0, 0xA4);
// The caption colour of the classic desktop.
const QColor kActiveCaption(0x00, 0x00, 0x80);

constexpr int kDefaultComPort = 1;
const QString kTextComPortRange = QStringLiteral("Please enter a COM port number from 1 to 256.");
constexpr int kDefaultTcpPort = 10001;

void SetColour(QWidget* widget, QPalette::ColorRole role, const QColor& colour)
{
    QPalette palette = widget->palette();
    palette.setColor(role, colour);
    widget->setPalette(palette);
}

void FillWith(QWidget* widget, const QColor& colour)
{
    SetColour(widget, QPalette::Window, colour);
    widget->setAutoFillBackground(true);
}

// The button face of the desktop's palette.
QColor ButtonFace()
{
    return QApplication::palette().color(QPalette::Button);
}

// The text read as a decimal integer, or `fallback` when it is none.
int IntegerOr(const QString& text, int fallback)
{
    bool ok = false;
    const int value = text.trimmed().toInt(&ok, 10);
    return ok ? value : fallback;
}

// True for an integer text (of any length) outside the COM numbers; a text that is no integer
// stands for COM 1.
bool IsIntegerOutsideComPorts(const QString& text)
{
    static const QRegularExpression integer(QStringLiteral("^[+-]?[0-9]+$"));
    const QString trimmed = text.trimmed();
    if (!integer.match(trimmed).hasMatch()) {
        return false;
    }
    bool ok = false;
    const qlonglong number = trimmed.toLongLong(&ok, 10);
    return !ok || !IsComPortNumber(number);
}

// A text field of the block, bounded by the field.
QByteArray FieldText(const char* field, std::size_t size)
{
    return QByteArray(field, static_cast<qsizetype>(strnlen(field, size)));
}

// `text` (at most 15 characters used) rewritten as decimal parts, in a field's room.
QByteArray NormalizedAddress(const QByteArray& text)
{
    char work[kIpTextSize] = {};
    const qsizetype length = text.size() < static_cast<qsizetype>(kIpTextSize - 1) ? text.size() : kIpTextSize - 1;
    std::memcpy(work, text.constData(), static_cast<std::size_t>(length));
    NormalizeIpText(work, sizeof work);
    return QByteArray(work, static_cast<qsizetype>(strnlen(work, sizeof work)));
}

// The first 15 characters of an address edit, normalised.
QByteArray EditAddress(const QString& text)
{
    return NormalizedAddress(text.left(static_cast<qsizetype>(kIpTextSize - 1)).toLatin1());
}

// "/V1" anywhere in the arguments after the program's path picks the second product id.
uint16_t InstrumentProductId()
{
    const QStringList arguments = QCoreApplication::arguments();
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        if (arguments[i].contains(QStringLiteral("/V1"), Qt::CaseSensitive)) {
            return qmr::kQmrUsbProductIdAlt;
        }
    }
    return qmr::kQmrUsbProductId;
}

} // namespace

TFormComSet::TFormComSet(QWidget* owner, const ComSettings& settings, KModule* module)
    : TFormApp(owner, module), ui_(std::make_unique<Ui::TFormComSet>())
{
    std::memcpy(&settings_, &settings, sizeof settings_);
    ui_->setupUi(this);
    setObjectName(QStringLiteral("FormComSet"));
    LabelCaption()->setText(QStringLiteral("Com Settings"));

    FillWith(this, kMediumGrey);
    FillWith(ui_->Label1, kActiveCaption);
    SetColour(ui_->Label1, QPalette::WindowText, Qt::white);
    FillWith(ui_->Panel232, kSkyBlue);
    FillWith(ui_->PanelTcp, ButtonFace());
    FillWith(ui_->Panel2, kSkyBlue);
    SetColour(ui_->LabelDhcp, QPalette::WindowText, Qt::blue);
    FillWith(ui_->LabelWait, kSkyBlue);
    SetColour(ui_->LabelWait, QPalette::WindowText, Qt::black);
    SetColour(ui_->Label5, QPalette::WindowText, Qt::red);

    // Shown only while a check runs, or never: the TCP port and terminator are carried along.
    ui_->LabelWait->hide();
    ui_->EditTcpPort->hide();
    ui_->RadioGroupCr->hide();
    ui_->LabelTcpPort->hide();
    ui_->Label5->hide();
    ui_->Label9->hide();
    ui_->Label6->hide();

    ui_->Panel232->installEventFilter(this);
    ui_->PanelTcp->installEventFilter(this);
    connect(ui_->RadioButtonRs232c, &QRadioButton::clicked, this, &TFormComSet::RadioButtonRs232cClick);
    connect(ui_->RadioButtonTcpip, &QRadioButton::clicked, this, &TFormComSet::RadioButtonTcpipClick);
    connect(ui_->ButtonSelectCom, &QPushButton::clicked, this, &TFormComSet::ButtonSelectComClick);
    connect(ui_->ButtonCheck, &QPushButton::clicked, this, &TFormComSet::ButtonCheckClick);
    connect(ui_->ButtonOK, &QPushButton::clicked, this, &TFormComSet::ButtonOKClick);
    connect(ui_->ButtonCancel, &QPushButton::clicked, this, &TFormComSet::ButtonCancelClick);
}

TFormComSet::~TFormComSet() = default;

void TFormComSet::FormShow()
{
    LoadControls();
}

void TFormComSet::FormClose()
{
}

void TFormComSet::Notify()
{
}

bool TFormComSet::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::MouseButtonRelease && static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
        if (watched == ui_->Panel232) {
            Panel232Click();
        } else if (watched == ui_->PanelTcp) {
            PanelTcpClick();
        }
    }
    return TFormApp::eventFilter(watched, event);
}

void TFormComSet::LoadControls()
{
    if (settings_.Interface == kInterfaceUsb) {
        SetUsbLook();
    } else {
        SetLanLook();
    }
    ui_->EditComPort->setText(QString::number(settings_.ComPort));

    // The automatically assigned address is shown instead when the instrument reported one.
    ui_->LabelDhcp->hide();
    const char* shown = settings_.IpAddress;
    if (settings_.IpAddressAlt[0] != '\0' && !IsIpAll255(settings_.IpAddressAlt, kIpTextSize) &&
        IsIpEqualConst(settings_.IpAddress2, kIpTextSize)) {
        shown = settings_.IpAddressAlt;
        ui_->LabelDhcp->show();
    }
    ui_->EditTcpPort->setText(QString::number(settings_.TcpPort));
    ui_->EditTcpIp->setText(QString::fromLatin1(NormalizedAddress(FieldText(shown, kIpTextSize))));

    const QByteArray terminator = FieldText(settings_.Terminator, kTerminatorSize);
    if (terminator == "\n") {
        ui_->RadioButtonLf->setChecked(true);
    } else if (terminator == "\r\n") {
        ui_->RadioButtonCrLf->setChecked(true);
    } else {
        ui_->RadioButtonCr->setChecked(true);
    }
}

void TFormComSet::SaveControls()
{
    settings_.Interface = ui_->RadioButtonRs232c->isChecked() ? kInterfaceUsb : kInterfaceLan;
    settings_.ComPort = IntegerOr(ui_->EditComPort->text(), kDefaultComPort);

    const QByteArray address = EditAddress(ui_->EditTcpIp->text());
    std::memset(settings_.IpAddress, 0, sizeof settings_.IpAddress);
    std::memcpy(settings_.IpAddress, address.constData(),
                static_cast<std::size_t>(qMin<qsizetype>(address.size(), kIpTextSize - 1)));

    settings_.TcpPort = IntegerOr(ui_->EditTcpPort->text(), kDefaultTcpPort);

    const char* terminator = "\r";
    if (ui_->RadioButtonLf->isChecked()) {
        terminator = "\n";
    } else if (ui_->RadioButtonCrLf->isChecked()) {
        terminator = "\r\n";
    }
    std::memset(settings_.Terminator, 0, sizeof settings_.Terminator);
    std::memcpy(settings_.Terminator, terminator, std::strlen(terminator));
}

void TFormComSet::SetUsbLook()
{
    FillWith(ui_->Panel232, kSkyBlue);
    ui_->Panel232->setFrameShadow(QFrame::Sunken);
    FillWith(ui_->PanelTcp, ButtonFace());
    ui_->PanelTcp->setFrameShadow(QFrame::Raised);
    ui_->RadioButtonRs232c->setChecked(true);
    ui_->RadioButtonTcpip->setChecked(false);
    ui_->RadioButtonRs232c->setFocus();
    ui_->PageControl1->setCurrentWidget(ui_->TabSheetRs232c);
}

void TFormComSet::SetLanLook()
{
    FillWith(ui_->PanelTcp, kSkyBlue);
    ui_->PanelTcp->setFrameShadow(QFrame::Sunken);
    FillWith(ui_->Panel232, ButtonFace());
    ui_->Panel232->setFrameShadow(QFrame::Raised);
    ui_->RadioButtonTcpip->setChecked(true);
    ui_->RadioButtonRs232c->setChecked(false);
    ui_->RadioButtonTcpip->setFocus();
    ui_->PageControl1->setCurrentWidget(ui_->TabSheetLan);
}

int TFormComSet::SelectComPort(int current)
{
    KSelectMenuCom picker;
    int port = current;
    if (picker.Run(port, qmr::kQmrUsbVendorId, InstrumentProductId())) {
        ui_->EditComPort->setText(QString::number(port));
    }
    return port;
}

void TFormComSet::Panel232Click()
{
    SetUsbLook();
}

void TFormComSet::RadioButtonRs232cClick()
{
    SetUsbLook();
}

void TFormComSet::PanelTcpClick()
{
    SetLanLook();
}

void TFormComSet::RadioButtonTcpipClick()
{
    SetLanLook();
}

void TFormComSet::ButtonSelectComClick()
{
    const int current = IntegerOr(ui_->EditComPort->text(), kDefaultComPort);
    const int number = SelectComPort(current);
    if (number > 0) {
        ui_->EditComPort->setText(QString::number(number));
    }
}

void TFormComSet::ButtonCheckClick()
{
    ui_->LabelWait->show();
    repaint();
    const QString address = QString::fromLatin1(EditAddress(ui_->EditTcpIp->text()));
    ui_->EditTcpIp->setText(address);
    CheckIpDevice(address, true);
    ui_->LabelWait->hide();
}

void TFormComSet::ButtonOKClick()
{
    // A number that no port can have is refused here rather than stored to fail at Connect.
    if (IsIntegerOutsideComPorts(ui_->EditComPort->text())) {
        ShowWarningMsg(kTextComPortRange, ui_->EditComPort->text().trimmed());
        ui_->EditComPort->setFocus();
        return;
    }
    SaveControls();
    accept();
}

void TFormComSet::ButtonCancelClick()
{
    reject();
}

bool ShowComSetDialog(ComSettings* settings)
{
    if (settings == nullptr) {
        return false;
    }
    KModule* module = new (std::nothrow) KModule;
    if (module == nullptr) {
        return false;
    }
    TFormComSet* form = nullptr;
    try {
        form = new TFormComSet(nullptr, *settings, module);
    } catch (...) {
        form = nullptr;
    }
    if (form == nullptr) {
        delete module;
        return false;
    }
    module->SetForm(form);
    const bool ok = form->exec() == QDialog::Accepted;
    if (ok) {
        std::memcpy(settings, &form->GetSettings(), sizeof *settings);
    }
    delete form;
    delete module;
    return ok;
}
