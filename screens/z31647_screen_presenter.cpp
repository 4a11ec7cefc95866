#include "screens/z31647_screen_presenter.h"

#include "app/gbx_menu_bar_view_controller.h"
#include "app/gq_flurry.h"
#include "app/main_screen_services.h"
#include "app/z31647_view_controller.h"
#include "controls/ti_button.h"
#include "controls/ui_slider_with_text_value.h"
#include "engine/synth/synth.h"
#include "library/backup/icloud_manager.h"
#include "library/pattern_store.h"
#include "library/screens/browser_table_controller.h"
#include "library/screens/backup_item_table_view_controller.h"
#include "library/utilities.h"
#include "platform/ui/alert_view.h"
#include "screens/compose_mail_view_controller.h"
#include "modes/z31647_state.h"
#include "platform/ui/navigation_controller.h"
#include "screens/gbx_information_view_controller.h"
#include "screens/setting_screen_controller.h"

namespace CE = platform::ControlEvents;

std::shared_ptr<Z31647ScreenPresenter> Z31647ScreenPresenter::install(
    const std::shared_ptr<Z31647ViewController>& controller, AudioFileRecorderEnvironment environment) {
  if (!controller) return nullptr;
  auto presenter = std::make_shared<Z31647ScreenPresenter>(controller, std::move(environment));
  using Item = Z31647ViewController::MenuBarItem;
  // The controller owns its actions, the actions own the presenter.
  controller->setMenuBarAction(Item::Settings, [presenter](platform::Button* b) { presenter->openIPhoneSettingsView(b); });
  controller->setMenuBarAction(Item::Export, [presenter](platform::Button* b) { presenter->openExportScreen(b); });
  controller->setMenuBarAction(Item::Help, [presenter](platform::Button* b) { presenter->openHelpMenu(b); });
  controller->setMenuBarAction(Item::File, [presenter](platform::Button* b) { presenter->openRestoreScreen(b); });
  controller->setMenuBarAction(Item::Browser, [presenter](platform::Button* b) { presenter->openIPhoneBrowser(b); });
  return presenter;
}

void Z31647ScreenPresenter::registerWithMainScreen() {
  static bool registered = false;
  if (registered) return;
  registered = true;
  Z31647MainScreenServices::installers().push_back(
      [](const std::shared_ptr<Z31647ViewController>& controller) { install(controller); });
}

Z31647ScreenPresenter::Z31647ScreenPresenter(std::weak_ptr<Z31647ViewController> controller,
                                             AudioFileRecorderEnvironment environment)
    : controller_(std::move(controller)), libraryHost_(std::make_unique<MainScreenLibraryHost>(controller_)) {
  Z31647ViewController* c = controller_.lock().get();
  exporter_ = std::make_shared<WavExporter>(c ? c->synth() : nullptr, this, std::move(environment));
}

Z31647ScreenPresenter::~Z31647ScreenPresenter() = default;

Z31647ViewController* Z31647ScreenPresenter::controller() const { return controller_.lock().get(); }

// ---- popovers ------------------------------------------------------------------------------

void Z31647ScreenPresenter::disposeAllPopover(bool) {
  if (Z31647ViewController* c = controller()) c->dismissViewControllerAnimated(true, [] {});
}

void Z31647ScreenPresenter::present(std::shared_ptr<platform::ViewController> screen, platform::Size size,
                                    platform::View* sender) {
  Z31647ViewController* c = controller();
  if (!c) return;
  // 1. An open popover closes first.
  disposeAllPopover(true);
  // 2.-4.
  screen->setPreferredContentSize(size);
  screen->setModalPresentationStyle(platform::ModalPresentationStyle::Popover);
  platform::PopoverPresentationController* p = screen->popoverPresentationController();
  p->setDelegate(this);
  p->setPermittedArrowDirections(platform::PopoverArrowDirection::Up);
  p->setSourceView(sender);
  if (sender) p->setSourceRect(sender->bounds());
  // 5. The dismissal above let go of the screen shown before at once (its
  // fade only finishes on screen), so this presentation is not refused.
  c->presentViewController(std::move(screen), true, [] {});
}

void Z31647ScreenPresenter::openIPhoneBrowser(platform::View* sender) {
  Z31647ViewController* c = controller();
  platform::NavigationController* nav = c ? c->navigationController() : nullptr;
  if (!nav) return;
  auto browser = std::make_shared<BrowserTableController>(&Z31647PatternStore::getInstance());
  browser->view();
  if (platform::TableView* table = browser->tableView()) {
    table->setAutoresizingMask(platform::Autoresizing::FlexibleWidth | platform::Autoresizing::FlexibleHeight);
  }
  const int32_t current = c->synth() ? static_cast<int32_t>(c->synth()->currentPatternIndex()) : 0;
  browser->setTopController(libraryHost_.get());
  browser->setPatternNumber(current);
  browser->setSelectCurrentItem(true);
  if (sender && sender == c->saveButton()) {
    browser->setMode(BrowserTableController::kSave);
    // What is saved is the pattern as edited: it is queued again so that
    // the browser's save and the engine agree on the number.
    c->changePattern(current);
    GQFlurry::sharedInstance().reportEvent("Save");
  } else {
    browser->setMode(BrowserTableController::kLoad);
  }
  nav->pushViewController(browser, true);
}

void Z31647ScreenPresenter::openIPhoneSettingsView(platform::View* sender) {
  auto screen = std::make_shared<SettingScreenController>();
  screen->setSynth(controller() ? controller()->synth() : nullptr);
  present(screen, kSettingsSize, sender);
  screen->view()->setAutoresizingMask(platform::Autoresizing::FlexibleHeight);
  // 6.
  registerSettingActions(*screen);
}

const std::shared_ptr<SettingScreenController>& Z31647ScreenPresenter::settingController() {
  if (!settingController_) settingController_ = std::make_shared<SettingScreenController>();
  return settingController_;
}

void Z31647ScreenPresenter::openSettingScreen() {
  Z31647ViewController* c = controller();
  platform::NavigationController* nav = c ? c->navigationController() : nullptr;
  if (!nav) return;
  std::shared_ptr<SettingScreenController> screen = settingController();
  screen->setSynth(c->synth());
  screen->view();
  if (!screen->parentViewController()) nav->pushViewController(screen, true);
  // The pushed screen reaches only the four rows and the knob gesture.
  registerSettingActions(*screen);
  for (platform::Control* unwired : std::initializer_list<platform::Control*>{
           screen->gridModeButton(), screen->tempoLockSwitch(), screen->backgroundAudioSwitch()})
    unwired->removeTarget(c, "", CE::ValueChanged);
}

void Z31647ScreenPresenter::composeMail() {
  if (Z31647ViewController* c = controller()) c->presentViewController(std::make_shared<ComposeMailViewController>(), true, {});
}

void Z31647ScreenPresenter::execDuplicate() {
  bool ok = true;
  std::shared_ptr<ICloudManager> manager = ICloudManager::sharedInstance();
  const std::optional<std::filesystem::path> documents = Utilities::applicationiTunesDocumentsDirectory();
  for (size_t i = 0; manager && i < manager->count(); ++i) {
    const std::optional<platform::MetadataItem> item = manager->itemAt(i);
    if (!item || !documents) {
      ok = false;
      continue;
    }
    const std::filesystem::path source = manager->fileURL(*item);
    const std::filesystem::path target = *documents / source.filename();
    std::error_code ec;
    // An existing file counts as done.
    if (std::filesystem::exists(target, ec)) continue;
    std::filesystem::copy_file(source, target, ec);
    ok = ok && !ec;
  }
  auto alert = std::make_shared<platform::AlertView>(
      ok ? "Success" : "Error", ok ? "Backup files have been duplicated to the document folder." : "Unknown error",
      nullptr, std::string("OK"), std::vector<std::string>{});
  alert->show();
}

void Z31647ScreenPresenter::registerSettingActions(SettingScreenController& s) {
  std::weak_ptr<Z31647ViewController> weak = controller_;
  const void* target = controller();
  if (!target) return;
  const auto slider = [](platform::Control& c) { return static_cast<UISliderWithTextValue&>(c).valueAsFloat(); };
  const auto segment = [](platform::Control& c) {
    return static_cast<int64_t>(static_cast<platform::SegmentedControl&>(c).selectedSegmentIndex());
  };
  const auto on = [](platform::Control& c) { return static_cast<platform::Switch&>(c).isOn(); };
  s.tempoSlider()->addTarget(target, "changeTempo:", [weak, slider](platform::Control& c) {
    if (auto m = weak.lock()) m->changeTempo(nullptr, slider(c));
  }, CE::ValueChanged);
  s.swingSlider()->addTarget(target, "changeSwing:", [weak, slider](platform::Control& c) {
    if (auto m = weak.lock()) m->changeSwing(slider(c));
  }, CE::ValueChanged);
  s.lengthSlider()->addTarget(target, "changeLength:", [weak, slider](platform::Control& c) {
    if (auto m = weak.lock()) m->changeLength(slider(c));
  }, CE::ValueChanged);
  s.lastStepSlider()->addTarget(target, "changeLastStep:", [weak, slider](platform::Control& c) {
    if (auto m = weak.lock()) m->changeLastStep(slider(c));
  }, CE::ValueChanged);
  s.knobModeButton()->addTarget(target, "changeKnobMode:", [weak, segment](platform::Control& c) {
    if (auto m = weak.lock()) m->changeKnobMode(segment(c));
  }, CE::ValueChanged);
  s.gridModeButton()->addTarget(target, "changeGridMode:", [weak, segment](platform::Control& c) {
    if (auto m = weak.lock()) m->changeGridMode(segment(c));
  }, CE::ValueChanged);
  s.tempoLockSwitch()->addTarget(target, "changeTempoLock:", [weak, on](platform::Control& c) {
    if (auto m = weak.lock()) m->changeTempoLock(on(c));
  }, CE::ValueChanged);
  s.backgroundAudioSwitch()->addTarget(target, "changeBackgroundAudioSwitch:", [weak, on](platform::Control& c) {
    if (auto m = weak.lock()) m->changeBackgroundAudioSwitch(on(c));
  }, CE::ValueChanged);
}

void Z31647ScreenPresenter::openHelpMenu(platform::View* sender) {
  present(std::make_shared<GBXInformationViewController>(), kInformationSize, sender);
}

void Z31647ScreenPresenter::openExportScreen(platform::View* sender) {
  std::shared_ptr<ExportWavScreenParent> self = shared_from_this();
  present(std::make_shared<ExportWavScreenController>(self), kExportSize, sender);
}

void Z31647ScreenPresenter::openRestoreScreen(platform::View* sender) {
  if (!controller()) return;
  auto list = std::make_shared<BackupItemTableViewController>();
  list->setRestorer(iGROOVEBIXBackupRestorer::sharedInstance());
  list->setCreator(iGROOVEBIXBackupCreator::sharedInstance());
  list->setItemTextColor(platform::Color::white(0.0, 0.8));
  list->setModalPresentationStyle(platform::ModalPresentationStyle::Popover);
  list->setPreferredContentSize(kRestoreSize);
  auto nav = std::make_shared<platform::NavigationController>(list);
  nav->setNavigationBarHidden(false, false);
  // The navigation controller's size is the list's plus its bar.
  present(nav, nav->preferredContentSize(), sender);
}

// ---- bounce ---------------------------------------------------------------------------------

void Z31647ScreenPresenter::bounceCurrentPattern() {
  Z31647ViewController* c = controller();
  exporter_->setEngine(c ? c->synth() : nullptr);
  exporter_->bounceCurrentPattern();
}

void Z31647ScreenPresenter::prepareToBounce() {
  Z31647ViewController* c = controller();
  if (!c) return;
  if (Synth* synth = c->synth()) synth->stopPlayback(0);
  Z31647State* mode = c->stateMediator().currentState();
  mode->refreshPartView(c);
  mode->refreshSynthView(c);
  mode->refreshEffectView(c);
  c->setRecording(0);
  if (c->recordButton()) c->recordButton()->setOn(false);
  c->refreshPlayButton(false);
}

void Z31647ScreenPresenter::bounceDidFinish() {
  Z31647ViewController* c = controller();
  if (!c) return;
  Z31647State* mode = c->stateMediator().currentState();
  mode->refreshPartView(c);
  mode->refreshSynthView(c);
  mode->refreshEffectView(c);
  c->refreshPlayButton(false);
  closeMenu();
}

void Z31647ScreenPresenter::sendNotificationMessage(const std::string& text, uint64_t displayTimeIndex) {
  if (Z31647ViewController* c = controller()) c->sendNotificationMessage(text, displayTimeIndex);
}

platform::View* Z31647ScreenPresenter::openInMenuAnchor() {
  Z31647ViewController* c = controller();
  if (!c) return nullptr;
  if (GBXMenuBarViewController* bar = c->menuBarViewController(); bar && bar->exportButton()) return bar->exportButton();
  // Without a menu bar the menu hangs from the panel's menu button.
  return c->menuButton();
}
