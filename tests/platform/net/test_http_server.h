#pragma once
// A small HTTP/1.1 server on 127.0.0.1 for tests: it records every request
// (method, target, headers, body) and answers from a handler the test
// gives. Optionally TLS, with certificates made for the run (a CA and a
// leaf for IP 127.0.0.1 and DNS localhost). Every socket wait is bounded.
//
// Thread-safe: connections are served on their own threads; the handler
// runs there, so it must only touch what it shares with the test under a
// lock (the recorded requests are).

#include <atomic>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace igbtest {

using Fields = std::vector<std::pair<std::string, std::string>>;

struct HttpRequest {
  std::string method;
  std::string target;  // as sent: path and query
  std::string path;
  std::string query;
  std::string version;
  Fields headers;
  std::string body;         // the first maxStoredBody bytes
  uint64_t bodyLength = 0;  // all bytes received
  std::string bodySha1;     // lower-case hex of all bytes
  bool chunked = false;
  uint64_t connectionId = 0;

  // First header of that name (any case); nullopt when absent.
  std::optional<std::string> header(const std::string& name) const;
  // Number of headers of that name.
  size_t headerCount(const std::string& name) const;
};

struct HttpResponse {
  int status = 200;
  std::string reason;  // "OK" etc. when empty
  Fields headers;
  std::string body;
  // When set, the body is sent in these pieces with a pause before each
  // (Content-Length still announces the whole body).
  std::vector<std::string> pieces;
  std::chrono::milliseconds pause{0};
  // Pause before anything of the reply is sent.
  std::chrono::milliseconds delay{0};
  bool close = false;    // close the connection after this reply
  bool noReply = false;  // close at once without answering

  static HttpResponse json(int status, std::string body);
  static HttpResponse redirect(int status, std::string location);
};

// No certificate: the server offers only cipher suites without server
// authentication (TLS 1.2 at most; TLS 1.3 has none), for tests of clients
// that must refuse such a handshake.
struct TlsIdentity {
  std::string certificatePem;  // leaf first, then the chain
  std::string privateKeyPem;
  static TlsIdentity anonymous() { return {}; }
};

// A CA, a leaf certificate signed by it for 127.0.0.1 / localhost, a
// second, unrelated CA, and a self-signed certificate with a key of its own.
struct TestCertificates {
  std::string caPem;
  std::vector<uint8_t> caDer;
  std::string leafPem;
  std::vector<uint8_t> leafDer;
  std::string leafKeyPem;
  std::vector<uint8_t> otherCaDer;
  // Signed by the CA, but for the host "example.invalid" only.
  std::string wrongHostLeafPem;
  std::vector<uint8_t> wrongHostLeafDer;
  // Issued by itself (no authority vouches for it), for 127.0.0.1 /
  // localhost.
  std::string selfSignedPem;
  std::vector<uint8_t> selfSignedDer;
  std::string selfSignedKeyPem;

  static TestCertificates make();
  TlsIdentity identity() const { return {leafPem + caPem, leafKeyPem}; }
  TlsIdentity wrongHostIdentity() const { return {wrongHostLeafPem + caPem, leafKeyPem}; }
  TlsIdentity selfSignedIdentity() const { return {selfSignedPem, selfSignedKeyPem}; }
  // Writes the CA as a PEM file (for URLConnection's authority override).
  std::filesystem::path writeCAFile(const std::filesystem::path& dir) const;
};

class TestHttpServer {
 public:
  using Handler = std::function<HttpResponse(const HttpRequest&)>;

  explicit TestHttpServer(Handler handler, std::optional<TlsIdentity> tls = std::nullopt);
  ~TestHttpServer();
  TestHttpServer(const TestHttpServer&) = delete;
  TestHttpServer& operator=(const TestHttpServer&) = delete;

  int port() const { return port_; }
  // "http://127.0.0.1:<port>" (https with TLS).
  std::string baseURL() const;
  std::string url(const std::string& pathAndQuery) const { return baseURL() + pathAndQuery; }

  void setHandler(Handler handler);
  std::vector<HttpRequest> requests() const;
  size_t requestCount() const;
  size_t connectionCount() const { return connections_.load(); }
  void clearRequests();

  size_t maxStoredBody = 8 * 1024 * 1024;

 private:
  struct Connection;
  void acceptLoop();
  void serve(std::shared_ptr<Connection> c);

  int listenFd_ = -1;
  int port_ = 0;
  void* sslCtx_ = nullptr;
  std::atomic<bool> stopping_{false};
  std::atomic<size_t> connections_{0};
  mutable std::mutex mutex_;
  Handler handler_;
  std::vector<HttpRequest> requests_;
  std::vector<std::shared_ptr<Connection>> open_;
  std::vector<std::thread> threads_;
  std::thread acceptThread_;
};

// Runs the main run loop until `done()` holds or `timeoutSeconds` of real
// time pass; answers whether `done()` held.
bool pumpMainLoopUntil(const std::function<bool()>& done, double timeoutSeconds = 10.0);

// A fresh directory under /tmp, removed with everything in it on destruction.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

// Parts of a multipart/form-data body, split at the boundary of the
// Content-Type header; each part's header block and content as sent.
struct MultipartPart {
  std::string headerBlock;  // up to and including the empty line
  std::string content;
  std::optional<std::string> name;      // from Content-Disposition
  std::optional<std::string> fileName;  // from Content-Disposition
};
// nullopt when the body does not have the layout of a multipart body.
std::optional<std::vector<MultipartPart>> parseMultipart(const std::string& body, const std::string& boundary);
// The boundary of a "multipart/form-data; boundary=..." value.
std::optional<std::string> boundaryOf(const std::string& contentType);

}  // namespace igbtest
