#pragma once
// Palette groups: every texture gets the palette of its group, one group per texture, per
// skin or for the whole package as the project's "Palettes generation" option says.
#include "editor/SkinTree.h"

enum TPaletteMode { pmPerTexture = 0, pmPerSkin = 1, pmPerPackage = 2 };

// The option as stored in a project file: anything outside 0..2 counts as one per texture.
TPaletteMode PaletteModeFromIndex(int index);

// Groups the tree's textures, builds one palette per group and gives every texture its group's
// handle. A texture whose bitmap is 8 bits per pixel makes a group of its own and keeps its own
// palette (padded with black to 256 entries). The previous build's palettes are released.
void BuildPalettes(TSkinTree& tree, TPaletteMode mode);
