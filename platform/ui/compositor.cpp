#include "platform/ui/compositor.h"

#include <algorithm>
#include <cmath>

#include "platform/ui/device_box.h"
#include "platform/ui/layer.h"

namespace platform {

namespace {

PixelRect bounding(const PixelRect& a, const PixelRect& b) {
  const int x0 = std::min(a.x, b.x), y0 = std::min(a.y, b.y);
  const int x1 = std::max(a.x + a.width, b.x + b.width), y1 = std::max(a.y + a.height, b.y + b.height);
  return {x0, y0, x1 - x0, y1 - y0};
}

bool touching(const PixelRect& a, const PixelRect& b) {
  return a.x <= b.x + b.width && b.x <= a.x + a.width && a.y <= b.y + b.height && b.y <= a.y + a.height;
}

// More rectangles than this are drawn as their bounding box.
constexpr size_t kMaxRects = 24;

}  // namespace

void Compositor::damage(const Rect& r) {
  if (!r.isEmpty()) damage_.push_back(r);
}

Compositor::Walked Compositor::walk(const Layer& layer, const cairo_matrix_t& parent, double opacity, const Rect& clip,
                                    double t) {
  Walked out;
  // Only the outermost animated layer of a tree: walking it walks the
  // animated layers below it too, with what it now passes down; their own
  // entries would carry what it passed down before it moved.
  const bool outermost = collecting_ && layer.hasAnimations();
  if (outermost) animated_.push_back({&layer, parent, opacity, clip});
  struct Inside {
    bool& collecting;
    bool was;
    ~Inside() { collecting = was; }
  } inside{collecting_, collecting_};
  if (outermost) collecting_ = false;
  if (!layer.isDrawn(t)) return out;
  const cairo_matrix_t local = layer.presentedMatrix(t);
  cairo_matrix_t ctm;
  cairo_matrix_multiply(&ctm, &local, &parent);
  const double inherited = opacity * std::clamp(layer.presentedOpacity(t), 0.0, 1.0);
  const Rect own = deviceBox(ctm, layer.paintedRect(t)).intersection(clip);
  auto found = records_.find(layer.serial());
  const Record* before = found == records_.end() ? nullptr : &found->second;
  // An animation shows something new only when time has moved.
  const bool animating = layer.hasAnimations() && t != lastWalkTime_;
  const bool changed = !before || before->stamp != layer.changeStamp() || !sameMatrix(before->ctm, ctm) ||
                       before->opacity != inherited || before->clip != clip || animating;
  const Rect previous = before ? before->covered : Rect::null();

  Rect subClip = clip;
  if (layer.masksToBounds()) subClip = clip.intersection(deviceBox(ctm, layer.presentedBounds(t)));
  bool below = false;
  Rect extent = own;
  if (!subClip.isEmpty()) {
    for (const auto& sub : layer.sublayers()) {
      const Walked w = walk(*sub, ctm, inherited, subClip, t);
      below = below || w.changed;
      extent = uniteBoxes(extent, w.extent);
    }
  }

  Rect covered = own;
  if (layer.hasShadow()) {
    // The shadow follows everything below: any change there redraws the
    // whole shadowed tree.
    if (!extent.isEmpty()) {
      const Point off = layer.shadowDeviceOffset(ctm);
      const double reach = layer.shadowReach(ctm);
      extent = extent.unionWith(extent.offsetBy(off.x, off.y)).insetBy(-reach, -reach).intersection(clip);
    }
    covered = extent.isEmpty() ? Rect::null() : extent;
    if (changed || below) {
      damage(previous);
      damage(covered);
    }
  } else if (changed) {
    damage(previous);
    damage(covered);
  }
  records_[layer.serial()] = Record{covered, extent, layer.changeStamp(), ctm, inherited, clip, pass_};
  out.changed = changed || below;
  out.extent = extent;
  return out;
}

bool Compositor::skips(const Layer& layer) const {
  const auto found = records_.find(layer.serial());
  // A tree the walk did not place (new since, or under an empty clip) is
  // left to the clip.
  if (found == records_.end() || found->second.pass != pass_) return false;
  const Rect& extent = found->second.extent;
  if (extent.isEmpty()) return true;
  for (const Rect& r : drawing_)
    if (extent.minX() < r.maxX() && r.minX() < extent.maxX() && extent.minY() < r.maxY() && r.minY() < extent.maxY())
      return false;
  return true;
}

bool Compositor::walkAnimated(double t) {
  for (const Animated& a : animated_)
    for (const Layer* up = a.layer->superlayer(); up; up = up->superlayer())
      if (up->hasShadow()) return false;
  for (const Animated& a : animated_) {
    const Walked w = walk(*a.layer, a.parent, a.opacity, a.clip, t);
    // The trees above now reach wherever this one went, so that drawing
    // does not pass them by.
    for (const Layer* up = a.layer->superlayer(); up && !w.extent.isEmpty(); up = up->superlayer()) {
      auto found = records_.find(up->serial());
      if (found == records_.end()) break;
      found->second.extent = uniteBoxes(found->second.extent, w.extent);
    }
  }
  return true;
}

std::vector<PixelRect> Compositor::damagedPixels() const {
  const int w = frame_->pixelWidth(), h = frame_->pixelHeight();
  std::vector<PixelRect> rects;
  for (const Rect& r : damage_) {
    // Anti-aliased edges reach into the pixels the box only touches.
    const int x0 = std::max(0, static_cast<int>(std::floor(r.minX())) - 1);
    const int y0 = std::max(0, static_cast<int>(std::floor(r.minY())) - 1);
    const int x1 = std::min(w, static_cast<int>(std::ceil(r.maxX())) + 1);
    const int y1 = std::min(h, static_cast<int>(std::ceil(r.maxY())) + 1);
    if (x1 > x0 && y1 > y0) rects.push_back({x0, y0, x1 - x0, y1 - y0});
  }
  // Overlapping or touching rectangles become their bounding box when that
  // costs little more than drawing both.
  bool merged = true;
  while (merged) {
    merged = false;
    for (size_t i = 0; i < rects.size() && !merged; ++i) {
      for (size_t j = i + 1; j < rects.size() && !merged; ++j) {
        const PixelRect box = bounding(rects[i], rects[j]);
        if (touching(rects[i], rects[j]) && box.area() <= (rects[i].area() + rects[j].area()) * 5 / 4) {
          rects[i] = box;
          rects.erase(rects.begin() + static_cast<std::ptrdiff_t>(j));
          merged = true;
        }
      }
    }
  }
  // Overlaps left over would be drawn twice; their boxes instead.
  merged = true;
  while (merged) {
    merged = false;
    for (size_t i = 0; i < rects.size() && !merged; ++i) {
      for (size_t j = i + 1; j < rects.size() && !merged; ++j) {
        const PixelRect& a = rects[i];
        const PixelRect& b = rects[j];
        if (a.x < b.x + b.width && b.x < a.x + a.width && a.y < b.y + b.height && b.y < a.y + a.height) {
          rects[i] = bounding(a, b);
          rects.erase(rects.begin() + static_cast<std::ptrdiff_t>(j));
          merged = true;
        }
      }
    }
  }
  if (rects.size() > kMaxRects) {
    PixelRect box = rects[0];
    for (const PixelRect& r : rects) box = bounding(box, r);
    rects = {box};
  }
  return rects;
}

const std::vector<PixelRect>& Compositor::update(Window& window, double t, bool all) {
  drawn_.clear();
  window.layoutAndDisplay();
  const Size s = window.bounds().size;
  const int w = static_cast<int>(std::lround(s.width * scale_));
  const int h = static_cast<int>(std::lround(s.height * scale_));
  if (w <= 0 || h <= 0) return drawn_;
  if (!frame_ || frame_->pixelWidth() != w || frame_->pixelHeight() != h) {
    frame_ = Image::create(w, h, scale_);
    if (!frame_) return drawn_;
    all = true;
  }
  const bool onlyAnimations = !all && Layer::changeCount() == lastChange_;
  if (onlyAnimations) {
    if (!Layer::anyAnimationRunning() || t - lastDrawTime_ < animationInterval_ - 1e-9) return drawn_;
  }
  lastChange_ = Layer::changeCount();
  lastDrawTime_ = t;

  // What changed since the last frame, as Window::render places the tree.
  damage_.clear();
  if (!onlyAnimations || !walkAnimated(t)) {
    ++pass_;
    cairo_matrix_t root;
    cairo_matrix_init_scale(&root, scale_, scale_);
    cairo_matrix_translate(&root, -window.frame().origin.x, -window.frame().origin.y);
    const Rect frameRect(0, 0, w, h);
    animated_.clear();
    collecting_ = true;
    walk(window.layer(), root, 1.0, frameRect, t);
    collecting_ = false;
    for (auto it = records_.begin(); it != records_.end();) {
      if (it->second.pass != pass_) {
        damage(it->second.covered);
        it = records_.erase(it);
      } else {
        ++it;
      }
    }
  }
  lastWalkTime_ = t;
  std::vector<PixelRect> rects = all ? std::vector<PixelRect>{{0, 0, w, h}} : damagedPixels();
  if (rects.empty()) return drawn_;

  cairo_surface_t* surface = frame_->surface();
  cairo_t* cr = cairo_create(surface);
  for (const PixelRect& r : rects) cairo_rectangle(cr, r.x, r.y, r.width, r.height);
  cairo_clip(cr);
  cairo_set_operator(cr, CAIRO_OPERATOR_CLEAR);
  cairo_paint(cr);
  cairo_set_operator(cr, CAIRO_OPERATOR_OVER);
  drawing_.clear();
  for (const PixelRect& r : rects) drawing_.push_back(Rect(r.x, r.y, r.width, r.height));
  Layer::setRenderCull(this);
  window.render(cr, t, scale_);
  Layer::setRenderCull(nullptr);
  cairo_destroy(cr);
  cairo_surface_flush(surface);
  drawn_ = std::move(rects);
  ++frames_;
  for (const PixelRect& r : drawn_) pixels_ += static_cast<uint64_t>(r.area());
  return drawn_;
}

}  // namespace platform
