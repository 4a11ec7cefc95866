#pragma once
// The Accent mode (normal layer): the part buttons choose which parts take
// the accent, the step buttons on which of the 64 steps it falls (shared by
// every accented part), the level knob is "Accent Level" and the Motion Seq
// button "Accent Motion" (how the level's motion plays back). Every other
// synth and effect control is disabled and the LCD shows no part while the
// mode is current; leaving gives all of it back.
//
// Part buttons neither flash with the play position nor light for MIDI
// notes here, and MIDI mute changes are not shown.

#include "modes/z31647_state.h"

class Z31647UiStateAccent : public Z31647UiStateNormal {
 public:
  void stateChanged(EditModeHost* ctl) override;
  void stateWillBeLeft(EditModeHost* ctl) override;
  void partButtonPushed(EditModeHost* ctl, int32_t part) override;
  void seqButtonPushed(EditModeHost* ctl, TIButton* sender) override;
  void synthParameterValueChanged(EditModeHost* ctl, TIControl* sender) override;
  void valueEditAboutToStart(EditModeHost* ctl, TIControl* sender) override;
  void valueEditFinished(EditModeHost* ctl, TIControl* sender) override;
  void refreshPartView(EditModeHost* ctl) override;
  void refreshSeqView(EditModeHost* ctl) override;
  void refreshSynthView(EditModeHost* ctl) override;
  void refreshEffectView(EditModeHost* ctl) override;
  void synthMotionRecording(EditModeHost* ctl) override;
  void synthParameterChangedWhenStepChanged(EditModeHost* ctl, int32_t step) override;
  void synthParameterValueChangedFromMidi(EditModeHost* ctl, int32_t part, int32_t number, int32_t value) override;
  void partChangedFromMidi(EditModeHost* ctl, int32_t part) override;

  void partButtonReleased(EditModeHost*, int32_t) override {}
  void partButtonTriggeredOnWhenStepChanged(EditModeHost*, int32_t) override {}
  void partButtonTriggeredOffWhenStepChanged(EditModeHost*) override {}
  void effectParameterChangedWhenStepChanged(EditModeHost*, int32_t) override {}
  void synthNoteOnFromMidi(EditModeHost*, int32_t) override {}
  void synthNoteOffFromMidi(EditModeHost*, int32_t) override {}
  void synthParameterMuteChangedFromMidi(EditModeHost*, int32_t, int32_t) override {}

  // The controls' tags that carry the accent in this mode: the level knob
  // and the Motion Seq button.
  static constexpr int64_t kLevelTag = 6;
  static constexpr int64_t kMotionTag = 9;

 private:
  static void originalSign(EditModeHost* ctl, bool equal);
};
