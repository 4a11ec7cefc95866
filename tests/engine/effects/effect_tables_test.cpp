#include "engine/effects/effect_tables.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

using namespace fx;

namespace {

TEST(EffectLaws, FollowTheirFormulas) {
  for (int i = 0; i < 128; ++i) {
    const double t = i / 127.0;
    EXPECT_EQ(kSquareLaw[i], static_cast<int>(std::floor(32767.0 * t * t + 1e-9))) << i;
    EXPECT_EQ(kConvexLaw[i], static_cast<int>(std::floor(32767.0 * (1.0 - (1.0 - t) * (1.0 - t)) + 1e-9))) << i;
    EXPECT_EQ(kLinearLaw[i], static_cast<int>(std::floor(32767.0 * t + 1e-9))) << i;
    EXPECT_EQ(kRateLaw[i], static_cast<int>(std::lround(65535.0 * t * t))) << i;
  }
  EXPECT_EQ(kSquareLaw[127], 32767);
  EXPECT_EQ(kConvexLaw[127], 32767);
}

TEST(EffectLaws, FeedbackShorteningKeepsItsFourLowEntries) {
  for (int i = 0; i < 64; ++i) EXPECT_EQ(kFeedbackLaw[i], 30720) << i;
  for (int i = 64; i < 128; ++i) {
    const double x = (i - 63) / 64.0;
    int expected = static_cast<int>(std::floor(30720.0 - 4608.0 * x * x + 1e-9));
    if (i == 71 || i == 75 || i == 91 || i == 95) --expected;
    EXPECT_EQ(kFeedbackLaw[i], expected) << i;
  }
  EXPECT_EQ(kFeedbackLaw[71], 30647);
  EXPECT_EQ(kFeedbackLaw[75], 30557);
  EXPECT_EQ(kFeedbackLaw[91], 29837);
  EXPECT_EQ(kFeedbackLaw[95], 29567);
  EXPECT_EQ(kFeedbackLaw[127], 26112);
}

TEST(EffectLaws, ChorusFeedbackAndWet) {
  for (int i = 0; i <= 32; ++i) EXPECT_EQ(kChorusFeedback[i], 0);
  EXPECT_EQ(kChorusFeedback[33], 341);
  EXPECT_EQ(kChorusFeedback[127], 32440);
  EXPECT_EQ(kChorusWet[0], 0);
  EXPECT_EQ(kChorusWet[1], 1024);
  EXPECT_EQ(kChorusWet[31], 31744);
  for (int i = 32; i < 128; ++i) EXPECT_EQ(kChorusWet[i], 32767);
}

TEST(NoteValues, TimeBucketsAndTexts) {
  struct Row {
    int lo, hi;
    const char* text;
  };
  const Row rows[] = {{0, 8, "1/64"},   {9, 17, "1/32"},  {18, 26, "1/24"},  {27, 35, "1/16"}, {36, 44, "1/12"},
                      {45, 53, "1/8"},  {54, 62, "1/6"},  {63, 71, "3/16"},  {72, 82, "1/4"},  {83, 91, "1/3"},
                      {92, 100, "3/8"}, {101, 109, "1/2"}, {110, 118, "3/4"}, {119, 127, "1/1"}};
  int note = 0;
  for (const Row& r : rows) {
    for (int t = r.lo; t <= r.hi; ++t) {
      EXPECT_EQ(noteIndexForTime(t), note) << t;
      EXPECT_STREQ(kNoteText[noteIndexForTime(t)], r.text) << t;
    }
    ++note;
  }
  // Each constant is its fraction of a 4-beat bar of 44,100 × 60 samples.
  const double fractions[] = {1 / 64.0, 1 / 32.0, 1 / 24.0, 1 / 16.0, 1 / 12.0, 1 / 8.0, 1 / 6.0,
                              3 / 16.0, 1 / 4.0,  1 / 3.0,  3 / 8.0,  1 / 2.0,  3 / 4.0, 1.0};
  for (int i = 0; i < kNumNotes; ++i) EXPECT_DOUBLE_EQ(kNoteConstant[i], 10584000.0 * fractions[i]) << i;
}

TEST(ChorusSpeed, FixedRowsAndEverSteeperRise) {
  const std::pair<int, uint32_t> rows[] = {{0, 0},         {1, 1},          {8, 295},       {16, 2888},
                                           {32, 35278},    {48, 162550},    {64, 489708},   {80, 1456568},
                                           {96, 3731884},  {112, 13993406}, {127, 33554432}};
  for (auto [i, v] : rows) EXPECT_EQ(kChorusSpeed[i], v) << i;
  for (int i = 1; i < 127; ++i) {
    EXPECT_LT(kChorusSpeed[i], kChorusSpeed[i + 1]) << i;
    EXPECT_LE(kChorusSpeed[i] - kChorusSpeed[i - 1], kChorusSpeed[i + 1] - kChorusSpeed[i]) << i;
  }
  // The rates the rows stand for at 44,100 Hz.
  auto hz = [](int i) { return kChorusSpeed[i] * 44100.0 / 4294967296.0; };
  EXPECT_NEAR(hz(32), 0.36, 0.01);
  EXPECT_NEAR(hz(64), 5.0, 0.05);
  EXPECT_NEAR(hz(96), 38.0, 0.5);
  EXPECT_NEAR(hz(127), 345.0, 1.0);
}

TEST(GrainSpeed, CycleAndGrainColumns) {
  struct Row {
    int lo, hi, cycle, grain;
  };
  const Row rows[] = {{0, 9, 192, 384},    {10, 19, 72, 384},  {20, 29, 96, 192},  {30, 39, 96, 144},
                      {40, 49, 48, 96},    {50, 59, 48, 72},   {60, 69, 24, 48},   {70, 79, 24, 36},
                      {80, 89, 36, 30},    {90, 99, 24, 24},   {100, 104, 12, 24}, {105, 109, 12, 16},
                      {110, 119, 12, 12},  {120, 121, 12, 8},  {122, 123, 12, 6},  {124, 125, 12, 4},
                      {126, 127, 12, 3}};
  for (const Row& r : rows)
    for (int s = r.lo; s <= r.hi; ++s) {
      EXPECT_EQ(grainSpeedFor(s).cycle, r.cycle) << s;
      EXPECT_EQ(grainSpeedFor(s).grain, r.grain) << s;
    }
  for (int t = 0; t < 10; ++t) EXPECT_NEAR(kTempoTenths128[t], t * 12.8, 0.5) << t;
}

TEST(DecimatorMasks, BitsKeptPerValue) {
  struct Row {
    int lo, hi, bits;
  };
  const Row rows[] = {{0, 3, 16},    {4, 10, 15},   {11, 17, 14},  {18, 24, 13},  {25, 31, 12},
                      {32, 39, 11},  {40, 48, 10},  {49, 56, 9},   {57, 66, 8},   {67, 76, 7},
                      {77, 86, 6},   {87, 98, 5},   {99, 111, 4},  {112, 127, 3}};
  for (const Row& r : rows)
    for (int b = r.lo; b <= r.hi; ++b) {
      EXPECT_EQ(bitsKeptFor(b), r.bits) << b;
      EXPECT_EQ(bitMaskFor(b), -(1 << (16 - r.bits))) << b;
    }
  EXPECT_EQ(bitMaskFor(0), -1);
  EXPECT_EQ(bitMaskFor(127), -8192);
}

TEST(FormantTables, FixedRowsAndShapes) {
  const std::pair<int, int> f1[] = {{0, 4558}, {32, 3227}, {64, 3227}, {95, 1966}, {127, 1926}};
  const std::pair<int, int> f2[] = {{0, 9185}, {31, 11108}, {63, 8285}, {95, 6508}, {127, 16384}};
  const std::pair<int, int> f3[] = {{0, 17128}, {32, 17128}, {63, 16887}, {95, 16639}, {127, 21100}};
  for (auto [i, v] : f1) EXPECT_EQ(kFormant1[i], v) << i;
  for (auto [i, v] : f2) EXPECT_EQ(kFormant2[i], v) << i;
  for (auto [i, v] : f3) EXPECT_EQ(kFormant3[i], v) << i;
  // F1 only falls; F2 rises to 31, falls to 95 and rises again; F3 holds up
  // to 32, sags, then rises.
  for (int i = 0; i < 127; ++i) EXPECT_GE(kFormant1[i], kFormant1[i + 1]) << i;
  for (int i = 0; i < 31; ++i) EXPECT_LE(kFormant2[i], kFormant2[i + 1]) << i;
  for (int i = 31; i < 95; ++i) EXPECT_GE(kFormant2[i], kFormant2[i + 1]) << i;
  for (int i = 95; i < 127; ++i) EXPECT_LE(kFormant2[i], kFormant2[i + 1]) << i;
  for (int i = 0; i <= 32; ++i) EXPECT_EQ(kFormant3[i], 17128) << i;
  for (int i = 32; i < 95; ++i) EXPECT_GE(kFormant3[i], kFormant3[i + 1]) << i;
  for (int i = 95; i < 127; ++i) EXPECT_LE(kFormant3[i], kFormant3[i + 1]) << i;
}

TEST(FilterTables, CutoffSemitonesThenBendsUnderFullScale) {
  const std::pair<int, int32_t> rows[] = {{0, 2123409},    {23, 8016909},    {55, 50899550},
                                          {87, 322003276}, {119, 1753878656}, {150, 2147391259}};
  for (auto [i, v] : rows) EXPECT_EQ(kFilterCutoff[i], v) << i;
  const double semitone = std::pow(2.0, 1.0 / 12.0);
  for (int i = 0; i < 56; ++i)
    EXPECT_NEAR(static_cast<double>(kFilterCutoff[i + 1]) / kFilterCutoff[i], semitone, 2e-5) << i;
  for (int i = 0; i < kNumCutoff - 1; ++i) {
    EXPECT_LT(kFilterCutoff[i], kFilterCutoff[i + 1]) << i;
    // Never steeper than a semitone.
    EXPECT_LE(static_cast<double>(kFilterCutoff[i + 1]) / kFilterCutoff[i], semitone + 2e-5) << i;
  }
  // Near the top the steps shrink towards 2³¹.
  for (int i = 125; i < kNumCutoff - 1; ++i)
    EXPECT_LT(kFilterCutoff[i + 1] - kFilterCutoff[i], kFilterCutoff[i] - kFilterCutoff[i - 1]) << i;
}

TEST(FilterTables, ResonanceRisesFastAndFlattens) {
  const std::pair<int, int32_t> rows[] = {{0, 0},          {1, 33682843},    {32, 945782298},
                                          {64, 1618906637}, {96, 2019373015}, {127, 2147314568}};
  for (auto [i, v] : rows) EXPECT_EQ(kFilterResonance[i], v) << i;
  for (int i = 0; i < 127; ++i) EXPECT_LT(kFilterResonance[i], kFilterResonance[i + 1]) << i;
  for (int i = 1; i < 127; ++i)
    EXPECT_LE(kFilterResonance[i + 1] - kFilterResonance[i], kFilterResonance[i] - kFilterResonance[i - 1]) << i;
}

}  // namespace
