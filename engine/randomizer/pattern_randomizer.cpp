#include "engine/randomizer/pattern_randomizer.h"

#include <algorithm>
#include <ctime>

Z31647PatternRandomizer::Z31647PatternRandomizer() { seed(); }

void Z31647PatternRandomizer::seed() { state_ = static_cast<uint32_t>(std::time(nullptr)); }

uint32_t Z31647PatternRandomizer::next() {
  const uint32_t old = state_;
  state_ = old << 1;
  if ((old & (1u << 30)) == 0) state_ ^= 0x20C9u;
  return state_;
}

void Z31647PatternRandomizer::setParameter(int id, const int* value) {
  if (!value) return;
  if (id == 0) amount_ = *value;
  else if (id == 1) stepSize_ = *value;
}

void Z31647PatternRandomizer::randomizeSteps(int part, seqParams* params) {
  if (!params || part < 0 || part >= kNumParts) return;
  uint8_t* steps = params->trigger[part];
  const bool thinning = amount_ < 0;
  const int32_t n = thinning ? amount_ + 8 : amount_;
  if (n < 1) {
    if (thinning) std::fill(steps, steps + kNumSteps, 0);
    return;
  }
  const int callsPerTerm = thinning ? 2 : 5;
  for (int w = 0; w < kNumSteps / 4; ++w) {
    uint32_t mask = 0;
    for (int32_t t = 0; t < n; ++t) {
      uint32_t term = 0xFFFFFFFFu;
      for (int c = 0; c < callsPerTerm; ++c) term &= next();
      mask |= term;
    }
    mask &= 0x01010101u;
    uint8_t* b = steps + 4 * w;
    uint32_t word = uint32_t(b[0]) | (uint32_t(b[1]) << 8) | (uint32_t(b[2]) << 16) | (uint32_t(b[3]) << 24);
    word = thinning ? (word & mask) : (word | mask);
    for (int i = 0; i < 4; ++i) b[i] = static_cast<uint8_t>(word >> (8 * i));
  }
}

void Z31647PatternRandomizer::randomizeSynthParameters(int32_t* values) {
  if (!values) return;
  static constexpr int32_t kMax[9] = {127, 3, 127, 127, 5, 127, 127, 127, 127};
  for (int i = 0; i < 9; ++i) {
    const uint32_t s = next();
    int64_t v = values[i];
    switch (s & 3u) {
      case 0: v += stepSize_; break;
      case 1: v += 1; break;
      case 2: v -= 1; break;
      default: v -= stepSize_; break;
    }
    values[i] = static_cast<int32_t>(std::clamp<int64_t>(v, 0, kMax[i]));
  }
}
