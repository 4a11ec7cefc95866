#pragma once
// What URL loading sends and what it hands back: requests, HTTP responses,
// header fields, and the server-trust policy of a transfer.
//
// Values; thread-safe as values. A body stream is shared, not copied: a
// stream can be read once, so a resend needs a new one (see
// URLConnectionDelegate::needNewBodyStream).

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/foundation/value.h"
#include "platform/net/input_stream.h"
#include "platform/net/url.h"

namespace platform {

// Header fields in the order they were set. Names compare without regard to
// case, as HTTP says.
class HTTPHeaders {
 public:
  using Field = std::pair<std::string, std::string>;

  // The first field of that name.
  std::optional<std::string> value(std::string_view name) const;
  // Replaces every field of that name by one (in the first one's place).
  void set(std::string_view name, std::string value);
  // Appends a field, also when one of that name exists.
  void add(std::string_view name, std::string value);
  void remove(std::string_view name);
  bool contains(std::string_view name) const { return value(name).has_value(); }

  const std::vector<Field>& fields() const { return fields_; }
  bool empty() const { return fields_.empty(); }

 private:
  std::vector<Field> fields_;
};

bool equalsIgnoringCase(std::string_view a, std::string_view b);

struct URLRequest {
  URLRequest() = default;
  explicit URLRequest(URL u) : url(std::move(u)) {}

  URL url;
  std::string httpMethod = "GET";
  HTTPHeaders headers;
  // The body: data, or a stream (setting one drops the other). A stream's
  // length comes from the "Content-Length" header; without one it is sent
  // chunked.
  std::optional<Data> httpBody;
  std::shared_ptr<InputStream> httpBodyStream;
  // Seconds a connect or a stalled transfer may take before it fails with
  // NSURLErrorTimedOut.
  double timeoutInterval = 60.0;

  std::optional<std::string> valueForHTTPHeaderField(std::string_view name) const { return headers.value(name); }
  // nullopt removes the field.
  void setValueForHTTPHeaderField(std::optional<std::string> value, std::string_view name);
  void setHTTPBody(Data body);
  void setHTTPBodyStream(std::shared_ptr<InputStream> stream);
};

struct HTTPURLResponse {
  URL url;
  int statusCode = 0;
  HTTPHeaders headers;
  // From "Content-Length"; -1 when the length is not known.
  int64_t expectedContentLength = -1;

  std::optional<std::string> valueForHTTPHeaderField(std::string_view name) const { return headers.value(name); }
};

// How a transfer decides whether to trust a server's certificate.
// - SystemDefault: the chain is verified against the trusted authorities
//   and the certificate must name the host.
// - Pinned: the pins alone decide. A pinned certificate is trusted two
//   ways: the server's certificate carries its public key (neither chain
//   nor names are consulted, so a self-signed server can be pinned), or the
//   server's chain verifies up to it as the only trust anchor and the
//   certificate names the host (so a pinned authority or intermediate
//   stands for the servers it signs). Each way is a handshake of its own.
// - SystemOrPinned: either is enough. The transfer first asks for the
//   system's check; when that refuses the certificate, the pinned
//   handshakes follow.
// - Reject: nothing is trusted; no connection is made.
// Pins are certificates as DER; data that is not a certificate pins
// nothing, and a pinned policy without one usable pin refuses at once.
struct ServerTrustPolicy {
  enum class Kind { SystemDefault, Pinned, SystemOrPinned, Reject };
  Kind kind = Kind::SystemDefault;
  std::vector<Data> pinnedCertificates;

  static ServerTrustPolicy systemDefault() { return {}; }
  static ServerTrustPolicy pinned(std::vector<Data> certificates) {
    return {Kind::Pinned, std::move(certificates)};
  }
  static ServerTrustPolicy systemOrPinned(std::vector<Data> certificates) {
    return {Kind::SystemOrPinned, std::move(certificates)};
  }
  static ServerTrustPolicy reject() { return {Kind::Reject, {}}; }
};

}  // namespace platform
