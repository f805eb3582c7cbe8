// The link's faults as the window meets them. A lost network link never stalls the window:
// the instrument stops reading until the program's socket buffer is full, so the window's
// write waits for room; then it goes away (FIN, nothing read). The reader's close must cut
// the write short at once: the window reaches the local state and the GUI thread answers
// within 200 ms throughout. And a connect whose status watch cannot be made goes on without.
#include "EngineRig.h"

#include "Siminstr.h"
#include "app/core/Appdefine.h"
#include "app/instrument/Kchkerr.h"
#include "app/link/Commodul.h"

#include <QElapsedTimer>
#include <QTimer>

#include <arpa/inet.h>
#include <atomic>
#include <cstring>
#include <netinet/in.h>
#include <new>
#include <poll.h>
#include <stdexcept>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace enginetest {

// The size of the next nothrow allocation that is to fail; 0: none.
std::atomic<std::size_t> failNextOfSize{0};

namespace {

// The instrument's network face on 127.0.0.1, answering through the simulator's command
// processor on a thread of its own until told to stop reading.
class StallingPeer {
public:
    StallingPeer()
    {
        listener_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        // A small receive window: the program's send buffer soon fills once nothing is read.
        const int small = 4096;
        setsockopt(listener_, SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t size = sizeof addr;
        if (bind(listener_, reinterpret_cast<sockaddr*>(&addr), size) != 0 || listen(listener_, 1) != 0 ||
            getsockname(listener_, reinterpret_cast<sockaddr*>(&addr), &size) != 0) {
            throw std::runtime_error("cannot listen on 127.0.0.1");
        }
        port_ = ntohs(addr.sin_port);
        thread_ = std::thread([this] { Serve(); });
    }
    ~StallingPeer()
    {
        reading_.store(false);
        thread_.join();
        if (conn_.load() >= 0) {
            close(conn_.load());
        }
        close(listener_);
    }
    int Port() const { return port_; }
    void StopReading() { reading_.store(false); }
    // Closes its sending side; what the program sent stays unread.
    void Drop() { shutdown(conn_.load(), SHUT_WR); }

private:
    void Serve()
    {
        pollfd wait{listener_, POLLIN, 0};
        while (reading_.load() && poll(&wait, 1, 10) <= 0) {
        }
        if (!reading_.load()) {
            return;
        }
        conn_.store(accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC));
        std::string pending;
        char buffer[512];
        pollfd p{conn_.load(), POLLIN, 0};
        while (reading_.load()) {
            if (poll(&p, 1, 10) <= 0) {
                continue;
            }
            const ssize_t n = recv(p.fd, buffer, sizeof buffer, 0);
            if (n <= 0) {
                return;
            }
            pending.append(buffer, static_cast<size_t>(n));
            for (size_t end; (end = pending.find('\n')) != std::string::npos; pending.erase(0, end + 1)) {
                if (auto reply = instrument_.Execute(pending.substr(0, end))) {
                    *reply += '\n';
                    send(p.fd, reply->data(), reply->size(), MSG_NOSIGNAL);
                }
            }
        }
    }

    qmrsim::Instrument instrument_;
    int listener_ = -1;
    std::atomic<int> conn_{-1};
    int port_ = 0;
    std::atomic<bool> reading_{true};
    std::thread thread_;
};

TEST_F(EngineTest, LostLinkWithAStalledWriteNeverStallsTheWindow)
{
    StallingPeer peer;
    WriteSettings();
    std::string bytes = qmrtest::ReadFile("APPSET.DAT");
    AppSetRecord record{};
    std::memcpy(&record, bytes.data(), sizeof record);
    record.Com.TcpPort = peer.Port();
    qmrtest::WriteFile("APPSET.DAT", std::string(reinterpret_cast<const char*>(&record), sizeof record));
    StartProgram();
    ClickConnect();
    ASSERT_TRUE(WaitRemote());

    // The GUI thread's heartbeat and its largest gap.
    QElapsedTimer clock;
    clock.start();
    std::atomic<qint64> lastBeat{0};
    qint64 largestGap = 0;
    QTimer heartbeat;
    heartbeat.setTimerType(Qt::PreciseTimer);
    QObject::connect(&heartbeat, &QTimer::timeout, [&] {
        const qint64 now = clock.elapsed();
        largestGap = std::max(largestGap, now - lastBeat.load());
        lastBeat.store(now);
    });
    heartbeat.start(10);

    // The window writes more than the instrument takes: soon a write waits for room.
    peer.StopReading();
    const std::string chunk(64 * 1024, 'x');
    QTimer sender;
    QObject::connect(&sender, &QTimer::timeout, [&] { startUp->ComModule()->Send(chunk.c_str()); });
    sender.start(10);
    // A GUI thread silent for 50 ms is waiting in that write: now the instrument goes away.
    std::atomic<bool> stalled{false};
    std::thread dropper([&] {
        stalled.store(qmrtest::WaitFor([&] { return clock.elapsed() - lastBeat.load() >= 50; }, 10s));
        peer.Drop();
    });

    const bool local = WaitLocal();
    sender.stop();
    heartbeat.stop();
    dropper.join();
    RecordProperty("largestGapMs", static_cast<int>(largestGap));
    EXPECT_TRUE(stalled.load()) << "the send buffer never filled";
    EXPECT_TRUE(local);
    EXPECT_LT(largestGap, 200) << "the GUI thread stood still for " << largestGap << " ms";
}

TEST_F(EngineTest, ConnectGoesOnWithoutTheStatusWatchWhenItCannotBeMade)
{
    StartSim();
    WriteSettings();
    StartProgram();
    failNextOfSize.store(sizeof(KCheckQmrErrorStb));
    ClickConnect();
    ASSERT_TRUE(WaitRemote());
    EXPECT_EQ(failNextOfSize.load(), 0u);
    EXPECT_TRUE(op.SawUpper(QStringLiteral(" ERROR: Make KCheckQmrError ")));
    EXPECT_EQ(Window()->Checker(), nullptr);
}

} // namespace
} // namespace enginetest

// Fails the one allocation asked for; every other goes to the ordinary allocator (so that the
// sanitizers see matching allocations and releases).
void* operator new(std::size_t size, const std::nothrow_t& /*tag*/) noexcept
{
    std::size_t expected = size;
    if (size != 0 && enginetest::failNextOfSize.compare_exchange_strong(expected, 0)) {
        return nullptr;
    }
    try {
        return ::operator new(size);
    } catch (...) {
        return nullptr;
    }
}
