#include "TcpClient.h"

#include <cerrno>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace qmr::platform {

namespace {

using Clock = std::chrono::steady_clock;

int MillisecondsLeft(Clock::time_point deadline)
{
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (left <= 0) {
        return 0;
    }
    return left > 1000000 ? 1000000 : static_cast<int>(left);
}

bool SendAll(int fd, const void* data, std::size_t length)
{
    const char* bytes = static_cast<const char*>(data);
    std::size_t done = 0;
    auto deadline = Clock::now() + TcpClient::kWriteTimeout;
    while (done < length) {
        ssize_t n = ::send(fd, bytes + done, length - done, MSG_NOSIGNAL);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            pollfd p{fd, POLLOUT, 0};
            int left = MillisecondsLeft(deadline);
            if (left == 0 || poll(&p, 1, left) == 0) {
                return false;
            }
            continue;
        }
        return false;
    }
    return true;
}

} // namespace

TcpClient::~TcpClient()
{
    Disconnect();
}

bool TcpClient::Connect(std::chrono::milliseconds timeout)
{
    Disconnect();
    lines_.Clear();
    peerClosed_ = false;
    if (port_ < 0 || port_ > 65535 || host_.empty()) {
        return false;
    }

    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICHOST | AI_NUMERICSERV;
    addrinfo* found = nullptr;
    std::string service = std::to_string(port_);
    if (getaddrinfo(host_.c_str(), service.c_str(), &hints, &found) != 0 || found == nullptr) {
        return false;
    }

    int fd = socket(found->ai_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        freeaddrinfo(found);
        return false;
    }
    bool ok = false;
    int rc = ::connect(fd, found->ai_addr, found->ai_addrlen);
    freeaddrinfo(found);
    if (rc == 0) {
        ok = true;
    } else if (errno == EINPROGRESS) {
        auto deadline = Clock::now() + timeout;
        for (;;) {
            pollfd p{fd, POLLOUT, 0};
            int n = poll(&p, 1, MillisecondsLeft(deadline));
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n > 0) {
                int error = 0;
                socklen_t size = sizeof error;
                ok = getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &size) == 0 && error == 0;
            }
            break;
        }
    }
    if (!ok) {
        ::close(fd);
        return false;
    }
    // Commands and replies are single short lines: send each at once.
    int one = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    std::lock_guard<std::mutex> lock(stateMutex_);
    shutDown_ = false;
    fd_.store(fd);
    return true;
}

bool TcpClient::Write(const void* data, std::size_t length)
{
    int fd = -1;
    {
        std::lock_guard<std::mutex> lock(stateMutex_);
        if (shutDown_ || fd_.load() < 0) {
            return false;
        }
        fd = fd_.load();
        ++writers_;
    }
    // The descriptor stays open until this write has left (Disconnect waits for it), and a
    // shutdown wakes the wait for room below, so no lock needs to be held here.
    const bool ok = SendAll(fd, data, length);
    {
        std::lock_guard<std::mutex> lock(stateMutex_);
        --writers_;
    }
    writersLeft_.notify_all();
    return ok;
}

TcpClient::ReadStatus TcpClient::ReadLine(const std::string& terminator, std::chrono::milliseconds timeout,
                                          std::string& line)
{
    line.clear();
    if (lines_.Take(terminator, line)) {
        return ReadStatus::Line;
    }
    int fd = fd_.load();
    if (fd < 0 || peerClosed_) {
        return ReadStatus::Lost;
    }
    auto deadline = Clock::now() + timeout;
    char buffer[4096];
    for (;;) {
        pollfd p{fd, POLLIN, 0};
        int n = poll(&p, 1, MillisecondsLeft(deadline));
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return ReadStatus::Lost;
        }
        if (n == 0) {
            return ReadStatus::TimedOut;
        }
        ssize_t got = ::recv(fd, buffer, sizeof buffer, 0);
        if (got == 0) {
            // The peer closed its side: lines that came before the close are still handed
            // over, the next read reports the loss.
            peerClosed_ = true;
            return lines_.Take(terminator, line) ? ReadStatus::Line : ReadStatus::Lost;
        }
        if (got < 0) {
            if (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK) {
                continue;
            }
            peerClosed_ = true;
            return ReadStatus::Lost;
        }
        if (lines_.Feed(buffer, static_cast<std::size_t>(got), terminator, line)) {
            return ReadStatus::Line;
        }
    }
}

void TcpClient::Disconnect()
{
    std::unique_lock<std::mutex> lock(stateMutex_);
    const int fd = fd_.load();
    if (fd < 0 || shutDown_) {
        // Closed, or another Disconnect is closing it.
        writersLeft_.wait(lock, [this] { return fd_.load() < 0; });
        return;
    }
    shutDown_ = true;
    // Wakes a write that waits for room (and a read): it fails at once and leaves.
    ::shutdown(fd, SHUT_RDWR);
    writersLeft_.wait(lock, [this] { return writers_ == 0; });
    fd_.store(-1);
    ::close(fd);
    lock.unlock();
    writersLeft_.notify_all();
}

} // namespace qmr::platform
