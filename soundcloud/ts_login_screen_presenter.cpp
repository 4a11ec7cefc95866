#include "soundcloud/ts_login_screen_presenter.h"

#include "platform/ui/application.h"
#include "platform/ui/window.h"
#include "soundcloud-sdk/ui/sc_login_view_controller.h"
#include "soundcloud/ts_soundcloud_api.h"
#include "soundcloud/ts_soundcloud_uploader.h"

namespace tssc {

void installSoundCloudLoginScreen(TSLoginScreenHost host) {
  TSSoundCloudAPI::setLoginPresenter([host](const platform::URL& preparedURL, TSSoundCloudAPI::LoginCompletion completion) {
    platform::ViewController* over = nullptr;
    if (host) {
      over = host();
    } else if (platform::Window* w = platform::Application::sharedApplication().keyWindow()) {
      over = w->rootViewController();
    }
    // A controller presents one at a time: go to the topmost.
    while (over && over->presentedViewController()) over = over->presentedViewController();
    if (!over) {
      if (completion) completion(platform::Error::make(TSSoundCloudErrorDomain, -2, "No sign-in screen is available."));
      return;
    }
    auto screen = scui::SCLoginViewController::loginViewControllerWithPreparedURL(
        preparedURL, [completion](const std::optional<platform::Error>& error) {
          if (completion) completion(error);
        });
    over->presentViewController(screen, true, nullptr);
  });
}

}  // namespace tssc
