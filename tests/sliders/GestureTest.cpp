// Every gesture of the level, loss and frequency sliders, made twice in quick succession on the
// program's own windows against the simulator on 127.0.0.1: the second lands inside the 500 ms
// gate or the busy window after the first. Once all is quiet the instrument holds what the
// window shows, and the level, loss and frequency commands went out the gate apart.
#include "EngineRig.h"
#include "Thumb.h"

#include "app/instrument/Comdvqmr.h"
#include "app/instrument/Kmdlqmr.h"
#include "app/program/Formstup.h"
#include "app/windows/Formapqmril.h"
#include "app/windows/Formapqmrpp.h"
#include "app/windows/Framemod.h"
#include "app/windows/Frmsldfq.h"
#include "app/windows/Frmsldpp.h"

#include <QApplication>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QSlider>
#include <QTest>
#include <QToolButton>
#include <QWheelEvent>

#include <gtest/gtest.h>

#include <memory>
#include <ostream>
#include <string>
#include <vector>

namespace {

using namespace std::chrono_literals;
using slidertest::ThumbCentre;
using slidertest::Wheel;

constexpr auto kReadJitter = 10ms;

enum class Slider { Level, Loss, Frequency };
void PrintTo(Slider s, std::ostream* os)
{
    *os << (s == Slider::Level ? "level" : s == Slider::Loss ? "loss" : "frequency");
}

void Drag(QSlider* track)
{
    const QPoint from = ThumbCentre(track);
    QTest::mousePress(track, Qt::LeftButton, Qt::NoModifier, from);
    for (int dx : {15, 30}) {
        const QPoint at = from + QPoint(dx, 0);
        QMouseEvent move(QEvent::MouseMove, at, track->mapToGlobal(at), Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(track, &move);
    }
    QTest::mouseRelease(track, Qt::LeftButton, Qt::NoModifier, from + QPoint(30, 0));
}

// Each gesture, made once; `round` 0 or 1 for the first or the second time.
struct GestureCase {
    const char* name;
    void (*make)(TFrameSlider* f, int round);
};

const GestureCase kGestures[] = {
    {"drag", [](TFrameSlider* f, int) { Drag(f->TrackBar); }},
    {"groove click",
     [](TFrameSlider* f, int) {
         QTest::mouseClick(f->TrackBar, Qt::LeftButton, Qt::NoModifier, ThumbCentre(f->TrackBar) - QPoint(40, 0));
     }},
    {"arrow keys", [](TFrameSlider* f, int) { QTest::keyClick(f->TrackBar, Qt::Key_Right); }},
    {"page keys", [](TFrameSlider* f, int) { QTest::keyClick(f->TrackBar, Qt::Key_PageUp); }},
    {"wheel", [](TFrameSlider* f, int) { Wheel(f->TrackBar, 120); }},
    {"step buttons", [](TFrameSlider* f, int) { QTest::mouseClick(f->SpeedButtonUp, Qt::LeftButton); }},
    {"edit arrows",
     [](TFrameSlider* f, int) {
         QTest::keyPress(f->EditNum, Qt::Key_Up);
         QTest::keyRelease(f->EditNum, Qt::Key_Up);
     }},
    {"Enter",
     [](TFrameSlider* f, int round) {
         f->EditNum->setText(round == 0 ? QStringLiteral("12.3") : QStringLiteral("23.4"));
         QTest::keyClick(f->EditNum, Qt::Key_Return);
     }},
    {"MAX then MIN",
     [](TFrameSlider* f, int round) { QTest::mouseClick(round == 0 ? f->Label2 : f->Label1, Qt::LeftButton); }},
};

TFormAppQmr* MakeDbWindow(QWidget* owner, KModuleQmr* module)
{
    return new TFormAppQmrIL(owner, module);
}

TFormAppQmr* MakePercentWindow(QWidget* owner, KModuleQmr* module)
{
    return new TFormAppQmrPp(owner, module);
}

class GestureTest : public enginetest::EngineTest, public ::testing::WithParamInterface<Slider> {
protected:
    void SetUp() override
    {
        EngineTest::SetUp();
        // The program's own windows in place of the rig's recording ones.
        TFormStartUp::SetWindowMaker(0, MakeDbWindow);
        TFormStartUp::SetWindowMaker(1, MakePercentWindow);
        StartSim();
    }

    void TearDown() override
    {
        EngineTest::TearDown();
        EXPECT_TRUE(op.Seen().empty()) << "a message window came up";
    }

    TFormAppQmr* Win() const { return startUp->CurrentWindow(); }
    KModuleQmr* Mod() const { return Win()->Module(); }

    // The program, connected and remote in the window of the slider.
    void Connect(Slider slider)
    {
        sim.instrument().SetMode(slider == Slider::Level ? 'P' : 'I');
        sim.instrument().SetLevel(300);
        sim.instrument().SetLoss(200);
        sim.instrument().SetFrequency(500); // the loss may reach 70.0 dB
        WriteSettings();
        startUp = std::make_unique<TFormStartUp>();
        startUp->show();
        startUp->StartUp();
        if (slider == Slider::Level) {
            startUp->ChangeWindow(1, 0);
        }
        ASSERT_TRUE(QTest::qWaitForWindowExposed(Win()));
        Win()->findChild<QPushButton*>(QStringLiteral("ButtonConnect"))->click();
        ASSERT_TRUE(QTest::qWaitFor([&] { return Mod()->IsRemote() && Quiet(); }, 10000));
        if (auto* db = dynamic_cast<TFormAppQmrIL*>(Win())) {
            loss_ = db->FrameSliderIL;
            frequency_ = db->FrameSliderFrq;
            frame_ = slider == Slider::Loss ? loss_ : frequency_;
            ASSERT_TRUE(QTest::qWaitFor([&] { return loss_->TrackBar->isEnabled() && Quiet(); }, 10000));
        } else {
            frame_ = dynamic_cast<TFormAppQmrPp*>(Win())->FrameSliderPp;
        }
        sim.ClearRecords();
    }

    // Nothing waits, nothing runs, and the device's busy window after the last command is over.
    bool Quiet() const
    {
        KModuleQmr* module = Mod();
        for (TFrameSlider* f : {frame_, loss_}) {
            if (f != nullptr && (f->GetPending() >= 0 || f->TimerBusy->isActive())) {
                return false;
            }
        }
        return module->GetFunctionState() == fnIDLE && !module->GetBusy() && !module->IsDeviceBusy();
    }

    int Held(Slider slider)
    {
        const qmrsim::InstrumentState state = sim.instrument().State();
        return slider == Slider::Level ? state.level : slider == Slider::Loss ? state.loss : state.frequency;
    }

    int Shown() const { return frame_->GetModel()->TextToValue(frame_->EditNum->text()); }

    // Frequency SET toggles on the press.
    QToolButton* Set() const { return dynamic_cast<TFormAppQmrIL*>(Win())->SpeedButtonSet; }
    void ClickSet() const { QTest::mouseClick(Set(), Qt::LeftButton); }
    bool SetDown() const { return Set()->isChecked(); }

    TFrameSlider* frame_ = nullptr;
    TFrameSlider* loss_ = nullptr;
    TFrameSlider* frequency_ = nullptr;
};

TEST_P(GestureTest, TheInstrumentEndsWithTheValueShown)
{
    const Slider slider = GetParam();
    ASSERT_NO_FATAL_FAILURE(Connect(slider));
    for (const GestureCase& gesture : kGestures) {
        SCOPED_TRACE(gesture.name);
        ASSERT_TRUE(QTest::qWaitFor([&] { return Quiet(); }, 5000));
        if (slider == Slider::Frequency) {
            // A loss goes out first, so that the end of the editing meets the gate.
            QTest::keyClick(loss_->TrackBar, Qt::Key_Left);
            for (int round : {0, 1}) {
                ClickSet(); // editing on
                gesture.make(frame_, round);
                if (SetDown()) {
                    ClickSet(); // editing off: the frequency goes out (Enter has ended it)
                }
            }
        } else {
            gesture.make(frame_, 0);
            gesture.make(frame_, 1);
        }
        EXPECT_TRUE(QTest::qWaitFor([&] { return Quiet() && Held(slider) == Shown(); }, 5000))
            << "shown " << Shown() << ", instrument " << Held(slider);
        EXPECT_EQ(frame_->GetModel()->GetValue(), Shown());
        if (slider == Slider::Frequency) {
            EXPECT_EQ(Held(Slider::Loss), loss_->GetModel()->TextToValue(loss_->EditNum->text()));
        } else {
            EXPECT_EQ(frame_->TrackBar->value(), Shown());
        }
    }
    // The level, loss and frequency commands kept the gate between them: 501 ms or more from
    // the moment the last one went out. The simulator notes a line when its thread reads it,
    // which may lag a little more for one line than for the next.
    const qmrsim::Received* last = nullptr;
    int gated = 0;
    for (const qmrsim::Received& r : sim.Records()) {
        for (const char* command : {":ISI:LEVE ", ":ISI:IL ", ":ISI:RANG?"}) {
            if (r.line.rfind(command, 0) == 0) {
                EXPECT_TRUE(last == nullptr || r.at - last->at >= 501ms - kReadJitter) << last->line << ", " << r.line;
                last = &r;
                ++gated;
            }
        }
    }
    EXPECT_GE(gated, static_cast<int>(std::size(kGestures)));
}

// Ten Left keys 100 ms apart on the track bar, most of them inside the busy window of the one
// before: the window and the instrument end ten steps lower, and that value is the last one out.
class KeyRunTest : public GestureTest {};

TEST_P(KeyRunTest, TenLeftKeysAHundredMillisecondsApartEndTenStepsLower)
{
    const Slider slider = GetParam();
    ASSERT_NO_FATAL_FAILURE(Connect(slider));
    const int16_t end = static_cast<int16_t>(Shown() - 10);
    for (int i = 0; i < 10; ++i) {
        QTest::keyClick(frame_->TrackBar, Qt::Key_Left);
        QTest::qWait(100);
    }
    ASSERT_TRUE(QTest::qWaitFor([&] { return Quiet(); }, 5000));
    EXPECT_EQ(Shown(), end);
    EXPECT_EQ(frame_->TrackBar->value(), end);
    EXPECT_EQ(Held(slider), end);
    const std::string command = slider == Slider::Level ? ":ISI:LEVE " : ":ISI:IL ";
    std::string last;
    for (const qmrsim::Received& r : sim.Records()) {
        if (r.line.rfind(command, 0) == 0) {
            last = r.line;
        }
    }
    EXPECT_EQ(last, slider == Slider::Level ? KComDeviceQmr::LevelText(end) : KComDeviceQmr::ILText(end, 500));
}

// Frequency SET twice sends the frequency again, and its range reply comes 800 ms late; three
// Right keys on the loss meanwhile. The frequency change sends the loss it holds again, and the
// keys' value goes out after it: the window and the instrument end three steps higher.
TEST_F(GestureTest, LossKeysDuringAHeldRangeReplyGoOutAfterTheResentLoss)
{
    ASSERT_NO_FATAL_FAILURE(Connect(Slider::Loss));
    const int16_t start = static_cast<int16_t>(Shown());
    sim.AddFault(qmrsim::Fault::Of(qmrsim::Fault::Kind::Delay).On(":ISI:RANG?*").Time(800ms));
    ClickSet();
    ClickSet();
    ASSERT_TRUE(QTest::qWaitFor([&] { return sim.RecordCount() > 0; }, 2000));
    for (int i = 0; i < 3; ++i) {
        QTest::keyClick(loss_->TrackBar, Qt::Key_Right);
    }
    const int16_t end = static_cast<int16_t>(start + 3);
    EXPECT_EQ(Shown(), end);
    ASSERT_TRUE(QTest::qWaitFor([&] { return Quiet() && Held(Slider::Loss) == end; }, 8000))
        << "shown " << Shown() << ", instrument " << Held(Slider::Loss);
    EXPECT_EQ(Shown(), end);
    EXPECT_EQ(loss_->TrackBar->value(), end);
    std::vector<std::string> sent;
    for (const qmrsim::Received& r : sim.Records()) {
        if (r.line.rfind(":ISI:IL ", 0) == 0 || r.line.rfind(":ISI:RANG?", 0) == 0) {
            sent.push_back(r.line);
        }
    }
    EXPECT_EQ(sent, (std::vector<std::string>{KComDeviceQmr::RangeText(500), KComDeviceQmr::ILText(start, 500),
                                              KComDeviceQmr::ILText(end, 500)}));
}

INSTANTIATE_TEST_SUITE_P(Sliders, KeyRunTest, ::testing::Values(Slider::Level, Slider::Loss));

INSTANTIATE_TEST_SUITE_P(Sliders, GestureTest, ::testing::Values(Slider::Level, Slider::Loss, Slider::Frequency));

} // namespace
