// Pattern changes: the record is fetched by the thread that asks, and the
// render thread only hands the copy to the listener.

#include <gtest/gtest.h>

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
    ASSERT_EQ(rig.listener.loads.size(), 1u);
    EXPECT_EQ(rig.listener.loads[0].index, 9);
    EXPECT_EQ(rig.listener.loadedRecords[0].sequencerParams.tempo, 1400);
    EXPECT_EQ(rig.seq->pendingPattern(), 9);
  }
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
