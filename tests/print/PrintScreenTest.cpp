// On an X server the picture is what the screen shows: a covering window shows in it.
#include "PrintRig.h"
#include "TestSupport.h"
#include "bramble/Bramble.h"

#include <QClipboard>
#include <QCoreApplication>
#include <QGuiApplication>
#include <gtest/gtest.h>

namespace {

TEST(PrintScreen, ACoveringWindowShowsInThePicture)
{
    ASSERT_EQ(QGuiApplication::platformName(), QStringLiteral("xcb"));
    qmrtest::ScopedWorkDir dir;
    auto below = printtest::ColouredWindow(Qt::red, {100, 100, 300, 200});
    auto above = printtest::ColouredWindow(Qt::blue, {250, 200, 300, 200});
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
    EXPECT_EQ(printtest::AreaOf(picture, Qt::blue), QRect(150, 100, 150, 100));
    EXPECT_EQ(picture.pixelColor(149, 99), QColor(Qt::red));
    EXPECT_EQ(_HdCopyToFile(below.get(), "CLIP"), 1);
    EXPECT_EQ(QGuiApplication::clipboard()->image().pixelColor(290, 190), QColor(Qt::blue));
}

} // namespace
