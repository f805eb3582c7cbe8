#pragma once
// The application object of the deliverables with windows: an exception that reaches the
// message loop is shown in a message box instead of ending the program.

#include <QApplication>
#include <QString>

#include <functional>

class KApplication : public QApplication {
public:
    // `caption` titles the box that shows an exception.
    KApplication(int& argc, char** argv, QString caption);

    bool notify(QObject* receiver, QEvent* event) override;

    // Runs `work` once the message loop itself delivers it with nothing of the program below
    // (no handler waits in a nested loop), unless `context` is gone by then. GUI thread only.
    // Under another application object rest cannot be told apart: `work` never runs.
    static void RunAtRest(QObject* context, std::function<void()> work);

    // Shows the text of the exception in flight (call it from a catch block): a standard
    // exception with its message, anything else with an empty text.
    static void ShowCurrentException();

private:
    // How many event deliveries are running on the calling thread: 1 inside a handler that
    // the message loop called, more inside a nested wait (a modal box, a processing wait)
    // that a handler runs.
    static int Depth();
    static void ShowException(const QString& text);
    static void RunAtRestAfter(QObject* context, std::function<void()> work, int delayMs);

    static QString caption_;
};
