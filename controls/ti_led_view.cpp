#include "controls/ti_led_view.h"

#include "platform/ui/screen.h"

TILedView::TILedView(const platform::Rect& frame) : View(frame) { myInit(); }

void TILedView::myInit() {
  setBackgroundColor(platform::Color::clear());
  ledState_ = kOff;
  imageLayer_ = std::make_shared<platform::Layer>();
  imageLayer_->setFrame(bounds());
  imageLayer_->setContentsScale(platform::Screen::mainScreen().scale());
  layer().addSublayer(imageLayer_);
}

void TILedView::layoutSubviews() {
  View::layoutSubviews();
  imageLayer_->setFrame(bounds());
}

void TILedView::setLedState(int64_t state) {
  if (state == ledState_) return;
  ledState_ = state;
  updateImage();
}

void TILedView::setGreenImage(platform::ImagePtr image) {
  greenImage_ = std::move(image);
  updateImage();
}

void TILedView::setRedImage(platform::ImagePtr image) {
  redImage_ = std::move(image);
  updateImage();
}

void TILedView::updateImage() {
  platform::ImagePtr picture;
  if (ledState_ == kGreen) picture = greenImage_;
  if (ledState_ == kRed) picture = redImage_;
  // Only a real change starts the layer's fade.
  if (imageLayer_->contents() != picture) imageLayer_->setContents(std::move(picture));
}

void LedMediator::appendLed(std::shared_ptr<TILedView> led) {
  if (led) leds_.push_back(std::move(led));
}

void LedMediator::setLed(int32_t index, int64_t color) {
  const uint64_t key = static_cast<uint64_t>(static_cast<int64_t>(index));
  if (key == lightOn_) return;
  lightOn_ = key;
  const uint32_t lit = static_cast<uint32_t>(index);
  for (size_t i = 0; i < leds_.size(); ++i) {
    leds_[i]->setLedState(i == lit ? color : TILedView::kOff);
    leds_[i]->setNeedsDisplay();
  }
}
