#include "platform/ui/sdl/sdl_backend.h"

#include <pthread.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "platform/ui/screen.h"

extern char** environ;

namespace platform {

namespace {
constexpr double kAnimationFrame = 1.0 / 60.0;
// The open back end; only the main thread reads or writes it.
SdlBackend* gActive = nullptr;
}  // namespace

void SdlBackend::closeOnTerminationSignals() {
  // SDL's own handlers would leave a signal that the shell set to be
  // ignored (a job started in the background) without effect.
  SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGINT);
  sigaddset(&set, SIGTERM);
  ::signal(SIGINT, SIG_DFL);
  ::signal(SIGTERM, SIG_DFL);
  pthread_sigmask(SIG_BLOCK, &set, nullptr);
  std::thread([set] {
    bool requested = false;
    for (;;) {
      int sig = 0;
      if (sigwait(&set, &sig) != 0) continue;
      // The close did not get through (a hung main thread): go now.
      if (requested) std::_Exit(128 + sig);
      requested = true;
      RunLoop::main().perform([] { closeActiveBackend(); });
    }
  }).detach();
}

void SdlBackend::closeActiveBackend() {
  if (gActive && !Application::sharedApplication().isTerminated()) gActive->closeRequested();
}

SdlBackend::SdlBackend(Options options) : options_(std::move(options)), compositor_(options_.pixelsPerPoint) {}

SdlBackend::~SdlBackend() {
  if (gActive == this) gActive = nullptr;
  RunLoop& loop = RunLoop::main();
  loop.setEventSource(nullptr);
  if (passObserver_) loop.removePassObserver(passObserver_);
  if (animationTimer_) animationTimer_->invalidate();
  if (Application::sharedApplication().backend() == this) Application::sharedApplication().setBackend(nullptr);
  if (window_) {
    SDL_DestroyWindow(window_);
    SDL_QuitSubSystem(SDL_INIT_VIDEO | SDL_INIT_EVENTS);
  }
}

bool SdlBackend::open(std::string* error) {
  if (window_) return true;
  // Touch and mouse stay apart: each finger is a touch, the mouse is one.
  SDL_SetHint(SDL_HINT_TOUCH_MOUSE_EVENTS, "0");
  SDL_SetHint(SDL_HINT_MOUSE_TOUCH_EVENTS, "0");
  // The screen saver runs unless the application switches its idle timer off.
  SDL_SetHint(SDL_HINT_VIDEO_ALLOW_SCREENSAVER, "1");
  SDL_SetHint(SDL_HINT_VIDEO_X11_NET_WM_BYPASS_COMPOSITOR, "0");
  // The window's surface as the video driver's own (shared memory on X11),
  // which puts up only the rectangles given; through a GL texture every
  // frame would go up whole (and, without a GPU, be drawn by software GL
  // on every core).
  SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
  if (SDL_InitSubSystem(SDL_INIT_VIDEO | SDL_INIT_EVENTS) != 0) {
    if (error) *error = SDL_GetError();
    return false;
  }
  const int w = static_cast<int>(std::lround(options_.points.width * options_.pixelsPerPoint));
  const int h = static_cast<int>(std::lround(options_.points.height * options_.pixelsPerPoint));
  const int x = options_.x < 0 ? static_cast<int>(SDL_WINDOWPOS_CENTERED) : options_.x;
  const int y = options_.y < 0 ? static_cast<int>(SDL_WINDOWPOS_CENTERED) : options_.y;
  window_ = SDL_CreateWindow(options_.title.c_str(), x, y, w, h, SDL_WINDOW_SHOWN);
  if (!window_) {
    if (error) *error = SDL_GetError();
    SDL_QuitSubSystem(SDL_INIT_VIDEO | SDL_INIT_EVENTS);
    return false;
  }
  // Frames go to the window's own surface, which can put up parts of
  // itself (a renderer presents whole frames only).
  if (!SDL_GetWindowSurface(window_)) {
    if (error) *error = SDL_GetError();
    return false;
  }
  wakeEvent_ = SDL_RegisterEvents(1);

  Screen::mainScreen().configure(options_.points, options_.pixelsPerPoint);
  RunLoop& loop = RunLoop::main();
  loop.bindToCurrentThread();
  loop.setEventSource(this);
  // Lay out, draw and present at the end of each pass, as the display does.
  passObserver_ = loop.addPassObserver([this] { redrawIfNeeded(); }, 100);
  Application::sharedApplication().setBackend(this);
  gActive = this;
  return true;
}

bool SdlBackend::launch(std::shared_ptr<ApplicationDelegate> delegate, const Dictionary& options) {
  if (!open()) return false;
  Application& app = Application::sharedApplication();
  app.setDelegate(std::move(delegate));
  const bool ok = app.launch(options);
  exposed_ = true;
  return ok;
}

int SdlBackend::run(std::shared_ptr<ApplicationDelegate> delegate) {
  std::string error;
  if (!open(&error)) {
    std::fprintf(stderr, "Cannot open the window: %s\n", error.c_str());
    return 1;
  }
  if (!launch(std::move(delegate))) return 1;
  RunLoop::main().run();
  return 0;
}

Window* SdlBackend::interfaceWindow() const {
  if (Window* key = Application::sharedApplication().keyWindow()) return key;
  const auto& all = Application::sharedApplication().windows();
  return all.empty() ? nullptr : all.back();
}

void SdlBackend::waitForEvents(double seconds) {
  if (!window_) return;
  const double ms = std::min(seconds * 1000.0, 1e9);
  SDL_WaitEventTimeout(nullptr, static_cast<int>(std::ceil(std::max(0.0, ms))));
}

void SdlBackend::wake() {
  if (!window_ || wakeEvent_ == static_cast<uint32_t>(-1)) return;
  SDL_Event e;
  std::memset(&e, 0, sizeof e);
  e.type = wakeEvent_;
  SDL_PushEvent(&e);
}

void SdlBackend::dispatchEvents() {
  if (!window_) return;
  // One trip to the display server per pass: SDL_PollEvent would ask it
  // again for every event taken, and once more for the empty queue.
  SDL_PumpEvents();
  SDL_Event e;
  while (SDL_PeepEvents(&e, 1, SDL_GETEVENT, SDL_FIRSTEVENT, SDL_LASTEVENT) > 0) handleEvent(e);
}

Point SdlBackend::toPoints(int x, int y) const {
  return {x / options_.pixelsPerPoint, y / options_.pixelsPerPoint};
}

void SdlBackend::sendTouch(int64_t id, Point p, TouchPhase phase) {
  if (Window* w = interfaceWindow()) w->sendTouches({{id, p, phase}}, RunLoop::main().now());
}

void SdlBackend::closeRequested() {
  Application& app = Application::sharedApplication();
  if (Window* w = interfaceWindow()) w->cancelAllTouches(RunLoop::main().now());
  // Termination saves nothing: the background entry before it does.
  app.enterBackground();
  app.terminate();
  RunLoop::main().stop();
}

void SdlBackend::handleEvent(const SDL_Event& e) {
  Application& app = Application::sharedApplication();
  switch (e.type) {
    case SDL_MOUSEBUTTONDOWN:
      if (e.button.which == SDL_TOUCH_MOUSEID || e.button.button != SDL_BUTTON_LEFT || mouseDown_) break;
      mouseDown_ = true;
      sendTouch(kMouseTouch, toPoints(e.button.x, e.button.y), TouchPhase::Began);
      break;
    case SDL_MOUSEMOTION:
      if (e.motion.which == SDL_TOUCH_MOUSEID || !mouseDown_) break;
      sendTouch(kMouseTouch, toPoints(e.motion.x, e.motion.y), TouchPhase::Moved);
      break;
    case SDL_MOUSEBUTTONUP:
      if (e.button.which == SDL_TOUCH_MOUSEID || e.button.button != SDL_BUTTON_LEFT || !mouseDown_) break;
      mouseDown_ = false;
      sendTouch(kMouseTouch, toPoints(e.button.x, e.button.y), TouchPhase::Ended);
      break;
    case SDL_FINGERDOWN:
    case SDL_FINGERMOTION:
    case SDL_FINGERUP: {
      // Finger positions are fractions of the window.
      const Point p{e.tfinger.x * options_.points.width, e.tfinger.y * options_.points.height};
      const TouchPhase phase = e.type == SDL_FINGERDOWN   ? TouchPhase::Began
                               : e.type == SDL_FINGERUP ? TouchPhase::Ended
                                                        : TouchPhase::Moved;
      // Finger identifiers are never negative; the mouse keeps -1.
      sendTouch(static_cast<int64_t>(e.tfinger.fingerId & 0x7FFFFFFFFFFFFFFF), p, phase);
      break;
    }
    case SDL_TEXTINPUT:
      if (Window* w = interfaceWindow()) w->insertText(e.text.text);
      break;
    case SDL_KEYDOWN:
      if (Window* w = interfaceWindow()) {
        if (e.key.keysym.sym == SDLK_BACKSPACE) w->deleteBackward();
        if (e.key.keysym.sym == SDLK_RETURN || e.key.keysym.sym == SDLK_KP_ENTER) w->returnKey();
      }
      break;
    case SDL_WINDOWEVENT:
      switch (e.window.event) {
        case SDL_WINDOWEVENT_MINIMIZED:
          if (minimized_) break;
          minimized_ = true;
          mouseDown_ = false;
          if (Window* w = interfaceWindow()) w->cancelAllTouches(RunLoop::main().now());
          app.enterBackground();
          break;
        case SDL_WINDOWEVENT_RESTORED:
          if (!minimized_) break;
          minimized_ = false;
          app.enterForeground();
          exposed_ = true;
          break;
        case SDL_WINDOWEVENT_EXPOSED:
        case SDL_WINDOWEVENT_SHOWN:
          exposed_ = true;
          break;
        case SDL_WINDOWEVENT_CLOSE:
          closeRequested();
          break;
        default: break;
      }
      break;
    case SDL_QUIT:
      if (!app.isTerminated()) closeRequested();
      break;
    default: break;
  }
}

void SdlBackend::redrawIfNeeded() {
  Window* w = interfaceWindow();
  if (!w || !window_) return;
  w->layoutAndDisplay();
  const bool animating = Layer::anyAnimationRunning();
  if (animating && !animationTimer_) {
    // Its ticks end the loop's wait; the pass's end draws the frame.
    animationTimer_ = RunLoop::main().scheduleTimer(kAnimationFrame, true, [this](Timer& t) {
      if (!Layer::anyAnimationRunning()) {
        t.invalidate();
        animationTimer_.reset();
      }
    });
  }
  present();
}

void SdlBackend::present() {
  Window* w = interfaceWindow();
  if (!w || !window_) return;
  const bool exposed = exposed_;
  exposed_ = false;
  const std::vector<PixelRect>& rects = compositor_.update(*w, RunLoop::main().now(), exposed);
  if (rects.empty()) return;
  SDL_Surface* target = SDL_GetWindowSurface(window_);
  if (!target) return;
  cairo_surface_t* s = compositor_.frame()->surface();
  // Cairo's ARGB32 is SDL's ARGB8888 in native byte order; a blit converts
  // to whatever the window's surface uses.
  SDL_Surface* source = SDL_CreateRGBSurfaceWithFormatFrom(
      cairo_image_surface_get_data(s), cairo_image_surface_get_width(s), cairo_image_surface_get_height(s), 32,
      cairo_image_surface_get_stride(s), SDL_PIXELFORMAT_ARGB8888);
  if (!source) return;
  SDL_SetSurfaceBlendMode(source, SDL_BLENDMODE_NONE);
  std::vector<SDL_Rect> areas;
  areas.reserve(rects.size());
  for (const PixelRect& r : rects) {
    SDL_Rect from{r.x, r.y, r.width, r.height};
    SDL_Rect to = from;
    SDL_BlitSurface(source, &from, target, &to);
    areas.push_back(from);
  }
  SDL_FreeSurface(source);
  SDL_UpdateWindowSurfaceRects(window_, areas.data(), static_cast<int>(areas.size()));
  ++frames_;
}

bool SdlBackend::openURL(const std::string& url) {
  if (!canOpenURL(url)) return false;
  pid_t pid;
  const char* argv[] = {"xdg-open", url.c_str(), nullptr};
  if (posix_spawnp(&pid, "xdg-open", nullptr, nullptr, const_cast<char* const*>(argv), environ) != 0) return false;
  // Reaped on a worker so that the interface never waits for the browser.
  dispatchAsyncGlobal([pid] {
    int status;
    waitpid(pid, &status, 0);
  });
  return true;
}

void SdlBackend::setIdleTimerDisabled(bool disabled) {
  if (!window_) return;
  if (disabled)
    SDL_DisableScreenSaver();
  else
    SDL_EnableScreenSaver();
}

}  // namespace platform
