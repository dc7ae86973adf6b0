#pragma once
// TColorManager: turns rows of samples as an image file stores them into rows of a TBitmap.
// A reader states what its samples are (scheme, bits, samples per pixel, byte order, gamma) and
// what the bitmap needs; the manager picks one row converter for that combination and reuses
// it until a setting changes. It also builds grey and colour palettes for indexed bitmaps.
#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "platform/Bitmap.h"
#include "platform/Exceptions.h"

CORVANE_EXCEPTION(EColorConversionError, Exception)

// Colour schemes; the numbering is shared with TImageProperties.
enum TColorScheme : uint8_t {
  csUnknown = 0,
  csIndexed = 1,
  csG = 2,
  csGA = 3,
  csRGB = 4,
  csRGBA = 5,
  csBGR = 6,
  csBGRA = 7,
  csCMY = 8,
  csCMYK = 9,
  csCIELab = 10,
  csYCbCr = 11,
  csPhotoYCC = 12,
};

// Conversion option bits, one byte for the source and one for the target.
constexpr uint8_t coAlpha = 1;             // the side carries an alpha sample (set from the scheme)
constexpr uint8_t coApplyGamma = 2;        // target: source samples go through the gamma table
constexpr uint8_t coNeedByteSwap = 4;      // source: 16-bit samples are stored big-endian
constexpr uint8_t coLabByteRange = 8;      // source: L* stored as 0..255
constexpr uint8_t coLabChromaOffset = 16;  // source: a* and b* stored unsigned, 128 added

// Swaps the first and third byte of count 3-byte pixels (RGB to BGR and back); dst may be src.
void SwapRGB8(const uint8_t* src, uint8_t* dst, size_t count);
// count 8-bit RGB pixels stored with TIFF's horizontal predictor (each sample the difference from
// the same sample of the pixel before) into BGR pixels: the running sums and the swap in one pass.
// dst must not overlap src. The forms are for tests, which hold the fast one to the plain one.
enum class TSwapForm { Widest, Plain };
void UndoPredictorSwapRGB8(const uint8_t* src, uint8_t* dst, size_t count, TSwapForm form = TSwapForm::Widest);

class TColorManager {
 public:
  TColorManager();

  bool Changed = true;
  uint8_t SourceOptions = 0;
  uint8_t TargetOptions = 0;

  uint8_t SourceBits() const { return FSourceBPS; }
  uint8_t TargetBits() const { return FTargetBPS; }
  uint8_t SourceSamples() const { return FSourceSPP; }
  uint8_t TargetSamples() const { return FTargetSPP; }
  uint8_t SourceScheme() const { return FSourceScheme; }
  uint8_t TargetScheme() const { return FTargetScheme; }
  const std::array<uint8_t, 256>& GammaTable() const { return FGammaTable; }

  void SetSourceBits(uint8_t value);
  void SetTargetBits(uint8_t value);
  void SetSourceSamples(uint8_t value);
  void SetTargetSamples(uint8_t value);
  void SetSourceScheme(uint8_t value);
  void SetTargetScheme(uint8_t value);
  void SetGamma(float first, float second);
  // Up to three luma coefficients (red, green, blue) and the sub-sampling, 1, 2 or 4 each.
  void SetYCbCrSettings(std::span<const float> coefficients, uint8_t horizontal, uint8_t vertical);
  uint8_t HorizontalSubsampling() const { return FHSubsampling; }
  uint8_t VerticalSubsampling() const { return FVSubsampling; }

  // The bitmap pixel format of the source (side 0) or target (side 1) settings.
  TPixelFormat PixelFormatFor(int side) const;
  void SelectRowConverter();
  // Whether the current settings have a row converter.
  bool HasRowConverter() {
    if (Changed) SelectRowConverter();
    return FRowConversion != nullptr;
  }
  // Source: one pointer for interleaved samples or one per channel. Count target pixels are
  // written; mask bit 7 stands for the first of every eight, and pixels whose bit is clear are
  // left as they are and take no source pixel. The caller sizes both buffers.
  void ConvertRow(std::span<const uint8_t* const> source, uint8_t* target, size_t count, uint8_t mask);
  void ConvertRow(const uint8_t* interleaved, uint8_t* target, size_t count, uint8_t mask) {
    ConvertRow(std::span<const uint8_t* const>(&interleaved, 1), target, count, mask);
  }

  HPALETTE MakeGreyPalette(bool minimumIsWhite) const;
  // Layout: 0/1 one pointer to 8-bit triplets, 2/3 three 8-bit planes, 4/5 one pointer to 16-bit
  // triplets, 6/7 three 16-bit planes. The caller provides colourCount entries.
  HPALETTE MakeColourPalette(std::span<const uint8_t* const> data, int layout, size_t colourCount, bool reversed) const;

 private:
  using TRowConverter = void (TColorManager::*)(std::span<const uint8_t* const>, uint8_t*, size_t, uint8_t);

  void CheckSamples(std::span<const uint8_t* const> source, size_t channels) const;
  // Reads n samples of one channel as 8-bit (or 16-bit) values, honouring width, byte swap and gamma.
  void Gather8(std::span<const uint8_t* const> source, size_t channel, size_t stride, size_t n, bool gamma,
               uint8_t* out) const;
  void Gather16(std::span<const uint8_t* const> source, size_t channel, size_t stride, size_t n, uint16_t* out) const;
  size_t SourcePixels(size_t count, uint8_t mask) const;
  void EmitColour(uint8_t* target, size_t count, uint8_t mask, bool bgr, const uint8_t* r, const uint8_t* g,
                  const uint8_t* b, const uint8_t* a) const;
  void EmitColour16(uint8_t* target, size_t count, uint8_t mask, bool bgr, const uint16_t* r, const uint16_t* g,
                    const uint16_t* b, const uint16_t* a) const;
  uint8_t* GatherChannels(std::span<const uint8_t* const> source, size_t channels, size_t n, bool gamma);
  void EmitComputed(uint8_t* target, size_t count, uint8_t mask, const uint8_t* rgb, size_t n);
  void BuildYCbCrTables(int crOffset, int cbOffset);

  void RowRGB(std::span<const uint8_t* const> source, uint8_t* target, size_t count, uint8_t mask);
  void RowGrey(std::span<const uint8_t* const> source, uint8_t* target, size_t count, uint8_t mask);
  void RowIndexed(std::span<const uint8_t* const> source, uint8_t* target, size_t count, uint8_t mask);
  void RowIndexed16To16(std::span<const uint8_t* const> source, uint8_t* target, size_t count, uint8_t mask);
  void RowCMYK(std::span<const uint8_t* const> source, uint8_t* target, size_t count, uint8_t mask);
  void RowLab(std::span<const uint8_t* const> source, uint8_t* target, size_t count, uint8_t mask);
  void RowYCbCr(std::span<const uint8_t* const> source, uint8_t* target, size_t count, uint8_t mask);

  uint8_t FSourceBPS = 8, FTargetBPS = 8;
  uint8_t FSourceSPP = 3, FTargetSPP = 3;
  float FMainGamma = 1.0f, FDisplayGamma = 2.2f;
  std::array<uint8_t, 256> FGammaTable{};
  float FYCbCrCoefficients[3] = {0.299f, 0.587f, 0.114f};
  uint8_t FHSubsampling = 1, FVSubsampling = 1;
  std::vector<int> FCrToRedTable, FCbToBlueTable, FCrToGreenTable, FCbToGreenTable;
  uint8_t FSourceScheme = csRGB, FTargetScheme = csBGR;
  TRowConverter FRowConversion = nullptr;
  // Scratch channels of the current row.
  std::vector<uint8_t> FChannels;
  std::vector<uint16_t> FChannels16;
};
