#pragma once
// The one-shot API call of the OAuth2 layer: a method, a resource URL and
// parameters, signed with an account's token and sent through a connection
// that reports through a progress block and a response block. It keeps
// itself alive while its connection runs, so it can be fired and forgotten;
// the self-reference is let go at the end of the run-loop pass, after the
// response block has run.
//
// The response block is called exactly once for a request that is not
// cancelled: with the reply, with the transfer's or HTTP error, or with
// NXOAuth2ErrorDomain -2001 when the token refresh it waited for failed for
// good. A cancelled request calls no block.
//
// Main thread only.

#include <memory>
#include <optional>
#include <string>

#include "oauth2/nxoauth2_account.h"
#include "oauth2/nxoauth2_connection.h"
#include "oauth2/nxoauth2_parameters.h"
#include "platform/net/url.h"
#include "platform/net/url_request.h"

namespace nxoauth2 {

class NXOAuth2Request : public NXOAuth2ConnectionDelegate, public std::enable_shared_from_this<NXOAuth2Request> {
 public:
  using SendingProgressHandler = NXOAuth2ConnectionSendingProgressHandler;
  using ResponseHandler = NXOAuth2ConnectionResponseHandler;

  // Creates a request with the account and performs it; returns it too, so
  // a caller may cancel it.
  static std::shared_ptr<NXOAuth2Request> performMethod(const std::string& method, const platform::URL& resource,
                                                        std::optional<NXOAuth2Parameters> parameters,
                                                        std::shared_ptr<NXOAuth2Account> account,
                                                        SendingProgressHandler progressHandler,
                                                        ResponseHandler responseHandler);
  static std::shared_ptr<NXOAuth2Request> initWithResource(platform::URL resource, std::string method,
                                                           std::optional<NXOAuth2Parameters> parameters);

  // Performing again starts a second connection in place of the first.
  void performRequestWithSendingProgressHandler(SendingProgressHandler progressHandler, ResponseHandler responseHandler);
  void cancel();
  // The request with method, encoded parameters, user agent and
  // authorization header, not sent and not refreshed.
  platform::URLRequest signedURLRequest();

  const std::optional<NXOAuth2Parameters>& parameters() const { return parameters_; }
  void setParameters(std::optional<NXOAuth2Parameters> parameters) { parameters_ = std::move(parameters); }
  const platform::URL& resource() const { return resource_; }
  void setResource(platform::URL resource) { resource_ = std::move(resource); }
  const std::string& requestMethod() const { return requestMethod_; }
  void setRequestMethod(std::string method) { requestMethod_ = std::move(method); }
  const std::shared_ptr<NXOAuth2Account>& account() const { return account_; }
  void setAccount(std::shared_ptr<NXOAuth2Account> account) { account_ = std::move(account); }
  const std::shared_ptr<NXOAuth2Connection>& connection() const { return connection_; }
  // Whether the request holds itself (while its connection runs).
  bool isRetainingItself() const { return me_ != nullptr; }

  // NXOAuth2ConnectionDelegate
  void oauthConnectionDidFinishWithData(NXOAuth2Connection& connection, const platform::Data& data) override;
  void oauthConnectionDidFailWithError(NXOAuth2Connection& connection, const platform::Error& error) override;

 private:
  NXOAuth2Request() = default;
  void end();

  std::optional<NXOAuth2Parameters> parameters_;
  platform::URL resource_;
  std::string requestMethod_ = "GET";
  std::shared_ptr<NXOAuth2Account> account_;
  std::shared_ptr<NXOAuth2Connection> connection_;
  std::shared_ptr<NXOAuth2Request> me_;
};

}  // namespace nxoauth2
