// Whole links built by the factories: transport, stream, reader thread, receive FIFO and
// communication thread, against a TCP peer on 127.0.0.1 and a pseudo-terminal COM port.
#include "app/link/Comapl.h"
#include "app/link/Comtcpip.h"
#include "app/link/Comthread.h"
#include "app/link/Kstream.h"
#include "app/link/Strmthread.h"
#include "bramble/Bramble.h"

#include "LinkPeers.h"
#include "QtSupport.h"
#include "TestSupport.h"

#include <QAbstractButton>
#include <QMessageBox>
#include <QTest>
#include <atomic>
#include <gtest/gtest.h>
#include <mutex>

using namespace std::chrono_literals;

namespace {

std::mutex gMutex;
std::vector<std::string> gHandOvers;
std::atomic<int> gLost{0};
std::atomic<int> gNotices{0};

void Collect(char* data, int* count)
{
    std::lock_guard<std::mutex> lock(gMutex);
    gHandOvers.emplace_back(data, static_cast<size_t>(*count));
}

std::vector<std::string> HandOvers()
{
    std::lock_guard<std::mutex> lock(gMutex);
    return gHandOvers;
}

size_t HandOverCount()
{
    std::lock_guard<std::mutex> lock(gMutex);
    return gHandOvers.size();
}

std::string Joined()
{
    std::string all;
    for (const std::string& s : HandOvers()) {
        all += s;
    }
    return all;
}

class Link : public ::testing::Test {
protected:
    void SetUp() override
    {
        // Each test counts its own hand-overs and notices.
        {
            std::lock_guard<std::mutex> lock(gMutex);
            gHandOvers.clear();
        }
        gLost.store(0);
        gNotices.store(0);
        ASSERT_EQ(_StartLog(0, 0), 1);
        SetLinkLostHandler([] { gLost.fetch_add(1); });
        SetLinkNoticeHandler([](const std::string&, const std::string&) { gNotices.fetch_add(1); });
        threads_ = linktest::Threads();
        descriptors_ = linktest::OpenDescriptors();
    }
    void TearDown() override
    {
        SetLinkLostHandler(nullptr);
        SetLinkNoticeHandler(nullptr);
        _EndLog();
    }

    ComThread* OpenLan(const char* terminator = "\n")
    {
        ComThread* link = MakeComTcpip("127.0.0.1", peer_.Port(), terminator, Collect);
        EXPECT_NE(link, nullptr);
        EXPECT_TRUE(peer_.Accept());
        return link;
    }

    qmrtest::ScopedWorkDir dir_;
    linktest::TcpPeer peer_;
    int threads_ = 0;
    int descriptors_ = 0;
};

} // namespace

TEST_F(Link, AReplyOf100BytesComesAs80And20WithoutWaitingForAnother)
{
    ComThread* link = OpenLan();
    ASSERT_NE(link, nullptr);
    EXPECT_EQ(link->State(), 1);
    std::string reply;
    for (int i = 0; i < 100; ++i) {
        reply.push_back(static_cast<char>('A' + i % 26));
    }
    ASSERT_TRUE(peer_.Send(reply + "\n"));
    ASSERT_TRUE(qmrtest::WaitFor([] { return HandOverCount() == 2; }, 2s));
    auto got = HandOvers();
    EXPECT_EQ(got[0], reply.substr(0, 80));
    EXPECT_EQ(got[1], reply.substr(80));
    EXPECT_TRUE(CloseComThread(link));
}

TEST_F(Link, EmptyLinesAreSkippedAndAZeroIsHandedOn)
{
    ComThread* link = OpenLan();
    ASSERT_NE(link, nullptr);
    ASSERT_TRUE(peer_.Send("\n0\n\r\n\nNO ERROR\n"));
    ASSERT_TRUE(qmrtest::WaitFor([] { return Joined().size() == 9; }, 2s));
    EXPECT_EQ(Joined(), "0NO ERROR");
    EXPECT_TRUE(CloseComThread(link));
    EXPECT_TRUE(linktest::LogHas("RECV", "0"));
    EXPECT_FALSE(linktest::LogHas("RECV"));
}

TEST_F(Link, WritesGoToThePeer)
{
    ComThread* link = OpenLan();
    ASSERT_NE(link, nullptr);
    EXPECT_EQ(link->Write(":ISI:MODE?\n"), 1);
    EXPECT_EQ(peer_.ReadUntil("\n"), ":ISI:MODE?\n");
    ASSERT_TRUE(peer_.Send("I/P\n"));
    ASSERT_TRUE(qmrtest::WaitFor([] { return HandOverCount() == 1; }, 2s));
    EXPECT_EQ(HandOvers()[0], "I/P");
    EXPECT_TRUE(CloseComThread(link));
}

class LinkLoss : public Link, public ::testing::WithParamInterface<bool> {};

TEST_P(LinkLoss, ThePeerDroppingEndsTheReaderAndAsksForTheLocalState)
{
    ComThread* link = OpenLan();
    ASSERT_NE(link, nullptr);
    ASSERT_TRUE(peer_.Send("last\n"));
    ASSERT_TRUE(qmrtest::WaitFor([] { return HandOverCount() == 1; }, 2s));
    if (GetParam()) {
        peer_.Reset();
    } else {
        peer_.Close();
    }
    ASSERT_TRUE(qmrtest::WaitFor([] { return gLost.load() == 1; }, 2s));
    EXPECT_EQ(gNotices.load(), 1);
    EXPECT_TRUE(linktest::LogHas("RECV", "DISCONNECTED"));
    EXPECT_EQ(HandOverCount(), 1u); // "DISCONNECTED" is not handed on
    EXPECT_EQ(link->Write("*STB?\n"), 0);
    EXPECT_EQ(link->State(), 1); // the link stays until it is closed
    EXPECT_TRUE(CloseComThread(link));
    EXPECT_EQ(gLost.load(), 1);
    EXPECT_TRUE(linktest::ThreadsSettleAt(threads_)) << linktest::Threads();
}

INSTANTIATE_TEST_SUITE_P(Peer, LinkLoss, ::testing::Values(false, true),
                         [](const auto& info) { return std::string(info.param ? "reset" : "closed"); });

TEST_F(Link, ClosingWhileTheNoticeIsUpDoesNotWaitForIt)
{
    SetLinkNoticeHandler(nullptr); // the real box
    ComThread* link = OpenLan();
    ASSERT_NE(link, nullptr);
    peer_.Close();
    ASSERT_TRUE(QTest::qWaitFor([] { return qmrtest::ShownMessageBox(kLinkLostNoticeText) != nullptr; }, 3000));
    EXPECT_EQ(gLost.load(), 1);
    auto begin = std::chrono::steady_clock::now();
    EXPECT_TRUE(CloseComThread(link));
    EXPECT_LT(std::chrono::steady_clock::now() - begin, 1500ms);
    ASSERT_NE(qmrtest::ShownMessageBox(kLinkLostNoticeText), nullptr);
    qmrtest::ShownMessageBox(kLinkLostNoticeText)->button(QMessageBox::Ok)->click();
    EXPECT_TRUE(QTest::qWaitFor([] { return qmrtest::ShownMessageBox(kLinkLostNoticeText) == nullptr; }, 2000));
}

TEST_F(Link, ALanPortWhereNothingListensGivesNoLink)
{
    ComThread* link = MakeComTcpip("127.0.0.1", linktest::ClosedPort(), "\n", Collect);
    EXPECT_EQ(link, nullptr);
    EXPECT_TRUE(linktest::LogHas("new", "KComTcpip"));
    EXPECT_TRUE(linktest::LogHas("make", "KComTcpip"));
    EXPECT_TRUE(linktest::LogHas("connect", "KComTcpip"));
    EXPECT_FALSE(linktest::LogHas("MakeComTcpip:MakeComThread", "ERROR"));
    EXPECT_TRUE(linktest::ThreadsSettleAt(threads_)) << linktest::Threads();
    EXPECT_EQ(linktest::OpenDescriptors(), descriptors_);
    EXPECT_EQ(ComWakeEvent(), nullptr);
}

TEST_F(Link, AMissingUsbPortGivesNoLinkAndStartsNoThread)
{
    ComThread* link = MakeCom232(199, 19200, "\n", Collect); // COM200 names no device
    EXPECT_EQ(link, nullptr);
    EXPECT_TRUE(linktest::ThreadsSettleAt(threads_)) << linktest::Threads();
    EXPECT_FALSE(linktest::LogHas("new", "KComTcpip"));
    EXPECT_EQ(ComWakeEvent(), nullptr);
}

TEST_F(Link, CloseComThreadWithoutALinkIsFalse)
{
    EXPECT_FALSE(CloseComThread(nullptr));
    EXPECT_FALSE(linktest::LogHas("CloseComThread:Time OVER!", "<0>"));
}

TEST_F(Link, CloseWaitsForTheReaderAndTakesEverythingDown)
{
    qmrtest::PtyPair pty;
    pty.PublishAs(9);
    int threads = linktest::Threads();
    int descriptors = linktest::OpenDescriptors();
    ComThread* link = MakeCom232(8, 19200, "\r\n", Collect);
    ASSERT_NE(link, nullptr);
    EXPECT_EQ(linktest::Threads(), threads + 2); // reader and communication thread
    EXPECT_NE(ComWakeEvent(), nullptr);

    ASSERT_TRUE(pty.Write("QMR,3400,SN0001,1.5\r\n"));
    ASSERT_TRUE(qmrtest::WaitFor([] { return HandOverCount() == 1; }, 3s));
    EXPECT_EQ(HandOvers()[0], "QMR,3400,SN0001,1.5");
    EXPECT_EQ(link->Write("*IDN?\r\n"), 1);
    EXPECT_EQ(pty.Read(7, 2s), "*IDN?\r\n");

    // The reader sits in a serial line read now; the close returns only once it has ended.
    EXPECT_TRUE(CloseComThread(link));
    EXPECT_TRUE(linktest::ThreadsSettleAt(threads)) << linktest::Threads();
    EXPECT_EQ(linktest::OpenDescriptors(), descriptors);
    EXPECT_EQ(ComWakeEvent(), nullptr);
    EXPECT_EQ(RxFifoCount(), 0);
    EXPECT_EQ(_Rs232SendN(8, "x", 1), 0); // Bramble's port is closed
    EXPECT_FALSE(linktest::LogHas("CloseComThread:Time OVER!", "<0>"));
}

class PtyHangUp : public Link, public ::testing::WithParamInterface<bool> {};

// The open port is judged, not its name: also when ports/COM3 leads to another live device by
// the time the read fails, the reader ends.
TEST_P(PtyHangUp, EndsTheReaderWithoutANotice)
{
    qmrtest::PtyPair pty;
    qmrtest::PtyPair other;
    pty.PublishAs(3);
    ComThread* link = MakeCom232(2, 19200, "\n", Collect);
    ASSERT_NE(link, nullptr);
    if (GetParam()) {
        other.PublishAs(3);
    }
    pty.HangUp();
    ASSERT_TRUE(qmrtest::WaitFor([] { return gLost.load() == 1; }, 3s));
    EXPECT_EQ(gNotices.load(), 0);
    EXPECT_EQ(HandOverCount(), 0u);
    EXPECT_TRUE(CloseComThread(link));
    EXPECT_TRUE(linktest::ThreadsSettleAt(threads_)) << linktest::Threads();
}

INSTANTIATE_TEST_SUITE_P(Name, PtyHangUp, ::testing::Values(false, true),
                         [](const auto& info) { return std::string(info.param ? "stays" : "gone"); });
