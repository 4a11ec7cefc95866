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
  // New parameter targets are taken only at the frames of a process call
  // whose offset in that call is a multiple of this: the first frame of
  // every call, then every 64th. A change therefore never waits longer than
  // the slice it falls before, and a newly selected effect takes the
  // settings it was given on its first frame.
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
  // Zeroes at most `budget` line samples that the next reset would clear
  // anyway and returns how many it zeroed; 0 once there are none. Only for
  // an effect that will be reset before it runs again: the multi-effect
  // calls it on the effects not in use, so that selecting one later does
  // not clear all its lines in one slice. Audio thread; real-time-safe.
  virtual uint32_t clearAhead(uint32_t /*budget*/) { return 0; }
  // While on, parameter smoothing jumps to its targets. Audio thread;
  // real-time-safe.
  virtual void setImmediate(bool on) { immediate_.store(on, std::memory_order_relaxed); }
  bool isImmediate() const { return immediate_.load(std::memory_order_relaxed); }

 protected:
  Effector() = default;

  // True on the frames of a process call (`frame` counted from the call's
  // first) where new targets may be taken.
  static bool atPickup(int32_t frame) { return frame % kPickupInterval == 0; }

 private:
  std::atomic<bool> immediate_{false};
};
