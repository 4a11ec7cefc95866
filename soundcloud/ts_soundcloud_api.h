#pragma once
// The entry point of the sharing layer: it configures the SoundCloud
// request layer with the app's client keys from the bundle's information
// dictionary, owns the signed-in user record, follows sign-in and sign-out
// (loading the user, or clearing its feed and profile) and re-announces
// them as "SCAuthChanged" 1.4 s later, has the login screen shown when a
// feature needs an account, and cancels requests.
//
// A missing key ("SCConsumerKey", "SCSecretKey", "SCCallbackURL",
// "SCApplicationID") or a callback that is no URL stops the sharing layer
// from starting: sharedInstance() answers nullptr and startupError() the
// reason ("<key> is not assigned. Please define it at Info.plist"); the
// rest of the program runs on.
//
// The login screen itself is not part of this layer: whoever hosts the
// sharing screens sets a presenter, which receives the prepared
// authorization URL and the completion to call. With no presenter set a
// login request completes at once with TSSoundCloudErrorDomain -2.
//
// Observers: an object registers for the announcements whose interfaces
// it implements (TSSoundCloudAuthChangedObserver and its three siblings).
// The object of every announcement is the facade (TSSoundCloudAPI*).
//
// Main thread; creation and cleanup are serialised by a lock.

#include <any>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/foundation/user_defaults.h"
#include "platform/net/error.h"
#include "platform/net/url.h"
#include "platform/notify/notification_center.h"
#include "soundcloud/ts_soundcloud_executor.h"

namespace tssc {

class TSSoundCloudUser;

// Announcement observers: implement the ones wanted.
class TSSoundCloudAPIObserver {
 public:
  virtual ~TSSoundCloudAPIObserver() = default;
};
class TSSoundCloudAuthChangedObserver : public virtual TSSoundCloudAPIObserver {
 public:
  virtual void soundCloudApiDidChanged(const platform::Notification& notification) = 0;
};
class TSSoundCloudUserInfoObserver : public virtual TSSoundCloudAPIObserver {
 public:
  virtual void soundCloudApiDidRetrievedUserInfo(const platform::Notification& notification) = 0;
};
class TSSoundCloudNewActivitiesObserver : public virtual TSSoundCloudAPIObserver {
 public:
  virtual void soundCloudApiDidReceivedNewActivities(const platform::Notification& notification) = 0;
};
class TSSoundCloudUserFailedObserver : public virtual TSSoundCloudAPIObserver {
 public:
  virtual void soundCloudApiFailedRetrieveUserInfo(const platform::Notification& notification) = 0;
};

class TSSoundCloudAPI {
 public:
  static constexpr double kAuthChangedDelay = 1.4;
  // Called with no error after an account change, or with the reason the
  // sign-in did not happen.
  using LoginCompletion = std::function<void(const std::optional<platform::Error>& error)>;
  using LoginPresenter = std::function<void(const platform::URL& preparedURL, LoginCompletion completion)>;

  // nullptr when the keys are incomplete (see startupError()).
  static TSSoundCloudAPI* sharedInstance();
  static void cleanup();
  static const std::optional<std::string>& startupError();
  // Where the user record keeps the feed's links (tests); nullptr for the
  // standard user defaults. Takes effect for facades made afterwards.
  static void setUserDefaultsForTesting(platform::UserDefaults* defaults);

  // At least one stored account of the service.
  static bool isLoggedIn();
  // Asks the request layer for access and hands the prepared URL to the
  // presenter.
  static void showLoginWindow(LoginCompletion completion);
  static void setLoginPresenter(LoginPresenter presenter);

  std::string consumerKey() const { return consumerKey_; }
  std::string secretKey() const { return secretKey_; }
  std::string callbackURL() const { return callbackURL_; }
  std::string applicationID() const { return applicationID_; }

  const std::shared_ptr<TSSoundCloudUser>& user();
  bool isAuthenticated() const { return isLoggedIn(); }
  void resetAuthentication();
  void cancelConnection(const TSRequestHandle& handle);
  // Also the request layer's own handles.
  void cancelConnection(const std::any& handle);
  // Not signed in: the login window with the completion. Signed in:
  // nothing, and the completion is not called.
  void checkAuthentication(LoginCompletion completion);

  void addAuthObserver(TSSoundCloudAPIObserver* observer);
  void removeAuthObserver(TSSoundCloudAPIObserver* observer);

  // The request layer's account-change notification.
  void accountChanged();

  ~TSSoundCloudAPI();
  TSSoundCloudAPI(const TSSoundCloudAPI&) = delete;
  TSSoundCloudAPI& operator=(const TSSoundCloudAPI&) = delete;

 private:
  TSSoundCloudAPI(std::string consumer, std::string secret, std::string callback, std::string app);

  std::string consumerKey_, secretKey_, callbackURL_, applicationID_;
  std::shared_ptr<TSSoundCloudUser> user_;
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
  std::map<const void*, std::vector<platform::NotificationCenter::Token>> observers_;
};

// Turns a failed request into an alert with one "OK" button.
class TSShowError {
 public:
  struct Texts {
    std::string title;
    std::string message;
  };
  static Texts textsFor(const platform::Error& error);
  static void show(const platform::Error& error, const platform::Dictionary& userInfo = {});
};

}  // namespace tssc
