#include "packages/MipMaps.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "imaging/ColorReduction.h"
#include "platform/Exceptions.h"

int IntLog2(uint32_t Value) { return Value == 0 ? 0 : std::bit_width(Value) - 1; }

int MipLevelCount(int Width, int Height, bool OneMipMap) {
  if (OneMipMap) return 1;
  const int smaller = std::min(Width, Height);
  return smaller <= 0 ? 1 : IntLog2(static_cast<uint32_t>(smaller)) + 1;
}

namespace {
// Reads pixel x of a 1- or 4-bit row (most significant bits first).
uint8_t PackedPixel(const uint8_t* Row, int x, int Bits) {
  if (Bits == 1) return static_cast<uint8_t>((Row[x >> 3] >> (7 - (x & 7))) & 1);
  return static_cast<uint8_t>((x & 1) ? (Row[x >> 1] & 0x0F) : (Row[x >> 1] >> 4));
}
void SetPackedPixel(uint8_t* Row, int x, int Bits, uint8_t v) {
  if (Bits == 1) {
    const uint8_t mask = static_cast<uint8_t>(0x80 >> (x & 7));
    Row[x >> 3] = static_cast<uint8_t>(v ? (Row[x >> 3] | mask) : (Row[x >> 3] & ~mask));
  } else if (x & 1) {
    Row[x >> 1] = static_cast<uint8_t>((Row[x >> 1] & 0xF0) | (v & 0x0F));
  } else {
    Row[x >> 1] = static_cast<uint8_t>((Row[x >> 1] & 0x0F) | (v << 4));
  }
}
}  // namespace

void HalveBitmap(TBitmap& Bitmap) {
  const int w = Bitmap.Width() / 2, h = Bitmap.Height() / 2;
  const int bits = BitsPerPixel(Bitmap.PixelFormat());
  TBitmap half(0, 0, Bitmap.PixelFormat());
  half.SetPalette(Bitmap.Palette());
  half.SetSize(w, h);
  for (int y = 0; y < h; ++y) {
    const uint8_t* src = Bitmap.ScanLine(2 * y);
    uint8_t* dst = half.ScanLine(y);
    if (bits >= 8) {
      const int bytes = bits / 8;
      for (int x = 0; x < w; ++x) std::memcpy(dst + x * bytes, src + 2 * x * bytes, static_cast<size_t>(bytes));
    } else {
      for (int x = 0; x < w; ++x) SetPackedPixel(dst, x, bits, PackedPixel(src, 2 * x, bits));
    }
  }
  Bitmap = std::move(half);
}

std::vector<TPaletteEntry> PaletteEntries256(const HPALETTE& Palette) {
  std::vector<TPaletteEntry> e(256);
  if (Palette) std::copy_n(Palette->Entries.begin(), std::min<size_t>(256, Palette->Entries.size()), e.begin());
  return e;
}

bool SamePaletteColors(const HPALETTE& A, const HPALETTE& B) {
  if (A == B) return true;
  if (!A || !B || A->Entries.size() != B->Entries.size()) return false;
  for (size_t i = 0; i < A->Entries.size(); ++i) {
    const TPaletteEntry &a = A->Entries[i], &b = B->Entries[i];
    if (a.peRed != b.peRed || a.peGreen != b.peGreen || a.peBlue != b.peBlue) return false;
  }
  return true;
}

bool PaletteStartsWith(const HPALETTE& Palette, const HPALETTE& Prefix) {
  if (!Palette || !Prefix || Prefix->Entries.empty() || Prefix->Entries.size() > Palette->Entries.size()) return false;
  for (size_t i = 0; i < Prefix->Entries.size(); ++i) {
    const TPaletteEntry &a = Palette->Entries[i], &b = Prefix->Entries[i];
    if (a.peRed != b.peRed || a.peGreen != b.peGreen || a.peBlue != b.peBlue) return false;
  }
  return true;
}

std::vector<std::unique_ptr<TBitmap>> MakeMipMaps(const TBitmap& Bitmap, int Count, const HPALETTE& Palette) {
  if (PaletteEntryCount(Palette) == 0) throw EInvalidGraphicOperation("The texture has no palette");
  if (Bitmap.Empty()) throw EInvalidGraphicOperation("The texture is empty");
  std::vector<std::unique_ptr<TBitmap>> levels;
  levels.reserve(static_cast<size_t>(std::max(Count, 0)));

  // A bitmap file may carry fewer than 256 colours; the palette built from it pads the rest.
  if (Bitmap.PixelFormat() == TPixelFormat::pf8bit && PaletteStartsWith(Palette, Bitmap.Palette())) {
    // The texture already is in its palette: keep its indices, never re-dither them.
    auto level = std::make_unique<TBitmap>(Bitmap);
    level->SetPalette(Palette);
    for (int i = 0; i < Count; ++i) {
      auto next = i + 1 < Count ? std::make_unique<TBitmap>(*level) : nullptr;
      levels.push_back(std::move(level));
      if (next) HalveBitmap(*next);
      level = std::move(next);
    }
    return levels;
  }

  TBitmap copy(Bitmap);
  copy.SetPixelFormat(TPixelFormat::pf24bit);
  for (int i = 0; i < Count; ++i) {
    std::unique_ptr<TBitmap> level =
        ReduceBitmapColors(copy, TReductionMethod::rdCustomPalette, TDitherKind::dtFloydSteinberg, 8, Palette);
    if (!level || level->PixelFormat() != TPixelFormat::pf8bit || level->Width() != copy.Width() ||
        level->Height() != copy.Height())
      throw EInvalidGraphicOperation("The texture could not be reduced to its palette");
    levels.push_back(std::move(level));
    if (i + 1 < Count) HalveBitmap(copy);
  }
  return levels;
}
