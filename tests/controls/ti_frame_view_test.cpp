#include "controls/ti_frame_view.h"

#include <gtest/gtest.h>

#include "control_test_support.h"
#include "platform/gfx/image.h"
#include "platform/ui/headless/headless_backend.h"

namespace {

using platform::Image;
using platform::Point;
using platform::Rect;

class FrameViewTest : public ::testing::Test {
 protected:
  void SetUp() override { window = backend.makeWindow(); }
  std::shared_ptr<TIFrameView> frameOf(const Rect& r, bool withImage = true) {
    auto f = std::make_shared<TIFrameView>(r);
    if (withImage) f->setBackgroundImage(controls_test::solid(platform::Color::rgba(1, 0, 0), {50, 50}));
    window->addSubview(f);
    return f;
  }

  platform::HeadlessBackend backend;
  std::shared_ptr<platform::Window> window;
};

TEST_F(FrameViewTest, PaintsOnlyTheRingLeavingTheInsideClear) {
  auto f = frameOf({10, 10, 200, 120});
  auto shot = backend.renderView(*f);
  ASSERT_TRUE(shot);
  const struct {
    Point p;
    bool painted;
  } cases[] = {
      {{100, 12}, true},   // top band (24 points high)
      {{100, 22}, true},
      {{3, 60}, true},     // left side, 6 points
      {{197, 60}, true},   // right side
      {{100, 117}, true},  // bottom band
      {{100, 30}, false},  // just inside the top band
      {{100, 60}, false},  // the middle
      {{8, 60}, false},    // just inside the left side
      {{1, 1}, false},     // outside the rounded outer corner
      {{199, 119}, false},
  };
  for (const auto& c : cases) {
    const Image::RGBA px = shot->pixelAt(c.p);
    if (c.painted) {
      EXPECT_EQ(px, (Image::RGBA{255, 0, 0, 255})) << c.p.x << "," << c.p.y;
    } else {
      EXPECT_EQ(px.a, 0) << c.p.x << "," << c.p.y;
    }
  }
}

TEST_F(FrameViewTest, WithoutImageNothingIsPainted) {
  auto f = frameOf({0, 0, 120, 80}, false);
  auto shot = backend.renderView(*f);
  ASSERT_TRUE(shot);
  for (Point p : {Point{60, 10}, Point{3, 40}, Point{60, 40}}) EXPECT_EQ(shot->pixelAt(p).a, 0);
}

TEST_F(FrameViewTest, InnerOutlineAndTooSmallFrames) {
  EXPECT_EQ(TIFrameView::innerRect({0, 0, 200, 120}), (Rect{6, 24, 188, 90}));
  EXPECT_EQ(TIFrameView::innerRect({5, 7, 100, 50}), (Rect{11, 31, 88, 20}));
  // No inside: the whole outline is frame.
  EXPECT_EQ(TIFrameView::innerRect({0, 0, 12, 40}), Rect{});
  EXPECT_EQ(TIFrameView::innerRect({0, 0, 40, 30}), Rect{});
  auto f = frameOf({0, 0, 40, 28});
  auto shot = backend.renderView(*f);
  ASSERT_TRUE(shot);
  EXPECT_EQ(shot->pixelAt({20, 14}), (Image::RGBA{255, 0, 0, 255}));
  EXPECT_TRUE(TIFrameView::ringPath({0, 0, 40, 28}).contains({20, 14}, platform::FillRule::EvenOdd));
  EXPECT_FALSE(TIFrameView::ringPath({0, 0, 200, 120}).contains({100, 60}, platform::FillRule::EvenOdd));
}

}  // namespace
