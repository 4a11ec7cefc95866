#pragma once
// A virtual X server of the test's own, and the X test extension's two calls
// for real pointer input. Include after the X11 headers.
//
// The server picks a free display itself (-displayfd) and writes its number
// when it is ready for clients, so tests never race for a display or start
// talking to a server that is still coming up.

#include <dlfcn.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>

extern char** environ;

namespace igbtest {

class XvfbServer {
 public:
  // False, with a reason, when Xvfb cannot be started or never reports.
  // `screen`: width x height x depth of its one screen.
  bool start(std::string* error, const char* screen = "1024x768x24") {
    int fds[2];
    if (::pipe(fds) != 0) {
      *error = "pipe failed";
      return false;
    }
    const std::string fd = std::to_string(fds[1]);
    // -noreset: one server serves every test of the binary, and each test
    // closes all of its connections at its end. An X server resets when its
    // last client leaves, and while it does it refuses new connections; the
    // next test would connect into that window (on a loaded machine, often).
    const char* argv[] = {"Xvfb", "-displayfd", fd.c_str(), "-noreset", "-screen", "0", screen,
                          "-nolisten", "tcp", nullptr};
    // The server must not hold the test's output open: if the test process
    // dies, ctest waits for every writer of its pipe and a quick failure
    // turns into a timeout.
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    const int spawned =
        posix_spawnp(&pid_, "Xvfb", &actions, nullptr, const_cast<char* const*>(argv), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) {
      ::close(fds[0]);
      ::close(fds[1]);
      pid_ = -1;
      *error = "Xvfb cannot be started (is the xvfb package installed?)";
      return false;
    }
    ::close(fds[1]);
    std::string number;
    pollfd p{fds[0], POLLIN, 0};
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (std::chrono::steady_clock::now() < deadline) {
      if (::poll(&p, 1, 200) <= 0) continue;
      char c;
      if (::read(fds[0], &c, 1) != 1 || c == '\n') break;
      number += c;
    }
    ::close(fds[0]);
    if (number.empty()) {
      *error = "Xvfb did not report a display";
      stop();
      return false;
    }
    display_ = ":" + number;
    return true;
  }

  ~XvfbServer() { stop(); }

  void stop() {
    if (pid_ <= 0) return;
    ::kill(pid_, SIGTERM);
    int status;
    ::waitpid(pid_, &status, 0);
    pid_ = -1;
  }

  const std::string& display() const { return display_; }

 private:
  pid_t pid_ = -1;
  std::string display_;
};

// libXtst is there (SDL needs it) but without its development header, so
// its two calls are looked up by name. Kept loaded: X libraries keep
// process-wide state that outlives a close.
struct XTest {
  using Motion = int (*)(Display*, int, int, int, unsigned long);
  using ButtonFn = int (*)(Display*, unsigned int, Bool, unsigned long);
  void* lib = nullptr;
  Motion motion = nullptr;
  ButtonFn button = nullptr;
  XTest() {
    lib = ::dlopen("libXtst.so.6", RTLD_NOW);
    if (!lib) return;
    motion = reinterpret_cast<Motion>(::dlsym(lib, "XTestFakeMotionEvent"));
    button = reinterpret_cast<ButtonFn>(::dlsym(lib, "XTestFakeButtonEvent"));
  }
  bool ok() const { return motion && button; }
};

// Xlib's default error handler ends the process. A test that walks the
// window tree races the program creating and destroying its windows, and
// a window gone between two calls is an answer, not a fault: the calls
// report failure and the walk goes on.
inline int ignoreXErrors(Display*, XErrorEvent*) { return 0; }

}  // namespace igbtest
