#include "tutorial/gbx_tutorial_views.h"

#include "tutorial/gbx_tutorial_style.h"

using platform::Point;
using platform::Rect;

// ---- passthrough

GBXTutorialPassthroughView::GBXTutorialPassthroughView(const Rect& frame) : View(frame) {}

bool GBXTutorialPassthroughView::pointInside(Point point, const platform::Event* event) const {
  for (const platform::ViewPtr& sub : subviews()) {
    if (sub->isHidden() || !(sub->alpha() > 0.0) || !sub->isUserInteractionEnabled()) continue;
    const Point q = sub->convertPointFrom(point, this);
    if (sub->pointInside(q, event)) return true;
  }
  return false;
}

// ---- spot

GBXTutorialSpotView::GBXTutorialSpotView(const Rect& frame) : View(frame) {
  setDrawsContent(true);
  setBackgroundColor(platform::Color::clear());
  setUserInteractionEnabled(false);
}

void GBXTutorialSpotView::addRect(const Rect& rect) {
  rects_.push_back(rect);
  setNeedsDisplay();
}

void GBXTutorialSpotView::setRects(std::vector<Rect> rects) {
  rects_ = std::move(rects);
  setNeedsDisplay();
}

void GBXTutorialSpotView::drawRect(const Rect& dirty) {
  platform::GraphicsContext* c = platform::currentGraphicsContext();
  if (!c) return;
  c->clearRect(dirty);
  fill(*c);
  for (const Rect& r : rects_) clear(*c, r);
}

void GBXTutorialSpotView::fill(platform::GraphicsContext& c) {
  c.saveGState();
  c.setFillColor(tutorial_style::darkBackgroundColor());
  c.fillRect(bounds());
  c.restoreGState();
}

void GBXTutorialSpotView::clear(platform::GraphicsContext& c, const Rect& rect) {
  if (rect.isNull() || rect.isEmpty()) return;
  // A rectangle with its four corners rounded: from the middle of the right
  // edge round the lower right, lower left, upper left and upper right
  // corners back to where it started.
  const Rect r = rect.standardized();
  const double x = r.minX(), y = r.minY(), w = r.width(), h = r.height();
  c.saveGState();
  c.beginPath();
  c.moveTo(x + w, y + h / 2);
  c.addArcToPoint(x + w, y + h, x + w / 2, y + h, kCornerRadius);
  c.addArcToPoint(x, y + h, x, y + h / 2, kCornerRadius);
  c.addArcToPoint(x, y, x + w / 2, y, kCornerRadius);
  c.addArcToPoint(x + w, y, x + w, y + h / 2, kCornerRadius);
  c.closePath();
  c.clip();
  c.clearRect(r);
  c.restoreGState();
}

// ---- progress

GBXTutorialProgressView::GBXTutorialProgressView(const Rect& frame) : View(frame) {
  setDrawsContent(true);
  setBackgroundColor(platform::Color::clear());
  setUserInteractionEnabled(false);
}

void GBXTutorialProgressView::setValue(float v) {
  if (!(v >= 0.0f)) v = 0.0f;
  if (v > 1.0f) v = 1.0f;
  if (v == value_) return;
  value_ = v;
  ++redrawRequests_;
  setNeedsDisplay();
}

void GBXTutorialProgressView::drawRect(const Rect& dirty) {
  platform::GraphicsContext* c = platform::currentGraphicsContext();
  if (!c) return;
  c->clearRect(dirty);
  const platform::Color colour = platform::Color::white(1.0, static_cast<double>(0.4f));
  c->saveGState();
  c->setLineWidth(2.0);
  c->setFillColor(colour);
  c->setStrokeColor(colour);
  const Rect inner = bounds().insetBy(5, 5);
  c->fillRect({inner.origin.x, inner.origin.y, inner.width() * static_cast<double>(value_), inner.height()});
  c->strokeRect(bounds().insetBy(2, 2));
  c->restoreGState();
}
