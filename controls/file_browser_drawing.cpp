#include "controls/file_browser_drawing.h"

#include "platform/gfx/graphics_context.h"

using namespace platform;

Color fileBrowserTintColor() {
  return Color::rgba(1.0, static_cast<double>(0.4f), static_cast<double>(0.2f), static_cast<double>(0.8f));
}

ListSelectedBackgroundView::ListSelectedBackgroundView(const Rect& frame) : View(frame) {
  setDrawsContent(true);
  setBackgroundColor(Color::clear());
}

void ListSelectedBackgroundView::drawRect(const Rect& rect) {
  GraphicsContext* g = currentGraphicsContext();
  if (!g) return;
  g->saveGState();
  g->setFillColor(fileBrowserTintColor());
  g->fillRect(rect);
  g->restoreGState();
}

ImagePtr GraphicUtil::imageByCropping(const Image& image, const Rect& pixelRect) {
  return image.cropped(pixelRect, 1.0);
}
