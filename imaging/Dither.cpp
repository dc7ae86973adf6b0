#include "imaging/Dither.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <memory>

#include "imaging/ColorLookup.h"
#include "imaging/DIB.h"
#include "platform/Processor.h"

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
// TFloydSteinbergDitherer: each pixel's pending error from the row above (its slot, kept with
// the 8 of the rounding already added) and the error carried to the next pixel. The loop only
// records each pixel's error; the next row's slots are made from them before that row, several
// pixels at a time (ReadyRow), with the same values the reference reads at the same pixels.
// Every value fits: a slot holds at most 9 x 255 + 8, and with the carry under 4,100.
//
// Each pixel waits for the error of the one before it, so the loop is one long chain of
// dependent steps; the work is arranged so that as little as possible stands on that chain.
// Fetching the lookup's candidates would be the slowest step, so they are chosen before the
// row (also in ReadyRow): each pixel's value is guessed from its slot, with a share of the
// carry the pixel before it gave on the row above standing in for its own (TCarryGuess), and
// the block of the widened box around the guess is noted; the loop fetches that block's list a
// few pixels ahead. When the true value falls inside the box, as it nearly always does (on a
// plasma and a photo of 4096x4096, 99% and 96% of pixels), its candidates are at hand;
// otherwise the list of the value's own block is taken. Either way the answer is the exact
// nearest entry.
constexpr int kAhead = 3;  // how far ahead a pixel's candidates are fetched
constexpr int kIdle = 8;   // idle places at each end of the per-pixel arrays
static_assert(kAhead <= kIdle, "the block of the pixel kAhead on lies within the arrays");

inline __m128i Load(const uint64_t* P) { return _mm_loadl_epi64(reinterpret_cast<const __m128i*>(P)); }
inline void Store(uint64_t* P, __m128i V) { _mm_storel_epi64(reinterpret_cast<__m128i*>(P), V); }
inline uint64_t Lanes(uint64_t Blue, uint64_t Green, uint64_t Red) { return Blue | Green << 16 | Red << 32; }

inline __m128i Clamp255(__m128i V) { return _mm_min_epi16(_mm_max_epi16(V, _mm_setzero_si128()), _mm_set1_epi16(255)); }

// The block of a value in lanes: red shr 3, green shr 3 shl 5, blue shr 3 shl 10.
inline uint32_t BlockOf(__m128i V) {
  const __m128i m = _mm_madd_epi16(_mm_srli_epi16(V, 3), _mm_setr_epi16(1024, 32, 1, 0, 0, 0, 0, 0));
  return static_cast<uint32_t>(_mm_cvtsi128_si32(_mm_add_epi32(m, _mm_srli_epi64(m, 32))));
}

// A guessed box: its first corner in the three channels' lanes and its block in the idle lane.
// V lies inside when 0 <= V - the corner <= the box's last offset in each channel (the idle
// lane passes whatever it holds).
inline bool Inside(__m128i V, const uint64_t* Box) {
  const int16_t last = 7 + 2 * TFastColorLookup::kReach;
  const __m128i beyond = _mm_subs_epu16(_mm_sub_epi16(V, Load(Box)), _mm_setr_epi16(last, last, last, -1, 0, 0, 0, 0));
  return _mm_cvtsi128_si64(beyond) == 0;
}
inline uint32_t BlockOfBox(uint64_t Box) { return static_cast<uint32_t>(Box >> 48); }

// The chosen colours as lanes, and seven times them.
struct TTables {
  uint64_t Chosen[256], Chosen7[256];
};

// Where a row stands: X is the pixel to do next, an index into every array (one step moves
// them all).
struct TCursor {
  const uint64_t* Pixels;  // the pixels as lanes
  uint64_t* Errors;        // the error left at each place, on the row above until it is done
  uint64_t* Slots;         // the slots
  const uint64_t* Boxes;   // per pixel, its guessed box (see Inside)
  uint8_t* Out;
  ptrdiff_t X, Step;  // Step: 1 or -1
  uint32_t Misses;    // values that fell outside their guessed box

  const uint64_t* Pixel() const { return Pixels + X; }
  uint64_t* Error() const { return Errors + X; }
  uint64_t* Slot() const { return Slots + X; }
  // The block whose list serves V: its guessed box's when V lies inside, else its own. A
  // branch, not a select: the guessed list is then fetched before V is known.
  uint32_t BlockFor(__m128i V) {
    if (__builtin_expect(Inside(V, Boxes + X), 1)) return BlockOfBox(Boxes[X]);
    ++Misses;
    return BlockOf(V);
  }
  // Fetches the first group (in the form the row searches, TGroup or TGroupBytes, and the
  // groups' sevenfold colours) of the list guessed kAhead pixels on: on a large picture the
  // lists in use outgrow the caches. Always inlined: as a function of its own the compiler
  // takes it for one without effects and drops the call.
  template <class TGroupForm>
  [[gnu::always_inline]] void Prefetch(const uint32_t* Heads, const TGroupForm* Groups,
                                       const nearest::TColours7* Colours7) const {
    const uint32_t head = Heads[BlockOfBox(Boxes[X + kAhead * Step])];
    _mm_prefetch(reinterpret_cast<const char*>(nearest::First(Groups, head)), _MM_HINT_T0);
    _mm_prefetch(reinterpret_cast<const char*>(nearest::First(Colours7, head)), _MM_HINT_T0);
  }
  void Next() { X += Step; }
};

// The lookup's lists as a row reads them, taken again after each list made (their arrays may
// move then).
struct TLists {
  const uint32_t* Heads;
  const nearest::TGroup* Groups;
  const nearest::TColours7* Colours7;
  const nearest::TGroupBytes* Bytes;
};

// A row in progress, at the cursor's pixel, which is the row's End when it is done.
struct TRow {
  TCursor At;
  ptrdiff_t End;
  __m128i Sum;    // slot + carry + 8 for the pixel
  __m128i Value;  // or, when Resume, its corrected value as bytes, four times
  bool Resume;
};

typedef int16_t TFour __attribute__((vector_size(32)));  // four pixels' lanes
// Four pixels' lanes from P (by reference, so no vector crosses a call where AVX is not enabled).
inline void Four(TFour& V, const uint64_t* P) { std::memcpy(&V, P, sizeof V); }

// The guesses (see above) of four pixels from their slots, their lanes and the errors the row
// above left before each of them (in the new row's direction), of which Halves halves stand in
// for the pixel's own (see TCarryGuess): each guessed box (see Inside). The arrays have idle
// places beyond both ends.
inline void Guess(const TFour& Slot, const TFour& Before, const TFour& Pixel, int16_t Halves, uint64_t* Boxes) {
  typedef uint64_t TFourWide __attribute__((vector_size(32)));
  const TFour zero = {}, top = zero + 255;
  const TFour carry = (((Before << 3) - Before) * Halves) >> 1;
  TFour guess = Pixel + ((Slot + carry) >> 4);
  guess = guess < zero ? zero : guess;
  guess = guess > top ? top : guess;
  const TFour rounded = guess & static_cast<int16_t>(~7);
  const TFour corner = rounded - static_cast<int16_t>(TFastColorLookup::kReach);
  // The block number from each pixel's rounded lanes (blue, green, red at bits 3, 19, 35):
  // each channel's five bits shifted to their place in the idle lane (bits 58, 53, 48); what
  // lands in the other lanes is left behind.
  TFourWide wide;
  std::memcpy(&wide, &rounded, sizeof wide);
  wide = (wide << 55) + (wide << 34) + (wide << 13);
  TFour blocks;
  std::memcpy(&blocks, &wide, sizeof blocks);
  const TFour box = __builtin_shufflevector(corner, blocks, 0, 1, 2, 19, 4, 5, 6, 23, 8, 9, 10, 27, 12, 13, 14, 31);
  std::memcpy(Boxes, &box, sizeof box);
}

// Readies a row, given the errors of the row before it and its 24-bit pixels, in the order of
// memory, four pixels a step: its pixels as lanes (Lanes4 makes four from the sixteen bytes at
// its first pixel, of which it uses twelve), its slots and its guesses. Pixel x takes three
// times the error at x - 2 Step, five times the one at x - Step and the one at x, with the
// rounding's 8, except the row's first pixel, which takes Edge: the place it reads lies beyond
// the reach of the row before and still holds the share of the row before that. Errors has
// idle places of 0 beyond both ends.
template <class TLanes4>
[[gnu::always_inline]] inline void ReadyRow(const TCursor& At, const uint8_t* Src, uint64_t* Pixels, ptrdiff_t Width,
                                            uint64_t* Boxes, uint64_t Edge, int16_t Halves, TLanes4 Lanes4) {
  const ptrdiff_t step = At.Step;
  uint8_t tail[16];
  for (ptrdiff_t x = 0; x < Width; x += 4) {
    const uint8_t* src = Src + 3 * x;
    if (3 * x + 16 > 3 * Width) {  // the sixteen bytes would run past the row: a copy, 0 beyond
      std::memset(tail, 0, sizeof tail);
      std::memcpy(tail, src, static_cast<size_t>(3 * std::min<ptrdiff_t>(Width - x, 4)));
      src = tail;
    }
    Lanes4(src, Pixels + x);
    TFour e0, e1, e2, pixel;
    Four(e0, At.Errors + x);
    Four(e1, At.Errors + x - step);
    Four(e2, At.Errors + x - 2 * step);
    Four(pixel, At.Pixels + x);
    const TFour slot = (e0 + 8) + ((e1 << 2) + e1) + ((e2 << 1) + e2);
    std::memcpy(At.Slots + x, &slot, sizeof slot);
    Guess(slot, e1, pixel, Halves, Boxes + x);
  }
  const ptrdiff_t first = step == 1 ? 0 : Width - 1;
  At.Slots[first] = Edge;
  TFour slot, before, pixel;
  Four(slot, At.Slots + first);
  Four(before, At.Errors + first - step);
  Four(pixel, At.Pixels + first);
  Guess(slot, before, pixel, Halves, Boxes + first);
}

// How much of the carry guessed from the row above a row's guesses take, in halves (0, 1 or 2):
// on some pictures a pixel's error is much like the one above it, on others unrelated to it
// (there the guesses miss half as often without it). Each row takes the weight whose latest row
// had the fewest values outside their boxes; every sixteenth row tries the weights in turn. The
// choice changes only the time taken, never the result.
struct TCarryGuess {
  uint32_t Misses[3] = {~0u, 0, ~0u};  // per weight, in its latest row; ~0: not tried yet
  int16_t Pick(int Row) const {
    if (Row % 16 == 0) return static_cast<int16_t>(Row / 16 % 3);
    return static_cast<int16_t>(std::min_element(Misses, Misses + 3) - Misses);
  }
};

// What the last pixel of a row, whose error is at E, leaves for the first pixel of the row after next.
inline uint64_t EdgeSlot(const uint64_t* E) {
  const __m128i e = Load(E);
  return static_cast<uint64_t>(
      _mm_cvtsi128_si64(_mm_add_epi16(_mm_add_epi16(e, _mm_set1_epi16(8)), _mm_add_epi16(e, e))));
}

// The list to search for pixel value V at the cursor (see TCursor::BlockFor). False, with
// Missing the block + 1, when that list is not made yet.
inline bool ListFor(TCursor& At, __m128i V, const uint32_t* Heads, uint32_t& List, uint32_t& Missing) {
  const uint32_t block = At.BlockFor(V);
  List = Heads[block];
  if (List != 0) return true;
  Missing = block + 1;
  return false;
}

// Pixel V took entry Index: its error goes to its place.
inline void Settle(const TCursor& At, __m128i V, uint32_t Index, const TTables& Tables) {
  Store(At.Error(), _mm_sub_epi16(V, Load(&Tables.Chosen[Index])));
  At.Out[At.X] = static_cast<uint8_t>(Index);
}

// Runs pixels of the row until it ends (0) or a list that is not made yet is needed (its
// block + 1); Row then holds the state before the pixel that needs it. The loop calls nothing,
// so its values stay in registers.
inline uint32_t RunRow(TRow& Row, const TTables& Tables, TLists Lists) {
  const __m128i fifteen = _mm_set1_epi16(15);
  TCursor at = Row.At;
  __m128i sum = Row.Sum;
  uint32_t list, missing = 0;
  for (; at.X != Row.End; at.Next()) {
    // sum / 16 with the division truncating toward zero, then clamped to 0..255.
    const __m128i q = _mm_srai_epi16(_mm_add_epi16(sum, _mm_and_si128(_mm_srai_epi16(sum, 15), fifteen)), 4);
    const __m128i v = Clamp255(_mm_add_epi16(Load(at.Pixel()), q));
    if (!ListFor(at, v, Lists.Heads, list, missing)) break;
    at.Prefetch(Lists.Heads, Lists.Groups, Lists.Colours7);
    // The part of the next pixel's sum that does not wait for this pixel's choice.
    const __m128i nextSum = _mm_add_epi16(Load(at.Slot() + at.Step), _mm_sub_epi16(_mm_slli_epi16(v, 3), v));
    const uint8_t index = nearest::Search(Lists.Groups, list, v);
    sum = _mm_sub_epi16(nextSum, Load(&Tables.Chosen7[index]));
    Settle(at, v, index, Tables);
  }
  Row.At = at;
  Row.Sum = sum;
  return missing;
}

// Four 24-bit pixels as lanes.
inline void Lanes4(const uint8_t* Src, uint64_t* Lanes) {
  for (size_t x = 0; x < 4; ++x) Lanes[x] = ::Lanes(Src[3 * x], Src[3 * x + 1], Src[3 * x + 2]);
}

// The rows of the picture, each made lanes four pixels at a time by Lanes4 and run by Run (one
// of the RunRow forms).
template <class TLanes4, class TRun>
[[gnu::always_inline]] inline void FloydSteinbergRows(TDIBReader& Reader, TDIBWriter& Writer, int Width, int Height,
                                                      TFastColorLookup& Lookup, TLanes4 Lanes4, TRun Run) {
  const size_t places = static_cast<size_t>(Width) + 2 * kIdle;
  std::vector<uint64_t> slots(places, 0), pixels(places, 0), errors(places, 0), boxes(places, 0);
  std::unique_ptr<TTables> tables(new TTables{});
  for (int i = 0; i < Lookup.Colors; ++i) {
    const TPaletteEntry& e = Lookup.Entry(i);
    tables->Chosen[i] = Lanes(e.peBlue, e.peGreen, e.peRed);
    tables->Chosen7[i] = 7 * tables->Chosen[i];
  }
  TRow row{};
  row.At.Step = 1;
  uint64_t edge = Lanes(8, 8, 8);
  TCarryGuess carry;
  for (int y = 0; y < Height; ++y) {
    // A row ends one past its last pixel.
    row.At.X = row.At.Step == 1 ? 0 : Width - 1;
    row.End = row.At.Step == 1 ? Width : -1;
    row.At.Pixels = pixels.data() + kIdle;
    row.At.Errors = errors.data() + kIdle;
    row.At.Slots = slots.data() + kIdle;
    row.At.Boxes = boxes.data() + kIdle;
    row.At.Out = Writer.ScanLine(y);
    const int16_t halves = carry.Pick(y);
    row.At.Misses = 0;
    ReadyRow(row.At, Reader.ScanLine(y), pixels.data() + kIdle, Width, boxes.data() + kIdle, edge, halves, Lanes4);
    edge = EdgeSlot(row.At.Errors + (row.At.Step == 1 ? Width - 1 : 0));
    row.Sum = Load(row.At.Slot());
    row.Resume = false;
    while (const uint32_t missing =
               Run(row, *tables,
                   TLists{Lookup.WideHeads(), Lookup.WideGroups(), Lookup.WideColours7(), Lookup.WideGroupBytes()}))
      Lookup.WideHead(missing - 1);
    carry.Misses[halves] = row.At.Misses;
    row.At.Step = -row.At.Step;
  }
}

void FloydSteinbergSSE2(TDIBReader& Reader, TDIBWriter& Writer, int Width, int Height, TFastColorLookup& Lookup) {
  FloydSteinbergRows(Reader, Writer, Width, Height, Lookup, Lanes4, RunRow);
}

#if defined(CORVANE_NEAREST_AVX2)
// The row for processors with AVX2 (of which it takes the three-operand instructions, the
// minimum with its position and the permutes across a whole register). A pixel's corrected
// value is carried as its bytes blue, green, red and a fourth byte that only the search of
// TTwoGroupsAVX512 sees (0, or the index its step took), eight times over.
//
// When the pixel's list is one group (most are; in the AVX-512 form also two), the next
// pixel's corrected value is worked out for each of the group's eight places while the search
// runs, and the place of the least key picks it: what waits for the choice is one permute, not
// the sum, the division and the clamp. Other lists go the plain way through the chosen entry.
// sum / 16 with the division truncating toward zero (the size divided, the sign put back).
__attribute__((target("avx2"), always_inline)) inline __m256i Sixteenth(__m256i Sum) {
  return _mm256_sign_epi16(_mm256_srli_epi16(_mm256_abs_epi16(Sum), 4), Sum);
}

// The corrected value of a pixel from its lanes and sum, saturated to bytes, eight times over.
__attribute__((target("avx2"), always_inline)) inline __m256i Corrected(const uint64_t* Pixel, __m128i Sum) {
  const __m128i c = _mm_add_epi16(Load(Pixel), _mm_sign_epi16(_mm_srli_epi16(_mm_abs_epi16(Sum), 4), Sum));
  return _mm256_broadcastd_epi32(_mm_packus_epi16(c, c));
}

// The next pixel's corrected value for each of the eight places of a group, as bytes in the
// places' order: Base is its slot + 7 x this pixel's value, in every 64-bit part, and Next its
// lanes, likewise.
__attribute__((target("avx2"), always_inline)) inline __m256i Options(__m256i Base, __m256i Next,
                                                                      const nearest::TColours7& Colours7) {
  const __m256i a = _mm256_sub_epi16(Base, _mm256_load_si256(reinterpret_cast<const __m256i*>(Colours7.Lanes[0])));
  const __m256i b = _mm256_sub_epi16(Base, _mm256_load_si256(reinterpret_cast<const __m256i*>(Colours7.Lanes[1])));
  return _mm256_packus_epi16(_mm256_add_epi16(Next, Sixteenth(a)), _mm256_add_epi16(Next, Sixteenth(b)));
}

// The value's blue, green and red bytes, each over eight lanes and shifted left by 8 (as the
// candidates of TGroup are).
__attribute__((target("avx2"), always_inline)) inline void Spread(__m256i Value, __m128i& B, __m128i& G, __m128i& R) {
  const __m128i bytes = _mm256_castsi256_si128(Value);
  B = _mm_shuffle_epi8(bytes, _mm_set1_epi16(static_cast<int16_t>(0x0080)));
  G = _mm_shuffle_epi8(bytes, _mm_set1_epi16(static_cast<int16_t>(0x0180)));
  R = _mm_shuffle_epi8(bytes, _mm_set1_epi16(static_cast<int16_t>(0x0280)));
}

// The search of a list of one group, with the next pixel's value (Value, on entry this pixel's)
// taken from the options, in the AVX2 form: keys from the value spread per channel.
struct TOneGroupAVX2 {
  static const nearest::TGroup* Fetched(const TLists& Lists) { return Lists.Groups; }
  static bool Takes(uint32_t List) { return nearest::OneGroup(List); }
  __attribute__((target("avx2"), always_inline)) static uint32_t Step(__m256i& Value, __m256i Base, __m256i Next,
                                                                      uint32_t List, const TLists& Lists) {
    __m128i b, g, r;
    Spread(Value, b, g, r);
    const __m128i least = nearest::LeastOfOneAVX2(Lists.Groups, List, b, g, r);
    const __m256i options = Options(Base, Next, *nearest::First(Lists.Colours7, List));
    Value = _mm256_permutevar8x32_epi32(options, _mm256_broadcastd_epi32(_mm_srli_epi32(least, 16)));
    return static_cast<uint8_t>(_mm_cvtsi128_si32(least));
  }
};

// The same for processors with AVX-512's byte permutes, in fewer operations and for lists of
// two groups as well: the keys are sums of absolute differences against the groups' bytes
// (nearest::TGroupBytes), one word permute spreads the place, and the index is the fourth byte
// of the value taken (see TColours7). Of two groups, each place's options are those of the group
// whose sum won the place. Not forced inline: the target differs from RunRowWide's; GCC's
// flatten inlines it into FloydSteinbergAVX512 (clang keeps it a call).
struct TTwoGroupsAVX512 {
  static const nearest::TGroupBytes* Fetched(const TLists& Lists) { return Lists.Bytes; }
  static bool Takes(uint32_t List) { return nearest::Count(List) <= 2; }
  __attribute__((target("avx2,avx512f,avx512bw,avx512vl,avx512vbmi"))) static uint32_t Step(__m256i& Value,
                                                                                            __m256i Base, __m256i Next,
                                                                                            uint32_t List,
                                                                                            const TLists& Lists) {
    const nearest::TColours7* colours7 = nearest::First(Lists.Colours7, List);
    __m256i options = Options(Base, Next, colours7[0]);
    __m128i least;
    if (__builtin_expect(nearest::OneGroup(List), 1)) {
      least = nearest::LeastOfOneAVX512(Lists.Bytes, List, Value);
    } else {
      __mmask8 second;
      least = nearest::LeastOfTwoAVX512(Lists.Bytes, List, Value, second);
      options = _mm256_mask_blend_epi32(second, options, Options(Base, Next, colours7[1]));
    }
    const __m256i place = _mm256_permutexvar_epi16(_mm256_set1_epi16(1), _mm256_castsi128_si256(least));
    Value = _mm256_permutevar8x32_epi32(options, place);
    return static_cast<uint32_t>(_mm_cvtsi128_si32(_mm256_castsi256_si128(Value))) >> 24;
  }
};

// The row of the AVX2 and AVX-512 forms, which differ in TGroups, the search of the lists it
// Takes (the others go the plain way).
template <class TGroups>
__attribute__((target("avx2"))) inline uint32_t RunRowWide(TRow& Row, const TTables& Tables, TLists Lists) {
  // Bytes blue, green, red, 0 to 16-bit lanes, in each 64-bit part.
  const __m256i widen = _mm256_setr_epi8(0, -1, 1, -1, 2, -1, -1, -1, 4, -1, 5, -1, 6, -1, -1, -1, 0, -1, 1, -1, 2, -1,
                                         -1, -1, 4, -1, 5, -1, 6, -1, -1, -1);
  TCursor at = Row.At;
  __m256i value = Row.Resume ? _mm256_broadcastsi128_si256(Row.Value) : Corrected(at.Pixel(), Row.Sum);
  uint32_t missing = 0;
  for (; at.X != Row.End; at.Next()) {
    const __m256i lanes = _mm256_shuffle_epi8(value, widen);
    const __m128i v = _mm256_castsi256_si128(lanes);
    uint32_t list;
    if (!ListFor(at, v, Lists.Heads, list, missing)) break;
    at.Prefetch(Lists.Heads, TGroups::Fetched(Lists), Lists.Colours7);
    // The next pixel's sum but for this pixel's choice: its slot + 7 x this value.
    const __m256i base = _mm256_add_epi16(_mm256_set1_epi64x(static_cast<long long>(at.Slot()[at.Step])),
                                          _mm256_sub_epi16(_mm256_slli_epi16(lanes, 3), lanes));
    const __m256i next = _mm256_set1_epi64x(static_cast<long long>(at.Pixel()[at.Step]));
    uint32_t index;
    if (__builtin_expect(TGroups::Takes(list), 1)) {
      index = TGroups::Step(value, base, next, list, Lists);
    } else {
      __m128i b, g, r;
      Spread(value, b, g, r);
      index = nearest::SearchAVX2(Lists.Groups, list, b, g, r);
      const __m256i corrected = _mm256_add_epi16(
          next, Sixteenth(_mm256_sub_epi16(base, _mm256_set1_epi64x(static_cast<long long>(Tables.Chosen7[index])))));
      value = _mm256_packus_epi16(corrected, corrected);
    }
    Settle(at, v, index, Tables);
  }
  Row.At = at;
  Row.Value = _mm256_castsi256_si128(value);
  Row.Resume = true;
  return missing;
}

// Lanes4 with one byte shuffle: the sixteen bytes in both halves of a register, the first two
// pixels taken from the first half, the other two from the second.
__attribute__((target("avx2"), always_inline)) inline void Lanes4AVX2(const uint8_t* Src, uint64_t* Lanes) {
  const __m256i spread = _mm256_setr_epi8(0, -1, 1, -1, 2, -1, -1, -1, 3, -1, 4, -1, 5, -1, -1, -1, 6, -1, 7, -1, 8, -1,
                                          -1, -1, 9, -1, 10, -1, 11, -1, -1, -1);
  const __m256i v = _mm256_broadcastsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(Src)));
  _mm256_storeu_si256(reinterpret_cast<__m256i*>(Lanes), _mm256_shuffle_epi8(v, spread));
}

__attribute__((target("avx2"), flatten)) void FloydSteinbergAVX2(TDIBReader& Reader, TDIBWriter& Writer, int Width,
                                                                 int Height, TFastColorLookup& Lookup) {
  FloydSteinbergRows(Reader, Writer, Width, Height, Lookup, Lanes4AVX2, RunRowWide<TOneGroupAVX2>);
}

__attribute__((target("avx2,avx512f,avx512bw,avx512vl,avx512vbmi"), flatten)) void FloydSteinbergAVX512(
    TDIBReader& Reader, TDIBWriter& Writer, int Width, int Height, TFastColorLookup& Lookup) {
  FloydSteinbergRows(Reader, Writer, Width, Height, Lookup, Lanes4AVX2, RunRowWide<TTwoGroupsAVX512>);
}
#endif

}  // namespace

void DitherFloydSteinberg(TDIBReader& Reader, TDIBWriter& Writer, int Width, int Height, TFastColorLookup& Lookup,
                          TDitherForm Widest) {
  if (Width <= 0) return;
#if defined(CORVANE_NEAREST_AVX2)
  if (Widest == TDitherForm::Widest && processor::HasAVX512VBMI())
    return FloydSteinbergAVX512(Reader, Writer, Width, Height, Lookup);
  if (Widest != TDitherForm::SSE2 && processor::HasAVX2())
    return FloydSteinbergAVX2(Reader, Writer, Width, Height, Lookup);
#else
  (void)Widest;
#endif
  FloydSteinbergSSE2(Reader, Writer, Width, Height, Lookup);
}
#else
void DitherFloydSteinberg(TDIBReader& Reader, TDIBWriter& Writer, int Width, int Height, TFastColorLookup& Lookup,
                          TDitherForm) {
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
