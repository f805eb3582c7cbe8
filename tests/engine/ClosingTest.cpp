// The real program ended in the middle of its work: SIGTERM at many moments of a dB connect
// and of a loss send that waits for the status poll, and Configure pressed while such a send
// waits; and an exception out of its shut-down.
#include "EngineRig.h"

#include <csignal>
#include <memory>
#include <sys/wait.h>
#include <unistd.h>
#include <utility>

extern "C" const char* __asan_default_options();

namespace enginetest {
namespace {

// The loss stepped while the status poll awaits its late reply: the send waits for it.
const std::string kSend = "click ButtonConnect\nready\nvisible LabelTimer\nkey FrameSliderIL/TrackBar\n";
const std::string kPlugin = std::string("QT_PLUGIN_PATH=") + QMR_PLUGIN_DIR;

// One run in a folder of its own: SIGTERM `offset` after the simulator first took `mark`.
struct ProgramRun {
    ProgramRun(std::string script, std::string mark, int offsetMs, std::string logged)
        : script(std::move(script)), mark(std::move(mark)), offset(offsetMs), logged(std::move(logged))
    {
    }

    std::string script;
    std::string mark;
    std::chrono::milliseconds offset;
    std::string logged; // what the run must have logged: the road was taken
    std::filesystem::path dir;
    qmrsim::Simulator sim;
    ProgramProcess program;
    bool signalled = false;
};

TEST_F(EngineTest, ProgramEndsInOrderWhereverTheEndComes)
{
    std::vector<std::unique_ptr<ProgramRun>> runs;
    for (int ms = 0; ms <= 2400; ms += 200) {
        runs.push_back(std::make_unique<ProgramRun>("click ButtonConnect\n", ":ISI:MODE?", ms, ""));
    }
    for (int ms : {200, 400, 600, 800}) {
        runs.push_back(std::make_unique<ProgramRun>(kSend, "*STB?", ms, "WaitBusy <2>"));
    }
    runs.push_back(std::make_unique<ProgramRun>(kSend + "click ButtonConfig\n", "*STB?", 1000, "ChangeWindow <2>"));
    for (auto& run : runs) {
        run->dir = dir.Path() / std::to_string(&run - runs.data());
        std::filesystem::create_directory(run->dir);
        std::filesystem::copy_file("chkip.bat", run->dir / "chkip.bat");
        qmrsim::SimulatorOptions options;
        options.tcpPort = 0;
        options.dir = run->dir;
        ASSERT_TRUE(run->sim.Start(options));
        run->sim.AddFault(qmrsim::Fault::Of(qmrsim::Fault::Kind::Delay).On("*STB?").Time(3000ms));
        WriteSettings(0, run->sim.TcpPort(), run->dir);
        qmrtest::WriteFile(run->dir / "drive.txt", run->script);
        const std::string folder = run->dir.string();
        ASSERT_TRUE(run->program.Start({"/l"}, {"QT_QPA_GENERIC_PLUGINS=qmrdrive:drive.txt", kPlugin},
                                       [&folder] { (void)chdir(folder.c_str()); }));
    }
    // A run whose moment never comes is ended at the deadline, and fails below.
    qmrtest::WaitFor(
        [&] {
            bool all = true;
            for (auto& run : runs) {
                for (const qmrsim::Received& received : run->sim.Records()) {
                    if (!run->signalled && received.line == run->mark &&
                        std::chrono::steady_clock::now() >= received.at + run->offset) {
                        run->program.Signal(SIGTERM);
                        run->signalled = true;
                    }
                }
                all = all && run->signalled;
            }
            return all;
        },
        60s);
    for (auto& run : runs) {
        if (!run->signalled) {
            ADD_FAILURE() << run->dir << " never reached its moment";
            run->program.Signal(SIGTERM);
        }
        int status = 0;
        ASSERT_TRUE(run->program.WaitExit(30s, status)) << run->dir;
        const std::string log = LogText(run->dir);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << run->dir << " status " << status;
        EXPECT_NE(log.find(run->logged), std::string::npos) << run->dir << log;
        // The shut-down ran to its end: settings and window positions written.
        EXPECT_NE(log.find("TFormStartUp FormDestroy"), std::string::npos) << run->dir;
        EXPECT_EQ(qmrtest::ReadFile(run->dir / "APPSET.DAT").size(), 68u) << run->dir;
        EXPECT_NE(qmrtest::ReadFile(run->dir / "APPPOS.POS").find("QMR3400"), std::string::npos) << run->dir;
    }
}

// An exception out of the shut-down after the loop (a preloaded stand-in for Bramble's writing
// of the window positions throws) is shown in the program's box, and the program fails.
TEST_F(EngineTest, ExceptionOfTheShutDownIsShownAndTheProgramFails)
{
    StartSim();
    WriteSettings();
    qmrtest::WriteFile("drive.txt", "window TFormAppQmrIL\nbox\n");
    ProgramProcess program;
    ASSERT_TRUE(program.Start(
        {}, {"QT_QPA_GENERIC_PLUGINS=qmrdrive:drive.txt", kPlugin, std::string("LD_PRELOAD=") + QMR_THROW_LIBRARY,
             // Preloaded ahead of the sanitizer's runtime.
             std::string("ASAN_OPTIONS=") + __asan_default_options() + ":verify_asan_link_order=0"}));
    ASSERT_TRUE(qmrtest::WaitFor([] { return !qmrtest::ReadFile("drive.txt.report").empty(); }, 30s));
    program.Signal(SIGTERM);
    int status = 0;
    ASSERT_TRUE(program.WaitExit(30s, status));
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << status;
    EXPECT_NE(qmrtest::ReadFile("drive.txt.report").find("box window positions not written"), std::string::npos);
}

} // namespace
} // namespace enginetest
