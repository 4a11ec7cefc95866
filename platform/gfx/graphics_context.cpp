#include "platform/gfx/graphics_context.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace platform {

namespace {

cairo_operator_t cairoOperator(BlendMode m) {
  switch (m) {
    case BlendMode::Normal: return CAIRO_OPERATOR_OVER;
    case BlendMode::Multiply: return CAIRO_OPERATOR_MULTIPLY;
    case BlendMode::Screen: return CAIRO_OPERATOR_SCREEN;
    case BlendMode::Overlay: return CAIRO_OPERATOR_OVERLAY;
    case BlendMode::Copy: return CAIRO_OPERATOR_SOURCE;
    case BlendMode::Clear: return CAIRO_OPERATOR_CLEAR;
    case BlendMode::SourceIn: return CAIRO_OPERATOR_IN;
    case BlendMode::SourceAtop: return CAIRO_OPERATOR_ATOP;
    case BlendMode::DestinationIn: return CAIRO_OPERATOR_DEST_IN;
    case BlendMode::DestinationOut: return CAIRO_OPERATOR_DEST_OUT;
    case BlendMode::PlusLighter: return CAIRO_OPERATOR_ADD;
  }
  return CAIRO_OPERATOR_OVER;
}

void setSource(cairo_t* cr, const Color& c) { cairo_set_source_rgba(cr, c.red(), c.green(), c.blue(), c.alpha()); }

cairo_matrix_t toCairo(const AffineTransform& t) {
  cairo_matrix_t m;
  cairo_matrix_init(&m, t.a, t.b, t.c, t.d, t.tx, t.ty);
  return m;
}

// Tangent arc in the manner of the platform: line to the first tangent point,
// then the arc; a degenerate corner is a line to the corner.
void cairoArcToPoint(cairo_t* cr, double x1, double y1, double x2, double y2, double r) {
  if (!cairo_has_current_point(cr)) {
    cairo_move_to(cr, x1, y1);
    return;
  }
  double x0, y0;
  cairo_get_current_point(cr, &x0, &y0);
  const double v1x = x0 - x1, v1y = y0 - y1, v2x = x2 - x1, v2y = y2 - y1;
  const double l1 = std::hypot(v1x, v1y), l2 = std::hypot(v2x, v2y);
  if (r <= 0 || l1 == 0 || l2 == 0) {
    cairo_line_to(cr, x1, y1);
    return;
  }
  const double u1x = v1x / l1, u1y = v1y / l1, u2x = v2x / l2, u2y = v2y / l2;
  const double cosTheta = std::clamp(u1x * u2x + u1y * u2y, -1.0, 1.0);
  const double theta = std::acos(cosTheta);
  if (theta < 1e-9 || std::fabs(theta - M_PI) < 1e-9) {
    cairo_line_to(cr, x1, y1);
    return;
  }
  const double dist = r / std::tan(theta / 2);
  const double t1x = x1 + u1x * dist, t1y = y1 + u1y * dist;
  const double t2x = x1 + u2x * dist, t2y = y1 + u2y * dist;
  double bx = u1x + u2x, by = u1y + u2y;
  const double bl = std::hypot(bx, by);
  bx /= bl;
  by /= bl;
  const double cd = r / std::sin(theta / 2);
  const double cx = x1 + bx * cd, cy = y1 + by * cd;
  const double a1 = std::atan2(t1y - cy, t1x - cx);
  const double a2 = std::atan2(t2y - cy, t2x - cx);
  // Direction of travel p0 -> p1 -> p2; a positive turn runs with the
  // angle (clockwise on the y-down screen).
  const double turn = (-u1x) * u2y - (-u1y) * u2x;
  cairo_line_to(cr, t1x, t1y);
  if (turn > 0)
    cairo_arc(cr, cx, cy, r, a1, a2);
  else
    cairo_arc_negative(cr, cx, cy, r, a1, a2);
}

void cairoArc(cairo_t* cr, double cx, double cy, double r, double a0, double a1, bool clockwise) {
  // On the y-down screen Cairo's increasing angles run clockwise.
  if (clockwise)
    cairo_arc(cr, cx, cy, r, a0, a1);
  else
    cairo_arc_negative(cr, cx, cy, r, a0, a1);
}


void cairoEllipse(cairo_t* cr, const Rect& rect) {
  const Rect r = rect.standardized();
  if (r.width() <= 0 || r.height() <= 0) return;
  cairo_save(cr);
  cairo_translate(cr, r.midX(), r.midY());
  cairo_scale(cr, r.width() / 2, r.height() / 2);
  cairo_new_sub_path(cr);
  cairo_arc(cr, 0, 0, 1, 0, 2 * M_PI);
  cairo_close_path(cr);
  cairo_restore(cr);
}

// A 1x1 scratch context for path queries.
struct Scratch {
  cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_A8, 1, 1);
  cairo_t* cr = cairo_create(s);
  ~Scratch() {
    cairo_destroy(cr);
    cairo_surface_destroy(s);
  }
};

// Cairo hands paths out in user space; these keep them in device space so a
// path survives a change of the transform (as the platform's does).
cairo_path_t* copyDevicePath(cairo_t* cr) {
  cairo_matrix_t m;
  cairo_get_matrix(cr, &m);
  cairo_identity_matrix(cr);
  cairo_path_t* p = cairo_copy_path(cr);
  cairo_set_matrix(cr, &m);
  return p;
}

void appendDevicePath(cairo_t* cr, cairo_path_t* p) {
  cairo_matrix_t m;
  cairo_get_matrix(cr, &m);
  cairo_identity_matrix(cr);
  cairo_append_path(cr, p);
  cairo_set_matrix(cr, &m);
  cairo_path_destroy(p);
}

thread_local std::vector<GraphicsContext*> tContextStack;

struct ImageContextEntry {
  cairo_surface_t* surface;
  std::unique_ptr<GraphicsContext> context;
  double scale;
};
thread_local std::vector<ImageContextEntry> tImageContexts;

double& defaultScaleRef() {
  static double scale = 1.0;
  return scale;
}

// Box sizes of a three-pass box blur matching a Gaussian of sigma.
void boxSizes(double sigma, int sizes[3]) {
  const double ideal = std::sqrt(12.0 * sigma * sigma / 3.0 + 1.0);
  int wl = static_cast<int>(std::floor(ideal));
  if (wl % 2 == 0) --wl;
  const int wu = wl + 2;
  const double mIdeal = (12.0 * sigma * sigma - 3.0 * wl * wl - 12.0 * wl - 9.0) / (-4.0 * wl - 4.0);
  const int m = static_cast<int>(std::lround(mIdeal));
  for (int i = 0; i < 3; ++i) sizes[i] = i < m ? wl : wu;
}

void boxPass(const uint8_t* src, uint8_t* dst, int n, int stride, int radius) {
  if (radius <= 0) {
    for (int i = 0; i < n; ++i) dst[i * stride] = src[i * stride];
    return;
  }
  const int w = 2 * radius + 1;
  int sum = 0;
  for (int k = -radius; k <= radius; ++k) sum += src[std::clamp(k, 0, n - 1) * stride];
  for (int i = 0; i < n; ++i) {
    dst[i * stride] = static_cast<uint8_t>((sum + w / 2) / w);
    sum += src[std::clamp(i + radius + 1, 0, n - 1) * stride] - src[std::clamp(i - radius, 0, n - 1) * stride];
  }
}

// The shadow part of paintWithShadow.
void paintShadowOnly(cairo_t* cr, cairo_pattern_t* content, Size offset, double sigma, const Color& c, double alpha,
                     cairo_operator_t op) {
  // Device-space extents of the drawing surface.
  double x0, y0, x1, y1;
  cairo_save(cr);
  cairo_reset_clip(cr);
  cairo_identity_matrix(cr);
  cairo_clip_extents(cr, &x0, &y0, &x1, &y1);
  cairo_restore(cr);
  const int ix = static_cast<int>(std::floor(x0)), iy = static_cast<int>(std::floor(y0));
  const int w = static_cast<int>(std::ceil(x1)) - ix, h = static_cast<int>(std::ceil(y1)) - iy;
  if (w <= 0 || h <= 0) return;

  cairo_surface_t* a8 = cairo_image_surface_create(CAIRO_FORMAT_A8, w, h);
  cairo_t* m = cairo_create(a8);
  cairo_translate(m, -ix, -iy);
  // The content pattern maps user space to its own; in `m` user space is
  // device space, so prefix the device-to-user transform.
  cairo_matrix_t userToPattern, deviceToUser, deviceToPattern;
  cairo_pattern_get_matrix(content, &userToPattern);
  cairo_get_matrix(cr, &deviceToUser);
  cairo_matrix_invert(&deviceToUser);
  cairo_matrix_multiply(&deviceToPattern, &deviceToUser, &userToPattern);
  cairo_pattern_set_matrix(content, &deviceToPattern);
  cairo_set_source(m, content);
  cairo_paint(m);
  cairo_pattern_set_matrix(content, &userToPattern);
  cairo_destroy(m);
  cairo_surface_flush(a8);

  if (sigma > 0.0) {
    const int stride = cairo_image_surface_get_stride(a8);
    unsigned char* data = cairo_image_surface_get_data(a8);
    std::vector<uint8_t> buf(static_cast<size_t>(w) * h);
    for (int y = 0; y < h; ++y) std::memcpy(&buf[static_cast<size_t>(y) * w], data + y * stride, w);
    blurAlpha(buf, w, h, sigma);
    for (int y = 0; y < h; ++y) std::memcpy(data + y * stride, &buf[static_cast<size_t>(y) * w], w);
    cairo_surface_mark_dirty(a8);
  }

  cairo_save(cr);
  cairo_identity_matrix(cr);
  cairo_set_operator(cr, op);
  cairo_set_source_rgba(cr, c.red(), c.green(), c.blue(), c.alpha() * alpha);
  cairo_mask_surface(cr, a8, ix + offset.width, iy + offset.height);
  cairo_restore(cr);
  cairo_surface_destroy(a8);
}

}  // namespace

void cairoRoundedRect(cairo_t* cr, const Rect& rect, double radius) {
  const Rect r = rect.standardized();
  const double rad = std::min({radius, r.width() / 2, r.height() / 2});
  if (rad <= 0) {
    cairo_rectangle(cr, r.minX(), r.minY(), r.width(), r.height());
    return;
  }
  cairo_new_sub_path(cr);
  cairo_arc(cr, r.maxX() - rad, r.minY() + rad, rad, -M_PI / 2, 0);
  cairo_arc(cr, r.maxX() - rad, r.maxY() - rad, rad, 0, M_PI / 2);
  cairo_arc(cr, r.minX() + rad, r.maxY() - rad, rad, M_PI / 2, M_PI);
  cairo_arc(cr, r.minX() + rad, r.minY() + rad, rad, M_PI, 3 * M_PI / 2);
  cairo_close_path(cr);
}

void paintWithShadow(cairo_t* cr, cairo_pattern_t* content, Size offsetPixels, double blurPixels, const Color& color,
                     double alpha, cairo_operator_t op) {
  if (color.alpha() > 0) paintShadowOnly(cr, content, offsetPixels, blurPixels, color, alpha, op);
  cairo_save(cr);
  cairo_set_operator(cr, op);
  cairo_set_source(cr, content);
  cairo_paint_with_alpha(cr, alpha);
  cairo_restore(cr);
}

// ---------------------------------------------------------------- Path

void Path::moveTo(Point p) {
  elements_.push_back({Op::Move, {p, {}, {}}});
  current_ = p;
  subpathStart_ = p;
}

void Path::addLineTo(Point p) {
  if (!current_) return moveTo(p);
  elements_.push_back({Op::Line, {p, {}, {}}});
  current_ = p;
}

void Path::addCurveTo(Point c1, Point c2, Point end) {
  if (!current_) moveTo(c1);
  elements_.push_back({Op::Curve, {c1, c2, end}});
  current_ = end;
}

void Path::closePath() {
  if (!current_) return;
  elements_.push_back({Op::Close, {}});
  current_ = subpathStart_;
}

// Arcs and rounded shapes are flattened into Cairo's curves once, through a
// scratch context, so that a Path holds only moves, lines and curves.
namespace {
template <typename F>
void appendVia(Path& path, std::optional<Point> current, F&& build) {
  Scratch s;
  if (current) cairo_move_to(s.cr, current->x, current->y);
  build(s.cr);
  cairo_path_t* cp = cairo_copy_path(s.cr);
  for (int i = 0; i < cp->num_data; i += cp->data[i].header.length) {
    const cairo_path_data_t* d = &cp->data[i];
    switch (d->header.type) {
      case CAIRO_PATH_MOVE_TO:
        if (!(i == 0 && current)) path.moveTo({d[1].point.x, d[1].point.y});
        break;
      case CAIRO_PATH_LINE_TO: path.addLineTo({d[1].point.x, d[1].point.y}); break;
      case CAIRO_PATH_CURVE_TO:
        path.addCurveTo({d[1].point.x, d[1].point.y}, {d[2].point.x, d[2].point.y}, {d[3].point.x, d[3].point.y});
        break;
      case CAIRO_PATH_CLOSE_PATH: path.closePath(); break;
    }
  }
  cairo_path_destroy(cp);
}
}  // namespace

void Path::addArcToPoint(Point p1, Point p2, double radius) {
  appendVia(*this, current_, [&](cairo_t* cr) { cairoArcToPoint(cr, p1.x, p1.y, p2.x, p2.y, radius); });
}

void Path::addArc(Point c, double radius, double a0, double a1, bool clockwise) {
  appendVia(*this, current_, [&](cairo_t* cr) { cairoArc(cr, c.x, c.y, radius, a0, a1, clockwise); });
}

void Path::addRect(const Rect& r) {
  moveTo({r.minX(), r.minY()});
  addLineTo({r.maxX(), r.minY()});
  addLineTo({r.maxX(), r.maxY()});
  addLineTo({r.minX(), r.maxY()});
  closePath();
}

void Path::addEllipseInRect(const Rect& r) {
  appendVia(*this, std::nullopt, [&](cairo_t* cr) { cairoEllipse(cr, r); });
}

void Path::addRoundedRect(const Rect& r, double radius) {
  appendVia(*this, std::nullopt, [&](cairo_t* cr) { cairoRoundedRect(cr, r, radius); });
}

Path Path::rect(const Rect& r) {
  Path p;
  p.addRect(r);
  return p;
}

Path Path::roundedRect(const Rect& r, double radius) {
  Path p;
  p.addRoundedRect(r, radius);
  return p;
}

Path Path::ellipse(const Rect& r) {
  Path p;
  p.addEllipseInRect(r);
  return p;
}

void Path::appendTo(cairo_t* cr) const {
  for (const Element& e : elements_) {
    switch (e.op) {
      case Op::Move: cairo_move_to(cr, e.p[0].x, e.p[0].y); break;
      case Op::Line: cairo_line_to(cr, e.p[0].x, e.p[0].y); break;
      case Op::Curve: cairo_curve_to(cr, e.p[0].x, e.p[0].y, e.p[1].x, e.p[1].y, e.p[2].x, e.p[2].y); break;
      case Op::Close: cairo_close_path(cr); break;
    }
  }
}

bool Path::contains(Point p, FillRule rule) const {
  Scratch s;
  appendTo(s.cr);
  cairo_set_fill_rule(s.cr, rule == FillRule::EvenOdd ? CAIRO_FILL_RULE_EVEN_ODD : CAIRO_FILL_RULE_WINDING);
  return cairo_in_fill(s.cr, p.x, p.y);
}

Rect Path::bounds() const {
  if (elements_.empty()) return Rect::null();
  Scratch s;
  appendTo(s.cr);
  double x0, y0, x1, y1;
  cairo_path_extents(s.cr, &x0, &y0, &x1, &y1);
  return {x0, y0, x1 - x0, y1 - y0};
}

// ---------------------------------------------------------------- context

GraphicsContext::GraphicsContext(cairo_t* cr, double baseScale, bool applyScale)
    : cr_(cr), baseScale_(baseScale > 0 ? baseScale : 1.0) {
  cairo_reference(cr_);
  if (applyScale) cairo_scale(cr_, baseScale_, baseScale_);
  cairo_get_matrix(cr_, &baseMatrix_);
  states_.emplace_back();
}

GraphicsContext::GraphicsContext(cairo_surface_t* surface, double baseScale)
    : cr_(cairo_create(surface)), baseScale_(baseScale > 0 ? baseScale : 1.0) {
  cairo_scale(cr_, baseScale_, baseScale_);
  cairo_get_matrix(cr_, &baseMatrix_);
  states_.emplace_back();
}

GraphicsContext::~GraphicsContext() {
  while (!layerStates_.empty()) endTransparencyLayer();
  cairo_destroy(cr_);
}

void GraphicsContext::saveGState() {
  cairo_save(cr_);
  states_.push_back(states_.back());
}

void GraphicsContext::restoreGState() {
  if (states_.size() <= 1) return;
  // The current path is not part of the graphics state.
  cairo_path_t* path = copyDevicePath(cr_);
  cairo_restore(cr_);
  cairo_new_path(cr_);
  appendDevicePath(cr_, path);
  states_.pop_back();
}

void GraphicsContext::translateCTM(double dx, double dy) { cairo_translate(cr_, dx, dy); }
void GraphicsContext::scaleCTM(double sx, double sy) { cairo_scale(cr_, sx, sy); }
void GraphicsContext::rotateCTM(double radians) { cairo_rotate(cr_, radians); }
void GraphicsContext::concatCTM(const AffineTransform& t) {
  const cairo_matrix_t m = toCairo(t);
  cairo_transform(cr_, &m);
}

AffineTransform GraphicsContext::ctm() const {
  cairo_matrix_t m;
  cairo_get_matrix(cr_, &m);
  cairo_matrix_t inv = baseMatrix_;
  cairo_matrix_invert(&inv);
  cairo_matrix_t r;
  cairo_matrix_multiply(&r, &m, &inv);
  return {r.xx, r.yx, r.xy, r.yy, r.x0, r.y0};
}

void GraphicsContext::setFillColor(const Color& c) { states_.back().fill = c; }
void GraphicsContext::setStrokeColor(const Color& c) { states_.back().stroke = c; }
void GraphicsContext::setLineWidth(double w) { cairo_set_line_width(cr_, w); }
void GraphicsContext::setLineCap(LineCap cap) {
  cairo_set_line_cap(cr_, cap == LineCap::Butt    ? CAIRO_LINE_CAP_BUTT
                          : cap == LineCap::Round ? CAIRO_LINE_CAP_ROUND
                                                  : CAIRO_LINE_CAP_SQUARE);
}
void GraphicsContext::setLineJoin(LineJoin join) {
  cairo_set_line_join(cr_, join == LineJoin::Miter   ? CAIRO_LINE_JOIN_MITER
                           : join == LineJoin::Round ? CAIRO_LINE_JOIN_ROUND
                                                     : CAIRO_LINE_JOIN_BEVEL);
}
void GraphicsContext::setAlpha(double alpha) { states_.back().alpha = std::clamp(alpha, 0.0, 1.0); }
void GraphicsContext::setBlendMode(BlendMode mode) { states_.back().blend = mode; }

void GraphicsContext::setShadow(Size offset, double blur, std::optional<Color> color) {
  State& st = states_.back();
  st.hasShadow = true;
  st.shadowOffset = offset;
  st.shadowBlur = std::max(0.0, blur);
  st.shadowColor = color ? *color : Color::black().withAlpha(1.0 / 3.0);
  if (st.shadowColor.alpha() <= 0) st.hasShadow = false;
}

void GraphicsContext::clearShadow() { states_.back().hasShadow = false; }

void GraphicsContext::beginPath() { cairo_new_path(cr_); }
void GraphicsContext::moveTo(double x, double y) { cairo_move_to(cr_, x, y); }
void GraphicsContext::addLineTo(double x, double y) {
  if (!cairo_has_current_point(cr_))
    cairo_move_to(cr_, x, y);
  else
    cairo_line_to(cr_, x, y);
}
void GraphicsContext::addArcToPoint(double x1, double y1, double x2, double y2, double r) {
  cairoArcToPoint(cr_, x1, y1, x2, y2, r);
}
void GraphicsContext::addArc(double cx, double cy, double r, double a0, double a1, bool clockwise) {
  cairoArc(cr_, cx, cy, r, a0, a1, clockwise);
}
void GraphicsContext::addRect(const Rect& r) { cairo_rectangle(cr_, r.origin.x, r.origin.y, r.size.width, r.size.height); }
void GraphicsContext::addEllipseInRect(const Rect& r) { cairoEllipse(cr_, r); }
void GraphicsContext::addPath(const Path& p) { p.appendTo(cr_); }
void GraphicsContext::closePath() { cairo_close_path(cr_); }
bool GraphicsContext::isPathEmpty() const {
  cairo_path_t* p = cairo_copy_path(cr_);
  const bool empty = p->num_data == 0;
  cairo_path_destroy(p);
  return empty;
}

void GraphicsContext::paintWith(const std::function<void()>& draw) {
  const State& st = states_.back();
  if (!st.hasShadow && !st.mask && st.alpha >= 1.0) {
    cairo_set_operator(cr_, cairoOperator(st.blend));
    draw();
    cairo_set_operator(cr_, CAIRO_OPERATOR_OVER);
    return;
  }
  // Drawn into a group first: the shadow needs all of it, and a partial
  // alpha applies to the whole shape (overlapping strokes do not darken).
  cairo_save(cr_);
  if (st.hasShadow) cairo_reset_clip(cr_);
  cairo_push_group(cr_);
  cairo_set_operator(cr_, CAIRO_OPERATOR_OVER);
  draw();
  cairo_pattern_t* content = cairo_pop_group(cr_);
  cairo_restore(cr_);
  compositeContent(content, st);
  cairo_pattern_destroy(content);
}

void GraphicsContext::compositeContent(cairo_pattern_t* content, const State& st) {
  if (st.hasShadow) drawShadowOf(content);
  cairo_save(cr_);
  cairo_set_operator(cr_, cairoOperator(st.blend));
  if (st.mask) {
    cairo_push_group(cr_);
    cairo_set_source(cr_, content);
    cairo_paint(cr_);
    cairo_pattern_t* masked = cairo_pop_group(cr_);
    cairo_push_group(cr_);
    cairo_set_source(cr_, masked);
    cairo_save(cr_);
    cairo_identity_matrix(cr_);
    cairo_set_operator(cr_, CAIRO_OPERATOR_SOURCE);
    cairo_mask(cr_, st.mask.get());
    cairo_restore(cr_);
    cairo_pattern_t* result = cairo_pop_group(cr_);
    cairo_pattern_destroy(masked);
    cairo_set_source(cr_, result);
    cairo_paint_with_alpha(cr_, st.alpha);
    cairo_pattern_destroy(result);
  } else {
    cairo_set_source(cr_, content);
    cairo_paint_with_alpha(cr_, st.alpha);
  }
  cairo_restore(cr_);
}

void GraphicsContext::drawShadowOf(cairo_pattern_t* content) {
  const State& st = states_.back();
  paintShadowOnly(cr_, content, {st.shadowOffset.width * baseScale_, st.shadowOffset.height * baseScale_},
                  st.shadowBlur * baseScale_ / 2.0, st.shadowColor, st.alpha, cairoOperator(st.blend));
}

void GraphicsContext::fillPath(FillRule rule) {
  const Color c = states_.back().fill;
  cairo_set_fill_rule(cr_, rule == FillRule::EvenOdd ? CAIRO_FILL_RULE_EVEN_ODD : CAIRO_FILL_RULE_WINDING);
  paintWith([&] {
    setSource(cr_, c);
    cairo_fill_preserve(cr_);
  });
  cairo_new_path(cr_);
}

void GraphicsContext::strokePath() {
  const Color c = states_.back().stroke;
  paintWith([&] {
    setSource(cr_, c);
    cairo_stroke_preserve(cr_);
  });
  cairo_new_path(cr_);
}

void GraphicsContext::fillRect(const Rect& r) {
  cairo_path_t* saved = copyDevicePath(cr_);
  cairo_new_path(cr_);
  addRect(r);
  fillPath();
  appendDevicePath(cr_, saved);
}

void GraphicsContext::strokeRect(const Rect& r) {
  cairo_path_t* saved = copyDevicePath(cr_);
  cairo_new_path(cr_);
  addRect(r);
  strokePath();
  appendDevicePath(cr_, saved);
}

void GraphicsContext::fillEllipseInRect(const Rect& r) {
  cairo_path_t* saved = copyDevicePath(cr_);
  cairo_new_path(cr_);
  addEllipseInRect(r);
  fillPath();
  appendDevicePath(cr_, saved);
}

void GraphicsContext::clearRect(const Rect& r) {
  cairo_save(cr_);
  cairo_new_path(cr_);
  cairo_set_operator(cr_, CAIRO_OPERATOR_CLEAR);
  cairo_rectangle(cr_, r.origin.x, r.origin.y, r.size.width, r.size.height);
  cairo_fill(cr_);
  cairo_restore(cr_);
}

void GraphicsContext::clip(FillRule rule) {
  cairo_set_fill_rule(cr_, rule == FillRule::EvenOdd ? CAIRO_FILL_RULE_EVEN_ODD : CAIRO_FILL_RULE_WINDING);
  cairo_clip(cr_);
}

void GraphicsContext::clipToRect(const Rect& r) {
  cairo_path_t* saved = copyDevicePath(cr_);
  cairo_new_path(cr_);
  cairo_rectangle(cr_, r.origin.x, r.origin.y, r.size.width, r.size.height);
  cairo_clip(cr_);
  appendDevicePath(cr_, saved);
}

void GraphicsContext::clipToMask(const Rect& r, const Image& mask) {
  // Coverage: the mask's alpha, or its luminance when it is fully opaque.
  const int w = mask.pixelWidth(), h = mask.pixelHeight();
  bool opaque = true;
  for (int y = 0; y < h && opaque; ++y)
    for (int x = 0; x < w && opaque; ++x)
      if (mask.pixel(x, y).a != 255) opaque = false;
  cairo_surface_t* a8 = cairo_image_surface_create(CAIRO_FORMAT_A8, w, h);
  unsigned char* data = cairo_image_surface_get_data(a8);
  const int stride = cairo_image_surface_get_stride(a8);
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      const Image::RGBA p = mask.pixel(x, y);
      data[y * stride + x] = opaque ? static_cast<uint8_t>((p.r * 77 + p.g * 150 + p.b * 29 + 128) >> 8) : p.a;
    }
  }
  cairo_surface_mark_dirty(a8);
  cairo_pattern_t* pattern = cairo_pattern_create_for_surface(a8);
  cairo_surface_destroy(a8);
  // Device to mask pixels: device -> user (now) -> the mask's rectangle.
  cairo_matrix_t deviceToUser, userToMask, deviceToMask;
  cairo_get_matrix(cr_, &deviceToUser);
  cairo_matrix_invert(&deviceToUser);
  cairo_matrix_init_identity(&userToMask);
  if (r.size.width != 0 && r.size.height != 0) {
    cairo_matrix_scale(&userToMask, w / r.size.width, h / r.size.height);
    cairo_matrix_translate(&userToMask, -r.origin.x, -r.origin.y);
  }
  cairo_matrix_multiply(&deviceToMask, &deviceToUser, &userToMask);
  cairo_pattern_set_matrix(pattern, &deviceToMask);
  cairo_pattern_set_filter(pattern, CAIRO_FILTER_BILINEAR);
  cairo_pattern_set_extend(pattern, CAIRO_EXTEND_PAD);
  states_.back().mask = std::shared_ptr<cairo_pattern_t>(pattern, cairo_pattern_destroy);
  clipToRect(r);
}

void GraphicsContext::drawImage(const Image& image, const Rect& r, BlendMode mode, double alpha) {
  drawSurface(image.surface(), image.pixelWidth(), image.pixelHeight(), r, mode, alpha);
}

void GraphicsContext::drawImage(const Image& image, const Rect& source, const Rect& r, BlendMode mode, double alpha) {
  // Whole pixels inside the image, as a cropped copy takes them.
  const Rect inside = source.standardized().intersection(Rect(0, 0, image.pixelWidth(), image.pixelHeight()));
  if (inside.isEmpty()) return;
  const int x0 = static_cast<int>(std::floor(inside.minX())), y0 = static_cast<int>(std::floor(inside.minY()));
  const int x1 = static_cast<int>(std::ceil(inside.maxX())), y1 = static_cast<int>(std::ceil(inside.maxY()));
  cairo_surface_t* frame = cairo_surface_create_for_rectangle(image.surface(), x0, y0, x1 - x0, y1 - y0);
  drawSurface(frame, x1 - x0, y1 - y0, r, mode, alpha);
  cairo_surface_destroy(frame);
}

void GraphicsContext::drawSurface(cairo_surface_t* source, int pixelWidth, int pixelHeight, const Rect& r,
                                  BlendMode mode, double alpha) {
  if (r.size.width == 0 || r.size.height == 0) return;
  State& st = states_.back();
  const BlendMode savedBlend = st.blend;
  const double savedAlpha = st.alpha;
  st.blend = mode;
  st.alpha = savedAlpha * std::clamp(alpha, 0.0, 1.0);
  paintWith([&] {
    cairo_save(cr_);
    cairo_new_path(cr_);
    cairo_translate(cr_, r.origin.x, r.origin.y);
    cairo_scale(cr_, r.size.width / pixelWidth, r.size.height / pixelHeight);
    cairo_set_source_surface(cr_, source, 0, 0);
    cairo_pattern_set_filter(cairo_get_source(cr_), CAIRO_FILTER_GOOD);
    // Stretched edges keep their own colour instead of fading out.
    cairo_pattern_set_extend(cairo_get_source(cr_), CAIRO_EXTEND_PAD);
    cairo_rectangle(cr_, 0, 0, pixelWidth, pixelHeight);
    cairo_fill(cr_);
    cairo_restore(cr_);
  });
  st.blend = savedBlend;
  st.alpha = savedAlpha;
}

void GraphicsContext::beginTransparencyLayer() {
  layerStates_.push_back(states_.back());
  cairo_save(cr_);
  cairo_push_group(cr_);
  State inner = states_.back();
  inner.alpha = 1.0;
  inner.hasShadow = false;
  inner.blend = BlendMode::Normal;
  inner.mask.reset();
  states_.push_back(inner);
}

void GraphicsContext::endTransparencyLayer() {
  if (layerStates_.empty()) return;
  cairo_pattern_t* content = cairo_pop_group(cr_);
  cairo_restore(cr_);
  states_.pop_back();
  const State outer = layerStates_.back();
  layerStates_.pop_back();
  compositeContent(content, outer);
  cairo_pattern_destroy(content);
}

// ---------------------------------------------------------------- stacks

GraphicsContext* currentGraphicsContext() { return tContextStack.empty() ? nullptr : tContextStack.back(); }
void pushGraphicsContext(GraphicsContext* c) { tContextStack.push_back(c); }
void popGraphicsContext() {
  if (!tContextStack.empty()) tContextStack.pop_back();
}

void beginImageContext(Size size, bool opaque, double scale) {
  if (scale <= 0) scale = defaultImageScale();
  const int w = std::max(1, static_cast<int>(std::ceil(size.width * scale - 1e-9)));
  const int h = std::max(1, static_cast<int>(std::ceil(size.height * scale - 1e-9)));
  cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, w, h);
  auto ctx = std::make_unique<GraphicsContext>(s, scale);
  if (opaque) {
    ctx->setFillColor(Color::black());
    ctx->fillRect({0, 0, size.width, size.height});
  }
  tImageContexts.push_back({s, std::move(ctx), scale});
  pushGraphicsContext(tImageContexts.back().context.get());
}

std::shared_ptr<Image> imageFromCurrentImageContext() {
  if (tImageContexts.empty()) return nullptr;
  const ImageContextEntry& e = tImageContexts.back();
  cairo_surface_flush(e.surface);
  cairo_surface_reference(e.surface);
  // A copy: drawing on after taking the image must not change it.
  auto shared = Image::adopt(e.surface, e.scale);
  if (!shared) return nullptr;
  return shared->cropped({0, 0, static_cast<double>(shared->pixelWidth()), static_cast<double>(shared->pixelHeight())},
                         e.scale);
}

void endImageContext() {
  if (tImageContexts.empty()) return;
  popGraphicsContext();
  ImageContextEntry e = std::move(tImageContexts.back());
  tImageContexts.pop_back();
  e.context.reset();
  cairo_surface_destroy(e.surface);
}

void setDefaultImageScale(double scale) { defaultScaleRef() = scale > 0 ? scale : 1.0; }
double defaultImageScale() { return defaultScaleRef(); }

void blurAlpha(std::vector<uint8_t>& alpha, int width, int height, double radius) {
  if (radius <= 0 || width <= 0 || height <= 0) return;
  int sizes[3];
  boxSizes(radius, sizes);
  std::vector<uint8_t> tmp(alpha.size());
  for (int pass = 0; pass < 3; ++pass) {
    const int r = (sizes[pass] - 1) / 2;
    for (int y = 0; y < height; ++y)
      boxPass(&alpha[static_cast<size_t>(y) * width], &tmp[static_cast<size_t>(y) * width], width, 1, r);
    for (int x = 0; x < width; ++x) boxPass(&tmp[x], &alpha[x], height, width, r);
  }
}

}  // namespace platform
