// Portable map reading.
#include "codecs/PPMGraphic.h"

#include <cstring>

#include "codecs/FormatSupport.h"

namespace {

constexpr const char* kName = "PBM, PGM or PPM";

[[noreturn]] void ReadError() { GraphicErrorFmt("Stream read error in %s file.", "PPM"); }
[[noreturn]] void Invalid(const std::string& detail) { FormatError(kName, detail); }

// The text scanner over the whole file: numbers separated by white space, comments from "#" to
// the end of their line.
class TScanner {
 public:
  TScanner(const uint8_t* data, size_t size) : FData(data), FSize(size) {}
  size_t Pos() const { return FPos; }
  size_t Remaining() const { return FSize - FPos; }
  const uint8_t* Here() const { return FData + FPos; }
  void Advance(size_t n) { FPos += n; }

  int Next() {
    if (FPos >= FSize) ReadError();
    return FData[FPos++];
  }
  // Skips white space and comments up to the next significant character, which stays unread.
  int Peek() {
    for (;;) {
      if (FPos >= FSize) ReadError();
      const int c = FData[FPos];
      if (c == '#') {
        while (FPos < FSize && FData[FPos] != '\n' && FData[FPos] != '\r') ++FPos;
      } else if (c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f') {
        ++FPos;
      } else {
        return c;
      }
    }
  }
  // A decimal number; the character after it is consumed (the one separator before raw data).
  uint32_t Number(const char* field) {
    int c = Peek();
    if (c < '0' || c > '9') Invalid(std::string("a number was expected for the ") + field);
    uint64_t v = 0;
    while (FPos < FSize && FData[FPos] >= '0' && FData[FPos] <= '9') {
      v = v * 10 + (FData[FPos++] - '0');
      if (v > 0xFFFFFFFFu) Invalid(std::string("the ") + field + " is too large");
    }
    if (FPos < FSize) ++FPos;
    return static_cast<uint32_t>(v);
  }
  // One plain bit: a "0" or "1" with or without separators around it.
  unsigned Bit() {
    const int c = Peek();
    if (c != '0' && c != '1') Invalid("a bit was expected");
    ++FPos;
    return static_cast<unsigned>(c - '0');
  }

 private:
  const uint8_t* FData;
  size_t FSize, FPos = 0;
};

struct TPPMHeader {
  int Kind = 0;  // the digit after "P"
  uint32_t Width = 0, Height = 0, MaxVal = 1;
};

// Reads the magic and the numbers after it, wherever the line breaks fall.
TPPMHeader ReadHeader(TScanner& s) {
  TPPMHeader h;
  if (s.Next() != 'P') Invalid("the magic \"P\" is missing");
  const int digit = s.Next();
  if (digit < '1' || digit > '6') Invalid("unknown portable map kind");
  h.Kind = digit - '0';
  h.Width = s.Number("width");
  h.Height = s.Number("height");
  if (h.Kind != 1 && h.Kind != 4) {
    h.MaxVal = s.Number("maximum value");
    if (h.MaxVal == 0 || h.MaxVal > 65535) Invalid("maximum value out of range");
  }
  return h;
}

uint8_t Scale(uint32_t v, uint32_t maxVal) {
  if (v >= maxVal) return 255;
  return static_cast<uint8_t>((v * 255 + maxVal / 2) / maxVal);
}

}  // namespace

bool TPPMGraphic::CanLoad(const uint8_t* data, size_t size) const {
  return size >= 11 && data[0] == 'P' && data[1] >= '1' && data[1] <= '6';
}

bool TPPMGraphic::ReadImageProperties(const uint8_t* data, size_t size, unsigned imageIndex) {
  TImageFormatGraphic::ReadImageProperties(data, size, imageIndex);
  if (size < 2 || data[0] != 'P') return false;
  TScanner s(data, size);
  const TPPMHeader h = ReadHeader(s);
  TImageProperties& p = ImageProperties;
  p.Width = h.Width;
  p.Height = h.Height;
  switch (h.Kind) {
    case 1:
    case 4: p.ColorScheme = csIndexed, p.BitsPerSample = 1, p.SamplesPerPixel = 1; break;
    case 2:
    case 5: p.ColorScheme = csIndexed, p.BitsPerSample = 8, p.SamplesPerPixel = 1; break;
    default: p.ColorScheme = csRGB, p.BitsPerSample = 8, p.SamplesPerPixel = 3; break;
  }
  p.BitsPerPixel = static_cast<uint8_t>(p.BitsPerSample * p.SamplesPerPixel);
  p.Compression = ctNone;
  return true;
}

void TPPMGraphic::LoadFromMemory(const uint8_t* data, size_t size) {
  StartLoad();
  if (!ReadImageProperties(data, size, 0)) Invalid("the magic \"P\" is missing");
  FProgressRect = {0, 0, static_cast<int>(ImageProperties.Width), 1};
  Progress(TProgressStage::psStarting, 0, "Preparing...");
  ClearOnFailure(*this, [&] {
    TScanner s(data, size);
    const TPPMHeader h = ReadHeader(s);
    const uint32_t w = h.Width, height = h.Height;
    if (!ImageSizeAllowed(w, height, ImageProperties.BitsPerPixel)) Invalid("picture size out of range");
    const bool plain = h.Kind <= 3;
    const bool wide = h.MaxVal > 255;
    const unsigned samples = h.Kind == 3 || h.Kind == 6 ? 3 : 1;
    const size_t sampleBytes = wide ? 2 : 1;
    // Raw data must be all there before anything is allocated for it; plain values take at
    // least two characters each.
    uint64_t rowBytes = h.Kind == 4 ? (w + 7) / 8 : static_cast<uint64_t>(w) * samples * sampleBytes;
    if (plain) rowBytes = h.Kind == 1 ? w : static_cast<uint64_t>(w) * samples * 2;
    if (rowBytes * height > s.Remaining() + (plain ? 1 : 0)) ReadError();

    if (h.Kind == 1 || h.Kind == 4) {
      SetPixelFormat(TPixelFormat::pf1bit);
      SetPalette(CreatePalette({{255, 255, 255, 0}, {0, 0, 0, 0}}));
    } else if (samples == 1) {
      SetPixelFormat(TPixelFormat::pf8bit);
      SetPalette(ColorManager.MakeGreyPalette(false));
    } else {
      SetPixelFormat(TPixelFormat::pf24bit);
    }
    SetSize(static_cast<int>(w), static_cast<int>(height));

    auto sample = [&]() -> uint8_t {
      uint32_t v;
      if (plain) {
        v = s.Number("sample");
      } else if (wide) {
        v = static_cast<uint32_t>(s.Here()[0] << 8 | s.Here()[1]);
        s.Advance(2);
      } else {
        v = *s.Here();
        s.Advance(1);
      }
      return h.MaxVal == 255 ? static_cast<uint8_t>(v > 255 ? 255 : v) : Scale(v, h.MaxVal);
    };
    for (uint32_t y = 0; y < height; ++y) {
      uint8_t* line = ScanLine(static_cast<int>(y));
      if (h.Kind == 4) {
        std::memcpy(line, s.Here(), (w + 7) / 8);
        s.Advance((w + 7) / 8);
      } else if (h.Kind == 1) {
        std::memset(line, 0, (w + 7) / 8);
        for (uint32_t x = 0; x < w; ++x) line[x / 8] |= static_cast<uint8_t>(s.Bit() << (7 - x % 8));
      } else if (samples == 1) {
        if (!plain && !wide && h.MaxVal == 255) {
          std::memcpy(line, s.Here(), w);
          s.Advance(w);
        } else {
          for (uint32_t x = 0; x < w; ++x) line[x] = sample();
        }
      } else {
        for (uint32_t x = 0; x < w; ++x) {
          const uint8_t r = sample(), g = sample(), b = sample();
          line[3 * x] = b, line[3 * x + 1] = g, line[3 * x + 2] = r;
        }
      }
      RowProgress(y, height);
    }
    Progress(TProgressStage::psEnding, 0, "");
  });
}

const TGraphicClassRef& PPMGraphicClass() {
  static const TGraphicClassRef cls = MakeFormatClass<TPPMGraphic>("TPPMGraphic");
  return cls;
}
