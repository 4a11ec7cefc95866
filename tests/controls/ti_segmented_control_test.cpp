#include "controls/ti_segmented_control.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "platform/ui/button.h"
#include "platform/ui/window.h"

namespace {

using platform::TouchPhase;
using Input = platform::Window::TouchInput;

// A row of n standard buttons in a window, 60 points apart.
class SegmentedControlTest : public ::testing::Test {
 protected:
  void SetUp() override {
    window = std::make_shared<platform::Window>(platform::Rect{0, 0, 736, 414});
    control = std::make_shared<TISegmentedControl>();
    control->addTarget(this, "changed", [this](platform::Control&) { ++events; },
                       platform::ControlEvents::ValueChanged);
  }
  std::vector<TISegmentedControl::Segment> row(int n) {
    std::vector<TISegmentedControl::Segment> r;
    for (int i = 0; i < n; ++i) {
      auto b = std::make_shared<platform::Button>(platform::Button::Type::Custom,
                                                  platform::Rect{10.0 + 60 * i, 10, 50, 30});
      window->addSubview(b);
      r.push_back(b);
    }
    return r;
  }
  std::vector<bool> selectedFlags() const {
    std::vector<bool> s;
    for (const auto& b : control->buttons()) s.push_back(b->isSelected());
    return s;
  }
  void tapSegment(int i) {
    const platform::Point p{10.0 + 60 * i + 25, 25};
    window->sendTouches({Input{1, p, TouchPhase::Began}}, t += 0.1);
    window->sendTouches({Input{1, p, TouchPhase::Ended}}, t += 0.1);
  }

  platform::WindowPtr window;
  std::shared_ptr<TISegmentedControl> control;
  int events = 0;
  double t = 10;
};

TEST_F(SegmentedControlTest, ValueToIndex) {
  control->setButtons(row(4));
  const struct {
    float value;
    int64_t index;
  } cases[] = {{0.5f, 2}, {0.16f, 0}, {0.17f, 1}, {1.2f, 3}, {-0.5f, 0}, {1.0f, 3}, {0.0f, 0}, {0.83f, 2},
               {0.84f, 3}, {1e30f, 3}, {-1e30f, 0}};
  for (const auto& c : cases) {
    control->setValue(c.value);
    EXPECT_EQ(control->current(), c.index) << c.value;
    EXPECT_EQ(control->value(), c.value);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(selectedFlags()[static_cast<size_t>(i)], i == c.index) << c.value;
  }
  EXPECT_EQ(events, 0);
}

TEST_F(SegmentedControlTest, IndexToValue) {
  control->setButtons(row(4));
  control->setIndex(1);
  EXPECT_EQ(control->value(), 0.33333334f);
  EXPECT_EQ(control->current(), 1);
  control->setIndex(7);
  EXPECT_EQ(control->current(), 3);
  EXPECT_EQ(control->value(), 1.0f);
  control->setIndex(-2);
  EXPECT_EQ(control->current(), 0);
  EXPECT_EQ(control->value(), 0.0f);
  EXPECT_EQ(events, 0);
}

TEST_F(SegmentedControlTest, OneSegmentDoesNotDivideByZero) {
  control->setButtons(row(1));
  for (int64_t i : {0, 1, 5, -3}) {
    control->setIndex(i);
    EXPECT_EQ(control->current(), 0);
    EXPECT_EQ(control->value(), 0.0f);
    EXPECT_TRUE(control->buttons()[0]->isSelected());
  }
  control->setValue(0.9f);
  EXPECT_EQ(control->current(), 0);
}

TEST_F(SegmentedControlTest, NoSegmentsAtAll) {
  control->setIndex(3);
  control->setValue(0.7f);
  EXPECT_EQ(control->current(), 0);
  EXPECT_EQ(control->numberOfStates(), 0);
}

TEST_F(SegmentedControlTest, TouchingAnotherSegmentSelectsItAndSendsOneEvent) {
  control->setButtons(row(4));
  tapSegment(0);  // the selected one
  EXPECT_EQ(events, 0);
  tapSegment(2);
  EXPECT_EQ(events, 1);
  EXPECT_EQ(control->current(), 2);
  EXPECT_EQ(control->value(), 2.0f / 3.0f);
  EXPECT_EQ(selectedFlags(), (std::vector<bool>{false, false, true, false}));
  tapSegment(2);
  EXPECT_EQ(events, 1);
}

TEST_F(SegmentedControlTest, InstallingTheSameArrayChangesNothingANewOneSelectsItsFirst) {
  auto first = row(3);
  control->setButtons(first);
  EXPECT_EQ(first[2]->tag(), 2);
  control->setIndex(2);
  control->setButtons(first);
  EXPECT_EQ(control->current(), 2);
  auto second = row(5);
  control->setButtons(second);
  EXPECT_EQ(control->current(), 0);
  EXPECT_TRUE(second[0]->isSelected());
  EXPECT_EQ(events, 0);
  // The old row no longer reports to the control.
  EXPECT_TRUE(first[1]->actionsForTarget(control.get(), platform::ControlEvents::TouchDown).empty());
  EXPECT_EQ(second[1]->actionsForTarget(control.get(), platform::ControlEvents::TouchDown).size(), 1u);
}

TEST_F(SegmentedControlTest, IsTrackingWhileASegmentIsHeld) {
  control->setButtons(row(3));
  EXPECT_FALSE(control->isTracking());
  window->sendTouches({Input{1, {10 + 60 + 25, 25}, TouchPhase::Began}}, t += 0.1);
  EXPECT_TRUE(control->isTracking());
  window->sendTouches({Input{1, {10 + 60 + 25, 25}, TouchPhase::Ended}}, t += 0.1);
  EXPECT_FALSE(control->isTracking());
}

TEST_F(SegmentedControlTest, SegmentsOutlivingTheControlDoNotCallIt) {
  auto segments = row(3);
  control->setButtons(segments);
  control.reset();
  EXPECT_TRUE(segments[1]->actionsForTarget(nullptr, platform::ControlEvents::TouchDown).empty());
  EXPECT_EQ(segments[1]->allControlEvents(), 0u);
  tapSegment(1);  // must not reach the destroyed control
}

TEST_F(SegmentedControlTest, RangeIsZeroToOneFromTheStart) {
  EXPECT_EQ(control->minimum(), 0.0f);
  EXPECT_EQ(control->maximum(), 1.0f);
}

}  // namespace
