#include "common/Kapp.h"

#include <QMessageBox>
#include <QThread>
#include <QTimer>

#include <exception>
#include <utility>

QString KApplication::caption_;

namespace {

thread_local int gDepth = 0;

// How long work waits for a nested wait to end before it looks again.
constexpr int kRestRetryMs = 100;

} // namespace

KApplication::KApplication(int& argc, char** argv, QString caption) : QApplication(argc, argv)
{
    caption_ = std::move(caption);
}

bool KApplication::notify(QObject* receiver, QEvent* event)
{
    struct Count {
        Count() { ++gDepth; }
        ~Count() { --gDepth; }
    } count;
    try {
        return QApplication::notify(receiver, event);
    } catch (...) {
        ShowCurrentException();
    }
    return false;
}

void KApplication::ShowCurrentException()
{
    try {
        throw;
    } catch (const std::exception& error) {
        ShowException(QString::fromLocal8Bit(error.what()));
    } catch (...) {
        ShowException(QString());
    }
}

void KApplication::ShowException(const QString& text)
{
    QMessageBox::critical(nullptr, caption_, text);
}

int KApplication::Depth()
{
    return gDepth;
}

void KApplication::RunAtRest(QObject* context, std::function<void()> work)
{
    if (dynamic_cast<KApplication*>(QCoreApplication::instance()) != nullptr) {
        RunAtRestAfter(context, std::move(work), 0);
    }
}

void KApplication::RunAtRestAfter(QObject* context, std::function<void()> work, int delayMs)
{
    QTimer::singleShot(delayMs, context, [context, work = std::move(work)]() mutable {
        // The timer's own delivery by the message loop is the one expected here; more is a
        // nested wait, another loop level a modal run or a wait outside the message loop.
        if (Depth() > 1 || QThread::currentThread()->loopLevel() != 1) {
            RunAtRestAfter(context, std::move(work), kRestRetryMs);
            return;
        }
        work();
    });
}
