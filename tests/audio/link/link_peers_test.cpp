// Real Link peers on a private loopback network: two kit handles in this
// process find each other, share tempo and beat phase, pass start/stop on
// (only where both ends have start/stop sync on), follow the enable rule, and
// a sequencer driven by the kit follows a peer's tempo and starts in phase
// with it after its count-in. Every wait is bounded.

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "audio/link/abl_link.h"
#include "audio/link/abl_link_kit.h"
#include "audio/link/abl_link_object.h"
#include "engine/seq/seq.h"
#include "engine/seq/seq_fakes.h"
#include "link_test_support.h"
#include "platform/foundation/host_time.h"
#include "platform/runloop/run_loop.h"

using linktest::KitPlace;
using linktest::runMainFor;
using linktest::runMainUntil;

namespace {

const auto* const kLoopback = ::testing::AddGlobalTestEnvironment(new linktest::LoopbackEnvironment);

constexpr double kPeerWait = 15.0;  // seconds for discovery on loopback
constexpr double kSyncWait = 5.0;   // seconds for a change to reach the peer

struct Flags {
  std::vector<bool> values;
};
void recordFlag(bool value, void* context) { static_cast<Flags*>(context)->values.push_back(value); }

struct Tempos {
  std::vector<double> values;
};
void recordTempo(double tempo, void* context) { static_cast<Tempos*>(context)->values.push_back(tempo); }

// One handle with its own defaults; Link switched on unless told otherwise.
struct Peer {
  explicit Peer(double tempo, bool enabled = true, bool startStopSync = false,
                std::function<void(ABLLinkEnvironment&)> adjust = {}) {
    place.defaults().setBool(enabled, "ABLLinkEnabledKey");
    place.defaults().setBool(startStopSync, "ABLStartStopSyncEnabled");
    ABLLinkEnvironment env = place.environment();
    if (adjust) adjust(env);
    link = ABLLinkNewWithEnvironment(tempo, std::move(env));
  }
  ~Peer() {
    if (link) ABLLinkDelete(link);
  }
  void leave() {
    ABLLinkDelete(link);
    link = nullptr;
  }
  double tempo() { return ABLLinkSessionTempo(ABLLinkSnapshotAppState(link)); }
  void publishTempo(double bpm) {
    ABLLinkSessionState* s = ABLLinkSnapshotAppState(link);
    ABLLinkSessionSetTempo(s, bpm, platform::hostTime());
    ABLLinkPublishAppState(link, s);
  }
  // The beat's position in a bar of `quantum` beats at a host time.
  double phaseAt(uint64_t t, double quantum = 4.0) {
    const double b = ABLLinkSessionBeatAt(ABLLinkSnapshotAppState(link), t, quantum);
    return b - std::floor(b / quantum) * quantum;
  }

  KitPlace place;
  ABLLink* link = nullptr;
};

// The distance between two phases on a circle of `quantum` beats.
double phaseDistance(double a, double b, double quantum = 4.0) {
  double d = std::fmod(std::fabs(a - b), quantum);
  return std::fmin(d, quantum - d);
}

bool bothConnected(Peer& a, Peer& b) {
  return runMainUntil([&] { return ABLLinkHasPeers(a.link) && ABLLinkHasPeers(b.link); }, kPeerWait);
}

class LinkPeers : public ::testing::Test {
 protected:
  void SetUp() override { platform::RunLoop::main().reset(); }
  void TearDown() override { platform::RunLoop::main().reset(); }
};

}  // namespace

TEST_F(LinkPeers, AgreeOnTempoAndBeatAfterATempoChange) {
  Peer a(120.0);
  Peer b(90.0);
  Tempos seenByB;
  ABLLinkSetSessionTempoCallback(b.link, &recordTempo, &seenByB);
  ASSERT_TRUE(bothConnected(a, b));

  a.publishTempo(133.0);
  ASSERT_TRUE(runMainUntil([&] { return std::fabs(b.tempo() - 133.0) < 1e-3; }, kSyncWait)) << b.tempo();
  // The peer learns it through its session-tempo slot as well, on this thread.
  ASSERT_TRUE(runMainUntil([&] { return !seenByB.values.empty() && std::fabs(seenByB.values.back() - 133.0) < 1e-3; },
                           kSyncWait));
  EXPECT_NEAR(a.tempo(), 133.0, 1e-9);
  // Both sides' real-time captures see it too.
  EXPECT_NEAR(ABLLinkSessionTempo(ABLLinkSnapshotAudioState(b.link)), 133.0, 1e-3);

  // The same place in the bar at the same moment, on either side (beat
  // magnitudes are each peer's own; the phase in the quantum is shared).
  // Give the clock measurement a moment after the change.
  runMainFor(0.5);
  for (int k = 0; k < 5; ++k) {
    const uint64_t t = platform::hostTime() + static_cast<uint64_t>(k) * 137'000'000;
    EXPECT_LT(phaseDistance(a.phaseAt(t), b.phaseAt(t)), 0.01) << a.phaseAt(t) << " vs " << b.phaseAt(t);
    // Quantum 1: the beats themselves line up.
    EXPECT_LT(phaseDistance(a.phaseAt(t, 1.0), b.phaseAt(t, 1.0), 1.0), 0.01);
  }
  // And the next bar starts at the same host time on both.
  const uint64_t t = platform::hostTime();
  const double barA = std::ceil(ABLLinkSessionBeatAt(ABLLinkSnapshotAppState(a.link), t, 4.0) / 4.0) * 4.0;
  const double barB = std::ceil(ABLLinkSessionBeatAt(ABLLinkSnapshotAppState(b.link), t, 4.0) / 4.0) * 4.0;
  const double tA = static_cast<double>(ABLLinkSessionTimeOfBeat(ABLLinkSnapshotAppState(a.link), barA, 4.0));
  const double tB = static_cast<double>(ABLLinkSessionTimeOfBeat(ABLLinkSnapshotAppState(b.link), barB, 4.0));
  EXPECT_NEAR(tA, tB, 2e6);  // 2 ms
}

// With a peer present a requested beat waits for the session's phase: beat 0
// of a bar of four lands on the next bar line at or after the time asked.
TEST_F(LinkPeers, ABeatRequestWithPeersWaitsForTheSessionsBarLine) {
  Peer a(120.0);
  Peer b(120.0);
  ASSERT_TRUE(bothConnected(a, b));
  runMainFor(0.3);
  const uint64_t asked = platform::hostTime() + 200'000'000;
  // Ask half-way through the bar, so the wait is two beats (one second).
  const double bBar = std::ceil(ABLLinkSessionBeatAt(ABLLinkSnapshotAppState(b.link), asked, 4.0) / 4.0) * 4.0;
  const uint64_t midBar = ABLLinkSessionTimeOfBeat(ABLLinkSnapshotAppState(b.link), bBar + 2.0, 4.0);
  ABLLinkSessionState* s = ABLLinkSnapshotAudioState(a.link);
  ABLLinkSessionRequestBeat(s, 0.0, midBar, 4.0);
  const uint64_t landed = ABLLinkSessionTimeOfBeat(s, 0.0, 4.0);
  EXPECT_GE(landed + 1000, midBar);
  EXPECT_NEAR(static_cast<double>(landed - midBar), 1.0e9, 3e6);
  EXPECT_LT(phaseDistance(b.phaseAt(landed), 0.0), 0.01);
  EXPECT_NEAR(ABLLinkSessionBeatAt(s, landed, 4.0), 0.0, 1e-5);
}

struct StartStopCase {
  const char* name;
  bool senderSync;
  bool receiverSync;
  bool propagates;
};

class LinkStartStop : public LinkPeers, public ::testing::WithParamInterface<StartStopCase> {};

TEST_P(LinkStartStop, ReachesThePeerOnlyWithSyncOnBothEnds) {
  const StartStopCase& c = GetParam();
  Peer sender(120.0, true, c.senderSync);
  Peer receiver(120.0, true, c.receiverSync);
  Flags startStops;
  ABLLinkSetStartStopCallback(receiver.link, &recordFlag, &startStops);
  ASSERT_TRUE(bothConnected(sender, receiver));

  // A tempo change travels with the start, so the receiver is known to have
  // taken the sender's update whether or not the start comes with it.
  ABLLinkSessionState* s = ABLLinkSnapshotAppState(sender.link);
  ABLLinkSessionSetIsPlaying(s, true, platform::hostTime());
  ABLLinkSessionSetTempo(s, 111.0, platform::hostTime());
  ABLLinkPublishAppState(sender.link, s);
  ASSERT_TRUE(runMainUntil([&] { return std::fabs(receiver.tempo() - 111.0) < 1e-3; }, kSyncWait));

  if (c.propagates) {
    ASSERT_TRUE(runMainUntil([&] { return !startStops.values.empty(); }, kSyncWait));
    EXPECT_EQ(startStops.values, std::vector<bool>{true});
    EXPECT_TRUE(ABLLinkSessionIsPlaying(ABLLinkSnapshotAppState(receiver.link)));
    // And the stop.
    s = ABLLinkSnapshotAppState(sender.link);
    ABLLinkSessionSetIsPlaying(s, false, platform::hostTime());
    ABLLinkPublishAppState(sender.link, s);
    ASSERT_TRUE(runMainUntil([&] { return startStops.values.size() == 2; }, kSyncWait));
    EXPECT_EQ(startStops.values, (std::vector<bool>{true, false}));
    EXPECT_FALSE(ABLLinkSessionIsPlaying(ABLLinkSnapshotAppState(receiver.link)));
  } else {
    runMainFor(1.0);
    EXPECT_TRUE(startStops.values.empty());
    EXPECT_FALSE(ABLLinkSessionIsPlaying(ABLLinkSnapshotAppState(receiver.link)));
  }
}

INSTANTIATE_TEST_SUITE_P(Cases, LinkStartStop,
                         ::testing::Values(StartStopCase{"BothOn", true, true, true},
                                           StartStopCase{"ReceiverOff", true, false, false},
                                           StartStopCase{"SenderOff", false, true, false}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(LinkPeers, AStoredSettingStartsLinkAndTheAppStateStopsAndRestartsIt) {
  Flags enabledSlot;
  Peer a(120.0, true, false, [&](ABLLinkEnvironment& env) { env.enabledSlot = [&](bool v) { enabledSlot.values.push_back(v); }; });
  EXPECT_TRUE(a.link->link.isEnabled());
  EXPECT_EQ(enabledSlot.values, std::vector<bool>{true});
  Peer b(100.0);
  ASSERT_TRUE(bothConnected(a, b));

  ABLLinkSetAppActive(a.link, false);
  EXPECT_FALSE(a.link->link.isEnabled());
  EXPECT_TRUE(ABLLinkEnabled(a.link));
  EXPECT_FALSE(ABLLinkHasPeers(a.link));
  ASSERT_TRUE(runMainUntil([&] { return !ABLLinkHasPeers(b.link); }, kPeerWait));
  EXPECT_TRUE(a.place.reopenDefaults()->boolForKey("ABLLinkEnabledKey"));

  ABLLinkSetAppActive(a.link, true);
  EXPECT_TRUE(a.link->link.isEnabled());
  ASSERT_TRUE(bothConnected(a, b));
  EXPECT_EQ(enabledSlot.values.size(), 1u);  // the app state is not the setting
}

TEST_F(LinkPeers, TheLinkSwitchStartsAndStopsLink) {
  Peer a(120.0, false);
  Peer b(100.0);
  EXPECT_FALSE(a.link->link.isEnabled());
  runMainFor(0.5);
  EXPECT_FALSE(ABLLinkHasPeers(b.link));

  EXPECT_TRUE(ABLLinkUserSetEnabled(a.link, true));
  ASSERT_TRUE(bothConnected(a, b));
  ASSERT_TRUE(runMainUntil([&] { return ABLLinkSettingsScreenOf(a.link)->numberOfPeers() == 1; }, kSyncWait));

  EXPECT_TRUE(ABLLinkUserSetEnabled(a.link, false));
  EXPECT_FALSE(a.link->link.isEnabled());
  EXPECT_FALSE(ABLLinkHasPeers(a.link));
  EXPECT_EQ(ABLLinkSettingsScreenOf(a.link)->numberOfPeers(), 0u);
  ASSERT_TRUE(runMainUntil([&] { return !ABLLinkHasPeers(b.link); }, kPeerWait));
  EXPECT_FALSE(a.place.reopenDefaults()->boolForKey("ABLLinkEnabledKey"));
}

TEST_F(LinkPeers, PeerCountsCallConnectedOnTheEdgesAndShowEachCount) {
  std::vector<unsigned long> banner;
  Peer a(120.0, true, false, [&](ABLLinkEnvironment& env) {
    env.showNotificationMessage = [&](unsigned long n) { banner.push_back(n); };
  });
  Flags connected;
  ABLLinkSetConnectedCallback(a.link, &recordFlag, &connected);
  ABLLinkSettingsScreen* screen = ABLLinkSettingsScreenOf(a.link);

  // Counts as the main-queue deliveries bring them, while Link runs.
  for (unsigned long n : {2ul, 3ul, 0ul}) a.link->callbacks->peerCount(n);
  EXPECT_EQ(connected.values, (std::vector<bool>{true, false}));
  EXPECT_EQ(banner, (std::vector<unsigned long>{2, 3, 0}));
  EXPECT_EQ(screen->numberOfPeers(), 0u);

  // While Link is off (app in the background) a count changes nothing.
  ABLLinkSetAppActive(a.link, false);
  a.link->callbacks->peerCount(5);
  EXPECT_EQ(connected.values.size(), 2u);
  EXPECT_EQ(banner.size(), 3u);
  EXPECT_EQ(screen->numberOfPeers(), 0u);
  ABLLinkSetAppActive(a.link, true);

  // A real peer arriving and leaving.
  banner.clear();
  connected.values.clear();
  auto b = std::make_unique<Peer>(90.0);
  ASSERT_TRUE(runMainUntil([&] { return screen->numberOfPeers() == 1; }, kPeerWait));
  EXPECT_EQ(connected.values, std::vector<bool>{true});
  EXPECT_EQ(banner, std::vector<unsigned long>{1});
  b->leave();
  ASSERT_TRUE(runMainUntil([&] { return connected.values.size() == 2; }, kPeerWait));
  EXPECT_EQ(connected.values, (std::vector<bool>{true, false}));
  EXPECT_EQ(banner, (std::vector<unsigned long>{1, 0}));
  EXPECT_EQ(screen->numberOfPeers(), 0u);
}

// ------------------------------------------------------------ the sequencer

namespace {

// Renders the sequencer in blocks, with the device's host time following
// the frames from a start on the real host clock.
class SeqOnRealKit {
 public:
  explicit SeqOnRealKit(KitPlace& place) {
    place.defaults().setBool(true, "ABLLinkEnabledKey");
    SeqServices services;
    services.makeLink = makeABLLinkKitFactory(place.environment());
    seq = std::make_unique<Seq>(&listener, seqtest::kRate, std::move(services));
    listener.seq = seq.get();
    seq->setDataProvider(&provider);
    for (int s = 0; s < 64; ++s) seq->setTriggerStep(0, s, true);
    renderer = std::make_unique<seqtest::Renderer>(*seq, listener, &io);
    renderer->startHost = platform::hostTime();
  }
  uint64_t renderedHost() const { return renderer->hostAt(renderer->rendered); }
  // Renders until the device's time reaches `host`.
  void renderUntil(uint64_t host, int32_t block = 64) {
    while (renderedHost() < host) renderer->renderCall(block);
  }
  void renderToNow(int32_t block = 64) { renderUntil(platform::hostTime(), block); }

  seqtest::RecordingListener listener;
  seqtest::FakeAudioIO io;
  seqtest::MemoryProvider provider;
  std::unique_ptr<Seq> seq;
  std::unique_ptr<seqtest::Renderer> renderer;
};

}  // namespace

TEST_F(LinkPeers, TheSequencerFollowsAPeersTempoAndCountsInToItsBar) {
  Peer peer(100.0);
  KitPlace place;
  SeqOnRealKit rig(place);
  ASSERT_TRUE(rig.seq->isLinkAvailable());
  ASSERT_TRUE(rig.seq->isLinkEnabled());
  ASSERT_TRUE(runMainUntil([&] { return rig.seq->isLinkConnected() && ABLLinkHasPeers(peer.link); }, kPeerWait));

  // The render side notices Link and hands the clock over to it.
  rig.renderToNow();
  rig.renderUntil(rig.renderedHost() + 20'000'000);
  EXPECT_TRUE(rig.listener.saw("linkEnabledChanged"));
  EXPECT_TRUE(rig.listener.saw("linkConnectedChanged"));
  EXPECT_FALSE(rig.seq->isInternalClock());

  // The peer changes the tempo; the sequencer hears it through the session
  // tempo callback (main thread) and its render-side capture. (Link sends a
  // tempo as whole microseconds per beat; 125 BPM survives that exactly.)
  rig.listener.clear();
  peer.publishTempo(125.0);
  ASSERT_TRUE(runMainUntil([&] { return rig.listener.saw("linkSessionTempoChanged 125"); }, kSyncWait));
  ASSERT_TRUE(runMainUntil(
      [&] {
        rig.renderToNow();
        return rig.seq->currentTempo() == 1250;
      },
      kSyncWait))
      << rig.seq->currentTempo();
  EXPECT_TRUE(rig.listener.saw("tempoChanged"));
  EXPECT_NEAR(rig.seq->linkTempo(), 125.0, 1e-6);

  // Start half-way through the peer's bar: the count-in runs to the peer's
  // next bar line, two beats (48 ticks of 24 per beat) away.
  rig.listener.clear();
  rig.renderToNow();
  const uint64_t soon = platform::hostTime() + 300'000'000;
  ABLLinkSessionState* ps = ABLLinkSnapshotAppState(peer.link);
  const double bar = std::ceil(ABLLinkSessionBeatAt(ps, soon, 4.0) / 4.0) * 4.0;
  const uint64_t startRequest = ABLLinkSessionTimeOfBeat(ps, bar + 2.0, 4.0);
  rig.seq->linkStart(startRequest);
  rig.renderUntil(startRequest + 2'500'000'000);

  const std::vector<int32_t>& counts = rig.listener.countIns;
  ASSERT_FALSE(counts.empty());
  EXPECT_NEAR(counts.front(), -48, 1);
  EXPECT_EQ(counts.back(), -1);
  for (size_t i = 1; i < counts.size(); ++i) EXPECT_EQ(counts[i], counts[i - 1] + 1);
  EXPECT_TRUE(rig.listener.saw("linkCountIn 96 -1"));
  ASSERT_EQ(rig.listener.startFrames.size(), 1u);
  EXPECT_TRUE(rig.seq->isPlaying());

  // It started on the peer's bar line, two beats at 125 BPM after the
  // request (to the block of 64 frames, 1.45 ms, it started in).
  const uint64_t startHost = rig.renderer->hostAt(rig.listener.startFrames[0]);
  EXPECT_NEAR(static_cast<double>(startHost), static_cast<double>(startRequest) + 0.96e9, 3e6);
  EXPECT_LT(phaseDistance(peer.phaseAt(startHost + 725'000), 0.0), 0.01) << peer.phaseAt(startHost);
  // And plays from there: part 0 fires on its steps.
  EXPECT_FALSE(rig.listener.triggerFrames(0).empty());
}
