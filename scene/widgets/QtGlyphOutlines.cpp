// Glyph outlines for extruded text from Qt's font engine: the character's path, flattened into
// polygons, in units of the font's height with y upwards.
#include <QFont>
#include <QFontMetricsF>
#include <QPainterPath>
#include <QTransform>

#include "scene/GLSpaceText.h"
#include "scene/widgets/GLSceneViewer.h"

namespace {

constexpr int kPixelSize = 100;  // the outline is measured at this size, then scaled to 1

bool QtGlyphOutline(const TSpaceTextFont& font, uint8_t ch, float, TGlyphOutline& out) {
  QFont f(QString::fromStdString(font.Name));
  f.setPixelSize(kPixelSize);
  f.setBold(font.Bold);
  f.setItalic(font.Italic);
  const QString text(QChar(static_cast<char16_t>(ch)));  // Latin-1
  QPainterPath path;
  path.addText(0, 0, f, text);
  const QTransform toUnits = QTransform::fromScale(1.0 / kPixelSize, -1.0 / kPixelSize);
  for (const QPolygonF& polygon : path.toSubpathPolygons(toUnits)) {
    std::vector<TAffineVector> contour;
    for (const QPointF& p : polygon) contour.push_back({float(p.x()), float(p.y()), 0});
    if (contour.size() > 1 && contour.front() == contour.back()) contour.pop_back();  // closed twice
    if (contour.size() >= 3) out.Contours.push_back(std::move(contour));
  }
  out.Advance = static_cast<float>(QFontMetricsF(f).horizontalAdvance(text) / kPixelSize);
  return true;
}

}  // namespace

void InstallQtGlyphOutlines() { SetGlyphOutlineSource(&QtGlyphOutline); }
