#pragma once
// A URL-connection delegate that records everything it is told.

#include <functional>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "platform/net/url_connection.h"

namespace igbtest {

struct RecordingDelegate : platform::URLConnectionDelegate {
  std::vector<std::string> events;
  std::optional<platform::HTTPURLResponse> response;
  std::string body;
  std::optional<platform::Error> error;
  bool finished = false;
  std::vector<std::tuple<int64_t, int64_t, int64_t>> progress;
  std::vector<platform::HTTPURLResponse> redirects;
  std::vector<std::string> trustHosts;
  int newBodyStreams = 0;

  std::function<std::optional<platform::URLRequest>(platform::URLRequest, const platform::HTTPURLResponse&)> onRedirect;
  std::function<std::shared_ptr<platform::InputStream>(const platform::URLRequest&)> onNewBody;
  std::function<void(platform::URLConnection&)> onResponse;
  std::function<void(platform::URLConnection&)> onData;
  platform::ServerTrustPolicy trust;

  bool done() const { return finished || error.has_value(); }

  std::optional<platform::URLRequest> willSendRequest(platform::URLConnection&, platform::URLRequest request,
                                                      const platform::HTTPURLResponse& redirect) override {
    events.push_back("redirect " + std::to_string(redirect.statusCode));
    redirects.push_back(redirect);
    if (onRedirect) return onRedirect(std::move(request), redirect);
    return request;
  }
  void didReceiveResponse(platform::URLConnection& c, const platform::HTTPURLResponse& r) override {
    events.push_back("response " + std::to_string(r.statusCode));
    response = r;
    if (onResponse) onResponse(c);
  }
  void didReceiveData(platform::URLConnection& c, std::span<const uint8_t> data) override {
    if (events.empty() || events.back() != "data") events.push_back("data");
    body.append(reinterpret_cast<const char*>(data.data()), data.size());
    if (onData) onData(c);
  }
  void didSendBodyData(platform::URLConnection&, int64_t written, int64_t total, int64_t expected) override {
    progress.emplace_back(written, total, expected);
  }
  void didFinishLoading(platform::URLConnection&) override {
    events.push_back("finish");
    finished = true;
  }
  void didFailWithError(platform::URLConnection&, const platform::Error& e) override {
    events.push_back("fail " + std::to_string(e.code));
    error = e;
  }
  std::shared_ptr<platform::InputStream> needNewBodyStream(platform::URLConnection&,
                                                           const platform::URLRequest& request) override {
    ++newBodyStreams;
    return onNewBody ? onNewBody(request) : nullptr;
  }
  platform::ServerTrustPolicy serverTrustPolicy(platform::URLConnection&, const std::string& host) override {
    trustHosts.push_back(host);
    return trust;
  }
};

inline platform::Data bytesOf(const std::string& s) { return platform::Data(s.begin(), s.end()); }

}  // namespace igbtest
