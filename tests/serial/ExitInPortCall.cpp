// A program that ends while its other threads are inside the serial exports on an open port:
// main returns with them still receiving. It opens COM1 (ports/COM1 of its working folder)
// and exits 0 unless something of the library breaks under those threads at exit.

#include "bramble/Bramble.h"

#include <atomic>
#include <thread>

// From the library that lingers at the end (linked after Bramble, so it ends after it).
void LingerAtExit();

namespace {

std::atomic<long> gCalls{0};

} // namespace

int main()
{
    LingerAtExit();
    if (_Rs232Open(0, "baud=19200 parity=N data=8 stop=1") != 0) {
        return 2;
    }
    for (int i = 0; i < 4; ++i) {
        std::thread([] {
            for (;;) {
                _Rs232RecvLen(0);
                gCalls.fetch_add(1, std::memory_order_relaxed);
            }
        }).detach();
    }
    while (gCalls.load() < 2000) {
        std::this_thread::yield();
    }
    return 0;
}
