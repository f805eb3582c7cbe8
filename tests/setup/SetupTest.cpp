#include "setup/Dlgstaup.h"

#include "TestSupport.h"
#include "platform/Process.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <sys/utsname.h>

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using qmrtest::ReadFile;
using qmrtest::WaitFor;

namespace {

TEST(SetupBitness, FollowsTheIdentifier)
{
    const std::pair<std::string, int> rows[] = {
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
    for (const auto& [identifier, bitness] : rows) {
        setenv("PROCESSOR_IDENTIFIER", identifier.c_str(), 1);
        EXPECT_EQ(TFormStartup::GetBitness(), bitness) << '"' << identifier << '"';
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
// being called.
class SetupRun : public ::testing::Test {
protected:
    void SetUp() override
    {
        for (const char* bits : {"32", "64"}) {
            Script(folder_ / bits / "Setup.exe", "d=$(dirname \"$0\")\nprintf '%s\\n' \"$@\" >>\"$d/args\"\n"
                                                 "echo $$ >>\"$d/started\"\nexec sleep 20\n");
        }
        fs::copy_file(QMR_SETUP_BINARY, folder_ / "setup");
        Script(work_.Path() / "bin" / "xdg-open", "echo >\"" + (work_.Path() / "opened").string() + "\"\n");
        setenv("PATH", ((work_.Path() / "bin").string() + ":" + path_).c_str(), 1);
    }

    void TearDown() override { setenv("PATH", path_.c_str(), 1); }

    static void Script(const fs::path& path, const std::string& body)
    {
        fs::create_directories(path.parent_path());
        qmrtest::WriteFile(path, "#!/bin/sh\n" + body);
        fs::permissions(path, fs::perms(0755));
    }

    // The installer writes its pid line in one go: an empty file is one still being written.
    bool Started() const
    {
        return !ReadFile(folder_ / "32" / "started").empty() || !ReadFile(folder_ / "64" / "started").empty();
    }

    // Runs Setup under the identifier: its exit code, or -1 when it did not end in time.
    // `grace`: how long an installer started just before Setup ended may take to say so.
    int RunSetup(const std::string& identifier, std::chrono::milliseconds grace = 300ms)
    {
        setenv("PROCESSOR_IDENTIFIER", identifier.c_str(), 1);
        qmr::platform::Process setup;
        const auto start = std::chrono::steady_clock::now();
        EXPECT_TRUE(setup.Start((folder_ / "setup").string(), {}, true));
        auto ended = [&] { return setup.WaitSlice(0) == qmr::platform::Process::WaitResult::Ended; };
        WaitFor([&] { return Started() || ended(); }, 10s);
        startedAfter_ = std::chrono::steady_clock::now() - start;
        if (!WaitFor(ended, 10s)) {
            setup.Terminate();
            return -1;
        }
        started_ = WaitFor([&] { return Started(); }, grace);
        return setup.ExitCode();
    }

    qmrtest::ScopedWorkDir work_;
    const fs::path folder_ = work_.Path() / "QMR setup";
    const std::string path_ = std::getenv("PATH") != nullptr ? std::getenv("PATH") : "/usr/bin:/bin";
    std::chrono::steady_clock::duration startedAfter_{};
    bool started_ = false;
};

TEST_F(SetupRun, StartsTheInstallerOfTheWordSizeOnceWithItsPath)
{
    const std::pair<const char*, const char*> rows[] = {
        {"Intel64 Family 6 Model 158 Stepping 10, GenuineIntel", "64"},
        {"x86 Family 6 Model 15 Stepping 13, GenuineIntel", "32"},
        {"", "64"},
    };
    for (const auto& [identifier, bits] : rows) {
        SCOPED_TRACE(identifier);
        ASSERT_EQ(RunSetup(identifier, 10s), 0);
        ASSERT_TRUE(started_);
        EXPECT_GE(startedAfter_, 500ms);
        EXPECT_LT(startedAfter_, 5000ms);
        // Setup has gone; the installer runs on, started once, with its path as one argument.
        const std::string pid = ReadFile(folder_ / bits / "started");
        EXPECT_EQ(kill(std::stoi(pid), 0), 0);
        EXPECT_EQ(pid.find('\n'), pid.size() - 1);
        EXPECT_EQ(ReadFile(folder_ / bits / "args"), (folder_ / bits / "Setup.exe").string() + "\n");
        fs::remove(folder_ / bits / "started");
        fs::remove(folder_ / bits / "args");
    }
}

TEST_F(SetupRun, StartsNothingWhenTheInstallerCannotRun)
{
    fs::permissions(folder_ / "64" / "Setup.exe", fs::perms(0644));
    // Not executable, then missing: no message window either, which would keep Setup open.
    for (int pass = 0; pass < 2; ++pass) {
        EXPECT_EQ(RunSetup("AMD64 Family 23 Model 113 Stepping 0, AuthenticAMD"), 0);
        EXPECT_FALSE(started_);
        EXPECT_FALSE(fs::exists(work_.Path() / "opened")) << "handed to the desktop's opener";
        fs::remove(folder_ / "64" / "Setup.exe");
    }
}

} // namespace
