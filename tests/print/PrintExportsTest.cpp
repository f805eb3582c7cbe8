// Printing, hard copy and clipboard text as another program uses them: through libbramble.so's
// table, from a widget application, the window handle being a top-level QWidget*. Run on the
// offscreen platform and again on an X server.
#include "TestSupport.h"
#include "bramble/Bramble.h"

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QDialog>
#include <QDir>
#include <QLineEdit>
#include <QPrintDialog>
#include <QPrinterInfo>
#include <QProcess>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <thread>

namespace {

// The bounding box of the pixels near `colour`.
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

// True when the screen shows the whole of a one-coloured window in its colour. On an X server a
// window is painted there a moment after it was mapped or uncovered: until then the screen
// still shows what was there before, a closed dialog say.
bool OnScreen(const QWidget* window)
{
    const QRect frame = window->frameGeometry();
    const QImage shown = window->screen()->grabWindow(0, frame.x(), frame.y(), frame.width(), frame.height()).toImage();
    return !shown.isNull() && AreaOf(shown, window->palette().window().color()) == shown.rect();
}

// A shown, painted, frameless top-level window of one colour; null when it never showed.
std::unique_ptr<QWidget> ColouredWindow(const QColor& colour, const QRect& geometry)
{
    auto window = std::make_unique<QWidget>(nullptr, Qt::FramelessWindowHint);
    window->setPalette(QPalette(colour));
    window->setAutoFillBackground(true);
    window->setGeometry(geometry);
    window->show();
    if (!QTest::qWaitForWindowExposed(window.get()) || !QTest::qWaitFor([&] { return OnScreen(window.get()); })) {
        return nullptr;
    }
    return window;
}

// The first page of a PDF file rendered at 50 dpi; null when that fails.
QImage RenderPdf(const QString& file)
{
    QTemporaryDir dir;
    QProcess pdftoppm;
    pdftoppm.start("pdftoppm", {"-r", "50", "-singlefile", file, dir.filePath("page")});
    const bool done = pdftoppm.waitForFinished(30000) && pdftoppm.exitCode() == 0;
    return done ? QImage(dir.filePath("page.ppm")) : QImage();
}

// Answers the next modal dialog from a timer once it is up.
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

// Rendered at 50 dpi, a pixel is 24 of the PDF printer's 1200 dots, whose printable area
// starts 10 pt (167 dots) in.
void ExpectPicture(const QImage& page, const QColor& colour, int left, int top, int width, int height)
{
    const QRect area = AreaOf(page, colour);
    const auto px = [](int dots) { return dots / 24.0; };
    EXPECT_NEAR(area.left(), px(167 + left), 1.5);
    EXPECT_NEAR(area.top(), px(167 + top), 1.5);
    EXPECT_NEAR(area.width(), px(width), 2);
    EXPECT_NEAR(area.height(), px(height), 2);
}

// Runs a printer dialog that `answer` closes; the holder variable is set exactly meanwhile.
int RunDialog(int (*run)(), const std::function<void(QDialog*)>& answer)
{
    bool heldWhileUp = false;
    WhenDialogUp([&](QDialog* dialog) {
        heldWhileUp = _FormPrinterSetup != nullptr;
        answer(dialog);
    });
    EXPECT_EQ(_FormPrinterSetup, nullptr);
    const int result = run();
    EXPECT_TRUE(heldWhileUp);
    EXPECT_EQ(_FormPrinterSetup, nullptr);
    // The pictures taken next are of the windows, not of the dialog they were under.
    EXPECT_TRUE(QTest::qWaitFor([] {
        const QWidgetList windows = QApplication::topLevelWidgets();
        return std::all_of(windows.begin(), windows.end(), [](const QWidget* window) {
            return !window->isVisible() || !window->autoFillBackground() || OnScreen(window);
        });
    }));
    return result;
}

// Chooses the PDF printer writing to `file` in the print dialog, then OK or Cancel.
int SelectPdf(const char* file, bool ok)
{
    return RunDialog(_PrinterSelect, [=](QDialog* dialog) {
        auto* printers = dialog->findChild<QComboBox*>("printers");
        auto* name = dialog->findChild<QLineEdit*>("filename");
        ASSERT_TRUE(qobject_cast<QPrintDialog*>(dialog) && printers && name);
        printers->setCurrentIndex(printers->findText("PDF", Qt::MatchContains));
        name->setText(QDir::current().absoluteFilePath(file));
        ok ? dialog->accept() : dialog->reject();
    });
}

class PrintExports : public testing::Test {
protected:
    qmrtest::ScopedWorkDir dir;
};

TEST_F(PrintExports, DialogsChooseThePrinterAndThreeCallsFillOnePage)
{
    auto red = ColouredWindow(Qt::red, {40, 40, 320, 240});
    auto green = ColouredWindow(Qt::green, {400, 40, 320, 240});
    auto blue = ColouredWindow(Qt::blue, {40, 320, 320, 240});
    ASSERT_TRUE(red && green && blue);
    if (QPrinterInfo::availablePrinters().isEmpty()) {
        EXPECT_EQ(_HdCopyToFile(red.get(), nullptr), 0) << "no printer installed, none chosen";
    }
    EXPECT_EQ(SelectPdf("page.pdf", true), 1);
    EXPECT_EQ(SelectPdf("cancelled.pdf", false), 0);
    EXPECT_EQ(RunDialog(_PrinterSetup, [](QDialog* dialog) { dialog->reject(); }), 0);

    EXPECT_EQ(_HdCopyToPrn(red.get(), 0, 1, 0), 1);
    EXPECT_EQ(_HdCopyToPrn(green.get(), 1, 0, 0), 1);
    EXPECT_EQ(_HdCopyToPrn(blue.get(), 2, 0, 1), 1);
    EXPECT_FALSE(std::filesystem::exists("cancelled.pdf"));
    QImage page = RenderPdf("page.pdf");
    EXPECT_LT(page.width(), page.height());
    // 320 x 240 on portrait A4 at 1200 dpi: 5157 x 3867 dots, 2212 in, 610 / 4915 / 9220 down.
    ExpectPicture(page, Qt::red, 2212, 610, 5157, 3867);
    ExpectPicture(page, Qt::green, 2212, 4915, 5157, 3867);
    ExpectPicture(page, Qt::blue, 2212, 9220, 5157, 3867);

    // Landscape from the page setup holds for the next print: one picture, the whole height.
    EXPECT_EQ(RunDialog(_PrinterSetup,
                        [](QDialog* dialog) {
                            dialog->findChild<QRadioButton*>("landscape")->click();
                            dialog->accept();
                        }),
              1);
    EXPECT_EQ(_HdCopyToFile(green.get(), nullptr), 1);
    page = RenderPdf("page.pdf");
    EXPECT_TRUE(AreaOf(page, Qt::red).isEmpty());
    ExpectPicture(page, Qt::green, 1274, 610, 11148, 8361);
}

TEST_F(PrintExports, ClipGoesToTheClipboardAnyOtherNameToABitmapFile)
{
    const QColor colour(0, 0, 200);
    auto window = ColouredWindow(colour, {30, 30, 210, 130});
    ASSERT_TRUE(window);
    QGuiApplication::clipboard()->clear();
    EXPECT_EQ(_HdCopyToFile(window.get(), "clip"), 1);
    EXPECT_TRUE(QGuiApplication::clipboard()->image().isNull());
    EXPECT_EQ(_HdCopyToFile(window.get(), "CLIP"), 1);
    EXPECT_FALSE(std::filesystem::exists("CLIP"));
    for (const QImage& picture : {QImage("clip", "BMP"), QGuiApplication::clipboard()->image()}) {
        EXPECT_EQ(picture.size(), window->frameGeometry().size());
        EXPECT_EQ(AreaOf(picture, colour), picture.rect());
    }
}

TEST_F(PrintExports, BadInputFailsAndLeavesNothingHeld)
{
    auto window = ColouredWindow(Qt::red, {60, 60, 200, 100});
    ASSERT_TRUE(window);
    QWidget* w = window.get();
    int notAWidget = 0;
    const std::pair<const char*, std::function<int()>> cases[] = {
        {"null window", [] { return _HdCopyToFile(nullptr, "x.bmp"); }},
        {"null window, clipboard", [] { return _HdCopyToFile(nullptr, "CLIP"); }},
        {"no live widget", [&] { return _HdCopyToFile(&notAWidget, "x.bmp"); }},
        {"hidden window", [] { return _HdCopyToFile(std::make_unique<QWidget>().get(), "x.bmp"); }},
        {"empty name", [=] { return _HdCopyToFile(w, ""); }},
        {"missing folder", [=] { return _HdCopyToFile(w, "no/such/folder/x.bmp"); }},
        {"continue without a job", [=] { return _HdCopyToPrn(w, 1, 0, 0); }},
        {"end without a job", [=] { return _HdCopyToPrn(w, 1, 0, 1); }},
        {"begin with a null window", [] { return _HdCopyToPrn(nullptr, 0, 1, 0); }},
        {"off the GUI thread",
         [=] {
             int result = -1;
             std::thread([&] { result = _HdCopyToFile(w, "x.bmp"); }).join();
             return result;
         }},
    };
    for (const auto& [name, call] : cases) {
        EXPECT_EQ(call(), 0) << name;
    }
    EXPECT_FALSE(std::filesystem::exists("x.bmp"));

    // While a job is open another cannot begin nor the printer change; a call that ends it
    // without a picture of its own still prints what the page holds.
    auto other = ColouredWindow(Qt::green, {300, 60, 200, 100});
    ASSERT_EQ(SelectPdf("job.pdf", true), 1);
    ASSERT_EQ(_HdCopyToPrn(w, 0, 1, 0), 1);
    EXPECT_EQ(_HdCopyToPrn(other.get(), 1, 1, 1), 0);
    EXPECT_EQ(_HdCopyToFile(other.get(), nullptr), 0);
    EXPECT_EQ(_PrinterSelect(), 0);
    EXPECT_EQ(_HdCopyToPrn(&notAWidget, 2, 0, 1), 0);
    const QImage page = RenderPdf("job.pdf");
    EXPECT_FALSE(AreaOf(page, Qt::red).isEmpty());
    EXPECT_TRUE(AreaOf(page, Qt::green).isEmpty());
    EXPECT_EQ(_HdCopyToPrn(w, 1, 0, 1), 0) << "the job is over";
}

TEST(ClipboardText, IsFilledAndCutAndGoesRoundTrip)
{
    const struct {
        const char* text; // null: the clipboard holds a picture, no text
        unsigned length;
        std::string expected;
    } cases[] = {
        {"ABCDEFG", 5, std::string("ABCDE\0", 6)},
        {"AB", 5, std::string("AB\0\0\0\0", 6)},
        {"", 5, std::string(6, '\0')},
        {nullptr, 3, std::string(4, '\0')},
        {"\xe3\x81\x82\xe3\x81\x84", 4, std::string("\xe3\x81\x82\xe3\0", 5)}, // cut inside a character
    };
    for (const auto& c : cases) {
        c.text ? _CopyToClipboard(c.text) : QGuiApplication::clipboard()->setImage(QImage(4, 4, QImage::Format_RGB32));
        std::string buffer(c.length + 2, 'x');
        _PasteFromClipboard(buffer.data(), c.length);
        EXPECT_EQ(buffer, c.expected + "x") << (c.text ? c.text : "(picture)");
    }
    _CopyToClipboard("round trip");
    _CopyToClipboard(nullptr);
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("round trip"));
}

// The picture is what the screen shows: a covering window shows in it.
TEST_F(PrintExports, ACoveringWindowShowsInThePicture)
{
    if (QGuiApplication::platformName() != QStringLiteral("xcb")) {
        GTEST_SKIP() << "needs an X server (ctest runs these tests again under xvfb-run)";
    }
    auto below = ColouredWindow(Qt::red, {100, 100, 300, 200});
    auto above = ColouredWindow(Qt::blue, {250, 200, 300, 200});
    ASSERT_TRUE(below && above);
    // The server shows mapped windows a moment later.
    QImage picture;
    EXPECT_TRUE(qmrtest::WaitFor(
        [&] {
            QCoreApplication::processEvents();
            picture = _HdCopyToFile(below.get(), "below.bmp") == 1 ? QImage("below.bmp") : QImage();
            return picture.size() == QSize(300, 200) && picture.pixelColor(290, 190) == QColor(Qt::blue);
        },
        std::chrono::seconds(10)));
    EXPECT_EQ(AreaOf(picture, Qt::blue), QRect(150, 100, 150, 100));
    EXPECT_EQ(_HdCopyToFile(below.get(), "CLIP"), 1);
    EXPECT_EQ(QGuiApplication::clipboard()->image().pixelColor(290, 190), QColor(Qt::blue));
}

} // namespace
