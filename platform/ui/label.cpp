#include "platform/ui/label.h"

#include <algorithm>

namespace platform {

Label::Label(const Rect& frame) : View(frame) {
  style_.font = Font::systemFont(17);
  style_.color = Color::black();
  style_.alignment = TextAlignment::Natural;
  style_.lineBreak = LineBreakMode::TruncateTail;
  style_.numberOfLines = 1;
  setUserInteractionEnabled(false);
  setContentMode(ContentMode::Redraw);
  setDrawsContent(true);
}

void Label::setText(const std::string& t) {
  if (t == text_) return;
  text_ = t;
  setNeedsDisplay();
}
void Label::setFont(const Font& f) {
  style_.font = f;
  setNeedsDisplay();
}
void Label::setTextColor(const Color& c) {
  style_.color = c;
  setNeedsDisplay();
}
void Label::setTextAlignment(TextAlignment a) {
  style_.alignment = a;
  setNeedsDisplay();
}
void Label::setNumberOfLines(int n) {
  style_.numberOfLines = std::max(0, n);
  setNeedsDisplay();
}
void Label::setLineBreakMode(LineBreakMode m) {
  style_.lineBreak = m;
  setNeedsDisplay();
}
void Label::setAdjustsFontSizeToFitWidth(bool a) {
  adjusts_ = a;
  setNeedsDisplay();
}
void Label::setMinimumScaleFactor(double s) {
  minimumScale_ = std::clamp(s, 0.0, 1.0);
  setNeedsDisplay();
}
void Label::setBaselineAdjustment(BaselineAdjustment b) {
  baseline_ = b;
  setNeedsDisplay();
}
void Label::setEnabled(bool e) {
  enabled_ = e;
  setNeedsDisplay();
}

double Label::displayedFontSize() const {
  const double full = style_.font.pointSize;
  if (!adjusts_ || style_.numberOfLines != 1 || text_.empty()) return full;
  const double width = bounds().size.width;
  TextStyle st = style_;
  st.lineBreak = LineBreakMode::Clip;
  if (measureText(text_, st, 0).width <= width) return full;
  const double floorSize = full * (minimumScale_ > 0 ? minimumScale_ : 0.1);
  // Half-point steps down to the floor; the floor when nothing fits.
  for (double size = full - 0.5; size > floorSize; size -= 0.5) {
    st.font = style_.font.withSize(size);
    if (measureText(text_, st, 0).width <= width) return size;
  }
  return floorSize;
}

Size Label::sizeThatFits(Size size) const {
  const double maxWidth = style_.numberOfLines == 1 ? 0 : size.width;
  return measureText(text_, style_, maxWidth);
}

void Label::drawRect(const Rect&) {
  if (text_.empty()) return;
  GraphicsContext* ctx = currentGraphicsContext();
  const Rect b = bounds();
  TextStyle st = style_;
  if (!enabled_) st.color = st.color.withAlpha(st.color.alpha() * 0.5);
  const double size = displayedFontSize();
  const bool shrunk = size < style_.font.pointSize;
  if (shrunk) {
    st.font = style_.font.withSize(size);
    st.lineBreak = LineBreakMode::Clip;
  }
  const Size needed = measureText(text_, st, st.numberOfLines == 1 ? b.size.width : b.size.width);
  double y = b.origin.y + (b.size.height - needed.height) / 2;
  if (shrunk && baseline_ == BaselineAdjustment::AlignBaselines) {
    // Keep the shrunk line on the full-size line's baseline.
    const Size fullSize = measureText(text_, style_, 0);
    const double fullTop = b.origin.y + (b.size.height - fullSize.height) / 2;
    y = fullTop + style_.font.ascender() - st.font.ascender();
  } else if (shrunk && baseline_ == BaselineAdjustment::None) {
    const Size fullSize = measureText(text_, style_, 0);
    y = b.origin.y + (b.size.height - fullSize.height) / 2;
  }
  drawText(*ctx, text_, {b.origin.x, y, b.size.width, std::max(needed.height, b.maxY() - y)}, st);
}

}  // namespace platform
