#include "modes/z31647_ui_state_part_clear.h"

#include "controls/gbx_localized_message.h"
#include "controls/radio_button_mediator.h"
#include "controls/ti_button.h"
#include "engine/synth/synth.h"
#include "modes/state_util.h"

namespace {
constexpr uint32_t kClearPartMessage = 11;
}

void Z31647UiStatePartClear::showTips(EditModeHost* ctl) {
  openTipsView(ctl, platform::Rect{427, 495, 585, 182}, "Tap the part button whose data you want to clear.");
}

bool Z31647UiStatePartClear::nothingToClear(EditModeHost* ctl, int64_t key) {
  Synth* synth = ctl->synth();
  if (key == StateUtil::kFxSendPartKey) return synth->isEffectSwitchMotionFull(static_cast<int32_t>(ctl->currentFx()));
  if (key == StateUtil::kAccentPartKey) return synth->isAccentFull();
  return synth->isPartEmpty(static_cast<int32_t>(key));
}

void Z31647UiStatePartClear::stateChanged(EditModeHost* ctl) {
  showTips(ctl);
  StateUtil::joinFunctionButtonsIntoPartButtons(ctl);
  RadioButtonMediator* parts = ctl->partButtonMediator();
  parts->setButtonDeactiveAll();
  parts->deselectButton();
  parts->setButtonsReady();
  controller_ = ctl;
  StateUtil::makeMasterButtons(ctl, true);
  refreshPartView(ctl);
  alertViewAppeared_ = false;
}

void Z31647UiStatePartClear::stateWillBeLeft(EditModeHost* ctl) {
  // A question left open would clear data in the mode that follows.
  confirmation_.cancel();
  dismissTipsView(ctl);
  RadioButtonMediator* parts = ctl->partButtonMediator();
  parts->setButtonsReadyCancel();
  parts->setButtonDimmedByKey(StateUtil::kFxSendPartKey, false);
  parts->setButtonDimmedByKey(StateUtil::kAccentPartKey, false);
  StateUtil::resignFunctionButtonsIntoPartButtons(ctl);
}

void Z31647UiStatePartClear::refreshPartView(EditModeHost* ctl) {
  RadioButtonMediator* parts = ctl->partButtonMediator();
  static constexpr int64_t kKeys[] = {0, 1, 2, 3, 4, 5, 6, 7, StateUtil::kFxSendPartKey, StateUtil::kAccentPartKey};
  for (int64_t key : kKeys) {
    if (nothingToClear(ctl, key)) {
      parts->setButtonReady(key, false);
      parts->setButtonDimmedByKey(key, true);
    } else {
      parts->setButtonDimmedByKey(key, false);
    }
  }
}

void Z31647UiStatePartClear::partButtonPushed(EditModeHost* ctl, int32_t part) {
  if (part >= 0 && part < 8 && ctl->synth()->isPartEmpty(part)) return;
  RadioButtonMediator* parts = ctl->partButtonMediator();
  parts->setButtonActive(part, !parts->isButtonActive(part));
  controller_ = ctl;
  alertViewAppeared_ = true;
  confirmation_.ask("CLEAR PART", GBXLocalizedMessage::getText(kClearPartMessage),
                    [this](bool ok) { alertViewDidDismiss(ok); });
}

void Z31647UiStatePartClear::alertViewDidDismiss(bool ok) {
  EditModeHost* ctl = controller_;
  if (!ctl) return;
  RadioButtonMediator* parts = ctl->partButtonMediator();
  if (!ok) {
    for (const auto& b : parts->activeButtons()) b->setHighlighted(false);
    parts->setButtonDeactiveAll();
    showTips(ctl);
  } else {
    Synth* synth = ctl->synth();
    for (const auto& b : parts->activeButtons()) {
      const int64_t key = b->tag();
      if (key == StateUtil::kFxSendPartKey) {
        synth->fillEffectSwitchMotion(static_cast<int32_t>(ctl->currentFx()));
      } else if (key == StateUtil::kAccentPartKey) {
        synth->fillAccent();
      } else {
        synth->clearPartSteps(static_cast<int32_t>(key));
      }
      if (key == static_cast<int64_t>(ctl->currentPart())) refreshSeqView(ctl);
      b->setHighlighted(false);
    }
  }
  parts->setButtonDeactiveAll();
  refreshPartView(ctl);
  alertViewAppeared_ = false;
}

void Z31647UiStatePartClear::partChangedFromMidi(EditModeHost* ctl, int32_t part) {
  if (alertViewAppeared_) return;
  Z31647UiStateShifted::partChangedFromMidi(ctl, part);
}
