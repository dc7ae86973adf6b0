#include "controls/ColorPickerButton.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QScreen>
#include <QStyle>
#include <QStyleOption>
#include <QToolTip>
#include <algorithm>
#include <cmath>

#include "controls/SpeedCtrls.h"

namespace {

QString Q(const std::string& s) { return QString::fromStdString(s); }

// The accelerator of a caption: the character after a single '&'.
QChar Accelerator(const std::string& text) {
  for (size_t i = 0; i + 1 < text.size(); ++i) {
    if (text[i] != '&') continue;
    if (text[i + 1] == '&') {
      ++i;
      continue;
    }
    return QChar(text[i + 1]).toLower();
  }
  return QChar();
}

QString Caption(const std::string& text) {
  QString s = Q(text);
  s.replace("&&", QChar(0x1)).remove('&').replace(QChar(0x1), "&");
  return s;
}

constexpr int kCombSpacing = 9;  // pixels between neighbouring comb cell centres
constexpr int kHintTime = 5000;  // ms

}  // namespace

TColor ColorToRGB(TColor color) {
  if (!IsSystemColor(color)) return color & 0xFFFFFF;
  const QPalette pal = QApplication::palette();
  QColor c;
  switch (color & 0xFF) {
    case 0: c = pal.color(QPalette::Button); break;           // scroll bar
    case 1: c = pal.color(QPalette::Dark); break;             // background
    case 2: c = pal.color(QPalette::Highlight); break;        // active caption
    case 3: c = pal.color(QPalette::Mid); break;              // inactive caption
    case 4: c = pal.color(QPalette::Window); break;           // menu
    case 5: c = pal.color(QPalette::Base); break;             // window
    case 6: c = pal.color(QPalette::Shadow); break;           // window frame
    case 7: c = pal.color(QPalette::WindowText); break;       // menu text
    case 8: c = pal.color(QPalette::Text); break;             // window text
    case 9: c = pal.color(QPalette::HighlightedText); break;  // caption text
    case 10: c = pal.color(QPalette::Window); break;          // active border
    case 11: c = pal.color(QPalette::Window); break;          // inactive border
    case 12: c = pal.color(QPalette::Mid); break;             // application workspace
    case 13: c = pal.color(QPalette::Highlight); break;
    case 14: c = pal.color(QPalette::HighlightedText); break;
    case 15: c = pal.color(QPalette::Button); break;                    // button face
    case 16: c = pal.color(QPalette::Dark); break;                      // button shadow
    case 17: c = pal.color(QPalette::Disabled, QPalette::Text); break;  // gray text
    case 18: c = pal.color(QPalette::ButtonText); break;
    case 19: c = pal.color(QPalette::Disabled, QPalette::WindowText); break;  // inactive caption text
    case 20: c = pal.color(QPalette::Light); break;                           // button highlight
    case 21: c = pal.color(QPalette::Shadow); break;                          // 3D dark shadow
    case 22: c = pal.color(QPalette::Midlight); break;                        // 3D light
    case 23: c = pal.color(QPalette::ToolTipText); break;                     // info text
    case 24: c = pal.color(QPalette::ToolTipBase); break;                     // info background
    default: return clBlack;
  }
  return RGBColor(static_cast<uint8_t>(c.red()), static_cast<uint8_t>(c.green()), static_cast<uint8_t>(c.blue()));
}

QColor ToQColor(TColor color) {
  const TColor c = ColorToRGB(color);
  return QColor(GetRValue(c), GetGValue(c), GetBValue(c));
}

// ---- TColorPopup ----

TColorPopup::TColorPopup(TColorPickerButton* owner)
    : QWidget(nullptr, Qt::Popup | Qt::FramelessWindowHint), FOwner(owner) {
  setObjectName("ColorPopup");
  setMouseTracking(true);
  setAttribute(Qt::WA_DeleteOnClose, false);
  FMargin = std::max(1, style()->pixelMetric(QStyle::PM_DefaultFrameWidth));
  FColorComb = BuildColorComb();
  FGreyComb = BuildGreyComb();
  Relayout();
}

void TColorPopup::Relayout() {
  FCells.ShowSystemColors = FOwner->ShowSystemColors();
  FCells.HasDefault = !FOwner->DefaultText().empty();
  FCells.HasCustom = !FOwner->CustomText().empty();
  const int gridWidth = ColorColumns * CellSize;
  const QFontMetrics fm(QApplication::font());
  const int textHeight = std::max(fm.boundingRect(Caption(FOwner->DefaultText())).height(),
                                  fm.boundingRect(Caption(FOwner->CustomText())).height()) +
                         2 * FMargin + 4;
  const int spacing = FOwner->PopupSpacing();
  int y = FMargin;
  FDefaultRect = QRect();
  if (FCells.HasDefault) {
    FDefaultRect = QRect(FMargin, y, gridWidth, textHeight);
    y += textHeight + spacing / 2;
  }
  FGridRect = QRect(FMargin, y, gridWidth, FCells.Rows() * CellSize);
  y += FGridRect.height();
  FCustomRect = FCombRect = FIntensityRect = QRect();
  if (FCells.HasCustom) {
    y += spacing / 2;
    FCustomRect = QRect(FMargin, y, gridWidth, textHeight);
    y += textHeight;
    if (FCustomShown) {
      const int combHeight = 2 * ((CombLevels - 1) * kCombSpacing + kCombSpacing / 2) + 2;
      FCombRect = QRect(FMargin, y + 2, gridWidth - 16, combHeight + 16);
      FIntensityRect = QRect(FMargin + gridWidth - 12, y + 4, 10, combHeight);
      y += FCombRect.height() + 4;
    }
  }
  if (FSelected >= FCells.Count()) FSelected = NoCell;
  if ((FSelected == DefaultCell && !FCells.HasDefault) || (FSelected == CustomCell && !FCells.HasCustom))
    FSelected = NoCell;
  setFixedSize(gridWidth + 2 * FMargin, y + FMargin);
  update();
}

QRect TColorPopup::CellRect(int cell) const {
  if (cell == DefaultCell) return FDefaultRect;
  if (cell == CustomCell) return FCustomRect;
  if (cell < 0 || cell >= FCells.Count()) return QRect();
  return QRect(FGridRect.left() + (cell % ColorColumns) * CellSize, FGridRect.top() + (cell / ColorColumns) * CellSize,
               CellSize, CellSize);
}

int TColorPopup::CellAt(QPoint p) const {
  if (FDefaultRect.contains(p)) return DefaultCell;
  if (FCustomRect.contains(p)) return CustomCell;
  if (!FGridRect.contains(p)) return NoCell;
  const int cell = (p.y() - FGridRect.top()) / CellSize * ColorColumns + (p.x() - FGridRect.left()) / CellSize;
  return cell < FCells.Count() ? cell : NoCell;
}

QPointF TColorPopup::ColorCombCentre(int i) const {
  const QPointF centre(FCombRect.left() + FCombRect.width() / 2.0,
                       FCombRect.top() + 2 + (CombLevels - 1) * kCombSpacing + kCombSpacing / 2.0);
  return centre + QPointF(FColorComb[i].X, FColorComb[i].Y) * kCombSpacing;
}

QRect TColorPopup::GreyCombRect(int i) const {
  const int w = FCombRect.width() / static_cast<int>(FGreyComb.size());
  const int h = (i % 2) ? 10 : 14;  // the cells alternate between two heights
  return QRect(FCombRect.left() + i * w, FCombRect.bottom() - h, w, h);
}

int TColorPopup::CombCellAt(QPoint p) const {
  if (!FCustomShown) return 0;
  for (size_t i = 0; i < FGreyComb.size(); ++i)
    if (GreyCombRect(static_cast<int>(i)).contains(p)) return static_cast<int>(i) + 1;
  int best = -1;
  double bestDist = kCombSpacing * kCombSpacing / 3.0;  // inside the cell's inner circle
  for (size_t i = 0; i < FColorComb.size(); ++i) {
    const QPointF d = ColorCombCentre(static_cast<int>(i)) - QPointF(p);
    const double dist = d.x() * d.x() + d.y() * d.y();
    if (dist < bestDist) {
      bestDist = dist;
      best = static_cast<int>(i);
    }
  }
  return best >= 0 ? -(best + 1) : 0;
}

TColor TColorPopup::CustomColor() const {
  if (FCustomIndex < 0) return ScaleColor(FColorComb[-FCustomIndex - 1].Color, FIntensity);
  if (FCustomIndex > 0) return FGreyComb[FCustomIndex - 1].Color;
  return FOwner->SelectionColor();
}

void TColorPopup::SetIntensity(double v) {
  FIntensity = std::clamp(v, 0.0, 1.0);
  update();
}

void TColorPopup::SelectCell(int cell) {
  FSelected = cell;
  update();
}

void TColorPopup::SelectColor(TColor color) { SelectCell(FCells.Find(color)); }

void TColorPopup::ChooseCell(int cell) {
  if (cell == NoCell) return;
  if (cell == DefaultCell) {
    if (FOwner->OnDefaultSelect) FOwner->OnDefaultSelect(FOwner);
    close();
    return;
  }
  if (cell == CustomCell) {
    // The first choice opens the comb; once a comb colour is chosen the cell stands for it.
    if (!FCustomShown || FCustomIndex == 0) {
      FCustomShown = true;
      FSelected = CustomCell;
      Relayout();
      return;
    }
    FOwner->SetSelectionColor(CustomColor());
    close();
    return;
  }
  if (cell < 0 || cell >= FCells.Count()) return;
  FOwner->SetSelectionColor(ColorTable[cell].Value);
  close();
}

void TColorPopup::ChooseCombCell(bool colourComb, int i) {
  const int n = static_cast<int>(colourComb ? FColorComb.size() : FGreyComb.size());
  if (i < 0 || i >= n) return;
  FCustomIndex = colourComb ? -(i + 1) : i + 1;
  FCustomShown = true;
  FOwner->SetSelectionColor(CustomColor());
  close();
}

std::string TColorPopup::HintAt(QPoint p) const {
  const int cell = CellAt(p);
  if (cell >= 0) return ColorTable[cell].Name;
  if (cell == DefaultCell || cell == CustomCell) {
    std::string hint;
    if (FOwner->OnHint) FOwner->OnHint(FOwner, cell, hint);
    if (hint.empty()) hint = FOwner->toolTip().toStdString();
    return hint;
  }
  if (FIntensityRect.contains(p)) {
    return "Intensity: " + std::to_string(static_cast<int>(std::nearbyint(FIntensity * 100))) + "%";
  }
  if (const int comb = CombCellAt(p)) {
    const TColor c = comb < 0 ? ScaleColor(FColorComb[-comb - 1].Color, FIntensity) : FGreyComb[comb - 1].Color;
    return "red: " + std::to_string(GetRValue(c)) + ", green: " + std::to_string(GetGValue(c)) +
           ", blue: " + std::to_string(GetBValue(c));
  }
  return std::string();
}

void TColorPopup::paintEvent(QPaintEvent*) {
  QPainter p(this);
  const QPalette& pal = palette();
  p.fillRect(rect(), pal.color(QPalette::Window));
  p.setPen(pal.color(QPalette::Dark));
  p.drawRect(rect().adjusted(0, 0, -1, -1));
  auto frameCell = [&](const QRect& r, int cell) {
    if (cell == FSelected) {
      p.setPen(QPen(pal.color(QPalette::Highlight), 2));
      p.setBrush(Qt::NoBrush);
      p.drawRect(r.adjusted(1, 1, -1, -1));
    } else if (cell == FHover) {
      p.setPen(pal.color(QPalette::Dark));
      p.setBrush(Qt::NoBrush);
      p.drawRect(r.adjusted(0, 0, -1, -1));
    }
  };
  auto textCell = [&](const QRect& r, const std::string& text, int cell) {
    p.setPen(pal.color(QPalette::WindowText));
    p.drawText(r, Qt::AlignCenter | Qt::TextShowMnemonic, Q(text));
    frameCell(r, cell);
  };
  if (FCells.HasDefault) textCell(FDefaultRect, FOwner->DefaultText(), DefaultCell);
  for (int i = 0; i < FCells.Count(); ++i) {
    const QRect r = CellRect(i);
    p.setPen(pal.color(QPalette::Dark));
    p.setBrush(ToQColor(ColorTable[i].Value));
    p.drawRect(r.adjusted(3, 3, -4, -4));
    frameCell(r, i);
  }
  if (!FCells.HasCustom) return;
  textCell(FCustomRect, FOwner->CustomText(), CustomCell);
  if (!FCustomShown) return;
  // Flat-topped hexagons, so that neighbours along the comb's corner directions share an edge.
  const double radius = kCombSpacing / std::sqrt(3.0);
  p.setRenderHint(QPainter::Antialiasing);
  for (size_t i = 0; i < FColorComb.size(); ++i) {
    QPainterPath hex;
    const QPointF c = ColorCombCentre(static_cast<int>(i));
    for (int k = 0; k < 6; ++k) {
      const double a = k * std::acos(-1.0) / 3.0;
      const QPointF pt = c + QPointF(std::cos(a), std::sin(a)) * radius;
      k ? hex.lineTo(pt) : hex.moveTo(pt);
    }
    hex.closeSubpath();
    p.fillPath(hex, ToQColor(ScaleColor(FColorComb[i].Color, FIntensity)));
    if (FCustomIndex == -static_cast<int>(i) - 1) p.strokePath(hex, QPen(Qt::black, 1.5));
  }
  p.setRenderHint(QPainter::Antialiasing, false);
  for (size_t i = 0; i < FGreyComb.size(); ++i) {
    const QRect r = GreyCombRect(static_cast<int>(i));
    p.fillRect(r, ToQColor(FGreyComb[i].Color));
    if (FCustomIndex == static_cast<int>(i) + 1) {
      p.setPen(Qt::red);
      p.setBrush(Qt::NoBrush);
      p.drawRect(r.adjusted(0, 0, -1, -1));
    }
  }
  // The intensity bar: dark at the bottom, full at the top, a mark at the current level.
  QLinearGradient g(FIntensityRect.topLeft(), FIntensityRect.bottomLeft());
  g.setColorAt(0, Qt::white);
  g.setColorAt(1, Qt::black);
  p.fillRect(FIntensityRect, g);
  const int markY = FIntensityRect.bottom() - static_cast<int>(FIntensity * (FIntensityRect.height() - 1));
  p.setPen(Qt::red);
  p.drawLine(FIntensityRect.left() - 2, markY, FIntensityRect.right() + 2, markY);
}

void TColorPopup::mouseMoveEvent(QMouseEvent* event) {
  const QPoint pos = event->position().toPoint();
  const int cell = CellAt(pos);
  if (cell != FHover) {
    FHover = cell;
    update();
  }
  if (event->buttons() & Qt::LeftButton && FIntensityRect.contains(pos))
    SetIntensity(1.0 - double(pos.y() - FIntensityRect.top()) / std::max(1, FIntensityRect.height() - 1));
  const std::string hint = HintAt(pos);
  if (hint.empty())
    QToolTip::hideText();
  else
    QToolTip::showText(event->globalPosition().toPoint(), Q(hint), this, QRect(), kHintTime);
}

void TColorPopup::mousePressEvent(QMouseEvent* event) {
  event->accept();
  const QPoint pos = event->position().toPoint();
  if (rect().contains(pos)) return;
  // A press on the button that opened us only closes: replayed there it would open again.
  // Anywhere else it goes on to the control under the mouse.
  setAttribute(Qt::WA_NoMouseReplay, FOwner->rect().contains(FOwner->mapFromGlobal(event->globalPosition().toPoint())));
  close();
}

void TColorPopup::mouseReleaseEvent(QMouseEvent* event) {
  const QPoint pos = event->position().toPoint();
  // A release outside is the end of the press that opened us (a plain click on the arrow) or
  // of a drag out of the pop-up: it stays open. A later click outside closes it on its press.
  if (!rect().contains(pos)) return;
  if (FIntensityRect.contains(pos)) {
    SetIntensity(1.0 - double(pos.y() - FIntensityRect.top()) / std::max(1, FIntensityRect.height() - 1));
    return;
  }
  if (const int comb = CombCellAt(pos)) {
    ChooseCombCell(comb < 0, comb < 0 ? -comb - 1 : comb - 1);
    return;
  }
  ChooseCell(CellAt(pos));
}

void TColorPopup::keyPressEvent(QKeyEvent* event) {
  switch (event->key()) {
    case Qt::Key_Left: SelectCell(MoveCell(FCells, FSelected, cmLeft)); return;
    case Qt::Key_Right: SelectCell(MoveCell(FCells, FSelected, cmRight)); return;
    case Qt::Key_Up: SelectCell(MoveCell(FCells, FSelected, cmUp)); return;
    case Qt::Key_Down: SelectCell(MoveCell(FCells, FSelected, cmDown)); return;
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Space: ChooseCell(FSelected); return;
    case Qt::Key_Escape: close(); return;
    default: break;
  }
  const QChar accel = Accelerator(FOwner->DefaultText());
  if (FCells.HasDefault && !accel.isNull() && event->text().size() == 1 && event->text()[0].toLower() == accel) {
    ChooseCell(DefaultCell);
    return;
  }
  QWidget::keyPressEvent(event);
}

void TColorPopup::closeEvent(QCloseEvent* event) {
  // Every way of closing (a chosen cell, Escape, a click outside, Qt closing its pop-ups)
  // comes here, so the owner is asked once whichever it was.
  bool allowed = true;
  if (isVisible() && FOwner->OnDropChanging) FOwner->OnDropChanging(FOwner, allowed);
  if (!allowed) {
    event->ignore();
    return;
  }
  QWidget::closeEvent(event);
}

void TColorPopup::hideEvent(QHideEvent* event) {
  QWidget::hideEvent(event);
  QToolTip::hideText();
  FOwner->PopupClosed();
}

// ---- TColorPickerButton ----

TColorPickerButton::TColorPickerButton(QWidget* parent) : QWidget(parent) {
  resize(45, 22);
  setMouseTracking(true);
  FPopup = new TColorPopup(this);
}

TColorPickerButton::~TColorPickerButton() {
  // Hiding an open pop-up reports to the owner: no handler of a window going away may hear it.
  OnDropChanged = nullptr;
  delete FPopup;
}

void TColorPickerButton::SetSelectionColor(TColor color) {
  if (color == FSelectionColor) return;
  FSelectionColor = color;
  update();
  if (DroppedDown()) FPopup->SelectColor(color);
  if (OnChange) OnChange(this);
}

void TColorPickerButton::SetCustomText(const std::string& text) {
  FCustomText = text;
  FPopup->Relayout();
}

void TColorPickerButton::SetDefaultText(const std::string& text) {
  FDefaultText = text;
  FPopup->Relayout();
}

void TColorPickerButton::SetShowSystemColors(bool on) {
  FShowSystemColors = on;
  FPopup->Relayout();
}

void TColorPickerButton::SetPopupSpacing(int spacing) {
  FPopupSpacing = std::max(0, spacing);
  FPopup->Relayout();
}

bool TColorPickerButton::DroppedDown() const { return FPopup->isVisible(); }

void TColorPickerButton::SetDroppedDown(bool down) {
  if (down == DroppedDown()) return;
  if (!down) {
    FPopup->close();  // asks OnDropChanging; PopupClosed reports it
    return;
  }
  bool allowed = true;
  if (OnDropChanging) OnDropChanging(this, allowed);
  if (!allowed) return;
  FPopup->SelectColor(FSelectionColor);
  // Below the button, one pixel to its left; above it when the screen ends below; always
  // inside the screen horizontally.
  QPoint pos = mapToGlobal(QPoint(-1, height()));
  const QScreen* screen = this->screen();
  const QRect avail = screen ? screen->availableGeometry() : QRect(0, 0, 1 << 16, 1 << 16);
  const QSize size = FPopup->size();
  if (pos.y() + size.height() > avail.bottom() + 1) pos.setY(mapToGlobal(QPoint(0, 0)).y() - size.height());
  pos.setX(std::max(avail.left(), std::min(pos.x(), avail.right() + 1 - size.width())));
  pos.setX(std::max(0, pos.x()));
  FPopup->move(pos);
  FPopup->show();
  FPopup->raise();
  FPopup->setFocus();
  update();
  if (OnDropChanged) OnDropChanged(this);
}

void TColorPickerButton::PopupClosed() {
  update();
  if (OnDropChanged) OnDropChanged(this);
}

void TColorPickerButton::SetDown(bool down) {
  if (GroupIndex == 0) down = false;  // only a button of a group latches
  if (down == FDown) return;
  // The last down button of a group stays down unless the group may be all up.
  if (!down && GroupIndex != 0 && !AllowAllUp) return;
  FDown = down;
  if (FDown && GroupIndex != 0 && parentWidget()) {
    for (TColorPickerButton* b :
         parentWidget()->findChildren<TColorPickerButton*>(QString(), Qt::FindDirectChildrenOnly))
      if (b != this && b->GroupIndex == GroupIndex && b->FDown) {
        b->FDown = false;
        b->update();
      }
  }
  update();
}

void TColorPickerButton::paintEvent(QPaintEvent*) {
  QPainter p(this);
  const QPalette& pal = palette();
  const bool pressed = FPressed && FMouseInside;
  const bool down = pressed || FDown;
  QStyleOptionButton opt;
  opt.initFrom(this);
  opt.state |= (down || DroppedDown()) ? QStyle::State_Sunken : QStyle::State_Raised;
  if (!Flat || underMouse() || down) style()->drawPrimitive(QStyle::PE_PanelButtonTool, &opt, &p, this);
  const int arrowLeft = width() - DropDownWidth;
  // The colour indicator, in its frame: the whole face, or a bar under the glyph and caption.
  QRect ind(4, 4, arrowLeft - 8, height() - 8);
  if (!Glyph.isNull()) {
    const QPixmap image = GlyphImage(Glyph, NumGlyphs, !isEnabled() ? 1 : pressed ? 2 : FDown ? 3 : 0, this);
    const QString caption = Q(Caption);
    const QSize text = caption.isEmpty() ? QSize() : fontMetrics().size(Qt::TextShowMnemonic, caption);
    const QRect content(3, 2, arrowLeft - 6, height() - 10);
    const TButtonPlaces at =
        PlaceGlyphAndCaption({content.x(), content.y(), content.width(), content.height()}, image.width(),
                             image.height(), text.width(), text.height(), Layout, Margin, Spacing);
    const int shift = down ? 1 : 0;
    p.drawPixmap(at.Glyph.X + shift, at.Glyph.Y + shift, image);
    if (!caption.isEmpty()) {
      p.setPen(pal.color(isEnabled() ? QPalette::ButtonText : QPalette::Mid));
      p.drawText(QRect(at.Caption.X + shift, at.Caption.Y + shift, at.Caption.W, at.Caption.H),
                 Qt::AlignCenter | Qt::TextShowMnemonic, caption);
    }
    ind = QRect(4, height() - 7, arrowLeft - 8, 4);
  }
  if (down) ind.translate(1, 1);
  p.fillRect(ind, isEnabled() ? ToQColor(FSelectionColor) : pal.color(QPalette::Mid));
  switch (IndicatorBorder) {
    case ibNone: break;
    case ibFlat:
      p.setPen(pal.color(QPalette::Dark));
      p.drawRect(ind.adjusted(0, 0, -1, -1));
      break;
    case ibSunken:
    case ibRaised: {
      const QColor a = pal.color(IndicatorBorder == ibSunken ? QPalette::Dark : QPalette::Light);
      const QColor b = pal.color(IndicatorBorder == ibSunken ? QPalette::Light : QPalette::Dark);
      p.setPen(a);
      p.drawLine(ind.topLeft(), ind.topRight());
      p.drawLine(ind.topLeft(), ind.bottomLeft());
      p.setPen(b);
      p.drawLine(ind.bottomLeft(), ind.bottomRight());
      p.drawLine(ind.topRight(), ind.bottomRight());
      break;
    }
  }
  // Separator and arrow.
  p.setPen(pal.color(QPalette::Dark));
  p.drawLine(arrowLeft, 3, arrowLeft, height() - 4);
  p.setPen(pal.color(QPalette::Light));
  p.drawLine(arrowLeft + 1, 3, arrowLeft + 1, height() - 4);
  const int cx = arrowLeft + DropDownWidth / 2 + 1, cy = height() / 2;
  QPolygon arrow({QPoint(cx - 3, cy - 1), QPoint(cx + 3, cy - 1), QPoint(cx, cy + 2)});
  p.setPen(isEnabled() ? DropDownArrowColor : pal.color(QPalette::Mid));
  p.setBrush(isEnabled() ? DropDownArrowColor : pal.color(QPalette::Mid));
  p.drawPolygon(arrow);
}

void TColorPickerButton::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton || !isEnabled()) return;
  if (event->position().x() >= width() - DropDownWidth) {
    if (!DroppedDown()) SetDroppedDown(true);
    return;
  }
  FPressed = FMouseInside = true;
  update();
}

void TColorPickerButton::mouseMoveEvent(QMouseEvent* event) {
  if (!FPressed) return;
  const bool inside = rect().contains(event->position().toPoint());
  if (inside != FMouseInside) {
    FMouseInside = inside;
    update();
  }
}

void TColorPickerButton::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton || !FPressed) return;
  FPressed = false;
  update();
  if (!rect().contains(event->position().toPoint())) return;
  if (GroupIndex != 0) SetDown(!FDown);
  if (OnClick) OnClick(this);
}
