#pragma once
// The window back end over SDL2: the interface in a real desktop window.
//
// The window shows the screen of the given size in points at a chosen
// number of pixels per point. Input: the left mouse button is one touch
// (identifier kMouseTouch), finger events of a touch screen are touches of
// their own, typed text, Backspace and Return go to the first responder.
// Lifecycle: minimising the window sends the application to the background,
// restoring it brings it back; closing the window sends it to the
// background (so the delegate saves its state) and then terminates it, and
// the run loop stops. Disabling the idle timer disables the screen saver;
// opening an address hands it to xdg-open.
//
// The run loop waits on SDL's event queue, so timers, posted work and input
// share one thread (the main thread) and the thread sleeps while none is due.
// At the end of a run-loop pass the compositor redraws what changed in the
// layer tree (nothing when nothing changed), about 60 times a second while
// animations run, and only the rectangles it drew are put on the window's
// surface and sent to the display.
//
// Main thread only; one back end at a time.

#include <SDL2/SDL.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/runloop/run_loop.h"
#include "platform/ui/application.h"
#include "platform/ui/compositor.h"
#include "platform/ui/window.h"

namespace platform {

class SdlBackend : public Backend, public RunLoop::EventSource {
 public:
  static constexpr int64_t kMouseTouch = -1;

  struct Options {
    Size points{736, 414};
    double pixelsPerPoint = 1.0;
    std::string title = "iGROOVEBIX";
    int x = -1, y = -1;  // window position on the desktop; -1 centres it
  };

  explicit SdlBackend(Options options);
  ~SdlBackend() override;
  SdlBackend(const SdlBackend&) = delete;
  SdlBackend& operator=(const SdlBackend&) = delete;

  // Opens SDL and the window; false (with the reason) when no display answers.
  bool open(std::string* error = nullptr);
  bool isOpen() const { return window_ != nullptr; }

  // Sets the delegate and launches the application (returns at once).
  bool launch(std::shared_ptr<ApplicationDelegate> delegate, const Dictionary& options = {});
  // launch, then the main run loop until the window is closed; the exit code.
  int run(std::shared_ptr<ApplicationDelegate> delegate);

  // The interface window shown in the SDL window (the key window).
  Window* interfaceWindow() const;
  SDL_Window* sdlWindow() const { return window_; }
  const Options& options() const { return options_; }
  // The frame on the screen (the compositor's, drawn on in place).
  ImagePtr lastFrame() const { return compositor_.frame(); }
  const Compositor& compositor() const { return compositor_; }
  int framesPresented() const { return frames_; }

  // ---- RunLoop::EventSource
  void waitForEvents(double seconds) override;
  void wake() override;
  void dispatchEvents() override;

  // ---- Backend
  bool openURL(const std::string& url) override;
  void setIdleTimerDisabled(bool disabled) override;
  void setNeedsRedraw() override { exposed_ = true; }

  // Handles one SDL event (tests feed events through it too).
  void handleEvent(const SDL_Event& e);

  // Makes SIGINT (Ctrl-C) and SIGTERM close the window as the window
  // manager's close does: background entry (the delegate saves), then
  // termination, and run() returns 0. A second signal while that is under
  // way ends the process at once. Call it first in main, before any thread
  // starts: the signals are blocked in the calling thread (and so in every
  // thread it starts) and taken by a thread of their own.
  static void closeOnTerminationSignals();

 private:
  void redrawIfNeeded();
  void present();
  Point toPoints(int x, int y) const;
  void sendTouch(int64_t id, Point p, TouchPhase phase);
  void closeRequested();
  static void closeActiveBackend();

  Options options_;
  SDL_Window* window_ = nullptr;
  uint32_t wakeEvent_ = 0;
  bool mouseDown_ = false;
  bool minimized_ = false;
  // The whole window must go up again (shown, exposed, restored).
  bool exposed_ = true;
  Compositor compositor_;
  int frames_ = 0;
  int passObserver_ = 0;
  std::shared_ptr<Timer> animationTimer_;
};

}  // namespace platform
