#pragma once
// The process-wide registry of signed-in accounts: one configuration per
// account type, one pending sign-in client per type, the accounts, and the
// trust handlers per type. A pending client that gets a token becomes an
// account; every change of the accounts rewrites the store's keychain item
// ("<bundle id>::NXOAuth2AccountStore", label "OAuth 2 Account Store"),
// whose secret data is the archive of all accounts (identifier → account).
// The write replaces the item atomically: when it fails the old item stays,
// the failure is logged and lastKeychainStatus() tells it.
//
// Redirects are matched against the configured redirect URLs by scheme and
// host (without regard to case), port and path (exactly); a URL that only
// starts like the redirect URL is not taken. A match goes to the type's
// pending client, which takes it only for the sign-in it started (see
// NXOAuth2Client: "state").
//
// Notifications (object: the store, NXOAuth2AccountStore*): accounts changed
// (on adding, with "NXOAuth2AccountStoreNewAccountUserInfoKey" = the new
// account's identifier; on removing, with none); a sign-in failed
// ("kNXOAuth2AccountStoreAccountType" and "NXOAuth2AccountStoreErrorKey",
// the error as platform::Error::toValue()).
//
// Each dictionary has its own lock; the pending clients' lock is taken
// before the configurations' lock, never the other way; the accounts' lock
// covers the keychain rewrite. No lock is held while a notification is
// posted or a client is called. Sign-in, callbacks and notifications run on
// the main thread.

#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "oauth2/nxoauth2_account.h"
#include "oauth2/nxoauth2_client.h"
#include "oauth2/nxoauth2_connection.h"
#include "platform/foundation/value.h"
#include "platform/keychain/keychain.h"

namespace nxoauth2 {

class NXOAuth2AccountStore : public NXOAuth2ClientDelegate, public NXOAuth2TrustDelegate {
 public:
  using TrustModeHandler = std::function<NXOAuth2TrustMode(NXOAuth2Connection& connection, const std::string& hostname)>;
  using TrustedCertificatesHandler = std::function<std::vector<platform::Data>(const std::string& hostname)>;
  using PreparedAuthorizationURLHandler = std::function<void(const platform::URL& preparedURL)>;
  // Opens a URL in the system's browser; answers whether it could.
  using OpenURLHandler = std::function<bool(const platform::URL& url)>;

  static NXOAuth2AccountStore& sharedStore();
  // Replaces the shared store by a new one built from the keychain, as a
  // restart would (tests). References to the old store must be dropped.
  static void resetSharedStoreForTesting();
  ~NXOAuth2AccountStore() override;

  std::vector<std::shared_ptr<NXOAuth2Account>> accounts() const;
  std::vector<std::shared_ptr<NXOAuth2Account>> accountsWithAccountType(const std::string& accountType) const;
  std::shared_ptr<NXOAuth2Account> accountWithIdentifier(const std::string& identifier) const;

  // Sign-in requests on the type's pending client. Without a usable
  // configuration they fail at once with NXOAuth2ErrorDomain -2003 (the
  // failure notification).
  void requestAccessToAccountWithType(const std::string& accountType);
  void requestAccessToAccountWithType(const std::string& accountType, const PreparedAuthorizationURLHandler& handler);
  void requestAccessToAccountWithType(const std::string& accountType, const std::string& username,
                                      const std::string& password);
  void requestAccessToAccountWithType(const std::string& accountType, const platform::URL& assertionType,
                                      const std::string& assertion);
  void requestClientCredentialsAccessWithType(const std::string& accountType);

  void removeAccount(const std::shared_ptr<NXOAuth2Account>& account);

  void setConfiguration(platform::Dictionary configuration, const std::string& accountType);
  // Empty when the type has none.
  platform::Dictionary configurationForAccountType(const std::string& accountType) const;
  // These build the configuration from their arguments; the client id and
  // the URLs are required (std::invalid_argument when empty).
  void setClientID(const std::string& clientID, const std::string& secret, const platform::URL& authorizationURL,
                   const platform::URL& tokenURL, const platform::URL& redirectURL, const std::string& accountType);
  void setClientID(const std::string& clientID, const std::string& secret, const std::set<std::string>& scope,
                   const platform::URL& authorizationURL, const platform::URL& tokenURL,
                   const platform::URL& redirectURL, const std::optional<std::string>& keyChainGroup,
                   const std::string& accountType);
  void setClientID(const std::string& clientID, const std::string& secret, const std::set<std::string>& scope,
                   const platform::URL& authorizationURL, const platform::URL& tokenURL,
                   const platform::URL& redirectURL, const std::optional<std::string>& keyChainGroup,
                   const std::optional<std::string>& tokenType, const std::string& accountType);

  void setTrustModeHandlerForAccountType(const std::string& accountType, TrustModeHandler handler);
  void setTrustedCertificatesHandlerForAccountType(const std::string& accountType, TrustedCertificatesHandler handler);
  TrustModeHandler trustModeHandlerForAccountType(const std::string& accountType) const;
  TrustedCertificatesHandler trustedCertificatesHandlerForAccountType(const std::string& accountType) const;

  // True when a pending client took the URL.
  bool handleRedirectURL(const platform::URL& url);

  // How requestAccessToAccountWithType(type) opens the authorization URL
  // (xdg-open when none is set).
  void setOpenURLHandler(OpenURLHandler handler);

  // The result of the last keychain write.
  platform::KeychainStatus lastKeychainStatus() const;

  static std::string keychainServiceName();
  static std::optional<std::map<std::string, std::shared_ptr<NXOAuth2Account>>> accountsFromDefaultKeychain();
  static platform::KeychainStatus storeAccountsInDefaultKeychain(
      const std::map<std::string, std::shared_ptr<NXOAuth2Account>>& accounts);
  static void removeFromDefaultKeychain();

  // NXOAuth2ClientDelegate: the pending clients' events.
  void oauthClientNeedsAuthentication(NXOAuth2Client& client) override;
  void oauthClientDidGetAccessToken(NXOAuth2Client& client) override;
  void oauthClientDidLoseAccessToken(NXOAuth2Client& client) override;
  void oauthClientDidRefreshAccessToken(NXOAuth2Client& client) override;
  void oauthClientDidFailToGetAccessTokenWithError(NXOAuth2Client& client, const platform::Error& error) override;
  // NXOAuth2TrustDelegate: the pending clients' connections.
  std::optional<NXOAuth2TrustMode> connectionTrustModeForHostname(NXOAuth2Connection& connection,
                                                                  const std::string& hostname) override;
  std::optional<std::vector<platform::Data>> connectionTrustedCertificatesForHostname(
      NXOAuth2Connection& connection, const std::string& hostname) override;

 private:
  NXOAuth2AccountStore();

  std::shared_ptr<NXOAuth2Client> pendingOAuthClientForAccountType(const std::string& accountType);
  std::optional<std::string> accountTypeOfPendingOAuthClient(const NXOAuth2Client* client) const;
  void removePendingOAuthClient(const NXOAuth2Client* client);
  void failMissingConfiguration(const std::string& accountType);
  void rewriteKeychainLocked();
  void postFailure(const std::string& accountType, const platform::Error& error);

  mutable std::mutex pendingMutex_;
  mutable std::mutex accountsMutex_;
  mutable std::mutex configurationsMutex_;
  mutable std::mutex trustModeMutex_;
  mutable std::mutex trustedCertificatesMutex_;
  std::map<std::string, std::shared_ptr<NXOAuth2Client>> pendingOAuthClients_;
  std::map<std::string, std::shared_ptr<NXOAuth2Account>> accountsDict_;
  std::map<std::string, platform::Dictionary> configurations_;
  std::map<std::string, TrustModeHandler> trustModeHandler_;
  std::map<std::string, TrustedCertificatesHandler> trustedCertificatesHandler_;
  OpenURLHandler openURL_;
  platform::KeychainStatus lastKeychainStatus_ = platform::KeychainStatus::Success;
};

}  // namespace nxoauth2
