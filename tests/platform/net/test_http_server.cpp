#include "tests/platform/net/test_http_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cctype>
#include <csignal>
#include <cstdio>

#include "platform/runloop/run_loop.h"
#include <cstdlib>
#include <cstring>
#include <stdexcept>

namespace igbtest {
namespace {

constexpr int kIoTimeoutMs = 10000;

bool iequals(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i]))) return false;
  return true;
}

std::string reasonFor(int status) {
  switch (status) {
    case 200: return "OK";
    case 201: return "Created";
    case 204: return "No Content";
    case 301: return "Moved Permanently";
    case 302: return "Found";
    case 303: return "See Other";
    case 307: return "Temporary Redirect";
    case 308: return "Permanent Redirect";
    case 400: return "Bad Request";
    case 401: return "Unauthorized";
    case 403: return "Forbidden";
    case 404: return "Not Found";
    case 422: return "Unprocessable Entity";
    case 500: return "Internal Server Error";
    case 503: return "Service Unavailable";
    default: return "Status";
  }
}

std::string hex(const unsigned char* p, size_t n) {
  static const char* digits = "0123456789abcdef";
  std::string s;
  for (size_t i = 0; i < n; ++i) {
    s.push_back(digits[p[i] >> 4]);
    s.push_back(digits[p[i] & 15]);
  }
  return s;
}

std::string bioString(BIO* bio) {
  char* data = nullptr;
  const long n = BIO_get_mem_data(bio, &data);
  return std::string(data, static_cast<size_t>(n));
}

EVP_PKEY* newKey() {
  EVP_PKEY* key = EVP_EC_gen("P-256");
  if (!key) throw std::runtime_error("key generation failed");
  return key;
}

void addExt(X509* cert, X509* issuer, int nid, const char* value) {
  X509V3_CTX ctx;
  X509V3_set_ctx(&ctx, issuer, cert, nullptr, nullptr, 0);
  X509_EXTENSION* ext = X509V3_EXT_conf_nid(nullptr, &ctx, nid, value);
  if (!ext) throw std::runtime_error("bad extension");
  X509_add_ext(cert, ext, -1);
  X509_EXTENSION_free(ext);
}

X509* newCert(EVP_PKEY* key, const char* cn, X509* issuer, EVP_PKEY* issuerKey, bool ca, long serial,
              const char* altNames = "IP:127.0.0.1,DNS:localhost") {
  X509* x = X509_new();
  X509_set_version(x, 2);
  ASN1_INTEGER_set(X509_get_serialNumber(x), serial);
  X509_gmtime_adj(X509_getm_notBefore(x), -3600);
  X509_gmtime_adj(X509_getm_notAfter(x), 7 * 86400);
  X509_set_pubkey(x, key);
  X509_NAME_add_entry_by_txt(X509_get_subject_name(x), "CN", MBSTRING_ASC, reinterpret_cast<const unsigned char*>(cn), -1,
                             -1, 0);
  X509_set_issuer_name(x, issuer ? X509_get_subject_name(issuer) : X509_get_subject_name(x));
  X509* iss = issuer ? issuer : x;
  addExt(x, iss, NID_subject_key_identifier, "hash");
  if (ca) {
    addExt(x, iss, NID_basic_constraints, "critical,CA:TRUE");
    addExt(x, iss, NID_key_usage, "critical,keyCertSign,cRLSign");
  } else {
    addExt(x, iss, NID_authority_key_identifier, "keyid:always");
    addExt(x, iss, NID_basic_constraints, "critical,CA:FALSE");
    addExt(x, iss, NID_key_usage, "critical,digitalSignature");
    addExt(x, iss, NID_ext_key_usage, "serverAuth");
    addExt(x, iss, NID_subject_alt_name, altNames);
  }
  X509_sign(x, issuerKey ? issuerKey : key, EVP_sha256());
  return x;
}

std::string keyPemOf(EVP_PKEY* key) {
  BIO* bio = BIO_new(BIO_s_mem());
  PEM_write_bio_PrivateKey(bio, key, nullptr, nullptr, 0, nullptr, nullptr);
  std::string s = bioString(bio);
  BIO_free(bio);
  return s;
}

std::string pemOf(X509* x) {
  BIO* bio = BIO_new(BIO_s_mem());
  PEM_write_bio_X509(bio, x);
  std::string s = bioString(bio);
  BIO_free(bio);
  return s;
}

std::vector<uint8_t> derOf(X509* x) {
  unsigned char* der = nullptr;
  const int n = i2d_X509(x, &der);
  std::vector<uint8_t> v(der, der + n);
  OPENSSL_free(der);
  return v;
}

}  // namespace

std::optional<std::string> HttpRequest::header(const std::string& name) const {
  for (const auto& [k, v] : headers)
    if (iequals(k, name)) return v;
  return std::nullopt;
}

size_t HttpRequest::headerCount(const std::string& name) const {
  size_t n = 0;
  for (const auto& [k, v] : headers) n += iequals(k, name) ? 1 : 0;
  return n;
}

HttpResponse HttpResponse::json(int status, std::string body) {
  HttpResponse r;
  r.status = status;
  r.headers = {{"Content-Type", "application/json; charset=utf-8"}};
  r.body = std::move(body);
  return r;
}

HttpResponse HttpResponse::redirect(int status, std::string location) {
  HttpResponse r;
  r.status = status;
  r.headers = {{"Location", std::move(location)}};
  r.body = "moved";
  return r;
}

TestCertificates TestCertificates::make() {
  TestCertificates out;
  EVP_PKEY* caKey = newKey();
  X509* ca = newCert(caKey, "igroovebix test CA", nullptr, nullptr, true, 1);
  EVP_PKEY* leafKey = newKey();
  X509* leaf = newCert(leafKey, "127.0.0.1", ca, caKey, false, 2);
  EVP_PKEY* otherKey = newKey();
  X509* other = newCert(otherKey, "unrelated test CA", nullptr, nullptr, true, 3);
  X509* wrongHost = newCert(leafKey, "example.invalid", ca, caKey, false, 4, "DNS:example.invalid");
  out.wrongHostLeafPem = pemOf(wrongHost);
  out.wrongHostLeafDer = derOf(wrongHost);
  X509_free(wrongHost);
  out.caPem = pemOf(ca);
  out.caDer = derOf(ca);
  out.leafPem = pemOf(leaf);
  out.leafDer = derOf(leaf);
  out.otherCaDer = derOf(other);
  out.leafKeyPem = keyPemOf(leafKey);
  EVP_PKEY* selfKey = newKey();
  X509* self = newCert(selfKey, "127.0.0.1", nullptr, nullptr, false, 5);
  out.selfSignedPem = pemOf(self);
  out.selfSignedDer = derOf(self);
  out.selfSignedKeyPem = keyPemOf(selfKey);
  X509_free(self);
  EVP_PKEY_free(selfKey);
  X509_free(ca);
  X509_free(leaf);
  X509_free(other);
  EVP_PKEY_free(caKey);
  EVP_PKEY_free(leafKey);
  EVP_PKEY_free(otherKey);
  return out;
}

std::filesystem::path TestCertificates::writeCAFile(const std::filesystem::path& dir) const {
  const std::filesystem::path path = dir / "test-ca.pem";
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) throw std::runtime_error("cannot write the CA file");
  std::fwrite(caPem.data(), 1, caPem.size(), f);
  std::fclose(f);
  return path;
}

bool pumpMainLoopUntil(const std::function<bool()>& done, double timeoutSeconds) {
  platform::RunLoop& loop = platform::RunLoop::main();
  const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(timeoutSeconds);
  while (!done()) {
    if (std::chrono::steady_clock::now() > end) return false;
    loop.runOnce(0.005);
    // A virtual clock does not wait in runOnce.
    if (loop.clock().isVirtual()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

struct TestHttpServer::Connection {
  int fd = -1;
  SSL* ssl = nullptr;
  uint64_t id = 0;
  std::string buffer;  // read ahead

  ~Connection() {
    if (ssl) SSL_free(ssl);
    if (fd >= 0) ::close(fd);
  }

  bool waitReadable() {
    if (ssl && SSL_pending(ssl) > 0) return true;
    pollfd p{fd, POLLIN, 0};
    return ::poll(&p, 1, kIoTimeoutMs) > 0;
  }

  // Appends what arrives; false at the end or on an error or timeout.
  bool fill() {
    char chunk[65536];
    for (;;) {
      if (!waitReadable()) return false;
      const int n = ssl ? SSL_read(ssl, chunk, sizeof chunk) : static_cast<int>(::recv(fd, chunk, sizeof chunk, 0));
      if (n > 0) {
        buffer.append(chunk, static_cast<size_t>(n));
        return true;
      }
      if (ssl && n < 0) {
        const int err = SSL_get_error(ssl, n);
        if (err == SSL_ERROR_WANT_READ || err == SSL_ERROR_WANT_WRITE) continue;
      }
      if (!ssl && n < 0 && errno == EINTR) continue;
      return false;
    }
  }

  bool send(const std::string& data) {
    size_t off = 0;
    while (off < data.size()) {
      const int n = ssl ? SSL_write(ssl, data.data() + off, static_cast<int>(data.size() - off))
                        : static_cast<int>(::send(fd, data.data() + off, data.size() - off, MSG_NOSIGNAL));
      if (n <= 0) {
        if (!ssl && n < 0 && errno == EINTR) continue;
        return false;
      }
      off += static_cast<size_t>(n);
    }
    return true;
  }
};

TestHttpServer::TestHttpServer(Handler handler, std::optional<TlsIdentity> tls) : handler_(std::move(handler)) {
  // OpenSSL writes through plain write(): a client that hangs up mid-reply
  // must not kill the test process.
  std::signal(SIGPIPE, SIG_IGN);
  listenFd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  int one = 1;
  ::setsockopt(listenFd_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = 0;
  if (::bind(listenFd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || ::listen(listenFd_, 64) != 0)
    throw std::runtime_error("cannot listen on 127.0.0.1");
  socklen_t len = sizeof addr;
  ::getsockname(listenFd_, reinterpret_cast<sockaddr*>(&addr), &len);
  port_ = ntohs(addr.sin_port);
  if (tls) {
    SSL_CTX* ctx = SSL_CTX_new(TLS_server_method());
    if (tls->certificatePem.empty()) {
      SSL_CTX_set_max_proto_version(ctx, TLS1_2_VERSION);
      SSL_CTX_set_cipher_list(ctx, "aNULL:@SECLEVEL=0");
      SSL_CTX_set_dh_auto(ctx, 1);
      sslCtx_ = ctx;
      acceptThread_ = std::thread([this] { acceptLoop(); });
      return;
    }
    BIO* certBio = BIO_new_mem_buf(tls->certificatePem.data(), static_cast<int>(tls->certificatePem.size()));
    X509* leaf = PEM_read_bio_X509(certBio, nullptr, nullptr, nullptr);
    SSL_CTX_use_certificate(ctx, leaf);
    X509_free(leaf);
    while (X509* extra = PEM_read_bio_X509(certBio, nullptr, nullptr, nullptr)) SSL_CTX_add_extra_chain_cert(ctx, extra);
    ERR_clear_error();
    BIO_free(certBio);
    BIO* keyBio = BIO_new_mem_buf(tls->privateKeyPem.data(), static_cast<int>(tls->privateKeyPem.size()));
    EVP_PKEY* key = PEM_read_bio_PrivateKey(keyBio, nullptr, nullptr, nullptr);
    SSL_CTX_use_PrivateKey(ctx, key);
    EVP_PKEY_free(key);
    BIO_free(keyBio);
    sslCtx_ = ctx;
  }
  acceptThread_ = std::thread([this] { acceptLoop(); });
}

TestHttpServer::~TestHttpServer() {
  stopping_ = true;
  ::shutdown(listenFd_, SHUT_RDWR);
  acceptThread_.join();
  ::close(listenFd_);
  {
    std::lock_guard<std::mutex> lock(mutex_);
    for (auto& c : open_) ::shutdown(c->fd, SHUT_RDWR);
  }
  for (auto& t : threads_) t.join();
  if (sslCtx_) SSL_CTX_free(static_cast<SSL_CTX*>(sslCtx_));
}

std::string TestHttpServer::baseURL() const {
  return std::string(sslCtx_ ? "https" : "http") + "://127.0.0.1:" + std::to_string(port_);
}

void TestHttpServer::setHandler(Handler handler) {
  std::lock_guard<std::mutex> lock(mutex_);
  handler_ = std::move(handler);
}

std::vector<HttpRequest> TestHttpServer::requests() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return requests_;
}

size_t TestHttpServer::requestCount() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return requests_.size();
}

void TestHttpServer::clearRequests() {
  std::lock_guard<std::mutex> lock(mutex_);
  requests_.clear();
}

void TestHttpServer::acceptLoop() {
  uint64_t nextId = 1;
  while (!stopping_) {
    pollfd p{listenFd_, POLLIN, 0};
    if (::poll(&p, 1, 100) <= 0) continue;
    const int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) continue;
    int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    auto c = std::make_shared<Connection>();
    c->fd = fd;
    c->id = nextId++;
    ++connections_;
    std::lock_guard<std::mutex> lock(mutex_);
    open_.push_back(c);
    threads_.emplace_back([this, c] { serve(c); });
  }
}

void TestHttpServer::serve(std::shared_ptr<Connection> c) {
  if (sslCtx_) {
    c->ssl = SSL_new(static_cast<SSL_CTX*>(sslCtx_));
    SSL_set_fd(c->ssl, c->fd);
    if (SSL_accept(c->ssl) != 1) {
      ERR_clear_error();
      ::shutdown(c->fd, SHUT_RDWR);
      return;
    }
  }
  while (!stopping_) {
    size_t headerEnd;
    while ((headerEnd = c->buffer.find("\r\n\r\n")) == std::string::npos)
      if (!c->fill()) return;
    HttpRequest req;
    req.connectionId = c->id;
    const std::string head = c->buffer.substr(0, headerEnd);
    c->buffer.erase(0, headerEnd + 4);
    size_t lineEnd = head.find("\r\n");
    const std::string requestLine = head.substr(0, lineEnd);
    {
      const size_t a = requestLine.find(' ');
      const size_t b = requestLine.rfind(' ');
      req.method = requestLine.substr(0, a);
      req.target = requestLine.substr(a + 1, b - a - 1);
      req.version = requestLine.substr(b + 1);
      const size_t q = req.target.find('?');
      req.path = req.target.substr(0, q);
      if (q != std::string::npos) req.query = req.target.substr(q + 1);
    }
    size_t pos = lineEnd == std::string::npos ? head.size() : lineEnd + 2;
    while (pos < head.size()) {
      size_t end = head.find("\r\n", pos);
      if (end == std::string::npos) end = head.size();
      const std::string line = head.substr(pos, end - pos);
      const size_t colon = line.find(':');
      if (colon != std::string::npos) {
        std::string value = line.substr(colon + 1);
        while (!value.empty() && value.front() == ' ') value.erase(0, 1);
        req.headers.emplace_back(line.substr(0, colon), value);
      }
      pos = end + 2;
    }
    if (auto expect = req.header("Expect"); expect && iequals(*expect, "100-continue"))
      c->send("HTTP/1.1 100 Continue\r\n\r\n");

    EVP_MD_CTX* sha = EVP_MD_CTX_new();
    EVP_DigestInit_ex(sha, EVP_sha1(), nullptr);
    // In place, without copies: large uploads must not make the server's
    // own memory grow (tests measure the client's).
    auto take = [&](size_t n) {
      EVP_DigestUpdate(sha, c->buffer.data(), n);
      req.bodyLength += n;
      if (req.body.size() < maxStoredBody) req.body.append(c->buffer, 0, std::min(n, maxStoredBody - req.body.size()));
      c->buffer.erase(0, n);
    };
    bool ok = true;
    if (auto te = req.header("Transfer-Encoding"); te && iequals(*te, "chunked")) {
      req.chunked = true;
      for (;;) {
        size_t e;
        while ((e = c->buffer.find("\r\n")) == std::string::npos)
          if (!(ok = c->fill())) break;
        if (!ok) break;
        const size_t size = std::strtoull(c->buffer.substr(0, e).c_str(), nullptr, 16);
        c->buffer.erase(0, e + 2);
        if (size == 0) {
          while ((e = c->buffer.find("\r\n")) == std::string::npos)
            if (!(ok = c->fill())) break;
          if (ok) c->buffer.erase(0, e + 2);
          break;
        }
        size_t left = size;
        while (left > 0) {
          if (c->buffer.empty() && !(ok = c->fill())) break;
          const size_t n = std::min(left, c->buffer.size());
          take(n);
          left -= n;
        }
        if (!ok) break;
        while (c->buffer.size() < 2)
          if (!(ok = c->fill())) break;
        if (!ok) break;
        c->buffer.erase(0, 2);
      }
    } else if (auto cl = req.header("Content-Length")) {
      size_t left = std::strtoull(cl->c_str(), nullptr, 10);
      while (left > 0) {
        if (c->buffer.empty() && !(ok = c->fill())) break;
        const size_t n = std::min(left, c->buffer.size());
        take(n);
        left -= n;
      }
    }
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int digestLen = 0;
    EVP_DigestFinal_ex(sha, digest, &digestLen);
    EVP_MD_CTX_free(sha);
    req.bodySha1 = hex(digest, digestLen);
    if (!ok) return;

    Handler handler;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      requests_.push_back(req);
      handler = handler_;
    }
    HttpResponse res;
    if (handler)
      res = handler(req);
    else
      res.status = 404;
    if (res.noReply) {
      ::shutdown(c->fd, SHUT_RDWR);
      return;
    }
    if (res.delay.count() > 0) std::this_thread::sleep_for(res.delay);
    std::string body = res.body;
    if (!res.pieces.empty()) {
      body.clear();
      for (auto& p : res.pieces) body += p;
    }
    std::string out = "HTTP/1.1 " + std::to_string(res.status) + " " + (res.reason.empty() ? reasonFor(res.status) : res.reason) + "\r\n";
    bool hasLength = false;
    for (auto& [k, v] : res.headers) {
      out += k + ": " + v + "\r\n";
      hasLength = hasLength || iequals(k, "Content-Length");
    }
    if (!hasLength) out += "Content-Length: " + std::to_string(req.method == "HEAD" ? 0 : body.size()) + "\r\n";
    if (res.close) out += "Connection: close\r\n";
    out += "\r\n";
    if (res.pieces.empty()) {
      if (req.method != "HEAD") out += body;
      if (!c->send(out)) return;
    } else {
      if (!c->send(out)) return;
      for (auto& p : res.pieces) {
        std::this_thread::sleep_for(res.pause);
        if (stopping_ || !c->send(p)) return;
      }
    }
    if (res.close) {
      if (c->ssl) SSL_shutdown(c->ssl);
      ::shutdown(c->fd, SHUT_RDWR);
      return;
    }
  }
}

TempDir::TempDir() {
  char tmpl[] = "/tmp/igb-net-test-XXXXXX";
  const char* p = ::mkdtemp(tmpl);
  if (!p) throw std::runtime_error("mkdtemp failed");
  path_ = p;
}

TempDir::~TempDir() {
  std::error_code ec;
  std::filesystem::remove_all(path_, ec);
}

std::optional<std::string> boundaryOf(const std::string& contentType) {
  const std::string prefix = "multipart/form-data; boundary=";
  if (contentType.rfind(prefix, 0) != 0) return std::nullopt;
  return contentType.substr(prefix.size());
}

std::optional<std::vector<MultipartPart>> parseMultipart(const std::string& body, const std::string& boundary) {
  const std::string first = "--" + boundary + "\r\n";
  const std::string between = "\r\n--" + boundary + "\r\n";
  const std::string closing = "\r\n--" + boundary + "--\r\n";
  std::vector<MultipartPart> parts;
  if (body == "--" + boundary + "--\r\n" || body == closing) return parts;
  if (body.rfind(first, 0) != 0) return std::nullopt;
  if (body.size() < closing.size() || body.compare(body.size() - closing.size(), closing.size(), closing) != 0)
    return std::nullopt;
  size_t pos = first.size();
  const size_t end = body.size() - closing.size();
  while (pos <= end) {
    size_t next = body.find(between, pos);
    if (next == std::string::npos || next > end) next = end;
    const std::string part = body.substr(pos, next - pos);
    const size_t blank = part.find("\r\n\r\n");
    if (blank == std::string::npos) return std::nullopt;
    MultipartPart p;
    p.headerBlock = part.substr(0, blank + 4);
    p.content = part.substr(blank + 4);
    auto attr = [&](const std::string& key) -> std::optional<std::string> {
      const std::string k = "; " + key + "=\"";
      const size_t a = p.headerBlock.find(k);
      if (a == std::string::npos) return std::nullopt;
      const size_t b = p.headerBlock.find('"', a + k.size());
      return p.headerBlock.substr(a + k.size(), b - a - k.size());
    };
    p.name = attr("name");
    p.fileName = attr("filename");
    parts.push_back(std::move(p));
    if (next == end) break;
    pos = next + between.size();
  }
  return parts;
}

}  // namespace igbtest
