// Pattern changes: the record is fetched by the thread that asks, and the
// render thread only hands the copy to the listener.

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "engine/interfaces/pattern_library_observer.h"
#include "seq_rig.h"

namespace seqtest {
namespace {

// Marks a record so the one the listener gets can be told apart.
void mark(PatternRecord& r, int16_t tempo, char tag) {
  r.sequencerParams.tempo = tempo;
  r.tagParams.name[0] = tag;
}

// One load so far, of `index` with the record marked `tempo`, which is also
// the number asked for.
void expectOneLoad(const SeqRig& rig, int32_t index, int16_t tempo) {
  ASSERT_EQ(rig.listener.loads.size(), 1u);
  EXPECT_EQ(rig.listener.loads[0].index, index);
  EXPECT_EQ(rig.listener.loadedRecords[0].sequencerParams.tempo, tempo);
  EXPECT_EQ(rig.seq->pendingPattern(), index);
}

TEST(SeqPatternChange, RecordIsFetchedOnTheAskingThreadAndCopiedOnLoad) {
  SeqRig rig;
  mark(rig.provider.records[42], 1420, 'A');
  std::thread::id asker;
  std::thread poster([&] {
    asker = std::this_thread::get_id();
    EXPECT_TRUE(rig.seq->changePattern(0, 42));
  });
  poster.join();
  // Changed in the store after the request: the request keeps what it read.
  mark(rig.provider.records[42], 1990, 'B');

  EXPECT_EQ(rig.seq->recordToLoad(), nullptr);
  rig.renderer->run(512);
  EXPECT_EQ(rig.seq->recordToLoad(), nullptr);

  ASSERT_EQ(rig.provider.fetchThreads.size(), 1u);
  EXPECT_EQ(rig.provider.fetchThreads[0], asker);
  ASSERT_EQ(rig.listener.loadedRecords.size(), 1u);
  EXPECT_EQ(rig.listener.loadedRecords[0].tagParams.name[0], 'A');
  EXPECT_EQ(rig.listener.loadedRecords[0].sequencerParams.tempo, 1420);
  EXPECT_EQ(rig.listener.loads[0].index, 42);
  EXPECT_FALSE(rig.listener.loads[0].whilePlaying);
  EXPECT_EQ(rig.seq->patternTempo(), 1420);
}

TEST(SeqPatternChange, EveryQueuedChangeKeepsItsOwnRecord) {
  SeqRig rig;
  for (int i = 0; i < 200; ++i) mark(rig.provider.records[static_cast<size_t>(i)], static_cast<int16_t>(1000 + i), 'x');
  for (int i = 0; i < 200; ++i) ASSERT_TRUE(rig.seq->changePattern(rig.stampFor(100 + i, 512), i));
  // Each timed change runs at its own frame; while stopped the pending
  // pattern loads at the start of the following slice.
  rig.renderer->run(1024);
  ASSERT_EQ(rig.listener.loads.size(), 200u);
  for (int i = 0; i < 200; ++i) {
    EXPECT_EQ(rig.listener.loads[static_cast<size_t>(i)].index, i);
    EXPECT_EQ(rig.listener.loadedRecords[static_cast<size_t>(i)].sequencerParams.tempo, 1000 + i);
  }
  // Later changes reuse the returned slots and still carry their records.
  for (int round = 0; round < 3; ++round) {
    for (int i = 0; i < 50; ++i) ASSERT_TRUE(rig.seq->changePatternSilently(300 + i) == 300 + i);
    rig.renderer->run(512);
    EXPECT_EQ(rig.listener.loadedRecords.back().sequencerParams.tempo, rig.provider.records[349].sequencerParams.tempo);
  }
}

TEST(SeqPatternChange, WhilePlayingThePatternLoadsAtItsEnd) {
  SeqRig rig;
  rig.seq->setTriggerStep(0, 0, true);
  mark(rig.provider.records[5], 1500, 'p');
  rig.seq->play(0);
  rig.renderer->run(4096);
  ASSERT_TRUE(rig.seq->changePattern(0, 5));
  rig.renderer->run(352800 - 4096 - 512);
  EXPECT_TRUE(rig.listener.loads.empty());
  rig.renderer->run(1024);
  ASSERT_EQ(rig.listener.loads.size(), 1u);
  EXPECT_TRUE(rig.listener.loads[0].whilePlaying);
  // The slice that reaches the end stops there; the next call starts at
  // 352,800 and loads before anything of it plays.
  EXPECT_EQ(rig.listener.loads[0].blockFrame, 352800);
  // The loaded pattern's tempo is what the next stop puts back.
  rig.seq->stopFromUi(0);
  rig.renderer->run(64);
  EXPECT_TRUE(rig.listener.saw("setTempo 1500"));
}

// A render slice that comes while a move renumbers (here: from inside the
// renumbering, after the number asked for and before the slots) must not
// load a number the move is about to change: the change waits for the next
// slice and then loads under its new number.
TEST(SeqPatternChange, ALoadNeverInterleavesWithARenumbering) {
  for (const bool playing : {false, true}) {
    SCOPED_TRACE(playing ? "pending at the pattern's end" : "queued while stopped");
    SeqRig rig;
    mark(rig.provider.records[4], 1400, 'm');
    if (playing) {
      rig.seq->play(0);
      rig.renderer->run(512);
    }
    ASSERT_TRUE(rig.seq->changePattern(0, 4));
    if (playing) rig.renderer->run(352800 - 512 - 64);  // taken, pending
    ASSERT_TRUE(rig.listener.loads.empty());
    bool renderedInside = false;
    rig.seq->renumberPatterns([&](int32_t p) {
      if (!renderedInside) {
        renderedInside = true;
        rig.renderer->run(128);  // over the change point when playing
      }
      return movedPatternNumber(p, 4, 9);
    });
    rig.renderer->run(playing ? 1024 : 64);
    expectOneLoad(rig, 9, 1400);
  }
}

// A change point that a move holds off (the render side finds the
// renumbering lock taken as the slice at the change point starts): the change
// loads at the next slice, and the step at the change point sounds once, from
// the new pattern, not from the old one first.
TEST(SeqPatternChange, AChangePointAMoveHoldsOffSoundsItsStepOnceFromTheNewPattern) {
  SeqRig rig;
  rig.seq->setTriggerStep(0, 0, true);  // the old pattern: part 0 on step 0
  PatternRecord& next = rig.provider.records[4];
  next.sequencerParams.tempo = 1200;
  next.sequencerParams.trigger[0][4] = 0;
  next.sequencerParams.trigger[1][0] = 1;  // the new one: part 1 on step 0
  rig.seq->play(0);
  rig.renderer->run(512);
  ASSERT_TRUE(rig.seq->changePattern(0, 4));
  rig.renderer->runTo(352800);  // the next slice starts at the change point
  ASSERT_TRUE(rig.listener.loads.empty());
  {
    auto moving = rig.seq->holdRenumberingForTesting();
    rig.renderer->run(512);
  }
  rig.renderer->run(4096);

  std::vector<RecordingListener::Trigger> atTheChange;
  for (const auto& t : rig.listener.triggers)
    if (t.frame >= 352800) atTheChange.push_back(t);
  ASSERT_EQ(atTheChange.size(), 1u);
  EXPECT_EQ(atTheChange[0].part, 1);
  EXPECT_LE(atTheChange[0].frame, 352800 + 512);  // at most one slice late
  ASSERT_EQ(rig.listener.loads.size(), 1u);
  EXPECT_EQ(rig.listener.loads[0].index, 4);
  // The pattern goes on from there: its step 0 comes round a pattern later.
  rig.renderer->run(352800);
  ASSERT_EQ(rig.listener.triggers.back().part, 1);
  EXPECT_EQ(rig.listener.triggers.back().frame, atTheChange[0].frame + 352800);
}

// The settle before a bounce (runPostedCommands, on the bounce's thread)
// that comes while a move holds the renumbering lock waits for the move: the
// change it settles loads before the bounce starts, not in its first block,
// under the number the move gave it. Untimed and timed (already due) changes
// alike.
TEST(SeqPatternChange, ABounceSettleThatMeetsAMoveLoadsUnderTheNewNumber) {
  for (const bool timed : {false, true}) {
    SCOPED_TRACE(timed ? "timed change" : "untimed change");
    SeqRig rig;
    mark(rig.provider.records[4], 1400, 'b');
    ASSERT_TRUE(rig.seq->changePattern(timed ? rig.clock.now() - 1000 : 0, 4));
    std::atomic<bool> waiting{false}, settled{false};
    rig.seq->setRenumberingWaitHookForTesting([&] { waiting = true; });
    std::thread bounce;
    bool first = true;
    rig.seq->renumberPatterns([&](int32_t p) {
      if (first) {
        // Inside the move, under its lock: the bounce begins now.
        first = false;
        bounce = std::thread([&] {
          rig.seq->runPostedCommands();
          settled = true;
        });
        while (!waiting && !settled) std::this_thread::yield();
      }
      return movedPatternNumber(p, 4, 9);
    });
    bounce.join();
    EXPECT_TRUE(waiting);
    expectOneLoad(rig, 9, 1400);
  }
}

// A cancel waits in the queue until a slice runs (here: none while it is
// asked for, as with the output stopped); a move before that slice
// renumbers the number it sets, as it does the waiting changes.
TEST(SeqPatternChange, ACancelWaitingForItsSliceFollowsAMove) {
  SeqRig rig;
  ASSERT_TRUE(rig.seq->changePattern(0, 5));
  rig.seq->cancelPatternChanges(3);
  rig.seq->renumberPatterns(3, 7);  // 3 goes to 7, 4-7 down one
  EXPECT_EQ(rig.seq->pendingPattern(), 7);
  rig.renderer->run(512);
  EXPECT_EQ(rig.seq->pendingPattern(), 7);
  EXPECT_TRUE(rig.listener.loads.empty());
  // A move while the render side holds it off: taken at the next slice.
  ASSERT_TRUE(rig.seq->changePattern(0, 6));
  rig.seq->cancelPatternChanges(2);
  {
    auto moving = rig.seq->holdRenumberingForTesting();
    rig.renderer->run(512);
  }
  rig.seq->renumberPatterns(2, 0);
  rig.renderer->run(512);
  EXPECT_EQ(rig.seq->pendingPattern(), 0);
  EXPECT_TRUE(rig.listener.loads.empty());
}

// A cancel that a renumbering holds off in the command queue, at a change
// point, with the renumbering over before the change point is handled: the
// change it drops (from the library before the replacement) must not load
// in between.
TEST(SeqPatternChange, AChangeACancelDropsNeverLoadsWhileTheCancelIsHeldOff) {
  SeqRig rig;
  rig.seq->play(0);
  rig.renderer->run(512);
  ASSERT_TRUE(rig.seq->changePattern(0, 4));
  rig.renderer->runTo(352800);  // pending; the next slice is at the change point
  ASSERT_TRUE(rig.listener.loads.empty());
  rig.seq->cancelPatternChanges(0);
  {
    auto moving = rig.seq->holdRenumberingForTesting();
    rig.onGridRead = [&] {
      if (moving.owns_lock()) moving.unlock();
    };
    rig.renderer->run(512);
    rig.onGridRead = nullptr;
  }
  rig.renderer->run(352800);
  EXPECT_TRUE(rig.listener.loads.empty());
  EXPECT_EQ(rig.seq->pendingPattern(), 0);
}

// A cancel's number is not a change: a save of that number while the cancel
// waits reads no record for it.
TEST(SeqPatternChange, ASaveWhileACancelWaitsFetchesNothing) {
  SeqRig rig;
  rig.seq->cancelPatternChanges(3);
  const int before = rig.provider.fetches.load();
  for (int i = 0; i < 5; ++i) rig.seq->refreshPattern(3);
  EXPECT_EQ(rig.provider.fetches.load(), before);
  rig.renderer->run(512);
  EXPECT_EQ(rig.seq->pendingPattern(), 3);
}

// A change the render side takes after the cancel was asked for, but
// queued before it, is dropped: the number asked for is the cancel's.
TEST(SeqPatternChange, ACancelKeepsItsNumberOverAChangeTakenMeanwhile) {
  SeqRig rig;
  rig.seq->play(0);
  rig.renderer->run(512);
  ASSERT_TRUE(rig.seq->changePattern(0, 5));
  rig.seq->cancelPatternChanges(1);
  rig.renderer->run(512);  // the change, then the cancel
  EXPECT_EQ(rig.seq->pendingPattern(), 1);
  rig.renderer->run(352800);
  EXPECT_TRUE(rig.listener.loads.empty());
}

TEST(SeqPatternChange, ReplacedPendingPatternNeverLoads) {
  SeqRig rig;
  rig.seq->play(0);
  rig.renderer->run(512);
  ASSERT_TRUE(rig.seq->changePattern(0, 10));
  ASSERT_TRUE(rig.seq->changePattern(0, 11));
  ASSERT_TRUE(rig.seq->changePattern(0, 12));
  rig.renderer->run(352800);
  ASSERT_EQ(rig.listener.loads.size(), 1u);
  EXPECT_EQ(rig.listener.loads[0].index, 12);
  EXPECT_EQ(rig.listener.loadedRecords[0].sequencerParams.tempo, rig.provider.records[12].sequencerParams.tempo);
}

TEST(SeqPatternChange, AChangeSwitchesTheLoopOff) {
  SeqRig rig;
  rig.seq->play(0);
  rig.seq->setLoop(0, true);
  rig.renderer->run(512);
  ASSERT_TRUE(rig.seq->isLoop());
  ASSERT_TRUE(rig.seq->changePattern(0, 3));
  rig.renderer->run(512);
  EXPECT_FALSE(rig.seq->isLoop());
}

TEST(SeqPatternChange, NoProviderNoChange) {
  RecordingListener listener;
  Seq seq(&listener, kRate);
  EXPECT_FALSE(seq.changePattern(0, 0));
  EXPECT_EQ(seq.changePatternSilently(0), 0);
  EXPECT_FALSE(seq.programChange(0, 0));
  seq.process(nullptr, 0, 512);
  EXPECT_TRUE(listener.loads.empty());
}

}  // namespace
}  // namespace seqtest
