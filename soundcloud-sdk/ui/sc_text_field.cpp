#include "soundcloud-sdk/ui/sc_text_field.h"

#include <algorithm>
#include <cmath>

#include "soundcloud-sdk/ui/sc_bundle.h"
#include "soundcloud-sdk/ui/sc_colors.h"

namespace scui {

using platform::GraphicsContext;
using platform::Path;
using platform::Point;
using platform::Rect;

Path scRoundedCornersPath(const Rect& r, double radius, bool topLeft, bool topRight, bool bottomRight,
                          bool bottomLeft) {
  Path p;
  const double x = r.minX(), y = r.minY(), w = r.width(), h = r.height();
  const double tl = topLeft ? radius : 0, tr = topRight ? radius : 0, br = bottomRight ? radius : 0,
               bl = bottomLeft ? radius : 0;
  p.moveTo({x + tl, y});
  p.addLineTo({x + w - tr, y});
  if (tr > 0) p.addArcToPoint({x + w, y}, {x + w, y + tr}, tr);
  p.addLineTo({x + w, y + h - br});
  if (br > 0) p.addArcToPoint({x + w, y + h}, {x + w - br, y + h}, br);
  p.addLineTo({x + bl, y + h});
  if (bl > 0) p.addArcToPoint({x, y + h}, {x, y + h - bl}, bl);
  p.addLineTo({x, y + tl});
  if (tl > 0) p.addArcToPoint({x, y}, {x + tl, y}, tl);
  p.closePath();
  return p;
}

SCTextField::SCTextField(const Rect& frame) : platform::TextField(frame) {}

void SCTextField::setNeedsSeparatorLine(bool n) {
  separator_ = n;
  setNeedsDisplay();
}

void SCTextField::setCornerStyle(int32_t style) {
  corner_ = style;
  setNeedsDisplay();
}

void SCTextField::setSecureTextEntry(bool s) {
  secure_ = s;
  setNeedsDisplay();
}

std::string SCTextField::displayedText() const {
  if (!secure_) return text();
  // One bullet per UTF-8 character.
  std::string out;
  for (unsigned char ch : text())
    if ((ch & 0xC0) != 0x80) out += "\xE2\x80\xA2";
  return out;
}

Rect SCTextField::textRectForBounds(const Rect& b) const { return b.insetBy(10, 12); }

Rect SCTextField::editingRectForBounds(const Rect& b) const {
  return Rect{b.origin.x, b.origin.y, b.size.width - 20, b.size.height}.insetBy(10, 12);
}

Rect SCTextField::clearButtonRectForBounds(const Rect& b) const {
  // The standard clear button: a 19-point square centred vertically, 5
  // points in from the right end.
  const double side = 19.0;
  Rect standard{b.maxX() - 5 - side, b.midY() - side / 2, side, side};
  return standard.offsetBy(-5, 0);
}

void SCTextField::addInnerShadow() {
  pattern_ = SCBundle::imageWithName("input");
  setNeedsDisplay();
}

void SCTextField::drawPattern(GraphicsContext& c) {
  if (!pattern_) return;
  const platform::Size tile = pattern_->size();
  if (tile.width <= 0 || tile.height <= 0) return;
  const Rect b = bounds();
  for (double y = b.minY(); y < b.maxY(); y += tile.height)
    for (double x = b.minX(); x < b.maxX(); x += tile.width) c.drawImage(*pattern_, {x, y, tile.width, tile.height});
}

void SCTextField::drawRect(const Rect& rect) {
  GraphicsContext* c = platform::currentGraphicsContext();
  const Rect b = bounds();
  c->saveGState();
  // The rounded ends are a mask over everything the field draws; it is
  // rebuilt each time, as the bounds may have changed.
  if (corner_ == RoundedTop || corner_ == RoundedBottom) {
    mask_ = scRoundedCornersPath(b, 4, corner_ == RoundedTop, corner_ == RoundedTop, corner_ == RoundedBottom,
                                 corner_ == RoundedBottom);
    c->addPath(mask_);
    c->clip();
  } else {
    mask_ = Path();
  }
  drawPattern(*c);

  const Rect area = isEditing() ? editingRectForBounds(b) : textRectForBounds(b);
  const bool empty = text().empty();
  platform::TextStyle st;
  st.font = font();
  st.color = empty ? SCColors::listSubtitleColor() : textColor();
  st.alignment = textAlignment();
  st.lineBreak = platform::LineBreakMode::TruncateTail;
  st.numberOfLines = 1;
  const std::string shown = empty ? placeholder() : displayedText();
  const double lineHeight = font().lineHeight();
  const Rect line{area.origin.x, area.midY() - lineHeight / 2, area.size.width, lineHeight};
  if (!shown.empty()) platform::drawText(*c, shown, line, st);
  if (isEditing()) {
    const double width = empty ? 0 : platform::measureText(shown, st, 0).width;
    c->setFillColor(platform::Color::rgba(0.0, 0.48, 1.0));
    c->fillRect({area.origin.x + std::min(std::max(0.0, area.size.width - 2), width), line.origin.y, 2, lineHeight});
  }
  c->restoreGState();

  if (separator_) {
    const double x = rect.origin.x, y = rect.origin.y, w = rect.size.width, h = rect.size.height;
    c->setStrokeColor(SCColors::soundCloudSuperLightGrey());
    c->setLineWidth(1.0);
    c->setLineCap(platform::LineCap::Square);
    c->beginPath();
    c->moveTo(x + 10, y + h - 1 + 0.5);
    c->addLineTo(x + w - 10 + 0.5, y + h - 1 + 0.5);
    c->strokePath();
  }
}

}  // namespace scui
