#pragma once
// Extruded 3D text: each character of a font is a display list (front face, back face and the
// sides between them), made once per font, extrusion and character range by the font manager
// and shared by every text object that uses the same set.
//
// The glyph outlines come from a source the windowing layer installs (scene/widgets takes them
// from Qt's font engine); this library stays free of any font code.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "scene/SceneGraph.h"

struct TSpaceTextFont {
  std::string Name = "Arial";
  bool Bold = false, Italic = false;
  bool operator==(const TSpaceTextFont&) const = default;
};

// One character's outline in units of the font's height, baseline at y = 0: closed contours
// (filled by the odd winding rule) and the advance to the next character.
struct TGlyphOutline {
  std::vector<std::vector<TAffineVector>> Contours;
  float Advance = 0;
};
// Fills the outline of Latin-1 character ch; false when the font cannot be made.
using TGlyphOutlineSource =
    std::function<bool(const TSpaceTextFont& font, uint8_t ch, float allowedDeviation, TGlyphOutline& outline)>;
void SetGlyphOutlineSource(TGlyphOutlineSource source);

enum TSpaceTextCharRange : uint8_t { stcrAlphaNum, stcrNumbers, stcrAll };

// The display-list sets of the text objects, one per font, extrusion and character range.
class TFontManager {
 public:
  // The list base for the set (glListBase value: character c draws list base + c), made on
  // first use, with its user count raised. Raises "FontManager: no more display lists
  // available" or "FontManager: font creation failed".
  uint32_t GetFontBase(const TSpaceTextFont& font, float extrusion, TSpaceTextCharRange range, float deviation);
  // Lowers the user count; the set's lists are deleted when it reaches 0 (only forgotten
  // without a current context).
  void Release(const TSpaceTextFont& font, float extrusion, TSpaceTextCharRange range, float deviation);
  int SetCount() const { return static_cast<int>(FSets.size()); }
  // Every list is forgotten (the contexts that held them are gone).
  void ForgetAll() { FSets.clear(); }

 private:
  struct TSet {
    TSpaceTextFont Font;
    float Extrusion, Deviation;
    TSpaceTextCharRange Range;
    uint32_t First;  // the first of the 255 lists
    uint32_t Generation;
    int Users;
  };
  std::vector<TSet> FSets;
};
TFontManager& FontManager();

class TSpaceText : public TGLSceneObject {
 public:
  // Drawn directly: the character lists cannot be made while a list of its own is compiled.
  explicit TSpaceText(TComponent* owner = nullptr);
  ~TSpaceText() override;
  CORVANE_SCENE_CLASS(TSpaceText, TGLSceneObject)
  const std::string& Text() const { return FText; }
  void SetText(const std::string& v);
  const TSpaceTextFont& Font() const { return FFont; }
  void SetFont(const TSpaceTextFont& v);
  float Extrusion() const { return FExtrusion; }
  void SetExtrusion(float v);
  float AllowedDeviation() const { return FAllowedDeviation; }
  void SetAllowedDeviation(float v);
  TSpaceTextCharRange CharacterRange() const { return FCharacterRange; }
  void SetCharacterRange(TSpaceTextCharRange v);
  void BuildList(TRenderContextInfo& rci) override;
  void DestroyHandle(bool glsOnly) override;

 private:
  void ReleaseFont();
  std::string FText;
  TSpaceTextFont FFont;
  float FExtrusion = 0, FAllowedDeviation = 1;
  TSpaceTextCharRange FCharacterRange = stcrAll;
  bool FHasFont = false;  // holds a use of the manager's set for the values below
  TSpaceTextFont FUsedFont;
  float FUsedExtrusion = 0, FUsedDeviation = 0;
  TSpaceTextCharRange FUsedRange = stcrAll;
};
