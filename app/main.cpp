// Entry of the instrument program: the application object, the start-up window as the one
// main window, the message loop, and the orderly shut-down after it. SIGTERM and SIGINT close
// the program as its Close button would once the questions are answered.

#include "app/program/Formstup.h"
#include "common/Fontsubst.h"
#include "common/Kapp.h"
#include "platform/TermSignals.h"

#include <QSocketNotifier>
#include <QString>

namespace {

int Run(int argc, char** argv)
{
    // An exception that reaches the message loop is shown and the program goes on.
    KApplication app(argc, argv, QStringLiteral("QMR3400"));
    InstallFontSubstitutes();
    // The windows come and go; the program ends only when the start-up window closes.
    app.setQuitOnLastWindowClosed(false);

    // An exception out of the making of the start-up window, or out of its shut-down, ends the
    // program: it is shown as the message loop shows the others, and the run counts as failed.
    TFormStartUp* startUp = nullptr;
    try {
        startUp = new TFormStartUp();
    } catch (...) {
        KApplication::ShowCurrentException();
        return 1;
    }
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
    } catch (...) {
        KApplication::ShowCurrentException();
    }
    // The shut-down runs before any window is destroyed.
    int status = 0;
    try {
        startUp->FormDestroy();
    } catch (...) {
        KApplication::ShowCurrentException();
        status = 1;
    }
    delete startUp;
    return status;
}

} // namespace

int main(int argc, char** argv)
{
    try {
        return Run(argc, argv);
    } catch (...) {
        // Without the application object there is nothing to show it with.
        return 1;
    }
}
