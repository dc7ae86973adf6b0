#pragma once
// The colour picker's cells and combs, apart from the widgets: the named colours, the system
// colours, moving the selection with the arrow keys, and the custom-colour combs.
#include <string>
#include <vector>

#include "platform/Bitmap.h"

struct TColorEntry {
  const char* Name;
  TColor Value;
};

// The 40 named colours of the grid (8 columns, row by row), then the 25 system colours, whose
// values are 0x80000000 + the system colour's number.
constexpr int ColorTableSize = 65;
constexpr int NamedColorCount = 40;
constexpr int ColorColumns = 8;
extern const TColorEntry ColorTable[ColorTableSize];

constexpr TColor SystemColorFlag = 0x80000000u;
constexpr bool IsSystemColor(TColor c) { return (c & 0xFF000000u) == SystemColorFlag; }

// Cells of the pop-up besides the table entries (0 and up).
constexpr int NoCell = -1, CustomCell = -2, DefaultCell = -3;

struct TColorCells {
  bool ShowSystemColors = false, HasDefault = false, HasCustom = false;
  int Count() const { return ShowSystemColors ? ColorTableSize : NamedColorCount; }
  // Rows of colour cells: 5, or 9 with the system colours.
  int Rows() const { return (Count() + ColorColumns - 1) / ColorColumns; }
  // The first table entry of this value, or NoCell.
  int Find(TColor color) const;
};

enum TCellMove { cmLeft, cmRight, cmUp, cmDown };
// The cell the arrow key leads to from cell (NoCell starts at the first cell): through the
// default cell above the grid, the named and system colours, and the custom cell below.
int MoveCell(const TColorCells& cells, int cell, TCellMove move);

// A cell of a custom-colour comb: its centre in cell units from the comb's centre (y down).
struct TCombCell {
  double X = 0, Y = 0;
  TColor Color = 0;
};
constexpr int CombLevels = 7;
// The colour comb: a hexagon of CombLevels rings (1 + 6 * (1 + ... + 6) = 127 cells), white
// in the centre, the outer corners magenta, red, yellow, green, cyan and blue going clockwise
// from the top; each ring runs linearly between its corners.
std::vector<TCombCell> BuildColorComb();
// The grey comb: white, the greys 225 down to 15 by 15, black; X is the cell's index.
std::vector<TCombCell> BuildGreyComb();
// A comb colour at an intensity (0..1): each component scaled, to the nearest integer.
TColor ScaleColor(TColor c, double intensity);
