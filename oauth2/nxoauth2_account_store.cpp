#include "oauth2/nxoauth2_account_store.h"

#include <spawn.h>
#include <sys/wait.h>

#include <algorithm>
#include <cctype>
#include <stdexcept>
#include <thread>

#include "oauth2/nxoauth2_constants.h"
#include "oauth2/nxoauth2_log.h"
#include "oauth2/nxoauth2_url_encoding.h"
#include "platform/foundation/property_list.h"
#include "platform/notify/notification_center.h"

extern char** environ;

namespace nxoauth2 {
namespace {

constexpr const char* kStoreLabel = "OAuth 2 Account Store";

// The store lives as long as the process: destroyed at exit it would reach
// for the notification centre and accounts after they are gone.
NXOAuth2AccountStore*& sharedSlot() {
  static NXOAuth2AccountStore* store = nullptr;
  return store;
}
std::mutex& sharedMutex() {
  static std::mutex m;
  return m;
}

std::optional<std::string> stringIn(const platform::Dictionary& d, const char* key) {
  auto it = d.find(key);
  if (it == d.end() || !it->second.isString()) return std::nullopt;
  return *it->second.string();
}

std::optional<platform::URL> urlIn(const platform::Dictionary& d, const char* key) {
  std::optional<std::string> s = stringIn(d, key);
  return s ? platform::URL::withString(*s) : std::nullopt;
}

std::string lower(std::string s) {
  std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return std::tolower(c); });
  return s;
}

// The same redirect endpoint: scheme and host without regard to case, port
// and path exactly.
bool sameEndpoint(const platform::URL& configured, const platform::URL& url) {
  return lower(configured.scheme()) == lower(url.scheme()) && configured.hasAuthority() == url.hasAuthority() &&
         lower(configured.host()) == lower(url.host()) && configured.port() == url.port() &&
         configured.path() == url.path();
}

bool openWithDesktop(const platform::URL& url) {
  const std::string text = url.absoluteString();
  char* argv[] = {const_cast<char*>("xdg-open"), const_cast<char*>(text.c_str()), nullptr};
  pid_t pid;
  if (posix_spawnp(&pid, "xdg-open", nullptr, nullptr, argv, environ) != 0) return false;
  std::thread([pid] {
    int status;
    waitpid(pid, &status, 0);
  }).detach();
  return true;
}

}  // namespace

NXOAuth2AccountStore& NXOAuth2AccountStore::sharedStore() {
  std::lock_guard<std::mutex> lock(sharedMutex());
  if (!sharedSlot()) sharedSlot() = new NXOAuth2AccountStore();
  return *sharedSlot();
}

void NXOAuth2AccountStore::resetSharedStoreForTesting() {
  std::unique_ptr<NXOAuth2AccountStore> old;
  {
    std::lock_guard<std::mutex> lock(sharedMutex());
    old.reset(sharedSlot());
    sharedSlot() = new NXOAuth2AccountStore();
  }
}

NXOAuth2AccountStore::NXOAuth2AccountStore() {
  if (auto stored = accountsFromDefaultKeychain()) accountsDict_ = std::move(*stored);
  auto& center = platform::NotificationCenter::defaultCenter();
  auto rewrite = [this](const platform::Notification& n) {
    const auto* account = n.objectAs<std::shared_ptr<NXOAuth2Account>>();
    if (!account || !*account) return;
    std::lock_guard<std::mutex> lock(accountsMutex_);
    if (accountsDict_.count((*account)->identifier())) rewriteKeychainLocked();
  };
  center.addObserver(this, NXOAuth2AccountDidChangeUserDataNotification, rewrite);
  center.addObserver(this, NXOAuth2AccountDidChangeAccessTokenNotification, rewrite);
  center.addObserver(this, NXOAuth2AccountDidLoseAccessTokenNotification, [this](const platform::Notification& n) {
    const auto* account = n.objectAs<std::shared_ptr<NXOAuth2Account>>();
    if (!account || !*account) return;
    nxoauth2Log("Removing account with id '" + (*account)->identifier() +
                "' from account store because it lost its access token.");
    removeAccount(*account);
  });
}

NXOAuth2AccountStore::~NXOAuth2AccountStore() {
  platform::NotificationCenter::defaultCenter().removeObserver(this);
  std::lock_guard<std::mutex> lock(pendingMutex_);
  for (auto& [type, client] : pendingOAuthClients_)
    if (client->delegate() == this) client->setDelegate(nullptr);
}

std::vector<std::shared_ptr<NXOAuth2Account>> NXOAuth2AccountStore::accounts() const {
  std::lock_guard<std::mutex> lock(accountsMutex_);
  std::vector<std::shared_ptr<NXOAuth2Account>> out;
  for (const auto& [id, account] : accountsDict_) out.push_back(account);
  return out;
}

std::vector<std::shared_ptr<NXOAuth2Account>> NXOAuth2AccountStore::accountsWithAccountType(
    const std::string& accountType) const {
  std::vector<std::shared_ptr<NXOAuth2Account>> out;
  for (auto& account : accounts())
    if (account->accountType() == accountType) out.push_back(account);
  return out;
}

std::shared_ptr<NXOAuth2Account> NXOAuth2AccountStore::accountWithIdentifier(const std::string& identifier) const {
  std::lock_guard<std::mutex> lock(accountsMutex_);
  auto it = accountsDict_.find(identifier);
  return it == accountsDict_.end() ? nullptr : it->second;
}

std::shared_ptr<NXOAuth2Client> NXOAuth2AccountStore::pendingOAuthClientForAccountType(const std::string& accountType) {
  std::lock_guard<std::mutex> pending(pendingMutex_);
  if (auto it = pendingOAuthClients_.find(accountType); it != pendingOAuthClients_.end()) return it->second;
  platform::Dictionary config;
  {
    std::lock_guard<std::mutex> configs(configurationsMutex_);
    auto it = configurations_.find(accountType);
    if (it == configurations_.end()) return nullptr;
    config = it->second;
  }
  const std::optional<std::string> clientID = stringIn(config, kNXOAuth2AccountStoreConfigurationClientID);
  const std::optional<std::string> secret = stringIn(config, kNXOAuth2AccountStoreConfigurationSecret);
  const std::optional<platform::URL> authorizeURL = urlIn(config, kNXOAuth2AccountStoreConfigurationAuthorizeURL);
  const std::optional<platform::URL> tokenURL = urlIn(config, kNXOAuth2AccountStoreConfigurationTokenURL);
  if (!clientID || clientID->empty() || !secret || !authorizeURL || !tokenURL) return nullptr;
  auto client = NXOAuth2Client::make(*clientID, *secret, *authorizeURL, *tokenURL, nullptr,
                                     stringIn(config, kNXOAuth2AccountStoreConfigurationTokenType),
                                     stringIn(config, kNXOAuth2AccountStoreConfigurationKeyChainGroup), false, this);
  if (auto method = stringIn(config, kNXOAuth2AccountStoreConfigurationTokenRequestHTTPMethod))
    client->setTokenRequestHTTPMethod(*method);
  auto extra = config.find(kNXOAuth2AccountStoreConfigurationAdditionalAuthenticationParameters);
  if (extra != config.end() && extra->second.isDictionary()) {
    NXOAuth2Parameters parameters;
    for (const auto& [k, v] : *extra->second.dictionary())
      if (auto p = NXOAuth2ParameterValue::fromValue(v)) parameters.set(k, *p);
    client->setAdditionalAuthenticationParameters(std::move(parameters));
  }
  auto scope = config.find(kNXOAuth2AccountStoreConfigurationScope);
  if (scope != config.end() && scope->second.isArray()) {
    std::set<std::string> s;
    for (const platform::Value& v : *scope->second.array())
      if (v.isString()) s.insert(*v.string());
    client->setDesiredScope(std::move(s));
  }
  pendingOAuthClients_[accountType] = client;
  return client;
}

std::optional<std::string> NXOAuth2AccountStore::accountTypeOfPendingOAuthClient(const NXOAuth2Client* client) const {
  std::lock_guard<std::mutex> lock(pendingMutex_);
  for (const auto& [type, c] : pendingOAuthClients_)
    if (c.get() == client) return type;
  return std::nullopt;
}

void NXOAuth2AccountStore::removePendingOAuthClient(const NXOAuth2Client* client) {
  std::shared_ptr<NXOAuth2Client> keep;  // released after the lock
  std::lock_guard<std::mutex> lock(pendingMutex_);
  for (auto it = pendingOAuthClients_.begin(); it != pendingOAuthClients_.end(); ++it) {
    if (it->second.get() == client) {
      keep = it->second;
      pendingOAuthClients_.erase(it);
      return;
    }
  }
}

void NXOAuth2AccountStore::postFailure(const std::string& accountType, const platform::Error& error) {
  platform::NotificationCenter::defaultCenter().post(
      NXOAuth2AccountStoreDidFailToRequestAccessNotification, this,
      {{NXOAuth2AccountStoreAccountType, platform::Value(accountType)}, {NXOAuth2AccountStoreErrorKey, error.toValue()}});
}

void NXOAuth2AccountStore::failMissingConfiguration(const std::string& accountType) {
  nxoauth2Log("No usable configuration for account type '" + accountType + "'.");
  postFailure(accountType, nxoauth2_error(NXOAuth2MissingConfigurationErrorCode));
}

void NXOAuth2AccountStore::requestAccessToAccountWithType(const std::string& accountType) {
  if (auto client = pendingOAuthClientForAccountType(accountType))
    client->requestAccess();
  else
    failMissingConfiguration(accountType);
}

void NXOAuth2AccountStore::requestAccessToAccountWithType(const std::string& accountType,
                                                          const PreparedAuthorizationURLHandler& handler) {
  auto client = pendingOAuthClientForAccountType(accountType);
  const std::optional<platform::URL> redirect =
      urlIn(configurationForAccountType(accountType), kNXOAuth2AccountStoreConfigurationRedirectURL);
  if (!client || !redirect) {
    failMissingConfiguration(accountType);
    return;
  }
  const platform::URL prepared = client->authorizationURLWithRedirectURL(*redirect);
  if (handler) handler(prepared);
}

void NXOAuth2AccountStore::requestAccessToAccountWithType(const std::string& accountType, const std::string& username,
                                                          const std::string& password) {
  if (auto client = pendingOAuthClientForAccountType(accountType))
    client->authenticateWithUsername(username, password);
  else
    failMissingConfiguration(accountType);
}

void NXOAuth2AccountStore::requestAccessToAccountWithType(const std::string& accountType,
                                                          const platform::URL& assertionType,
                                                          const std::string& assertion) {
  if (auto client = pendingOAuthClientForAccountType(accountType))
    client->authenticateWithAssertionType(assertionType, assertion);
  else
    failMissingConfiguration(accountType);
}

void NXOAuth2AccountStore::requestClientCredentialsAccessWithType(const std::string& accountType) {
  if (auto client = pendingOAuthClientForAccountType(accountType))
    client->authenticateWithClientCredentials();
  else
    failMissingConfiguration(accountType);
}

void NXOAuth2AccountStore::rewriteKeychainLocked() {
  lastKeychainStatus_ = storeAccountsInDefaultKeychain(accountsDict_);
}

void NXOAuth2AccountStore::removeAccount(const std::shared_ptr<NXOAuth2Account>& account) {
  if (!account) return;
  {
    std::lock_guard<std::mutex> lock(accountsMutex_);
    if (!accountsDict_.erase(account->identifier())) return;
    rewriteKeychainLocked();
  }
  platform::NotificationCenter::defaultCenter().post(NXOAuth2AccountStoreAccountsDidChangeNotification, this);
}

void NXOAuth2AccountStore::setConfiguration(platform::Dictionary configuration, const std::string& accountType) {
  std::lock_guard<std::mutex> lock(configurationsMutex_);
  configurations_[accountType] = std::move(configuration);
}

platform::Dictionary NXOAuth2AccountStore::configurationForAccountType(const std::string& accountType) const {
  std::lock_guard<std::mutex> lock(configurationsMutex_);
  auto it = configurations_.find(accountType);
  return it == configurations_.end() ? platform::Dictionary{} : it->second;
}

void NXOAuth2AccountStore::setClientID(const std::string& clientID, const std::string& secret,
                                       const platform::URL& authorizationURL, const platform::URL& tokenURL,
                                       const platform::URL& redirectURL, const std::string& accountType) {
  setClientID(clientID, secret, {}, authorizationURL, tokenURL, redirectURL, std::nullopt, std::nullopt, accountType);
}

void NXOAuth2AccountStore::setClientID(const std::string& clientID, const std::string& secret,
                                       const std::set<std::string>& scope, const platform::URL& authorizationURL,
                                       const platform::URL& tokenURL, const platform::URL& redirectURL,
                                       const std::optional<std::string>& keyChainGroup, const std::string& accountType) {
  setClientID(clientID, secret, scope, authorizationURL, tokenURL, redirectURL, keyChainGroup, std::nullopt, accountType);
}

void NXOAuth2AccountStore::setClientID(const std::string& clientID, const std::string& secret,
                                       const std::set<std::string>& scope, const platform::URL& authorizationURL,
                                       const platform::URL& tokenURL, const platform::URL& redirectURL,
                                       const std::optional<std::string>& keyChainGroup,
                                       const std::optional<std::string>& tokenType, const std::string& accountType) {
  if (clientID.empty() || authorizationURL.empty() || tokenURL.empty() || redirectURL.empty())
    throw std::invalid_argument("A configuration needs a client id, an authorization URL, a token URL and a redirect URL");
  platform::Dictionary config{
      {kNXOAuth2AccountStoreConfigurationClientID, platform::Value(clientID)},
      {kNXOAuth2AccountStoreConfigurationSecret, platform::Value(secret)},
      {kNXOAuth2AccountStoreConfigurationAuthorizeURL, platform::Value(authorizationURL.absoluteString())},
      {kNXOAuth2AccountStoreConfigurationTokenURL, platform::Value(tokenURL.absoluteString())},
      {kNXOAuth2AccountStoreConfigurationRedirectURL, platform::Value(redirectURL.absoluteString())},
  };
  if (!scope.empty()) {
    platform::Array s;
    for (const std::string& x : scope) s.push_back(platform::Value(x));
    config[kNXOAuth2AccountStoreConfigurationScope] = platform::Value(std::move(s));
  }
  if (tokenType) config[kNXOAuth2AccountStoreConfigurationTokenType] = platform::Value(*tokenType);
  if (keyChainGroup) config[kNXOAuth2AccountStoreConfigurationKeyChainGroup] = platform::Value(*keyChainGroup);
  setConfiguration(std::move(config), accountType);
}

void NXOAuth2AccountStore::setTrustModeHandlerForAccountType(const std::string& accountType, TrustModeHandler handler) {
  std::lock_guard<std::mutex> lock(trustModeMutex_);
  trustModeHandler_[accountType] = std::move(handler);
}

void NXOAuth2AccountStore::setTrustedCertificatesHandlerForAccountType(const std::string& accountType,
                                                                       TrustedCertificatesHandler handler) {
  std::lock_guard<std::mutex> lock(trustedCertificatesMutex_);
  trustedCertificatesHandler_[accountType] = std::move(handler);
}

NXOAuth2AccountStore::TrustModeHandler NXOAuth2AccountStore::trustModeHandlerForAccountType(
    const std::string& accountType) const {
  std::lock_guard<std::mutex> lock(trustModeMutex_);
  auto it = trustModeHandler_.find(accountType);
  return it == trustModeHandler_.end() ? TrustModeHandler() : it->second;
}

NXOAuth2AccountStore::TrustedCertificatesHandler NXOAuth2AccountStore::trustedCertificatesHandlerForAccountType(
    const std::string& accountType) const {
  std::lock_guard<std::mutex> lock(trustedCertificatesMutex_);
  auto it = trustedCertificatesHandler_.find(accountType);
  return it == trustedCertificatesHandler_.end() ? TrustedCertificatesHandler() : it->second;
}

bool NXOAuth2AccountStore::handleRedirectURL(const platform::URL& url) {
  std::vector<std::pair<std::string, platform::URL>> selected;
  {
    std::lock_guard<std::mutex> lock(configurationsMutex_);
    for (const auto& [type, config] : configurations_) {
      std::optional<platform::URL> redirect = urlIn(config, kNXOAuth2AccountStoreConfigurationRedirectURL);
      if (redirect && sameEndpoint(*redirect, url)) selected.emplace_back(type, *redirect);
    }
  }
  for (const auto& [type, redirect] : selected) {
    // Spell the scheme as configured.
    platform::URL fixed = url;
    if (url.scheme() != redirect.scheme())
      fixed = platform::URL::withString(redirect.scheme() + url.absoluteString().substr(url.scheme().size())).value_or(url);
    auto client = pendingOAuthClientForAccountType(type);
    if (client && client->openRedirectURL(fixed)) return true;
  }
  return false;
}

void NXOAuth2AccountStore::setOpenURLHandler(OpenURLHandler handler) { openURL_ = std::move(handler); }

platform::KeychainStatus NXOAuth2AccountStore::lastKeychainStatus() const {
  std::lock_guard<std::mutex> lock(accountsMutex_);
  return lastKeychainStatus_;
}

std::string NXOAuth2AccountStore::keychainServiceName() { return nxoauth2_bundleIdentifier() + "::NXOAuth2AccountStore"; }

std::optional<std::map<std::string, std::shared_ptr<NXOAuth2Account>>> NXOAuth2AccountStore::accountsFromDefaultKeychain() {
  platform::KeychainStatus status;
  std::optional<platform::KeychainItem> item =
      platform::Keychain::defaultKeychain().copyItem(keychainServiceName(), std::nullopt, &status);
  if (!item) {
    if (status != platform::KeychainStatus::ItemNotFound)
      nxoauth2Log(std::string("Could not read the accounts from the keychain: ") + platform::keychainStatusText(status));
    return std::nullopt;
  }
  std::optional<platform::Value> archive = platform::propertyListFromBytes(item->secret);
  if (!archive || !archive->isDictionary()) {
    nxoauth2Log("The keychain item of the account store is damaged; no accounts were read.");
    return std::nullopt;
  }
  std::map<std::string, std::shared_ptr<NXOAuth2Account>> accounts;
  for (const auto& [id, value] : *archive->dictionary()) {
    std::shared_ptr<NXOAuth2Account> account = NXOAuth2Account::fromArchive(value);
    if (account && account->identifier() == id)
      accounts[id] = std::move(account);
    else
      nxoauth2Log("Skipping a damaged account in the keychain.");
  }
  return accounts;
}

platform::KeychainStatus NXOAuth2AccountStore::storeAccountsInDefaultKeychain(
    const std::map<std::string, std::shared_ptr<NXOAuth2Account>>& accounts) {
  const std::string service = keychainServiceName();
  platform::Keychain keychain = platform::Keychain::defaultKeychain();
  if (accounts.empty()) return keychain.replaceItems(service, {});
  platform::Dictionary archive;
  for (const auto& [id, account] : accounts) archive[id] = account->archive();
  std::optional<std::vector<uint8_t>> bytes = platform::propertyListToBinary(platform::Value(std::move(archive)));
  platform::KeychainStatus status = platform::KeychainStatus::IOError;
  if (bytes) status = keychain.replaceItems(service, {{service, "", kStoreLabel, {}, *bytes}});
  if (status != platform::KeychainStatus::Success)
    nxoauth2Log(std::string("Could not store the accounts in the keychain (the previous item is kept): ") +
                platform::keychainStatusText(status));
  return status;
}

void NXOAuth2AccountStore::removeFromDefaultKeychain() {
  platform::Keychain::defaultKeychain().deleteItems(keychainServiceName());
}

void NXOAuth2AccountStore::oauthClientNeedsAuthentication(NXOAuth2Client& client) {
  const std::optional<std::string> type = accountTypeOfPendingOAuthClient(&client);
  if (!type) return;
  const std::optional<platform::URL> redirect =
      urlIn(configurationForAccountType(*type), kNXOAuth2AccountStoreConfigurationRedirectURL);
  if (!redirect) {
    failMissingConfiguration(*type);
    return;
  }
  const platform::URL url = client.authorizationURLWithRedirectURL(*redirect);
  const bool opened = openURL_ ? openURL_(url) : openWithDesktop(url);
  if (!opened) nxoauth2Log("Could not open the authorization page in the browser.");
}

void NXOAuth2AccountStore::oauthClientDidGetAccessToken(NXOAuth2Client& client) {
  const std::optional<std::string> type = accountTypeOfPendingOAuthClient(&client);
  if (!type) return;
  std::shared_ptr<NXOAuth2Client> keep = client.shared_from_this();
  removePendingOAuthClient(&client);
  std::shared_ptr<NXOAuth2Account> account = NXOAuth2Account::initAccountWithOAuthClient(keep, *type);
  {
    std::lock_guard<std::mutex> lock(accountsMutex_);
    accountsDict_[account->identifier()] = account;
    rewriteKeychainLocked();
  }
  platform::NotificationCenter::defaultCenter().post(
      NXOAuth2AccountStoreAccountsDidChangeNotification, this,
      {{NXOAuth2AccountStoreNewAccountUserInfoKey, platform::Value(account->identifier())}});
}

void NXOAuth2AccountStore::oauthClientDidLoseAccessToken(NXOAuth2Client& client) { removePendingOAuthClient(&client); }

void NXOAuth2AccountStore::oauthClientDidRefreshAccessToken(NXOAuth2Client& client) {
  // A pending client has no token to refresh; one that has is signed in.
  oauthClientDidGetAccessToken(client);
}

void NXOAuth2AccountStore::oauthClientDidFailToGetAccessTokenWithError(NXOAuth2Client& client,
                                                                       const platform::Error& error) {
  const std::optional<std::string> type = accountTypeOfPendingOAuthClient(&client);
  if (!type) return;
  std::shared_ptr<NXOAuth2Client> keep = client.shared_from_this();
  removePendingOAuthClient(&client);
  postFailure(*type, error);
}

std::optional<NXOAuth2TrustMode> NXOAuth2AccountStore::connectionTrustModeForHostname(NXOAuth2Connection& connection,
                                                                                      const std::string& hostname) {
  std::shared_ptr<NXOAuth2Client> client = connection.client();
  const std::optional<std::string> type = client ? accountTypeOfPendingOAuthClient(client.get()) : std::nullopt;
  TrustModeHandler handler = type ? trustModeHandlerForAccountType(*type) : TrustModeHandler();
  return handler ? handler(connection, hostname) : NXOAuth2TrustModeSystemDefault;
}

std::optional<std::vector<platform::Data>> NXOAuth2AccountStore::connectionTrustedCertificatesForHostname(
    NXOAuth2Connection& connection, const std::string& hostname) {
  std::shared_ptr<NXOAuth2Client> client = connection.client();
  const std::optional<std::string> type = client ? accountTypeOfPendingOAuthClient(client.get()) : std::nullopt;
  TrustedCertificatesHandler handler = type ? trustedCertificatesHandlerForAccountType(*type) : TrustedCertificatesHandler();
  if (!handler) return std::nullopt;
  return handler(hostname);
}

}  // namespace nxoauth2
