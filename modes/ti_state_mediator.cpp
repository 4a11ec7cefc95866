#include "modes/ti_state_mediator.h"

std::shared_ptr<Z31647State> TIStateMediator::getState(UiStateIndex) const { return nullptr; }

bool TIStateMediator::modeWillChange(UiStateIndex index) const {
  return currentMode() == 1 ? index < 6 : index > 5;
}

void TIStateMediator::changeState(EditModeHost* controller, UiStateIndex index) {
  if (index == currentStateIndex_) return;
  std::shared_ptr<Z31647State> next = getState(index);
  // An index with no mode behind it would leave no mode in force.
  if (!next) return;
  const bool crossing = modeWillChange(index);
  std::shared_ptr<Z31647State> old = currentState_;
  if (old) {
    if (crossing) old->modeWillBeLeft(controller);
    old->stateWillBeLeft(controller);
  }
  currentState_ = std::move(next);
  currentStateIndex_ = index;
  // The mode entered may switch again from its hooks; the hooks still run
  // on the object that was entered.
  std::shared_ptr<Z31647State> entered = currentState_;
  entered->stateChanged(controller);
  if (crossing) entered->modeChanged(controller);
}

Z31647UiStateMediator::Z31647UiStateMediator() {
  states_ = {std::make_shared<Z31647UiStateNormal>(),  std::make_shared<Z31647UiStateMute>(),
             std::make_shared<Z31647UiStateAccent>(),  std::make_shared<Z31647UiStateEffect>(),
             std::make_shared<Z31647UiStatePatternSet>(), std::make_shared<GBXUiStateStepJump>()};
  states2_ = {std::make_shared<Z31647UiStateShifted>(),        std::make_shared<Z31647UiStateStepCopy>(),
              std::make_shared<Z31647UiStatePartClear>(),      std::make_shared<Z31647UiStateMotionClear>(),
              std::make_shared<Z31647UiStateRandomizeSynth>(), std::make_shared<Z31647UiStateRandomizePattern>(),
              std::make_shared<Z31647UiStateMoveData>()};
  currentState_ = states_[0];
  currentStateIndex_ = 0;
}

std::shared_ptr<Z31647State> Z31647UiStateMediator::getState(UiStateIndex index) const {
  if (index >= 0 && index < 6) return states_[static_cast<size_t>(index)];
  if (index >= 6 && index < ui_state::kCount) return states2_[static_cast<size_t>(index - 6)];
  return nullptr;
}
