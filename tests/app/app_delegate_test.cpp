// The application delegate against the real engine, library, settings and
// audio output (null device) in a temporary root: start-up order and what
// exists at each step, the second stage, settings-bundle values, saving on
// background and at termination, restoring after a restart, shutdown order.

#include <gtest/gtest.h>

#include <unistd.h>

#include <atomic>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "app/app_delegate.h"
#include "app/app_fixture.h"
#include "app/crashed_restore.h"
#include "app/gq_flurry.h"
#include "audio/iphone_audio_io.h"
#include "engine/observer/synth_observer.h"
#include "engine/settings/global_settings.h"
#include "engine/synth/synth.h"
#include "engine/voices/drum_data.h"
#include "library/backup/backup_archive.h"
#include "library/pattern_set_store.h"
#include "library/pattern_store.h"
#include "library/utilities.h"
#include "platform/foundation/atomic_file.h"
#include "platform/foundation/property_list.h"
#include "platform/notify/notification_center.h"
#include "platform/runloop/run_loop.h"

namespace fs = std::filesystem;

namespace {

struct FakeMidi : MidiDeviceManagerService {
  std::vector<bool> networkMidi;
  int resends = 0;
  int updates = 0;
  void setNetworkMidiEnabled(bool on) override { networkMidi.push_back(on); }
  void resendControllerSetup() override { ++resends; }
  void updateControllerOutputs() override { ++updates; }
};

// Everything the delegate tells the outside, and what it saw at each step.
struct Probe {
  std::vector<std::string> steps;
  std::map<std::string, std::string> problems;  // step -> what was wrong there
  std::atomic<bool> preloaded{false};
  Synth* shownWith = nullptr;
  int releases = 0;
  int restores = 0;
  FakeMidi* midi = nullptr;
  std::vector<bool> midiNativeModes;
  int iCloudManagers = 0;
  int crashReporting = 0;
  std::vector<unsigned> notificationTypes;
  std::vector<bool> idleTimer;
};

class AppDelegateTest : public AppRootTest {
 protected:
  AppEnvironment environment() {
    AppEnvironment env;
    env.userDefaults = defaults.get();
    env.audioDrivers = std::vector<platform::AudioDriver>{platform::AudioDriver::Null};
    env.preloadImages = [this] { probe.preloaded = true; };
    env.showMainScreen = [this](Synth* s) { probe.shownWith = s; };
    env.releaseMainScreen = [this] { ++probe.releases; };
    env.restoreDidFinish = [this] { ++probe.restores; };
    env.services.createMidiDeviceManager = [this](Synth*, bool native) -> std::unique_ptr<MidiDeviceManagerService> {
      probe.midiNativeModes.push_back(native);
      auto m = std::make_unique<FakeMidi>();
      probe.midi = m.get();
      return m;
    };
    env.services.createICloudManager = [this] { ++probe.iCloudManagers; };
    env.services.configureCrashReporting = [this] { ++probe.crashReporting; };
    env.services.registerForNotifications = [this](unsigned t) { probe.notificationTypes.push_back(t); };
    env.services.setIdleTimerDisabled = [this](bool d) { probe.idleTimer.push_back(d); };
    env.stepObserver = [this](const std::string& s) {
      probe.steps.push_back(s);
      const std::string why = check(s);
      if (!why.empty()) probe.problems[s] = why;
    };
    return env;
  }

  // What must hold right after a step; empty when it does.
  std::string check(const std::string& s) {
    Synth* synth = Synth::instance();
    IPhoneAudioIO* io = audioIO();
    Z31647PatternStore& store = Z31647PatternStore::getInstance();
    if (s == "globalSettings") {
      if (!globalSettings()) return "no global settings";
      if (synth || io) return "engine or audio made too early";
    } else if (s == "patternSets") {
      if (!PatternSetStore::sharedInstance().hasGrid()) return "no pattern-set grid";
      if (drumData()) return "drum data before the pattern sets";
    } else if (s == "drumData") {
      if (!drumData()) return "no drum data";
      if (synth) return "engine before the drum data";
    } else if (s == "engine") {
      if (!synth) return "no engine";
      if (synth->listener()) return "observer attached too early";
    } else if (s == "observer") {
      if (!synth || synth->listener() != SynthObserver::getInstance()) return "observer not attached";
      if (io) return "audio output before the observer";
    } else if (s == "audioOutputOpened") {
      if (!io || !io->isOpened()) return "audio output not open";
      if (io->isRunning()) return "audio output runs before the engine has a pattern provider";
      if (synth->dataProvider()) return "provider set before the audio output";
    } else if (s == "patternStore") {
      if (synth->dataProvider() != &store) return "the store is not the engine's provider";
      if (store.numberOfPatterns() <= 0) return "the store has not loaded";
      if (io->isRunning()) return "audio output started before the store";
    } else if (s == "audioOutputStarted") {
      if (!io->isRunning()) return "audio output not running";
    } else if (s == "preloadJoined") {
      if (!probe.preloaded) return "preload did not run";
      if (probe.shownWith) return "main screen before the preload was joined";
    } else if (s == "mainScreen") {
      if (probe.shownWith != synth) return "main screen not given the engine";
    } else if (s == "audioOutputDestroyed") {
      if (io) return "audio output still there";
      if (!synth) return "engine destroyed before the audio output";
      if (probe.midi && midiDeviceManager()) return "MIDI manager outlives the audio output";
    } else if (s == "engineDestroyed") {
      if (synth) return "engine still there";
      if (!drumData()) return "drum data destroyed before the engine";
    } else if (s == "drumDataDestroyed") {
      if (drumData()) return "drum data still there";
      if (!globalSettings()) return "global settings destroyed before the drum data";
    } else if (s == "globalSettingsDestroyed") {
      if (globalSettings()) return "global settings still there";
    } else if (s == "mainScreenReleased") {
      if (!synth || !io) return "main screen released after the engine went";
    }
    return {};
  }

  // Launches and runs the queued second stage; waits for the engine's first
  // pattern load (the render thread loads it and the observer reports it).
  std::unique_ptr<iGroovebixRAppDelegate> launch() {
    auto d = std::make_unique<iGroovebixRAppDelegate>(environment());
    patternChanges = 0;
    platform::NotificationCenter::defaultCenter().addObserver(this, "patternChanged",
                                                              [this](const platform::Notification&) { ++patternChanges; });
    EXPECT_TRUE(d->didFinishLaunching());
    EXPECT_FALSE(d->delayedInitializationDone()) << "the second stage is queued, not run";
    EXPECT_TRUE(runUntil([&] { return d->delayedInitializationDone(); }));
    EXPECT_TRUE(runUntil([&] { return patternChanges > 0; })) << "no pattern was loaded";
    return d;
  }

  void terminate(std::unique_ptr<iGroovebixRAppDelegate>& d) {
    d->applicationWillTerminate();
    platform::NotificationCenter::defaultCenter().removeObserver(this);
    d.reset();
  }

  void TearDown() override {
    if (delegate) terminate(delegate);
    AppRootTest::TearDown();
  }

  Probe probe;
  int patternChanges = 0;
  std::unique_ptr<iGroovebixRAppDelegate> delegate;
};

const std::vector<std::string> kFirstStage = {
    "preload",      "globalSettings", "patternSets",        "drumData",      "engine",
    "observer",     "audioOutputOpened", "patternStore",    "audioOutputStarted", "preloadJoined",
    "mainScreen",   "secondStageQueued"};
const std::vector<std::string> kSecondStage = {
    "editState",        "iCloudManager",  "restoreObserver", "midiManager",          "settingsBundle",
    "analyticsSession", "crashReporting", "backupUploadScheduled", "notifications"};
const std::vector<std::string> kShutdown = {"mainScreenReleased",   "midiManagerDestroyed", "audioOutputDestroyed",
                                            "engineDestroyed",      "drumDataDestroyed",    "globalSettingsDestroyed"};

}  // namespace

TEST_F(AppDelegateTest, StartsInTheOverviewsOrderAndTearsDownInReverse) {
  delegate = launch();
  std::vector<std::string> expected = kFirstStage;
  expected.insert(expected.end(), kSecondStage.begin(), kSecondStage.end());
  EXPECT_EQ(probe.steps, expected);
  EXPECT_TRUE(probe.problems.empty()) << probe.problems.begin()->first << ": " << probe.problems.begin()->second;
  EXPECT_EQ(probe.iCloudManagers, 1);
  EXPECT_EQ(probe.crashReporting, 1);
  EXPECT_EQ(probe.notificationTypes, std::vector<unsigned>{5});
  EXPECT_EQ(delegate->supportedInterfaceOrientationsForWindow(), 24u);
  // No edit buffer on a first start: pattern 0 is selected.
  EXPECT_EQ(Synth::instance()->currentPatternIndex(), 0);

  probe.steps.clear();
  terminate(delegate);
  EXPECT_EQ(probe.steps, kShutdown);
  EXPECT_TRUE(probe.problems.empty()) << probe.problems.begin()->first << ": " << probe.problems.begin()->second;
  EXPECT_EQ(probe.releases, 1);
  EXPECT_EQ(Synth::instance(), nullptr);
  EXPECT_EQ(audioIO(), nullptr);
}

TEST_F(AppDelegateTest, MidiManagerNativeModeFollowsGlobalSetting7) {
  // "Quilla2 Native Mode" is read from the global settings file at start-up.
  for (int native : {0, 1}) {
    {
      fs::create_directories(data());
      GlobalSettings g(data(), docs);
      g.set(GlobalSettings::kNativeMode, native);
      ASSERT_TRUE(g.saveGlobalSettings());
    }
    probe.midiNativeModes.clear();
    delegate = launch();
    EXPECT_EQ(probe.midiNativeModes, std::vector<bool>{native == 1});
    terminate(delegate);
  }
}

TEST_F(AppDelegateTest, AbsentSettingsBundleKeysCountAsYes) {
  delegate = launch();
  ASSERT_NE(probe.midi, nullptr);
  EXPECT_EQ(probe.midi->networkMidi, std::vector<bool>{true});
  EXPECT_EQ(probe.idleTimer, std::vector<bool>{true});
  EXPECT_TRUE(GQFlurry::sharedInstance().isEnabled());
  EXPECT_EQ(defaults->stringForKey(kApplicationVersionKey), "0.1.0 (1)");
}

TEST_F(AppDelegateTest, StoredSettingsBundleValuesAreAppliedAndReReadInTheForeground) {
  defaults->setBool(false, kEnableNetworkMidiKey);
  defaults->setBool(false, kDisableAutoLockKey);
  defaults->setBool(false, kEnableAnalyticsKey);
  delegate = launch();
  ASSERT_NE(probe.midi, nullptr);
  EXPECT_EQ(probe.midi->networkMidi, std::vector<bool>{false});
  EXPECT_EQ(probe.idleTimer, std::vector<bool>{false});
  EXPECT_FALSE(GQFlurry::sharedInstance().isEnabled());

  delegate->applicationDidEnterBackground();
  defaults->setBool(true, kEnableAnalyticsKey);
  defaults->setString("stale", kApplicationVersionKey);
  delegate->applicationWillEnterForeground();
  EXPECT_TRUE(GQFlurry::sharedInstance().isEnabled());
  EXPECT_EQ(probe.midi->networkMidi, (std::vector<bool>{false, false}));
  EXPECT_EQ(probe.midi->resends, 1) << "the controllers' set-up is sent again";
  EXPECT_EQ(defaults->stringForKey(kApplicationVersionKey), "0.1.0 (1)") << "rewritten on every read";
}

TEST_F(AppDelegateTest, BackgroundWritesEditBufferIndexTablePatternSetsAndGlobalSettings) {
  delegate = launch();
  Synth* synth = Synth::instance();
  const fs::path editBuffer = *Utilities::editBufferFilePath();
  const fs::path indexTable = *Utilities::applicationIndexTablePath();
  const fs::path sets = *PatternSetStore::patternSetDataPath();
  const fs::path global = data() / "global.dat";
  for (const fs::path& p : {editBuffer, sets, global}) fs::remove(p);
  fs::remove(indexTable);
  ASSERT_FALSE(fs::exists(indexTable));

  synth->setStep(2, 37, true);
  synth->setPartParameter(1, 0, 99);
  globalSettings()->set(GlobalSettings::kKnobMode, 1);
  PatternSetStore::sharedInstance().replace(int64_t{5}, 42);

  delegate->applicationDidEnterBackground();
  EXPECT_TRUE(delegate->isInBackground());
  for (const fs::path& p : {editBuffer, indexTable, sets, global}) EXPECT_TRUE(fs::exists(p)) << p;
  EXPECT_EQ(defaults->integerForKey(kEditBufferPatternNumberKey), synth->currentPatternIndex());

  // The edit buffer holds the edited record.
  auto bytes = platform::readFile(editBuffer);
  ASSERT_TRUE(bytes);
  ASSERT_EQ(bytes->size(), PatternRecord::kSize);
  const PatternRecord saved = PatternRecord::fromBytes(std::span<const uint8_t, PatternRecord::kSize>(bytes->data(), PatternRecord::kSize));
  EXPECT_EQ(saved.sequencerParams.trigger[2][37], 1);
  EXPECT_EQ(saved.synthParams[1].pitch, 99);
  // The pattern sets and the settings as files others can read.
  PatternSetStore reread;
  ASSERT_TRUE(reread.loadFromPath(sets));
  EXPECT_EQ(reread.patternIndex(5, 0), 42u);
  GlobalSettings g(data(), docs);
  EXPECT_EQ(g.get(GlobalSettings::kKnobMode), 1);
  EXPECT_TRUE(platform::readPropertyList(indexTable).has_value());
}

TEST_F(AppDelegateTest, ARestartRestoresTheEditBufferAndConsumesIt) {
  delegate = launch();
  Synth* synth = Synth::instance();
  // Some pattern other than 0, edited.
  const int target = 3;
  patternChanges = 0;
  ASSERT_EQ(synth->changePatternSilently(target), target);
  ASSERT_TRUE(runUntil([&] { return synth->currentPatternIndex() == target && patternChanges > 0; }));
  synth->setStep(5, 9, !synth->step(5, 9));
  const bool edited = synth->step(5, 9);
  synth->setPartParameter(4, 6, 17);
  const PatternRecord before = *synth->currentPattern();
  delegate->applicationDidEnterBackground();
  terminate(delegate);

  delegate = launch();
  synth = Synth::instance();
  EXPECT_EQ(synth->currentPatternIndex(), target);
  EXPECT_EQ(synth->step(5, 9), edited);
  EXPECT_EQ(synth->currentPattern()->synthParams[4].level, 17);
  EXPECT_TRUE(*synth->currentPattern() == before);
  EXPECT_FALSE(fs::exists(*Utilities::editBufferFilePath())) << "the edit buffer is consumed by the restore";
}

TEST_F(AppDelegateTest, TerminationWithoutBackgroundStillSavesTheEdits) {
  delegate = launch();
  Synth* synth = Synth::instance();
  synth->setStep(0, 1, !synth->step(0, 1));
  const bool edited = synth->step(0, 1);
  terminate(delegate);  // the window closed: no background entry came first
  ASSERT_TRUE(fs::exists(*Utilities::editBufferFilePath()));

  delegate = launch();
  EXPECT_EQ(Synth::instance()->step(0, 1), edited);
}

// The engine observer outlives a launch; the main loop's timers need not (a
// window back end made anew resets the loop). A launch after that still
// hears the engine: launch() waits for the first pattern's notification.
TEST_F(AppDelegateTest, ARelaunchAfterTheMainLoopWasResetStillHearsTheEngine) {
  delegate = launch();
  terminate(delegate);
  platform::RunLoop::main().reset();
  delegate = launch();
  ASSERT_NE(Synth::instance(), nullptr);
}

// What the engine reported just before it went is posted while the program
// shuts down, not into the next launch.
TEST_F(AppDelegateTest, TheEnginesLastReportsArePostedAtShutdown) {
  delegate = launch();
  const int before = patternChanges;
  SynthObserver::getInstance()->patternChanged();  // as the render thread's last load would
  delegate->applicationWillTerminate();
  EXPECT_GT(patternChanges, before);
}

TEST_F(AppDelegateTest, RestoreNotificationReachesTheMainScreenOnlyWhileRunning) {
  delegate = launch();
  platform::NotificationCenter::defaultCenter().post(kRestoreDidFinishNotification);
  EXPECT_EQ(probe.restores, 1);
  terminate(delegate);
  platform::NotificationCenter::defaultCenter().post(kRestoreDidFinishNotification);
  EXPECT_EQ(probe.restores, 1);
}

TEST_F(AppDelegateTest, ForegroundWithoutBackgroundAndSecondBackgroundDoNothing) {
  delegate = launch();
  delegate->applicationWillEnterForeground();
  EXPECT_EQ(probe.midi->resends, 0);
  const fs::path global = data() / "global.dat";
  delegate->applicationDidEnterBackground();
  ASSERT_TRUE(fs::exists(global));
  fs::remove(global);
  delegate->applicationDidEnterBackground();
  EXPECT_FALSE(fs::exists(global)) << "a second background entry saves nothing more";
}

// A restore that died between its exchanges left the new index table beside
// the old pattern sets; the next launch finishes it before anything reads
// the library.
TEST_F(AppDelegateTest, ALaunchFinishesARestoreThatACrashInterrupted) {
  delegate = launch();
  delegate->applicationDidEnterBackground();
  terminate(delegate);
  const fs::path sets = *PatternSetStore::patternSetDataPath();
  const fs::path archive = root / "library.gbd";
  std::string error;
  ASSERT_TRUE(BackupArchive::write(data(), archive, Utilities::createDataPassword(), {}, &error)) << error;
  const auto archivedSets = platform::readFile(sets);
  ASSERT_TRUE(archivedSets);
  ASSERT_TRUE(platform::writePropertyList(sets, platform::Value(platform::Array(64, platform::Value(7)))));

  ASSERT_TRUE(restoreDyingAfterTheFirstExchange(archive, data())) << "the restore did not stop half-way";
  ASSERT_TRUE(fs::exists(data() / ".restore.journal"));

  delegate = launch();
  EXPECT_EQ(platform::readFile(sets), archivedSets);
  EXPECT_EQ(PatternSetStore::sharedInstance().patternIndex(0, 0), (*platform::readPropertyList(sets)->array())[0].integerValue());
  EXPECT_NE(PatternSetStore::sharedInstance().patternIndex(0, 0), 7u);
  for (const auto& e : fs::directory_iterator(data())) {
    const std::string name = e.path().filename().string();
    EXPECT_NE(name.rfind(".restore", 0), 0u) << name << " left behind";
  }
}
