#include "SimClient.h"

#include <arpa/inet.h>
#include <cerrno>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

namespace simtest {

LineClient::~LineClient()
{
    Close();
}

bool LineClient::ConnectTcp(int port)
{
    Close();
    fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(static_cast<uint16_t>(port));
    if (fd_ < 0 || connect(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        Close();
        return false;
    }
    return true;
}

bool LineClient::OpenSerial(const std::string& path)
{
    Close();
    fd_ = open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (fd_ < 0) {
        return false;
    }
    terminal_ = true;
    termios tio{};
    tcgetattr(fd_, &tio);
    cfmakeraw(&tio);
    tcsetattr(fd_, TCSANOW, &tio);
    return true;
}

void LineClient::Close()
{
    if (fd_ >= 0) {
        close(fd_);
    }
    fd_ = -1;
    terminal_ = false;
    buffer_.clear();
}

bool LineClient::SendRaw(const std::string& bytes)
{
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = ::send(fd_, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
        if (n < 0 && errno == ENOTSOCK) {
            n = ::write(fd_, bytes.data() + done, bytes.size() - done);
        }
        if (n <= 0) {
            return false;
        }
        done += static_cast<size_t>(n);
    }
    return true;
}

bool LineClient::Send(const std::string& line, const std::string& terminator)
{
    return SendRaw(line + terminator);
}

bool LineClient::Fill(std::chrono::steady_clock::time_point deadline)
{
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() < 0) {
        return false;
    }
    pollfd p{fd_, POLLIN, 0};
    if (poll(&p, 1, static_cast<int>(left.count())) <= 0) {
        return false;
    }
    char chunk[4096];
    ssize_t n = ::read(fd_, chunk, sizeof chunk);
    if (n <= 0) {
        return false;
    }
    buffer_.append(chunk, static_cast<size_t>(n));
    return true;
}

std::optional<std::string> LineClient::ReadLine(std::chrono::milliseconds timeout, const std::string& terminator)
{
    auto deadline = std::chrono::steady_clock::now() + timeout;
    while (true) {
        size_t at = buffer_.find(terminator);
        if (at != std::string::npos) {
            std::string line = buffer_.substr(0, at);
            buffer_.erase(0, at + terminator.size());
            return line;
        }
        if (!Fill(deadline)) {
            return std::nullopt;
        }
    }
}

std::optional<std::string> LineClient::Ask(const std::string& line, std::chrono::milliseconds timeout)
{
    if (!Send(line)) {
        return std::nullopt;
    }
    return ReadLine(timeout);
}

std::string LineClient::ReadBytes(size_t count, std::chrono::milliseconds timeout)
{
    auto deadline = std::chrono::steady_clock::now() + timeout;
    while (buffer_.size() < count && Fill(deadline)) {
    }
    std::string out = buffer_.substr(0, std::min(count, buffer_.size()));
    buffer_.erase(0, out.size());
    return out;
}

LineClient::End LineClient::WaitForEnd(std::chrono::milliseconds timeout)
{
    auto deadline = std::chrono::steady_clock::now() + timeout;
    while (std::chrono::steady_clock::now() < deadline) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        pollfd p{fd_, POLLIN, 0};
        if (poll(&p, 1, static_cast<int>(std::max<long>(left.count(), 0))) <= 0) {
            break;
        }
        char chunk[256];
        ssize_t n = ::read(fd_, chunk, sizeof chunk);
        int error = n < 0 ? errno : 0;
        if (n > 0) {
            continue; // replies still on their way
        }
        if (terminal_ && (n == 0 || error == EIO)) {
            return End::HungUp; // the terminal's other side is gone
        }
        if (n == 0) {
            return End::Closed;
        }
        if (error == ECONNRESET) {
            return End::Reset;
        }
        if (error != EAGAIN && error != EINTR) {
            return End::Closed;
        }
    }
    return End::StillOpen;
}

} // namespace simtest
