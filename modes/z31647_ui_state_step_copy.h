#pragma once
// The Copy step mode (shift layer): copies one step page (16 steps, one
// bar) of the whole pattern onto another: the triggers of all eight parts,
// the accent steps and the steps of every motion sequence. While it is in
// force the part buttons are page buttons: 0-3 choose the source page,
// 4-7 the destination page; a destination with a source chosen asks for
// confirmation.
//
// The pages are fixed when the question opens, so a redraw of the part
// buttons while it is up cannot change what OK copies.

#include <cstdint>

#include "modes/mode_confirmation.h"
#include "modes/z31647_state.h"

class Z31647UiStateStepCopy : public Z31647UiStateShifted {
 public:
  void stateChanged(EditModeHost* ctl) override;
  void stateWillBeLeft(EditModeHost* ctl) override;
  void partButtonPushed(EditModeHost* ctl, int32_t part) override;
  void partChangedFromMidi(EditModeHost* ctl, int32_t part) override;
  // The page buttons keep their marks; the part lamps of the other modes
  // (selection of the current part, mute dimming) mean nothing here.
  void refreshPartView(EditModeHost* ctl) override;

  void partButtonReleased(EditModeHost*, int32_t) override {}
  void partButtonTriggeredOnWhenStepChanged(EditModeHost*, int32_t) override {}
  void partButtonTriggeredOffWhenStepChanged(EditModeHost*) override {}
  void synthNoteOnFromMidi(EditModeHost*, int32_t) override {}
  void synthNoteOffFromMidi(EditModeHost*, int32_t) override {}
  void synthParameterMuteChangedFromMidi(EditModeHost*, int32_t, int32_t) override {}

  // Keys 4-7 are destination pages.
  static bool isDestination(int32_t key) { return key > 3; }
  // A source page is chosen and a destination is marked.
  bool sourceAndDestAreSelected(EditModeHost* ctl) const;
  void showTips(EditModeHost* ctl);

  // The confirmation's answer: OK copies the source page onto the
  // destination page.
  void alertViewDidDismiss(bool ok);

  bool alertViewAppeared() const { return alertViewAppeared_; }

 private:
  EditModeHost* controller_ = nullptr;
  bool alertViewAppeared_ = false;
  int32_t pendingSource_ = -1;
  int32_t pendingDestination_ = -1;
  ModeConfirmation confirmation_;
};
