#pragma once
// The nearest-entry search of TFastColorLookup over lists of candidate groups: one form for
// every target (SSE2 where there is one, plain code elsewhere) and one for AVX2, which the
// Floyd-Steinberg loop picks when the processor has it.
#include <algorithm>
#include <cstdint>
#include <cstdlib>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define CORVANE_NEAREST_AVX2 1
#endif

namespace nearest {

// Sixteen candidates side by side, each channel shifted left by 8. Within a box of colours a
// candidate's distance to a colour exceeds the least distance of any candidate to the box (its
// base) by at most 6 x (side - 1) = 138 for the widest box, so the key
// ((distance - base) shl 8 + index) fits in 16 bits and its least value names the nearest entry
// and, of equal ones, the first. The tags hold index - base shl 8, so the sum of the three
// channels' differences of shifted values plus the tag, taken modulo 2^16, is the key. Unused
// places repeat a candidate.
struct alignas(32) TGroup {
  uint16_t Red[16], Green[16], Blue[16], Tag[16];
};

// A list of groups: the first group shl 8 + the group count (at most 16); 0 is no list.
inline const TGroup* First(const TGroup* Groups, uint32_t Head) { return Groups + (Head >> 8); }
inline uint32_t Count(uint32_t Head) { return Head & 255; }

#if defined(__SSE2__)
inline __m128i Distance(__m128i A, __m128i B) { return _mm_or_si128(_mm_subs_epu16(A, B), _mm_subs_epu16(B, A)); }

inline uint8_t LeastKey(__m128i Best) {
  Best = _mm_min_epi16(Best, _mm_shuffle_epi32(Best, 0x4E));
  Best = _mm_min_epi16(Best, _mm_shuffle_epi32(Best, 0xB1));
  Best = _mm_min_epi16(Best, _mm_shufflelo_epi16(Best, 0xB1));
  return static_cast<uint8_t>(_mm_cvtsi128_si32(Best));
}

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
  for (const TGroup *p = First(Groups, Head), *end = p + Count(Head); p != end; ++p)
    for (size_t half = 0; half < 16; half += 8) {
      const auto at = [&](const uint16_t* Lanes) {
        return _mm_load_si128(reinterpret_cast<const __m128i*>(Lanes + half));
      };
      const __m128i d = _mm_add_epi16(_mm_add_epi16(Distance(at(p->Red), r), Distance(at(p->Green), g)),
                                      _mm_add_epi16(Distance(at(p->Blue), b), _mm_xor_si128(at(p->Tag), flip)));
      best = _mm_min_epi16(best, d);
    }
  return LeastKey(best);
}
#endif

// Palette index of the nearest candidate of the list to (Red, Green, Blue).
inline uint8_t Search(const TGroup* Groups, uint32_t Head, uint8_t Red, uint8_t Green, uint8_t Blue) {
#if defined(__SSE2__)
  return Search(Groups, Head, _mm_setr_epi16(Blue, Green, Red, 0, 0, 0, 0, 0));
#else
  uint32_t least = 0xFFFF;
  for (const TGroup *p = First(Groups, Head), *end = p + Count(Head); p != end; ++p)
    for (size_t i = 0; i < 16; ++i) {
      const int d = std::abs(Red - (p->Red[i] >> 8)) + std::abs(Green - (p->Green[i] >> 8)) +
                    std::abs(Blue - (p->Blue[i] >> 8));
      least = std::min<uint32_t>(least, static_cast<uint16_t>((d << 8) + p->Tag[i]));
    }
  return static_cast<uint8_t>(least);
#endif
}

#if defined(CORVANE_NEAREST_AVX2)
// The keys of a group's sixteen places against the colour spread over R, G and B (each shifted
// left by 8, as the candidates are).
__attribute__((target("avx2"), always_inline)) inline __m256i KeysAVX2(const TGroup* P, __m256i R, __m256i G,
                                                                      __m256i B) {
  const __m256i red = _mm256_load_si256(reinterpret_cast<const __m256i*>(P->Red));
  const __m256i green = _mm256_load_si256(reinterpret_cast<const __m256i*>(P->Green));
  const __m256i blue = _mm256_load_si256(reinterpret_cast<const __m256i*>(P->Blue));
  const __m256i dr = _mm256_sub_epi16(_mm256_max_epu16(red, R), _mm256_min_epu16(red, R));
  const __m256i dg = _mm256_sub_epi16(_mm256_max_epu16(green, G), _mm256_min_epu16(green, G));
  const __m256i db = _mm256_sub_epi16(_mm256_max_epu16(blue, B), _mm256_min_epu16(blue, B));
  const __m256i tag = _mm256_load_si256(reinterpret_cast<const __m256i*>(P->Tag));
  return _mm256_add_epi16(_mm256_add_epi16(dr, dg), _mm256_add_epi16(db, tag));
}

// The same with sixteen places an instruction, for callers built for AVX2, which inline it.
// B, G and R hold the colour's channels shifted left by 8 in every lane.
__attribute__((target("avx2"))) inline uint8_t SearchAVX2(const TGroup* Groups, uint32_t Head, __m256i B, __m256i G,
                                                         __m256i R) {
  // Every list has a group; most have only that one.
  const TGroup* p = First(Groups, Head);
  const TGroup* end = p + Count(Head);
  __m256i best = KeysAVX2(p, R, G, B);
  for (++p; p < end; ++p) best = _mm256_min_epu16(best, KeysAVX2(p, R, G, B));
  const __m128i least = _mm_minpos_epu16(_mm_min_epu16(_mm256_castsi256_si128(best), _mm256_extracti128_si256(best, 1)));
  return static_cast<uint8_t>(_mm_cvtsi128_si32(least));
}

// The same for a colour in the first three 16-bit lanes of Colour (blue, green, red).
__attribute__((target("avx2"))) inline uint8_t SearchAVX2(const TGroup* Groups, uint32_t Head, __m128i Colour) {
  Colour = _mm_slli_epi16(Colour, 8);
  return SearchAVX2(Groups, Head, _mm256_broadcastw_epi16(Colour), _mm256_broadcastw_epi16(_mm_srli_si128(Colour, 2)),
                    _mm256_broadcastw_epi16(_mm_srli_si128(Colour, 4)));
}
#endif

}  // namespace nearest
