#include "engine/seq/step_clock.h"

#include <gtest/gtest.h>

namespace {

struct ClockCase {
  int32_t tempo;
  int32_t swing;
  float halfPair;
  float evenStep;
  float oddStep;
};

// Values follow from sr × 30 × ppqn ÷ (tempo × 0.1 × ppqn) in float; the
// inexact rows are the float results, not the exact quotients.
TEST(StepClock, StepLengthsFromTempoAndSwing) {
  const ClockCase cases[] = {
      {1200, 50, 5512.5f, 5512.5f, 5512.5f},
      {1200, 75, 5512.5f, 8268.75f, 2756.25f},
      {600, 50, 11025.0f, 11025.0f, 11025.0f},
      // 0.6 × 13230 in float is just under 7938.
      {1000, 60, 6615.0f, 7937.99951f, 5292.00049f},
      // 14700 × 0.6 in float is just under 8820.
      {900, 60, 7350.0f, 8819.99902f, 5880.00098f},
      // 13611.1111 exactly; float gives 13611.1104.
      {972, 50, 6805.55518f, 6805.55518f, 6805.55518f},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "tempo " << c.tempo << " swing " << c.swing);
    StepClock clock(480, 44100.0f);
    clock.update(c.tempo, c.swing, 4, 16);
    EXPECT_FLOAT_EQ(clock.halfPair(), c.halfPair);
    EXPECT_EQ(clock.evenStep(), c.evenStep);
    EXPECT_EQ(clock.oddStep(), c.oddStep);
    EXPECT_EQ(clock.evenStep() + clock.oddStep(), clock.halfPair() * 2.0f);
  }
}

TEST(StepClock, LayoutFollowsLengthAndLastStep) {
  StepClock clock(480, 44100.0f);
  clock.update(1200, 50, 2, 3);
  EXPECT_EQ(clock.length(), 2);
  EXPECT_EQ(clock.stepsPerBar(), 3);
  EXPECT_EQ(clock.totalSteps(), 6);
  EXPECT_EQ(clock.lengthInFrames(), 33075);
  clock.update(1200, 50, 4, 16);
  EXPECT_EQ(clock.totalSteps(), 64);
  EXPECT_EQ(clock.lengthInFrames(), 352800);
}

TEST(StepClock, LengthsChangeOnlyWithTempoOrSwing) {
  StepClock clock(480, 44100.0f);
  clock.update(1200, 50, 4, 16);
  EXPECT_EQ(clock.halfPair(), 5512.5f);
  clock.update(1200, 50, 1, 8);  // layout only
  EXPECT_EQ(clock.halfPair(), 5512.5f);
  EXPECT_EQ(clock.totalSteps(), 8);
  clock.update(600, 50, 1, 8);
  EXPECT_EQ(clock.halfPair(), 11025.0f);
  clock.update(600, 75, 1, 8);
  EXPECT_EQ(clock.evenStep(), 16537.5f);
}

}  // namespace
