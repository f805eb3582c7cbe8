#include "common/Kprocess.h"

#include <cstring>
#include <new>
#include <optional>

namespace {

// Only this many characters of the file text are looked at to choose the route.
constexpr size_t kRouteTestLength = 260;
constexpr int kWaitSliceMs = 100;

} // namespace

bool KProcess::Run(const char* file, const char* parameters, unsigned char showCommand, unsigned char wait)
{
    showCommand_ = showCommand;
    const bool started = Exec(file, parameters);
    if (started && wait == 1) {
        WaitEnd();
    }
    return started;
}

bool KProcess::Exec(const char* file, const char* parameters)
{
    if (file == nullptr) {
        return false;
    }
    char head[kRouteTestLength + 1];
    size_t length = 0;
    while (length < kRouteTestLength && file[length] != '\0' && file[length] != ' ') {
        head[length] = file[length];
        ++length;
    }
    head[length] = '\0';
    if (std::strchr(head, '.') != nullptr) {
        return ExecShell(file, parameters);
    }
    return ExecSystem(file, parameters);
}

bool KProcess::ExecShell(const char* file, const char* parameters)
{
    if (file == nullptr) {
        process_.Release();
        return false;
    }
    return qmr::platform::ShellStart(file, parameters != nullptr ? parameters : "", showCommand_ == kShowHidden,
                                     process_);
}

bool KProcess::ExecShellProgram(const char* file, const std::vector<std::string>& arguments)
{
    if (file == nullptr || file[0] == '\0') {
        process_.Release();
        return false;
    }
    std::string path = file;
    if (path.find('/') == std::string::npos) {
        path.insert(0, "./");
    }
    return process_.Start(path, arguments, showCommand_ == kShowHidden);
}

bool KProcess::ExecSystem(const char* file, const char* parameters)
{
    if (file == nullptr) {
        return false;
    }
    if (parameters == nullptr) {
        parameters = "";
    }
    // Each call builds its text in a buffer of its own, so two threads may take this route.
    char command[kCommandBufferSize];
    const size_t fileLength = std::strlen(file);
    const size_t parametersLength = std::strlen(parameters);
    if (fileLength + 1 + parametersLength > static_cast<size_t>(kCommandBufferSize - 1)) {
        return false;
    }
    std::memcpy(command, file, fileLength);
    command[fileLength] = ' ';
    std::memcpy(command + fileLength + 1, parameters, parametersLength);
    command[fileLength + 1 + parametersLength] = '\0';
    return qmr::platform::RunCommandInterpreter(command) == 0;
}

bool KProcess::WaitEnd()
{
    return WaitInSlices(std::nullopt);
}

bool KProcess::WaitEndFor(int milliseconds)
{
    return WaitInSlices(milliseconds < 0 ? 0 : milliseconds);
}

bool KProcess::WaitInSlices(std::optional<int> limit)
{
    if (!process_.Held()) {
        return false;
    }
    int left = limit.value_or(0);
    while (true) {
        const int slice = limit && left < kWaitSliceMs ? left : kWaitSliceMs;
        switch (process_.WaitSlice(slice)) {
        case qmr::platform::Process::WaitResult::Ended:
            return true;
        case qmr::platform::Process::WaitResult::Failed:
            return false;
        case qmr::platform::Process::WaitResult::TimedOut:
            break;
        }
        if (limit) {
            left -= slice;
            if (left <= 0) {
                return process_.HasEnded();
            }
        }
    }
}

void KProcess::Terminate()
{
    process_.Terminate();
}

void KProcess::End(int graceMs)
{
    process_.End(graceMs);
}

bool RunProcessWait(const char* file, const char* parameters, unsigned char showCommand)
{
    KProcess* process = new (std::nothrow) KProcess;
    if (process == nullptr) {
        return false;
    }
    bool started = false;
    try {
        started = process->Run(file, parameters, showCommand, 1);
    } catch (...) {
        started = false;
    }
    delete process;
    return started;
}
