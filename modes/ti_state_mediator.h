#pragma once
// The edit-mode mediator: owns one object per edit mode, knows which one is
// current and switches between them with a fixed order of hooks.
//
// The thirteen modes (UiStateIndex) fall into two layers: 0-5 the normal
// layer, 6-12 the shift layer. A switch within a layer runs the old mode's
// stateWillBeLeft and then the new mode's stateChanged; a switch across
// layers runs, in this order, the old mode's modeWillBeLeft and
// stateWillBeLeft, then the new mode's stateChanged and modeChanged.
// Switching to the current index runs nothing. No hook runs at creation.
//
// Mode objects are made once and reused on every visit, so their own fields
// survive between visits. Main thread only.

#include <array>
#include <cstdint>
#include <memory>

#include "modes/function_modes.h"
#include "modes/z31647_state.h"
#include "modes/z31647_ui_state_accent.h"
#include "modes/z31647_ui_state_effect.h"
#include "modes/z31647_ui_state_mute.h"

using UiStateIndex = int32_t;

namespace ui_state {
inline constexpr UiStateIndex kNormal = 0;
inline constexpr UiStateIndex kMute = 1;
inline constexpr UiStateIndex kAccent = 2;
inline constexpr UiStateIndex kEffect = 3;
inline constexpr UiStateIndex kPatternSet = 4;
inline constexpr UiStateIndex kStepJump = 5;
inline constexpr UiStateIndex kShifted = 6;
inline constexpr UiStateIndex kStepCopy = 7;
inline constexpr UiStateIndex kPartClear = 8;
inline constexpr UiStateIndex kMotionClear = 9;
inline constexpr UiStateIndex kRandomizeSynth = 10;
inline constexpr UiStateIndex kRandomizePattern = 11;
inline constexpr UiStateIndex kMoveData = 12;
inline constexpr UiStateIndex kCount = 13;
}  // namespace ui_state

class TIStateMediator {
 public:
  virtual ~TIStateMediator() = default;

  UiStateIndex currentStateIndex() const { return currentStateIndex_; }
  Z31647State* currentState() const { return currentState_.get(); }
  // 0 the normal layer, 1 the shift layer.
  int32_t currentMode() const { return currentStateIndex_ > 5 ? 1 : 0; }

  // The mode object of an index; none in the abstract mediator.
  virtual std::shared_ptr<Z31647State> getState(UiStateIndex index) const;
  // Whether `index` lies in the other layer.
  bool modeWillChange(UiStateIndex index) const;
  void changeState(EditModeHost* controller, UiStateIndex index);

 protected:
  std::shared_ptr<Z31647State> currentState_;
  UiStateIndex currentStateIndex_ = 0;
};

// The mediator the main view controller uses: the six normal-layer modes in
// `states`, the seven shift-layer ones in `states2`.
class Z31647UiStateMediator : public TIStateMediator {
 public:
  Z31647UiStateMediator();

  // Indices outside 0-12 have no mode (null).
  std::shared_ptr<Z31647State> getState(UiStateIndex index) const override;

  const std::array<std::shared_ptr<Z31647State>, 6>& states() const { return states_; }
  void setStates(std::array<std::shared_ptr<Z31647State>, 6> s) { states_ = std::move(s); }
  const std::array<std::shared_ptr<Z31647State>, 7>& states2() const { return states2_; }
  void setStates2(std::array<std::shared_ptr<Z31647State>, 7> s) { states2_ = std::move(s); }

 private:
  std::array<std::shared_ptr<Z31647State>, 6> states_;
  std::array<std::shared_ptr<Z31647State>, 7> states2_;
};
