#pragma once
// A lock for data shared with the render thread.
//
// The render thread only ever calls try_lock() and unlock(): both are single
// atomic operations, never a system call, so they are real-time-safe (a
// pthread mutex is not, even when only tried: its unlock may enter the
// kernel to wake a waiter). Other threads call lock(), which spins with a
// yield; they hold it only for a short copy, so the spin is brief.
//
// Satisfies Lockable, so std::lock_guard and std::unique_lock work with it.

#include <atomic>
#include <thread>

namespace platform {

class SpinTryLock {
 public:
  bool try_lock() { return !flag_.test_and_set(std::memory_order_acquire); }
  void lock() {
    while (flag_.test_and_set(std::memory_order_acquire)) {
      while (flag_.test(std::memory_order_relaxed)) std::this_thread::yield();
    }
  }
  void unlock() { flag_.clear(std::memory_order_release); }

 private:
  std::atomic_flag flag_ = ATOMIC_FLAG_INIT;
};

}  // namespace platform
