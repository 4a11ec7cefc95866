#include "controls/ti_segmented_control.h"

#include <cmath>

namespace {
constexpr const char* kAction = "buttonPushed:";
}

TISegmentedControl::TISegmentedControl(const platform::Rect& frame) : GBXTIControl(frame) {
  setMinimum(0.0f);
  setMaximum(1.0f);
}

TISegmentedControl::~TISegmentedControl() { detachButtons(); }

void TISegmentedControl::detachButtons() {
  for (const Segment& b : buttons_) b->removeTarget(this, kAction, platform::ControlEvents::TouchDown);
}

void TISegmentedControl::setButtons(const std::vector<Segment>& buttons) {
  if (buttons == buttons_) return;
  detachButtons();
  for (size_t i = 0; i < buttons.size(); ++i) {
    const Segment& b = buttons[i];
    // The destructor takes this action off every segment, so a segment that
    // outlives the control never calls into it.
    b->addTarget(this, kAction, [this](platform::Control& sender) { buttonPushed(sender); },
                 platform::ControlEvents::TouchDown);
    b->setTag(static_cast<int64_t>(i));
  }
  buttons_ = buttons;
  setValue(0.0f);
}

void TISegmentedControl::setValue(float f) {
  GBXTIControl::setValue(f);
  const int64_t n = numberOfStates();
  const float x = static_cast<float>(n - 1) * f + 0.5f;
  // Limited before the conversion: a value far out of range (or not a
  // number) must not reach the integer cast.
  int64_t index;
  if (!(x >= 0.0f)) {
    index = 0;
  } else if (x >= static_cast<float>(n)) {
    index = n - 1;
  } else {
    index = static_cast<int64_t>(x);
  }
  if (index >= n) index = n - 1;
  if (index < 0) index = 0;
  current_ = index;
  for (const Segment& b : buttons_) b->setSelected(b->tag() == index);
}

void TISegmentedControl::setIndex(int64_t i) {
  const int64_t n = numberOfStates();
  if (i > n - 1) i = n - 1;
  if (i < 0) i = 0;
  // One segment (or none) has no second position to divide by.
  const float fraction = n > 1 ? static_cast<float>(i) / static_cast<float>(n - 1) : 0.0f;
  const float range = maximum() - minimum();
  setValue(range != 0.0f ? (fraction - minimum()) / range : fraction);
}

void TISegmentedControl::buttonPushed(platform::Control& button) {
  if (button.tag() == current_) return;
  setIndex(button.tag());
  sendActionsForControlEvents(platform::ControlEvents::ValueChanged);
}

bool TISegmentedControl::isTracking() const {
  for (const Segment& b : buttons_)
    if (b->isTracking()) return true;
  return false;
}
