#include "Thread.h"

namespace qmr::platform {

Thread::~Thread()
{
    StopAndWait();
}

void Thread::Start()
{
    bool expected = false;
    if (started_.compare_exchange_strong(expected, true)) {
        thread_ = std::thread(&Thread::Run, this);
    }
}

void Thread::Run()
{
    // A thread asked to end before it began skips its loop, as the toolkit's threads did.
    if (!terminated_.load()) {
        began_.store(true);
        Execute();
    }
    finished_.store(true);
}

void Thread::WaitFor()
{
    if (thread_.joinable() && thread_.get_id() != std::this_thread::get_id()) {
        thread_.join();
    }
}

void Thread::StopAndWait()
{
    Terminate();
    Start();
    WaitFor();
}

} // namespace qmr::platform
