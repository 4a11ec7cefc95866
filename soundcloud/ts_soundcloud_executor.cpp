#include "soundcloud/ts_soundcloud_executor.h"

#include <utility>

#include "oauth2/nxoauth2_constants.h"
#include "platform/net/error.h"
#include "platform/runloop/run_loop.h"
#include "soundcloud-sdk/sc_soundcloud.h"
#include "soundcloud/ts_info_keys.h"
#include "soundcloud/ts_json.h"

namespace tssc {

using scsdk::SCRequestMethod;
using scsdk::SCRequestMethodDELETE;
using scsdk::SCRequestMethodGET;
using scsdk::SCRequestMethodPOST;
using scsdk::SCRequestMethodPUT;

void TSSoundCloudAPIConnectionDelegate::soundCloudAPIDidFinishWithData(const platform::Data&, const platform::Dictionary&) {}
void TSSoundCloudAPIConnectionDelegate::soundCloudAPIDidFailWithError(const platform::Error&, const platform::Dictionary&) {}
void TSSoundCloudAPIConnectionDelegate::soundCloudAPIDidSendBytes(uint64_t, uint64_t, const platform::Dictionary&) {}

void TSRequest::cancel() {
  cancelled_ = true;
  if (current_) {
    std::shared_ptr<nxoauth2::NXOAuth2Request> r = std::move(current_);
    r->cancel();
  }
}

// ---- endpoints --------------------------------------------------------------

std::string TSSCUtil::apiURL() {
  std::string base = scsdk::SCSoundCloud::serviceEndpoints().apiURL.absoluteString();
  if (base.empty() || base.back() != '/') base += '/';
  return base;
}

std::string TSSCUtil::tokenURL() { return scsdk::SCSoundCloud::serviceEndpoints().tokenURL.absoluteString(); }

std::string TSSCUtil::authURL() { return scsdk::SCSoundCloud::serviceEndpoints().authorizeURL.absoluteString(); }

// ---- parameters and URLs ----------------------------------------------------

namespace {

TSParameters orEmpty(const std::optional<TSParameters>& p) { return p ? *p : TSParameters(); }

TSParameters withRange(TSParameters p, TSRange range) {
  p.set("limit", std::to_string(range.length));
  p.set("offset", std::to_string(range.location));
  return p;
}

// "name.ext" → "ext"; "" when the component has no extension.
std::string pathExtension(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  const std::string last = slash == std::string::npos ? path : path.substr(slash + 1);
  const size_t dot = last.find_last_of('.');
  if (dot == std::string::npos || dot == 0) return "";
  return last.substr(dot + 1);
}

std::string withJSONExtension(std::string path) {
  if (!path.empty() && path.back() == '/') path.pop_back();
  return path + ".json";
}

platform::Error badURLError(const std::string& what) {
  return platform::Error::make(platform::kNSURLErrorDomain, platform::NSURLErrorBadURL, "bad URL: " + what);
}

platform::Dictionary nameOnly(const char* name) { return {{kTSName, platform::Value(name)}}; }

platform::Dictionary nameAnd(const char* name, const char* key, platform::Value value) {
  return {{kTSName, platform::Value(name)}, {key, std::move(value)}};
}

std::optional<platform::URL> path(const std::string& p) { return TSSoundCloudExecutor::resourceURLForPath(p); }

}  // namespace

TSParameters TSSoundCloudExecutor::appendConsumerKey(const std::optional<TSParameters>& parameters) {
  TSParameters p = orEmpty(parameters);
  if (!p.contains("client_id")) p.set("client_id", tsInfoKey(kSCConsumerKey).value_or(""));
  return p;
}

TSParameters TSSoundCloudExecutor::appendAppScope(const std::optional<TSParameters>& parameters) {
  TSParameters p = orEmpty(parameters);
  if (!p.contains("created_with_app_id")) p.set("created_with_app_id", tsInfoKey(kSCApplicationID).value_or(""));
  return p;
}

std::optional<platform::URL> TSSoundCloudExecutor::resourceURLForPath(const std::string& target) {
  std::string p = target;
  if (!p.empty() && p.back() == '/') p.pop_back();
  p += ".json";
  const std::string base = TSSCUtil::apiURL();
  if (!p.empty() && p.front() == '/') {
    // An absolute path replaces the base's path.
    const std::optional<platform::URL> b = platform::URL::withString(base);
    if (!b) return std::nullopt;
    std::string root = b->scheme() + "://" + b->host();
    if (b->port()) root += ":" + std::to_string(*b->port());
    return platform::URL::withString(root + p);
  }
  return platform::URL::withString(base + p);
}

std::optional<platform::URL> TSSoundCloudExecutor::resourceURLForHref(const std::string& href) {
  const std::optional<platform::URL> u = platform::URL::withString(href);
  if (!u) return std::nullopt;
  // A link without a scheme is a path under the API base.
  if (u->scheme().empty()) {
    const size_t q = href.find_first_of("?#");
    const std::string pathPart = q == std::string::npos ? href : href.substr(0, q);
    const std::string rest = q == std::string::npos ? "" : href.substr(q);
    const std::string withExt = pathExtension(pathPart) == "json" ? pathPart : withJSONExtension(pathPart);
    std::string base = TSSCUtil::apiURL();
    std::string rel = withExt;
    if (!rel.empty() && rel.front() == '/') rel.erase(0, 1);
    return platform::URL::withString(base + rel + rest);
  }
  if (pathExtension(u->path()) == "json") return u;
  // The extension goes at the end of the path, before the query and the
  // fragment; one trailing "/" of the path is dropped first.
  const std::string& text = u->absoluteString();
  const size_t authority = text.find("://");
  const size_t pathStart = text.find('/', authority == std::string::npos ? 0 : authority + 3);
  size_t end = text.find_first_of("?#", pathStart == std::string::npos ? 0 : pathStart);
  if (end == std::string::npos) end = text.size();
  std::string head = text.substr(0, end);
  if (pathStart != std::string::npos && end > pathStart + 1 && head.back() == '/') head.pop_back();
  if (pathStart == std::string::npos || head.size() <= pathStart + 1) return u;  // no path to extend
  return platform::URL::withString(head + ".json" + text.substr(end));
}

// ---- sending ----------------------------------------------------------------

struct TSSoundCloudExecutor::Call {
  SCRequestMethod method = SCRequestMethodGET;
  std::optional<platform::URL> url;
  std::string what;
  std::optional<TSParameters> parameters;
  bool isSigned = true;
  bool retriesOn503 = false;
  scsdk::SCRequest::SendingProgressHandler progress;
  TSResponseHandler response;
};

TSRequestHandle TSSoundCloudExecutor::perform(Call call) {
  auto handle = std::make_shared<TSRequest>();
  attempt(handle, std::make_shared<Call>(std::move(call)));
  return handle;
}

void TSSoundCloudExecutor::attempt(const TSRequestHandle& handle, const std::shared_ptr<Call>& call) {
  if (handle->cancelled_) return;
  ++handle->attempts_;
  if (!call->url) {
    // Reported on the next pass, as a transfer failure would be.
    platform::RunLoop::main().perform([handle, call] {
      if (!handle->cancelled_) call->response(std::nullopt, {}, badURLError(call->what));
    });
    return;
  }
  std::shared_ptr<scsdk::SCAccount> account = call->isSigned ? scsdk::SCSoundCloud::account() : nullptr;
  handle->current_ = scsdk::SCRequest::performMethod(
      call->method, *call->url, call->parameters, account, call->progress,
      [handle, call](const std::optional<platform::HTTPURLResponse>& response, const platform::Data& data,
                     const std::optional<platform::Error>& error) {
        if (handle->cancelled_) return;
        handle->current_.reset();
        if (call->retriesOn503 && error && error->domain == nxoauth2::NXOAuth2HTTPErrorDomain && error->code == 503 &&
            handle->retryCount_ < 5) {
          ++handle->retryCount_;
          handle->retryDelay_ *= static_cast<float>(handle->retryCount_);
          platform::RunLoop::main().performAfter(static_cast<double>(handle->retryDelay_),
                                                 [handle, call] { attempt(handle, call); });
          return;
        }
        handle->retryCount_ = 0;
        handle->retryDelay_ = 0.1f;
        call->response(response, data, error);
      });
}

TSRequestHandle TSSoundCloudExecutor::withContext(SCRequestMethod method, const std::optional<platform::URL>& url,
                                                  std::optional<TSParameters> parameters, bool isSigned,
                                                  TSContext context, platform::Dictionary userInfo,
                                                  bool reportsProgress, bool retriesOn503) {
  Call call;
  call.method = method;
  call.url = url;
  call.what = userInfo.count(kTSName) ? userInfo.at(kTSName).stringValue() : std::string();
  call.parameters = std::move(parameters);
  call.isSigned = isSigned;
  call.retriesOn503 = retriesOn503;
  auto info = std::make_shared<platform::Dictionary>(std::move(userInfo));
  if (reportsProgress)
    call.progress = [context, info](uint64_t sent, uint64_t total) {
      if (auto c = context.lock()) c->soundCloudAPIDidSendBytes(sent, total, *info);
    };
  call.response = [context, info](const std::optional<platform::HTTPURLResponse>&, const platform::Data& data,
                                  const std::optional<platform::Error>& error) {
    std::shared_ptr<TSSoundCloudAPIConnectionDelegate> c = context.lock();
    if (!c) return;
    if (error)
      c->soundCloudAPIDidFailWithError(*error, *info);
    else
      c->soundCloudAPIDidFinishWithData(data, *info);
  };
  return perform(std::move(call));
}

TSRequestHandle TSSoundCloudExecutor::withHandler(SCRequestMethod method, const std::optional<platform::URL>& url,
                                                  std::optional<TSParameters> parameters, bool isSigned,
                                                  TSResponseHandler handler, bool passesEmptyProgress) {
  Call call;
  call.method = method;
  call.url = url;
  call.what = url ? url->absoluteString() : std::string("resource");
  call.parameters = std::move(parameters);
  call.isSigned = isSigned;
  if (passesEmptyProgress) call.progress = [](uint64_t, uint64_t) {};
  call.response = handler ? std::move(handler) : TSResponseHandler([](auto&&...) {});
  return perform(std::move(call));
}

// ---- the table of requests --------------------------------------------------

TSRequestHandle TSSoundCloudExecutor::putProfile(const TSParameters& parameters, TSResponseHandler handler) {
  return withHandler(SCRequestMethodPUT, path("me"), parameters, true, std::move(handler), true);
}

TSRequestHandle TSSoundCloudExecutor::postTrack(const TSParameters& parameters, TSContext context) {
  return withContext(SCRequestMethodPOST, path("tracks"), parameters, true, std::move(context), nameOnly(kTSPostTrack),
                     true);
}

TSRequestHandle TSSoundCloudExecutor::deleteTrack(const platform::Value& track, TSResponseHandler handler) {
  return withHandler(SCRequestMethodDELETE, path("tracks/" + tsDescription(track)), std::nullopt, true,
                     std::move(handler));
}

TSRequestHandle TSSoundCloudExecutor::putTrack(const TSParameters& parameters, uint64_t track, TSContext context) {
  return withContext(SCRequestMethodPUT, path("tracks/" + std::to_string(track)), parameters, true, std::move(context),
                     nameAnd(kTSPutTrack, kTSTrackID, platform::Value(static_cast<long long>(track))), false);
}

TSRequestHandle TSSoundCloudExecutor::putTrack(const TSParameters& parameters, const platform::Value& track,
                                               TSResponseHandler handler) {
  return withHandler(SCRequestMethodPUT, path("tracks/" + tsDescription(track)), parameters, true, std::move(handler));
}

TSRequestHandle TSSoundCloudExecutor::getTrack(const platform::Value& track, TSResponseHandler handler) {
  return withHandler(SCRequestMethodGET, path("tracks/" + tsDescription(track)), appendConsumerKey(std::nullopt), true,
                     std::move(handler));
}

TSRequestHandle TSSoundCloudExecutor::getTrack(const platform::Value& track, TSContext context) {
  return withContext(SCRequestMethodGET, path("tracks/" + tsDescription(track)), appendConsumerKey(std::nullopt), true,
                     std::move(context), nameAnd(kTSGetTrack, kTSTrackID, track), false);
}

TSRequestHandle TSSoundCloudExecutor::getTracks(const TSParameters& parameters, const std::string& target,
                                                TSRange range, TSContext context) {
  TSParameters p = appendConsumerKey(appendAppScope(withRange(parameters, range)));
  return withContext(SCRequestMethodGET, path(target), std::move(p), true, std::move(context), nameOnly(kTSGetTracks),
                     false, true);
}

TSRequestHandle TSSoundCloudExecutor::getTracks(const TSParameters& parameters, const std::string& target,
                                                TSRange range, TSResponseHandler handler) {
  TSParameters p = withRange(parameters, range);
  if (!parameters.contains("ids")) p = appendAppScope(p);
  return withHandler(SCRequestMethodGET, path(target), appendConsumerKey(p), true, std::move(handler));
}

TSRequestHandle TSSoundCloudExecutor::getTracks(const std::optional<TSParameters>& parameters, const std::string& target,
                                                TSResponseHandler handler) {
  TSParameters p = orEmpty(parameters);
  if (!p.contains("ids")) p = appendAppScope(p);
  return withHandler(SCRequestMethodGET, path(target), appendConsumerKey(p), true, std::move(handler));
}

TSRequestHandle TSSoundCloudExecutor::getUserWithContext(TSContext context) {
  return withContext(SCRequestMethodGET, path("me"), std::nullopt, true, std::move(context), nameOnly(kTSGetMe), false);
}

TSRequestHandle TSSoundCloudExecutor::getUserConnectionWithContext(TSContext context) {
  return withContext(SCRequestMethodGET, path("me/connections"), std::nullopt, true, std::move(context),
                     nameOnly(kTSGetMyConnection), false);
}

TSRequestHandle TSSoundCloudExecutor::postUserConnection(const TSParameters& parameters, TSContext context) {
  return withContext(SCRequestMethodPOST, path("me/connections"), parameters, true, std::move(context),
                     nameOnly(kTSPostMyConnection), false);
}

TSRequestHandle TSSoundCloudExecutor::getUsers(const std::optional<TSParameters>& parameters, const std::string& target,
                                               TSRange range, TSResponseHandler handler) {
  return withHandler(SCRequestMethodGET, path(target), withRange(orEmpty(parameters), range), true, std::move(handler));
}

TSRequestHandle TSSoundCloudExecutor::getUsersWithHref(const std::string& href, TSResponseHandler handler) {
  return withHandler(SCRequestMethodGET, resourceURLForHref(href), appendConsumerKey(std::nullopt), true,
                     std::move(handler));
}

TSRequestHandle TSSoundCloudExecutor::getMyFollowers(TSRange range, TSResponseHandler handler) {
  return withHandler(SCRequestMethodGET, path("me/followers"), appendConsumerKey(withRange({}, range)), true,
                     std::move(handler));
}

TSRequestHandle TSSoundCloudExecutor::getFollowingUser(const platform::Value& user, TSContext context) {
  return withContext(SCRequestMethodGET, path("me/followings/" + tsDescription(user)), std::nullopt, true,
                     std::move(context), nameAnd(kTSGetAFollowing, kTSUserID, user), false);
}

TSRequestHandle TSSoundCloudExecutor::getLikedTrack(const platform::Value& track, TSResponseHandler handler) {
  return withHandler(SCRequestMethodGET, path("me/favorites/" + tsDescription(track)), std::nullopt, true,
                     std::move(handler));
}

TSRequestHandle TSSoundCloudExecutor::putFollowing(const platform::Value& user, TSResponseHandler handler) {
  return withHandler(SCRequestMethodPUT, path("me/followings/" + tsDescription(user)), appendConsumerKey(std::nullopt),
                     true, std::move(handler));
}

TSRequestHandle TSSoundCloudExecutor::deleteFollowing(const platform::Value& user, TSResponseHandler handler) {
  return withHandler(SCRequestMethodDELETE, path("me/followings/" + tsDescription(user)),
                     appendConsumerKey(std::nullopt), true, std::move(handler));
}

TSRequestHandle TSSoundCloudExecutor::putFavorite(int64_t track, TSResponseHandler handler) {
  return withHandler(SCRequestMethodPUT, path("me/favorites/" + std::to_string(track)), appendConsumerKey(std::nullopt),
                     true, std::move(handler));
}

TSRequestHandle TSSoundCloudExecutor::deleteFavorite(int64_t track, TSResponseHandler handler) {
  return withHandler(SCRequestMethodDELETE, path("me/favorites/" + std::to_string(track)),
                     appendConsumerKey(std::nullopt), true, std::move(handler));
}

TSRequestHandle TSSoundCloudExecutor::getComments(int64_t track, TSRange range, TSContext context) {
  return withContext(SCRequestMethodGET, path("tracks/" + std::to_string(track) + "/comments"),
                     appendConsumerKey(withRange({}, range)), true, std::move(context),
                     nameAnd(kTSGetComments, kTSTrackID, platform::Value(static_cast<long long>(track))), false);
}

TSRequestHandle TSSoundCloudExecutor::postComment(int64_t track, const TSParameters& parameters, TSContext context) {
  return withContext(SCRequestMethodPOST, path("tracks/" + std::to_string(track) + "/comments"), parameters, true,
                     std::move(context),
                     nameAnd(kTSPostComment, kTSTrackID, platform::Value(static_cast<long long>(track))), false);
}

TSRequestHandle TSSoundCloudExecutor::postAttachment(const TSParameters& parameters, int64_t track, TSContext context) {
  return withContext(SCRequestMethodPOST, path("tracks/" + std::to_string(track) + "/attachments"), parameters, true,
                     std::move(context),
                     nameAnd(kTSPostAttachment, kTSTrackID, platform::Value(static_cast<long long>(track))), true);
}

TSRequestHandle TSSoundCloudExecutor::getAttachments(int64_t track, TSResponseHandler handler) {
  return withHandler(SCRequestMethodGET, path("tracks/" + std::to_string(track) + "/attachments"),
                     appendConsumerKey(std::nullopt), true, std::move(handler));
}

TSRequestHandle TSSoundCloudExecutor::getAttachments(const platform::Value& track, TSContext context) {
  return withContext(SCRequestMethodGET, path("tracks/" + tsDescription(track) + "/attachments"),
                     appendConsumerKey(std::nullopt), true, std::move(context),
                     nameAnd(kTSGetAttachments, kTSTrackID, track), false);
}

TSRequestHandle TSSoundCloudExecutor::getUser(const platform::Value& user, TSContext context) {
  return withContext(SCRequestMethodGET, path("users/" + tsDescription(user)), appendConsumerKey(std::nullopt), false,
                     std::move(context), nameAnd(kTSGetUser, kTSUserID, user), false);
}

TSRequestHandle TSSoundCloudExecutor::getUser(const platform::Value& user, TSResponseHandler handler) {
  return withHandler(SCRequestMethodGET, path("users/" + tsDescription(user)), appendConsumerKey(std::nullopt), false,
                     std::move(handler));
}

TSRequestHandle TSSoundCloudExecutor::getActivitiesWithHref(const std::string& href, TSResponseHandler handler) {
  return withHandler(SCRequestMethodGET, resourceURLForHref(href), appendConsumerKey(std::nullopt), true,
                     std::move(handler));
}

TSRequestHandle TSSoundCloudExecutor::getActivities(const TSParameters& parameters, const std::string& target,
                                                    int64_t limit, TSContext context) {
  TSParameters p = parameters;
  p.set("limit", std::to_string(limit));
  return withContext(SCRequestMethodGET, path(target), appendConsumerKey(appendAppScope(p)), true, std::move(context),
                     nameOnly(kTSGetAllActivities), false);
}

TSRequestHandle TSSoundCloudExecutor::getLikee(const platform::Value& track, TSResponseHandler handler) {
  return withHandler(SCRequestMethodGET, path("tracks/" + tsDescription(track) + "/favoriters"),
                     appendConsumerKey(std::nullopt), true, std::move(handler));
}

}  // namespace tssc
