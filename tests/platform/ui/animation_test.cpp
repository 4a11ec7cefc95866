#include <gtest/gtest.h>

#include <limits>

#include "platform/ui/headless/headless_backend.h"
#include "platform/ui/layer.h"
#include "platform/ui/view.h"

using namespace platform;

namespace {

TEST(ViewAnimationTest, ModelChangesAtOnceAndTheDrawingInterpolates) {
  HeadlessBackend hb({100, 100}, 1.0);
  auto w = hb.makeWindow();
  auto v = std::make_shared<View>(Rect(0, 0, 50, 50));
  w->addSubview(v);
  const double t0 = hb.now();
  bool finished = false;
  int completions = 0;
  View::animate(0.5, 0, AnimationOptions::CurveLinear, [&] {
    v->setAlpha(0.0);
    v->setFrame({50, 50, 50, 50});
  }, [&](bool f) {
    finished = f;
    ++completions;
  });
  EXPECT_EQ(v->alpha(), 0.0);
  EXPECT_EQ(v->frame(), Rect(50, 50, 50, 50));
  EXPECT_NEAR(v->layer().presentedOpacity(t0 + 0.25), 0.5, 1e-9);
  EXPECT_NEAR(v->layer().presentedPosition(t0 + 0.25).x, 50, 1e-9);  // centre 25 -> 75
  hb.advance(0.4);
  EXPECT_EQ(completions, 0);
  hb.advance(0.2);
  EXPECT_EQ(completions, 1);
  EXPECT_TRUE(finished);
  EXPECT_FALSE(v->layer().hasAnimations());
  EXPECT_EQ(v->layer().presentedOpacity(hb.now()), 0.0);
}

TEST(ViewAnimationTest, AReplacedAnimationFinishesUnfinished) {
  HeadlessBackend hb;
  auto v = std::make_shared<View>(Rect(0, 0, 50, 50));
  std::vector<bool> results;
  View::animate(0.6, [&] { v->setAlpha(0.0); }, [&](bool f) { results.push_back(f); });
  hb.advance(0.3);
  const double shown = v->layer().presentedOpacity(hb.now());
  View::animate(0.6, 0, AnimationOptions::BeginFromCurrentState | AnimationOptions::CurveLinear,
                [&] { v->setAlpha(1.0); }, [&](bool f) { results.push_back(f); });
  EXPECT_EQ(results, std::vector<bool>{false});
  // The new one starts from what was on the screen.
  EXPECT_NEAR(v->layer().presentedOpacity(hb.now()), shown, 1e-9);
  hb.advance(1.0);
  EXPECT_EQ(results, (std::vector<bool>{false, true}));
  // Removing animations ends them unfinished; a block that changes nothing
  // still completes, finished.
  View::animate(0.5, [&] { v->setAlpha(0.2); }, [&](bool f) { results.push_back(f); });
  v->layer().removeAllAnimations();
  View::animate(0.5, [] {}, [&](bool f) { results.push_back(f); });
  hb.runPass();
  EXPECT_EQ(results, (std::vector<bool>{false, true, false, true}));
}

TEST(ViewAnimationTest, DelayedAnimationShowsTheOldValueUntilItStarts) {
  HeadlessBackend hb;
  auto v = std::make_shared<View>(Rect(0, 0, 50, 50));
  const double t0 = hb.now();
  bool done = false;
  View::animate(0.6, 0.6, AnimationOptions::CurveLinear, [&] { v->setAlpha(0.0); }, [&](bool f) { done = f; });
  EXPECT_EQ(v->alpha(), 0.0);
  EXPECT_EQ(v->layer().presentedOpacity(t0 + 0.3), 1.0);
  EXPECT_NEAR(v->layer().presentedOpacity(t0 + 0.9), 0.5, 1e-9);
  hb.advance(1.1);
  EXPECT_FALSE(done);
  hb.advance(0.2);
  EXPECT_TRUE(done);
}

TEST(LayerAnimationTest, StandaloneLayersAnimateImplicitlyUnlessTheKeyIsOff) {
  HeadlessBackend hb;
  auto host = std::make_shared<View>(Rect(0, 0, 50, 50));
  auto lamp = std::make_shared<Layer>();
  host->layer().addSublayer(lamp);
  lamp->setOpacity(0.0);
  EXPECT_TRUE(lamp->animationForKey("opacity"));
  const double halfway = lamp->presentedOpacity(hb.now() + 0.125);
  EXPECT_GT(halfway, 0.05);
  EXPECT_LT(halfway, 0.95);
  hb.advance(0.3);
  EXPECT_FALSE(lamp->animationForKey("opacity"));
  lamp->setActionDisabled("contents");
  lamp->setContents(Image::create(2, 2));
  EXPECT_FALSE(lamp->animationForKey("contents"));
  {
    ScopedDisableActions off;
    lamp->setOpacity(1.0);
  }
  EXPECT_FALSE(lamp->animationForKey("opacity"));
  // A view's own layer never animates by itself.
  host->layer().setOpacity(0.5);
  EXPECT_FALSE(host->layer().hasAnimations());
}

TEST(LayerAnimationTest, ExplicitAnimationsAutoreverseRepeatAndStop) {
  HeadlessBackend hb;
  auto layer = std::make_shared<Layer>();
  BasicAnimation blink;
  blink.keyPath = "opacity";
  blink.fromValue = 0.5;
  blink.toValue = 0.0;
  blink.duration = 0.5;
  blink.timing = TimingFunction::Linear;
  blink.autoreverses = true;
  blink.repeatCount = std::numeric_limits<double>::infinity();
  bool stopped = false, finished = true;
  blink.didStop = [&](bool f) {
    stopped = true;
    finished = f;
  };
  const double t0 = hb.now();
  layer->addAnimation(blink, "blink");
  EXPECT_NEAR(layer->presentedOpacity(t0 + 0.25), 0.25, 1e-9);
  EXPECT_NEAR(layer->presentedOpacity(t0 + 0.75), 0.25, 1e-9);  // on the way back
  EXPECT_NEAR(layer->presentedOpacity(t0 + 10.0), 0.5, 1e-9);
  hb.advance(30);
  EXPECT_TRUE(layer->animationForKey("blink"));  // forever
  layer->removeAnimation("blink");
  EXPECT_TRUE(stopped);
  EXPECT_FALSE(finished);
  EXPECT_EQ(layer->presentedOpacity(hb.now()), 1.0);
  // A one-shot scale animation runs once and ends finished.
  BasicAnimation scale;
  scale.keyPath = "transform.scale";
  scale.fromValue = 1.0;
  scale.toValue = 2.0;
  scale.duration = 0.2;
  scale.timing = TimingFunction::Linear;
  bool scaled = false;
  scale.didStop = [&](bool f) { scaled = f; };
  const double t1 = hb.now();
  layer->addAnimation(scale, "scale-layer");
  EXPECT_NEAR(layer->presentedTransform(t1 + 0.1).a, 1.5, 1e-9);
  hb.advance(0.3);
  EXPECT_TRUE(scaled);
  EXPECT_EQ(layer->presentedTransform(hb.now()), AffineTransform::identity());
}

TEST(TimingTest, CurvesStartAndEndOnTheirEndsAndEaseInTheMiddle) {
  for (TimingFunction f : {TimingFunction::Linear, TimingFunction::EaseIn, TimingFunction::EaseOut,
                           TimingFunction::EaseInEaseOut, TimingFunction::Default}) {
    EXPECT_NEAR(applyTiming(f, 0), 0, 1e-6);
    EXPECT_NEAR(applyTiming(f, 1), 1, 1e-6);
    double prev = 0;
    for (double t = 0.05; t < 1; t += 0.05) {
      const double v = applyTiming(f, t);
      EXPECT_GE(v, prev - 1e-9);
      prev = v;
    }
  }
  EXPECT_LT(applyTiming(TimingFunction::EaseIn, 0.25), 0.25);
  EXPECT_GT(applyTiming(TimingFunction::EaseOut, 0.25), 0.25);
  EXPECT_NEAR(applyTiming(TimingFunction::EaseInEaseOut, 0.5), 0.5, 1e-6);
}

}  // namespace
