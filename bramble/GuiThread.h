#pragma once
// The library's windows, printer and clipboard belong to the caller's GUI application: they
// are used only from its GUI thread, and never by a caller without one.

#include <QApplication>
#include <QThread>

namespace bramble {

// True on the GUI thread of a running QGuiApplication (the clipboard needs no more).
inline bool OnGuiThread()
{
    const QCoreApplication* app = QCoreApplication::instance();
    return qobject_cast<const QGuiApplication*>(app) != nullptr && QThread::currentThread() == app->thread();
}

// True on the GUI thread of a running QApplication (windows, dialogs and printing).
inline bool OnWidgetThread()
{
    return OnGuiThread() && qobject_cast<const QApplication*>(QCoreApplication::instance()) != nullptr;
}

} // namespace bramble
