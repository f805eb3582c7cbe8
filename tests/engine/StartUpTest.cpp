// The start-up window: the settings file at start and at exit, the window positions, the
// window switch's numbers and link codes, and the program itself ended by SIGTERM.
#include "EngineRig.h"

#include "app/core/Appdefine.h"
#include "app/instrument/Comdvqmr.h"
#include "app/instrument/Kmdlqmr.h"

#include <QElapsedTimer>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>

#include <algorithm>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <ostream>
#include <sys/resource.h>
#include <sys/wait.h>

namespace enginetest {
namespace {

AppSetRecord ReadSettings()
{
    AppSetRecord record{};
    const std::string bytes = qmrtest::ReadFile("APPSET.DAT");
    EXPECT_EQ(bytes.size(), sizeof record);
    std::memcpy(&record, bytes.data(), std::min(bytes.size(), sizeof record));
    return record;
}

TEST_F(EngineTest, SettingsAreWrittenAtStartAndAtExitWithTheOperatorsChanges)
{
    StartSim();
    WriteSettings();
    // Bytes the program does not interpret survive both writes.
    std::string bytes = qmrtest::ReadFile("APPSET.DAT");
    bytes[63] = 'S';
    bytes[64] = 'R';
    bytes[67] = 'Z';
    qmrtest::WriteFile("APPSET.DAT", bytes);
    std::filesystem::remove("APPPOS.POS");

    StartProgram();
    EXPECT_EQ(qmrtest::ReadFile("APPSET.DAT"), bytes);

    // The operator picks the USB tab: the live settings select USB.
    auto* tabs = Window()->findChild<QTabWidget*>(QStringLiteral("PageControl"));
    ASSERT_FALSE(Window()->IsUsbPageActive());
    QTest::mouseClick(tabs->tabBar(), Qt::LeftButton, {}, tabs->tabBar()->tabRect(0).center());
    ASSERT_TRUE(Window()->IsUsbPageActive());
    EXPECT_TRUE(Device()->IsUsb());

    StopProgram();
    const AppSetRecord record = ReadSettings();
    EXPECT_EQ(record.Com.Interface, kInterfaceUsb);
    EXPECT_EQ(record.Com.TcpPort, sim.TcpPort());
    EXPECT_STREQ(record.Com.IpAddress, "127.0.0.1");
    EXPECT_EQ(record.Com.Spare, 'S');
    EXPECT_EQ(record.Reserved[0], 'R');
    EXPECT_EQ(record.Reserved[3], 'Z');
    EXPECT_TRUE(std::filesystem::exists("APPPOS.POS"));
}

TEST_F(EngineTest, MissingSettingsAreCreatedWithTheDefaultsAtStart)
{
    StartProgram();
    EXPECT_EQ(qmrtest::ReadFile("APPSET.DAT").size(), sizeof(AppSetRecord));
    std::filesystem::remove("APPSET.DAT");
    // Read back at exit: the defaults the device held go out again.
    StopProgram();
    const AppSetRecord record = ReadSettings();
    EXPECT_EQ(record.Com.Interface, kInterfaceUsb);
    EXPECT_EQ(record.Com.ComPort, 1);
    EXPECT_EQ(record.Com.TcpPort, 10001);
    EXPECT_STREQ(record.Com.Terminator, "\n");
}

TEST_F(EngineTest, ClosingBeforeTheStartUpStepWritesNoSettings)
{
    startUp = std::make_unique<TFormStartUp>();
    startUp->show();
    EXPECT_TRUE(startUp->Timer1()->isActive());
    EXPECT_EQ(startUp->Timer1()->interval(), 750);
    startUp->Quit();
    StopProgram();
    EXPECT_FALSE(std::filesystem::exists("APPSET.DAT"));
    EXPECT_TRUE(std::filesystem::exists("APPPOS.POS"));
}

TEST_F(EngineTest, StartUpStepRunsOnceAfter750Ms)
{
    StartSim();
    WriteSettings();
    QElapsedTimer clock;
    clock.start();
    startUp = std::make_unique<TFormStartUp>();
    startUp->show();
    ASSERT_TRUE(QTest::qWaitFor([&] { return startUp->CurrentWindow() != nullptr; }, 3000));
    // A coarse timer may fire a little early (5 %), never much.
    EXPECT_GE(clock.elapsed(), 700);
    EXPECT_FALSE(startUp->Timer1()->isActive());
    EXPECT_EQ(Window()->number, 0);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(Window()));
    // The instrument window hides the splash.
    EXPECT_FALSE(startUp->isVisible());
}

TEST_F(EngineTest, WindowPositionIsRestoredUnderItsCaption)
{
    StartSim();
    WriteSettings();
    StartProgram();
    Window()->move(153, 97);
    ASSERT_TRUE(QTest::qWaitFor([&] { return Window()->frameGeometry().topLeft() == QPoint(153, 97); }, 2000));
    Window()->CloseAnswered();
    EXPECT_EQ(Window()->Module(), nullptr);
    // Closed once more (inside the first close's questions): the first close's position stands.
    Window()->move(260, 170);
    Window()->FormClose();
    StopProgram();

    StartProgram();
    EXPECT_EQ(Window()->frameGeometry().topLeft(), QPoint(153, 97));
}

struct SwitchCase {
    const char* name;
    int first;  // window opened before, -9: none
    int number; // asked for
    int linkCode;
    int opened; // window number that opens
    bool autoConnect;
};

void PrintTo(const SwitchCase& c, std::ostream* os)
{
    *os << c.name;
}

class WindowSwitchNumbers : public EngineTest, public ::testing::WithParamInterface<SwitchCase> {};

TEST_P(WindowSwitchNumbers, MapsNumbersAndLinkCodes)
{
    const SwitchCase& c = GetParam();
    StartProgram();
    if (c.first >= 0) {
        startUp->ChangeWindow(c.first, 0);
    }
    TFormAppQmr* before = startUp->CurrentWindow();
    startUp->ChangeWindow(c.number, c.linkCode);
    TFormAppQmr* opened = startUp->CurrentWindow();
    ASSERT_NE(opened, before);
    ASSERT_NE(opened->Module(), nullptr);
    EXPECT_EQ(opened->Module()->GetKind(), c.opened);
    // Only the dB and percent windows become the last control window.
    EXPECT_EQ(LastControlWindow, c.opened <= 1 ? c.opened : std::max(c.first, 0));
    EXPECT_EQ(opened->AutoConnect(), c.autoConnect);
    EXPECT_EQ(Device()->GetModule(), opened->Module());
    EXPECT_EQ(opened->Module()->GetForm(), opened); // bound by the switch, to the whole window
}

INSTANTIATE_TEST_SUITE_P(Table, WindowSwitchNumbers,
                         ::testing::Values(SwitchCase{"lastIsDbAtFirst", -9, -1, 0, 0, false},
                                           SwitchCase{"lastIsPercentOnceOpened", 1, -1, 2, 1, true},
                                           SwitchCase{"aboveThreeIsDb", 1, 5, 0, 0, false},
                                           SwitchCase{"settingsKeepsTheLastControlWindow", 1, 2, 0, 2, false},
                                           SwitchCase{"manualKeepsTheLastControlWindow", 1, 3, 2, 3, true}),
                         [](const auto& info) { return std::string(info.param.name); });

// The program itself, started in a folder of its own and ended by SIGTERM.
TEST_F(EngineTest, ProgramEndsInOrderOnSigterm)
{
    StartSim();
    WriteSettings();
    std::filesystem::copy_file(std::filesystem::path(QMR_PROGRAM_DIR) / "chkip.bat", "chkip.bat",
                               std::filesystem::copy_options::overwrite_existing);
    ProgramProcess program;
    ASSERT_TRUE(program.Start({"/l"}));
    const bool started =
        qmrtest::WaitFor([&] { return LogText().find("TFormStartUp StartUp") != std::string::npos; }, 15000ms);
    // The message loop takes the signal after the start-up step, which showed the first window.
    program.Signal(SIGTERM);
    int status = 0;
    const bool ended = program.WaitExit(15000ms, status);
    ASSERT_TRUE(started);
    ASSERT_TRUE(ended);
    EXPECT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    const std::string log = LogText();
    EXPECT_NE(log.find("TFormStartUp StartUp"), std::string::npos) << log;
    EXPECT_NE(log.find("TFormStartUp FormDestroy"), std::string::npos) << log;
    EXPECT_TRUE(std::filesystem::exists("APPPOS.POS"));
    EXPECT_FALSE(qmrtest::ReadFile("APPPOS.POS").empty());
    const AppSetRecord record = ReadSettings();
    EXPECT_EQ(record.Com.TcpPort, sim.TcpPort());
    EXPECT_STREQ(record.Com.IpAddress, "127.0.0.1");
}

// The operator's file size limit at 0 ("ulimit -f 0"): every write to a file fails. Killed by
// the limit's signal at its first write (the settings, at start-up), or going on without the
// signal to its orderly end, the program leaves both files as they were.
class NoRoomForFiles : public EngineTest, public ::testing::WithParamInterface<bool> {};

TEST_P(NoRoomForFiles, ProgramLeavesBothFilesAsTheyWere)
{
    const bool signalIgnored = GetParam();
    WriteSettings();
    const std::string settings = qmrtest::ReadFile("APPSET.DAT");
    const std::string positions(96, 'o'); // a rewrite would cut the captions: it would differ
    qmrtest::WriteFile("APPPOS.POS", positions);
    // The log's console (a terminal) shows the run; the log file cannot be written either.
    qmrtest::PtyPair console;
    const std::string consolePath = console.SlavePath();
    ProgramProcess program;
    ASSERT_TRUE(program.Start(signalIgnored ? std::vector<std::string>{"/L"} : std::vector<std::string>{}, {}, [&] {
        if (signalIgnored) {
            std::signal(SIGXFSZ, SIG_IGN);
        }
        const rlimit none{0, 0};
        setrlimit(RLIMIT_FSIZE, &none);
        dup2(open(consolePath.c_str(), O_WRONLY | O_NOCTTY), STDOUT_FILENO);
    }));
    if (signalIgnored) {
        const std::string shown = console.ReadUntil("TFormStartUp StartUp", 15s);
        EXPECT_NE(shown.find("TFormStartUp StartUp"), std::string::npos) << shown;
        program.Signal(SIGTERM);
    }
    int status = 0;
    ASSERT_TRUE(program.WaitExit(15s, status));
    if (signalIgnored) {
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
        EXPECT_NE(console.ReadUntil("TFormStartUp FormDestroy", 5s).find("FormDestroy"), std::string::npos);
        for (const auto& entry : std::filesystem::directory_iterator(".")) {
            EXPECT_EQ(entry.path().string().find(".new-"), std::string::npos) << "left behind: " << entry.path();
        }
    } else {
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGXFSZ) << status;
    }
    EXPECT_EQ(qmrtest::ReadFile("APPSET.DAT"), settings);
    EXPECT_EQ(qmrtest::ReadFile("APPPOS.POS"), positions);
}

INSTANTIATE_TEST_SUITE_P(Signal, NoRoomForFiles, ::testing::Bool(),
                         [](const auto& info) { return std::string(info.param ? "ignored" : "kills"); });

} // namespace
} // namespace enginetest
