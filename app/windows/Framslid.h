#pragma once
// The slider frame that sets one instrument value: a large number edit, a track bar, step
// buttons with a choice of step size, MIN and MAX labels and range texts. Every gesture becomes
// one target value that goes out through the frame's value model, and the newest target wins:
// it replaces a value that waits, it is stored and shown at once, and it is sent at once while
// the command module and the device are idle. Otherwise it waits as the pending value and
// `TimerBusy` retries it every 100 ms until it goes out, a newer target replaces it, or it is
// dropped (link closed, instrument local, window closed). The last value that went out (or
// that the instrument reported) is remembered, so that the same value does not go out twice in
// a row; a target equal to it drops what waits and sends nothing. A report of the instrument is
// no target: it never drops a waiting value, which stays shown and goes out after it.
//
// A value that the command module refuses (its 500 ms gate between level, loss and frequency
// commands) waits as the pending value as well: what the frame shows is what the instrument
// gets.
//
// GUI thread only. A gesture that finds the module busy waits as the pending value rather than
// in the command module's wait for idle, so no gesture runs inside another one's send. The one
// send that may still run the message loop (the frequency at the end of its editing) is
// followed by a check of the frame's generation: a send that returns after a newer target or a
// drop neither waits again nor shows its value.

#include "app/windows/Framlook.h"

#include <QWidget>

#include <cstdint>
#include <memory>

class KFrameModule;
class QLabel;
class QCheckBox;
class QEvent;
class QFrame;
class QKeyEvent;
class QLineEdit;
class QMouseEvent;
class QSlider;
class QTimer;
class QToolButton;
class QWheelEvent;

namespace Ui {
class TFrameSlider;
}

class TFrameSlider : public QWidget {
    Q_OBJECT

public:
    static constexpr int kRetryMs = 100;
    static constexpr int kEnter = 13;

    explicit TFrameSlider(QWidget* parent = nullptr);
    ~TFrameSlider() override;

    // The value model (not owned); bound by the window after it made the models.
    void SetModel(KFrameModule* model) { model_ = model; }
    KFrameModule* GetModel() const { return model_; }

    // Takes a value that the instrument reported. The instrument holds it, so it becomes the
    // last applied value (a move back to the value applied before must go out again). The
    // model stores and shows it only when no value waits: a waiting value is the operator's
    // newest and goes out once the module is free, unless it equals the report.
    void ShowModelValue(int16_t value);
    // When the thumb stands elsewhere than the last applied value, its position becomes that
    // value and the model takes it. The windows call it when shown.
    void SyncTrack();
    // Button-face colour and disabled.
    void DisableControl(QWidget* control);
    // Lays the track bar under its scale: the thumb's centre for the minimum at `firstCentre`
    // of the panel and for the maximum `span` pixels further right. The scale label's letters
    // and gaps between its numbers are spaced so that each number stands over the thumb for
    // its value (its text is spaced by runs of blanks of uneven length).
    struct ScaleFit {
        int firstCentre;
        int span;
        qreal letterSpacing;
        qreal gapSpacing;
    };
    void FitScale(const ScaleFit& fit);
    // Sends the model's current value; nothing in this frame (the frequency frame sends).
    virtual void SendCurrent();
    // A waiting value is forgotten and its retry stopped, and a send in progress leaves no
    // trace: the link closed, the instrument went local, the window closes, or a newer target
    // came.
    void DropPending();

    // The down one of SpeedButtonD1 ... D4 as 0 ... 3; -1 when all are up.
    int StepButtonDown() const;
    // Puts D1 ... D4 (0 ... 3) down; -1 releases all.
    void SetStepButtonDown(int index);

    int16_t GetLastApplied() const { return lastApplied_; }
    int16_t GetPending() const { return pending_; }
    int16_t GetMaximum() const { return maximum_; }
    int16_t GetMinimum() const { return minimum_; }
    int16_t GetRemembered() const { return remembered_; }
    // Counts the targets that the frame took and its drops.
    uint32_t GetGeneration() const { return generation_; }

    // Whether the local-mode warning was shown since the last slider frame was made.
    static bool LocalWarningShown();

    // Controls of the frame.
    QFrame* PanelBack = nullptr;
    QLabel* LabelName = nullptr;
    QLabel* LabelUnit = nullptr;
    QLineEdit* EditNum = nullptr;
    QSlider* TrackBar = nullptr;
    QToolButton* SpeedButtonUp = nullptr;
    QToolButton* SpeedButtonDn = nullptr;
    QToolButton* SpeedButtonD1 = nullptr;
    QToolButton* SpeedButtonD2 = nullptr;
    QToolButton* SpeedButtonD3 = nullptr;
    QToolButton* SpeedButtonD4 = nullptr;
    TClickLabel* Label1 = nullptr;
    TClickLabel* Label2 = nullptr;
    QLabel* StaticTextMin = nullptr;
    QLabel* StaticTextMax = nullptr;
    QLabel* StaticTextMin2 = nullptr;
    QLabel* StaticTextMax2 = nullptr;
    TSliderShape* ShapeRange = nullptr;
    QLabel* LabelMemori = nullptr;
    TSliderShape* Shape1 = nullptr;
    TSliderShape* Shape2 = nullptr;
    TSliderShape* Shape3 = nullptr;
    TSliderShape* Shape4 = nullptr;
    TSliderShape* Shape5 = nullptr;
    TSliderShape* Shape6 = nullptr;
    TSliderShape* Shape7 = nullptr;
    QFrame* Bevel1 = nullptr;
    QFrame* Bevel2 = nullptr;
    QLineEdit* EditColor = nullptr;
    QCheckBox* CheckBoxSlider = nullptr;
    QToolButton* SpeedButtonSet = nullptr;
    QTimer* TimerBusy = nullptr;

protected:
    // Keyboard step of the track bar (+1 or -1).
    virtual void StepTrack(int16_t direction);
    // The edit's text becomes the new value.
    virtual void CommitEdit();
    // Keyboard step in the edit.
    virtual void StepEdit(int16_t direction);

    // Handlers of the controls.
    virtual void TrackBarChange();
    // True when the key was consumed.
    virtual bool TrackBarKeyDown(int key, Qt::KeyboardModifiers modifiers);
    // Takes the track modifiers and steps the thumb on an arrow key; true when it did.
    bool TrackArrowKey(int key, Qt::KeyboardModifiers modifiers);
    void EditNumEnter();
    bool EditNumKeyDown(int key, Qt::KeyboardModifiers modifiers);
    virtual bool EditNumKeyPress(int character);
    bool EditNumKeyUp(int key, Qt::KeyboardModifiers modifiers);
    void EditNumMouseUp();
    virtual void SpeedButtonUpMouseUp();
    virtual void SpeedButtonDnMouseUp();
    void SpeedButtonD1Click();
    virtual void Label1Click();
    virtual void Label2Click();
    virtual void FrameMouseWheelUp();
    virtual void FrameMouseWheelDown();
    void TimerBusyTimer();
    // A left-button release on this frame's track bar, seen by the application-wide hook.
    virtual void ApplicationEvents1Message();

    // False (and the warning, once) without an open link.
    bool CanControl();
    // A gesture's value becomes the newest target: what waits is dropped, the model stores and
    // shows the value, and it goes out at once unless the instrument has it already (`resend`:
    // the direct senders Enter, step buttons and wheel send it all the same). While the module
    // or the device is busy, or when the send is refused, it waits for TimerBusy.
    void TakeGesture(int16_t value, bool resend = false);
    // Sends through the model; what went out becomes the last applied value.
    bool Apply(int16_t value);
    void Defer(int16_t value);
    // The retry of TimerBusy; true when the value went out (or needs not).
    virtual bool SendPending(int16_t value);
    // Where the track bar saw the left button go down: the release re-asserts the newest
    // target of the gestures made since then.
    void TrackPressed();
    int16_t RoundAndClamp(int16_t value) const;
    void SelectAllText(QLineEdit* edit);
    // The MIN and MAX labels' choice of target: a limit, or back to the remembered position.
    int16_t LabelTarget(bool toMaximum);
    void LabelClick(bool toMaximum);
    // One step of the model up or down, sent (step buttons under the guard flag, wheel).
    void StepAndSend(bool up, bool guarded);

    bool eventFilter(QObject* watched, QEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;

    KFrameModule* model_ = nullptr;
    int16_t lastApplied_ = -1;
    bool trackShift_ = false;
    bool trackCtrl_ = false;
    int16_t pending_ = -1;
    int16_t maximum_ = 1000;
    int16_t minimum_ = 0;
    int16_t remembered_ = 0;
    // Counts targets and drops: a send compares it before and after.
    uint32_t generation_ = 0;
    // The newest gesture's value, and whether one was made since the track bar's press.
    int16_t target_ = -1;
    bool gestureSincePress_ = false;

private:
    class AppHook;

    void BindControls();
    // Event filters of the controls and the application-wide hook.
    void InstallHooks();
    void ApplyLook();
    void StepButtonToggled(QToolButton* button, bool down);

    std::unique_ptr<Ui::TFrameSlider> ui_;
};
