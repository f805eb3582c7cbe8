// The real program switching its windows a hundred times: what a closed window kept would add
// up in the process (descriptors, memory), and the window on screen still sees the cable.
#include "EngineRig.h"

#include <filesystem>

namespace enginetest {
namespace {

// The sanitizers keep freed memory aside for a while.
constexpr bool kJudgeMemory = !qmrtest::kSanitizerBuild;

// Open descriptors and resident kB of a process.
std::pair<long, long> UsageOf(int pid)
{
    const std::string proc = "/proc/" + std::to_string(pid);
    const std::string status = qmrtest::ReadFile(proc + "/status");
    return {std::distance(std::filesystem::directory_iterator(proc + "/fd"), {}),
            std::stol(status.substr(status.find("VmRSS:") + 6))};
}

TEST_F(EngineTest, ClosedWindowsKeepNoDescriptorsNorMemoryAndTheCurrentOneSeesTheCable)
{
    StartSim(5);
    WriteSettings(5);
    std::string script = "window TFormAppQmrIL\nclick ButtonMode\nwindow TFormAppQmrPp\nhold first\n";
    for (int i = 0; i < 50; ++i) {
        script += "click ButtonMode\nwindow TFormAppQmrIL\nclick ButtonMode\nwindow TFormAppQmrPp\n";
    }
    qmrtest::WriteFile("drive.txt", script + "hold last\ncolour StaticTextUsb #000080\nhold unplugged\n"
                                             "colour StaticTextUsb #00ffff\ndone\n");
    ProgramProcess program;
    ASSERT_TRUE(program.Start(
        {}, {"QT_QPA_GENERIC_PLUGINS=qmrdrive:drive.txt", std::string("QT_PLUGIN_PATH=") + QMR_PLUGIN_DIR}));
    std::pair<long, long> first, last;
    // At each hold of the driver the test measures or pulls the cable, then lets it go on.
    const std::pair<const char*, std::function<void()>> holds[] = {
        {"first", [&] { first = UsageOf(program.Pid()); }},
        {"last", [&] { last = UsageOf(program.Pid()), sim.HangUpPty(); }},
        {"unplugged", [&] { sim.ReplugPty(); }},
        {"done", [] {}},
    };
    std::string report;
    for (const auto& [name, act] : holds) {
        qmrtest::WaitFor(
            [&] {
                report = qmrtest::ReadFile("drive.txt.report");
                return report.find(name) != std::string::npos || report.find("timeout") != std::string::npos;
            },
            120s);
        ASSERT_NE(report.find(name), std::string::npos) << report;
        act();
        qmrtest::WriteFile(name, "");
    }
    EXPECT_LE(last.first, first.first + 4) << first.first;
    EXPECT_TRUE(!kJudgeMemory || last.second <= first.second + 30 * 1024) << first.second << " " << last.second;
}

} // namespace
} // namespace enginetest
