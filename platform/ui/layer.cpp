#include "platform/ui/layer.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "platform/gfx/graphics_context.h"
#include "platform/runloop/run_loop.h"
#include "platform/ui/device_box.h"

namespace platform {

namespace {

uint64_t gChangeCount = 0;
int gRunningAnimations = 0;
int gDisableActionsDepth = 0;
uint64_t gNextAnimationId = 1;
uint64_t gNextSerial = 0;
uint64_t gShadowRenders = 0;
uint64_t gDisplayRequests = 0;

// Where contents of `pts` points land in bounds `b` under `gravity`.
Rect placedRect(Layer::Gravity gravity, const Rect& b, Size pts) {
  switch (gravity) {
    case Layer::Gravity::Resize: return b;
    case Layer::Gravity::TopLeft: return {b.origin, pts};
    case Layer::Gravity::Center:
      return {b.midX() - pts.width / 2, b.midY() - pts.height / 2, pts.width, pts.height};
    case Layer::Gravity::ResizeAspect:
    case Layer::Gravity::ResizeAspectFill: {
      const double sx = b.size.width / pts.width, sy = b.size.height / pts.height;
      const double s = gravity == Layer::Gravity::ResizeAspect ? std::min(sx, sy) : std::max(sx, sy);
      const Size sz{pts.width * s, pts.height * s};
      return {b.midX() - sz.width / 2, b.midY() - sz.height / 2, sz.width, sz.height};
    }
  }
  return b;
}


double clockNow() { return RunLoop::main().now(); }

// Cubic bezier timing curves through (0,0), (x1,y1), (x2,y2), (1,1).
double bezier(double x1, double y1, double x2, double y2, double x) {
  const auto curve = [](double a, double b, double t) {
    const double u = 1 - t;
    return 3 * u * u * t * a + 3 * u * t * t * b + t * t * t;
  };
  const auto slope = [](double a, double b, double t) {
    const double u = 1 - t;
    return 3 * u * u * a + 6 * u * t * (b - a) + 3 * t * t * (1 - b);
  };
  double t = x;
  for (int i = 0; i < 8; ++i) {
    const double err = curve(x1, x2, t) - x;
    if (std::fabs(err) < 1e-7) break;
    const double d = slope(x1, x2, t);
    if (std::fabs(d) < 1e-6) break;
    t -= err / d;
  }
  // Fall back to bisection where Newton strays.
  if (t < 0 || t > 1 || std::fabs(curve(x1, x2, t) - x) > 1e-5) {
    double lo = 0, hi = 1;
    for (int i = 0; i < 40; ++i) {
      t = (lo + hi) / 2;
      if (curve(x1, x2, t) < x) lo = t;
      else hi = t;
    }
  }
  return curve(y1, y2, t);
}

double lerp(double a, double b, double p) { return a + (b - a) * p; }

AnimationValue interpolate(const AnimationValue& from, const AnimationValue& to, double p) {
  if (from.index() != to.index()) return p < 0.5 ? from : to;
  if (auto* a = std::get_if<double>(&from)) return lerp(*a, std::get<double>(to), p);
  if (auto* a = std::get_if<Point>(&from)) {
    const Point& b = std::get<Point>(to);
    return Point{lerp(a->x, b.x, p), lerp(a->y, b.y, p)};
  }
  if (auto* a = std::get_if<Rect>(&from)) {
    const Rect& b = std::get<Rect>(to);
    return Rect(lerp(a->origin.x, b.origin.x, p), lerp(a->origin.y, b.origin.y, p), lerp(a->size.width, b.size.width, p),
                lerp(a->size.height, b.size.height, p));
  }
  if (auto* a = std::get_if<AffineTransform>(&from)) {
    const AffineTransform& b = std::get<AffineTransform>(to);
    return AffineTransform{lerp(a->a, b.a, p),   lerp(a->b, b.b, p),   lerp(a->c, b.c, p),
                           lerp(a->d, b.d, p),   lerp(a->tx, b.tx, p), lerp(a->ty, b.ty, p)};
  }
  // A spring passing its end must not take a colour out of range.
  return std::get<Color>(from).interpolated(std::get<Color>(to), std::clamp(p, 0.0, 1.0));
}

void drawImageIn(cairo_t* cr, const Image& image, const Rect& r, double alpha) {
  if (r.size.width <= 0 || r.size.height <= 0 || alpha <= 0) return;
  cairo_save(cr);
  cairo_new_path(cr);
  cairo_translate(cr, r.origin.x, r.origin.y);
  cairo_scale(cr, r.size.width / image.pixelWidth(), r.size.height / image.pixelHeight());
  cairo_set_source_surface(cr, image.surface(), 0, 0);
  cairo_pattern_set_filter(cairo_get_source(cr), CAIRO_FILTER_GOOD);
  cairo_pattern_set_extend(cairo_get_source(cr), CAIRO_EXTEND_PAD);
  cairo_rectangle(cr, 0, 0, image.pixelWidth(), image.pixelHeight());
  cairo_clip(cr);
  cairo_paint_with_alpha(cr, alpha);
  cairo_restore(cr);
}

}  // namespace

double applyTiming(TimingFunction f, double t) {
  t = std::clamp(t, 0.0, 1.0);
  switch (f) {
    case TimingFunction::Linear: return t;
    case TimingFunction::EaseIn: return bezier(0.42, 0, 1, 1, t);
    case TimingFunction::EaseOut: return bezier(0, 0, 0.58, 1, t);
    case TimingFunction::EaseInEaseOut: return bezier(0.42, 0, 0.58, 1, t);
    case TimingFunction::Default: return bezier(0.25, 0.1, 0.25, 1, t);
  }
  return t;
}

double springProgress(const SpringTiming& spring, double t) {
  if (!(t > 0.0)) return 0.0;
  if (t >= 1.0) return 1.0;
  // A unit oscillator whose envelope has fallen to a thousandth of the
  // distance by the end of the duration.
  const double zeta = std::max(spring.dampingRatio, 0.05);
  const double v = spring.initialVelocity;
  if (zeta < 1.0) {
    const double w0 = std::log(1000.0) / zeta;
    const double wd = w0 * std::sqrt(1.0 - zeta * zeta);
    return 1.0 - std::exp(-zeta * w0 * t) * (std::cos(wd * t) + ((zeta * w0 - v) / wd) * std::sin(wd * t));
  }
  const double w0 = 9.23;  // e^-w0 (1 + w0) is about a thousandth
  return 1.0 - std::exp(-w0 * t) * (1.0 + (w0 - v) * t);
}

ScopedDisableActions::ScopedDisableActions() { ++gDisableActionsDepth; }
ScopedDisableActions::~ScopedDisableActions() { --gDisableActionsDepth; }
bool ScopedDisableActions::active() { return gDisableActionsDepth > 0; }

uint64_t Layer::changeCount() { return gChangeCount; }
void Layer::noteChange() { ++gChangeCount; }
bool Layer::anyAnimationRunning() { return gRunningAnimations > 0; }
uint64_t Layer::shadowRenders() { return gShadowRenders; }

Layer::Layer() : serial_(++gNextSerial), stamp_(++gChangeCount) {}

Layer::~Layer() {
  for (auto& s : sublayers_) s->superlayer_ = nullptr;
  gRunningAnimations -= static_cast<int>(animations_.size());
  if (shadowCache_.surface) cairo_surface_destroy(shadowCache_.surface);
}

void Layer::changed() { stamp_ = ++gChangeCount; }

// What this layer paints itself stays: only the stamp of its tree moves.
void Layer::sublayersChanged() { sublayersStamp_ = ++gChangeCount; }

// ---------------------------------------------------------------- geometry

void Layer::setBounds(const Rect& b) {
  if (b == bounds_) return;
  const AnimationValue shown = presentedValue("bounds", clockNow());
  bounds_ = b;
  implicitly("bounds", shown);
  changed();
}

void Layer::setPosition(Point p) {
  if (p == position_) return;
  const AnimationValue shown = presentedValue("position", clockNow());
  position_ = p;
  implicitly("position", shown);
  changed();
}

void Layer::setAnchorPoint(Point a) {
  if (a == anchor_) return;
  anchor_ = a;
  changed();
}

void Layer::setTransform(const AffineTransform& t) {
  if (t == transform_) return;
  const AnimationValue shown = presentedValue("transform", clockNow());
  transform_ = t;
  implicitly("transform", shown);
  changed();
}

AffineTransform Layer::transformToSuperlayer() const {
  // Bounds origin and anchor to (0, 0), then the transform, then to position.
  const double ax = bounds_.origin.x + anchor_.x * bounds_.size.width;
  const double ay = bounds_.origin.y + anchor_.y * bounds_.size.height;
  return AffineTransform::makeTranslation(-ax, -ay)
      .concat(transform_)
      .concat(AffineTransform::makeTranslation(position_.x, position_.y));
}

Point Layer::convertToSuperlayer(Point p) const { return transformToSuperlayer().apply(p); }
Point Layer::convertFromSuperlayer(Point p) const { return transformToSuperlayer().inverted().apply(p); }

Rect Layer::frame() const { return transformToSuperlayer().apply(bounds_); }

void Layer::setFrame(const Rect& rawFrame) {
  const Rect f = rawFrame.standardized();
  Size size = f.size;
  if (!transform_.isIdentity()) {
    if (transform_.isRectilinear() && transform_.a != 0 && transform_.d != 0) {
      size = {f.size.width / std::fabs(transform_.a), f.size.height / std::fabs(transform_.d)};
    } else {
      // Rotated or sheared: the size stays, the frame's centre moves.
      size = bounds_.size;
    }
  }
  setBounds(Rect(bounds_.origin, size));
  // The position that puts the transformed bounds' box on the frame (its
  // centre on the frame's centre when rotated).
  const Rect box = transformToSuperlayer().apply(bounds_);
  const bool straight = transform_.isRectilinear();
  const double dx = straight ? f.origin.x - box.origin.x : f.midX() - box.midX();
  const double dy = straight ? f.origin.y - box.origin.y : f.midY() - box.midY();
  setPosition({position_.x + dx, position_.y + dy});
}

// ---------------------------------------------------------------- appearance

void Layer::setContents(ImagePtr image) {
  if (image == contents_) return;
  ImagePtr old = contents_;
  contents_ = std::move(image);
  if (!ScopedDisableActions::active() && implicitEnabled_ && superlayer_ && !disabledActions_.count("contents")) {
    BasicAnimation a;
    a.keyPath = "contents";
    a.fromValue = 0.0;
    a.toValue = 1.0;
    addAnimation(a, "contents");
    animations_.at("contents").oldContents = std::move(old);
  }
  changed();
}

void Layer::setContentsGravity(Gravity g) {
  if (g == gravity_) return;
  gravity_ = g;
  changed();
}

void Layer::setContentsScale(double s) {
  if ((s > 0 ? s : 1.0) == contentsScale_) return;
  contentsScale_ = s > 0 ? s : 1.0;
  changed();
}

void Layer::setOpacity(double o) {
  if (o == opacity_) return;
  const AnimationValue shown = presentedValue("opacity", clockNow());
  opacity_ = o;
  implicitly("opacity", shown);
  changed();
}

void Layer::setHidden(bool h) {
  if (h == hidden_) return;
  hidden_ = h;
  changed();
}

void Layer::setBackgroundColor(std::optional<Color> c) {
  if (c == background_) return;
  const AnimationValue shown = presentedValue("backgroundColor", clockNow());
  background_ = c;
  implicitly("backgroundColor", shown);
  changed();
}

void Layer::setCornerRadius(double r) {
  if (r == cornerRadius_) return;
  cornerRadius_ = r;
  changed();
}
void Layer::setBorderWidth(double w) {
  if (w == borderWidth_) return;
  borderWidth_ = w;
  changed();
}
void Layer::setBorderColor(const Color& c) {
  if (c == borderColor_) return;
  borderColor_ = c;
  changed();
}
void Layer::setMasksToBounds(bool m) {
  if (m == masksToBounds_) return;
  masksToBounds_ = m;
  changed();
}
void Layer::setShadowColor(const Color& c) {
  if (c == shadowColor_) return;
  shadowColor_ = c;
  changed();
}
void Layer::setShadowOpacity(double o) {
  if (o == shadowOpacity_) return;
  shadowOpacity_ = o;
  changed();
}
void Layer::setShadowOffset(Size s) {
  if (s == shadowOffset_) return;
  shadowOffset_ = s;
  changed();
}
void Layer::setShadowRadius(double r) {
  if (r == shadowRadius_) return;
  shadowRadius_ = r;
  changed();
}

// ---------------------------------------------------------------- tree

void Layer::addSublayer(std::shared_ptr<Layer> layer) { insertSublayer(std::move(layer), sublayers_.size()); }

void Layer::insertSublayer(std::shared_ptr<Layer> layer, size_t index) {
  if (!layer || layer.get() == this) return;
  if (layer->superlayer_ == this) {
    // A move inside this layer: index counts without the layer itself.
    auto it = std::find(sublayers_.begin(), sublayers_.end(), layer);
    sublayers_.erase(it);
  } else {
    layer->removeFromSuperlayer();
  }
  index = std::min(index, sublayers_.size());
  sublayers_.insert(sublayers_.begin() + static_cast<std::ptrdiff_t>(index), layer);
  layer->superlayer_ = this;
  layer->changed();
  sublayersChanged();
}

void Layer::insertSublayerAbove(std::shared_ptr<Layer> layer, const Layer* sibling) {
  size_t index = sublayers_.size();
  for (size_t i = 0; i < sublayers_.size(); ++i)
    if (sublayers_[i].get() == sibling) index = i + 1;
  if (layer && layer->superlayer_ == this) {
    auto it = std::find(sublayers_.begin(), sublayers_.end(), layer);
    if (static_cast<size_t>(it - sublayers_.begin()) < index) --index;
  }
  insertSublayer(std::move(layer), index);
}

void Layer::insertSublayerBelow(std::shared_ptr<Layer> layer, const Layer* sibling) {
  size_t index = 0;
  for (size_t i = 0; i < sublayers_.size(); ++i)
    if (sublayers_[i].get() == sibling) index = i;
  if (layer && layer->superlayer_ == this) {
    auto it = std::find(sublayers_.begin(), sublayers_.end(), layer);
    if (static_cast<size_t>(it - sublayers_.begin()) < index) --index;
  }
  insertSublayer(std::move(layer), index);
}

void Layer::removeFromSuperlayer() {
  Layer* parent = superlayer_;
  if (!parent) return;
  // Keeps this layer alive while it is taken out.
  auto self = shared_from_this();
  auto& subs = parent->sublayers_;
  subs.erase(std::remove(subs.begin(), subs.end(), self), subs.end());
  superlayer_ = nullptr;
  changed();
  parent->sublayersChanged();
}

// ---------------------------------------------------------------- display

uint64_t Layer::displayRequests() { return gDisplayRequests; }

void Layer::setNeedsDisplay() {
  ++gDisplayRequests;
  needsDisplay_ = true;
  changed();
}

void Layer::displayIfNeeded() {
  if (!needsDisplay_) return;
  needsDisplay_ = false;
  if (delegate_) delegate_->displayLayer(*this);
}

void Layer::displayTree() {
  displayIfNeeded();
  // Copied: drawing may not change the tree, but be safe about it.
  const auto subs = sublayers_;
  for (const auto& s : subs) s->displayTree();
}

// ---------------------------------------------------------------- animations

void Layer::setActionDisabled(const std::string& key, bool disabled) {
  if (disabled)
    disabledActions_.insert(key);
  else
    disabledActions_.erase(key);
}

bool Layer::isActionDisabled(const std::string& key) const { return disabledActions_.count(key) > 0; }

bool Layer::wouldAnimateImplicitly(const std::string& key) const {
  return implicitEnabled_ && !ScopedDisableActions::active() && superlayer_ && !disabledActions_.count(key);
}

void Layer::implicitly(const std::string& key, AnimationValue from) {
  if (!wouldAnimateImplicitly(key)) return;
  BasicAnimation a;
  a.keyPath = key;
  // From what was on screen before the change (maybe mid-way through an
  // earlier animation).
  a.fromValue = from;
  addAnimation(a, key);
}

void Layer::addAnimation(BasicAnimation anim, const std::string& key) {
  const double now = clockNow();
  if (!anim.fromValue && anim.keyPath != "contents") {
    if (anim.keyPath == "transform.scale") {
      anim.fromValue = std::sqrt(std::fabs(transform_.a * transform_.d - transform_.b * transform_.c));
    } else {
      anim.fromValue = presentedValue(anim.keyPath, now);
    }
  }
  std::optional<Running> replaced;
  if (auto it = animations_.find(key); it != animations_.end()) {
    replaced = std::move(it->second);
    animations_.erase(it);
    --gRunningAnimations;
  }
  const uint64_t id = gNextAnimationId++;
  const double reps = anim.repeatCount > 1 ? anim.repeatCount : 1.0;
  const double total = std::max(0.0, anim.duration) * reps * (anim.autoreverses ? 2.0 : 1.0);
  const double delay = std::max(0.0, anim.delay);
  animations_[key] = Running{id, std::move(anim), now + delay, nullptr};
  ++gRunningAnimations;
  changed();
  if (std::isfinite(total)) {
    std::weak_ptr<Layer> weak = weak_from_this();
    RunLoop::main().performAfter(delay + total, [weak, key, id] {
      if (auto self = weak.lock()) self->finish(key, id);
    });
  }
  if (replaced && replaced->anim.didStop) replaced->anim.didStop(false);
}

void Layer::finish(const std::string& key, uint64_t id) {
  auto it = animations_.find(key);
  if (it == animations_.end() || it->second.id != id) return;
  auto didStop = std::move(it->second.anim.didStop);
  animations_.erase(it);
  --gRunningAnimations;
  changed();
  if (didStop) didStop(true);
}

void Layer::removeAnimation(const std::string& key) {
  auto it = animations_.find(key);
  if (it == animations_.end()) return;
  auto didStop = std::move(it->second.anim.didStop);
  animations_.erase(it);
  --gRunningAnimations;
  changed();
  if (didStop) didStop(false);
}

void Layer::removeAllAnimations() {
  std::vector<std::string> keys = animationKeys();
  for (const auto& k : keys) removeAnimation(k);
}

const BasicAnimation* Layer::animationForKey(const std::string& key) const {
  auto it = animations_.find(key);
  return it == animations_.end() ? nullptr : &it->second.anim;
}

std::vector<std::string> Layer::animationKeys() const {
  std::vector<std::string> keys;
  for (const auto& [k, r] : animations_) keys.push_back(k);
  return keys;
}

std::optional<double> Layer::progress(const Running& r, double t) const {
  const BasicAnimation& a = r.anim;
  const double local = t - r.start;
  if (local < 0) {
    if (a.fillBackwards) return 0.0;
    return std::nullopt;
  }
  const double d = a.duration;
  const double reps = a.repeatCount > 1 ? a.repeatCount : 1.0;
  const double total = d * reps * (a.autoreverses ? 2.0 : 1.0);
  if (d <= 0 || local >= total) return std::nullopt;
  double frac;
  if (a.autoreverses) {
    const double phase = std::fmod(local, 2 * d);
    frac = phase < d ? phase / d : 2.0 - phase / d;
  } else {
    frac = std::fmod(local, d) / d;
  }
  if (a.spring) {
    // The velocity is given per second; the spring runs on the time fraction.
    SpringTiming s = *a.spring;
    s.initialVelocity *= d;
    return springProgress(s, frac);
  }
  return applyTiming(a.timing, frac);
}

AnimationValue Layer::modelValue(std::string_view keyPath) const {
  if (keyPath == "opacity") return opacity_;
  if (keyPath == "position") return position_;
  if (keyPath == "bounds") return bounds_;
  if (keyPath == "transform") return transform_;
  if (keyPath == "transform.scale") return std::sqrt(std::fabs(transform_.a * transform_.d - transform_.b * transform_.c));
  if (keyPath == "backgroundColor") return background_.value_or(Color::clear());
  return 1.0;
}

std::optional<AnimationValue> Layer::animatedValue(std::string_view keyPath, double t) const {
  // An animation of the key path under any key (implicit ones use the key
  // path as their key, explicit ones any key).
  if (animations_.empty()) return std::nullopt;
  for (const auto& [key, r] : animations_) {
    if (r.anim.keyPath != keyPath) continue;
    auto p = progress(r, t);
    if (!p) continue;
    const AnimationValue from = r.anim.fromValue ? *r.anim.fromValue : modelValue(keyPath);
    const AnimationValue to = r.anim.toValue ? *r.anim.toValue : modelValue(keyPath);
    return interpolate(from, to, *p);
  }
  return std::nullopt;
}

AnimationValue Layer::presentedValue(std::string_view keyPath, double t) const {
  if (auto v = animatedValue(keyPath, t)) return *v;
  return modelValue(keyPath);
}

double Layer::presentedOpacity(double t) const {
  if (animations_.empty()) return opacity_;
  const AnimationValue v = presentedValue("opacity", t);
  return std::holds_alternative<double>(v) ? std::get<double>(v) : opacity_;
}

Point Layer::presentedPosition(double t) const {
  if (animations_.empty()) return position_;
  const AnimationValue v = presentedValue("position", t);
  return std::holds_alternative<Point>(v) ? std::get<Point>(v) : position_;
}

Rect Layer::presentedBounds(double t) const {
  if (animations_.empty()) return bounds_;
  const AnimationValue v = presentedValue("bounds", t);
  return std::holds_alternative<Rect>(v) ? std::get<Rect>(v) : bounds_;
}

AffineTransform Layer::presentedTransform(double t) const {
  if (animations_.empty()) return transform_;
  if (auto s = animatedValue("transform.scale", t); s && std::holds_alternative<double>(*s)) {
    const double k = std::get<double>(*s);
    // The scale part replaced, the rest of the transform kept.
    const double current = std::sqrt(std::fabs(transform_.a * transform_.d - transform_.b * transform_.c));
    const double f = current > 0 ? k / current : k;
    AffineTransform t2 = transform_;
    t2.a *= f;
    t2.b *= f;
    t2.c *= f;
    t2.d *= f;
    return t2;
  }
  const AnimationValue v = presentedValue("transform", t);
  return std::holds_alternative<AffineTransform>(v) ? std::get<AffineTransform>(v) : transform_;
}

std::optional<Color> Layer::presentedBackgroundColor(double t) const {
  if (auto v = animatedValue("backgroundColor", t); v && std::holds_alternative<Color>(*v)) return std::get<Color>(*v);
  return background_;
}

// ---------------------------------------------------------------- rendering

bool Layer::isDrawn(double t) const { return !hidden_ && std::clamp(presentedOpacity(t), 0.0, 1.0) > 0.0; }

bool Layer::hasShadow() const { return std::clamp(shadowOpacity_, 0.0, 1.0) * shadowColor_.alpha() > 0.0; }

double Layer::shadowReach(const cairo_matrix_t& ctm) const {
  // Three box passes of about the blur's sigma each, a little more when
  // rounded up to odd widths.
  const double sigma = shadowRadius_ * std::hypot(ctm.xx, ctm.yx) / 2.0;
  return std::ceil(3.0 * sigma) + 3.0;
}

Point Layer::shadowDeviceOffset(const cairo_matrix_t& ctm) const {
  double dx = shadowOffset_.width, dy = shadowOffset_.height;
  cairo_matrix_transform_distance(&ctm, &dx, &dy);
  return {dx, dy};
}

cairo_matrix_t Layer::presentedMatrix(double t) const {
  const Rect b = presentedBounds(t);
  const Point pos = presentedPosition(t);
  const AffineTransform tr = presentedTransform(t);
  cairo_matrix_t anchor, transform, place, tmp, out;
  cairo_matrix_init_translate(&anchor, -(b.origin.x + anchor_.x * b.size.width), -(b.origin.y + anchor_.y * b.size.height));
  cairo_matrix_init(&transform, tr.a, tr.b, tr.c, tr.d, tr.tx, tr.ty);
  cairo_matrix_init_translate(&place, pos.x, pos.y);
  cairo_matrix_multiply(&tmp, &anchor, &transform);
  cairo_matrix_multiply(&out, &tmp, &place);
  return out;
}

Rect Layer::paintedRect(double t) const {
  const Rect b = presentedBounds(t);
  Rect r = Rect::null();
  const auto bg = presentedBackgroundColor(t);
  if ((bg && bg->alpha() > 0) || (borderWidth_ > 0 && borderColor_.alpha() > 0)) r = b;
  const auto addImage = [&](const ImagePtr& img) {
    if (!img) return;
    Rect placed = placedRect(gravity_, b, {img->pixelWidth() / contentsScale_, img->pixelHeight() / contentsScale_});
    if (masksToBounds_ || gravity_ == Gravity::ResizeAspectFill) placed = placed.intersection(b);
    r = uniteBoxes(r, placed);
  };
  addImage(contents_);
  if (auto it = animations_.find("contents"); it != animations_.end()) addImage(it->second.oldContents);
  return r;
}

Rect Layer::deviceExtent(const cairo_matrix_t& ctm, double t, const Rect& clip) const {
  if (!isDrawn(t)) return Rect::null();
  Rect ext = deviceBox(ctm, paintedRect(t));
  const Rect subClip = masksToBounds_ ? clip.intersection(deviceBox(ctm, presentedBounds(t))) : clip;
  if (!subClip.isEmpty()) {
    for (const auto& sub : sublayers_) {
      const cairo_matrix_t local = sub->presentedMatrix(t);
      cairo_matrix_t m;
      cairo_matrix_multiply(&m, &local, &ctm);
      ext = uniteBoxes(ext, sub->deviceExtent(m, t, subClip));
    }
  }
  if (hasShadow() && !ext.isEmpty()) {
    const Point off = shadowDeviceOffset(ctm);
    const double reach = shadowReach(ctm);
    ext = ext.unionWith(ext.offsetBy(off.x, off.y)).insetBy(-reach, -reach);
  }
  return ext.isEmpty() ? Rect::null() : ext.intersection(clip);
}

uint64_t Layer::treeChangeStamp() const {
  uint64_t stamp = std::max(stamp_, sublayersStamp_);
  for (const auto& sub : sublayers_) stamp = std::max(stamp, sub->treeChangeStamp());
  return stamp;
}

bool Layer::treeAnimating() const {
  if (!animations_.empty()) return true;
  return std::any_of(sublayers_.begin(), sublayers_.end(), [](const LayerPtr& sub) { return sub->treeAnimating(); });
}

namespace {
thread_local const Layer::RenderCull* tRenderCull = nullptr;
}  // namespace

void Layer::setRenderCull(const RenderCull* cull) { tRenderCull = cull; }

void Layer::render(cairo_t* cr, double t, double deviceScale) {
  if (hidden_) return;
  if (tRenderCull && tRenderCull->skips(*this)) return;
  const double op = std::clamp(presentedOpacity(t), 0.0, 1.0);
  if (op <= 0.0) return;
  const Rect b = presentedBounds(t);
  const Point pos = presentedPosition(t);
  const AffineTransform tr = presentedTransform(t);

  cairo_save(cr);
  cairo_translate(cr, pos.x, pos.y);
  cairo_matrix_t m;
  cairo_matrix_init(&m, tr.a, tr.b, tr.c, tr.d, tr.tx, tr.ty);
  cairo_transform(cr, &m);
  cairo_translate(cr, -(b.origin.x + anchor_.x * b.size.width), -(b.origin.y + anchor_.y * b.size.height));

  if (hasShadow()) {
    renderShadowed(cr, t, deviceScale, op);
  } else if (op < 1.0) {
    cairo_push_group(cr);
    renderContent(cr, t, deviceScale);
    cairo_pop_group_to_source(cr);
    cairo_paint_with_alpha(cr, op);
  } else {
    renderContent(cr, t, deviceScale);
  }
  cairo_restore(cr);
}

void Layer::renderShadowed(cairo_t* cr, double t, double deviceScale, double opacity) {
  // The tree and its shadow go into a surface of their own, as large as
  // they reach and on the device's pixel grid, so that the blur covers
  // only them (not the whole window) and the result holds until the tree
  // changes, whatever part of the window is being redrawn.
  cairo_matrix_t ctm;
  cairo_get_matrix(cr, &ctm);
  constexpr double kUnbounded = 1e7;
  const Rect ext = deviceExtent(ctm, t, Rect(-kUnbounded, -kUnbounded, 2 * kUnbounded, 2 * kUnbounded));
  if (ext.isEmpty()) return;
  const int x = static_cast<int>(std::floor(ext.minX())), y = static_cast<int>(std::floor(ext.minY()));
  const int w = static_cast<int>(std::ceil(ext.maxX())) - x, h = static_cast<int>(std::ceil(ext.maxY())) - y;
  if (w <= 0 || h <= 0) return;

  ShadowCache& c = shadowCache_;
  const uint64_t stamp = treeChangeStamp();
  const bool current = c.surface && c.x == x && c.y == y && cairo_image_surface_get_width(c.surface) == w &&
                       cairo_image_surface_get_height(c.surface) == h && c.treeStamp == stamp &&
                       sameMatrix(c.ctm, ctm) && !treeAnimating();
  if (!current) {
    if (c.surface) cairo_surface_destroy(c.surface);
    c.surface = nullptr;
    cairo_surface_t* content = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, w, h);
    cairo_t* cc = cairo_create(content);
    cairo_translate(cc, -x, -y);
    cairo_transform(cc, &ctm);
    // The cached tree is drawn whole, whatever part of the window is being
    // redrawn now.
    const RenderCull* cull = tRenderCull;
    tRenderCull = nullptr;
    renderContent(cc, t, deviceScale);
    tRenderCull = cull;
    cairo_destroy(cc);
    cairo_surface_flush(content);

    cairo_surface_t* unit = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, w, h);
    cairo_t* cu = cairo_create(unit);
    cairo_pattern_t* pattern = cairo_pattern_create_for_surface(content);
    const Point off = shadowDeviceOffset(ctm);
    const double sigma = shadowRadius_ * std::hypot(ctm.xx, ctm.yx) / 2.0;
    const double shadowAlpha = std::clamp(shadowOpacity_, 0.0, 1.0) * shadowColor_.alpha();
    paintWithShadow(cu, pattern, {off.x, off.y}, sigma, shadowColor_.withAlpha(shadowAlpha), 1.0);
    cairo_pattern_destroy(pattern);
    cairo_destroy(cu);
    cairo_surface_destroy(content);
    cairo_surface_flush(unit);
    c = {unit, x, y, stamp, ctm};
    ++gShadowRenders;
  }
  cairo_save(cr);
  cairo_identity_matrix(cr);
  cairo_set_source_surface(cr, c.surface, c.x, c.y);
  cairo_paint_with_alpha(cr, opacity);
  cairo_restore(cr);
}

void Layer::renderContent(cairo_t* cr, double t, double deviceScale) {
  const Rect b = presentedBounds(t);
  if (auto bg = presentedBackgroundColor(t); bg && bg->alpha() > 0) {
    cairo_new_path(cr);
    cairoRoundedRect(cr, b, cornerRadius_);
    cairo_set_source_rgba(cr, bg->red(), bg->green(), bg->blue(), bg->alpha());
    cairo_fill(cr);
  }

  // Contents, with a cross-fade while a contents animation runs.
  double newAlpha = 1.0;
  ImagePtr old;
  if (auto it = animations_.find("contents"); it != animations_.end()) {
    if (auto p = progress(it->second, t)) {
      newAlpha = *p;
      old = it->second.oldContents;
    }
  }
  const auto placed = [&](const Image& img) -> Rect {
    return placedRect(gravity_, b, {img.pixelWidth() / contentsScale_, img.pixelHeight() / contentsScale_});
  };
  if (contents_ || old) {
    cairo_save(cr);
    if (masksToBounds_ || gravity_ == Gravity::ResizeAspectFill) {
      cairo_new_path(cr);
      cairoRoundedRect(cr, b, cornerRadius_);
      cairo_clip(cr);
    }
    if (old) drawImageIn(cr, *old, placed(*old), 1.0 - newAlpha);
    if (contents_) drawImageIn(cr, *contents_, placed(*contents_), newAlpha);
    cairo_restore(cr);
  }

  if (!sublayers_.empty()) {
    cairo_save(cr);
    if (masksToBounds_) {
      cairo_new_path(cr);
      cairoRoundedRect(cr, b, cornerRadius_);
      cairo_clip(cr);
    }
    const auto subs = sublayers_;
    for (const auto& s : subs) s->render(cr, t, deviceScale);
    cairo_restore(cr);
  }

  if (borderWidth_ > 0 && borderColor_.alpha() > 0) {
    cairo_new_path(cr);
    cairoRoundedRect(cr, b.insetBy(borderWidth_ / 2, borderWidth_ / 2).isNull() ? b : b.insetBy(borderWidth_ / 2, borderWidth_ / 2),
                    std::max(0.0, cornerRadius_ - borderWidth_ / 2));
    cairo_set_line_width(cr, borderWidth_);
    cairo_set_source_rgba(cr, borderColor_.red(), borderColor_.green(), borderColor_.blue(), borderColor_.alpha());
    cairo_stroke(cr);
  }
}

}  // namespace platform
