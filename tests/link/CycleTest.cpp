// Many links opened, used and closed one after another: nothing may be left behind (no
// descriptor, no thread), and under ThreadSanitizer no race may show.
#include "app/link/Comapl.h"
#include "app/link/Comthread.h"
#include "app/link/Kstream.h"
#include "bramble/Bramble.h"

#include "LinkPeers.h"
#include "TestSupport.h"

#include <atomic>
#include <gtest/gtest.h>
#include <string>

using namespace std::chrono_literals;

namespace {

std::atomic<int> gReplies{0};

void CountReplies(char*, int*)
{
    gReplies.fetch_add(1);
}

} // namespace

TEST(LinkCycles, AThousandLanLinksLeaveNothingBehind)
{
    qmrtest::ScopedWorkDir dir;
    linktest::TcpPeer peer;
    const int descriptors = linktest::OpenDescriptors();
    const int threads = linktest::Threads();
    for (int cycle = 0; cycle < 1000; ++cycle) {
        ComThread* link = MakeComTcpip("127.0.0.1", peer.Port(), "\n", CountReplies);
        ASSERT_NE(link, nullptr) << cycle;
        ASSERT_TRUE(peer.Accept()) << cycle;
        int before = gReplies.load();
        ASSERT_EQ(link->Write("*IDN?\n"), 1);
        ASSERT_EQ(peer.ReadUntil("\n"), "*IDN?\n");
        ASSERT_TRUE(peer.Send("QMR,3400," + std::to_string(cycle) + ",1.5\n"));
        ASSERT_TRUE(qmrtest::WaitFor([&] { return gReplies.load() == before + 1; }, 2s)) << cycle;
        // Every third link is closed by the instrument first.
        if (cycle % 3 == 0) {
            peer.Close();
        }
        ASSERT_TRUE(CloseComThread(link)) << cycle;
        peer.Close();
    }
    EXPECT_EQ(linktest::OpenDescriptors(), descriptors);
    EXPECT_TRUE(linktest::ThreadsSettleAt(threads)) << linktest::Threads();
    EXPECT_EQ(ComWakeEvent(), nullptr);
}

TEST(LinkCycles, UsbLinksLeaveNothingBehind)
{
    // Each close waits for a serial line read (up to a second), so fewer rounds here.
    qmrtest::ScopedWorkDir dir;
    qmrtest::PtyPair pty;
    pty.PublishAs(4);
    const int descriptors = linktest::OpenDescriptors();
    const int threads = linktest::Threads();
    for (int cycle = 0; cycle < 20; ++cycle) {
        ComThread* link = MakeCom232(3, 19200, "\n", CountReplies);
        ASSERT_NE(link, nullptr) << cycle;
        int before = gReplies.load();
        ASSERT_EQ(link->Write(":SYST:ERR?\n"), 1);
        ASSERT_EQ(pty.ReadUntil("\n", 2s), ":SYST:ERR?\n");
        ASSERT_TRUE(pty.Write("0,\"NO ERROR\"\n"));
        ASSERT_TRUE(qmrtest::WaitFor([&] { return gReplies.load() == before + 1; }, 3s)) << cycle;
        ASSERT_TRUE(CloseComThread(link)) << cycle;
    }
    EXPECT_EQ(linktest::OpenDescriptors(), descriptors);
    EXPECT_TRUE(linktest::ThreadsSettleAt(threads)) << linktest::Threads();
}
