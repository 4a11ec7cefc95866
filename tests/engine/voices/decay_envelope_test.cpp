#include "engine/voices/decay_envelope.h"

#include <gtest/gtest.h>

#include "engine/voices/fixed_point.h"

namespace {

TEST(DecayEnvelope, HoldLengthsForTheThreeRanges) {
  struct Case {
    int decay;
    uint32_t n;
    uint32_t hold;
  };
  // n/100 × (d + 1) below 100; n + n/10 × (d - 99) up to 119;
  // 3n + (n >> 3) × (d - 119) from 120.
  for (const Case c : {Case{0, 6040, 60}, Case{50, 6040, 60 * 51}, Case{99, 6040, 6000},
                       Case{100, 6040, 6040 + 604}, Case{119, 6040, 6040 + 604 * 20},
                       Case{120, 6040, 3 * 6040 + 755}, Case{127, 6040, 4 * 6040},
                       Case{99, 51488, 51400}, Case{127, 51488, 3 * 51488 + 6436 * 8}}) {
    EXPECT_EQ(DecayEnvelope::holdFor(c.decay, c.n), c.hold) << c.decay << " " << c.n;
  }
}

TEST(DecayEnvelope, StepLengthSpreadsTheStaircaseOverThreeQuartersOfTheHold) {
  EXPECT_EQ(DecayEnvelope::stepLengthFor(0), 1u);
  EXPECT_EQ(DecayEnvelope::stepLengthFor(100), 1u);
  EXPECT_EQ(DecayEnvelope::stepLengthFor(6000), (3000u + 1500u) / 127u);
  EXPECT_EQ(DecayEnvelope::stepLengthFor(24160), (12080u + 6040u) / 127u);
}

TEST(DecayEnvelope, NaturalLengthScalesByTheRowRate) {
  DecayEnvelope e;
  e.start(99, 13490, 48000, 44100.0f);
  EXPECT_EQ(e.naturalLength(), static_cast<uint32_t>(44100.0f * 13490.0f / 48000.0f));
  e.start(99, 26028, 32000, 44100.0f);
  EXPECT_EQ(e.naturalLength(), 35869u);
}

// Runs a full-scale input through the envelope; returns the outputs.
std::vector<int32_t> run(DecayEnvelope& e, size_t n) {
  std::vector<int32_t> out(n);
  for (size_t i = 0; i < n; ++i) out[i] = e.process(q23::kMax);
  return out;
}

TEST(DecayEnvelope, HoldsAtFullLevelThenStepsDownToSilence) {
  for (int decay : {99, 100, 119, 127}) {
    DecayEnvelope e;
    e.start(decay, 6040, 44100, 44100.0f);
    const uint32_t hold = e.holdLength();
    EXPECT_EQ(hold, DecayEnvelope::holdFor(decay, 6040));
    const uint32_t step = e.stepLength();
    const size_t frames = hold + step * 130 + 4000;
    std::vector<int32_t> out(frames);
    size_t finishedAt = 0;
    for (size_t i = 0; i < frames; ++i) {
      out[i] = e.process(q23::kMax);
      if (e.finished() && finishedAt == 0) finishedAt = i;
    }
    const int32_t full = static_cast<int32_t>((8387080LL * q23::kMax) >> 23);
    // Full level through the hold and the first stage.
    for (uint32_t i = 0; i <= hold + step; ++i) ASSERT_EQ(out[i], full) << "decay " << decay << " frame " << i;
    // Then a falling staircase.
    EXPECT_LT(out[hold + 4 * step], full) << decay;
    for (size_t i = hold + 1; i < out.size(); ++i) ASSERT_LE(out[i], out[i - 1]) << i;
    // The stage counts down once per step length; the 127th step ends it.
    EXPECT_EQ(finishedAt, hold + 127 * step - 1) << decay;
    EXPECT_EQ(e.stage(), 0);
    // The smoothed level lags the staircase, then follows it to silence.
    EXPECT_LT(out[finishedAt], full / 50) << decay;
    EXPECT_LT(out.back(), 100) << decay;
  }
}

TEST(DecayEnvelope, HoldOf127IsFourTimesTheNaturalLength) {
  DecayEnvelope e;
  e.start(127, 8000, 44100, 44100.0f);
  EXPECT_EQ(e.holdLength(), 32000u);
  e.start(99, 8000, 44100, 44100.0f);
  EXPECT_EQ(e.holdLength(), 8000u);
}

TEST(DecayEnvelope, ShorterDecayWhileHoldingNeverReachesBack) {
  DecayEnvelope e;
  e.start(127, 6040, 44100, 44100.0f);
  run(e, 5000);
  e.setDecay(0);  // its own hold would be 60, far behind the 5000 played
  EXPECT_EQ(e.holdLength(), 5000u);
  const auto out = run(e, 2);
  EXPECT_EQ(out[0], out[1]);
  // A longer one simply extends the hold.
  e.start(50, 6040, 44100, 44100.0f);
  run(e, 100);
  e.setDecay(127);
  EXPECT_EQ(e.holdLength(), 24160u);
}

TEST(DecayEnvelope, FinishedDecayIgnoresNewValues) {
  DecayEnvelope e;
  e.start(0, 1000, 44100, 44100.0f);
  run(e, 2000);
  ASSERT_TRUE(e.finished());
  e.setDecay(127);
  EXPECT_EQ(e.holdLength(), DecayEnvelope::holdFor(0, 1000));
}

}  // namespace
