#pragma once
// Windows of the library live on the application's GUI thread, while its callers may be on
// any thread. A caller on another thread hands the window work over as a queued call and waits
// on a condition for the result; the wait is given up when the work can no longer run: its
// window went, or the application quit or was destroyed. Nothing here ever blocks the GUI
// thread.

#include "GuiThread.h"
#include "common/Guipost.h"

#include <QObject>

#include <functional>
#include <memory>
#include <optional>
#include <utility>

namespace bramble {

// A QApplication exists (its GUI thread can make widgets); asked from any thread.
bool WidgetsAvailable();
// The application has quit (its event loop ended) or was destroyed: from then on no queued
// work runs and every wait of the library ends at once.
bool GuiGone();
// On the GUI thread: notices the application's end from now on (once per process).
void WatchApplication();

namespace detail {

// The state between the waiting thread and the GUI thread, guarded by one lock of the library
// (hand-overs are few: one per window operation of a caller on another thread).
struct HandoverBase {
    bool finished = false;
    void Finish(); // under the lock: marks finished and wakes the waiters
    // Waits until finished or the application has gone; true when finished.
    bool Wait();
    // Runs `f` under the lock.
    void Locked(const std::function<void()>& f);
};

} // namespace detail

// The copyable completion handed to the GUI side: call it once with the result. When every
// copy is gone without a call (the queued call was dropped, the window destroyed its pending
// request), the waiting thread is released with no result.
template <class T>
class GuiCompletion {
public:
    struct Shared : detail::HandoverBase {
        std::optional<T> value;
    };

    explicit GuiCompletion(std::shared_ptr<Shared> shared) : guard_(std::make_shared<Guard>(std::move(shared))) {}

    void operator()(T value) const
    {
        Shared& s = *guard_->shared;
        s.Locked([&] {
            if (!s.finished) {
                s.value = std::move(value);
                s.Finish();
            }
        });
    }

private:
    struct Guard {
        explicit Guard(std::shared_ptr<Shared> s) : shared(std::move(s)) {}
        ~Guard()
        {
            shared->Locked([this] {
                if (!shared->finished) {
                    shared->Finish();
                }
            });
        }
        Guard(const Guard&) = delete;
        Guard& operator=(const Guard&) = delete;
        std::shared_ptr<Shared> shared;
    };
    std::shared_ptr<Guard> guard_;
};

// From a thread other than the GUI thread: runs `work(completion)` on the GUI thread (unless
// `context` is gone by then) and waits until the completion is called. No result when the work
// was dropped or the application has gone.
template <class T>
std::optional<T> CallOnGui(QObject* context, std::function<void(GuiCompletion<T>)> work)
{
    if (GuiGone() || !WidgetsAvailable()) {
        return std::nullopt;
    }
    auto shared = std::make_shared<typename GuiCompletion<T>::Shared>();
    PostToGui(context, [work = std::move(work), done = GuiCompletion<T>(shared)] {
        if (!GuiGone()) {
            work(done);
        }
    });
    if (!shared->Wait()) {
        return std::nullopt;
    }
    std::optional<T> result;
    shared->Locked([&] { result = std::move(shared->value); });
    return result;
}

} // namespace bramble
