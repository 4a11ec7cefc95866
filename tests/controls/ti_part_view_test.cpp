#include "controls/ti_part_view.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "kit_test_bundle.h"
#include "platform/ui/window.h"

namespace {

using platform::Point;
using platform::TouchPhase;
using Input = platform::Window::TouchInput;
using Log = std::vector<std::string>;

// The part view on the main view's coordinates; part p's touch-down and
// touch-up-inside are logged as "d<p>" and "u<p>".
class PartViewTest : public ::testing::Test {
 protected:
  void SetUp() override {
    window = std::make_shared<platform::Window>(platform::Rect{0, 0, 736, 414});
    view = std::make_shared<TIPartView>(&controls_test::sharedTestImages());
    window->addSubview(view);
    for (int p = 0; p < 8; ++p) {
      auto b = view->partButtonAt(p);
      b->addTarget(this, "down", [this, p](platform::Control&) { log.push_back("d" + std::to_string(p)); },
                   platform::ControlEvents::TouchDown);
      b->addTarget(this, "up", [this, p](platform::Control&) { log.push_back("u" + std::to_string(p)); },
                   platform::ControlEvents::TouchUpInside);
    }
  }
  // Window point 10 points into part p's button.
  static Point part(int p) { return {TIPartView::kButtonX[static_cast<size_t>(p)] + 10, 300}; }
  void send(Point pt, TouchPhase phase, int64_t id = 1) { window->sendTouches({Input{id, pt, phase}}, t += 0.02); }
  Log take() { return std::exchange(log, {}); }

  platform::WindowPtr window;
  std::shared_ptr<TIPartView> view;
  Log log;
  double t = 80;
};

TEST_F(PartViewTest, FrameButtonsAndImages) {
  EXPECT_EQ(view->frame(), (platform::Rect{283.5, 274, 433, 65}));
  const ImageManager& images = controls_test::sharedTestImages();
  const double xs[] = {287.5, 341.5, 395.5, 450.0, 504.0, 558.0, 612.5, 666.5};
  for (int p = 0; p < 8; ++p) {
    auto b = view->partButtonAt(p);
    EXPECT_EQ(b->frame(), (platform::Rect{xs[p] - 283.5, 4, 46, 57})) << p;
    EXPECT_EQ(b->tag(), p);
    EXPECT_FALSE(b->isUserInteractionEnabled());
    EXPECT_EQ(b->imageNormal(), images.uiimage(1 + 3 * p)) << p;
    EXPECT_EQ(b->imageActive(), images.uiimage(2 + 3 * p)) << p;
    EXPECT_EQ(b->imageSelected(), images.uiimage(3 + 3 * p)) << p;
    EXPECT_EQ(b->imageHighlighted(), images.uiimage(25 + p)) << p;
  }
  EXPECT_EQ(view->partButtons().size(), 8u);
  EXPECT_EQ(view->partButtonAt(8), nullptr);
  EXPECT_EQ(view->swipeMediator().slotInterval(), 54.0);
  EXPECT_EQ(view->swipeMediator().numberOfSlot(), 8);
}

TEST_F(PartViewTest, SlideFromPart1ToPart4) {
  send(part(0), TouchPhase::Began);
  send(part(3), TouchPhase::Moved);
  EXPECT_EQ(take(), (Log{"d0", "u0", "d1", "u1", "d2", "u2", "d3"}));
  EXPECT_TRUE(view->partButtonAt(3)->isHighlighted());
  send(part(3), TouchPhase::Ended);
  EXPECT_EQ(take(), (Log{"u3"}));
  EXPECT_FALSE(view->partButtonAt(3)->isHighlighted());
}

TEST_F(PartViewTest, SlideAcrossOneAtATime) {
  send(part(7), TouchPhase::Began);
  for (int p = 6; p >= 4; --p) send(part(p), TouchPhase::Moved);
  send(part(4), TouchPhase::Ended);
  EXPECT_EQ(take(), (Log{"d7", "u7", "d6", "u6", "d5", "u5", "d4", "u4"}));
}

TEST_F(PartViewTest, TouchesCountForTheGridSlotNotTheDrawnButton) {
  // The last point of the drawn eighth button lies past its 54-point slot.
  send({712.2, 300}, TouchPhase::Began);
  EXPECT_TRUE(take().empty());
  send({712.2, 300}, TouchPhase::Ended, 1);
  take();
  // Half a point left of the drawn fourth button is already its slot.
  send({449.7, 300}, TouchPhase::Began, 2);
  EXPECT_EQ(take(), (Log{"d3"}));
}

TEST_F(PartViewTest, ACancelledTouchSendsNoReleaseAndClearsEveryHighlight) {
  send(part(2), TouchPhase::Began);
  EXPECT_EQ(take(), (Log{"d2"}));
  window->cancelAllTouches(t += 0.02);
  EXPECT_TRUE(take().empty());
  for (int p = 0; p < 8; ++p) EXPECT_FALSE(view->partButtonAt(p)->isHighlighted()) << p;
}

}  // namespace
