#include <gtest/gtest.h>

#include <cmath>
#include <set>

#include "engine/effects/decimator.h"
#include "engine/effects/effect_tables.h"
#include "engine/effects/grain_shifter.h"
#include "tests/engine/effects/effect_test_support.h"

using namespace fxtest;

namespace {

// --- Grain shifter ---

// Grain length in samples: G/384 beat at the tempo, G × 44100 × 60 / (384 × BPM).
int grainSamples(int grain, int bpm) { return static_cast<int>(int64_t{grain} * 1354752000 / (int64_t{bpm} * 128 * 1536)); }

// A shifter on its targets from the first frame, restarting its cycle there.
void prepare(GrainShifter& g, int speed, int balance, int bpm) {
  g.setTempo(static_cast<uint32_t>(bpm * 10));
  g.setParameter(1, speed);
  g.setParameter(2, balance);
  run(g, Stereo(1), 1);
  g.reset();
}

TEST(GrainShifter, TargetsFollowTempoAndSpeed) {
  // At 120 BPM a cycle of 96/24 beat is one bar and a grain of 96/384 beat
  // a sixteenth.
  const auto t = GrainShifter::targetsFor(40, 0, 15360);  // C = 48, G = 96
  EXPECT_EQ(t.grainLength, 5512);
  const auto bar = GrainShifter::targetsFor(20, 0, 15360);  // C = 96
  EXPECT_NEAR(4294967296.0 / bar.cycleIncrement, 88200.0, 2.0);
  EXPECT_EQ(GrainShifter::tempo128For(1200), 15360u);
  EXPECT_EQ(GrainShifter::tempo128For(1205), 15360u + 64);
  // The live grain is the grain's share of the cycle, before phase 0.
  EXPECT_EQ(t.startPhase, -static_cast<int32_t>(4294967296.0 * 96 / (16 * 48)));
}

TEST(GrainShifter, BalanceZeroPassesTheInputScaled) {
  GrainShifter g;
  prepare(g, 64, 0, 120);
  const Stereo in(noise(30000, 30000, 13), noise(30000, 30000, 14));
  const auto out = run(g, in, 256);
  for (size_t i = 0; i < in.size(); ++i) {
    ASSERT_EQ(out.left[i], (32767 * in.left[i]) >> 15) << i;
    ASSERT_EQ(out.right[i], (32767 * in.right[i]) >> 15) << i;
  }
}

struct PitchCase {
  int speed;
  int grain;  // G column of the speed
  int bpm;
};

class GrainShifterPitch : public ::testing::TestWithParam<PitchCase> {};

// A repeated grain of d samples is periodic: its spectrum is made of lines
// at multiples of 44100 / d, so a 1100 Hz tone comes out at the harmonic of
// the grain rate nearest to it.
TEST_P(GrainShifterPitch, RepeatsSoundAtHarmonicsOfTheGrainRate) {
  const PitchCase c = GetParam();
  GrainShifter g;
  prepare(g, c.speed, 127, c.bpm);
  const size_t n = 12000;
  const auto out = run(g, Stereo::mono(sine(n, 1100.0, 12000.0)), 500);
  const int d = grainSamples(c.grain, c.bpm);
  // From frame d the first grain repeats until half a cycle later (the
  // cycle is 12/24 beat: 11025 frames at 120 BPM); measure well inside.
  const size_t from = static_cast<size_t>(d) + 1000;
  const size_t len = 2048;
  ASSERT_LE(from + len, static_cast<size_t>(d + 44100 * 60 / c.bpm / 4));
  // Periodic with the grain length.
  for (size_t i = from + static_cast<size_t>(d); i < from + len; ++i)
    ASSERT_NEAR(out.left[i], out.left[i - static_cast<size_t>(d)], 8) << i;
  const double rate = kRate / d;
  const double expected = std::round(1100.0 / rate) * rate;
  const auto p = powerSpectrum(out.left, from, len);
  const size_t peak = argmax(p, 5, p.size() - 1);
  EXPECT_NEAR(binHz(peak, len), expected, kRate / len) << "grain " << d;
  EXPECT_GT(std::abs(expected - 1100.0), 2 * kRate / len);  // the pitch really moved
}

INSTANTIATE_TEST_SUITE_P(SpeedAndTempo, GrainShifterPitch,
                         ::testing::Values(PitchCase{126, 3, 120},   // 172 samples: 256 Hz lines
                                           PitchCase{124, 4, 120},   // 229 samples: 193 Hz
                                           PitchCase{126, 3, 150},   // 137 samples: 322 Hz
                                           PitchCase{122, 6, 120})); // 344 samples: 128 Hz

TEST(GrainShifter, PatternTopRestartsWithTheGrainRecordedThere) {
  auto runOnce = [](bool restart) {
    GrainShifter g;
    prepare(g, 126, 127, 120);
    // 8000 frames of a tone: the cycle (11025 frames) is then in the half
    // where line A records.
    run(g, Stereo::mono(sine(8000, 300.0, 8000.0)), 500);
    if (restart) g.patternTop();
    // A steady level for the first grain, then the tone again.
    std::vector<int16_t> in(5000, 6000);
    const auto tone = sine(5000, 300.0, 8000.0);
    std::copy(tone.begin() + 900, tone.end(), in.begin() + 900);
    return run(g, Stereo::mono(in), 500);
  };
  const auto restarted = runOnce(true);
  // The grain taken at the top (the steady level) repeats, whatever the
  // input does meanwhile (each pass through the line rounds it down by
  // about one LSB).
  for (size_t i = 1200; i < 5000; ++i) ASSERT_NEAR(restarted.left[i], 5999, 60) << i;
  const auto free = runOnce(false);
  EXPECT_GT(peakAbs(free.left, 1200, 5000) - 5999, 1000);
}

// --- Decimator ---

// ((RT(127 - F) × 64049) >> 16) + 1486 with RT(i) = round(65535 × (i/127)²).
int rateIncrement(int frequency) {
  const double t = (127 - frequency) / 127.0;
  return static_cast<int>((std::llround(65535.0 * t * t) * 64049) >> 16) + 1486;
}

TEST(Decimator, NewSamplesComeAtRateTimesIncrementOver65536) {
  for (int frequency : {0, 1, 32, 64, 100, 127}) {
    Decimator d;
    d.setParameter(1, frequency);
    const size_t warm = 1000, n = 65536;
    std::vector<int16_t> in(warm + n);
    for (size_t i = 0; i < in.size(); ++i) in[i] = static_cast<int16_t>(2000 + (i * 7) % 28000);
    const auto out = run(d, Stereo::mono(in), 512);
    int holds = 0;
    for (size_t i = warm; i < warm + n; ++i)
      if (out.left[i] != out.left[i - 1]) ++holds;
    EXPECT_EQ(holds, rateIncrement(frequency)) << "Frequency " << frequency;
  }
  EXPECT_EQ(rateIncrement(0), 65534);
  EXPECT_EQ(rateIncrement(127), 1486);  // about 1 kHz
}

TEST(Decimator, BitReductionClearsTheLowBits) {
  for (int bit : {0, 4, 20, 60, 100, 127}) {
    Decimator d;
    d.setParameter(2, bit);
    const int bits = fx::bitsKeptFor(bit);
    const int step = 1 << (16 - bits);
    const auto in = noise(40000, 30000, 15);
    const auto out = run(d, Stereo::mono(in), 512);
    std::set<int> levels;
    for (size_t i = 2000; i < in.size(); ++i) {
      const int o = out.left[i];
      levels.insert(o);
      // -32768 is stored as -32767, the one value off the grid.
      if (o != -32767) {
        ASSERT_EQ(o & (step - 1), 0) << "Bit " << bit << " @" << i;
      }
      // Truncated towards minus infinity, after the open gate's gain of
      // just under one: never above the input, never a step or more below.
      const int x = in[i];
      const int xPrev = in[i - 1];  // once per 32768 frames the old sample is held
      auto fits = [&](int v) {
        const int slack = (std::abs(v) >> 11) + 1;
        return o <= v + slack && o > v - step - slack;
      };
      ASSERT_TRUE(fits(x) || fits(xPrev)) << "Bit " << bit << " @" << i << " in " << x << " out " << o;
    }
    EXPECT_LE(levels.size(), static_cast<size_t>(1) << bits);
    if (bits <= 8) {
      EXPECT_GE(levels.size(), (static_cast<size_t>(1) << bits) * 3 / 4) << bit;
    }
  }
}

TEST(Decimator, LoudInputPassesPracticallyUnchanged) {
  Decimator d;
  const auto in = sine(20000, 440.0, 20000.0);
  const auto out = run(d, Stereo::mono(in), 300);
  int mismatches = 0;
  for (size_t i = 1000; i < in.size(); ++i) {
    const int err = std::abs(out.left[i] - in[i]);
    if (err > std::abs(in[i]) / 2048 + 1) ++mismatches;  // one held frame in 32768
  }
  EXPECT_LE(mismatches, 1);
}

// A square wave of the given magnitude: its level is the magnitude itself.
std::vector<int16_t> square(size_t n, int16_t magnitude) {
  std::vector<int16_t> v(n);
  for (size_t i = 0; i < n; ++i) v[i] = (i / 100) % 2 ? magnitude : static_cast<int16_t>(-magnitude);
  return v;
}

TEST(Decimator, GateSilencesQuietInputWithHysteresis) {
  // Level 40 lies between the closing (32) and opening (48) thresholds.
  const auto between = square(20000, 40);
  {
    Decimator d;  // starts closed: stays closed, nothing comes out
    const auto out = run(d, Stereo::mono(between), 256);
    EXPECT_EQ(peakAbs(out.left), 0);
    EXPECT_FALSE(d.gateOpen());
  }
  {
    Decimator d;  // opened by a loud passage: stays open at the same level
    run(d, Stereo::mono(sine(5000, 300.0, 10000.0)), 256);
    const auto out = run(d, Stereo::mono(between), 256);
    EXPECT_TRUE(d.gateOpen());
    EXPECT_GE(peakAbs(out.left, 15000), 39);
  }
  {
    Decimator d;  // below both: the gate closes and the output fades out
    run(d, Stereo::mono(sine(5000, 300.0, 10000.0)), 256);
    const auto out = run(d, Stereo::mono(square(20000, 25)), 256);
    EXPECT_FALSE(d.gateOpen());
    EXPECT_GE(peakAbs(out.left, 0, 100), 20);
    EXPECT_LE(peakAbs(out.left, 10000), 1);
  }
  {
    Decimator d;  // loud enough opens it
    const auto out = run(d, Stereo::mono(square(5000, 60)), 256);
    EXPECT_TRUE(d.gateOpen());
    EXPECT_GE(peakAbs(out.left, 2000), 59);
  }
}

}  // namespace
