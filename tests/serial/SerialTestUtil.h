#pragma once
// Shared pieces of the serial port tests: a port published on a pseudo-terminal and opened
// through the library's exports, and clocks for bounded timing checks.

#include "bramble/Bramble.h"

#include "TestSupport.h"

#include <chrono>
#include <dirent.h>
#include <string>

namespace serialtest {

inline constexpr const char* kSettings = "baud=19200 parity=N data=8 stop=1";

using Clock = std::chrono::steady_clock;

inline long MillisecondsSince(Clock::time_point start)
{
    return static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count());
}

// Open descriptors of this process.
inline int OpenDescriptorCount()
{
    int n = 0;
    if (DIR* d = opendir("/proc/self/fd")) {
        while (dirent* e = readdir(d)) {
            if (e->d_name[0] != '.') {
                ++n;
            }
        }
        closedir(d);
    }
    return n;
}

// Closes every slot, so that a test leaves no port behind when the cases share a process.
inline void CloseAllPorts()
{
    for (int i = 0; i < 256; ++i) {
        _Rs232Close(i);
    }
}

} // namespace serialtest
