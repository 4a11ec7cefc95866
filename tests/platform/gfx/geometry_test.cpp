#include "platform/gfx/geometry.h"

#include <gtest/gtest.h>

#include <cmath>

using platform::AffineTransform;
using platform::EdgeInsets;
using platform::Point;
using platform::Rect;
using platform::Size;

TEST(RectTest, EdgesOfNegativeSizesAreStandardised) {
  const Rect r(10, 20, -4, -6);
  EXPECT_EQ(r.minX(), 6);
  EXPECT_EQ(r.maxX(), 10);
  EXPECT_EQ(r.minY(), 14);
  EXPECT_EQ(r.maxY(), 20);
  EXPECT_EQ(r.standardized(), Rect(6, 14, 4, 6));
}

TEST(RectTest, ContainsIsHalfOpen) {
  const Rect r(0, 0, 10, 10);
  EXPECT_TRUE(r.contains(Point{0, 0}));
  EXPECT_TRUE(r.contains(Point{9.999, 9.999}));
  EXPECT_FALSE(r.contains(Point{10, 5}));
  EXPECT_FALSE(r.contains(Point{5, 10}));
  EXPECT_FALSE(Rect(0, 0, 0, 10).contains(Point{0, 0}));
}

TEST(RectTest, IntersectionNullAndEmpty) {
  const Rect a(0, 0, 10, 10);
  EXPECT_EQ(a.intersection(Rect(5, 5, 10, 10)), Rect(5, 5, 5, 5));
  EXPECT_TRUE(a.intersection(Rect(20, 20, 1, 1)).isNull());
  // Touching rectangles meet in an empty strip and do not intersect.
  const Rect touch = a.intersection(Rect(10, 0, 5, 5));
  EXPECT_FALSE(touch.isNull());
  EXPECT_TRUE(touch.isEmpty());
  EXPECT_FALSE(a.intersects(Rect(10, 0, 5, 5)));
  EXPECT_TRUE(a.intersects(Rect(9, 9, 5, 5)));
  EXPECT_EQ(Rect::null().unionWith(a), a);
  EXPECT_EQ(a.unionWith(Rect(20, -5, 1, 1)), Rect(0, -5, 21, 15));
}

TEST(RectTest, InsetsAndIntegral) {
  EXPECT_EQ(Rect(0, 0, 62.5, 48).inset(EdgeInsets{1, 2, 3, 4}), Rect(2, 1, 56.5, 44));
  EXPECT_EQ(Rect(0, 0, 10, 10).insetBy(2, 3), Rect(2, 3, 6, 4));
  EXPECT_TRUE(Rect(0, 0, 10, 10).insetBy(6, 0).isNull());
  EXPECT_EQ(Rect(24.5, 3.2, 34.5, 62).integral(), Rect(24, 3, 35, 63));
}

TEST(AffineTransformTest, ConcatOrderAndInverse) {
  // Scale first, then translate: (1, 1) -> (2, 3) -> (12, 23).
  const AffineTransform t = AffineTransform::makeScale(2, 3).concat(AffineTransform::makeTranslation(10, 20));
  EXPECT_EQ(t.apply(Point{1, 1}), (Point{12, 23}));
  const Point back = t.inverted().apply(Point{12, 23});
  EXPECT_NEAR(back.x, 1, 1e-12);
  EXPECT_NEAR(back.y, 1, 1e-12);
  // translated() prepends: the translation runs in the transform's own space.
  const AffineTransform u = AffineTransform::makeScale(2, 2).translated(5, 0);
  EXPECT_EQ(u.apply(Point{0, 0}), (Point{10, 0}));
  EXPECT_FALSE(AffineTransform::makeScale(0, 1).isInvertible());
}

TEST(AffineTransformTest, RotationIsClockwiseOnScreenAndRectsGiveBoundingBoxes) {
  const Point p = AffineTransform::makeRotation(M_PI / 2).apply(Point{1, 0});
  EXPECT_NEAR(p.x, 0, 1e-12);
  EXPECT_NEAR(p.y, 1, 1e-12);  // +x turns to +y: clockwise with y down
  const Rect box = AffineTransform::makeRotation(M_PI / 4).apply(Rect(0, 0, 2, 2));
  EXPECT_NEAR(box.width(), 2 * std::sqrt(2.0), 1e-9);
  EXPECT_NEAR(box.minX(), -std::sqrt(2.0), 1e-9);
  EXPECT_TRUE(AffineTransform::makeScale(2, 3).isRectilinear());
  EXPECT_FALSE(AffineTransform::makeRotation(0.1).isRectilinear());
}
