#pragma once
// The engine's master effect unit. Once per render slice the engine hands
// it the effect-send bus pair (at most 1,024 frames, 16-bit); the unit runs
// the selected one of its eight effects over the pair in place and mixes
// the result with the dry send by its on/off gain.
//
// It keeps two parameter sets of {type, edit 1, edit 2, on/off}: the knob
// set (what the user set) and the effective set (what motion playback
// plays). While the sequencer is stopped the knob set is active, while it
// plays the effective set.
//
// Type and on/off changes are requests: they take effect at the start of the
// next process call. A type change crossfades for 45 frames, the outgoing
// effect weighted by the square of a gain falling by 743 per frame; a newly
// selected effect smooths its parameters immediately for its first 44
// frames. Switching on or off ramps the wet gain within a few frames.
//
// Threads and real-time safety, per operation:
// - process, patternTop, setMotionValue, restoreMotionValue,
//   resetMotionValues, selectParameterSet, setEffectTempo: audio thread
//   (sequencer callbacks and event application); real-time-safe.
// - setEffectParameter, applyParameter: any thread (the interface, the MIDI
//   thread and the audio thread's pattern load); lock-free, real-time-safe.
// - resetEffects: the audio thread, or another thread while the render is
//   held silent (the bounce); never concurrently with process.
//   Real-time-safe.
// - constructors and destructor: not real-time (they allocate the lines).
// - queries: the parameter sets, the tempo, the request flags, the current
//   type and effect and isOn from any thread; crossfadeActive,
//   crossfadeGain and wetGain on the audio thread only.
// The requests cross threads as single atomic words (lock-free, never
// waited for); edits reach the current effect through its setParameter.
//
// The effects not in use (neither current nor fading out) are cleared
// ahead, a little per slice: each is reset before it runs again, and the
// reset then finds its lines already zero.

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>

#include "engine/effects/effector.h"

class Z5518MultiEffector {
 public:
  static constexpr int32_t kMaxBlock = 1024;
  static constexpr int32_t kNumTypes = 8;
  static constexpr int32_t kCrossfadeStep = 743;
  static constexpr int32_t kImmediateFrames = 44;
  static constexpr int32_t kWetGainRate = 32511;
  // Line samples of the unused effects zeroed per processed frame (16 KB
  // in a slice of 128 frames).
  static constexpr uint32_t kClearAheadPerFrame = 64;

  enum Index : int32_t { kType = 0, kEdit1 = 1, kEdit2 = 2, kOnOff = 3 };

  using Slots = std::array<std::unique_ptr<Effector>, kNumTypes>;

  // Builds the eight effects, slot = type: ShortDelay, BpmSyncDelay,
  // GrainShifter, Reverb, ChorusFlanger, SarnekFilter (low-pass),
  // TalkingModulator, Decimator.
  Z5518MultiEffector();
  // With the given effects in the slots (an empty slot passes its input);
  // tests use it to watch the unit drive its effects.
  explicit Z5518MultiEffector(Slots slots);
  virtual ~Z5518MultiEffector();
  Z5518MultiEffector(const Z5518MultiEffector&) = delete;
  Z5518MultiEffector& operator=(const Z5518MultiEffector&) = delete;

  // A user or pattern value into the knob set, then (for every index) into
  // the effective set through applyParameter; returns the stored value.
  // Index 0 type (clamped 0..7), 1/2 edits (& 127), 3 on/off (always
  // stores 1: the switch cannot be turned off this way); others store
  // nothing and return 0.
  int32_t setEffectParameter(int32_t index, int32_t value);
  // A value into the effective set: type clamped, edits & 127, on/off & 1
  // (requests on for 1, off otherwise).
  void applyParameter(int32_t index, int32_t value);
  // Motion playback of parameter 132 + index; indices beyond 3 ignored.
  void setMotionValue(int32_t index, int32_t value);
  // A motion track released the parameter: back to its knob value.
  void restoreMotionValue(int32_t index);
  // A pattern was loaded: the effective set becomes the knob set.
  void resetMotionValues();
  // Every play-state change: picks the active set and requests its type and
  // on/off, and gives its edits to the current effect.
  void selectParameterSet(bool playing);
  // Tempo in tenths of BPM, stored and passed to the current effect.
  void setEffectTempo(uint32_t tempoTenths);
  // The sequence wrapped to its first step.
  void patternTop();
  // Takes a pending on/off or type switch at once (no crossfade), ends any
  // crossfade, settles the wet gain for the current on/off state, resets
  // all eight effects and restarts their pick-up grids.
  void resetEffects();
  // channels[0] / channels[1]: the send pair, processed in place. More than
  // kMaxBlock frames (or fewer than 0) pass through untouched.
  void process(int16_t* const* channels, int32_t frames);

  // --- queries ---
  int32_t knobParameter(int32_t index) const;
  int32_t effectiveParameter(int32_t index) const;
  bool playingSetSelected() const { return playing_.load(); }
  uint32_t tempo() const { return tempo_.load(); }
  // The type whose slot is current (the one that runs after the next
  // pick-up of a pending request).
  int32_t currentType() const { return currentType_.load(); }
  Effector* currentEffect() const { return current_.load(); }
  Effector* effect(int32_t type) const;
  bool isOn() const { return onState_.load(std::memory_order_relaxed); }
  bool crossfadeActive() const { return crossfadeActive_; }
  int32_t crossfadeGain() const { return crossfadeGain_; }
  // Wet gain in Q15 (32767 on, 0 off once settled).
  int32_t wetGain() const { return static_cast<int32_t>(wetState_ >> 15); }
  bool typeRequestPending() const { return (typeRequest_.load() & kPendingBit) != 0; }
  bool onOffRequestPending() const { return (onOffRequest_.load() & kPendingBit) != 0; }

 private:
  static constexpr uint32_t kPendingBit = 0x100;

  using ParameterSet = std::array<std::atomic<int32_t>, 4>;

  const ParameterSet& activeSet() const { return playing_.load() ? effective_ : knob_; }
  void requestType(int32_t type);
  void requestOnOff(bool on);
  void takeOnOffRequest();
  void takeTypeRequest();

  Slots slots_;
  ParameterSet knob_{};
  ParameterSet effective_{};
  std::atomic<bool> playing_{false};
  std::atomic<uint32_t> tempo_{1200};

  // Requests: bits 0-7 the requested type (or on/off state), kPendingBit
  // while not yet taken by process.
  std::atomic<uint32_t> typeRequest_{kPendingBit | 0};
  std::atomic<uint32_t> onOffRequest_{kPendingBit | 1};

  // Audio side.
  std::atomic<Effector*> current_{nullptr};
  std::atomic<int32_t> currentType_{-1};
  Effector* outgoing_ = nullptr;
  bool crossfadeActive_ = false;
  int32_t crossfadeGain_ = 0;
  std::atomic<bool> onState_{true};
  int32_t wetTarget_ = 0;
  int64_t wetState_ = 0;
  int32_t immediateCountdown_ = -1;

  // The effect input/output pair and the two crossfade pairs.
  std::array<std::array<int16_t, kMaxBlock>, 2> io_{};
  std::array<std::array<int16_t, kMaxBlock>, 2> outgoingBuf_{};
  std::array<std::array<int16_t, kMaxBlock>, 2> incomingBuf_{};
};
