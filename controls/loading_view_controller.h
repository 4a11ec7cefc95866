#pragma once
// The loading overlay: a full-screen transparent view with a dark rounded
// panel, a spinning indicator, the caption "Loading..." and, when presented
// as cancelable, a small cancel button that asks whatever plays a stream to
// stop ("AudioSteamingPlayerShouldStop", posted on the next pass of the
// main run loop). The overlay is never removed: present and dismiss fade
// its alpha over 0.2 s (dismiss(false) hides it at once).
//
// A screen places the controller's view over its own and calls present
// and dismiss. Main thread only.

#include <memory>

#include "platform/ui/button.h"
#include "platform/ui/label.h"
#include "platform/ui/view_controller.h"
#include "platform/ui/widgets.h"

inline constexpr const char* kAudioSteamingPlayerShouldStop = "AudioSteamingPlayerShouldStop";

// The panel: black at alpha 0.4 with corners of 10 points, the caption
// 30 points above its bottom edge.
class LoadingBackView : public platform::View {
 public:
  explicit LoadingBackView(const platform::Rect& frame);
  platform::Label& label() { return *label_; }
  void drawRect(const platform::Rect& rect) override;
  void drawBackground(const platform::Rect& rect);

 private:
  std::shared_ptr<platform::Label> label_;
};

class LoadingViewController : public platform::ViewController {
 public:
  LoadingViewController() = default;

  void present(bool cancelable);
  void dismiss(bool animated);
  void cancelButtonPushed();

  platform::Button* cancel() const { return cancel_.get(); }
  LoadingBackView* panel() const { return panel_.get(); }
  platform::ActivityIndicatorView* indicator() const { return indicator_.get(); }
  // How many dismiss animations have come to their end (tests ask).
  int finishedDismissals() const { return finishedDismissals_; }

  void loadView() override;
  void viewDidLoad() override;
  unsigned supportedInterfaceOrientations() const override { return 24; }

 private:
  void transitionAnimDidStop(bool finished);

  std::shared_ptr<LoadingBackView> panel_;
  std::shared_ptr<platform::ActivityIndicatorView> indicator_;
  std::shared_ptr<platform::Button> cancel_;
  int finishedDismissals_ = 0;
};
