// The time-stamped command queue and the transport commands.

#include <gtest/gtest.h>

#include <algorithm>

#include "seq_rig.h"

namespace seqtest {
namespace {

bool sliceStartsAt(const Renderer& r, int64_t frame) {
  return std::find(r.sliceStarts.begin(), r.sliceStarts.end(), frame) != r.sliceStarts.end();
}

struct StampCase {
  int64_t frame;
  uint64_t latency;
};

TEST(SeqCommands, StampedCommandRunsAtTheMatchingFrame) {
  const StampCase cases[] = {{0, 0}, {1, 0}, {511, 0}, {512, 0}, {1000, 0}, {5000, 0}, {1000, 5'804'988}, {70001, 2'902'494}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "frame " << c.frame << " latency " << c.latency);
    SeqRig rig;
    rig.io.latency = c.latency;
    rig.seq->setTriggerStep(0, 0, true);
    rig.seq->play(rig.stampFor(c.frame));
    rig.renderer->run(c.frame + 600);
    ASSERT_EQ(rig.listener.startFrames.size(), 1u);
    EXPECT_EQ(rig.listener.startFrames[0] , c.frame / 512 * 512);  // the call it ran in
    ASSERT_EQ(rig.listener.triggerFrames(0).size(), 1u);
    EXPECT_EQ(rig.listener.triggerFrames(0)[0], c.frame);
    EXPECT_TRUE(sliceStartsAt(*rig.renderer, c.frame));
  }
}

TEST(SeqCommands, TheSliceBeforeATimedCommandRendersWithTheOldState) {
  // At 600 BPM steps start at 0, 1103, 2205, ...
  struct Case {
    int64_t stopAt;
    std::vector<int32_t> triggers;
  };
  const Case cases[] = {{1500, {0, 1103}}, {1103, {0}}, {2206, {0, 1103, 2205}}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "stop at " << c.stopAt);
    SeqRig rig;
    rig.seq->setParam(kSeqParamBpm, 6000);
    rig.allSteps(0);
    rig.seq->play(0);
    rig.renderer->run(1024);
    rig.seq->stopFromUi(rig.stampFor(c.stopAt));
    rig.renderer->run(4096);
    EXPECT_TRUE(sliceStartsAt(*rig.renderer, c.stopAt));
    EXPECT_FALSE(rig.seq->isPlaying());
    EXPECT_EQ(rig.listener.triggerFrames(0), c.triggers);
  }
}

TEST(SeqCommands, APastTimeRunsAtTheStartOfTheNextSlice) {
  SeqRig rig;
  rig.seq->setTriggerStep(0, 0, true);
  rig.renderer->run(2048);
  rig.seq->play(rig.renderer->hostAt(10));
  rig.renderer->run(512);
  EXPECT_EQ(rig.listener.triggerFrames(0), (std::vector<int32_t>{2048}));
}

TEST(SeqCommands, SameTimeRunsInCodeOrderThenPostingOrder) {
  SeqRig rig;
  const uint64_t t = rig.stampFor(700);
  rig.seq->setRecording(t, true);   // code 6
  ASSERT_TRUE(rig.seq->programChange(t, 5));  // code 3
  ASSERT_TRUE(rig.seq->changePattern(t, 9));  // code 5
  ASSERT_TRUE(rig.seq->changePattern(t, 8));  // code 5, posted later
  rig.renderer->run(1024);
  std::vector<std::string> order;
  for (const auto& c : rig.listener.calls) {
    if (c.rfind("patternChanged", 0) == 0 || c.rfind("recordingStatusChanged", 0) == 0) order.push_back(c);
  }
  EXPECT_EQ(order, (std::vector<std::string>{"patternChanged 5", "patternChanged 9", "patternChanged 8",
                                              "recordingStatusChanged 1"}));
  EXPECT_EQ(rig.seq->pendingPattern(), 8);
}

TEST(SeqCommands, ChangeToThePendingPatternDoesNothing) {
  SeqRig rig;
  rig.seq->play(0);
  rig.renderer->run(512);
  ASSERT_TRUE(rig.seq->changePattern(0, 7));
  rig.renderer->run(512);
  ASSERT_TRUE(rig.seq->changePattern(0, 7));
  rig.renderer->run(512);
  EXPECT_EQ(rig.listener.count("patternChanged 7"), 1);
  EXPECT_EQ(rig.seq->pendingPattern(), 7);
  EXPECT_TRUE(rig.listener.loads.empty());  // waits for the end of the pattern
}

TEST(SeqCommands, ChangesOutsideTheLibraryAreNotPosted) {
  SeqRig rig;
  ASSERT_EQ(rig.seq->changePatternSilently(3), 3);
  rig.renderer->run(512);
  EXPECT_EQ(rig.seq->changePatternSilently(416), 3);
  EXPECT_EQ(rig.seq->changePatternSilently(-1), 3);
  EXPECT_FALSE(rig.seq->changePattern(0, 416));
  EXPECT_FALSE(rig.seq->changePattern(0, -5));
  rig.renderer->run(512);
  EXPECT_EQ(rig.listener.loads.size(), 1u);
  EXPECT_EQ(rig.provider.fetches.load(), 1);
}

TEST(SeqCommands, ProgramChangeUsesTheBankSelect) {
  SeqRig rig;
  rig.seq->setBankSelectMsb(1);
  EXPECT_FALSE(rig.seq->programChange(0, 5));
  rig.renderer->run(512);
  EXPECT_TRUE(rig.listener.loads.empty());

  rig.seq->setBankSelectMsb(0);
  rig.seq->setBankSelectLsb(2);
  EXPECT_TRUE(rig.seq->programChange(0, 5));
  rig.renderer->run(512);
  ASSERT_EQ(rig.listener.loads.size(), 1u);
  EXPECT_EQ(rig.listener.loads[0].index, 261);
  EXPECT_TRUE(rig.listener.saw("patternChanged 261"));

  rig.seq->setBankSelectLsb(4);  // 5 + 512 is past the 416 patterns
  EXPECT_FALSE(rig.seq->programChange(0, 5));
}

TEST(SeqCommands, WithoutAudioDeviceOnlyUntimedCommandsRun) {
  SeqRig rig;
  rig.seq->setTriggerStep(0, 0, true);
  rig.seq->play(rig.renderer->hostAt(0));
  rig.seq->setLoop(0, true);
  Renderer offline(*rig.seq, rig.listener, nullptr);
  offline.run(4096);
  EXPECT_TRUE(rig.seq->isLoop());
  EXPECT_FALSE(rig.seq->isPlaying());
  rig.renderer->rendered = offline.rendered;
  rig.renderer->run(512);
  EXPECT_TRUE(rig.seq->isPlaying());
}

TEST(SeqCommands, StopReportsInOrderAndDoesNotRewind) {
  SeqRig rig;
  rig.seq->setTriggerStep(0, 0, true);
  rig.seq->play(0);
  rig.renderer->run(30000);
  const int32_t step = rig.seq->position().step();
  EXPECT_GT(step, 0);
  rig.listener.clear();
  rig.seq->stopFromUi(0);
  rig.renderer->run(1);
  const std::vector<std::string> expected = {"playStateChanged 0", "setTempo 1200", "recordingStatusChanged 0",
                                             "sequenceDidStop", "stopCommandProcessed"};
  EXPECT_EQ(rig.listener.calls, expected);
  EXPECT_EQ(rig.seq->position().step(), step);
  rig.seq->play(0);
  const int64_t start = rig.renderer->rendered;
  rig.renderer->run(100);
  EXPECT_EQ(rig.listener.triggerFrames(0), (std::vector<int32_t>{static_cast<int32_t>(start)}));
}

TEST(SeqCommands, StartWhilePlayingRestartsFromStepZero) {
  SeqRig rig;
  rig.seq->setTriggerStep(0, 0, true);
  rig.seq->play(0);
  rig.renderer->run(20000);
  rig.seq->play(rig.stampFor(20100));
  rig.renderer->run(1000);
  EXPECT_EQ(rig.listener.triggerFrames(0), (std::vector<int32_t>{0, 20100}));
  EXPECT_EQ(rig.listener.count("sequenceDidStart"), 1);
  EXPECT_EQ(rig.listener.count("playStateChanged 1"), 2);
}

TEST(SeqCommands, StartWhilePlayingInSetModeWaitsForTheGrid) {
  SeqRig rig;
  rig.grid = 3;  // every 4 steps
  rig.seq->setTriggerStep(0, 0, true);
  rig.seq->setPatternSetMode(true);
  rig.seq->play(0);
  rig.renderer->run(30000);  // inside step 5
  rig.seq->play(0);
  rig.renderer->run(20000);
  // Restart at the change point of step 8 (frame 44100).
  EXPECT_EQ(rig.listener.triggerFrames(0), (std::vector<int32_t>{0, 44100}));
}

TEST(SeqCommands, MidiStartArmsAndTheFirstClockStarts) {
  SeqRig rig;
  rig.seq->setTriggerStep(0, 0, true);
  rig.seq->midiStart(rig.stampFor(100));
  rig.renderer->run(512);
  EXPECT_FALSE(rig.seq->isPlaying());
  rig.seq->midiClock(rig.stampFor(1500));
  rig.renderer->run(2048);
  EXPECT_TRUE(rig.seq->isPlaying());
  EXPECT_FALSE(rig.seq->isInternalClock());
  EXPECT_EQ(rig.listener.triggerFrames(0), (std::vector<int32_t>{1500}));
  EXPECT_EQ(rig.tracker->resets, 1);

  rig.seq->midiStop(0);
  rig.renderer->run(512);
  EXPECT_FALSE(rig.seq->isPlaying());
  EXPECT_TRUE(rig.listener.saw("stopCommandProcessed"));
}

TEST(SeqCommands, StartFromUiOnAnExternalClockWaitsForTheClock) {
  SeqRig rig;
  rig.seq->setTriggerStep(0, 0, true);
  rig.seq->midiClock(rig.stampFor(10));  // switches to the external clock
  rig.renderer->run(512);
  ASSERT_FALSE(rig.seq->isInternalClock());
  EXPECT_TRUE(rig.listener.saw("tempoChanged"));
  EXPECT_FALSE(rig.seq->isPlaying());
  rig.seq->play(0);
  rig.renderer->run(512);
  EXPECT_FALSE(rig.seq->isPlaying());
  rig.seq->midiClock(rig.stampFor(1200));
  rig.renderer->run(512);
  EXPECT_TRUE(rig.seq->isPlaying());
  EXPECT_EQ(rig.listener.triggerFrames(0), (std::vector<int32_t>{1200}));
}

TEST(SeqCommands, ClockLostReturnsToTheInternalClock) {
  SeqRig rig;
  rig.seq->midiClock(rig.stampFor(10));
  rig.renderer->run(512);
  ASSERT_FALSE(rig.seq->isInternalClock());
  rig.listener.clear();
  rig.seq->externalClockLost();
  rig.renderer->run(512);
  EXPECT_TRUE(rig.seq->isInternalClock());
  EXPECT_TRUE(rig.listener.saw("stopCommandProcessed"));
  EXPECT_TRUE(rig.listener.saw("tempoChanged"));
  // Lost again on the internal clock: nothing.
  rig.listener.clear();
  rig.seq->externalClockLost();
  rig.renderer->run(512);
  EXPECT_TRUE(rig.listener.calls.empty());
}

TEST(SeqCommands, BounceKeepsTheClockModeAndTimedCommandsWait) {
  SeqRig rig;
  rig.seq->midiClock(rig.stampFor(10));
  rig.renderer->run(512);
  ASSERT_FALSE(rig.seq->isInternalClock());

  rig.seq->beginBounce();
  rig.seq->play(0);  // ignored in bounce mode
  rig.seq->setLoop(rig.renderer->hostAt(600), true);
  rig.seq->startForBounce(rig.renderer->hostAt(600));
  Renderer offline(*rig.seq, rig.listener, nullptr);
  offline.run(4096, 1024);
  EXPECT_TRUE(rig.seq->isInternalClock());
  EXPECT_TRUE(rig.seq->isPlaying());
  EXPECT_FALSE(rig.seq->isLoop());
  rig.seq->stopPlayback(rig.renderer->hostAt(600));  // posted for now in bounce mode
  offline.run(1024, 1024);
  EXPECT_FALSE(rig.seq->isPlaying());
  rig.seq->endBounce();

  rig.renderer->run(512);
  EXPECT_FALSE(rig.seq->isInternalClock());
  EXPECT_TRUE(rig.seq->isLoop());  // the timed command ran once live again
  EXPECT_EQ(rig.listener.count("sequenceDidStart"), 1);
}

TEST(SeqCommands, RunningPostedCommandsSettlesWhatIsDueAndLeavesTheRest) {
  // What the bounce does when it takes the engine: a stop and a pattern
  // change asked for before it run now, in that order of effect (stopped,
  // then the change loads), while a command timed for later waits for the
  // live output.
  SeqRig rig;
  rig.allSteps(0);
  rig.seq->play(0);
  rig.renderer->run(1024);
  ASSERT_TRUE(rig.seq->isPlaying());
  rig.listener.calls.clear();
  const uint64_t now = rig.clock.time.load();
  ASSERT_TRUE(rig.seq->changePattern(now - 1000, 7));
  rig.seq->stopPlayback(0);
  rig.seq->setLoop(now + 1'000'000'000, true);
  rig.seq->runPostedCommands();
  EXPECT_FALSE(rig.seq->isPlaying());
  EXPECT_EQ(rig.listener.count("patternChanged 7"), 1);
  EXPECT_EQ(rig.listener.count("loadPattern 7 stopped"), 1);
  EXPECT_FALSE(rig.seq->isLoop());
  // Nothing is left to run twice; the later one runs live in its time.
  rig.listener.calls.clear();
  rig.renderer->run(512);
  EXPECT_EQ(rig.listener.count("loadPattern 7 stopped"), 0);
  EXPECT_EQ(rig.listener.count("patternChanged 7"), 0);
}

TEST(SeqCommands, SelectPatternSetEntersSetMode) {
  SeqRig rig;
  rig.seq->selectPatternSet(0, 0x10002, 0x30004);
  rig.renderer->run(64);
  EXPECT_TRUE(rig.listener.saw("patternSetSelected 2 4"));
}

}  // namespace
}  // namespace seqtest
