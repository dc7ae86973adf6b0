#include "scene/GLSpaceText.h"

#include <cctype>

#include "platform/Exceptions.h"
#include "platform/ScopeGuard.h"
#include "scene/OpenGL12.h"

namespace {

TGlyphOutlineSource& Source() {
  static TGlyphOutlineSource source;
  return source;
}

bool InRange(TSpaceTextCharRange range, uint8_t c) {
  switch (range) {
    case stcrNumbers: return c >= '0' && c <= '9';
    case stcrAlphaNum: return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
    default: return true;
  }
}

// The front face at z = 0, the back face at -extrusion and the sides between the two.
void BuildGlyph(const TGlyphOutline& g, float extrusion) {
  if (!g.Contours.empty()) {
    const TAffineVector front{0, 0, 1};
    RenderTesselatedContours(g.Contours, false, &front, GLU_TESS_WINDING_ODD);
    if (extrusion > 0) {
      GL.glPushMatrix();
      GL.glTranslatef(0, 0, -extrusion);
      const TAffineVector back{0, 0, -1};
      RenderTesselatedContours(g.Contours, false, &back, GLU_TESS_WINDING_ODD);
      GL.glPopMatrix();
      for (const auto& contour : g.Contours) {
        GL.glBegin(GL_QUAD_STRIP);
        for (size_t i = 0; i <= contour.size(); ++i) {
          const TAffineVector& p = contour[i % contour.size()];
          const TAffineVector& q = contour[(i + 1) % contour.size()];
          TAffineVector n{q[1] - p[1], p[0] - q[0], 0};
          NormalizeVector(n);
          GL.glNormal3fv(n.data());
          GL.glVertex3f(p[0], p[1], 0);
          GL.glVertex3f(p[0], p[1], -extrusion);
        }
        GL.glEnd();
      }
    }
  }
  GL.glTranslatef(g.Advance, 0, 0);
}

}  // namespace

void SetGlyphOutlineSource(TGlyphOutlineSource source) { Source() = std::move(source); }

TFontManager& FontManager() {
  static TFontManager manager;
  return manager;
}

uint32_t TFontManager::GetFontBase(const TSpaceTextFont& font, float extrusion, TSpaceTextCharRange range,
                                   float deviation) {
  for (auto it = FSets.begin(); it != FSets.end(); ++it) {
    if (!(it->Font == font && it->Extrusion == extrusion && it->Range == range && it->Deviation == deviation)) continue;
    if (it->Generation == SharedNamesGeneration()) {
      ++it->Users;
      return it->First - 1;
    }
    FSets.erase(it);  // its lists died with the contexts: made again below
    break;
  }
  // Every outline first, so a font that cannot be made leaves no lists behind.
  std::vector<TGlyphOutline> glyphs(255);
  if (!Source()) throw EOutOfResources("FontManager: font creation failed");
  for (int c = 1; c <= 255; ++c)
    if (InRange(range, static_cast<uint8_t>(c)) &&
        !Source()(font, static_cast<uint8_t>(c), deviation, glyphs[static_cast<size_t>(c - 1)]))
      throw EOutOfResources("FontManager: font creation failed");
  const GLuint first = GL.glGenLists(255);
  if (first == 0) throw EOutOfResources("FontManager: no more display lists available");
  TScopeGuard freeLists([first] { GL.glDeleteLists(first, 255); });
  for (int c = 1; c <= 255; ++c) {
    GL.glNewList(first + static_cast<GLuint>(c - 1), GL_COMPILE);
    TScopeGuard end([] { GL.glEndList(); });
    BuildGlyph(glyphs[static_cast<size_t>(c - 1)], extrusion);
  }
  freeLists.Dismiss();
  FSets.push_back({font, extrusion, deviation, range, first, SharedNamesGeneration(), 1});
  return first - 1;
}

void TFontManager::Release(const TSpaceTextFont& font, float extrusion, TSpaceTextCharRange range, float deviation) {
  for (auto it = FSets.begin(); it != FSets.end(); ++it) {
    if (!(it->Font == font && it->Extrusion == extrusion && it->Range == range && it->Deviation == deviation)) continue;
    if (--it->Users > 0) return;
    if (it->Generation == SharedNamesGeneration() && CurrentRC()) GL.glDeleteLists(it->First, 255);
    FSets.erase(it);
    return;
  }
}

// --- the text object

TSpaceText::TSpaceText(TComponent* owner) : TGLSceneObject(owner) { FObjectStyle |= osDirectDraw; }

TSpaceText::~TSpaceText() { ReleaseFont(); }

void TSpaceText::ReleaseFont() {
  if (!FHasFont) return;
  FHasFont = false;
  FontManager().Release(FUsedFont, FUsedExtrusion, FUsedRange, FUsedDeviation);
}

void TSpaceText::SetText(const std::string& v) {
  if (v == FText) return;
  FText = v;
  StructureChanged();
}

void TSpaceText::SetFont(const TSpaceTextFont& v) {
  if (v == FFont) return;
  FFont = v;
  StructureChanged();
}

void TSpaceText::SetExtrusion(float v) {
  if (v == FExtrusion) return;
  FExtrusion = v;
  StructureChanged();
}

void TSpaceText::SetAllowedDeviation(float v) {
  if (v == FAllowedDeviation) return;
  FAllowedDeviation = v;
  StructureChanged();
}

void TSpaceText::SetCharacterRange(TSpaceTextCharRange v) {
  if (v == FCharacterRange) return;
  FCharacterRange = v;
  StructureChanged();
}

void TSpaceText::BuildList(TRenderContextInfo&) {
  if (FText.empty()) return;
  // The new use is taken before the old one is given back, so an unchanged set is kept.
  const uint32_t base = FontManager().GetFontBase(FFont, FExtrusion, FCharacterRange, FAllowedDeviation);
  ReleaseFont();
  FHasFont = true;
  FUsedFont = FFont;
  FUsedExtrusion = FExtrusion;
  FUsedRange = FCharacterRange;
  FUsedDeviation = FAllowedDeviation;
  GL.glPushAttrib(GL_LIST_BIT | GL_POLYGON_BIT);
  TScopeGuard pop([] { GL.glPopAttrib(); });
  GL.glListBase(base);
  GL.glCallLists(static_cast<GLsizei>(FText.size()), GL_UNSIGNED_BYTE, FText.data());
}

void TSpaceText::DestroyHandle(bool glsOnly) {
  ReleaseFont();
  TGLSceneObject::DestroyHandle(glsOnly);
}
