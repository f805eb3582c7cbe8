// Random roads through the slider frames of the real percent and dB windows: the operator's
// gestures on the level, loss and frequency sliders, mixed with an instrument that answers late,
// holds a range reply or refuses one, or goes local, with time that passes the gate and the busy
// window, and with a link that is closed, lost and opened again, and the window closed.
//
// The instrument is the simulator's own command processor behind a TCP peer on 127.0.0.1; the
// test decides when each reply goes out. After every step it checks that every level, loss and
// frequency that reached the instrument lay within the limits it had in force, and that nothing
// made before a drop went out after it. Once the road is quiet it checks that the window shows
// what the instrument holds and that the instrument holds the newest gesture's value.
//
// The roads come from a fixed seed; RC_PARAMS replays a seed or walks more roads.
#include "SliderRig.h"
#include "Thumb.h"
#include "WindowRig.h"

#include "Siminstr.h"
#include "app/instrument/Comdvqmr.h"
#include "app/instrument/Kmdlqmr.h"
#include "app/windows/Formapqmril.h"
#include "app/windows/Formapqmrpp.h"
#include "app/windows/Framemod.h"
#include "app/windows/Frmsldfq.h"
#include "app/windows/Frmsldpp.h"
#include "ui_Formapqmr.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPushButton>
#include <QSlider>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QWheelEvent>

#include <gtest/gtest.h>
#include <rapidcheck.h>
#include <rapidcheck/detail/Utility.h>
#include <rapidcheck/state.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <exception>
#include <iostream>
#include <memory>
#include <optional>
#include <ostream>
#include <set>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// The fixed roads of the suite, unless RC_PARAMS says otherwise.
const bool gDefaults = [] {
    setenv("RC_PARAMS", "seed=3400 max_success=12", 0);
    return true;
}();

// Steps of a road at most.
constexpr int kRoadSteps = 40;

// The gate's clock: real time, plus the time that the roads' time steps skip.
std::atomic<int64_t> gSkipped{0};

int64_t RoadClock()
{
    const auto now = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now().time_since_epoch());
    return now.count() + gSkipped.load();
}

// The step engine's fixed pauses pass on that clock: the GUI thread answers nothing meanwhile,
// as it would not while it sleeps, but no real time is spent.
void RoadPause(int ms)
{
    gSkipped += ms;
}

// Loss ranges with a lower limit above 0, so that both limits narrow on a frequency change.
const std::vector<qmrsim::RangeBand> kBands{{999, 0, 700}, {2000, 30, 500}, {4000, 100, 300}};

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
    // Connect pressed, and the connect sequence answered; true once remote and idle.
    bool Connect();

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

Road::Road(bool db, int value, int frequency) : db_(db), link_(db ? kKindIL : kKindPP)
{
    SetQmrClockForTest(&RoadClock);
    SetQmrPauseForTest(&RoadPause);
    instrument_.SetRangeTable(kBands);
    instrument_.SetMode(db ? 'I' : 'P');
    instrument_.SetFrequency(frequency);
    instrument_.SetLoss(db ? value : 0);
    instrument_.SetLevel(db ? 0 : value);

    KModuleQmr* module = link_.TakeModule();
    if (db) {
        auto window = std::make_unique<TFormAppQmrIL>(&owner_, module);
        value_ = window->FrameSliderIL;
        frequency_ = window->FrameSliderFrq;
        window_ = std::move(window);
    } else {
        auto window = std::make_unique<TFormAppQmrPp>(&owner_, module);
        value_ = window->FrameSliderPp;
        window_ = std::move(window);
    }
    module->SetForm(window_.get());
    window_->show();
    exposed_ = QTest::qWaitForWindowExposed(window_.get());

    QObject::connect(&serve_, &QTimer::timeout, [this] { Serve(); });
    serve_.start(2);
    QObject::connect(&answer_, &QTimer::timeout, [this] { AnswerBoxes(); });
    answer_.start(10);
}

Road::~Road()
{
    serve_.stop();
    answer_.stop();
    window_.reset();
    link_.Close();
    SetQmrPauseForTest(nullptr);
}

TFrameSlider* Road::Frame(bool frequency) const
{
    return frequency && frequency_ != nullptr ? frequency_ : value_;
}

QToolButton* Road::FrequencySet() const
{
    return db_ ? static_cast<TFormAppQmrIL&>(*window_).SpeedButtonSet : nullptr;
}

bool Road::Connect()
{
    if (!exposed_) {
        return false;
    }
    Reconnect();
    return QTest::qWaitFor(
        [&] { return Module() != nullptr && Module()->IsRemote() && Module()->GetFunctionState() == fnIDLE; }, 10000);
}

template <typename Make>
void Road::Gesture(Quantity q, Make&& make)
{
    NoteLink();
    const bool counts = LinkOpen();
    TFrameSlider* frame = q == kFrequency ? frequency_ : value_;
    const uint32_t generation = frame->GetGeneration();
    const bool editing = db_ && FrequencySet()->isChecked();
    // Made since the last drop already while it is made: what it sends may go out meanwhile.
    const Newest before = newest_[q];
    if (counts) {
        newest_[q].epoch = epoch_;
    }
    make();
    // An act that the slider did not take (a step button while busy, a key at the limit of the
    // thumb) is no gesture.
    if (!counts || !windowOpen_ || frame->GetGeneration() == generation) {
        newest_[q] = before;
        return;
    }
    Newest& n = newest_[q];
    if (q == kFrequency) {
        // The frequency's gestures only edit it: what counts is its value once the editing ends.
        if (!editing || FrequencySet()->isChecked()) {
            n.value = before.value;
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

void Road::ReleaseReplies()
{
    for (Reply& r : replies_) {
        r.held = false;
    }
    holdRange_ = false;
}

void Road::StepDone()
{
    for (Reply& r : replies_) {
        --r.steps;
    }
}

void Road::Poll()
{
    // As the status watch polls: only while neither the module nor the device is busy.
    if (Module() != nullptr && LinkOpen() && !Module()->IsBusy()) {
        Module()->ReadStatusByte();
    }
}

void Road::LoseLink()
{
    // As the start-up window does once the reader has seen the link go.
    link_.Peer().Reset();
    if (windowOpen_) {
        window_->DropConnection();
    }
}

void Road::Reconnect()
{
    if (!windowOpen_ || LinkOpen()) {
        return;
    }
    // The connect as Connect starts it, but without the status watch: the road polls in steps
    // of its own, so that a poll's timing is the road's and the road walks again alike.
    KModuleQmr* module = Module();
    if (module->IsBusy()) {
        return;
    }
    module->ToRemote();
    if (LinkOpen()) {
        link_.Peer().Accept(1000ms);
    }
}

void Road::CloseWindow()
{
    // Every question before the close is answered yes.
    window_->close();
    windowOpen_ = window_->Module() != nullptr;
    if (!windowOpen_) {
        closed_ = true;
    }
}

void Road::Pump(std::chrono::milliseconds time)
{
    QTest::qWait(static_cast<int>(time.count()));
    NoteLink();
}

void Road::NoteLink()
{
    const bool open = LinkOpen();
    if (wasOpen_ && !open) {
        ++epoch_;
    }
    wasOpen_ = open;
}

void Road::Serve()
{
    NoteLink();
    partial_ += link_.Peer().ReadAvailable();
    for (size_t end = partial_.find('\n'); end != std::string::npos; end = partial_.find('\n')) {
        const std::string line = partial_.substr(0, end);
        partial_.erase(0, end + 1);
        Received(line);
    }
    SendDue();
}

void Road::Received(const std::string& line)
{
    lastLine_ = Clock::now();
    wire_.push_back(line);
    if (wire_.size() > 40) {
        wire_.pop_front();
    }
    Judge(line);
    const bool range = line.rfind(":ISI:RANG?", 0) == 0;
    const bool refuse = range && refuseRange_;
    if (refuse) {
        instrument_.SetRangeShape(qmrsim::RangeShape::Refused);
        refuseRange_ = false;
    }
    const int before = instrument_.State().frequency;
    const std::optional<std::string> reply = instrument_.Execute(line);
    instrument_.SetRangeShape(qmrsim::RangeShape::Normal);
    const int now = instrument_.State().frequency;
    if (now != before) {
        int min = 0;
        int max = 0;
        instrument_.RangeFor(now, min, max);
        for (Newest& n : newest_) {
            n.ranges.emplace_back(min, max);
        }
    }
    if (range) {
        refused_ = refuse;
    }
    if (reply) {
        const bool hold = range && holdRange_;
        if (hold) {
            holdRange_ = false;
        }
        replies_.push_back({*reply, delaySteps_, hold});
    }
}

void Road::Judge(const std::string& line)
{
    int a = 0;
    int b = 0;
    double level = 0;
    char rest = 0;
    if (std::sscanf(line.c_str(), ":ISI:IL %d,%d%c", &a, &b, &rest) == 2) {
        ++valuesOut_;
        int min = 0;
        int max = 0;
        // After a refused range the window keeps the limits of the frequency before, as the
        // module's range step orders (it shows the warning and goes on): a loss may then go out
        // beyond the new frequency's range, and the instrument refuses it.
        if (!refused_ && (!instrument_.RangeFor(b, min, max) || a < min || a > max)) {
            Fault("out of the range in force: " + line);
        }
        if (!MadeSinceDrop(kLoss) && !MadeSinceDrop(kFrequency)) {
            Fault("made before a drop: " + line);
        }
    } else if (std::sscanf(line.c_str(), ":ISI:LEVE %lf%c", &level, &rest) == 1) {
        ++valuesOut_;
        if (level < 0.0 || level > 100.0) {
            Fault("out of the range in force: " + line);
        }
        if (!MadeSinceDrop(kLevel)) {
            Fault("made before a drop: " + line);
        }
    } else if (std::sscanf(line.c_str(), ":ISI:RANG? %d", &a) == 1) {
        if (a < qmrsim::Instrument::kMinFrequency || a > qmrsim::Instrument::kMaxFrequency) {
            Fault("out of the range in force: " + line);
        }
        // The connect reads the range of the frequency that the instrument has.
        if (a != instrument_.State().frequency && !MadeSinceDrop(kFrequency)) {
            Fault("made before a drop: " + line);
        }
    }
}

void Road::Fault(const std::string& what)
{
    faults_.push_back(what);
}

void Road::SendDue()
{
    while (!replies_.empty() && !replies_.front().held && replies_.front().steps <= 0) {
        link_.Peer().Send(replies_.front().text + "\n");
        replies_.pop_front();
    }
}

void Road::AnswerBoxes()
{
    QWidget* modal = QApplication::activeModalWidget();
    if (modal == nullptr || !modal->isVisible()) {
        return;
    }
    if (auto* box = qobject_cast<QMessageBox*>(modal)) {
        box->accept();
    } else if (auto* ok = modal->findChild<QPushButton*>(QStringLiteral("ButtonOk"))) {
        ok->click();
    }
}

bool Road::Settled()
{
    if (!replies_.empty() || QApplication::activeModalWidget() != nullptr) {
        return false;
    }
    if (LinkOpen() && link_.Device().GetCommandState() != csIDLE) {
        return false;
    }
    if (!windowOpen_) {
        return true;
    }
    for (TFrameSlider* f : {value_, static_cast<TFrameSlider*>(frequency_)}) {
        if (f != nullptr && (f->GetPending() >= 0 || f->TimerBusy->isActive())) {
            return false;
        }
    }
    return Module()->GetFunctionState() == fnIDLE && !Module()->GetBusy();
}

bool Road::Quiesce()
{
    ReleaseReplies();
    delaySteps_ = 0;
    for (Reply& r : replies_) {
        r.steps = 0;
    }
    const auto deadline = Clock::now() + 20s;
    auto quietSince = Clock::now();
    while (Clock::now() < deadline) {
        // Time passes the gate and the busy window, so that what waits may go.
        gSkipped += 200;
        Pump(50ms);
        const auto now = Clock::now();
        if (!Settled() || now - lastLine_ < 300ms) {
            quietSince = now;
        } else if (now - quietSince >= 300ms) {
            return true;
        }
    }
    return false;
}

std::string Road::QuietFaults()
{
    // Closed, local or lost, the window compares with nothing; the next connect reads again.
    if (!windowOpen_ || !LinkOpen() || !Module()->IsRemote()) {
        return {};
    }
    const qmrsim::InstrumentState s = instrument_.State();
    std::ostringstream out;
    auto shows = [&](const char* name, TFrameSlider* f, int held) {
        const KFrameModule* model = f->GetModel();
        const QString text = model->ValueToText(static_cast<int16_t>(held));
        // A value that the instrument reports beyond the slider's limits stands in the edit as
        // reported; the thumb stops at the limit (the models order it so).
        const int thumb =
            std::min(std::max(held, static_cast<int>(model->GetMinimum())), static_cast<int>(model->GetMaximum()));
        if (f->EditNum->text() != text || f->TrackBar->value() != thumb) {
            out << name << " shows " << f->EditNum->text().toStdString() << " at " << f->TrackBar->value()
                << ", the instrument holds " << text.toStdString() << "; ";
        }
    };
    auto holds = [&](const char* name, Quantity q, int held) {
        const Newest& n = newest_[q];
        if (n.epoch != epoch_ || n.value < 0) {
            return; // dropped since, or never made: the instrument holds what the connect read
        }
        // A loss is limited to a range that the instrument had in force at some moment since.
        bool found = q != kLoss && held == n.value;
        for (const auto& [min, max] : n.ranges) {
            found = found || (q == kLoss && held == std::min(std::max(n.value, min), max));
        }
        if (!found) {
            out << "the newest " << name << " gesture was " << n.value << ", the instrument holds " << held << "; ";
        }
    };
    if (!db_) {
        shows("level", value_, s.level);
        holds("level", kLevel, s.level);
    } else if (!refused_) {
        // The Part's window keeps a refused frequency shown (with its warning); nothing to
        // compare until a range is known again.
        shows("loss", value_, s.loss);
        holds("loss", kLoss, s.loss);
        // While the frequency is edited its slider shows the value being edited.
        if (!FrequencySet()->isChecked()) {
            shows("frequency", frequency_, s.frequency);
            holds("frequency", kFrequency, s.frequency);
        }
    }
    return out.str();
}

std::string Road::Report() const
{
    std::ostringstream out;
    for (const std::string& f : faults_) {
        out << "  " << f << "\n";
    }
    for (const std::string& n : notes_) {
        out << "  (" << n << ")\n";
    }
    out << "  the wire, last lines:";
    for (const std::string& line : wire_) {
        out << " [" << line << "]";
    }
    return out.str();
}

// ---- the steps of a road ----

// What the road has done so far, as far as the steps can tell it: it decides which steps may
// come next. The link and the editing are likely states only (the instrument may refuse, a
// local key is seen at the next poll): they weigh the choices, the steps do not rely on them.
struct Model {
    bool db = false;
    bool open = true;  // the window
    bool held = false; // the left button down on the level or loss thumb
    bool editing = false;
    bool linked = true;
};

enum class Act {
    Time,
    TrackKey,
    PageKey,
    EditEnter,
    EditArrow,
    StepButton,
    Wheel,
    Label,
    GrooveClick,
    StepSize,
    Press,
    Move,
    Release,
    FrequencySet,
    NewFrequency,
    SlowReplies,
    HoldRange,
    RefuseRange,
    ReleaseReplies,
    Poll,
    Disconnect,
    LoseLink,
    Reconnect,
    GoLocal,
    CloseWindow,
};

const char* const kActNames[] = {"time",         "track key",     "page key",        "enter",
                                 "edit arrow",   "step button",   "wheel",           "label",
                                 "groove click", "step size",     "press thumb",     "move thumb",
                                 "release",      "Frequency SET", "new frequency",   "slow replies",
                                 "hold range",   "refuse range",  "release replies", "poll",
                                 "Disconnect",   "link lost",     "reconnect",       "instrument local",
                                 "close window"};

// The acts that a road can take next, with their weights.
std::vector<std::pair<int, Act>> Choices(const Model& m)
{
    if (!m.open) {
        return {{1, Act::Time}, {1, Act::ReleaseReplies}};
    }
    std::vector<std::pair<int, Act>> acts{
        {8, Act::Time}, {3, Act::SlowReplies}, {2, Act::ReleaseReplies}, {6, Act::TrackKey}};
    if (m.linked) {
        acts.insert(acts.end(), {{2, Act::Poll}, {1, Act::Disconnect}, {1, Act::LoseLink}, {1, Act::GoLocal}});
    } else {
        acts.emplace_back(6, Act::Reconnect);
    }
    if (m.db) {
        acts.insert(acts.end(), {{4, Act::HoldRange}, {1, Act::RefuseRange}});
    }
    if (m.held) {
        acts.insert(acts.end(), {{8, Act::Move}, {5, Act::Release}});
        return acts;
    }
    acts.insert(acts.end(), {{3, Act::PageKey},
                             {6, Act::EditEnter},
                             {3, Act::EditArrow},
                             {3, Act::StepButton},
                             {2, Act::Wheel},
                             {2, Act::Label},
                             {2, Act::GrooveClick},
                             {2, Act::StepSize},
                             {4, Act::Press},
                             {1, Act::CloseWindow}});
    if (m.db) {
        acts.insert(acts.end(), {{3, Act::FrequencySet}, {5, Act::NewFrequency}});
    }
    return acts;
}

bool Allowed(const Model& m, Act act)
{
    const std::vector<std::pair<int, Act>> acts = Choices(m);
    return std::any_of(acts.begin(), acts.end(), [&](const auto& c) { return c.second == act; });
}

Qt::KeyboardModifiers Modifiers(int bits)
{
    Qt::KeyboardModifiers m;
    m.setFlag(Qt::ShiftModifier, (bits & 1) != 0);
    m.setFlag(Qt::ControlModifier, (bits & 2) != 0);
    return m;
}

// Draws in [lo, hi) evenly, whatever the size of the road so far; shrinks towards lo.
int Draw(int lo, int hi)
{
    return *rc::gen::resize(100, rc::gen::inRange(lo, hi));
}

int Pick(std::initializer_list<int> values)
{
    return values.begin()[Draw(0, static_cast<int>(values.size()))];
}

void WheelOn(QWidget* target, int delta)
{
    const QPointF at(5, 5);
    QWheelEvent event(at, target->mapToGlobal(at), QPoint(), QPoint(0, delta), Qt::NoButton, Qt::NoModifier,
                      Qt::NoScrollPhase, false);
    QApplication::sendEvent(target, &event);
}

class Step : public rc::state::Command<Model, Road> {
public:
    explicit Step(const Model& m)
    {
        const std::vector<std::pair<int, Act>> acts = Choices(m);
        int total = 0;
        for (const auto& c : acts) {
            total += c.first;
        }
        // Which act is fixed once drawn: a shorter road comes from leaving steps out.
        int pick = *rc::gen::noShrink(rc::gen::resize(100, rc::gen::inRange(0, total)));
        for (const auto& c : acts) {
            if (pick < c.first) {
                act_ = c.second;
                break;
            }
            pick -= c.first;
        }
        // The frequency's slider takes gestures while it is edited.
        frequency_ =
            m.db && m.editing && act_ != Act::Press && act_ != Act::Move && act_ != Act::Release && Draw(0, 4) != 0;
        switch (act_) {
        case Act::Time:
            a_ = Pick({100, 300, 600, 1200});
            b_ = Pick({0, 15, 120});
            break;
        case Act::NewFrequency:
            a_ = Draw(0, 4500);
            break;
        case Act::TrackKey:
        case Act::EditArrow:
            a_ = Draw(0, 4);
            b_ = Draw(0, 4);
            break;
        case Act::PageKey:
            a_ = Draw(0, 4);
            break;
        case Act::EditEnter:
            a_ = frequency_ ? Draw(0, 4500) : Draw(-20, 1100);
            break;
        case Act::StepButton:
        case Act::Wheel:
        case Act::Label:
            a_ = Draw(0, 2);
            break;
        case Act::GrooveClick:
            a_ = Draw(0, 101);
            break;
        case Act::StepSize:
            a_ = Draw(0, frequency_ ? 4 : 3);
            break;
        case Act::Move:
            a_ = Draw(-40, 41);
            break;
        case Act::SlowReplies:
            a_ = Pick({0, 1, 2, 4});
            break;
        default:
            break;
        }
    }

    void checkPreconditions(const Model& m) const override
    {
        RC_PRE(Allowed(m, act_));
        RC_PRE(!frequency_ || m.db);
    }

    void apply(Model& m) const override
    {
        switch (act_) {
        case Act::Press:
            m.held = true;
            break;
        case Act::Release:
            m.held = false;
            break;
        case Act::FrequencySet:
            m.editing = !m.editing;
            break;
        case Act::EditEnter:
            m.editing = m.editing && !frequency_;
            break;
        case Act::NewFrequency:
            m.editing = false;
            break;
        case Act::CloseWindow:
            m.open = false;
            m.held = false;
            break;
        case Act::Disconnect:
        case Act::LoseLink:
        case Act::GoLocal:
            m.linked = false;
            break;
        case Act::Reconnect:
            m.linked = true;
            break;
        default:
            break;
        }
    }

    void run(const Model& /*m*/, Road& road) const override
    {
        Make(road);
        road.StepDone();
        road.Pump(act_ == Act::Time ? std::chrono::milliseconds(b_) : 15ms);
        if (!road.Faults().empty()) {
            RC_FAIL(road.Report());
        }
    }

    void show(std::ostream& os) const override
    {
        os << kActNames[static_cast<int>(act_)];
        if (frequency_) {
            os << " (frequency)";
        }
        switch (act_) {
        case Act::Time:
            os << " " << a_ << " ms (" << b_ << " ms real)";
            break;
        case Act::SlowReplies:
            os << " " << a_ << " steps late";
            break;
        case Act::NewFrequency:
            os << " " << QString::number(a_ / 100.0, 'f', 2).toStdString();
            break;
        case Act::TrackKey:
        case Act::EditArrow:
            os << " " << (a_ % 2 == 0 ? (a_ < 2 ? "Right" : "Up") : (a_ < 2 ? "Left" : "Down"))
               << (b_ & 1 ? "+Shift" : "") << (b_ & 2 ? "+Ctrl" : "");
            break;
        case Act::PageKey: {
            const char* const keys[] = {"PageUp", "PageDown", "Home", "End"};
            os << " " << keys[a_];
            break;
        }
        case Act::EditEnter:
        case Act::Move:
        case Act::GrooveClick:
            os << " " << a_;
            break;
        case Act::StepButton:
        case Act::Wheel:
            os << (a_ == 0 ? " up" : " down");
            break;
        case Act::Label:
            os << (a_ == 0 ? " MIN" : " MAX");
            break;
        case Act::StepSize:
            os << " D" << a_ + 1;
            break;
        default:
            break;
        }
    }

private:
    void Make(Road& road) const;
    Quantity Target(const Road& road) const { return frequency_ ? kFrequency : road.Db() ? kLoss : kLevel; }

    Act act_ = Act::Time;
    bool frequency_ = false;
    int a_ = 0;
    int b_ = 0;
};

void Step::Make(Road& road) const
{
    TFrameSlider* f = road.Frame(frequency_);
    QSlider* track = f->TrackBar;
    const Quantity q = Target(road);
    // An operator reaches only what is shown and not greyed (events sent straight to a greyed
    // widget would still pass its event filters).
    auto touch = [&](QWidget* w, const auto& act) {
        road.Gesture(q, [&] {
            if (w->isEnabled() && w->isVisible()) {
                act();
            }
        });
    };
    switch (act_) {
    case Act::Time:
        gSkipped += a_;
        break;
    case Act::TrackKey: {
        const Qt::Key keys[] = {Qt::Key_Right, Qt::Key_Left, Qt::Key_Up, Qt::Key_Down};
        touch(track, [&] { QTest::keyClick(track, keys[a_], Modifiers(b_)); });
        break;
    }
    case Act::PageKey: {
        const Qt::Key keys[] = {Qt::Key_PageUp, Qt::Key_PageDown, Qt::Key_Home, Qt::Key_End};
        touch(track, [&] { QTest::keyClick(track, keys[a_]); });
        break;
    }
    case Act::EditEnter: {
        const QString text = QString::number(a_ / (frequency_ ? 100.0 : 10.0), 'f', frequency_ ? 2 : 1);
        touch(f->EditNum, [&] {
            f->EditNum->selectAll();
            QTest::keyClicks(f->EditNum, text);
            QTest::keyClick(f->EditNum, Qt::Key_Return);
        });
        break;
    }
    case Act::EditArrow:
        touch(f->EditNum, [&] { QTest::keyClick(f->EditNum, a_ % 2 == 0 ? Qt::Key_Up : Qt::Key_Down, Modifiers(b_)); });
        break;
    case Act::StepButton: {
        QToolButton* button = a_ == 0 ? f->SpeedButtonUp : f->SpeedButtonDn;
        touch(button, [&] { QTest::mouseClick(button, Qt::LeftButton); });
        break;
    }
    case Act::Wheel:
        touch(f->EditNum, [&] { WheelOn(f->EditNum, a_ == 0 ? 120 : -120); });
        break;
    case Act::Label: {
        QLabel* label = a_ == 0 ? f->Label1 : f->Label2;
        touch(label, [&] { QTest::mouseClick(label, Qt::LeftButton); });
        break;
    }
    case Act::GrooveClick: {
        const QPoint at(track->width() * a_ / 100, track->height() / 2);
        touch(track, [&] { QTest::mouseClick(track, Qt::LeftButton, Qt::NoModifier, at); });
        break;
    }
    case Act::StepSize: {
        QToolButton* buttons[] = {f->SpeedButtonD1, f->SpeedButtonD2, f->SpeedButtonD3, f->SpeedButtonD4};
        if (buttons[a_]->isEnabled() && buttons[a_]->isVisible()) {
            QTest::mouseClick(buttons[a_], Qt::LeftButton);
        }
        break;
    }
    case Act::Press:
        road.mouse = slidertest::ThumbCentre(track);
        touch(track, [&] { QTest::mousePress(track, Qt::LeftButton, Qt::NoModifier, road.mouse); });
        break;
    case Act::Move:
        road.mouse += QPoint(a_, 0);
        touch(track, [&] {
            QMouseEvent move(QEvent::MouseMove, road.mouse, track->mapToGlobal(road.mouse), Qt::NoButton,
                             Qt::LeftButton, Qt::NoModifier);
            QApplication::sendEvent(track, &move);
        });
        break;
    case Act::Release:
        // The button comes up wherever the thumb has gone meanwhile.
        road.Gesture(q, [&] { QTest::mouseRelease(track, Qt::LeftButton, Qt::NoModifier, road.mouse); });
        break;
    case Act::FrequencySet:
        road.Gesture(kFrequency, [&] {
            if (road.FrequencySet()->isEnabled()) {
                QTest::mousePress(road.FrequencySet(), Qt::LeftButton);
                QTest::mouseRelease(road.FrequencySet(), Qt::LeftButton);
            }
        });
        break;
    case Act::NewFrequency:
        // Frequency SET down, the frequency typed, and Enter, which ends the editing.
        if (!road.FrequencySet()->isChecked() && road.FrequencySet()->isEnabled()) {
            QTest::mousePress(road.FrequencySet(), Qt::LeftButton);
            QTest::mouseRelease(road.FrequencySet(), Qt::LeftButton);
        }
        road.Gesture(kFrequency, [&] {
            QLineEdit* edit = road.Frame(true)->EditNum;
            if (edit->isEnabled()) {
                edit->selectAll();
                QTest::keyClicks(edit, QString::number(a_ / 100.0, 'f', 2));
                QTest::keyClick(edit, Qt::Key_Return);
            }
        });
        break;
    case Act::SlowReplies:
        road.SetReplyDelay(a_);
        break;
    case Act::HoldRange:
        road.HoldNextRange();
        break;
    case Act::RefuseRange:
        road.RefuseNextRange();
        break;
    case Act::ReleaseReplies:
        road.ReleaseReplies();
        break;
    case Act::Poll:
        road.Poll();
        break;
    case Act::Disconnect:
        road.Window().Form().ButtonDisConnect->click();
        break;
    case Act::LoseLink:
        road.LoseLink();
        break;
    case Act::Reconnect:
        road.Reconnect();
        break;
    case Act::GoLocal:
        road.Instrument().PressLocalKey();
        road.Poll();
        break;
    case Act::CloseWindow:
        road.CloseWindow();
        break;
    }
}

// Where the instrument stands when a road begins.
struct Start {
    int value;     // the loss (dB window) or the level (percent window), in tenths
    int frequency; // in hundredths of a GHz
};

void showValue(const Start& start, std::ostream& os)
{
    os << "the instrument starts at " << start.value << " tenths and " << start.frequency << " hundredths of a GHz";
}

// Each road costs a connect of a second or more, and a failing road takes hundreds of shorter
// ones to shrink. Once shrinking has gone on this long, every further candidate counts as
// passing but the roads that failed already, and the shortest of those is the one reported.
constexpr auto kShrinkBudget = 6min;

struct Shrinking {
    std::optional<Clock::time_point> since;
    std::set<std::string> failed; // the roads that failed, as they are shown
};

// One road: connected at its start, its steps, then quiet.
void WalkRoad(bool db, Shrinking& shrinking)
{
    const Start start = *rc::gen::resize(100, rc::gen::apply(
                                                  [](int value, int frequency) {
                                                      return Start{value, frequency};
                                                  },
                                                  // A loss high in a wide range, so that a new frequency narrows the
                                                  // range below it.
                                                  db ? rc::gen::element(200, 500) : rc::gen::element(300, 995),
                                                  db ? rc::gen::element(500, 1500) : rc::gen::just(500)));
    // Every road may be long, not only the later ones: each costs a connect.
    const Model model{db};
    const auto steps = *rc::gen::resize(kRoadSteps, rc::state::gen::commands(model, [](const Model& m) {
                                            return rc::state::gen::execOneOfWithArgs<Step>()(m);
                                        }));
    std::ostringstream shown;
    showValue(start, shown);
    for (const auto& step : steps) {
        shown << "; ";
        step->show(shown);
    }
    if (shrinking.since && Clock::now() - *shrinking.since > kShrinkBudget &&
        shrinking.failed.count(shown.str()) == 0) {
        return;
    }
    // Whatever fails below fails this road; the first failure starts the shrinking.
    struct Mark {
        Shrinking& shrinking;
        std::string road;
        ~Mark()
        {
            if (std::uncaught_exceptions() > 0) {
                shrinking.failed.insert(road);
                if (!shrinking.since) {
                    shrinking.since = Clock::now();
                }
            }
        }
    } mark{shrinking, shown.str()};

    Road road(db, start.value, start.frequency);
    RC_ASSERT(road.Connect());
    rc::state::runAll(steps, model, road);
    // A button still held is let go: the release is the road's last gesture.
    if (road.Window().isVisible() && road.Frame(false)->TrackBar->isSliderDown()) {
        QSlider* track = road.Frame(false)->TrackBar;
        road.Gesture(db ? kLoss : kLevel,
                     [&] { QTest::mouseRelease(track, Qt::LeftButton, Qt::NoModifier, road.mouse); });
        road.Note("at the end of the road the button was let go");
    }
    const bool quiet = road.Quiesce();
    RC_TAG(road.ValuesOut() == 0  ? "no value out"
           : road.ValuesOut() < 5 ? "1-4 values out"
                                  : "5+ values out",
           road.Drops() == 0 ? "no drop" : "dropped");
    if (!road.Faults().empty()) {
        RC_FAIL("once the road was walked:\n" + road.Report());
    }
    RC_ASSERT(quiet);
    const std::string faults = road.QuietFaults();
    if (!faults.empty()) {
        RC_FAIL("once quiet: " + faults + "\n" + road.Report());
    }
}

// RapidCheck's own test glue walks every property from the one seed. Here each part of a
// window's roads walks from a seed of its own (the suite's seed and the part), so that the parts
// walk different roads side by side under ctest; a failure tells how to walk its road again.
class SilentListener : public rc::detail::TestListener {
public:
    void onTestCaseFinished(const rc::detail::CaseDescription&) override {}
    void onShrinkTried(const rc::detail::CaseDescription&, bool) override {}
    void onTestFinished(const rc::detail::TestMetadata&, const rc::detail::TestResult&) override {}
};

void WalkRoads(bool db, int part)
{
    using namespace rc::detail;
    const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
    TestMetadata metadata;
    metadata.id = std::string(info->test_suite_name()) + "/" + info->name();
    metadata.description = info->name();
    TestParams params = configuration().testParams;
    params.seed = avalanche(params.seed + static_cast<uint64_t>(part));
    Shrinking shrinking;
    SilentListener listener;
    const TestResult result = checkProperty(toProperty([&] { WalkRoad(db, shrinking); }), metadata, params, listener,
                                            configuration().reproduce);
    std::ostringstream message;
    printResultMessage(result, message);
    if (result.is<SuccessResult>()) {
        std::cout << message.str() << std::endl;
        return;
    }
    if (result.is<FailureResult>()) {
        Configuration again;
        again.reproduce[metadata.id] = result.get<FailureResult>().reproduce;
        message << "\nTo walk this road again, run this test with RC_PARAMS=\"" << configToMinimalString(again) << "\"";
    }
    FAIL() << message.str();
}

class PercentRoads : public ::testing::TestWithParam<int> {};
class DbRoads : public ::testing::TestWithParam<int> {};

TEST_P(PercentRoads, WalkTheLevelSlider)
{
    WalkRoads(false, GetParam());
}

TEST_P(DbRoads, WalkTheLossAndFrequencySliders)
{
    WalkRoads(true, GetParam());
}

INSTANTIATE_TEST_SUITE_P(Part, PercentRoads, ::testing::Range(0, 2));
INSTANTIATE_TEST_SUITE_P(Part, DbRoads, ::testing::Range(0, 4));

} // namespace
