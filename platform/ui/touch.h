#pragma once
// Touches, events and the responder chain.
//
// A touch belongs to the view it first touched for its whole life (the hit
// view at touch-down), even when the finger leaves that view. Its location is
// kept in window coordinates and converted on request; the previous location
// is where it was at the event before. Time stamps are seconds on the main
// run loop's clock (seconds since boot with the real clock).
//
// Responders pass touches up the chain by default: a view to its view
// controller (when it is one's root view) or else its superview, a view
// controller to its view's superview, a window to the application.
//
// Main thread only.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/gfx/geometry.h"

namespace platform {

class View;
class Window;
class Touch;
class Event;

using TouchSet = std::vector<std::shared_ptr<Touch>>;

enum class TouchPhase { Began, Moved, Stationary, Ended, Cancelled };

class Touch {
 public:
  Touch(int64_t identifier, Point windowLocation, double timestamp);

  int64_t identifier() const { return id_; }
  TouchPhase phase() const { return phase_; }
  double timestamp() const { return timestamp_; }
  int tapCount() const { return tapCount_; }
  // The view it began on (nullptr when it began on nothing that takes touches).
  View* view() const { return view_.get(); }
  Window* window() const { return window_; }

  // The location in `v`'s coordinates; window coordinates for nullptr.
  Point locationInView(const View* v) const;
  Point previousLocationInView(const View* v) const;
  Point windowLocation() const { return location_; }

 private:
  friend class Window;
  int64_t id_;
  TouchPhase phase_ = TouchPhase::Began;
  Point location_;
  Point previous_;
  double timestamp_;
  int tapCount_ = 1;
  std::shared_ptr<View> view_;  // kept alive while touched, as the platform does
  Window* window_ = nullptr;
};

class Event {
 public:
  explicit Event(double timestamp) : timestamp_(timestamp) {}
  double timestamp() const { return timestamp_; }
  // Every touch that is down (or ending) in this event.
  const TouchSet& allTouches() const { return touches_; }
  TouchSet touchesForView(const View* v) const;

 private:
  friend class Window;
  double timestamp_;
  TouchSet touches_;
};

class Responder {
 public:
  virtual ~Responder() = default;
  virtual Responder* nextResponder() const { return nullptr; }

  // Defaults forward to the next responder.
  virtual void touchesBegan(const TouchSet& touches, const Event* event);
  virtual void touchesMoved(const TouchSet& touches, const Event* event);
  virtual void touchesEnded(const TouchSet& touches, const Event* event);
  virtual void touchesCancelled(const TouchSet& touches, const Event* event);

  virtual bool canBecomeFirstResponder() const { return false; }
  virtual bool becomeFirstResponder() { return false; }
  virtual bool resignFirstResponder() { return true; }
  virtual bool isFirstResponder() const { return false; }
};

// Keyboard input for the first responder (a text field).
class TextInput {
 public:
  virtual ~TextInput() = default;
  virtual void insertText(const std::string& utf8) = 0;
  virtual void deleteBackward() = 0;
  // The return key.
  virtual void returnKey() = 0;
};

}  // namespace platform
