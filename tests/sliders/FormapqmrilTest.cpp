// The dB window with its loss and frequency sliders: looks in local, the range from the
// instrument, which slider is active while the frequency is edited, the Frequency SET button,
// the double-click of the developer switch and the mode button.
#include "app/windows/Formapqmril.h"
#include "app/windows/Framemod.h"
#include "app/windows/Frmsldfq.h"

#include "SliderRig.h"
#include "Thumb.h"
#include "WindowRig.h"
#include "ui_Formapqmr.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QSlider>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <gtest/gtest.h>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

namespace {

using namespace std::chrono_literals;
using namespace sliderlook;
using slidertest::Link;

constexpr auto kQuiet = 300ms;

class DbWindowTest : public ::testing::Test {
protected:
    DbWindowTest() : link(kKindIL) {}

    void SetUp() override
    {
        module = link.TakeModule();
        window = std::make_unique<TFormAppQmrIL>(&owner, module);
        // As the window switch does: the module gets its window once the window is made.
        module->SetForm(window.get());
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
        loss = window->FrameSliderIL;
        frequency = window->FrameSliderFrq;
    }

    void TearDown() override
    {
        window.reset();
        link.Close();
    }

    void PressSet() { QTest::mousePress(window->SpeedButtonSet, Qt::LeftButton); }
    void ReleaseSet() { QTest::mouseRelease(window->SpeedButtonSet, Qt::LeftButton); }
    bool ModeEnabled() const { return window->Form().ButtonMode->isEnabled(); }

    // The looks of one slider by the table of the frequency editing.
    static void ExpectActive(TFrameSlider* f, QLabel* rangeMin, QLabel* rangeMax, bool active)
    {
        EXPECT_EQ(f->Shape1->BrushColour(), active ? kBlack : kGrey);
        EXPECT_EQ(f->Shape1->PenColour(), active ? kBlack : kGrey);
        EXPECT_EQ(Colour(f->EditNum), active ? kBlack : kGrey);
        EXPECT_EQ(FontColour(f->EditNum), kSkyBlue);
        EXPECT_EQ(Colour(f->LabelName), active ? kSkyBlue : kFace);
        EXPECT_EQ(Colour(f->LabelUnit), active ? kSkyBlue : kFace);
        EXPECT_EQ(Colour(f), kFace);
        EXPECT_EQ(f->isEnabled(), active);
        EXPECT_EQ(f->ShapeRange->isHidden(), !active);
        EXPECT_EQ(Colour(rangeMin), active ? kGreen : kFace);
        EXPECT_EQ(Colour(rangeMax), active ? kGreen : kFace);
    }

    Link link;
    slidertest::SwitchRecorder owner;
    KModuleQmr* module = nullptr;
    std::unique_ptr<TFormAppQmrIL> window;
    TFrameSlider* loss = nullptr;
    TFrameSliderFrq* frequency = nullptr;
};

TEST_F(DbWindowTest, LooksWhenShown)
{
    auto* caption = window->findChild<QLabel*>(QStringLiteral("LabelCaption"));
    ASSERT_NE(caption, nullptr);
    EXPECT_EQ(caption->text(), QStringLiteral("QMR3400 - dB"));
    EXPECT_EQ(loss->LabelName->text(), QStringLiteral(" Insertion Loss"));
    EXPECT_EQ(loss->LabelUnit->text(), QStringLiteral("dB"));
    EXPECT_EQ(loss->TrackBar->minimum(), 0);
    EXPECT_EQ(loss->TrackBar->maximum(), 700);
    EXPECT_FALSE(loss->TrackBar->isEnabled());
    EXPECT_TRUE(loss->StaticTextMin->isHidden());
    EXPECT_TRUE(loss->StaticTextMax->isHidden());
    EXPECT_FALSE(loss->StaticTextMin2->isHidden());
    EXPECT_FALSE(loss->StaticTextMax2->isHidden());
    EXPECT_TRUE(loss->SpeedButtonD4->isHidden());
    EXPECT_FALSE(frequency->SpeedButtonD4->isHidden());
    EXPECT_EQ(frequency->StaticTextMin->text(), QStringLiteral("0.10"));
    EXPECT_EQ(frequency->StaticTextMax->text(), QStringLiteral("40.00"));
    EXPECT_FALSE(frequency->isEnabled());
    EXPECT_EQ(Colour(frequency), kFace);
    EXPECT_EQ(window->SpeedButtonSet->text(), QStringLiteral("Frequency SET"));
    EXPECT_FALSE(window->SpeedButtonSet->isChecked());
    // Local: both sliders greyed.
    for (TFrameSlider* f : {loss, static_cast<TFrameSlider*>(frequency)}) {
        EXPECT_EQ(f->Shape1->BrushColour(), kGrey);
        EXPECT_EQ(Colour(f->EditNum), kGrey);
        EXPECT_EQ(FontColour(f->EditNum), kGrey);
        EXPECT_TRUE(f->ShapeRange->isHidden());
    }
    EXPECT_EQ(Colour(loss->StaticTextMin2), kFace);
    EXPECT_EQ(Colour(frequency->StaticTextMax), kFace);
}

TEST_F(DbWindowTest, RangeFromTheInstrumentLimitsTheLossSlider)
{
    window->SetRange(300, 100);
    EXPECT_EQ(window->LossModel()->GetMaximum(), 300);
    EXPECT_EQ(window->LossModel()->GetMinimum(), 100);
    EXPECT_EQ(loss->StaticTextMax2->text(), QStringLiteral("30.0"));
    EXPECT_EQ(loss->StaticTextMin2->text(), QStringLiteral("10.0"));
    EXPECT_EQ(loss->ShapeRange->x(), 123);
    EXPECT_EQ(loss->ShapeRange->width(), 96);
    EXPECT_FALSE(loss->ShapeRange->isHidden());
    EXPECT_TRUE(loss->TrackBar->isEnabled());
    // Wider than the instrument can be: limited to 0..700.
    window->SetRange(800, -5);
    EXPECT_EQ(window->LossModel()->GetMaximum(), 700);
    EXPECT_EQ(window->LossModel()->GetMinimum(), 0);
    EXPECT_EQ(loss->StaticTextMax2->text(), QStringLiteral("70.0"));
    EXPECT_EQ(loss->StaticTextMin2->text(), QStringLiteral("0.0"));
    EXPECT_EQ(loss->ShapeRange->x(), 76);
    EXPECT_EQ(loss->ShapeRange->width(), 332);
}

TEST_F(DbWindowTest, FrequencyEditingSwapsTheActiveSlider)
{
    window->SetFrequencyEditing(true);
    ExpectActive(frequency, frequency->StaticTextMin, frequency->StaticTextMax, true);
    ExpectActive(loss, loss->StaticTextMin2, loss->StaticTextMax2, false);
    EXPECT_TRUE(loss->TrackBar->isEnabledTo(loss));
    window->SetFrequencyEditing(false);
    ExpectActive(loss, loss->StaticTextMin2, loss->StaticTextMax2, true);
    ExpectActive(frequency, frequency->StaticTextMin, frequency->StaticTextMax, false);
}

TEST_F(DbWindowTest, FrequencySetTwiceHandsTheUnchangedFrequencyOnce)
{
    ASSERT_TRUE(link.Connect());
    window->ShowFrequency(1234);
    EXPECT_EQ(frequency->EditNum->text(), QStringLiteral("12.34"));
    PressSet();
    ReleaseSet();
    EXPECT_TRUE(window->SpeedButtonSet->isChecked());
    EXPECT_TRUE(frequency->isEnabled());
    EXPECT_FALSE(loss->isEnabled());
    EXPECT_EQ(link.NextLine(kQuiet), "");
    PressSet();
    ReleaseSet();
    EXPECT_FALSE(window->SpeedButtonSet->isChecked());
    EXPECT_EQ(link.NextLine(), KComDeviceQmr::RangeText(1234));
    EXPECT_EQ(link.NextLine(kQuiet), "");
}

// Frequency SET by the mouse or by Space, or ended by the connect's range step: the button's
// state and the editing always agree.
class FrequencySetWays : public DbWindowTest, public ::testing::WithParamInterface<int> {};

TEST_P(FrequencySetWays, TheEditingFollowsTheButton)
{
    ASSERT_TRUE(link.Connect());
    if (GetParam() == 2) {
        ASSERT_TRUE(module->ToRemote());
        auto conversation = slidertest::ConnectConversation(kKindIL, "126,1000");
        conversation.push_back({KComDeviceQmr::RangeText(1000), "0,700;" + slidertest::kNoError});
        EXPECT_EQ(link.Converse(conversation,
                                [&](const std::string& command) {
                                    if (command == KComDeviceQmr::RangeText(1000)) {
                                        PressSet();
                                        ReleaseSet();
                                    }
                                }),
                  "");
        ASSERT_TRUE(QTest::qWaitFor([&] { return module->GetFunctionState() == fnIDLE; }, 5000));
        EXPECT_FALSE(window->SpeedButtonSet->isChecked());
        EXPECT_FALSE(frequency->isEnabled());
        EXPECT_TRUE(loss->isEnabled());
        return;
    }
    window->ShowFrequency(1234);
    for (const bool down : {true, false}) {
        if (GetParam() == 1) {
            window->SpeedButtonSet->setFocus();
            QTest::keyClick(window->SpeedButtonSet, Qt::Key_Space);
        } else {
            PressSet();
            ReleaseSet();
        }
        EXPECT_EQ(window->SpeedButtonSet->isChecked(), down);
        EXPECT_EQ(frequency->isEnabled(), down);
        EXPECT_EQ(loss->isEnabled(), !down);
        EXPECT_EQ(link.NextLine(down ? kQuiet : 2000ms), down ? "" : KComDeviceQmr::RangeText(1234));
    }
}

INSTANTIATE_TEST_SUITE_P(Ways, FrequencySetWays, ::testing::Values(0, 1, 2), [](const auto& info) {
    return std::string(info.param == 0 ? "mouse" : info.param == 1 ? "Space" : "connectEnds");
});

TEST_F(DbWindowTest, EnterInTheFrequencyEndsTheEditingAndSendsOnce)
{
    ASSERT_TRUE(link.Connect());
    window->ShowFrequency(1000);
    PressSet();
    ReleaseSet();
    // Moving the thumb and the step buttons while editing send nothing.
    frequency->SetStepButtonDown(2);
    frequency->TrackBar->setSliderPosition(2345);
    QTest::mouseClick(frequency->SpeedButtonUp, Qt::LeftButton);
    EXPECT_EQ(window->FrequencyModel()->GetValue(), 2400);
    EXPECT_EQ(link.NextLine(kQuiet), "");
    frequency->EditNum->setFocus();
    frequency->EditNum->clear();
    QTest::keyClicks(frequency->EditNum, "12.3");
    QTest::keyClick(frequency->EditNum, Qt::Key_Return);
    EXPECT_EQ(window->FrequencyModel()->GetValue(), 1230);
    EXPECT_FALSE(window->SpeedButtonSet->isChecked());
    EXPECT_FALSE(frequency->isEnabled());
    EXPECT_TRUE(loss->isEnabled());
    EXPECT_EQ(link.NextLine(), KComDeviceQmr::RangeText(1230));
    EXPECT_EQ(link.NextLine(kQuiet), "");
}

TEST_F(DbWindowTest, ModeButtonIsOffWhileFrequencySetIsDown)
{
    ASSERT_TRUE(QTest::qWaitFor([&] { return ModeEnabled(); }, 1000));
    PressSet();
    ReleaseSet();
    EXPECT_TRUE(QTest::qWaitFor([&] { return !ModeEnabled(); }, 1000));
    PressSet();
    ReleaseSet();
    EXPECT_TRUE(QTest::qWaitFor([&] { return ModeEnabled(); }, 1000));
}

TEST_F(DbWindowTest, DoubleClickActsOnlyWithTheDeveloperSwitch)
{
    const QPoint empty(400, 100);
    QTest::mouseDClick(window.get(), Qt::LeftButton, Qt::NoModifier, empty);
    EXPECT_FALSE(window->SpeedButtonSet->isChecked());
    EXPECT_FALSE(frequency->isEnabled());
    // "/A" shows the developer buttons; then the double-click toggles the editing.
    window->Form().ButtonBusyChk->setVisible(true);
    QTest::mouseDClick(window.get(), Qt::LeftButton, Qt::NoModifier, empty);
    EXPECT_TRUE(window->SpeedButtonSet->isChecked());
    EXPECT_TRUE(frequency->isEnabled());
    QTest::mouseDClick(window.get(), Qt::LeftButton, Qt::NoModifier, empty);
    EXPECT_FALSE(window->SpeedButtonSet->isChecked());
    EXPECT_FALSE(frequency->isEnabled());
}

TEST_F(DbWindowTest, ModeButtonWithTheLinkClosedSwitchesToThePercentWindow)
{
    ASSERT_TRUE(QTest::qWaitFor([&] { return ModeEnabled(); }, 1000));
    QTest::mouseClick(window->Form().ButtonMode, Qt::LeftButton);
    ASSERT_EQ(owner.changes.size(), 1u);
    EXPECT_EQ(owner.changes[0], std::make_pair(1, 0));
    EXPECT_TRUE(window->IsSwitching());
}

TEST_F(DbWindowTest, ModeButtonWithTheLinkOpenAsksForPercentMode)
{
    ASSERT_TRUE(link.Connect());
    ASSERT_TRUE(QTest::qWaitFor([&] { return ModeEnabled(); }, 1000));
    QTest::mouseClick(window->Form().ButtonMode, Qt::LeftButton);
    EXPECT_EQ(link.NextLine(), ":ISI:MODE P;*OPC?");
    EXPECT_FALSE(loss->isEnabled());
    EXPECT_TRUE(owner.changes.empty());
}

// A new frequency's loss is a report of the instrument, not a gesture: the module shows it
// limited to the new range and sends it again. Loss keys made while the range reply was awaited
// stay shown and go out after that resend, limited to the new range, unless the instrument
// holds that value then. A refused resend leaves the slider comparing with the loss kept.
struct NewFrequencyCase {
    const char* name;
    bool resent;           // the gate lets the module's own resend of the loss go
    int16_t rangeMax;      // of the new range, from 0
    std::vector<int> wire; // the losses that go out after the range reply
};

void PrintTo(const NewFrequencyCase& c, std::ostream* os)
{
    *os << c.name;
}

class NewFrequencyLoss : public DbWindowTest, public ::testing::WithParamInterface<NewFrequencyCase> {
protected:
    bool Idle(int ms = 3000)
    {
        return QTest::qWaitFor([&] { return module->GetFunctionState() == fnIDLE; }, ms);
    }
};

TEST_P(NewFrequencyLoss, KeysDuringTheRangeReplyGoOutAfterTheResentLoss)
{
    const NewFrequencyCase& c = GetParam();
    ASSERT_TRUE(link.Connect());
    window->SetRange(700, 0);
    ASSERT_TRUE(module->SetFrequency(501));
    ASSERT_EQ(link.NextLine(), KComDeviceQmr::RangeText(501));
    link.OpenGate();
    ASSERT_TRUE(link.Reply("0,700;" + slidertest::kNoError));
    ASSERT_EQ(link.NextLine(), KComDeviceQmr::ILText(0, 501));
    ASSERT_TRUE(Idle());
    link.OpenGate();
    loss->EditNum->setText(QStringLiteral("20.0"));
    QTest::keyClick(loss->EditNum, Qt::Key_Return);
    ASSERT_EQ(link.NextLine(), KComDeviceQmr::ILText(200, 501));
    window->ShowFrequency(501);
    link.OpenGate();

    // Frequency SET twice: the end of the editing sends the frequency again.
    PressSet();
    ReleaseSet();
    PressSet();
    ReleaseSet();
    ASSERT_EQ(link.NextLine(), KComDeviceQmr::RangeText(501));
    for (int i = 0; i < 3; ++i) {
        QTest::keyClick(loss->TrackBar, Qt::Key_Right);
    }
    ASSERT_EQ(loss->GetPending(), 203);
    if (c.resent) {
        link.OpenGate();
    }
    ASSERT_TRUE(link.Reply("0," + std::to_string(c.rangeMax) + ";" + slidertest::kNoError));
    ASSERT_TRUE(Idle());
    EXPECT_EQ(loss->GetLastApplied(), 200) << "the loss that the instrument holds";
    if (c.rangeMax >= 203) {
        EXPECT_EQ(loss->EditNum->text(), QStringLiteral("20.3")) << "the waiting value stays shown";
    }
    const std::vector<std::string> wire = link.Wire(kQuiet);
    std::vector<std::string> expected;
    for (int v : c.wire) {
        expected.push_back(KComDeviceQmr::ILText(static_cast<int16_t>(v), 501));
    }
    EXPECT_EQ(wire, expected);
    const int16_t ends = static_cast<int16_t>(c.wire.empty() ? 200 : c.wire.back());
    EXPECT_EQ(loss->GetPending(), -1);
    EXPECT_EQ(loss->GetLastApplied(), ends);
    EXPECT_EQ(loss->EditNum->text(), window->LossModel()->ValueToText(ends));
    EXPECT_EQ(loss->TrackBar->value(), ends);
}

INSTANTIATE_TEST_SUITE_P(Sends, NewFrequencyLoss,
                         ::testing::Values(NewFrequencyCase{"resent", true, 700, {200, 203}},
                                           NewFrequencyCase{"refused", false, 700, {203}},
                                           NewFrequencyCase{"resentThenLimited", true, 202, {200, 202}},
                                           NewFrequencyCase{"limitedToTheResentLoss", true, 200, {200}}),
                         [](const auto& info) { return std::string(info.param.name); });

// The button held on the loss thumb while a new frequency narrows the range: the module's
// resend of the loss, limited to the new range, is what the instrument holds, and the release
// sends the drag's value limited to that range, which the instrument has already: nothing more.
struct HeldThumbCase {
    const char* name;
    bool keys; // three Right keys with the button held, else a move of the mouse
};

void PrintTo(const HeldThumbCase& c, std::ostream* os)
{
    *os << c.name;
}

class HeldThumbAcrossNewRange : public DbWindowTest, public ::testing::WithParamInterface<HeldThumbCase> {};

TEST_P(HeldThumbAcrossNewRange, ReleaseSendsNothingBeyondTheNewRange)
{
    ASSERT_TRUE(link.Connect());
    window->SetRange(600, 0);
    window->ShowFrequency(1000);
    ASSERT_TRUE(module->SetFrequency(1000));
    ASSERT_EQ(link.NextLine(), KComDeviceQmr::RangeText(1000));
    link.OpenGate();
    ASSERT_TRUE(link.Reply("0,600;" + slidertest::kNoError));
    ASSERT_EQ(link.NextLine(), KComDeviceQmr::ILText(0, 1000));
    ASSERT_TRUE(QTest::qWaitFor([&] { return module->GetFunctionState() == fnIDLE; }, 3000));
    link.OpenGate();
    loss->EditNum->setText(QStringLiteral("50.0"));
    QTest::keyClick(loss->EditNum, Qt::Key_Return);
    ASSERT_EQ(link.NextLine(), KComDeviceQmr::ILText(500, 1000));

    link.OpenGate();
    PressSet();
    ReleaseSet();
    frequency->EditNum->setText(QStringLiteral("40"));
    QTest::keyClick(frequency->EditNum, Qt::Key_Return);
    ASSERT_EQ(link.NextLine(), KComDeviceQmr::RangeText(4000));
    QSlider* track = loss->TrackBar;
    const QPoint from = slidertest::ThumbCentre(track);
    QTest::mousePress(track, Qt::LeftButton, Qt::NoModifier, from);
    QPoint at = from;
    if (GetParam().keys) {
        for (int i = 0; i < 3; ++i) {
            QTest::keyClick(track, Qt::Key_Right);
        }
    } else {
        at += QPoint(8, 0);
        QMouseEvent move(QEvent::MouseMove, at, track->mapToGlobal(at), Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(track, &move);
    }
    ASSERT_GT(loss->GetPending(), 500) << "the drag's value waits for the range reply";
    link.OpenGate();
    ASSERT_TRUE(link.Reply("0,300;" + slidertest::kNoError));
    EXPECT_EQ(link.NextLine(), KComDeviceQmr::ILText(300, 4000));
    ASSERT_TRUE(QTest::qWaitFor([&] { return module->GetFunctionState() == fnIDLE; }, 3000));
    // Held past the busy window: the release finds the module free.
    link.OpenGate();
    QTest::mouseRelease(track, Qt::LeftButton, Qt::NoModifier, at);
    EXPECT_EQ(link.Wire(kQuiet), std::vector<std::string>{});
    EXPECT_EQ(loss->GetLastApplied(), 300);
    EXPECT_EQ(loss->EditNum->text().toStdString(), "30.0");
    EXPECT_EQ(track->value(), 300);
}

INSTANTIATE_TEST_SUITE_P(Gestures, HeldThumbAcrossNewRange,
                         ::testing::Values(HeldThumbCase{"move", false}, HeldThumbCase{"keys", true}),
                         [](const auto& info) { return std::string(info.param.name); });

// The connect reads the loss: a value entered while that read was awaited stays shown over the
// report and goes out once the connect is over.
TEST_F(DbWindowTest, EnterDuringTheConnectsLossReadGoesOutAfterTheConnect)
{
    ASSERT_TRUE(link.Connect());
    ASSERT_TRUE(module->ToRemote());
    auto conversation = slidertest::ConnectConversation(kKindIL, "126,1000");
    conversation.push_back({KComDeviceQmr::RangeText(1000), "0,700;" + slidertest::kNoError});
    const std::string unexpected = link.Converse(conversation, [&](const std::string& command) {
        if (command == ":ISI:IL?") {
            loss->EditNum->setText(QStringLiteral("12.9"));
            QTest::keyClick(loss->EditNum, Qt::Key_Return);
        }
    });
    EXPECT_EQ(unexpected, "");
    ASSERT_TRUE(QTest::qWaitFor([&] { return module->GetFunctionState() == fnIDLE; }, 5000));
    EXPECT_EQ(loss->GetLastApplied(), 126);
    EXPECT_EQ(loss->EditNum->text(), QStringLiteral("12.9"));
    link.OpenGate();
    EXPECT_EQ(link.NextLine(), KComDeviceQmr::ILText(129, 1000));
    link.OpenGate();
    EXPECT_EQ(link.NextLine(kQuiet), "");
    EXPECT_EQ(loss->GetLastApplied(), 129);
}

TEST_F(DbWindowTest, LossReadIsShownWithoutSending)
{
    ASSERT_TRUE(link.Connect());
    window->SetRange(700, 0);
    module->ShowIL(755);
    EXPECT_EQ(loss->EditNum->text(), QStringLiteral("75.5"));
    EXPECT_EQ(window->LossModel()->GetValue(), 700);
    EXPECT_EQ(loss->TrackBar->value(), 700);
    EXPECT_EQ(link.NextLine(kQuiet), "");
}

} // namespace
