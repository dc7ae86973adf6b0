// Paintshop Pro reading: the block tree is walked for the palette and the image channels.
#include "codecs/PSPGraphic.h"

#include <cstring>

#include "codecs/FormatSupport.h"
#include "codecs/GraphicCompression.h"

namespace {

constexpr const char* kName = "PSP";

namespace PSPLayout {
constexpr char Signature[] = "Paint Shop Pro Image File";
constexpr size_t SignatureLength = 25;
constexpr size_t HeaderSize = 36;
constexpr uint8_t BlockId[4] = {'~', 'B', 'K', 0};
constexpr size_t AttributesSize = 42;
enum Block : uint16_t { ImageAttributes = 0, Palette = 2, Channel = 5 };
enum Compression : uint16_t { None = 0, RLE = 1, LZ77 = 2, JPEG = 3 };
}  // namespace PSPLayout

uint16_t LE16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
uint32_t LE32(const uint8_t* p) {
  return p[0] | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
         static_cast<uint32_t>(p[3]) << 24;
}

struct TBlock {
  uint16_t Kind = 0;
  size_t Body = 0, End = 0;  // the block's content, clamped to the data
};

// Reads the block header at pos; false when none stands there.
bool ReadBlock(const uint8_t* d, size_t size, size_t pos, unsigned major, TBlock& b) {
  const size_t header = major == 3 ? 14 : 10;
  if (pos > size || size - pos < header || std::memcmp(d + pos, PSPLayout::BlockId, 4) != 0) return false;
  b.Kind = LE16(d + pos + 4);
  const uint32_t length = LE32(d + pos + header - 4);
  b.Body = pos + header;
  b.End = b.Body + std::min<size_t>(length, size - b.Body);
  return true;
}

struct TAttributes {
  uint32_t Width = 0, Height = 0;
  uint16_t Compression = 0, BitDepth = 0;
  bool Grey = false;
};

}  // namespace

bool TPSPGraphic::CanLoad(const uint8_t* data, size_t size) const {
  return size > PSPLayout::HeaderSize && std::memcmp(data, PSPLayout::Signature, PSPLayout::SignatureLength) == 0 &&
         LE16(data + 32) >= 3;
}

bool TPSPGraphic::ReadImageProperties(const uint8_t* data, size_t size, unsigned imageIndex) {
  TImageFormatGraphic::ReadImageProperties(data, size, imageIndex);
  if (!CanLoad(data, size)) return false;
  const unsigned major = LE16(data + 32);
  TImageProperties& p = ImageProperties;
  p.Version = major;
  TBlock b;
  if (!ReadBlock(data, size, PSPLayout::HeaderSize, major, b)) return false;
  size_t at = b.Body;
  if (major > 3) at += 4;  // the attributes' own size
  if (at > b.End || b.End - at < PSPLayout::AttributesSize) return false;
  const uint8_t* a = data + at;
  p.Width = LE32(a);
  p.Height = LE32(a + 4);
  const uint16_t compression = LE16(a + 17), depth = LE16(a + 19);
  if (depth == 24) {
    p.ColorScheme = csRGB, p.BitsPerSample = 8, p.SamplesPerPixel = 3;
  } else {
    p.BitsPerSample = static_cast<uint8_t>(std::min<uint16_t>(depth, 255));
    p.SamplesPerPixel = 1;
    p.ColorScheme = a[27] ? csG : csIndexed;
  }
  p.BitsPerPixel = static_cast<uint8_t>(p.BitsPerSample * p.SamplesPerPixel);
  switch (compression) {
    case PSPLayout::None: p.Compression = ctNone; break;
    case PSPLayout::RLE: p.Compression = ctRLE; break;
    case PSPLayout::LZ77: p.Compression = ctLZ77; break;
    case PSPLayout::JPEG: p.Compression = ctJPEG; break;
    default: p.Compression = ctUnknown; break;
  }
  return true;
}

namespace {

// One load: the blocks walked depth first, channels decoded into their buffers.
class TPSPLoad {
 public:
  TPSPLoad(TPSPGraphic& g, const uint8_t* data, size_t size)
      : G(g), D(data), Size(size), Major(g.ImageProperties.Version) {}

  void Run() {
    const TImageProperties& p = G.ImageProperties;
    const uint32_t w = p.Width, h = p.Height;
    if (p.Compression == ctJPEG) GraphicErrorFmt(gesUnsupportedFeature, gesCompression, kName);
    if (p.Compression == ctUnknown) FormatError(kName, "unknown compression");
    switch (p.BitsPerSample) {
      case 1: RowSize = (w + 7) / 8; break;
      case 4: RowSize = w / 2 + 1; break;
      case 8: RowSize = w; break;
      default: GraphicErrorFmt("Invalid color format in %s file.", kName);
    }
    if (!ImageSizeAllowed(w, h, p.BitsPerPixel)) FormatError(kName, "picture size out of range");
    TColorManager& cm = G.ColorManager;
    cm.SourceOptions = 0;
    cm.TargetOptions = 0;
    cm.SetSourceBits(p.BitsPerSample);
    cm.SetTargetBits(p.BitsPerSample);
    cm.SetSourceSamples(p.SamplesPerPixel);
    cm.SetTargetSamples(p.SamplesPerPixel);
    cm.SetSourceScheme(p.ColorScheme);
    cm.SetTargetScheme(p.ColorScheme == csRGB ? static_cast<uint8_t>(csBGR) : p.ColorScheme);
    G.SetPixelFormat(cm.PixelFormatFor(1));
    if (p.ColorScheme == csG) G.SetPalette(cm.MakeGreyPalette(false));
    PlaneSize = static_cast<size_t>(RowSize) * h;
    Planes = p.ColorScheme == csRGB ? 3 : 1;

    Walk(PSPLayout::HeaderSize, Size, 0);
    for (unsigned c = 0; c < Planes; ++c)
      if (Buffers[c].empty()) FormatError(kName, "the image channels are missing");

    G.SetSize(static_cast<int>(w), static_cast<int>(h));
    G.Progress(TProgressStage::psStarting, 0, "Transfering...");
    for (uint32_t y = 0; y < h; ++y) {
      const uint8_t* rows[3] = {};
      for (unsigned c = 0; c < Planes; ++c) rows[c] = Buffers[c].data() + static_cast<size_t>(y) * RowSize;
      cm.ConvertRow(std::span<const uint8_t* const>(rows, Planes), G.ScanLine(static_cast<int>(y)), w, 0xFF);
      G.RowProgress(y, h);
    }
    G.Progress(TProgressStage::psEnding, 0, "");
  }

 private:
  // Walks the blocks between pos and end. Containers (layers, composite images) hold info
  // chunks before their sub-blocks; the sub-blocks are found by their identifier.
  void Walk(size_t pos, size_t end, int depth) {
    if (depth > 8) return;
    while (pos < end) {
      TBlock b;
      if (!ReadBlock(D, end, pos, Major, b)) {
        if (depth == 0) return;
        const uint8_t* next = static_cast<const uint8_t*>(memmem(D + pos + 1, end - pos - 1, PSPLayout::BlockId, 4));
        if (!next) return;
        pos = static_cast<size_t>(next - D);
        continue;
      }
      switch (b.Kind) {
        case PSPLayout::ImageAttributes: break;
        case PSPLayout::Palette: ReadPalette(b); break;
        case PSPLayout::Channel: ReadChannel(b); break;
        default:
          if (b.End > b.Body + 1) Walk(b.Body, b.End, depth + 1);
          break;
      }
      if (b.End <= pos) return;
      pos = b.End;
    }
  }

  void ReadPalette(const TBlock& b) {
    if (G.ImageProperties.ColorScheme != csIndexed || PaletteRead) return;
    PaletteRead = true;
    TByteReader r = FormatReader(D + b.Body, b.End - b.Body, kName);
    if (Major > 3) r.U32("palette chunk size");
    const uint32_t count = r.U32("palette entry count");
    r.RequireCount(count, 4, "palette entry");
    const size_t n = std::min<uint32_t>(count, 256);
    // Entries are blue, green, red and a spare byte.
    std::vector<uint8_t> triplets(n * 3);
    for (size_t i = 0; i < n; ++i) std::memcpy(&triplets[3 * i], r.Bytes(4, "palette entry"), 3);
    const uint8_t* p = triplets.data();
    if (n) G.SetPalette(G.ColorManager.MakeColourPalette(std::span<const uint8_t* const>(&p, 1), 0, n, true));
  }

  void ReadChannel(const TBlock& b) {
    TByteReader r = FormatReader(D + b.Body, b.End - b.Body, kName);
    size_t chunkEnd = 0;
    if (Major > 3) chunkEnd = r.U32("channel chunk size");
    const uint32_t packed = r.U32("compressed length");
    const uint32_t unpacked = r.U32("uncompressed length");
    const uint16_t bitmapKind = r.U16("bitmap kind");
    const uint16_t channelKind = r.U16("channel kind");
    if (Major > 3) r.Seek(std::max<size_t>(chunkEnd, r.Pos()), "channel data");
    // Only image channels of the picture's own size: thumbnails and masks are something else.
    if (bitmapKind != 0 || unpacked != PlaneSize) return;
    const unsigned slot = channelKind == 0 ? 0 : channelKind - 1u;
    if (slot >= Planes || !Buffers[slot].empty()) return;
    // A length past the block's end is cut to what the block holds.
    const size_t length = std::min<size_t>(packed, r.Remaining());
    const uint8_t* source = r.Bytes(length, "channel data");
    // Plain data is the plane itself; runs give at most 127 bytes for two; deflate about 1032
    // for one.
    const uint8_t compression = G.ImageProperties.Compression;
    CheckProportion(kName, length, PlaneSize, compression == ctRLE ? 64 : compression == ctLZ77 ? 1032 : 1);
    std::vector<uint8_t> plane(PlaneSize);
    uint8_t* target = plane.data();
    size_t produced = 0;
    switch (G.ImageProperties.Compression) {
      case ctRLE: {
        TPSPRLEDecoder decoder;
        decoder.Decode(source, target, length, PlaneSize);
        produced = decoder.LastOutput;
        break;
      }
      case ctLZ77: {
        TLZ77Decoder decoder(4, false);
        decoder.DecodeInit();
        decoder.Decode(source, target, length, PlaneSize);
        decoder.DecodeEnd();
        produced = PlaneSize - decoder.AvailableOutput();
        break;
      }
      default:
        produced = std::min(length, PlaneSize);
        std::memcpy(plane.data(), source, produced);
        break;
    }
    if (produced != PlaneSize) FormatError(kName, "channel data ends early");
    Buffers[slot] = std::move(plane);
  }

  TPSPGraphic& G;
  const uint8_t* D;
  size_t Size;
  unsigned Major;
  size_t RowSize = 0, PlaneSize = 0;
  unsigned Planes = 1;
  bool PaletteRead = false;
  std::vector<uint8_t> Buffers[3];
};

}  // namespace

void TPSPGraphic::LoadFromMemory(const uint8_t* data, size_t size) {
  StartLoad();
  if (!ReadImageProperties(data, size, 0)) GraphicErrorFmt(gesInvalidImage, kName);
  FProgressRect = {0, 0, static_cast<int>(ImageProperties.Width), 1};
  Progress(TProgressStage::psStarting, 0, "Preparing...");
  ClearOnFailure(*this, [&] { TPSPLoad(*this, data, size).Run(); });
}

const TGraphicClassRef& PSPGraphicClass() {
  static const TGraphicClassRef cls = MakeFormatClass<TPSPGraphic>("TPSPGraphic");
  return cls;
}
