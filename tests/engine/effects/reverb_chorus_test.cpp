#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <set>

#include "engine/effects/chorus_flanger.h"
#include "engine/effects/effect_math.h"
#include "engine/effects/effect_tables.h"
#include "engine/effects/reverb.h"
#include "tests/engine/effects/effect_test_support.h"

using namespace fxtest;

namespace {

template <typename E>
void settle(E& e, size_t frames = 20000) {
  run(e, Stereo(frames), 1024);
}

// --- Reverb ---

TEST(Reverb, LevelZeroPassesTheInputUnchanged) {
  Reverb r;
  r.setParameter(1, 127);
  r.setParameter(2, 0);
  const Stereo in(noise(30000, 32000, 5), noise(30000, 32000, 6));
  const auto out = run(r, in, 200);
  EXPECT_EQ(out.left, in.left);
  EXPECT_EQ(out.right, in.right);
}

// RMS of the tail in windows of 0.1 s after an impulse in both channels.
std::vector<double> tailWindows(int time, int level, size_t seconds) {
  Reverb r;
  r.setParameter(1, time);
  r.setParameter(2, level);
  settle(r);
  const size_t n = static_cast<size_t>(kRate) * seconds;
  const auto out = run(r, Stereo::mono(impulse(n, 0, 20000)), 512);
  std::vector<double> w;
  for (size_t from = 1; from + 4410 <= n; from += 4410) w.push_back(rms(out.left, from, from + 4410));
  return w;
}

TEST(Reverb, TailDecays) {
  const auto w = tailWindows(64, 127, 5);
  ASSERT_EQ(w.size(), 49u);
  // A real tail, not a click: still well audible after half a second.
  EXPECT_GT(w[0], 50.0);
  EXPECT_GT(w[5], 0.1 * w[0]);
  // Falling: each half second quieter than the one before it, until it has
  // died into the last few LSBs.
  for (size_t k = 0; k + 5 < 30; k += 5) EXPECT_LT(w[k + 5], 0.8 * w[k]) << k;
  EXPECT_LT(w[45], 0.01 * w[0]);
  EXPECT_LT(w[48], 2.0);
}

TEST(Reverb, LongerTimeRingsLonger) {
  const auto shortTail = tailWindows(0, 127, 2);
  const auto longTail = tailWindows(127, 127, 2);
  // Energy one second in against the first 0.1 s.
  const double shortRatio = shortTail[10] / shortTail[0];
  const double longRatio = longTail[10] / longTail[0];
  EXPECT_GT(longRatio, 5.0 * shortRatio);
  // Feedback 0.625 at Time 0: comb loops of 2669 and 2824 samples lose
  // about 25 dB per 0.1 s of passes, so one second in there is nothing.
  EXPECT_LT(shortRatio, 0.01);
}

TEST(Reverb, WetAddsToDryAndLevelScalesIt) {
  auto wetEnergy = [](int level) {
    Reverb r;
    r.setParameter(1, 64);
    r.setParameter(2, level);
    settle(r);
    const Stereo in(noise(44100, 8000, 7), noise(44100, 8000, 8));
    const auto out = run(r, in, 256);
    std::vector<int16_t> diff(in.size());
    for (size_t i = 0; i < in.size(); ++i) diff[i] = static_cast<int16_t>(out.right[i] - in.right[i]);
    return rms(diff, 4410);
  };
  const double half = wetEnergy(64);
  const double full = wetEnergy(127);
  EXPECT_GT(half, 10.0);
  // Square law: level 64 is about a quarter of full scale, and so (through
  // the input gain too) is the wet signal at least that much quieter.
  EXPECT_LT(half, 0.5 * full);
}

// --- Chorus / flanger ---

TEST(ChorusFlanger, DepthZeroPassesTheInputUnchanged) {
  ChorusFlanger c;
  c.setParameter(1, 64);
  c.setParameter(2, 0);
  const Stereo in(noise(30000, 32767, 9), noise(30000, 32767, 10));
  const auto out = run(c, in, 300);
  EXPECT_EQ(out.left, in.left);
  EXPECT_EQ(out.right, in.right);
}

TEST(ChorusFlanger, DepthUpTo32AddsWetWithoutFeedback) {
  for (int depth : {1, 16, 32}) {
    ChorusFlanger c;
    c.setParameter(1, 40);
    c.setParameter(2, depth);
    settle(c);
    const Stereo in(noise(20000, 20000, 11), noise(20000, 20000, 12));
    const auto out = run(c, in, 256);
    const int32_t wet = std::min(1024 * depth, 32767);
    for (size_t i = 0; i < in.size(); ++i) {
      ASSERT_EQ(out.left[i], fx::sat16(in.left[i] + ((in.left[i] * wet) >> 15))) << depth << " @" << i;
      ASSERT_EQ(out.right[i], fx::sat16(in.right[i] + ((in.right[i] * wet) >> 15))) << depth << " @" << i;
    }
  }
}

TEST(ChorusFlanger, FeedbackAbove32GrowsToItsLaw) {
  for (int depth : {33, 40, 64, 127}) {
    ChorusFlanger c;  // Speed 0 from reset: the LFO rests at the shortest delay
    c.setParameter(2, depth);
    settle(c);
    const auto out = run(c, Stereo::mono(impulse(1000, 100, 10000)), 256);
    const double fb = fx::kChorusFeedback[depth] / 32768.0;
    // The impulse itself comes out doubled (dry plus full wet); its echo, at
    // the minimum delay of 3 samples, only through the wet path: inverted
    // and scaled by the feedback.
    EXPECT_NEAR(out.left[100], 20000, 1) << depth;
    EXPECT_NEAR(out.left[103], -fb * 10000, 3) << depth;
    EXPECT_EQ(out.left[101], 0) << depth;
    EXPECT_EQ(out.left[102], 0) << depth;
  }
}

// Delay of the first echo after each impulse of a train.
std::vector<int> echoDelays(ChorusFlanger& c, size_t impulses, size_t spacing, int threshold = 1000) {
  std::vector<int> delays;
  const auto out = run(c, Stereo::mono([&] {
                          std::vector<int16_t> v(impulses * spacing, 0);
                          for (size_t k = 0; k < impulses; ++k) v[k * spacing] = 16000;
                          return v;
                        }()),
                       1024);
  for (size_t k = 0; k < impulses; ++k) {
    const size_t at = k * spacing;
    for (size_t i = at + 1; i < at + spacing; ++i)
      if (std::abs(int32_t{out.left[i]}) > threshold) {
        delays.push_back(static_cast<int>(i - at));
        break;
      }
  }
  return delays;
}

TEST(ChorusFlanger, ModulationSweepsTheDelayFrom3To336Samples) {
  ChorusFlanger c;
  c.setParameter(1, 16);  // a cycle of about 34 s
  c.setParameter(2, 64);
  settle(c, 2000);
  const auto delays = echoDelays(c, 740, 2048);  // a little over one cycle
  ASSERT_EQ(delays.size(), 740u);
  const auto [lo, hi] = std::minmax_element(delays.begin(), delays.end());
  EXPECT_GE(*lo, 3);
  EXPECT_LE(*lo, 4);
  // The integer smoothing of the triangle stops short of its top by up to
  // 256 (of 32767), so the longest delay heard is 334 of the 336 the
  // formula reaches at full scale.
  EXPECT_GE(*hi, 333);
  EXPECT_LE(*hi, 337);
  // A sweep, not two positions.
  EXPECT_GT(std::set<int>(delays.begin(), delays.end()).size(), 150u);
}

TEST(ChorusFlanger, SpeedZeroFreezesTheDelayWhereItWas) {
  ChorusFlanger c;
  c.setParameter(1, 48);
  c.setParameter(2, 40);  // weak feedback: echoes of echoes stay below the threshold
  settle(c, 2000);
  const auto moving = echoDelays(c, 40, 1024, 600);
  ASSERT_EQ(moving.size(), 40u);
  EXPECT_NE(moving.front(), moving.back());
  c.setParameter(1, 0);
  const auto frozen = echoDelays(c, 40, 1024, 600);
  ASSERT_EQ(frozen.size(), 40u);
  // The smoothed LFO value catches up with the stopped triangle within a
  // few hundred frames, then nothing moves.
  for (size_t k = 2; k < frozen.size(); ++k) EXPECT_EQ(frozen[k], frozen[2]) << k;
  // Where the sweep was when it stopped (it moves about 26 samples between
  // two probes at this speed).
  EXPECT_NEAR(frozen.front(), moving.back(), 40);
  EXPECT_GT(frozen.front(), 3);
}

TEST(ChorusFlanger, LfoRateFollowsTheSpeedTable) {
  ChorusFlanger c;
  c.setParameter(1, 64);
  c.setParameter(2, 64);
  run(c, Stereo(1), 1);
  const uint32_t start = c.phase();
  run(c, Stereo(44100), 1024);
  // One second of increments of the "Speed" 64 row (about 5 Hz).
  EXPECT_EQ(c.phase() - start, static_cast<uint32_t>(uint64_t{489708} * 44100));
}

}  // namespace
