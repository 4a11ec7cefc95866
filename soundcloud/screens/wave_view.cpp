#include "soundcloud/screens/wave_view.h"

#include <cairo.h>

#include <algorithm>

namespace tssc {

using platform::Color;
using platform::Rect;

WaveView::WaveView(const Rect& frame) : Control(frame) { setDrawsContent(true); }

void WaveView::setWaveform(platform::ImagePtr image) {
  if (image == waveform_) return;
  waveform_ = std::move(image);
  setNeedsDisplay();
}

void WaveView::setLocator(float locator) {
  if (locator == locator_) return;
  locator_ = locator;
  setNeedsDisplay();
}

void WaveView::drawRect(const Rect& r) {
  platform::GraphicsContext* context = platform::currentGraphicsContext();
  if (!context) return;
  // A vertical grey gradient, dark at both ends and lighter in the middle,
  // not extended beyond its ends.
  cairo_t* cr = context->cairo();
  cairo_save(cr);
  cairo_pattern_t* gradient = cairo_pattern_create_linear(r.origin.x, r.origin.y, r.origin.x, r.size.height);
  cairo_pattern_add_color_stop_rgba(gradient, 0.0, 0.228, 0.228, 0.228, 1);
  cairo_pattern_add_color_stop_rgba(gradient, 0.5, 0.58, 0.58, 0.58, 1);
  cairo_pattern_add_color_stop_rgba(gradient, 1.0, 0.228, 0.228, 0.228, 1);
  cairo_pattern_set_extend(gradient, CAIRO_EXTEND_NONE);
  cairo_rectangle(cr, r.origin.x, r.origin.y, r.size.width, r.size.height);
  cairo_clip(cr);
  cairo_set_source(cr, gradient);
  cairo_paint(cr);
  cairo_pattern_destroy(gradient);
  cairo_restore(cr);
  if (waveform_) context->drawImage(*waveform_, r);
  drawLocator(*context, Rect{r.minX(), r.minY(), r.size.width * locator_, r.size.height});
}

void WaveView::drawLocator(platform::GraphicsContext& context, const Rect& rect) {
  context.saveGState();
  context.setFillColor(Color::rgba(0.96, 0.84, 0.66, 0.6));
  context.fillRect(rect);
  context.setStrokeColor(Color::rgba(1.0, 0.32, 0.0, 1.0));
  context.beginPath();
  context.moveTo(rect.maxX(), rect.minY());
  context.addLineTo(rect.maxX(), rect.maxY());
  context.strokePath();
  context.restoreGState();
}

void WaveView::touchesMoved(const platform::TouchSet& touches, const platform::Event* event) {
  Control::touchesMoved(touches, event);
  if (touches.empty() || frame().size.width <= 0) return;
  const double x = touches.front()->locationInView(this).x;
  setLocator(std::max(0.0f, static_cast<float>(x / frame().size.width)));
  sendActionsForControlEvents(platform::ControlEvents::ValueChanged);
}

}  // namespace tssc
