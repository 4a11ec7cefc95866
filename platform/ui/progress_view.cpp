#include "platform/ui/progress_view.h"

#include <algorithm>
#include <cmath>

namespace platform {

ProgressView::ProgressView(Style style) : View(Rect{0, 0, 150, 2.5}), style_(style) { setDrawsContent(true); }

void ProgressView::setProgress(float p, bool) {
  if (std::isnan(p)) p = 0.0f;
  progress_ = std::clamp(p, 0.0f, 1.0f);
  setNeedsDisplay();
}

void ProgressView::setProgressTintColor(const Color& c) {
  tint_ = c;
  setNeedsDisplay();
}

Size ProgressView::sizeThatFits(Size size) const { return {size.width, 2.5}; }

void ProgressView::drawRect(const Rect&) {
  GraphicsContext* c = currentGraphicsContext();
  const Rect b = bounds();
  c->setFillColor(style_ == Style::Bar ? Color::white(0.0, 0.1) : Color::white(0.72));
  c->fillRect(b);
  c->setFillColor(tint_);
  c->fillRect({b.origin.x, b.origin.y, b.size.width * progress_, b.size.height});
}

}  // namespace platform
