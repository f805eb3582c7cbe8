// Printing and hard copy as another program uses them: through libbramble.so's table, from a
// widget application, the window handle being a top-level QWidget*.
#include "PrintRig.h"
#include "TestSupport.h"
#include "bramble/Bramble.h"

#include <QApplication>
#include <QClipboard>
#include <QDialog>
#include <QImage>
#include <QPrintDialog>
#include <QPrinterInfo>
#include <QRadioButton>
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <thread>

namespace {

using printtest::AreaOf;
using printtest::ColouredWindow;
using printtest::WhenDialogUp;

// Renders at 50 dpi: one pixel is 24 of the PDF printer's 1200 dots.
constexpr int kRenderDpi = 50;
constexpr double kDotsPerPixel = 1200.0 / kRenderDpi;
// The PDF printer's printable area starts 10 pt (167 dots) in.
constexpr int kOffset = 167;

// Where a rectangle in printer dots (from the printable area's corner) shows on the rendering.
QRect OnRendering(int left, int top, int width, int height)
{
    auto px = [](double dots) { return qRound(dots / kDotsPerPixel); };
    return QRect(px(kOffset + left), px(kOffset + top), px(width), px(height));
}

void ExpectNear(const QRect& actual, const QRect& expected)
{
    EXPECT_NEAR(actual.left(), expected.left(), 1) << "left";
    EXPECT_NEAR(actual.top(), expected.top(), 1) << "top";
    EXPECT_NEAR(actual.width(), expected.width(), 2) << "width";
    EXPECT_NEAR(actual.height(), expected.height(), 2) << "height";
}

// Runs one printer dialog; `answer` sees it up and closes it. Checks the holder variable.
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
    return result;
}

int SelectPdf(const std::string& file, bool ok)
{
    return RunDialog(_PrinterSelect, [=](QDialog* dialog) {
        EXPECT_NE(qobject_cast<QPrintDialog*>(dialog), nullptr);
        printtest::ChoosePdf(dialog, QString::fromStdString(file));
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

    EXPECT_EQ(SelectPdf((dir.Path() / "three.pdf").string(), true), 1);
    // Cancel keeps the choice made before.
    EXPECT_EQ(SelectPdf((dir.Path() / "cancelled.pdf").string(), false), 0);
    EXPECT_EQ(RunDialog(_PrinterSetup, [](QDialog* dialog) { dialog->reject(); }), 0);

    EXPECT_EQ(_HdCopyToPrn(red.get(), 0, 1, 0), 1);
    EXPECT_EQ(_HdCopyToPrn(green.get(), 1, 0, 0), 1);
    EXPECT_EQ(_HdCopyToPrn(blue.get(), 2, 0, 1), 1);
    EXPECT_FALSE(std::filesystem::exists("cancelled.pdf"));
    QImage page = printtest::RenderPdf("three.pdf", kRenderDpi);
    ASSERT_FALSE(page.isNull());
    EXPECT_LT(page.width(), page.height());
    // 320 x 240 on A4 at 1200 dots per inch: 5157 x 3867 dots, 2212 in, 610 / 4915 / 9220 down.
    ExpectNear(AreaOf(page, Qt::red), OnRendering(2212, 610, 5157, 3867));
    ExpectNear(AreaOf(page, Qt::green), OnRendering(2212, 4915, 5157, 3867));
    ExpectNear(AreaOf(page, Qt::blue), OnRendering(2212, 9220, 5157, 3867));

    // The page setup's landscape holds for the next print, a picture alone in the centre.
    EXPECT_EQ(RunDialog(_PrinterSetup,
                        [](QDialog* dialog) {
                            auto* landscape = dialog->findChild<QRadioButton*>(QStringLiteral("landscape"));
                            ASSERT_NE(landscape, nullptr);
                            landscape->click();
                            dialog->accept();
                        }),
              1);
    EXPECT_EQ(_HdCopyToFile(green.get(), nullptr), 1);
    page = printtest::RenderPdf("three.pdf", kRenderDpi);
    ASSERT_FALSE(page.isNull());
    EXPECT_GT(page.width(), page.height());
    EXPECT_TRUE(AreaOf(page, Qt::red).isEmpty());
    // The whole printable height: 8361 dots, 11148 across, 1274 in from the left.
    ExpectNear(AreaOf(page, Qt::green), OnRendering(1274, 610, 11148, 8361));
}

TEST_F(PrintExports, ClipGoesToTheClipboardAnyOtherNameToABitmapFile)
{
    auto window = ColouredWindow(QColor(0, 0, 200), {30, 30, 210, 130});
    ASSERT_TRUE(window);
    QGuiApplication::clipboard()->clear();
    EXPECT_EQ(_HdCopyToFile(window.get(), "clip"), 1);
    EXPECT_TRUE(QGuiApplication::clipboard()->image().isNull());
    const QImage file("clip", "BMP");
    EXPECT_EQ(file.size(), window->frameGeometry().size());
    EXPECT_EQ(file.pixelColor(100, 60), QColor(0, 0, 200));

    EXPECT_EQ(_HdCopyToFile(window.get(), "CLIP"), 1);
    const QImage clipped = QGuiApplication::clipboard()->image();
    EXPECT_EQ(clipped.size(), window->frameGeometry().size());
    EXPECT_EQ(clipped.pixelColor(5, 5), QColor(0, 0, 200));
    EXPECT_FALSE(std::filesystem::exists("CLIP"));
}

TEST_F(PrintExports, BadInputFailsAndLeavesNothingHeld)
{
    auto window = ColouredWindow(Qt::red, {60, 60, 200, 100});
    ASSERT_TRUE(window);
    int notAWindow = 0;
    struct Case {
        const char* name;
        std::function<int()> call;
    };
    const Case cases[] = {
        {"null window to a file", [] { return _HdCopyToFile(nullptr, "x.bmp"); }},
        {"null window to the clipboard", [] { return _HdCopyToFile(nullptr, "CLIP"); }},
        {"no live widget", [&] { return _HdCopyToFile(&notAWindow, "x.bmp"); }},
        {"empty name", [&] { return _HdCopyToFile(window.get(), ""); }},
        {"hidden window",
         [&] {
             QWidget hidden;
             return _HdCopyToFile(&hidden, "x.bmp");
         }},
        {"missing folder", [&] { return _HdCopyToFile(window.get(), "no/such/folder/x.bmp"); }},
        {"continue without a job", [&] { return _HdCopyToPrn(window.get(), 1, 0, 0); }},
        {"end without a job", [&] { return _HdCopyToPrn(window.get(), 1, 0, 1); }},
        {"begin with a null window", [] { return _HdCopyToPrn(nullptr, 0, 1, 0); }},
        {"off the GUI thread",
         [&] {
             std::atomic<int> result{-1};
             std::thread([&] { result = _HdCopyToFile(window.get(), "thread.bmp"); }).join();
             return result.load();
         }},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.call(), 0) << c.name;
    }
    EXPECT_FALSE(std::filesystem::exists("x.bmp"));
    EXPECT_FALSE(std::filesystem::exists("thread.bmp"));

    // A job begun while another is open is refused; the open one still ends whole.
    ASSERT_EQ(SelectPdf((dir.Path() / "job.pdf").string(), true), 1);
    ASSERT_EQ(_HdCopyToPrn(window.get(), 0, 1, 0), 1);
    EXPECT_EQ(_HdCopyToPrn(window.get(), 1, 1, 1), 0);
    EXPECT_EQ(_HdCopyToFile(window.get(), nullptr), 0);
    EXPECT_EQ(_PrinterSelect(), 0) << "the printer cannot change during a job";
    EXPECT_EQ(_HdCopyToPrn(&notAWindow, 2, 0, 1), 0) << "no picture, yet the job ends";
    const QImage page = printtest::RenderPdf("job.pdf", kRenderDpi);
    ASSERT_FALSE(page.isNull());
    const QRect red = AreaOf(page, Qt::red);
    EXPECT_FALSE(red.isEmpty());
    EXPECT_LT(red.bottom(), page.height() / 3) << "only the top picture";
    EXPECT_EQ(_HdCopyToPrn(window.get(), 1, 0, 1), 0) << "the job is over";
}

} // namespace
