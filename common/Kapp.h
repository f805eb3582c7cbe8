#pragma once
// The application object of the deliverables with windows: an exception that reaches the
// message loop is shown in a message box instead of ending the program.

#include <QApplication>
#include <QString>

class KApplication : public QApplication {
public:
    // `caption` titles the box that shows an exception.
    KApplication(int& argc, char** argv, QString caption);

    bool notify(QObject* receiver, QEvent* event) override;

    // Shows the text of the exception in flight (call it from a catch block): a standard
    // exception with its message, anything else with an empty text.
    static void ShowCurrentException();

private:
    static void ShowException(const QString& text);

    static QString caption_;
};
