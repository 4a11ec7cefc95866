#pragma once
// Shared by the layers and the compositor: where a rectangle of layer space
// lands on the device.

#include <cairo.h>

#include <algorithm>
#include <limits>

#include "platform/gfx/geometry.h"

namespace platform {

// The device-space box of `r` under `m`; null for an empty `r`.
inline Rect deviceBox(const cairo_matrix_t& m, const Rect& r) {
  if (r.isEmpty()) return Rect::null();
  double x0 = std::numeric_limits<double>::infinity(), y0 = x0, x1 = -x0, y1 = -x0;
  for (const Point& p : {Point{r.minX(), r.minY()}, Point{r.maxX(), r.minY()}, Point{r.minX(), r.maxY()},
                         Point{r.maxX(), r.maxY()}}) {
    double x = p.x, y = p.y;
    cairo_matrix_transform_point(&m, &x, &y);
    x0 = std::min(x0, x);
    y0 = std::min(y0, y);
    x1 = std::max(x1, x);
    y1 = std::max(y1, y);
  }
  return {x0, y0, x1 - x0, y1 - y0};
}

// The union of two rectangles, either of which may be empty.
inline Rect uniteBoxes(const Rect& a, const Rect& b) {
  if (a.isEmpty()) return b.isEmpty() ? Rect::null() : b;
  if (b.isEmpty()) return a;
  return a.unionWith(b);
}

inline bool sameMatrix(const cairo_matrix_t& a, const cairo_matrix_t& b) {
  return a.xx == b.xx && a.yx == b.yx && a.xy == b.xy && a.yy == b.yy && a.x0 == b.x0 && a.y0 == b.y0;
}

}  // namespace platform
