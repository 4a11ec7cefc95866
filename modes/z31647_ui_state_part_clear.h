#pragma once
// The Clear part mode (shift layer): the user taps the button of the data to
// clear and confirms. The part buttons clear a part's trigger steps (its
// sound and motion stay); the effect-send and accent buttons, lent to the
// part buttons' group as keys 10 and 11, set the effect on/off motion and
// the accent on at every step and for every part (the "cleared" state of
// those two is all on). Keys with nothing to clear stop blinking and dim.

#include "modes/mode_confirmation.h"
#include "modes/z31647_state.h"

class Z31647UiStatePartClear : public Z31647UiStateShifted {
 public:
  void stateChanged(EditModeHost* ctl) override;
  void stateWillBeLeft(EditModeHost* ctl) override;
  void partButtonPushed(EditModeHost* ctl, int32_t part) override;
  void refreshPartView(EditModeHost* ctl) override;
  void partChangedFromMidi(EditModeHost* ctl, int32_t part) override;

  void partButtonReleased(EditModeHost*, int32_t) override {}
  void partButtonTriggeredOnWhenStepChanged(EditModeHost*, int32_t) override {}
  void partButtonTriggeredOffWhenStepChanged(EditModeHost*) override {}
  void synthNoteOnFromMidi(EditModeHost*, int32_t) override {}
  void synthNoteOffFromMidi(EditModeHost*, int32_t) override {}
  void synthParameterMuteChangedFromMidi(EditModeHost*, int32_t, int32_t) override {}

  // The confirmation's answer: OK clears every marked key.
  void alertViewDidDismiss(bool ok);

  bool alertViewAppeared() const { return alertViewAppeared_; }
  const ModeConfirmation& confirmation() const { return confirmation_; }

 private:
  // Whether key k (0-7, 10, 11) has nothing to clear.
  static bool nothingToClear(EditModeHost* ctl, int64_t key);
  void showTips(EditModeHost* ctl);

  EditModeHost* controller_ = nullptr;
  bool alertViewAppeared_ = false;
  ModeConfirmation confirmation_;
};
