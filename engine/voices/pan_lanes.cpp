#include "engine/voices/pan_lanes.h"

#include "engine/voices/fixed_point.h"

#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace {

#if defined(__SSE2__)
uint32_t panLanesBaseline(const int32_t* s, const int32_t* q, uint32_t n, int16_t* left, int16_t* right) {
  const __m128i full = _mm_set1_epi32(8388607);
  uint32_t j = 0;
  for (; j + 8 <= n; j += 8) {
    const __m128i s0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + j));
    const __m128i s1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + j + 4));
    const __m128i q0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(q + j));
    const __m128i q1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(q + j + 4));
    const __m128i r = _mm_packs_epi32(q23::mulShift31(s0, q0), q23::mulShift31(s1, q1));
    const __m128i l =
        _mm_packs_epi32(q23::mulShift31(s0, _mm_sub_epi32(full, q0)), q23::mulShift31(s1, _mm_sub_epi32(full, q1)));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(right + j), r);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(left + j), l);
  }
  return j;
}
#else
uint32_t panLanesBaseline(const int32_t*, const int32_t*, uint32_t, int16_t*, int16_t*) { return 0; }
#endif

#if defined(__x86_64__) && defined(__GNUC__)
#define IGB_PAN_AVX2 1
// (q × s) >> 31 in eight lanes: AVX2 multiplies signed 32-bit lanes into
// 64-bit products, four at a time. Only bits 31 to 62 of each product are
// kept, so logical shifts do: the even lanes' results land in the low
// halves, the odd lanes' (shifted left by one) in the high halves.
__attribute__((target("avx2"))) inline __m256i mulShift31Avx2(__m256i s, __m256i q) {
  const __m256i even = _mm256_srli_epi64(_mm256_mul_epi32(s, q), 31);
  const __m256i odd = _mm256_slli_epi64(_mm256_mul_epi32(_mm256_srli_epi64(s, 32), _mm256_srli_epi64(q, 32)), 1);
  return _mm256_blend_epi32(even, odd, 0xAA);
}

__attribute__((target("avx2"))) uint32_t panLanesAvx2(const int32_t* s, const int32_t* q, uint32_t n, int16_t* left,
                                                      int16_t* right) {
  const __m256i full = _mm256_set1_epi32(8388607);
  uint32_t j = 0;
  for (; j + 8 <= n; j += 8) {
    const __m256i sv = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(s + j));
    const __m256i qv = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(q + j));
    const __m256i r = mulShift31Avx2(sv, qv);
    const __m256i l = mulShift31Avx2(sv, _mm256_sub_epi32(full, qv));
    // The pack works within each 128-bit half: r0-3 l0-3 | r4-7 l4-7;
    // the permute puts right's eight, then left's, in order.
    const __m256i both = _mm256_permute4x64_epi64(_mm256_packs_epi32(r, l), 0xD8);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(right + j), _mm256_castsi256_si128(both));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(left + j), _mm256_extracti128_si256(both, 1));
  }
  return j;
}

// Read once as the program starts, so that the render thread's first call
// takes no guard of a function-local static.
bool processorHasAvx2() {
  __builtin_cpu_init();
  return __builtin_cpu_supports("avx2");
}
const bool kProcessorHasAvx2 = processorHasAvx2();
#else
constexpr bool kProcessorHasAvx2 = false;
#endif

}  // namespace

uint32_t panLanesWith(bool avx2, const int32_t* s, const int32_t* q, uint32_t n, int16_t* left, int16_t* right) {
  if (!avx2) return panLanesBaseline(s, q, n, left, right);
#if defined(IGB_PAN_AVX2)
  if (kProcessorHasAvx2) return panLanesAvx2(s, q, n, left, right);
#endif
  return 0;
}

uint32_t panLanes(const int32_t* s, const int32_t* q, uint32_t n, int16_t* left, int16_t* right) {
  return panLanesWith(kProcessorHasAvx2, s, q, n, left, right);
}
