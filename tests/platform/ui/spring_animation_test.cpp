// Spring animations: the damped spring's progress and views animated with it.

#include <gtest/gtest.h>

#include <algorithm>

#include "platform/ui/headless/headless_backend.h"
#include "platform/ui/layer.h"
#include "platform/ui/view.h"

using namespace platform;

namespace {

TEST(SpringTimingTest, StartsAndEndsOnItsEndsAndOvershootsOnlyWhenUnderdamped) {
  const struct {
    SpringTiming spring;
    bool overshoots;
  } cases[] = {
      {{0.5, 0.0}, true},
      {{0.6, 1.0}, true},
      {{1.0, 0.0}, false},
      {{2.0, 0.0}, false},
      {{0.0, 0.0}, true},  // no damping at all is taken as very little
  };
  for (const auto& c : cases) {
    EXPECT_EQ(springProgress(c.spring, 0.0), 0.0);
    EXPECT_EQ(springProgress(c.spring, -1.0), 0.0);
    EXPECT_EQ(springProgress(c.spring, 1.0), 1.0);
    double peak = 0;
    for (double t = 0.01; t < 1; t += 0.01) peak = std::max(peak, springProgress(c.spring, t));
    EXPECT_EQ(peak > 1.001, c.overshoots) << c.spring.dampingRatio;
    // Settled close to its end well before the end of the duration.
    EXPECT_NEAR(springProgress(c.spring, 0.97), 1.0, 0.02) << c.spring.dampingRatio;
  }
  // A starting velocity moves it on faster at first.
  EXPECT_GT(springProgress({1.0, 5.0}, 0.05), springProgress({1.0, 0.0}, 0.05));
}

TEST(SpringAnimationTest, AViewSwingsPastItsTargetAndLandsOnIt) {
  HeadlessBackend hb({200, 200}, 1.0);
  auto w = hb.makeWindow();
  auto v = std::make_shared<View>(Rect(0, 0, 20, 20));
  w->addSubview(v);
  const double t0 = hb.now();
  int completions = 0;
  bool finished = false;
  View::animateWithSpring(1.0, 0.5, 0.5, 0.0, AnimationOptions::None, [&] { v->setFrame({100, 0, 20, 20}); },
                          [&](bool f) {
                            finished = f;
                            ++completions;
                          });
  // The model moves at once; the drawing waits for the delay, then swings.
  EXPECT_EQ(v->frame(), Rect(100, 0, 20, 20));
  EXPECT_NEAR(v->layer().presentedPosition(t0 + 0.25).x, 10, 1e-9);
  double furthest = 0;
  for (double t = 0.5; t < 1.5; t += 0.01) furthest = std::max(furthest, v->layer().presentedPosition(t0 + t).x);
  EXPECT_GT(furthest, 111.0) << "past the target centre at 110";
  hb.advance(1.4);
  EXPECT_EQ(completions, 0);
  hb.advance(0.2);
  EXPECT_EQ(completions, 1);
  EXPECT_TRUE(finished);
  EXPECT_EQ(v->layer().presentedPosition(hb.now()).x, 110);
}

TEST(SpringAnimationTest, ColoursStayInRangeWhileTheSpringOvershoots) {
  HeadlessBackend hb({100, 100}, 1.0);
  auto w = hb.makeWindow();
  auto v = std::make_shared<View>(Rect(0, 0, 20, 20));
  v->setBackgroundColor(Color::white(0.0, 0.0));
  w->addSubview(v);
  const double t0 = hb.now();
  View::animateWithSpring(1.0, 0.0, 0.3, 0.0, AnimationOptions::None,
                          [&] { v->setBackgroundColor(Color::white(0.0, 0.6)); });
  for (double t = 0.0; t < 1.0; t += 0.02) {
    const std::optional<Color> c = v->layer().presentedBackgroundColor(t0 + t);
    ASSERT_TRUE(c);
    EXPECT_LE(c->alpha(), 0.6 + 1e-9) << t;
    EXPECT_GE(c->alpha(), 0.0) << t;
  }
}

}  // namespace
