// Every control operation from the main thread while another thread renders
// live. Built into the ThreadSanitizer tree as well (scripts/test): there a
// write of voice, effect or sequencer state from the main thread that the
// render thread reads is reported and fails the run.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <thread>
#include <vector>

#include "synth_test_support.h"

namespace {

using synthtest::EngineTest;
using synthtest::quietPattern;

class ControlTsan : public EngineTest {
 protected:
  void startAudio() {
    audio_ = std::thread([this] {
      std::vector<int16_t> l(128), r(128);
      int16_t* ch[2] = {l.data(), r.data()};
      while (!stop_.load()) {
        synth->render(nullptr, ch, 128);
        buffers_.fetch_add(1);
      }
    });
  }
  void stopAudio() {
    stop_.store(true);
    if (audio_.joinable()) audio_.join();
  }
  // Waits (at most ten seconds) until the audio thread has rendered `n`
  // more buffers, so that what was asked of it has been taken.
  void letAudioRun(long n) {
    const long target = buffers_.load() + n;
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (buffers_.load() < target && std::chrono::steady_clock::now() < end)
      std::this_thread::sleep_for(std::chrono::microseconds(200));
  }
  void TearDown() override {
    stopAudio();
    provider.setLibraryObserver(nullptr);
    EngineTest::TearDown();
  }

  std::thread audio_;
  std::atomic<bool> stop_{false};
  std::atomic<long> buffers_{0};
};

TEST_F(ControlTsan, EveryControlOperationWhileAnotherThreadRenders) {
  for (int i = 0; i < 4; ++i) {
    PatternRecord r = quietPattern();
    // Fast, with notes ringing across loads and motion playing, so that
    // voices sound and pattern ends come often.
    r.sequencerParams.tempo = static_cast<int16_t>(4800 + 300 * i);
    for (int p = 0; p < kNumParts; ++p) {
      r.sequencerParams.trigger[p][(p + i) % 16] = 1;
      r.synthParams[p].fxSend = 1;
      r.synthParams[p].motionType = 1;
    }
    r.effectParams[0].trigger = 1;
    r.effectParams[0].type = i;
    r.motionParams[kPitch].enabled = 1;
    for (int s = 0; s < kNumSteps; ++s) {
      r.motionParams[kPitch].trigger[s] = 1;
      r.motionParams[kPitch].value[s] = static_cast<int16_t>(s * 2);
    }
    provider.storePattern(r, i);
  }
  provider.setLibraryObserver(synth);
  synth->changePatternSilently(0);
  synth->startSequencer(0);
  startAudio();
  letAudioRun(4);

  // Program changes arrive on a MIDI thread of their own.
  std::atomic<bool> midiDone{false};
  std::thread midi([&] {
    for (uint32_t k = 0; !midiDone.load(); ++k) {
      synth->seq()->programChange(0, k % 4);
      std::this_thread::yield();
    }
  });
  synthParams rows[kNumParts];
  std::memcpy(rows, synth->currentPattern()->synthParams, sizeof rows);
  for (int round = 0; round < 120; ++round) {
    const int p = round % kNumParts;
    // Loads: init, reload, pattern changes, a whole record, the edit buffer.
    switch (round % 6) {
      case 0: synth->initializePattern(); break;
      case 1: synth->reloadPattern(); break;
      case 2: synth->changePatternSilently((round / 6) % 4); break;
      case 3: synth->changePattern((round / 6 + 1) % 4); break;
      case 4: {
        PatternRecord r = provider.patternAt(round % 4);
        synth->setPatternRecord(&r);
        break;
      }
      case 5:
        synth->storeEditBuffer();
        synth->restoreEditBuffer();
        break;
    }
    if (round % 10 == 0) synth->patternTagStored();
    // The library changes the numbers a waiting change and the playing
    // record refer to.
    switch (round % 4) {
      case 0: provider.storePattern(provider.patternAt((round / 4) % 4), (round / 4 + 1) % 4); break;
      case 1: provider.initializePattern(round % 4, 0); break;
      case 2: provider.movePatterns(round % 4, 0, (round + 1) % 4, 0); break;
      case 3:
        if (round % 40 == 3) provider.replacePatterns(provider.patternAt(round % 4), 1);
        break;
    }
    // Parameters.
    synth->setPartParameter(p, round % 13, round % 128);
    for (int index = 0; index < 4; ++index) synth->setEffectParameter(0, index, (round * 7 + index) % 128);
    synth->setAccentParameter(round % 2, round % 128);
    synth->setCrossRingMod(round % 3);
    synth->setMasterParameter(round % 2, 64 + round % 64);
    synth->setTempoFromUi(3000 + 10 * round);
    synth->setSwing(50 + round % 26);
    synth->setPatternLength(1 + round % 4);
    synth->setLastStep(1 + round % 16);
    if (round % 9 == 0) synth->applyPartParameters(rows);
    // Mute and solo.
    synth->setPartMute(p, round % 2);
    synth->setSoloMode(round % 4 == 1);
    synth->setPartSolo(p, true, round % 3 == 0);
    if (round % 11 == 0) synth->muteAllParts();
    // Steps, accent, motion.
    synth->setStep(p, round % 64, round % 3 != 0);
    synth->setAccentStep(round % 64, round % 2 == 0);
    if (round % 7 == 0) synth->clearPartSteps(p);
    if (round % 8 == 0) synth->copyBar(0, 1 + round % 3);
    if (round % 12 == 0) synth->fillAccent();
    synth->shiftPartSteps(p, 1);
    synth->shiftAccentSteps(-1);
    synth->shiftEffectMotion(0, 1);
    synth->startStepJump(round % 16, true);
    if (round % 5 == 0) synth->endStepJump();
    synth->setMotionStep(p * 16 + kPitch, round % 64, round % 128, 1);
    synth->valueEditStarted(p * 16 + kLevel);
    synth->valueEditFinished(p * 16 + kLevel);
    if (round % 13 == 0) synth->clearMotion(p * 16 + kPitch);
    if (round % 14 == 0) synth->copyMotionBar(0, 3);
    if (round % 15 == 0) synth->fillEffectSwitchMotion(0);
    // Randomizer.
    synth->setRandomizeAmount(round % 8, round % 128);
    synth->randomizeCurrentPartSteps(p);
    synth->randomizeCurrentPartSound(p);
    // Live play and transport.
    synth->triggerPartLive(p);
    synth->setCurrentPart(static_cast<uint32_t>(p));
    synth->setRecordArmed(round % 2 == 0);
    if (round % 16 == 0) synth->setLoop(round % 32 == 0);
    if (round % 20 == 0) synth->setPatternSetMode(round % 40 == 0);
    if (round % 25 == 0) {
      synth->stopSequencer(0);
      synth->startSequencer(0);
    }
    if (round % 30 == 0) synth->resetSound();
    // The packed identifiers of every group.
    for (int32_t group = 0; group <= 13; ++group) synth->setParameterById(group * 65536 + round % 13, round % 128);
    // Queries the interface makes.
    (void)synth->partParameter(p, round % 13);
    (void)synth->isEffectSwitchMotionFull(0);
    (void)synth->isAccentFull();
    (void)synth->currentStep(true);
    (void)synth->pendingPattern();
    (void)synth->currentPatternIndex();
    if (round % 4 == 0) letAudioRun(1);
  }
  midiDone = true;
  midi.join();
  // A last change raced by a move: what plays is the library's record under
  // the number the engine reports, so that a save of it goes to its own file.
  letAudioRun(8);
  const int32_t last = synth->currentPatternIndex() == 2 ? 1 : 2;  // a number that loads
  synth->changePatternSilently(last);
  provider.movePatterns(last, 0, 0, 0);
  letAudioRun(8);
  stopAudio();
  EXPECT_GT(buffers_.load(), 8);
  EXPECT_EQ(synth->skippedLoads(), 0u);
  ASSERT_EQ(synth->currentPatternIndex(), 0);
  const PatternRecord stored = provider.patternAt(synth->currentPatternIndex());
  EXPECT_EQ(std::memcmp(synth->currentPattern()->synthParams, stored.synthParams, sizeof stored.synthParams), 0);
  EXPECT_EQ(std::memcmp(synth->currentPattern()->sequencerParams.trigger, stored.sequencerParams.trigger,
                        sizeof stored.sequencerParams.trigger),
            0);
}

}  // namespace
