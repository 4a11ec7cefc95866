#include "soundcloud-sdk/ui/sc_buttons.h"

#include "platform/gfx/text.h"

namespace scui {

using platform::Color;
using platform::GraphicsContext;
using platform::Point;
using platform::Rect;

void SCAddRoundedRectToPath(platform::Path& path, const platform::AffineTransform* transform, const Rect& rect,
                            double r) {
  const double x = rect.origin.x, y = rect.origin.y, w = rect.size.width, h = rect.size.height;
  auto t = [transform](Point p) { return transform ? transform->apply(p) : p; };
  path.moveTo(t({x, y + r}));
  path.addArcToPoint(t({x, y}), t({x + r, y}), r);
  path.addArcToPoint(t({x + w, y}), t({x + w, y + r}), r);
  path.addArcToPoint(t({x + w, y + h}), t({x + w - r, y + h}), r);
  path.addArcToPoint(t({x, y + h}), t({x, y + h - r}), r);
  path.closePath();
}

void SCAddRoundedRectToContext(GraphicsContext& context, const Rect& rect, double radius) {
  platform::Path p;
  SCAddRoundedRectToPath(p, nullptr, rect, radius);
  context.addPath(p);
}

SCGradientButton::SCGradientButton(const Rect& frame, std::optional<std::vector<Color>> colors)
    : platform::Button(Type::Custom, frame) {
  setColors(std::move(colors));
  setAutoresizingMask(platform::Autoresizing::FlexibleLeftMargin | platform::Autoresizing::FlexibleRightMargin);
  layer().setBorderWidth(1.0);
  layer().setCornerRadius(4.0);
  setAdjustsImageWhenHighlighted(false);
}

void SCGradientButton::setColors(std::optional<std::vector<Color>> colors) {
  if (colors == colors_) return;
  colors_ = std::move(colors);
  locations_.clear();
  const size_t n = colors_ ? colors_->size() : 0;
  if (n >= 2)
    for (size_t i = 0; i < n; ++i) locations_.push_back(static_cast<float>(i) / static_cast<float>(n - 1));
  setNeedsDisplay();
}

void SCGradientButton::setBackgroundPattern(platform::ImagePtr image) {
  pattern_ = std::move(image);
  setNeedsDisplay();
}

void SCGradientButton::setTitleShadow(std::optional<Color> color, platform::Size offset) {
  shadowColor_ = color;
  shadowOffset_ = offset;
  setNeedsDisplay();
}

void SCGradientButton::setTitleEdgeInsets(platform::EdgeInsets insets) {
  insets_ = insets;
  setNeedsDisplay();
}

void SCGradientButton::setSelected(bool s) {
  platform::Button::setSelected(s);
  setNeedsDisplay();
}

void SCGradientButton::setHighlighted(bool h) {
  platform::Button::setHighlighted(h);
  setAlpha(h ? kPressedAlpha : 1.0);
  setNeedsDisplay();
}

Rect SCGradientButton::titleRect() const {
  const Rect b = bounds();
  return {b.origin.x + insets_.left, b.origin.y + insets_.top, b.size.width - insets_.left - insets_.right,
          b.size.height - insets_.top - insets_.bottom};
}

void SCGradientButton::drawRect(const Rect&) {
  GraphicsContext* c = platform::currentGraphicsContext();
  const Rect b = bounds();
  c->saveGState();
  SCAddRoundedRectToContext(*c, b, layer().cornerRadius());
  c->clip();
  if (pattern_ && pattern_->size().width > 0 && pattern_->size().height > 0) {
    const platform::Size t = pattern_->size();
    for (double y = b.minY(); y < b.maxY(); y += t.height)
      for (double x = b.minX(); x < b.maxX(); x += t.width) c->drawImage(*pattern_, {x, y, t.width, t.height});
  }
  if (colors_ && colors_->size() == 1) {
    c->setFillColor((*colors_)[0]);
    c->fillRect(b);
  } else if (colors_ && colors_->size() >= 2) {
    cairo_pattern_t* g = cairo_pattern_create_linear(b.midX(), b.minY(), b.midX(), b.maxY());
    for (size_t i = 0; i < colors_->size(); ++i) {
      const Color& col = (*colors_)[i];
      cairo_pattern_add_color_stop_rgba(g, locations_[i], col.red(), col.green(), col.blue(), col.alpha());
    }
    cairo_t* cr = c->cairo();
    cairo_save(cr);
    cairo_rectangle(cr, b.origin.x, b.origin.y, b.size.width, b.size.height);
    cairo_set_source(cr, g);
    cairo_fill(cr);
    cairo_restore(cr);
    cairo_pattern_destroy(g);
  }
  c->restoreGState();

  if (platform::ImagePtr bg = currentBackgroundImage()) c->drawImage(*bg, b);
  const std::string title = currentTitle();
  if (title.empty()) return;
  platform::TextStyle ts;
  ts.font = titleLabel().font();
  ts.color = titleColorForState(state());
  ts.alignment = platform::TextAlignment::Center;
  ts.lineBreak = titleLabel().lineBreakMode();
  ts.numberOfLines = titleLabel().numberOfLines();
  const Rect area = titleRect();
  const platform::Size size = platform::measureText(title, ts, area.size.width);
  const Rect line{area.origin.x, area.midY() - size.height / 2, area.size.width, size.height};
  if (shadowColor_) {
    platform::TextStyle shadow = ts;
    shadow.color = *shadowColor_;
    platform::drawText(*c, title, line.offsetBy(shadowOffset_.width, shadowOffset_.height), shadow);
  }
  platform::drawText(*c, title, line, ts);
}

SCUnderlinedButton::SCUnderlinedButton(const Rect& frame) : platform::Button(Type::Custom, frame) {}

void SCUnderlinedButton::drawRect(const Rect& rect) {
  platform::Button::drawRect(rect);
  GraphicsContext* c = platform::currentGraphicsContext();
  const Rect b = bounds();
  c->setStrokeColor(titleColorForState(state()));
  c->setLineWidth(1.0);
  c->beginPath();
  c->moveTo(0, b.maxY() - 1);
  c->addLineTo(b.maxX(), b.maxY() - 1);
  c->strokePath();
}

}  // namespace scui
