#include "soundcloud-sdk/ui/sc_login_view.h"

#include <cstdio>
#include <cstdlib>

#include "oauth2/nxoauth2_account_store.h"
#include "oauth2/nxoauth2_constants.h"
#include "oauth2/nxoauth2_url_encoding.h"
#include "platform/foundation/bundle.h"
#include "platform/ui/application.h"
#include "platform/ui/image_view.h"
#include "soundcloud-sdk/sc_soundcloud.h"
#include "soundcloud-sdk/ui/sc_alert_view.h"
#include "soundcloud-sdk/ui/sc_bundle.h"
#include "soundcloud-sdk/ui/sc_colors.h"
#include "soundcloud-sdk/ui/sc_ui_utils.h"

namespace scui {

using platform::Color;
using platform::Font;
using platform::Rect;
namespace AR = platform::Autoresizing;
namespace CE = platform::ControlEvents;
namespace CS = platform::ControlState;

namespace {

void showPlainAlert(const std::string& title, const std::string& message) {
  auto alert = std::make_shared<platform::AlertView>(SCLocalizedString(title), SCLocalizedString(message), nullptr,
                                                     SCLocalizedString("alert_ok"), std::vector<std::string>{});
  alert->show();
}

std::shared_ptr<platform::ImageView> imageView(const std::string& name) {
  auto image = SCBundle::imageWithName(name);
  auto view = std::make_shared<platform::ImageView>(image);
  view->setUserInteractionEnabled(false);
  return view;
}

}  // namespace

// ---- credentials

SCCredentialsView::SCCredentialsView(const Rect& frame) : platform::View(frame) {
  setBackgroundColor(Color::white(1.0));
  layer().setCornerRadius(4);
  layer().setBorderWidth(1);
  layer().setBorderColor(SCColors::soundCloudSuperLightGrey());
  layer().setShadowColor(Color::black());
  layer().setShadowOffset({1, 5});

  auto make = [this](int64_t tag, const std::string& placeholder) {
    auto f = std::make_shared<SCTextField>();
    f->setAutoresizingMask(AR::FlexibleWidth | AR::FlexibleHeight);
    f->setBackgroundColor(Color::clear());
    f->setPlaceholder(SCLocalizedString(placeholder));
    f->setFont(Font::systemFont(16));
    f->setTextColor(SCColors::soundCloudLightGrey());
    f->setTag(tag);
    f->setDelegate(this);
    addSubview(f);
    return f;
  };
  username_field_ = make(kUsernameTag, "username");
  username_field_->setNeedsSeparatorLine(true);
  username_field_->setCornerStyle(SCTextField::RoundedTop);
  username_field_->addInnerShadow();
  password_field_ = make(kPasswordTag, "password");
  password_field_->setSecureTextEntry(true);
  password_field_->setCornerStyle(SCTextField::RoundedBottom);
}

void SCCredentialsView::layoutSubviews() {
  const Rect b = bounds();
  username_field_->setFrame({b.origin.x, b.origin.y, b.size.width, b.size.height / 2});
  password_field_->setFrame({b.origin.x, b.origin.y + b.size.height / 2, b.size.width, b.size.height / 2});
}

void SCCredentialsView::updateInterface() {
  username_field_->setNeedsDisplay();
  password_field_->setNeedsDisplay();
}

void SCCredentialsView::store(platform::TextField& f) {
  if (f.tag() == kUsernameTag) username_ = f.text();
  if (f.tag() == kPasswordTag) password_ = f.text();
}

bool SCCredentialsView::textFieldShouldBeginEditing(platform::TextField& f) {
  f.setTextColor(SCColors::almostBlackColor());
  return true;
}

void SCCredentialsView::textFieldDidBeginEditing(platform::TextField& f) { store(f); }

bool SCCredentialsView::textFieldShouldEndEditing(platform::TextField& f) {
  store(f);
  return true;
}

void SCCredentialsView::textFieldDidEndEditing(platform::TextField& f) { f.setTextColor(SCColors::soundCloudLightGrey()); }

bool SCCredentialsView::textFieldShouldReturn(platform::TextField& f) {
  if (f.tag() == kPasswordTag) {
    store(f);
    f.resignFirstResponder();
    if (auto* login = dynamic_cast<SCLoginView*>(superview())) login->login();
  } else if (f.tag() == kUsernameTag) {
    store(f);
    password_field_->becomeFirstResponder();
  }
  return true;
}

// ---- title bar

SCConnectToSoundCloudTitleView::SCConnectToSoundCloudTitleView(const Rect& frame) : platform::View(frame) {
  setBackgroundColor(Color::black());
  setAutoresizingMask(AR::FlexibleWidth);
  setDrawsContent(true);
  layer().setShadowColor(Color::black());
  layer().setShadowOpacity(0.55);
  layer().setShadowOffset({0, 0});
  const double W = frame.size.width;
  cancel_ = std::make_shared<SCGradientButton>(Rect{W - 80, 6, 72, 32});
  cancel_->setBackgroundPattern(SCBundle::imageWithName("cancel"));
  cancel_->layer().setBorderColor(Color::black());
  cancel_->setTitle(SCLocalizedString("cancel"), CS::Normal);
  cancel_->titleLabel().setFont(Font::systemFont(16));
  cancel_->setTitleColor(Color::white(0.8, 1.0), CS::Normal);
  cancel_->setTitleShadow(Color::black(), {0, -1});
  // No fixed target: the action goes up the responder chain to whoever
  // cancels (the login controller).
  cancel_->addTarget(nullptr, "cancel", [](platform::Control& sender) {
    for (platform::Responder* r = sender.nextResponder(); r; r = r->nextResponder())
      if (auto* c = dynamic_cast<SCCancelResponder*>(r)) {
        c->cancel();
        return;
      }
  }, CE::TouchUpInside);
  addSubview(cancel_);
  auto logo = imageView("orange_header_logo");
  logo->setFrame({0, -0.6, logo->frame().size.width, logo->frame().size.height});
  logo->setAutoresizingMask(AR::FlexibleRightMargin);
  addSubview(logo);
}

void SCConnectToSoundCloudTitleView::drawRect(const Rect&) {
  platform::GraphicsContext* c = platform::currentGraphicsContext();
  const Rect b = bounds();
  const Rect area{b.origin.x, b.origin.y, b.size.width, b.size.height - 1};
  cairo_pattern_t* g = cairo_pattern_create_linear(0, area.minY(), 0, area.maxY());
  cairo_pattern_add_color_stop_rgba(g, 0, 0.22, 0.22, 0.22, 1);
  cairo_pattern_add_color_stop_rgba(g, 1, 0.137, 0.137, 0.137, 1);
  cairo_t* cr = c->cairo();
  cairo_save(cr);
  cairo_rectangle(cr, area.origin.x, area.origin.y, area.size.width, area.size.height);
  cairo_set_source(cr, g);
  cairo_fill(cr);
  cairo_restore(cr);
  cairo_pattern_destroy(g);
}

// ---- the form

SCLoginView::SCLoginView(const Rect& frame) : platform::ScrollView(frame) {
  setAutoresizingMask(AR::FlexibleWidth | AR::FlexibleHeight);
  setDrawsContent(true);
  activity_ = std::make_shared<platform::ActivityIndicatorView>(platform::ActivityIndicatorView::Style::WhiteLarge);
  activity_->setAutoresizingMask(AR::FlexibleLeftMargin | AR::FlexibleRightMargin | AR::FlexibleTopMargin |
                                 AR::FlexibleBottomMargin);
  activity_->setHidesWhenStopped(true);
  addSubview(activity_);
  setBackgroundColor(SCColors::soundCloudBackgroundGrey());

  title_ = std::make_shared<platform::Label>();
  title_->setNumberOfLines(2);
  title_->setTextAlignment(platform::TextAlignment::Left);
  {
    const std::string format = SCLocalizedString("credential_title");
    const auto name = platform::Bundle::mainBundle().objectForInfoDictionaryKey("CFBundleDisplayName");
    std::string text = format;
    if (const size_t at = text.find("%@"); at != std::string::npos)
      text.replace(at, 2, name && name->isString() ? name->stringValue() : std::string());
    title_->setText(text);
  }
  title_->setTextColor(SCColors::soundCloudGrey());
  title_->setFont(Font::systemFont(15));
  title_->setBackgroundColor(Color::clear());
  addSubview(title_);

  fb_ = std::make_shared<SCGradientButton>(
      Rect{}, std::vector<Color>{Color::rgba(0.0, 0.4, 0.8, 1), Color::rgba(0.043, 0.314, 0.588, 1)});
  fb_->setBackgroundColor(Color::white(1.0));
  fb_->setTitle(SCLocalizedString("fb_sign_in"), CS::Normal);
  fb_->titleLabel().setFont(Font::systemFont(16));
  fb_->setTitleShadow(Color::black(), {0, -0.9});
  fb_->setTitleColor(Color::white(1.0), CS::Normal);
  fb_->layer().setBorderColor(Color::rgba(0.0, 0.286, 0.569, 1));
  {
    auto icon = imageView("facebook");
    icon->setFrame({7, 6, icon->frame().size.width, icon->frame().size.height});
    fb_->addSubview(icon);
  }
  fb_->addTarget(this, "signInWithFacebook:", [this](platform::Control&) { signInWithFacebook(); }, CE::TouchUpInside);
  addSubview(fb_);

  create_ = std::make_shared<SCGradientButton>(
      Rect{}, std::vector<Color>{Color::rgba(1.0, 0.42352941632270813, 0.0, 1), Color::rgba(1.0, 0.0, 0.0, 1)});
  create_->setBackgroundColor(Color::white(1.0));
  create_->setTitle("Create an account on SoundCloud", CS::Normal);
  create_->titleLabel().setFont(Font::systemFont(16));
  create_->setTitleShadow(Color::black(), {0, -0.9});
  create_->setTitleColor(Color::white(1.0), CS::Normal);
  create_->layer().setBorderColor(SCColors::soundCloudSuperLightGrey());
  {
    auto icon = imageView("cloud");
    const platform::Size s = icon->frame().size;
    icon->setFrame({12, 21 - s.height / 2, s.width, s.height});
    create_->addSubview(icon);
  }
  create_->addTarget(this, "createWithSoundCloud:", [this](platform::Control&) { createWithSoundCloud(); },
                     CE::TouchUpInside);
  addSubview(create_);

  credentials_ = std::make_shared<SCCredentialsView>();
  credentials_->setAutoresizingMask(AR::FlexibleWidth | AR::FlexibleTopMargin);
  addSubview(credentials_);

  login_ = std::make_shared<SCGradientButton>();
  login_->setBackgroundPattern(SCBundle::imageWithName("continue"));
  login_->setTitle(SCLocalizedString("connect_to_sc"), CS::Normal);
  login_->titleLabel().setFont(Font::systemFont(16));
  login_->setTitleColor(SCColors::soundCloudGrey(), CS::Normal);
  login_->setTitleShadow(Color::white(1.0), {0, 1});
  login_->layer().setBorderColor(SCColors::soundCloudSuperLightGrey());
  login_->addTarget(this, "login:", [this](platform::Control&) { login(); }, CE::TouchUpInside);
  addSubview(login_);

  tos_ = std::make_shared<OHAttributedLabel>();
  tos_->setFont(Font::systemFont(13));
  tos_->setNumberOfLines(0);
  tos_->setCenterVertically(false);
  tos_->setLineBreakMode(platform::LineBreakMode::WordWrap);
  tos_->setTextAlignment(platform::TextAlignment::Center);
  tos_->setTextColor(SCColors::soundCloudLightGrey());
  tos_->setBackgroundColor(Color::clear());
  tos_->setText(SCLocalizedString("sign_in_tos_pp_body"));
  tos_->setDelegate(this);
  tos_->setLinkColor(SCColors::soundCloudGrey());
  {
    const auto text = tos_->attributedText();
    const auto terms = text->rangeOfString(SCLocalizedString("terms_of_use_substring"));
    const auto privacy = text->rangeOfString(SCLocalizedString("privatcy_policy_substring"));
    if (!terms || !privacy) {
      std::fputs("Localisation of sign_in_tos_pp_body needs to contain substring\n", stderr);
      std::abort();
    }
    tos_->addCustomLink(kTermsOfUseURL, *terms);
    tos_->addCustomLink(kPrivacyPolicyURL, *privacy);
  }
  addSubview(tos_);
  buildWebSignInPanel();
}

void SCLoginView::buildWebSignInPanel() {
  webPanel_ = std::make_shared<platform::View>();
  webPanel_->setBackgroundColor(SCColors::soundCloudBackgroundGrey());
  webPanel_->setHidden(true);
  webMessage_ = std::make_shared<platform::Label>();
  webMessage_->setNumberOfLines(0);
  webMessage_->setFont(Font::systemFont(15));
  webMessage_->setTextColor(SCColors::soundCloudGrey());
  webMessage_->setText(SCLocalizedString("web_sign_in_message"));
  webPanel_->addSubview(webMessage_);
  redirectField_ = std::make_shared<SCTextField>();
  redirectField_->setBackgroundColor(Color::white(1.0));
  redirectField_->setFont(Font::systemFont(14));
  redirectField_->setTextColor(SCColors::almostBlackColor());
  redirectField_->setPlaceholder(SCLocalizedString("web_sign_in_placeholder"));
  redirectField_->layer().setBorderWidth(1);
  redirectField_->layer().setBorderColor(SCColors::soundCloudSuperLightGrey());
  webPanel_->addSubview(redirectField_);
  redirectDone_ = std::make_shared<SCGradientButton>();
  redirectDone_->setBackgroundPattern(SCBundle::imageWithName("continue"));
  redirectDone_->setTitle(SCLocalizedString("web_sign_in_done"), CS::Normal);
  redirectDone_->titleLabel().setFont(Font::systemFont(16));
  redirectDone_->setTitleColor(SCColors::soundCloudGrey(), CS::Normal);
  redirectDone_->layer().setBorderColor(SCColors::soundCloudSuperLightGrey());
  redirectDone_->addTarget(this, "redirectDone:", [this](platform::Control&) {
    redirectField_->resignFirstResponder();
    if (!handleRedirectURL(redirectField_->text())) showPlainAlert("auth_error", "auth_error_message");
  }, CE::TouchUpInside);
  webPanel_->addSubview(redirectDone_);
  addSubview(webPanel_);
}

void SCLoginView::layoutSubviews() {
  const Rect b = bounds();
  const double W = b.size.width;
  title_->setFrame({18, 13, b.maxX() - 18, 40});
  credentials_->setFrame({13, 218, W - 27, 97});
  const Rect cred = credentials_->frame();
  fb_->setFrame({cred.origin.x, 69, cred.size.width, 43});
  create_->setFrame({cred.origin.x, 122, cred.size.width, 43});
  login_->setFrame({cred.origin.x, cred.maxY() + 21, cred.size.width, 43});
  tos_->setFrame({login_->frame().origin.x, login_->frame().maxY() + 17, W - 20, 80});
  activity_->setCenter({b.midX(), b.midY()});
  double left = SCDevice::isIPad() ? -230 : -30;
  if (SCDevice::isLandscape()) left = -W / 3;
  fb_->setTitleEdgeInsets({0, left, 0, 0});
  // The web sign-in panel covers what is visible of the form.
  webPanel_->setFrame(b);
  webMessage_->setFrame({18, 13, W - 36, 60});
  redirectField_->setFrame({13, 80, W - 27, 44});
  redirectDone_->setFrame({13, 140, W - 27, 43});
  setNeedsDisplay();
}

void SCLoginView::drawRect(const Rect&) {
  platform::GraphicsContext* c = platform::currentGraphicsContext();
  const double W = bounds().size.width;
  c->setLineWidth(1.3);
  c->setLineCap(platform::LineCap::Square);
  auto line = [&](double y, const Color& col) {
    c->setStrokeColor(col);
    c->beginPath();
    c->moveTo(0 + 0.5, y + 0.5);
    c->addLineTo(W + 0.5, y + 0.5);
    c->strokePath();
  };
  line(178, SCColors::soundCloudSuperLightGrey());
  line(179.3, Color::white(1.0));
}

void SCLoginView::touchesBegan(const platform::TouchSet& touches, const platform::Event* event) {
  scResignFirstResponderOfAllSubviews(*this);
  platform::ScrollView::touchesBegan(touches, event);
}

void SCLoginView::login() {
  // Resigning stores what the field being edited holds.
  scResignFirstResponderOfAllSubviews(*this);
  if (!credentials_->username().empty() && !credentials_->password().empty()) {
    scsdk::SCSoundCloud::shared().requestAccessWithUsername(credentials_->username(), credentials_->password());
  } else {
    showPlainAlert("credentials_error", "credentials_error_message");
  }
}

void SCLoginView::signInWithFacebook() {
  const platform::Dictionary config =
      nxoauth2::NXOAuth2AccountStore::sharedStore().configurationForAccountType(scsdk::kSCAccountType);
  auto value = [&](const char* key) {
    auto it = config.find(key);
    return it == config.end() ? std::string() : it->second.stringValue();
  };
  webURL_ = value(nxoauth2::kNXOAuth2AccountStoreConfigurationAuthorizeURL) + "/via/facebook?client_id=" +
            value(nxoauth2::kNXOAuth2AccountStoreConfigurationClientID) +
            "&redirect_uri=" + value(nxoauth2::kNXOAuth2AccountStoreConfigurationRedirectURL) +
            "&display=popup&response_type=code";
  // The sign-in the request layer prepared is the one this page completes:
  // its state, and the PKCE challenge of the verifier the code exchange
  // will send (a service that enforces PKCE refuses the page without it).
  if (preparedURL_)
    for (const char* key : {"state", "code_challenge", "code_challenge_method"})
      if (auto v = nxoauth2::nxoauth2_valueForQueryParameterKey(*preparedURL_, key))
        webURL_ += std::string("&") + key + "=" + nxoauth2::nxoauth2_URLEncodedString(*v);
  scResignFirstResponderOfAllSubviews(*this);
  // The page goes to the desktop's browser; the panel takes the address it
  // ends on.
  const bool opened = platform::Application::sharedApplication().openURL(webURL_);
  if (!opened) {
    if (loginDelegate_)
      loginDelegate_->loginViewDidFailWithError(
          *this, platform::Error::make("SCUIErrorDomain", 101, "The sign-in page could not be opened."));
    return;
  }
  redirectField_->setText("");
  webPanel_->setAlpha(0);
  webPanel_->setHidden(false);
  bringSubviewToFront(webPanel_.get());
  platform::View::animate(0.5, [this] { webPanel_->setAlpha(1); });
}

bool SCLoginView::handleRedirectURL(const std::string& url) {
  auto parsed = platform::URL::withString(url);
  if (!parsed) return false;
  return scsdk::SCSoundCloud::handleRedirectURL(*parsed);
}

void SCLoginView::createWithSoundCloud() { platform::Application::sharedApplication().openURL(kHomePageURL); }

void SCLoginView::cancel() {
  if (loginDelegate_) loginDelegate_->dismissModalViewControllerAnimated(true);
}

void SCLoginView::askForOpeningURL(const std::string& url) {
  SCAlertView::showAlertViewWithTitle(SCLocalizedString("open_in_safari_title"), SCLocalizedString("open_in_safari_message"),
                                      SCLocalizedString("alert_cancel"), {SCLocalizedString("alert_ok")},
                                      [url](int, bool isCancel) {
                                        if (!isCancel) platform::Application::sharedApplication().openURL(url);
                                      });
}

std::optional<bool> SCLoginView::attributedLabelShouldFollowLink(OHAttributedLabel&, const OHLink& link) {
  if (link.url == kTermsOfUseURL || link.url == kPrivacyPolicyURL) askForOpeningURL(link.url);
  return false;
}

std::optional<std::optional<Color>> SCLoginView::colorForLink(const OHLink&, int32_t& underlineStyle) {
  underlineStyle = 1;
  return std::optional<Color>(SCColors::soundCloudGrey());
}

}  // namespace scui
