#include "platform/ui/control.h"

#include <algorithm>

namespace platform {

Control::Control(const Rect& frame) : View(frame) {}

void Control::addTarget(const void* target, const std::string& action, Action fn, uint64_t events) {
  if (!action.empty()) {
    for (Target& t : targets_) {
      if (t.target == target && t.action == action) {
        t.events |= events;
        return;
      }
    }
  }
  targets_.push_back({target, action, std::move(fn), events});
}

void Control::removeTarget(const void* target, const std::string& action, uint64_t events) {
  for (Target& t : targets_) {
    if (t.target != target || (!action.empty() && t.action != action)) continue;
    t.events &= ~events;
  }
  std::erase_if(targets_, [](const Target& t) { return t.events == 0; });
}

std::vector<std::string> Control::actionsForTarget(const void* target, uint64_t event) const {
  std::vector<std::string> names;
  for (const Target& t : targets_)
    if (t.target == target && (t.events & event)) names.push_back(t.action);
  return names;
}

uint64_t Control::allControlEvents() const {
  uint64_t all = 0;
  for (const Target& t : targets_) all |= t.events;
  return all;
}

void Control::sendActionsForControlEvents(uint64_t events) {
  // Copied: an action may add or remove targets (edit modes lend buttons).
  const auto targets = targets_;
  auto keep = std::static_pointer_cast<Control>(shared_from_this());
  for (const Target& t : targets)
    if ((t.events & events) && t.fn) t.fn(*this);
}

void Control::setEnabled(bool e) {
  if (e == enabled_) return;
  enabled_ = e;
}

void Control::setSelected(bool s) {
  if (s == selected_) return;
  selected_ = s;
}

void Control::setHighlighted(bool h) {
  if (h == highlighted_) return;
  highlighted_ = h;
}

unsigned Control::state() const {
  unsigned s = ControlState::Normal;
  if (highlighted_) s |= ControlState::Highlighted;
  if (!enabled_) s |= ControlState::Disabled;
  if (selected_) s |= ControlState::Selected;
  return s;
}

bool Control::beginTrackingWithTouch(Touch&, const Event*) { return true; }
bool Control::continueTrackingWithTouch(Touch&, const Event*) { return true; }
void Control::endTrackingWithTouch(Touch*, const Event*) {}
void Control::cancelTrackingWithEvent(const Event*) {}

View* Control::hitTest(Point point, const Event* event) {
  if (!enabled_) return nullptr;
  return View::hitTest(point, event);
}

const Touch* Control::trackedIn(const TouchSet& touches) const {
  for (const auto& t : touches)
    if (t == trackingTouch_) return t.get();
  return nullptr;
}

bool Control::insideForTracking(Point p) const {
  return bounds().insetBy(-kTrackingSlop, -kTrackingSlop).contains(p);
}

void Control::touchesBegan(const TouchSet& touches, const Event* event) {
  if (trackingTouch_ || touches.empty()) return;
  auto keep = shared_from_this();
  trackingTouch_ = touches.front();
  touchInside_ = true;
  tracking_ = beginTrackingWithTouch(*trackingTouch_, event);
  setHighlighted(true);
  uint64_t events = ControlEvents::TouchDown;
  if (trackingTouch_->tapCount() > 1) events |= ControlEvents::TouchDownRepeat;
  sendActionsForControlEvents(events);
}

void Control::touchesMoved(const TouchSet& touches, const Event* event) {
  if (!trackedIn(touches)) return;
  auto keep = shared_from_this();
  std::shared_ptr<Touch> touch = trackingTouch_;
  const bool inside = insideForTracking(touch->locationInView(this));
  if (tracking_) tracking_ = continueTrackingWithTouch(*touch, event);
  setHighlighted(inside);
  uint64_t events = inside ? ControlEvents::TouchDragInside : ControlEvents::TouchDragOutside;
  if (inside != touchInside_) events |= inside ? ControlEvents::TouchDragEnter : ControlEvents::TouchDragExit;
  touchInside_ = inside;
  sendActionsForControlEvents(events);
}

void Control::touchesEnded(const TouchSet& touches, const Event* event) {
  if (!trackedIn(touches)) return;
  auto keep = shared_from_this();
  std::shared_ptr<Touch> touch = trackingTouch_;
  const bool inside = insideForTracking(touch->locationInView(this));
  touchInside_ = inside;
  if (tracking_) endTrackingWithTouch(touch.get(), event);
  tracking_ = false;
  setHighlighted(false);
  trackingTouch_.reset();
  sendActionsForControlEvents(inside ? ControlEvents::TouchUpInside : ControlEvents::TouchUpOutside);
  touchInside_ = false;
}

void Control::touchesCancelled(const TouchSet& touches, const Event* event) {
  if (!trackedIn(touches)) return;
  auto keep = shared_from_this();
  if (tracking_) cancelTrackingWithEvent(event);
  tracking_ = false;
  setHighlighted(false);
  trackingTouch_.reset();
  touchInside_ = false;
  sendActionsForControlEvents(ControlEvents::TouchCancel);
}

}  // namespace platform
