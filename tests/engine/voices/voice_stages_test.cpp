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

namespace {

// Q23 samples covering the extremes, zero, the values next to them and a
// spread in between, in an order that puts each kind into every lane.
std::vector<int32_t> edgeSamples(size_t n) {
  const int32_t edges[] = {q23::kMin, q23::kMin + 1, q23::kMax, q23::kMax - 1, 0, -1, 1, 255, -256, -257};
  std::vector<int32_t> s;
  uint32_t x = 12345;
  for (size_t i = 0; i < n; ++i) {
    x = x * 1103515245u + 12345u;
    s.push_back(i % 3 == 0 ? edges[(i / 3) % std::size(edges)]
                           : static_cast<int32_t>(x >> 8) - 8388608);
  }
  return s;
}

// The bus sum one frame at a time, as each voice stage did before runs.
void panIntoBusesByFrame(PanStage& pan, SendGains& sends, const int32_t* s, uint32_t n, int16_t* const* buses,
                         uint32_t first) {
  for (uint32_t j = 0; j < n; ++j) {
    int32_t left;
    int32_t right;
    pan.process(s[j], left, right);
    sends.step();
    addToBuses(buses, first + j, sends, left, right);
  }
}

}  // namespace

TEST(BusStore, RunsAddExactlyAsFrameByFrame) {
  const std::vector<int32_t> s = edgeSamples(67);
  for (const int32_t gain : {0, 1, 16384, 32511, 32767}) {
    for (const int16_t start : {int16_t{-32768}, int16_t{-32767}, int16_t{-20000}, int16_t{0}, int16_t{20000},
                                int16_t{32767}}) {
      std::vector<int16_t> x;
      for (const int32_t v : s) x.push_back(static_cast<int16_t>(v >> 8));
      std::vector<int16_t> expected(s.size(), start);
      std::vector<int16_t> run(s.size(), start);
      for (size_t i = 0; i < s.size(); ++i) bus16::addScaled(expected[i], s[i], gain);
      bus16::addScaledRun(run.data(), x.data(), static_cast<uint32_t>(x.size()), gain);
      EXPECT_EQ(run, expected) << "gain " << gain << " start " << start;
    }
  }
}

TEST(PanStage, RunsMatchFrameByFrameWhetherHoldingOrGliding) {
  const std::vector<int32_t> s = edgeSamples(131);
  struct Case {
    int from;
    int to;  // -1: no glide
  };
  for (const Case c : {Case{0, -1}, Case{1, -1}, Case{64, -1}, Case{100, -1}, Case{127, -1}, Case{0, 127},
                       Case{127, 3}, Case{40, 41}, Case{0, 5}}) {
    PanStage byFrame;
    byFrame.start(c.from);
    if (c.to >= 0) byFrame.setPan(c.to);
    PanStage byRun = byFrame;
    // Runs of uneven lengths, so that the eight-frame groups and the frames
    // after them both meet every part of the input; long enough for a
    // glide to come to rest.
    for (int round = 0; round < 40; ++round) {
      for (const uint32_t n : {64u, 13u, 8u, 1u, 45u}) {
        const int32_t* in = s.data() + (round * 7) % 64;
        std::vector<int16_t> left(n);
        std::vector<int16_t> right(n);
        byRun.processRun(in, n, left.data(), right.data());
        for (uint32_t j = 0; j < n; ++j) {
          int32_t l;
          int32_t r;
          byFrame.process(in[j], l, r);
          ASSERT_EQ(left[j], l >> 8) << c.from << "->" << c.to << " frame " << j;
          ASSERT_EQ(right[j], r >> 8) << c.from << "->" << c.to << " frame " << j;
        }
        ASSERT_EQ(byRun.position(), byFrame.position());
      }
    }
  }
}

// Both builds of the pan's lane loop give the scalar products, for samples
// at and near the ends of Q23 and positions at and near both ends.
TEST(PanStage, BothLaneBuildsGiveTheScalarProducts) {
  const std::vector<int32_t> s = edgeSamples(200);
  std::vector<int32_t> q(s.size());
  const int32_t edges[] = {0, 1, 8388607, 8388606, 4194304, 65536};
  uint32_t x = 777;
  for (size_t i = 0; i < q.size(); ++i) {
    x = x * 1103515245u + 12345u;
    q[i] = i % 2 == 0 ? edges[(i / 2) % std::size(edges)] : static_cast<int32_t>((x >> 8) % 8388608u);
  }
  const uint32_t n = static_cast<uint32_t>(s.size());
  for (const bool avx2 : {false, true}) {
    std::vector<int16_t> left(n, 0x5555);
    std::vector<int16_t> right(n, 0x5555);
    const uint32_t done = panLanesWith(avx2, s.data(), q.data(), n, left.data(), right.data());
#if defined(__x86_64__)
    if (!avx2 || __builtin_cpu_supports("avx2")) {
      EXPECT_EQ(done, n / 8 * 8) << "avx2 " << avx2;
    }
#endif
    for (uint32_t j = 0; j < done; ++j) {
      const int64_t r = (int64_t{q[j]} * s[j]) >> 31;
      const int64_t l = ((8388607 - int64_t{q[j]}) * s[j]) >> 31;
      ASSERT_EQ(right[j], r) << "avx2 " << avx2 << " frame " << j << " s " << s[j] << " q " << q[j];
      ASSERT_EQ(left[j], l) << "avx2 " << avx2 << " frame " << j << " s " << s[j] << " q " << q[j];
    }
    for (uint32_t j = done; j < n; ++j) EXPECT_EQ(right[j], 0x5555) << "written past the lanes";
  }
}

TEST(PanStage, IntoBusesMatchesFrameByFrameForEverySendState) {
  const std::vector<int32_t> s = edgeSamples(64);
  struct Case {
    int32_t fxSendAtStart;
    int32_t fxSendTarget;
    int pan;
    int panTarget;
  };
  for (const Case c : {Case{0, 0, 64, -1}, Case{1, 1, 20, -1}, Case{0, 1, 64, -1}, Case{1, 0, 100, 3},
                       Case{0, 0, 0, 127}}) {
    {
      PanStage panA;
      panA.start(c.pan);
      if (c.panTarget >= 0) panA.setPan(c.panTarget);
      SendGains sendsA;
      sendsA.setAtOnce(c.fxSendAtStart);
      sendsA.setTargets(c.fxSendTarget);
      PanStage panB = panA;
      SendGains sendsB = sendsA;
      int16_t busesA[4][200] = {};
      int16_t busesB[4][200] = {};
      for (int b = 0; b < 4; ++b) {
        for (int i = 0; i < 200; ++i) {
          busesA[b][i] = busesB[b][i] = static_cast<int16_t>((i * 977 + b * 4099) % 65535 - 32767);
        }
      }
      int16_t* curA[4] = {busesA[0], busesA[1], busesA[2], busesA[3]};
      int16_t* curB[4] = {busesB[0], busesB[1], busesB[2], busesB[3]};
      uint32_t first = 0;
      for (const uint32_t n : {64u, 3u, 64u, 17u, 40u}) {
        panIntoBuses(panA, sendsA, s.data(), n, curA, first);
        panIntoBusesByFrame(panB, sendsB, s.data(), n, curB, first);
        first += n;
      }
      for (int b = 0; b < 4; ++b) {
        EXPECT_TRUE(std::equal(std::begin(busesA[b]), std::end(busesA[b]), std::begin(busesB[b])))
            << "bus " << b << " fxSend " << c.fxSendAtStart << "->" << c.fxSendTarget << " pan " << c.pan;
      }
      EXPECT_EQ(panA.position(), panB.position());
      EXPECT_EQ(sendsA.current(0), sendsB.current(0));
      EXPECT_EQ(sendsA.current(1), sendsB.current(1));
    }
  }
}
