#include "controls/ColorTable.h"

#include <algorithm>
#include <cmath>

// Values are 0x00BBGGRR.
const TColorEntry ColorTable[ColorTableSize] = {
    {"Black", 0x000000},
    {"Brown", 0x003399},
    {"Olive Green", 0x003333},
    {"Dark Green", 0x003300},
    {"Dark Teal", 0x663300},
    {"Dark blue", 0x800000},
    {"Indigo", 0x993333},
    {"Gray-80%", 0x333333},
    {"Dark Red", 0x000080},
    {"Orange", 0x0066FF},
    {"Dark Yellow", 0x008080},
    {"Green", 0x008000},
    {"Teal", 0x808000},
    {"Blue", 0xFF0000},
    {"Blue-Gray", 0x996666},
    {"Gray-50%", 0x808080},
    {"Red", 0x0000FF},
    {"Light Orange", 0x0099FF},
    {"Lime", 0x00CC99},
    {"Sea Green", 0x669933},
    {"Aqua", 0xCCCC33},
    {"Light Blue", 0xFF6633},
    {"Violet", 0x800080},
    {"Grey-40%", 0x969696},
    {"Pink", 0xFF00FF},
    {"Gold", 0x00CCFF},
    {"Yellow", 0x00FFFF},
    {"Bright Green", 0x00FF00},
    {"Turquoise", 0xFFFF00},
    {"Sky Blue", 0xFFCC00},
    {"Plum", 0x663399},
    {"Gray-25%", 0xC0C0C0},
    {"Rose", 0xCC99FF},
    {"Tan", 0x99CCFF},
    {"Light Yellow", 0x99FFFF},
    {"Light Green", 0xCCFFCC},
    {"Light Turquoise", 0xFFFFCC},
    {"Pale Blue", 0xFFCC99},
    {"Lavender", 0xFF99CC},
    {"White", 0xFFFFFF},
    {"system color: scroll bar", 0x80000000},
    {"system color: background", 0x80000001},
    {"system color: active caption", 0x80000002},
    {"system color: inactive caption", 0x80000003},
    {"system color: menu", 0x80000004},
    {"system color: window", 0x80000005},
    {"system color: window frame", 0x80000006},
    {"system color: menu text", 0x80000007},
    {"system color: window text", 0x80000008},
    {"system color: caption text", 0x80000009},
    {"system color: active border", 0x8000000A},
    {"system color: inactive border", 0x8000000B},
    {"system color: application workspace", 0x8000000C},
    {"system color: highlight", 0x8000000D},
    {"system color: highlight text", 0x8000000E},
    {"system color: button face", 0x8000000F},
    {"system color: button shadow", 0x80000010},
    {"system color: gray text", 0x80000011},
    {"system color: button text", 0x80000012},
    {"system color: inactive caption text", 0x80000013},
    {"system color: button highlight", 0x80000014},
    {"system color: 3D dark shadow", 0x80000015},
    {"system color: 3D light", 0x80000016},
    {"system color: info text", 0x80000017},
    {"system color: info background", 0x80000018},
};

int TColorCells::Find(TColor color) const {
  for (int i = 0; i < Count(); ++i)
    if (ColorTable[i].Value == color) return i;
  return NoCell;
}

int MoveCell(const TColorCells& cells, int cell, TCellMove move) {
  const int count = cells.Count(), last = count - 1;
  const int below = cells.HasCustom ? CustomCell : cell;
  const int above = cells.HasDefault ? DefaultCell : cell;
  if (cell == NoCell) return 0;
  if (cell == DefaultCell) return (move == cmRight || move == cmDown) ? 0 : cell;
  if (cell == CustomCell) {
    if (move == cmLeft) return last;
    if (move == cmUp) return (last / ColorColumns) * ColorColumns;
    return cell;
  }
  switch (move) {
    case cmLeft: return cell > 0 ? cell - 1 : above;
    case cmRight: return cell < last ? cell + 1 : below;
    case cmUp: return cell >= ColorColumns ? cell - ColorColumns : above;
    case cmDown:
      if (cell + ColorColumns <= last) return cell + ColorColumns;
      // The short last row: its one cell stands below every column.
      if (last / ColorColumns > cell / ColorColumns) return last;
      return below;
  }
  return cell;
}

namespace {

struct TRgb {
  double R, G, B;
};

TColor ToColor(const TRgb& c) {
  auto byte = [](double v) { return static_cast<uint8_t>(std::nearbyint(v * 255.0)); };
  return RGBColor(byte(c.R), byte(c.G), byte(c.B));
}

}  // namespace

std::vector<TCombCell> BuildColorComb() {
  // Magenta, red, yellow, green, cyan, blue at 90, 30, -30, -90, -150 and -210 degrees.
  static const TRgb corners[6] = {{1, 0, 1}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}, {0, 1, 1}, {0, 0, 1}};
  const double pi = std::acos(-1.0);
  std::vector<TCombCell> cells;
  cells.push_back({0, 0, clWhite});
  for (int r = 1; r < CombLevels; ++r) {
    const double t = static_cast<double>(r) / (CombLevels - 1);
    for (int k = 0; k < 6; ++k) {
      const int k1 = (k + 1) % 6;
      const TRgb a{1 + (corners[k].R - 1) * t, 1 + (corners[k].G - 1) * t, 1 + (corners[k].B - 1) * t};
      const TRgb b{1 + (corners[k1].R - 1) * t, 1 + (corners[k1].G - 1) * t, 1 + (corners[k1].B - 1) * t};
      const double ak = (90.0 - 60.0 * k) * pi / 180.0, bk = (90.0 - 60.0 * k1) * pi / 180.0;
      for (int j = 0; j < r; ++j) {
        const double f = static_cast<double>(j) / r;
        TCombCell c;
        c.X = r * ((1 - f) * std::cos(ak) + f * std::cos(bk));
        c.Y = -r * ((1 - f) * std::sin(ak) + f * std::sin(bk));
        c.Color = ToColor({a.R + (b.R - a.R) * f, a.G + (b.G - a.G) * f, a.B + (b.B - a.B) * f});
        cells.push_back(c);
      }
    }
  }
  return cells;
}

std::vector<TCombCell> BuildGreyComb() {
  std::vector<TCombCell> cells;
  auto grey = [](int v) { return RGBColor(static_cast<uint8_t>(v), static_cast<uint8_t>(v), static_cast<uint8_t>(v)); };
  cells.push_back({0, 0, grey(255)});
  for (int i = 1; i <= 15; ++i) cells.push_back({static_cast<double>(i), 0, grey((16 - i) * 15)});
  cells.push_back({16, 0, grey(0)});
  return cells;
}

TColor ScaleColor(TColor c, double intensity) {
  auto s = [&](uint8_t v) { return static_cast<uint8_t>(std::nearbyint(std::clamp(intensity, 0.0, 1.0) * v)); };
  return RGBColor(s(GetRValue(c)), s(GetGValue(c)), s(GetBValue(c)));
}
