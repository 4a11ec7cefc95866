#pragma once
// The headless back end: the interface without a display, for tests.
//
// It makes the main screen a given size and scale, puts a virtual clock on
// the main run loop (time moves only by advance()), and is the
// application's back end. Tests build windows, inject touches and text,
// drive the lifecycle (launch, background, foreground, terminate), answer
// alerts, move time, render the window (or one view) to an image or a PNG,
// and query the view tree.
//
// Every injection runs one pass of the run loop afterwards, as a real event
// would: work posted or notifications queued by the handlers run then.
// Destroying the back end cancels touches, drops timers and pending work,
// and resets the application and the clock.
//
// Main thread only; one back end at a time.

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/runloop/run_loop.h"
#include "platform/ui/application.h"
#include "platform/ui/compositor.h"
#include "platform/ui/window.h"

namespace platform {

class HeadlessBackend : public Backend {
 public:
  explicit HeadlessBackend(Size screenSize = {736, 414}, double scale = 2.0);
  ~HeadlessBackend() override;
  HeadlessBackend(const HeadlessBackend&) = delete;
  HeadlessBackend& operator=(const HeadlessBackend&) = delete;

  // ---- time
  VirtualClock& clock() { return *clock_; }
  double now() const { return clock_->now(); }
  // Moves virtual time on, running what falls due on the way.
  void advance(double seconds);
  // One run-loop pass (posted blocks, due timers, queued notifications).
  void runPass();

  // ---- windows and the application
  // A key, visible window covering the screen.
  std::shared_ptr<Window> makeWindow();
  Window* window() const;
  // Sets the delegate and launches; the delegate's window (when it made
  // one) is the window from then on.
  bool launch(std::shared_ptr<ApplicationDelegate> delegate, const Dictionary& options = {});
  void enterBackground();
  void enterForeground();
  // Background first when active, then terminate, as a closing window does.
  void terminate();

  // ---- touches, in window coordinates
  void touchDown(Point p, int64_t id = 0);
  void touchMove(Point p, int64_t id = 0);
  void touchUp(Point p, int64_t id = 0);
  void touchCancel(int64_t id = 0);
  // Down, hold, up at one point.
  void tap(Point p, double hold = 0.05, int64_t id = 0);
  // Down at `from`, `steps` moves spread over `seconds`, up at `to`.
  void drag(Point from, Point to, double seconds, int steps = 10, int64_t id = 0);
  // Touch time stamps advance the clock by this much between events unless
  // a gesture says otherwise.
  void setEventSpacing(double seconds) { spacing_ = seconds; }

  // ---- text, to the first responder
  void typeText(const std::string& utf8);
  void pressReturn();
  void pressBackspace();

  // ---- alerts
  bool alertVisible() const;
  std::string alertTitle() const;
  std::string alertMessage() const;
  std::vector<std::string> alertButtons() const;
  // Taps the button of the visible alert; false when none shows.
  bool answerAlert(int buttonIndex);

  // ---- drawing
  ImagePtr render();
  bool renderToPNG(const std::filesystem::path& path);
  // One view on its own (its own bounds, at the screen scale).
  ImagePtr renderView(View& view);

  // ---- presenting, as a display does
  // From now on the end of every pass brings the compositor's frame up to
  // date (for measuring what drawing costs); returns the compositor.
  Compositor& startPresenting();
  // Null until presenting starts.
  Compositor* compositor() const { return compositor_.get(); }

  // ---- the tree
  std::vector<View*> findViews(const std::function<bool(View&)>& match) const;
  // An indented line per view: class, frame, tag, hidden and alpha.
  std::string dumpTree() const;

  // ---- Backend
  bool openURL(const std::string& url) override;
  const std::vector<std::string>& openedURLs() const { return opened_; }
  void setIdleTimerDisabled(bool d) override { idleDisabled_ = d; }
  bool idleTimerDisabled() const { return idleDisabled_; }

 private:
  void send(Point p, TouchPhase phase, int64_t id, double stamp);

  std::shared_ptr<VirtualClock> clock_;
  std::shared_ptr<Window> window_;
  double spacing_ = 0.0;
  std::vector<std::string> opened_;
  bool idleDisabled_ = false;
  int passObserver_ = 0;
  std::unique_ptr<Compositor> compositor_;
};

}  // namespace platform
