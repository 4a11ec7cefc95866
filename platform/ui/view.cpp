#include "platform/ui/view.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "platform/runloop/run_loop.h"
#include "platform/ui/screen.h"
#include "platform/ui/view_controller.h"
#include "platform/ui/window.h"

namespace platform {

namespace {

struct AnimationGroup {
  int pending = 0;
  bool allFinished = true;
  bool closed = false;
  std::function<void(bool)> completion;
  void done(bool finished) {
    allFinished = allFinished && finished;
    if (--pending == 0 && closed && completion) {
      auto c = std::move(completion);
      completion = nullptr;
      c(allFinished);
    }
  }
};

struct AnimationContext {
  double duration;
  double delay;
  unsigned options;
  std::shared_ptr<AnimationGroup> group;
  bool disabled;
  std::optional<SpringTiming> spring = std::nullopt;
};

std::vector<AnimationContext>& contexts() {
  static std::vector<AnimationContext> stack;
  return stack;
}

TimingFunction curveOf(unsigned options) {
  switch ((options >> 16) & 0xF) {
    case 1: return TimingFunction::EaseIn;
    case 2: return TimingFunction::EaseOut;
    case 3: return TimingFunction::Linear;
    default: return TimingFunction::EaseInEaseOut;
  }
}

Layer::Gravity gravityOf(ContentMode m) {
  switch (m) {
    case ContentMode::ScaleAspectFit: return Layer::Gravity::ResizeAspect;
    case ContentMode::ScaleAspectFill: return Layer::Gravity::ResizeAspectFill;
    case ContentMode::Center: return Layer::Gravity::Center;
    case ContentMode::TopLeft: return Layer::Gravity::TopLeft;
    default: return Layer::Gravity::Resize;
  }
}

// Springs and struts along one axis: the flexible parts among margin-before,
// size and margin-after share `delta` in proportion to their sizes (equally
// when all are zero).
void distribute(double& before, double& size, double& after, bool flexBefore, bool flexSize, bool flexAfter,
                double delta) {
  const int n = flexBefore + flexSize + flexAfter;
  if (n == 0 || delta == 0) return;
  const double sum = (flexBefore ? before : 0) + (flexSize ? size : 0) + (flexAfter ? after : 0);
  const auto share = [&](double part) { return sum > 0 ? delta * part / sum : delta / n; };
  const double db = flexBefore ? share(before) : 0;
  const double ds = flexSize ? share(size) : 0;
  const double da = flexAfter ? share(after) : 0;
  before += db;
  size += ds;
  after += da;
}

}  // namespace

View::View(const Rect& frame) : layer_(std::make_shared<Layer>()) {
  layer_->setDelegate(this);
  layer_->setImplicitAnimationsEnabled(false);
  layer_->setContentsScale(Screen::mainScreen().scale());
  layer_->setFrame(frame);
}

View::~View() {
  for (auto& s : subviews_) {
    s->superview_ = nullptr;
    s->setWindowRecursively(nullptr);
  }
  layer_->setDelegate(nullptr);
}

// ---------------------------------------------------------------- geometry

void View::setFrame(const Rect& f) {
  const Rect oldBounds = layer_->bounds();
  const Point oldPosition = layer_->position();
  const AnimationValue shownBounds = shown("bounds", oldBounds);
  const AnimationValue shownPosition = shown("position", oldPosition);
  layer_->setFrame(f);
  if (layer_->bounds() != oldBounds) animateChange("bounds", shownBounds);
  if (layer_->position() != oldPosition) animateChange("position", shownPosition);
  if (layer_->bounds().size != oldBounds.size) resizeSubviews(oldBounds.size);
}

void View::setBounds(const Rect& b) {
  const Rect old = layer_->bounds();
  if (b == old) return;
  const AnimationValue from = shown("bounds", old);
  layer_->setBounds(b);
  animateChange("bounds", from);
  if (b.size != old.size) resizeSubviews(old.size);
}

void View::setCenter(Point c) {
  const Point old = layer_->position();
  if (c == old) return;
  const AnimationValue from = shown("position", old);
  layer_->setPosition(c);
  animateChange("position", from);
}

void View::setTransform(const AffineTransform& t) {
  const AffineTransform old = layer_->transform();
  if (t == old) return;
  const AnimationValue from = shown("transform", old);
  layer_->setTransform(t);
  animateChange("transform", from);
}

void View::resizeSubviews(Size oldSize) {
  setNeedsLayout();
  if (contentMode_ == ContentMode::Redraw) setNeedsDisplay();
  if (!autoresizesSubviews_) return;
  const Size newSize = bounds().size;
  for (auto& s : subviews_) s->autoresize(oldSize, newSize);
}

void View::autoresize(Size oldSuper, Size newSuper) {
  if (autoresizing_ == Autoresizing::None) return;
  Rect f = frame();
  double left = f.origin.x, width = f.size.width, right = oldSuper.width - f.maxX();
  double top = f.origin.y, height = f.size.height, bottom = oldSuper.height - f.maxY();
  distribute(left, width, right, autoresizing_ & Autoresizing::FlexibleLeftMargin,
             autoresizing_ & Autoresizing::FlexibleWidth, autoresizing_ & Autoresizing::FlexibleRightMargin,
             newSuper.width - oldSuper.width);
  distribute(top, height, bottom, autoresizing_ & Autoresizing::FlexibleTopMargin,
             autoresizing_ & Autoresizing::FlexibleHeight, autoresizing_ & Autoresizing::FlexibleBottomMargin,
             newSuper.height - oldSuper.height);
  setFrame({left, top, std::max(0.0, width), std::max(0.0, height)});
}

// ---------------------------------------------------------------- appearance

void View::setAlpha(double a) {
  const double old = layer_->opacity();
  if (a == old) return;
  const AnimationValue from = shown("opacity", old);
  layer_->setOpacity(a);
  animateChange("opacity", from);
}

void View::setHidden(bool h) { layer_->setHidden(h); }

void View::setBackgroundColor(std::optional<Color> c) {
  const AnimationValue from = shown("backgroundColor", background_.value_or(Color::clear()));
  background_ = c;
  layer_->setBackgroundColor(c);
  animateChange("backgroundColor", from);
}

void View::setContentMode(ContentMode m) {
  contentMode_ = m;
  layer_->setContentsGravity(gravityOf(m));
}

// ---------------------------------------------------------------- tree

void View::setWindowRecursively(Window* w) {
  if (window_ == w) return;
  willMoveToWindow(w);
  window_ = w;
  for (auto& s : subviews_) s->setWindowRecursively(w);
  didMoveToWindow();
}

void View::addSubview(std::shared_ptr<View> view) { insertSubview(std::move(view), subviews_.size()); }

void View::insertSubview(std::shared_ptr<View> view, size_t index) {
  if (!view || view.get() == this || isDescendantOfView(view.get())) return;
  if (view->superview_ == this) {
    // A move among this view's subviews.
    auto it = std::find(subviews_.begin(), subviews_.end(), view);
    subviews_.erase(it);
    index = std::min(index, subviews_.size());
    subviews_.insert(subviews_.begin() + static_cast<std::ptrdiff_t>(index), view);
  } else {
    view->willMoveToSuperview(this);
    if (view->superview_) {
      View* old = view->superview_;
      old->willRemoveSubview(view.get());
      auto& subs = old->subviews_;
      subs.erase(std::remove(subs.begin(), subs.end(), view), subs.end());
      view->layer_->removeFromSuperlayer();
    }
    index = std::min(index, subviews_.size());
    subviews_.insert(subviews_.begin() + static_cast<std::ptrdiff_t>(index), view);
    view->superview_ = this;
  }
  // The layer goes where the view's neighbours are: above the previous
  // subview's layer, or below the next one's, or on top.
  if (index > 0) {
    layer_->insertSublayerAbove(view->layer_, subviews_[index - 1]->layer_.get());
  } else if (subviews_.size() > 1) {
    layer_->insertSublayerBelow(view->layer_, subviews_[1]->layer_.get());
  } else {
    layer_->addSublayer(view->layer_);
  }
  view->setWindowRecursively(window_);
  view->didMoveToSuperview();
  didAddSubview(view.get());
  view->setNeedsLayout();
  detail::viewTreeChanged();
}

void View::insertSubviewAbove(std::shared_ptr<View> view, const View* sibling) {
  auto it = std::find_if(subviews_.begin(), subviews_.end(), [&](const ViewPtr& v) { return v.get() == sibling; });
  if (it == subviews_.end()) return addSubview(std::move(view));
  size_t index = static_cast<size_t>(it - subviews_.begin()) + 1;
  if (view && view->superview_ == this) {
    auto self = std::find(subviews_.begin(), subviews_.end(), view);
    if (self < it) --index;
  }
  insertSubview(std::move(view), index);
}

void View::insertSubviewBelow(std::shared_ptr<View> view, const View* sibling) {
  auto it = std::find_if(subviews_.begin(), subviews_.end(), [&](const ViewPtr& v) { return v.get() == sibling; });
  if (it == subviews_.end()) return insertSubview(std::move(view), 0);
  size_t index = static_cast<size_t>(it - subviews_.begin());
  if (view && view->superview_ == this) {
    auto self = std::find(subviews_.begin(), subviews_.end(), view);
    if (self < it) --index;
  }
  insertSubview(std::move(view), index);
}

void View::removeFromSuperview() {
  View* parent = superview_;
  if (!parent) return;
  auto self = shared_from_this();
  willMoveToSuperview(nullptr);
  parent->willRemoveSubview(this);
  auto& subs = parent->subviews_;
  subs.erase(std::remove(subs.begin(), subs.end(), self), subs.end());
  superview_ = nullptr;
  layer_->removeFromSuperlayer();
  setWindowRecursively(nullptr);
  didMoveToSuperview();
  detail::viewTreeChanged();
}

void View::bringSubviewToFront(const View* view) {
  auto it = std::find_if(subviews_.begin(), subviews_.end(), [&](const ViewPtr& v) { return v.get() == view; });
  if (it == subviews_.end()) return;
  ViewPtr v = *it;
  subviews_.erase(it);
  subviews_.push_back(v);
  layer_->addSublayer(v->layer_);
}

void View::sendSubviewToBack(const View* view) {
  auto it = std::find_if(subviews_.begin(), subviews_.end(), [&](const ViewPtr& v) { return v.get() == view; });
  if (it == subviews_.end()) return;
  ViewPtr v = *it;
  subviews_.erase(it);
  subviews_.insert(subviews_.begin(), v);
  layer_->insertSublayer(v->layer_, 0);
}

View* View::viewWithTag(int64_t tag) {
  if (tag_ == tag) return this;
  for (auto& s : subviews_)
    if (View* v = s->viewWithTag(tag)) return v;
  return nullptr;
}

bool View::isDescendantOfView(const View* view) const {
  for (const View* v = this; v; v = v->superview_)
    if (v == view) return true;
  return false;
}

// ---------------------------------------------------------------- layout

namespace {
uint64_t gLayoutRequests = 0;
}  // namespace

uint64_t View::layoutRequests() { return gLayoutRequests; }

void View::setNeedsLayout() {
  // Counted also when already set: a view that has never been laid out
  // comes into a window this way.
  ++gLayoutRequests;
  if (needsLayout_) return;
  needsLayout_ = true;
  Layer::noteChange();
}

void View::layoutIfNeeded() {
  if (needsLayout_) {
    needsLayout_ = false;
    ViewController* vc = controller_;
    if (vc) vc->viewWillLayoutSubviews();
    layoutSubviews();
    if (vc) vc->viewDidLayoutSubviews();
  }
  const auto subs = subviews_;
  for (auto& s : subs) s->layoutIfNeeded();
}

void View::sizeToFit() {
  const Size s = sizeThatFits(bounds().size);
  Rect f = frame();
  f.size = s;
  setFrame(f);
}

// ---------------------------------------------------------------- drawing

void View::setDrawsContent(bool draws) {
  drawsContent_ = draws;
  if (draws) layer_->setNeedsDisplay();
}

void View::setNeedsDisplay() {
  if (drawsContent_) layer_->setNeedsDisplay();
}

void View::displayLayer(Layer& layer) {
  if (!drawsContent_) return;
  const Rect b = bounds();
  if (b.size.width <= 0 || b.size.height <= 0) {
    layer.setContents(nullptr);
    return;
  }
  beginImageContext(b.size, false, layer.contentsScale());
  GraphicsContext* ctx = currentGraphicsContext();
  ctx->translateCTM(-b.origin.x, -b.origin.y);
  drawRect(b);
  ImagePtr image = imageFromCurrentImageContext();
  endImageContext();
  layer.setContents(std::move(image));
}

// ---------------------------------------------------------------- hit testing

View* View::hitTest(Point point, const Event* event) {
  if (isHidden() || !interaction_ || alpha() <= 0.01) return nullptr;
  if (!pointInside(point, event)) return nullptr;
  for (auto it = subviews_.rbegin(); it != subviews_.rend(); ++it) {
    View* sub = it->get();
    const Point q = sub->layer_->convertFromSuperlayer(point);
    if (View* hit = sub->hitTest(q, event)) return hit;
  }
  return this;
}

bool View::pointInside(Point point, const Event*) const { return bounds().contains(point); }

namespace {
AffineTransform toWindowTransform(const View* v) {
  AffineTransform t;
  for (; v; v = v->superview()) {
    if (!v->superview() && dynamic_cast<const Window*>(v)) break;  // a window's own space is window space
    t = t.concat(v->layer().transformToSuperlayer());
  }
  return t;
}
}  // namespace

Point View::convertPointTo(Point p, const View* view) const {
  const Point w = toWindowTransform(this).apply(p);
  if (!view) return w;
  return toWindowTransform(view).inverted().apply(w);
}

Point View::convertPointFrom(Point p, const View* view) const {
  const Point w = view ? toWindowTransform(view).apply(p) : p;
  return toWindowTransform(this).inverted().apply(w);
}

Rect View::convertRectTo(const Rect& r, const View* view) const {
  const AffineTransform t = toWindowTransform(this).concat(view ? toWindowTransform(view).inverted() : AffineTransform{});
  return t.apply(r);
}

Rect View::convertRectFrom(const Rect& r, const View* view) const {
  const AffineTransform t = (view ? toWindowTransform(view) : AffineTransform{}).concat(toWindowTransform(this).inverted());
  return t.apply(r);
}

EdgeInsets View::safeAreaInsets() const {
  if (!window_) return {};
  const EdgeInsets w = window_->windowSafeAreaInsets();
  const Rect inWindow = convertRectTo(bounds(), nullptr);
  const Rect wb = window_->bounds();
  return {std::max(0.0, w.top - (inWindow.minY() - wb.minY())), std::max(0.0, w.left - (inWindow.minX() - wb.minX())),
          std::max(0.0, w.bottom - (wb.maxY() - inWindow.maxY())), std::max(0.0, w.right - (wb.maxX() - inWindow.maxX()))};
}

Responder* View::nextResponder() const {
  if (controller_) return controller_;
  return superview_;
}

// ---------------------------------------------------------------- animation

void View::animate(double duration, double delay, unsigned options, const std::function<void()>& animations,
                   std::function<void(bool)> completion) {
  animateBlock(duration, delay, options, std::nullopt, animations, std::move(completion));
}

void View::animateWithSpring(double duration, double delay, double dampingRatio, double initialVelocity,
                             unsigned options, const std::function<void()>& animations,
                             std::function<void(bool)> completion) {
  animateBlock(duration, delay, options, SpringTiming{dampingRatio, initialVelocity}, animations,
               std::move(completion));
}

void View::animateBlock(double duration, double delay, unsigned options, std::optional<SpringTiming> spring,
                        const std::function<void()>& animations, std::function<void(bool)> completion) {
  auto group = std::make_shared<AnimationGroup>();
  group->completion = std::move(completion);
  contexts().push_back({duration, delay, options, group, false, spring});
  if (animations) animations();
  contexts().pop_back();
  group->closed = true;
  if (group->pending == 0 && group->completion) {
    // Nothing animates: the completion still comes, after this event.
    auto c = std::move(group->completion);
    group->completion = nullptr;
    RunLoop::main().performAfter(delay, [c] { c(true); });
  }
}

void View::performWithoutAnimation(const std::function<void()>& changes) {
  contexts().push_back({0, 0, 0, nullptr, true});
  if (changes) changes();
  contexts().pop_back();
}

bool View::isInAnimationBlock() { return !contexts().empty() && !contexts().back().disabled; }

AnimationValue View::shown(const std::string& keyPath, const AnimationValue& model) const {
  // What is on screen: mid-way through a running animation, or the model.
  if (!layer_->animationForKey(keyPath)) return model;
  const double now = RunLoop::main().now();
  if (keyPath == "opacity") return layer_->presentedOpacity(now);
  if (keyPath == "position") return layer_->presentedPosition(now);
  if (keyPath == "bounds") return layer_->presentedBounds(now);
  if (keyPath == "transform") return layer_->presentedTransform(now);
  if (keyPath == "backgroundColor") return layer_->presentedBackgroundColor(now).value_or(Color::clear());
  return model;
}

void View::animateChange(const std::string& keyPath, const AnimationValue& from) {
  if (!isInAnimationBlock()) return;
  const AnimationContext& ctx = contexts().back();
  if (ctx.duration <= 0) return;
  BasicAnimation a;
  a.keyPath = keyPath;
  a.fromValue = from;
  a.duration = ctx.duration;
  a.delay = ctx.delay;
  a.fillBackwards = ctx.delay > 0;
  a.timing = curveOf(ctx.options);
  a.spring = ctx.spring;
  a.autoreverses = (ctx.options & AnimationOptions::Autoreverse) != 0;
  if (ctx.options & AnimationOptions::Repeat) a.repeatCount = std::numeric_limits<double>::infinity();
  std::shared_ptr<AnimationGroup> group = ctx.group;
  ++group->pending;
  a.didStop = [group](bool finished) { group->done(finished); };
  layer_->addAnimation(std::move(a), keyPath);
}

}  // namespace platform
