#include "platform/ui/application.h"

#include <unistd.h>

#include <algorithm>

#include "platform/notify/notification_center.h"
#include "platform/ui/window.h"

namespace platform {

bool Backend::canOpenURL(const std::string& url) const {
  for (const char* scheme : {"http:", "https:", "mailto:", "file:"})
    if (url.rfind(scheme, 0) == 0) return true;
  return false;
}

Application& Application::sharedApplication() {
  static Application app;
  return app;
}

void Application::setIdleTimerDisabled(bool d) {
  idleTimerDisabled_ = d;
  if (backend_) backend_->setIdleTimerDisabled(d);
}

bool Application::openURL(const std::string& url) {
  if (!backend_ || url.empty()) return false;
  return backend_->openURL(url);
}

bool Application::canOpenURL(const std::string& url) const { return backend_ && backend_->canOpenURL(url); }

bool Application::launch(const Dictionary& options) {
  if (launched_) return true;
  launched_ = true;
  terminated_ = false;
  state_ = State::Inactive;
  bool ok = true;
  if (delegate_) ok = delegate_->didFinishLaunching(*this, options);
  NotificationCenter::defaultCenter().post(kApplicationDidFinishLaunchingNotification);
  state_ = State::Active;
  if (delegate_) delegate_->didBecomeActive(*this);
  NotificationCenter::defaultCenter().post(kApplicationDidBecomeActiveNotification);
  return ok;
}

void Application::enterBackground() {
  if (!launched_ || terminated_ || state_ == State::Background) return;
  if (state_ == State::Active) {
    state_ = State::Inactive;
    if (delegate_) delegate_->willResignActive(*this);
    NotificationCenter::defaultCenter().post(kApplicationWillResignActiveNotification);
  }
  state_ = State::Background;
  if (delegate_) delegate_->didEnterBackground(*this);
  NotificationCenter::defaultCenter().post(kApplicationDidEnterBackgroundNotification);
}

void Application::enterForeground() {
  if (!launched_ || terminated_ || state_ != State::Background) return;
  state_ = State::Inactive;
  if (delegate_) delegate_->willEnterForeground(*this);
  NotificationCenter::defaultCenter().post(kApplicationWillEnterForegroundNotification);
  state_ = State::Active;
  if (delegate_) delegate_->didBecomeActive(*this);
  NotificationCenter::defaultCenter().post(kApplicationDidBecomeActiveNotification);
}

void Application::terminate() {
  if (!launched_ || terminated_) return;
  terminated_ = true;
  if (delegate_) delegate_->willTerminate(*this);
  NotificationCenter::defaultCenter().post(kApplicationWillTerminateNotification);
}

void Application::reset() {
  delegate_.reset();
  state_ = State::Inactive;
  launched_ = false;
  terminated_ = false;
  idleTimerDisabled_ = false;
  registeredForRemote_ = false;
  backend_ = nullptr;
  key_ = nullptr;
}

void Application::addWindow(Window* w) { windows_.push_back(w); }

void Application::removeWindow(Window* w) {
  windows_.erase(std::remove(windows_.begin(), windows_.end(), w), windows_.end());
  if (key_ == w) key_ = nullptr;
}

std::string Device::name() {
  char host[256] = {0};
  if (::gethostname(host, sizeof host - 1) == 0 && host[0]) return host;
  return "Linux";
}

}  // namespace platform
