// A picture of Setup's window for a look by eye: the window as Setup shows it, held open
// (its start timer stopped, so nothing is started), taken from the screen's pixels.
// Usage: qmr_setup_screen <PNG file>. Run under a real X server (Xvfb).

#include "common/Fontsubst.h"
#include "setup/Dlgstaup.h"

#include <QApplication>
#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>
#include <QTest>
#include <QTimer>

#include <cstdio>

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s <PNG file>\n", argv[0]);
        return 2;
    }
    QApplication app(argc, argv);
    InstallFontSubstitutes();
    TFormStartup form;
    if (auto* timer = form.findChild<QTimer*>(QStringLiteral("Timer1"))) {
        timer->stop();
    }
    form.show();
    if (!QTest::qWaitForWindowExposed(&form)) {
        std::fprintf(stderr, "the window was not shown\n");
        return 1;
    }
    QTest::qWait(200);
    const QRect frame = form.frameGeometry();
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    std::printf("title \"%s\", client %dx%d at %d,%d, screen %dx%d\n", form.windowTitle().toUtf8().constData(),
                form.width(), form.height(), form.x(), form.y(), screen.width(), screen.height());
    const QPixmap picture =
        QGuiApplication::primaryScreen()->grabWindow(0, frame.x(), frame.y(), frame.width(), frame.height());
    return picture.save(QString::fromLocal8Bit(argv[1])) ? 0 : 1;
}
