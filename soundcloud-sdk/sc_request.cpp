#include "soundcloud-sdk/sc_request.h"

#include "platform/net/url_request.h"

namespace scsdk {

std::string SCRequestMethodString(SCRequestMethod method) {
  switch (method) {
    case SCRequestMethodPOST: return "POST";
    case SCRequestMethodPUT: return "PUT";
    case SCRequestMethodDELETE: return "DELETE";
    case SCRequestMethodHEAD: return "HEAD";
    default: return "GET";
  }
}

SCRequestMethod SCRequestMethodFromString(const std::string& method) {
  for (SCRequestMethod m : {SCRequestMethodPOST, SCRequestMethodPUT, SCRequestMethodDELETE, SCRequestMethodHEAD})
    if (platform::equalsIgnoringCase(method, SCRequestMethodString(m))) return m;
  return SCRequestMethodGET;
}

std::shared_ptr<nxoauth2::NXOAuth2Request> SCRequest::performMethod(
    SCRequestMethod method, const platform::URL& resource, std::optional<nxoauth2::NXOAuth2Parameters> parameters,
    const std::shared_ptr<SCAccount>& account, SendingProgressHandler progressHandler, ResponseHandler responseHandler) {
  auto request = nxoauth2::NXOAuth2Request::initWithResource(resource, SCRequestMethodString(method), std::move(parameters));
  request->setAccount(account ? account->oauthAccount() : nullptr);
  request->performRequestWithSendingProgressHandler(std::move(progressHandler), std::move(responseHandler));
  return request;
}

void SCRequest::cancelRequest(const std::any& handle) {
  if (const auto* r = std::any_cast<std::shared_ptr<nxoauth2::NXOAuth2Request>>(&handle)) {
    if (*r) (*r)->cancel();
  } else if (const auto* s = std::any_cast<std::shared_ptr<SCRequest>>(&handle)) {
    if (*s) (*s)->cancel();
  }
}

std::shared_ptr<SCRequest> SCRequest::initWithMethod(SCRequestMethod method, platform::URL resource) {
  return std::shared_ptr<SCRequest>(new SCRequest(
      nxoauth2::NXOAuth2Request::initWithResource(std::move(resource), SCRequestMethodString(method), std::nullopt)));
}

SCRequestMethod SCRequest::requestMethod() const { return SCRequestMethodFromString(oauthRequest_->requestMethod()); }

void SCRequest::setRequestMethod(SCRequestMethod method) { oauthRequest_->setRequestMethod(SCRequestMethodString(method)); }

std::shared_ptr<SCAccount> SCRequest::account() const {
  return oauthRequest_->account() ? std::make_shared<SCAccount>(oauthRequest_->account()) : nullptr;
}

void SCRequest::setAccount(const std::shared_ptr<SCAccount>& account) {
  oauthRequest_->setAccount(account ? account->oauthAccount() : nullptr);
}

void SCRequest::performRequestWithSendingProgressHandler(SendingProgressHandler progressHandler,
                                                         ResponseHandler responseHandler) {
  oauthRequest_->performRequestWithSendingProgressHandler(std::move(progressHandler), std::move(responseHandler));
}

}  // namespace scsdk
