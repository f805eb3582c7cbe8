#pragma once
// Bounded string copy and the house style of grid cells.

#include <QRect>

class QPainter;
class QTableWidget;

// Copies at most n characters of source into destination (which holds n + 1 bytes) and
// closes the copy with a zero byte; never reads source past its end or past n characters.
// Returns destination. A negative n copies nothing; a missing source gives an empty text.
char* StrCopyN(char* destination, const char* source, int n);

// The draw state of a grid cell.
struct GridCellState {
    bool selected = false;
    bool focused = false;
    bool fixed = false;
};

// A string grid here is a QTableWidget whose title rows and columns are ordinary cells at its
// top and left. What the table has no notion of is read from its dynamic properties (set
// them in the form's .ui file or with setProperty):
//   "fixedColor" (QColor) background of the title cells; default: the grid's button colour
//   "fixedCols"  (int)    number of title columns at the left; default 0
//   "fixedRows"  (int)    number of title rows at the top; default 0
//   "ctl3D"      (bool)   3-D look: title cells get a raised edge; default true
inline constexpr const char* kGridFixedColorProperty = "fixedColor";
inline constexpr const char* kGridFixedColsProperty = "fixedCols";
inline constexpr const char* kGridFixedRowsProperty = "fixedRows";
inline constexpr const char* kGridCtl3DProperty = "ctl3D";

// The draw state of a cell as the grid has it: fixed for title rows and columns, selected as
// its selection says, focused for the current cell of a grid that has the focus. A
// delegate's paint passes this to DrawGridCell.
GridCellState GridCellStateOf(const QTableWidget& grid, int column, int row);

// Paints one cell of the grid in the house style into rect: light blue (221, 238, 255) and,
// in groups of stripeWidth columns counted from the first normal column, light green
// (221, 255, 238) when colour is -1, else the colour 0xRRGGBB for every normal cell; title
// cells in the fixed colour with a raised edge under the 3-D look; aqua (0, 255, 255) for a
// selected or focused cell. The cell's text in the grid's font, on one line, vertically
// centred 2 pixels inside rect, black (title cells: the fixed colour inverted). alignment:
// 0 left, 1 centre, 2 right; anything else the default: title cells centred, normal cells
// right-aligned. Nothing is painted outside rect.
void DrawGridCell(QPainter& painter, const QTableWidget& grid, int column, int row, int alignment, int colour,
                  int stripeWidth, GridCellState state, const QRect& rect);
