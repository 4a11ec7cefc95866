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
using igbtest::TlsIdentity;
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

TEST_F(TLSTest, AHostNameMismatchIsRefusedByTheSystemCheck) {
  TestHttpServer server(ok, certificates().wrongHostIdentity());
  URLConnection::setTrustedCertificateAuthorities(caFile_);
  const RecordingDelegate d = get(server, ServerTrustPolicy::systemDefault());
  ASSERT_TRUE(d.error);
  EXPECT_EQ(d.error->code, platform::NSURLErrorServerCertificateUntrusted);
  EXPECT_EQ(server.requestCount(), 0u);
}

// A pinned certificate is trusted two ways, each tried in a handshake of
// its own: as the server's own key (neither the chain nor the name is
// consulted, so a self-signed server is reached), or as the only trust
// anchor of the server's chain, with the name checked (so a pinned
// authority stands for the servers it signs for this host). System or
// pinned: a chain that verifies against the system is enough; one that
// does not gets the pinned handshakes.
TEST_F(TLSTest, PinsDecideAloneOrStandInForTheSystemCheck) {
  const TestCertificates& c = certificates();
  const TlsIdentity authoritySigned = c.identity();
  const TlsIdentity selfSigned = c.selfSignedIdentity();
  const TlsIdentity wrongHost = c.wrongHostIdentity();
  using P = ServerTrustPolicy;
  using Pins = std::vector<platform::Data>;
  struct Case {
    const char* what;
    const TlsIdentity& identity;
    bool trustCA;
    ServerTrustPolicy policy;
    bool loads;
    size_t handshakes;
  };
  const Case cases[] = {
      {"system: an authority-signed server", authoritySigned, true, P::systemDefault(), true, 1},
      {"system: the authority unknown", authoritySigned, false, P::systemDefault(), false, 1},
      {"system: a self-signed server", selfSigned, true, P::systemDefault(), false, 1},
      {"pinned: the right pin on a self-signed server", selfSigned, false, P::pinned(Pins{c.selfSignedDer}), true, 1},
      {"pinned: a wrong pin on a self-signed server", selfSigned, false, P::pinned(Pins{c.otherCaDer}), false, 2},
      {"pinned: one right pin among others", selfSigned, false, P::pinned(Pins{c.otherCaDer, c.selfSignedDer}), true, 1},
      {"pinned: the leaf, its authority unknown", authoritySigned, false, P::pinned(Pins{c.leafDer}), true, 1},
      {"pinned: the authority, unknown to the system", authoritySigned, false, P::pinned(Pins{c.caDer}), true, 2},
      {"pinned: the authority, known to the system", authoritySigned, true, P::pinned(Pins{c.caDer}), true, 2},
      {"pinned: a wrong authority", authoritySigned, true, P::pinned(Pins{c.otherCaDer}), false, 2},
      {"pinned: the authority does not vouch for another name", wrongHost, true, P::pinned(Pins{c.caDer}), false, 2},
      {"pinned: another certificate of the same key", authoritySigned, false, P::pinned(Pins{c.wrongHostLeafDer}), true, 1},
      {"pinned: the name is not checked for the server's key", wrongHost, false, P::pinned(Pins{c.leafDer}), true, 1},
      {"either: the chain verifies, the pin is wrong", authoritySigned, true, P::systemOrPinned(Pins{c.otherCaDer}), true, 1},
      {"either: a self-signed server, the right pin", selfSigned, true, P::systemOrPinned(Pins{c.selfSignedDer}), true, 2},
      {"either: a self-signed server, a wrong pin", selfSigned, true, P::systemOrPinned(Pins{c.otherCaDer}), false, 3},
      {"either: the authority unknown, the authority pinned", authoritySigned, false, P::systemOrPinned(Pins{c.caDer}), true, 3},
      {"either: a wrong name, the right pin", wrongHost, true, P::systemOrPinned(Pins{c.leafDer}), true, 2},
      {"either: no pins is the system check", selfSigned, true, P::systemOrPinned(Pins{}), false, 1},
      {"either: no certificate among the pins", selfSigned, true, P::systemOrPinned(Pins{{1, 2, 3}}), false, 1},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.what);
    URLConnection::setTrustedCertificateAuthorities(k.trustCA ? std::optional(caFile_) : std::nullopt);
    // A server of its own: no connection of an earlier case is reused.
    TestHttpServer server(ok, k.identity);
    const RecordingDelegate d = get(server, k.policy);
    EXPECT_EQ(d.finished, k.loads) << (d.error ? d.error->localizedDescription() : "");
    if (k.loads) {
      EXPECT_EQ(d.body, "{\"secure\":true}");
    } else {
      ASSERT_TRUE(d.error);
      EXPECT_EQ(d.error->code, platform::NSURLErrorServerCertificateUntrusted);
    }
    // Nothing of the request goes out over a connection that is refused.
    EXPECT_EQ(server.requestCount(), k.loads ? 1u : 0u);
    EXPECT_EQ(server.connectionCount(), k.handshakes);
    // The second handshake is the transfer's own: the policy is asked once.
    EXPECT_EQ(d.trustHosts.size(), 1u);
  }
}

// A connection that only a pin let in must never carry a transfer that
// asks for the system's check, nor the other way round. libcurl keeps
// connections of differing TLS settings apart by itself; on top of that a
// pinned transfer always makes its own handshake and leaves no connection
// behind, while transfers under the system's check share one.
TEST_F(TLSTest, ConnectionsAreNotSharedAcrossTrustPolicies) {
  const TestCertificates& c = certificates();
  TestHttpServer selfSigned(ok, c.selfSignedIdentity());
  TestHttpServer authoritySigned(ok, c.identity());
  URLConnection::setTrustedCertificateAuthorities(caFile_);
  using Pins = std::vector<platform::Data>;
  const ServerTrustPolicy pin = ServerTrustPolicy::pinned(Pins{c.selfSignedDer});
  EXPECT_TRUE(get(selfSigned, pin).finished);
  const RecordingDelegate system = get(selfSigned, ServerTrustPolicy::systemDefault());
  ASSERT_TRUE(system.error);
  EXPECT_EQ(system.error->code, platform::NSURLErrorServerCertificateUntrusted);
  EXPECT_TRUE(get(selfSigned, pin).finished);
  // Each pinned transfer and the refused one: a handshake each.
  EXPECT_EQ(selfSigned.connectionCount(), 3u);

  EXPECT_TRUE(get(authoritySigned, ServerTrustPolicy::systemDefault()).finished);
  const RecordingDelegate wrongPin = get(authoritySigned, ServerTrustPolicy::pinned(Pins{c.otherCaDer}));
  ASSERT_TRUE(wrongPin.error);
  EXPECT_EQ(wrongPin.error->code, platform::NSURLErrorServerCertificateUntrusted);
  EXPECT_TRUE(get(authoritySigned, ServerTrustPolicy::systemDefault()).finished);
  // The system's transfers share one connection; the pinned one made two
  // handshakes of its own (the server's key, then the pins as anchors).
  EXPECT_EQ(authoritySigned.connectionCount(), 3u);
  EXPECT_EQ(selfSigned.requestCount(), 2u);
  EXPECT_EQ(authoritySigned.requestCount(), 2u);
}

// A server that presents no certificate gives a pin nothing to match, and
// libcurl skips the pin check then: a pinned handshake must not agree to a
// cipher suite without server authentication, whatever the system's
// default cipher list allows. (This binary runs these tests once more with
// a configuration whose default list offers anonymous suites.)
TEST_F(TLSTest, APinnedHandshakeRefusesAServerWithoutACertificate) {
  const TestCertificates& c = certificates();
  TestHttpServer server(ok, TlsIdentity::anonymous());
  using Pins = std::vector<platform::Data>;
  for (const ServerTrustPolicy& policy :
       {ServerTrustPolicy::pinned(Pins{c.selfSignedDer}), ServerTrustPolicy::systemOrPinned(Pins{c.caDer})}) {
    const RecordingDelegate d = get(server, policy);
    EXPECT_FALSE(d.finished);
    ASSERT_TRUE(d.error);
    EXPECT_TRUE(d.error->code == platform::NSURLErrorServerCertificateUntrusted ||
                d.error->code == platform::NSURLErrorSecureConnectionFailed)
        << d.error->localizedDescription();
  }
  EXPECT_EQ(server.requestCount(), 0u);
}

// The handshake that fails verification sends nothing of the body, so the
// pinned retry sends it whole, from the same stream when none of it was
// read.
TEST_F(TLSTest, TheRetryWithThePinSendsTheBodyOnce) {
  const TestCertificates& c = certificates();
  const std::string payload(100000, 'p');
  for (const bool stream : {false, true}) {
    SCOPED_TRACE(stream ? "stream body" : "data body");
    TestHttpServer server([](const HttpRequest& r) { return HttpResponse::json(200, "{\"got\":" + std::to_string(r.bodyLength) + "}"); },
                          c.selfSignedIdentity());
    RecordingDelegate d;
    d.trust = ServerTrustPolicy::systemOrPinned({c.selfSignedDer});
    URLRequest req(*URL::withString(server.url("/upload")));
    req.httpMethod = "POST";
    req.timeoutInterval = 5.0;
    if (stream) {
      req.setHTTPBodyStream(std::make_shared<platform::DataInputStream>(igbtest::bytesOf(payload)));
      req.setValueForHTTPHeaderField(std::to_string(payload.size()), "Content-Length");
    } else {
      req.setHTTPBody(igbtest::bytesOf(payload));
    }
    auto connection = URLConnection::make(req, &d);
    connection->start();
    ASSERT_TRUE(pumpMainLoopUntil([&] { return d.done(); }));
    ASSERT_TRUE(d.finished) << (d.error ? d.error->localizedDescription() : "");
    EXPECT_EQ(d.body, "{\"got\":100000}");
    EXPECT_EQ(d.newBodyStreams, 0);
    const auto requests = server.requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].body, payload);
    // The refused handshake, then the pinned one.
    EXPECT_EQ(server.connectionCount(), 2u);
  }
}

TEST_F(TLSTest, ARejectingPolicyNeverConnects) {
  TestHttpServer server(ok, certificates().identity());
  URLConnection::setTrustedCertificateAuthorities(caFile_);
  for (const ServerTrustPolicy& policy :
       {ServerTrustPolicy::reject(), ServerTrustPolicy::pinned({}), ServerTrustPolicy::pinned({{1, 2, 3}})}) {
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
