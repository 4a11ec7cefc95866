#pragma once
// The Mute mode (normal layer): the eight part buttons are mute switches. A
// lit part button is a part that sounds, a dark one is muted; the current
// part's button also shows its selected look while the part sounds. Solo
// and mute exclude each other: entering switches solo off, and solo
// switched on leaves the mode (the base mode's solo handlers). Steps and
// knobs keep their Normal meaning.
//
// Part buttons neither flash with the play position nor light for MIDI
// notes here, and a press neither selects nor sounds the part.

#include "modes/z31647_state.h"

class Z31647UiStateMute : public Z31647UiStateNormal {
 public:
  void stateChanged(EditModeHost* ctl) override;
  void stateWillBeLeft(EditModeHost* ctl) override;
  void partButtonPushed(EditModeHost* ctl, int32_t part) override;
  void refreshPartView(EditModeHost* ctl) override;
  void synthParameterMuteChangedFromMidi(EditModeHost* ctl, int32_t part, int32_t value) override;

  void partButtonReleased(EditModeHost*, int32_t) override {}
  void partButtonTriggeredOnWhenStepChanged(EditModeHost*, int32_t) override {}
  void partButtonTriggeredOffWhenStepChanged(EditModeHost*) override {}
  void synthNoteOnFromMidi(EditModeHost*, int32_t) override {}
  void synthNoteOffFromMidi(EditModeHost*, int32_t) override {}

 private:
  // The part's lamp (and, for the current part, its selected look) for a
  // part that sounds or is muted.
  static void showPart(EditModeHost* ctl, int32_t part, bool sounding);
};
