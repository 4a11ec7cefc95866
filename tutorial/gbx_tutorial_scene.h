#pragma once
// What every tutorial scene has: the tutorial controller that created it
// (its delegate) and the main view controller it watches and drives, both
// held weakly, and the flag that its goal has been reached.
//
// Main thread only.

#include <cstdint>
#include <memory>

#include "platform/ui/view_controller.h"

class GBXTutorialViewController;
class Z31647ViewController;

class GBXTutorialScene : public platform::ViewController {
 public:
  // The scene's number in the tutorial's order (1 to 7).
  virtual int64_t sceneNumber() const = 0;

  std::shared_ptr<GBXTutorialViewController> delegate() const { return delegate_.lock(); }
  void setDelegate(std::weak_ptr<GBXTutorialViewController> d) { delegate_ = std::move(d); }
  std::shared_ptr<Z31647ViewController> mainViewController() const { return mainViewController_.lock(); }
  void setMainViewController(std::weak_ptr<Z31647ViewController> c) { mainViewController_ = std::move(c); }
  bool done() const { return done_; }

 protected:
  // A weak handle on this scene for delayed work: it does nothing once the
  // scene has been released.
  template <typename T>
  std::weak_ptr<T> weakSelf(T* self) {
    return std::weak_ptr<T>(std::static_pointer_cast<T>(self->shared_from_this()));
  }

  bool done_ = false;

 private:
  std::weak_ptr<GBXTutorialViewController> delegate_;
  std::weak_ptr<Z31647ViewController> mainViewController_;
};
