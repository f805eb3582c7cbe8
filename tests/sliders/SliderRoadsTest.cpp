// Random roads through the real program. The slider roads: the operator's gestures on the
// level, loss and frequency sliders of the percent and dB windows, mixed with an instrument that
// answers late, holds a range reply or refuses one, or goes local, with time that passes the gate
// and the busy window, and with a link that is closed, lost and opened again, and the window
// closed. The link roads: the operator's presses that connect, go local and switch windows
// (Connect, Disconnect, Configure and Control, Manual, dB / % once and twice, Panel Lock, a
// settings read, a free-text query), mixed with an instrument that answers late, holds a reply
// past the reply time-out, never answers or refuses a mode change, and a link that is closed,
// reset or hung up; the time-out's question is answered no.
//
// The instrument is the simulator's own command processor behind a TCP peer on 127.0.0.1 (or a
// pseudo-terminal published as the USB port); the test decides when each reply goes out. As each
// line reaches the instrument: every level, loss and frequency lay within the limits in force,
// nothing made before a drop or in a window since replaced went out, and no two of them came
// closer than the gate allows. As the program logs them: every reply that a sequence took was
// the instrument's answer to that sequence's own query, and no connect started that no press
// asked for since the last Disconnect, drop or close; the time-out asked at most once for each
// query left unanswered. Once the road is quiet: the window shows the link as it is (local: the
// link closed, Com SET usable, Panel Lock and Configure greyed, no identity; remote: the link
// open, the instrument remote, its identity shown), no slider is greyed in remote, the window
// shows what the instrument holds and the instrument holds the newest gesture's value.
//
// The roads come from a fixed seed; RC_PARAMS replays a seed or walks more roads.
#include "RoadRig.h"
#include "Thumb.h"

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
#include <map>
#include <memory>
#include <optional>
#include <ostream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

namespace {

using namespace std::chrono_literals;
using namespace roadtest;

// The fixed roads of the suite, unless RC_PARAMS says otherwise.
const bool gDefaults = [] {
    setenv("RC_PARAMS", "seed=3400 max_success=12", 0);
    return true;
}();

// Steps of a road at most.
constexpr int kRoadSteps = 40;

// What the road has done so far, as far as the steps can tell it: it decides which steps may
// come next. The link and the editing are likely states only (the instrument may refuse, a
// local key is seen at the next poll): they weigh the choices, the steps do not rely on them.
struct Model {
    bool db = false;
    bool links = false; // a link road
    bool usb = false;   // over the pseudo-terminal
    bool open = true;   // the window
    int held = 0;       // steps to come before the left button held on the level or loss thumb comes up
    bool editing = false;
    bool linked = true;
    int fresh = 0; // steps to come in which a new frequency's range reply may still be awaited
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
    Drag,
    Move,
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
    Connect,
    Configure,
    Manual,
    Mode,
    ModeTwice,
    PanelLock,
    Read,
    FreeText,
    DropReply,
    HoldReply,
    RefuseMode,
    Fin,
};

const char* const kActNames[] = {"time",
                                 "track key",
                                 "page key",
                                 "enter",
                                 "edit arrow",
                                 "step button",
                                 "wheel",
                                 "label",
                                 "groove click",
                                 "step size",
                                 "drag",
                                 "move thumb",
                                 "Frequency SET",
                                 "new frequency",
                                 "slow replies",
                                 "hold range",
                                 "refuse range",
                                 "release replies",
                                 "poll",
                                 "Disconnect",
                                 "link lost",
                                 "reconnect",
                                 "instrument local",
                                 "close window",
                                 "Connect",
                                 "Configure / Control",
                                 "Manual / Control",
                                 "dB / %",
                                 "dB / % twice",
                                 "Panel Lock",
                                 "Read",
                                 "free text",
                                 "next reply never sent",
                                 "next reply held past the time-out",
                                 "mode changes refused from now on",
                                 "link closed"};

// The acts that a road can take next, with their weights.
std::vector<std::pair<int, Act>> Choices(const Model& m)
{
    if (!m.open) {
        return {{1, Act::Time}, {1, Act::ReleaseReplies}};
    }
    if (m.links) {
        // Over USB a lost link is a hang-up, whichever way the road loses it.
        return {{10, Act::Time},          {4, Act::SlowReplies},
                {4, Act::ReleaseReplies}, {5, Act::TrackKey},
                {4, Act::EditEnter},      {3, Act::NewFrequency},
                {8, Act::Connect},        {5, Act::Disconnect},
                {6, Act::Configure},      {4, Act::Manual},
                {5, Act::Mode},           {4, Act::ModeTwice},
                {3, Act::PanelLock},      {3, Act::Read},
                {3, Act::FreeText},       {3, Act::DropReply},
                {3, Act::HoldReply},      {3, Act::RefuseMode},
                {3, Act::Poll},           {2, Act::GoLocal},
                {2, Act::LoseLink},       {m.usb ? 0 : 2, Act::Fin},
                {1, Act::CloseWindow}};
    }
    std::vector<std::pair<int, Act>> acts{
        {14, Act::Time}, {6, Act::SlowReplies}, {6, Act::ReleaseReplies}, {12, Act::TrackKey}};
    if (m.linked) {
        acts.insert(acts.end(), {{4, Act::Poll}, {2, Act::Disconnect}, {2, Act::LoseLink}, {2, Act::GoLocal}});
    } else {
        acts.emplace_back(12, Act::Reconnect);
    }
    if (m.db) {
        acts.insert(acts.end(), {{3, Act::HoldRange}, {2, Act::RefuseRange}});
    }
    if (m.held > 0) {
        acts.emplace_back(16, Act::Move);
        return acts;
    }
    acts.insert(acts.end(), {{6, Act::PageKey},
                             {12, Act::EditEnter},
                             {6, Act::EditArrow},
                             {6, Act::StepButton},
                             {4, Act::Wheel},
                             {4, Act::Label},
                             {4, Act::GrooveClick},
                             {4, Act::StepSize},
                             // A thumb held across a range reply is where a drag meets a range that
                             // changed under it.
                             {m.fresh > 0 ? 40
                              : m.db      ? 14
                                          : 8,
                              Act::Drag},
                             {1, Act::CloseWindow}});
    if (m.db) {
        acts.insert(acts.end(), {{6, Act::FrequencySet}, {14, Act::NewFrequency}});
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
        frequency_ = m.db && m.editing && act_ != Act::Drag && act_ != Act::Move && Draw(0, 4) != 0;
        switch (act_) {
        case Act::Time:
            a_ = Pick({100, 600, 1200, 2500});
            b_ = Pick({0, 15, kRetryPumpMs});
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
        case Act::Drag:
            a_ = Draw(-40, 41);
            b_ = Draw(1, 9);
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
        if (m.held > 0) {
            --m.held;
        }
        if (m.fresh > 0) {
            --m.fresh;
        }
        switch (act_) {
        case Act::Drag:
            m.held = b_;
            break;
        case Act::FrequencySet:
            m.editing = !m.editing;
            break;
        case Act::EditEnter:
            m.fresh = frequency_ ? 3 : m.fresh;
            m.editing = m.editing && !frequency_;
            break;
        case Act::NewFrequency:
            m.fresh = 3;
            m.editing = false;
            break;
        case Act::CloseWindow:
            m.open = false;
            m.held = 0;
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

    void run(const Model& m, Road& road) const override
    {
        Make(road);
        // The button held since a drag comes up after its last step, a while later.
        if (act_ != Act::Drag && m.held == 1) {
            road.LetGo(kHoldMs);
        }
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
        case Act::Drag:
            os << " " << a_ << " px, let go " << kHoldMs << " ms after " << b_ << " more steps";
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
    // A window without sliders (or without that slider) takes no gesture on one.
    const bool gesture = act_ >= Act::TrackKey && act_ <= Act::NewFrequency;
    if (gesture && (f == nullptr || (act_ >= Act::FrequencySet && road.FrequencySet() == nullptr))) {
        return;
    }
    QSlider* track = f != nullptr ? f->TrackBar : nullptr;
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
        SkipTime(a_);
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
        touch(f->EditNum, [&] { slidertest::Wheel(f->EditNum, a_ == 0 ? 120 : -120); });
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
    case Act::Drag:
        road.mouse = slidertest::ThumbCentre(track);
        touch(track, [&] { QTest::mousePress(track, Qt::LeftButton, Qt::NoModifier, road.mouse); });
        [[fallthrough]];
    case Act::Move:
        road.mouse += QPoint(a_, 0);
        touch(track, [&] {
            QMouseEvent move(QEvent::MouseMove, road.mouse, track->mapToGlobal(road.mouse), Qt::NoButton,
                             Qt::LeftButton, Qt::NoModifier);
            QApplication::sendEvent(track, &move);
        });
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
        road.Disconnect();
        break;
    case Act::LoseLink:
    case Act::Fin:
        road.LoseLink(act_ == Act::Fin);
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
    case Act::Connect:
        road.Press("ButtonConnect", true);
        break;
    case Act::Configure:
        road.Press("ButtonConfig", true);
        break;
    case Act::Manual:
        road.Manual();
        break;
    case Act::Mode:
        road.Press("ButtonMode", true);
        break;
    case Act::ModeTwice:
        road.PressModeTwice();
        break;
    case Act::PanelLock:
        road.Press("ButtonPanelLock", false);
        break;
    case Act::Read:
        road.Press("ButtonRead", false);
        break;
    case Act::FreeText:
        if (road.WindowNumber() == 3) {
            road.Window()->Form().EditCmd->setText(QString::fromLatin1(kFreeText));
            road.Press("ButtonSend", false);
        }
        break;
    case Act::DropReply:
        road.Next(NextReply::Drop);
        break;
    case Act::HoldReply:
        road.Next(NextReply::HoldPastTimeOut);
        break;
    case Act::RefuseMode:
        road.Next(NextReply::RefuseMode);
        break;
    }
}

// Where the instrument stands when a road begins.
struct Start {
    bool db;        // the road begins in the dB window, else in the percent window
    int value;      // the loss (dB window) or the level (percent window), in tenths
    int frequency;  // in hundredths of a GHz
    int replySteps; // how many steps late the instrument answers once connected
};

void showValue(const Start& start, std::ostream& os)
{
    os << (start.db ? "dB" : "percent") << " window, the instrument starts at " << start.value << " tenths and "
       << start.frequency << " hundredths of a GHz, and answers " << start.replySteps << " steps late";
}

// Each road costs a connect of a second or more, and a failing road takes hundreds of shorter
// ones to shrink. Once shrinking has gone on this long, every further candidate counts as
// passing but the roads that failed already, and the shortest of those is the one reported.
constexpr auto kShrinkBudget = 6min;

struct Shrinking {
    std::optional<Clock::time_point> since;
    std::map<std::string, std::string> failed; // the roads that failed, as shown, and how
};

// One road: connected at its start (a link road by the Connect button), its steps, then quiet.
void Walk(const Start& start, const Model& model, const rc::state::Commands<Step::CommandType>& steps)
{
    Road road(RoadStart{start.db, start.value, start.frequency, model.usb});
    const std::string connect = road.Connect(model.links);
    if (!connect.empty()) {
        RC_FAIL("at the road's start, " + connect + ":\n" + road.Report());
    }
    road.SetReplyDelay(start.replySteps);
    rc::state::runAll(steps, model, road);
    // A button still held is let go a while later: the release is the road's last gesture.
    if (road.Frame(false) != nullptr && road.Frame(false)->TrackBar->isSliderDown()) {
        road.LetGo(kHoldMs);
        road.Note("at the end of the road the button was let go, " + std::to_string(kHoldMs) + " ms later");
    }
    const bool quiet = road.Quiesce();
    if (model.links) {
        RC_TAG(road.Switches() == 0  ? "no switch"
               : road.Switches() < 3 ? "1-2 switches"
                                     : "3+ switches",
               road.Questions() == 0 ? "no time-out" : "timed out");
    } else {
        RC_TAG(road.ValuesOut() == 0  ? "no value out"
               : road.ValuesOut() < 5 ? "1-4 values out"
                                      : "5+ values out",
               road.Drops() == 0 ? "no drop" : "dropped");
    }
    if (!road.Faults().empty()) {
        RC_FAIL("once the road was walked:\n" + road.Report());
    }
    if (!quiet) {
        RC_FAIL("the road never came to rest:\n" + road.Report());
    }
    const std::string faults = road.QuietFaults();
    if (!faults.empty()) {
        RC_FAIL("once quiet: " + faults + "\n" + road.Report());
    }
}

void WalkRoad(const Model& kind, Shrinking& shrinking)
{
    const bool db = kind.links ? *rc::gen::resize(100, rc::gen::arbitrary<bool>()) : kind.db;
    const Start start =
        *rc::gen::resize(100, rc::gen::apply(
                                  [db](int value, int frequency, int replySteps) {
                                      return Start{db, value, frequency, replySteps};
                                  },
                                  // A loss high in a wide range, so that a new frequency narrows the
                                  // range below it.
                                  db ? rc::gen::element(200, 500) : rc::gen::element(300, 995),
                                  db ? rc::gen::element(500, 1500) : rc::gen::just(500), rc::gen::element(0, 1, 2)));
    // Every road may be long, not only the later ones: each costs a connect.
    const Model model = kind;
    const auto steps = *rc::gen::resize(
        kind.links ? kRoadSteps * 3 / 4 : kRoadSteps,
        rc::state::gen::commands(model, [](const Model& m) { return rc::state::gen::execOneOfWithArgs<Step>()(m); }));
    std::ostringstream shown;
    showValue(start, shown);
    for (const auto& step : steps) {
        shown << "; ";
        step->show(shown);
    }
    const auto before = shrinking.failed.find(shown.str());
    if (shrinking.since && Clock::now() - *shrinking.since > kShrinkBudget && before == shrinking.failed.end()) {
        return;
    }
    try {
        Walk(start, model, steps);
    } catch (const rc::detail::CaseResult& result) {
        if (result.type == rc::detail::CaseResult::Type::Failure) {
            shrinking.failed.emplace(shown.str(), result.description);
            if (!shrinking.since) {
                shrinking.since = Clock::now();
            }
        }
        throw;
    }
    // Real timers decide some races (a retry before or after a gesture): a road may fail once
    // and pass when walked again. The road that RapidCheck reports is walked again to tell
    // how it failed, and that it failed stands.
    if (before != shrinking.failed.end()) {
        RC_FAIL("it passed when walked again (real timers decide some of its races); the first time " + before->second);
    }
}

// RapidCheck's own test glue walks every property from the one seed. Here each shard of a kind
// of road walks from a seed of its own (the suite's seed and the shard), so that the shards walk
// different roads side by side under ctest; a failure tells how to walk its road again.
class SilentListener : public rc::detail::TestListener {
public:
    void onTestCaseFinished(const rc::detail::CaseDescription&) override {}
    void onShrinkTried(const rc::detail::CaseDescription&, bool) override {}
    void onTestFinished(const rc::detail::TestMetadata&, const rc::detail::TestResult&) override {}
};

void WalkRoads(const Model& kind, int shard)
{
    using namespace rc::detail;
    const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
    TestMetadata metadata;
    metadata.id = std::string(info->test_suite_name()) + "/" + info->name();
    metadata.description = info->name();
    TestParams params = configuration().testParams;
    params.seed = avalanche(params.seed + static_cast<uint64_t>(shard));
    Shrinking shrinking;
    SilentListener listener;
    const TestResult result = checkProperty(toProperty([&] { WalkRoad(kind, shrinking); }), metadata, params, listener,
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
class LinkRoads : public ::testing::TestWithParam<int> {};

TEST_P(PercentRoads, WalkTheLevelSlider)
{
    WalkRoads(Model{false}, GetParam());
}

TEST_P(DbRoads, WalkTheLossAndFrequencySliders)
{
    WalkRoads(Model{true}, GetParam());
}

// The last shard walks over USB.
TEST_P(LinkRoads, WalkTheLinkAndTheWindows)
{
    WalkRoads(Model{true, true, GetParam() == 3}, GetParam());
}

INSTANTIATE_TEST_SUITE_P(Shard, PercentRoads, ::testing::Range(0, 2));
INSTANTIATE_TEST_SUITE_P(Shard, DbRoads, ::testing::Range(0, 5));
INSTANTIATE_TEST_SUITE_P(Shard, LinkRoads, ::testing::Range(0, 4));

} // namespace
