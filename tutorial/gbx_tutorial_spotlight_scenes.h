#pragma once
// Scenes 2 to 6: the screen is dimmed except for a rounded spot over one
// front-panel control, a message slides in beside it and blinks, only that
// control is unlocked, and the scene waits until the user has used it. Then
// the message leaves and, in three of the five, a progress bar fills while
// the user keeps playing, before the scene asks for the next one.
//
//   scene 2 (Scene2):  touch Play (seen on its touch-down, inside the touch)
//   scene 3 (Scene3):  change any step (the 64 step buttons polled every 0.25 s)
//   scene 4 (Scene4):  select the third part (the current part polled every 0.25 s)
//   scene 5 (Scene4B): change any step again
//   scene 6 (Scene5):  touch the Pitch knob (seen on its touch-down)
//
// The scene views let every touch through to the panel: the locking is done
// by the controls' user interaction, the dimming only shows what is meant.
//
// Main thread only.

#include <array>
#include <cstdint>
#include <memory>
#include <optional>

#include "platform/gfx/text.h"
#include "platform/runloop/run_loop.h"
#include "platform/ui/label.h"
#include "tutorial/gbx_tutorial_scene.h"

class GBXTutorialSpotView;
class GBXTutorialProgressView;

class GBXTutorialSpotlightScene : public GBXTutorialScene {
 public:
  // What a scene sets differently from the shared frame.
  struct Settings {
    int64_t sceneNumber;
    uint32_t message;
    double fontSize;
    platform::TextAlignment alignment;
    platform::Point startOffset;
    platform::Point leavingOffset;
    // Seconds the progress bar takes to fill; nullopt: no bar.
    std::optional<double> progressTime;
    // From the goal to the request for the next scene.
    double handOverDelay;
  };

  static constexpr double kObservationInterval = 0.25;
  static constexpr double kProgressInterval = 0.1;
  static constexpr double kBlinkDuration = 0.2222222222222222;
  static constexpr const char* kBlinkKey = "blinkLabel";

  explicit GBXTutorialSpotlightScene(const Settings& settings);
  ~GBXTutorialSpotlightScene() override;

  int64_t sceneNumber() const override { return settings_.sceneNumber; }
  const Settings& settings() const { return settings_; }

  void loadView() override;
  void viewDidLoad() override;
  void viewDidAppear(bool animated) override;
  void viewWillDisappear(bool animated) override;

  virtual void setupOutlets();
  virtual platform::Rect calcLabelRect() = 0;
  virtual void openingAnimation();
  void enableControlsForThisScene();
  void addBlinkingLabelAnimation();
  void removeBlinkingLabelAnimation();
  void processDone();
  // Asks the tutorial controller for the next scene.
  void transit();

  // The control this scene unlocks and points at.
  virtual platform::View* targetControl() const = 0;
  // The target's bounds in this scene's view.
  platform::Rect targetRect();
  // The spot over the target, in this scene's view.
  virtual platform::Rect spotRect() = 0;

  // ---- progress bar (scenes with a progress time)
  platform::Rect calcProgressViewRect();
  void startToObserveProgress(double seconds);
  void progressTimerFired();
  void disposeProgressTimer();

  // ---- fields
  GBXTutorialSpotView* spottedView() const { return spottedView_.get(); }
  platform::Label* messageLabel() const { return messageLabel_.get(); }
  GBXTutorialProgressView* progressView() const { return progressView_.get(); }
  const std::shared_ptr<platform::Timer>& progressTimer() const { return progressTimer_; }
  double progressStartTime() const { return progressStartTime_; }
  double progressPoptime() const { return progressPoptime_; }
  // Whether the goal's observation is running.
  virtual bool observing() const = 0;

 protected:
  // Observation of the goal: started on appearing, stopped by processDone.
  virtual void startObservation() = 0;
  virtual void stopObservation() = 0;
  // The scene's own steps once the goal is reached, after the observation stopped.
  virtual void extraDoneSteps() {}
  // The opening animation of the spot (scene 2 fades it in).
  virtual void openSpot() {}
  // The label's spring.
  virtual void springLabel(const std::function<void()>& animations, std::function<void(bool)> completion);
  // Queues processDone on the main queue (through a weak handle).
  void queueProcessDone();

  platform::Rect viewBounds() { return view()->bounds(); }

 private:
  Settings settings_;
  std::shared_ptr<GBXTutorialSpotView> spottedView_;
  std::shared_ptr<platform::Label> messageLabel_;
  std::shared_ptr<GBXTutorialProgressView> progressView_;
  std::shared_ptr<platform::Timer> progressTimer_;
  double progressStartTime_ = 0.0;
  double progressPoptime_ = 0.0;
  int appearanceCount_ = 0;
};

// Scene 2: touch Play.
class GBXTutorialScene2ViewController : public GBXTutorialSpotlightScene {
 public:
  GBXTutorialScene2ViewController();
  ~GBXTutorialScene2ViewController() override;
  void setupOutlets() override;
  platform::Rect calcLabelRect() override;
  platform::View* targetControl() const override;
  platform::Rect spotRect() override;
  bool observing() const override { return handlerAdded_; }
  void addHandler();
  void removeHandler();

 protected:
  void startObservation() override {}
  void stopObservation() override {}
  void extraDoneSteps() override;
  void openSpot() override;
  void springLabel(const std::function<void()>& animations, std::function<void(bool)> completion) override;

 private:
  bool handlerAdded_ = false;
  // The play button the handler was added to, to take it off again.
  std::weak_ptr<platform::View> handlerButton_;
};

// Scenes 3 and 5: change any of the 64 steps.
class GBXTutorialStepScene : public GBXTutorialSpotlightScene {
 public:
  using GBXTutorialSpotlightScene::GBXTutorialSpotlightScene;
  void setupOutlets() override;
  platform::Rect calcLabelRect() override;
  platform::View* targetControl() const override;
  platform::Rect spotRect() override;
  bool observing() const override { return static_cast<bool>(seqTimer_); }
  void viewWillDisappear(bool animated) override;

  void retrieveCurrentSequence();
  void startToObserveSequence();
  void seqTimerFired();
  void disposeSeqTimer();
  void disposeTimer();
  const std::array<int64_t, 64>& buttonStates() const { return buttonStates_; }
  const std::shared_ptr<platform::Timer>& seqTimer() const { return seqTimer_; }

 protected:
  void startObservation() override { startToObserveSequence(); }
  void stopObservation() override { disposeSeqTimer(); }

 private:
  std::array<int64_t, 64> buttonStates_{};
  std::shared_ptr<platform::Timer> seqTimer_;
};

class GBXTutorialScene3ViewController : public GBXTutorialStepScene {
 public:
  GBXTutorialScene3ViewController();
};

class GBXTutorialScene4BViewController : public GBXTutorialStepScene {
 public:
  GBXTutorialScene4BViewController();
};

// Scene 4: select the third part (index 2).
class GBXTutorialScene4ViewController : public GBXTutorialSpotlightScene {
 public:
  static constexpr uint32_t kGoalPart = 2;

  GBXTutorialScene4ViewController();
  platform::Rect calcLabelRect() override;
  platform::View* targetControl() const override;
  platform::Rect spotRect() override;
  bool observing() const override { return static_cast<bool>(timer_); }
  void viewWillDisappear(bool animated) override;

  void startToObserveSequence();
  void seqTimerFired();
  void disposeSeqTimer();
  const std::shared_ptr<platform::Timer>& timer() const { return timer_; }

 protected:
  void startObservation() override { startToObserveSequence(); }
  void stopObservation() override { disposeSeqTimer(); }
  void extraDoneSteps() override;

 private:
  std::shared_ptr<platform::Timer> timer_;
};

// Scene 6: touch the Pitch knob.
class GBXTutorialScene5ViewController : public GBXTutorialSpotlightScene {
 public:
  GBXTutorialScene5ViewController();
  ~GBXTutorialScene5ViewController() override;
  platform::Rect calcLabelRect() override;
  platform::View* targetControl() const override;
  platform::Rect spotRect() override;
  bool observing() const override { return observing_; }
  void viewWillDisappear(bool animated) override;

  // The Pitch knob's block: the knob grown by 8 points left and right and 10
  // points above and below.
  platform::Rect calcSynthBlockRect();
  void startToObserve();
  void stopToObserve();
  void controlTouched();

 protected:
  void startObservation() override { startToObserve(); }
  void stopObservation() override { stopToObserve(); }

 private:
  bool observing_ = false;
  std::weak_ptr<platform::View> observedKnob_;
};
