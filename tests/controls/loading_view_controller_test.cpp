// The loading overlay: its panel, presenting with and without the cancel
// button, the fades, and the stop request of the cancel button.

#include "controls/loading_view_controller.h"

#include <gtest/gtest.h>

#include "platform/notify/notification_center.h"
#include "platform/ui/headless/headless_backend.h"

using namespace platform;

namespace {

class LoadingTest : public ::testing::Test {
 protected:
  void SetUp() override {
    window = hb.makeWindow();
    overlay = std::make_shared<LoadingViewController>();
    window->addSubview(overlay->viewPtr());
  }
  double shownAlpha() { return overlay->view()->layer().presentedOpacity(hb.now()); }

  HeadlessBackend hb;
  std::shared_ptr<Window> window;
  std::shared_ptr<LoadingViewController> overlay;
};

TEST_F(LoadingTest, APanelWithSpinnerAndCaptionRightOfCentreStartingInvisible) {
  View* v = overlay->view();
  EXPECT_EQ(v->alpha(), 0.0);
  EXPECT_EQ(v->frame(), Rect(0, 0, 736, 414));
  EXPECT_EQ(overlay->panel()->frame(), Rect(368 + 50 - 90, 207 - 90, 180, 180));
  EXPECT_EQ(overlay->indicator()->center(), Point(418, 207));
  EXPECT_TRUE(overlay->indicator()->isAnimating()) << "spins while hidden too";
  EXPECT_EQ(overlay->panel()->label().text(), "Loading...");
  EXPECT_EQ(overlay->panel()->label().frame(), Rect(0, 150, 180, 20));
  EXPECT_EQ(overlay->cancel()->center(), Point(343, 132));
  EXPECT_TRUE(overlay->cancel()->isHidden());
  EXPECT_NE(overlay->cancel()->imageForState(ControlState::Normal), nullptr);

  overlay->view()->setAlpha(1);
  ImagePtr shot = hb.renderView(*overlay->panel());
  ASSERT_TRUE(shot);
  EXPECT_EQ(shot->pixelAt({90, 40}).a, 102) << "black at 0.4";
  EXPECT_EQ(shot->pixelAt({0.5, 0.5}).a, 0) << "rounded corner";
}

TEST_F(LoadingTest, PresentShowsTheCancelButtonOnlyWhenCancelable) {
  for (bool cancelable : {false, true}) {
    overlay->present(cancelable);
    EXPECT_EQ(overlay->cancel()->isHidden(), !cancelable);
    EXPECT_LT(shownAlpha(), 0.01);
    hb.advance(0.25);
    EXPECT_DOUBLE_EQ(shownAlpha(), 1.0);
    overlay->dismiss(false);
    EXPECT_EQ(overlay->view()->alpha(), 0.0);
  }
  EXPECT_EQ(overlay->finishedDismissals(), 0) << "no animation, no callback";
}

TEST_F(LoadingTest, CancelAsksTheStreamToStopOnTheNextPassAndFadesOut) {
  int stops = 0;
  int duringHandler = -1;
  NotificationCenter::defaultCenter().addObserver(this, kAudioSteamingPlayerShouldStop,
                                                  [&](const Notification&) { ++stops; });
  overlay->present(true);
  hb.advance(0.3);
  overlay->cancel()->addTarget(this, "probe", [&](Control&) { duringHandler = stops; }, ControlEvents::TouchUpInside);
  hb.tap(overlay->cancel()->center());
  EXPECT_EQ(duringHandler, 0) << "not posted within the button handler";
  EXPECT_EQ(stops, 1);
  EXPECT_EQ(overlay->view()->alpha(), 0.0);
  hb.advance(0.1);
  EXPECT_GT(shownAlpha(), 0.0);
  hb.advance(0.2);
  EXPECT_EQ(overlay->finishedDismissals(), 1);
  EXPECT_EQ(overlay->view()->superview(), window.get()) << "never removed";
  NotificationCenter::defaultCenter().removeObserver(this);
}

}  // namespace
