#include "common/Vclfunc.h"

#include <QAbstractItemModel>
#include <QColor>
#include <QItemSelectionModel>
#include <QPainter>
#include <QPalette>
#include <QString>
#include <QTableWidget>
#include <QVariant>

namespace {

const QColor kStripeBase(221, 238, 255);
const QColor kStripeAlternate(221, 255, 238);
const QColor kSelected(0, 255, 255);
const QColor kEdgeLight(255, 255, 255);
const QColor kEdgeShadow(128, 128, 128);
constexpr int kTextMargin = 2;

int IntProperty(const QTableWidget& grid, const char* name, int fallback)
{
    const QVariant value = grid.property(name);
    bool ok = false;
    const int number = value.toInt(&ok);
    return value.isValid() && ok ? number : fallback;
}

QColor FixedColor(const QTableWidget& grid)
{
    const QVariant value = grid.property(kGridFixedColorProperty);
    if (value.isValid()) {
        const QColor colour = value.value<QColor>();
        if (colour.isValid()) {
            return colour;
        }
    }
    return grid.palette().color(QPalette::Button);
}

bool Ctl3D(const QTableWidget& grid)
{
    const QVariant value = grid.property(kGridCtl3DProperty);
    return value.isValid() ? value.toBool() : true;
}

} // namespace

char* StrCopyN(char* destination, const char* source, int n)
{
    if (destination == nullptr) {
        return destination;
    }
    int k = 0;
    if (source != nullptr) {
        while (k < n && source[k] != '\0') {
            destination[k] = source[k];
            ++k;
        }
    }
    destination[k] = '\0';
    return destination;
}

GridCellState GridCellStateOf(const QTableWidget& grid, int column, int row)
{
    GridCellState state;
    state.fixed =
        row < IntProperty(grid, kGridFixedRowsProperty, 0) || column < IntProperty(grid, kGridFixedColsProperty, 0);
    const QModelIndex index = grid.model()->index(row, column);
    if (index.isValid()) {
        state.selected = grid.selectionModel() != nullptr && grid.selectionModel()->isSelected(index);
        state.focused = grid.hasFocus() && grid.currentIndex() == index;
    }
    return state;
}

void DrawGridCell(QPainter& painter, const QTableWidget& grid, int column, int row, int alignment, int colour,
                  int stripeWidth, GridCellState state, const QRect& rect)
{
    const QColor base = colour == -1 ? kStripeBase : QColor::fromRgb(static_cast<QRgb>(colour) & 0xFFFFFFu);
    const QColor alternate = colour == -1 ? kStripeAlternate : base;
    const QColor fixedColour = FixedColor(grid);

    QColor background;
    Qt::Alignment horizontal;
    if (state.fixed) {
        background = fixedColour;
        horizontal = Qt::AlignHCenter;
    } else {
        background = base;
        horizontal = Qt::AlignRight;
        if (stripeWidth > 0) {
            const long long group = 2LL * stripeWidth;
            const long long offset = static_cast<long long>(column) - IntProperty(grid, kGridFixedColsProperty, 0);
            if (offset % group >= stripeWidth) {
                background = alternate;
            }
        }
    }
    switch (alignment) {
    case 0:
        horizontal = Qt::AlignLeft;
        break;
    case 1:
        horizontal = Qt::AlignHCenter;
        break;
    case 2:
        horizontal = Qt::AlignRight;
        break;
    default:
        break;
    }
    if (state.selected || state.focused) {
        background = kSelected;
    }

    painter.save();
    painter.setClipRect(rect, Qt::IntersectClip);
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.fillRect(rect, background);

    if (state.fixed && Ctl3D(grid) && rect.width() > 0 && rect.height() > 0) {
        painter.setPen(kEdgeLight);
        painter.drawLine(rect.topLeft(), rect.topRight());
        painter.drawLine(rect.topLeft(), rect.bottomLeft());
        painter.setPen(kEdgeShadow);
        painter.drawLine(rect.bottomLeft(), rect.bottomRight());
        painter.drawLine(rect.topRight(), rect.bottomRight());
    }

    const QColor text = state.fixed
                            ? QColor(255 - fixedColour.red(), 255 - fixedColour.green(), 255 - fixedColour.blue())
                            : QColor(0, 0, 0);
    const QRect inner = rect.adjusted(kTextMargin, kTextMargin, -kTextMargin, -kTextMargin);
    const QModelIndex index = grid.model()->index(row, column);
    const QString content = index.isValid() ? index.data(Qt::DisplayRole).toString() : QString();
    painter.setClipRect(inner, Qt::IntersectClip);
    painter.setFont(grid.font());
    painter.setPen(text);
    painter.drawText(inner, static_cast<int>(horizontal | Qt::AlignVCenter) | Qt::TextSingleLine, content);
    painter.restore();
}
