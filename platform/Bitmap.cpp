#include "platform/Bitmap.h"

#include <sys/mman.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <new>

#include "platform/Exceptions.h"

namespace {
std::atomic<long> gPaletteLive{0};
}

TPaletteData::TPaletteData() { ++gPaletteLive; }
TPaletteData::TPaletteData(std::vector<TPaletteEntry> entries) : Entries(std::move(entries)) { ++gPaletteLive; }
TPaletteData::TPaletteData(const TPaletteData& other) : Entries(other.Entries) { ++gPaletteLive; }
TPaletteData::~TPaletteData() { --gPaletteLive; }
long TPaletteData::LiveCount() { return gPaletteLive.load(); }

HPALETTE CreatePalette(std::vector<TPaletteEntry> entries) {
  return std::make_shared<const TPaletteData>(std::move(entries));
}

int PaletteEntryCount(const HPALETTE& pal) { return pal ? static_cast<int>(pal->Entries.size()) : 0; }

int BitsPerPixel(TPixelFormat pf) {
  switch (pf) {
    case TPixelFormat::pf1bit: return 1;
    case TPixelFormat::pf4bit: return 4;
    case TPixelFormat::pf8bit: return 8;
    case TPixelFormat::pf15bit:
    case TPixelFormat::pf16bit: return 16;
    case TPixelFormat::pf32bit: return 32;
    default: return 24;
  }
}

uint64_t BytesPerScanline(uint64_t width, int bitsPerPixel, int alignBits) {
  uint64_t bits = width * static_cast<uint64_t>(bitsPerPixel);
  uint64_t a = static_cast<uint64_t>(alignBits);
  return ((bits + a - 1) / a) * (a / 8);
}

namespace {
constexpr uintptr_t kHugePage = uintptr_t{2} << 20;
// From this size up a block always gets a mapping of its own, fresh from the system; it is
// placed on a huge page boundary, its first and last huge pages would otherwise be touched in
// small ones.
constexpr size_t kAlignedPixelBlock = size_t{32} << 20;
constexpr size_t kAlignSlack = kHugePage + sizeof(void*);
}  // namespace

void* AllocatePixels(size_t bytes) {
  if (bytes < kLargePixelBlock) {
    void* p = std::malloc(bytes ? bytes : 1);
    if (!p) throw std::bad_alloc();
    return p;
  }
  const bool aligned = bytes >= kAlignedPixelBlock;
  void* base = std::calloc(bytes + (aligned ? kAlignSlack : 0), 1);
  if (!base) throw std::bad_alloc();
  const uintptr_t b = reinterpret_cast<uintptr_t>(base);
  uintptr_t p = b;
  if (aligned) {
    // The start of the block is kept just below the pixels, for FreePixels.
    p = (b + sizeof(void*) + kHugePage - 1) & ~(kHugePage - 1);
    reinterpret_cast<void**>(p)[-1] = base;
  }
  // Only huge pages that lie wholly inside the block; the advice is a wish the system may ignore.
  const uintptr_t start = (p + kHugePage - 1) & ~(kHugePage - 1);
  const uintptr_t end = (b + bytes + (aligned ? kAlignSlack : 0)) & ~(kHugePage - 1);
  if (end > start) madvise(reinterpret_cast<void*>(start), end - start, MADV_HUGEPAGE);
  return reinterpret_cast<void*>(p);
}

void FreePixels(void* p, size_t bytes) noexcept {
  if (p && bytes >= kAlignedPixelBlock) p = static_cast<void**>(p)[-1];
  std::free(p);
}

TPixelBytes ZeroedPixels(size_t n) {
  TPixelBytes bits(n);
  if (n > 0 && n < kLargePixelBlock) std::memset(bits.data(), 0, n);
  return bits;
}

bool IsBitmapSignature(const uint8_t* data, size_t size) { return size >= 2 && data[0] == 'B' && data[1] == 'M'; }

TBitmap::TBitmap(int width, int height, TPixelFormat pf) : FPixelFormat(pf) {
  if (pf == TPixelFormat::pfDevice || pf == TPixelFormat::pfCustom) FPixelFormat = TPixelFormat::pf24bit;
  SetSize(width, height);
}

uint8_t* TBitmap::ScanLine(int y) {
  if (y < 0 || y >= FHeight) throw EInvalidGraphicOperation("Scan line index out of range");
  return FBits.data() + static_cast<size_t>(y) * FRowBytes;
}

const uint8_t* TBitmap::ScanLine(int y) const {
  if (y < 0 || y >= FHeight) throw EInvalidGraphicOperation("Scan line index out of range");
  return FBits.data() + static_cast<size_t>(y) * FRowBytes;
}

TBitmap TBitmap::Uncleared(int width, int height, TPixelFormat pf) {
  TBitmap b(0, 0, pf);
  b.Resize(width, height, false);
  const size_t used =
      static_cast<size_t>(BytesPerScanline(static_cast<uint64_t>(width), BitsPerPixel(b.FPixelFormat), 8));
  if (used < b.FRowBytes)
    for (int y = 0; y < height; ++y) std::memset(b.ScanLine(y) + used, 0, b.FRowBytes - used);
  return b;
}

void TBitmap::SetSize(int width, int height) { Resize(width, height, true); }

void TBitmap::Resize(int width, int height, bool clear) {
  if (width < 0 || height < 0) throw EInvalidGraphicOperation("Invalid bitmap size");
  if (width == FWidth && height == FHeight) return;
  uint64_t row = BytesPerScanline(static_cast<uint64_t>(width), BitsPerPixel(FPixelFormat));
  uint64_t total = row * static_cast<uint64_t>(height);
  // 1 GiB of pixels is far beyond any texture; refuse rather than exhaust memory.
  if (total > (1ull << 30)) throw EOutOfResources("Not enough storage is available to process this command");
  TPixelBytes bits = clear ? ZeroedPixels(static_cast<size_t>(total)) : TPixelBytes(static_cast<size_t>(total));
  size_t keepRow = std::min<size_t>(FRowBytes, static_cast<size_t>(row));
  int keepH = std::min(FHeight, height);
  for (int y = 0; y < keepH; ++y)
    std::memcpy(bits.data() + static_cast<size_t>(y) * row, FBits.data() + static_cast<size_t>(y) * FRowBytes, keepRow);
  FBits.swap(bits);
  FWidth = width;
  FHeight = height;
  FRowBytes = static_cast<size_t>(row);
}

void TBitmap::Fill(TColor c) {
  for (int y = 0; y < FHeight; ++y)
    for (int x = 0; x < FWidth; ++x) SetPixel(x, y, c);
}

bool TBitmap::SameAs(const TBitmap& o) const {
  if (FWidth != o.FWidth || FHeight != o.FHeight || FPixelFormat != o.FPixelFormat) return false;
  int pn = PaletteEntryCount(FPalette), po = PaletteEntryCount(o.FPalette);
  if (pn != po) return false;
  for (int i = 0; i < pn; ++i) {
    const auto &a = FPalette->Entries[i], &b = o.FPalette->Entries[i];
    if (a.peRed != b.peRed || a.peGreen != b.peGreen || a.peBlue != b.peBlue) return false;
  }
  // Compare only the pixel bits of each row, not the padding.
  uint64_t used = (static_cast<uint64_t>(FWidth) * BitsPerPixel(FPixelFormat) + 7) / 8;
  for (int y = 0; y < FHeight; ++y) {
    if (std::memcmp(ScanLine(y), o.ScanLine(y), static_cast<size_t>(used)) != 0) {
      // a 1/4-bit row's last byte may hold bits past the width; compare those pixels only
      for (int x = 0; x < FWidth; ++x)
        if (Pixel(x, y) != o.Pixel(x, y)) return false;
    }
  }
  return true;
}
