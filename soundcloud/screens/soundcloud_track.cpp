#include "soundcloud/screens/soundcloud_track.h"

#include "controls/file_browser_drawing.h"
#include "platform/net/url.h"
#include "platform/ui/navigation_controller.h"
#include "soundcloud/screens/audio_streaming_player.h"
#include "soundcloud/screens/sc_multiple_info_top_view_controller.h"
#include "soundcloud/screens/soundcloud_comment_view_controller.h"
#include "soundcloud/screens/soundcloud_info_edit_view_controller.h"
#include "soundcloud/ts_info_keys.h"

namespace tssc {

using platform::Value;

namespace {

const Value* fieldOf(const Value& dictionary, const char* key) { return dictionary.find(key); }

std::optional<std::string> textOf(const std::optional<Value>& v) {
  if (v && v->isString()) return v->stringValue();
  return std::nullopt;
}

}  // namespace

std::shared_ptr<SoundCloudTrack> SoundCloudTrack::trackWithTrackInfo(
    Value trackInfo, std::shared_ptr<SoundCloudFetchedObjectContext> datasource) {
  return std::make_shared<SoundCloudTrack>(std::move(trackInfo), std::move(datasource));
}

std::shared_ptr<MySoundCloudTrack> MySoundCloudTrack::trackWithTrackInfo(
    Value trackInfo, std::shared_ptr<SoundCloudFetchedObjectContext> datasource) {
  return std::make_shared<MySoundCloudTrack>(std::move(trackInfo), std::move(datasource));
}

std::shared_ptr<FavoriteSoundCloudTrack> FavoriteSoundCloudTrack::trackWithTrackInfo(
    Value trackInfo, std::shared_ptr<SoundCloudFetchedObjectContext> datasource) {
  return std::make_shared<FavoriteSoundCloudTrack>(std::move(trackInfo), std::move(datasource));
}

SoundCloudTrack::SoundCloudTrack(Value trackInfo, std::shared_ptr<SoundCloudFetchedObjectContext> datasource)
    : trackInfo_(std::move(trackInfo)), dataSource_(datasource) {}

bool SoundCloudTrack::isTrackReadyToPlay() const {
  const Value* state = fieldOf(trackInfo_, "state");
  return state && state->isString() && state->stringValue() == "finished";
}

bool SoundCloudTrack::isTrackStreamable() const {
  const Value* s = fieldOf(trackInfo_, "streamable");
  return s && s->isBool() && s->boolValue();
}

int64_t SoundCloudTrack::trackId() const {
  const Value* id = fieldOf(trackInfo_, "id");
  return id && id->isNumber() ? id->integerValue() : 0;
}

std::optional<Value> SoundCloudTrack::information(int32_t key) const {
  static const char* const kFields[16] = {"id",          "stream_url", "title",   "genre",   "tag_list", "created_at",
                                          "description", "track_type", "license", "sharing", nullptr,    nullptr,
                                          nullptr,       "bpm",        "duration", "commentable"};
  if (key < 0 || key > 15) return std::nullopt;
  switch (key) {
    case kListBrowserInfoURL: {
      if (!isTrackReadyToPlay() || !isTrackStreamable()) return std::nullopt;
      const Value* stream = fieldOf(trackInfo_, "stream_url");
      if (!stream || !stream->isString()) return std::nullopt;
      const std::string base = stream->stringValue();
      const std::string text = base + (base.find('?') == std::string::npos ? "?" : "&") +
                               "consumer_key=" + tsInfoKey(kSCConsumerKey).value_or("");
      if (!platform::URL::withString(text)) return std::nullopt;
      return Value(text);
    }
    case kListBrowserInfoGenre: {
      const Value* genre = fieldOf(trackInfo_, "genre");
      if (!genre) return std::nullopt;
      return genre->isNull() ? Value(std::string()) : *genre;
    }
    case kListBrowserInfoUserId:
    case kListBrowserInfoUserName: {
      const Value* user = fieldOf(trackInfo_, "user");
      const Value* v = user ? user->find(key == kListBrowserInfoUserId ? "id" : "username") : nullptr;
      if (!v) return std::nullopt;
      return *v;
    }
    case kListBrowserInfoUserPicture: {
      auto context = dataSource();
      auto userId = information(kListBrowserInfoUserId);
      if (!context || !userId || !userId->isNumber()) return std::nullopt;
      platform::ImagePtr picture = context->trackUserPictureForUserId(userId->integerValue());
      if (!picture) return std::nullopt;
      // An image is no plain value: the picture goes out as PNG data.
      return Value(picture->pngData());
    }
    default: {
      const Value* v = fieldOf(trackInfo_, kFields[key]);
      if (!v) return std::nullopt;
      return *v;
    }
  }
}

platform::ImagePtr SoundCloudTrack::picture() const {
  auto context = dataSource();
  return context ? context->trackWavImageFor(trackId()) : nullptr;
}

std::shared_ptr<SoundCloudInformationObject> SoundCloudTrack::informationRecord() const {
  auto record = std::make_shared<SoundCloudInformationObject>(false, false);
  auto bpm = information(kListBrowserInfoTempo);
  if (bpm && bpm->isNumber() && !bpm->isBool()) record->tempo = bpm->realValue();
  else record->tempo = std::nullopt;
  record->description = textOf(information(kListBrowserInfoDescription));
  record->genre = textOf(information(kListBrowserInfoGenre));
  record->licenseType = SoundCloudInformationObject::translateStringIntoLicenseType(
      information(kListBrowserInfoLicense).value_or(Value()));
  record->shareType = SoundCloudInformationObject::translateStringIntoSharingType(
      information(kListBrowserInfoSharing).value_or(Value()));
  record->tags = textOf(information(kListBrowserInfoTagList));
  record->title = textOf(information(kListBrowserInfoTitle));
  record->trackType = SoundCloudInformationObject::translateStringIntoTrackType(
      information(kListBrowserInfoTrackType).value_or(Value()));
  record->username = textOf(information(kListBrowserInfoUserName));
  return record;
}

platform::ViewControllerPtr SoundCloudTrack::perform(int32_t action) {
  switch (action) {
    case kListBrowserActionInformation: {
      auto record = informationRecord();
      auto context = dataSource();
      auto userId = information(kListBrowserInfoUserId);
      if (context && userId && userId->isNumber()) record->userPicture = context->trackUserPictureForUserId(userId->integerValue());
      record->updatedDate = textOf(information(kListBrowserInfoCreationDate));
      auto page = std::make_shared<SCMultipleInfoTopViewController>();
      page->setInformationObject(record);
      return page;
    }
    case kListBrowserActionComments: {
      auto screen = std::make_shared<SoundCloudCommentViewController>(shared_from_this(), dataSource());
      screen->setTitle("Comments : " + textOf(information(kListBrowserInfoTitle)).value_or(""));
      return std::make_shared<platform::NavigationController>(screen);
    }
    case kListBrowserActionFavorite:
      if (auto context = dataSource()) context->favoriteTrackFor(trackId());
      return nullptr;
    default: return nullptr;
  }
}

std::shared_ptr<ListBrowserPlayer> SoundCloudTrack::createPlayerWithDelegate(
    std::weak_ptr<ListBrowserPlayerDelegate> delegate) {
  auto player = std::make_shared<AudioStreamingPlayer>(shared_from_this(), drivers_);
  player->setDelegate(std::move(delegate));
  auto url = information(kListBrowserInfoURL);
  auto duration = information(kListBrowserInfoDurationMs);
  const uint32_t length = duration && duration->isNumber() ? static_cast<uint32_t>(duration->integerValue()) : 0;
  if (url) {
    if (auto parsed = platform::URL::withString(url->stringValue())) player->attach(*parsed, length);
  }
  return player;
}

platform::ViewControllerPtr MySoundCloudTrack::perform(int32_t action) {
  switch (action) {
    case kListBrowserActionDelete: {
      auto context = dataSource();
      if (!context) return nullptr;
      const int64_t row = context->trackIndexFor(trackId());
      if (row >= 0) context->removeTrackAt(static_cast<size_t>(row));
      return nullptr;
    }
    case kListBrowserActionEdit: {
      auto record = informationRecord();
      record->track_id = static_cast<uint64_t>(trackId());
      auto editor = std::make_shared<SoundCloudInfoEditViewController>(record);
      editor->setFetchedObjectContext(dataSource());
      auto nav = std::make_shared<platform::NavigationController>(editor);
      nav->navigationBar().setBackgroundColor(fileBrowserTintColor());
      // A sheet over the list: full screen on this platform.
      nav->setModalPresentationStyle(platform::ModalPresentationStyle::FullScreen);
      return nav;
    }
    default: return SoundCloudTrack::perform(action);
  }
}

platform::ViewControllerPtr FavoriteSoundCloudTrack::perform(int32_t action) {
  if (action == kListBrowserActionUnfavorite) {
    if (auto context = dataSource()) context->defavoriteTrackFor(trackId());
    return nullptr;
  }
  return SoundCloudTrack::perform(action);
}

}  // namespace tssc
