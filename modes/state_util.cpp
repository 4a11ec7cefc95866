#include "modes/state_util.h"

#include "controls/radio_button_mediator.h"
#include "controls/ti_button.h"
#include "engine/record/param_id.h"
#include "engine/synth/synth.h"
#include "modes/ti_state_mediator.h"

namespace {

bool loopOn(Synth* synth) { return synth->seq() && synth->seq()->isLoop(); }

// The group holds its buttons shared with the views that show them.
std::shared_ptr<TIButton> shared(TIButton* b) { return std::static_pointer_cast<TIButton>(b->shared_from_this()); }

}  // namespace

int32_t StateUtil::limitStepNumber(EditModeHost* ctl, int32_t step, int32_t odd) {
  Synth* synth = ctl->synth();
  const int32_t lastStep = synth->lastStep();
  int32_t length = synth->patternLength();
  const int32_t c = step + odd;
  int32_t base;
  int32_t fallback;
  if (loopOn(synth)) {
    // One page repeats: the page of the playing step, not of the rounded one.
    const int32_t page = step / 16;
    base = 16 * page;
    fallback = 16 * page;
    length = page + 1;
  } else {
    base = 16 * (c / 16);
    fallback = 0;
  }
  int32_t result = (c - base) < lastStep ? c : base + 16;
  if (result > lastStep + 16 * length - 17) result = fallback;
  return result;
}

int32_t StateUtil::limitStepNumberRoundDown(EditModeHost*, int32_t step, int32_t) { return step; }

void StateUtil::recordTrigger(EditModeHost* ctl) {
  const int32_t s = limitStepNumber(ctl, playingStep(ctl), playingOdd(ctl));
  ctl->synth()->setStep(static_cast<int32_t>(ctl->currentPart()), s, true);
  ctl->setStep(s, true);
}

void StateUtil::recordTriggerFromMidi(EditModeHost* ctl, int32_t part) {
  const int32_t s = limitStepNumber(ctl, playingStep(ctl), playingOdd(ctl));
  ctl->synth()->setStep(part, s, true);
  if (part == static_cast<int32_t>(ctl->currentPart())) ctl->setStep(s, true);
}

void StateUtil::recordMotion(EditModeHost* ctl, int32_t parameterId, int32_t value) {
  Synth* synth = ctl->synth();
  const int32_t part = static_cast<int32_t>(ctl->currentPart());
  if (!synth->partMotionType(part)) {
    synth->setPartParameter(part, kMotionSeq, 1);
    ctl->updateSynthParameterDisplay(kMotionSeq, 1);
  }
  const int32_t s = limitStepNumber(ctl, playingStep(ctl), playingOdd(ctl));
  synth->setMotionStep(makeParamId(kParamGroupSynth, part, parameterId), s, value, 1);
}

void StateUtil::recordMotionFromMidi(EditModeHost* ctl, int32_t part, int32_t parameterId, int32_t value) {
  Synth* synth = ctl->synth();
  if (!synth->partMotionType(part)) {
    synth->setPartParameter(part, kMotionSeq, 1);
    if (part == static_cast<int32_t>(ctl->currentPart())) ctl->updateSynthParameterDisplay(kMotionSeq, 1);
  }
  const int32_t s = limitStepNumberRoundDown(ctl, playingStep(ctl), playingOdd(ctl));
  synth->setMotionStep(makeParamId(kParamGroupSynth, part, parameterId), s, value, 1);
}

void StateUtil::recordFxMotion(EditModeHost* ctl, int32_t parameterId, int32_t value) {
  const int32_t s = limitStepNumber(ctl, playingStep(ctl), playingOdd(ctl));
  ctl->synth()->setMotionStep(makeParamId(kParamGroupEffect, static_cast<int32_t>(ctl->currentFx()), parameterId), s,
                              value, 1);
}

void StateUtil::recordFxMotionFromMidi(EditModeHost* ctl, int32_t set, int32_t parameterId, int32_t value) {
  const int32_t s = limitStepNumberRoundDown(ctl, playingStep(ctl), playingOdd(ctl));
  ctl->synth()->setMotionStep(makeParamId(kParamGroupEffect, set, parameterId), s, value, 1);
}

void StateUtil::recordAccentMotion(EditModeHost* ctl, int32_t parameterId, int32_t value) {
  Synth* synth = ctl->synth();
  if (!synth->accentMotionType()) {
    synth->setAccentParameter(1, 2);
    ctl->updateSynthParameterDisplay(kMotionSeq, 2);
  }
  const int32_t s = limitStepNumber(ctl, playingStep(ctl), playingOdd(ctl));
  synth->setMotionStep(makeParamId(kParamGroupAccent, 0, parameterId), s, value, 1);
}

void StateUtil::recordAccentMotionFromMidi(EditModeHost* ctl, int32_t parameterId, int32_t value) {
  Synth* synth = ctl->synth();
  if (!synth->accentMotionType()) {
    synth->setAccentParameter(1, 2);
    if (ctl->stateMediator().currentStateIndex() == ui_state::kAccent) ctl->updateSynthParameterDisplay(kMotionSeq, 2);
  }
  const int32_t s = limitStepNumberRoundDown(ctl, playingStep(ctl), playingOdd(ctl));
  synth->setMotionStep(makeParamId(kParamGroupAccent, 0, parameterId), s, value, 1);
}

void StateUtil::triggerPart(EditModeHost* ctl, int32_t step) {
  RadioButtonMediator* parts = ctl->partButtonMediator();
  Synth* synth = ctl->synth();
  const int32_t current = static_cast<int32_t>(ctl->currentPart());
  for (int32_t part = 0; part < kNumParts; ++part) {
    if (!synth->step(part, step)) continue;
    if (part != current) {
      parts->setButtonActive(part, true);
    } else {
      parts->deselectButton();
    }
  }
}

void StateUtil::removeTriggerSign(EditModeHost* ctl) { ctl->partButtonMediator()->setButtonDeactiveAll(); }

void StateUtil::joinFxSendButtonIntoPartButtons(EditModeHost* ctl) {
  TIButton* b = ctl->effectSendButton();
  if (!b) return;
  ctl->partButtonMediator()->appendButton(shared(b), kFxSendPartKey);
  ctl->removeFunctionAction(b);
  ctl->installPartAction(b);
  b->setTag(kFxSendPartKey);
}

void StateUtil::joinAccentButtonIntoPartButtons(EditModeHost* ctl) {
  TIButton* b = ctl->accentButton();
  if (!b) return;
  ctl->partButtonMediator()->appendButton(shared(b), kAccentPartKey);
  ctl->removeFunctionAction(b);
  ctl->installPartAction(b);
  b->setTag(kAccentPartKey);
}

void StateUtil::joinFunctionButtonsIntoPartButtons(EditModeHost* ctl) {
  joinFxSendButtonIntoPartButtons(ctl);
  joinAccentButtonIntoPartButtons(ctl);
}

void StateUtil::resignFxSendButtonIntoPartButtons(EditModeHost* ctl) {
  TIButton* b = ctl->effectSendButton();
  if (!b) return;
  ctl->partButtonMediator()->removeButtonForKey(kFxSendPartKey);
  ctl->removePartAction(b);
  ctl->installFunctionAction(b);
  b->setTag(4);
}

void StateUtil::resignAccentButtonIntoPartButtons(EditModeHost* ctl) {
  TIButton* b = ctl->accentButton();
  if (!b) return;
  ctl->partButtonMediator()->removeButtonForKey(kAccentPartKey);
  ctl->removePartAction(b);
  ctl->installFunctionAction(b);
  b->setTag(0);
}

void StateUtil::resignFunctionButtonsIntoPartButtons(EditModeHost* ctl) {
  resignFxSendButtonIntoPartButtons(ctl);
  resignAccentButtonIntoPartButtons(ctl);
}

void StateUtil::makeMasterButtons(EditModeHost* ctl, bool enabled) {
  if (TIButton* b = ctl->accentButton()) b->setEnabled(enabled);
  if (TIButton* b = ctl->effectSendButton()) b->setEnabled(enabled);
}
