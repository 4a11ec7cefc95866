#pragma once
// Integer helpers shared by the effects. Pure arithmetic: thread-safe and
// real-time-safe.

#include <cstddef>
#include <cstdint>

// Loops over blocks of samples in 32-bit lanes are built twice on x86-64,
// for the baseline instruction set and for AVX2, and the loader picks by
// processor: the baseline has no 32-bit lane multiply nor lane min/max.
// Integer lanes give the same samples either way. (Defining FX_LANE_LOOP
// empty when compiling builds the baseline loops alone.) Not under
// ThreadSanitizer: the loader runs the picking function before the
// sanitizer's runtime is up, and the sanitizer instruments it.
#if defined(__SANITIZE_THREAD__) && !defined(FX_LANE_LOOP)
#define FX_LANE_LOOP
#endif
#if defined(__has_feature) && !defined(FX_LANE_LOOP)
#if __has_feature(thread_sanitizer)
#define FX_LANE_LOOP
#endif
#endif
#if !defined(FX_LANE_LOOP) && defined(__x86_64__) && defined(__has_attribute)
#if __has_attribute(target_clones)
#define FX_LANE_LOOP __attribute__((target_clones("default", "avx2")))
#endif
#endif
#ifndef FX_LANE_LOOP
#define FX_LANE_LOOP
#endif

namespace fx {

inline constexpr int32_t kFull = 32767;

// Saturating store into a 16-bit sample: -32767..32767, never -32768.
constexpr int16_t sat16(int64_t v) {
  return static_cast<int16_t>(v > kFull ? kFull : (v < -kFull ? -kFull : v));
}

// Symmetric clamp to -limit..limit.
constexpr int64_t clampSym(int64_t v, int64_t limit) { return v > limit ? limit : (v < -limit ? -limit : v); }

// One-pole step towards `target`; the state holds the value times 32768:
//   state = state - c × (state >> 15) + c × target
// With c = 102 the time constant is about 7.3 ms at 44,100 Hz; c = 32767
// reaches the target within two steps.
constexpr int64_t smooth(int64_t state, int64_t target, int64_t c) { return state + (target - (state >> 15)) * c; }

inline constexpr int64_t kSmoothNormal = 102;
inline constexpr int64_t kSmoothImmediate = 32767;

// dry[i] = sat16(((wet × fx[i]) >> 15) + (((32767 - wet) × dry[i]) >> 15))
// for a block, with a wet gain of 0..32767 (every term then fits 32 bits),
// eight samples per step.
void mixWet(int16_t* dry, const int16_t* fx, size_t count, int32_t wet);

}  // namespace fx
