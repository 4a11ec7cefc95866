#include "modes/z31647_ui_state_move_data.h"

#include "controls/radio_button_mediator.h"
#include "engine/synth/synth.h"
#include "modes/state_util.h"

void Z31647UiStateMoveData::stateChanged(EditModeHost* ctl) {
  StateUtil::makeMasterButtons(ctl, true);
  StateUtil::joinFunctionButtonsIntoPartButtons(ctl);
  refreshPartView(ctl);
  ctl->partButtonMediator()->setButtonsReady();
}

void Z31647UiStateMoveData::stateWillBeLeft(EditModeHost* ctl) {
  RadioButtonMediator* parts = ctl->partButtonMediator();
  parts->setButtonsReadyCancel();
  parts->setButtonDeactiveAll();
  StateUtil::resignFunctionButtonsIntoPartButtons(ctl);
}

void Z31647UiStateMoveData::partButtonPushed(EditModeHost* ctl, int32_t part) {
  RadioButtonMediator* parts = ctl->partButtonMediator();
  parts->setButtonActive(part, !parts->isButtonActive(part));
}

void Z31647UiStateMoveData::shiftSeqView(EditModeHost* ctl, int32_t size) {
  // A positive offset moves the data toward earlier steps.
  const int32_t offset = -size;
  Synth* synth = ctl->synth();
  RadioButtonMediator* parts = ctl->partButtonMediator();
  for (int32_t part = 0; part < kNumParts; ++part) {
    if (parts->isButtonActive(part)) synth->shiftPartSteps(part, offset);
  }
  if (parts->isButtonActive(StateUtil::kFxSendPartKey)) {
    synth->shiftEffectMotion(static_cast<int32_t>(ctl->currentFx()), offset);
  }
  if (parts->isButtonActive(StateUtil::kAccentPartKey)) synth->shiftAccentSteps(offset);
  ctl->refreshSeqView();
}

void Z31647UiStateMoveData::refreshPartView(EditModeHost* ctl) {
  RadioButtonMediator* parts = ctl->partButtonMediator();
  parts->deselectButton();
  parts->setButtonDeactiveAll();
  parts->setButtonsUndimmed();
}

void Z31647UiStateMoveData::partChangedFromMidi(EditModeHost* ctl, int32_t part) {
  if (part == static_cast<int32_t>(ctl->currentPart())) return;
  ctl->setCurrentPart(static_cast<uint32_t>(part));
  ctl->refreshSynthView();
  ctl->refreshSeqView();
}
