#pragma once
// The settings screen laid out for large screens: the same four pattern
// rows as the settings screen (tempo always up to 600) and, in place of the
// tempo lock switch, show tips, preview sounds and the supported
// controllers' native mode next to background audio.
//
// The sliders are made in code; the two segmented controls and the four
// switches are outlets that a layout fills before the view loads (setters
// below); whatever is not filled stays absent. Values are read once when the
// view loads; afterwards only the sliders follow pattern and MIDI changes,
// while the screen is on screen. Like the settings screen it only shows:
// whoever presents it wires its controls.
//
// Main thread only.

#include <memory>

#include "platform/ui/view_controller.h"
#include "platform/ui/widgets.h"

class Synth;
class UISliderWithTextValue;

class SettingScreenIpadController : public platform::ViewController {
 public:
  static constexpr platform::Size kPreferredSize{380, 612};
  static constexpr platform::Size kPopoverContentSize{360, 600};

  SettingScreenIpadController();
  ~SettingScreenIpadController() override;

  // The engine the values come from; the engine singleton unless set.
  void setSynth(Synth* synth) {
    synth_ = synth;
    hasSynth_ = true;
  }
  Synth* synth() const;

  void viewDidLoad() override;
  void viewWillAppear(bool animated) override;
  void viewDidDisappear(bool animated) override;
  unsigned supportedInterfaceOrientations() const override { return 24; }
  // Whatever a presenter set.
  platform::Size preferredContentSize() const override { return kPreferredSize; }
  platform::Size contentSizeForViewInPopover() const { return kPopoverContentSize; }

  void addObserver();
  void removeObserver();
  void patternChanged();
  void updateSeqParameters();
  void synthParameterChangedFromMidi(int64_t parameterId, int64_t value);
  bool isObserving() const { return observing_; }
  // Drops every control.
  void viewDidUnload();

  UISliderWithTextValue* tempoSlider() const { return tempoSlider_.get(); }
  UISliderWithTextValue* swingSlider() const { return swingSlider_.get(); }
  UISliderWithTextValue* lengthSlider() const { return lengthSlider_.get(); }
  UISliderWithTextValue* lastStepSlider() const { return lastStepSlider_.get(); }
  platform::SegmentedControl* knobModeButton() const { return knobModeButton_.get(); }
  void setKnobModeButton(std::shared_ptr<platform::SegmentedControl> c) { knobModeButton_ = std::move(c); }
  platform::SegmentedControl* gridModeButton() const { return gridModeButton_.get(); }
  void setGridModeButton(std::shared_ptr<platform::SegmentedControl> c) { gridModeButton_ = std::move(c); }
  platform::Switch* showTipsSwitch() const { return showTipsSwitch_.get(); }
  void setShowTipsSwitch(std::shared_ptr<platform::Switch> s) { showTipsSwitch_ = std::move(s); }
  platform::Switch* soundPreviewSwitch() const { return soundPreviewSwitch_.get(); }
  void setSoundPreviewSwitch(std::shared_ptr<platform::Switch> s) { soundPreviewSwitch_ = std::move(s); }
  platform::Switch* Quilla2NativeModeSwitch() const { return nativeModeSwitch_.get(); }
  void setQuilla2NativeModeSwitch(std::shared_ptr<platform::Switch> s) { nativeModeSwitch_ = std::move(s); }
  platform::Switch* backgroundAudioSwitch() const { return backgroundAudioSwitch_.get(); }
  void setBackgroundAudioSwitch(std::shared_ptr<platform::Switch> s) { backgroundAudioSwitch_ = std::move(s); }

 private:
  Synth* synth_ = nullptr;
  bool hasSynth_ = false;
  bool observing_ = false;
  std::shared_ptr<UISliderWithTextValue> tempoSlider_, swingSlider_, lengthSlider_, lastStepSlider_;
  std::shared_ptr<platform::SegmentedControl> knobModeButton_, gridModeButton_;
  std::shared_ptr<platform::Switch> showTipsSwitch_, soundPreviewSwitch_, nativeModeSwitch_, backgroundAudioSwitch_;
};
