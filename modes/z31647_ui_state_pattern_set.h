#pragma once
// The Pattern set mode (normal layer): the sixteen step buttons launch the
// patterns of a pattern set. The page shown (0-3) is the bank, the step
// button the slot; pressing a slot loads its pattern and plays it, and
// choosing another pattern (main dial, program buttons, browser) while a
// slot is selected assigns that pattern to the slot once it has loaded.
//
// The mute and effect-send buttons stop being function buttons here and
// become two sub-modes of the part buttons (mute parts, switch their effect
// send), so parts can be muted while patterns change.

#include <cstdint>
#include <memory>

#include "modes/z31647_state.h"

class Z31647UiStatePatternSet : public Z31647UiStateNormal {
 public:
  // Sub-modes of the part buttons.
  static constexpr int64_t kPartSelect = 0;
  static constexpr int64_t kPartMute = 2;
  static constexpr int64_t kPartFxSend = 3;

  ~Z31647UiStatePatternSet() override;

  void stateChanged(EditModeHost* ctl) override;
  void stateWillBeLeft(EditModeHost* ctl) override;
  void seqButtonPushed(EditModeHost* ctl, TIButton* sender) override;
  void refreshSeqView(EditModeHost* ctl) override;
  void changePattern(EditModeHost* ctl, int32_t number) override;
  void patternChanged(EditModeHost* ctl) override;
  void refreshPartView(EditModeHost* ctl) override;
  void partButtonPushed(EditModeHost* ctl, int32_t part) override;
  void partButtonTriggeredOnWhenStepChanged(EditModeHost* ctl, int32_t step) override;
  void partButtonTriggeredOffWhenStepChanged(EditModeHost* ctl) override;
  void seqButtonTriggeredOnWhenStepChanged(EditModeHost*, int32_t) override {}
  void pollingInSeqStop(EditModeHost*) override {}
  void soloButtonPushed(EditModeHost* ctl, TIButton* sender) override;
  void muteButtonPushedAtPatternSet(EditModeHost* ctl, TIButton* sender) override;
  void fxSendButtonPushedAtPatternSet(EditModeHost* ctl, TIButton* sender) override;
  void patternSetPatternChangedFromMidi(EditModeHost* ctl, uint32_t bank, uint32_t slot) override;
  void partChangedFromMidi(EditModeHost* ctl, int32_t part) override;
  void synthParameterMuteChangedFromMidi(EditModeHost* ctl, int32_t part, int32_t value) override;

  int64_t currentMode() const { return currentMode_; }
  int32_t patternIndex() const { return patternIndex_; }
  bool patternRegistrating() const { return patternRegistrating_; }
  uint64_t patternSetMute() const { return patternSetMute_; }

 private:
  // The mute and effect-send buttons' own actions while the mode is in
  // force, and the function-button actions they had.
  void lendButtons(EditModeHost* ctl);
  void giveButtonsBack(EditModeHost* ctl);
  void drawMutes(EditModeHost* ctl);
  void drawFxSends(EditModeHost* ctl);

  EditModeHost* controller_ = nullptr;
  int64_t currentMode_ = kPartSelect;
  int32_t patternIndex_ = -1;
  bool patternRegistrating_ = false;
  // The pattern the selected slot is to take: only that pattern's load
  // registers it (another load means the request was superseded).
  int32_t requestedPattern_ = -1;
  uint64_t patternSetMute_ = 0;
  std::weak_ptr<TIButton> lentMute_;
  std::weak_ptr<TIButton> lentFxSend_;
};
