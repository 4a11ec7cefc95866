// Motion playback: values per step, glides, releases, recording.

#include <gtest/gtest.h>

#include "seq_rig.h"

namespace seqtest {
namespace {

constexpr ParamId kPitch0 = 0;   // part 0 Pitch: glides
constexpr ParamId kWave0 = 1;    // part 0 Wave: jumps
constexpr ParamId kLevel2 = 38;  // part 2 Level

TEST(SeqMotion, PitchGlidesFromStepToStep) {
  for (int32_t block : {512, 1024, 77}) {
    SCOPED_TRACE(testing::Message() << "block " << block);
    SeqRig rig;
    const int t = rig.seq->motionTrackFor(kPitch0);
    rig.seq->setMotionStep(t, 0, true, 0);
    rig.seq->setMotionStep(t, 1, true, 100);
    rig.seq->play(0);
    rig.renderer->run(12000, block);
    const auto events = rig.listener.motionOf(kPitch0);
    ASSERT_GE(events.size(), 3u);
    // Step 0 sends its value at once, then climbs toward step 1's value.
    EXPECT_EQ(events.front().frame, 0);
    EXPECT_EQ(events.front().value, 0);
    for (size_t i = 1; i + 2 < events.size(); ++i) {
      const auto& e = events[i];
      ASSERT_LT(e.frame, 5513);
      EXPECT_EQ(e.value, events[i - 1].value + 1) << "frame " << e.frame;
      // Each value belongs to its frame's position within the 5512.5-frame step.
      const int32_t expected = static_cast<int32_t>(static_cast<float>(e.frame) * 100.0f / 5512.5f);
      EXPECT_EQ(e.value, expected) << "frame " << e.frame;
      // It is sent no later than one glide interval (55 frames) after the
      // value is reached.
      EXPECT_LT(static_cast<float>(e.frame), static_cast<float>(e.value) * 55.125f + 56.0f);
    }
    const auto& last = events[events.size() - 2];
    EXPECT_EQ(last.frame, 5513);
    EXPECT_EQ(last.value, 100);
    EXPECT_EQ(events[events.size() - 3].value, 99);
    // Step 2 holds nothing: one release, at its start.
    EXPECT_EQ(events.back().frame, 11025);
    EXPECT_EQ(events.back().value, -1);
  }
}

TEST(SeqMotion, GlidesDownTowardTheFirstStepAcrossThePatternEnd) {
  SeqRig rig;
  rig.seq->setParam(kSeqParamPatternLength, 1);
  const int t = rig.seq->motionTrackFor(kLevel2);
  rig.seq->setMotionStep(t, 15, true, 20);
  rig.seq->setMotionStep(t, 0, true, 10);
  rig.seq->play(0);
  rig.renderer->run(88200 + 6000);
  const auto events = rig.listener.motionOf(kLevel2);
  // Step 0 holds 10 (step 1 is empty: no glide) and step 1 releases it.
  ASSERT_GE(events.size(), 4u);
  EXPECT_EQ(events[0].frame, 0);
  EXPECT_EQ(events[0].value, 10);
  EXPECT_EQ(events[1].frame, 5513);
  EXPECT_EQ(events[1].value, -1);
  // Step 15 sends 20 and glides down to the 10 of step 0 of the next pass:
  // the values are truncated, so each one is sent as soon as the glide is
  // below the one before: 19 at once, 10 once 9/10 of the step has passed
  // (position 4961.25, frame 87649.75).
  EXPECT_EQ(events[2].frame, 82688);
  EXPECT_EQ(events[2].value, 20);
  int32_t previous = 20;
  size_t i = 3;
  for (; i < events.size() && events[i].value >= 0; ++i) {
    EXPECT_EQ(events[i].value, previous - 1) << "frame " << events[i].frame;
    const float pos = static_cast<float>(events[i].frame - 82688) + 0.5f;
    EXPECT_EQ(events[i].value, static_cast<int32_t>(pos * -10.0f / 5512.5f + 20.0f));
    previous = events[i].value;
  }
  EXPECT_EQ(previous, 10);
  EXPECT_GE(events[i - 1].frame, 87650);
  EXPECT_LT(events[i - 1].frame, 88200);
  ASSERT_LT(i, events.size());
  EXPECT_EQ(events[i].frame, 88200 + 5513);  // step 1 of the second pass
}

TEST(SeqMotion, WaveJumpsOnlyAtStepStarts) {
  SeqRig rig;
  const int t = rig.seq->motionTrackFor(kWave0);
  rig.seq->setMotionStep(t, 0, true, 1);
  rig.seq->setMotionStep(t, 1, true, 3);
  rig.seq->setMotionStep(t, 2, true, 3);  // same value: nothing new to send
  rig.seq->setMotionStep(t, 3, true, 0);
  rig.seq->play(0);
  rig.renderer->run(30000);
  const auto events = rig.listener.motionOf(kWave0);
  const std::vector<std::pair<int32_t, int32_t>> expected = {{0, 1}, {5513, 3}, {16538, 0}, {22050, -1}};
  ASSERT_EQ(events.size(), expected.size());
  for (size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(events[i].frame, expected[i].first);
    EXPECT_EQ(events[i].value, expected[i].second);
  }
}

TEST(SeqMotion, OneReleasePerRunOfEmptySteps) {
  SeqRig rig;
  rig.seq->setParam(kSeqParamPatternLength, 1);
  const int t = rig.seq->motionTrackFor(kWave0);
  rig.seq->setMotionStep(t, 4, true, 2);
  rig.seq->setMotionStep(t, 10, true, 1);
  rig.seq->play(0);
  rig.renderer->run(2 * 88200 + 100);
  int releases = 0;
  for (const auto& e : rig.listener.motionOf(kWave0)) releases += e.value < 0;
  // Step 0 of the first pass (nothing sent yet: the parameter is let go),
  // then after step 4 and after step 10, twice over.
  EXPECT_EQ(releases, 1 + 2 * 2);
}

TEST(SeqMotion, NothingIsSentWhileTheKnobIsHeld) {
  SeqRig rig;
  const int t = rig.seq->motionTrackFor(kPitch0);
  for (int s = 0; s < 64; ++s) rig.seq->setMotionStep(t, s, true, s);
  rig.seq->motionRecordStart(t);
  rig.seq->play(0);
  rig.renderer->run(40000);
  EXPECT_TRUE(rig.listener.motionOf(kPitch0).empty());
  rig.seq->motionRecordEnd(t);
  rig.renderer->run(10000);
  const auto events = rig.listener.motionOf(kPitch0);
  ASSERT_FALSE(events.empty());
  EXPECT_GE(events.front().frame, 40000);
}

TEST(SeqMotion, RecordingLandsOnTheStepThePlayPositionRoundsTo) {
  SeqRig rig;
  const int t = rig.seq->motionTrackFor(kLevel2);
  rig.seq->play(0);
  // Step 5 runs 27563-33075 with a half frame carried in: its second half
  // starts at frame 30319.
  struct Take {
    int64_t frame;
    int32_t halfStep;
    int32_t value;
  };
  const Take takes[] = {{30318, 10, 70}, {30319, 11, 71}, {44100, 16, 72}, {352000, 127, 73}};
  rig.seq->motionRecordStart(t);
  for (const auto& take : takes) {
    rig.renderer->runTo(take.frame);
    const int32_t half = rig.seq->currentHalfStep();
    EXPECT_EQ(half, take.halfStep) << "at " << take.frame;
    // A take in the second half of a step belongs to the next one.
    const int32_t step = (half / 2 + (half & 1)) % 64;
    rig.seq->setMotionStep(t, step, true, take.value);
  }
  rig.seq->motionRecordEnd(t);
  EXPECT_TRUE(rig.listener.motionOf(kLevel2).empty());
  rig.renderer->runTo(352800 + 50000);
  EXPECT_EQ(rig.seq->motionStep(t, 5), 70);
  EXPECT_EQ(rig.seq->motionStep(t, 6), 71);
  EXPECT_EQ(rig.seq->motionStep(t, 8), 72);
  EXPECT_EQ(rig.seq->motionStep(t, 0), 73);
  // Played back on the next pass at the steps' starts.
  std::vector<std::pair<int32_t, int32_t>> atStarts;
  for (const auto& e : rig.listener.motionOf(kLevel2)) {
    if (e.frame == 352800 || e.frame == 352800 + 27563 || e.frame == 352800 + 33075 || e.frame == 352800 + 44100) {
      atStarts.push_back({e.frame - 352800, e.value});
    }
  }
  EXPECT_EQ(atStarts, (std::vector<std::pair<int32_t, int32_t>>{{0, 73}, {27563, 70}, {33075, 71}, {44100, 72}}));
}

TEST(SeqMotion, AClearedTrackReleasesOnceThenStaysQuiet) {
  SeqRig rig;
  const int t = rig.seq->motionTrackFor(kLevel2);
  for (int s = 0; s < 64; ++s) rig.seq->setMotionStep(t, s, true, 50);
  rig.seq->play(0);
  rig.renderer->run(10000);
  rig.listener.clear();
  rig.seq->clearMotionTrack(t);
  rig.renderer->run(512);
  rig.renderer->run(50000);
  const auto events = rig.listener.motionOf(kLevel2);
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0].value, -1);
  EXPECT_EQ(events[0].frame, 10000);
  // Back in use, it plays again from the next step.
  rig.seq->motionTrackFor(kLevel2);
  rig.seq->setMotionStep(t, 12, true, 33);
  rig.renderer->runTo(66150 + 10);
  const auto again = rig.listener.motionOf(kLevel2);
  ASSERT_GE(again.size(), 2u);
  EXPECT_EQ(again.back().frame, 66150);
  EXPECT_EQ(again.back().value, 33);
}

TEST(SeqMotion, ATrackThatNeverExistedSendsNothing) {
  SeqRig rig;
  rig.seq->setMotionStep(kLevel2, 0, true, 50);  // no motionTrackFor: no track
  rig.seq->play(0);
  rig.renderer->run(20000);
  EXPECT_TRUE(rig.listener.motion.empty());
}

}  // namespace
}  // namespace seqtest
