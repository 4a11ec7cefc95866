#pragma once
// The engine's observer: the only way the engine reports to the interface.
// Callbacks come from any thread (audio, MIDI, Link) and must not block.

#include <cstdint>

class SynthListener {
 public:
  virtual void synthTriggered(int partId, bool on) = 0;
  virtual void synthParameterChangedFromMidi(int parameterId, int value) = 0;
  virtual void patternChanged() = 0;
  virtual void patternTagInfoDidUpdate() = 0;
  virtual void recordingStatusChanged() = 0;
  virtual void seqReturnedToTheBeginning() = 0;
  virtual void notifyPatternSetChangedFromMidi(uint16_t high, uint16_t low) = 0;
  virtual void notifyPatternChangedFromMidi(int patternNumber) = 0;
  virtual void currentPartChangedFromMidi(int partNumber) = 0;
  virtual void seqPageShiftedFromMidi(int offset) = 0;
  virtual void sequenceDidStart() = 0;
  virtual void sequenceDidStop() = 0;
  virtual void precountAbletonLinkSync(int beat, int count) = 0;
  virtual void abletonLinkSyncTempoChanged(double sessionTempo) = 0;
  virtual void abletonLinkSyncEnabledDidChange() = 0;
  virtual void abletonLinkSyncConnectedDidChange() = 0;
  virtual ~SynthListener() = default;
};
