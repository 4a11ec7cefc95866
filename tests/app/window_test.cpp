// The program itself in a real window: the test starts its own Xvfb, runs
// the igroovebix binary against a temporary root, waits for its window,
// reads the panel back from the X server into a PNG, clicks a step button
// with the X test extension, closes the window as a window manager does,
// and checks that the program saved the click on its way out.
//
// With $IGB_SCREENSHOT_OUT set, the screenshot is also copied there.

#include <gtest/gtest.h>

#include <dlfcn.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "engine/record/pattern_record.h"
#include "library/pattern_store.h"
#include "library/utilities.h"
#include "platform/foundation/atomic_file.h"
#include "platform/foundation/user_defaults.h"
#include "platform/gfx/image.h"

// Last: X11's headers define names (None, Window, Screen) as macros.
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include "support/xvfb/program_environment.h"
#include "support/xvfb/xvfb_server.h"

extern char** environ;
namespace fs = std::filesystem;

namespace {

igbtest::XvfbServer gXvfb;
using igbtest::XTest;

// The program's top-level window: named "iGROOVEBIX" and mapped.
::Window findProgramWindow(Display* dpy, ::Window w) {
  char* name = nullptr;
  if (XFetchName(dpy, w, &name) && name) {
    const bool match = std::strcmp(name, "iGROOVEBIX") == 0;
    XFree(name);
    XWindowAttributes a;
    if (match && XGetWindowAttributes(dpy, w, &a) && a.map_state == IsViewable) return w;
  }
  ::Window rootReturn, parent;
  ::Window* children = nullptr;
  unsigned int n = 0;
  ::Window found = 0;
  if (XQueryTree(dpy, w, &rootReturn, &parent, &children, &n)) {
    for (unsigned int i = 0; i < n && !found; ++i) found = findProgramWindow(dpy, children[i]);
    if (children) XFree(children);
  }
  return found;
}

struct Rgb {
  int r, g, b;
};

class ProgramWindowTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    std::string error;
    if (!gXvfb.start(&error)) setupError() = error;
  }
  static void TearDownTestSuite() { gXvfb.stop(); }
  static std::string& setupError() {
    static std::string e;
    return e;
  }

  void SetUp() override {
    ASSERT_TRUE(setupError().empty()) << setupError();
    char tmpl[] = "/tmp/igb-window-XXXXXX";
    ASSERT_NE(::mkdtemp(tmpl), nullptr);
    root = tmpl;
    fs::create_directories(root / "Documents");
    dpy = XOpenDisplay(gXvfb.display().c_str());
    ASSERT_NE(dpy, nullptr);
    XSetErrorHandler(igbtest::ignoreXErrors);
  }
  void TearDown() override {
    if (child > 0) {
      ::kill(child, SIGKILL);
      ::waitpid(child, nullptr, 0);
    }
    if (dpy) XCloseDisplay(dpy);
    std::error_code ec;
    fs::remove_all(root, ec);
  }

  // `ignoreInterrupt`: started as a shell starts a background job, with
  // SIGINT ignored.
  void launchProgram(bool ignoreInterrupt = false) {
    std::vector<std::string> env =
        igbtest::programEnvironment(gXvfb.display(), root, 1, {"LSAN_OPTIONS=", "ASAN_OPTIONS="});
    // No GL driver on a virtual X server: the software renderer draws.
    env.push_back("SDL_RENDER_DRIVER=software");
    // Under AddressSanitizer the program's own leaks are checked by the
    // headless tests; here the X libraries that SDL loads and unloads again
    // at exit leave allocations the leak checker can no longer attribute.
    env.push_back("ASAN_OPTIONS=detect_leaks=0:abort_on_error=1");
    std::vector<char*> envp;
    for (std::string& s : env) envp.push_back(s.data());
    envp.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    const std::string log = (root / "program.log").string();
    posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    const char* argv[] = {IGB_PROGRAM, nullptr};
    // An ignored signal stays ignored across exec.
    struct sigaction ignore {}, previous {};
    ignore.sa_handler = SIG_IGN;
    if (ignoreInterrupt) ::sigaction(SIGINT, &ignore, &previous);
    const int spawned = posix_spawn(&child, IGB_PROGRAM, &actions, nullptr, const_cast<char* const*>(argv), envp.data());
    if (ignoreInterrupt) ::sigaction(SIGINT, &previous, nullptr);
    ASSERT_EQ(spawned, 0);
    posix_spawn_file_actions_destroy(&actions);
  }

  std::string programLog() const {
    auto bytes = platform::readFile(root / "program.log");
    return bytes ? std::string(bytes->begin(), bytes->end()) : std::string();
  }

  bool waitFor(const std::function<bool()>& done, double seconds) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (std::chrono::steady_clock::now() < deadline) {
      XSync(dpy, False);
      if (done()) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
  }

  // The window's pixels as an image of the platform's graphics layer.
  platform::ImagePtr grab(int w, int h) {
    XImage* x = XGetImage(dpy, win, 0, 0, static_cast<unsigned>(w), static_cast<unsigned>(h), AllPlanes, ZPixmap);
    if (!x) return nullptr;
    platform::ImagePtr img = platform::Image::create(w, h, 1.0);
    cairo_surface_t* s = img->surface();
    cairo_surface_flush(s);
    unsigned char* data = cairo_image_surface_get_data(s);
    const int stride = cairo_image_surface_get_stride(s);
    for (int y = 0; y < h; ++y) {
      auto* row = reinterpret_cast<uint32_t*>(data + y * stride);
      for (int px = 0; px < w; ++px) row[px] = 0xFF000000u | (XGetPixel(x, px, y) & 0xFFFFFFu);
    }
    cairo_surface_mark_dirty(s);
    XDestroyImage(x);
    return img;
  }

  static Rgb pixel(const platform::ImagePtr& img, int x, int y) {
    cairo_surface_t* s = img->surface();
    const uint32_t v = reinterpret_cast<const uint32_t*>(cairo_image_surface_get_data(s) +
                                                          y * cairo_image_surface_get_stride(s))[x];
    return {static_cast<int>((v >> 16) & 0xFF), static_cast<int>((v >> 8) & 0xFF), static_cast<int>(v & 0xFF)};
  }
  // How many pixels of a rectangle are clearly of one hue.
  template <typename F>
  static int count(const platform::ImagePtr& img, int x0, int y0, int w, int h, F pred) {
    int n = 0;
    for (int y = y0; y < y0 + h; ++y)
      for (int x = x0; x < x0 + w; ++x) n += pred(pixel(img, x, y)) ? 1 : 0;
    return n;
  }

  void click(int x, int y) {
    int sx, sy;
    ::Window childWin;
    XTranslateCoordinates(dpy, win, DefaultRootWindow(dpy), x, y, &sx, &sy, &childWin);
    xtest.motion(dpy, -1, sx, sy, 0);
    xtest.button(dpy, 1, True, 0);
    XFlush(dpy);
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    xtest.button(dpy, 1, False, 0);
    XFlush(dpy);
  }

  void closeWindow() {
    XEvent ev{};
    ev.xclient.type = ClientMessage;
    ev.xclient.window = win;
    ev.xclient.message_type = XInternAtom(dpy, "WM_PROTOCOLS", True);
    ev.xclient.format = 32;
    ev.xclient.data.l[0] = static_cast<long>(XInternAtom(dpy, "WM_DELETE_WINDOW", False));
    ev.xclient.data.l[1] = CurrentTime;
    XSendEvent(dpy, win, False, NoEventMask, &ev);
    XFlush(dpy);
  }

  // The exit status, or -1 when the program did not end in time.
  int waitExit(double seconds) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (std::chrono::steady_clock::now() < deadline) {
      int status = 0;
      if (::waitpid(child, &status, WNOHANG) == child) {
        child = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return -1;
  }

  fs::path root;
  Display* dpy = nullptr;
  ::Window win = 0;
  pid_t child = -1;
  XTest xtest;
};

}  // namespace

TEST_F(ProgramWindowTest, OpensWithThePanelTakesAClickAndSavesOnClose) {
  ASSERT_TRUE(xtest.motion && xtest.button) << "the X test extension is missing";
  // A launch after the first: the first one's tutorial would cover the panel.
  platform::UserDefaults seeded(root / "config" / "igroovebix" / "UserDefaults.plist");
  seeded.setBool(true, "app_launched");
  ASSERT_TRUE(seeded.synchronize());
  launchProgram();
  ASSERT_TRUE(waitFor([&] { return (win = findProgramWindow(dpy, DefaultRootWindow(dpy))) != 0; }, 60.0))
      << "no window; the program said:\n" << programLog();
  XWindowAttributes a;
  ASSERT_TRUE(XGetWindowAttributes(dpy, win, &a));
  EXPECT_EQ(a.width, 736);
  EXPECT_EQ(a.height, 414);

  // The panel shows once the first pattern is loaded: its name lights the LCD.
  auto lcdLit = [&](const platform::ImagePtr& img) {
    return count(img, 84, 56, 140, 55, [](Rgb p) { return p.r > 150 && p.g < 90 && p.b < 90; });
  };
  platform::ImagePtr shot;
  ASSERT_TRUE(waitFor([&] {
    shot = grab(a.width, a.height);
    return shot && lcdLit(shot) > 200;
  }, 60.0)) << "the LCD never lit; the program said:\n" << programLog();
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  shot = grab(a.width, a.height);
  ASSERT_TRUE(shot);
  const fs::path png = root / "main-screen.png";
  ASSERT_TRUE(shot->writePNG(png));
  if (const char* out = std::getenv("IGB_SCREENSHOT_OUT"); out && *out) {
    fs::copy_file(png, out, fs::copy_options::overwrite_existing);
  }
  // The current part's button is the selected (green) one.
  EXPECT_GT(count(shot, 287, 278, 46, 57, [](Rgb p) { return p.g > 120 && p.g > p.r + 40 && p.g > p.b + 40; }), 500);
  EXPECT_LT(count(shot, 341, 278, 46, 57, [](Rgb p) { return p.g > 120 && p.g > p.r + 40 && p.g > p.b + 40; }), 50);

  // A click on the second step button of the first page.
  const int stepX = static_cast<int>(24.5 + 43.5 * 1 + 17);
  const int stepY = 342 + 31;
  auto reddish = [&](const platform::ImagePtr& img) {
    return count(img, static_cast<int>(24.5 + 43.5 * 1) + 2, 345, 30, 56, [](Rgb p) { return p.r > 100 && p.r > p.g + 40; });
  };
  const int before = reddish(shot);
  click(stepX, stepY);
  ASSERT_TRUE(waitFor([&] {
    platform::ImagePtr now = grab(a.width, a.height);
    return now && (reddish(now) > before + 300 || reddish(now) + 300 < before);
  }, 30.0)) << "the step button did not change";

  closeWindow();
  ASSERT_EQ(waitExit(60.0), 0) << programLog();

  // The click reached the record, and closing the window saved it.
  ::setenv("IGROOVEBIX_HOME", (root / "Documents").c_str(), 1);
  const std::optional<fs::path> editBuffer = Utilities::editBufferFilePath();
  ASSERT_TRUE(editBuffer && fs::exists(*editBuffer));
  auto bytes = platform::readFile(*editBuffer);
  ASSERT_TRUE(bytes && bytes->size() == PatternRecord::kSize);
  const PatternRecord saved =
      PatternRecord::fromBytes(std::span<const uint8_t, PatternRecord::kSize>(bytes->data(), PatternRecord::kSize));
  Z31647PatternStore store;
  store.load();
  const PatternRecord original = store.patternAt(0);
  EXPECT_NE(saved.sequencerParams.trigger[0][1], original.sequencerParams.trigger[0][1]);
  for (int s = 0; s < kNumSteps; ++s) {
    if (s != 1) {
      EXPECT_EQ(saved.sequencerParams.trigger[0][s], original.sequencerParams.trigger[0][s]) << s;
    }
  }
  ::unsetenv("IGROOVEBIX_HOME");
}

// Ctrl-C and SIGTERM leave the program as closing its window does: it saves
// the edit buffer and the global settings on its way out and exits with 0,
// also when the shell started it with SIGINT ignored.
struct SignalCase {
  int sig;
  bool startedIgnoringInterrupt;
  const char* name;
};
void PrintTo(const SignalCase& c, std::ostream* os) { *os << c.name; }

class ProgramSignalTest : public ProgramWindowTest, public ::testing::WithParamInterface<SignalCase> {};

TEST_P(ProgramSignalTest, SavesAndExitsCleanly) {
  const int sig = GetParam().sig;
  platform::UserDefaults seeded(root / "config" / "igroovebix" / "UserDefaults.plist");
  seeded.setBool(true, "app_launched");
  ASSERT_TRUE(seeded.synchronize());
  launchProgram(GetParam().startedIgnoringInterrupt);
  ASSERT_TRUE(waitFor([&] { return (win = findProgramWindow(dpy, DefaultRootWindow(dpy))) != 0; }, 60.0))
      << "no window; the program said:\n" << programLog();
  XWindowAttributes a;
  ASSERT_TRUE(XGetWindowAttributes(dpy, win, &a));
  // Up and running once the first pattern's name lights the LCD.
  ASSERT_TRUE(waitFor([&] {
    platform::ImagePtr shot = grab(a.width, a.height);
    return shot && count(shot, 84, 56, 140, 55, [](Rgb p) { return p.r > 150 && p.g < 90 && p.b < 90; }) > 200;
  }, 60.0)) << "the LCD never lit; the program said:\n" << programLog();

  ::setenv("IGROOVEBIX_HOME", (root / "Documents").c_str(), 1);
  const std::optional<fs::path> editBuffer = Utilities::editBufferFilePath();
  ::unsetenv("IGROOVEBIX_HOME");
  ASSERT_TRUE(editBuffer);
  const fs::path global = editBuffer->parent_path() / "global.dat";
  // Whatever start-up wrote goes: what is there afterwards the signal saved.
  std::error_code ec;
  fs::remove(*editBuffer, ec);
  fs::remove(global, ec);
  ASSERT_FALSE(fs::exists(*editBuffer));
  ASSERT_FALSE(fs::exists(global));

  ASSERT_EQ(::kill(child, sig), 0);
  ASSERT_EQ(waitExit(60.0), 0) << programLog();
  ASSERT_TRUE(fs::exists(*editBuffer)) << programLog();
  EXPECT_EQ(fs::file_size(*editBuffer), PatternRecord::kSize);
  ASSERT_TRUE(fs::exists(global)) << programLog();
  EXPECT_GT(fs::file_size(global), 0u);
}

INSTANTIATE_TEST_SUITE_P(Signals, ProgramSignalTest,
                         ::testing::Values(SignalCase{SIGINT, false, "Interrupt"},
                                           SignalCase{SIGINT, true, "InterruptInBackgroundJob"},
                                           SignalCase{SIGTERM, false, "Terminate"}),
                         [](const ::testing::TestParamInfo<SignalCase>& info) { return std::string(info.param.name); });
