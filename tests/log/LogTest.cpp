// The log through its exported entries: line format, file naming, start and end, threads.
#include "LogTestClock.h"

#include "TestSupport.h"

#include <QDate>
#include <gtest/gtest.h>

#include <atomic>
#include <climits>
#include <filesystem>
#include <optional>
#include <ostream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

using logtest::kLogName;
using logtest::kStamp;

std::string Logged()
{
    return qmrtest::ReadFile(kLogName);
}

// One call of _WriteLog (no number) or _WriteNumLog (number), and the line it must give.
struct LineCase {
    const char* name;
    const char* tag;
    std::optional<std::string> text; // none: a null text
    std::optional<int> number;       // set: _WriteNumLog
    std::string expected;            // the line after the date and time
};

void PrintTo(const LineCase& c, std::ostream* os)
{
    *os << c.name;
}

class LogLine : public ::testing::TestWithParam<LineCase> {};

TEST_P(LogLine, IsWrittenByteForByte)
{
    const LineCase& c = GetParam();
    qmrtest::ScopedWorkDir dir;
    logtest::FixedClockScope clock;
    ASSERT_EQ(_StartLog(0, 0), 1);

    std::string tag = c.tag;
    std::string text = c.text.value_or("");
    unsigned char result;
    if (c.number) {
        result = _WriteNumLog(tag.data(), *c.number);
    } else {
        result = _WriteLog(tag.data(), c.text ? text.data() : nullptr);
    }
    EXPECT_EQ(result, 1);
    EXPECT_EQ(Logged(), kStamp + c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Format, LogLine,
    ::testing::Values(LineCase{"TagAndText", "ComClose", "OK", {}, "ComClose OK\r\n"},
                      LineCase{"NullText", "ComClose", {}, {}, "ComClose\r\n"},
                      LineCase{"EmptyText", "ComClose", "", {}, "ComClose \r\n"},
                      LineCase{"TagWithBlank", "TimerFuncStart ", {}, 12, "TimerFuncStart  <12>\r\n"},
                      LineCase{"Negative", "csMODEQ", {}, -5, "csMODEQ <-5>\r\n"},
                      LineCase{"Smallest", "N", {}, INT_MIN, "N <-2147483648>\r\n"},
                      LineCase{"Largest", "N", {}, INT_MAX, "N <2147483647>\r\n"},
                      LineCase{"CarriageReturnKept", "RECV", "A\rB", {}, "RECV A\rB\r\n"},
                      LineCase{"LineFeedsBlanked", "RE\nCV", "A\nB\n", {}, "RE CV A B \r\n"},
                      LineCase{"TwoWordTag", "SEND ERROR", {}, {}, "SEND ERROR\r\n"},
                      LineCase{
                          "LongText", "RECV", std::string(3000, 'x'), {}, "RECV " + std::string(3000, 'x') + "\r\n"}),
    [](const ::testing::TestParamInfo<LineCase>& info) { return std::string(info.param.name); });

struct StampCase {
    int year, month, day, hour, minute, second;
    const char* date;
    const char* time;
};

TEST(LogStamp, DateAndTimeTexts)
{
    const StampCase cases[] = {
        {2026, 12, 8, 9, 5, 7, "2026/12/08", "9:05:07"},
        {2026, 12, 8, 0, 0, 0, "2026/12/08", "0:00:00"},
        {2027, 1, 31, 23, 59, 59, "2027/01/31", "23:59:59"},
        {999, 1, 1, 10, 10, 10, "0999/01/01", "10:10:10"},
    };
    for (const StampCase& c : cases) {
        qmr::platform::LocalDateTime t;
        t.year = c.year;
        t.month = c.month;
        t.day = c.day;
        t.hour = c.hour;
        t.minute = c.minute;
        t.second = c.second;
        EXPECT_EQ(LogDateText(t), c.date);
        EXPECT_EQ(LogTimeText(t), c.time);
    }
}

TEST(Log, LineFeedsBecomeBlanksInCallersStringsAlsoWhileOff)
{
    qmrtest::ScopedWorkDir dir;
    char tag[] = "Recv\nCallbackD";
    char text[] = "A\nB\n";
    EXPECT_EQ(_WriteLog(tag, text), 0);
    EXPECT_STREQ(tag, "Recv CallbackD");
    EXPECT_STREQ(text, "A B ");
    EXPECT_FALSE(std::filesystem::exists("log"));
}

TEST(Log, NothingWrittenBeforeStartOrAfterEnd)
{
    qmrtest::ScopedWorkDir dir;
    logtest::FixedClockScope clock;
    char tag[] = "Before";
    EXPECT_EQ(_WriteLog(tag, nullptr), 0);
    EXPECT_EQ(_WriteNumLog(tag, 1), 0);
    EXPECT_FALSE(std::filesystem::exists("log"));

    ASSERT_EQ(_StartLog(0, 0), 1);
    char during[] = "During";
    EXPECT_EQ(_WriteLog(during, nullptr), 1);
    _EndLog();
    char after[] = "After";
    EXPECT_EQ(_WriteLog(after, nullptr), 0);
    EXPECT_EQ(_WriteNumLog(after, 2), 0);
    _EndLog(); // a second end is harmless
    EXPECT_EQ(Logged(), std::string(kStamp) + "During\r\n");
}

TEST(Log, StartMakesTheMissingFolder)
{
    qmrtest::ScopedWorkDir dir;
    logtest::FixedClockScope clock;
    ASSERT_FALSE(std::filesystem::exists("log"));
    EXPECT_EQ(_StartLog(0, 0), 1);
    EXPECT_TRUE(std::filesystem::is_directory("log"));
    EXPECT_TRUE(std::filesystem::is_regular_file(kLogName));
}

TEST(Log, StartFailsWhenTheFileCannotBeWritten)
{
    qmrtest::ScopedWorkDir dir;
    logtest::FixedClockScope clock;
    // A folder in the file's place cannot be opened for appending, not even by root.
    std::filesystem::create_directories(kLogName);
    EXPECT_EQ(_StartLog(0, 0), 0);
    char tag[] = "Lost";
    EXPECT_EQ(_WriteLog(tag, nullptr), 0);
}

TEST(Log, StartFailsWhenTheFolderCannotBeMade)
{
    qmrtest::ScopedWorkDir dir;
    logtest::FixedClockScope clock;
    qmrtest::WriteFile("log", "a file where the folder belongs");
    EXPECT_EQ(_StartLog(0, 0), 0);
    EXPECT_EQ(qmrtest::ReadFile("log"), "a file where the folder belongs");
}

TEST(Log, StartsOnOneDayAppendToOneFile)
{
    qmrtest::ScopedWorkDir dir;
    logtest::FixedClockScope clock;
    char first[] = "First";
    char second[] = "Second";
    char third[] = "Third";
    ASSERT_EQ(_StartLog(0, 0), 1);
    _WriteLog(first, nullptr);
    _EndLog();
    ASSERT_EQ(_StartLog(0, 0), 1);
    _WriteLog(second, nullptr);
    // A start while on reopens the same day's file.
    ASSERT_EQ(_StartLog(0, 0), 1);
    _WriteLog(third, nullptr);
    std::string stamp = kStamp;
    EXPECT_EQ(Logged(), stamp + "First\r\n" + stamp + "Second\r\n" + stamp + "Third\r\n");
}

TEST(Log, FileOfTheStartDayIsKeptPastMidnight)
{
    qmrtest::ScopedWorkDir dir;
    logtest::FixedClockScope clock;
    logtest::SetClock(2026, 12, 8, 23, 59, 59);
    ASSERT_EQ(_StartLog(0, 0), 1);
    char tag[] = "Tick";
    _WriteLog(tag, nullptr);
    logtest::SetClock(2026, 12, 9, 0, 0, 1);
    _WriteLog(tag, nullptr);
    EXPECT_EQ(Logged(), "2026/12/08 23:59:59 Tick\r\n2026/12/09 0:00:01 Tick\r\n");
    EXPECT_FALSE(std::filesystem::exists("log/2026-12-09.log"));
}

TEST(Log, SuffixIsTheLowByteOfItsArgument)
{
    struct SuffixCase {
        int suffix;
        const char* letter;
    };
    for (SuffixCase c : {SuffixCase{65, "A"}, SuffixCase{0x100 + 66, "B"}, SuffixCase{256, ""}}) {
        SCOPED_TRACE(c.suffix);
        qmrtest::ScopedWorkDir dir;
        // Today's date by the system clock, read on both sides of the start to stand a midnight.
        QString before = QDate::currentDate().toString(QStringLiteral("yyyy-MM-dd"));
        ASSERT_EQ(_StartLog(0, c.suffix), 1);
        QString after = QDate::currentDate().toString(QStringLiteral("yyyy-MM-dd"));
        char tag[] = "Suffix";
        _WriteLog(tag, nullptr);
        _EndLog();
        auto name = [&](const QString& date) { return "log/" + date.toStdString() + c.letter + ".log"; };
        EXPECT_TRUE(std::filesystem::exists(name(before)) || std::filesystem::exists(name(after)));
        int files = 0;
        for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("log")) {
            ++files;
        }
        EXPECT_EQ(files, 1);
    }
}

TEST(Log, LinesCarryTheSystemClockWhenNoneIsSet)
{
    qmrtest::ScopedWorkDir dir;
    QString before = QDate::currentDate().toString(QStringLiteral("yyyy/MM/dd"));
    ASSERT_EQ(_StartLog(0, 0), 1);
    char tag[] = "Now";
    _WriteLog(tag, nullptr);
    _EndLog();
    QString after = QDate::currentDate().toString(QStringLiteral("yyyy/MM/dd"));
    std::string line;
    for (const auto& entry : std::filesystem::directory_iterator("log")) {
        line = qmrtest::ReadFile(entry.path());
    }
    ASSERT_GE(line.size(), 11u);
    std::string date = line.substr(0, 10);
    EXPECT_TRUE(date == before.toStdString() || date == after.toStdString()) << line;
    EXPECT_TRUE(line.ends_with(" Now\r\n")) << line;
}

// Three threads write at once: every line arrives whole, none is lost, each thread's in order.
TEST(LogThreads, ThreeWritersNeitherTearNorLoseLines)
{
    qmrtest::ScopedWorkDir dir;
    logtest::FixedClockScope clock;
    ASSERT_EQ(_StartLog(0, 0), 1);
    constexpr int kThreads = 3;
    constexpr int kLines = 3000;
    const std::string padding(150, 'x');
    std::atomic<int> failures{0};
    std::vector<std::thread> writers;
    for (int t = 0; t < kThreads; ++t) {
        writers.emplace_back([&, t] {
            for (int i = 0; i < kLines; ++i) {
                std::string tag = "T" + std::to_string(t);
                std::string text = std::to_string(i) + " " + padding;
                if (_WriteLog(tag.data(), text.data()) != 1) {
                    ++failures;
                }
            }
        });
    }
    for (std::thread& w : writers) {
        w.join();
    }
    _EndLog();
    EXPECT_EQ(failures, 0);

    std::istringstream in(Logged());
    std::string line;
    int next[kThreads] = {};
    int total = 0;
    while (std::getline(in, line)) {
        ++total;
        ASSERT_TRUE(line.starts_with(kStamp)) << line;
        ASSERT_TRUE(line.ends_with(" " + padding + "\r")) << line;
        std::istringstream fields(line.substr(sizeof kStamp - 1));
        std::string tag;
        int index = -1;
        fields >> tag >> index;
        ASSERT_EQ(tag.size(), 2u) << line;
        int t = tag[1] - '0';
        ASSERT_TRUE(tag[0] == 'T' && t >= 0 && t < kThreads) << line;
        ASSERT_EQ(index, next[t]) << line;
        ++next[t];
    }
    EXPECT_EQ(total, kThreads * kLines);
}

// A line racing with the end of logging either reaches the file whole or reports false.
TEST(LogThreads, EndWhileOthersWriteLosesNoReportedLine)
{
    qmrtest::ScopedWorkDir dir;
    logtest::FixedClockScope clock;
    ASSERT_EQ(_StartLog(0, 0), 1);
    std::atomic<int> handed{0};
    std::atomic<bool> ended{false};
    std::vector<std::thread> writers;
    for (int t = 0; t < 3; ++t) {
        writers.emplace_back([&] {
            char tag[] = "Race";
            char text[] = "line";
            // Keep writing until some lines have been refused after the end.
            int refused = 0;
            while (refused < 50) {
                if (_WriteLog(tag, text) == 1) {
                    ++handed;
                } else if (ended) {
                    ++refused;
                }
            }
        });
    }
    ASSERT_TRUE(qmrtest::WaitFor([&] { return handed.load() >= 500; }, std::chrono::seconds(20)));
    _EndLog();
    ended = true;
    for (std::thread& w : writers) {
        w.join();
    }
    std::string content = Logged();
    std::string line = std::string(kStamp) + "Race line\r\n";
    ASSERT_EQ(content.size() % line.size(), 0u);
    for (std::size_t at = 0; at < content.size(); at += line.size()) {
        ASSERT_EQ(content.compare(at, line.size(), line), 0) << at;
    }
    EXPECT_EQ(static_cast<int>(content.size() / line.size()), handed.load());
}

} // namespace
