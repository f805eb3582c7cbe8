#include "platform/TcpClient.h"

#include "LinkPeers.h"
#include "TestSupport.h"

#include <gtest/gtest.h>
#include <thread>

using qmr::platform::TcpClient;
using Status = TcpClient::ReadStatus;
using namespace std::chrono_literals;

namespace {

struct Connected {
    linktest::TcpPeer peer;
    TcpClient client;
    Connected()
    {
        client.SetHost("127.0.0.1");
        client.SetPort(peer.Port());
        EXPECT_TRUE(client.Connect());
        EXPECT_TRUE(peer.Accept());
    }
};

} // namespace

TEST(TcpClient, ConnectFailsWithoutListener)
{
    TcpClient client;
    client.SetHost("127.0.0.1");
    client.SetPort(linktest::ClosedPort());
    auto begin = std::chrono::steady_clock::now();
    EXPECT_FALSE(client.Connect());
    EXPECT_LT(std::chrono::steady_clock::now() - begin, 1s);
    EXPECT_FALSE(client.IsConnected());
    EXPECT_FALSE(client.Write("x", 1));
}

TEST(TcpClient, ConnectRefusesBadAddressesWithoutLookingThemUp)
{
    for (const char* host : {"", "localhost", "not an address", "999.1.1.1"}) {
        TcpClient client;
        client.SetHost(host);
        client.SetPort(10001);
        EXPECT_FALSE(client.Connect()) << host;
    }
    TcpClient client;
    client.SetHost("127.0.0.1");
    client.SetPort(70000);
    EXPECT_FALSE(client.Connect());
}

struct LineCase {
    const char* name;
    std::string terminator;
    std::string sent;
    std::vector<std::string> lines;
};

void PrintTo(const LineCase& c, std::ostream* os)
{
    *os << c.name;
}

class TcpClientLines : public ::testing::TestWithParam<LineCase> {};

TEST_P(TcpClientLines, SplitsAtTheTerminator)
{
    const LineCase& c = GetParam();
    Connected link;
    ASSERT_TRUE(link.peer.Send(c.sent));
    for (const std::string& expected : c.lines) {
        std::string line;
        ASSERT_EQ(link.client.ReadLine(c.terminator, 1000ms, line), Status::Line) << expected;
        EXPECT_EQ(line, expected);
    }
    std::string rest;
    EXPECT_EQ(link.client.ReadLine(c.terminator, 30ms, rest), Status::TimedOut);
    EXPECT_EQ(rest, "");
}

INSTANTIATE_TEST_SUITE_P(
    Terminators, TcpClientLines,
    ::testing::Values(
        LineCase{"lf", "\n", "A\nBC\n", {"A", "BC"}}, LineCase{"crBeforeLfDropped", "\n", "A\r\nB\n", {"A", "B"}},
        LineCase{"onlyLastCrDropped", "\n", "A\r\r\n", {"A\r"}}, LineCase{"cr", "\r", "A\rB\n\r", {"A", "B\n"}},
        LineCase{"crlf", "\r\n", "A\nB\r\nC\r\n", {"A\nB", "C"}}, LineCase{"emptyLine", "\n", "\nX\n", {"", "X"}},
        LineCase{"nulAndHighBytes", "\n", std::string("a\0b\xff\n", 5), {std::string("a\0b\xff", 4)}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(TcpClient, PartialLineWaitsForItsRest)
{
    Connected link;
    ASSERT_TRUE(link.peer.Send("*ID"));
    std::string line;
    auto begin = std::chrono::steady_clock::now();
    EXPECT_EQ(link.client.ReadLine("\n", 80ms, line), Status::TimedOut);
    auto waited = std::chrono::steady_clock::now() - begin;
    EXPECT_GE(waited, 75ms);
    EXPECT_LT(waited, 500ms);
    EXPECT_EQ(line, "");
    ASSERT_TRUE(link.peer.Send("N?\n"));
    EXPECT_EQ(link.client.ReadLine("\n", 1000ms, line), Status::Line);
    EXPECT_EQ(line, "*IDN?");
}

TEST(TcpClient, EmptyTerminatorHandsOverWhatCame)
{
    Connected link;
    ASSERT_TRUE(link.peer.Send("raw\nbytes"));
    std::string got;
    ASSERT_TRUE(qmrtest::WaitFor(
        [&] {
            std::string part;
            if (link.client.ReadLine("", 10ms, part) == Status::Line) {
                got += part;
            }
            return got.size() >= 9;
        },
        2s));
    EXPECT_EQ(got, "raw\nbytes");
}

TEST(TcpClient, LinesBeforeThePeersCloseComeFirstThenTheLoss)
{
    Connected link;
    ASSERT_TRUE(link.peer.Send("one\ntwo\nunfinished"));
    link.peer.Close();
    std::string line;
    ASSERT_EQ(link.client.ReadLine("\n", 1000ms, line), Status::Line);
    EXPECT_EQ(line, "one");
    ASSERT_EQ(link.client.ReadLine("\n", 1000ms, line), Status::Line);
    EXPECT_EQ(line, "two");
    EXPECT_EQ(link.client.ReadLine("\n", 1000ms, line), Status::Lost);
    EXPECT_EQ(link.client.ReadLine("\n", 1000ms, line), Status::Lost);
}

TEST(TcpClient, ResetIsALoss)
{
    Connected link;
    link.peer.Reset();
    std::string line;
    auto begin = std::chrono::steady_clock::now();
    EXPECT_EQ(link.client.ReadLine("\n", 1000ms, line), Status::Lost);
    EXPECT_LT(std::chrono::steady_clock::now() - begin, 500ms);
}

TEST(TcpClient, WritesEverythingAndFailsAfterDisconnect)
{
    Connected link;
    std::string big(200000, 'x');
    big.back() = '\n';
    std::thread reader([&] { EXPECT_EQ(link.peer.ReadUntil("\n", 5s).size(), big.size()); });
    EXPECT_TRUE(link.client.Write(big.data(), big.size()));
    reader.join();
    link.client.Disconnect();
    EXPECT_FALSE(link.client.IsConnected());
    EXPECT_FALSE(link.client.Write("late\n", 5));
    link.client.Disconnect(); // twice is harmless
}

TEST(TcpClient, WriteToAResetPeerFails)
{
    Connected link;
    link.peer.Reset();
    // The first write may still be taken by the kernel; the reset shows on one after it.
    bool failed = qmrtest::WaitFor([&] { return !link.client.Write("x\n", 2); }, 2s);
    EXPECT_TRUE(failed);
}

TEST(TcpClient, LineWithoutTerminatorIsDroppedBeyondTheBound)
{
    Connected link;
    std::thread feeder([&] {
        link.peer.Send(std::string(4 * TcpClient::kMaxPending, 'z'));
        link.peer.Send("tail\nnext\n");
    });
    std::string line;
    Status status = Status::TimedOut;
    ASSERT_TRUE(
        qmrtest::WaitFor([&] { return (status = link.client.ReadLine("\n", 50ms, line)) != Status::TimedOut; }, 5s));
    feeder.join();
    ASSERT_EQ(status, Status::Line);
    // What is kept is bounded by the limit and one read's worth of bytes.
    EXPECT_LT(line.size(), TcpClient::kMaxPending + 4096 + 5);
    EXPECT_EQ(line.substr(line.size() - 4), "tail");
    ASSERT_EQ(link.client.ReadLine("\n", 1000ms, line), Status::Line);
    EXPECT_EQ(line, "next");
}

TEST(TcpClient, DisconnectWhileAnotherThreadWrites)
{
    // The peer reads nothing, so the writer soon waits for room in the send buffer: the
    // close must cut that wait short rather than wait for it.
    for (int round = 0; round < 20; ++round) {
        Connected link;
        std::atomic<bool> go{true};
        std::atomic<int> writes{0};
        std::thread writer([&] {
            while (go.load() && link.client.Write("*STB?\n", 6)) {
                writes.fetch_add(1);
            }
        });
        ASSERT_TRUE(qmrtest::WaitFor([&] { return writes.load() > round * 100; }, 2s));
        auto begin = std::chrono::steady_clock::now();
        link.client.Disconnect();
        EXPECT_LT(std::chrono::steady_clock::now() - begin, 1s);
        EXPECT_TRUE(qmrtest::WaitFor([&] { return !link.client.Write("x", 1); }, 1s));
        go.store(false);
        writer.join();
    }
}
