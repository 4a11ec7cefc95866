// The window back end on a real X server: the test starts its own Xvfb,
// opens the window, clicks it through the X test extension, reads the
// screen back from the server, minimises, restores and closes the window
// the way a window manager would, and stops its Xvfb at the end.
#include "platform/ui/sdl/sdl_backend.h"

#include <gtest/gtest.h>

#include <dlfcn.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <functional>
#include <string>

#include "platform/gfx/graphics_context.h"
#include "platform/ui/button.h"
#include "platform/ui/screen.h"
#include "platform/ui/view_controller.h"

// Last: X11's headers define names (None, Window, Screen) as macros and types.
#include <SDL2/SDL_syswm.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include "support/xvfb/xvfb_server.h"

extern char** environ;

using namespace platform;

// The X, D-Bus and driver libraries the window back end loads keep caches
// for the life of the process; they are not this program's leaks.
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libdbus-1.so\nleak:libX\nleak:libxcb\nleak:libGLX\nleak:libGL.so\nleak:libEGL\n";
}

namespace {

// ---------------------------------------------------------------- Xvfb

igbtest::XvfbServer gXvfb;
using igbtest::XTest;

// ---------------------------------------------------------------- the application

class Delegate : public ApplicationDelegate {
 public:
  bool didFinishLaunching(Application&, const Dictionary&) override {
    log.push_back("didFinishLaunching");
    window = std::make_shared<platform::Window>(platform::Screen::mainScreen().bounds());
    root = std::make_shared<ViewController>();
    window->setRootViewController(root);
    root->view()->setBackgroundColor(Color::white(0.2));
    button = std::make_shared<Button>(Button::Type::Custom, Rect(100, 100, 120, 60));
    button->setBackgroundImage(solid(Color::rgba(1, 0, 0)), ControlState::Normal);
    button->setBackgroundImage(solid(Color::rgba(1, 1, 0)), ControlState::Highlighted);
    button->addTarget(this, "down:", [this](Control&) { ++downs; }, ControlEvents::TouchDown);
    button->addTarget(this, "pushed:", [this](Control& b) {
      ++ups;
      // The pushed look: a blue key from now on.
      static_cast<Button&>(b).setBackgroundImage(solid(Color::rgba(0, 0, 1)), ControlState::Normal);
    }, ControlEvents::TouchUpInside);
    root->view()->addSubview(button);
    window->makeKeyAndVisible();
    return true;
  }
  void didEnterBackground(Application&) override { log.push_back("didEnterBackground"); }
  void willEnterForeground(Application&) override { log.push_back("willEnterForeground"); }
  void willTerminate(Application&) override { log.push_back("willTerminate"); }

  static ImagePtr solid(const Color& c) {
    beginImageContext({120, 60}, false, 1.0);
    currentGraphicsContext()->setFillColor(c);
    currentGraphicsContext()->fillRect({0, 0, 120, 60});
    auto img = imageFromCurrentImageContext();
    endImageContext();
    return img;
  }

  std::shared_ptr<ViewController> root;
  std::shared_ptr<Button> button;
  int downs = 0, ups = 0;
  std::vector<std::string> log;
};

class SdlWindowTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    std::string error;
    if (!gXvfb.start(&error)) {
      setupError() = error;
      return;
    }
    ::setenv("DISPLAY", gXvfb.display().c_str(), 1);
    ::setenv("SDL_VIDEODRIVER", "x11", 1);
    // A virtual server has no GPU: draw in software, as such a display would.
    ::setenv("SDL_RENDER_DRIVER", "software", 1);
    ::setenv("SDL_FRAMEBUFFER_ACCELERATION", "0", 1);
    ::unsetenv("WAYLAND_DISPLAY");
  }
  static void TearDownTestSuite() { gXvfb.stop(); }
  static std::string& setupError() {
    static std::string e;
    return e;
  }

  void SetUp() override {
    ASSERT_TRUE(setupError().empty()) << setupError();
    RunLoop::main().reset();
    RunLoop::main().setClock(nullptr);
    Application::sharedApplication().reset();
    dpy = XOpenDisplay(gXvfb.display().c_str());
    ASSERT_NE(dpy, nullptr);
    SdlBackend::Options o;
    o.points = {736, 414};
    o.pixelsPerPoint = 1.0;
    o.x = 0;
    o.y = 0;
    backend = std::make_unique<SdlBackend>(o);
    std::string error;
    ASSERT_TRUE(backend->open(&error)) << error;
    delegate = std::make_shared<Delegate>();
    ASSERT_TRUE(backend->launch(delegate));
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    ASSERT_TRUE(SDL_GetWindowWMInfo(backend->sdlWindow(), &info));
    xwin = info.info.x11.window;
    ASSERT_TRUE(pumpUntil([&] { return viewable() && backend->framesPresented() > 0; })) << "the window never showed";
  }
  void TearDown() override {
    backend.reset();
    Application::sharedApplication().reset();
    RunLoop::main().reset();
    if (dpy) XCloseDisplay(dpy);
  }

  // Runs the main loop until `done` or `seconds` pass.
  bool pumpUntil(const std::function<bool()>& done, double seconds = 5.0) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (std::chrono::steady_clock::now() < deadline) {
      RunLoop::main().runOnce(0.02);
      XSync(dpy, False);
      if (done()) return true;
    }
    return false;
  }
  bool viewable() {
    XWindowAttributes a;
    return XGetWindowAttributes(dpy, xwin, &a) && a.map_state == IsViewable;
  }
  // Where a window point is on the screen.
  void toScreen(Point p, int& x, int& y) {
    ::Window child;
    XTranslateCoordinates(dpy, xwin, DefaultRootWindow(dpy), static_cast<int>(p.x), static_cast<int>(p.y), &x, &y,
                          &child);
  }
  // The screen's pixel under a window point, read from the X server.
  unsigned long screenPixel(Point p) {
    int x, y;
    toScreen(p, x, y);
    XImage* img = XGetImage(dpy, DefaultRootWindow(dpy), x, y, 1, 1, AllPlanes, ZPixmap);
    if (!img) return 0xFFFFFFFF;
    const unsigned long v = XGetPixel(img, 0, 0) & 0xFFFFFF;
    XDestroyImage(img);
    return v;
  }
  void click(Point p, bool press) {
    int x, y;
    toScreen(p, x, y);
    xtest.motion(dpy, -1, x, y, 0);
    xtest.button(dpy, 1, press ? True : False, 0);
    XFlush(dpy);
  }

  Display* dpy = nullptr;
  ::Window xwin = 0;
  XTest xtest;
  std::unique_ptr<SdlBackend> backend;
  std::shared_ptr<Delegate> delegate;
};

TEST_F(SdlWindowTest, AClickIsATouchOnTheButtonAndTheScreenShowsTheWindow) {
  ASSERT_TRUE(xtest.ok()) << "the X test extension library is missing";
  // What the server shows: the red button on the grey view.
  EXPECT_EQ(screenPixel({160, 130}), 0xFF0000ul);
  EXPECT_EQ(screenPixel({50, 300}), 0x333333ul);
  click({160, 130}, true);
  ASSERT_TRUE(pumpUntil([&] { return delegate->downs == 1; })) << "no touch-down";
  // Held: the highlighted face is on the screen.
  ASSERT_TRUE(pumpUntil([&] { return screenPixel({160, 130}) == 0xFFFF00ul; }));
  click({160, 130}, false);
  ASSERT_TRUE(pumpUntil([&] { return delegate->ups == 1; })) << "no touch-up inside";
  ASSERT_TRUE(pumpUntil([&] { return screenPixel({160, 130}) == 0x0000FFul; }));
  EXPECT_EQ(screenPixel({50, 300}), 0x333333ul);
  // A click beside the button is no touch on it.
  click({400, 300}, true);
  click({400, 300}, false);
  pumpUntil([] { return false; }, 0.5);
  EXPECT_EQ(delegate->downs, 1);
}

TEST_F(SdlWindowTest, MinimiseRestoreAndCloseDriveTheLifecycle) {
  XUnmapWindow(dpy, xwin);
  XFlush(dpy);
  ASSERT_TRUE(pumpUntil([] { return Application::sharedApplication().applicationState() == Application::State::Background; }))
      << "minimising did not send the application to the background";
  XMapWindow(dpy, xwin);
  XFlush(dpy);
  ASSERT_TRUE(pumpUntil([] { return Application::sharedApplication().applicationState() == Application::State::Active; }))
      << "restoring did not bring it back";
  // Close as a window manager does: WM_DELETE_WINDOW.
  XEvent ev{};
  ev.xclient.type = ClientMessage;
  ev.xclient.window = xwin;
  ev.xclient.message_type = XInternAtom(dpy, "WM_PROTOCOLS", False);
  ev.xclient.format = 32;
  ev.xclient.data.l[0] = static_cast<long>(XInternAtom(dpy, "WM_DELETE_WINDOW", False));
  ev.xclient.data.l[1] = CurrentTime;
  XSendEvent(dpy, xwin, False, NoEventMask, &ev);
  XFlush(dpy);
  ASSERT_TRUE(pumpUntil([] { return Application::sharedApplication().isTerminated(); }));
  EXPECT_EQ(delegate->log, (std::vector<std::string>{"didFinishLaunching", "didEnterBackground", "willEnterForeground",
                                                     "didEnterBackground", "willTerminate"}));
}

}  // namespace
