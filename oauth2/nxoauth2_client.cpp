#include "oauth2/nxoauth2_client.h"

#include <openssl/sha.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <stdexcept>

#include "oauth2/nxoauth2_log.h"
#include "oauth2/nxoauth2_url_encoding.h"
#include "platform/runloop/run_loop.h"

namespace nxoauth2 {

void NXOAuth2ClientDelegate::oauthClientDidGetAccessToken(NXOAuth2Client&) {}
void NXOAuth2ClientDelegate::oauthClientDidLoseAccessToken(NXOAuth2Client&) {}
void NXOAuth2ClientDelegate::oauthClientDidRefreshAccessToken(NXOAuth2Client&) {}
void NXOAuth2ClientDelegate::oauthClientDidFailToGetAccessTokenWithError(NXOAuth2Client&, const platform::Error&) {}

namespace {

constexpr const char* kTokenRequest = "tokenRequest";
constexpr const char* kTokenRefresh = "tokenRefresh";

struct ServerError {
  const char* name;
  int64_t code;
};
constexpr ServerError kServerErrors[] = {
    {"invalid_request", NXOAuth2InvalidRequestErrorCode},
    {"invalid_client", NXOAuth2InvalidClientErrorCode},
    {"unauthorized_client", NXOAuth2UnauthorizedClientErrorCode},
    {"redirect_uri_mismatch", NXOAuth2RedirectURIMismatchErrorCode},
    {"access_denied", NXOAuth2AccessDeniedErrorCode},
    {"unsupported_response_type", NXOAuth2UnsupportedResponseTypeErrorCode},
    {"invalid_scope", NXOAuth2InvalidScopeErrorCode},
};

std::string randomToken(size_t bytes) {
  std::vector<uint8_t> b(bytes);
  nxoauth2_randomBytes(b);
  return nxoauth2_base64URLEncoded(b);
}

bool isContext(const NXOAuth2Connection& c, const char* name) {
  const std::string* s = std::any_cast<std::string>(&c.context());
  return s && *s == name;
}

}  // namespace

std::string nxoauth2_pkceS256Challenge(std::string_view verifier) {
  std::array<uint8_t, SHA256_DIGEST_LENGTH> digest;
  SHA256(reinterpret_cast<const unsigned char*>(verifier.data()), verifier.size(), digest.data());
  return nxoauth2_base64URLEncoded(digest);
}

platform::Error nxoauth2_error(int64_t code) {
  const char* text = "";
  switch (code) {
    case NXOAuth2InvalidRequestErrorCode: text = "Invalid request to OAuth2 Server"; break;
    case NXOAuth2InvalidClientErrorCode: text = "Invalid OAuth2 Client"; break;
    case NXOAuth2UnauthorizedClientErrorCode: text = "Unauthorized Client"; break;
    case NXOAuth2RedirectURIMismatchErrorCode: text = "Redirect URI mismatch"; break;
    case NXOAuth2AccessDeniedErrorCode: text = "Access denied"; break;
    case NXOAuth2UnsupportedResponseTypeErrorCode: text = "Unsupported response type"; break;
    case NXOAuth2InvalidScopeErrorCode: text = "Invalid scope"; break;
    case NXOAuth2CouldNotRefreshTokenErrorCode: text = "Access token could not be refreshed"; break;
    case NXOAuth2NoAccessTokenErrorCode: text = "The token endpoint's reply carried no access token"; break;
    case NXOAuth2MissingConfigurationErrorCode: text = "The account type is not configured"; break;
    default: break;
  }
  return platform::Error::make(NXOAuth2ErrorDomain, code, text);
}

std::shared_ptr<NXOAuth2Client> NXOAuth2Client::make(std::string clientID, std::string clientSecret,
                                                     platform::URL authorizeURL, platform::URL tokenURL,
                                                     std::shared_ptr<NXOAuth2AccessToken> accessToken,
                                                     std::optional<std::string> tokenType,
                                                     std::optional<std::string> keyChainGroup, bool persistent,
                                                     NXOAuth2ClientDelegate* delegate) {
  std::shared_ptr<NXOAuth2Client> c(new NXOAuth2Client());
  c->clientId_ = std::move(clientID);
  c->clientSecret_ = std::move(clientSecret);
  c->authorizeURL_ = std::move(authorizeURL);
  c->tokenURL_ = std::move(tokenURL);
  c->tokenType_ = std::move(tokenType);
  c->accessToken_ = std::move(accessToken);
  c->keyChainGroup_ = std::move(keyChainGroup);
  c->setPersistent(persistent);
  c->delegate_ = delegate;
  return c;
}

std::shared_ptr<NXOAuth2Client> NXOAuth2Client::make(std::string clientID, std::string clientSecret,
                                                     platform::URL authorizeURL, platform::URL tokenURL,
                                                     std::shared_ptr<NXOAuth2AccessToken> accessToken,
                                                     std::optional<std::string> keyChainGroup, bool persistent,
                                                     NXOAuth2ClientDelegate* delegate) {
  return make(std::move(clientID), std::move(clientSecret), std::move(authorizeURL), std::move(tokenURL),
              std::move(accessToken), std::nullopt, std::move(keyChainGroup), persistent, delegate);
}

std::shared_ptr<NXOAuth2Client> NXOAuth2Client::make(std::string clientID, std::string clientSecret,
                                                     platform::URL authorizeURL, platform::URL tokenURL,
                                                     NXOAuth2ClientDelegate* delegate) {
  return make(std::move(clientID), std::move(clientSecret), std::move(authorizeURL), std::move(tokenURL), nullptr,
              std::nullopt, std::nullopt, true, delegate);
}

NXOAuth2Client::~NXOAuth2Client() {
  if (refreshRetryTimer_) refreshRetryTimer_->invalidate();
  if (authConnection_) {
    authConnection_->setDelegate(nullptr);
    authConnection_->cancel();
  }
}

std::string NXOAuth2Client::providerName() const { return keyChainGroup_ ? *keyChainGroup_ : tokenURL_.host(); }

void NXOAuth2Client::setAdditionalAuthenticationParameters(NXOAuth2Parameters parameters) {
  static const char* reserved[] = {"grant_type", "client_id",    "client_secret", "username", "password",
                                   "redirect_uri", "code", "assertion_type", "assertion"};
  for (const auto& [key, value] : parameters)
    for (const char* r : reserved)
      if (key == r) throw std::invalid_argument("'" + key + "' is not allowed as a key for additionalAuthenticationParameters");
  additionalAuthenticationParameters_ = std::move(parameters);
}

std::shared_ptr<NXOAuth2AccessToken> NXOAuth2Client::accessToken() {
  if (accessToken_ || !persistent_) return accessToken_;
  auto self = shared_from_this();
  accessToken_ = NXOAuth2AccessToken::tokenFromDefaultKeychainWithServiceProviderName(providerName());
  if (accessToken_ && delegate_) delegate_->oauthClientDidGetAccessToken(*this);
  return accessToken_;
}

void NXOAuth2Client::setAccessToken(std::shared_ptr<NXOAuth2AccessToken> token) {
  if (token == accessToken_) return;
  auto self = weak_from_this().lock();
  const bool hadToken = accessToken_ != nullptr;
  if (!token) NXOAuth2AccessToken::removeFromDefaultKeychainWithServiceProviderName(providerName());
  accessToken_ = token;
  if (persistent_ && token) token->storeInDefaultKeychainWithServiceProviderName(providerName());
  if (!delegate_) return;
  if (!token)
    delegate_->oauthClientDidLoseAccessToken(*this);
  else if (hadToken)
    delegate_->oauthClientDidRefreshAccessToken(*this);
  else
    delegate_->oauthClientDidGetAccessToken(*this);
}

void NXOAuth2Client::setPersistent(bool persistent) {
  if (persistent == persistent_) return;
  persistent_ = persistent;
  if (!accessToken_) return;
  if (persistent)
    accessToken_->storeInDefaultKeychainWithServiceProviderName(providerName());
  else
    NXOAuth2AccessToken::removeFromDefaultKeychainWithServiceProviderName(providerName());
}

void NXOAuth2Client::requestAccess() {
  auto self = shared_from_this();
  if (!accessToken() && delegate_) delegate_->oauthClientNeedsAuthentication(*this);
}

void NXOAuth2Client::addScope(NXOAuth2Parameters& parameters) const {
  if (desiredScope_.empty()) return;
  std::string joined;
  for (const std::string& s : desiredScope_) joined += (joined.empty() ? "" : " ") + s;
  parameters.set("scope", joined);
}

platform::URL NXOAuth2Client::authorizationURLWithRedirectURL(const platform::URL& redirectURL) {
  NXOAuth2Parameters parameters{{"response_type", "code"},
                                {"client_id", clientId_},
                                {"redirect_uri", redirectURL.absoluteString()}};
  parameters.merge(additionalAuthenticationParameters_);
  addScope(parameters);
  authorizationState_ = randomToken(16);
  codeVerifier_ = randomToken(32);
  parameters.set("state", *authorizationState_);
  parameters.set("code_challenge", nxoauth2_pkceS256Challenge(*codeVerifier_));
  parameters.set("code_challenge_method", "S256");
  return nxoauth2_URLByAddingParameters(authorizeURL_, parameters);
}

bool NXOAuth2Client::openRedirectURL(const platform::URL& url) {
  auto self = shared_from_this();
  const std::optional<std::string> code = nxoauth2_valueForQueryParameterKey(url, "code");
  const std::optional<std::string> errorName = nxoauth2_valueForQueryParameterKey(url, "error");
  if (!code && !errorName) return false;
  // Only the answer to a sign-in this client started counts; anything else
  // could be a page signing the user in to someone else's account.
  const std::optional<std::string> state = nxoauth2_valueForQueryParameterKey(url, "state");
  if (!authorizationState_ || state != authorizationState_) {
    nxoauth2Log("Ignoring an OAuth2 redirect whose state does not belong to a sign-in of this client.");
    return false;
  }
  if (code) {
    authorizationState_.reset();
    requestTokenWithAuthGrant(*code, nxoauth2_URLWithoutQueryString(url));
    return true;
  }
  std::string lower = *errorName;
  std::transform(lower.begin(), lower.end(), lower.begin(), [](unsigned char c) { return std::tolower(c); });
  for (const ServerError& e : kServerErrors) {
    if (lower == e.name) {
      authorizationState_.reset();
      codeVerifier_.reset();
      if (delegate_) delegate_->oauthClientDidFailToGetAccessTokenWithError(*this, nxoauth2_error(e.code));
      break;
    }
  }
  return false;
}

void NXOAuth2Client::startTokenRequest(NXOAuth2Parameters parameters, const char* context) {
  auto self = shared_from_this();
  platform::URLRequest request(tokenURL_);
  request.httpMethod = tokenRequestHTTPMethod_;
  if (authConnection_) {
    std::shared_ptr<NXOAuth2Connection> old = std::move(authConnection_);
    old->setDelegate(nullptr);
    old->cancel();
  }
  if (refreshRetryTimer_) {
    refreshRetryTimer_->invalidate();
    refreshRetryTimer_.reset();
  }
  authConnection_ = NXOAuth2Connection::makeTokenRequest(std::move(request), std::move(parameters), self, this, context);
}

void NXOAuth2Client::requestTokenWithAuthGrant(const std::string& authGrant, const platform::URL& redirectURL) {
  NXOAuth2Parameters parameters{{"grant_type", "authorization_code"},
                                {"client_id", clientId_},
                                {"client_secret", clientSecret_},
                                {"redirect_uri", redirectURL.absoluteString()},
                                {"code", authGrant}};
  if (codeVerifier_) parameters.set("code_verifier", *codeVerifier_);
  codeVerifier_.reset();
  addScope(parameters);
  parameters.merge(additionalAuthenticationParameters_);
  authenticating_ = true;
  startTokenRequest(std::move(parameters), kTokenRequest);
}

void NXOAuth2Client::authenticateWithClientCredentials() {
  NXOAuth2Parameters parameters{
      {"grant_type", "client_credentials"}, {"client_id", clientId_}, {"client_secret", clientSecret_}};
  addScope(parameters);
  authenticating_ = true;
  startTokenRequest(std::move(parameters), kTokenRequest);
}

void NXOAuth2Client::authenticateWithUsername(const std::string& username, const std::string& password) {
  NXOAuth2Parameters parameters{{"grant_type", "password"},
                                {"client_id", clientId_},
                                {"client_secret", clientSecret_},
                                {"username", username},
                                {"password", password}};
  addScope(parameters);
  parameters.merge(additionalAuthenticationParameters_);
  authenticating_ = true;
  startTokenRequest(std::move(parameters), kTokenRequest);
}

void NXOAuth2Client::authenticateWithAssertionType(const platform::URL& assertionType, const std::string& assertion) {
  NXOAuth2Parameters parameters{{"grant_type", "assertion"},
                                {"client_id", clientId_},
                                {"client_secret", clientSecret_},
                                {"assertion_type", assertionType.absoluteString()},
                                {"assertion", assertion}};
  addScope(parameters);
  authenticating_ = true;
  startTokenRequest(std::move(parameters), kTokenRequest);
}

void NXOAuth2Client::refreshAccessToken() { refreshAccessTokenAndRetryConnection(nullptr); }

void NXOAuth2Client::refreshAccessTokenAndRetryConnection(const std::shared_ptr<NXOAuth2Connection>& retryConnection) {
  auto self = shared_from_this();
  if (retryConnection &&
      std::find(waitingConnections_.begin(), waitingConnections_.end(), retryConnection) == waitingConnections_.end())
    waitingConnections_.push_back(retryConnection);
  // A token request under way, or a refresh retry that is due, answers
  // every waiting connection at once.
  const bool retryPending = refreshRetryTimer_ && refreshRetryTimer_->isValid();
  if (authConnection_ || (retryPending && retryConnection)) return;
  if (!accessToken_ || !accessToken_->refreshToken()) {
    // Nothing to refresh with: a request without its refresh_token would
    // only be refused.
    const platform::Error error = nxoauth2_error(NXOAuth2CouldNotRefreshTokenErrorCode);
    failRefresh(error);
    if (delegate_) delegate_->oauthClientDidFailToGetAccessTokenWithError(*this, error);
    return;
  }
  NXOAuth2Parameters parameters{{"grant_type", "refresh_token"},
                                {"client_id", clientId_},
                                {"client_secret", clientSecret_},
                                {"refresh_token", *accessToken_->refreshToken()}};
  addScope(parameters);
  startTokenRequest(std::move(parameters), kTokenRefresh);
}

void NXOAuth2Client::removeConnectionFromWaitingQueue(const NXOAuth2Connection* connection) {
  if (!connection) return;
  waitingConnections_.erase(std::remove_if(waitingConnections_.begin(), waitingConnections_.end(),
                                           [&](const std::shared_ptr<NXOAuth2Connection>& c) { return c.get() == connection; }),
                            waitingConnections_.end());
}

void NXOAuth2Client::failRefresh(const platform::Error& error) {
  std::vector<std::shared_ptr<NXOAuth2Connection>> waiting = std::move(waitingConnections_);
  waitingConnections_.clear();
  for (auto& c : waiting) c->failWithRefreshError(error);
}

void NXOAuth2Client::oauthConnectionDidFinishWithData(NXOAuth2Connection& connection, const platform::Data& data) {
  if (&connection != authConnection_.get()) return;
  auto self = shared_from_this();
  std::shared_ptr<NXOAuth2Connection> finished = std::move(authConnection_);
  authConnection_.reset();
  authenticating_ = false;
  const std::string body(data.begin(), data.end());
  std::shared_ptr<NXOAuth2AccessToken> token = NXOAuth2AccessToken::tokenWithResponseBody(body, tokenType_);
  if (token) token->restoreWithOldToken(accessToken_.get());
  if (!token && !accessToken_) {
    // Nothing would be "lost": say the sign-in failed instead of leaving
    // whoever waits for it waiting.
    refreshConnectionDidRetryCount_ = 0;
    const platform::Error error = nxoauth2_error(NXOAuth2NoAccessTokenErrorCode);
    if (isContext(connection, kTokenRefresh)) failRefresh(nxoauth2_error(NXOAuth2CouldNotRefreshTokenErrorCode));
    if (delegate_) delegate_->oauthClientDidFailToGetAccessTokenWithError(*this, error);
    return;
  }
  setAccessToken(token);
  refreshConnectionDidRetryCount_ = 0;
  std::vector<std::shared_ptr<NXOAuth2Connection>> waiting = std::move(waitingConnections_);
  waitingConnections_.clear();
  for (auto& c : waiting) c->retry();
}

void NXOAuth2Client::oauthConnectionDidFailWithError(NXOAuth2Connection& connection, const platform::Error& error) {
  nxoauth2Log("oauthConnection Error: " + error.domain + " " + std::to_string(error.code) + " " +
              error.localizedDescription());
  if (&connection != authConnection_.get()) return;
  auto self = shared_from_this();
  std::shared_ptr<NXOAuth2Connection> failed = std::move(authConnection_);
  authConnection_.reset();
  authenticating_ = false;
  const bool isRefresh = isContext(connection, kTokenRefresh);
  const bool serverError = error.domain == NXOAuth2HTTPErrorDomain && error.code >= 500 && error.code <= 599;
  if (isRefresh && serverError && refreshConnectionDidRetryCount_ < 4) {
    std::weak_ptr<NXOAuth2Client> weak = self;
    refreshRetryTimer_ = platform::RunLoop::main().scheduleTimer(1.0, false, [weak](platform::Timer&) {
      if (auto client = weak.lock()) {
        client->refreshRetryTimer_.reset();
        client->refreshAccessToken();
      }
    });
    ++refreshConnectionDidRetryCount_;
    return;
  }
  if (isRefresh) failRefresh(nxoauth2_error(NXOAuth2CouldNotRefreshTokenErrorCode));
  if (error.domain == NXOAuth2HTTPErrorDomain && error.code == 401) setAccessToken(nullptr);
  if (delegate_) delegate_->oauthClientDidFailToGetAccessTokenWithError(*this, error);
}

}  // namespace nxoauth2
