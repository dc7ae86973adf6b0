// TBitmap pixel access and in-place pixel format conversion.
#include <algorithm>
#include <cstring>
#include <unordered_map>

#include "platform/Bitmap.h"
#include "platform/Exceptions.h"

namespace {

// 5- and 6-bit channels widen by repeating their top bits, so 0 stays 0 and the maximum 255.
inline uint8_t Widen5(unsigned v) { return static_cast<uint8_t>((v << 3) | (v >> 2)); }
inline uint8_t Widen6(unsigned v) { return static_cast<uint8_t>((v << 2) | (v >> 4)); }
// Narrowing rounds to the nearest level.
inline unsigned Narrow5(unsigned v) { return (v * 31 + 127) / 255; }
inline unsigned Narrow6(unsigned v) { return (v * 63 + 127) / 255; }

std::vector<TPaletteEntry> VgaEntries() {
  static const uint8_t kVga[16][3] = {{0, 0, 0},       {128, 0, 0},   {0, 128, 0},   {128, 128, 0},
                                      {0, 0, 128},     {128, 0, 128}, {0, 128, 128}, {192, 192, 192},
                                      {128, 128, 128}, {255, 0, 0},   {0, 255, 0},   {255, 255, 0},
                                      {0, 0, 255},     {255, 0, 255}, {0, 255, 255}, {255, 255, 255}};
  std::vector<TPaletteEntry> e;
  for (const auto& c : kVga) e.push_back({c[0], c[1], c[2], 0});
  return e;
}

HPALETTE MakeDefault1() { return CreatePalette({{0, 0, 0, 0}, {255, 255, 255, 0}}); }
HPALETTE MakeDefault4() { return CreatePalette(VgaEntries()); }
HPALETTE MakeDefault8() {
  std::vector<TPaletteEntry> e = VgaEntries();
  for (int r = 0; r < 6; ++r)
    for (int g = 0; g < 6; ++g)
      for (int b = 0; b < 6; ++b)
        e.push_back({static_cast<uint8_t>(r * 51), static_cast<uint8_t>(g * 51), static_cast<uint8_t>(b * 51), 0});
  for (int i = 0; i < 24; ++i) {
    uint8_t v = static_cast<uint8_t>(8 + 10 * i);
    e.push_back({v, v, v, 0});
  }
  return CreatePalette(std::move(e));
}

// The palette that pixels of a paletted bitmap index: its own, or the format's default.
const TPaletteData& EffectivePalette(const HPALETTE& own, TPixelFormat pf) {
  if (PaletteEntryCount(own) > 0) return *own;
  return *DefaultPalette(pf);
}

int UsableEntries(const TPaletteData& pal, TPixelFormat pf) {
  int n = static_cast<int>(pal.Entries.size());
  int cap = 1 << BitsPerPixel(pf);
  return n < cap ? n : cap;
}

inline unsigned ReadIndex(const uint8_t* row, int x, TPixelFormat pf) {
  switch (pf) {
    case TPixelFormat::pf1bit: return (row[x >> 3] >> (7 - (x & 7))) & 1u;
    case TPixelFormat::pf4bit: return (x & 1) ? (row[x >> 1] & 0x0Fu) : (row[x >> 1] >> 4);
    default: return row[x];
  }
}

inline void WriteIndex(uint8_t* row, int x, TPixelFormat pf, unsigned idx) {
  switch (pf) {
    case TPixelFormat::pf1bit: {
      uint8_t bit = static_cast<uint8_t>(0x80u >> (x & 7));
      if (idx & 1u)
        row[x >> 3] |= bit;
      else
        row[x >> 3] &= static_cast<uint8_t>(~bit);
      break;
    }
    case TPixelFormat::pf4bit: {
      uint8_t& b = row[x >> 1];
      if (x & 1)
        b = static_cast<uint8_t>((b & 0xF0u) | (idx & 0x0Fu));
      else
        b = static_cast<uint8_t>((b & 0x0Fu) | ((idx & 0x0Fu) << 4));
      break;
    }
    default: row[x] = static_cast<uint8_t>(idx);
  }
}

inline TColor ReadTrueColor(const uint8_t* row, int x, TPixelFormat pf) {
  switch (pf) {
    case TPixelFormat::pf15bit: {
      unsigned v = row[2 * x] | (row[2 * x + 1] << 8);
      return RGBColor(Widen5((v >> 10) & 31), Widen5((v >> 5) & 31), Widen5(v & 31));
    }
    case TPixelFormat::pf16bit: {
      unsigned v = row[2 * x] | (row[2 * x + 1] << 8);
      return RGBColor(Widen5((v >> 11) & 31), Widen6((v >> 5) & 63), Widen5(v & 31));
    }
    case TPixelFormat::pf32bit: {
      const uint8_t* p = row + 4 * x;
      return RGBColor(p[2], p[1], p[0]);
    }
    default: {
      const uint8_t* p = row + 3 * x;
      return RGBColor(p[2], p[1], p[0]);
    }
  }
}

inline void WriteTrueColor(uint8_t* row, int x, TPixelFormat pf, TColor c) {
  unsigned r = GetRValue(c), g = GetGValue(c), b = GetBValue(c);
  switch (pf) {
    case TPixelFormat::pf15bit: {
      unsigned v = (Narrow5(r) << 10) | (Narrow5(g) << 5) | Narrow5(b);
      row[2 * x] = static_cast<uint8_t>(v);
      row[2 * x + 1] = static_cast<uint8_t>(v >> 8);
      break;
    }
    case TPixelFormat::pf16bit: {
      unsigned v = (Narrow5(r) << 11) | (Narrow6(g) << 5) | Narrow5(b);
      row[2 * x] = static_cast<uint8_t>(v);
      row[2 * x + 1] = static_cast<uint8_t>(v >> 8);
      break;
    }
    case TPixelFormat::pf32bit: {
      uint8_t* p = row + 4 * x;
      p[0] = static_cast<uint8_t>(b);
      p[1] = static_cast<uint8_t>(g);
      p[2] = static_cast<uint8_t>(r);
      p[3] = 0;
      break;
    }
    default: {
      uint8_t* p = row + 3 * x;
      p[0] = static_cast<uint8_t>(b);
      p[1] = static_cast<uint8_t>(g);
      p[2] = static_cast<uint8_t>(r);
    }
  }
}

// Nearest-entry lookups repeat the same colours over and over; remember the answers.
class TNearestCache {
 public:
  TNearestCache(const TPaletteData& pal, int count) : FPal(pal), FCount(count) {}
  unsigned Find(TColor c) {
    auto it = FMap.find(c);
    if (it != FMap.end()) return it->second;
    int i = NearestPaletteIndex(FPal, c, FCount);
    unsigned idx = i < 0 ? 0u : static_cast<unsigned>(i);
    FMap.emplace(c, idx);
    return idx;
  }

 private:
  const TPaletteData& FPal;
  int FCount;
  std::unordered_map<TColor, unsigned> FMap;
};

// Palette indices of Bits bits to 24-bit rows, through a table giving the colours of all the
// pixels of one source byte at once; indices past the palette are black, as Pixel gives them.
// Writes every byte of the rows at out, padding included.
template <int Bits>
void ExpandIndices(const TBitmap& from, const TPaletteData& pal, uint8_t* out, size_t outRow) {
  constexpr size_t perByte = 8 / Bits, step = 3 * perByte;
  std::vector<uint8_t> table(256 * step, 0);
  const size_t entries = std::min<size_t>(pal.Entries.size(), size_t{1} << Bits);
  for (size_t b = 0; b < 256; ++b)
    for (size_t i = 0; i < perByte; ++i) {
      const size_t index = (b >> (8 - Bits * (i + 1))) & ((1u << Bits) - 1);
      if (index >= entries) continue;
      uint8_t* px = &table[b * step + 3 * i];
      px[0] = pal.Entries[index].peBlue;
      px[1] = pal.Entries[index].peGreen;
      px[2] = pal.Entries[index].peRed;
    }
  const size_t width = static_cast<size_t>(from.Width()), whole = width / perByte, rest = width % perByte;
  const size_t used = 3 * width;
  for (int y = 0; y < from.Height(); ++y, out += outRow) {
    const uint8_t* src = from.ScanLine(y);
    for (size_t i = 0; i < whole; ++i) std::memcpy(out + step * i, &table[src[i] * step], step);
    if (rest) std::memcpy(out + step * whole, &table[src[whole] * step], 3 * rest);
    std::memset(out + used, 0, outRow - used);
  }
}

}  // namespace

bool IsPaletteFormat(TPixelFormat pf) {
  return pf == TPixelFormat::pf1bit || pf == TPixelFormat::pf4bit || pf == TPixelFormat::pf8bit;
}

HPALETTE DefaultPalette(TPixelFormat pf) {
  // Made once and shared: the data of a palette handle never changes.
  static const HPALETTE p1 = MakeDefault1(), p4 = MakeDefault4(), p8 = MakeDefault8();
  switch (pf) {
    case TPixelFormat::pf1bit: return p1;
    case TPixelFormat::pf4bit: return p4;
    case TPixelFormat::pf8bit: return p8;
    default: return nullptr;
  }
}

int NearestPaletteIndex(const TPaletteData& pal, TColor c, int count) {
  if (count > static_cast<int>(pal.Entries.size())) count = static_cast<int>(pal.Entries.size());
  int r = GetRValue(c), g = GetGValue(c), b = GetBValue(c);
  int best = -1;
  long bestDist = 0;
  for (int i = 0; i < count; ++i) {
    const TPaletteEntry& e = pal.Entries[static_cast<size_t>(i)];
    long dr = e.peRed - r, dg = e.peGreen - g, db = e.peBlue - b;
    long d = dr * dr + dg * dg + db * db;
    if (best < 0 || d < bestDist) {
      best = i;
      bestDist = d;
      if (d == 0) break;
    }
  }
  return best;
}

TColor TBitmap::Pixel(int x, int y) const {
  if (x < 0 || y < 0 || x >= FWidth || y >= FHeight) return CLR_INVALID;
  const uint8_t* row = FBits.data() + static_cast<size_t>(y) * FRowBytes;
  if (!IsPaletteFormat(FPixelFormat)) return ReadTrueColor(row, x, FPixelFormat);
  const TPaletteData& pal = EffectivePalette(FPalette, FPixelFormat);
  unsigned idx = ReadIndex(row, x, FPixelFormat);
  // An index past the colour table (possible in loaded files) shows as black.
  if (idx >= pal.Entries.size()) return clBlack;
  const TPaletteEntry& e = pal.Entries[idx];
  return RGBColor(e.peRed, e.peGreen, e.peBlue);
}

void TBitmap::SetPixel(int x, int y, TColor c) {
  if (x < 0 || y < 0 || x >= FWidth || y >= FHeight) return;
  c &= 0xFFFFFFu;
  uint8_t* row = FBits.data() + static_cast<size_t>(y) * FRowBytes;
  if (!IsPaletteFormat(FPixelFormat)) {
    WriteTrueColor(row, x, FPixelFormat, c);
    return;
  }
  const TPaletteData& pal = EffectivePalette(FPalette, FPixelFormat);
  int idx = NearestPaletteIndex(pal, c, UsableEntries(pal, FPixelFormat));
  WriteIndex(row, x, FPixelFormat, idx < 0 ? 0u : static_cast<unsigned>(idx));
}

void TBitmap::SetPixelFormat(TPixelFormat pf) {
  if (pf == TPixelFormat::pfDevice || pf == TPixelFormat::pfCustom) pf = TPixelFormat::pf24bit;
  TPixelFormat from = FPixelFormat;
  if (pf == from) return;

  uint64_t row64 = BytesPerScanline(static_cast<uint64_t>(FWidth), BitsPerPixel(pf));
  if (row64 * static_cast<uint64_t>(FHeight) > (1ull << 30))
    throw EOutOfResources("Not enough storage is available to process this command");
  size_t row = static_cast<size_t>(row64);
  // Every byte is written below: palette conversions to true colour write whole rows with their
  // padding, the others start from zeros.
  const size_t total = row * static_cast<size_t>(FHeight);
  TPixelBytes bits = IsPaletteFormat(from) && pf == TPixelFormat::pf24bit ? TPixelBytes(total) : ZeroedPixels(total);

  HPALETTE newPalette = FPalette;
  if (IsPaletteFormat(pf)) {
    if (PaletteEntryCount(newPalette) == 0) newPalette = DefaultPalette(pf);
    const TPaletteData& dst = *newPalette;
    int usable = UsableEntries(dst, pf);
    TNearestCache nearest(dst, usable);
    // Between paletted formats sharing one colour table, indices that fit are kept as they are.
    bool sameTable = IsPaletteFormat(from) && PaletteEntryCount(FPalette) > 0;
    for (int y = 0; y < FHeight; ++y) {
      const uint8_t* src = FBits.data() + static_cast<size_t>(y) * FRowBytes;
      uint8_t* out = bits.data() + static_cast<size_t>(y) * row;
      for (int x = 0; x < FWidth; ++x) {
        if (sameTable) {
          unsigned idx = ReadIndex(src, x, from);
          if (idx < static_cast<unsigned>(usable)) {
            WriteIndex(out, x, pf, idx);
            continue;
          }
        }
        WriteIndex(out, x, pf, nearest.Find(Pixel(x, y)));
      }
    }
  } else if (IsPaletteFormat(from) && pf == TPixelFormat::pf24bit) {
    switch (from) {
      case TPixelFormat::pf1bit: ExpandIndices<1>(*this, EffectivePalette(FPalette, from), bits.data(), row); break;
      case TPixelFormat::pf4bit: ExpandIndices<4>(*this, EffectivePalette(FPalette, from), bits.data(), row); break;
      default: ExpandIndices<8>(*this, EffectivePalette(FPalette, from), bits.data(), row);
    }
  } else {
    for (int y = 0; y < FHeight; ++y) {
      uint8_t* out = bits.data() + static_cast<size_t>(y) * row;
      for (int x = 0; x < FWidth; ++x) WriteTrueColor(out, x, pf, Pixel(x, y));
    }
  }
  FBits.swap(bits);
  FRowBytes = row;
  FPixelFormat = pf;
  FPalette = std::move(newPalette);
}
