#include "engine/voices/modulation_source.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

#include "engine/voices/fixed_point.h"
#include "engine/voices/voice_tables.h"

namespace {

constexpr float kRate = 44100.0f;

std::vector<int32_t> run(ModulationSource& m, int n) {
  std::vector<int32_t> out(n);
  for (int i = 0; i < n; ++i) {
    m.step();
    out[i] = m.output();
  }
  return out;
}

TEST(Rand48, MatchesThePosixGenerator) {
  ::srand48(987654321);
  Rand48 r(987654321);
  for (int i = 0; i < 1000; ++i) ASSERT_EQ(r.next(), static_cast<int32_t>(::mrand48())) << i;
}

TEST(Rand48, DefaultStateIsPosixDefault) {
  // POSIX: without a seed the generator starts from 0x1234ABCD330E.
  Rand48 a;
  Rand48 b;
  b.seed48(0x1234ABCD);
  for (int i = 0; i < 10; ++i) EXPECT_EQ(a.next(), b.next());
}

TEST(ModulationSource, RatesMatchTheStatedFrequencies) {
  ModulationSource m(kRate);
  auto hz = [&](int speed) {
    m.start(0, speed, 127);
    return m.increment() * static_cast<double>(kRate) / 16777216.0;
  };
  EXPECT_NEAR(hz(0), 0.04, 0.005);
  EXPECT_NEAR(hz(64), 24.0, 0.5);
  EXPECT_NEAR(hz(127) / 17700.0, 1.0, 0.01);
  for (int s = 1; s < 128; ++s) EXPECT_GE(hz(s), hz(s - 1));

  auto envelopeSeconds = [&](int speed) {
    m.start(5, speed, 127);
    return 8388607.0 / m.envelopeDecrement() / kRate;
  };
  EXPECT_NEAR(envelopeSeconds(0), 6.3, 0.1);
  EXPECT_NEAR(envelopeSeconds(127) * 1000.0, 6.0, 0.5);
}

TEST(ModulationSource, DepthSixtyFourSilencesEveryType) {
  for (int type = 0; type <= 5; ++type) {
    ModulationSource m(kRate);
    m.start(type, 90, 64);
    for (int i = 0; i < 5000; ++i) {
      m.step();
      ASSERT_EQ(m.output(), 0) << "type " << type;
      ASSERT_EQ(m.outputOffset(), 0) << "type " << type;
      ASSERT_EQ(m.phaseOffset(), 0) << "type " << type;
    }
  }
}

TEST(ModulationSource, SawDownFallsThroughEachCycle) {
  ModulationSource m(kRate);
  m.start(0, 64, 127);
  const auto out = run(m, 4000);
  int rises = 0;
  for (size_t i = 1; i < out.size(); ++i) {
    if (out[i] > out[i - 1]) {
      ++rises;
      EXPECT_GT(out[i] - out[i - 1], 16000000) << "only the wrap jumps up";
    }
  }
  // 24 Hz over 4000 samples: two cycle restarts.
  EXPECT_EQ(rises, 2);
  EXPECT_GT(*std::max_element(out.begin(), out.end()), 8300000);
  EXPECT_LT(*std::min_element(out.begin(), out.end()), -8300000);
}

TEST(ModulationSource, SquareIsFullScaleWithEqualHalves) {
  ModulationSource m(kRate);
  m.start(1, 64, 127);
  const auto out = run(m, 44100);
  int high = 0;
  int low = 0;
  for (int32_t v : out) {
    if (v == q23::kMax) ++high;
    else if (v == -8388607) ++low;
  }
  EXPECT_GT(high + low, 44100 - 200);  // only samples next to an edge differ
  EXPECT_NEAR(static_cast<double>(high) / low, 1.0, 0.02);
}

TEST(ModulationSource, TriangleRampsLinearlyBetweenFullScales) {
  ModulationSource m(kRate);
  m.start(2, 64, 127);
  const auto out = run(m, 44100);
  EXPECT_GE(*std::max_element(out.begin(), out.end()), 8300000);
  EXPECT_LE(*std::min_element(out.begin(), out.end()), -8300000);
  // A triangle moves by 2 × 2 × increment per sample everywhere (no jumps).
  const int64_t slope = 4LL * m.increment();
  for (size_t i = 1; i < out.size(); ++i) {
    ASSERT_LE(std::llabs(static_cast<int64_t>(out[i]) - out[i - 1]), slope + 4) << i;
  }
}

TEST(ModulationSource, SampleAndHoldChangesOnlyAtCycleStarts) {
  ModulationSource m(kRate);
  m.start(3, 64, 127);
  const auto out = run(m, 44100);
  int changes = 0;
  for (size_t i = 1; i < out.size(); ++i) changes += out[i] != out[i - 1];
  // 24 Hz: about 24 new values in a second, each held for a whole cycle.
  EXPECT_GE(changes, 22);
  EXPECT_LE(changes, 26);
}

TEST(ModulationSource, NoiseLeavesThePitchAloneAndDisturbsTheWave) {
  ModulationSource m(kRate);
  m.start(4, 64, 127);
  EXPECT_EQ(m.noiseAmount(), q23::kMax);  // 1.5 × 5689958 clamps
  int64_t offsets = 0;
  int nonzeroPhase = 0;
  for (int i = 0; i < 2000; ++i) {
    m.step();
    ASSERT_EQ(m.output(), 0);
    offsets += m.outputOffset();
    nonzeroPhase += m.phaseOffset() != 0;
  }
  EXPECT_GT(offsets, 0);
  EXPECT_GT(nonzeroPhase, 1500);
  // A negative depth gives a negative offset.
  m.start(4, 64, 20);
  EXPECT_LT(m.noiseAmount(), 0);
  m.step();
  EXPECT_LT(m.outputOffset(), 0);
}

TEST(ModulationSource, EnvelopeFallsFromFullScaleToZero) {
  ModulationSource m(kRate);
  m.start(5, 127, 127);
  const auto out = run(m, 400);
  EXPECT_EQ(out[0], q23::kMax - m.envelopeDecrement());
  for (size_t i = 1; i < out.size(); ++i) EXPECT_LE(out[i], out[i - 1]);
  EXPECT_EQ(out.back(), 0);  // 6 ms = 265 samples at speed 127
}

TEST(ModulationSource, ChangingParametersKeepsThePhaseRunning) {
  ModulationSource a(kRate);
  ModulationSource b(kRate);
  a.start(0, 64, 127);
  b.start(0, 64, 127);
  run(a, 500);
  run(b, 500);
  b.setParameters(0, 64, 100);  // depth only: same oscillator
  a.step();
  b.step();
  EXPECT_EQ(a.output(), b.output());
  b.setParameters(0, 100, 100);
  a.step();
  b.step();
  EXPECT_NE(a.output(), b.output());
}

}  // namespace

namespace {

// Deferred steps of kind K in runs of `run` samples, each run closed by
// pass, against plain steps: the same outputs sample by sample, and the
// same envelope, phase and saw after every run.
template <int K>
void expectDeferredEnvelopeMatches(int32_t speed, uint32_t run) {
  ModulationSource plain(kRate);
  plain.start(K, speed, 100);
  ModulationSource deferred = plain;
  for (int round = 0; round < 400; ++round) {
    for (uint32_t j = 0; j < run; ++j) {
      plain.stepAs<K>();
      deferred.stepAs<K, true>();
      ASSERT_EQ(deferred.output(), plain.output()) << "kind " << K << " speed " << speed << " round " << round;
      ASSERT_EQ(deferred.outputOffset(), plain.outputOffset()) << "kind " << K;
      ASSERT_EQ(deferred.phaseOffset(), plain.phaseOffset()) << "kind " << K;
    }
    deferred.pass<K>(run);
    ASSERT_EQ(deferred.envelope(), plain.envelope()) << "kind " << K << " speed " << speed << " round " << round;
    // A kind chosen next starts from the same phase and saw.
    ModulationSource a = plain;
    ModulationSource b = deferred;
    a.setParameters(3, speed, 100);
    b.setParameters(3, speed, 100);
    for (int i = 0; i < 3; ++i) {
      a.stepAs<3>();
      b.stepAs<3>();
      ASSERT_EQ(b.output(), a.output()) << "kind " << K << " then Sample&Hold, round " << round;
    }
    a.setParameters(2, speed, 100);
    b.setParameters(2, speed, 100);
    a.stepAs<2>();
    b.stepAs<2>();
    ASSERT_EQ(b.output(), a.output()) << "kind " << K << " then Triangle, round " << round;
  }
  // Long enough for the fastest envelopes to reach 0 and stay there.
  if (speed == 127) {
    EXPECT_EQ(plain.envelope(), 0);
  }
}

}  // namespace

TEST(ModulationSource, DeferredStateLandsWhereEveryStepWouldHave) {
  for (const int32_t speed : {0, 64, 127}) {
    for (const uint32_t run : {1u, 13u, 64u}) {
      expectDeferredEnvelopeMatches<0>(speed, run);
      expectDeferredEnvelopeMatches<1>(speed, run);
      expectDeferredEnvelopeMatches<2>(speed, run);
      expectDeferredEnvelopeMatches<3>(speed, run);
      expectDeferredEnvelopeMatches<4>(speed, run);
      expectDeferredEnvelopeMatches<5>(speed, run);
      expectDeferredEnvelopeMatches<ModulationSource::kSilent>(speed, run);
    }
  }
}
