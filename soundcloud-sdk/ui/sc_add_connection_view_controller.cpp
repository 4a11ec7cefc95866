#include "soundcloud-sdk/ui/sc_add_connection_view_controller.h"

#include "platform/ui/alert_view.h"
#include "platform/ui/navigation_controller.h"
#include "soundcloud-sdk/sc_request.h"
#include "soundcloud-sdk/sc_soundcloud.h"
#include "soundcloud-sdk/ui/sc_bundle.h"
#include "soundcloud-sdk/ui/sc_colors.h"
#include "soundcloud-sdk/ui/sc_ui_utils.h"

namespace scui {

using platform::Color;
using platform::Rect;
namespace AR = platform::Autoresizing;

std::shared_ptr<SCAddConnectionViewController> SCAddConnectionViewController::withServiceAccount(
    const std::string& service, std::shared_ptr<scsdk::SCAccount> account, SCAddConnectionViewControllerDelegate* delegate) {
  if (service.empty()) return nullptr;
  auto c = std::make_shared<SCAddConnectionViewController>(service, std::move(account), delegate);
  c->requestAuthorizePage();
  return c;
}

std::shared_ptr<SCAddConnectionViewController> SCAddConnectionViewController::withService(
    const std::string& service, SCAddConnectionViewControllerDelegate* delegate) {
  if (service.empty()) return nullptr;
  return std::make_shared<SCAddConnectionViewController>(service, nullptr, delegate);
}

SCAddConnectionViewController::SCAddConnectionViewController(std::string service,
                                                             std::shared_ptr<scsdk::SCAccount> account,
                                                             SCAddConnectionViewControllerDelegate* delegate)
    : service_(std::move(service)), account_(std::move(account)), delegate_(delegate) {}

SCAddConnectionViewController::~SCAddConnectionViewController() {
  *alive_ = false;
  delegate_ = nullptr;
  loading_ = false;
}

void SCAddConnectionViewController::requestAuthorizePage() {
  std::string base = scsdk::SCSoundCloud::configuration().at(scsdk::kSCConfigurationAPIURL).stringValue();
  while (!base.empty() && base.back() == '/') base.pop_back();
  auto resource = platform::URL::withString(base + "/me/connections.json");
  if (!resource) return;
  nxoauth2::NXOAuth2Parameters params;
  params.set("service", service_);
  params.set("redirect_uri", std::string(kCallbackURL));
  params.set("display", std::string("touch"));
  std::weak_ptr<bool> alive = alive_;
  scsdk::SCRequest::performMethod(
      scsdk::SCRequestMethodPOST, *resource, params, account_, nullptr,
      [this, alive](const std::optional<platform::HTTPURLResponse>&, const platform::Data& data,
                    const std::optional<platform::Error>& error) {
        auto a = alive.lock();
        if (!a || !*a) return;
        if (data.empty()) {
          auto alert = std::make_shared<platform::AlertView>(
              SCLocalizedString("connection_faild"), error ? error->localizedDescription() : std::string(), nullptr,
              SCLocalizedString("connection_error_ok"), std::vector<std::string>{});
          alert->show();
          return;
        }
        const jk::Value json = scJSONObject(std::string_view(reinterpret_cast<const char*>(data.data()), data.size()));
        if (json.isDictionary() && json["authorize_url"].isString())
          setAuthorizeURL(std::string(json["authorize_url"].stringView()));
      });
}

void SCAddConnectionViewController::setAuthorizeURL(std::optional<std::string> url) {
  authorizeURL_ = std::move(url);
  if (webView_ && authorizeURL_ && decideNavigation(*authorizeURL_)) webView_->loadRequest(*authorizeURL_);
}

bool SCAddConnectionViewController::decideNavigation(const std::string& url) {
  auto parsed = platform::URL::withString(url);
  if (!parsed || parsed->scheme() != "x-soundcloud") return true;
  const size_t q = url.find('?');
  const auto query = scDictionaryFromQuery(q == std::string::npos ? std::string_view() : std::string_view(url).substr(q + 1));
  auto it = query.find("success");
  const bool success = it != query.end() && it->second == "1";
  if (delegate_) delegate_->addConnectionControllerDidFinish(*this, service_, success);
  return false;
}

void SCAddConnectionViewController::viewDidLoad() {
  platform::View& v = *view();
  if (auto tile = SCBundle::imageWithName("darkTexturedBackgroundPattern")) {
    // The platform's colours carry no patterns: the texture's average tone.
    const auto px = tile->pixel(tile->pixelWidth() / 2, tile->pixelHeight() / 2);
    v.setBackgroundColor(Color::rgba(px.r / 255.0, px.g / 255.0, px.b / 255.0, 1));
  }
  activity_ = std::make_shared<platform::ActivityIndicatorView>(platform::ActivityIndicatorView::Style::WhiteLarge);
  activity_->setAutoresizingMask(AR::FlexibleLeftMargin | AR::FlexibleRightMargin | AR::FlexibleTopMargin |
                                 AR::FlexibleBottomMargin);
  activity_->setHidesWhenStopped(true);
  v.addSubview(activity_);
  const Rect b = v.bounds();
  webView_ = std::make_shared<platform::WebView>(Rect{0, 0, b.size.width, b.size.height - 120});
  webView_->setBackgroundColor(Color::clear());
  webView_->setAutoresizingMask(AR::FlexibleWidth | AR::FlexibleHeight);
  v.addSubview(webView_);
  callbackField_ = std::make_shared<SCTextField>(Rect{13, b.size.height - 110, b.size.width - 26, 44});
  callbackField_->setAutoresizingMask(AR::FlexibleWidth | AR::FlexibleTopMargin);
  callbackField_->setBackgroundColor(Color::white(1.0));
  callbackField_->setFont(platform::Font::systemFont(14));
  callbackField_->setTextColor(SCColors::almostBlackColor());
  callbackField_->setPlaceholder(SCLocalizedString("web_sign_in_placeholder"));
  v.addSubview(callbackField_);
  callbackDone_ = std::make_shared<SCGradientButton>(Rect{13, b.size.height - 56, b.size.width - 26, 43});
  callbackDone_->setAutoresizingMask(AR::FlexibleWidth | AR::FlexibleTopMargin);
  callbackDone_->setBackgroundPattern(SCBundle::imageWithName("continue"));
  callbackDone_->setTitle(SCLocalizedString("web_sign_in_done"), platform::ControlState::Normal);
  callbackDone_->setTitleColor(SCColors::soundCloudGrey(), platform::ControlState::Normal);
  callbackDone_->addTarget(this, "callbackDone", [this](platform::Control&) {
    callbackField_->resignFirstResponder();
    if (decideNavigation(callbackField_->text()) && webView_) webView_->loadRequest(callbackField_->text());
  }, platform::ControlEvents::TouchUpInside);
  v.addSubview(callbackDone_);
  if (authorizeURL_ && decideNavigation(*authorizeURL_)) webView_->loadRequest(*authorizeURL_);
}

void SCAddConnectionViewController::viewDidAppear(bool animated) {
  platform::ViewController::viewDidAppear(animated);
  if (activity_) activity_->setCenter({view()->bounds().midX(), view()->bounds().midY()});
}

void SCAddConnectionViewController::viewWillAppear(bool animated) {
  platform::ViewController::viewWillAppear(animated);
  if (auto* nav = navigationController()) nav->setNavigationBarHidden(false, animated);
}

void SCAddConnectionViewController::viewWillDisappear(bool animated) {
  platform::ViewController::viewWillDisappear(animated);
  if (auto* nav = navigationController()) nav->setNavigationBarHidden(true, animated);
}

// ---- decorative views

SCCoverImageButton::SCCoverImageButton(const Rect& frame) : platform::Button(Type::Custom, frame) {
  setClipsToBounds(true);
  layer().setCornerRadius(3);
}

void SCCoverImageButton::drawRect(const Rect& rect) {
  platform::Button::drawRect(rect);
  platform::GraphicsContext* c = platform::currentGraphicsContext();
  c->setLineWidth(1);
  c->setStrokeColor(Color::black());
  SCAddRoundedRectToContext(*c, bounds().insetBy(0.5, 0.5), 7);
  c->strokePath();
  c->setFillColor(SCColors::transparentBlack());
  SCAddRoundedRectToContext(*c, bounds().insetBy(0.5, 0.5), 7);
  c->fillPath();
}

SCHorizontalLineView::SCHorizontalLineView(const Rect& frame) : platform::View(frame) {
  setDrawsContent(true);
  setAutoresizingMask(AR::FlexibleWidth | AR::FlexibleBottomMargin);
}

void SCHorizontalLineView::drawRect(const Rect&) {
  platform::GraphicsContext* c = platform::currentGraphicsContext();
  const Rect b = bounds();
  const double half = b.size.height / 2;
  c->setFillColor(Color::black());
  c->fillRect({b.origin.x, b.origin.y, b.size.width, half});
  c->setFillColor(Color::white(1.0, 0.05));
  c->fillRect({b.origin.x, b.origin.y + half, b.size.width, b.size.height - half});
}

}  // namespace scui
