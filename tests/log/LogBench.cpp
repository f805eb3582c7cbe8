// Lines per second that three threads write at once into the log file. Target: 100,000.
#include "bramble/Bramble.h"

#include "TestSupport.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

// Sanitizers slow every call and lock down by several times: there the numbers are shown but
// the target is not held against them.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kTimingMeaningful = false;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
constexpr bool kTimingMeaningful = false;
#else
constexpr bool kTimingMeaningful = true;
#endif
#else
constexpr bool kTimingMeaningful = true;
#endif

int main(int argc, char** argv)
{
    constexpr double kTarget = 100000.0;
    constexpr int kThreads = 3;
    int linesPerThread = argc > 1 ? std::atoi(argv[1]) : 100000;
    if (linesPerThread <= 0) {
        linesPerThread = 100000;
    }

    // A temporary working folder: the log file goes with it.
    qmrtest::ScopedWorkDir dir;
    if (_StartLog(0, 0) != 1) {
        std::fprintf(stderr, "the log file could not be opened\n");
        return 1;
    }
    auto begin = std::chrono::steady_clock::now();
    std::vector<std::thread> writers;
    for (int t = 0; t < kThreads; ++t) {
        writers.emplace_back([t, linesPerThread] {
            std::string tag = "RECV";
            std::string text = "thread " + std::to_string(t) + " :ISI:LEVE 50.5;:SYST:ERR? 0,\"No error\"";
            for (int i = 0; i < linesPerThread; ++i) {
                _WriteLog(tag.data(), text.data());
            }
        });
    }
    for (std::thread& w : writers) {
        w.join();
    }
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
    _EndLog();

    double total = static_cast<double>(kThreads) * linesPerThread;
    double rate = total / seconds;
    std::printf("log: %d threads, %.0f lines in %.3f s: %.0f lines/s (target %.0f)\n", kThreads, total, seconds, rate,
                kTarget);
    if (!kTimingMeaningful) {
        std::printf("sanitizer build: target not checked\n");
        return 0;
    }
    return rate >= kTarget ? 0 : 1;
}
