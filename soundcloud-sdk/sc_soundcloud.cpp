#include "soundcloud-sdk/sc_soundcloud.h"

#include <mutex>
#include <stdexcept>

#include "oauth2/nxoauth2_account_store.h"
#include "oauth2/nxoauth2_constants.h"
#include "platform/notify/notification_center.h"

namespace scsdk {
namespace {

using nxoauth2::NXOAuth2AccountStore;

std::mutex& endpointsMutex() {
  static std::mutex m;
  return m;
}

SCServiceEndpoints& endpoints() {
  static SCServiceEndpoints e = SCServiceEndpoints::standard();
  return e;
}

std::string stringIn(const platform::Dictionary& d, const char* key) {
  auto it = d.find(key);
  return it != d.end() && it->second.isString() ? *it->second.string() : std::string();
}

}  // namespace

SCServiceEndpoints SCServiceEndpoints::standard() {
  return {*platform::URL::withString("https://soundcloud.com/connect"),
          *platform::URL::withString("https://api.soundcloud.com/oauth2/token"),
          *platform::URL::withString("https://api.soundcloud.com/"),
          *platform::URL::withString("https://api.sandbox-soundcloud.com/oauth2/token")};
}

SCSoundCloud& SCSoundCloud::shared() {
  // Never destroyed: its observers must outlast every sign-in, and at exit
  // it must not reach for a notification centre already gone.
  static SCSoundCloud* instance = new SCSoundCloud();
  return *instance;
}

SCSoundCloud::SCSoundCloud() {
  auto& center = platform::NotificationCenter::defaultCenter();
  center.addObserver(this, nxoauth2::NXOAuth2AccountStoreAccountsDidChangeNotification,
                     [this](const platform::Notification&) {
                       platform::NotificationCenter::defaultCenter().post(SCSoundCloudAccountDidChangeNotification, this);
                     });
  center.addObserver(this, nxoauth2::NXOAuth2AccountStoreDidFailToRequestAccessNotification,
                     [this](const platform::Notification& n) {
                       platform::NotificationCenter::defaultCenter().post(SCSoundCloudDidFailToRequestAccessNotification,
                                                                          this, n.userInfo);
                     });
  center.addObserver(this, nxoauth2::NXOAuth2AccountDidFailToGetAccessTokenNotification,
                     [](const platform::Notification& n) {
                       platform::NotificationCenter::defaultCenter().post(SCAccountDidFailToGetAccessToken, n.object);
                     });
}

void SCSoundCloud::setServiceEndpoints(SCServiceEndpoints e) {
  shared();
  std::lock_guard<std::mutex> lock(endpointsMutex());
  endpoints() = std::move(e);
}

SCServiceEndpoints SCSoundCloud::serviceEndpoints() {
  std::lock_guard<std::mutex> lock(endpointsMutex());
  return endpoints();
}

void SCSoundCloud::setClientID(const std::string& clientID, const std::string& secret, const platform::URL& redirectURL) {
  shared();
  if (clientID.empty() || secret.empty() || redirectURL.empty())
    throw std::invalid_argument("SoundCloud needs a client id, a secret and a redirect URL");
  const SCServiceEndpoints e = serviceEndpoints();
  platform::Dictionary config{
      {nxoauth2::kNXOAuth2AccountStoreConfigurationClientID, platform::Value(clientID)},
      {nxoauth2::kNXOAuth2AccountStoreConfigurationSecret, platform::Value(secret)},
      {nxoauth2::kNXOAuth2AccountStoreConfigurationRedirectURL, platform::Value(redirectURL.absoluteString())},
      {nxoauth2::kNXOAuth2AccountStoreConfigurationAuthorizeURL, platform::Value(e.authorizeURL.absoluteString())},
      {nxoauth2::kNXOAuth2AccountStoreConfigurationTokenURL, platform::Value(e.tokenURL.absoluteString())},
      {kSCConfigurationAPIURL, platform::Value(e.apiURL.absoluteString())},
  };
  NXOAuth2AccountStore::sharedStore().setConfiguration(std::move(config), kSCAccountType);
}

platform::Dictionary SCSoundCloud::configuration() {
  shared();
  const platform::Dictionary c = NXOAuth2AccountStore::sharedStore().configurationForAccountType(kSCAccountType);
  if (c.empty()) throw std::logic_error("SoundCloud is not configured: call SCSoundCloud::setClientID first");
  const std::string tokenURL = stringIn(c, nxoauth2::kNXOAuth2AccountStoreConfigurationTokenURL);
  return {
      {kSCConfigurationClientID, platform::Value(stringIn(c, nxoauth2::kNXOAuth2AccountStoreConfigurationClientID))},
      {kSCConfigurationSecret, platform::Value(stringIn(c, nxoauth2::kNXOAuth2AccountStoreConfigurationSecret))},
      {kSCConfigurationRedirectURL, platform::Value(stringIn(c, nxoauth2::kNXOAuth2AccountStoreConfigurationRedirectURL))},
      {kSCConfigurationAuthorizeURL,
       platform::Value(stringIn(c, nxoauth2::kNXOAuth2AccountStoreConfigurationAuthorizeURL))},
      {kSCConfigurationSandbox, platform::Value(tokenURL == serviceEndpoints().sandboxTokenURL.absoluteString())},
      {kSCConfigurationAPIURL, platform::Value(stringIn(c, kSCConfigurationAPIURL))},
  };
}

std::shared_ptr<SCAccount> SCSoundCloud::account() {
  shared();
  auto accounts = NXOAuth2AccountStore::sharedStore().accountsWithAccountType(kSCAccountType);
  return accounts.empty() ? nullptr : std::make_shared<SCAccount>(accounts.front());
}

void SCSoundCloud::requestAccessWithPreparedAuthorizationURLHandler(const PreparedAuthorizationURLHandler& handler) {
  shared();
  removeAccess();
  NXOAuth2AccountStore::sharedStore().requestAccessToAccountWithType(kSCAccountType, handler);
}

bool SCSoundCloud::handleRedirectURL(const platform::URL& url) {
  shared();
  return NXOAuth2AccountStore::sharedStore().handleRedirectURL(url);
}

void SCSoundCloud::requestAccessWithUsername(const std::string& username, const std::string& password) {
  NXOAuth2AccountStore::sharedStore().requestAccessToAccountWithType(kSCAccountType, username, password);
}

void SCSoundCloud::removeAccess() {
  shared();
  NXOAuth2AccountStore& store = NXOAuth2AccountStore::sharedStore();
  for (auto& account : store.accountsWithAccountType(kSCAccountType)) store.removeAccount(account);
}

}  // namespace scsdk
