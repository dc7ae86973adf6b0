#pragma once
// What the processor we run on offers beyond the x86-64 baseline, asked once each, for the
// loops that keep a faster form beside their plain one. Elsewhere every answer is no.

namespace processor {

#if defined(__x86_64__) || defined(__i386__)
inline bool HasSSSE3() {
  static const bool has = (__builtin_cpu_init(), __builtin_cpu_supports("ssse3"));
  return has;
}
inline bool HasAVX2() {
  static const bool has = (__builtin_cpu_init(), __builtin_cpu_supports("avx2"));
  return has;
}
inline bool HasBMI2() {
  static const bool has = (__builtin_cpu_init(), __builtin_cpu_supports("bmi2"));
  return has;
}
inline bool HasAVX512F() {
  static const bool has = (__builtin_cpu_init(), __builtin_cpu_supports("avx512f"));
  return has;
}
// AVX-512 with its byte permutes (VBMI), byte and word lanes (BW) and the shorter registers (VL).
inline bool HasAVX512VBMI() {
  static const bool has =
      (__builtin_cpu_init(), __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
                                 __builtin_cpu_supports("avx512vl") && __builtin_cpu_supports("avx512vbmi"));
  return has;
}
#else
constexpr bool HasSSSE3() { return false; }
constexpr bool HasAVX2() { return false; }
constexpr bool HasBMI2() { return false; }
constexpr bool HasAVX512F() { return false; }
constexpr bool HasAVX512VBMI() { return false; }
#endif

}  // namespace processor
