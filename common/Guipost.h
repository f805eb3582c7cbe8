#pragma once
// The one road from a worker thread to the GUI thread: work is queued under a lock of ours
// and run by the GUI thread's event loop, in the order it was posted, never waited for. The
// lock also makes the hand-over of the work's data visible to the thread checker, which
// cannot see the toolkit's own (uninstrumented) queue.

#include <QObject>
#include <QPointer>

#include <deque>
#include <functional>
#include <mutex>

class KGuiPost : public QObject {
    Q_OBJECT

public:
    // The queue of the application's GUI thread; the application must exist.
    static KGuiPost& Instance();

    // Runs `work` on the GUI thread, unless `context` is gone by then. Callable from any
    // thread; returns at once.
    void Post(QObject* context, std::function<void()> work);

private:
    KGuiPost();
    Q_INVOKABLE void Drain();

    struct Item {
        QPointer<QObject> context;
        std::function<void()> work;
    };
    std::mutex mutex_;
    std::deque<Item> items_;
};

// Shorthand for KGuiPost::Instance().Post.
void PostToGui(QObject* context, std::function<void()> work);
