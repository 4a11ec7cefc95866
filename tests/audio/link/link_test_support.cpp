#include "link_test_support.h"

#include <dlfcn.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "platform/foundation/property_list.h"
#include "platform/runloop/run_loop.h"

namespace fs = std::filesystem;

// Link finds its interfaces with getifaddrs(); every interface but loopback
// is reported as down, and Link skips interfaces that are down.
extern "C" int getifaddrs(struct ifaddrs** result) {
  using Real = int (*)(struct ifaddrs**);
  static Real real = reinterpret_cast<Real>(dlsym(RTLD_NEXT, "getifaddrs"));
  if (!real) return -1;
  const int rc = real(result);
  if (rc != 0) return rc;
  for (struct ifaddrs* i = *result; i; i = i->ifa_next) {
    if (!(i->ifa_flags & IFF_LOOPBACK)) i->ifa_flags &= ~static_cast<unsigned>(IFF_UP);
  }
  return 0;
}

namespace linktest {

namespace {

constexpr const char* kTurnHeld = "IGB_LINK_TEST_TURN_HELD";

bool bringLoopbackUp() {
  const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  struct ifreq ifr {};
  std::strncpy(ifr.ifr_name, "lo", IFNAMSIZ - 1);
  bool ok = ioctl(fd, SIOCGIFFLAGS, &ifr) == 0;
  if (ok) {
    ifr.ifr_flags = static_cast<short>(ifr.ifr_flags | IFF_UP);
    ok = ioctl(fd, SIOCSIFFLAGS, &ifr) == 0;
  }
  close(fd);
  return ok;
}

// One Link test process at a time on this host: whoever holds the abstract
// socket name has the turn, until its process ends.
bool takeHostWideTurn() {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(2);
  while (std::chrono::steady_clock::now() < deadline) {
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    const char name[] = "igroovebix-link-tests";
    std::memcpy(addr.sun_path + 1, name, sizeof(name) - 1);
    const socklen_t len = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + sizeof(name) - 1);
    if (bind(fd, reinterpret_cast<sockaddr*>(&addr), len) == 0) return true;  // kept open on purpose
    const int err = errno;
    close(fd);
    if (err != EADDRINUSE) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  return false;
}

}  // namespace

void enterLoopbackNetwork() {
  static bool entered = false;
  if (entered) return;
  entered = true;
  if (unshare(CLONE_NEWNET) == 0 && bringLoopbackUp()) return;
  // A death-test child runs while its parent holds the turn.
  if (const char* held = std::getenv(kTurnHeld); held && std::strcmp(held, "1") == 0) return;
  if (!takeHostWideTurn()) {
    std::fprintf(stderr, "Link tests: no private network and no turn on the host's loopback\n");
    std::abort();
  }
  setenv(kTurnHeld, "1", 1);
}

TempDir::TempDir() {
  char pattern[] = "/tmp/igb-link-XXXXXX";
  const char* made = mkdtemp(pattern);
  if (!made) {
    std::perror("mkdtemp");
    std::abort();
  }
  path_ = made;
}

TempDir::~TempDir() {
  std::error_code ec;
  fs::remove_all(path_, ec);
}

KitPlace::KitPlace()
    : defaults_(std::make_unique<platform::UserDefaults>(dir_.path() / "UserDefaults.plist")),
      bundle_(std::make_unique<platform::Bundle>(dir_.path() / "bundle")) {
  fs::create_directories(dir_.path() / "bundle");
}

void KitPlace::setStartStopSyncSupported(bool supported) {
  platform::Dictionary info;
  info[kABLLinkStartStopSyncSupportedKey] = platform::Value(supported);
  ASSERT_TRUE(platform::writePropertyList(dir_.path() / "bundle" / "Info.plist", platform::Value(info)));
  // The bundle reads its information dictionary once; a fresh one reads it.
  bundle_ = std::make_unique<platform::Bundle>(dir_.path() / "bundle");
}

std::unique_ptr<platform::UserDefaults> KitPlace::reopenDefaults() const {
  return std::make_unique<platform::UserDefaults>(dir_.path() / "UserDefaults.plist");
}

ABLLinkEnvironment KitPlace::environment() {
  ABLLinkEnvironment env;
  env.userDefaults = defaults_.get();
  env.bundle = bundle_.get();
  return env;
}

bool runMainUntil(const std::function<bool()>& done, double seconds) {
  platform::RunLoop& loop = platform::RunLoop::main();
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
  while (!done()) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    loop.runOnce(0.005);
  }
  return true;
}

void runMainFor(double seconds) {
  platform::RunLoop& loop = platform::RunLoop::main();
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
  while (std::chrono::steady_clock::now() < deadline) loop.runOnce(0.005);
}

}  // namespace linktest
