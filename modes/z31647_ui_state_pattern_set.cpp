#include "modes/z31647_ui_state_pattern_set.h"

#include <memory>

#include "controls/gbx_localized_message.h"
#include "controls/radio_button_mediator.h"
#include "controls/ti_button.h"
#include "controls/ti_led_view.h"
#include "controls/ti_seq_view.h"
#include "controls/ui_slider_button.h"
#include "engine/interfaces/data_provider.h"
#include "engine/synth/synth.h"
#include "library/pattern_set_store.h"
#include "modes/ti_state_mediator.h"
#include "platform/ui/control.h"

namespace {

constexpr int64_t kMuteKey = 2;
constexpr int64_t kFxSendKey = 4;
constexpr int64_t kLedGreen = 1;
constexpr const char* kMuteAction = "doPatternSetMute:";
constexpr const char* kFxSendAction = "doPatternSetFxSend:";

std::shared_ptr<TIButton> shared(TIButton* b) { return std::static_pointer_cast<TIButton>(b->shared_from_this()); }

void setOff(TIButton* b) {
  if (!b) return;
  b->setButtonState(0);
  b->setButtonPossibilityState(0);
}

}  // namespace

Z31647UiStatePatternSet::~Z31647UiStatePatternSet() {
  // Buttons still carrying this mode's actions must not call into it.
  if (auto b = lentMute_.lock()) b->removeTarget(this, kMuteAction, platform::ControlEvents::TouchDown);
  if (auto b = lentFxSend_.lock()) b->removeTarget(this, kFxSendAction, platform::ControlEvents::TouchDown);
}

void Z31647UiStatePatternSet::lendButtons(EditModeHost* ctl) {
  RadioButtonMediator* functions = ctl->utilButtonMediator();
  // Each press goes to the mode current at that moment, as every panel
  // action does.
  auto forward = [this](bool mute) {
    return [this, mute](platform::Control& c) {
      EditModeHost* host = controller_;
      if (!host || !host->synth()) return;
      Z31647State* mode = host->stateMediator().currentState();
      if (!mode) return;
      auto* button = static_cast<TIButton*>(&c);
      if (mute) {
        mode->muteButtonPushedAtPatternSet(host, button);
      } else {
        mode->fxSendButtonPushedAtPatternSet(host, button);
      }
    };
  };
  if (TIButton* mute = ctl->muteButton()) {
    ctl->removeFunctionAction(mute);
    mute->addTarget(this, kMuteAction, forward(true), platform::ControlEvents::TouchDown);
    if (functions) functions->removeButtonForKey(kMuteKey);
    lentMute_ = shared(mute);
  }
  if (TIButton* fx = ctl->effectSendButton()) {
    ctl->removeFunctionAction(fx);
    fx->addTarget(this, kFxSendAction, forward(false), platform::ControlEvents::TouchDown);
    if (functions) functions->removeButtonForKey(kFxSendKey);
    lentFxSend_ = shared(fx);
  }
}

void Z31647UiStatePatternSet::giveButtonsBack(EditModeHost* ctl) {
  RadioButtonMediator* functions = ctl->utilButtonMediator();
  if (TIButton* mute = ctl->muteButton()) {
    mute->removeTarget(this, kMuteAction, platform::ControlEvents::TouchDown);
    ctl->installFunctionAction(mute);
    if (functions) functions->appendButton(shared(mute), kMuteKey);
  }
  if (TIButton* fx = ctl->effectSendButton()) {
    fx->removeTarget(this, kFxSendAction, platform::ControlEvents::TouchDown);
    ctl->installFunctionAction(fx);
    if (functions) functions->appendButton(shared(fx), kFxSendKey);
  }
  lentMute_.reset();
  lentFxSend_.reset();
}

void Z31647UiStatePatternSet::stateChanged(EditModeHost* ctl) {
  controller_ = ctl;
  lendButtons(ctl);
  patternSetMute_ = 0xFF;
  currentMode_ = kPartSelect;
  if (TIButton* jump = ctl->stepJumpButton(); jump && jump->buttonState() == 1) jump->setButtonState(0);
  if (TIButton* accent = ctl->accentButton()) accent->setEnabled(false);
  if (TIButton* fx = ctl->effectSendButton()) fx->setEnabled(true);
  patternIndex_ = -1;
  refreshSeqView(ctl);
  refreshPartView(ctl);
  ctl->synth()->setPatternSetMode(true);
}

void Z31647UiStatePatternSet::stateWillBeLeft(EditModeHost* ctl) {
  giveButtonsBack(ctl);
  if (TIButton* mute = ctl->muteButton()) mute->setButtonState(0);
  setOff(ctl->effectSendButton());
  if (TIButton* accent = ctl->accentButton()) accent->setEnabled(true);
  if (TIButton* fx = ctl->effectSendButton()) fx->setEnabled(true);
  Synth* synth = ctl->synth();
  TIButton* solo = ctl->soloButton();
  if (synth->soloMode() && solo && solo->isActive()) {
    synth->setPartSolo(static_cast<int32_t>(ctl->currentPart()), true, true);
  } else {
    synth->setSoloMode(false);
  }
  synth->setPatternSetMode(false);
  currentMode_ = kPartSelect;
}

// ---- slots --------------------------------------------------------------------------

void Z31647UiStatePatternSet::refreshSeqView(EditModeHost* ctl) {
  TISeqView* view = ctl->seqView();
  const PatternSetStore& sets = PatternSetStore::sharedInstance();
  const int32_t bank = static_cast<int32_t>(view->currentPage());
  view->clearSelection();
  for (int32_t slot = 0; slot < 16; ++slot) ctl->setStep(bank * 16 + slot, sets.exists(slot, bank));
  if (patternIndex_ >= 0 && patternIndex_ / 16 == bank) view->setCurrentStep(patternIndex_);
}

void Z31647UiStatePatternSet::seqButtonPushed(EditModeHost* ctl, TIButton* sender) {
  TISeqView* view = ctl->seqView();
  const int32_t slot = static_cast<int32_t>(sender->tag());
  const int32_t bank = static_cast<int32_t>(view->currentPage());
  patternIndex_ = slot + bank * 16;
  const int32_t pattern = static_cast<int32_t>(PatternSetStore::sharedInstance().patternIndex(slot, bank));
  // The controller's pattern change goes to the current mode, which is
  // this one.
  if (ctl->synth()->isPlaying()) {
    if (sender->buttonPossibilityState() != 1) {
      view->setCurrentStep(patternIndex_);
      changePattern(ctl, pattern);
    } else {
      ctl->playButWaitUntilCurrentPatternFinished(false);
    }
    return;
  }
  view->setCurrentStep(patternIndex_);
  changePattern(ctl, pattern);
  ctl->playButWaitUntilCurrentPatternFinished(false);
}

void Z31647UiStatePatternSet::changePattern(EditModeHost* ctl, int32_t number) {
  if (patternIndex_ >= 0 && number >= 0) {
    patternRegistrating_ = !PatternSetStore::sharedInstance().patternEqual(patternIndex_, static_cast<uint32_t>(number));
  } else {
    patternRegistrating_ = false;
  }
  requestedPattern_ = patternRegistrating_ ? number : -1;
  Z31647UiStateNormal::changePattern(ctl, number);
}

void Z31647UiStatePatternSet::patternChanged(EditModeHost* ctl) {
  Synth* synth = ctl->synth();
  if (LedMediator* seq = ctl->ledMediatorSeq()) seq->setLed(0, kLedGreen);
  ctl->copyPatternData();
  ctl->displayDefaultContent();
  ctl->refreshPartView();
  ctl->refreshSynthView();
  ctl->refreshEffectView();
  const int32_t current = synth->currentPatternIndex();
  if (UISliderButton* dial = ctl->mainDial()) dial->setValue(current);
  if (!patternRegistrating_) return;
  // Only the load of the pattern asked for registers it: any other load
  // means that request was superseded and will never arrive.
  const bool asked = current == requestedPattern_;
  patternRegistrating_ = false;
  requestedPattern_ = -1;
  if (!asked || patternIndex_ < 0) return;
  DataProvider* provider = ctl->dataProvider();
  const std::string name = provider ? provider->columnText(current, 1) : std::string();
  ctl->sendNotificationMessage(GBXLocalizedMessage::format("Pattern \"%@\" has been assigned to button %d.",
                                                           {name, static_cast<long long>(patternIndex_ + 1)}));
  PatternSetStore::sharedInstance().replace(static_cast<int64_t>(patternIndex_), static_cast<uint32_t>(current));
}

// ---- sub-modes of the part buttons --------------------------------------------------------

void Z31647UiStatePatternSet::muteButtonPushedAtPatternSet(EditModeHost* ctl, TIButton* sender) {
  Synth* synth = ctl->synth();
  if (sender->isActive()) {
    sender->setButtonState(0);
    currentMode_ = kPartSelect;
    synth->setSoloMode(false);
    refreshPartView(ctl);
    return;
  }
  if (TIButton* solo = ctl->soloButton()) solo->setButtonState(0);
  synth->setSoloMode(false);
  setOff(ctl->effectSendButton());
  sender->setButtonState(1);
  currentMode_ = kPartMute;
  refreshPartView(ctl);
}

void Z31647UiStatePatternSet::fxSendButtonPushedAtPatternSet(EditModeHost* ctl, TIButton* sender) {
  if (sender->isActive()) {
    setOff(sender);
    currentMode_ = kPartSelect;
    refreshPartView(ctl);
    return;
  }
  if (TIButton* mute = ctl->muteButton()) mute->setButtonState(0);
  sender->setButtonState(1);
  sender->setButtonPossibilityState(1);
  currentMode_ = kPartFxSend;
  refreshPartView(ctl);
}

void Z31647UiStatePatternSet::soloButtonPushed(EditModeHost* ctl, TIButton* sender) {
  Synth* synth = ctl->synth();
  if (sender->isActive()) {
    synth->setSoloMode(false);
    sender->setButtonState(0);
  } else {
    synth->setSoloMode(true);
    synth->setPartSolo(static_cast<int32_t>(ctl->currentPart()), true, true);
    sender->setButtonState(1);
    if (TIButton* mute = ctl->muteButton()) mute->setButtonState(0);
    // The effect-send sub-mode survives solo; the mute sub-mode does not.
    if (currentMode_ != kPartFxSend) currentMode_ = kPartSelect;
  }
  refreshPartView(ctl);
}

void Z31647UiStatePatternSet::drawMutes(EditModeHost* ctl) {
  RadioButtonMediator* parts = ctl->partButtonMediator();
  const PatternRecord& r = *ctl->synth()->currentPattern();
  const int32_t current = static_cast<int32_t>(ctl->currentPart());
  parts->setButtonsUndimmed();
  parts->setButtonDeactiveAll();
  for (int32_t p = 0; p < kNumParts; ++p) {
    const bool sounding = r.synthParams[p].mute == 0;
    parts->setButtonActive(p, sounding);
    if (p == current) {
      parts->setButtonSelected(p, false);
      if (!sounding) parts->setButtonSelected(p, true);
    }
  }
}

void Z31647UiStatePatternSet::drawFxSends(EditModeHost* ctl) {
  RadioButtonMediator* parts = ctl->partButtonMediator();
  const PatternRecord& r = *ctl->synth()->currentPattern();
  parts->deselectButton();
  for (int32_t p = 0; p < kNumParts; ++p) parts->setButtonActive(p, r.synthParams[p].fxSend != 0);
  parts->setButtonsUndimmed();
}

void Z31647UiStatePatternSet::refreshPartView(EditModeHost* ctl) {
  switch (currentMode_) {
    case kPartMute: drawMutes(ctl); break;
    case kPartFxSend: drawFxSends(ctl); break;
    default: Z31647UiStateNormal::refreshPartView(ctl); break;
  }
}

void Z31647UiStatePatternSet::partButtonPushed(EditModeHost* ctl, int32_t part) {
  RadioButtonMediator* parts = ctl->partButtonMediator();
  Synth* synth = ctl->synth();
  if (currentMode_ == kPartFxSend) {
    const bool lit = parts->isButtonActive(part);
    synth->setPartParameter(part, kFxSend, lit ? 0 : 1);
    parts->setButtonActive(part, !lit);
    return;
  }
  if (currentMode_ == kPartMute) {
    const bool lit = parts->isButtonActive(part);
    synth->setPartMute(part, lit ? 1 : 0);
    parts->setButtonActive(part, !lit);
    if (part == static_cast<int32_t>(ctl->currentPart())) parts->setButtonSelected(part, true);
    return;
  }
  Z31647UiStateNormal::partButtonPushed(ctl, part);
}

void Z31647UiStatePatternSet::partButtonTriggeredOnWhenStepChanged(EditModeHost* ctl, int32_t step) {
  if (currentMode_ == kPartSelect) Z31647UiStateNormal::partButtonTriggeredOnWhenStepChanged(ctl, step);
}

void Z31647UiStatePatternSet::partButtonTriggeredOffWhenStepChanged(EditModeHost* ctl) {
  if (currentMode_ == kPartSelect) Z31647UiStateNormal::partButtonTriggeredOffWhenStepChanged(ctl);
}

// ---- MIDI ----------------------------------------------------------------------------------

void Z31647UiStatePatternSet::patternSetPatternChangedFromMidi(EditModeHost* ctl, uint32_t bank, uint32_t slot) {
  if (bank >= PatternSetStore::kNumberOfBanks || slot >= PatternSetStore::kNumberOfSlotsPerBank) return;
  patternIndex_ = static_cast<int32_t>(slot + bank * 16);
  ctl->seqView()->setCurrentStep(patternIndex_);
}

void Z31647UiStatePatternSet::partChangedFromMidi(EditModeHost* ctl, int32_t part) {
  if (part == static_cast<int32_t>(ctl->currentPart())) return;
  ctl->setCurrentPart(static_cast<uint32_t>(part));
  ctl->refreshPartView();
  ctl->refreshSynthView();
}

void Z31647UiStatePatternSet::synthParameterMuteChangedFromMidi(EditModeHost* ctl, int32_t part, int32_t value) {
  if (currentMode_ == kPartFxSend) return;
  if (currentMode_ == kPartSelect) {
    Z31647UiStateNormal::synthParameterMuteChangedFromMidi(ctl, part, value);
    return;
  }
  RadioButtonMediator* parts = ctl->partButtonMediator();
  parts->setButtonActive(part, value < 1);
  if (part == static_cast<int32_t>(ctl->currentPart())) parts->setButtonSelected(part, true);
}
