#pragma once
// The window of a dummy port: it shows every text that the caller sends and supplies each
// reply that the caller receives, typed by the operator or given automatically after a delay.
// It lives on the GUI thread and is used there only; a dummy port on another thread reaches it
// through queued calls.

#include <QString>
#include <QTimer>
#include <QWidget>

#include <functional>
#include <memory>
#include <string>

class QComboBox;
class QCloseEvent;

namespace Ui {
class TFormDlgSioDmy;
}

namespace bramble {

// One reply as the caller receives it: its bytes (the terminator included) and their count.
// A wait that was given up (window closed, application quit) gives length 0 and no text.
struct DummyReply {
    int length = 0;
    std::string text;
};

class TFormDlgSioDmy : public QWidget {
    Q_OBJECT

public:
    using ReplyDone = std::function<void(DummyReply)>;

    TFormDlgSioDmy();
    ~TFormDlgSioDmy() override;
    TFormDlgSioDmy(const TFormDlgSioDmy&) = delete;
    TFormDlgSioDmy& operator=(const TFormDlgSioDmy&) = delete;

    // Brings the window to the front and adds `text` as a new line of the memo.
    void AddTx(const QString& text);

    // Waits for the reply as the window is set (a countdown of `EditSec` seconds, or the
    // operator's confirmation), then calls `done` with it: with `takeText` the reply's text,
    // which also joins the reply history; otherwise only its length. `term` is appended to
    // the reply (empty for none). `done` may run before this returns (no wait); it runs once
    // in every case, with length 0 when the wait is given up.
    void RequestReply(bool takeText, const std::string& term, ReplyDone done);

    // Ends the reply being awaited with length 0 (the caller gives up waiting).
    void GiveUpWait();

    // The reply without terminator, as the controls stand now.
    std::string ReplyBody() const;
    // Adds the box's text to its list unless an entry equals it exactly.
    static void AddHistory(QComboBox* box);

    // Decodes pairs of hex digits, the first the high half, in place: an odd last digit is
    // dropped, a text of fewer than two characters is left as it is, and a NUL follows the
    // last byte. A character that is no hex digit counts as 0.
    static void HexToBytes(std::string& text);
    static int HexPairToByte(char high, char low);
    // `EditSec`'s text as whole seconds; a text that is no whole number counts as 0.
    static int SecondsOf(const QString& text);

    // The operator's confirmation: ends the reply being awaited, or the next one at once.
    void Button1Click();
    void ComboBoxRxKeyPress(int key);
    void Timer1Timer();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    bool HasWait() const;
    void Confirm();
    void EndWait();
    void PaintLamp(bool awaiting);
    DummyReply MakeReply(bool takeText, const std::string& term);

    std::unique_ptr<Ui::TFormDlgSioDmy> ui_;
    QTimer Timer1;
    unsigned char confirmed_ = 0;
    int secondsLeft_ = 0;
    bool closed_ = false;

    // The one reply being awaited.
    ReplyDone pending_;
    bool pendingTakeText_ = false;
    std::string pendingTerm_;
};

} // namespace bramble
