#include "setup/Dlgstaup.h"

#include "TestSupport.h"
#include "platform/Process.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <sys/utsname.h>
#include <unistd.h>

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using qmrtest::ReadFile;
using qmrtest::WaitFor;
using qmrtest::WriteFile;

namespace {

struct BitnessRow {
    std::string identifier;
    int bitness;
};

TEST(SetupBitness, FollowsTheIdentifier)
{
    const BitnessRow rows[] = {
        {"Intel64 Family 6 Model 158 Stepping 10, GenuineIntel", 64},
        {"AMD64 Family 23 Model 113 Stepping 0, AuthenticAMD", 64},
        {"x86 Family 6 Model 15 Stepping 13, GenuineIntel", 32},
        {"x86 Family 6 Model 164 Stepping 1, GenuineIntel", 64},
        {"", 0},
        {"x86_64", 64},
        {"aarch64", 64},
        {"i686", 0},
        // 99 characters count; from the 100th on the identifier is cut.
        {"x86 " + std::string(93, 'a') + "64", 64},
        {"x86 " + std::string(94, 'a') + "64", 32},
    };
    for (const BitnessRow& row : rows) {
        setenv("PROCESSOR_IDENTIFIER", row.identifier.c_str(), 1);
        EXPECT_EQ(TFormStartup::GetBitness(), row.bitness) << '"' << row.identifier << '"';
    }
    // Without the variable the machine name stands in.
    unsetenv("PROCESSOR_IDENTIFIER");
    const int unset = TFormStartup::GetBitness();
    utsname name{};
    ASSERT_EQ(uname(&name), 0);
    setenv("PROCESSOR_IDENTIFIER", name.machine, 1);
    EXPECT_EQ(unset, TFormStartup::GetBitness()) << name.machine;
    unsetenv("PROCESSOR_IDENTIFIER");
}

// Setup copied into a folder whose path holds a blank, with two installers beside it that
// record their arguments and then keep running, and a desktop opener on PATH that records
// what it was handed.
class SetupRun : public ::testing::Test {
protected:
    void SetUp() override
    {
        folder_ = work_.Path() / "QMR setup";
        fs::create_directories(folder_);
        fs::copy_file(QMR_SETUP_BINARY, folder_ / "setup");
        for (const char* bits : {"32", "64"}) {
            fs::create_directories(folder_ / bits);
            Script(folder_ / bits / "Setup.exe", "here=$(dirname \"$0\")\n"
                                                 "printf '%s\\n' \"$@\" >>\"$here/args\"\n"
                                                 "echo $$ >>\"$here/started\"\n"
                                                 "exec sleep 60\n");
        }
        fs::create_directories(work_.Path() / "bin");
        Script(work_.Path() / "bin" / "xdg-open", "echo \"$@\" >>\"" + (work_.Path() / "opened").string() + "\"\n");
        path_ = std::getenv("PATH") != nullptr ? std::getenv("PATH") : "/usr/bin:/bin";
        setenv("PATH", ((work_.Path() / "bin").string() + ":" + path_).c_str(), 1);
    }

    void TearDown() override
    {
        setenv("PATH", path_.c_str(), 1);
        unsetenv("PROCESSOR_IDENTIFIER");
        for (const char* bits : {"32", "64"}) {
            const std::string started = ReadFile(folder_ / bits / "started");
            if (!started.empty()) {
                kill(std::stoi(started), SIGTERM);
            }
        }
    }

    static void Script(const fs::path& path, const std::string& body)
    {
        WriteFile(path, "#!/bin/sh\n" + body);
        fs::permissions(path, fs::perms(0755));
    }

    bool InstallerStarted() const
    {
        return fs::exists(folder_ / "32" / "started") || fs::exists(folder_ / "64" / "started");
    }

    // Runs Setup under the identifier and waits for its end: its exit code, or -2 when it did
    // not end in time.
    int RunSetup(const std::string& identifier)
    {
        setenv("PROCESSOR_IDENTIFIER", identifier.c_str(), 1);
        qmr::platform::Process setup;
        const auto start = std::chrono::steady_clock::now();
        if (!setup.Start((folder_ / "setup").string(), {}, true)) {
            return -3;
        }
        bool ended = false;
        WaitFor(
            [&] {
                ended = setup.WaitSlice(0) == qmr::platform::Process::WaitResult::Ended;
                return ended || InstallerStarted();
            },
            10s);
        startedAfter_ = std::chrono::steady_clock::now() - start;
        if (!ended && !WaitFor([&] { return setup.WaitSlice(0) == qmr::platform::Process::WaitResult::Ended; }, 10s)) {
            setup.Terminate();
            return -2;
        }
        // An installer started just before Setup ended may take a moment to say so.
        started_ = WaitFor([&] { return InstallerStarted(); }, 300ms);
        return setup.ExitCode();
    }

    qmrtest::ScopedWorkDir work_;
    fs::path folder_;
    std::string path_;
    std::chrono::steady_clock::duration startedAfter_{};
    bool started_ = false;
};

TEST_F(SetupRun, StartsTheInstallerOfTheWordSizeOnceWithItsPath)
{
    const struct {
        const char* identifier;
        const char* bits;
    } rows[] = {
        {"Intel64 Family 6 Model 158 Stepping 10, GenuineIntel", "64"},
        {"x86 Family 6 Model 15 Stepping 13, GenuineIntel", "32"},
        {"", "64"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.identifier);
        ASSERT_EQ(RunSetup(row.identifier), 0);
        ASSERT_TRUE(started_);
        EXPECT_GE(startedAfter_, 500ms);
        EXPECT_LT(startedAfter_, 5000ms);
        const fs::path installer = folder_ / row.bits / "Setup.exe";
        const std::string pid = ReadFile(folder_ / row.bits / "started");
        // Setup has gone; the installer runs on, started once, with its path as one argument.
        EXPECT_EQ(kill(std::stoi(pid), 0), 0);
        EXPECT_EQ(pid.find('\n'), pid.size() - 1);
        EXPECT_EQ(ReadFile(folder_ / row.bits / "args"), installer.string() + "\n");
        kill(std::stoi(pid), SIGTERM);
        fs::remove(folder_ / row.bits / "started");
        fs::remove(folder_ / row.bits / "args");
    }
}

TEST_F(SetupRun, StartsNothingWhenTheInstallerCannotRun)
{
    for (const char* fault : {"missing", "not executable"}) {
        SCOPED_TRACE(fault);
        if (std::string(fault) == "missing") {
            fs::remove(folder_ / "64" / "Setup.exe");
        } else {
            WriteFile(folder_ / "64" / "Setup.exe", "#!/bin/sh\necho $$ >>started\n");
            fs::permissions(folder_ / "64" / "Setup.exe", fs::perms(0644));
        }
        // No message window either: one would keep Setup from ending.
        EXPECT_EQ(RunSetup("AMD64 Family 23 Model 113 Stepping 0, AuthenticAMD"), 0);
        EXPECT_FALSE(started_);
        // Nor is the file handed to the desktop's opener.
        EXPECT_FALSE(fs::exists(work_.Path() / "opened"));
    }
}

} // namespace
