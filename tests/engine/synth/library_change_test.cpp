// A pattern change waiting for its change point plays what the library
// holds when it loads: a save or an init of its number refreshes it, a move
// renumbers it (and the playing record), a replaced library drops it.

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "synth_test_support.h"

namespace {

using synthtest::EngineTest;
using synthtest::peak;
using synthtest::quietPattern;
using synthtest::Stereo;

// Pattern i is told apart by its tempo.
int16_t tempoOf(int32_t i) { return static_cast<int16_t>(1000 + 10 * i); }

class LibraryChange : public EngineTest, public ::testing::WithParamInterface<bool> {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    for (int32_t i = 0; i < provider.numberOfPatterns(); ++i) provider.storePattern(patternWithTempo(tempoOf(i)), i);
    provider.setLibraryObserver(synth);
    ASSERT_EQ(synth->changePatternSilently(1), 1);
    renderOffline(64);
    ASSERT_EQ(synth->currentPatternIndex(), 1);
  }
  void TearDown() override {
    provider.setLibraryObserver(nullptr);
    EngineTest::TearDown();
  }
  static PatternRecord patternWithTempo(int16_t tempo) {
    PatternRecord r = quietPattern();
    r.sequencerParams.tempo = tempo;
    return r;
  }
  // A change to `index` that waits: queued (stopped: the next slice takes
  // it) or, with the parameter set, pending while the pattern plays on
  // towards its end.
  void askForChange(int32_t index) {
    if (GetParam()) {
      synth->startSequencer(0);
      renderOffline(64);
      ASSERT_TRUE(synth->isPlaying());
      ASSERT_EQ(synth->changePatternSilently(index), index);
      renderOffline(64);  // taken: pending until the pattern's end
      ASSERT_EQ(synth->currentPatternIndex(), 1);
    } else {
      ASSERT_EQ(synth->changePatternSilently(index), index);
    }
  }
  // Renders until the change has loaded (at most two bars at the slowest
  // tempo): a queued change becomes the number asked for in the first block.
  void playToTheChange() {
    renderOffline(1024);
    for (int i = 0; i < 400 && synth->pendingPattern() != synth->currentPatternIndex(); ++i) renderOffline(1024);
  }
  int32_t playingTempo() { return synth->currentPattern()->sequencerParams.tempo; }
};

TEST_P(LibraryChange, ASaveOfThePendingNumberPlaysTheSavedRecord) {
  askForChange(5);
  provider.storePattern(patternWithTempo(2345), 5);
  playToTheChange();
  EXPECT_EQ(synth->currentPatternIndex(), 5);
  EXPECT_EQ(playingTempo(), 2345);
}

TEST_P(LibraryChange, AnInitOfThePendingNumberPlaysTheInitPattern) {
  askForChange(6);
  provider.initializePattern(6, 0);
  playToTheChange();
  EXPECT_EQ(synth->currentPatternIndex(), 6);
  PatternRecord init;
  provider.initPattern(&init);
  EXPECT_EQ(playingTempo(), init.sequencerParams.tempo);
  EXPECT_NE(init.sequencerParams.tempo, tempoOf(6));
}

TEST_P(LibraryChange, AMoveRenumbersThePendingChangeAndThePlayingRecord) {
  askForChange(4);
  // 4 goes to 9; 5-9 move down one. The playing 1 keeps its number.
  provider.movePatterns(4, 0, 9, 0);
  if (GetParam()) {
    EXPECT_EQ(synth->pendingPattern(), 9);
  }
  EXPECT_EQ(synth->currentPatternIndex(), 1);
  // 0 goes to 3: the playing record (1) is 0 now, before anything renders.
  provider.movePatterns(0, 0, 3, 0);
  EXPECT_EQ(synth->currentPatternIndex(), 0);
  if (GetParam()) {
    EXPECT_EQ(synth->pendingPattern(), 9);
  }
  playToTheChange();
  EXPECT_EQ(synth->currentPatternIndex(), 9);
  EXPECT_EQ(playingTempo(), tempoOf(4));
  // A save of what plays goes to the number its record has now.
  PatternRecord edited = *synth->currentPattern();
  edited.sequencerParams.tempo = 3333;
  provider.storePattern(edited, synth->currentPatternIndex());
  EXPECT_EQ(provider.patternAt(9).sequencerParams.tempo, 3333);
  EXPECT_EQ(provider.patternAt(8).sequencerParams.tempo, tempoOf(9));
}

TEST_P(LibraryChange, AReSortRenumbersThePendingChangeAndThePlayingRecord) {
  askForChange(4);
  // The first ten numbers reversed; the rest keep theirs.
  std::vector<int32_t> numberOf(static_cast<size_t>(provider.numberOfPatterns()));
  for (size_t n = 0; n < numberOf.size(); ++n) numberOf[n] = n < 10 ? static_cast<int32_t>(9 - n) : static_cast<int32_t>(n);
  synth->libraryRenumberedPatterns(numberOf);
  EXPECT_EQ(synth->currentPatternIndex(), 8);
  if (GetParam()) {
    EXPECT_EQ(synth->pendingPattern(), 5);
  }
  playToTheChange();
  EXPECT_EQ(synth->currentPatternIndex(), 5);
  // The record asked for under its old number, not the one now numbered 4.
  EXPECT_EQ(playingTempo(), tempoOf(4));
}

TEST_P(LibraryChange, AReplacedLibraryDropsThePendingChange) {
  askForChange(7);
  provider.replacePatterns(patternWithTempo(4444), 2);
  EXPECT_EQ(synth->pendingPattern(), 1);
  renderOffline(4 * 44100);  // past any change point
  EXPECT_EQ(synth->currentPatternIndex(), 1);
  EXPECT_EQ(playingTempo(), tempoOf(1));
  // A change asked for after it plays the new library.
  ASSERT_EQ(synth->changePatternSilently(7), 7);
  playToTheChange();
  EXPECT_EQ(synth->currentPatternIndex(), 7);
  EXPECT_EQ(playingTempo(), 4444);
}

// Frames where the channel sounds after at least `gap` frames of silence.
std::vector<size_t> onsets(const std::vector<int16_t>& channel, size_t from, size_t gap = 256) {
  std::vector<size_t> found;
  size_t silent = gap;
  for (size_t i = from; i < channel.size(); ++i) {
    if (channel[i] == 0) {
      ++silent;
      continue;
    }
    if (silent >= gap) found.push_back(i);
    silent = 0;
  }
  return found;
}

class ChangePoint : public EngineTest {
 protected:
  // A short note on step 0 of `part`, panned hard to one side.
  static PatternRecord oneNote(int part, int32_t pan) {
    PatternRecord r = quietPattern();
    r.synthParams[part].decay = 10;
    r.synthParams[part].pan = pan;
    r.sequencerParams.trigger[part][0] = 1;
    return r;
  }
};

// A move that holds the renumbering lock as the pattern reaches its change
// point: the old pattern's step 0 does not sound there, and the new
// pattern's sounds once, at most one render call late.
TEST_F(ChangePoint, AMoveAtTheChangePointLeavesOneOnsetFromTheNewPattern) {
  provider.storePattern(oneNote(0, 0), 0);    // the old pattern: hard left
  provider.storePattern(oneNote(1, 127), 1);  // the new one: hard right
  ASSERT_EQ(synth->changePatternSilently(0), 0);
  renderOffline(64);
  synth->startSequencer(0);
  const size_t length = static_cast<size_t>(synth->seq()->patternLengthInFrames());
  ASSERT_EQ(length, 88200u);
  Stereo out = renderOffline(1024);
  ASSERT_EQ(synth->changePatternSilently(1), 1);
  out.append(renderOffline(length - 1024));
  ASSERT_EQ(synth->currentPatternIndex(), 0);
  {
    auto moving = synth->seq()->holdRenumberingForTesting();
    out.append(renderOffline(1024));
  }
  out.append(renderOffline(8192));
  EXPECT_EQ(synth->currentPatternIndex(), 1);

  const auto left = onsets(out.left, 0);
  const auto right = onsets(out.right, 0);
  ASSERT_EQ(left.size(), 1u);  // the old pattern's first step, and no more
  EXPECT_EQ(left[0], 0u);
  ASSERT_EQ(right.size(), 1u);
  EXPECT_GE(right[0], length);
  EXPECT_LE(right[0], length + 1024);
  // Each note is silent on the other side, so an onset on one is its own.
  EXPECT_EQ(peak(out.right, 0, length), 0);
}

INSTANTIATE_TEST_SUITE_P(QueuedOrPending, LibraryChange, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& i) { return i.param ? "Pending" : "Queued"; });

}  // namespace
