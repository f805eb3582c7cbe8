#include "PrintRig.h"

#include "TestSupport.h"

#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QLineEdit>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>

namespace printtest {

std::unique_ptr<QWidget> ColouredWindow(const QColor& colour, const QRect& geometry)
{
    auto window = std::make_unique<QWidget>();
    window->setWindowFlag(Qt::FramelessWindowHint);
    QPalette palette;
    palette.setColor(QPalette::Window, colour);
    window->setPalette(palette);
    window->setAutoFillBackground(true);
    window->setGeometry(geometry);
    window->show();
    if (!QTest::qWaitForWindowExposed(window.get())) {
        return nullptr;
    }
    window->raise();
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

void ChoosePdf(QDialog* dialog, const QString& file)
{
    auto* printers = dialog->findChild<QComboBox*>(QStringLiteral("printers"));
    auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("filename"));
    if (printers == nullptr || name == nullptr) {
        ADD_FAILURE() << "the print dialog has no printer list or file name";
        return;
    }
    printers->setCurrentIndex(printers->findText(QStringLiteral("PDF"), Qt::MatchContains));
    name->setText(file);
}

QImage RenderPdf(const QString& file, int dpi)
{
    QTemporaryDir dir;
    QProcess pdftoppm;
    pdftoppm.start(QStringLiteral("pdftoppm"),
                   {QStringLiteral("-r"), QString::number(dpi), QStringLiteral("-f"), QStringLiteral("1"),
                    QStringLiteral("-singlefile"), file, dir.filePath(QStringLiteral("page"))});
    if (!pdftoppm.waitForFinished(30000) || pdftoppm.exitCode() != 0) {
        return {};
    }
    return QImage(dir.filePath(QStringLiteral("page.ppm")));
}

QRect AreaOf(const QImage& image, const QColor& colour)
{
    QRect area;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QColor c = image.pixelColor(x, y);
            if (std::abs(c.red() - colour.red()) < 40 && std::abs(c.green() - colour.green()) < 40 &&
                std::abs(c.blue() - colour.blue()) < 40) {
                area |= QRect(x, y, 1, 1);
            }
        }
    }
    return area;
}

} // namespace printtest
