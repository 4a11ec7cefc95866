#pragma once
// A settings row that edits one number two ways: a slider on the left for
// coarse whole-number moves and a small text field on the right for typing
// an exact number. Each end keeps the other current, and every change made
// by the user is reported with the value-changed event.
//
// The value is always a multiple of 0.1 rounded down. The owner sets the
// range on `slider()` (maximum first, then minimum), picks whole-number or
// one-decimal display with the value mode, and reads valueAsFloat or
// valueAsInt in its handler. A typed number is limited to the slider's
// range before it is stored and reported, so handlers only ever see values
// inside the range they set; text that is no number counts as 0 (and is
// then limited like any other).
//
// Main thread only.

#include <cstdint>
#include <memory>

#include "platform/ui/control.h"
#include "platform/ui/slider.h"
#include "platform/ui/text_field.h"

class UISliderWithTextValue : public platform::Control, public platform::TextFieldDelegate {
 public:
  enum ValueMode : int64_t { kWholeNumber = 0, kOneDecimal = 1 };
  static constexpr double kFontSize = 16.0;

  UISliderWithTextValue();
  ~UISliderWithTextValue() override;

  // Stores floor(v × 10) × 0.1 and shows it on both ends; sends nothing.
  void setValue(float v);
  float value() const { return value_; }
  float valueAsFloat() const { return value_; }
  int32_t valueAsInt() const { return static_cast<int32_t>(value_); }

  // 0 whole number ("%d"), 1 one decimal ("%.1f"); any other value leaves
  // the text alone. Takes effect at the next setValue.
  int64_t valueMode() const { return valueMode_; }
  void setValueMode(int64_t mode) { valueMode_ = mode; }

  platform::Slider* slider() const { return slider_.get(); }
  void setSlider(std::shared_ptr<platform::Slider> slider);
  platform::TextField* textField() const { return textField_.get(); }
  void setTextField(std::shared_ptr<platform::TextField> field);

  // The number field shrinks its font (down to half size) until its text
  // fits the field's width.
  bool adjustsFontSizeToFitWidth() const { return adjustsFont_; }
  void setAdjustsFontSizeToFitWidth(bool adjust);

  void layoutSubviews() override;

  // The slider's action: whole numbers only, then value-changed.
  void sliderValueChanged(platform::Control& slider);

  // ---- the number field
  void textFieldDidBeginEditing(platform::TextField& field) override;
  bool shouldChangeCharacters(platform::TextField&, size_t, size_t, const std::string&) override { return true; }
  bool textFieldShouldReturn(platform::TextField& field) override;
  void textFieldDidEndEditing(platform::TextField& field) override;

 private:
  void attachSlider();
  void attachTextField();
  void fitFont();

  int64_t valueMode_ = kWholeNumber;
  float value_ = 0.0f;
  bool adjustsFont_ = false;
  std::shared_ptr<platform::Slider> slider_;
  std::shared_ptr<platform::TextField> textField_;
};
