#include "engine/synth/master_stages.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace {

TEST(SoftClip, PinnedPoints) {
  struct Case { int32_t in; int16_t out; };
  const Case cases[] = {
      {0, 0},
      {1000, static_cast<int16_t>((1000 * 40575) >> 15)},
      {13848, static_cast<int16_t>((13848 * 40575) >> 15)},
      {-13848, static_cast<int16_t>((-13848 * 40575) >> 15)},
      {32767, 32765},
      // The shift floors, so the negative side lands one lower.
      {-32767, -32766},
      {-32768, -32766},   // clamped first
      {100000, 32765},
      {-100000, -32766},
  };
  for (const auto& c : cases) EXPECT_EQ(softClip(c.in), c.out) << c.in;
}

TEST(SoftClip, NeverMinus32768AndMonotonicToTwoSteps) {
  // The cubic's slope reaches zero right at full scale, so integer rounding
  // may wobble by a couple of steps there, never more.
  int16_t highest = softClip(-40000);
  for (int32_t x = -40000; x <= 40000; ++x) {
    const int16_t y = softClip(x);
    ASSERT_GE(y, -32767);
    ASSERT_GE(y, highest - 2) << x;
    if (y > highest) highest = y;
  }
}

TEST(MasterFader, GainTable) {
  EXPECT_EQ(MasterFader::gainFor(127), 52849);
  EXPECT_EQ(MasterFader::gainFor(100), 32767);
  EXPECT_EQ(MasterFader::gainFor(0), 0);
  EXPECT_EQ(MasterFader::gainFor(64), 13421);
}

TEST(MasterFader, RampsToNewGainAndStops) {
  MasterFader f;
  std::vector<int16_t> l(1024, 10000), r(1024, -10000);
  f.process(l.data(), r.data(), 1024);
  // Starts at its target 52,849: 10,000 × 52,849 >> 15 = 16,128.
  EXPECT_EQ(l[0], 16128);
  EXPECT_EQ(r[0], (-10000 * 52849) >> 15);
  EXPECT_FALSE(f.ramping());

  f.setValue(0);
  int frames = 0;
  while (true) {
    std::vector<int16_t> a(64, 10000), b(64, 10000);
    f.process(a.data(), b.data(), 64);
    frames += 64;
    if (!f.ramping()) break;
    ASSERT_LT(frames, 44100 * 10) << "fader never settles";
  }
  EXPECT_EQ(f.currentGain(), 0);
  std::vector<int16_t> a(8, 30000), b(8, -30000);
  f.process(a.data(), b.data(), 8);
  for (int i = 0; i < 8; ++i) {
    EXPECT_EQ(a[i], 0);
    EXPECT_EQ(b[i], 0);
  }
}

TEST(MasterFader, RampIsSmoothOnePole) {
  MasterFader f;
  std::vector<int16_t> warm(16, 0), warm2(16, 0);
  f.process(warm.data(), warm2.data(), 16);
  f.setValue(100);  // 52,849 -> 32,767
  std::vector<int16_t> l(2, 32767), r(2, 32767);
  f.process(l.data(), r.data(), 1);
  // One frame: acc += (32767 - 52849) * 256, gain = acc >> 15.
  const int64_t acc = int64_t{52849} * 32768 + int64_t{32767 - 52849} * 256;
  EXPECT_EQ(f.currentGain(), static_cast<int32_t>(acc >> 15));
  EXPECT_TRUE(f.ramping());
}

TEST(MasterFader, OutputSaturatesAt32767) {
  MasterFader f;
  std::vector<int16_t> l(4, 32767), r(4, -32767);
  f.process(l.data(), r.data(), 4);
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(l[i], 32767);
    EXPECT_EQ(r[i], -32767);
  }
}

TEST(MasterDrive, ZeroGainOnlyRoundTripsThroughFloat) {
  MasterDrive d;
  d.setValue(0);
  std::vector<int16_t> l = {0, 1, -1, 100, -100, 32767, -32767, 12345};
  std::vector<int16_t> r = l;
  const std::vector<int16_t> in = l;
  d.process(l.data(), r.data(), static_cast<int32_t>(l.size()));
  for (size_t i = 0; i < in.size(); ++i) {
    const int16_t expect = static_cast<int16_t>(static_cast<float>(in[i]) * 3.051851e-5f * 32767.0f);
    EXPECT_EQ(l[i], expect) << in[i];
    EXPECT_NEAR(l[i], in[i], 1);
  }
}

TEST(MasterDrive, FullDriveShapesAndStaysInRange) {
  MasterDrive d;
  d.setValue(127);
  // Let the one-pole reach its targets.
  std::vector<int16_t> l(44100, 0), r(44100, 0);
  d.process(l.data(), r.data(), 44100);
  EXPECT_NEAR(d.currentDrive(), 0.25f, 1e-3f);
  EXPECT_NEAR(d.currentAmount(), 1.0f, 1e-3f);
  std::vector<int16_t> a = {8000, -8000, 32767, -32767};
  std::vector<int16_t> b = a;
  d.process(a.data(), b.data(), 4);
  // Pre-gain 3, fully shaped: 0.755 (1 - e^(-6 · 3 · 0.244)) ≈ 0.7459 of full scale.
  EXPECT_NEAR(a[0], 0.755 * (1 - std::exp(-6.0 * 3.0 * 8000 / 32767.0)) * 32767, 40);
  EXPECT_NEAR(a[1], -0.765 * (1 - std::exp(-6.0 * 3.0 * 8000 / 32767.0)) * 32767, 40);
  EXPECT_LE(a[2], 32767);
  EXPECT_GE(a[3], -32767);
  EXPECT_GT(a[0], 8000);  // drive makes mid-level louder
}

}  // namespace
