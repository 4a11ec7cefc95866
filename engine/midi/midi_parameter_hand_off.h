#pragma once
// Parameter values that MIDI set on the render side, on their way to the
// main thread's pattern record. The render side applies a MIDI value to the
// sound at its frame, but the record belongs to the main thread; this
// single-producer, single-consumer ring carries the stored value across
// without a lock. Each entry names the pattern it was made for, so a value
// set just before a pattern load is not written into the loaded record.
// Fixed capacity: a push into a full ring is dropped and counted.

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>

struct MidiParameterChange {
  int32_t id;
  int32_t value;
  uint16_t pattern;
};

class MidiParameterHandOff {
 public:
  static constexpr size_t kCapacity = 512;

  // Render thread.
  bool push(const MidiParameterChange& c) {
    const size_t w = write_.load(std::memory_order_relaxed);
    if (w - read_.load(std::memory_order_acquire) == kCapacity) {
      dropped_.fetch_add(1, std::memory_order_relaxed);
      return false;
    }
    ring_[w % kCapacity] = c;
    write_.store(w + 1, std::memory_order_release);
    return true;
  }

  // Main thread: the oldest entry, without taking it.
  const MidiParameterChange* front() const {
    const size_t r = read_.load(std::memory_order_relaxed);
    if (r == write_.load(std::memory_order_acquire)) return nullptr;
    return &ring_[r % kCapacity];
  }
  void pop() { read_.store(read_.load(std::memory_order_relaxed) + 1, std::memory_order_release); }

  uint64_t dropped() const { return dropped_.load(std::memory_order_relaxed); }

 private:
  std::array<MidiParameterChange, kCapacity> ring_{};
  std::atomic<size_t> write_{0};
  std::atomic<size_t> read_{0};
  std::atomic<uint64_t> dropped_{0};
};
