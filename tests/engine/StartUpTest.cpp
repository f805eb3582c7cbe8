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

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <ostream>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

extern "C" const char* __tsan_default_options();
extern "C" const char* __asan_default_options();

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
    TestWindow* before = Window();
    startUp->ChangeWindow(c.number, c.linkCode);
    ASSERT_NE(Window(), before);
    EXPECT_EQ(Window()->number, c.opened);
    EXPECT_EQ(LastControlWindow, c.opened);
    EXPECT_EQ(Window()->AutoConnect(), c.autoConnect);
    EXPECT_EQ(Device()->GetModule(), Window()->Module());
    EXPECT_EQ(Module()->GetForm(), Window()); // bound by the switch, to the whole window
    EXPECT_EQ(Module()->GetKind(), c.opened);
}

INSTANTIATE_TEST_SUITE_P(Table, WindowSwitchNumbers,
                         ::testing::Values(SwitchCase{"lastIsDbAtFirst", -9, -1, 0, 0, false},
                                           SwitchCase{"lastIsPercentOnceOpened", 1, -1, 2, 1, true},
                                           SwitchCase{"aboveThreeIsDb", 1, 5, 0, 0, false},
                                           // The settings and manual windows are not part of
                                           // the program yet: the dB window opens.
                                           SwitchCase{"settingsNotThere", 1, 2, 1, 0, true},
                                           SwitchCase{"manualNotThere", -9, 3, 0, 0, false}),
                         [](const auto& info) { return std::string(info.param.name); });

// Starts the program itself in the working folder; `inChild` runs in the child before the exec.
pid_t LaunchProgram(const char* argument, const std::function<void()>& inChild = {})
{
    const std::filesystem::path program = std::filesystem::path(QMR_PROGRAM_DIR) / "qmr3400";
    EXPECT_TRUE(std::filesystem::exists(program));
    std::filesystem::copy_file(std::filesystem::path(QMR_PROGRAM_DIR) / "chkip.bat", "chkip.bat",
                               std::filesystem::copy_options::overwrite_existing);
    // The program is no test program: its sanitizer runtime gets the tests' options through
    // the environment, set before the fork (the child only execs).
    setenv("TSAN_OPTIONS", __tsan_default_options(), 1);
    setenv("ASAN_OPTIONS", __asan_default_options(), 1);
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    const std::string path = program.string();
    const pid_t pid = fork();
    if (pid == 0) {
        if (inChild) {
            inChild();
        }
        execl(path.c_str(), path.c_str(), argument, static_cast<char*>(nullptr));
        _exit(127);
    }
    return pid;
}

// Waits at most 15 s for the program's end, then kills it: its wait status, or -1.
int WaitProgramEnd(pid_t pid)
{
    int status = 0;
    if (qmrtest::WaitFor([&] { return waitpid(pid, &status, WNOHANG) == pid; }, 15000ms)) {
        return status;
    }
    kill(pid, SIGKILL);
    waitpid(pid, &status, 0);
    return -1;
}

// The program itself, started in a folder of its own and ended by SIGTERM.
TEST_F(EngineTest, ProgramEndsInOrderOnSigterm)
{
    StartSim();
    WriteSettings();
    const pid_t pid = LaunchProgram("/l");
    ASSERT_GT(pid, 0);
    auto logText = [] {
        std::string all;
        if (std::filesystem::exists("log")) {
            for (const auto& entry : std::filesystem::directory_iterator("log")) {
                all += qmrtest::ReadFile(entry.path());
            }
        }
        return all;
    };
    const bool started =
        qmrtest::WaitFor([&] { return logText().find("TFormStartUp StartUp") != std::string::npos; }, 15000ms);
    // The message loop takes the signal after the start-up step, which showed the first window.
    kill(pid, SIGTERM);
    const int status = WaitProgramEnd(pid);
    ASSERT_TRUE(started);
    ASSERT_NE(status, -1);
    EXPECT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    const std::string log = logText();
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
    const pid_t pid = LaunchProgram(signalIgnored ? "/L" : nullptr, [&] {
        if (signalIgnored) {
            std::signal(SIGXFSZ, SIG_IGN);
        }
        const rlimit none{0, 0};
        setrlimit(RLIMIT_FSIZE, &none);
        dup2(open(consolePath.c_str(), O_WRONLY | O_NOCTTY), STDOUT_FILENO);
    });
    ASSERT_GT(pid, 0);
    if (signalIgnored) {
        const std::string shown = console.ReadUntil("TFormStartUp StartUp", 15s);
        EXPECT_NE(shown.find("TFormStartUp StartUp"), std::string::npos) << shown;
        kill(pid, SIGTERM);
    }
    const int status = WaitProgramEnd(pid);
    ASSERT_NE(status, -1);
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
