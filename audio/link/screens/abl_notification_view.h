#pragma once
// The Link kit's in-app banner: when the number of Link peers changes while
// the application is active, a coloured strip slides down from the top edge
// for two seconds: "No Links", "1 Link" or "%u Links". A new count while
// the banner is in or coming in only changes its text (and keeps it two
// more seconds); a count while it leaves starts a new banner.
//
// The banner lies in a layer of its own over the key window's content (a
// full-window view that takes no touches, kept in front), so it never
// disturbs the application's views. One set of state for the whole
// program. Main thread only.

#include <cstdint>
#include <memory>
#include <string>

#include "platform/ui/view.h"

namespace platform {
class Label;
class Timer;
class UserDefaults;
class Window;
}  // namespace platform

class ABLNotificationView : public platform::View {
 public:
  static constexpr double kBaseHeight = 34.0;
  static constexpr double kSlideInDuration = 0.33;
  static constexpr double kSlideOutDuration = 0.23;
  static constexpr double kShowDuration = 2.0;
  static platform::Color bannerColor();

  ABLNotificationView();
  platform::Label* messageLabel();
  void setMessageLabel(std::shared_ptr<platform::Label> label);
  void layoutSubviews() override;

  // The entry point: does nothing unless "ABLNotificationEnabled" is on in
  // `defaults` (the standard user defaults when null) and the application
  // is active.
  static void showNotificationMessage(unsigned long count, platform::UserDefaults* defaults = nullptr);
  static void flashNotificationInIfNeeded();
  static std::string createNotificationTextForNumberOfPeers(unsigned long count);
  static void updateNotificationText(const std::string& text);
  // The application window the banner is laid over: the key window.
  static platform::Window* notificationWindow();
  static void prepareNotificationWindowIfNeeded();
  static void createAndAnimateNotificationIn();
  static void resetNotificationDurationTimer();
  static void dismissNotificationIfNeeded();
  static double preferredNotificationHeight();

  // ---- state, for the screens' tests
  // The banner being shown (null when none).
  static ABLNotificationView* currentView();
  // The layer that holds the banners (null until the first banner).
  static platform::View* notificationLayer();
  static bool hasPendingDismissal();

 private:
  std::shared_ptr<platform::Label> messageLabel_;
};
