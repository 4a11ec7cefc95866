// Trigger rows, the accent row, rotation and the motion-track table.

#include <gtest/gtest.h>

#include "seq_rig.h"

namespace seqtest {
namespace {

TEST(SeqRotation, PlayedStepsRotateAndTheOthersStay) {
  struct Case {
    int32_t offset;
    int32_t lastStep;
    int32_t length;
  };
  const Case cases[] = {{1, 16, 4}, {-1, 16, 4}, {5, 16, 4}, {1, 4, 2}, {-1, 4, 2}, {7, 4, 2}, {3, 12, 1}, {-13, 12, 1}, {64, 16, 4}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "offset " << c.offset << " last step " << c.lastStep << " length " << c.length);
    uint8_t values[64];
    for (int i = 0; i < 64; ++i) values[i] = static_cast<uint8_t>(i);
    rotatePlayedSteps(values, c.offset, c.lastStep, c.length * 16);
    std::vector<int> played;
    for (int i = 0; i < c.length * 16; ++i) {
      if (i % 16 < c.lastStep) played.push_back(i);
    }
    const int n = static_cast<int>(played.size());
    for (int k = 0; k < n; ++k) {
      const int from = played[static_cast<size_t>((((k + c.offset) % n) + n) % n)];
      EXPECT_EQ(values[played[static_cast<size_t>(k)]], from) << "played step " << k;
    }
    for (int i = 0; i < 64; ++i) {
      if (i >= c.length * 16 || i % 16 >= c.lastStep) {
        EXPECT_EQ(values[i], i) << "slot " << i;
      }
    }
  }
}

TEST(SeqRotation, PartEdgeCases) {
  uint8_t a[64] = {};
  a[0] = 10;
  a[1] = 11;
  rotatePlayedSteps(a, 1, 16, 64);
  EXPECT_EQ(a[0], 11);
  EXPECT_EQ(a[63], 10);

  uint8_t b[64], c[64];
  for (int i = 0; i < 64; ++i) b[i] = c[i] = static_cast<uint8_t>(i * 3);
  rotatePlayedSteps(b, -1, 4, 32);
  rotatePlayedSteps(c, 7, 4, 32);
  for (int i = 0; i < 64; ++i) EXPECT_EQ(b[i], c[i]) << i;
  for (int i = 4; i < 16; ++i) EXPECT_EQ(b[i], i * 3);
  EXPECT_EQ(b[0], 19 * 3);  // steps 0-3 and 16-19 only
}

TEST(SeqTracks, TriggerStepsAndParts) {
  SeqRig rig;
  rig.seq->setTriggerStep(3, 17, true);
  EXPECT_TRUE(rig.seq->triggerStep(3, 17));
  rig.seq->setTriggerStep(8, 17, true);
  rig.seq->setTriggerStep(-1, 17, true);
  rig.seq->setTriggerStep(2, 64, true);
  for (int p = 0; p < kNumParts; ++p) {
    for (int s = 0; s < 64; ++s) EXPECT_EQ(rig.seq->triggerStep(p, s), p == 3 && s == 17) << p << " " << s;
  }
  rig.seq->setParam(kSeqParamPatternLength, 2);
  rig.seq->shiftTriggerSteps(3, 1);
  EXPECT_TRUE(rig.seq->triggerStep(3, 16));
  rig.seq->resetParams();
  EXPECT_FALSE(rig.seq->triggerStep(3, 16));
  EXPECT_EQ(rig.seq->param(kSeqParamPatternLength), 4);
}

TEST(SeqTracks, AccentRowGoesWithEachTrigger) {
  SeqRig rig;
  for (int s = 0; s < 4; ++s) rig.seq->setTriggerStep(5, s, true);
  rig.seq->setAccentStep(1, false);
  rig.seq->setAccentStep(3, false);
  rig.seq->setAccentStep(70, false);  // ignored
  rig.seq->play(0);
  rig.renderer->run(4 * 5513);
  std::vector<bool> accents;
  for (const auto& t : rig.listener.triggers) accents.push_back(t.accent);
  EXPECT_EQ(accents, (std::vector<bool>{true, false, true, false}));
  rig.seq->shiftAccentSteps(1);
  EXPECT_FALSE(rig.seq->accentStep(0));
  EXPECT_TRUE(rig.seq->accentStep(1));
  EXPECT_FALSE(rig.seq->accentStep(2));
  EXPECT_TRUE(rig.seq->accentStep(63));
}

TEST(SeqParams, ClampedAndOutOfRange) {
  SeqRig rig;
  EXPECT_EQ(rig.seq->setParam(kSeqParamBpm, 10), 200);
  EXPECT_EQ(rig.seq->setParam(kSeqParamBpm, 9000), 6000);
  EXPECT_EQ(rig.seq->setParam(kSeqParamSwing, 80), 75);
  EXPECT_EQ(rig.seq->setParam(kSeqParamLastStep, 0), 1);
  EXPECT_EQ(rig.seq->setParam(kSeqParamPatternLength, 7), 4);
  EXPECT_EQ(rig.seq->setParam(4, 77), 77);
  EXPECT_EQ(rig.seq->param(4), 0);
  EXPECT_EQ(rig.seq->param(-1), 0);
  rig.seq->resetParams();
  EXPECT_EQ(rig.seq->param(kSeqParamBpm), 1200);
  EXPECT_EQ(rig.seq->param(kSeqParamSwing), 50);
  EXPECT_EQ(rig.seq->param(kSeqParamLastStep), 16);
  EXPECT_EQ(rig.seq->param(kSeqParamPatternLength), 4);
}

TEST(SeqMotionTable, TrackIndexIsTheParamIdAndMinusOneMakesNothing) {
  SeqRig rig;
  EXPECT_EQ(rig.seq->motionTrackCount(), 140);
  for (int i = 0; i < 140; ++i) EXPECT_EQ(rig.seq->motionTrackParamId(i), kNoParam);
  for (int i = 0; i < 1000; ++i) EXPECT_EQ(rig.seq->motionTrackFor(kNoParam), -1);
  EXPECT_EQ(rig.seq->motionTrackFor(140), -1);
  for (int i = 0; i < 140; ++i) EXPECT_EQ(rig.seq->motionTrackParamId(i), kNoParam);
  rig.seq->setMotionStep(-1, 0, true, 5);  // no track: ignored
  EXPECT_EQ(rig.seq->motionStep(-1, 0), MotionTrack::kNoValue);

  EXPECT_EQ(rig.seq->motionTrackFor(37), 37);
  EXPECT_EQ(rig.seq->motionTrackFor(37), 37);
  EXPECT_EQ(rig.seq->motionTrackParamId(37), 37);
  EXPECT_EQ(rig.seq->motionTrackCount(), 140);
  rig.seq->setMotionStep(37, 4, true, 200);
  EXPECT_EQ(rig.seq->motionStep(37, 4), 200 & 127);
  rig.seq->setMotionStep(37, 5, false, 9);
  EXPECT_EQ(rig.seq->motionStep(37, 5), 9 | 0x80);
  rig.seq->setMotionStep(37, 64, true, 1);  // out of range: ignored

  rig.seq->clearMotionTrack(37);
  EXPECT_EQ(rig.seq->motionTrackParamId(37), 37);  // cleared, still there
  EXPECT_FALSE(rig.seq->motionTrack(37).isActive());
  EXPECT_EQ(rig.seq->motionStep(37, 4), MotionTrack::kNoValue);
  rig.seq->motionTrackFor(37);
  EXPECT_TRUE(rig.seq->motionTrack(37).isActive());

  rig.seq->resetParams();
  EXPECT_EQ(rig.seq->motionTrackParamId(37), kNoParam);
}

TEST(SeqMotionTable, InterpolationByParameter) {
  struct Case {
    ParamId id;
    bool glides;
  };
  const Case cases[] = {{0, true},    {1, false},   {4, false},   {2, true},    {17, false}, {20, false},
                        {64 + 1, false}, {127, true}, {128, false}, {129, true},  {132, false},
                        {133, true},  {134, true},  {135, false}, {kNoParam, false}};
  for (const auto& c : cases) EXPECT_EQ(MotionTrack::interpolatesFor(c.id), c.glides) << c.id;
}

TEST(SeqMotionTable, MotionStepsRotateWithTheLayout) {
  SeqRig rig;
  const int track = rig.seq->motionTrackFor(6);
  rig.seq->setParam(kSeqParamLastStep, 4);
  rig.seq->setParam(kSeqParamPatternLength, 2);
  rig.seq->setMotionStep(track, 0, true, 10);
  rig.seq->setMotionStep(track, 16, true, 20);
  rig.seq->setMotionStep(track, 5, true, 50);  // not played: stays
  rig.seq->shiftMotionSteps(track, 1);
  EXPECT_EQ(rig.seq->motionStep(track, 19), 10);
  EXPECT_EQ(rig.seq->motionStep(track, 3), 20);
  EXPECT_EQ(rig.seq->motionStep(track, 5), 50);
  EXPECT_EQ(rig.seq->motionStep(track, 0), MotionTrack::kNoValue);
}

}  // namespace
}  // namespace seqtest
