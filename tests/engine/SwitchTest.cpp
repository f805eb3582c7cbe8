// The real program switching its windows a hundred times: what a closed window kept would add
// up in the process (descriptors, memory), and the window on screen still sees the cable.
#include "EngineRig.h"

#include <QTest>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <sys/wait.h>

namespace enginetest {
namespace {

struct Usage {
    long fds = -1;
    long rssKb = -1;
};

Usage UsageOf(int pid)
{
    Usage usage;
    const std::string proc = "/proc/" + std::to_string(pid);
    std::error_code ec;
    usage.fds = std::distance(std::filesystem::directory_iterator(proc + "/fd", ec), {});
    std::ifstream status(proc + "/status");
    for (std::string line; std::getline(status, line);) {
        if (line.starts_with("VmRSS:")) {
            usage.rssKb = std::stol(line.substr(6));
        }
    }
    return usage;
}

TEST_F(EngineTest, ClosedWindowsKeepNoDescriptorsNorMemoryAndTheCurrentOneSeesTheCable)
{
    constexpr int kCom = 5;
    StartSim(kCom);
    WriteSettings(kCom);
    std::string script = "window TFormAppQmrIL\nclick ButtonMode\nwindow TFormAppQmrPp\nhold first\n";
    for (int i = 0; i < 50; ++i) {
        script += "click ButtonMode\nwindow TFormAppQmrIL\nclick ButtonMode\nwindow TFormAppQmrPp\n";
    }
    script += "hold last\ncolour StaticTextUsb #000080\nhold unplugged\ncolour StaticTextUsb #00ffff\ndone\n";
    qmrtest::WriteFile("drive.txt", script);
    ProgramProcess program;
    ASSERT_TRUE(program.Start(
        {}, {"QT_QPA_GENERIC_PLUGINS=qmrdrive:drive.txt", std::string("QT_PLUGIN_PATH=") + QMR_PLUGIN_DIR}));
    std::string report;
    // The driver reached `line` (or gave up).
    auto reached = [&](const std::string& line) {
        qmrtest::WaitFor(
            [&] {
                report = qmrtest::ReadFile("drive.txt.report");
                return report.find(line) != std::string::npos || report.find("timeout") != std::string::npos;
            },
            120s);
        return report.find(line) != std::string::npos;
    };

    ASSERT_TRUE(reached("hold first")) << report;
    const Usage first = UsageOf(program.Pid());
    qmrtest::WriteFile("first", "");
    ASSERT_TRUE(reached("hold last")) << report;
    const Usage last = UsageOf(program.Pid());
    sim.HangUpPty();
    qmrtest::WriteFile("last", "");
    ASSERT_TRUE(reached("hold unplugged")) << report;
    ASSERT_TRUE(sim.ReplugPty());
    qmrtest::WriteFile("unplugged", "");
    ASSERT_TRUE(reached("done")) << report;

    EXPECT_LE(last.fds, first.fds + 4) << first.fds;
    EXPECT_LE(last.rssKb, first.rssKb + 30 * 1024) << first.rssKb;
    program.Signal(SIGTERM);
    int status = 0;
    ASSERT_TRUE(program.WaitExit(20s, status));
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
}

} // namespace
} // namespace enginetest
