// The notification banner: the look, opening on the notification, the
// countdown on its own 0.5 s timer, touches, and the toolbar fade.

#include "controls/ti_notification_view_controller.h"

#include <gtest/gtest.h>

#include "platform/notify/notification_center.h"
#include "platform/ui/headless/headless_backend.h"

using namespace platform;

namespace {

class BannerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    window = hb.makeWindow();
    banner = std::make_shared<TINotificationViewController>();
    banner->observeNotifications();
    window->addSubview(banner->viewPtr());
  }
  void post(const std::string& text, int64_t ticks) {
    NotificationCenter::defaultCenter().post(kTINotificationMessageArrived, std::any(text),
                                             {{kTINotificationMessageArrivedTimeIndex, Value(ticks)}});
  }
  // The tick number at which the banner's model alpha first drops to 0.
  int closingTick(int limit = 30) {
    for (int tick = 1; tick <= limit; ++tick) {
      hb.advance(TINotificationViewController::kTick);
      if (banner->view()->alpha() == 0.0) return tick;
    }
    return -1;
  }

  HeadlessBackend hb;
  std::shared_ptr<Window> window;
  std::shared_ptr<TINotificationViewController> banner;
};

TEST_F(BannerTest, StartsHiddenWithItsLabelInTheBalloon) {
  View* v = banner->view();
  EXPECT_EQ(v->frame(), Rect(500, 0, 500, 200));
  EXPECT_TRUE(v->isHidden());
  Label* l = banner->content();
  ASSERT_NE(l, nullptr);
  EXPECT_EQ(l->frame(), Rect(30, 30, 440, 140));
  EXPECT_EQ(l->numberOfLines(), 5);
  EXPECT_EQ(l->lineBreakMode(), LineBreakMode::Clip) << "cut at the edge, no ellipsis";
  EXPECT_EQ(l->textAlignment(), TextAlignment::Left);
  auto* balloon = banner->notificationView();
  EXPECT_EQ(balloon->shadowSize(), Size(10, 10));
  EXPECT_EQ(balloon->shadowColor(), Color::rgba(6 / 256.0, 11 / 256.0, 31 / 256.0, 0.8));
}

TEST_F(BannerTest, DrawsARoundedGreyBalloonInsetFromItsBounds) {
  banner->view()->setHidden(false);
  ImagePtr shot = hb.renderView(*banner->view());
  ASSERT_TRUE(shot);
  // Grey at 0.8 over its own dark blue shadow.
  const Image::RGBA inside = shot->pixelAt({250, 100});
  EXPECT_GT(inside.a, 220);
  EXPECT_GT(inside.r, 150);
  EXPECT_LT(inside.r, 210);
  EXPECT_NEAR(inside.r, inside.g, 6);
  // The shadow alone, 10 points down and right of the balloon.
  const Image::RGBA shadow = shot->pixelAt({488, 186});
  EXPECT_GT(shadow.a, 0);
  EXPECT_GT(shadow.b, shadow.r);
  EXPECT_EQ(shot->pixelAt({5, 100}).a, 0) << "outside the inset and the shadow";
  EXPECT_EQ(shot->pixelAt({19, 21}).a, 0) << "the corner is rounded";
}

TEST_F(BannerTest, ClosesOnTheTickAfterItsDisplayTimeRunsOut) {
  struct Case {
    int64_t ticks;
    int closesOn;
  };
  for (const Case& c : std::vector<Case>{{0, 2}, {3, 5}, {8, 10}}) {
    post("Saved as a.wav.", c.ticks);
    EXPECT_FALSE(banner->view()->isHidden());
    EXPECT_EQ(banner->content()->text(), "Saved as a.wav.");
    EXPECT_EQ(closingTick(), c.closesOn) << c.ticks;
    hb.advance(0.6);
    EXPECT_DOUBLE_EQ(banner->view()->layer().presentedOpacity(hb.now()), 0.0);
    EXPECT_FALSE(banner->view()->isHidden()) << "closed means transparent, not hidden";
    EXPECT_LT(banner->counter(), 0);
  }
}

TEST_F(BannerTest, ATouchClosesAtOnceWhateverTheCounter) {
  post("Pattern A01", 8);
  hb.advance(0.6);
  ASSERT_EQ(banner->view()->alpha(), 1.0);
  hb.tap({600, 100});
  EXPECT_EQ(banner->view()->alpha(), 0.0);
  EXPECT_GT(banner->counter(), 0);
}

TEST_F(BannerTest, ALaterMessageReplacesTextAndTimeAndComesToTheFront) {
  auto other = std::make_shared<View>(Rect(0, 0, 100, 100));
  post("first", 8);
  window->addSubview(other);
  ASSERT_EQ(window->subviews().back().get(), other.get());
  hb.advance(0.5);
  post("second", 1);
  EXPECT_EQ(banner->content()->text(), "second");
  EXPECT_EQ(banner->counter(), 1);
  EXPECT_EQ(window->subviews().back().get(), banner->view()) << "frontmost again";
  EXPECT_EQ(closingTick(), 3);
}

TEST_F(BannerTest, ToolbarAlphaComesUpQuicklyAndFadesSlowly) {
  View bar(Rect(0, 0, 736, 44));
  window->addSubview(std::shared_ptr<View>(&bar, [](View*) {}));
  setAlphaAnimated(bar, 0.0, false);
  EXPECT_EQ(bar.alpha(), 0.0);
  setAlphaAnimated(bar, 1.0, true);
  const BasicAnimation* up = bar.layer().animationForKey("opacity");
  ASSERT_NE(up, nullptr);
  EXPECT_DOUBLE_EQ(up->duration, 0.05);
  hb.advance(0.1);
  setAlphaAnimated(bar, 0.0, true);
  const BasicAnimation* down = bar.layer().animationForKey("opacity");
  ASSERT_NE(down, nullptr);
  EXPECT_DOUBLE_EQ(down->duration, 0.3);
  hb.advance(0.4);
  bar.removeFromSuperview();
}

}  // namespace
