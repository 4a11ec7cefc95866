#pragma once
// One signed-in identity: an identifier (a new UUID), its account type, its
// token, free user data, and a client made on first use from the shared
// store's configuration of its type, to sign its requests.
//
// Archive: "identifier", "accountType", "accessToken" (the token's archive)
// and "userData" (absent when there is none). The client is not archived.
// User data must be representable in a property list (no null inside);
// anything else is refused and logged, so the store's keychain item can
// always be written.
//
// Notifications (object: the account, a std::shared_ptr<NXOAuth2Account>):
// user data changed; token got or refreshed; token lost; token request
// failed (user info "NXOAuth2AccountStoreErrorKey": the error as a value).
//
// Main thread, like the client it holds.

#include <memory>
#include <string>

#include "oauth2/nxoauth2_access_token.h"
#include "oauth2/nxoauth2_client.h"
#include "oauth2/nxoauth2_connection.h"
#include "platform/foundation/value.h"

namespace nxoauth2 {

class NXOAuth2Account : public NXOAuth2ClientDelegate,
                        public NXOAuth2TrustDelegate,
                        public std::enable_shared_from_this<NXOAuth2Account> {
 public:
  // An account with the client's current token; it holds the client and
  // becomes its delegate.
  static std::shared_ptr<NXOAuth2Account> initAccountWithOAuthClient(std::shared_ptr<NXOAuth2Client> client,
                                                                     std::string accountType);
  static std::shared_ptr<NXOAuth2Account> initAccountWithAccessToken(std::shared_ptr<NXOAuth2AccessToken> token,
                                                                     std::string accountType);
  ~NXOAuth2Account() override;

  const std::string& accountType() const { return accountType_; }
  const std::string& identifier() const { return identifier_; }
  const std::shared_ptr<NXOAuth2AccessToken>& accessToken() const { return accessToken_; }
  // Null when there is none.
  const platform::Value& userData() const { return userData_; }
  void setUserData(platform::Value userData);
  // Made on first use; nullptr while the store has no configuration for the
  // account's type.
  std::shared_ptr<NXOAuth2Client> oauthClient();

  // "<NXOAuth2Account identifier:'...' accountType:'...' accessToken:...
  // userData:...>", the token redacted.
  std::string description() const;

  platform::Value archive() const;
  // nullptr for an archive without identifier, type or token.
  static std::shared_ptr<NXOAuth2Account> fromArchive(const platform::Value& archive);

  // NXOAuth2ClientDelegate
  void oauthClientNeedsAuthentication(NXOAuth2Client& client) override;
  void oauthClientDidGetAccessToken(NXOAuth2Client& client) override;
  void oauthClientDidLoseAccessToken(NXOAuth2Client& client) override;
  void oauthClientDidRefreshAccessToken(NXOAuth2Client& client) override;
  void oauthClientDidFailToGetAccessTokenWithError(NXOAuth2Client& client, const platform::Error& error) override;
  // NXOAuth2TrustDelegate: the store's handlers of the account's type.
  std::optional<NXOAuth2TrustMode> connectionTrustModeForHostname(NXOAuth2Connection& connection,
                                                                  const std::string& hostname) override;
  std::optional<std::vector<platform::Data>> connectionTrustedCertificatesForHostname(
      NXOAuth2Connection& connection, const std::string& hostname) override;

 private:
  NXOAuth2Account() = default;
  void post(const char* name, platform::Dictionary userInfo = {});

  std::string accountType_;
  std::string identifier_;
  std::shared_ptr<NXOAuth2AccessToken> accessToken_;
  platform::Value userData_;
  std::shared_ptr<NXOAuth2Client> oauthClient_;
};

// Whether a value can be written as a property list (no null anywhere).
bool nxoauth2_isArchivable(const platform::Value& value);

}  // namespace nxoauth2
