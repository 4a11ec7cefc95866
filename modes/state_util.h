#pragma once
// What several edit modes share: live recordings into the current pattern
// (a trigger of a part, a motion value of a part, effect or accent
// parameter) at the play position, the step such a recording lands on, the
// flash of the part buttons whose parts trigger at the play position, and
// the lending of the effect-send and accent buttons to the part buttons'
// group while a clear or move mode is in force.
//
// Stateless; every method works through the main view controller and the
// engine. Main thread only.

#include <cstdint>

#include "modes/edit_mode_host.h"

class StateUtil {
 public:
  // Keys under which the lent buttons join the part buttons' group.
  static constexpr int64_t kFxSendPartKey = 10;
  static constexpr int64_t kAccentPartKey = 11;

  // The step a live recording lands on: the next step in the second half of
  // a step, kept inside the steps that play (the looping page in loop mode).
  static int32_t limitStepNumber(EditModeHost* ctl, int32_t step, int32_t odd);
  // The step unchanged (MIDI recordings do not round).
  static int32_t limitStepNumberRoundDown(EditModeHost* ctl, int32_t step, int32_t odd);

  static void recordTrigger(EditModeHost* ctl);
  static void recordTriggerFromMidi(EditModeHost* ctl, int32_t part);
  static void recordMotion(EditModeHost* ctl, int32_t parameterId, int32_t value);
  static void recordMotionFromMidi(EditModeHost* ctl, int32_t part, int32_t parameterId, int32_t value);
  static void recordFxMotion(EditModeHost* ctl, int32_t parameterId, int32_t value);
  static void recordFxMotionFromMidi(EditModeHost* ctl, int32_t set, int32_t parameterId, int32_t value);
  static void recordAccentMotion(EditModeHost* ctl, int32_t parameterId, int32_t value);
  static void recordAccentMotionFromMidi(EditModeHost* ctl, int32_t parameterId, int32_t value);

  // Lights the part buttons whose parts trigger at `step`.
  static void triggerPart(EditModeHost* ctl, int32_t step);
  static void removeTriggerSign(EditModeHost* ctl);

  static void joinFunctionButtonsIntoPartButtons(EditModeHost* ctl);
  static void resignFunctionButtonsIntoPartButtons(EditModeHost* ctl);
  static void joinFxSendButtonIntoPartButtons(EditModeHost* ctl);
  static void joinAccentButtonIntoPartButtons(EditModeHost* ctl);
  static void resignFxSendButtonIntoPartButtons(EditModeHost* ctl);
  static void resignAccentButtonIntoPartButtons(EditModeHost* ctl);
  static void makeMasterButtons(EditModeHost* ctl, bool enabled);

 private:
  // The playing step and its half flag.
  static int32_t playingStep(EditModeHost* ctl) { return static_cast<int32_t>(ctl->currentStepTwice() >> 1); }
  static int32_t playingOdd(EditModeHost* ctl) { return static_cast<int32_t>(ctl->currentStepTwice() & 1); }
};
