// Deflate decoding for whole streams of known size. TIFF strips of photographs and noise are
// mostly literals of about seven bits: each step decodes up to five of them per refill of a
// 64-bit bit buffer, one table look-up each, or one match, and every check that is not needed
// while far from both ends of the buffers is left to a careful loop near them. A step waits
// mostly on its chain of look-ups, so two streams are decoded side by side, a step of each in
// turn, and fill each other's waits.
#include "codecs/WholeInflate.h"

#include <libdeflate.h>

#include <algorithm>
#include <bit>
#include <cstring>

#include "platform/Processor.h"

#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace {

// A table entry: bits 0-7 the bits to consume (the code and any extra bits), bits 8-11 the
// code's own length (where the extra bits start), bits 12-14 flags, bits 16-30 the value (the
// literal, the base length or distance, or where the subtable starts) and bit 31 set for a
// literal. A subtable link consumes the main table's bits and gives the subtable's index width
// in bits 8-11.
constexpr uint32_t kLiteral = 0x80000000u;
constexpr uint32_t kSub = 0x1000, kEnd = 0x2000, kBad = 0x4000;
constexpr uint32_t kPrevious = kSub;  // the code-length table has no subtables

constexpr unsigned kLitBits = 11, kDistBits = 8, kLenCodeBits = 7;
// Codes longer than the main table's index go to subtables of 2^(longest - index bits)
// entries, one for each main-table slot that starts a long code.
constexpr size_t kLitTableSize = (size_t{1} << kLitBits) + 288 * (size_t{1} << (15 - kLitBits));
constexpr size_t kDistTableSize = (size_t{1} << kDistBits) + 32 * (size_t{1} << (15 - kDistBits));

constexpr uint16_t kLengthBase[29] = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                                      31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
constexpr uint8_t kLengthExtra[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                      2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
constexpr uint16_t kDistBase[30] = {1,    2,    3,    4,    5,    7,    9,    13,    17,    25,
                                    33,   49,   65,   97,   129,  193,  257,  385,   513,   769,
                                    1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
constexpr uint8_t kDistExtra[30] = {0, 0, 0, 0, 1, 1, 2, 2,  3,  3,  4,  4,  5,  5,  6,
                                    6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};
constexpr uint8_t kLenCodeOrder[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};

// The part of an entry a symbol decides, before the code's length is known: its value and
// flags, with the count of extra bits in the low byte. A code-length symbol's entry has the
// length it gives in bits 16-23 (0 for a repeat), kPrevious when it repeats the last length,
// and how often it is at least repeated in bits 24-31.
struct TTemplates {
  uint32_t Lit[288], Dist[32], LenCode[19];
  constexpr TTemplates() : Lit(), Dist(), LenCode() {
    for (uint32_t s = 0; s < 256; ++s) Lit[s] = kLiteral | s << 16;
    Lit[256] = kEnd;
    for (uint32_t s = 257; s < 286; ++s) Lit[s] = uint32_t{kLengthBase[s - 257]} << 16 | kLengthExtra[s - 257];
    Lit[286] = Lit[287] = kBad;
    for (uint32_t s = 0; s < 30; ++s) Dist[s] = uint32_t{kDistBase[s]} << 16 | kDistExtra[s];
    Dist[30] = Dist[31] = kBad;
    for (uint32_t s = 0; s < 16; ++s) LenCode[s] = 1u << 24 | s << 16;
    LenCode[16] = 3u << 24 | kPrevious | 2;
    LenCode[17] = 3u << 24 | 3;
    LenCode[18] = 11u << 24 | 7;
  }
};
constexpr TTemplates kTemplates;

constexpr struct TReversedBytes {
  uint8_t Of[256];
  constexpr TReversedBytes() : Of() {
    for (unsigned i = 0; i < 256; ++i)
      for (unsigned bit = 0; bit < 8; ++bit) Of[i] |= static_cast<uint8_t>(((i >> bit) & 1) << (7 - bit));
  }
} kReversed;

// A code of up to 15 bits with its bits reversed, as the stream presents them.
[[gnu::always_inline]] inline uint32_t Reverse(uint32_t code, unsigned length) {
  return (uint32_t{kReversed.Of[code & 0xFF]} << 8 | kReversed.Of[code >> 8]) >> (16 - length);
}

// The same for the main tables' codes, one look-up each: a code shifted up to kLitBits bits
// and reversed whole.
static_assert(kDistBits <= kLitBits && kLenCodeBits <= kLitBits);
constexpr struct TReversedCodes {
  uint16_t Of[1 << kLitBits];
  constexpr TReversedCodes() : Of() {
    for (unsigned i = 0; i < (1u << kLitBits); ++i)
      for (unsigned bit = 0; bit < kLitBits; ++bit)
        Of[i] |= static_cast<uint16_t>(((i >> bit) & 1) << (kLitBits - 1 - bit));
  }
} kReversedCodes;

// A prefix code as the table builder takes it: how many codes each length has and, for each
// length, its symbols in increasing order (row 0, symbols without a code, is not read).
// Each row has room for eight symbols written at once past its count.
template <unsigned N>
struct TCodeSet {
  uint16_t* End[16];  // where each row's next symbol goes
  uint16_t Symbols[16][N + 8];
  TCodeSet() {
    for (unsigned l = 0; l < 16; ++l) End[l] = Symbols[l];
  }
  TCodeSet(const TCodeSet&) = delete;
  TCodeSet& operator=(const TCodeSet&) = delete;
  unsigned Count(unsigned length) const { return static_cast<unsigned>(End[length] - Symbols[length]); }
};

// 0, 1, 2, ...: any eight symbol numbers in a row.
constexpr struct TCounting {
  uint16_t From[288 + 8];
  constexpr TCounting() : From() {
    for (uint16_t i = 0; i < 288 + 8; ++i) From[i] = i;
  }
} kCounting;

// Lists the symbols of lengths[0..count) by length.
template <unsigned N>
void Gather(TCodeSet<N>& set, const uint8_t* lengths, unsigned count) {
  for (unsigned s = 0; s < count; ++s) *set.End[lengths[s]]++ = static_cast<uint16_t>(s);
}

// Fills a decoding table for a code, its main part indexed by `bits` bits. False unless the
// lengths make a complete prefix code: over-subscribed sets are invalid, and incomplete ones
// (valid only in corner cases) are left to the general inflater. The main table grows by
// doubling: codes of each length are written once into the first 2^length entries, which are
// then repeated up for the next length.
#if defined(__x86_64__)
// Fills entries [from, to) of a table with the ones `period` below them, a cache line at a time
// (from, to and period multiples of sixteen, the table on a 64-byte boundary).
__attribute__((target("avx512f"))) void GrowWide(uint32_t* table, size_t from, size_t to, size_t period) {
  for (size_t k = from; k < to; k += 16) _mm512_store_si512(table + k, _mm512_load_si512(table + (k & (period - 1))));
}
#else
void GrowWide(uint32_t*, size_t, size_t, size_t) {}
#endif

// Writes the entries of n codes of one length, given by their symbols; their reversed codes
// are every stride-th of rev. Out of line, its loop has registers of its own: inlined into the
// header's reading, it kept half its values in vector registers and on the stack.
[[gnu::noinline]] void Place(uint32_t* table, const uint16_t* symbols, unsigned n, const uint32_t* templates,
                             uint32_t add, const uint16_t* rev, size_t stride) {
  for (unsigned j = 0; j < n; ++j, rev += stride) table[*rev] = templates[symbols[j]] + add;
}

// Wide: the table starts on a 64-byte boundary and the processor has AVX-512, whose copies
// take a cache line at a time.
template <bool Wide = false, unsigned N>
bool BuildTable(uint32_t* table, unsigned bits, const TCodeSet<N>& set, const uint32_t* templates) {
  int left = 1;
  unsigned longest = 0;
  for (unsigned l = 1; l <= 15; ++l) {
    left = 2 * left - static_cast<int>(set.Count(l));
    if (left < 0) return false;
    if (set.Count(l)) longest = l;
  }
  if (left != 0) return false;
  unsigned filled = 0;  // the first 2^filled entries hold every code up to that length
  // Each new entry repeats the one 2^filled below it: in one pass that reads only the first
  // 2^filled, rather than a doubling at a time, whose copies wait on the last one's stores.
  const auto grow = [&](unsigned to) {
    if (filled >= to) return;
    const size_t end = size_t{1} << to;
    size_t k = size_t{1} << filled, period = k;
    for (; k < end && k < 4; ++k) table[k] = table[k & (period - 1)];
    period = std::max<size_t>(period, 4);  // the first four now repeat as often
    // Sixteen bytes at a time through a register: as a call, the copies cost more than they move.
    const auto four = [&] {
      uint32_t piece[4];
      std::memcpy(piece, table + (k & (period - 1)), 16);
      std::memcpy(table + k, piece, 16);
    };
    if constexpr (Wide) {
      for (; k < end && k < 16; k += 4) four();
      GrowWide(table, k, end, std::max<size_t>(period, 16));
      k = end;
    }
    for (; k < end; k += 4) four();
    filled = to;
  };
  const uint32_t mainSize = uint32_t{1} << bits;
  const unsigned subBits = longest > bits ? longest - bits : 0;
  uint32_t nextSub = mainSize, lastPrefix = UINT32_MAX, subStart = 0;
  uint32_t code = 0;
  unsigned codeLength = 0;
  for (unsigned length = 1; length <= longest; ++length) {
    const unsigned n = set.Count(length);
    if (n == 0) continue;
    const uint16_t* const symbols = set.Symbols[length];
    code <<= length - codeLength;
    codeLength = length;
    if (length <= bits) {
      if (filled == 0) filled = length;
      grow(length);
      // An entry is its template with the code's length in bits 8-11 and added to the low
      // byte, which holds at most 13 extra bits.
      const unsigned up = kLitBits - length;
      Place(table, symbols, n, templates, length << 8 | length, kReversedCodes.Of + (size_t{code} << up),
            size_t{1} << up);
      code += n;
      continue;
    }
    if (filled == 0) filled = bits;
    grow(bits);
    // Canonical codes sharing their first `bits` bits come one after another.
    const unsigned rest = length - bits;
    for (unsigned j = 0; j < n; ++j) {
      const uint32_t reversed = Reverse(code++, length);
      const uint32_t prefix = reversed & (mainSize - 1);
      if (prefix != lastPrefix) {
        lastPrefix = prefix;
        subStart = nextSub;
        nextSub += uint32_t{1} << subBits;
        table[prefix] = kSub | subStart << 16 | subBits << 8 | bits;
      }
      const uint32_t t = templates[symbols[j]];
      const uint32_t e = (t & ~0xFFu) | rest << 8 | (rest + (t & 0xFF));
      for (uint32_t k = reversed >> bits; k < (uint32_t{1} << subBits); k += uint32_t{1} << rest)
        table[subStart + k] = e;
    }
  }
  grow(bits);
  return true;
}

[[gnu::always_inline]] inline uint64_t Load64(const uint8_t* p) {
  uint64_t v;
  std::memcpy(&v, p, 8);
  if constexpr (std::endian::native == std::endian::big) v = __builtin_bswap64(v);
  return v;
}

// A table index: the buffer's low n bits. With BMI2 one instruction that leaves the buffer
// alone, so no copy of it sits in the chain from one look-up to the next.
template <bool Bmi2>
[[gnu::always_inline]] inline uint64_t Index(uint64_t v, uint64_t n) {
#if defined(__x86_64__)
  if constexpr (Bmi2) {
    uint64_t r;
    __asm__("bzhi %2, %1, %0" : "=r"(r) : "r"(v), "r"(n));
    return r;
  }
#endif
  return v & ((uint64_t{1} << n) - 1);
}

[[gnu::always_inline]] inline uint64_t LowBits(uint64_t v, unsigned n) { return v & ((uint64_t{1} << n) - 1); }

// The bit buffer. Near the end of the input missing bytes read as zeros and are counted, so
// a stream cut short is found where it ends (more than eight such bytes cannot belong to a
// valid stream).
struct TBits {
  const uint8_t *In, *End;
  uint64_t Buf = 0;
  unsigned Left = 0, Over = 0;

  // At least 56 bits in the buffer afterwards; false when the stream ran far past the input.
  [[gnu::always_inline]] bool Refill() {
    if (End - In >= 8) {
      Buf |= Load64(In) << Left;
      In += (63 - Left) >> 3;
      Left |= 56;
      return true;
    }
    while (Left <= 56) {
      uint64_t byte = 0;
      if (In < End)
        byte = *In++;
      else if (++Over > 8)
        return false;
      Buf |= byte << Left;
      Left += 8;
    }
    return true;
  }
  [[gnu::always_inline]] uint32_t Take(unsigned n) {
    const uint32_t v = static_cast<uint32_t>(LowBits(Buf, n));
    Buf >>= n;
    Left -= n;
    return v;
  }
  // Drops the bits up to the next byte boundary and hands the whole bytes still in the buffer
  // back to the input; false when the stream has already run past the input.
  bool AlignAndRewind() {
    Take(Left & 7);
    if (Left < 8 * Over) return false;
    In -= Left / 8 - Over;
    Buf = 0;
    Left = Over = 0;
    return true;
  }
};

}  // namespace

struct TWholeInflater::TTables {
  alignas(64) uint32_t Lit[kLitTableSize];
  alignas(64) uint32_t Dist[kDistTableSize];
  alignas(64) uint32_t LenCode[1 << kLenCodeBits];
};

namespace {

using TTables = TWholeInflater::TTables;
using TInflateJob = TWholeInflater::TJob;

// Lists code lengths by length as a block's header gives them, until symbol `stop`; the
// alphabet's symbols are numbered from `base`. A run crossing `stop` is split, its tail going
// to `next`. The lists are made on the chain of code-length look-ups that bounds this loop
// anyway, so building the tables needs no pass of its own to count and sort the symbols.
struct TLengthReader {
  TBits& B;
  const uint32_t* LenCode;
  unsigned Total;
  unsigned At = 0;
  unsigned Previous = 16;  // the last length read; none yet

  template <bool Bmi2, unsigned N, unsigned M>
  [[gnu::always_inline]] bool Read(TCodeSet<N>& set, unsigned base, unsigned stop, TCodeSet<M>* next) {
    unsigned i = At;
    // The bit buffer in registers: the lists' stores could otherwise alias it.
    TBits bits = B;
    // Every symbol handled the same way, whether a length or a repeat: which comes next is
    // not predictable. A run of one length (at most six) is listed as the eight symbols from
    // where it starts, of which the count keeps as many as the run has; zeros are listed in
    // row 0, which no table reads.
    // A refill gives at least 56 bits, enough for three symbols of at most 14 bits each.
    while (i < stop) {
      if (!bits.Refill()) return false;
      for (unsigned k = 0; k < 3 && i < stop; ++k) {
        const uint32_t e = LenCode[LowBits(bits.Buf, kLenCodeBits)];
        // The low byte is at most 14: BMI2 takes it as a count as it stands.
        const uint64_t extra = Index<Bmi2>(bits.Buf, Bmi2 ? e : e & 0xFF);
        bits.Buf >>= e & 0x3F;
        bits.Left -= e & 0xFF;
        const unsigned repeat = (e >> 24) + static_cast<unsigned>(extra >> ((e >> 8) & 0xF));
        // A conditional move rather than a branch, which would be taken at random.
        const unsigned value = (e & kPrevious) ? Previous : (e >> 16) & 0xFF;
        if (value > 15 || repeat > Total - i) return false;
        Previous = value;
        uint16_t* const to = set.End[value];
        std::memcpy(to, kCounting.From + (i - base), 16);
        set.End[value] = to + repeat;
        i += repeat;
      }
    }
    B = bits;
    At = i;
    if (i > stop && Previous) {
      const unsigned over = i - stop;
      set.End[Previous] -= over;
      for (unsigned j = 0; j < over; ++j) *next->End[Previous]++ = static_cast<uint16_t>(j);
    }
    return true;
  }
};

template <bool Bmi2, bool Wide>
[[gnu::always_inline]] inline bool ReadDynamicTablesHere(TBits& b, TTables& t) {
  if (!b.Refill()) return false;
  const unsigned litCount = b.Take(5) + 257, distCount = b.Take(5) + 1, lenCodeCount = b.Take(4) + 4;
  if (litCount > 286 || distCount > 30) return false;
  {
    uint8_t lengths[19] = {};
    for (unsigned i = 0; i < lenCodeCount; ++i) {
      if (i % 16 == 0 && !b.Refill()) return false;
      lengths[kLenCodeOrder[i]] = static_cast<uint8_t>(b.Take(3));
    }
    TCodeSet<19> lenCodes;
    Gather(lenCodes, lengths, 19);
    if (!BuildTable<Wide>(t.LenCode, kLenCodeBits, lenCodes, kTemplates.LenCode)) return false;
  }
  TCodeSet<288> lit;
  TCodeSet<32> dist;
  TLengthReader reader{b, t.LenCode, litCount + distCount};
  return reader.Read<Bmi2>(lit, 0, litCount, &dist) &&
         reader.Read<Bmi2>(dist, litCount, litCount + distCount, static_cast<TCodeSet<32>*>(nullptr)) &&
         BuildTable<Wide>(t.Lit, kLitBits, lit, kTemplates.Lit) &&
         BuildTable<Wide>(t.Dist, kDistBits, dist, kTemplates.Dist);
}

#if defined(__x86_64__)
// Reading a header is mostly shifts by amounts in registers, which BMI2 does in one step.
__attribute__((target("bmi2"))) bool ReadDynamicTablesBMI2(TBits& b, TTables& t) {
  return ReadDynamicTablesHere<true, false>(b, t);
}
// Most of building a table is copying its first entries up; AVX-512 copies a line at a time.
__attribute__((target("bmi2,avx512f"))) bool ReadDynamicTablesAVX512(TBits& b, TTables& t) {
  return ReadDynamicTablesHere<true, true>(b, t);
}
#endif
bool ReadDynamicTablesPlain(TBits& b, TTables& t) { return ReadDynamicTablesHere<false, false>(b, t); }

template <bool Bmi2>
[[gnu::always_inline]] inline bool ReadDynamicTables(TBits& b, TTables& t) {
#if defined(__x86_64__)
  if constexpr (Bmi2) return processor::HasAVX512F() ? ReadDynamicTablesAVX512(b, t) : ReadDynamicTablesBMI2(b, t);
#endif
  return ReadDynamicTablesPlain(b, t);
}

void BuildFixedTables(TTables& t) {
  uint8_t lengths[320];
  std::memset(lengths, 8, 144);
  std::memset(lengths + 144, 9, 112);
  std::memset(lengths + 256, 7, 24);
  std::memset(lengths + 280, 8, 8);
  std::memset(lengths + 288, 5, 32);
  TCodeSet<288> lit;
  TCodeSet<32> dist;
  Gather(lit, lengths, 288);
  Gather(dist, lengths + 288, 32);
  BuildTable(t.Lit, kLitBits, lit, kTemplates.Lit);
  BuildTable(t.Dist, kDistBits, dist, kTemplates.Dist);
}

// Far from both ends two steps go without a check: each writes at most 258 bytes, or five
// literals, plus up to 16 past its end, and reads at most 14 bytes plus 8 ahead.
constexpr ptrdiff_t kOutMargin = 2 * (5 + 258) + 16 + 16;
constexpr ptrdiff_t kInMargin = 2 * 14 + 16;

[[gnu::always_inline]] inline void CopyMatch(uint8_t* out, unsigned length, unsigned distance) {
  const uint8_t* from = out - distance;
  if (distance >= 8) [[likely]] {
    // Eight bytes at a time reads only what is already written; most matches take two.
    uint64_t v;
    std::memcpy(&v, from, 8);
    std::memcpy(out, &v, 8);
    std::memcpy(&v, from + 8, 8);
    std::memcpy(out + 8, &v, 8);
    for (unsigned i = 16; i < length; i += 8) {
      std::memcpy(&v, from + i, 8);
      std::memcpy(out + i, &v, 8);
    }
  } else if (distance == 1) {
    std::memset(out, *from, length);
  } else {
    for (unsigned i = 0; i < length; ++i) out[i] = from[i];
  }
}

// A stream being inflated: where it stands in its input and output, and its tables.
struct TStream {
  enum TState { sBlock, sDone, sFailed };
  TBits B;
  uint8_t *Start, *Out, *End;
  TTables* T;
  size_t Used = 0;
  bool Last = false;  // the block being decoded is the stream's final one
  bool CallerSums = false;
  uint32_t Sum = 0;  // the one the trailer holds
  TState State = sFailed;
};

// The fast loop's copy of a stream, kept in registers.
struct TFast {
  const uint8_t* In;
  const uint8_t* InLimit;
  uint64_t Buf;
  unsigned Left;
  uint8_t* O;
  uint8_t* OutLimit;
  uint8_t* Start;
  const uint32_t* Lit;
  const uint32_t* Dist;
  // The next symbol's entry, looked up ahead while the buffer held its bits, so that its
  // look-up waits on neither the refill nor the step's own bookkeeping.
  uint32_t Next = 0;
  bool HaveNext = false;

  [[gnu::always_inline]] explicit TFast(const TStream& s)
      : In(s.B.In),
        InLimit(s.B.End - kInMargin),
        Buf(s.B.Buf),
        Left(s.B.Left),
        O(s.Out),
        OutLimit(s.End - kOutMargin),
        Start(s.Start),
        Lit(s.T->Lit),
        Dist(s.T->Dist) {}
  [[gnu::always_inline]] void Store(TStream& s) const {
    s.B.In = In;
    s.B.Buf = Buf;
    s.B.Left = Left;
    s.Out = O;
  }
  // Far from both ends, where no step needs a check. A stream with bytes read past its end
  // is never far from it.
  [[gnu::always_inline]] bool Far() const { return In <= InLimit && O <= OutLimit; }
};

enum TStep { kGoOn, kBlockEnd, kInvalid };

// One step far from the ends: up to five literals or one match. A refill gives at least 56
// bits: enough for five literals of the main table (at most 11 bits each), or for a length
// and a distance with their extra bits (at most 48).
template <bool Bmi2>
[[gnu::always_inline]] inline TStep Step(TFast& f) {
#define REFILL()                     \
  do {                               \
    f.Buf |= Load64(f.In) << f.Left; \
    f.In += (63 - f.Left) >> 3;      \
    f.Left |= 56;                    \
  } while (0)
#define CONSUME(n) \
  do {             \
    f.Buf >>= (n); \
    f.Left -= (n); \
  } while (0)
#define LOOK_AHEAD()                                              \
  do {                                                            \
    f.HaveNext = f.Left >= kLitBits;                              \
    if (f.HaveNext) f.Next = f.Lit[Index<Bmi2>(f.Buf, kLitBits)]; \
  } while (0)
  REFILL();
  uint32_t e;
  if (f.HaveNext)
    e = f.Next;
  else
    e = f.Lit[Index<Bmi2>(f.Buf, kLitBits)];
  if (static_cast<int32_t>(e) < 0) {
#define LITERAL_OR_LEAVE(k)                \
  CONSUME(e & 0xFF);                       \
  f.O[k] = static_cast<uint8_t>(e >> 16);  \
  e = f.Lit[Index<Bmi2>(f.Buf, kLitBits)]; \
  if (static_cast<int32_t>(e) >= 0) {      \
    f.O += (k) + 1;                        \
    goto other;                            \
  }
    LITERAL_OR_LEAVE(0)
    LITERAL_OR_LEAVE(1)
    LITERAL_OR_LEAVE(2)
    LITERAL_OR_LEAVE(3)
#undef LITERAL_OR_LEAVE
    CONSUME(e & 0xFF);
    f.O[4] = static_cast<uint8_t>(e >> 16);
    f.O += 5;
    LOOK_AHEAD();
    return kGoOn;
  other:
    REFILL();
  }
  if (e & kSub) {
    CONSUME(e & 0xFF);
    e = f.Lit[(e >> 16) + LowBits(f.Buf, (e >> 8) & 0xF)];
    if (static_cast<int32_t>(e) < 0) {
      CONSUME(e & 0xFF);
      *f.O++ = static_cast<uint8_t>(e >> 16);
      f.HaveNext = false;
      return kGoOn;
    }
  }
  if (e & (kEnd | kBad)) {
    CONSUME(e & 0xFF);
    f.HaveNext = false;
    return (e & kBad) ? kInvalid : kBlockEnd;
  }
  const unsigned length = (e >> 16) + static_cast<unsigned>(LowBits(f.Buf, e & 0xFF) >> ((e >> 8) & 0xF));
  CONSUME(e & 0xFF);
  uint32_t d = f.Dist[Index<Bmi2>(f.Buf, kDistBits)];
  if (d & kSub) {
    CONSUME(d & 0xFF);
    d = f.Dist[(d >> 16) + LowBits(f.Buf, (d >> 8) & 0xF)];
  }
  const unsigned distance = (d >> 16) + static_cast<unsigned>(LowBits(f.Buf, d & 0xFF) >> ((d >> 8) & 0xF));
  CONSUME(d & 0xFF);
  if ((d & kBad) || distance > static_cast<size_t>(f.O - f.Start)) return kInvalid;
  LOOK_AHEAD();
  CopyMatch(f.O, length, distance);
  f.O += length;
  return kGoOn;
#undef LOOK_AHEAD
#undef REFILL
#undef CONSUME
}

// The rest of a Huffman-coded block: fast while far from the ends, every symbol checked near
// them. Invalid for anything wrong, for output beyond the room and for a stream running past
// the input.
template <bool Bmi2>
[[gnu::always_inline]] inline TStep FinishBlock(TStream& s) {
  TFast f(s);
  if (s.B.Over == 0) {
    while (f.Far()) {
      const TStep r = Step<Bmi2>(f);
      if (r != kGoOn) {
        f.Store(s);
        return r;
      }
    }
    f.Store(s);
  }
  TBits& b = s.B;
  uint8_t*& out = s.Out;
  for (;;) {
    if (!b.Refill()) return kInvalid;
    uint32_t e = f.Lit[LowBits(b.Buf, kLitBits)];
    if (e & kSub) {
      b.Take(e & 0xFF);
      e = f.Lit[(e >> 16) + LowBits(b.Buf, (e >> 8) & 0xF)];
    }
    if (static_cast<int32_t>(e) < 0) {
      if (out == s.End) return kInvalid;
      b.Take(e & 0xFF);
      *out++ = static_cast<uint8_t>(e >> 16);
      continue;
    }
    if (e & kBad) return kInvalid;
    if (e & kEnd) {
      b.Take(e & 0xFF);
      return kBlockEnd;
    }
    const unsigned length = (e >> 16) + (b.Take(e & 0xFF) >> ((e >> 8) & 0xF));
    uint32_t d = f.Dist[LowBits(b.Buf, kDistBits)];
    if (d & kSub) {
      b.Take(d & 0xFF);
      d = f.Dist[(d >> 16) + LowBits(b.Buf, (d >> 8) & 0xF)];
    }
    if (d & kBad) return kInvalid;
    const unsigned distance = (d >> 16) + (b.Take(d & 0xFF) >> ((d >> 8) & 0xF));
    if (distance > static_cast<size_t>(out - s.Start) || length > static_cast<size_t>(s.End - out)) return kInvalid;
    const uint8_t* const from = out - distance;
    for (unsigned i = 0; i < length; ++i) out[i] = from[i];
    out += length;
  }
}

// The trailer after the final block: the output exactly full and its Adler-32 matching, unless
// the caller checks that.
bool Finish(TStream& s, const uint8_t* source) {
  TBits& b = s.B;
  if (s.Out != s.End || !b.AlignAndRewind() || b.End - b.In < 4) return false;
  s.Sum = uint32_t{b.In[0]} << 24 | uint32_t{b.In[1]} << 16 | uint32_t{b.In[2]} << 8 | b.In[3];
  if (!s.CallerSums && libdeflate_adler32(1, s.Start, static_cast<size_t>(s.End - s.Start)) != s.Sum) return false;
  s.Used = static_cast<size_t>(b.In + 4 - source);
  return true;
}

// Goes on to the next Huffman-coded block, copying stored blocks on the way, or at the end
// of the stream checks its trailer.
template <bool Bmi2>
void NextBlock(TStream& s, const uint8_t* source) {
  TBits& b = s.B;
  for (;;) {
    if (s.Last) {
      s.State = Finish(s, source) ? TStream::sDone : TStream::sFailed;
      return;
    }
    s.State = TStream::sFailed;
    if (!b.Refill()) return;
    s.Last = b.Take(1) != 0;
    const unsigned type = b.Take(2);
    if (type == 0) {
      if (!b.AlignAndRewind() || b.End - b.In < 4) return;
      const unsigned length = b.In[0] | b.In[1] << 8, check = b.In[2] | b.In[3] << 8;
      b.In += 4;
      if ((length ^ 0xFFFF) != check || length > static_cast<size_t>(b.End - b.In) ||
          length > static_cast<size_t>(s.End - s.Out))
        return;
      std::memcpy(s.Out, b.In, length);
      b.In += length;
      s.Out += length;
      continue;
    }
    if (type == 3) return;
    if (type == 1)
      BuildFixedTables(*s.T);
    else if (!ReadDynamicTables<Bmi2>(b, *s.T))
      return;
    s.State = TStream::sBlock;
    return;
  }
}

// Reads the zlib header (deflate, a window of at most 32 KiB, the check, no preset
// dictionary) and the first block's.
template <bool Bmi2>
void Begin(TStream& s, TTables& t, const TInflateJob& job) {
  s.T = &t;
  s.State = TStream::sFailed;
  s.CallerSums = job.CallerSums;
  const uint8_t* const source = job.Source;
  if (job.SourceSize < 6 || job.OutSize == 0) return;
  const unsigned cmf = source[0], flags = source[1];
  if ((cmf & 15) != 8 || (cmf >> 4) > 7 || (cmf << 8 | flags) % 31 != 0 || (flags & 0x20)) return;
  s.B = TBits{source + 2, source + job.SourceSize};
  s.Start = s.Out = job.Out;
  s.End = job.Out + job.OutSize;
  NextBlock<Bmi2>(s, source);
}

template <bool Bmi2>
[[gnu::always_inline]] inline void Advance(TStream& s, TStep r, const uint8_t* source) {
  if (r == kInvalid)
    s.State = TStream::sFailed;
  else if (r == kBlockEnd)
    NextBlock<Bmi2>(s, source);
}

template <bool Bmi2>
[[gnu::always_inline]] inline void Run(TStream& s, const TInflateJob& job) {
  while (s.State == TStream::sBlock) Advance<Bmi2>(s, FinishBlock<Bmi2>(s), job.Source);
}

void Report(const TStream& s, TInflateJob& job) {
  job.Done = s.State == TStream::sDone;
  job.Used = s.Used;
  job.Sum = s.Sum;
}

template <bool Bmi2>
[[gnu::always_inline]] inline void InflateOne(TTables& t, TInflateJob& job) {
  TStream s;
  Begin<Bmi2>(s, t, job);
  Run<Bmi2>(s, job);
  Report(s, job);
}

// Two streams side by side: each step of one waits mostly on its own table look-ups, so the
// other's steps fill the time between.
template <bool Bmi2>
[[gnu::always_inline]] inline void InflateTwo(TTables* t, TInflateJob& a, TInflateJob& b) {
  TStream s[2];
  Begin<Bmi2>(s[0], t[0], a);
  Begin<Bmi2>(s[1], t[1], b);
  while (s[0].State == TStream::sBlock && s[1].State == TStream::sBlock && s[0].B.Over == 0 && s[1].B.Over == 0) {
    TFast f0(s[0]), f1(s[1]);
    TStep r0 = kGoOn, r1 = kGoOn;
    // Two steps of each between checks of the ends: the checks cost more than they seem.
    while (f0.Far() && f1.Far()) {
      r0 = Step<Bmi2>(f0);
      r1 = Step<Bmi2>(f1);
      if ((r0 | r1) != kGoOn) break;
      r0 = Step<Bmi2>(f0);
      r1 = Step<Bmi2>(f1);
      if ((r0 | r1) != kGoOn) break;
    }
    f0.Store(s[0]);
    f1.Store(s[1]);
    if (r0 == kGoOn && !f0.Far()) r0 = FinishBlock<Bmi2>(s[0]);
    if (r1 == kGoOn && !f1.Far()) r1 = FinishBlock<Bmi2>(s[1]);
    Advance<Bmi2>(s[0], r0, a.Source);
    Advance<Bmi2>(s[1], r1, b.Source);
  }
  Run<Bmi2>(s[0], a);
  Run<Bmi2>(s[1], b);
  Report(s[0], a);
  Report(s[1], b);
}

#if defined(__x86_64__)
// BMI2's shifts take their count from any register and clear high bits in one step.
__attribute__((target("bmi2"))) void InflateOneBMI2(TTables& t, TInflateJob& job) { InflateOne<true>(t, job); }
__attribute__((target("bmi2"))) void InflateTwoBMI2(TTables* t, TInflateJob& a, TInflateJob& b) {
  InflateTwo<true>(t, a, b);
}
using processor::HasBMI2;
#else
constexpr bool HasBMI2() { return false; }
void InflateOneBMI2(TTables&, TInflateJob&) {}
void InflateTwoBMI2(TTables*, TInflateJob&, TInflateJob&) {}
#endif

void InflateOnePlain(TTables& t, TInflateJob& job) { InflateOne<false>(t, job); }
void InflateTwoPlain(TTables* t, TInflateJob& a, TInflateJob& b) { InflateTwo<false>(t, a, b); }

}  // namespace

TWholeInflater::TWholeInflater(bool Bmi2)
    : FTables(std::make_unique_for_overwrite<TTables[]>(2)), FBmi2(Bmi2 && HasBMI2()) {}

TWholeInflater::~TWholeInflater() = default;

bool TWholeInflater::Inflate(TInflateJob& job) {
  FBmi2 ? InflateOneBMI2(FTables[0], job) : InflateOnePlain(FTables[0], job);
  return job.Done;
}

void TWholeInflater::InflatePair(TInflateJob& a, TInflateJob& b) {
  FBmi2 ? InflateTwoBMI2(FTables.get(), a, b) : InflateTwoPlain(FTables.get(), a, b);
}
