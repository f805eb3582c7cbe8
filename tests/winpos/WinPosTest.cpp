// Window positions through the exported entries, with "APPPOS.POS" in a private folder and
// a 1920 by 1080 primary screen.
#include "WinPosFile.h"

#include "bramble/Bramble.h"
#include "bramble/Kfile.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace {

using winpostest::Record;

const char kFile[] = "APPPOS.POS";

class WinPos : public ::testing::Test {
protected:
    void SetUp() override { WinPosSetScreenSize(1920, 1080); }
    void TearDown() override { WinPosSetScreenSize(0, 0); }

    qmrtest::ScopedWorkDir dir_;
};

// The four outputs of _GetWinPos, preset so that an untouched output shows.
struct Got {
    short left = 111, top = 222, width = 333, height = 444;
    int result = -1;
};

Got Get(const char* caption)
{
    Got g;
    g.result = _GetWinPos(&g.left, &g.top, &g.width, &g.height, caption);
    return g;
}

void ExpectUntouched(const Got& g)
{
    EXPECT_EQ(g.result, 0);
    EXPECT_EQ(g.left, 111);
    EXPECT_EQ(g.top, 222);
    EXPECT_EQ(g.width, 333);
    EXPECT_EQ(g.height, 444);
}

void ExpectHanded(const Got& g, short left, short top, short width, short height)
{
    EXPECT_EQ(g.result, 1);
    EXPECT_EQ(g.left, left);
    EXPECT_EQ(g.top, top);
    EXPECT_EQ(g.width, width);
    EXPECT_EQ(g.height, height);
}

TEST_F(WinPos, RecordIsStoredByteForByteAndReadBack)
{
    _StartWinPos();
    ASSERT_EQ(_SetWinPos(100, 50, 640, 480, "Main"), 1);
    ASSERT_EQ(_SetWinPos(-8, -32768, 32767, 1, "Negative"), 1);
    _ExitWinPos();
    EXPECT_EQ(qmrtest::ReadFile(kFile), Record(100, 50, 640, 480, "Main") + Record(-8, -32768, 32767, 1, "Negative"));

    _StartWinPos();
    ExpectHanded(Get("Main"), 100, 50, 640, 480);
    ExpectUntouched(Get("Negative")); // off the screen
    ExpectUntouched(Get("Unknown"));
}

struct ScreenCase {
    short left;
    short top;
    bool handed;
};

// The top-left corner must leave at least 16 pixels of the window on the screen.
TEST_F(WinPos, OnlyPositionsReachableOnTheScreenAreHandedBack)
{
    const ScreenCase cases[] = {
        {100, 50, true},    {0, 0, true},       {1904, 50, true},   {1905, 50, false},
        {-8, 50, false},    {100, 1064, true},  {100, 1065, false}, {100, -1, false},
        {1904, 1064, true}, {-32768, 0, false}, {32767, 0, false},
    };
    _StartWinPos();
    for (const ScreenCase& c : cases) {
        std::string caption = "Form " + std::to_string(c.left) + " " + std::to_string(c.top);
        SCOPED_TRACE(caption);
        ASSERT_EQ(_SetWinPos(c.left, c.top, 300, 200, caption.c_str()), 1);
        Got g = Get(caption.c_str());
        if (c.handed) {
            ExpectHanded(g, c.left, c.top, 300, 200);
        } else {
            ExpectUntouched(g);
        }
    }
}

TEST_F(WinPos, TrustedRecordsSkipTheScreenTest)
{
    qmrtest::WriteFile(kFile, Record(-8, 10, 400, 300, "Left", 1) + Record(5000, 10, 400, 300, "Right", -1) +
                                  Record(70000, 10, 400, 300, "Wide", 1) + Record(-8, 10, 400, 300, "Plain"));
    _StartWinPos();
    ExpectHanded(Get("Left"), -8, 10, 400, 300);
    ExpectHanded(Get("Right"), 5000, 10, 400, 300);
    // Only the low 16 bits reach the caller.
    ExpectHanded(Get("Wide"), static_cast<short>(70000), 10, 400, 300);
    ExpectUntouched(Get("Plain"));
}

TEST_F(WinPos, CaptionsAreCutToTwentyCharacters)
{
    const std::string twentyFive = "ABCDEFGHIJKLMNOPQRSTUVWXY";
    _StartWinPos();
    ASSERT_EQ(_SetWinPos(10, 20, 30, 40, twentyFive.c_str()), 1);
    ExpectHanded(Get(twentyFive.c_str()), 10, 20, 30, 40);
    ExpectHanded(Get(twentyFive.substr(0, 20).c_str()), 10, 20, 30, 40);
    ExpectUntouched(Get(twentyFive.substr(0, 19).c_str()));
    ExpectUntouched(Get("abcdefghijklmnopqrst")); // case counts

    // Another caption that agrees in its first 20 characters shares the record.
    ASSERT_EQ(_SetWinPos(11, 21, 31, 41, "ABCDEFGHIJKLMNOPQRST-other"), 1);
    ExpectHanded(Get(twentyFive.c_str()), 11, 21, 31, 41);
    _ExitWinPos();
    EXPECT_EQ(qmrtest::ReadFile(kFile), Record(11, 21, 31, 41, "ABCDEFGHIJKLMNOPQRST"));
}

TEST_F(WinPos, PartialRecordAtTheEndIsIgnoredAndDropped)
{
    std::string whole = Record(100, 100, 500, 400, "First") + Record(200, 200, 500, 400, "Second");
    qmrtest::WriteFile(kFile, whole + "\x01\x02\x03\x04");
    ASSERT_EQ(qmrtest::ReadFile(kFile).size(), 100u);
    _StartWinPos();
    ExpectHanded(Get("First"), 100, 100, 500, 400);
    ExpectHanded(Get("Second"), 200, 200, 500, 400);
    _ExitWinPos();
    EXPECT_EQ(qmrtest::ReadFile(kFile), whole);
}

TEST_F(WinPos, FileOrderIsFirstInsertionAndReplacementsKeepTheirPlace)
{
    // "A" twice in the file: the place of the first, the values of the last.
    qmrtest::WriteFile(kFile, Record(1, 1, 1, 1, "A") + Record(2, 2, 2, 2, "B") + Record(9, 9, 9, 9, "A") +
                                  Record(3, 3, 3, 3, "C"));
    _StartWinPos();
    ExpectHanded(Get("A"), 9, 9, 9, 9);
    ASSERT_EQ(_SetWinPos(20, 20, 20, 20, "B"), 1);
    ASSERT_EQ(_SetWinPos(4, 4, 4, 4, "D"), 1);
    ASSERT_EQ(_SetWinPos(21, 21, 21, 21, "B"), 1);
    _ExitWinPos();
    EXPECT_EQ(qmrtest::ReadFile(kFile), Record(9, 9, 9, 9, "A") + Record(21, 21, 21, 21, "B") +
                                            Record(3, 3, 3, 3, "C") + Record(4, 4, 4, 4, "D"));
}

TEST_F(WinPos, FirstRunWithoutAFileWritesItAtExit)
{
    _StartWinPos();
    ExpectUntouched(Get("Main"));
    ASSERT_EQ(_SetWinPos(100, 50, 640, 480, "Main"), 1);
    EXPECT_FALSE(std::filesystem::exists(kFile)); // nothing before the exit
    _ExitWinPos();
    EXPECT_EQ(qmrtest::ReadFile(kFile), Record(100, 50, 640, 480, "Main"));
}

TEST_F(WinPos, EmptyListGivesAnEmptyFile)
{
    _StartWinPos();
    _ExitWinPos();
    ASSERT_TRUE(std::filesystem::exists(kFile));
    EXPECT_EQ(std::filesystem::file_size(kFile), 0u);
}

TEST_F(WinPos, ListIsUsableAgainAfterExit)
{
    _StartWinPos();
    ASSERT_EQ(_SetWinPos(1, 2, 3, 4, "A"), 1);
    _ExitWinPos();
    ExpectUntouched(Get("A"));
    ASSERT_EQ(_SetWinPos(5, 6, 7, 8, "B"), 1);
    _ExitWinPos();
    EXPECT_EQ(qmrtest::ReadFile(kFile), Record(5, 6, 7, 8, "B"));
}

TEST_F(WinPos, SecondStartDropsUnsavedPositionsAndReloads)
{
    qmrtest::WriteFile(kFile, Record(1, 2, 3, 4, "A"));
    _StartWinPos();
    ASSERT_EQ(_SetWinPos(10, 20, 30, 40, "A"), 1);
    ASSERT_EQ(_SetWinPos(10, 20, 30, 40, "B"), 1);
    _StartWinPos();
    ExpectHanded(Get("A"), 1, 2, 3, 4);
    ExpectUntouched(Get("B"));
    _ExitWinPos();
    EXPECT_EQ(qmrtest::ReadFile(kFile), Record(1, 2, 3, 4, "A"));
}

// The program never does this; positions then go nowhere and the file stays as it was.
TEST_F(WinPos, CallsBeforeTheFirstStartChangeNothing)
{
    if (WinPosList() != nullptr) {
        GTEST_SKIP() << "a start ran earlier in this process";
    }
    const std::string before = Record(1, 2, 3, 4, "A");
    qmrtest::WriteFile(kFile, before);
    EXPECT_EQ(_SetWinPos(10, 20, 30, 40, "A"), 0);
    ExpectUntouched(Get("A"));
    _ExitWinPos();
    EXPECT_EQ(qmrtest::ReadFile(kFile), before);
    _StartWinPos();
    ExpectHanded(Get("A"), 1, 2, 3, 4);
}

// A caption field without a NUL (or longer than 20) is cut as a stored caption is.
TEST_F(WinPos, CaptionWithoutNulIsReadWithinItsField)
{
    const std::string noNul(24, 'X');
    const std::string twentyTwo = "YYYYYYYYYYYYYYYYYYYYYY";
    qmrtest::WriteFile(kFile, Record(5, 6, 7, 8, noNul) + Record(9, 9, 9, 9, twentyTwo));
    _StartWinPos();
    ExpectHanded(Get(noNul.c_str()), 5, 6, 7, 8);
    ExpectHanded(Get(std::string(20, 'X').c_str()), 5, 6, 7, 8);
    ExpectHanded(Get(twentyTwo.c_str()), 9, 9, 9, 9);
    _ExitWinPos();
    EXPECT_EQ(qmrtest::ReadFile(kFile),
              Record(5, 6, 7, 8, std::string(20, 'X')) + Record(9, 9, 9, 9, std::string(20, 'Y')));
}

TEST_F(WinPos, ShortAndOddFilesLoadWhatIsWhole)
{
    struct FileCase {
        const char* name;
        std::string bytes;
        std::size_t records;
    };
    const FileCase cases[] = {
        {"empty", "", 0},
        {"one byte short", Record(1, 1, 1, 1, "A").substr(0, 47), 0},
        {"one byte long", Record(1, 1, 1, 1, "A") + "Z", 1},
        {"empty caption", Record(1, 1, 1, 1, ""), 1},
    };
    for (const FileCase& c : cases) {
        SCOPED_TRACE(c.name);
        qmrtest::WriteFile(kFile, c.bytes);
        _StartWinPos();
        _ExitWinPos();
        EXPECT_EQ(qmrtest::ReadFile(kFile).size(), c.records * 48);
    }
}

TEST_F(WinPos, ManyRecordsRoundTrip)
{
    std::string bytes;
    for (int i = 0; i < 2000; ++i) {
        bytes += Record(i % 1900, i % 1000, 100 + i, 50 + i, "Window " + std::to_string(i));
    }
    qmrtest::WriteFile(kFile, bytes);
    _StartWinPos();
    ExpectHanded(Get("Window 1999"), 1999 % 1900, 999, 2099, 2049);
    _ExitWinPos();
    EXPECT_EQ(qmrtest::ReadFile(kFile), bytes);
}

TEST_F(WinPos, UnopenableFileLeavesTheListEmptyAndIsNotWritten)
{
    std::filesystem::create_directory(kFile);
    _StartWinPos();
    ASSERT_EQ(_SetWinPos(1, 2, 3, 4, "A"), 1);
    _ExitWinPos();
    EXPECT_TRUE(std::filesystem::is_directory(kFile));
    ExpectUntouched(Get("A")); // cleared all the same
}

TEST(WinPosNoScreen, WithoutAGuiApplicationOnlyTrustedRecordsAreHandedBack)
{
    qmrtest::ScopedWorkDir dir;
    WinPosSetScreenSize(0, 0);
    qmrtest::WriteFile(kFile, Record(100, 50, 640, 480, "Plain") + Record(100, 50, 640, 480, "Trusted", 1));
    _StartWinPos();
    ExpectUntouched(Get("Plain"));
    ExpectHanded(Get("Trusted"), 100, 50, 640, 480);
}

} // namespace
