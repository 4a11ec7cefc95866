// Following an external MIDI clock and a Link session, with fakes for the
// tempo tracker and the Link kit.

#include <gtest/gtest.h>

#include <cmath>

#include "seq_rig.h"

namespace seqtest {
namespace {

// Absolute frame of MIDI clock tick i at `bpm` (24 per quarter note).
int64_t tickFrame(int i, double bpm) { return std::llround(i * 44100.0 * 60.0 / (bpm * 24.0)); }

void startOnExternalClock(SeqRig& rig, double bpm) {
  rig.seq->midiStart(0);
  rig.seq->midiClock(rig.stampFor(tickFrame(0, bpm)));
}

TEST(SeqMidiClock, StepsFollowTheTicks) {
  struct Case {
    double clockBpm;    // how fast the ticks come
    double trackerBpm;  // what the tracker estimates
  };
  // Matching estimate, and an estimate that is too fast: the steps still
  // wait for their six ticks.
  const Case cases[] = {{120.0, 120.0}, {60.0, 60.0}, {60.0, 120.0}, {133.0, 133.0}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "clock " << c.clockBpm << " tracker " << c.trackerBpm);
    SeqRig rig;
    rig.tracker->bpm = c.trackerBpm;
    rig.allSteps(0);
    startOnExternalClock(rig, c.clockBpm);
    for (int i = 1; i <= 6 * 16; ++i) rig.seq->midiClock(rig.stampFor(tickFrame(i, c.clockBpm)));
    rig.renderer->run(tickFrame(6 * 16, c.clockBpm) + 10);
    EXPECT_EQ(rig.seq->currentTempo(), static_cast<int32_t>(static_cast<float>(c.trackerBpm) * 10.0f));
    const auto frames = rig.listener.triggerFrames(0);
    ASSERT_GE(frames.size(), 16u);
    for (int s = 0; s < 16; ++s) {
      const int64_t due = tickFrame(6 * s, c.clockBpm);
      EXPECT_GE(frames[static_cast<size_t>(s)], due) << "step " << s;
      EXPECT_LE(frames[static_cast<size_t>(s)], due + 1) << "step " << s;
    }
  }
}

TEST(SeqMidiClock, FollowedTempoIsTenthsAtLeast200) {
  SeqRig rig;
  rig.tracker->bpm = 97.25;
  rig.seq->midiClock(rig.stampFor(10));
  rig.renderer->run(512);
  EXPECT_EQ(rig.seq->currentTempo(), 972);
  EXPECT_EQ(rig.tracker->ticks, 1);
  rig.listener.clear();
  rig.tracker->bpm = 5.0;
  rig.seq->midiClock(rig.stampFor(600));
  rig.renderer->run(512);
  EXPECT_EQ(rig.seq->currentTempo(), 200);
  EXPECT_EQ(rig.listener.count("tempoChanged"), 1);
  rig.listener.clear();
  rig.seq->midiClock(rig.stampFor(1100));  // same estimate: no report
  rig.renderer->run(512);
  EXPECT_EQ(rig.listener.count("tempoChanged"), 0);
  EXPECT_EQ(rig.tracker->lastTick, rig.stampFor(1100));
}

TEST(SeqMidiClock, MidiCommandsAreIgnoredInBounceMode) {
  SeqRig rig;
  rig.seq->beginBounce();
  rig.seq->midiClock(0);
  rig.seq->midiStart(0);
  Renderer offline(*rig.seq, rig.listener, nullptr);
  offline.run(1024);
  EXPECT_TRUE(rig.seq->isInternalClock());
  EXPECT_EQ(rig.tracker->ticks, 0);
  rig.seq->endBounce();
}

class LinkRig : public SeqRig {
 public:
  LinkRig() : SeqRig(true) {}
  void enableLink() {
    link->isEnabled = true;
    renderer->run(512);  // the check posts LinkEnabledChanged stamped now
  }
};

TEST(SeqLink, HandleIsMadeWithTheStartTempoAndForwardsSessionTempo) {
  LinkRig rig;
  ASSERT_NE(rig.link, nullptr);
  EXPECT_TRUE(rig.seq->isLinkAvailable());
  EXPECT_EQ(rig.linkInitialTempo, 120.0);
  EXPECT_EQ(rig.seq->linkHandle(), rig.link);
  rig.link->fireTempo(133.0);
  EXPECT_TRUE(rig.listener.saw("linkSessionTempoChanged 133"));
  rig.seq->suspendLink();
  EXPECT_FALSE(rig.link->appActive);
  rig.seq->resumeLink();
  EXPECT_TRUE(rig.link->appActive);
}

TEST(SeqLink, WithoutLinkTheQueriesAnswerPlainly) {
  SeqRig rig;
  EXPECT_FALSE(rig.seq->isLinkAvailable());
  EXPECT_FALSE(rig.seq->isLinkEnabled());
  EXPECT_FALSE(rig.seq->isLinkConnected());
  EXPECT_EQ(rig.seq->linkTempo(), 120.0);
  rig.seq->setTempoLink(0, 130.0);
  rig.seq->linkStart(0);
  rig.renderer->run(1024);
  EXPECT_FALSE(rig.seq->isPlaying());
}

TEST(SeqLink, EnablingStopsAndHandsTheClockToLink) {
  LinkRig rig;
  rig.seq->play(0);
  rig.renderer->run(512);
  ASSERT_TRUE(rig.seq->isPlaying());
  rig.listener.clear();
  rig.clock.time = rig.renderer->hostAt(rig.renderer->rendered);
  rig.enableLink();
  EXPECT_FALSE(rig.seq->isPlaying());
  EXPECT_FALSE(rig.seq->isInternalClock());
  EXPECT_TRUE(rig.seq->isLinkEnabled());
  EXPECT_TRUE(rig.listener.saw("linkEnabledChanged"));
  EXPECT_TRUE(rig.listener.saw("sequenceDidStop"));
  // Only a change is posted.
  rig.listener.clear();
  rig.renderer->run(2048);
  EXPECT_FALSE(rig.listener.saw("linkEnabledChanged"));

  rig.link->isEnabled = false;
  rig.renderer->run(512);
  EXPECT_TRUE(rig.seq->isInternalClock());
  EXPECT_TRUE(rig.listener.saw("linkEnabledChanged"));
}

TEST(SeqLink, PeersComingAndGoingAreReportedOnce) {
  LinkRig rig;
  rig.link->peers = true;
  rig.renderer->run(2048);
  rig.link->peers = false;
  rig.renderer->run(2048);
  EXPECT_EQ(rig.listener.count("linkConnectedChanged"), 2);
}

TEST(SeqLink, FollowsTheSessionTempoFromTheAudioSideCapture) {
  LinkRig rig;
  rig.enableLink();
  rig.link->session.tempo = 133.5;
  const int appBefore = rig.link->appSnapshots;
  rig.listener.clear();
  rig.renderer->run(4096);
  EXPECT_EQ(rig.seq->currentTempo(), 1335);
  EXPECT_EQ(rig.listener.count("tempoChanged"), 1);
  // The render path never takes the app-side (locking) capture.
  EXPECT_EQ(rig.link->appSnapshots, appBefore);
  EXPECT_GT(rig.link->audioSnapshots, 0);
}

TEST(SeqLink, SessionTempoIsRoundedToTheNearestTenth) {
  // Link stores a tempo as whole microseconds per beat, so a peer's 133 BPM
  // arrives a hair below; it must still read 133.0, not 132.9.
  LinkRig rig;
  rig.enableLink();
  const struct { double bpm; int32_t tenths; } cases[] = {
      {60e6 / 451128.0, 1330}, {132.96, 1330}, {132.94, 1329}, {20.0, 200}, {999.0, 9990}};
  for (const auto& c : cases) {
    rig.link->session.tempo = c.bpm;
    rig.renderer->run(1024);
    EXPECT_EQ(rig.seq->currentTempo(), c.tenths) << c.bpm;
  }
}

TEST(SeqLink, BeatDisplayFollowsTheSession) {
  LinkRig rig;
  rig.enableLink();
  // Beat 2.5 of a 4-beat bar at the start of the next call: tick 60 of 96.
  const uint64_t next = rig.renderer->hostAt(rig.renderer->rendered);
  rig.link->session.originBeat = 2.5;
  rig.link->session.originTime = next;
  rig.renderer->run(1);
  EXPECT_EQ(rig.seq->linkTick(), 60);
  EXPECT_FLOAT_EQ(rig.seq->linkPhase(), 60.0f / 96.0f);
  // A negative beat counts back from the end of the bar.
  rig.link->session.originBeat = -0.5;
  rig.link->session.originTime = rig.renderer->hostAt(rig.renderer->rendered);
  rig.renderer->run(1);
  EXPECT_EQ(rig.seq->linkTick(), 84);
}

TEST(SeqLink, CountInThenStartOnBeatZero) {
  LinkRig rig;
  rig.io.latency = 2'902'494;  // 128 frames
  rig.io.outputLatency = 1'000'000;
  rig.allSteps(0);
  rig.enableLink();
  rig.link->peers = true;
  // The session is at beat 1.0 now: beat 0 of our start waits for the next
  // bar, 3 beats (66150 frames at 120 BPM) after the request time.
  const int64_t now = rig.renderer->rendered;
  rig.link->session.originBeat = 1.0;
  rig.link->session.originTime = rig.renderer->hostAt(now);
  rig.clock.time = rig.renderer->hostAt(now);
  rig.seq->linkStart(0);
  rig.renderer->run(4 * 44100);

  // Every tick before beat 0 counts in, each once, in order; ticks per bar
  // is the quantum (16 steps = 4 beats) × 24.
  const auto& counts = rig.listener.countIns;
  ASSERT_FALSE(counts.empty());
  EXPECT_EQ(counts.back(), -1);
  for (size_t i = 1; i < counts.size(); ++i) EXPECT_EQ(counts[i], counts[i - 1] + 1);
  EXPECT_GE(counts.front(), -72);
  EXPECT_TRUE(rig.listener.saw("linkCountIn 96 -1"));
  ASSERT_EQ(rig.listener.startFrames.size(), 1u);
  ASSERT_FALSE(rig.listener.triggerFrames(0).empty());
  // Beat 0 is 3 beats (1.5 s) after the request. Its tick is stamped the
  // scheduling and output latencies early and the queue adds the scheduling
  // latency back, so it plays one output latency (1 ms) before the block
  // time of beat 0: 1.499 s = 66,105.9 frames after the request.
  EXPECT_NEAR(rig.listener.triggerFrames(0).front(), now + 66105, 1);
  // From then on Link ticks drive the steps: 6 per step.
  const auto frames = rig.listener.triggerFrames(0);
  ASSERT_GE(frames.size(), 8u);
  for (size_t s = 1; s < 8; ++s) EXPECT_NEAR(frames[s] - frames[0], s * 5512.5, 2.0) << s;
  EXPECT_EQ(rig.link->audioPublishes, 1);
}

TEST(SeqLink, SetTempoClampsAndGoesThroughTheAppSide) {
  LinkRig rig;
  rig.io.latency = 1000;
  rig.renderer->run(512);  // the render side learns the latencies
  rig.seq->setTempoLink(5'000'000'000, 1500.0);
  EXPECT_EQ(rig.link->session.tempo, 999.0);
  EXPECT_EQ(rig.link->session.originTime, 5'000'001'000u);
  rig.seq->setTempoLink(5'000'000'000, 10.0);
  EXPECT_EQ(rig.link->session.tempo, 20.0);
  EXPECT_EQ(rig.link->appPublishes, 2);
  EXPECT_EQ(rig.seq->linkTempo(), 20.0);
}

}  // namespace
}  // namespace seqtest
