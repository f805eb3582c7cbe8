// Every gesture of the level, loss and frequency sliders, made twice in quick succession on the
// program's own windows against the simulator on 127.0.0.1: the second lands inside the 500 ms
// gate or the busy window after the first. Once all is quiet the instrument holds what the
// window shows, and the level, loss and frequency commands went out the gate apart.
#include "EngineRig.h"
#include "Thumb.h"

#include "app/core/Formstup.h"
#include "app/instrument/Comdvqmr.h"
#include "app/instrument/Kmdlqmr.h"
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

constexpr auto kWriteJitter = 10ms;

enum class Slider { Level, Loss, Frequency };
enum class Gesture { Drag, Groove, Arrows, Pages, Wheel, Buttons, EditArrows, Enter, MinMax };

const Gesture kGestures[] = {Gesture::Drag,    Gesture::Groove,     Gesture::Arrows, Gesture::Pages, Gesture::Wheel,
                             Gesture::Buttons, Gesture::EditArrows, Gesture::Enter,  Gesture::MinMax};

const char* Name(Gesture g)
{
    static const char* const names[] = {"drag",         "groove click", "arrow keys", "page keys",   "wheel",
                                        "step buttons", "edit arrows",  "Enter",      "MAX then MIN"};
    return names[static_cast<int>(g)];
}

void PrintTo(Slider s, std::ostream* os)
{
    *os << (s == Slider::Level ? "level" : s == Slider::Loss ? "loss" : "frequency");
}

void Move(QWidget* target, QPoint at)
{
    QMouseEvent move(QEvent::MouseMove, at, target->mapToGlobal(at), Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &move);
}

void Wheel(QWidget* target)
{
    const QPointF at(5, 5);
    QWheelEvent event(at, target->mapToGlobal(at), QPoint(), QPoint(0, 120), Qt::NoButton, Qt::NoModifier,
                      Qt::NoScrollPhase, false);
    QApplication::sendEvent(target, &event);
}

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

    // One gesture, made once.
    void Make(Gesture gesture, int round)
    {
        QSlider* track = frame_->TrackBar;
        switch (gesture) {
        case Gesture::Drag: {
            const QPoint from = ThumbCentre(track);
            QTest::mousePress(track, Qt::LeftButton, Qt::NoModifier, from);
            Move(track, from + QPoint(15, 0));
            Move(track, from + QPoint(30, 0));
            QTest::mouseRelease(track, Qt::LeftButton, Qt::NoModifier, from + QPoint(30, 0));
            break;
        }
        case Gesture::Groove:
            QTest::mouseClick(track, Qt::LeftButton, Qt::NoModifier, ThumbCentre(track) - QPoint(40, 0));
            break;
        case Gesture::Arrows:
            QTest::keyClick(track, Qt::Key_Right);
            break;
        case Gesture::Pages:
            QTest::keyClick(track, Qt::Key_PageUp);
            break;
        case Gesture::Wheel:
            Wheel(track);
            break;
        case Gesture::Buttons:
            QTest::mouseClick(frame_->SpeedButtonUp, Qt::LeftButton);
            break;
        case Gesture::EditArrows:
            frame_->EditNum->setFocus();
            QTest::keyPress(frame_->EditNum, Qt::Key_Up);
            QTest::keyRelease(frame_->EditNum, Qt::Key_Up);
            break;
        case Gesture::Enter:
            frame_->EditNum->setText(QString::number(round == 0 ? 12.3 : 23.4));
            QTest::keyClick(frame_->EditNum, Qt::Key_Return);
            break;
        case Gesture::MinMax:
            QTest::mouseClick(round == 0 ? frame_->Label2 : frame_->Label1, Qt::LeftButton);
            break;
        }
    }

    // Frequency SET toggles on the press.
    void ClickSet() { QTest::mouseClick(dynamic_cast<TFormAppQmrIL*>(Win())->SpeedButtonSet, Qt::LeftButton); }

    TFrameSlider* frame_ = nullptr;
    TFrameSlider* loss_ = nullptr;
    TFrameSlider* frequency_ = nullptr;
};

TEST_P(GestureTest, TheInstrumentEndsWithTheValueShown)
{
    const Slider slider = GetParam();
    ASSERT_NO_FATAL_FAILURE(Connect(slider));
    for (Gesture gesture : kGestures) {
        SCOPED_TRACE(Name(gesture));
        ASSERT_TRUE(QTest::qWaitFor([&] { return Quiet(); }, 5000));
        if (slider == Slider::Frequency) {
            // A loss goes out first, so that the end of the editing meets the gate.
            QTest::keyClick(loss_->TrackBar, Qt::Key_Left);
            ClickSet();
            Make(gesture, 0);
            if (gesture == Gesture::Enter) {
                ClickSet(); // Enter ended the editing: edit again
            }
            Make(gesture, 1);
            if (gesture != Gesture::Enter) {
                ClickSet();
            }
        } else {
            Make(gesture, 0);
            Make(gesture, 1);
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
    // The level, loss and frequency commands kept the gate between them: the gate lets one
    // pass 501 ms or more after the last on the program's clock; between that moment and the
    // bytes on the wire the program writes its memo and log lines, which may take a few
    // milliseconds more for one command than for the next.
    const std::vector<qmrsim::Received> records = sim.Records();
    const qmrsim::Received* last = nullptr;
    int gated = 0;
    for (const qmrsim::Received& r : records) {
        if (r.line.rfind(":ISI:LEVE ", 0) != 0 && r.line.rfind(":ISI:IL ", 0) != 0 &&
            r.line.rfind(":ISI:RANG?", 0) != 0) {
            continue;
        }
        ++gated;
        if (last != nullptr) {
            EXPECT_GE(r.at - last->at, 501ms - kWriteJitter) << last->line << " then " << r.line;
        }
        last = &r;
    }
    EXPECT_GE(gated, static_cast<int>(std::size(kGestures)));
}

INSTANTIATE_TEST_SUITE_P(Sliders, GestureTest, ::testing::Values(Slider::Level, Slider::Loss, Slider::Frequency));

} // namespace
