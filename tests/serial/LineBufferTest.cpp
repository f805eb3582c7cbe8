// The line buffer fed without a device, and the settings-text reader.

#include "bramble/Scom.h"
#include "platform/CommSettings.h"

#include <gtest/gtest.h>

#include <cstring>
#include <deque>
#include <ostream>
#include <string>

using bramble::LineBuffer;
using qmr::platform::CommSettings;
using qmr::platform::ParseCommSettings;

namespace {

// Reads that hand out scripted chunks, at most the room offered; counts the calls.
struct ScriptedReads {
    std::deque<std::string> chunks;
    int calls = 0;

    int operator()(char* dst, int room)
    {
        ++calls;
        if (chunks.empty()) {
            return 0; // a read that timed out with nothing
        }
        std::string& c = chunks.front();
        int n = std::min(room, static_cast<int>(c.size()));
        std::memcpy(dst, c.data(), static_cast<size_t>(n));
        c.erase(0, static_cast<size_t>(n));
        if (c.empty()) {
            chunks.pop_front();
        }
        return n;
    }
};

std::string Receive(LineBuffer& lb, ScriptedReads& reads, const char* term = "\n", int max = 128)
{
    char buf[256];
    int r = lb.ReceiveLine(term, buf, max, [&](char* d, int room) { return reads(d, room); });
    return r < 0 ? "<none>" : std::string(buf, static_cast<size_t>(r));
}

TEST(LineBuffer, ABufferedLineIsHandedOutWithoutReading)
{
    LineBuffer lb;
    ScriptedReads reads{{"A\nB\nC"}};
    EXPECT_EQ(Receive(lb, reads), "A");
    EXPECT_EQ(reads.calls, 1);
    EXPECT_EQ(Receive(lb, reads), "B");
    EXPECT_EQ(reads.calls, 1);
    EXPECT_EQ(Receive(lb, reads), "<none>"); // "C" is incomplete; the read brought nothing
    EXPECT_EQ(reads.calls, 2);
    EXPECT_EQ(lb.Count(), 1);
    EXPECT_STREQ(lb.Text(), "C");
}

TEST(LineBuffer, AFailedReadKeepsWhatIsBuffered)
{
    LineBuffer lb;
    ScriptedReads reads{{"PART"}};
    EXPECT_EQ(Receive(lb, reads), "<none>");
    char buf[8];
    EXPECT_EQ(lb.ReceiveLine("\n", buf, 7, [](char*, int) { return -1; }), -1);
    EXPECT_STREQ(lb.Text(), "PART");
}

TEST(LineBuffer, AFullBufferIsDroppedBeforeTheNextReadWithTheRestOfItsLine)
{
    LineBuffer lb;
    ScriptedReads reads{{std::string(255, 'z'), "OK\n", "NEXT\n"}};
    EXPECT_EQ(Receive(lb, reads), "<none>");
    EXPECT_EQ(lb.Count(), 255);
    EXPECT_EQ(Receive(lb, reads), "<none>"); // "OK" ends the dropped line
    EXPECT_EQ(lb.Count(), 0);
    EXPECT_EQ(Receive(lb, reads), "NEXT");
}

struct DropCase {
    const char* term;
    std::string tail; // the last bytes of a full buffer
    std::string kept;
};

void PrintTo(const DropCase& c, std::ostream* os)
{
    *os << "term of " << std::strlen(c.term) << ", tail of " << c.tail.size();
}

class LineBufferDrop : public ::testing::TestWithParam<DropCase> {};

TEST_P(LineBufferDrop, KeepsOnlyABeginningOfTheTerminator)
{
    const DropCase& c = GetParam();
    LineBuffer lb;
    ScriptedReads reads{{std::string(255 - c.tail.size(), 'q') + c.tail}};
    EXPECT_EQ(Receive(lb, reads, c.term), "<none>");
    lb.DropUnterminated(c.term);
    EXPECT_EQ(std::string(lb.Text(), static_cast<size_t>(lb.Count())), c.kept);
}

INSTANTIATE_TEST_SUITE_P(Table, LineBufferDrop,
                         ::testing::Values(DropCase{"\r\n", "\r", "\r"}, DropCase{"\r\n", "x", ""},
                                           DropCase{"\n", "\r", ""}, DropCase{"", "abc", ""},
                                           DropCase{"ab", "a", "a"}));

TEST(LineBuffer, EmptyTerminatorEndsNoLine)
{
    LineBuffer lb;
    ScriptedReads reads{{"abc"}};
    EXPECT_EQ(Receive(lb, reads, ""), "<none>");
    EXPECT_FALSE(lb.HasLine(""));
}

TEST(LineBuffer, PendingBytesCountTowardsALine)
{
    LineBuffer lb;
    ScriptedReads reads{{"AB\r"}};
    EXPECT_EQ(Receive(lb, reads, "\r\n"), "<none>");
    lb.FreeSpace()[0] = '\n';
    EXPECT_FALSE(lb.HasLine("\r\n"));
    EXPECT_TRUE(lb.HasLine("\r\n", 1));
}

struct ParseCase {
    const char* text;
    bool ok;
    unsigned baud = 0; // 0: not set
    char parity = 0;
    int data = 0;
    int stop = 0;
};

void PrintTo(const ParseCase& c, std::ostream* os)
{
    *os << '"' << c.text << '"';
}

class CommSettingsText : public ::testing::TestWithParam<ParseCase> {};

TEST_P(CommSettingsText, IsReadAsTheDeviceControlTextIsRead)
{
    const ParseCase& c = GetParam();
    CommSettings s;
    ASSERT_EQ(ParseCommSettings(c.text, s), c.ok) << c.text;
    if (!c.ok) {
        return;
    }
    EXPECT_EQ(s.baud.value_or(0), c.baud) << c.text;
    EXPECT_EQ(s.parity.value_or(0), c.parity) << c.text;
    EXPECT_EQ(s.dataBits.value_or(0), c.data) << c.text;
    EXPECT_EQ(s.stopTenths.value_or(0), c.stop) << c.text;
}

INSTANTIATE_TEST_SUITE_P(
    Table, CommSettingsText,
    ::testing::Values(ParseCase{"baud=19200 parity=N data=8 stop=1", true, 19200, 'N', 8, 10},
                      ParseCase{"BAUD=9600 PARITY=e DATA=7 STOP=2", true, 9600, 'E', 7, 20},
                      ParseCase{"  baud=96\tparity=o  ", true, 9600, 'O'}, ParseCase{"COM1: baud=115200", true, 115200},
                      ParseCase{"com12 data=5 stop=1.5", true, 0, 0, 5, 15},
                      ParseCase{"baud=19200 to=on xon=off odsr=off octs=on dtr=hs rts=tg idsr=off", true, 19200},
                      ParseCase{"96,n,8,1", true, 9600, 'N', 8, 10},
                      ParseCase{"COM2:19,e,7,2,x", true, 19200, 'E', 7, 20}, ParseCase{"1200", true, 1200},
                      ParseCase{"24, m", true, 2400, 'M'}, ParseCase{"96,,8", true, 9600, 0, 8}, ParseCase{"", false},
                      ParseCase{"   ", false}, ParseCase{"COM1:", false}, ParseCase{"COM1baud=9600", false},
                      ParseCase{"baud=", false}, ParseCase{"baud=0", false}, ParseCase{"baud=-9600", false},
                      ParseCase{"baud=99999999999", false}, ParseCase{"baud=19200x", false},
                      ParseCase{"baud = 19200", false}, ParseCase{"parity=X", false}, ParseCase{"data=9", false},
                      ParseCase{"data=4", false}, ParseCase{"stop=3", false}, ParseCase{"stop=1.0", false},
                      ParseCase{"xon=yes", false}, ParseCase{"dtr=tg", false}, ParseCase{"speed=19200", false},
                      ParseCase{"=8", false}, ParseCase{"96,n,8,1,q", false}, ParseCase{"96,n,8,1,x,1", false},
                      ParseCase{",n,8,1", false}, ParseCase{"96,n,8,1 parity", false}));

TEST(CommSettingsText, RetryLettersOfTheShortForm)
{
    CommSettings s;
    ASSERT_TRUE(ParseCommSettings("96,n,8,1,p", s));
    EXPECT_EQ(s.outputCtsFlow, std::optional<bool>(true));
    EXPECT_EQ(s.rts, std::optional<char>('H'));
    ASSERT_TRUE(ParseCommSettings("96,n,8,1,x", s));
    EXPECT_EQ(s.xonXoff, std::optional<bool>(true));
    EXPECT_EQ(s.outputCtsFlow, std::optional<bool>(false));
    ASSERT_TRUE(ParseCommSettings("96,n,8,1", s));
    EXPECT_FALSE(s.xonXoff.has_value()); // a later parse starts afresh
}

} // namespace
