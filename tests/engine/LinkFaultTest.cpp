// The link's faults as the window meets them: a lost network link with a write waiting for
// room, and a status watch that cannot be made.
#include "EngineRig.h"

#include "Siminstr.h"
#include "app/instrument/Kchkerr.h"
#include "app/link/Commodul.h"

#include <QElapsedTimer>
#include <QTimer>

#include <arpa/inet.h>
#include <atomic>
#include <netinet/in.h>
#include <new>
#include <poll.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace enginetest {

// The size of the next nothrow allocation that is to fail; 0: none.
std::atomic<std::size_t> failNextOfSize{0};

namespace {

// The instrument's network face on 127.0.0.1 with a small receive buffer: a thread answers
// through the simulator's command processor until the instrument hangs.
class HangingInstrument {
public:
    HangingInstrument()
    {
        const int small = 4096; // the program's writes soon fill it once nothing is read
        setsockopt(listener_, SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t size = sizeof addr;
        bind(listener_, reinterpret_cast<sockaddr*>(&addr), size);
        listen(listener_, 1);
        getsockname(listener_, reinterpret_cast<sockaddr*>(&addr), &size);
        port_ = ntohs(addr.sin_port);
        thread_ = std::thread([this] { Serve(); });
    }
    ~HangingInstrument()
    {
        Hang();
        thread_.join();
        close(conn_.load());
        close(listener_);
    }
    int Port() const { return port_; }
    void Hang() { serving_.store(false); }
    // Goes away with a FIN, its input left unread (a close would send a reset).
    void Fin() { shutdown(conn_.load(), SHUT_WR); }

private:
    void Serve()
    {
        pollfd p{listener_, POLLIN, 0};
        std::string input;
        char buffer[512];
        while (serving_.load()) {
            if (poll(&p, 1, 10) <= 0) {
                continue;
            }
            if (p.fd == listener_) {
                conn_.store(accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC));
                p.fd = conn_.load();
                continue;
            }
            const ssize_t n = recv(p.fd, buffer, sizeof buffer, 0);
            if (n <= 0) {
                p.fd = -1; // the program is gone: nothing more to serve
                continue;
            }
            input.append(buffer, static_cast<size_t>(n));
            for (size_t end; (end = input.find('\n')) != std::string::npos; input.erase(0, end + 1)) {
                if (auto reply = instrument_.Execute(input.substr(0, end))) {
                    send(p.fd, (*reply + "\n").data(), reply->size() + 1, MSG_NOSIGNAL);
                }
            }
        }
    }

    qmrsim::Instrument instrument_;
    int listener_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    std::atomic<int> conn_{-1};
    int port_ = 0;
    std::atomic<bool> serving_{true};
    std::thread thread_;
};

// The instrument hangs: the window's writes fill the socket buffers until one waits for room
// (as a blocking write does, up to its time-out). Then the instrument goes away (FIN, its
// input unread). The reader's close must cut that write short: the window goes local and,
// from the loss on, the GUI thread answers within 200 ms throughout.
TEST_F(EngineTest, LostLinkWithAStalledWriteNeverStallsTheWindow)
{
    HangingInstrument instrument;
    WriteSettings(0, instrument.Port());
    StartProgram();
    ClickConnect();
    ASSERT_TRUE(WaitRemote());

    QElapsedTimer clock;
    clock.start();
    std::atomic<qint64> lostAt{-1};
    qint64 lastBeat = 0;
    qint64 largestGap = 0;
    QTimer heartbeat;
    heartbeat.setTimerType(Qt::PreciseTimer);
    QObject::connect(&heartbeat, &QTimer::timeout, [&] {
        const qint64 now = clock.elapsed();
        if (lostAt.load() >= 0) {
            largestGap = std::max(largestGap, now - std::max(lastBeat, lostAt.load()));
        }
        lastBeat = now;
    });
    heartbeat.start(10);
    instrument.Hang();
    const std::string chunk(1 << 20, 'x');
    std::atomic<qint64> sendingSince{-1};
    QTimer sender;
    QObject::connect(&sender, &QTimer::timeout, [&] {
        sendingSince.store(clock.elapsed());
        if (startUp->ComModule()->Send(chunk.c_str()) == 0) {
            sender.stop(); // the loss cut it short: the rest is the window's own work
        }
        sendingSince.store(-1);
    });
    sender.start(10);
    // The send buffer grows while it can; a write that has waited 300 ms finds it full.
    std::atomic<bool> stalled{false};
    std::thread dropper([&] {
        stalled.store(qmrtest::WaitFor(
            [&] {
                const qint64 since = sendingSince.load();
                return since >= 0 && clock.elapsed() - since >= 300;
            },
            20s));
        lostAt.store(clock.elapsed());
        instrument.Fin();
    });
    const bool local = WaitLocal();
    sender.stop();
    heartbeat.stop();
    dropper.join();
    RecordProperty("largestGapMs", static_cast<int>(largestGap));
    EXPECT_TRUE(stalled.load()) << "no write waited for room";
    EXPECT_TRUE(local);
    EXPECT_LT(largestGap, 200) << "after the loss the GUI thread stood still for " << largestGap << " ms";
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

// Fails the one allocation asked for; every other goes to the ordinary allocator, so that the
// sanitizers see matching allocations and releases.
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
