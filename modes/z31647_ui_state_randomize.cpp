#include "modes/z31647_ui_state_randomize.h"

#include "engine/synth/synth.h"

void Z31647UiStateRandomizePattern::partButtonPushed(EditModeHost* ctl, int32_t part) {
  if (part < 0 || part >= kNumParts) return;
  ctl->synth()->randomizeCurrentPartSteps(part);
  Z31647UiStateShifted::partButtonPushed(ctl, part);
  Z31647UiStateShifted::refreshSeqView(ctl);
}

void Z31647UiStateRandomizeSynth::partButtonPushed(EditModeHost* ctl, int32_t part) {
  if (part < 0 || part >= kNumParts) return;
  ctl->synth()->randomizeCurrentPartSound(part);
  Z31647UiStateShifted::partButtonPushed(ctl, part);
  Z31647UiStateShifted::refreshSynthView(ctl);
}
