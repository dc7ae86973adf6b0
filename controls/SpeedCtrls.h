#pragma once
// TToolSpeedButton: a flat tool button that draws a glyph. The program uses its click and its
// glyph painting only (as the file-name edit's button), so latching groups, the auto-repeat
// timer and the drop-down menu are not built.
#include <QAbstractButton>
#include <QPixmap>

// Image `state` (0 up, 1 disabled, 2 clicked, 3 down) of a glyph holding numGlyphs images side
// by side. A missing disabled image is the up image greyed out by w's style; any other missing
// image is the up image.
QPixmap GlyphImage(const QPixmap& glyph, int numGlyphs, int state, const QWidget* w);

class TToolSpeedButton : public QAbstractButton {
  Q_OBJECT

 public:
  explicit TToolSpeedButton(QWidget* parent = nullptr);

  // The glyph holds NumGlyphs images side by side: up, disabled, clicked, down. A missing
  // disabled image is made from the up image.
  const QPixmap& Glyph() const { return FGlyph; }
  void SetGlyph(const QPixmap& glyph);
  int NumGlyphs() const { return FNumGlyphs; }
  void SetNumGlyphs(int n);
  bool Flat() const { return FFlat; }
  void SetFlat(bool flat);
  // Shown pressed (the button is held down by the mouse, or latched).
  bool Down() const { return isDown(); }

  QSize sizeHint() const override { return QSize(25, 25); }

 protected:
  void paintEvent(QPaintEvent* event) override;
  // The image for the current state.
  QPixmap StateGlyph() const;

 private:
  QPixmap FGlyph;
  int FNumGlyphs = 1;
  bool FFlat = true;
};
