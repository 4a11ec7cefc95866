#include "soundcloud-sdk/ui/sc_login_view_controller.h"

#include "oauth2/nxoauth2_constants.h"
#include "platform/notify/notification_center.h"
#include "platform/ui/alert_view.h"
#include "soundcloud-sdk/sc_constants.h"
#include "soundcloud-sdk/ui/sc_bundle.h"
#include "soundcloud-sdk/ui/sc_ui_utils.h"

namespace scui {

using platform::Rect;

std::shared_ptr<platform::NavigationController> SCLoginViewController::loginViewControllerWithPreparedURL(
    std::optional<platform::URL> preparedURL, CompletionHandler completion) {
  auto root = std::make_shared<SCLoginViewController>(std::move(preparedURL), std::move(completion));
  auto nav = std::make_shared<platform::NavigationController>(root);
  // The desktop has no form sheet; the screen covers its presenter.
  nav->setModalPresentationStyle(platform::ModalPresentationStyle::FullScreen);
  return nav;
}

SCLoginViewController::SCLoginViewController(std::optional<platform::URL> preparedURL, CompletionHandler completion)
    : preparedURL_(std::move(preparedURL)), completion_(std::move(completion)) {
  auto& center = platform::NotificationCenter::defaultCenter();
  center.addObserver(this, scsdk::SCSoundCloudAccountDidChangeNotification,
                     [this](const platform::Notification&) { accountDidChange(); });
  center.addObserver(this, scsdk::SCSoundCloudDidFailToRequestAccessNotification,
                     [this](const platform::Notification& n) { failToRequestAccess(n); });
}

SCLoginViewController::~SCLoginViewController() {
  platform::NotificationCenter::defaultCenter().removeObserver(this);
  if (loginView_) {
    loginView_->setLoginDelegate(nullptr);
    loginView_->setDelegate(nullptr);
  }
}

void SCLoginViewController::complete(const std::optional<platform::Error>& error) {
  if (completion_) completion_(error);
}

void SCLoginViewController::cancel() {
  complete(platform::Error::make(SCUIErrorDomain, kSCUICanceledErrorCode, "Canceled by user."));
  dismiss();
}

void SCLoginViewController::accountDidChange() {
  complete(std::nullopt);
  dismiss();
}

void SCLoginViewController::failToRequestAccess(const platform::Notification& n) {
  std::optional<platform::Error> error;
  if (auto it = n.userInfo.find(nxoauth2::NXOAuth2AccountStoreErrorKey); it != n.userInfo.end())
    error = platform::Error::fromValue(it->second);
  // A failure that carries no error still reaches the caller as a failure.
  complete(error ? error : platform::Error::make(SCUIErrorDomain, 101, "The sign-in was refused."));
  auto alert = std::make_shared<platform::AlertView>(SCLocalizedString("auth_error"), SCLocalizedString("auth_error_message"),
                                                     nullptr, SCLocalizedString("alert_ok"), std::vector<std::string>{});
  alert->show();
}

void SCLoginViewController::dismiss() {
  // Only once, and only while shown: events after the screen went report
  // nothing further (the observers go with it).
  platform::NotificationCenter::defaultCenter().removeObserver(this);
  completion_ = nullptr;
  if (platform::ViewController* presenter = scModalPresentingViewController(*this))
    presenter->dismissViewControllerAnimated(true, nullptr);
}

void SCLoginViewController::dismissModalViewControllerAnimated(bool animated) {
  if (platform::ViewController* presenter = scModalPresentingViewController(*this))
    presenter->dismissViewControllerAnimated(animated, nullptr);
}

bool SCLoginViewController::shouldAutorotateToInterfaceOrientation(SCDevice::Orientation o) {
  if (SCDevice::isIPad()) return true;
  return o == SCDevice::Orientation::Portrait || o == SCDevice::Orientation::PortraitUpsideDown;
}

void SCLoginViewController::viewDidLoad() {
  loginView_ = std::make_shared<SCLoginView>(view()->bounds());
  loginView_->setLoginDelegate(this);
  loginView_->setPreparedURL(preparedURL_);
  loginView_->setDelegate(this);
  loginView_->setContentSize({1, 480});
  view()->addSubview(loginView_);
  titleView_ = std::make_shared<SCConnectToSoundCloudTitleView>(Rect{0, 0, view()->bounds().size.width, 44});
  view()->addSubview(titleView_);
  if (platform::NavigationController* nav = navigationController()) nav->setNavigationBarHidden(true, false);
  // The desktop has no on-screen keyboard and so no keyboard notifications:
  // the form follows the focus instead, when a field starts or stops being
  // edited.
  for (platform::TextField* f : {static_cast<platform::TextField*>(&loginView_->credentialsView().usernameField()),
                                 static_cast<platform::TextField*>(&loginView_->credentialsView().passwordField())})
    f->addTarget(this, "updateScrollView", [this](platform::Control&) { updateScrollView(); },
                 platform::ControlEvents::EditingDidBegin | platform::ControlEvents::EditingDidEnd);
}

void SCLoginViewController::viewWillLayoutSubviews() {
  const Rect b = view()->bounds();
  const platform::EdgeInsets in = view()->safeAreaInsets();
  const Rect safe{b.origin.x + in.left, b.origin.y + in.top, b.size.width - in.left - in.right,
                  b.size.height - in.top - in.bottom};
  const Rect title{safe.minX(), safe.minY(), safe.size.width, 44};
  if (titleView_) titleView_->setFrame(title);
  if (loginView_) loginView_->setFrame({safe.minX(), title.maxY(), safe.size.width, safe.maxY() - title.maxY()});
}

void SCLoginViewController::scrollViewDidScroll(platform::ScrollView&) {
  if (loginView_) loginView_->setNeedsDisplay();
}

void SCLoginViewController::updateScrollView() {
  if (!loginView_) return;
  if (!SCDevice::isLandscape() && SCDevice::isTallIphone()) return;
  SCCredentialsView& cred = loginView_->credentialsView();
  platform::Point target = view()->bounds().origin;
  platform::View* focused = scFirstResponderFromSubviews(cred);
  if (auto* field = dynamic_cast<platform::TextField*>(focused)) {
    platform::View* grand = field->superview() ? field->superview()->superview() : nullptr;
    if (grand) {
      const Rect r = field->convertRectTo(grand->bounds(), view());
      target = {cred.bounds().origin.x, r.origin.y - loginView_->frame().origin.y};
    }
  }
  loginView_->setContentOffset(target, true);
}

}  // namespace scui
