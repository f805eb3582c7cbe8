#pragma once
// One road through the slider frames of a real percent or dB window: the window, its command
// module and the device on a real link to a scripted instrument (the simulator's own command
// processor behind a TCP peer on 127.0.0.1), which holds and refuses replies when told. The
// road keeps what the rules need: each drop of the link, the newest gesture of each quantity,
// and every line that reached the instrument, judged as it arrives.

#include "SliderRig.h"
#include "WindowRig.h"

#include "Siminstr.h"
#include "app/windows/Formapqmr.h"
#include "app/windows/Framemod.h"
#include "app/windows/Framslid.h"
#include "app/windows/Frmsldfq.h"

#include <QPoint>
#include <QTimer>
#include <QToolButton>

#include <array>
#include <chrono>
#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace roadtest {

using Clock = std::chrono::steady_clock;

// A thumb held long: past the gate and the busy window.
constexpr int kHoldMs = 1200;
// Real time in which a retry of the frames (every 100 ms) surely comes.
constexpr int kRetryPumpMs = 150;

// Moves the gate's clock on: the roads' clock is real time plus the time skipped.
void SkipTime(int ms);

enum Quantity { kLevel, kLoss, kFrequency, kQuantities };

// The newest gesture of one quantity: its value, the drop count when it was made, and the loss
// ranges that the instrument had in force since.
struct Newest {
    int value = -1;
    int epoch = -1;
    std::vector<std::pair<int, int>> ranges;
};

class Road {
public:
    // The instrument starts at this loss (dB window) or level (percent window) and frequency.
    Road(bool db, int value, int frequency);
    ~Road();

    bool Db() const { return db_; }
    // The connect sequence started as Connect starts it, and answered; empty once remote and
    // idle, else what went wrong.
    std::string Connect();

    // The slider of the level (percent window) or the loss (dB window), or the frequency's.
    TFrameSlider* Frame(bool frequency) const;
    TFormAppQmr& Window() const { return *window_; }
    KModuleQmr* Module() const { return windowOpen_ ? window_->Module() : nullptr; }
    QToolButton* FrequencySet() const;
    bool LinkOpen() { return link_.Device().IsOpen(); }

    // A gesture of the operator on a quantity's slider: made since the last drop when the link
    // was open; its value is what the slider then holds (the frequency's once the editing ended).
    template <typename Make>
    void Gesture(Quantity q, Make&& make);

    // The instrument.
    qmrsim::Instrument& Instrument() { return instrument_; }
    // Each reply from now on goes out only after this many further steps of the road.
    void SetReplyDelay(int steps) { delaySteps_ = steps; }
    void StepDone();
    void HoldNextRange() { holdRange_ = true; }
    void RefuseNextRange() { refuseRange_ = true; }
    void ReleaseReplies();
    void Poll();

    // The link and the window.
    void LoseLink();
    void Reconnect();
    void CloseWindow();

    // Events and the instrument's service for a while.
    void Pump(std::chrono::milliseconds time);
    // Releases what is held and lets time pass until nothing moves; false when it never did.
    bool Quiesce();
    // What is wrong once quiet: the window against the instrument, the instrument against the
    // newest gestures. Empty when all holds.
    std::string QuietFaults();

    const std::vector<std::string>& Faults() const { return faults_; }
    // A line for the report of a failed road.
    void Note(const std::string& text) { notes_.push_back(text); }
    int ValuesOut() const { return valuesOut_; }
    int Drops() const { return epoch_; }
    std::string Report() const;

    // Where the left button is while held on the thumb.
    QPoint mouse;
    // The button held on the thumb comes up, `heldMs` later (the retries go on meanwhile),
    // wherever the thumb has gone.
    void LetGo(int heldMs);

private:
    struct Reply {
        std::string text;
        int steps; // of the road still to come before it goes out
        bool held;
    };

    void Serve();
    void NoteLink();
    void Received(const std::string& line);
    // The rules of what goes out, judged as each line arrives.
    void Judge(const std::string& line);
    bool MadeSinceDrop(Quantity q) const { return newest_[q].epoch == epoch_ && !closed_; }
    void Fault(const std::string& what);
    void SendDue();
    void AnswerBoxes();
    bool Settled();

    bool db_;
    slidertest::Link link_;
    slidertest::SwitchRecorder owner_;
    qmrsim::Instrument instrument_;
    std::unique_ptr<TFormAppQmr> window_;
    TFrameSlider* value_ = nullptr;
    TFrameSliderFrq* frequency_ = nullptr;
    bool exposed_ = false;
    bool windowOpen_ = true;
    bool closed_ = false; // the window was closed: nothing it made may go out after

    QTimer serve_;
    QTimer answer_;
    std::string partial_;
    std::deque<Reply> replies_;
    int delaySteps_ = 0;
    bool holdRange_ = false;
    bool refuseRange_ = false;
    // A refused range leaves the window without the range of the frequency it shows.
    bool refused_ = false;
    Clock::time_point lastLine_ = Clock::now();

    int valuesOut_ = 0; // levels, losses and frequencies that reached the instrument
    int epoch_ = 0;     // drops so far
    bool wasOpen_ = false;
    std::array<Newest, kQuantities> newest_;
    std::vector<std::string> faults_;
    std::vector<std::string> notes_;
    std::deque<std::string> wire_;
};

template <typename Make>
void Road::Gesture(Quantity q, Make&& make)
{
    NoteLink();
    const bool counts = LinkOpen();
    TFrameSlider* frame = q == kFrequency ? frequency_ : value_;
    const uint32_t generation = frame->GetGeneration();
    const bool editing = db_ && FrequencySet()->isChecked();
    const int16_t valueBefore = frame->GetModel()->GetValue();
    // Made since the last drop already while it is made: what it sends may go out meanwhile.
    const Newest before = newest_[q];
    if (counts) {
        newest_[q].epoch = epoch_;
    }
    make();
    // The frequency's gestures only edit it, and send nothing: the value edited goes out when
    // the editing ends, by the SET button or by the program (the end of a connect's range step
    // ends it too).
    const bool edited = q == kFrequency && editing && frame->GetModel()->GetValue() != valueBefore;
    // An act that the slider did not take (a step button while busy, a key at the limit of the
    // thumb) is no gesture.
    if (!counts || !windowOpen_ || (frame->GetGeneration() == generation && !edited)) {
        newest_[q] = before;
        return;
    }
    Newest& n = newest_[q];
    if (q == kFrequency) {
        if (!editing) {
            n = before;
            return;
        }
        n.value = frequency_->GetModel()->GetValue();
    } else {
        n.value = value_->GetModel()->GetValue();
    }
    int min = 0;
    int max = 0;
    n.ranges.clear();
    if (instrument_.RangeFor(instrument_.State().frequency, min, max)) {
        n.ranges.emplace_back(min, max);
    }
}

} // namespace roadtest
