// The transport backdrop.

#include "app/audio_transport_view.h"

using platform::Rect;

AudioTransportView::AudioTransportView(const Rect& frame) : platform::View(frame) {
  setBackgroundColor(platform::Color::clear());
  setDrawsContent(true);
}

Rect AudioTransportView::panelRect(const Rect& rect) { return rect.insetBy(18, 20); }

void AudioTransportView::drawRect(const Rect& rect) {
  platform::GraphicsContext* c = platform::currentGraphicsContext();
  if (!c) return;
  c->saveGState();
  c->setLineWidth(3);
  c->setStrokeColor(platform::Color::rgba(0.9, 0.9, 0.9, 0.9));
  c->setFillColor(platform::Color::rgba(6.0 / 256, 11.0 / 256, 31.0 / 256, 0.7));
  c->setShadow({5, 5}, 5);
  // From the middle of the left edge, clockwise through four tangent arcs.
  const Rect r = panelRect(rect);
  const double radius = 12;
  c->beginTransparencyLayer();
  c->beginPath();
  c->moveTo(r.minX(), r.midY());
  c->addArcToPoint(r.minX(), r.minY(), r.midX(), r.minY(), radius);
  c->addArcToPoint(r.maxX(), r.minY(), r.maxX(), r.midY(), radius);
  c->addArcToPoint(r.maxX(), r.maxY(), r.midX(), r.maxY(), radius);
  c->addArcToPoint(r.minX(), r.maxY(), r.minX(), r.midY(), radius);
  c->closePath();
  c->fillPath();
  c->beginPath();
  c->moveTo(r.minX(), r.midY());
  c->addArcToPoint(r.minX(), r.minY(), r.midX(), r.minY(), radius);
  c->addArcToPoint(r.maxX(), r.minY(), r.maxX(), r.midY(), radius);
  c->addArcToPoint(r.maxX(), r.maxY(), r.midX(), r.maxY(), radius);
  c->addArcToPoint(r.minX(), r.maxY(), r.minX(), r.midY(), radius);
  c->closePath();
  c->strokePath();
  c->endTransparencyLayer();
  c->restoreGState();
}
