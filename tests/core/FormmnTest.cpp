// The list-choice window as a real dialog: filled as the port picker fills it, answered by
// mouse and keyboard from a timer that finds the active modal widget.
#include "app/core/Formmn.h"
#include "app/core/Menumodel.h"

#include <QApplication>
#include <QHeaderView>
#include <QImage>
#include <QInputDialog>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <gtest/gtest.h>

#include <functional>
#include <utility>
#include <vector>

namespace {

class RecordingMenu : public KSelectMenu {
public:
    bool Select(int& port) override
    {
        port = -1;
        return false;
    }
    void AddItem(const QString& number, const QString& name) override { added.emplace_back(number, name); }
    void MakeList(QStringList& entries, QStringList& numbers) override
    {
        entries.clear();
        numbers.clear();
    }

    std::vector<std::pair<QString, QString>> added;
};

const QStringList kCaptions = {"Select COM port", "Port No", "Port Info", "Please select Com port."};
const QStringList kNames = {"Device A (S1)", "Device B (S2)", "Device C (S3)"};
const QStringList kNumbers = {"3", "7", "12"};

QTableWidget* Grid(TFormMenu& form)
{
    return form.findChild<QTableWidget*>("StringGridMenu");
}

// Runs the window modally and, once it is the active modal widget, `answer`; returns exec().
int ExecAnswered(QDialog& dialog, const std::function<void()>& answer)
{
    bool answered = false;
    QTimer::singleShot(0, [&] {
        EXPECT_TRUE(QTest::qWaitFor([&] { return QApplication::activeModalWidget() == &dialog; }, 5000));
        answered = true;
        answer();
    });
    const int result = dialog.exec();
    EXPECT_TRUE(answered);
    return result;
}

// Answers the next text question: checks its title and prompt, types `text`, accepts.
void AnswerInput(const QString& prompt, const QString& text)
{
    ASSERT_TRUE(QTest::qWaitFor([] { return qobject_cast<QInputDialog*>(QApplication::activeModalWidget()); }, 5000));
    auto* input = qobject_cast<QInputDialog*>(QApplication::activeModalWidget());
    EXPECT_EQ(input->windowTitle(), QStringLiteral("項目追加"));
    EXPECT_EQ(input->labelText(), prompt);
    EXPECT_EQ(input->textValue(), "");
    input->setTextValue(text);
    input->accept();
}

QColor CellBackground(QTableWidget* grid, const QImage& image, int row, int column)
{
    const QRect cell = grid->visualItemRect(grid->item(row, column));
    const QPoint corner = grid->viewport()->mapTo(grid, cell.topLeft() + QPoint(1, 1));
    return image.pixelColor(corner);
}

} // namespace

TEST(FormMenu, FillShowsCaptionsRowsAndPreselectsTheCurrentNumber)
{
    RecordingMenu menu;
    TFormMenu form(nullptr, &menu);
    form.Fill(kCaptions, kNames, kNumbers, 7);
    QTableWidget* grid = Grid(form);
    EXPECT_EQ(form.windowTitle(), "Select COM port");
    EXPECT_EQ(form.findChild<QLabel*>("LabelGuide")->text(), "Please select Com port.");
    ASSERT_EQ(grid->rowCount(), 4);
    EXPECT_EQ(grid->item(0, 0)->text(), "Port No");
    EXPECT_EQ(grid->item(0, 1)->text(), "Port Info");
    EXPECT_EQ(grid->item(1, 0)->text(), "3");
    EXPECT_EQ(grid->item(3, 0)->text(), "12");
    EXPECT_EQ(grid->item(2, 1)->text(), "Device B (S2)");
    EXPECT_EQ(form.GetSelectedIndex(), 1);

    form.Fill(kCaptions, kNames, {"3", "007", " 12"}, 12);
    EXPECT_EQ(grid->item(2, 0)->text(), "7"); // shown as a decimal number
    EXPECT_EQ(form.GetSelectedIndex(), 2);

    // No number matches: the first row under the titles stays current.
    form.Fill(kCaptions, kNames, kNumbers, 99);
    EXPECT_EQ(form.GetSelectedIndex(), 0);

    // More names than numbers: the missing numbers count as 0; of two matches the last wins.
    form.Fill(kCaptions, kNames, {"5"}, 0);
    EXPECT_EQ(grid->item(2, 0)->text(), "0");
    EXPECT_EQ(grid->item(3, 0)->text(), "0");
    EXPECT_EQ(form.GetSelectedIndex(), 2);
}

TEST(FormMenu, EmptyListLeavesTheTitleRowAndOkGivesMinusOne)
{
    RecordingMenu menu;
    TFormMenu form(nullptr, &menu);
    form.Fill(kCaptions, {}, {}, 1);
    EXPECT_EQ(Grid(form)->rowCount(), 1);
    const int result = ExecAnswered(form, [&] { form.findChild<QPushButton*>("ButtonOK")->click(); });
    EXPECT_EQ(result, QDialog::Accepted);
    EXPECT_EQ(form.GetSelectedIndex(), -1);
}

TEST(FormMenu, DoubleClickOnARowEndsWithOkAndThatRow)
{
    RecordingMenu menu;
    TFormMenu form(nullptr, &menu);
    form.Fill(kCaptions, kNames, kNumbers, 3);
    QTableWidget* grid = Grid(form);
    const int result = ExecAnswered(form, [&] {
        const QPoint at = grid->visualItemRect(grid->item(3, 1)).center();
        QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, at);
        QTest::mouseDClick(grid->viewport(), Qt::LeftButton, {}, at);
    });
    EXPECT_EQ(result, QDialog::Accepted);
    EXPECT_EQ(form.GetSelectedIndex(), 2);
}

TEST(FormMenu, KeysAndButtonsEndTheWindow)
{
    const struct {
        const char* name;
        std::function<void(TFormMenu&)> answer;
        int result;
    } rows[] = {
        {"Enter", [](TFormMenu& f) { QTest::keyClick(Grid(f), Qt::Key_Return); }, QDialog::Accepted},
        {"Escape", [](TFormMenu& f) { QTest::keyClick(Grid(f), Qt::Key_Escape); }, QDialog::Rejected},
        {"cancel", [](TFormMenu& f) { f.findChild<QPushButton*>("ButtonCancel")->click(); }, QDialog::Rejected},
        {"close box", [](TFormMenu& f) { f.close(); }, QDialog::Rejected},
        {"Down then OK",
         [](TFormMenu& f) {
             QTest::keyClick(Grid(f), Qt::Key_Down);
             f.findChild<QPushButton*>("ButtonOK")->click();
         },
         QDialog::Accepted},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        RecordingMenu menu;
        TFormMenu form(nullptr, &menu);
        form.Fill(kCaptions, kNames, kNumbers, 3);
        EXPECT_EQ(ExecAnswered(form, [&] { row.answer(form); }), row.result);
    }
}

TEST(FormMenu, AddItemAsksNumberThenNameAndAppendsTheCurrentRow)
{
    RecordingMenu menu;
    TFormMenu form(nullptr, &menu);
    form.Fill(kCaptions, kNames, kNumbers, 3);
    form.show();
    int result = 0;
    QTimer::singleShot(0, [&] {
        AnswerInput(QStringLiteral("Port No設定"), "9");
        QTimer::singleShot(0, [] { AnswerInput(QStringLiteral("Port Info設定"), "Typed in"); });
    });
    result = form.AddItem();
    EXPECT_EQ(result, 1);
    ASSERT_EQ(menu.added.size(), 1u);
    EXPECT_EQ(menu.added[0].first, "9");
    EXPECT_EQ(menu.added[0].second, "Typed in");
    QTableWidget* grid = Grid(form);
    ASSERT_EQ(grid->rowCount(), 5);
    EXPECT_EQ(grid->item(4, 0)->text(), "9");
    EXPECT_EQ(grid->item(4, 1)->text(), "Typed in");
    EXPECT_EQ(form.GetSelectedIndex(), 3);
}

TEST(FormMenu, LayoutAndHouseStylePainting)
{
    RecordingMenu menu;
    TFormMenu form(nullptr, &menu);
    form.Fill(kCaptions, kNames, kNumbers, 7);
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    QTableWidget* grid = Grid(form);
    EXPECT_EQ(form.size(), QSize(376, 196));
    EXPECT_EQ(grid->size(), QSize(375, 127));
    EXPECT_EQ(grid->columnWidth(0), 68);
    EXPECT_EQ(grid->columnWidth(1), 318);
    EXPECT_EQ(grid->rowHeight(1), 20);
    EXPECT_EQ(form.findChild<QLabel*>("LabelGuide")->height(), 19);
    EXPECT_EQ(form.findChild<QPushButton*>("ButtonOK")->geometry(), QRect(150, 9, 75, 25));
    EXPECT_EQ(form.findChild<QPushButton*>("ButtonCancel")->text(), "cancel");
    EXPECT_TRUE(form.findChild<QPushButton*>("ButtonOK")->isDefault());
    EXPECT_FALSE(form.findChild<QToolButton*>("SpeedButtonAdd")->isVisible());
    EXPECT_FALSE(form.findChild<QToolButton*>("SpeedButtonDel")->isVisible());

    const QImage image = grid->grab().toImage();
    QHeaderView* titles = grid->horizontalHeader();
    for (int column : {0, 1}) { // the title row
        const QPoint corner = titles->mapTo(grid, QPoint(titles->sectionViewportPosition(column) + 1, 1));
        EXPECT_EQ(image.pixelColor(corner), QColor(192, 192, 192));
    }
    EXPECT_EQ(CellBackground(grid, image, 1, 1), QColor(255, 255, 255)); // a normal row
    EXPECT_EQ(CellBackground(grid, image, 2, 0), QColor(0, 255, 255));   // the chosen row
    EXPECT_EQ(CellBackground(grid, image, 2, 1), QColor(0, 255, 255));
    EXPECT_EQ(CellBackground(grid, image, 3, 0), QColor(255, 255, 255));
}

TEST(FormMenu, TitleRowStaysInViewAndIsNeverCurrent)
{
    for (const int ports : {0, 1, 12}) {
        SCOPED_TRACE(ports);
        QStringList names;
        QStringList numbers;
        for (int i = 0; i < ports; ++i) {
            names << QStringLiteral("Device %1").arg(i);
            numbers << QString::number(i + 3);
        }
        RecordingMenu menu;
        TFormMenu form(nullptr, &menu);
        form.Fill(kCaptions, names, numbers, 3);
        QTableWidget* grid = Grid(form);
        QHeaderView* titles = grid->horizontalHeader();
        const int result = ExecAnswered(form, [&] {
            // Up from the first port, the page and home keys and a click on the titles.
            for (int key : {Qt::Key_Up, Qt::Key_PageUp, Qt::Key_Home}) {
                QTest::keyClick(grid, Qt::Key(key), Qt::ControlModifier);
                QTest::keyClick(grid, Qt::Key(key));
            }
            QTest::mouseClick(titles->viewport(), Qt::LeftButton, {}, QPoint(30, 10));
            EXPECT_EQ(form.GetSelectedIndex(), ports > 0 ? 0 : -1);
            QTest::keyClick(grid, Qt::Key_End, Qt::ControlModifier);
            EXPECT_TRUE(titles->isVisible());
            EXPECT_EQ(grid->rowAt(0) > 1, ports == 12); // scrolled, under the titles
            QTest::keyClick(grid, Qt::Key_Return);
        });
        EXPECT_EQ(result, QDialog::Accepted);
        EXPECT_EQ(form.GetSelectedIndex(), ports - 1);
        EXPECT_EQ(grid->currentRow(), ports > 0 ? ports : -1);
    }
}
