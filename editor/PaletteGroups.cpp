#include "editor/PaletteGroups.h"

#include <algorithm>

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

}  // namespace

TPaletteMode PaletteModeFromIndex(int index) {
  return (index >= 0 && index <= 2) ? static_cast<TPaletteMode>(index) : pmPerTexture;
}

std::vector<std::vector<TObjetoTextura*>> PaletteGroups(const TSkinTree& tree, TPaletteMode mode) {
  std::vector<std::vector<TObjetoTextura*>> groups;
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
      groups.push_back({t});
      continue;
    }
    if (current < 0) {
      groups.push_back({});
      current = static_cast<int>(groups.size()) - 1;
    }
    groups[static_cast<size_t>(current)].push_back(t);
  }
  return groups;
}

HPALETTE GroupPalette(const std::vector<const TBitmap*>& bitmaps) {
  if (bitmaps.size() == 1 && bitmaps.front()->PixelFormat() == TPixelFormat::pf8bit)
    return OwnPalette(*bitmaps.front());
  // The quantizer turns its bitmaps into 24 bits in place: a 24-bit bitmap is read as it is,
  // any other format through a copy.
  std::vector<TBitmap> copies;
  copies.reserve(bitmaps.size());
  std::vector<TBitmap*> list;
  for (const TBitmap* b : bitmaps) {
    if (b->PixelFormat() == TPixelFormat::pf24bit) {
      list.push_back(const_cast<TBitmap*>(b));
    } else {
      copies.push_back(*b);
      list.push_back(&copies.back());
    }
  }
  return QuantizeBitmapListPalette(list, 256, 8, false);
}

void KeepGroupPalettes(TSkinTree& tree) {
  std::vector<HPALETTE> palettes;
  for (TSkinNode* node : tree.TextureNodes())
    if (const HPALETTE& p = node->Texture->Palette;
        p && std::find(palettes.begin(), palettes.end(), p) == palettes.end())
      palettes.push_back(p);
  tree.SetGroupPalettes(std::move(palettes));
}

void BuildPalettes(TSkinTree& tree, TPaletteMode mode) {
  const std::vector<std::vector<TObjetoTextura*>> groups = PaletteGroups(tree, mode);
  // Build every new palette first: when the quantizer fails, the textures keep their palettes.
  std::vector<HPALETTE> palettes;
  palettes.reserve(groups.size());
  for (const std::vector<TObjetoTextura*>& g : groups) {
    std::vector<const TBitmap*> bitmaps;
    for (const TObjetoTextura* t : g) bitmaps.push_back(t->Bitmap.get());
    palettes.push_back(GroupPalette(bitmaps));
  }

  // The previous build's palettes go now: each texture drops its reference and the tree its
  // list, so every old handle is released once.
  for (TSkinNode* node : tree.TextureNodes()) node->Texture->Palette.reset();
  for (size_t i = 0; i < groups.size(); ++i)
    for (TObjetoTextura* t : groups[i]) t->Palette = palettes[i];
  tree.SetGroupPalettes(std::move(palettes));
}
