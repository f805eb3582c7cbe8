// The transports over real carriers: TCP on 127.0.0.1, a pseudo-terminal published as a COM
// port (through Bramble), and Wenport's list of active ports.
#include "app/link/Comtcpip.h"
#include "app/link/Wenportfnc.h"

#include "LinkPeers.h"
#include "QtSupport.h"
#include "TestSupport.h"

#include <QAbstractButton>
#include <QMessageBox>
#include <QTest>
#include <atomic>
#include <gtest/gtest.h>
#include <mutex>
#include <thread>

using namespace std::chrono_literals;

namespace {

struct Notices {
    std::mutex mutex;
    std::vector<std::pair<std::string, std::string>> posted;
    Notices()
    {
        SetLinkNoticeHandler([this](const std::string& text, const std::string& caption) {
            std::lock_guard<std::mutex> lock(mutex);
            posted.emplace_back(text, caption);
        });
    }
    ~Notices() { SetLinkNoticeHandler(nullptr); }
    size_t Count()
    {
        std::lock_guard<std::mutex> lock(mutex);
        return posted.size();
    }
};

struct LanLink {
    linktest::TcpPeer peer;
    KComTcpip com{peer.Port(), "127.0.0.1"};
    LanLink()
    {
        EXPECT_TRUE(com.Open());
        EXPECT_TRUE(peer.Accept());
    }
};

} // namespace

TEST(KComTcpip, NothingHappensBeforeOpen)
{
    KComTcpip com(linktest::ClosedPort(), "127.0.0.1");
    EXPECT_FALSE(com.IsOpen());
    EXPECT_FALSE(com.IsPresent());
    EXPECT_EQ(com.Receive("\n", 80), "");
    EXPECT_FALSE(com.Send("*IDN?\n"));
    EXPECT_STREQ(com.GetName(), "LAN");
    EXPECT_FALSE(com.Open()); // nothing listens
    EXPECT_FALSE(com.IsOpen());
}

TEST(KComTcpip, CarriesLinesBothWays)
{
    LanLink link;
    EXPECT_TRUE(link.com.IsOpen());
    EXPECT_TRUE(link.com.IsPresent());
    EXPECT_TRUE(link.com.Send(":ISI:MODE?\n"));
    EXPECT_EQ(link.peer.ReadUntil("\n"), ":ISI:MODE?\n");
    ASSERT_TRUE(link.peer.Send("I/P\r\n"));
    EXPECT_EQ(link.com.Receive("\n", 1000), "I/P");
}

TEST(KComTcpip, ALineThatIsNotCompleteIn80MsIsContinuedByTheNextRead)
{
    LanLink link;
    ASSERT_TRUE(link.peer.Send("QMR,34"));
    EXPECT_EQ(link.com.Receive("\n", 80), "");
    ASSERT_TRUE(link.peer.Send("00\n"));
    EXPECT_EQ(link.com.Receive("\n", 1000), "QMR,3400");
}

class KComTcpipLoss : public ::testing::TestWithParam<bool> {};

TEST_P(KComTcpipLoss, GivesDisconnectedOnceAndPostsTheNotice)
{
    Notices notices;
    LanLink link;
    if (GetParam()) {
        link.peer.Reset();
    } else {
        link.peer.Close();
    }
    auto begin = std::chrono::steady_clock::now();
    EXPECT_EQ(link.com.Receive("\n", 80), "DISCONNECTED");
    EXPECT_LT(std::chrono::steady_clock::now() - begin, 500ms);
    ASSERT_EQ(notices.Count(), 1u);
    EXPECT_EQ(notices.posted[0].first, "   Network disconnected  ");
    EXPECT_EQ(notices.posted[0].second, "ERROR");
    EXPECT_FALSE(link.com.IsOpen());
    EXPECT_FALSE(link.com.IsPresent());
    EXPECT_FALSE(link.com.Send("*STB?\n")); // a send without a client fails
    EXPECT_EQ(link.com.Receive("\n", 80), "");
    EXPECT_EQ(notices.Count(), 1u);
}

INSTANTIATE_TEST_SUITE_P(Peer, KComTcpipLoss, ::testing::Values(false, true),
                         [](const auto& info) { return std::string(info.param ? "reset" : "closed"); });

TEST(KComTcpip, TheDefaultNoticeIsABoxOnTheGuiThreadThatNobodyWaitsFor)
{
    LanLink link;
    link.peer.Close();
    auto begin = std::chrono::steady_clock::now();
    std::string got;
    // Read on another thread, as the reader thread does, while this (GUI) thread runs no
    // event loop: the read must not wait for the box.
    std::thread reader([&] { got = link.com.Receive("\n", 80); });
    reader.join();
    EXPECT_EQ(got, "DISCONNECTED");
    EXPECT_LT(std::chrono::steady_clock::now() - begin, 500ms);
    EXPECT_EQ(qmrtest::ShownMessageBox(kLinkLostNoticeText), nullptr); // posted, not shown yet
    ASSERT_TRUE(QTest::qWaitFor([] { return qmrtest::ShownMessageBox(kLinkLostNoticeText) != nullptr; }, 2000));
    QMessageBox* box = qmrtest::ShownMessageBox(kLinkLostNoticeText);
    EXPECT_EQ(box->windowTitle(), "ERROR");
    EXPECT_EQ(box->icon(), QMessageBox::Critical);
    EXPECT_EQ(box->standardButtons(), QMessageBox::Ok);
    box->button(QMessageBox::Ok)->click();
    EXPECT_TRUE(QTest::qWaitFor([] { return qmrtest::ShownMessageBox(kLinkLostNoticeText) == nullptr; }, 2000));
}

// ---------------------------------------------------------------------------------------

namespace {

struct UsbLink {
    qmrtest::ScopedWorkDir dir;
    qmrtest::PtyPair pty;
    KComRs232c com{6, 19200}; // COM7
    UsbLink()
    {
        pty.PublishAs(7);
        EXPECT_TRUE(com.Open());
    }
    ~UsbLink() { com.Close(); }
};

} // namespace

TEST(KComRs232c, AMissingPortDoesNotOpen)
{
    qmrtest::ScopedWorkDir dir;
    KComRs232c com(199, 19200); // COM200: no ports/COM200
    EXPECT_FALSE(com.IsOpen());
    EXPECT_FALSE(com.Open());
    EXPECT_FALSE(com.IsOpen());
    EXPECT_EQ(com.Receive("\n", 80), "");
    EXPECT_FALSE(com.Send("x\n"));
    EXPECT_STREQ(com.GetName(), "USB");
}

struct UsbLineCase {
    const char* name;
    const char* terminator;
    std::string arrives;
    std::vector<std::string> lines;
};

void PrintTo(const UsbLineCase& c, std::ostream* os)
{
    *os << c.name;
}

class KComRs232cLines : public ::testing::TestWithParam<UsbLineCase> {};

TEST_P(KComRs232cLines, ReadsLinesWithTheFirstTwoTerminatorCharacters)
{
    const UsbLineCase& c = GetParam();
    UsbLink link;
    ASSERT_TRUE(link.pty.Write(c.arrives));
    for (const std::string& expected : c.lines) {
        std::string line;
        ASSERT_TRUE(qmrtest::WaitFor([&] { return !(line = link.com.Receive(c.terminator, 80)).empty(); }, 3s));
        EXPECT_EQ(line, expected);
    }
}

INSTANTIATE_TEST_SUITE_P(Terminators, KComRs232cLines,
                         ::testing::Values(UsbLineCase{"lf", "\n", "0\n+12.5\n", {"0", "+12.5"}},
                                           UsbLineCase{"crlf", "\r\n", "A\nB\r\nC\r\n", {"A\nB", "C"}},
                                           UsbLineCase{"threeCharacters", "\r\nX", "one\r\ntwo\r\n", {"one", "two"}}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(KComRs232c, SendsTheBytesAsTheyAre)
{
    UsbLink link;
    EXPECT_TRUE(link.com.Send("*IDN?\r\n"));
    EXPECT_EQ(link.pty.Read(7, 2s), "*IDN?\r\n");
}

TEST(KComRs232c, ALineThatDoesNotComeGivesTheEmptyText)
{
    UsbLink link;
    ASSERT_TRUE(link.pty.Write("partial"));
    EXPECT_EQ(link.com.Receive("\n", 80), "");
}

TEST(KComRs232c, EmptyTerminatorReadsRawAndReturnsAtOnce)
{
    UsbLink link;
    ASSERT_TRUE(link.pty.Write("raw\n"));
    auto begin = std::chrono::steady_clock::now();
    // A real port reports no bytes waiting, so every raw read is empty (and short).
    EXPECT_EQ(link.com.Receive("", 80), "");
    EXPECT_LT(std::chrono::steady_clock::now() - begin, 500ms);
}

TEST(KComRs232c, AHangUpReportsTheLinkLostWithoutANotice)
{
    Notices notices;
    UsbLink link;
    link.pty.HangUp();
    std::string line;
    ASSERT_TRUE(qmrtest::WaitFor([&] { return !(line = link.com.Receive("\n", 80)).empty(); }, 3s));
    EXPECT_EQ(line, "DISCONNECTED");
    EXPECT_EQ(notices.Count(), 0u);
}

// ---------------------------------------------------------------------------------------

TEST(IsActiveUsbCom, FindsOnlyListedPorts)
{
    qmrtest::ScopedWorkDir dir;
    EXPECT_FALSE(IsActiveUsbCom(7)); // an empty list
    qmrtest::PtyPair first, second;
    first.PublishAs(7);
    second.PublishAs(12);
    qmrtest::WriteFile("ports/COM7.usb", "vid=2f5a\npid=3400\nserial=A1\nname=QMR3400\n");
    qmrtest::WriteFile("ports/COM12.usb", "vid=2f5a\npid=3400\nserial=A2\nname=QMR3400\n");
    EXPECT_TRUE(IsActiveUsbCom(7));
    EXPECT_TRUE(IsActiveUsbCom(12));
    EXPECT_FALSE(IsActiveUsbCom(1));
    EXPECT_FALSE(IsActiveUsbCom(0));
    EXPECT_FALSE(IsActiveUsbCom(-7));

    KComRs232c com(11, 19200);
    EXPECT_TRUE(com.IsPresent());
    KComRs232c other(2, 19200);
    EXPECT_FALSE(other.IsPresent());
}
