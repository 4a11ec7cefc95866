// The transport backdrop as drawn: its translucent dark fill inside a light
// outline inset from the view's edges, a shadow down and to the right, and
// nothing in the margin above and to the left.

#include <gtest/gtest.h>

#include "app/audio_transport_view.h"
#include "app/headless_app.h"
#include "platform/gfx/image.h"

TEST(AudioTransportView, ARoundedTranslucentPanelWithAShadowInsideItsMargins) {
  platform::HeadlessBackend backend;  // the program's screen: 736 × 414 points, 2 pixels a point
  AudioTransportView v({0, 0, 200, 120});
  EXPECT_EQ(AudioTransportView::panelRect(v.bounds()), (platform::Rect{18, 20, 164, 80}));
  ASSERT_TRUE(v.backgroundColor());
  EXPECT_EQ(*v.backgroundColor(), platform::Color::clear());
  platform::ImagePtr shot = backend.renderView(v);
  ASSERT_TRUE(shot);
  const platform::Image::RGBA fill = shot->pixelAt({100, 60});
  // The panel's colour (6, 11, 31 of 256, alpha 0.7) over its own shadow.
  EXPECT_NEAR(fill.r, 6, 3);
  EXPECT_NEAR(fill.g, 11, 3);
  EXPECT_NEAR(fill.b, 29, 4);
  EXPECT_GE(fill.a, 0.7 * 255 - 1);
  EXPECT_LE(fill.a, 0.85 * 255);
  EXPECT_GT(fill.b, fill.r) << "blue-black";
  const platform::Image::RGBA edge = shot->pixelAt({18, 60});
  EXPECT_GT(edge.r, 180) << "the light outline";
  EXPECT_EQ(shot->pixelAt({5, 5}).a, 0) << "the margin stays clear";
  EXPECT_EQ(shot->pixelAt({100, 8}).a, 0) << "no shadow above";
  EXPECT_GT(shot->pixelAt({100, 104}).a, 0) << "the shadow falls below";
  EXPECT_GT(shot->pixelAt({186, 60}).a, 0) << "and to the right";
}
