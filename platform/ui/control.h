#pragma once
// Controls: views that turn touches into target-action events.
//
// The order the kit relies on, at touch-down: begin-tracking runs first (its
// result decides whether tracking goes on), then the control is
// highlighted, then the TouchDown actions are sent; so a control that
// changes its value in begin-tracking has the new value when its TouchDown
// actions read it. On moves: continue-tracking (while tracking), the
// highlight follows the finger, then drag-inside/outside (and enter/exit on a
// change). At touch-up: end-tracking, the highlight goes, then
// TouchUpInside or TouchUpOutside. A cancelled touch ends with
// cancel-tracking and TouchCancel. A control tracks the first touch that
// begins on it; "inside" is its bounds grown by 70 points, as on the
// platform. A disabled control is not hit by touches.
//
// Changing enabled, selected or highlighted does not redraw a control by
// itself (subclasses that look different redraw).
//
// Actions are registered under a target and an action name, as the
// platform's selectors are; adding the same target and name again only adds
// the events (an unnamed action is always added anew); removing with an
// empty name removes every action of the target for those events. Actions
// run in the order they were added.
//
// Main thread only.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/ui/view.h"

namespace platform {

namespace ControlEvents {
enum : uint64_t {
  TouchDown = 1 << 0,
  TouchDownRepeat = 1 << 1,
  TouchDragInside = 1 << 2,
  TouchDragOutside = 1 << 3,
  TouchDragEnter = 1 << 4,
  TouchDragExit = 1 << 5,
  TouchUpInside = 1 << 6,
  TouchUpOutside = 1 << 7,
  TouchCancel = 1 << 8,
  ValueChanged = 1 << 12,
  PrimaryActionTriggered = 1 << 13,
  EditingDidBegin = 1 << 16,
  EditingChanged = 1 << 17,
  EditingDidEnd = 1 << 18,
  EditingDidEndOnExit = 1 << 19,
  AllTouchEvents = 0x00000FFF,
  AllEditingEvents = 0x000F0000,
  AllEvents = 0xFFFFFFFF,
};
}

namespace ControlState {
enum : unsigned { Normal = 0, Highlighted = 1 << 0, Disabled = 1 << 1, Selected = 1 << 2 };
}

class Control : public View {
 public:
  using Action = std::function<void(Control& sender)>;

  explicit Control(const Rect& frame = {});

  void addTarget(const void* target, const std::string& action, Action fn, uint64_t events);
  void removeTarget(const void* target, const std::string& action, uint64_t events);
  // The action names of `target` for exactly one event.
  std::vector<std::string> actionsForTarget(const void* target, uint64_t event) const;
  uint64_t allControlEvents() const;
  void sendActionsForControlEvents(uint64_t events);

  bool isEnabled() const { return enabled_; }
  virtual void setEnabled(bool e);
  bool isSelected() const { return selected_; }
  virtual void setSelected(bool s);
  bool isHighlighted() const { return highlighted_; }
  virtual void setHighlighted(bool h);
  bool isTracking() const { return tracking_; }
  bool isTouchInside() const { return touchInside_; }
  unsigned state() const;

  virtual bool beginTrackingWithTouch(Touch& touch, const Event* event);
  virtual bool continueTrackingWithTouch(Touch& touch, const Event* event);
  virtual void endTrackingWithTouch(Touch* touch, const Event* event);
  virtual void cancelTrackingWithEvent(const Event* event);

  void touchesBegan(const TouchSet& touches, const Event* event) override;
  void touchesMoved(const TouchSet& touches, const Event* event) override;
  void touchesEnded(const TouchSet& touches, const Event* event) override;
  void touchesCancelled(const TouchSet& touches, const Event* event) override;

  View* hitTest(Point point, const Event* event) override;

  static constexpr double kTrackingSlop = 70.0;

 private:
  struct Target {
    const void* target;
    std::string action;
    Action fn;
    uint64_t events;
  };
  const Touch* trackedIn(const TouchSet& touches) const;
  bool insideForTracking(Point p) const;

  std::vector<Target> targets_;
  bool enabled_ = true;
  bool selected_ = false;
  bool highlighted_ = false;
  bool tracking_ = false;
  bool touchInside_ = false;
  std::shared_ptr<Touch> trackingTouch_;
};

}  // namespace platform
