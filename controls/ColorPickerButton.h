#pragma once
// TColorPickerButton: a flat button that shows the chosen colour and, from its arrow part,
// drops down TColorPopup: a grid of named colours, optionally the system colours, a default
// cell, a custom cell with a comb of custom colours. The cell rules live in ColorTable.
#include <QColor>
#include <QPixmap>
#include <QRect>
#include <QWidget>
#include <functional>
#include <string>
#include <vector>

#include "controls/ButtonLayout.h"
#include "controls/ColorTable.h"

// The RGB value of a colour: a system colour (0x80000000 + n) is looked up in the
// application's palette, any other colour is itself.
TColor ColorToRGB(TColor color);
QColor ToQColor(TColor color);

enum TIndicatorBorder { ibNone, ibFlat, ibSunken, ibRaised };

class TColorPickerButton;

class TColorPopup : public QWidget {
  Q_OBJECT

 public:
  static constexpr int CellSize = 18;
  explicit TColorPopup(TColorPickerButton* owner);

  const TColorCells& Cells() const { return FCells; }
  int SelectedCell() const { return FSelected; }
  void SelectCell(int cell);
  // Selects the entry of this colour (none when the table lacks it).
  void SelectColor(TColor color);
  // What a click or Enter on a cell does (see TColorPickerButton).
  void ChooseCell(int cell);
  // Chooses comb cell i of the colour comb (colourComb) or the grey comb.
  void ChooseCombCell(bool colourComb, int i);
  bool CustomAreaShown() const { return FCustomShown; }
  double Intensity() const { return FIntensity; }
  void SetIntensity(double v);
  // The colour the custom cell stands for, from the comb choice and the intensity.
  TColor CustomColor() const;
  const std::vector<TCombCell>& ColorComb() const { return FColorComb; }
  const std::vector<TCombCell>& GreyComb() const { return FGreyComb; }

  // Lays the pop-up out again for the owner's texts and options.
  void Relayout();
  // The cell under a point of the pop-up (NoCell outside every cell).
  int CellAt(QPoint p) const;
  QRect CellRect(int cell) const;
  // The hint shown over a point, empty for none.
  std::string HintAt(QPoint p) const;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void hideEvent(QHideEvent* event) override;

 private:
  friend class TColorPickerButton;
  // Comb cell under p: -(i + 1) for the colour comb, i + 1 for the grey comb, 0 for none.
  int CombCellAt(QPoint p) const;
  QPointF ColorCombCentre(int i) const;
  QRect GreyCombRect(int i) const;
  TColorPickerButton* FOwner;
  TColorCells FCells;
  int FHover = NoCell, FSelected = NoCell;
  int FMargin = 2;
  QRect FDefaultRect, FGridRect, FCustomRect, FCombRect, FIntensityRect;
  bool FCustomShown = false;
  std::vector<TCombCell> FColorComb, FGreyComb;
  double FIntensity = 1.0;
  int FCustomIndex = 0;  // negative: colour comb, positive: grey comb, 0: none yet
};

class TColorPickerButton : public QWidget {
  Q_OBJECT

 public:
  explicit TColorPickerButton(QWidget* parent = nullptr);
  ~TColorPickerButton() override;

  TColor SelectionColor() const { return FSelectionColor; }
  void SetSelectionColor(TColor color);
  std::string CustomText() const { return FCustomText; }
  void SetCustomText(const std::string& text);
  std::string DefaultText() const { return FDefaultText; }
  void SetDefaultText(const std::string& text);
  bool ShowSystemColors() const { return FShowSystemColors; }
  void SetShowSystemColors(bool on);
  int PopupSpacing() const { return FPopupSpacing; }
  void SetPopupSpacing(int spacing);
  int DropDownWidth = 15;
  QColor DropDownArrowColor = Qt::black;
  TIndicatorBorder IndicatorBorder = ibNone;
  bool Flat = false;

  // An optional glyph (up to four images side by side: up, disabled, clicked, down) with the
  // caption beside it; with a glyph the colour shows as a bar below them.
  QPixmap Glyph;
  int NumGlyphs = 1;
  std::string Caption;
  TButtonLayout Layout = blGlyphLeft;
  int Margin = -1;
  int Spacing = 4;
  // Latching as speed buttons do: a button of a group (GroupIndex not 0) stays down when
  // clicked and lets the others of its group in the same parent up; a click on the down one
  // lets it up only with AllowAllUp.
  int GroupIndex = 0;
  bool AllowAllUp = false;
  bool Down() const { return FDown; }
  void SetDown(bool down);

  bool DroppedDown() const;
  void SetDroppedDown(bool down);
  TColorPopup* Popup() const { return FPopup; }

  std::function<void(QObject* Sender)> OnChange;
  std::function<void(QObject* Sender)> OnClick;
  std::function<void(QObject* Sender)> OnDefaultSelect;
  std::function<void(QObject* Sender, bool& Allowed)> OnDropChanging;
  std::function<void(QObject* Sender)> OnDropChanged;
  // Hints of the default (DefaultCell) and custom (CustomCell) cells.
  std::function<void(QObject* Sender, int Cell, std::string& Hint)> OnHint;

  QSize sizeHint() const override { return QSize(45, 22); }

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  friend class TColorPopup;
  void PopupClosed();
  TColorPopup* FPopup;
  TColor FSelectionColor = clBlack;
  std::string FCustomText, FDefaultText;
  bool FShowSystemColors = false;
  int FPopupSpacing = 8;
  bool FPressed = false, FMouseInside = false, FDown = false;
};
