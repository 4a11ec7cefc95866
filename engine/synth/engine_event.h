#pragma once
// The per-slice list of things that happen at a frame: step and live
// triggers, motion values and releases, MIDI notes and controllers.
//
// Audio thread only. The list has a fixed capacity so that filling it never
// allocates on the render thread; an entry past the capacity is dropped and
// counted rather than growing the list.

#include <array>
#include <cstddef>
#include <cstdint>

struct EngineEvent {
  enum Type : uint32_t {
    kControlChange = 0,
    kPackedParam = 1,
    kMotionValue = 2,
    kMotionRelease = 3,
    kStepTrigger = 4,
    kLiveTrigger = 5,
    kMidiNote = 6,
  };
  uint32_t frame;
  uint32_t type;
  uint32_t a;
  uint32_t b;

  // By frame, then type, then part for the trigger kinds.
  int32_t sortKey() const {
    const uint32_t part = (type >= kStepTrigger && type <= kMidiNote) ? a : 0;
    return static_cast<int32_t>(frame * 65536u + type * 16u + part);
  }
};

class EngineEventList {
 public:
  static constexpr size_t kCapacity = 4096;

  void push(uint32_t frame, uint32_t type, uint32_t a, uint32_t b) {
    if (size_ == kCapacity) {
      ++dropped_;
      return;
    }
    events_[size_++] = EngineEvent{frame, type, a, b};
  }
  // Orders by sortKey; entries with equal keys keep the order they were
  // pushed in. Insertion sort: the list is short and mostly in order, and
  // it needs no scratch memory.
  void sort();
  void clear() { size_ = 0; }

  size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }
  const EngineEvent& operator[](size_t i) const { return events_[i]; }
  const EngineEvent* begin() const { return events_.data(); }
  const EngineEvent* end() const { return events_.data() + size_; }
  uint64_t dropped() const { return dropped_; }

 private:
  std::array<EngineEvent, kCapacity> events_{};
  size_t size_ = 0;
  uint64_t dropped_ = 0;
};
