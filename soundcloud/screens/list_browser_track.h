#pragma once
// The one face that every kind of listed track shows to a list screen
// (audio files of the documents folder, tracks of the service): numbered
// information keys, numbered actions that may answer a screen to present,
// and a player made for the track. ListBrowserPlayer is the player of one
// track: it reports its life to a delegate and exposes numbered parameters
// and control codes.
//
// The track's delegate is not owned; the player's delegate is held weakly
// (it is gone once its owner is), the player's track strongly.
//
// Main thread only.

#include <cstdint>
#include <memory>
#include <optional>

#include "platform/foundation/value.h"
#include "platform/gfx/image.h"
#include "platform/ui/view_controller.h"

namespace tssc {

// Keys of ListBrowserTrack::information.
enum ListBrowserInformationKey : int32_t {
  kListBrowserInfoIdentity = 0,  // numeric id of a service track, file name of a file
  kListBrowserInfoURL = 1,       // what to play
  kListBrowserInfoTitle = 2,
  kListBrowserInfoGenre = 3,
  kListBrowserInfoTagList = 4,
  kListBrowserInfoCreationDate = 5,
  kListBrowserInfoDescription = 6,
  kListBrowserInfoTrackType = 7,
  kListBrowserInfoLicense = 8,
  kListBrowserInfoSharing = 9,
  kListBrowserInfoUserId = 10,
  kListBrowserInfoUserName = 11,
  kListBrowserInfoUserPicture = 12,
  kListBrowserInfoTempo = 13,
  kListBrowserInfoDurationMs = 14,
  kListBrowserInfoCommentable = 15,
};

// Actions of ListBrowserTrack::canPerform / perform.
enum ListBrowserAction : int32_t {
  kListBrowserActionDelete = 1,
  kListBrowserActionInformation = 2,
  kListBrowserActionEdit = 3,
  kListBrowserActionUpload = 4,
  kListBrowserActionComments = 5,
  kListBrowserAction6 = 6,
  kListBrowserActionFavorite = 7,
  kListBrowserActionUnfavorite = 8,
  kListBrowserAction9 = 9,
  kListBrowserAction10 = 10,
  kListBrowserAction11 = 11,
};

// A track kind's performable actions: bit n for action n (1 to 11).
using ListBrowserActionSet = uint32_t;
constexpr ListBrowserActionSet listBrowserActions(std::initializer_list<int32_t> actions) {
  ListBrowserActionSet set = 0;
  for (int32_t a : actions)
    if (a >= 1 && a <= 11) set |= 1u << a;
  return set;
}
constexpr bool listBrowserActionIn(ListBrowserActionSet set, int32_t action) {
  return action >= 1 && action <= 11 && (set & (1u << action)) != 0;
}

class ListBrowserTrack;
class ListBrowserPlayer;

class ListBrowserTrackDelegate {
 public:
  virtual ~ListBrowserTrackDelegate() = default;
  // The track's information changed.
  virtual void listBrowserTrackUpdated(ListBrowserTrack& track) = 0;
};

class ListBrowserPlayerDelegate {
 public:
  virtual ~ListBrowserPlayerDelegate() = default;
  // A source was attached, or playing was requested.
  virtual void listBrowserPlayerAcceptedToStart(ListBrowserPlayer&) {}
  virtual void listBrowserPlayerAboutToStart(ListBrowserPlayer&) {}
  virtual void listBrowserPlayerAboutToPause(ListBrowserPlayer&) {}
  virtual void listBrowserPlayerAboutToStop(ListBrowserPlayer&) {}
  // The source cannot be played.
  virtual void listBrowserPlayerFailedToPlay(ListBrowserPlayer&) {}
  // The source was released.
  virtual void listBrowserPlayerAcceptedToFinish(ListBrowserPlayer&) {}
};

class ListBrowserTrack : public std::enable_shared_from_this<ListBrowserTrack> {
 public:
  virtual ~ListBrowserTrack() = default;

  // None for a key the track does not answer.
  virtual std::optional<platform::Value> information(int32_t /*key*/) const { return std::nullopt; }
  // An image of the track (its waveform, say).
  virtual platform::ImagePtr picture() const { return nullptr; }
  virtual bool canPerform(int32_t /*action*/) const { return false; }
  // A screen to present, or none.
  virtual platform::ViewControllerPtr perform(int32_t /*action*/) { return nullptr; }
  // A new player for this track with the delegate set and the source
  // attached; none from a track that cannot play.
  virtual std::shared_ptr<ListBrowserPlayer> createPlayerWithDelegate(
      std::weak_ptr<ListBrowserPlayerDelegate> /*delegate*/) {
    return nullptr;
  }

  ListBrowserTrackDelegate* delegate() const { return delegate_; }
  void setDelegate(ListBrowserTrackDelegate* d) { delegate_ = d; }

 protected:
  void announceUpdate() {
    if (delegate_) delegate_->listBrowserTrackUpdated(*this);
  }

 private:
  ListBrowserTrackDelegate* delegate_ = nullptr;
};

// {minimum, maximum, default} of a player parameter.
struct ListBrowserPlayerParameterDescription {
  int32_t minimum;
  int32_t maximum;
  int32_t defaultValue;
  bool operator==(const ListBrowserPlayerParameterDescription&) const = default;
};

inline constexpr int32_t kListBrowserPlayerParameterVolume = 0;
inline constexpr ListBrowserPlayerParameterDescription kListBrowserPlayerVolumeDescription{0, 127, 100};
// The control codes the concrete players report; the list screen gives
// them their meaning.
inline constexpr int32_t kListBrowserPlayerControlFirst = 1000;
inline constexpr int32_t kListBrowserPlayerControlLast = 1002;

class ListBrowserPlayer {
 public:
  explicit ListBrowserPlayer(std::shared_ptr<ListBrowserTrack> track) : track_(std::move(track)) {}
  virtual ~ListBrowserPlayer() = default;
  ListBrowserPlayer(const ListBrowserPlayer&) = delete;
  ListBrowserPlayer& operator=(const ListBrowserPlayer&) = delete;

  virtual void play() {}
  virtual void pause() {}
  virtual void stop() {}
  virtual void forceStop() {}
  // `position` is a fraction of the length.
  virtual void seekTo(float /*position*/, bool /*startPlaying*/) {}
  virtual bool isPlaying() const { return false; }
  // Milliseconds.
  virtual uint64_t position() const { return 0; }
  virtual uint64_t totalLength() const { return 0; }
  virtual void setParameter(int32_t /*index*/, int32_t /*value*/) {}
  virtual int32_t parameter(int32_t /*index*/) const { return -1; }
  virtual std::optional<ListBrowserPlayerParameterDescription> parameterDescription(int32_t /*index*/) const {
    return std::nullopt;
  }
  virtual bool canControl(int32_t /*code*/) const { return false; }

  std::shared_ptr<ListBrowserPlayerDelegate> delegate() const { return delegate_.lock(); }
  void setDelegate(std::weak_ptr<ListBrowserPlayerDelegate> d) { delegate_ = std::move(d); }
  const std::shared_ptr<ListBrowserTrack>& track() const { return track_; }

 protected:
  // Sends `message` to the delegate when there still is one.
  template <typename Message>
  void tell(Message message) {
    if (auto d = delegate_.lock()) ((*d).*message)(*this);
  }

 private:
  std::weak_ptr<ListBrowserPlayerDelegate> delegate_;
  std::shared_ptr<ListBrowserTrack> track_;
};

}  // namespace tssc
