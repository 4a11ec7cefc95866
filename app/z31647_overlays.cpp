// The main view controller's overlays on the panel: the XY pad, the menu
// bar and the Link count-in and beat counter.

#include "app/gq_flurry.h"
#include "app/ribbon_interface_controller.h"
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
