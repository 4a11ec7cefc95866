#include "soundcloud-sdk/ui/sc_alert_view.h"

namespace scui {

SCAlertView::SCAlertView(std::string title, std::string message, std::optional<std::string> cancelButtonTitle)
    : platform::AlertView(std::move(title), std::move(message), nullptr, std::move(cancelButtonTitle), {}) {
  setDelegate(this);
}

std::shared_ptr<SCAlertView> SCAlertView::showAlertViewWithTitle(const std::string& title, const std::string& message,
                                                                 const std::optional<std::string>& cancelButtonTitle,
                                                                 const std::vector<std::string>& otherButtonTitles,
                                                                 Block block) {
  auto alert = std::make_shared<SCAlertView>(title, message, cancelButtonTitle);
  for (const auto& t : otherButtonTitles) alert->addButtonWithTitle(t);
  alert->block = std::move(block);
  alert->show();
  return alert;
}

void SCAlertView::didDismissWithButtonIndex(platform::AlertView&, int index) {
  if (block) block(index, index == cancelButtonIndex());
}

}  // namespace scui
