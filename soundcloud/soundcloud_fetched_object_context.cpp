#include "soundcloud/soundcloud_fetched_object_context.h"

#include <algorithm>

#include "soundcloud/ts_info_keys.h"
#include "soundcloud/ts_json.h"

namespace tssc {

using platform::Dictionary;
using platform::Value;

void SoundCloudFetchedObjectContextObserver::soundCloudFetchedObjectContextWillStartFetching(
    const platform::Notification&) {}
void SoundCloudFetchedObjectContextObserver::soundCloudFetchedObjectContextDidFinishFetching(
    const platform::Notification&) {}
void SoundCloudFetchedObjectContextObserver::soundCloudFetchedObjectContextDidFailedFetching(
    const platform::Notification&) {}

namespace {

Value idValue(int64_t id) { return Value(static_cast<long long>(id)); }

std::string nameOf(const Dictionary& d) {
  auto it = d.find(kTSName);
  return it == d.end() ? std::string() : it->second.stringValue();
}

std::optional<int64_t> integerIn(const Dictionary& d, const char* key) {
  auto it = d.find(key);
  if (it == d.end() || !it->second.isInteger()) return std::nullopt;
  return it->second.integerValue();
}

}  // namespace

std::shared_ptr<SoundCloudFetchedObjectContext> SoundCloudFetchedObjectContext::make() {
  return std::shared_ptr<SoundCloudFetchedObjectContext>(new SoundCloudFetchedObjectContext());
}

SoundCloudFetchedObjectContext::~SoundCloudFetchedObjectContext() {
  if (connectionId_) connectionId_->cancel();
  for (auto& w : downloads_)
    if (auto d = w.lock()) d->cancel();
  auto& center = platform::NotificationCenter::defaultCenter();
  for (auto& [o, tokens] : observers_)
    for (auto t : tokens) center.removeObserver(t);
}

void SoundCloudFetchedObjectContext::addObserver(SoundCloudFetchedObjectContextObserver* observer) {
  if (!observer || observers_.count(observer)) return;
  auto& center = platform::NotificationCenter::defaultCenter();
  const SoundCloudFetchedObjectContext* self = this;
  auto fromMe = [self](const platform::Notification& n) {
    auto* o = n.objectAs<SoundCloudFetchedObjectContext*>();
    return o && *o == self;
  };
  observers_[observer] = {
      center.addObserver(observer, SCFetchWillStart,
                         [observer, fromMe](const platform::Notification& n) {
                           if (fromMe(n)) observer->soundCloudFetchedObjectContextWillStartFetching(n);
                         }),
      center.addObserver(observer, SCFetchDidFinish,
                         [observer, fromMe](const platform::Notification& n) {
                           if (fromMe(n)) observer->soundCloudFetchedObjectContextDidFinishFetching(n);
                         }),
      center.addObserver(observer, SCFetchDidFailed,
                         [observer, fromMe](const platform::Notification& n) {
                           if (fromMe(n)) observer->soundCloudFetchedObjectContextDidFailedFetching(n);
                         }),
  };
}

void SoundCloudFetchedObjectContext::removeObserver(SoundCloudFetchedObjectContextObserver* observer) {
  auto it = observers_.find(observer);
  if (it == observers_.end()) return;
  for (auto t : it->second) platform::NotificationCenter::defaultCenter().removeObserver(t);
  observers_.erase(it);
}

void SoundCloudFetchedObjectContext::notify(const char* name, Dictionary userInfo) {
  platform::NotificationCenter::defaultCenter().post(name, this, std::move(userInfo));
}

// ---- paging -----------------------------------------------------------------

void SoundCloudFetchedObjectContext::fetch(const TSParameters& parameters, const std::string& target, uint64_t page) {
  if (connectionId_) connectionId_->cancel();
  connectionId_ = TSSoundCloudExecutor::getTracks(parameters, target, TSRange{page * kPageSize, kPageSize},
                                                  weak_from_this());
  notify(SCFetchWillStart, {{kTSName, Value(kTSGetTracks)}});
}

void SoundCloudFetchedObjectContext::clearAll() {
  tracks_.clear();
  attachments_.clear();
  comments_.clear();
  wavImage_.clear();
  wavOrder_.clear();
  userImage_.clear();
  userOrder_.clear();
}

void SoundCloudFetchedObjectContext::didReceiveMemoryWarning() {
  wavImage_.clear();
  wavOrder_.clear();
  comments_.clear();
  userImage_.clear();
  userOrder_.clear();
}

// ---- rows -------------------------------------------------------------------

Value SoundCloudFetchedObjectContext::field(size_t row, const char* key) const {
  if (row >= tracks_.size()) return Value();
  const Value* v = tracks_[row].find(key);
  return v ? *v : Value();
}

int64_t SoundCloudFetchedObjectContext::trackIndexFor(int64_t trackId) const {
  for (size_t i = 0; i < tracks_.size(); ++i)
    if (tsInteger(tracks_[i], "id") == trackId) return static_cast<int64_t>(i);
  return -1;
}

Value SoundCloudFetchedObjectContext::trackObjectAt(size_t row) const {
  return row < tracks_.size() ? tracks_[row] : Value();
}

std::optional<int64_t> SoundCloudFetchedObjectContext::trackIdAt(size_t row) const {
  return row < tracks_.size() ? tsInteger(tracks_[row], "id") : std::nullopt;
}

Value SoundCloudFetchedObjectContext::trackAuthorAt(size_t row) const {
  const Value user = field(row, "user");
  const Value* name = user.find("username");
  return name ? *name : Value();
}

std::string SoundCloudFetchedObjectContext::trackGenreAt(size_t row) const { return field(row, "genre").stringValue(); }

std::optional<int64_t> SoundCloudFetchedObjectContext::trackUserIdAt(size_t row) const {
  const Value user = field(row, "user");
  return tsInteger(user, "id");
}

bool SoundCloudFetchedObjectContext::isTrackReadyToPlayAt(size_t row) const {
  return field(row, "state").stringValue() == "finished";
}

bool SoundCloudFetchedObjectContext::isTrackStreamableAt(size_t row) const { return field(row, "streamable").boolValue(); }

std::optional<std::string> SoundCloudFetchedObjectContext::trackStreamUrlAt(size_t row) const {
  const Value url = field(row, "stream_url");
  if (!isTrackReadyToPlayAt(row) || !isTrackStreamableAt(row) || !url.isString()) return std::nullopt;
  return *url.string() + "?consumer_key=" + tsInfoKey(kSCConsumerKey).value_or("");
}

bool SoundCloudFetchedObjectContext::isTrackCommentableAt(size_t row) const {
  return field(row, "commentable").boolValue();
}

bool SoundCloudFetchedObjectContext::isTrackCommentableFor(int64_t trackId) const {
  const int64_t row = trackIndexFor(trackId);
  return row >= 0 && isTrackCommentableAt(static_cast<size_t>(row));
}

std::optional<int64_t> SoundCloudFetchedObjectContext::searchUserIdByName(const std::string& username) const {
  for (const Value& t : tracks_) {
    const Value* user = t.find("user");
    if (user && tsString(*user, "username") == username) return tsInteger(*user, "id");
  }
  return std::nullopt;
}

// ---- per-track operations ---------------------------------------------------

void SoundCloudFetchedObjectContext::removeTrackAt(size_t row) {
  const std::optional<int64_t> id = trackIdAt(row);
  if (!id) return;
  const int64_t trackId = *id;
  Dictionary descriptor{{kTSName, Value(kTSDeleteTrack)}, {kTSTrackID, idValue(trackId)}};
  notify(SCFetchWillStart, descriptor);
  std::weak_ptr<SoundCloudFetchedObjectContext> weak = weak_from_this();
  TSSoundCloudExecutor::deleteTrack(idValue(trackId), [weak, trackId, descriptor](
                                                          const std::optional<platform::HTTPURLResponse>&,
                                                          const platform::Data&,
                                                          const std::optional<platform::Error>& error) {
    auto self = weak.lock();
    if (!self) return;
    if (error) {
      self->notify(SCFetchDidFailed, descriptor);
      return;
    }
    // The list may have changed meanwhile: look the row up again.
    const int64_t now = self->trackIndexFor(trackId);
    if (now >= 0) self->tracks_.erase(self->tracks_.begin() + now);
    self->notify(SCFetchDidFinish, descriptor);
  });
}

void SoundCloudFetchedObjectContext::updateTrackFor(int64_t trackId, const TSParameters& parameters) {
  TSSoundCloudExecutor::putTrack(parameters, static_cast<uint64_t>(trackId), weak_from_this());
  notify(SCFetchWillStart, {{kTSName, Value(kTSPutTrack)}, {kTSTrackID, idValue(trackId)}});
}

void SoundCloudFetchedObjectContext::favoriteTrackFor(int64_t trackId) { favorite(trackId, true); }
void SoundCloudFetchedObjectContext::defavoriteTrackFor(int64_t trackId) { favorite(trackId, false); }

void SoundCloudFetchedObjectContext::favorite(int64_t trackId, bool on) {
  Dictionary descriptor{{kTSName, Value(on ? kTSPutFavorite : kTSDeleteFavorite)}, {kTSTrackID, idValue(trackId)}};
  notify(SCFetchWillStart, descriptor);
  std::weak_ptr<SoundCloudFetchedObjectContext> weak = weak_from_this();
  auto handler = [weak, trackId, on, descriptor](const std::optional<platform::HTTPURLResponse>&, const platform::Data&,
                                                 const std::optional<platform::Error>& error) {
    auto self = weak.lock();
    if (!self) return;
    if (error) {
      self->notify(SCFetchDidFailed, descriptor);
      return;
    }
    // A list of favourites loses the track.
    if (!on)
      if (const int64_t row = self->trackIndexFor(trackId); row >= 0) self->tracks_.erase(self->tracks_.begin() + row);
    self->notify(SCFetchDidFinish, descriptor);
  };
  if (on)
    TSSoundCloudExecutor::putFavorite(trackId, handler);
  else
    TSSoundCloudExecutor::deleteFavorite(trackId, handler);
}

// ---- caches -----------------------------------------------------------------

std::optional<platform::URL> SoundCloudFetchedObjectContext::tryToRetrieveAttachmentHref(int64_t trackId) {
  auto it = attachments_.find(trackId);
  if (it != attachments_.end()) return it->second;
  TSSoundCloudExecutor::getAttachments(idValue(trackId), TSContext(weak_from_this()));
  notify(SCFetchWillStart, {{kTSName, Value(kTSGetAttachments)}, {kTSTrackID, idValue(trackId)}});
  return std::nullopt;
}

std::optional<platform::URL> SoundCloudFetchedObjectContext::trackAttachmentHrefAt(size_t row) {
  const std::optional<int64_t> id = trackIdAt(row);
  return id ? tryToRetrieveAttachmentHref(*id) : std::nullopt;
}

void SoundCloudFetchedObjectContext::download(const std::string& url, Dictionary descriptor) {
  std::optional<platform::URL> u = platform::URL::withString(url);
  if (!u || u->empty()) {
    notify(SCFetchDidFailed, std::move(descriptor));
    return;
  }
  downloads_.erase(std::remove_if(downloads_.begin(), downloads_.end(), [](auto& w) { return w.expired(); }),
                   downloads_.end());
  downloads_.push_back(TSDownloader::downloaderFromURL(*u, this, std::move(descriptor)));
}

platform::ImagePtr SoundCloudFetchedObjectContext::tryToRetrieveUserPictureAt(size_t row) {
  const std::optional<int64_t> userId = trackUserIdAt(row);
  if (!userId) return nullptr;
  auto it = userImage_.find(*userId);
  if (it != userImage_.end()) return it->second;
  const Value user = field(row, "user");
  download(tsString(user, "avatar_url").value_or(""),
           {{kTSName, Value(kTSUserPicture)},
            {kTSUserID, idValue(*userId)},
            {kTSTrackRowIndex, Value(static_cast<unsigned long long>(row))}});
  return nullptr;
}

platform::ImagePtr SoundCloudFetchedObjectContext::trackUserPictureForUserId(int64_t userId) const {
  auto it = userImage_.find(userId);
  return it == userImage_.end() ? nullptr : it->second;
}

void SoundCloudFetchedObjectContext::tryToRetrieveWavImage(size_t row) {
  const std::optional<int64_t> id = trackIdAt(row);
  if (!id) return;
  Dictionary descriptor{{kTSName, Value(kTSWaveImage)}, {kTSTrackID, idValue(*id)}};
  if (wavImage_.count(*id)) {
    notify(SCFetchDidFinish, std::move(descriptor));
    return;
  }
  download(field(row, "waveform_url").stringValue(), std::move(descriptor));
}

platform::ImagePtr SoundCloudFetchedObjectContext::trackWavImageFor(int64_t trackId) const {
  auto it = wavImage_.find(trackId);
  return it == wavImage_.end() ? nullptr : it->second;
}

void SoundCloudFetchedObjectContext::fetchCommentsFor(int64_t trackId) {
  isRetrievingComments_ = true;
  TSSoundCloudExecutor::getComments(trackId, TSRange{0, kCommentLimit}, weak_from_this());
}

void SoundCloudFetchedObjectContext::fetchCommentsAt(size_t row) {
  if (const std::optional<int64_t> id = trackIdAt(row)) fetchCommentsFor(*id);
}

std::optional<platform::Array> SoundCloudFetchedObjectContext::trackCommentsFor(int64_t trackId) {
  if (isRetrievingComments_) return std::nullopt;
  auto it = comments_.find(trackId);
  if (it != comments_.end()) return it->second;
  fetchCommentsFor(trackId);
  notify(SCFetchWillStart, {{kTSName, Value(kTSGetComments)}, {kTSTrackID, idValue(trackId)}});
  return std::nullopt;
}

std::optional<platform::Array> SoundCloudFetchedObjectContext::trackCommentsAt(size_t row) {
  const std::optional<int64_t> id = trackIdAt(row);
  return id ? trackCommentsFor(*id) : std::nullopt;
}

int64_t SoundCloudFetchedObjectContext::numberOfCommentsFor(int64_t trackId) const {
  auto it = comments_.find(trackId);
  return it == comments_.end() ? 0 : static_cast<int64_t>(it->second.size());
}

void SoundCloudFetchedObjectContext::cache(std::map<int64_t, platform::ImagePtr>& images, std::deque<int64_t>& order,
                                           int64_t key, platform::ImagePtr image) {
  if (!images.count(key)) order.push_back(key);
  images[key] = std::move(image);
  while (images.size() > kMaxCachedImages) {
    images.erase(order.front());
    order.pop_front();
  }
}

// ---- replies ----------------------------------------------------------------

void SoundCloudFetchedObjectContext::soundCloudAPIDidFinishWithData(const platform::Data& data,
                                                                    const Dictionary& userInfo) {
  const std::string name = nameOf(userInfo);
  const std::optional<Value> json = tsParseJSON(data);
  Dictionary descriptor = userInfo;
  if (name == kTSGetTracks) {
    connectionId_.reset();
    int64_t n = 0;
    if (json && json->isArray()) {
      n = static_cast<int64_t>(json->array()->size());
      for (const Value& t : *json->array())
        if (t.isDictionary()) tracks_.push_back(t);
    }
    descriptor[kTSResultCount] = Value(static_cast<long long>(n));
  } else if (name == kTSGetAttachments) {
    if (const std::optional<int64_t> id = integerIn(userInfo, kTSTrackID)) {
      std::optional<platform::URL> link;
      if (json && json->isArray() && !json->array()->empty())
        if (std::optional<std::string> href = tsString(json->array()->back(), "href"))
          link = platform::URL::withString(*href);
      attachments_[*id] = link;
    }
  } else if (name == kTSGetComments) {
    isRetrievingComments_ = false;
    if (const std::optional<int64_t> id = integerIn(userInfo, kTSTrackID))
      if (json && json->isArray()) comments_[*id] = *json->array();
  } else if (name == kTSPutTrack) {
    if (const std::optional<int64_t> id = integerIn(userInfo, kTSTrackID))
      if (json && json->isDictionary())
        if (const int64_t row = trackIndexFor(*id); row >= 0) tracks_[static_cast<size_t>(row)] = *json;
  }
  notify(SCFetchDidFinish, std::move(descriptor));
}

void SoundCloudFetchedObjectContext::soundCloudAPIDidFailWithError(const platform::Error&, const Dictionary& userInfo) {
  const std::string name = nameOf(userInfo);
  if (name == kTSGetComments) isRetrievingComments_ = false;
  if (name == kTSGetTracks) connectionId_.reset();
  notify(SCFetchDidFailed, userInfo);
}

void SoundCloudFetchedObjectContext::tsDownloaderDownloadStarted(TSDownloader& downloader) {
  notify(SCFetchWillStart, downloader.context());
}

void SoundCloudFetchedObjectContext::tsDownloaderDownloadFinished(TSDownloader& downloader, const platform::Data& data) {
  const Dictionary& c = downloader.context();
  const std::string name = nameOf(c);
  if (platform::ImagePtr image = platform::Image::fromData(data)) {
    if (name == kTSUserPicture) {
      if (auto id = integerIn(c, kTSUserID)) cache(userImage_, userOrder_, *id, image);
    } else if (name == kTSWaveImage) {
      if (auto id = integerIn(c, kTSTrackID)) cache(wavImage_, wavOrder_, *id, image);
    }
  }
  notify(SCFetchDidFinish, c);
}

void SoundCloudFetchedObjectContext::tsDownloaderDownloadFailed(TSDownloader& downloader, const platform::Error&) {
  notify(SCFetchDidFailed, downloader.context());
}

}  // namespace tssc
