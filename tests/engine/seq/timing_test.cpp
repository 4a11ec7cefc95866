// Where steps start, how the layout maps played steps to slots, the bar loop
// and the pattern-change grid, observed through the listener.

#include <gtest/gtest.h>

#include <memory>

#include "seq_rig.h"

namespace seqtest {
namespace {


struct StartCase {
  int32_t tempo;
  int32_t swing;
  int32_t starts[17];
  int32_t secondPass;      // frame where step 0 plays again
  int32_t lengthInFrames;  // halfPair × 64, truncated (the bounce length)
};

// Frames where steps 0-16 start, and where the 64-step pattern starts over,
// at 44,100 Hz. A swung pair lasts exactly one unswung pair; the fractions
// carry from step to step.
const StartCase kStartCases[] = {
    {1200, 50, {0, 5513, 11025, 16538, 22050, 27563, 33075, 38588, 44100, 49613, 55125, 60638, 66150, 71663, 77175, 82688, 88200}, 352800, 352800},
    {1200, 75, {0, 8269, 11025, 19294, 22050, 30319, 33075, 41344, 44100, 52369, 55125, 63394, 66150, 74419, 77175, 85444, 88200}, 352800, 352800},
    {972, 50, {0, 6806, 13612, 20417, 27223, 34028, 40834, 47639, 54445, 61250, 68056, 74862, 81667, 88473, 95278, 102084, 108889}, 435556, 435555},
    {1326, 50, {0, 4989, 9978, 14967, 19955, 24944, 29933, 34921, 39910, 44899, 49887, 54876, 59865, 64853, 69842, 74831, 79819}, 319276, 319276},
    {1234, 66, {0, 7077, 10722, 17798, 21443, 28519, 32164, 39240, 42885, 49961, 53607, 60683, 64328, 71404, 75049, 82125, 85770}, 343080, 343079},
    {900, 60, {0, 8820, 14700, 23520, 29400, 38220, 44100, 52920, 58800, 67620, 73500, 82320, 88200, 97020, 102900, 111720, 117600}, 470400, 470400},
};

TEST(SeqTiming, StepStartFramesAt44100) {
  for (const auto& c : kStartCases) {
    for (int32_t block : {512, 1024, 100}) {
      SCOPED_TRACE(testing::Message() << "tempo " << c.tempo << " swing " << c.swing << " block " << block);
      SeqRig rig;
      rig.seq->setParam(kSeqParamBpm, c.tempo);
      rig.seq->setParam(kSeqParamSwing, c.swing);
      rig.allSteps(0);
      rig.seq->play(0);
      rig.renderer->run(c.secondPass + 1, block);
      const auto frames = rig.listener.triggerFrames(0);
      ASSERT_EQ(frames.size(), 65u);
      for (int i = 0; i <= 16; ++i) EXPECT_EQ(frames[static_cast<size_t>(i)], c.starts[i]) << "step " << i;
      EXPECT_EQ(frames[64], c.secondPass);
      EXPECT_EQ(rig.seq->patternLengthInFrames(), c.lengthInFrames);
    }
  }
}

TEST(SeqTiming, FourBarsAt120LastExactly352800FramesOffLine) {
  SeqRig rig;
  rig.allSteps(3);
  rig.seq->beginBounce();
  rig.seq->startForBounce(123);  // bounce mode posts it for "now"
  Renderer offline(*rig.seq, rig.listener, nullptr);
  offline.run(352800 + 1024, 1024);
  const auto frames = rig.listener.triggerFrames(3);
  ASSERT_EQ(frames.size(), 65u);
  EXPECT_EQ(frames.front(), 0);
  EXPECT_EQ(frames[64], 352800);
  EXPECT_EQ(rig.seq->patternLengthInFrames(), 352800);
  // The bounce is quiet: no top-of-pattern report reaches the interface.
  EXPECT_FALSE(rig.listener.saw("returnedToBeginning"));
}

TEST(SeqTiming, LastStepAndLengthMapPlayedStepsToSlots) {
  SeqRig rig;
  rig.seq->setParam(kSeqParamSwing, 75);
  rig.seq->setParam(kSeqParamLastStep, 3);
  rig.seq->setParam(kSeqParamPatternLength, 2);
  for (int s = 0; s < 64; ++s) {
    const bool played = s < 32 && s % 16 < 3;
    rig.seq->setTriggerStep(played ? 0 : 1, s, true);
  }
  rig.seq->setTriggerStep(2, 16, true);  // first slot of the second bar
  rig.seq->play(0);
  rig.renderer->run(2 * 33075 + 10);
  // Slots 0, 1, 2, 16, 17, 18 with swing 75; the third step of each bar is
  // unswung because the bar has an odd number of steps.
  const std::vector<int32_t> expected = {0, 8269, 11025, 16538, 24807, 27563, 33075, 41344, 44100, 49613, 57882, 60638, 66150};
  EXPECT_EQ(rig.listener.triggerFrames(0), expected);
  EXPECT_TRUE(rig.listener.triggerFrames(1).empty());
  EXPECT_EQ(rig.listener.triggerFrames(2), (std::vector<int32_t>{16538, 49613}));
  EXPECT_EQ(rig.seq->patternLengthInFrames(), 33075);
}

TEST(SeqTiming, LoopOnWhilePlayingRepeatsTheBarBeingPlayed) {
  SeqRig rig;
  rig.allSteps(0);
  rig.seq->setTriggerStep(1, 32, true);  // first step of bar 2
  rig.seq->setTriggerStep(2, 48, true);  // bar 3 must never play
  rig.seq->play(0);
  rig.renderer->runTo(2 * 88200 + 20000);  // inside bar 2
  rig.seq->setLoop(0, true);
  rig.renderer->run(4 * 88200);
  EXPECT_TRUE(rig.seq->isLoop());
  EXPECT_EQ(rig.listener.triggerFrames(1), (std::vector<int32_t>{176400, 264600, 352800, 441000, 529200}));
  EXPECT_TRUE(rig.listener.triggerFrames(2).empty());
  // Pattern top is not reported for a loop of bar 2.
  EXPECT_EQ(rig.listener.count("returnedToBeginning"), 1);

  rig.listener.clear();
  rig.seq->setLoop(0, false);
  rig.renderer->run(2 * 88200);
  EXPECT_FALSE(rig.seq->isLoop());
  EXPECT_EQ(rig.listener.triggerFrames(2).size(), 1u);
}

TEST(SeqTiming, LoopOnWhileStoppedLoopsBarZero) {
  SeqRig rig;
  rig.seq->setTriggerStep(0, 0, true);
  rig.seq->setTriggerStep(1, 16, true);
  rig.seq->setLoop(0, true);
  rig.renderer->run(1024);
  rig.listener.clear();
  rig.seq->play(0);
  const int64_t start = rig.renderer->rendered;
  rig.renderer->run(3 * 88200 + 100);
  const auto bar0 = rig.listener.triggerFrames(0);
  ASSERT_EQ(bar0.size(), 4u);
  EXPECT_EQ(bar0[0], start);
  EXPECT_EQ(bar0[1], start + 88200);
  EXPECT_TRUE(rig.listener.triggerFrames(1).empty());
  // Bar 0 wrapping is the top of the pattern.
  EXPECT_EQ(rig.listener.count("returnedToBeginning"), 4);
}

// Records whose only content is a trigger row for one part, so the frames
// where each part plays show when the change took place.
void onlyPart(PatternRecord& r, int part, int lastStep = 16, int length = 4) {
  for (int p = 0; p < kNumParts; ++p) {
    for (int s = 0; s < 64; ++s) r.sequencerParams.trigger[p][s] = p == part ? 1 : 0;
  }
  r.sequencerParams.tempo = 1200;
  r.sequencerParams.lastStep = static_cast<int16_t>(lastStep);
  r.sequencerParams.length = static_cast<int16_t>(length);
}

struct GridCase {
  int32_t grid;
  int32_t lastStep;
  int32_t askAtFrame;
  int32_t changeFrame;
};

TEST(SeqTiming, PatternChangeGridPicksTheStepWhereTheNextPatternStarts) {
  const GridCase cases[] = {
      {0, 16, 30000, 352800},  // off: at the end of the pattern
      {3, 16, 30000, 44100},   // every 4 steps: step 8 follows step 5
      {3, 16, 66200, 88200},   // step 12 started at 66150: next is 16
      {1, 16, 30000, 33075},   // every 2 steps: step 6
      {7, 16, 30000, 88200},   // every 16 steps: the next bar
      {3, 3, 1000, 16538},     // 3 steps a bar: spacing 3, bar starts only
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "grid " << c.grid << " last step " << c.lastStep << " at " << c.askAtFrame);
    SeqRig rig;
    rig.grid = c.grid;
    onlyPart(rig.provider.records[1], 0, c.lastStep);
    onlyPart(rig.provider.records[2], 1, c.lastStep);
    ASSERT_EQ(rig.seq->changePatternSilently(1), 1);
    rig.renderer->run(512);  // stopped: loads at once
    ASSERT_EQ(rig.listener.loads.size(), 1u);
    rig.seq->play(0);
    const int64_t start = rig.renderer->rendered;
    rig.renderer->runTo(start + c.askAtFrame, 256);
    ASSERT_TRUE(rig.seq->changePattern(0, 2));
    rig.renderer->runTo(start + c.changeFrame + 6000, 256);
    ASSERT_EQ(rig.listener.loads.size(), 2u);
    EXPECT_TRUE(rig.listener.loads[1].whilePlaying);
    const auto newPart = rig.listener.triggerFrames(1);
    ASSERT_FALSE(newPart.empty());
    EXPECT_EQ(newPart.front() - start, c.changeFrame);
    for (int32_t f : rig.listener.triggerFrames(0)) EXPECT_LT(f - start, c.changeFrame);
  }
}

TEST(SeqTiming, NoChangePointWhileTheLoopIsOn) {
  SeqRig rig;
  rig.grid = 3;
  rig.seq->play(0);
  rig.seq->setLoop(0, true);
  for (int i = 0; i < 400; ++i) {
    rig.renderer->run(512);
    ASSERT_FALSE(rig.seq->position().changePoint()) << "after call " << i;
  }
}

TEST(SeqTiming, HalfStepAndBeatLampFollowTheFirstTrack) {
  SeqRig rig;
  rig.seq->setParam(kSeqParamSwing, 75);
  rig.seq->play(0);
  // Step 0 lasts 8268.75 frames: its second half starts at frame 4134.
  struct Probe {
    int32_t frames;  // rendered so far
    int32_t halfStep;
  };
  // Step 1 (2756.25 frames) starts at 8269 a quarter frame in: its second
  // half from 9647. After f frames have been rendered, frame f plays next.
  const Probe probes[] = {{100, 0},  {4133, 0},  {4134, 1},  {8268, 1},
                          {8269, 2}, {9646, 2},  {9647, 3},  {11025, 4}, {22050, 8}};
  for (const auto& p : probes) {
    rig.renderer->runTo(p.frames);
    EXPECT_EQ(rig.seq->currentHalfStep(), p.halfStep) << "after " << p.frames << " frames";
  }
  // Half step 8 is step 4: the lamp is lit for the whole of steps 0, 4, 8...
  EXPECT_TRUE(rig.seq->isBeatLit());
  rig.renderer->runTo(27000);  // second half of step 4: still lit
  EXPECT_EQ(rig.seq->currentHalfStep(), 9);
  EXPECT_TRUE(rig.seq->isBeatLit());
  rig.renderer->runTo(30319);  // step 5
  EXPECT_EQ(rig.seq->currentHalfStep(), 10);
  EXPECT_FALSE(rig.seq->isBeatLit());
}

}  // namespace
}  // namespace seqtest
