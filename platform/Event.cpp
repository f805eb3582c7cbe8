#include "Event.h"

namespace qmr::platform {

void Event::Set()
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        signalled_ = true;
    }
    if (reset_ == Reset::Auto) {
        cv_.notify_one();
    } else {
        cv_.notify_all();
    }
}

void Event::ResetEvent()
{
    std::lock_guard<std::mutex> lock(mutex_);
    signalled_ = false;
}

bool Event::Wait(std::chrono::milliseconds timeout)
{
    std::unique_lock<std::mutex> lock(mutex_);
    if (!cv_.wait_for(lock, timeout, [this] { return signalled_; })) {
        return false;
    }
    if (reset_ == Reset::Auto) {
        signalled_ = false;
    }
    return true;
}

} // namespace qmr::platform
