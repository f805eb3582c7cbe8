#pragma once
// Auto-reset and manual-reset events over a mutex and a condition variable.

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace qmr::platform {

class Event {
public:
    enum class Reset { Auto, Manual };

    explicit Event(Reset reset, bool signalled = false) : reset_(reset), signalled_(signalled) {}
    Event(const Event&) = delete;
    Event& operator=(const Event&) = delete;

    // Signals the event: an auto-reset event wakes one waiter (or the next one to wait) and
    // clears itself; a manual-reset event stays signalled until Reset.
    void Set();
    void ResetEvent();

    // Waits until the event is signalled or `timeout` passed; true when signalled.
    bool Wait(std::chrono::milliseconds timeout);

private:
    std::mutex mutex_;
    std::condition_variable cv_;
    const Reset reset_;
    bool signalled_;
};

} // namespace qmr::platform
