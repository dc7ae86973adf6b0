#include "imaging/resample.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "platform/Exceptions.h"

float BoxFilter(float Value) {
  // The sign matters: the half-open interval keeps exactly one source pixel per step.
  return (Value > -0.5f && Value <= 0.5f) ? 1.0f : 0.0f;
}

float TriangleFilter(float Value) {
  float x = std::fabs(Value);
  return x < 1.0f ? 1.0f - x : 0.0f;
}

float HermiteFilter(float Value) {
  float x = std::fabs(Value);
  return x < 1.0f ? (2.0f * x - 3.0f) * x * x + 1.0f : 0.0f;
}

float BellFilter(float Value) {
  float x = std::fabs(Value);
  if (x < 0.5f) return 0.75f - x * x;
  if (x < 1.5f) {
    float t = x - 1.5f;
    return 0.5f * t * t;
  }
  return 0.0f;
}

float SplineFilter(float Value) {
  float x = std::fabs(Value);
  if (x < 1.0f) return 0.5f * x * x * x - x * x + 2.0f / 3.0f;
  if (x < 2.0f) {
    float t = 2.0f - x;
    return t * t * t / 6.0f;
  }
  return 0.0f;
}

namespace {
float SinC(float Value) {
  if (Value == 0.0f) return 1.0f;
  float pt = static_cast<float>(3.14159265358979323846 * static_cast<double>(Value));
  return std::sin(pt) / pt;
}
}  // namespace

float Lanczos3Filter(float Value) {
  float x = std::fabs(Value);
  return x < 3.0f ? SinC(x) * SinC(x / 3.0f) : 0.0f;
}

float MitchellFilter(float Value) {
  // The cubic with B = C = 1/3.
  float x = std::fabs(Value);
  float x2 = x * x;
  if (x < 1.0f) return (7.0f * x * x2 - 12.0f * x2 + 16.0f / 3.0f) / 6.0f;
  if (x < 2.0f) return (-(7.0f / 3.0f) * x * x2 + 12.0f * x2 - 20.0f * x + 32.0f / 3.0f) / 6.0f;
  return 0.0f;
}

const TFilterRec ResampleFilters[ResampleFilterCount] = {
    {"Box", BoxFilter, 0.5f},           {"Triangle", TriangleFilter, 1.0f}, {"Hermite", HermiteFilter, 1.0f},
    {"Bell", BellFilter, 1.5f},         {"B-Spline", SplineFilter, 2.0f},   {"Lanczos3", Lanczos3Filter, 3.0f},
    {"Mitchell", MitchellFilter, 2.0f},
};

namespace {

// The contributors of every destination pixel along one axis, in one flat table.
struct TContributors {
  std::vector<int32_t> First, Count;  // per destination pixel
  std::vector<int32_t> Index;         // source pixel
  std::vector<float> Weight;
};

// More list entries than this means a filter support no filter has (see Stretch).
constexpr double MaxContributors = double(1 << 28);

TContributors BuildContributors(int SrcSize, int DstSize, TFilterProc Filter, float Width) {
  TContributors c;
  float scale;
  bool single = false;
  if (SrcSize == 1) {
    scale = static_cast<float>(DstSize) / static_cast<float>(SrcSize);
  } else if (DstSize == 1) {
    // One destination pixel cannot align both ends; it stands at the middle of the source and
    // covers all of it (a box filter then gives the mean).
    scale = 1.0f / static_cast<float>(SrcSize);
    single = true;
  } else {
    scale = static_cast<float>(DstSize - 1) / static_cast<float>(SrcSize - 1);
  }
  const bool enlarge = scale >= 1.0f;
  const float w = enlarge ? Width : Width / scale;
  const float s = 1.0f / scale;
  // Each list spans 2w + 1 source pixels; an absurd support would take memory and time without
  // bound (and its ends would not fit an integer).
  if (!((2.0 * static_cast<double>(w) + 2.0) * DstSize <= MaxContributors))
    throw EOutOfResources("Not enough storage is available to process this command");
  c.First.resize(static_cast<size_t>(DstSize));
  c.Count.resize(static_cast<size_t>(DstSize));
  for (int i = 0; i < DstSize; ++i) {
    float center = single ? static_cast<float>(SrcSize - 1) / 2.0f : static_cast<float>(i) / scale;
    int64_t left = static_cast<int64_t>(std::floor(center - w));
    int64_t right = static_cast<int64_t>(std::ceil(center + w));
    c.First[static_cast<size_t>(i)] = static_cast<int32_t>(c.Index.size());
    for (int64_t j = left; j <= right; ++j) {
      float weight = enlarge ? Filter(center - static_cast<float>(j))
                             : Filter((center - static_cast<float>(j)) / s) / s;
      if (weight == 0.0f) continue;
      // Mirror at the edges, then clamp: a small source can be mirrored past its other edge.
      int64_t n = j;
      if (n < 0) n = -n;
      else if (n >= SrcSize) n = 2 * static_cast<int64_t>(SrcSize) - n - 1;
      n = std::clamp<int64_t>(n, 0, SrcSize - 1);
      c.Index.push_back(static_cast<int32_t>(n));
      c.Weight.push_back(weight);
    }
    c.Count[static_cast<size_t>(i)] = static_cast<int32_t>(c.Index.size()) - c.First[static_cast<size_t>(i)];
  }
  return c;
}

// Four floats handled together: a pixel's blue, green and red (and a spare lane), or four
// channel values of a row. Every lane still sums its products in contributor order, so the
// result is the same as one channel at a time.
typedef float TFloat4 __attribute__((vector_size(16)));
typedef uint8_t TByte4 __attribute__((vector_size(4)));

// Clamps to 0..255, then rounds to nearest with halves to even: adding and taking away 1.5 x 2^23
// leaves the value rounded by the processor's default rounding mode.
inline uint8_t ToByte(float v) {
  if (v > 255.0f) return 255;
  if (!(v > 0.0f)) return 0;
  volatile float magic = 12582912.0f;  // kept from being folded away
  const float m = magic;
  return static_cast<uint8_t>(static_cast<int>((v + m) - m));
}

}  // namespace

void Stretch(TBitmap& Source, TBitmap& Destination, TFilterProc Filter, float Width) {
  const int SW = Source.Width(), SH = Source.Height();
  if (SW < 1 || SH < 1) throw EInvalidGraphic("Source bitmap too small");
  const int DW = Destination.Width(), DH = Destination.Height();
  if (DW < 1 || DH < 1) throw EInvalidGraphic("Destination bitmap too small");
  if (!(Width >= 0.0f) || !std::isfinite(Width)) throw EInvalidGraphic("Invalid filter width");

  // Everything that can be refused is made before either bitmap is converted: the contributor
  // lists and the intermediate image, DW wide and SH high (a 24-bit bitmap, so a size the
  // platform refuses is refused here too).
  TContributors cx = BuildContributors(SW, DW, Filter, Width);
  TContributors cy = BuildContributors(SH, DH, Filter, Width);
  TBitmap inter(DW, SH, TPixelFormat::pf24bit);
  // Every destination pixel is written below, so its old content need not be converted.
  TBitmap fresh;
  if (Destination.PixelFormat() != TPixelFormat::pf24bit) fresh = TBitmap(DW, DH, TPixelFormat::pf24bit);
  if (Source.PixelFormat() != TPixelFormat::pf24bit) Source.SetPixelFormat(TPixelFormat::pf24bit);
  if (!fresh.Empty()) Destination = std::move(fresh);

  // Horizontal pass: every source row into the intermediate image.
  const size_t interRow = static_cast<size_t>(DW) * 3;
  {
    // The column lists of four neighbouring columns interleaved slot by slot and padded to the
    // longest list with zero weights, which add nothing: the four sums are independent and stay
    // in registers, and every sum still takes its terms in list order.
    int32_t slots = 0;
    for (int32_t c : cx.Count) slots = std::max(slots, c);
    const size_t groups = (static_cast<size_t>(DW) + 3) / 4;
    std::vector<int32_t> slotIndex(groups * static_cast<size_t>(slots) * 4, 0);
    std::vector<float> slotWeight(groups * static_cast<size_t>(slots) * 4, 0.0f);
    for (size_t i = 0; i < static_cast<size_t>(DW); ++i)
      for (int32_t k = 0; k < cx.Count[i]; ++k) {
        const size_t at = ((i / 4) * static_cast<size_t>(slots) + static_cast<size_t>(k)) * 4 + i % 4;
        slotIndex[at] = cx.Index[static_cast<size_t>(cx.First[i] + k)];
        slotWeight[at] = cx.Weight[static_cast<size_t>(cx.First[i] + k)];
      }
    std::vector<TFloat4> srcRow(static_cast<size_t>(SW));
    std::vector<TFloat4> sums(groups * 4);
    for (int y = 0; y < SH; ++y) {
      const uint8_t* src = Source.ScanLine(y);
      for (int x = 0; x < SW; ++x)
        srcRow[static_cast<size_t>(x)] = TFloat4{static_cast<float>(src[3 * x]), static_cast<float>(src[3 * x + 1]),
                                                 static_cast<float>(src[3 * x + 2]), 0.0f};
      const TFloat4* px = srcRow.data();
      for (size_t g = 0; g < groups; ++g) {
        const int32_t* idx = slotIndex.data() + g * static_cast<size_t>(slots) * 4;
        const float* wt = slotWeight.data() + g * static_cast<size_t>(slots) * 4;
        TFloat4 a0 = {0.0f, 0.0f, 0.0f, 0.0f}, a1 = a0, a2 = a0, a3 = a0;
        for (int32_t k = 0; k < slots; ++k, idx += 4, wt += 4) {
          a0 += px[idx[0]] * wt[0];
          a1 += px[idx[1]] * wt[1];
          a2 += px[idx[2]] * wt[2];
          a3 += px[idx[3]] * wt[3];
        }
        sums[4 * g] = a0;
        sums[4 * g + 1] = a1;
        sums[4 * g + 2] = a2;
        sums[4 * g + 3] = a3;
      }
      uint8_t* out = inter.ScanLine(y);
      for (size_t i = 0; i < static_cast<size_t>(DW); ++i) {
        out[3 * i] = ToByte(sums[i][0]);
        out[3 * i + 1] = ToByte(sums[i][1]);
        out[3 * i + 2] = ToByte(sums[i][2]);
      }
    }
  }

  // Vertical pass: a whole destination row at a time, contributors in list order, so every
  // pixel's sum is formed in the same order as column by column. Intermediate rows are padded
  // to four bytes, so they are read four bytes at a time.
  const size_t interGroups = (interRow + 3) / 4;
  std::vector<TFloat4> acc(interGroups);
  for (int i = 0; i < DH; ++i) {
    std::fill(acc.begin(), acc.end(), TFloat4{0.0f, 0.0f, 0.0f, 0.0f});
    const int32_t first = cy.First[static_cast<size_t>(i)], count = cy.Count[static_cast<size_t>(i)];
    for (int32_t k = 0; k < count; ++k) {
      const uint8_t* row = inter.ScanLine(cy.Index[static_cast<size_t>(first + k)]);
      const float w = cy.Weight[static_cast<size_t>(first + k)];
      TFloat4* a = acc.data();
      for (size_t n = 0; n < interGroups; ++n, row += 4) {
        TByte4 b;
        std::memcpy(&b, row, sizeof b);
        a[n] += __builtin_convertvector(b, TFloat4) * w;
      }
    }
    uint8_t* dst = Destination.ScanLine(i);
    const float* sums = reinterpret_cast<const float*>(acc.data());
    for (size_t n = 0; n < interRow; ++n) dst[n] = ToByte(sums[n]);
  }
}

void StretchTo(TBitmap& Source, TBitmap& Destination, int Width, int Height, const TFilterRec& Filter) {
  if (Width < 1 || Height < 1) throw EInvalidGraphic("Destination bitmap too small");
  if (&Source != &Destination) {
    Destination = TBitmap(Width, Height, TPixelFormat::pf24bit);
    Stretch(Source, Destination, Filter.Filter, Filter.Width);
    return;
  }
  TBitmap result(Width, Height, TPixelFormat::pf24bit);
  Stretch(Source, result, Filter.Filter, Filter.Width);
  Destination = std::move(result);
}
