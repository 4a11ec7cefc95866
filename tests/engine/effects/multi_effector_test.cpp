#include "engine/effects/multi_effector.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "engine/effects/effect_math.h"

#include "tests/engine/effects/effect_test_support.h"

using namespace fxtest;

namespace {

// An effect that writes a fixed value and records how the unit drives it.
class FakeEffect : public Effector {
 public:
  explicit FakeEffect(int16_t value) : value_(value) {}
  void process(int16_t* const* ch, int32_t frames) override {
    ++calls;
    this->frames += frames;
    if (frames > 0) firstInput = ch[0][0];
    for (int32_t i = 0; i < frames; ++i) ch[0][i] = ch[1][i] = value_;
  }
  int32_t setParameter(int32_t index, int32_t value) override {
    if (index < 1 || index > 2) return 0;
    edits[index] = value & 127;
    ++parameterCalls;
    return value & 127;
  }
  void setTempo(uint32_t t) override { tempo = t; }
  void patternTop() override { ++tops; }
  void reset() override {
    ++resets;
    dirty = 0;
  }
  uint32_t clearAhead(uint32_t budget) override {
    ++clearCalls;
    const uint32_t n = std::min(budget, dirty);
    dirty -= n;
    cleared += n;
    return n;
  }
  void setImmediate(bool on) override {
    Effector::setImmediate(on);
    immediateLog.push_back(on);
  }

  int calls = 0;
  int64_t frames = 0;
  int16_t firstInput = 0;
  int edits[3] = {-1, -1, -1};
  int parameterCalls = 0;
  uint32_t tempo = 0;
  int tops = 0;
  int resets = 0;
  std::vector<bool> immediateLog;
  uint32_t dirty = 0;  // line samples a clear ahead may still zero
  uint32_t cleared = 0;
  int clearCalls = 0;

 private:
  int16_t value_;
};

// A unit over eight fakes; fake k writes 1000 × (k + 1) (type 3 writes a
// negative value to tell the two crossfade partners apart).
struct Rig {
  Rig() {
    Z5518MultiEffector::Slots slots;
    for (int k = 0; k < 8; ++k) {
      auto e = std::make_unique<FakeEffect>(static_cast<int16_t>(k == 3 ? -10000 : 1000 * (k + 1) + 14000 * (k == 0)));
      fakes[k] = e.get();
      slots[k] = std::move(e);
    }
    unit = std::make_unique<Z5518MultiEffector>(std::move(slots));
  }
  Stereo process(Stereo in, size_t slice) { return run(*unit, std::move(in), slice); }
  void settle() { process(Stereo(64), 64); }
  std::unique_ptr<Z5518MultiEffector> unit;
  FakeEffect* fakes[8];
};

// The mix of step 5 at frame i of a crossfade from `out` to `in`.
int16_t crossfadeMix(int i, int32_t out, int32_t in) {
  const int32_t g = std::max(32767 - 743 * i, 0);
  const int64_t g2 = (int64_t{g} * g) >> 15;
  return fx::sat16((((32767 - g2) * in) >> 15) + ((g2 * out) >> 15));
}

TEST(MultiEffector, ConstructionStateAndFirstSwitch) {
  Rig r;
  Z5518MultiEffector& u = *r.unit;
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(u.knobParameter(i), i == 3 ? 1 : 0) << i;
    EXPECT_EQ(u.effectiveParameter(i), i == 3 ? 1 : 0) << i;
  }
  EXPECT_EQ(u.currentType(), 0);
  EXPECT_EQ(u.tempo(), 1200u);
  EXPECT_TRUE(u.typeRequestPending());
  EXPECT_EQ(r.fakes[0]->edits[1], 0);
  EXPECT_EQ(r.fakes[0]->edits[2], 0);
  EXPECT_EQ(u.wetGain(), 0);

  r.process(Stereo(50), 50);
  // The pending switch to type 0 resets it and gives it the set, the tempo
  // and immediate smoothing; fading it into itself, it runs once.
  FakeEffect& e = *r.fakes[0];
  EXPECT_EQ(e.resets, 1);
  EXPECT_EQ(e.tempo, 1200u);
  ASSERT_FALSE(e.immediateLog.empty());
  EXPECT_TRUE(e.immediateLog.front());
  EXPECT_EQ(e.calls, 1);
  EXPECT_EQ(e.frames, 50);
  EXPECT_FALSE(u.crossfadeActive());
  // 50 frames ≥ 44: the immediate window has ended.
  EXPECT_FALSE(e.immediateLog.back());
  EXPECT_EQ(u.wetGain(), 32767);
  for (int k = 1; k < 8; ++k) EXPECT_EQ(r.fakes[k]->calls, 0) << k;
}

class Crossfade : public ::testing::TestWithParam<size_t> {};

TEST_P(Crossfade, LastsExactly45Frames) {
  const size_t slice = GetParam();
  Rig r;
  r.settle();
  ASSERT_EQ(r.unit->wetGain(), 32767);
  r.unit->setEffectParameter(0, 3);
  const auto out = r.process(Stereo(150), slice);
  for (size_t i = 0; i < out.size(); ++i) {
    // Dry input is 0 and the wet gain full: out = (32767 × mix) >> 15.
    const int16_t mix = crossfadeMix(static_cast<int>(i), 15000, -10000);
    ASSERT_EQ(out.left[i], (32767 * mix) >> 15) << i;
    ASSERT_EQ(out.right[i], (32767 * mix) >> 15) << i;
  }
  // The outgoing weight is the square of the gain: through frame 43 it is
  // heard, at frame 44 the gain (75) still runs but its square is 0.
  EXPECT_NE(crossfadeMix(43, 15000, -10000), -10000);
  EXPECT_EQ(crossfadeMix(44, 15000, -10000), -10000);
  EXPECT_FALSE(r.unit->crossfadeActive());
  // Both effects ran over every slice up to the one in which the gain
  // reached 0; the outgoing one never again.
  const size_t fadeSlices = 44 / slice + 1;  // frame 44 is the last with gain left
  EXPECT_EQ(r.fakes[0]->calls, 1 + static_cast<int>(fadeSlices));
  EXPECT_EQ(r.fakes[3]->calls, static_cast<int>((150 + slice - 1) / slice));
  EXPECT_EQ(r.fakes[3]->resets, 1);
}

TEST(MultiEffector, CrossfadeGainRunsFor45Frames) {
  Rig r;
  r.settle();
  r.unit->setEffectParameter(0, 3);
  std::vector<int32_t> gains;
  std::vector<bool> active;
  for (int i = 0; i < 50; ++i) {
    r.process(Stereo(1), 1);
    gains.push_back(r.unit->crossfadeGain());
    active.push_back(r.unit->crossfadeActive());
  }
  // After frame k the gain is 32767 - 743 (k + 1): above 0 for 44 frames,
  // 0 after the 45th, and the crossfade is over.
  for (int k = 0; k < 44; ++k) {
    EXPECT_EQ(gains[k], 32767 - 743 * (k + 1)) << k;
    EXPECT_TRUE(active[k]) << k;
  }
  EXPECT_EQ(gains[44], 0);
  for (int k = 44; k < 50; ++k) EXPECT_FALSE(active[k]) << k;
  EXPECT_EQ(r.fakes[0]->calls, 1 + 45);
}

INSTANTIATE_TEST_SUITE_P(SliceLengths, Crossfade, ::testing::Values(150, 64, 10, 1, 45, 46));

TEST(MultiEffector, RequestForTheRequestedTypeDoesNothing) {
  Rig r;
  r.settle();
  r.unit->setEffectParameter(0, 0);
  EXPECT_FALSE(r.unit->typeRequestPending());
  r.process(Stereo(64), 64);
  EXPECT_FALSE(r.unit->crossfadeActive());
  EXPECT_EQ(r.fakes[0]->resets, 1);
}

TEST(MultiEffector, SwitchingAwayAndBackBeforeTheSliceRunsTheEffectOnce) {
  Rig r;
  r.settle();
  r.unit->setEffectParameter(0, 5);
  r.unit->setEffectParameter(0, 0);
  EXPECT_TRUE(r.unit->typeRequestPending());
  const int before = r.fakes[0]->calls;
  r.process(Stereo(64), 64);
  EXPECT_EQ(r.fakes[0]->calls, before + 1);
  EXPECT_EQ(r.fakes[5]->calls, 0);
  EXPECT_FALSE(r.unit->crossfadeActive());
}

TEST(MultiEffector, ReselectingTheIncomingEffectKeepsTheCrossfadeGoing) {
  Rig r;
  r.settle();
  r.unit->setEffectParameter(0, 3);
  r.process(Stereo(20), 20);
  // Away and back to type 3 before the next slice: the fade from type 0
  // goes on where it was instead of restarting or stopping.
  r.unit->setEffectParameter(0, 5);
  r.unit->setEffectParameter(0, 3);
  const auto rest = r.process(Stereo(40), 40);
  for (size_t i = 0; i < 40; ++i) {
    const int16_t mix = crossfadeMix(static_cast<int>(20 + i), 15000, -10000);
    ASSERT_EQ(rest.left[i], (32767 * mix) >> 15) << i;
  }
  EXPECT_EQ(r.fakes[5]->calls, 0);
  EXPECT_FALSE(r.unit->crossfadeActive());
}

TEST(MultiEffector, OversizedSlicePassesUntouched) {
  Rig r;
  r.settle();
  r.unit->setEffectParameter(0, 2);
  const Stereo in(noise(1025, 20000, 31), noise(1025, 20000, 32));
  Stereo buf = in;
  int16_t* ch[2] = {buf.left.data(), buf.right.data()};
  r.unit->process(ch, 1025);
  EXPECT_EQ(buf.left, in.left);
  EXPECT_EQ(buf.right, in.right);
  EXPECT_TRUE(r.unit->typeRequestPending());
  EXPECT_EQ(r.fakes[2]->calls, 0);
  // 1024 is a whole slice.
  r.unit->process(ch, 1024);
  EXPECT_EQ(r.fakes[2]->calls, 1);
}

TEST(MultiEffector, EffectsHearTheInputAndWetMixesByTheGain) {
  Rig r;
  r.settle();
  const Stereo in(std::vector<int16_t>(64, 1234), std::vector<int16_t>(64, -777));
  const auto out = r.process(in, 64);
  EXPECT_EQ(r.fakes[0]->firstInput, 1234);
  for (size_t i = 0; i < 64; ++i) EXPECT_EQ(out.left[i], (32767 * 15000) >> 15);
}

TEST(MultiEffector, KnobOnOffZeroLeavesTheEffectOn) {
  Rig r;
  r.settle();
  EXPECT_EQ(r.unit->setEffectParameter(3, 0), 1);
  EXPECT_EQ(r.unit->knobParameter(3), 1);
  EXPECT_EQ(r.unit->effectiveParameter(3), 1);
  r.process(Stereo(64), 64);
  EXPECT_TRUE(r.unit->isOn());
  EXPECT_EQ(r.unit->wetGain(), 32767);
}

TEST(MultiEffector, MotionOffRampsToDryUntilReleased) {
  Rig r;
  r.settle();
  r.unit->setMotionValue(3, 0);
  EXPECT_EQ(r.unit->knobParameter(3), 1);
  EXPECT_EQ(r.unit->effectiveParameter(3), 0);
  const Stereo in(noise(64, 30000, 33), noise(64, 30000, 34));
  std::vector<int32_t> gains;
  Stereo buf = in;
  for (size_t i = 0; i < 64; ++i) {
    int16_t* ch[2] = {buf.left.data() + i, buf.right.data() + i};
    r.unit->process(ch, 1);
    gains.push_back(r.unit->wetGain());
  }
  EXPECT_FALSE(r.unit->isOn());
  // 32511/32768 of the way per frame: about 256, 2, 1, 0.
  EXPECT_GE(gains[0], 256);
  EXPECT_LE(gains[0], 258);
  EXPECT_LE(gains[1], 3);
  EXPECT_EQ(gains[3], 0);
  for (size_t i = 3; i < 64; ++i) {
    ASSERT_EQ(buf.left[i], (32767 * in.left[i]) >> 15) << i;
    ASSERT_EQ(buf.right[i], (32767 * in.right[i]) >> 15) << i;
  }
  r.unit->restoreMotionValue(3);
  r.process(Stereo(64), 64);
  EXPECT_TRUE(r.unit->isOn());
  EXPECT_EQ(r.unit->wetGain(), 32767);
}

TEST(MultiEffector, ResetEffectsSettlesTheWetGainAndResetsAll) {
  Rig r;
  r.settle();
  r.unit->setMotionValue(3, 0);
  r.process(Stereo(1), 1);  // off taken, ramp begun
  r.unit->resetEffects();
  EXPECT_EQ(r.unit->wetGain(), 0);
  const Stereo in(noise(64, 30000, 35), noise(64, 30000, 36));
  const auto out = r.process(in, 64);
  for (size_t i = 0; i < 64; ++i) ASSERT_EQ(out.left[i], (32767 * in.left[i]) >> 15) << i;
  for (int k = 0; k < 8; ++k) EXPECT_GE(r.fakes[k]->resets, 1) << k;
  EXPECT_EQ(r.fakes[4]->resets, 1);
}

TEST(MultiEffector, NewEffectSmoothsImmediatelyFor44Frames) {
  Rig r;
  r.settle();
  r.unit->setEffectParameter(0, 6);
  FakeEffect& e = *r.fakes[6];
  for (int s = 0; s < 4; ++s) r.process(Stereo(10), 10);
  ASSERT_EQ(e.immediateLog.size(), 1u);
  EXPECT_TRUE(e.isImmediate());
  r.process(Stereo(10), 10);  // 50 frames ≥ 44
  EXPECT_FALSE(e.isImmediate());
  EXPECT_EQ(e.immediateLog, (std::vector<bool>{true, false}));
}

TEST(MultiEffector, ParameterSetsFollowThePlayState) {
  Rig r;
  Z5518MultiEffector& u = *r.unit;
  r.settle();
  u.setEffectParameter(1, 40);
  u.setEffectParameter(2, 50);
  EXPECT_EQ(r.fakes[0]->edits[1], 40);
  // Motion while stopped moves only the effective set (and the effect).
  u.setMotionValue(1, 99);
  EXPECT_EQ(u.knobParameter(1), 40);
  EXPECT_EQ(u.effectiveParameter(1), 99);
  // Starting copies the knob set over the effective set.
  u.selectParameterSet(true);
  EXPECT_TRUE(u.playingSetSelected());
  EXPECT_EQ(u.effectiveParameter(1), 40);
  EXPECT_EQ(r.fakes[0]->edits[1], 40);
  // While playing, motion plays the effective set and a type switch takes
  // its edits from it.
  u.setMotionValue(2, 77);
  u.setMotionValue(0, 4);
  EXPECT_EQ(u.knobParameter(0), 0);
  r.process(Stereo(64), 64);
  EXPECT_EQ(u.currentType(), 4);
  EXPECT_EQ(r.fakes[4]->edits[1], 40);
  EXPECT_EQ(r.fakes[4]->edits[2], 77);
  // Stopping returns to the knob set: its type and edits come back.
  const int before = r.fakes[0]->resets;
  u.selectParameterSet(false);
  r.process(Stereo(64), 64);
  EXPECT_EQ(u.currentType(), 0);
  EXPECT_EQ(r.fakes[0]->resets, before + 1);
  EXPECT_EQ(r.fakes[0]->edits[2], 50);
  // Selecting the set already selected does nothing.
  const int calls = r.fakes[0]->parameterCalls;
  u.selectParameterSet(false);
  EXPECT_EQ(r.fakes[0]->parameterCalls, calls);
  // A pattern load puts the knob values back.
  u.setMotionValue(1, 5);
  u.resetMotionValues();
  EXPECT_EQ(u.effectiveParameter(1), 40);
}

TEST(MultiEffector, StoredValuesAndTheirLimits) {
  Rig r;
  Z5518MultiEffector& u = *r.unit;
  EXPECT_EQ(u.setEffectParameter(0, -5), 0);
  EXPECT_EQ(u.setEffectParameter(0, 9), 7);
  EXPECT_EQ(u.knobParameter(0), 7);
  EXPECT_EQ(u.effectiveParameter(0), 7);
  EXPECT_EQ(u.setEffectParameter(1, 200), 200 & 127);
  EXPECT_EQ(u.setEffectParameter(2, -1), 127);
  EXPECT_EQ(u.setEffectParameter(4, 9), 0);
  EXPECT_EQ(u.setEffectParameter(-1, 9), 0);
  u.setMotionValue(4, 1);  // ignored
  u.restoreMotionValue(7);
  EXPECT_EQ(u.knobParameter(4), 0);
  // A motion value 3 is odd: on.
  u.setMotionValue(3, 3);
  EXPECT_EQ(u.effectiveParameter(3), 1);
}

TEST(MultiEffector, TempoAndPatternTopGoToTheCurrentEffect) {
  Rig r;
  Z5518MultiEffector& u = *r.unit;
  r.settle();
  u.setEffectTempo(1455);
  EXPECT_EQ(r.fakes[0]->tempo, 1455u);
  u.patternTop();
  EXPECT_EQ(r.fakes[0]->tops, 1);
  u.setEffectParameter(0, 2);
  r.process(Stereo(64), 64);
  EXPECT_EQ(r.fakes[2]->tempo, 1455u);
  u.patternTop();
  EXPECT_EQ(r.fakes[2]->tops, 1);
  EXPECT_EQ(r.fakes[0]->tops, 1);
}

// With the real effects: every type, switched while sound runs, in slices
// of every length the engine may cut; the output never holds -32768.
TEST(MultiEffector, RealEffectsSwitchCleanlyThroughAllTypes) {
  Z5518MultiEffector u;
  u.setEffectParameter(1, 100);
  u.setEffectParameter(2, 127);
  const Stereo in(noise(44100, 32767, 37), noise(44100, 32767, 38));
  Stereo buf = in;
  size_t pos = 0;
  int type = 0;
  const size_t slices[] = {1024, 1, 63, 64, 65, 500, 7};
  size_t s = 0;
  while (pos < buf.size()) {
    const size_t n = std::min(slices[s++ % 7], buf.size() - pos);
    if (s % 3 == 0) u.setEffectParameter(0, ++type % 8);
    int16_t* ch[2] = {buf.left.data() + pos, buf.right.data() + pos};
    u.process(ch, static_cast<int32_t>(n));
    pos += n;
  }
  EXPECT_GT(type, 8);
  for (size_t i = 0; i < buf.size(); ++i) {
    ASSERT_NE(buf.left[i], -32768) << i;
    ASSERT_NE(buf.right[i], -32768) << i;
  }
  EXPECT_NE(buf.left, in.left);
  EXPECT_GT(rms(buf.left), 100.0);
}

}  // namespace

namespace {

TEST(MultiEffector, ClearsAheadOnlyTheEffectsNotInUseAndWithinItsBudget) {
  Rig rig;
  rig.settle();  // type 0 selected and running
  for (FakeEffect* f : rig.fakes) f->dirty = 1000000;
  rig.unit->setEffectParameter(0, 1);
  // A slice inside the 45-frame crossfade: both partners run, so neither
  // has its lines touched; the others share the slice's budget, the lowest
  // slot first.
  rig.process(Stereo(10), 10);
  ASSERT_TRUE(rig.unit->crossfadeActive());
  EXPECT_EQ(rig.fakes[0]->cleared, 0u);
  EXPECT_EQ(rig.fakes[0]->dirty, 1000000u);
  EXPECT_EQ(rig.fakes[1]->resets, 1);  // selected: reset before it ran
  EXPECT_EQ(rig.fakes[2]->cleared, 10 * Z5518MultiEffector::kClearAheadPerFrame);
  for (int k = 3; k < 8; ++k) EXPECT_EQ(rig.fakes[k]->cleared, 0u) << k;
  // Running, the incoming effect fills its lines again.
  rig.fakes[1]->dirty = 1000000;
  rig.process(Stereo(10), 10);
  ASSERT_TRUE(rig.unit->crossfadeActive());
  EXPECT_EQ(rig.fakes[0]->cleared, 0u);
  EXPECT_EQ(rig.fakes[1]->cleared, 0u);
  // Past the crossfade the outgoing effect is out of use too. Over enough
  // slices every unused effect is cleared, never the current one, and never
  // more per slice than the budget.
  uint32_t before = 0;
  for (FakeEffect* f : rig.fakes) before += f->cleared;
  for (int slice = 0; slice < 2000; ++slice) {
    rig.process(Stereo(128), 128);
    uint32_t total = 0;
    for (FakeEffect* f : rig.fakes) total += f->cleared;
    ASSERT_LE(total - before, 128 * Z5518MultiEffector::kClearAheadPerFrame);
    before = total;
  }
  EXPECT_FALSE(rig.unit->crossfadeActive());
  EXPECT_EQ(rig.fakes[1]->cleared, 0u);
  EXPECT_EQ(rig.fakes[1]->dirty, 1000000u);
  for (int k = 0; k < 8; ++k) {
    if (k != 1) {
      EXPECT_EQ(rig.fakes[k]->dirty, 0u) << k;
    }
  }
}

}  // namespace
