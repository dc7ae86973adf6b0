#pragma once
// What the processor we run on offers beyond the x86-64 baseline, asked once at first use, for the
// loops that keep a faster form beside their plain one. Elsewhere every answer is no.

namespace processor {

#if defined(__x86_64__) || defined(__i386__)
struct TFeatures {
  bool SSSE3, AVX2, BMI2, AVX512F;
  // AVX-512 with its byte permutes (VBMI), byte and word lanes (BW) and the shorter registers (VL).
  bool AVX512VBMI;
};
inline const TFeatures& Features() {
  static const TFeatures f = [] {
    __builtin_cpu_init();
    const bool avx512f = __builtin_cpu_supports("avx512f");
    return TFeatures{__builtin_cpu_supports("ssse3") != 0, __builtin_cpu_supports("avx2") != 0,
                     __builtin_cpu_supports("bmi2") != 0, avx512f,
                     avx512f && __builtin_cpu_supports("avx512bw") && __builtin_cpu_supports("avx512vl") &&
                         __builtin_cpu_supports("avx512vbmi")};
  }();
  return f;
}
inline bool HasSSSE3() { return Features().SSSE3; }
inline bool HasAVX2() { return Features().AVX2; }
inline bool HasBMI2() { return Features().BMI2; }
inline bool HasAVX512F() { return Features().AVX512F; }
inline bool HasAVX512VBMI() { return Features().AVX512VBMI; }
#else
constexpr bool HasSSSE3() { return false; }
constexpr bool HasAVX2() { return false; }
constexpr bool HasBMI2() { return false; }
constexpr bool HasAVX512F() { return false; }
constexpr bool HasAVX512VBMI() { return false; }
#endif

}  // namespace processor
