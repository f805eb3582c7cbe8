#include "platform/Process.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace qmr::platform {

namespace {

constexpr const char* kOpener = "xdg-open";
constexpr const char* kScriptShell = "/bin/sh";

bool IsExecutableFile(const std::string& path)
{
    struct stat info {};
    return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) && access(path.c_str(), X_OK) == 0;
}

bool Exists(const std::string& path)
{
    struct stat info {};
    return stat(path.c_str(), &info) == 0;
}

// The executable that exec would run for `name`: a name with a "/" as it is, a bare name
// from PATH. Done before fork, because a forked child of a threaded process may call only
// async-signal-safe functions.
std::string ResolveProgram(const std::string& name)
{
    if (name.empty() || name.find('/') != std::string::npos) {
        return name;
    }
    const char* path = std::getenv("PATH");
    std::string_view rest = path != nullptr ? path : "/usr/local/bin:/usr/bin:/bin";
    while (true) {
        const size_t colon = rest.find(':');
        std::string_view folder = rest.substr(0, colon);
        if (folder.empty()) {
            folder = ".";
        }
        std::string candidate(folder);
        candidate += '/';
        candidate += name;
        if (IsExecutableFile(candidate)) {
            return candidate;
        }
        if (colon == std::string_view::npos) {
            return {};
        }
        rest.remove_prefix(colon + 1);
    }
}

bool IsWebAddress(const std::string& text)
{
    if (text.rfind("mailto:", 0) == 0 || text.rfind("www.", 0) == 0) {
        return true;
    }
    const size_t colon = text.find("://");
    if (colon == std::string::npos || colon == 0) {
        return false;
    }
    for (size_t i = 0; i < colon; ++i) {
        const char c = text[i];
        const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                        (i > 0 && ((c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.'));
        if (!ok) {
            return false;
        }
    }
    return true;
}

// A file of the working folder as a path: exec and the shell then never search for it, and a
// name that begins with "-" is no option.
std::string AsPath(const std::string& file)
{
    return file.find('/') == std::string::npos ? "./" + file : file;
}

bool HasBatExtension(const std::string& path)
{
    if (path.size() < 4) {
        return false;
    }
    std::string tail = path.substr(path.size() - 4);
    for (char& c : tail) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return tail == ".bat";
}

[[noreturn]] void ReportAndExit(int reportFd, int error)
{
    ssize_t ignored = write(reportFd, &error, sizeof error);
    (void)ignored;
    _exit(127);
}

// Runs in the forked child: only async-signal-safe calls from here on.
[[noreturn]] void ExecChild(const char* executable, char* const* argv, bool nullStdio, int reportFd)
{
    struct sigaction dflt {};
    dflt.sa_handler = SIG_DFL;
    for (int sig = 1; sig < NSIG; ++sig) {
        sigaction(sig, &dflt, nullptr);
    }
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    if (nullStdio) {
        const int null = open("/dev/null", O_RDWR);
        if (null < 0) {
            ReportAndExit(reportFd, errno);
        }
        for (int fd = 0; fd < 3; ++fd) {
            if (null != fd && dup2(null, fd) < 0) {
                ReportAndExit(reportFd, errno);
            }
        }
        if (null > 2) {
            close(null);
        }
    }
    // The program gets no descriptor of ours (serial ports, sockets): all beyond the standard
    // three close at exec, the report pipe too. Old kernels lack the call; then the
    // descriptors opened close-on-exec are all that close.
#ifdef SYS_close_range
    syscall(SYS_close_range, 3U, ~0U, 4U /* CLOSE_RANGE_CLOEXEC */);
#endif
    execv(executable, argv);
    ReportAndExit(reportFd, errno);
}

// Forks and execs `executable`. Direct: the child's pid, or -1. Detached: the program runs
// as a grandchild (the child in between ends at once and is reaped here), result 0 or -1.
pid_t Spawn(const std::string& executable, const std::vector<std::string>& argv, bool nullStdio, bool ownGroup,
            bool detached)
{
    std::vector<char*> args;
    args.reserve(argv.size() + 1);
    for (const std::string& arg : argv) {
        args.push_back(const_cast<char*>(arg.c_str()));
    }
    args.push_back(nullptr);

    int report[2];
    if (pipe2(report, O_CLOEXEC) != 0) {
        return -1;
    }
    // No signal handler of ours may run in the child between fork and exec.
    sigset_t all;
    sigset_t previous;
    sigfillset(&all);
    pthread_sigmask(SIG_SETMASK, &all, &previous);
    const pid_t pid = fork();
    if (pid == 0) {
        close(report[0]);
        if (detached) {
            setsid();
            const pid_t grandchild = fork();
            if (grandchild < 0) {
                ReportAndExit(report[1], errno);
            }
            if (grandchild > 0) {
                _exit(0);
            }
        } else if (ownGroup) {
            setpgid(0, 0);
        }
        ExecChild(executable.c_str(), args.data(), nullStdio, report[1]);
    }
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    close(report[1]);
    if (pid < 0) {
        close(report[0]);
        return -1;
    }
    if (detached) {
        while (waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
        }
    }
    // The pipe closes at exec (or when the program's process ends); an errno comes through
    // it when exec failed.
    int error = 0;
    ssize_t got;
    do {
        got = read(report[0], &error, sizeof error);
    } while (got < 0 && errno == EINTR);
    close(report[0]);
    if (got == static_cast<ssize_t>(sizeof error)) {
        if (!detached) {
            while (waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
            }
        }
        return -1;
    }
    return detached ? 0 : pid;
}

} // namespace

std::vector<std::string> SplitParameters(std::string_view text)
{
    std::vector<std::string> arguments;
    std::string current;
    bool inArgument = false;
    bool quoted = false;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\\' && i + 1 < text.size() && text[i + 1] == '"') {
            current += '"';
            inArgument = true;
            ++i;
        } else if (c == '"') {
            quoted = !quoted;
            inArgument = true;
        } else if ((c == ' ' || c == '\t') && !quoted) {
            if (inArgument) {
                arguments.push_back(std::move(current));
                current.clear();
                inArgument = false;
            }
        } else {
            current += c;
            inArgument = true;
        }
    }
    if (inArgument) {
        arguments.push_back(std::move(current));
    }
    return arguments;
}

Process::~Process()
{
    Release();
}

bool Process::Start(const std::string& program, const std::vector<std::string>& arguments, bool hidden)
{
    Release();
    const std::string executable = ResolveProgram(program);
    if (executable.empty()) {
        return false;
    }
    std::vector<std::string> argv;
    argv.reserve(arguments.size() + 1);
    argv.push_back(program);
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    const pid_t pid = Spawn(executable, argv, hidden, hidden, false);
    if (pid <= 0) {
        return false;
    }
    std::lock_guard<std::mutex> lock(mutex_);
    pid_ = pid;
    ownGroup_ = hidden;
    ended_ = false;
    exitCode_ = -1;
#ifdef SYS_pidfd_open
    // A descriptor that becomes readable when the process ends: waits end at once instead
    // of at the next slice. Not every kernel has it; the slices then poll.
    pidfd_ = static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
#endif
    return true;
}

bool Process::Reap(bool block)
{
    if (ended_) {
        return true;
    }
    int status = 0;
    pid_t got;
    do {
        got = waitpid(pid_, &status, block ? 0 : WNOHANG);
    } while (got < 0 && errno == EINTR);
    if (got == pid_) {
        ended_ = true;
        exitCode_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        return true;
    }
    if (got < 0 && errno == ECHILD) {
        // Reaped elsewhere: the process is gone all the same, its exit value unknown.
        ended_ = true;
        exitCode_ = -1;
        return true;
    }
    return false;
}

Process::WaitResult Process::WaitSlice(int milliseconds)
{
    if (pid_ <= 0) {
        return WaitResult::Failed;
    }
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (Reap(false)) {
            return WaitResult::Ended;
        }
    }
    if (milliseconds < 0) {
        milliseconds = 0;
    }
    if (pidfd_ >= 0) {
        pollfd ready{pidfd_, POLLIN, 0};
        if (poll(&ready, 1, milliseconds) < 0 && errno != EINTR) {
            return WaitResult::Failed;
        }
    } else {
        std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
    }
    std::lock_guard<std::mutex> lock(mutex_);
    return Reap(false) ? WaitResult::Ended : WaitResult::TimedOut;
}

void Process::Signal(int signal)
{
    // Not yet reaped, so the number still names our child (or its zombie) and its group.
    if (pid_ > 0 && !ended_) {
        kill(ownGroup_ ? -pid_ : pid_, signal);
    }
}

void Process::Terminate()
{
    std::lock_guard<std::mutex> lock(mutex_);
    Signal(SIGTERM);
}

bool Process::EndedUnreaped(int milliseconds) const
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    while (true) {
        siginfo_t info{};
        const int got = waitid(P_PID, static_cast<id_t>(pid_), &info, WEXITED | WNOHANG | WNOWAIT);
        if ((got == 0 && info.si_pid == pid_) || (got != 0 && errno != EINTR)) {
            return true; // ended (or no longer ours to wait for)
        }
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count();
        if (left <= 0) {
            return false;
        }
        if (pidfd_ >= 0) {
            pollfd ready{pidfd_, POLLIN, 0};
            poll(&ready, 1, static_cast<int>(left));
        } else {
            std::this_thread::sleep_for(std::chrono::milliseconds(left < 10 ? left : 10));
        }
    }
}

void Process::End(int graceMs)
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (pid_ <= 0 || ended_) {
            return;
        }
        Signal(SIGTERM);
    }
    // Only this thread reaps, so the process stays unreaped through the grace: whether or not
    // it went, its group can still be named safely, and what it started that ignored the
    // request is killed with it.
    EndedUnreaped(graceMs < 0 ? 0 : graceMs);
    {
        std::lock_guard<std::mutex> lock(mutex_);
        Signal(SIGKILL);
    }
    // A killed process ends at once; should it not, Release leaves it to the background reaper.
    constexpr int kKillWaitMs = 200;
    EndedUnreaped(kKillWaitMs);
    std::lock_guard<std::mutex> lock(mutex_);
    Reap(false);
}

void Process::Release()
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (pidfd_ >= 0) {
        close(pidfd_);
        pidfd_ = -1;
    }
    if (pid_ > 0 && !Reap(false)) {
        const pid_t pid = pid_;
        try {
            std::thread([pid] {
                while (waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
                }
            }).detach();
        } catch (const std::system_error&) {
            // No thread to spare: the process is reaped by nobody until this program ends.
        }
    }
    pid_ = -1;
    ended_ = false;
    exitCode_ = -1;
    ownGroup_ = false;
}

bool OpenDetached(const std::string& target)
{
    const std::string opener = ResolveProgram(kOpener);
    if (opener.empty()) {
        return false;
    }
    return Spawn(opener, {kOpener, target}, true, false, true) == 0;
}

bool ShellStart(const std::string& file, const std::string& parameters, bool hidden, Process& process)
{
    process.Release();
    if (file.empty()) {
        return false;
    }
    if (IsWebAddress(file)) {
        return OpenDetached(file);
    }
    std::string target = file;
    std::vector<std::string> arguments;
    if (!Exists(file)) {
        const size_t blank = file.find(' ');
        if (blank != std::string::npos && blank > 0) {
            target = file.substr(0, blank);
            arguments = SplitParameters(std::string_view(file).substr(blank + 1));
        }
    }
    const std::vector<std::string> more = SplitParameters(parameters);
    arguments.insert(arguments.end(), more.begin(), more.end());

    if (HasBatExtension(target)) {
        if (!Exists(target)) {
            return false;
        }
        arguments.insert(arguments.begin(), AsPath(target));
        return process.Start(kScriptShell, arguments, hidden);
    }
    if (Exists(target)) {
        if (IsExecutableFile(target)) {
            return process.Start(AsPath(target), arguments, hidden);
        }
        return OpenDetached(AsPath(target));
    }
    if (target.find('/') != std::string::npos) {
        return false;
    }
    return process.Start(target, arguments, hidden);
}

int RunCommandInterpreter(const char* command)
{
    if (command == nullptr) {
        return -1;
    }
    const int status = std::system(command);
    if (status == -1 || !WIFEXITED(status)) {
        return -1;
    }
    return WEXITSTATUS(status);
}

} // namespace qmr::platform
