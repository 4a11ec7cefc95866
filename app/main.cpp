// The program: the application delegate brings the instrument up, the main
// run loop runs until the program is asked to stop, then the delegate saves
// and tears everything down.
#include <csignal>

#include "app/app_delegate.h"
#include "platform/runloop/run_loop.h"

namespace {
volatile std::sig_atomic_t gStop = 0;
void onSignal(int) { gStop = 1; }
}  // namespace

int main() {
  std::signal(SIGINT, onSignal);
  std::signal(SIGTERM, onSignal);
  platform::RunLoop& loop = platform::RunLoop::main();
  iGroovebixRAppDelegate delegate;
  delegate.didFinishLaunching();
  while (!gStop) loop.runOnce(0.1);
  delegate.applicationDidEnterBackground();
  delegate.applicationWillTerminate();
  return 0;
}
