#include "screens/help_web_view_controller.h"

#include <algorithm>
#include <cctype>
#include <cmath>

#include "platform/ui/application.h"

HelpWebViewController::HelpWebViewController(Text url, Text title) { addUrl(std::move(url), std::move(title)); }

HelpWebViewController::~HelpWebViewController() {
  pageUrls_.clear();
  titles_.clear();
}

void HelpWebViewController::addUrl(Text url, Text title) {
  if (!url) return;
  pageUrls_.push_back(*url);
  titles_.push_back(title ? *title : std::string());
}

bool HelpWebViewController::isValidURL(const std::string& text) {
  const size_t colon = text.find(':');
  if (colon == std::string::npos || colon == 0) return false;
  if (!std::isalpha(static_cast<unsigned char>(text[0]))) return false;
  for (size_t i = 0; i < colon; ++i) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if (!std::isalnum(c) && c != '+' && c != '-' && c != '.') return false;
  }
  for (unsigned char c : text)
    if (c <= ' ' || c == 0x7F) return false;
  return true;
}

void HelpWebViewController::reloadRequest() {
  if (urlIndex_ >= pageUrls_.size() || !webView_) return;
  const std::string& text = pageUrls_[urlIndex_];
  // An address that does not parse loads nothing.
  webView_->loadRequest(isValidURL(text) ? text : std::string());
}

void HelpWebViewController::segmentedControlAction(platform::SegmentedControl& control) {
  urlIndex_ = static_cast<uint64_t>(std::max(0, control.selectedSegmentIndex()));
  reloadRequest();
}

void HelpWebViewController::webViewDoneButtonPushed() {
  if (urlIndex_ >= pageUrls_.size()) return;
  const std::string& text = pageUrls_[urlIndex_];
  if (!isValidURL(text)) return;
  platform::Application& app = platform::Application::sharedApplication();
  if (app.canOpenURL(text)) app.openURL(text);
}

platform::Rect HelpWebViewController::retrieveSafeArea() {
  const platform::Rect b = view()->bounds();
  const platform::EdgeInsets in = view()->safeAreaInsets();
  return {b.origin.x + in.left, b.origin.y + in.top, b.size.width - (in.left + in.right),
          b.size.height - (in.top + in.bottom)};
}

platform::Rect HelpWebViewController::retrieveSegmentedControlAreaFrame() {
  const platform::Rect safe = retrieveSafeArea();
  return {safe.minX(), safe.minY(), safe.size.width, segmentedControl_ ? 38.0 : 0.0};
}

void HelpWebViewController::setupOutlets() {
  configureView();
  // The switch first: the web view's place depends on whether it exists.
  if (titles_.size() >= 2) {
    segmentedControl_ = std::make_shared<platform::SegmentedControl>();
    for (size_t i = 0; i < titles_.size(); ++i)
      segmentedControl_->insertSegmentWithTitle(titles_[i], static_cast<int>(i), false);
    segmentedControl_->addTarget(this, "segmentedControlAction:", [this](platform::Control& c) {
      segmentedControlAction(static_cast<platform::SegmentedControl&>(c));
    }, platform::ControlEvents::ValueChanged);
    segmentedControl_->setSelectedSegmentIndex(static_cast<int>(urlIndex_));
    segmentedControl_->setMomentary(false);
    if (segmentWidening() > 0) {
      platform::Rect f = segmentedControl_->frame();
      f.size.width += segmentWidening() * static_cast<double>(titles_.size());
      segmentedControl_->setFrame(f);
    }
  }
  webView_ = std::make_shared<platform::WebView>(retrieveWebViewFrame());
  view()->addSubview(webView_);
  if (!openButtonHidden_) {
    navigationItem().setLeftBarButtonItem(platform::BarButtonItem::system(
        platform::BarButtonItem::SystemItem::Action, [this](platform::BarButtonItem&) { webViewDoneButtonPushed(); }));
  }
  if (urlIndex_ < titles_.size()) navigationItem().setTitle(titles_[urlIndex_]);
  if (segmentedControl_) navigationItem().setTitleView(segmentedControl_);
}

// ---- GBXHelpWebViewController

void GBXHelpWebViewController::configureView() {}

void GBXHelpWebViewController::viewDidLoad() {
  HelpWebViewController::viewDidLoad();
  // The navigation bar of this platform is always opaque, so the content
  // already starts below it.
  view()->setBackgroundColor(platform::Color::clear());
  setupOutlets();
  reloadRequest();
}

platform::Rect GBXHelpWebViewController::retrieveWebViewFrame() {
  const platform::Rect safe = retrieveSafeArea();
  const platform::Rect strip = retrieveSegmentedControlAreaFrame();
  return {safe.minX(), strip.maxY(), safe.size.width, safe.maxY() - strip.maxY()};
}

// ---- TESHelpWebViewController

void TESHelpWebViewController::configureView() { view()->setBackgroundColor(platform::Color::whiteColor()); }

void TESHelpWebViewController::viewDidLoad() {
  HelpWebViewController::viewDidLoad();
  setupOutlets();
  reloadRequest();
}

platform::Rect TESHelpWebViewController::retrieveWebViewFrame() { return retrieveSafeArea(); }

void TESHelpWebViewController::viewWillLayoutSubviews() {
  HelpWebViewController::viewWillLayoutSubviews();
  if (webView_) webView_->setFrame(retrieveWebViewFrame());
  layoutSegmentedControl();
}

void TESHelpWebViewController::layoutSegmentedControl() {
  if (titles_.size() < 2 || !segmentedControl_) return;
  const platform::Rect strip = retrieveSegmentedControlAreaFrame();
  const platform::Rect area{strip.minX() + 8, strip.minY() + 4, strip.size.width - 16, strip.size.height - 8};
  const double n = static_cast<double>(titles_.size());
  const double w = std::min(std::trunc(area.size.width / n), 100.0);
  segmentedControl_->setTitleTextAttributes(platform::Font::systemFont(11), segmentedControl_->tintColor(),
                                            platform::ControlState::Normal);
  segmentedControl_->setFrame({area.midX() - w * n / 2, area.minY(), w * n, area.size.height});
}
