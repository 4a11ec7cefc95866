#pragma once
// Parameter values that MIDI set on the render side, on their way to the
// main thread's pattern record. The render side applies a MIDI value to the
// sound at its frame, but the record belongs to the main thread; this table
// carries the stored value across without a lock.
//
// One slot per parameter MIDI can reach, holding its latest value: a later
// value replaces an earlier one that the main thread has not taken yet, so
// nothing is ever dropped however long the main thread is away, and taking
// it costs nothing while no slot has changed. Each value names the pattern
// it was set for, so that one set just before a pattern load is not
// written into the loaded record. The solo slot comes last, after the
// parameters (ending solo reads the mutes).

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>

#include "engine/midi/packed_param_id.h"

class MidiParameterHandOff {
 public:
  static constexpr size_t kPartSlots = 8 * 13;
  static constexpr size_t kSlots = kPartSlots + 2 + 1 + 3 + 4 + 1;

  // The slot of an identifier, or -1 for one that is not kept.
  static constexpr int32_t slotOf(PackedParamId id) {
    const int32_t g = packedGroup(id);
    const int32_t i = packedIndex(id);
    if (g >= 0 && g < 8) return i >= 0 && i < 13 ? g * 13 + i : -1;
    switch (g) {
      case kPackedGroupAccent: return i <= 1 ? static_cast<int32_t>(kPartSlots) + i : -1;
      case kPackedGroupCrossRing: return static_cast<int32_t>(kPartSlots) + 2;
      case kPackedGroupSequence: return i >= 1 && i <= 3 ? static_cast<int32_t>(kPartSlots) + 2 + i : -1;
      case kPackedGroupEffect: return i >= 0 && i <= 3 ? static_cast<int32_t>(kPartSlots) + 6 + i : -1;
      case kPackedGroupCommand: return i == kPackedSolo ? static_cast<int32_t>(kSlots) - 1 : -1;
      default: return -1;
    }
  }
  static constexpr PackedParamId idOf(size_t slot) {
    if (slot < kPartSlots) return packedParamId(static_cast<int32_t>(slot / 13), static_cast<int32_t>(slot % 13));
    const int32_t k = static_cast<int32_t>(slot - kPartSlots);
    if (k < 2) return packedParamId(kPackedGroupAccent, k);
    if (k == 2) return packedParamId(kPackedGroupCrossRing, 0);
    if (k < 6) return packedParamId(kPackedGroupSequence, k - 2);
    if (k < 10) return packedParamId(kPackedGroupEffect, k - 6);
    return packedParamId(kPackedGroupCommand, kPackedSolo);
  }

  // Render thread. Identifiers without a slot are ignored.
  void store(PackedParamId id, int32_t value, uint16_t pattern) {
    const int32_t s = slotOf(id);
    if (s < 0) return;
    const uint64_t word = kValid | (uint64_t{pattern} << 32) | static_cast<uint32_t>(value);
    slots_[static_cast<size_t>(s)].store(word, std::memory_order_relaxed);
    changed_.store(true, std::memory_order_release);
  }

  // Main thread. Takes the "changed" mark: true when a slot was set since
  // the last take. Everything the render side did before setting those
  // slots is visible after it.
  bool takeChanged() { return changed_.exchange(false, std::memory_order_acquire); }
  // Puts the mark back when the caller cannot take the values now.
  void keepChanged() { changed_.store(true, std::memory_order_relaxed); }
  // Main thread, after takeChanged(): `apply(id, value, pattern)` for every
  // slot set since the last scan, in slot order.
  template <typename Apply>
  void scan(Apply&& apply) {
    for (size_t s = 0; s < kSlots; ++s) {
      const uint64_t word = slots_[s].exchange(0, std::memory_order_relaxed);
      if (!(word & kValid)) continue;
      apply(idOf(s), static_cast<int32_t>(static_cast<uint32_t>(word)), static_cast<uint16_t>(word >> 32));
    }
  }

  bool pending() const { return changed_.load(std::memory_order_acquire); }

 private:
  static constexpr uint64_t kValid = uint64_t{1} << 63;
  std::array<std::atomic<uint64_t>, kSlots> slots_{};
  std::atomic<bool> changed_{false};
};
