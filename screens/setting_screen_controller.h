#pragma once
// The settings screen: four values of the current pattern (tempo, swing,
// length, last step) and four global settings (knob gesture, pattern change
// grid, tempo lock, background audio) on one vertically scrolling page.
//
// The screen only shows values. It fills its controls from the engine's
// current pattern record and the global settings each time it appears, and
// keeps the four pattern values current while it is on screen by following
// the engine's notifications. It never writes a value: whoever presents it
// becomes the target of each control's value-changed event and applies the
// value itself, so it works the same in a popover and on a navigation stack.
// The global-setting controls are read only when the screen appears.
//
// Main thread only.

#include <memory>

#include "platform/ui/label.h"
#include "platform/ui/view_controller.h"
#include "platform/ui/widgets.h"

class Synth;
class UISliderWithTextValue;

class SettingScreenController : public platform::ViewController, public platform::ScrollViewDelegate {
 public:
  static constexpr float kTempoMin = 20.0f;
  static constexpr float kTempoMax = 600.0f;
  static constexpr float kTempoMaxLink = 999.0f;
  static constexpr platform::Size kContentSize{420, 364};
  // Every row's control starts here; its title lies left of it.
  static constexpr double kControlLeft = 160;
  static constexpr double kLabelFontSize = 14;
  static constexpr double kSmallestLabelFontSize = 10;
  // The grey every switch of the program takes as its off colour once the
  // screen was built.
  static platform::Color switchTint() { return platform::Color::rgba(202.0 / 255, 202.0 / 255, 202.0 / 255, 1.0); }

  SettingScreenController();
  ~SettingScreenController() override;

  // The engine the values come from; the engine singleton unless set.
  void setSynth(Synth* synth) { synth_ = synth; hasSynth_ = true; }
  Synth* synth() const;

  void loadView() override;
  void viewDidLoad() override;
  void viewWillAppear(bool animated) override;
  void viewDidDisappear(bool animated) override;
  unsigned supportedInterfaceOrientations() const override { return 24; }

  float retrieveTempoMin() const { return kTempoMin; }
  float retrieveTempoMax() const;
  bool isAbletonLinkSyncOn() const;
  // Beats per minute: the Link session's tempo to a tenth while Link sync
  // is on, else the pattern's.
  float retrieveTempoValue() const;
  void updateTempoSlider();
  void updateSeqParameters();

  void addObserver();
  void removeObserver();
  void patternChanged();
  // Swing, last step and length changed by MIDI (the sequence group).
  void synthParameterChangedFromMidi(int64_t parameterId, int64_t value);
  void abletonLinkSyncTempoChanged();
  void abletonLinkSyncEnabledDidChange();
  bool isObserving() const { return observing_; }

  void scrollViewDidScroll(platform::ScrollView& scrollView) override;
  // Pops the navigation stack that holds the screen back to its root.
  void closeButtonPushed();

  platform::ScrollView* scrollView() const { return scrollView_.get(); }
  platform::Label* tempoLabel() const { return tempoLabel_.get(); }
  platform::Label* swingLabel() const { return swingLabel_.get(); }
  platform::Label* lengthLabel() const { return lengthLabel_.get(); }
  platform::Label* lastStepLabel() const { return lastStepLabel_.get(); }
  platform::Label* knobModeLabel() const { return knobModeLabel_.get(); }
  platform::Label* gridModeLabel() const { return gridModeLabel_.get(); }
  platform::Label* tempoLockLabel() const { return tempoLockLabel_.get(); }
  platform::Label* backgroundAudioLabel() const { return backgroundAudioLabel_.get(); }
  UISliderWithTextValue* tempoSlider() const { return tempoSlider_.get(); }
  UISliderWithTextValue* swingSlider() const { return swingSlider_.get(); }
  UISliderWithTextValue* lengthSlider() const { return lengthSlider_.get(); }
  UISliderWithTextValue* lastStepSlider() const { return lastStepSlider_.get(); }
  platform::SegmentedControl* knobModeButton() const { return knobModeButton_.get(); }
  platform::SegmentedControl* gridModeButton() const { return gridModeButton_.get(); }
  platform::Switch* tempoLockSwitch() const { return tempoLockSwitch_.get(); }
  platform::Switch* backgroundAudioSwitch() const { return backgroundAudioSwitch_.get(); }

 private:
  std::shared_ptr<platform::Label> makeLabel(const char* text, const platform::Rect& frame) const;

  Synth* synth_ = nullptr;
  bool hasSynth_ = false;
  bool observing_ = false;
  std::shared_ptr<platform::ScrollView> scrollView_;
  std::shared_ptr<platform::Label> tempoLabel_, swingLabel_, lengthLabel_, lastStepLabel_;
  std::shared_ptr<platform::Label> knobModeLabel_, gridModeLabel_, tempoLockLabel_, backgroundAudioLabel_;
  std::shared_ptr<UISliderWithTextValue> tempoSlider_, swingSlider_, lengthSlider_, lastStepSlider_;
  std::shared_ptr<platform::SegmentedControl> knobModeButton_, gridModeButton_;
  std::shared_ptr<platform::Switch> tempoLockSwitch_, backgroundAudioSwitch_;
};
