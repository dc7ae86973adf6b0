#include "imaging/ColorQuantizer.h"

#include <cerrno>
#include <iterator>
#include <cstring>

#include "imaging/DIB.h"
#include "platform/Streams.h"

// ---- routines shared with the GIF codec ------------------------------------------------------

void GIFError(const std::string& Msg) { throw GIFException(Msg); }

intptr_t CheckGDIResult(intptr_t Value) {
  if (Value != 0) return Value;
  int err = errno;
  const char* text = err != 0 ? std::strerror(err) : nullptr;
  throw EOutOfResources(text && *text ? std::string(text) : std::string("Out of system resources"));
}

int64_t ScanLineBytes(int64_t Pixels, int BitsPerPixel, int Alignment) {
  if (Pixels < 0 || BitsPerPixel <= 0 || Alignment <= 0) return 0;
  // The bits rounded up to the alignment, then to whole bytes (an alignment that is not a
  // multiple of 8 must not cut the row's last bits off). Sizes past 64 bits saturate.
  const unsigned __int128 bits = static_cast<unsigned __int128>(Pixels) * static_cast<unsigned>(BitsPerPixel);
  const unsigned a = static_cast<unsigned>(Alignment);
  const unsigned __int128 bytes = ((bits + a - 1) / a * a + 7) / 8;
  return bytes > static_cast<unsigned __int128>(INT64_MAX) ? INT64_MAX : static_cast<int64_t>(bytes);
}

TPixelFormat GetBitmapPixelFormat(const TBitmap& Bitmap) { return Bitmap.PixelFormat(); }

void SetBitmapPixelFormat(TBitmap& Bitmap, TPixelFormat PixelFormat) {
  if (Bitmap.PixelFormat() != PixelFormat) Bitmap.SetPixelFormat(PixelFormat);
}

// ---- the octree --------------------------------------------------------------------------------

TColorQuantizer::TColorQuantizer(int MaxColors, int ColorBits) : FMaxColors(MaxColors), FColorBits(ColorBits) {
  if (MaxColors <= 0) GIFError("Invalid number of colors");
  if (ColorBits < 1 || ColorBits > 8) GIFError("Invalid number of color bits");
  FNodes.reserve(1024);
}

int32_t TColorQuantizer::NewNode(int Level) {
  int32_t index;
  if (!FFree.empty()) {
    index = FFree.back();
    FFree.pop_back();
    FNodes[static_cast<size_t>(index)] = TOctreeNode();
  } else {
    index = static_cast<int32_t>(FNodes.size());
    FNodes.emplace_back();
  }
  TOctreeNode& n = FNodes[static_cast<size_t>(index)];
  n.IsLeaf = Level == FColorBits;
  if (n.IsLeaf) {
    ++FLeafCount;
  } else {
    n.Next = FReducibleNodes[Level];
    FReducibleNodes[Level] = index;
  }
  return index;
}

void TColorQuantizer::FreeNode(int32_t Index) { FFree.push_back(Index); }

void TColorQuantizer::AddColor(uint8_t R, uint8_t G, uint8_t B) {
  if (FTree < 0) FTree = NewNode(0);
  int32_t node = FTree;
  for (int level = 0;; ++level) {
    TOctreeNode& n = FNodes[static_cast<size_t>(node)];
    if (n.IsLeaf) {
      ++n.PixelCount;
      n.RedSum += R;
      n.GreenSum += G;
      n.BlueSum += B;
      break;
    }
    const int shift = 7 - level, mask = 0x80 >> level;
    const int child = (((R & mask) >> shift) << 2) | (((G & mask) >> shift) << 1) | ((B & mask) >> shift);
    int32_t c = n.Children[child];
    if (c < 0) {
      c = NewNode(level + 1);  // may move the pool: index again
      FNodes[static_cast<size_t>(node)].Children[child] = c;
    }
    node = c;
  }
  while (FLeafCount > FMaxColors) ReduceTree();
}

void TColorQuantizer::ReduceTree() {
  int level = FColorBits - 1;
  while (level > 0 && FReducibleNodes[level] < 0) --level;
  int32_t index = FReducibleNodes[level];
  if (index < 0) {  // nothing left to merge (cannot happen with MaxColors >= 1)
    FLeafCount = 0;
    return;
  }
  TOctreeNode& n = FNodes[static_cast<size_t>(index)];
  FReducibleNodes[level] = n.Next;
  int children = 0;
  uint32_t count = n.PixelCount;
  uint64_t r = n.RedSum, g = n.GreenSum, b = n.BlueSum;
  for (int32_t& c : n.Children) {
    if (c < 0) continue;
    const TOctreeNode& child = FNodes[static_cast<size_t>(c)];
    count += child.PixelCount;
    r += child.RedSum;
    g += child.GreenSum;
    b += child.BlueSum;
    FreeNode(c);
    c = -1;
    ++children;
  }
  n.PixelCount = count;
  n.RedSum = r;
  n.GreenSum = g;
  n.BlueSum = b;
  n.IsLeaf = true;
  FLeafCount -= children - 1;
}

void TColorQuantizer::ProcessRow(const uint8_t* Row, int Width) {
  for (int x = 0; x < Width; ++x, Row += 3) AddColor(Row[2], Row[1], Row[0]);
}

bool TColorQuantizer::ProcessImage(TDIBReader& Image, const std::stop_token& Stop) {
  const int w = Image.Bitmap->Width(), h = Image.Bitmap->Height();
  if (Image.Bitmap->PixelFormat() == TPixelFormat::pf24bit) {
    for (int y = 0; y < h; ++y) {
      if (Stop.stop_requested()) return false;
      ProcessRow(Image.ScanLine(y), w);
    }
    return true;
  }
  // Rows of a reader opened in another format are shorter than three bytes a pixel: read the
  // colours from a 24-bit copy and leave the caller's bitmap in the format it opened.
  TBitmap copy = *Image.Bitmap;
  copy.SetPixelFormat(TPixelFormat::pf24bit);
  for (int y = 0; y < h; ++y) {
    if (Stop.stop_requested()) return false;
    ProcessRow(copy.ScanLine(y), w);
  }
  return true;
}

std::vector<TPaletteEntry> TColorQuantizer::ColorTable() const {
  std::vector<TPaletteEntry> table;
  if (FTree < 0) return table;
  // Depth-first, children 0 to 7; the tree is at most nine levels deep.
  struct TFrame {
    int32_t Node;
    int Child;
  };
  std::vector<TFrame> stack{{FTree, 0}};
  while (!stack.empty()) {
    TFrame& f = stack.back();
    const TOctreeNode& n = FNodes[static_cast<size_t>(f.Node)];
    if (n.IsLeaf) {
      TPaletteEntry e;
      if (n.PixelCount > 0) {
        e.peRed = static_cast<uint8_t>(n.RedSum / n.PixelCount);
        e.peGreen = static_cast<uint8_t>(n.GreenSum / n.PixelCount);
        e.peBlue = static_cast<uint8_t>(n.BlueSum / n.PixelCount);
      }
      table.push_back(e);
      stack.pop_back();
      continue;
    }
    while (f.Child < 8 && n.Children[f.Child] < 0) ++f.Child;
    if (f.Child == 8) {
      stack.pop_back();
      continue;
    }
    int32_t next = n.Children[f.Child++];
    stack.push_back({next, 0});
  }
  return table;
}

// ---- palettes ----------------------------------------------------------------------------------

namespace {

// The twenty static colours. Palettes that include them copy these, so that only a caller who
// asks for the stock palette itself keeps its one shared handle alive.
constexpr TPaletteEntry StockColors[20] = {
    {0, 0, 0, 0},       {128, 0, 0, 0},     {0, 128, 0, 0},     {128, 128, 0, 0},   {0, 0, 128, 0},
    {128, 0, 128, 0},   {0, 128, 128, 0},   {192, 192, 192, 0}, {192, 220, 192, 0}, {166, 202, 240, 0},
    {255, 251, 240, 0}, {160, 160, 164, 0}, {128, 128, 128, 0}, {255, 0, 0, 0},     {0, 255, 0, 0},
    {255, 255, 0, 0},   {0, 0, 255, 0},     {255, 0, 255, 0},   {0, 255, 255, 0},   {255, 255, 255, 0},
};

struct TQuantizeSetup {
  int PaletteSize, MaxColors, First;
};

// A logical palette holds at most 65535 entries (a 16-bit count).
constexpr int MaxPaletteEntries = 65535;

TQuantizeSetup Setup(int Colors, bool Windows) {
  if (Windows) return {256, 236, 10};
  if (Colors <= 0 || Colors > MaxPaletteEntries) GIFError("Invalid number of colors");
  return {Colors, Colors, 0};
}

HPALETTE MakeQuantizedPalette(const TColorQuantizer& Quantizer, const TQuantizeSetup& S, bool Windows) {
  std::vector<TPaletteEntry> entries(static_cast<size_t>(S.PaletteSize));
  if (Windows) {
    const TPaletteEntry* stock = StockColors;
    for (int i = 0; i < 10; ++i) {
      entries[static_cast<size_t>(i)] = stock[static_cast<size_t>(i)];
      entries[static_cast<size_t>(246 + i)] = stock[static_cast<size_t>(10 + i)];
    }
  }
  std::vector<TPaletteEntry> table = Quantizer.ColorTable();
  const size_t n = std::min<size_t>(table.size(), static_cast<size_t>(S.MaxColors));
  for (size_t i = 0; i < n; ++i) {
    table[i].peFlags = 0;
    entries[static_cast<size_t>(S.First) + i] = table[i];
  }
  return CreatePalette(std::move(entries));
}

}  // namespace

HPALETTE QuantizeDIBPalette(TDIBReader& Reader, int Colors, int ColorBits, bool Windows) {
  TQuantizeSetup s = Setup(Colors, Windows);
  TColorQuantizer q(s.MaxColors, ColorBits);
  q.ProcessImage(Reader);
  return MakeQuantizedPalette(q, s, Windows);
}

HPALETTE QuantizeBitmapPalette(TBitmap& Bitmap, int Colors, int ColorBits, bool Windows) {
  TDIBReader reader(Bitmap, TPixelFormat::pf24bit);
  return QuantizeDIBPalette(reader, Colors, ColorBits, Windows);
}

HPALETTE QuantizeBitmapListPalette(const std::vector<TBitmap*>* List, int Colors, int ColorBits, bool Windows,
                                   const std::stop_token& Stop) {
  if (List == nullptr || List->empty()) GIFError("Invalid bitmap list");
  for (const TBitmap* b : *List)
    if (b == nullptr) GIFError("Invalid bitmap list");
  TQuantizeSetup s = Setup(Colors, Windows);
  TColorQuantizer q(s.MaxColors, ColorBits);
  for (TBitmap* b : *List) {
    TDIBReader reader(*b, TPixelFormat::pf24bit);
    if (!q.ProcessImage(reader, Stop)) return nullptr;
  }
  return MakeQuantizedPalette(q, s, Windows);
}

HPALETTE WebPalette216() {
  std::vector<TPaletteEntry> e;
  e.reserve(216);
  for (int r = 0; r < 6; ++r)
    for (int g = 0; g < 6; ++g)
      for (int b = 0; b < 6; ++b)
        e.push_back({static_cast<uint8_t>(51 * r), static_cast<uint8_t>(51 * g), static_cast<uint8_t>(51 * b), 0});
  return CreatePalette(std::move(e));
}

namespace {
HPALETTE Greys(std::initializer_list<int> Levels) {
  std::vector<TPaletteEntry> e;
  for (int v : Levels) {
    auto c = static_cast<uint8_t>(v);
    e.push_back({c, c, c, PC_NOCOLLAPSE});
  }
  return CreatePalette(std::move(e));
}
}  // namespace

HPALETTE GrayPalette256() {
  std::vector<TPaletteEntry> e(256);
  for (int i = 0; i < 256; ++i) {
    auto c = static_cast<uint8_t>(i);
    e[static_cast<size_t>(i)] = {c, c, c, PC_NOCOLLAPSE};
  }
  return CreatePalette(std::move(e));
}

HPALETTE GrayPalette4() { return Greys({0, 128, 192, 255}); }

HPALETTE MonochromePalette() { return Greys({0, 255}); }

const HPALETTE& DefaultPalette20() {
  static const HPALETTE stock =
      CreatePalette(std::vector<TPaletteEntry>(std::begin(StockColors), std::end(StockColors)));
  return stock;
}

HPALETTE HalftonePalette256() {
  // A true-colour X11 display has no palette of its own to ask; this is the layout a halftone
  // palette has on a palette display: the twenty static colours at both ends, the web cube and
  // twenty greys between.
  const TPaletteEntry* stock = StockColors;
  std::vector<TPaletteEntry> e(stock, stock + 10);
  for (int r = 0; r < 6; ++r)
    for (int g = 0; g < 6; ++g)
      for (int b = 0; b < 6; ++b)
        e.push_back({static_cast<uint8_t>(51 * r), static_cast<uint8_t>(51 * g), static_cast<uint8_t>(51 * b), 0});
  for (int i = 1; i <= 20; ++i) {
    auto v = static_cast<uint8_t>(i * 255 / 21);
    e.push_back({v, v, v, 0});
  }
  e.insert(e.end(), stock + 10, stock + 20);
  return CreatePalette(std::move(e));
}
