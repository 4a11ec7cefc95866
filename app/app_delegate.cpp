#include "app/app_delegate.h"

#include "audio/link/abl_link_kit.h"
#include "audio/link/screens/link_screens.h"
#include "engine/midi/midi_clock_tempo_tracker.h"

#include <cstdio>
#include <filesystem>

#include "app/gq_flurry.h"
#include "app/main_screen_services.h"
#include "app/z31647_view_controller.h"
#include "controls/image_manager.h"
#include "audio/gbv_audio_session.h"
#include "audio/iphone_audio_io.h"
#include "engine/observer/synth_observer.h"
#include "engine/settings/global_settings.h"
#include "engine/synth/synth.h"
#include "engine/voices/drum_data.h"
#include "library/backup/backup_archive.h"
#include "library/backup/backup_creator.h"
#include "library/library_writes.h"
#include "library/pattern_set_store.h"
#include "library/pattern_store.h"
#include "library/utilities.h"
#include "platform/foundation/bundle.h"
#include "platform/notify/notification_center.h"
#include "platform/runloop/run_loop.h"
#include "platform/ui/alert_view.h"
#include "platform/ui/screen.h"
#include "platform/ui/window.h"

#ifndef IGB_APP_VERSION
#define IGB_APP_VERSION "0.0.0"
#endif
#ifndef IGB_APP_BUILD
#define IGB_APP_BUILD "0"
#endif

namespace fs = std::filesystem;

namespace {

constexpr float kSampleRate = 44100.0f;
// badge | alert
constexpr unsigned kNotificationTypes = 5;
constexpr double kBackupUploadDelay = 30.0;

void logLine(const std::string& line) { std::fprintf(stderr, "igroovebix: %s\n", line.c_str()); }

std::string infoString(const char* key, const char* fallback) {
  const std::optional<platform::Value> v = platform::Bundle::mainBundle().objectForInfoDictionaryKey(key);
  if (v && v->isString() && !v->string()->empty()) return *v->string();
  return fallback;
}

}  // namespace

iGroovebixRAppDelegate::iGroovebixRAppDelegate(AppEnvironment environment)
    : env_(std::move(environment)),
      defaults_(env_.userDefaults ? env_.userDefaults : &platform::UserDefaults::standardUserDefaults()),
      audioDefaults_(std::make_unique<PlatformUserDefaultsAccess>(*defaults_)) {
  if (!env_.preloadImages) env_.preloadImages = [] { ImageManager::instance(); };
}

iGroovebixRAppDelegate::~iGroovebixRAppDelegate() {
  *alive_ = false;
  if (preload_.joinable()) preload_.join();
  platform::NotificationCenter::defaultCenter().removeObserver(this);
}

void iGroovebixRAppDelegate::step(const std::string& name) {
  if (env_.stepObserver) env_.stepObserver(name);
}

bool iGroovebixRAppDelegate::didFinishLaunching() {
  if (launched_) return true;
  launched_ = true;

  // 1. The image manager loads the panel's images while the engine comes up.
  std::function<void()> preload = env_.preloadImages;
  preload_ = std::thread([preload] {
    if (preload) preload();
  });
  step("preload");

  // 2. Global settings: moves an older settings file in and loads "global.dat".
  const fs::path documents = Utilities::applicationiTunesDocumentsDirectory().value_or(fs::path("."));
  const fs::path data = Utilities::applicationDocumentsDirectory().value_or(documents);
  createGlobalSettings(data, documents);
  step("globalSettings");

  // A restore that a crash interrupted is finished, or undone, before
  // anything reads the library, so that it is wholly the old or the new one.
  // When that fails the library may be half swapped, and the next start
  // tells its items apart by their identity on disk: nothing writes the
  // library until a start finishes the recovery, and the user is told.
  std::string recoveryError;
  if (BackupArchive::recoverInterruptedRestore(data, &recoveryError)) {
    LibraryWrites::allow();
  } else {
    logLine(recoveryError);
    LibraryWrites::refuseUntilRecovered(recoveryError);
    recoveryFailure_ = recoveryError;
  }

  // 3. Pattern sets.
  PatternSetStore& sets = PatternSetStore::sharedInstance();
  sets.setReporter(logLine);
  sets.load();
  step("patternSets");

  // 4. Drum sample memory from the bundle resource "drumdata" "bin".
  createDrumData();
  step("drumData");

  // 5. The engine.
  // The sequencer joins a Link session through the kit; Link stays off
  // until the user switches it on ("ABLLinkEnabledKey" is off at first).
  SeqServices seqServices;
  // The kit's settings screen and in-app banner come with each handle.
  seqServices.makeLink = makeABLLinkKitFactory(linkScreensEnvironment());
  seqServices.makeClockTracker = midiClockTempoTrackerFactory();
  synth_ = Synth::getInstance(kSampleRate, std::move(seqServices));
  // A pattern select from MIDI looks its pattern up in the pattern sets, on
  // the MIDI thread; the store's table is atomics, so no lock is needed.
  synth_->setPatternSetLookup([](int32_t slot, int32_t bank) {
    return static_cast<int32_t>(PatternSetStore::sharedInstance().patternIndex(slot, bank));
  });
  step("engine");

  // 6. The observer: engine events become notifications on the main queue.
  synth_->setListener(SynthObserver::getInstance());
  step("observer");

  // 7. The audio output, opened; it starts after step 8.
  GBVAudioSession::Environment audioEnv;
  audioEnv.drivers = env_.audioDrivers;
  audioEnv.userDefaults = audioDefaults_.get();
  IPhoneAudioIO* io = createAudioIO(kSampleRate, audioEnv);
  io->setListener(synth_);
  io->session().setEngine(synth_);
  io->session().setNoticeQueue([](std::function<void()> notice) { platform::dispatchAsyncMain(std::move(notice)); });
  io->open();
  step("audioOutputOpened");

  // 8. The pattern store becomes the engine's pattern provider and loads.
  Z31647PatternStore& store = Z31647PatternStore::getInstance();
  store.setReporter(logLine);
  store.setNotificationHandler([](const std::string& name, const platform::Dictionary& userInfo) {
    platform::dispatchAsyncMain(
        [name, userInfo] { platform::NotificationCenter::defaultCenter().post(name, {}, userInfo); });
  });
  platform::UserDefaults* defaults = defaults_;
  store.setEditBufferNumberAccess(
      {[defaults]() -> std::optional<int64_t> {
         const std::optional<platform::Value> v = defaults->objectForKey(kEditBufferPatternNumberKey);
         if (!v) return std::nullopt;
         return v->integerValue();
       },
       [defaults](int64_t number) { defaults->setInteger(number, kEditBufferPatternNumberKey); }});
  synth_->setDataProvider(&store);
  // Saves, moves and replacements reach the engine's waiting pattern change
  // and its playing number before the store's notifications go out.
  store.setLibraryObserver(synth_);
  store.load();
  // A backup saves the whole state first, so that the archive holds the
  // library as it is in memory (on a first run nothing is on disk yet).
  std::weak_ptr<bool> living = alive_;
  iGROOVEBIXBackupCreator::sharedInstance()->setStoreData([this, living] {
    if (auto a = living.lock(); a && *a) storeData();
  });
  step("patternStore");

  // Sound runs from here on, with a provider to fetch patterns from.
  io->start();
  step("audioOutputStarted");

  // 9.
  if (preload_.joinable()) preload_.join();
  step("preloadJoined");

  // 10-12. The main view controller in its navigation controller and window.
  if (env_.showMainScreen) {
    env_.showMainScreen(synth_);
  } else {
    showMainScreen();
  }
  if (recoveryFailure_) tellRecoveryFailure(*recoveryFailure_);
  step("mainScreen");

  // 13. The second stage runs after this one has returned.
  std::weak_ptr<bool> alive = alive_;
  platform::dispatchAsyncMain([this, alive] {
    if (auto a = alive.lock(); a && *a) delayedInitialization();
  });
  step("secondStageQueued");
  return true;
}

void iGroovebixRAppDelegate::showMainScreen() {
  viewController_ = std::make_shared<Z31647ViewController>();
  viewController_->setSynth(synth_);
  viewController_->setStoreDataAction([this] { return storeData(); });
  viewController_->setUserDefaults(defaults_);
  viewController_->setImageManager(ImageManager::instance());
  // The screens the menu bar opens hook themselves in.
  Z31647MainScreenServices::install(viewController_);
  rootController_ = std::make_shared<DuzaNavigationController>(viewController_);
  rootController_->setNavigationBarHidden(true, false);
  rootController_->setDelegate(this);
  const platform::Rect bounds = platform::Screen::mainScreen().bounds();
  window = std::make_shared<platform::Window>(bounds);
  window->setRootViewController(rootController_);
  window->makeKeyAndVisible();
  window->setFrame(bounds);
}

void iGroovebixRAppDelegate::tellRecoveryFailure(const std::string& why) {
  // The alert shows over the program's own window; with a stand-in for the
  // main screen there is none, and the log line is all.
  if (!window) return;
  auto alert = std::make_shared<platform::AlertView>(
      kRecoveryFailedAlertTitle,
      "A restore that was interrupted could not be finished: " + why +
          "\n\nYour patterns are left as they are on disk, and changes to them are not saved until a later start "
          "finishes the restore.",
      nullptr, std::string("OK"), std::vector<std::string>{});
  alert->show();
}

void iGroovebixRAppDelegate::delayedInitialization() {
  if (delayedDone_ || !synth_) return;
  delayedDone_ = true;

  // 1. The saved edit state, or pattern 0.
  if (!synth_->restoreEditBuffer()) synth_->changePatternSilently(0);
  step("editState");

  // 2.
  if (env_.services.createICloudManager) env_.services.createICloudManager();
  step("iCloudManager");

  // 3.
  platform::NotificationCenter::defaultCenter().addObserver(
      this, kRestoreDidFinishNotification, [this](const platform::Notification&) { restoreDidFinished(); });
  step("restoreObserver");

  // 4. Native controller mode exactly when "Quilla2 Native Mode" is 1.
  const GlobalSettings* settings = globalSettings();
  const bool native = settings && settings->get(GlobalSettings::kNativeMode) == 1;
  createMidiDeviceManager(env_.services, synth_, native);
  step("midiManager");

  // 5-7.
  loadSettingsBundle();
  step("settingsBundle");
  GQFlurry::sharedInstance().startSession();
  step("analyticsSession");
  if (env_.services.configureCrashReporting) env_.services.configureCrashReporting();
  step("crashReporting");

  // 8. Local backups move to the iCloud container a little later.
  std::weak_ptr<bool> alive = alive_;
  std::function<void()> upload = env_.services.uploadLocalBackupFile;
  platform::dispatchAfterMain(kBackupUploadDelay, [alive, upload] {
    if (auto a = alive.lock(); a && *a && upload) upload();
  });
  step("backupUploadScheduled");

  // 9.
  if (env_.services.registerForNotifications) env_.services.registerForNotifications(kNotificationTypes);
  step("notifications");
}

void iGroovebixRAppDelegate::applicationDidEnterBackground() {
  if (!launched_ || inBackground_) return;
  inBackground_ = true;
  storeData();
  if (IPhoneAudioIO* io = audioIO()) io->session().appHasGoneInBackground();
}

void iGroovebixRAppDelegate::applicationWillEnterForeground() {
  if (!launched_ || !inBackground_) return;
  inBackground_ = false;
  if (IPhoneAudioIO* io = audioIO()) io->session().appHasGoneForeground();
  loadSettingsBundle();
  if (MidiDeviceManagerService* midi = midiDeviceManager()) midi->resendControllerSetup();
}

void iGroovebixRAppDelegate::applicationWillTerminate() {
  if (!launched_) return;
  // Whatever the way out, the state on disk is the state of the moment.
  storeData();
  shutdown();
}

void iGroovebixRAppDelegate::shutdown() {
  *alive_ = false;
  platform::NotificationCenter::defaultCenter().removeObserver(this, kRestoreDidFinishNotification);
  // The panel's timers and observers read the engine: they go first.
  if (env_.releaseMainScreen) env_.releaseMainScreen();
  if (viewController_) viewController_->releaseEngine();
  viewController_.reset();
  rootController_.reset();
  window.reset();
  step("mainScreenReleased");
  destroyMidiDeviceManager();
  step("midiManagerDestroyed");
  destroyAudioIO();
  step("audioOutputDestroyed");
  Z31647PatternStore::getInstance().setLibraryObserver(nullptr);
  Synth::destroyInstance();
  synth_ = nullptr;
  // The observer outlives the engine: what the engine told it last is
  // posted now, not into the next launch's main screen.
  SynthObserver::getInstance()->drain();
  step("engineDestroyed");
  destroyDrumData();
  step("drumDataDestroyed");
  destroyGlobalSettings();
  step("globalSettingsDestroyed");
  launched_ = false;
  inBackground_ = false;
}

bool iGroovebixRAppDelegate::storeData() {
  bool ok = true;
  // (1) The edit buffer: the current record and its number.
  if (synth_) synth_->storeEditBuffer();
  if (BackupRestorer::libraryBeingReplaced()) {
    // The library on disk is (or is becoming) the restored one; the copy in
    // memory is the old state until the main screen reads it back.
    logLine("a restore is replacing the library; its index and pattern sets are left alone");
  } else {
    // (2) The index table.
    ok = Z31647PatternStore::getInstance().storeIndexTable() && ok;
    // (3) The pattern sets.
    ok = PatternSetStore::sharedInstance().store() && ok;
  }
  // (4) The global settings.
  if (GlobalSettings* g = globalSettings()) ok = g->saveGlobalSettings() && ok;
  if (!ok) logLine("could not save all of the state");
  return ok;
}

void iGroovebixRAppDelegate::restoreDidFinished() {
  if (env_.restoreDidFinish) env_.restoreDidFinish();
  if (!viewController_) return;
  // A function mode is left (back to the layer's base mode) before the
  // restored library's pattern is reloaded.
  if (viewController_->stateMediator().currentStateIndex() != 0) viewController_->changeFunction(-1);
  viewController_->reloadPattern();
}

bool iGroovebixRAppDelegate::settingsBundleValue(const char* key) const {
  if (!defaults_->objectForKey(key)) return true;
  return defaults_->boolForKey(key);
}

void iGroovebixRAppDelegate::loadNetworkMidiSetting() {
  const bool on = settingsBundleValue(kEnableNetworkMidiKey);
  if (MidiDeviceManagerService* midi = midiDeviceManager()) midi->setNetworkMidiEnabled(on);
}

void iGroovebixRAppDelegate::loadDisableAutoLockSetting() {
  idleTimerDisabled_ = settingsBundleValue(kDisableAutoLockKey);
  if (env_.services.setIdleTimerDisabled) env_.services.setIdleTimerDisabled(idleTimerDisabled_);
}

void iGroovebixRAppDelegate::loadAnalyticsSetting() {
  GQFlurry::sharedInstance().setIsEnabled(settingsBundleValue(kEnableAnalyticsKey));
}

void iGroovebixRAppDelegate::loadSettingsBundle() {
  loadNetworkMidiSetting();
  loadDisableAutoLockSetting();
  loadAnalyticsSetting();
  defaults_->setString(applicationVersionText(), kApplicationVersionKey);
}

std::string iGroovebixRAppDelegate::applicationVersionText() {
  return infoString("CFBundleShortVersionString", IGB_APP_VERSION) + " (" +
         infoString("CFBundleVersion", IGB_APP_BUILD) + ")";
}

void iGroovebixRAppDelegate::initializeAppirater() {
  // The rating prompt library is not part of this program: configuring it
  // once is all there is to do, and nothing calls this.
  appiraterConfigured_ = true;
}
