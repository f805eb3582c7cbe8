#include "PrintRig.h"

#include <QApplication>
#include <QDialog>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <cstdlib>

namespace printtest {

std::unique_ptr<QWidget> ColouredWindow(const QColor& colour, const QRect& geometry)
{
    auto window = std::make_unique<QWidget>(nullptr, Qt::FramelessWindowHint);
    window->setPalette(QPalette(colour));
    window->setAutoFillBackground(true);
    window->setGeometry(geometry);
    window->show();
    if (!QTest::qWaitForWindowExposed(window.get())) {
        return nullptr;
    }
    window->repaint();
    return window;
}

void WhenDialogUp(std::function<void(QDialog*)> answer)
{
    QTimer::singleShot(10, [answer = std::move(answer)]() mutable {
        if (auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
            answer(dialog);
        } else {
            WhenDialogUp(std::move(answer));
        }
    });
}

QImage RenderPdf(const QString& file, int dpi)
{
    QTemporaryDir dir;
    QProcess pdftoppm;
    pdftoppm.start("pdftoppm", {"-r", QString::number(dpi), "-singlefile", file, dir.filePath("page")});
    const bool done = pdftoppm.waitForFinished(30000) && pdftoppm.exitCode() == 0;
    return done ? QImage(dir.filePath("page.ppm")) : QImage();
}

QRect AreaOf(const QImage& image, const QColor& colour)
{
    QRect area;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QColor c = image.pixelColor(x, y);
            if (std::abs(c.red() - colour.red()) + std::abs(c.green() - colour.green()) +
                    std::abs(c.blue() - colour.blue()) <
                60) {
                area |= QRect(x, y, 1, 1);
            }
        }
    }
    return area;
}

} // namespace printtest
