#pragma once
// Time-stamped MIDI and live-trigger entries on their way to the render.
//
// Filled by the MIDI thread and the interface under the queue mutex; the
// render drains it once per slice. The render only tries the mutex: when a
// producer holds it, the entries wait for the next slice (they are at most
// one slice late, never lost). Fixed capacity: a push into a full queue is
// dropped and counted, so nothing allocates on either side.

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <mutex>

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
  // Returns false when the mutex was busy and nothing was looked at.
  template <typename Due, typename Emit>
  bool drain(Due&& due, Emit&& emit) {
    std::unique_lock<std::mutex> lock(mutex_, std::try_to_lock);
    if (!lock.owns_lock()) return false;
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
    return true;
  }

  size_t size();
  uint64_t dropped() const { return dropped_.load(std::memory_order_relaxed); }

 private:
  std::mutex mutex_;
  std::array<EngineEventQueueEntry, kCapacity> entries_{};
  size_t size_ = 0;
  std::atomic<uint64_t> dropped_{0};
};
