#pragma once
// The screens the main screen opens from its menu bar, as popovers anchored
// to the button that was touched, arrow up, at most one at a time and
// popovers on small screens too: the settings screen (whose eight controls
// the main view controller then becomes the target of), the information
// screen, the WAV export screen and the backup list. It also runs the bounce that the export
// screen asks for, around the main screen's panel: the transport stopped and
// reset first, the panel redrawn after, the saved file offered from the menu
// bar's export button.
//
// One presenter belongs to one main view controller; install() hooks it
// into the controller's menu bar and keeps it as long as the controller.
//
// Main thread only.

#include <memory>

#include "platform/ui/view_controller.h"
#include "screens/export_wav_screen_controller.h"
#include "screens/main_screen_library_host.h"
#include "screens/wav_exporter.h"

class Z31647ViewController;
class SettingScreenController;

class Z31647ScreenPresenter : public platform::PopoverPresentationControllerDelegate,
                              public WavExporterHost,
                              public ExportWavScreenParent,
                              public std::enable_shared_from_this<Z31647ScreenPresenter> {
 public:
  static constexpr platform::Size kSettingsSize{420, 364};
  static constexpr platform::Size kInformationSize{280, 250};
  static constexpr platform::Size kExportSize{280, 170};
  static constexpr platform::Size kRestoreSize{420, 220};

  // Makes the presenter of `controller` and installs its menu-bar actions.
  static std::shared_ptr<Z31647ScreenPresenter> install(const std::shared_ptr<Z31647ViewController>& controller,
                                                       AudioFileRecorderEnvironment environment = {});
  // Every main view controller the program makes gets a presenter.
  static void registerWithMainScreen();

  explicit Z31647ScreenPresenter(std::weak_ptr<Z31647ViewController> controller,
                                 AudioFileRecorderEnvironment environment = {});
  ~Z31647ScreenPresenter() override;

  // ---- the popovers (sender: the menu-bar button)
  void openIPhoneSettingsView(platform::View* sender);
  void openHelpMenu(platform::View* sender);
  void openExportScreen(platform::View* sender);
  // The backup list in a navigation controller (its bar shown).
  void openRestoreScreen(platform::View* sender);
  // The pattern browser, pushed onto the main screen's navigation
  // controller: in Save mode (the edited pattern queued as the pending one)
  // when the sender is the panel's save button, else in Load mode. Open
  // popovers stay.
  void openIPhoneBrowser(platform::View* sender);
  void disposeAllPopover(bool flag) override;
  // Both forms answer "none": a popover stays a popover on compact widths.
  platform::ModalPresentationStyle adaptivePresentationStyle(platform::PopoverPresentationController&) override {
    return platform::ModalPresentationStyle::None;
  }
  // The settings screen's controls to the main view controller's actions.
  void registerSettingActions(SettingScreenController& screen);

  // ---- offered, though no control of the program sends them
  // One settings screen kept for the pushed variant.
  const std::shared_ptr<SettingScreenController>& settingController();
  // Pushes the kept settings screen; only its four rows and the knob
  // gesture reach the main view controller.
  void openSettingScreen();
  // The pattern data mail screen, full screen.
  void composeMail();
  // Copies the iCloud list's backups into the documents folder (existing
  // names are left alone) and says how it went.
  void execDuplicate();

  // ---- the bounce
  void bounceCurrentPattern() override;
  void prepareToBounce() override;
  void bounceDidFinish() override;
  void sendNotificationMessage(const std::string& text, uint64_t displayTimeIndex) override;
  platform::View* openInMenuAnchor() override;
  // The menu bar has no menu popover or toolbar of its own: nothing to close.
  void closeMenu() {}

  WavExporter& exporter() { return *exporter_; }

 private:
  void present(std::shared_ptr<platform::ViewController> screen, platform::Size size, platform::View* sender);
  Z31647ViewController* controller() const;

  std::weak_ptr<Z31647ViewController> controller_;
  // What the pattern browser reaches the main screen through; it lives as
  // long as the presenter, and so as long as the main view controller.
  std::unique_ptr<MainScreenLibraryHost> libraryHost_;
  std::shared_ptr<WavExporter> exporter_;
  std::shared_ptr<SettingScreenController> settingController_;
};
