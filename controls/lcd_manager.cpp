#include "controls/lcd_manager.h"

namespace {

bool isSteady(LCDMessageType t) { return t == kLCDMessageDefault || t == kLCDMessagePendingChoice; }
bool isTemporary(LCDMessageType t) { return t == kLCDMessageValue || t == kLCDMessageNotice; }
bool hasSlot(LCDMessageType t) { return t >= 0 && t < 4; }

}  // namespace

std::shared_ptr<LCDMessage> LCDMessage::message(std::string detail, std::string title, LCDMessageType type) {
  auto m = std::make_shared<LCDMessage>();
  m->setDetail(std::move(detail));
  m->setTitle(std::move(title));
  m->setType(type);
  return m;
}

LCDManager::LCDManager() {
  for (LCDMessageType t = 0; t < 4; ++t) messages_[static_cast<size_t>(t)] = LCDMessage::message("", "", t);
}

void LCDManager::appendMessage(const std::shared_ptr<LCDMessage>& m) {
  if (!m) return;
  const LCDMessageType current = currentMessageType();
  // Only a steady message is ever returned to: a temporary message on screen
  // never becomes the previous one.
  if (isSteady(current) && current != m->type()) previousMessageType_ = current;
  if (lcd_) {
    lcd_->setTitle(m->title());
    lcd_->setValue(m->detail());
    lcd_->setMessageType(m->type());
  }
  if (hasSlot(m->type())) messages_[static_cast<size_t>(m->type())] = m;
  if (isTemporary(m->type())) {
    displayDurationCounter_ = 0;
  } else {
    setOriginalValue(false);
  }
}

void LCDManager::display(const std::string& value, const std::string& title) {
  if (!lcd_) return;
  lcd_->setTitle(title);
  lcd_->setValue(value);
}

void LCDManager::refreshDisplay() {
  switch (currentMessageType()) {
    case kLCDMessageValue:
      enableLcd();
      if (displayDurationCounter_ < kValueTicks) {
        ++displayDurationCounter_;
        return;
      }
      revertToPreviousDisplay();
      displayDurationCounter_ = 1;
      return;
    case kLCDMessageNotice: {
      enableLcd();
      const uint64_t d = displayDurationCounter_;
      if (d >= kNoticeEndTicks) {
        revertToPreviousDisplay();
        displayDurationCounter_ = 1;
      } else if (d < kNoticeSteadyTicks) {
        displayDurationCounter_ = d + 1;
      } else {
        // The display was enabled above, so one toggle blanks it for this
        // tick only.
        if (blinkCounter_ >= kNoticeBlinkTicks) {
          doBlink();
          blinkCounter_ = 0;
        }
        ++blinkCounter_;
        displayDurationCounter_ = d + 1;
      }
      return;
    }
    case kLCDMessagePendingChoice:
      // Not re-enabled here, so the display alternates shown and blank.
      if (blinkCounter_ >= kChoiceBlinkTicks) {
        doBlink();
        blinkCounter_ = 0;
      }
      ++blinkCounter_;
      return;
    default:
      enableLcd();
      return;
  }
}

void LCDManager::revertToPreviousDisplay() {
  if (hasSlot(previousMessageType_)) appendMessage(messages_[static_cast<size_t>(previousMessageType_)]);
}

void LCDManager::doBlink() {
  if (lcd_) lcd_->setEnabled(!lcd_->isEnabled());
}

LCDMessageType LCDManager::currentMessageType() const { return lcd_ ? lcd_->messageType() : kLCDMessageDefault; }

void LCDManager::enableLcd() {
  if (lcd_) lcd_->setEnabled(true);
}

void LCDManager::setRecording(bool on) {
  if (recording_ == on) return;
  recording_ = on;
  if (lcd_) lcd_->setSignOn(0, on);
  refreshMotionRecordingSign();
}

void LCDManager::setOriginalValue(bool on) {
  if (originalValue_ == on) return;
  originalValue_ = on;
  if (lcd_) lcd_->setSignOn(1, on);
}

void LCDManager::setShowsCurrentPart(bool on) {
  if (showsCurrentPart_ == on) return;
  showsCurrentPart_ = on;
  if (lcd_) lcd_->setSignOn(3, on);
}

void LCDManager::setCurrentPartIndex(int32_t index) {
  if (currentPartIndex_ == index) return;
  currentPartIndex_ = index;
  if (lcd_) lcd_->setPartSignIndex(index);
}

void LCDManager::motionRecordingSignOn() {
  ++motionRecordingCount_;
  refreshMotionRecordingSign();
}

void LCDManager::motionRecordingSignOff() {
  --motionRecordingCount_;
  refreshMotionRecordingSign();
}

void LCDManager::refreshMotionRecordingSign() {
  if (lcd_) lcd_->setSignOn(2, recording_ && motionRecordingCount_ >= 1);
}

std::shared_ptr<LCDMessage> LCDManager::messageOfType(LCDMessageType type) const {
  return hasSlot(type) ? messages_[static_cast<size_t>(type)] : nullptr;
}
