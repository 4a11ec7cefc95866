#include "engine/voices/oscillator.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

namespace {

constexpr int32_t kSlowIncrement = 4096;  // 4096 samples per cycle

double phaseFraction(int32_t phase) { return phase / 16777216.0; }

TEST(SynthWave, SineIsAHalfScaleParabolicCosine) {
  double worst = 0.0;
  for (int64_t p = -8388608; p < 8388608; p += 4099) {
    const int32_t phase = static_cast<int32_t>(p);
    const double got = synthWaveSample(kWaveSine, phase, kSlowIncrement, 0, 0) / 8388608.0;
    const double ideal = 0.5 * std::cos(2.0 * std::numbers::pi * phaseFraction(phase));
    worst = std::max(worst, std::abs(got - ideal));
  }
  // The parabola stays within 5.6 % of the cosine's amplitude.
  EXPECT_LT(worst, 0.5 * 0.057);
  EXPECT_EQ(synthWaveSample(kWaveSine, 0, kSlowIncrement, 0, 0), 4194303);
  EXPECT_EQ(synthWaveSample(kWaveSine, 4194304, kSlowIncrement, 0, 0), 0);
  EXPECT_EQ(synthWaveSample(kWaveSine, -8388608, kSlowIncrement, 0, 0), -4194303);
}

TEST(SynthWave, TriangleIsExactlyLinear) {
  for (int64_t p = -8388608; p < 8388608; p += 7919) {
    const int32_t phase = static_cast<int32_t>(p);
    ASSERT_EQ(synthWaveSample(kWaveTriangle, phase, kSlowIncrement, 0, 0), 4194303 - std::abs(phase) +
                                                                               (phase == -8388608 ? 1 : 0))
        << phase;
  }
}

TEST(SynthWave, SquareIsQuarterScaleBySign) {
  EXPECT_EQ(synthWaveSample(kWaveSquare, 100, kSlowIncrement, 0, 0), 2097151);
  EXPECT_EQ(synthWaveSample(kWaveSquare, 8388607, kSlowIncrement, 0, 0), 2097151);
  EXPECT_EQ(synthWaveSample(kWaveSquare, 0, kSlowIncrement, 0, 0), -2097152);
  EXPECT_EQ(synthWaveSample(kWaveSquare, -5000000, kSlowIncrement, 0, 0), -2097152);
  int high = 0;
  for (int64_t p = -8388608; p < 8388608; p += 1024) {
    const int32_t v = synthWaveSample(kWaveSquare, static_cast<int32_t>(p), kSlowIncrement, 0, 0);
    ASSERT_TRUE(v == 2097151 || v == -2097152) << p;
    high += v > 0;
  }
  EXPECT_EQ(high, 8192 - 1);  // positive phases only (phase 0 is low)
}

TEST(SynthWave, SawRisesAndFallsWithinOneSample) {
  const int32_t inc = 1 << 16;  // 256 samples per cycle
  // Ramp: away from phase 0 the output is (phase ∓ full scale) / 4.
  EXPECT_EQ(synthWaveSample(kWaveSaw, 4194304, inc, 0, 0), (4194304 - 8388607) >> 2);
  // (The correction clamps to -8388608 on the negative side.)
  EXPECT_EQ(synthWaveSample(kWaveSaw, -4194304, inc, 0, 0), (-4194304 + 8388608) >> 2);
  // Walk one cycle: it rises everywhere except across phase 0, where it
  // falls from full scale through one sample at 0 to minus full scale.
  EXPECT_EQ(synthWaveSample(kWaveSaw, 0, inc, 0, 0), 0);
  int falls = 0;
  int32_t previous = synthWaveSample(kWaveSaw, -8388608, inc, 0, 0);
  for (int64_t p = -8388608 + inc; p < 8388608; p += inc) {
    const int32_t v = synthWaveSample(kWaveSaw, static_cast<int32_t>(p), inc, 0, 0);
    if (v < previous) ++falls;
    previous = v;
  }
  EXPECT_EQ(falls, 2);
  EXPECT_GT(synthWaveSample(kWaveSaw, -inc, inc, 0, 0), 2000000);
  EXPECT_LT(synthWaveSample(kWaveSaw, inc, inc, 0, 0), -2000000);
}

TEST(SynthWave, OffsetsShiftPhaseAndOutput) {
  EXPECT_EQ(synthWaveSample(kWaveTriangle, 1000, kSlowIncrement, 0, 5000),
            synthWaveSample(kWaveTriangle, 1000, kSlowIncrement, 0, 0) + 5000);
  EXPECT_EQ(synthWaveSample(kWaveTriangle, 1000, kSlowIncrement, 2000, 0),
            synthWaveSample(kWaveTriangle, 3000, kSlowIncrement, 0, 0));
  // The result is clamped.
  EXPECT_EQ(synthWaveSample(kWaveSine, 0, kSlowIncrement, 0, 8000000), 8388607);
  EXPECT_EQ(synthWaveSample(7, 0, kSlowIncrement, 0, 0), 0);
}

}  // namespace
