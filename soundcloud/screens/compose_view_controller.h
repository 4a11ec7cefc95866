#pragma once
// The small screen on which the user writes a comment on one track and
// sends it ("Send"). After the reply a one-line banner slides down into
// view, "Finished posting. It may take some time to show up." or "Failed
// to post a comment.", and one second after it has arrived the screen goes
// back to the root of its navigation stack. The keyboard opens when the
// screen appears; sending closes it, disables "Send" and spins an
// indicator until the screen leaves.
//
// Track ids are 64-bit. A screen released before the reply is not told.
//
// Main thread only. Made shared (std::make_shared).

#include <cstdint>
#include <memory>

#include "platform/runloop/run_loop.h"
#include "platform/ui/label.h"
#include "platform/ui/text_view.h"
#include "platform/ui/view_controller.h"
#include "platform/ui/widgets.h"
#include "soundcloud/ts_soundcloud_executor.h"

namespace tssc {

class ComposeViewController : public platform::ViewController, public TSSoundCloudAPIConnectionDelegate {
 public:
  static constexpr double kBannerHeight = 50.0;
  static constexpr double kBannerDuration = 0.7;
  static constexpr double kLeaveDelay = 1.0;
  static constexpr const char* kPostedMessage = "Finished posting. It may take some time to show up.";
  static constexpr const char* kFailedMessage = "Failed to post a comment.";

  explicit ComposeViewController(int64_t trackId) : trackId_(trackId) {}
  ~ComposeViewController() override;

  int64_t trackId() const { return trackId_; }
  platform::TextView& txtView() { return *txtView_; }
  platform::ActivityIndicatorView& indicator();
  platform::Label& messageLabel();
  const platform::BarButtonItemPtr& sendButtonItem() const { return sendItem_; }
  static platform::Size contentSizeForViewInPopover() { return {380, 316}; }

  void loadView() override;
  void viewDidLoad() override;
  void viewDidAppear(bool animated) override;
  unsigned supportedInterfaceOrientations() const override { return 24; }
  platform::Size preferredContentSize() const override { return contentSizeForViewInPopover(); }

  void sendButtonPushed(platform::BarButtonItem& button);

  // TSSoundCloudAPIConnectionDelegate
  void soundCloudAPIDidFinishWithData(const platform::Data& data, const platform::Dictionary& userInfo) override;
  void soundCloudAPIDidFailWithError(const platform::Error& error, const platform::Dictionary& userInfo) override;

 private:
  void report(const char* text);
  void transitionAnimDidStop(bool finished);
  void shouldDismissThisView();

  int64_t trackId_;
  std::shared_ptr<platform::TextView> txtView_;
  std::shared_ptr<platform::ActivityIndicatorView> indicator_;
  std::shared_ptr<platform::Label> messageLabel_;
  platform::BarButtonItemPtr sendItem_;
  TSRequestHandle request_;
  std::shared_ptr<platform::Timer> timer_;
};

}  // namespace tssc
