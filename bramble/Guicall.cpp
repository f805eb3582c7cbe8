#include "Guicall.h"

#include <QApplication>
#include <QCoreApplication>

#include <condition_variable>
#include <mutex>

namespace bramble {

namespace {

std::mutex gLock;
std::condition_variable gWake;
bool gGone = false; // guarded by gLock

void MarkGone()
{
    {
        std::lock_guard<std::mutex> lock(gLock);
        gGone = true;
    }
    gWake.notify_all();
}

} // namespace

bool WidgetsAvailable()
{
    return qobject_cast<QApplication*>(QCoreApplication::instance()) != nullptr;
}

bool GuiGone()
{
    std::lock_guard<std::mutex> lock(gLock);
    return gGone;
}

void WatchApplication()
{
    static bool watching = false;
    QCoreApplication* app = QCoreApplication::instance();
    if (watching || app == nullptr) {
        return;
    }
    watching = true;
    // A caller's thread may still wait for window work when the event loop ends for good:
    // nothing would run that work any more.
    QObject::connect(app, &QCoreApplication::aboutToQuit, &MarkGone);
    QObject::connect(app, &QObject::destroyed, &MarkGone);
}

namespace detail {

void HandoverBase::Finish()
{
    finished = true;
    gWake.notify_all();
}

bool HandoverBase::Wait()
{
    std::unique_lock<std::mutex> lock(gLock);
    gWake.wait(lock, [this] { return finished || gGone; });
    return finished;
}

void HandoverBase::Locked(const std::function<void()>& f)
{
    std::lock_guard<std::mutex> lock(gLock);
    f();
}

} // namespace detail

} // namespace bramble
