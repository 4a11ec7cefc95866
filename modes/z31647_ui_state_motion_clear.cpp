#include "modes/z31647_ui_state_motion_clear.h"

#include "controls/gbx_localized_message.h"
#include "controls/radio_button_mediator.h"
#include "controls/ti_button.h"
#include "controls/ui_slider_button.h"
#include "engine/synth/synth.h"
#include "modes/state_util.h"

namespace {

constexpr uint32_t kClearMotionMessage = 12;

bool isLentKey(uint64_t key) {
  return key == static_cast<uint64_t>(StateUtil::kFxSendPartKey) || key == static_cast<uint64_t>(StateUtil::kAccentPartKey);
}

// Whether the pattern has a motion sequence for `id` (the slot is in use).
bool slotInUse(EditModeHost* ctl, ParamId id) {
  if (id < 0 || id >= kNumParamIds) return false;
  return ctl->synth()->currentPattern()->motionParams[id].motionId >= 0;
}

void enable(TIControl* c, bool on) {
  if (c) c->setEnabled(on);
}

bool isTouched(const TIControl* c) {
  if (!c) return false;
  if (const auto* knob = dynamic_cast<const UISliderButton*>(c)) return knob->trackingNow() || knob->isTracking();
  return c->isTracking();
}

}  // namespace

void Z31647UiStateMotionClear::showTips(EditModeHost* ctl) {
  openTipsView(ctl, platform::Rect{197, 495, 810, 182}, "Tap the part, and then the knob where the motion sequence exists.");
}

void Z31647UiStateMotionClear::stateChanged(EditModeHost* ctl) {
  showTips(ctl);
  StateUtil::joinFunctionButtonsIntoPartButtons(ctl);
  RadioButtonMediator* parts = ctl->partButtonMediator();
  parts->setButtonDeactiveAll();
  parts->setButtonsReady();
  controller_ = ctl;
  parts->setButtonsUndimmed();
  StateUtil::makeMasterButtons(ctl, true);
  parts->setButtonSelected(static_cast<int32_t>(ctl->currentPart()), false);
  refreshSynthView(ctl);
  Z31647State::refreshSeqView(ctl);
  refreshEffectView(ctl);
  alertViewAppeared_ = false;
  pending_ = kNoParam;
}

void Z31647UiStateMotionClear::stateWillBeLeft(EditModeHost* ctl) {
  // A question left open would clear motion in the mode that follows.
  confirmation_.cancel();
  dismissTipsView(ctl);
  RadioButtonMediator* parts = ctl->partButtonMediator();
  parts->setButtonsReadyCancel();
  for (int32_t n = 0; n <= 8; ++n) {
    if (TIControl* c = ctl->getSynthParamController(n)) {
      c->setEnabled(true);
      c->setSelected(false);
    }
  }
  for (int32_t n = 0; n <= 3; ++n) {
    if (TIControl* c = ctl->getEffectParamController(n)) {
      c->setSelected(false);
      c->setEnabled(true);
    }
  }
  enable(ctl->synthMotionSeqButton(), true);
  if (isLentKey(parts->selected())) parts->setButtonSelected(static_cast<int32_t>(ctl->currentPart()), false);
  StateUtil::resignFunctionButtonsIntoPartButtons(ctl);
}

void Z31647UiStateMotionClear::refreshPartView(EditModeHost* ctl) {
  // The group's selection is what this mode shows the parameters of; a
  // redraw keeps it (the effect and accent keys included) instead of moving
  // it to the current part as the other modes do.
  RadioButtonMediator* parts = ctl->partButtonMediator();
  parts->setButtonDeactiveAll();
  parts->setButtonsUndimmed();
  const uint64_t selected = parts->selected();
  if (!isLentKey(selected) && selected != ctl->currentPart()) {
    parts->setButtonSelected(static_cast<int32_t>(ctl->currentPart()), false);
  }
}

void Z31647UiStateMotionClear::refreshSynthView(EditModeHost* ctl) {
  const uint64_t selected = ctl->partButtonMediator()->selected();
  TIControl* const named[] = {ctl->synthWaveButton(),     ctl->synthPitchKnob(),  ctl->synthModDepthKnob(),
                              ctl->synthModSpeedKnob(),   ctl->synthModTypeButton(), ctl->synthDecayKnob(),
                              ctl->synthPanKnob(),        ctl->synthLowBoostKnob()};
  if (selected == static_cast<uint64_t>(StateUtil::kAccentPartKey)) {
    for (TIControl* c : named) enable(c, false);
    enable(ctl->synthLevelKnob(), ctl->synth()->hasMotion(kParamAccentLevel));
  } else if (selected == static_cast<uint64_t>(StateUtil::kFxSendPartKey)) {
    for (TIControl* c : named) enable(c, false);
    enable(ctl->synthLevelKnob(), false);
  } else {
    Z31647State::refreshSynthView(ctl);
    const int32_t part = static_cast<int32_t>(ctl->currentPart());
    for (int32_t n = 0; n <= 8; ++n) {
      TIControl* c = ctl->getSynthParamController(n);
      if (!c) continue;
      c->setEnabled(slotInUse(ctl, makeParamId(kParamGroupSynth, part, static_cast<int32_t>(c->tag()))));
    }
  }
  enable(ctl->synthMotionSeqButton(), false);
}

void Z31647UiStateMotionClear::refreshEffectView(EditModeHost* ctl) {
  Z31647State::refreshEffectView(ctl);
  const int32_t fx = static_cast<int32_t>(ctl->currentFx());
  for (int32_t n = 0; n <= 3; ++n) {
    TIControl* c = ctl->getEffectParamController(n);
    if (!c) continue;
    c->setEnabled(slotInUse(ctl, makeParamId(kParamGroupEffect, fx, static_cast<int32_t>(c->tag()))));
  }
}

void Z31647UiStateMotionClear::choose(EditModeHost* ctl, int64_t key) {
  RadioButtonMediator* parts = ctl->partButtonMediator();
  if (parts->selected() == static_cast<uint64_t>(key)) return;
  parts->setButtonSelected(static_cast<int32_t>(key), false);
  if (!isLentKey(static_cast<uint64_t>(key))) ctl->setCurrentPart(static_cast<uint32_t>(key));
  refreshSynthView(ctl);
  refreshEffectView(ctl);
  Z31647State::refreshSeqView(ctl);
}

void Z31647UiStateMotionClear::partButtonPushed(EditModeHost* ctl, int32_t part) { choose(ctl, part); }

ParamId Z31647UiStateMotionClear::targetOf(EditModeHost* ctl, const TIControl* sender) const {
  if (!sender) return kNoParam;
  for (int32_t n = 0; n <= 3; ++n) {
    if (sender != ctl->getEffectParamController(n)) continue;
    const ParamId id = makeParamId(kParamGroupEffect, static_cast<int32_t>(ctl->currentFx()), static_cast<int32_t>(sender->tag()));
    return slotInUse(ctl, id) ? id : kNoParam;
  }
  const uint64_t selected = ctl->partButtonMediator()->selected();
  if (selected == static_cast<uint64_t>(StateUtil::kAccentPartKey)) {
    return sender == ctl->synthLevelKnob() && ctl->synth()->hasMotion(kParamAccentLevel) ? kParamAccentLevel : kNoParam;
  }
  if (selected == static_cast<uint64_t>(StateUtil::kFxSendPartKey)) return kNoParam;
  for (int32_t n = 0; n <= 8; ++n) {
    if (sender != ctl->getSynthParamController(n)) continue;
    const ParamId id =
        makeParamId(kParamGroupSynth, static_cast<int32_t>(ctl->currentPart()), static_cast<int32_t>(sender->tag()));
    return slotInUse(ctl, id) ? id : kNoParam;
  }
  return kNoParam;
}

void Z31647UiStateMotionClear::valueEditAboutToStart(EditModeHost* ctl, TIControl* sender) {
  // The master knob edits no motion: it keeps its meaning here.
  if (sender == ctl->masterVolumeKnob()) {
    Z31647UiStateShifted::valueEditAboutToStart(ctl, sender);
    return;
  }
  if (confirmation_.isOpen()) return;
  const ParamId id = targetOf(ctl, sender);
  // Only an offered control (one whose parameter has motion) asks.
  if (id == kNoParam) return;
  sender->setSelected(true);
  controller_ = ctl;
  pending_ = id;
  alertViewAppeared_ = true;
  confirmation_.ask("CLEAR MOTION", GBXLocalizedMessage::getText(kClearMotionMessage),
                    [this](bool ok) { alertViewDidDismiss(ok); });
}

void Z31647UiStateMotionClear::synthParameterValueChanged(EditModeHost* ctl, TIControl* sender) {
  // No sound parameter changes in this mode; the two multi-state buttons
  // choose their parameter like a touch on a knob.
  if (sender == ctl->synthWaveButton() || sender == ctl->synthModTypeButton()) valueEditAboutToStart(ctl, sender);
}

void Z31647UiStateMotionClear::valueEditFinished(EditModeHost* ctl, TIControl* sender) {
  if (sender == ctl->masterVolumeKnob()) {
    Z31647UiStateShifted::valueEditFinished(ctl, sender);
    return;
  }
  ctl->setReadyToDisplayDefaultContent(true);
}

void Z31647UiStateMotionClear::alertViewDidDismiss(bool ok) {
  EditModeHost* ctl = controller_;
  if (!ctl) return;
  const ParamId id = pending_;
  pending_ = kNoParam;
  if (ok) {
    ctl->synth()->clearMotion(id);
  } else {
    showTips(ctl);
  }
  for (int32_t n = 0; n <= 8; ++n)
    if (TIControl* c = ctl->getSynthParamController(n)) c->setSelected(false);
  for (int32_t n = 0; n <= 3; ++n)
    if (TIControl* c = ctl->getEffectParamController(n)) c->setSelected(false);
  // Redrawn after either answer: a multi-state button has already stepped
  // its value at the touch, which the engine never took.
  refreshSynthView(ctl);
  refreshEffectView(ctl);
  alertViewAppeared_ = false;
}

void Z31647UiStateMotionClear::synthParameterChangedWhenStepChanged(EditModeHost* ctl, int32_t step) {
  const uint64_t selected = ctl->partButtonMediator()->selected();
  if (selected == static_cast<uint64_t>(StateUtil::kFxSendPartKey)) return;
  if (selected == static_cast<uint64_t>(StateUtil::kAccentPartKey)) {
    const PatternRecord& r = *ctl->synth()->currentPattern();
    TIControl* level = ctl->getSynthParamController(kLevel);
    if (r.sequencerParams.accentMotionType == 0 || isTouched(level)) return;
    bool trigger = false;
    int32_t value = 0;
    ctl->synth()->motionStep(kParamAccentLevel, step, &trigger, &value, nullptr);
    ctl->updateSynthParameterDisplay(kLevel, trigger ? value : r.sequencerParams.accentLevel);
    return;
  }
  Z31647UiStateShifted::synthParameterChangedWhenStepChanged(ctl, step);
}

void Z31647UiStateMotionClear::partChangedFromMidi(EditModeHost* ctl, int32_t part) {
  if (alertViewAppeared_) return;
  if (part < 0 || part >= kNumParts || part == static_cast<int32_t>(ctl->currentPart())) return;
  // The part becomes current and the one whose parameters are shown.
  choose(ctl, part);
}
