#pragma once
// The web view stand-in: pages are shown by the desktop's browser. The view
// remembers the address it was asked to load and shows it with a button
// that hands it to the browser (through the application's openURL).
//
// Main thread only.

#include <memory>
#include <string>

#include "platform/ui/button.h"
#include "platform/ui/label.h"

namespace platform {

class WebView : public View {
 public:
  explicit WebView(const Rect& frame = {});
  void loadRequest(const std::string& url);
  const std::string& url() const { return url_; }
  // Opens the address in the browser; false when there is none or it failed.
  bool openInBrowser();
  Button& openButton() { return *open_; }
  void layoutSubviews() override;

 private:
  std::string url_;
  std::shared_ptr<Label> text_;
  std::shared_ptr<Button> open_;
};

}  // namespace platform
