#include "tutorial/gbx_tutorial_scene6_view_controller.h"

#include "app/z31647_view_controller.h"
#include "controls/gbx_localized_message.h"
#include "controls/ti_part_view.h"
#include "platform/runloop/run_loop.h"
#include "platform/ui/button.h"
#include "tutorial/gbx_tutorial_style.h"
#include "tutorial/gbx_tutorial_view_controller.h"

using platform::Rect;
namespace CE = platform::ControlEvents;

GBXTutorialScene6ViewController::GBXTutorialScene6ViewController() = default;
GBXTutorialScene6ViewController::~GBXTutorialScene6ViewController() = default;

void GBXTutorialScene6ViewController::viewDidLoad() {
  GBXTutorialScene::viewDidLoad();
  setupOutlets();
}

void GBXTutorialScene6ViewController::setupOutlets() {
  view()->setBackgroundColor(GBXTutorialViewController::darkBackgroundColor());
  button_ = std::make_shared<platform::Button>(platform::Button::Type::System);
  button_->setBackgroundColor(platform::Color::clear());
  button_->titleLabel().setFont(platform::Font::systemFont(24));
  button_->setTitle(GBXLocalizedMessage::getText(6), platform::ControlState::Normal);
  button_->setTitleColor(platform::Color::whiteColor(), platform::ControlState::Normal);
  std::weak_ptr<GBXTutorialScene6ViewController> weak = weakSelf(this);
  button_->addTarget(
      this, "processDone",
      [weak](platform::Control&) {
        if (auto s = weak.lock()) s->processDone();
      },
      CE::TouchDown);
  button_->setUserInteractionEnabled(false);
  view()->addSubview(button_);
}

void GBXTutorialScene6ViewController::viewWillLayoutSubviews() {
  GBXTutorialScene::viewWillLayoutSubviews();
  if (button_) button_->setFrame(calcButtonkRect());
}

Rect GBXTutorialScene6ViewController::calcButtonkRect() {
  const Rect b = view()->bounds();
  std::shared_ptr<Z31647ViewController> m = mainViewController();
  TIPartView* parts = m ? m->partView() : nullptr;
  if (!parts) return {b.minX(), b.midY(), b.width(), 0};
  const Rect i = parts->convertRectTo(parts->bounds(), view()).intersection(b);
  if (i.isNull()) return {b.minX(), b.midY(), b.width(), 0};
  return {b.minX(), i.minY(), b.width(), i.height()};
}

void GBXTutorialScene6ViewController::viewDidAppear(bool animated) {
  GBXTutorialScene::viewDidAppear(animated);
  if (appeared_) return;
  appeared_ = true;
  start();
  openingAnimation();
}

void GBXTutorialScene6ViewController::start() {
  // The frame the layout pass would give it, at once, so the message is
  // where it belongs from its first frame on.
  button_->setFrame(calcButtonkRect());
  button_->setUserInteractionEnabled(true);
  std::weak_ptr<GBXTutorialScene6ViewController> weak = weakSelf(this);
  platform::dispatchAfterMain(kDisplayTime, [weak] {
    if (auto s = weak.lock()) s->processDone();
  });
}

void GBXTutorialScene6ViewController::openingAnimation() {
  button_->setAlpha(0.0);
  platform::Button* b = button_.get();
  tutorial_style::springAnimate(0.8, 0.0, 0.5, static_cast<double>(0.8f), platform::AnimationOptions::None,
                                [b] { b->setAlpha(1.0); });
}

void GBXTutorialScene6ViewController::processDone() {
  if (done_) return;
  done_ = true;
  if (auto d = delegate()) d->moveToNextScene();
}
