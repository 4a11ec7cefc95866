#include "engine/voices/param_smoother.h"

#include <gtest/gtest.h>

namespace {

TEST(ParamSmoother, SetValueIsImmediateAndSettled) {
  ParamSmoother s;
  s.setValue(1234567);
  EXPECT_TRUE(s.settled());
  EXPECT_EQ(s.value(), 1234567);
  s.step();
  EXPECT_EQ(s.value(), 1234567);
}

TEST(ParamSmoother, EachOutputComesFromTheValueTwoStepsBefore) {
  ParamSmoother s;
  s.setValue(0);
  s.setTarget(8388607);
  // The three chains start from 0, so the first three outputs are equal:
  // (b × target) >> 23 = 65535.
  s.step();
  EXPECT_EQ(s.value(), 65535);
  s.step();
  EXPECT_EQ(s.value(), 65535);
  s.step();
  EXPECT_EQ(s.value(), 65535);
  // The fourth is computed from the first: ((a × 65535) >> 23) + 65535.
  s.step();
  EXPECT_EQ(s.value(), static_cast<int32_t>(((ParamSmoother::kA * 65535) >> 23) + 65535));
  EXPECT_FALSE(s.settled());
}

TEST(ParamSmoother, ReachesZeroExactlyAndSettles) {
  ParamSmoother s;
  s.setValue(8387080);
  s.setTarget(0);
  int steps = 0;
  while (!s.settled() && steps < 100000) {
    s.step();
    ++steps;
  }
  ASSERT_TRUE(s.settled());
  EXPECT_EQ(s.value(), 0);
  // Three interleaved chains of time constant 128 steps: about 3 × 128 ×
  // ln(8.4e6) steps to reach zero, with the floor shortening the tail.
  EXPECT_GT(steps, 1000);
  EXPECT_LT(steps, 6200);
}

TEST(ParamSmoother, ApproachesARisingTargetWithoutOvershoot) {
  ParamSmoother s;
  s.setValue(0);
  s.setTarget(4000000);
  int32_t previous = 0;
  int reachedNinetyPercentAt = -1;
  for (int i = 0; i < 3000; ++i) {
    s.step();
    EXPECT_LE(s.value(), 4000000);
    EXPECT_GE(s.value(), previous);
    previous = s.value();
    if (reachedNinetyPercentAt < 0 && s.value() >= 3600000) reachedNinetyPercentAt = i;
  }
  // ln(10) × 3 × 128 ≈ 884 steps.
  EXPECT_NEAR(reachedNinetyPercentAt, 884, 20);
}

// The recurrence written out plainly: three chains, each output from the
// one two steps before, settled once an output lands on the target.
struct ReferenceSmoother {
  int64_t y0, y1, y2, target;
  bool settled;
  void step() {
    if (settled) return;
    const int64_t y = ((ParamSmoother::kA * y0) >> 23) + ((ParamSmoother::kB * target) >> 23);
    y0 = y1;
    y1 = y2;
    y2 = y;
    if (y == target) {
      y0 = y1 = y2 = target;
      settled = true;
    }
  }
};

TEST(ParamSmoother, FollowsTheRecurrenceToRestWhetherItSettlesOrStopsShort) {
  int settledCount = 0;
  int restingCount = 0;
  for (const int32_t from : {0, 66577, 4194303, 8388607, -8388608, 1234567}) {
    for (const int32_t to : {0, 1, 266261, 599146, 4194304, 8388607, -1, -8388608, 7777777}) {
      ParamSmoother s;
      s.setValue(from);
      s.setTarget(to);
      ReferenceSmoother r{from, from, from, to, false};
      for (int i = 0; i < 20000; ++i) {
        s.step();
        r.step();
        ASSERT_EQ(s.value(), r.y2) << from << "->" << to << " step " << i;
        ASSERT_EQ(s.settled(), r.settled) << from << "->" << to << " step " << i;
      }
      // Every glide comes to rest: on the target, or short of it where the
      // rounded-down steps stop moving.
      EXPECT_TRUE(s.holding()) << from << "->" << to;
      (s.settled() ? settledCount : restingCount)++;
      // A new target starts it moving again.
      s.setTarget(from);
      EXPECT_FALSE(s.holding());
    }
  }
  EXPECT_GT(settledCount, 0);
  EXPECT_GT(restingCount, 0);
}

}  // namespace

// A run of values taken ahead is what frame-by-frame value() and step()
// give, whatever the run's length and wherever in it the glide settles or
// comes to rest, and it leaves the smoother where the steps would.
TEST(ParamSmoother, ARunTakenAheadMatchesSingleSteps) {
  struct Case {
    int32_t from;
    int32_t to;
    int warmUp;  // single steps before the runs
  };
  const Case cases[] = {
      {0, 8388607, 0},       {8387080, 0, 0},     {0, 1, 0},          {4194303, 4194304, 0},
      {1234567, -8388608, 7}, {-8388608, 599146, 2}, {66577, 266261, 1}, {8388607, 7777777, 5},
      // Landing on the target in each of the three chains of a run.
      {8387080, 0, 1},        {8387080, 0, 2},     {-4000000, 0, 1},
      {100, 100, 0},  // settled from the start
  };
  for (const Case& c : cases) {
    for (const uint32_t length : {1u, 2u, 3u, 4u, 7u, 63u, 64u}) {
      ParamSmoother stepped;
      stepped.setValue(c.from);
      if (c.to != c.from) stepped.setTarget(c.to);
      for (int i = 0; i < c.warmUp; ++i) stepped.step();
      ParamSmoother ahead = stepped;
      // Long enough for every glide to settle or stop short.
      for (int frame = 0; frame < 24000; frame += static_cast<int>(length)) {
        int32_t values[64];
        ahead.run(values, length);
        for (uint32_t j = 0; j < length; ++j) {
          ASSERT_EQ(values[j], stepped.value()) << c.from << "->" << c.to << " run " << length << " frame " << frame + j;
          stepped.step();
        }
        ASSERT_EQ(ahead.value(), stepped.value()) << c.from << "->" << c.to << " run " << length;
        ASSERT_EQ(ahead.settled(), stepped.settled()) << c.from << "->" << c.to << " run " << length;
      }
      EXPECT_TRUE(ahead.holding()) << c.from << "->" << c.to << " run " << length;
    }
  }
}

TEST(ParamSmoother, SkipMovesAsManySteps) {
  ParamSmoother a;
  a.setValue(0);
  a.setTarget(4000000);
  ParamSmoother b = a;
  a.skip(500);
  for (int i = 0; i < 500; ++i) b.step();
  EXPECT_EQ(a.value(), b.value());
  EXPECT_FALSE(a.holding());
}

// An empty run moves nothing: a glide already on its target still settles
// at its next step instead of being taken for one at rest short of it.
TEST(ParamSmoother, AnEmptyRunLeavesTheGlideAsItWas) {
  ParamSmoother s;
  s.setValue(0);
  s.setTarget(0);
  int32_t unused[1] = {12345};
  s.run(unused, 0);
  EXPECT_EQ(unused[0], 12345);
  EXPECT_FALSE(s.holding());
  s.step();
  EXPECT_TRUE(s.settled());
}
