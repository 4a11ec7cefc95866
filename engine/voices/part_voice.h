#pragma once
// What the synthesizer voice and the drum-sample voice have in common: the
// part's parameter set, the transport flag, the note handed from the
// sequencer to the next rendered block, and the effect-send gains.
//
// Thread-safety: the parameter operations are real-time-safe from any thread
// (see PartParameters). Everything else belongs to the audio thread: note
// triggers, transport changes and resets arrive there as engine events.

#include <algorithm>
#include <cstdint>

#include "engine/voices/part_parameters.h"
#include "engine/voices/voice_stages.h"

class PartVoice {
 public:
  static constexpr int kNumParams = PartParameters::kCount;

  PartVoice(const PartVoice&) = delete;
  PartVoice& operator=(const PartVoice&) = delete;

  int32_t setParameter(uint32_t index, int32_t value) { return params_.set(index, value); }
  int32_t parameter(int32_t index) const { return params_.knob(index); }
  int32_t effectiveParameter(int32_t index) const { return params_.effective(index); }
  void setMotionValue(uint32_t index, int32_t value) { params_.setMotion(index, value); }
  void restoreMotionValue(uint32_t index) { params_.restoreMotion(index); }

  // Starting the transport makes the voice play the knob values again:
  // motion playback of the last run must not carry over.
  void setPlaying(bool playing) {
    if (playing && !playing_) params_.copyKnobToEffective();
    playing_ = playing;
  }
  // A pattern was loaded: knob values over the effective values, send gains
  // at once.
  void reset() {
    params_.copyKnobToEffective();
    sends_.setAtOnce(params_.knob(kFxSend));
  }
  // A voice still ringing keeps its sound until its next note.
  void freezeParameters() { following_ = false; }
  // Main thread, before a load writes this part's values: a voice rendering
  // now stops following at its next pick-up instead of reading them.
  void beginLoad() { params_.beginLoad(); }

  bool isActive() const { return active_; }
  bool isSounding() const { return sounding_; }
  bool isTriggerPending() const { return triggerPending_; }
  bool isPlaying() const { return playing_; }

 protected:
  PartVoice(const PartParamInfo* table, const int32_t (&defaults)[kNumParams]) : params_(table, defaults) {
    sends_.setAtOnce(params_.knob(kFxSend));
  }
  ~PartVoice() = default;

  // Queues a note for the next block. Without the accent parameter every
  // note plays at velocity 100; with it a velocity below 1 plays nothing,
  // and one above 127 (never a MIDI value, but it would overflow the level
  // product) plays as 127. Returns false when the note was dropped.
  bool queueNote(int32_t velocity) {
    if (params_.knob(kAccent) != 1) {
      velocity = 100;
    } else if (velocity < 1) {
      return false;
    }
    pendingVelocity_ = std::min(velocity, 127);
    triggerPending_ = true;
    return true;
  }

  // The frame loop both voices share. A note can only be waiting at the
  // first frame (nothing queues one while the voice renders): startNote()
  // starts it. Parameters are picked up (pickUp()) every kPickUpFrames
  // frames from the start of the call; in between only the voice's own
  // state moves, so stretch(from, end) renders those frames in a tight
  // loop and returns the frame after the last it rendered (before `end`
  // when the voice fell silent). Returns the first frame not rendered.
  static constexpr uint32_t kPickUpFrames = 64;
  template <typename StartNote, typename PickUp, typename Stretch>
  uint32_t renderStretches(uint32_t frames, StartNote&& startNote, PickUp&& pickUp, Stretch&& stretch) {
    if (frames > 0 && triggerPending_) {
      startNote();
      triggerPending_ = false;
    }
    uint32_t i = 0;
    while (i < frames && active_) {
      pickUp();
      i = stretch(i, std::min(frames, i + kPickUpFrames));
    }
    return i;
  }

  PartParameters params_;
  bool playing_ = false;
  bool active_ = false;
  bool sounding_ = false;
  bool following_ = false;
  uint32_t loadAtNote_ = 0;  // params_.loads() when the note started
  bool playingAtTrigger_ = false;
  bool triggerPending_ = false;
  int32_t pendingVelocity_ = 0;
  SendGains sends_;
};
