#pragma once
// Solid test images for the kit's view tests.

#include <cairo.h>

#include <cstdint>

#include "platform/gfx/image.h"

namespace controls_test {

// A 4 x 4 pixel image (2 x 2 points at scale 2) of one opaque colour.
inline platform::ImagePtr colourImage(uint8_t r, uint8_t g, uint8_t b, int w = 4, int h = 4) {
  auto image = platform::Image::create(w, h, 2.0);
  cairo_t* cr = cairo_create(image->surface());
  cairo_set_source_rgb(cr, r / 255.0, g / 255.0, b / 255.0);
  cairo_paint(cr);
  cairo_destroy(cr);
  cairo_surface_mark_dirty(image->surface());
  return image;
}

}  // namespace controls_test
