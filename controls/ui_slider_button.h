#pragma once
// The slider knob: the rotary control of the front panel (parameter knobs,
// effect and master knobs, the main dial, the tutorial's knobs).
//
// An integer value between a minimum and a maximum, drawn as one frame of a
// vertical image strip. Finger movement turns into value steps by the knob
// gesture of global setting 1 ("Knob Mode": 0 linear drag, 1 rotary), read
// again at every touch-down until the owner fixes a mode with setKnobMode,
// and by the knob's own switches: rotaryMode (relative step-per-angle
// tracking), encoderMode (the endless main dial, 15° per step with the
// remainder carried), infiniteRotationMode (values wrap), isDialLocked (the
// picture does not turn when the value is set).
//
// Rules: moves in the first 0.12 s after touch-down are ignored and the
// first counted move only re-anchors, so a quick flick (more than 10 points
// within 0.12 s) changes the value by exactly one step in its direction;
// only touch-driven changes go through changeValue, which wraps and clamps
// and alone sends value-changed; setValue stores whatever it is given;
// bounds are set maximum first (each is limited by the other).
//
// Main thread only.

#include <cstdint>

#include "controls/ti_control.h"
#include "platform/gfx/image.h"

class UISliderButton : public TIControl {
 public:
  explicit UISliderButton(const platform::Rect& frame = {});

  // ---- bounds and look
  int64_t maxValue() const { return maxValue_; }
  // Stores max(minValue, v); redraws when that changes the bound.
  void setMaxValue(int64_t v);
  int64_t minValue() const { return minValue_; }
  // Stores min(maxValue, v); redraws when that changes the bound.
  void setMinValue(int64_t v);
  int64_t resolution() const { return resolution_; }
  void setRotateResolution(int64_t frames);
  const platform::ImagePtr& baseImage() const { return baseImage_; }
  void setBaseImage(platform::ImagePtr strip);
  const platform::ImagePtr& baseImageActive() const { return baseImageActive_; }
  void setBaseImageActive(platform::ImagePtr strip);
  const platform::EdgeInsets& imageEdgeInsets() const { return insets_; }
  void setImageEdgeInsets(const platform::EdgeInsets& e);

  // ---- tracking configuration
  int32_t knobOperationMode() const { return knobOperationMode_; }
  bool useGlobalknobMode() const { return useGlobalKnobMode_; }
  // Fixes the gesture for good: the global setting is no longer read.
  void setKnobMode(int32_t mode);
  bool rotaryMode() const { return rotaryMode_; }
  void setRotaryMode(bool m) { rotaryMode_ = m; }
  bool encoderMode() const { return encoderMode_; }
  void setEncoderMode(bool m) { encoderMode_ = m; }
  bool infiniteRotationMode() const { return infiniteRotationMode_; }
  void setInfiniteRotationMode(bool m) { infiniteRotationMode_ = m; }
  bool isDialLocked() const { return dialLocked_; }
  void setIsDialLocked(bool l) { dialLocked_ = l; }
  double sensitivity() const { return sensitivity_; }
  void setSensitivity(double s) { sensitivity_ = s; }
  int64_t initialValue() const { return initialValue_; }
  void setInitialValue(int64_t v) { initialValue_ = v; }
  // Degrees of finger angle per value step.
  static double rotaryResolution() { return 15.0; }

  // ---- value
  // Stores v unchecked; when it changed and the dial is locked, the origin
  // moves along so the picture stays. Redraws.
  void setValue(int64_t v) override;
  // The touch path: translate, and when the result differs, store it and
  // send value-changed.
  void changeValue(int64_t v);
  // Wrap (infinite rotation) and clamp; clamping moves the origin so an
  // encoder pushed against a bound keeps turning its picture.
  int64_t valueTranslation(int64_t v);

  // ---- drawing
  // The strip frame to draw; -1 for none.
  int64_t calcImageValue() const;
  // Frame `frame` of `strip`; nullptr for no strip, a negative frame or no
  // resolution.
  platform::ImagePtr cropImage(const platform::ImagePtr& strip, int64_t frame) const;
  void drawRect(const platform::Rect& rect) override;
  void setEnabled(bool e) override;

  // ---- state of a touch (read by owners and tests)
  bool trackingNow() const { return trackingNow_; }
  platform::Point initialPosition() const { return initialPosition_; }
  platform::Point trackingPosition() const { return trackingPosition_; }
  double initialTime() const { return initialTime_; }
  float rotaryDegree() const { return rotaryDegree_; }
  float floatValue() const { return floatValue_; }
  float fracDegree() const { return fracDegree_; }
  int64_t originValue() const { return originValue_; }
  bool isFirstMoveTracking() const { return firstMoveTracking_; }
  int32_t previousFingerPosition() const { return previousFingerPosition_; }
  // 0 lower left, 1 lower right, 2 upper half (or on the centre line).
  int32_t getFingerPosition(platform::Point p) const;

  void touchesBegan(const platform::TouchSet& touches, const platform::Event* event) override;
  void touchesMoved(const platform::TouchSet& touches, const platform::Event* event) override;
  void touchesEnded(const platform::TouchSet& touches, const platform::Event* event) override;
  void touchesCancelled(const platform::TouchSet& touches, const platform::Event* event) override;

  // Seconds after touch-down during which moves are ignored.
  static constexpr double kDeadTime = 0.12;

 private:
  double rangeDivisor() const;
  void linearTracking(platform::Point p);
  void rotaryEncoderLinearTracking(platform::Point p);
  void rotaryEncoderTracking(platform::Point p);
  void knobTracking(platform::Point p);

  int64_t maxValue_ = 0;
  int64_t minValue_ = 0;
  int64_t resolution_ = 0;
  platform::Point initialPosition_;
  platform::Point trackingPosition_;
  double initialTime_ = 0.0;
  float rotaryDegree_ = 0.0f;
  bool firstMoveTracking_ = false;
  bool firstValueChangeInterpolation_ = false;
  platform::ImagePtr baseImage_;
  platform::ImagePtr baseImageActive_;
  bool trackingNow_ = false;
  int32_t knobOperationMode_ = 0;
  bool useGlobalKnobMode_ = true;
  int32_t previousFingerPosition_ = 0;
  float floatValue_ = 0.0f;
  float fracDegree_ = 0.0f;
  int64_t originValue_ = 0;
  bool infiniteRotationMode_ = false;
  bool rotaryMode_ = false;
  bool encoderMode_ = false;
  bool dialLocked_ = false;
  double sensitivity_ = 1.0;
  int64_t initialValue_ = 0;
  platform::EdgeInsets insets_;
};
