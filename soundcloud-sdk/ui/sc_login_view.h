#pragma once
// The login screen's views: the scrolling form (SCLoginView) with its
// title text, the Facebook and create-account buttons, the two-field
// credentials box (SCCredentialsView), the connect button and the terms
// text with its two links; and the 44-point title bar with the cancel
// button (SCConnectToSoundCloudTitleView).
//
// The web sign-in has no embedded browser on the desktop: the Facebook
// button opens the service's sign-in page in the desktop's browser and
// shows a panel where the address the browser ends on (the app's redirect
// address, which the desktop cannot route back to the program by itself)
// can be pasted; Done hands it to the request layer, which completes the
// sign-in when it is the redirect. SCLoginView::handleRedirectURL is the
// same entry for whatever receives the address some other way.
//
// Main thread only.

#include <memory>
#include <string>

#include "platform/net/error.h"
#include "platform/net/url.h"
#include "platform/ui/label.h"
#include "platform/ui/widgets.h"
#include "soundcloud-sdk/ui/oh_attributed_label.h"
#include "soundcloud-sdk/ui/sc_buttons.h"
#include "soundcloud-sdk/ui/sc_text_field.h"

namespace scui {

class SCLoginView;

class SCLoginViewProtocol {
 public:
  virtual ~SCLoginViewProtocol() = default;
  // Optional: a web sign-in page that failed to load.
  virtual void loginViewDidFailWithError(SCLoginView&, const platform::Error&) {}
  virtual void dismissModalViewControllerAnimated(bool animated) = 0;
};

// Whoever answers the title bar's cancel button up the responder chain.
class SCCancelResponder {
 public:
  virtual ~SCCancelResponder() = default;
  virtual void cancel() = 0;
};

class SCCredentialsView : public platform::View, public platform::TextFieldDelegate {
 public:
  static constexpr int64_t kUsernameTag = 1001;
  static constexpr int64_t kPasswordTag = 1002;

  explicit SCCredentialsView(const platform::Rect& frame = {});

  SCTextField& usernameField() { return *username_field_; }
  SCTextField& passwordField() { return *password_field_; }
  const std::string& username() const { return username_; }
  const std::string& password() const { return password_; }
  void updateInterface();

  void layoutSubviews() override;
  bool textFieldShouldBeginEditing(platform::TextField& f) override;
  void textFieldDidBeginEditing(platform::TextField& f) override;
  bool textFieldShouldEndEditing(platform::TextField& f) override;
  void textFieldDidEndEditing(platform::TextField& f) override;
  bool textFieldShouldReturn(platform::TextField& f) override;

 private:
  void store(platform::TextField& f);
  std::shared_ptr<SCTextField> username_field_, password_field_;
  std::string username_, password_;
};

class SCConnectToSoundCloudTitleView : public platform::View {
 public:
  explicit SCConnectToSoundCloudTitleView(const platform::Rect& frame);
  SCGradientButton& cancelButton() { return *cancel_; }
  void drawRect(const platform::Rect& rect) override;

 private:
  std::shared_ptr<SCGradientButton> cancel_;
};

class SCLoginView : public platform::ScrollView, public OHAttributedLabelDelegate {
 public:
  // The service's pages (the legal ones with the paths and query the
  // service serves its app versions under).
  static constexpr const char* kHomePageURL = "https://soundcloud.com";
  static constexpr const char* kTermsOfUseURL = "https://soundcloud.com/legal/plain/terms-of-use-ios.html?format=ios";
  static constexpr const char* kPrivacyPolicyURL = "https://soundcloud.com/legal/plain/privacy-policy.html?format=ios";

  explicit SCLoginView(const platform::Rect& frame);

  SCLoginViewProtocol* loginDelegate() const { return loginDelegate_; }
  // Not owned.
  void setLoginDelegate(SCLoginViewProtocol* d) { loginDelegate_ = d; }

  platform::ActivityIndicatorView& activityIndicator() { return *activity_; }
  SCCredentialsView& credentialsView() { return *credentials_; }
  SCGradientButton& fbButton() { return *fb_; }
  SCGradientButton& createButton() { return *create_; }
  SCGradientButton& loginButton() { return *login_; }
  platform::Label& titleLabel() { return *title_; }
  OHAttributedLabel& tosLabel() { return *tos_; }

  // The authorization page the request layer prepared: its "state" and its
  // PKCE challenge ("code_challenge", "code_challenge_method") go with the
  // Facebook sign-in too, since the OAuth2 client takes only a redirect that
  // carries the state of its own pending sign-in, and exchanges the code
  // with that sign-in's verifier.
  void setPreparedURL(std::optional<platform::URL> url) { preparedURL_ = std::move(url); }

  // ---- the web sign-in panel
  platform::View& webSignInPanel() { return *webPanel_; }
  SCTextField& redirectField() { return *redirectField_; }
  SCGradientButton& redirectDoneButton() { return *redirectDone_; }
  // The page the Facebook button opened last.
  const std::string& webSignInURL() const { return webURL_; }

  // ---- actions
  void login();
  void signInWithFacebook();
  void createWithSoundCloud();
  void cancel();
  // Hands an address to the request layer; false when it is not the
  // sign-in's redirect.
  bool handleRedirectURL(const std::string& url);
  void askForOpeningURL(const std::string& url);

  // ---- view
  void layoutSubviews() override;
  void drawRect(const platform::Rect& rect) override;
  void touchesBegan(const platform::TouchSet& touches, const platform::Event* event) override;

  std::optional<bool> attributedLabelShouldFollowLink(OHAttributedLabel&, const OHLink& link) override;
  std::optional<std::optional<platform::Color>> colorForLink(const OHLink&, int32_t& underlineStyle) override;

 private:
  void buildWebSignInPanel();

  SCLoginViewProtocol* loginDelegate_ = nullptr;
  std::shared_ptr<platform::ActivityIndicatorView> activity_;
  std::shared_ptr<platform::Label> title_;
  std::shared_ptr<SCGradientButton> fb_, create_, login_;
  std::shared_ptr<SCCredentialsView> credentials_;
  std::shared_ptr<OHAttributedLabel> tos_;
  std::shared_ptr<platform::View> webPanel_;
  std::shared_ptr<platform::Label> webMessage_;
  std::shared_ptr<SCTextField> redirectField_;
  std::shared_ptr<SCGradientButton> redirectDone_;
  std::string webURL_;
  std::optional<platform::URL> preparedURL_;
};

}  // namespace scui
