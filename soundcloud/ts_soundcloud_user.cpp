#include "soundcloud/ts_soundcloud_user.h"

#include <filesystem>

#include "oauth2/nxoauth2_constants.h"
#include "platform/runloop/run_loop.h"
#include "soundcloud-sdk/sc_soundcloud.h"
#include "soundcloud/ts_json.h"
#include "soundcloud/ts_soundcloud_api.h"
#include "soundcloud/ts_soundcloud_path.h"

namespace tssc {

std::shared_ptr<TSSoundCloudUser> TSSoundCloudUser::make(std::any sender, platform::UserDefaults* defaults) {
  return std::shared_ptr<TSSoundCloudUser>(new TSSoundCloudUser(std::move(sender), defaults));
}

TSSoundCloudUser::TSSoundCloudUser(std::any sender, platform::UserDefaults* defaults)
    : sender_(std::move(sender)), store_(TSSoundCloudFetchedActivitiesStore::make(defaults)) {
  if (std::optional<std::filesystem::path> file = TSSoundCloudPath::activitiesFile()) store_->restoreActivities(*file);
  store_->addObserver(this);
}

TSSoundCloudUser::~TSSoundCloudUser() {
  store_->removeObserver(this);
  if (std::optional<std::filesystem::path> file = TSSoundCloudPath::activitiesFile()) store_->saveActivities(*file);
  for (auto& w : downloads_)
    if (auto d = w.lock()) d->cancel();
  auto& center = platform::NotificationCenter::defaultCenter();
  for (auto& [listener, token] : listeners_) center.removeObserver(token);
}

bool TSSoundCloudUser::authenticated() const { return TSSoundCloudAPI::isLoggedIn(); }

void TSSoundCloudUser::post(const char* name, platform::Dictionary userInfo) {
  platform::NotificationCenter::defaultCenter().post(name, sender_, std::move(userInfo));
}

void TSSoundCloudUser::load() {
  TSSoundCloudExecutor::getUserWithContext(weak_from_this());
  TSSoundCloudExecutor::getUserConnectionWithContext(weak_from_this());
}

void TSSoundCloudUser::loadConnection() { TSSoundCloudExecutor::getUserConnectionWithContext(weak_from_this()); }

void TSSoundCloudUser::clearActivities() {
  store_->clearActivities();
  if (std::optional<std::filesystem::path> file = TSSoundCloudPath::activitiesFile()) {
    std::error_code ec;
    std::filesystem::remove(*file, ec);
  }
}

void TSSoundCloudUser::clearProfile() {
  username_.reset();
  userID_.reset();
  picture_.reset();
  connections_.clear();
  numberOfNewActivities_ = 0;
  for (auto& w : downloads_)
    if (auto d = w.lock()) d->cancel();
  downloads_.clear();
}

void TSSoundCloudUser::updateProfile(const TSParameters& parameters) {
  const double wait = parameters.contains("user[avatar_data]") ? kReloadAfterAvatar : kReloadAfterProfile;
  std::weak_ptr<TSSoundCloudUser> weak = weak_from_this();
  TSSoundCloudExecutor::putProfile(parameters, [weak, wait](const std::optional<platform::HTTPURLResponse>&,
                                                            const platform::Data&,
                                                            const std::optional<platform::Error>& error) {
    auto self = weak.lock();
    if (!self) return;
    if (error) {
      self->post(SCUserFailed, {{kAuthInfoError, error->toValue()}});
      return;
    }
    platform::dispatchAfterMain(wait, [weak] {
      if (auto me = weak.lock()) me->load();
    });
  });
}

std::optional<platform::Value> TSSoundCloudUser::connection(int32_t kind) const {
  if (kind == 0) return facebookConnection();
  if (kind == 1) return twitterConnection();
  return std::nullopt;
}

std::optional<platform::Value> TSSoundCloudUser::firstOfType(const std::string& type) const {
  for (const platform::Value& c : connections_)
    if (tsString(c, "type") == type) return c;
  return std::nullopt;
}

void TSSoundCloudUser::addListener(TSSoundCloudUserListener* listener) {
  if (!listener || listeners_.count(listener)) return;
  const TSSoundCloudUser* self = this;
  listeners_[listener] = platform::NotificationCenter::defaultCenter().addObserver(
      listener, SCUserConnectionOK, [self, listener](const platform::Notification& n) {
        auto* o = n.objectAs<TSSoundCloudUser*>();
        if (o && *o == self) listener->soundCloudApiDidLoadedUserConnectionInfo(n);
      });
}

void TSSoundCloudUser::removeListener(TSSoundCloudUserListener* listener) {
  auto it = listeners_.find(listener);
  if (it == listeners_.end()) return;
  platform::NotificationCenter::defaultCenter().removeObserver(it->second);
  listeners_.erase(it);
}

void TSSoundCloudUser::setNumberOfNewActivities(int64_t n) {
  if (n == numberOfNewActivities_) return;
  numberOfNewActivities_ = n;
  post(SCNewActivities);
}

void TSSoundCloudUser::soundCloudAPIDidFinishWithData(const platform::Data& data, const platform::Dictionary& userInfo) {
  auto it = userInfo.find(kTSName);
  const std::string name = it != userInfo.end() ? it->second.stringValue() : std::string();
  if (name == kTSGetMe) {
    std::optional<platform::Value> me = tsParseJSON(data);
    if (!me || !me->isDictionary()) return;
    if (std::optional<std::string> avatar = tsString(*me, "avatar_url"))
      if (std::optional<platform::URL> url = platform::URL::withString(*avatar); url && !url->empty())
        downloads_.push_back(TSDownloader::downloaderFromURL(*url, this, {}));
    if (auto id = tsInteger(*me, "id")) userID_ = id;
    if (auto username = tsString(*me, "username")) username_ = username;
  } else if (name == kTSGetMyConnection) {
    std::optional<platform::Value> list = tsParseJSON(data);
    if (!list || !list->isArray()) return;
    platform::Array connections;
    for (const platform::Value& c : *list->array())
      if (c.isDictionary()) connections.push_back(c);
    connections_ = std::move(connections);
    platform::NotificationCenter::defaultCenter().post(SCUserConnectionOK, this);
  }
}

void TSSoundCloudUser::soundCloudAPIDidFailWithError(const platform::Error& error, const platform::Dictionary& userInfo) {
  auto it = userInfo.find(kTSName);
  if (it != userInfo.end() && it->second.stringValue() == kTSGetMe && error.code == 401 &&
      error.domain == nxoauth2::NXOAuth2HTTPErrorDomain)
    scsdk::SCSoundCloud::removeAccess();
}

void TSSoundCloudUser::tsDownloaderDownloadStarted(TSDownloader&) {}

void TSSoundCloudUser::tsDownloaderDownloadFinished(TSDownloader&, const platform::Data& data) {
  picture_ = platform::Image::fromData(data);
  post(SCUserOK);
}

void TSSoundCloudUser::tsDownloaderDownloadFailed(TSDownloader&, const platform::Error&) { picture_.reset(); }

void TSSoundCloudUser::soundCloudFetchedActivitiesStoreDidFinishFetching(const platform::Notification& n) {
  auto* o = n.objectAs<TSSoundCloudFetchedActivitiesStore*>();
  if (!o || *o != store_.get()) return;
  const platform::Value* name = n.info(kTSName);
  if (!name || name->stringValue() != kTSGetFutureActivities) return;
  const platform::Value* count = n.info(kTSResultCount);
  setNumberOfNewActivities(count ? count->integerValue() : 0);
}

}  // namespace tssc
