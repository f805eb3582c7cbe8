#include "Console.h"

#include <atomic>
#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace qmr::platform {

namespace {

std::atomic<bool> consoleHeld{false};

} // namespace

bool ConsoleAlloc()
{
    if (isatty(STDOUT_FILENO) != 1) {
        return false;
    }
    bool expected = false;
    return consoleHeld.compare_exchange_strong(expected, true);
}

int ConsoleStdOutput()
{
    if (fcntl(STDOUT_FILENO, F_GETFD) == -1) {
        return kInvalidConsoleOutput;
    }
    return STDOUT_FILENO;
}

bool ConsoleWrite(int output, const char* data, std::size_t size)
{
    if (output < 0) {
        return false;
    }
    // One call, so that lines of different threads reach the terminal whole.
    ssize_t written;
    do {
        written = write(output, data, size);
    } while (written < 0 && errno == EINTR);
    return written >= 0 && static_cast<std::size_t>(written) == size;
}

void ConsoleFree()
{
    consoleHeld.store(false);
}

} // namespace qmr::platform
