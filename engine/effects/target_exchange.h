#pragma once
// Hand-off of an effect's parameter targets from the setters (any thread) to
// the audio thread.
//
// The guard is a lock that is only ever tried, never waited for, by anyone:
// a futex mutex may enter the kernel on unlock to wake a waiter, which the
// audio thread must not do, and the audio thread itself calls setters (motion
// playback, type switches), where it must not wait either. A setter that
// finds the lock busy marks the targets stale instead; the next pick-up then
// recomputes them from the effect's current inputs (which are atomics), so
// no change is ever lost, only taken at the next pick-up that gets the lock.

#include <atomic>

class TryLock {
 public:
  bool try_lock() { return !locked_.exchange(true, std::memory_order_acquire); }
  void unlock() { locked_.store(false, std::memory_order_release); }
  bool isLocked() const { return locked_.load(std::memory_order_relaxed); }

 private:
  std::atomic<bool> locked_{false};
};

template <typename Targets>
class TargetExchange {
 public:
  // Any thread; never blocks. `compute` builds the targets from the
  // effect's inputs.
  template <typename Compute>
  void publish(Compute&& compute) {
    if (!lock_.try_lock()) {
      stale_.store(true);
      return;
    }
    pending_ = compute();
    hasPending_.store(true);
    lock_.unlock();
  }

  // Audio thread, at pick-up frames. Returns true and fills `out` when new
  // targets were taken; false when there were none or the lock was busy.
  // An idle call touches two atomics and takes no lock.
  template <typename Compute>
  bool take(Targets& out, Compute&& compute) {
    if (!hasPending_.load() && !stale_.load()) return false;
    if (!lock_.try_lock()) return false;
    if (stale_.exchange(false)) {
      pending_ = compute();
      hasPending_.store(true);
    }
    const bool got = hasPending_.exchange(false);
    if (got) out = pending_;
    lock_.unlock();
    return got;
  }

  bool hasPending() const { return hasPending_.load() || stale_.load(); }
  // Holding it defers every pick-up: tests and diagnostics use it to see
  // that the audio thread goes on without waiting.
  TryLock& lock() { return lock_; }

 private:
  TryLock lock_;
  Targets pending_{};
  std::atomic<bool> hasPending_{false};
  std::atomic<bool> stale_{false};
};
