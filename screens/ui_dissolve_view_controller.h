#pragma once
// A view controller whose view fades in and out over a given time, telling
// its delegate when a fade-out has run to its end (an interrupted fade-out
// tells nobody). The view stays in place, transparent, after a fade-out:
// removing it is the delegate's business.
//
// Main thread only.

#include "platform/ui/view_controller.h"

class UIDissolveViewController;

class UIDissolveViewControllerDelegate {
 public:
  virtual ~UIDissolveViewControllerDelegate() = default;
  virtual void dissolveViewControllerDidDismiss(UIDissolveViewController& controller) = 0;
};

class UIDissolveViewController : public platform::ViewController {
 public:
  UIDissolveViewControllerDelegate* delegate() const { return delegate_; }
  // Not owned: it must outlive the controller or be reset.
  void setDelegate(UIDissolveViewControllerDelegate* d) { delegate_ = d; }

  // Fade in over `duration` seconds from fully transparent.
  virtual void openUp(float duration);
  // Fade out over `duration` seconds, then the delegate hears of it.
  virtual void dismiss(float duration);
  // The end of a fade-out.
  void transitionAnimDidStop(bool finished);
  bool shouldAutorotateToInterfaceOrientation(int) const { return true; }

 private:
  UIDissolveViewControllerDelegate* delegate_ = nullptr;
};
