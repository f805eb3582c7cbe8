// The network address check through real processes: "chkip.bat" test doubles in a private
// working folder stand in for the ping script, so nothing but 127.0.0.1 is ever pinged.
#include "app/link/Thripchk.h"
#include "app/core/Formmesg.h"

#include "TestSupport.h"

#include <QApplication>
#include <QLabel>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <ostream>
#include <string>
#include <sys/types.h>

namespace {

using namespace std::chrono_literals;

// A script that records its arguments, then runs `body`.
void WriteScript(const std::string& body)
{
    qmrtest::WriteFile("chkip.bat", "#!/bin/sh\n"
                                    "printf '%s\\n' \"$#\" > argc.txt\n"
                                    "printf '%s' \"$1\" > arg1.txt\n" +
                                        body + "\n");
}

std::string Trimmed(std::string text)
{
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) {
        text.pop_back();
    }
    return text;
}

bool ScriptRan()
{
    return std::filesystem::exists("argc.txt");
}

struct ResultCase {
    const char* name;
    const char* script;
    int expected;
};

void PrintTo(const ResultCase& c, std::ostream* os)
{
    *os << c.name;
}

class IpCheckResult : public ::testing::TestWithParam<ResultCase> {
protected:
    qmrtest::ScopedWorkDir dir_;
};

const ResultCase kResultCases[] = {
    {"EchoReplyAmidOtherText",
     "printf 'Pinging 127.0.0.1 with 32 bytes of data:\\r\\n"
     "Reply from 127.0.0.1: bytes=32 time<1ms TTL=128\\r\\n\\r\\nPing statistics\\r\\n' > chkip.res",
     kIpCheckFound},
    {"ReplyOnTheLastLineWithoutLineEnd", "printf 'line one\\n\\n\\ntime=3ms TTL=64' > chkip.res", kIpCheckFound},
    {"LinesLackingTheText",
     "printf '64 bytes from 127.0.0.1: icmp_seq=1 ttl=64 time=0.03 ms\\nMS TTL=\\nms ttl=\\n' > chkip.res",
     kIpCheckNotFound},
    {"EmptyResultFile", ": > chkip.res", kIpCheckNotFound},
    {"NoResultFile", "exit 0", kIpCheckNotFound},
    // How the script ends does not matter: only what it leaves behind.
    {"ScriptFailsAfterWriting", "echo 'time=1ms TTL=64' > chkip.res; exit 1", kIpCheckFound},
};

TEST_P(IpCheckResult, ReadsTheResultFile)
{
    WriteScript(GetParam().script);
    EXPECT_EQ(CheckIpDevice("127.0.0.1", false), GetParam().expected);
    EXPECT_EQ(Trimmed(qmrtest::ReadFile("argc.txt")), "1");
    EXPECT_EQ(qmrtest::ReadFile("arg1.txt"), "127.0.0.1");
}

INSTANTIATE_TEST_SUITE_P(Scripts, IpCheckResult, ::testing::ValuesIn(kResultCases),
                         [](const auto& info) { return std::string(info.param.name); });

// True when process `pid` is gone, or a zombie left for its reaper, within `timeout`.
bool EndsWithin(pid_t pid, std::chrono::milliseconds timeout)
{
    return pid > 0 && qmrtest::WaitFor(
                          [&] {
                              std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
                              std::string number, name, state;
                              return !(stat >> number >> name >> state) || state == "Z";
                          },
                          timeout);
}

class IpCheckTest : public ::testing::Test {
protected:
    qmrtest::ScopedWorkDir dir_;
};

TEST_F(IpCheckTest, MissingScriptFails)
{
    EXPECT_EQ(CheckIpDevice("127.0.0.1", false), kIpCheckFailed);
}

TEST_F(IpCheckTest, StaleResultFileIsDeletedBeforeTheRun)
{
    qmrtest::WriteFile("chkip.res", "Reply from 127.0.0.1: time<1ms TTL=64\n");
    WriteScript("if [ -e chkip.res ]; then echo stale > seen.txt; fi");
    EXPECT_EQ(CheckIpDevice("127.0.0.1", false), kIpCheckNotFound);
    EXPECT_TRUE(ScriptRan());
    EXPECT_FALSE(std::filesystem::exists("seen.txt"));
    EXPECT_FALSE(std::filesystem::exists("chkip.res"));
}

TEST_F(IpCheckTest, StaleResultFileIsDeletedAlsoWhenTheScriptIsMissing)
{
    qmrtest::WriteFile("chkip.res", "time<1ms TTL=64\n");
    EXPECT_EQ(CheckIpDevice("127.0.0.1", false), kIpCheckFailed);
    EXPECT_FALSE(std::filesystem::exists("chkip.res"));
}

TEST_F(IpCheckTest, LongAddressIsTestedAsItsFirstFifteenCharacters)
{
    WriteScript("echo 'time<1ms TTL=64' > chkip.res");
    const QString address = "192.168.100.1234567";
    ASSERT_EQ(address.size(), 19);
    EXPECT_EQ(CheckIpDevice(address + "8", false), kIpCheckFound);
    EXPECT_EQ(qmrtest::ReadFile("arg1.txt"), "192.168.100.123");
}

TEST_F(IpCheckTest, LeadingZerosReachTheScriptAsPlainDecimal)
{
    // A ping may read a leading zero as octal.
    WriteScript("exit 0");
    EXPECT_EQ(CheckIpDevice("127.000.000.001", false), kIpCheckNotFound);
    EXPECT_EQ(qmrtest::ReadFile("arg1.txt"), "127.0.0.1");
}

class IpCheckRefused : public ::testing::TestWithParam<const char*> {
protected:
    qmrtest::ScopedWorkDir dir_;
};

TEST_P(IpCheckRefused, NonIpv4TextNeverReachesTheScript)
{
    WriteScript("echo 'time<1ms TTL=64' > chkip.res; touch x");
    EXPECT_EQ(CheckIpDevice(GetParam(), false), kIpCheckFailed);
    EXPECT_FALSE(ScriptRan());
    EXPECT_FALSE(std::filesystem::exists("x"));
}

INSTANTIATE_TEST_SUITE_P(Texts, IpCheckRefused,
                         ::testing::Values("1.2.3.4; rm -rf x", "1.2.3.4;touch x", "$(touch x)", "256.1.1.1",
                                           "1.2.3.256", "a.b.c.d", "", "1.2.3", "1.2.3.4.5", " 1.2.3.4", "1.2.3.4 ",
                                           "1..2.3", "-1.2.3.4", "1.2.3.0004", "1.2.3.4\n", "0x7f.0.0.1"));

TEST(IpCheckText, DottedIpv4Rule)
{
    char canonical[16] = "unchanged";
    EXPECT_TRUE(IsDottedIpv4("0.0.0.0", canonical));
    EXPECT_STREQ(canonical, "0.0.0.0");
    EXPECT_TRUE(IsDottedIpv4("255.255.255.255", canonical));
    EXPECT_STREQ(canonical, "255.255.255.255");
    EXPECT_TRUE(IsDottedIpv4("192.168.000.088", canonical));
    EXPECT_STREQ(canonical, "192.168.0.88");
    EXPECT_TRUE(IsDottedIpv4("10.0.0.5"));
    EXPECT_FALSE(IsDottedIpv4(nullptr));
    EXPECT_FALSE(IsDottedIpv4("1.2.3.4.", canonical));
    EXPECT_STREQ(canonical, "192.168.0.88");
}

TEST_F(IpCheckTest, HangingScriptGivesNothingAfterTheBudgetAndIsEnded)
{
    WriteScript("echo $$ > script.pid\n"
                "sleep 60 &\n"
                "echo $! > child.pid\n"
                "wait $!\n"
                "echo 'time<1ms TTL=64' > chkip.res");
    const auto start = std::chrono::steady_clock::now();
    const int result = CheckIpDevice("127.0.0.1", false);
    const auto elapsed = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(result, kIpCheckPending);
    EXPECT_GE(elapsed, 9900ms);
    EXPECT_LT(elapsed, 13s);

    const pid_t script = std::atoi(qmrtest::ReadFile("script.pid").c_str());
    const pid_t child = std::atoi(qmrtest::ReadFile("child.pid").c_str());
    ASSERT_GT(script, 0);
    ASSERT_GT(child, 0);
    // Our child is reaped (no zombie left): the number names no process any more.
    errno = 0;
    EXPECT_EQ(kill(script, 0), -1);
    EXPECT_EQ(errno, ESRCH);
    // What the script started was ended with it.
    EXPECT_TRUE(EndsWithin(child, 5s));
    EXPECT_FALSE(std::filesystem::exists("chkip.res"));
}

TEST_F(IpCheckTest, ScriptIgnoringTheEndRequestIsKilledWithinHalfASecondOfTheBudget)
{
    // Its sleeps inherit the ignored signal; left alone, the script writes a result 15 s on.
    WriteScript("trap '' TERM\n"
                "echo $$ > script.pid\n"
                "for i in 1 2 3; do sleep 5 & echo $! > child.pid; wait $!; done\n"
                "echo 'time<1ms TTL=64' > chkip.res");
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(CheckIpDevice("127.0.0.1", false), kIpCheckPending);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 10500ms);
    const pid_t script = std::atoi(qmrtest::ReadFile("script.pid").c_str());
    ASSERT_GT(script, 0);
    errno = 0;
    EXPECT_EQ(kill(script, 0), -1) << "reaped, no zombie left";
    EXPECT_TRUE(EndsWithin(std::atoi(qmrtest::ReadFile("child.pid").c_str()), 1s)) << "killed with its script";
    EXPECT_FALSE(std::filesystem::exists("chkip.res"));
}

// The message window that opens next: its caption and two texts; closed with OK.
struct ShownMessage {
    bool shown = false;
    QString caption, upper, lower;
};

void AnswerNextMessage(ShownMessage& message)
{
    QTimer::singleShot(0, [&message] {
        const bool open =
            QTest::qWaitFor([] { return qobject_cast<TFormMsg*>(QApplication::activeModalWidget()); }, 5000);
        ASSERT_TRUE(open);
        auto* form = qobject_cast<TFormMsg*>(QApplication::activeModalWidget());
        message.shown = true;
        message.caption = form->findChild<QLabel*>("PanelCaption")->text();
        message.upper = form->findChild<QLabel*>("PanelUp")->text();
        message.lower = form->findChild<QLabel*>("PanelDn")->text();
        form->ButtonOkClick();
    });
}

struct ShownCase {
    const char* name;
    const char* script; // nullptr: no script at all
    const char* address;
    int expected;
    const char* caption;
    const char* upper;
};

void PrintTo(const ShownCase& c, std::ostream* os)
{
    *os << c.name;
}

class IpCheckShown : public ::testing::TestWithParam<ShownCase> {
protected:
    qmrtest::ScopedWorkDir dir_;
};

const ShownCase kShownCases[] = {
    {"Found", "echo 'time<1ms TTL=64' > chkip.res", "127.0.0.1", kIpCheckFound, "  Confirm",
     "Found this IP device successfully."},
    {"NotFound", "echo 'Request timed out.' > chkip.res", "127.0.0.1", kIpCheckNotFound, "  Error ",
     "Could not find this IP device."},
    {"Failed", nullptr, "127.0.0.1", kIpCheckFailed, "  Warning", "IP device search processing failed."},
    {"Refused", "echo 'time<1ms TTL=64' > chkip.res", "256.0.0.1", kIpCheckFailed, "  Warning",
     "IP device search processing failed."},
    // The lower text is the caller's address, not cut.
    {"LongAddress", "echo 'time<1ms TTL=64' > chkip.res", "127.000.000.001.99", kIpCheckFound, "  Confirm",
     "Found this IP device successfully."},
};

TEST_P(IpCheckShown, ShowsTheWindowOfTheResultWithTheAddress)
{
    if (GetParam().script != nullptr) {
        WriteScript(GetParam().script);
    }
    ShownMessage message;
    AnswerNextMessage(message);
    EXPECT_EQ(CheckIpDevice(GetParam().address, true), GetParam().expected);
    EXPECT_TRUE(message.shown);
    EXPECT_EQ(message.caption, GetParam().caption);
    EXPECT_EQ(message.upper, GetParam().upper);
    EXPECT_EQ(message.lower, GetParam().address);
}

INSTANTIATE_TEST_SUITE_P(Results, IpCheckShown, ::testing::ValuesIn(kShownCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_P(IpCheckResult, ShowsNoWindowWithoutShowResult)
{
    WriteScript(GetParam().script);
    bool sawWindow = false;
    // Would end a window that opened by mistake, so that the test fails instead of hanging.
    QTimer guard;
    QObject::connect(&guard, &QTimer::timeout, [&] {
        if (QWidget* modal = QApplication::activeModalWidget()) {
            sawWindow = true;
            modal->close();
        }
    });
    guard.start(10);
    EXPECT_EQ(CheckIpDevice("127.0.0.1", false), GetParam().expected);
    // A window posted by mistake opens here, and the guard ends it.
    QCoreApplication::processEvents();
    EXPECT_FALSE(sawWindow);
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

TEST_F(IpCheckTest, ShippedScriptFindsTheLoopbackAddress)
{
    if (std::system("ping -c 1 -W 1 127.0.0.1 > /dev/null 2>&1") != 0) {
        GTEST_SKIP() << "ping does not work here";
    }
    std::filesystem::copy_file(qmrtest::SourceDir() / "app/link/chkip.bat", "chkip.bat");
    EXPECT_EQ(CheckIpDevice("127.0.0.1", false), kIpCheckFound);
    EXPECT_NE(qmrtest::ReadFile("chkip.res").find("ms TTL="), std::string::npos);
}

class FileContainsTextTest : public ::testing::Test {
protected:
    qmrtest::ScopedWorkDir dir_;
};

TEST_F(FileContainsTextTest, LineByLineSearch)
{
    EXPECT_FALSE(FileContainsText("missing.res", "ms TTL="));

    qmrtest::WriteFile("a.res", "first\r\n\r\nsecond time=1ms TTL=64\r\nthird\r\n");
    EXPECT_TRUE(FileContainsText("a.res", "ms TTL="));
    EXPECT_TRUE(FileContainsText("a.res", "third"));
    EXPECT_FALSE(FileContainsText("a.res", "fourth"));
    // A text never spans two lines.
    EXPECT_FALSE(FileContainsText("a.res", "first\r\n"));

    // A long line comes in reads of 160 characters; the text is found in a later piece.
    qmrtest::WriteFile("b.res", std::string(170, 'x') + "ms TTL=64\n");
    EXPECT_TRUE(FileContainsText("b.res", "ms TTL="));
    // ... but not across the cut.
    qmrtest::WriteFile("c.res", std::string(157, 'x') + "ms TTL=64\n");
    EXPECT_FALSE(FileContainsText("c.res", "ms TTL="));
}

} // namespace
