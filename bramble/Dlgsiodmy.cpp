#include "Dlgsiodmy.h"

#include "Guicall.h"
#include "ui_Dlgsiodmy.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QLineEdit>
#include <QPlainTextEdit>

#include <cctype>
#include <utility>

namespace bramble {

namespace {

// Replies are typed into a work area of 100 characters: at most 99 hex digits are decoded.
constexpr int kHexWorkArea = 99;

int HexDigit(char c)
{
    const int u = std::toupper(static_cast<unsigned char>(c));
    if (u >= '0' && u <= '9') {
        return u - '0';
    }
    if (u >= 'A' && u <= 'F') {
        return u - 'A' + 10;
    }
    return 0;
}

} // namespace

TFormDlgSioDmy::TFormDlgSioDmy() : ui_(std::make_unique<Ui::TFormDlgSioDmy>())
{
    ui_->setupUi(this);
    move(613, 617);
    Timer1.setInterval(1000);
    connect(&Timer1, &QTimer::timeout, this, &TFormDlgSioDmy::Timer1Timer);
    connect(ui_->Button1, &QPushButton::clicked, this, &TFormDlgSioDmy::Button1Click);
    // Enter in the reply box confirms and still reaches the box. The box's line edit reports
    // each press once, whichever of the two had the key first.
    if (QLineEdit* edit = ui_->ComboBoxRx->lineEdit()) {
        connect(edit, &QLineEdit::returnPressed, this, [this] { ComboBoxRxKeyPress(Qt::Key_Return); });
    }
    // A reply awaited when the event loop ends for good would never come.
    if (QCoreApplication* app = QCoreApplication::instance()) {
        connect(app, &QCoreApplication::aboutToQuit, this, &TFormDlgSioDmy::GiveUpWait);
    }
}

TFormDlgSioDmy::~TFormDlgSioDmy()
{
    Timer1.stop();
    GiveUpWait();
}

void TFormDlgSioDmy::AddTx(const QString& text)
{
    raise();
    ui_->MemoTx->appendPlainText(text);
    repaint();
}

bool TFormDlgSioDmy::HasWait() const
{
    return ui_->CheckBoxWait->isChecked() || SecondsOf(ui_->EditSec->text()) > 0;
}

void TFormDlgSioDmy::RequestReply(bool takeText, const std::string& term, ReplyDone done)
{
    if (!HasWait()) {
        done(MakeReply(takeText, term));
        return;
    }
    // One reply is awaited at a time; a window the operator closed, or an application that
    // has quit, gives no reply at all.
    if (pending_ || closed_ || GuiGone()) {
        done(DummyReply{});
        return;
    }
    if (!ui_->CheckBoxWait->isChecked()) {
        secondsLeft_ = SecondsOf(ui_->EditSec->text());
        Timer1.start(); // a new countdown restarts the timer
    }
    pending_ = std::move(done);
    pendingTakeText_ = takeText;
    pendingTerm_ = term;
    raise();
    PaintLamp(true);
    // A confirmation given while nothing was awaited ends this wait at once.
    if (confirmed_ != 0) {
        EndWait();
    }
}

void TFormDlgSioDmy::Confirm()
{
    confirmed_ = 1;
    if (pending_) {
        EndWait();
    }
}

void TFormDlgSioDmy::EndWait()
{
    PaintLamp(false);
    confirmed_ = 0;
    ReplyDone done = std::exchange(pending_, nullptr);
    done(MakeReply(pendingTakeText_, pendingTerm_));
}

void TFormDlgSioDmy::GiveUpWait()
{
    if (!pending_) {
        return;
    }
    PaintLamp(false);
    ReplyDone done = std::exchange(pending_, nullptr);
    done(DummyReply{});
}

void TFormDlgSioDmy::PaintLamp(bool awaiting)
{
    // Red while a reply is awaited, white otherwise.
    ui_->ShapeRx->setStyleSheet(
        QStringLiteral("QLabel#ShapeRx { background-color: %1; border: 1px solid #000000; border-radius: 8px; }")
            .arg(awaiting ? QStringLiteral("#FF0000") : QStringLiteral("#FFFFFF")));
}

std::string TFormDlgSioDmy::ReplyBody() const
{
    QString source;
    if (ui_->CheckBoxWait->isChecked()) {
        source = ui_->ComboBoxRx->currentText();
    } else {
        source = ui_->RadioButtonOK->isChecked() ? ui_->EditOK->text() : ui_->EditNG->text();
    }
    std::string body = source.toStdString();
    if (ui_->CheckBoxHex->isChecked()) {
        // The automatic texts are read as hex like the typed one, so that the length the
        // caller is told is the length of the bytes it then receives.
        if (body.size() > kHexWorkArea) {
            body.resize(kHexWorkArea);
        }
        HexToBytes(body);
        body.resize(std::char_traits<char>::length(body.c_str()));
    }
    return body;
}

DummyReply TFormDlgSioDmy::MakeReply(bool takeText, const std::string& term)
{
    DummyReply reply;
    reply.text = ReplyBody() + term;
    reply.length = static_cast<int>(reply.text.size());
    if (takeText) {
        AddHistory(ui_->ComboBoxRx);
    } else {
        reply.text.clear();
    }
    return reply;
}

void TFormDlgSioDmy::AddHistory(QComboBox* box)
{
    const QString text = box->currentText();
    if (box->findText(text, Qt::MatchExactly | Qt::MatchCaseSensitive) < 0) {
        box->addItem(text);
        box->setEditText(text);
    }
}

void TFormDlgSioDmy::HexToBytes(std::string& text)
{
    const size_t n = text.size();
    if (n < 2) {
        return;
    }
    const size_t pairs = n / 2;
    for (size_t i = 0; i < pairs; ++i) {
        text[i] = static_cast<char>(HexPairToByte(text[2 * i], text[2 * i + 1]));
    }
    text.resize(pairs);
}

int TFormDlgSioDmy::HexPairToByte(char high, char low)
{
    return HexDigit(high) * 16 + HexDigit(low);
}

int TFormDlgSioDmy::SecondsOf(const QString& text)
{
    bool ok = false;
    const int seconds = text.trimmed().toInt(&ok);
    return ok ? seconds : 0;
}

void TFormDlgSioDmy::Button1Click()
{
    Confirm();
}

void TFormDlgSioDmy::ComboBoxRxKeyPress(int key)
{
    if (key == Qt::Key_Return || key == Qt::Key_Enter) {
        Confirm();
    }
}

void TFormDlgSioDmy::Timer1Timer()
{
    --secondsLeft_;
    if (secondsLeft_ <= 0) {
        Timer1.stop();
        Confirm();
    }
}

void TFormDlgSioDmy::closeEvent(QCloseEvent* event)
{
    // The operator withdrew the port: nothing more is answered from here.
    closed_ = true;
    Timer1.stop();
    GiveUpWait();
    QWidget::closeEvent(event);
}

} // namespace bramble
