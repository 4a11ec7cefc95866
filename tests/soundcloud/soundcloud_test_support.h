#pragma once
// The sharing layer's tests: a loopback stand-in for the service (token
// endpoint plus whatever the test scripts), a bundle whose information
// dictionary holds the client keys, a fresh keychain and documents folder,
// and a signed-in account.

#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <map>
#include <mutex>
#include <string>

#include "oauth2/nxoauth2_account_store.h"
#include "oauth2/nxoauth2_url_encoding.h"
#include "platform/foundation/bundle.h"
#include "platform/foundation/property_list.h"
#include "platform/notify/notification_center.h"
#include "soundcloud-sdk/sc_soundcloud.h"
#include "soundcloud/ts_info_keys.h"
#include "tests/oauth2/oauth2_test_support.h"

namespace igbtest {

class FakeService {
 public:
  using Script = std::function<HttpResponse(const HttpRequest&)>;

  FakeService() : server_([this](const HttpRequest& r) { return handle(r); }) {}

  std::string url(const std::string& path) const { return server_.url(path); }
  TestHttpServer& server() { return server_; }
  // The token endpoint's status for refresh grants (200: a new token).
  void setRefreshStatus(int status) {
    std::lock_guard<std::mutex> lock(mutex_);
    refreshStatus_ = status;
  }
  void setScript(Script script) {
    std::lock_guard<std::mutex> lock(mutex_);
    script_ = std::move(script);
  }
  // The requests other than the token endpoint's, in order.
  std::vector<HttpRequest> apiRequests() const {
    std::vector<HttpRequest> out;
    for (auto& r : server_.requests())
      if (r.path != "/oauth2/token") out.push_back(r);
    return out;
  }

  static HttpResponse reply(int status, std::string body) { return HttpResponse::json(status, std::move(body)); }

 private:
  HttpResponse handle(const HttpRequest& r) {
    Script script;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (r.path == "/oauth2/token") {
        if (refreshStatus_ != 200 && formMap(r)["grant_type"] == "refresh_token")
          return HttpResponse::json(refreshStatus_, "{\"error\":\"invalid_grant\"}");
        ++issued_;
        return HttpResponse::json(200, "{\"access_token\":\"tok-" + std::to_string(issued_) +
                                           "\",\"refresh_token\":\"ref\",\"expires_in\":21599,\"scope\":\"*\"}");
      }
      script = script_;
    }
    if (script) return script(r);
    return HttpResponse::json(200, "{}");
  }

  mutable std::mutex mutex_;
  int issued_ = 0;
  int refreshStatus_ = 200;
  Script script_;
  TestHttpServer server_;
};

// The base of the sharing layer's network tests.
class SharingTest : public OAuth2Test {
 protected:
  void SetUp() override {
    OAuth2Test::SetUp();
    const char* old = std::getenv("IGROOVEBIX_HOME");
    if (old) savedHome_ = old;
    ::setenv("IGROOVEBIX_HOME", documents().c_str(), 1);
    std::filesystem::create_directories(documents());
    writeInfo({{"SCConsumerKey", platform::Value("consumer-key")},
               {"SCSecretKey", platform::Value("consumer-secret")},
               {"SCCallbackURL", platform::Value("x-igroovebix://soundcloud/callback")},
               {"SCApplicationID", platform::Value("4242")}});
    nxoauth2::NXOAuth2AccountStore::resetSharedStoreForTesting();
    scsdk::SCSoundCloud::setServiceEndpoints(
        {*platform::URL::withString(sc_.url("/connect")), *platform::URL::withString(sc_.url("/oauth2/token")),
         *platform::URL::withString(sc_.url("/")), *platform::URL::withString(sc_.url("/sandbox/oauth2/token"))});
    scsdk::SCSoundCloud::setClientID("consumer-key", "consumer-secret",
                                     *platform::URL::withString("x-igroovebix://soundcloud/callback"));
    platform::NotificationCenter::defaultCenter().addObserver(
        this, scsdk::SCSoundCloudAccountDidChangeNotification, [this](const platform::Notification&) { ++accountChanges_; });
  }
  void TearDown() override {
    platform::NotificationCenter::defaultCenter().removeObserver(this);
    nxoauth2::NXOAuth2AccountStore::resetSharedStoreForTesting();
    scsdk::SCSoundCloud::setServiceEndpoints(scsdk::SCServiceEndpoints::standard());
    platform::Bundle::setMainBundlePath(std::nullopt);
    tssc::tsForgetInfoKeys();
    if (savedHome_)
      ::setenv("IGROOVEBIX_HOME", savedHome_->c_str(), 1);
    else
      ::unsetenv("IGROOVEBIX_HOME");
    OAuth2Test::TearDown();
  }

  // Replaces the bundle's information dictionary.
  void writeInfo(const platform::Dictionary& info) {
    std::filesystem::create_directories(bundle_.path());
    ASSERT_TRUE(platform::writePropertyList(bundle_.path() / "Info.plist", platform::Value(info)));
    platform::Bundle::setMainBundlePath(bundle_.path());
    tssc::tsForgetInfoKeys();
  }
  std::filesystem::path documents() const { return keychain_.root() / "Documents"; }

  bool signIn() {
    const int before = accountChanges_;
    scsdk::SCSoundCloud::shared().requestAccessWithUsername("dj", "secret");
    return pumpMainLoopUntil([&] { return accountChanges_ > before; }) && scsdk::SCSoundCloud::account();
  }
  // Runs the loop until the server has seen `n` requests besides the token's.
  bool waitForRequests(size_t n, double seconds = 10.0) {
    return pumpMainLoopUntil([&] { return sc_.apiRequests().size() >= n; }, seconds);
  }
  static std::map<std::string, std::string> query(const HttpRequest& r) {
    return nxoauth2::nxoauth2_parametersFromEncodedQueryString(r.query);
  }

  FakeService sc_;
  TempDir bundle_;
  int accountChanges_ = 0;
  std::optional<std::string> savedHome_;
};

}  // namespace igbtest
