#pragma once
// A row of ordinary buttons (any control: each gets its index as tag and
// shows the choice with its selected flag) made into one control with a
// single selected segment. Its value is a fraction from 0 (first segment) to
// 1 (last), so owners can treat it like a slider with detents; its index
// (`current`) is the selected segment. Only touches send value-changed,
// and only when they pick another segment.
//
// Main thread only.

#include <cstdint>
#include <memory>
#include <vector>

#include "controls/ti_control.h"

class TISegmentedControl : public GBXTIControl {
 public:
  using Segment = std::shared_ptr<platform::Control>;

  explicit TISegmentedControl(const platform::Rect& frame = {});
  ~TISegmentedControl() override;

  // Installs the segments and selects the first (no event). The array
  // already installed changes nothing. Segments of an earlier array stop
  // reporting to this control.
  void setButtons(const std::vector<Segment>& buttons);
  const std::vector<Segment>& buttons() const { return buttons_; }

  // Selects the segment nearest the fraction f.
  void setValue(float f);
  // Selects segment i (limited to the row) and sets the matching value.
  void setIndex(int64_t i);
  // A segment's touch-down.
  void buttonPushed(platform::Control& button);

  int64_t current() const { return current_; }
  // Plain property: no segment changes.
  void setCurrent(int64_t c) { current_ = c; }
  // A segment is tracking a touch.
  bool isTracking() const;
  int64_t numberOfStates() const { return static_cast<int64_t>(buttons_.size()); }

 private:
  void detachButtons();

  std::vector<Segment> buttons_;
  int64_t current_ = 0;
};
