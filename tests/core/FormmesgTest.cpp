// The message windows as real modal dialogs: each test shows one and answers it from a timer
// that finds the active modal widget.
#include "app/core/Formmesg.h"

#include <QApplication>
#include <QCloseEvent>
#include <QElapsedTimer>
#include <QFontInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>
#include <thread>

namespace {

const QColor kPink(255, 170, 255);
const QColor kLightYellow(255, 255, 170);
const QColor kSkyBlue(166, 202, 240);
const QColor kLightGrey(240, 240, 240);

// Calls `show` (which runs a modal window) and, once the window is up, `answer` with it. The
// answer must end the window. Returns what `show` returned.
int ShowAndAnswer(const std::function<int()>& show, const std::function<void(TFormMsg*)>& answer)
{
    bool answered = false;
    QTimer::singleShot(0, [&] {
        const bool up = QTest::qWaitFor([] { return QApplication::activeModalWidget() != nullptr; }, 5000);
        auto* form = qobject_cast<TFormMsg*>(QApplication::activeModalWidget());
        answered = true;
        if (!up || form == nullptr) {
            ADD_FAILURE() << "no message window came up";
            return;
        }
        answer(form);
    });
    const int result = show();
    EXPECT_TRUE(answered);
    return result;
}

QLabel* Panel(TFormMsg* form, const char* name)
{
    auto* panel = form->findChild<QLabel*>(name);
    EXPECT_NE(panel, nullptr) << name;
    return panel;
}

QPushButton* Button(TFormMsg* form, const char* name)
{
    auto* button = form->findChild<QPushButton*>(name);
    EXPECT_NE(button, nullptr) << name;
    return button;
}

QColor Background(QLabel* panel)
{
    return panel->palette().color(QPalette::Window);
}

void Click(QPushButton* button)
{
    QTest::mouseClick(button, Qt::LeftButton);
}

struct Kind {
    const char* name;
    std::function<int(const QString&, const QString&, unsigned char)> show;
    const char* caption;
    QColor upper;
    bool blinks;
};

std::vector<Kind> Kinds()
{
    return {
        {"error", ShowErrorMsg, "  Error ", kPink, true},
        {"warning", ShowWarningMsg, "  Warning", kLightYellow, false},
        {"confirm", ShowConfirmMsg, "  Confirm", kSkyBlue, false},
    };
}

} // namespace

TEST(FormMsg, OkKindsShowCaptionColourTextsAndOnlyOkWithoutFlag)
{
    for (const Kind& kind : Kinds()) {
        SCOPED_TRACE(kind.name);
        const int result = ShowAndAnswer([&] { return kind.show("upper text", "lower text", 0); },
                                         [&](TFormMsg* form) {
                                             EXPECT_EQ(Panel(form, "PanelCaption")->text(), kind.caption);
                                             EXPECT_EQ(Panel(form, "PanelUp")->text(), "upper text");
                                             EXPECT_EQ(Panel(form, "PanelDn")->text(), "lower text");
                                             EXPECT_EQ(Background(Panel(form, "PanelUp")), kind.upper);
                                             EXPECT_EQ(Background(Panel(form, "PanelDn")), kLightGrey);
                                             EXPECT_EQ(Background(Panel(form, "PanelCaption")), kLightGrey);
                                             EXPECT_TRUE(Panel(form, "PanelUp")->autoFillBackground());
                                             EXPECT_EQ(form->findChild<QTimer*>("Timer1")->isActive(), kind.blinks);
                                             QPushButton* ok = Button(form, "ButtonOk");
                                             EXPECT_TRUE(ok->isVisible());
                                             EXPECT_EQ(ok->text(), "OK");
                                             EXPECT_FALSE(Button(form, "ButtonCancel")->isVisible());
                                             Click(ok);
                                         });
        EXPECT_EQ(result, kMsgOk);
        // The window freed itself at the end of its run.
        EXPECT_EQ(QApplication::topLevelWidgets().count(), 0);
    }
}

TEST(FormMsg, CancelFlagShowsCancelLeftOfOkAndEachAnswerGivesItsResult)
{
    enum Answer { kPressOk, kPressCancel, kCloseBox, kEscape };
    const struct {
        Answer answer;
        int result;
    } answers[] = {{kPressOk, kMsgOk}, {kPressCancel, kMsgCancel}, {kCloseBox, kMsgCancel}, {kEscape, kMsgCancel}};
    for (const Kind& kind : Kinds()) {
        for (const auto& row : answers) {
            SCOPED_TRACE(std::string(kind.name) + " answer " + std::to_string(row.answer));
            const int result = ShowAndAnswer([&] { return kind.show("u", "l", 1); },
                                             [&](TFormMsg* form) {
                                                 QPushButton* ok = Button(form, "ButtonOk");
                                                 QPushButton* cancel = Button(form, "ButtonCancel");
                                                 EXPECT_TRUE(cancel->isVisible());
                                                 EXPECT_EQ(cancel->text(), "Cancel");
                                                 EXPECT_EQ(cancel->geometry(), QRect(285, 87, 99, 25));
                                                 EXPECT_EQ(ok->geometry(), QRect(392, 86, 99, 25));
                                                 switch (row.answer) {
                                                 case kPressOk:
                                                     Click(ok);
                                                     break;
                                                 case kPressCancel:
                                                     Click(cancel);
                                                     break;
                                                 case kCloseBox:
                                                     form->close();
                                                     break;
                                                 case kEscape:
                                                     QTest::keyClick(form, Qt::Key_Escape);
                                                     break;
                                                 }
                                             });
            EXPECT_EQ(result, row.result);
        }
    }
}

TEST(FormMsg, YesNoSwapsButtonsAndAnswers)
{
    const struct {
        const char* name;
        int result;
    } answers[] = {{"YES", kMsgOk}, {"NO", kMsgCancel}, {"close box", kMsgCancel}};
    for (const auto& row : answers) {
        SCOPED_TRACE(row.name);
        const int result = ShowAndAnswer([] { return ShowYesNoMsg("Quit?", "really"); },
                                         [&](TFormMsg* form) {
                                             EXPECT_EQ(Panel(form, "PanelCaption")->text(), "  Confirm");
                                             EXPECT_EQ(Background(Panel(form, "PanelUp")), kSkyBlue);
                                             EXPECT_EQ(Panel(form, "PanelUp")->text(), "Quit?");
                                             EXPECT_EQ(Panel(form, "PanelDn")->text(), "really");
                                             QPushButton* yes = Button(form, "ButtonOk");
                                             QPushButton* no = Button(form, "ButtonCancel");
                                             EXPECT_EQ(yes->text(), "YES");
                                             EXPECT_EQ(no->text(), "NO");
                                             EXPECT_TRUE(yes->isVisible());
                                             EXPECT_TRUE(no->isVisible());
                                             // Only the left positions change places; each keeps its own top.
                                             EXPECT_EQ(yes->geometry(), QRect(285, 86, 99, 25));
                                             EXPECT_EQ(no->geometry(), QRect(392, 87, 99, 25));
                                             if (std::string(row.name) == "YES") {
                                                 Click(yes);
                                             } else if (std::string(row.name) == "NO") {
                                                 Click(no);
                                             } else {
                                                 QCloseEvent event;
                                                 QApplication::sendEvent(form, &event);
                                             }
                                         });
        EXPECT_EQ(result, row.result);
    }
}

TEST(FormMsg, ErrorBlinksFourSwapsAndEndsWithFirstColours)
{
    ShowAndAnswer([] { return ShowErrorMsg("E", "details"); },
                  [](TFormMsg* form) {
                      QElapsedTimer clock;
                      clock.start();
                      QLabel* up = Panel(form, "PanelUp");
                      QLabel* dn = Panel(form, "PanelDn");
                      auto* timer = form->findChild<QTimer*>("Timer1");
                      ASSERT_NE(timer, nullptr);
                      EXPECT_EQ(timer->interval(), 160);
                      int swaps = 0;
                      bool sawSwapped = false;
                      QMetaObject::Connection watch = QObject::connect(timer, &QTimer::timeout, [&] {
                          // Runs after the window's own handler (connected first).
                          if (Background(up) == kLightGrey && Background(dn) == kPink) {
                              sawSwapped = true;
                          }
                      });
                      QColor last = Background(up);
                      EXPECT_TRUE(QTest::qWaitFor(
                          [&] {
                              if (Background(up) != last) {
                                  ++swaps;
                                  last = Background(up);
                              }
                              return !timer->isActive();
                          },
                          3000));
                      QObject::disconnect(watch);
                      EXPECT_GE(clock.elapsed(), 700);
                      EXPECT_EQ(form->BlinkCount(), 5);
                      EXPECT_TRUE(sawSwapped);
                      EXPECT_EQ(swaps, 4);
                      EXPECT_EQ(Background(up), kPink);
                      EXPECT_EQ(Background(dn), kLightGrey);
                      Click(Button(form, "ButtonOk"));
                  });
}

TEST(FormMsg, WindowTitleFlagsPlacementAndFonts)
{
    ShowAndAnswer([] { return ShowWarningMsg("a", "b"); },
                  [](TFormMsg* form) {
                      // The title is the program's file name without extension, never the message kind.
                      EXPECT_EQ(form->windowTitle(), "test_formmesg");
                      EXPECT_TRUE(form->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
                      EXPECT_TRUE(form->isModal());
                      EXPECT_EQ(form->size(), QSize(500, 172));
                      EXPECT_EQ(form->minimumSize(), form->maximumSize());
                      const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
                      EXPECT_LE((form->frameGeometry().center() - screen.center()).manhattanLength(), 2);

                      EXPECT_EQ(Panel(form, "PanelCaption")->geometry(), QRect(0, 0, 500, 25));
                      EXPECT_EQ(Panel(form, "PanelUp")->geometry(), QRect(0, 25, 500, 73));
                      EXPECT_EQ(Panel(form, "PanelDn")->geometry(), QRect(0, 98, 500, 74));
                      EXPECT_TRUE(Panel(form, "PanelCaption")->alignment().testFlag(Qt::AlignLeft));
                      // The buttons lie over the panels, not under them.
                      QPushButton* ok = Button(form, "ButtonOk");
                      EXPECT_EQ(form->childAt(ok->geometry().center()), ok);

                      const struct {
                          const char* name;
                          const char* family;
                          int pixels;
                          bool bold;
                      } fonts[] = {{"PanelCaption", "Caladea", 16, true},
                                   {"PanelUp", "Caladea", 19, false},
                                   {"PanelDn", "Caladea", 19, false},
                                   {"ButtonOk", "Liberation Sans", 16, true},
                                   {"ButtonCancel", "Liberation Sans", 16, true}};
                      for (const auto& row : fonts) {
                          SCOPED_TRACE(row.name);
                          const QFont font = form->findChild<QWidget*>(row.name)->font();
                          EXPECT_EQ(QFontInfo(font).family(), row.family);
                          EXPECT_EQ(font.pixelSize(), row.pixels);
                          EXPECT_EQ(font.bold(), row.bold);
                      }
                      EXPECT_EQ(QFontInfo(form->font()).family(), "Liberation Sans");
                      EXPECT_EQ(form->font().pixelSize(), 16);
                      Click(ok);
                  });
}

TEST(FormMsg, NoWindowOffTheGuiThread)
{
    int results[4] = {-1, -1, -1, -1};
    std::thread worker([&] {
        results[0] = ShowErrorMsg("a", "b");
        results[1] = ShowWarningMsg("a", "b", 1);
        results[2] = ShowConfirmMsg("a", "b");
        results[3] = ShowYesNoMsg("a", "b");
    });
    worker.join();
    for (int result : results) {
        EXPECT_EQ(result, kMsgNotShown);
    }
    EXPECT_EQ(QApplication::topLevelWidgets().count(), 0);
}

TEST(FormMsg, FormAloneStartsWithBlinkCounterZeroAndResourceColours)
{
    TFormMsg plain;
    EXPECT_EQ(plain.BlinkCount(), 0);
    EXPECT_EQ(plain.objectName(), "FormMsg");
    EXPECT_EQ(Background(Panel(&plain, "PanelUp")), kSkyBlue);
    TFormMsg coloured(nullptr, QColor(1, 2, 3), "  Title");
    EXPECT_EQ(Background(Panel(&coloured, "PanelUp")), QColor(1, 2, 3));
    EXPECT_EQ(Panel(&coloured, "PanelCaption")->text(), "  Title");
    EXPECT_EQ(coloured.windowTitle(), "test_formmesg");
}
