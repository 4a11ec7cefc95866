#pragma once
// The 13 parameters of a part as two sets: the knob values (what the user and
// the pattern set) and the effective values (what motion playback plays).
//
// Thread-safety: every value is a relaxed atomic. set(), setMotion() and
// restoreMotion() may be called from the main thread or from the audio
// thread's event application while the audio thread reads the values at its
// parameter pick-up; no lock is taken and nothing is allocated, so every
// operation is real-time-safe.

#include <algorithm>
#include <atomic>
#include <cstdint>

#include "engine/record/param_id.h"
#include "engine/record/param_tables.h"

class PartParameters {
 public:
  static constexpr int kCount = 13;

  PartParameters(const PartParamInfo* table, const int32_t (&defaults)[kCount]) : table_(table) {
    for (int i = 0; i < kCount; ++i) {
      knob_[i].store(defaults[i], std::memory_order_relaxed);
      effective_[i].store(defaults[i], std::memory_order_relaxed);
    }
  }

  // Index above 12: stores nothing and returns `value`. Otherwise clamps to
  // the row's range, stores in both sets, returns the clamped value.
  int32_t set(uint32_t index, int32_t value) {
    if (index >= kCount) return value;
    const int32_t v = clampTo(index, value);
    // Release, so that a reader that sees the value sees the load count
    // bumped before it (see beginLoad).
    knob_[index].store(v, std::memory_order_release);
    effective_[index].store(v, std::memory_order_release);
    return v;
  }
  int32_t knob(int32_t index) const {
    if (index < 0 || index >= kCount) return 0;
    return knob_[index].load(std::memory_order_relaxed);
  }
  int32_t effective(int32_t index) const {
    if (index < 0 || index >= kCount) return 0;
    return effective_[index].load(std::memory_order_relaxed);
  }
  // Motion playback reaches only the sound parameters (0-8), and only while
  // the knob "Motion Seq" is on.
  void setMotion(uint32_t index, int32_t value) {
    if (!motionAllowed(index)) return;
    effective_[index].store(clampTo(index, value), std::memory_order_relaxed);
  }
  void restoreMotion(uint32_t index) {
    if (!motionAllowed(index)) return;
    effective_[index].store(clampTo(index, knob(static_cast<int32_t>(index))), std::memory_order_relaxed);
  }
  void copyKnobToEffective() {
    for (int i = 0; i < kCount; ++i) effective_[i].store(knob(i), std::memory_order_release);
  }
  // All 13 values of one set.
  void read(bool effectiveSet, int32_t (&out)[kCount]) const {
    const std::atomic<int32_t>* src = effectiveSet ? effective_ : knob_;
    for (int i = 0; i < kCount; ++i) out[i] = src[i].load(std::memory_order_acquire);
  }
  // The values a trigger starts from: the motion-played set while the
  // sequencer plays and "Motion Seq" is on (Smooth or Trig Hold), else the knobs.
  void readAtTrigger(bool playing, int32_t (&out)[kCount]) const {
    const int32_t motionSeq = knob(kMotionSeq);
    read(playing && (motionSeq == 1 || motionSeq == 2), out);
  }
  // The values a sounding voice follows between triggers. False, with `out`
  // untouched, under "Trig Hold" of a note started while playing: there
  // motion is heard only at triggers.
  bool readForPickUp(bool playingAtTrigger, int32_t (&out)[kCount]) const {
    bool effectiveSet = false;
    if (playingAtTrigger) {
      const int32_t motionSeq = knob(kMotionSeq);
      if (motionSeq == 2) return false;
      effectiveSet = motionSeq == 1;
    }
    read(effectiveSet, out);
    return true;
  }

  // A load of other values is about to write them: counted before the
  // first write, so a voice that read any of them and then loadedSince()
  // sees the count moved and drops what it read.
  // The values are stored with release and read with acquire, so a read
  // that sees one of them also sees this count.
  void beginLoad() { loads_.fetch_add(1, std::memory_order_relaxed); }
  uint32_t loads() const { return loads_.load(std::memory_order_acquire); }
  // After a read: whether a load began since the count `seen`.
  bool loadedSince(uint32_t seen) const { return loads_.load(std::memory_order_relaxed) != seen; }

 private:
  bool motionAllowed(uint32_t index) const { return index <= kLowBoost && knob(kMotionSeq) != 0; }
  int32_t clampTo(uint32_t index, int32_t value) const {
    return std::clamp(value, table_[index].min, table_[index].max);
  }

  const PartParamInfo* table_;
  std::atomic<int32_t> knob_[kCount];
  std::atomic<int32_t> effective_[kCount];
  std::atomic<uint32_t> loads_{0};
};
