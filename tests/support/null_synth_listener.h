#pragma once
// An engine observer that ignores everything: tests derive from it and
// override only the callbacks they watch.

#include "engine/interfaces/synth_listener.h"

namespace igbtest {

class NullSynthListener : public SynthListener {
 public:
  void synthTriggered(int, bool) override {}
  void synthParameterChangedFromMidi(int, int) override {}
  void patternChanged() override {}
  void patternTagInfoDidUpdate() override {}
  void recordingStatusChanged() override {}
  void seqReturnedToTheBeginning() override {}
  void notifyPatternSetChangedFromMidi(uint16_t, uint16_t) override {}
  void notifyPatternChangedFromMidi(int) override {}
  void currentPartChangedFromMidi(int) override {}
  void seqPageShiftedFromMidi(int) override {}
  void sequenceDidStart() override {}
  void sequenceDidStop() override {}
  void precountAbletonLinkSync(int, int) override {}
  void abletonLinkSyncTempoChanged(double) override {}
  void abletonLinkSyncEnabledDidChange() override {}
  void abletonLinkSyncConnectedDidChange() override {}
};

}  // namespace igbtest
