// The receive FIFO and the stream with its reader thread, over a scripted transport that
// hands out prepared lines (and can fail a read, which no real carrier does on demand).
#include "app/link/Comtcpip.h"
#include "app/link/Kstream.h"
#include "app/link/Strmthread.h"
#include "bramble/Bramble.h"

#include "LinkPeers.h"
#include "TestSupport.h"

#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <deque>
#include <gtest/gtest.h>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <thread>

using namespace std::chrono_literals;

namespace {

// A transport whose receive gives the queued lines one by one; "!throw" makes it fail.
class ScriptedCom : public KCom {
public:
    void Queue(const std::string& line)
    {
        std::lock_guard<std::mutex> lock(mutex_);
        lines_.push_back(line);
        cv_.notify_all();
    }

    std::string Receive(const char* terminator, int timeoutMs) override
    {
        receives_.fetch_add(1);
        std::unique_lock<std::mutex> lock(mutex_);
        lastTerminator_ = terminator;
        lastTimeout_ = timeoutMs;
        if (!cv_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [this] { return !lines_.empty(); })) {
            return {};
        }
        std::string line = lines_.front();
        lines_.pop_front();
        if (line == "!throw") {
            throw std::runtime_error("read failed");
        }
        return line;
    }
    bool Send(const char* text) override
    {
        std::lock_guard<std::mutex> lock(mutex_);
        sent_ += text;
        return sendWorks_;
    }
    bool Open() override { return true; }
    void Close() override { closes_->fetch_add(1); }
    bool IsOpen() override { return true; }
    const char* GetName() override { return "TEST"; }
    bool IsPresent() override { return true; }

    std::mutex mutex_;
    std::condition_variable cv_;
    std::deque<std::string> lines_;
    std::string sent_;
    std::string lastTerminator_;
    int lastTimeout_ = 0;
    bool sendWorks_ = true;
    std::atomic<int> receives_{0};
    std::shared_ptr<std::atomic<int>> closes_ = std::make_shared<std::atomic<int>>(0);
};

std::string TakeAll()
{
    char buffer[81];
    int n = RxFifoGet(buffer, 80);
    return std::string(buffer, static_cast<size_t>(n));
}

struct LostCount {
    std::atomic<int> lost{0};
    std::atomic<int> notices{0};
    LostCount()
    {
        SetLinkLostHandler([this] { lost.fetch_add(1); });
        SetLinkNoticeHandler([this](const std::string&, const std::string&) { notices.fetch_add(1); });
    }
    ~LostCount()
    {
        SetLinkLostHandler(nullptr);
        SetLinkNoticeHandler(nullptr);
    }
};

} // namespace

TEST(RxFifo, PutIsAllOrNothingAndTakesKeepTheRest)
{
    ASSERT_TRUE(RxFifoCreate(160));
    ASSERT_TRUE(RxFifoCreate(10)); // the one FIFO stays
    std::string hundred(100, 'a'), sixty(60, 'b');
    int n = 100;
    RxFifoPutCallback(hundred.data(), &n);
    n = 60;
    RxFifoPutCallback(sixty.data(), &n);
    EXPECT_EQ(RxFifoCount(), 160);
    char one = 'c';
    n = 1;
    RxFifoPutCallback(&one, &n); // no room: lost whole
    EXPECT_EQ(RxFifoCount(), 160);

    char buffer[81];
    std::memset(buffer, 'x', sizeof buffer);
    EXPECT_EQ(RxFifoGet(buffer, 80), 80);
    EXPECT_EQ(std::string(buffer), std::string(80, 'a'));
    EXPECT_EQ(RxFifoGet(buffer, 80), 80);
    EXPECT_EQ(std::string(buffer), std::string(20, 'a') + std::string(60, 'b'));
    EXPECT_EQ(RxFifoGet(buffer, 80), 0);
    EXPECT_EQ(RxFifoCount(), 0);

    std::string tooLong(161, 'z');
    n = 161;
    RxFifoPutCallback(tooLong.data(), &n);
    EXPECT_EQ(RxFifoCount(), 0);
    RxFifoDelete();
}

TEST(RxFifo, WithoutAFifoNothingIsKept)
{
    RxFifoDelete();
    char text[] = "abc";
    int n = 3;
    RxFifoPutCallback(text, &n);
    RxFifoPutCallback(nullptr, &n);
    EXPECT_EQ(RxFifoCount(), 0);
    char buffer[8] = "keep";
    EXPECT_EQ(RxFifoGet(buffer, 4), 0);
    EXPECT_STREQ(buffer, "keep");
}

TEST(RxFifo, OneProducerOneConsumerKeepOrder)
{
    ASSERT_TRUE(RxFifoCreate(160));
    constexpr int kLines = 20000;
    std::thread producer([] {
        for (int i = 0; i < kLines; ++i) {
            char line[8];
            int n = std::snprintf(line, sizeof line, "%05d", i % 100000);
            // A line that finds no room is lost; the producer here waits for room instead.
            while (RxFifoCount() > 160 - n) {
                std::this_thread::yield();
            }
            RxFifoPutCallback(line, &n);
        }
    });
    std::string got;
    auto deadline = std::chrono::steady_clock::now() + 30s;
    while (got.size() < kLines * 5u && std::chrono::steady_clock::now() < deadline) {
        char buffer[81];
        int n = RxFifoGet(buffer, 80);
        got.append(buffer, static_cast<size_t>(n));
    }
    producer.join();
    ASSERT_EQ(got.size(), kLines * 5u);
    for (int i = 0; i < kLines; i += 997) {
        char line[8];
        std::snprintf(line, sizeof line, "%05d", i);
        EXPECT_EQ(got.substr(static_cast<size_t>(i) * 5, 5), line);
    }
    RxFifoDelete();
}

TEST(KStream, TerminatorKeepsAtMostTwoCharacters)
{
    struct Case {
        const char* given;
        const char* kept;
    };
    for (Case c : {Case{"\r\n", "\r\n"}, Case{"\n", "\n"}, Case{"\r\nX", "\r\n"}, Case{"", ""}, Case{nullptr, ""}}) {
        auto* com = new ScriptedCom;
        KStreamCom stream(0, com);
        stream.SetTerminator(c.given);
        EXPECT_STREQ(stream.Terminator(), c.kept);
    }
}

TEST(KStreamCom, LinesGoIntoTheFifoBackToBackAndEmptyOnesAreSkipped)
{
    qmrtest::ScopedWorkDir dir;
    ASSERT_EQ(_StartLog(0, 0), 1);
    auto* com = new ScriptedCom;
    {
        KStreamCom stream(0, com);
        ASSERT_TRUE(stream.Opened());
        stream.SetTerminator("\n");
        for (const char* line : {"", "0", "", "+1.5"}) {
            com->Queue(line);
        }
        EXPECT_EQ(stream.GetRxCount(), 0); // nothing is read before the start
        stream.StartRecv();
        ASSERT_TRUE(qmrtest::WaitFor([&] { return stream.GetRxCount() == 5; }, 2s));
        char buffer[81];
        EXPECT_EQ(stream.Read(buffer, 80), 5);
        EXPECT_STREQ(buffer, "0+1.5");
        EXPECT_EQ(stream.Read(buffer, 80), -1);
        std::lock_guard<std::mutex> lock(com->mutex_);
        EXPECT_EQ(com->lastTerminator_, "\n");
        EXPECT_EQ(com->lastTimeout_, 80);
    }
    _EndLog();
    EXPECT_TRUE(linktest::LogHas("RECV", "0"));
    EXPECT_TRUE(linktest::LogHas("RECV", "+1.5"));
    EXPECT_FALSE(linktest::LogHas("RECV"));
}

TEST(KStreamCom, LineFeedsBecomeBlanksBeforeTheLineIsHandedOn)
{
    auto* com = new ScriptedCom;
    KStreamCom stream(0, com);
    stream.SetTerminator("\r");
    com->Queue("A\nB");
    stream.StartRecv();
    ASSERT_TRUE(qmrtest::WaitFor([&] { return RxFifoCount() == 3; }, 2s));
    EXPECT_EQ(TakeAll(), "A B");
}

TEST(KStreamCom, ALineLongerThanTheFifoNeverEntersIt)
{
    auto* com = new ScriptedCom;
    KStreamCom stream(0, com);
    com->Queue(std::string(161, 'x'));
    com->Queue("ok");
    stream.StartRecv();
    ASSERT_TRUE(qmrtest::WaitFor([&] { return RxFifoCount() > 0; }, 2s));
    EXPECT_EQ(TakeAll(), "ok");
}

struct EndCase {
    const char* name;
    const char* line;
};

void PrintTo(const EndCase& c, std::ostream* os)
{
    *os << c.name;
}

class ReaderEnds : public ::testing::TestWithParam<EndCase> {};

TEST_P(ReaderEnds, AndAsksForTheLocalStateWithoutANotice)
{
    LostCount count;
    auto* com = new ScriptedCom;
    KStreamCom stream(0, com);
    com->Queue("before");
    com->Queue(GetParam().line);
    com->Queue("after");
    stream.StartRecv();
    ASSERT_TRUE(qmrtest::WaitFor([&] { return count.lost.load() == 1; }, 2s));
    int receives = com->receives_.load();
    EXPECT_EQ(TakeAll(), "before");
    EXPECT_EQ(count.notices.load(), 0);
    // The reader has ended: the queued line stays unread.
    EXPECT_EQ(com->receives_.load(), receives);
    std::lock_guard<std::mutex> lock(com->mutex_);
    EXPECT_EQ(com->lines_.size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(Reader, ReaderEnds,
                         ::testing::Values(EndCase{"disconnected", "DISCONNECTED"}, EndCase{"readError", "!throw"}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(KStreamCom, StopBeforeTheStartEndsTheReaderWithoutReading)
{
    LostCount count;
    auto* com = new ScriptedCom;
    com->Queue("never");
    auto closes = com->closes_;
    auto begin = std::chrono::steady_clock::now();
    {
        KStreamCom stream(0, com);
        ASSERT_TRUE(stream.Opened());
    }
    EXPECT_LT(std::chrono::steady_clock::now() - begin, 500ms);
    EXPECT_EQ(closes->load(), 1); // the stream closed and deleted its transport
    EXPECT_EQ(count.lost.load(), 0);
    EXPECT_EQ(RxFifoCount(), 0); // the FIFO went with the stream
}

TEST(KStreamCom, WriteReportsWhetherTheTransportSent)
{
    auto* com = new ScriptedCom;
    KStreamCom stream(0, com);
    EXPECT_EQ(stream.Write(":ISI:MODE?\n", 999), 1);
    EXPECT_EQ(com->sent_, ":ISI:MODE?\n");
    com->sendWorks_ = false;
    EXPECT_EQ(stream.Write("*IDN?\n", 6), 0);
    std::lock_guard<std::mutex> lock(com->mutex_);
    EXPECT_EQ(stream.GetName(), "TEST");
    EXPECT_TRUE(stream.IsReady());
}
