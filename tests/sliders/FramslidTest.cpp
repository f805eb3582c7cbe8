// The slider frame on real widgets, with the real command module and device sending over TCP
// to a peer: the step sizes of every gesture, deferral while busy, the last applied value,
// the MIN and MAX labels and the local-mode warning.
#include "app/windows/Framslid.h"
#include "KeyStep.h"
#include "app/instrument/Scpinum.h"
#include "app/windows/Framemod.h"
#include "app/windows/Frmsldpp.h"

#include "SliderRig.h"
#include "Thumb.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QSlider>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QWheelEvent>

#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

namespace {

using namespace std::chrono_literals;
using slidertest::Link;
using slidertest::Wheel;

std::string Level(int tenths)
{
    return KComDeviceQmr::LevelText(static_cast<int16_t>(tenths));
}

// Nothing reaches the peer for a while: a bounded look, since absence has no event to await.
constexpr auto kQuiet = 300ms;

class FrameTest : public ::testing::Test {
protected:
    explicit FrameTest(int kind = kKindPP) : link(kind) {}

    void SetUp() override
    {
        frame = MakeFrame();
        frame->show();
        frame->TrackBar->setVisible(true);
        ASSERT_TRUE(QTest::qWaitForWindowExposed(frame.get()));
        ASSERT_TRUE(link.Connect());
        frame->SyncTrack();
    }

    virtual std::unique_ptr<TFrameSlider> MakeFrame()
    {
        auto f = std::make_unique<TFrameSliderPp>();
        model = std::make_unique<KFrameModulePP>();
        Bind(f.get());
        return f;
    }

    void Bind(TFrameSlider* f)
    {
        model->SetFrame(f);
        f->SetModel(model.get());
        model->SetModule(&link.Module());
    }

    // The value shown and sent from a start of 0 with the last applied value 0.
    void StartAtZero()
    {
        frame->ShowModelValue(0);
        frame->SyncTrack();
        link.OpenGate();
    }

    std::string Next(std::chrono::milliseconds timeout = 2000ms) { return link.NextLine(timeout); }

    Link link;
    std::unique_ptr<KFrameModule> model;
    std::unique_ptr<TFrameSlider> frame;
};

class TrackKeyTest : public FrameTest, public ::testing::WithParamInterface<KeyStepCase> {};

TEST_P(TrackKeyTest, ArrowKeysStepByTheTrackTable)
{
    const KeyStepCase& c = GetParam();
    StartAtZero();
    frame->SetStepButtonDown(c.button);
    QTest::keyClick(frame->TrackBar, Qt::Key_Right, c.modifiers);
    EXPECT_EQ(Next(), Level(c.step));
    EXPECT_EQ(frame->TrackBar->value(), c.step);
    EXPECT_EQ(frame->GetLastApplied(), c.step);
    link.OpenGate();
    QTest::keyClick(frame->TrackBar, Qt::Key_Left, c.modifiers);
    EXPECT_EQ(Next(), Level(0));
}

INSTANTIATE_TEST_SUITE_P(Steps, TrackKeyTest,
                         ::testing::Values(KeyStepCase{-1, Qt::NoModifier, 1}, KeyStepCase{0, Qt::NoModifier, 1},
                                           KeyStepCase{0, Qt::ShiftModifier, 10}, KeyStepCase{1, Qt::NoModifier, 10},
                                           KeyStepCase{1, Qt::ShiftModifier, 10}, KeyStepCase{2, Qt::NoModifier, 100},
                                           KeyStepCase{2, Qt::ControlModifier, 100}, KeyStepCase{3, Qt::NoModifier, 1},
                                           KeyStepCase{3, Qt::ControlModifier, 100},
                                           KeyStepCase{-1, Qt::ShiftModifier, 10},
                                           KeyStepCase{-1, Qt::ControlModifier, 100},
                                           KeyStepCase{-1, Qt::ShiftModifier | Qt::ControlModifier, 1000}));

class EditKeyTest : public FrameTest, public ::testing::WithParamInterface<KeyStepCase> {};

TEST_P(EditKeyTest, ArrowKeysStepByTheModelStep)
{
    const KeyStepCase& c = GetParam();
    StartAtZero();
    frame->SetStepButtonDown(c.button);
    frame->EditNum->setFocus();
    QTest::keyPress(frame->EditNum, Qt::Key_Up, c.modifiers);
    EXPECT_EQ(Next(), Level(c.step));
    // The release takes the edit's text again: equal to what went out, so nothing more.
    QTest::keyRelease(frame->EditNum, Qt::Key_Up, Qt::NoModifier);
    link.OpenGate();
    EXPECT_EQ(Next(kQuiet), "");
    EXPECT_EQ(frame->GetPending(), -1);
    EXPECT_FALSE(model->GetEditShift());
    EXPECT_FALSE(model->GetEditCtrl());
}

INSTANTIATE_TEST_SUITE_P(Steps, EditKeyTest,
                         ::testing::Values(KeyStepCase{-1, Qt::NoModifier, 1}, KeyStepCase{0, Qt::ShiftModifier, 1},
                                           KeyStepCase{1, Qt::NoModifier, 10}, KeyStepCase{2, Qt::NoModifier, 100},
                                           KeyStepCase{3, Qt::NoModifier, 1000}, KeyStepCase{-1, Qt::ShiftModifier, 10},
                                           KeyStepCase{-1, Qt::ControlModifier, 100},
                                           KeyStepCase{-1, Qt::ShiftModifier | Qt::ControlModifier, 1000}));

class StepButtonTest : public FrameTest, public ::testing::WithParamInterface<int> {};

TEST_P(StepButtonTest, ButtonsAndWheelStepByTheDButton)
{
    const int button = GetParam();
    const int step = button < 0 ? 1 : KFrameModule::kStepTable[button];
    StartAtZero();
    frame->SetStepButtonDown(button);
    QTest::mouseClick(frame->SpeedButtonUp, Qt::LeftButton);
    EXPECT_EQ(Next(), Level(step));
    EXPECT_EQ(frame->GetLastApplied(), step) << "a direct send that went out is the last applied value";
    link.OpenGate();
    QTest::mouseClick(frame->SpeedButtonDn, Qt::LeftButton);
    EXPECT_EQ(Next(), Level(0));
    link.OpenGate();
    Wheel(frame->EditNum, 120);
    EXPECT_EQ(Next(), Level(step));
    link.OpenGate();
    Wheel(frame->TrackBar, -120);
    EXPECT_EQ(Next(), Level(0));
    EXPECT_EQ(frame->TrackBar->value(), 0);
}

INSTANTIATE_TEST_SUITE_P(Steps, StepButtonTest, ::testing::Values(-1, 0, 1, 2, 3));

TEST_F(FrameTest, UpInTheEditAppliesAtOnceAndTheReleaseSendsNothingMore)
{
    frame->ShowModelValue(123);
    frame->SyncTrack();
    link.OpenGate();
    frame->EditNum->setFocus();
    QTest::keyPress(frame->EditNum, Qt::Key_Up);
    EXPECT_EQ(Next(), Level(124));
    EXPECT_EQ(frame->EditNum->text(), QStringLiteral("12.4"));
    // The release takes the edit's value again: what went out last, so nothing waits.
    QTest::keyRelease(frame->EditNum, Qt::Key_Up);
    EXPECT_EQ(frame->GetPending(), -1);
    link.OpenGate();
    EXPECT_EQ(Next(kQuiet), "");
}

TEST_F(FrameTest, ThumbMovesWhileBusyWaitAndTheLatestGoesOut)
{
    StartAtZero();
    QTest::keyClick(frame->TrackBar, Qt::Key_Right);
    EXPECT_EQ(Next(), Level(1));
    ASSERT_TRUE(model->IsBusy());
    QTest::keyClick(frame->TrackBar, Qt::Key_PageUp); // the percent frame's page: 1.0 %
    QTest::keyClick(frame->TrackBar, Qt::Key_PageUp);
    EXPECT_EQ(frame->GetPending(), 21);
    EXPECT_EQ(model->GetValue(), 21);
    // The retry keeps failing while the device stays busy.
    EXPECT_EQ(Next(kQuiet), "");
    EXPECT_TRUE(frame->TimerBusy->isActive());
    link.OpenGate();
    EXPECT_EQ(Next(), Level(21));
    EXPECT_EQ(frame->GetPending(), -1);
    EXPECT_EQ(frame->GetLastApplied(), 21);
    EXPECT_FALSE(frame->TimerBusy->isActive());
    EXPECT_EQ(Next(kQuiet), "");
}

TEST_F(FrameTest, ReleaseOnTheTrackBarDefersTheFinalValue)
{
    StartAtZero();
    QTest::keyClick(frame->TrackBar, Qt::Key_Right);
    EXPECT_EQ(Next(), Level(1));
    QTest::mousePress(frame->TrackBar, Qt::LeftButton, Qt::NoModifier, QPoint(2, 16));
    frame->TrackBar->setSliderPosition(400); // the drag's last position
    QTest::mouseRelease(frame->TrackBar, Qt::LeftButton, Qt::NoModifier, QPoint(2, 16));
    EXPECT_EQ(model->GetValue(), 400);
    EXPECT_EQ(frame->GetPending(), 400);
    link.OpenGate();
    EXPECT_EQ(Next(), Level(400));
    EXPECT_EQ(Next(kQuiet), "");
}

TEST_F(FrameTest, ThumbMoveToTheLastAppliedValueSendsNothing)
{
    StartAtZero();
    QTest::keyClick(frame->TrackBar, Qt::Key_Right);
    EXPECT_EQ(Next(), Level(1));
    link.OpenGate();
    frame->TrackBar->setSliderPosition(1);
    EXPECT_EQ(Next(kQuiet), "");
    // Reported by the instrument: what it holds now, so a move back to 1 must go out.
    frame->ShowModelValue(50);
    EXPECT_EQ(frame->GetLastApplied(), 50);
    frame->TrackBar->setSliderPosition(1);
    EXPECT_EQ(Next(), Level(1));
}

TEST_F(FrameTest, PendingValueIsDroppedWhenTheLinkCloses)
{
    StartAtZero();
    QTest::keyClick(frame->TrackBar, Qt::Key_Right);
    EXPECT_EQ(Next(), Level(1));
    QTest::keyClick(frame->TrackBar, Qt::Key_PageUp);
    EXPECT_EQ(frame->GetPending(), 11);
    link.Close();
    link.OpenGate();
    EXPECT_TRUE(QTest::qWaitFor([&] { return !frame->TimerBusy->isActive(); }, 1000));
    EXPECT_EQ(frame->GetPending(), -1);
    // A new link does not get the old value.
    ASSERT_TRUE(link.Connect());
    link.OpenGate();
    EXPECT_EQ(Next(kQuiet), "");
}

// The labels and the track bar's release work without a link; what they make waits for none,
// not even for a link that opens at once.
TEST_F(FrameTest, ValuesMadeWithoutALinkWaitForNone)
{
    StartAtZero();
    link.Close();
    QTest::mouseClick(frame->Label2, Qt::LeftButton); // MAX
    QTest::mouseClick(frame->TrackBar, Qt::LeftButton, Qt::NoModifier, QPoint(2, 16));
    EXPECT_EQ(frame->GetPending(), -1);
    EXPECT_FALSE(frame->TimerBusy->isActive());
    ASSERT_TRUE(link.Connect());
    link.OpenGate();
    EXPECT_EQ(Next(kQuiet), "");
}

TEST_F(FrameTest, DropPendingStopsTheRetry)
{
    StartAtZero();
    QTest::keyClick(frame->TrackBar, Qt::Key_Right);
    EXPECT_EQ(Next(), Level(1));
    QTest::keyClick(frame->TrackBar, Qt::Key_PageUp);
    EXPECT_TRUE(frame->TimerBusy->isActive());
    frame->DropPending();
    EXPECT_FALSE(frame->TimerBusy->isActive());
    link.OpenGate();
    EXPECT_EQ(Next(kQuiet), "");
}

TEST_F(FrameTest, EnterSendsTheTypedValueOnceAndItBecomesTheLastApplied)
{
    StartAtZero();
    frame->EditNum->setFocus();
    frame->EditNum->clear();
    QTest::keyClicks(frame->EditNum, "12.3");
    QTest::keyClick(frame->EditNum, Qt::Key_Return);
    EXPECT_EQ(Next(), Level(123));
    EXPECT_EQ(frame->GetLastApplied(), 123);
    EXPECT_EQ(frame->EditNum->selectedText(), QStringLiteral("12.3"));
    link.OpenGate();
    frame->TrackBar->setSliderPosition(123);
    EXPECT_EQ(Next(kQuiet), "");
}

TEST_F(FrameTest, EnterWithoutANumberSendsTheMinimum)
{
    frame->ShowModelValue(500);
    frame->SyncTrack();
    link.OpenGate();
    frame->EditNum->setText(QStringLiteral("abc"));
    QTest::keyClick(frame->EditNum, Qt::Key_Enter);
    EXPECT_EQ(Next(), Level(0));
    EXPECT_EQ(frame->EditNum->text(), QStringLiteral("0.0"));
}

TEST_F(FrameTest, StepButtonsAndWheelAreDroppedWhileBusyEnterWaits)
{
    StartAtZero();
    QTest::keyClick(frame->TrackBar, Qt::Key_Right);
    EXPECT_EQ(Next(), Level(1));
    ASSERT_TRUE(model->IsBusy());
    QTest::mouseClick(frame->SpeedButtonUp, Qt::LeftButton);
    Wheel(frame->EditNum, 120);
    EXPECT_EQ(frame->GetPending(), -1);
    EXPECT_EQ(frame->EditNum->text(), QStringLiteral("0.1"));
    // The typed value stays shown: it goes out once the device allows.
    frame->EditNum->setText(QStringLiteral("5"));
    QTest::keyClick(frame->EditNum, Qt::Key_Return);
    EXPECT_EQ(frame->GetPending(), 50);
    link.OpenGate();
    EXPECT_EQ(Next(), Level(50));
    EXPECT_EQ(Next(kQuiet), "");
}

TEST_F(FrameTest, MinAndMaxJumpAndReturn)
{
    frame->ShowModelValue(300);
    frame->SyncTrack();
    link.OpenGate();
    QTest::mouseClick(frame->Label1, Qt::LeftButton); // MIN
    EXPECT_EQ(Next(), Level(0));
    EXPECT_EQ(frame->TrackBar->value(), 0);
    link.OpenGate();
    QTest::mouseClick(frame->Label1, Qt::LeftButton); // back
    EXPECT_EQ(Next(), Level(300));
    EXPECT_EQ(frame->EditNum->text(), QStringLiteral("30.0"));
    link.OpenGate();
    QTest::mouseClick(frame->Label1, Qt::LeftButton); // the minimum again
    EXPECT_EQ(Next(), Level(0));
    link.OpenGate();
    QTest::mouseClick(frame->Label2, Qt::LeftButton); // MAX returns to where MIN left
    EXPECT_EQ(Next(), Level(300));
    link.OpenGate();
    QTest::mouseClick(frame->Label2, Qt::LeftButton);
    EXPECT_EQ(Next(), Level(1000));
    EXPECT_EQ(frame->TrackBar->value(), 1000);
}

// Every gesture makes one target and the newest wins. From 50.0 a Left sends 49.9 and a second
// Left leaves 49.8 waiting while the device is busy; then one more gesture comes, with the
// device still busy or with its busy window just over (the gate clock moved on, the retry not
// yet run). The wire ends on that gesture's value with nothing after it, and the frame shows it.
struct RoadCase {
    const char* name;
    bool idle;
    std::function<void(TFrameSlider&)> gesture;
    std::vector<int> wire; // after 49.9, in tenths
    int shown;
};

void PrintTo(const RoadCase& c, std::ostream* os)
{
    *os << c.name;
}

class GestureRoadTest : public FrameTest, public ::testing::WithParamInterface<RoadCase> {};

TEST_P(GestureRoadTest, TheNewestGestureIsTheLastValueOutAndTheOneShown)
{
    const RoadCase& c = GetParam();
    frame->ShowModelValue(500);
    frame->SyncTrack();
    link.OpenGate();
    QTest::keyClick(frame->TrackBar, Qt::Key_Left);
    ASSERT_EQ(Next(), Level(499));
    QTest::keyClick(frame->TrackBar, Qt::Key_Left);
    ASSERT_EQ(frame->GetPending(), 498);
    if (c.idle) {
        link.OpenGate();
    }
    frame->TimerBusy->start(); // the retry is not due before the gesture
    c.gesture(*frame);
    const std::vector<std::string> wire = link.Wire(kQuiet);
    std::vector<std::string> expected;
    for (int v : c.wire) {
        expected.push_back(Level(v));
    }
    EXPECT_EQ(wire, expected);
    EXPECT_EQ(frame->GetPending(), -1);
    EXPECT_EQ(model->GetValue(), c.shown);
    EXPECT_EQ(frame->EditNum->text(), model->ValueToText(static_cast<int16_t>(c.shown)));
    EXPECT_EQ(frame->TrackBar->value(), c.shown);
}

void TypeAndEnter(TFrameSlider& f)
{
    f.EditNum->setText(QStringLiteral("12.3"));
    QTest::keyClick(f.EditNum, Qt::Key_Return);
}

INSTANTIATE_TEST_SUITE_P(
    Roads, GestureRoadTest,
    ::testing::Values(
        RoadCase{"MinWhileBusy", false, [](TFrameSlider& f) { QTest::mouseClick(f.Label1, Qt::LeftButton); }, {0}, 0},
        RoadCase{"MinOnceIdle", true, [](TFrameSlider& f) { QTest::mouseClick(f.Label1, Qt::LeftButton); }, {0}, 0},
        RoadCase{"TrackStepOnceIdle",
                 true,
                 [](TFrameSlider& f) {
                     f.SetStepButtonDown(1);
                     QTest::keyClick(f.TrackBar, Qt::Key_Right);
                 },
                 {508},
                 508},
        RoadCase{"TrackBackToTheValueSent",
                 false,
                 [](TFrameSlider& f) { QTest::keyClick(f.TrackBar, Qt::Key_Right); },
                 {},
                 499},
        RoadCase{"EditBackToTheValueSent",
                 false,
                 [](TFrameSlider& f) {
                     f.EditNum->setFocus();
                     QTest::keyClick(f.EditNum, Qt::Key_Up);
                 },
                 {},
                 499},
        RoadCase{"EnterWhileBusy", false, TypeAndEnter, {123}, 123},
        RoadCase{"EnterOnceIdle", true, TypeAndEnter, {123}, 123},
        RoadCase{"StepButtonOnceIdle",
                 true,
                 [](TFrameSlider& f) { QTest::mouseClick(f.SpeedButtonUp, Qt::LeftButton); },
                 {499},
                 499},
        RoadCase{"WheelOnceIdle", true, [](TFrameSlider& f) { Wheel(f.EditNum, -120); }, {497}, 497},
        // Refused while busy: no target, so the waiting value still goes.
        RoadCase{"StepButtonWhileBusy",
                 false,
                 [](TFrameSlider& f) { QTest::mouseClick(f.SpeedButtonUp, Qt::LeftButton); },
                 {498},
                 498},
        RoadCase{"DragWhileBusy", false, [](TFrameSlider& f) { f.TrackBar->setSliderPosition(300); }, {300}, 300}),
    [](const auto& info) { return std::string(info.param.name); });

// A gesture that finds a function of the module running waits as the pending value, and so do
// the retries: none of them waits inside the module's wait for idle, where the message loop
// would run further gestures under it.
TEST_F(FrameTest, GesturesWhileAFunctionRunsWaitOutsideTheMessageLoop)
{
    frame->ShowModelValue(100);
    frame->SyncTrack();
    link.OpenGate();
    ASSERT_TRUE(link.Module().ReadStatusByte()); // answered below, by hand
    ASSERT_EQ(Next(), "*STB?");
    bool nested = false;
    QTimer::singleShot(0, [&] { nested = true; });
    QElapsedTimer keys;
    keys.start();
    for (int i = 0; i < 3; ++i) {
        QTest::keyClick(frame->TrackBar, Qt::Key_Left);
    }
    EXPECT_FALSE(nested);
    EXPECT_LT(keys.elapsed(), 500);
    EXPECT_EQ(frame->GetPending(), 97);
    QElapsedTimer retries;
    retries.start();
    QTest::qWait(350);
    EXPECT_LT(retries.elapsed(), 900);
    link.Module().StepFunction(24); // the status byte: nothing to report
    link.OpenGate();
    EXPECT_EQ(Next(), Level(97));
    EXPECT_EQ(Next(kQuiet), "");
    EXPECT_EQ(frame->EditNum->text(), QStringLiteral("9.7"));
}

// The release of a drag re-asserts the drag's value, also after the instrument reported another
// one during the drag.
TEST_F(FrameTest, AReportDuringADragDoesNotReplaceTheDragsValue)
{
    StartAtZero();
    QTest::mousePress(frame->TrackBar, Qt::LeftButton, Qt::NoModifier, QPoint(2, 16));
    frame->TrackBar->setSliderPosition(400);
    EXPECT_EQ(Next(), Level(400));
    frame->ShowModelValue(100);
    QTest::mouseRelease(frame->TrackBar, Qt::LeftButton, Qt::NoModifier, QPoint(2, 16));
    link.OpenGate();
    EXPECT_EQ(Next(), Level(400));
    EXPECT_EQ(Next(kQuiet), "");
    EXPECT_EQ(frame->EditNum->text(), QStringLiteral("40.0"));
    EXPECT_EQ(frame->TrackBar->value(), 400);
}

TEST(FrameLocalTest, WarnsOnceUntilANewFrameIsMade)
{
    Link link(kKindPP); // never connected
    auto frame = std::make_unique<TFrameSliderPp>();
    KFrameModulePP model;
    model.SetFrame(frame.get());
    frame->SetModel(&model);
    model.SetModule(&link.Module());
    frame->show();
    frame->TrackBar->setVisible(true);
    EXPECT_FALSE(TFrameSlider::LocalWarningShown());

    {
        slidertest::ModalAnswerer answer;
        QTest::keyClick(frame->TrackBar, Qt::Key_Right);
        EXPECT_TRUE(answer.Shown());
        EXPECT_EQ(answer.Upper(), QStringLiteral("In local mode , you can not control QMR3400."));
        EXPECT_EQ(answer.Lower(), QStringLiteral("Please push the [Connect] button."));
    }
    EXPECT_TRUE(TFrameSlider::LocalWarningShown());
    // Later refusals are silent; the thumb still moves without effect.
    const int before = frame->TrackBar->value();
    QTest::keyClick(frame->TrackBar, Qt::Key_Right);
    EXPECT_EQ(frame->TrackBar->value(), before + 1);
    QTest::mouseClick(frame->SpeedButtonUp, Qt::LeftButton);
    QTest::keyClick(frame->EditNum, Qt::Key_Return);
    EXPECT_FALSE(slidertest::ModalUp());
    EXPECT_EQ(frame->GetPending(), -1);

    // Another frame arms the warning again.
    TFrameSliderPp other;
    EXPECT_FALSE(TFrameSlider::LocalWarningShown());
    {
        slidertest::ModalAnswerer answer;
        QTest::mouseClick(frame->SpeedButtonDn, Qt::LeftButton);
        EXPECT_TRUE(answer.Shown());
    }
}

class LossFrameTest : public FrameTest {
protected:
    LossFrameTest() : FrameTest(kKindIL) {}

    std::unique_ptr<TFrameSlider> MakeFrame() override
    {
        auto f = std::make_unique<TFrameSlider>();
        f->TrackBar->setRange(0, 700);
        model = std::make_unique<KFrameModuleDB>();
        Bind(f.get());
        return f;
    }
};

TEST_F(LossFrameTest, MaxGoesToTheRangeTopAndRightStaysThere)
{
    // A frequency is known: the loss goes out with it.
    ASSERT_TRUE(link.Device().SetFrequency(1000));
    EXPECT_EQ(Next(), KComDeviceQmr::RangeText(1000));
    link.Device().SetCommandState(csIDLE);
    model->SetRange(300, 0);
    model->ShowRange();
    frame->ShowModelValue(100);
    frame->SyncTrack();
    link.OpenGate();
    QTest::mouseClick(frame->Label2, Qt::LeftButton);
    EXPECT_EQ(Next(), KComDeviceQmr::ILText(300, 1000));
    EXPECT_EQ(frame->EditNum->text(), QStringLiteral("30.0"));
    link.OpenGate();
    QTest::keyClick(frame->TrackBar, Qt::Key_Right);
    EXPECT_EQ(frame->TrackBar->value(), 300);
    EXPECT_EQ(Next(kQuiet), "");
}

TEST_F(LossFrameTest, ThumbMovesSnapToTheStep)
{
    ASSERT_TRUE(link.Device().SetFrequency(1000));
    EXPECT_EQ(Next(), KComDeviceQmr::RangeText(1000));
    link.Device().SetCommandState(csIDLE);
    StartAtZero();
    frame->SetStepButtonDown(1); // D2: 1.0 dB
    frame->TrackBar->setSliderPosition(234);
    EXPECT_EQ(Next(), KComDeviceQmr::ILText(230, 1000));
    EXPECT_EQ(frame->TrackBar->value(), 230);
}

} // namespace
