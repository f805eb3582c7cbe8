#include "common/Vclfunc.h"

#include <QApplication>
#include <QColor>
#include <QFont>
#include <QHeaderView>
#include <QImage>
#include <QPainter>
#include <QStyledItemDelegate>
#include <QTableWidget>
#include <QTest>

#include <cstring>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <vector>

namespace {

const QColor kLightBlue(221, 238, 255);
const QColor kLightGreen(221, 255, 238);
const QColor kAqua(0, 255, 255);
const QColor kSilver(192, 192, 192);
const QColor kDarkGrey(63, 63, 63);

// The delegate a form installs on its grid: every cell through the house painter.
class HouseStyleDelegate : public QStyledItemDelegate {
public:
    HouseStyleDelegate(QTableWidget& grid, int alignment, int colour, int stripeWidth)
        : QStyledItemDelegate(&grid), grid_(grid), alignment_(alignment), colour_(colour), stripeWidth_(stripeWidth)
    {
    }
    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        DrawGridCell(*painter, grid_, index.column(), index.row(), alignment_, colour_, stripeWidth_,
                     GridCellStateOf(grid_, index.column(), index.row()), option.rect);
    }

private:
    QTableWidget& grid_;
    int alignment_;
    int colour_;
    int stripeWidth_;
};

std::unique_ptr<QTableWidget> MakeGrid(int rows, int columns)
{
    auto grid = std::make_unique<QTableWidget>(rows, columns);
    grid->setShowGrid(false);
    grid->horizontalHeader()->hide();
    grid->verticalHeader()->hide();
    grid->setFrameShape(QFrame::NoFrame);
    grid->setFocusPolicy(Qt::NoFocus); // the current cell of a focused grid paints as focused
    for (int c = 0; c < columns; ++c) {
        grid->setColumnWidth(c, 60);
    }
    for (int r = 0; r < rows; ++r) {
        grid->setRowHeight(r, 24);
    }
    grid->resize(columns * 60, rows * 24);
    QFont font("DejaVu Sans");
    font.setPixelSize(18);
    font.setBold(true);
    grid->setFont(font);
    return grid;
}

QImage Render(QTableWidget& grid)
{
    grid.show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(&grid));
    return grid.viewport()->grab().toImage().convertToFormat(QImage::Format_RGB32);
}

QColor CellCorner(const QImage& image, const QTableWidget& grid, int row, int column, int dx = 1, int dy = 1)
{
    const QRect rect = grid.visualRect(grid.model()->index(row, column));
    return image.pixelColor(rect.left() + dx, rect.top() + dy);
}

// Darkest pixel of a region, by the sum of its channels.
QColor Darkest(const QImage& image, const QRect& region)
{
    QColor darkest(255, 255, 255);
    for (int y = region.top(); y <= region.bottom(); ++y) {
        for (int x = region.left(); x <= region.right(); ++x) {
            const QColor c = image.pixelColor(x, y);
            if (c.red() + c.green() + c.blue() < darkest.red() + darkest.green() + darkest.blue()) {
                darkest = c;
            }
        }
    }
    return darkest;
}

// Horizontal extent of the pixels darker than half of white: {first x, last x}, or {-1, -1}.
std::pair<int, int> InkColumns(const QImage& image)
{
    int first = -1;
    int last = -1;
    for (int x = 0; x < image.width(); ++x) {
        for (int y = 0; y < image.height(); ++y) {
            if (qGray(image.pixel(x, y)) < 128) {
                if (first < 0) {
                    first = x;
                }
                last = x;
                break;
            }
        }
    }
    return {first, last};
}

QImage PaintOne(const QTableWidget& grid, int column, int row, int alignment, GridCellState state, QSize size)
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(Qt::magenta);
    QPainter painter(&image);
    DrawGridCell(painter, grid, column, row, alignment, 0xFFFFFF, 0, state, QRect(QPoint(0, 0), size));
    painter.end();
    return image;
}

} // namespace

TEST(Vclfunc, StripesOfTwoColumnsWithoutFixedColumn)
{
    auto grid = MakeGrid(3, 4);
    grid->setItemDelegate(new HouseStyleDelegate(*grid, 5, -1, 2));
    grid->setSelectionMode(QAbstractItemView::NoSelection);
    const QImage image = Render(*grid);
    for (int row = 0; row < 3; ++row) {
        EXPECT_EQ(CellCorner(image, *grid, row, 0), kLightBlue) << row;
        EXPECT_EQ(CellCorner(image, *grid, row, 1), kLightBlue) << row;
        EXPECT_EQ(CellCorner(image, *grid, row, 2), kLightGreen) << row;
        EXPECT_EQ(CellCorner(image, *grid, row, 3), kLightGreen) << row;
    }
}

TEST(Vclfunc, StripesCountFromTheFirstNormalColumnAndWidthZeroHasNone)
{
    struct Case {
        int stripeWidth;
        int fixedCols;
        std::vector<QColor> colours; // columns 0..4
    };
    const Case cases[] = {
        {0, 0, {kLightBlue, kLightBlue, kLightBlue, kLightBlue, kLightBlue}},
        {-3, 0, {kLightBlue, kLightBlue, kLightBlue, kLightBlue, kLightBlue}},
        {1, 0, {kLightBlue, kLightGreen, kLightBlue, kLightGreen, kLightBlue}},
        {1, 1, {kSilver, kLightBlue, kLightGreen, kLightBlue, kLightGreen}},
        {2, 1, {kSilver, kLightBlue, kLightBlue, kLightGreen, kLightGreen}},
    };
    for (const Case& c : cases) {
        auto grid = MakeGrid(2, 5);
        grid->setProperty(kGridFixedColsProperty, c.fixedCols);
        grid->setProperty(kGridFixedColorProperty, kSilver);
        grid->setItemDelegate(new HouseStyleDelegate(*grid, 5, -1, c.stripeWidth));
        grid->setSelectionMode(QAbstractItemView::NoSelection);
        const QImage image = Render(*grid);
        for (int column = 0; column < 5; ++column) {
            EXPECT_EQ(CellCorner(image, *grid, 1, column, 4, 4), c.colours[static_cast<size_t>(column)])
                << "width " << c.stripeWidth << " fixed " << c.fixedCols << " column " << column;
        }
    }
}

TEST(Vclfunc, GivenColourPaintsEveryNormalCell)
{
    auto grid = MakeGrid(2, 4);
    grid->setItemDelegate(new HouseStyleDelegate(*grid, 1, 0x123456, 1));
    grid->setSelectionMode(QAbstractItemView::NoSelection);
    const QImage image = Render(*grid);
    for (int column = 0; column < 4; ++column) {
        EXPECT_EQ(CellCorner(image, *grid, 0, column), QColor(0x12, 0x34, 0x56)) << column;
    }
}

TEST(Vclfunc, SelectedCellIsAquaWithBlackText)
{
    auto grid = MakeGrid(4, 4);
    for (int column = 0; column < 4; ++column) {
        grid->setItem(2, column, new QTableWidgetItem("WM"));
    }
    grid->setSelectionBehavior(QAbstractItemView::SelectRows);
    grid->setItemDelegate(new HouseStyleDelegate(*grid, 1, -1, 2));
    grid->selectRow(2);
    const QImage image = Render(*grid);
    for (int column = 0; column < 4; ++column) {
        EXPECT_EQ(CellCorner(image, *grid, 2, column), kAqua) << column;
        EXPECT_EQ(Darkest(image, grid->visualRect(grid->model()->index(2, column))), QColor(0, 0, 0)) << column;
        EXPECT_NE(CellCorner(image, *grid, 1, column), kAqua) << column;
    }

    // The state decides, for title cells too.
    GridCellState state;
    state.fixed = true;
    state.focused = true;
    const QImage one = PaintOne(*grid, 0, 0, 1, state, QSize(60, 24));
    EXPECT_EQ(one.pixelColor(30, 2), kAqua);
}

TEST(Vclfunc, TitleCellOnSilverHasDarkGreyTextAndEdgeOnlyUnder3DLook)
{
    for (const bool look3D : {false, true}) {
        auto grid = MakeGrid(3, 2);
        grid->setProperty(kGridFixedRowsProperty, 1);
        grid->setProperty(kGridFixedColorProperty, kSilver);
        grid->setProperty(kGridCtl3DProperty, look3D);
        grid->setItem(0, 0, new QTableWidgetItem("Port"));
        grid->setItem(1, 0, new QTableWidgetItem("3"));
        grid->setItemDelegate(new HouseStyleDelegate(*grid, 5, 0xFFFFFF, 0));
        grid->setSelectionMode(QAbstractItemView::NoSelection);
        const QImage image = Render(*grid);
        const QRect title = grid->visualRect(grid->model()->index(0, 0));
        EXPECT_EQ(Darkest(image, title), kDarkGrey) << look3D;
        // Only shades between the text colour and silver inside the edge.
        for (int y = title.top() + 1; y < title.bottom(); ++y) {
            for (int x = title.left() + 1; x < title.right(); ++x) {
                const QColor c = image.pixelColor(x, y);
                ASSERT_TRUE(c.red() == c.green() && c.green() == c.blue() && c.red() >= 63 && c.red() <= 192)
                    << x << "," << y;
            }
        }
        EXPECT_EQ(CellCorner(image, *grid, 0, 1, 4, 4), kSilver);
        const QColor topLeft = image.pixelColor(title.topLeft());
        const QColor bottomRight = image.pixelColor(title.bottomRight());
        if (look3D) {
            EXPECT_EQ(topLeft, QColor(255, 255, 255));
            EXPECT_EQ(bottomRight, QColor(128, 128, 128));
        } else {
            EXPECT_EQ(topLeft, kSilver);
            EXPECT_EQ(bottomRight, kSilver);
        }
        // Normal cells: black text, no edge.
        const QRect normal = grid->visualRect(grid->model()->index(1, 0));
        EXPECT_EQ(Darkest(image, normal), QColor(0, 0, 0));
        EXPECT_EQ(image.pixelColor(normal.topLeft()), QColor(255, 255, 255));
        EXPECT_EQ(image.pixelColor(normal.bottomRight()), QColor(255, 255, 255));
    }
}

TEST(Vclfunc, AlignmentPlacesTheTextAndDefaultsByCellKind)
{
    auto grid = MakeGrid(1, 1);
    grid->setItem(0, 0, new QTableWidgetItem("II"));
    const QSize size(200, 30);
    struct Case {
        int alignment;
        bool fixed;
        const char* where; // "left", "centre", "right"
    };
    const Case cases[] = {
        {0, false, "left"},   {1, false, "centre"}, {2, false, "right"}, {7, false, "right"},
        {-1, false, "right"}, {0, true, "left"},    {2, true, "right"},  {3, true, "centre"},
    };
    for (const Case& c : cases) {
        GridCellState state;
        state.fixed = c.fixed;
        grid->setProperty(kGridFixedColorProperty, QColor(255, 255, 255)); // black text on titles too
        const QImage image = PaintOne(*grid, 0, 0, c.alignment, state, size);
        const auto [first, last] = InkColumns(image);
        ASSERT_GE(first, 0) << c.alignment;
        const std::string where = c.where;
        if (where == "left") {
            EXPECT_GE(first, 2);
            EXPECT_LE(first, 6) << c.alignment;
        } else if (where == "right") {
            EXPECT_LE(last, size.width() - 3);
            EXPECT_GE(last, size.width() - 7) << c.alignment;
        } else {
            EXPECT_NEAR((first + last) / 2.0, size.width() / 2.0, 3.0) << c.alignment;
        }
        // Vertically centred.
        int top = -1;
        int bottom = -1;
        for (int y = 0; y < size.height(); ++y) {
            for (int x = 0; x < size.width(); ++x) {
                if (qGray(image.pixel(x, y)) < 128) {
                    top = top < 0 ? y : top;
                    bottom = y;
                    break;
                }
            }
        }
        EXPECT_NEAR((top + bottom) / 2.0, size.height() / 2.0, 3.0) << c.alignment;
    }
}

TEST(Vclfunc, NothingIsPaintedOutsideTheCell)
{
    auto grid = MakeGrid(1, 1);
    grid->setItem(0, 0, new QTableWidgetItem("A text much too long for its narrow cell\nsecond line"));
    grid->setProperty(kGridFixedColorProperty, kSilver);
    QImage image(100, 60, QImage::Format_RGB32);
    image.fill(Qt::magenta);
    const QRect cell(20, 20, 40, 14);
    {
        QPainter painter(&image);
        GridCellState state;
        state.fixed = true;
        DrawGridCell(painter, *grid, 0, 0, 0, -1, 0, state, cell);
        // A cell that the grid does not have paints an empty text.
        DrawGridCell(painter, *grid, 9, 9, 0, -1, 0, GridCellState{}, QRect(70, 40, 20, 10));
    }
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const bool inside = cell.contains(x, y) || QRect(70, 40, 20, 10).contains(x, y);
            if (!inside) {
                ASSERT_EQ(image.pixelColor(x, y), QColor(Qt::magenta)) << x << "," << y;
            }
        }
    }
    EXPECT_EQ(image.pixelColor(75, 45), kLightBlue);
}

TEST(Vclfunc, CellStateFollowsTheGrid)
{
    auto grid = MakeGrid(3, 3);
    grid->setProperty(kGridFixedRowsProperty, 1);
    grid->setProperty(kGridFixedColsProperty, 1);
    grid->setSelectionBehavior(QAbstractItemView::SelectRows);
    grid->selectRow(2);
    EXPECT_TRUE(GridCellStateOf(*grid, 0, 0).fixed);
    EXPECT_TRUE(GridCellStateOf(*grid, 0, 2).fixed);
    EXPECT_TRUE(GridCellStateOf(*grid, 2, 0).fixed);
    EXPECT_FALSE(GridCellStateOf(*grid, 1, 1).fixed);
    EXPECT_TRUE(GridCellStateOf(*grid, 1, 2).selected);
    EXPECT_FALSE(GridCellStateOf(*grid, 1, 1).selected);
    EXPECT_FALSE(GridCellStateOf(*grid, 5, 5).selected);
    auto plain = MakeGrid(2, 2);
    EXPECT_FALSE(GridCellStateOf(*plain, 0, 0).fixed);

    // The current cell counts as focused while the grid has the focus.
    plain->setFocusPolicy(Qt::StrongFocus);
    plain->setCurrentCell(1, 0);
    plain->show();
    plain->activateWindow();
    plain->setFocus();
    ASSERT_TRUE(QTest::qWaitFor([&] { return plain->hasFocus(); }, 5000));
    EXPECT_TRUE(GridCellStateOf(*plain, 0, 1).focused);
    EXPECT_FALSE(GridCellStateOf(*plain, 0, 0).focused);
    EXPECT_FALSE(GridCellStateOf(*plain, 1, 1).focused);
}

TEST(Vclfunc, StrCopyNBoundsTheCopy)
{
    struct Case {
        std::string source;
        int n;
        std::string expected;
    };
    const Case cases[] = {
        {"192.168.100.200.12", 15, "192.168.100.200"}, // 20 characters in, 15 out
        {"12345678901234567890", 15, "123456789012345"},
        {"1.2.3", 15, "1.2.3"},
        {"", 15, ""},
        {"abc", 0, ""},
        {"abc", -4, ""},
    };
    for (const Case& c : cases) {
        char destination[32];
        std::memset(destination, 'X', sizeof destination);
        EXPECT_EQ(StrCopyN(destination, c.source.c_str(), c.n), destination);
        EXPECT_EQ(std::string(destination), c.expected) << c.source << " " << c.n;
        EXPECT_EQ(destination[c.expected.size() + 1], 'X') << "wrote past the zero byte";
    }
    // A source of exactly n characters without a zero byte is read no further.
    auto unterminated = std::make_unique<char[]>(15);
    std::memset(unterminated.get(), 'a', 15);
    char destination[16];
    StrCopyN(destination, unterminated.get(), 15);
    EXPECT_EQ(std::string(destination), std::string(15, 'a'));
    StrCopyN(destination, nullptr, 15);
    EXPECT_EQ(std::string(destination), "");
    EXPECT_EQ(StrCopyN(nullptr, "x", 1), nullptr);
}
