#include "platform/TermSignals.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <mutex>
#include <unistd.h>

namespace qmr::platform {

namespace {

std::atomic<int> gWriteEnd{-1};
int gReadEnd = -1;
std::once_flag gOnce;

extern "C" void OnTermSignal(int signo)
{
    const int saved = errno;
    const int fd = gWriteEnd.load();
    if (fd >= 0) {
        const unsigned char byte = static_cast<unsigned char>(signo);
        // A full pipe already holds a pending request; the byte may be dropped.
        [[maybe_unused]] ssize_t n = ::write(fd, &byte, 1);
    }
    errno = saved;
}

void Install()
{
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0) {
        return;
    }
    gReadEnd = fds[0];
    gWriteEnd.store(fds[1]);
    struct sigaction action {};
    action.sa_handler = OnTermSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGTERM, &action, nullptr);
    ::sigaction(SIGINT, &action, nullptr);
}

} // namespace

int TermSignals::Open()
{
    std::call_once(gOnce, Install);
    return gReadEnd;
}

int TermSignals::Take()
{
    if (gReadEnd < 0) {
        return 0;
    }
    int last = 0;
    unsigned char buffer[16];
    for (;;) {
        const ssize_t n = ::read(gReadEnd, buffer, sizeof buffer);
        if (n <= 0) {
            break;
        }
        last = buffer[n - 1];
    }
    return last;
}

} // namespace qmr::platform
