#include "engine/synth/accent_levels.h"

#include <gtest/gtest.h>

namespace {

TEST(AccentCurve, RunsAndEnds) {
  EXPECT_EQ(accentCurve[0], 100);
  EXPECT_EQ(accentCurve[58], 119);
  struct Run { int from, count, value; };
  const Run runs[] = {{59, 7, 120}, {66, 7, 121}, {73, 7, 122}, {80, 8, 123},
                      {88, 9, 124}, {97, 9, 125}, {106, 10, 126}, {116, 12, 127}};
  for (const auto& run : runs)
    for (int i = run.from; i < run.from + run.count; ++i) EXPECT_EQ(accentCurve[i], run.value) << i;
  for (int i = 1; i < 128; ++i) EXPECT_GE(accentCurve[i], accentCurve[i - 1]) << i;
}

TEST(AccentLevels, Velocities) {
  EXPECT_EQ(AccentLevels::velocityFor(0, false), 99);
  EXPECT_EQ(AccentLevels::velocityFor(127, false), 30);
  EXPECT_EQ(AccentLevels::velocityFor(64, false), (63 * 140) / 256 + 30);
  EXPECT_EQ(AccentLevels::velocityFor(0, true), 100);
  EXPECT_EQ(AccentLevels::velocityFor(127, true), 127);
  EXPECT_EQ(AccentLevels::velocityFor(128 + 5, true), accentCurve[5]);  // masked
}

TEST(AccentLevels, SetClampsAndMotionOnlyWithMotionType) {
  AccentLevels a;
  EXPECT_EQ(a.get(0), 127);
  EXPECT_EQ(a.get(1), 0);
  EXPECT_EQ(a.set(0, 200), 127);
  EXPECT_EQ(a.set(0, -3), 0);
  EXPECT_EQ(a.set(1, 9), 2);
  EXPECT_EQ(a.set(5, 42), 42);
  EXPECT_EQ(a.get(5), 0);

  a.set(0, 20);
  a.set(1, 0);
  a.setMotionValue(0, 100);  // motion type 0: ignored
  EXPECT_EQ(a.stepVelocity(true), accentCurve[20]);

  a.set(1, 1);
  a.setMotionValue(0, 100);
  EXPECT_EQ(a.effectiveLevel(), 100);
  EXPECT_EQ(a.stepVelocity(true), accentCurve[100]);
  EXPECT_EQ(a.liveVelocity(true), accentCurve[20]);  // live uses the knob level
  a.setMotionValue(1, 50);                          // only index 0 moves
  EXPECT_EQ(a.get(1), 1);
  a.restoreMotionValue(0);
  EXPECT_EQ(a.effectiveLevel(), 20);
  a.setMotionValue(0, 300);
  EXPECT_EQ(a.effectiveLevel(), 127);
  a.reset();
  EXPECT_EQ(a.effectiveLevel(), 20);
}

}  // namespace
