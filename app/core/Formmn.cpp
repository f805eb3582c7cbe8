#include "app/core/Formmn.h"

#include "ui_Formmn.h"

#include "app/core/Menumodel.h"
#include "common/Vclfunc.h"

#include <QFont>
#include <QHeaderView>
#include <QInputDialog>
#include <QItemSelectionModel>
#include <QPainter>
#include <QPushButton>
#include <QStyleOptionViewItem>
#include <QStyledItemDelegate>
#include <QTableWidget>
#include <QToolButton>

namespace {

constexpr int kTitleRow = 0;
constexpr int kAlignCentre = 1;
constexpr int kWhite = 0xFFFFFF;
const QString kAddTitle = QStringLiteral("項目追加");
const QString kAddPromptTail = QStringLiteral("設定");

// A cell of the list in the house style: centred text, white, no stripes.
void PaintMenuCell(QPainter* painter, const QTableWidget& grid, int column, int row, const QRect& rect)
{
    const GridCellState state = GridCellStateOf(grid, column, row);
    painter->save();
    DrawGridCell(*painter, grid, column, row, kAlignCentre, kWhite, 0, state, rect);
    painter->restore();
}

// Every cell of the list.
class MenuCellDelegate : public QStyledItemDelegate {
public:
    explicit MenuCellDelegate(QTableWidget* grid) : QStyledItemDelegate(grid), grid_(grid) {}

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        PaintMenuCell(painter, *grid_, index.column(), index.row(), option.rect);
    }

private:
    QTableWidget* grid_;
};

// The title row as a fixed header: it stays in view when the list scrolls and is never a
// row that can be current. The titles stay in the grid's first row (hidden), painted here in
// the title cells' house style.
class MenuTitleHeader : public QHeaderView {
public:
    explicit MenuTitleHeader(QTableWidget* grid) : QHeaderView(Qt::Horizontal, grid), grid_(grid)
    {
        setSectionsClickable(false);
        setHighlightSections(false);
    }

    QSize sizeHint() const override
    {
        return {QHeaderView::sizeHint().width(), grid_->verticalHeader()->defaultSectionSize()};
    }

protected:
    void paintSection(QPainter* painter, const QRect& rect, int column) const override
    {
        PaintMenuCell(painter, *grid_, column, kTitleRow, rect);
    }

private:
    QTableWidget* grid_;
};

// Designer keeps point sizes; this window's texts are sized in pixels.
void SetPixelSize(QWidget* widget, int pixels)
{
    QFont font = widget->font();
    font.setPixelSize(pixels);
    widget->setFont(font);
}

} // namespace

TFormMenu::TFormMenu(QWidget* owner, KSelectMenu* model)
    : QDialog(owner), ui_(std::make_unique<Ui::TFormMenu>()), model_(model)
{
    ui_->setupUi(this);
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint);
    setFixedSize(376, 196);
    SetPixelSize(this, 15);
    SetPixelSize(ui_->LabelGuide, 16);

    QTableWidget* grid = ui_->StringGridMenu;
    auto* header = new MenuTitleHeader(grid);
    grid->setHorizontalHeader(header);
    header->setVisible(true);
    grid->setColumnWidth(0, 68);
    grid->setColumnWidth(1, 318);
    grid->setItemDelegate(new MenuCellDelegate(grid));
    for (int column = 0; column < grid->columnCount(); ++column) {
        SetCell(column, kTitleRow, QString());
    }
    grid->setRowHidden(kTitleRow, true);
    // No gesture reaches the hidden row; should anything make it current all the same, the
    // list has no current row instead.
    connect(grid->selectionModel(), &QItemSelectionModel::currentRowChanged, this, [grid](const QModelIndex& current) {
        if (current.row() == kTitleRow) {
            grid->setCurrentIndex(QModelIndex());
        }
    });

    connect(ui_->SpeedButtonAdd, &QToolButton::clicked, this, &TFormMenu::SpeedButtonAddClick);
    connect(ui_->ButtonOK, &QPushButton::clicked, this, &TFormMenu::ButtonOKClick);
    connect(ui_->ButtonCancel, &QPushButton::clicked, this, &TFormMenu::ButtonCancelClick);
    connect(grid, &QTableWidget::cellDoubleClicked, this, &TFormMenu::StringGridMenuDblClick);
}

TFormMenu::~TFormMenu() = default;

void TFormMenu::SetCell(int column, int row, const QString& text)
{
    QTableWidget* grid = ui_->StringGridMenu;
    QTableWidgetItem* item = grid->item(row, column);
    if (item == nullptr) {
        item = new QTableWidgetItem;
        // The title row cannot be chosen, as the fixed row of a grid.
        item->setFlags(row == kTitleRow ? Qt::ItemIsEnabled : Qt::ItemIsEnabled | Qt::ItemIsSelectable);
        grid->setItem(row, column, item);
    }
    item->setText(text);
}

void TFormMenu::Fill(const QStringList& captions, const QStringList& names, const QStringList& numbers, int current)
{
    setWindowTitle(captions.value(0));
    SetCell(0, kTitleRow, captions.value(1));
    SetCell(1, kTitleRow, captions.value(2));
    ui_->LabelGuide->setText(captions.value(3));

    QTableWidget* grid = ui_->StringGridMenu;
    grid->setRowCount(static_cast<int>(names.size()) + 1);
    // Where the grid puts its current row: the first row under the titles; none without one.
    grid->setCurrentCell(grid->rowCount() > 1 ? 1 : -1, 0);
    for (int i = 0; i < names.size(); ++i) {
        // A number text that is no number counts as 0.
        const int number = numbers.value(i).trimmed().toInt();
        const int row = i + 1;
        SetCell(0, row, QString::number(number));
        SetCell(1, row, names[i]);
        if (number == current) {
            grid->setCurrentCell(row, 0);
        }
    }
}

int TFormMenu::GetSelectedIndex() const
{
    const int row = ui_->StringGridMenu->currentRow();
    return row > kTitleRow ? row - 1 : -1;
}

int TFormMenu::AddItem()
{
    const QString numberPrompt = ui_->StringGridMenu->item(kTitleRow, 0)->text() + kAddPromptTail;
    const QString namePrompt = ui_->StringGridMenu->item(kTitleRow, 1)->text() + kAddPromptTail;
    // A cancelled question gives the empty default, as an answer left empty does.
    const QString number = QInputDialog::getText(this, kAddTitle, numberPrompt);
    const QString name = QInputDialog::getText(this, kAddTitle, namePrompt);
    if (model_ != nullptr) {
        model_->AddItem(number, name);
    }
    QTableWidget* grid = ui_->StringGridMenu;
    const int row = grid->rowCount();
    grid->setRowCount(row + 1);
    SetCell(0, row, number);
    SetCell(1, row, name);
    grid->setCurrentCell(row, 0);
    return 1;
}

void TFormMenu::SpeedButtonAddClick()
{
    AddItem();
}

void TFormMenu::ButtonOKClick()
{
    accept();
}

void TFormMenu::ButtonCancelClick()
{
    reject();
}

void TFormMenu::StringGridMenuDblClick()
{
    accept();
}
