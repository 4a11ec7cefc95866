#pragma once
// The base of the master effects. Every effect works in place on the stereo
// effect-send pair: signed 16-bit samples, Q15 gains, every store saturated
// to -32767..32767 so that no effect ever produces -32768.
//
// Threads: process, reset, patternTop and setImmediate belong to the audio
// thread (or to the bounce thread while the live render is held silent).
// setParameter and setTempo may be called from any thread at any time,
// also concurrently with process; they never block and never allocate.

#include <atomic>
#include <cstdint>

class Effector {
 public:
  // New parameter targets are taken only at frames that are multiples of
  // this. The grid runs on across process calls: the engine cuts its
  // buffers into slices at events, and a grid restarted at every slice
  // would take changes early and break the filter's 64-frame glides into
  // steps whenever a slice is shorter than a block.
  static constexpr int32_t kPickupInterval = 64;

  virtual ~Effector() = default;
  Effector(const Effector&) = delete;
  Effector& operator=(const Effector&) = delete;

  // channels[0] left, channels[1] right; transforms `frames` frames in
  // place. Audio thread; real-time-safe.
  virtual void process(int16_t* const* channels, int32_t frames) = 0;

  // Index 1 = edit 1, 2 = edit 2, value masked with 127; returns the stored
  // value, 0 for any other index (which changes nothing). Any thread;
  // real-time-safe (lock-free publish, see TargetExchange).
  virtual int32_t setParameter(int32_t index, int32_t value) = 0;

  // Sequencer tempo in tenths of BPM. Only the tempo-following effects use
  // it. Any thread; real-time-safe.
  virtual void setTempo(uint32_t /*tempoTenths*/) {}

  // The sequence wrapped to its first step. Audio thread; real-time-safe.
  virtual void patternTop() {}

  // Clears delay lines and running state. Audio thread (never concurrently
  // with process); real-time-safe.
  virtual void reset() = 0;
  // The pick-up grid starts again from the next frame, as in a new effect:
  // a bounce then takes its targets at the same frames whatever played
  // before it. Audio thread (never concurrently with process).
  void restartPickupGrid() { pickupClock_ = 0; }

  // While on, parameter smoothing jumps to its targets. Audio thread;
  // real-time-safe.
  virtual void setImmediate(bool on) { immediate_.store(on, std::memory_order_relaxed); }
  bool isImmediate() const { return immediate_.load(std::memory_order_relaxed); }

 protected:
  Effector() = default;

  // Advances the effect's frame clock by one frame; true on the frames
  // where new targets may be taken. Audio thread.
  bool atPickup() { return (pickupClock_++ % kPickupInterval) == 0; }

 private:
  std::atomic<bool> immediate_{false};
  uint32_t pickupClock_ = 0;  // wraps at a multiple of 64
};
