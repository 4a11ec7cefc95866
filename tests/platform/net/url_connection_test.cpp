#include "platform/net/url_connection.h"

#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <fstream>

#include "platform/runloop/run_loop.h"
#include "tests/platform/net/net_test_support.h"
#include "tests/platform/net/test_http_server.h"

using igbtest::bytesOf;
using igbtest::HttpRequest;
using igbtest::HttpResponse;
using igbtest::pumpMainLoopUntil;
using igbtest::RecordingDelegate;
using igbtest::TestHttpServer;
using platform::URL;
using platform::URLConnection;
using platform::URLRequest;

namespace {

URLRequest requestFor(const std::string& url, const std::string& method = "GET") {
  URLRequest r(*URL::withString(url));
  r.httpMethod = method;
  return r;
}

std::shared_ptr<platform::InputStream> payloadStream() {
  return std::make_shared<platform::DataInputStream>(bytesOf("payload"));
}

// A POST of "payload" from a stream, its length declared.
URLRequest streamedPayloadPost(const std::string& url) {
  URLRequest req = requestFor(url, "POST");
  req.setHTTPBodyStream(payloadStream());
  req.headers.set("Content-Length", "7");
  return req;
}

class URLConnectionTest : public ::testing::Test {
 protected:
  void TearDown() override {
    // Nothing may be left running into the next case.
    EXPECT_TRUE(pumpMainLoopUntil([] { return URLConnection::activeConnectionCount() == 0; }, 5.0));
  }

  bool run(const std::shared_ptr<URLConnection>& c, RecordingDelegate& d, double timeout = 10.0) {
    c->start();
    return pumpMainLoopUntil([&] { return d.done(); }, timeout);
  }
};

TEST_F(URLConnectionTest, GetDeliversResponseThenBodyThenFinish) {
  TestHttpServer server([](const HttpRequest& r) {
    HttpResponse res = HttpResponse::json(200, "{\"path\":\"" + r.path + "\"}");
    res.headers.emplace_back("WWW-Authenticate", "OAuth realm=\"x\"");
    return res;
  });
  RecordingDelegate d;
  URLRequest req = requestFor(server.url("/me.json?limit=25&offset=50"));
  req.headers.set("Authorization", "OAuth abc");
  req.headers.set("X-Empty", "");
  auto c = URLConnection::make(req, &d);
  ASSERT_TRUE(run(c, d));
  EXPECT_EQ(d.events, (std::vector<std::string>{"response 200", "data", "finish"}));
  EXPECT_EQ(d.body, "{\"path\":\"/me.json\"}");
  ASSERT_TRUE(d.response);
  EXPECT_EQ(d.response->expectedContentLength, static_cast<int64_t>(d.body.size()));
  EXPECT_EQ(d.response->valueForHTTPHeaderField("www-authenticate"), "OAuth realm=\"x\"");
  EXPECT_EQ(d.response->url.absoluteString(), server.url("/me.json?limit=25&offset=50"));
  const auto reqs = server.requests();
  ASSERT_EQ(reqs.size(), 1u);
  EXPECT_EQ(reqs[0].method, "GET");
  EXPECT_EQ(reqs[0].target, "/me.json?limit=25&offset=50");
  EXPECT_EQ(reqs[0].header("Authorization"), "OAuth abc");
  EXPECT_EQ(reqs[0].header("X-Empty"), "");
  EXPECT_FALSE(reqs[0].header("Expect"));
  EXPECT_FALSE(c->isLoading());
}

TEST_F(URLConnectionTest, DataBodyIsSentWithItsLengthAndProgressEndsAtTheTotal) {
  TestHttpServer server([](const HttpRequest&) { return HttpResponse::json(201, "{}"); });
  std::string payload(300000, '\0');
  for (size_t i = 0; i < payload.size(); ++i) payload[i] = static_cast<char>(i * 7 + 3);
  RecordingDelegate d;
  URLRequest req = requestFor(server.url("/tracks.json"), "POST");
  req.headers.set("Content-Type", "application/octet-stream");
  req.setHTTPBody(bytesOf(payload));
  ASSERT_TRUE(run(URLConnection::make(req, &d), d));
  ASSERT_TRUE(d.finished);
  const auto reqs = server.requests();
  ASSERT_EQ(reqs.size(), 1u);
  EXPECT_EQ(reqs[0].method, "POST");
  EXPECT_EQ(reqs[0].header("Content-Length"), std::to_string(payload.size()));
  EXPECT_FALSE(reqs[0].chunked);
  EXPECT_EQ(reqs[0].body, payload);
  ASSERT_FALSE(d.progress.empty());
  int64_t last = 0, sum = 0;
  for (auto [written, total, expected] : d.progress) {
    EXPECT_GT(total, last);
    EXPECT_EQ(written, total - last);
    EXPECT_EQ(expected, static_cast<int64_t>(payload.size()));
    last = total;
    sum += written;
  }
  EXPECT_EQ(last, static_cast<int64_t>(payload.size()));
  EXPECT_EQ(sum, last);
}

TEST_F(URLConnectionTest, StreamBodiesTakeTheirLengthFromTheHeaderOrGoChunked) {
  TestHttpServer server([](const HttpRequest&) { return HttpResponse::json(200, "{}"); });
  igbtest::TempDir dir;
  const auto file = dir.path() / "body.bin";
  std::string content(100000, 'x');
  for (size_t i = 0; i < content.size(); i += 97) content[i] = static_cast<char>(i);
  std::ofstream(file, std::ios::binary) << content;

  for (bool withLength : {true, false}) {
    SCOPED_TRACE(withLength);
    server.clearRequests();
    RecordingDelegate d;
    URLRequest req = requestFor(server.url("/tracks/1.json"), "PUT");
    req.setHTTPBodyStream(std::make_shared<platform::FileInputStream>(file));
    if (withLength) req.headers.set("Content-Length", std::to_string(content.size()));
    ASSERT_TRUE(run(URLConnection::make(req, &d), d));
    ASSERT_TRUE(d.finished);
    const auto reqs = server.requests();
    ASSERT_EQ(reqs.size(), 1u);
    EXPECT_EQ(reqs[0].method, "PUT");
    EXPECT_EQ(reqs[0].body, content);
    EXPECT_EQ(reqs[0].chunked, !withLength);
    EXPECT_EQ(reqs[0].headerCount("Content-Length"), withLength ? 1u : 0u);
  }
}

TEST_F(URLConnectionTest, UnreadableBodyStreamFailsWithTheStreamsError) {
  TestHttpServer server([](const HttpRequest&) { return HttpResponse::json(200, "{}"); });
  RecordingDelegate d;
  URLRequest req = requestFor(server.url("/up"), "POST");
  req.setHTTPBodyStream(std::make_shared<platform::FileInputStream>("/nonexistent/igb/file.wav"));
  req.headers.set("Content-Length", "10");
  ASSERT_TRUE(run(URLConnection::make(req, &d), d));
  ASSERT_TRUE(d.error);
  EXPECT_EQ(d.error->domain, "NSPOSIXErrorDomain");
  EXPECT_EQ(d.error->code, ENOENT);
  EXPECT_EQ(server.requestCount(), 0u);
}

TEST_F(URLConnectionTest, RedirectsAskTheDelegateWhichMayRestoreMethodAndBody) {
  TestHttpServer server([](const HttpRequest& r) {
    if (r.path == "/old") return HttpResponse::redirect(302, "/new?x=1");
    return HttpResponse::json(200, "{\"method\":\"" + r.method + "\"}");
  });
  // The platform's own proposal: a POST answered with 302 becomes a GET
  // without body; this delegate keeps the method and rebuilds the body.
  RecordingDelegate d;
  std::optional<URLRequest> proposed;
  d.onRedirect = [&](URLRequest next, const platform::HTTPURLResponse&) -> std::optional<URLRequest> {
    proposed = next;
    next.httpMethod = "POST";
    next.setHTTPBodyStream(std::make_shared<platform::DataInputStream>(bytesOf("again")));
    next.headers.set("Content-Length", "5");
    return next;
  };
  URLRequest req = requestFor(server.url("/old"), "POST");
  req.setHTTPBody(bytesOf("first"));
  req.headers.set("Content-Type", "text/plain");
  auto c = URLConnection::make(req, &d);
  ASSERT_TRUE(run(c, d));
  ASSERT_TRUE(d.finished);
  EXPECT_EQ(d.events, (std::vector<std::string>{"redirect 302", "response 200", "data", "finish"}));
  ASSERT_TRUE(proposed);
  EXPECT_EQ(proposed->httpMethod, "GET");
  EXPECT_FALSE(proposed->httpBody);
  EXPECT_FALSE(proposed->headers.contains("Content-Type"));
  EXPECT_EQ(proposed->url.absoluteString(), server.url("/new?x=1"));
  const auto reqs = server.requests();
  ASSERT_EQ(reqs.size(), 2u);
  EXPECT_EQ(reqs[1].method, "POST");
  EXPECT_EQ(reqs[1].target, "/new?x=1");
  EXPECT_EQ(reqs[1].body, "again");
  EXPECT_EQ(c->currentRequest().url.absoluteString(), server.url("/new?x=1"));
  EXPECT_EQ(c->originalRequest().url.absoluteString(), server.url("/old"));
}

TEST_F(URLConnectionTest, A307ResendsTheBodyFromANewStream) {
  TestHttpServer server([](const HttpRequest& r) {
    if (r.path == "/old") return HttpResponse::redirect(307, "/new");
    return HttpResponse::json(200, "{}");
  });
  RecordingDelegate d;
  d.onNewBody = [](const URLRequest&) { return payloadStream(); };
  const URLRequest req = streamedPayloadPost(server.url("/old"));
  ASSERT_TRUE(run(URLConnection::make(req, &d), d));
  ASSERT_TRUE(d.finished);
  EXPECT_EQ(d.newBodyStreams, 1);
  const auto reqs = server.requests();
  ASSERT_EQ(reqs.size(), 2u);
  EXPECT_EQ(reqs[0].body, "payload");
  EXPECT_EQ(reqs[1].method, "POST");
  EXPECT_EQ(reqs[1].body, "payload");
}

// A kept-alive connection that dies under a request makes libcurl send it
// again on a new one, rewinding the body: the delegate's new stream is then
// the request's, so a redirect after it asks for another one rather than
// resend the one that was used up.
TEST_F(URLConnectionTest, AResentBodyStreamIsTheOneARedirectReplaces) {
  std::atomic<int> posts{0};
  TestHttpServer server([&posts](const HttpRequest& r) {
    if (r.path == "/old" && posts++ == 0) {
      HttpResponse dead = HttpResponse::json(200, "{}");
      dead.noReply = true;
      return dead;
    }
    if (r.path == "/old") return HttpResponse::redirect(307, "/new");
    return HttpResponse::json(200, "{}");
  });
  RecordingDelegate warm;
  ASSERT_TRUE(run(URLConnection::make(requestFor(server.url("/warm"), "GET"), &warm), warm));
  RecordingDelegate d;
  d.onNewBody = [](const URLRequest&) { return payloadStream(); };
  const URLRequest req = streamedPayloadPost(server.url("/old"));
  ASSERT_TRUE(run(URLConnection::make(req, &d), d));
  ASSERT_TRUE(d.finished) << (d.error ? d.error->localizedDescription() : "");
  EXPECT_EQ(d.newBodyStreams, 2);
  const auto reqs = server.requests();
  ASSERT_EQ(reqs.size(), 4u);
  EXPECT_EQ(reqs[1].connectionId, reqs[0].connectionId);
  EXPECT_NE(reqs[2].connectionId, reqs[1].connectionId);
  for (size_t i = 1; i < 4; ++i) {
    SCOPED_TRACE(reqs[i].target);
    EXPECT_EQ(reqs[i].method, "POST");
    EXPECT_EQ(reqs[i].body, "payload");
  }
  EXPECT_EQ(reqs[3].target, "/new");
}

TEST_F(URLConnectionTest, A307WithoutANewStreamFails) {
  TestHttpServer server([](const HttpRequest& r) {
    if (r.path == "/old") return HttpResponse::redirect(307, "/new");
    return HttpResponse::json(200, "{}");
  });
  RecordingDelegate d;
  const URLRequest req = streamedPayloadPost(server.url("/old"));
  ASSERT_TRUE(run(URLConnection::make(req, &d), d));
  ASSERT_TRUE(d.error);
  EXPECT_EQ(d.error->code, platform::NSURLErrorRequestBodyStreamExhausted);
  EXPECT_EQ(server.requestCount(), 1u);
}

TEST_F(URLConnectionTest, ADelegateThatStopsARedirectGetsTheRedirectAsTheAnswer) {
  TestHttpServer server([](const HttpRequest&) { return HttpResponse::redirect(302, "http://127.0.0.1:1/elsewhere"); });
  RecordingDelegate d;
  d.onRedirect = [](URLRequest, const platform::HTTPURLResponse&) { return std::optional<URLRequest>(); };
  ASSERT_TRUE(run(URLConnection::make(requestFor(server.url("/a")), &d), d));
  EXPECT_EQ(d.events, (std::vector<std::string>{"redirect 302", "response 302", "data", "finish"}));
  EXPECT_EQ(d.body, "moved");
  EXPECT_EQ(d.response->valueForHTTPHeaderField("Location"), "http://127.0.0.1:1/elsewhere");
  EXPECT_EQ(server.requestCount(), 1u);
}

TEST_F(URLConnectionTest, EndlessRedirectsStopWithTooManyRedirects) {
  TestHttpServer server([](const HttpRequest& r) {
    const int n = std::stoi(r.path.substr(1));
    return HttpResponse::redirect(301, "/" + std::to_string(n + 1));
  });
  RecordingDelegate d;
  ASSERT_TRUE(run(URLConnection::make(requestFor(server.url("/0")), &d), d));
  ASSERT_TRUE(d.error);
  EXPECT_EQ(d.error->domain, platform::kNSURLErrorDomain);
  EXPECT_EQ(d.error->code, platform::NSURLErrorHTTPTooManyRedirects);
  EXPECT_EQ(server.requestCount(), 17u);
}

TEST_F(URLConnectionTest, CancelStopsEveryCallback) {
  TestHttpServer server([](const HttpRequest&) {
    HttpResponse r;
    r.pieces = {"first", "second", "third", "fourth"};
    r.pause = std::chrono::milliseconds(150);
    return r;
  });
  RecordingDelegate d;
  std::shared_ptr<URLConnection> c = URLConnection::make(requestFor(server.url("/slow")), &d);
  d.onData = [](URLConnection& conn) { conn.cancel(); };
  c->start();
  ASSERT_TRUE(pumpMainLoopUntil([&] { return !d.body.empty(); }));
  EXPECT_FALSE(c->isLoading());
  // Long enough for the rest of the body to arrive were it still read.
  pumpMainLoopUntil([] { return false; }, 0.8);
  EXPECT_EQ(d.events, (std::vector<std::string>{"response 200", "data"}));
  EXPECT_EQ(d.body, "first");
  EXPECT_EQ(URLConnection::activeConnectionCount(), 0u);
}

TEST_F(URLConnectionTest, CancelBeforeAnyReplyAndDroppingTheLastReference) {
  TestHttpServer server([](const HttpRequest&) {
    HttpResponse r = HttpResponse::json(200, "{}");
    r.delay = std::chrono::milliseconds(300);
    return r;
  });
  RecordingDelegate d;
  {
    auto c = URLConnection::make(requestFor(server.url("/held")), &d);
    c->start();
    ASSERT_TRUE(pumpMainLoopUntil([&] { return server.requestCount() == 1; }));
    c->cancel();
  }
  pumpMainLoopUntil([] { return false; }, 0.6);
  EXPECT_TRUE(d.events.empty());
}

TEST_F(URLConnectionTest, FireAndForgetConnectionsLiveUntilTheyEnd) {
  TestHttpServer server([](const HttpRequest&) { return HttpResponse::json(200, "{\"ok\":1}"); });
  RecordingDelegate d;
  URLConnection::make(requestFor(server.url("/x")), &d)->start();
  ASSERT_TRUE(pumpMainLoopUntil([&] { return d.done(); }));
  EXPECT_TRUE(d.finished);
  EXPECT_EQ(d.body, "{\"ok\":1}");
}

TEST_F(URLConnectionTest, SeveralConnectionsRunAtOnce) {
  TestHttpServer server([](const HttpRequest& r) {
    HttpResponse res = HttpResponse::json(200, r.path);
    res.delay = std::chrono::milliseconds(r.path == "/a" ? 200 : 0);
    return res;
  });
  RecordingDelegate a, b;
  auto ca = URLConnection::make(requestFor(server.url("/a")), &a);
  auto cb = URLConnection::make(requestFor(server.url("/b")), &b);
  ca->start();
  cb->start();
  ASSERT_TRUE(pumpMainLoopUntil([&] { return a.done() && b.done(); }));
  EXPECT_EQ(a.body, "/a");
  EXPECT_EQ(b.body, "/b");
  // The quick one was not held up behind the slow one.
  EXPECT_TRUE(b.finished);
}

int closedPort() {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
  socklen_t len = sizeof addr;
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
  ::close(fd);
  return ntohs(addr.sin_port);
}

TEST_F(URLConnectionTest, TransportFailuresMapToThePlatformsCodes) {
  {
    RecordingDelegate d;
    ASSERT_TRUE(run(URLConnection::make(requestFor("http://127.0.0.1:" + std::to_string(closedPort()) + "/"), &d), d));
    ASSERT_TRUE(d.error);
    EXPECT_EQ(d.error->code, platform::NSURLErrorCannotConnectToHost);
    EXPECT_EQ(d.error->userInfo.at(platform::kNSURLErrorFailingURLStringErrorKey).stringValue().rfind("http://127.0.0.1:", 0), 0u);
  }
  {
    TestHttpServer server([](const HttpRequest&) {
      HttpResponse r = HttpResponse::json(200, "{}");
      r.delay = std::chrono::milliseconds(2500);
      return r;
    });
    RecordingDelegate d;
    URLRequest req = requestFor(server.url("/stall"));
    req.timeoutInterval = 1.0;
    ASSERT_TRUE(run(URLConnection::make(req, &d), d));
    ASSERT_TRUE(d.error);
    EXPECT_EQ(d.error->code, platform::NSURLErrorTimedOut);
  }
  {
    TestHttpServer server([](const HttpRequest&) {
      HttpResponse r;
      r.noReply = true;
      return r;
    });
    RecordingDelegate d;
    ASSERT_TRUE(run(URLConnection::make(requestFor(server.url("/drop")), &d), d));
    ASSERT_TRUE(d.error);
    EXPECT_EQ(d.error->code, platform::NSURLErrorNetworkConnectionLost);
  }
}

TEST_F(URLConnectionTest, OnlyHttpAndHttpsLoadAndFailuresComeLater) {
  for (const char* url : {"ftp://127.0.0.1/file", "file:///etc/hostname", "x-soundcloud://connection"}) {
    SCOPED_TRACE(url);
    RecordingDelegate d;
    auto c = URLConnection::make(requestFor(url), &d);
    c->start();
    EXPECT_FALSE(d.done());  // never from inside start()
    ASSERT_TRUE(pumpMainLoopUntil([&] { return d.done(); }));
    ASSERT_TRUE(d.error);
    EXPECT_EQ(d.error->code, platform::NSURLErrorUnsupportedURL);
  }
}

TEST_F(URLConnectionTest, HeaderFieldsWithLineBreaksAreRefusedBeforeSending) {
  TestHttpServer server([](const HttpRequest&) { return HttpResponse::json(200, "{}"); });
  RecordingDelegate d;
  URLRequest req = requestFor(server.url("/x"));
  req.headers.set("Authorization", "OAuth abc\r\nX-Injected: 1");
  ASSERT_TRUE(run(URLConnection::make(req, &d), d));
  ASSERT_TRUE(d.error);
  EXPECT_EQ(d.error->code, platform::NSURLErrorBadURL);
  EXPECT_EQ(server.connectionCount(), 0u);
}

TEST_F(URLConnectionTest, DelegatesRunOnTheMainLoopThread) {
  TestHttpServer server([](const HttpRequest&) { return HttpResponse::json(200, "{}"); });
  struct ThreadCheck : RecordingDelegate {
    bool allOnMain = true;
    void didReceiveResponse(URLConnection& c, const platform::HTTPURLResponse& r) override {
      allOnMain = allOnMain && platform::RunLoop::isMainThread();
      RecordingDelegate::didReceiveResponse(c, r);
    }
    void didFinishLoading(URLConnection& c) override {
      allOnMain = allOnMain && platform::RunLoop::isMainThread();
      RecordingDelegate::didFinishLoading(c);
    }
  } d;
  ASSERT_TRUE(run(URLConnection::make(requestFor(server.url("/x")), &d), d));
  EXPECT_TRUE(d.finished);
  EXPECT_TRUE(d.allOnMain);
}

}  // namespace
