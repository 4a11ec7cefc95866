#pragma once
// The Step jump mode (normal layer): the step buttons are a performance
// control for the play position. While a step button is held the sequencer
// jumps to that step at the next step boundary and plays it again at every
// boundary after; releasing any step button ends every jump. The step
// buttons show no trigger data here, and part buttons and MIDI part events
// leave the panel alone (the engine still acts on the MIDI).

#include "modes/z31647_state.h"

class GBXUiStateStepJump : public Z31647UiStateNormal {
 public:
  void stateChanged(EditModeHost* ctl) override;
  void stateWillBeLeft(EditModeHost* ctl) override;
  void seqButtonPushed(EditModeHost* ctl, TIButton* sender) override;
  void seqButtonReleased(EditModeHost* ctl, TIButton* sender) override;
  void refreshSeqView(EditModeHost* ctl) override;

  void partButtonPushed(EditModeHost*, int32_t) override {}
  void partButtonReleased(EditModeHost*, int32_t) override {}
  void synthNoteOnFromMidi(EditModeHost*, int32_t) override {}
  void synthNoteOffFromMidi(EditModeHost*, int32_t) override {}
  void synthParameterValueChangedFromMidi(EditModeHost*, int32_t, int32_t, int32_t) override {}
  void synthParameterMuteChangedFromMidi(EditModeHost*, int32_t, int32_t) override {}
  void partChangedFromMidi(EditModeHost*, int32_t) override {}
};
