#pragma once
// The pattern level dialog: one slider (5-300 %) scales the level of every
// part and every enabled level motion sequence of the engine's current
// pattern, applied at once so the user hears it while dragging. "OK" keeps
// the result in the engine (stored only when the user saves the pattern),
// "Cancel" puts the pattern back byte for byte, "Reset" returns to 100 %.
//
// Present it modally over the main screen:
//   auto dialog = std::make_shared<AdjustPatternLevelViewController>(synth);
//   mainViewController->presentViewController(dialog, true, nullptr);
//
// Every change starts from the copy taken at creation, so slider moves
// never compound. Main thread only.

#include <cstdint>
#include <memory>

#include "engine/record/pattern_record.h"
#include "platform/ui/button.h"
#include "platform/ui/slider.h"
#include "platform/ui/view_controller.h"

class Synth;

class AdjustPatternLevelViewController : public platform::ViewController {
 public:
  static constexpr int32_t kMinimumPercent = 5;
  static constexpr int32_t kMaximumPercent = 300;

  explicit AdjustPatternLevelViewController(Synth* synth);

  Synth* synth() const { return synth_; }
  const PatternRecord& backup() const { return backup_; }
  platform::Slider* levelSlider() const { return slider_.get(); }
  platform::Button* okButton() const { return ok_.get(); }
  platform::Button* cancelButton() const { return cancel_.get(); }
  platform::Button* resetButton() const { return reset_.get(); }

  // The backup with every part level and enabled level motion scaled by
  // `percent` (truncated, limited to 0-127).
  static PatternRecord adjusted(const PatternRecord& backup, int32_t percent);

  void sliderValueChanged();
  void adjustLevel(int32_t percent);
  void resetSliderValue();
  void processDone();
  void processCanceled();

  void viewDidLoad() override;
  unsigned supportedInterfaceOrientations() const override { return 24; }

 private:
  Synth* synth_;
  PatternRecord backup_;
  std::shared_ptr<platform::Slider> slider_;
  std::shared_ptr<platform::Button> ok_, cancel_, reset_;
};
