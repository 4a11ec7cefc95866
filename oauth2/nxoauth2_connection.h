#pragma once
// One HTTP exchange for an OAuth2 client: it encodes the parameters (a
// multipart body for POST and PUT, the query otherwise), signs the request
// with the client's token ("Authorization: <type> <token>"), refreshes a
// token that expired more than 10 s ago first, collects the reply, turns
// statuses of 400 and above into NXOAuth2HTTPErrorDomain errors, reacts to
// the server's "expired_token" (refresh and retry) and "invalid_token" on a
// 401 (the token is dropped), and keeps the token off redirects to other
// hosts or to a scheme other than https.
//
// Server trust: the mode comes from the trust delegate (the client's
// delegate when it is one, else this connection's delegate); 2 (system
// default) when there is none or it does not answer. Bit 2 is the
// system's check of chain and host name. Bit 4 (specific certificates)
// pins the delegate's certificates for the host, each as the server's key
// or as the only trust anchor of its chain: alone, the pins alone decide (a
// pinned self-signed server or private authority is reached); with bit 2,
// either the system's check or a pin is enough. Bit 1 (any
// certificate) is never honoured: it counts as bit 2. A mode with none of
// the bits refuses. See platform::ServerTrustPolicy.
//
// Every start posts "NXOAuth2ConnectionDidStartNotification" and is followed
// by exactly one "NXOAuth2ConnectionDidEndNotification" (finish, failure,
// cancel or destruction), object: the connection's address.
//
// A reply body larger than 16 MiB fails the connection with
// NSURLErrorDataLengthExceedsMaximum instead of filling memory.
//
// Main thread only. The delegate is not owned and must outlive the
// connection or cancel it. The connection holds its client.

#include <any>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "oauth2/nxoauth2_constants.h"
#include "oauth2/nxoauth2_parameters.h"
#include "platform/net/url_connection.h"

namespace nxoauth2 {

class NXOAuth2Client;
class NXOAuth2Connection;

class NXOAuth2ConnectionDelegate {
 public:
  virtual ~NXOAuth2ConnectionDelegate() = default;
  virtual void oauthConnectionDidReceiveResponse(NXOAuth2Connection& connection, const platform::HTTPURLResponse& response);
  virtual void oauthConnectionDidFinishWithData(NXOAuth2Connection& connection, const platform::Data& data);
  virtual void oauthConnectionDidFailWithError(NXOAuth2Connection& connection, const platform::Error& error);
  virtual void oauthConnectionDidReceiveData(NXOAuth2Connection& connection, std::span<const uint8_t> data);
  virtual void oauthConnectionDidSendBytes(NXOAuth2Connection& connection, uint64_t bytesSend, uint64_t bytesTotal);
  virtual void oauthConnectionDidReceiveRedirectToURL(NXOAuth2Connection& connection, const platform::URL& redirectURL);
};

class NXOAuth2TrustDelegate {
 public:
  virtual ~NXOAuth2TrustDelegate() = default;
  // nullopt: no answer (the system default, 2).
  virtual std::optional<NXOAuth2TrustMode> connectionTrustModeForHostname(NXOAuth2Connection& connection,
                                                                          const std::string& hostname);
  // Certificates as DER data; nullopt: none.
  virtual std::optional<std::vector<platform::Data>> connectionTrustedCertificatesForHostname(
      NXOAuth2Connection& connection, const std::string& hostname);
};

using NXOAuth2ConnectionResponseHandler = std::function<void(
    const std::optional<platform::HTTPURLResponse>& response, const platform::Data& data,
    const std::optional<platform::Error>& error)>;
using NXOAuth2ConnectionSendingProgressHandler = std::function<void(uint64_t bytesSend, uint64_t bytesTotal)>;

class NXOAuth2Connection : public platform::URLConnectionDelegate,
                           public std::enable_shared_from_this<NXOAuth2Connection> {
 public:
  static constexpr size_t kMaxResponseBodyBytes = 16 * 1024 * 1024;

  // Created and started at once.
  static std::shared_ptr<NXOAuth2Connection> make(platform::URLRequest request,
                                                  std::optional<NXOAuth2Parameters> requestParameters,
                                                  std::shared_ptr<NXOAuth2Client> client,
                                                  NXOAuth2ConnectionDelegate* delegate);
  static std::shared_ptr<NXOAuth2Connection> make(platform::URLRequest request,
                                                  std::optional<NXOAuth2Parameters> requestParameters,
                                                  std::shared_ptr<NXOAuth2Client> client,
                                                  NXOAuth2ConnectionSendingProgressHandler sendingProgressHandler,
                                                  NXOAuth2ConnectionResponseHandler responseHandler);
  ~NXOAuth2Connection() override;
  NXOAuth2Connection(const NXOAuth2Connection&) = delete;
  NXOAuth2Connection& operator=(const NXOAuth2Connection&) = delete;

  void cancel();
  // After a refresh: a new transfer, signed with the new token.
  void retry();

  const platform::URLRequest& request() const { return request_; }
  const std::optional<NXOAuth2Parameters>& requestParameters() const { return requestParameters_; }
  const platform::Data& data() const { return data_; }
  const std::optional<platform::HTTPURLResponse>& response() const { return response_; }
  std::shared_ptr<NXOAuth2Client> client() const;
  int statusCode() const { return response_ ? response_->statusCode : 0; }
  int64_t expectedContentLength() const { return response_ ? response_->expectedContentLength : -1; }
  NXOAuth2TrustDelegate* trustDelegate() const;

  NXOAuth2ConnectionDelegate* delegate() const { return delegate_; }
  void setDelegate(NXOAuth2ConnectionDelegate* delegate) { delegate_ = delegate; }
  const std::any& context() const { return context_; }
  void setContext(std::any context) { context_ = std::move(context); }
  const platform::Dictionary& userInfo() const { return userInfo_; }
  void setUserInfo(platform::Dictionary userInfo) { userInfo_ = std::move(userInfo); }
  bool savesData() const { return savesData_; }
  void setSavesData(bool saves) { savesData_ = saves; }

  // The encoded parameters on the request: a multipart body with
  // "Content-Type" and "Content-Length" for POST and PUT (any case), the
  // query otherwise. Nothing for no parameters.
  static void applyParameters(const std::optional<NXOAuth2Parameters>& parameters, platform::URLRequest& request);
  // The URL, or "<URL> [<Range>]" when the request has a "Range" header.
  static std::string descriptionForRequest(const platform::URLRequest& request);
  std::string description() const;
  // What a trust mode means for a transfer (see above); `certificates`
  // is asked only when the mode needs them.
  static platform::ServerTrustPolicy trustPolicyForMode(NXOAuth2TrustMode mode,
                                                        const std::function<std::vector<platform::Data>()>& certificates);

  // The client: this connection waited for a refresh that failed for good.
  // Reported to the delegate and then to the response handler.
  void failWithRefreshError(const platform::Error& error);

 private:
  friend class NXOAuth2Client;
  NXOAuth2Connection(platform::URLRequest request, std::optional<NXOAuth2Parameters> parameters);
  // For the client's own token requests: the client is held weakly (it
  // owns the request and cancels it when it goes), and they are never
  // queued behind a refresh themselves.
  static std::shared_ptr<NXOAuth2Connection> makeTokenRequest(platform::URLRequest request,
                                                              NXOAuth2Parameters parameters,
                                                              const std::shared_ptr<NXOAuth2Client>& client,
                                                              NXOAuth2ConnectionDelegate* delegate, std::string context);

  void createConnection();
  void postStartIfNeeded();
  void postEndIfDue();
  std::optional<std::string> authorizationValue() const;
  void fail(const platform::Error& error);

  // platform::URLConnectionDelegate
  std::optional<platform::URLRequest> willSendRequest(platform::URLConnection& connection, platform::URLRequest request,
                                                      const platform::HTTPURLResponse& redirectResponse) override;
  void didReceiveResponse(platform::URLConnection& connection, const platform::HTTPURLResponse& response) override;
  void didReceiveData(platform::URLConnection& connection, std::span<const uint8_t> data) override;
  void didSendBodyData(platform::URLConnection& connection, int64_t bytesWritten, int64_t totalBytesWritten,
                       int64_t totalBytesExpected) override;
  void didFinishLoading(platform::URLConnection& connection) override;
  void didFailWithError(platform::URLConnection& connection, const platform::Error& error) override;
  std::shared_ptr<platform::InputStream> needNewBodyStream(platform::URLConnection& connection,
                                                           const platform::URLRequest& request) override;
  platform::ServerTrustPolicy serverTrustPolicy(platform::URLConnection& connection, const std::string& host) override;

  std::shared_ptr<platform::URLConnection> connection_;
  platform::URLRequest request_;
  std::optional<platform::HTTPURLResponse> response_;
  std::optional<NXOAuth2Parameters> requestParameters_;
  platform::Data data_;
  bool savesData_ = true;
  std::any context_;
  platform::Dictionary userInfo_;
  std::shared_ptr<NXOAuth2Client> client_;
  std::weak_ptr<NXOAuth2Client> weakClient_;
  bool isTokenRequest_ = false;
  NXOAuth2ConnectionDelegate* delegate_ = nullptr;
  NXOAuth2ConnectionResponseHandler responseHandler_;
  NXOAuth2ConnectionSendingProgressHandler sendingProgressHandler_;
  bool sendConnectionDidEndNotification_ = false;
};

}  // namespace nxoauth2
