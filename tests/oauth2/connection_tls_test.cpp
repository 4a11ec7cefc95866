#include <gtest/gtest.h>

#include "oauth2/nxoauth2_client.h"
#include "oauth2/nxoauth2_connection.h"
#include "tests/oauth2/oauth2_test_support.h"

using namespace nxoauth2;
using igbtest::HandlerResult;
using igbtest::HttpRequest;
using igbtest::HttpResponse;
using igbtest::pumpMainLoopUntil;
using igbtest::TestCertificates;
using igbtest::TestHttpServer;
using platform::URL;
using platform::URLRequest;

namespace {

const TestCertificates& certificates() {
  static const TestCertificates c = TestCertificates::make();
  return c;
}

struct TrustingDelegate : igbtest::RecordingClientDelegate, NXOAuth2TrustDelegate {
  std::optional<NXOAuth2TrustMode> mode;
  std::vector<platform::Data> pins;
  std::vector<std::string> askedHosts;
  std::optional<NXOAuth2TrustMode> connectionTrustModeForHostname(NXOAuth2Connection&, const std::string& host) override {
    askedHosts.push_back(host);
    return mode;
  }
  std::optional<std::vector<platform::Data>> connectionTrustedCertificatesForHostname(NXOAuth2Connection&,
                                                                                     const std::string&) override {
    return pins;
  }
};

class ConnectionTLSTest : public igbtest::OAuth2Test {
 protected:
  void SetUp() override {
    igbtest::OAuth2Test::SetUp();
    caFile_ = certificates().writeCAFile(keychain_.root());
  }
  void TearDown() override {
    platform::URLConnection::setTrustedCertificateAuthorities(std::nullopt);
    igbtest::OAuth2Test::TearDown();
  }
  std::shared_ptr<NXOAuth2Client> client(TestHttpServer& server) {
    return NXOAuth2Client::make("cid", "secret", *URL::withString(server.url("/connect")),
                                *URL::withString(server.url("/oauth2/token")), NXOAuth2AccessToken::make("tok"),
                                std::nullopt, false, &delegate_);
  }
  HandlerResult get(const std::string& url, std::shared_ptr<NXOAuth2Client> c) {
    HandlerResult result;
    auto connection = NXOAuth2Connection::make(URLRequest(*URL::withString(url)), std::nullopt, std::move(c), nullptr,
                                               result.handler());
    EXPECT_TRUE(pumpMainLoopUntil([&] { return result.done(); }));
    return result;
  }

  TrustingDelegate delegate_;
  std::filesystem::path caFile_;
};

HttpResponse ok(const HttpRequest&) { return HttpResponse::json(200, "{}"); }

TEST_F(ConnectionTLSTest, ARedirectToPlainHttpDropsTheToken) {
  TestHttpServer plain(ok);
  TestHttpServer secure(
      [&](const HttpRequest& r) {
        if (r.path == "/down") return HttpResponse::redirect(302, plain.url("/landed"));
        if (r.path == "/stay") return HttpResponse::redirect(302, "/landed");
        return ok(r);
      },
      certificates().identity());
  platform::URLConnection::setTrustedCertificateAuthorities(caFile_);
  auto c = client(secure);
  EXPECT_FALSE(get(secure.url("/stay"), c).error);
  EXPECT_FALSE(get(secure.url("/down"), c).error);
  const auto secureRequests = secure.requests();
  ASSERT_EQ(secureRequests.size(), 3u);
  EXPECT_EQ(secureRequests[1].path, "/landed");
  EXPECT_EQ(secureRequests[1].header("Authorization"), "OAuth tok");
  ASSERT_EQ(plain.requests().size(), 1u);
  EXPECT_FALSE(plain.requests()[0].header("Authorization"));
  EXPECT_EQ(delegate_.askedHosts, (std::vector<std::string>{"127.0.0.1", "127.0.0.1", "127.0.0.1"}));
}

TEST_F(ConnectionTLSTest, TrustModesNeverAcceptWhatVerificationRefuses) {
  TestHttpServer server(ok, certificates().identity());
  struct Row {
    const char* what;
    std::optional<NXOAuth2TrustMode> mode;
    bool authorityTrusted;
    std::vector<uint8_t> pin;
    bool loads;
  } rows[] = {
      {"no answer means the system's check", std::nullopt, true, {}, true},
      {"system default", NXOAuth2TrustModeSystemDefault, true, {}, true},
      {"system default, unknown authority", NXOAuth2TrustModeSystemDefault, false, {}, false},
      {"any certificate is not honoured", NXOAuth2TrustModeAnyCertificate, false, {}, false},
      {"pinned leaf", NXOAuth2TrustModeSpecificCertificate, true, certificates().leafDer, true},
      {"pinned wrong certificate", NXOAuth2TrustModeSpecificCertificate, true, certificates().otherCaDer, false},
      {"system or pin, unknown authority, pin matches", NXOAuth2TrustModeSystemDefault | NXOAuth2TrustModeSpecificCertificate,
       false, certificates().leafDer, false},
      {"no bits", 0u, true, {}, false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    platform::URLConnection::setTrustedCertificateAuthorities(row.authorityTrusted ? std::optional(caFile_) : std::nullopt);
    delegate_.mode = row.mode;
    delegate_.pins = row.pin.empty() ? std::vector<platform::Data>{} : std::vector<platform::Data>{row.pin};
    const HandlerResult r = get(server.url("/me.json"), client(server));
    EXPECT_EQ(!r.error, row.loads) << (r.error ? r.error->localizedDescription() : "");
    if (r.error) {
      EXPECT_EQ(r.error->code, platform::NSURLErrorServerCertificateUntrusted);
    }
  }
}

}  // namespace
