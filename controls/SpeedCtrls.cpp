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

QPixmap GlyphImage(const QPixmap& glyph, int numGlyphs, int state, const QWidget* w) {
  if (glyph.isNull()) return {};
  const int n = std::clamp(numGlyphs, 1, 4), width = glyph.width() / n;
  if (state < n) return glyph.copy(state * width, 0, width, glyph.height());
  QPixmap up = glyph.copy(0, 0, width, glyph.height());
  if (state != 1) return up;
  QStyleOption opt;
  opt.initFrom(w);
  return w->style()->generatedIconPixmap(QIcon::Disabled, up, &opt);
}

QPixmap TToolSpeedButton::StateGlyph() const {
  const int state = !isEnabled() ? 1 : isDown() ? 2 : isChecked() ? 3 : 0;
  return GlyphImage(FGlyph, FNumGlyphs, state, this);
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
