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

class WayOutTest : public EngineTest {
public:
    using EngineTest::op;
    using EngineTest::sim;
    using EngineTest::WaitForLine;

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
    void ConnectFrom(int number, int com = 0)
    {
        StartSim(com);
        sim.instrument().SetMode('P');
        WriteSettings(com);
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
// next window connects over the same link and shows the instrument's identity. The reply is
// let go once the press has been taken up (the mode button's press waits inside it).
TEST_P(WayOutWhileAReplyIsHeld, TheNextWindowWaitsForItAndConnects)
{
    const WayOut& c = GetParam();
    ConnectFrom(c.from);
    sim.AddFault(qmrsim::Fault::Of(qmrsim::Fault::Kind::Hold).On(c.held));
    sim.ClearRecords();
    if (c.ask != nullptr) {
        c.ask(Current());
    }
    ASSERT_TRUE(WaitForLine(c.held));
    qmrsim::Clock::time_point released;
    auto* button = Current()->findChild<QPushButton*>(QLatin1String(c.button));
    const QMetaObject::Connection release = QObject::connect(button, &QPushButton::pressed, [&] {
        QTimer::singleShot(0, [&] {
            released = qmrsim::Clock::now();
            sim.ReleaseHeld();
        });
    });
    Press(c.button);
    QObject::disconnect(release);
    ASSERT_TRUE(QTest::qWaitFor([&] { return Number() == c.to; }, 5000));
    ASSERT_TRUE(Settled());
    const std::vector<qmrsim::Received> records = sim.Records();
    const auto held = std::find_if(records.begin(), records.end(), [&](const auto& r) { return r.line == c.held; });
    ASSERT_TRUE(held != records.end() && held + 1 != records.end());
    EXPECT_GE((held + 1)->at, released) << (held + 1)->line;
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

void ConfigureDuringPoll(WayOutTest& t)
{
    ASSERT_TRUE(t.WaitForLine("*STB?"));
    t.Press("ButtonConfig");
    ASSERT_EQ(t.Number(), 2);
}

struct EndOfWait {
    const char* name;
    int com;         // 0: over TCP; else over the pseudo-terminal as this COM number
    bool replyComes; // the held reply comes during the Disconnect's wait (else never)
    void (*end)(WayOutTest&);
    const char* held = "*STB?";
    void (*before)(WayOutTest&) = ConfigureDuringPoll; // what is under way when the end comes
    int window = 2;
};

void PrintTo(const EndOfWait& c, std::ostream* os)
{
    *os << c.name;
}

class EndWhileTheNextWindowWaits : public WayOutTest, public ::testing::WithParamInterface<EndOfWait> {};

// Configure while the poll's reply is held: the settings window waits for it. A Disconnect or
// a lost link then ends that connect: the window stays local, nothing follows the local
// command, no new link is opened and no cable warning comes. So it is when a mode change ends
// during the Disconnect's wait, or a switch comes before the local command's answer.
TEST_P(EndWhileTheNextWindowWaits, LeavesTheWindowLocal)
{
    const EndOfWait& c = GetParam();
    ConnectFrom(1, c.com);
    sim.AddFault(qmrsim::Fault::Of(c.replyComes ? qmrsim::Fault::Kind::Hold : qmrsim::Fault::Kind::Drop).On(c.held));
    if (c.before != nullptr) {
        c.before(*this);
    }
    op.Forget();
    c.end(*this);
    // The manual window shows no lamps of its own.
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            KModuleQmr* module = Current()->Module();
            return module != nullptr && !module->IsConnected() && module->GetFunctionState() == fnIDLE &&
                   !module->GetBusy() &&
                   (Number() == 3 ||
                    Current()->findChild<QLabel*>(QStringLiteral("LabelLocal"))->palette().color(QPalette::Window) ==
                        QColor(0xFF, 0xFF, 0x00));
        },
        10000))
        << Number() << " connected " << (Current()->Module() && Current()->Module()->IsConnected());
    const std::vector<std::string> before = Lines();
    EXPECT_FALSE(QTest::qWaitFor([&] { return Lines().size() != before.size(); }, 2000)) << Lines().back();
    if (!before.empty() && std::string(c.name).find("disconnect") == 0) {
        EXPECT_EQ(before.back(), ":SYST:LOC;*OPC?");
    }
    EXPECT_FALSE(Current()->Module()->IsBusy());
    EXPECT_EQ(Number(), c.window);
    EXPECT_EQ(sim.TcpAccepted(), c.com == 0 ? 1 : 0);
    for (const Shown& shown : op.Seen()) {
        EXPECT_FALSE(shown.upper.contains(QStringLiteral("USB Cable"))) << shown.upper.toStdString();
    }
}

void Disconnect(WayOutTest& t)
{
    auto* button = t.Current()->findChild<QPushButton*>(QStringLiteral("ButtonDisConnect"));
    const QMetaObject::Connection release =
        QObject::connect(button, &QPushButton::pressed, [&] { QTimer::singleShot(0, [&] { t.sim.ReleaseHeld(); }); });
    button->click();
    QObject::disconnect(release);
}

INSTANTIATE_TEST_SUITE_P(Ends, EndWhileTheNextWindowWaits,
                         ::testing::Values(EndOfWait{"disconnectReplyComes", 0, true, Disconnect},
                                           EndOfWait{"disconnectReplyNever", 0, false, Disconnect},
                                           EndOfWait{"fin", 0, true, [](WayOutTest& t) { t.sim.TcpFin(); }},
                                           EndOfWait{"hangUp", 5, true, [](WayOutTest& t) { t.sim.HangUpPty(); }},
                                           EndOfWait{"disconnectThenManual", 0, false,
                                                     [](WayOutTest& t) {
                                                         Disconnect(t);
                                                         t.Press("ButtonManual");
                                                     },
                                                     ":SYST:LOC;*OPC?", nullptr, 3},
                                           EndOfWait{"disconnectDuringModeChange", 0, true, Disconnect,
                                                     ":ISI:MODE I;*OPC?",
                                                     [](WayOutTest& t) {
                                                         t.Press("ButtonMode");
                                                         ASSERT_TRUE(t.WaitForLine(":ISI:MODE I;*OPC?"));
                                                     },
                                                     1}),
                         [](const auto& info) { return std::string(info.param.name); });

struct RefusedMode {
    const char* name;
    int presses; // dB / % pressed once, or twice 40 ms apart
    void (*refuse)(WayOutTest&);
};

void PrintTo(const RefusedMode& c, std::ostream* os)
{
    *os << c.name;
}

class ModeChangeThatDoesNotHappen : public WayOutTest, public ::testing::WithParamInterface<RefusedMode> {};

// The instrument stays in its mode, and so does the window, with its slider as before the first
// press: held off only while the change was under way.
TEST_P(ModeChangeThatDoesNotHappen, LeavesTheSliderAsItWas)
{
    const RefusedMode& c = GetParam();
    ConnectFrom(1);
    TestWindow* window = dynamic_cast<TestWindow*>(Current());
    c.refuse(*this);
    bool heldOff = false;
    QTimer::singleShot(20, window, [&] { heldOff = !window->slider.isEnabled(); });
    if (c.presses == 2) {
        QTimer::singleShot(40, window, [window] { window->ActionDBExecute(); });
    }
    Press("ButtonMode");
    sim.ReleaseHeld();
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            return heldOff && window->Module() != nullptr && window->Module()->GetFunctionState() == fnIDLE &&
                   window->slider.isEnabled();
        },
        8000));
    EXPECT_TRUE(QTest::qWaitFor([&] { return !window->Module()->IsBusy(); }, 3000));
    EXPECT_TRUE(window->slider.isEnabled());
    EXPECT_EQ(Number(), 1);
}

INSTANTIATE_TEST_SUITE_P(
    Refusals, ModeChangeThatDoesNotHappen,
    ::testing::Values(
        // The poll's reply comes only after the mode button's ten waits: no mode command goes.
        RefusedMode{"waitsRunOut", 1,
                    [](WayOutTest& t) {
                        t.sim.AddFault(qmrsim::Fault::Of(qmrsim::Fault::Kind::Hold).On("*STB?"));
                        ASSERT_TRUE(t.WaitForLine("*STB?"));
                    }},
        RefusedMode{"refused", 1, [](WayOutTest& t) { t.sim.instrument().SetOpcAnswer("0"); }},
        RefusedMode{"refusedTwice", 2, [](WayOutTest& t) { t.sim.instrument().SetOpcAnswer("0"); }},
        // Its reply never comes; the time-out's question is answered no.
        RefusedMode{"timedOut", 1,
                    [](WayOutTest& t) {
                        t.Current()->TimerOver()->setInterval(300);
                        t.op.Queue(false);
                        t.sim.AddFault(qmrsim::Fault::Of(qmrsim::Fault::Kind::Drop).On(":ISI:MODE I;*OPC?"));
                    }}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
} // namespace enginetest
