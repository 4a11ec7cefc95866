// The kit's render-thread side under RealtimeSanitizer: capturing the audio
// record, reading it, working on it and publishing it unchanged never
// allocate, lock or wait, also while a peer keeps changing the session, and
// the same holds for the sequencer's calls on its session over the kit. Any
// intercepted call inside a real-time scope ends the process with the call
// named.

#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <chrono>
#include <cmath>
#include <memory>
#include <string>
#include <thread>

#include "audio/link/abl_link.h"
#include "audio/link/abl_link_kit.h"
#include "link_test_support.h"
#include "platform/foundation/host_time.h"
#include "platform/runloop/run_loop.h"
#include "tests/support/rtsan/rtsan_scope.h"

using igb::rtsan::RealtimeScope;
using linktest::KitPlace;
using linktest::runMainFor;
using linktest::runMainUntil;

namespace {

const auto* const kLoopback = ::testing::AddGlobalTestEnvironment(new linktest::LoopbackEnvironment);

ABLLink* makeKit(KitPlace& place, double tempo, bool enabled) {
  place.defaults().setBool(enabled, "ABLLinkEnabledKey");
  return ABLLinkNewWithEnvironment(tempo, place.environment());
}

void publishTempo(ABLLink* link, double bpm) {
  ABLLinkSessionState* s = ABLLinkSnapshotAppState(link);
  ABLLinkSessionSetTempo(s, bpm, platform::hostTime());
  ABLLinkPublishAppState(link, s);
}

class LinkRealtime : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { igb::rtsan::initialize(); }
  void SetUp() override { platform::RunLoop::main().reset(); }
  void TearDown() override { platform::RunLoop::main().reset(); }
};

}  // namespace

TEST_F(LinkRealtime, TheSanitizerIsWatching) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_DEATH(
      {
        RealtimeScope rt;
        std::atomic<int*> p{new int(3)};
        delete p.load();
      },
      igb::rtsan::kViolationPattern);
}

// An audio thread captures and reads its record in real-time scopes while
// the peer changes the tempo from the main thread many times over.
TEST_F(LinkRealtime, TheAudioCaptureNeverBlocksWhileAPeerChangesTheSession) {
  KitPlace ourPlace, peerPlace;
  ABLLink* ours = makeKit(ourPlace, 120.0, true);
  ABLLink* peer = makeKit(peerPlace, 120.0, true);
  ASSERT_TRUE(runMainUntil([&] { return ABLLinkHasPeers(ours) && ABLLinkHasPeers(peer); }, 15.0));

  std::atomic<bool> stop{false};
  std::atomic<int> blocks{0};
  std::atomic<int> tempoChanges{0};
  std::atomic<bool> sawPeers{false};
  std::thread audio([&] {
    double last = 0.0;
    while (!stop.load()) {
      {
        RealtimeScope rt;
        ABLLinkSessionState* s = ABLLinkSnapshotAudioState(ours);
        const uint64_t t = platform::hostTime();
        const double tempo = ABLLinkSessionTempo(s);
        const double beat = ABLLinkSessionBeatAt(s, t, 4.0);
        const uint64_t next = ABLLinkSessionTimeOfBeat(s, std::ceil(beat), 4.0);
        // Working on the record is local; publishing it unchanged sends
        // nothing (and so wakes nothing).
        ABLLinkSessionState* again = ABLLinkSnapshotAudioState(ours);
        ABLLinkPublishAudioState(ours, again);
        // Local changes to a record that is then captured over.
        ABLLinkSessionRequestBeat(s, 0.0, next, 4.0);
        ABLLinkSessionSetTempo(s, tempo + 1.0, t);
        (void)ABLLinkSessionIsPlaying(s);
        if (ABLLinkHasPeers(ours) && ABLLinkEnabled(ours)) sawPeers.store(true);
        if (tempo != last) {
          last = tempo;
          tempoChanges.fetch_add(1);
        }
        blocks.fetch_add(1);
      }
      std::this_thread::sleep_for(std::chrono::microseconds(500));
    }
  });

  const double tempos[] = {90.0, 140.0, 100.0, 130.0, 110.0, 125.0};
  for (int round = 0; round < 3; ++round) {
    for (double bpm : tempos) {
      publishTempo(peer, bpm);
      runMainFor(0.1);
    }
  }
  // The last change has reached our side before the audio thread stops.
  runMainUntil([&] { return std::fabs(ABLLinkSessionTempo(ABLLinkSnapshotAppState(ours)) - 125.0) < 1e-3; }, 5.0);
  runMainFor(0.2);
  stop.store(true);
  audio.join();

  EXPECT_GT(blocks.load(), 100);
  EXPECT_TRUE(sawPeers.load());
  // The captures were live: they followed the peer's changes.
  EXPECT_GE(tempoChanges.load(), 6);
  ABLLinkDelete(peer);
  ABLLinkDelete(ours);
}

// A changed state goes to Link's hand-over buffers and wakes the thread that
// takes it: a condition-variable signal, which never waits. It is the first
// call the sanitizer intercepts; nothing before it allocates or locks.
TEST_F(LinkRealtime, PublishingAChangeDoesNothingBeforeWakingLinksHandOverThread) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  KitPlace place;
  ABLLink* link = makeKit(place, 120.0, false);
  EXPECT_DEATH(
      {
        RealtimeScope rt;
        ABLLinkSessionState* s = ABLLinkSnapshotAudioState(link);
        ABLLinkSessionSetTempo(s, 90.0, platform::hostTime());
        ABLLinkPublishAudioState(link, s);
      },
      std::string(igb::rtsan::kViolationPattern) + ".*pthread_cond_signal");
  ABLLinkDelete(link);
}

// The sequencer's own calls on its Link session, slice by slice, as its
// render path makes them: the user's setting, the peers, the capture, the
// tempo, the beat now and the times of the next ticks, the unchanged commit.
TEST_F(LinkRealtime, TheSequencersSessionOverTheKitFollowsAPeerInRealTime) {
  KitPlace peerPlace, ourPlace;
  ABLLink* peer = makeKit(peerPlace, 100.0, true);
  ourPlace.defaults().setBool(true, "ABLLinkEnabledKey");
  std::unique_ptr<LinkKit> kit = makeABLLinkKitFactory(ourPlace.environment())(120.0);
  ASSERT_TRUE(runMainUntil([&] { return kit->hasPeers() && ABLLinkHasPeers(peer); }, 15.0));

  std::array<double, 512> tempos{};  // one per render call, filled without allocating
  size_t calls = 0;
  auto render = [&](int n) {
    for (int i = 0; i < n && calls < tempos.size(); ++i) {
      {
        RealtimeScope rt;
        const bool on = kit->enabled() && kit->hasPeers();
        LinkSessionState* s = kit->snapshotAudioState();
        const uint64_t t = platform::hostTime();
        const double tick = std::floor(s->beatAt(t, 4.0) * 24.0);
        uint64_t due = 0;
        for (int k = 1; k <= 4; ++k) due += s->timeOfBeat((tick + k) / 24.0, 4.0) > t ? 1 : 0;
        kit->publishAudioState(s);
        tempos[calls++] = on && due == 4 ? s->sessionTempo() : -1.0;
      }
      runMainFor(0.002);
    }
  };

  render(50);
  const double before = tempos[calls - 1];
  EXPECT_TRUE(before == 100.0 || before == 120.0) << before;  // one of the two sessions
  publishTempo(peer, 150.0);
  render(400);
  ASSERT_GT(calls, 100u);
  EXPECT_NEAR(tempos[calls - 1], 150.0, 1e-3);
  for (size_t i = 0; i < calls; ++i) EXPECT_GT(tempos[i], 0.0) << i;
  kit.reset();
  ABLLinkDelete(peer);
}
