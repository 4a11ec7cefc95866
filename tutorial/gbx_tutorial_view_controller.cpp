#include "tutorial/gbx_tutorial_view_controller.h"

#include "app/gq_flurry.h"
#include "app/z31647_view_controller.h"
#include "controls/gbx_localized_message.h"
#include "controls/lcd_manager.h"
#include "controls/ti_button.h"
#include "controls/ti_part_view.h"
#include "controls/ti_seq_view.h"
#include "controls/ui_slider_button.h"
#include "platform/notify/notification_center.h"
#include "platform/runloop/run_loop.h"
#include "platform/ui/application.h"
#include "platform/ui/button.h"
#include "platform/ui/screen.h"
#include "tutorial/gbx_tutorial_scene.h"
#include "tutorial/gbx_tutorial_scene1_view_controller.h"
#include "tutorial/gbx_tutorial_scene6_view_controller.h"
#include "tutorial/gbx_tutorial_spotlight_scenes.h"
#include "tutorial/gbx_tutorial_style.h"
#include "tutorial/gbx_tutorial_views.h"

namespace CE = platform::ControlEvents;

bool GBXTutorialViewController::aboutToStart(platform::UserDefaults& defaults) {
  if (!GBXTutorialServices::aboutToStart(defaults)) return false;
  defaults.synchronize();
  return true;
}

bool GBXTutorialViewController::aboutToStart() { return aboutToStart(platform::UserDefaults::standardUserDefaults()); }

platform::Color GBXTutorialViewController::darkBackgroundColor() { return tutorial_style::darkBackgroundColor(); }

std::shared_ptr<GBXTutorialViewController> GBXTutorialViewController::create(GBXTutorialViewControllerDelegate* delegate,
                                                                            Z31647ViewController* main) {
  auto tutorial = std::make_shared<GBXTutorialViewController>();
  std::shared_ptr<Z31647ViewController> mainPtr;
  if (main) mainPtr = std::static_pointer_cast<Z31647ViewController>(main->weak_from_this().lock());
  tutorial->setMainViewController(mainPtr);
  // The main view controller is the usual delegate: its lifetime is the delegate's.
  std::weak_ptr<const void> owner;
  if (mainPtr && static_cast<GBXTutorialViewControllerDelegate*>(mainPtr.get()) == delegate) owner = mainPtr;
  tutorial->setDelegate(delegate, owner);
  return tutorial;
}

void GBXTutorialViewController::registerWithMainScreen() {
  GBXTutorialServices::factory() = [](GBXTutorialViewControllerDelegate* delegate, Z31647ViewController* main) {
    return std::static_pointer_cast<platform::ViewController>(create(delegate, main));
  };
}

GBXTutorialViewController::GBXTutorialViewController() = default;

GBXTutorialViewController::~GBXTutorialViewController() {
  platform::NotificationCenter::defaultCenter().removeObserver(this);
  // Whichever way the tutorial ended, the whole panel is touchable again.
  enableMainControls(true);
}

std::shared_ptr<GBXTutorialViewController> GBXTutorialViewController::self() {
  return std::static_pointer_cast<GBXTutorialViewController>(shared_from_this());
}

void GBXTutorialViewController::setDelegate(GBXTutorialViewControllerDelegate* delegate, std::weak_ptr<const void> owner) {
  delegate_ = delegate;
  delegateOwner_ = std::move(owner);
  // An owner given and not yet gone marks a delegate whose life is known.
  delegateOwned_ = !delegateOwner_.expired();
}

// ---- view lifecycle

void GBXTutorialViewController::loadView() {
  auto root = std::make_shared<GBXTutorialPassthroughView>(platform::Screen::mainScreen().applicationFrame());
  root->setBackgroundColor(platform::Color::clear());
  root->setClipsToBounds(true);
  setView(root);
}

void GBXTutorialViewController::viewDidLoad() {
  platform::ViewController::viewDidLoad();
  skipButton_ = std::make_shared<platform::Button>(platform::Button::Type::System);
  skipButton_->setTitle(GBXLocalizedMessage::getText(7), platform::ControlState::Normal);
  skipButton_->titleLabel().setFont(platform::Font::named("HelveticaNeue", 18));
  skipButton_->setAutoresizingMask(platform::Autoresizing::FlexibleLeftMargin |
                                   platform::Autoresizing::FlexibleBottomMargin);
  skipButton_->setFrame(calcSkipButtonFrame());
  std::weak_ptr<GBXTutorialViewController> weak = self();
  skipButton_->addTarget(
      this, "skipButtonPushed",
      [weak](platform::Control&) {
        if (auto s = weak.lock()) s->skipButtonPushed();
      },
      CE::TouchUpInside);
  view()->addSubview(skipButton_);
  updateSkipButton();
}

void GBXTutorialViewController::viewWillAppear(bool animated) {
  platform::ViewController::viewWillAppear(animated);
  if (observingForeground_) return;
  observingForeground_ = true;
  platform::NotificationCenter::defaultCenter().addObserver(
      this, platform::kApplicationWillEnterForegroundNotification,
      [this](const platform::Notification&) { appHasGoneForeground(); });
}

void GBXTutorialViewController::viewDidAppear(bool animated) {
  platform::ViewController::viewDidAppear(animated);
  start();
}

void GBXTutorialViewController::viewDidDisappear(bool animated) {
  platform::ViewController::viewDidDisappear(animated);
  platform::NotificationCenter::defaultCenter().removeObserver(this, platform::kApplicationWillEnterForegroundNotification);
  observingForeground_ = false;
}

// ---- the flow

void GBXTutorialViewController::start() {
  // Appearing again (after a covering screen went) keeps the scene it has.
  if (scene_ || incoming_ || ended_) return;
  transit();
}

void GBXTutorialViewController::moveToNextScene() {
  std::weak_ptr<GBXTutorialViewController> weak = self();
  platform::dispatchAsyncMain([weak] {
    auto s = weak.lock();
    // A skip already under way wins over a scene that finished meanwhile.
    if (!s || s->sceneNumber_ == kQuitScene || s->ended_) return;
    s->sceneNumber_ += 1;
    s->enableMainControls(true);
    s->transit();
  });
}

void GBXTutorialViewController::quit() {
  showSkip_ = false;
  updateSkipButton();
  sceneNumber_ = kQuitScene;
  transit();
}

std::vector<platform::View*> GBXTutorialViewController::mainControls() const {
  std::vector<platform::View*> out;
  std::shared_ptr<Z31647ViewController> m = mainViewController();
  if (!m) return out;
  out.reserve(kMainControlCount);
  auto add = [&out](platform::View* v) {
    if (v) out.push_back(v);
  };
  LCDManager* lcd = m->lcdManager();
  add(lcd ? dynamic_cast<platform::View*>(lcd->lcd().get()) : nullptr);
  add(m->masterVolumeKnob());
  add(m->mainDial());
  add(m->menuButton());
  add(m->shiftButton());
  add(m->programDecButton());
  add(m->programIncButton());
  add(m->muteButton());
  add(m->soloButton());
  add(m->effectSendButton());
  add(m->patternSetButton());
  add(m->recordButton());
  add(m->stopButton());
  add(m->playButton());
  add(m->tapTempoButton());
  add(m->synthPitchKnob());
  add(m->synthModDepthKnob());
  add(m->synthModSpeedKnob());
  add(m->synthWaveButton());
  add(m->synthModTypeButton());
  add(m->synthDecayKnob());
  add(m->synthLevelKnob());
  add(m->synthPanKnob());
  add(m->synthLowBoostKnob());
  add(m->synthMotionSeqButton());
  add(m->synthFxTypeKnob());
  add(m->synthFxEdit1Knob());
  add(m->synthFxEdit2Knob());
  add(m->seqPageButtonUp());
  add(m->seqPageButtonDown());
  add(m->crossButton());
  add(m->ringButton());
  add(m->accentButton());
  add(m->seqView());
  add(m->partView());
  return out;
}

void GBXTutorialViewController::enableMainControls(bool enabled) {
  for (platform::View* v : mainControls()) v->setUserInteractionEnabled(enabled);
}

void GBXTutorialViewController::skipButtonPushed() {
  std::weak_ptr<GBXTutorialViewController> weak = self();
  platform::dispatchAsyncMain([weak] {
    auto s = weak.lock();
    if (s && !s->ended_ && s->sceneNumber_ != kQuitScene) s->quit();
  });
  GQFlurry::sharedInstance().reportEvent(gq_event::kTutorialSkip);
}

void GBXTutorialViewController::appHasGoneForeground() {
  if (sceneNumber_ < 3) return;
  if (std::shared_ptr<Z31647ViewController> m = mainViewController()) m->playButWaitUntilCurrentPatternFinished(false);
}

// ---- scenes

std::shared_ptr<GBXTutorialScene> GBXTutorialViewController::createScene(int64_t number) {
  std::shared_ptr<GBXTutorialScene> s;
  switch (number) {
    case 1: s = std::make_shared<GBXTutorialScene1ViewController>(); break;
    case 2: s = std::make_shared<GBXTutorialScene2ViewController>(); break;
    case 3: s = std::make_shared<GBXTutorialScene3ViewController>(); break;
    case 4: s = std::make_shared<GBXTutorialScene4ViewController>(); break;
    case 5: s = std::make_shared<GBXTutorialScene4BViewController>(); break;
    case 6: s = std::make_shared<GBXTutorialScene5ViewController>(); break;
    case 7: s = std::make_shared<GBXTutorialScene6ViewController>(); break;
    default: break;
  }
  if (s) {
    s->setMainViewController(mainViewController_);
    s->setDelegate(self());
  }
  showSkipButton(number >= 3 && number <= 6);
  return s;
}

void GBXTutorialViewController::transit() {
  // During a cross-fade the scene coming in is the one on screen for the
  // next change; the earlier fade's completion still detaches its own.
  std::shared_ptr<GBXTutorialScene> old = incomingScene();
  std::shared_ptr<GBXTutorialScene> next = createScene(sceneNumber_);
  attachScene(next);
  view()->bringSubviewToFront(skipButton_.get());
  if (old) old->view()->setAlpha(1.0);
  if (next) next->view()->setAlpha(0.0);
  incoming_ = next;
  const uint64_t generation = ++transitGeneration_;
  if (!next) ended_ = true;
  std::weak_ptr<GBXTutorialViewController> weak = self();
  // The fade's blocks live in the scenes' own layers until it ends: they
  // hold the scenes weakly, or a program closed mid-fade would leave the
  // scenes, the tutorial and the panel they point at holding each other.
  std::weak_ptr<GBXTutorialScene> weakOld = old;
  std::weak_ptr<GBXTutorialScene> weakNext = next;
  platform::View::animate(
      transitionDuration(), 0.0, platform::AnimationOptions::None,
      [weakOld, weakNext] {
        if (auto o = weakOld.lock()) o->view()->setAlpha(0.0);
        if (auto n = weakNext.lock()) n->view()->setAlpha(1.0);
      },
      [weak, weakOld, weakNext, hadNext = next != nullptr, generation](bool) {
        auto s = weak.lock();
        if (!s) return;
        std::shared_ptr<GBXTutorialScene> old = weakOld.lock();
        std::shared_ptr<GBXTutorialScene> next = weakNext.lock();
        if (hadNext && !next) return;
        s->detachScene(old);
        if (generation != s->transitGeneration_) return;
        s->scene_ = next;
        s->incoming_.reset();
        if (!next) s->notifyEnded();
      });
}

void GBXTutorialViewController::notifyEnded() {
  if (!delegate_) return;
  if (delegateOwned_ && delegateOwner_.expired()) return;
  std::shared_ptr<const void> keep = delegateOwner_.lock();
  delegate_->tutorialEnded(this);
}

void GBXTutorialViewController::attachScene(const std::shared_ptr<GBXTutorialScene>& scene) {
  if (!scene) return;
  addChildViewController(scene);
  view()->addSubview(scene->viewPtr());
  scene->didMoveToParentViewController(this);
}

void GBXTutorialViewController::detachScene(const std::shared_ptr<GBXTutorialScene>& scene) {
  if (!scene || scene->parentViewController() != this) return;
  scene->viewWillDisappear(false);
  scene->viewDidDisappear(false);
  scene->willMoveToParentViewController(nullptr);
  if (scene->isViewLoaded()) scene->view()->removeFromSuperview();
  scene->removeFromParentViewController();
}

// ---- skip button

void GBXTutorialViewController::showSkipButton(bool show) {
  if (show == showSkip_) return;
  showSkip_ = show;
  std::weak_ptr<GBXTutorialViewController> weak = self();
  platform::View::animate(
      transitionDuration(), 0.0, platform::AnimationOptions::None,
      [this] { updateSkipButton(); },
      [weak](bool) {
        if (auto s = weak.lock()) s->updateSkipButton();
      });
}

void GBXTutorialViewController::updateSkipButton() {
  if (!skipButton_) return;
  skipButton_->setAlpha(showSkip_ ? 1.0 : 0.0);
  skipButton_->setUserInteractionEnabled(showSkip_);
  skipButton_->setFrame(calcSkipButtonFrame());
}

platform::Rect GBXTutorialViewController::calcSkipButtonFrame() {
  if (!skipButton_) return {};
  const platform::Size fitted = skipButton_->sizeThatFits({0, 0});
  const platform::Rect b = view()->bounds();
  const double width = fitted.width + 32.0;
  return {b.maxX() - width, b.minY(), width, 40.0};
}
