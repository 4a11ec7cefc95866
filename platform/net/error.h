#pragma once
// Errors as the platform reports them: a domain, a code and a user-info
// dictionary whose "NSLocalizedDescription" is the text for people.
//
// URL loading reports in "NSURLErrorDomain" with the platform's codes (below),
// so callers that look for, say, "not connected" (-1009) find it.
//
// Thread-safe as a value.

#include <cstdint>
#include <optional>
#include <string>

#include "platform/foundation/value.h"

namespace platform {

inline constexpr const char* kNSLocalizedDescriptionKey = "NSLocalizedDescription";
inline constexpr const char* kNSURLErrorFailingURLStringErrorKey = "NSErrorFailingURLStringKey";
inline constexpr const char* kNSUnderlyingErrorReasonKey = "NSUnderlyingErrorReason";

inline constexpr const char* kNSURLErrorDomain = "NSURLErrorDomain";
enum NSURLErrorCode : int64_t {
  NSURLErrorUnknown = -1,
  NSURLErrorCancelled = -999,
  NSURLErrorBadURL = -1000,
  NSURLErrorTimedOut = -1001,
  NSURLErrorUnsupportedURL = -1002,
  NSURLErrorCannotFindHost = -1003,
  NSURLErrorCannotConnectToHost = -1004,
  NSURLErrorNetworkConnectionLost = -1005,
  NSURLErrorHTTPTooManyRedirects = -1007,
  NSURLErrorNotConnectedToInternet = -1009,
  NSURLErrorBadServerResponse = -1011,
  NSURLErrorRequestBodyStreamExhausted = -1021,
  NSURLErrorDataLengthExceedsMaximum = -1103,
  NSURLErrorSecureConnectionFailed = -1200,
  NSURLErrorServerCertificateUntrusted = -1202,
};

struct Error {
  std::string domain;
  int64_t code = 0;
  Dictionary userInfo;

  static Error make(std::string domain, int64_t code, const std::string& description);

  // The user-info description, or the platform's generic sentence naming
  // the domain and code.
  std::string localizedDescription() const;

  // As a dictionary {"domain", "code", "userInfo"}, for user-info
  // dictionaries of notifications, and back (nullopt for anything else).
  Value toValue() const;
  static std::optional<Error> fromValue(const Value& value);

  bool operator==(const Error&) const = default;
};

}  // namespace platform
