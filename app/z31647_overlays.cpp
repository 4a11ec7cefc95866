// The main view controller's overlays on the panel: the XY pad, the menu
// bar and the Link count-in and beat counter.

#include <cmath>

#include "app/gbx_menu_bar_view_controller.h"
#include "app/gbx_seq_count_views.h"
#include "app/gq_flurry.h"
#include "app/ribbon_interface_controller.h"
#include "audio/link/abl_link_kit.h"
#include "audio/link/screens/abl_settings_view_controller.h"
#include "app/z31647_view_controller.h"
#include "controls/ti_button.h"
#include "engine/synth/synth.h"
#include "platform/ui/button.h"
#include "platform/ui/image_view.h"

namespace CE = platform::ControlEvents;

// ---- the XY pad ---------------------------------------------------------------------------

void Z31647ViewController::setupRoruDuzirid() {
  if (padViewController_) return;
  padViewController_ = std::make_shared<RibbonInterfaceController>(synth_);
  platform::View* pad = padViewController_->view();
  pad->setAlpha(0);
  baseImageView_->addSubview(padViewController_->viewPtr());
  padViewController_->closeButton()->addTarget(this, "padCloseButtonPushed",
                                               [this](platform::Control&) { padCloseButtonPushed(); },
                                               CE::TouchUpInside);
}

void Z31647ViewController::togglePadButton() {
  if (flexButton_->isOn()) {
    setupRoruDuzirid();
    if (synth_) padViewController_->setDefaultParameterValues(synth_->currentPattern());
    platform::View* pad = padViewController_->view();
    platform::View::animate(0.1, [pad] { pad->setAlpha(1); });
    GQFlurry::sharedInstance().reportEvent(gq_event::kRoruDuzirid);
    return;
  }
  if (!padViewController_) return;
  // The controller goes once its view has faded; a show in between keeps it.
  std::shared_ptr<RibbonInterfaceController> pad = padViewController_;
  std::weak_ptr<platform::ViewController> weak = weak_from_this();
  platform::View::animate(0.1, [pad] { pad->view()->setAlpha(0); }, [weak, pad](bool) {
    auto self = weak.lock();
    if (!self) return;
    auto* ctl = static_cast<Z31647ViewController*>(self.get());
    if (ctl->flexButton_->isOn() || ctl->padViewController_ != pad) return;
    pad->view()->removeFromSuperview();
    ctl->padViewController_.reset();
  });
}

void Z31647ViewController::padCloseButtonPushed() {
  flexButton_->setOn(false);
  togglePadButton();
}

// ---- menu bar -----------------------------------------------------------------------------

void Z31647ViewController::setupMenuBar() {
  platform::View* root = view();
  std::weak_ptr<platform::ViewController> weak = weak_from_this();
  menuBarViewController_ = std::make_shared<GBXMenuBarViewController>([weak] {
    auto self = weak.lock();
    if (!self) return false;
    Synth* synth = static_cast<Z31647ViewController*>(self.get())->synth_;
    return synth && synth->seq() && synth->seq()->isLinkAvailable();
  });
  addChildViewController(menuBarViewController_);
  menuBarViewController_->view()->setFrame(menuBarFrame(false));
  root->addSubview(menuBarViewController_->viewPtr());
  menuBarViewController_->didMoveToParentViewController(this);
  GBXMenuBarViewController& bar = *menuBarViewController_;
  auto wire = [this](platform::Button* b, const char* action, void (Z31647ViewController::*fn)(platform::Button*)) {
    b->addTarget(this, action, [this, fn](platform::Control& c) { (this->*fn)(static_cast<platform::Button*>(&c)); },
                 CE::TouchUpInside);
  };
  wire(bar.browserButton(), "openIPhoneBrowser:", &Z31647ViewController::openIPhoneBrowser);
  wire(bar.settingButton(), "openIPhoneSettingsView:", &Z31647ViewController::openIPhoneSettingsView);
  wire(bar.exportButton(), "openExportScreen:", &Z31647ViewController::openExportScreen);
  wire(bar.fileButton(), "openRestoreScreen:", &Z31647ViewController::openRestoreScreen);
  wire(bar.helpButton(), "openHelpMenu:", &Z31647ViewController::openHelpMenu);
  wire(bar.abletonLinkButton(), "toggleAbletonLinkSync:", &Z31647ViewController::toggleAbletonLinkSync);

  // The Link beat counter, hidden until Link sync is on.
  linkCounterView_ = std::make_shared<GBXSeqCountView>(calcLinkCountViewFrame());
  linkCounterView_->setEnabled(false);
  linkCounterView_->setConnected(false);
  linkCounterView_->setProgress(0);
  baseImageView_->addSubview(linkCounterView_);
  updateAbletonLinkSyncButtonState();
}

void Z31647ViewController::layoutOverlays() {
  if (menuBarViewController_) menuBarViewController_->view()->setFrame(menuBarFrame(menuButton_->isSelected()));
  if (linkCounterView_) linkCounterView_->setFrame(calcLinkCountViewFrame());
  if (preCountView_) preCountView_->setFrame(calcPrecountViewFrame());
}

void Z31647ViewController::showIPhoneMenu() {
  platform::Button* button = menuButton_.get();
  button->setSelected(!button->isSelected());
  if (!menuBarViewController_) return;
  const platform::Rect to = menuBarFrame(button->isSelected());
  platform::View* strip = menuBarViewController_->view();
  platform::View::animate(static_cast<double>(0.2f), [strip, to] { strip->setFrame(to); });
}

void Z31647ViewController::setMenuBarAction(MenuBarItem item, MenuBarAction action) {
  menuBarActions_[item] = std::move(action);
}

namespace {

void run(const std::map<Z31647ViewController::MenuBarItem, Z31647ViewController::MenuBarAction>& actions,
         Z31647ViewController::MenuBarItem item, platform::Button* sender) {
  auto it = actions.find(item);
  if (it != actions.end() && it->second) it->second(sender);
}

}  // namespace

void Z31647ViewController::openIPhoneBrowser(platform::Button* sender) { run(menuBarActions_, MenuBarItem::Browser, sender); }
void Z31647ViewController::openIPhoneSettingsView(platform::Button* sender) {
  run(menuBarActions_, MenuBarItem::Settings, sender);
}
void Z31647ViewController::openExportScreen(platform::Button* sender) { run(menuBarActions_, MenuBarItem::Export, sender); }
void Z31647ViewController::openRestoreScreen(platform::Button* sender) { run(menuBarActions_, MenuBarItem::File, sender); }
void Z31647ViewController::openHelpMenu(platform::Button* sender) { run(menuBarActions_, MenuBarItem::Help, sender); }

// ---- Link ------------------------------------------------------------------------------------

bool Z31647ViewController::isAbletonLinkSyncConnected() const { return synth_ && synth_->isLinkConnected(); }

float Z31647ViewController::retrieveAbletonLinkSyncBeatProgress() const { return synth_ ? synth_->linkPhase() : 0.0f; }

void Z31647ViewController::updateAbletonLinkSyncButtonState() {
  if (!menuBarViewController_) return;
  const bool available = synth_ && synth_->seq() && synth_->seq()->isLinkAvailable();
  const bool on = available && isAbletonLinkSyncOn();
  platform::Button* link = menuBarViewController_->abletonLinkButton();
  link->setSelected(on);
  link->setEnabled(available);
}

void Z31647ViewController::updateAbletonLinkCounterState() {
  if (!linkCounterView_) return;
  const bool on = isAbletonLinkSyncOn();
  linkCounterView_->setEnabled(on);
  if (!on) return;
  linkCounterView_->setConnected(isAbletonLinkSyncConnected());
  linkCounterView_->setProgress(retrieveAbletonLinkSyncBeatProgress());
}

void Z31647ViewController::toggleAbletonLinkSync(platform::Button* sender) {
  if (!synth_ || !sender) return;
  ABLLink* link = ABLLinkHandleOf(synth_->linkHandle());
  if (!link) return;
  std::shared_ptr<ABLSettingsViewController> screen = ABLLinkSettingsViewController::instance(link);
  if (!screen) return;
  screen->setModalPresentationStyle(platform::ModalPresentationStyle::Popover);
  platform::PopoverPresentationController* popover = screen->popoverPresentationController();
  popover->setDelegate(this);
  popover->setPermittedArrowDirections(platform::PopoverArrowDirection::Up);
  popover->setSourceView(sender);
  popover->setSourceRect(sender->bounds());
  presentViewController(screen, true, nullptr);
}

void Z31647ViewController::precountAbletonLinkSync(int32_t beat, int32_t count) {
  if (!preCountView_) {
    preCountView_ = std::make_shared<GBXSeqPreCountView>(calcPrecountViewFrame());
    baseImageView_->addSubview(preCountView_);
  }
  preCountView_->setBeat(beat);
  preCountView_->setCount(count);
  baseImageView_->bringSubviewToFront(preCountView_.get());
}

platform::Rect Z31647ViewController::calcPrecountViewFrame() const {
  const platform::Rect b = baseImageView_->bounds();
  return {std::trunc(b.midX() - 70), std::trunc(b.midY() - 70), 140, 140};
}

platform::Rect Z31647ViewController::calcLinkCountViewFrame() const {
  const platform::Rect b = baseImageView_ ? baseImageView_->bounds() : platform::Rect{0, 0, kCanvasWidth, kCanvasHeight};
  return platform::Rect{b.minX() + 284, b.minY() + 20, 32, 32}.insetBy(4, 4);
}
