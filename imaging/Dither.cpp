#include "imaging/Dither.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <memory>

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

// Floyd-Steinberg with the three channels side by side in the 16-bit lanes of a register, in
// the order of the pixel's bytes (blue, green, red, then an idle lane). Per channel as in
// TFloydSteinbergDitherer: the pending errors of the row below (Width + 2 slots, each kept
// with the 8 of the rounding already added) and the error carried to the next pixel. The loop
// only records each pixel's error; the slots the next row takes from them are filled after the
// row, several places at a time (SpreadErrors), which leaves the same values in the same
// places, as a row reads no slot it writes. Every value fits: a slot holds at most 9 x 255 + 8,
// and with the carry under 4,100.
//
// Each pixel waits for the error of the one before it, so the loop is one long chain of
// dependent steps; the work is arranged so that as little as possible stands on that chain.
// Fetching the lookup's candidates would be the slowest step, so they are chosen ahead: while
// a pixel is worked on, the value of the pixel kAhead further on is guessed from its slot, with
// half the carry the pixel before it gave on the row above standing in for its own, and the
// list of the widened box around the guess is fetched. Nothing of that waits for the chain.
// When the true value falls inside the box, as it nearly always does (on a plasma and a photo
// of 1024x1024, 98% and 93% of pixels), its candidates are at hand; otherwise the list of the
// value's own block is taken. Either way the answer is the exact nearest entry.
constexpr int kAhead = 3;

inline __m128i Load(const uint64_t* P) { return _mm_loadl_epi64(reinterpret_cast<const __m128i*>(P)); }
inline void Store(uint64_t* P, __m128i V) { _mm_storel_epi64(reinterpret_cast<__m128i*>(P), V); }
inline uint64_t Lanes(uint64_t Blue, uint64_t Green, uint64_t Red) { return Blue | Green << 16 | Red << 32; }

inline __m128i Clamp255(__m128i V) { return _mm_min_epi16(_mm_max_epi16(V, _mm_setzero_si128()), _mm_set1_epi16(255)); }

// The block of a value in lanes: red shr 3, green shr 3 shl 5, blue shr 3 shl 10.
inline uint32_t BlockOf(__m128i V) {
  const __m128i m = _mm_madd_epi16(_mm_srli_epi16(V, 3), _mm_setr_epi16(1024, 32, 1, 0, 0, 0, 0, 0));
  return static_cast<uint32_t>(_mm_cvtsi128_si32(_mm_add_epi32(m, _mm_srli_epi64(m, 32))));
}

// The chosen colours as lanes, and seven times them.
struct TTables {
  uint64_t Chosen[256], Chosen7[256];
};

// The widened boxes guessed for the next kAhead pixels, at (pixel & 3): the first corner of
// each box and its list (0 while not made).
struct TBoxes {
  uint64_t Corner[4];
  uint32_t Head[4];

  uint32_t Block(uint32_t At) const {
    return BlockOf(_mm_add_epi16(Load(&Corner[At & 3]), _mm_set1_epi16(TFastColorLookup::kReach)));
  }
  // The box of the value guessed for a pixel from its lanes, its slot and Before, the error the
  // pixel before it left on the row above (half the carry that gave stands in for its own).
  void Guess(uint32_t At, __m128i Pixel, __m128i Slot, __m128i Before, const uint32_t* Heads,
             const nearest::TGroup* Groups, const nearest::TColours* Colours) {
    const __m128i carry = _mm_srai_epi16(_mm_sub_epi16(_mm_slli_epi16(Before, 3), Before), 1);
    const __m128i guess = Clamp255(_mm_add_epi16(Pixel, _mm_srai_epi16(_mm_add_epi16(Slot, carry), 4)));
    Store(&Corner[At & 3],
          _mm_sub_epi16(_mm_and_si128(guess, _mm_set1_epi16(~7)), _mm_set1_epi16(TFastColorLookup::kReach)));
    const uint32_t head = Heads[BlockOf(guess)];
    Head[At & 3] = head;
    // The list's first group and its colours are read when the pixel comes; on a large
    // picture the lists in use outgrow the caches, so they are fetched now.
    _mm_prefetch(reinterpret_cast<const char*>(nearest::First(Groups, head)), _MM_HINT_T0);
    _mm_prefetch(reinterpret_cast<const char*>(Colours + (head >> 8)), _MM_HINT_T0);
  }
  // Inside the box when 0 <= V - corner <= the box's last offset in every lane.
  bool Inside(uint32_t At, __m128i V) const {
    const __m128i beyond =
        _mm_subs_epu16(_mm_sub_epi16(V, Load(&Corner[At & 3])), _mm_set1_epi16(7 + 2 * TFastColorLookup::kReach));
    return _mm_movemask_epi8(_mm_cmpeq_epi16(_mm_move_epi64(beyond), _mm_setzero_si128())) == 0xFFFF;
  }
};

// Where a row stands: X is the pixel to do next, an index into every array (one step moves
// them all).
struct TCursor {
  const uint64_t* Pixels;  // the pixels as lanes, in a row with kAhead idle pixels at each end
  uint64_t* Errors;        // the error left at each place, on the row above until it is done
  uint64_t* Slots;         // the slots, the row's first at X = 0 in either direction
  uint8_t* Out;
  ptrdiff_t X, Step;  // Step: 1 or -1

  const uint64_t* Pixel() const { return Pixels + X; }
  uint64_t* Error() const { return Errors + X; }
  uint64_t* Slot() const { return Slots + X; }
  void Next() { X += Step; }
};

// A row in progress, at pixel N.
struct TRow {
  TCursor At;
  int N, Width;
  __m128i Sum;  // slot + carry + 8 for pixel N
  TBoxes Boxes;
};

// The slots of the next row from the errors of a finished row, two places at a time off the
// pixel loop: each place gets three times the error at it, five times the one before it and
// the one before that (before: in the row's direction), with the rounding's 8; the place one
// past the row's end gets its share too. Errors has two idle places of 0 at each end. The
// places written are exactly those the row passed.
inline void SpreadErrors(const uint64_t* Errors, uint64_t* Slots, ptrdiff_t Width, ptrdiff_t Step) {
  const auto slot = [&](ptrdiff_t X, auto Get) {
    const __m128i e0 = Get(Errors + X), e1 = Get(Errors + X - Step), e2 = Get(Errors + X - 2 * Step);
    return _mm_add_epi16(_mm_add_epi16(e2, _mm_set1_epi16(8)), _mm_add_epi16(_mm_add_epi16(_mm_slli_epi16(e1, 2), e1),
                                                                             _mm_add_epi16(_mm_add_epi16(e0, e0), e0)));
  };
  const auto two = [](const uint64_t* P) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(P)); };
  ptrdiff_t x = Step == 1 ? 0 : -1;
  const ptrdiff_t end = x + Width + 1;
  for (; x + 2 <= end; x += 2) _mm_storeu_si128(reinterpret_cast<__m128i*>(Slots + x), slot(x, two));
  if (x < end) Store(Slots + x, slot(x, Load));
}

// The list to search for pixel N of value V: its guessed box's when V lies inside, else its own
// block's. False, with Missing the block + 1, when that list is not made yet.
inline bool ListFor(const TBoxes& Boxes, uint32_t N, __m128i V, const uint32_t* Heads, uint32_t& List,
                    uint32_t& Missing) {
  List = Boxes.Head[N & 3];
  if (List == 0) {
    Missing = Boxes.Block(N) + 1;
    return false;
  }
  if (Boxes.Inside(N, V)) return true;
  List = Heads[BlockOf(V)];
  if (List != 0) return true;
  Missing = BlockOf(V) + 1;
  return false;
}

// Guesses the pixel Ahead on from the cursor's pixel N.
inline void GuessAhead(TBoxes& Boxes, uint32_t N, int Ahead, const TCursor& At, const uint32_t* Heads,
                       const nearest::TGroup* Groups, const nearest::TColours* Colours) {
  Boxes.Guess(N + static_cast<uint32_t>(Ahead), Load(At.Pixel() + Ahead * At.Step), Load(At.Slot() + Ahead * At.Step),
              Load(At.Error() + (Ahead - 1) * At.Step), Heads, Groups, Colours);
}

// Pixel V took entry Index: its error goes to its place.
inline void Settle(const TCursor& At, __m128i V, uint8_t Index, const TTables& Tables) {
  Store(At.Error(), _mm_sub_epi16(V, Load(&Tables.Chosen[Index])));
  At.Out[At.X] = Index;
}

// Runs pixels of the row until it ends (0) or a wide list that is not made yet is needed (its
// block + 1); Row then holds the state before the pixel that needs it. The loop calls nothing,
// so its values stay in registers.
inline uint32_t RunRow(TRow& Row, const TTables& Tables, const uint32_t* Heads, const nearest::TGroup* Groups,
                       const nearest::TColours* Colours) {
  const __m128i fifteen = _mm_set1_epi16(15);
  TCursor at = Row.At;
  __m128i sum = Row.Sum;
  uint32_t n = static_cast<uint32_t>(Row.N), list, missing = 0;
  for (; n < static_cast<uint32_t>(Row.Width); ++n, at.Next()) {
    // sum / 16 with the division truncating toward zero, then clamped to 0..255.
    const __m128i q = _mm_srai_epi16(_mm_add_epi16(sum, _mm_and_si128(_mm_srai_epi16(sum, 15), fifteen)), 4);
    const __m128i v = Clamp255(_mm_add_epi16(Load(at.Pixel()), q));
    if (!ListFor(Row.Boxes, n, v, Heads, list, missing)) break;
    // The guess kAhead pixels on, and the part of the next pixel's sum that does not wait for
    // this pixel's choice.
    GuessAhead(Row.Boxes, n, kAhead, at, Heads, Groups, Colours);
    const __m128i nextSum = _mm_add_epi16(Load(at.Slot() + at.Step), _mm_sub_epi16(_mm_slli_epi16(v, 3), v));
    const uint8_t index = nearest::Search(Groups, list, v);
    sum = _mm_sub_epi16(nextSum, Load(&Tables.Chosen7[index]));
    Settle(at, v, index, Tables);
  }
  Row.At = at;
  Row.N = static_cast<int>(n);
  Row.Sum = sum;
  return missing;
}

// A row of 24-bit pixels as lanes.
inline void RowLanes(const uint8_t* Src, uint64_t* Lanes, size_t Width) {
  for (size_t x = 0; x < Width; ++x) Lanes[x] = ::Lanes(Src[3 * x], Src[3 * x + 1], Src[3 * x + 2]);
}

// The rows of the picture, each made lanes by Spread and run by Run (one of the RunRow forms).
template <class TSpread, class TRun>
[[gnu::always_inline]] inline void FloydSteinbergRows(TDIBReader& Reader, TDIBWriter& Writer, int Width, int Height,
                                                      TFastColorLookup& Lookup, TSpread Spread, TRun Run) {
  const uint64_t eight = Lanes(8, 8, 8);
  std::vector<uint64_t> errors(static_cast<size_t>(Width) + 2 + 2 * kAhead, eight);
  std::vector<uint64_t> pixels(static_cast<size_t>(Width) + 2 * kAhead, 0), left(pixels.size(), 0);
  std::unique_ptr<TTables> tables(new TTables{});
  for (int i = 0; i < Lookup.Colors; ++i) {
    const TPaletteEntry& e = Lookup.Entry(i);
    tables->Chosen[i] = Lanes(e.peBlue, e.peGreen, e.peRed);
    tables->Chosen7[i] = 7 * tables->Chosen[i];
  }
  TRow row{};
  row.At.Step = 1;
  row.Width = Width;
  for (int y = 0; y < Height; ++y) {
    const uint8_t* src = Reader.ScanLine(y);
    Spread(src, pixels.data() + kAhead, static_cast<size_t>(Width));
    // Slots are numbered from the row's start in both directions, from 0 going right and from
    // 2 going left; a row ends one past its last pixel.
    row.At.X = row.At.Step == 1 ? 0 : Width - 1;
    row.At.Pixels = pixels.data() + kAhead;
    row.At.Errors = left.data() + kAhead;
    row.At.Slots = errors.data() + kAhead + (row.At.Step == 1 ? 0 : 2);
    row.At.Out = Writer.ScanLine(y);
    row.N = 0;
    row.Sum = Load(row.At.Slot());
    for (int i = 0; i < kAhead; ++i)
      GuessAhead(row.Boxes, 0, i, row.At, Lookup.WideHeads(), Lookup.WideGroups(), Lookup.WideColours());
    while (const uint32_t missing = Run(row, *tables, Lookup.WideHeads(), Lookup.WideGroups(), Lookup.WideColours())) {
      Lookup.WideHead(missing - 1);
      for (int i = 0; i < kAhead; ++i) {
        const uint32_t at = static_cast<uint32_t>(row.N + i);
        row.Boxes.Head[at & 3] = Lookup.WideHead(row.Boxes.Block(at));
      }
    }
    SpreadErrors(row.At.Errors, row.At.Slots, Width, row.At.Step);
    row.At.Step = -row.At.Step;
  }
}

void FloydSteinbergSSE2(TDIBReader& Reader, TDIBWriter& Writer, int Width, int Height, TFastColorLookup& Lookup) {
  FloydSteinbergRows(Reader, Writer, Width, Height, Lookup, RowLanes, RunRow);
}

#if defined(CORVANE_NEAREST_AVX2)
// The row for processors with AVX2 (of which it takes the three-operand instructions and the
// minimum with its position). The sums stand twice in a register (blue, green, red, 0 in each
// half), so that saturating to bytes clamps the corrected value and one byte shuffle per
// channel spreads it, shifted left by 8 as the candidates are, over eight lanes.
__attribute__((target("avx2"))) inline uint32_t RunRowAVX2(TRow& Row, const TTables& Tables, const uint32_t* Heads,
                                                           const nearest::TGroup* Groups,
                                                           const nearest::TColours* Colours) {
  const __m128i spreadB = _mm_set1_epi16(static_cast<int16_t>(0x0080));
  const __m128i spreadG = _mm_set1_epi16(static_cast<int16_t>(0x0180));
  const __m128i spreadR = _mm_set1_epi16(static_cast<int16_t>(0x0280));
  // The place of the least key (its third byte) into the first two 32-bit lanes.
  const __m128i place = _mm_setr_epi8(2, -1, -1, -1, 2, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1);
  const auto twice = [](uint64_t Lanes) { return _mm_set1_epi64x(static_cast<long long>(Lanes)); };
  TCursor at = Row.At;
  __m128i sum = _mm_unpacklo_epi64(Row.Sum, Row.Sum);
  uint32_t n = static_cast<uint32_t>(Row.N), list, missing = 0;
  for (; n < static_cast<uint32_t>(Row.Width); ++n, at.Next()) {
    // sum / 16 with the division truncating toward zero (the size divided, the sign put back);
    // the corrected value then saturates to 0..255 as bytes.
    const __m128i corrected =
        _mm_add_epi16(twice(*at.Pixel()), _mm_sign_epi16(_mm_srli_epi16(_mm_abs_epi16(sum), 4), sum));
    const __m128i bytes = _mm_packus_epi16(corrected, corrected);
    const __m128i v = _mm_cvtepu8_epi16(bytes);
    if (!ListFor(Row.Boxes, n, v, Heads, list, missing)) break;
    // The guess kAhead pixels on, and the next pixel's sum but for this pixel's choice, whole
    // before the choice arrives, so that only the last steps wait for it.
    GuessAhead(Row.Boxes, n, kAhead, at, Heads, Groups, Colours);
    __m128i nextSum = _mm_add_epi16(twice(at.Slot()[at.Step]), _mm_sub_epi16(_mm_slli_epi16(v, 3), v));
    asm("" : "+x"(nextSum));
    const __m128i b = _mm_shuffle_epi8(bytes, spreadB), g = _mm_shuffle_epi8(bytes, spreadG),
                  r = _mm_shuffle_epi8(bytes, spreadR);
    if (nearest::Count(list) == 1) {
      // Most lists are one group: the place of the least key picks the chosen colour from the
      // group's colours, which is quicker than going through the index and a table.
      const __m128i least = nearest::LeastOfOneAVX2(Groups, list, b, g, r);
      const __m256i colours = _mm256_load_si256(reinterpret_cast<const __m256i*>(Colours + (list >> 8)));
      const __m128i chosen = _mm_cvtepu8_epi16(_mm256_castsi256_si128(
          _mm256_permutevar8x32_epi32(colours, _mm256_castsi128_si256(_mm_shuffle_epi8(least, place)))));
      sum = _mm_sub_epi16(_mm_add_epi16(nextSum, chosen), _mm_slli_epi16(chosen, 3));
      Store(at.Error(), _mm_sub_epi16(v, chosen));
      at.Out[at.X] = static_cast<uint8_t>(_mm_cvtsi128_si32(least));
    } else {
      const uint8_t index = nearest::SearchAVX2(Groups, list, b, g, r);
      sum = _mm_sub_epi16(nextSum, twice(Tables.Chosen7[index]));
      Settle(at, v, index, Tables);
    }
  }
  Row.At = at;
  Row.N = static_cast<int>(n);
  Row.Sum = _mm_move_epi64(sum);
  return missing;
}

// RowLanes four pixels at a time: twelve bytes spread by two byte shuffles.
__attribute__((target("avx2"))) inline void RowLanesAVX2(const uint8_t* Src, uint64_t* Lanes, size_t Width) {
  const __m128i first = _mm_setr_epi8(0, -1, 1, -1, 2, -1, -1, -1, 3, -1, 4, -1, 5, -1, -1, -1);
  const __m128i second = _mm_setr_epi8(6, -1, 7, -1, 8, -1, -1, -1, 9, -1, 10, -1, 11, -1, -1, -1);
  size_t x = 0;
  // Sixteen bytes are read for twelve: the last group stops where they still lie in the row.
  for (; 3 * x + 16 <= 3 * Width; x += 4) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(Src + 3 * x));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(Lanes + x), _mm_shuffle_epi8(v, first));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(Lanes + x + 2), _mm_shuffle_epi8(v, second));
  }
  RowLanes(Src + 3 * x, Lanes + x, Width - x);
}

__attribute__((target("avx2"), flatten)) void FloydSteinbergAVX2(TDIBReader& Reader, TDIBWriter& Writer, int Width,
                                                                 int Height, TFastColorLookup& Lookup) {
  FloydSteinbergRows(Reader, Writer, Width, Height, Lookup, RowLanesAVX2, RunRowAVX2);
}
#endif

}  // namespace

void DitherFloydSteinberg(TDIBReader& Reader, TDIBWriter& Writer, int Width, int Height, TFastColorLookup& Lookup,
                          bool AllowAVX2) {
  if (Width <= 0) return;
#if defined(CORVANE_NEAREST_AVX2)
  if (AllowAVX2 && __builtin_cpu_supports("avx2")) return FloydSteinbergAVX2(Reader, Writer, Width, Height, Lookup);
#else
  (void)AllowAVX2;
#endif
  FloydSteinbergSSE2(Reader, Writer, Width, Height, Lookup);
}
#else
void DitherFloydSteinberg(TDIBReader& Reader, TDIBWriter& Writer, int Width, int Height, TFastColorLookup& Lookup,
                          bool) {
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
