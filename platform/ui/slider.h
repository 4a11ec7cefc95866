#pragma once
// The platform's slider: a value in [minimum, maximum] (always pinned to
// the range, also when the range changes) shown as a thumb on a track. A
// touch that lands on the thumb drags it; the value follows the finger's
// horizontal travel. A continuous slider sends value-changed on every
// change while dragging, another one once when the finger lifts.
//
// Main thread only.

#include "platform/ui/control.h"

namespace platform {

class Slider : public Control {
 public:
  static constexpr double kThumbSize = 28.0;

  explicit Slider(const Rect& frame = {});

  float value() const { return value_; }
  void setValue(float v, bool animated = false);
  float minimumValue() const { return min_; }
  void setMinimumValue(float v);
  float maximumValue() const { return max_; }
  void setMaximumValue(float v);
  bool isContinuous() const { return continuous_; }
  void setContinuous(bool c) { continuous_ = c; }
  Color minimumTrackTintColor() const { return minTint_; }
  void setMinimumTrackTintColor(const Color& c);

  // Where the thumb is drawn, in the slider's coordinates.
  Rect thumbRect() const;

  bool beginTrackingWithTouch(Touch& touch, const Event* event) override;
  bool continueTrackingWithTouch(Touch& touch, const Event* event) override;
  void endTrackingWithTouch(Touch* touch, const Event* event) override;
  void drawRect(const Rect& rect) override;

 private:
  float valueForX(double x) const;
  float value_ = 0.0f;
  float min_ = 0.0f;
  float max_ = 1.0f;
  bool continuous_ = true;
  Color minTint_ = Color::rgba(0.0, 122.0 / 255.0, 1.0);
  double grabOffset_ = 0.0;
  bool changedWhileTracking_ = false;
};

}  // namespace platform
