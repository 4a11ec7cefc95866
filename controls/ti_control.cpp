#include "controls/ti_control.h"

#include "platform/ui/screen.h"

GBXTIControl::GBXTIControl(const platform::Rect& frame)
    : platform::Control(frame), scale_(static_cast<float>(platform::Screen::mainScreen().scale())) {}

void GBXTIControl::setValue(float v) {
  if (v == value_) return;
  value_ = v;
  setNeedsDisplay();
}

void GBXTIControl::setMinimum(float v) {
  if (v == minimum_) return;
  minimum_ = v;
  setNeedsDisplay();
}

void GBXTIControl::setMaximum(float v) {
  if (v == maximum_) return;
  maximum_ = v;
  setNeedsDisplay();
}
