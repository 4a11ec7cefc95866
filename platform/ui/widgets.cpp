#include "platform/ui/widgets.h"

#include <algorithm>
#include <cmath>

namespace platform {

namespace {
constexpr double kPi = 3.14159265358979323846;
}

// ---------------------------------------------------------------- segmented control

SegmentedControl::SegmentedControl(const Rect& frame) : Control(frame) { setDrawsContent(true); }

void SegmentedControl::insertSegmentWithTitle(const std::string& title, int index, bool) {
  index = std::clamp(index, 0, numberOfSegments());
  titles_.insert(titles_.begin() + index, title);
  if (selected_ >= index) ++selected_;
  setNeedsDisplay();
}

void SegmentedControl::removeAllSegments() {
  titles_.clear();
  selected_ = kNoSegment;
  setNeedsDisplay();
}

std::string SegmentedControl::titleForSegmentAtIndex(int index) const {
  if (index < 0 || index >= numberOfSegments()) return {};
  return titles_[static_cast<size_t>(index)];
}

void SegmentedControl::setSelectedSegmentIndex(int index) {
  selected_ = (index < 0 || index >= numberOfSegments()) ? kNoSegment : index;
  setNeedsDisplay();
}

void SegmentedControl::setTitleTextAttributes(const Font& font, const Color& color, unsigned state) {
  const int i = (state & ControlState::Selected) ? 1 : 0;
  fonts_[i] = font;
  colors_[i] = color;
  setNeedsDisplay();
}

void SegmentedControl::setTintColor(const Color& c) {
  tint_ = c;
  setNeedsDisplay();
}

int SegmentedControl::segmentAtPoint(Point p) const {
  const Rect b = bounds();
  if (!b.contains(p) || titles_.empty()) return kNoSegment;
  const double w = b.size.width / numberOfSegments();
  return std::min(numberOfSegments() - 1, static_cast<int>((p.x - b.origin.x) / w));
}

void SegmentedControl::touchesEnded(const TouchSet& touches, const Event* event) {
  auto keep = shared_from_this();
  const int hit = touches.empty() ? kNoSegment : segmentAtPoint(touches.front()->locationInView(this));
  Control::touchesEnded(touches, event);
  if (hit == kNoSegment) return;
  if (momentary_) {
    selected_ = hit;
    sendActionsForControlEvents(ControlEvents::ValueChanged);
    selected_ = kNoSegment;
    setNeedsDisplay();
    return;
  }
  if (hit == selected_) return;
  selected_ = hit;
  setNeedsDisplay();
  sendActionsForControlEvents(ControlEvents::ValueChanged);
}

void SegmentedControl::drawRect(const Rect&) {
  GraphicsContext* c = currentGraphicsContext();
  const Rect b = bounds().insetBy(0.5, 0.5);
  const int n = numberOfSegments();
  if (n == 0) return;
  const double w = b.size.width / n;
  c->saveGState();
  c->addPath(Path::roundedRect(b, 4));
  c->clip();
  for (int i = 0; i < n; ++i) {
    const Rect seg{b.origin.x + w * i, b.origin.y, w, b.size.height};
    const bool sel = i == selected_;
    if (sel) {
      c->setFillColor(tint_);
      c->fillRect(seg);
    }
    TextStyle st;
    st.font = fonts_[sel ? 1 : 0];
    st.color = colors_[sel ? 1 : 0].value_or(sel ? Color::whiteColor() : tint_);
    st.alignment = TextAlignment::Center;
    const Size ts = measureText(titles_[static_cast<size_t>(i)], st, seg.size.width);
    drawText(*c, titles_[static_cast<size_t>(i)], {seg.origin.x, seg.midY() - ts.height / 2, seg.size.width, ts.height}, st);
    if (i > 0) {
      c->setFillColor(tint_);
      c->fillRect({seg.origin.x - 0.5, seg.origin.y, 1, seg.size.height});
    }
  }
  c->restoreGState();
  c->setStrokeColor(tint_);
  c->setLineWidth(1);
  c->addPath(Path::roundedRect(b, 4));
  c->strokePath();
}

// ---------------------------------------------------------------- switch

Switch::Appearance& Switch::appearance() {
  static Appearance a;
  return a;
}

Switch::Switch(const Rect& frame) : Control(Rect(frame.origin, kSize)) {
  if (appearance().onTintColor) onTint_ = *appearance().onTintColor;
  if (appearance().tintColor) tint_ = *appearance().tintColor;
  setDrawsContent(true);
}

void Switch::setOn(bool on, bool) {
  if (on == on_) return;
  on_ = on;
  setNeedsDisplay();
}

void Switch::setOnTintColor(const Color& c) {
  onTint_ = c;
  setNeedsDisplay();
}

void Switch::setTintColor(const Color& c) {
  tint_ = c;
  setNeedsDisplay();
}

void Switch::touchesEnded(const TouchSet& touches, const Event* event) {
  auto keep = shared_from_this();
  const bool inside = !touches.empty() && bounds().insetBy(-kTrackingSlop, -kTrackingSlop).contains(
                                              touches.front()->locationInView(this));
  Control::touchesEnded(touches, event);
  if (!inside || !isEnabled()) return;
  setOn(!on_, true);
  sendActionsForControlEvents(ControlEvents::ValueChanged);
}

void Switch::drawRect(const Rect&) {
  GraphicsContext* c = currentGraphicsContext();
  const Rect b = bounds().insetBy(0.5, 0.5);
  c->setFillColor(on_ ? onTint_ : tint_);
  c->addPath(Path::roundedRect(b, b.size.height / 2));
  c->fillPath();
  const double d = b.size.height - 4;
  const Rect knob{on_ ? b.maxX() - 2 - d : b.minX() + 2, b.minY() + 2, d, d};
  c->saveGState();
  c->setShadow({0, 1}, 3, Color::black().withAlpha(0.3));
  c->setFillColor(Color::white(1.0));
  c->fillEllipseInRect(knob);
  c->restoreGState();
}

// ---------------------------------------------------------------- page control

PageControl::PageControl(const Rect& frame) : Control(frame) { setDrawsContent(true); }

void PageControl::setNumberOfPages(int64_t n) {
  pages_ = std::max<int64_t>(0, n);
  current_ = std::clamp<int64_t>(current_, 0, std::max<int64_t>(0, pages_ - 1));
  updateHidden();
  setNeedsDisplay();
}

void PageControl::setCurrentPage(int64_t p) {
  current_ = std::clamp<int64_t>(p, 0, std::max<int64_t>(0, pages_ - 1));
  setNeedsDisplay();
}

void PageControl::setHidesForSinglePage(bool h) {
  hidesSingle_ = h;
  updateHidden();
}

void PageControl::updateHidden() {
  if (hidesSingle_) setHidden(pages_ <= 1);
}

void PageControl::setPageIndicatorTintColor(const Color& c) {
  dot_ = c;
  setNeedsDisplay();
}

void PageControl::setCurrentPageIndicatorTintColor(const Color& c) {
  currentDot_ = c;
  setNeedsDisplay();
}

void PageControl::touchesEnded(const TouchSet& touches, const Event* event) {
  auto keep = shared_from_this();
  Control::touchesEnded(touches, event);
  if (touches.empty() || pages_ < 2) return;
  const Point p = touches.front()->locationInView(this);
  const int64_t next = std::clamp<int64_t>(current_ + (p.x < bounds().midX() ? -1 : 1), 0, pages_ - 1);
  if (next == current_) return;
  setCurrentPage(next);
  sendActionsForControlEvents(ControlEvents::ValueChanged);
}

void PageControl::drawRect(const Rect&) {
  GraphicsContext* c = currentGraphicsContext();
  const Rect b = bounds();
  constexpr double kDot = 7.0, kPitch = 16.0;
  const double total = pages_ > 0 ? (pages_ - 1) * kPitch + kDot : 0;
  for (int64_t i = 0; i < pages_; ++i) {
    c->setFillColor(i == current_ ? currentDot_ : dot_);
    c->fillEllipseInRect({b.midX() - total / 2 + i * kPitch, b.midY() - kDot / 2, kDot, kDot});
  }
}

// ---------------------------------------------------------------- activity indicator

ActivityIndicatorView::ActivityIndicatorView(Style style)
    : View(style == Style::WhiteLarge ? Rect(0, 0, 37, 37) : Rect(0, 0, 20, 20)),
      style_(style),
      color_(style == Style::Gray ? Color::white(0.5) : Color::whiteColor()) {
  setUserInteractionEnabled(false);
  setHidden(true);
  setDrawsContent(true);
}

ActivityIndicatorView::~ActivityIndicatorView() {
  if (timer_) timer_->invalidate();
}

void ActivityIndicatorView::startAnimating() {
  if (timer_) return;
  setHidden(false);
  std::weak_ptr<View> weak = weak_from_this();
  timer_ = RunLoop::main().scheduleTimer(1.0 / 12.0, true, [weak](Timer& t) {
    auto self = std::static_pointer_cast<ActivityIndicatorView>(weak.lock());
    if (!self) {
      t.invalidate();
      return;
    }
    self->phase_ = (self->phase_ + 1) % 12;
    self->setNeedsDisplay();
  });
}

void ActivityIndicatorView::stopAnimating() {
  if (timer_) timer_->invalidate();
  timer_.reset();
  if (hidesWhenStopped_) setHidden(true);
}

void ActivityIndicatorView::setHidesWhenStopped(bool h) {
  hidesWhenStopped_ = h;
  if (!isAnimating()) setHidden(h);
}

void ActivityIndicatorView::setColor(const Color& c) {
  color_ = c;
  setNeedsDisplay();
}

void ActivityIndicatorView::drawRect(const Rect&) {
  GraphicsContext* c = currentGraphicsContext();
  const Rect b = bounds();
  const double r = b.size.width / 2;
  c->setLineCap(LineCap::Round);
  c->setLineWidth(r * 0.2);
  for (int i = 0; i < 12; ++i) {
    const int age = (phase_ - i + 12) % 12;
    c->setStrokeColor(color_.withAlpha(color_.alpha() * (1.0 - age / 13.0)));
    const double a = i * kPi / 6 - kPi / 2;
    c->moveTo(b.midX() + std::cos(a) * r * 0.45, b.midY() + std::sin(a) * r * 0.45);
    c->addLineTo(b.midX() + std::cos(a) * r * 0.9, b.midY() + std::sin(a) * r * 0.9);
    c->strokePath();
  }
}

// ---------------------------------------------------------------- scroll view

ScrollView::ScrollView(const Rect& frame) : View(frame) { setClipsToBounds(true); }

void ScrollView::setContentSize(Size s) {
  contentSize_ = s;
  setContentOffset(clamped(contentOffset()));
}

Point ScrollView::clamped(Point p) const {
  const Size b = bounds().size;
  return {std::clamp(p.x, 0.0, std::max(0.0, contentSize_.width - b.width)),
          std::clamp(p.y, 0.0, std::max(0.0, contentSize_.height - b.height))};
}

void ScrollView::setContentOffset(Point p, bool animated) {
  Rect b = bounds();
  if (b.origin == p) return;
  if (animated) {
    View::animate(0.3, [&] { setBounds(Rect(p, b.size)); });
  } else {
    setBounds(Rect(p, b.size));
  }
  if (delegate_) delegate_->scrollViewDidScroll(*this);
}

void ScrollView::touchesBegan(const TouchSet&, const Event*) { dragging_ = scrollEnabled_; }

void ScrollView::touchesMoved(const TouchSet& touches, const Event*) {
  if (!dragging_ || touches.empty()) return;
  const Touch& t = *touches.front();
  const Point now = t.locationInView(superview());
  const Point before = t.previousLocationInView(superview());
  Point next{contentOffset().x - (now.x - before.x), contentOffset().y - (now.y - before.y)};
  const bool vertical = bounces_ && (alwaysBounceVertical_ || contentSize_.height > bounds().size.height);
  const Point inside = clamped(next);
  // Past the ends the content follows the finger at half speed.
  next = {inside.x, vertical ? inside.y + (next.y - inside.y) * 0.5 : inside.y};
  setContentOffset(next);
}

void ScrollView::touchesEnded(const TouchSet&, const Event*) {
  dragging_ = false;
  settle();
}

void ScrollView::touchesCancelled(const TouchSet&, const Event*) {
  dragging_ = false;
  settle();
}

void ScrollView::settle() {
  const Point inside = clamped(contentOffset());
  if (inside != contentOffset()) setContentOffset(inside, true);
}

}  // namespace platform
