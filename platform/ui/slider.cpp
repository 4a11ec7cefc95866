#include "platform/ui/slider.h"

#include <algorithm>

namespace platform {

Slider::Slider(const Rect& frame) : Control(frame) { setDrawsContent(true); }

void Slider::setValue(float v, bool) {
  const float pinned = std::clamp(v, min_, std::max(min_, max_));
  if (pinned == value_) return;
  value_ = pinned;
  setNeedsDisplay();
}

void Slider::setMinimumValue(float v) {
  min_ = v;
  if (max_ < min_) max_ = min_;
  setValue(value_);
  setNeedsDisplay();
}

void Slider::setMaximumValue(float v) {
  max_ = v;
  if (min_ > max_) min_ = max_;
  setValue(value_);
  setNeedsDisplay();
}

void Slider::setMinimumTrackTintColor(const Color& c) {
  minTint_ = c;
  setNeedsDisplay();
}

Rect Slider::thumbRect() const {
  const Rect b = bounds();
  const double track = std::max(0.0, b.size.width - kThumbSize);
  const double f = max_ > min_ ? (value_ - min_) / (max_ - min_) : 0.0;
  return {b.origin.x + track * f, b.midY() - kThumbSize / 2, kThumbSize, kThumbSize};
}

float Slider::valueForX(double thumbCentreX) const {
  const Rect b = bounds();
  const double track = std::max(1.0, b.size.width - kThumbSize);
  const double f = std::clamp((thumbCentreX - b.origin.x - kThumbSize / 2) / track, 0.0, 1.0);
  return static_cast<float>(min_ + (max_ - min_) * f);
}

bool Slider::beginTrackingWithTouch(Touch& touch, const Event*) {
  const Point p = touch.locationInView(this);
  const Rect thumb = thumbRect().insetBy(-10, -10);
  if (!thumb.contains(p)) return false;
  grabOffset_ = p.x - thumbRect().midX();
  changedWhileTracking_ = false;
  return true;
}

bool Slider::continueTrackingWithTouch(Touch& touch, const Event*) {
  const float v = valueForX(touch.locationInView(this).x - grabOffset_);
  if (v != value_) {
    setValue(v);
    changedWhileTracking_ = true;
    if (continuous_) sendActionsForControlEvents(ControlEvents::ValueChanged);
  }
  return true;
}

void Slider::endTrackingWithTouch(Touch*, const Event*) {
  if (!continuous_ && changedWhileTracking_) sendActionsForControlEvents(ControlEvents::ValueChanged);
}

void Slider::drawRect(const Rect&) {
  GraphicsContext* c = currentGraphicsContext();
  const Rect b = bounds();
  const Rect thumb = thumbRect();
  const double y = b.midY() - 1;
  c->setFillColor(Color::white(0.72));
  c->addPath(Path::roundedRect({b.origin.x + 2, y, b.size.width - 4, 2}, 1));
  c->fillPath();
  c->setFillColor(isEnabled() ? minTint_ : minTint_.withAlpha(0.4));
  c->addPath(Path::roundedRect({b.origin.x + 2, y, std::max(0.0, thumb.midX() - b.origin.x - 2), 2}, 1));
  c->fillPath();
  c->saveGState();
  c->setShadow({0, 2}, 4, Color::black().withAlpha(0.25));
  c->setFillColor(Color::white(1.0));
  c->fillEllipseInRect(thumb.insetBy(1, 1));
  c->restoreGState();
  c->setStrokeColor(Color::white(0.8));
  c->setLineWidth(0.5);
  c->addEllipseInRect(thumb.insetBy(1, 1));
  c->strokePath();
}

}  // namespace platform
