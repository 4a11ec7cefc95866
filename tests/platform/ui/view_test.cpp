#include "platform/ui/view.h"

#include <gtest/gtest.h>

#include "platform/ui/control.h"
#include "platform/ui/headless/headless_backend.h"
#include "platform/ui/view_controller.h"

using namespace platform;

namespace {

TEST(ViewGeometryTest, FrameBoundsCenterAndAnchor) {
  HeadlessBackend hb;
  View v(Rect(10, 20, 100, 50));
  EXPECT_EQ(v.bounds(), Rect(0, 0, 100, 50));
  EXPECT_EQ(v.center(), (Point{60, 45}));
  v.setCenter({100, 100});
  EXPECT_EQ(v.frame(), Rect(50, 75, 100, 50));
  v.setBounds({0, 0, 40, 40});  // about the centre
  EXPECT_EQ(v.frame(), Rect(80, 80, 40, 40));
  // A rotated view keeps its size and centres its bounding box on the frame.
  v.setTransform(AffineTransform::makeRotation(3.14159265358979 / 2));
  v.setFrame({0, 0, 10, 10});
  EXPECT_EQ(v.bounds().size, (Size{40, 40}));
  EXPECT_NEAR(v.center().x, 5, 1e-9);
}

TEST(ViewGeometryTest, AutoresizingSharesTheChangeAmongFlexibleParts) {
  HeadlessBackend hb;
  struct Case {
    unsigned mask;
    Rect expected;
  };
  // A 440 x 140 label inside a 500 x 200 view that becomes 324 x 100.
  const Case cases[] = {
      {Autoresizing::FlexibleWidth | Autoresizing::FlexibleHeight, Rect(30, 30, 264, 40)},
      {Autoresizing::None, Rect(30, 30, 440, 140)},
      {Autoresizing::FlexibleLeftMargin, Rect(-146, 30, 440, 140)},
      {Autoresizing::FlexibleLeftMargin | Autoresizing::FlexibleRightMargin, Rect(-58, 30, 440, 140)},
      {Autoresizing::FlexibleWidth | Autoresizing::FlexibleLeftMargin, Rect(30 - 176.0 * 30 / 470, 30, 440 - 176.0 * 440 / 470, 140)},
      {Autoresizing::FlexibleTopMargin | Autoresizing::FlexibleBottomMargin, Rect(30, -20, 440, 140)},
  };
  for (const Case& c : cases) {
    auto parent = std::make_shared<View>(Rect(0, 0, 500, 200));
    auto child = std::make_shared<View>(Rect(30, 30, 440, 140));
    child->setAutoresizingMask(c.mask);
    parent->addSubview(child);
    parent->setFrame({0, 0, 324, 100});
    EXPECT_NEAR(child->frame().origin.x, c.expected.origin.x, 1e-9) << c.mask;
    EXPECT_NEAR(child->frame().origin.y, c.expected.origin.y, 1e-9) << c.mask;
    EXPECT_NEAR(child->frame().size.width, c.expected.size.width, 1e-9) << c.mask;
    EXPECT_NEAR(child->frame().size.height, c.expected.size.height, 1e-9) << c.mask;
  }
}

TEST(ViewGeometryTest, ConvertingPointsThroughTransformsAndNesting) {
  HeadlessBackend hb;
  auto w = hb.makeWindow();
  auto outer = std::make_shared<View>(Rect(100, 50, 200, 200));
  auto inner = std::make_shared<View>(Rect(10, 10, 50, 50));
  outer->addSubview(inner);
  w->addSubview(outer);
  outer->layer().setAnchorPoint({0, 0});
  outer->setTransform(AffineTransform::makeScale(2, 2));
  outer->setFrame({100, 50, 400, 400});
  const Point inWindow = inner->convertPointTo({5, 5}, nullptr);
  EXPECT_NEAR(inWindow.x, 100 + 2 * 15, 1e-9);
  EXPECT_NEAR(inWindow.y, 50 + 2 * 15, 1e-9);
  const Point back = inner->convertPointFrom(inWindow, nullptr);
  EXPECT_NEAR(back.x, 5, 1e-9);
  EXPECT_NEAR(back.y, 5, 1e-9);
  const Rect r = inner->convertRectTo(inner->bounds(), w.get());
  EXPECT_EQ(r, Rect(120, 70, 100, 100));
  const Point between = outer->convertPointFrom({5, 5}, inner.get());
  EXPECT_NEAR(between.x, 15, 1e-9);
}

TEST(ViewTreeTest, OrderTagsAndLayersFollowTheSubviews) {
  HeadlessBackend hb;
  auto root = std::make_shared<View>(Rect(0, 0, 100, 100));
  auto a = std::make_shared<View>(), b = std::make_shared<View>(), c = std::make_shared<View>();
  a->setTag(1);
  b->setTag(2);
  c->setTag(3);
  root->addSubview(a);
  root->addSubview(b);
  root->insertSubview(c, 0);
  const auto order = [&] {
    std::vector<int64_t> tags;
    for (auto& s : root->subviews()) tags.push_back(s->tag());
    return tags;
  };
  const auto layerOrder = [&] {
    std::vector<int64_t> tags;
    for (auto& l : root->layer().sublayers())
      for (auto& s : root->subviews())
        if (&s->layer() == l.get()) tags.push_back(s->tag());
    return tags;
  };
  EXPECT_EQ(order(), (std::vector<int64_t>{3, 1, 2}));
  root->bringSubviewToFront(c.get());
  EXPECT_EQ(order(), (std::vector<int64_t>{1, 2, 3}));
  root->sendSubviewToBack(b.get());
  EXPECT_EQ(order(), (std::vector<int64_t>{2, 1, 3}));
  root->insertSubviewAbove(b, a.get());
  EXPECT_EQ(order(), (std::vector<int64_t>{1, 2, 3}));
  // Removing and adding again brings a view to the front.
  a->removeFromSuperview();
  root->addSubview(a);
  EXPECT_EQ(order(), (std::vector<int64_t>{2, 3, 1}));
  EXPECT_EQ(layerOrder(), order());
  EXPECT_EQ(root->viewWithTag(3), c.get());
  EXPECT_EQ(root->viewWithTag(9), nullptr);
  // A view cannot become its own ancestor.
  a->addSubview(root);
  EXPECT_EQ(root->superview(), nullptr);
}

TEST(ViewTreeTest, ALaterSiblingOnTopIsHitFirst) {
  HeadlessBackend hb;
  auto w = hb.makeWindow();
  auto under = std::make_shared<View>(Rect(0, 0, 100, 100));
  auto over = std::make_shared<View>(Rect(50, 50, 100, 100));
  w->addSubview(under);
  w->addSubview(over);
  EXPECT_EQ(w->hitTest({75, 75}, nullptr), over.get());
  w->bringSubviewToFront(under.get());
  EXPECT_EQ(w->hitTest({75, 75}, nullptr), under.get());
  // A disabled control is not hit: what is under it is.
  auto c = std::make_shared<Control>(Rect(0, 0, 100, 100));
  w->addSubview(c);
  c->setEnabled(false);
  EXPECT_EQ(w->hitTest({10, 10}, nullptr), under.get());
}

class Controller : public ViewController {
 public:
  void viewWillLayoutSubviews() override { log.push_back("willLayout"); }
  void viewDidLayoutSubviews() override { log.push_back("didLayout"); }
  std::vector<std::string> log;
};

class LayingOut : public View {
 public:
  explicit LayingOut(std::vector<std::string>* log) : View(Rect(0, 0, 100, 100)), log_(log) {}
  void layoutSubviews() override { log_->push_back("layoutSubviews"); }

 private:
  std::vector<std::string>* log_;
};

TEST(ViewLayoutTest, APassLaysOutWhatNeedsItAndTheControllerHearsOfIt) {
  HeadlessBackend hb;
  auto w = hb.makeWindow();
  auto vc = std::make_shared<Controller>();
  vc->setView(std::make_shared<LayingOut>(&vc->log));
  w->setRootViewController(vc);
  hb.runPass();
  EXPECT_EQ(vc->log, (std::vector<std::string>{"willLayout", "layoutSubviews", "didLayout"}));
  hb.runPass();
  EXPECT_EQ(vc->log.size(), 3u);  // nothing changed, no pass
  vc->view()->setNeedsLayout();
  hb.runPass();
  EXPECT_EQ(vc->log.size(), 6u);
  // A size change asks for layout by itself.
  vc->view()->setFrame({0, 0, 300, 200});
  hb.runPass();
  EXPECT_EQ(vc->log.size(), 9u);
}

class Drawing : public View {
 public:
  Drawing() : View(Rect(10, 10, 20, 20)) { setDrawsContent(true); }
  void drawRect(const Rect& r) override {
    ++draws;
    lastRect = r;
    currentGraphicsContext()->setFillColor(Color::rgba(0, 1, 0));
    currentGraphicsContext()->fillRect({0, 0, 10, 20});
  }
  int draws = 0;
  Rect lastRect;
};

TEST(ViewDrawingTest, DrawRectRunsOnDemandIntoTheLayer) {
  HeadlessBackend hb({100, 100}, 2.0);
  auto w = hb.makeWindow();
  auto d = std::make_shared<Drawing>();
  w->setBackgroundColor(Color::rgba(0, 0, 1));
  w->addSubview(d);
  auto shot = hb.render();
  EXPECT_EQ(d->draws, 1);
  EXPECT_EQ(d->lastRect, Rect(0, 0, 20, 20));
  EXPECT_EQ(shot->pixelAt({12, 12}), (Image::RGBA{0, 255, 0, 255}));
  EXPECT_EQ(shot->pixelAt({25, 12}), (Image::RGBA{0, 0, 255, 255}));
  ASSERT_TRUE(d->layer().contents());
  EXPECT_EQ(d->layer().contents()->pixelWidth(), 40);  // the screen's scale
  hb.render();
  EXPECT_EQ(d->draws, 1);
  d->setNeedsDisplay();
  hb.render();
  EXPECT_EQ(d->draws, 2);
  // Alpha and hidden show in the picture.
  d->setAlpha(0.5);
  shot = hb.render();
  EXPECT_EQ(shot->pixelAt({12, 12}).g, 128);
  d->setHidden(true);
  shot = hb.render();
  EXPECT_EQ(shot->pixelAt({12, 12}), (Image::RGBA{0, 0, 255, 255}));
}

TEST(ViewDrawingTest, ClippingRoundedCornersBordersAndShadows) {
  HeadlessBackend hb({100, 100}, 1.0);
  auto w = hb.makeWindow();
  auto box = std::make_shared<View>(Rect(20, 20, 40, 40));
  box->setBackgroundColor(Color::rgba(1, 0, 0));
  auto child = std::make_shared<View>(Rect(30, 30, 40, 40));  // sticks out
  child->setBackgroundColor(Color::rgba(0, 1, 0));
  box->addSubview(child);
  w->addSubview(box);
  auto shot = hb.render();
  EXPECT_EQ(shot->pixelAt({75, 75}), (Image::RGBA{0, 255, 0, 255}));
  box->setClipsToBounds(true);
  box->layer().setCornerRadius(10);
  shot = hb.render();
  EXPECT_EQ(shot->pixelAt({75, 75}).a, 0);
  EXPECT_EQ(shot->pixelAt({20.5, 20.5}).a, 0);  // the rounded corner
  EXPECT_EQ(shot->pixelAt({30, 21}), (Image::RGBA{255, 0, 0, 255}));
  // A layer shadow below, its opacity clamped to 1.
  box->setClipsToBounds(false);
  box->layer().setCornerRadius(0);
  child->removeFromSuperview();
  box->layer().setShadowColor(Color::black());
  box->layer().setShadowOffset({0, 10});
  box->layer().setShadowRadius(0);
  box->layer().setShadowOpacity(10.0);
  shot = hb.render();
  EXPECT_EQ(shot->pixelAt({40, 65}), (Image::RGBA{0, 0, 0, 255}));
  EXPECT_EQ(shot->pixelAt({40, 40}), (Image::RGBA{255, 0, 0, 255}));
}

}  // namespace
