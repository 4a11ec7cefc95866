#pragma once
// The application delegate: brings the instrument up and down.
//
// Start-up builds the long-lived singletons in a fixed order (global
// settings, pattern sets, drum samples, engine, engine observer, audio
// output, pattern store), shows the main screen, and queues a second stage on
// the main queue that restores the edit state and starts the slower
// services. Every entry to the background saves the whole state; coming back
// re-reads the settings-bundle values. Termination tears the singletons down.
//
// Two things differ from the plain order on purpose:
// - the audio output is opened where the order puts it but started only once
//   the pattern store is the engine's pattern provider, so the render thread
//   never runs an engine that cannot fetch a pattern;
// - termination first saves what the background entry saves (unless the
//   program is in the background and saved there already), so closing the
//   window loses no edit.
//
// Before the library loads, start-up finishes (or undoes) a restore that a
// crash interrupted. When it cannot, it says so in an alert over the main
// screen and the library is not written in this run (see LibraryWrites), so
// that a later start can still tell the old items from the new ones.
//
// Main thread only, except the preload thread, which only builds the image
// manager and is joined before the main screen is made.

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "app/app_services.h"
#include "audio/user_defaults_access.h"
#include "platform/audio/audio_output_unit.h"
#include "platform/foundation/user_defaults.h"
#include "platform/ui/application.h"
#include "platform/ui/navigation_controller.h"

class Synth;
class Z31647ViewController;

// The navigation controller the main screen lives in: landscape only.
class DuzaNavigationController : public platform::NavigationController {
 public:
  using platform::NavigationController::NavigationController;
  bool shouldAutorotate() const { return true; }
  unsigned supportedInterfaceOrientations() const override { return 24; }
};

// Settings-bundle keys and the other user defaults the delegate reads/writes.
inline constexpr const char* kEnableNetworkMidiKey = "enable_network_midi";
inline constexpr const char* kDisableAutoLockKey = "disable_auto_lock";
inline constexpr const char* kEnableAnalyticsKey = "enable_analytics";
inline constexpr const char* kApplicationVersionKey = "application_version";
inline constexpr const char* kEditBufferPatternNumberKey = "EditBufferPatternNumber";
inline constexpr const char* kRestoreDidFinishNotification = "RestoreItemViewControllerDidRestored";
// The title of the alert a start shows when it cannot finish an interrupted
// restore.
inline constexpr const char* kRecoveryFailedAlertTitle = "Restore Not Finished";

// Landscape left | landscape right.
inline constexpr unsigned kLandscapeOrientations = 24;

struct AppEnvironment {
  // The user defaults every part of the program uses; the standard ones when null.
  platform::UserDefaults* userDefaults = nullptr;
  // The sound drivers to try; the configured ones when empty.
  std::optional<std::vector<platform::AudioDriver>> audioDrivers;
  AppServices services;
  // Runs on the preload thread; builds the image manager when empty.
  std::function<void()> preloadImages;
  // For tests without an interface: replaces the main screen (steps 10 to
  // 12 of the start-up), its release before the engine goes, and what a
  // finished restore does to it. Empty: the real main view controller in
  // its navigation controller and window.
  std::function<void(Synth* synth)> showMainScreen;
  std::function<void()> releaseMainScreen;
  std::function<void()> restoreDidFinish;
  // Called after each step of the start-up and the shutdown with the step's
  // name, so that a test can look at what exists at that moment.
  std::function<void(const std::string& step)> stepObserver;
};

class iGroovebixRAppDelegate : public platform::ApplicationDelegate,
                               public platform::NavigationControllerDelegate {
 public:
  explicit iGroovebixRAppDelegate(AppEnvironment environment = {});
  ~iGroovebixRAppDelegate() override;
  iGroovebixRAppDelegate(const iGroovebixRAppDelegate&) = delete;
  iGroovebixRAppDelegate& operator=(const iGroovebixRAppDelegate&) = delete;

  // application:didFinishLaunchingWithOptions: -> YES. The first stage.
  bool didFinishLaunching();
  // The second stage; runs once, from the block the first stage queues.
  void delayedInitialization();
  void applicationDidEnterBackground();
  void applicationWillEnterForeground();
  // The platform's lifecycle calls.
  bool didFinishLaunching(platform::Application&, const platform::Dictionary&) override { return didFinishLaunching(); }
  void didEnterBackground(platform::Application&) override { applicationDidEnterBackground(); }
  void willEnterForeground(platform::Application&) override { applicationWillEnterForeground(); }
  void willTerminate(platform::Application&) override { applicationWillTerminate(); }
  void willResignActive(platform::Application&) override {}
  void didBecomeActive(platform::Application&) override {}

  void applicationWillResignActive() {}
  void applicationDidBecomeActive() {}
  void applicationWillTerminate();
  unsigned supportedInterfaceOrientationsForWindow() const { return kLandscapeOrientations; }

  // Saves everything that outlives the process: edit buffer, index table,
  // pattern sets, global settings. True when every part reached the disk.
  bool storeData();
  void loadSettingsBundle();
  void loadNetworkMidiSetting();
  void loadDisableAutoLockSetting();
  void loadAnalyticsSetting();
  // The observer of "RestoreItemViewControllerDidRestored": the main
  // screen leaves a function mode and reloads the restored pattern.
  void restoreDidFinished();

  // Never invoked: the rating prompt is not shown.
  void initializeAppirater();

  // A settings-bundle value: YES when the key is absent.
  bool settingsBundleValue(const char* key) const;
  // The short version followed by " (<build>)".
  static std::string applicationVersionText();

  platform::UserDefaults& userDefaults() const { return *defaults_; }
  const std::shared_ptr<Z31647ViewController>& viewController() const { return viewController_; }
  const std::shared_ptr<DuzaNavigationController>& rootController() const { return rootController_; }
  Synth* synth() const { return synth_; }
  bool isLaunched() const { return launched_; }
  bool isInBackground() const { return inBackground_; }
  bool delayedInitializationDone() const { return delayedDone_; }
  bool idleTimerDisabled() const { return idleTimerDisabled_; }
  // Why the start could not finish an interrupted restore; nothing when it
  // did, or there was none. The library is not written meanwhile.
  const std::optional<std::string>& recoveryFailure() const { return recoveryFailure_; }

 private:
  void step(const std::string& name);
  void shutdown();
  void showMainScreen();
  void tellRecoveryFailure(const std::string& why);

  AppEnvironment env_;
  platform::UserDefaults* defaults_;
  std::unique_ptr<PlatformUserDefaultsAccess> audioDefaults_;
  std::thread preload_;
  std::shared_ptr<Z31647ViewController> viewController_;
  std::shared_ptr<DuzaNavigationController> rootController_;
  Synth* synth_ = nullptr;
  bool launched_ = false;
  bool inBackground_ = false;
  bool storedInBackground_ = false;
  bool delayedDone_ = false;
  bool idleTimerDisabled_ = false;
  bool appiraterConfigured_ = false;
  std::optional<std::string> recoveryFailure_;
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};
