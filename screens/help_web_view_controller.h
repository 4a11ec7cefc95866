#pragma once
// The help web page screens: one or more pages shown one at a time in the
// platform's web view, with a segmented switch between the pages when there
// are two or more, and an Action button that hands the current page to the
// desktop (the application's open-URL call) so it opens outside the program.
//
// Pages are address texts handed in by the caller, each with a title; a
// missing address adds no page and a missing title is stored as "". Callers
// add every page before the view loads: the switch takes its items once,
// when the view loads. The presenter wraps the screen in a navigation
// controller and adds the Done button that closes it.
//
// Two screens share this interface: GBXHelpWebViewController, opened by the
// information screen (opaque bar, web view below the switch, no relayout,
// the switch widened by 80 points per page), and TESHelpWebViewController
// (white background, web view over the whole safe area, relaid out on every
// layout pass, segments of at most 100 points with small titles).
//
// Main thread only.

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/ui/view_controller.h"
#include "platform/ui/web_view.h"
#include "platform/ui/widgets.h"

class HelpWebViewController : public platform::ViewController {
 public:
  using Text = std::optional<std::string>;

  HelpWebViewController(Text url, Text title);
  ~HelpWebViewController() override;

  void addUrl(Text url, Text title);
  void reloadRequest();
  void segmentedControlAction(platform::SegmentedControl& control);
  // The Action button's handler: opens the current page outside the program.
  void webViewDoneButtonPushed();
  void setupOutlets();

  platform::Rect retrieveSafeArea();
  platform::Rect retrieveSegmentedControlAreaFrame();
  virtual platform::Rect retrieveWebViewFrame() = 0;

  bool openButtonHidden() const { return openButtonHidden_; }
  void setOpenButtonHidden(bool h) { openButtonHidden_ = h; }
  const std::vector<std::string>& pageUrls() const { return pageUrls_; }
  const std::vector<std::string>& titles() const { return titles_; }
  uint64_t urlIndex() const { return urlIndex_; }
  void setUrlIndex(uint64_t i) { urlIndex_ = i; }
  platform::WebView* webView() const { return webView_.get(); }
  platform::SegmentedControl* segmentedControl() const { return segmentedControl_.get(); }

  // Whether an address text parses as an absolute address ("scheme:rest",
  // no blanks or control characters).
  static bool isValidURL(const std::string& text);

 protected:
  // How far the switch is widened per page when it is made.
  virtual double segmentWidening() const = 0;
  virtual void configureView() = 0;

  bool openButtonHidden_ = false;
  std::vector<std::string> pageUrls_;
  std::vector<std::string> titles_;
  uint64_t urlIndex_ = 0;
  std::shared_ptr<platform::WebView> webView_;
  std::shared_ptr<platform::SegmentedControl> segmentedControl_;
};

class GBXHelpWebViewController : public HelpWebViewController {
 public:
  using HelpWebViewController::HelpWebViewController;
  void viewDidLoad() override;
  // Below the switch's strip, over the rest of the safe area.
  platform::Rect retrieveWebViewFrame() override;

 protected:
  double segmentWidening() const override { return 80.0; }
  void configureView() override;
};

class TESHelpWebViewController : public HelpWebViewController {
 public:
  using HelpWebViewController::HelpWebViewController;
  void viewDidLoad() override;
  void viewWillLayoutSubviews() override;
  // The whole safe area.
  platform::Rect retrieveWebViewFrame() override;
  void layoutSegmentedControl();
  // Navigation reports: nothing is shown for them.
  void webViewDidCommitNavigation() {}
  void webViewDidFinishNavigation() {}
  void webViewDidFailNavigation(const std::string&) {}

 protected:
  double segmentWidening() const override { return 0.0; }
  void configureView() override;
};
