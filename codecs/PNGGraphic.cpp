// PNG reading: chunks checked against their CRC, image data inflated across IDAT chunks,
// rows unfiltered and converted through the colour manager.
#include "codecs/PNGGraphic.h"

#include <zlib.h>

#include <cstring>

#include "codecs/GraphicCompression.h"
#include "platform/ByteReader.h"

namespace {

constexpr const char* kName = "PNG";
constexpr uint8_t kSignature[8] = {0x89, 0x50, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0A};
constexpr uint32_t kCaseMask = 0xDFDFDFDF;
constexpr uint32_t ChunkId(const char (&s)[5]) {
  return (static_cast<uint32_t>(static_cast<uint8_t>(s[0])) << 24) |
         (static_cast<uint32_t>(static_cast<uint8_t>(s[1])) << 16) |
         (static_cast<uint32_t>(static_cast<uint8_t>(s[2])) << 8) | static_cast<uint32_t>(static_cast<uint8_t>(s[3]));
}
constexpr uint32_t IHDR = ChunkId("IHDR"), IDAT = ChunkId("IDAT"), PLTE = ChunkId("PLTE"), gAMA = ChunkId("gAMA"),
                   bKGD = ChunkId("bKGD"), tRNS = ChunkId("tRNS"), IEND = ChunkId("IEND");
// Chunk lengths are at most 2^31 - 1.
constexpr uint32_t kMaxChunkLength = 0x7FFFFFFF;

[[noreturn]] void Invalid() { GraphicErrorFmt(gesInvalidImage, kName); }
[[noreturn]] void CompressionError() {
  GraphicErrorFmt("Cannot load image. Compression error found in %s file.", kName);
}
[[noreturn]] void ExtraData() { GraphicErrorFmt("Cannot load image. Extra compressed data found in %s file.", kName); }

struct TChunk {
  uint32_t Length = 0;
  uint32_t Type = 0;  // as stored, most significant byte first
  const uint8_t* TypeBytes = nullptr;
  const uint8_t* Data = nullptr;
  bool Is(uint32_t id) const { return (Type & kCaseMask) == (id & kCaseMask); }
  bool Critical() const { return (TypeBytes[0] & 0x20) == 0; }
};

// The chunk walker over the whole file. Every length is checked against what is left before
// any of it is used; a file that ends early is an invalid file.
class TChunkReader {
 public:
  TChunkReader(const uint8_t* data, size_t size) : FReader(data, size, [](const std::string&) { Invalid(); }) {}
  void Seek(size_t pos) { FReader.Seek(pos, "chunk"); }
  bool AtEnd() const { return FReader.AtEnd(); }
  const TChunk& Current() const { return FChunk; }

  void ReadHeader() {
    FChunk.Length = FReader.U32BE("chunk length");
    if (FChunk.Length > kMaxChunkLength) Invalid();
    FChunk.TypeBytes = FReader.Bytes(4, "chunk type");
    FChunk.Type = (static_cast<uint32_t>(FChunk.TypeBytes[0]) << 24) |
                  (static_cast<uint32_t>(FChunk.TypeBytes[1]) << 16) |
                  (static_cast<uint32_t>(FChunk.TypeBytes[2]) << 8) | FChunk.TypeBytes[3];
    FReader.RequireCount(static_cast<uint64_t>(FChunk.Length) + 4, 1, "chunk");
    FChunk.Data = nullptr;
  }
  // The chunk's data, checked against its CRC.
  const uint8_t* ReadData() {
    FChunk.Data = FReader.Bytes(FChunk.Length, "chunk data");
    const uint32_t stored = FReader.U32BE("chunk CRC");
    uLong crc = crc32(0, FChunk.TypeBytes, 4);
    crc = crc32(crc, FChunk.Data, FChunk.Length);
    if (static_cast<uint32_t>(crc) != stored) GraphicErrorFmt("Cannot load image. CRC error found in %s file.", kName);
    return FChunk.Data;
  }
  void SkipData() { FReader.Skip(static_cast<uint64_t>(FChunk.Length) + 4, "chunk"); }
  // Data bytes of the current chunk and the chunks of the same type right after it; the
  // position stays where it is.
  uint64_t DataInRun() const {
    TByteReader r = FReader;
    uint64_t total = FChunk.Length;
    uint64_t skip = static_cast<uint64_t>(FChunk.Length) + 4;
    while (skip <= r.Remaining() && r.Remaining() - skip >= 8) {
      r.Skip(skip, "chunk");
      const uint32_t length = r.U32BE("chunk length");
      const uint8_t* type = r.Bytes(4, "chunk type");
      if (((uint32_t(type[0]) << 24 | uint32_t(type[1]) << 16 | uint32_t(type[2]) << 8 | type[3]) & kCaseMask) !=
          (FChunk.Type & kCaseMask))
        break;
      total += length;
      skip = static_cast<uint64_t>(length) + 4;
    }
    return total;
  }

 private:
  TByteReader FReader;
  TChunk FChunk;
};

uint32_t BE32(const uint8_t* p) {
  return (static_cast<uint32_t>(p[0]) << 24) | (static_cast<uint32_t>(p[1]) << 16) |
         (static_cast<uint32_t>(p[2]) << 8) | p[3];
}
unsigned BE16(const uint8_t* p) { return static_cast<unsigned>(p[0] << 8 | p[1]); }

// The colour types and their bit depths.
bool FormatAllowed(uint8_t colourType, unsigned depth) {
  switch (colourType) {
    case 0: return depth == 1 || depth == 2 || depth == 4 || depth == 8 || depth == 16;
    case 3: return depth == 1 || depth == 2 || depth == 4 || depth == 8;
    case 2:
    case 4:
    case 6: return depth == 8 || depth == 16;
    default: return false;
  }
}

// Undoes one row's filter against the previous row; bpp is the filter offset.
void Unfilter(uint8_t* row, const uint8_t* prev, size_t n, size_t bpp) {
  const uint8_t filter = row[0];
  uint8_t* r = row + 1;
  const uint8_t* p = prev + 1;
  switch (filter) {
    case 0: break;
    case 1:
      for (size_t i = bpp; i < n; ++i) r[i] = static_cast<uint8_t>(r[i] + r[i - bpp]);
      break;
    case 2:
      for (size_t i = 0; i < n; ++i) r[i] = static_cast<uint8_t>(r[i] + p[i]);
      break;
    case 3:
      for (size_t i = 0; i < bpp && i < n; ++i) r[i] = static_cast<uint8_t>(r[i] + (p[i] >> 1));
      for (size_t i = bpp; i < n; ++i) r[i] = static_cast<uint8_t>(r[i] + ((r[i - bpp] + p[i]) >> 1));
      break;
    case 4:
      for (size_t i = 0; i < bpp && i < n; ++i) r[i] = static_cast<uint8_t>(r[i] + p[i]);
      for (size_t i = bpp; i < n; ++i) {
        const int a = r[i - bpp], b = p[i], c = p[i - bpp];
        const int pa = std::abs(b - c), pb = std::abs(a - c), pc = std::abs(a + b - 2 * c);
        const int pred = (pa <= pb && pa <= pc) ? a : (pb <= pc ? b : c);
        r[i] = static_cast<uint8_t>(r[i] + pred);
      }
      break;
    default: CompressionError();
  }
}

}  // namespace

bool TPNGGraphic::CanLoad(const uint8_t* data, size_t size) const {
  return size >= 9 && std::memcmp(data, kSignature, 8) == 0;
}

bool TPNGGraphic::ReadImageProperties(const uint8_t* data, size_t size, unsigned imageIndex) {
  TImageFormatGraphic::ReadImageProperties(data, size, imageIndex);
  if (size < 8 || std::memcmp(data, kSignature, 8) != 0) return false;
  TChunkReader chunks(data, size);
  chunks.Seek(8);
  try {
    chunks.ReadHeader();
  } catch (const EInvalidGraphic&) {
    return false;
  }
  if (!chunks.Current().Is(IHDR) || chunks.Current().Length != 13) return false;
  TImageProperties& p = ImageProperties;
  p.Options |= ioBigEndian;
  const uint8_t* h = chunks.ReadData();
  p.Width = BE32(h);
  p.Height = BE32(h + 4);
  const uint8_t depth = h[8], colourType = h[9];
  if (p.Width == 0 || p.Height == 0) return false;
  p.Compression = h[10] == 0 ? ctLZ77 : ctUnknown;
  p.BitsPerSample = depth;
  switch (colourType) {
    case 0: p.ColorScheme = csG, p.SamplesPerPixel = 1; break;
    case 2: p.ColorScheme = csRGB, p.SamplesPerPixel = 3; break;
    case 3: p.ColorScheme = csIndexed, p.SamplesPerPixel = 1; break;
    case 4: p.ColorScheme = csGA, p.SamplesPerPixel = 1; break;
    case 6: p.ColorScheme = csRGBA, p.SamplesPerPixel = 4; break;
    default: p.ColorScheme = csUnknown, p.SamplesPerPixel = 1; break;
  }
  p.BitsPerPixel = static_cast<uint8_t>(p.SamplesPerPixel * depth);
  if (!ImageSizeAllowed(p.Width, p.Height, p.BitsPerPixel)) return false;
  p.Interlaced = h[12] != 0;
  p.FilterMode = h[11];
  // Look ahead for the file gamma; a file cut short here is reported when it is loaded.
  try {
    while (!chunks.AtEnd()) {
      chunks.ReadHeader();
      if (chunks.Current().Is(IEND)) break;
      if (chunks.Current().Is(gAMA) && chunks.Current().Length >= 4) {
        p.FileGamma = static_cast<float>(BE32(chunks.ReadData()) / 100000.0);
        break;
      }
      chunks.SkipData();
    }
  } catch (const EInvalidGraphic&) {
  }
  return true;
}

namespace {

// One load: the chunk walker, the inflater and the row buffers.
class TPNGLoad {
 public:
  TPNGLoad(TPNGGraphic& g, const uint8_t* data, size_t size)
      : G(g), Chunks(data, size), Decoder(Z_PARTIAL_FLUSH, false) {
    // The checksum follows the rows, which are read to size; like the rest of the image data
    // after them it is passed over, wherever the chunks happen to split it.
    Decoder.SetChecksumChecked(false);
  }

  void Run();

 private:
  void ColourSetup();
  void ReadImage();
  // Fills buf with n inflated bytes, reading further IDAT chunks as needed.
  void ReadInflated(uint8_t* buf, size_t n);
  void SkipRestOfImageData();
  void Background(const uint8_t* d, uint32_t len);
  void Transparency(const uint8_t* d, uint32_t len);

  TPNGGraphic& G;
  TChunkReader Chunks;
  TLZ77Decoder Decoder;
  const uint8_t* FInput = nullptr;
  size_t FInputLeft = 0;
  bool FStreamEnded = false;
  size_t FBytesPerPixel = 0;
  bool FSetUp = false;
  HPALETTE FPalette;
  uint8_t FColourType = 0;
};

void TPNGLoad::ColourSetup() {
  TImageProperties& p = G.ImageProperties;
  TColorManager& cm = G.ColorManager;
  const unsigned depth = p.BitsPerSample;
  // Checked before the colour manager sees the depth, which has its own message for widths
  // it cannot take.
  if (!FormatAllowed(FColourType, depth)) GraphicErrorFmt("Invalid color format in %s file.", kName);
  cm.SourceOptions = depth == 16 ? coNeedByteSwap : 0;
  cm.SetSourceBits(static_cast<uint8_t>(depth));
  TPixelFormat pf = TPixelFormat::pf24bit;
  switch (FColourType) {
    case 0:
      cm.SetSourceScheme(csG);
      cm.SetSourceSamples(1);
      cm.SetTargetScheme(csG);
      cm.SetTargetSamples(1);
      cm.SetTargetBits(static_cast<uint8_t>(depth == 2 ? 4 : depth == 16 ? 8 : depth));
      pf = cm.PixelFormatFor(1);
      FPalette = cm.MakeGreyPalette(false);
      FBytesPerPixel = (depth + 7) / 8;
      break;
    case 2:
      cm.SetSourceScheme(csRGB);
      cm.SetSourceSamples(3);
      cm.SetTargetScheme(csBGR);
      cm.SetTargetSamples(3);
      cm.SetTargetBits(8);
      pf = TPixelFormat::pf24bit;
      FBytesPerPixel = depth * 3 / 8;
      break;
    case 3:
      cm.SetSourceScheme(csIndexed);
      cm.SetSourceSamples(1);
      cm.SetTargetScheme(csIndexed);
      cm.SetTargetSamples(1);
      cm.SetTargetBits(static_cast<uint8_t>(depth == 2 ? 4 : depth));
      pf = cm.PixelFormatFor(1);
      FBytesPerPixel = 1;
      break;
    case 4:
      cm.SetSourceScheme(csGA);
      cm.SetSourceSamples(1);
      cm.SetTargetScheme(csIndexed);
      cm.SetTargetSamples(1);
      cm.SetTargetBits(8);
      pf = TPixelFormat::pf8bit;
      FPalette = cm.MakeGreyPalette(false);
      FBytesPerPixel = depth * 2 / 8;
      break;
    case 6:
      cm.SetSourceScheme(csRGBA);
      cm.SetSourceSamples(4);
      cm.SetTargetScheme(csBGRA);
      cm.SetTargetSamples(4);
      cm.SetTargetBits(8);
      pf = TPixelFormat::pf32bit;
      FBytesPerPixel = depth * 4 / 8;
      break;
    default: GraphicErrorFmt("Invalid color format in %s file.", kName);
  }
  cm.SelectRowConverter();
  static_cast<TBitmap&>(G) = TBitmap(0, 0, pf);
  FSetUp = true;
}

void TPNGLoad::Background(const uint8_t* d, uint32_t len) {
  const unsigned depth = G.ImageProperties.BitsPerSample;
  auto scale = [&](unsigned v) { return depth == 16 ? v * 255 / 65535 : (depth == 2 ? v * 15 / 3 : v); };
  if (FColourType == 3) {
    if (len >= 1) G.BackgroundColor = d[0];
  } else if (FColourType == 2 || FColourType == 6) {
    if (len >= 6)
      G.BackgroundColor = RGBColor(static_cast<uint8_t>(depth == 16 ? BE16(d) * 255 / 65535 : BE16(d)),
                                   static_cast<uint8_t>(depth == 16 ? BE16(d + 2) * 255 / 65535 : BE16(d + 2)),
                                   static_cast<uint8_t>(depth == 16 ? BE16(d + 4) * 255 / 65535 : BE16(d + 4)));
  } else if (len >= 2) {
    const uint8_t v = static_cast<uint8_t>(scale(BE16(d)));
    G.BackgroundColor = RGBColor(v, v, v);
  }
}

void TPNGLoad::Transparency(const uint8_t* d, uint32_t len) {
  const unsigned depth = G.ImageProperties.BitsPerSample;
  if (FColourType == 0 && len >= 2) {
    const unsigned raw = BE16(d);
    const uint8_t v = static_cast<uint8_t>(depth == 16 ? raw * 255 / 65535 : (depth == 2 ? raw * 15 / 3 : raw));
    G.TransparentColor = RGBColor(v, v, v);
  } else if (FColourType == 2 && len >= 6) {
    auto s = [&](const uint8_t* p) { return static_cast<uint8_t>(depth == 16 ? BE16(p) * 255 / 65535 : BE16(p)); };
    G.TransparentColor = RGBColor(s(d), s(d + 2), s(d + 4));
  } else if (FColourType == 3) {
    G.TransparencyTable.assign(256, 255);
    std::memcpy(G.TransparencyTable.data(), d, std::min<uint32_t>(len, 256));
  }
}

void TPNGLoad::ReadInflated(uint8_t* buf, size_t n) {
  while (n > 0) {
    // The current chunk is the next one after what was read; only image data goes on.
    if (FInputLeft == 0 && Chunks.Current().Is(IDAT)) {
      FInput = Chunks.ReadData();
      FInputLeft = Chunks.Current().Length;
      Chunks.ReadHeader();
      continue;
    }
    // Rows still wanted after the stream's end: more data is a second stream, none means the
    // image data ends early.
    if (FStreamEnded) {
      if (FInputLeft > 0 || Decoder.InputPastEnd() > 0) ExtraData();
      CompressionError();
    }
    // Without input the inflater may still hold output from data it has taken already.
    const uint8_t* in = FInput;
    uint8_t* out = buf;
    Decoder.Decode(in, out, FInputLeft, n);
    const size_t used = Decoder.LastInput, made = Decoder.LastOutput;
    FInput += used;
    FInputLeft -= used;
    buf += made;
    n -= made;
    const int status = Decoder.ZLibResult();
    if (status == Z_STREAM_END) {
      // Checked on the next pass when rows are still wanted; after the last row whatever
      // follows the stream is passed over.
      FStreamEnded = true;
    } else if (status != Z_OK || (used == 0 && made == 0)) {
      // An error, or nothing moved: the image data ends before the image does.
      CompressionError();
    }
  }
}

void TPNGLoad::ReadImage() {
  G.Progress(TProgressStage::psStarting, 0, "Transfering...");
  if (!FSetUp) ColourSetup();
  TImageProperties& p = G.ImageProperties;
  TBitmap& bmp = G;
  const TPixelFormat pf = bmp.PixelFormat();
  // Deflate makes at most 1032 bytes of each byte: image data far too short for the picture is
  // refused before the picture is allocated.
  const uint64_t pixelBytes = static_cast<uint64_t>(p.Width) * p.Height * p.BitsPerPixel / 8;
  if (pixelBytes > Chunks.DataInRun() * 1032 + 4096) CompressionError();
  bmp = TBitmap(static_cast<int>(p.Width), static_cast<int>(p.Height), pf);
  if (FPalette) bmp.SetPalette(FPalette);
  // Every pixel is written below (or the load fails), so the background fill is not needed.
  const unsigned depth = p.BitsPerSample;
  const size_t samples = depth == 16 ? FBytesPerPixel / 2 : FBytesPerPixel;
  const size_t bpp = std::max<size_t>(FBytesPerPixel, 1);
  const size_t fullRow = (static_cast<size_t>(p.Width) * depth + 7) / 8 * samples + 1;
  std::vector<uint8_t> current(fullRow), previous(fullRow);
  TColorManager& cm = G.ColorManager;
  if (!p.Interlaced) {
    for (uint32_t y = 0; y < p.Height; ++y) {
      ReadInflated(current.data(), fullRow);
      Unfilter(current.data(), previous.data(), fullRow - 1, bpp);
      cm.ConvertRow(current.data() + 1, bmp.ScanLine(static_cast<int>(y)), p.Width, 0xFF);
      std::swap(current, previous);
      G.RowProgress(y, p.Height);
    }
  } else {
    static const uint32_t rowStart[7] = {0, 0, 4, 0, 2, 0, 1}, colStart[7] = {0, 4, 0, 2, 0, 1, 0};
    static const uint32_t rowStep[7] = {8, 8, 8, 4, 4, 2, 2}, colStep[7] = {8, 8, 4, 4, 2, 2, 1};
    static const uint8_t masks[7] = {0x80, 0x08, 0x88, 0x22, 0xAA, 0x55, 0xFF};
    for (int pass = 0; pass < 7; ++pass) {
      if (colStart[pass] >= p.Width) continue;
      const size_t pixels = (p.Width - colStart[pass] + colStep[pass] - 1) / colStep[pass];
      const size_t rowBytes = (pixels * depth + 7) / 8 * samples + 1;
      std::fill(previous.begin(), previous.end(), 0);
      for (uint32_t y = rowStart[pass]; y < p.Height; y += rowStep[pass]) {
        ReadInflated(current.data(), rowBytes);
        Unfilter(current.data(), previous.data(), rowBytes - 1, bpp);
        cm.ConvertRow(current.data() + 1, bmp.ScanLine(static_cast<int>(y)), p.Width, masks[pass]);
        std::swap(current, previous);
        G.RowProgress(y, p.Height);
      }
    }
  }
  SkipRestOfImageData();
}

// The rows are read to size. Whatever the image data holds beyond them (more rows, stray bytes,
// a second stream, or just the stream's checksum) is passed over, as other readers pass it over;
// its chunks are still checked against their CRC.
void TPNGLoad::SkipRestOfImageData() {
  while (Chunks.Current().Is(IDAT)) {
    Chunks.ReadData();
    Chunks.ReadHeader();
  }
}

void TPNGLoad::Run() {
  TImageProperties& p = G.ImageProperties;
  Chunks.Seek(8);
  G.Progress(TProgressStage::psStarting, 0, "Preparing...");
  G.TransparencyTable.clear();
  G.BackgroundColor = 0xFFFFFF;
  G.TransparentColor = 0x1FFFFFFF;
  Chunks.ReadHeader();
  const uint8_t* h = Chunks.ReadData();
  FColourType = h[9];
  if (p.Compression != ctLZ77) GraphicErrorFmt(gesUnsupportedFeature, gesCompression, kName);
  Decoder.DecodeInit();
  bool imageRead = false;
  Chunks.ReadHeader();
  for (;;) {
    const TChunk& c = Chunks.Current();
    if (c.Is(IEND)) break;
    if (c.Is(IDAT)) {
      // A second run of image data after other chunks is not part of the image.
      if (imageRead) {
        Chunks.SkipData();
      } else {
        G.Progress(TProgressStage::psEnding, 0, "");
        ReadImage();
        imageRead = true;
        continue;  // the current chunk is already the one after the image data
      }
    } else if (c.Is(PLTE)) {
      if (c.Length % 3 != 0) GraphicErrorFmt("Cannot load image. Palette in %s file is invalid.", kName);
      const uint8_t* d = Chunks.ReadData();
      if (FColourType == 3) {
        ColourSetup();
        FPalette = G.ColorManager.MakeColourPalette({&d, 1}, 0, c.Length / 3, false);
      }
    } else if (c.Is(gAMA)) {
      const uint8_t* d = Chunks.ReadData();
      if (c.Length >= 4) {
        p.FileGamma = static_cast<float>(BE32(d) / 100000.0);
        G.ColorManager.SetGamma(2.2f, p.FileGamma);
        G.ColorManager.TargetOptions |= coApplyGamma;
        p.Options |= ioUseGamma;
      }
    } else if (c.Is(bKGD)) {
      Background(Chunks.ReadData(), c.Length);
    } else if (c.Is(tRNS)) {
      Transparency(Chunks.ReadData(), c.Length);
    } else if (c.Critical()) {
      GraphicError("Cannot load PNG image. Unexpected but critical chunk detected.");
    } else {
      Chunks.SkipData();
    }
    Chunks.ReadHeader();
  }
  // A file without image data has no picture.
  if (!imageRead) Invalid();
  Decoder.DecodeEnd();
  G.Progress(TProgressStage::psEnding, 0, "");
}

}  // namespace

void TPNGGraphic::LoadFromMemory(const uint8_t* data, size_t size) {
  StartLoad();
  if (!ReadImageProperties(data, size, 0)) Invalid();
  FProgressRect = {0, 0, static_cast<int>(ImageProperties.Width), 1};
  TPNGLoad load(*this, data, size);
  try {
    load.Run();
  } catch (...) {
    static_cast<TBitmap&>(*this) = TBitmap();
    throw;
  }
}

const TGraphicClassRef& PNGGraphicClass() {
  static const TGraphicClassRef cls = MakeFormatClass<TPNGGraphic>("TPNGGraphic");
  return cls;
}
