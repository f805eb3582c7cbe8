#pragma once
// What a command module needs of its instrument window: the event hand-over, the message and
// serial lines, the slider operations, the reply and error timers and the indicators. The
// instrument window implements it; the module knows its window only through it, so the
// command layer stays below the windows.
//
// StartFunction and PostReply may be called from any thread and only queue work for the GUI
// thread; every other operation runs on the GUI thread.

#include <QString>

#include <cstdint>
#include <string>

class KQmrView {
public:
    virtual ~KQmrView() = default;

    // Any thread. Keeps the event number as the one pending event and has the step engine
    // tick on the GUI thread.
    virtual void StartFunction(int event) = 0;
    // Any thread. Queues, ahead of the reply's event, the reply's log line, the disarming of
    // the reply time-out and the hand-over of the reply copy to the module.
    virtual void PostReply(const std::string& reply) = 0;

    virtual void AppendMemo(const QString& line) = 0;
    virtual void SetMessage(const QString& text) = 0;
    // "S/N " + text.
    virtual void SetSerial(const QString& text) = 0;
    // The whole serial label.
    virtual void SetSerialLabel(const QString& text) = 0;

    // Slider operations of the dB and percent windows.
    virtual void SetRange(int16_t max, int16_t min) = 0;
    virtual void ShowValue(int16_t value) = 0;
    virtual void ShowFrequency(int16_t value) = 0;
    virtual void ShowRemote(bool remote) = 0;
    virtual void EnableSlider(bool on) = 0;
    // The dB window: which of its sliders is active; releasing its Frequency SET button.
    virtual void SetFrequencyEditing(bool on) = 0;
    virtual void ReleaseFrequencySet() = 0;
    // The settings window: starts reading the instrument's settings.
    virtual void ReadSettings() = 0;
    // A value that waits for the link is dropped (link closed, local, window closing).
    virtual void DropPendingValues() = 0;
    // The instrument refused the mode change that the window asked for.
    virtual void ModeChangeRefused() = 0;

    // Reply time-out (TimerOver and its marker) and the status-byte watch (TimerErr).
    virtual void SetReplyTimer(bool on) = 0;
    virtual void SetErrorTimer(bool on) = 0;

    // Indicators.
    virtual void SetRemoteBars(bool remote) = 0;
    virtual void SetRemoteLamps(bool remote) = 0;
    virtual void SetErrorLook(bool on) = 0;
    virtual void SetBusyLook(bool on) = 0;
    virtual void SetKeyLockLook(bool locked) = 0;
    virtual bool IsLockShown() const = 0;

    // The USB/LAN page choice.
    virtual void SetPortPage(bool usb) = 0;
    virtual bool IsUsbPageActive() const = 0;
    virtual void SetPortPageEnabled(bool on) = 0;
};
