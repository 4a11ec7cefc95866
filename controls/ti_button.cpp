#include "controls/ti_button.h"

#include <algorithm>

#include "platform/ui/screen.h"

using platform::Event;
using platform::ImagePtr;
using platform::Touch;
using platform::TouchSet;

TIButton::TIButton(const platform::Rect& frame) : TIControl(frame) { myInit(); }

void TIButton::myInit() {
  counter_ = 1;
  readyToBlink_ = false;
  imageLayer1_ = std::make_shared<platform::Layer>();
  layer().addSublayer(imageLayer1_);
  imageLayer1_->setContentsScale(platform::Screen::mainScreen().scale());
  // Image and layout changes show at once.
  for (const char* key : {"onOrderIn", "onOrderOut", "hidden", "contents", "position", "bounds", "transform"})
    imageLayer1_->setActionDisabled(key);
  layoutImageLayer();
}

void TIButton::setHighlightedImage(ImagePtr i) {
  imageHighlighted_ = std::move(i);
  platform::Control::setNeedsDisplay();
}

void TIButton::setImage(ImagePtr image, unsigned index) {
  switch (index) {
    case 0: imageNormal_ = std::move(image); break;
    case 1: imageActive_ = std::move(image); break;
    case 2: imageSelected_ = std::move(image); break;
    default: break;
  }
  setNeedsDisplay();
}

void TIButton::setButtonState(int64_t s) {
  if (s == buttonState_) return;
  buttonState_ = s;
  setNeedsDisplay();
}

void TIButton::setButtonPossibilityState(int64_t s) {
  if (s == possibilityState_) return;
  possibilityState_ = s;
  setNeedsDisplay();
}

void TIButton::setForcedActive(bool f) {
  if (f == forcedActive_) return;
  forcedActive_ = f;
  setNeedsDisplay();
}

void TIButton::setDim(bool d) {
  if (d == dim_) return;
  dim_ = d;
  setNeedsDisplay();
}

void TIButton::swapButtonState() {
  buttonState_ = buttonState_ != 1 ? 1 : 0;
  setNeedsDisplay();
}

void TIButton::enableBlink(bool enable) {
  if (enable) {
    counter_ = 1;
    readyToBlink_ = true;
  } else {
    readyToBlink_ = false;
    setNeedsDisplay();
  }
}

void TIButton::doBlink() {
  if (!readyToBlink_) return;
  ++counter_;
  setNeedsDisplay();
}

void TIButton::setImageEdgeInsets(const platform::EdgeInsets& e) {
  insets_ = e;
  layoutImageLayer();
}

ImagePtr TIButton::retrieveImage() const {
  if (isHighlighted() && imageHighlighted_) return imageHighlighted_;
  if (forcedActive_) return imageActive_;
  const int64_t either = buttonState_ | possibilityState_;
  if (either == 1) return possibilityState_ != 0 ? imageSelected_ : imageActive_;
  if (either != 0) return nullptr;
  if (readyToBlink_) return (counter_ % 2 == 1) ? imageActive_ : imageNormal_;
  return imageNormal_;
}

void TIButton::setNeedsDisplay() {
  platform::Control::setNeedsDisplay();
  if (!imageLayer1_) return;
  imageLayer1_->setContents(retrieveImage());
  imageLayer1_->setOpacity(!isEnabled() ? 0.5 : dim_ ? 0.75 : 1.0);
}

void TIButton::setEnabled(bool e) {
  if (e == isEnabled()) return;
  platform::Control::setEnabled(e);
  setNeedsDisplay();
}

void TIButton::setHighlighted(bool h) {
  if (h == isHighlighted()) return;
  platform::Control::setHighlighted(h);
  setNeedsDisplay();
}

void TIButton::layoutSubviews() {
  platform::Control::layoutSubviews();
  layoutImageLayer();
}

void TIButton::layoutImageLayer() {
  const platform::Rect b = bounds();
  imageLayer1_->setFrame({b.origin.x + insets_.left, b.origin.y + insets_.top, b.size.width - (insets_.left + insets_.right),
                          b.size.height - (insets_.top + insets_.bottom)});
}

// Each touch phase: the control's own handling, then the next responder.
void TIButton::touchesBegan(const TouchSet& touches, const Event* event) {
  auto keep = shared_from_this();
  platform::Control::touchesBegan(touches, event);
  if (platform::Responder* next = nextResponder()) next->touchesBegan(touches, event);
}

void TIButton::touchesMoved(const TouchSet& touches, const Event* event) {
  auto keep = shared_from_this();
  platform::Control::touchesMoved(touches, event);
  if (platform::Responder* next = nextResponder()) next->touchesMoved(touches, event);
}

void TIButton::touchesEnded(const TouchSet& touches, const Event* event) {
  auto keep = shared_from_this();
  platform::Control::touchesEnded(touches, event);
  if (platform::Responder* next = nextResponder()) next->touchesEnded(touches, event);
}

void TIButton::touchesCancelled(const TouchSet& touches, const Event* event) {
  auto keep = shared_from_this();
  platform::Control::touchesCancelled(touches, event);
  if (platform::Responder* next = nextResponder()) next->touchesCancelled(touches, event);
}

void UIMultipleStateButton::setValue(int64_t v) {
  TIControl::setValue(std::min<int64_t>(v, static_cast<int64_t>(numberOfStates_)));
}

bool UIMultipleStateButton::beginTrackingWithTouch(Touch& touch, const Event* event) {
  const int64_t next = value() + 1;
  TIControl::setValue(numberOfStates_ != 0 ? next % numberOfStates_ : next);
  setButtonState(1);
  return TIButton::beginTrackingWithTouch(touch, event);
}

bool UIMultipleStateButton::continueTrackingWithTouch(Touch& touch, const Event* event) {
  return TIButton::continueTrackingWithTouch(touch, event);
}

void UIMultipleStateButton::endTrackingWithTouch(Touch* touch, const Event* event) {
  setButtonState(0);
  TIButton::endTrackingWithTouch(touch, event);
}

void UIMultipleStateButton::cancelTrackingWithEvent(const Event* event) {
  setButtonState(0);
  TIButton::cancelTrackingWithEvent(event);
}

void TIToggleButton::setValue(int64_t v) {
  TIControl::setValue(v);
  setButtonState(v != 0 ? 1 : 0);
}

bool TIToggleButton::beginTrackingWithTouch(Touch& touch, const Event* event) {
  setOn(!isOn());
  return TIButton::beginTrackingWithTouch(touch, event);
}
