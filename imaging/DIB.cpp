#include "imaging/DIB.h"

#include <cstring>

#include "imaging/ColorQuantizer.h"
#include "platform/Exceptions.h"

TDIBReader::TDIBReader(TBitmap& ABitmap, TPixelFormat APixelFormat) : TDIB(ABitmap, APixelFormat) {
  SetBitmapPixelFormat(ABitmap, APixelFormat);
}

uint8_t* TDIBReader::ScanLine(int Row) { return Bitmap->ScanLine(Row); }

TDIBWriter::TDIBWriter(TBitmap& ABitmap, TPixelFormat APixelFormat, int AWidth, int AHeight, const HPALETTE& APalette)
    : TDIB(ABitmap, APixelFormat), FPalette(APalette), FWidth(AWidth), FHeight(AHeight) {
  if (APixelFormat != TPixelFormat::pf8bit && APixelFormat != TPixelFormat::pf24bit)
    GIFError("Unsupported PixelFormat");
  if (AWidth <= 0 || AHeight <= 0) GIFError("Invalid image dimensions");
}

TDIBWriter::~TDIBWriter() {
  try {
    Finish();
  } catch (...) {
    // A destructor must not throw; callers that care call Finish themselves.
  }
}

void TDIBWriter::MakeImage() {
  const int bits = PixelFormat == TPixelFormat::pf8bit ? 8 : 24;
  const int64_t row = ScanLineBytes(FWidth, bits, 32);
  // Bitmaps larger than 1 GiB are refused by TBitmap too; say so before trying. Compared by
  // division: the product of a huge width and height does not fit 64 bits.
  constexpr int64_t limit = int64_t{1} << 30;
  if (row > limit / FHeight) throw EOutOfMemory("Failed to allocate memory for GIF DIB");
  try {
    FImage = TBitmap(FWidth, FHeight, PixelFormat);
  } catch (const std::bad_alloc&) {
    throw EOutOfMemory("Failed to allocate memory for GIF DIB");
  }
  FHasImage = true;
}

uint8_t* TDIBWriter::ScanLine(int Row) {
  if (!FHasImage) MakeImage();
  if (Row < 0 || Row >= FHeight) throw EInvalidGraphicOperation("Scan line index out of range");
  return FImage.ScanLine(Row);
}

void TDIBWriter::Finish() {
  if (!FHasImage || FFinished) return;
  FFinished = true;
  if (PixelFormat == TPixelFormat::pf8bit) {
    // A device-independent 8-bit image always carries 256 colours; the unused ones are black.
    std::vector<TPaletteEntry> entries(256);
    const int n = std::min(PaletteEntryCount(FPalette), 256);
    for (int i = 0; i < n; ++i) {
      const TPaletteEntry& e = FPalette->Entries[static_cast<size_t>(i)];
      entries[static_cast<size_t>(i)] = {e.peRed, e.peGreen, e.peBlue, 0};
    }
    FImage.SetPalette(CreatePalette(std::move(entries)));
  }
  *Bitmap = std::move(FImage);
  FImage = TBitmap();
}
