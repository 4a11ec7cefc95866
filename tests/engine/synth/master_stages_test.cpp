#include "engine/synth/master_stages.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
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


// --- the stages against their frame-by-frame rules ---
// However a stage arranges its work (lanes, a memo of shaped samples, a
// block that skips the smoothing at rest), each sample must equal what the
// plain per-frame rule gives.

// The drive, one frame at a time.
struct DriveModel {
  float targetDrive = 0.0f;
  float targetAmount = 0.0f;
  float drive = 0.0f;
  float amount = 0.0f;
  void setValue(int32_t v) {
    targetDrive = static_cast<float>(v) * 0.001968504f;
    targetAmount = static_cast<float>(v) * 0.007874016f;
  }
  static float shape(float y) {
    return y >= 0.0f ? 0.755f * (1.0f - std::exp(-6.0f * y)) : 0.765f * (std::exp(6.0f * y) - 1.0f);
  }
  static int16_t sample(int16_t s, float g, float a) {
    const float x = static_cast<float>(s) * 3.051851e-5f;
    float out = shape(g * x) * a + x * (1.0f - a);
    out = std::clamp(out, -1.0f, 1.0f);
    return static_cast<int16_t>(out * 32767.0f);
  }
  void process(int16_t* l, int16_t* r, int32_t frames) {
    if (targetDrive == 0.0f && targetAmount == 0.0f && drive == 0.0f && amount == 0.0f) {
      for (int32_t i = 0; i < frames; ++i) {
        l[i] = static_cast<int16_t>(std::clamp(static_cast<float>(l[i]) * 3.051851e-5f, -1.0f, 1.0f) * 32767.0f);
        r[i] = static_cast<int16_t>(std::clamp(static_cast<float>(r[i]) * 3.051851e-5f, -1.0f, 1.0f) * 32767.0f);
      }
      return;
    }
    for (int32_t i = 0; i < frames; ++i) {
      drive += (targetDrive - drive) * MasterDrive::kSmoothing;
      amount += (targetAmount - amount) * MasterDrive::kSmoothing;
      l[i] = sample(l[i], 12.0f * drive, amount);
      r[i] = sample(r[i], 12.0f * drive, amount);
    }
  }
};

std::vector<int16_t> anySamples(size_t n, uint32_t seed) {
  std::mt19937 rng(seed);
  std::vector<int16_t> v(n);
  for (auto& x : v) x = static_cast<int16_t>(static_cast<int32_t>(rng() % 65536) - 32768);
  return v;
}

TEST(MasterDrive, EverySampleMatchesTheFrameByFrameRule) {
  // Each setting long enough for the smoothing to come to rest, then the
  // next: up, down, off (to rest at zero), and back to a setting met
  // before, whose shaped samples must not be mixed with another's.
  const int32_t settings[] = {127, 90, 127, 1, 0, 64, 127, 0, 127};
  MasterDrive d;
  DriveModel m;
  std::mt19937 rng(7);
  uint32_t seed = 1;
  for (const int32_t v : settings) {
    d.setValue(v);
    m.setValue(v);
    // Settling to exactly zero takes the longest: the value decays until
    // it underflows.
    for (int32_t done = 0; done < 60000;) {
      const int32_t n = static_cast<int32_t>(rng() % 1024) + 1;
      std::vector<int16_t> l = anySamples(static_cast<size_t>(n), seed++);
      std::vector<int16_t> r = anySamples(static_cast<size_t>(n), seed++);
      std::vector<int16_t> ml = l;
      std::vector<int16_t> mr = r;
      d.process(l.data(), r.data(), n);
      m.process(ml.data(), mr.data(), n);
      ASSERT_EQ(l, ml) << "setting " << v << " at frame " << done;
      ASSERT_EQ(r, mr) << "setting " << v << " at frame " << done;
      ASSERT_EQ(d.currentDrive(), m.drive);
      ASSERT_EQ(d.currentAmount(), m.amount);
      done += n;
    }
  }
  EXPECT_EQ(d.currentDrive(), m.drive);
}

TEST(MasterDrive, RestingDriveShapesEveryInputAsTheRuleDoes) {
  // Every 16-bit input, once the drive is at rest at each of a few
  // settings (off included), in slices of odd lengths.
  for (const int32_t v : {0, 37, 127}) {
    MasterDrive d;
    DriveModel m;
    d.setValue(v);
    m.setValue(v);
    std::vector<int16_t> rest(100000, 0);
    std::vector<int16_t> restCopy = rest;
    for (size_t at = 0; at < rest.size(); at += 1000) {
      d.process(rest.data() + at, restCopy.data() + at, 1000);
    }
    m.drive = d.currentDrive();
    m.amount = d.currentAmount();
    std::vector<int16_t> all(65536);
    for (int32_t x = 0; x < 65536; ++x) all[static_cast<size_t>(x)] = static_cast<int16_t>(x - 32768);
    std::vector<int16_t> other(all.rbegin(), all.rend());
    std::vector<int16_t> ml = all;
    std::vector<int16_t> mr = other;
    for (size_t at = 0; at < all.size(); at += 999) {
      const int32_t n = static_cast<int32_t>(std::min<size_t>(999, all.size() - at));
      d.process(all.data() + at, other.data() + at, n);
      m.process(ml.data() + at, mr.data() + at, n);
    }
    EXPECT_EQ(all, ml) << v;
    EXPECT_EQ(other, mr) << v;
  }
}

// The fader, one frame at a time.
struct FaderModel {
  int32_t gainInUse = MasterFader::gainFor(127);
  int32_t current = MasterFader::gainFor(127);
  int64_t accumulator = int64_t{MasterFader::gainFor(127)} * 32768;
  bool ramping = true;
  void process(int16_t* l, int16_t* r, int32_t frames) {
    for (int32_t i = 0; i < frames; ++i) {
      if (ramping) {
        accumulator += int64_t{gainInUse - current} * 256;
        current = static_cast<int32_t>(accumulator >> 15);
        if (current == gainInUse) ramping = false;
      }
      l[i] = saturate16((l[i] * current) >> 15);
      r[i] = saturate16((r[i] * current) >> 15);
    }
  }
};

TEST(MasterFader, EverySampleMatchesTheFrameByFrameRule) {
  MasterFader f;
  FaderModel m;
  std::mt19937 rng(11);
  uint32_t seed = 100;
  for (int call = 0; call < 3000; ++call) {
    if (rng() % 40 == 0) {
      const int32_t v = static_cast<int32_t>(rng() % 128);
      f.setValue(v);
      m.gainInUse = MasterFader::gainFor(v);
      m.ramping = true;
    }
    const int32_t n = static_cast<int32_t>(rng() % 300) + 1;
    std::vector<int16_t> l = anySamples(static_cast<size_t>(n), seed++);
    std::vector<int16_t> r = anySamples(static_cast<size_t>(n), seed++);
    std::vector<int16_t> ml = l;
    std::vector<int16_t> mr = r;
    f.process(l.data(), r.data(), n);
    m.process(ml.data(), mr.data(), n);
    ASSERT_EQ(l, ml) << "call " << call;
    ASSERT_EQ(r, mr) << "call " << call;
    ASSERT_EQ(f.currentGain(), m.current);
  }
}

TEST(MixSaturated, EveryPairOfSamplesAddsAndClamps) {
  // Every dry value against sends across the range, at every alignment of
  // the block's start and with lengths that leave a remainder.
  std::vector<int16_t> dry(65536 + 7);
  for (size_t i = 0; i < dry.size(); ++i) dry[i] = static_cast<int16_t>(static_cast<int32_t>(i % 65536) - 32768);
  for (const int32_t offset : {0, 1, 3, 7}) {
    for (const int32_t sendValue : {-32768, -32767, -20000, -1, 0, 1, 16384, 32767}) {
      const std::vector<int16_t> send(dry.size(), static_cast<int16_t>(sendValue));
      std::vector<int16_t> out(dry.size(), 0);
      const int32_t count = 65536 - offset;
      mixSaturated(out.data() + offset, dry.data() + offset, send.data() + offset, count);
      for (int32_t i = offset; i < offset + count; ++i) {
        const size_t k = static_cast<size_t>(i);
        ASSERT_EQ(out[k], saturate16(int32_t{dry[k]} + send[k])) << dry[k] << " + " << send[k];
      }
      EXPECT_EQ(out[static_cast<size_t>(offset + count)], 0) << "wrote past the block";
    }
  }
}


TEST(SoftClip, BlockMatchesThePerSampleCurveForEveryInput) {
  std::vector<int16_t> all(65536 + 5);
  for (size_t i = 0; i < all.size(); ++i) all[i] = static_cast<int16_t>(static_cast<int32_t>(i % 65536) - 32768);
  for (const size_t offset : {size_t{0}, size_t{1}, size_t{5}}) {
    std::vector<int16_t> v = all;
    const int32_t count = static_cast<int32_t>(65536 - offset);
    softClip(v.data() + offset, count);
    for (size_t i = offset; i < offset + static_cast<size_t>(count); ++i) {
      ASSERT_EQ(v[i], softClip(int32_t{all[i]})) << all[i];
    }
    EXPECT_EQ(v[offset + static_cast<size_t>(count)], all[offset + static_cast<size_t>(count)]) << "wrote past the block";
  }
}

}  // namespace
