// Targa reading and run-length writing.
#include "codecs/TargaGraphic.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "codecs/FormatSupport.h"
#include "codecs/GraphicCompression.h"
#include "platform/Streams.h"

namespace {

constexpr const char* kName = "Targa";

namespace TargaLayout {
constexpr size_t HeaderSize = 18;
constexpr uint8_t TopToBottom = 0x20;
constexpr uint8_t RightToLeft = 0x10;
constexpr uint8_t NoImage = 0, ColourMapped = 1, Grey = 3, RLEOffset = 8;  // 2 is true colour
}  // namespace TargaLayout

// Image types with pixel data: colour-mapped, true colour and grey, plain or run-length.
bool HasPixelData(uint8_t type) {
  const unsigned plain = type & ~unsigned{TargaLayout::RLEOffset};
  return plain >= TargaLayout::ColourMapped && plain <= TargaLayout::Grey;
}

struct TTargaHeader {
  uint8_t IDLength = 0, ColorMapType = 0, ImageType = 0;
  uint16_t ColorMapStart = 0, ColorMapLength = 0;
  uint8_t ColorMapEntrySize = 0;
  uint16_t Width = 0, Height = 0;
  uint8_t PixelDepth = 0, Descriptor = 0;
};

TTargaHeader ReadHeader(TByteReader& r) {
  TTargaHeader h;
  h.IDLength = r.U8("ID length");
  h.ColorMapType = r.U8("colour map type");
  h.ImageType = r.U8("image type");
  h.ColorMapStart = r.U16("colour map start");
  h.ColorMapLength = r.U16("colour map length");
  h.ColorMapEntrySize = r.U8("colour map entry size");
  r.Skip(4, "origin");
  h.Width = r.U16("width");
  h.Height = r.U16("height");
  h.PixelDepth = r.U8("pixel depth");
  h.Descriptor = r.U8("image descriptor");
  return h;
}

bool ValidDepth(unsigned depth) { return depth == 8 || depth == 15 || depth == 16 || depth == 24 || depth == 32; }

bool IsGrey(uint8_t type) { return type == 3 || type == 11; }

// Colour-map entries to palette entries. The map's first entry stands for pixel value
// ColorMapStart; the values below it have no colour and stay black.
std::vector<TPaletteEntry> ReadColourMap(TByteReader& r, const TTargaHeader& h) {
  const size_t entrySize = (h.ColorMapEntrySize + 1u) / 8;
  r.RequireCount(h.ColorMapLength, entrySize, "colour map");
  const uint8_t* p = r.Bytes(h.ColorMapLength * entrySize, "colour map");
  std::vector<TPaletteEntry> pal(std::min<size_t>(size_t{h.ColorMapStart} + h.ColorMapLength, 256));
  for (size_t i = h.ColorMapStart; i < pal.size(); ++i, p += entrySize) {
    TPaletteEntry& e = pal[i];
    if (entrySize >= 3) {
      e.peBlue = p[0], e.peGreen = p[1], e.peRed = p[2];
    } else if (entrySize == 2) {
      const unsigned w = p[0] | (p[1] << 8);
      e.peRed = static_cast<uint8_t>(((w >> 10) & 31) << 3);
      e.peGreen = static_cast<uint8_t>(((w >> 5) & 31) << 3);
      e.peBlue = static_cast<uint8_t>((w & 31) << 3);
    } else if (entrySize == 1) {
      e.peRed = e.peGreen = e.peBlue = p[0];
    }
  }
  return pal;
}

// Reverses the pixels of every scan line, for pictures stored right to left.
void MirrorRows(TBitmap& bitmap, size_t pixelSize) {
  const size_t width = static_cast<size_t>(bitmap.Width());
  if (width < 2) return;
  for (int y = 0; y < bitmap.Height(); ++y) {
    uint8_t* line = bitmap.ScanLine(y);
    for (size_t l = 0, r = width - 1; l < r; ++l, --r)
      std::swap_ranges(line + l * pixelSize, line + (l + 1) * pixelSize, line + r * pixelSize);
  }
}

}  // namespace

bool TTargaGraphic::CanLoad(const uint8_t* data, size_t size) const {
  if (size < TargaLayout::HeaderSize + 1) return false;
  TByteReader r(data, size);
  const TTargaHeader h = ReadHeader(r);
  const bool typeOk = h.ImageType <= 3 || (h.ImageType >= 9 && h.ImageType <= 11);
  const bool mapSizeOk = h.ColorMapEntrySize == 15 || h.ColorMapEntrySize == 16 || h.ColorMapEntrySize == 24 ||
                         h.ColorMapEntrySize == 32 || (h.ColorMapEntrySize == 0 && h.ColorMapType == 0);
  return typeOk && h.ColorMapType <= 1 && mapSizeOk && ValidDepth(h.PixelDepth);
}

bool TTargaGraphic::ReadImageProperties(const uint8_t* data, size_t size, unsigned imageIndex) {
  TImageFormatGraphic::ReadImageProperties(data, size, imageIndex);
  if (size < TargaLayout::HeaderSize) return false;
  TByteReader r(data, size);
  const TTargaHeader h = ReadHeader(r);
  // Any other depth has no pixel format to read into.
  if (!ValidDepth(h.PixelDepth)) return false;
  TImageProperties& p = ImageProperties;
  p.Width = h.Width;
  p.Height = h.Height;
  p.BitsPerSample = 8;
  switch (h.PixelDepth) {
    case 8:
      p.ColorScheme = IsGrey(h.ImageType) ? csG : csIndexed;
      p.SamplesPerPixel = 1;
      break;
    case 16:
      // Sixteen-bit grey is a grey byte and an alpha byte, not 15-bit colour.
      if (IsGrey(h.ImageType)) {
        p.ColorScheme = csGA;
        p.SamplesPerPixel = 1;
        p.BitsPerPixel = 16;
        break;
      }
      [[fallthrough]];
    case 15:
      p.ColorScheme = csRGB;
      p.BitsPerSample = 5;
      p.SamplesPerPixel = 3;
      break;
    case 24:
      p.ColorScheme = csRGB;
      p.SamplesPerPixel = 3;
      break;
    default:
      p.ColorScheme = csRGBA;
      p.SamplesPerPixel = 4;
      break;
  }
  if (p.ColorScheme != csGA) p.BitsPerPixel = static_cast<uint8_t>(p.BitsPerSample * p.SamplesPerPixel);
  p.Compression = h.ImageType >= 9 && h.ImageType <= 11 ? ctRLE : ctNone;
  return true;
}

void TTargaGraphic::LoadFromMemory(const uint8_t* data, size_t size) {
  StartLoad();
  if (!ReadImageProperties(data, size, 0)) return;
  FProgressRect = {0, 0, static_cast<int>(ImageProperties.Width), 1};
  Progress(TProgressStage::psStarting, 0, "Preparing...");
  ClearOnFailure(*this, [&] {
    TByteReader r = FormatReader(data, size, kName);
    const TTargaHeader h = ReadHeader(r);
    const bool topDown = (h.Descriptor & TargaLayout::TopToBottom) != 0;
    r.Skip(h.IDLength, "image ID");
    const TImageProperties& p = ImageProperties;
    // Any other type codes its pixels in a way not read here: a blank picture in its place would
    // pass for a loaded one.
    if (h.ImageType != TargaLayout::NoImage && !HasPixelData(h.ImageType))
      FormatError(kName, "unsupported image type " + std::to_string(h.ImageType));
    // A file of no image data holds no pixels, so no size it declares is worth allocating.
    if (h.ImageType == TargaLayout::NoImage || h.Width == 0 || h.Height == 0) return;
    if (!ImageSizeAllowed(h.Width, h.Height, h.PixelDepth)) FormatError(kName, "picture too large");

    ColorManager.SourceOptions = 0;
    ColorManager.TargetOptions = 0;
    ColorManager.SetSourceSamples(p.SamplesPerPixel);
    ColorManager.SetTargetSamples(p.SamplesPerPixel);
    ColorManager.SetSourceScheme(p.ColorScheme);
    uint8_t targetScheme = p.ColorScheme;
    if (p.ColorScheme == csRGB) targetScheme = csBGR;
    if (p.ColorScheme == csRGBA) targetScheme = csBGRA;
    // Grey with alpha shows its grey; an 8-bit bitmap has no room for the alpha.
    const bool greyAlpha = p.ColorScheme == csGA;
    if (greyAlpha) targetScheme = csG;
    ColorManager.SetTargetScheme(targetScheme);
    ColorManager.SetSourceBits(p.BitsPerSample);
    ColorManager.SetTargetBits(p.BitsPerSample);
    SetPixelFormat(ColorManager.PixelFormatFor(1));

    if (IsGrey(h.ImageType)) SetPalette(ColorManager.MakeGreyPalette(false));
    if (h.ColorMapType == 1) {
      std::vector<TPaletteEntry> pal = ReadColourMap(r, h);
      if (PixelFormat() == TPixelFormat::pf8bit && !pal.empty()) SetPalette(CreatePalette(std::move(pal)));
    }
    const size_t pixelSize = (h.PixelDepth + 1u) / 8;
    const size_t rowSize = static_cast<size_t>(h.Width) * pixelSize;
    const uint32_t height = h.Height;
    const bool rle = (h.ImageType & TargaLayout::RLEOffset) != 0;
    // The data must be able to fill the picture before the picture is made: a run packet gives
    // at most 128 pixels.
    const uint64_t pixelCount = static_cast<uint64_t>(h.Width) * height;
    if (rle && r.Remaining() < (pixelCount + 127) / 128 * (pixelSize + 1))
      FormatError(kName, "run-length data ends early");
    if (!rle) r.RequireCount(height, rowSize, "pixel rows");
    SetSize(h.Width, h.Height);
    Progress(TProgressStage::psEnding, 0, "");
    Progress(TProgressStage::psStarting, 0, "Transfering...");
    auto placeRow = [&](uint32_t y, const uint8_t* row) {
      uint8_t* line = ScanLine(TargetLine(y, height, topDown));
      if (greyAlpha)
        ColorManager.ConvertRow(row, line, h.Width, 0xFF);
      else
        std::memcpy(line, row, rowSize);
    };
    if (rle) {
      // Packets may run on into the next row: the decoder carries a cut packet over, so each
      // row is decoded straight into its scan line.
      TTargaRLEDecoder decoder(h.PixelDepth);
      decoder.DecodeInit();
      const uint8_t* source = data + r.Pos();
      const uint8_t* end = data + size;
      std::vector<uint8_t> row(greyAlpha ? rowSize : 0);
      for (uint32_t y = 0; y < height; ++y) {
        // Grey with alpha goes through one row's buffer to lose its alpha; the rest is stored
        // as the bitmap holds it.
        uint8_t* target = greyAlpha ? row.data() : ScanLine(TargetLine(y, height, topDown));
        decoder.Decode(source, target, static_cast<size_t>(end - source), h.Width);
        if (decoder.LastOutput != rowSize) FormatError(kName, "run-length data ends early");
        if (greyAlpha) placeRow(y, row.data());
        RowProgress(y, height);
      }
    } else {
      for (uint32_t y = 0; y < height; ++y) {
        placeRow(y, r.Bytes(rowSize, "pixel row"));
        RowProgress(y, height);
      }
    }
    if (h.Descriptor & TargaLayout::RightToLeft) MirrorRows(*this, greyAlpha ? 1 : pixelSize);
    Progress(TProgressStage::psEnding, 0, "");
  });
}

std::vector<uint8_t> TTargaGraphic::SaveToMemory(bool compressed) const {
  std::vector<uint8_t> out;
  if (Empty()) return out;
  FProgressRect = {0, 0, Width(), 1};
  Progress(TProgressStage::psStarting, 0, "Preparing...");
  // The encoder works on whole pixels of 1 to 4 bytes: narrow formats widen to 8 bits, and
  // 16-bit 5-6-5 pixels, which Targa has no way to say, become 5-5-5.
  TBitmap copy;
  const TBitmap* src = this;
  size_t bpp = 0;
  switch (PixelFormat()) {
    case TPixelFormat::pf1bit:
    case TPixelFormat::pf4bit:
      copy = *this;
      copy.SetPixelFormat(TPixelFormat::pf8bit);
      src = &copy;
      bpp = 1;
      break;
    case TPixelFormat::pf8bit: bpp = 1; break;
    case TPixelFormat::pf16bit:
      copy = *this;
      copy.SetPixelFormat(TPixelFormat::pf15bit);
      src = &copy;
      bpp = 2;
      break;
    case TPixelFormat::pf15bit: bpp = 2; break;
    case TPixelFormat::pf32bit: bpp = 4; break;
    case TPixelFormat::pf24bit: bpp = 3; break;
    default:
      copy = *this;
      copy.SetPixelFormat(TPixelFormat::pf24bit);
      src = &copy;
      bpp = 3;
      break;
  }
  const bool mapped = bpp == 1;
  const uint16_t w = static_cast<uint16_t>(Width()), h = static_cast<uint16_t>(Height());
  if (Width() > 0xFFFF || Height() > 0xFFFF) GraphicError("A Targa image is at most 65535 pixels wide and high");
  const uint8_t type = static_cast<uint8_t>((mapped ? 1 : 2) + (compressed ? 8 : 0));
  const uint8_t header[18] = {0,
                              static_cast<uint8_t>(mapped ? 1 : 0),
                              type,
                              0,
                              0,
                              0,
                              1,  // 256 entries
                              24,
                              0,
                              0,
                              0,
                              0,
                              static_cast<uint8_t>(w),
                              static_cast<uint8_t>(w >> 8),
                              static_cast<uint8_t>(h),
                              static_cast<uint8_t>(h >> 8),
                              static_cast<uint8_t>(bpp * 8),
                              TargaLayout::TopToBottom};
  // Room for every row as literal packets, so the vector is not copied as it grows.
  const size_t rowSize = static_cast<size_t>(w) * bpp;
  out.reserve(18 + (mapped ? 768 : 0) + static_cast<size_t>(h) * (rowSize + (compressed ? (w + 127) / 128 : 0)));
  out.assign(header, header + 18);
  if (mapped) {
    const HPALETTE pal = src->Palette() ? src->Palette() : DefaultPalette(TPixelFormat::pf8bit);
    for (int i = 0; i < 256; ++i) {
      TPaletteEntry e;
      if (pal && i < PaletteEntryCount(pal)) e = pal->Entries[static_cast<size_t>(i)];
      out.insert(out.end(), {e.peBlue, e.peGreen, e.peRed});
    }
  }
  std::vector<uint8_t> buffer(2 * rowSize + 2);
  TTargaRLEDecoder encoder(static_cast<unsigned>(bpp * 8));
  for (int y = 0; y < h; ++y) {
    const uint8_t* line = src->ScanLine(y);
    if (compressed) {
      size_t stored = 0;
      encoder.Encode(line, buffer.data(), w, stored);
      out.insert(out.end(), buffer.data(), buffer.data() + stored);
    } else {
      out.insert(out.end(), line, line + rowSize);
    }
    RowProgress(static_cast<uint32_t>(y), h);
  }
  Progress(TProgressStage::psEnding, 0, "");
  return out;
}

void TTargaGraphic::SaveToStream(TStream& stream) const {
  const std::vector<uint8_t> bytes = SaveToMemory();
  if (!bytes.empty()) stream.WriteBuffer(bytes.data(), bytes.size());
}

void TTargaGraphic::SaveToFile(const std::string& fileName) const {
  const std::vector<uint8_t> bytes = SaveToMemory();
  WriteFileAtomically(fileName, bytes.data(), bytes.size());
}

const TGraphicClassRef& TargaGraphicClass() {
  static const TGraphicClassRef cls = MakeFormatClass<TTargaGraphic>("TTargaGraphic");
  return cls;
}
