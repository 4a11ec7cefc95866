#pragma once
// The two randomize modes (shift layer): a part button press first lets the
// pattern randomizer rewrite that part, its steps (randomize pattern) or its
// sound (randomize synth), then acts as an ordinary part press, so the part
// becomes current and the panel shows its new data. No panel control
// selects these modes; they behave so whenever one is current.

#include "modes/z31647_state.h"

class Z31647UiStateRandomizePattern : public Z31647UiStateShifted {
 public:
  void partButtonPushed(EditModeHost* ctl, int32_t part) override;
};

class Z31647UiStateRandomizeSynth : public Z31647UiStateShifted {
 public:
  void partButtonPushed(EditModeHost* ctl, int32_t part) override;
};
