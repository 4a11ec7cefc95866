#pragma once
// OAuth 2 with one provider on behalf of one account: the authorization
// URL, the redirect, the token endpoint's five grants (authorization code,
// client credentials, password, assertion, refresh token), the current
// token, and the refresh that queues the connections waiting for it.
//
// Token requests go to the token URL with the token-request method ("POST"
// by default, so a multipart body) and their parameters in this order:
//   authorization_code: grant_type, client_id, client_secret, redirect_uri,
//                       code[, code_verifier], then the additional parameters
//   client_credentials: grant_type, client_id, client_secret
//   password:           grant_type, client_id, client_secret, username,
//                       password, then the additional parameters
//   assertion:          grant_type, client_id, client_secret, assertion_type,
//                       assertion
//   refresh_token:      grant_type, client_id, client_secret, refresh_token
// and "scope" (the desired scope joined by blanks) whenever one is set.
//
// The web sign-in is protected against forged redirects: each authorization
// URL carries a fresh random "state" and a PKCE challenge (S256), and a
// redirect is only taken when its "state" is the one this client issued;
// the code exchange then sends the matching "code_verifier".
//
// A refresh failing with a 5xx is tried again 1.0 s later, up to four times;
// any other failure, or the fifth 5xx, fails every waiting connection with
// NXOAuth2ErrorDomain -2001. A 401 from the token endpoint drops the token.
//
// Main thread only; the retry timer runs on the main run loop. The delegate
// is not owned: it must outlive the client or be replaced first.

#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "oauth2/nxoauth2_access_token.h"
#include "oauth2/nxoauth2_connection.h"
#include "oauth2/nxoauth2_parameters.h"
#include "platform/net/error.h"
#include "platform/net/url.h"

namespace platform {
class Timer;
}

namespace nxoauth2 {

class NXOAuth2Client;

class NXOAuth2ClientDelegate {
 public:
  virtual ~NXOAuth2ClientDelegate() = default;
  virtual void oauthClientNeedsAuthentication(NXOAuth2Client& client) = 0;
  virtual void oauthClientDidGetAccessToken(NXOAuth2Client& client);
  virtual void oauthClientDidLoseAccessToken(NXOAuth2Client& client);
  virtual void oauthClientDidRefreshAccessToken(NXOAuth2Client& client);
  virtual void oauthClientDidFailToGetAccessTokenWithError(NXOAuth2Client& client, const platform::Error& error);
};

// The error of a code, with its English description.
platform::Error nxoauth2_error(int64_t code);

// The PKCE challenge of a verifier by the S256 method (RFC 7636 4.2):
// BASE64URL(SHA256(verifier)) without padding.
std::string nxoauth2_pkceS256Challenge(std::string_view verifier);

class NXOAuth2Client : public NXOAuth2ConnectionDelegate, public std::enable_shared_from_this<NXOAuth2Client> {
 public:
  static std::shared_ptr<NXOAuth2Client> make(std::string clientID, std::string clientSecret, platform::URL authorizeURL,
                                              platform::URL tokenURL, std::shared_ptr<NXOAuth2AccessToken> accessToken,
                                              std::optional<std::string> tokenType,
                                              std::optional<std::string> keyChainGroup, bool persistent,
                                              NXOAuth2ClientDelegate* delegate);
  static std::shared_ptr<NXOAuth2Client> make(std::string clientID, std::string clientSecret, platform::URL authorizeURL,
                                              platform::URL tokenURL, std::shared_ptr<NXOAuth2AccessToken> accessToken,
                                              std::optional<std::string> keyChainGroup, bool persistent,
                                              NXOAuth2ClientDelegate* delegate);
  // No token, no keychain group, persistent.
  static std::shared_ptr<NXOAuth2Client> make(std::string clientID, std::string clientSecret, platform::URL authorizeURL,
                                              platform::URL tokenURL, NXOAuth2ClientDelegate* delegate);
  ~NXOAuth2Client() override;
  NXOAuth2Client(const NXOAuth2Client&) = delete;
  NXOAuth2Client& operator=(const NXOAuth2Client&) = delete;

  const std::string& clientId() const { return clientId_; }
  const std::string& clientSecret() const { return clientSecret_; }
  const platform::URL& authorizeURL() const { return authorizeURL_; }
  const platform::URL& tokenURL() const { return tokenURL_; }
  const std::optional<std::string>& tokenType() const { return tokenType_; }
  const std::optional<std::string>& keyChainGroup() const { return keyChainGroup_; }
  // The keychain provider name: the keychain group, else the token URL's host.
  std::string providerName() const;

  const std::set<std::string>& desiredScope() const { return desiredScope_; }
  void setDesiredScope(std::set<std::string> scope) { desiredScope_ = std::move(scope); }
  const std::optional<std::string>& userAgent() const { return userAgent_; }
  void setUserAgent(std::optional<std::string> userAgent) { userAgent_ = std::move(userAgent); }
  const std::string& tokenRequestHTTPMethod() const { return tokenRequestHTTPMethod_; }
  void setTokenRequestHTTPMethod(std::string method) { tokenRequestHTTPMethod_ = std::move(method); }
  const std::optional<std::string>& acceptType() const { return acceptType_; }
  void setAcceptType(std::optional<std::string> type) { acceptType_ = std::move(type); }
  const NXOAuth2Parameters& additionalAuthenticationParameters() const { return additionalAuthenticationParameters_; }
  // Throws std::invalid_argument "'<key>' is not allowed as a key for
  // additionalAuthenticationParameters" for any of grant_type, client_id,
  // client_secret, username, password, redirect_uri, code, assertion_type,
  // assertion.
  void setAdditionalAuthenticationParameters(NXOAuth2Parameters parameters);
  NXOAuth2ClientDelegate* delegate() const { return delegate_; }
  void setDelegate(NXOAuth2ClientDelegate* delegate) { delegate_ = delegate; }

  // The token in memory; when there is none and the client is persistent,
  // the one in the keychain (then the delegate hears it was got).
  std::shared_ptr<NXOAuth2AccessToken> accessToken();
  // The token in memory only.
  const std::shared_ptr<NXOAuth2AccessToken>& currentAccessToken() const { return accessToken_; }
  void setAccessToken(std::shared_ptr<NXOAuth2AccessToken> token);
  bool isPersistent() const { return persistent_; }
  void setPersistent(bool persistent);
  bool isAuthenticating() const { return authenticating_; }
  void setAuthenticating(bool authenticating) { authenticating_ = authenticating; }

  // Asks the delegate to authenticate when there is no token.
  void requestAccess();
  platform::URL authorizationURLWithRedirectURL(const platform::URL& redirectURL);
  // True when the URL carried an authorization code for the state this
  // client issued (the token request has then started).
  bool openRedirectURL(const platform::URL& url);

  void requestTokenWithAuthGrant(const std::string& authGrant, const platform::URL& redirectURL);
  void authenticateWithClientCredentials();
  void authenticateWithUsername(const std::string& username, const std::string& password);
  void authenticateWithAssertionType(const platform::URL& assertionType, const std::string& assertion);

  void refreshAccessToken();
  void refreshAccessTokenAndRetryConnection(const std::shared_ptr<NXOAuth2Connection>& retryConnection);
  void removeConnectionFromWaitingQueue(const NXOAuth2Connection* connection);

  // State for tests and the store.
  const std::shared_ptr<NXOAuth2Connection>& authConnection() const { return authConnection_; }
  size_t waitingConnectionCount() const { return waitingConnections_.size(); }
  int64_t refreshConnectionDidRetryCount() const { return refreshConnectionDidRetryCount_; }

  // NXOAuth2ConnectionDelegate: replies of its own token requests.
  void oauthConnectionDidFinishWithData(NXOAuth2Connection& connection, const platform::Data& data) override;
  void oauthConnectionDidFailWithError(NXOAuth2Connection& connection, const platform::Error& error) override;

 private:
  NXOAuth2Client() = default;
  void startTokenRequest(NXOAuth2Parameters parameters, const char* context);
  void addScope(NXOAuth2Parameters& parameters) const;
  void failRefresh(const platform::Error& error);

  std::string clientId_;
  std::string clientSecret_;
  platform::URL authorizeURL_;
  platform::URL tokenURL_;
  std::optional<std::string> tokenType_;
  std::optional<std::string> keyChainGroup_;
  std::set<std::string> desiredScope_;
  std::optional<std::string> userAgent_;
  std::string tokenRequestHTTPMethod_ = "POST";
  std::optional<std::string> acceptType_ = std::string("application/json");
  NXOAuth2Parameters additionalAuthenticationParameters_;
  std::shared_ptr<NXOAuth2AccessToken> accessToken_;
  bool persistent_ = false;
  bool authenticating_ = false;
  std::shared_ptr<NXOAuth2Connection> authConnection_;
  std::vector<std::shared_ptr<NXOAuth2Connection>> waitingConnections_;
  int64_t refreshConnectionDidRetryCount_ = 0;
  std::shared_ptr<platform::Timer> refreshRetryTimer_;
  NXOAuth2ClientDelegate* delegate_ = nullptr;
  // The web sign-in this client started: its state and PKCE verifier.
  std::optional<std::string> authorizationState_;
  std::optional<std::string> codeVerifier_;
};

}  // namespace nxoauth2
