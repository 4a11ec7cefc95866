#include "engine/randomizer/pattern_randomizer.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

seqParams withSteps(int part, std::initializer_list<int> on) {
  seqParams p;
  std::memset(&p, 0, sizeof p);
  for (int s : on) p.trigger[part][s] = 1;
  return p;
}

int count(const seqParams& p, int part) {
  int n = 0;
  for (int s = 0; s < kNumSteps; ++s) n += p.trigger[part][s];
  return n;
}

TEST(PatternRandomizer, ShiftRegister) {
  Z31647PatternRandomizer r;
  r.seed(0);
  EXPECT_EQ(r.next(), 0x20C9u);            // bit 30 clear: feedback
  r.seed(1u << 30);
  EXPECT_EQ(r.next(), 0x80000000u);        // bit 30 set: plain shift
  r.seed(0x80000001u);
  EXPECT_EQ(r.next(), (0x00000002u) ^ 0x20C9u);
  // Never sticks at zero.
  r.seed(0);
  for (int i = 0; i < 1000; ++i) ASSERT_NE(r.next(), 0u);
}

TEST(PatternRandomizer, SeededRunsRepeat) {
  Z31647PatternRandomizer a, b;
  a.seed(12345);
  b.seed(12345);
  seqParams pa = withSteps(2, {0, 4}), pb = pa;
  a.randomizeSteps(2, &pa);
  b.randomizeSteps(2, &pb);
  EXPECT_EQ(std::memcmp(&pa, &pb, sizeof pa), 0);
}

TEST(PatternRandomizer, AmountZeroAndMinusEight) {
  Z31647PatternRandomizer r;
  r.seed(777);
  seqParams p = withSteps(1, {0, 3, 8, 63});
  int zero = 0;
  r.setParameter(0, &zero);
  r.randomizeSteps(1, &p);
  EXPECT_EQ(count(p, 1), 4);
  for (int amount : {-8, -20}) {
    p = withSteps(1, {0, 3, 8, 63});
    r.setParameter(0, &amount);
    r.randomizeSteps(1, &p);
    EXPECT_EQ(count(p, 1), 0) << amount;
  }
}

TEST(PatternRandomizer, PositiveOnlyAddsNegativeOnlyRemovesAndOtherPartsUntouched) {
  Z31647PatternRandomizer r;
  r.seed(4242);
  for (int amount : {1, 3, 8, 20}) {
    seqParams p = withSteps(5, {1, 2, 30});
    p.trigger[4][7] = 1;
    r.setParameter(0, &amount);
    r.randomizeSteps(5, &p);
    EXPECT_TRUE(p.trigger[5][1] && p.trigger[5][2] && p.trigger[5][30]) << amount;
    EXPECT_EQ(p.trigger[4][7], 1);
    EXPECT_EQ(count(p, 4), 1);
    for (int s = 0; s < kNumSteps; ++s) ASSERT_LE(p.trigger[5][s], 1);
  }
  for (int amount = -7; amount <= -1; ++amount) {
    seqParams p = withSteps(0, {0, 1, 2, 3, 10, 20});
    r.setParameter(0, &amount);
    r.randomizeSteps(0, &p);
    for (int s = 0; s < kNumSteps; ++s) {
      if (s != 0 && s != 1 && s != 2 && s != 3 && s != 10 && s != 20) {
        ASSERT_EQ(p.trigger[0][s], 0) << amount;
      }
    }
  }
  seqParams p = withSteps(0, {0});
  r.randomizeSteps(8, &p);   // ignored, no write past the table
  r.randomizeSteps(-1, &p);
  EXPECT_EQ(count(p, 0), 1);
}

TEST(PatternRandomizer, DensityFollowsAmount) {
  // Statistical: many runs from a fixed seed, compared with the expected
  // probabilities, loosely.
  Z31647PatternRandomizer r;
  r.seed(99);
  auto density = [&](int amount, bool startFull) {
    r.setParameter(0, &amount);
    long on = 0;
    for (int run = 0; run < 400; ++run) {
      seqParams p;
      std::memset(&p, startFull ? 1 : 0, sizeof p);
      r.randomizeSteps(3, &p);
      on += count(p, 3);
    }
    return on / (400.0 * 64.0);
  };
  EXPECT_LT(density(1, false), 0.15);   // about 1/32
  EXPECT_GT(density(8, false), density(1, false));
  EXPECT_GT(density(-1, true), 0.6);    // keeps about 87%
  EXPECT_LT(density(-7, true), 0.45);   // keeps about 25%
}

TEST(PatternRandomizer, SynthParametersStayInRange) {
  Z31647PatternRandomizer r;
  r.seed(31337);
  for (int stepSize : {1, 4, 50, 1000}) {
    r.setParameter(1, &stepSize);
    int32_t v[13] = {126, 3, 0, 127, 5, 64, 0, 127, 1, 2, 1, 1, 1};
    for (int i = 0; i < 500; ++i) {
      r.randomizeSynthParameters(v);
      ASSERT_GE(v[1], 0);
      ASSERT_LE(v[1], 3);
      ASSERT_GE(v[4], 0);
      ASSERT_LE(v[4], 5);
      for (int k : {0, 2, 3, 5, 6, 7, 8}) {
        ASSERT_GE(v[k], 0);
        ASSERT_LE(v[k], 127);
      }
    }
    // Values 9-12 are never touched.
    EXPECT_EQ(v[9], 2);
    EXPECT_EQ(v[12], 1);
  }
}

TEST(PatternRandomizer, StepChoiceByLowBitsAndClamp) {
  Z31647PatternRandomizer r;
  int four = 4;
  r.setParameter(1, &four);
  // Bit 30 set and bit 0 clear: the first next() is a plain shift, whose
  // low two bits are 0, which is a +step move.
  const uint32_t seed = 1u << 30;
  {
    Z31647PatternRandomizer probe;
    probe.seed(seed);
    ASSERT_EQ(probe.next() & 3u, 0u);
  }
  r.seed(seed);
  int32_t v[13] = {126, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
  r.randomizeSynthParameters(v);
  EXPECT_EQ(v[0], 127);  // 126 + 4 clamped
}

TEST(PatternRandomizer, EachOfTheFourChoicesMovesItsOwnWay) {
  // Each call of next() shifts left, so the new state's bit 1 is the old
  // bit 0, and its bit 0 is the feedback (0x20C9 has bit 0 set, bit 1 clear),
  // present exactly when the old bit 30 was clear. Bit 30 of the state
  // before the t-th call (t = 0, 1, ...) is bit 30 - t of the seed, because
  // the feedback never reaches bits 14 and up. With N(j) = not seed bit j,
  // the choice bits (bit 1, bit 0) are therefore (seed bit 0, N(30)) for the
  // first parameter and (N(32 - k), N(31 - k)) for the k-th (k = 2..9).
  // Seed bits 30..22 = 0 0 1 1 0 1 0 0 1 and bit 0 clear (0x1A400000) give
  // N(30..22) = 1 1 0 0 1 0 1 1 0 and so the choices
  //   (0,1) (1,1) (1,0) (0,0) (0,1) (1,0) (0,1) (1,1) (1,0)
  //   = 1 3 2 0 1 2 1 3 2: +1, -step, -1, +step, +1, -1, +1, -step, -1.
  Z31647PatternRandomizer r;
  int ten = 10;
  r.setParameter(1, &ten);
  r.seed(0x1A400000u);
  // Values chosen so that every choice gives a different result; Wave (max 3)
  // shows the clamp at 0.
  int32_t v[13] = {64, 2, 64, 64, 2, 64, 100, 64, 5, 7, 8, 9, 10};
  r.randomizeSynthParameters(v);
  const int32_t expected[13] = {
      65,   // Pitch +1
      0,    // Wave 2 - 10, clamped to 0
      63,   // Mod Depth -1
      74,   // Mod Speed +10
      3,    // Mod Type +1
      63,   // Decay -1
      101,  // Level +1
      54,   // Pan -10
      4,    // Low Boost -1
      7,  8, 9, 10,  // not touched
  };
  for (int i = 0; i < 13; ++i) EXPECT_EQ(v[i], expected[i]) << "value " << i;
}

}  // namespace

namespace {

TEST(PatternRandomizer, LimitsHoldOverManySeedsAndEachSeedRepeats) {
  for (uint32_t seed = 1; seed < 4000000000u; seed += 97654321u) {
    for (int amount : {-9, -8, -5, -1, 0, 1, 4, 9}) {
      Z31647PatternRandomizer a, b;
      a.seed(seed);
      b.seed(seed);
      a.setParameter(0, &amount);
      b.setParameter(0, &amount);
      seqParams pa = withSteps(6, {0, 5, 17, 33, 62}), pb = pa;
      const seqParams before = pa;
      a.randomizeSteps(6, &pa);
      b.randomizeSteps(6, &pb);
      ASSERT_EQ(std::memcmp(&pa, &pb, sizeof pa), 0) << seed << "/" << amount;
      for (int s = 0; s < kNumSteps; ++s) {
        ASSERT_LE(pa.trigger[6][s], 1);
        if (amount > 0) {
          ASSERT_GE(pa.trigger[6][s], before.trigger[6][s]);  // only adds
        } else if (amount < 0) {
          ASSERT_LE(pa.trigger[6][s], before.trigger[6][s]);  // only removes
        } else {
          ASSERT_EQ(pa.trigger[6][s], before.trigger[6][s]);
        }
      }
      for (int p = 0; p < kNumParts; ++p) {
        if (p == 6) continue;
        ASSERT_EQ(std::memcmp(pa.trigger[p], before.trigger[p], kNumSteps), 0);
      }
      int32_t va[13] = {127, 3, 0, 64, 5, 1, 126, 0, 127, 0, 0, 0, 0}, vb[13];
      std::memcpy(vb, va, sizeof va);
      a.randomizeSynthParameters(va);
      b.randomizeSynthParameters(vb);
      ASSERT_EQ(std::memcmp(va, vb, sizeof va), 0);
      static constexpr int32_t kMax[9] = {127, 3, 127, 127, 5, 127, 127, 127, 127};
      for (int i = 0; i < 9; ++i) {
        ASSERT_GE(va[i], 0);
        ASSERT_LE(va[i], kMax[i]);
      }
    }
  }
}

}  // namespace
