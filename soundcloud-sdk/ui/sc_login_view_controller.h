#pragma once
// The modal sign-in screen of the SoundCloud request layer: the login form
// under a title bar with a cancel button. It hears of success or failure
// only through the request layer's notifications and reports each event
// once to its completion: an account change (no error, and the screen
// goes), a refused access request (the store's error; an alert says so and
// the screen stays), cancel ("SCUIErrorDomain" 100, and the screen goes).
//
// Main thread only.

#include <functional>
#include <memory>
#include <optional>

#include "platform/net/error.h"
#include "platform/net/url.h"
#include "platform/notify/notification_center.h"
#include "platform/ui/navigation_controller.h"
#include "platform/ui/view_controller.h"
#include "soundcloud-sdk/ui/sc_login_view.h"
#include "soundcloud-sdk/ui/sc_ui_utils.h"

namespace scui {

inline constexpr const char* SCUIErrorDomain = "SCUIErrorDomain";
inline constexpr int kSCUICanceledErrorCode = 100;

class SCConnectToSoundCloudTitleView;

class SCLoginViewController : public platform::ViewController,
                              public platform::ScrollViewDelegate,
                              public SCLoginViewProtocol,
                              public SCCancelResponder {
 public:
  using CompletionHandler = std::function<void(const std::optional<platform::Error>& error)>;

  // A navigation controller (bar hidden) with a new login screen as root.
  static std::shared_ptr<platform::NavigationController> loginViewControllerWithPreparedURL(
      std::optional<platform::URL> preparedURL, CompletionHandler completion);

  SCLoginViewController(std::optional<platform::URL> preparedURL, CompletionHandler completion);
  ~SCLoginViewController() override;

  const std::optional<platform::URL>& preparedURL() const { return preparedURL_; }
  SCLoginView* loginView() const { return loginView_.get(); }
  SCConnectToSoundCloudTitleView* scTitleView() const { return titleView_.get(); }

  void cancel() override;
  void accountDidChange();
  void failToRequestAccess(const platform::Notification& notification);
  void updateScrollView();
  static bool shouldAutorotateToInterfaceOrientation(SCDevice::Orientation o);

  void viewDidLoad() override;
  void viewWillLayoutSubviews() override;
  void scrollViewDidScroll(platform::ScrollView&) override;
  void dismissModalViewControllerAnimated(bool animated) override;

 private:
  void dismiss();
  void complete(const std::optional<platform::Error>& error);

  std::optional<platform::URL> preparedURL_;
  CompletionHandler completion_;
  std::shared_ptr<SCLoginView> loginView_;
  std::shared_ptr<SCConnectToSoundCloudTitleView> titleView_;
};

}  // namespace scui
