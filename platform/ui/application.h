#pragma once
// The application: its delegate, its lifecycle, its windows, and the hooks
// a back end provides (opening addresses, the screen saver).
//
// Lifecycle as the platform runs it, driven by a back end:
// - launch: didFinishLaunching, then (active) didBecomeActive;
// - enterBackground: willResignActive, then didEnterBackground;
// - enterForeground: willEnterForeground, then didBecomeActive;
// - terminate: willTerminate (from the background: a window back end sends
//   enterBackground first, so that the delegate saves its state).
// Each step calls the delegate first and then posts the matching
// notification on the default centre. Steps that do not fit the current
// state (a second background entry, a foreground entry while active) do
// nothing.
//
// Main thread only.

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/foundation/value.h"
#include "platform/ui/touch.h"

namespace platform {

class Application;
class Window;

inline constexpr const char* kApplicationDidFinishLaunchingNotification = "UIApplicationDidFinishLaunchingNotification";
inline constexpr const char* kApplicationWillResignActiveNotification = "UIApplicationWillResignActiveNotification";
inline constexpr const char* kApplicationDidEnterBackgroundNotification = "UIApplicationDidEnterBackgroundNotification";
inline constexpr const char* kApplicationWillEnterForegroundNotification = "UIApplicationWillEnterForegroundNotification";
inline constexpr const char* kApplicationDidBecomeActiveNotification = "UIApplicationDidBecomeActiveNotification";
inline constexpr const char* kApplicationWillTerminateNotification = "UIApplicationWillTerminateNotification";

class ApplicationDelegate {
 public:
  virtual ~ApplicationDelegate() = default;
  virtual bool didFinishLaunching(Application& /*app*/, const Dictionary& /*options*/) { return true; }
  virtual void willResignActive(Application&) {}
  virtual void didEnterBackground(Application&) {}
  virtual void willEnterForeground(Application&) {}
  virtual void didBecomeActive(Application&) {}
  virtual void willTerminate(Application&) {}
  virtual void didRegisterForRemoteNotifications(Application&, const Data& /*token*/) {}
  virtual void didFailToRegisterForRemoteNotifications(Application&, const std::string& /*error*/) {}

  std::shared_ptr<Window> window;
};

// What a back end gives the application.
class Backend {
 public:
  virtual ~Backend() = default;
  // Hands an address to the desktop (a browser, a mail program).
  virtual bool openURL(const std::string& url) = 0;
  virtual bool canOpenURL(const std::string& url) const;
  virtual void setIdleTimerDisabled(bool /*disabled*/) {}
  // Asks for a redraw of the window soon (the tree changed).
  virtual void setNeedsRedraw() {}
};

class Application : public Responder {
 public:
  enum class State { Active, Inactive, Background };

  static Application& sharedApplication();

  ApplicationDelegate* delegate() const { return delegate_.get(); }
  void setDelegate(std::shared_ptr<ApplicationDelegate> d) { delegate_ = std::move(d); }
  State applicationState() const { return state_; }
  bool hasLaunched() const { return launched_; }
  bool isTerminated() const { return terminated_; }

  Window* keyWindow() const { return key_; }
  const std::vector<Window*>& windows() const { return windows_; }

  bool isIdleTimerDisabled() const { return idleTimerDisabled_; }
  void setIdleTimerDisabled(bool d);
  bool openURL(const std::string& url);
  bool canOpenURL(const std::string& url) const;
  // Nothing to register with on the desktop; remembered for tests.
  void registerForRemoteNotifications() { registeredForRemote_ = true; }
  bool isRegisteredForRemoteNotifications() const { return registeredForRemote_; }

  void setBackend(Backend* b) { backend_ = b; }
  Backend* backend() const { return backend_; }

  // ---- lifecycle (back ends call these)
  bool launch(const Dictionary& options = {});
  void enterBackground();
  void enterForeground();
  void terminate();

  // Back to a fresh, unlaunched application without delegate or windows'
  // key state (tests).
  void reset();

  // Windows register themselves.
  void addWindow(Window* w);
  void removeWindow(Window* w);
  void setKeyWindow(Window* w) { key_ = w; }

 private:
  std::shared_ptr<ApplicationDelegate> delegate_;
  State state_ = State::Inactive;
  bool launched_ = false;
  bool terminated_ = false;
  bool idleTimerDisabled_ = false;
  bool registeredForRemote_ = false;
  Backend* backend_ = nullptr;
  Window* key_ = nullptr;
  std::vector<Window*> windows_;
};

// The device: constants that stand for the phone's answers.
struct Device {
  // The system version the interface reasons about (features need >= 8.0).
  static std::string systemVersion() { return "12.0"; }
  static double systemVersionNumber() { return 12.0; }
  static double foundationVersionNumber() { return 1556.0; }
  static std::string name();
};

}  // namespace platform
