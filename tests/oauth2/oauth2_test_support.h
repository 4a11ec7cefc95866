#pragma once
// Shared pieces of the OAuth2 tests: a temporary keychain directory, a
// client delegate that records its events, and readers for the multipart
// bodies the loopback server receives.

#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
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
