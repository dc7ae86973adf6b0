#include "controls/SpeedCtrls.h"

#include <QPainter>
#include <QStyle>
#include <QStyleOptionButton>
#include <algorithm>

TToolSpeedButton::TToolSpeedButton(QWidget* parent) : QAbstractButton(parent) {
  setFocusPolicy(Qt::NoFocus);
  resize(25, 25);
}

void TToolSpeedButton::SetGlyph(const QPixmap& glyph) {
  FGlyph = glyph;
  update();
}

void TToolSpeedButton::SetNumGlyphs(int n) {
  FNumGlyphs = std::clamp(n, 1, 4);
  update();
}

void TToolSpeedButton::SetFlat(bool flat) {
  FFlat = flat;
  update();
}

QPixmap TToolSpeedButton::StateGlyph() const {
  if (FGlyph.isNull()) return {};
  const int w = FGlyph.width() / FNumGlyphs;
  int index = 0;  // up
  if (!isEnabled())
    index = 1;
  else if (isDown())
    index = 2;
  else if (isChecked())
    index = 3;
  if (index < FNumGlyphs) return FGlyph.copy(index * w, 0, w, FGlyph.height());
  QPixmap up = FGlyph.copy(0, 0, w, FGlyph.height());
  if (index != 1) return up;
  // Disabled without an image of its own: the glyph greyed out by the style.
  QStyleOption opt;
  opt.initFrom(this);
  return style()->generatedIconPixmap(QIcon::Disabled, up, &opt);
}

void TToolSpeedButton::paintEvent(QPaintEvent*) {
  QPainter p(this);
  const bool pressed = isDown() || isChecked();
  if (!FFlat || pressed || underMouse()) {
    QStyleOptionButton opt;
    opt.initFrom(this);
    opt.state |= pressed ? QStyle::State_Sunken : QStyle::State_Raised;
    style()->drawPrimitive(QStyle::PE_PanelButtonTool, &opt, &p, this);
  }
  const QPixmap glyph = StateGlyph();
  if (!glyph.isNull()) {
    // Centred; pressed moves it one pixel down and right, as a pushed key does.
    const int dx = (width() - glyph.width()) / 2 + (pressed ? 1 : 0);
    const int dy = (height() - glyph.height()) / 2 + (pressed ? 1 : 0);
    p.drawPixmap(dx, dy, glyph);
  }
}
