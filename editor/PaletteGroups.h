#pragma once
// Palette groups: every texture gets the palette of its group, one group per texture, per
// skin or for the whole package as the project's "Palettes generation" option says. A palette
// holds for its group while it was built over exactly the group's textures as they are now
// (TSkinTree::PaletteCurrent); the groups it does not hold for are the ones built again.
#include <stop_token>
#include <vector>

#include "editor/SkinTree.h"

enum TPaletteMode { pmPerTexture = 0, pmPerSkin = 1, pmPerPackage = 2 };

// The option as stored in a project file: anything outside 0..2 counts as one per texture.
TPaletteMode PaletteModeFromIndex(int index);

// The texture nodes of one palette group, in tree order.
using TPaletteGroup = std::vector<TSkinNode*>;
// The groups under this mode, in tree order.
std::vector<TPaletteGroup> PaletteGroups(const TSkinTree& tree, TPaletteMode mode);
std::vector<TTextureStamp> GroupStamps(const TPaletteGroup& group);
// The groups whose palette must be built again: the one rule for every builder.
std::vector<TPaletteGroup> StalePaletteGroups(const TSkinTree& tree, TPaletteMode mode);

// The palette of one group from its bitmaps in group order: a lone 8-bit bitmap keeps its own
// palette (padded with black to 256 entries); anything else is quantized to 256 colours. Null
// once stop is requested.
HPALETTE GroupPalette(const std::vector<const TBitmap*>& bitmaps, const std::stop_token& stop = {});

// A palette and the stamps of the textures it was built over, in group order.
struct TBuiltPalette {
  HPALETTE Palette;
  std::vector<TTextureStamp> BuiltFrom;
};
// Palettes built over copies of the pixels go to their groups where those still hold: the same
// textures, in the same order, with the same pixels. The others are dropped, and their groups
// stay stale. Palettes no texture holds any more are released. Returns how many went in.
size_t ApplyBuiltPalettes(TSkinTree& tree, TPaletteMode mode, std::vector<TBuiltPalette> built);

// Builds the palettes of the stale groups: what a whole build would give them.
void BuildStalePalettes(TSkinTree& tree, TPaletteMode mode);
// Groups the tree's textures, builds one palette per group and gives every texture its group's
// handle. A texture whose bitmap is 8 bits per pixel makes a group of its own and keeps its own
// palette (padded with black to 256 entries). The previous build's palettes are released.
void BuildPalettes(TSkinTree& tree, TPaletteMode mode);
