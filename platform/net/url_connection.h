#pragma once
// URL connections on the main run loop: one HTTP exchange per connection,
// with the platform's delegate callbacks (response, data, body progress,
// redirects, finish, failure, a new body stream for a resend, and the
// server-trust policy).
//
// Underneath is libcurl's multi interface. A helper thread only waits for
// socket readiness and for libcurl's timeouts; every libcurl call and every
// delegate callback happens on the main run loop's thread, as posted work,
// so delegates may start and cancel connections freely (libcurl's own
// callbacks only queue what they see). The main loop has to run for
// anything to happen.
//
// Rules the OAuth2 layer relies on:
// - Redirects (301, 302, 303, 307, 308 with "Location") are followed here,
//   not by libcurl: the delegate sees each one in willSendRequest and may
//   change the next request (method, headers, body) or stop there, in which
//   case the redirect response itself is delivered as the final one. 301-303
//   turn a method other than GET and HEAD into a GET without body, as the
//   platform does; at most 16 redirects are followed.
// - A body stream is read while the request is sent; a resend (redirect,
//   rewind) that would need the used stream again asks needNewBodyStream.
// - "Expect: 100-continue" is never sent; "Content-Length" comes from the
//   header of that name (a data body from its size); a stream body without
//   one is sent chunked.
// - TLS follows the delegate's ServerTrustPolicy (url_request.h), asked once
//   per transfer: the system's check of chain and host name (against the
//   system's authorities, or the file set by setTrustedCertificateAuthorities
//   for tests), the pins alone (the server's key, then the pins as the only
//   anchors), or the system's check with the pins as the fallback. Each
//   check that refuses is followed by a handshake for the next one. A
//   refused handshake has sent nothing of the request, so the next one sends
//   it whole; a body
//   stream none of which was read is sent again as it is. A transfer that a
//   pin let in neither reuses a connection or TLS session nor leaves one for
//   another transfer, so a pin never vouches for a transfer that asked for
//   the system's check, nor the other way round. Pinned handshakes never
//   agree to a cipher suite without a server certificate.
// - Only http and https URLs load; others fail with NSURLErrorUnsupportedURL.
// - Failures are NSURLErrorDomain errors (url_request.h / error.h codes).
//
// Main thread only. The delegate is not owned: it must outlive the
// connection, or cancel it first. A started connection keeps itself alive
// until it finishes, fails or is cancelled; after cancel() no callback comes.

#include <cstdint>
#include <deque>
#include <filesystem>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <variant>

#include "platform/net/error.h"
#include "platform/net/url_request.h"

namespace platform {

class URLConnection;

class URLConnectionDelegate {
 public:
  virtual ~URLConnectionDelegate() = default;

  // A redirect: `request` is what would be sent next. Return it, a changed
  // copy, or nullopt to stop following.
  virtual std::optional<URLRequest> willSendRequest(URLConnection& connection, URLRequest request,
                                                    const HTTPURLResponse& redirectResponse);
  virtual void didReceiveResponse(URLConnection& connection, const HTTPURLResponse& response);
  virtual void didReceiveData(URLConnection& connection, std::span<const uint8_t> data);
  // Body bytes sent: this many now, so many in all, of the expected total
  // (-1 when unknown).
  virtual void didSendBodyData(URLConnection& connection, int64_t bytesWritten, int64_t totalBytesWritten,
                               int64_t totalBytesExpected);
  virtual void didFinishLoading(URLConnection& connection);
  virtual void didFailWithError(URLConnection& connection, const Error& error);
  // A fresh body stream for `request` (the same content from its start);
  // nullptr when there is none. Must not start or cancel connections.
  virtual std::shared_ptr<InputStream> needNewBodyStream(URLConnection& connection, const URLRequest& request);
  // Asked before each https transfer (the first and each redirect's).
  virtual ServerTrustPolicy serverTrustPolicy(URLConnection& connection, const std::string& host);
};

class URLConnection : public std::enable_shared_from_this<URLConnection> {
 public:
  // Not started.
  static std::shared_ptr<URLConnection> make(URLRequest request, URLConnectionDelegate* delegate);
  ~URLConnection();
  URLConnection(const URLConnection&) = delete;
  URLConnection& operator=(const URLConnection&) = delete;

  void start();
  void cancel();
  bool isLoading() const { return state_ == State::Running; }

  const URLRequest& originalRequest() const { return original_; }
  // The request being sent (after redirects).
  const URLRequest& currentRequest() const { return current_; }

  // Tests: trust the authorities of this PEM file instead of the system's
  // (nullopt: the system's again) for the system's check.
  static void setTrustedCertificateAuthorities(std::optional<std::filesystem::path> caFile);
  // Connections started and not yet ended.
  static size_t activeConnectionCount();

 private:
  friend class NetDriver;
  struct Transfer;
  enum class State { Idle, Running, Ended };

  URLConnection(URLRequest request, URLConnectionDelegate* delegate);

  // A new transfer of current_. `retry`: the next handshake of a policy
  // whose earlier check refused the certificate (the delegate is not asked
  // again), with the body of the refused attempt when none of it was read.
  struct PinRetry {
    ServerTrustPolicy trust;
    size_t step = 0;
    std::shared_ptr<InputStream> unreadBody;
  };
  std::optional<Error> startTransfer(std::optional<PinRetry> retry = std::nullopt);
  void retryWithPins();
  void deliver();
  void finishTransfer();
  void handleRedirect();
  void end();
  void failNow(const Error& error);

  URLRequest original_;
  URLRequest current_;
  URLConnectionDelegate* delegate_;
  State state_ = State::Idle;
  int redirects_ = 0;
  std::unique_ptr<Transfer> transfer_;
  std::shared_ptr<InputStream> usedStream_;
};

}  // namespace platform
