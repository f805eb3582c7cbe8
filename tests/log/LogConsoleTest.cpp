// The log's console: the terminal on standard output. Each test puts a pseudo-terminal (or a
// non-terminal) in place of standard output for its span.
#include "LogTestClock.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <string>
#include <unistd.h>

namespace {

using namespace std::chrono_literals;
using logtest::kLogName;
using logtest::kStamp;

// Puts the file `path` on standard output until destroyed.
class StdoutRedirect {
public:
    explicit StdoutRedirect(const std::string& path)
    {
        std::fflush(stdout);
        saved_ = dup(STDOUT_FILENO);
        int fd = open(path.c_str(), O_WRONLY | O_NOCTTY);
        if (fd >= 0) {
            dup2(fd, STDOUT_FILENO);
            close(fd);
        }
    }
    ~StdoutRedirect()
    {
        std::fflush(stdout);
        dup2(saved_, STDOUT_FILENO);
        close(saved_);
    }
    StdoutRedirect(const StdoutRedirect&) = delete;
    StdoutRedirect& operator=(const StdoutRedirect&) = delete;

private:
    int saved_ = -1;
};

std::string Line(const std::string& rest, const char* end)
{
    return kStamp + rest + end;
}

TEST(LogConsole, ShowsEachLineWithABareLineFeed)
{
    qmrtest::ScopedWorkDir dir;
    qmrtest::PtyPair pty;
    StdoutRedirect redirect(pty.SlavePath());
    logtest::FixedClockScope clock;
    ASSERT_EQ(_StartLog(1, 0), 1);
    char tag[] = "ComSend";
    char text[] = "*IDN?";
    EXPECT_EQ(_WriteLog(tag, text), 1);
    EXPECT_EQ(_WriteNumLog(tag, 7), 1);
    std::string expected = Line("ComSend *IDN?", "\n") + Line("ComSend <7>", "\n");
    EXPECT_EQ(pty.Read(expected.size(), 5s), expected);
    EXPECT_EQ(qmrtest::ReadFile(kLogName), Line("ComSend *IDN?", "\r\n") + Line("ComSend <7>", "\r\n"));
}

// Only exactly 1 asks for a console; afterwards a console start proves nothing came before.
TEST(LogConsole, OnlyOneOpensTheConsole)
{
    for (int console : {0, 2, -1, 257}) {
        SCOPED_TRACE(console);
        qmrtest::ScopedWorkDir dir;
        qmrtest::PtyPair pty;
        StdoutRedirect redirect(pty.SlavePath());
        logtest::FixedClockScope clock;
        ASSERT_EQ(_StartLog(console, 0), 1);
        char quiet[] = "Quiet";
        EXPECT_EQ(_WriteLog(quiet, nullptr), 1);
        _EndLog();
        ASSERT_EQ(_StartLog(1, 0), 1);
        char marker[] = "Marker";
        EXPECT_EQ(_WriteLog(marker, nullptr), 1);
        EXPECT_EQ(pty.ReadUntil("\n", 5s), Line("Marker", "\n"));
        EXPECT_EQ(qmrtest::ReadFile(kLogName), Line("Quiet", "\r\n") + Line("Marker", "\r\n"));
    }
}

TEST(LogConsole, SecondStartFindsTheConsoleHeldAndLogsIt)
{
    qmrtest::ScopedWorkDir dir;
    qmrtest::PtyPair pty;
    StdoutRedirect redirect(pty.SlavePath());
    logtest::FixedClockScope clock;
    ASSERT_EQ(_StartLog(1, 0), 1);
    ASSERT_EQ(_StartLog(1, 0), 1);
    // The error line reaches the file still open from the first start, and the console.
    EXPECT_EQ(qmrtest::ReadFile(kLogName), Line("AllocConsole:Error", "\r\n"));
    EXPECT_EQ(pty.ReadUntil("\n", 5s), Line("AllocConsole:Error", "\n"));
}

TEST(LogConsole, NoTerminalMeansNoConsole)
{
    qmrtest::ScopedWorkDir dir;
    StdoutRedirect redirect("/dev/null");
    logtest::FixedClockScope clock;
    // On a first start the error line finds no file open yet.
    ASSERT_EQ(_StartLog(1, 0), 1);
    EXPECT_EQ(qmrtest::ReadFile(kLogName), "");
    ASSERT_EQ(_StartLog(1, 0), 1);
    char tag[] = "FileOnly";
    EXPECT_EQ(_WriteLog(tag, nullptr), 1);
    EXPECT_EQ(qmrtest::ReadFile(kLogName), Line("AllocConsole:Error", "\r\n") + Line("FileOnly", "\r\n"));
}

TEST(LogConsole, ConsoleShowsLinesWhenTheFileFails)
{
    qmrtest::ScopedWorkDir dir;
    qmrtest::PtyPair pty;
    StdoutRedirect redirect(pty.SlavePath());
    logtest::FixedClockScope clock;
    std::filesystem::create_directories(kLogName);
    EXPECT_EQ(_StartLog(1, 0), 0);
    char tag[] = "ConsoleOnly";
    EXPECT_EQ(_WriteLog(tag, nullptr), 1);
    EXPECT_EQ(pty.ReadUntil("\n", 5s), Line("ConsoleOnly", "\n"));
}

// While a console is held its write decides the result, even with the file open.
TEST(LogConsole, FailedConsoleWriteIsReportedButTheFileGetsTheLine)
{
    qmrtest::ScopedWorkDir dir;
    qmrtest::PtyPair pty;
    StdoutRedirect redirect(pty.SlavePath());
    logtest::FixedClockScope clock;
    ASSERT_EQ(_StartLog(1, 0), 1);
    pty.HangUp();
    char tag[] = "HungUp";
    EXPECT_EQ(_WriteLog(tag, nullptr), 0);
    EXPECT_EQ(qmrtest::ReadFile(kLogName), Line("HungUp", "\r\n"));
    _EndLog();
    ASSERT_EQ(_StartLog(0, 0), 1);
    EXPECT_EQ(_WriteLog(tag, nullptr), 1);
}

} // namespace
