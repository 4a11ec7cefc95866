#pragma once
// The image buttons of the front panel.
//
// TIButton shows one of four images on a sub-layer (normal, active,
// selected, highlighted) chosen from its on/off state, its second
// ("possibility") state, forced-active, the highlight and the blink phase;
// it is drawn at opacity 0.5 when disabled, else 0.75 when dimmed, else 1.
// Its image layer changes contents and frame at once (those layer actions are
// off). Blinking is ticked from outside (doBlink). Every touch it gets is
// handled as a control's and then passed on to its next responder, so the
// view holding the buttons sees the touches too.
//
// UIMultipleStateButton steps its value through N states at each touch-down
// (lit while the finger is down); TIToggleButton toggles on and off at each
// touch-down. Both change their value before the TouchDown actions run and
// send no value-changed event: owners read the value in their actions.
//
// Main thread only.

#include <cstdint>

#include "controls/ti_control.h"
#include "platform/gfx/image.h"

class TIButton : public TIControl {
 public:
  explicit TIButton(const platform::Rect& frame = {});

  // Plain properties: no redraw.
  const platform::ImagePtr& imageNormal() const { return imageNormal_; }
  void setImageNormal(platform::ImagePtr i) { imageNormal_ = std::move(i); }
  const platform::ImagePtr& imageActive() const { return imageActive_; }
  void setImageActive(platform::ImagePtr i) { imageActive_ = std::move(i); }
  const platform::ImagePtr& imageSelected() const { return imageSelected_; }
  void setImageSelected(platform::ImagePtr i) { imageSelected_ = std::move(i); }
  const platform::ImagePtr& imageHighlighted() const { return imageHighlighted_; }
  void setImageHighlighted(platform::ImagePtr i) { imageHighlighted_ = std::move(i); }
  // Stores the highlighted image and asks the platform for a redraw only;
  // the image layer picks it up at the button's next own redraw.
  void setHighlightedImage(platform::ImagePtr i);
  // 0 normal, 1 active, 2 selected; any other index stores nothing. Redraws.
  void setImage(platform::ImagePtr image, unsigned index);

  int64_t buttonState() const { return buttonState_; }
  void setButtonState(int64_t s);
  int64_t buttonPossibilityState() const { return possibilityState_; }
  void setButtonPossibilityState(int64_t s);
  bool forcedActive() const { return forcedActive_; }
  void setForcedActive(bool f);
  bool dim() const { return dim_; }
  void setDim(bool d);
  bool isActive() const { return buttonState_ == 1; }
  void swapButtonState();

  bool readyToBlink() const { return readyToBlink_; }
  uint64_t counter() const { return counter_; }
  void enableBlink(bool enable);
  void doBlink();

  const platform::EdgeInsets& imageEdgeInsets() const { return insets_; }
  void setImageEdgeInsets(const platform::EdgeInsets& e);
  // Meaningful only for the tap-tempo button.
  virtual void setNormalButtonMode(bool /*normal*/) {}

  // The image to show now; nullptr for none.
  platform::ImagePtr retrieveImage() const;
  platform::Layer& imageLayer1() const { return *imageLayer1_; }

  void setNeedsDisplay() override;
  void setEnabled(bool e) override;
  void setHighlighted(bool h) override;
  void layoutSubviews() override;

  void touchesBegan(const platform::TouchSet& touches, const platform::Event* event) override;
  void touchesMoved(const platform::TouchSet& touches, const platform::Event* event) override;
  void touchesEnded(const platform::TouchSet& touches, const platform::Event* event) override;
  void touchesCancelled(const platform::TouchSet& touches, const platform::Event* event) override;

 private:
  void myInit();
  void layoutImageLayer();

  bool dim_ = false;
  bool forcedActive_ = false;
  bool readyToBlink_ = false;
  int64_t buttonState_ = 0;
  int64_t possibilityState_ = 0;
  platform::ImagePtr imageNormal_;
  platform::ImagePtr imageActive_;
  platform::ImagePtr imageSelected_;
  platform::ImagePtr imageHighlighted_;
  uint64_t counter_ = 1;
  platform::LayerPtr imageLayer1_;
  platform::EdgeInsets insets_;
};

class UIMultipleStateButton : public TIButton {
 public:
  explicit UIMultipleStateButton(const platform::Rect& frame = {}) : TIButton(frame) {}

  uint16_t numberOfStates() const { return numberOfStates_; }
  void setNumberOfStates(uint16_t n) { numberOfStates_ = n; }
  // Stores the smaller of v and the number of states.
  void setValue(int64_t v) override;

  bool beginTrackingWithTouch(platform::Touch& touch, const platform::Event* event) override;
  bool continueTrackingWithTouch(platform::Touch& touch, const platform::Event* event) override;
  void endTrackingWithTouch(platform::Touch* touch, const platform::Event* event) override;
  void cancelTrackingWithEvent(const platform::Event* event) override;

 private:
  uint16_t numberOfStates_ = 0;
};

class TIToggleButton : public TIButton {
 public:
  explicit TIToggleButton(const platform::Rect& frame = {}) : TIButton(frame) {}

  // Stores the value, then button state 1 for a non-zero value, else 0.
  void setValue(int64_t v) override;
  bool isOn() const { return value() != 0; }
  void setOn(bool on) { setValue(on ? 1 : 0); }

  bool beginTrackingWithTouch(platform::Touch& touch, const platform::Event* event) override;
};
