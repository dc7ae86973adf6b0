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

std::vector<TPaletteGroup> PaletteGroups(const TSkinTree& tree, TPaletteMode mode) {
  std::vector<TPaletteGroup> groups;
  int current = -1;
  for (TSkinNode* node : tree.Nodes()) {
    int level = node->Level();
    if (level == 1 && mode == pmPerSkin) {
      // The skin's textures form a new group; a skin without textures makes none.
      current = -1;
      continue;
    }
    if (level != 3 || !node->Texture || !node->Texture->Bitmap) continue;
    bool own = mode == pmPerTexture || node->Texture->Bitmap->PixelFormat() == TPixelFormat::pf8bit;
    if (own) {
      groups.push_back({node});
      continue;
    }
    if (current < 0) {
      groups.push_back({});
      current = static_cast<int>(groups.size()) - 1;
    }
    groups[static_cast<size_t>(current)].push_back(node);
  }
  return groups;
}

std::vector<TTextureStamp> GroupStamps(const TPaletteGroup& group) {
  std::vector<TTextureStamp> stamps;
  for (const TSkinNode* n : group) stamps.push_back(n->Stamp());
  return stamps;
}

std::vector<TPaletteGroup> StalePaletteGroups(const TSkinTree& tree, TPaletteMode mode) {
  std::vector<TPaletteGroup> stale;
  for (TPaletteGroup& g : PaletteGroups(tree, mode))
    if (!tree.PaletteCurrent(g)) stale.push_back(std::move(g));
  return stale;
}

HPALETTE GroupPalette(const std::vector<const TBitmap*>& bitmaps, const std::stop_token& stop) {
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
  return QuantizeBitmapListPalette(list, 256, 8, false, stop);
}

size_t ApplyBuiltPalettes(TSkinTree& tree, TPaletteMode mode, std::vector<TBuiltPalette> built) {
  size_t applied = 0;
  for (const TPaletteGroup& g : PaletteGroups(tree, mode)) {
    const std::vector<TTextureStamp> stamps = GroupStamps(g);
    const auto b = std::find_if(built.begin(), built.end(),
                                [&](const TBuiltPalette& p) { return p.Palette && p.BuiltFrom == stamps; });
    if (b == built.end()) continue;
    for (TSkinNode* n : g) n->Texture->Palette = b->Palette;
    tree.RecordPalette(std::move(b->Palette), std::move(b->BuiltFrom));
    ++applied;
  }
  tree.ReleaseUnusedPalettes();
  return applied;
}

namespace {

std::vector<TBuiltPalette> BuildGroupPalettes(const std::vector<TPaletteGroup>& groups) {
  std::vector<TBuiltPalette> built;
  built.reserve(groups.size());
  for (const TPaletteGroup& g : groups) {
    std::vector<const TBitmap*> bitmaps;
    for (const TSkinNode* n : g) bitmaps.push_back(n->Texture->Bitmap.get());
    built.push_back({GroupPalette(bitmaps), GroupStamps(g)});
  }
  return built;
}

}  // namespace

void BuildStalePalettes(TSkinTree& tree, TPaletteMode mode) {
  ApplyBuiltPalettes(tree, mode, BuildGroupPalettes(StalePaletteGroups(tree, mode)));
}

void BuildPalettes(TSkinTree& tree, TPaletteMode mode) {
  // Build every new palette first: when the quantizer fails, the textures keep their palettes.
  std::vector<TBuiltPalette> built = BuildGroupPalettes(PaletteGroups(tree, mode));
  // The previous build's palettes go now: each texture drops its reference and the tree its
  // record, so every old handle is released once.
  for (TSkinNode* node : tree.TextureNodes()) node->Texture->Palette.reset();
  ApplyBuiltPalettes(tree, mode, std::move(built));
}
