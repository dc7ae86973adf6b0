// Writing a TBitmap as a Windows bitmap file: BITMAPINFOHEADER, bottom-up rows, the bitmap's
// own pixel format (16 bits as 5-5-5 plain or 5-6-5 with bit-field masks).
#include <algorithm>

#include "platform/Bitmap.h"
#include "platform/BmpFormat.h"
#include "platform/Exceptions.h"
#include "platform/Streams.h"

namespace {

void Put16(std::vector<uint8_t>& v, uint32_t x) {
  v.push_back(static_cast<uint8_t>(x));
  v.push_back(static_cast<uint8_t>(x >> 8));
}
void Put32(std::vector<uint8_t>& v, uint32_t x) {
  Put16(v, x & 0xFFFFu);
  Put16(v, x >> 16);
}

// The colour table written for a paletted bitmap: its palette (the format's default when it has
// none), padded with black up to the highest index its pixels use, so that every pixel finds
// its colour in the file as it does in memory.
uint32_t TableEntries(const TBitmap& bmp) {
  const TPixelFormat pf = bmp.PixelFormat();
  if (!IsPaletteFormat(pf)) return 0;
  const uint32_t full = 1u << BitsPerPixel(pf);
  const int own = PaletteEntryCount(bmp.Palette());
  if (own == 0) return full;
  uint32_t n = std::min<uint32_t>(static_cast<uint32_t>(own), full);
  for (int y = 0; y < bmp.Height() && n < full; ++y)
    for (int x = 0; x < bmp.Width() && n < full; ++x) {
      const uint8_t* row = bmp.ScanLine(y);
      uint32_t idx = pf == TPixelFormat::pf8bit   ? row[x]
                     : pf == TPixelFormat::pf4bit ? ((x & 1) ? (row[x >> 1] & 15u) : (row[x >> 1] >> 4))
                                                  : ((row[x >> 3] >> (7 - (x & 7))) & 1u);
      if (idx >= n) n = idx + 1;
    }
  return n;
}

}  // namespace

std::vector<uint8_t> EncodeBmp(const TBitmap& bmp) {
  const TPixelFormat pf = bmp.PixelFormat();
  const int bits = BitsPerPixel(pf);
  const bool masked = pf == TPixelFormat::pf16bit;
  const uint32_t tableEntries = TableEntries(bmp);
  const uint32_t headerBytes = 14 + 40 + (masked ? 12 : 0) + tableEntries * 4;
  const uint64_t rowBytes = bmp.RowBytes();
  const uint64_t imageBytes = rowBytes * static_cast<uint64_t>(bmp.Height());
  if (headerBytes + imageBytes > 0xFFFFFFFFull) throw EInvalidGraphic("Bitmap is too large to be saved");

  std::vector<uint8_t> v;
  v.reserve(static_cast<size_t>(headerBytes + imageBytes));
  v.push_back('B');
  v.push_back('M');
  Put32(v, static_cast<uint32_t>(headerBytes + imageBytes));
  Put32(v, 0);
  Put32(v, headerBytes);
  Put32(v, 40);
  Put32(v, static_cast<uint32_t>(bmp.Width()));
  Put32(v, static_cast<uint32_t>(bmp.Height()));
  Put16(v, 1);
  Put16(v, static_cast<uint32_t>(bits));
  Put32(v, masked ? 3u : 0u);
  Put32(v, static_cast<uint32_t>(imageBytes));
  Put32(v, 0);
  Put32(v, 0);
  Put32(v, (tableEntries == 0 || tableEntries == (1u << bits)) ? 0 : tableEntries);  // 0: a full table
  Put32(v, 0);
  if (masked) {
    Put32(v, 0xF800u);
    Put32(v, 0x7E0u);
    Put32(v, 0x1Fu);
  }
  if (tableEntries) {
    HPALETTE pal = PaletteEntryCount(bmp.Palette()) > 0 ? bmp.Palette() : DefaultPalette(pf);
    for (uint32_t i = 0; i < tableEntries; ++i) {
      TPaletteEntry e;
      if (i < pal->Entries.size()) e = pal->Entries[i];
      v.push_back(e.peBlue);
      v.push_back(e.peGreen);
      v.push_back(e.peRed);
      v.push_back(0);
    }
  }
  for (int y = rowBytes ? bmp.Height() - 1 : -1; y >= 0; --y) {
    const uint8_t* row = bmp.ScanLine(y);
    v.insert(v.end(), row, row + rowBytes);
  }
  return v;
}

void TBitmap::SaveToStream(TStream& stream) const {
  std::vector<uint8_t> data = EncodeBmp(*this);
  stream.WriteBuffer(data.data(), data.size());
}

void TBitmap::SaveToFile(const std::string& fileName) const {
  std::vector<uint8_t> data = EncodeBmp(*this);
  TSafeFileStream s(fileName);
  s.WriteBuffer(data.data(), data.size());
  s.Commit();
}
