#include "soundcloud-sdk/ui/oh_attributed_label.h"

#include <pango/pangocairo.h>

#include <algorithm>
#include <cfloat>
#include <cmath>

#include "platform/runloop/run_loop.h"
#include "platform/ui/application.h"
#include "platform/ui/text_field.h"

namespace scui {

using platform::Color;
using platform::Point;
using platform::Rect;
using platform::Size;

std::optional<std::string>& SCPasteboard::generalString() {
  static std::optional<std::string> s;
  return s;
}

namespace {

PangoFontDescription* describe(const platform::Font& f) {
  PangoFontDescription* d = pango_font_description_new();
  pango_font_description_set_family(d, f.family.c_str());
  pango_font_description_set_weight(d, f.weight == platform::Font::Weight::Bold     ? PANGO_WEIGHT_BOLD
                                       : f.weight == platform::Font::Weight::Medium ? PANGO_WEIGHT_MEDIUM
                                                                                    : PANGO_WEIGHT_NORMAL);
  pango_font_description_set_style(d, f.italic ? PANGO_STYLE_ITALIC : PANGO_STYLE_NORMAL);
  pango_font_description_set_absolute_size(d, f.pointSize * PANGO_SCALE);
  return d;
}

uint16_t channel(double v) { return static_cast<uint16_t>(std::clamp(v, 0.0, 1.0) * 65535.0 + 0.5); }

// A layout of the styled text `width` wide (0 or less: unbounded), `height`
// high for the truncating modes (0 or less: unbounded).
PangoLayout* buildLayout(cairo_t* cr, const OHAttributedString& text, double width, double height) {
  PangoLayout* layout = pango_cairo_create_layout(cr);
  cairo_font_options_t* fo = cairo_font_options_create();
  cairo_font_options_set_hint_metrics(fo, CAIRO_HINT_METRICS_OFF);
  cairo_font_options_set_hint_style(fo, CAIRO_HINT_STYLE_NONE);
  pango_cairo_context_set_font_options(pango_layout_get_context(layout), fo);
  cairo_font_options_destroy(fo);
  pango_layout_context_changed(layout);
  pango_layout_set_text(layout, text.string().c_str(), static_cast<int>(text.string().size()));
  // Text without a font of its own is drawn as the platform's default, the
  // sans family at 12 points.
  PangoFontDescription* base = describe(platform::Font::named("Helvetica", 12));
  pango_layout_set_font_description(layout, base);
  pango_font_description_free(base);

  PangoAttrList* list = pango_attr_list_new();
  const size_t n = text.length();
  size_t start = 0;
  while (start < n) {
    size_t end = start + 1;
    while (end < n && text.attributesAtIndex(end) == text.attributesAtIndex(start)) ++end;
    const OHTextAttributes& a = text.attributesAtIndex(start);
    const guint b0 = static_cast<guint>(text.byteOffset(start)), b1 = static_cast<guint>(text.byteOffset(end));
    auto add = [&](PangoAttribute* attr) {
      attr->start_index = b0;
      attr->end_index = b1;
      pango_attr_list_insert(list, attr);
    };
    if (a.font) {
      PangoFontDescription* d = describe(*a.font);
      add(pango_attr_font_desc_new(d));
      pango_font_description_free(d);
    }
    if (a.color) {
      add(pango_attr_foreground_new(channel(a.color->red()), channel(a.color->green()), channel(a.color->blue())));
      add(pango_attr_foreground_alpha_new(std::max<uint16_t>(1, channel(a.color->alpha()))));
    }
    if (a.underline && *a.underline > 0) add(pango_attr_underline_new(*a.underline >= 9 ? PANGO_UNDERLINE_DOUBLE : PANGO_UNDERLINE_SINGLE));
    start = end;
  }
  pango_layout_set_attributes(layout, list);
  pango_attr_list_unref(list);

  const OHParagraphStyle para =
      n > 0 && text.attributesAtIndex(0).paragraph ? *text.attributesAtIndex(0).paragraph : OHParagraphStyle{};
  if (width > 0) pango_layout_set_width(layout, static_cast<int>(width * PANGO_SCALE));
  pango_layout_set_wrap(layout, para.lineBreak == OHLineBreak::CharWrap ? PANGO_WRAP_CHAR : PANGO_WRAP_WORD_CHAR);
  if (width > 0 && height > 0 && para.lineBreak >= OHLineBreak::TruncateHead) {
    pango_layout_set_ellipsize(layout, para.lineBreak == OHLineBreak::TruncateHead     ? PANGO_ELLIPSIZE_START
                                       : para.lineBreak == OHLineBreak::TruncateMiddle ? PANGO_ELLIPSIZE_MIDDLE
                                                                                       : PANGO_ELLIPSIZE_END);
    pango_layout_set_height(layout, static_cast<int>(height * PANGO_SCALE));
  }
  switch (para.alignment) {
    case OHTextAlignment::Center: pango_layout_set_alignment(layout, PANGO_ALIGN_CENTER); break;
    case OHTextAlignment::Right: pango_layout_set_alignment(layout, PANGO_ALIGN_RIGHT); break;
    case OHTextAlignment::Justified:
      pango_layout_set_alignment(layout, PANGO_ALIGN_LEFT);
      pango_layout_set_justify(layout, TRUE);
      break;
    default: pango_layout_set_alignment(layout, PANGO_ALIGN_LEFT); break;
  }
  return layout;
}

struct MeasureSurface {
  cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 1, 1);
  cairo_t* cr = cairo_create(s);
  ~MeasureSurface() {
    cairo_destroy(cr);
    cairo_surface_destroy(s);
  }
};

cairo_t* measureContext() {
  static thread_local MeasureSurface m;
  return m.cr;
}

// The size the whole text needs at `width`, with unlimited height.
Size suggestedSize(const OHAttributedString& text, double width) {
  PangoLayout* layout = buildLayout(measureContext(), text, width, 0);
  PangoRectangle logical;
  pango_layout_get_extents(layout, nullptr, &logical);
  g_object_unref(layout);
  return {static_cast<double>(logical.width) / PANGO_SCALE, static_cast<double>(logical.height) / PANGO_SCALE};
}

Rect fromPango(const PangoRectangle& r) {
  return {static_cast<double>(r.x) / PANGO_SCALE, static_cast<double>(r.y) / PANGO_SCALE,
          static_cast<double>(r.width) / PANGO_SCALE, static_cast<double>(r.height) / PANGO_SCALE};
}

}  // namespace

struct OHAttributedLabel::Frame {
  PangoLayout* layout = nullptr;
  OHAttributedString text;
  Rect rect;
  Rect bounds;
  ~Frame() {
    if (layout) g_object_unref(layout);
  }
};

OHAttributedLabel::OHAttributedLabel(const Rect& frame) : platform::Label(frame) {
  setContentMode(platform::ContentMode::Redraw);
  setUserInteractionEnabled(true);
  resetAttributedText();
}

OHAttributedLabel::~OHAttributedLabel() { *pressGeneration_ = -1; }

// ---- text

std::optional<OHAttributedString> OHAttributedLabel::attributedText() {
  if (!attributed_) resetAttributedText();
  return attributed_;
}

void OHAttributedLabel::setAttributedText(std::optional<OHAttributedString> text) {
  attributed_ = std::move(text);
  accessibilityLabel_ = attributed_ ? attributed_->string() : std::string();
  setNeedsDisplay();
}

void OHAttributedLabel::setText(const std::string& raw) {
  std::string t;
  for (size_t i = 0; i < raw.size(); ++i) {
    if (raw[i] == '\r' && i + 1 < raw.size() && raw[i + 1] == '\n') continue;
    t += raw[i];
  }
  const char* blank = " \t\n\r\v\f";
  const size_t first = t.find_first_not_of(blank);
  t = first == std::string::npos ? std::string() : t.substr(first, t.find_last_not_of(blank) - first + 1);
  platform::Label::setText(t);
  resetAttributedText();
}

uint8_t OHAttributedLabel::textAlignmentFor(int a) {
  switch (a) {
    case 0: return OHTextAlignment::Left;
    case 1: return OHTextAlignment::Center;
    case 2: return OHTextAlignment::Right;
    case 3: return OHTextAlignment::Justified;
    default: return OHTextAlignment::Natural;
  }
}

uint8_t OHAttributedLabel::lineBreakFor(int m) { return m >= 1 && m <= 5 ? static_cast<uint8_t>(m) : static_cast<uint8_t>(OHLineBreak::WordWrap); }

void OHAttributedLabel::resetAttributedText() {
  OHAttributedString s(text());
  s.setFont(font());
  s.setTextColor(textColor());
  s.setTextAlignment(textAlignmentFor(static_cast<int>(textAlignment())), lineBreakFor(static_cast<int>(lineBreakMode())));
  setAttributedText(std::move(s));
}

void OHAttributedLabel::setFont(const platform::Font& f) {
  if (attributed_) attributed_->setFont(f);
  platform::Label::setFont(f);
  setNeedsDisplay();
}

void OHAttributedLabel::setTextColor(const Color& c) {
  if (attributed_) attributed_->setTextColor(c);
  platform::Label::setTextColor(c);
  setNeedsDisplay();
}

void OHAttributedLabel::setTextAlignment(platform::TextAlignment a) {
  if (attributed_)
    attributed_->setTextAlignment(textAlignmentFor(static_cast<int>(a)), lineBreakFor(static_cast<int>(lineBreakMode())));
  platform::Label::setTextAlignment(a);
  setNeedsDisplay();
}

void OHAttributedLabel::setLineBreakMode(platform::LineBreakMode m) {
  if (attributed_)
    attributed_->setTextAlignment(textAlignmentFor(static_cast<int>(textAlignment())), lineBreakFor(static_cast<int>(m)));
  platform::Label::setLineBreakMode(m);
  setNeedsDisplay();
}

// ---- options

void OHAttributedLabel::setCenterVertically(bool c) {
  centerVertically_ = c;
  setNeedsDisplay();
}
void OHAttributedLabel::setAutomaticallyDetectLinks(bool d) {
  detectLinks_ = d;
  setNeedsDisplay();
}
void OHAttributedLabel::setExtendBottomToFit(bool e) {
  extendBottom_ = e;
  setNeedsDisplay();
}
void OHAttributedLabel::setShadow(std::optional<Color> color, Size offset) {
  shadowColor_ = color;
  shadowOffset_ = offset;
  setNeedsDisplay();
}
void OHAttributedLabel::setHighlighted(bool h) {
  highlighted_ = h;
  setNeedsDisplay();
}
void OHAttributedLabel::setHighlightedTextColor(std::optional<Color> c) {
  highlightedTextColor_ = c;
  setNeedsDisplay();
}

// ---- links

void OHAttributedLabel::addCustomLink(const std::string& url, OHRange range) {
  customLinks_.push_back({range, url});
  setNeedsDisplay();
}

void OHAttributedLabel::removeAllCustomLinks() {
  customLinks_.clear();
  setNeedsDisplay();
}

void OHAttributedLabel::styleLink(OHAttributedString& text, const OHLink& link) {
  int32_t style = underlineLinks_ ? 1 : 0;
  std::optional<Color> color = linkColor_;
  if (delegate_)
    if (auto answer = delegate_->colorForLink(link, style)) color = *answer;
  if (color) text.setTextColor(*color, link.range);
  if (style >= 1) text.setTextUnderlineStyle(style, link.range);
}

std::optional<OHAttributedString> OHAttributedLabel::attributedTextWithLinks() {
  if (!attributed_) return std::nullopt;
  OHAttributedString styled = *attributed_;
  if (detectLinks_)
    for (const OHLink& l : ohDetectLinks(styled)) styleLink(styled, l);
  for (const OHLink& l : customLinks_) styleLink(styled, l);
  return styled;
}

std::optional<OHLink> OHAttributedLabel::linkAtCharacterIndex(size_t index) {
  if (detectLinks_ && attributed_)
    for (const OHLink& l : ohDetectLinks(*attributed_))
      if (l.range.contains(index)) return l;
  for (const OHLink& l : customLinks_)
    if (l.range.contains(index)) return l;
  return std::nullopt;
}

OHAttributedLabel::Frame& OHAttributedLabel::frame_() {
  // A frame laid out for other bounds is stale even when no redisplay was
  // asked for (a size change that did not go through setNeedsDisplay).
  if (frame_cache_ && frame_cache_->bounds == bounds()) return *frame_cache_;
  auto f = std::make_unique<Frame>();
  f->text = attributedTextWithLinks().value_or(OHAttributedString());
  if (highlighted_ && highlightedTextColor_) f->text.setTextColor(*highlightedTextColor_);
  Rect r = bounds();
  if (centerVertically_ || extendBottom_) {
    const Size suggested = suggestedSize(f->text, r.size.width);
    if (extendBottom_) {
      const double extra =
          std::max(0.0, static_cast<double>(std::ceil(static_cast<float>(suggested.height - r.size.height)))) + 10.0;
      r.size.height += extra;
    }
    if (centerVertically_) r.origin.y += (r.size.height - suggested.height) / 2;
  }
  f->rect = r;
  f->bounds = bounds();
  f->layout = buildLayout(measureContext(), f->text, r.size.width, r.size.height);
  frame_cache_ = std::move(f);
  return *frame_cache_;
}

Rect OHAttributedLabel::drawingRect() { return frame_().rect; }

std::vector<Rect> OHAttributedLabel::highlightRects(const OHLink& link) {
  Frame& f = frame_();
  std::vector<Rect> out;
  PangoLayoutIter* it = pango_layout_get_iter(f.layout);
  do {
    PangoLayoutLine* line = pango_layout_iter_get_line_readonly(it);
    const OHRange lineRange{f.text.unitIndex(static_cast<size_t>(line->start_index)),
                            f.text.unitIndex(static_cast<size_t>(line->start_index + line->length)) -
                                f.text.unitIndex(static_cast<size_t>(line->start_index))};
    if (!lineRange.intersects(link.range)) continue;
    // Each uninterrupted stretch of link text on this line gets one rectangle.
    std::optional<Rect> current;
    PangoLayoutIter* runs = pango_layout_iter_copy(it);
    do {
      if (pango_layout_iter_get_line_readonly(runs) != line) break;
      PangoLayoutRun* run = pango_layout_iter_get_run_readonly(runs);
      if (!run) continue;  // the end of the line
      const size_t from = f.text.unitIndex(static_cast<size_t>(run->item->offset));
      const size_t to = f.text.unitIndex(static_cast<size_t>(run->item->offset + run->item->length));
      if (OHRange{from, to - from}.intersects(link.range)) {
        // The run's box: its ends placed by the line's own positions (plus
        // the line's alignment offset), as high as the line.
        int x0 = 0, x1 = 0;
        pango_layout_line_index_to_x(line, run->item->offset, FALSE, &x0);
        pango_layout_line_index_to_x(line, run->item->offset + run->item->length, FALSE, &x1);
        PangoRectangle lineLogical;
        pango_layout_iter_get_line_extents(runs, nullptr, &lineLogical);
        PangoRectangle box{lineLogical.x + std::min(x0, x1), lineLogical.y, std::abs(x1 - x0), lineLogical.height};
        const Rect r = fromPango(box).offsetBy(f.rect.origin.x, f.rect.origin.y).integral().insetBy(-1, -1);
        current = current ? current->unionWith(r) : r;
      } else if (current) {
        out.push_back(*current);
        current.reset();
      }
    } while (pango_layout_iter_next_run(runs));
    pango_layout_iter_free(runs);
    if (current) out.push_back(*current);
  } while (pango_layout_iter_next_line(it));
  pango_layout_iter_free(it);
  return out;
}

std::optional<OHLink> OHAttributedLabel::linkAtPoint(Point p) {
  Frame& f = frame_();
  const Rect grown{f.rect.origin.x, f.rect.origin.y - 5, f.rect.size.width, f.rect.size.height + 10};
  if (!grown.contains(p)) return std::nullopt;
  if (pango_layout_get_line_count(f.layout) == 0 || f.text.length() == 0) return std::nullopt;
  std::optional<OHLink> found;
  PangoLayoutIter* it = pango_layout_get_iter(f.layout);
  do {
    PangoRectangle logical;
    pango_layout_iter_get_line_extents(it, nullptr, &logical);
    Rect line = fromPango(logical).offsetBy(f.rect.origin.x, f.rect.origin.y);
    line = {line.origin.x, line.origin.y - 5, line.size.width, line.size.height + 10};
    if (!line.contains(p)) continue;
    PangoLayoutLine* l = pango_layout_iter_get_line_readonly(it);
    int index = 0, trailing = 0;
    // Relative to the line's own start (after its alignment offset).
    const double x = p.x - line.minX();
    pango_layout_line_x_to_index(l, static_cast<int>(x * PANGO_SCALE), &index, &trailing);
    found = linkAtCharacterIndex(f.text.unitIndex(static_cast<size_t>(index)));
    if (found) break;
  } while (pango_layout_iter_next_line(it));
  pango_layout_iter_free(it);
  return found;
}

// ---- copying

void OHAttributedLabel::setAllowCopying(bool allow) {
  if (allow == allowCopying_) return;
  allowCopying_ = allow;
  setUserInteractionEnabled(allow);
  longPressArmed_ = allow;
  ++*pressGeneration_;
}

void OHAttributedLabel::handleCopyTap() {
  platform::MenuController::sharedMenuController().setMenuVisible(true, true);
  setHighlighted(true);
}

void OHAttributedLabel::copyMenuDidDismiss() {
  platform::MenuController::sharedMenuController().setMenuVisible(false, true);
  setHighlighted(false);
}

void OHAttributedLabel::copy() {
  if (allowCopying_) SCPasteboard::generalString() = attributed_ ? attributed_->string() : text();
}

// ---- view

void OHAttributedLabel::setNeedsDisplay() {
  frame_cache_.reset();
  platform::Label::setNeedsDisplay();
}

Size OHAttributedLabel::sizeThatFits(Size size) const {
  OHAttributedLabel& self = const_cast<OHAttributedLabel&>(*this);
  const Size s = suggestedSize(self.attributedTextWithLinks().value_or(OHAttributedString()), size.width);
  return {std::ceil(s.width), std::ceil(s.height + 1)};
}

void OHAttributedLabel::drawRect(const Rect& rect) {
  if (!attributed_) {
    platform::Label::drawRect(rect);
    return;
  }
  platform::GraphicsContext* c = platform::currentGraphicsContext();
  Frame& f = frame_();
  c->saveGState();
  if (activeLink_) {
    c->setFillColor(highlightedLinkColor_);
    for (const Rect& r : highlightRects(*activeLink_)) c->fillRect(r);
  }
  cairo_t* cr = c->cairo();
  auto show = [&](double dx, double dy) {
    cairo_save(cr);
    cairo_move_to(cr, f.rect.origin.x + dx, f.rect.origin.y + dy);
    pango_cairo_update_layout(cr, f.layout);
    pango_cairo_show_layout(cr, f.layout);
    cairo_restore(cr);
  };
  if (shadowColor_) {
    // The shadow: the text's shape in the shadow colour, unblurred.
    c->beginTransparencyLayer();
    show(shadowOffset_.width, shadowOffset_.height);
    c->setBlendMode(platform::BlendMode::SourceIn);
    c->setFillColor(*shadowColor_);
    c->fillRect(bounds().unionWith(f.rect).offsetBy(shadowOffset_.width, shadowOffset_.height));
    c->endTransparencyLayer();
  }
  show(0, 0);
  // Hit tests keep using the layout as measured.
  pango_cairo_update_layout(measureContext(), f.layout);
  c->restoreGState();
}

platform::View* OHAttributedLabel::hitTest(Point point, const platform::Event* event) {
  platform::View* hit = platform::Label::hitTest(point, event);
  if (hit == this && onlyLinks_ && !linkAtPoint(point)) return nullptr;
  return hit;
}

void OHAttributedLabel::touchesBegan(const platform::TouchSet& touches, const platform::Event*) {
  if (touches.empty()) return;
  const Point p = touches.front()->locationInView(this);
  activeLink_ = linkAtPoint(p);
  setNeedsDisplay();
  if (longPressArmed_) {
    const int generation = ++*pressGeneration_;
    std::weak_ptr<int> alive = pressGeneration_;
    OHAttributedLabel* self = this;
    platform::dispatchAfterMain(kLongPressDuration, [alive, generation, self] {
      auto g = alive.lock();
      if (g && *g == generation) self->handleCopyTap();
    });
  }
}

void OHAttributedLabel::touchesMoved(const platform::TouchSet& touches, const platform::Event*) {
  if (touches.empty()) return;
  // A finger that wanders is no long press.
  const Point now = touches.front()->locationInView(this), before = touches.front()->previousLocationInView(this);
  if (std::hypot(now.x - before.x, now.y - before.y) > 10) ++*pressGeneration_;
}

void OHAttributedLabel::touchesEnded(const platform::TouchSet& touches, const platform::Event*) {
  ++*pressGeneration_;
  if (touches.empty()) return;
  const std::optional<OHLink> found = linkAtPoint(touches.front()->locationInView(this));
  if (activeLink_ && !activeLink_->url.empty() && found && found->url == activeLink_->url) {
    bool follow = true;
    if (delegate_)
      if (auto answer = delegate_->attributedLabelShouldFollowLink(*this, *activeLink_)) follow = *answer;
    if (follow) platform::Application::sharedApplication().openURL(activeLink_->url);
  }
  activeLink_.reset();
  setNeedsDisplay();
}

void OHAttributedLabel::touchesCancelled(const platform::TouchSet&, const platform::Event*) {
  ++*pressGeneration_;
  activeLink_.reset();
  setNeedsDisplay();
}

}  // namespace scui
