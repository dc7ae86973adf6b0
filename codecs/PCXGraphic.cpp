// PCX reading.
#include "codecs/PCXGraphic.h"

#include <cstring>

#include "codecs/FormatSupport.h"
#include "codecs/GraphicCompression.h"

namespace {

constexpr const char* kName = "PCX or SCR";

namespace PCXLayout {
constexpr size_t HeaderSize = 128;
constexpr uint8_t ZSoft = 10, WordCapture = 0xCD;
constexpr size_t PaletteTail = 769;  // the byte 12 and 256 RGB triples
constexpr uint8_t PaletteMarker = 12;
constexpr uint16_t GreyPalette = 2;
}  // namespace PCXLayout

struct TPCXHeader {
  uint8_t Maker = 0, Version = 0, Encoding = 0, BitsPerPixel = 0;
  int XMin = 0, YMin = 0, XMax = 0, YMax = 0;
  uint16_t XRes = 0, YRes = 0;
  const uint8_t* Palette16 = nullptr;
  uint8_t Planes = 0;
  uint16_t BytesPerLine = 0, PaletteType = 0;
};

TPCXHeader ReadHeader(const uint8_t* d) {
  auto u16 = [d](size_t at) { return static_cast<uint16_t>(d[at] | (d[at + 1] << 8)); };
  TPCXHeader h;
  h.Maker = d[0];
  h.Version = d[1];
  h.Encoding = d[2];
  h.BitsPerPixel = d[3];
  h.XMin = u16(4), h.YMin = u16(6), h.XMax = u16(8), h.YMax = u16(10);
  h.XRes = u16(12), h.YRes = u16(14);
  h.Palette16 = d + 16;
  h.Planes = d[65];
  h.BytesPerLine = u16(66);
  h.PaletteType = u16(68);
  return h;
}

bool KnownMaker(uint8_t maker) { return maker == PCXLayout::ZSoft || maker == PCXLayout::WordCapture; }

}  // namespace

bool TPCXGraphic::CanLoad(const uint8_t* data, size_t size) const {
  if (size <= PCXLayout::HeaderSize) return false;
  const TPCXHeader h = ReadHeader(data);
  const bool version = h.Version == 0 || h.Version == 2 || h.Version == 3 || h.Version == 5;
  return KnownMaker(h.Maker) && version && h.Encoding <= 1;
}

bool TPCXGraphic::ReadImageProperties(const uint8_t* data, size_t size, unsigned imageIndex) {
  TImageFormatGraphic::ReadImageProperties(data, size, imageIndex);
  if (size < PCXLayout::HeaderSize) return false;
  const TPCXHeader h = ReadHeader(data);
  if (!KnownMaker(h.Maker)) return false;
  TImageProperties& p = ImageProperties;
  // A right edge left of the left one would wrap to a huge width.
  p.Width = h.XMax >= h.XMin ? static_cast<uint32_t>(h.XMax - h.XMin + 1) : 0;
  p.Height = h.YMax >= h.YMin ? static_cast<uint32_t>(h.YMax - h.YMin + 1) : 0;
  p.SamplesPerPixel = h.Planes;
  p.BitsPerSample = h.BitsPerPixel;
  p.BitsPerPixel = static_cast<uint8_t>(h.Planes * h.BitsPerPixel);
  p.ColorScheme = p.BitsPerPixel > 8 ? csRGB : csIndexed;
  p.Compression = h.Encoding == 1 ? ctRLE : ctNone;
  p.XResolution = h.XRes;
  p.YResolution = h.YRes;
  return true;
}

void TPCXGraphic::LoadFromMemory(const uint8_t* data, size_t size) {
  StartLoad();
  if (!ReadImageProperties(data, size, 0)) return;
  FProgressRect = {0, 0, static_cast<int>(ImageProperties.Width), 1};
  Progress(TProgressStage::psStarting, 0, "Preparing...");
  ClearOnFailure(*this, [&] {
    const TPCXHeader h = ReadHeader(data);
    const TImageProperties& p = ImageProperties;
    if (h.XMax < h.XMin || h.YMax < h.YMin)
      FormatError(kName, "the right or bottom edge lies before the left or top one");
    if (h.Planes == 0 || h.BitsPerPixel == 0) FormatError(kName, "no planes or no bits per pixel");
    const uint64_t needed = (static_cast<uint64_t>(p.Width) * h.BitsPerPixel + 7) / 8;
    if (h.BytesPerLine < needed) FormatError(kName, "bytes per line too few for the width");
    // Lines are padded to an even length; far longer lines would only make the buffers huge.
    if (h.BytesPerLine > needed + 1024) FormatError(kName, "bytes per line out of proportion to the width");
    if (!ImageSizeAllowed(p.Width, p.Height, p.BitsPerPixel)) FormatError(kName, "picture too large");

    const bool indexed = p.ColorScheme == csIndexed;
    // Two to four planes of one bit make up 4-bit indices (writers use three for 8 colours).
    const bool bitPlanes = h.Planes >= 2 && h.Planes <= 4 && h.BitsPerPixel == 1;
    const bool trueColour = !indexed && h.BitsPerPixel == 8 && (h.Planes == 3 || h.Planes == 4);
    TPixelFormat format;
    if (bitPlanes) {
      format = TPixelFormat::pf4bit;
    } else if (trueColour) {
      // Four planes of 8 bits carry alpha in the last one.
      ColorManager.SetSourceScheme(h.Planes == 4 ? csRGBA : csRGB);
      ColorManager.SetTargetScheme(h.Planes == 4 ? csBGRA : csBGR);
      ColorManager.SetSourceBits(8);
      ColorManager.SetTargetBits(8);
      ColorManager.SetSourceSamples(h.Planes);
      ColorManager.SetTargetSamples(h.Planes);
      format = ColorManager.PixelFormatFor(1);
    } else if (h.Planes == 1 &&
               (h.BitsPerPixel == 1 || h.BitsPerPixel == 2 || h.BitsPerPixel == 4 || h.BitsPerPixel == 8)) {
      format = h.BitsPerPixel == 1   ? TPixelFormat::pf1bit
               : h.BitsPerPixel == 8 ? TPixelFormat::pf8bit
                                     : TPixelFormat::pf4bit;
    } else {
      GraphicErrorFmt("Invalid color format in %s file.", "PCX");
    }
    SetPixelFormat(format);

    // The image data runs to the end of the file, less the 256-colour palette behind it.
    size_t dataEnd = size;
    if (format == TPixelFormat::pf8bit && size >= PCXLayout::HeaderSize + PCXLayout::PaletteTail)
      dataEnd -= PCXLayout::PaletteTail;

    if (format == TPixelFormat::pf1bit) {
      SetPalette(CreatePalette({{0, 0, 0, 0}, {255, 255, 255, 0}}));
    } else if (format == TPixelFormat::pf4bit) {
      std::vector<TPaletteEntry> pal(16);
      if (h.Version == 3) {
        SetPalette(DefaultPalette(TPixelFormat::pf4bit));
      } else if (h.PaletteType == PCXLayout::GreyPalette) {
        for (size_t i = 0; i < 16; ++i) pal[i].peRed = pal[i].peGreen = pal[i].peBlue = static_cast<uint8_t>(i * 17);
        SetPalette(CreatePalette(std::move(pal)));
      } else {
        for (size_t i = 0; i < 16; ++i)
          pal[i] = {h.Palette16[3 * i], h.Palette16[3 * i + 1], h.Palette16[3 * i + 2], 0};
        SetPalette(CreatePalette(std::move(pal)));
      }
    } else if (format == TPixelFormat::pf8bit) {
      const uint8_t* tail = data + size - PCXLayout::PaletteTail;
      if (dataEnd < size && tail[0] == PCXLayout::PaletteMarker) {
        std::vector<TPaletteEntry> pal(256);
        for (size_t i = 0; i < 256; ++i) pal[i] = {tail[1 + 3 * i], tail[2 + 3 * i], tail[3 + 3 * i], 0};
        SetPalette(CreatePalette(std::move(pal)));
      } else if (h.PaletteType == PCXLayout::GreyPalette) {
        std::vector<TPaletteEntry> pal(256);
        for (size_t i = 0; i < 256; ++i) pal[i].peRed = pal[i].peGreen = pal[i].peBlue = static_cast<uint8_t>(i);
        SetPalette(CreatePalette(std::move(pal)));
      }
    }

    const size_t lineSize = static_cast<size_t>(h.Planes) * h.BytesPerLine;
    const size_t total = lineSize * p.Height;
    const uint8_t* image = data + PCXLayout::HeaderSize;
    const size_t available = dataEnd - PCXLayout::HeaderSize;
    // A run of two bytes gives at most 63: less data than that cannot fill the picture, which
    // is known before anything is allocated.
    if (h.Encoding == 1 ? static_cast<uint64_t>(available) * 63 / 2 + 63 < total : available < total)
      FormatError(kName, "image data ends early");
    SetSize(static_cast<int>(p.Width), static_cast<int>(p.Height));

    Progress(TProgressStage::psStarting, 0, "Transfering...");
    const size_t planeBytes = h.BytesPerLine;
    // Runs may cross lines; the decoder carries them over, so each line is decoded on its own:
    // into its scan line when the line is kept as stored and fits there, else into one line's buffer.
    const bool asStored = !bitPlanes && !trueColour && h.BitsPerPixel != 2;
    const size_t used = (static_cast<size_t>(p.Width) * h.BitsPerPixel + 7) / 8;
    const bool inPlace = h.Encoding == 1 && asStored && lineSize <= RowBytes();
    std::vector<uint8_t> lineBuffer(h.Encoding == 1 && !inPlace ? lineSize : 0);
    TPCXRLEDecoder decoder;
    decoder.DecodeInit();
    const uint8_t* source = image;
    const uint8_t* const sourceEnd = image + available;
    for (uint32_t y = 0; y < p.Height; ++y) {
      uint8_t* target = ScanLine(static_cast<int>(y));
      const uint8_t* line = image + y * lineSize;
      if (h.Encoding == 1) {
        uint8_t* decoded = inPlace ? target : lineBuffer.data();
        line = decoded;
        decoder.Decode(source, decoded, static_cast<size_t>(sourceEnd - source), lineSize);
        if (decoder.LastOutput != lineSize) FormatError(kName, "image data ends early");
        source += decoder.LastInput;
        if (inPlace) {
          // The line's own padding must not show in the scan line's.
          std::memset(target + used, 0, lineSize - used);
          RowProgress(y, p.Height);
          continue;
        }
      }
      if (bitPlanes) {
        std::memset(target, 0, (static_cast<size_t>(p.Width) * 4 + 7) / 8);
        for (uint32_t x = 0; x < p.Width; ++x) {
          unsigned v = 0;
          for (unsigned plane = 0; plane < h.Planes; ++plane)
            v |= ((line[plane * planeBytes + x / 8] >> (7 - x % 8)) & 1u) << plane;
          target[x / 2] |= static_cast<uint8_t>(x & 1 ? v : v << 4);
        }
      } else if (trueColour) {
        const uint8_t* planes[4] = {line, line + planeBytes, line + 2 * planeBytes, line + 3 * planeBytes};
        ColorManager.ConvertRow(std::span<const uint8_t* const>(planes, h.Planes), target, p.Width, 0xFF);
      } else if (h.BitsPerPixel == 2) {
        // Two-bit values index the first four colours: widen them to nibbles without scaling.
        std::memset(target, 0, (static_cast<size_t>(p.Width) + 1) / 2);
        for (uint32_t x = 0; x < p.Width; ++x) {
          const unsigned v = (line[x / 4] >> (6 - 2 * (x % 4))) & 3u;
          target[x / 2] |= static_cast<uint8_t>(x & 1 ? v : v << 4);
        }
      } else {
        std::memcpy(target, line, used);
      }
      RowProgress(y, p.Height);
    }
    Progress(TProgressStage::psEnding, 0, "");
  });
}

const TGraphicClassRef& PCXGraphicClass() {
  static const TGraphicClassRef cls = MakeFormatClass<TPCXGraphic>("TPCXGraphic");
  return cls;
}
