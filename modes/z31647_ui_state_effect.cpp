#include "modes/z31647_ui_state_effect.h"

#include "controls/radio_button_mediator.h"
#include "controls/ti_button.h"
#include "controls/ti_seq_view.h"
#include "engine/record/param_id.h"
#include "engine/synth/synth.h"

namespace {

// The effect's fourth parameter, its on/off switch.
constexpr int32_t kEffectOnOff = 3;

bool isPart(int32_t part) { return part >= 0 && part < kNumParts; }

ParamId effectSwitch(EditModeHost* ctl) {
  return makeParamId(kParamGroupEffect, static_cast<int32_t>(ctl->currentFx()), kEffectOnOff);
}

}  // namespace

void Z31647UiStateEffect::stateChanged(EditModeHost* ctl) {
  openTipsView(ctl, platform::Rect{427, 495, 585, 182},
               "Tap the part buttons you want to turn the effects on/off for each part.");
  openSubTipsView(ctl, platform::Rect{24, 614, 987, 182},
                  "Tap the step buttons to turn the effects on/off for each step of all parts where the effect is on.");
  refreshSeqView(ctl);
  refreshPartView(ctl);
  if (TIButton* jump = ctl->stepJumpButton(); jump && jump->isActive()) jump->setButtonState(0);
}

void Z31647UiStateEffect::stateWillBeLeft(EditModeHost* ctl) {
  Z31647State::stateWillBeLeft(ctl);
  dismissTipsView(ctl);
  dismissSubTipsView(ctl);
}

void Z31647UiStateEffect::partButtonPushed(EditModeHost* ctl, int32_t part) {
  if (!isPart(part)) return;
  // The pattern's own send decides which way the switch goes.
  const bool on = ctl->synth()->currentPattern()->synthParams[part].fxSend == 0;
  ctl->synth()->setPartParameter(part, kFxSend, on ? 1 : 0);
  ctl->partButtonMediator()->setButtonActive(part, on);
}

void Z31647UiStateEffect::seqButtonPushed(EditModeHost* ctl, TIButton* sender) {
  const bool on = !sender->isActive();
  const int32_t step = static_cast<int32_t>(ctl->seqView()->currentPage()) * 16 + static_cast<int32_t>(sender->tag());
  // Off is a value of 0 with its trigger set, so the step switches the
  // effect off rather than leaving it as the step before left it.
  ctl->synth()->setMotionStep(effectSwitch(ctl), step, on ? 1 : 0, 1);
  sender->swapButtonState();
  sender->setNeedsDisplay();
}

void Z31647UiStateEffect::refreshSeqView(EditModeHost* ctl) {
  const ParamId id = effectSwitch(ctl);
  const int32_t page = static_cast<int32_t>(ctl->currentSeqPage());
  for (int32_t b = 0; b < 16; ++b) {
    const int32_t step = page * 16 + b;
    int32_t value = 0;
    if (!ctl->synth()->motionStep(id, step, nullptr, &value, nullptr)) continue;
    ctl->setStep(step, value != 0);
  }
}

void Z31647UiStateEffect::refreshPartView(EditModeHost* ctl) {
  RadioButtonMediator* parts = ctl->partButtonMediator();
  const PatternRecord& r = *ctl->synth()->currentPattern();
  parts->deselectButton();
  for (int32_t part = 0; part < kNumParts; ++part) parts->setButtonActive(part, r.synthParams[part].fxSend != 0);
  parts->setButtonsUndimmed();
}

void Z31647UiStateEffect::synthParameterValueChangedFromMidi(EditModeHost* ctl, int32_t part, int32_t number,
                                                             int32_t value) {
  if (isPart(part) && number == kFxSend) ctl->partButtonMediator()->setButtonActive(part, value >= 1);
}

void Z31647UiStateEffect::partChangedFromMidi(EditModeHost* ctl, int32_t part) {
  if (part == static_cast<int32_t>(ctl->currentPart())) return;
  ctl->setCurrentPart(static_cast<uint32_t>(part));
  // The steps show the effect switch, which is the same for every part.
  ctl->refreshSynthView();
}
