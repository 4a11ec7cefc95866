#pragma once
// An alert that reports the pressed button to a block: its index and
// whether it is the cancel button. It is its own delegate, and keeps itself
// alive while shown, as every alert does.
//
// Main thread only.

#include <any>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/ui/alert_view.h"

namespace scui {

class SCAlertView : public platform::AlertView, public platform::AlertViewDelegate {
 public:
  using Block = std::function<void(int buttonIndex, bool isCancel)>;

  SCAlertView(std::string title, std::string message, std::optional<std::string> cancelButtonTitle);

  static std::shared_ptr<SCAlertView> showAlertViewWithTitle(const std::string& title, const std::string& message,
                                                             const std::optional<std::string>& cancelButtonTitle,
                                                             const std::vector<std::string>& otherButtonTitles,
                                                             Block block);

  Block block;
  std::any context;
  std::any userInfo;

  void didDismissWithButtonIndex(platform::AlertView& alert, int index) override;
};

}  // namespace scui
