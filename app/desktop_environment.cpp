#include "app/desktop_environment.h"

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <memory>

#include "audio/midi/midi_device_manager.h"
#include "library/backup/icloud_manager.h"
#include "platform/ui/application.h"
#include "screens/z31647_screen_presenter.h"
#include "tutorial/gbx_tutorial_view_controller.h"

namespace {

// The manager as the main screen sees it.
class MidiDeviceManagerAdapter final : public MidiDeviceManagerService {
 public:
  MidiDeviceManagerAdapter(Synth* synth, bool nativeMode, platform::MidiSystem* system)
      : manager_(system ? MidiDeviceManager::createMidiDeviceManager(synth, nativeMode, *system)
                        : MidiDeviceManager::createMidiDeviceManager(synth, nativeMode)) {}
  ~MidiDeviceManagerAdapter() override {
    // Only the manager this adapter made (a newer one may have replaced it).
    if (manager_ && MidiDeviceManager::instance() == manager_) MidiDeviceManager::destroyMidiDeviceManager();
  }
  MidiDeviceManagerAdapter(const MidiDeviceManagerAdapter&) = delete;
  MidiDeviceManagerAdapter& operator=(const MidiDeviceManagerAdapter&) = delete;

  void setNetworkMidiEnabled(bool enabled) override {
    if (live()) manager_->setNetworkMidiEnabled(enabled);
  }
  void resendControllerSetup() override {
    if (live()) manager_->resendControllerSetup();
  }
  void updateControllerOutputs() override {
    if (live()) manager_->updateControllerOutputs();
  }

 private:
  bool live() const { return manager_ && MidiDeviceManager::instance() == manager_; }
  MidiDeviceManager* manager_;
};

[[noreturn]] void reportUncaughtException() {
  // A crash with its cause in the log is worth more than one without.
  if (std::exception_ptr e = std::current_exception()) {
    try {
      std::rethrow_exception(e);
    } catch (const std::exception& x) {
      std::fprintf(stderr, "igroovebix: uncaught exception: %s\n", x.what());
    } catch (...) {
      std::fprintf(stderr, "igroovebix: uncaught exception of an unknown type\n");
    }
  } else {
    std::fprintf(stderr, "igroovebix: terminated without an exception\n");
  }
  std::fflush(stderr);
  std::abort();
}

}  // namespace

AppEnvironment makeDesktopEnvironment(const DesktopEnvironmentOptions& options) {
  // The first launch lays the guided tutorial over the main screen.
  GBXTutorialViewController::registerWithMainScreen();
  // The menu bar opens the settings, information, export and backup screens.
  Z31647ScreenPresenter::registerWithMainScreen();

  AppEnvironment environment;
  AppServices& s = environment.services;
  platform::MidiSystem* midi = options.midiSystem;
  s.createMidiDeviceManager = [midi](Synth* synth, bool nativeMode) -> std::unique_ptr<MidiDeviceManagerService> {
    return std::make_unique<MidiDeviceManagerAdapter>(synth, nativeMode, midi);
  };
  // Made at start-up so that its container look-up has ended by the time
  // the backup list first opens.
  s.createICloudManager = [] { ICloudManager::sharedInstance(); };
  s.uploadLocalBackupFile = [] {
    if (std::shared_ptr<ICloudManager> manager = ICloudManager::sharedInstance()) manager->uploadLocalBackupFile();
  };
  s.configureCrashReporting = [] { std::set_terminate(&reportUncaughtException); };
  s.registerForNotifications = [](unsigned) { platform::Application::sharedApplication().registerForRemoteNotifications(); };
  s.setIdleTimerDisabled = [](bool disabled) { platform::Application::sharedApplication().setIdleTimerDisabled(disabled); };
  return environment;
}
