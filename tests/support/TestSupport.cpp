#include "TestSupport.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <iterator>
#include <poll.h>
#include <pty.h>
#include <sstream>
#include <stdexcept>
#include <termios.h>
#include <thread>
#include <unistd.h>

namespace qmrtest {

ScopedWorkDir::ScopedWorkDir() : previous_(std::filesystem::current_path())
{
    std::string pattern = (std::filesystem::temp_directory_path() / "qmrtest-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) {
        throw std::runtime_error("mkdtemp failed");
    }
    path_ = pattern;
    std::filesystem::current_path(path_);
}

ScopedWorkDir::~ScopedWorkDir()
{
    std::error_code ec;
    std::filesystem::current_path(previous_, ec);
    std::filesystem::remove_all(path_, ec);
}

PtyPair::PtyPair()
{
    int slave = -1;
    char name[256] = {};
    if (openpty(&master_, &slave, name, nullptr, nullptr) != 0) {
        throw std::runtime_error("openpty failed");
    }
    termios tio{};
    tcgetattr(slave, &tio);
    cfmakeraw(&tio);
    tcsetattr(slave, TCSANOW, &tio);
    tcgetattr(master_, &tio);
    cfmakeraw(&tio);
    tcsetattr(master_, TCSANOW, &tio);
    slaveKeep_ = slave;
    slavePath_ = name;
}

PtyPair::~PtyPair()
{
    if (master_ >= 0) {
        close(master_);
    }
    if (slaveKeep_ >= 0) {
        close(slaveKeep_);
    }
}

void PtyPair::PublishAs(int comNumber) const
{
    std::filesystem::create_directories("ports");
    std::filesystem::path link = std::filesystem::path("ports") / ("COM" + std::to_string(comNumber));
    std::error_code ec;
    std::filesystem::remove(link, ec);
    std::filesystem::create_symlink(slavePath_, link);
}

bool PtyPair::Write(const std::string& bytes) const
{
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = ::write(master_, bytes.data() + done, bytes.size() - done);
        if (n < 0) {
            if (errno == EINTR || errno == EAGAIN) {
                continue;
            }
            return false;
        }
        done += static_cast<size_t>(n);
    }
    return true;
}

bool ReadableBefore(int fd, std::chrono::steady_clock::time_point deadline)
{
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) {
        return false;
    }
    pollfd p{fd, POLLIN, 0};
    return poll(&p, 1, static_cast<int>(left.count())) > 0;
}

std::string PtyPair::Read(size_t count, std::chrono::milliseconds timeout) const
{
    std::string out;
    auto deadline = std::chrono::steady_clock::now() + timeout;
    while (out.size() < count) {
        if (!ReadableBefore(master_, deadline)) {
            break;
        }
        char buf[4096];
        ssize_t n = ::read(master_, buf, std::min(sizeof buf, count - out.size()));
        if (n <= 0) {
            break;
        }
        out.append(buf, static_cast<size_t>(n));
    }
    return out;
}

std::string PtyPair::ReadUntil(const std::string& terminator, std::chrono::milliseconds timeout) const
{
    std::string out;
    auto deadline = std::chrono::steady_clock::now() + timeout;
    while (out.size() < terminator.size() ||
           out.compare(out.size() - terminator.size(), terminator.size(), terminator) != 0) {
        if (!ReadableBefore(master_, deadline)) {
            break;
        }
        char c;
        if (::read(master_, &c, 1) != 1) {
            break;
        }
        out.push_back(c);
    }
    return out;
}

void PtyPair::HangUp()
{
    if (slaveKeep_ >= 0) {
        close(slaveKeep_);
        slaveKeep_ = -1;
    }
    if (master_ >= 0) {
        close(master_);
        master_ = -1;
    }
}

bool WaitFor(const std::function<bool()>& done, std::chrono::milliseconds timeout)
{
    auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!done()) {
        if (std::chrono::steady_clock::now() >= deadline) {
            return done();
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

std::filesystem::path SourceDir()
{
    if (const char* env = std::getenv("QMR_SOURCE_DIR")) {
        return env;
    }
    return QMR_TEST_SOURCE_DIR;
}

void WriteFile(const std::filesystem::path& path, const std::string& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string ReadFile(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return {};
    }
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

std::set<std::string> ExportedSymbols(const std::filesystem::path& library)
{
    std::set<std::string> names;
    const std::string command =
        std::string(QMR_NM_PROGRAM) + " -D --defined-only '" + library.string() + "' 2>/dev/null";
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) {
        return names;
    }
    // Each line ends with the symbol's name: "<address> <type> <name>".
    char line[1024];
    while (std::fgets(line, sizeof line, pipe) != nullptr) {
        std::istringstream fields(line);
        std::string field;
        std::string last;
        while (fields >> field) {
            last = field;
        }
        if (!last.empty()) {
            names.insert(last);
        }
    }
    if (pclose(pipe) != 0) {
        names.clear();
    }
    return names;
}

} // namespace qmrtest
