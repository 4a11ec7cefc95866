#include "modes/z31647_ui_state_mute.h"

#include "controls/radio_button_mediator.h"
#include "controls/ti_button.h"
#include "engine/synth/synth.h"

namespace {

bool isPart(int32_t part) { return part >= 0 && part < kNumParts; }

bool isMuted(EditModeHost* ctl, int32_t part) { return ctl->synth()->currentPattern()->synthParams[part].mute != 0; }

}  // namespace

void Z31647UiStateMute::showPart(EditModeHost* ctl, int32_t part, bool sounding) {
  RadioButtonMediator* parts = ctl->partButtonMediator();
  parts->setButtonActive(part, sounding);
  if (part != static_cast<int32_t>(ctl->currentPart())) return;
  // Set, not toggled: the look follows the part's state even when it was
  // out of step with it.
  if (sounding) {
    parts->setButtonSelected(part, false);
  } else {
    parts->deselectButton();
  }
}

void Z31647UiStateMute::stateChanged(EditModeHost* ctl) {
  Synth* synth = ctl->synth();
  TIButton* solo = ctl->soloButton();
  // Solo and mute exclude each other. The engine's flag counts too: the
  // lamp is dark in the shift layer while solo may still be on.
  if ((solo && solo->isActive()) || synth->soloMode()) {
    synth->setSoloMode(false);
    if (solo) solo->setButtonState(0);
  }
  if (TIButton* jump = ctl->stepJumpButton(); jump && jump->isActive()) jump->setButtonState(0);
  refreshPartView(ctl);
  ctl->partButtonMediator()->setButtonsUndimmed();
  refreshSeqView(ctl);
}

void Z31647UiStateMute::stateWillBeLeft(EditModeHost* ctl) {
  Z31647State::stateWillBeLeft(ctl);
  dismissTipsView(ctl);
}

void Z31647UiStateMute::partButtonPushed(EditModeHost* ctl, int32_t part) {
  // setPartMute would take any other number for part 7.
  if (!isPart(part)) return;
  // The pattern's own mute decides which way the switch goes, so a lamp that
  // is out of step with the pattern can never turn a mute into a second mute.
  const bool mute = !isMuted(ctl, part);
  ctl->synth()->setPartMute(part, mute ? 1 : 0);
  showPart(ctl, part, !mute);
}

void Z31647UiStateMute::refreshPartView(EditModeHost* ctl) {
  ctl->partButtonMediator()->setButtonDeactiveAll();
  for (int32_t part = 0; part < kNumParts; ++part) showPart(ctl, part, !isMuted(ctl, part));
}

void Z31647UiStateMute::synthParameterMuteChangedFromMidi(EditModeHost* ctl, int32_t part, int32_t value) {
  if (isPart(part)) showPart(ctl, part, value < 1);
}
