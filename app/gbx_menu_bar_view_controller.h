#pragma once
// The menu bar: a thin black strip of six icon buttons that slides down over
// the top edge of the front panel (the panel's menu button) and back up.
// It only builds and lays out its buttons; the main view controller sets
// its frame and owns every action.

#include <functional>
#include <memory>

#include "platform/ui/view_controller.h"

namespace platform {
class Button;
}

class GBXMenuBarViewController : public platform::ViewController {
 public:
  static constexpr double kHeight = 32.0;
  static constexpr double kButtonSize = 25.0;

  // `linkAvailable` answers whether the device has Link (the Link button is
  // hidden and not placed when it does not); empty means no Link.
  explicit GBXMenuBarViewController(std::function<bool()> linkAvailable);
  ~GBXMenuBarViewController() override;

  void loadView() override;
  void viewDidLoad() override;
  void viewWillLayoutSubviews() override;
  void setupOutlets();
  void releaseOutlets();
  bool isAbletonLinkAvailable() const { return linkAvailable_ && linkAvailable_(); }

  platform::Button* browserButton() const { return browserButton_.get(); }
  platform::Button* settingButton() const { return settingButton_.get(); }
  platform::Button* exportButton() const { return exportButton_.get(); }
  platform::Button* fileButton() const { return fileButton_.get(); }
  platform::Button* helpButton() const { return helpButton_.get(); }
  platform::Button* abletonLinkButton() const { return abletonLinkButton_.get(); }

 private:
  std::function<bool()> linkAvailable_;
  std::shared_ptr<platform::Button> browserButton_;
  std::shared_ptr<platform::Button> settingButton_;
  std::shared_ptr<platform::Button> exportButton_;
  std::shared_ptr<platform::Button> fileButton_;
  std::shared_ptr<platform::Button> helpButton_;
  std::shared_ptr<platform::Button> abletonLinkButton_;
};
