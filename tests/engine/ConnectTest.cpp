// The connect sequence on the wire, the remote state, the window swap when the instrument is
// in the other mode, and the ways the sequence ends early.
#include "EngineRig.h"

#include "app/instrument/Comdvqmr.h"
#include "app/instrument/Kmdlqmr.h"

#include <QLabel>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>

#include <ostream>

namespace enginetest {
namespace {

struct ConnectCase {
    const char* name;
    char mode;  // the instrument's mode, matching the window
    int window; // 0 dB, 1 percent
};

void PrintTo(const ConnectCase& c, std::ostream* os)
{
    *os << c.name;
}

class ConnectSequence : public EngineTest, public ::testing::WithParamInterface<ConnectCase> {};

TEST_P(ConnectSequence, GoesOutByteForByteAndEndsRemote)
{
    const ConnectCase& c = GetParam();
    StartSim();
    sim.instrument().SetMode(c.mode);
    sim.instrument().SetLoss(123);
    sim.instrument().SetLevel(505);
    sim.instrument().SetFrequency(1500);
    WriteSettings();
    StartProgram();
    if (c.window == 1) {
        // The percent window, as the mode button of the dB window opens it with no link.
        startUp->ChangeWindow(1, 0);
    }
    ASSERT_EQ(Window()->number, c.window);
    EXPECT_EQ(Label("LabelMsg")->text(), QStringLiteral("Click the Connect button to control the QMR3400."));

    ClickConnect();
    ASSERT_TRUE(WaitRemote());
    if (c.window == 0) {
        ASSERT_TRUE(
            QTest::qWaitFor([&] { return !Window()->ranges.empty() && Module()->GetFunctionState() == fnIDLE; }, 5000));
    }
    std::vector<std::string> lines = Lines();
    const std::vector<std::string> expected = ConnectLines(c.window, 1500);
    ASSERT_GE(lines.size(), expected.size());
    lines.resize(expected.size());
    EXPECT_EQ(lines, expected);

    EXPECT_TRUE(LampLit("LabelRemote"));
    EXPECT_FALSE(LampLit("LabelLocal"));
    EXPECT_EQ(Label("LabelSerial")->text(), QStringLiteral("S/N SN34000123"));
    EXPECT_EQ(Label("LabelMsg")->text(), QStringLiteral("Click  the  Disconnect  button  to  stop  remote  control."));
    EXPECT_TRUE(Window()->TimerErr()->isActive());
    EXPECT_FALSE(Window()->findChild<QTabWidget*>(QStringLiteral("PageControl"))->isEnabled());
    ASSERT_FALSE(Window()->remoteShown.empty());
    EXPECT_TRUE(Window()->remoteShown.back());
    EXPECT_TRUE(op.Seen().empty());
    if (c.window == 0) {
        ASSERT_EQ(Window()->values.size(), 1u);
        EXPECT_EQ(Window()->values[0], 123);
        EXPECT_EQ(Window()->frequencies, std::vector<int16_t>{1500});
        ASSERT_EQ(Window()->ranges.size(), 1u);
        EXPECT_EQ(Window()->ranges[0], std::make_pair(int16_t{500}, int16_t{0}));
        EXPECT_EQ(Window()->editing, std::vector<bool>{false});
        // The pause after remote mode lies between the remote command and the range query.
        const auto records = sim.Records();
        const auto gap = records[7].at - records[6].at;
        EXPECT_GE(gap, 480ms);
    } else {
        ASSERT_EQ(Window()->values.size(), 1u);
        EXPECT_EQ(Window()->values[0], 505);
        EXPECT_TRUE(Window()->sliderEnabled);
    }
}

INSTANTIATE_TEST_SUITE_P(Windows, ConnectSequence,
                         ::testing::Values(ConnectCase{"dB", 'I', 0}, ConnectCase{"percent", 'P', 1}),
                         [](const auto& info) { return std::string(info.param.name); });

struct SwapCase {
    const char* name;
    char mode;
    int from;
    int to;
};

void PrintTo(const SwapCase& c, std::ostream* os)
{
    *os << c.name;
}

class WindowSwap : public EngineTest, public ::testing::WithParamInterface<SwapCase> {};

TEST_P(WindowSwap, OtherModeSwapsTheWindowWhichConnectsOverTheOpenLink)
{
    const SwapCase& c = GetParam();
    StartSim();
    sim.instrument().SetMode(c.mode);
    WriteSettings();
    StartProgram();
    if (c.from == 1) {
        startUp->ChangeWindow(1, 0);
    }
    TestWindow* first = Window();
    ClickConnect();
    ASSERT_TRUE(QTest::qWaitFor([&] { return Window() != first; }, 5000));
    EXPECT_EQ(Window()->number, c.to);
    EXPECT_FALSE(first->isVisible());
    EXPECT_EQ(first->Module(), nullptr);
    ASSERT_TRUE(WaitRemote());
    ASSERT_TRUE(WaitIdle());
    // One connection: the second sequence ran over the link the first opened.
    EXPECT_EQ(sim.TcpAccepted(), 1);
    std::vector<std::string> lines = Lines();
    std::vector<std::string> expected = {":ISI:MODE?"};
    for (const std::string& line : ConnectLines(c.to, 1000)) {
        expected.push_back(line);
    }
    ASSERT_GE(lines.size(), expected.size());
    lines.resize(expected.size());
    EXPECT_EQ(lines, expected);
    EXPECT_EQ(LastControlWindow, c.to);
}

INSTANTIATE_TEST_SUITE_P(Modes, WindowSwap,
                         ::testing::Values(SwapCase{"percentToDb", 'I', 1, 0}, SwapCase{"dbToPercent", 'P', 0, 1}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(EngineTest, ErrorsInTheQueueAtConnectWarnAndCloseTheLink)
{
    StartSim();
    sim.instrument().PushError(-113);
    sim.instrument().PushError(-222);
    WriteSettings();
    StartProgram();
    ClickConnect();
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return op.SawUpper(QStringLiteral("Warning: Several errors were found. ")); }, 10000));
    ASSERT_TRUE(WaitLocal());
    EXPECT_EQ(Label("LabelMsg")->text(), QStringLiteral("An error occurred when starting remote mode."));
    EXPECT_EQ(Count(":SYST:ERR?"), 3);
    EXPECT_EQ(Count(":SYST:REM;ERR?"), 1);
    // The link was closed before the forced local: nothing more went out.
    EXPECT_EQ(Count(":SYST:LOC"), 0);
    EXPECT_TRUE(QTest::qWaitFor([&] { return !sim.TcpClientConnected(); }, 3000));
}

TEST_F(EngineTest, FatalCodeAtRemoteLightsTheErrorLampAndExits)
{
    StartSim();
    sim.ErrorOn(":SYST:REM;ERR?", -315, 1);
    WriteSettings();
    StartProgram();
    ClickConnect();
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return op.SawUpper(QStringLiteral("A fatal error was found!  Please restart QMR3400.")); }, 10000));
    ASSERT_TRUE(WaitLocal());
    EXPECT_TRUE(LampLit("LabelError"));
    EXPECT_FALSE(Window()->findChild<QPushButton*>(QStringLiteral("ButtonConnect"))->isEnabled());
    EXPECT_EQ(Label("LabelMsg")->text(), QStringLiteral("An error occurred when starting remote mode."));
    EXPECT_EQ(Count(":ISI:RANG? 1000;:SYST:ERR?"), 0);
}

struct RefusalCase {
    const char* name;
    void (*arrange)(qmrsim::Simulator&);
    const char* lastLine;
};

void PrintTo(const RefusalCase& c, std::ostream* os)
{
    *os << c.name;
}

class Refusal : public EngineTest, public ::testing::WithParamInterface<RefusalCase> {};

TEST_P(Refusal, EndsTheSequenceWithNothingLeftBusy)
{
    StartSim();
    GetParam().arrange(sim);
    WriteSettings();
    StartProgram();
    ClickConnect();
    ASSERT_TRUE(WaitLocal());
    EXPECT_FALSE(Module()->IsBusy());
    EXPECT_EQ(Label("LabelMsg")->text(), QStringLiteral("An error occurred when starting remote mode."));
    EXPECT_EQ(Lines().back(), GetParam().lastLine);
    // A new Connect is possible at once.
    sim.instrument().SetModeAnswer("");
    sim.instrument().SetOpcAnswer("1");
    op.Forget();
    ClickConnect();
    ASSERT_TRUE(WaitRemote());
}

INSTANTIATE_TEST_SUITE_P(
    Answers, Refusal,
    ::testing::Values(
        RefusalCase{"modeNeither", [](qmrsim::Simulator& s) { s.instrument().SetModeAnswer("X"); }, ":ISI:MODE?"},
        RefusalCase{"eseNotOne", [](qmrsim::Simulator& s) { s.instrument().SetOpcAnswer("0"); }, "*ESE 68;*OPC?"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(EngineTest, RefusedEseIsReportedAsExecutionError3)
{
    StartSim();
    sim.instrument().SetOpcAnswer("0");
    WriteSettings();
    StartProgram();
    ClickConnect();
    ASSERT_TRUE(WaitLocal());
    ASSERT_FALSE(op.Seen().empty());
    EXPECT_EQ(op.Seen()[0].upper, QStringLiteral("Warning: An error was found. "));
    EXPECT_EQ(op.Seen()[0].lower, QStringLiteral("-200, \"Execution error 3\"  "));
}

TEST_F(EngineTest, DrainThatNeverSaysNoErrorEndsAfter32Replies)
{
    StartSim();
    // Other letter case never ends the drain.
    sim.instrument().SetNoErrorText("0,\"No error\"");
    WriteSettings();
    StartProgram();
    ClickConnect();
    ASSERT_TRUE(WaitLocal(20s));
    EXPECT_EQ(Count(":SYST:ERR?"), kMaxDrainReplies);
    EXPECT_EQ(Count(":SYST:KLOC?"), 0);
    ASSERT_FALSE(op.Seen().empty());
    EXPECT_TRUE(op.Seen()[0].lower.contains(QStringLiteral("-200, \"Execution error\"")));
    EXPECT_EQ(Label("LabelMsg")->text(), QStringLiteral("An error occurred when starting remote mode."));
}

} // namespace
} // namespace enginetest
