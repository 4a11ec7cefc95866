#include "oauth2/nxoauth2_request.h"

#include "oauth2/nxoauth2_client.h"
#include "platform/runloop/run_loop.h"

namespace nxoauth2 {

std::shared_ptr<NXOAuth2Request> NXOAuth2Request::performMethod(const std::string& method, const platform::URL& resource,
                                                                std::optional<NXOAuth2Parameters> parameters,
                                                                std::shared_ptr<NXOAuth2Account> account,
                                                                SendingProgressHandler progressHandler,
                                                                ResponseHandler responseHandler) {
  std::shared_ptr<NXOAuth2Request> r = initWithResource(resource, method, std::move(parameters));
  r->setAccount(std::move(account));
  r->performRequestWithSendingProgressHandler(std::move(progressHandler), std::move(responseHandler));
  return r;
}

std::shared_ptr<NXOAuth2Request> NXOAuth2Request::initWithResource(platform::URL resource, std::string method,
                                                                   std::optional<NXOAuth2Parameters> parameters) {
  std::shared_ptr<NXOAuth2Request> r(new NXOAuth2Request());
  r->resource_ = std::move(resource);
  r->requestMethod_ = std::move(method);
  r->parameters_ = std::move(parameters);
  return r;
}

void NXOAuth2Request::performRequestWithSendingProgressHandler(SendingProgressHandler progressHandler,
                                                               ResponseHandler responseHandler) {
  me_ = shared_from_this();
  if (connection_) {
    connection_->setDelegate(nullptr);
    connection_->cancel();
  }
  platform::URLRequest request(resource_);
  request.httpMethod = requestMethod_;
  std::shared_ptr<NXOAuth2Client> client = account_ ? account_->oauthClient() : nullptr;
  // Made without a delegate, so nothing can report before this request is
  // listening; it listens from here on.
  std::shared_ptr<NXOAuth2Connection> c;
  c = NXOAuth2Connection::make(std::move(request), parameters_, std::move(client), std::move(progressHandler),
                               std::move(responseHandler));
  c->setDelegate(this);
  connection_ = std::move(c);
}

void NXOAuth2Request::end() {
  connection_.reset();
  // Let go of itself after the current pass: the response block that the
  // connection calls next must still find the request alive.
  if (me_) platform::RunLoop::main().perform([me = std::move(me_)] {});
  me_.reset();
}

void NXOAuth2Request::cancel() {
  if (connection_) {
    connection_->setDelegate(nullptr);
    connection_->cancel();
  }
  end();
}

void NXOAuth2Request::oauthConnectionDidFinishWithData(NXOAuth2Connection& connection, const platform::Data&) {
  if (&connection == connection_.get()) end();
}

void NXOAuth2Request::oauthConnectionDidFailWithError(NXOAuth2Connection& connection, const platform::Error&) {
  if (&connection == connection_.get()) end();
}

platform::URLRequest NXOAuth2Request::signedURLRequest() {
  platform::URLRequest request(resource_);
  request.httpMethod = requestMethod_;
  NXOAuth2Connection::applyParameters(parameters_, request);
  std::shared_ptr<NXOAuth2Client> client = account_ ? account_->oauthClient() : nullptr;
  if (client && client->userAgent() && !request.headers.contains("User-Agent"))
    request.headers.set("User-Agent", *client->userAgent());
  if (account_ && account_->accessToken())
    request.headers.set("Authorization", account_->accessToken()->tokenType() + " " + account_->accessToken()->accessToken());
  return request;
}

}  // namespace nxoauth2
