#pragma once
// RealtimeSanitizer in tests: marks a stretch of code as real-time so that
// any allocation, blocking lock, sleep or system call inside it ends the
// test binary with a report naming the call.
//
//   igb::rtsan::initialize();          // once, before the first scope
//   { igb::rtsan::RealtimeScope rt;    // the render call under test
//     synth.render(...); }
//
// Link the test with igb_test_rtsan (only in builds without IGB_SANITIZE).
// Note that unlocking a pthread mutex counts as a violation too (it can
// enter the kernel to wake a waiter), so code meant for the render thread
// cannot use std::mutex even with try_lock.

extern "C" {
void __rtsan_init();
void __rtsan_realtime_enter();
void __rtsan_realtime_exit();
}

namespace igb::rtsan {

// Starts the runtime once; safe to call again. Reports are printed without
// symbolising (there is no symbolizer on the build machines) unless
// RTSAN_OPTIONS says otherwise. Not real-time.
void initialize();

// Real-time for its lifetime, on the constructing thread.
class RealtimeScope {
 public:
  RealtimeScope() { __rtsan_realtime_enter(); }
  ~RealtimeScope() { __rtsan_realtime_exit(); }
  RealtimeScope(const RealtimeScope&) = delete;
  RealtimeScope& operator=(const RealtimeScope&) = delete;
};

// The text every violation report starts with, for death-test matchers.
inline constexpr const char* kViolationPattern = "Real-time violation";

}  // namespace igb::rtsan
