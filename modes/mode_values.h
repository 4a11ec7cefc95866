#pragma once
// Small rules several edit modes share: the ranges a value from MIDI is
// held to before it is shown or recorded, and whether a finger is on a
// control (motion playback leaves such a control alone, motion recording
// takes its value).

#include <cstdint>

#include "controls/ti_control.h"
#include "controls/ui_slider_button.h"
#include "engine/record/param_tables.h"

namespace mode_values {

inline int32_t clampTo(int32_t v, int32_t lo, int32_t hi) {
  if (v > hi) return hi;
  if (v < lo) return lo;
  return v;
}

// Part parameters 0-12 by the engine's table; other indices unchanged.
inline int32_t clampPartValue(int32_t index, int32_t value) {
  if (index < 0 || index >= kNumPartParams) return value;
  const PartParamInfo& row = kSynthPartParamInfo[index];
  return clampTo(value, row.min, row.max);
}

// "Effect Type" 0-7, "FX Edit1" and "FX Edit2" 0-127.
inline int32_t clampEffectValue(int32_t index, int32_t value) {
  static constexpr int32_t kMax[3] = {7, 127, 127};
  if (index < 0 || index > 2) return value;
  return clampTo(value, 0, kMax[index]);
}

// "Accent Level" 0-127, "Accent Motion" 0-2 (the three kinds of "Motion Seq").
inline int32_t clampAccentValue(int32_t index, int32_t value) {
  static constexpr int32_t kMax[2] = {127, 2};
  if (index < 0 || index > 1) return value;
  return clampTo(value, 0, kMax[index]);
}

// A finger is on the control (a knob counts from its own touch-down, before
// the control kit's tracking starts).
inline bool touched(const TIControl* c) {
  if (!c) return false;
  if (const auto* knob = dynamic_cast<const UISliderButton*>(c)) return knob->trackingNow() || knob->isTracking();
  return c->isTracking();
}

}  // namespace mode_values
