// The Link kit without a network: Link is never switched on here (the stored
// setting is off, or the app is inactive), so every case runs on the
// library's local timeline. Session arithmetic, capture and commit, the user
// defaults, the slots and the deliveries after the handle is gone.

#include <gtest/gtest.h>

#include <chrono>

#include <cmath>
#include <limits>
#include <thread>
#include <vector>

#include "audio/link/abl_link.h"
#include "audio/link/abl_link_kit.h"
#include "audio/link/abl_link_object.h"
#include "link_test_support.h"
#include "platform/foundation/host_time.h"
#include "platform/runloop/run_loop.h"

using linktest::KitPlace;
using linktest::runMainFor;
using linktest::runMainUntil;

namespace {

constexpr uint64_t kSecond = 1'000'000'000;  // host ticks are nanoseconds

// A handle whose Link never runs: the stored setting is off.
class OfflineKit : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::RunLoop::main().reset();
    link = ABLLinkNewWithEnvironment(120.0, place.environment());
  }
  void TearDown() override {
    if (link) ABLLinkDelete(link);
    platform::RunLoop::main().reset();
  }
  uint64_t now() const { return platform::hostTime(); }

  KitPlace place;
  ABLLink* link = nullptr;
};

}  // namespace

// ------------------------------------------------------------ tempo

struct TempoCase {
  double requested;
  double stored;
};

class SessionTempo : public OfflineKit, public ::testing::WithParamInterface<TempoCase> {};

TEST_P(SessionTempo, IsClampedAndKeepsTheBeatAtTheChange) {
  ABLLinkSessionState* s = ABLLinkSnapshotAppState(link);
  const uint64_t t = now() + kSecond;
  const double beatBefore = ABLLinkSessionBeatAt(s, t, 4.0);
  ABLLinkSessionSetTempo(s, GetParam().requested, t);
  EXPECT_DOUBLE_EQ(ABLLinkSessionTempo(s), GetParam().stored);
  // Link keeps whole microseconds: at 999 BPM half of one is 8e-6 beats.
  EXPECT_NEAR(ABLLinkSessionBeatAt(s, t, 4.0), beatBefore, 2e-5);
  // One second later the new tempo has moved the timeline on by its beats.
  EXPECT_NEAR(ABLLinkSessionBeatAt(s, t + kSecond, 4.0) - beatBefore, GetParam().stored / 60.0, 1e-4);
}

INSTANTIATE_TEST_SUITE_P(Cases, SessionTempo,
                         ::testing::Values(TempoCase{10.0, 20.0}, TempoCase{1500.0, 999.0}, TempoCase{999.5, 999.0},
                                           TempoCase{20.0, 20.0}, TempoCase{133.0, 133.0},
                                           TempoCase{std::numeric_limits<double>::infinity(), 999.0},
                                           TempoCase{-std::numeric_limits<double>::infinity(), 20.0},
                                           TempoCase{std::numeric_limits<double>::quiet_NaN(), 120.0}));

// ------------------------------------------------------------ beats

struct BeatCase {
  double beat;
  double quantum;
};

class BeatRequest : public OfflineKit, public ::testing::WithParamInterface<BeatCase> {};

TEST_P(BeatRequest, WithoutPeersLandsExactlyAtTheTime) {
  ABLLinkSessionState* s = ABLLinkSnapshotAudioState(link);
  const uint64_t t = now() + 3 * kSecond / 2;
  ABLLinkSessionRequestBeat(s, GetParam().beat, t, GetParam().quantum);
  EXPECT_NEAR(ABLLinkSessionBeatAt(s, t, GetParam().quantum), GetParam().beat, 5e-6);
  // The tempo stays; the time of the beat is the requested time (to the
  // microsecond Link keeps).
  EXPECT_DOUBLE_EQ(ABLLinkSessionTempo(s), 120.0);
  const uint64_t back = ABLLinkSessionTimeOfBeat(s, GetParam().beat, GetParam().quantum);
  EXPECT_NEAR(static_cast<double>(back), static_cast<double>(t), 1500.0);
}

INSTANTIATE_TEST_SUITE_P(Cases, BeatRequest,
                         ::testing::Values(BeatCase{0.0, 4.0}, BeatCase{3.5, 4.0}, BeatCase{-2.0, 4.0},
                                           BeatCase{17.25, 1.0}, BeatCase{1.0, 3.0}));

TEST_F(OfflineKit, TimeOfBeatInvertsBeatAt) {
  ABLLinkSessionState* s = ABLLinkSnapshotAppState(link);
  for (uint64_t dt : {uint64_t{0}, kSecond / 3, 7 * kSecond, 61 * kSecond + 123'456}) {
    const uint64_t t = now() + dt;
    const double beat = ABLLinkSessionBeatAt(s, t, 4.0);
    EXPECT_NEAR(static_cast<double>(ABLLinkSessionTimeOfBeat(s, beat, 4.0)), static_cast<double>(t), 1500.0);
  }
  // At 120 BPM a beat lasts half a second of host time.
  const double b = ABLLinkSessionBeatAt(s, now() + kSecond, 4.0);
  const uint64_t t0 = ABLLinkSessionTimeOfBeat(s, b, 4.0);
  const uint64_t t1 = ABLLinkSessionTimeOfBeat(s, b + 1.0, 4.0);
  EXPECT_NEAR(static_cast<double>(t1 - t0), 0.5e9, 2000.0);
}

TEST_F(OfflineKit, TimesBeforeTheClockStartReadAsZeroAndOddQuantaStayFinite) {
  ABLLinkSessionState* s = ABLLinkSnapshotAppState(link);
  const double beatNow = ABLLinkSessionBeatAt(s, now(), 4.0);
  // Far more beats back than the host clock has run: no wrap to the far future.
  EXPECT_EQ(ABLLinkSessionTimeOfBeat(s, beatNow - 1e9, 4.0), 0u);
  EXPECT_EQ(ABLLinkSessionTimeOfBeat(s, -std::numeric_limits<double>::infinity(), 4.0), 0u);
  for (double q : {0.0, -4.0, std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity()}) {
    EXPECT_TRUE(std::isfinite(ABLLinkSessionBeatAt(s, now(), q))) << q;
    EXPECT_GT(ABLLinkSessionTimeOfBeat(s, beatNow + 8.0, q), 0u) << q;
  }
  // A beat that is not a number is not requested.
  const uint64_t t = now() + kSecond;
  const double before = ABLLinkSessionBeatAt(s, t, 4.0);
  ABLLinkSessionRequestBeat(s, std::numeric_limits<double>::quiet_NaN(), now(), 4.0);
  EXPECT_DOUBLE_EQ(ABLLinkSessionBeatAt(s, t, 4.0), before);
}

// ------------------------------------------------------------ capture and commit

TEST_F(OfflineKit, ChangesStayInTheRecordUntilPublishedAndTheNextCaptureDropsThem) {
  for (bool audio : {true, false}) {
    SCOPED_TRACE(audio ? "audio" : "app");
    auto snapshot = [&] { return audio ? ABLLinkSnapshotAudioState(link) : ABLLinkSnapshotAppState(link); };
    ABLLinkSessionState* s = snapshot();
    ABLLinkSessionSetTempo(s, 150.0, now());
    EXPECT_DOUBLE_EQ(ABLLinkSessionTempo(s), 150.0);
    // Not published: the other record and the next capture see the session.
    ABLLinkSessionState* other = audio ? ABLLinkSnapshotAppState(link) : ABLLinkSnapshotAudioState(link);
    EXPECT_DOUBLE_EQ(ABLLinkSessionTempo(other), 120.0);
    ABLLinkSessionState* again = snapshot();
    EXPECT_EQ(again, s);  // the same record, refilled
    EXPECT_DOUBLE_EQ(ABLLinkSessionTempo(again), 120.0);
  }
}

TEST_F(OfflineKit, APublishedChangeIsWhatTheNextCaptureSees) {
  ABLLinkSessionState* audio = ABLLinkSnapshotAudioState(link);
  ABLLinkSessionSetTempo(audio, 97.0, now());
  ABLLinkPublishAudioState(link, audio);
  EXPECT_DOUBLE_EQ(ABLLinkSessionTempo(ABLLinkSnapshotAudioState(link)), 97.0);
  // The audio side's change reaches the application's view through Link's
  // own hand-over thread; until it has, a change published from the
  // application side could be overwritten by it a moment later.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (ABLLinkSessionTempo(ABLLinkSnapshotAppState(link)) != 97.0 && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  ASSERT_DOUBLE_EQ(ABLLinkSessionTempo(ABLLinkSnapshotAppState(link)), 97.0);

  ABLLinkSessionState* app = ABLLinkSnapshotAppState(link);
  ABLLinkSessionSetTempo(app, 140.0, now());
  ABLLinkSessionSetIsPlaying(app, true, now());
  ABLLinkPublishAppState(link, app);
  ABLLinkSessionState* seen = ABLLinkSnapshotAppState(link);
  EXPECT_DOUBLE_EQ(ABLLinkSessionTempo(seen), 140.0);
  EXPECT_TRUE(ABLLinkSessionIsPlaying(seen));
}

TEST_F(OfflineKit, ACaptureKeepsItsContentsWhileTheOtherKindIsUsed) {
  ABLLinkSessionState* audio = ABLLinkSnapshotAudioState(link);
  const uint64_t t = now() + kSecond;
  const double beat = ABLLinkSessionBeatAt(audio, t, 4.0);
  ABLLinkSessionState* app = ABLLinkSnapshotAppState(link);
  ABLLinkSessionSetTempo(app, 60.0, now());
  ABLLinkPublishAppState(link, app);
  ABLLinkSnapshotAppState(link);
  EXPECT_DOUBLE_EQ(ABLLinkSessionTempo(audio), 120.0);
  EXPECT_DOUBLE_EQ(ABLLinkSessionBeatAt(audio, t, 4.0), beat);
}

TEST_F(OfflineKit, TheTransportTimeIsTheHostTimeItWasSetAt) {
  ABLLinkSessionState* s = ABLLinkSnapshotAppState(link);
  const uint64_t t = now() + 2 * kSecond;
  ABLLinkSessionSetIsPlaying(s, true, t);
  EXPECT_TRUE(ABLLinkSessionIsPlaying(s));
  EXPECT_NEAR(static_cast<double>(ABLLinkSessionTimeForIsPlaying(s)), static_cast<double>(t), 1000.0);
}

// ------------------------------------------------------------ slots

namespace {

struct Seen {
  std::vector<double> tempos;
  std::vector<std::thread::id> threads;
};

void recordTempo(double tempo, void* context) {
  auto* seen = static_cast<Seen*>(context);
  seen->tempos.push_back(tempo);
  seen->threads.push_back(std::this_thread::get_id());
}

void publishTempo(ABLLink* link, double bpm) {
  ABLLinkSessionState* s = ABLLinkSnapshotAppState(link);
  ABLLinkSessionSetTempo(s, bpm, platform::hostTime());
  ABLLinkPublishAppState(link, s);
}

}  // namespace

// Link reports a committed tempo change from its own thread; the kit hands
// it to the session-tempo slot on the main thread.
TEST_F(OfflineKit, ATempoChangeReachesTheSessionTempoSlotOnTheMainThread) {
  Seen seen;
  ABLLinkSetSessionTempoCallback(link, &recordTempo, &seen);
  publishTempo(link, 133.0);
  ASSERT_TRUE(runMainUntil([&] { return !seen.tempos.empty(); }, 5.0));
  EXPECT_DOUBLE_EQ(seen.tempos[0], 133.0);
  EXPECT_EQ(seen.threads[0], std::this_thread::get_id());

  // A null callback empties the slot.
  ABLLinkSetSessionTempoCallback(link, nullptr, nullptr);
  publishTempo(link, 90.0);
  runMainFor(0.3);
  EXPECT_EQ(seen.tempos.size(), 1u);
}

TEST_F(OfflineKit, DeliveriesStillQueuedWhenTheHandleGoesCallNothing) {
  Seen seen;
  ABLLinkSetSessionTempoCallback(link, &recordTempo, &seen);
  publishTempo(link, 101.0);
  // Deleting stops Link's thread after the report it already has in hand,
  // so the delivery waits on the main queue when the handle is gone.
  ABLLinkDelete(link);
  link = nullptr;
  EXPECT_GT(platform::RunLoop::main().pendingBlockCount(), 0u);
  runMainFor(0.2);
  EXPECT_TRUE(seen.tempos.empty());
}

TEST(ABLLinkCallbacksTest, EmptyFunctionsBecomeNoOps) {
  ABLLinkCallbacks slots({}, {}, {}, {}, {}, {});
  EXPECT_NO_THROW(slots.connected(true));
  EXPECT_NO_THROW(slots.enabled(true));
  EXPECT_NO_THROW(slots.peerCount(3));
  EXPECT_NO_THROW(slots.sessionTempo(120.0));
  EXPECT_NO_THROW(slots.startStop(true));
  EXPECT_NO_THROW(slots.startStopSyncEnabled(false));
}

// ------------------------------------------------------------ user defaults

TEST(LinkKitDefaults, FirstLaunchWritesTheDefaultsAndLinkStaysOff) {
  KitPlace place;
  ABLLink* link = ABLLinkNewWithEnvironment(120.0, place.environment());
  auto stored = place.reopenDefaults();
  ASSERT_TRUE(stored->objectForKey("ABLLinkEnabledKey"));
  ASSERT_TRUE(stored->objectForKey("ABLNotificationEnabled"));
  ASSERT_TRUE(stored->objectForKey("ABLStartStopSyncEnabled"));
  EXPECT_FALSE(stored->boolForKey("ABLLinkEnabledKey"));
  EXPECT_TRUE(stored->boolForKey("ABLNotificationEnabled"));
  EXPECT_FALSE(stored->boolForKey("ABLStartStopSyncEnabled"));
  EXPECT_FALSE(ABLLinkEnabled(link));
  EXPECT_FALSE(link->link.isEnabled());
  EXPECT_FALSE(ABLLinkHasPeers(link));
  EXPECT_FALSE(ABLLinkStartStopSyncOn(link));
  EXPECT_TRUE(ABLLinkNotificationsEnabled(link));
  ABLLinkDelete(link);
}

struct StoredCase {
  bool notifications;
  bool startStopSync;
  std::optional<bool> supportedInInfo;
};

class LinkKitStoredSettings : public ::testing::TestWithParam<StoredCase> {};

TEST_P(LinkKitStoredSettings, AreReadAtConstructionAndKeptAsStored) {
  const StoredCase& c = GetParam();
  KitPlace place;
  place.defaults().setBool(false, "ABLLinkEnabledKey");
  place.defaults().setBool(c.notifications, "ABLNotificationEnabled");
  place.defaults().setBool(c.startStopSync, "ABLStartStopSyncEnabled");
  if (c.supportedInInfo) place.setStartStopSyncSupported(*c.supportedInInfo);
  ABLLink* link = ABLLinkNewWithEnvironment(120.0, place.environment());
  // Start/stop sync applies whether or not the screen offers the row.
  EXPECT_EQ(ABLLinkStartStopSyncOn(link), c.startStopSync);
  EXPECT_EQ(ABLLinkStartStopSyncSupported(link), c.supportedInInfo.value_or(false));
  EXPECT_EQ(ABLLinkNotificationsEnabled(link), c.notifications);
  auto stored = place.reopenDefaults();
  EXPECT_EQ(stored->boolForKey("ABLNotificationEnabled"), c.notifications);
  EXPECT_EQ(stored->boolForKey("ABLStartStopSyncEnabled"), c.startStopSync);
  ABLLinkDelete(link);
}

INSTANTIATE_TEST_SUITE_P(Cases, LinkKitStoredSettings,
                         ::testing::Values(StoredCase{false, true, std::nullopt}, StoredCase{true, true, false},
                                           StoredCase{false, false, true}, StoredCase{true, false, std::nullopt}));

namespace {

struct Flags {
  std::vector<bool> values;
};
void recordFlag(bool value, void* context) { static_cast<Flags*>(context)->values.push_back(value); }

// A settings screen that records what the kit does to it.
class RecordingScreen : public ABLLinkSettingsScreen {
 public:
  explicit RecordingScreen(ABLLink* link) : handle(link) {}
  uint64_t numberOfPeers() const override { return count; }
  void setNumberOfPeers(uint64_t c) override {
    count = c;
    shown.push_back(c);
  }
  void deinit() override {
    deinitWhileHandleLived = handle != nullptr && ABLLinkSettingsScreenOf(handle) == this;
    handle = nullptr;
    ++deinits;
  }

  ABLLink* handle;
  uint64_t count = 0;
  std::vector<uint64_t> shown;
  int deinits = 0;
  bool deinitWhileHandleLived = false;
};

}  // namespace

TEST(LinkKitSettings, TheSwitchesStoreTheirKeysAndActOnlyOnAChange) {
  KitPlace place;
  std::shared_ptr<RecordingScreen> screen;
  ABLLinkEnvironment env = place.environment();
  env.makeSettingsScreen = [&](ABLLink* l) {
    screen = std::make_shared<RecordingScreen>(l);
    return screen;
  };
  Flags enabledSlot, syncSlot;
  env.enabledSlot = [&](bool v) { enabledSlot.values.push_back(v); };
  ABLLink* link = ABLLinkNewWithEnvironment(120.0, std::move(env));
  ASSERT_TRUE(screen);
  EXPECT_EQ(screen->handle, link);
  EXPECT_EQ(ABLLinkSettingsScreenOf(link), screen.get());
  EXPECT_EQ(ABLLinkSettingsScreenOf(nullptr), nullptr);
  EXPECT_EQ(enabledSlot.values, std::vector<bool>{false});  // construction, stored setting
  ABLLinkSetStartStopSyncEnabledCallback(link, &recordFlag, &syncSlot);

  // Link switch to its current value: stored, nothing else (but the screen
  // shows no peers, as it always does when switched off).
  screen->setNumberOfPeers(3);
  EXPECT_FALSE(ABLLinkUserSetEnabled(link, false));
  EXPECT_EQ(screen->count, 0u);
  EXPECT_EQ(enabledSlot.values.size(), 1u);
  EXPECT_TRUE(place.reopenDefaults()->objectForKey("ABLLinkEnabledKey"));

  // In the background the switch turns the setting on, but Link stays off.
  ABLLinkSetAppActive(link, false);
  EXPECT_TRUE(ABLLinkUserSetEnabled(link, true));
  EXPECT_EQ(enabledSlot.values, (std::vector<bool>{false, true}));
  EXPECT_TRUE(ABLLinkEnabled(link));
  EXPECT_FALSE(link->link.isEnabled());
  EXPECT_FALSE(ABLLinkHasPeers(link));
  EXPECT_TRUE(place.reopenDefaults()->boolForKey("ABLLinkEnabledKey"));
  EXPECT_FALSE(ABLLinkUserSetEnabled(link, true));
  EXPECT_EQ(enabledSlot.values.size(), 2u);

  ABLLinkUserSetNotificationsEnabled(link, false);
  EXPECT_FALSE(ABLLinkNotificationsEnabled(link));
  EXPECT_FALSE(place.reopenDefaults()->boolForKey("ABLNotificationEnabled"));

  ABLLinkUserSetStartStopSyncEnabled(link, true);
  ABLLinkUserSetStartStopSyncEnabled(link, true);
  EXPECT_TRUE(ABLLinkStartStopSyncOn(link));
  EXPECT_EQ(syncSlot.values, std::vector<bool>{true});
  EXPECT_TRUE(place.reopenDefaults()->boolForKey("ABLStartStopSyncEnabled"));
  ABLLinkUserSetStartStopSyncEnabled(link, false);
  EXPECT_FALSE(ABLLinkStartStopSyncOn(link));
  EXPECT_EQ(syncSlot.values, (std::vector<bool>{true, false}));

  ABLLinkDelete(link);
  EXPECT_EQ(screen->deinits, 1);
  EXPECT_TRUE(screen->deinitWhileHandleLived);
  EXPECT_EQ(screen->handle, nullptr);
  // The next launch reads what the switches left.
  auto next = place.reopenDefaults();
  EXPECT_TRUE(next->boolForKey("ABLLinkEnabledKey"));
  EXPECT_FALSE(next->boolForKey("ABLNotificationEnabled"));
  EXPECT_FALSE(next->boolForKey("ABLStartStopSyncEnabled"));
}

// ------------------------------------------------------------ the sequencer's session

TEST(ABLLinkKitTest, PublishesOnlyItsOwnRecords) {
  KitPlace place;
  ABLLinkKit kit(100.0, place.environment());
  EXPECT_NE(ABLLinkHandleOf(&kit), nullptr);
  EXPECT_EQ(ABLLinkHandleOf(nullptr), nullptr);

  // The app record cannot be published as the audio record, nor the reverse.
  LinkSessionState* app = kit.snapshotAppState();
  app->setSessionTempo(150.0, platform::hostTime());
  kit.publishAudioState(app);
  EXPECT_DOUBLE_EQ(kit.snapshotAudioState()->sessionTempo(), 100.0);
  LinkSessionState* audio = kit.snapshotAudioState();
  audio->setSessionTempo(77.0, platform::hostTime());
  kit.publishAppState(audio);
  EXPECT_DOUBLE_EQ(kit.snapshotAppState()->sessionTempo(), 100.0);
  kit.publishAudioState(audio);
  EXPECT_DOUBLE_EQ(kit.snapshotAudioState()->sessionTempo(), 77.0);
}

TEST(ABLLinkKitTest, TheFactoryMakesSessionsWithTheSequencersTempo) {
  KitPlace place;
  LinkKitFactory make = makeABLLinkKitFactory(place.environment());
  std::unique_ptr<LinkKit> kit = make(87.5);
  ASSERT_NE(ABLLinkHandleOf(kit.get()), nullptr);
  EXPECT_DOUBLE_EQ(kit->snapshotAppState()->sessionTempo(), 87.5);
  EXPECT_FALSE(kit->enabled());
  EXPECT_FALSE(kit->hasPeers());
}
