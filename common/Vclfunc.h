#pragma once
// Bounded string copy and the house style of grid cells.

#include <QRect>

class QTableWidget;

// Copies at most n characters of source into destination (which holds n + 1 bytes) and
// closes the copy with a zero byte; never reads source past its end or past n characters.
char* StrCopyN(char* destination, const char* source, int n);

// The draw state of a grid cell.
struct GridCellState {
    bool selected = false;
    bool focused = false;
    bool fixed = false;
};

class QPainter;

// Paints one cell of a string grid in the house style: light stripes (colour -1) or the given
// colour (0xRRGGBB), aqua selection, raised title cells, single-line vertically centred text.
// alignment: 0 left, 1 centre, 2 right, anything else the default of the cell kind.
void DrawGridCell(QPainter& painter, const QTableWidget& grid, int column, int row, int alignment, int colour,
                  int stripeWidth, GridCellState state, const QRect& rect);
