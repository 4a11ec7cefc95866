#pragma once
// The tracks that play a pattern next to the play position: one trigger track
// per part and one motion track per automatable parameter.
//
// Threads. Playback state (step, position in the step, last value sent, ...)
// belongs to the render thread. The step data (trigger flags, motion step
// bytes) and the track flags (exists, active, recording) are atomics that the
// interface writes while the render thread reads them, so an edit lands at the
// next step that reads it and nothing is ever reallocated under the player.

#include <array>
#include <atomic>
#include <cstdint>

#include "engine/record/param_id.h"
#include "engine/seq/step_cursor.h"

class SeqListener;

// Rotates the values of the played steps (slots below `end` whose position in
// their bar is below `lastStep`) so that the value `offset` played steps on
// moves to the first played step. A negative offset counts from the end.
void rotatePlayedSteps(uint8_t (&values)[64], int32_t offset, int32_t lastStep, int32_t end);

// The timing every track shares: swung step lengths taken from the clock at
// even positions, with external-clock tick bookkeeping.
class SeqTrack : public StepCursor {
 public:
  void prepare(int32_t start);
  void setLoopBar(int32_t bar);
  void clearLoop();
  void setInternalClock(bool on) { internalClock_ = on; }
  // External clock: catches up on counted ticks before a slice.
  void applyClockTicks();
  // Takes the position's step after a pair boundary or a jump; a track that
  // was on another step starts this one anew.
  void syncTo(int32_t step, float posInStep);

  bool newStep() const { return newStep_; }
  float stepLength() const { return stepLength_; }
  float halfPair() const { return halfPair_; }
  float evenStep() const { return evenStep_; }
  float oddStep() const { return oddStep_; }
  int32_t swing() const { return swing_; }

 protected:
  // Plays `frames` frames from block frame `offset`; Hooks has
  // stepStart(frame) and stretch(frame, frames).
  template <class Hooks>
  void run(int32_t offset, int32_t frames, Hooks& hooks);

  void readLengths();
  void nextStep();
  float lengthOf(int32_t internalStep) const;

  float halfPair_ = 0.0f;
  float evenStep_ = 0.0f;
  float oddStep_ = 0.0f;
  int32_t swing_ = 50;
  bool newStep_ = true;
  float stepLength_ = 0.0f;
};

class TriggerTrack : public SeqTrack {
 public:
  void attach(int32_t part, const StepClock* clock, SeqListener* listener, const std::atomic<uint64_t>* accentRow);
  int32_t part() const { return part_; }

  // Any thread.
  void setStep(int32_t step, bool on);
  bool stepOn(int32_t step) const;
  void clearSteps();
  void rotate(int32_t offset, int32_t lastStep, int32_t end);

  // Render thread: step triggers for these frames.
  void play(int32_t offset, int32_t frames);

 private:
  friend struct TriggerHooks;
  int32_t part_ = 0;
  SeqListener* listener_ = nullptr;
  const std::atomic<uint64_t>* accentRow_ = nullptr;
  std::array<std::atomic<uint8_t>, 64> steps_{};
};

class MotionTrack : public SeqTrack {
 public:
  // Step byte: bit 7 set = no value; bits 0-6 the value.
  static constexpr uint8_t kNoValue = 0x80;

  // Parameters that jump from value to value instead of gliding.
  static bool interpolatesFor(ParamId id);

  // `timing` is a track that always plays (trigger track 0): a track that
  // comes into being takes its place in the pattern from it.
  void attach(ParamId id, const StepClock* clock, SeqListener* listener, const SeqTrack* timing);
  ParamId paramId() const { return id_; }
  bool interpolates() const { return interpolate_; }

  // Any thread. A track exists from the first request for it until the
  // parameters are reset; an existing track may be inactive (cleared).
  bool exists() const { return exists_.load(std::memory_order_acquire); }
  bool isActive() const { return active_.load(std::memory_order_acquire); }
  bool isRecording() const { return recording_.load(std::memory_order_relaxed); }
  // Makes the track exist and play; a new one starts with nothing sent.
  void request();
  // Inactive, every step empty; the parameter is released once.
  void clear();
  // Gone (parameter reset): silent, every step empty.
  void remove();
  void setRecording(bool on) { recording_.store(on, std::memory_order_relaxed); }
  void setStep(int32_t step, bool trigger, int32_t value);
  uint8_t stepByte(int32_t step) const;
  void rotate(int32_t offset, int32_t lastStep, int32_t end);

  // Render thread.
  void prepare(int32_t start);
  void play(int32_t offset, int32_t frames);
  int32_t lastSent() const { return lastSent_; }

 private:
  friend struct MotionHooks;
  friend struct SilentHooks;
  void resetPlayback();

  ParamId id_ = kNoParam;
  bool interpolate_ = false;
  SeqListener* listener_ = nullptr;
  const SeqTrack* timing_ = nullptr;
  std::array<std::atomic<uint8_t>, 64> steps_{};
  std::atomic<bool> exists_{false};
  std::atomic<bool> active_{false};
  std::atomic<bool> recording_{false};
  std::atomic<bool> freshStart_{false};

  // Render thread.
  int32_t lastSent_ = -1;
  int32_t currentValue_ = -1;
  int32_t nextValue_ = -1;
  bool holding_ = true;
  bool releaseSent_ = false;
};
