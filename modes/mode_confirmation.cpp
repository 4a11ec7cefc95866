#include "modes/mode_confirmation.h"

#include <utility>
#include <vector>

ModeConfirmation::~ModeConfirmation() {
  // The alert may outlive the mode on screen; it must not call back.
  if (alert_) alert_->setDelegate(nullptr);
}

void ModeConfirmation::ask(const std::string& title, const std::string& message, Answer answer) {
  cancel();
  alert_ = std::make_shared<platform::AlertView>(title, message, this, std::string("Cancel"),
                                                 std::vector<std::string>{"OK"});
  answer_ = std::move(answer);
  alert_->show();
}

void ModeConfirmation::cancel() {
  if (!alert_) return;
  if (alert_->isVisible()) {
    // The alert's own dismissal reports the Cancel through the delegate.
    alert_->dismissWithClickedButtonIndex(alert_->cancelButtonIndex(), false);
    return;
  }
  // Waiting behind another alert: it will show later, but no longer asks
  // anything of this mode.
  alert_->setDelegate(nullptr);
  finish(false);
}

void ModeConfirmation::didDismissWithButtonIndex(platform::AlertView& alert, int index) {
  if (&alert != alert_.get()) return;
  finish(index != alert.cancelButtonIndex());
}

void ModeConfirmation::finish(bool ok) {
  // The question is closed before the answer runs, so the answer may ask
  // again or leave the mode.
  Answer answer = std::move(answer_);
  answer_ = nullptr;
  alert_.reset();
  if (answer) answer(ok);
}
