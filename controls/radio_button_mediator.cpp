#include "controls/radio_button_mediator.h"

RadioButtonMediator::~RadioButtonMediator() {
  if (timer_) timer_->invalidate();
}

void RadioButtonMediator::appendButton(std::shared_ptr<TIButton> button, int64_t key) {
  if (button) buttons_[key] = std::move(button);
}

void RadioButtonMediator::removeButtonForKey(int64_t key) { buttons_.erase(key); }

void RadioButtonMediator::removeButtonsForKeys(const std::vector<int64_t>& keys) {
  for (int64_t k : keys) buttons_.erase(k);
}

std::shared_ptr<TIButton> RadioButtonMediator::button(int64_t key) const {
  auto it = buttons_.find(key);
  return it == buttons_.end() ? nullptr : it->second;
}

void RadioButtonMediator::setButtonSelected(int32_t key, bool switchEnabled) {
  int64_t target = key;
  if (static_cast<uint64_t>(static_cast<int64_t>(key)) == selected_) {
    if (!switchEnabled) return;
    target = -1;
  }
  for (const auto& [k, b] : buttons_) b->setButtonPossibilityState(k == target ? 1 : 0);
  selected_ = buttons_.count(target) ? static_cast<uint64_t>(target) : kNone;
}

void RadioButtonMediator::deselectButton() {
  if (selected_ != kNone)
    if (auto b = button(static_cast<int64_t>(selected_))) b->setButtonPossibilityState(0);
  selected_ = kNone;
}

void RadioButtonMediator::setButtonActive(int64_t key, bool enabled) {
  if (auto b = button(key)) b->setButtonState(enabled ? 1 : 0);
}

bool RadioButtonMediator::isButtonActive(int64_t key) const {
  auto b = button(key);
  return b && b->buttonState() == 1;
}

bool RadioButtonMediator::hasActiveButton() const {
  for (const auto& [k, b] : buttons_)
    if (b->buttonState() == 1) return true;
  return false;
}

std::vector<std::shared_ptr<TIButton>> RadioButtonMediator::activeButtons() const {
  std::vector<std::shared_ptr<TIButton>> out;
  out.reserve(8);
  for (const auto& [k, b] : buttons_)
    if (b->buttonState() == 1) out.push_back(b);
  return out;
}

void RadioButtonMediator::setButtonActiveAll() {
  for (const auto& [k, b] : buttons_) b->setButtonState(1);
}

void RadioButtonMediator::setButtonDeactiveAll() {
  for (const auto& [k, b] : buttons_) b->setButtonState(0);
}

void RadioButtonMediator::setButtonDimmed(int32_t key, bool dim) { setButtonDimmedByKey(key, dim); }

void RadioButtonMediator::setButtonDimmedByKey(int64_t key, bool dim) {
  auto b = button(key);
  if (b && b->dim() != dim) b->setDim(dim);
}

void RadioButtonMediator::setButtonsUndimmed() {
  for (const auto& [k, b] : buttons_) setButtonDimmedByKey(k, false);
}

void RadioButtonMediator::setForcedActive(int64_t key, bool forcedActive) {
  if (auto b = button(key)) b->setForcedActive(forcedActive);
}

bool RadioButtonMediator::isForcedActive(int64_t key) const {
  auto b = button(key);
  return b && b->forcedActive();
}

void RadioButtonMediator::clearForcedActiveAll() {
  for (const auto& [k, b] : buttons_) b->setForcedActive(false);
}

void RadioButtonMediator::onMain(void (RadioButtonMediator::*f)()) {
  std::weak_ptr<RadioButtonMediator> weak = weak_from_this();
  if (weak.expired()) {
    // Not held by a shared pointer: nothing can refer to it later, so the
    // step runs now (on the caller's thread, which is the main thread).
    (this->*f)();
    return;
  }
  platform::RunLoop::main().perform([weak, f] {
    if (auto self = weak.lock()) ((*self).*f)();
  });
}

void RadioButtonMediator::setButtonsReady() {
  for (const auto& [k, b] : buttons_) b->enableBlink(true);
  onMain(&RadioButtonMediator::setUpTimer);
}

void RadioButtonMediator::setButtonsReadyCancel() {
  onMain(&RadioButtonMediator::stopTimer);
  for (const auto& [k, b] : buttons_) b->enableBlink(false);
}

void RadioButtonMediator::setButtonReady(int64_t key, bool enabled) {
  if (auto b = button(key)) b->enableBlink(enabled);
}

void RadioButtonMediator::setUpTimer() {
  // A second ready without a cancel in between must not leave the first
  // clock ticking with no one to stop it.
  if (timer_) timer_->invalidate();
  readyForAction();
  std::weak_ptr<RadioButtonMediator> weak = weak_from_this();
  RadioButtonMediator* raw = weak.expired() ? this : nullptr;
  timer_ = platform::RunLoop::main().scheduleTimer(kBlinkInterval, true, [weak, raw](platform::Timer&) {
    if (raw) {
      raw->readyForAction();
      return;
    }
    platform::RunLoop::main().perform([weak] {
      if (auto self = weak.lock()) self->readyForAction();
    });
  });
}

void RadioButtonMediator::readyForAction() {
  for (const auto& [k, b] : buttons_) b->doBlink();
}

void RadioButtonMediator::stopTimer() {
  if (timer_) timer_->invalidate();
  timer_.reset();
}

std::shared_ptr<platform::Timer> RadioButtonMediator::timer() const {
  return timer_ && timer_->isValid() ? timer_ : nullptr;
}
