#include "preview/SectionTextures.h"

#include <algorithm>

#include "imaging/ColorReduction.h"
#include "model/system2.h"
#include "platform/Paths.h"

TObjetoTextura* SearchTexture(const TPreviewSection* section, const std::string& text) {
  if (!section) return nullptr;
  for (const TPreviewTexture& t : section->Textures)
    if (t.Text.compare(0, text.size(), text) == 0) return t.Texture;
  return nullptr;
}

namespace {
void AddOnce(std::vector<std::string>& items, const std::string& text) {
  if (IndexOfItem(items, text) < 0) items.push_back(text);
}
}  // namespace

std::vector<std::string> TeamItems(const TPreviewSkin* skin) {
  std::vector<std::string> items;
  if (!skin) return items;
  items.push_back("< Default >");
  for (const TPreviewSection& s : skin->Sections)
    for (const TPreviewTexture& t : s.Textures)
      if (t.Text.find(" Team>") != std::string::npos) AddOnce(items, t.Text);
  return items;
}

std::vector<std::string> FaceItems(const TPreviewSkin* skin) {
  std::vector<std::string> items;
  if (!skin) return items;
  for (const TPreviewSection& s : skin->Sections)
    for (const TPreviewTexture& t : s.Textures)
      if (t.Texture && !t.Texture->Description.empty()) AddOnce(items, t.Texture->Description);
  return items;
}

int IndexOfItem(const std::vector<std::string>& items, const std::string& text) {
  for (size_t i = 0; i < items.size(); ++i)
    if (items[i] == text) return static_cast<int>(i);
  return -1;
}

std::string PreviewWireFile(const std::string& modelKey, int section) {
  const std::string file = GetToken(modelKey, '|', 0);
  return ToNativePath(ChangeFileExt(file, "Wire" + std::to_string(section) + ".bmp"));
}

TSlotChoices ChooseSectionTextures(const TModelo& model, const std::string& modelKey,
                                   const TTextureSelection& selection) {
  TSlotChoices slots;
  for (int i = 0; i < model.PartCount(); ++i) {
    const TModeloPart* part = model.Part(i);
    const int n = part->Section();
    // Section numbers come from the extension file; one outside the eight slots has no actor.
    if (n < 1 || n > MaxModelSections) continue;
    TSlotChoice& slot = slots[static_cast<size_t>(n - 1)];
    slot = TSlotChoice();
    slot.Talk = (part->Flags & mpTALKTEXTURE) != 0;
    if (!slot.Talk) slot.WireFile = PreviewWireFile(modelKey, n);

    const TPreviewSection* section = nullptr;
    if (selection.Skin)
      for (const TPreviewSection& s : selection.Skin->Sections)
        if (s.SectionNumber == n) {
          section = &s;
          break;
        }
    TObjetoTextura* texture = nullptr;
    if ((part->Flags & mpTEAM) && selection.TeamIndex > 0) texture = SearchTexture(section, selection.TeamText);
    if (!texture && (part->Flags & mpFACE) && selection.FaceChosen)
      texture = SearchTexture(section, selection.FaceText);
    if (!texture) texture = SearchTexture(section, "< Default >");
    slot.Texture = texture;
    slot.Masked = (part->Flags & mpMASKED) != 0;
    slot.Used = true;
  }
  return slots;
}

// A picture with a palette is taken as it is; any other is reduced to palette (a null palette
// gives what the reduction gives for none). The source is never changed.
TSlotPicture SlotPictureOf(const TBitmap& source, const HPALETTE& palette) {
  TSlotPicture picture;
  if (IsPaletteFormat(source.PixelFormat())) {
    picture.Bitmap = std::make_shared<TBitmap>(source);
    picture.Paletted = true;
  } else {
    // A 32-bit (or 16-bit) picture has no palette of its own either: it is reduced like a
    // 24-bit one. The reduction converts its argument to 24 bits, hence the copy.
    TBitmap copy(source);
    picture.Bitmap =
        ReduceBitmapColors(copy, TReductionMethod::rdCustomPalette, TDitherKind::dtFloydSteinberg, 8, palette);
  }
  // Without a palette to reduce to (a true-colour wire bitmap) the reduction gives an empty
  // bitmap: there is nothing to show, and the section is drawn in lines.
  picture.Textured = picture.Bitmap && !picture.Bitmap->Empty();
  return picture;
}

namespace {
// The bitmap a slot's picture is made from and the palette to reduce it to; null when the slot
// shows no picture. A wire bitmap is read into wire.
const TBitmap* SourceOf(const TSlotChoice& choice, TBitmap& wire, HPALETTE& palette) {
  if (!choice.Used) return nullptr;
  if (choice.Texture) {
    palette = choice.Texture->Palette;
    const TBitmap* b = choice.Texture->Bitmap.get();
    return b && !b->Empty() ? b : nullptr;
  }
  if (choice.WireFile.empty()) return nullptr;
  const std::string file = ResolveCaseInsensitive(choice.WireFile);
  // A model without wire bitmaps is normal: its sections are drawn in lines.
  if (!FileExists(file)) return nullptr;
  wire.LoadFromFile(file);
  palette.reset();
  return &wire;
}
}  // namespace

TSlotPicture MakeSlotPicture(const TSlotChoice& choice) {
  TBitmap wire;
  HPALETTE palette;
  const TBitmap* source = SourceOf(choice, wire, palette);
  return source ? SlotPictureOf(*source, palette) : TSlotPicture();
}

TSlotPictures MakeSlotPictures(const TSlotChoices& choices) {
  TSlotPictures pictures;
  for (size_t i = 0; i < choices.size(); ++i) pictures[i] = MakeSlotPicture(choices[i]);
  return pictures;
}

TSlotPictures TSlotPictureCache::Make(const TSlotChoices& choices) {
  TSlotPictures pictures;
  for (size_t i = 0; i < choices.size(); ++i) {
    TBitmap wire;
    HPALETTE palette;
    const TBitmap* source = SourceOf(choices[i], wire, palette);
    std::unique_ptr<TPreparedPicture>& entry = FEntries[i];
    if (!source) {
      entry.reset();
      continue;
    }
    if (!entry || entry->Palette != palette || !entry->Source.SameAs(*source)) {
      const auto offered = std::find_if(FOffered.begin(), FOffered.end(), [&](const TPreparedPicture& p) {
        return p.Palette == palette && p.Source.SameAs(*source);
      });
      if (offered != FOffered.end())
        entry = std::make_unique<TPreparedPicture>(std::move(*offered));
      else
        entry = std::make_unique<TPreparedPicture>(TPreparedPicture{*source, palette, SlotPictureOf(*source, palette)});
    }
    pictures[i] = entry->Picture;
  }
  FOffered.clear();
  return pictures;
}

void TSlotPictureCache::Offer(std::vector<TPreparedPicture> prepared) { FOffered = std::move(prepared); }

void TSlotPictureCache::Clear() {
  for (auto& e : FEntries) e.reset();
  FOffered.clear();
}

TSlotMaterial SlotMaterial(const TSlotChoice& choice, const TSlotPicture& picture, bool meshHasNormals,
                           bool maskingEnabled) {
  TSlotMaterial m;  // lines on both faces, no texture, opaque
  if (choice.Talk || !choice.Used || !picture.Textured) return m;
  m.FrontFilled = true;
  m.BackFilled = !meshHasNormals;
  m.TextureEnabled = true;
  if (choice.Masked && picture.Paletted && maskingEnabled) {
    HPALETTE pal = picture.Bitmap->Palette();
    // A paletted bitmap without a colour table shows the format's default colours.
    if (PaletteEntryCount(pal) == 0) pal = DefaultPalette(picture.Bitmap->PixelFormat());
    if (PaletteEntryCount(pal) > 0) {
      const TPaletteEntry& e = pal->Entries[0];
      m.TransparentColor = {e.peRed / 255.0f, e.peGreen / 255.0f, e.peBlue / 255.0f, 1};
    }
    m.Transparent = true;
    m.DrawLast = true;
  }
  return m;
}

int HUDSlot(const TModelo& model, const TSlotPictures& pictures) {
  const int n = model.TalkTextureIndex;
  if (n < 1 || n > MaxModelSections) return -1;
  return pictures[static_cast<size_t>(n - 1)].Textured ? n - 1 : -1;
}
