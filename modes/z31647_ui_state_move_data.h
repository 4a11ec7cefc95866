#pragma once
// The Move data mode (shift layer): shifts the step data of chosen parts in
// time. The part buttons (and the effect-send and accent buttons, lent as
// keys 10 and 11) choose what moves; the page arrows then rotate it by one
// step within the pattern's active steps instead of turning pages: the
// left arrow one step earlier, the right arrow one step later, triggers and
// motion together.

#include "modes/z31647_state.h"

class Z31647UiStateMoveData : public Z31647UiStateShifted {
 public:
  void stateChanged(EditModeHost* ctl) override;
  void stateWillBeLeft(EditModeHost* ctl) override;
  void shiftSeqView(EditModeHost* ctl, int32_t size) override;
  void partButtonPushed(EditModeHost* ctl, int32_t part) override;
  void refreshPartView(EditModeHost* ctl) override;
  void partChangedFromMidi(EditModeHost* ctl, int32_t part) override;

  void partButtonReleased(EditModeHost*, int32_t) override {}
  void partButtonTriggeredOnWhenStepChanged(EditModeHost*, int32_t) override {}
  void partButtonTriggeredOffWhenStepChanged(EditModeHost*) override {}
  void synthNoteOnFromMidi(EditModeHost*, int32_t) override {}
  void synthNoteOffFromMidi(EditModeHost*, int32_t) override {}
  void synthParameterMuteChangedFromMidi(EditModeHost*, int32_t, int32_t) override {}
};
