#pragma once
// The notification banner: a short text in a drawn, shadowed balloon over
// the front panel that goes away by itself after a few seconds, or at once
// when touched. Any code shows one by posting "TINotificationMessageArrived"
// (object: the text as a std::string; userInfo
// "TINotificationMessageArrivedTimeIndex": the display time in ticks of the
// banner's 0.5 s timer). The main screen makes one controller at start-up,
// adds its view to its own and registers it for that notification
// (observeNotifications() does the registering).
//
// With a display time of n the banner fades out on the (n + 2)-th tick
// after it opened (counting the first tick that finds it open as 1). A new
// message while open replaces the text and the time and brings the banner
// to the front again.
//
// Main thread only.

#include <cstdint>
#include <memory>
#include <string>

#include "platform/runloop/run_loop.h"
#include "platform/ui/control.h"
#include "platform/ui/label.h"
#include "platform/ui/view_controller.h"

namespace platform {
struct Notification;
}

inline constexpr const char* kTINotificationMessageArrived = "TINotificationMessageArrived";
inline constexpr const char* kTINotificationMessageArrivedTimeIndex = "TINotificationMessageArrivedTimeIndex";

// The balloon: a rounded rectangle of grey at 0.8 inset 18 by 20 points in
// its bounds, with a shadow; it sends touch-down when touched.
class TINotificationView : public platform::Control {
 public:
  explicit TINotificationView(const platform::Rect& frame);

  platform::Color shadowColor() const { return shadowColor_; }
  void setShadowColor(const platform::Color& c);
  platform::Size shadowSize() const { return shadowSize_; }
  void setShadowSize(platform::Size s);

  void drawRect(const platform::Rect& rect) override;

 private:
  platform::Color shadowColor_ = platform::Color::rgba(6 / 256.0, 11 / 256.0, 31 / 256.0, 0.8);
  platform::Size shadowSize_{10.0, 10.0};
};

class TINotificationViewController : public platform::ViewController {
 public:
  static constexpr double kTick = 0.5;

  TINotificationViewController();
  ~TINotificationViewController() override;

  // Registers messageArrived for "TINotificationMessageArrived" with the
  // default centre (removed when the controller goes).
  void observeNotifications();

  platform::Label* content() const { return content_.get(); }
  int64_t counter() const { return counter_; }
  TINotificationView* notificationView() { return static_cast<TINotificationView*>(view()); }

  void messageArrived(const platform::Notification& notification);
  void setDismissingTime(int64_t ticks) { counter_ = ticks; }
  void open(const std::string& text);
  void dismiss();
  void viewTouched();
  void timerFired();

  void loadView() override;
  unsigned supportedInterfaceOrientations() const override { return 30; }

 private:
  std::shared_ptr<platform::Label> content_;
  int64_t counter_ = 0;
  std::shared_ptr<platform::Timer> timer_;
  bool observing_ = false;
};

// The main screen's menu toolbar appearing quickly and fading out slowly:
// animated changes take 0.05 s towards an alpha above 0.1, 0.3 s otherwise.
void setAlphaAnimated(platform::View& view, double alpha, bool animated);
