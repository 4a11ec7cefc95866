#include <gtest/gtest.h>

#include "platform/notify/notification_center.h"
#include "platform/ui/alert_view.h"
#include "platform/ui/control.h"
#include "platform/ui/headless/headless_backend.h"
#include "platform/ui/navigation_controller.h"
#include "platform/ui/screen.h"
#include "platform/ui/view_controller.h"

using namespace platform;

namespace {

class LifecycleDelegate : public ApplicationDelegate {
 public:
  explicit LifecycleDelegate(std::vector<std::string>* log) : log_(log) {}
  bool didFinishLaunching(Application&, const Dictionary& o) override {
    log_->push_back(std::string("didFinishLaunching") + (o.count("test") ? " with options" : ""));
    window = std::make_shared<Window>(Screen::mainScreen().bounds());
    window->setRootViewController(std::make_shared<ViewController>());
    window->makeKeyAndVisible();
    return true;
  }
  void willResignActive(Application&) override { log_->push_back("willResignActive"); }
  void didEnterBackground(Application&) override { log_->push_back("didEnterBackground"); }
  void willEnterForeground(Application&) override { log_->push_back("willEnterForeground"); }
  void didBecomeActive(Application&) override { log_->push_back("didBecomeActive"); }
  void willTerminate(Application&) override { log_->push_back("willTerminate"); }

 private:
  std::vector<std::string>* log_;
};

TEST(ApplicationTest, LifecycleCallsTheDelegateThenPostsAndIgnoresStepsOutOfOrder) {
  std::vector<std::string> log;
  HeadlessBackend hb;
  int owner;
  for (const char* n : {kApplicationDidFinishLaunchingNotification, kApplicationDidEnterBackgroundNotification,
                        kApplicationWillEnterForegroundNotification, kApplicationDidBecomeActiveNotification,
                        kApplicationWillTerminateNotification, kApplicationWillResignActiveNotification}) {
    NotificationCenter::defaultCenter().addObserver(&owner, n, [&log](const Notification& x) { log.push_back("posted " + x.name); });
  }
  ASSERT_TRUE(hb.launch(std::make_shared<LifecycleDelegate>(&log), {{"test", Value(true)}}));
  EXPECT_NE(hb.window(), nullptr);
  hb.enterForeground();  // already active: nothing
  hb.enterBackground();
  hb.enterBackground();  // already in the background: nothing
  hb.enterForeground();
  hb.terminate();
  NotificationCenter::defaultCenter().removeObserver(&owner);
  const std::vector<std::string> expected = {
      "didFinishLaunching with options",
      std::string("posted ") + kApplicationDidFinishLaunchingNotification,
      "didBecomeActive",
      std::string("posted ") + kApplicationDidBecomeActiveNotification,
      "willResignActive",
      std::string("posted ") + kApplicationWillResignActiveNotification,
      "didEnterBackground",
      std::string("posted ") + kApplicationDidEnterBackgroundNotification,
      "willEnterForeground",
      std::string("posted ") + kApplicationWillEnterForegroundNotification,
      "didBecomeActive",
      std::string("posted ") + kApplicationDidBecomeActiveNotification,
      // Closing: the background entry first, so the delegate saves.
      "willResignActive",
      std::string("posted ") + kApplicationWillResignActiveNotification,
      "didEnterBackground",
      std::string("posted ") + kApplicationDidEnterBackgroundNotification,
      "willTerminate",
      std::string("posted ") + kApplicationWillTerminateNotification,
  };
  EXPECT_EQ(log, expected);
}

TEST(ApplicationTest, ServicesGoThroughTheBackEnd) {
  HeadlessBackend hb;
  Application& app = Application::sharedApplication();
  EXPECT_TRUE(app.openURL("https://example.org/help/index.html"));
  EXPECT_FALSE(app.openURL("tel:123"));
  EXPECT_EQ(hb.openedURLs(), std::vector<std::string>{"https://example.org/help/index.html"});
  app.setIdleTimerDisabled(true);
  EXPECT_TRUE(hb.idleTimerDisabled());
  app.registerForRemoteNotifications();
  EXPECT_TRUE(app.isRegisteredForRemoteNotifications());
  EXPECT_GE(Device::systemVersionNumber(), 8.0);
}

class Child : public ViewController {
 public:
  explicit Child(std::vector<std::string>* log) : log_(log) {}
  void willMoveToParentViewController(ViewController* p) override { log_->push_back(p ? "willMove parent" : "willMove nil"); }
  void didMoveToParentViewController(ViewController* p) override { log_->push_back(p ? "didMove parent" : "didMove nil"); }
  void viewWillAppear(bool a) override {
    ViewController::viewWillAppear(a);
    log_->push_back("willAppear");
  }
  void viewDidDisappear(bool a) override {
    ViewController::viewDidDisappear(a);
    log_->push_back("didDisappear");
  }

 private:
  std::vector<std::string>* log_;
};

TEST(ViewControllerTest, ChildContainmentAndAManualDetachWithoutDoubleCallbacks) {
  std::vector<std::string> log;
  HeadlessBackend hb;
  auto w = hb.makeWindow();
  auto parent = std::make_shared<ViewController>();
  w->setRootViewController(parent);
  auto child = std::make_shared<Child>(&log);
  parent->addChildViewController(child);
  parent->view()->addSubview(child->viewPtr());
  child->didMoveToParentViewController(parent.get());
  EXPECT_EQ(child->parentViewController(), parent.get());
  EXPECT_EQ(log, (std::vector<std::string>{"willMove parent", "willAppear", "didMove parent"}));
  // The main screen's detach: tell it by hand, then take it out.
  log.clear();
  child->viewWillDisappear(false);
  child->viewDidDisappear(false);
  child->willMoveToParentViewController(nullptr);
  child->view()->removeFromSuperview();
  child->removeFromParentViewController();
  EXPECT_EQ(log, (std::vector<std::string>{"didDisappear", "willMove nil", "didMove nil"}));
  EXPECT_TRUE(parent->childViewControllers().empty());
}

TEST(NavigationTest, TheBarShowsTitleItemsAndABackButtonThatPops) {
  HeadlessBackend hb;
  auto w = hb.makeWindow();
  auto root = std::make_shared<ViewController>();
  root->setTitle("Main");
  auto nav = std::make_shared<NavigationController>(root);
  w->setRootViewController(nav);
  hb.runPass();
  EXPECT_EQ(nav->navigationBar().titleLabel().text(), "Main");
  EXPECT_EQ(nav->navigationBar().leftButton(), nullptr);  // nothing to go back to
  EXPECT_EQ(root->view()->frame(), Rect(0, 44, 736, 414 - 44));
  auto browser = std::make_shared<ViewController>();
  browser->setTitle("Patterns");
  bool done = false;
  browser->navigationItem().setRightBarButtonItem(
      BarButtonItem::system(BarButtonItem::SystemItem::Done, [&](BarButtonItem&) { done = true; }));
  nav->pushViewController(browser, false);
  hb.runPass();
  EXPECT_EQ(browser->navigationController(), nav.get());
  EXPECT_EQ(nav->navigationBar().titleLabel().text(), "Patterns");
  ASSERT_NE(nav->navigationBar().rightButton(), nullptr);
  EXPECT_EQ(nav->navigationBar().rightButton()->currentTitle(), "Done");
  hb.tap(nav->navigationBar().rightButton()->convertPointTo({20, 20}, nullptr));
  EXPECT_TRUE(done);
  ASSERT_NE(nav->navigationBar().leftButton(), nullptr);
  EXPECT_EQ(nav->navigationBar().leftButton()->currentTitle(), "< Main");
  hb.tap(nav->navigationBar().leftButton()->convertPointTo({20, 20}, nullptr));
  hb.advance(1.0);
  EXPECT_EQ(nav->topViewController(), root.get());
  EXPECT_EQ(browser->parentViewController(), nullptr);
  // Hiding the bar gives the content the whole view.
  nav->setNavigationBarHidden(true, false);
  EXPECT_EQ(root->view()->frame(), Rect(0, 0, 736, 414));
  // A navigation controller sizes its popover from its top controller.
  root->setPreferredContentSize({280, 220});
  EXPECT_EQ(nav->preferredContentSize(), (Size{280, 220}));
  nav->setNavigationBarHidden(false, false);
  EXPECT_EQ(nav->preferredContentSize(), (Size{280, 264}));
}

class PopoverDelegate : public PopoverPresentationControllerDelegate {
 public:
  ModalPresentationStyle adaptivePresentationStyle(PopoverPresentationController&) override { return adapt; }
  bool popoverPresentationControllerShouldDismissPopover(PopoverPresentationController&) override { return allow; }
  void popoverPresentationControllerDidDismissPopover(PopoverPresentationController&) override { ++dismissed; }
  ModalPresentationStyle adapt = ModalPresentationStyle::None;
  bool allow = true;
  int dismissed = 0;
};

TEST(PresentationTest, PopoverDelegateDecidesAboutTouchesOutsideAndCompactScreens) {
  // A compact (narrow) screen: popovers adapt unless the delegate says None.
  for (ModalPresentationStyle adapt : {ModalPresentationStyle::None, ModalPresentationStyle::FullScreen}) {
    PopoverDelegate d;
    d.adapt = adapt;
    HeadlessBackend hb({568, 320}, 2.0);
    auto w = hb.makeWindow();
    auto main = std::make_shared<ViewController>();
    w->setRootViewController(main);
    auto pop = std::make_shared<ViewController>();
    pop->setModalPresentationStyle(ModalPresentationStyle::Popover);
    pop->setPreferredContentSize({280, 110});
    pop->popoverPresentationController()->setDelegate(&d);
    pop->popoverPresentationController()->setSourceView(main->view());
    pop->popoverPresentationController()->setSourceRect({10, 10, 30, 30});
    main->presentViewController(pop, false, nullptr);
    hb.runPass();
    const bool stayed = adapt == ModalPresentationStyle::None;
    EXPECT_EQ(main->appearanceState() == ViewController::AppearanceState::Appeared, stayed);
    EXPECT_EQ(pop->view()->frame().size.width, stayed ? 280 : 568);
    if (!stayed) continue;
    // A refusing delegate keeps the popover up.
    d.allow = false;
    hb.tap({500, 300});
    EXPECT_EQ(main->presentedViewController(), pop.get());
    EXPECT_EQ(d.dismissed, 0);
    d.allow = true;
    hb.tap({500, 300});
    hb.advance(1.0);
    EXPECT_EQ(main->presentedViewController(), nullptr);
    EXPECT_EQ(d.dismissed, 1);
    // Dismissing from code does not report a touch dismissal.
    main->presentViewController(pop, false, nullptr);
    hb.runPass();
    pop->dismissViewControllerAnimated(false, nullptr);
    hb.runPass();
    EXPECT_EQ(d.dismissed, 1);
  }
}

class AlertLog : public AlertViewDelegate {
 public:
  void clickedButtonAtIndex(AlertView& a, int i) override { log.push_back(a.title() + " clicked " + std::to_string(i)); }
  void willDismissWithButtonIndex(AlertView& a, int i) override { log.push_back(a.title() + " will " + std::to_string(i)); }
  void didDismissWithButtonIndex(AlertView& a, int i) override {
    log.push_back(a.title() + " did " + std::to_string(i) + (a.isVisible() ? " visible" : ""));
  }
  std::vector<std::string> log;
};

TEST(AlertTest, ButtonsIndicesDelegateOrderAndModality) {
  AlertLog d;
  HeadlessBackend hb;
  auto w = hb.makeWindow();
  auto button = std::make_shared<Control>(Rect(0, 0, 736, 414));
  int downs = 0;
  button->addTarget(nullptr, "d", [&](Control&) { ++downs; }, ControlEvents::TouchDown);
  w->addSubview(button);
  auto clear = std::make_shared<AlertView>("CLEAR PART", "Are you sure you want to clear the selected part?", &d,
                                           std::string("Cancel"), std::vector<std::string>{"OK"});
  EXPECT_EQ(clear->cancelButtonIndex(), 0);
  EXPECT_EQ(clear->firstOtherButtonIndex(), 1);
  EXPECT_EQ(clear->buttonTitleAtIndex(1), "OK");
  clear->show();
  auto second = std::make_shared<AlertView>("Disk Space Warning", "There is not enough free space on the device.", &d,
                                            std::nullopt, std::vector<std::string>{"OK"});
  second->show();
  hb.runPass();
  EXPECT_TRUE(hb.alertVisible());
  EXPECT_EQ(hb.alertTitle(), "CLEAR PART");
  EXPECT_EQ(hb.alertButtons(), (std::vector<std::string>{"Cancel", "OK"}));
  // Nothing under a modal alert takes touches.
  hb.tap({20, 20});
  EXPECT_EQ(downs, 0);
  // A tap on its OK button: the delegate in order, then the waiting alert.
  auto shot = hb.findViews([](View& v) {
    auto* b = dynamic_cast<Button*>(&v);
    return b && b->currentTitle() == "OK" && b->window();
  });
  ASSERT_EQ(shot.size(), 1u);
  hb.tap(shot.front()->convertPointTo({10, 10}, nullptr));
  EXPECT_EQ(d.log, (std::vector<std::string>{"CLEAR PART clicked 1", "CLEAR PART will 1", "CLEAR PART did 1"}));
  hb.runPass();
  EXPECT_EQ(hb.alertTitle(), "Disk Space Warning");
  EXPECT_TRUE(hb.answerAlert(0));
  EXPECT_FALSE(hb.alertVisible());
  EXPECT_FALSE(hb.answerAlert(0));
  hb.tap({20, 20});
  EXPECT_EQ(downs, 1);
}

}  // namespace
