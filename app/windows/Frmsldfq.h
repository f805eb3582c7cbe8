#pragma once
// The frequency slider of the dB window. Its gestures never send: each one changes only the
// model's value and the display (every gesture stores the value it shows). The frequency goes
// out in one place, SendCurrent, when the window ends the frequency editing; Enter in the edit
// stores the typed value and asks the command module to end the editing. Thumb moves snap to
// the chosen step. Values are hundredths of a GHz, 10 to 4000; only a refused send waits. The
// last applied value is the frequency that went out or that the instrument reported.
//
// GUI thread only.

#include "app/windows/Framslid.h"

class TFrameSliderFrq : public TFrameSlider {
    Q_OBJECT

public:
    // The thumb from 0.10 GHz at 60 to 40.00 GHz at 425, along the range bar, and the spacing
    // of the scale that fits its text into its width with its numbers over their thumb
    // positions.
    static constexpr ScaleFit kScale{60, 365, 0.0, -1.8};

    explicit TFrameSliderFrq(QWidget* parent = nullptr);
    ~TFrameSliderFrq() override;

    // Sends the model's value (the command module sets the frequency and asks for its loss
    // range); a refused value waits for TimerBusy, as the base frame's values do.
    void SendCurrent() override;
    // Snaps the value to the track step, limits it and, when it differs from the stored value,
    // stores it and moves the thumb there.
    void SetFromTrack(int16_t value);

protected:
    void StepTrack(int16_t direction) override;
    void CommitEdit() override;
    void StepEdit(int16_t direction) override;

    void TrackBarChange() override;
    bool TrackBarKeyDown(int key, Qt::KeyboardModifiers modifiers) override;
    bool EditNumKeyPress(int character) override;
    void SpeedButtonUpMouseUp() override;
    void SpeedButtonDnMouseUp() override;
    void Label1Click() override;
    void Label2Click() override;
    void FrameMouseWheelUp() override;
    void FrameMouseWheelDown() override;
    void ApplicationEvents1Message() override;
    bool SendPending(int16_t value) override;

private:
    // The snapping of SetFromTrack: the D buttons, else 1 times the track modifiers.
    int16_t TrackSnap(int16_t value) const;
    // Shows and stores a value within the model's limits.
    void Take(long long value);

    // A send of SendCurrent is on the stack (it may run the message loop).
    bool sending_ = false;
};
