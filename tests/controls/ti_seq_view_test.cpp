#include "controls/ti_seq_view.h"

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

// The step view in a window, its strip at y 300; every step button's
// touch-down and touch-up-inside are logged as "d<step>" and "u<step>".
class SeqViewTest : public ::testing::Test {
 protected:
  void SetUp() override {
    window = std::make_shared<platform::Window>(platform::Rect{0, 0, 736, 414});
    view = std::make_shared<TISeqView>(platform::Rect{0, 300, 2944, 68}, &controls_test::sharedTestImages());
    window->addSubview(view);
    for (int i = 0; i < 64; ++i) {
      auto b = view->getButton(i);
      b->addTarget(this, "down", [this, i](platform::Control& c) {
        log.push_back("d" + std::to_string(i));
        highlightedAtDown = c.isHighlighted();
      }, platform::ControlEvents::TouchDown);
      b->addTarget(this, "up", [this, i](platform::Control&) { log.push_back("u" + std::to_string(i)); },
                   platform::ControlEvents::TouchUpInside);
    }
    view->addTarget(this, "page", [this](platform::Control&) { ++pageEvents; }, platform::ControlEvents::ValueChanged);
  }
  // Window point 10 points into column k of the shown page.
  static Point column(int k, double y = 330) { return {24.5 + 43.5 * k + 10, y}; }
  void send(Point p, TouchPhase phase, int64_t id = 1) { window->sendTouches({Input{id, p, phase}}, t += 0.02); }
  Log take() { return std::exchange(log, {}); }

  platform::WindowPtr window;
  std::shared_ptr<TISeqView> view;
  Log log;
  bool highlightedAtDown = true;
  int pageEvents = 0;
  double t = 50;
};

TEST_F(SeqViewTest, ButtonsLayImagesAndTags) {
  const ImageManager& images = controls_test::sharedTestImages();
  for (int i = 0; i < 64; ++i) {
    auto b = view->getButton(i);
    const float x = 24.5f + 736.0f * static_cast<float>(i / 16) + 43.5f * static_cast<float>(i % 16);
    EXPECT_EQ(b->frame(), (platform::Rect{x, 3, 34.5, 62})) << i;
    EXPECT_EQ(b->tag(), i % 16);
    EXPECT_FALSE(b->isUserInteractionEnabled());
    EXPECT_EQ(b->imageNormal(), images.uiimage(41 + 3 * i)) << i;
    EXPECT_EQ(b->imageActive(), images.uiimage(42 + 3 * i)) << i;
    EXPECT_EQ(b->imageSelected(), images.uiimage(43 + 3 * i)) << i;
    EXPECT_EQ(b->imageHighlighted(), images.uiimage(233 + i)) << i;
    EXPECT_EQ(b->imageLayer1().contents(), b->imageNormal());
  }
  EXPECT_EQ(view->getButton(64), nullptr);
  EXPECT_EQ(view->getButton(-1), nullptr);
  EXPECT_EQ(view->seqPageControl()->frame(), (platform::Rect{368, 0, 0, 18}));
  EXPECT_EQ(view->seqPageControl()->numberOfPages(), 4);
  EXPECT_TRUE(view->isMultipleTouchEnabled());
}

TEST_F(SeqViewTest, TapPressesAtTouchDownAndReleasesAtLift) {
  send(column(5), TouchPhase::Began);
  EXPECT_EQ(take(), (Log{"d5"}));
  EXPECT_FALSE(highlightedAtDown);  // the event comes first, then the highlight
  EXPECT_TRUE(view->getButton(5)->isHighlighted());
  EXPECT_EQ(view->getButton(5)->imageLayer1().contents(), view->getButton(5)->imageHighlighted());
  send(column(5), TouchPhase::Ended);
  EXPECT_EQ(take(), (Log{"u5"}));
  EXPECT_FALSE(view->getButton(5)->isHighlighted());
}

TEST_F(SeqViewTest, TheSameTapOnPage2AddressesStep37) {
  view->setCurrentPage(2);
  send(column(5), TouchPhase::Began);
  send(column(5), TouchPhase::Ended);
  EXPECT_EQ(take(), (Log{"d37", "u37"}));
}

TEST_F(SeqViewTest, SlideFromButton2ToButton6) {
  send(column(2), TouchPhase::Began);
  send(column(6), TouchPhase::Moved);
  EXPECT_EQ(take(), (Log{"d2", "u2", "d3", "u3", "d4", "u4", "d5", "u5", "d6"}));
  send(column(6), TouchPhase::Ended);
  EXPECT_EQ(take(), (Log{"u6"}));
}

TEST_F(SeqViewTest, SlideBackLeftStepByStep) {
  send(column(9), TouchPhase::Began);
  for (int k = 8; k >= 6; --k) send(column(k), TouchPhase::Moved);
  send(column(6), TouchPhase::Ended);
  EXPECT_EQ(take(), (Log{"d9", "u9", "d8", "u8", "d7", "u7", "d6", "u6"}));
}

TEST_F(SeqViewTest, RestingInAGapPressesNothingAndLiftingReleasesTheStepToItsLeft) {
  const Point gap{24.5 + 43 * 3 + 38, 330};
  send(gap, TouchPhase::Began);
  EXPECT_TRUE(take().empty());
  send(gap, TouchPhase::Ended);
  EXPECT_EQ(take(), (Log{"u3"}));
}

TEST_F(SeqViewTest, TouchFromAboveTheStripSlidesIntoButton4) {
  send(column(4, 301), TouchPhase::Began);
  EXPECT_TRUE(take().empty());
  send(column(4, 330), TouchPhase::Moved);
  EXPECT_EQ(take(), (Log{"d4"}));
}

TEST_F(SeqViewTest, ACancelledTouchSendsNoReleaseAndClearsEveryHighlight) {
  send(column(1), TouchPhase::Began, 1);
  send(column(7), TouchPhase::Began, 2);
  EXPECT_EQ(take(), (Log{"d1", "d7"}));
  window->cancelAllTouches(t += 0.02);
  EXPECT_TRUE(take().empty());
  for (int i = 0; i < 64; ++i) EXPECT_FALSE(view->getButton(i)->isHighlighted()) << i;
}

TEST_F(SeqViewTest, PageChanges) {
  const double x0 = view->frame().origin.x;
  view->setCurrentPage(4);
  view->setCurrentPage(0);
  view->setCurrentPage(-1);
  EXPECT_EQ(pageEvents, 0);
  EXPECT_EQ(view->frame().origin.x, x0);
  view->setCurrentPage(3);
  EXPECT_EQ(pageEvents, 1);
  EXPECT_EQ(view->currentPage(), 3);
  EXPECT_EQ(view->frame().origin.x, x0 - 2208);
  EXPECT_EQ(view->seqPageControl()->frame(), (platform::Rect{736 * 3 + 368, 0, 0, 18}));
  EXPECT_EQ(view->seqPageControl()->currentPage(), 3);
  EXPECT_EQ(view->swipeMediator().slotArea().origin, view->getButton(48)->frame().origin);
  EXPECT_EQ(view->swipeMediator().slotInterval(), 43.5);
  view->setCurrentPage(1);
  EXPECT_EQ(view->frame().origin.x, x0 - 736);
  send(column(0), TouchPhase::Began);
  send(column(0), TouchPhase::Ended);
  EXPECT_EQ(take(), (Log{"d16", "u16"}));
}

TEST_F(SeqViewTest, DisplayedSteps) {
  EXPECT_FALSE(view->isDisplayedStep(31));
  view->setCurrentPage(1);
  EXPECT_TRUE(view->isDisplayedStep(31));
  EXPECT_TRUE(view->isDisplayedStep(16));
  EXPECT_FALSE(view->isDisplayedStep(32));
  view->setCurrentPage(2);
  EXPECT_FALSE(view->isDisplayedStep(31));
}

TEST_F(SeqViewTest, CurrentStepHighlight) {
  view->setCurrentStep(5);
  for (int i = 0; i < 64; ++i) EXPECT_EQ(view->getButton(i)->buttonPossibilityState(), i == 5 ? 1 : 0) << i;
  EXPECT_EQ(view->getButton(5)->imageLayer1().contents(), view->getButton(5)->imageSelected());
  view->setCurrentStep(64);
  for (int i = 0; i < 64; ++i) EXPECT_EQ(view->getButton(i)->buttonPossibilityState(), 0) << i;
  EXPECT_EQ(view->currentStep(), 64);
  view->setCurrentStep(40);
  view->clearSelection();
  EXPECT_EQ(view->getButton(40)->buttonPossibilityState(), 0);
}

}  // namespace
