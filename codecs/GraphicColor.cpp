// The colour manager: settings, converter choice, the row converters and the palettes.
// Every converter first gathers the row's channels into 8-bit (or 16-bit) scratch rows, which
// settles sample width, byte order, planes and gamma once per row; the colour arithmetic then
// loops over plain bytes.
#include "codecs/GraphicColor.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "platform/Processor.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

namespace {

constexpr const char* kIndexedMismatch = "Conversion between indexed and non-indexed pixel formats is not supported.";
constexpr const char* kNoMethod = "Color conversion failed. Could not find a proper method.";
constexpr const char* kBadDepth = "Color depth is invalid. Bits per sample must be 1, 2, 4, 8 or 16.";
constexpr const char* kBadSamples = "Sample count per pixel does not correspond to the given color scheme.";
constexpr const char* kBadSubsampling = "Subsampling value is invalid. Allowed are 1, 2 and 4.";
constexpr const char* kVerticalSubsampling = "Vertical subsampling value must be <= horizontal subsampling value.";

inline uint8_t Clamp8(int v) { return static_cast<uint8_t>(v < 0 ? 0 : (v > 255 ? 255 : v)); }
inline bool MaskBit(uint8_t mask, size_t i) { return (mask & (0x80u >> (i & 7))) != 0; }
inline uint16_t Load16(const uint8_t* p, bool swap) {
  return swap ? static_cast<uint16_t>((p[0] << 8) | p[1]) : static_cast<uint16_t>(p[0] | (p[1] << 8));
}
inline void Store16(uint8_t* p, uint16_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}
inline uint8_t Down16(uint32_t v) { return static_cast<uint8_t>(v * 255 / 65535); }
inline uint16_t Up8(uint32_t v) { return static_cast<uint16_t>(v * 65535 / 255); }
inline bool IsIndexedSide(uint8_t scheme, uint8_t hi) { return scheme >= csIndexed && scheme <= hi; }
inline bool HasAlpha(uint8_t scheme) { return scheme == csGA || scheme == csRGBA || scheme == csBGRA; }

// Reads the k-th value of bits width (1..8) from a row packed most significant bit first.
inline unsigned PackedValue(const uint8_t* row, size_t k, unsigned bits) {
  const size_t bit = k * bits;
  const size_t byte = bit >> 3;
  const unsigned off = static_cast<unsigned>(bit & 7);
  unsigned window = static_cast<unsigned>(row[byte]) << 8;
  if (off + bits > 8) window |= row[byte + 1];
  return (window >> (16 - off - bits)) & ((1u << bits) - 1);
}

// Writes value v of bits width (1..8) at pixel i, keeping the byte's other bits.
inline void PutPacked(uint8_t* row, size_t i, unsigned bits, unsigned v) {
  const size_t bit = i * bits;
  const size_t byte = bit >> 3;
  const unsigned off = static_cast<unsigned>(bit & 7);
  const unsigned shift = 16 - off - bits;
  const unsigned m = ((1u << bits) - 1) << shift;
  const unsigned w = (static_cast<unsigned>(row[byte]) << 8) | (off + bits > 8 ? row[byte + 1] : 0u);
  const unsigned nw = (w & ~m) | ((v << shift) & m);
  row[byte] = static_cast<uint8_t>(nw >> 8);
  if (off + bits > 8) row[byte + 1] = static_cast<uint8_t>(nw);
}

}  // namespace

TColorManager::TColorManager() { SetGamma(1.0f, 2.2f); }

void TColorManager::SetSourceBits(uint8_t value) {
  if (value < 1 || value > 16) throw EColorConversionError(kBadDepth);
  if (value != FSourceBPS) FSourceBPS = value, Changed = true;
}
void TColorManager::SetTargetBits(uint8_t value) {
  if (value < 1 || value > 16) throw EColorConversionError(kBadDepth);
  if (value != FTargetBPS) FTargetBPS = value, Changed = true;
}
void TColorManager::SetSourceSamples(uint8_t value) {
  if (value != 1 && value != 3 && value != 4) throw EColorConversionError(kBadSamples);
  if (value != FSourceSPP) FSourceSPP = value, Changed = true;
}
void TColorManager::SetTargetSamples(uint8_t value) {
  if (value != 1 && value != 3 && value != 4) throw EColorConversionError(kBadSamples);
  if (value != FTargetSPP) FTargetSPP = value, Changed = true;
}
void TColorManager::SetSourceScheme(uint8_t value) {
  if (value != FSourceScheme) FSourceScheme = value, Changed = true;
}
void TColorManager::SetTargetScheme(uint8_t value) {
  if (value != FTargetScheme) FTargetScheme = value, Changed = true;
}

void TColorManager::SetGamma(float first, float second) {
  // "Not greater than 0" also catches NaN.
  FMainGamma = first > 0 ? first : 1.0f;
  FDisplayGamma = second > 0 ? second : 2.2f;
  const double e = 1.0 / (static_cast<double>(FMainGamma) * FDisplayGamma);
  const int n = FSourceBPS >= 8 ? 255 : (1 << FSourceBPS) - 1;
  const int m = FTargetBPS >= 8 ? 255 : (1 << FTargetBPS) - 1;
  FGammaTable.fill(0);
  for (int i = 0; i <= n; ++i)
    FGammaTable[static_cast<size_t>(i)] =
        Clamp8(static_cast<int>(std::nearbyint(std::pow(static_cast<double>(i) / n, e) * m)));
}

void TColorManager::SetYCbCrSettings(std::span<const float> coefficients, uint8_t horizontal, uint8_t vertical) {
  for (size_t i = 0; i < coefficients.size() && i < 3; ++i) FYCbCrCoefficients[i] = coefficients[i];
  auto valid = [](uint8_t v) { return v == 1 || v == 2 || v == 4; };
  if (!valid(horizontal) || !valid(vertical)) throw EColorConversionError(kBadSubsampling);
  if (vertical > horizontal) throw EColorConversionError(kVerticalSubsampling);
  FHSubsampling = horizontal;
  FVSubsampling = vertical;
}

TPixelFormat TColorManager::PixelFormatFor(int side) const {
  const unsigned samples = side == 0 ? FSourceSPP : FTargetSPP;
  const unsigned bits = side == 0 ? FSourceBPS : FTargetBPS;
  switch (samples) {
    case 1:
      if (bits == 1) return TPixelFormat::pf1bit;
      if (bits >= 2 && bits <= 4) return TPixelFormat::pf4bit;
      if (bits >= 8 && bits <= 16) return TPixelFormat::pf8bit;
      return TPixelFormat::pfCustom;
    case 3: return bits <= 5 ? TPixelFormat::pf15bit : TPixelFormat::pf24bit;
    case 4: return bits < 8 ? TPixelFormat::pfCustom : TPixelFormat::pf32bit;
    default: return TPixelFormat::pfCustom;
  }
}

void TColorManager::BuildYCbCrTables(int crOffset, int cbOffset) {
  const double lr = FYCbCrCoefficients[0], lg = FYCbCrCoefficients[1], lb = FYCbCrCoefficients[2];
  const double f1 = 2 - 2 * lr, f2 = 2 - 2 * lb;
  // A green coefficient of 0 would divide by zero; such a file gets no green correction.
  const double f3 = lg != 0 ? lr * f1 / lg : 0, f4 = lg != 0 ? lb * f2 / lg : 0;
  FCrToRedTable.assign(256, 0);
  FCbToBlueTable.assign(256, 0);
  FCrToGreenTable.assign(256, 0);
  FCbToGreenTable.assign(256, 0);
  auto round = [](double v) {
    if (!std::isfinite(v)) return 0;
    return static_cast<int>(std::clamp(std::nearbyint(v), -65536.0, 65536.0));
  };
  for (int i = 0; i < 256; ++i) {
    const double cr = i - crOffset, cb = i - cbOffset;
    FCrToRedTable[static_cast<size_t>(i)] = round(cr * f1);
    FCbToBlueTable[static_cast<size_t>(i)] = round(cb * f2);
    FCrToGreenTable[static_cast<size_t>(i)] = -round(cr * f3);
    FCbToGreenTable[static_cast<size_t>(i)] = -round(cb * f4);
  }
}

void TColorManager::SelectRowConverter() {
  FRowConversion = nullptr;
  const bool srcIndexed = IsIndexedSide(FSourceScheme, csGA);
  const bool dstIndexed = IsIndexedSide(FTargetScheme, csG);
  if (srcIndexed != dstIndexed) throw EColorConversionError(kIndexedMismatch);
  SourceOptions = static_cast<uint8_t>(HasAlpha(FSourceScheme) ? SourceOptions | coAlpha : SourceOptions & ~coAlpha);
  TargetOptions = static_cast<uint8_t>(HasAlpha(FTargetScheme) ? TargetOptions | coAlpha : TargetOptions & ~coAlpha);

  const unsigned sb = FSourceBPS, tb = FTargetBPS;
  // Colour converters read whole bytes or words and write them; other widths have no converter.
  const bool colourBits = (sb == 8 || sb == 16) && (tb == 8 || tb == 16);
  const bool toRGB = FTargetScheme == csRGB || FTargetScheme == csRGBA;
  const bool toBGR = FTargetScheme == csBGR || FTargetScheme == csBGRA;
  // Packed values are 1 to 8 bits wide or whole 16-bit words.
  const bool packedBits = (sb <= 8 || sb == 16) && (tb <= 8 || tb == 16);
  switch (FSourceScheme) {
    case csIndexed:
      if (packedBits)
        FRowConversion = sb == 16 && tb == 16 ? &TColorManager::RowIndexed16To16 : &TColorManager::RowIndexed;
      break;
    case csG:
      if (sb == 16 || tb == 16) {
        if (colourBits) FRowConversion = &TColorManager::RowGrey;
      } else if (packedBits) {
        FRowConversion = &TColorManager::RowIndexed;
      }
      break;
    case csGA:
      if (colourBits) FRowConversion = &TColorManager::RowGrey;
      break;
    case csRGB:
    case csRGBA:
    case csBGR:
    case csBGRA:
      if (colourBits && (toRGB || toBGR)) FRowConversion = &TColorManager::RowRGB;
      break;
    case csCMYK:
      if (colourBits && (toRGB || toBGR)) FRowConversion = &TColorManager::RowCMYK;
      break;
    case csCIELab:
      if (colourBits && (toRGB || toBGR)) FRowConversion = &TColorManager::RowLab;
      break;
    case csYCbCr:
    case csPhotoYCC:
      if (FSourceScheme == csYCbCr)
        BuildYCbCrTables(128, 128);
      else
        BuildYCbCrTables(137, 156);
      if (colourBits && (toRGB || toBGR)) FRowConversion = &TColorManager::RowYCbCr;
      break;
    default: break;
  }
  Changed = false;
}

void TColorManager::ConvertRow(std::span<const uint8_t* const> source, uint8_t* target, size_t count, uint8_t mask) {
  if (Changed) SelectRowConverter();
  if (!FRowConversion) throw EColorConversionError(kNoMethod);
  if (source.empty() || count == 0 || mask == 0) return;
  (this->*FRowConversion)(source, target, count, mask);
}

size_t TColorManager::SourcePixels(size_t count, uint8_t mask) const {
  if (mask == 0xFF) return count;
  const size_t perEight = static_cast<size_t>(__builtin_popcount(mask));
  size_t n = count / 8 * perEight;
  for (size_t i = count / 8 * 8; i < count; ++i) n += MaskBit(mask, i);
  return n;
}

// A converter needs its channels: interleaved, the stored samples per pixel; planar, one
// pointer each. A scheme with more channels than the file has would read past the row.
void TColorManager::CheckSamples(std::span<const uint8_t* const> source, size_t channels) const {
  if (source.size() == 1 ? FSourceSPP < channels && channels > 1 : source.size() < channels)
    throw EColorConversionError(kBadSamples);
}

void TColorManager::Gather8(std::span<const uint8_t* const> source, size_t channel, size_t stride, size_t n, bool gamma,
                            uint8_t* out) const {
  const bool planar = source.size() > 1;
  if (FSourceBPS == 16) {
    const uint8_t* p = planar ? source[channel] : source[0] + channel * 2;
    const size_t step = planar ? 2 : stride * 2;
    const bool swap = (SourceOptions & coNeedByteSwap) != 0;
    for (size_t i = 0; i < n; ++i, p += step) out[i] = Down16(Load16(p, swap));
    if (gamma)
      for (size_t i = 0; i < n; ++i) out[i] = FGammaTable[out[i]];
    return;
  }
  const uint8_t* p = planar ? source[channel] : source[0] + channel;
  const size_t step = planar ? 1 : stride;
  if (gamma) {
    for (size_t i = 0; i < n; ++i, p += step) out[i] = FGammaTable[*p];
  } else if (step == 1) {
    if (n) std::memcpy(out, p, n);
  } else {
    for (size_t i = 0; i < n; ++i, p += step) out[i] = *p;
  }
}

void TColorManager::Gather16(std::span<const uint8_t* const> source, size_t channel, size_t stride, size_t n,
                             uint16_t* out) const {
  const bool planar = source.size() > 1;
  if (FSourceBPS == 16) {
    const uint8_t* p = planar ? source[channel] : source[0] + channel * 2;
    const size_t step = planar ? 2 : stride * 2;
    const bool swap = (SourceOptions & coNeedByteSwap) != 0;
    for (size_t i = 0; i < n; ++i, p += step) out[i] = Load16(p, swap);
    return;
  }
  std::vector<uint8_t> bytes(n);
  Gather8(source, channel, stride, n, (TargetOptions & coApplyGamma) != 0, bytes.data());
  for (size_t i = 0; i < n; ++i) out[i] = Up8(bytes[i]);
}

namespace {
inline void StoreSample(uint8_t* p, uint8_t v) { *p = v; }
inline void StoreSample(uint8_t* p, uint16_t v) { Store16(p, v); }

// Writes the colour planes (and alpha when both sides have it) into the target pixels the mask
// selects, in the target's channel order.
template <class T>
void Emit(uint8_t* target, size_t count, uint8_t mask, bool bgr, bool dstAlpha, const T* r, const T* g, const T* b,
          const T* a) {
  const size_t px = (dstAlpha ? 4 : 3) * sizeof(T);
  const T* first = bgr ? b : r;
  const T* third = bgr ? r : b;
  size_t s = 0;
  for (size_t i = 0; i < count; ++i) {
    if (mask != 0xFF && !MaskBit(mask, i)) continue;
    uint8_t* t = target + i * px;
    StoreSample(t, first[s]);
    StoreSample(t + sizeof(T), g[s]);
    StoreSample(t + 2 * sizeof(T), third[s]);
    if (dstAlpha && a) StoreSample(t + 3 * sizeof(T), a[s]);
    ++s;
  }
}
}  // namespace

void TColorManager::EmitColour(uint8_t* target, size_t count, uint8_t mask, bool bgr, const uint8_t* r,
                               const uint8_t* g, const uint8_t* b, const uint8_t* a) const {
  Emit(target, count, mask, bgr, (TargetOptions & coAlpha) != 0, r, g, b, a);
}

void TColorManager::EmitColour16(uint8_t* target, size_t count, uint8_t mask, bool bgr, const uint16_t* r,
                                 const uint16_t* g, const uint16_t* b, const uint16_t* a) const {
  Emit(target, count, mask, bgr, (TargetOptions & coAlpha) != 0, r, g, b, a);
}

// Writes colours computed as three 8-bit planes of n pixels (red, green, blue).
void TColorManager::EmitComputed(uint8_t* target, size_t count, uint8_t mask, const uint8_t* rgb, size_t n) {
  const bool bgr = FTargetScheme == csBGR || FTargetScheme == csBGRA;
  if (FTargetBPS == 16) {
    FChannels16.resize(n * 3);
    for (size_t i = 0; i < n * 3; ++i) FChannels16[i] = Up8(rgb[i]);
    EmitColour16(target, count, mask, bgr, FChannels16.data(), FChannels16.data() + n, FChannels16.data() + 2 * n,
                 nullptr);
  } else {
    EmitColour(target, count, mask, bgr, rgb, rgb + n, rgb + 2 * n, nullptr);
  }
}

namespace {
void SwapRGB8Plain(const uint8_t* src, uint8_t* dst, size_t count) {
  for (size_t i = 0; i < count; ++i, src += 3, dst += 3) {
    const uint8_t first = src[0], second = src[1], third = src[2];
    dst[0] = third, dst[1] = second, dst[2] = first;
  }
}

#if defined(__x86_64__) || defined(__i386__)
// Five pixels a shuffle: sixteen bytes are loaded and stored, the sixteenth (the next pixel's
// first) unchanged, so the stores may overlap and work in place. The last pixels, where a
// sixteen-byte load would run past the row, go the plain way.
__attribute__((target("ssse3"))) void SwapRGB8SSSE3(const uint8_t* src, uint8_t* dst, size_t count) {
  const __m128i order = _mm_setr_epi8(2, 1, 0, 5, 4, 3, 8, 7, 6, 11, 10, 9, 14, 13, 12, 15);
  size_t i = 0;
  for (; i + 6 <= count; i += 5) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + 3 * i));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + 3 * i), _mm_shuffle_epi8(v, order));
  }
  SwapRGB8Plain(src + 3 * i, dst + 3 * i, count - i);
}

// Twenty-one pixels to a 64-byte byte permute, the sixty-fourth byte unchanged.
constexpr struct TSwapSteps {
  alignas(64) uint8_t Order[64];
  constexpr TSwapSteps() : Order() {
    for (unsigned k = 0; k < 63; ++k) Order[k] = static_cast<uint8_t>(k - k % 3 + 2 - k % 3);
    Order[63] = 63;
  }
} kSwapSteps;

// The same with one shuffle across 64 bytes: twenty-one pixels a step; the SSSE3 form takes the
// rest.
__attribute__((target("avx512f,avx512bw,avx512vbmi"))) void SwapRGB8VBMI(const uint8_t* src, uint8_t* dst,
                                                                         size_t count) {
  const __m512i o = _mm512_load_si512(kSwapSteps.Order);
  size_t i = 0;
  for (; i + 22 <= count; i += 21) {
    const __m512i v = _mm512_loadu_si512(src + 3 * i);
    _mm512_storeu_si512(dst + 3 * i, _mm512_maskz_permutexvar_epi8(~__mmask64{0}, o, v));
  }
  SwapRGB8SSSE3(src + 3 * i, dst + 3 * i, count - i);
}

#endif
}  // namespace

void SwapRGB8(const uint8_t* src, uint8_t* dst, size_t count) {
#if defined(__x86_64__) || defined(__i386__)
  if (count >= 22 && processor::HasAVX512VBMI()) return SwapRGB8VBMI(src, dst, count);
  if (processor::HasSSSE3()) return SwapRGB8SSSE3(src, dst, count);
#endif
  SwapRGB8Plain(src, dst, count);
}

namespace {
void UndoPredictorSwapRGB8Plain(const uint8_t* src, uint8_t* dst, size_t count, unsigned r, unsigned g, unsigned b) {
  for (size_t i = 0; i < count; ++i, src += 3, dst += 3) {
    r += src[0], g += src[1], b += src[2];
    dst[0] = static_cast<uint8_t>(b), dst[1] = static_cast<uint8_t>(g), dst[2] = static_cast<uint8_t>(r);
  }
}

#if defined(__x86_64__) || defined(__i386__)
// Five pixels a step: three shifted adds make each pixel the sum of itself and the four before
// it, the last pixel of the step before is added to all five, and one shuffle swaps them. Only
// that add and the broadcast of the last pixel wait on the step before. The sixteenth byte
// stored is written over by the next step; the last pixels go the plain way.
__attribute__((target("ssse3"))) void UndoPredictorSwapRGB8SSSE3(const uint8_t* src, uint8_t* dst, size_t count) {
  const __m128i order = _mm_setr_epi8(2, 1, 0, 5, 4, 3, 8, 7, 6, 11, 10, 9, 14, 13, 12, 15);
  const __m128i last = _mm_setr_epi8(12, 13, 14, 12, 13, 14, 12, 13, 14, 12, 13, 14, 12, 13, 14, 12);
  __m128i carry = _mm_setzero_si128();
  size_t i = 0;
  for (; i + 6 <= count; i += 5) {
    __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + 3 * i));
    v = _mm_add_epi8(v, _mm_slli_si128(v, 3));
    v = _mm_add_epi8(v, _mm_slli_si128(v, 6));
    v = _mm_add_epi8(v, _mm_slli_si128(v, 12));
    v = _mm_add_epi8(v, carry);
    carry = _mm_shuffle_epi8(v, last);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + 3 * i), _mm_shuffle_epi8(v, order));
  }
  const unsigned r = i ? dst[3 * i - 1] : 0, g = i ? dst[3 * i - 2] : 0, b = i ? dst[3 * i - 3] : 0;
  UndoPredictorSwapRGB8Plain(src + 3 * i, dst + 3 * i, count - i, r, g, b);
}
#endif
}  // namespace

void UndoPredictorSwapRGB8(const uint8_t* src, uint8_t* dst, size_t count, TSwapForm form) {
#if defined(__x86_64__) || defined(__i386__)
  if (form == TSwapForm::Widest && processor::HasSSSE3()) return UndoPredictorSwapRGB8SSSE3(src, dst, count);
#endif
  UndoPredictorSwapRGB8Plain(src, dst, count, 0, 0, 0);
}

void TColorManager::RowRGB(std::span<const uint8_t* const> source, uint8_t* target, size_t count, uint8_t mask) {
  const bool srcAlpha = (SourceOptions & coAlpha) != 0;
  const size_t channels = srcAlpha ? 4 : 3;
  CheckSamples(source, channels);
  const size_t stride = std::max<size_t>(FSourceSPP, channels);
  const bool srcBGR = FSourceScheme == csBGR || FSourceScheme == csBGRA;
  const bool dstBGR = FTargetScheme == csBGR || FTargetScheme == csBGRA;
  const bool dstAlpha = (TargetOptions & coAlpha) != 0;
  const bool gamma = (TargetOptions & coApplyGamma) != 0;
  const size_t n = SourcePixels(count, mask);

  // The common case, 8-bit interleaved samples into an 8-bit bitmap, goes straight through.
  if (FSourceBPS == 8 && FTargetBPS == 8 && source.size() == 1 && !gamma && mask == 0xFF) {
    const uint8_t* p = source[0];
    const bool swap = srcBGR != dstBGR;
    const size_t px = dstAlpha ? 4 : 3;
    if (swap && stride == 3 && px == 3) return SwapRGB8(p, target, count);
    for (size_t i = 0; i < count; ++i, p += stride, target += px) {
      target[0] = p[swap ? 2 : 0];
      target[1] = p[1];
      target[2] = p[swap ? 0 : 2];
      if (dstAlpha && srcAlpha) target[3] = p[3];
    }
    return;
  }
  // So do 8-bit planes (the run-length readers decode a row's channels one after another):
  // interleaved in one pass, without gathering them first.
  if (FSourceBPS == 8 && FTargetBPS == 8 && source.size() > 1 && !gamma && mask == 0xFF) {
    const uint8_t* first = source[srcBGR == dstBGR ? 0 : 2];
    const uint8_t* green = source[1];
    const uint8_t* third = source[srcBGR == dstBGR ? 2 : 0];
    if (dstAlpha && srcAlpha) {
      const uint8_t* alpha = source[3];
      for (size_t i = 0; i < count; ++i, target += 4) {
        target[0] = first[i], target[1] = green[i], target[2] = third[i], target[3] = alpha[i];
      }
    } else {
      const size_t px = dstAlpha ? 4 : 3;
      for (size_t i = 0; i < count; ++i, target += px) target[0] = first[i], target[1] = green[i], target[2] = third[i];
    }
    return;
  }
  // Channel 0 is red for RGB sources and blue for BGR ones.
  const size_t rc = srcBGR ? 2 : 0, bc = srcBGR ? 0 : 2;
  if (FTargetBPS == 16) {
    FChannels16.resize(n * 4);
    uint16_t* c = FChannels16.data();
    Gather16(source, rc, stride, n, c);
    Gather16(source, 1, stride, n, c + n);
    Gather16(source, bc, stride, n, c + 2 * n);
    if (srcAlpha) Gather16(source, 3, stride, n, c + 3 * n);
    EmitColour16(target, count, mask, dstBGR, c, c + n, c + 2 * n, srcAlpha ? c + 3 * n : nullptr);
    return;
  }
  FChannels.resize(n * 4);
  uint8_t* c = FChannels.data();
  Gather8(source, rc, stride, n, gamma, c);
  Gather8(source, 1, stride, n, gamma, c + n);
  Gather8(source, bc, stride, n, gamma, c + 2 * n);
  // Alpha never goes through the gamma table.
  if (srcAlpha) Gather8(source, 3, stride, n, false, c + 3 * n);
  EmitColour(target, count, mask, dstBGR, c, c + n, c + 2 * n, srcAlpha ? c + 3 * n : nullptr);
}

// Grey samples into a grey or indexed bitmap. The gamma table is not applied here: grey
// bitmaps carry it in their palette (MakeGreyPalette).
void TColorManager::RowGrey(std::span<const uint8_t* const> source, uint8_t* target, size_t count, uint8_t mask) {
  const bool srcAlpha = (SourceOptions & coAlpha) != 0;
  const bool dstAlpha = (TargetOptions & coAlpha) != 0;
  const size_t stride = srcAlpha ? 2 : 1;
  if (source.size() > 1 && srcAlpha && dstAlpha) CheckSamples(source, 2);
  const size_t n = SourcePixels(count, mask);
  const size_t px = (dstAlpha ? 2u : 1u) * (FTargetBPS == 16 ? 2u : 1u);
  if (FTargetBPS == 16) {
    FChannels16.resize(n * 2);
    uint16_t* c = FChannels16.data();
    Gather16(source, 0, stride, n, c);
    if (srcAlpha && dstAlpha) Gather16(source, 1, stride, n, c + n);
    size_t s = 0;
    for (size_t i = 0; i < count; ++i) {
      if (mask != 0xFF && !MaskBit(mask, i)) continue;
      Store16(target + i * px, c[s]);
      if (srcAlpha && dstAlpha) Store16(target + i * px + 2, c[n + s]);
      ++s;
    }
    return;
  }
  FChannels.resize(n * 2);
  uint8_t* c = FChannels.data();
  Gather8(source, 0, stride, n, false, c);
  if (srcAlpha && dstAlpha) Gather8(source, 1, stride, n, false, c + n);
  size_t s = 0;
  for (size_t i = 0; i < count; ++i) {
    if (mask != 0xFF && !MaskBit(mask, i)) continue;
    target[i * px] = c[s];
    if (srcAlpha && dstAlpha) target[i * px + 1] = c[n + s];
    ++s;
  }
}

// Packed values (1 to 8 bits, or 16-bit words) rescaled to the target's width: indices and grey
// levels alike.
void TColorManager::RowIndexed(std::span<const uint8_t* const> source, uint8_t* target, size_t count, uint8_t mask) {
  const unsigned sb = FSourceBPS, tb = FTargetBPS;
  const uint8_t* src = source[0];
  if (sb == tb && mask == 0xFF) {
    std::memcpy(target, src, (count * sb + 7) / 8);
    return;
  }
  const uint32_t srcMax = sb == 16 ? 65535u : (1u << sb) - 1;
  const uint32_t dstMax = tb == 16 ? 65535u : (1u << tb) - 1;
  const bool swap = (SourceOptions & coNeedByteSwap) != 0;
  size_t k = 0;
  for (size_t i = 0; i < count; ++i) {
    if (mask != 0xFF && !MaskBit(mask, i)) continue;
    const uint32_t v = sb == 16 ? Load16(src + 2 * k, swap) : PackedValue(src, k, sb);
    ++k;
    const uint32_t out = v * dstMax / srcMax;
    if (tb == 16)
      Store16(target + 2 * i, static_cast<uint16_t>(out));
    else
      PutPacked(target, i, tb, out);
  }
}

void TColorManager::RowIndexed16To16(std::span<const uint8_t* const> source, uint8_t* target, size_t count,
                                     uint8_t mask) {
  const bool swap = (SourceOptions & coNeedByteSwap) != 0;
  if (!swap && mask == 0xFF) {
    std::memcpy(target, source[0], count * 2);
    return;
  }
  size_t k = 0;
  for (size_t i = 0; i < count; ++i) {
    if (mask != 0xFF && !MaskBit(mask, i)) continue;
    Store16(target + 2 * i, Load16(source[0] + 2 * k++, swap));
  }
}

// The channels of n pixels as 8-bit planes in the scratch row, with room after them for the
// three planes a converter computes.
uint8_t* TColorManager::GatherChannels(std::span<const uint8_t* const> source, size_t channels, size_t n, bool gamma) {
  CheckSamples(source, channels);
  FChannels.resize(n * (channels + 3));
  uint8_t* c = FChannels.data();
  for (size_t ch = 0; ch < channels; ++ch) Gather8(source, ch, FSourceSPP, n, gamma, c + ch * n);
  return c;
}

void TColorManager::RowCMYK(std::span<const uint8_t* const> source, uint8_t* target, size_t count, uint8_t mask) {
  const size_t n = SourcePixels(count, mask);
  uint8_t* c = GatherChannels(source, 4, n, (TargetOptions & coApplyGamma) != 0);
  uint8_t* rgb = c + 4 * n;
  const uint8_t* k = c + 3 * n;
  for (size_t ch = 0; ch < 3; ++ch)
    for (size_t i = 0; i < n; ++i) {
      const int x = c[ch * n + i], kv = k[i];
      rgb[ch * n + i] = Clamp8(255 - (x + kv - x * kv / 255));
    }
  EmitComputed(target, count, mask, rgb, n);
}

void TColorManager::RowLab(std::span<const uint8_t* const> source, uint8_t* target, size_t count, uint8_t mask) {
  const size_t n = SourcePixels(count, mask);
  uint8_t* c = GatherChannels(source, 3, n, false);
  const bool lightByte = (SourceOptions & coLabByteRange) != 0;
  const bool chromaOffset = (SourceOptions & coLabChromaOffset) != 0;
  uint8_t* rgb = c + 3 * n;
  for (size_t i = 0; i < n; ++i) {
    double l = c[i];
    if (lightByte) l /= 2.55;
    const double a = chromaOffset ? c[n + i] - 128.0 : static_cast<int8_t>(c[n + i]);
    const double b = chromaOffset ? c[2 * n + i] - 128.0 : static_cast<int8_t>(c[2 * n + i]);
    const double fy = (l + 16) / 116;
    double x, y, z;
    if (l < 7.9996) {
      y = l / 903.3;
      x = a / 3893.5 + y;
      z = y - b / 1557.4;
    } else {
      x = std::pow(a / 500 + fy, 3);
      y = fy * fy * fy;
      z = std::pow(fy - b / 200, 3);
    }
    auto level = [](double v) { return Clamp8(static_cast<int>(std::clamp(std::nearbyint(v * 255), -1.0, 256.0))); };
    rgb[i] = level(2.998 * x - 1.458 * y - 0.541 * z);
    rgb[n + i] = level(-0.952 * x + 1.893 * y + 0.059 * z);
    rgb[2 * n + i] = level(0.099 * x - 0.198 * y + 1.099 * z);
  }
  EmitComputed(target, count, mask, rgb, n);
}

void TColorManager::RowYCbCr(std::span<const uint8_t* const> source, uint8_t* target, size_t count, uint8_t mask) {
  const size_t n = SourcePixels(count, mask);
  uint8_t* c = GatherChannels(source, 3, n, false);
  uint8_t* rgb = c + 3 * n;
  const int* crRed = FCrToRedTable.data();
  const int* cbBlue = FCbToBlueTable.data();
  const int* crGreen = FCrToGreenTable.data();
  const int* cbGreen = FCbToGreenTable.data();
  for (size_t i = 0; i < n; ++i) {
    const int y = c[i], cb = c[n + i], cr = c[2 * n + i];
    rgb[i] = Clamp8(y + crRed[cr]);
    rgb[n + i] = Clamp8(y + cbGreen[cb] + crGreen[cr]);
    rgb[2 * n + i] = Clamp8(y + cbBlue[cb]);
  }
  EmitComputed(target, count, mask, rgb, n);
}

HPALETTE TColorManager::MakeGreyPalette(bool minimumIsWhite) const {
  const unsigned entries = 1u << std::min(static_cast<unsigned>(FTargetBPS) * FTargetSPP, 8u);
  const unsigned step = 255 / (entries - 1);
  std::vector<TPaletteEntry> pal(entries);
  const bool gamma = (TargetOptions & coApplyGamma) != 0;
  for (unsigned i = 0; i < entries; ++i) {
    const unsigned level = i * step;
    const uint8_t v = gamma ? FGammaTable[level] : static_cast<uint8_t>(level);
    TPaletteEntry& e = pal[minimumIsWhite ? entries - 1 - i : i];
    e.peRed = e.peGreen = e.peBlue = v;
  }
  return CreatePalette(std::move(pal));
}

HPALETTE TColorManager::MakeColourPalette(std::span<const uint8_t* const> data, int layout, size_t colourCount,
                                          bool reversed) const {
  const size_t count = std::min<size_t>(colourCount, 256);
  const bool wide = layout >= 4;
  const bool planar = layout == 2 || layout == 3 || layout == 6 || layout == 7;
  if (data.empty() || (planar && data.size() < 3)) throw EColorConversionError(kBadSamples);
  const bool gamma = (TargetOptions & coApplyGamma) != 0;
  const bool swap = (SourceOptions & coNeedByteSwap) != 0;
  auto sample = [&](size_t entry, size_t channel) -> uint8_t {
    uint8_t v;
    if (wide) {
      const uint8_t* p = planar ? data[channel] + entry * 2 : data[0] + (entry * 3 + channel) * 2;
      v = Down16(Load16(p, swap));
    } else {
      v = planar ? data[channel][entry] : data[0][entry * 3 + channel];
    }
    return gamma ? FGammaTable[v] : v;
  };
  std::vector<TPaletteEntry> pal(count);
  for (size_t i = 0; i < count; ++i) {
    uint8_t a = sample(i, 0), b = sample(i, 1), c = sample(i, 2);
    // Triplets of bytes are red first unless reversed; triplets of words the other way round.
    const bool redFirst = planar || (wide ? reversed : !reversed);
    pal[i].peRed = redFirst ? a : c;
    pal[i].peGreen = b;
    pal[i].peBlue = redFirst ? c : a;
  }
  // A file may give fewer colours than its indices can name: the rest are black, so every
  // index a pixel can hold has an entry.
  const unsigned sb = std::min<unsigned>(FSourceBPS, 8);
  if (pal.size() < (1u << sb)) pal.resize(1u << sb);
  const unsigned tb = FTargetBPS;
  if (tb <= 8 && sb != tb) {
    const size_t srcMax = (1u << sb) - 1, dstMax = (1u << tb) - 1;
    std::vector<TPaletteEntry> out(dstMax + 1);
    for (size_t j = 0; j <= dstMax; ++j) out[j] = pal[j * srcMax / dstMax];
    pal = std::move(out);
  }
  return CreatePalette(std::move(pal));
}
