#include <gtest/gtest.h>

#include "platform/ui/control.h"
#include "platform/ui/headless/headless_backend.h"

using namespace platform;

namespace {

class Recorder : public View {
 public:
  using View::View;
  void touchesBegan(const TouchSet& t, const Event* e) override { note("began", t, e); }
  void touchesMoved(const TouchSet& t, const Event* e) override { note("moved", t, e); }
  void touchesEnded(const TouchSet& t, const Event* e) override { note("ended", t, e); }
  void touchesCancelled(const TouchSet& t, const Event* e) override { note("cancelled", t, e); }
  std::vector<std::string> log;
  std::vector<Point> locations;
  std::vector<Point> previous;
  size_t lastAllTouches = 0;

 private:
  void note(const char* what, const TouchSet& t, const Event* e) {
    log.push_back(std::string(what) + " " + std::to_string(t.size()));
    locations.push_back(t.front()->locationInView(this));
    previous.push_back(t.front()->previousLocationInView(this));
    lastAllTouches = e ? e->allTouches().size() : 0;
  }
};

TEST(TouchTest, ATouchBelongsToTheViewItBeganOn) {
  HeadlessBackend hb;
  auto w = hb.makeWindow();
  auto a = std::make_shared<Recorder>(Rect(0, 0, 100, 100));
  auto b = std::make_shared<Recorder>(Rect(100, 0, 100, 100));
  w->addSubview(a);
  w->addSubview(b);
  hb.touchDown({50, 50});
  hb.touchMove({150, 50});  // over b, still a's
  hb.touchUp({150, 60});
  EXPECT_EQ(a->log, (std::vector<std::string>{"began 1", "moved 1", "ended 1"}));
  EXPECT_TRUE(b->log.empty());
  EXPECT_EQ(a->locations[1], (Point{150, 50}));
  EXPECT_EQ(a->previous[1], (Point{50, 50}));
  EXPECT_EQ(a->previous[2], (Point{150, 50}));
}

TEST(TouchTest, WithoutMultipleTouchAViewGetsOnlyItsFirstFinger) {
  HeadlessBackend hb;
  auto w = hb.makeWindow();
  auto single = std::make_shared<Recorder>(Rect(0, 0, 200, 200));
  w->addSubview(single);
  hb.touchDown({10, 10}, 1);
  hb.touchDown({20, 20}, 2);  // ignored
  hb.touchMove({30, 30}, 2);
  hb.touchUp({30, 30}, 2);
  hb.touchUp({10, 10}, 1);
  EXPECT_EQ(single->log, (std::vector<std::string>{"began 1", "ended 1"}));
  // With it, both fingers arrive, each in its own delivery.
  single->log.clear();
  single->setMultipleTouchEnabled(true);
  hb.touchDown({10, 10}, 1);
  hb.touchDown({20, 20}, 2);
  EXPECT_EQ(single->lastAllTouches, 2u);
  hb.touchUp({20, 20}, 2);
  hb.touchUp({10, 10}, 1);
  EXPECT_EQ(single->log, (std::vector<std::string>{"began 1", "began 1", "ended 1", "ended 1"}));
}

TEST(TouchTest, UnhandledTouchesGoUpTheResponderChain) {
  HeadlessBackend hb;
  auto w = hb.makeWindow();
  auto parent = std::make_shared<Recorder>(Rect(0, 0, 200, 200));
  auto plain = std::make_shared<View>(Rect(10, 10, 50, 50));
  parent->addSubview(plain);
  w->addSubview(parent);
  hb.tap({20, 20});
  EXPECT_EQ(parent->log, (std::vector<std::string>{"began 1", "ended 1"}));
  EXPECT_EQ(parent->locations[0], (Point{20, 20}));
  // A control keeps its touches.
  auto control = std::make_shared<Control>(Rect(100, 100, 50, 50));
  parent->addSubview(control);
  hb.tap({120, 120});
  EXPECT_EQ(parent->log.size(), 2u);
}

TEST(TouchTest, ControlEventsForInsideOutsideAndCancel) {
  HeadlessBackend hb;
  auto w = hb.makeWindow();
  auto c = std::make_shared<Control>(Rect(100, 100, 60, 40));
  w->addSubview(c);
  std::vector<std::string> log;
  const std::pair<uint64_t, const char*> events[] = {
      {ControlEvents::TouchDown, "down"},           {ControlEvents::TouchDragInside, "dragIn"},
      {ControlEvents::TouchDragOutside, "dragOut"}, {ControlEvents::TouchDragExit, "exit"},
      {ControlEvents::TouchDragEnter, "enter"},     {ControlEvents::TouchUpInside, "upIn"},
      {ControlEvents::TouchUpOutside, "upOut"},     {ControlEvents::TouchCancel, "cancel"},
      {ControlEvents::TouchDownRepeat, "repeat"},
  };
  for (const auto& [ev, name] : events) {
    const std::string n = name;
    c->addTarget(nullptr, n, [&log, n](Control&) { log.push_back(n); }, ev);
  }
  hb.touchDown({110, 110});
  hb.touchMove({200, 110});  // 40 points out: still inside the 70-point slop
  hb.touchMove({300, 110});  // out
  hb.touchMove({150, 110});  // back
  hb.touchMove({300, 300});
  hb.touchUp({300, 300});
  // Within one delivery the actions run in the order they were added.
  EXPECT_EQ(log, (std::vector<std::string>{"down", "dragIn", "dragOut", "exit", "dragIn", "enter", "dragOut", "exit",
                                           "upOut"}));
  EXPECT_FALSE(c->isHighlighted());
  log.clear();
  hb.touchDown({110, 110});
  EXPECT_TRUE(c->isHighlighted());
  EXPECT_TRUE(c->isTracking());
  hb.touchCancel();
  EXPECT_EQ(log, (std::vector<std::string>{"down", "cancel"}));
  EXPECT_FALSE(c->isTracking());
  // Quick taps on one spot count up: the second is a repeat.
  log.clear();
  hb.tap({110, 110}, 0.05);
  hb.advance(0.1);
  hb.tap({112, 110}, 0.05);
  EXPECT_EQ(log, (std::vector<std::string>{"down", "upIn", "down", "repeat", "upIn"}));
}

TEST(TouchTest, TargetsAddRemoveAndRunInOrder) {
  HeadlessBackend hb;
  auto c = std::make_shared<Control>(Rect(0, 0, 10, 10));
  std::vector<std::string> log;
  int target1, target2;
  c->addTarget(&target1, "changeFunctionState:", [&](Control&) { log.push_back("t1"); }, ControlEvents::TouchDown);
  c->addTarget(&target2, "selectPart:", [&](Control&) { log.push_back("t2"); }, ControlEvents::TouchDown);
  c->addTarget(&target1, "changeFunctionState:", [&](Control&) { log.push_back("again"); },
               ControlEvents::TouchUpInside);
  c->sendActionsForControlEvents(ControlEvents::TouchDown);
  EXPECT_EQ(log, (std::vector<std::string>{"t1", "t2"}));
  EXPECT_EQ(c->actionsForTarget(&target1, ControlEvents::TouchUpInside), std::vector<std::string>{"changeFunctionState:"});
  log.clear();
  c->sendActionsForControlEvents(ControlEvents::TouchUpInside);
  EXPECT_EQ(log, (std::vector<std::string>{"t1"}));  // one registration for both events
  // An edit mode borrows the button: its action goes, the other stays.
  c->removeTarget(&target1, "", ControlEvents::TouchDown | ControlEvents::TouchUpInside);
  log.clear();
  c->sendActionsForControlEvents(ControlEvents::AllEvents);
  EXPECT_EQ(log, (std::vector<std::string>{"t2"}));
  EXPECT_EQ(c->allControlEvents(), static_cast<uint64_t>(ControlEvents::TouchDown));
  // An action that removes targets while running does not break the run.
  c->addTarget(&target1, "x", [&](Control& s) { s.removeTarget(&target2, "", ControlEvents::AllEvents); },
               ControlEvents::ValueChanged);
  c->addTarget(&target2, "y", [&](Control&) { log.push_back("y"); }, ControlEvents::ValueChanged);
  c->sendActionsForControlEvents(ControlEvents::ValueChanged);
  c->sendActionsForControlEvents(ControlEvents::ValueChanged);
  EXPECT_EQ(std::count(log.begin(), log.end(), "y"), 1);
}

}  // namespace
