// Deflate decoding for whole streams of known size. TIFF strips of photographs and noise are
// mostly literals of about seven bits: each step decodes up to five of them per refill of a
// 64-bit bit buffer, one table look-up each, or one match, and every check that is not needed
// while far from both ends of the buffers is left to a careful loop near them. A step waits
// mostly on its chain of look-ups, so two streams are decoded side by side, a step of each in
// turn, and fill each other's waits.
#include "codecs/WholeInflate.h"

#include <libdeflate.h>

#include <bit>
#include <cstring>

namespace {

// A table entry: bits 0-7 the bits to consume (the code and any extra bits), bits 8-11 the
// code's own length (where the extra bits start), bits 12-14 flags, bits 16-30 the value (the
// literal, the base length or distance, or where the subtable starts) and bit 31 set for a
// literal. A subtable link consumes the main table's bits and gives the subtable's index width
// in bits 8-11.
constexpr uint32_t kLiteral = 0x80000000u;
constexpr uint32_t kSub = 0x1000, kEnd = 0x2000, kBad = 0x4000;

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
// flags, with the count of extra bits in the low byte.
struct TTemplates {
  uint32_t Lit[288], Dist[32], LenCode[19];
  constexpr TTemplates() : Lit(), Dist(), LenCode() {
    for (uint32_t s = 0; s < 256; ++s) Lit[s] = kLiteral | s << 16;
    Lit[256] = kEnd;
    for (uint32_t s = 257; s < 286; ++s) Lit[s] = uint32_t{kLengthBase[s - 257]} << 16 | kLengthExtra[s - 257];
    Lit[286] = Lit[287] = kBad;
    for (uint32_t s = 0; s < 30; ++s) Dist[s] = uint32_t{kDistBase[s]} << 16 | kDistExtra[s];
    Dist[30] = Dist[31] = kBad;
    for (uint32_t s = 0; s < 19; ++s) LenCode[s] = s << 16;
    LenCode[16] |= 2;
    LenCode[17] |= 3;
    LenCode[18] |= 7;
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

// Fills a decoding table for the code lengths[0..count), its main part indexed by `bits` bits.
// False unless the lengths make a complete prefix code: over-subscribed sets are invalid, and
// incomplete ones (valid only in corner cases) are left to the general inflater. The main
// table grows by doubling: codes of each length are written once into the first 2^length
// entries, which are then copied up for the next length.
bool BuildTable(uint32_t* table, unsigned bits, const uint8_t* lengths, unsigned count, const uint32_t* templates) {
  // Two halves counted and sorted side by side: runs of equal lengths would otherwise make
  // each step wait for the last one's store.
  unsigned low[16] = {}, high[16] = {};
  const unsigned half = count / 2;
  for (unsigned s = 0; s < half; ++s) {
    ++low[lengths[s]];
    ++high[lengths[half + s]];
  }
  if (count & 1) ++high[lengths[count - 1]];
  unsigned perLength[16];
  int left = 1;
  unsigned longest = 0;
  for (unsigned l = 1; l <= 15; ++l) {
    perLength[l] = low[l] + high[l];
    left = 2 * left - static_cast<int>(perLength[l]);
    if (left < 0) return false;
    if (perLength[l]) longest = l;
  }
  if (left != 0) return false;
  // Within a length the symbols go in their order, the first half's before the second's;
  // symbols without a code go after all others.
  uint16_t sorted[320];
  unsigned at = 0;
  for (unsigned l = 1; l <= 15; ++l) {
    const unsigned n = low[l];
    low[l] = at;
    at += n;
    const unsigned m = high[l];
    high[l] = at;
    at += m;
  }
  high[0] = low[0] + at;
  low[0] = at;
  for (unsigned s = 0; s < half; ++s) {
    sorted[low[lengths[s]]++] = static_cast<uint16_t>(s);
    sorted[high[lengths[half + s]]++] = static_cast<uint16_t>(half + s);
  }
  if (count & 1) sorted[high[lengths[count - 1]]++] = static_cast<uint16_t>(count - 1);
  unsigned filled = 0;  // the first 2^filled entries hold every code up to that length
  const auto grow = [&](unsigned to) {
    for (; filled < to && filled < 2; ++filled)
      for (size_t k = 0; k < (size_t{1} << filled); ++k) table[(size_t{1} << filled) + k] = table[k];
    for (; filled < to && filled < 4; ++filled)
      std::memcpy(table + (size_t{1} << filled), table, sizeof(uint32_t) << filled);
    for (; filled < to; ++filled)
      for (size_t k = 0; k < (size_t{1} << filled); k += 16) {
        uint8_t piece[64];
        std::memcpy(piece, table + k, 64);
        std::memcpy(table + (size_t{1} << filled) + k, piece, 64);
      }
  };
  const uint32_t mainSize = uint32_t{1} << bits;
  const unsigned subBits = longest > bits ? longest - bits : 0;
  uint32_t nextSub = mainSize, lastPrefix = UINT32_MAX, subStart = 0;
  uint32_t code = 0;
  unsigned i = 0, codeLength = 0;
  for (unsigned length = 1; length <= longest; ++length) {
    if (perLength[length] == 0) continue;
    code <<= length - codeLength;
    codeLength = length;
    if (length <= bits) {
      if (filled == 0) filled = length;
      grow(length);
      for (const unsigned stop = i + perLength[length]; i < stop; ++i) {
        const uint32_t t = templates[sorted[i]];
        table[Reverse(code++, length)] = (t & ~0xFFu) | length << 8 | (length + (t & 0xFF));
      }
      continue;
    }
    if (filled == 0) filled = bits;
    grow(bits);
    // Canonical codes sharing their first `bits` bits come one after another.
    const unsigned rest = length - bits;
    for (const unsigned stop = i + perLength[length]; i < stop; ++i) {
      const uint32_t reversed = Reverse(code++, length);
      const uint32_t prefix = reversed & (mainSize - 1);
      if (prefix != lastPrefix) {
        lastPrefix = prefix;
        subStart = nextSub;
        nextSub += uint32_t{1} << subBits;
        table[prefix] = kSub | subStart << 16 | subBits << 8 | bits;
      }
      const uint32_t t = templates[sorted[i]];
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
  uint32_t Lit[kLitTableSize], Dist[kDistTableSize], LenCode[1 << kLenCodeBits];
};

namespace {

using TTables = TWholeInflater::TTables;
using TInflateJob = TWholeInflater::TJob;

bool ReadDynamicTables(TBits& b, TTables& t) {
  if (!b.Refill()) return false;
  const unsigned litCount = b.Take(5) + 257, distCount = b.Take(5) + 1, lenCodeCount = b.Take(4) + 4;
  if (litCount > 286 || distCount > 30) return false;
  // One byte before the lengths for a repeat at the start to find (it is refused), and room
  // after them for repeats written eight bytes at a time.
  uint8_t store[1 + 320 + 138 + 8] = {};
  uint8_t* const lengths = store + 1;
  for (unsigned i = 0; i < lenCodeCount; ++i) {
    if (i % 16 == 0 && !b.Refill()) return false;
    lengths[kLenCodeOrder[i]] = static_cast<uint8_t>(b.Take(3));
  }
  if (!BuildTable(t.LenCode, kLenCodeBits, lengths, 19, kTemplates.LenCode)) return false;
  // Every symbol decoded the same way, whether a length or a repeat: which comes next is
  // not predictable.
  static constexpr uint8_t kRepeatBase[19] = {1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 3, 3, 11};
  const unsigned total = litCount + distCount;
  // A refill gives at least 56 bits, enough for three symbols of at most 14 bits each.
  for (unsigned i = 0; i < total;) {
    if (!b.Refill()) return false;
    for (unsigned k = 0; k < 3 && i < total; ++k) {
      const uint32_t e = t.LenCode[LowBits(b.Buf, kLenCodeBits)];
      const unsigned symbol = e >> 16;
      const unsigned repeat = kRepeatBase[symbol] + (b.Take(e & 0xFF) >> ((e >> 8) & 0xF));
      if ((symbol == 16 && i == 0) || repeat > total - i) return false;
      const uint64_t value = symbol < 16 ? symbol : symbol == 16 ? lengths[i - 1] : 0;
      const uint64_t eight = value * 0x0101010101010101u;
      for (unsigned j = 0; j < repeat; j += 8) std::memcpy(lengths + i + j, &eight, 8);
      i += repeat;
    }
  }
  return BuildTable(t.Lit, kLitBits, lengths, litCount, kTemplates.Lit) &&
         BuildTable(t.Dist, kDistBits, lengths + litCount, distCount, kTemplates.Dist);
}

void BuildFixedTables(TTables& t) {
  uint8_t lengths[320];
  std::memset(lengths, 8, 144);
  std::memset(lengths + 144, 9, 112);
  std::memset(lengths + 256, 7, 24);
  std::memset(lengths + 280, 8, 8);
  std::memset(lengths + 288, 5, 32);
  BuildTable(t.Lit, kLitBits, lengths, 288, kTemplates.Lit);
  BuildTable(t.Dist, kDistBits, lengths + 288, 32, kTemplates.Dist);
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

// The trailer after the final block: the output exactly full and its Adler-32 matching.
bool Finish(TStream& s, const uint8_t* source) {
  TBits& b = s.B;
  if (s.Out != s.End || !b.AlignAndRewind() || b.End - b.In < 4) return false;
  const uint32_t sum = uint32_t{b.In[0]} << 24 | uint32_t{b.In[1]} << 16 | uint32_t{b.In[2]} << 8 | b.In[3];
  if (libdeflate_adler32(1, s.Start, static_cast<size_t>(s.End - s.Start)) != sum) return false;
  s.Used = static_cast<size_t>(b.In + 4 - source);
  return true;
}

// Goes on to the next Huffman-coded block, copying stored blocks on the way, or at the end
// of the stream checks its trailer.
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
    else if (!ReadDynamicTables(b, *s.T))
      return;
    s.State = TStream::sBlock;
    return;
  }
}

// Reads the zlib header (deflate, a window of at most 32 KiB, the check, no preset
// dictionary) and the first block's.
void Begin(TStream& s, TTables& t, const TInflateJob& job) {
  s.T = &t;
  s.State = TStream::sFailed;
  const uint8_t* const source = job.Source;
  if (job.SourceSize < 6 || job.OutSize == 0) return;
  const unsigned cmf = source[0], flags = source[1];
  if ((cmf & 15) != 8 || (cmf >> 4) > 7 || (cmf << 8 | flags) % 31 != 0 || (flags & 0x20)) return;
  s.B = TBits{source + 2, source + job.SourceSize};
  s.Start = s.Out = job.Out;
  s.End = job.Out + job.OutSize;
  NextBlock(s, source);
}

[[gnu::always_inline]] inline void Advance(TStream& s, TStep r, const uint8_t* source) {
  if (r == kInvalid)
    s.State = TStream::sFailed;
  else if (r == kBlockEnd)
    NextBlock(s, source);
}

template <bool Bmi2>
[[gnu::always_inline]] inline void Run(TStream& s, const TInflateJob& job) {
  while (s.State == TStream::sBlock) Advance(s, FinishBlock<Bmi2>(s), job.Source);
}

template <bool Bmi2>
[[gnu::always_inline]] inline void InflateOne(TTables& t, TInflateJob& job) {
  TStream s;
  Begin(s, t, job);
  Run<Bmi2>(s, job);
  job.Done = s.State == TStream::sDone;
  job.Used = s.Used;
}

// Two streams side by side: each step of one waits mostly on its own table look-ups, so the
// other's steps fill the time between.
template <bool Bmi2>
[[gnu::always_inline]] inline void InflateTwo(TTables* t, TInflateJob& a, TInflateJob& b) {
  TStream s[2];
  Begin(s[0], t[0], a);
  Begin(s[1], t[1], b);
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
    Advance(s[0], r0, a.Source);
    Advance(s[1], r1, b.Source);
  }
  Run<Bmi2>(s[0], a);
  Run<Bmi2>(s[1], b);
  a.Done = s[0].State == TStream::sDone;
  a.Used = s[0].Used;
  b.Done = s[1].State == TStream::sDone;
  b.Used = s[1].Used;
}

#if defined(__x86_64__)
// BMI2's shifts take their count from any register and clear high bits in one step.
__attribute__((target("bmi2"))) void InflateOneBMI2(TTables& t, TInflateJob& job) { InflateOne<true>(t, job); }
__attribute__((target("bmi2"))) void InflateTwoBMI2(TTables* t, TInflateJob& a, TInflateJob& b) {
  InflateTwo<true>(t, a, b);
}
bool HasBMI2() {
  static const bool has = (__builtin_cpu_init(), __builtin_cpu_supports("bmi2"));
  return has;
}
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
