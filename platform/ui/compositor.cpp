#include "platform/ui/compositor.h"

#include <cmath>

#include "platform/ui/layer.h"

namespace platform {

const std::vector<PixelRect>& Compositor::update(Window& window, double t, bool all) {
  drawn_.clear();
  window.layoutAndDisplay();
  const Size s = window.bounds().size;
  const int w = static_cast<int>(std::lround(s.width * scale_));
  const int h = static_cast<int>(std::lround(s.height * scale_));
  if (w <= 0 || h <= 0) return drawn_;
  if (!frame_ || frame_->pixelWidth() != w || frame_->pixelHeight() != h) {
    frame_ = Image::create(w, h, scale_);
    if (!frame_) return drawn_;
    all = true;
  }
  if (!all && Layer::changeCount() == lastChange_) {
    if (!Layer::anyAnimationRunning() || t - lastDrawTime_ < animationInterval_ - 1e-9) return drawn_;
  }
  lastChange_ = Layer::changeCount();
  lastDrawTime_ = t;

  cairo_surface_t* surface = frame_->surface();
  cairo_t* cr = cairo_create(surface);
  cairo_set_operator(cr, CAIRO_OPERATOR_CLEAR);
  cairo_paint(cr);
  cairo_set_operator(cr, CAIRO_OPERATOR_OVER);
  window.render(cr, t, scale_);
  cairo_destroy(cr);
  cairo_surface_flush(surface);
  drawn_.push_back({0, 0, w, h});
  ++frames_;
  pixels_ += static_cast<uint64_t>(w) * h;
  return drawn_;
}

}  // namespace platform
