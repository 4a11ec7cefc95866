// The toast: where its parts sit, the pop-in, the delayed fade-out that
// removes it, and an interrupted fade-out that leaves it in place.

#include "controls/toast_view.h"

#include <gtest/gtest.h>

#include "platform/ui/headless/headless_backend.h"

using namespace platform;

namespace {

class ToastTest : public ::testing::Test {
 protected:
  void SetUp() override { window = hb.makeWindow(); }
  std::shared_ptr<ToastView> make(const Rect& frame) {
    auto t = std::make_shared<ToastView>(frame);
    window->addSubview(t);
    return t;
  }
  double presentedAlpha(View& v) { return v.layer().presentedOpacity(hb.now()); }

  HeadlessBackend hb;
  std::shared_ptr<Window> window;
};

TEST_F(ToastTest, LabelAndSpinnerSitInTheMiddle) {
  struct Case {
    Rect frame;
    Rect label;
    Point spinner;
  };
  // The label is placed by the frame's own numbers, the spinner at the
  // toast's centre in its superview: the two agree only for a frame at 0, 0.
  for (const Case& c : std::vector<Case>{{{0, 0, 320, 240}, {96, 150, 128, 24}, {160, 120}},
                                         {{10, 20, 320, 240}, {106, 170, 128, 24}, {170, 140}}}) {
    ToastView t(c.frame);
    EXPECT_EQ(t.messageLabel().frame(), c.label);
    EXPECT_EQ(t.indicator().center(), c.spinner);
    EXPECT_EQ(t.indicator().style(), ActivityIndicatorView::Style::WhiteLarge);
    EXPECT_EQ(t.messageLabel().textAlignment(), TextAlignment::Center);
    EXPECT_EQ(t.messageLabel().textColor(), Color::whiteColor());
  }
}

TEST_F(ToastTest, DrawsADarkRoundedSquareOnlyInTheMiddle) {
  auto t = make({0, 0, 320, 240});
  ImagePtr shot = hb.renderView(*t);
  ASSERT_TRUE(shot);
  EXPECT_EQ(shot->pixelAt({160, 60}).a, 102) << "black at 0.4 inside the square";
  EXPECT_EQ(shot->pixelAt({160, 60}).r, 0);
  EXPECT_EQ(shot->pixelAt({20, 20}).a, 0) << "clear outside";
  EXPECT_EQ(shot->pixelAt({96.5, 56.5}).a, 0) << "the corner is rounded";
  EXPECT_GT(shot->pixelAt({100, 60}).a, 0);
}

TEST_F(ToastTest, PopsInThenFadesOutAfterADelayAndRemovesItself) {
  auto t = make({0, 0, 320, 240});
  t->startAnimating("Gathering...");
  EXPECT_EQ(t->messageLabel().text(), "Gathering...");
  EXPECT_TRUE(t->indicator().isAnimating());
  EXPECT_DOUBLE_EQ(t->alpha(), 1.0);
  EXPECT_LT(presentedAlpha(*t), 0.01) << "starts invisible";
  hb.advance(0.25);
  EXPECT_DOUBLE_EQ(presentedAlpha(*t), 1.0);
  EXPECT_TRUE(t->transform() == AffineTransform::identity());

  t->stopAnimating();
  EXPECT_FALSE(t->indicator().isAnimating());
  hb.advance(0.5);
  EXPECT_DOUBLE_EQ(presentedAlpha(*t), 1.0) << "waits 0.6 s";
  EXPECT_EQ(t->superview(), window.get());
  hb.advance(0.5);
  EXPECT_EQ(t->superview(), window.get());
  EXPECT_LT(presentedAlpha(*t), 1.0);
  hb.advance(0.3);
  EXPECT_EQ(t->superview(), nullptr) << "removed after the fade";
}

TEST_F(ToastTest, StopRightAfterStartStillFinishesAndRemoves) {
  auto t = make({0, 0, 320, 240});
  t->startAnimating("Restoring...");
  t->stopAnimating();
  hb.advance(1.0);
  EXPECT_EQ(t->superview(), window.get());
  hb.advance(0.4);
  EXPECT_EQ(t->superview(), nullptr);
}

TEST_F(ToastTest, AnInterruptedFadeOutLeavesTheToastInPlace) {
  auto t = make({0, 0, 320, 240});
  t->startAnimating("Creating...");
  hb.advance(0.3);
  t->stopAnimating();
  hb.advance(0.8);
  View::animate(0.2, 0.0, AnimationOptions::BeginFromCurrentState, [&] { t->setAlpha(0.5); });
  hb.advance(2.0);
  EXPECT_EQ(t->superview(), window.get());
}

}  // namespace
