#pragma once
// Shared pieces of the OAuth2 tests: a temporary keychain directory, a
// client delegate that records its events, readers for the multipart
// bodies the loopback server receives, and the PKCE bookkeeping of an
// authorization server that insists on it.

#include <gtest/gtest.h>
#include <openssl/evp.h>

#include <algorithm>
#include <cstdlib>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "oauth2/nxoauth2_client.h"
#include "platform/net/url_connection.h"
#include "platform/notify/notification_center.h"
#include "platform/runloop/run_loop.h"
#include "tests/platform/net/test_http_server.h"

namespace igbtest {

// Points the keychain at a fresh temporary directory for the test's life.
class ScopedKeychainHome {
 public:
  ScopedKeychainHome() {
    const char* old = std::getenv("IGROOVEBIX_KEYCHAIN_HOME");
    if (old) saved_ = old;
    ::setenv("IGROOVEBIX_KEYCHAIN_HOME", (dir_.path() / "keychain").c_str(), 1);
  }
  ~ScopedKeychainHome() {
    if (saved_)
      ::setenv("IGROOVEBIX_KEYCHAIN_HOME", saved_->c_str(), 1);
    else
      ::unsetenv("IGROOVEBIX_KEYCHAIN_HOME");
  }
  std::filesystem::path keychainDir() const { return dir_.path() / "keychain"; }
  const std::filesystem::path& root() const { return dir_.path(); }

 private:
  TempDir dir_;
  std::optional<std::string> saved_;
};

struct RecordingClientDelegate : nxoauth2::NXOAuth2ClientDelegate {
  std::vector<std::string> events;
  std::vector<platform::Error> errors;

  void oauthClientNeedsAuthentication(nxoauth2::NXOAuth2Client&) override { events.push_back("needs"); }
  void oauthClientDidGetAccessToken(nxoauth2::NXOAuth2Client&) override { events.push_back("got"); }
  void oauthClientDidLoseAccessToken(nxoauth2::NXOAuth2Client&) override { events.push_back("lost"); }
  void oauthClientDidRefreshAccessToken(nxoauth2::NXOAuth2Client&) override { events.push_back("refreshed"); }
  void oauthClientDidFailToGetAccessTokenWithError(nxoauth2::NXOAuth2Client&, const platform::Error& e) override {
    events.push_back("failed " + e.domain + " " + std::to_string(e.code));
    errors.push_back(e);
  }
};

// The form fields of a multipart request, in order: name → content.
inline std::vector<std::pair<std::string, std::string>> formFields(const HttpRequest& request) {
  std::vector<std::pair<std::string, std::string>> fields;
  auto boundary = boundaryOf(request.header("Content-Type").value_or(""));
  if (!boundary) return fields;
  auto parts = parseMultipart(request.body, *boundary);
  if (!parts) return fields;
  for (auto& p : *parts) fields.emplace_back(p.name.value_or("?"), p.content);
  return fields;
}

inline std::map<std::string, std::string> formMap(const HttpRequest& request) {
  std::map<std::string, std::string> m;
  for (auto& [k, v] : formFields(request)) m[k] = v;
  return m;
}

inline std::vector<std::string> fieldNames(const HttpRequest& request) {
  std::vector<std::string> names;
  for (auto& [k, v] : formFields(request)) names.push_back(k);
  return names;
}

// The loop must be clean and the clock real when a case starts and ends.
class OAuth2Test : public ::testing::Test {
 protected:
  void SetUp() override { platform::RunLoop::main().setClock(nullptr); }
  void TearDown() override {
    EXPECT_TRUE(pumpMainLoopUntil([] { return platform::URLConnection::activeConnectionCount() == 0; }, 5.0));
    platform::RunLoop::main().setClock(nullptr);
    platform::RunLoop::main().drain();
  }
  ScopedKeychainHome keychain_;
};

// BASE64URL(SHA256(verifier)) without padding, worked out here on its own
// (OpenSSL's EVP digest and base64), not with the code under test.
inline std::string pkceS256(const std::string& verifier) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  EVP_Digest(verifier.data(), verifier.size(), digest, &length, EVP_sha256(), nullptr);
  std::string b64(4 * ((length + 2) / 3) + 1, '\0');
  b64.resize(static_cast<size_t>(EVP_EncodeBlock(reinterpret_cast<unsigned char*>(b64.data()), digest, static_cast<int>(length))));
  std::replace(b64.begin(), b64.end(), '+', '-');
  std::replace(b64.begin(), b64.end(), '/', '_');
  b64.erase(std::remove(b64.begin(), b64.end(), '='), b64.end());
  return b64;
}

// An authorization server that enforces PKCE (RFC 7636 4.4.1, 4.6): the
// authorize step must carry an S256 challenge, and the code it issues is
// exchanged for a token only with the verifier that hashes to that
// challenge, once. Thread-safe: the loopback server's handlers run on its
// threads.
class PkceAuthority {
 public:
  // The code for an authorize request's query parameters, or nullopt when
  // they carry no S256 challenge (the server answers "invalid_request").
  std::optional<std::string> authorize(const std::map<std::string, std::string>& query) {
    const auto challenge = query.find("code_challenge");
    const auto method = query.find("code_challenge_method");
    if (challenge == query.end() || challenge->second.empty() || method == query.end() || method->second != "S256")
      return std::nullopt;
    std::lock_guard<std::mutex> lock(mutex_);
    const std::string code = "XYZ" + std::to_string(++issued_);
    challenges_[code] = challenge->second;
    return code;
  }
  // Whether a token request's code and verifier belong together; the code
  // is spent either way.
  bool redeem(const std::string& code, const std::optional<std::string>& verifier) {
    std::lock_guard<std::mutex> lock(mutex_);
    const auto it = challenges_.find(code);
    if (it == challenges_.end()) return false;
    const std::string challenge = it->second;
    challenges_.erase(it);
    return verifier && pkceS256(*verifier) == challenge;
  }

 private:
  std::mutex mutex_;
  int issued_ = 0;
  std::map<std::string, std::string> challenges_;
};

}  // namespace igbtest

namespace igbtest {

// What a connection's response handler was told.
struct HandlerResult {
  int calls = 0;
  std::optional<platform::HTTPURLResponse> response;
  std::string body;
  std::optional<platform::Error> error;
  std::vector<std::pair<uint64_t, uint64_t>> progress;

  nxoauth2::NXOAuth2ConnectionResponseHandler handler() {
    return [this](const std::optional<platform::HTTPURLResponse>& r, const platform::Data& d,
                  const std::optional<platform::Error>& e) {
      ++calls;
      response = r;
      body.assign(d.begin(), d.end());
      error = e;
    };
  }
  nxoauth2::NXOAuth2ConnectionSendingProgressHandler progressHandler() {
    return [this](uint64_t sent, uint64_t total) { progress.emplace_back(sent, total); };
  }
  bool done() const { return calls > 0; }
};

// Start and end notifications of connections, in order.
class ConnectionNotifications {
 public:
  ConnectionNotifications() {
    auto& c = platform::NotificationCenter::defaultCenter();
    c.addObserver(this, nxoauth2::NXOAuth2ConnectionDidStartNotification, [this](const platform::Notification& n) {
      log.emplace_back("start", *n.objectAs<nxoauth2::NXOAuth2Connection*>());
    });
    c.addObserver(this, nxoauth2::NXOAuth2ConnectionDidEndNotification, [this](const platform::Notification& n) {
      log.emplace_back("end", *n.objectAs<nxoauth2::NXOAuth2Connection*>());
    });
  }
  ~ConnectionNotifications() { platform::NotificationCenter::defaultCenter().removeObserver(this); }
  // The names posted for one connection.
  std::vector<std::string> of(const nxoauth2::NXOAuth2Connection* c) const {
    std::vector<std::string> names;
    for (auto& [name, conn] : log)
      if (conn == c) names.push_back(name);
    return names;
  }
  std::vector<std::pair<std::string, const nxoauth2::NXOAuth2Connection*>> log;
};

inline std::string tokenReply(const std::string& access, const std::string& refresh = "", int expiresIn = 3600) {
  std::string s = "{\"access_token\":\"" + access + "\",\"expires_in\":" + std::to_string(expiresIn);
  if (!refresh.empty()) s += ",\"refresh_token\":\"" + refresh + "\"";
  return s + ",\"scope\":\"non-expiring\"}";
}

}  // namespace igbtest
