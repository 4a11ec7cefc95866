#include "oauth2/nxoauth2_connection.h"

#include "oauth2/nxoauth2_client.h"
#include "oauth2/nxoauth2_post_body_stream.h"
#include "oauth2/nxoauth2_url_encoding.h"
#include "platform/notify/notification_center.h"

namespace nxoauth2 {

void NXOAuth2ConnectionDelegate::oauthConnectionDidReceiveResponse(NXOAuth2Connection&, const platform::HTTPURLResponse&) {}
void NXOAuth2ConnectionDelegate::oauthConnectionDidFinishWithData(NXOAuth2Connection&, const platform::Data&) {}
void NXOAuth2ConnectionDelegate::oauthConnectionDidFailWithError(NXOAuth2Connection&, const platform::Error&) {}
void NXOAuth2ConnectionDelegate::oauthConnectionDidReceiveData(NXOAuth2Connection&, std::span<const uint8_t>) {}
void NXOAuth2ConnectionDelegate::oauthConnectionDidSendBytes(NXOAuth2Connection&, uint64_t, uint64_t) {}
void NXOAuth2ConnectionDelegate::oauthConnectionDidReceiveRedirectToURL(NXOAuth2Connection&, const platform::URL&) {}

std::optional<NXOAuth2TrustMode> NXOAuth2TrustDelegate::connectionTrustModeForHostname(NXOAuth2Connection&,
                                                                                       const std::string&) {
  return std::nullopt;
}
std::optional<std::vector<platform::Data>> NXOAuth2TrustDelegate::connectionTrustedCertificatesForHostname(
    NXOAuth2Connection&, const std::string&) {
  return std::nullopt;
}

namespace {

bool isBodyMethod(const std::string& method) {
  return platform::equalsIgnoringCase(method, "POST") || platform::equalsIgnoringCase(method, "PUT");
}

std::optional<std::string> wwwAuthenticate(const platform::HTTPURLResponse& response) {
  return response.headers.value("www-authenticate");
}

}  // namespace

NXOAuth2Connection::NXOAuth2Connection(platform::URLRequest request, std::optional<NXOAuth2Parameters> parameters)
    : request_(std::move(request)), requestParameters_(std::move(parameters)) {}

std::shared_ptr<NXOAuth2Connection> NXOAuth2Connection::make(platform::URLRequest request,
                                                             std::optional<NXOAuth2Parameters> requestParameters,
                                                             std::shared_ptr<NXOAuth2Client> client,
                                                             NXOAuth2ConnectionDelegate* delegate) {
  std::shared_ptr<NXOAuth2Connection> c(new NXOAuth2Connection(std::move(request), std::move(requestParameters)));
  c->delegate_ = delegate;
  c->weakClient_ = client;
  c->client_ = std::move(client);
  c->createConnection();
  return c;
}

std::shared_ptr<NXOAuth2Connection> NXOAuth2Connection::make(
    platform::URLRequest request, std::optional<NXOAuth2Parameters> requestParameters,
    std::shared_ptr<NXOAuth2Client> client, NXOAuth2ConnectionSendingProgressHandler sendingProgressHandler,
    NXOAuth2ConnectionResponseHandler responseHandler) {
  std::shared_ptr<NXOAuth2Connection> c(new NXOAuth2Connection(std::move(request), std::move(requestParameters)));
  c->weakClient_ = client;
  c->client_ = std::move(client);
  c->sendingProgressHandler_ = std::move(sendingProgressHandler);
  c->responseHandler_ = std::move(responseHandler);
  c->createConnection();
  return c;
}

std::shared_ptr<NXOAuth2Connection> NXOAuth2Connection::makeTokenRequest(platform::URLRequest request,
                                                                         NXOAuth2Parameters parameters,
                                                                         const std::shared_ptr<NXOAuth2Client>& client,
                                                                         NXOAuth2ConnectionDelegate* delegate,
                                                                         std::string context) {
  std::shared_ptr<NXOAuth2Connection> c(new NXOAuth2Connection(std::move(request), std::move(parameters)));
  c->delegate_ = delegate;
  c->weakClient_ = client;
  c->isTokenRequest_ = true;
  c->context_ = std::move(context);
  c->createConnection();
  return c;
}

NXOAuth2Connection::~NXOAuth2Connection() {
  postEndIfDue();
  if (connection_) connection_->cancel();
}

std::shared_ptr<NXOAuth2Client> NXOAuth2Connection::client() const { return client_ ? client_ : weakClient_.lock(); }

NXOAuth2TrustDelegate* NXOAuth2Connection::trustDelegate() const {
  std::shared_ptr<NXOAuth2Client> c = client();
  if (c && c->delegate())
    if (auto* t = dynamic_cast<NXOAuth2TrustDelegate*>(c->delegate())) return t;
  return delegate_ ? dynamic_cast<NXOAuth2TrustDelegate*>(delegate_) : nullptr;
}

void NXOAuth2Connection::postStartIfNeeded() {
  if (!sendConnectionDidEndNotification_)
    platform::NotificationCenter::defaultCenter().post(NXOAuth2ConnectionDidStartNotification, this);
  sendConnectionDidEndNotification_ = true;
}

void NXOAuth2Connection::postEndIfDue() {
  if (sendConnectionDidEndNotification_) {
    sendConnectionDidEndNotification_ = false;
    platform::NotificationCenter::defaultCenter().post(NXOAuth2ConnectionDidEndNotification, this);
  }
}

std::optional<std::string> NXOAuth2Connection::authorizationValue() const {
  std::shared_ptr<NXOAuth2Client> c = client();
  if (!c || !c->currentAccessToken()) return std::nullopt;
  const auto& token = c->currentAccessToken();
  return token->tokenType() + " " + token->accessToken();
}

void NXOAuth2Connection::createConnection() {
  std::shared_ptr<NXOAuth2Client> c = client();
  std::optional<std::string> authorization;
  const NXOAuth2ParameterValue* grant = requestParameters_ ? requestParameters_->find("grant_type") : nullptr;
  const bool isRefresh = grant && grant->string() && *grant->string() == "refresh_token";
  if (c && !isRefresh) {
    if (std::shared_ptr<NXOAuth2AccessToken> token = c->accessToken()) {
      const bool staleForLong = token->refreshToken() && token->expiresAt() &&
                                token->expiresAt()->secondsSince1970 < nxoauth2_now().secondsSince1970 - 10.0;
      if (staleForLong && !isTokenRequest_) {
        cancel();
        c->refreshAccessTokenAndRetryConnection(shared_from_this());
        return;
      }
      authorization = token->tokenType() + " " + token->accessToken();
    }
  }
  platform::URLRequest startRequest = request_;
  applyParameters(requestParameters_, startRequest);
  if (authorization) startRequest.headers.set("Authorization", *authorization);
  if (c && c->userAgent() && !startRequest.headers.contains("User-Agent"))
    startRequest.headers.set("User-Agent", *c->userAgent());
  if (c && c->acceptType()) startRequest.headers.set("Accept", *c->acceptType());

  connection_ = platform::URLConnection::make(std::move(startRequest), this);
  connection_->start();
  postStartIfNeeded();
}

void NXOAuth2Connection::applyParameters(const std::optional<NXOAuth2Parameters>& parameters,
                                         platform::URLRequest& request) {
  if (!parameters) return;
  if (isBodyMethod(request.httpMethod)) {
    auto stream = std::make_shared<NXOAuth2PostBodyStream>(parameters);
    request.headers.set("Content-Type", "multipart/form-data; boundary=" + stream->boundary());
    request.headers.set("Content-Length", std::to_string(stream->length()));
    request.setHTTPBodyStream(std::move(stream));
  } else if (!parameters->empty()) {
    request.url = nxoauth2_URLByAddingParameters(request.url, *parameters);
  }
}

std::string NXOAuth2Connection::descriptionForRequest(const platform::URLRequest& request) {
  if (auto range = request.valueForHTTPHeaderField("Range"))
    return request.url.absoluteString() + " [" + *range + "]";
  return request.url.absoluteString();
}

std::string NXOAuth2Connection::description() const { return "NXOAuth2Connection <" + descriptionForRequest(request_) + ">"; }

platform::ServerTrustPolicy NXOAuth2Connection::trustPolicyForMode(
    NXOAuth2TrustMode mode, const std::function<std::vector<platform::Data>()>& certificates) {
  // "Any certificate" is answered with the system's check: the safe way to
  // read it, never weaker than what the delegate could have meant.
  const bool system = (mode & (NXOAuth2TrustModeSystemDefault | NXOAuth2TrustModeAnyCertificate)) != 0;
  const bool specific = (mode & NXOAuth2TrustModeSpecificCertificate) != 0;
  auto pins = [&] { return certificates ? certificates() : std::vector<platform::Data>{}; };
  if (system && specific) return platform::ServerTrustPolicy::systemOrPinned(pins());
  if (system) return platform::ServerTrustPolicy::systemDefault();
  if (specific) return platform::ServerTrustPolicy::pinned(pins());
  return platform::ServerTrustPolicy::reject();
}

void NXOAuth2Connection::cancel() {
  auto self = weak_from_this().lock();
  postEndIfDue();
  if (connection_) {
    connection_->cancel();
    connection_.reset();
  }
  if (std::shared_ptr<NXOAuth2Client> c = client()) c->removeConnectionFromWaitingQueue(this);
}

void NXOAuth2Connection::retry() {
  auto self = shared_from_this();
  response_.reset();
  if (connection_) {
    connection_->cancel();
    connection_.reset();
  }
  createConnection();
}

void NXOAuth2Connection::fail(const platform::Error& error) {
  auto self = shared_from_this();
  postEndIfDue();
  if (connection_) {
    connection_->cancel();
    connection_.reset();
  }
  if (delegate_) delegate_->oauthConnectionDidFailWithError(*this, error);
  if (responseHandler_) responseHandler_(response_, data_, error);
}

void NXOAuth2Connection::failWithRefreshError(const platform::Error& error) { fail(error); }

std::optional<platform::URLRequest> NXOAuth2Connection::willSendRequest(platform::URLConnection&,
                                                                        platform::URLRequest request,
                                                                        const platform::HTTPURLResponse& redirectResponse) {
  auto self = shared_from_this();
  if (delegate_) delegate_->oauthConnectionDidReceiveRedirectToURL(*this, request.url);
  const bool sameHost = platform::equalsIgnoringCase(request.url.host(), redirectResponse.url.host());
  const bool schemeChanged = !platform::equalsIgnoringCase(request.url.scheme(), redirectResponse.url.scheme());
  const bool downgrade = schemeChanged && !platform::equalsIgnoringCase(request.url.scheme(), "https");
  platform::URLRequest next = std::move(request);
  next.httpMethod = request_.httpMethod;
  // The method is kept, so is the body: the platform drops it when it turns
  // a redirected POST into a GET.
  if (isBodyMethod(next.httpMethod) && requestParameters_) applyParameters(requestParameters_, next);
  std::optional<std::string> authorization = authorizationValue();
  if (sameHost && !downgrade && authorization)
    next.headers.set("Authorization", *authorization);
  else
    next.headers.remove("Authorization");
  return next;
}

void NXOAuth2Connection::didReceiveResponse(platform::URLConnection&, const platform::HTTPURLResponse& response) {
  auto self = shared_from_this();
  response_ = response;
  if (savesData_) data_.clear();
  std::shared_ptr<NXOAuth2Client> c = client();
  const std::optional<std::string> challenge = wwwAuthenticate(response);
  // A token request is never queued behind a refresh: a refresh waiting for
  // itself would never end.
  if (!isTokenRequest_ && c && c->currentAccessToken() && c->currentAccessToken()->refreshToken() && challenge &&
      challenge->find("expired_token") != std::string::npos) {
    cancel();
    c->refreshAccessTokenAndRetryConnection(self);
    return;
  }
  if (delegate_) delegate_->oauthConnectionDidReceiveResponse(*this, response);
}

void NXOAuth2Connection::didReceiveData(platform::URLConnection&, std::span<const uint8_t> data) {
  auto self = shared_from_this();
  if (savesData_) {
    if (data_.size() + data.size() > kMaxResponseBodyBytes) {
      fail(platform::Error::make(platform::kNSURLErrorDomain, platform::NSURLErrorDataLengthExceedsMaximum,
                                 "The reply is larger than " + std::to_string(kMaxResponseBodyBytes) + " bytes."));
      return;
    }
    data_.insert(data_.end(), data.begin(), data.end());
  }
  if (delegate_) delegate_->oauthConnectionDidReceiveData(*this, data);
}

void NXOAuth2Connection::didSendBodyData(platform::URLConnection&, int64_t, int64_t totalBytesWritten,
                                         int64_t totalBytesExpected) {
  auto self = shared_from_this();
  const uint64_t sent = static_cast<uint64_t>(std::max<int64_t>(0, totalBytesWritten));
  const uint64_t total = static_cast<uint64_t>(std::max<int64_t>(0, totalBytesExpected));
  if (delegate_) delegate_->oauthConnectionDidSendBytes(*this, sent, total);
  if (sendingProgressHandler_) sendingProgressHandler_(sent, total);
}

void NXOAuth2Connection::didFinishLoading(platform::URLConnection&) {
  auto self = shared_from_this();
  connection_.reset();
  postEndIfDue();
  const int status = statusCode();
  if (status < 400) {
    if (delegate_) delegate_->oauthConnectionDidFinishWithData(*this, data_);
    if (responseHandler_) responseHandler_(response_, data_, std::nullopt);
    return;
  }
  if (status == 401 && response_) {
    const std::optional<std::string> challenge = wwwAuthenticate(*response_);
    if (challenge && challenge->find("invalid_token") != std::string::npos)
      if (std::shared_ptr<NXOAuth2Client> c = client()) c->setAccessToken(nullptr);
  }
  platform::Error error = platform::Error::make(NXOAuth2HTTPErrorDomain, status, "HTTP Error: " + std::to_string(status));
  if (delegate_) delegate_->oauthConnectionDidFailWithError(*this, error);
  if (responseHandler_) responseHandler_(response_, data_, error);
}

void NXOAuth2Connection::didFailWithError(platform::URLConnection&, const platform::Error& error) {
  auto self = shared_from_this();
  connection_.reset();
  postEndIfDue();
  if (delegate_) delegate_->oauthConnectionDidFailWithError(*this, error);
  if (responseHandler_) responseHandler_(response_, data_, error);
}

std::shared_ptr<platform::InputStream> NXOAuth2Connection::needNewBodyStream(platform::URLConnection&,
                                                                             const platform::URLRequest&) {
  return std::make_shared<NXOAuth2PostBodyStream>(requestParameters_);
}

platform::ServerTrustPolicy NXOAuth2Connection::serverTrustPolicy(platform::URLConnection&, const std::string& host) {
  NXOAuth2TrustDelegate* trust = trustDelegate();
  if (!trust) return platform::ServerTrustPolicy::systemDefault();
  const NXOAuth2TrustMode mode = trust->connectionTrustModeForHostname(*this, host).value_or(NXOAuth2TrustModeSystemDefault);
  return trustPolicyForMode(mode, [&] { return trust->connectionTrustedCertificatesForHostname(*this, host).value_or(std::vector<platform::Data>{}); });
}

}  // namespace nxoauth2
