#include "soundcloud/ts_soundcloud_fetched_activities_store.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <ctime>

#include "platform/foundation/property_list.h"
#include "soundcloud/ts_info_keys.h"
#include "soundcloud/ts_json.h"

namespace tssc {

void TSSoundCloudFetchedActivitiesStoreObserver::soundCloudFetchedActivitiesStoreWillStartFetching(
    const platform::Notification&) {}
void TSSoundCloudFetchedActivitiesStoreObserver::soundCloudFetchedActivitiesStoreDidFinishFetching(
    const platform::Notification&) {}
void TSSoundCloudFetchedActivitiesStoreObserver::soundCloudFetchedActivitiesStoreDidFailedFetching(
    const platform::Notification&) {}

namespace {

using platform::Dictionary;
using platform::Value;

double wallClockNow() {
  return std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
}

std::string lowered(const std::string& s) {
  std::string out = s;
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

bool isStringField(const Dictionary& d, const char* key) {
  auto it = d.find(key);
  return it != d.end() && it->second.isString();
}

bool isIntegerField(const Dictionary& d, const char* key) {
  auto it = d.find(key);
  return it != d.end() && it->second.isInteger();
}

// A stored record as the file should hold it; nullopt for anything else.
std::optional<Dictionary> checkedRecord(const Value& v) {
  const Dictionary* d = v.dictionary();
  if (!d) return std::nullopt;
  for (const char* key : {"type", "created_at", "track_title", "user_name", "user_avatar"})
    if (!isStringField(*d, key)) return std::nullopt;
  for (const char* key : {"track_id", "user_id"})
    if (!isIntegerField(*d, key)) return std::nullopt;
  const std::string type = d->at("type").stringValue();
  Dictionary out;
  for (const char* key : {"type", "created_at", "track_id", "track_title", "user_id", "user_name", "user_avatar"})
    out[key] = d->at(key);
  if (type == "comment") {
    if (!isIntegerField(*d, "comment_id") || !isStringField(*d, "body")) return std::nullopt;
    out["comment_id"] = d->at("comment_id");
    out["body"] = d->at("body");
  } else if (type != "favoriting") {
    return std::nullopt;
  }
  return out;
}

}  // namespace

std::shared_ptr<TSSoundCloudFetchedActivitiesStore> TSSoundCloudFetchedActivitiesStore::make(
    platform::UserDefaults* defaults) {
  return std::shared_ptr<TSSoundCloudFetchedActivitiesStore>(
      new TSSoundCloudFetchedActivitiesStore(defaults ? *defaults : platform::UserDefaults::standardUserDefaults()));
}

TSSoundCloudFetchedActivitiesStore::TSSoundCloudFetchedActivitiesStore(platform::UserDefaults& defaults)
    : defaults_(defaults), limitDate_(wallClockNow() - kFeedAge) {
  nextHref_ = defaults_.stringForKey(kDravelundActivityNextHref);
  futureHref_ = defaults_.stringForKey(kDravelundActivityFutureHref);
  backward_.future = false;
  future_.future = true;
}

TSSoundCloudFetchedActivitiesStore::~TSSoundCloudFetchedActivitiesStore() {
  if (connectionId_) connectionId_->cancel();
  for (Batch* b : {&backward_, &future_})
    for (auto& h : b->checks) h->cancel();
  for (auto& w : downloads_)
    if (auto d = w.lock()) d->cancel();
  auto& center = platform::NotificationCenter::defaultCenter();
  for (auto& [owner, tokens] : observers_)
    for (auto t : tokens) center.removeObserver(t);
  writeLinks();
}

void TSSoundCloudFetchedActivitiesStore::addObserver(TSSoundCloudFetchedActivitiesStoreObserver* observer) {
  if (!observer || observers_.count(observer)) return;
  auto& center = platform::NotificationCenter::defaultCenter();
  const TSSoundCloudFetchedActivitiesStore* self = this;
  auto fromMe = [self](const platform::Notification& n) {
    auto* o = n.objectAs<TSSoundCloudFetchedActivitiesStore*>();
    return o && *o == self;
  };
  std::vector<platform::NotificationCenter::Token> tokens;
  tokens.push_back(center.addObserver(observer, SoundCloudFetchedActivitiesStoreWillStartFetching,
                                      [observer, fromMe](const platform::Notification& n) {
                                        if (fromMe(n)) observer->soundCloudFetchedActivitiesStoreWillStartFetching(n);
                                      }));
  tokens.push_back(center.addObserver(observer, SoundCloudFetchedActivitiesStoreDidFinishFetching,
                                      [observer, fromMe](const platform::Notification& n) {
                                        if (fromMe(n)) observer->soundCloudFetchedActivitiesStoreDidFinishFetching(n);
                                      }));
  tokens.push_back(center.addObserver(observer, SoundCloudFetchedActivitiesStoreDidFailedFetching,
                                      [observer, fromMe](const platform::Notification& n) {
                                        if (fromMe(n)) observer->soundCloudFetchedActivitiesStoreDidFailedFetching(n);
                                      }));
  observers_[observer] = std::move(tokens);
}

void TSSoundCloudFetchedActivitiesStore::removeObserver(TSSoundCloudFetchedActivitiesStoreObserver* observer) {
  auto it = observers_.find(observer);
  if (it == observers_.end()) return;
  for (auto t : it->second) platform::NotificationCenter::defaultCenter().removeObserver(t);
  observers_.erase(it);
}

void TSSoundCloudFetchedActivitiesStore::notify(const char* name, Dictionary userInfo) {
  platform::NotificationCenter::defaultCenter().post(name, this, std::move(userInfo));
}

void TSSoundCloudFetchedActivitiesStore::setNextHref(std::optional<std::string> href) {
  nextHref_ = std::move(href);
  writeLinks();
}

void TSSoundCloudFetchedActivitiesStore::setFutureHref(std::optional<std::string> href) {
  futureHref_ = std::move(href);
  writeLinks();
}

void TSSoundCloudFetchedActivitiesStore::writeLinks() {
  defaults_.setObject(nextHref_ ? Value(*nextHref_) : Value(), kDravelundActivityNextHref);
  defaults_.setObject(futureHref_ ? Value(*futureHref_) : Value(), kDravelundActivityFutureHref);
}

// ---- fetching ---------------------------------------------------------------

void TSSoundCloudFetchedActivitiesStore::fetch(const Dictionary&, const std::string&, uint64_t) {
  if (isFetching_) return;
  if (shouldBeFinished_) {
    platform::Notification n{SoundCloudFetchedActivitiesStoreDidFinishFetching, this,
                             {{kTSName, Value(kTSGetAllActivities)}, {kTSResultCount, Value(0)}}};
    platform::NotificationQueue::defaultQueue().enqueue(std::move(n), platform::PostingStyle::ASAP);
    return;
  }
  const std::string link = nextHref_ ? *nextHref_ : "me/activities/all/own.json?limit=" + std::to_string(pageSize_);
  startFeedRequest(link, false);
}

void TSSoundCloudFetchedActivitiesStore::fetchLatest() {
  if (isFetching_ || !futureHref_) return;
  startFeedRequest(*futureHref_, true);
}

void TSSoundCloudFetchedActivitiesStore::startFeedRequest(const std::string& link, bool future) {
  if (connectionId_) connectionId_->cancel();
  isFetching_ = true;
  std::weak_ptr<TSSoundCloudFetchedActivitiesStore> weak = weak_from_this();
  connectionId_ = TSSoundCloudExecutor::getActivitiesWithHref(
      link, [weak, future](const std::optional<platform::HTTPURLResponse>& response, const platform::Data& data,
                           const std::optional<platform::Error>& error) {
        if (auto self = weak.lock()) self->feedArrived(future, response, data, error);
      });
  notify(SoundCloudFetchedActivitiesStoreWillStartFetching, {{kTSName, Value(kTSGetTracks)}});
}

void TSSoundCloudFetchedActivitiesStore::feedArrived(bool future, const std::optional<platform::HTTPURLResponse>&,
                                                     const platform::Data& data,
                                                     const std::optional<platform::Error>& error) {
  connectionId_.reset();
  const std::optional<Value> json = error ? std::nullopt : tsParseJSON(data);
  if (!json || !json->isDictionary()) {
    // A reply that is not a feed page fails like a refused request.
    isFetching_ = false;
    notify(SoundCloudFetchedActivitiesStoreDidFailedFetching, {{kTSName, Value(kTSGetAllActivities)}});
    return;
  }
  if (future) {
    if (auto f = tsString(*json, "future_href")) futureHref_ = f;
  } else {
    nextHref_ = tsString(*json, "next_href");
    futureHref_ = tsString(*json, "future_href");
  }
  writeLinks();
  static const platform::Array kNone;
  const platform::Array* collection = tsArray(*json, "collection");
  if (!collection) collection = &kNone;

  if (!future && !collection->empty()) {
    if (auto created = tsString((*collection)[0], "created_at"))
      if (auto date = parseDate(*created); date && limitDate_ > *date) shouldBeFinished_ = true;
  }
  Batch& batch = future ? future_ : backward_;
  batch.buffered.clear();
  batch.checks.clear();
  batch.countBefore = activities_.size();
  (future ? searchFutureSize_ : searchSize_) = static_cast<int64_t>(collection->size());

  // One track check per track, shared by every activity about it.
  std::map<int64_t, std::vector<int>> byTrack;
  for (size_t p = 0; p < collection->size(); ++p) {
    const Value& item = (*collection)[p];
    const Value* origin = item.find("origin");
    const Value* track = origin ? origin->find("track") : nullptr;
    const std::optional<int64_t> trackId = track ? tsInteger(*track, "id") : std::nullopt;
    if (!trackId) continue;  // nothing to check it against: left out
    batch.buffered[static_cast<int>(p)] = item;
    byTrack[*trackId].push_back(static_cast<int>(p));
  }
  batch.remaining = batch.buffered.size();
  std::weak_ptr<TSSoundCloudFetchedActivitiesStore> weak = weak_from_this();
  for (auto& [trackId, positions] : byTrack) {
    const int64_t id = trackId;
    std::vector<int> where = positions;
    batch.checks.push_back(TSSoundCloudExecutor::getTrack(
        Value(static_cast<long long>(id)),
        [weak, future, id, where](const std::optional<platform::HTTPURLResponse>&, const platform::Data& body,
                                  const std::optional<platform::Error>& e) {
          if (auto self = weak.lock()) self->trackChecked(future, id, where, body, e);
        }));
  }
  finishBatchIfDone(future);
}

void TSSoundCloudFetchedActivitiesStore::trackChecked(bool future, int64_t, const std::vector<int>& positions,
                                                      const platform::Data& data,
                                                      const std::optional<platform::Error>& error) {
  Batch& batch = future ? future_ : backward_;
  bool ours = false;
  if (!error) {
    if (std::optional<Value> track = tsParseJSON(data)) {
      const Value* createdWith = track->find("created_with");
      const Value* id = createdWith ? createdWith->find("id") : nullptr;
      const std::optional<std::string> app = tsInfoKey(kSCApplicationID);
      ours = id && app && !tsDescription(*id).empty() && tsDescription(*id) == *app;
    }
  }
  for (int p : positions) {
    if (!batch.buffered.count(p)) continue;
    if (!ours) batch.buffered.erase(p);
    if (batch.remaining > 0) --batch.remaining;
  }
  finishBatchIfDone(future);
}

void TSSoundCloudFetchedActivitiesStore::finishBatchIfDone(bool future) {
  Batch& batch = future ? future_ : backward_;
  if (batch.remaining > 0) return;
  for (auto& [p, item] : batch.buffered) retrieveContent(item);
  sortActivities();
  batch.buffered.clear();
  batch.checks.clear();
  isFetching_ = false;
  if (future) {
    const int64_t added = static_cast<int64_t>(activities_.size()) - static_cast<int64_t>(batch.countBefore);
    notify(SoundCloudFetchedActivitiesStoreDidFinishFetching,
           {{kTSName, Value(kTSGetFutureActivities)}, {kTSResultCount, Value(static_cast<long long>(std::max<int64_t>(0, added)))}});
  } else {
    const int64_t n = nextHref_ && !shouldBeFinished_ ? searchSize_ : 0;
    notify(SoundCloudFetchedActivitiesStoreDidFinishFetching,
           {{kTSName, Value(kTSGetAllActivities)}, {kTSResultCount, Value(static_cast<long long>(n))}});
  }
}

void TSSoundCloudFetchedActivitiesStore::cancelFetch() {
  if (!isFetching_) return;
  if (connectionId_) connectionId_->cancel();
  connectionId_.reset();
  for (Batch* b : {&backward_, &future_}) {
    for (auto& h : b->checks) h->cancel();
    b->checks.clear();
    b->buffered.clear();
    b->remaining = 0;
  }
  isFetching_ = false;
}

// ---- the list ---------------------------------------------------------------

std::optional<double> TSSoundCloudFetchedActivitiesStore::parseDate(const std::string& text) {
  int y, mo, d, h, mi, s;
  char sign;
  int zone;
  int used = 0;
  if (std::sscanf(text.c_str(), "%4d/%2d/%2d %2d:%2d:%2d %c%4d%n", &y, &mo, &d, &h, &mi, &s, &sign, &zone, &used) != 8 ||
      static_cast<size_t>(used) != text.size() || (sign != '+' && sign != '-'))
    return std::nullopt;
  if (mo < 1 || mo > 12 || d < 1 || d > 31 || h > 23 || mi > 59 || s > 60) return std::nullopt;
  std::tm tm{};
  tm.tm_year = y - 1900;
  tm.tm_mon = mo - 1;
  tm.tm_mday = d;
  tm.tm_hour = h;
  tm.tm_min = mi;
  tm.tm_sec = s;
  const double offset = ((zone / 100) * 3600 + (zone % 100) * 60) * (sign == '-' ? -1 : 1);
  return static_cast<double>(timegm(&tm)) - offset;
}

std::optional<Dictionary> TSSoundCloudFetchedActivitiesStore::flatten(const Value& activity) {
  const std::optional<std::string> type = tsString(activity, "type");
  const std::optional<std::string> created = tsString(activity, "created_at");
  const Value* origin = activity.find("origin");
  if (!type || !created || !origin || !origin->isDictionary()) return std::nullopt;
  const Value* track = origin->find("track");
  const Value* user = origin->find("user");
  if (!track || !user) return std::nullopt;
  const auto trackId = tsInteger(*track, "id");
  const auto trackTitle = tsString(*track, "title");
  const auto userId = tsInteger(*user, "id");
  const auto userName = tsString(*user, "username");
  const Value* avatar = user->find("avatar_url");
  if (!trackId || !trackTitle || !userId || !userName || !avatar || !(avatar->isString() || avatar->isNull()))
    return std::nullopt;
  Dictionary r{{"type", Value(*type)},
               {"created_at", Value(*created)},
               {"track_id", Value(static_cast<long long>(*trackId))},
               {"track_title", Value(*trackTitle)},
               {"user_id", Value(static_cast<long long>(*userId))},
               {"user_name", Value(*userName)},
               {"user_avatar", Value(avatar->stringValue())}};
  if (*type == "comment") {
    const auto commentId = tsInteger(*origin, "id");
    const auto body = tsString(*origin, "body");
    if (!commentId || !body) return std::nullopt;
    r["comment_id"] = Value(static_cast<long long>(*commentId));
    r["body"] = Value(*body);
  }
  return r;
}

void TSSoundCloudFetchedActivitiesStore::retrieveContent(const Value& activity) {
  const std::optional<std::string> type = tsString(activity, "type");
  if (type == "comment")
    retrieveComment(activity);
  else if (type == "favoriting")
    retrieveFavorite(activity);
}

void TSSoundCloudFetchedActivitiesStore::retrieveComment(const Value& activity) {
  std::optional<Dictionary> r = flatten(activity);
  if (!r || r->at("type").stringValue() != "comment") return;
  const Value& id = r->at("comment_id");
  for (const Dictionary& a : activities_) {
    auto it = a.find("comment_id");
    if (it != a.end() && it->second == id) return;
  }
  activities_.push_back(std::move(*r));
}

void TSSoundCloudFetchedActivitiesStore::retrieveFavorite(const Value& activity) {
  std::optional<Dictionary> r = flatten(activity);
  if (!r || r->at("type").stringValue() != "favoriting") return;
  for (const Dictionary& a : activities_)
    if (a.at("user_id") == r->at("user_id") && a.at("track_id") == r->at("track_id")) return;
  activities_.push_back(std::move(*r));
}

void TSSoundCloudFetchedActivitiesStore::sortActivities() {
  std::stable_sort(activities_.begin(), activities_.end(), [](const Dictionary& a, const Dictionary& b) {
    return lowered(a.at("created_at").stringValue()) > lowered(b.at("created_at").stringValue());
  });
}

void TSSoundCloudFetchedActivitiesStore::clearActivities() {
  activities_.clear();
  // The links and the finished mark describe this account's feed.
  shouldBeFinished_ = false;
  nextHref_.reset();
  futureHref_.reset();
  writeLinks();
}

void TSSoundCloudFetchedActivitiesStore::clear() {
  users_.clear();
  usersOrder_.clear();
  userImage_.clear();
  userImageOrder_.clear();
}

Value TSSoundCloudFetchedActivitiesStore::field(size_t row, const char* key) const {
  if (row >= activities_.size()) return Value();
  auto it = activities_[row].find(key);
  return it == activities_[row].end() ? Value() : it->second;
}

std::string TSSoundCloudFetchedActivitiesStore::bodyAt(size_t row) const {
  if (typeAt(row).stringValue() != "comment") return "";
  return field(row, "body").stringValue();
}

bool TSSoundCloudFetchedActivitiesStore::restoreActivities(const std::filesystem::path& path) {
  activities_.clear();
  std::optional<Value> v = platform::readPropertyList(path);
  if (!v || !v->isArray()) return false;
  for (const Value& e : *v->array())
    if (std::optional<Dictionary> r = checkedRecord(e)) activities_.push_back(std::move(*r));
  return true;
}

bool TSSoundCloudFetchedActivitiesStore::saveActivities(const std::filesystem::path& path) const {
  if (activities_.empty()) return false;
  platform::Array a;
  for (const Dictionary& d : activities_) a.push_back(Value(d));
  return platform::writePropertyList(path, Value(std::move(a)));
}

// ---- avatars and users ------------------------------------------------------

platform::ImagePtr TSSoundCloudFetchedActivitiesStore::avatarAt(size_t row) {
  if (row >= activities_.size()) return nullptr;
  const int64_t userId = field(row, "user_id").integerValue();
  auto it = userImage_.find(userId);
  if (it != userImage_.end()) return it->second;
  const std::optional<platform::URL> url = platform::URL::withString(field(row, "user_avatar").stringValue());
  if (!url || url->empty()) return nullptr;
  Dictionary descriptor{{kTSName, Value(kTSUserPicture)},
                        {kTSUserID, Value(static_cast<long long>(userId))},
                        {kTSTrackRowIndex, Value(static_cast<unsigned long long>(row))}};
  downloads_.erase(std::remove_if(downloads_.begin(), downloads_.end(), [](auto& w) { return w.expired(); }),
                   downloads_.end());
  downloads_.push_back(TSDownloader::downloaderFromURL(*url, this, std::move(descriptor)));
  return nullptr;
}

void TSSoundCloudFetchedActivitiesStore::cacheImage(int64_t userId, platform::ImagePtr image) {
  if (!userImage_.count(userId)) userImageOrder_.push_back(userId);
  userImage_[userId] = std::move(image);
  while (userImage_.size() > kMaxCachedUsers) {
    userImage_.erase(userImageOrder_.front());
    userImageOrder_.pop_front();
  }
}

void TSSoundCloudFetchedActivitiesStore::tsDownloaderDownloadStarted(TSDownloader& downloader) {
  notify(SoundCloudFetchedActivitiesStoreWillStartFetching, downloader.context());
}

void TSSoundCloudFetchedActivitiesStore::tsDownloaderDownloadFinished(TSDownloader& downloader, const platform::Data& data) {
  const Dictionary& c = downloader.context();
  auto name = c.find(kTSName);
  auto user = c.find(kTSUserID);
  if (name != c.end() && name->second.stringValue() == kTSUserPicture && user != c.end())
    if (platform::ImagePtr image = platform::Image::fromData(data)) cacheImage(user->second.integerValue(), image);
  notify(SoundCloudFetchedActivitiesStoreDidFinishFetching, c);
}

void TSSoundCloudFetchedActivitiesStore::tsDownloaderDownloadFailed(TSDownloader& downloader, const platform::Error&) {
  notify(SoundCloudFetchedActivitiesStoreDidFailedFetching, downloader.context());
}

std::optional<std::string> TSSoundCloudFetchedActivitiesStore::userCountryForUserId(int64_t userId) {
  auto it = users_.find(userId);
  if (it != users_.end()) {
    const Value* country = it->second.find("country");
    if (country && country->isString()) return *country->string();
    if (country && country->isNull()) return std::nullopt;
  }
  if (pendingUsers_.count(userId)) return std::nullopt;
  pendingUsers_.insert(userId);
  std::weak_ptr<TSSoundCloudFetchedActivitiesStore> weak = weak_from_this();
  TSSoundCloudExecutor::getUser(
      Value(static_cast<long long>(userId)),
      [weak, userId](const std::optional<platform::HTTPURLResponse>&, const platform::Data& data,
                     const std::optional<platform::Error>& error) {
        auto self = weak.lock();
        if (!self) return;
        self->pendingUsers_.erase(userId);
        Dictionary descriptor{{kTSName, Value(kTSGetUser)}, {kTSUserID, Value(static_cast<long long>(userId))}};
        std::optional<Value> json = error ? std::nullopt : tsParseJSON(data);
        if (!json || !json->isDictionary()) {
          self->notify(SoundCloudFetchedActivitiesStoreDidFailedFetching, std::move(descriptor));
          return;
        }
        if (!self->users_.count(userId)) self->usersOrder_.push_back(userId);
        self->users_[userId] = std::move(*json);
        while (self->users_.size() > kMaxCachedUsers) {
          self->users_.erase(self->usersOrder_.front());
          self->usersOrder_.pop_front();
        }
        self->notify(SoundCloudFetchedActivitiesStoreDidFinishFetching, std::move(descriptor));
      });
  return std::nullopt;
}

std::optional<std::string> TSSoundCloudFetchedActivitiesStore::userCountryAt(size_t row) {
  if (row >= activities_.size()) return std::nullopt;
  return userCountryForUserId(field(row, "user_id").integerValue());
}

}  // namespace tssc
