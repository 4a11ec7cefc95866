#pragma once
// What the sequencer tells its owner. Every call is made on the thread that
// runs the sequencer's per-block work, which is the audio thread while sound
// runs: implementations must be real-time safe.

#include <cstdint>

#include "engine/record/param_id.h"

class SeqListener {
 public:
  virtual ~SeqListener() = default;
  virtual void stepTriggered(int32_t frame, int32_t part, bool accent) = 0;
  virtual void motionValue(int32_t frame, ParamId id, int32_t value) = 0;
  // The parameter returns to its knob value.
  virtual void targetTriggered(int32_t frame, ParamId id) = 0;
  // Loads pattern `index` into the playing record; returns its stored tempo
  // in tenths of BPM.
  virtual int32_t loadPattern(int32_t index, bool whilePlaying) = 0;
  virtual void patternTop(int32_t startStep) = 0;
  virtual void returnedToBeginning() = 0;
  virtual void setTempo(int32_t tempoTenths) = 0;
  virtual void tempoChanged() = 0;
  virtual void playStateChanged(bool playing) = 0;
  virtual void recordingStatusChanged(bool on) = 0;
  virtual void patternSetSelected(uint16_t high, uint16_t low) = 0;
  virtual void patternChanged(int32_t index) = 0;
  virtual void stopCommandProcessed() = 0;
  virtual void sequenceDidStart() = 0;
  virtual void sequenceDidStop() = 0;
  virtual void linkCountIn(int32_t ticksPerBar, int32_t tickIndex) = 0;
  virtual void linkSessionTempoChanged(double sessionTempo) = 0;
  virtual void linkEnabledChanged() = 0;
  virtual void linkConnectedChanged() = 0;
};
