// Reading Windows bitmap files into a TBitmap: 1/4/8/16/24/32 bits, RLE4 and RLE8, bit-field
// masks, OS/2 core and 2.x headers, V3/V4/V5 info headers, bottom-up and top-down rows.
#include <algorithm>
#include <bit>
#include <filesystem>

#include "platform/Bitmap.h"
#include "platform/BmpFormat.h"
#include "platform/ByteReader.h"
#include "platform/Exceptions.h"
#include "platform/Streams.h"

namespace {

[[noreturn]] void Invalid(const std::string& what) { throw EInvalidGraphic(std::string(kBmpInvalid) + ": " + what); }

// One colour channel of a bit-field pixel.
struct TChannel {
  uint32_t Mask = 0;
  int Shift = 0, Bits = 0;

  static TChannel From(uint32_t mask, int bitCount, const char* name) {
    TChannel c;
    c.Mask = mask;
    if (mask == 0) return c;
    if (bitCount == 16 && mask > 0xFFFFu) Invalid(std::string(name) + " mask exceeds 16 bits");
    c.Shift = std::countr_zero(mask);
    c.Bits = std::popcount(mask);
    if ((mask >> c.Shift) != (c.Bits == 32 ? 0xFFFFFFFFu : ((1u << c.Bits) - 1u)))
      Invalid(std::string(name) + " mask is not contiguous");
    return c;
  }
  uint8_t Value(uint32_t pixel) const {
    if (Bits == 0) return 0;
    uint64_t v = (pixel & Mask) >> Shift;
    uint64_t max = (Bits >= 32) ? 0xFFFFFFFFull : ((1ull << Bits) - 1);
    return static_cast<uint8_t>((v * 255 + max / 2) / max);
  }
};

struct TBmpHeader {
  uint32_t OffBits = 0, HeaderSize = 0, Compression = 0, SizeImage = 0, ClrUsed = 0;
  int64_t Width = 0, Height = 0;
  bool TopDown = false, Core = false, OS2 = false, HasMasks = false;
  uint16_t BitCount = 0;
  uint32_t Masks[3] = {0, 0, 0};
};

constexpr uint32_t BI_RGB = 0, BI_RLE8 = 1, BI_RLE4 = 2, BI_BITFIELDS = 3, BI_ALPHABITFIELDS = 6;

TBmpHeader ReadHeaders(TByteReader& r) {
  TBmpHeader h;
  if (!IsBitmapSignature(r.Data(), r.Size())) Invalid("the \"BM\" signature is missing");
  r.Skip(2, "file header");
  r.U32("file size");
  r.U32("reserved fields");
  h.OffBits = r.U32("pixel data offset");
  size_t infoStart = r.Pos();
  h.HeaderSize = r.U32("info header size");
  if (h.HeaderSize == 12) {
    h.Core = true;
    h.Width = r.U16("width");
    h.Height = r.U16("height");
    r.U16("planes");
    h.BitCount = r.U16("bit count");
  } else {
    bool known = (h.HeaderSize >= 16 && h.HeaderSize <= 64) || h.HeaderSize == 108 || h.HeaderSize == 124;
    if (!known) Invalid("unsupported info header size " + std::to_string(h.HeaderSize));
    r.Need(h.HeaderSize - 4, "info header");
    // 40, 52 and 56 are the Windows sizes up to 64; the other sizes there are OS/2 2.x headers,
    // which share the first 40 bytes but number their compressions differently.
    h.OS2 = h.HeaderSize < 108 && h.HeaderSize != 40 && h.HeaderSize != 52 && h.HeaderSize != 56;
    h.Width = r.I32("width");
    int32_t height = r.I32("height");
    r.U16("planes");
    h.BitCount = r.U16("bit count");
    if (h.HeaderSize >= 20) h.Compression = r.U32("compression");
    if (h.HeaderSize >= 24) h.SizeImage = r.U32("image size");
    if (h.HeaderSize >= 32) r.Skip(8, "resolution");
    if (h.HeaderSize >= 36) h.ClrUsed = r.U32("colours used");
    if (height == INT32_MIN) Invalid("height is out of range");
    h.TopDown = height < 0;
    h.Height = height < 0 ? -static_cast<int64_t>(height) : height;
    if (!h.OS2 && h.HeaderSize >= 52) {
      r.Seek(infoStart + 40, "colour masks");
      for (uint32_t& m : h.Masks) m = r.U32("colour mask");
      h.HasMasks = true;
    }
    r.Seek(infoStart + h.HeaderSize, "colour table");
  }
  if (h.Width < 0) Invalid("width is negative");

  if (h.OS2 && (h.Compression == 3 || h.Compression == 4))
    Invalid("OS/2 Huffman and RLE24 compression are not supported");
  switch (h.BitCount) {
    case 1:
    case 4:
    case 8:
    case 16:
    case 24:
    case 32: break;
    default: Invalid("unsupported bit count " + std::to_string(h.BitCount));
  }
  switch (h.Compression) {
    case BI_RGB: break;
    case BI_RLE8:
      if (h.BitCount != 8) Invalid("RLE8 compression needs 8 bits per pixel");
      break;
    case BI_RLE4:
      if (h.BitCount != 4) Invalid("RLE4 compression needs 4 bits per pixel");
      break;
    case BI_BITFIELDS:
    case BI_ALPHABITFIELDS:
      if (h.BitCount != 16 && h.BitCount != 32) Invalid("bit-field masks need 16 or 32 bits per pixel");
      // A 40-byte header keeps its masks after the header.
      if (!h.HasMasks) {
        for (uint32_t& m : h.Masks) m = r.U32("colour mask");
        if (h.Compression == BI_ALPHABITFIELDS) r.U32("alpha mask");
        h.HasMasks = true;
      }
      break;
    default: Invalid("unsupported compression " + std::to_string(h.Compression));
  }
  if (h.Compression == BI_RGB) h.HasMasks = false;  // masks in a V4/V5 header only count with bit fields
  return h;
}

HPALETTE ReadColorTable(TByteReader& r, const TBmpHeader& h) {
  uint64_t count = 1ull << h.BitCount;
  if (h.ClrUsed != 0 && h.ClrUsed < count) count = h.ClrUsed;
  uint64_t entrySize = h.Core ? 3 : 4;
  // Some writers store fewer entries than the bit count allows and say so only through the
  // pixel data offset; do not read pixels as colours.
  if (h.OffBits > r.Pos() && h.OffBits < r.Size()) {
    uint64_t room = (h.OffBits - r.Pos()) / entrySize;
    if (room < count) count = room;
  }
  r.RequireCount(count, entrySize, "colour table");
  std::vector<TPaletteEntry> entries(static_cast<size_t>(count));
  for (TPaletteEntry& e : entries) {
    const uint8_t* p = r.Bytes(static_cast<size_t>(entrySize), "colour table");
    e = {p[2], p[1], p[0], 0};
  }
  if (entries.empty()) return nullptr;
  return CreatePalette(std::move(entries));
}

// Chooses the format a 16- or 32-bit file loads into and whether its rows can be copied as they are.
TPixelFormat MaskedFormat(const TBmpHeader& h, const TChannel ch[3], bool& direct) {
  const uint32_t* m = h.Masks;
  if (h.BitCount == 32) {
    direct = m[0] == 0xFF0000u && m[1] == 0xFF00u && m[2] == 0xFFu;
    return TPixelFormat::pf32bit;
  }
  if (m[0] == 0x7C00u && m[1] == 0x3E0u && m[2] == 0x1Fu) {
    direct = true;
    return TPixelFormat::pf15bit;
  }
  if (m[0] == 0xF800u && m[1] == 0x7E0u && m[2] == 0x1Fu) {
    direct = true;
    return TPixelFormat::pf16bit;
  }
  direct = false;
  if (ch[0].Bits <= 5 && ch[2].Bits <= 5 && ch[1].Bits <= 6)
    return ch[1].Bits == 6 ? TPixelFormat::pf16bit : TPixelFormat::pf15bit;
  return TPixelFormat::pf24bit;
}

// Decodes RLE8 or RLE4 data into a paletted bitmap. Pixels the data skips stay index 0.
void DecodeRle(TByteReader& r, const TBmpHeader& h, TBitmap& bmp) {
  const bool four = h.Compression == BI_RLE4;
  const int64_t w = h.Width, ht = h.Height;
  int64_t x = 0, fy = 0;
  auto put = [&](unsigned idx) {
    if (x < w && fy < ht) {
      uint8_t* row = bmp.ScanLine(static_cast<int>(h.TopDown ? fy : ht - 1 - fy));
      if (four) {
        uint8_t& b = row[x >> 1];
        b = (x & 1) ? static_cast<uint8_t>((b & 0xF0) | (idx & 0x0F)) : static_cast<uint8_t>((b & 0x0F) | (idx << 4));
      } else {
        row[x] = static_cast<uint8_t>(idx);
      }
    }
    ++x;
  };
  // Pixels past the row's end are dropped: runs walk only the ones that land, so a file of
  // long runs on a narrow picture costs no more than its size.
  auto landing = [&](unsigned count) {
    return x >= w || fy >= ht ? 0u : static_cast<unsigned>(std::min<int64_t>(count, w - x));
  };
  const auto full = [&] { return fy >= ht || (fy == ht - 1 && x >= w); };
  // A missing end-of-bitmap code is tolerated when the rows are all there, and so is a stray
  // byte after them; a code cut in half before the picture is full is not.
  while (!r.AtEnd() && fy < ht) {
    if (r.Remaining() < 2 && full()) return;
    unsigned n = r.U8("run length");
    unsigned c = r.U8("run value");
    if (n > 0) {
      const unsigned keep = landing(n);
      for (unsigned i = 0; i < keep; ++i) put(four ? ((i & 1) ? (c & 0x0F) : (c >> 4)) : c);
      x += n - keep;
      continue;
    }
    if (c == 0) {
      x = 0;
      ++fy;
    } else if (c == 1) {
      return;  // the rest is meant to stay blank
    } else if (c == 2) {
      x += r.U8("delta x");
      fy += r.U8("delta y");
    } else {
      size_t bytes = four ? (c + 1) / 2 : c;
      const uint8_t* p = r.Bytes(bytes, "absolute run");
      const unsigned keep = landing(c);
      for (unsigned i = 0; i < keep; ++i) put(four ? ((i & 1) ? (p[i >> 1] & 0x0F) : (p[i >> 1] >> 4)) : p[i]);
      x += c - keep;
      if (bytes & 1) {
        if (!r.AtEnd()) r.Skip(1, "absolute run padding");
      }
    }
  }
  if (!full()) Invalid("run-length data ends before the picture is full");
}

// Uncompressed rows must all be in the file; checked before the bitmap is allocated, so a few
// bytes declaring millions of rows cost nothing. The last row may lack its padding.
void CheckUncompressedSize(const TByteReader& r, const TBmpHeader& h) {
  const uint64_t srcRow = BytesPerScanline(static_cast<uint64_t>(h.Width), h.BitCount);
  const uint64_t used = (static_cast<uint64_t>(h.Width) * h.BitCount + 7) / 8;
  const uint64_t need = h.Height == 0 ? 0 : srcRow * static_cast<uint64_t>(h.Height - 1) + used;
  if (need > r.Remaining())
    Invalid("pixel data is truncated (" + std::to_string(need) + " bytes needed, " + std::to_string(r.Remaining()) +
            " present)");
}

void DecodeUncompressed(TByteReader& r, const TBmpHeader& h, TBitmap& bmp, const TChannel ch[3], bool direct) {
  const uint64_t srcRow = BytesPerScanline(static_cast<uint64_t>(h.Width), h.BitCount);
  const uint64_t used = (static_cast<uint64_t>(h.Width) * h.BitCount + 7) / 8;
  const uint8_t* base = r.Data() + r.Pos();
  const int w = static_cast<int>(h.Width);
  for (int64_t fy = 0; fy < h.Height; ++fy) {
    const uint8_t* src = base + static_cast<size_t>(fy) * srcRow;
    int y = static_cast<int>(h.TopDown ? fy : h.Height - 1 - fy);
    uint8_t* dst = bmp.ScanLine(y);
    if (h.BitCount <= 8 || h.BitCount == 24 || direct) {
      std::copy(src, src + used, dst);
      continue;
    }
    for (int x = 0; x < w; ++x) {
      uint32_t v = h.BitCount == 16 ? static_cast<uint32_t>(src[2 * x] | (src[2 * x + 1] << 8))
                                    : static_cast<uint32_t>(src[4 * x]) | (static_cast<uint32_t>(src[4 * x + 1]) << 8) |
                                          (static_cast<uint32_t>(src[4 * x + 2]) << 16) |
                                          (static_cast<uint32_t>(src[4 * x + 3]) << 24);
      bmp.SetPixel(x, y, RGBColor(ch[0].Value(v), ch[1].Value(v), ch[2].Value(v)));
    }
  }
  r.Skip(std::min<uint64_t>(srcRow * static_cast<uint64_t>(h.Height), r.Remaining()), "pixel data");
}

}  // namespace

size_t DecodeBmp(const uint8_t* data, size_t size, TBitmap& out) {
  TByteReader r(data, size, [](const std::string& m) { Invalid(m); });
  TBmpHeader h = ReadHeaders(r);

  // A zero width does not make a billion rows cheap to walk: count each side as at least one.
  const uint64_t area =
      static_cast<uint64_t>(std::max<int64_t>(h.Width, 1)) * static_cast<uint64_t>(std::max<int64_t>(h.Height, 1));
  if (area > kBmpMaxPixels)
    Invalid("image size " + std::to_string(h.Width) + "x" + std::to_string(h.Height) + " is too large");

  HPALETTE pal;
  if (h.BitCount <= 8) pal = ReadColorTable(r, h);

  TChannel ch[3];
  TPixelFormat pf;
  bool direct = true;
  switch (h.BitCount) {
    case 1: pf = TPixelFormat::pf1bit; break;
    case 4: pf = TPixelFormat::pf4bit; break;
    case 8: pf = TPixelFormat::pf8bit; break;
    case 24: pf = TPixelFormat::pf24bit; break;
    default: {
      if (!h.HasMasks) {
        if (h.BitCount == 16) {
          h.Masks[0] = 0x7C00u, h.Masks[1] = 0x3E0u, h.Masks[2] = 0x1Fu;
        } else {
          h.Masks[0] = 0xFF0000u, h.Masks[1] = 0xFF00u, h.Masks[2] = 0xFFu;
        }
      }
      static const char* const names[3] = {"red", "green", "blue"};
      for (int i = 0; i < 3; ++i) ch[i] = TChannel::From(h.Masks[i], h.BitCount, names[i]);
      pf = MaskedFormat(h, ch, direct);
    }
  }
  if (BytesPerScanline(static_cast<uint64_t>(h.Width), BitsPerPixel(pf)) * static_cast<uint64_t>(h.Height) >
      kBmpMaxBytes)
    Invalid("image size " + std::to_string(h.Width) + "x" + std::to_string(h.Height) + " is too large");

  if (h.OffBits != 0) r.Seek(h.OffBits, "pixel data");

  const bool rle = h.Compression == BI_RLE8 || h.Compression == BI_RLE4;
  size_t dataLen = r.Remaining();
  if (rle && h.SizeImage != 0 && h.SizeImage < dataLen) dataLen = h.SizeImage;
  // Run-length data can claim a huge picture in a few bytes; beyond a modest size the data has
  // to be there to paint it.
  if (rle && area > (1ull << 20) + static_cast<uint64_t>(dataLen) * 65536ull)
    Invalid("image size " + std::to_string(h.Width) + "x" + std::to_string(h.Height) +
            " is out of proportion to its compressed data");

  // A picture without columns or without rows has no pixels at all; keep it from carrying a
  // huge other side into code that walks rows or columns.
  if (h.Width == 0 || h.Height == 0) h.Width = h.Height = 0;
  if (!rle) CheckUncompressedSize(r, h);
  TBitmap bmp(static_cast<int>(h.Width), static_cast<int>(h.Height), pf);
  bmp.SetPalette(pal);
  size_t start = r.Pos();
  if (rle) {
    TByteReader rr = r.Sub(start, dataLen, "pixel data");
    DecodeRle(rr, h, bmp);
    start += rr.Pos();
  } else {
    DecodeUncompressed(r, h, bmp, ch, direct);
    start = r.Pos();
  }
  out = std::move(bmp);
  return start;
}

void TBitmap::LoadFromMemory(const uint8_t* data, size_t size) {
  TBitmap loaded;
  DecodeBmp(data, size, loaded);
  *this = std::move(loaded);
}

void TBitmap::LoadFromStream(TStream& stream) {
  int64_t start = stream.Position();
  int64_t avail = stream.Size() - start;
  if (avail < 0) avail = 0;
  // No acceptable bitmap is larger than its pixel limit plus headers and colour table.
  uint64_t cap = kBmpMaxBytes + (1u << 20);
  size_t n = static_cast<size_t>(std::min<uint64_t>(static_cast<uint64_t>(avail), cap));
  std::vector<uint8_t> buf(n);
  stream.ReadBuffer(buf.data(), n);
  TBitmap loaded;
  size_t used = DecodeBmp(buf.data(), buf.size(), loaded);
  stream.SetPosition(start + static_cast<int64_t>(used));
  *this = std::move(loaded);
}

void TBitmap::LoadFromFile(const std::string& fileName) {
  std::error_code ec;
  uintmax_t fsize = std::filesystem::file_size(fileName, ec);
  if (!ec && fsize > kBmpMaxBytes + (1u << 20)) Invalid("file " + fileName + " is too large");
  std::vector<uint8_t> data = ReadWholeFile(fileName);
  TBitmap loaded;
  try {
    DecodeBmp(data.data(), data.size(), loaded);
  } catch (const EInvalidGraphic& e) {
    throw EInvalidGraphic(e.Message + " (" + fileName + ")");
  }
  *this = std::move(loaded);
}
