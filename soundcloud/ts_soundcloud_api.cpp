#include "soundcloud/ts_soundcloud_api.h"

#include <cstdio>
#include <mutex>

#include "oauth2/nxoauth2_account_store.h"
#include "platform/runloop/run_loop.h"
#include "platform/ui/alert_view.h"
#include "platform/ui/application.h"
#include "soundcloud-sdk/sc_soundcloud.h"
#include "soundcloud/ts_info_keys.h"
#include "soundcloud/ts_soundcloud_uploader.h"
#include "soundcloud/ts_soundcloud_user.h"

namespace tssc {
namespace {

std::mutex& classLock() {
  static std::mutex m;
  return m;
}
TSSoundCloudAPI*& instance() {
  static TSSoundCloudAPI* api = nullptr;
  return api;
}
std::optional<std::string>& lastError() {
  static std::optional<std::string> e;
  return e;
}
platform::UserDefaults*& testDefaults() {
  static platform::UserDefaults* d = nullptr;
  return d;
}
TSSoundCloudAPI::LoginPresenter& presenter() {
  static TSSoundCloudAPI::LoginPresenter p;
  return p;
}
// The class itself answers the application's end with a cleanup.
void observeTermination() {
  static const int owner = 0;
  static bool once = [] {
    platform::NotificationCenter::defaultCenter().addObserver(
        &owner, platform::kApplicationWillTerminateNotification,
        [](const platform::Notification&) { TSSoundCloudAPI::cleanup(); });
    return true;
  }();
  (void)once;
}

}  // namespace

TSSoundCloudAPI* TSSoundCloudAPI::sharedInstance() {
  bool created = false;
  TSSoundCloudAPI* api = nullptr;
  {
    std::lock_guard<std::mutex> lock(classLock());
    if (!instance()) {
      std::optional<std::string> keys[4];
      const char* names[4] = {kSCConsumerKey, kSCSecretKey, kSCCallbackURL, kSCApplicationID};
      for (int i = 0; i < 4; ++i) {
        keys[i] = tsInfoKey(names[i]);
        if (!keys[i]) {
          lastError() = tsMissingInfoKeyMessage(names[i]);
          std::fprintf(stderr, "SoundCloud sharing is off: %s\n", lastError()->c_str());
          return nullptr;
        }
      }
      const std::optional<platform::URL> callback = platform::URL::withString(*keys[2]);
      if (!callback || callback->scheme().empty()) {
        lastError() = std::string("SCCallbackURL is not a URL. Please define it at Info.plist");
        std::fprintf(stderr, "SoundCloud sharing is off: %s\n", lastError()->c_str());
        return nullptr;
      }
      lastError().reset();
      instance() = new TSSoundCloudAPI(*keys[0], *keys[1], *keys[2], *keys[3]);
      observeTermination();
      created = true;
    }
    api = instance();
  }
  // Outside the lock: loading may post notifications whose observers ask
  // for the facade.
  if (created && api->isAuthenticated()) api->user()->load();
  return api;
}

void TSSoundCloudAPI::cleanup() {
  TSSoundCloudAPI* api = nullptr;
  {
    std::lock_guard<std::mutex> lock(classLock());
    api = instance();
    instance() = nullptr;
  }
  delete api;
}

const std::optional<std::string>& TSSoundCloudAPI::startupError() { return lastError(); }

void TSSoundCloudAPI::setUserDefaultsForTesting(platform::UserDefaults* defaults) { testDefaults() = defaults; }

TSSoundCloudAPI::TSSoundCloudAPI(std::string consumer, std::string secret, std::string callback, std::string app)
    : consumerKey_(std::move(consumer)),
      secretKey_(std::move(secret)),
      callbackURL_(std::move(callback)),
      applicationID_(std::move(app)) {
  scsdk::SCSoundCloud::setClientID(consumerKey_, secretKey_, *platform::URL::withString(callbackURL_));
  auto& center = platform::NotificationCenter::defaultCenter();
  // A failed access or token request is the login screen's to report.
  center.addObserver(this, scsdk::SCSoundCloudDidFailToRequestAccessNotification, [](const platform::Notification&) {});
  center.addObserver(this, scsdk::SCAccountDidFailToGetAccessToken, [](const platform::Notification&) {});
  center.addObserver(this, scsdk::SCSoundCloudAccountDidChangeNotification,
                     [this](const platform::Notification&) { accountChanged(); });
}

TSSoundCloudAPI::~TSSoundCloudAPI() {
  *alive_ = false;
  auto& center = platform::NotificationCenter::defaultCenter();
  center.removeObserver(this);
  for (auto& [o, tokens] : observers_)
    for (auto t : tokens) center.removeObserver(t);
}

bool TSSoundCloudAPI::isLoggedIn() {
  return !nxoauth2::NXOAuth2AccountStore::sharedStore().accountsWithAccountType(scsdk::kSCAccountType).empty();
}

void TSSoundCloudAPI::setLoginPresenter(LoginPresenter p) { presenter() = std::move(p); }

void TSSoundCloudAPI::showLoginWindow(LoginCompletion completion) {
  scsdk::SCSoundCloud::requestAccessWithPreparedAuthorizationURLHandler(
      [completion](const platform::URL& preparedURL) {
        if (presenter()) {
          presenter()(preparedURL, completion);
        } else if (completion) {
          completion(platform::Error::make(TSSoundCloudErrorDomain, -2, "No sign-in screen is available."));
        }
      });
}

const std::shared_ptr<TSSoundCloudUser>& TSSoundCloudAPI::user() {
  if (!user_) user_ = TSSoundCloudUser::make(std::any(this), testDefaults());
  return user_;
}

void TSSoundCloudAPI::resetAuthentication() { scsdk::SCSoundCloud::removeAccess(); }

void TSSoundCloudAPI::cancelConnection(const TSRequestHandle& handle) {
  if (handle) handle->cancel();
}

void TSSoundCloudAPI::cancelConnection(const std::any& handle) {
  if (const auto* h = std::any_cast<TSRequestHandle>(&handle)) {
    cancelConnection(*h);
    return;
  }
  scsdk::SCRequest::cancelRequest(handle);
}

void TSSoundCloudAPI::checkAuthentication(LoginCompletion completion) {
  if (!isAuthenticated()) showLoginWindow(std::move(completion));
}

void TSSoundCloudAPI::accountChanged() {
  if (scsdk::SCSoundCloud::account()) {
    user()->load();
  } else {
    user()->clearActivities();
    user()->clearProfile();
  }
  std::weak_ptr<bool> alive = alive_;
  TSSoundCloudAPI* self = this;
  platform::dispatchAfterMain(kAuthChangedDelay, [alive, self] {
    auto a = alive.lock();
    if (a && *a) platform::NotificationCenter::defaultCenter().post(SCAuthChanged, self);
  });
}

void TSSoundCloudAPI::addAuthObserver(TSSoundCloudAPIObserver* observer) {
  if (!observer) return;
  removeAuthObserver(observer);
  auto& center = platform::NotificationCenter::defaultCenter();
  const TSSoundCloudAPI* self = this;
  auto fromMe = [self](const platform::Notification& n) {
    auto* o = n.objectAs<TSSoundCloudAPI*>();
    return o && *o == self;
  };
  std::vector<platform::NotificationCenter::Token> tokens;
  if (auto* o = dynamic_cast<TSSoundCloudAuthChangedObserver*>(observer))
    tokens.push_back(center.addObserver(observer, SCAuthChanged, [o, fromMe](const platform::Notification& n) {
      if (fromMe(n)) o->soundCloudApiDidChanged(n);
    }));
  if (auto* o = dynamic_cast<TSSoundCloudUserInfoObserver*>(observer))
    tokens.push_back(center.addObserver(observer, SCUserOK, [o, fromMe](const platform::Notification& n) {
      if (fromMe(n)) o->soundCloudApiDidRetrievedUserInfo(n);
    }));
  if (auto* o = dynamic_cast<TSSoundCloudNewActivitiesObserver*>(observer))
    tokens.push_back(center.addObserver(observer, SCNewActivities, [o, fromMe](const platform::Notification& n) {
      if (fromMe(n)) o->soundCloudApiDidReceivedNewActivities(n);
    }));
  if (auto* o = dynamic_cast<TSSoundCloudUserFailedObserver*>(observer))
    tokens.push_back(center.addObserver(observer, SCUserFailed, [o, fromMe](const platform::Notification& n) {
      if (fromMe(n)) o->soundCloudApiFailedRetrieveUserInfo(n);
    }));
  observers_[observer] = std::move(tokens);
}

void TSSoundCloudAPI::removeAuthObserver(TSSoundCloudAPIObserver* observer) {
  auto it = observers_.find(observer);
  if (it == observers_.end()) return;
  for (auto t : it->second) platform::NotificationCenter::defaultCenter().removeObserver(t);
  observers_.erase(it);
}

// ---- TSShowError ------------------------------------------------------------

TSShowError::Texts TSShowError::textsFor(const platform::Error& error) {
  const std::string code = std::to_string(error.code);
  if (error.code == platform::NSURLErrorNotConnectedToInternet)
    return {"Cannot Connect to SoundCloud",
            "This app cannot connect to SoundCloud because it is not connected to the internet"};
  if (error.code < 500)
    return {"Error Occurred (" + code + ")", "Oops, something went wrong, please try again. (" + code + ")"};
  return {"Cannot Connect to SoundCloud", "Oops, something went wrong, please try again. (" + code + ")"};
}

void TSShowError::show(const platform::Error& error, const platform::Dictionary&) {
  const Texts t = textsFor(error);
  auto alert = std::make_shared<platform::AlertView>(t.title, t.message, nullptr, std::string("OK"),
                                                     std::vector<std::string>{});
  alert->show();
}

}  // namespace tssc
