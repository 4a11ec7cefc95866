// The effects against plain per-frame models of their arithmetic: whatever
// way an effect arranges its loops (runs between line wraps, parameters
// smoothed ahead of the samples, lines cleared while the effect is idle),
// every sample must come out as the frame-by-frame rule gives it. The runs
// cross the line ends many times, in slices of every length, with edits,
// immediate smoothing and resets between them.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <ostream>
#include <random>
#include <vector>

#include "engine/effects/bpm_sync_delay.h"
#include "engine/effects/chorus_flanger.h"
#include "engine/effects/decimator.h"
#include "engine/effects/effect_math.h"
#include "engine/effects/grain_shifter.h"
#include "engine/effects/reverb.h"
#include "engine/effects/sarnek_filter.h"
#include "engine/effects/short_delay.h"
#include "engine/effects/talking_modulator.h"
#include "tests/engine/effects/effect_test_support.h"

using namespace fxtest;

namespace {

// The reverb, one frame at a time, as its header describes it.
class ReverbModel {
 public:
  static constexpr uint32_t kMask = Reverb::kLineLength - 1;

  ReverbModel() : lines_(5 * Reverb::kLineLength, 0) { reset(); }

  void setParameter(int32_t index, int32_t value) {
    if (index == 1) time_ = value & 127;
    if (index == 2) level_ = value & 127;
    if (index == 1 || index == 2) pending_ = true;
  }
  void setImmediate(bool on) { immediate_ = on; }

  void reset() {
    active_ = Reverb::targetsFor(time_, level_);
    pending_ = false;
    std::fill(lines_.begin(), lines_.end(), int16_t{0});
    levelState_ = int64_t{active_.level} << 15;
    levelNow_ = active_.level;
    inputGain_ = static_cast<int32_t>(levelState_ >> 18) + 4096;
    feedbackState_ = int64_t{active_.feedback} << 15;
    feedback_ = active_.feedback;
  }

  void process(int16_t* const* ch, int32_t frames) {
    int16_t* comb1 = lines_.data();
    int16_t* comb2 = comb1 + Reverb::kLineLength;
    int16_t* ap1 = comb2 + Reverb::kLineLength;
    int16_t* ap2 = ap1 + Reverb::kLineLength;
    int16_t* right = ap2 + Reverb::kLineLength;
    const int64_t c = immediate_ ? fx::kSmoothImmediate : fx::kSmoothNormal;
    for (int32_t i = 0; i < frames; ++i) {
      if (i % Effector::kPickupInterval == 0 && pending_) {
        active_ = Reverb::targetsFor(time_, level_);
        pending_ = false;
      }
      if (levelNow_ != active_.level) {
        levelState_ = fx::smooth(levelState_, active_.level, c);
        levelNow_ = static_cast<int32_t>(levelState_ >> 15);
        inputGain_ = static_cast<int32_t>(levelState_ >> 18) + 4096;
      }
      if (feedback_ != active_.feedback) {
        feedbackState_ = fx::smooth(feedbackState_, active_.feedback, c);
        feedback_ = static_cast<int32_t>(feedbackState_ >> 15);
      }
      const int32_t inL = ch[0][i];
      const int32_t inR = ch[1][i];
      const int32_t x = ((inL + inR) * inputGain_) >> 15;
      const int32_t fb1 = (twice(comb1[(write_ - Reverb::kComb1) & kMask]) * feedback_) >> 15;
      const int16_t y1 = fx::sat16(x + fb1);
      comb1[write_] = y1;
      const int32_t c2 = (comb2[(write_ - Reverb::kComb2) & kMask] * 32766) >> 15;
      const int32_t fb2 = (((c2 * -32766) >> 15) * feedback_) >> 15;
      const int16_t y2 = fx::sat16(x + fb2);
      comb2[write_] = y2;
      const int16_t s = fx::sat16(int32_t{y1} + y2);
      const int16_t o1 = allpass(ap1, Reverb::kAllpass1, s);
      const int16_t o2 = allpass(ap2, Reverb::kAllpass2, o1);
      const int32_t r = right[(write_ - Reverb::kRightDelay) & kMask];
      right[write_] = o2;
      ch[0][i] = fx::sat16(inL + ((((o2 * levelNow_) >> 15) * Reverb::kLeftWetScale) >> 15));
      ch[1][i] = fx::sat16(inR + ((levelNow_ * r) >> 15));
      write_ = (write_ + 1) & kMask;
    }
  }

 private:
  static int32_t twice(int32_t v) {
    v = (v * -32766) >> 15;
    return (v * -32766) >> 15;
  }
  int16_t allpass(int16_t* line, uint32_t taps, int32_t in) {
    const int32_t d = twice(line[(write_ - taps) & kMask]);
    const int16_t a = fx::sat16(in - ((d * Reverb::kAllpassGain) >> 15));
    line[write_] = a;
    return fx::sat16(d + ((a * Reverb::kAllpassGain) >> 15));
  }

  std::vector<int16_t> lines_;
  int32_t time_ = 0;
  int32_t level_ = 0;
  bool pending_ = false;
  bool immediate_ = false;
  Reverb::Targets active_{};
  int64_t levelState_ = 0;
  int32_t levelNow_ = 0;
  int32_t inputGain_ = 0;
  int64_t feedbackState_ = 0;
  int32_t feedback_ = 0;
  uint32_t write_ = 0;
};

// Full-scale noise with runs of silence and of the extreme values, so that
// every saturation in the loop is reached.
std::vector<int16_t> harshInput(size_t n, uint32_t seed) {
  std::mt19937 rng(seed);
  std::vector<int16_t> v(n);
  for (size_t i = 0; i < n; ++i) {
    const uint32_t kind = static_cast<uint32_t>(i / 3000) % 5;
    const int32_t r = static_cast<int32_t>(rng() % 65536) - 32768;
    switch (kind) {
      case 0: v[i] = static_cast<int16_t>(r); break;
      case 1: v[i] = 0; break;
      case 2: v[i] = (rng() & 1) ? 32767 : -32768; break;
      case 3: v[i] = static_cast<int16_t>(r / 64); break;
      default: v[i] = static_cast<int16_t>(r); break;
    }
  }
  return v;
}

struct Schedule {
  uint32_t seed;
  bool withResets;
};
void PrintTo(const Schedule& s, std::ostream* os) { *os << "seed " << s.seed << (s.withResets ? " with resets" : ""); }

class ReverbAgainstModel : public ::testing::TestWithParam<Schedule> {};

TEST_P(ReverbAgainstModel, EverySampleMatchesTheFrameByFrameRule) {
  const Schedule sch = GetParam();
  Reverb fast;
  ReverbModel model;
  std::mt19937 rng(sch.seed);
  constexpr size_t kFrames = 300000;
  Stereo in(harshInput(kFrames, sch.seed * 2 + 1), harshInput(kFrames, sch.seed * 2 + 2));
  Stereo a = in;
  Stereo b = in;
  size_t pos = 0;
  int call = 0;
  while (pos < kFrames) {
    // Slices of every size up to the bus length: single frames, sizes
    // just around the pick-up grid and the shortest delay, long ones.
    static constexpr int32_t kSizes[] = {1, 2, 63, 64, 65, 127, 128, 129, 500, 968, 969, 970, 1023, 1024};
    int32_t n = (rng() % 3 == 0) ? kSizes[rng() % std::size(kSizes)] : static_cast<int32_t>(rng() % 1024) + 1;
    n = static_cast<int32_t>(std::min<size_t>(static_cast<size_t>(n), kFrames - pos));
    if (rng() % 4 == 0) {
      const int32_t index = static_cast<int32_t>(rng() % 2) + 1;
      const int32_t value = static_cast<int32_t>(rng() % 128);
      fast.setParameter(index, value);
      model.setParameter(index, value);
    }
    if (rng() % 16 == 0) {
      const bool on = (rng() & 1) != 0;
      fast.setImmediate(on);
      model.setImmediate(on);
    }
    if (sch.withResets && rng() % 60 == 0) {
      fast.reset();
      model.reset();
    }
    int16_t* ca[2] = {a.left.data() + pos, a.right.data() + pos};
    int16_t* cb[2] = {b.left.data() + pos, b.right.data() + pos};
    fast.process(ca, n);
    model.process(cb, n);
    for (int32_t i = 0; i < n; ++i) {
      ASSERT_EQ(a.left[pos + static_cast<size_t>(i)], b.left[pos + static_cast<size_t>(i)])
          << "left, frame " << pos + static_cast<size_t>(i) << ", call " << call;
      ASSERT_EQ(a.right[pos + static_cast<size_t>(i)], b.right[pos + static_cast<size_t>(i)])
          << "right, frame " << pos + static_cast<size_t>(i) << ", call " << call;
    }
    pos += static_cast<size_t>(n);
    ++call;
  }
}

INSTANTIATE_TEST_SUITE_P(Schedules, ReverbAgainstModel,
                         ::testing::Values(Schedule{1, false}, Schedule{2, true}, Schedule{3, true},
                                           Schedule{4, false}));


TEST(MixWet, EveryDrySampleAgainstEffectSamplesAtEachGain) {
  // The wet/dry mix of the multi-effect at the gains it rests on (0 and
  // full) and between, every 16-bit dry value, blocks starting at every
  // alignment and ending with a remainder.
  std::vector<int16_t> dryAll(65536 + 5);
  for (size_t i = 0; i < dryAll.size(); ++i) dryAll[i] = static_cast<int16_t>(static_cast<int32_t>(i % 65536) - 32768);
  for (const int32_t wet : {0, 1, 16384, 32511, 32766, 32767}) {
    for (const int32_t e : {-32768, -32767, -5, 0, 7, 32767}) {
      for (const size_t offset : {size_t{0}, size_t{3}}) {
        std::vector<int16_t> dry = dryAll;
        const std::vector<int16_t> fxIn(dry.size(), static_cast<int16_t>(e));
        const size_t count = 65536 - offset;
        fx::mixWet(dry.data() + offset, fxIn.data() + offset, count, wet);
        for (size_t i = offset; i < offset + count; ++i) {
          const int64_t w = wet;
          const int16_t expect = fx::sat16(((w * fxIn[i]) >> 15) + (((32767 - w) * dryAll[i]) >> 15));
          ASSERT_EQ(dry[i], expect) << "wet " << wet << ", dry " << dryAll[i] << ", effect " << e;
        }
        EXPECT_EQ(dry[offset + count], dryAll[offset + count]) << "wrote past the block";
      }
    }
  }
}


// --- lines cleared ahead of a reset ---

std::unique_ptr<Effector> makeEffect(int type) {
  switch (type) {
    case 0: return std::make_unique<ShortDelay>();
    case 1: return std::make_unique<BpmSyncDelay>();
    case 2: return std::make_unique<GrainShifter>();
    case 3: return std::make_unique<Reverb>();
    case 4: return std::make_unique<ChorusFlanger>();
    case 5: return std::make_unique<SarnekFilter>(SarnekFilter::kLowPass);
    case 6: return std::make_unique<TalkingModulator>();
    default: return std::make_unique<Decimator>();
  }
}

struct ClearCase {
  int type;
  size_t runFrames;   // how long the effect ran before: short, or past a line wrap
  bool finishAhead;   // cleared ahead to the end, or only partly before the reset
};
void PrintTo(const ClearCase& c, std::ostream* os) {
  *os << "type " << c.type << " after " << c.runFrames << " frames" << (c.finishAhead ? "" : ", partly cleared");
}

class ClearAhead : public ::testing::TestWithParam<ClearCase> {};

TEST_P(ClearAhead, AResetEffectSoundsAsAFreshOneHowEverItsLinesWereCleared) {
  const ClearCase c = GetParam();
  std::unique_ptr<Effector> used = makeEffect(c.type);
  std::unique_ptr<Effector> fresh = makeEffect(c.type);
  for (Effector* e : {used.get(), fresh.get()}) {
    // The longest delays, the most feedback: lines full of sound.
    e->setParameter(1, 127);
    e->setParameter(2, 127);
  }
  // A first run and reset leave the write position (which a reset keeps)
  // off the line's start.
  run(*used, Stereo(harshInput(333, 20), harshInput(333, 19)), 111);
  used->reset();
  run(*used, Stereo(harshInput(c.runFrames, 21), harshInput(c.runFrames, 22)), 1000);
  std::mt19937 rng(static_cast<uint32_t>(c.type * 1000 + c.runFrames));
  if (c.finishAhead) {
    // Budgets of every size, odd ones included, until nothing is left.
    while (used->clearAhead(static_cast<uint32_t>(rng() % 5000) + 1) > 0) {
    }
    EXPECT_EQ(used->clearAhead(1u << 30), 0u);
  } else {
    for (int k = 0; k < 7; ++k) used->clearAhead(static_cast<uint32_t>(rng() % 3000) + 1);
  }
  used->reset();
  fresh->reset();
  // A reset effect has nothing left to clear.
  EXPECT_EQ(used->clearAhead(1u << 30), 0u);
  const Stereo in(harshInput(100000, 23), harshInput(100000, 24));
  const Stereo a = run(*used, in, 256);
  const Stereo b = run(*fresh, in, 256);
  for (size_t i = 0; i < in.size(); ++i) {
    ASSERT_EQ(a.left[i], b.left[i]) << "frame " << i;
    ASSERT_EQ(a.right[i], b.right[i]) << "frame " << i;
  }
}

std::vector<ClearCase> clearCases() {
  std::vector<ClearCase> v;
  for (int type = 0; type < 8; ++type) {
    for (const size_t frames : {size_t{700}, size_t{150000}}) {
      v.push_back({type, frames, true});
      v.push_back({type, frames, false});
    }
  }
  return v;
}

INSTANTIATE_TEST_SUITE_P(EveryType, ClearAhead, ::testing::ValuesIn(clearCases()));

}  // namespace
