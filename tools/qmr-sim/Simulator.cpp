#include "Simulator.h"

#include "Simconn.h"

#include "common/QmrUsbIds.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <deque>
#include <fcntl.h>
#include <fstream>
#include <future>
#include <netinet/in.h>
#include <poll.h>
#include <pty.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

namespace qmrsim {

namespace {

void SetNonBlocking(int fd)
{
    int flags = fcntl(fd, F_GETFL, 0);
    fcntl(fd, F_SETFL, flags | O_NONBLOCK);
}

std::string Hex4(uint16_t value)
{
    char text[8];
    std::snprintf(text, sizeof text, "%04x", value);
    return text;
}

} // namespace

struct Simulator::Impl {
    SimulatorOptions options;
    int listenFd = -1;
    int wakeFd = -1;
    int ptyMaster = -1;
    int ptySlaveKeep = -1;
    Connection tcp;
    Connection pty;
    std::atomic<std::thread::id> loopThread{};

    std::mutex requestMutex;
    std::vector<std::function<void()>> requests;
    std::atomic<bool> stop{false};

    // Guarded by the simulator's mutex: read by other threads.
    std::string ptySlavePath;
    std::filesystem::path ptyLink;

    void Wake() const
    {
        uint64_t one = 1;
        if (wakeFd >= 0) {
            [[maybe_unused]] ssize_t n = ::write(wakeFd, &one, sizeof one);
        }
    }
};

Simulator::Simulator() : start_(Clock::now()), impl_(std::make_unique<Impl>())
{
}

Simulator::~Simulator()
{
    Stop();
    std::lock_guard lock(mutex_);
    if (recordFile_ != nullptr) {
        std::fclose(recordFile_);
        recordFile_ = nullptr;
    }
}

std::string Simulator::LastError() const
{
    std::lock_guard lock(mutex_);
    return lastError_;
}

std::filesystem::path Simulator::PtyLink() const
{
    std::lock_guard lock(mutex_);
    return impl_->ptyLink;
}

std::string Simulator::PtySlavePath() const
{
    std::lock_guard lock(mutex_);
    return impl_->ptySlavePath;
}

bool Simulator::Start(const SimulatorOptions& options)
{
    if (running_.load()) {
        return false;
    }
    Impl& im = *impl_;
    im.options = options;
    if (im.options.usbVendorId == 0) {
        im.options.usbVendorId = qmr::kQmrUsbVendorId;
    }
    if (im.options.usbProductId == 0) {
        im.options.usbProductId = qmr::kQmrUsbProductId;
    }
    SetTerminator(options.terminator);
    auto fail = [&](const std::string& what) {
        {
            std::lock_guard lock(mutex_);
            lastError_ = what + ": " + std::strerror(errno);
        }
        Stop();
        return false;
    };
    im.wakeFd = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (im.wakeFd < 0) {
        return fail("eventfd");
    }
    if (options.tcpPort >= 0) {
        im.listenFd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        if (im.listenFd < 0) {
            return fail("socket");
        }
        int yes = 1;
        setsockopt(im.listenFd, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK); // the network face is never reachable from outside
        addr.sin_port = htons(static_cast<uint16_t>(options.tcpPort));
        if (bind(im.listenFd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
            return fail("bind 127.0.0.1:" + std::to_string(options.tcpPort));
        }
        if (listen(im.listenFd, 4) != 0) {
            return fail("listen");
        }
        socklen_t length = sizeof addr;
        getsockname(im.listenFd, reinterpret_cast<sockaddr*>(&addr), &length);
        tcpPort_ = ntohs(addr.sin_port);
    }
    if (options.ptyCom > 0) {
        if (!ReplugPty()) {
            return fail("pseudo-terminal");
        }
    }
    im.stop = false;
    running_ = true;
    thread_ = std::thread([this] { Loop(); });
    return true;
}

void Simulator::Stop()
{
    Impl& im = *impl_;
    if (thread_.joinable()) {
        im.stop = true;
        im.Wake();
        thread_.join();
    }
    running_ = false;
    // Requests that came in while the loop ended are run here, so that no caller waits on.
    std::vector<std::function<void()>> leftover;
    {
        std::lock_guard lock(im.requestMutex);
        leftover.swap(im.requests);
    }
    for (auto& job : leftover) {
        job();
    }
    if (im.tcp.IsOpen()) {
        close(im.tcp.fd());
        im.tcp.Detach();
    }
    tcpClient_ = false;
    if (im.listenFd >= 0) {
        close(im.listenFd);
        im.listenFd = -1;
    }
    tcpPort_ = -1;
    HangUpPty();
    if (im.wakeFd >= 0) {
        close(im.wakeFd);
        im.wakeFd = -1;
    }
}

void Simulator::RunOnLoop(const std::function<void()>& work)
{
    Impl& im = *impl_;
    if (!running_.load() || std::this_thread::get_id() == im.loopThread.load()) {
        work();
        return;
    }
    auto done = std::make_shared<std::promise<void>>();
    std::future<void> finished = done->get_future();
    {
        std::lock_guard lock(im.requestMutex);
        im.requests.emplace_back([work, done] {
            work();
            done->set_value();
        });
    }
    im.Wake();
    finished.wait();
}

void Simulator::ReleaseHeld()
{
    RunOnLoop([this] {
        impl_->tcp.Release();
        impl_->pty.Release();
    });
}

void Simulator::TcpFin()
{
    RunOnLoop([this] {
        Connection& c = impl_->tcp;
        if (!c.IsOpen()) {
            return;
        }
        // Unread input would turn the close into a reset: read it away first.
        char sink[4096];
        while (::read(c.fd(), sink, sizeof sink) > 0) {
        }
        shutdown(c.fd(), SHUT_WR);
        close(c.fd());
        c.Detach();
        tcpClient_ = false;
    });
}

void Simulator::TcpReset()
{
    RunOnLoop([this] {
        Connection& c = impl_->tcp;
        if (!c.IsOpen()) {
            return;
        }
        linger hard{1, 0}; // closing with a zero linger sends RST
        setsockopt(c.fd(), SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
        close(c.fd());
        c.Detach();
        tcpClient_ = false;
    });
}

void Simulator::HangUpPty()
{
    RunOnLoop([this] {
        Impl& im = *impl_;
        if (im.ptyMaster >= 0) {
            close(im.ptyMaster);
        }
        if (im.ptySlaveKeep >= 0) {
            close(im.ptySlaveKeep);
        }
        im.ptyMaster = -1;
        im.ptySlaveKeep = -1;
        im.pty.Detach();
        ptyPresent_ = false;
        std::lock_guard lock(mutex_);
        if (!im.ptyLink.empty()) {
            std::error_code ec;
            std::filesystem::remove(im.ptyLink, ec);
            std::filesystem::remove(im.ptyLink.string() + ".usb", ec);
        }
    });
}

bool Simulator::ReplugPty()
{
    bool ok = false;
    RunOnLoop([this, &ok] {
        Impl& im = *impl_;
        if (im.options.ptyCom <= 0 || im.ptyMaster >= 0) {
            ok = im.ptyMaster >= 0;
            return;
        }
        int master = -1;
        int slave = -1;
        char name[256] = {};
        if (openpty(&master, &slave, name, nullptr, nullptr) != 0) {
            return;
        }
        // Raw before anyone opens the slave, so that no echo or line editing touches a byte.
        termios tio{};
        tcgetattr(slave, &tio);
        cfmakeraw(&tio);
        tcsetattr(slave, TCSANOW, &tio);
        SetNonBlocking(master);
        fcntl(master, F_SETFD, FD_CLOEXEC);
        fcntl(slave, F_SETFD, FD_CLOEXEC);
        std::filesystem::path ports = im.options.dir / "ports";
        std::filesystem::path link = ports / ("COM" + std::to_string(im.options.ptyCom));
        std::error_code ec;
        std::filesystem::create_directories(ports, ec);
        std::filesystem::remove(link, ec);
        std::filesystem::create_symlink(name, link, ec);
        if (ec) {
            close(master);
            close(slave);
            return;
        }
        std::string serial = im.options.usbSerial.empty() ? instrument_.State().serial : im.options.usbSerial;
        std::ofstream descriptor(link.string() + ".usb", std::ios::trunc);
        descriptor << "vid=" << Hex4(im.options.usbVendorId) << "\npid=" << Hex4(im.options.usbProductId)
                   << "\nserial=" << serial << "\nname=" << im.options.usbName << "\n";
        descriptor.close();
        im.ptyMaster = master;
        im.ptySlaveKeep = slave;
        im.pty.Attach(master);
        ptyPresent_ = true;
        std::lock_guard lock(mutex_);
        im.ptySlavePath = name;
        im.ptyLink = link;
        ok = true;
    });
    return ok;
}

void Simulator::AddFault(const Fault& fault)
{
    std::lock_guard lock(mutex_);
    faults_.push_back(fault);
}

void Simulator::ClearFaults()
{
    std::lock_guard lock(mutex_);
    faults_.clear();
}

size_t Simulator::FaultCount() const
{
    std::lock_guard lock(mutex_);
    return faults_.size();
}

void Simulator::SetReplyDelay(std::chrono::milliseconds delay)
{
    std::lock_guard lock(mutex_);
    replyDelay_ = delay;
}

void Simulator::SetByteTime(std::chrono::microseconds perByte)
{
    byteTimeUs_ = perByte.count();
}

void Simulator::SetTerminator(const std::string& terminator)
{
    std::lock_guard lock(mutex_);
    terminator_ = terminator;
}

void Simulator::DropNext(int count)
{
    AddFault(Fault::Of(Fault::Kind::Drop).Times(count));
}

void Simulator::DelayNext(std::chrono::milliseconds delay)
{
    AddFault(Fault::Of(Fault::Kind::Delay).Time(delay));
}

void Simulator::SplitNext(size_t firstPart, std::chrono::milliseconds gap)
{
    AddFault(Fault::Of(Fault::Kind::Split).Time(gap).Size(firstPart));
}

void Simulator::GlueNext(const std::string& extraLine)
{
    AddFault(Fault::Of(Fault::Kind::Glue).Text(extraLine));
}

void Simulator::OverlongNext(size_t length)
{
    AddFault(Fault::Of(Fault::Kind::Overlong).Size(length));
}

void Simulator::OverrideReply(const std::string& match, const std::string& text, int times)
{
    AddFault(Fault::Of(Fault::Kind::Override).On(match).Text(text).Times(times));
}

void Simulator::ErrorOn(const std::string& match, int code, int times)
{
    AddFault(Fault::Of(Fault::Kind::Error).On(match).Code(code).Times(times));
}

std::vector<Received> Simulator::Records() const
{
    std::lock_guard lock(mutex_);
    return records_;
}

size_t Simulator::RecordCount() const
{
    std::lock_guard lock(mutex_);
    return records_.size();
}

void Simulator::ClearRecords()
{
    std::lock_guard lock(mutex_);
    records_.clear();
}

bool Simulator::SetRecordFile(const std::filesystem::path& path)
{
    std::FILE* file = std::fopen(path.c_str(), "w");
    std::lock_guard lock(mutex_);
    if (recordFile_ != nullptr) {
        std::fclose(recordFile_);
    }
    recordFile_ = file;
    return file != nullptr;
}

void Simulator::Loop()
{
    Impl& im = *impl_;
    im.loopThread.store(std::this_thread::get_id());

    auto dropClient = [&] {
        if (im.tcp.IsOpen()) {
            close(im.tcp.fd());
        }
        im.tcp.Detach();
        tcpClient_ = false;
    };

    auto onLine = [&](Connection& c, Face face, const std::string& line) {
        Clock::time_point now = Clock::now();
        std::vector<int> codes;
        {
            std::lock_guard lock(mutex_);
            records_.push_back(Received{now, face, line});
            if (recordFile_ != nullptr) {
                double ms = std::chrono::duration<double, std::milli>(now - start_).count();
                std::fprintf(recordFile_, "%.3f %s\n", ms, line.c_str());
                std::fflush(recordFile_);
            }
            codes = TakeErrorFaults(faults_, line);
        }
        for (int code : codes) {
            instrument_.PushError(code);
        }
        std::optional<std::string> reply = instrument_.Execute(line);
        ReplyPlan plan;
        Clock::duration delay;
        {
            std::lock_guard lock(mutex_);
            plan = PlanReply(faults_, line, std::move(reply), terminator_);
            delay = replyDelay_;
        }
        c.Enqueue(plan, now, delay);
    };

    auto onTcpClose = [&](Connection::Action action) {
        if (action == Connection::Action::Reset) {
            TcpReset();
        } else {
            TcpFin(); // a hang-up of the network face is its plain close
        }
    };
    auto onPtyClose = [&](Connection::Action) { HangUpPty(); };

    while (!im.stop.load()) {
        std::vector<std::function<void()>> work;
        {
            std::lock_guard lock(im.requestMutex);
            work.swap(im.requests);
        }
        for (auto& job : work) {
            job();
        }
        auto perByte = std::chrono::microseconds(byteTimeUs_.load());
        Clock::time_point next = std::min(im.tcp.Pump(perByte, onTcpClose), im.pty.Pump(perByte, onPtyClose));

        pollfd fds[4];
        int count = 0;
        fds[count++] = pollfd{im.wakeFd, POLLIN, 0};
        int listenIndex = -1;
        int tcpIndex = -1;
        int ptyIndex = -1;
        if (im.listenFd >= 0) {
            listenIndex = count;
            fds[count++] = pollfd{im.listenFd, POLLIN, 0};
        }
        if (im.tcp.IsOpen()) {
            tcpIndex = count;
            fds[count++] = pollfd{im.tcp.fd(), static_cast<short>(POLLIN | (im.tcp.WantsWrite() ? POLLOUT : 0)), 0};
        }
        if (im.pty.IsOpen()) {
            ptyIndex = count;
            fds[count++] = pollfd{im.pty.fd(), static_cast<short>(POLLIN | (im.pty.WantsWrite() ? POLLOUT : 0)), 0};
        }
        timespec wait{};
        timespec* waitPtr = nullptr;
        if (next != Clock::time_point::max()) {
            auto left = std::max(Clock::duration::zero(), next - Clock::now());
            auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(left).count();
            wait.tv_sec = static_cast<time_t>(ns / 1000000000);
            wait.tv_nsec = static_cast<long>(ns % 1000000000);
            waitPtr = &wait;
        }
        if (ppoll(fds, static_cast<nfds_t>(count), waitPtr, nullptr) < 0) {
            if (errno == EINTR) {
                continue;
            }
            break;
        }
        if (fds[0].revents & POLLIN) {
            uint64_t value = 0;
            [[maybe_unused]] ssize_t n = ::read(im.wakeFd, &value, sizeof value);
        }
        if (listenIndex >= 0 && (fds[listenIndex].revents & POLLIN)) {
            int client = accept4(im.listenFd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
            if (client >= 0) {
                // One client at a time: a new connection replaces the old one.
                dropClient();
                im.tcp.Attach(client);
                tcpClient_ = true;
                ++tcpAccepted_;
            }
        }
        if (tcpIndex >= 0 && im.tcp.fd() == fds[tcpIndex].fd &&
            (fds[tcpIndex].revents & (POLLIN | POLLHUP | POLLERR))) {
            if (!im.tcp.ReadInput([&](const std::string& line) { onLine(im.tcp, Face::Tcp, line); })) {
                dropClient();
            }
        }
        if (ptyIndex >= 0 && im.pty.fd() == fds[ptyIndex].fd && (fds[ptyIndex].revents & POLLIN)) {
            im.pty.ReadInput([&](const std::string& line) { onLine(im.pty, Face::Pty, line); });
        }
    }
}

} // namespace qmrsim
