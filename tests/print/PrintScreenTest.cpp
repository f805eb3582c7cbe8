// The hard copy on a real X server: the picture is what the screen shows, so a window that
// covers part of the one copied shows in its picture.
#include "PrintRig.h"
#include "TestSupport.h"
#include "bramble/Bramble.h"

#include <QClipboard>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QImage>
#include <gtest/gtest.h>

#include <chrono>

namespace {

TEST(PrintScreen, ACoveringWindowShowsInThePicture)
{
    ASSERT_EQ(QGuiApplication::platformName(), QStringLiteral("xcb"));
    qmrtest::ScopedWorkDir dir;
    auto below = printtest::ColouredWindow(Qt::red, {100, 100, 300, 200});
    ASSERT_TRUE(below);
    auto above = printtest::ColouredWindow(Qt::blue, {250, 200, 300, 200});
    ASSERT_TRUE(above);
    // The X server shows the windows a moment after they are mapped.
    QImage picture;
    const bool covered = qmrtest::WaitFor(
        [&] {
            QCoreApplication::processEvents();
            if (_HdCopyToFile(below.get(), "below.bmp") != 1) {
                return false;
            }
            picture = QImage("below.bmp");
            return picture.pixelColor(10, 10) == QColor(Qt::red) && picture.pixelColor(290, 190) == QColor(Qt::blue);
        },
        std::chrono::seconds(10));
    EXPECT_TRUE(covered);
    EXPECT_EQ(picture.size(), QSize(300, 200));
    EXPECT_EQ(picture.pixelColor(149, 99), QColor(Qt::red));
    EXPECT_EQ(picture.pixelColor(150, 100), QColor(Qt::blue));

    EXPECT_EQ(_HdCopyToFile(below.get(), "CLIP"), 1);
    EXPECT_EQ(QGuiApplication::clipboard()->image().pixelColor(290, 190), QColor(Qt::blue));
}

} // namespace
