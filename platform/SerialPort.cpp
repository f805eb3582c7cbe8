#include "SerialPort.h"

#include "PortNames.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdint>
#include <fcntl.h>
#include <poll.h>
#include <string>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>
#include <utility>

namespace qmr::platform {

namespace {

using Clock = std::chrono::steady_clock;
struct SpeedEntry {
    unsigned baud;
    speed_t code;
};

constexpr SpeedEntry kSpeeds[] = {
    {50, B50},           {75, B75},           {110, B110},         {134, B134},         {150, B150},
    {200, B200},         {300, B300},         {600, B600},         {1200, B1200},       {1800, B1800},
    {2400, B2400},       {4800, B4800},       {9600, B9600},       {19200, B19200},     {38400, B38400},
    {57600, B57600},     {115200, B115200},   {230400, B230400},   {460800, B460800},   {500000, B500000},
    {576000, B576000},   {921600, B921600},   {1000000, B1000000}, {1152000, B1152000}, {1500000, B1500000},
    {2000000, B2000000}, {2500000, B2500000}, {3000000, B3000000}, {3500000, B3500000}, {4000000, B4000000},
};

bool ApplySettings(termios& tio, const CommSettings& s)
{
    // Raw bytes both ways, no software flow control, reads driven by poll().
    cfmakeraw(&tio);
    tio.c_cflag |= CLOCAL | CREAD;
    tio.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY);
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
    if (s.baud) {
        const SpeedEntry* hit = std::find_if(std::begin(kSpeeds), std::end(kSpeeds),
                                             [&](const SpeedEntry& e) { return e.baud == *s.baud; });
        if (hit == std::end(kSpeeds)) {
            return false;
        }
        if (cfsetispeed(&tio, hit->code) != 0 || cfsetospeed(&tio, hit->code) != 0) {
            return false;
        }
    }
    if (s.parity) {
        tio.c_cflag &= ~static_cast<tcflag_t>(PARENB | PARODD | CMSPAR);
        switch (*s.parity) {
        case 'E':
            tio.c_cflag |= PARENB;
            break;
        case 'O':
            tio.c_cflag |= PARENB | PARODD;
            break;
        case 'M':
            tio.c_cflag |= PARENB | PARODD | CMSPAR;
            break;
        case 'S':
            tio.c_cflag |= PARENB | CMSPAR;
            break;
        default:
            break;
        }
    }
    if (s.dataBits) {
        tio.c_cflag &= ~static_cast<tcflag_t>(CSIZE);
        constexpr tcflag_t kSizes[] = {CS5, CS6, CS7, CS8};
        tio.c_cflag |= kSizes[*s.dataBits - 5];
    }
    if (s.stopTenths) {
        // termios knows one or "more": two stop bits, one and a half on five data bits.
        if (*s.stopTenths == 10) {
            tio.c_cflag &= ~static_cast<tcflag_t>(CSTOPB);
        } else {
            tio.c_cflag |= CSTOPB;
        }
    }
    if (s.outputCtsFlow) {
        if (*s.outputCtsFlow) {
            tio.c_cflag |= CRTSCTS;
        } else {
            tio.c_cflag &= ~static_cast<tcflag_t>(CRTSCTS);
        }
    }
    return true;
}

int MillisecondsUntil(Clock::time_point end)
{
    auto left = std::chrono::duration_cast<std::chrono::microseconds>(end - Clock::now()).count();
    if (left <= 0) {
        return 0;
    }
    return static_cast<int>((left + 999) / 1000);
}

// Waits until the device can take bytes again. False when the port is being closed (`wake`
// became readable), the line failed or hung up, or `stallEnd` passed first.
bool WaitWritable(int fd, int wake, Clock::time_point stallEnd)
{
    while (true) {
        const int wait = MillisecondsUntil(stallEnd);
        if (wait <= 0) {
            return false;
        }
        pollfd p[2]{{fd, POLLOUT, 0}, {wake, POLLIN, 0}};
        const int r = poll(p, 2, wait);
        if (r < 0 && errno != EINTR) {
            return false;
        }
        if (r <= 0) {
            continue;
        }
        if (p[1].revents != 0) {
            return false;
        }
        return (p[0].revents & (POLLHUP | POLLERR | POLLNVAL)) == 0;
    }
}

// What the driver still holds to send goes out before the port is released (the last
// command before a close is often the one that hands the instrument back to its panel), but
// a device that takes nothing does not hold the close up for long: a command line takes a few
// milliseconds at 19200 baud.
constexpr auto kDrainLimit = std::chrono::milliseconds(250);

void DrainOutput(int fd)
{
    const auto end = std::chrono::steady_clock::now() + kDrainLimit;
    int queued = 0;
    while (ioctl(fd, TIOCOUTQ, &queued) == 0 && queued > 0 && std::chrono::steady_clock::now() < end) {
        poll(nullptr, 0, 2);
    }
}

} // namespace

// One read, write or query of the open device: while it lasts, a close waits before it
// releases the descriptors. `fd` is -1 when the port is closed or closing.
class SerialPort::Use {
public:
    explicit Use(const SerialPort& port) : port_(port)
    {
        std::lock_guard<std::mutex> lock(port_.lock_);
        if (port_.fd_ >= 0 && !port_.closing_) {
            fd = port_.fd_;
            wake = port_.wakeFd_;
            ++port_.users_;
        }
    }
    ~Use()
    {
        if (fd < 0) {
            return;
        }
        std::lock_guard<std::mutex> lock(port_.lock_);
        if (--port_.users_ == 0) {
            port_.idle_.notify_all();
        }
    }
    Use(const Use&) = delete;
    Use& operator=(const Use&) = delete;

    int fd = -1;
    int wake = -1;

private:
    const SerialPort& port_;
};

SerialPort::~SerialPort()
{
    Close();
}

bool SerialPort::FailOpen(const std::string& node, int error)
{
    openFailure_.node = node;
    openFailure_.error = error;
    openFailure_.linkTarget.clear();
    char target[PATH_MAX];
    const ssize_t length = node.empty() ? -1 : readlink(node.c_str(), target, sizeof target - 1);
    if (length > 0) {
        openFailure_.linkTarget.assign(target, static_cast<size_t>(length));
    }
    return false;
}

bool SerialPort::Open(int comNumber, const CommSettings& settings)
{
    Close();
    openFailure_ = {};
    std::string path = DevicePathForCom(comNumber);
    if (path.empty()) {
        return FailOpen(path, ENODEV);
    }
    int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return FailOpen(path, errno);
    }
    auto fail = [&](bool exclusive, int error) {
        if (exclusive) {
            ioctl(fd, TIOCNXCL);
        }
        ::close(fd); // also releases the advisory lock
        return FailOpen(path, error);
    };
    // TIOCEXCL keeps other opens out, but not root's; the lock binds every cooperating
    // program, root included. Held by another, the port is busy.
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        return fail(false, errno == EWOULDBLOCK ? EBUSY : errno);
    }
    if (ioctl(fd, TIOCEXCL) != 0) {
        return fail(false, errno);
    }
    termios tio{};
    if (tcgetattr(fd, &tio) != 0) {
        return fail(true, errno);
    }
    // Settings the device cannot take (a speed termios lacks) are invalid for it.
    if (!ApplySettings(tio, settings)) {
        return fail(true, EINVAL);
    }
    if (tcsetattr(fd, TCSANOW, &tio) != 0) {
        return fail(true, errno);
    }
    // Bytes that came before this open (a late reply to a command given up before the last
    // close) answer nothing that this link will send.
    tcflush(fd, TCIFLUSH);
    const int wake = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (wake < 0) {
        return fail(true, errno);
    }
    {
        std::lock_guard<std::mutex> lock(lock_);
        fd_ = fd;
        wakeFd_ = wake;
    }
    // Devices without modem lines (pseudo-terminals) refuse this; the port works without.
    SetModemBits(TIOCM_DTR | TIOCM_RTS, true);
    return true;
}

void SerialPort::Close()
{
    std::unique_lock<std::mutex> lock(lock_);
    idle_.wait(lock, [this] { return !closing_; });
    if (fd_ < 0) {
        return;
    }
    // Wake every read and write polling the device (the count stays set for all of them) and
    // let them leave before the descriptors go: a released number may be reused at once.
    closing_ = true;
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t woken = ::write(wakeFd_, &one, sizeof one);
    idle_.wait(lock, [this] { return users_ == 0; });
    const int fd = std::exchange(fd_, -1);
    const int wake = std::exchange(wakeFd_, -1);
    lock.unlock();
    DrainOutput(fd);
    // The exclusive flag belongs to the terminal, not to this descriptor: clear it so that the
    // next opener (this program again, after a reopen) is not refused.
    ioctl(fd, TIOCNXCL);
    ::close(fd);
    ::close(wake);
    lock.lock();
    closing_ = false;
    idle_.notify_all();
}

bool SerialPort::IsOpen() const
{
    std::lock_guard<std::mutex> lock(lock_);
    return fd_ >= 0 && !closing_;
}

int SerialPort::Read(char* buf, int n, const ReadDone& done)
{
    int error = 0;
    const int got = ReadUnderDeadlines(buf, n, done, error);
    // Set once the port's use has ended, so that nothing overwrites it before the caller looks.
    if (got < 0) {
        errno = error;
    }
    return got;
}

int SerialPort::ReadUnderDeadlines(char* buf, int n, const ReadDone& done, int& error)
{
    if (n < 0 || (n > 0 && buf == nullptr)) {
        error = EINVAL;
        return -1;
    }
    Use use(*this);
    if (use.fd < 0) {
        error = EBADF;
        return -1;
    }
    int got = 0;
    const Clock::time_point totalEnd = Clock::now() + std::chrono::milliseconds(kReadTotalMs);
    Clock::time_point end = totalEnd;
    // What came before a failure still counts.
    auto failed = [&](int why) {
        error = why;
        return got > 0 ? got : -1;
    };
    while (got < n) {
        int wait = MillisecondsUntil(end);
        if (wait <= 0) {
            break;
        }
        pollfd p[2]{{use.fd, POLLIN, 0}, {use.wake, POLLIN, 0}};
        int r = poll(p, 2, wait);
        if (r < 0) {
            if (errno == EINTR) {
                continue;
            }
            return failed(errno);
        }
        if (r == 0) {
            continue; // the deadline is checked above
        }
        // Closing, or a descriptor gone bad.
        if (p[1].revents != 0 || (p[0].revents & POLLNVAL) != 0) {
            return failed(EBADF);
        }
        ssize_t k = ::read(use.fd, buf + got, static_cast<size_t>(n - got));
        if (k > 0) {
            got += static_cast<int>(k);
            end = std::min(totalEnd, Clock::now() + std::chrono::milliseconds(kReadIntervalMs));
            if (done && done(got)) {
                break;
            }
            continue;
        }
        const bool hungUp = (p[0].revents & (POLLHUP | POLLERR)) != 0;
        if (k < 0 && (errno == EINTR || errno == EAGAIN) && !hungUp) {
            continue;
        }
        // End of file, EIO or a hang-up: the line is gone.
        return failed(k < 0 && errno != EINTR && errno != EAGAIN ? errno : EIO);
    }
    return got;
}

bool SerialPort::Write(const void* data, int n)
{
    if (n < 0 || (n > 0 && data == nullptr)) {
        return false;
    }
    Use use(*this);
    if (use.fd < 0) {
        return false;
    }
    const auto stallLimit = std::chrono::milliseconds(kWriteStallMs);
    const char* p = static_cast<const char*>(data);
    int done = 0;
    Clock::time_point stallEnd = Clock::now() + stallLimit;
    while (done < n) {
        ssize_t k = ::write(use.fd, p + done, static_cast<size_t>(n - done));
        if (k > 0) {
            done += static_cast<int>(k);
            stallEnd = Clock::now() + stallLimit;
            continue;
        }
        if (k < 0 && errno == EINTR) {
            continue;
        }
        if (k < 0 && errno == EAGAIN) {
            if (WaitWritable(use.fd, use.wake, stallEnd)) {
                continue;
            }
            // The caller is told that this write failed: its queued bytes must not reach the
            // device later, and a close must not wait for a device that takes nothing.
            tcflush(use.fd, TCOFLUSH);
        }
        return false;
    }
    return true;
}

int SerialPort::InputWaiting() const
{
    Use use(*this);
    int n = 0;
    if (use.fd < 0 || ioctl(use.fd, FIONREAD, &n) != 0) {
        return -1;
    }
    return n;
}

bool SerialPort::GetModemLines(ModemLines& lines) const
{
    Use use(*this);
    int bits = 0;
    if (use.fd < 0 || ioctl(use.fd, TIOCMGET, &bits) != 0) {
        return false;
    }
    lines.cts = (bits & TIOCM_CTS) != 0;
    lines.dsr = (bits & TIOCM_DSR) != 0;
    lines.ring = (bits & TIOCM_RNG) != 0;
    lines.dcd = (bits & TIOCM_CAR) != 0;
    return true;
}

bool SerialPort::SetModemBits(int bits, bool on)
{
    Use use(*this);
    return use.fd >= 0 && ioctl(use.fd, on ? TIOCMBIS : TIOCMBIC, &bits) == 0;
}

bool SerialPort::SetRts(bool on)
{
    return SetModemBits(TIOCM_RTS, on);
}

bool SerialPort::SetDtr(bool on)
{
    return SetModemBits(TIOCM_DTR, on);
}

bool SerialPort::SetBreak(bool on)
{
    Use use(*this);
    return use.fd >= 0 && ioctl(use.fd, on ? TIOCSBRK : TIOCCBRK) == 0;
}

bool SerialPort::HoldOutput(bool hold)
{
    Use use(*this);
    return use.fd >= 0 && tcflow(use.fd, hold ? TCOOFF : TCOON) == 0;
}

} // namespace qmr::platform
