#pragma once
// The Clear motion mode (shift layer): clears the motion sequence of one
// parameter at a time. The part buttons (and the effect-send and accent
// buttons, lent as keys 10 and 11) choose whose parameters are shown; only
// the controls whose parameter has a motion sequence are enabled, and a
// touch on one asks for confirmation before its motion goes.
//
// The parameter to clear is fixed when the question opens (the control
// touched, with the part or key chosen at that moment), so nothing that
// redraws the panel while the question is up changes what OK clears.

#include "engine/record/param_id.h"
#include "modes/mode_confirmation.h"
#include "modes/z31647_state.h"

class Z31647UiStateMotionClear : public Z31647UiStateShifted {
 public:
  void stateChanged(EditModeHost* ctl) override;
  void stateWillBeLeft(EditModeHost* ctl) override;
  void partButtonPushed(EditModeHost* ctl, int32_t part) override;
  void valueEditAboutToStart(EditModeHost* ctl, TIControl* sender) override;
  void synthParameterValueChanged(EditModeHost* ctl, TIControl* sender) override;
  // A touch here starts no edit, so its end must not close one: the motion
  // recording sign and the engine's edit marks stay balanced.
  void valueEditFinished(EditModeHost* ctl, TIControl* sender) override;
  void refreshPartView(EditModeHost* ctl) override;
  void refreshSynthView(EditModeHost* ctl) override;
  void refreshEffectView(EditModeHost* ctl) override;
  void synthParameterChangedWhenStepChanged(EditModeHost* ctl, int32_t step) override;
  void partChangedFromMidi(EditModeHost* ctl, int32_t part) override;

  void partButtonReleased(EditModeHost*, int32_t) override {}
  void partButtonTriggeredOnWhenStepChanged(EditModeHost*, int32_t) override {}
  void partButtonTriggeredOffWhenStepChanged(EditModeHost*) override {}
  void synthNoteOnFromMidi(EditModeHost*, int32_t) override {}
  void synthNoteOffFromMidi(EditModeHost*, int32_t) override {}
  void synthParameterMuteChangedFromMidi(EditModeHost*, int32_t, int32_t) override {}

  // The confirmation's answer: OK clears the parameter chosen.
  void alertViewDidDismiss(bool ok);

  bool alertViewAppeared() const { return alertViewAppeared_; }
  // The parameter the open question is about; kNoParam when none.
  ParamId pendingParameter() const { return pending_; }

 private:
  // The parameter a touch on `sender` would clear; kNoParam when it names
  // none that has a motion sequence.
  ParamId targetOf(EditModeHost* ctl, const TIControl* sender) const;
  void showTips(EditModeHost* ctl);
  void choose(EditModeHost* ctl, int64_t key);

  EditModeHost* controller_ = nullptr;
  bool alertViewAppeared_ = false;
  ParamId pending_ = kNoParam;
  ModeConfirmation confirmation_;
};
