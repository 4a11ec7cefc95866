#include "screens/ta_info_view_controller.h"

#include <cmath>

#include "platform/foundation/bundle.h"
#include "platform/foundation/preferred_languages.h"
#include "platform/gfx/image.h"
#include "platform/ui/application.h"
#include "platform/ui/navigation_controller.h"
#include "screens/help_web_view_controller.h"

namespace {

namespace AR = platform::Autoresizing;

// The desktop has no status bar; its hidden state is only remembered.
bool gStatusBarHidden = false;

std::string infoString(const char* key) {
  std::optional<platform::Value> v = platform::Bundle::mainBundle().objectForInfoDictionaryKey(key);
  return v && v->isString() ? v->stringValue() : std::string();
}

platform::Font light(double size) { return platform::Font::named("HelveticaNeue-Light", size); }

}  // namespace

// The maker's other apps, by code.
const TAInfoViewController::App TAInfoViewController::kApps[7] = {
    {"Beat Sketch", "Draw a rhythm, hear it loop", "app_icon_beatsketch", "beatsketch://", "1000000001"},
    {"Bass Line Lab", "A tiny acid bass machine", "app_icon_basslinelab", "basslinelab://", "1000000002"},
    {"Chord Pad", "Play chords with one finger", "app_icon_chordpad", "chordpad://", "1000000003"},
    {"Tape Echo", "A warm delay for any sound", "app_icon_tapeecho", "tapeecho://", "1000000004"},
    {"Sample Jar", "Collect and trim short sounds", "app_icon_samplejar", "samplejar://", "1000000005"},
    {"Metro Pulse", "A metronome that swings", "app_icon_metropulse", "metropulse://", "1000000006"},
    {"Noise Garden", "Grow textures from noise", "app_icon_noisegarden", nullptr, "1000000007"},
};

// ---- AboutTableHeaderView

AboutTableHeaderView::AboutTableHeaderView(const platform::Rect& frame) : View(frame) {
  const platform::Rect b = bounds();
  backView_ = std::make_shared<platform::ImageView>(b);
  backView_->setImage(platform::Image::named("MenuHeaderBackground"));
  backView_->setAutoresizingMask(AR::FlexibleWidth | AR::FlexibleHeight);
  backView_->setAlpha(0.9);
  backView_->setBackgroundColor(platform::Color::whiteColor());
  addSubview(backView_);
  title_ = std::make_shared<platform::Label>(b);
  title_->setBackgroundColor(platform::Color::white(0.0, 0.15));
  title_->setFont(light(18));
  title_->setTextAlignment(platform::TextAlignment::Center);
  title_->setBaselineAdjustment(platform::BaselineAdjustment::AlignCenters);
  title_->setAutoresizingMask(AR::FlexibleWidth | AR::FlexibleHeight);
  addSubview(title_);
}

void AboutTableHeaderView::setHeaderLabel(const std::string& text) { title_->setText(text); }

// ---- TeskiAppTableViewCell

TeskiAppTableViewCell::TeskiAppTableViewCell(Style style, std::string reuseIdentifier)
    : TableViewCell(style, std::move(reuseIdentifier)) {
  const platform::Rect b = bounds();
  button_ptr_ = std::make_shared<platform::Button>(
      platform::Button::Type::System,
      platform::Rect{std::trunc(b.maxX()) - 15 - 70, std::trunc(b.minY() - 14 + b.size.height * 0.5), 70, 28});
  button_ptr_->setAutoresizingMask(AR::FlexibleLeftMargin | AR::FlexibleTopMargin | AR::FlexibleBottomMargin);
  addSubview(button_ptr_);
}

void TeskiAppTableViewCell::setHighlighted(bool highlighted, bool animated) {
  TableViewCell::setHighlighted(highlighted, animated);
  button_ptr_->setHighlighted(false);
}

void TeskiAppTableViewCell::setSelected(bool selected, bool animated) {
  TableViewCell::setSelected(selected, animated);
  button_ptr_->setHighlighted(false);
  button_ptr_->setSelected(false);
}

// ---- TAInfoViewController

TAInfoViewController::TAInfoViewController() : appsTable_{0, 2, 1, 3, 4, 5, 6} {}

TAInfoViewController::~TAInfoViewController() {
  releaseOutlets();
  appsTable_.clear();
}

bool TAInfoViewController::isPreferredLanguageJapanese() {
  const std::vector<std::string> langs = platform::preferredLanguages();
  return !langs.empty() && langs.front().rfind("ja", 0) == 0;
}

std::string TAInfoViewController::versionString() { return "Version " + infoString("CFBundleShortVersionString"); }

bool TAInfoViewController::appInstalled(const char* scheme) {
  return scheme && platform::Application::sharedApplication().canOpenURL(scheme);
}

std::shared_ptr<platform::Label> TAInfoViewController::panelLabel(const platform::Rect& frame, const std::string& text,
                                                                  double size) const {
  auto l = std::make_shared<platform::Label>(frame);
  l->setText(text);
  l->setFont(light(size));
  l->setTextAlignment(platform::TextAlignment::Left);
  l->setBackgroundColor(platform::Color::clear());
  l->setBaselineAdjustment(platform::BaselineAdjustment::AlignCenters);
  return l;
}

std::shared_ptr<platform::Button> TAInfoViewController::headerButton(const std::string& title, double y) {
  auto b = std::make_shared<platform::Button>(platform::Button::Type::System, platform::Rect{300 - 140, y, 125, 25});
  b->setBackgroundColor(platform::Color::clear());
  b->setTitle(title, platform::ControlState::Normal);
  b->titleLabel().setFont(light(12));
  b->setTitleColor(platform::Color::black(), platform::ControlState::Normal);
  b->setTitleColor(platform::Color::white(0.2), platform::ControlState::Highlighted);
  b->layer().setCornerRadius(4);
  b->layer().setBorderColor(platform::Color::gray());
  b->layer().setBorderWidth(1);
  b->setAutoresizingMask(AR::FlexibleLeftMargin | AR::FlexibleWidth);
  b->addTarget(this, "webButtonPushed:", [this](platform::Control& c) { webButtonPushed(&c); },
               platform::ControlEvents::TouchUpInside);
  return b;
}

void TAInfoViewController::loadView() {
  auto root = std::make_shared<platform::View>(platform::Rect{0, 0, 300, 500});
  infoBkgView_ = std::make_shared<platform::ImageView>(platform::Rect{0, 2, 300, 246});
  infoBkgView_->setImage(platform::Image::named("AboutBackground"));
  infoBkgView_->setUserInteractionEnabled(true);
  infoBkgView_->setAutoresizingMask(AR::FlexibleWidth);
  root->addSubview(infoBkgView_);

  appNameLabel_ = panelLabel({15, 18, 150, 24}, "TESK " + infoString("CFBundleDisplayName"), 16);
  infoBkgView_->addSubview(appNameLabel_);
  appDescLabel_ = panelLabel({15, 37, 150, 24}, appDescription_, 12);
  appDescLabel_->setTextColor(platform::Color::gray());
  infoBkgView_->addSubview(appDescLabel_);
  appImageView_ = std::make_shared<platform::ImageView>();
  appImageView_->setImage(appIcon_);
  const double w = appIcon_ ? appIcon_->size().width : 0.0;
  appImageView_->setFrame({15, 64, w, w});
  appImageView_->setClipsToBounds(true);
  infoBkgView_->addSubview(appImageView_);
  appVersionLabel_ = panelLabel({300 - 165, 18, 150, 24}, versionString(), 12);
  appVersionLabel_->setAutoresizingMask(AR::FlexibleLeftMargin);
  appVersionLabel_->setTextAlignment(platform::TextAlignment::Right);
  infoBkgView_->addSubview(appVersionLabel_);
  productButton_ = headerButton("Product Page", 64);
  hpButton_ = headerButton("Manual", 99);
  faqButton_ = headerButton("FAQ", 134);
  for (const auto& b : {productButton_, hpButton_, faqButton_}) infoBkgView_->addSubview(b);
  appCopyrightLabel_ = panelLabel({15, w + 70, 270, 80}, appCopyrightString_, 12);
  appCopyrightLabel_->setTextAlignment(platform::TextAlignment::Center);
  appCopyrightLabel_->setBaselineAdjustment(platform::BaselineAdjustment::AlignBaselines);
  appCopyrightLabel_->setTextColor(platform::Color::gray());
  appCopyrightLabel_->setNumberOfLines(0);
  appCopyrightLabel_->setLineBreakMode(platform::LineBreakMode::WordWrap);
  appCopyrightLabel_->setAutoresizingMask(AR::FlexibleWidth);
  appCopyrightLabel_->sizeToFit();
  infoBkgView_->addSubview(appCopyrightLabel_);

  tableView_ = std::make_shared<platform::TableView>(platform::Rect{0, 248, 300, 250});
  tableView_->setAutoresizingMask(AR::FlexibleWidth | AR::FlexibleHeight);
  tableView_->setDataSource(this);
  tableView_->setTableDelegate(this);
  tableView_->setRowHeight(78);
  tableView_->setSectionHeaderHeight(42);
  root->addSubview(tableView_);
  setView(root);
}

void TAInfoViewController::viewDidLoad() {
  ViewController::viewDidLoad();
  navigationItem().setTitle("Information");
  tableView_->reloadData();
}

bool TAInfoViewController::applicationStatusBarHidden() { return gStatusBarHidden; }

std::string TAInfoViewController::titleForHeaderInSection(int64_t section) const {
  if (section == 0) return isPreferredLanguageJapanese() ? "最新情報" : "Latest News";
  if (section == 1) return "TESK app";
  return "";
}

std::shared_ptr<AboutTableHeaderView> TAInfoViewController::viewForHeaderInSection(int64_t section) const {
  auto header = std::make_shared<AboutTableHeaderView>();
  header->setHeaderLabel(titleForHeaderInSection(section));
  return header;
}

int64_t TAInfoViewController::numberOfRowsInSection(platform::TableView&, int64_t section) {
  if (section == 0) return 3;
  if (section == 1) return static_cast<int64_t>(appsTable_.size());
  return 0;
}

platform::TableViewCellPtr TAInfoViewController::cellForRowAtIndexPath(platform::TableView& table,
                                                                       const platform::IndexPath& ip) {
  if (ip.section != 0 && ip.section != 1) return nullptr;
  const std::string id = ip.section == 0 ? "AboutAppCell2" : "AboutAppCell1";
  std::shared_ptr<TeskiAppTableViewCell> cell =
      std::dynamic_pointer_cast<TeskiAppTableViewCell>(table.dequeueReusableCellWithIdentifier(id));
  if (!cell) {
    cell = std::make_shared<TeskiAppTableViewCell>(platform::TableViewCell::Style::Subtitle, id);
    cell->textLabel().setFont(light(15));
    cell->textLabel().setBackgroundColor(platform::Color::clear());
    cell->detailTextLabel()->setFont(light(12));
    cell->detailTextLabel()->setTextColor(platform::Color::gray());
    cell->detailTextLabel()->setBackgroundColor(platform::Color::clear());
    cell->imageView().layer().setCornerRadius(8);
    cell->imageView().setClipsToBounds(true);
    if (ip.section == 0) {
      cell->setSelectionStyle(platform::TableViewCell::SelectionStyle::Default);
      cell->button_()->setHidden(true);
    } else {
      cell->setSelectionStyle(platform::TableViewCell::SelectionStyle::None);
      TeskiAppTableViewCell* raw = cell.get();
      cell->button_()->addTarget(this, "appButtonPushed:", [this, raw](platform::Control&) {
        appButtonPushed(*raw->button_());
      }, platform::ControlEvents::TouchUpInside);
    }
  }
  if (ip.section == 0) {
    configureLinkCell(*cell, ip);
  } else {
    configureAppCell(*cell, ip);
  }
  return cell;
}

void TAInfoViewController::configureLinkCell(platform::TableViewCell& cell, const platform::IndexPath& ip) {
  const bool ja = isPreferredLanguageJapanese();
  struct Row {
    std::string text, detail, image;
  };
  Row r;
  switch (ip.row) {
    case 0: r = {ja ? "TESK app ニュースレター" : "TESK app Newsletter", "Subscribe Us", "tesk_logo"}; break;
    case 1: r = {"TESK app Facebook", "Like Us", "fb_logo"}; break;
    case 2: r = {"TESK app Twitter", "Follow Us", "tw_logo"}; break;
    default: break;
  }
  cell.textLabel().setText(r.text);
  if (cell.detailTextLabel()) cell.detailTextLabel()->setText(r.detail);
  cell.imageView().setImage(r.image.empty() ? nullptr : platform::Image::named(r.image));
}

void TAInfoViewController::configureAppCell(TeskiAppTableViewCell& cell, const platform::IndexPath& ip) {
  platform::Button& button = *cell.button_();
  button.setTag(ip.row);
  const int64_t code = ip.row >= 0 && ip.row < static_cast<int64_t>(appsTable_.size())
                           ? appsTable_[static_cast<size_t>(ip.row)]
                           : -1;
  if (code < 0 || code > 6) {
    cell.textLabel().setText("");
    if (cell.detailTextLabel()) cell.detailTextLabel()->setText("");
    button.setTitle("", platform::ControlState::Normal);
    cell.imageView().setImage(nullptr);
    button.setEnabled(false);
    return;
  }
  const App& app = kApps[code];
  cell.textLabel().setText(app.name);
  if (cell.detailTextLabel()) cell.detailTextLabel()->setText(app.subtitle);
  cell.imageView().setImage(platform::Image::named(app.icon));
  configureJumpButton(button, code == 6 ? false : appInstalled(app.scheme));
}

void TAInfoViewController::configureJumpButton(platform::Button& button, bool installed) {
  if (installed) {
    button.setEnabled(false);
    button.setTitle("Installed", platform::ControlState::Normal);
    button.setTitle("Installed", platform::ControlState::Disabled);
  } else {
    button.setEnabled(true);
    button.setTitle("App Store", platform::ControlState::Normal);
    button.setTitle("App Store", platform::ControlState::Highlighted);
  }
}

void TAInfoViewController::didSelectRowAtIndexPath(platform::TableView& table, const platform::IndexPath& ip) {
  table.deselectRowAtIndexPath(ip, true);
  if (ip.section == 0) selectFollowUsCell(ip.row);
}

void TAInfoViewController::selectFollowUsCell(int64_t row) {
  const bool ja = isPreferredLanguageJapanese();
  switch (row) {
    case 0:
      presentWebView(kNewsletterURL, ja ? "TESK appのニュースレターを購読しよう" : "Subscribe TESK app Newsletter");
      break;
    case 1: presentWebView(kFacebookURL, ja ? "TESK appを「いいね！」しよう" : "Like TESK app Facebook"); break;
    case 2: presentWebView(kTwitterURL, ja ? "TESK appをフォローしよう" : "Follow TESK app Twitter"); break;
    default: break;
  }
}

void TAInfoViewController::appButtonPushed(platform::Button& button) {
  const int64_t row = button.tag();
  if (row < 0 || row >= static_cast<int64_t>(appsTable_.size())) return;
  selectTeskiAppsCell(appsTable_[static_cast<size_t>(row)]);
}

void TAInfoViewController::selectTeskiAppsCell(int64_t code) {
  if (code < 0 || code > 6) return;
  openAppStore(kApps[code].storeId);
}

void TAInfoViewController::openAppStore(const std::string& identifier) {
  const std::string url = std::string("https://") + kAppStoreHost + "/app/id" + identifier;
  platform::Application& app = platform::Application::sharedApplication();
  if (app.canOpenURL(url)) app.openURL(url);
}

void TAInfoViewController::webButtonPushed(platform::Control* sender) {
  const auto page = [](const std::string& url) { return url.empty() ? std::nullopt : std::optional<std::string>(url); };
  if (sender == productButton_.get()) {
    presentWebView(page(appWebLink_), kMakerDomain);
  } else if (sender == faqButton_.get()) {
    presentWebView(page(appFAQLink_), "FAQ");
  } else if (sender == hpButton_.get()) {
    presentWebView(page(appManualLink_), "Manual");
  }
}

void TAInfoViewController::presentWebView(std::optional<std::string> url, std::optional<std::string> title) {
  openWebView(std::make_shared<TESHelpWebViewController>(std::move(url), std::move(title)));
}

void TAInfoViewController::openWebView(std::shared_ptr<HelpWebViewController> webView) {
  if (!webView) return;
  statusBarHidden_ = gStatusBarHidden;
  gStatusBarHidden = true;
  webView->navigationItem().setRightBarButtonItem(platform::BarButtonItem::system(
      platform::BarButtonItem::SystemItem::Done, [this](platform::BarButtonItem&) { webViewDoneButtonPushed(); }));
  auto nav = std::make_shared<platform::NavigationController>(std::move(webView));
  nav->setModalPresentationStyle(platform::ModalPresentationStyle::FullScreen);
  presentViewController(std::move(nav), true, {});
}

void TAInfoViewController::webViewDoneButtonPushed() {
  dismissViewControllerAnimated(true, {});
  gStatusBarHidden = statusBarHidden_;
}

void TAInfoViewController::releaseOutlets() {
  const auto drop = [](auto& v) {
    if (v) v->removeFromSuperview();
    v.reset();
  };
  if (tableView_) {
    tableView_->setDataSource(nullptr);
    tableView_->setTableDelegate(nullptr);
  }
  drop(tableView_);
  drop(appCopyrightLabel_);
  drop(appVersionLabel_);
  drop(appDescLabel_);
  drop(appNameLabel_);
  drop(appImageView_);
  drop(infoBkgView_);
  drop(hpButton_);
  productButton_.reset();
  faqButton_.reset();
}
