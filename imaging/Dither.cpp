#include "imaging/Dither.h"

#include <algorithm>
#include <cstddef>
#include <cstring>

#include "imaging/ColorLookup.h"
#include "imaging/DIB.h"

namespace {
inline uint8_t Clamp255(int32_t v) { return static_cast<uint8_t>(v < 0 ? 0 : (v > 255 ? 255 : v)); }
}  // namespace

uint8_t TDitherEngine::Dither(uint8_t Red, uint8_t Green, uint8_t Blue, uint8_t& R, uint8_t& G, uint8_t& B) {
  const uint8_t index = Lookup->Lookup(Red, Green, Blue, R, G, B);
  NextColumn();
  return index;
}

void TDitherEngine::NextLine() {
  Direction = -Direction;
  Column = Direction == 1 ? 0 : Width - 1;
}

// ---- Floyd-Steinberg ---------------------------------------------------------------------------

TFloydSteinbergDitherer::TFloydSteinbergDitherer(int AWidth, TColorLookup& ALookup) : TDitherEngine(AWidth, ALookup) {
  for (TChannel& c : FChannels) c.Errors.assign(static_cast<size_t>(std::max(AWidth, 0)) + 2, 0);
}

int32_t TFloydSteinbergDitherer::Diffuse(TChannel& C, uint8_t Value, uint8_t Chosen) {
  // The three terms for the next row move along one pixel even when this pixel has no error:
  // skipping them would leave this pixel's consumed error in the buffer, to be applied again
  // two rows later, and hand the pending terms to the wrong pixels.
  const int32_t e = static_cast<int32_t>(Value) - static_cast<int32_t>(Chosen);
  C.Errors[static_cast<size_t>(C.Pos)] = C.BelowPrev + 3 * e;
  C.BelowPrev = C.Below + 5 * e;
  C.Below = e;
  C.Carry = 7 * e;
  C.Pos += Direction;
  return e;
}

uint8_t TFloydSteinbergDitherer::Dither(uint8_t Red, uint8_t Green, uint8_t Blue, uint8_t& R, uint8_t& G, uint8_t& B) {
  uint8_t v[3];
  const uint8_t in[3] = {Red, Green, Blue};
  for (int c = 0; c < 3; ++c) {
    TChannel& ch = FChannels[c];
    v[c] = Clamp255(in[c] + (ch.Errors[static_cast<size_t>(ch.Pos)] + ch.Carry + 8) / 16);
  }
  const uint8_t index = Lookup->Lookup(v[0], v[1], v[2], R, G, B);
  Diffuse(FChannels[0], v[0], R);
  Diffuse(FChannels[1], v[1], G);
  Diffuse(FChannels[2], v[2], B);
  NextColumn();
  return index;
}

void TFloydSteinbergDitherer::NextLine() {
  TDitherEngine::NextLine();
  for (TChannel& c : FChannels) {
    // Pos is one past the row's last pixel, which is inside the buffer in both directions.
    c.Errors[static_cast<size_t>(std::clamp(c.Pos, 0, Width + 1))] = c.BelowPrev;
    c.Carry = c.Below = c.BelowPrev = 0;
    c.Pos = Direction == 1 ? 0 : Width + 1;
  }
}

#if defined(__SSE2__)
namespace {

// Floyd-Steinberg with the three channels side by side in the 16-bit lanes of one register, in
// the order of the pixel's bytes (blue, green, red, then an idle lane). Per channel as in
// TFloydSteinbergDitherer: the pending errors of the row below (Width + 2 slots, each kept
// with the 8 of the rounding already added), the error carried to the next pixel and the two
// terms on their way to the next row. Every value fits: a slot holds at most 9 x 255 + 8, and
// with the carry under 4,100.
//
// Each pixel waits for the error of the one before it, so the loop is one long chain of
// dependent steps; the work is arranged so that as little as possible stands on that chain.
// Fetching the lookup's candidates would be the slowest step, so they are chosen ahead: while
// a pixel is worked on, the value of the pixel after next is guessed from its slot and three
// quarters of the current carry (standing in for the two errors still to come), and the list
// of the widened box around the guess is fetched. When the true value falls inside that box,
// as it nearly always does, its candidates are at hand; otherwise the list of the value's own
// block is taken. Either way the answer is the exact nearest entry.
constexpr int kAhead = 3;  // pixels guessed ahead: the time the guessed lists have to arrive

struct TRow {
  const uint64_t* Pixels;  // the row's pixels as lanes, with kAhead idle pixels at each end
  uint8_t* Dst;
  int Direction, N, X, Pos;
  __m128i Sum;                // slot + carry + 8 for pixel N
  __m128i Below, BelowPrev;   // the two terms on their way, each with 8 added
  __m128i Guess[kAhead];      // the values guessed for pixels N, N + 1...
  uint32_t Head[kAhead];      // the wide lists around them; 0 while not made
};

inline __m128i Load(const uint64_t* P) { return _mm_loadl_epi64(reinterpret_cast<const __m128i*>(P)); }
inline void Store(uint64_t* P, __m128i V) { _mm_storel_epi64(reinterpret_cast<__m128i*>(P), V); }

inline __m128i Clamp255(__m128i V) { return _mm_min_epi16(_mm_max_epi16(V, _mm_setzero_si128()), _mm_set1_epi16(255)); }

// The block of a value: red shr 3, green shr 3 shl 5, blue shr 3 shl 10.
inline uint32_t BlockOf(__m128i V) {
  const __m128i m = _mm_madd_epi16(_mm_srli_epi16(V, 3), _mm_setr_epi16(1024, 32, 1, 0, 0, 0, 0, 0));
  return static_cast<uint32_t>(_mm_cvtsi128_si32(_mm_add_epi32(m, _mm_srli_epi64(m, 32))));
}

// The value guessed for a pixel from its slot and three quarters of the carry before it.
inline __m128i Guess(__m128i Pixel, __m128i Slot, __m128i Carry) {
  const __m128i carry = _mm_srai_epi16(_mm_add_epi16(Carry, _mm_add_epi16(Carry, Carry)), 2);
  return Clamp255(_mm_add_epi16(Pixel, _mm_srai_epi16(_mm_add_epi16(Slot, carry), 4)));
}

// Runs pixels of the row until it ends (0) or a wide list that is not made yet is needed (its
// block + 1); Row then holds the state before the pixel that needs it. The loop calls nothing,
// so its values stay in registers.
template <bool AVX2>
[[gnu::always_inline]] inline uint32_t RunRow(TRow& Row, int Width, uint64_t* Errors, const uint64_t* Palette,
                                              const uint64_t* Palette7, const uint32_t* Heads,
                                              const nearest::TGroup* Groups) {
  const __m128i reach = _mm_set1_epi16(TFastColorLookup::kReach), last = _mm_set1_epi16(7 + 2 * TFastColorLookup::kReach);
  const __m128i low3 = _mm_set1_epi16(~7), fifteen = _mm_set1_epi16(15);
  __m128i sum = Row.Sum, below = Row.Below, belowPrev = Row.BelowPrev;
  __m128i guess[kAhead];
  uint32_t heads[kAhead], missing = 0;
  for (int i = 0; i < kAhead; ++i) {
    guess[i] = Row.Guess[i];
    heads[i] = Row.Head[i];
  }
  int n = Row.N, x = Row.X, pos = Row.Pos;
  const int direction = Row.Direction;
  for (; n < Width; ++n, x += direction, pos += direction) {
    if (heads[0] == 0) {
      missing = BlockOf(guess[0]) + 1;
      break;
    }
    // sum / 16 with the division truncating toward zero, then clamped to 0..255.
    const __m128i q = _mm_srai_epi16(_mm_add_epi16(sum, _mm_and_si128(_mm_srai_epi16(sum, 15), fifteen)), 4);
    const __m128i v = Clamp255(_mm_add_epi16(Load(Row.Pixels + kAhead + x), q));
    // Inside the guessed box when 0 <= v - corner <= last in every lane (the idle one too).
    const __m128i corner = _mm_sub_epi16(_mm_and_si128(guess[0], low3), reach);
    const __m128i beyond = _mm_subs_epu16(_mm_sub_epi16(v, corner), last);
    uint32_t list = heads[0];
    if (_mm_movemask_epi8(_mm_cmpeq_epi16(beyond, _mm_setzero_si128())) != 0xFFFF) {
      list = Heads[BlockOf(v)];
      if (list == 0) {
        missing = BlockOf(v) + 1;
        break;
      }
    }
    // The guess for the pixel after next, and the part of the next pixel's sum that does not
    // wait for this pixel's choice.
    const __m128i slot = Load(Errors + pos);
    const __m128i nextSlot = Load(Errors + pos + direction);
    for (int i = 0; i + 1 < kAhead; ++i) {
      guess[i] = guess[i + 1];
      heads[i] = heads[i + 1];
    }
    guess[kAhead - 1] = Guess(Load(Row.Pixels + kAhead + x + kAhead * direction),
                              Load(Errors + std::clamp(pos + kAhead * direction, 0, Width + 1)), _mm_sub_epi16(sum, slot));
    heads[kAhead - 1] = Heads[BlockOf(guess[kAhead - 1])];
    const __m128i v7 = _mm_sub_epi16(_mm_slli_epi16(v, 3), v);
    const __m128i nextSum = _mm_add_epi16(nextSlot, v7);

    uint8_t index;
#if defined(CORVANE_NEAREST_AVX2)
    if constexpr (AVX2)
      index = nearest::SearchAVX2(Groups, list, v);
    else
#endif
      index = nearest::Search(Groups, list, v);
    sum = _mm_sub_epi16(nextSum, Load(Palette7 + index));
    const __m128i err = _mm_sub_epi16(v, Load(Palette + index));
    Store(Errors + pos, _mm_add_epi16(belowPrev, _mm_add_epi16(err, _mm_add_epi16(err, err))));
    belowPrev = _mm_add_epi16(below, _mm_add_epi16(_mm_slli_epi16(err, 2), err));
    below = _mm_add_epi16(err, _mm_set1_epi16(8));
    Row.Dst[x] = index;
  }
  Row.Sum = sum;
  Row.Below = below;
  Row.BelowPrev = belowPrev;
  for (int i = 0; i < kAhead; ++i) {
    Row.Guess[i] = guess[i];
    Row.Head[i] = heads[i];
  }
  Row.N = n;
  Row.X = x;
  Row.Pos = pos;
  return missing;
}

template <bool AVX2>
[[gnu::always_inline]] inline void FloydSteinbergRows(TDIBReader& Reader, TDIBWriter& Writer, int Width, int Height,
                                                      TFastColorLookup& Lookup) {
  const auto lanes = [](uint64_t Blue, uint64_t Green, uint64_t Red) { return Blue | Green << 16 | Red << 32; };
  const uint64_t eight = lanes(8, 8, 8) | uint64_t{8} << 48;
  std::vector<uint64_t> errors(static_cast<size_t>(Width) + 2, eight);
  std::vector<uint64_t> pixels(static_cast<size_t>(Width) + 2 * kAhead, 0);
  // The chosen colours in the same lanes, and seven times them.
  std::vector<uint64_t> palette(256, 0), palette7(256, 0);
  for (int i = 0; i < Lookup.Colors; ++i) {
    const TPaletteEntry& e = Lookup.Entry(i);
    palette[static_cast<size_t>(i)] = lanes(e.peBlue, e.peGreen, e.peRed);
    palette7[static_cast<size_t>(i)] = 7 * palette[static_cast<size_t>(i)];
  }
  TRow row{};
  row.Pixels = pixels.data();
  row.Direction = 1;
  for (int y = 0; y < Height; ++y) {
    const uint8_t* src = Reader.ScanLine(y);
    for (size_t x = 0; x < static_cast<size_t>(Width); ++x)
      pixels[x + kAhead] = lanes(src[3 * x], src[3 * x + 1], src[3 * x + 2]);
    row.Dst = Writer.ScanLine(y);
    row.N = 0;
    row.X = row.Direction == 1 ? 0 : Width - 1;
    row.Sum = Load(&errors[static_cast<size_t>(row.Pos)]);
    row.Below = row.BelowPrev = Load(&eight);
    // The first pixels are guessed without a carry (their row starts with none).
    for (int i = 0; i < kAhead; ++i) {
      const int x = std::clamp(row.X + i * row.Direction, 0, Width - 1);
      const int pos = std::clamp(row.Pos + i * row.Direction, 0, Width + 1);
      row.Guess[i] = Guess(Load(&pixels[static_cast<size_t>(x) + kAhead]), Load(&errors[static_cast<size_t>(pos)]),
                           _mm_setzero_si128());
      row.Head[i] = Lookup.WideHead(BlockOf(row.Guess[i]));
    }
    while (const uint32_t missing = RunRow<AVX2>(row, Width, errors.data(), palette.data(), palette7.data(),
                                                 Lookup.WideHeads(), Lookup.WideGroups())) {
      Lookup.WideHead(missing - 1);
      for (int i = 0; i < kAhead; ++i) row.Head[i] = Lookup.WideHead(BlockOf(row.Guess[i]));
    }
    row.Direction = -row.Direction;
    Store(&errors[static_cast<size_t>(std::clamp(row.Pos, 0, Width + 1))], row.BelowPrev);
    row.Pos = row.Direction == 1 ? 0 : Width + 1;
  }
}

void FloydSteinbergSSE2(TDIBReader& Reader, TDIBWriter& Writer, int Width, int Height, TFastColorLookup& Lookup) {
  FloydSteinbergRows<false>(Reader, Writer, Width, Height, Lookup);
}

#if defined(CORVANE_NEAREST_AVX2)
// The same loop built for AVX2, where sixteen candidates take one instruction.
__attribute__((target("avx2"), flatten)) void FloydSteinbergAVX2(TDIBReader& Reader, TDIBWriter& Writer, int Width,
                                                                 int Height, TFastColorLookup& Lookup) {
  FloydSteinbergRows<true>(Reader, Writer, Width, Height, Lookup);
}
#endif

}  // namespace

void DitherFloydSteinberg(TDIBReader& Reader, TDIBWriter& Writer, int Width, int Height, TFastColorLookup& Lookup) {
  if (Width <= 0) return;
#if defined(CORVANE_NEAREST_AVX2)
  if (__builtin_cpu_supports("avx2")) return FloydSteinbergAVX2(Reader, Writer, Width, Height, Lookup);
#endif
  FloydSteinbergSSE2(Reader, Writer, Width, Height, Lookup);
}
#else
void DitherFloydSteinberg(TDIBReader& Reader, TDIBWriter& Writer, int Width, int Height, TFastColorLookup& Lookup) {
  TFloydSteinbergDitherer ditherer(Width, Lookup);
  uint8_t r, g, b;
  for (int y = 0; y < Height; ++y) {
    const uint8_t* src = Reader.ScanLine(y);
    uint8_t* dst = Writer.ScanLine(y);
    for (int n = 0; n < Width; ++n) {
      const int x = ditherer.Column;
      dst[x] = ditherer.Dither(src[3 * x + 2], src[3 * x + 1], src[3 * x], r, g, b);
    }
    ditherer.NextLine();
  }
}
#endif

// ---- matrix ditherers --------------------------------------------------------------------------

TMatrixDitherer::TMatrixDitherer(int AWidth, TColorLookup& ALookup, int Rows, int Margin, std::vector<TErrorTap> Taps,
                                 int32_t Divisor)
    : TDitherEngine(AWidth, ALookup),
      FRows(static_cast<size_t>(Rows) * 3,
            std::vector<int32_t>(static_cast<size_t>(std::max(AWidth, 0)) + 2 * static_cast<size_t>(Margin), 0)),
      FRowCount(Rows),
      FMargin(Margin),
      FTaps(std::move(Taps)),
      FDivisor(Divisor) {}

uint8_t TMatrixDitherer::Dither(uint8_t Red, uint8_t Green, uint8_t Blue, uint8_t& R, uint8_t& G, uint8_t& B) {
  const size_t pos = static_cast<size_t>(Column + FMargin);
  const uint8_t in[3] = {Red, Green, Blue};
  uint8_t v[3];
  for (size_t c = 0; c < 3; ++c) v[c] = Clamp255(in[c] + (FRows[c][pos] + FDivisor / 2) / FDivisor);
  const uint8_t index = Lookup->Lookup(v[0], v[1], v[2], R, G, B);
  const int32_t err[3] = {v[0] - R, v[1] - G, v[2] - B};
  for (size_t c = 0; c < 3; ++c) {
    if (err[c] == 0) continue;
    for (const TErrorTap& tap : FTaps) {
      const std::ptrdiff_t at = static_cast<std::ptrdiff_t>(pos) + tap.Offset * Direction;
      FRows[static_cast<size_t>(tap.Row) * 3 + c][static_cast<size_t>(at)] += tap.Weight * err[c];
    }
  }
  NextColumn();
  return index;
}

void TMatrixDitherer::NextLine() {
  for (size_t c = 0; c < 3; ++c) {
    std::fill(FRows[c].begin(), FRows[c].end(), 0);
    for (size_t r = 0; r + 1 < static_cast<size_t>(FRowCount); ++r) FRows[r * 3 + c].swap(FRows[(r + 1) * 3 + c]);
  }
  TDitherEngine::NextLine();
}

namespace {
std::vector<TErrorTap> FiveByThreeTaps(const int16_t (&Weights)[12]) {
  static constexpr int8_t Rows[12] = {0, 0, 1, 1, 1, 1, 1, 2, 2, 2, 2, 2};
  static constexpr int8_t Offsets[12] = {1, 2, -2, -1, 0, 1, 2, -2, -1, 0, 1, 2};
  std::vector<TErrorTap> taps;
  for (size_t i = 0; i < 12; ++i) taps.push_back({Rows[i], Offsets[i], Weights[i]});
  return taps;
}

constexpr int16_t StuckiWeights[12] = {8, 4, 2, 4, 8, 4, 2, 1, 2, 4, 2, 1};
constexpr int16_t SierraWeights[12] = {5, 3, 2, 4, 5, 4, 2, 0, 2, 3, 2, 0};
constexpr int16_t JaJuNiWeights[12] = {7, 5, 3, 5, 7, 5, 3, 1, 3, 5, 3, 1};
}  // namespace

T5by3Ditherer::T5by3Ditherer(int AWidth, TColorLookup& ALookup, const int16_t (&Weights)[12], int32_t Divisor)
    : TMatrixDitherer(AWidth, ALookup, 3, 2, FiveByThreeTaps(Weights), Divisor) {}

TStuckiDitherer::TStuckiDitherer(int AWidth, TColorLookup& ALookup)
    : T5by3Ditherer(AWidth, ALookup, StuckiWeights, 42) {}
TSierraDitherer::TSierraDitherer(int AWidth, TColorLookup& ALookup)
    : T5by3Ditherer(AWidth, ALookup, SierraWeights, 32) {}
TJaJuNiDitherer::TJaJuNiDitherer(int AWidth, TColorLookup& ALookup)
    : T5by3Ditherer(AWidth, ALookup, JaJuNiWeights, 48) {}

TSteveArcheDitherer::TSteveArcheDitherer(int AWidth, TColorLookup& ALookup)
    : TMatrixDitherer(AWidth, ALookup, 4, 3,
                      {{0, 2, 32},
                       {1, -3, 12},
                       {1, -1, 26},
                       {1, 1, 30},
                       {1, 3, 16},
                       {2, -2, 12},
                       {2, 0, 26},
                       {2, 2, 12},
                       {3, -3, 5},
                       {3, -1, 12},
                       {3, 1, 12},
                       {3, 3, 5}},
                      200) {}

TBurkesDitherer::TBurkesDitherer(int AWidth, TColorLookup& ALookup)
    : TMatrixDitherer(AWidth, ALookup, 2, 2,
                      {{0, 1, 8}, {0, 2, 4}, {1, -2, 2}, {1, -1, 4}, {1, 0, 8}, {1, 1, 4}, {1, 2, 2}}, 32) {}
