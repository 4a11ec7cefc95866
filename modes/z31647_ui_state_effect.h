#pragma once
// The Effect switch mode (normal layer): where the master effect acts. The
// part buttons switch each part's effect send on and off; the step buttons
// switch the effect itself on and off per step, as the motion sequence of
// the effect's on/off parameter, the same 64 steps whichever part is
// current. Knobs keep their Normal meaning.
//
// Part buttons neither flash with the play position nor light for MIDI
// notes here, and MIDI mute changes are not shown.

#include "modes/z31647_state.h"

class Z31647UiStateEffect : public Z31647UiStateNormal {
 public:
  void stateChanged(EditModeHost* ctl) override;
  void stateWillBeLeft(EditModeHost* ctl) override;
  void partButtonPushed(EditModeHost* ctl, int32_t part) override;
  void seqButtonPushed(EditModeHost* ctl, TIButton* sender) override;
  void refreshSeqView(EditModeHost* ctl) override;
  void refreshPartView(EditModeHost* ctl) override;
  void synthParameterValueChangedFromMidi(EditModeHost* ctl, int32_t part, int32_t number, int32_t value) override;
  void partChangedFromMidi(EditModeHost* ctl, int32_t part) override;

  void partButtonReleased(EditModeHost*, int32_t) override {}
  void partButtonTriggeredOnWhenStepChanged(EditModeHost*, int32_t) override {}
  void partButtonTriggeredOffWhenStepChanged(EditModeHost*) override {}
  void synthNoteOnFromMidi(EditModeHost*, int32_t) override {}
  void synthNoteOffFromMidi(EditModeHost*, int32_t) override {}
  void synthParameterMuteChangedFromMidi(EditModeHost*, int32_t, int32_t) override {}
};
