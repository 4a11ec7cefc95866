#pragma once
// Time-stamped MIDI and live-trigger entries on their way to the render.
//
// Filled by the MIDI thread and the interface, drained by the render once
// per slice. The guard is a flag that the render only ever tries: when a
// producer holds it, the entries wait for the next slice (they are at most
// one slice late, never lost). Producers wait for it by yielding; they hold
// it only to copy one entry in. It is not a pthread mutex because unlocking
// one may enter the kernel to wake a waiter, which the render must not do.
// Fixed capacity: a push into a full queue is dropped and counted, so
// nothing allocates on either side.

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>

struct EngineEventQueueEntry {
  enum Kind : uint32_t { kMidiNote = 0, kLiveTrigger = 1, kControlChange = 2, kPackedParam = 3 };
  uint64_t hostTime;
  uint32_t kind;
  uint32_t a;
  uint32_t b;
};

class EngineEventQueue {
 public:
  static constexpr size_t kCapacity = 1024;

  // Any thread but the render thread. False when the queue is full.
  bool push(uint64_t hostTime, uint32_t kind, uint32_t a, uint32_t b);

  // Render thread. Calls `emit(entry)` for every entry that `due(entry)`
  // accepts and removes those entries, keeping the others in order.
  // Returns false when a producer held the queue and nothing was looked at.
  template <typename Due, typename Emit>
  bool drain(Due&& due, Emit&& emit) {
    if (busy_.exchange(true, std::memory_order_acquire)) return false;
    size_t kept = 0;
    for (size_t i = 0; i < size_; ++i) {
      const EngineEventQueueEntry& e = entries_[i];
      if (due(e)) {
        emit(e);
      } else {
        entries_[kept++] = e;
      }
    }
    size_ = kept;
    busy_.store(false, std::memory_order_release);
    return true;
  }

  // Any thread but the render thread.
  size_t size();
  uint64_t dropped() const { return dropped_.load(std::memory_order_relaxed); }

 private:
  void acquire();
  void release() { busy_.store(false, std::memory_order_release); }

  std::atomic<bool> busy_{false};
  std::array<EngineEventQueueEntry, kCapacity> entries_{};
  size_t size_ = 0;
  std::atomic<uint64_t> dropped_{0};
};
