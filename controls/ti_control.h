#pragma once
// The two bases of the control kit.
//
// TIControl: a control with one signed 64-bit value (a plain property: the
// base class gives setting it no side effect) and the name its owner gives
// it for the LCD; base of the image button and of the knob.
//
// GBXTIControl: a control with a float value, minimum and maximum, and the
// screen scale taken when it was made; each setter stores and redraws only
// when the new value differs.
//
// Main thread only.

#include <cstdint>
#include <string>

#include "platform/ui/control.h"

class TIControl : public platform::Control {
 public:
  explicit TIControl(const platform::Rect& frame = {}) : platform::Control(frame) {}

  int64_t value() const { return value_; }
  virtual void setValue(int64_t v) { value_ = v; }

  // A label given by the owner (the parameter's name); the control itself
  // does not use it.
  const std::string& name() const { return name_; }
  void setName(const std::string& n) { name_ = n; }

 private:
  int64_t value_ = 0;
  std::string name_;
};

class GBXTIControl : public platform::Control {
 public:
  explicit GBXTIControl(const platform::Rect& frame = {});

  float value() const { return value_; }
  void setValue(float v);
  float minimum() const { return minimum_; }
  void setMinimum(float v);
  float maximum() const { return maximum_; }
  void setMaximum(float v);
  // Points to pixels of the main screen when the control was made.
  float scale() const { return scale_; }

 private:
  float value_ = 0.0f;
  float minimum_ = 0.0f;
  float maximum_ = 0.0f;
  float scale_;
};
