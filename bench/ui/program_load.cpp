// The real program as a user runs it: in a window at 2 pixels per point on
// an Xvfb of this tool's own, the null audio device, a fresh data folder
// (launched once before, so no tutorial covers the panel). It reads the
// process's CPU ticks from /proc/PID/stat over a span (10 s by default) in
// three cases, and its resident memory:
//   stopped  - nothing touched;
//   playing  - after a click on Play (the pattern's own tempo);
//   dragging - the pitch knob held and moved up and down all the time.
//
//   bench_ui_program [seconds per case]
//
// CPU is given in per cent of one core (all of the program's threads,
// the audio engine's too).

#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/foundation/user_defaults.h"

// Last: X11's headers define names (None, Window) as macros.
#include <X11/Xlib.h>

#include "support/xvfb/program_environment.h"
#include "support/xvfb/xvfb_server.h"

extern char** environ;
namespace fs = std::filesystem;

namespace {

constexpr double kScale = 2.0;

::Window findWindow(Display* dpy, ::Window w) {
  char* name = nullptr;
  if (XFetchName(dpy, w, &name) && name) {
    const bool match = std::strcmp(name, "iGROOVEBIX") == 0;
    XFree(name);
    XWindowAttributes a;
    if (match && XGetWindowAttributes(dpy, w, &a) && a.map_state == IsViewable) return w;
  }
  ::Window root, parent, *children = nullptr;
  unsigned int n = 0;
  ::Window found = 0;
  if (XQueryTree(dpy, w, &root, &parent, &children, &n)) {
    for (unsigned int i = 0; i < n && !found; ++i) found = findWindow(dpy, children[i]);
    if (children) XFree(children);
  }
  return found;
}

// utime + stime of the process, in clock ticks.
long long cpuTicks(pid_t pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
  std::string all((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  // The command name may hold blanks; the fields after it are plain.
  const size_t close = all.rfind(')');
  if (close == std::string::npos) return -1;
  std::istringstream rest(all.substr(close + 2));
  std::string field;
  long long utime = 0, stime = 0;
  for (int i = 3; i <= 15 && rest >> field; ++i) {
    if (i == 14) utime = std::stoll(field);
    if (i == 15) stime = std::stoll(field);
  }
  return utime + stime;
}

long residentKiB(pid_t pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/status");
  std::string line;
  while (std::getline(in, line))
    if (line.rfind("VmRSS:", 0) == 0) return std::atol(line.c_str() + 6);
  return -1;
}

struct Pointer {
  Display* dpy;
  ::Window win;
  igbtest::XTest& xtest;
  // To a point of the panel, in points.
  void moveTo(double x, double y) {
    int sx, sy;
    ::Window child;
    XTranslateCoordinates(dpy, win, DefaultRootWindow(dpy), static_cast<int>(x * kScale), static_cast<int>(y * kScale),
                          &sx, &sy, &child);
    xtest.motion(dpy, -1, sx, sy, 0);
    XFlush(dpy);
  }
  void button(bool down) {
    xtest.button(dpy, 1, down ? True : False, 0);
    XFlush(dpy);
  }
  void click(double x, double y) {
    moveTo(x, y);
    button(true);
    std::this_thread::sleep_for(std::chrono::milliseconds(80));
    button(false);
  }
};

void measure(const char* name, pid_t pid, double seconds, const std::function<void(double)>& during = nullptr) {
  const long hz = ::sysconf(_SC_CLK_TCK);
  const long long t0 = cpuTicks(pid);
  const auto start = std::chrono::steady_clock::now();
  for (;;) {
    const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (elapsed >= seconds) break;
    if (during) during(elapsed);
    std::this_thread::sleep_for(std::chrono::milliseconds(16));
  }
  const double span = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  const long long ticks = cpuTicks(pid) - t0;
  std::printf("%-9s cpu %6.1f %% of a core (%lld ticks in %.1f s)  resident %6.1f MB\n", name,
              100.0 * static_cast<double>(ticks) / static_cast<double>(hz) / span, ticks, span,
              static_cast<double>(residentKiB(pid)) / 1024.0);
  std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
  const double seconds = argc > 1 ? std::atof(argv[1]) : 10.0;
  igbtest::XvfbServer xvfb;
  std::string error;
  if (!xvfb.start(&error, "1600x1000x24")) {
    std::fprintf(stderr, "%s\n", error.c_str());
    return 1;
  }
  igbtest::XTest xtest;
  if (!xtest.ok()) {
    std::fprintf(stderr, "the X test extension is missing\n");
    return 1;
  }
  char tmpl[] = "/tmp/igb-bench-program-XXXXXX";
  if (!::mkdtemp(tmpl)) return 1;
  const fs::path root = tmpl;
  fs::create_directories(root / "Documents");
  {
    platform::UserDefaults seeded(root / "config" / "igroovebix" / "UserDefaults.plist");
    seeded.setBool(true, "app_launched");
    seeded.synchronize();
  }
  std::vector<std::string> env = igbtest::programEnvironment(xvfb.display(), root, 2);
  std::vector<char*> envp;
  for (std::string& s : env) envp.push_back(s.data());
  envp.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  const std::string log = (root / "program.log").string();
  posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_adddup2(&actions, 1, 2);
  pid_t pid = -1;
  const char* args[] = {IGB_PROGRAM, nullptr};
  if (posix_spawn(&pid, IGB_PROGRAM, &actions, nullptr, const_cast<char* const*>(args), envp.data()) != 0) return 1;
  posix_spawn_file_actions_destroy(&actions);

  int status = 0;
  Display* dpy = XOpenDisplay(xvfb.display().c_str());
  XSetErrorHandler(igbtest::ignoreXErrors);
  ::Window win = 0;
  for (int i = 0; i < 600 && dpy && !(win = findWindow(dpy, DefaultRootWindow(dpy))); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  if (!win) {
    std::fprintf(stderr, "the program showed no window\n");
    status = 1;
  } else {
    // Start-up done: the library loaded, the first pattern on the panel.
    std::this_thread::sleep_for(std::chrono::seconds(8));
    Pointer pointer{dpy, win, xtest};
    measure("stopped", pid, seconds);
    pointer.click(168 + 62.5 / 2, 212.5 + 48.5 / 2);  // Play
    std::this_thread::sleep_for(std::chrono::seconds(1));
    measure("playing", pid, seconds);
    pointer.click(95.5 + 62.5 / 2, 212.5 + 48.5 / 2);  // Stop
    std::this_thread::sleep_for(std::chrono::seconds(1));
    // The pitch knob, held and moved 40 points up and down every second.
    const double kx = 336.5 + 26.5, ky = 32 + 26.5;
    pointer.moveTo(kx, ky);
    pointer.button(true);
    measure("dragging", pid, seconds, [&](double t) { pointer.moveTo(kx, ky + 20.0 * std::sin(2.0 * M_PI * t)); });
    pointer.button(false);
  }
  ::kill(pid, SIGTERM);
  ::waitpid(pid, nullptr, 0);
  if (dpy) XCloseDisplay(dpy);
  std::error_code ec;
  fs::remove_all(root, ec);
  return status;
}
