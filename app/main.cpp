// Entry of the instrument program: the application object, the start-up window as the one
// main window, the message loop, and the orderly shut-down after it. SIGTERM and SIGINT close
// the program as its Close button would once the questions are answered.

#include "app/core/Formstup.h"
#include "common/Fontsubst.h"
#include "platform/TermSignals.h"

#include <QApplication>
#include <QMessageBox>
#include <QSocketNotifier>
#include <QString>

#include <exception>

namespace {

// An exception that reaches the message loop is shown and the program goes on.
class QmrApplication : public QApplication {
public:
    QmrApplication(int& argc, char** argv) : QApplication(argc, argv) {}

    bool notify(QObject* receiver, QEvent* event) override
    {
        try {
            return QApplication::notify(receiver, event);
        } catch (const std::exception& error) {
            ShowException(QString::fromLocal8Bit(error.what()));
        } catch (...) {
            ShowException(QString());
        }
        return false;
    }

    static void ShowException(const QString& text) { QMessageBox::critical(nullptr, QStringLiteral("QMR3400"), text); }
};

int Run(int argc, char** argv)
{
    QmrApplication app(argc, argv);
    InstallFontSubstitutes();
    // The windows come and go; the program ends only when the start-up window closes.
    app.setQuitOnLastWindowClosed(false);

    auto* startUp = new TFormStartUp();
    startUp->show();

    QSocketNotifier* signalNotifier = nullptr;
    const int signalFd = qmr::platform::TermSignals::Open();
    if (signalFd >= 0) {
        signalNotifier = new QSocketNotifier(signalFd, QSocketNotifier::Read, startUp);
        QObject::connect(signalNotifier, &QSocketNotifier::activated, startUp, [startUp] {
            qmr::platform::TermSignals::Take();
            startUp->CloseOnSignal();
        });
    }

    try {
        app.exec();
    } catch (const std::exception& error) {
        QmrApplication::ShowException(QString::fromLocal8Bit(error.what()));
    } catch (...) {
        QmrApplication::ShowException(QString());
    }
    // The shut-down runs before any window is destroyed.
    startUp->FormDestroy();
    delete startUp;
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    try {
        return Run(argc, argv);
    } catch (...) {
        return 0;
    }
}
