#pragma once
// Fixed-point helpers shared by the part voices.
//
// Voices compute in Q23 (full scale 8388607); products are shifted right by 23
// with an arithmetic shift, which rounds towards minus infinity. Phases are
// 24-bit values wrapped into -8388608..8388607 (one cycle = 16777216). The
// engine's buses are signed 16-bit and every store into them saturates to
// -32767..32767 so that a sum never produces -32768.
//
// Everything here is pure arithmetic: thread-safe and real-time-safe.

#include <cstdint>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace q23 {

inline constexpr int32_t kMax = 8388607;
inline constexpr int32_t kMin = -8388608;
inline constexpr int64_t kCycle = 16777216;

constexpr int32_t clamp(int64_t v) {
  return v > kMax ? kMax : (v < kMin ? kMin : static_cast<int32_t>(v));
}
// clamp() kept in 64 bits, for a value that feeds the next product.
constexpr int64_t clampWide(int64_t v) { return v > kMax ? kMax : (v < kMin ? kMin : v); }

// Adds or subtracts whole cycles until the value lies in kMin..kMax.
constexpr int32_t wrap(int64_t v) {
  return static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(v) + 8388608u) & 0xFFFFFFu) - 8388608;
}

// (a × b) >> 23 with a 64-bit product.
constexpr int64_t mul(int64_t a, int64_t b) { return (a * b) >> 23; }

#if defined(__SSE2__)
// (q × s) >> 31 in each of four 32-bit lanes, for Q23 samples s and
// 0 <= q <= kMax. SSE2 multiplies only unsigned 32 × 32 bits, so s is lifted
// by 2^23 and the product biased by 2^47 (a multiple of 2^31, taken off after
// the shift) to stay unsigned: q × (s + 2^23) + 2^47 - q × 2^23 = q × s + 2^47.
inline __m128i mulShift31(__m128i s, __m128i q) {
  const __m128i top = _mm_set1_epi64x(int64_t{1} << 47);
  const __m128i lifted = _mm_add_epi32(s, _mm_set1_epi32(1 << 23));
  const __m128i qEven = _mm_and_si128(q, _mm_set1_epi64x(0xFFFFFFFF));
  const __m128i qOdd = _mm_srli_epi64(q, 32);
  const __m128i even =
      _mm_add_epi64(_mm_mul_epu32(lifted, qEven), _mm_sub_epi64(top, _mm_slli_epi64(qEven, 23)));
  const __m128i odd = _mm_add_epi64(_mm_mul_epu32(_mm_srli_epi64(lifted, 32), qOdd),
                                    _mm_sub_epi64(top, _mm_slli_epi64(qOdd, 23)));
  // Each biased product is below 2^48, so its shifted value fits the low 32
  // bits of its lane.
  const __m128i both = _mm_or_si128(_mm_srli_epi64(even, 31), _mm_slli_epi64(_mm_srli_epi64(odd, 31), 32));
  return _mm_sub_epi32(both, _mm_set1_epi32(1 << 16));
}
#endif

}  // namespace q23

namespace bus16 {

inline constexpr int32_t kMax = 32767;

constexpr int16_t saturate(int32_t v) {
  return static_cast<int16_t>(v > kMax ? kMax : (v < -kMax ? -kMax : v));
}

// bus += ((sample >> 8) × gain) >> 15, saturated. `sample` is Q23, `gain` Q15.
inline void addScaled(int16_t& bus, int32_t sample, int32_t gain) {
  bus = saturate(bus + static_cast<int32_t>((static_cast<int64_t>(sample >> 8) * gain) >> 15));
}

// addScaled over `n` frames: bus[j] += (x[j] × gain) >> 15, saturated, where
// x[j] is a sample already shifted to bus scale and `gain` lies in 0..32767.
// The product then fits 32 bits, and a 16-bit saturating add followed by a
// floor at -32767 saturates exactly as addScaled does, eight frames at a time.
inline void addScaledRun(int16_t* bus, const int16_t* x, uint32_t n, int32_t gain) {
  uint32_t j = 0;
#if defined(__SSE2__)
  const __m128i g = _mm_set1_epi16(static_cast<int16_t>(gain));
  const __m128i floor = _mm_set1_epi16(-kMax);
  for (; j + 8 <= n; j += 8) {
    const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(x + j));
    const __m128i lo = _mm_mullo_epi16(a, g);
    const __m128i hi = _mm_mulhi_epi16(a, g);
    const __m128i p0 = _mm_srai_epi32(_mm_unpacklo_epi16(lo, hi), 15);
    const __m128i p1 = _mm_srai_epi32(_mm_unpackhi_epi16(lo, hi), 15);
    __m128i* out = reinterpret_cast<__m128i*>(bus + j);
    const __m128i sum = _mm_adds_epi16(_mm_loadu_si128(out), _mm_packs_epi32(p0, p1));
    _mm_storeu_si128(out, _mm_max_epi16(sum, floor));
  }
#endif
  for (; j < n; ++j) bus[j] = saturate(bus[j] + ((static_cast<int32_t>(x[j]) * gain) >> 15));
}

}  // namespace bus16
