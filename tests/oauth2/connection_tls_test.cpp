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

// The trust modes against a server with a certificate an authority signed
// and one with a self-signed certificate.
TEST_F(ConnectionTLSTest, TrustModesPinsAndTheSystemCheck) {
  TestHttpServer authoritySigned(ok, certificates().identity());
  TestHttpServer selfSigned(ok, certificates().selfSignedIdentity());
  constexpr NXOAuth2TrustMode kAny = NXOAuth2TrustModeAnyCertificate;
  constexpr NXOAuth2TrustMode kSystem = NXOAuth2TrustModeSystemDefault;
  constexpr NXOAuth2TrustMode kPinned = NXOAuth2TrustModeSpecificCertificate;
  const std::vector<uint8_t> selfPin = certificates().selfSignedDer;
  const std::vector<uint8_t> leafPin = certificates().leafDer;
  const std::vector<uint8_t> authorityPin = certificates().caDer;
  const std::vector<uint8_t> wrongPin = certificates().otherCaDer;
  struct Row {
    const char* what;
    TestHttpServer& server;
    std::optional<NXOAuth2TrustMode> mode;
    std::vector<uint8_t> pin;
    bool loads;
  } rows[] = {
      {"no answer means the system's check", authoritySigned, std::nullopt, {}, true},
      {"no answer, self-signed", selfSigned, std::nullopt, {}, false},
      {"system default", authoritySigned, kSystem, {}, true},
      {"system default, self-signed", selfSigned, kSystem, {}, false},
      {"any certificate is the system's check", authoritySigned, kAny, {}, true},
      {"any certificate, self-signed, is refused", selfSigned, kAny, {}, false},
      {"pinned, right pin, self-signed", selfSigned, kPinned, selfPin, true},
      {"pinned, wrong pin, self-signed", selfSigned, kPinned, wrongPin, false},
      {"pinned, no pin, self-signed", selfSigned, kPinned, {}, false},
      {"pinned, wrong pin, authority-signed", authoritySigned, kPinned, wrongPin, false},
      {"pinned, right pin, authority-signed", authoritySigned, kPinned, leafPin, true},
      {"pinned, authority pinned, authority-signed", authoritySigned, kPinned, authorityPin, true},
      {"system or pinned, right pin, self-signed", selfSigned, kSystem | kPinned, selfPin, true},
      {"system or pinned, wrong pin, self-signed", selfSigned, kSystem | kPinned, wrongPin, false},
      {"system or pinned, wrong pin, authority-signed", authoritySigned, kSystem | kPinned, wrongPin, true},
      {"any or pinned, right pin, self-signed", selfSigned, kAny | kPinned, selfPin, true},
      {"any or pinned, wrong pin, self-signed", selfSigned, kAny | kPinned, wrongPin, false},
      {"no bits", authoritySigned, 0u, {}, false},
  };
  platform::URLConnection::setTrustedCertificateAuthorities(caFile_);
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    delegate_.mode = row.mode;
    delegate_.pins = row.pin.empty() ? std::vector<platform::Data>{} : std::vector<platform::Data>{row.pin};
    const size_t before = row.server.requestCount();
    const HandlerResult r = get(row.server.url("/me.json"), client(row.server));
    EXPECT_EQ(!r.error, row.loads) << (r.error ? r.error->localizedDescription() : "");
    if (r.error) {
      EXPECT_EQ(r.error->code, platform::NSURLErrorServerCertificateUntrusted);
    }
    EXPECT_EQ(row.server.requestCount() - before, row.loads ? 1u : 0u);
  }
}

}  // namespace
