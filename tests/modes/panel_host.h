#pragma once
// A main view controller for the edit modes' tests: a panel of real
// controls (step view, part buttons and their group, knobs, buttons, lamp
// rows, LCD manager) over a real engine that plays no audio, on an
// in-memory pattern library. It keeps what the modes ask of it that a test
// wants to look at (LCD messages, lit steps, redraw and switch requests).

#include <array>
#include <memory>
#include <string>
#include <vector>

#include "controls/lcd_manager.h"
#include "controls/radio_button_mediator.h"
#include "controls/ti_button.h"
#include "controls/ti_led_view.h"
#include "controls/ti_part_view.h"
#include "controls/ti_seq_view.h"
#include "controls/ui_slider_button.h"
#include "engine/provider/memory_data_provider.h"
#include "engine/record/param_tables.h"
#include "engine/synth/synth.h"
#include "modes/edit_mode_host.h"
#include "modes/ti_state_mediator.h"

class PanelHost : public EditModeHost {
 public:
  struct Message {
    std::string title, value;
    int64_t type;
  };

  PanelHost() {
    synth_ = Synth::getInstance(44100.0f);
    synth_->setDataProvider(&provider_);
    // Pattern 0 is the current one, four bars of 16 steps.
    synth_->changePatternSilently(0);
    render();
    synth_->setPatternLength(4);
    synth_->setLastStep(16);
    seqView_ = std::make_shared<TISeqView>(platform::Rect{0, 339, 2944, 75});
    partView_ = std::make_shared<TIPartView>();
    parts_ = std::make_shared<RadioButtonMediator>();
    for (int i = 0; i < 8; ++i) parts_->appendButton(partView_->partButtonAt(i), i);
    functions_ = std::make_shared<RadioButtonMediator>();
    for (auto& b : buttons_) b = std::make_shared<TIButton>();
    buttons_[kMute]->setTag(2);
    buttons_[kFxSend]->setTag(4);
    buttons_[kAccent]->setTag(0);
    buttons_[kSolo]->setTag(3);
    buttons_[kPatternSet]->setTag(5);
    for (int k : {kMute, kFxSend, kAccent, kPatternSet}) functions_->appendButton(buttons_[k], buttons_[k]->tag());
    record_ = std::make_shared<TIToggleButton>();
    static const int32_t tags[7] = {0, 2, 3, 5, 6, 7, 8};
    for (size_t i = 0; i < 7; ++i) {
      knobs_[i] = std::make_shared<UISliderButton>();
      knobs_[i]->setTag(tags[i]);
      knobs_[i]->setMaxValue(127);
    }
    for (size_t i = 0; i < 3; ++i) {
      fx_[i] = std::make_shared<UISliderButton>();
      fx_[i]->setTag(static_cast<int64_t>(i));
      fx_[i]->setMaxValue(i == 0 ? 7 : 127);
    }
    master_ = std::make_shared<UISliderButton>();
    master_->setMaxValue(127);
    for (auto* m : {&wave_, &modType_, &motion_}) *m = std::make_shared<UIMultipleStateButton>();
    wave_->setTag(1);
    modType_->setTag(4);
    motion_->setTag(9);
    wave_->setNumberOfStates(4);
    modType_->setNumberOfStates(6);
    motion_->setNumberOfStates(3);
    for (auto* row : {&ledSeq_, &ledCurrent_, &ledWave_, &ledMotion_, &ledModType_}) *row = std::make_shared<LedMediator>();
    for (int i = 0; i < 6; ++i) {
      leds_.push_back(std::make_shared<TILedView>());
      ledModType_->appendLed(leds_.back());
      if (i < 4) ledWave_->appendLed(leds_.back());
      if (i < 3) ledMotion_->appendLed(leds_.back());
      if (i < 4) ledSeq_->appendLed(leds_.back());
      if (i < 4) ledCurrent_->appendLed(leds_.back());
    }
    lcd_ = std::make_shared<LCDManager>();
  }
  ~PanelHost() override { Synth::destroyInstance(); }

  // Lets the engine's render side take what the interface posted (without
  // an output, posted commands and live triggers are due at once).
  void render(int32_t frames = 1024) {
    std::vector<int16_t> l(static_cast<size_t>(frames)), r(static_cast<size_t>(frames));
    int16_t* ch[2] = {l.data(), r.data()};
    synth_->render(nullptr, ch, frames);
  }

  Z31647State& mode() { return *mediator_.currentState(); }

  // ---- EditModeHost
  Synth* synth() const override { return synth_; }
  DataProvider* dataProvider() const override { return const_cast<MemoryDataProvider*>(&provider_); }
  uint32_t currentPart() const override { return synth_->currentPart(); }
  void setCurrentPart(uint32_t part) override { synth_->setCurrentPart(part); }
  uint32_t currentFx() const override { return 0; }
  uint32_t currentSeqPage() const override { return seqPage; }
  uint32_t currentStepTwice() const override { return stepTwice; }
  uint32_t recording() const override { return recording_; }
  void setRecording(uint32_t v) override { recording_ = v; }
  bool isOriginalValue() const override { return original_; }
  void setIsOriginalValue(bool v) override { original_ = v; }
  void setReadyToDisplayDefaultContent(bool v) override { readyForDefault = v; }
  TIStateMediator& stateMediator() override { return mediator_; }
  ImageManager* imageManager() const override { return nullptr; }
  TISeqView* seqView() const override { return seqView_.get(); }
  TIPartView* partView() const override { return partView_.get(); }
  RadioButtonMediator* partButtonMediator() const override { return parts_.get(); }
  RadioButtonMediator* utilButtonMediator() const override { return functions_.get(); }
  LCDManager* lcdManager() const override { return lcd_.get(); }
  LedMediator* ledMediatorSeq() const override { return ledSeq_.get(); }
  LedMediator* ledMediatorCurrent() const override { return ledCurrent_.get(); }
  LedMediator* ledMediatorWaveLeds() const override { return ledWave_.get(); }
  LedMediator* ledMediatorMotionType() const override { return ledMotion_.get(); }
  LedMediator* ledMediatorModType() const override { return ledModType_.get(); }
  UISliderButton* mainDial() const override { return nullptr; }
  UISliderButton* synthPitchKnob() const override { return knobs_[0].get(); }
  UISliderButton* synthModDepthKnob() const override { return knobs_[1].get(); }
  UISliderButton* synthModSpeedKnob() const override { return knobs_[2].get(); }
  UISliderButton* synthDecayKnob() const override { return knobs_[3].get(); }
  UISliderButton* synthLevelKnob() const override { return knobs_[4].get(); }
  UISliderButton* synthPanKnob() const override { return knobs_[5].get(); }
  UISliderButton* synthLowBoostKnob() const override { return knobs_[6].get(); }
  UISliderButton* synthFxTypeKnob() const override { return fx_[0].get(); }
  UISliderButton* synthFxEdit1Knob() const override { return fx_[1].get(); }
  UISliderButton* synthFxEdit2Knob() const override { return fx_[2].get(); }
  UISliderButton* masterVolumeKnob() const override { return master_.get(); }
  UIMultipleStateButton* synthWaveButton() const override { return wave_.get(); }
  UIMultipleStateButton* synthModTypeButton() const override { return modType_.get(); }
  UIMultipleStateButton* synthMotionSeqButton() const override { return motion_.get(); }
  TIButton* effectSendButton() const override { return buttons_[kFxSend].get(); }
  TIButton* crossButton() const override { return buttons_[kCross].get(); }
  TIButton* accentButton() const override { return buttons_[kAccent].get(); }
  TIButton* muteButton() const override { return buttons_[kMute].get(); }
  TIButton* soloButton() const override { return buttons_[kSolo].get(); }
  TIButton* tapTempoButton() const override { return buttons_[kTap].get(); }
  TIButton* patternSetButton() const override { return buttons_[kPatternSet].get(); }
  TIButton* ringButton() const override { return buttons_[kRing].get(); }
  TIButton* stepJumpButton() const override { return buttons_[kStepJump].get(); }
  TIButton* playButton() const override { return buttons_[kPlay].get(); }
  TIToggleButton* recordButton() const override { return record_.get(); }
  void reportEvent(const std::string& name) override { events.push_back(name); }
  void displayValue(const std::string& t, const std::string& v) override { displayValue(t, v, 1); }
  void displayValue(const std::string& t, const std::string& v, int64_t type) override {
    messages.push_back({t, v, type});
  }
  void displayDefaultContent() override { messages.push_back({"<default>", "", 0}); }
  void updateSynthParameterDisplay(int32_t index, int32_t value) override {
    synthDisplays.push_back({index, value});
    if (TIControl* c = getSynthParamController(index)) c->setValue(value);
  }
  void updateEffectParameterDisplay(int32_t index, int32_t value) override {
    if (UISliderButton* k = getEffectParamController(index)) k->setValue(value);
  }
  std::string changeNameExpression(const TIControl* c) const override { return "name" + std::to_string(c->tag()); }
  std::string changeValueExpression(const TIControl* c) const override { return std::to_string(c->value()); }
  bool isEqualValue(int32_t value, int32_t index, int32_t part) const override {
    return value == snapshot.synthParams[part][index];
  }
  bool isEqualFxValue(int32_t value, int32_t index) const override {
    return index == 0 && value == snapshot.effectParams[0].type;
  }
  bool isEqualAccentValue(int32_t, int32_t) const override { return false; }
  void updateOriginalValueLed() override { ++originalLedUpdates; }
  void copyPatternData() override { snapshot = *synth_->currentPattern(); }
  TIControl* getSynthParamController(int32_t index) const override {
    static const int slot[9] = {0, -1, 1, 2, -4, 3, 4, 5, 6};
    if (index < 0 || index > 8) return nullptr;
    if (index == 1) return wave_.get();
    if (index == 4) return modType_.get();
    return knobs_[static_cast<size_t>(slot[index])].get();
  }
  UISliderButton* getEffectParamController(int32_t index) const override {
    return index >= 0 && index < 3 ? fx_[static_cast<size_t>(index)].get() : nullptr;
  }
  void changeFunction(int64_t key) override {
    functionRequests.push_back(key);
    mediator_.changeState(this, key == -1 ? (mediator_.currentMode() ? 6 : 0) : static_cast<UiStateIndex>(key));
  }
  void refreshPartView() override { mode().refreshPartView(this); }
  void refreshSeqView() override { mode().refreshSeqView(this); }
  void refreshSynthView() override {
    ++synthRefreshes;
    mode().refreshSynthView(this);
  }
  void refreshEffectView() override {
    ++effectRefreshes;
    mode().refreshEffectView(this);
  }
  void setStep(int32_t step, bool active) override {
    litSteps.push_back({step, active});
    seqView_->getButton(step)->setButtonState(active ? 1 : 0);
  }
  void refreshPlayButton(bool playing) override { playRefreshes.push_back(playing); }
  void playButWaitUntilCurrentPatternFinished(bool) override {}
  void installFunctionAction(TIButton* b) override { functionActions.push_back(b); }
  void removeFunctionAction(TIButton* b) override { std::erase(functionActions, b); }
  void installPartAction(TIButton*) override {}
  void removePartAction(TIButton*) override {}

  enum { kFxSend, kCross, kAccent, kMute, kSolo, kTap, kPatternSet, kRing, kStepJump, kPlay, kButtons };

  uint32_t seqPage = 0;
  uint32_t stepTwice = 0;
  PatternRecord snapshot = PatternRecord::zeroed();
  std::vector<Message> messages;
  std::vector<std::string> events;
  std::vector<std::pair<int32_t, int32_t>> synthDisplays;
  std::vector<std::pair<int32_t, bool>> litSteps;
  std::vector<int64_t> functionRequests;
  std::vector<bool> playRefreshes;
  std::vector<TIButton*> functionActions;
  bool readyForDefault = false;
  int originalLedUpdates = 0;
  int synthRefreshes = 0;
  int effectRefreshes = 0;

 private:
  Synth* synth_;
  MemoryDataProvider provider_;
  Z31647UiStateMediator mediator_;
  std::shared_ptr<TISeqView> seqView_;
  std::shared_ptr<TIPartView> partView_;
  std::shared_ptr<RadioButtonMediator> parts_;
  std::shared_ptr<RadioButtonMediator> functions_;
  std::array<std::shared_ptr<TIButton>, kButtons> buttons_;
  std::shared_ptr<TIToggleButton> record_;
  std::array<std::shared_ptr<UISliderButton>, 7> knobs_;
  std::array<std::shared_ptr<UISliderButton>, 3> fx_;
  std::shared_ptr<UISliderButton> master_;
  std::shared_ptr<UIMultipleStateButton> wave_, modType_, motion_;
  std::shared_ptr<LedMediator> ledSeq_, ledCurrent_, ledWave_, ledMotion_, ledModType_;
  std::vector<std::shared_ptr<TILedView>> leds_;
  std::shared_ptr<LCDManager> lcd_;
  uint32_t recording_ = 0;
  bool original_ = false;
};
