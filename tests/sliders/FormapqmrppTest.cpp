// The percent window with its level slider: its looks in local and remote, the level shown
// without sending, the mode button, and values dropped when the instrument goes local.
#include "app/windows/Formapqmrpp.h"
#include "app/windows/Framemod.h"
#include "app/windows/Frmsldpp.h"

#include "SliderRig.h"
#include "WindowRig.h"
#include "ui_Formapqmr.h"

#include <QLabel>
#include <QLineEdit>
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

class PercentWindowTest : public ::testing::Test {
protected:
    PercentWindowTest() : link(kKindPP) {}

    void SetUp() override
    {
        module = link.TakeModule();
        window = std::make_unique<TFormAppQmrPp>(&owner, module);
        // As the window switch does: the module gets its window once the window is made.
        module->SetForm(window.get());
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
        frame = window->FrameSliderPp;
    }

    void TearDown() override
    {
        window.reset();
        link.Close();
    }

    bool ModeEnabled() const { return window->Form().ButtonMode->isEnabled(); }

    Link link;
    slidertest::SwitchRecorder owner;
    KModuleQmr* module = nullptr;
    std::unique_ptr<TFormAppQmrPp> window;
    TFrameSliderPp* frame = nullptr;
};

TEST_F(PercentWindowTest, LooksWhenShown)
{
    auto* caption = window->findChild<QLabel*>(QStringLiteral("LabelCaption"));
    ASSERT_NE(caption, nullptr);
    EXPECT_EQ(caption->text(), QStringLiteral("QMR3400 - %"));
    EXPECT_EQ(frame->LabelName->text(), QStringLiteral("  Dynamic Range"));
    EXPECT_EQ(frame->LabelUnit->text(), QStringLiteral("%"));
    EXPECT_EQ(frame->LabelUnit->geometry(), QRect(689, 3, 24, 32));
    EXPECT_EQ(frame->TrackBar->pageStep(), 10);
    EXPECT_FALSE(frame->TrackBar->isHidden());
    EXPECT_FALSE(frame->TrackBar->isEnabled());
    EXPECT_EQ(frame->StaticTextMin->text(), QStringLiteral("0.0"));
    EXPECT_EQ(frame->StaticTextMax->text(), QStringLiteral("100.0"));
    EXPECT_TRUE(frame->SpeedButtonD4->isHidden());
    EXPECT_TRUE(frame->Shape2->isHidden());
    EXPECT_TRUE(frame->EditNum->alignment() & Qt::AlignRight);
    EXPECT_EQ(window->LabelMemori->text(), QStringLiteral("+Ctrl key : x100  /  +Shift key : x10 "));
    // Local.
    EXPECT_EQ(Colour(frame->EditNum), kGrey);
    EXPECT_EQ(FontColour(frame->EditNum), kSkyBlue);
    EXPECT_EQ(frame->Shape1->BrushColour(), kFace);
    EXPECT_EQ(frame->Shape1->PenColour(), kFace);
    EXPECT_EQ(Colour(frame->StaticTextMin), kFace);
    EXPECT_EQ(Colour(frame->StaticTextMax), kFace);
    EXPECT_TRUE(frame->ShapeRange->isHidden());
    // The window's show took the thumb's position as the last applied value.
    EXPECT_EQ(frame->GetLastApplied(), frame->TrackBar->value());
}

TEST_F(PercentWindowTest, RemoteThenLocal)
{
    window->ShowRemote(true);
    window->EnableSlider(true);
    EXPECT_EQ(frame->Shape1->BrushColour(), kBlack);
    EXPECT_EQ(frame->Shape1->PenColour(), kBlack);
    EXPECT_EQ(Colour(frame->EditNum), kBlack);
    EXPECT_EQ(FontColour(frame->EditNum), kSkyBlue);
    EXPECT_TRUE(frame->TrackBar->isEnabled());
    EXPECT_FALSE(frame->ShapeRange->isHidden());
    EXPECT_EQ(Colour(frame->StaticTextMin), kGreen);
    EXPECT_EQ(Colour(frame->StaticTextMax), kGreen);

    // Back to local through the module: greyed, the track bar stays as it was.
    module->SetRemoteState(false);
    EXPECT_EQ(Colour(frame->EditNum), kGrey);
    EXPECT_EQ(frame->Shape1->BrushColour(), kFace);
    EXPECT_TRUE(frame->ShapeRange->isHidden());
    EXPECT_TRUE(frame->TrackBar->isEnabled());
    window->EnableSlider(false);
    EXPECT_FALSE(frame->TrackBar->isEnabled());
    EXPECT_EQ(Colour(frame->StaticTextMin), kFace);
}

TEST_F(PercentWindowTest, LevelReadIsShownWithoutSending)
{
    ASSERT_TRUE(link.Connect());
    module->ShowLevel(505);
    EXPECT_EQ(frame->EditNum->text(), QStringLiteral("50.5"));
    EXPECT_EQ(frame->TrackBar->value(), 505);
    EXPECT_EQ(window->LevelModel()->GetValue(), 505);
    EXPECT_EQ(link.NextLine(kQuiet), "");
}

// The connect reads the level: a level entered while that read was awaited stays shown over the
// report and goes out once the connect is over, unless the instrument reports that very level.
struct EnterDuringReadCase {
    const char* typed;
    std::vector<std::string> wire; // after the connect
};

void PrintTo(const EnterDuringReadCase& c, std::ostream* os)
{
    *os << c.typed;
}

class EnterDuringTheLevelRead : public PercentWindowTest, public ::testing::WithParamInterface<EnterDuringReadCase> {};

TEST_P(EnterDuringTheLevelRead, GoesOutAfterTheConnectUnlessTheInstrumentHasIt)
{
    const EnterDuringReadCase& c = GetParam();
    ASSERT_TRUE(link.Connect());
    ASSERT_TRUE(module->ToRemote());
    const QString typed = QString::fromLatin1(c.typed);
    const std::string unexpected =
        link.Converse(slidertest::ConnectConversation(kKindPP, "30.0"), [&](const std::string& command) {
            if (command == ":ISI:LEVE?") {
                frame->EditNum->setText(typed);
                QTest::keyClick(frame->EditNum, Qt::Key_Return);
            }
        });
    EXPECT_EQ(unexpected, "");
    ASSERT_TRUE(QTest::qWaitFor([&] { return module->IsRemote() && module->GetFunctionState() == fnIDLE; }, 3000));
    EXPECT_EQ(frame->GetLastApplied(), 300);
    EXPECT_EQ(frame->EditNum->text(), typed);
    const std::vector<std::string> wire = link.Wire(kQuiet);
    EXPECT_EQ(wire, c.wire);
    EXPECT_EQ(frame->GetPending(), -1);
    EXPECT_EQ(frame->EditNum->text(), typed);
    EXPECT_EQ(frame->TrackBar->value(), window->LevelModel()->TextToValue(typed));
}

INSTANTIATE_TEST_SUITE_P(Typed, EnterDuringTheLevelRead,
                         ::testing::Values(EnterDuringReadCase{"55.5", {KComDeviceQmr::LevelText(555)}},
                                           EnterDuringReadCase{"30.0", {}}),
                         [](const auto& info) { return std::string(info.index == 0 ? "other" : "reported"); });

TEST_F(PercentWindowTest, ModeButtonFollowsTheModuleBusyState)
{
    EXPECT_TRUE(QTest::qWaitFor([&] { return ModeEnabled(); }, 1000));
    module->SetBusy(true);
    EXPECT_TRUE(QTest::qWaitFor([&] { return !ModeEnabled(); }, 1000));
    module->SetBusy(false);
    EXPECT_TRUE(QTest::qWaitFor([&] { return ModeEnabled(); }, 1000));
}

TEST_F(PercentWindowTest, ModeButtonWithTheLinkClosedSwitchesToTheDbWindow)
{
    ASSERT_TRUE(QTest::qWaitFor([&] { return ModeEnabled(); }, 1000));
    QTest::mouseClick(window->Form().ButtonMode, Qt::LeftButton);
    ASSERT_EQ(owner.changes.size(), 1u);
    EXPECT_EQ(owner.changes[0], std::make_pair(0, 0));
    EXPECT_TRUE(window->IsSwitching());
    EXPECT_FALSE(window->TimerBusy()->isActive());
}

TEST_F(PercentWindowTest, ModeButtonWithTheLinkOpenAsksForDbMode)
{
    ASSERT_TRUE(link.Connect());
    ASSERT_TRUE(QTest::qWaitFor([&] { return ModeEnabled(); }, 1000));
    QTest::mouseClick(window->Form().ButtonMode, Qt::LeftButton);
    EXPECT_EQ(link.NextLine(), ":ISI:MODE I;*OPC?");
    EXPECT_FALSE(frame->isEnabled());
    EXPECT_TRUE(owner.changes.empty());
}

TEST_F(PercentWindowTest, WaitingLevelIsDroppedWhenTheInstrumentGoesLocal)
{
    ASSERT_TRUE(link.Connect());
    window->EnableSlider(true);
    frame->ShowModelValue(0);
    frame->SyncTrack();
    QTest::keyClick(frame->TrackBar, Qt::Key_Right);
    EXPECT_EQ(link.NextLine(), KComDeviceQmr::LevelText(1));
    QTest::keyClick(frame->TrackBar, Qt::Key_PageUp); // the device is busy: it waits
    EXPECT_EQ(frame->GetPending(), 11);
    module->SetRemoteState(false);
    EXPECT_EQ(frame->GetPending(), -1);
    EXPECT_FALSE(frame->TimerBusy->isActive());
    link.OpenGate();
    EXPECT_EQ(link.NextLine(kQuiet), "");
}

TEST_F(PercentWindowTest, ClosingDropsTheWaitingLevelAndUnbindsTheModule)
{
    ASSERT_TRUE(link.Connect());
    window->EnableSlider(true);
    frame->ShowModelValue(0);
    frame->SyncTrack();
    QTest::keyClick(frame->TrackBar, Qt::Key_Right);
    EXPECT_EQ(link.NextLine(), KComDeviceQmr::LevelText(1));
    QTest::keyClick(frame->TrackBar, Qt::Key_PageUp);
    EXPECT_TRUE(frame->TimerBusy->isActive());
    link.Close();
    window->FormClose();
    EXPECT_FALSE(frame->TimerBusy->isActive());
    EXPECT_EQ(window->LevelModel()->GetModule(), nullptr);
    EXPECT_FALSE(window->LevelModel()->IsConnected());
}

} // namespace
