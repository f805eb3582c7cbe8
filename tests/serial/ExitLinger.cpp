// A library whose end runs after Bramble's: it keeps the process alive for a moment once
// Bramble's own objects would be gone, as the rest of a larger program's end would, while
// the program's threads go on calling into Bramble.

#include <chrono>
#include <thread>

namespace {

bool gLinger = false;

struct Linger {
    ~Linger()
    {
        if (gLinger) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
    }
} gAtEnd;

} // namespace

__attribute__((visibility("default"))) void LingerAtExit()
{
    gLinger = true;
}
