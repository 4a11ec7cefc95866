#include "controls/swipe_mediator.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/ui/window.h"

namespace {

using platform::Point;
using platform::TouchPhase;
using Input = platform::Window::TouchInput;

// Records the slot events as "+k" (entered), "-k" (left), "B" and "E".
class Recorder : public SwipeMediatorDelegate {
 public:
  void swipeDidEnter(int32_t slot) override { log.push_back("+" + std::to_string(slot)); }
  void swipeDidExit(int32_t slot) override { log.push_back("-" + std::to_string(slot)); }
  void swipeBegan(SwipeMediator&) override { log.push_back("B"); }
  void swipeEnded(SwipeMediator&) override { log.push_back("E"); }
  std::vector<std::string> log;
};

// A strip whose touches go to its mediator, as the step and part views do.
class Strip : public platform::View {
 public:
  explicit Strip(const platform::Rect& frame) : View(frame) { setMultipleTouchEnabled(true); }
  void touchesBegan(const platform::TouchSet& t, const platform::Event* e) override { mediator.touchesBegan(t, e); }
  void touchesMoved(const platform::TouchSet& t, const platform::Event* e) override { mediator.touchesMoved(t, e); }
  void touchesEnded(const platform::TouchSet& t, const platform::Event* e) override { mediator.touchesEnded(t, e); }
  void touchesCancelled(const platform::TouchSet& t, const platform::Event* e) override {
    mediator.touchesCancelled(t, e);
  }
  SwipeMediator mediator;
};

// The step view's slots: 16 slots from (24.5, 3), 34.5 points wide, every
// 43.5 points (43 once truncated).
class SwipeMediatorTest : public ::testing::Test {
 protected:
  void SetUp() override {
    window = std::make_shared<platform::Window>(platform::Rect{0, 0, 736, 414});
    strip = std::make_shared<Strip>(platform::Rect{0, 100, 736, 80});
    window->addSubview(strip);
    strip->mediator.setOwnerView(strip.get());
    strip->mediator.setDelegate(&recorder);
    strip->mediator.setupHorizontalSlots({24.5, 3, 34.5, 62}, 43.5, 16);
  }
  // Window point 10 points into slot k at strip height y.
  static Point inSlot(int k, double y = 30) { return {24.5 + 43 * k + 10, 100 + y}; }
  void send(int64_t id, Point p, TouchPhase phase) { window->sendTouches({Input{id, p, phase}}, time += 0.01); }
  std::vector<std::string> take() { return std::exchange(recorder.log, {}); }

  platform::WindowPtr window;
  std::shared_ptr<Strip> strip;
  Recorder recorder;
  double time = 100;
};

using Log = std::vector<std::string>;

TEST_F(SwipeMediatorTest, SetupSpansTheSlotArea) {
  EXPECT_EQ(strip->mediator.slotArea(), (platform::Rect{24.5, 3, 43.5 * 16, 62}));
  EXPECT_EQ(strip->mediator.slotSize(), (platform::Size{34.5, 62}));
  EXPECT_EQ(strip->mediator.numberOfSlot(), 16);
}

TEST_F(SwipeMediatorTest, SlotOfAPoint) {
  const struct {
    int64_t x;
    int32_t slot;
    int64_t remainder;
    bool inside;
  } cases[] = {
      {-1, -1, 43, false}, {0, 0, 0, true},      {34, 0, 34, true},    {35, 0, 35, false},
      {42, 0, 42, false},  {43, 1, 0, true},     {687, 15, 42, false}, {688, 15, 43, false},
      {5000, 15, 43, false},
  };
  for (const auto& c : cases) {
    const SwipeMediator::SlotPosition s = strip->mediator.slotOf(c.x);
    EXPECT_EQ(s.slot, c.slot) << c.x;
    EXPECT_EQ(s.remainder, c.remainder) << c.x;
    EXPECT_EQ(s.inside, c.inside) << c.x;
  }
}

TEST_F(SwipeMediatorTest, TapPressesAtTouchDownAndReleasesAtLift) {
  send(1, inSlot(5), TouchPhase::Began);
  EXPECT_EQ(take(), (Log{"B", "+5"}));
  send(1, inSlot(5), TouchPhase::Ended);
  EXPECT_EQ(take(), (Log{"-5", "E"}));
}

TEST_F(SwipeMediatorTest, SlideRightPressesAndReleasesThePassedSlots) {
  send(1, inSlot(2), TouchPhase::Began);
  send(1, inSlot(6), TouchPhase::Moved);
  EXPECT_EQ(take(), (Log{"B", "+2", "-2", "+3", "-3", "+4", "-4", "+5", "-5", "+6"}));
  send(1, inSlot(6), TouchPhase::Ended);
  EXPECT_EQ(take(), (Log{"-6", "E"}));
}

TEST_F(SwipeMediatorTest, SlideLeftPressesAndReleasesThePassedSlots) {
  send(1, inSlot(6), TouchPhase::Began);
  send(1, inSlot(3), TouchPhase::Moved);
  EXPECT_EQ(take(), (Log{"B", "+6", "-6", "+5", "-5", "+4", "-4", "+3"}));
  send(1, inSlot(3), TouchPhase::Moved);
  EXPECT_TRUE(take().empty());
  send(1, inSlot(3), TouchPhase::Ended);
  EXPECT_EQ(take(), (Log{"-3", "E"}));
}

TEST_F(SwipeMediatorTest, SlideStepByStepIntoAndOutOfAGap) {
  send(1, inSlot(1), TouchPhase::Began);
  // Into the gap after slot 1: released, nothing pressed.
  send(1, {24.5 + 43 + 38, 130}, TouchPhase::Moved);
  // On into slot 2.
  send(1, inSlot(2), TouchPhase::Moved);
  // Back into the gap after slot 1, moving left.
  send(1, {24.5 + 43 + 38, 130}, TouchPhase::Moved);
  EXPECT_EQ(take(), (Log{"B", "+1", "-1", "+2", "-2"}));
}

TEST_F(SwipeMediatorTest, RestingInAGapPressesNothingAndLiftingThereReleasesTheSlotToItsLeft) {
  const Point gap{24.5 + 43 * 3 + 38, 130};
  send(1, gap, TouchPhase::Began);
  EXPECT_EQ(take(), (Log{"B"}));
  send(1, gap, TouchPhase::Ended);
  EXPECT_EQ(take(), (Log{"-3", "E"}));
}

TEST_F(SwipeMediatorTest, TouchFromAboveTheStripPressesTheSlotItSlidesInto) {
  send(1, inSlot(4, 1), TouchPhase::Began);
  EXPECT_EQ(take(), (Log{"B"}));
  send(1, inSlot(4, 30), TouchPhase::Moved);
  EXPECT_EQ(take(), (Log{"+4"}));
  // And leaving the strip downwards releases it.
  send(1, inSlot(4, 70), TouchPhase::Moved);
  EXPECT_EQ(take(), (Log{"-4"}));
  // Moves wholly outside the strip are not followed.
  send(1, inSlot(8, 75), TouchPhase::Moved);
  EXPECT_TRUE(take().empty());
}

TEST_F(SwipeMediatorTest, SlidingOffTheRightEndReleasesTheLastSlots) {
  send(1, inSlot(14), TouchPhase::Began);
  send(1, {735, 130}, TouchPhase::Moved);
  EXPECT_EQ(take(), (Log{"B", "+14", "-14", "+15", "-15"}));
}

TEST_F(SwipeMediatorTest, SlidingOffTheLeftEndReleasesTheFirstSlot) {
  send(1, inSlot(1), TouchPhase::Began);
  send(1, {5, 130}, TouchPhase::Moved);
  EXPECT_EQ(take(), (Log{"B", "+1", "-1", "+0", "-0"}));
  // From the first slot there is nothing further left.
  send(2, inSlot(0), TouchPhase::Began);
  send(2, {5, 130}, TouchPhase::Moved);
  EXPECT_EQ(take(), (Log{"B", "+0", "-0"}));
}

TEST_F(SwipeMediatorTest, ACancelledTouchSendsNoRelease) {
  send(1, inSlot(1), TouchPhase::Began);
  window->cancelAllTouches(time += 0.01);
  EXPECT_EQ(take(), (Log{"B", "+1", "E"}));
}

TEST_F(SwipeMediatorTest, TouchDownTruncatesBeforeTheOriginIsSubtracted) {
  // 24.7 lies in the slot area (from 24.5) but truncates to 24, before it.
  send(1, {24.7, 130}, TouchPhase::Began);
  EXPECT_EQ(take(), (Log{"B"}));
}

TEST_F(SwipeMediatorTest, TwoFingersAreFollowedEachOnItsOwn) {
  window->sendTouches({Input{1, inSlot(1), TouchPhase::Began}, Input{2, inSlot(9), TouchPhase::Began}}, time += 0.01);
  Log log = take();
  std::sort(log.begin() + 1, log.end());
  EXPECT_EQ(log, (Log{"B", "+1", "+9"}));
  window->sendTouches({Input{1, inSlot(2), TouchPhase::Moved}, Input{2, inSlot(9), TouchPhase::Ended}}, time += 0.01);
  EXPECT_EQ(take(), (Log{"-1", "+2", "-9", "E"}));
}

TEST(SwipeMediatorEdgeTest, AZeroPitchHasNoSlots) {
  SwipeMediator m;
  m.setupHorizontalSlots({0, 0, 10, 10}, 0.5, 4);
  EXPECT_EQ(m.slotOf(3).slot, -1);
  m.setupHorizontalSlots({0, 0, 10, 10}, 10, 0);
  EXPECT_EQ(m.slotOf(3).slot, -1);
}

}  // namespace
