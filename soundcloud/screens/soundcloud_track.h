#pragma once
// A track of the service as a browsed list holds it: the track's
// dictionary and the list context it came from. It answers the numbered
// information keys, makes a streaming player for itself and performs the
// numbered actions: information (2), comments (5), favourite (7).
// MySoundCloudTrack (the user's own uploads) adds delete (1) and edit (3);
// FavoriteSoundCloudTrack (the user's favourites) adds unfavourite (8).
//
// The context is held weakly: a track outliving its list answers what its
// own dictionary holds and performs nothing that needs the list.
//
// Main thread only.

#include <memory>

#include "platform/audio/audio_output_unit.h"
#include "soundcloud/screens/list_browser_track.h"
#include "soundcloud/soundcloud_fetched_object_context.h"
#include "soundcloud/soundcloud_information_object.h"

namespace tssc {

class SoundCloudTrack : public ListBrowserTrack {
 public:
  static std::shared_ptr<SoundCloudTrack> trackWithTrackInfo(platform::Value trackInfo,
                                                             std::shared_ptr<SoundCloudFetchedObjectContext> datasource);
  SoundCloudTrack(platform::Value trackInfo, std::shared_ptr<SoundCloudFetchedObjectContext> datasource);

  const platform::Value& trackInfo() const { return trackInfo_; }
  std::shared_ptr<SoundCloudFetchedObjectContext> dataSource() const { return dataSource_.lock(); }

  std::optional<platform::Value> information(int32_t key) const override;
  bool canPerform(int32_t action) const override { return listBrowserActionIn(actions(), action); }
  platform::ViewControllerPtr perform(int32_t action) override;
  // A streaming player with the stream URL (key 1) and the duration (key 14)
  // attached; a track without a stream URL gets one with nothing attached.
  std::shared_ptr<ListBrowserPlayer> createPlayerWithDelegate(
      std::weak_ptr<ListBrowserPlayerDelegate> delegate) override;
  // The cached waveform image.
  platform::ImagePtr picture() const override;

  // "state" is "finished"; "streamable" is true.
  bool isTrackReadyToPlay() const;
  bool isTrackStreamable() const;

  // The sound devices its players try (the program's configured ones).
  void setPlayerDrivers(std::vector<platform::AudioDriver> d) { drivers_ = std::move(d); }

 protected:
  virtual ListBrowserActionSet actions() const { return listBrowserActions({2, 5, 6, 7, 10, 11}); }
  int64_t trackId() const;
  // A record filled from the track for the information page and the editor.
  std::shared_ptr<SoundCloudInformationObject> informationRecord() const;

 private:
  platform::Value trackInfo_;
  std::weak_ptr<SoundCloudFetchedObjectContext> dataSource_;
  std::vector<platform::AudioDriver> drivers_ = platform::configuredAudioDrivers();
};

class MySoundCloudTrack : public SoundCloudTrack {
 public:
  static std::shared_ptr<MySoundCloudTrack> trackWithTrackInfo(platform::Value trackInfo,
                                                               std::shared_ptr<SoundCloudFetchedObjectContext> datasource);
  using SoundCloudTrack::SoundCloudTrack;
  platform::ViewControllerPtr perform(int32_t action) override;

 protected:
  ListBrowserActionSet actions() const override { return listBrowserActions({1, 2, 3, 5, 6, 7, 11}); }
};

class FavoriteSoundCloudTrack : public SoundCloudTrack {
 public:
  static std::shared_ptr<FavoriteSoundCloudTrack> trackWithTrackInfo(
      platform::Value trackInfo, std::shared_ptr<SoundCloudFetchedObjectContext> datasource);
  using SoundCloudTrack::SoundCloudTrack;
  platform::ViewControllerPtr perform(int32_t action) override;

 protected:
  ListBrowserActionSet actions() const override { return listBrowserActions({2, 5, 6, 8, 11}); }
};

}  // namespace tssc
