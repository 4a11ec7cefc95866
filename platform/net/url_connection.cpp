#include "platform/net/url_connection.h"

#include <curl/curl.h>
#include <openssl/bio.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <condition_variable>
#include <cstring>
#include <map>
#include <mutex>
#include <span>
#include <thread>
#include <vector>

#include "platform/runloop/run_loop.h"

namespace platform {

// ---- default delegate behaviour ---------------------------------------------

std::optional<URLRequest> URLConnectionDelegate::willSendRequest(URLConnection&, URLRequest request,
                                                                 const HTTPURLResponse&) {
  return request;
}
void URLConnectionDelegate::didReceiveResponse(URLConnection&, const HTTPURLResponse&) {}
void URLConnectionDelegate::didReceiveData(URLConnection&, std::span<const uint8_t>) {}
void URLConnectionDelegate::didSendBodyData(URLConnection&, int64_t, int64_t, int64_t) {}
void URLConnectionDelegate::didFinishLoading(URLConnection&) {}
void URLConnectionDelegate::didFailWithError(URLConnection&, const Error&) {}
std::shared_ptr<InputStream> URLConnectionDelegate::needNewBodyStream(URLConnection&, const URLRequest&) {
  return nullptr;
}
ServerTrustPolicy URLConnectionDelegate::serverTrustPolicy(URLConnection&, const std::string&) { return {}; }

namespace {

constexpr int kMaxRedirects = 16;
// A redirect's own body is only kept for a delegate that stops there.
constexpr size_t kMaxRedirectBody = 64 * 1024;

double monotonicSeconds() {
  timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

bool isRedirectStatus(int status) {
  return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

std::string trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r' || s.back() == '\n')) s.remove_suffix(1);
  return std::string(s);
}

std::optional<int64_t> parseLength(const std::optional<std::string>& text) {
  if (!text) return std::nullopt;
  const std::string t = trim(*text);
  int64_t v = 0;
  auto [ptr, ec] = std::from_chars(t.data(), t.data() + t.size(), v);
  if (ec != std::errc() || ptr != t.data() + t.size() || v < 0) return std::nullopt;
  return v;
}

bool hasLineBreak(std::string_view s) { return s.find_first_of("\r\n") != std::string_view::npos; }

// A pin as a certificate; data that is not exactly one certificate is none.
X509* certificateOf(const Data& der) {
  const unsigned char* p = der.data();
  X509* cert = d2i_X509(nullptr, &p, static_cast<long>(der.size()));
  if (cert && p != der.data() + der.size()) {
    X509_free(cert);
    return nullptr;
  }
  return cert;
}

// libcurl's pin list ("sha256//<base64>;...") of the certificates' public
// keys: the SHA-256 of each one's DER SubjectPublicKeyInfo.
std::string publicKeyPins(const std::vector<Data>& certificates) {
  std::string pins;
  for (const Data& der : certificates) {
    X509* cert = certificateOf(der);
    if (!cert) continue;
    unsigned char* spki = nullptr;
    const int length = i2d_X509_PUBKEY(X509_get_X509_PUBKEY(cert), &spki);
    X509_free(cert);
    if (length <= 0) continue;
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int digestLength = 0;
    const bool hashed = EVP_Digest(spki, static_cast<size_t>(length), digest, &digestLength, EVP_sha256(), nullptr) == 1;
    OPENSSL_free(spki);
    if (!hashed) continue;
    unsigned char base64[EVP_MAX_MD_SIZE * 2];
    const int n = EVP_EncodeBlock(base64, digest, static_cast<int>(digestLength));
    if (!pins.empty()) pins += ';';
    pins += "sha256//";
    pins.append(reinterpret_cast<const char*>(base64), static_cast<size_t>(n));
  }
  return pins;
}

// The certificates as one PEM bundle, for libcurl's in-memory authorities.
std::string pemBundle(const std::vector<Data>& certificates) {
  std::string pem;
  for (const Data& der : certificates) {
    X509* cert = certificateOf(der);
    if (!cert) continue;
    BIO* bio = BIO_new(BIO_s_mem());
    if (bio && PEM_write_bio_X509(bio, cert) == 1) {
      char* text = nullptr;
      const long n = BIO_get_mem_data(bio, &text);
      if (n > 0) pem.append(text, static_cast<size_t>(n));
    }
    BIO_free(bio);
    X509_free(cert);
  }
  return pem;
}

// The checks a policy tries in turn, each in a handshake of its own; the
// first that accepts the certificate wins. A refused handshake has sent
// nothing of the request.
// - System: chain and host name against the trusted authorities.
// - PinnedKey: the server's own key is one of the pinned keys; chain and
//   names are not consulted (a pinned self-signed server, or a server whose
//   certificate was renewed on the same key).
// - PinnedAnchors: the pinned certificates are the only trust anchors: the
//   server's chain must verify up to one of them (a pinned authority or
//   intermediate stands for the servers it signs; libcurl lets a pinned
//   intermediate end the chain) and its certificate must name the host.
//   The name is checked here because an authority signs for many hosts:
//   without it, any server that authority signed would pass.
enum class TrustStep { System, PinnedKey, PinnedAnchors };

std::span<const TrustStep> trustSteps(ServerTrustPolicy::Kind kind) {
  static constexpr TrustStep kSystem[] = {TrustStep::System};
  static constexpr TrustStep kPinned[] = {TrustStep::PinnedKey, TrustStep::PinnedAnchors};
  static constexpr TrustStep kEither[] = {TrustStep::System, TrustStep::PinnedKey, TrustStep::PinnedAnchors};
  switch (kind) {
    case ServerTrustPolicy::Kind::Pinned: return kPinned;
    case ServerTrustPolicy::Kind::SystemOrPinned: return kEither;
    default: return kSystem;
  }
}

// Cipher suites for a pinned handshake. Without a certificate from the
// server there is nothing for a pin to match, and with verification off
// libcurl then skips the pin check: suites with no server authentication
// (anonymous Diffie-Hellman, null authentication, and PSK/SRP, which stand
// on a shared secret this client never has) are excluded explicitly rather
// than left to the system's default cipher list, which a configuration may
// widen. TLS 1.3 has no such suites: every TLS 1.3 handshake carries the
// server's certificate.
constexpr const char* kAuthenticatedCiphers = "DEFAULT:!aNULL:!eNULL:!PSK:!SRP";

Error errorFor(CURLcode code, const char* detail, const URL& url) {
  int64_t c = NSURLErrorUnknown;
  switch (code) {
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_RESOLVE_PROXY: c = NSURLErrorCannotFindHost; break;
    case CURLE_COULDNT_CONNECT: c = NSURLErrorCannotConnectToHost; break;
    case CURLE_OPERATION_TIMEDOUT: c = NSURLErrorTimedOut; break;
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_SSL_PINNEDPUBKEYNOTMATCH:
    case CURLE_SSL_ISSUER_ERROR:
    case CURLE_SSL_CACERT_BADFILE: c = NSURLErrorServerCertificateUntrusted; break;
    case CURLE_SSL_CONNECT_ERROR: c = NSURLErrorSecureConnectionFailed; break;
    case CURLE_UNSUPPORTED_PROTOCOL: c = NSURLErrorUnsupportedURL; break;
    case CURLE_URL_MALFORMAT: c = NSURLErrorBadURL; break;
    case CURLE_GOT_NOTHING:
    case CURLE_RECV_ERROR:
    case CURLE_SEND_ERROR:
    case CURLE_PARTIAL_FILE: c = NSURLErrorNetworkConnectionLost; break;
    case CURLE_WEIRD_SERVER_REPLY: c = NSURLErrorBadServerResponse; break;
    case CURLE_TOO_MANY_REDIRECTS: c = NSURLErrorHTTPTooManyRedirects; break;
    default: break;
  }
  Error e = Error::make(kNSURLErrorDomain, c, detail && *detail ? detail : curl_easy_strerror(code));
  e.userInfo[kNSURLErrorFailingURLStringErrorKey] = Value(url.absoluteString());
  return e;
}

Error urlError(int64_t code, const std::string& text, const URL& url) {
  Error e = Error::make(kNSURLErrorDomain, code, text);
  e.userInfo[kNSURLErrorFailingURLStringErrorKey] = Value(url.absoluteString());
  return e;
}

}  // namespace

// ---- the per-attempt libcurl state ------------------------------------------

struct URLConnection::Transfer {
  struct ResponseEvent {
    HTTPURLResponse response;
  };
  struct DataEvent {
    Data bytes;
  };
  struct ProgressEvent {
    int64_t written, total, expected;
  };
  using Event = std::variant<ResponseEvent, DataEvent, ProgressEvent>;

  URLConnection* owner = nullptr;
  CURL* easy = nullptr;
  curl_slist* headerList = nullptr;
  char errorBuffer[CURL_ERROR_SIZE] = {};
  // The policy and which of its checks (trustSteps) this handshake makes;
  // a later check is tried when this one refuses the certificate.
  ServerTrustPolicy trust;
  size_t trustStep = 0;
  std::string pins;       // libcurl's public-key pin list
  std::string anchorPem;  // the pins as the only authorities

  std::shared_ptr<InputStream> body;
  int64_t bodyLength = -1;
  int64_t bodyRead = 0;
  std::optional<Error> bodyError;

  // Response parsing.
  int status = 0;
  HTTPHeaders headers;
  bool finalSeen = false;
  bool redirecting = false;
  HTTPURLResponse redirectResponse;
  Data redirectBody;
  int64_t lastUploaded = 0;

  std::deque<Event> events;
  bool done = false;
  CURLcode result = CURLE_OK;
  std::string redirectURL;

  ~Transfer() {
    if (easy) curl_easy_cleanup(easy);
    if (headerList) curl_slist_free_all(headerList);
  }

  void endOfHeaders() {
    if (status >= 100 && status < 200) return;  // an interim reply; the real one follows
    finalSeen = true;
    HTTPURLResponse r;
    r.url = owner->current_.url;
    r.statusCode = status;
    r.headers = headers;
    if (!equalsIgnoringCase(owner->current_.httpMethod, "HEAD"))
      r.expectedContentLength = parseLength(headers.value("Content-Length")).value_or(-1);
    if (isRedirectStatus(status) && headers.contains("Location")) {
      redirecting = true;
      redirectResponse = std::move(r);
    } else {
      events.push_back(ResponseEvent{std::move(r)});
    }
  }

  static size_t onHeader(char* data, size_t size, size_t count, void* user) {
    auto* t = static_cast<Transfer*>(user);
    const size_t n = size * count;
    std::string_view line(data, n);
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.remove_suffix(1);
    if (line.starts_with("HTTP/")) {
      t->headers = HTTPHeaders();
      t->status = 0;
      t->finalSeen = false;
      const size_t sp = line.find(' ');
      if (sp != std::string_view::npos) {
        std::string_view code = line.substr(sp + 1, 3);
        (void)std::from_chars(code.data(), code.data() + code.size(), t->status);
      }
    } else if (line.empty()) {
      if (!t->finalSeen) t->endOfHeaders();
    } else if (t->finalSeen || line.front() == ' ' || line.front() == '\t') {
      // Trailers after the body, and obsolete folded lines, are not kept.
    } else if (const size_t colon = line.find(':'); colon != std::string_view::npos) {
      t->headers.add(trim(line.substr(0, colon)), trim(line.substr(colon + 1)));
    }
    return n;
  }

  static size_t onData(char* data, size_t size, size_t count, void* user) {
    auto* t = static_cast<Transfer*>(user);
    const size_t n = size * count;
    if (t->redirecting) {
      const size_t room = kMaxRedirectBody - std::min(kMaxRedirectBody, t->redirectBody.size());
      t->redirectBody.insert(t->redirectBody.end(), data, data + std::min(room, n));
    } else if (n > 0) {
      t->events.push_back(DataEvent{Data(data, data + n)});
    }
    return n;
  }

  static int onProgress(void* user, curl_off_t, curl_off_t, curl_off_t ultotal, curl_off_t ulnow) {
    auto* t = static_cast<Transfer*>(user);
    if (ulnow > t->lastUploaded) {
      const int64_t expected = t->bodyLength >= 0 ? t->bodyLength : (ultotal > 0 ? ultotal : -1);
      t->events.push_back(ProgressEvent{ulnow - t->lastUploaded, ulnow, expected});
      t->lastUploaded = ulnow;
    }
    return 0;
  }

  static size_t onRead(char* buffer, size_t size, size_t count, void* user) {
    auto* t = static_cast<Transfer*>(user);
    if (!t->body) return 0;
    const int64_t n = t->body->read(reinterpret_cast<uint8_t*>(buffer), size * count);
    if (n < 0) {
      t->bodyError = t->body->streamError();
      if (!t->bodyError) t->bodyError = urlError(NSURLErrorUnknown, "The request body could not be read.", t->owner->current_.url);
      return CURL_READFUNC_ABORT;
    }
    t->bodyRead += n;
    return static_cast<size_t>(n);
  }

  static int onSeek(void* user, curl_off_t offset, int origin) {
    auto* t = static_cast<Transfer*>(user);
    if (offset != 0 || origin != SEEK_SET) return CURL_SEEKFUNC_CANTSEEK;
    if (t->bodyRead == 0) return CURL_SEEKFUNC_OK;
    URLConnection& owner = *t->owner;
    std::shared_ptr<InputStream> fresh;
    if (owner.current_.httpBody)
      fresh = std::make_shared<DataInputStream>(*owner.current_.httpBody);
    else if (owner.delegate_)
      fresh = owner.delegate_->needNewBodyStream(owner, owner.current_);
    if (!fresh) return CURL_SEEKFUNC_CANTSEEK;
    fresh->open();
    if (fresh->streamStatus() == StreamStatus::Error) return CURL_SEEKFUNC_FAIL;
    // The delegate's stream is now the request's: a later transfer of it
    // (a retry with the pins, a redirect) starts from this one, never from
    // the stream that was used up.
    if (owner.current_.httpBodyStream) owner.current_.httpBodyStream = fresh;
    t->body = std::move(fresh);
    t->owner->usedStream_ = t->body;
    t->bodyRead = 0;
    return CURL_SEEKFUNC_OK;
  }
};

// ---- the driver: one multi handle on the main run loop ----------------------

namespace {
// Set when the driver has been destroyed at exit: connections that outlive
// it must not reach for it.
std::atomic<bool> gDriverGone{false};
}  // namespace

class NetDriver {
 public:
  static NetDriver& shared() {
    static NetDriver driver;
    return driver;
  }

  void add(const std::shared_ptr<URLConnection>& connection) {
    running_[connection->transfer_->easy] = connection;
    curl_multi_add_handle(multi_, connection->transfer_->easy);
  }

  // Takes the transfer's handle out of the multi handle (not its owner).
  void detach(CURL* easy) {
    if (!easy) return;
    curl_multi_remove_handle(multi_, easy);
  }

  void forget(CURL* easy) { running_.erase(easy); }
  void keep(CURL* easy, const std::shared_ptr<URLConnection>& c) { running_[easy] = c; }

  size_t activeCount() {
    size_t n = 0;
    for (auto& [easy, c] : running_) n += c->isLoading() ? 1 : 0;
    return n;
  }

  std::optional<std::filesystem::path> caFile() {
    std::lock_guard<std::mutex> lock(mutex_);
    return caFile_;
  }
  void setCAFile(std::optional<std::filesystem::path> path) {
    std::lock_guard<std::mutex> lock(mutex_);
    caFile_ = std::move(path);
  }

  // Connections that failed before reaching libcurl report on a later pass.
  void failLater(const std::shared_ptr<URLConnection>& c, Error error) {
    RunLoop::main().perform([c, error] { c->failNow(error); });
  }

 private:
  NetDriver() {
    RunLoop::main();  // constructed first, so it outlives the driver
    curl_global_init(CURL_GLOBAL_DEFAULT);
    multi_ = curl_multi_init();
    curl_multi_setopt(multi_, CURLMOPT_SOCKETFUNCTION, &NetDriver::onSocket);
    curl_multi_setopt(multi_, CURLMOPT_SOCKETDATA, this);
    curl_multi_setopt(multi_, CURLMOPT_TIMERFUNCTION, &NetDriver::onTimer);
    curl_multi_setopt(multi_, CURLMOPT_TIMERDATA, this);
    wakeFd_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    poller_ = std::thread([this] { poll(); });
  }

  ~NetDriver() {
    gDriverGone = true;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      quit_ = true;
    }
    cv_.notify_all();
    wake();
    poller_.join();
    for (auto& [easy, c] : running_) curl_multi_remove_handle(multi_, easy);
    running_.clear();
    curl_multi_cleanup(multi_);
    ::close(wakeFd_);
  }

  void wake() {
    const uint64_t one = 1;
    [[maybe_unused]] ssize_t n = ::write(wakeFd_, &one, sizeof one);
  }

  static int onSocket(CURL*, curl_socket_t s, int what, void* user, void*) {
    auto* d = static_cast<NetDriver*>(user);
    {
      std::lock_guard<std::mutex> lock(d->mutex_);
      if (what == CURL_POLL_REMOVE)
        d->sockets_.erase(s);
      else
        d->sockets_[s] = what;
    }
    d->wake();
    return 0;
  }

  static int onTimer(CURLM*, long timeoutMs, void* user) {
    auto* d = static_cast<NetDriver*>(user);
    {
      std::lock_guard<std::mutex> lock(d->mutex_);
      if (timeoutMs < 0)
        d->deadline_.reset();
      else
        d->deadline_ = monotonicSeconds() + static_cast<double>(timeoutMs) / 1000.0;
    }
    d->wake();
    return 0;
  }

  // Held by the block posted to the main loop: whether the block runs or the
  // loop drops it (a reset), its end lets the poller go on.
  struct Ticket {
    NetDriver* driver;
    ~Ticket() {
      {
        std::lock_guard<std::mutex> lock(driver->mutex_);
        driver->busy_ = false;
      }
      driver->cv_.notify_all();
    }
  };

  void poll() {
    for (;;) {
      std::vector<pollfd> fds;
      std::optional<double> deadline;
      {
        std::unique_lock<std::mutex> lock(mutex_);
        cv_.wait(lock, [this] { return quit_ || !busy_; });
        if (quit_) return;
        fds.push_back({wakeFd_, POLLIN, 0});
        for (auto& [s, what] : sockets_) {
          short ev = 0;
          if (what & CURL_POLL_IN) ev |= POLLIN;
          if (what & CURL_POLL_OUT) ev |= POLLOUT;
          fds.push_back({s, ev, 0});
        }
        deadline = deadline_;
      }
      int timeoutMs = -1;
      if (deadline) timeoutMs = static_cast<int>(std::max(0.0, std::ceil((*deadline - monotonicSeconds()) * 1000.0)));
      const int n = ::poll(fds.data(), fds.size(), timeoutMs);
      if (n < 0 && errno != EINTR) std::this_thread::sleep_for(std::chrono::milliseconds(1));
      if (fds[0].revents & POLLIN) {
        uint64_t count;
        [[maybe_unused]] ssize_t r = ::read(wakeFd_, &count, sizeof count);
      }
      std::vector<std::pair<curl_socket_t, int>> ready;
      for (size_t i = 1; i < fds.size(); ++i) {
        if (!fds[i].revents) continue;
        int ev = 0;
        if (fds[i].revents & (POLLIN | POLLHUP)) ev |= CURL_CSELECT_IN;
        if (fds[i].revents & POLLOUT) ev |= CURL_CSELECT_OUT;
        if (fds[i].revents & (POLLERR | POLLNVAL)) ev |= CURL_CSELECT_ERR;
        ready.emplace_back(fds[i].fd, ev);
      }
      const bool due = deadline && monotonicSeconds() >= *deadline;
      if (ready.empty() && !due) continue;
      {
        std::lock_guard<std::mutex> lock(mutex_);
        if (quit_) return;
        busy_ = true;
        if (due && deadline_ == deadline) deadline_.reset();
      }
      std::shared_ptr<Ticket> ticket(new Ticket{this});
      RunLoop::main().perform([this, ready = std::move(ready), due, ticket] { dispatch(ready, due); });
    }
  }

  void dispatch(const std::vector<std::pair<curl_socket_t, int>>& ready, bool due) {
    int running = 0;
    for (auto [s, ev] : ready) curl_multi_socket_action(multi_, s, ev, &running);
    if (due) curl_multi_socket_action(multi_, CURL_SOCKET_TIMEOUT, 0, &running);
    int left = 0;
    while (CURLMsg* msg = curl_multi_info_read(multi_, &left)) {
      if (msg->msg != CURLMSG_DONE) continue;
      auto it = running_.find(msg->easy_handle);
      if (it == running_.end() || !it->second->transfer_) continue;
      it->second->transfer_->done = true;
      it->second->transfer_->result = msg->data.result;
    }
    std::vector<std::shared_ptr<URLConnection>> connections;
    for (auto& [easy, c] : running_) connections.push_back(c);
    for (auto& c : connections) c->deliver();
  }

  CURLM* multi_ = nullptr;
  std::map<CURL*, std::shared_ptr<URLConnection>> running_;  // main thread

  std::mutex mutex_;
  std::condition_variable cv_;
  std::map<curl_socket_t, int> sockets_;
  std::optional<double> deadline_;
  bool busy_ = false;
  bool quit_ = false;
  std::optional<std::filesystem::path> caFile_;
  int wakeFd_ = -1;
  std::thread poller_;
};

// ---- the connection ---------------------------------------------------------

std::shared_ptr<URLConnection> URLConnection::make(URLRequest request, URLConnectionDelegate* delegate) {
  return std::shared_ptr<URLConnection>(new URLConnection(std::move(request), delegate));
}

URLConnection::URLConnection(URLRequest request, URLConnectionDelegate* delegate)
    : original_(request), current_(std::move(request)), delegate_(delegate) {}

URLConnection::~URLConnection() {
  if (transfer_ && transfer_->easy && !gDriverGone) NetDriver::shared().detach(transfer_->easy);
}

void URLConnection::setTrustedCertificateAuthorities(std::optional<std::filesystem::path> caFile) {
  NetDriver::shared().setCAFile(std::move(caFile));
}

size_t URLConnection::activeConnectionCount() { return NetDriver::shared().activeCount(); }

void URLConnection::start() {
  if (state_ != State::Idle) return;
  state_ = State::Running;
  NetDriver& driver = NetDriver::shared();
  if (std::optional<Error> error = startTransfer()) {
    transfer_.reset();
    driver.failLater(shared_from_this(), *error);
    return;
  }
  driver.add(shared_from_this());
}

std::optional<Error> URLConnection::startTransfer(std::optional<PinRetry> retry) {
  const URL& url = current_.url;
  const std::string scheme = url.scheme();
  const bool https = equalsIgnoringCase(scheme, "https");
  if (!https && !equalsIgnoringCase(scheme, "http"))
    return urlError(NSURLErrorUnsupportedURL, "unsupported URL", url);
  if (url.host().empty()) return urlError(NSURLErrorBadURL, "bad URL", url);
  for (const auto& [name, value] : current_.headers.fields())
    if (name.empty() || hasLineBreak(name) || hasLineBreak(value) || name.find(':') != std::string::npos)
      return urlError(NSURLErrorBadURL, "The request has a malformed header field.", url);

  auto t = std::make_unique<Transfer>();
  t->owner = this;

  ServerTrustPolicy trust;
  if (retry)
    trust = retry->trust;
  else if (https && delegate_)
    trust = delegate_->serverTrustPolicy(*this, url.host());
  const std::string pins = https ? publicKeyPins(trust.pinnedCertificates) : std::string();
  if (trust.kind == ServerTrustPolicy::Kind::SystemOrPinned && pins.empty()) trust.kind = ServerTrustPolicy::Kind::SystemDefault;
  if (https && (trust.kind == ServerTrustPolicy::Kind::Reject || (trust.kind == ServerTrustPolicy::Kind::Pinned && pins.empty())))
    return urlError(NSURLErrorServerCertificateUntrusted, "The server's certificate is not trusted.", url);
  t->trustStep = retry ? retry->step : 0;
  const TrustStep step = trustSteps(trust.kind)[t->trustStep];
  if (step == TrustStep::PinnedKey) t->pins = pins;
  if (step == TrustStep::PinnedAnchors) t->anchorPem = pemBundle(trust.pinnedCertificates);
  t->trust = std::move(trust);

  // The body, from its start.
  const std::string& method = current_.httpMethod.empty() ? std::string("GET") : current_.httpMethod;
  if (current_.httpBody) {
    t->body = std::make_shared<DataInputStream>(*current_.httpBody);
    t->bodyLength = static_cast<int64_t>(current_.httpBody->size());
  } else if (current_.httpBodyStream && retry && retry->unreadBody == current_.httpBodyStream) {
    t->body = retry->unreadBody;
    t->bodyLength = parseLength(current_.headers.value("Content-Length")).value_or(-1);
  } else if (current_.httpBodyStream) {
    std::shared_ptr<InputStream> stream = current_.httpBodyStream;
    if (stream == usedStream_) {
      stream = delegate_ ? delegate_->needNewBodyStream(*this, current_) : nullptr;
      if (!stream) return urlError(NSURLErrorRequestBodyStreamExhausted, "The request body stream is exhausted.", url);
      current_.httpBodyStream = stream;
    }
    t->body = stream;
    t->bodyLength = parseLength(current_.headers.value("Content-Length")).value_or(-1);
  }
  if (t->body && !(retry && t->body == retry->unreadBody)) {
    usedStream_ = t->body;
    t->body->open();
    if (t->body->streamStatus() == StreamStatus::Error)
      return t->body->streamError().value_or(urlError(NSURLErrorUnknown, "The request body could not be read.", url));
  }

  CURL* e = curl_easy_init();
  if (!e) return urlError(NSURLErrorUnknown, "cannot create a transfer", url);
  t->easy = e;
  curl_easy_setopt(e, CURLOPT_URL, url.absoluteString().c_str());
  curl_easy_setopt(e, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(e, CURLOPT_PRIVATE, t.get());
  curl_easy_setopt(e, CURLOPT_ERRORBUFFER, t->errorBuffer);
  curl_easy_setopt(e, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(e, CURLOPT_FOLLOWLOCATION, 0L);
  curl_easy_setopt(e, CURLOPT_NOPROXY, "localhost,127.0.0.1,::1");
  if (!https || step == TrustStep::System) {
    curl_easy_setopt(e, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(e, CURLOPT_SSL_VERIFYHOST, 2L);
    if (auto ca = NetDriver::shared().caFile()) {
      curl_easy_setopt(e, CURLOPT_CAINFO, ca->c_str());
      curl_easy_setopt(e, CURLOPT_CAPATH, nullptr);
    }
  } else {
    if (step == TrustStep::PinnedKey) {
      // libcurl checks the pinned key also with verification off: the pin
      // alone decides.
      curl_easy_setopt(e, CURLOPT_SSL_VERIFYPEER, 0L);
      curl_easy_setopt(e, CURLOPT_SSL_VERIFYHOST, 0L);
      curl_easy_setopt(e, CURLOPT_PINNEDPUBLICKEY, t->pins.c_str());
    } else {
      // The in-memory bundle replaces the authority file, and no directory
      // of authorities is consulted: the pins are the only anchors.
      curl_blob anchors{t->anchorPem.data(), t->anchorPem.size(), CURL_BLOB_COPY};
      curl_easy_setopt(e, CURLOPT_SSL_VERIFYPEER, 1L);
      curl_easy_setopt(e, CURLOPT_SSL_VERIFYHOST, 2L);
      curl_easy_setopt(e, CURLOPT_CAINFO_BLOB, &anchors);
      curl_easy_setopt(e, CURLOPT_CAPATH, nullptr);
    }
    curl_easy_setopt(e, CURLOPT_SSL_CIPHER_LIST, kAuthenticatedCiphers);
    // libcurl already keeps connections and TLS sessions of differing TLS
    // settings (verification, authorities, pinned key) apart. This is a
    // second guard: a connection a pin let in carries no other transfer,
    // and a pinned transfer makes its own handshake.
    curl_easy_setopt(e, CURLOPT_SSL_SESSIONID_CACHE, 0L);
    curl_easy_setopt(e, CURLOPT_FRESH_CONNECT, 1L);
    curl_easy_setopt(e, CURLOPT_FORBID_REUSE, 1L);
  }
  const long timeoutMs = static_cast<long>(std::max(1.0, current_.timeoutInterval * 1000.0));
  curl_easy_setopt(e, CURLOPT_CONNECTTIMEOUT_MS, timeoutMs);
  curl_easy_setopt(e, CURLOPT_LOW_SPEED_LIMIT, 1L);
  curl_easy_setopt(e, CURLOPT_LOW_SPEED_TIME, std::max(1L, static_cast<long>(std::ceil(current_.timeoutInterval))));
  curl_easy_setopt(e, CURLOPT_HEADERFUNCTION, &Transfer::onHeader);
  curl_easy_setopt(e, CURLOPT_HEADERDATA, t.get());
  curl_easy_setopt(e, CURLOPT_WRITEFUNCTION, &Transfer::onData);
  curl_easy_setopt(e, CURLOPT_WRITEDATA, t.get());
  curl_easy_setopt(e, CURLOPT_NOPROGRESS, 0L);
  curl_easy_setopt(e, CURLOPT_XFERINFOFUNCTION, &Transfer::onProgress);
  curl_easy_setopt(e, CURLOPT_XFERINFODATA, t.get());

  if (t->body) {
    curl_easy_setopt(e, CURLOPT_POST, 1L);
    curl_easy_setopt(e, CURLOPT_READFUNCTION, &Transfer::onRead);
    curl_easy_setopt(e, CURLOPT_READDATA, t.get());
    curl_easy_setopt(e, CURLOPT_SEEKFUNCTION, &Transfer::onSeek);
    curl_easy_setopt(e, CURLOPT_SEEKDATA, t.get());
    curl_easy_setopt(e, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(t->bodyLength));
    if (method != "POST") curl_easy_setopt(e, CURLOPT_CUSTOMREQUEST, method.c_str());
  } else if (method == "GET") {
    curl_easy_setopt(e, CURLOPT_HTTPGET, 1L);
  } else if (method == "HEAD") {
    curl_easy_setopt(e, CURLOPT_NOBODY, 1L);
  } else if (method == "POST" || method == "PUT" || method == "PATCH") {
    curl_easy_setopt(e, CURLOPT_POSTFIELDS, "");
    curl_easy_setopt(e, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(0));
    if (method != "POST") curl_easy_setopt(e, CURLOPT_CUSTOMREQUEST, method.c_str());
  } else {
    curl_easy_setopt(e, CURLOPT_CUSTOMREQUEST, method.c_str());
  }

  curl_slist* list = nullptr;
  for (const auto& [name, value] : current_.headers.fields()) {
    if (equalsIgnoringCase(name, "Content-Length") || equalsIgnoringCase(name, "Transfer-Encoding") ||
        equalsIgnoringCase(name, "Expect"))
      continue;
    // "Name;" is libcurl's way of sending a field with an empty value.
    const std::string line = value.empty() ? name + ";" : name + ": " + value;
    list = curl_slist_append(list, line.c_str());
  }
  list = curl_slist_append(list, "Expect:");
  if (t->body && t->bodyLength < 0) list = curl_slist_append(list, "Transfer-Encoding: chunked");
  t->headerList = list;
  curl_easy_setopt(e, CURLOPT_HTTPHEADER, list);

  transfer_ = std::move(t);
  return std::nullopt;
}

void URLConnection::cancel() {
  if (state_ != State::Running) return;
  auto self = shared_from_this();
  state_ = State::Ended;
  if (transfer_) {
    CURL* easy = transfer_->easy;
    NetDriver::shared().detach(easy);
    NetDriver::shared().forget(easy);
    transfer_.reset();
  }
}

void URLConnection::end() {
  auto self = shared_from_this();
  state_ = State::Ended;
  if (transfer_) {
    CURL* easy = transfer_->easy;
    NetDriver::shared().detach(easy);
    NetDriver::shared().forget(easy);
    transfer_.reset();
  }
}

void URLConnection::failNow(const Error& error) {
  if (state_ != State::Running) return;
  auto self = shared_from_this();
  end();
  if (delegate_) delegate_->didFailWithError(*this, error);
}

void URLConnection::deliver() {
  auto self = shared_from_this();
  while (state_ == State::Running && transfer_ && !transfer_->events.empty()) {
    Transfer::Event event = std::move(transfer_->events.front());
    transfer_->events.pop_front();
    if (!delegate_) continue;
    if (auto* r = std::get_if<Transfer::ResponseEvent>(&event)) {
      delegate_->didReceiveResponse(*this, r->response);
    } else if (auto* d = std::get_if<Transfer::DataEvent>(&event)) {
      delegate_->didReceiveData(*this, d->bytes);
    } else if (auto* p = std::get_if<Transfer::ProgressEvent>(&event)) {
      delegate_->didSendBodyData(*this, p->written, p->total, p->expected);
    }
  }
  if (state_ == State::Running && transfer_ && transfer_->done) finishTransfer();
}

void URLConnection::finishTransfer() {
  Transfer& t = *transfer_;
  if (t.result == CURLE_OK && t.redirecting) {
    char* location = nullptr;
    curl_easy_getinfo(t.easy, CURLINFO_REDIRECT_URL, &location);
    t.redirectURL = location ? location : "";
    handleRedirect();
    return;
  }
  if (t.result == CURLE_OK) {
    end();
    if (delegate_) delegate_->didFinishLoading(*this);
    return;
  }
  const bool refused = t.result == CURLE_PEER_FAILED_VERIFICATION || t.result == CURLE_SSL_PINNEDPUBKEYNOTMATCH ||
                       t.result == CURLE_SSL_CACERT_BADFILE;
  if (refused && t.trustStep + 1 < trustSteps(t.trust.kind).size()) {
    retryWithPins();
    return;
  }
  Error error = t.result == CURLE_ABORTED_BY_CALLBACK && t.bodyError
                    ? *t.bodyError
                    : errorFor(t.result, t.errorBuffer, current_.url);
  end();
  if (delegate_) delegate_->didFailWithError(*this, error);
}

void URLConnection::retryWithPins() {
  auto self = shared_from_this();
  // The refused handshake came before any of the request: a body stream
  // that was opened for it is still at its start.
  PinRetry retry{std::move(transfer_->trust), transfer_->trustStep + 1,
                 transfer_->bodyRead == 0 ? transfer_->body : nullptr};
  CURL* easy = transfer_->easy;
  NetDriver::shared().detach(easy);
  NetDriver::shared().forget(easy);
  transfer_.reset();
  if (std::optional<Error> error = startTransfer(std::move(retry))) {
    end();
    if (delegate_) delegate_->didFailWithError(*this, *error);
    return;
  }
  NetDriver::shared().add(self);
}

void URLConnection::handleRedirect() {
  auto self = shared_from_this();
  HTTPURLResponse redirectResponse = transfer_->redirectResponse;
  Data redirectBody = std::move(transfer_->redirectBody);
  const std::optional<URL> target = URL::withString(transfer_->redirectURL);
  // This attempt is over; its handle goes before anything else starts.
  CURL* easy = transfer_->easy;
  NetDriver::shared().detach(easy);
  NetDriver::shared().forget(easy);
  transfer_.reset();

  if (!target) {
    end();
    if (delegate_) delegate_->didFailWithError(*this, urlError(NSURLErrorBadServerResponse, "The redirect target is not a URL.", current_.url));
    return;
  }
  if (++redirects_ > kMaxRedirects) {
    end();
    if (delegate_) delegate_->didFailWithError(*this, urlError(NSURLErrorHTTPTooManyRedirects, "too many HTTP redirects", current_.url));
    return;
  }
  URLRequest proposed = current_;
  proposed.url = *target;
  const int status = redirectResponse.statusCode;
  if (status <= 303 && !equalsIgnoringCase(proposed.httpMethod, "GET") && !equalsIgnoringCase(proposed.httpMethod, "HEAD")) {
    proposed.httpMethod = "GET";
    proposed.httpBody.reset();
    proposed.httpBodyStream.reset();
    proposed.headers.remove("Content-Type");
    proposed.headers.remove("Content-Length");
  }
  std::optional<URLRequest> next = delegate_ ? delegate_->willSendRequest(*this, proposed, redirectResponse)
                                             : std::optional<URLRequest>(proposed);
  if (state_ != State::Running) return;  // cancelled from the callback
  if (!next) {
    // Stopped here: the redirect response is the answer.
    if (delegate_) delegate_->didReceiveResponse(*this, redirectResponse);
    if (state_ == State::Running && delegate_ && !redirectBody.empty()) delegate_->didReceiveData(*this, redirectBody);
    if (state_ != State::Running) return;
    end();
    if (delegate_) delegate_->didFinishLoading(*this);
    return;
  }
  current_ = std::move(*next);
  if (std::optional<Error> error = startTransfer()) {
    transfer_.reset();
    end();
    if (delegate_) delegate_->didFailWithError(*this, *error);
    return;
  }
  NetDriver::shared().add(self);
}

}  // namespace platform
