#pragma once
// The tap-tempo button: measures the time between taps and reports a tempo
// in beats per minute with its value-changed event, sent at touch-down
// (before the TouchDown actions) from the second tap of a series on. The
// tempo is 60 ÷ the mean of up to the last 14 tap intervals; a pause of more
// than 1 s starts a new series at the next tap, which reports nothing.
//
// In plain mode (normalButtonMode) it is an ordinary image button and
// measures nothing.
//
// Main thread only.

#include <array>
#include <cstdint>
#include <string>

#include "controls/ti_button.h"

class TITouchFrequencyCountButton : public TIButton {
 public:
  static constexpr int kRingSize = 16;
  static constexpr int kMaxAveraged = 14;
  static constexpr double kSeriesGap = 1.0;

  explicit TITouchFrequencyCountButton(const platform::Rect& frame = {});

  float valueAsFloat() const { return floatValue_; }
  int32_t valueAsInt() const { return static_cast<int32_t>(floatValue_); }

  bool normalButtonMode() const { return normalButtonMode_; }
  void setNormalButtonMode(bool normal) override { normalButtonMode_ = normal; }

  // A label for the owner; the button does not draw it. The state is ignored.
  const std::string& title() const { return title_; }
  void setTitle(const std::string& title, unsigned state);

  bool beginTrackingWithTouch(platform::Touch& touch, const platform::Event* event) override;
  void endTrackingWithTouch(platform::Touch* touch, const platform::Event* event) override;
  void cancelTrackingWithEvent(const platform::Event* event) override;

  // Measurement state, for the owner's display and for tests.
  double previousTime() const { return previousTime_; }
  int64_t position() const { return position_; }
  int64_t tapCounter() const { return tapCounter_; }
  const std::array<double, kRingSize>& periods() const { return periods_; }

  // One tap at time `t` (seconds); true when it measured a tempo.
  bool tap(double t);

 private:
  double previousTime_ = 0.0;
  int64_t position_ = 0;
  bool normalButtonMode_ = false;
  std::array<double, kRingSize> periods_{};
  int64_t tapCounter_ = 0;
  double interval_ = 0.0;
  float floatValue_ = 0.0f;
  std::string title_;
};
