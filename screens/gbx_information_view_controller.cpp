#include "screens/gbx_information_view_controller.h"

#include <cctype>

#include "platform/foundation/bundle.h"
#include "platform/gfx/image.h"
#include "platform/ui/navigation_controller.h"
#include "screens/help_web_view_controller.h"

namespace {

std::string infoString(const char* key) {
  std::optional<platform::Value> v = platform::Bundle::mainBundle().objectForInfoDictionaryKey(key);
  return v && v->isString() ? v->stringValue() : std::string();
}

// A file address for a path, its bytes outside the unreserved set and "/"
// percent-encoded (a bundle under a folder with blanks still opens).
std::string fileURL(const std::filesystem::path& path) {
  static const char* hex = "0123456789ABCDEF";
  std::string url = "file://";
  for (unsigned char c : path.string()) {
    if (std::isalnum(c) || c == '/' || c == '-' || c == '.' || c == '_' || c == '~') {
      url += static_cast<char>(c);
    } else {
      url += '%';
      url += hex[c >> 4];
      url += hex[c & 15];
    }
  }
  return url;
}

std::optional<std::string> helpPage(const std::string& name) {
  std::optional<std::filesystem::path> p = platform::Bundle::mainBundle().pathForResource(name, "html", "help");
  if (!p) return std::nullopt;
  return fileURL(std::filesystem::absolute(*p).lexically_normal());
}

}  // namespace

GBXInformationViewController::GBXInformationViewController() = default;

// Nothing is scheduled for later on this screen, so tear-down only lets go
// of its views.
GBXInformationViewController::~GBXInformationViewController() { releaseOutlets(); }

std::string GBXInformationViewController::versionString() { return "Version " + infoString("CFBundleShortVersionString"); }

std::string GBXInformationViewController::nameString() {
  return std::string(kMakerWord) + infoString("CFBundleDisplayName");
}

std::optional<std::string> GBXInformationViewController::productPageURL() { return helpPage("index"); }
std::optional<std::string> GBXInformationViewController::helpCenterURL() { return helpPage("help-center"); }

void GBXInformationViewController::viewDidLoad() {
  ViewController::viewDidLoad();
  setupOutlets();
}

std::shared_ptr<platform::Label> GBXInformationViewController::label(const platform::Rect& frame,
                                                                     const std::string& text, double size) const {
  auto l = std::make_shared<platform::Label>(frame);
  l->setBackgroundColor(platform::Color::clear());
  l->setTextAlignment(platform::TextAlignment::Left);
  l->setBaselineAdjustment(platform::BaselineAdjustment::AlignCenters);
  l->setFont(platform::Font::named("HelveticaNeue", size));
  l->setText(text);
  return l;
}

std::shared_ptr<platform::Button> GBXInformationViewController::pageButton(const platform::Rect& frame,
                                                                           const std::string& title) const {
  auto b = std::make_shared<platform::Button>(platform::Button::Type::Custom, frame);
  b->layer().setBorderWidth(0);
  b->layer().setCornerRadius(10);
  b->setBackgroundColor(platform::Color::white(1.0, 0.3));
  b->setTitle(title, platform::ControlState::Normal);
  b->setTitleColor(platform::Color::white(0.0, 0.8), platform::ControlState::Normal);
  b->setTitleColor(platform::Color::white(0.0, 0.4), platform::ControlState::Highlighted);
  b->titleLabel().setFont(platform::Font::named("HelveticaNeue", 17));
  return b;
}

void GBXInformationViewController::setupOutlets() {
  platform::View* root = view();
  appIconImageView_ = std::make_shared<platform::ImageView>(platform::Rect{15, 15, 50, 50});
  appIconImageView_->setImage(platform::Image::named("AppIcon_iPhone"));
  appIconImageView_->setClipsToBounds(true);
  root->addSubview(appIconImageView_);
  appNameLabel_ = label({80, 15, 170, 24}, nameString(), 17);
  root->addSubview(appNameLabel_);
  appDescLabel_ = label({80, 34, 170, 24}, kDescription, 14);
  appDescLabel_->setTextColor(platform::Color::gray());
  root->addSubview(appDescLabel_);
  productPageButton_ = pageButton({15, 80, 250, 40}, "Product Page");
  productPageButton_->addTarget(this, "productPageButtonPushed:", [this](platform::Control&) { productPageButtonPushed(); },
                                platform::ControlEvents::TouchUpInside);
  root->addSubview(productPageButton_);
  helpCenterButton_ = pageButton({15, 130, 250, 40}, "Help Center");
  helpCenterButton_->addTarget(this, "helpCenterButtonPushed:", [this](platform::Control&) { helpCenterButtonPushed(); },
                               platform::ControlEvents::TouchUpInside);
  root->addSubview(helpCenterButton_);
  appVersionLabel_ = label({15, 180, 150, 20}, versionString(), 12);
  root->addSubview(appVersionLabel_);
  appCopyrightLabel_ = label({15, 195, 176, 20}, kCopyright, 10);
  appCopyrightLabel_->setTextColor(platform::Color::gray());
  appCopyrightLabel_->setNumberOfLines(0);
  appCopyrightLabel_->setLineBreakMode(platform::LineBreakMode::WordWrap);
  root->addSubview(appCopyrightLabel_);
}

void GBXInformationViewController::releaseOutlets() {
  const auto drop = [](auto& view) {
    if (view) view->removeFromSuperview();
    view.reset();
  };
  drop(appIconImageView_);
  drop(appNameLabel_);
  drop(appDescLabel_);
  drop(appVersionLabel_);
  drop(appCopyrightLabel_);
  drop(productPageButton_);
  drop(helpCenterButton_);
}

void GBXInformationViewController::productPageButtonPushed() { presentWebView(productPageURL(), kProductPageTitle); }

void GBXInformationViewController::helpCenterButtonPushed() { presentWebView(helpCenterURL(), "Help Center"); }

void GBXInformationViewController::presentWebView(std::optional<std::string> url, std::optional<std::string> title) {
  openWebView(std::make_shared<GBXHelpWebViewController>(std::move(url), std::move(title)));
}

void GBXInformationViewController::presentWebView(std::optional<std::string> url, std::optional<std::string> title,
                                                  std::optional<std::string> secondUrl,
                                                  std::optional<std::string> secondTitle) {
  auto web = std::make_shared<GBXHelpWebViewController>(std::move(url), std::move(title));
  web->addUrl(std::move(secondUrl), std::move(secondTitle));
  openWebView(std::move(web));
}

void GBXInformationViewController::presentWebView(std::optional<std::string> url, std::optional<std::string> title,
                                                  std::optional<std::string> secondUrl,
                                                  std::optional<std::string> secondTitle,
                                                  std::optional<std::string> thirdUrl,
                                                  std::optional<std::string> thirdTitle) {
  auto web = std::make_shared<GBXHelpWebViewController>(std::move(url), std::move(title));
  web->addUrl(std::move(secondUrl), std::move(secondTitle));
  web->addUrl(std::move(thirdUrl), std::move(thirdTitle));
  openWebView(std::move(web));
}

void GBXInformationViewController::openWebView(std::shared_ptr<HelpWebViewController> webView) {
  if (!webView) return;
  webView->navigationItem().setRightBarButtonItem(platform::BarButtonItem::system(
      platform::BarButtonItem::SystemItem::Done, [this](platform::BarButtonItem&) { webViewDoneButtonPushed(); }));
  auto nav = std::make_shared<platform::NavigationController>(std::move(webView));
  nav->setModalPresentationStyle(platform::ModalPresentationStyle::FullScreen);
  presentViewController(std::move(nav), true, {});
}

void GBXInformationViewController::webViewDoneButtonPushed() { dismissViewControllerAnimated(true, {}); }
