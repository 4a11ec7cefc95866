#pragma once
// The tutorial's host: a child view controller laid over the main view
// controller on the first launch. It creates the seven scenes one after
// another (one view controller each), cross-fades from one to the next,
// shows a skip button during the middle scenes, switches the 35 front-panel
// controls on and off as one group on the scenes' behalf, restarts playback
// when the program comes back to the foreground, and tells its delegate when
// the last scene has gone.
//
// Its root view lets every touch through to the front panel except those on
// its visible skip button and on a scene view that claims them.
//
// Main thread only. Held by std::shared_ptr (the main view controller keeps
// it while it runs).

#include <cstdint>
#include <memory>
#include <vector>

#include "app/tutorial_services.h"
#include "platform/foundation/user_defaults.h"
#include "platform/gfx/color.h"
#include "platform/ui/view_controller.h"

namespace platform {
class Button;
}
class Z31647ViewController;
class GBXTutorialScene;

class GBXTutorialViewController : public platform::ViewController {
 public:
  static constexpr int64_t kFirstScene = 1;
  static constexpr int64_t kLastScene = 7;
  static constexpr int64_t kQuitScene = -1;
  static constexpr int kMainControlCount = 35;

  // True only on the first launch: "app_launched" is absent, and is stored
  // (and written out) before the answer is given.
  static bool aboutToStart(platform::UserDefaults& defaults);
  static bool aboutToStart();
  // Black at alpha 0.6: the tutorial's dimming colour.
  static platform::Color darkBackgroundColor();
  // A controller given its delegate and main view controller, as the main
  // view controller's startTutorial wants one.
  static std::shared_ptr<GBXTutorialViewController> create(GBXTutorialViewControllerDelegate* delegate,
                                                           Z31647ViewController* mainViewController);
  // Makes the main screen's first launch start this tutorial.
  static void registerWithMainScreen();

  GBXTutorialViewController();
  ~GBXTutorialViewController() override;

  // ---- view lifecycle
  void loadView() override;
  void viewDidLoad() override;
  void viewWillAppear(bool animated) override;
  void viewDidAppear(bool animated) override;
  void viewDidDisappear(bool animated) override;

  // ---- the flow
  // Shows the current scene when none is attached (sent on appearing).
  void start();
  // A scene has finished: on the main queue, the next scene number, the
  // whole control group unlocked, and the change of scene.
  void moveToNextScene();
  // Ends the tutorial after the current scene: no skip button, no further scene.
  void quit();
  // User interaction of the 35 front-panel controls, as one group.
  void enableMainControls(bool enabled);
  void skipButtonPushed();
  void appHasGoneForeground();

  // ---- scenes
  // The scene of a number (1 to 7) or nullptr; also shows the skip button
  // for numbers 3 to 6 and hides it otherwise.
  std::shared_ptr<GBXTutorialScene> createScene(int64_t number);
  void transit();
  void attachScene(const std::shared_ptr<GBXTutorialScene>& scene);
  void detachScene(const std::shared_ptr<GBXTutorialScene>& scene);

  // ---- skip button
  void showSkipButton(bool show);
  void updateSkipButton();
  platform::Rect calcSkipButtonFrame();
  static double transitionDuration() { return 0.35; }

  // ---- accessors
  GBXTutorialViewControllerDelegate* delegate() const { return delegate_; }
  // `owner` keeps the delegate's lifetime: once it has gone the delegate is
  // not called.
  void setDelegate(GBXTutorialViewControllerDelegate* delegate, std::weak_ptr<const void> owner = {});
  std::shared_ptr<Z31647ViewController> mainViewController() const { return mainViewController_.lock(); }
  void setMainViewController(std::weak_ptr<Z31647ViewController> controller) {
    mainViewController_ = std::move(controller);
  }
  const std::shared_ptr<GBXTutorialScene>& scene() const { return scene_; }
  // The scene coming in while a cross-fade runs (else the current one).
  const std::shared_ptr<GBXTutorialScene>& incomingScene() const { return incoming_ ? incoming_ : scene_; }
  platform::Button* skipButton() const { return skipButton_.get(); }
  int64_t sceneNumber() const { return sceneNumber_; }
  void setSceneNumber(int64_t n) { sceneNumber_ = n; }
  bool showSkip() const { return showSkip_; }
  bool hasEnded() const { return ended_; }

  // The 35 controls of the group, in their order (absent ones left out).
  std::vector<platform::View*> mainControls() const;

 private:
  std::shared_ptr<GBXTutorialViewController> self();
  void notifyEnded();

  int64_t sceneNumber_ = kFirstScene;
  std::shared_ptr<GBXTutorialScene> scene_;
  // The scene a running cross-fade brings in, and which change of scene is
  // the latest (an earlier one's completion only detaches what it faded out).
  std::shared_ptr<GBXTutorialScene> incoming_;
  uint64_t transitGeneration_ = 0;
  std::shared_ptr<platform::Button> skipButton_;
  bool showSkip_ = false;
  bool ended_ = false;
  bool observingForeground_ = false;
  GBXTutorialViewControllerDelegate* delegate_ = nullptr;
  std::weak_ptr<const void> delegateOwner_;
  bool delegateOwned_ = false;
  std::weak_ptr<Z31647ViewController> mainViewController_;
};
