#include "controls/ui_slider_with_text_value.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/gfx/text.h"

namespace {

std::string format(int64_t mode, float shown) {
  char buf[64];
  if (mode == UISliderWithTextValue::kOneDecimal) {
    std::snprintf(buf, sizeof buf, "%.1f", static_cast<double>(shown));
  } else {
    std::snprintf(buf, sizeof buf, "%d", static_cast<int>(shown));
  }
  return buf;
}

// The number at the start of the text, as the platform's float reading of a
// string does: leading blanks skipped, trailing characters ignored, 0 when
// there is no number.
float leadingFloat(const std::string& text) {
  const char* begin = text.c_str();
  char* end = nullptr;
  const float v = std::strtof(begin, &end);
  if (end == begin || !std::isfinite(v)) return 0.0f;
  return v;
}

}  // namespace

UISliderWithTextValue::UISliderWithTextValue() : Control(platform::Rect{}) {
  setSlider(std::make_shared<platform::Slider>());
  auto field = std::make_shared<platform::TextField>();
  field->setKeyboardType(platform::KeyboardType::NumbersAndPunctuation);
  field->setBorderStyle(platform::TextBorderStyle::RoundedRect);
  field->setFont(platform::Font::named("HelveticaNeue", kFontSize));
  setTextField(std::move(field));
}

UISliderWithTextValue::~UISliderWithTextValue() {
  if (slider_) slider_->removeTarget(this, "", platform::ControlEvents::AllEvents);
  if (textField_) textField_->setDelegate(nullptr);
}

void UISliderWithTextValue::setSlider(std::shared_ptr<platform::Slider> slider) {
  if (slider_ == slider) return;
  if (slider_) {
    slider_->removeTarget(this, "", platform::ControlEvents::AllEvents);
    slider_->removeFromSuperview();
  }
  slider_ = std::move(slider);
  attachSlider();
}

void UISliderWithTextValue::setTextField(std::shared_ptr<platform::TextField> field) {
  if (textField_ == field) return;
  if (textField_) {
    textField_->setDelegate(nullptr);
    textField_->removeFromSuperview();
  }
  textField_ = std::move(field);
  attachTextField();
}

void UISliderWithTextValue::attachSlider() {
  if (!slider_) return;
  slider_->addTarget(this, "sliderValueChanged:", [this](platform::Control& c) { sliderValueChanged(c); },
                     platform::ControlEvents::ValueChanged);
  addSubview(slider_);
  setNeedsLayout();
}

void UISliderWithTextValue::attachTextField() {
  if (!textField_) return;
  textField_->setDelegate(this);
  addSubview(textField_);
  setNeedsLayout();
}

void UISliderWithTextValue::setValue(float v) {
  // floor in single precision, the tenth in double precision.
  value_ = static_cast<float>(static_cast<double>(std::floor(v * 10.0f)) * 0.1);
  if (!slider_) return;
  slider_->setValue(value_);
  if (textField_ && (valueMode_ == kWholeNumber || valueMode_ == kOneDecimal)) {
    textField_->setText(format(valueMode_, slider_->value()));
    fitFont();
  }
}

void UISliderWithTextValue::setAdjustsFontSizeToFitWidth(bool adjust) {
  adjustsFont_ = adjust;
  fitFont();
}

void UISliderWithTextValue::fitFont() {
  if (!textField_) return;
  platform::Font font = textField_->font().withSize(kFontSize);
  const double width = textField_->bounds().size.width - 14.0;  // the rounded border's insets
  if (adjustsFont_ && width > 0) {
    platform::TextStyle style;
    style.font = font;
    while (font.pointSize > kFontSize / 2 && platform::measureText(textField_->text(), style, 0).width > width) {
      font = font.withSize(font.pointSize - 0.5);
      style.font = font;
    }
  }
  if (!(font == textField_->font())) textField_->setFont(font);
}

void UISliderWithTextValue::layoutSubviews() {
  const platform::Rect b = bounds();
  const double sliderWidth = 0.73 * b.size.width;
  if (slider_) slider_->setFrame({b.origin.x, b.origin.y, sliderWidth, b.size.height});
  if (textField_) {
    textField_->setFrame({sliderWidth + 5, b.origin.y + 5, 0.25 * b.size.width, b.size.height - 10});
    fitFont();
  }
}

void UISliderWithTextValue::sliderValueChanged(platform::Control&) {
  if (!slider_) return;
  setValue(std::floor(slider_->value()));
  sendActionsForControlEvents(platform::ControlEvents::ValueChanged);
}

void UISliderWithTextValue::textFieldDidBeginEditing(platform::TextField& field) {
  field.selectAll();
  platform::MenuController::sharedMenuController().setMenuVisible(false);
}

bool UISliderWithTextValue::textFieldShouldReturn(platform::TextField& field) {
  field.resignFirstResponder();
  return true;
}

void UISliderWithTextValue::textFieldDidEndEditing(platform::TextField& field) {
  float typed = leadingFloat(field.text());
  if (slider_) typed = std::clamp(typed, slider_->minimumValue(), std::max(slider_->minimumValue(), slider_->maximumValue()));
  setValue(typed);
  sendActionsForControlEvents(platform::ControlEvents::ValueChanged);
  field.resignFirstResponder();
}
