#include "Guipost.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QThread>

KGuiPost::KGuiPost()
{
    moveToThread(QCoreApplication::instance()->thread());
}

KGuiPost& KGuiPost::Instance()
{
    // Lives as long as the process: late posts from ending threads find it still there.
    static KGuiPost* queue = new KGuiPost();
    return *queue;
}

void KGuiPost::Post(QObject* context, std::function<void()> work)
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        items_.push_back(Item{QPointer<QObject>(context), std::move(work)});
    }
    QMetaObject::invokeMethod(this, "Drain", Qt::QueuedConnection);
}

void KGuiPost::Drain()
{
    std::deque<Item> items;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        items.swap(items_);
    }
    for (Item& item : items) {
        if (!item.context.isNull()) {
            item.work();
        }
    }
}

void PostToGui(QObject* context, std::function<void()> work)
{
    KGuiPost::Instance().Post(context, std::move(work));
}
