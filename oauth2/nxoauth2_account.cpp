#include "oauth2/nxoauth2_account.h"

#include "oauth2/nxoauth2_account_store.h"
#include "oauth2/nxoauth2_constants.h"
#include "oauth2/nxoauth2_log.h"
#include "oauth2/nxoauth2_url_encoding.h"
#include "platform/notify/notification_center.h"

namespace nxoauth2 {

bool nxoauth2_isArchivable(const platform::Value& value) {
  if (value.isNull()) return false;
  if (const platform::Array* a = value.array()) {
    for (const platform::Value& v : *a)
      if (!nxoauth2_isArchivable(v)) return false;
  }
  if (const platform::Dictionary* d = value.dictionary()) {
    for (const auto& [k, v] : *d)
      if (!nxoauth2_isArchivable(v)) return false;
  }
  return true;
}

namespace {

std::string describeValue(const platform::Value& v) {
  using T = platform::Value::Type;
  switch (v.type()) {
    case T::Null: return "(null)";
    case T::Bool: return v.boolValue() ? "1" : "0";
    case T::Integer: return std::to_string(v.integerValue());
    case T::Real: return std::to_string(v.realValue());
    case T::String: return *v.string();
    case T::Data: return "<" + std::to_string(v.data()->size()) + " bytes>";
    case T::Date: return "<date>";
    case T::Array: return "(" + std::to_string(v.array()->size()) + " items)";
    case T::Dictionary: {
      std::string s = "{";
      for (const auto& [k, x] : *v.dictionary()) s += (s.size() > 1 ? "; " : " ") + k + " = " + describeValue(x);
      return s + " }";
    }
  }
  return "?";
}

std::optional<platform::URL> configuredURL(const platform::Dictionary& config, const char* key) {
  auto it = config.find(key);
  if (it == config.end() || !it->second.isString()) return std::nullopt;
  return platform::URL::withString(*it->second.string());
}

std::optional<std::string> configuredString(const platform::Dictionary& config, const char* key) {
  auto it = config.find(key);
  if (it == config.end() || !it->second.isString()) return std::nullopt;
  return *it->second.string();
}

}  // namespace

std::shared_ptr<NXOAuth2Account> NXOAuth2Account::initAccountWithOAuthClient(std::shared_ptr<NXOAuth2Client> client,
                                                                             std::string accountType) {
  std::shared_ptr<NXOAuth2Account> a(new NXOAuth2Account());
  a->accountType_ = std::move(accountType);
  a->identifier_ = nxoauth2_stringWithUUID();
  a->accessToken_ = client ? client->currentAccessToken() : nullptr;
  a->oauthClient_ = std::move(client);
  if (a->oauthClient_) a->oauthClient_->setDelegate(a.get());
  return a;
}

std::shared_ptr<NXOAuth2Account> NXOAuth2Account::initAccountWithAccessToken(std::shared_ptr<NXOAuth2AccessToken> token,
                                                                             std::string accountType) {
  std::shared_ptr<NXOAuth2Account> a(new NXOAuth2Account());
  a->accountType_ = std::move(accountType);
  a->identifier_ = nxoauth2_stringWithUUID();
  a->accessToken_ = std::move(token);
  return a;
}

NXOAuth2Account::~NXOAuth2Account() {
  // A connection may still hold the client; it must not call back here.
  if (oauthClient_ && oauthClient_->delegate() == this) oauthClient_->setDelegate(nullptr);
}

void NXOAuth2Account::post(const char* name, platform::Dictionary userInfo) {
  platform::NotificationCenter::defaultCenter().post(name, shared_from_this(), std::move(userInfo));
}

void NXOAuth2Account::setUserData(platform::Value userData) {
  if (userData == userData_) return;
  if (!userData.isNull() && !nxoauth2_isArchivable(userData)) {
    nxoauth2Log("The user data of account '" + identifier_ + "' cannot be archived (it holds a null); it is not changed.");
    return;
  }
  userData_ = std::move(userData);
  post(NXOAuth2AccountDidChangeUserDataNotification);
}

std::shared_ptr<NXOAuth2Client> NXOAuth2Account::oauthClient() {
  if (oauthClient_) return oauthClient_;
  const platform::Dictionary config = NXOAuth2AccountStore::sharedStore().configurationForAccountType(accountType_);
  const std::optional<std::string> clientID = configuredString(config, kNXOAuth2AccountStoreConfigurationClientID);
  const std::optional<std::string> secret = configuredString(config, kNXOAuth2AccountStoreConfigurationSecret);
  const std::optional<platform::URL> authorizeURL = configuredURL(config, kNXOAuth2AccountStoreConfigurationAuthorizeURL);
  const std::optional<platform::URL> tokenURL = configuredURL(config, kNXOAuth2AccountStoreConfigurationTokenURL);
  if (!clientID || !secret || !authorizeURL || !tokenURL) {
    nxoauth2Log("No configuration for account type '" + accountType_ + "': account '" + identifier_ +
                "' cannot sign requests.");
    return nullptr;
  }
  oauthClient_ = NXOAuth2Client::make(*clientID, *secret, *authorizeURL, *tokenURL, accessToken_,
                                      configuredString(config, kNXOAuth2AccountStoreConfigurationTokenType),
                                      configuredString(config, kNXOAuth2AccountStoreConfigurationKeyChainGroup), false,
                                      this);
  auto extra = config.find(kNXOAuth2AccountStoreConfigurationAdditionalAuthenticationParameters);
  if (extra != config.end() && extra->second.isDictionary()) {
    NXOAuth2Parameters parameters;
    for (const auto& [k, v] : *extra->second.dictionary())
      if (auto p = NXOAuth2ParameterValue::fromValue(v)) parameters.set(k, *p);
    oauthClient_->setAdditionalAuthenticationParameters(std::move(parameters));
  }
  return oauthClient_;
}

std::string NXOAuth2Account::description() const {
  return "<NXOAuth2Account identifier:'" + identifier_ + "' accountType:'" + accountType_ +
         "' accessToken:" + (accessToken_ ? accessToken_->description() : std::string("(null)")) +
         " userData:" + describeValue(userData_) + ">";
}

platform::Value NXOAuth2Account::archive() const {
  platform::Dictionary d{{"identifier", platform::Value(identifier_)}, {"accountType", platform::Value(accountType_)}};
  if (accessToken_) d["accessToken"] = accessToken_->archive();
  if (!userData_.isNull()) d["userData"] = userData_;
  return platform::Value(std::move(d));
}

std::shared_ptr<NXOAuth2Account> NXOAuth2Account::fromArchive(const platform::Value& archive) {
  const platform::Value* identifier = archive.find("identifier");
  const platform::Value* type = archive.find("accountType");
  const platform::Value* token = archive.find("accessToken");
  if (!identifier || !identifier->isString() || !type || !type->isString() || !token) return nullptr;
  std::shared_ptr<NXOAuth2AccessToken> t = NXOAuth2AccessToken::fromArchive(*token);
  if (!t) return nullptr;
  std::shared_ptr<NXOAuth2Account> a(new NXOAuth2Account());
  a->identifier_ = *identifier->string();
  a->accountType_ = *type->string();
  a->accessToken_ = std::move(t);
  if (const platform::Value* user = archive.find("userData")) a->userData_ = *user;
  return a;
}

void NXOAuth2Account::oauthClientNeedsAuthentication(NXOAuth2Client&) {}

void NXOAuth2Account::oauthClientDidGetAccessToken(NXOAuth2Client& client) {
  accessToken_ = client.currentAccessToken();
  post(NXOAuth2AccountDidChangeAccessTokenNotification);
}

void NXOAuth2Account::oauthClientDidRefreshAccessToken(NXOAuth2Client& client) {
  accessToken_ = client.currentAccessToken();
  post(NXOAuth2AccountDidChangeAccessTokenNotification);
}

void NXOAuth2Account::oauthClientDidLoseAccessToken(NXOAuth2Client&) {
  auto self = shared_from_this();
  accessToken_.reset();
  post(NXOAuth2AccountDidLoseAccessTokenNotification);
}

void NXOAuth2Account::oauthClientDidFailToGetAccessTokenWithError(NXOAuth2Client& client, const platform::Error& error) {
  auto self = shared_from_this();
  // A refresh that failed for a passing reason (a server error) leaves the
  // client its token; the account keeps what the client keeps, so the next
  // rewrite of the keychain does not lose the sign-in.
  accessToken_ = client.currentAccessToken();
  post(NXOAuth2AccountDidFailToGetAccessTokenNotification, {{NXOAuth2AccountStoreErrorKey, error.toValue()}});
}

std::optional<NXOAuth2TrustMode> NXOAuth2Account::connectionTrustModeForHostname(NXOAuth2Connection& connection,
                                                                                 const std::string& hostname) {
  auto handler = NXOAuth2AccountStore::sharedStore().trustModeHandlerForAccountType(accountType_);
  return handler ? handler(connection, hostname) : NXOAuth2TrustModeSystemDefault;
}

std::optional<std::vector<platform::Data>> NXOAuth2Account::connectionTrustedCertificatesForHostname(
    NXOAuth2Connection&, const std::string& hostname) {
  auto handler = NXOAuth2AccountStore::sharedStore().trustedCertificatesHandlerForAccountType(accountType_);
  if (!handler) return std::nullopt;
  return handler(hostname);
}

}  // namespace nxoauth2
