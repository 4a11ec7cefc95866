// The platform rules the control kit and the main screen rely on.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/notify/notification_center.h"
#include "platform/ui/control.h"
#include "platform/ui/headless/headless_backend.h"
#include "platform/ui/navigation_controller.h"
#include "platform/ui/view_controller.h"

using namespace platform;

namespace {

// A control that logs the order of its tracking calls and actions.
class LoggingControl : public Control {
 public:
  explicit LoggingControl(const Rect& f, std::vector<std::string>* log) : Control(f), log_(log) {}
  bool beginTrackingWithTouch(Touch& t, const Event* e) override {
    log_->push_back(std::string("begin highlighted=") + (isHighlighted() ? "1" : "0"));
    value = 1;
    return Control::beginTrackingWithTouch(t, e);
  }
  void endTrackingWithTouch(Touch* t, const Event* e) override {
    log_->push_back("end");
    Control::endTrackingWithTouch(t, e);
  }
  int value = 0;

 private:
  std::vector<std::string>* log_;
};

TEST(PlatformRuleTest, BeginTrackingRunsBeforeTouchDownActions) {
  HeadlessBackend hb;
  auto w = hb.makeWindow();
  std::vector<std::string> log;
  auto c = std::make_shared<LoggingControl>(Rect(10, 10, 50, 50), &log);
  c->addTarget(nullptr, "down:", [&](Control&) {
    log.push_back("TouchDown value=" + std::to_string(c->value) + " tracking=" + (c->isTracking() ? "1" : "0") +
                  " highlighted=" + (c->isHighlighted() ? "1" : "0"));
  }, ControlEvents::TouchDown);
  c->addTarget(nullptr, "up:", [&](Control&) { log.push_back("TouchUpInside"); }, ControlEvents::TouchUpInside);
  w->addSubview(c);
  hb.touchDown({30, 30});
  hb.touchUp({30, 30});
  EXPECT_EQ(log, (std::vector<std::string>{"begin highlighted=0", "TouchDown value=1 tracking=1 highlighted=1", "end",
                                           "TouchUpInside"}));
}

TEST(PlatformRuleTest, HiddenTransparentAndNonInteractiveViewsAreNotHit) {
  HeadlessBackend hb;
  auto w = hb.makeWindow();
  auto base = std::make_shared<View>(Rect(0, 0, 400, 400));
  w->addSubview(base);
  struct Case {
    const char* name;
    std::function<void(View&)> setup;
    bool hit;
  };
  const Case cases[] = {
      {"plain", [](View&) {}, true},
      {"hidden", [](View& v) { v.setHidden(true); }, false},
      {"alpha 0", [](View& v) { v.setAlpha(0.0); }, false},
      {"alpha 0.01", [](View& v) { v.setAlpha(0.01); }, false},
      {"alpha 0.02", [](View& v) { v.setAlpha(0.02); }, true},
      {"interaction off", [](View& v) { v.setUserInteractionEnabled(false); }, false},
  };
  for (const Case& c : cases) {
    auto v = std::make_shared<View>(Rect(100, 100, 50, 50));
    c.setup(*v);
    base->addSubview(v);
    EXPECT_EQ(w->hitTest({120, 120}, nullptr) == v.get(), c.hit) << c.name;
    // A child of a view that is not hit is not hit either.
    auto child = std::make_shared<View>(Rect(0, 0, 50, 50));
    v->addSubview(child);
    EXPECT_EQ(w->hitTest({120, 120}, nullptr) == child.get(), c.hit) << c.name;
    v->removeFromSuperview();
  }
  // The dismissed banner: unhidden at alpha 0 over a button, it must not eat the touch.
  auto button = std::make_shared<Control>(Rect(100, 100, 50, 50));
  int downs = 0;
  button->addTarget(nullptr, "d", [&](Control&) { ++downs; }, ControlEvents::TouchDown);
  base->addSubview(button);
  auto banner = std::make_shared<View>(Rect(90, 90, 100, 100));
  banner->setAlpha(0.0);
  base->addSubview(banner);
  hb.tap({120, 120});
  EXPECT_EQ(downs, 1);
}

TEST(PlatformRuleTest, PointsOutsideAParentReachNoChildEvenWhenTheyStickOut) {
  HeadlessBackend hb;
  auto w = hb.makeWindow();
  auto parent = std::make_shared<View>(Rect(0, 0, 100, 100));
  auto child = std::make_shared<View>(Rect(50, 50, 100, 100));  // sticks out to 150
  parent->addSubview(child);
  w->addSubview(parent);
  EXPECT_EQ(w->hitTest({75, 75}, nullptr), child.get());
  EXPECT_EQ(w->hitTest({125, 125}, nullptr), w.get());
}

TEST(PlatformRuleTest, AsapNotificationsArriveAfterTheTouchHandlerReturns) {
  HeadlessBackend hb;
  auto w = hb.makeWindow();
  auto c = std::make_shared<Control>(Rect(0, 0, 50, 50));
  std::vector<std::string> log;
  int owner;
  NotificationCenter::defaultCenter().addObserver(&owner, "TINotificationMessageArrived",
                                                  [&](const Notification&) { log.push_back("arrived"); });
  c->addTarget(nullptr, "down", [&](Control&) {
    NotificationQueue::defaultQueue().enqueue({"TINotificationMessageArrived", std::string("Saved."), {}},
                                              PostingStyle::ASAP);
    log.push_back("handler done");
  }, ControlEvents::TouchDown);
  w->addSubview(c);
  hb.touchDown({10, 10});
  NotificationCenter::defaultCenter().removeObserver(&owner);
  EXPECT_EQ(log, (std::vector<std::string>{"handler done", "arrived"}));
}

class Tracked : public ViewController {
 public:
  explicit Tracked(std::string name, std::vector<std::string>* log) : name_(std::move(name)), log_(log) {}
  void viewWillAppear(bool a) override {
    ViewController::viewWillAppear(a);
    log_->push_back(name_ + " willAppear");
  }
  void viewDidAppear(bool a) override {
    ViewController::viewDidAppear(a);
    log_->push_back(name_ + " didAppear");
  }
  void viewWillDisappear(bool a) override {
    ViewController::viewWillDisappear(a);
    log_->push_back(name_ + " willDisappear");
  }
  void viewDidDisappear(bool a) override {
    ViewController::viewDidDisappear(a);
    log_->push_back(name_ + " didDisappear");
  }

 private:
  std::string name_;
  std::vector<std::string>* log_;
};

bool contains(const std::vector<std::string>& log, const std::string& s) {
  return std::find(log.begin(), log.end(), s) != log.end();
}

TEST(PlatformRuleTest, APushedOrFullScreenControllerCoversTheOneUnderIt) {
  // The log outlives the back end: closing the window at its end still reports.
  std::vector<std::string> log;
  HeadlessBackend hb;
  auto w = hb.makeWindow();
  auto main = std::make_shared<Tracked>("main", &log);
  auto nav = std::make_shared<NavigationController>(main);
  w->setRootViewController(nav);
  hb.runPass();
  EXPECT_EQ(log, (std::vector<std::string>{"main willAppear", "main didAppear"}));

  log.clear();
  auto browser = std::make_shared<Tracked>("browser", &log);
  nav->pushViewController(browser, true);
  hb.advance(1.0);
  EXPECT_EQ(log, (std::vector<std::string>{"main willDisappear", "browser willAppear", "main didDisappear",
                                           "browser didAppear"}));
  EXPECT_EQ(main->appearanceState(), ViewController::AppearanceState::Disappeared);
  EXPECT_EQ(main->view()->window(), nullptr);

  log.clear();
  nav->popViewControllerAnimated(false);
  hb.runPass();
  EXPECT_TRUE(contains(log, "main didAppear"));
  EXPECT_TRUE(contains(log, "browser didDisappear"));

  log.clear();
  auto full = std::make_shared<Tracked>("full", &log);
  full->setModalPresentationStyle(ModalPresentationStyle::FullScreen);
  bool presented = false;
  main->presentViewController(full, false, [&] { presented = true; });
  hb.runPass();
  EXPECT_TRUE(presented);
  EXPECT_TRUE(contains(log, "main didDisappear"));
  EXPECT_TRUE(contains(log, "full didAppear"));
  log.clear();
  main->dismissViewControllerAnimated(false, nullptr);
  hb.runPass();
  EXPECT_TRUE(contains(log, "main didAppear"));
  EXPECT_TRUE(contains(log, "full didDisappear"));
  EXPECT_NE(main->view()->window(), nullptr);
}

TEST(PlatformRuleTest, APopoverLeavesThePresenterOnScreen) {
  // The log outlives the back end: closing the window at its end still reports.
  std::vector<std::string> log;
  HeadlessBackend hb;
  auto w = hb.makeWindow();
  auto main = std::make_shared<Tracked>("main", &log);
  w->setRootViewController(main);
  hb.runPass();
  log.clear();
  auto settings = std::make_shared<Tracked>("settings", &log);
  settings->setModalPresentationStyle(ModalPresentationStyle::Popover);
  settings->setPreferredContentSize({280, 110});
  auto anchor = std::make_shared<View>(Rect(600, 20, 25, 25));
  main->view()->addSubview(anchor);
  settings->popoverPresentationController()->setSourceView(anchor.get());
  settings->popoverPresentationController()->setSourceRect(anchor->bounds());
  settings->popoverPresentationController()->setPermittedArrowDirections(PopoverArrowDirection::Up);
  main->presentViewController(settings, false, nullptr);
  hb.runPass();
  EXPECT_EQ(log, (std::vector<std::string>{"settings willAppear", "settings didAppear"}));
  EXPECT_EQ(main->appearanceState(), ViewController::AppearanceState::Appeared);
  // Under the anchor, inside the window.
  const Rect f = settings->popoverPresentationController()->popoverFrame();
  EXPECT_GE(f.minY(), 45);
  EXPECT_LE(f.maxX(), 736);
  EXPECT_EQ(f.size.width, 280);
  EXPECT_EQ(f.size.height, 110);
  // Only one at a time.
  auto other = std::make_shared<Tracked>("other", &log);
  bool otherShown = false;
  main->presentViewController(other, false, [&] { otherShown = true; });
  hb.runPass();
  EXPECT_FALSE(otherShown);
  EXPECT_EQ(main->presentedViewController(), settings.get());
  // A touch outside closes it; the presenter saw nothing.
  log.clear();
  hb.tap({50, 300});
  hb.advance(1.0);
  EXPECT_EQ(log, (std::vector<std::string>{"settings willDisappear", "settings didDisappear"}));
  EXPECT_EQ(main->presentedViewController(), nullptr);
}

TEST(PlatformRuleTest, ScaledViewKeepsBoundsFrameOverScale) {
  HeadlessBackend hb({1024, 768}, 2.0);
  auto w = hb.makeWindow();
  auto canvas = std::make_shared<View>();
  canvas->layer().setAnchorPoint({0, 0});
  w->addSubview(canvas);
  const double W = 1024;
  canvas->setTransform(AffineTransform::makeScale(W / 736, W / 736));
  const double y = std::trunc(384 - 0.28125 * W);
  canvas->setFrame({0, y, W, 0.5625 * W});
  EXPECT_NEAR(canvas->bounds().size.width, 736, 1e-9);
  EXPECT_NEAR(canvas->bounds().size.height, 414, 1e-9);
  EXPECT_NEAR(canvas->frame().origin.y, y, 1e-9);
  // A second pass with the same frame gives the same result.
  canvas->setFrame({0, y, W, 0.5625 * W});
  EXPECT_NEAR(canvas->bounds().size.width, 736, 1e-9);
  // Canvas points land scaled on the window.
  const Point p = canvas->convertPointTo({736, 414}, nullptr);
  EXPECT_NEAR(p.x, W, 1e-9);
  EXPECT_NEAR(p.y, y + 0.5625 * W, 1e-9);
  // And touches come back in canvas points.
  auto button = std::make_shared<Control>(Rect(24.5, 342, 34.5, 62));
  canvas->addSubview(button);
  int downs = 0;
  button->addTarget(nullptr, "d", [&](Control&) { ++downs; }, ControlEvents::TouchDown);
  hb.tap(canvas->convertPointTo({40, 370}, nullptr));
  EXPECT_EQ(downs, 1);
}

TEST(PlatformRuleTest, RepeatingTimersOnTheMainLoopSkipMissedTicks) {
  HeadlessBackend hb;
  int ticks = 0;
  auto timer = RunLoop::main().scheduleTimer(0.05, true, [&](Timer&) { ++ticks; });
  // The loop is held up for a second (the clock jumps with nothing run).
  hb.clock().set(hb.now() + 1.0);
  hb.runPass();
  EXPECT_EQ(ticks, 1);
  hb.advance(0.1);
  EXPECT_EQ(ticks, 3);
  timer->invalidate();
}

}  // namespace
