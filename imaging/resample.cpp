#include "imaging/resample.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
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
      float weight =
          enlarge ? Filter(center - static_cast<float>(j)) : Filter((center - static_cast<float>(j)) / s) / s;
      if (weight == 0.0f) continue;
      // Mirror at the edges, then clamp: a small source can be mirrored past its other edge.
      int64_t n = j;
      if (n < 0)
        n = -n;
      else if (n >= SrcSize)
        n = 2 * static_cast<int64_t>(SrcSize) - n - 1;
      n = std::clamp<int64_t>(n, 0, SrcSize - 1);
      c.Index.push_back(static_cast<int32_t>(n));
      c.Weight.push_back(weight);
    }
    c.Count[static_cast<size_t>(i)] = static_cast<int32_t>(c.Index.size()) - c.First[static_cast<size_t>(i)];
  }
  return c;
}

// Sixteen bytes, or four floats, handled together. Every float lane sums its own products in
// contributor order, so vectorising across rows or columns gives the same bytes as one value at
// a time. Only interleaves, widening and lane-wise arithmetic are used: they map onto SSE2.
typedef float TFloat4 __attribute__((vector_size(16)));
typedef int32_t TInt4 __attribute__((vector_size(16)));
typedef uint16_t TWord8 __attribute__((vector_size(16)));
typedef uint8_t TByte16 __attribute__((vector_size(16)));

inline TFloat4 Splat(float v) { return TFloat4{v, v, v, v}; }

inline TByte16 Lo8(TByte16 a, TByte16 b) {
  return __builtin_shufflevector(a, b, 0, 16, 1, 17, 2, 18, 3, 19, 4, 20, 5, 21, 6, 22, 7, 23);
}
inline TByte16 Hi8(TByte16 a, TByte16 b) {
  return __builtin_shufflevector(a, b, 8, 24, 9, 25, 10, 26, 11, 27, 12, 28, 13, 29, 14, 30, 15, 31);
}
inline TInt4 Lo16(TByte16 a, TByte16 b) {
  return (TInt4)__builtin_shufflevector((TWord8)a, (TWord8)b, 0, 8, 1, 9, 2, 10, 3, 11);
}
inline TInt4 Hi16(TByte16 a, TByte16 b) {
  return (TInt4)__builtin_shufflevector((TWord8)a, (TWord8)b, 4, 12, 5, 13, 6, 14, 7, 15);
}

// Up to 16 bytes from p, zeros past the end (Avail bytes are readable).
inline TByte16 Load16(const uint8_t* p, size_t Avail) {
  TByte16 v = {};
  if (Avail >= 16)
    std::memcpy(&v, p, 16);
  else
    std::memcpy(&v, p, Avail);
  return v;
}

inline void Store16(uint8_t* p, TByte16 v, size_t Room) {
  if (Room >= 16)
    std::memcpy(p, &v, 16);
  else
    std::memcpy(p, &v, Room);
}

// Eight vectors of 16 bytes, seen as an 8 x 16 byte matrix (vector, byte).
struct TBlock8 {
  TByte16 v0, v1, v2, v3, v4, v5, v6, v7;
};

// Interleaving the first half of the block with the second rotates the bits of (vector, byte)
// by one; after three rounds V[j] holds byte 2j of every input vector, then byte 2j + 1 of
// every input vector.
inline TBlock8 Interleave(const TBlock8& b) {
  return {Lo8(b.v0, b.v4), Hi8(b.v0, b.v4), Lo8(b.v1, b.v5), Hi8(b.v1, b.v5),
          Lo8(b.v2, b.v6), Hi8(b.v2, b.v6), Lo8(b.v3, b.v7), Hi8(b.v3, b.v7)};
}

inline TBlock8 Transpose8(const TBlock8& b) { return Interleave(Interleave(Interleave(b))); }

// The 16 bytes of b as floats, in order.
inline void Widen(TByte16 b, TFloat4* Out) {
  const TByte16 z = {};
  const TByte16 lo = Lo8(b, z), hi = Hi8(b, z);
  Out[0] = __builtin_convertvector(Lo16(lo, z), TFloat4);
  Out[1] = __builtin_convertvector(Hi16(lo, z), TFloat4);
  Out[2] = __builtin_convertvector(Lo16(hi, z), TFloat4);
  Out[3] = __builtin_convertvector(Hi16(hi, z), TFloat4);
}

// Clamps to 0..255 (NaN to 0), then rounds to nearest with halves to even: adding 1.5 x 2^23
// leaves the value, rounded by the processor's default rounding mode, in the low byte of the
// sum's bits (whose upper bits Pack drops).
inline TInt4 ToBytes(TFloat4 v) {
  const TFloat4 zero = {}, top = Splat(255.0f);
  v = v > zero ? v : zero;
  v = v < top ? v : top;
  return (TInt4)(v + Splat(12582912.0f));
}

// Sixteen bytes from the low bytes of four vectors' lanes.
inline TByte16 Pack(TInt4 a, TInt4 b, TInt4 c, TInt4 d) {
  const TWord8 ab = __builtin_shufflevector((TWord8)a, (TWord8)b, 0, 2, 4, 6, 8, 10, 12, 14);
  const TWord8 cd = __builtin_shufflevector((TWord8)c, (TWord8)d, 0, 2, 4, 6, 8, 10, 12, 14);
  return __builtin_shufflevector((TByte16)ab, (TByte16)cd, 0, 2, 4, 6, 8, 10, 12, 14, 16, 18, 20, 22, 24, 26, 28, 30);
}

// The horizontal pass takes this many source rows at once: the rows' values of one source byte
// fill four vectors, so every contributor's weight serves twelve vector products.
constexpr int StripRows = 16;
// Destination columns are taken in runs whose contributors lie within this many source pixels
// (or a single column), so the widened copy of the source stays small.
constexpr int32_t SpanPixels = 1024;
constexpr int32_t RunColumns = 1024;

struct TColumnRun {
  int32_t First, Last;  // destination columns [First, Last)
  int32_t Low, High;    // source pixels their contributors use
};

std::vector<TColumnRun> ColumnRuns(const TContributors& c, int32_t DstSize) {
  std::vector<TColumnRun> runs;
  for (int32_t i = 0; i < DstSize;) {
    int32_t lo = INT32_MAX, hi = -1, j = i;
    while (j < DstSize && j - i < RunColumns) {
      int32_t l = lo, h = hi;
      const int32_t* idx = c.Index.data() + c.First[static_cast<size_t>(j)];
      for (int32_t k = 0; k < c.Count[static_cast<size_t>(j)]; ++k) {
        l = std::min(l, idx[k]);
        h = std::max(h, idx[k]);
      }
      if (j > i && h >= l && h - l >= SpanPixels) break;
      lo = l;
      hi = h;
      ++j;
    }
    if (hi < lo) lo = hi = 0;  // only empty lists
    runs.push_back({i, j, lo, hi});
    i = j;
  }
  return runs;
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

  // Horizontal pass, StripRows source rows at a time. The strip's bytes are transposed and
  // widened so that one source byte's values in all the strip's rows lie side by side (four
  // vectors); a destination pixel's three sums for all rows are then twelve vectors, each
  // summing its products in list order.
  const size_t srcRow = static_cast<size_t>(SW) * 3, interRow = static_cast<size_t>(DW) * 3;
  {
    const std::vector<TColumnRun> runs = ColumnRuns(cx, DW);
    size_t widest = 0, longest = 0;
    for (const TColumnRun& r : runs) {
      widest = std::max(widest, static_cast<size_t>(r.High - r.Low + 1) * 3);
      longest = std::max(longest, static_cast<size_t>(r.Last - r.First) * 3);
    }
    // Source bytes of a run (rounded up to whole blocks), four vectors each.
    std::vector<TFloat4> wide((widest + 15) / 16 * 16 * 4);
    // Result bytes of a run, one vector of the strip's rows per destination byte.
    std::vector<TByte16> result((longest + 7) / 8 * 8);
    for (int y0 = 0; y0 < SH; y0 += StripRows) {
      const int rows = std::min(StripRows, SH - y0);
      const uint8_t* src[StripRows] = {};
      uint8_t* dst[StripRows] = {};
      for (int r = 0; r < rows; ++r) src[r] = Source.ScanLine(y0 + r), dst[r] = inter.ScanLine(y0 + r);
      for (const TColumnRun& run : runs) {
        const size_t from = static_cast<size_t>(run.Low) * 3, bytes = static_cast<size_t>(run.High - run.Low + 1) * 3;
        for (size_t q = 0; q < bytes; q += 16) {
          // Rows 0-7 and 8-15 transposed apart; each vector then holds two source bytes.
          const size_t avail = srcRow - from - q;
          auto load = [&](int r) { return r < rows ? Load16(src[r] + from + q, avail) : TByte16{}; };
          const TBlock8 top = Transpose8({load(0), load(1), load(2), load(3), load(4), load(5), load(6), load(7)});
          const TBlock8 bottom =
              Transpose8({load(8), load(9), load(10), load(11), load(12), load(13), load(14), load(15)});
          TFloat4* out = &wide[q * 4];
          auto put = [&](TByte16 t, TByte16 b, TFloat4* o) {
            TFloat4 ft[4], fb[4];
            Widen(t, ft);
            Widen(b, fb);
            o[0] = ft[0], o[1] = ft[1], o[2] = fb[0], o[3] = fb[1];
            o[4] = ft[2], o[5] = ft[3], o[6] = fb[2], o[7] = fb[3];
          };
          put(top.v0, bottom.v0, out);
          put(top.v1, bottom.v1, out + 8);
          put(top.v2, bottom.v2, out + 16);
          put(top.v3, bottom.v3, out + 24);
          put(top.v4, bottom.v4, out + 32);
          put(top.v5, bottom.v5, out + 40);
          put(top.v6, bottom.v6, out + 48);
          put(top.v7, bottom.v7, out + 56);
        }
        for (int32_t i = run.First; i < run.Last; ++i) {
          // Named sums, so that they stay in registers.
          TFloat4 b0 = {}, b1 = {}, b2 = {}, b3 = {}, g0 = {}, g1 = {}, g2 = {}, g3 = {};
          TFloat4 r0 = {}, r1 = {}, r2 = {}, r3 = {};
          const int32_t* idx = cx.Index.data() + cx.First[static_cast<size_t>(i)];
          const float* wt = cx.Weight.data() + cx.First[static_cast<size_t>(i)];
          for (int32_t k = 0; k < cx.Count[static_cast<size_t>(i)]; ++k) {
            const TFloat4* s = &wide[static_cast<size_t>(idx[k] - run.Low) * 12];
            const TFloat4 w = Splat(wt[k]);
            b0 += s[0] * w, b1 += s[1] * w, b2 += s[2] * w, b3 += s[3] * w;
            g0 += s[4] * w, g1 += s[5] * w, g2 += s[6] * w, g3 += s[7] * w;
            r0 += s[8] * w, r1 += s[9] * w, r2 += s[10] * w, r3 += s[11] * w;
          }
          TByte16* out = &result[static_cast<size_t>(i - run.First) * 3];
          out[0] = Pack(ToBytes(b0), ToBytes(b1), ToBytes(b2), ToBytes(b3));
          out[1] = Pack(ToBytes(g0), ToBytes(g1), ToBytes(g2), ToBytes(g3));
          out[2] = Pack(ToBytes(r0), ToBytes(r1), ToBytes(r2), ToBytes(r3));
        }
        // Back to rows, eight destination bytes of every row of the strip at a time.
        const size_t at = static_cast<size_t>(run.First) * 3, count = static_cast<size_t>(run.Last - run.First) * 3;
        for (size_t q = 0; q < count; q += 8) {
          const TByte16* r8 = &result[q];
          const TBlock8 t = Transpose8({r8[0], r8[1], r8[2], r8[3], r8[4], r8[5], r8[6], r8[7]});
          const size_t room = std::min<size_t>(count - q, 8);
          auto put = [&](int r, TByte16 v) {
            const uint8_t* b = reinterpret_cast<const uint8_t*>(&v);
            if (room == 8) {
              if (r < rows) std::memcpy(dst[r] + at + q, b, 8);
              if (r + 1 < rows) std::memcpy(dst[r + 1] + at + q, b + 8, 8);
            } else {
              if (r < rows) std::memcpy(dst[r] + at + q, b, room);
              if (r + 1 < rows) std::memcpy(dst[r + 1] + at + q, b + 8, room);
            }
          };
          put(0, t.v0), put(2, t.v1), put(4, t.v2), put(6, t.v3);
          put(8, t.v4), put(10, t.v5), put(12, t.v6), put(14, t.v7);
        }
      }
    }
  }

  // Vertical pass: 32 bytes of a destination row at a time, contributors in list order, so
  // every byte's sum is formed in the same order as column by column.
  std::vector<const uint8_t*> from;
  for (int i = 0; i < DH; ++i) {
    const int32_t first = cy.First[static_cast<size_t>(i)], count = cy.Count[static_cast<size_t>(i)];
    const float* wt = cy.Weight.data() + first;
    from.resize(static_cast<size_t>(count));
    for (int32_t k = 0; k < count; ++k)
      from[static_cast<size_t>(k)] = inter.ScanLine(cy.Index[static_cast<size_t>(first + k)]);
    uint8_t* dst = Destination.ScanLine(i);
    for (size_t b = 0; b < interRow; b += 32) {
      const size_t avail = interRow - b;
      TFloat4 a0 = {}, a1 = {}, a2 = {}, a3 = {}, a4 = {}, a5 = {}, a6 = {}, a7 = {};
      for (int32_t k = 0; k < count; ++k) {
        // The row's last block is read only as far as the row goes.
        const uint8_t* row = from[static_cast<size_t>(k)] + b;
        const TByte16 lo = Load16(row, avail), hi = avail > 16 ? Load16(row + 16, avail - 16) : TByte16{};
        TFloat4 v[8];
        Widen(lo, v);
        Widen(hi, v + 4);
        const TFloat4 w = Splat(wt[k]);
        a0 += v[0] * w, a1 += v[1] * w, a2 += v[2] * w, a3 += v[3] * w;
        a4 += v[4] * w, a5 += v[5] * w, a6 += v[6] * w, a7 += v[7] * w;
      }
      Store16(dst + b, Pack(ToBytes(a0), ToBytes(a1), ToBytes(a2), ToBytes(a3)), avail);
      if (avail > 16) Store16(dst + b + 16, Pack(ToBytes(a4), ToBytes(a5), ToBytes(a6), ToBytes(a7)), avail - 16);
    }
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
