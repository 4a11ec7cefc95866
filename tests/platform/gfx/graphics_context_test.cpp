#include "platform/gfx/graphics_context.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>

using platform::BlendMode;
using platform::Color;
using platform::FillRule;
using platform::GraphicsContext;
using platform::Image;
using platform::Path;
using platform::Point;
using platform::Rect;
using platform::Size;

namespace {

std::shared_ptr<Image> draw(Size size, double scale, const std::function<void(GraphicsContext&)>& f) {
  platform::beginImageContext(size, false, scale);
  f(*platform::currentGraphicsContext());
  auto image = platform::imageFromCurrentImageContext();
  platform::endImageContext();
  return image;
}

uint8_t alphaAt(const Image& img, double x, double y) { return img.pixelAt({x, y}).a; }

TEST(GraphicsContextTest, FillRectAtScaleTwoCoversHalfPoints) {
  auto img = draw({10, 10}, 2.0, [](GraphicsContext& c) {
    c.setFillColor(Color::rgba(1, 0, 0));
    c.fillRect({2.5, 2.5, 3, 3});
  });
  ASSERT_EQ(img->pixelWidth(), 20);
  EXPECT_EQ(img->pixel(5, 5), (Image::RGBA{255, 0, 0, 255}));   // 2.5 pt = pixel 5
  EXPECT_EQ(img->pixel(4, 5).a, 0);
  EXPECT_EQ(img->pixel(10, 10).a, 255);
  EXPECT_EQ(img->pixel(11, 11).a, 0);  // 5.5 pt = pixel 11 is outside
}

TEST(GraphicsContextTest, SaveRestoreKeepsColourAndTransformButNotPath) {
  auto img = draw({20, 10}, 1.0, [](GraphicsContext& c) {
    c.setFillColor(Color::rgba(0, 0, 1));
    c.saveGState();
    c.translateCTM(10, 0);
    c.setFillColor(Color::rgba(1, 0, 0));
    c.addRect({0, 0, 5, 5});
    c.restoreGState();
    // The rectangle added under the translation stays where it was added.
    c.fillPath();
    c.fillRect({0, 6, 2, 2});
  });
  EXPECT_EQ(img->pixel(12, 2), (Image::RGBA{0, 0, 255, 255}));
  EXPECT_EQ(img->pixel(2, 2).a, 0);
  EXPECT_EQ(img->pixel(1, 7), (Image::RGBA{0, 0, 255, 255}));
}

TEST(GraphicsContextTest, ArcToPointRoundsTheCorner) {
  // A 20x20 square with radius-8 corners built from tangent arcs.
  auto img = draw({20, 20}, 1.0, [](GraphicsContext& c) {
    c.setFillColor(Color::black());
    c.moveTo(10, 0);
    c.addArcToPoint(20, 0, 20, 20, 8);
    c.addArcToPoint(20, 20, 0, 20, 8);
    c.addArcToPoint(0, 20, 0, 0, 8);
    c.addArcToPoint(0, 0, 20, 0, 8);
    c.closePath();
    c.fillPath();
  });
  EXPECT_EQ(alphaAt(*img, 0.5, 0.5), 0);    // corner cut away
  EXPECT_EQ(alphaAt(*img, 19.5, 19.5), 0);
  EXPECT_EQ(alphaAt(*img, 10.5, 0.5), 255);  // edge middle kept
  EXPECT_EQ(alphaAt(*img, 3.5, 3.5), 255);   // inside the arc
}

TEST(GraphicsContextTest, ArcClockwiseFlagMeansOnScreen) {
  // From 0 (right) to pi/2 (down): clockwise on screen is the short lower-right quarter.
  const auto pie = [](bool clockwise) {
    return draw({20, 20}, 1.0, [clockwise](GraphicsContext& c) {
      c.setFillColor(Color::black());
      c.moveTo(10, 10);
      c.addArc(10, 10, 9, 0, M_PI / 2, clockwise);
      c.closePath();
      c.fillPath();
    });
  };
  auto cw = pie(true);
  EXPECT_EQ(alphaAt(*cw, 15, 15), 255);
  EXPECT_EQ(alphaAt(*cw, 5, 5), 0);
  auto ccw = pie(false);
  EXPECT_EQ(alphaAt(*ccw, 15, 15), 0);
  EXPECT_EQ(alphaAt(*ccw, 5, 5), 255);
}

TEST(GraphicsContextTest, EvenOddClipLeavesARing) {
  auto img = draw({40, 40}, 1.0, [](GraphicsContext& c) {
    c.addPath(Path::roundedRect({0, 0, 40, 40}, 14));
    c.addPath(Path::roundedRect({6, 24, 28, 10}, 4));
    c.eoClip();
    c.setFillColor(Color::rgba(0, 1, 0));
    c.fillRect({0, 0, 40, 40});
  });
  EXPECT_EQ(alphaAt(*img, 20, 10), 255);  // between the outlines
  EXPECT_EQ(alphaAt(*img, 20, 28), 0);    // the hole
  EXPECT_EQ(alphaAt(*img, 0.5, 0.5), 0);  // outside the rounded corner
}

TEST(GraphicsContextTest, ClipToMaskScalesByMaskAlpha) {
  auto mask = draw({2, 1}, 1.0, [](GraphicsContext& c) {
    c.setFillColor(Color::white(1, 1));
    c.fillRect({0, 0, 1, 1});
    c.setFillColor(Color::white(1, 0.5));
    c.fillRect({1, 0, 1, 1});
  });
  auto img = draw({20, 10}, 1.0, [&](GraphicsContext& c) {
    c.clipToMask({0, 0, 20, 10}, *mask);
    c.setFillColor(Color::rgba(1, 0, 0));
    c.fillRect({0, 0, 20, 10});
  });
  EXPECT_EQ(img->pixel(2, 5).a, 255);
  EXPECT_NEAR(img->pixel(17, 5).a, 128, 2);
  // Outside the mask rectangle nothing is drawn.
  auto clipped = draw({20, 10}, 1.0, [&](GraphicsContext& c) {
    c.clipToMask({0, 0, 10, 10}, *mask);
    c.setFillColor(Color::rgba(1, 0, 0));
    c.fillRect({0, 0, 20, 10});
  });
  EXPECT_EQ(clipped->pixel(15, 5).a, 0);
}

TEST(GraphicsContextTest, ShadowFallsAtItsOffsetAndBlurs) {
  const auto shadowed = [](double blur) {
    return draw({40, 40}, 2.0, [blur](GraphicsContext& c) {
      c.setShadow({6, 6}, blur, Color::black());
      c.setFillColor(Color::rgba(1, 1, 1));
      c.fillRect({5, 5, 10, 10});
    });
  };
  auto sharp = shadowed(0);
  EXPECT_EQ(sharp->pixelAt({10, 10}), (Image::RGBA{255, 255, 255, 255}));  // the shape itself
  EXPECT_EQ(sharp->pixelAt({19, 19}), (Image::RGBA{0, 0, 0, 255}));        // shadow, 6 pt down-right
  EXPECT_EQ(sharp->pixelAt({23, 23}).a, 0);
  auto soft = shadowed(6);
  // Blurred: softer inside its edge, spreading past it.
  EXPECT_LT(soft->pixelAt({20.9, 20.9}).a, 200);
  EXPECT_GT(soft->pixelAt({22, 18}).a, 0);
  EXPECT_EQ(soft->pixelAt({10, 10}), (Image::RGBA{255, 255, 255, 255}));
}

TEST(GraphicsContextTest, ShadowOffsetIgnoresTheCurrentTransform) {
  auto img = draw({40, 40}, 1.0, [](GraphicsContext& c) {
    c.scaleCTM(2, 2);
    c.setShadow({4, 0}, 0, Color::black());
    c.setFillColor(Color::rgba(1, 1, 1));
    c.fillRect({0, 0, 5, 5});  // 0..10 on the device
  });
  EXPECT_EQ(img->pixel(12, 5), (Image::RGBA{0, 0, 0, 255}));  // shadow 4 base points right
  EXPECT_EQ(img->pixel(15, 5).a, 0);
}

TEST(GraphicsContextTest, DrawImageWithAlphaAndClear) {
  auto src = draw({1, 1}, 1.0, [](GraphicsContext& c) {
    c.setFillColor(Color::rgba(0, 0, 1));
    c.fillRect({0, 0, 1, 1});
  });
  auto img = draw({10, 10}, 1.0, [&](GraphicsContext& c) {
    c.drawImage(*src, {0, 0, 10, 10}, BlendMode::Normal, 0.5);
    c.clearRect({0, 0, 5, 10});
  });
  EXPECT_EQ(img->pixel(2, 2).a, 0);
  const Image::RGBA p = img->pixel(7, 7);
  EXPECT_NEAR(p.a, 128, 1);
  EXPECT_EQ(p.b, 255);
}

TEST(GraphicsContextTest, TransparencyLayerAppliesAlphaOnce) {
  auto img = draw({10, 10}, 1.0, [](GraphicsContext& c) {
    c.setAlpha(0.5);
    c.beginTransparencyLayer();
    c.setFillColor(Color::black());
    c.fillRect({0, 0, 6, 10});
    c.fillRect({4, 0, 6, 10});  // overlaps the first
    c.endTransparencyLayer();
  });
  EXPECT_NEAR(img->pixel(5, 5).a, 128, 1);  // the overlap is not darker
  EXPECT_NEAR(img->pixel(1, 5).a, 128, 1);
}

TEST(GraphicsContextTest, ImageContextsNestAndCopyTheirPixels) {
  platform::beginImageContext({4, 4}, true, 1.0);
  platform::beginImageContext({2, 2}, false, 3.0);
  auto inner = platform::imageFromCurrentImageContext();
  platform::endImageContext();
  auto* outer = platform::currentGraphicsContext();
  ASSERT_NE(outer, nullptr);
  auto before = platform::imageFromCurrentImageContext();
  outer->setFillColor(Color::rgba(1, 0, 0));
  outer->fillRect({0, 0, 4, 4});
  auto after = platform::imageFromCurrentImageContext();
  platform::endImageContext();
  EXPECT_EQ(platform::currentGraphicsContext(), nullptr);
  EXPECT_EQ(inner->pixelWidth(), 6);
  EXPECT_EQ(inner->scale(), 3.0);
  EXPECT_EQ(before->pixel(0, 0), (Image::RGBA{0, 0, 0, 255}));  // opaque context starts black
  EXPECT_EQ(after->pixel(0, 0), (Image::RGBA{255, 0, 0, 255}));
}

TEST(PathTest, ContainsFollowsTheFillRule) {
  Path p;
  p.addRect({0, 0, 10, 10});
  p.addRect({2, 2, 6, 6});
  EXPECT_TRUE(p.contains({5, 5}, FillRule::Winding));
  EXPECT_FALSE(p.contains({5, 5}, FillRule::EvenOdd));
  EXPECT_TRUE(p.contains({1, 1}, FillRule::EvenOdd));
  EXPECT_EQ(p.bounds(), Rect(0, 0, 10, 10));
  EXPECT_TRUE(Path().isEmpty());
}

TEST(BlurTest, PreservesMassAndSpreads) {
  std::vector<uint8_t> a(21 * 21, 0);
  for (int y = 8; y <= 12; ++y)
    for (int x = 8; x <= 12; ++x) a[y * 21 + x] = 255;
  int before = 0;
  for (uint8_t v : a) before += v;
  platform::blurAlpha(a, 21, 21, 2.0);
  int after = 0;
  for (uint8_t v : a) after += v;
  EXPECT_NEAR(after, before, before * 0.03);
  EXPECT_GT(a[10 * 21 + 5], 0);
  EXPECT_LT(a[10 * 21 + 10], 255);
  EXPECT_GT(a[10 * 21 + 10], a[10 * 21 + 7]);
}

}  // namespace

namespace {

// A sheet of four 6x5-pixel frames, each with its own colours and a
// gradient, so a frame drawn from the wrong rows or bled into from its
// neighbours shows.
std::shared_ptr<Image> frameSheet() {
  auto sheet = Image::create(6, 20, 2.0);
  cairo_surface_t* s = sheet->surface();
  cairo_surface_flush(s);
  unsigned char* data = cairo_image_surface_get_data(s);
  const int stride = cairo_image_surface_get_stride(s);
  for (int y = 0; y < 20; ++y)
    for (int x = 0; x < 6; ++x) {
      const uint32_t frame = static_cast<uint32_t>(y / 5);
      const uint32_t v = 0xFF000000u | ((frame * 70u) << 16) | (static_cast<uint32_t>(x) * 40u << 8) |
                         static_cast<uint32_t>(y % 5) * 60u;
      std::memcpy(data + y * stride + x * 4, &v, 4);
    }
  cairo_surface_mark_dirty(s);
  return sheet;
}

}  // namespace

// A frame drawn from its sheet by source rectangle looks exactly as a copy
// of that frame drawn the usual way: at its own size, stretched, faded and
// scaled down.
TEST(GraphicsContextTest, DrawingAFrameOfASheetEqualsDrawingACopyOfIt) {
  auto sheet = frameSheet();
  struct Case {
    const char* name;
    Rect dest;
    double alpha;
  };
  const Case cases[] = {{"own size", Rect(1, 1, 3, 2.5), 1.0},
                        {"stretched", Rect(0.5, 0, 7, 6), 1.0},
                        {"faded", Rect(1, 1, 3, 2.5), 0.5},
                        {"shrunk", Rect(2, 2, 1.5, 1), 1.0}};
  for (const Case& c : cases) {
    for (int frame = 0; frame < 4; ++frame) {
      const Rect source(0, 5.0 * frame, 6, 5);
      auto copy = sheet->cropped(source, 2.0);
      auto viaCopy = draw({8, 8}, 2.0, [&](GraphicsContext& g) {
        g.drawImage(*copy, c.dest, platform::BlendMode::Normal, c.alpha);
      });
      auto direct = draw({8, 8}, 2.0, [&](GraphicsContext& g) {
        g.drawImage(*sheet, source, c.dest, platform::BlendMode::Normal, c.alpha);
      });
      EXPECT_TRUE(direct->samePixels(*viaCopy)) << c.name << " frame " << frame;
    }
  }
  // A rectangle outside the sheet draws nothing.
  auto none = draw({8, 8}, 2.0, [&](GraphicsContext& g) { g.drawImage(*sheet, Rect(0, 20, 6, 5), Rect(0, 0, 8, 8)); });
  EXPECT_EQ(none->pixel(4, 4).a, 0);
}
