// While connected: the status-byte watch, Panel Lock, Disconnect, the reply time-out, and the
// link lost under the window (TCP dropped, pseudo-terminal hung up, USB port gone).
#include "EngineRig.h"

#include "app/instrument/Comdvqmr.h"
#include "app/instrument/Kmdlqmr.h"
#include "app/instrument/Kmsgscpi.h"

#include <QLabel>
#include <QPushButton>
#include <QTest>

#include <QTimer>
#include <ostream>

#include <filesystem>

namespace enginetest {
namespace {

class Connected : public EngineTest {
protected:
    // The percent window connected over TCP (or over the pseudo-terminal as COM `com`).
    void Connect(int com = 0)
    {
        StartSim(com);
        sim.instrument().SetMode('P');
        WriteSettings(com);
        StartProgram();
        // The dB window, unconnected, switches to the percent window and closes.
        Window()->findChild<QPushButton*>(QStringLiteral("ButtonMode"))->click();
        ASSERT_EQ(Window()->number, 1);
        ClickConnect();
        ASSERT_TRUE(WaitRemote());
        sim.ClearRecords();
    }
};

TEST_F(Connected, QuietInstrumentIsPolledEveryTwoSeconds)
{
    Connect();
    ASSERT_TRUE(QTest::qWaitFor([&] { return Count("*STB?") >= 2; }, 8000));
    const auto records = sim.Records();
    std::vector<qmrsim::Clock::time_point> polls;
    for (const auto& r : records) {
        if (r.line == "*STB?") {
            polls.push_back(r.at);
        }
    }
    const auto gap = polls[1] - polls[0];
    EXPECT_GE(gap, 1800ms);
    EXPECT_LE(gap, 3200ms);
    EXPECT_EQ(Count(":SYST:ERR?"), 0);
    EXPECT_EQ(Count("*ESR?"), 0);
    EXPECT_TRUE(Module()->IsRemote());
}

struct PollCase {
    const char* name;
    int code;
    std::vector<std::string> lines;
};

void PrintTo(const PollCase& c, std::ostream* os)
{
    *os << c.name;
}

class StatusPoll : public Connected, public ::testing::WithParamInterface<PollCase> {};

TEST_P(StatusPoll, ErrorQueueIsReadFirstAndTheEventStatusOnlyOnRequestForService)
{
    const PollCase& c = GetParam();
    Connect();
    sim.instrument().PushError(c.code);
    ASSERT_TRUE(QTest::qWaitFor([&] { return op.SawUpper(QStringLiteral("Warning: An error was found. ")); }, 8000));
    ASSERT_TRUE(QTest::qWaitFor([&] { return Count("*STB?") >= 2; }, 5000));
    std::vector<std::string> lines = Lines();
    ASSERT_GE(lines.size(), c.lines.size());
    lines.resize(c.lines.size());
    EXPECT_EQ(lines, c.lines);
    EXPECT_TRUE(op.Seen()[0].lower.startsWith(QString::number(c.code) + QLatin1Char(',')));
    // No user request: the instrument stays remote and the watch goes on.
    EXPECT_TRUE(Module()->IsRemote());
    EXPECT_EQ(Count(":SYST:LOC;*OPC?"), 0);
}

INSTANTIATE_TEST_SUITE_P(Bytes, StatusPoll,
                         ::testing::Values(
                             // A command error is not enabled: status byte 0x04 only.
                             PollCase{"queueOnly", -113, {"*STB?", ":SYST:ERR?", ":SYST:ERR?", "*STB?"}},
                             // A query error is enabled: 0x04, 0x20 and the request for service 0x40.
                             PollCase{"queueAndRequest", -410, {"*STB?", ":SYST:ERR?", ":SYST:ERR?", "*ESR?"}}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(Connected, UserRequestTakesTheProgramLocal)
{
    Connect();
    ASSERT_TRUE(sim.instrument().PressLocalKey());
    ASSERT_TRUE(WaitForLine("*ESR?"));
    ASSERT_TRUE(WaitLocal());
    EXPECT_EQ(Count(":SYST:LOC;*OPC?"), 1);
    EXPECT_EQ(Label("LabelSerial")->text(), QStringLiteral("S/N"));
    EXPECT_TRUE(op.Seen().empty());
}

TEST_F(Connected, PanelLockBothWays)
{
    Connect();
    QPushButton* lock = Window()->findChild<QPushButton*>(QStringLiteral("ButtonPanelLock"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return lock->isEnabled(); }, 2000));
    ASSERT_TRUE(WaitIdle());
    lock->click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return Module()->IsPanelLocked() && !Module()->IsBusy(); }, 5000));
    EXPECT_TRUE(sim.instrument().State().keyLock);
    EXPECT_TRUE(Label("LabelUnlock")->isHidden());
    ASSERT_TRUE(WaitIdle());
    ASSERT_TRUE(QTest::qWaitFor([&] { return lock->isEnabled(); }, 2000));
    lock->click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !Module()->IsPanelLocked() && !Module()->IsBusy(); }, 5000));
    EXPECT_FALSE(sim.instrument().State().keyLock);
    EXPECT_EQ(Count(":SYST:KLOC ON;:SYST:KLOC?"), 1);
    EXPECT_EQ(Count(":SYST:KLOC OFF;:SYST:KLOC?"), 1);
}

TEST_F(Connected, DisconnectWithThePanelLockedAsksFirst)
{
    Connect();
    ASSERT_TRUE(WaitIdle());
    Window()->findChild<QPushButton*>(QStringLiteral("ButtonPanelLock"))->click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return Module()->IsPanelLocked() && !Module()->IsBusy(); }, 5000));
    QPushButton* disconnect = Window()->findChild<QPushButton*>(QStringLiteral("ButtonDisConnect"));

    op.Queue(false);
    disconnect->click();
    ASSERT_TRUE(op.SawUpper(QStringLiteral(" QMR3400 panel is locked.")));
    EXPECT_TRUE(Module()->IsRemote());
    EXPECT_FALSE(Window()->TimerErr()->isActive());
    EXPECT_EQ(Count(":SYST:LOC;*OPC?"), 0);

    op.Forget();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !Module()->IsBusy(); }, 3000));
    disconnect->click();
    ASSERT_TRUE(op.SawUpper(QStringLiteral(" QMR3400 panel is locked.")));
    ASSERT_TRUE(WaitLocal());
    EXPECT_EQ(Count(":SYST:LOC;*OPC?"), 1);
    EXPECT_EQ(Window()->Checker(), nullptr);
}

// The forced local of the reply time-out's NO and of the fatal exit: the window is local once
// ":SYST:LOC" went out, whether the instrument answers it or stays silent. Nothing is asked or
// sent again over many shortened reply time-outs, and Connect works again (a fatal error's
// lamp holds Connect off).
struct ForcedLocalCase {
    const char* name;
    const char* localAnswer; // the instrument's answer to ":SYST:LOC"; null: none
    int dropped;             // replies the instrument leaves out from the next on (-1: all)
    int fatal;               // an error that the next poll finds; 0: none
    int com = 0;             // 0: over TCP; else over the pseudo-terminal as this COM number
    bool late = false;       // the unanswered reply comes after all, once the window is local
};

void PrintTo(const ForcedLocalCase& c, std::ostream* os)
{
    *os << c.name;
}

class ForcedLocal : public Connected, public ::testing::WithParamInterface<ForcedLocalCase> {};

// Local as at the end of a Disconnect: the link closed (a late reply finds none), the identity
// gone, Com SET usable, Panel Lock and Configure greyed; nothing follows, and a new Connect is
// answered by its own replies.
TEST_P(ForcedLocal, LeavesTheWindowLocalAtOnceAndNothingFollows)
{
    const ForcedLocalCase& c = GetParam();
    Connect(c.com);
    Window()->TimerOver()->setInterval(300);
    if (c.localAnswer != nullptr) {
        sim.instrument().SetLocalAnswer(c.localAnswer);
    }
    if (c.fatal != 0) {
        sim.instrument().PushError(c.fatal);
    } else {
        op.Queue(false);
        sim.AddFault(
            qmrsim::Fault::Of(c.late ? qmrsim::Fault::Kind::Hold : qmrsim::Fault::Kind::Drop).Times(c.dropped));
    }
    ASSERT_TRUE(WaitForLine(":SYST:LOC"));
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return !Module()->IsRemote() && LampLit("LabelLocal") && !Module()->IsBusy(); }, 5000));
    EXPECT_EQ(op.Seen().size(), 1u);
    EXPECT_EQ(Device()->GetCommandState(), csIDLE);
    EXPECT_FALSE(Window()->TimerOver()->isActive());
    EXPECT_FALSE(Window()->TimerErr()->isActive());
    EXPECT_FALSE(Module()->IsConnected());
    EXPECT_EQ(Label("LabelSerial")->text(), QStringLiteral("S/N"));
    auto enabled = [&](const char* name) {
        return Window()->findChild<QPushButton*>(QLatin1String(name))->isEnabled();
    };
    EXPECT_TRUE(QTest::qWaitFor([&] { return enabled("ButtonSetting") && !enabled("ButtonPanelLock"); }, 1000));
    EXPECT_FALSE(enabled("ButtonConfig"));
    sim.ReleaseHeld();
    const size_t sent = Lines().size();
    EXPECT_FALSE(QTest::qWaitFor([&] { return op.Seen().size() != 1 || Lines().size() != sent; }, 4000));

    EXPECT_EQ(enabled("ButtonConnect"), c.fatal == 0);
    if (c.fatal == 0) {
        sim.ClearFaults();
        sim.ClearRecords();
        ClickConnect();
        ASSERT_TRUE(WaitRemote());
        EXPECT_EQ(Lines().front(), ":ISI:MODE?");
        EXPECT_EQ(Label("LabelSerial")->text(), QStringLiteral("S/N SN34000123"));
        EXPECT_EQ(op.Seen().size(), 1u);
    }
}

INSTANTIATE_TEST_SUITE_P(Exits, ForcedLocal,
                         ::testing::Values(ForcedLocalCase{"timeOutAnswered", "1", 1, 0},
                                           ForcedLocalCase{"timeOutSilent", nullptr, -1, 0},
                                           ForcedLocalCase{"timeOutLateReply", nullptr, 1, 0, 0, true},
                                           ForcedLocalCase{"timeOutLateReplyUsb", nullptr, 1, 0, 6, true},
                                           ForcedLocalCase{"fatalSilent", nullptr, 0, -365}),
                         [](const auto& info) { return std::string(info.param.name); });

// The time-out fires after its reply has come (a busy wait held the hand-over back): it asks
// nothing, and the window stays remote.
TEST_F(Connected, ATimeOutAfterItsReplyAsksNothing)
{
    Connect();
    ASSERT_TRUE(WaitForLine("*STB?"));
    ASSERT_TRUE(WaitIdle());
    op.Queue(false);
    Window()->TimerOverTimer();
    EXPECT_TRUE(op.Seen().empty());
    EXPECT_TRUE(WaitRemote(1s));
}

TEST_F(Connected, NoReplyAnsweredYesClosesThroughTheExitQuestion)
{
    Connect();
    Window()->TimerOver()->setInterval(300);
    sim.DropNext();
    TestWindow* window = Window();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !window->isVisible(); }, 10000));
    ASSERT_GE(op.Seen().size(), 2u);
    EXPECT_EQ(op.Seen()[0].upper, QStringLiteral(" No response from QMR3400. Please close this program."));
    // No remote-mode question after the YES.
    EXPECT_EQ(op.Seen()[1].upper, QStringLiteral(" Are you sure you want to exit? "));
    EXPECT_EQ(op.Seen().size(), 2u);
    EXPECT_TRUE(window->ExitConfirmed());
    EXPECT_EQ(window->Module(), nullptr);
    EXPECT_FALSE(startUp->isVisible());
}

// The reply time-out asks while the dB window's connect waits for ":ISI:MODE?"; the late "P"
// switches to the percent window, whose connect asks "*IDN?". The closed window's question,
// answered then (no, or yes), must leave the percent window's pending command alone.
class LateModeReply : public EngineTest, public ::testing::WithParamInterface<bool> {};

TEST_P(LateModeReply, TheClosedWindowsAnswerLeavesTheNextConnectAlone)
{
    StartSim();
    sim.instrument().SetMode('P');
    WriteSettings();
    StartProgram();
    TestWindow* dB = Window();
    ASSERT_EQ(dB->number, 0);
    dB->TimerOver()->setInterval(200);
    sim.AddFault(qmrsim::Fault::Of(qmrsim::Fault::Kind::Delay).On(":ISI:MODE?").Time(800ms));
    sim.AddFault(qmrsim::Fault::Of(qmrsim::Fault::Kind::Delay).On("*IDN?").Time(1500ms));
    op.Queue(GetParam());
    op.HoldUntil([&] { return Window() != dB && Count("*IDN?") == 1; });
    ClickConnect();
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return op.SawUpper(QStringLiteral(" No response from QMR3400. Please close this program.")); }, 10000));
    ASSERT_TRUE(WaitRemote());
    EXPECT_EQ(Window()->number, 1);
    EXPECT_EQ(op.Seen().size(), 1u);
    EXPECT_EQ(Count(":SYST:LOC"), 0);
}

INSTANTIATE_TEST_SUITE_P(Answers, LateModeReply, ::testing::Values(false, true),
                         [](const auto& info) { return std::string(info.param ? "yes" : "no"); });

struct LossCase {
    const char* name;
    int com; // 0: TCP
    void (*lose)(qmrsim::Simulator&);
};

void PrintTo(const LossCase& c, std::ostream* os)
{
    *os << c.name;
}

class LinkLost : public Connected, public ::testing::WithParamInterface<LossCase> {};

TEST_P(LinkLost, GoesLocalAndANewConnectWorks)
{
    const LossCase& c = GetParam();
    Connect(c.com);
    c.lose(sim);
    ASSERT_TRUE(WaitLocal());
    EXPECT_FALSE(Window()->TimerErr()->isActive());
    EXPECT_GT(Window()->drops, 0);
    if (c.com > 0) {
        ASSERT_TRUE(sim.ReplugPty());
    }
    // A reply that came as the link dropped leaves its error collected, its step never run.
    KMessageScpiError::GetInstance()->Add("-222,\"Data out of range\"");
    op.Forget();
    sim.ClearRecords();
    ClickConnect();
    ASSERT_TRUE(WaitRemote());
    EXPECT_EQ(Lines().front(), ":ISI:MODE?");
    EXPECT_TRUE(op.Seen().empty());
}

INSTANTIATE_TEST_SUITE_P(Links, LinkLost,
                         ::testing::Values(LossCase{"tcpFin", 0, [](qmrsim::Simulator& s) { s.TcpFin(); }},
                                           LossCase{"tcpReset", 0, [](qmrsim::Simulator& s) { s.TcpReset(); }},
                                           LossCase{"ptyHangUp", 7, [](qmrsim::Simulator& s) { s.HangUpPty(); }}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(Connected, UsbConnectSequenceOverThePseudoTerminal)
{
    StartSim(9);
    sim.instrument().SetMode('I');
    WriteSettings(9);
    StartProgram();
    ClickConnect();
    ASSERT_TRUE(WaitRemote());
    ASSERT_TRUE(QTest::qWaitFor([&] { return !Window()->ranges.empty() && WaitIdle(1ms); }, 5000));
    std::vector<std::string> lines = Lines();
    const std::vector<std::string> expected = ConnectLines(0, 1000);
    ASSERT_GE(lines.size(), expected.size());
    lines.resize(expected.size());
    EXPECT_EQ(lines, expected);
    for (const auto& r : sim.Records()) {
        EXPECT_EQ(r.face, qmrsim::Face::Pty);
    }
    EXPECT_EQ(Label("StaticTextUsb")->palette().color(QPalette::Window), QColor(0x00, 0xFF, 0xFF));
}

TEST_F(Connected, ConfiguredUsbPortVanishingWhileRemoteGoesLocal)
{
    Connect(4);
    // The port and its descriptor disappear; the ports/ watch reports the change.
    std::filesystem::remove(dir.Path() / "ports" / "COM4.usb");
    std::filesystem::remove(dir.Path() / "ports" / "COM4");
    ASSERT_TRUE(WaitLocal());
    EXPECT_EQ(Label("StaticTextUsb")->palette().color(QPalette::Window), QColor(0x00, 0x00, 0x80));
}

TEST_F(EngineTest, UsbChecksBeforeConnecting)
{
    StartSim(3);
    WriteSettings(5); // configured COM 5, the instrument is on COM 3
    StartProgram();
    ClickConnect();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !op.Seen().empty(); }, 3000));
    EXPECT_EQ(op.Seen()[0].upper, QStringLiteral("  Please check the USB port no.  "));
    EXPECT_FALSE(Module()->IsBusy());
    EXPECT_FALSE(Module()->IsConnected());
    sim.Stop();
    op.Forget();
    ASSERT_TRUE(QTest::qWaitFor([&] { return Module()->FindUsbComPort(0) < 0; }, 2000));
    ClickConnect();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !op.Seen().empty(); }, 3000));
    EXPECT_EQ(op.Seen()[0].upper, QStringLiteral("  Please connect the USB Cable to QMR3400.  "));
    EXPECT_FALSE(Module()->IsBusy());
    EXPECT_TRUE(sim.Records().empty());
}

} // namespace
} // namespace enginetest
