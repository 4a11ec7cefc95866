#include "controls/ti_frame_view.h"

#include <algorithm>

namespace {

// A rounded rectangle traced from the middle of the left edge through the
// four corners, as the frame's outline is drawn. The radius is limited to
// half the shorter side so that small frames keep a sane shape.
void addRoundedOutline(platform::Path& p, const platform::Rect& r, double radius) {
  const double rad = std::max(0.0, std::min({radius, r.size.width / 2, r.size.height / 2}));
  const double minX = r.minX(), midX = r.midX(), maxX = r.maxX();
  const double minY = r.minY(), midY = r.midY(), maxY = r.maxY();
  p.moveTo({minX, midY});
  p.addArcToPoint({minX, minY}, {midX, minY}, rad);
  p.addArcToPoint({maxX, minY}, {maxX, midY}, rad);
  p.addArcToPoint({maxX, maxY}, {midX, maxY}, rad);
  p.addArcToPoint({minX, maxY}, {minX, midY}, rad);
  p.closePath();
}

}  // namespace

TIFrameView::TIFrameView(const platform::Rect& frame) : View(frame) {
  setDrawsContent(true);
  setBackgroundColor(std::nullopt);
}

TIFrameView::~TIFrameView() { backgroundImage_.reset(); }

platform::Rect TIFrameView::innerRect(const platform::Rect& r) {
  const platform::Rect inner{r.origin.x + kSideInset, r.origin.y + kTopInset, r.size.width - 2 * kSideInset,
                             r.size.height - kTopInset - kSideInset};
  if (inner.size.width <= 0 || inner.size.height <= 0) return {};
  return inner;
}

platform::Path TIFrameView::ringPath(const platform::Rect& r) {
  platform::Path p;
  addRoundedOutline(p, r, kCornerRadius);
  // Without an inside the whole outline is the frame.
  const platform::Rect inner = innerRect(r);
  if (inner.size.width > 0 && inner.size.height > 0) addRoundedOutline(p, inner, kCornerRadius);
  return p;
}

// The ring is built on the bounds, not on the rectangle being redrawn: a
// partial redraw must not move the frame.
void TIFrameView::drawRect(const platform::Rect&) {
  if (!backgroundImage_) return;
  platform::GraphicsContext* c = platform::currentGraphicsContext();
  if (!c) return;
  c->saveGState();
  c->beginPath();
  c->addPath(ringPath(bounds()));
  c->eoClip();
  c->drawImage(*backgroundImage_, bounds());
  c->restoreGState();
}
