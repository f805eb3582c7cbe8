// The real program ended in the middle of its work: SIGTERM at many moments of a dB connect
// and of a frequency send that waits for the status poll, and Configure pressed while such a
// send waits; and an exception out of its shut-down.
#include "EngineRig.h"

#include <csignal>
#include <sys/wait.h>
#include <unistd.h>

namespace enginetest {
namespace {

// The frequency editing ended while the status poll awaits its late reply: the send waits for it.
const std::string kSend =
    "click ButtonConnect\nready\nvisible LabelTimer\npress SpeedButtonSet\npress SpeedButtonSet\n";
const std::string kPlugin = std::string("QT_PLUGIN_PATH=") + QMR_PLUGIN_DIR;

// One run: SIGTERM `offsetMs` after the simulator first took `mark`; the run must have
// logged `logged` (the road was taken).
struct Case {
    std::string script;
    const char* mark;
    int offsetMs;
    const char* logged;
};

struct ProgramRun {
    qmrsim::Simulator sim;
    ProgramProcess program;
    bool signalled = false;
};

TEST_F(EngineTest, ProgramEndsInOrderWhereverTheEndComes)
{
    std::vector<Case> cases;
    for (int ms = 0; ms <= 2400; ms += 200) {
        cases.push_back({"click ButtonConnect\n", ":ISI:MODE?", ms, ""});
    }
    for (int ms : {200, 400, 600, 800}) {
        cases.push_back({kSend, "*STB?", ms, "WaitBusy <3>"});
    }
    cases.push_back({kSend + "click ButtonConfig\n", "*STB?", 1000, "ChangeWindow <2>"});
    std::vector<ProgramRun> runs(cases.size());
    auto folder = [&](size_t i) { return dir.Path() / std::to_string(i); };
    for (size_t i = 0; i < runs.size(); ++i) {
        std::filesystem::create_directory(folder(i));
        std::filesystem::copy_file("chkip.bat", folder(i) / "chkip.bat");
        qmrsim::SimulatorOptions options;
        options.tcpPort = 0;
        options.dir = folder(i);
        ASSERT_TRUE(runs[i].sim.Start(options));
        runs[i].sim.AddFault(qmrsim::Fault::Of(qmrsim::Fault::Kind::Delay).On("*STB?").Time(3000ms));
        WriteSettings(0, runs[i].sim.TcpPort(), folder(i));
        qmrtest::WriteFile(folder(i) / "drive.txt", cases[i].script);
        const std::string path = folder(i).string();
        ASSERT_TRUE(runs[i].program.Start({"/l"}, {"QT_QPA_GENERIC_PLUGINS=qmrdrive:drive.txt", kPlugin},
                                          [&path] { (void)chdir(path.c_str()); }));
    }
    // A run whose moment never comes is ended at the deadline, and fails below.
    qmrtest::WaitFor(
        [&] {
            bool all = true;
            for (size_t i = 0; i < runs.size(); ++i) {
                for (const qmrsim::Received& received : runs[i].sim.Records()) {
                    if (!runs[i].signalled && received.line == cases[i].mark &&
                        std::chrono::steady_clock::now() >=
                            received.at + std::chrono::milliseconds(cases[i].offsetMs)) {
                        runs[i].program.Signal(SIGTERM);
                        runs[i].signalled = true;
                    }
                }
                all = all && runs[i].signalled;
            }
            return all;
        },
        60s);
    for (size_t i = 0; i < runs.size(); ++i) {
        if (!runs[i].signalled) {
            ADD_FAILURE() << folder(i) << " never reached its moment";
            runs[i].program.Signal(SIGTERM);
        }
        int status = 0;
        ASSERT_TRUE(runs[i].program.WaitExit(30s, status)) << folder(i);
        const std::string log = LogText(folder(i));
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << folder(i) << " status " << status;
        EXPECT_NE(log.find(cases[i].logged), std::string::npos) << folder(i) << log;
        // The shut-down ran to its end: settings written (then logged) and window positions.
        EXPECT_NE(log.find("TFormStartUp FormDestroy"), std::string::npos) << folder(i);
        EXPECT_NE(qmrtest::ReadFile(folder(i) / "APPPOS.POS").find("QMR3400"), std::string::npos) << folder(i);
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
        {}, {"QT_QPA_GENERIC_PLUGINS=qmrdrive:drive.txt", kPlugin, std::string("LD_PRELOAD=") + QMR_THROW_LIBRARY}));
    ASSERT_TRUE(qmrtest::WaitFor([] { return !qmrtest::ReadFile("drive.txt.report").empty(); }, 30s));
    program.Signal(SIGTERM);
    int status = 0;
    ASSERT_TRUE(program.WaitExit(30s, status));
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << status;
    EXPECT_NE(qmrtest::ReadFile("drive.txt.report").find("box window positions not written"), std::string::npos);
}

} // namespace
} // namespace enginetest
