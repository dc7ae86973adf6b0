// The colour picker: its table, the pop-up's cells and keys, the custom-colour combs, and the
// button's events.
#include <gtest/gtest.h>

// QTest's mouse events travel the window system's road (the pop-up's grab and its closing on
// an outside press), as a user's clicks do, not straight to the widget named.
#define QTEST_QPA_MOUSE_HANDLING
#include <QApplication>
#include <QTest>
#include <QKeyEvent>
#include <QMouseEvent>
#include <cmath>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "controls/ColorPickerButton.h"
#include "platform_qt/QtTestApp.h"

namespace {
void Key(QWidget* w, int key, const QString& text = QString()) {
  QKeyEvent e(QEvent::KeyPress, key, Qt::NoModifier, text);
  QApplication::sendEvent(w, &e);
}
}  // namespace

TEST(ColorTable, ValuesAndLookup) {
  // Byte order: red in the low byte.
  struct {
    int index;
    const char* name;
    int r, g, b;
  } known[] = {{0, "Black", 0, 0, 0},          {16, "Red", 255, 0, 0},          {13, "Blue", 0, 0, 255},
               {26, "Yellow", 255, 255, 0},    {27, "Bright Green", 0, 255, 0}, {24, "Pink", 255, 0, 255},
               {28, "Turquoise", 0, 255, 255}, {1, "Brown", 153, 51, 0},        {39, "White", 255, 255, 255}};
  for (const auto& k : known) {
    EXPECT_STREQ(ColorTable[k.index].Name, k.name);
    EXPECT_EQ(ColorTable[k.index].Value, RGBColor(k.r, k.g, k.b)) << k.name;
  }
  // Every entry is found again at its own index (a duplicate would select the wrong cell), and
  // only the last 25 are system colours, numbered in order.
  TColorCells all{true, true, true};
  for (int i = 0; i < ColorTableSize; ++i) {
    EXPECT_EQ(all.Find(ColorTable[i].Value), i) << ColorTable[i].Name;
    EXPECT_EQ(IsSystemColor(ColorTable[i].Value), i >= NamedColorCount);
    if (i >= NamedColorCount) {
      EXPECT_EQ(ColorTable[i].Value, SystemColorFlag + (i - NamedColorCount));
    }
  }
  TColorCells named{false, true, true};
  EXPECT_EQ(named.Find(ColorTable[45].Value), NoCell);
}

TEST(ColorTable, ArrowKeys) {
  const TColorCells both{false, true, true}, bare{false, false, false}, sys{true, true, true};
  struct {
    const TColorCells* cells;
    int from;
    TCellMove move;
    int to;
  } cases[] = {
      {&both, NoCell, cmDown, 0},
      {&both, DefaultCell, cmDown, 0},
      {&both, DefaultCell, cmUp, DefaultCell},
      {&both, 0, cmUp, DefaultCell},
      {&both, 5, cmUp, DefaultCell},
      {&both, 0, cmLeft, DefaultCell},
      {&both, 9, cmUp, 1},
      {&both, 1, cmDown, 9},
      {&both, 7, cmRight, 8},
      {&both, 8, cmLeft, 7},
      {&both, 35, cmDown, CustomCell},
      {&both, 39, cmRight, CustomCell},
      {&both, CustomCell, cmLeft, 39},
      {&both, CustomCell, cmUp, 32},
      {&both, CustomCell, cmDown, CustomCell},
      {&bare, 0, cmUp, 0},
      {&bare, 39, cmDown, 39},
      {&bare, 39, cmRight, 39},
      {&sys, 35, cmDown, 43},
      {&sys, 57, cmDown, 64},
      {&sys, 63, cmDown, 64},
      {&sys, 64, cmDown, CustomCell},
      {&sys, 64, cmUp, 56},
      {&sys, CustomCell, cmUp, 64},
  };
  for (const auto& c : cases) EXPECT_EQ(MoveCell(*c.cells, c.from, c.move), c.to) << c.from << " move " << c.move;
}

TEST(ColorTable, Combs) {
  const std::vector<TCombCell> comb = BuildColorComb();
  ASSERT_EQ(comb.size(), 127u);
  EXPECT_EQ(comb[0].Color, clWhite);
  // No two cells share a place.
  std::set<std::pair<long, long>> places;
  for (const TCombCell& c : comb) places.insert({std::lround(c.X * 100), std::lround(c.Y * 100)});
  EXPECT_EQ(places.size(), comb.size());
  // The outer ring's corners, clockwise from the top (y grows downwards).
  const double pi = std::acos(-1.0);
  struct {
    double angle;
    TColor color;
  } corners[] = {{90, RGBColor(255, 0, 255)}, {30, RGBColor(255, 0, 0)},     {-30, RGBColor(255, 255, 0)},
                 {-90, RGBColor(0, 255, 0)},  {-150, RGBColor(0, 255, 255)}, {-210, RGBColor(0, 0, 255)}};
  for (const auto& k : corners) {
    const double x = 6 * std::cos(k.angle * pi / 180), y = -6 * std::sin(k.angle * pi / 180);
    auto it =
        std::find_if(comb.begin(), comb.end(), [&](const TCombCell& c) { return std::hypot(c.X - x, c.Y - y) < 1e-6; });
    ASSERT_NE(it, comb.end()) << k.angle;
    EXPECT_EQ(it->Color, k.color) << k.angle;
  }
  // Halfway along the outer edge from red to yellow, and a corner halfway in (white + half red).
  auto at = [&](double x, double y) {
    for (const TCombCell& c : comb)
      if (std::hypot(c.X - x, c.Y - y) < 1e-6) return c.Color;
    return TColor(0xFFFFFFFF);
  };
  const double c30 = std::cos(pi / 6), s30 = 0.5;
  EXPECT_EQ(at(6 * c30, 0), RGBColor(255, 128, 0));
  EXPECT_EQ(at(3 * c30, -3 * s30), RGBColor(255, 128, 128));

  const std::vector<TCombCell> grey = BuildGreyComb();
  ASSERT_EQ(grey.size(), 17u);
  EXPECT_EQ(grey.front().Color, clWhite);
  EXPECT_EQ(grey[1].Color, RGBColor(225, 225, 225));
  EXPECT_EQ(grey[15].Color, RGBColor(15, 15, 15));
  EXPECT_EQ(grey.back().Color, clBlack);
  EXPECT_EQ(ScaleColor(RGBColor(255, 128, 0), 0.5), RGBColor(128, 64, 0));
}

TEST(ColorPickerButton, PopupCellsAndEvents) {
  TestApp();
  TColorPickerButton button;
  button.SetCustomText("Custom Color");
  TColorPopup* popup = button.Popup();
  for (bool system : {false, true}) {
    button.SetShowSystemColors(system);
    EXPECT_EQ(popup->Cells().Rows(), system ? 9 : 5);
    // Every cell is hit at its centre, and nothing lies between the grid and the custom cell.
    for (int i = 0; i < popup->Cells().Count(); ++i) EXPECT_EQ(popup->CellAt(popup->CellRect(i).center()), i);
    EXPECT_EQ(popup->CellAt(popup->CellRect(CustomCell).center()), CustomCell);
    EXPECT_GE(popup->CellRect(CustomCell).top(), popup->CellRect(popup->Cells().Count() - 1).bottom());
  }
  EXPECT_EQ(popup->HintAt(popup->CellRect(16).center()), "Red");
  EXPECT_EQ(popup->CellAt(popup->CellRect(DefaultCell).center()), NoCell);  // no default text

  int changes = 0, drops = 0;
  button.OnChange = [&](QObject*) { ++changes; };
  button.OnDropChanged = [&](QObject*) { ++drops; };
  button.SetSelectionColor(clBlack);  // unchanged
  EXPECT_EQ(changes, 0);

  // A refusing OnDropChanging keeps the pop-up closed.
  button.OnDropChanging = [](QObject*, bool& allowed) { allowed = false; };
  button.SetDroppedDown(true);
  EXPECT_FALSE(button.DroppedDown());
  button.OnDropChanging = nullptr;

  // Down from the selected black cell, Enter: the colour below it (Dark Red) is chosen.
  button.show();
  button.SetDroppedDown(true);
  ASSERT_TRUE(button.DroppedDown());
  EXPECT_EQ(popup->SelectedCell(), 0);
  Key(popup, Qt::Key_Down);
  Key(popup, Qt::Key_Return);
  EXPECT_FALSE(button.DroppedDown());
  EXPECT_EQ(button.SelectionColor(), RGBColor(128, 0, 0));
  EXPECT_EQ(changes, 1);

  // Escape closes without a choice; Space on the same colour changes nothing.
  button.SetDroppedDown(true);
  Key(popup, Qt::Key_Right);
  Key(popup, Qt::Key_Escape);
  EXPECT_FALSE(button.DroppedDown());
  button.SetDroppedDown(true);
  EXPECT_EQ(popup->SelectedCell(), 8);
  Key(popup, Qt::Key_Space);
  EXPECT_EQ(changes, 1);
  EXPECT_EQ(drops, 6);

  // The custom cell opens the comb first; a comb cell is then chosen at the set intensity.
  button.SetDroppedDown(true);
  popup->ChooseCell(CustomCell);
  EXPECT_TRUE(button.DroppedDown());
  EXPECT_TRUE(popup->CustomAreaShown());
  popup->SetIntensity(0.5);
  const std::vector<TCombCell>& comb = popup->ColorComb();
  const int red = static_cast<int>(
      std::find_if(comb.begin(), comb.end(), [](const TCombCell& c) { return c.Color == RGBColor(255, 0, 0); }) -
      comb.begin());
  popup->ChooseCombCell(true, red);
  EXPECT_FALSE(button.DroppedDown());
  EXPECT_EQ(button.SelectionColor(), RGBColor(128, 0, 0));
}

TEST(ColorPickerButton, SystemColorsResolve) {
  TestApp();
  const QPalette pal = QApplication::palette();
  struct {
    TColor color;
    QColor expected;
  } cases[] = {{0x80000005, pal.color(QPalette::Base)},
               {0x8000000D, pal.color(QPalette::Highlight)},
               {0x8000000F, pal.color(QPalette::Button)},
               {RGBColor(1, 2, 3), QColor(1, 2, 3)}};
  for (const auto& c : cases) {
    const TColor rgb = ColorToRGB(c.color);
    EXPECT_EQ(QColor(GetRValue(rgb), GetGValue(rgb), GetBValue(rgb)), c.expected) << std::hex << c.color;
  }
  for (int i = NamedColorCount; i < ColorTableSize; ++i) EXPECT_FALSE(IsSystemColor(ColorToRGB(ColorTable[i].Value)));
}

TEST(ColorPickerButton, GlyphAndCaptionPlaces) {
  const TLayoutRect area{0, 0, 40, 20};
  struct {
    TButtonLayout layout;
    int glyphW, glyphH, captionW, captionH, margin, spacing;
    TLayoutRect glyph, caption;
  } cases[] = {
      // Centred pair: 40 - 8 - 4 - 12 = 16 left over, 8 on each side.
      {blGlyphLeft, 8, 6, 12, 10, -1, 4, {8, 7, 8, 6}, {20, 5, 12, 10}},
      {blGlyphRight, 8, 6, 12, 10, -1, 4, {24, 7, 8, 6}, {8, 5, 12, 10}},
      // At a margin from its edge; the caption centred in what is left.
      {blGlyphLeft, 8, 6, 12, 10, 2, -1, {2, 7, 8, 6}, {19, 5, 12, 10}},
      // Both centred with equal gaps: (40 - 20) / 3 = 6.
      {blGlyphLeft, 8, 6, 12, 10, -1, -1, {6, 7, 8, 6}, {20, 5, 12, 10}},
      // Above each other: 20 - 6 - 2 - 10 = 2, one pixel above.
      {blGlyphTop, 8, 6, 12, 10, -1, 2, {16, 1, 8, 6}, {14, 9, 12, 10}},
      {blGlyphBottom, 8, 6, 12, 10, 0, 2, {16, 14, 8, 6}, {14, 2, 12, 10}},
      // A glyph alone is centred, whatever the spacing.
      {blGlyphLeft, 8, 6, 0, 0, -1, 4, {16, 7, 8, 6}, {}},
  };
  for (const auto& c : cases) {
    const TButtonPlaces p =
        PlaceGlyphAndCaption(area, c.glyphW, c.glyphH, c.captionW, c.captionH, c.layout, c.margin, c.spacing);
    EXPECT_EQ(p.Glyph, c.glyph) << "layout " << c.layout << " margin " << c.margin << " spacing " << c.spacing;
    EXPECT_EQ(p.Caption, c.caption) << "layout " << c.layout << " margin " << c.margin << " spacing " << c.spacing;
  }
}

TEST(ColorPickerButton, GroupLatching) {
  TestApp();
  QWidget parent;
  TColorPickerButton a(&parent), b(&parent), loose(&parent);
  a.GroupIndex = b.GroupIndex = 1;
  int clicks = 0;
  a.OnClick = [&](QObject*) { ++clicks; };
  auto click = [](TColorPickerButton& button, int x) {
    for (QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease}) {
      QMouseEvent e(type, QPointF(x, 5), button.mapToGlobal(QPointF(x, 5)), Qt::LeftButton,
                    type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton, Qt::NoModifier);
      QApplication::sendEvent(&button, &e);
    }
  };
  click(a, 5);
  EXPECT_TRUE(a.Down());
  EXPECT_EQ(clicks, 1);
  click(b, 5);
  EXPECT_TRUE(b.Down());
  EXPECT_FALSE(a.Down());  // the group's other button lets go
  click(b, 5);
  EXPECT_TRUE(b.Down());  // the last one stays down without AllowAllUp
  b.AllowAllUp = true;
  click(b, 5);
  EXPECT_FALSE(b.Down());
  loose.SetDown(true);
  EXPECT_FALSE(loose.Down());  // not in a group: never latched
  // A press on the arrow part drops the pop-up down instead of clicking.
  a.show();
  click(a, a.width() - 3);
  EXPECT_TRUE(a.DroppedDown());
  EXPECT_EQ(clicks, 1);
  a.SetDroppedDown(false);
}

TEST(ColorPickerButton, PopupByMouseAndKeys) {
  TestApp();
  QWidget window;
  window.resize(400, 400);
  TColorPickerButton button(&window);
  button.move(20, 20);
  button.SetDefaultText("&Default");
  window.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
  QApplication::setActiveWindow(&window);
  TColorPopup* popup = button.Popup();
  const QPoint arrow(button.width() - 4, button.height() / 2);
  std::vector<std::string> events;
  bool allow = true;
  button.OnDropChanging = [&](QObject*, bool& allowed) {
    events.push_back(button.DroppedDown() ? "closing?" : "opening?");
    allowed = allow;
  };
  button.OnDropChanged = [&](QObject*) { events.push_back(button.DroppedDown() ? "opened" : "closed"); };
  button.OnDefaultSelect = [&](QObject*) { events.push_back("default"); };
  auto clickArrow = [&] {
    QTest::mousePress(&button, Qt::LeftButton, {}, arrow);
    QTest::mouseRelease(&button, Qt::LeftButton, {}, arrow);
    QApplication::processEvents();
  };
  auto seen = [&] { return std::exchange(events, {}); };
  using L = std::vector<std::string>;

  // A plain click opens the pop-up and it stays open; a click on a cell chooses and closes.
  clickArrow();
  ASSERT_TRUE(button.DroppedDown());
  EXPECT_EQ(seen(), (L{"opening?", "opened"}));
  QTest::mouseClick(popup, Qt::LeftButton, {}, popup->CellRect(16).center());
  EXPECT_FALSE(button.DroppedDown());
  EXPECT_EQ(button.SelectionColor(), RGBColor(255, 0, 0));
  EXPECT_EQ(seen(), (L{"closing?", "closed"}));

  // Press on the arrow, release over a cell: that cell is chosen.
  QTest::mousePress(&button, Qt::LeftButton, {}, arrow);
  ASSERT_TRUE(button.DroppedDown());
  QTest::mouseRelease(popup, Qt::LeftButton, {}, popup->CellRect(13).center());
  EXPECT_FALSE(button.DroppedDown());
  EXPECT_EQ(button.SelectionColor(), RGBColor(0, 0, 255));
  seen();

  // A later click outside closes, and so does a click on the arrow (without opening again).
  for (QPoint outside : {QPoint(380, 380), button.mapTo(&window, arrow)}) {
    clickArrow();
    ASSERT_TRUE(button.DroppedDown());
    QTest::mouseClick(&window, Qt::LeftButton, {}, outside);
    QApplication::processEvents();
    EXPECT_FALSE(button.DroppedDown()) << outside.x();
    EXPECT_EQ(seen(), (L{"opening?", "opened", "closing?", "closed"})) << outside.x();
  }

  // The default cell's event comes before the close.
  clickArrow();
  QTest::mouseClick(popup, Qt::LeftButton, {}, popup->CellRect(DefaultCell).center());
  EXPECT_EQ(seen(), (L{"opening?", "opened", "default", "closing?", "closed"}));

  // A refused close keeps the pop-up open whichever way it was asked for.
  clickArrow();
  allow = false;
  seen();
  QTest::mouseClick(popup, Qt::LeftButton, {}, popup->CellRect(39).center());
  EXPECT_EQ(button.SelectionColor(), RGBColor(255, 255, 255));
  QTest::keyClick(popup, Qt::Key_Escape);
  QTest::mouseClick(&window, Qt::LeftButton, {}, QPoint(380, 380));
  QApplication::processEvents();
  EXPECT_TRUE(button.DroppedDown());
  EXPECT_EQ(seen(), (L{"closing?", "closing?", "closing?"}));
  allow = true;
  QTest::keyClick(popup, Qt::Key_Escape);
  EXPECT_FALSE(button.DroppedDown());
  EXPECT_EQ(seen(), (L{"closing?", "closed"}));
}
