// The settings window against the simulator: opened from a connected dB window over the open
// link, its read and write sequences on the wire, and the ways a sequence ends early.
#include "EngineRig.h"

#include "app/instrument/Comdvqmr.h"
#include "app/instrument/Kmdlcnf.h"
#include "app/windows/Formapqmrcf.h"

#include <QAction>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <cstdlib>
#include <tuple>

namespace enginetest {
namespace {

class ConfigTest : public EngineTest {
protected:
    TFormAppQmrConfig* Config() const
    {
        return startUp ? dynamic_cast<TFormAppQmrConfig*>(startUp->CurrentWindow()) : nullptr;
    }
    KModuleQmrConfig* ConfigModule() const { return Config() != nullptr ? Config()->ConfigModule() : nullptr; }
    template <typename T>
    T* Find(const char* name) const
    {
        return Config()->findChild<T*>(QLatin1String(name));
    }
    QString Message() const { return Find<QLabel>("LabelMsg")->text(); }
    bool WaitMessage(const char* text, std::chrono::milliseconds timeout = 10s)
    {
        return QTest::qWaitFor([&] { return Config() != nullptr && Message() == QLatin1String(text); },
                               static_cast<int>(timeout.count()));
    }
    bool Settled() const
    {
        KModuleQmrConfig* module = ConfigModule();
        return module != nullptr && !module->IsSequenceRunning() && !module->GetBusy() &&
               module->GetFunctionState() == fnIDLE;
    }
    // The settings window opened unconnected and connected with its own Connect.
    void OpenConnected()
    {
        StartProgram();
        startUp->ChangeWindow(2, 0);
        ASSERT_NE(Config(), nullptr);
        Find<QPushButton>("ButtonConnect")->click();
        ASSERT_TRUE(WaitMessage("Read all settings is completed."));
        ASSERT_TRUE(QTest::qWaitFor([&] { return Settled() && Config()->ActionRead->isEnabled(); }, 5000));
    }
};

TEST_F(ConfigTest, ConfigureConnectsOverTheOpenLinkReadsAllAndGoesBack)
{
    StartSim();
    sim.instrument().SetAddress("10.1.2.3", false);
    WriteSettings();
    StartProgram();
    sim.instrument().Execute(":DISP:BRIG 55;:DISP:AUTO 30;:SYST:BEEP:STAT OFF");
    ClickConnect();
    ASSERT_TRUE(WaitRemote());
    auto* configure = Window()->findChild<QPushButton*>(QStringLiteral("ButtonConfig"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return configure->isEnabled(); }, 5000));
    const size_t before = Lines().size();
    sim.DelayNext(400ms);
    configure->click();
    ASSERT_NE(Config(), nullptr);
    // While the connect sequence runs over the open link (the dB window's connect sent the
    // first "*IDN?"), its replies are not the settings': Read and Write stay off.
    ASSERT_TRUE(QTest::qWaitFor([&] { return Count("*IDN?") == 2; }, 5000));
    QTest::qWait(150);
    EXPECT_EQ(ConfigModule()->GetFunctionState(), fnTOREMOTE);
    EXPECT_FALSE(Config()->ActionRead->isEnabled());
    ASSERT_TRUE(WaitMessage("Read all settings is completed."));

    std::vector<std::string> lines = Lines();
    lines.erase(lines.begin(), lines.begin() + static_cast<std::ptrdiff_t>(before));
    EXPECT_EQ(lines, (std::vector<std::string>{"*IDN?", ":SYST:ERR?", ":SYST:KLOC?", "*ESE 68;*OPC?", ":SYST:REM;ERR?",
                                               ":DISP:BRIG?", ":DISP:AUTO?", ":SYST:BEEP:STAT?",
                                               ":SYST:COMM:SOCK:ADDR?", ":SYST:COMM:SOCK:ADDR:AUTO?"}));
    const auto records = sim.Records();
    EXPECT_GE(records[before + 5].at - records[before + 4].at, 480ms);
    EXPECT_EQ(sim.TcpAccepted(), 1);

    EXPECT_EQ(Find<QLineEdit>("EditBrightness")->text(), QStringLiteral("55"));
    EXPECT_EQ(Find<QLineEdit>("EditAutoOff")->text(), QStringLiteral("30"));
    EXPECT_FALSE(Find<QCheckBox>("CheckBoxSound")->isChecked());
    EXPECT_EQ(Find<QLineEdit>("EditIp")->text(), QStringLiteral("10.1.2.3"));
    EXPECT_TRUE(op.Seen().empty());

    // "Control" goes back to the dB window, which reconnects over the same link.
    TFormAppQmrConfig* config = Config();
    auto* control = config->findChild<QPushButton*>(QStringLiteral("ButtonConfig"));
    EXPECT_EQ(control->text(), QStringLiteral("Control"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return control->isEnabled(); }, 5000));
    control->click();
    ASSERT_NE(Window(), nullptr);
    EXPECT_FALSE(config->isVisible());
    EXPECT_EQ(config->ConfigModule(), nullptr);
    ASSERT_TRUE(WaitRemote());
    EXPECT_EQ(Count(":ISI:MODE?"), 2);
    EXPECT_EQ(sim.TcpAccepted(), 1);
}

struct WriteCase {
    const char* name;
    const char* brightness;
    const char* autoOff;
    const char* ip;
    bool autoInstrument; // the instrument reports an automatic address
    bool tickAuto;       // the operator ticks "Auto IP"
    const char* sent[3]; // brightness, auto-off and address as they go out
};

void PrintTo(const WriteCase& c, std::ostream* os)
{
    *os << c.name;
}

class ConfigWrite : public ConfigTest, public ::testing::WithParamInterface<WriteCase> {};

TEST_P(ConfigWrite, SendsTheFourSetCommands)
{
    const WriteCase& c = GetParam();
    StartSim();
    sim.instrument().SetAddress("10.1.2.3", c.autoInstrument);
    WriteSettings();
    OpenConnected();
    EXPECT_EQ(Find<QCheckBox>("CheckBoxDhcp")->isChecked(), c.autoInstrument);
    EXPECT_EQ(Find<QLineEdit>("EditIp")->isEnabled(), !c.autoInstrument);
    EXPECT_EQ(Find<QLineEdit>("EditIp")->text(), QStringLiteral("10.1.2.3"));

    Find<QLineEdit>("EditBrightness")->setText(QLatin1String(c.brightness));
    Find<QLineEdit>("EditAutoOff")->setText(QLatin1String(c.autoOff));
    Find<QLineEdit>("EditIp")->setText(QLatin1String(c.ip));
    Find<QCheckBox>("CheckBoxSound")->setChecked(true);
    if (c.tickAuto) {
        QTest::mouseClick(Find<QCheckBox>("CheckBoxDhcp"), Qt::LeftButton, {}, QPoint(5, 10));
        EXPECT_FALSE(Find<QLineEdit>("EditIp")->isEnabled());
    }
    const size_t before = Lines().size();
    sim.DelayNext(300ms);
    Find<QPushButton>("ButtonApply")->click();
    // Both actions are off while the write runs.
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return !Config()->ActionRead->isEnabled() && !Config()->ActionWrite->isEnabled(); }, 250));
    ASSERT_TRUE(WaitMessage("Writing is completed"));
    std::vector<std::string> lines = Lines();
    lines.erase(lines.begin(), lines.begin() + static_cast<std::ptrdiff_t>(before));
    EXPECT_EQ(lines,
              (std::vector<std::string>{std::string(":DISP:BRIG ") + c.sent[0] + ";*OPC?",
                                        std::string(":DISP:AUTO ") + c.sent[1] + ";*OPC?", ":SYST:BEEP:STAT 1;*OPC?",
                                        std::string(":SYST:COMM:SOCK:ADDR ") + c.sent[2] + ";*OPC?"}));
    EXPECT_TRUE(Settled());
    EXPECT_EQ(Find<QLineEdit>("EditNo")->text(), QStringLiteral("3"));
    const qmrsim::InstrumentState state = sim.instrument().State();
    EXPECT_TRUE(state.beep);
    EXPECT_EQ(state.autoAddress, c.autoInstrument || c.tickAuto);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Fields, ConfigWrite, ::testing::Values(
    WriteCase{"plain", "55", "30", "10.0.0.7", false, false, {"55", "30", "10.0.0.7"}},
    // No integer: the defaults; an address of 16 characters is not taken.
    WriteCase{"noIntegers", "bright", "", "", false, false, {"80", "10", "10.1.2.3"}},
    WriteCase{"lowBytes", "300", "-1", "1234567890.12345", false, false, {"44", "255", "10.1.2.3"}},
    WriteCase{"tickAutoIp", "50", "0", "10.0.0.9", false, true, {"50", "0", "AUTO"}},
    WriteCase{"automaticInstrument", "50", "0", "10.0.0.9", true, false, {"50", "0", "AUTO"}}),
    [](const auto& info) { return std::string(info.param.name); });
// clang-format on

TEST_F(ConfigTest, IrregularWriteReplyEndsTheWriteWithNothingBusy)
{
    StartSim();
    WriteSettings();
    OpenConnected();
    sim.OverrideReply(":DISP:AUTO*", "0");
    Find<QPushButton>("ButtonApply")->click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return op.SawUpper(QStringLiteral(" Irregular response from QMR3400. (1:0) ")); },
                                10000));
    EXPECT_EQ(Message(), QStringLiteral("OK: brightness level "));
    ASSERT_TRUE(QTest::qWaitFor([&] { return Settled(); }, 3000));
    EXPECT_EQ(ConfigModule()->GetWriteStep(), -1);
    EXPECT_EQ(Count(":SYST:BEEP:STAT 1;*OPC?") + Count(":SYST:BEEP:STAT 0;*OPC?"), 0);
    // Read, Write and Control are usable again.
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return Config()->ActionRead->isEnabled() && Find<QPushButton>("ButtonConfig")->isEnabled(); }, 3000));
}

TEST_F(ConfigTest, UnansweredReadQueryTakesTheReplyTimeoutRoad)
{
    StartSim();
    WriteSettings();
    OpenConnected();
    Config()->TimerOver()->setInterval(300);
    sim.AddFault(qmrsim::Fault::Of(qmrsim::Fault::Kind::Drop).On(":DISP:AUTO?"));
    // An answer to the forced local's ":SYST:LOC" finds no command waiting: asked once.
    sim.instrument().SetLocalAnswer("1");
    op.Queue(false);
    Config()->ActionRead->trigger();
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return op.SawUpper(QStringLiteral(" No response from QMR3400. Please close this program.")); }, 5000));
    ASSERT_TRUE(WaitForLine(":SYST:LOC"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return Settled(); }, 5000));
    EXPECT_EQ(ConfigModule()->GetReadStep(), -1);
}

TEST_F(ConfigTest, DroppedConnectionDuringAReadGoesLocalAndConnectsAgain)
{
    StartSim();
    WriteSettings();
    OpenConnected();
    sim.AddFault(qmrsim::Fault::Of(qmrsim::Fault::Kind::Fin).On(":SYST:BEEP:STAT?"));
    Config()->ActionRead->trigger();
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return Settled() && !ConfigModule()->IsConnected() && !Config()->ActionRead->isEnabled(); }, 10000));
    EXPECT_EQ(Message(), QStringLiteral("Click  the  Connect  button  to  control  QMR3400."));
    Find<QLineEdit>("EditBrightness")->clear();
    op.Forget();
    Find<QPushButton>("ButtonConnect")->click();
    ASSERT_TRUE(WaitMessage("Read all settings is completed."));
    EXPECT_EQ(Find<QLineEdit>("EditBrightness")->text(), QStringLiteral("80"));
    EXPECT_EQ(sim.TcpAccepted(), 2);
}

TEST_F(ConfigTest, SequenceThatCannotSendLeavesNoStepAndNothingBusy)
{
    StartSim();
    WriteSettings();
    StartProgram();
    startUp->ChangeWindow(2, 0);
    ASSERT_NE(ConfigModule(), nullptr);
    QTest::qWait(150);
    // Unconnected: Read, Write and Control are off.
    EXPECT_FALSE(Config()->ActionRead->isEnabled() || Config()->ActionWrite->isEnabled() ||
                 Find<QPushButton>("ButtonConfig")->isEnabled());
    EXPECT_FALSE(ConfigModule()->StartRead());
    EXPECT_TRUE(op.SawUpper(QStringLiteral("Get settings from QMR3400.")) && Settled());
    EXPECT_FALSE(ConfigModule()->StartWrite());
    EXPECT_TRUE(op.SawUpper(QStringLiteral("Could not send command to QMR.")) && Settled());
}

// The buttons follow the busy state only every 100 ms, so a press can come at any moment of a
// status poll: here from before its "*STB?" to after its late reply was stepped. Each read and
// write waits for the poll, takes only its own replies and leaves panel and instrument alike.
TEST_F(ConfigTest, ReadAndWriteAtEveryMomentOfAPollTakeOnlyTheirOwnReplies)
{
    StartSim();
    WriteSettings();
    OpenConnected();
    Config()->TimerErr()->stop(); // each poll is started through the window's checker below
    KCheckQmrErrorStb* checker = Config()->Checker();
    sim.AddFault(qmrsim::Fault::Of(qmrsim::Fault::Kind::Delay).On("*STB?").Time(120ms).Times(-1));
    for (int i = 0; i < 24; ++i) {
        const bool write = i % 2 == 1;
        const int pressAt = (i / 2) * 30 - 60; // ms after the poll
        SCOPED_TRACE((write ? "write at " : "read at ") + std::to_string(pressAt));
        const std::string n = std::to_string(i), sound = i % 4 < 2 ? "1" : "0";
        std::vector<std::string> want = {":DISP:BRIG?", ":DISP:AUTO?", ":SYST:BEEP:STAT?", ":SYST:COMM:SOCK:ADDR?",
                                         ":SYST:COMM:SOCK:ADDR:AUTO?"};
        if (write) {
            Find<QLineEdit>("EditBrightness")->setText(QString::number(i));
            Find<QLineEdit>("EditAutoOff")->setText(QString::number(i));
            Find<QCheckBox>("CheckBoxSound")->setChecked(sound == "1");
            Find<QLineEdit>("EditIp")->setText(QString::fromStdString("10.0.0." + n));
            want = {":DISP:BRIG " + n + ";*OPC?", ":DISP:AUTO " + n + ";*OPC?", ":SYST:BEEP:STAT " + sound + ";*OPC?",
                    ":SYST:COMM:SOCK:ADDR 10.0.0." + n + ";*OPC?"};
        } else {
            sim.instrument().Execute(":DISP:BRIG " + std::to_string(50 + i) + ";:DISP:AUTO " + std::to_string(99 - i) +
                                     ";:SYST:BEEP:STAT " + sound);
        }
        Find<QLabel>("LabelMsg")->clear();
        const size_t before = Lines().size();
        const auto poll = [&] { checker->Tick(checker->Countdown()); };
        const auto press = [&] { write ? Config()->ActionWriteExecute() : Config()->ActionReadExecute(); };
        pressAt < 0 ? press() : poll();
        QTest::qWait(std::abs(pressAt));
        pressAt < 0 ? poll() : press();
        ASSERT_TRUE(WaitMessage(write ? "Writing is completed" : "Read all settings is completed.", 5s));
        ASSERT_TRUE(QTest::qWaitFor([&] { return Settled() && Device()->GetCommandState() == csIDLE; }, 5000));

        std::vector<std::string> lines = Lines();
        lines.erase(lines.begin(), lines.begin() + static_cast<std::ptrdiff_t>(before));
        std::erase(lines, std::string("*STB?"));
        EXPECT_EQ(lines, want);
        const qmrsim::InstrumentState held = sim.instrument().State();
        EXPECT_EQ(std::make_tuple(
                      Find<QLineEdit>("EditBrightness")->text().toInt(), Find<QLineEdit>("EditAutoOff")->text().toInt(),
                      Find<QCheckBox>("CheckBoxSound")->isChecked(), Find<QLineEdit>("EditIp")->text().toStdString(),
                      Find<QCheckBox>("CheckBoxDhcp")->isChecked()),
                  std::make_tuple(held.brightness, held.autoOff, held.beep, held.address, held.autoAddress));
        EXPECT_TRUE(op.Seen().empty());
    }
}

} // namespace
} // namespace enginetest
