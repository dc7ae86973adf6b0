#include "editor/PaletteGroups.h"

#include "imaging/ColorQuantizer.h"

namespace {

// The palette of an 8-bit texture exactly as its file gives it, 256 entries: a short colour
// table is padded with black, so the package always gets a whole palette.
HPALETTE OwnPalette(const TBitmap& bmp) {
  std::vector<TPaletteEntry> entries(256);
  if (const HPALETTE& pal = bmp.Palette()) {
    size_t n = std::min<size_t>(pal->Entries.size(), 256);
    for (size_t i = 0; i < n; ++i) entries[i] = pal->Entries[i];
  }
  for (TPaletteEntry& e : entries) e.peFlags = 0;
  return CreatePalette(std::move(entries));
}

struct TGroup {
  std::vector<TObjetoTextura*> Textures;
};

}  // namespace

TPaletteMode PaletteModeFromIndex(int index) {
  return (index >= 0 && index <= 2) ? static_cast<TPaletteMode>(index) : pmPerTexture;
}

void BuildPalettes(TSkinTree& tree, TPaletteMode mode) {
  std::vector<TGroup> groups;
  int current = -1;
  for (TSkinNode* node : tree.Nodes()) {
    int level = node->Level();
    if (level == 1 && mode == pmPerSkin) {
      // The skin's textures form a new group; a skin without textures makes none.
      current = -1;
      continue;
    }
    if (level != 3 || !node->Texture || !node->Texture->Bitmap) continue;
    TObjetoTextura* t = node->Texture.get();
    bool own = mode == pmPerTexture || t->Bitmap->PixelFormat() == TPixelFormat::pf8bit;
    if (own) {
      groups.push_back({{t}});
      continue;
    }
    if (current < 0) {
      groups.push_back({});
      current = static_cast<int>(groups.size()) - 1;
    }
    groups[current].Textures.push_back(t);
  }

  // Build every new palette first: when the quantizer fails, the textures keep their palettes.
  std::vector<HPALETTE> palettes;
  palettes.reserve(groups.size());
  for (const TGroup& g : groups) {
    const TBitmap& first = *g.Textures.front()->Bitmap;
    if (g.Textures.size() == 1 && first.PixelFormat() == TPixelFormat::pf8bit) {
      palettes.push_back(OwnPalette(first));
      continue;
    }
    // The quantizer turns its bitmaps into 24 bits in place: a 24-bit texture is read as it
    // is, any other format through a copy.
    std::vector<TBitmap> copies;
    copies.reserve(g.Textures.size());
    std::vector<TBitmap*> list;
    for (TObjetoTextura* t : g.Textures) {
      if (t->Bitmap->PixelFormat() == TPixelFormat::pf24bit) {
        list.push_back(t->Bitmap.get());
      } else {
        copies.push_back(*t->Bitmap);
        list.push_back(&copies.back());
      }
    }
    palettes.push_back(QuantizeBitmapListPalette(list, 256, 8, false));
  }

  // The previous build's palettes go now: each texture drops its reference and the tree its
  // list, so every old handle is released once.
  for (TSkinNode* node : tree.TextureNodes()) node->Texture->Palette.reset();
  for (size_t i = 0; i < groups.size(); ++i)
    for (TObjetoTextura* t : groups[i].Textures) t->Palette = palettes[i];
  tree.SetGroupPalettes(std::move(palettes));
}
