// What the interface costs the machine: the real program (delegate, engine
// on the null audio device, main screen) on the headless back end at 2
// pixels per point, presenting frames as a display does, for a fixed span
// of virtual time in three cases:
//   stopped  - the transport stopped, nothing touched;
//   playing  - playing at 120 BPM (LEDs, step lights, LCD running);
//   dragging - the pitch knob dragged up and down the whole time.
//
//   bench_ui [seconds per case, default 10]
//
// For each case: the main thread's CPU time per second of run (ms/s; 10 is
// 1 % of a core), frames drawn and pixels drawn per second. Virtual time
// moves in 5 ms steps and each step also lets 5 ms of real time pass, so
// the engine's threads keep pace; they are not counted, only the main
// thread (the interface) is. With IGB_BENCH_DEBUG set it first lists the
// layers that animate while stopped.

#include <stdlib.h>
#include <time.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "app/app_delegate.h"
#include "app/z31647_view_controller.h"
#include "controls/ui_slider_button.h"
#include "engine/synth/synth.h"
#include "platform/foundation/user_defaults.h"
#include "platform/ui/headless/headless_backend.h"

namespace fs = std::filesystem;

namespace {

constexpr double kStep = 0.005;

double threadCpuSeconds() {
  timespec ts;
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

void step(platform::HeadlessBackend& b) {
  b.advance(kStep);
  std::this_thread::sleep_for(std::chrono::milliseconds(5));
}

bool stepUntil(platform::HeadlessBackend& b, const std::function<bool()>& done, double seconds = 30.0) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
  while (!done()) {
    if (std::chrono::steady_clock::now() > end) return false;
    step(b);
  }
  return true;
}

// Runs `seconds` of virtual time, calling `each` (when given) before every
// step with the step's index, and prints the figures.
void measure(const char* name, platform::HeadlessBackend& b, double seconds,
             const std::function<void(long)>& each = nullptr) {
  platform::Compositor& c = *b.compositor();
  const uint64_t frames0 = c.framesDrawn(), pixels0 = c.pixelsDrawn();
  const double cpu0 = threadCpuSeconds();
  const long steps = std::lround(seconds / kStep);
  for (long i = 0; i < steps; ++i) {
    if (each) each(i);
    step(b);
  }
  const double cpu = threadCpuSeconds() - cpu0;
  const double frames = static_cast<double>(c.framesDrawn() - frames0);
  const double pixels = static_cast<double>(c.pixelsDrawn() - pixels0);
  std::printf("%-9s cpu %7.1f ms/s (%5.1f %% of a core)  frames %6.1f /s  pixels %12.0f /s\n", name,
              1000.0 * cpu / seconds, 100.0 * cpu / seconds, frames / seconds, pixels / seconds);
}

}  // namespace

int main(int argc, char** argv) {
  const double seconds = argc > 1 ? std::atof(argv[1]) : 10.0;
  if (!(seconds > 0)) {
    std::fprintf(stderr, "usage: bench_ui [seconds per case]\n");
    return 2;
  }
  char tmpl[] = "/tmp/igb-bench-ui-XXXXXX";
  if (!::mkdtemp(tmpl)) return 1;
  const fs::path root = tmpl;
  fs::create_directories(root / "Documents");
  ::setenv("IGROOVEBIX_HOME", (root / "Documents").c_str(), 1);
  ::setenv("XDG_CONFIG_HOME", (root / "config").c_str(), 1);
  ::setenv("XDG_DATA_HOME", (root / "share").c_str(), 1);
  ::setenv("XDG_CACHE_HOME", (root / "cache").c_str(), 1);
  ::setenv("IGB_BUNDLE_DIR", IGB_BUNDLE_DIR, 0);
  int status = 0;
  {
    platform::UserDefaults defaults(root / "config" / "igroovebix" / "UserDefaults.plist");
    defaults.setBool(true, "app_launched");
    platform::HeadlessBackend backend({736, 414}, 2.0);
    AppEnvironment env;
    env.userDefaults = &defaults;
    env.audioDrivers = std::vector<platform::AudioDriver>{platform::AudioDriver::Null};
    auto delegate = std::make_shared<iGroovebixRAppDelegate>(std::move(env));
    backend.launch(delegate);
    Z31647ViewController* ctl = nullptr;
    if (!stepUntil(backend, [&] {
          ctl = delegate->viewController().get();
          return delegate->delayedInitializationDone() && ctl && Synth::instance() &&
                 Synth::instance()->currentPatternIndex() < Synth::kNoPattern;
        })) {
      std::fprintf(stderr, "the program did not come up\n");
      status = 1;
    } else {
      backend.startPresenting();
      // Settle: the first frame and the start-up's animations.
      for (int i = 0; i < 200; ++i) step(backend);

      if (std::getenv("IGB_BENCH_DEBUG")) {
        std::function<void(platform::Layer&, int)> show = [&](platform::Layer& l, int depth) {
          if (l.hasAnimations()) {
            std::printf("animating depth %d frame %s keys", depth, platform::toString(l.frame()).c_str());
            for (auto& k : l.animationKeys()) std::printf(" %s", k.c_str());
            std::printf("\n");
          }
          for (auto& sub : l.sublayers()) show(*sub, depth + 1);
        };
        show(backend.window()->layer(), 0);
      }
      measure("stopped", backend, seconds);

      Synth::instance()->setTempoFromUi(1200);
      ctl->play(nullptr);
      stepUntil(backend, [] { return Synth::instance()->isPlaying(); });
      measure("playing", backend, seconds);
      ctl->stopSeq();
      stepUntil(backend, [] { return !Synth::instance()->isPlaying(); });
      for (int i = 0; i < 200; ++i) step(backend);

      // Up and down by 60 points every second, a move every step.
      UISliderButton* knob = ctl->synthPitchKnob();
      const platform::Point centre = knob->convertPointTo(
          {knob->bounds().midX(), knob->bounds().midY()}, nullptr);
      backend.touchDown(centre);
      measure("dragging", backend, seconds, [&](long i) {
        const double phase = std::fmod(static_cast<double>(i) * kStep, 1.0);
        const double dy = 30.0 * std::sin(2.0 * M_PI * phase);
        backend.touchMove({centre.x, centre.y + dy});
      });
      backend.touchUp(centre);
    }
    backend.terminate();
    for (int i = 0; i < 10; ++i) step(backend);
    platform::Application::sharedApplication().reset();
    delegate.reset();
  }
  std::error_code ec;
  fs::remove_all(root, ec);
  return status;
}
