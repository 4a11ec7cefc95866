#pragma once
// The second, larger information screen: a header panel with the program's
// name, description, icon, version, three page buttons ("Product Page",
// "Manual", "FAQ") and a copyright text, above a two-section table: links to
// the maker's newsletter, Facebook page and Twitter account, and seven other
// apps of the maker, each with a button reading "Installed" (when the
// desktop can open its address scheme) or "App Store". A few texts turn
// Japanese when the user's first preferred language is Japanese.
//
// Whoever creates the screen fills its content (icon, description, the three
// pages, copyright) before its view loads; unset, they leave the labels and
// the icon empty. Its pages open in TESHelpWebViewController, full screen
// with a Done button.
//
// The desktop has no status bar: the state saved around a web page screen
// is only remembered.
//
// Main thread only.

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/ui/button.h"
#include "platform/ui/image_view.h"
#include "platform/ui/label.h"
#include "platform/ui/table_view.h"
#include "platform/ui/view_controller.h"

class HelpWebViewController;

// A section header: a background picture under a centred title.
class AboutTableHeaderView : public platform::View {
 public:
  explicit AboutTableHeaderView(const platform::Rect& frame = {0, 0, 300, 42});
  void setHeaderLabel(const std::string& text);
  platform::ImageView* backView() const { return backView_.get(); }
  platform::Label* title() const { return title_.get(); }

 private:
  std::shared_ptr<platform::ImageView> backView_;
  std::shared_ptr<platform::Label> title_;
};

// A subtitle cell with a button at its right whose look never follows the
// cell's highlight or selection.
class TeskiAppTableViewCell : public platform::TableViewCell {
 public:
  TeskiAppTableViewCell(Style style, std::string reuseIdentifier);
  platform::Button* button_() const { return button_ptr_.get(); }
  void setHighlighted(bool highlighted, bool animated) override;
  void setSelected(bool selected, bool animated) override;

 private:
  std::shared_ptr<platform::Button> button_ptr_;
};

class TAInfoViewController : public platform::ViewController,
                             public platform::TableViewDataSource,
                             public platform::TableViewDelegate {
 public:
  struct App {
    const char* name;
    const char* subtitle;
    const char* icon;
    const char* scheme;  // nullptr: never counted as installed
    const char* storeId;
  };
  static const App kApps[7];
  static constexpr const char* kMakerDomain = "igroovebix.example";
  static constexpr const char* kAppStoreHost = "apps.igroovebix.example";
  static constexpr const char* kNewsletterURL = "https://igroovebix.example/newsletter";
  static constexpr const char* kFacebookURL = "https://igroovebix.example/facebook";
  static constexpr const char* kTwitterURL = "https://igroovebix.example/twitter";

  TAInfoViewController();
  ~TAInfoViewController() override;

  void loadView() override;
  void viewDidLoad() override;
  void viewDidUnload() { releaseOutlets(); }

  static bool isPreferredLanguageJapanese();
  static std::string versionString();
  static bool appInstalled(const char* scheme);
  std::string titleForHeaderInSection(int64_t section) const;
  std::shared_ptr<AboutTableHeaderView> viewForHeaderInSection(int64_t section) const;

  void configureLinkCell(platform::TableViewCell& cell, const platform::IndexPath& ip);
  void configureAppCell(TeskiAppTableViewCell& cell, const platform::IndexPath& ip);
  static void configureJumpButton(platform::Button& button, bool installed);
  void selectFollowUsCell(int64_t row);
  void selectTeskiAppsCell(int64_t code);
  void openAppStore(const std::string& identifier);
  void webButtonPushed(platform::Control* sender);
  void appButtonPushed(platform::Button& button);

  void presentWebView(std::optional<std::string> url, std::optional<std::string> title);
  void openWebView(std::shared_ptr<HelpWebViewController> webView);
  void webViewDoneButtonPushed();
  void releaseOutlets();

  // ---- the table
  int64_t numberOfSections(platform::TableView&) override { return 2; }
  int64_t numberOfRowsInSection(platform::TableView&, int64_t section) override;
  platform::TableViewCellPtr cellForRowAtIndexPath(platform::TableView& table, const platform::IndexPath& ip) override;
  std::optional<std::string> titleForHeaderInSection(platform::TableView&, int64_t section) override {
    return titleForHeaderInSection(section);
  }
  void didSelectRowAtIndexPath(platform::TableView& table, const platform::IndexPath& ip) override;

  // ---- content, filled by the creator before the view loads
  void setAppIcon(platform::ImagePtr icon) { appIcon_ = std::move(icon); }
  void setAppDescription(std::string d) { appDescription_ = std::move(d); }
  void setAppWebLink(std::string url) { appWebLink_ = std::move(url); }
  void setAppFAQLink(std::string url) { appFAQLink_ = std::move(url); }
  void setAppManualLink(std::string url) { appManualLink_ = std::move(url); }
  void setAppCopyrightString(std::string c) { appCopyrightString_ = std::move(c); }

  const std::vector<int64_t>& appsTable() const { return appsTable_; }
  platform::ImageView* infoBkgView() const { return infoBkgView_.get(); }
  platform::ImageView* appImageView() const { return appImageView_.get(); }
  platform::Label* appNameLabel() const { return appNameLabel_.get(); }
  platform::Label* appDescLabel() const { return appDescLabel_.get(); }
  platform::Label* appVersionLabel() const { return appVersionLabel_.get(); }
  platform::Label* appCopyrightLabel() const { return appCopyrightLabel_.get(); }
  platform::TableView* tableView() const { return tableView_.get(); }
  platform::Button* productButton() const { return productButton_.get(); }
  platform::Button* hpButton() const { return hpButton_.get(); }
  platform::Button* faqButton() const { return faqButton_.get(); }
  bool statusBarHidden() const { return statusBarHidden_; }
  // The remembered status-bar state of the program.
  static bool applicationStatusBarHidden();

 private:
  std::shared_ptr<platform::Label> panelLabel(const platform::Rect& frame, const std::string& text, double size) const;
  std::shared_ptr<platform::Button> headerButton(const std::string& title, double y);

  std::vector<int64_t> appsTable_;
  std::shared_ptr<platform::ImageView> infoBkgView_;
  std::shared_ptr<platform::ImageView> appImageView_;
  std::shared_ptr<platform::Label> appNameLabel_, appDescLabel_, appVersionLabel_, appCopyrightLabel_;
  std::shared_ptr<platform::TableView> tableView_;
  std::shared_ptr<platform::Button> productButton_, hpButton_, faqButton_;
  bool statusBarHidden_ = false;
  platform::ImagePtr appIcon_;
  std::string appDescription_;
  std::string appWebLink_, appFAQLink_, appManualLink_;
  std::string appCopyrightString_;
};
