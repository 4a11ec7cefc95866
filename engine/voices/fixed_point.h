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

namespace q23 {

inline constexpr int32_t kMax = 8388607;
inline constexpr int32_t kMin = -8388608;
inline constexpr int64_t kCycle = 16777216;

constexpr int32_t clamp(int64_t v) {
  return v > kMax ? kMax : (v < kMin ? kMin : static_cast<int32_t>(v));
}

// Adds or subtracts whole cycles until the value lies in kMin..kMax.
constexpr int32_t wrap(int64_t v) {
  return static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(v) + 8388608u) & 0xFFFFFFu) - 8388608;
}

// (a × b) >> 23 with a 64-bit product.
constexpr int64_t mul(int64_t a, int64_t b) { return (a * b) >> 23; }

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

}  // namespace bus16
