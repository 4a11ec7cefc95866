#include <gtest/gtest.h>

#include <cmath>

#include "engine/effects/bpm_sync_delay.h"
#include "engine/effects/short_delay.h"
#include "tests/engine/effects/effect_test_support.h"

using namespace fxtest;

namespace {

// First frame at or after `from` whose magnitude exceeds `threshold`.
size_t firstAbove(const std::vector<int16_t>& v, size_t from, int threshold) {
  for (size_t i = from; i < v.size(); ++i)
    if (std::abs(int32_t{v[i]}) > threshold) return i;
  return v.size();
}

// Lets the smoothing settle on silence.
template <typename E>
void settle(E& e, size_t frames = 40000) {
  run(e, Stereo(frames), 1024);
}

// The delay a "Time" value gives: (max(floor(32767 × (t/127)²), 5) × 16383) >> 15.
int shortDelaySamples(int time) {
  const int sq = std::max(static_cast<int>(std::floor(32767.0 * time * time / (127.0 * 127.0))), 5);
  return (sq * 16383) >> 15;
}

TEST(ShortDelay, EchoTimesFollowTheSquareLawOfTime) {
  for (int time : {0, 1, 20, 64, 100, 126, 127}) {
    ShortDelay d;
    d.setParameter(1, time);
    d.setParameter(2, 127);
    settle(d);
    const size_t at = 100;
    const auto out = run(d, Stereo(impulse(40000, at, 16000), silence(40000)));
    const size_t expected = static_cast<size_t>(shortDelaySamples(time));
    // The impulse repeats in the other channel with inverted polarity, then
    // back in its own channel, upright.
    const size_t first = firstAbove(out.right, 0, 200);
    ASSERT_EQ(first, at + expected) << "Time " << time;
    EXPECT_LT(out.right[first], 0) << "Time " << time;
    const size_t second = firstAbove(out.left, at + 1, 200);
    EXPECT_EQ(second, at + 2 * expected) << "Time " << time;
    EXPECT_GT(out.left[second], 0) << "Time " << time;
  }
  EXPECT_EQ(shortDelaySamples(0), 2);
  EXPECT_EQ(shortDelaySamples(127), 16382);
}

TEST(ShortDelay, DepthZeroPassesTheInputScaledBy32767Over32768) {
  ShortDelay d;
  d.setParameter(1, 90);
  d.setParameter(2, 0);
  settle(d);
  const Stereo in(noise(20000, 30000, 1), noise(20000, 30000, 2));
  const auto out = run(d, in, 100);
  for (size_t i = 0; i < in.size(); ++i) {
    ASSERT_EQ(out.left[i], (32767 * in.left[i]) >> 15) << i;
    ASSERT_EQ(out.right[i], (32767 * in.right[i]) >> 15) << i;
  }
}

TEST(ShortDelay, FeedbackRepeatsDieAwayAndDryShrinksByHalfTheFeedback) {
  ShortDelay d;
  d.setParameter(1, 30);
  d.setParameter(2, 127);
  settle(d);
  const auto out = run(d, Stereo(impulse(200000, 10, 20000), silence(200000)));
  const int n = shortDelaySamples(30);
  // Feedback = CV(127) × FB(30) = 30720/32768; dry = 1 - half of it.
  const double g = 30720.0 / 32768.0;
  EXPECT_NEAR(out.left[10], 20000 * (1.0 - g / 2), 2.0);
  // (The settled delay carries a fraction of a sample, under 1/300.)
  EXPECT_NEAR(-out.right[10 + n], 20000 * (1.0 - g / 2) * g, 0.005 * 10000);
  double last = 1e9;
  for (int k = 1; k < 40; k += 2) {
    const double echo = std::abs(out.right[10 + static_cast<size_t>(k * n)]);
    EXPECT_LT(echo, last) << k;
    last = echo;
  }
  EXPECT_LE(peakAbs(out.left, 190000), 1);
  EXPECT_LE(peakAbs(out.right, 190000), 1);
}

struct BpmCase {
  uint32_t bpm;
  int time;
  int expected;
};

class BpmSyncDelayTimes : public ::testing::TestWithParam<BpmCase> {};

TEST_P(BpmSyncDelayTimes, EchoLandsOneNoteLengthLater) {
  const BpmCase c = GetParam();
  BpmSyncDelay d;
  d.setTempo(c.bpm * 10);
  d.setParameter(1, c.time);
  d.setParameter(2, 127);
  run(d, Stereo(1), 1);  // take the targets
  d.reset();             // and start on them
  const size_t at = 50;
  const size_t n = static_cast<size_t>(c.expected) + 1000;
  const auto out = run(d, Stereo(impulse(n, at, 20000), silence(n)), 1024);
  const size_t first = firstAbove(out.right, 0, 100);
  EXPECT_EQ(first, at + static_cast<size_t>(c.expected));
  EXPECT_LT(out.right[first], 0);
  EXPECT_EQ(BpmSyncDelay::delayFor(c.time, c.bpm), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    NoteAndTempo, BpmSyncDelayTimes,
    ::testing::Values(BpmCase{120, 72, 2646000 / 120},    // "1/4" at 120: 22050
                      BpmCase{120, 82, 2646000 / 120},    // last value of "1/4"
                      BpmCase{120, 127, 10584000 / 120},  // "1/1": 88200 fits the line
                      BpmCase{120, 0, 165375 / 120},      // "1/64"
                      BpmCase{90, 45, 1323000 / 90},      // "1/8"
                      BpmCase{50, 127, 5292000 / 50},     // "1/1" does not fit: "1/2"
                      BpmCase{50, 110, 5292000 / 50},     // "3/4" does not fit either
                      BpmCase{61, 127, 7938000 / 61},     // "3/4" is the longest that fits
                      BpmCase{60, 127, 5292000 / 60},     // 7938000 ≥ 131072 × 60
                      BpmCase{200, 100, 3969000 / 200}));  // "3/8"

TEST(BpmSyncDelay, LongestNoteFollowsTheLineLength) {
  for (uint32_t bpm = 8; bpm <= 600; ++bpm) {
    const int32_t longest = BpmSyncDelay::longestNoteFor(bpm);
    const int32_t constants[] = {165375, 330750, 441000, 661500, 882000, 1323000, 1764000,
                                 1984500, 2646000, 3528000, 3969000, 5292000, 7938000, 10584000};
    EXPECT_LT(constants[longest], 131072LL * bpm) << bpm;
    if (longest < 13) {
      EXPECT_GE(constants[longest + 1], 131072LL * bpm) << bpm;
    }
    EXPECT_LT(BpmSyncDelay::delayFor(127, bpm), 131072) << bpm;
  }
  EXPECT_STREQ(BpmSyncDelay::timeText(72), "1/4");
  EXPECT_STREQ(BpmSyncDelay::timeText(127), "1/1");
}

TEST(BpmSyncDelay, DepthZeroPassesTheInputScaled) {
  BpmSyncDelay d;
  d.setParameter(1, 72);
  d.setParameter(2, 0);
  const Stereo in(noise(30000, 30000, 3), noise(30000, 30000, 4));
  const auto out = run(d, in, 333);
  for (size_t i = 0; i < in.size(); ++i) {
    // (((32767 × x) >> 7) >> 8): the input scaled by 32767/32768.
    ASSERT_EQ(out.left[i], ((32767 * in.left[i]) >> 7) >> 8) << i;
    ASSERT_EQ(out.right[i], ((32767 * in.right[i]) >> 7) >> 8) << i;
  }
}

// Zero crossings per second of v[from, to).
double crossingRate(const std::vector<int16_t>& v, size_t from, size_t to) {
  int crossings = 0;
  for (size_t i = from + 1; i < to; ++i)
    if ((v[i - 1] < 0) != (v[i] < 0)) ++crossings;
  return crossings / 2.0 / (static_cast<double>(to - from) / kRate);
}

TEST(BpmSyncDelay, TempoChangeGlidesTheDelayTime) {
  BpmSyncDelay d;
  d.setTempo(1200);
  d.setParameter(1, 72);
  d.setParameter(2, 127);
  run(d, Stereo(1), 1);
  d.reset();
  // A 200 Hz tone on the left only; the right hears its echo alone.
  const size_t before = 25000;
  const auto tone = sine(before + 40000, 200.0, 8000.0);
  Stereo in(tone, silence(tone.size()));
  Stereo head(std::vector<int16_t>(in.left.begin(), in.left.begin() + before), silence(before));
  run(d, head, 1000);
  d.setTempo(1500);  // "1/4" becomes 17640 samples
  Stereo tail(std::vector<int16_t>(in.left.begin() + before, in.left.end()), silence(40000));
  const auto out = run(d, tail, 1000);
  // While the delay shortens the echo is read faster, so it sounds higher;
  // once it has settled, the tone is back at 200 Hz.
  EXPECT_GT(crossingRate(out.right, 0, 1500), 400.0);
  EXPECT_NEAR(crossingRate(out.right, 9000, 15000), 200.0, 10.0);
  // A jump would leave a hole: the echo never goes quiet in between.
  for (size_t i = 0; i + 220 < 15000; i += 220) EXPECT_GT(peakAbs(out.right, i, i + 220), 2000) << i;
}

TEST(BpmSyncDelay, GlideSettlesOnTheNewNoteLength) {
  BpmSyncDelay d;
  d.setTempo(1200);
  d.setParameter(1, 72);
  d.setParameter(2, 127);
  run(d, Stereo(1), 1);
  d.reset();
  run(d, Stereo(5000), 1000);
  d.setTempo(1500);  // "1/4" becomes 17640 samples
  run(d, Stereo(30000), 1000);
  const auto probe = run(d, Stereo(impulse(20000, 0, 20000), silence(20000)), 1000);
  // The glide comes from above and settles within one sample of the target.
  const size_t echo = firstAbove(probe.right, 0, 1000);
  EXPECT_GE(echo, 17640u);
  EXPECT_LE(echo, 17641u);
}

}  // namespace
