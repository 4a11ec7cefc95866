#include "platform/gfx/geometry.h"

#include <algorithm>
#include <cstdio>

namespace platform {

namespace {
constexpr double kInf = std::numeric_limits<double>::infinity();
}

Rect Rect::null() { return {kInf, kInf, 0.0, 0.0}; }

bool Rect::isNull() const { return std::isinf(origin.x) || std::isinf(origin.y); }

bool Rect::isEmpty() const { return isNull() || size.width == 0.0 || size.height == 0.0; }

bool Rect::contains(Point p) const {
  if (isEmpty()) return false;
  return p.x >= minX() && p.x < maxX() && p.y >= minY() && p.y < maxY();
}

bool Rect::contains(const Rect& r) const {
  if (isNull() || r.isNull()) return false;
  return r.minX() >= minX() && r.maxX() <= maxX() && r.minY() >= minY() && r.maxY() <= maxY();
}

bool Rect::intersects(const Rect& r) const { return !intersection(r).isEmpty(); }

Rect Rect::intersection(const Rect& r) const {
  if (isNull() || r.isNull()) return null();
  const double x0 = std::max(minX(), r.minX());
  const double y0 = std::max(minY(), r.minY());
  const double x1 = std::min(maxX(), r.maxX());
  const double y1 = std::min(maxY(), r.maxY());
  if (x1 < x0 || y1 < y0) return null();
  return {x0, y0, x1 - x0, y1 - y0};
}

Rect Rect::unionWith(const Rect& r) const {
  if (isNull()) return r.standardized();
  if (r.isNull()) return standardized();
  const double x0 = std::min(minX(), r.minX());
  const double y0 = std::min(minY(), r.minY());
  const double x1 = std::max(maxX(), r.maxX());
  const double y1 = std::max(maxY(), r.maxY());
  return {x0, y0, x1 - x0, y1 - y0};
}

Rect Rect::insetBy(double dx, double dy) const {
  if (isNull()) return *this;
  Rect s = standardized();
  s.origin.x += dx;
  s.origin.y += dy;
  s.size.width -= 2 * dx;
  s.size.height -= 2 * dy;
  if (s.size.width < 0 || s.size.height < 0) return null();
  return s;
}

Rect Rect::inset(const EdgeInsets& e) const {
  return {origin.x + e.left, origin.y + e.top, size.width - (e.left + e.right), size.height - (e.top + e.bottom)};
}

Rect Rect::integral() const {
  if (isNull()) return *this;
  const double x0 = std::floor(minX());
  const double y0 = std::floor(minY());
  const double x1 = std::ceil(maxX());
  const double y1 = std::ceil(maxY());
  return {x0, y0, x1 - x0, y1 - y0};
}

AffineTransform AffineTransform::makeRotation(double radians) {
  const double c = std::cos(radians);
  const double s = std::sin(radians);
  return {c, s, -s, c, 0, 0};
}

AffineTransform AffineTransform::concat(const AffineTransform& t) const {
  return {a * t.a + b * t.c,
          a * t.b + b * t.d,
          c * t.a + d * t.c,
          c * t.b + d * t.d,
          tx * t.a + ty * t.c + t.tx,
          tx * t.b + ty * t.d + t.ty};
}

AffineTransform AffineTransform::inverted() const {
  const double det = a * d - b * c;
  if (det == 0.0) return *this;
  const double ia = d / det, ib = -b / det, ic = -c / det, id = a / det;
  return {ia, ib, ic, id, -(tx * ia + ty * ic), -(tx * ib + ty * id)};
}

Rect AffineTransform::apply(const Rect& r) const {
  if (r.isNull()) return r;
  const Point p[4] = {apply(Point{r.minX(), r.minY()}), apply(Point{r.maxX(), r.minY()}),
                      apply(Point{r.minX(), r.maxY()}), apply(Point{r.maxX(), r.maxY()})};
  double x0 = p[0].x, x1 = p[0].x, y0 = p[0].y, y1 = p[0].y;
  for (const Point& q : p) {
    x0 = std::min(x0, q.x);
    x1 = std::max(x1, q.x);
    y0 = std::min(y0, q.y);
    y1 = std::max(y1, q.y);
  }
  return {x0, y0, x1 - x0, y1 - y0};
}

std::string toString(Point p) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "{%g, %g}", p.x, p.y);
  return buf;
}

std::string toString(Size s) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "{%g, %g}", s.width, s.height);
  return buf;
}

std::string toString(const Rect& r) { return "{" + toString(r.origin) + ", " + toString(r.size) + "}"; }

}  // namespace platform
