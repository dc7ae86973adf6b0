#pragma once
// Which picture each of the eight section actors of the preview wears, decided without any
// scene or window: the chosen skin's team texture, else its face texture, else its default
// texture, else the section's wire bitmap; how that picture is reduced to the palette the
// package will hold; and what the actor's material must do with it.
#include <array>
#include <memory>
#include <string>
#include <vector>

#include "model/crvn_struc.h"
#include "platform/Bitmap.h"
#include "model/Geometry.h"

// The preview's view of the project's skins, in tree order, built from the skin tree for each
// use; the textures are borrowed.
struct TPreviewTexture {
  std::string Text;  // the texture node's text ("< Default >", "<Red Team>", a face's name)
  TObjetoTextura* Texture = nullptr;
};
struct TPreviewSection {
  int SectionNumber = 0;
  std::vector<TPreviewTexture> Textures;
};
struct TPreviewSkin {
  std::string Text;
  std::vector<TPreviewSection> Sections;
};

// The three combos and the masking check box of the preview panel.
struct TTextureSelection {
  const TPreviewSkin* Skin = nullptr;  // none chosen
  int TeamIndex = -1;                  // 0 is "< Default >"
  std::string TeamText;
  bool FaceChosen = false;
  std::string FaceText;
  bool MaskingEnabled = true;
};

// The texture of the first texture of section whose text begins with text; null when there
// is no section or no texture matches.
TObjetoTextura* SearchTexture(const TPreviewSection* section, const std::string& text);

// The combo lists of a skin (empty without a skin): "< Default >" and every texture text that
// holds " Team>"; every non-empty face description. Each text once, in tree order.
std::vector<std::string> TeamItems(const TPreviewSkin* skin);
std::vector<std::string> FaceItems(const TPreviewSkin* skin);
// Index of the item with exactly that text, or -1.
int IndexOfItem(const std::vector<std::string>& items, const std::string& text);

// The wire bitmap the preview reads for section n: the model extension file of modelKey
// ("file|section") with its extension replaced by "Wire" + n + ".bmp" (a native path).
std::string PreviewWireFile(const std::string& modelKey, int section);

// The decision for one section slot (slot n - 1 for section n).
struct TSlotChoice {
  bool Used = false;                  // the model has this section
  bool Talk = false;                  // TALKTEXTURE: drawn in lines, its picture goes to the head-up sprite
  bool Masked = false;                // MASKED
  TObjetoTextura* Texture = nullptr;  // the chosen texture, or null
  std::string WireFile;               // read when there is no texture; empty for talk sections
};
using TSlotChoices = std::array<TSlotChoice, MaxModelSections>;

TSlotChoices ChooseSectionTextures(const TModelo& model, const std::string& modelKey,
                                   const TTextureSelection& selection);

// The picture of one slot as the actor receives it (shared with the cache below).
struct TSlotPicture {
  std::shared_ptr<const TBitmap> Bitmap;
  bool Textured = false;
  bool Paletted = false;  // copied as it was, so its own palette (entry 0 for masking) is valid
};

// A chosen texture with a palette is copied; any other is reduced to its palette group's
// palette (Floyd-Steinberg, 8 bits) without touching the texture. Without a texture the wire
// file is read: a missing file leaves the slot untextured (drawn in lines); an unreadable one
// raises the reader's error.
TSlotPicture MakeSlotPicture(const TSlotChoice& choice);
// The picture made from source with that palette, as above (source is not changed).
TSlotPicture SlotPictureOf(const TBitmap& source, const HPALETTE& palette);
using TSlotPictures = std::array<TSlotPicture, MaxModelSections>;
TSlotPictures MakeSlotPictures(const TSlotChoices& choices);

// The pictures of the last call, per slot: a source whose pixels and palette did not change
// since gives the same picture object again without being reduced again (a paint stroke changes
// one texture of eight, and the reduction is most of the work).
// A slot picture with the source pixels and palette it was made from.
struct TPreparedPicture {
  TBitmap Source;
  HPALETTE Palette;
  TSlotPicture Picture;
};
class TSlotPictureCache {
 public:
  TSlotPictures Make(const TSlotChoices& choices);
  // Pictures made elsewhere (off the window's thread, after a paint stroke): the next Make takes
  // one of them for a source of the same pixels and palette instead of reducing it again, and
  // drops the rest.
  void Offer(std::vector<TPreparedPicture> prepared);
  void Clear();

 private:
  std::array<std::unique_ptr<TPreparedPicture>, MaxModelSections> FEntries;
  std::vector<TPreparedPicture> FOffered;
};

// What an actor's material does with its slot. Faces that are not filled are drawn as lines;
// an opaque material has the default image alpha, a transparent one blends and makes the
// transparent colour see-through.
struct TSlotMaterial {
  bool FrontFilled = false;
  bool BackFilled = false;
  bool TextureEnabled = false;
  bool Transparent = false;
  TVector TransparentColor{0, 0, 0, 1};  // palette entry 0 of a transparent slot
  bool DrawLast = false;                 // masked: drawn after the other sections
};
TSlotMaterial SlotMaterial(const TSlotChoice& choice, const TSlotPicture& picture, bool meshHasNormals,
                           bool maskingEnabled);

// The slot whose picture the head-up sprite shows (the model's talk texture index, 1-based),
// or -1 when that slot is outside 1..8 or has no picture.
int HUDSlot(const TModelo& model, const TSlotPictures& pictures);
