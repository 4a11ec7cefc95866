#pragma once
// The first scene: a panel rises from the bottom of the dimmed screen and
// asks how the front-panel knobs should answer a finger, linear (drag up
// and down) or rotary (turn round the knob), each with a picture and a live
// knob to try it on. The choice is stored as the global setting "Knob
// Mode", the tutorial's template pattern is loaded, and the panel sinks
// away before the next scene.
//
// The scene's view takes every touch that lands on it: while it is on
// screen the front panel cannot be touched.
//
// Main thread only.

#include <memory>

#include "tutorial/gbx_tutorial_scene.h"

namespace platform {
class Button;
class ImageView;
class Label;
}  // namespace platform
class UISliderButton;

class GBXTutorialScene1ViewController : public GBXTutorialScene {
 public:
  // The tutorial's template pattern and the part the following scenes start on.
  static constexpr int32_t kTemplatePattern = 256;
  static constexpr uint32_t kTemplatePart = 7;

  GBXTutorialScene1ViewController();
  ~GBXTutorialScene1ViewController() override;

  int64_t sceneNumber() const override { return 1; }

  void viewDidLoad() override;
  void viewDidAppear(bool animated) override;

  static platform::Size baseViewSize() { return {420, 240}; }
  // Centred when shown; else its top edge 20 points below the bottom of the view.
  platform::Rect calcBaseViewFrame(bool shown);
  void setupOutlets();
  void openingAnimation();
  void closingAnimation(int64_t chosenTag);
  // A choice button's action: only the first choice counts.
  void processDone(platform::Button* sender);
  void loadTemplatePattern();

  platform::View* baseView() const { return baseView_.get(); }
  platform::View* linearModeView() const { return linearModeView_.get(); }
  platform::View* rotaryModeView() const { return rotaryModeView_.get(); }
  platform::Button* linearModeButton() const { return linearModeButton_.get(); }
  platform::Button* rotaryModeButton() const { return rotaryModeButton_.get(); }
  UISliderButton* linearKnob() const { return linearKnob_.get(); }
  UISliderButton* rotaryKnob() const { return rotaryKnob_.get(); }
  platform::ImageView* linearImageView() const { return linearImage_.get(); }
  platform::ImageView* rotaryImageView() const { return rotaryImage_.get(); }
  platform::Label* promptLabel() const { return prompt_.get(); }

 private:
  struct Option {
    std::shared_ptr<platform::View> pane;
    std::shared_ptr<platform::ImageView> image;
    std::shared_ptr<UISliderButton> knob;
    std::shared_ptr<platform::Button> button;
  };
  Option makeOption(int64_t tag, platform::Point origin);

  std::shared_ptr<platform::View> baseView_;
  std::shared_ptr<platform::View> linearModeView_;
  std::shared_ptr<platform::View> rotaryModeView_;
  std::shared_ptr<platform::Button> linearModeButton_;
  std::shared_ptr<platform::Button> rotaryModeButton_;
  std::shared_ptr<UISliderButton> linearKnob_;
  std::shared_ptr<UISliderButton> rotaryKnob_;
  std::shared_ptr<platform::ImageView> linearImage_;
  std::shared_ptr<platform::ImageView> rotaryImage_;
  std::shared_ptr<platform::Label> prompt_;
  bool appeared_ = false;
};
