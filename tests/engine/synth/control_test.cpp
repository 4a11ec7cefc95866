// The engine's control operations: each writes the record and what the
// sequencer plays together; loads, Tempo Lock, mute and solo, bar copies,
// fills, rotations, motion, the edit buffer, and arguments out of range.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <functional>
#include <string>
#include <thread>

#include "engine/seq/seq_tracks.h"
#include "support/stepping_audio_io.h"
#include "synth_test_support.h"

namespace {

using synthtest::CallLog;
using synthtest::EngineTest;
using synthtest::firstNonZero;
using synthtest::peak;
using synthtest::quietPattern;
using synthtest::Stereo;

class Control : public EngineTest {
 protected:
  void freshEngine() {
    Synth::destroyInstance();
    synth = Synth::getInstance(44100.0f);
    synth->setDataProvider(&provider);
  }
  // The sequencer takes a silent change at the start of the next slice
  // while it is stopped.
  void loadThroughSequencer(int32_t index) {
    ASSERT_EQ(synth->changePatternSilently(index), index);
    renderOffline(64);
    ASSERT_EQ(synth->currentPatternIndex(), index);
  }
  // Renders until `done` or `limit` frames.
  void renderUntil(const std::function<bool()>& done, size_t limit) {
    for (size_t f = 0; f < limit && !done(); f += 1024) renderOffline(1024);
  }
  Stereo bounce(size_t frames) {
    EXPECT_TRUE(synth->beginBounce());
    synth->startForBounce(0);
    Stereo out = renderOffline(frames);
    synth->endBounce();
    return out;
  }
  PatternRecord record() const { return *synth->currentPattern(); }

  // The record is what plays: every trigger and accent step and every
  // motion track of an enabled slot match the sequencer's.
  void expectSequencerPlaysTheRecord() {
    const PatternRecord& r = *synth->currentPattern();
    Seq& seq = *synth->seq();
    for (int p = 0; p < kNumParts; ++p)
      for (int s = 0; s < kNumSteps; ++s)
        ASSERT_EQ(seq.triggerStep(p, s), r.sequencerParams.trigger[p][s] != 0) << "part " << p << " step " << s;
    for (int s = 0; s < kNumSteps; ++s) ASSERT_EQ(seq.accentStep(s), r.sequencerParams.accent[s] != 0) << s;
    for (ParamId id = 0; id < kNumParamIds; ++id) {
      const motionParams& m = r.motionParams[id];
      if (!m.enabled) continue;
      ASSERT_EQ(seq.motionTrackParamId(id), id) << id;
      ASSERT_EQ(m.motionId, id) << id;
      for (int s = 0; s < kNumSteps; ++s) {
        const uint8_t b = seq.motionStep(id, s);
        ASSERT_EQ((b & MotionTrack::kNoValue) == 0, m.trigger[s] != 0) << id << " step " << s;
        if (m.trigger[s]) {
          ASSERT_EQ(b, static_cast<uint8_t>(m.value[s] & 127)) << id << " step " << s;
        }
      }
    }
  }
};

// --- pattern loads -----------------------------------------------------------------

TEST_F(Control, LoadingTheCurrentPatternAgainTouchesNothing) {
  PatternRecord stored = quietPattern();
  stored.sequencerParams.tempo = 900;
  stored.sequencerParams.trigger[1][3] = 1;
  ASSERT_TRUE(provider.storePattern(stored, 3));
  loadThroughSequencer(3);
  EXPECT_EQ(record().sequencerParams.tempo, 900);

  CallLog log;
  synth->setListener(&log);
  synth->setStep(0, 5, true);  // edits the stored pattern does not have
  synth->setPartParameter(2, kPitch, 10);
  const PatternRecord before = record();

  // The sequencer's own call, and the same through a queued change.
  EXPECT_EQ(synth->loadPattern(3, false), 900);
  synth->changePatternSilently(3);
  renderOffline(256);
  EXPECT_EQ(synth->loadPattern(3, true), 900);

  EXPECT_TRUE(log.calls.empty());
  EXPECT_EQ(record(), before);
  EXPECT_TRUE(synth->seq()->triggerStep(0, 5));
  EXPECT_EQ(synth->partParameter(2, kPitch), 10);
  EXPECT_EQ(synth->skippedLoads(), 0u);
  synth->setListener(nullptr);
}

TEST_F(Control, LoadingAnotherPatternTakesItWhole) {
  PatternRecord stored = quietPattern();
  std::strncpy(stored.tagParams.name, "Stored", sizeof stored.tagParams.name);
  stored.sequencerParams.tempo = 1450;
  stored.sequencerParams.length = 2;
  stored.sequencerParams.lastStep = 12;
  stored.sequencerParams.trigger[6][17] = 1;
  stored.synthParams[6].decay = 33;
  stored.motionParams[7].enabled = 1;
  stored.motionParams[7].trigger[2] = 1;
  stored.motionParams[7].value[2] = 99;
  stored.motionParams[20].motionId = 55;  // stale number in a slot that is not enabled
  ASSERT_TRUE(provider.storePattern(stored, 5));
  CallLog log;
  synth->setListener(&log);
  loadThroughSequencer(5);
  EXPECT_EQ(log.count("patternChanged"), 1);
  const PatternRecord r = record();
  EXPECT_STREQ(r.tagParams.name, "Stored");
  EXPECT_EQ(r.sequencerParams.tempo, 1450);
  EXPECT_EQ(synth->seq()->param(0), 1450);
  EXPECT_EQ(synth->seq()->param(3), 2);
  EXPECT_EQ(synth->seq()->param(2), 12);
  EXPECT_EQ(synth->partParameter(6, kDecay), 33);
  EXPECT_EQ(r.motionParams[7].motionId, 7);
  EXPECT_EQ(r.motionParams[20].motionId, kNoParam);
  EXPECT_EQ(synth->seq()->motionTrackParamId(20), kNoParam);
  expectSequencerPlaysTheRecord();
  synth->setListener(nullptr);
}

struct TempoLockCase {
  int lock;
  int tempoWhilePlaying;  // record and sequencer after the load at the pattern end
};

class TempoLock : public Control, public ::testing::WithParamInterface<TempoLockCase> {};

TEST_P(TempoLock, LoadWhilePlaying) {
  const TempoLockCase c = GetParam();
  settings().set(GlobalSettings::kTempoLock, c.lock);
  PatternRecord a = quietPattern();
  a.sequencerParams.tempo = 1000;
  PatternRecord b = quietPattern();
  b.sequencerParams.tempo = 1500;
  b.sequencerParams.trigger[2][0] = 1;
  provider.storePattern(a, 0);
  provider.storePattern(b, 1);
  loadThroughSequencer(0);
  synth->startSequencer(0);
  renderOffline(256);
  ASSERT_TRUE(synth->isPlaying());

  synth->changePatternSilently(1);
  renderOffline(4096);
  EXPECT_EQ(synth->currentPatternIndex(), 0) << "waits for the end of the pattern";
  renderUntil([&] { return synth->currentPatternIndex() == 1; }, 3 * 106000);
  ASSERT_EQ(synth->currentPatternIndex(), 1);
  EXPECT_EQ(record().sequencerParams.tempo, c.tempoWhilePlaying);
  EXPECT_EQ(synth->seq()->param(0), c.tempoWhilePlaying);
  EXPECT_EQ(synth->tempo(), c.tempoWhilePlaying);
  EXPECT_TRUE(record().sequencerParams.trigger[2][0]);  // the rest is the new pattern

  // After the stop the loaded pattern's own tempo is in force and stored.
  synth->stopSequencer(0);
  renderOffline(256);
  ASSERT_FALSE(synth->isPlaying());
  EXPECT_EQ(record().sequencerParams.tempo, 1500);
  EXPECT_EQ(synth->seq()->param(0), 1500);
}

INSTANTIATE_TEST_SUITE_P(OnAndOff, TempoLock, ::testing::Values(TempoLockCase{1, 1000}, TempoLockCase{0, 1500}));

TEST_F(Control, ReloadKeepsTheTempoInForceOnlyUnderTempoLock) {
  PatternRecord stored = quietPattern();
  stored.sequencerParams.tempo = 1100;
  provider.storePattern(stored, 2);
  for (const int lock : {1, 0}) {
    settings().set(GlobalSettings::kTempoLock, lock);
    loadThroughSequencer(2);
    synth->setTempoFromUi(1333);
    synth->setStep(4, 9, true);
    synth->reloadPattern();
    EXPECT_EQ(record().sequencerParams.tempo, lock ? 1333 : 1100) << lock;
    EXPECT_EQ(synth->seq()->param(0), lock ? 1333 : 1100) << lock;
    EXPECT_FALSE(record().sequencerParams.trigger[4][9]) << "the edit is gone";
    expectSequencerPlaysTheRecord();
    synth->changePatternSilently(0);  // so that the next round loads again
    renderOffline(64);
  }
}

TEST_F(Control, InitializePatternPutsTheInitPatternInPlace) {
  PatternRecord stored = quietPattern();
  stored.sequencerParams.trigger[3][3] = 1;
  stored.sequencerParams.tempo = 800;
  provider.storePattern(stored, 1);
  loadThroughSequencer(1);
  CallLog log;
  synth->setListener(&log);
  synth->initializePattern();
  EXPECT_EQ(record(), makeInitPattern());
  EXPECT_EQ(synth->seq()->param(0), 1200);
  EXPECT_EQ(log.count("patternChanged"), 1);
  expectSequencerPlaysTheRecord();
  synth->setListener(nullptr);
}

// A voice still ringing when a load on the main thread (init, reload)
// replaces the parameters keeps its sound until its next note, also when
// the load comes between two render blocks: the output is the same as if
// nothing had been loaded. Part 0 is the only difference between the two
// patterns, so nothing else changes what is heard.
TEST_F(Control, AVoiceRingingAcrossALoadKeepsItsSound) {
  PatternRecord ringing;
  provider.initPattern(&ringing);
  ringing.synthParams[0].pitch = 30;
  ringing.synthParams[0].waveform = 2;
  ringing.synthParams[0].decay = 127;
  ringing.synthParams[0].level = 120;
  ringing.synthParams[0].mute = 0;
  provider.storePattern(ringing, 3);
  auto play = [&](const std::function<void()>& load) {
    freshEngine();
    loadThroughSequencer(3);
    synth->triggerPartLive(0);
    Stereo out = renderOffline(512, 256);
    load();
    out.append(renderOffline(4096, 256));
    return out;
  };
  const Stereo alone = play([] {});
  ASSERT_GT(synthtest::peak(alone.left, 512), 1000);
  for (int which = 0; which < 2; ++which) {
    SCOPED_TRACE(which);
    const Stereo loaded = play([&] {
      if (which == 0) {
        synth->initializePattern();
      } else {
        PatternRecord changed = ringing;
        changed.synthParams[0].pitch = 100;
        changed.synthParams[0].level = 20;
        provider.storePattern(changed, 3);
        synth->reloadPattern();
      }
    });
    EXPECT_TRUE(loaded.left == alone.left && loaded.right == alone.right)
        << "the ringing voice took the loaded parameters";
  }
}

TEST_F(Control, SetPatternRecordLeavesNoMotionOfTheRecordBefore) {
  PatternRecord withMotion = quietPattern();
  withMotion.motionParams[3].enabled = 1;
  withMotion.motionParams[3].trigger[0] = 1;
  withMotion.motionParams[3].value[0] = 5;
  synth->setPatternRecord(&withMotion);
  ASSERT_EQ(synth->seq()->motionTrackParamId(3), 3);
  const PatternRecord plain = quietPattern();
  synth->setPatternRecord(&plain);
  EXPECT_FALSE(synth->hasMotion(3));
  EXPECT_EQ(synth->seq()->motionTrackParamId(3), kNoParam);
  EXPECT_EQ(synth->currentPatternIndex(), Synth::kNoPattern);
  expectSequencerPlaysTheRecord();
}

TEST_F(Control, PatternTagStoredCopiesOnlyTheTags) {
  PatternRecord stored = quietPattern();
  provider.storePattern(stored, 4);
  loadThroughSequencer(4);
  synth->setStep(1, 1, true);
  PatternRecord tagged = stored;
  std::strncpy(tagged.tagParams.name, "Renamed", sizeof tagged.tagParams.name);
  std::strncpy(tagged.tagParams.tags, "dub,slow", sizeof tagged.tagParams.tags);
  tagged.sequencerParams.tempo = 300;
  provider.storeTagInfo(tagged, 4);
  CallLog log;
  synth->setListener(&log);
  synth->patternTagStored();
  EXPECT_STREQ(record().tagParams.name, "Renamed");
  EXPECT_STREQ(record().tagParams.tags, "dub,slow");
  EXPECT_TRUE(record().sequencerParams.trigger[1][1]);
  EXPECT_EQ(record().sequencerParams.tempo, stored.sequencerParams.tempo);
  EXPECT_EQ(log.calls, std::vector<std::string>{"tags"});
  synth->setListener(nullptr);
}

TEST_F(Control, RestoreEditBufferLoadsItOnceAndRemovesIt) {
  EXPECT_FALSE(synth->restoreEditBuffer());
  EXPECT_EQ(synth->currentPatternIndex(), Synth::kNoPattern);

  PatternRecord edited = quietPattern();
  std::strncpy(edited.tagParams.name, "Edited", sizeof edited.tagParams.name);
  edited.sequencerParams.tempo = 1111;
  edited.sequencerParams.trigger[0][2] = 1;
  edited.motionParams[kParamEffectEdit1].enabled = 1;
  edited.motionParams[kParamEffectEdit1].motionId = 77;  // whatever the saving engine had
  edited.motionParams[kParamEffectEdit1].trigger[1] = 1;
  edited.motionParams[kParamEffectEdit1].value[1] = 40;
  provider.storeEditBuffer(edited, 37);

  CallLog log;
  synth->setListener(&log);
  ASSERT_TRUE(synth->restoreEditBuffer());
  EXPECT_FALSE(provider.editBufferExists());
  EXPECT_EQ(synth->currentPatternIndex(), 37);
  EXPECT_EQ(log.count("patternChanged"), 1);
  PatternRecord expected = edited;
  expected.motionParams[kParamEffectEdit1].motionId = kParamEffectEdit1;
  EXPECT_EQ(record(), expected);
  EXPECT_EQ(synth->seq()->param(0), 1111);
  expectSequencerPlaysTheRecord();
  EXPECT_FALSE(synth->restoreEditBuffer());

  // It plays: step 2 sounds at its frame (at 111.1 BPM a step pair lasts
  // 11,908.2 frames; the note starts on the first whole frame after).
  synth->setListener(nullptr);
  const Stereo out = bounce(20000);
  EXPECT_EQ(firstNonZero(out), 11909);

  // And the engine stores it back the same way.
  synth->storeEditBuffer();
  PatternRecord back = PatternRecord::zeroed();
  int32_t index = -1;
  provider.loadEditBuffer(&back, &index);
  EXPECT_EQ(index, 37);
  EXPECT_EQ(back, record());
}

// --- mute and solo --------------------------------------------------------------------

TEST_F(Control, SetPartMuteClampsThePartNumber) {
  struct Case {
    int32_t part;
    int32_t acts;
  };
  for (const Case c : {Case{9, 7}, Case{-1, 0}, Case{3, 3}, Case{1000, 7}, Case{-50, 0}}) {
    freshEngine();
    const PatternRecord before = record();
    EXPECT_EQ(synth->setPartMute(c.part, 1), 1);
    for (int p = 0; p < kNumParts; ++p) {
      EXPECT_EQ(record().synthParams[p].mute, p == c.acts ? 1 : before.synthParams[p].mute) << c.part << " " << p;
      EXPECT_EQ(synth->partParameter(p, kMute), p == c.acts ? 1 : 0) << c.part << " " << p;
    }
  }
}

TEST_F(Control, SoloModeChangesOnlyTheRecordAndLeavingItAppliesIt) {
  PatternRecord r = quietPattern();
  r.sequencerParams.trigger[0][0] = 1;
  r.sequencerParams.trigger[3][0] = 1;
  synth->setPatternRecord(&r);

  synth->setSoloMode(true);
  for (int p = 0; p < kNumParts; ++p) {
    EXPECT_EQ(synth->partParameter(p, kMute), 1) << p;
    EXPECT_EQ(record().synthParams[p].mute, 0) << p;
  }
  synth->setPartSolo(1, true, true);
  EXPECT_TRUE(synth->isPartSolo(1));
  EXPECT_FALSE(synth->isPartSolo(0));
  EXPECT_FALSE(synth->isPartSolo(9));
  EXPECT_EQ(synth->partParameter(1, kMute), 0);
  // Muting in solo mode writes the record, not the voice.
  EXPECT_EQ(synth->setPartMute(1, 1), 1);
  EXPECT_EQ(record().synthParams[1].mute, 1);
  EXPECT_EQ(synth->partParameter(1, kMute), 0);

  // Only the soloed part sounds.
  synth->setPartSolo(3, true, true);
  EXPECT_FALSE(synth->isPartSolo(1));
  const Stereo solo = bounce(8192);
  synth->setSoloMode(false);
  EXPECT_FALSE(synth->isPartSolo(3));
  for (int p = 0; p < kNumParts; ++p) EXPECT_EQ(synth->partParameter(p, kMute), p == 1 ? 1 : 0) << p;
  synth->setPartSolo(2, true, true);  // outside solo mode: nothing
  EXPECT_EQ(synth->partParameter(2, kMute), 0);
  EXPECT_EQ(synth->partParameter(0, kMute), 0);

  freshEngine();
  PatternRecord only3 = quietPattern();
  only3.sequencerParams.trigger[3][0] = 1;
  synth->setPatternRecord(&only3);
  const Stereo reference = bounce(8192);
  ASSERT_GT(peak(reference.left), 0);
  EXPECT_EQ(solo.left, reference.left);
}

// --- steps, bars and fills ---------------------------------------------------------------

TEST_F(Control, CopyBarZeroToThreeCopiesEveryPartAndTheAccents) {
  PatternRecord r = quietPattern();
  r.sequencerParams.length = 4;
  for (int p = 0; p < kNumParts; ++p) {
    for (int s = 0; s < 16; ++s) r.sequencerParams.trigger[p][s] = ((s + p) % 3 == 0) ? 1 : 0;
    r.sequencerParams.trigger[p][50] = 1;  // bar 3 before the copy
  }
  for (int s = 0; s < 16; ++s) r.sequencerParams.accent[s] = s % 4 == 1 ? 1 : 0;
  for (int s = 48; s < 64; ++s) r.sequencerParams.accent[s] = 1;
  synth->setPatternRecord(&r);
  synth->copyBar(0, 3);
  const PatternRecord after = record();
  for (int p = 0; p < kNumParts; ++p) {
    for (int s = 0; s < 16; ++s) {
      EXPECT_EQ(after.sequencerParams.trigger[p][48 + s], r.sequencerParams.trigger[p][s]) << p << " " << s;
      EXPECT_EQ(after.sequencerParams.trigger[p][16 + s], r.sequencerParams.trigger[p][16 + s]);
    }
  }
  for (int s = 0; s < 16; ++s) EXPECT_EQ(after.sequencerParams.accent[48 + s], r.sequencerParams.accent[s]) << s;
  expectSequencerPlaysTheRecord();

  // Bars out of range copy nothing.
  synth->copyBar(0, 4);
  synth->copyBar(-1, 2);
  EXPECT_EQ(record(), after);
}

TEST_F(Control, FillAccentFillsTheRowAndEveryPartsAccent) {
  PatternRecord r = quietPattern();
  for (int p = 0; p < kNumParts; ++p) r.synthParams[p].accentStatus = 0;
  synth->setPatternRecord(&r);
  EXPECT_FALSE(synth->isAccentFull());
  synth->fillAccent();
  EXPECT_TRUE(synth->isAccentFull());
  for (int p = 0; p < kNumParts; ++p) {
    EXPECT_EQ(record().synthParams[p].accentStatus, 1);
    EXPECT_EQ(synth->partParameter(p, kAccent), 1);
  }
  expectSequencerPlaysTheRecord();
  synth->setAccentStep(30, false);
  EXPECT_FALSE(synth->isAccentFull());
}

TEST_F(Control, FillEffectSwitchMotionMakesTheSwitchFull) {
  PatternRecord r = quietPattern();
  for (int p = 0; p < kNumParts; ++p) r.synthParams[p].fxSend = 1;
  synth->setPatternRecord(&r);
  // Every part sends, but no step switches the effect on yet; the query
  // makes no track.
  EXPECT_FALSE(synth->isEffectSwitchMotionFull(0));
  EXPECT_EQ(synth->seq()->motionTrackParamId(kParamEffectOnOff), kNoParam);

  for (int p = 0; p < kNumParts; ++p) synth->setPartParameter(p, kFxSend, 0);
  synth->fillEffectSwitchMotion(0);
  EXPECT_TRUE(synth->hasMotion(kParamEffectOnOff));
  EXPECT_TRUE(synth->isEffectSwitchMotionFull(0));
  for (int p = 0; p < kNumParts; ++p) {
    EXPECT_EQ(record().synthParams[p].fxSend, 1) << p;
    EXPECT_EQ(synth->partParameter(p, kFxSend), 1) << p;
  }
  expectSequencerPlaysTheRecord();

  // A step that switches off, or one without a value, is not "on".
  synth->setMotionStep(kParamEffectOnOff, 10, 0, 1);
  EXPECT_FALSE(synth->isEffectSwitchMotionFull(0));
  synth->fillEffectSwitchMotion(0);
  synth->setMotionStep(kParamEffectOnOff, 11, 1, 0);
  EXPECT_FALSE(synth->isEffectSwitchMotionFull(0));
  synth->fillEffectSwitchMotion(0);
  synth->setPartParameter(6, kFxSend, 0);
  EXPECT_FALSE(synth->isEffectSwitchMotionFull(0));
  synth->setPartParameter(6, kFxSend, 1);
  EXPECT_TRUE(synth->isEffectSwitchMotionFull(0));
  synth->clearMotion(kParamEffectOnOff);
  EXPECT_FALSE(synth->hasMotion(kParamEffectOnOff));
  EXPECT_FALSE(synth->isEffectSwitchMotionFull(0));

  // Other effect sets do not exist.
  const PatternRecord before = record();
  synth->fillEffectSwitchMotion(1);
  EXPECT_FALSE(synth->isEffectSwitchMotionFull(1));
  EXPECT_EQ(record(), before);
}

struct ShiftCase {
  int length;
  int lastStep;
  int offset;
  int from;
  int to;
};

class ShiftSteps : public Control, public ::testing::WithParamInterface<ShiftCase> {};

TEST_P(ShiftSteps, RotatesOnlyThePlayedStepsOfRecordSequencerAndMotion) {
  const ShiftCase c = GetParam();
  PatternRecord r = quietPattern();
  synth->setPatternRecord(&r);
  synth->setPatternLength(c.length);
  synth->setLastStep(c.lastStep);
  const int part = 5;
  synth->setStep(part, c.from, true);
  synth->setStep(part + 1, c.from, true);  // another part stays
  // Steps that are not played never move.
  const int unplayedInBar = c.lastStep < 16 ? 15 : -1;
  const int unplayedBar = c.length < 4 ? 63 : -1;
  for (int s : {unplayedInBar, unplayedBar})
    if (s >= 0) synth->setStep(part, s, true);
  const ParamId pitch = part * 16 + kPitch;
  synth->setMotionStep(pitch, c.from, 77, 1);

  synth->shiftPartSteps(part, c.offset);
  const PatternRecord after = record();
  for (int s = 0; s < kNumSteps; ++s) {
    const bool expect = s == c.to || s == unplayedInBar || s == unplayedBar;
    EXPECT_EQ(after.sequencerParams.trigger[part][s] != 0, expect) << "step " << s;
    EXPECT_EQ(after.sequencerParams.trigger[part + 1][s] != 0, s == c.from) << "step " << s;
    EXPECT_EQ(after.motionParams[pitch].trigger[s] != 0, s == c.to) << "motion step " << s;
  }
  EXPECT_EQ(after.motionParams[pitch].value[c.to], 77);
  expectSequencerPlaysTheRecord();
}

// The value at the offset-th played step moves to the first played step.
INSTANTIATE_TEST_SUITE_P(
    Layouts, ShiftSteps,
    ::testing::Values(ShiftCase{1, 16, 1, 5, 4}, ShiftCase{1, 16, -1, 5, 6}, ShiftCase{1, 16, 1, 0, 15},
                      ShiftCase{2, 3, 1, 16, 2}, ShiftCase{2, 3, -1, 18, 0}, ShiftCase{2, 3, 6, 17, 17},
                      ShiftCase{2, 3, -7, 1, 2}, ShiftCase{4, 16, 16, 20, 4}, ShiftCase{3, 5, -2, 36, 1}));

TEST_F(Control, ShiftAccentStepsTakesTheAccentMotionAlong) {
  PatternRecord r = quietPattern();
  for (auto& a : r.sequencerParams.accent) a = 0;
  r.sequencerParams.accent[3] = 1;
  synth->setPatternRecord(&r);
  synth->setMotionStep(kParamAccentLevel, 3, 90, 1);
  synth->shiftAccentSteps(2);
  EXPECT_TRUE(record().sequencerParams.accent[1]);
  EXPECT_FALSE(record().sequencerParams.accent[3]);
  EXPECT_TRUE(record().motionParams[kParamAccentLevel].trigger[1]);
  EXPECT_EQ(record().motionParams[kParamAccentLevel].value[1], 90);
  synth->setMotionStep(kParamEffectOnOff, 0, 1, 1);
  synth->shiftEffectMotion(0, -3);
  EXPECT_TRUE(record().motionParams[kParamEffectOnOff].trigger[3]);
  expectSequencerPlaysTheRecord();
}

// --- motion -------------------------------------------------------------------------------

TEST_F(Control, MotionOperationsWithNoParameterCreateNothing) {
  const PatternRecord before = record();
  synth->setMotionStep(kNoParam, 0, 50, 1);
  synth->setMotionStep(kNumParamIds, 0, 50, 1);
  synth->setMotionStep(5, kNumSteps, 50, 1);
  synth->setMotionStep(5, -1, 50, 1);
  synth->clearMotion(kNoParam);
  synth->clearMotion(kNumParamIds);
  synth->valueEditStarted(kNoParam);
  synth->valueEditFinished(kNoParam);
  EXPECT_FALSE(synth->hasMotion(kNoParam));
  bool trig = true, enabled = true;
  int32_t value = 1;
  EXPECT_FALSE(synth->motionStep(kNoParam, 0, &trig, &value, &enabled));
  EXPECT_EQ(record(), before);
  for (ParamId id = 0; id < kNumParamIds; ++id) EXPECT_EQ(synth->seq()->motionTrackParamId(id), kNoParam) << id;
}

TEST_F(Control, MotionStepAndClear) {
  synth->setMotionStep(40, 7, 100, 1);
  bool trig = false, enabled = false;
  int32_t value = 0;
  ASSERT_TRUE(synth->motionStep(40, 7, &trig, &value, &enabled));
  EXPECT_TRUE(trig);
  EXPECT_TRUE(enabled);
  EXPECT_EQ(value, 100);
  EXPECT_TRUE(synth->hasMotion(40));
  expectSequencerPlaysTheRecord();
  synth->clearMotion(40);
  EXPECT_FALSE(synth->hasMotion(40));
  EXPECT_EQ(record().motionParams[40].motionId, kNoParam);
  for (int s = 0; s < kNumSteps; ++s) {
    EXPECT_EQ(record().motionParams[40].trigger[s], 0);
    EXPECT_EQ(synth->seq()->motionStep(40, s) & MotionTrack::kNoValue, MotionTrack::kNoValue);
  }
}

TEST_F(Control, CopyMotionBarCopiesEveryEnabledSlot) {
  PatternRecord r = quietPattern();
  r.sequencerParams.length = 2;
  synth->setPatternRecord(&r);
  synth->setMotionStep(17, 3, 64, 1);
  synth->setMotionStep(kParamEffectEdit2, 15, 9, 1);
  synth->copyMotionBar(0, 1);
  EXPECT_TRUE(record().motionParams[17].trigger[19]);
  EXPECT_EQ(record().motionParams[17].value[19], 64);
  EXPECT_EQ(record().motionParams[kParamEffectEdit2].value[31], 9);
  EXPECT_FALSE(synth->hasMotion(18));
  expectSequencerPlaysTheRecord();
}

// --- arguments out of range -------------------------------------------------------------

TEST_F(Control, OutOfRangePartsSetsAndStepsWriteNothing) {
  PatternRecord r = quietPattern();
  r.sequencerParams.trigger[7][63] = 1;
  synth->setPatternRecord(&r);
  synth->setMotionStep(0, 0, 12, 1);
  const PatternRecord before = record();
  const int32_t fxType = synth->multiEffector().knobParameter(0);
  struct Op {
    const char* name;
    std::function<int32_t(Synth&)> run;
    int32_t answer;  // what the operation returns (0 when it returns nothing)
  };
  PatternRecord other = quietPattern();
  const std::vector<Op> ops = {
      {"setPartParameter part 8", [](Synth& s) { return s.setPartParameter(8, kPitch, 50); }, 0},
      {"setPartParameter part -1", [](Synth& s) { return s.setPartParameter(-1, kPitch, 50); }, 0},
      {"setPartParameter index 13", [](Synth& s) { return s.setPartParameter(2, 13, 50); }, 0},
      {"setPartParameter index -1", [](Synth& s) { return s.setPartParameter(2, -1, 50); }, 0},
      {"partParameter part 8", [](Synth& s) { return s.partParameter(8, kPitch); }, 0},
      {"setEffectParameter set 1", [](Synth& s) { return s.setEffectParameter(1, 0, 5); }, 0},
      {"setEffectParameter set -1", [](Synth& s) { return s.setEffectParameter(-1, 1, 5); }, 0},
      {"setEffectParameter index 4", [](Synth& s) { return s.setEffectParameter(0, 4, 5); }, 0},
      {"setAccentParameter index 2", [](Synth& s) { return s.setAccentParameter(2, 5); }, 5},
      {"setStep part 8", [](Synth& s) { s.setStep(8, 0, true); return 0; }, 0},
      {"setStep step 64", [](Synth& s) { s.setStep(0, 64, true); return 0; }, 0},
      {"setStep step -1", [](Synth& s) { s.setStep(0, -1, true); return 0; }, 0},
      {"step part 8", [](Synth& s) { return int32_t{s.step(8, 0)}; }, 0},
      {"clearPartSteps part 9", [](Synth& s) { s.clearPartSteps(9); return 0; }, 0},
      {"isPartEmpty part 8", [](Synth& s) { return int32_t{s.isPartEmpty(8)}; }, 1},
      {"copyBar to bar 4", [](Synth& s) { s.copyBar(0, 4); return 0; }, 0},
      {"setAccentStep step 64", [](Synth& s) { s.setAccentStep(64, false); return 0; }, 0},
      {"shiftPartSteps part 8", [](Synth& s) { s.shiftPartSteps(8, 1); return 0; }, 0},
      {"shiftPartSteps part -1", [](Synth& s) { s.shiftPartSteps(-1, 1); return 0; }, 0},
      {"shiftEffectMotion set 1", [](Synth& s) { s.shiftEffectMotion(1, 1); return 0; }, 0},
      {"copyMotionBar from bar 7", [](Synth& s) { s.copyMotionBar(7, 0); return 0; }, 0},
      {"partMotionType part 8", [](Synth& s) { return int32_t{s.partMotionType(8)}; }, 0},
      {"randomizePartSound part 8", [&other](Synth& s) { s.randomizePartSound(8, &other); return 0; }, 0},
      {"randomizeCurrentPartSound part 8", [](Synth& s) { s.randomizeCurrentPartSound(8); return 0; }, 0},
      {"randomizePartSteps part 8", [](Synth& s) { s.randomizeCurrentPartSteps(8); return 0; }, 0},
      {"randomizePartSteps no fields", [](Synth& s) { s.randomizePartSteps(1, nullptr); return 0; }, 0},
      {"randomizePartSound no record", [](Synth& s) { s.randomizePartSound(1, nullptr); return 0; }, 0},
      {"setPatternRecord no record", [](Synth& s) { s.setPatternRecord(nullptr); return 0; }, 0},
      {"isPartSolo part 8", [](Synth& s) { return int32_t{s.isPartSolo(8)}; }, 0},
  };
  for (const Op& op : ops) {
    EXPECT_EQ(op.run(*synth), op.answer) << op.name;
    ASSERT_EQ(record(), before) << op.name;
    ASSERT_EQ(other, quietPattern()) << op.name;
  }
  EXPECT_EQ(synth->multiEffector().knobParameter(0), fxType);
  for (int p = 0; p < kNumParts; ++p) EXPECT_EQ(synth->partParameter(p, kPitch), before.synthParams[p].pitch);
  expectSequencerPlaysTheRecord();
}

TEST_F(Control, MasterParametersAreClampedNotMasked) {
  struct Case {
    int32_t which;
    int32_t value;
    int32_t stored;  // the setting read back; -1: the call changes nothing
  };
  const Case cases[] = {{0, 128, 127}, {0, 255, 127}, {0, 200, 127}, {0, -5, 0}, {0, 90, 90},
                        {1, 128, 127}, {1, 1000, 127}, {1, -1, 0}, {1, 33, 33}, {2, 50, -1}, {-1, 50, -1}};
  for (const Case& c : cases) {
    const int32_t volume = settings().get(GlobalSettings::kMasterVolume);
    const int32_t tube = settings().get(GlobalSettings::kTubeGain);
    const int32_t answer = synth->setMasterParameter(c.which, c.value);
    if (c.stored < 0) {
      EXPECT_EQ(answer, 0);
      EXPECT_EQ(settings().get(GlobalSettings::kMasterVolume), volume);
      EXPECT_EQ(settings().get(GlobalSettings::kTubeGain), tube);
      EXPECT_EQ(synth->masterParameter(c.which), 0);
      continue;
    }
    EXPECT_EQ(answer, c.stored) << c.which << " " << c.value;
    EXPECT_EQ(synth->masterParameter(c.which), c.stored);
    if (c.which == 0) {
      EXPECT_EQ(settings().get(GlobalSettings::kMasterVolume), c.stored);
      EXPECT_EQ(synth->masterFader().value(), c.stored);
    } else {
      EXPECT_EQ(settings().get(GlobalSettings::kTubeGain), c.stored);
      EXPECT_EQ(synth->masterDrive().value(), c.stored);
    }
  }
  // 128 is loud, not silent.
  freshEngine();
  synth->setMasterParameter(0, 128);
  PatternRecord r = quietPattern();
  r.sequencerParams.trigger[0][0] = 1;
  synth->setPatternRecord(&r);
  EXPECT_GT(peak(bounce(8192).left, 4096), 0);
}

// --- every edit changes what plays ----------------------------------------------------------

// One row: an edit of a one-bar pattern that plays part 1 on step 0 with a
// short decay; what the record must then hold; what the bounce must sound.
struct EditRow {
  const char* name;
  std::function<void(Synth&)> edit;
  std::function<void(const PatternRecord&)> inRecord;
  std::function<void(const Stereo& out, const Stereo& base)> heard;
};

// Silence from `from` up to the frame, then sound on it.
bool startsAt(const Stereo& out, size_t frame, size_t from) {
  return firstNonZero(out, from) == static_cast<int64_t>(frame);
}

TEST_F(Control, EveryEditChangesTheRecordAndWhatPlays) {
  PatternRecord base = quietPattern();
  base.sequencerParams.trigger[0][0] = 1;
  for (int p = 0; p < kNumParts; ++p) base.synthParams[p].decay = 20;

  const std::vector<EditRow> rows = {
      {"setStep", [](Synth& s) { s.setStep(2, 4, true); },
       [](const PatternRecord& r) { EXPECT_TRUE(r.sequencerParams.trigger[2][4]); },
       [](const Stereo& o, const Stereo&) { EXPECT_TRUE(startsAt(o, 22050, 8000)); }},
      {"setStep off", [](Synth& s) { s.setStep(0, 0, false); },
       [](const PatternRecord& r) { EXPECT_FALSE(r.sequencerParams.trigger[0][0]); },
       [](const Stereo& o, const Stereo&) { EXPECT_EQ(firstNonZero(o), -1); }},
      {"clearPartSteps", [](Synth& s) { s.setStep(0, 9, true); s.clearPartSteps(0); },
       [](const PatternRecord& r) { EXPECT_FALSE(r.sequencerParams.trigger[0][9]); },
       [](const Stereo& o, const Stereo&) { EXPECT_EQ(firstNonZero(o), -1); }},
      {"shiftPartSteps", [](Synth& s) { s.shiftPartSteps(0, -2); },
       [](const PatternRecord& r) { EXPECT_TRUE(r.sequencerParams.trigger[0][2]); },
       [](const Stereo& o, const Stereo&) { EXPECT_EQ(firstNonZero(o), 11025); }},
      {"copyBar", [](Synth& s) { s.setPatternLength(2); s.copyBar(0, 1); },
       [](const PatternRecord& r) {
         EXPECT_EQ(r.sequencerParams.length, 2);
         EXPECT_TRUE(r.sequencerParams.trigger[0][16]);
       },
       [](const Stereo& o, const Stereo&) { EXPECT_TRUE(startsAt(o, 88200, 20000)); }},
      {"setTempoFromUi", [](Synth& s) { s.setTempoFromUi(600); s.setStep(0, 2, true); },
       [](const PatternRecord& r) { EXPECT_EQ(r.sequencerParams.tempo, 600); },
       [](const Stereo& o, const Stereo&) { EXPECT_TRUE(startsAt(o, 22050, 8000)); }},
      {"setSwing", [](Synth& s) { s.setSwing(75); s.setStep(0, 1, true); },
       [](const PatternRecord& r) { EXPECT_EQ(r.sequencerParams.swing, 75); },
       [](const Stereo& o, const Stereo&) { EXPECT_TRUE(startsAt(o, 8269, 6000)); }},
      {"setLastStep", [](Synth& s) { s.setLastStep(4); },
       [](const PatternRecord& r) { EXPECT_EQ(r.sequencerParams.lastStep, 4); },
       [](const Stereo& o, const Stereo&) { EXPECT_TRUE(startsAt(o, 22050, 8000)); }},
      {"setPartMute", [](Synth& s) { s.setPartMute(0, 1); },
       [](const PatternRecord& r) { EXPECT_EQ(r.synthParams[0].mute, 1); },
       [](const Stereo& o, const Stereo&) { EXPECT_EQ(firstNonZero(o), -1); }},
      {"setPartParameter", [](Synth& s) { s.setPartParameter(0, kLevel, 0); },
       [](const PatternRecord& r) { EXPECT_EQ(r.synthParams[0].level, 0); },
       [](const Stereo& o, const Stereo&) { EXPECT_EQ(firstNonZero(o), -1); }},
      {"setMotionStep", [](Synth& s) {
         s.setPartParameter(0, kMotionSeq, 1);
         for (int st = 0; st < 16; ++st) s.setMotionStep(kLevel, st, 0, 1);
       },
       [](const PatternRecord& r) {
         EXPECT_TRUE(r.motionParams[kLevel].enabled);
         EXPECT_EQ(r.synthParams[0].motionType, 1);
       },
       // The motion value of step 0 reaches the part before its note.
       [](const Stereo& o, const Stereo&) { EXPECT_EQ(firstNonZero(o), -1); }},
      {"setCrossRingMod", [](Synth& s) { s.setCrossRingMod(2); },
       [](const PatternRecord& r) { EXPECT_EQ(r.sequencerParams.crossRingMod, 2); },
       [](const Stereo& o, const Stereo&) { EXPECT_EQ(firstNonZero(o), -1); }},
      {"setAccentStep", [](Synth& s) { s.setAccentParameter(0, 127); s.setAccentStep(0, true); },
       [](const PatternRecord& r) {
         EXPECT_TRUE(r.sequencerParams.accent[0]);
         EXPECT_EQ(r.sequencerParams.accentLevel, 127);
       },
       [](const Stereo& o, const Stereo& b) { EXPECT_GT(peak(o.left), 2 * peak(b.left)); }},
      {"fillAccent", [](Synth& s) { s.setAccentParameter(0, 127); s.fillAccent(); },
       [](const PatternRecord& r) { EXPECT_TRUE(r.sequencerParams.accent[63]); },
       [](const Stereo& o, const Stereo& b) { EXPECT_GT(peak(o.left), 2 * peak(b.left)); }},
      {"setAccentParameter", [](Synth& s) { s.setAccentParameter(0, 0); },
       [](const PatternRecord& r) { EXPECT_EQ(r.sequencerParams.accentLevel, 0); },
       [](const Stereo& o, const Stereo& b) { EXPECT_GT(peak(o.left), 2 * peak(b.left)); }},
      {"fillEffectSwitchMotion", [](Synth& s) { s.setEffectParameter(0, 0, 3); s.fillEffectSwitchMotion(0); },
       [](const PatternRecord& r) {
         EXPECT_EQ(r.synthParams[0].fxSend, 1);
         EXPECT_EQ(r.effectParams[0].type, 3);
       },
       // The reverb's tail goes on after the dry note has died away.
       [](const Stereo& o, const Stereo& b) {
         EXPECT_EQ(peak(b.left, 8000, 20000), 0);
         EXPECT_GT(peak(o.left, 8000, 20000), 0);
       }},
      {"randomizeCurrentPartSteps", [](Synth& s) {
         s.randomizer().seed(12345);
         s.setRandomizeAmount(0, 8);
         s.randomizeCurrentPartSteps(3);
       },
       [](const PatternRecord& r) {
         int on = 0;
         for (int st = 0; st < 16; ++st) on += r.sequencerParams.trigger[3][st];
         EXPECT_GT(on, 0);
       },
       [](const Stereo& o, const Stereo& b) { EXPECT_NE(o.left, b.left); }},
  };

  synth->setPatternRecord(&base);
  const Stereo baseline = bounce(2 * 88200);
  ASSERT_EQ(firstNonZero(baseline), 0);
  ASSERT_EQ(firstNonZero(baseline, 8000), 88200) << "one bar, part 1 on step 0";
  for (const EditRow& row : rows) {
    SCOPED_TRACE(row.name);
    freshEngine();
    synth->setPatternRecord(&base);
    row.edit(*synth);
    row.inRecord(record());
    expectSequencerPlaysTheRecord();
    row.heard(bounce(2 * 88200), baseline);
  }
}

// --- from another thread while rendering ---------------------------------------------------

TEST_F(Control, TheRecordTakesTheLatestLoadOfTheRenderSide) {
  for (int i = 0; i < 5; ++i) {
    PatternRecord r = quietPattern();
    r.sequencerParams.tempo = static_cast<int16_t>(700 + 100 * i);
    r.sequencerParams.trigger[i][i] = 1;
    provider.storePattern(r, i);
  }
  // Three loads in a row on the render side, none taken by the main thread
  // in between: it gets the last one whole.
  PatternRecord* const held = synth->currentPattern();
  for (int i = 1; i <= 3; ++i) {
    synth->changePatternSilently(i);
    renderOffline(64);
  }
  EXPECT_EQ(synth->currentPattern(), held);  // the same record, brought up to date
  EXPECT_EQ(synth->currentPatternIndex(), 3);
  EXPECT_EQ(record().sequencerParams.tempo, 1000);
  EXPECT_TRUE(record().sequencerParams.trigger[3][3]);
  EXPECT_FALSE(record().sequencerParams.trigger[2][2]);
  expectSequencerPlaysTheRecord();
  // Loads after the main thread took one keep coming through (the slots
  // go round).
  for (int round = 0; round < 6; ++round) {
    const int i = round % 2 == 0 ? 4 : 0;
    synth->changePatternSilently(i);
    renderOffline(64);
    EXPECT_EQ(record().sequencerParams.tempo, 700 + 100 * i) << round;
    EXPECT_TRUE(record().sequencerParams.trigger[i][i]) << round;
  }
}


TEST_F(Control, TheCurrentIndexNeverRunsAheadOfTheRecordTheInterfaceReads) {
  // Pattern i has one step: part i, step 0.
  for (int i = 0; i < 4; ++i) {
    PatternRecord r = quietPattern();
    r.sequencerParams.trigger[i][0] = 1;
    provider.storePattern(r, i);
  }
  loadThroughSequencer(0);
  std::atomic<bool> stop{false};
  std::thread audio([&] {
    std::vector<int16_t> l(64), r(64);
    int16_t* ch[2] = {l.data(), r.data()};
    while (!stop.load()) synth->render(nullptr, ch, 64);
  });
  int early = 0;
  int landed = 0;
  for (int round = 1; round <= 300; ++round) {
    const int target = round % 4;
    synth->changePatternSilently(target);
    // One load in flight at a time: the moment the main thread sees the new
    // index, the record it reads must be the new pattern's.
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (std::chrono::steady_clock::now() < end) {
      if (synth->currentPatternIndex() != target) continue;
      early += synth->step(target, 0) ? 0 : 1;
      ++landed;
      break;
    }
  }
  stop.store(true);
  audio.join();
  EXPECT_EQ(landed, 300);
  EXPECT_EQ(early, 0) << "the index changed before the record the interface reads";
}

TEST_F(Control, EditsFromAnotherThreadWhileTheAudioRenders) {
  for (int i = 0; i < 4; ++i) {
    PatternRecord r = quietPattern();
    // Fast, so that the pattern ends (and a queued change loads) often.
    r.sequencerParams.tempo = static_cast<int16_t>(5000 + 200 * i);
    r.sequencerParams.trigger[i][0] = 1;
    provider.storePattern(r, i);
  }
  CallLog log;  // its names are read only after the audio thread has finished
  synth->setListener(&log);
  synth->changePatternSilently(0);
  synth->startSequencer(0);
  std::atomic<bool> stop{false};
  std::atomic<long> buffers{0};
  std::thread audio([&] {
    std::vector<int16_t> l(256), r(256);
    int16_t* ch[2] = {l.data(), r.data()};
    while (!stop.load()) {
      synth->render(nullptr, ch, 256);
      ++buffers;
    }
  });
  for (int round = 0; round < 400; ++round) {
    const int p = round % 8;
    synth->setStep(p, round % 64, round % 3 != 0);
    synth->setPartParameter(p, round % 13, round % 128);
    synth->setAccentStep(round % 64, round % 2 == 0);
    synth->setMotionStep(p * 16 + kPitch, round % 16, round % 128, 1);
    if (round % 7 == 0) synth->shiftPartSteps(p, 1);
    if (round % 11 == 0) synth->copyBar(0, 1 + round % 3);
    if (round % 13 == 0) synth->clearMotion(p * 16 + kPitch);
    if (round % 17 == 0) synth->fillEffectSwitchMotion(0);
    if (round % 19 == 0) synth->copyMotionBar(0, 2);
    if (round % 23 == 0) synth->setEffectParameter(0, 0, round % 8);
    if (round % 29 == 0) synth->setCrossRingMod(round % 3);
    if (round % 31 == 0) synth->setMasterParameter(0, 60 + round % 60);
    if (round % 37 == 0) synth->triggerPartLive(p);
    if (round % 41 == 0) synth->changePatternSilently(round % 4);
    if (round % 43 == 0) synth->setTempoFromUi(4000 + round);
    (void)synth->isEffectSwitchMotionFull(0);
    (void)synth->currentStep(true);
    // The interface reads the record while the audio loads patterns.
    const PatternRecord& r = *synth->currentPattern();
    int steps = 0;
    for (const auto& row : r.sequencerParams.trigger)
      for (uint8_t b : row) steps += b;
    (void)steps;
    if (round % 50 == 0) std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  // Let the last queued change land. The bounds are generous: a loaded
  // machine (sanitizers, parallel tests) can starve the audio thread, and
  // then every change of the rounds may be taken in one buffer, leaving a
  // single load. So one more change follows, to a pattern other than the
  // last one asked for, and it must load while the audio runs on.
  for (int i = 0; i < 30000 && (buffers.load() < 400 || synth->currentPatternIndex() != synth->pendingPattern()); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  const long changesBefore = log.patternChanges.load();
  synth->changePatternSilently((synth->pendingPattern() + 1) % 4);
  for (int i = 0; i < 30000 && log.patternChanges.load() == changesBefore; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  stop.store(true);
  audio.join();
  synth->setListener(nullptr);
  EXPECT_GT(buffers.load(), 0);
  EXPECT_GT(log.count("patternChanged"), 1);
  EXPECT_EQ(synth->skippedLoads(), 0u);
  // What the main thread holds agrees with what plays.
  EXPECT_EQ(record().sequencerParams.tempo, synth->seq()->param(0));
}

TEST_F(Control, ThePanelsRecStateArmsAndSetsTheSequencersFlagWithoutACommand) {
  CallLog log;
  synth->setListener(&log);
  ASSERT_FALSE(synth->isRecordArmed());
  ASSERT_FALSE(synth->isRecording());
  synth->setRecordArmed(true);
  EXPECT_TRUE(synth->isRecordArmed());
  EXPECT_TRUE(synth->isRecording()) << "at once, not at the next render";
  renderOffline(256);
  EXPECT_TRUE(synth->isRecording());
  EXPECT_EQ(log.count("recording"), 0) << "the panel's own change is not reported back";
  // A controller's Rec button toggles from the flag the panel set.
  const uint8_t rec[3] = {0xBF, 45, 127};
  synth->handleFaderControllerInput(0, 0, rec, 3);
  renderOffline(256);
  EXPECT_FALSE(synth->isRecording());
  EXPECT_EQ(log.count("recording"), 1);
  EXPECT_TRUE(synth->isRecordArmed()) << "the armed flag is the panel's alone";
  synth->setRecordArmed(false);
  EXPECT_FALSE(synth->isRecordArmed());
  EXPECT_FALSE(synth->isRecording());
  synth->setListener(nullptr);
}

// A reload that lands while a block renders (here from the render thread
// itself, at the sequencer's second return to the top) must not reach a
// ringing voice through the block's later pick-ups: the voice keeps its
// sound, sample for sample, as if nothing had been loaded.
TEST_F(Control, AReloadDuringABlockLeavesARingingVoiceAlone) {
  struct AtTheTop : synthtest::CallLog {
    std::function<void()> atTop;
    long tops = 0;
    void seqReturnedToTheBeginning() override {
      if (++tops == 2 && atTop) atTop();
    }
  };
  PatternRecord ringing = synthtest::quietPattern();
  ringing.synthParams[0].pitch = 30;
  ringing.synthParams[0].waveform = 2;
  ringing.synthParams[0].decay = 127;
  ringing.synthParams[0].level = 120;
  ringing.synthParams[0].mute = 0;
  ringing.sequencerParams.lastStep = 1;
  ringing.sequencerParams.length = 1;
  auto play = [&](bool load) {
    Synth::destroyInstance();
    synth = Synth::getInstance(44100.0f);
    synth->setDataProvider(&provider);
    provider.storePattern(ringing, 3);
    synth->changePatternSilently(3);
    renderOffline(64);
    AtTheTop l;
    synth->setListener(&l);
    synth->triggerPartLive(0);
    synth->startSequencer(0);
    if (load) l.atTop = [&] {
      PatternRecord changed = ringing;
      changed.synthParams[0].pitch = 100;
      changed.synthParams[0].level = 20;
      provider.storePattern(changed, 3);
      synth->reloadPattern();
    };
    igbtest::SteppingAudioIO io;
    synthtest::Stereo out = renderLive(16 * 1024, 1024, &io);
    EXPECT_GE(l.tops, 2);
    synth->setListener(nullptr);
    return out;
  };
  const synthtest::Stereo quiet = play(false);
  const synthtest::Stereo reloaded = play(true);
  ASSERT_GT(synthtest::peak(quiet.left), 1000);
  EXPECT_TRUE(quiet.left == reloaded.left);
  EXPECT_TRUE(quiet.right == reloaded.right);
}

}  // namespace
