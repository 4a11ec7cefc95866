#include "platform/gfx/text.h"

#include <pango/pangocairo.h>

#include <algorithm>
#include <cstdlib>

namespace platform {

namespace {

bool contains(const std::string& s, const char* part) { return s.find(part) != std::string::npos; }

PangoFontDescription* describe(const Font& f) {
  PangoFontDescription* d = pango_font_description_new();
  pango_font_description_set_family(d, f.family.c_str());
  pango_font_description_set_weight(d, f.weight == Font::Weight::Bold     ? PANGO_WEIGHT_BOLD
                                       : f.weight == Font::Weight::Medium ? PANGO_WEIGHT_MEDIUM
                                                                          : PANGO_WEIGHT_NORMAL);
  pango_font_description_set_style(d, f.italic ? PANGO_STYLE_ITALIC : PANGO_STYLE_NORMAL);
  pango_font_description_set_absolute_size(d, f.pointSize * PANGO_SCALE);
  return d;
}

// A layout for the text and style; the caller releases it.
PangoLayout* makeLayout(cairo_t* cr, const std::string& text, const TextStyle& style, double maxWidth) {
  PangoLayout* layout = pango_cairo_create_layout(cr);
  // Hinting would make measurements depend on the device scale.
  cairo_font_options_t* fo = cairo_font_options_create();
  cairo_font_options_set_hint_metrics(fo, CAIRO_HINT_METRICS_OFF);
  cairo_font_options_set_hint_style(fo, CAIRO_HINT_STYLE_NONE);
  pango_cairo_context_set_font_options(pango_layout_get_context(layout), fo);
  cairo_font_options_destroy(fo);
  pango_layout_context_changed(layout);

  PangoFontDescription* d = describe(style.font);
  pango_layout_set_font_description(layout, d);
  pango_font_description_free(d);
  pango_layout_set_text(layout, text.c_str(), static_cast<int>(text.size()));

  const bool bounded = maxWidth > 0;
  if (bounded) pango_layout_set_width(layout, static_cast<int>(maxWidth * PANGO_SCALE));
  switch (style.lineBreak) {
    case LineBreakMode::WordWrap: pango_layout_set_wrap(layout, PANGO_WRAP_WORD_CHAR); break;
    case LineBreakMode::CharWrap: pango_layout_set_wrap(layout, PANGO_WRAP_CHAR); break;
    default: pango_layout_set_wrap(layout, PANGO_WRAP_WORD_CHAR); break;
  }
  const bool singleLine = style.numberOfLines == 1;
  PangoEllipsizeMode ellipsize = PANGO_ELLIPSIZE_NONE;
  if (bounded) {
    if (style.lineBreak == LineBreakMode::TruncateTail) ellipsize = PANGO_ELLIPSIZE_END;
    if (style.lineBreak == LineBreakMode::TruncateHead) ellipsize = PANGO_ELLIPSIZE_START;
    if (style.lineBreak == LineBreakMode::TruncateMiddle) ellipsize = PANGO_ELLIPSIZE_MIDDLE;
  }
  if (singleLine && (style.lineBreak == LineBreakMode::Clip || !bounded)) {
    // One line that runs past the width and is clipped by the view.
    pango_layout_set_width(layout, -1);
  } else if (style.numberOfLines > 0) {
    pango_layout_set_ellipsize(layout, ellipsize);
    if (ellipsize != PANGO_ELLIPSIZE_NONE) pango_layout_set_height(layout, -style.numberOfLines);
  }
  switch (style.alignment) {
    case TextAlignment::Center: pango_layout_set_alignment(layout, PANGO_ALIGN_CENTER); break;
    case TextAlignment::Right: pango_layout_set_alignment(layout, PANGO_ALIGN_RIGHT); break;
    case TextAlignment::Justified:
      pango_layout_set_alignment(layout, PANGO_ALIGN_LEFT);
      pango_layout_set_justify(layout, TRUE);
      break;
    default: pango_layout_set_alignment(layout, PANGO_ALIGN_LEFT); break;
  }
  return layout;
}

// Height of the first `lines` lines of the layout (all when 0).
double linesHeight(PangoLayout* layout, int lines) {
  const int count = pango_layout_get_line_count(layout);
  const int n = lines > 0 ? std::min(lines, count) : count;
  if (n <= 0) return 0;
  PangoLayoutIter* it = pango_layout_get_iter(layout);
  int bottom = 0;
  for (int i = 0; i < n; ++i) {
    PangoRectangle logical;
    pango_layout_iter_get_line_extents(it, nullptr, &logical);
    bottom = logical.y + logical.height;
    if (!pango_layout_iter_next_line(it)) break;
  }
  pango_layout_iter_free(it);
  return static_cast<double>(bottom) / PANGO_SCALE;
}

struct MeasureSurface {
  cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 1, 1);
  cairo_t* cr = cairo_create(s);
  ~MeasureSurface() {
    cairo_destroy(cr);
    cairo_surface_destroy(s);
  }
};

}  // namespace

std::string Font::sansFamily() {
  if (const char* f = std::getenv("IGB_UI_FONT"); f && *f) return f;
  return "DejaVu Sans";
}

Font Font::named(const std::string& rawName, double size) {
  std::string name = rawName;
  while (!name.empty() && name.back() == ' ') name.pop_back();
  Font f;
  f.name = rawName;
  f.family = sansFamily();
  f.pointSize = size;
  if (contains(name, "Bold") || contains(name, "Heavy") || contains(name, "Black")) f.weight = Weight::Bold;
  else if (contains(name, "Medium") || contains(name, "Semibold")) f.weight = Weight::Medium;
  f.italic = contains(name, "Italic") || contains(name, "Oblique");
  return f;
}

Font Font::systemFont(double size) { return named(".SystemFont", size); }
Font Font::boldSystemFont(double size) { return named(".SystemFont-Bold", size); }

Font Font::withSize(double size) const {
  Font f = *this;
  f.pointSize = size;
  return f;
}

double Font::lineHeight() const {
  TextStyle st;
  st.font = *this;
  return measureText("Ag", st, 0).height;
}

double Font::ascender() const {
  MeasureSurface m;
  TextStyle st;
  st.font = *this;
  PangoLayout* layout = makeLayout(m.cr, "Ag", st, 0);
  const double baseline = static_cast<double>(pango_layout_get_baseline(layout)) / PANGO_SCALE;
  g_object_unref(layout);
  return baseline;
}

Size measureText(const std::string& text, const TextStyle& style, double maxWidth) {
  if (text.empty()) return {0, 0};
  MeasureSurface m;
  PangoLayout* layout = makeLayout(m.cr, text, style, maxWidth);
  PangoRectangle logical;
  pango_layout_get_extents(layout, nullptr, &logical);
  double w = static_cast<double>(logical.width) / PANGO_SCALE;
  if (maxWidth > 0) w = std::min(w, maxWidth);
  const double h = linesHeight(layout, style.numberOfLines);
  g_object_unref(layout);
  return {std::ceil(w), std::ceil(h)};
}

Size drawText(GraphicsContext& context, const std::string& text, const Rect& rect, const TextStyle& style) {
  if (text.empty()) return {0, 0};
  cairo_t* cr = context.cairo();
  PangoLayout* layout = makeLayout(cr, text, style, rect.size.width);
  const bool unwrapped = pango_layout_get_width(layout) < 0;
  PangoRectangle logical;
  pango_layout_get_extents(layout, nullptr, &logical);
  const double textWidth = static_cast<double>(logical.width) / PANGO_SCALE;
  double x = rect.origin.x;
  // A single unwrapped line aligns inside the rectangle by itself.
  if (unwrapped && style.alignment == TextAlignment::Center) x += (rect.size.width - textWidth) / 2;
  if (unwrapped && style.alignment == TextAlignment::Right) x += rect.size.width - textWidth;
  const double h = linesHeight(layout, style.numberOfLines);

  cairo_save(cr);
  cairo_new_path(cr);
  cairo_rectangle(cr, rect.origin.x, rect.origin.y, rect.size.width, rect.size.height);
  cairo_clip(cr);
  cairo_set_source_rgba(cr, style.color.red(), style.color.green(), style.color.blue(), style.color.alpha());
  cairo_move_to(cr, x, rect.origin.y);
  if (style.numberOfLines > 0 && pango_layout_get_line_count(layout) > style.numberOfLines) {
    // Only the allowed lines.
    PangoLayoutIter* it = pango_layout_get_iter(layout);
    for (int i = 0; i < style.numberOfLines; ++i) {
      PangoLayoutLine* line = pango_layout_iter_get_line_readonly(it);
      const int baseline = pango_layout_iter_get_baseline(it);
      PangoRectangle lineLogical;
      pango_layout_iter_get_line_extents(it, nullptr, &lineLogical);
      cairo_move_to(cr, x + static_cast<double>(lineLogical.x) / PANGO_SCALE,
                    rect.origin.y + static_cast<double>(baseline) / PANGO_SCALE);
      pango_cairo_show_layout_line(cr, line);
      if (!pango_layout_iter_next_line(it)) break;
    }
    pango_layout_iter_free(it);
  } else {
    pango_cairo_show_layout(cr, layout);
  }
  cairo_restore(cr);
  g_object_unref(layout);
  return {std::min(textWidth, rect.size.width), h};
}

}  // namespace platform
