#include "LinkPeers.h"

#include "TestSupport.h"

#include <arpa/inet.h>
#include <cerrno>
#include <filesystem>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sstream>
#include <stdexcept>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace linktest {

namespace {

int CountEntries(const char* folder)
{
    int n = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(folder)) {
        ++n;
    }
    return n;
}

} // namespace

TcpPeer::TcpPeer()
{
    listener_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = 0;
    if (listener_ < 0 || bind(listener_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
        listen(listener_, 8) != 0) {
        throw std::runtime_error("cannot listen on 127.0.0.1");
    }
    socklen_t size = sizeof addr;
    getsockname(listener_, reinterpret_cast<sockaddr*>(&addr), &size);
    port_ = ntohs(addr.sin_port);
}

TcpPeer::~TcpPeer()
{
    Close();
    if (listener_ >= 0) {
        ::close(listener_);
    }
}

bool TcpPeer::Accept(std::chrono::milliseconds timeout)
{
    Close();
    pollfd p{listener_, POLLIN, 0};
    if (poll(&p, 1, static_cast<int>(timeout.count())) <= 0) {
        return false;
    }
    conn_ = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
    if (conn_ >= 0) {
        // Each reply goes out at once, as an instrument's would, not held back for an ack.
        int one = 1;
        setsockopt(conn_, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    }
    return conn_ >= 0;
}

bool TcpPeer::Send(const std::string& bytes)
{
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = ::send(conn_, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        done += static_cast<size_t>(n);
    }
    return true;
}

std::string TcpPeer::ReadUntil(const std::string& terminator, std::chrono::milliseconds timeout)
{
    std::string out;
    auto deadline = std::chrono::steady_clock::now() + timeout;
    while (out.size() < terminator.size() ||
           out.compare(out.size() - terminator.size(), terminator.size(), terminator) != 0) {
        if (!qmrtest::ReadableBefore(conn_, deadline)) {
            break;
        }
        char c;
        if (::recv(conn_, &c, 1, 0) != 1) {
            break;
        }
        out.push_back(c);
    }
    return out;
}

std::string TcpPeer::ReadAvailable()
{
    std::string out;
    char buffer[512];
    for (;;) {
        const ssize_t n = ::recv(conn_, buffer, sizeof buffer, MSG_DONTWAIT);
        if (n <= 0) {
            return out;
        }
        out.append(buffer, static_cast<size_t>(n));
    }
}

void TcpPeer::Close()
{
    if (conn_ >= 0) {
        ::close(conn_);
        conn_ = -1;
    }
}

void TcpPeer::Reset()
{
    if (conn_ >= 0) {
        linger l{1, 0};
        setsockopt(conn_, SOL_SOCKET, SO_LINGER, &l, sizeof l);
        ::close(conn_);
        conn_ = -1;
    }
}

uint16_t ClosedPort()
{
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    socklen_t size = sizeof addr;
    getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &size);
    ::close(fd);
    return ntohs(addr.sin_port);
}

int OpenDescriptors()
{
    // The directory iterator's own descriptor is counted too, every time alike.
    return CountEntries("/proc/self/fd");
}

int Threads()
{
    // Some runtimes (ThreadSanitizer's) add a helper thread at the first thread start:
    // start one before the first count, so that every count sees it alike.
    static const bool settled = [] {
        std::thread([] {}).join();
        return true;
    }();
    (void)settled;
    // A joined thread stays listed for a moment while the kernel takes it down; it has let go
    // of the process's memory by then, so its status shows no memory lines.
    int n = 0;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/task")) {
        n += qmrtest::ReadFile(entry.path() / "status").find("VmSize:") != std::string::npos ? 1 : 0;
    }
    return n;
}

bool ThreadsSettleAt(int count)
{
    return qmrtest::WaitFor([&] { return Threads() == count; }, 5s);
}

std::vector<std::string> LogLines()
{
    std::vector<std::string> lines;
    std::error_code ec;
    if (!std::filesystem::is_directory("log", ec)) {
        return lines;
    }
    for (const auto& entry : std::filesystem::directory_iterator("log")) {
        std::istringstream in(qmrtest::ReadFile(entry.path()));
        std::string line;
        while (std::getline(in, line)) {
            if (!line.empty() && line.back() == '\r') {
                line.pop_back();
            }
            lines.push_back(line);
        }
    }
    return lines;
}

bool LogHas(const std::string& tag, const std::string& text)
{
    std::string wanted = text.empty() ? " " + tag : " " + tag + " " + text;
    for (const std::string& line : LogLines()) {
        if (line.size() >= wanted.size() && line.compare(line.size() - wanted.size(), wanted.size(), wanted) == 0) {
            return true;
        }
    }
    return false;
}

} // namespace linktest
