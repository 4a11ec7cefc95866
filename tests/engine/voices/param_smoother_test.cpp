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
