#pragma once
// The window: the root of a view tree on the screen, the owner of the root
// view controller, the dispatcher of touches and keyboard text, and the
// surface a back end draws.
//
// Touches come from the back end as (identifier, window location, phase)
// with a time stamp. At touch-down the window hit-tests its tree; the touch
// then belongs to that view for its life. A view whose multiple-touch flag
// is off gets only its first touch: further fingers on it go nowhere until
// that one lifts. Touches that hit nothing are tracked but delivered to no
// one. Every delivery names only the touches of that view.
//
// Main thread only.

#include <map>
#include <memory>
#include <vector>

#include "platform/ui/view.h"

namespace platform {

class ViewController;

class Window : public View {
 public:
  struct TouchInput {
    int64_t identifier;
    Point location;  // window coordinates
    TouchPhase phase;
  };

  explicit Window(const Rect& frame);
  ~Window() override;

  void setRootViewController(std::shared_ptr<ViewController> vc);
  ViewController* rootViewController() const { return root_.get(); }
  const std::shared_ptr<ViewController>& rootViewControllerPtr() const { return root_; }

  void makeKeyAndVisible();
  void makeKeyWindow();
  bool isKeyWindow() const;
  // Shown on the screen: made visible and not hidden.
  bool isVisible() const { return visible_ && !isHidden(); }
  void setHidden(bool h) override;

  EdgeInsets windowSafeAreaInsets() const { return safeArea_; }
  void setWindowSafeAreaInsets(EdgeInsets e) { safeArea_ = e; }

  // ---- input from the back end
  void sendTouches(const std::vector<TouchInput>& touches, double timestamp);
  // Cancels every touch that is down (the window goes away, the app leaves
  // the foreground).
  void cancelAllTouches(double timestamp);
  size_t activeTouchCount() const { return active_.size(); }

  Responder* firstResponder() const { return firstResponder_; }
  // Text fields become and resign first responder through these.
  bool makeFirstResponder(Responder* r);
  void resignFirstResponderIfCurrent(const Responder* r);
  void insertText(const std::string& utf8);
  void deleteBackward();
  void returnKey();

  // ---- drawing
  // The layout pass and then the display pass of the whole tree.
  void layoutAndDisplay();
  // The window as drawn at time `t` (the main run loop's clock when
  // negative), at the screen's scale unless another is given.
  ImagePtr snapshot(double t = -1.0, double scale = 0.0);
  // Draws the window onto `cr` (user space in device pixels ÷ scale).
  void render(cairo_t* cr, double t, double scale);

  Responder* nextResponder() const override;

 private:
  void deliver(const std::vector<std::shared_ptr<Touch>>& touches, TouchPhase phase, const Event& event);

  std::shared_ptr<ViewController> root_;
  bool visible_ = false;
  EdgeInsets safeArea_;
  std::map<int64_t, std::shared_ptr<Touch>> active_;
  Responder* firstResponder_ = nullptr;
  // The last tap, for tap counts.
  Point lastTapLocation_;
  double lastTapTime_ = -1e9;
  int lastTapCount_ = 0;
  uint64_t layoutSeen_ = ~0ull;
  uint64_t displaySeen_ = ~0ull;
};

using WindowPtr = std::shared_ptr<Window>;

}  // namespace platform
