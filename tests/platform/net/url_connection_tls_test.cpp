#include <gtest/gtest.h>

#include "platform/net/url_connection.h"
#include "tests/platform/net/net_test_support.h"
#include "tests/platform/net/test_http_server.h"

using igbtest::HttpRequest;
using igbtest::HttpResponse;
using igbtest::pumpMainLoopUntil;
using igbtest::RecordingDelegate;
using igbtest::TestCertificates;
using igbtest::TestHttpServer;
using platform::ServerTrustPolicy;
using platform::URL;
using platform::URLConnection;
using platform::URLRequest;

namespace {

const TestCertificates& certificates() {
  static const TestCertificates c = TestCertificates::make();
  return c;
}

class TLSTest : public ::testing::Test {
 protected:
  void SetUp() override { caFile_ = certificates().writeCAFile(dir_.path()); }
  void TearDown() override {
    URLConnection::setTrustedCertificateAuthorities(std::nullopt);
    EXPECT_TRUE(pumpMainLoopUntil([] { return URLConnection::activeConnectionCount() == 0; }, 5.0));
  }

  // Runs one GET with that trust policy against `server`.
  RecordingDelegate get(TestHttpServer& server, ServerTrustPolicy policy, const std::string& host = "127.0.0.1") {
    RecordingDelegate d;
    d.trust = std::move(policy);
    URLRequest req(*URL::withString("https://" + host + ":" + std::to_string(server.port()) + "/me.json"));
    req.timeoutInterval = 5.0;
    auto c = URLConnection::make(req, &d);
    c->start();
    EXPECT_TRUE(pumpMainLoopUntil([&] { return d.done(); }));
    return d;
  }

  igbtest::TempDir dir_;
  std::filesystem::path caFile_;
};

HttpResponse ok(const HttpRequest&) { return HttpResponse::json(200, "{\"secure\":true}"); }

TEST_F(TLSTest, AnUnknownAuthorityIsRefused) {
  TestHttpServer server(ok, certificates().identity());
  const RecordingDelegate d = get(server, ServerTrustPolicy::systemDefault());
  ASSERT_TRUE(d.error);
  EXPECT_EQ(d.error->code, platform::NSURLErrorServerCertificateUntrusted);
  EXPECT_EQ(server.requestCount(), 0u);
}

TEST_F(TLSTest, TheTestAuthorityIsTrustedOnceSet) {
  TestHttpServer server(ok, certificates().identity());
  URLConnection::setTrustedCertificateAuthorities(caFile_);
  const RecordingDelegate d = get(server, ServerTrustPolicy::systemDefault());
  ASSERT_TRUE(d.finished) << (d.error ? d.error->localizedDescription() : "");
  EXPECT_EQ(d.body, "{\"secure\":true}");
  EXPECT_EQ(d.trustHosts, (std::vector<std::string>{"127.0.0.1"}));
}

TEST_F(TLSTest, AHostNameMismatchIsRefusedEvenWithAPin) {
  TestHttpServer server(ok, certificates().wrongHostIdentity());
  URLConnection::setTrustedCertificateAuthorities(caFile_);
  for (const ServerTrustPolicy& policy :
       {ServerTrustPolicy::systemDefault(), ServerTrustPolicy::pinned({certificates().wrongHostLeafDer})}) {
    const RecordingDelegate d = get(server, policy);
    ASSERT_TRUE(d.error);
    EXPECT_EQ(d.error->code, platform::NSURLErrorServerCertificateUntrusted);
  }
  EXPECT_EQ(server.requestCount(), 0u);
}

TEST_F(TLSTest, PinsAddACheckOnTopOfVerification) {
  TestHttpServer server(ok, certificates().identity());
  struct Case {
    const char* what;
    bool trustCA;
    std::vector<uint8_t> pin;
    bool loads;
  };
  const Case cases[] = {
      {"leaf pinned", true, certificates().leafDer, true},
      {"authority pinned", true, certificates().caDer, true},
      {"unrelated pin", true, certificates().otherCaDer, false},
      {"pinned leaf but unknown authority", false, certificates().leafDer, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    URLConnection::setTrustedCertificateAuthorities(c.trustCA ? std::optional(caFile_) : std::nullopt);
    const size_t before = server.requestCount();
    const RecordingDelegate d = get(server, ServerTrustPolicy::pinned({c.pin}));
    EXPECT_EQ(d.finished, c.loads) << (d.error ? d.error->localizedDescription() : "");
    if (!c.loads) {
      ASSERT_TRUE(d.error);
      EXPECT_EQ(d.error->code, platform::NSURLErrorServerCertificateUntrusted);
    }
    // Nothing of the request goes out over a refused connection.
    EXPECT_EQ(server.requestCount() - before, c.loads ? 1u : 0u);
  }
}

TEST_F(TLSTest, ARejectingPolicyNeverConnects) {
  TestHttpServer server(ok, certificates().identity());
  URLConnection::setTrustedCertificateAuthorities(caFile_);
  for (const ServerTrustPolicy& policy : {ServerTrustPolicy::reject(), ServerTrustPolicy::pinned({})}) {
    const RecordingDelegate d = get(server, policy);
    ASSERT_TRUE(d.error);
    EXPECT_EQ(d.error->code, platform::NSURLErrorServerCertificateUntrusted);
  }
  EXPECT_EQ(server.connectionCount(), 0u);
}

TEST_F(TLSTest, PlainHttpNeverAsksForATrustPolicy) {
  TestHttpServer server(ok);
  RecordingDelegate d;
  auto c = URLConnection::make(URLRequest(*URL::withString(server.url("/x"))), &d);
  c->start();
  ASSERT_TRUE(pumpMainLoopUntil([&] { return d.done(); }));
  EXPECT_TRUE(d.finished);
  EXPECT_TRUE(d.trustHosts.empty());
}

}  // namespace
