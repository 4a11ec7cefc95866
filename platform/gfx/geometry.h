#pragma once
// Geometry of the interface: points, sizes, rectangles, edge insets and affine
// transforms, all in points (doubles), with the y axis growing downward as on
// the screen.
//
// Rectangles follow the platform's conventions: a rectangle with a negative
// size is read as its standardised form by the min/max accessors, and the null
// rectangle (the result of intersecting disjoint rectangles) is distinct from
// an empty one.
//
// Plain values; thread-safe as any value is.

#include <cmath>
#include <limits>
#include <string>

namespace platform {

struct Point {
  double x = 0.0;
  double y = 0.0;
  bool operator==(const Point&) const = default;
};

struct Size {
  double width = 0.0;
  double height = 0.0;
  bool operator==(const Size&) const = default;
};

struct EdgeInsets {
  double top = 0.0;
  double left = 0.0;
  double bottom = 0.0;
  double right = 0.0;
  bool operator==(const EdgeInsets&) const = default;
};

struct Rect {
  Point origin;
  Size size;

  constexpr Rect() = default;
  constexpr Rect(Point o, Size s) : origin(o), size(s) {}
  constexpr Rect(double x, double y, double w, double h) : origin{x, y}, size{w, h} {}

  // The null rectangle: what intersecting two disjoint rectangles gives.
  static Rect null();
  bool isNull() const;
  // A null rectangle or one with zero width or height.
  bool isEmpty() const;

  double minX() const { return size.width >= 0 ? origin.x : origin.x + size.width; }
  double maxX() const { return size.width >= 0 ? origin.x + size.width : origin.x; }
  double minY() const { return size.height >= 0 ? origin.y : origin.y + size.height; }
  double maxY() const { return size.height >= 0 ? origin.y + size.height : origin.y; }
  double midX() const { return origin.x + size.width * 0.5; }
  double midY() const { return origin.y + size.height * 0.5; }
  double width() const { return std::fabs(size.width); }
  double height() const { return std::fabs(size.height); }
  Point center() const { return {midX(), midY()}; }

  Rect standardized() const { return {minX(), minY(), width(), height()}; }
  // Half-open: the maximum edges do not belong to the rectangle.
  bool contains(Point p) const;
  bool contains(const Rect& r) const;
  // Rectangles that only touch intersect in an empty rectangle and do not
  // count as intersecting.
  bool intersects(const Rect& r) const;
  Rect intersection(const Rect& r) const;
  Rect unionWith(const Rect& r) const;
  Rect offsetBy(double dx, double dy) const { return {origin.x + dx, origin.y + dy, size.width, size.height}; }
  // Positive dx/dy shrink the rectangle on both sides, negative ones grow it.
  Rect insetBy(double dx, double dy) const;
  Rect inset(const EdgeInsets& e) const;
  // The smallest rectangle with whole-number edges that contains this one.
  Rect integral() const;

  bool operator==(const Rect&) const = default;
};

// a b 0 / c d 0 / tx ty 1, applied as x' = a x + c y + tx, y' = b x + d y + ty.
struct AffineTransform {
  double a = 1.0, b = 0.0, c = 0.0, d = 1.0, tx = 0.0, ty = 0.0;

  static AffineTransform identity() { return {}; }
  static AffineTransform makeScale(double sx, double sy) { return {sx, 0, 0, sy, 0, 0}; }
  static AffineTransform makeTranslation(double x, double y) { return {1, 0, 0, 1, x, y}; }
  // Positive angles turn clockwise on the y-down screen.
  static AffineTransform makeRotation(double radians);

  bool isIdentity() const { return *this == AffineTransform{}; }
  // No rotation or shear: axis-aligned rectangles stay axis-aligned.
  bool isRectilinear() const { return b == 0.0 && c == 0.0; }

  // `this` first, then `t` (the platform's concat order).
  AffineTransform concat(const AffineTransform& t) const;
  AffineTransform scaled(double sx, double sy) const { return makeScale(sx, sy).concat(*this); }
  AffineTransform translated(double x, double y) const { return makeTranslation(x, y).concat(*this); }
  AffineTransform rotated(double radians) const { return makeRotation(radians).concat(*this); }
  // The inverse; `*this` unchanged when it is not invertible.
  AffineTransform inverted() const;
  bool isInvertible() const { return a * d - b * c != 0.0; }

  Point apply(Point p) const { return {a * p.x + c * p.y + tx, b * p.x + d * p.y + ty}; }
  Size apply(Size s) const { return {a * s.width + c * s.height, b * s.width + d * s.height}; }
  // The bounding box of the transformed rectangle.
  Rect apply(const Rect& r) const;

  bool operator==(const AffineTransform&) const = default;
};

std::string toString(Point p);
std::string toString(Size s);
std::string toString(const Rect& r);

}  // namespace platform
