#pragma once
// TBitmap: a device-independent bitmap with its own storage, rows top-down, each row padded
// to 4 bytes, in one of the Windows pixel formats; and palette handles.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/Color.h"

class TStream;

// What Pixel answers for a point outside the bitmap.
constexpr TColor CLR_INVALID = 0xFFFFFFFF;

struct TPaletteEntry {
  uint8_t peRed = 0, peGreen = 0, peBlue = 0, peFlags = 0;
  bool operator==(const TPaletteEntry&) const = default;
};

// The data behind a palette handle. Counted so tests can see that palettes are released.
struct TPaletteData {
  std::vector<TPaletteEntry> Entries;
  TPaletteData();
  explicit TPaletteData(std::vector<TPaletteEntry> entries);
  TPaletteData(const TPaletteData& other);
  ~TPaletteData();
  static long LiveCount();
};

// A palette handle; null means no palette. Handles are shared, the data never changes.
using HPALETTE = std::shared_ptr<const TPaletteData>;
HPALETTE CreatePalette(std::vector<TPaletteEntry> entries);
// Number of entries of a palette (0 for none).
int PaletteEntryCount(const HPALETTE& pal);

enum class TPixelFormat { pfDevice, pf1bit, pf4bit, pf8bit, pf15bit, pf16bit, pf24bit, pf32bit, pfCustom };
int BitsPerPixel(TPixelFormat pf);
bool IsPaletteFormat(TPixelFormat pf);

// The palette a paletted format uses while the bitmap has none: black and white (1 bit), the 16
// standard VGA colours (4 bits), or the VGA colours, a 6x6x6 colour cube and 24 greys (8 bits).
// Null for the true-colour formats.
HPALETTE DefaultPalette(TPixelFormat pf);
// Index of the entry nearest to c (squared RGB distance) among the first count entries of pal;
// of equal distances the first wins. -1 when there is no entry to choose from.
int NearestPaletteIndex(const TPaletteData& pal, TColor c, int count);

// Pixel storage. Sizing it leaves the bytes uncleared, for conversions that write every byte
// next. Large blocks come from calloc, whose fresh pages from the system are zero already
// (ZeroedPixels skips the clearing pass), and are asked for huge pages: a 48 MB bitmap written
// into pages of 4 KB takes some 12,000 page faults, more time than the decoding that fills it.
// FreePixels takes the size AllocatePixels was given.
constexpr size_t kLargePixelBlock = size_t{4} << 20;
void* AllocatePixels(size_t bytes);
void FreePixels(void* p, size_t bytes) noexcept;
// One block of bytes, copied whole and released whole. A vector with an allocator of its own
// constructs and destroys byte by byte; an optimiser drops those loops, but instrumented builds
// keep them, and a gigabyte picture then costs seconds to make and to free.
class TPixelBytes {
 public:
  TPixelBytes() = default;
  explicit TPixelBytes(size_t n) : FData(n ? static_cast<uint8_t*>(AllocatePixels(n)) : nullptr), FSize(n) {}
  TPixelBytes(const TPixelBytes& o) : TPixelBytes(o.FSize) {
    if (FSize) std::memcpy(FData, o.FData, FSize);
  }
  TPixelBytes(TPixelBytes&& o) noexcept : FData(std::exchange(o.FData, nullptr)), FSize(std::exchange(o.FSize, 0)) {}
  TPixelBytes& operator=(const TPixelBytes& o) {
    TPixelBytes copy(o);
    swap(copy);
    return *this;
  }
  TPixelBytes& operator=(TPixelBytes&& o) noexcept {
    TPixelBytes taken(std::move(o));
    swap(taken);
    return *this;
  }
  ~TPixelBytes() { FreePixels(FData, FSize); }

  uint8_t* data() { return FData; }
  const uint8_t* data() const { return FData; }
  size_t size() const { return FSize; }
  void swap(TPixelBytes& o) noexcept {
    std::swap(FData, o.FData);
    std::swap(FSize, o.FSize);
  }

 private:
  uint8_t* FData = nullptr;
  size_t FSize = 0;
};
// n bytes of zeros, cleared by hand only where the block does not come zeroed.
TPixelBytes ZeroedPixels(size_t n);

class TBitmap {
 public:
  TBitmap() = default;
  TBitmap(int width, int height, TPixelFormat pf = TPixelFormat::pf24bit);
  // A bitmap whose pixel bytes are left as the allocator gives them (the padding after each row
  // is cleared): for a reader that writes every pixel before anyone can look, and drops the
  // bitmap when it fails. It saves a clearing pass as long as the decoding itself.
  static TBitmap Uncleared(int width, int height, TPixelFormat pf);
  TBitmap(const TBitmap&) = default;
  TBitmap& operator=(const TBitmap&) = default;
  TBitmap(TBitmap&&) noexcept = default;
  TBitmap& operator=(TBitmap&&) noexcept = default;

  int Width() const { return FWidth; }
  int Height() const { return FHeight; }
  bool Empty() const { return FWidth == 0 || FHeight == 0; }
  TPixelFormat PixelFormat() const { return FPixelFormat; }
  // Bytes of one row, padded to 4.
  size_t RowBytes() const { return FRowBytes; }
  uint8_t* ScanLine(int y);
  const uint8_t* ScanLine(int y) const;

  // Changes the size, keeping the pixels that still fit (top-left anchored); new pixels are 0.
  void SetSize(int width, int height);
  void SetWidth(int width) { SetSize(width, FHeight); }
  void SetHeight(int height) { SetSize(FWidth, height); }
  // Converts the pixels in place. To a palette format from a richer one, each pixel takes the
  // nearest entry of the bitmap's palette (a default palette when it has none).
  void SetPixelFormat(TPixelFormat pf);

  const HPALETTE& Palette() const { return FPalette; }
  // Replaces the colour table; pixels (indices) stay as they are.
  void SetPalette(HPALETTE pal) { FPalette = std::move(pal); }

  // Pixel access in TColor, whatever the format (Canvas.Pixels). Outside the bitmap Pixel gives
  // CLR_INVALID and SetPixel does nothing. Paletted formats store the nearest palette entry.
  TColor Pixel(int x, int y) const;
  void SetPixel(int x, int y, TColor c);
  // Fills the whole bitmap with one colour.
  void Fill(TColor c);

  // Windows bitmap files: 1/4/8/16/24/32 bits, RLE4/RLE8, core/V3/V4/V5 headers, bottom-up
  // and top-down. Load raises EInvalidGraphic naming what is wrong; a failed load leaves the
  // bitmap unchanged. Save writes through a temporary file and a rename.
  void LoadFromFile(const std::string& fileName);
  void LoadFromStream(TStream& stream);
  void LoadFromMemory(const uint8_t* data, size_t size);
  void SaveToFile(const std::string& fileName) const;
  void SaveToStream(TStream& stream) const;

  bool SameAs(const TBitmap& other) const;  // same size, format, palette and pixels

 private:
  int FWidth = 0, FHeight = 0;
  TPixelFormat FPixelFormat = TPixelFormat::pf24bit;
  size_t FRowBytes = 0;
  TPixelBytes FBits;
  HPALETTE FPalette;
  void Resize(int width, int height, bool clear);
};

// Row size in bytes of a width at a bit depth, padded to 4 (computed in 64 bits).
uint64_t BytesPerScanline(uint64_t width, int bitsPerPixel, int alignBits = 32);
// True when the first bytes of a file are a Windows bitmap signature ("BM").
bool IsBitmapSignature(const uint8_t* data, size_t size);
