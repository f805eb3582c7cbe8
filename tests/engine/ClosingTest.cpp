// The real program ended in the middle of its work: SIGTERM at many moments of a dB connect
// and of a loss send that waits for the status poll, Configure pressed while such a send
// waits; and an exception out of the start-up window's making or its shut-down.
#include "EngineRig.h"

#include <algorithm>
#include <csignal>
#include <memory>
#include <optional>
#include <sys/wait.h>
#include <unistd.h>

extern "C" const char* __asan_default_options();

namespace enginetest {
namespace {

using Clock = std::chrono::steady_clock;

const char* const kConnect = "click ButtonConnect\n";
// The loss stepped while the status poll awaits its (late) reply: the send waits for it.
const char* const kWaitingSend = "click ButtonConnect\nready\nvisible LabelTimer\nkey FrameSliderIL/TrackBar\ndone\n";
const char* const kConfigureInSend = "click ButtonConnect\nready\nvisible LabelTimer\nkey FrameSliderIL/TrackBar\n"
                                     "click ButtonConfig\nwindow TFormAppQmrConfig\ndone\n";

// One program run: SIGTERM `offset` after the simulator first received ":ISI:MODE?" (the
// connect's start), or after the operator's script was done.
struct ProgramRun {
    std::string name;
    const char* script;
    bool fromConnectStart;
    std::chrono::milliseconds offset;
    std::filesystem::path dir;
    qmrsim::Simulator sim;
    ProgramProcess program;
    std::optional<Clock::time_point> mark;
    bool signalled = false;

    std::string Report() const { return qmrtest::ReadFile(dir / "drive.txt.report"); }

    std::optional<Clock::time_point> Mark() const
    {
        if (!fromConnectStart) {
            return Report().find("done") != std::string::npos ? std::optional(Clock::now()) : std::nullopt;
        }
        for (const qmrsim::Received& received : sim.Records()) {
            if (received.line == ":ISI:MODE?") {
                return received.at;
            }
        }
        return std::nullopt;
    }
};

class ClosingTest : public EngineTest {
protected:
    // The real program in a folder of its own, with the operator's script and a simulator.
    std::unique_ptr<ProgramRun> Start(const std::string& name, const char* script, bool fromConnectStart,
                                      std::chrono::milliseconds offset)
    {
        auto run = std::make_unique<ProgramRun>();
        run->name = name;
        run->script = script;
        run->fromConnectStart = fromConnectStart;
        run->offset = offset;
        run->dir = dir.Path() / name;
        std::filesystem::create_directory(run->dir);
        std::filesystem::copy_file("chkip.bat", run->dir / "chkip.bat");
        qmrsim::SimulatorOptions options;
        options.tcpPort = 0;
        options.dir = run->dir;
        EXPECT_TRUE(run->sim.Start(options)) << run->sim.LastError();
        run->sim.AddFault(qmrsim::Fault::Of(qmrsim::Fault::Kind::Delay).On("*STB?").Time(3000ms));
        WriteSettings(0, run->sim.TcpPort(), run->dir);
        qmrtest::WriteFile(run->dir / "drive.txt", script);
        const std::string folder = run->dir.string();
        EXPECT_TRUE(run->program.Start(
            {"/l"}, {"QT_QPA_GENERIC_PLUGINS=qmrdrive:drive.txt", std::string("QT_PLUGIN_PATH=") + QMR_PLUGIN_DIR},
            [&folder] { (void)chdir(folder.c_str()); }));
        return run;
    }
};

TEST_F(ClosingTest, EveryRunEndsInOrderWhereverTheEndComes)
{
    std::vector<std::unique_ptr<ProgramRun>> runs;
    for (int ms = 0; ms <= 2400; ms += 200) {
        runs.push_back(Start("connect" + std::to_string(ms), kConnect, true, std::chrono::milliseconds(ms)));
    }
    for (int ms : {0, 250, 500, 750}) {
        runs.push_back(Start("send" + std::to_string(ms), kWaitingSend, false, std::chrono::milliseconds(ms)));
    }
    runs.push_back(Start("configure", kConfigureInSend, false, 0ms));

    // Each run is ended at its moment; one whose moment never comes is ended at the deadline.
    const bool allReached = qmrtest::WaitFor(
        [&] {
            bool all = true;
            for (auto& run : runs) {
                if (!run->mark) {
                    run->mark = run->Mark();
                }
                if (!run->signalled && run->mark && Clock::now() >= *run->mark + run->offset) {
                    run->program.Signal(SIGTERM);
                    run->signalled = true;
                }
                all = all && run->signalled;
            }
            return all;
        },
        90s);
    for (auto& run : runs) {
        if (!run->signalled) {
            ADD_FAILURE() << run->name << " never reached its moment: " << run->Report();
            run->program.Signal(SIGTERM);
        }
    }
    EXPECT_TRUE(allReached);

    for (auto& run : runs) {
        int status = 0;
        ASSERT_TRUE(run->program.WaitExit(30s, status)) << run->name;
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << run->name << " status " << status;
        const std::string log = LogText(run->dir);
        // The shut-down ran to its end: the settings written back, then the positions.
        EXPECT_NE(log.find("TFormStartUp FormDestroy"), std::string::npos) << run->name;
        EXPECT_EQ(qmrtest::ReadFile(run->dir / "APPSET.DAT").size(), 68u) << run->name;
        EXPECT_NE(qmrtest::ReadFile(run->dir / "APPPOS.POS").find("QMR3400"), std::string::npos) << run->name;
        if (!run->fromConnectStart) {
            EXPECT_NE(log.find("WaitBusy"), std::string::npos) << run->name << ": the send never waited";
        }
    }
}

// An exception thrown while the start-up window is made, or by its shut-down after the loop:
// shown in the program's exception box, and the program ends with a failure status.
class ExceptionAtTheEdges : public EngineTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(ExceptionAtTheEdges, IsShownAndTheProgramFails)
{
    const std::string when = GetParam();
    StartSim();
    WriteSettings();
    qmrtest::WriteFile("drive.txt", when == "start" ? "box\n" : "window TFormAppQmrIL\nbox\n");
    ProgramProcess program;
    ASSERT_TRUE(
        program.Start({}, {"QT_QPA_GENERIC_PLUGINS=qmrdrive:drive.txt", std::string("QT_PLUGIN_PATH=") + QMR_PLUGIN_DIR,
                           std::string("LD_PRELOAD=") + QMR_THROW_LIBRARY, "QMR_THROW_IN=" + when,
                           // The stand-in is preloaded ahead of the sanitizer's runtime.
                           std::string("ASAN_OPTIONS=") + __asan_default_options() + ":verify_asan_link_order=0"}));
    if (when == "exit") {
        ASSERT_TRUE(qmrtest::WaitFor([] { return !qmrtest::ReadFile("drive.txt.report").empty(); }, 30s));
        program.Signal(SIGTERM);
    }
    int status = 0;
    ASSERT_TRUE(program.WaitExit(30s, status));
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << status;
    EXPECT_NE(qmrtest::ReadFile("drive.txt.report").find("box thrown at " + when), std::string::npos)
        << qmrtest::ReadFile("drive.txt.report");
}

INSTANTIATE_TEST_SUITE_P(Edges, ExceptionAtTheEdges, ::testing::Values("start", "exit"));

} // namespace
} // namespace enginetest
