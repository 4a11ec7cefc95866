// The kit's screens as a handle's environment.

#include "audio/link/screens/link_screens.h"

#include "audio/link/localized_string.h"
#include "audio/link/screens/abl_notification_view.h"
#include "audio/link/screens/abl_settings_view_controller.h"

ABLLinkEnvironment linkScreensEnvironment(platform::UserDefaults* defaults) {
  ABLLinkEnvironment env;
  env.userDefaults = defaults;
  env.makeSettingsScreen = [](ABLLink* link) -> std::shared_ptr<ABLLinkSettingsScreen> {
    return std::make_shared<ABLSettingsViewController>(link, linkKitTexts());
  };
  env.showNotificationMessage = [defaults](unsigned long count) {
    ABLNotificationView::showNotificationMessage(count, defaults);
  };
  return env;
}
