#pragma once
// The last scene: the whole screen dimmed and one closing message across
// its width at the height of the part buttons. A touch on the message, or
// 5.333333333 s after the scene came on screen, ends the tutorial,
// whichever comes first.
//
// The scene's view takes every touch that lands on it: the front panel
// cannot be touched during this scene.
//
// Main thread only.

#include <memory>

#include "tutorial/gbx_tutorial_scene.h"

namespace platform {
class Button;
}

class GBXTutorialScene6ViewController : public GBXTutorialScene {
 public:
  static constexpr double kDisplayTime = 5.333333333;

  GBXTutorialScene6ViewController();
  ~GBXTutorialScene6ViewController() override;

  int64_t sceneNumber() const override { return 7; }

  void viewDidLoad() override;
  void viewDidAppear(bool animated) override;
  void viewWillLayoutSubviews() override;

  // Across the view's width, at the part buttons' height.
  platform::Rect calcButtonkRect();
  void setupOutlets();
  void start();
  void openingAnimation();
  void processDone();

  platform::Button* button() const { return button_.get(); }

 private:
  std::shared_ptr<platform::Button> button_;
  bool appeared_ = false;
};
