#pragma once
// Modal message windows: error (pink, blinking), warning (light yellow), confirm and YES/NO
// confirm. Each shows an upper and a lower text under a caption strip and returns the button
// that was pressed. GUI thread only.

#include <QColor>
#include <QDialog>
#include <QString>

#include <memory>

class QShowEvent;
class QTimer;

namespace Ui {
class TFormMsg;
}

// Results of the four Show...Msg functions.
enum : int {
    kMsgNotShown = 0, // the window could not be made
    kMsgOk = 1,       // OK or YES
    kMsgCancel = 2,   // Cancel, NO or the close box
};

class TFormMsg : public QDialog {
    Q_OBJECT

public:
    // The window's title is the program file's name without its extension.
    explicit TFormMsg(QWidget* owner = nullptr);
    // As above, then the caption strip's text and the upper panel's colour.
    TFormMsg(QWidget* owner, const QColor& colour, const QString& caption);
    ~TFormMsg() override;

    void SetCaption(const QString& text);
    void SetText(const QString& upper, const QString& lower);
    void StartBlink();
    void ShowCancel();
    void UseYesNo();
    void SwapButtons();

    int BlinkCount() const { return blinkCount_; }

    // Cancel, NO, the close box and Escape all end the window with kMsgCancel.
    void reject() override;

public slots:
    void ButtonOkClick();
    void ButtonCancelClick();
    void Timer1Timer();

protected:
    void showEvent(QShowEvent* event) override;

private:
    void CentreOnScreen();

    std::unique_ptr<Ui::TFormMsg> ui_;
    QTimer* Timer1 = nullptr;
    int blinkCount_ = 0;
};

// upper, lower: the two texts; withCancel 1 also shows Cancel (left of OK).
int ShowErrorMsg(const QString& upper, const QString& lower, unsigned char withCancel = 0);
int ShowWarningMsg(const QString& upper, const QString& lower, unsigned char withCancel = 0);
int ShowConfirmMsg(const QString& upper, const QString& lower, unsigned char withCancel = 0);
// YES at the left, NO at the right.
int ShowYesNoMsg(const QString& upper, const QString& lower);
