#include "modes/gbx_ui_state_step_jump.h"

#include "controls/ti_button.h"
#include "controls/ti_seq_view.h"
#include "engine/synth/synth.h"

void GBXUiStateStepJump::stateChanged(EditModeHost* ctl) {
  refreshSeqView(ctl);
  refreshPartView(ctl);
}

void GBXUiStateStepJump::stateWillBeLeft(EditModeHost* ctl) {
  // No jump outlives the mode.
  ctl->synth()->endStepJump();
  Z31647UiStateNormal::stateWillBeLeft(ctl);
}

void GBXUiStateStepJump::seqButtonPushed(EditModeHost* ctl, TIButton* sender) {
  const int32_t step = static_cast<int32_t>(sender->tag() + ctl->seqView()->currentPage() * 16);
  ctl->synth()->startStepJump(step, !sender->isActive());
  sender->setNeedsDisplay();
}

void GBXUiStateStepJump::seqButtonReleased(EditModeHost* ctl, TIButton*) { ctl->synth()->endStepJump(); }

void GBXUiStateStepJump::refreshSeqView(EditModeHost* ctl) {
  // Unlit; the play-position highlight (the selected look) stays.
  const int32_t page = static_cast<int32_t>(ctl->currentSeqPage());
  for (int32_t b = 0; b < 16; ++b) {
    const int32_t step = page * 16 + b;
    if (step >= 0 && step < kNumSteps) ctl->setStep(step, false);
  }
}
