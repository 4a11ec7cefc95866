#include "tutorial/gbx_tutorial_spotlight_scenes.h"

#include <limits>

#include "app/z31647_view_controller.h"
#include "controls/gbx_localized_message.h"
#include "controls/ti_button.h"
#include "controls/ti_part_view.h"
#include "controls/ti_seq_view.h"
#include "controls/ui_slider_button.h"
#include "platform/ui/screen.h"
#include "tutorial/gbx_tutorial_style.h"
#include "tutorial/gbx_tutorial_view_controller.h"
#include "tutorial/gbx_tutorial_views.h"

using platform::Point;
using platform::Rect;
using tutorial_style::truncInt;
namespace CE = platform::ControlEvents;

namespace {

Rect offsetBy(const Rect& r, Point d) { return r.offsetBy(d.x, d.y); }

}  // namespace

// ---- the shared frame --------------------------------------------------------------------------

GBXTutorialSpotlightScene::GBXTutorialSpotlightScene(const Settings& settings) : settings_(settings) {}

GBXTutorialSpotlightScene::~GBXTutorialSpotlightScene() {
  if (progressTimer_) progressTimer_->invalidate();
}

void GBXTutorialSpotlightScene::loadView() {
  std::shared_ptr<GBXTutorialViewController> d = delegate();
  const Rect frame = d ? d->view()->bounds() : platform::Screen::mainScreen().bounds();
  auto v = std::make_shared<GBXTutorialPassthroughView>(frame);
  v->setAutoresizingMask(platform::Autoresizing::FlexibleWidth | platform::Autoresizing::FlexibleHeight);
  v->setBackgroundColor(platform::Color::clear());
  setView(v);
}

void GBXTutorialSpotlightScene::viewDidLoad() {
  GBXTutorialScene::viewDidLoad();
  setupOutlets();
}

void GBXTutorialSpotlightScene::setupOutlets() {
  platform::View* root = view();
  root->setBackgroundColor(platform::Color::clear());
  if (auto d = delegate()) d->enableMainControls(false);

  spottedView_ = std::make_shared<GBXTutorialSpotView>(root->bounds());
  spottedView_->setAutoresizingMask(platform::Autoresizing::FlexibleWidth | platform::Autoresizing::FlexibleHeight);
  root->addSubview(spottedView_);

  if (settings_.progressTime) {
    progressView_ = std::make_shared<GBXTutorialProgressView>(Rect{});
    root->addSubview(progressView_);
  }

  messageLabel_ = std::make_shared<platform::Label>(calcLabelRect());
  messageLabel_->setText(GBXLocalizedMessage::getText(settings_.message));
  messageLabel_->setFont(platform::Font::named("HelveticaNeue", settings_.fontSize));
  messageLabel_->setBaselineAdjustment(platform::BaselineAdjustment::AlignCenters);
  messageLabel_->setTextAlignment(settings_.alignment);
  messageLabel_->setBackgroundColor(platform::Color::clear());
  messageLabel_->setTextColor(platform::Color::whiteColor());
  messageLabel_->setAdjustsFontSizeToFitWidth(true);
  messageLabel_->setAlpha(0.0);
  root->addSubview(messageLabel_);
}

void GBXTutorialSpotlightScene::viewDidAppear(bool animated) {
  const bool first = appearanceCount_++ == 0;
  GBXTutorialScene::viewDidAppear(animated);
  // Appearing again (a screen that covered the panel went away) changes nothing.
  if (!first || done_) return;
  startObservation();
  openingAnimation();
}

void GBXTutorialSpotlightScene::viewWillDisappear(bool animated) {
  GBXTutorialScene::viewWillDisappear(animated);
  disposeProgressTimer();
}

Rect GBXTutorialSpotlightScene::targetRect() {
  platform::View* target = targetControl();
  if (!target) return Rect::null();
  return target->convertRectTo(target->bounds(), view());
}

void GBXTutorialSpotlightScene::springLabel(const std::function<void()>& animations, std::function<void(bool)> completion) {
  tutorial_style::springAnimate(0.8, 0.8, 0.5, static_cast<double>(0.8f), platform::AnimationOptions::None, animations,
                                std::move(completion));
}

void GBXTutorialSpotlightScene::openingAnimation() {
  const Rect spot = spotRect();
  if (!spot.isNull()) spottedView_->addRect(spot);
  openSpot();
  const Rect label = calcLabelRect();
  messageLabel_->setFrame(offsetBy(label, settings_.startOffset));
  std::weak_ptr<GBXTutorialSpotlightScene> weak = weakSelf(this);
  springLabel(
      [this, label] {
        messageLabel_->setFrame(label);
        messageLabel_->setAlpha(1.0);
      },
      [weak](bool) {
        auto s = weak.lock();
        // A goal reached while the message slid in: the scene is already
        // leaving, so it neither unlocks its control again nor blinks.
        if (!s || s->done_) return;
        s->enableControlsForThisScene();
        s->addBlinkingLabelAnimation();
      });
}

void GBXTutorialSpotlightScene::enableControlsForThisScene() {
  if (auto d = delegate()) d->enableMainControls(false);
  if (platform::View* target = targetControl()) target->setUserInteractionEnabled(true);
}

void GBXTutorialSpotlightScene::addBlinkingLabelAnimation() {
  platform::BasicAnimation a;
  a.keyPath = "opacity";
  a.fromValue = 1.0;
  a.toValue = static_cast<double>(0.7f);
  a.duration = kBlinkDuration;
  a.repeatCount = static_cast<double>(std::numeric_limits<float>::max());
  a.autoreverses = true;
  messageLabel_->layer().addAnimation(std::move(a), kBlinkKey);
}

void GBXTutorialSpotlightScene::removeBlinkingLabelAnimation() {
  if (messageLabel_) messageLabel_->layer().removeAnimation(kBlinkKey);
}

void GBXTutorialSpotlightScene::queueProcessDone() {
  std::weak_ptr<GBXTutorialSpotlightScene> weak = weakSelf(this);
  platform::dispatchAsyncMain([weak] {
    if (auto s = weak.lock()) s->processDone();
  });
}

void GBXTutorialSpotlightScene::processDone() {
  if (done_) return;
  done_ = true;
  stopObservation();
  removeBlinkingLabelAnimation();
  extraDoneSteps();
  if (progressView_) {
    progressView_->setAlpha(0.0);
    progressView_->setFrame(calcProgressViewRect());
    progressView_->setValue(0.0f);
  }
  const Rect leaving = offsetBy(calcLabelRect(), settings_.leavingOffset);
  platform::View::animate(0.4, 0.0, platform::AnimationOptions::None, [this, leaving] {
    messageLabel_->setFrame(leaving);
    messageLabel_->setAlpha(0.0);
    if (progressView_) progressView_->setAlpha(1.0);
  });
  if (settings_.progressTime) startToObserveProgress(*settings_.progressTime);
  std::weak_ptr<GBXTutorialSpotlightScene> weak = weakSelf(this);
  platform::dispatchAfterMain(settings_.handOverDelay, [weak] {
    if (auto s = weak.lock()) s->transit();
  });
}

void GBXTutorialSpotlightScene::transit() {
  if (auto d = delegate()) d->moveToNextScene();
}

Rect GBXTutorialSpotlightScene::calcProgressViewRect() {
  const Rect b = viewBounds();
  return {truncInt(b.midX() - 50), truncInt(b.midY() - 12), 100, 24};
}

void GBXTutorialSpotlightScene::startToObserveProgress(double seconds) {
  disposeProgressTimer();
  progressStartTime_ = platform::RunLoop::main().now();
  progressPoptime_ = seconds;
  std::weak_ptr<GBXTutorialSpotlightScene> weak = weakSelf(this);
  progressTimer_ = platform::RunLoop::main().scheduleTimer(kProgressInterval, true, [weak](platform::Timer&) {
    if (auto s = weak.lock()) s->progressTimerFired();
  });
}

void GBXTutorialSpotlightScene::progressTimerFired() {
  if (!progressView_ || !(progressPoptime_ > 0)) return;
  const double elapsed = platform::RunLoop::main().now() - progressStartTime_;
  progressView_->setValue(static_cast<float>(elapsed / progressPoptime_));
}

void GBXTutorialSpotlightScene::disposeProgressTimer() {
  if (progressTimer_) progressTimer_->invalidate();
  progressTimer_.reset();
}

// ---- scene 2: Play -------------------------------------------------------------------------------

GBXTutorialScene2ViewController::GBXTutorialScene2ViewController()
    : GBXTutorialSpotlightScene({2, 1, 20, platform::TextAlignment::Left, {40, 0}, {40, 0}, std::nullopt, 1.377777777}) {}

GBXTutorialScene2ViewController::~GBXTutorialScene2ViewController() { removeHandler(); }

void GBXTutorialScene2ViewController::setupOutlets() {
  GBXTutorialSpotlightScene::setupOutlets();
  addHandler();
}

platform::View* GBXTutorialScene2ViewController::targetControl() const {
  auto m = mainViewController();
  return m ? m->playButton() : nullptr;
}

Rect GBXTutorialScene2ViewController::spotRect() { return targetRect(); }

Rect GBXTutorialScene2ViewController::calcLabelRect() {
  const Rect t = targetRect();
  const Rect b = viewBounds();
  if (t.isNull()) return {};
  const double x = truncInt(t.maxX()) + 16;
  return {x, truncInt(t.midY() - 14), truncInt(b.maxX()) - x, 28};
}

void GBXTutorialScene2ViewController::addHandler() {
  auto m = mainViewController();
  TIButton* play = m ? m->playButton() : nullptr;
  if (!play || handlerAdded_) return;
  std::weak_ptr<GBXTutorialSpotlightScene> weak = weakSelf(static_cast<GBXTutorialSpotlightScene*>(this));
  // After the button's own action (which starts the transport), inside the touch.
  play->addTarget(
      this, "processDone",
      [weak](platform::Control&) {
        if (auto s = weak.lock()) s->processDone();
      },
      CE::TouchDown);
  handlerButton_ = play->shared_from_this();
  handlerAdded_ = true;
}

void GBXTutorialScene2ViewController::removeHandler() {
  if (!handlerAdded_) return;
  handlerAdded_ = false;
  if (auto v = handlerButton_.lock()) static_cast<platform::Control&>(*v).removeTarget(this, "processDone", CE::TouchDown);
  handlerButton_.reset();
}

void GBXTutorialScene2ViewController::extraDoneSteps() {
  removeHandler();
  // The whole panel, Play included, stays locked until the next scene.
  if (auto d = delegate()) d->enableMainControls(false);
}

void GBXTutorialScene2ViewController::openSpot() {
  spottedView()->setAlpha(0.0);
  GBXTutorialSpotView* spot = spottedView();
  platform::View::animate(0.8, 0.0, platform::AnimationOptions::None, [spot] { spot->setAlpha(1.0); });
}

void GBXTutorialScene2ViewController::springLabel(const std::function<void()>& animations,
                                                  std::function<void(bool)> completion) {
  tutorial_style::springAnimate(1.2, 0.8, 0.5, 1.0, platform::AnimationOptions::None, animations, std::move(completion));
}

// ---- scenes 3 and 5: steps ---------------------------------------------------------------------------

GBXTutorialScene3ViewController::GBXTutorialScene3ViewController()
    : GBXTutorialStepScene({3, 2, 20, platform::TextAlignment::Right, {0, -30}, {0, -30}, 3.5555555555555554,
                            3.555555555}) {}

GBXTutorialScene4BViewController::GBXTutorialScene4BViewController()
    : GBXTutorialStepScene({5, 4, 20, platform::TextAlignment::Right, {0, -30}, {0, -30}, 5.333333333333333,
                            5.333333333}) {}

void GBXTutorialStepScene::setupOutlets() {
  // The snapshot the scene compares against: the steps as they are when it loads.
  retrieveCurrentSequence();
  GBXTutorialSpotlightScene::setupOutlets();
}

platform::View* GBXTutorialStepScene::targetControl() const {
  auto m = mainViewController();
  return m ? m->seqView() : nullptr;
}

Rect GBXTutorialStepScene::spotRect() {
  const Rect t = targetRect();
  return t.isNull() ? t : t.intersection(viewBounds());
}

Rect GBXTutorialStepScene::calcLabelRect() {
  const Rect t = targetRect();
  const Rect b = viewBounds();
  if (t.isNull()) return {};
  const double x = truncInt(b.minX()) + 20;
  return {x, truncInt(t.minY() - 36), (truncInt(b.maxX()) - 20) - x, 28};
}

void GBXTutorialStepScene::viewWillDisappear(bool animated) {
  GBXTutorialSpotlightScene::viewWillDisappear(animated);
  disposeTimer();
}

void GBXTutorialStepScene::retrieveCurrentSequence() {
  auto m = mainViewController();
  TISeqView* seq = m ? m->seqView() : nullptr;
  for (int i = 0; i < TISeqView::kSteps; ++i) {
    std::shared_ptr<TIButton> b = seq ? seq->getButton(i) : nullptr;
    buttonStates_[static_cast<size_t>(i)] = b ? b->buttonState() : 0;
  }
}

void GBXTutorialStepScene::startToObserveSequence() {
  disposeSeqTimer();
  std::weak_ptr<GBXTutorialStepScene> weak = weakSelf(this);
  seqTimer_ = platform::RunLoop::main().scheduleTimer(kObservationInterval, true, [weak](platform::Timer&) {
    if (auto s = weak.lock()) s->seqTimerFired();
  });
}

void GBXTutorialStepScene::seqTimerFired() {
  auto m = mainViewController();
  TISeqView* seq = m ? m->seqView() : nullptr;
  if (!seq) return;
  for (int i = 0; i < TISeqView::kSteps; ++i) {
    std::shared_ptr<TIButton> b = seq->getButton(i);
    if (b && b->buttonState() != buttonStates_[static_cast<size_t>(i)]) {
      queueProcessDone();
      return;
    }
  }
}

void GBXTutorialStepScene::disposeSeqTimer() {
  if (seqTimer_) seqTimer_->invalidate();
  seqTimer_.reset();
}

void GBXTutorialStepScene::disposeTimer() {
  disposeSeqTimer();
  disposeProgressTimer();
}

// ---- scene 4: the third part ---------------------------------------------------------------------------

GBXTutorialScene4ViewController::GBXTutorialScene4ViewController()
    : GBXTutorialSpotlightScene({4, 3, 20, platform::TextAlignment::Left, {0, -30}, {0, -30}, std::nullopt, 0.4}) {}

platform::View* GBXTutorialScene4ViewController::targetControl() const {
  auto m = mainViewController();
  return m ? m->partView() : nullptr;
}

Rect GBXTutorialScene4ViewController::spotRect() {
  const Rect t = targetRect();
  return t.isNull() ? t : t.insetBy(-2, -2).intersection(viewBounds());
}

Rect GBXTutorialScene4ViewController::calcLabelRect() {
  const Rect t = targetRect();
  const Rect b = viewBounds();
  if (t.isNull()) return {};
  const double x = truncInt(t.minX());
  return {x, truncInt(t.minY() - 36), truncInt(b.maxX()) - x, 28};
}

void GBXTutorialScene4ViewController::viewWillDisappear(bool animated) {
  GBXTutorialSpotlightScene::viewWillDisappear(animated);
  disposeSeqTimer();
}

void GBXTutorialScene4ViewController::startToObserveSequence() {
  disposeSeqTimer();
  std::weak_ptr<GBXTutorialScene4ViewController> weak = weakSelf(this);
  timer_ = platform::RunLoop::main().scheduleTimer(kObservationInterval, true, [weak](platform::Timer&) {
    if (auto s = weak.lock()) s->seqTimerFired();
  });
}

void GBXTutorialScene4ViewController::seqTimerFired() {
  auto m = mainViewController();
  if (m && m->currentPart() == kGoalPart) queueProcessDone();
}

void GBXTutorialScene4ViewController::disposeSeqTimer() {
  if (timer_) timer_->invalidate();
  timer_.reset();
}

void GBXTutorialScene4ViewController::extraDoneSteps() {
  if (auto m = mainViewController()) m->setCurrentPart(kGoalPart);
  if (auto d = delegate()) d->enableMainControls(true);
}

// ---- scene 6: the Pitch knob ---------------------------------------------------------------------------

GBXTutorialScene5ViewController::GBXTutorialScene5ViewController()
    : GBXTutorialSpotlightScene({6, 5, 19, platform::TextAlignment::Right, {-40, 0}, {-40, 0}, 5.333333333333333,
                                 5.333333333}) {}

GBXTutorialScene5ViewController::~GBXTutorialScene5ViewController() { stopToObserve(); }

platform::View* GBXTutorialScene5ViewController::targetControl() const {
  auto m = mainViewController();
  return m ? m->synthPitchKnob() : nullptr;
}

Rect GBXTutorialScene5ViewController::calcSynthBlockRect() {
  const Rect t = targetRect();
  if (t.isNull()) return t;
  return {t.minX() - 8, t.minY() - 10, t.width() + 16, t.height() + 20};
}

Rect GBXTutorialScene5ViewController::spotRect() {
  const Rect block = calcSynthBlockRect();
  return block.isNull() ? block : block.intersection(viewBounds());
}

Rect GBXTutorialScene5ViewController::calcLabelRect() {
  const Rect block = calcSynthBlockRect();
  const Rect b = viewBounds();
  if (block.isNull()) return {};
  const double x = truncInt(b.minX());
  return {x, truncInt(block.minY()), (truncInt(block.minX()) - 16) - x, 56};
}

void GBXTutorialScene5ViewController::viewWillDisappear(bool animated) {
  GBXTutorialSpotlightScene::viewWillDisappear(animated);
  disposeProgressTimer();
}

void GBXTutorialScene5ViewController::startToObserve() {
  auto m = mainViewController();
  UISliderButton* knob = m ? m->synthPitchKnob() : nullptr;
  if (!knob || observing_) return;
  std::weak_ptr<GBXTutorialScene5ViewController> weak = weakSelf(this);
  knob->addTarget(
      this, "controlTouched",
      [weak](platform::Control&) {
        if (auto s = weak.lock()) s->controlTouched();
      },
      CE::TouchDown);
  observedKnob_ = knob->shared_from_this();
  observing_ = true;
}

void GBXTutorialScene5ViewController::stopToObserve() {
  if (!observing_) return;
  observing_ = false;
  if (auto v = observedKnob_.lock()) static_cast<platform::Control&>(*v).removeTarget(this, "controlTouched", CE::TouchDown);
  observedKnob_.reset();
}

void GBXTutorialScene5ViewController::controlTouched() { queueProcessDone(); }
