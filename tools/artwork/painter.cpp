#include "tools/artwork/painter.h"

#include <cairo.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "tools/artwork/dot_font.h"

namespace artwork {

namespace {

constexpr double kPi = 3.14159265358979323846;

double rad(double degrees) { return degrees * kPi / 180.0; }

void source(cairo_t* cr, RGB c, double a = 1.0) { cairo_set_source_rgba(cr, c.r, c.g, c.b, a); }
RGB hex(unsigned v) { return {((v >> 16) & 0xFF) / 255.0, ((v >> 8) & 0xFF) / 255.0, (v & 0xFF) / 255.0}; }
RGB mix(RGB a, RGB b, double t) { return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t}; }

void roundedRect(cairo_t* cr, double x, double y, double w, double h, double r) {
  r = std::min({r, w / 2, h / 2});
  cairo_new_sub_path(cr);
  cairo_arc(cr, x + w - r, y + r, r, -kPi / 2, 0);
  cairo_arc(cr, x + w - r, y + h - r, r, 0, kPi / 2);
  cairo_arc(cr, x + r, y + h - r, r, kPi / 2, kPi);
  cairo_arc(cr, x + r, y + r, r, kPi, 3 * kPi / 2);
  cairo_close_path(cr);
}

void circle(cairo_t* cr, double cx, double cy, double r) {
  cairo_new_sub_path(cr);
  cairo_arc(cr, cx, cy, r, 0, 2 * kPi);
  cairo_close_path(cr);
}

// A point at `radius` from (cx, cy), `degrees` clockwise from straight up.
void polar(double cx, double cy, double radius, double degrees, double& x, double& y) {
  x = cx + radius * std::sin(rad(degrees));
  y = cy - radius * std::cos(rad(degrees));
}

// One line of dot-font text with its top left at (x, y).
void dots(cairo_t* cr, std::string_view text, double x, double y, double dot, RGB c, double alpha = 1.0) {
  source(cr, c, alpha);
  const double ink = dot * 0.86;
  for (size_t i = 0; i < text.size(); ++i) {
    const auto rows = glyphRows(static_cast<unsigned char>(text[i]));
    for (int r = 0; r < kDotRows; ++r)
      for (int col = 0; col < kDotColumns; ++col)
        if (rows[static_cast<size_t>(r)] & (1u << (kDotColumns - 1 - col)))
          cairo_rectangle(cr, x + (static_cast<double>(i) * (kDotColumns + 1) + col) * dot, y + r * dot, ink, ink);
  }
  cairo_fill(cr);
}

std::vector<std::string> lines(const std::string& label) {
  std::vector<std::string> out;
  size_t start = 0;
  for (;;) {
    const size_t nl = label.find('\n', start);
    out.push_back(label.substr(start, nl == std::string::npos ? std::string::npos : nl - start));
    if (nl == std::string::npos) break;
    start = nl + 1;
  }
  return out;
}

// A caption centred in the rectangle, with dots no larger than `dot` and
// small enough to fit its width.
void caption(cairo_t* cr, const std::string& label, double x, double y, double w, double h, double dot, RGB c,
             double alpha = 1.0) {
  if (label.empty()) return;
  const auto ls = lines(label);
  int widest = 0;
  for (const auto& l : ls) widest = std::max(widest, textWidthInDots(l));
  if (widest > 0) dot = std::min(dot, (w - 2) / widest);
  const double lineDots = kDotRows + 2.0;
  const double totalH = (static_cast<double>(ls.size()) * lineDots - 2.0) * dot;
  double ty = y + (h - totalH) / 2;
  for (const auto& l : ls) {
    const double tw = textWidthInDots(l) * dot;
    dots(cr, l, x + (w - tw) / 2, ty, dot, c, alpha);
    ty += lineDots * dot;
  }
}

// A surface in points: user space scaled by kScale.
struct Canvas {
  cairo_surface_t* surface;
  cairo_t* cr;
  Canvas(platform::Size points) {
    const int w = static_cast<int>(std::lround(points.width * kScale));
    const int h = static_cast<int>(std::lround(points.height * kScale));
    surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, w, h);
    cr = cairo_create(surface);
    cairo_scale(cr, kScale, kScale);
  }
  platform::ImagePtr finish() {
    cairo_destroy(cr);
    cairo_surface_flush(surface);
    return platform::Image::adopt(surface, kScale);
  }
};

RGB selectedColour(Shape shape) {
  switch (shape) {
    case Shape::Part: return lampColour(Lamp::Green);
    case Shape::Step: return lampColour(Lamp::White);
    default: return lampColour(Lamp::Cyan);
  }
}

// ---------------------------------------------------------------- faces

void paintFace(cairo_t* cr, const Entry& e) {
  const double w = e.size.width, h = e.size.height;
  const bool pressed = e.look == Look::ActivePressed || e.look == Look::SelectedPressed;
  const bool lit = e.look != Look::Normal;
  const RGB glow = litColour(e);
  const double sink = pressed ? 0.8 : 0.0;
  const double radius = std::min(4.5, h / 5);

  // Drop shadow under a raised key.
  if (!pressed) {
    roundedRect(cr, 1.0, 2.2, w - 2.0, h - 2.6, radius);
    cairo_set_source_rgba(cr, 0, 0, 0, 0.55);
    cairo_fill(cr);
  }
  // Body.
  const double bx = 1.0, by = 1.0 + sink, bw = w - 2.0, bh = h - 2.6;
  roundedRect(cr, bx, by, bw, bh, radius);
  cairo_pattern_t* body = cairo_pattern_create_linear(0, by, 0, by + bh);
  const RGB top = pressed ? hex(0x3a3d42) : hex(0x4d5157);
  const RGB bottom = pressed ? hex(0x222427) : hex(0x2b2e32);
  cairo_pattern_add_color_stop_rgb(body, 0, top.r, top.g, top.b);
  cairo_pattern_add_color_stop_rgb(body, 1, bottom.r, bottom.g, bottom.b);
  cairo_set_source(cr, body);
  cairo_fill_preserve(cr);
  cairo_pattern_destroy(body);
  // Pads light up as a whole.
  if (lit && (e.shape == Shape::Part || e.shape == Shape::Step)) {
    source(cr, glow, pressed ? 0.42 : 0.30);
    cairo_fill_preserve(cr);
  }
  cairo_set_line_width(cr, 0.8);
  cairo_set_source_rgba(cr, 0, 0, 0, 0.7);
  cairo_stroke(cr);
  // The top edge catches the light.
  roundedRect(cr, bx + 0.8, by + 0.6, bw - 1.6, std::min(bh * 0.45, 10.0), std::max(0.0, radius - 0.8));
  cairo_pattern_t* shine = cairo_pattern_create_linear(0, by, 0, by + std::min(bh * 0.45, 10.0));
  cairo_pattern_add_color_stop_rgba(shine, 0, 1, 1, 1, pressed ? 0.06 : 0.16);
  cairo_pattern_add_color_stop_rgba(shine, 1, 1, 1, 1, 0.0);
  cairo_set_source(cr, shine);
  cairo_fill(cr);
  cairo_pattern_destroy(shine);

  const RGB unlit = mix(e.look == Look::Normal ? lampColour(e.lamp) : glow, hex(0x101010), 0.78);
  const RGB lamp = lit ? glow : unlit;
  const RGB text = lit ? hex(0xf4f4f0) : hex(0xc3c6cb);
  switch (e.shape) {
    case Shape::Function: {
      const double lx = w / 2 - 9, ly = 5 + sink;
      if (lit) {
        roundedRect(cr, lx - 2, ly - 1.5, 22, 6.5, 3);
        source(cr, glow, 0.35);
        cairo_fill(cr);
      }
      roundedRect(cr, lx, ly, 18, 3.5, 1.5);
      source(cr, lamp);
      cairo_fill(cr);
      caption(cr, e.label, 2, 11 + sink, w - 4, h - 14, 1.3, text);
      break;
    }
    case Shape::Small: {
      const double cy = h / 2 + sink / 2 - 0.6;
      if (lit) {
        circle(cr, 7.5, cy, 4.2);
        source(cr, glow, 0.35);
        cairo_fill(cr);
      }
      circle(cr, 7.5, cy, 2.6);
      source(cr, lamp);
      cairo_fill(cr);
      caption(cr, e.label, 13, sink, w - 15, h - 2.6, 1.0, text);
      break;
    }
    case Shape::Part: {
      roundedRect(cr, 6, 5 + sink, w - 12, 4, 2);
      source(cr, lamp);
      cairo_fill(cr);
      caption(cr, e.label, 2, 12 + sink, w - 4, h - 16, 1.6, text);
      break;
    }
    case Shape::Step: {
      roundedRect(cr, 6, 5 + sink, w - 12, 3.5, 1.75);
      source(cr, lamp);
      cairo_fill(cr);
      caption(cr, e.label, 1, 14 + sink, w - 2, h - 20, 1.4, text);
      break;
    }
    case Shape::Arrow: {
      const double cx = w / 2, cy = h / 2 + sink / 2 - 0.6;
      const double d = e.variant < 0 ? -1.0 : 1.0;
      cairo_move_to(cr, cx + 5 * d, cy);
      cairo_line_to(cr, cx - 4 * d, cy - 5.5);
      cairo_line_to(cr, cx - 4 * d, cy + 5.5);
      cairo_close_path(cr);
      source(cr, pressed ? lampColour(Lamp::Amber) : hex(0xc3c6cb));
      cairo_fill(cr);
      break;
    }
  }
}

// ---------------------------------------------------------------- lamps

void paintLed(cairo_t* cr, const Entry& e) {
  const RGB c = e.variant == 1 ? lampColour(Lamp::Green) : lampColour(Lamp::Red);
  const double cx = 8.5, cy = 8.5;
  cairo_pattern_t* halo = cairo_pattern_create_radial(cx, cy, 3.0, cx, cy, 8.5);
  cairo_pattern_add_color_stop_rgba(halo, 0, c.r, c.g, c.b, 0.75);
  cairo_pattern_add_color_stop_rgba(halo, 1, c.r, c.g, c.b, 0.0);
  cairo_set_source(cr, halo);
  circle(cr, cx, cy, 8.5);
  cairo_fill(cr);
  cairo_pattern_destroy(halo);
  cairo_pattern_t* lens = cairo_pattern_create_radial(cx - 1.2, cy - 1.2, 0.5, cx, cy, 5.2);
  const RGB core = mix(c, hex(0xffffff), 0.65);
  cairo_pattern_add_color_stop_rgb(lens, 0, core.r, core.g, core.b);
  cairo_pattern_add_color_stop_rgb(lens, 0.55, c.r, c.g, c.b);
  const RGB rim = mix(c, hex(0x000000), 0.35);
  cairo_pattern_add_color_stop_rgb(lens, 1, rim.r, rim.g, rim.b);
  cairo_set_source(cr, lens);
  circle(cr, cx, cy, 5.2);
  cairo_fill(cr);
  cairo_pattern_destroy(lens);
  cairo_save(cr);
  cairo_translate(cr, cx - 1.8, cy - 2.2);
  cairo_scale(cr, 1.6, 1.0);
  circle(cr, 0, 0, 1.1);
  cairo_restore(cr);
  cairo_set_source_rgba(cr, 1, 1, 1, 0.7);
  cairo_fill(cr);
}

void paintLedBackplate(cairo_t* cr) {
  const double cx = 8.5, cy = 8.5;
  circle(cr, cx, cy, 7.2);
  cairo_pattern_t* ring = cairo_pattern_create_linear(0, 1.3, 0, 15.7);
  cairo_pattern_add_color_stop_rgb(ring, 0, 0.05, 0.05, 0.06);
  cairo_pattern_add_color_stop_rgb(ring, 1, 0.30, 0.31, 0.33);
  cairo_set_source(cr, ring);
  cairo_fill(cr);
  cairo_pattern_destroy(ring);
  cairo_pattern_t* lens = cairo_pattern_create_radial(cx - 1, cy - 1, 0.5, cx, cy, 5.2);
  cairo_pattern_add_color_stop_rgb(lens, 0, 0.30, 0.20, 0.18);
  cairo_pattern_add_color_stop_rgb(lens, 1, 0.13, 0.09, 0.09);
  cairo_set_source(cr, lens);
  circle(cr, cx, cy, 5.2);
  cairo_fill(cr);
  cairo_pattern_destroy(lens);
  circle(cr, cx - 1.8, cy - 2.0, 1.0);
  cairo_set_source_rgba(cr, 1, 1, 1, 0.18);
  cairo_fill(cr);
}

// ---------------------------------------------------------------- knobs

void paintKnobFrame(cairo_t* cr, double cx, double cy, double angle, bool active) {
  // Shadow on the panel.
  cairo_pattern_t* shadow = cairo_pattern_create_radial(cx, cy + 1.5, 20, cx, cy + 1.5, 26.5);
  cairo_pattern_add_color_stop_rgba(shadow, 0, 0, 0, 0, 0.7);
  cairo_pattern_add_color_stop_rgba(shadow, 1, 0, 0, 0, 0.0);
  cairo_set_source(cr, shadow);
  circle(cr, cx, cy + 1.5, 26.5);
  cairo_fill(cr);
  cairo_pattern_destroy(shadow);
  if (active) {
    circle(cr, cx, cy, 24.2);
    cairo_set_line_width(cr, 1.6);
    source(cr, lampColour(Lamp::Amber), 0.9);
    cairo_stroke(cr);
  }
  // Skirt with grip ridges that turn with the knob.
  circle(cr, cx, cy, 22.5);
  source(cr, hex(0x1a1b1e));
  cairo_fill(cr);
  cairo_set_line_width(cr, 1.0);
  source(cr, hex(0x45484d));
  for (int i = 0; i < 36; ++i) {
    double x0, y0, x1, y1;
    polar(cx, cy, 19.2, angle + i * 10.0, x0, y0);
    polar(cx, cy, 22.0, angle + i * 10.0, x1, y1);
    cairo_move_to(cr, x0, y0);
    cairo_line_to(cr, x1, y1);
  }
  cairo_stroke(cr);
  // Cap, lit from the top left.
  circle(cr, cx, cy, 17.0);
  cairo_pattern_t* cap = cairo_pattern_create_linear(cx - 12, cy - 12, cx + 12, cy + 12);
  const RGB hi = active ? hex(0x7a7e85) : hex(0x6a6e74);
  const RGB lo = active ? hex(0x34373c) : hex(0x2a2d31);
  cairo_pattern_add_color_stop_rgb(cap, 0, hi.r, hi.g, hi.b);
  cairo_pattern_add_color_stop_rgb(cap, 1, lo.r, lo.g, lo.b);
  cairo_set_source(cr, cap);
  cairo_fill_preserve(cr);
  cairo_pattern_destroy(cap);
  cairo_set_line_width(cr, 0.7);
  cairo_set_source_rgba(cr, 0, 0, 0, 0.6);
  cairo_stroke(cr);
  // Pointer.
  double x0, y0, x1, y1;
  polar(cx, cy, 5.5, angle, x0, y0);
  polar(cx, cy, 16.0, angle, x1, y1);
  cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
  if (active) {
    cairo_set_line_width(cr, 4.6);
    source(cr, lampColour(Lamp::Amber), 0.45);
    cairo_move_to(cr, x0, y0);
    cairo_line_to(cr, x1, y1);
    cairo_stroke(cr);
  }
  cairo_set_line_width(cr, 2.6);
  source(cr, active ? lampColour(Lamp::Amber) : kKnobPointer);
  cairo_move_to(cr, x0, y0);
  cairo_line_to(cr, x1, y1);
  cairo_stroke(cr);
  cairo_set_line_cap(cr, CAIRO_LINE_CAP_BUTT);
}

void paintKnobStrip(cairo_t* cr, const Entry& e) {
  for (int f = 0; f < e.frames; ++f) {
    const double angle = e.frames > 1 ? -150.0 + 300.0 * f / (e.frames - 1) : 0.0;
    paintKnobFrame(cr, e.size.width / 2, e.size.height * f + e.size.height / 2, angle, e.active);
  }
}

void paintEncoderStrip(cairo_t* cr, const Entry& e) {
  for (int f = 0; f < e.frames; ++f) {
    const double cx = e.size.width / 2, cy = e.size.height * f + e.size.height / 2;
    // The dimple: straight down, then 15 degrees clockwise per frame.
    const double angle = 180.0 + 15.0 * f;
    cairo_pattern_t* shadow = cairo_pattern_create_radial(cx, cy + 1.5, 28, cx, cy + 1.5, 33);
    cairo_pattern_add_color_stop_rgba(shadow, 0, 0, 0, 0, 0.7);
    cairo_pattern_add_color_stop_rgba(shadow, 1, 0, 0, 0, 0.0);
    cairo_set_source(cr, shadow);
    circle(cr, cx, cy + 1.5, 33);
    cairo_fill(cr);
    cairo_pattern_destroy(shadow);
    circle(cr, cx, cy, 30.5);
    source(cr, hex(0x17181b));
    cairo_fill(cr);
    cairo_set_line_width(cr, 1.2);
    source(cr, hex(0x4a4d52));
    for (int i = 0; i < 48; ++i) {
      double x0, y0, x1, y1;
      polar(cx, cy, 27.0, angle + i * 7.5, x0, y0);
      polar(cx, cy, 30.0, angle + i * 7.5, x1, y1);
      cairo_move_to(cr, x0, y0);
      cairo_line_to(cr, x1, y1);
    }
    cairo_stroke(cr);
    circle(cr, cx, cy, 25.5);
    cairo_pattern_t* cap = cairo_pattern_create_linear(cx - 18, cy - 18, cx + 18, cy + 18);
    cairo_pattern_add_color_stop_rgb(cap, 0, 0.44, 0.46, 0.49);
    cairo_pattern_add_color_stop_rgb(cap, 1, 0.15, 0.16, 0.18);
    cairo_set_source(cr, cap);
    cairo_fill_preserve(cr);
    cairo_pattern_destroy(cap);
    cairo_set_line_width(cr, 0.8);
    cairo_set_source_rgba(cr, 0, 0, 0, 0.6);
    cairo_stroke(cr);
    double dx, dy;
    polar(cx, cy, 16.0, angle, dx, dy);
    cairo_pattern_t* dimple = cairo_pattern_create_radial(dx + 1, dy + 1, 0.5, dx, dy, 5.5);
    cairo_pattern_add_color_stop_rgb(dimple, 0, 0.32, 0.33, 0.36);
    cairo_pattern_add_color_stop_rgb(dimple, 1, 0.08, 0.08, 0.09);
    cairo_set_source(cr, dimple);
    circle(cr, dx, dy, 5.5);
    cairo_fill(cr);
    cairo_pattern_destroy(dimple);
    double mx, my;
    polar(cx, cy, 28.5, angle, mx, my);
    circle(cr, mx, my, 1.3);
    source(cr, lampColour(Lamp::Amber));
    cairo_fill(cr);
  }
}

// ---------------------------------------------------------------- LCD sheet

void paintLcdFont(cairo_t* cr, const Entry& e) {
  // Five columns inside the 9.6-point pitch, seven rows inside 18 points.
  const double pitchX = (9.6 - 1.2) / kDotColumns, pitchY = 2.0;
  const double inkX = pitchX * 0.84, inkY = pitchY * 0.84;
  source(cr, kLcdInk);
  for (int c = 0; c < e.frames; ++c) {
    if (!hasGlyph(static_cast<char32_t>(c))) continue;
    const auto rows = glyphRows(static_cast<char32_t>(c));
    const double y0 = e.size.height * c + 2.0;
    for (int r = 0; r < kDotRows; ++r)
      for (int col = 0; col < kDotColumns; ++col)
        if (rows[static_cast<size_t>(r)] & (1u << (kDotColumns - 1 - col)))
          cairo_rectangle(cr, 0.6 + col * pitchX, y0 + r * pitchY, inkX, inkY);
  }
  cairo_fill(cr);
}

// ---------------------------------------------------------------- panel

void silk(cairo_t* cr, std::string_view text, double cx, double y, double dot = 0.9) {
  const double w = textWidthInDots(text) * dot;
  dots(cr, text, cx - w / 2, y, dot, hex(0xcfd2d6), 0.92);
}

void scale(cairo_t* cr, double cx, double cy, double r0, double r1, int positions, double from, double to) {
  cairo_set_line_width(cr, 0.9);
  cairo_set_source_rgba(cr, 0.85, 0.86, 0.88, 0.85);
  for (int i = 0; i < positions; ++i) {
    const double a = positions > 1 ? from + (to - from) * i / (positions - 1) : from;
    double x0, y0, x1, y1;
    polar(cx, cy, r0, a, x0, y0);
    polar(cx, cy, r1, a, x1, y1);
    cairo_move_to(cr, x0, y0);
    cairo_line_to(cr, x1, y1);
  }
  cairo_stroke(cr);
}

void section(cairo_t* cr, double x, double y, double w, double h, std::string_view title) {
  roundedRect(cr, x, y, w, h, 6);
  cairo_set_source_rgba(cr, 0, 0, 0, 0.22);
  cairo_fill_preserve(cr);
  cairo_set_line_width(cr, 0.8);
  cairo_set_source_rgba(cr, 1, 1, 1, 0.08);
  cairo_stroke(cr);
  if (!title.empty()) {
    const double dot = 0.8;
    const double tw = textWidthInDots(title) * dot;
    // The title sits on the top edge, over a gap in the outline.
    cairo_rectangle(cr, x + 10, y - 3.5, tw + 6, 7);
    source(cr, hex(0x222428));
    cairo_fill(cr);
    dots(cr, title, x + 13, y - 2.8, dot, lampColour(Lamp::Amber), 0.85);
  }
}

void paintPanel(cairo_t* cr, const Entry& e) {
  const double W = e.size.width, H = e.size.height;
  cairo_pattern_t* base = cairo_pattern_create_linear(0, 0, 0, H);
  cairo_pattern_add_color_stop_rgb(base, 0, 0.17, 0.18, 0.20);
  cairo_pattern_add_color_stop_rgb(base, 1, 0.09, 0.095, 0.105);
  cairo_set_source(cr, base);
  cairo_rectangle(cr, 0, 0, W, H);
  cairo_fill(cr);
  cairo_pattern_destroy(base);
  // Brushed metal: fine horizontal lines of varying strength.
  cairo_set_line_width(cr, 0.5);
  for (int i = 0; i < static_cast<int>(H * 2); ++i) {
    const double a = 0.012 + 0.012 * ((i * 7919) % 5) / 4.0;
    cairo_set_source_rgba(cr, 1, 1, 1, a);
    cairo_move_to(cr, 0, i * 0.5 + 0.25);
    cairo_line_to(cr, W, i * 0.5 + 0.25);
    cairo_stroke(cr);
  }
  // Name plate.
  dots(cr, "iGROOVEBIX", 17, 16, 1.4, hex(0xe8e8e4), 0.95);
  dots(cr, "RHYTHM SYNTHESIZER", 17, 28, 0.7, lampColour(Lamp::Amber), 0.8);

  section(cr, 320, 22, 404, 168, "SYNTH");
  section(cr, 446, 196, 278, 72, "EFFECT");
  section(cr, 12, 142, 298, 130, "");
  section(cr, 281, 270, 443, 68, "PART");

  // LCD bezel.
  roundedRect(cr, 79, 51, 150, 65, 5);
  source(cr, hex(0x050505));
  cairo_fill_preserve(cr);
  cairo_set_line_width(cr, 1.0);
  cairo_set_source_rgba(cr, 1, 1, 1, 0.12);
  cairo_stroke(cr);
  roundedRect(cr, 84, 56, 140, 55, 3);
  source(cr, hex(0x120604));
  cairo_fill(cr);

  for (const KnobSpot& k : panelKnobs()) {
    const double cx = k.x + k.w / 2, cy = k.y + k.w / 2;
    const bool dial = k.w > 60;
    circle(cr, cx, cy, k.w / 2 + 1.5);
    cairo_set_source_rgba(cr, 0, 0, 0, 0.35);
    cairo_fill(cr);
    if (dial)
      scale(cr, cx, cy, k.w / 2 + 3, k.w / 2 + 5.5, 24, 0, 345);
    else
      scale(cr, cx, cy, k.w / 2 + 2, k.w / 2 + 4.5, k.positions, -150, 150);
    if (dial)
      silk(cr, k.caption, cx, 39.5, 0.8);
    else
      silk(cr, k.caption, cx, k.y + k.w + 1.2, 0.85);
  }

  // Lamp captions: numbers right of each lamp (17-point lamps), the
  // page numbers above the page lamps.
  const struct {
    double x, y;
    const char* text;
  } lamps[] = {
      {328.5, 97.5, "1"}, {328.5, 118.5, "2"}, {369.5, 97.5, "3"}, {369.5, 118.5, "4"},
      {422, 97.5, "1"},   {422, 118.5, "2"},   {463, 97.5, "3"},   {463, 118.5, "4"},
      {504, 97.5, "5"},   {504, 118.5, "6"},   {324.5, 189, "1"},  {324.5, 209, "2"},
  };
  for (const auto& l : lamps) silk(cr, l.text, l.x + 21, l.y + 5.9, 0.75);
  for (int page = 0; page < 4; ++page) {
    const double xs[4] = {75, 97, 119, 140};
    silk(cr, std::string(1, static_cast<char>('1' + page)), xs[page] + 8.5, 283.5, 0.75);
  }
  silk(cr, "ORIG", 168.5, 40.5, 0.75);
  silk(cr, "BEAT", 222.5, 40.5, 0.75);
  silk(cr, "PLAY / PAGE", 112, 275, 0.75);

  // Sequencer strip.
  cairo_rectangle(cr, 0, 339, W, H - 339);
  cairo_set_source_rgba(cr, 0, 0, 0, 0.35);
  cairo_fill(cr);
  cairo_set_line_width(cr, 0.8);
  cairo_set_source_rgba(cr, 1, 1, 1, 0.10);
  cairo_move_to(cr, 0, 339.4);
  cairo_line_to(cr, W, 339.4);
  cairo_stroke(cr);

  // Screws.
  for (const auto& [sx, sy] : {std::pair{7.0, 7.0}, std::pair{W - 7.0, 7.0}}) {
    circle(cr, sx, sy, 3.2);
    cairo_pattern_t* screw = cairo_pattern_create_linear(sx - 3, sy - 3, sx + 3, sy + 3);
    cairo_pattern_add_color_stop_rgb(screw, 0, 0.62, 0.63, 0.65);
    cairo_pattern_add_color_stop_rgb(screw, 1, 0.22, 0.23, 0.25);
    cairo_set_source(cr, screw);
    cairo_fill(cr);
    cairo_pattern_destroy(screw);
    cairo_set_line_width(cr, 0.7);
    cairo_set_source_rgba(cr, 0, 0, 0, 0.7);
    cairo_move_to(cr, sx - 2, sy - 2);
    cairo_line_to(cr, sx + 2, sy + 2);
    cairo_stroke(cr);
  }
}

// ---------------------------------------------------------------- pictograms

void paintPictogram(cairo_t* cr, const Entry& e) {
  const double cx = e.size.width / 2, cy = e.size.height / 2;
  circle(cr, cx, cy, 50);
  source(cr, hex(0x24262a));
  cairo_fill(cr);
  cairo_save(cr);
  cairo_translate(cr, cx - 26.5, cy - 26.5);
  paintKnobFrame(cr, 26.5, 26.5, 30, false);
  cairo_restore(cr);
  source(cr, lampColour(Lamp::Amber));
  cairo_set_line_width(cr, 3.0);
  cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
  if (e.variant == 0) {
    // Drag up and down beside the knob.
    const double x = cx + 36;
    cairo_move_to(cr, x, cy - 28);
    cairo_line_to(cr, x, cy + 28);
    cairo_stroke(cr);
    for (double d : {-1.0, 1.0}) {
      cairo_move_to(cr, x, cy + 34 * d);
      cairo_line_to(cr, x - 6, cy + 25 * d);
      cairo_line_to(cr, x + 6, cy + 25 * d);
      cairo_close_path(cr);
      cairo_fill(cr);
    }
  } else {
    // Turn round the knob.
    cairo_new_path(cr);
    cairo_arc(cr, cx, cy, 36, rad(-200), rad(20));
    cairo_stroke(cr);
    double tx, ty;
    polar(cx, cy, 36, 110, tx, ty);
    cairo_move_to(cr, tx + 2, ty + 8);
    cairo_line_to(cr, tx - 8, ty - 2);
    cairo_line_to(cr, tx + 8, ty - 4);
    cairo_close_path(cr);
    cairo_fill(cr);
  }
  cairo_set_line_cap(cr, CAIRO_LINE_CAP_BUTT);
}

}  // namespace

RGB lampColour(Lamp lamp) {
  switch (lamp) {
    case Lamp::Amber: return {1.0, 0.66, 0.12};
    case Lamp::Red: return {1.0, 0.23, 0.13};
    case Lamp::Green: return {0.24, 1.0, 0.35};
    case Lamp::White: return {0.94, 0.96, 1.0};
    case Lamp::Cyan: return {0.21, 0.85, 1.0};
  }
  return {1, 1, 1};
}

RGB litColour(const Entry& face) {
  switch (face.look) {
    case Look::Active:
    case Look::ActivePressed: return lampColour(face.lamp);
    case Look::Selected:
    case Look::SelectedPressed:
      // A face whose only lit look is "selected" lights in its own colour.
      return face.lamp == Lamp::Cyan ? lampColour(Lamp::Cyan) : selectedColour(face.shape);
    case Look::Normal: break;
  }
  return {0, 0, 0};
}

const std::vector<KnobSpot>& panelKnobs() {
  static const std::vector<KnobSpot> spots = {
      {17, 66, 53, "MASTER", 11},     {240.5, 54.5, 66, "PATTERN / TEMPO", 24},
      {336.5, 32, 53, "PITCH", 11},   {413.5, 32, 53, "MOD DEPTH", 11},
      {490, 32, 53, "MOD SPEED", 11}, {581, 32, 53, "DECAY", 11},
      {657.5, 32, 53, "LEVEL", 11},   {581, 113, 53, "PAN", 11},
      {657.5, 113, 53, "LOW BOOST", 11}, {462, 204.5, 53, "FX TYPE", 8},
      {581, 204.5, 53, "FX EDIT 1", 11}, {657, 204.5, 53, "FX EDIT 2", 11},
  };
  return spots;
}

platform::ImagePtr paint(const Entry& e) {
  Canvas canvas(imageSize(e));
  switch (e.kind) {
    case Kind::Face: paintFace(canvas.cr, e); break;
    case Kind::Led: paintLed(canvas.cr, e); break;
    case Kind::LedBackplate: paintLedBackplate(canvas.cr); break;
    case Kind::KnobStrip: paintKnobStrip(canvas.cr, e); break;
    case Kind::EncoderStrip: paintEncoderStrip(canvas.cr, e); break;
    case Kind::LcdFont: paintLcdFont(canvas.cr, e); break;
    case Kind::Panel: paintPanel(canvas.cr, e); break;
    case Kind::Pictogram: paintPictogram(canvas.cr, e); break;
  }
  return canvas.finish();
}

}  // namespace artwork
