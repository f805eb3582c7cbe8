// The frequency slider frame on real widgets: its gestures store and show values but never
// send; the one send is SendCurrent, which the dB window runs when the frequency editing ends.
#include "app/windows/Frmsldfq.h"
#include "KeyStep.h"
#include "app/windows/Framemod.h"

#include "SliderRig.h"
#include "Thumb.h"

#include <QApplication>
#include <QLineEdit>
#include <QSlider>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QWheelEvent>

#include <gtest/gtest.h>
#include <memory>
#include <ostream>

namespace {

using namespace std::chrono_literals;
using slidertest::Link;
using slidertest::Wheel;

constexpr auto kQuiet = 300ms;

class FrqTest : public ::testing::Test {
protected:
    FrqTest() : link(kKindIL) {}

    void SetUp() override
    {
        model.SetFrame(&frame);
        frame.SetModel(&model);
        model.SetModule(&link.Module());
        frame.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&frame));
        ASSERT_TRUE(link.Connect());
        frame.SyncTrack();
    }

    void StartAt(int16_t value)
    {
        frame.ShowModelValue(value);
        frame.SyncTrack();
    }

    // Gestures of this frame go nowhere.
    void ExpectNothingSent() { EXPECT_EQ(link.NextLine(kQuiet), ""); }

    // The end of the editing at `value`, edited from 10.00 GHz, right after a level went out:
    // the gate refuses it, and it waits for the retry.
    void RefusedByTheGate(int16_t value)
    {
        link.OpenGate();
        ASSERT_TRUE(link.Device().SetLevel(5));
        EXPECT_EQ(link.NextLine(), KComDeviceQmr::LevelText(5));
        StartAt(1000);
        model.SetValue(value);
        frame.SendCurrent();
        ASSERT_EQ(frame.GetPending(), value);
    }

    Link link;
    TFrameSliderFrq frame;
    KFrameModuleFRQ model;
};

TEST_F(FrqTest, ResourceValues)
{
    EXPECT_EQ(frame.height(), 109);
    EXPECT_EQ(sliderlook::Colour(&frame), sliderlook::kSilver);
    EXPECT_EQ(frame.LabelName->text(), QStringLiteral(" Frequency"));
    EXPECT_EQ(frame.LabelUnit->text(), QStringLiteral("GHz"));
    EXPECT_EQ(frame.LabelUnit->geometry(), QRect(675, 3, 48, 27));
    EXPECT_EQ(frame.EditNum->geometry(), QRect(451, 38, 215, 54));
    EXPECT_EQ(frame.EditNum->font().pixelSize(), 53);
    // Its left and width lay the thumb under the scale.
    EXPECT_EQ(frame.TrackBar->y(), 64);
    EXPECT_EQ(frame.TrackBar->height(), 28);
    EXPECT_EQ(frame.TrackBar->minimum(), 10);
    EXPECT_EQ(frame.TrackBar->tickInterval(), 1000);
    EXPECT_EQ(frame.ShapeRange->geometry(), QRect(59, 62, 366, 32));
    EXPECT_EQ(frame.StaticTextMax->geometry().topLeft(), QPoint(354, 38));
    EXPECT_EQ(frame.SpeedButtonD4->y(), 96);
    EXPECT_FALSE(frame.SpeedButtonD4->isHidden());
    EXPECT_EQ(frame.GetMinimum(), 10);
    EXPECT_EQ(frame.GetMaximum(), 4000);
}

TEST_F(FrqTest, DragWithD3StoresTheSnappedValue)
{
    StartAt(1000);
    frame.SetStepButtonDown(2);
    QTest::mousePress(frame.TrackBar, Qt::LeftButton, Qt::NoModifier, QPoint(2, 14));
    frame.TrackBar->setSliderPosition(1234);
    EXPECT_EQ(model.GetValue(), 1200);
    EXPECT_EQ(frame.EditNum->text(), QStringLiteral("12.00"));
    frame.TrackBar->setSliderPosition(1277);
    QTest::mouseRelease(frame.TrackBar, Qt::LeftButton, Qt::NoModifier, QPoint(2, 14));
    EXPECT_EQ(model.GetValue(), 1300);
    EXPECT_EQ(frame.TrackBar->value(), 1300);
    ExpectNothingSent();
}

TEST_F(FrqTest, WithD4TrackArrowsStepOneWhileButtonsStepAThousand)
{
    StartAt(1000);
    frame.SetStepButtonDown(3);
    QTest::keyClick(frame.TrackBar, Qt::Key_Right);
    EXPECT_EQ(model.GetValue(), 1001);
    EXPECT_EQ(frame.EditNum->text(), QStringLiteral("10.01"));
    QTest::mouseClick(frame.SpeedButtonUp, Qt::LeftButton);
    EXPECT_EQ(model.GetValue(), 2001);
    Wheel(frame.EditNum, 120);
    EXPECT_EQ(model.GetValue(), 3001);
    QTest::mouseClick(frame.SpeedButtonDn, Qt::LeftButton);
    EXPECT_EQ(model.GetValue(), 2001);
    // The edit's arrow snaps like a thumb move and shows what it stores.
    QTest::keyPress(frame.EditNum, Qt::Key_Down);
    EXPECT_EQ(model.GetValue(), 1000);
    EXPECT_EQ(frame.EditNum->text(), QStringLiteral("10.00"));
    QTest::keyRelease(frame.EditNum, Qt::Key_Down);
    EXPECT_EQ(model.GetValue(), 1000);
    EXPECT_EQ(frame.TrackBar->value(), 1000);
    ExpectNothingSent();
}

class FrqTrackKeyTest : public FrqTest, public ::testing::WithParamInterface<KeyStepCase> {};

TEST_P(FrqTrackKeyTest, ArrowKeysStepByTheTrackTable)
{
    const KeyStepCase& c = GetParam();
    StartAt(10);
    frame.SetStepButtonDown(c.button);
    QTest::keyClick(frame.TrackBar, Qt::Key_Up, c.modifiers);
    EXPECT_EQ(model.GetValue(), 10 + c.step);
    EXPECT_EQ(frame.TrackBar->value(), 10 + c.step);
    QTest::keyClick(frame.TrackBar, Qt::Key_Left, c.modifiers);
    EXPECT_EQ(model.GetValue(), 10);
    ExpectNothingSent();
}

INSTANTIATE_TEST_SUITE_P(Steps, FrqTrackKeyTest,
                         ::testing::Values(KeyStepCase{0, Qt::ShiftModifier, 1}, KeyStepCase{1, Qt::NoModifier, 10},
                                           KeyStepCase{2, Qt::ControlModifier, 100}, KeyStepCase{3, Qt::NoModifier, 1},
                                           KeyStepCase{3, Qt::ShiftModifier, 10}, KeyStepCase{-1, Qt::NoModifier, 1},
                                           KeyStepCase{-1, Qt::ControlModifier, 100},
                                           KeyStepCase{-1, Qt::ShiftModifier | Qt::ControlModifier, 1000}));

TEST_F(FrqTest, UpButtonIsLimitedAtTheTop)
{
    StartAt(3995);
    frame.SetStepButtonDown(1);
    QTest::mouseClick(frame.SpeedButtonUp, Qt::LeftButton);
    EXPECT_EQ(model.GetValue(), 4000);
    EXPECT_EQ(frame.EditNum->text(), QStringLiteral("40.00"));
    ExpectNothingSent();
}

struct TypedCase {
    const char* text;
    int stored;
};

void PrintTo(const TypedCase& c, std::ostream* os)
{
    *os << "stores_" << c.stored;
}

class FrqEnterTest : public FrqTest, public ::testing::WithParamInterface<TypedCase> {};

TEST_P(FrqEnterTest, EnterStoresTheTypedValueAndTheEndOfEditingSendsItOnce)
{
    const TypedCase& c = GetParam();
    StartAt(1000);
    frame.EditNum->setFocus();
    frame.EditNum->clear();
    QTest::keyClicks(frame.EditNum, c.text);
    QTest::keyClick(frame.EditNum, Qt::Key_Return);
    EXPECT_EQ(model.GetValue(), c.stored);
    EXPECT_EQ(frame.TrackBar->value(), c.stored);
    ExpectNothingSent();
    link.OpenGate();
    frame.SendCurrent();
    EXPECT_EQ(link.NextLine(), KComDeviceQmr::RangeText(static_cast<int16_t>(c.stored)));
    EXPECT_EQ(link.Device().GetFrequency(), c.stored);
    ExpectNothingSent();
}

INSTANTIATE_TEST_SUITE_P(Texts, FrqEnterTest,
                         ::testing::Values(TypedCase{"12.3", 1230}, TypedCase{"50", 4000}, TypedCase{"0", 10},
                                           TypedCase{"abc", 10}));

TEST_F(FrqTest, EnterWhileBusyStoresTheValueShown)
{
    StartAt(1000);
    link.Module().SetBusy(true);
    frame.EditNum->setText(QStringLiteral("20"));
    QTest::keyClick(frame.EditNum, Qt::Key_Return);
    EXPECT_EQ(model.GetValue(), 2000);
    EXPECT_EQ(frame.EditNum->text(), QStringLiteral("20.00"));
    link.Module().SetBusy(false);
}

TEST_F(FrqTest, MinAndMaxStoreWhatTheyShow)
{
    StartAt(1500);
    QTest::mouseClick(frame.Label2, Qt::LeftButton); // the first MAX goes to the maximum
    EXPECT_EQ(model.GetValue(), 4000);
    EXPECT_EQ(frame.EditNum->text(), QStringLiteral("40.00"));
    QTest::mouseClick(frame.Label1, Qt::LeftButton); // back to where MAX left
    EXPECT_EQ(model.GetValue(), 1500);
    QTest::mouseClick(frame.Label1, Qt::LeftButton);
    EXPECT_EQ(model.GetValue(), 10);
    EXPECT_EQ(frame.TrackBar->value(), 10);
    ExpectNothingSent();
}

TEST_F(FrqTest, ReleaseOfAnEditArrowStoresTheEditText)
{
    StartAt(1000);
    frame.EditNum->setText(QStringLiteral("20.5"));
    QTest::keyRelease(frame.EditNum, Qt::Key_Up);
    EXPECT_EQ(model.GetValue(), 2050);
    EXPECT_EQ(frame.TrackBar->value(), 2050);
    EXPECT_EQ(frame.GetPending(), -1);
    EXPECT_FALSE(frame.TimerBusy->isActive());
    ExpectNothingSent();
}

TEST_F(FrqTest, SendCurrentRefusedByTheGateWaitsUnlessTheInstrumentHasIt)
{
    RefusedByTheGate(2000);
    ExpectNothingSent();
    link.OpenGate();
    EXPECT_EQ(link.NextLine(), KComDeviceQmr::RangeText(2000));
    EXPECT_EQ(frame.GetPending(), -1);
    // Refused again (the range is still awaited), but the instrument has 20.00 GHz already.
    frame.SendCurrent();
    EXPECT_FALSE(frame.TimerBusy->isActive());
    link.OpenGate();
    ExpectNothingSent();
}

// A frequency send that failed (no link) leaves the device's frequency at what it tried; the
// end of the editing at that frequency, refused while the module is busy, still waits for it.
TEST_F(FrqTest, AFrequencyThatNeverWentOutWaitsWhenRefused)
{
    StartAt(1000);
    link.Close();
    model.SetValue(2000);
    frame.SendCurrent();
    ASSERT_EQ(frame.GetPending(), -1);
    ASSERT_TRUE(link.Connect());
    link.OpenGate();
    ASSERT_TRUE(link.Module().ReadStatusByte()); // left unanswered: the function runs on
    ASSERT_EQ(link.NextLine(), "*STB?");
    frame.SendCurrent();
    EXPECT_EQ(frame.GetPending(), 2000);
    link.Module().StepFunction(24);
    link.OpenGate();
    EXPECT_EQ(link.NextLine(), KComDeviceQmr::RangeText(2000));
}

// A thumb move under the guard (a track arrow, a step button) stores its value, so that a drag
// back to the value before is taken again and the end of the editing sends what is shown.
TEST_F(FrqTest, DragBackAfterAGuardedMoveIsTaken)
{
    StartAt(1000);
    QTest::keyClick(frame.TrackBar, Qt::Key_Right);
    EXPECT_EQ(model.GetValue(), 1001);
    frame.TrackBar->setSliderPosition(1000);
    EXPECT_EQ(model.GetValue(), 1000);
    QTest::mouseClick(frame.SpeedButtonUp, Qt::LeftButton);
    EXPECT_EQ(model.GetValue(), 1001);
    frame.TrackBar->setSliderPosition(1000);
    EXPECT_EQ(model.GetValue(), 1000);
    EXPECT_EQ(frame.EditNum->text(), QStringLiteral("10.00"));
    link.OpenGate();
    frame.SendCurrent();
    EXPECT_EQ(link.NextLine(), KComDeviceQmr::RangeText(1000));
    ExpectNothingSent();
}

// The end of the editing replaces a frequency that still waits to go out.
TEST_F(FrqTest, ASentFrequencyDropsAnOlderWaitingOne)
{
    RefusedByTheGate(2000);
    link.OpenGate();
    model.SetValue(2500);
    frame.SendCurrent();
    EXPECT_EQ(link.NextLine(), KComDeviceQmr::RangeText(2500));
    EXPECT_EQ(frame.GetPending(), -1);
    link.Device().SetCommandState(csIDLE);
    link.OpenGate();
    ExpectNothingSent();
}

// An end of the editing that comes while an earlier one waits for the module's running
// function: the earlier send, refused when its wait runs out, leaves no trace, and the newer
// frequency is the one that goes out.
TEST_F(FrqTest, AnEarlierSendThatReturnsLateLeavesNoTrace)
{
    StartAt(1000);
    link.OpenGate();
    ASSERT_TRUE(link.Module().ReadStatusByte()); // left unanswered: the function runs on
    ASSERT_EQ(link.NextLine(), "*STB?");
    model.SetValue(2000);
    QTimer::singleShot(200, &frame, [this] {
        model.SetValue(2500);
        frame.SendCurrent();
    });
    frame.SendCurrent(); // waits for the running function, letting messages through
    EXPECT_EQ(frame.GetPending(), 2500);
    link.Module().StepFunction(24); // the status byte: nothing to report
    link.OpenGate();
    EXPECT_EQ(link.NextLine(), KComDeviceQmr::RangeText(2500));
    link.Device().SetCommandState(csIDLE);
    link.OpenGate();
    ExpectNothingSent();
}

TEST(FrqLocalTest, WithoutLinkTheButtonsStillMoveAndEnterWarns)
{
    Link link(kKindIL);
    TFrameSliderFrq frame;
    KFrameModuleFRQ model;
    model.SetFrame(&frame);
    frame.SetModel(&model);
    model.SetModule(&link.Module());
    frame.show();
    frame.ShowModelValue(1000);
    QTest::mouseClick(frame.SpeedButtonUp, Qt::LeftButton);
    EXPECT_EQ(model.GetValue(), 1001);
    QTest::keyClick(frame.TrackBar, Qt::Key_Right);
    EXPECT_EQ(model.GetValue(), 1002);
    EXPECT_FALSE(TFrameSlider::LocalWarningShown());
    slidertest::ModalAnswerer answer;
    QTest::keyClick(frame.EditNum, Qt::Key_Return);
    EXPECT_TRUE(answer.Shown());
    EXPECT_EQ(model.GetValue(), 1002);
}

} // namespace
