#include "modes/z31647_ui_state_step_copy.h"

#include "controls/gbx_localized_message.h"
#include "controls/image_manager.h"
#include "controls/radio_button_mediator.h"
#include "controls/ti_button.h"
#include "engine/synth/synth.h"

namespace {

constexpr uint32_t kCopyStepMessage = 13;
// The page faces: four images per button (normal, active, selected,
// pressed), from "sourceStep1-16Normal" on.
constexpr ImageId kFirstPageImage = 359;

int32_t selectedSource(const RadioButtonMediator* parts) {
  const uint64_t s = parts->selected();
  return s < 4 ? static_cast<int32_t>(s) : -1;
}

}  // namespace

void Z31647UiStateStepCopy::showTips(EditModeHost* ctl) {
  openTipsView(ctl, platform::Rect{427, 495, 295, 182}, "Copy Source");
  openSubTipsView(ctl, platform::Rect{716, 495, 296, 182}, "Copy Destination");
}

bool Z31647UiStateStepCopy::sourceAndDestAreSelected(EditModeHost* ctl) const {
  const RadioButtonMediator* parts = ctl->partButtonMediator();
  return selectedSource(parts) >= 0 && parts->hasActiveButton();
}

void Z31647UiStateStepCopy::stateChanged(EditModeHost* ctl) {
  RadioButtonMediator* parts = ctl->partButtonMediator();
  if (ImageManager* images = ctl->imageManager()) {
    for (int32_t b = 0; b < 8; ++b) {
      std::shared_ptr<TIButton> button = parts->button(b);
      if (!button) continue;
      const ImageId first = kFirstPageImage + 4 * b;
      button->setImage(images->uiimage(first), 0);
      button->setImage(images->uiimage(first + 1), 1);
      button->setImage(images->uiimage(first + 2), 2);
      button->setHighlightedImage(images->uiimage(first + 3));
    }
  }
  parts->setButtonDeactiveAll();
  parts->deselectButton();
  if (TIButton* accent = ctl->accentButton()) accent->setEnabled(false);
  if (TIButton* fx = ctl->effectSendButton()) fx->setEnabled(true);
  parts->setButtonsUndimmed();
  parts->setButtonsReady();
  controller_ = ctl;
  alertViewAppeared_ = false;
}

void Z31647UiStateStepCopy::stateWillBeLeft(EditModeHost* ctl) {
  // A question left open would copy pages in the mode that follows.
  confirmation_.cancel();
  if (TIButton* accent = ctl->accentButton()) accent->setEnabled(true);
  if (TIButton* fx = ctl->effectSendButton()) fx->setEnabled(true);
  dismissTipsView(ctl);
  dismissSubTipsView(ctl);
  RadioButtonMediator* parts = ctl->partButtonMediator();
  if (ImageManager* images = ctl->imageManager()) {
    for (int32_t b = 0; b < 8; ++b) {
      if (std::shared_ptr<TIButton> button = parts->button(b)) {
        button->setImage(images->uiimage(1 + 3 * b), 0);
        button->setImage(images->uiimage(2 + 3 * b), 1);
        button->setImage(images->uiimage(3 + 3 * b), 2);
      }
    }
    for (int32_t b = 0; b < 8; ++b) {
      if (std::shared_ptr<TIButton> button = parts->button(b)) button->setHighlightedImage(images->uiimage(25 + b));
    }
  }
  parts->setButtonsReadyCancel();
}

void Z31647UiStateStepCopy::refreshPartView(EditModeHost* ctl) { ctl->partButtonMediator()->setButtonsUndimmed(); }

void Z31647UiStateStepCopy::partButtonPushed(EditModeHost* ctl, int32_t key) {
  if (key < 0 || key > 7) return;
  RadioButtonMediator* parts = ctl->partButtonMediator();
  if (!isDestination(key)) {
    // A second press on the chosen source takes the choice away.
    parts->setButtonSelected(key, true);
    parts->setButtonDeactiveAll();
    return;
  }
  const int32_t source = selectedSource(parts);
  parts->setButtonActive(key, true);
  if (source < 0) return;
  controller_ = ctl;
  pendingSource_ = source;
  pendingDestination_ = key - 4;
  alertViewAppeared_ = true;
  const std::string message = GBXLocalizedMessage::format(GBXLocalizedMessage::getText(kCopyStepMessage),
                                                          {static_cast<long long>(source + 1), static_cast<long long>(key - 3)});
  confirmation_.ask("COPY STEP", message, [this](bool ok) { alertViewDidDismiss(ok); });
}

void Z31647UiStateStepCopy::alertViewDidDismiss(bool ok) {
  EditModeHost* ctl = controller_;
  if (!ctl) return;
  RadioButtonMediator* parts = ctl->partButtonMediator();
  const int32_t source = pendingSource_;
  const int32_t destination = pendingDestination_;
  pendingSource_ = pendingDestination_ = -1;
  if (ok) {
    Synth* synth = ctl->synth();
    if (source != destination && source >= 0 && destination >= 0) {
      synth->copyBar(source, destination);
      synth->copyMotionBar(source, destination);
    }
    for (const auto& b : parts->activeButtons()) b->setHighlighted(false);
    if (static_cast<int32_t>(ctl->currentSeqPage()) == destination) ctl->refreshSeqView();
    parts->deselectButton();
  } else {
    for (const auto& b : parts->activeButtons()) b->setHighlighted(false);
  }
  parts->setButtonDeactiveAll();
  showTips(ctl);
  alertViewAppeared_ = false;
}

void Z31647UiStateStepCopy::partChangedFromMidi(EditModeHost* ctl, int32_t part) {
  if (alertViewAppeared_) return;
  if (part == static_cast<int32_t>(ctl->currentPart())) return;
  ctl->setCurrentPart(static_cast<uint32_t>(part));
  ctl->refreshSynthView();
  ctl->refreshSeqView();
}
