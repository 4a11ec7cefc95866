// The tutorial's overlay views on their own: which touches the passthrough
// view keeps, what the spot view dims and leaves clear, and how the progress
// bar fills.

#include "tutorial/gbx_tutorial_views.h"

#include <gtest/gtest.h>

#include <cmath>

#include "platform/gfx/image.h"
#include "platform/ui/button.h"
#include "platform/ui/headless/headless_backend.h"
#include "tutorial/gbx_tutorial_view_controller.h"

namespace {

using platform::Point;
using platform::Rect;

class TutorialViewsTest : public ::testing::Test {
 protected:
  void SetUp() override { window = backend.makeWindow(); }

  // The alpha of the rendered view at a point of its own coordinates.
  static int alphaAt(const platform::ImagePtr& shot, Point p) { return shot->pixelAt(p).a; }

  platform::HeadlessBackend backend;
  std::shared_ptr<platform::Window> window;
};

TEST_F(TutorialViewsTest, DarkColourIsBlackAtSinglePrecisionPointSix) {
  const platform::Color c = GBXTutorialViewController::darkBackgroundColor();
  EXPECT_EQ(c, platform::Color::white(0.0, static_cast<double>(0.6f)));
}

TEST_F(TutorialViewsTest, PassthroughKeepsOnlyTouchesItsLiveSubviewsClaim) {
  // A panel control under the overlay, and the overlay over the window.
  auto panel = std::make_shared<platform::Button>(platform::Button::Type::Custom, Rect{0, 0, 736, 414});
  window->addSubview(panel);
  auto overlay = std::make_shared<GBXTutorialPassthroughView>(Rect{0, 0, 736, 414});
  window->addSubview(overlay);

  auto live = std::make_shared<platform::Button>(platform::Button::Type::System, Rect{600, 0, 100, 40});
  auto faded = std::make_shared<platform::Button>(platform::Button::Type::System, Rect{0, 0, 100, 40});
  faded->setAlpha(0.0);
  auto locked = std::make_shared<platform::Button>(platform::Button::Type::System, Rect{0, 100, 100, 40});
  locked->setUserInteractionEnabled(false);
  auto hidden = std::make_shared<platform::Button>(platform::Button::Type::System, Rect{0, 200, 100, 40});
  hidden->setHidden(true);
  for (auto& b : {live, faded, locked, hidden}) overlay->addSubview(b);

  const struct {
    Point p;
    bool kept;
    platform::View* hit;
  } cases[] = {
      {{650, 20}, true, live.get()},     // the visible, touchable button
      {{50, 20}, false, panel.get()},    // alpha 0: falls through
      {{50, 120}, false, panel.get()},   // interaction off
      {{50, 220}, false, panel.get()},   // hidden
      {{300, 300}, false, panel.get()},  // nothing there
  };
  for (const auto& c : cases) {
    EXPECT_EQ(overlay->pointInside(c.p, nullptr), c.kept) << platform::toString(c.p);
    EXPECT_EQ(window->hitTest(c.p, nullptr), c.hit) << platform::toString(c.p);
  }

  // A subview with subviews of its own claims through its own pointInside:
  // a nested passthrough view claims only its live children's points.
  auto nested = std::make_shared<GBXTutorialPassthroughView>(Rect{0, 0, 736, 414});
  auto inner = std::make_shared<platform::Button>(platform::Button::Type::System, Rect{300, 300, 50, 50});
  nested->addSubview(inner);
  overlay->addSubview(nested);
  EXPECT_TRUE(overlay->pointInside({320, 320}, nullptr));
  EXPECT_EQ(window->hitTest({320, 320}, nullptr), inner.get());
  EXPECT_FALSE(overlay->pointInside({400, 380}, nullptr));
  EXPECT_EQ(window->hitTest({400, 380}, nullptr), panel.get());
}

TEST_F(TutorialViewsTest, SpotViewDimsEverythingButItsRoundedHoles) {
  auto spot = std::make_shared<GBXTutorialSpotView>(Rect{0, 0, 300, 200});
  window->addSubview(spot);
  EXPECT_FALSE(spot->isUserInteractionEnabled());

  // No spots: an even dimming.
  platform::ImagePtr shot = backend.renderView(*spot);
  ASSERT_TRUE(shot);
  const int dim = alphaAt(shot, {150, 100});
  EXPECT_NEAR(dim, 153, 2);
  for (Point p : {Point{1, 1}, Point{299, 199}, Point{20, 180}}) EXPECT_EQ(alphaAt(shot, p), dim);

  // Two overlapping spots are both clear; one sticking out is clear inside only.
  spot->addRect({20, 20, 60, 40});
  spot->addRect({60, 40, 60, 40});
  spot->addRect({260, 150, 80, 80});
  ASSERT_EQ(spot->rects().size(), 3u);
  shot = backend.renderView(*spot);
  ASSERT_TRUE(shot);
  const struct {
    Point p;
    bool clear;
  } cases[] = {
      {{50, 40}, true},    // first spot
      {{100, 70}, true},   // second spot
      {{70, 50}, true},    // where they overlap
      {{290, 190}, true},  // the part of the third inside the view
      {{150, 150}, false},
      {{10, 10}, false},
      {{21, 21}, false},   // the first spot's rounded corner stays dim
      {{25, 40}, true},    // its straight left edge is clear
      {{250, 170}, false},
  };
  for (const auto& c : cases) {
    if (c.clear) {
      EXPECT_EQ(alphaAt(shot, c.p), 0) << platform::toString(c.p);
    } else {
      EXPECT_NEAR(alphaAt(shot, c.p), dim, 2) << platform::toString(c.p);
    }
  }
}

TEST_F(TutorialViewsTest, ProgressBarClampsAndFillsFromTheLeft) {
  auto bar = std::make_shared<GBXTutorialProgressView>(Rect{0, 0, 100, 24});
  window->addSubview(bar);
  EXPECT_FALSE(bar->isUserInteractionEnabled());
  EXPECT_EQ(bar->value(), 0.0f);

  // Inside the fill area (inset 5): x from 5 to 95 is filled up to the value.
  const struct {
    float in;
    float stored;
    double filledTo;  // x in points where the fill ends
  } cases[] = {{-0.5f, 0.0f, 5}, {0.25f, 0.25f, 27.5}, {3.0f, 1.0f, 95}, {NAN, 0.0f, 5}};
  for (const auto& c : cases) {
    bar->setValue(c.in);
    EXPECT_EQ(bar->value(), c.stored) << c.in;
    platform::ImagePtr shot = backend.renderView(*bar);
    ASSERT_TRUE(shot);
    if (c.filledTo > 7) {
      EXPECT_GT(alphaAt(shot, {c.filledTo - 2, 12}), 80) << c.in;
    }
    EXPECT_EQ(alphaAt(shot, {c.filledTo + 1, 12}), 0) << c.in;
    // The outline, inset by 2 points, is drawn whatever the value.
    EXPECT_GT(alphaAt(shot, {50, 2}), 80) << c.in;
  }

  // Setting the stored value again asks for no redraw.
  bar->setValue(0.5f);
  const int requests = bar->redrawRequests();
  bar->setValue(0.5f);
  EXPECT_EQ(bar->redrawRequests(), requests);
  bar->setValue(0.75f);
  EXPECT_EQ(bar->redrawRequests(), requests + 1);
}

}  // namespace
