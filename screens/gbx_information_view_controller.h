#pragma once
// The information screen, shown in a popover from the menu bar's help
// button: the program's icon, name, a one-line description, its version and
// the copyright line, and two buttons, "Product Page" and "Help Center",
// each opening a help web page screen full screen in a navigation
// controller with a Done button.
//
// The pages are the program's own HTML pages in the bundle's "help" folder;
// the web page screen hands them to the desktop's browser.
//
// Main thread only.

#include <memory>
#include <optional>
#include <string>

#include "platform/ui/button.h"
#include "platform/ui/image_view.h"
#include "platform/ui/label.h"
#include "platform/ui/view_controller.h"

class HelpWebViewController;

class GBXInformationViewController : public platform::ViewController {
 public:
  static constexpr platform::Size kContentSize{280, 220};
  // The maker's name as the name label begins with it.
  static constexpr const char* kMakerWord = "TESK ";
  static constexpr const char* kDescription = "Dovodo Vivizu Dezadid";
  static constexpr const char* kCopyright = "Copyright \u00A9 2026 the iGROOVEBIX for Linux authors. All rights reserved.";
  // The title of the product page's screen.
  static constexpr const char* kProductPageTitle = "igroovebix.example";

  GBXInformationViewController();
  ~GBXInformationViewController() override;

  void viewDidLoad() override;
  // Always 280 × 220, whatever the presenter asked for.
  platform::Size preferredContentSize() const override { return kContentSize; }

  // "Version " and the bundle's short version string.
  static std::string versionString();
  // The maker's word directly followed by the bundle's display name.
  static std::string nameString();
  // The bundle's pages ("help/index.html", "help/help-center.html") as
  // file addresses; nothing when the bundle lacks them.
  static std::optional<std::string> productPageURL();
  static std::optional<std::string> helpCenterURL();

  void productPageButtonPushed();
  void helpCenterButtonPushed();
  void presentWebView(std::optional<std::string> url, std::optional<std::string> title);
  void presentWebView(std::optional<std::string> url, std::optional<std::string> title,
                      std::optional<std::string> secondUrl, std::optional<std::string> secondTitle);
  void presentWebView(std::optional<std::string> url, std::optional<std::string> title,
                      std::optional<std::string> secondUrl, std::optional<std::string> secondTitle,
                      std::optional<std::string> thirdUrl, std::optional<std::string> thirdTitle);
  void openWebView(std::shared_ptr<HelpWebViewController> webView);
  // The Done button of the web page screen.
  void webViewDoneButtonPushed();

  void setupOutlets();
  void releaseOutlets();

  platform::ImageView* appIconImageView() const { return appIconImageView_.get(); }
  platform::Label* appNameLabel() const { return appNameLabel_.get(); }
  platform::Label* appDescLabel() const { return appDescLabel_.get(); }
  platform::Label* appVersionLabel() const { return appVersionLabel_.get(); }
  platform::Label* appCopyrightLabel() const { return appCopyrightLabel_.get(); }
  platform::Button* productPageButton() const { return productPageButton_.get(); }
  platform::Button* helpCenterButton() const { return helpCenterButton_.get(); }

 private:
  std::shared_ptr<platform::Label> label(const platform::Rect& frame, const std::string& text, double size) const;
  std::shared_ptr<platform::Button> pageButton(const platform::Rect& frame, const std::string& title) const;

  std::shared_ptr<platform::ImageView> appIconImageView_;
  std::shared_ptr<platform::Label> appNameLabel_, appDescLabel_, appVersionLabel_, appCopyrightLabel_;
  std::shared_ptr<platform::Button> productPageButton_, helpCenterButton_;
};
