#pragma once
// One SoundCloud API call: a method code, a resource URL, parameters and
// the account whose token signs it, performed by the OAuth2 layer's signed
// request (a multipart body for POST and PUT, the query otherwise; an
// expired token is refreshed first). Replies, JSON as the service sends
// them, come back to the response block; read them with the JSON codec
// (json/), which keeps 64-bit ids exact.
//
// Main thread.

#include <any>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "oauth2/nxoauth2_parameters.h"
#include "oauth2/nxoauth2_request.h"
#include "platform/net/url.h"
#include "platform/net/url_request.h"
#include "soundcloud-sdk/sc_account.h"

namespace scsdk {

using SCRequestMethod = int32_t;
inline constexpr SCRequestMethod SCRequestMethodGET = 0;
inline constexpr SCRequestMethod SCRequestMethodPOST = 1;
inline constexpr SCRequestMethod SCRequestMethodPUT = 2;
inline constexpr SCRequestMethod SCRequestMethodDELETE = 3;
inline constexpr SCRequestMethod SCRequestMethodHEAD = 4;

// "GET", "POST", "PUT", "DELETE", "HEAD"; any other code "GET".
std::string SCRequestMethodString(SCRequestMethod method);
// The code of a method text, without regard to case; 0 for anything else.
SCRequestMethod SCRequestMethodFromString(const std::string& method);

class SCRequest {
 public:
  using SendingProgressHandler = nxoauth2::NXOAuth2Request::SendingProgressHandler;
  using ResponseHandler = nxoauth2::NXOAuth2Request::ResponseHandler;

  // Performs the call; the returned request is the handle to cancel it.
  static std::shared_ptr<nxoauth2::NXOAuth2Request> performMethod(SCRequestMethod method, const platform::URL& resource,
                                                                  std::optional<nxoauth2::NXOAuth2Parameters> parameters,
                                                                  const std::shared_ptr<SCAccount>& account,
                                                                  SendingProgressHandler progressHandler,
                                                                  ResponseHandler responseHandler);
  // Cancels a handle holding a std::shared_ptr<nxoauth2::NXOAuth2Request> or
  // a std::shared_ptr<SCRequest>; anything else is ignored.
  static void cancelRequest(const std::any& handle);

  static std::shared_ptr<SCRequest> initWithMethod(SCRequestMethod method, platform::URL resource);

  SCRequestMethod requestMethod() const;
  void setRequestMethod(SCRequestMethod method);
  // A new wrapper of the request's account, or nullptr.
  std::shared_ptr<SCAccount> account() const;
  void setAccount(const std::shared_ptr<SCAccount>& account);
  const platform::URL& resource() const { return oauthRequest_->resource(); }
  void setResource(platform::URL resource) { oauthRequest_->setResource(std::move(resource)); }
  const std::optional<nxoauth2::NXOAuth2Parameters>& parameters() const { return oauthRequest_->parameters(); }
  void setParameters(std::optional<nxoauth2::NXOAuth2Parameters> p) { oauthRequest_->setParameters(std::move(p)); }
  platform::URLRequest signedURLRequest() { return oauthRequest_->signedURLRequest(); }
  void performRequestWithSendingProgressHandler(SendingProgressHandler progressHandler, ResponseHandler responseHandler);
  void cancel() { oauthRequest_->cancel(); }

  const std::shared_ptr<nxoauth2::NXOAuth2Request>& oauthRequest() const { return oauthRequest_; }

 private:
  explicit SCRequest(std::shared_ptr<nxoauth2::NXOAuth2Request> request) : oauthRequest_(std::move(request)) {}
  std::shared_ptr<nxoauth2::NXOAuth2Request> oauthRequest_;
};

}  // namespace scsdk
