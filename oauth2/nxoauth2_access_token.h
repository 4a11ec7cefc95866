#pragma once
// One OAuth 2 access token as a token endpoint returned it: the credential,
// its refresh token, type, expiry and scope, and the reply it came from.
// It answers what the authorization header needs, knows when it expires,
// archives itself under fixed keys, and can keep itself in the keychain
// (one item per provider) for a client that keeps its own token.
//
// Archive: a dictionary with "accessToken", "refreshToken", "expiresAt" (a
// date), "scope" (an array), "responseBody", and "tokenType" only when a
// type is stored; absent values are absent keys. In the keychain the
// archive is the item's secret data (a binary property list), never an
// attribute. Texts for people never show the token or the refresh token.
//
// Immutable after creation except the refresh token (restoreWithOldToken).
// Not thread-safe for that one change; the rest may be read anywhere.

#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>

#include "platform/foundation/value.h"

namespace nxoauth2 {

class NXOAuth2AccessToken {
 public:
  using Scope = std::set<std::string>;

  static std::shared_ptr<NXOAuth2AccessToken> tokenWithResponseBody(std::string_view responseBody);
  // nullptr when the reply is not a JSON object or has no "access_token"
  // string. Fields of another JSON type than expected count as absent, as
  // does a JSON null.
  static std::shared_ptr<NXOAuth2AccessToken> tokenWithResponseBody(std::string_view responseBody,
                                                                    const std::optional<std::string>& tokenType);

  // The constructors: nullptr when the access token is absent; a missing
  // scope is the empty set.
  static std::shared_ptr<NXOAuth2AccessToken> make(std::optional<std::string> accessToken,
                                                   std::optional<std::string> refreshToken = std::nullopt,
                                                   std::optional<platform::Date> expiresAt = std::nullopt,
                                                   std::optional<Scope> scope = std::nullopt,
                                                   std::optional<std::string> responseBody = std::nullopt,
                                                   std::optional<std::string> tokenType = std::nullopt);

  const std::string& accessToken() const { return accessToken_; }
  const std::optional<std::string>& refreshToken() const { return refreshToken_; }
  // "OAuth" for no type or "", "Bearer" for exactly "bearer", else as stored.
  std::string tokenType() const;
  const std::optional<std::string>& storedTokenType() const { return tokenType_; }
  const std::optional<platform::Date>& expiresAt() const { return expiresAt_; }
  const Scope& scope() const { return scope_; }
  const std::optional<std::string>& responseBody() const { return responseBody_; }

  bool doesExpire() const { return expiresAt_.has_value(); }
  // Strictly before now; no margin.
  bool hasExpired() const;

  // Takes the old token's refresh token when this one has none.
  void restoreWithOldToken(const NXOAuth2AccessToken* oldToken);

  // "<NXOAuth2Token token:... refreshToken:... expiresAt:... tokenType: ...>"
  // with both credentials redacted.
  std::string description() const;

  platform::Value archive() const;
  // nullptr when "accessToken" is absent (or not a string).
  static std::shared_ptr<NXOAuth2AccessToken> fromArchive(const platform::Value& archive);

  // "<bundle identifier>::OAuth2::<provider>".
  static std::string serviceNameWithProvider(const std::string& provider);
  // nullptr when there is no readable item.
  static std::shared_ptr<NXOAuth2AccessToken> tokenFromDefaultKeychainWithServiceProviderName(const std::string& provider);
  // Replaces the provider's item in one atomic step; false when the write
  // failed (the old item is then still there).
  bool storeInDefaultKeychainWithServiceProviderName(const std::string& provider) const;
  static void removeFromDefaultKeychainWithServiceProviderName(const std::string& provider);

 private:
  NXOAuth2AccessToken() = default;

  std::string accessToken_;
  std::optional<std::string> refreshToken_;
  std::optional<std::string> tokenType_;
  std::optional<platform::Date> expiresAt_;
  Scope scope_;
  std::optional<std::string> responseBody_;
};

// The current wall-clock time as a date.
platform::Date nxoauth2_now();
// The main bundle's identifier ("CFBundleIdentifier"), "org.igroovebix"
// when the bundle names none.
std::string nxoauth2_bundleIdentifier();

}  // namespace nxoauth2
