#include "controls/ti_touch_frequency_count_button.h"

TITouchFrequencyCountButton::TITouchFrequencyCountButton(const platform::Rect& frame) : TIButton(frame) {
  previousTime_ = 0.0;
  position_ = 0;
}

void TITouchFrequencyCountButton::setTitle(const std::string& title, unsigned) { title_ = title; }

bool TITouchFrequencyCountButton::tap(double t) {
  const double gap = t - previousTime_;
  if (gap > kSeriesGap) {
    periods_.fill(0.0);
    tapCounter_ = 0;
    interval_ = 0.0;
  } else if (gap <= 0.0 && tapCounter_ > 0) {
    // Two taps at one instant (or a clock that went back) would give an
    // infinite or negative tempo: the second is not counted.
    return false;
  }
  periods_[static_cast<size_t>(position_ & (kRingSize - 1))] = gap;
  ++position_;
  ++tapCounter_;
  previousTime_ = t;
  if (tapCounter_ < 2) return false;
  const int64_t k = tapCounter_ > 15 ? kMaxAveraged : tapCounter_ - 1;
  interval_ = 0.0;
  for (int64_t j = 1; j <= k; ++j) interval_ += periods_[static_cast<size_t>((position_ - j) & (kRingSize - 1))];
  interval_ /= static_cast<double>(k);
  floatValue_ = static_cast<float>(60.0 / interval_);
  return true;
}

bool TITouchFrequencyCountButton::beginTrackingWithTouch(platform::Touch& touch, const platform::Event* event) {
  if (normalButtonMode_) return TIButton::beginTrackingWithTouch(touch, event);
  const double t = event ? event->timestamp() : touch.timestamp();
  if (tap(t)) {
    sendActionsForControlEvents(platform::ControlEvents::ValueChanged);
    interval_ = 0.0;
  }
  // Lit while the finger is down.
  setButtonState(1);
  return true;
}

void TITouchFrequencyCountButton::endTrackingWithTouch(platform::Touch* touch, const platform::Event* event) {
  if (normalButtonMode_) return TIButton::endTrackingWithTouch(touch, event);
  setButtonState(0);
}

void TITouchFrequencyCountButton::cancelTrackingWithEvent(const platform::Event* event) {
  if (normalButtonMode_) return TIButton::cancelTrackingWithEvent(event);
  // A cancelled touch must not leave the button lit.
  setButtonState(0);
}
