// Photoshop reading: the merged image behind the three sections.
#include "codecs/PSDGraphic.h"

#include <algorithm>
#include <cctype>
#include <cstring>

#include "codecs/FormatSupport.h"
#include "codecs/GraphicCompression.h"

namespace {

constexpr const char* kName = "PSD or PDD";

namespace PSDLayout {
constexpr size_t HeaderSize = 26;
constexpr uint16_t Version = 1;
enum Mode : uint16_t {
  Bitmap = 0,
  Greyscale = 1,
  Indexed = 2,
  RGB = 3,
  CMYK = 4,
  Multichannel = 7,
  Duotone = 8,
  Lab = 9
};
constexpr size_t PaletteSize = 768;
}  // namespace PSDLayout

uint16_t BE16(const uint8_t* p) { return static_cast<uint16_t>(p[0] << 8 | p[1]); }
uint32_t BE32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) << 24 | static_cast<uint32_t>(p[1]) << 16 | static_cast<uint32_t>(p[2]) << 8 |
         p[3];
}

bool SignatureOk(const uint8_t* d, bool anyCase) {
  for (size_t i = 0; i < 4; ++i) {
    const char c = static_cast<char>(anyCase ? std::toupper(d[i]) : d[i]);
    if (c != "8BPS"[i]) return false;
  }
  return true;
}

// Grey-like modes keep one channel whatever extra channels the file has.
bool OneSampleMode(uint16_t mode) {
  return mode == PSDLayout::Bitmap || mode == PSDLayout::Greyscale || mode == PSDLayout::Duotone ||
         mode == PSDLayout::Indexed;
}

}  // namespace

bool TPSDGraphic::CanLoad(const uint8_t* data, size_t size) const {
  return size > PSDLayout::HeaderSize && SignatureOk(data, true) && BE16(data + 4) == PSDLayout::Version;
}

bool TPSDGraphic::ReadImageProperties(const uint8_t* data, size_t size, unsigned imageIndex) {
  TImageFormatGraphic::ReadImageProperties(data, size, imageIndex);
  if (size < PSDLayout::HeaderSize || !SignatureOk(data, false)) return false;
  TImageProperties& p = ImageProperties;
  p.Version = BE16(data + 4);
  Channels = BE16(data + 12);
  p.Height = BE32(data + 14);
  p.Width = BE32(data + 18);
  const uint16_t depth = BE16(data + 22);
  Mode = BE16(data + 24);
  p.Options = ioBigEndian;
  p.BitsPerSample = static_cast<uint8_t>(std::min<uint16_t>(depth, 255));
  p.SamplesPerPixel =
      static_cast<uint8_t>(OneSampleMode(Mode) ? std::min<uint16_t>(Channels, 1) : std::min<uint16_t>(Channels, 4));
  p.BitsPerPixel = static_cast<uint8_t>(p.SamplesPerPixel * p.BitsPerSample);
  switch (Mode) {
    case PSDLayout::Bitmap: p.ColorScheme = csG, p.Options |= ioMinIsWhite; break;
    case PSDLayout::Greyscale:
    case PSDLayout::Duotone: p.ColorScheme = csG; break;
    case PSDLayout::Indexed: p.ColorScheme = csIndexed; break;
    case PSDLayout::RGB:
    case PSDLayout::Multichannel: p.ColorScheme = Channels == 3 ? csRGB : csRGBA; break;
    case PSDLayout::CMYK: p.ColorScheme = csCMYK; break;
    case PSDLayout::Lab: p.ColorScheme = csCIELab; break;
    default: p.ColorScheme = csUnknown; break;
  }
  // The three sections, each a length and its bytes, then the compression word.
  size_t pos = PSDLayout::HeaderSize;
  for (int i = 0; i < 3; ++i) {
    if (size - pos < 4) return false;
    const uint32_t length = BE32(data + pos);
    if (length > size - pos - 4) return false;
    pos += 4 + length;
  }
  if (size - pos < 2) return false;
  p.Compression = BE16(data + pos) == 1 ? ctPackedBits : ctNone;
  return true;
}

void TPSDGraphic::LoadFromMemory(const uint8_t* data, size_t size) {
  StartLoad();
  if (!ReadImageProperties(data, size, 0)) GraphicErrorFmt(gesInvalidImage, kName);
  const TImageProperties& p = ImageProperties;
  const uint32_t w = p.Width, h = p.Height;
  FProgressRect = {0, 0, static_cast<int>(w), 1};
  Progress(TProgressStage::psStarting, 0, "Preparing...");
  ClearOnFailure(*this, [&] {
    // Version 2 files have wider fields throughout; they are not read.
    if (p.Version != PSDLayout::Version) FormatError(kName, "version " + std::to_string(p.Version) + " is not read");
    const unsigned bits = p.BitsPerSample;
    if (bits != 1 && bits != 8 && bits != 16) FormatError(kName, "unsupported depth " + std::to_string(bits));
    if (p.ColorScheme == csUnknown) FormatError(kName, "unsupported colour mode " + std::to_string(Mode));
    if (bits == 1 && Mode != PSDLayout::Bitmap) FormatError(kName, "1-bit data outside bitmap mode");
    const unsigned samples = p.SamplesPerPixel;
    const unsigned needed = p.ColorScheme == csRGB || p.ColorScheme == csCIELab  ? 3
                            : p.ColorScheme == csRGBA || p.ColorScheme == csCMYK ? 4
                                                                                 : 1;
    if (samples < needed) FormatError(kName, "too few channels for the colour mode");
    if (!ImageSizeAllowed(w, h, bits * samples)) FormatError(kName, "picture size out of range");

    TColorManager& cm = ColorManager;
    cm.SourceOptions = bits == 16 ? coNeedByteSwap : 0;
    if (p.ColorScheme == csCIELab) cm.SourceOptions |= coLabByteRange | coLabChromaOffset;
    cm.TargetOptions = 0;
    cm.SetSourceBits(static_cast<uint8_t>(bits));
    cm.SetTargetBits(static_cast<uint8_t>(bits == 16 ? 8 : bits));
    cm.SetSourceSamples(static_cast<uint8_t>(samples));
    uint8_t target = p.ColorScheme;
    uint8_t targetSamples = static_cast<uint8_t>(samples);
    switch (p.ColorScheme) {
      case csRGB: target = csBGR; break;
      case csRGBA: target = csBGRA; break;
      case csCMYK:
      case csCIELab: target = csBGR, targetSamples = 3; break;
      default: break;
    }
    cm.SetTargetSamples(targetSamples);
    cm.SetSourceScheme(p.ColorScheme);
    cm.SetTargetScheme(target);
    SetPixelFormat(cm.PixelFormatFor(1));

    TByteReader r = FormatReader(data, size, kName);
    r.Seek(PSDLayout::HeaderSize, "colour mode data");
    const uint32_t modeLength = r.U32BE("colour mode data length");
    const uint8_t* modeData = r.Bytes(modeLength, "colour mode data");
    if (p.ColorScheme == csIndexed) {
      if (modeLength < PSDLayout::PaletteSize) FormatError(kName, "the palette holds fewer than 256 colours");
      const uint8_t* planes[3] = {modeData, modeData + 256, modeData + 512};
      SetPalette(cm.MakeColourPalette(std::span<const uint8_t* const>(planes, 3), 2, 256, false));
    } else if (p.ColorScheme == csG) {
      SetPalette(cm.MakeGreyPalette((p.Options & ioMinIsWhite) != 0));
    }
    r.Skip(r.U32BE("image resources length"), "image resources");
    r.Skip(r.U32BE("layer and mask length"), "layer and mask information");
    const uint16_t compression = r.U16BE("compression");
    if (compression > 1) FormatError(kName, "unsupported compression " + std::to_string(compression));

    const size_t rowBytes = (static_cast<size_t>(w) * bits + 7) / 8;
    const size_t rowsInFile = static_cast<size_t>(h) * Channels;
    // Where each row of each used channel starts, checked against the data before decoding.
    std::vector<uint64_t> rowStart;
    std::vector<uint16_t> rowLength;
    if (compression == 1) {
      r.RequireCount(rowsInFile, 2, "row byte counts");
      rowLength.resize(static_cast<size_t>(h) * samples);
      rowStart.resize(rowLength.size());
      const uint8_t* counts = r.Bytes(rowsInFile * 2, "row byte counts");
      uint64_t at = r.Pos();
      for (size_t i = 0; i < rowsInFile; ++i) {
        const uint16_t n = BE16(counts + 2 * i);
        if (i < rowLength.size()) rowStart[i] = at, rowLength[i] = n;
        at += n;
      }
      if (!rowStart.empty() && rowStart.back() + rowLength.back() > size) FormatError(kName, "image data ends early");
      // A run of two bytes gives at most 128.
      CheckProportion(kName, size, static_cast<uint64_t>(rowBytes) * h * samples, 64);
    } else {
      r.RequireCount(static_cast<uint64_t>(h) * samples, rowBytes, "image rows");
    }
    const size_t dataStart = r.Pos();

    SetSize(static_cast<int>(w), static_cast<int>(h));
    // One row of each channel at a time: raw rows are read where they lie, PackBits rows are
    // decoded into one row's planes, or straight into the scan line when there is nothing to
    // convert (one channel of bytes or bits).
    const bool direct = samples == 1 && bits != 16;
    std::vector<uint8_t> planes(rowBytes * samples);
    const uint8_t* pointers[4];
    TPackbitsRLEDecoder decoder;
    for (uint32_t y = 0; y < h; ++y) {
      uint8_t* line = ScanLine(static_cast<int>(y));
      for (unsigned c = 0; c < samples; ++c) {
        uint8_t* plane = planes.data() + c * rowBytes;
        const size_t index = static_cast<size_t>(c) * h + y;
        if (compression == 1) {
          const uint8_t* s = data + rowStart[index];
          uint8_t* t = direct ? line : plane;
          decoder.Decode(s, t, rowLength[index], rowBytes);
          if (decoder.LastOutput != rowBytes) FormatError(kName, "PackBits row too short");
          pointers[c] = t;
        } else {
          pointers[c] = data + dataStart + index * rowBytes;
        }
        if (p.ColorScheme == csCMYK) {
          // Photoshop stores CMYK inverted: 0 is full ink.
          if (pointers[c] != plane) std::memcpy(plane, pointers[c], rowBytes), pointers[c] = plane;
          for (size_t i = 0; i < rowBytes; ++i) plane[i] = static_cast<uint8_t>(~plane[i]);
        }
      }
      if (pointers[0] != line) {
        if (bits == 1)
          std::memcpy(line, pointers[0], rowBytes);
        else
          cm.ConvertRow(std::span<const uint8_t* const>(pointers, samples), line, w, 0xFF);
      }
      RowProgress(y, h);
    }
    Progress(TProgressStage::psEnding, 0, "");
  });
}

const TGraphicClassRef& PSDGraphicClass() {
  static const TGraphicClassRef cls = MakeFormatClass<TPSDGraphic>("TPSDGraphic");
  return cls;
}
