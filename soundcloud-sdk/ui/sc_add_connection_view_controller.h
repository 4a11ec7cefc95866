#pragma once
// Connects the signed-in account to another service through the service's
// web flow: asks the REST interface for the connection's authorize page,
// shows it, and reports the result when the flow ends on the SDK's
// callback "x-soundcloud://connection?success=…".
//
// There is no embedded browser on the desktop: the page is shown as the
// platform's web-view stand-in (its address and a button that opens it in
// the desktop's browser), and the callback, which the desktop cannot route
// back by itself, is taken from a field where the address the browser ends
// on can be pasted. decideNavigation() is the same decision for any address
// that arrives some other way.
//
// Also here: the cover-image button (rounded, thin dark frame, light shade)
// and the two-tone hairline separator.
//
// Main thread only.

#include <memory>
#include <optional>
#include <string>

#include "platform/ui/button.h"
#include "platform/ui/view_controller.h"
#include "platform/ui/web_view.h"
#include "platform/ui/widgets.h"
#include "soundcloud-sdk/sc_account.h"
#include "soundcloud-sdk/ui/sc_buttons.h"
#include "soundcloud-sdk/ui/sc_text_field.h"

namespace scui {

class SCAddConnectionViewController;

class SCAddConnectionViewControllerDelegate {
 public:
  virtual ~SCAddConnectionViewControllerDelegate() = default;
  virtual void addConnectionControllerDidFinish(SCAddConnectionViewController&, const std::string& /*service*/,
                                                bool /*success*/) {}
};

class SCAddConnectionViewController : public platform::ViewController {
 public:
  static constexpr const char* kCallbackURL = "x-soundcloud://connection";

  // nullptr for an empty service. Sends the connection request at once.
  static std::shared_ptr<SCAddConnectionViewController> withServiceAccount(const std::string& service,
                                                                           std::shared_ptr<scsdk::SCAccount> account,
                                                                           SCAddConnectionViewControllerDelegate* delegate);
  // nullptr for an empty service. Sends nothing: the owner sets the page.
  static std::shared_ptr<SCAddConnectionViewController> withService(const std::string& service,
                                                                    SCAddConnectionViewControllerDelegate* delegate);
  SCAddConnectionViewController(std::string service, std::shared_ptr<scsdk::SCAccount> account,
                                SCAddConnectionViewControllerDelegate* delegate);
  ~SCAddConnectionViewController() override;

  const std::string& service() const { return service_; }
  const std::optional<std::string>& authorizeURL() const { return authorizeURL_; }
  void setAuthorizeURL(std::optional<std::string> url);
  bool isLoading() const { return loading_; }
  void setLoading(bool l) { loading_ = l; }
  platform::ActivityIndicatorView* activityIndicator() const { return activity_.get(); }
  platform::WebView* webView() const { return webView_.get(); }
  SCTextField* callbackField() const { return callbackField_.get(); }
  SCGradientButton* callbackDoneButton() const { return callbackDone_.get(); }
  SCAddConnectionViewControllerDelegate* delegate() const { return delegate_; }
  void setDelegate(SCAddConnectionViewControllerDelegate* d) { delegate_ = d; }

  // Whether a navigation to `url` may load; the callback reports the result
  // and does not.
  bool decideNavigation(const std::string& url);

  void viewDidLoad() override;
  void viewDidAppear(bool animated) override;
  void viewWillAppear(bool animated) override;
  void viewWillDisappear(bool animated) override;

 private:
  void requestAuthorizePage();

  std::string service_;
  std::shared_ptr<scsdk::SCAccount> account_;
  SCAddConnectionViewControllerDelegate* delegate_;
  std::optional<std::string> authorizeURL_;
  bool loading_ = false;
  std::shared_ptr<platform::ActivityIndicatorView> activity_;
  std::shared_ptr<platform::WebView> webView_;
  std::shared_ptr<SCTextField> callbackField_;
  std::shared_ptr<SCGradientButton> callbackDone_;
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

class SCCoverImageButton : public platform::Button {
 public:
  explicit SCCoverImageButton(const platform::Rect& frame = {});
  void drawRect(const platform::Rect& rect) override;
};

class SCHorizontalLineView : public platform::View {
 public:
  explicit SCHorizontalLineView(const platform::Rect& frame = {});
  void drawRect(const platform::Rect& rect) override;
};

}  // namespace scui
