#pragma once
// What the main screen needs of the guided tutorial: whether this is the
// first launch, and a tutorial controller to put over the panel that tells
// its delegate when it is over. The tutorial itself is built elsewhere; it
// registers its factory here. Without one the first launch is still noted
// and no tutorial is shown.
//
// Main thread only.

#include <functional>
#include <memory>

#include "platform/foundation/user_defaults.h"
#include "platform/ui/view_controller.h"

class Z31647ViewController;

inline constexpr const char* kAppLaunchedKey = "app_launched";

class GBXTutorialViewControllerDelegate {
 public:
  virtual ~GBXTutorialViewControllerDelegate() = default;
  virtual void tutorialEnded(platform::ViewController* tutorial) = 0;
};

class GBXTutorialServices {
 public:
  using Factory = std::function<std::shared_ptr<platform::ViewController>(GBXTutorialViewControllerDelegate* delegate,
                                                                          Z31647ViewController* mainViewController)>;

  // +[GBXTutorialViewController aboutToStart]: YES only when "app_launched"
  // is absent, which it stores then.
  static bool aboutToStart(platform::UserDefaults& defaults) {
    if (defaults.objectForKey(kAppLaunchedKey)) return false;
    defaults.setBool(true, kAppLaunchedKey);
    return true;
  }

  static Factory& factory() {
    static Factory f;
    return f;
  }
};
