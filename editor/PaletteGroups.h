#pragma once
// Palette groups: every texture gets the palette of its group, one group per texture, per
// skin or for the whole package as the project's "Palettes generation" option says.
#include <vector>

#include "editor/SkinTree.h"

enum TPaletteMode { pmPerTexture = 0, pmPerSkin = 1, pmPerPackage = 2 };

// The option as stored in a project file: anything outside 0..2 counts as one per texture.
TPaletteMode PaletteModeFromIndex(int index);

// The textures of each palette group under this mode, groups in tree order.
std::vector<std::vector<TObjetoTextura*>> PaletteGroups(const TSkinTree& tree, TPaletteMode mode);
// The palette of one group from its bitmaps in group order: a lone 8-bit bitmap keeps its own
// palette (padded with black to 256 entries); anything else is quantized to 256 colours.
HPALETTE GroupPalette(const std::vector<const TBitmap*>& bitmaps);
// The tree's palettes after some groups got new ones: each texture's handle, each once.
void KeepGroupPalettes(TSkinTree& tree);

// Groups the tree's textures, builds one palette per group and gives every texture its group's
// handle. A texture whose bitmap is 8 bits per pixel makes a group of its own and keeps its own
// palette (padded with black to 256 entries). The previous build's palettes are released.
void BuildPalettes(TSkinTree& tree, TPaletteMode mode);
