#pragma once
// The whole program on the headless back end in a temporary root: the real
// delegate, engine, library, settings and audio output, the real main view
// controller and panel in an off-screen window on the virtual clock.
//
// Each test has a back end of its own, made in SetUp and destroyed in
// TearDown: it puts the virtual clock on the main run loop and takes it off
// again, so a test on the real clock that runs after this one (in the same
// process) finds the loop as the program leaves it, not frozen. Making and
// destroying a back end resets the loop; the program's singletons that keep
// timers there (the engine observer's drain timer) put them back at launch.
//
// The audio output and the engine run on their own threads in real time,
// the interface on the virtual clock, so waiting means moving both on.

#include <algorithm>
#include <cmath>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "app/app_delegate.h"
#include "app/app_fixture.h"
#include "app/z31647_view_controller.h"
#include "engine/synth/synth.h"
#include "platform/ui/headless/headless_backend.h"

// The running HeadlessAppTest's back end (one at a time); none outside one.
inline platform::HeadlessBackend*& currentHeadlessBackend() {
  static platform::HeadlessBackend* backend = nullptr;
  return backend;
}
inline platform::HeadlessBackend& headlessBackend() { return *currentHeadlessBackend(); }

class HeadlessAppTest : public AppRootTest {
 protected:
  void SetUp() override {
    AppRootTest::SetUp();
    backend_ = std::make_unique<platform::HeadlessBackend>(platform::Size{736, 414}, 2.0);
    currentHeadlessBackend() = backend_.get();
  }
  void TearDown() override {
    if (delegate && delegate->isLaunched()) quit();
    // The delegate goes now, while the notification centre it leaves still
    // exists; held by the application it would go only at exit, perhaps
    // after the centre.
    platform::Application::sharedApplication().reset();
    delegate.reset();
    // Back to the real clock and an empty loop for whatever runs next.
    currentHeadlessBackend() = nullptr;
    backend_.reset();
    AppRootTest::TearDown();
  }

  virtual AppEnvironment environment() {
    AppEnvironment env;
    env.userDefaults = defaults.get();
    env.audioDrivers = std::vector<platform::AudioDriver>{platform::AudioDriver::Null};
    env.stepObserver = [this](const std::string& s) { onStep(s); };
    return env;
  }
  virtual void onStep(const std::string& s) { steps.push_back(s); }

  // Launches the program and waits for its first pattern on the panel.
  void start() {
    platform::HeadlessBackend& b = headlessBackend();
    platform::Application::sharedApplication().reset();
    platform::Application::sharedApplication().setBackend(&b);
    delegate = std::make_shared<iGroovebixRAppDelegate>(environment());
    ASSERT_TRUE(b.launch(delegate));
    ASSERT_TRUE(pumpUntil([&] { return delegate->delayedInitializationDone(); }));
    ASSERT_TRUE(pumpUntil([&] { return ctl() && synth()->currentPatternIndex() < Synth::kNoPattern; }));
    // The first load reaches the panel through the observer.
    pump(0.1);
  }

  void quit() {
    headlessBackend().terminate();
    pump(0.02);
  }

  Z31647ViewController* ctl() const { return delegate ? delegate->viewController().get() : nullptr; }
  Synth* synth() const { return Synth::instance(); }

  // Moves the interface's virtual clock on by `seconds` (at least one 5 ms
  // step) and lets at least as much real time pass for the engine's threads.
  // Virtual time is counted in steps, not read off the wall clock, so a
  // loaded machine cannot cut an animation or a timer short.
  static void pump(double seconds) {
    const long steps = std::max(1L, std::lround(seconds / 0.005));
    for (long i = 0; i < steps; ++i) {
      headlessBackend().advance(0.005);
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
  }
  static bool pumpUntil(const std::function<bool()>& condition, double seconds = 5.0) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (!condition()) {
      if (std::chrono::steady_clock::now() > end) return false;
      headlessBackend().advance(0.005);
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
  }

  // The centre of a canvas rectangle in window points (the canvas is
  // 736 points wide, as the screen).
  static platform::Point centre(double x, double y, double w, double h) { return {x + w / 2, y + h / 2}; }
  static platform::Point stepButton(int slot) { return centre(24.5 + 43.5 * slot, 342, 34.5, 62); }
  static platform::Point partButton(int part) {
    static const double xs[8] = {287.5, 341.5, 395.5, 450, 504, 558, 612.5, 666.5};
    return centre(xs[part], 278, 46, 57);
  }
  static void tap(platform::Point p) { headlessBackend().tap(p, 0.02); }

  std::shared_ptr<iGroovebixRAppDelegate> delegate;
  std::vector<std::string> steps;

 private:
  std::unique_ptr<platform::HeadlessBackend> backend_;
};
