#include "platform/DeviceWatch.h"

#include "TestSupport.h"

#include <chrono>
#include <filesystem>
#include <gtest/gtest.h>
#include <unistd.h>

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using qmr::platform::DeviceWatch;

namespace {

// Long enough for any inotify delivery; a change that is not reported by then is missed.
constexpr auto kReportWait = 2000ms;
// How long a quiet watch is given to report something it should not.
constexpr auto kQuietWait = 300ms;

bool Reported(DeviceWatch& watch)
{
    return qmrtest::WaitFor([&] { return watch.Drain(); }, kReportWait);
}

bool StaysQuiet(DeviceWatch& watch)
{
    return !qmrtest::WaitFor([&] { return watch.Drain(); }, kQuietWait);
}

} // namespace

TEST(DeviceWatch, OpensTheMonitorThatReportsHere)
{
    qmrtest::ScopedWorkDir dir;
    DeviceWatch watch;
    EXPECT_GE(watch.FolderFd(), 0);
    EXPECT_GE(watch.MonitorFd(), 0);
    // Without a udev daemon the "udev" source never reports, so the kernel's is taken.
    const bool daemon = access("/run/udev/control", F_OK) == 0;
    EXPECT_EQ(watch.MonitorSource(), daemon ? "udev" : "kernel");
    EXPECT_EQ(watch.Fds().size(), 2u);

    DeviceWatch folderOnly(DeviceWatch::Monitor::None);
    EXPECT_EQ(folderOnly.MonitorFd(), -1);
    EXPECT_EQ(folderOnly.MonitorSource(), "");
    EXPECT_EQ(folderOnly.Fds(), std::vector<int>{folderOnly.FolderFd()});
}

TEST(DeviceWatch, ReportsPortLinksComingAndGoing)
{
    qmrtest::ScopedWorkDir dir;
    fs::create_directory("ports");
    DeviceWatch watch;
    EXPECT_TRUE(StaysQuiet(watch));

    qmrtest::PtyPair sim;
    sim.PublishAs(7);
    EXPECT_TRUE(Reported(watch));
    EXPECT_TRUE(StaysQuiet(watch)) << "one change, drained at once";

    qmrtest::WriteFile("ports/COM7.usb", "vid=2f5a\npid=3400\n");
    EXPECT_TRUE(Reported(watch));

    fs::remove("ports/COM7");
    EXPECT_TRUE(Reported(watch));
    EXPECT_TRUE(StaysQuiet(watch));

    // Files elsewhere in the working directory are no device change.
    qmrtest::WriteFile("APPSET.DAT", std::string(68, '\0'));
    fs::create_directory("log");
    EXPECT_TRUE(StaysQuiet(watch));
}

TEST(DeviceWatch, NoticesThePortsFolderMadeLaterAndRemadeAfterRemoval)
{
    qmrtest::ScopedWorkDir dir;
    DeviceWatch watch(DeviceWatch::Monitor::None);
    EXPECT_TRUE(StaysQuiet(watch));

    qmrtest::PtyPair sim;
    sim.PublishAs(7); // makes ports/ and the link in one go
    EXPECT_TRUE(Reported(watch));
    // The folder made after the watch is watched too.
    fs::remove("ports/COM7");
    EXPECT_TRUE(Reported(watch));

    fs::remove_all("ports");
    EXPECT_TRUE(Reported(watch));
    EXPECT_TRUE(StaysQuiet(watch));

    fs::create_directory("ports");
    EXPECT_TRUE(Reported(watch));
    sim.PublishAs(3);
    EXPECT_TRUE(Reported(watch));

    // A folder moved away is no longer the one watched.
    fs::rename("ports", "ports-old");
    EXPECT_TRUE(Reported(watch));
    qmrtest::WriteFile("ports-old/COM3.usb", "vid=1\npid=2\n");
    EXPECT_TRUE(StaysQuiet(watch));
}
