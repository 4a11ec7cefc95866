#include "engine/voices/voice_stages.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <numbers>
#include <vector>

namespace {

constexpr float kRate = 44100.0f;

// Steady-state gain of the Low Boost stage for a sine of `hz`, measured.
double measuredGain(int lowBoost, double hz, double amplitude) {
  LowBoost lb(kRate);
  lb.start(lowBoost);
  double inPower = 0.0;
  double outPower = 0.0;
  const int settle = 20000;
  const int n = 44100;
  for (int i = 0; i < settle + n; ++i) {
    const double x = amplitude * std::sin(2.0 * std::numbers::pi * hz * i / kRate);
    const int32_t y = lb.process(static_cast<int32_t>(std::lround(x)));
    if (i >= settle) {
      inPower += x * x;
      outPower += static_cast<double>(y) * y;
    }
  }
  return std::sqrt(outPower / inPower);
}

// |b / (1 - a e^-jw)| with a, b in Q23.
double formulaGain(int lowBoost, double hz) {
  const double a = lowBoostCoefficient(lowBoost) / 8388608.0;
  const double c = lowBoostConstant(kRate) / 8388608.0;
  const double b = (8388607 - std::floor(c * lowBoostCoefficient(lowBoost))) / 8388608.0;
  const double w = 2.0 * std::numbers::pi * hz / kRate;
  return b / std::abs(1.0 - a * std::polar(1.0, -w));
}

TEST(LowBoost, FrequencyResponseFollowsTheOnePoleFormula) {
  struct Case {
    int lowBoost;
    double hz;
    double amplitude;
  };
  for (const Case c : {Case{0, 100, 1e6}, Case{0, 8000, 1e6}, Case{42, 100, 1e6}, Case{42, 8000, 1e6},
                       Case{64, 100, 1e6}, Case{100, 100, 4e5}, Case{100, 8000, 4e5}, Case{127, 100, 2e5},
                       Case{127, 5000, 2e5}}) {
    EXPECT_NEAR(measuredGain(c.lowBoost, c.hz, c.amplitude) / formulaGain(c.lowBoost, c.hz), 1.0, 0.01)
        << "Low Boost " << c.lowBoost << " at " << c.hz << " Hz";
  }
}

TEST(LowBoost, HigherValuesLiftTheBassAgainstTheTreble) {
  double previousTilt = 0.0;
  for (int k : {0, 32, 64, 96, 127}) {
    const double tilt = formulaGain(k, 100) / formulaGain(k, 8000);
    EXPECT_NEAR(measuredGain(k, 100, 1e5) / measuredGain(k, 8000, 1e5), tilt, tilt * 0.02) << k;
    EXPECT_GT(tilt, previousTilt) << k;
    previousTilt = tilt;
  }
  // 0 leans to the treble, 127 lifts 100 Hz by more than 20 dB over 8 kHz.
  EXPECT_LT(formulaGain(0, 100), formulaGain(0, 8000));
  EXPECT_GT(previousTilt, 10.0);
}

TEST(LowBoost, SaturatesInsteadOfWrapping) {
  LowBoost lb(kRate);
  lb.start(127);
  int32_t y = 0;
  for (int i = 0; i < 20000; ++i) y = lb.process(q23::kMax);
  EXPECT_EQ(y, q23::kMax);
  for (int i = 0; i < 20000; ++i) y = lb.process(q23::kMin);
  EXPECT_EQ(y, q23::kMin);
}

TEST(LowBoost, ClosedGateIgnoresInputAndEndsTheTailBelow8192) {
  LowBoost lb(kRate);
  lb.start(100);
  for (int i = 0; i < 5000; ++i) lb.process(3000000);
  lb.closeGate();
  int32_t previous = lb.process(8000000);
  ASSERT_GT(previous, 0);
  int n = 1;
  while (!lb.tailFinished() && n < 100000) {
    const int32_t y = lb.process(8000000);
    EXPECT_EQ(y, static_cast<int32_t>((static_cast<int64_t>(previous) * lb.a()) >> 23));
    previous = y;
    ++n;
  }
  ASSERT_TRUE(lb.tailFinished());
  EXPECT_LT(std::abs(previous), 8192);
  // a(100) ≈ 0.68: from about 4.1e6 the tail takes some 16 samples.
  EXPECT_GT(n, 5);
}

TEST(LowBoost, CoefficientGlidesToANewTarget) {
  LowBoost lb(kRate);
  lb.start(0);
  EXPECT_EQ(lb.a(), lowBoostCoefficient(0));
  EXPECT_EQ(lb.b(), 8388607 - static_cast<int32_t>((static_cast<int64_t>(lb.constant()) * lb.a()) >> 23));
  lb.setTarget(127);
  lb.process(0);
  EXPECT_EQ(lb.a(), lowBoostCoefficient(0));  // read before the smoother steps
  for (int i = 0; i < 10; ++i) lb.process(0);
  EXPECT_GT(lb.a(), lowBoostCoefficient(0));
  EXPECT_LT(lb.a(), lowBoostCoefficient(127));
  for (int i = 0; i < 20000; ++i) lb.process(0);
  // The smoother's floor arithmetic settles a few hundred below the target
  // (0.005 %), without ever passing it.
  EXPECT_NEAR(lb.a(), lowBoostCoefficient(127), 400);
  EXPECT_LE(lb.a(), lowBoostCoefficient(127));
}

TEST(LevelStage, ScalesByTheGainAndGlidesToANewLevel) {
  LevelStage level(kSynthLevelConstant);
  level.start(127, 127, false);
  EXPECT_EQ(level.process(8388607), static_cast<int32_t>((5872024LL * 8388607) >> 23));
  EXPECT_EQ(level.process(-1000), static_cast<int32_t>((5872024LL * -1000) >> 23));
  level.setLevel(64);
  const int32_t target = levelGain(64, 127, false, kSynthLevelConstant);
  int32_t last = 0;
  for (int i = 0; i < 5000; ++i) last = level.process(8388607);
  EXPECT_NEAR(level.gain(), target, target * 0.002);
  EXPECT_NEAR(last, (static_cast<int64_t>(level.gain()) * 8388607) >> 23, 40000);
}

TEST(LevelStage, MuteGivesSilence) {
  LevelStage level(kPcmLevelConstant);
  level.start(127, 127, true);
  EXPECT_EQ(level.process(8388607), 0);
  level.setLevel(100);
  for (int i = 0; i < 100; ++i) EXPECT_EQ(level.process(8388607), 0);
}

TEST(PanStage, LinearLawAtTheEndsAndTheCentre) {
  struct Case {
    int pan;
    int32_t left;
    int32_t right;
  };
  const int32_t s = 4000000;
  for (const Case c : {Case{0, static_cast<int32_t>((8388607LL * s) >> 23), 0},
                       Case{1, static_cast<int32_t>((8388607LL * s) >> 23), 0},
                       Case{64, static_cast<int32_t>((4194303LL * s) >> 23), s / 2},
                       Case{127, 0, static_cast<int32_t>((8388607LL * s) >> 23)}}) {
    PanStage pan;
    pan.start(c.pan);
    int32_t l = -1;
    int32_t r = -1;
    pan.process(s, l, r);
    EXPECT_EQ(l, c.left) << "pan " << c.pan;
    EXPECT_EQ(r, c.right) << "pan " << c.pan;
  }
  // Left + right always adds up to the input (linear, not constant power).
  for (int p = 0; p < 128; ++p) {
    PanStage pan;
    pan.start(p);
    int32_t l;
    int32_t r;
    pan.process(s, l, r);
    EXPECT_NEAR(l + r, s, 2) << p;
    EXPECT_NEAR(static_cast<double>(r) / s, panPosition(p) / 8388608.0, 1e-6) << p;
  }
}

TEST(SendGains, SwitchesBetweenDryAndSendWithAShortGlide) {
  SendGains g;
  g.setAtOnce(1);
  EXPECT_EQ(g.current(0), 0);
  EXPECT_EQ(g.current(1), 32767);
  g.setTargets(0);
  EXPECT_TRUE(g.smoothing());
  int steps = 0;
  int32_t previousDry = g.current(0);
  while (g.smoothing() && steps < 100) {
    g.step();
    EXPECT_GE(g.current(0), previousDry);
    previousDry = g.current(0);
    ++steps;
  }
  EXPECT_FALSE(g.smoothing());
  EXPECT_EQ(g.current(0), 32767);
  EXPECT_EQ(g.current(1), 0);
  // A glide of a few samples, not an instant jump.
  EXPECT_GE(steps, 2);
  EXPECT_LE(steps, 10);
  g.setTargets(0);
  EXPECT_FALSE(g.smoothing());  // unchanged target: nothing to do
}

TEST(BusStore, SaturatesAtPlusMinus32767) {
  int16_t bus = 32767;
  bus16::addScaled(bus, q23::kMax, 32767);
  EXPECT_EQ(bus, 32767);
  bus = -32767;
  bus16::addScaled(bus, q23::kMin, 32767);
  EXPECT_EQ(bus, -32767);
  bus = -32000;
  bus16::addScaled(bus, q23::kMin, 32767);
  EXPECT_EQ(bus, -32767);
  bus = 0;
  bus16::addScaled(bus, q23::kMin, 32767);
  EXPECT_EQ(bus, -32767);
  bus = 100;
  bus16::addScaled(bus, 256 * 1000, 16384);
  EXPECT_EQ(bus, 600);
  EXPECT_EQ(bus16::saturate(-40000), -32767);
  EXPECT_EQ(bus16::saturate(-32768), -32767);
  EXPECT_EQ(bus16::saturate(40000), 32767);
}

}  // namespace
