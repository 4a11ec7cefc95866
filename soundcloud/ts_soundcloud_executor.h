#pragma once
// The REST requests of the sharing layer: every call to the service goes
// through one of these class operations, which builds the resource URL (a
// path under the API base with the "json" extension, or a link the service
// gave), the parameters ("client_id" = the consumer key and
// "created_with_app_id" = the application id where the table of requests
// wants them, never replacing a value the caller set) and, for the context
// forms, the user-info dictionary naming the request; the SDK's request
// layer signs it with the signed-in account (or not, for the unsigned
// ones), sends it and answers on the main run loop.
//
// Two reply forms:
// - context forms: the reply goes to a TSSoundCloudAPIConnectionDelegate
//   with the request's user info ("name" and the ids it concerns). The
//   context is held weakly: one that is gone when the reply comes is not
//   told. Upload progress is reported for post_track and post_attachment.
// - handler forms: the caller's block gets the response, body and error
//   unchanged.
//
// Every operation returns a handle; TSSoundCloudAPI::cancelConnection (or
// TSRequest::cancel) stops the request, including the later attempts of a
// retried one, and no reply comes after that. The paged track list of the
// context form retries on 503 up to five times, waiting 0.1, 0.2, 0.6, 2.4
// and 12.0 s, with its own count (concurrent lists do not lengthen each
// other's waits), under the same handle.
//
// Ids are 64-bit throughout. Main thread only.

#include <any>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "oauth2/nxoauth2_parameters.h"
#include "oauth2/nxoauth2_request.h"
#include "platform/foundation/value.h"
#include "platform/net/url.h"
#include "soundcloud-sdk/sc_request.h"

namespace tssc {

// User-info keys and request names shared by the sharing layer.
inline constexpr const char* kTSName = "name";
inline constexpr const char* kTSTrackID = "track_id";
inline constexpr const char* kTSUserID = "user_id";
inline constexpr const char* kTSTrackRowIndex = "track_row_index";
inline constexpr const char* kTSResultCount = "result_count";

inline constexpr const char* kTSPostTrack = "post_track";
inline constexpr const char* kTSPutTrack = "put_track";
inline constexpr const char* kTSGetTracks = "get_tracks";
inline constexpr const char* kTSGetTrack = "get_track";
inline constexpr const char* kTSGetMe = "get_me";
inline constexpr const char* kTSGetMyConnection = "get_myconnection";
inline constexpr const char* kTSPostMyConnection = "post_myconnection";
inline constexpr const char* kTSGetAFollowing = "get_a_following";
inline constexpr const char* kTSGetComments = "get_comments";
inline constexpr const char* kTSPostComment = "post_comment";
inline constexpr const char* kTSPostAttachment = "post_attachment";
inline constexpr const char* kTSGetAttachments = "get_attachments";
inline constexpr const char* kTSGetUser = "get_user";
inline constexpr const char* kTSGetAllActivities = "get_all_activities";
inline constexpr const char* kTSDeleteTrack = "delete_track";
inline constexpr const char* kTSPutFavorite = "put_favorite";
inline constexpr const char* kTSDeleteFavorite = "delete_favorite";
inline constexpr const char* kTSUserPicture = "userPicture";
inline constexpr const char* kTSWaveImage = "waveImage";
inline constexpr const char* kTSGetFutureActivities = "get_future_activities";

// Where replies of the context forms go. Every operation is optional.
class TSSoundCloudAPIConnectionDelegate {
 public:
  virtual ~TSSoundCloudAPIConnectionDelegate() = default;
  virtual void soundCloudAPIDidFinishWithData(const platform::Data& data, const platform::Dictionary& userInfo);
  virtual void soundCloudAPIDidFailWithError(const platform::Error& error, const platform::Dictionary& userInfo);
  virtual void soundCloudAPIDidSendBytes(uint64_t bytesSent, uint64_t bytesTotal, const platform::Dictionary& userInfo);
};

using TSContext = std::weak_ptr<TSSoundCloudAPIConnectionDelegate>;
using TSResponseHandler = scsdk::SCRequest::ResponseHandler;
using TSParameters = nxoauth2::NXOAuth2Parameters;

// A range of records: "offset" is the location, "limit" the length.
struct TSRange {
  uint64_t location = 0;
  uint64_t length = 0;
};

// One request as the caller sees it, across the attempts of a retry.
class TSRequest {
 public:
  void cancel();
  bool isCancelled() const { return cancelled_; }
  // The attempt under way (none before the first, after the last, and
  // during a retry's wait).
  const std::shared_ptr<nxoauth2::NXOAuth2Request>& current() const { return current_; }
  // Attempts sent so far.
  int attempts() const { return attempts_; }

 private:
  friend class TSSoundCloudExecutor;
  std::shared_ptr<nxoauth2::NXOAuth2Request> current_;
  bool cancelled_ = false;
  int attempts_ = 0;
  int retryCount_ = 0;
  float retryDelay_ = 0.1f;
};
using TSRequestHandle = std::shared_ptr<TSRequest>;

// The service's endpoints (the hosts are configuration, see SCSoundCloud).
class TSSCUtil {
 public:
  // The API base, ending in "/".
  static std::string apiURL();
  static std::string tokenURL();
  static std::string authURL();
};

class TSSoundCloudExecutor {
 public:
  // A mutable copy with "client_id" / "created_with_app_id" added when absent.
  static TSParameters appendConsumerKey(const std::optional<TSParameters>& parameters);
  static TSParameters appendAppScope(const std::optional<TSParameters>& parameters);
  // "tracks/" → <API base>tracks.json: one trailing "/" dropped, "json"
  // added as the extension, resolved against the API base.
  static std::optional<platform::URL> resourceURLForPath(const std::string& path);
  // A link the service gave, with "json" added to its path unless that is
  // already its extension; its query is kept.
  static std::optional<platform::URL> resourceURLForHref(const std::string& href);

  static TSRequestHandle putProfile(const TSParameters& parameters, TSResponseHandler handler);
  static TSRequestHandle postTrack(const TSParameters& parameters, TSContext context);
  static TSRequestHandle deleteTrack(const platform::Value& track, TSResponseHandler handler);
  static TSRequestHandle putTrack(const TSParameters& parameters, uint64_t track, TSContext context);
  static TSRequestHandle putTrack(const TSParameters& parameters, const platform::Value& track, TSResponseHandler handler);
  static TSRequestHandle getTrack(const platform::Value& track, TSResponseHandler handler);
  static TSRequestHandle getTrack(const platform::Value& track, TSContext context);
  static TSRequestHandle getTracks(const TSParameters& parameters, const std::string& target, TSRange range,
                                   TSContext context);
  static TSRequestHandle getTracks(const TSParameters& parameters, const std::string& target, TSRange range,
                                   TSResponseHandler handler);
  static TSRequestHandle getTracks(const std::optional<TSParameters>& parameters, const std::string& target,
                                   TSResponseHandler handler);
  static TSRequestHandle getUserWithContext(TSContext context);
  static TSRequestHandle getUserConnectionWithContext(TSContext context);
  static TSRequestHandle postUserConnection(const TSParameters& parameters, TSContext context);
  static TSRequestHandle getUsers(const std::optional<TSParameters>& parameters, const std::string& path, TSRange range,
                                  TSResponseHandler handler);
  static TSRequestHandle getUsersWithHref(const std::string& href, TSResponseHandler handler);
  static TSRequestHandle getMyFollowers(TSRange range, TSResponseHandler handler);
  static TSRequestHandle getFollowingUser(const platform::Value& user, TSContext context);
  static TSRequestHandle getLikedTrack(const platform::Value& track, TSResponseHandler handler);
  static TSRequestHandle putFollowing(const platform::Value& user, TSResponseHandler handler);
  static TSRequestHandle deleteFollowing(const platform::Value& user, TSResponseHandler handler);
  static TSRequestHandle putFavorite(int64_t track, TSResponseHandler handler);
  static TSRequestHandle deleteFavorite(int64_t track, TSResponseHandler handler);
  static TSRequestHandle getComments(int64_t track, TSRange range, TSContext context);
  static TSRequestHandle postComment(int64_t track, const TSParameters& parameters, TSContext context);
  static TSRequestHandle postAttachment(const TSParameters& parameters, int64_t track, TSContext context);
  static TSRequestHandle getAttachments(int64_t track, TSResponseHandler handler);
  static TSRequestHandle getAttachments(const platform::Value& track, TSContext context);
  static TSRequestHandle getUser(const platform::Value& user, TSContext context);
  static TSRequestHandle getUser(const platform::Value& user, TSResponseHandler handler);
  static TSRequestHandle getActivitiesWithHref(const std::string& href, TSResponseHandler handler);
  static TSRequestHandle getActivities(const TSParameters& parameters, const std::string& target, int64_t limit,
                                       TSContext context);
  static TSRequestHandle getLikee(const platform::Value& track, TSResponseHandler handler);

 private:
  struct Call;
  static TSRequestHandle perform(Call call);
  static void attempt(const TSRequestHandle& handle, const std::shared_ptr<Call>& call);
  static TSRequestHandle withContext(scsdk::SCRequestMethod method, const std::optional<platform::URL>& url,
                                     std::optional<TSParameters> parameters, bool isSigned, TSContext context,
                                     platform::Dictionary userInfo, bool reportsProgress, bool retriesOn503 = false);
  static TSRequestHandle withHandler(scsdk::SCRequestMethod method, const std::optional<platform::URL>& url,
                                     std::optional<TSParameters> parameters, bool isSigned, TSResponseHandler handler,
                                     bool passesEmptyProgress = false);
};

}  // namespace tssc
