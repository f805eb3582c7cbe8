// The ways out of a connected window: the mode button that its waits refuse.
#include "EngineRig.h"

#include "app/instrument/Kmdlqmr.h"
#include "app/windows/Formapqmrcf.h"
#include "app/windows/Formapqmrmn.h"

#include <QLabel>
#include <QPushButton>
#include <QTest>

namespace enginetest {
namespace {

class WayOutTest : public EngineTest {
protected:
    TFormAppQmr* Current() const { return startUp->CurrentWindow(); }
    int Number() const
    {
        if (auto* test = dynamic_cast<TestWindow*>(Current())) {
            return test->number;
        }
        return dynamic_cast<TFormAppQmrConfig*>(Current()) != nullptr ? 2 : 3;
    }
    // Once the button follows the window's state (its action is updated every 100 ms).
    void Press(const char* name) const
    {
        auto* button = Current()->findChild<QPushButton*>(QLatin1String(name));
        ASSERT_TRUE(QTest::qWaitFor([&] { return button->isEnabled(); }, 5000)) << name;
        button->click();
    }
    // Connected with its identity shown, nothing running and nothing awaited.
    bool Settled() const
    {
        return QTest::qWaitFor(
            [&] {
                KModuleQmr* module = Current()->Module();
                return module != nullptr && module->IsConnected() && module->GetFunctionState() == fnIDLE &&
                       !module->IsBusy() &&
                       Current()->findChild<QLabel*>(QStringLiteral("LabelSerial"))->text() == "S/N SN34000123";
            },
            15000);
    }
    // The percent window connected, then (for the settings or the manual window) switched.
    void ConnectFrom(int number)
    {
        StartSim();
        sim.instrument().SetMode('P');
        WriteSettings();
        StartProgram();
        Press("ButtonMode"); // unconnected: to the percent window
        ClickConnect();
        ASSERT_TRUE(Settled());
        if (number != 1) {
            Press(number == 2 ? "ButtonConfig" : "ButtonManual");
            ASSERT_TRUE(Settled());
        }
        ASSERT_EQ(Number(), number);
    }
};

// The poll's reply comes after the mode button's ten waits: no mode change happens, and the
// slider is as it was before the press, held off only while the button waited.
TEST_F(WayOutTest, AModeChangeItsWaitsRefuseLeavesTheSliderAsItWas)
{
    ConnectFrom(1);
    TestWindow* window = dynamic_cast<TestWindow*>(Current());
    sim.AddFault(qmrsim::Fault::Of(qmrsim::Fault::Kind::Delay).On("*STB?").Time(3000ms));
    ASSERT_TRUE(WaitForLine("*STB?"));
    bool heldOff = false;
    QTimer::singleShot(300, window, [&] { heldOff = !window->slider.isEnabled(); });
    Press("ButtonMode");
    EXPECT_TRUE(heldOff);
    EXPECT_TRUE(window->slider.isEnabled());
    EXPECT_EQ(Count(":ISI:MODE I;*OPC?"), 0);
    EXPECT_EQ(Number(), 1);
}

} // namespace
} // namespace enginetest
