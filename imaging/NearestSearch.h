#pragma once
// The nearest-entry search of TFastColorLookup over lists of candidate groups: one form for
// every target (SSE2 where there is one, plain code elsewhere), one for AVX2 and one for lists
// of one or two groups on processors with AVX-512's byte permutes, which the Floyd-Steinberg
// loop picks when the processor has them.
#include <algorithm>
#include <cstdint>
#include <cstdlib>

#if defined(__SSE2__) && (defined(__x86_64__) || defined(__i386__))
#include <immintrin.h>
#define CORVANE_NEAREST_AVX2 1
#endif

namespace nearest {

// Eight candidates side by side (one cache line), each channel shifted left by 8. Within a box
// of colours a candidate's distance to a colour exceeds the least distance of any candidate to
// the box (its base) by at most 6 x (side - 1) = 138 for the widest box, so the key
// ((distance - base) shl 8 + index) fits in 16 bits and its least value names the nearest entry
// and, of equal ones, the first. The tags hold index - base shl 8, so the sum of the three
// channels' differences of shifted values plus the tag, taken modulo 2^16, is the key. Unused
// places repeat a candidate.
struct alignas(64) TGroup {
  uint16_t Red[8], Green[8], Blue[8], Tag[8];
};

// Seven times the colours of a group's eight places as 16-bit lanes blue, green, red, and -16 x
// the place's palette index: places 0, 1, 4, 5 in the first half and 2, 3, 6, 7 in the second,
// the order in which packing the two halves to bytes (per 128-bit lane) puts the places back in
// order. The Floyd-Steinberg loop takes from these the next pixel's value for every place at
// once, before the choice is known. The fourth lane of what it subtracts them from is 0 or 8
// (a slot's rounding), so that value's fourth byte comes out as the index of the place taken.
struct alignas(64) TColours7 {
  int16_t Lanes[2][16];
};

// A group's eight places as bytes, for AVX-512 processors: place i at bytes 8i to 8i + 7, as
// blue, green, red, 0, twice. The sum of absolute differences of a place's eight bytes and a
// colour's bytes blue, green, red, x, twice, is twice their distance + 2x, the same x for every
// place; a list holds its entries in palette order, so the least sum and, of equal ones, the
// first place name the nearest entry as the keys of TGroup do.
struct alignas(64) TGroupBytes {
  uint8_t Bytes[64];
};

// A list of groups: the first group's offset in bytes (64 times its number) + the group count
// (at most 32); 0 is no list. The offset serves the groups and their sevenfold colours alike.
template <class T>
inline const T* First(const T* Groups, uint32_t Head) {
  static_assert(sizeof(T) == 64, "a group or its colours take 64 bytes");
  return reinterpret_cast<const T*>(reinterpret_cast<const char*>(Groups) + (Head & ~63u));
}
inline uint32_t Head(size_t FirstGroup, size_t Groups) { return static_cast<uint32_t>(FirstGroup * 64 + Groups); }
inline uint32_t Count(uint32_t Head) { return Head & 63; }
inline bool OneGroup(uint32_t Head) { return (Head & 62) == 0; }  // a list has at least one group

#if defined(__SSE2__)
inline __m128i Lanes(const uint16_t* P) { return _mm_load_si128(reinterpret_cast<const __m128i*>(P)); }
inline __m128i Distance(__m128i A, __m128i B) { return _mm_or_si128(_mm_subs_epu16(A, B), _mm_subs_epu16(B, A)); }

// Palette index of the nearest candidate of the list to the colour in the first three 16-bit
// lanes of Colour, in the order of a 24-bit pixel's bytes: blue, green, red.
inline uint8_t Search(const TGroup* Groups, uint32_t Head, __m128i Colour) {
  Colour = _mm_slli_epi16(Colour, 8);
  const __m128i b = _mm_unpacklo_epi64(_mm_shufflelo_epi16(Colour, 0x00), _mm_shufflelo_epi16(Colour, 0x00));
  const __m128i g = _mm_unpacklo_epi64(_mm_shufflelo_epi16(Colour, 0x55), _mm_shufflelo_epi16(Colour, 0x55));
  const __m128i r = _mm_unpacklo_epi64(_mm_shufflelo_epi16(Colour, 0xAA), _mm_shufflelo_epi16(Colour, 0xAA));
  // Keys are compared as signed numbers with their top bit flipped, which orders them the same.
  const __m128i flip = _mm_set1_epi16(-0x8000);
  __m128i best = _mm_set1_epi16(0x7FFF);
  for (const TGroup *p = First(Groups, Head), *end = p + Count(Head); p != end; ++p) {
    const __m128i d = _mm_add_epi16(_mm_add_epi16(Distance(Lanes(p->Red), r), Distance(Lanes(p->Green), g)),
                                    _mm_add_epi16(Distance(Lanes(p->Blue), b), _mm_xor_si128(Lanes(p->Tag), flip)));
    best = _mm_min_epi16(best, d);
  }
  best = _mm_min_epi16(best, _mm_shuffle_epi32(best, 0x4E));
  best = _mm_min_epi16(best, _mm_shuffle_epi32(best, 0xB1));
  best = _mm_min_epi16(best, _mm_shufflelo_epi16(best, 0xB1));
  return static_cast<uint8_t>(_mm_cvtsi128_si32(best));
}
#endif

// Palette index of the nearest candidate of the list to (Red, Green, Blue).
inline uint8_t Search(const TGroup* Groups, uint32_t Head, uint8_t Red, uint8_t Green, uint8_t Blue) {
#if defined(__SSE2__)
  return Search(Groups, Head, _mm_setr_epi16(Blue, Green, Red, 0, 0, 0, 0, 0));
#else
  uint32_t least = 0xFFFF;
  for (const TGroup *p = First(Groups, Head), *end = p + Count(Head); p != end; ++p)
    for (size_t i = 0; i < 8; ++i) {
      const int d =
          std::abs(Red - (p->Red[i] >> 8)) + std::abs(Green - (p->Green[i] >> 8)) + std::abs(Blue - (p->Blue[i] >> 8));
      least = std::min<uint32_t>(least, static_cast<uint16_t>((d << 8) + p->Tag[i]));
    }
  return static_cast<uint8_t>(least);
#endif
}

#if defined(CORVANE_NEAREST_AVX2)
// The keys of a group's eight places against the colour in every lane of R, G and B (shifted
// left by 8, as the candidates are). For callers built for AVX2.
__attribute__((target("avx2"), always_inline)) inline __m128i KeysAVX2(const TGroup* P, __m128i R, __m128i G,
                                                                       __m128i B) {
  const __m128i red = Lanes(P->Red), green = Lanes(P->Green), blue = Lanes(P->Blue);
  const __m128i dr = _mm_sub_epi16(_mm_max_epu16(red, R), _mm_min_epu16(red, R));
  const __m128i dg = _mm_sub_epi16(_mm_max_epu16(green, G), _mm_min_epu16(green, G));
  const __m128i db = _mm_sub_epi16(_mm_max_epu16(blue, B), _mm_min_epu16(blue, B));
  return _mm_add_epi16(_mm_add_epi16(dr, dg), _mm_add_epi16(db, Lanes(P->Tag)));
}

// The least key of a list of one group and its place (the first two 16-bit lanes).
__attribute__((target("avx2"))) inline __m128i LeastOfOneAVX2(const TGroup* Groups, uint32_t Head, __m128i B, __m128i G,
                                                              __m128i R) {
  return _mm_minpos_epu16(KeysAVX2(First(Groups, Head), R, G, B));
}

// The sums (see TGroupBytes) of a group's eight places against a colour, as 16-bit lanes in the
// places' order, for callers built for AVX-512 with its byte permutes. Colour holds the colour's
// bytes blue, green, red, x in every 32-bit part.
__attribute__((target("avx2,avx512f,avx512bw,avx512vl,avx512vbmi"))) inline __m128i SumsAVX512(const TGroupBytes* P,
                                                                                               __m256i Colour) {
  // Each 64-bit part's sum lands in its first 16 bits: places 0-3, then 4-7.
  const __m256i low = _mm256_sad_epu8(_mm256_load_si256(reinterpret_cast<const __m256i*>(P->Bytes)), Colour);
  const __m256i high = _mm256_sad_epu8(_mm256_load_si256(reinterpret_cast<const __m256i*>(P->Bytes + 32)), Colour);
  const __m256i sums = _mm256_setr_epi8(0, 1, 8, 9, 16, 17, 24, 25, 32, 33, 40, 41, 48, 49, 56, 57, 0, 0, 0, 0, 0, 0, 0,
                                        0, 0, 0, 0, 0, 0, 0, 0, 0);
  return _mm256_castsi256_si128(_mm256_permutex2var_epi8(low, sums, high));
}

// The least sum of a list of one group and its place (the first two 16-bit lanes).
__attribute__((target("avx2,avx512f,avx512bw,avx512vl,avx512vbmi"))) inline __m128i LeastOfOneAVX512(
    const TGroupBytes* Groups, uint32_t Head, __m256i Colour) {
  return _mm_minpos_epu16(SumsAVX512(First(Groups, Head), Colour));
}

// The same for a list of two groups: each place takes the lesser sum of its two groups, and
// Second gets the places where the second group's is less. Sums are even, so the second
// group's are taken one more: a least sum of the first group then comes before an equal one of
// the second in any place, as its entry comes first in the palette.
__attribute__((target("avx2,avx512f,avx512bw,avx512vl,avx512vbmi"))) inline __m128i LeastOfTwoAVX512(
    const TGroupBytes* Groups, uint32_t Head, __m256i Colour, __mmask8& Second) {
  const TGroupBytes* p = First(Groups, Head);
  const __m128i first = SumsAVX512(p, Colour);
  const __m128i second = _mm_add_epi16(SumsAVX512(p + 1, Colour), _mm_set1_epi16(1));
  Second = _mm_cmplt_epu16_mask(second, first);
  return _mm_minpos_epu16(_mm_min_epu16(first, second));
}

// The same search with the unsigned minimum and its position found in one instruction, for
// callers built for AVX2, which inline it.
__attribute__((target("avx2"))) inline uint8_t SearchAVX2(const TGroup* Groups, uint32_t Head, __m128i B, __m128i G,
                                                          __m128i R) {
  // Every list has a group; most have only that one.
  const TGroup* p = First(Groups, Head);
  const TGroup* end = p + Count(Head);
  __m128i best = KeysAVX2(p, R, G, B);
  for (++p; p < end; ++p) best = _mm_min_epu16(best, KeysAVX2(p, R, G, B));
  return static_cast<uint8_t>(_mm_cvtsi128_si32(_mm_minpos_epu16(best)));
}
#endif

}  // namespace nearest
