#include "oauth2/nxoauth2_access_token.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <ctime>

#include "json/json_kit.h"
#include "oauth2/nxoauth2_log.h"
#include "platform/foundation/bundle.h"
#include "platform/foundation/property_list.h"
#include "platform/keychain/keychain.h"

namespace nxoauth2 {
namespace {

constexpr const char* kTokenLabel = "OAuth 2 Access Token";

std::optional<std::string> stringField(const jk::Value& object, const char* key) {
  const jk::Value v = object[key];
  if (!v.isString()) return std::nullopt;
  return std::string(v.stringView());
}

// The platform's integer reading of a string: leading blanks, a sign and
// digits; 0 when there are none.
int64_t integerOfText(std::string_view s) {
  size_t i = 0;
  while (i < s.size() && std::isspace(static_cast<unsigned char>(s[i]))) ++i;
  bool negative = false;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
  int64_t v = 0;
  for (; i < s.size() && std::isdigit(static_cast<unsigned char>(s[i])); ++i) {
    if (v > (INT64_MAX - 9) / 10) break;
    v = v * 10 + (s[i] - '0');
  }
  return negative ? -v : v;
}

// A token endpoint's lifetime is believed within ten years either way:
// beyond that the figure is nonsense, and an unbounded one would take the
// expiry date past what a date or time_t can hold.
constexpr int64_t kMaxLifetimeSeconds = int64_t{10} * 366 * 24 * 3600;

int64_t saneLifetime(int64_t seconds) { return std::clamp(seconds, -kMaxLifetimeSeconds, kMaxLifetimeSeconds); }

// Dates also come from archives and the keychain: the year 0001 to 9999
// range of the text, and NaN, are handled before the cast, which is
// undefined for values time_t cannot hold.
std::string describeDate(const std::optional<platform::Date>& d) {
  if (!d) return "(null)";
  constexpr double kFirst = -62135596800.0;  // 0001-01-01 00:00:00
  constexpr double kLast = 253402300799.0;   // 9999-12-31 23:59:59
  const double seconds = d->secondsSince1970;
  if (std::isnan(seconds)) return "(invalid)";
  const std::time_t t = static_cast<std::time_t>(std::floor(std::clamp(seconds, kFirst, kLast)));
  std::tm tm{};
  if (!gmtime_r(&t, &tm)) return "(invalid)";
  char buf[64];
  std::strftime(buf, sizeof buf, "%Y-%m-%d %H:%M:%S +0000", &tm);
  return buf;
}

}  // namespace

platform::Date nxoauth2_now() {
  const auto now = std::chrono::system_clock::now().time_since_epoch();
  return platform::Date{std::chrono::duration<double>(now).count()};
}

std::string nxoauth2_bundleIdentifier() {
  std::optional<platform::Value> id = platform::Bundle::mainBundle().objectForInfoDictionaryKey("CFBundleIdentifier");
  if (id && id->isString() && !id->string()->empty()) return *id->string();
  return "org.igroovebix";
}

std::shared_ptr<NXOAuth2AccessToken> NXOAuth2AccessToken::tokenWithResponseBody(std::string_view responseBody) {
  return tokenWithResponseBody(responseBody, std::nullopt);
}

std::shared_ptr<NXOAuth2AccessToken> NXOAuth2AccessToken::tokenWithResponseBody(
    std::string_view responseBody, const std::optional<std::string>& tokenType) {
  jk::JSONDecoder decoder;
  const jk::Value json =
      decoder.objectWithUTF8String(reinterpret_cast<const unsigned char*>(responseBody.data()), responseBody.size());
  if (!json.isDictionary()) return nullptr;

  std::optional<platform::Date> expiresAt;
  const jk::Value expiresIn = json["expires_in"];
  std::optional<int64_t> seconds;
  if (expiresIn.isNumber() || expiresIn.isBoolean())
    seconds = expiresIn.int64Value();
  else if (expiresIn.isString())
    seconds = integerOfText(expiresIn.stringView());
  if (seconds)
    expiresAt = platform::Date{nxoauth2_now().secondsSince1970 + static_cast<double>(saneLifetime(*seconds))};

  std::optional<Scope> scope;
  if (std::optional<std::string> text = stringField(json, "scope")) {
    Scope s;
    std::string word;
    for (char c : *text) {
      if (std::isspace(static_cast<unsigned char>(c))) {
        if (!word.empty()) s.insert(word);
        word.clear();
      } else {
        word.push_back(c);
      }
    }
    if (!word.empty()) s.insert(word);
    scope = std::move(s);
  }
  std::optional<std::string> type = stringField(json, "token_type");
  if (!type) type = tokenType;
  return make(stringField(json, "access_token"), stringField(json, "refresh_token"), expiresAt, scope,
              std::string(responseBody), type);
}

std::shared_ptr<NXOAuth2AccessToken> NXOAuth2AccessToken::make(std::optional<std::string> accessToken,
                                                               std::optional<std::string> refreshToken,
                                                               std::optional<platform::Date> expiresAt,
                                                               std::optional<Scope> scope,
                                                               std::optional<std::string> responseBody,
                                                               std::optional<std::string> tokenType) {
  if (!accessToken) return nullptr;
  std::shared_ptr<NXOAuth2AccessToken> t(new NXOAuth2AccessToken());
  t->accessToken_ = std::move(*accessToken);
  t->refreshToken_ = std::move(refreshToken);
  t->expiresAt_ = expiresAt;
  t->scope_ = scope ? std::move(*scope) : Scope{};
  t->responseBody_ = std::move(responseBody);
  t->tokenType_ = std::move(tokenType);
  return t;
}

std::string NXOAuth2AccessToken::tokenType() const {
  if (!tokenType_ || tokenType_->empty()) return "OAuth";
  if (*tokenType_ == "bearer") return "Bearer";
  return *tokenType_;
}

bool NXOAuth2AccessToken::hasExpired() const {
  return expiresAt_ && expiresAt_->secondsSince1970 < nxoauth2_now().secondsSince1970;
}

void NXOAuth2AccessToken::restoreWithOldToken(const NXOAuth2AccessToken* oldToken) {
  if (!refreshToken_ && oldToken) refreshToken_ = oldToken->refreshToken_;
}

std::string NXOAuth2AccessToken::description() const {
  return "<NXOAuth2Token token:" + redactedSecret(accessToken_) +
         " refreshToken:" + (refreshToken_ ? redactedSecret(*refreshToken_) : std::string("(null)")) +
         " expiresAt:" + describeDate(expiresAt_) + " tokenType: " + tokenType() + ">";
}

platform::Value NXOAuth2AccessToken::archive() const {
  platform::Dictionary d;
  d["accessToken"] = platform::Value(accessToken_);
  if (refreshToken_) d["refreshToken"] = platform::Value(*refreshToken_);
  if (expiresAt_) d["expiresAt"] = platform::Value(*expiresAt_);
  platform::Array scope;
  for (const std::string& s : scope_) scope.push_back(platform::Value(s));
  d["scope"] = platform::Value(std::move(scope));
  if (responseBody_) d["responseBody"] = platform::Value(*responseBody_);
  if (tokenType_) d["tokenType"] = platform::Value(*tokenType_);
  return platform::Value(std::move(d));
}

std::shared_ptr<NXOAuth2AccessToken> NXOAuth2AccessToken::fromArchive(const platform::Value& archive) {
  auto str = [&](const char* key) -> std::optional<std::string> {
    const platform::Value* v = archive.find(key);
    return v && v->isString() ? std::optional<std::string>(*v->string()) : std::nullopt;
  };
  std::optional<platform::Date> expiresAt;
  if (const platform::Value* v = archive.find("expiresAt"); v && v->isDate()) expiresAt = *v->date();
  Scope scope;
  if (const platform::Value* v = archive.find("scope"); v && v->isArray())
    for (const platform::Value& s : *v->array())
      if (s.isString()) scope.insert(*s.string());
  return make(str("accessToken"), str("refreshToken"), expiresAt, scope, str("responseBody"), str("tokenType"));
}

std::string NXOAuth2AccessToken::serviceNameWithProvider(const std::string& provider) {
  return nxoauth2_bundleIdentifier() + "::OAuth2::" + provider;
}

std::shared_ptr<NXOAuth2AccessToken> NXOAuth2AccessToken::tokenFromDefaultKeychainWithServiceProviderName(
    const std::string& provider) {
  std::optional<platform::KeychainItem> item =
      platform::Keychain::defaultKeychain().copyItem(serviceNameWithProvider(provider));
  if (!item) return nullptr;
  std::optional<platform::Value> archive = platform::propertyListFromBytes(item->secret);
  return archive ? fromArchive(*archive) : nullptr;
}

bool NXOAuth2AccessToken::storeInDefaultKeychainWithServiceProviderName(const std::string& provider) const {
  const std::string service = serviceNameWithProvider(provider);
  std::optional<std::vector<uint8_t>> bytes = platform::propertyListToBinary(archive());
  platform::KeychainStatus status = platform::KeychainStatus::IOError;
  if (bytes)
    status = platform::Keychain::defaultKeychain().replaceItems(service, {{service, "", kTokenLabel, {}, *bytes}});
  if (status != platform::KeychainStatus::Success) {
    nxoauth2Log("Could not store the access token of " + provider + " in the keychain: " +
                platform::keychainStatusText(status));
    return false;
  }
  return true;
}

void NXOAuth2AccessToken::removeFromDefaultKeychainWithServiceProviderName(const std::string& provider) {
  platform::Keychain::defaultKeychain().deleteItems(serviceNameWithProvider(provider));
}

}  // namespace nxoauth2
