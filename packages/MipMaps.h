#pragma once
// The mip levels of a texture: each level half the size of the one above, every level an 8-bit
// image in the texture's palette.
#include <cstdint>
#include <memory>
#include <vector>

#include "platform/Bitmap.h"

// Whole part of log2(Value) for Value >= 1, computed on integers (0 for 0).
int IntLog2(uint32_t Value);

// Number of mip levels of a Width x Height texture: one when OneMipMap, else
// log2(min(Width, Height)) + 1 (256x256 gives 9, 256x64 gives 7).
int MipLevelCount(int Width, int Height, bool OneMipMap);

// Halves the bitmap in place (integer halving: 5 becomes 2), keeping every second pixel of
// every second row, as a stretch to half size does.
void HalveBitmap(TBitmap& Bitmap);

// The 256 entries of a palette, missing entries black; flags as stored.
std::vector<TPaletteEntry> PaletteEntries256(const HPALETTE& Palette);

// True when both palettes have the same colours (flags ignored), entry for entry.
bool SamePaletteColors(const HPALETTE& A, const HPALETTE& B);

// True when Prefix has at least one entry and Palette begins with Prefix's colours (flags
// ignored).
bool PaletteStartsWith(const HPALETTE& Palette, const HPALETTE& Prefix);

// Count 8-bit levels of Bitmap in Palette, largest first. A 24-bit (or any non-palette)
// texture is reduced level by level with Floyd-Steinberg dithering; an 8-bit texture whose own
// palette is Palette, or its beginning, keeps its indices (each smaller level takes every
// second pixel of the level above), so the masked index 0 stays where it was painted. Bitmap
// is not changed.
std::vector<std::unique_ptr<TBitmap>> MakeMipMaps(const TBitmap& Bitmap, int Count, const HPALETTE& Palette);
