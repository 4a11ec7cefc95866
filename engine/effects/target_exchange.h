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
#include <cstdint>

class TryLock {
 public:
  bool try_lock() { return !locked_.exchange(true, std::memory_order_acquire); }
  void unlock() { locked_.store(false, std::memory_order_release); }
  bool isLocked() const { return locked_.load(std::memory_order_relaxed); }

 private:
  std::atomic<bool> locked_{false};
};

// The two edit values, 1 and 2, that every effect takes (0-127 each).
// Any thread; lock-free.
class EditPair {
 public:
  // Stores `value & 127` as value `index` and returns it; an index other
  // than 1 or 2 stores nothing and returns -1.
  int32_t store(int32_t index, int32_t value) {
    if (index != 1 && index != 2) return -1;
    const int32_t v = value & 127;
    values_[index - 1].store(v, std::memory_order_relaxed);
    return v;
  }
  int32_t first() const { return values_[0].load(std::memory_order_relaxed); }
  int32_t second() const { return values_[1].load(std::memory_order_relaxed); }

 private:
  std::atomic<int32_t> values_[2]{};
};

template <typename Targets>
class TargetExchange {
 public:
  // An effect's setParameter: stores the edit value and publishes the
  // targets it gives. Returns the stored value, or 0 (nothing stored, nothing
  // published) for an index the effect has no value for.
  template <typename Compute>
  int32_t setEdit(EditPair& edits, int32_t index, int32_t value, Compute&& compute) {
    const int32_t v = edits.store(index, value);
    if (v < 0) return 0;
    publish(compute);
    return v;
  }

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
