// The on-screen test against the real primary screen of the running GUI application.
#include "bramble/Bramble.h"
#include "bramble/Kfile.h"

#include "TestSupport.h"

#include <QGuiApplication>
#include <QScreen>
#include <gtest/gtest.h>

namespace {

TEST(WinPosScreen, EdgesFollowThePrimaryScreen)
{
    qmrtest::ScopedWorkDir dir;
    const QScreen* screen = QGuiApplication::primaryScreen();
    ASSERT_NE(screen, nullptr);
    const int width = screen->geometry().width();
    const int height = screen->geometry().height();
    ASSERT_GT(width, 16);
    ASSERT_GT(height, 16);
    int reportedWidth = 0;
    int reportedHeight = 0;
    ASSERT_TRUE(WinPosScreenSize(&reportedWidth, &reportedHeight));
    EXPECT_EQ(reportedWidth, width);
    EXPECT_EQ(reportedHeight, height);

    struct Case {
        int left;
        int top;
        int result;
    };
    const Case cases[] = {
        {width - 16, height - 16, 1}, {width - 15, 0, 0}, {0, height - 15, 0}, {0, 0, 1}, {-1, 0, 0},
    };
    _StartWinPos();
    for (const Case& c : cases) {
        std::string caption = std::to_string(c.left) + "," + std::to_string(c.top);
        SCOPED_TRACE(caption);
        ASSERT_EQ(_SetWinPos(static_cast<short>(c.left), static_cast<short>(c.top), 200, 100, caption.c_str()), 1);
        short left = 0;
        short top = 0;
        short w = 0;
        short h = 0;
        EXPECT_EQ(_GetWinPos(&left, &top, &w, &h, caption.c_str()), c.result);
        if (c.result == 1) {
            EXPECT_EQ(left, c.left);
            EXPECT_EQ(top, c.top);
            EXPECT_EQ(w, 200);
            EXPECT_EQ(h, 100);
        }
    }
}

} // namespace
