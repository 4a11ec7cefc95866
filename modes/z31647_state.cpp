#include "modes/z31647_state.h"

#include <algorithm>

#include "controls/image_manager.h"
#include "controls/lcd_manager.h"
#include "controls/radio_button_mediator.h"
#include "controls/ti_button.h"
#include "controls/ti_led_view.h"
#include "controls/ti_seq_view.h"
#include "controls/ui_slider_button.h"
#include "engine/interfaces/data_provider.h"
#include "engine/record/param_id.h"
#include "engine/record/param_tables.h"
#include "engine/settings/global_settings.h"
#include "engine/synth/synth.h"
#include "modes/mode_values.h"
#include "modes/state_util.h"
#include "modes/ti_state_mediator.h"

using mode_values::clampAccentValue;
using mode_values::clampEffectValue;
using mode_values::clampPartValue;
using mode_values::touched;

namespace {

constexpr int64_t kLedRed = 2;
// The pending pattern blinks on the LCD.
constexpr int64_t kPendingChoice = 2;

const char* const kPartEvents[8] = {"Synth 1",      "Synth 2",    "Synth 3", "Synth 4",
                                    "HiHat Closed", "HiHat Open", "Cymbal",  "Clap Snare"};

bool isEffectKnob(EditModeHost* ctl, const TIControl* c) {
  return c && (c == ctl->synthFxTypeKnob() || c == ctl->synthFxEdit1Knob() || c == ctl->synthFxEdit2Knob());
}

bool playing(EditModeHost* ctl) { return ctl->synth()->isPlaying(); }

const PatternRecord& record(EditModeHost* ctl) { return *ctl->synth()->currentPattern(); }

void setImages(ImageManager* images, TIButton* b, ImageId normal, ImageId active, ImageId selected, ImageId pressed) {
  if (!b || !images) return;
  b->setImage(images->uiimage(normal), 0);
  b->setImage(images->uiimage(active), 1);
  b->setImage(images->uiimage(selected), 2);
  b->setHighlightedImage(images->uiimage(pressed));
  b->setNeedsDisplay();
}

}  // namespace

Z31647State::Z31647State() {
  synthEvent_.reserve(kSynthEventCapacity);
  fxEvent_.reserve(kFxEventCapacity);
}

// ---- tips: the hooks receive their texts and show nothing -------------------

void Z31647State::openSubTipsView(EditModeHost*, const platform::Rect&, const std::string&) {}
void Z31647State::openTipsView(EditModeHost*, const platform::Rect&, const std::string&) {}
void Z31647State::dismissTipsView(EditModeHost*) {}
void Z31647State::dismissSubTipsView(EditModeHost*) {}
void Z31647State::seqButtonReleased(EditModeHost*, TIButton*) {}
void Z31647State::modeWillBeLeft(EditModeHost*) {}
void Z31647State::modeChanged(EditModeHost*) {}
void Z31647State::muteButtonPushedAtPatternSet(EditModeHost*, TIButton*) {}
void Z31647State::fxSendButtonPushedAtPatternSet(EditModeHost*, TIButton*) {}
void Z31647State::patternSetPatternChangedFromMidi(EditModeHost*, uint32_t, uint32_t) {}
void Z31647State::dissolveViewControllerDidDismiss(void*) {}

// ---- mode hooks ---------------------------------------------------------------

void Z31647State::stateChanged(EditModeHost* ctl) {
  refreshPartView(ctl);
  refreshSeqView(ctl);
}

void Z31647State::stateWillBeLeft(EditModeHost* ctl) {
  dismissTipsView(ctl);
  if (RadioButtonMediator* parts = ctl->partButtonMediator()) parts->clearForcedActiveAll();
}

// ---- panel events --------------------------------------------------------------

void Z31647State::seqButtonPushed(EditModeHost* ctl, TIButton* sender) {
  const bool on = !sender->isActive();
  const int32_t page = static_cast<int32_t>(ctl->seqView()->currentPage());
  const int32_t step = page * 16 + static_cast<int32_t>(sender->tag());
  ctl->synth()->setStep(static_cast<int32_t>(ctl->currentPart()), step, on);
  sender->swapButtonState();
  sender->setNeedsDisplay();
}

void Z31647State::partButtonPushed(EditModeHost* ctl, int32_t part) {
  Synth* synth = ctl->synth();
  if (part != static_cast<int32_t>(ctl->currentPart())) {
    ctl->setCurrentPart(static_cast<uint32_t>(part));
    if (synth->soloMode()) synth->setPartSolo(part, true, true);
    ctl->refreshPartView();
    ctl->refreshSynthView();
    ctl->refreshSeqView();
    if (part >= 0 && part < 8) ctl->reportEvent(kPartEvents[part]);
  }
  const GlobalSettings* settings = globalSettings();
  const bool preview = settings && settings->get(GlobalSettings::kPreviewSounds) != 0;
  if (preview || ctl->recording() != 0) synth->triggerPartLive(static_cast<int32_t>(ctl->currentPart()));
  // Recording lands on the play position, also while stopped: there it is
  // the step the sequencer rests on, so a part can be put in step by step.
  if (ctl->recording() != 0) StateUtil::recordTrigger(ctl);
  ctl->partButtonMediator()->setForcedActive(part, true);
}

void Z31647State::partButtonReleased(EditModeHost* ctl, int32_t part) {
  ctl->partButtonMediator()->setForcedActive(part, false);
}

void Z31647State::synthParameterValueChanged(EditModeHost* ctl, TIControl* sender) {
  const int32_t value = static_cast<int32_t>(sender->value());
  const int32_t index = static_cast<int32_t>(sender->tag());
  const int32_t part = static_cast<int32_t>(ctl->currentPart());
  ctl->synth()->setPartParameter(part, index, value);
  sender->setNeedsDisplay();
  ctl->displayValue(ctl->changeNameExpression(sender), ctl->changeValueExpression(sender));
  const bool e = ctl->isEqualValue(value, index, part);
  ctl->lcdManager()->setOriginalValue(e);
  ctl->setIsOriginalValue(e);
  ctl->updateOriginalValueLed();
}

void Z31647State::effectParameterValueChanged(EditModeHost* ctl, TIControl* sender) {
  const int32_t value = static_cast<int32_t>(sender->value());
  const int32_t index = static_cast<int32_t>(sender->tag());
  ctl->synth()->setEffectParameter(0, index, value);
  sender->setNeedsDisplay();
  ctl->displayValue(ctl->changeNameExpression(sender), ctl->changeValueExpression(sender));
  const bool e = ctl->isEqualFxValue(value, index);
  ctl->lcdManager()->setOriginalValue(e);
  ctl->setIsOriginalValue(e);
  ctl->updateOriginalValueLed();
}

void Z31647State::valueEditAboutToStart(EditModeHost* ctl, TIControl* sender) {
  Synth* synth = ctl->synth();
  const int32_t index = static_cast<int32_t>(sender->tag());
  const int32_t value = static_cast<int32_t>(sender->value());
  ctl->displayValue(ctl->changeNameExpression(sender), ctl->changeValueExpression(sender));

  auto originalSign = [&](bool e) {
    ctl->lcdManager()->setOriginalValue(e);
    ctl->setIsOriginalValue(e);
    ctl->updateOriginalValueLed();
  };

  if (sender == ctl->masterVolumeKnob()) {
    originalSign(false);
    synth->setMasterParameter(index, value);
    return;
  }

  ParamId id;
  bool motionLamps = true;
  if (isEffectKnob(ctl, sender)) {
    originalSign(ctl->isEqualFxValue(value, index));
    const int32_t fx = static_cast<int32_t>(ctl->currentFx());
    id = makeParamId(kParamGroupEffect, fx, index);
    synth->setEffectParameter(fx, index, value);
  } else {
    const int32_t part = static_cast<int32_t>(ctl->currentPart());
    originalSign(ctl->isEqualValue(value, index, part));
    id = makeParamId(kParamGroupSynth, part, index);
    synth->setPartParameter(part, index, value);
    switch (index) {
      case kMotionSeq:
        if (value == 0) {
          ctl->refreshSynthView();
          ctl->refreshEffectView();
        }
        if (LedMediator* leds = ctl->ledMediatorMotionType()) leds->setLed(value, kLedRed);
        motionLamps = false;
        break;
      case kModType:
        if (LedMediator* leds = ctl->ledMediatorModType()) leds->setLed(value, kLedRed);
        break;
      case kWave:
        if (LedMediator* leds = ctl->ledMediatorWaveLeds()) leds->setLed(value, kLedRed);
        break;
      default: break;
    }
  }
  if (motionLamps && id >= 0 && index >= 0 && index <= 8) ctl->lcdManager()->motionRecordingSignOn();
  if (synth->hasMotion(id)) synth->valueEditStarted(id);
}

void Z31647State::valueEditFinished(EditModeHost* ctl, TIControl* sender) {
  Synth* synth = ctl->synth();
  ctl->setReadyToDisplayDefaultContent(true);
  if (sender == ctl->masterVolumeKnob()) {
    ctl->reportEvent("Master Volume");
    return;
  }
  const int32_t index = static_cast<int32_t>(sender->tag());
  const ParamId id = isEffectKnob(ctl, sender)
                         ? makeParamId(kParamGroupEffect, static_cast<int32_t>(ctl->currentFx()), index)
                         : makeParamId(kParamGroupSynth, static_cast<int32_t>(ctl->currentPart()), index);
  // The Motion Seq control never lit the motion-recording sign.
  if (id >= 0 && index >= 0 && index <= 8) ctl->lcdManager()->motionRecordingSignOff();
  if (synth->hasMotion(id)) synth->valueEditFinished(id);

  struct Row {
    const TIControl* control;
    const char* event;
  };
  const Row rows[] = {
      {ctl->synthPitchKnob(), "Osc Pitch"},        {ctl->synthModDepthKnob(), "Osc Mod Depth"},
      {ctl->synthModSpeedKnob(), "Osc Mod Speed"},  {ctl->synthDecayKnob(), "Amp Decay"},
      {ctl->synthLevelKnob(), "Amp Level"},        {ctl->synthPanKnob(), "Amp Pan"},
      {ctl->synthLowBoostKnob(), "Amp Low Boost"},  {ctl->synthFxTypeKnob(), "Effect Type"},
      {ctl->synthFxEdit1Knob(), "Effect Edit 1"},   {ctl->synthFxEdit2Knob(), "Effect Edit 2"},
      {ctl->synthWaveButton(), "Wave Type"},       {ctl->synthModTypeButton(), "Mod Type"},
      {ctl->synthMotionSeqButton(), "Motion Seq"},
  };
  for (const Row& r : rows) {
    if (r.control && r.control == sender) {
      ctl->reportEvent(r.event);
      break;
    }
  }
}

void Z31647State::crossButtonPushed(EditModeHost* ctl, TIButton* sender) {
  if (sender->isActive()) {
    ctl->synth()->setCrossRingMod(0);
  } else {
    ctl->synth()->setCrossRingMod(1);
    ctl->reportEvent("Cross Mod");
  }
  // Cross and ring exclude each other: both lamps follow the engine's mode,
  // so switching one on never leaves the other lit.
  refreshCrossRingButtons(ctl);
}

void Z31647State::ringButtonPushed(EditModeHost* ctl, TIButton* sender) {
  if (sender->isActive()) {
    ctl->synth()->setCrossRingMod(0);
  } else {
    ctl->synth()->setCrossRingMod(2);
    ctl->reportEvent("Ring Mod");
  }
  refreshCrossRingButtons(ctl);
}

void Z31647State::soloButtonPushed(EditModeHost* ctl, TIButton* sender) {
  Synth* synth = ctl->synth();
  if (sender->isActive()) {
    dismissTipsView(ctl);
    synth->setSoloMode(false);
    sender->setButtonState(0);
    refreshPartView(ctl);
    return;
  }
  openTipsView(ctl, platform::Rect{427, 495, 585, 182}, "Tap the part button you want to solo.");
  synth->setSoloMode(true);
  synth->setPartSolo(static_cast<int32_t>(ctl->currentPart()), true, true);
  sender->setButtonState(1);
  ctl->reportEvent("Solo");
  const UiStateIndex index = ctl->stateMediator().currentStateIndex();
  if (index == ui_state::kMute) {
    ctl->changeFunction(-1);
    return;
  }
  if (index == ui_state::kStepJump) {
    ctl->changeFunction(-1);
    if (TIButton* jump = ctl->stepJumpButton()) jump->setButtonState(0);
    return;
  }
  refreshPartView(ctl);
}

void Z31647State::changePattern(EditModeHost* ctl, int32_t number) {
  Synth* synth = ctl->synth();
  const int32_t accepted = synth->changePatternSilently(number);
  if (accepted == synth->currentPatternIndex()) {
    ctl->displayDefaultContent();
    return;
  }
  DataProvider* provider = ctl->dataProvider();
  const std::string label = provider ? provider->columnText(accepted, 0) : std::string();
  const std::string name = provider ? provider->columnText(accepted, 1) : std::string();
  ctl->displayValue(label, name, kPendingChoice);
}

void Z31647State::patternChanged(EditModeHost* ctl) {
  if (LedMediator* current = ctl->ledMediatorCurrent()) current->setLed(0, kLedRed);
  ctl->seqView()->setCurrentPage(0);
  ctl->changeFunction(-1);
  ctl->copyPatternData();
  ctl->displayDefaultContent();
  ctl->refreshPartView();
  ctl->refreshSeqView();
  ctl->refreshSynthView();
  ctl->refreshEffectView();
  if (UISliderButton* dial = ctl->mainDial()) dial->setValue(ctl->synth()->currentPatternIndex());
  if (TIButton* jump = ctl->stepJumpButton(); jump && jump->isActive()) jump->setButtonState(0);
}

void Z31647State::pushSeqView(EditModeHost* ctl, int32_t page) { ctl->seqView()->setCurrentPage(page); }

void Z31647State::shiftSeqView(EditModeHost* ctl, int32_t size) {
  ctl->seqView()->setCurrentPage(static_cast<int32_t>(ctl->seqView()->currentPage()) + size);
}

// ---- redraw ----------------------------------------------------------------------

void Z31647State::refreshCrossRingButtons(EditModeHost* ctl) {
  const int16_t mode = record(ctl).sequencerParams.crossRingMod;
  if (TIButton* cross = ctl->crossButton()) cross->setButtonState(mode == 1 ? 1 : 0);
  if (TIButton* ring = ctl->ringButton()) ring->setButtonState(mode == 2 ? 1 : 0);
}

void Z31647State::dimPartsByMute(EditModeHost* ctl) {
  RadioButtonMediator* parts = ctl->partButtonMediator();
  const PatternRecord& r = record(ctl);
  for (int32_t i = 0; i < kNumParts; ++i) parts->setButtonDimmed(i, r.synthParams[i].mute != 0);
}

void Z31647State::refreshPartView(EditModeHost* ctl) {
  RadioButtonMediator* parts = ctl->partButtonMediator();
  const int32_t current = static_cast<int32_t>(ctl->currentPart());
  parts->setButtonSelected(current, false);
  if (ctl->synth()->soloMode()) {
    for (int32_t i = 0; i < kNumParts; ++i) parts->setButtonDimmed(i, i != current);
  } else {
    dimPartsByMute(ctl);
  }
  parts->setButtonDeactiveAll();
  refreshCrossRingButtons(ctl);
}

void Z31647State::refreshSeqView(EditModeHost* ctl) {
  const int32_t page = static_cast<int32_t>(ctl->currentSeqPage());
  const int32_t part = static_cast<int32_t>(ctl->currentPart());
  const PatternRecord& r = record(ctl);
  for (int32_t b = 0; b < 16; ++b) {
    const int32_t step = page * 16 + b;
    if (step < 0 || step >= kNumSteps || part < 0 || part >= kNumParts) continue;
    ctl->setStep(step, r.sequencerParams.trigger[part][step] != 0);
  }
}

void Z31647State::refreshSynthView(EditModeHost* ctl) {
  const int32_t part = static_cast<int32_t>(ctl->currentPart());
  if (part < 0 || part >= kNumParts) return;
  const struct synthParams& row = record(ctl).synthParams[part];
  for (int32_t index = 0; index <= kMotionSeq; ++index) ctl->updateSynthParameterDisplay(index, row[index]);
}

void Z31647State::refreshEffectView(EditModeHost* ctl) {
  const fxParams& fx = record(ctl).effectParams[0];
  ctl->updateEffectParameterDisplay(0, fx.type);
  ctl->updateEffectParameterDisplay(1, fx.edit1);
  ctl->updateEffectParameterDisplay(2, fx.edit2);
}

// ---- play position -----------------------------------------------------------------

void Z31647State::seqButtonTriggeredOnWhenStepChanged(EditModeHost* ctl, int32_t step) {
  ctl->seqView()->setCurrentStep(step);
}

void Z31647State::seqButtonTriggeredOffWhenStepChanged(EditModeHost* ctl) { ctl->seqView()->clearSelection(); }

void Z31647State::pollingInSeqStop(EditModeHost* ctl) { ctl->seqView()->clearSelection(); }

void Z31647State::partButtonTriggeredOnWhenStepChanged(EditModeHost* ctl, int32_t step) {
  StateUtil::triggerPart(ctl, step);
}

void Z31647State::partButtonTriggeredOffWhenStepChanged(EditModeHost* ctl) {
  RadioButtonMediator* parts = ctl->partButtonMediator();
  parts->setButtonDeactiveAll();
  parts->setButtonSelected(static_cast<int32_t>(ctl->currentPart()), false);
}

void Z31647State::synthParameterChangedWhenStepChanged(EditModeHost* ctl, int32_t step) {
  Synth* synth = ctl->synth();
  const int32_t part = static_cast<int32_t>(ctl->currentPart());
  if (part < 0 || part >= kNumParts) return;
  const struct synthParams& row = record(ctl).synthParams[part];
  if (row.motionType == 0) return;
  for (int32_t i = 0; i <= 8; ++i) {
    TIControl* c = ctl->getSynthParamController(i);
    if (!c || touched(c)) continue;
    const int32_t tag = static_cast<int32_t>(c->tag());
    bool trigger = false;
    int32_t value = 0;
    synth->motionStep(makeParamId(kParamGroupSynth, part, tag), step, &trigger, &value, nullptr);
    c->setValue(trigger ? value : row[tag]);
    c->setNeedsDisplay();
  }
}

void Z31647State::effectParameterChangedWhenStepChanged(EditModeHost* ctl, int32_t step) {
  Synth* synth = ctl->synth();
  const int32_t fx = static_cast<int32_t>(ctl->currentFx());
  const fxParams& stored = record(ctl).effectParams[0];
  const int32_t fallback[3] = {stored.type, stored.edit1, stored.edit2};
  for (int32_t i = 0; i <= 2; ++i) {
    UISliderButton* c = ctl->getEffectParamController(i);
    if (!c || touched(c)) continue;
    const int32_t tag = static_cast<int32_t>(c->tag());
    if (tag < 0 || tag > 2) continue;
    bool trigger = false;
    int32_t value = 0;
    synth->motionStep(makeParamId(kParamGroupEffect, fx, tag), step, &trigger, &value, nullptr);
    c->setValue(trigger ? value : fallback[tag]);
    c->setNeedsDisplay();
  }
}

void Z31647State::synthMotionRecording(EditModeHost* ctl) {
  if (ctl->recording() == 0) return;
  for (int32_t i = 0; i <= 8; ++i) {
    TIControl* c = ctl->getSynthParamController(i);
    if (c && touched(c)) StateUtil::recordMotion(ctl, static_cast<int32_t>(c->tag()), static_cast<int32_t>(c->value()));
  }
  writeMidiSynthEvents(ctl);
}

void Z31647State::writeMidiSynthEvents(EditModeHost* ctl) {
  for (const MidiSynthParameterEvent& e : synthEvent_) {
    if (!e.active) continue;
    if (e.part == -1) {
      StateUtil::recordAccentMotionFromMidi(ctl, e.parameter, e.value);
    } else if (e.part >= 0 && e.part < kNumParts) {
      StateUtil::recordMotionFromMidi(ctl, e.part, e.parameter, e.value);
    }
  }
}

void Z31647State::effectMotionRecording(EditModeHost* ctl) {
  if (ctl->recording() == 0) return;
  for (int32_t i = 0; i <= 3; ++i) {
    UISliderButton* c = ctl->getEffectParamController(i);
    if (c && touched(c)) StateUtil::recordFxMotion(ctl, static_cast<int32_t>(c->tag()), static_cast<int32_t>(c->value()));
  }
  if (ctl->recording() == 0) return;
  for (const MidiSynthParameterEvent& e : fxEvent_) {
    if (e.active) StateUtil::recordFxMotionFromMidi(ctl, e.part, e.parameter, e.value);
  }
}

// ---- MIDI-originated events ------------------------------------------------------------

void Z31647State::synthNoteOnFromMidi(EditModeHost* ctl, int32_t part) {
  ctl->partButtonMediator()->setForcedActive(part, true);
}

void Z31647State::synthNoteOffFromMidi(EditModeHost* ctl, int32_t part) {
  ctl->partButtonMediator()->setForcedActive(part, false);
}

void Z31647State::synthNoteRecFromMidi(EditModeHost* ctl, int32_t part) {
  if (ctl->recording() != 0 && playing(ctl)) StateUtil::recordTriggerFromMidi(ctl, part);
}

void Z31647State::synthParameterValueChangedFromMidi(EditModeHost* ctl, int32_t part, int32_t number,
                                                      int32_t value) {
  if (part != static_cast<int32_t>(ctl->currentPart())) return;
  ctl->updateSynthParameterDisplay(number, clampPartValue(number, value));
}

void Z31647State::synthParameterMuteChangedFromMidi(EditModeHost* ctl, int32_t part, int32_t value) {
  Synth* synth = ctl->synth();
  if (synth->soloMode() || synth->isPartSolo(part)) return;
  ctl->partButtonMediator()->setButtonDimmed(part, value >= 1);
}

void Z31647State::rememberEvent(std::vector<MidiSynthParameterEvent>& list, size_t capacity, int32_t part,
                                int32_t parameter, int32_t value) {
  for (MidiSynthParameterEvent& e : list) {
    if (e.part == part && e.parameter == parameter) {
      e.active = 1;
      e.value = value;
      return;
    }
  }
  // Every (part, parameter) pair has at most one record, and the pairs MIDI
  // can name fit the reserve; past it nothing more is kept, so the tick's
  // work stays bounded and nothing is allocated after start-up.
  if (list.size() < capacity) list.push_back({1, part, parameter, value});
}

void Z31647State::synthParameterRecFromMidi(EditModeHost* ctl, int32_t part, int32_t number, int32_t value) {
  if (ctl->recording() == 0 || !playing(ctl)) return;
  // A parameter without a range has no motion slot of its own: recording it
  // would write into a neighbouring parameter's motion.
  int32_t v;
  if (part == -1) {
    if (number < 0 || number > 1) return;
    // The accent's own ranges: the part table would let "Accent Motion"
    // take a fourth kind that does not exist.
    v = clampAccentValue(number, value);
    StateUtil::recordAccentMotionFromMidi(ctl, number, v);
  } else {
    if (number < 0 || number >= kNumPartParams) return;
    v = clampPartValue(number, value);
    if (part >= 0 && part < kNumParts) StateUtil::recordMotionFromMidi(ctl, part, number, v);
  }
  rememberEvent(synthEvent_, kSynthEventCapacity, part, number, v);
}

void Z31647State::effecrParameterValueChangedFromMidi(EditModeHost* ctl, int32_t effect, int32_t number,
                                                       int32_t value) {
  if (effect != static_cast<int32_t>(ctl->currentFx())) return;
  ctl->updateEffectParameterDisplay(number, clampEffectValue(number, value));
}

void Z31647State::effecrParameterRecFromMidi(EditModeHost* ctl, int32_t effect, int32_t number, int32_t value) {
  if (ctl->recording() == 0 || !playing(ctl)) return;
  if (number < 0 || number > 2) return;
  const int32_t v = clampEffectValue(number, value);
  StateUtil::recordFxMotionFromMidi(ctl, effect, number, v);
  rememberEvent(fxEvent_, kFxEventCapacity, effect, number, v);
}

void Z31647State::partChangedFromMidi(EditModeHost* ctl, int32_t part) {
  if (part == static_cast<int32_t>(ctl->currentPart())) return;
  ctl->setCurrentPart(static_cast<uint32_t>(part));
  ctl->refreshPartView();
  ctl->refreshSynthView();
  ctl->refreshSeqView();
}

void Z31647State::crossModChangedFromMidi(EditModeHost* ctl, int32_t, bool) {
  // The engine has applied the change; the lamps show what it holds, so a
  // ring-modulation change lights the ring lamp, not the cross lamp.
  refreshCrossRingButtons(ctl);
}

void Z31647State::soloStateChangedFromMidi(EditModeHost* ctl, int32_t part) {
  RadioButtonMediator* parts = ctl->partButtonMediator();
  TIButton* solo = ctl->soloButton();
  if (part < 0 || part >= kNumParts) {
    if (solo) solo->setButtonState(0);
    dimPartsByMute(ctl);
    return;
  }
  if (solo) solo->setButtonState(1);
  for (int32_t i = 0; i < kNumParts; ++i) parts->setButtonDimmed(i, i != part);
  if (ctl->stateMediator().currentStateIndex() == ui_state::kMute) ctl->changeFunction(-1);
}

void Z31647State::recordingStatusChanged(EditModeHost* ctl, bool on) {
  ctl->setRecording(on ? 1 : 0);
  if (TIToggleButton* rec = ctl->recordButton()) rec->setOn(on);
  ctl->refreshPlayButton(playing(ctl));
  if (!on) {
    synthEvent_.clear();
    fxEvent_.clear();
  }
}

void Z31647State::seqReturnedToTheBeginning(EditModeHost*) {
  for (MidiSynthParameterEvent& e : synthEvent_) e.active = 0;
  for (MidiSynthParameterEvent& e : fxEvent_) e.active = 0;
}

// ---- the two layers ---------------------------------------------------------------------

void Z31647UiStateNormal::modeChanged(EditModeHost* ctl) {
  ImageManager* images = ctl->imageManager();
  RadioButtonMediator* functions = ctl->utilButtonMediator();
  setImages(images, ctl->muteButton(), 33, 34, 35, 39);
  setImages(images, ctl->soloButton(), 36, 37, 38, 40);
  setImages(images, ctl->tapTempoButton(), 336, 337, 337, 338);
  setImages(images, ctl->effectSendButton(), 345, 346, 346, 348);
  setImages(images, ctl->patternSetButton(), 339, 340, 340, 341);
  ctl->setFunctionCaption("NormalSilk.png");
  if (functions) functions->deselectButton();
  refreshCrossRingButtons(ctl);
  if (TIButton* solo = ctl->soloButton()) solo->setButtonState(ctl->synth()->soloMode() ? 1 : 0);
  Z31647State::modeChanged(ctl);
}

void Z31647UiStateShifted::modeChanged(EditModeHost* ctl) {
  ImageManager* images = ctl->imageManager();
  RadioButtonMediator* functions = ctl->utilButtonMediator();
  ctl->setRecording(0);
  if (TIToggleButton* rec = ctl->recordButton()) rec->setOn(false);
  if (TIButton* play = ctl->playButton()) play->enableBlink(false);
  ctl->setFunctionCaption("ShiftSilk.png");
  if (TIButton* solo = ctl->soloButton()) {
    solo->setButtonState(0);
    ctl->installFunctionAction(solo);
    if (functions) functions->appendButton(std::static_pointer_cast<TIButton>(solo->shared_from_this()), solo->tag());
  }
  setImages(images, ctl->muteButton(), 327, 328, 328, 329);
  setImages(images, ctl->soloButton(), 324, 325, 325, 326);
  setImages(images, ctl->effectSendButton(), 333, 334, 334, 335);
  setImages(images, ctl->patternSetButton(), 330, 331, 331, 332);
  if (functions) functions->deselectButton();
  Z31647State::modeChanged(ctl);
}

void Z31647UiStateShifted::modeWillBeLeft(EditModeHost* ctl) {
  RadioButtonMediator* functions = ctl->utilButtonMediator();
  if (functions) functions->deselectButton();
  if (TIButton* solo = ctl->soloButton()) {
    if (functions) functions->removeButtonForKey(solo->tag());
    // The solo button is the Clear motion function only in the shift layer;
    // left with that action, a solo press in the normal layer would also
    // leave the function mode in force.
    ctl->removeFunctionAction(solo);
  }
  Z31647State::modeWillBeLeft(ctl);
}

void Z31647UiStateShifted::stateChanged(EditModeHost* ctl) {
  Z31647State::stateChanged(ctl);
  if (TIButton* fx = ctl->effectSendButton()) fx->setEnabled(true);
  if (TIButton* jump = ctl->stepJumpButton(); jump && jump->isActive()) jump->setButtonState(0);
}

void Z31647UiStateShifted::stateWillBeLeft(EditModeHost* ctl) {
  Z31647State::stateWillBeLeft(ctl);
  if (TIButton* fx = ctl->effectSendButton()) fx->setEnabled(true);
}
