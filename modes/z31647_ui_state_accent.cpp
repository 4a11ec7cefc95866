#include "modes/z31647_ui_state_accent.h"

#include "controls/lcd_manager.h"
#include "controls/radio_button_mediator.h"
#include "controls/ti_button.h"
#include "controls/ti_led_view.h"
#include "controls/ti_seq_view.h"
#include "controls/ui_slider_button.h"
#include "engine/record/param_id.h"
#include "engine/synth/synth.h"
#include "modes/mode_values.h"
#include "modes/state_util.h"

namespace {

constexpr int64_t kLedRed = 2;

// Accent parameters of the engine.
constexpr int32_t kAccentLevel = 0;
constexpr int32_t kAccentMotion = 1;

bool isPart(int32_t part) { return part >= 0 && part < kNumParts; }

const seqParams& sequence(EditModeHost* ctl) { return ctl->synth()->currentPattern()->sequencerParams; }

void setEnabled(TIControl* c, bool on) {
  if (c) c->setEnabled(on);
}

// The synth controls that have no accent meaning, and the effect knobs.
void enableOthers(EditModeHost* ctl, bool on) {
  for (TIControl* c : {static_cast<TIControl*>(ctl->synthPitchKnob()), static_cast<TIControl*>(ctl->synthModDepthKnob()),
                       static_cast<TIControl*>(ctl->synthModSpeedKnob()), static_cast<TIControl*>(ctl->synthDecayKnob()),
                       static_cast<TIControl*>(ctl->synthPanKnob()), static_cast<TIControl*>(ctl->synthLowBoostKnob()),
                       static_cast<TIControl*>(ctl->synthWaveButton()),
                       static_cast<TIControl*>(ctl->synthModTypeButton())}) {
    setEnabled(c, on);
  }
}

void enableEffects(EditModeHost* ctl, bool on) {
  setEnabled(ctl->synthFxTypeKnob(), on);
  setEnabled(ctl->synthFxEdit1Knob(), on);
  setEnabled(ctl->synthFxEdit2Knob(), on);
}

}  // namespace

void Z31647UiStateAccent::originalSign(EditModeHost* ctl, bool equal) {
  ctl->lcdManager()->setOriginalValue(equal);
  ctl->setIsOriginalValue(equal);
  ctl->updateOriginalValueLed();
}

void Z31647UiStateAccent::stateChanged(EditModeHost* ctl) {
  openTipsView(ctl, platform::Rect{427, 495, 585, 182}, "Tap the part buttons to turn the accent on/off for each part.");
  openSubTipsView(ctl, platform::Rect{24, 614, 987, 182},
                  "Tap the step buttons to turn the accents on/off for each step for all the parts where accents are "
                  "turned on.");
  refreshSeqView(ctl);
  refreshSynthView(ctl);
  refreshEffectView(ctl);
  refreshPartView(ctl);
  ctl->lcdManager()->setShowsCurrentPart(false);
  if (TIButton* jump = ctl->stepJumpButton(); jump && jump->isActive()) jump->setButtonState(0);
}

void Z31647UiStateAccent::stateWillBeLeft(EditModeHost* ctl) {
  dismissTipsView(ctl);
  dismissSubTipsView(ctl);
  enableOthers(ctl, true);
  setEnabled(ctl->synthLevelKnob(), true);
  setEnabled(ctl->synthMotionSeqButton(), true);
  enableEffects(ctl, true);
  // The two shared controls show the current part's own values again.
  const int32_t part = static_cast<int32_t>(ctl->currentPart());
  if (isPart(part)) {
    const struct synthParams& row = ctl->synth()->currentPattern()->synthParams[part];
    ctl->updateSynthParameterDisplay(kLevel, row.level);
    ctl->updateSynthParameterDisplay(kMotionSeq, row.motionType);
  }
  ctl->lcdManager()->setShowsCurrentPart(true);
}

void Z31647UiStateAccent::refreshPartView(EditModeHost* ctl) {
  RadioButtonMediator* parts = ctl->partButtonMediator();
  const PatternRecord& r = *ctl->synth()->currentPattern();
  parts->deselectButton();
  for (int32_t part = 0; part < kNumParts; ++part) parts->setButtonActive(part, r.synthParams[part].accentStatus != 0);
  parts->setButtonsUndimmed();
}

void Z31647UiStateAccent::refreshSeqView(EditModeHost* ctl) {
  const seqParams& s = sequence(ctl);
  const int32_t page = static_cast<int32_t>(ctl->currentSeqPage());
  for (int32_t b = 0; b < 16; ++b) {
    const int32_t step = page * 16 + b;
    if (step < 0 || step >= kNumSteps) continue;
    ctl->setStep(step, s.accent[step] != 0);
  }
}

void Z31647UiStateAccent::refreshSynthView(EditModeHost* ctl) {
  enableOthers(ctl, false);
  setEnabled(ctl->synthLevelKnob(), true);
  setEnabled(ctl->synthMotionSeqButton(), true);
  const seqParams& s = sequence(ctl);
  ctl->updateSynthParameterDisplay(kLevel, s.accentLevel);
  ctl->updateSynthParameterDisplay(kMotionSeq, s.accentMotionType);
}

void Z31647UiStateAccent::refreshEffectView(EditModeHost* ctl) { enableEffects(ctl, false); }

void Z31647UiStateAccent::partButtonPushed(EditModeHost* ctl, int32_t part) {
  if (!isPart(part)) return;
  // The pattern's own switch decides which way it goes.
  const bool on = ctl->synth()->currentPattern()->synthParams[part].accentStatus == 0;
  ctl->synth()->setPartParameter(part, kAccent, on ? 1 : 0);
  ctl->partButtonMediator()->setButtonActive(part, on);
}

void Z31647UiStateAccent::seqButtonPushed(EditModeHost* ctl, TIButton* sender) {
  const bool on = !sender->isActive();
  const int32_t step = static_cast<int32_t>(ctl->seqView()->currentPage()) * 16 + static_cast<int32_t>(sender->tag());
  ctl->synth()->setAccentStep(step, on);
  sender->swapButtonState();
  sender->setNeedsDisplay();
}

void Z31647UiStateAccent::synthParameterValueChanged(EditModeHost* ctl, TIControl* sender) {
  const int32_t value = static_cast<int32_t>(sender->value());
  const int64_t tag = sender->tag();
  originalSign(ctl, ctl->isEqualAccentValue(value, static_cast<int32_t>(tag)));
  Synth* synth = ctl->synth();
  if (tag == kLevelTag) {
    synth->setAccentParameter(kAccentLevel, value);
    sender->setNeedsDisplay();
    ctl->displayValue("Accent Level", ctl->changeValueExpression(sender));
  } else if (tag == kMotionTag) {
    synth->setAccentParameter(kAccentMotion, value);
    sender->setNeedsDisplay();
    ctl->displayValue("Accent Motion", ctl->changeValueExpression(sender));
  } else {
    originalSign(ctl, false);
  }
}

void Z31647UiStateAccent::valueEditAboutToStart(EditModeHost* ctl, TIControl* sender) {
  Synth* synth = ctl->synth();
  const int32_t value = static_cast<int32_t>(sender->value());
  const int64_t tag = sender->tag();
  originalSign(ctl, ctl->isEqualAccentValue(value, static_cast<int32_t>(tag)));
  if (tag == kLevelTag) {
    synth->setAccentParameter(kAccentLevel, value);
    ctl->displayValue(ctl->changeNameExpression(sender), ctl->changeValueExpression(sender));
    ctl->lcdManager()->motionRecordingSignOn();
    if (synth->hasMotion(kParamAccentLevel)) synth->valueEditStarted(kParamAccentLevel);
    return;
  }
  if (tag == kMotionTag) {
    synth->setAccentParameter(kAccentMotion, value);
    ctl->displayValue(ctl->changeNameExpression(sender), ctl->changeValueExpression(sender));
    if (LedMediator* leds = ctl->ledMediatorMotionType()) leds->setLed(value, kLedRed);
    originalSign(ctl, ctl->isEqualAccentValue(value, static_cast<int32_t>(kMotionTag)));
    return;
  }
  ctl->displayValue(ctl->changeNameExpression(sender), ctl->changeValueExpression(sender));
  originalSign(ctl, false);
}

void Z31647UiStateAccent::valueEditFinished(EditModeHost* ctl, TIControl* sender) {
  ctl->setReadyToDisplayDefaultContent(true);
  if (sender->tag() != kLevelTag) return;
  Synth* synth = ctl->synth();
  ctl->lcdManager()->motionRecordingSignOff();
  if (synth->hasMotion(kParamAccentLevel)) synth->valueEditFinished(kParamAccentLevel);
}

void Z31647UiStateAccent::synthMotionRecording(EditModeHost* ctl) {
  if (ctl->recording() == 0) return;
  TIControl* level = ctl->getSynthParamController(kLevel);
  if (level && mode_values::touched(level)) {
    StateUtil::recordAccentMotion(ctl, kAccentLevel, static_cast<int32_t>(level->value()));
  }
  writeMidiSynthEvents(ctl);
}

void Z31647UiStateAccent::synthParameterChangedWhenStepChanged(EditModeHost* ctl, int32_t step) {
  const seqParams& s = sequence(ctl);
  if (s.accentMotionType == 0) return;
  TIControl* level = ctl->getSynthParamController(kLevel);
  if (!level || mode_values::touched(level)) return;
  bool trigger = false;
  int32_t value = 0;
  ctl->synth()->motionStep(kParamAccentLevel, step, &trigger, &value, nullptr);
  level->setValue(trigger ? value : s.accentLevel);
  level->setNeedsDisplay();
}

void Z31647UiStateAccent::synthParameterValueChangedFromMidi(EditModeHost* ctl, int32_t part, int32_t number,
                                                             int32_t value) {
  if (part == -1) {
    if (number == kAccentLevel) {
      ctl->updateSynthParameterDisplay(kLevel, mode_values::clampAccentValue(kAccentLevel, value));
    } else if (number == kAccentMotion) {
      ctl->updateSynthParameterDisplay(kMotionSeq, mode_values::clampAccentValue(kAccentMotion, value));
    }
    return;
  }
  if (isPart(part) && number == kAccent) ctl->partButtonMediator()->setButtonActive(part, value >= 1);
}

void Z31647UiStateAccent::partChangedFromMidi(EditModeHost* ctl, int32_t part) {
  // Nothing on the panel shows the current part in this mode; leaving the
  // mode draws it.
  ctl->setCurrentPart(static_cast<uint32_t>(part));
}
