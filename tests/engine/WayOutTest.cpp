// The ways out of a connected window while one of its queries waits for a late reply, and the
// mode button that its waits refuse.
#include "EngineRig.h"

#include "app/instrument/Kmdlqmr.h"
#include "app/windows/Formapqmrcf.h"
#include "app/windows/Formapqmrmn.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <algorithm>
#include <ostream>

namespace enginetest {
namespace {

constexpr auto kHeld = 800ms;

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

struct WayOut {
    const char* name;
    int from;                  // 1 percent, 2 settings, 3 manual
    const char* held;          // the query answered late
    void (*ask)(TFormAppQmr*); // sends it; null: the status poll does
    const char* button;        // pressed while its reply is held
    int to;                    // the window that follows
};

void PrintTo(const WayOut& c, std::ostream* os)
{
    *os << c.name;
}

class WayOutWhileAReplyIsHeld : public WayOutTest, public ::testing::WithParamInterface<WayOut> {};

// The next window's first command waits for the held reply, which answers nothing there: the
// next window connects over the same link and shows the instrument's identity.
TEST_P(WayOutWhileAReplyIsHeld, TheNextWindowWaitsForItAndConnects)
{
    const WayOut& c = GetParam();
    ConnectFrom(c.from);
    sim.AddFault(qmrsim::Fault::Of(qmrsim::Fault::Kind::Delay).On(c.held).Time(kHeld));
    sim.ClearRecords();
    if (c.ask != nullptr) {
        c.ask(Current());
    }
    ASSERT_TRUE(WaitForLine(c.held));
    Press(c.button);
    ASSERT_TRUE(QTest::qWaitFor([&] { return Number() == c.to; }, 5000));
    ASSERT_TRUE(Settled());
    const std::vector<qmrsim::Received> records = sim.Records();
    const auto held = std::find_if(records.begin(), records.end(), [&](const auto& r) { return r.line == c.held; });
    ASSERT_TRUE(held != records.end() && held + 1 != records.end());
    EXPECT_GE((held + 1)->at - held->at, kHeld - 50ms) << (held + 1)->line;
    EXPECT_TRUE(Current()->Module()->IsRemote());
    EXPECT_TRUE(op.Seen().empty());
    EXPECT_EQ(sim.TcpAccepted(), 1);
}

INSTANTIATE_TEST_SUITE_P(
    Ways, WayOutWhileAReplyIsHeld,
    ::testing::Values(WayOut{"configureDuringPoll", 1, "*STB?", nullptr, "ButtonConfig", 2},
                      WayOut{"manualDuringPoll", 1, "*STB?", nullptr, "ButtonManual", 3},
                      WayOut{"modeDuringPoll", 1, "*STB?", nullptr, "ButtonMode", 0},
                      WayOut{"controlDuringPoll", 2, "*STB?", nullptr, "ButtonConfig", 1},
                      WayOut{"manualDuringRead", 2, ":DISP:BRIG?",
                             [](TFormAppQmr* w) { dynamic_cast<TFormAppQmrConfig*>(w)->ActionReadExecute(); },
                             "ButtonManual", 3},
                      WayOut{"controlDuringFreeText", 3, "*IDN?",
                             [](TFormAppQmr* w) {
                                 w->findChild<QLineEdit*>(QStringLiteral("EditCmd"))->setText(QStringLiteral("*IDN?"));
                                 w->findChild<QPushButton*>(QStringLiteral("ButtonSend"))->click();
                             },
                             "ButtonManual", 1}),
    [](const auto& info) { return std::string(info.param.name); });

// The poll's reply comes after the mode button's ten waits: no mode change happens, and the
// slider is as it was before the press, held off only while the button waited. (A press once
// the poll has ended changes the mode: "modeDuringPoll" above.)
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

// The instrument answers the mode change with a refusal: it stays in its mode, and so does the
// window, with its slider as before the press.
TEST_F(WayOutTest, AModeChangeTheInstrumentRefusesLeavesTheSliderAsItWas)
{
    ConnectFrom(1);
    TestWindow* window = dynamic_cast<TestWindow*>(Current());
    sim.instrument().SetOpcAnswer("0");
    Press("ButtonMode");
    ASSERT_TRUE(WaitForLine(":ISI:MODE I;*OPC?"));
    EXPECT_TRUE(QTest::qWaitFor([&] { return window->slider.isEnabled(); }, 5000));
    EXPECT_EQ(window->Module()->GetFunctionState(), fnIDLE);
    EXPECT_EQ(Number(), 1);
}

} // namespace
} // namespace enginetest
