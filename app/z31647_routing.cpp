// Event routing to the current edit mode, mode switching, the engine's
// editing notifications, value-editing support and the panel commands.

#include "app/gq_flurry.h"
#include "app/panel_logic.h"
#include "app/z31647_view_controller.h"
#include "controls/lcd_manager.h"
#include "controls/radio_button_mediator.h"
#include "controls/ti_button.h"
#include "controls/ti_led_view.h"
#include "controls/ti_seq_view.h"
#include "controls/ui_slider_button.h"
#include "engine/record/param_tables.h"
#include "engine/settings/global_settings.h"
#include "engine/synth/synth.h"
#include "library/backup/backup_creator.h"
#include "library/pattern_set_store.h"
#include "library/pattern_store.h"
#include "platform/ui/button.h"

namespace CE = platform::ControlEvents;

namespace {

constexpr int64_t kLedGreen = 1;
constexpr int64_t kLedRed = 2;

int32_t clampRow(const PanelParamRow& row, int32_t v) {
  if (v > row.max) return row.max;
  if (v < row.min) return row.min;
  return v;
}

struct FunctionCell {
  UiStateIndex mode;  // -1: nothing happens
  const char* event;  // nullptr: nothing reported
};

// The function-button index and the layer select the mode.
FunctionCell functionCell(uint64_t selected, int32_t layer) {
  static const FunctionCell normal[7] = {{ui_state::kAccent, gq_event::kAccent},
                                         {-1, nullptr},
                                         {ui_state::kMute, gq_event::kMute},
                                         {-1, nullptr},
                                         {ui_state::kEffect, gq_event::kEffectSwitch},
                                         {ui_state::kPatternSet, gq_event::kPatternSet},
                                         {-1, nullptr}};
  static const FunctionCell shift[7] = {{-1, nullptr},
                                        {-1, nullptr},
                                        {ui_state::kPartClear, gq_event::kClearPart},
                                        {ui_state::kMotionClear, gq_event::kClearMotion},
                                        {ui_state::kStepCopy, gq_event::kCopyStep},
                                        {ui_state::kMoveData, gq_event::kMoveData},
                                        {ui_state::kStepCopy, nullptr}};
  if (selected < 7) return layer == 0 ? normal[selected] : shift[selected];
  return {layer == 0 ? ui_state::kNormal : ui_state::kShifted, nullptr};
}

}  // namespace

// ---- forwarded panel actions ---------------------------------------------------------

void Z31647ViewController::setNote(TIButton* button) {
  if (synth_) stateMediator_->currentState()->seqButtonPushed(this, button);
}

void Z31647ViewController::seqButtonReleased(TIButton* button) {
  if (synth_) stateMediator_->currentState()->seqButtonReleased(this, button);
}

void Z31647ViewController::selectPart(TIButton* button) {
  if (synth_) stateMediator_->currentState()->partButtonPushed(this, static_cast<int32_t>(button->tag()));
}

void Z31647ViewController::partButtonReleased(TIButton* button) {
  if (synth_) stateMediator_->currentState()->partButtonReleased(this, static_cast<int32_t>(button->tag()));
}

void Z31647ViewController::setParameter(TIControl* control) {
  if (synth_) stateMediator_->currentState()->synthParameterValueChanged(this, control);
}

void Z31647ViewController::setFxParameter(TIControl* control) {
  if (synth_) stateMediator_->currentState()->effectParameterValueChanged(this, control);
}

void Z31647ViewController::seqPageButtonPushed(platform::Control* button) {
  if (synth_) stateMediator_->currentState()->shiftSeqView(this, static_cast<int32_t>(button->tag()));
}

void Z31647ViewController::changePattern(int32_t number) {
  if (synth_) stateMediator_->currentState()->changePattern(this, number);
}

void Z31647ViewController::refreshPartView() {
  if (synth_) stateMediator_->currentState()->refreshPartView(this);
}
void Z31647ViewController::refreshSeqView() {
  if (synth_) stateMediator_->currentState()->refreshSeqView(this);
}
void Z31647ViewController::refreshSynthView() {
  if (synth_) stateMediator_->currentState()->refreshSynthView(this);
}
void Z31647ViewController::refreshEffectView() {
  if (synth_) stateMediator_->currentState()->refreshEffectView(this);
}

// ---- mode switching -------------------------------------------------------------------

void Z31647ViewController::changeFunctionState(TIButton* button) { changeFunction(button->tag()); }

void Z31647ViewController::changeFunction(FunctionButtonIndex key) {
  utilButtonMediator_->setButtonSelected(static_cast<int32_t>(key), true);
  const FunctionCell cell = functionCell(utilButtonMediator_->selected(), stateMediator_->currentMode());
  if (cell.mode < 0) return;
  stateMediator_->changeState(this, cell.mode);
  if (cell.event) GQFlurry::sharedInstance().reportEvent(cell.event);
}

void Z31647ViewController::changeState(TIButton*) {
  const bool toShift = stateMediator_->currentMode() == 0;
  stateMediator_->changeState(this, toShift ? ui_state::kShifted : ui_state::kNormal);
  shiftButton_->setButtonState(toShift ? 1 : 0);
  if (!toShift && tempoButton_->isOn()) {
    tempoButton_->setOn(false);
    refreshMainDial();
    displayDefaultContent();
  }
  layoutLayer(toShift);
}

void Z31647ViewController::layoutLayer(bool shift) {
  // Each shift-layer button lies exactly over a normal-layer one.
  platform::View* normal[] = {tapTempoButton(), recordButton_.get(), programDecButton_.get(), programIncButton_.get(),
                              accentButton(),   crossButton()};
  platform::View* shifted[] = {tempoButton_.get(), loopButton_.get(), initializeButton_.get(),
                               saveButton_.get(),  flexButton_.get(), ringModButton_.get()};
  for (platform::View* v : normal) v->setHidden(shift);
  for (platform::View* v : shifted) v->setHidden(!shift);
}

void Z31647ViewController::setMasterParameter(TIControl* knob) {
  const int64_t tag = knob->tag();
  if (!synth_ || tag < 0 || tag > 1) return;
  const int32_t stored = synth_->setMasterParameter(static_cast<int32_t>(tag), static_cast<int32_t>(knob->value()));
  displayValue(kPanelMasterParams[tag].name, numberText(stored), kLCDMessageValue);
  knob->setNeedsDisplay();
}

void Z31647ViewController::setStep(int32_t step, bool active) {
  if (std::shared_ptr<TIButton> b = seqView_->getButton(step)) b->setButtonState(active ? 1 : 0);
}

// ---- engine notifications ---------------------------------------------------------------

void Z31647ViewController::patternChanged() {
  if (!synth_) return;
  tempoButton_->setOn(false);
  refreshMainDial();
  stateMediator_->currentState()->patternChanged(this);
}

void Z31647ViewController::synthTriggeredOn(int32_t part) {
  if (!synth_) return;
  stateMediator_->currentState()->synthNoteOnFromMidi(this, part);
  stateMediator_->currentState()->synthNoteRecFromMidi(this, part);
}

void Z31647ViewController::synthTriggeredOff(int32_t part) {
  if (synth_) stateMediator_->currentState()->synthNoteOffFromMidi(this, part);
}

void Z31647ViewController::synthParameterChangedFromMidi(int64_t parameterId, int32_t value) {
  if (!synth_ || parameterId < 0) return;
  const int64_t group = parameterId >> 16;
  const int32_t index = static_cast<int32_t>(parameterId & 0xFFFF);
  if (group >= 0 && group <= 7) {
    const int32_t part = static_cast<int32_t>(group);
    if (index == 10) {
      stateMediator_->currentState()->synthParameterMuteChangedFromMidi(this, part, value);
      return;
    }
    stateMediator_->currentState()->synthParameterValueChangedFromMidi(this, part, index, value);
    stateMediator_->currentState()->synthParameterRecFromMidi(this, part, index, value);
    if (index < 0 || index > 12) return;
    const int32_t w = clampRow(kPanelPartParams[index], value);
    displayValue(kPanelPartParams[index].name, partParameterText(part, index, w));
    originalValueSign(isEqualValue(w, index, part));
  } else if (group == 8) {
    stateMediator_->currentState()->synthParameterValueChangedFromMidi(this, -1, index, value);
    stateMediator_->currentState()->synthParameterRecFromMidi(this, -1, index, value);
  } else if (group == 9) {
    stateMediator_->currentState()->crossModChangedFromMidi(this, index, value != 0);
  } else if (group == 10) {
    if (index > 1) return;
    const int32_t w = clampRow(kPanelMasterParams[index], value);
    updateMasterParameterDisplay(index, w);
    displayValue(kPanelMasterParams[index].name, panel::threeDigits(w));
  } else if (group == 12) {
    stateMediator_->currentState()->effecrParameterValueChangedFromMidi(this, 0, index, value);
    stateMediator_->currentState()->effecrParameterRecFromMidi(this, 0, index, value);
    if (index > 2) return;
    const int32_t w = clampRow(kPanelEffectParams[index], value);
    if (UISliderButton* control = getEffectParamController(index)) {
      displayValue(changeNameExpression(control), changeValueExpression(control));
    }
    originalValueSign(isEqualFxValue(w, index));
  } else if (group == 13 && index == 2) {
    stateMediator_->currentState()->soloStateChangedFromMidi(this, value);
  }
}

void Z31647ViewController::originalValueSign(bool equal) {
  lcdManager_->setOriginalValue(equal);
  setIsOriginalValue(equal);
  updateOriginalValueLed();
}

void Z31647ViewController::recordingStatusChanged() {
  if (!synth_) return;
  const bool on = recordArmed() && recordButton_->isEnabled();
  stateMediator_->currentState()->recordingStatusChanged(this, on);
}

void Z31647ViewController::notifyPatternSetChangedFromMidi(uint32_t number) {
  if (!synth_) return;
  if (stateMediator_->currentStateIndex() != ui_state::kPatternSet) changeFunction(5);
  if (stateMediator_->currentStateIndex() == ui_state::kPatternSet) {
    stateMediator_->currentState()->patternSetPatternChangedFromMidi(this, number >> 16, number & 0xFFFF);
  }
  stateMediator_->currentState()->pushSeqView(this, static_cast<int32_t>(number >> 16));
}

void Z31647ViewController::notifyPatternChangedFromMidi(int32_t patternNumber) {
  if (!synth_) return;
  if (!tempoButton_->isOn()) {
    tempoButton_->setOn(false);
    refreshMainDial();
  }
  DataProvider* provider = dataProvider();
  displayValue(provider ? provider->columnText(patternNumber, 0) : std::string(),
               provider ? provider->columnText(patternNumber, 1) : std::string(), kLCDMessagePendingChoice);
}

void Z31647ViewController::currentPartChangedFromMidi(int32_t partNumber) {
  if (!synth_ || partNumber == static_cast<int32_t>(currentPart())) return;
  stateMediator_->currentState()->partChangedFromMidi(this, partNumber);
}

void Z31647ViewController::seqPageShiftedFromMidi(int32_t offset) {
  if (synth_) stateMediator_->currentState()->shiftSeqView(this, offset);
}

void Z31647ViewController::patternTagInfoDidUpdate() {
  if (!synth_) return;
  patternData_ = *synth_->currentPattern();
  displayDefaultContent();
}

void Z31647ViewController::seqReturnedToTheBeginning() {
  if (synth_) stateMediator_->currentState()->seqReturnedToTheBeginning(this);
}

void Z31647ViewController::randomizePurged() {
  refreshPartView();
  refreshSeqView();
  refreshSynthView();
  refreshEffectView();
}

void Z31647ViewController::synthButtonDoubleTapped(TIControl* control) {
  const int64_t tag = control->tag();
  if (tag < 0 || tag >= kNumPartParams) return;
  const int32_t stored = patternData_.synthParams[currentPart() % kNumParts][static_cast<int>(tag)];
  if (synth_) synth_->setPartParameter(static_cast<int32_t>(currentPart()), static_cast<int32_t>(tag), stored);
  control->setValue(stored);
}

void Z31647ViewController::effectButtonDoubleTapped(TIControl* control) {
  const int64_t tag = control->tag();
  if (tag < 0 || tag > 3) return;
  const fxParams& fx = patternData_.effectParams[0];
  const int32_t values[4] = {fx.type, fx.edit1, fx.edit2, fx.trigger};
  if (synth_) synth_->setEffectParameter(static_cast<int32_t>(currentFx_), static_cast<int32_t>(tag), values[tag]);
  control->setValue(values[tag]);
}

void Z31647ViewController::mainDialValueWillChange(UISliderButton*) {
  if (lcdManager_->currentMessageType() != kLCDMessageNotice) return;
  tempoButton_->setOn(true);
  refreshMainDial();
  displayTempo();
}

void Z31647ViewController::jumpSeqPage(TIControl* control) {
  if (synth_) stateMediator_->currentState()->pushSeqView(this, static_cast<int32_t>(control->tag()));
}

void Z31647ViewController::jumpSeqPageRelative(TIControl* control) {
  if (synth_) stateMediator_->currentState()->shiftSeqView(this, static_cast<int32_t>(control->tag()));
}

void Z31647ViewController::stopPattern() { stopButtonDown(nullptr); }

// ---- value editing support ---------------------------------------------------------------

void Z31647ViewController::valueEditAboutToStart(TIControl* control) {
  if (synth_) stateMediator_->currentState()->valueEditAboutToStart(this, control);
}

void Z31647ViewController::valueEditFinished(TIControl* control) {
  if (synth_) stateMediator_->currentState()->valueEditFinished(this, control);
}

void Z31647ViewController::copyPatternData() {
  if (synth_) patternData_ = *synth_->currentPattern();
}

bool Z31647ViewController::isEqualValue(int32_t value, int32_t index, int32_t part) const {
  if (part < 0 || part >= kNumParts || index < 0 || index >= kNumPartParams) return false;
  return value == patternData_.synthParams[part][index];
}

bool Z31647ViewController::isEqualFxValue(int32_t value, int32_t index) const {
  const fxParams& fx = patternData_.effectParams[0];
  switch (index) {
    case 0: return value == fx.type;
    case 1: return value == fx.edit1;
    case 2: return value == fx.edit2;
    case 3: return value == fx.trigger;
    default: return false;
  }
}

bool Z31647ViewController::isEqualAccentValue(int32_t value, int32_t index) const {
  if (index == 6) return value == patternData_.sequencerParams.accentLevel;
  if (index == 9) return value == patternData_.sequencerParams.accentMotionType;
  return false;
}

void Z31647ViewController::updateOriginalValueLed() { originalValueLed_->setLedState(isOriginalValue_ ? 2 : 0); }

std::string Z31647ViewController::changeNameExpression(const TIControl* control) const {
  const int64_t type = synthFxTypeKnob() ? synthFxTypeKnob()->value() : 0;
  if (control == synthFxEdit1Knob()) return panel::effectEditLabels(type).edit1;
  if (control == synthFxEdit2Knob()) return panel::effectEditLabels(type).edit2;
  return control ? control->name() : std::string();
}

std::string Z31647ViewController::changeValueExpression(const TIControl* control) const {
  if (!control) return {};
  const int32_t v = static_cast<int32_t>(control->value());
  const int32_t part = static_cast<int32_t>(currentPart());
  if (control == synthFxTypeKnob()) return effectParameterText(0, 0, v);
  if (control == synthFxEdit1Knob()) return effectParameterText(0, 1, v);
  if (control == synthFxEdit2Knob()) return effectParameterText(0, 2, v);
  if (control == synthWaveButton()) return partParameterText(part, kWave, v);
  if (control == synthModTypeButton()) return partParameterText(part, kModType, v);
  if (control == synthMotionSeqButton()) return partParameterText(part, kMotionSeq, v);
  if (control == synthModDepthKnob()) return partParameterText(part, kModDepth, v);
  if (control == synthPanKnob()) return partParameterText(part, kPan, v);
  return panel::threeDigits(v);
}

TIButton* Z31647ViewController::getPartButton(int32_t part) const {
  if (part < 0 || part >= kNumParts) return nullptr;
  return partButtons_[static_cast<size_t>(part)].get();
}

TIControl* Z31647ViewController::getSynthParamController(int32_t index) const {
  switch (index) {
    case 0: return synthKnobs_[0].get();
    case 1: return synthWaveButton_.get();
    case 2: return synthKnobs_[1].get();
    case 3: return synthKnobs_[2].get();
    case 4: return synthModTypeButton_.get();
    case 5: return synthKnobs_[3].get();
    case 6: return synthKnobs_[4].get();
    case 7: return synthKnobs_[5].get();
    case 8: return synthKnobs_[6].get();
    default: return nullptr;
  }
}

UISliderButton* Z31647ViewController::getEffectParamController(int32_t index) const {
  if (index < 0 || index > 2) return nullptr;
  return effectKnobs_[static_cast<size_t>(index)].get();
}

void Z31647ViewController::patternStored(int32_t patternNumber) {
  if (synth_ && patternNumber == synth_->currentPatternIndex()) synth_->reloadPattern();
}

void Z31647ViewController::patternTagStored(int32_t patternNumber) {
  if (synth_ && patternNumber == synth_->currentPatternIndex()) synth_->patternTagStored();
}

void Z31647ViewController::patternOrderChanged(int32_t /*from*/, int32_t /*to*/) {
  if (!synth_) return;
  // The store has renumbered the engine's playing record and its waiting
  // change already (it tells the engine first); the dial follows.
  const int32_t q = synth_->pendingPattern();
  mainDial_->setValue(q);
  changePattern(q);
}

// ---- panel commands ---------------------------------------------------------------------

void Z31647ViewController::doCross(TIButton* sender) {
  if (synth_) stateMediator_->currentState()->crossButtonPushed(this, sender);
}
void Z31647ViewController::doSolo(TIButton* sender) {
  if (synth_) stateMediator_->currentState()->soloButtonPushed(this, sender);
}
void Z31647ViewController::doRing(TIButton* sender) {
  if (synth_) stateMediator_->currentState()->ringButtonPushed(this, sender);
}
void Z31647ViewController::doPatternSetMute(TIButton* sender) {
  if (synth_) stateMediator_->currentState()->muteButtonPushedAtPatternSet(this, sender);
}
void Z31647ViewController::doPatternSetFxSend(TIButton* sender) {
  if (synth_) stateMediator_->currentState()->fxSendButtonPushedAtPatternSet(this, sender);
}

void Z31647ViewController::seqPageChanged() {
  currentSeqPage_ = static_cast<uint32_t>(seqView_->currentPage());
  refreshSeqView();
  ledMediatorCurrent_->setLed(static_cast<int32_t>(currentSeqPage_), kLedRed);
}

void Z31647ViewController::stepChanged() {
  if (!synth_ || !synth_->isPlaying()) return;
  const int32_t step = static_cast<int32_t>(currentStepTwice_ >> 1);
  ledMediatorSeq_->setLed(step / 16, kLedGreen);
  // The mode is asked anew for each call: one of them may switch modes.
  stateMediator_->currentState()->seqButtonTriggeredOnWhenStepChanged(this, step);
  stateMediator_->currentState()->partButtonTriggeredOnWhenStepChanged(this, step);
  stateMediator_->currentState()->synthParameterChangedWhenStepChanged(this, step);
  stateMediator_->currentState()->effectParameterChangedWhenStepChanged(this, step);
}

void Z31647ViewController::stepJumpButtonPushed(TIButton* button) {
  if (!synth_) return;
  if (button->isActive()) {
    button->setButtonState(0);
    stateMediator_->changeState(this, ui_state::kNormal);
    return;
  }
  button->setButtonState(1);
  const UiStateIndex i = stateMediator_->currentStateIndex();
  if (i == ui_state::kMute || i == ui_state::kEffect || i == ui_state::kPatternSet || i == ui_state::kAccent) {
    changeFunction(-1);
  }
  if (soloButton()->buttonState() == 1) {
    synth_->setSoloMode(false);
    soloButton()->setButtonState(0);
  }
  stateMediator_->changeState(this, ui_state::kStepJump);
}

void Z31647ViewController::initializeButtonPushed() {
  GQFlurry::sharedInstance().reportEvent(gq_event::kInit);
  if (synth_) synth_->initializePattern();
}

void Z31647ViewController::programButtonPushed(platform::Control* sender) {
  if (!synth_) return;
  const int32_t p = synth_->currentPatternIndex();
  DataProvider* provider = dataProvider();
  const int32_t count = provider ? provider->numberOfPatterns() : 0;
  if (sender == programIncButton_.get()) {
    if (p == count - 1) return;
    changePattern(p + 1);
  } else if (sender == programDecButton_.get() && p != 0) {
    changePattern(p - 1);
  } else {
    return;
  }
  if (synth_->isPlaying()) startSeq();
}

void Z31647ViewController::changeTempoLock(bool on) {
  if (GlobalSettings* g = globalSettings()) {
    g->set(GlobalSettings::kTempoLock, on ? 1 : 0);
    displayValue(GlobalSettings::name(GlobalSettings::kTempoLock), g->valueText(GlobalSettings::kTempoLock));
  }
}

void Z31647ViewController::changeKnobMode(int64_t mode) {
  if (GlobalSettings* g = globalSettings()) {
    g->set(GlobalSettings::kKnobMode, static_cast<int32_t>(mode));
    displayValue(GlobalSettings::name(GlobalSettings::kKnobMode), g->valueText(GlobalSettings::kKnobMode));
  }
}

void Z31647ViewController::changeGridMode(int64_t mode) {
  if (GlobalSettings* g = globalSettings()) {
    g->set(GlobalSettings::kPatternChangeGrid, static_cast<int32_t>(mode));
    displayValue(GlobalSettings::name(GlobalSettings::kPatternChangeGrid),
                 g->valueText(GlobalSettings::kPatternChangeGrid));
  }
}

void Z31647ViewController::changeBackgroundAudioSwitch(bool on) {
  if (GlobalSettings* g = globalSettings()) g->set(GlobalSettings::kBackgroundAudioEnabled, on ? 1 : 0);
}

void Z31647ViewController::initializeAllPattern() {
  stopButtonDown(nullptr);
  Z31647PatternStore::getInstance().installFactoryPatterns();
  PatternSetStore::sharedInstance().loadFromPath(PatternSetStore::patternSetInitialDataPath());
  if (!synth_) return;
  if (synth_->currentPatternIndex() == 0) {
    synth_->reloadPattern();
  } else {
    changePattern(0);
  }
}

void Z31647ViewController::reloadPattern() {
  stopButtonDown(nullptr);
  Z31647PatternStore::getInstance().load();
  if (std::optional<std::filesystem::path> path = PatternSetStore::patternSetDataPath()) {
    PatternSetStore::sharedInstance().loadFromPath(*path);
  }
  BackupRestorer::libraryReloaded();
  if (!synth_) return;
  if (synth_->currentPatternIndex() == 0) {
    synth_->reloadPattern();
  } else {
    changePattern(0);
  }
}

void Z31647ViewController::setRecording(uint32_t value) {
  recording_ = value;
  lcdManager_->setRecording(value != 0);
  // The engine's record-armed flag (the controllers' Rec lamp) and the
  // sequencer's recording flag, both read from other threads.
  if (synth_) synth_->setRecordArmed(recording_ != 0);
}

// ---- lending buttons --------------------------------------------------------------------------

void Z31647ViewController::installFunctionAction(TIButton* button) {
  button->addTarget(this, "changeFunctionState:", [this](platform::Control& c) { changeFunctionState(static_cast<TIButton*>(&c)); },
                    CE::TouchDown);
}

void Z31647ViewController::removeFunctionAction(TIButton* button) {
  button->removeTarget(this, "changeFunctionState:", CE::TouchDown);
}

void Z31647ViewController::installPartAction(TIButton* button) {
  button->addTarget(this, "selectPart:", [this](platform::Control& c) { selectPart(static_cast<TIButton*>(&c)); },
                    CE::TouchDown);
}

void Z31647ViewController::removePartAction(TIButton* button) {
  button->removeTarget(this, "selectPart:", CE::TouchDown);
}
