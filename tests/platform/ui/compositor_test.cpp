#include "platform/ui/compositor.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>

#include "platform/ui/headless/headless_backend.h"
#include "platform/ui/view.h"

using namespace platform;

namespace {

// An image with something in every pixel, so that a pixel drawn wrong shows.
ImagePtr pattern(int w, int h, uint32_t seed) {
  ImagePtr img = Image::create(w, h, 2.0);
  cairo_surface_t* s = img->surface();
  cairo_surface_flush(s);
  unsigned char* data = cairo_image_surface_get_data(s);
  const int stride = cairo_image_surface_get_stride(s);
  for (int y = 0; y < h; ++y) {
    auto* row = reinterpret_cast<uint32_t*>(data + y * stride);
    for (int x = 0; x < w; ++x) {
      const uint32_t v = (static_cast<uint32_t>(x) * 2654435761u) ^ (static_cast<uint32_t>(y) * 40503u) ^ seed;
      row[x] = 0xFF000000u | (v & 0xFFFFFFu);
    }
  }
  cairo_surface_mark_dirty(s);
  return img;
}

bool sameBytes(const Image& a, const Image& b) {
  if (a.pixelWidth() != b.pixelWidth() || a.pixelHeight() != b.pixelHeight()) return false;
  cairo_surface_t* sa = a.surface();
  cairo_surface_t* sb = b.surface();
  const int stride = cairo_image_surface_get_stride(sa);
  for (int y = 0; y < a.pixelHeight(); ++y) {
    if (std::memcmp(cairo_image_surface_get_data(sa) + y * stride, cairo_image_surface_get_data(sb) + y * stride,
                    static_cast<size_t>(a.pixelWidth()) * 4) != 0)
      return false;
  }
  return true;
}

int64_t drawnArea(const std::vector<PixelRect>& rects) {
  int64_t n = 0;
  for (const PixelRect& r : rects) n += r.area();
  return n;
}

bool covers(const std::vector<PixelRect>& rects, int x, int y) {
  for (const PixelRect& r : rects)
    if (x >= r.x && x < r.x + r.width && y >= r.y && y < r.y + r.height) return true;
  return false;
}

// A panel at 2 pixels per point: an opaque backdrop, a lamp at a half
// point, a shadowed display with cells, a clipping box with a child, a
// half-transparent group and a rotated tile.
class CompositorTest : public ::testing::Test {
 protected:
  void SetUp() override {
    window = backend.makeWindow();
    backdrop = add(window.get(), Rect(0, 0, 300, 160), pattern(600, 320, 1));
    lamp = add(backdrop.get(), Rect(40.5, 30.5, 17, 17), pattern(34, 34, 2));
    display = add(backdrop.get(), Rect(100, 20, 70, 30), nullptr);
    display->setBackgroundColor(Color::rgba(0.1, 0.1, 0.1, 1));
    display->layer().setShadowColor(Color::rgba(0.8, 0.02, 0, 1));
    display->layer().setShadowOffset({0, 0});
    display->layer().setShadowOpacity(1.0);
    display->layer().setShadowRadius(5.0);
    cell = add(display.get(), Rect(5, 5, 12, 18), pattern(24, 36, 3));
    clipper = add(backdrop.get(), Rect(200, 20, 40, 40), nullptr);
    clipper->setClipsToBounds(true);
    clipped = add(clipper.get(), Rect(20, 20, 40, 40), pattern(80, 80, 4));
    group = add(backdrop.get(), Rect(20, 90, 60, 40), pattern(120, 80, 5));
    group->setAlpha(0.5);
    groupChild = add(group.get(), Rect(10, 10, 20, 20), pattern(40, 40, 6));
    tile = add(backdrop.get(), Rect(150, 90, 30, 30), pattern(60, 60, 7));
    tile->setTransform(AffineTransform::makeRotation(0.3));
    compositor = std::make_unique<Compositor>(2.0);
    ASSERT_EQ(drawnArea(compositor->update(*window, backend.now())), 600 * 320);
  }

  std::shared_ptr<View> add(View* parent, const Rect& frame, ImagePtr contents) {
    auto v = std::make_shared<View>(frame);
    if (contents) v->layer().setContents(contents);
    parent->addSubview(v);
    return v;
  }

  // What a full redraw gives now.
  ImagePtr full() { return window->snapshot(backend.now(), 2.0); }

  HeadlessBackend backend{{300, 160}, 2.0};
  std::shared_ptr<Window> window;
  std::shared_ptr<View> backdrop, lamp, display, cell, clipper, clipped, group, groupChild, tile;
  std::unique_ptr<Compositor> compositor;
};

TEST_F(CompositorTest, ALampsChangeRedrawsOnlyTheLampAndMatchesAFullRedraw) {
  lamp->layer().setContents(pattern(34, 34, 99));
  const std::vector<PixelRect> drawn = compositor->update(*window, backend.now());
  // The lamp covers pixels 81..115 (a half point in, 17 points wide); one
  // pixel more on each side for anti-aliased edges.
  ASSERT_FALSE(drawn.empty());
  EXPECT_LE(drawnArea(drawn), 37 * 37);
  EXPECT_TRUE(covers(drawn, 81, 61));
  EXPECT_TRUE(covers(drawn, 114, 94));
  EXPECT_TRUE(sameBytes(*compositor->frame(), *full()));
}

TEST_F(CompositorTest, EachKindOfChangeRedrawsWhatItCoversAndMatchesAFullRedraw) {
  struct Case {
    const char* name;
    std::function<void()> change;
    int64_t maxArea;  // pixels
    std::vector<std::pair<int, int>> mustCover;
  };
  const Case cases[] = {
      // Old and new place.
      {"lamp moved", [&] { lamp->setFrame(Rect(60.5, 30.5, 17, 17)); }, 2 * 37 * 37, {{81, 61}, {155, 94}}},
      {"lamp hidden", [&] { lamp->setHidden(true); }, 37 * 37, {{130, 70}}},
      {"lamp shown", [&] { lamp->setHidden(false); }, 37 * 37, {{130, 70}}},
      // A cell of the shadowed display: the display and its glow.
      {"cell of the shadowed display",
       [&] { cell->layer().setContents(pattern(24, 36, 42)); },
       (140 + 2 * 20) * (60 + 2 * 20),
       {{200, 40}, {339, 99}, {195, 35}}},
      // Clipped to its box.
      {"child of a clipping view", [&] { clipped->layer().setContents(pattern(80, 80, 43)); }, 42 * 42, {{441, 81}}},
      // Every layer of the group.
      {"group opacity", [&] { group->setAlpha(0.75); }, 2 * 122 * 82, {{41, 181}, {60, 200}}},
      {"rotated tile", [&] { tile->setTransform(AffineTransform::makeRotation(0.6)); }, 2 * 82 * 82, {{330, 210}}},
      {"brought to front", [&] { backdrop->bringSubviewToFront(lamp.get()); }, 37 * 37, {{130, 70}}},
      {"removed", [&] { groupChild->removeFromSuperview(); }, 42 * 42, {{70, 210}}},
  };
  for (const Case& c : cases) {
    c.change();
    const std::vector<PixelRect> drawn = compositor->update(*window, backend.now());
    ASSERT_FALSE(drawn.empty()) << c.name;
    EXPECT_LE(drawnArea(drawn), c.maxArea) << c.name;
    for (const auto& [x, y] : c.mustCover) EXPECT_TRUE(covers(drawn, x, y)) << c.name << " " << x << "," << y;
    EXPECT_TRUE(sameBytes(*compositor->frame(), *full())) << c.name;
  }
}

TEST_F(CompositorTest, NothingChangedDrawsNothing) {
  const uint64_t frames = compositor->framesDrawn();
  // The values already there, set again, from a timer as an interface tick does.
  auto timer = RunLoop::main().scheduleTimer(0.05, true, [&](Timer&) {
    lamp->layer().setContents(lamp->layer().contents());
    lamp->setFrame(lamp->frame());
    display->layer().setShadowRadius(5.0);
    display->layer().setCornerRadius(0.0);
    group->setAlpha(0.5);
    clipper->setClipsToBounds(true);
  });
  backend.startPresenting();
  Compositor& presenting = *backend.compositor();
  backend.advance(0.06);  // the first frame of the presenting compositor
  const uint64_t presented = presenting.framesDrawn();
  backend.advance(1.0);
  timer->invalidate();
  EXPECT_EQ(presenting.framesDrawn(), presented);
  EXPECT_TRUE(compositor->update(*window, backend.now()).empty());
  EXPECT_EQ(compositor->framesDrawn(), frames);
}

// Frames where nothing but animations move walk only the animated trees;
// what they draw must still be exactly a full redraw, and no more than the
// animated layers cover.
TEST_F(CompositorTest, AnimationFramesRedrawOnlyWhatMovesAndMatchAFullRedraw) {
  // A small tree whose child travels far outside where the tree was (past
  // plain images only: a rotated image redrawn in part may differ by one
  // level from a full redraw, as the sampler steps from where the redrawn
  // area starts).
  auto box = add(backdrop.get(), Rect(250, 100, 20, 20), nullptr);
  auto dot = add(box.get(), Rect(5, 5, 10, 10), pattern(20, 20, 8));
  compositor->update(*window, backend.now());

  // Half a second from `from` to `to` on `keyPath` of the view's layer.
  const auto animate = [](View& view, const char* keyPath, AnimationValue from, AnimationValue to) {
    BasicAnimation a;
    a.keyPath = keyPath;
    a.fromValue = from;
    a.toValue = to;
    a.duration = 0.5;
    view.layer().addAnimation(a, keyPath);
  };
  struct Case {
    const char* name;
    std::function<void()> start;
    int64_t maxArea;  // pixels per frame
  };
  const Case cases[] = {
      {"a lamp fading", [&] { animate(*lamp, "opacity", 1.0, 0.2); }, 37 * 37},
      {"a lamp fading in from nothing", [&] { animate(*lamp, "opacity", 0.0, 1.0); }, 37 * 37},
      {"a child leaving its tree", [&] { animate(*dot, "position", Point{10, 10}, Point{-200, -70}); },
       2 * 22 * 22 * 2},
      // The outer tree moves while a lamp inside it fades: the lamp is
      // drawn where its moving parent puts it, and nowhere else.
      {"a fading child of a moving tree",
       [&] {
         animate(*box, "position", Point{260, 110}, Point{200, 140});
         animate(*dot, "opacity", 1.0, 0.3);
       },
       2 * 42 * 42 * 2},
      {"a cell of the shadowed display", [&] { animate(*cell, "opacity", 1.0, 0.0); },
       (140 + 2 * 20) * (60 + 2 * 20)},
  };
  for (const Case& c : cases) {
    c.start();
    compositor->update(*window, backend.now());
    for (int frame = 0; frame < 12; ++frame) {
      backend.advance(0.05);
      const std::vector<PixelRect> drawn = compositor->update(*window, backend.now());
      EXPECT_LE(drawnArea(drawn), c.maxArea) << c.name << " frame " << frame;
      ASSERT_TRUE(sameBytes(*compositor->frame(), *full())) << c.name << " frame " << frame;
    }
  }
}

TEST_F(CompositorTest, AShadowIsBlurredOnceUntilItsTreeChanges) {
  const uint64_t before = Layer::shadowRenders();
  // Changes elsewhere, redrawn over the display too, reuse its shadow.
  for (int i = 0; i < 3; ++i) {
    backdrop->layer().setContents(pattern(600, 320, 10 + static_cast<uint32_t>(i)));
    compositor->update(*window, backend.now());
  }
  EXPECT_EQ(Layer::shadowRenders(), before);
  cell->layer().setContents(pattern(24, 36, 77));
  compositor->update(*window, backend.now());
  EXPECT_EQ(Layer::shadowRenders(), before + 1);
  EXPECT_TRUE(sameBytes(*compositor->frame(), *full()));
}

}  // namespace
