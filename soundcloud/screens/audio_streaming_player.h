#pragma once
// The player of a service stream: the stream URL is fetched over HTTP on
// the main run loop, and the body is decoded as it arrives (MPEG audio, the
// service's MP3 streams, or WAV) on a thread of its own (decoded_stream.h)
// and plays through a file player of its own. It is ready to play once a
// short buffer is decoded (or the whole stream, when shorter), long before
// the body has all arrived; should playing overtake the download it waits
// in silence for more. A stream that is neither, or damaged before its
// first sound, or an HTTP error, is reported once as failed to play.
//
// Its life follows a media player's: a status (unknown until the buffer is
// filled; ready, or failed) and a rate (1 playing, 0 not). Status failed tells
// the delegate listBrowserPlayerFailedToPlay; rate 1 AboutToStart, rate 0
// AboutToPause. Play asked while the stream still loads starts it once it
// is ready. A periodic observer (every 0.1 s while attached) sets the
// locator, the play position as a fraction of the length given at attach.
// A stream that has played to its end stays at its end.
//
// Main thread only.

#include <memory>
#include <optional>

#include "platform/net/url.h"
#include "platform/net/url_connection.h"
#include "platform/runloop/run_loop.h"
#include "soundcloud/screens/audio_file_player.h"

namespace tssc {

class AudioStreamingPlayer : public ListBrowserPlayer, private platform::URLConnectionDelegate {
 public:
  enum class Status { Unknown, ReadyToPlay, Failed };
  static constexpr double kTimeObserverInterval = 0.1;
  // Decoded audio needed before the stream is ready to play.
  static constexpr size_t kStartBufferFrames = 22050;
  // A stream larger than this is not played (its encoded bytes are kept for
  // seeking back).
  static constexpr size_t kMaxStreamBytes = 256 * 1024 * 1024;

  explicit AudioStreamingPlayer(std::shared_ptr<ListBrowserTrack> track,
                                std::vector<platform::AudioDriver> drivers = platform::configuredAudioDrivers());
  ~AudioStreamingPlayer() override;

  // Detaches (telling AcceptedToFinish even when nothing was attached),
  // keeps the length, starts fetching the URL, re-applies the volume and
  // tells AcceptedToStart. Playing does not start.
  void attach(const platform::URL& url, uint64_t lengthMs);
  void detach();

  bool isPlaying() const override { return rate() > 0; }
  void play() override;
  void pause() override;
  void forceStop() override;
  uint64_t position() const override;
  uint64_t totalLength() const override { return length_; }
  void seekTo(float position, bool startPlaying) override;
  void setParameter(int32_t index, int32_t value) override;
  int32_t parameter(int32_t index) const override {
    return index == kListBrowserPlayerParameterVolume ? volume_ : -1;
  }
  std::optional<ListBrowserPlayerParameterDescription> parameterDescription(int32_t index) const override {
    if (index != kListBrowserPlayerParameterVolume) return std::nullopt;
    return kListBrowserPlayerVolumeDescription;
  }
  bool canControl(int32_t code) const override {
    return code >= kListBrowserPlayerControlFirst && code <= kListBrowserPlayerControlLast;
  }

  // ---- figures
  Status status() const { return status_; }
  float rate() const { return media_ && media_->isPlaying() ? 1.0f : 0.0f; }
  float locator() const { return locator_; }
  // Where the last seek went, in seconds.
  std::optional<double> lastSeekSeconds() const { return lastSeek_; }
  bool hasMediaPlayer() const { return static_cast<bool>(media_); }
  AudioFilePlayer* mediaPlayer() const { return media_.get(); }
  // Body bytes received when the status became ready (0 before).
  size_t bytesWhenReady() const { return bytesWhenReady_; }
  size_t bytesReceived() const { return bodyBytes_; }

 private:
  class MediaDelegate;

  void setStatus(Status s);
  void rateChanged();
  // The inner player stopped at the end of the stream.
  void endReached();
  void observeTime();
  void pollStatus();

  void didReceiveResponse(platform::URLConnection&, const platform::HTTPURLResponse& response) override;
  void didReceiveData(platform::URLConnection&, std::span<const uint8_t> data) override;
  void didFinishLoading(platform::URLConnection&) override;
  void didFailWithError(platform::URLConnection&, const platform::Error&) override;

  std::vector<platform::AudioDriver> drivers_;
  std::unique_ptr<AudioFilePlayer> media_;
  std::shared_ptr<MediaDelegate> mediaDelegate_;
  std::shared_ptr<platform::URLConnection> connection_;
  std::shared_ptr<EncodedBody> body_;
  std::shared_ptr<DecodedStream> stream_;
  size_t bodyBytes_ = 0;
  int httpStatus_ = 0;
  std::shared_ptr<platform::Timer> timeObserver_;
  Status status_ = Status::Unknown;
  bool playWhenReady_ = false;
  int32_t volume_ = 0;
  float locator_ = 0;
  uint64_t length_ = 0;
  std::optional<double> lastSeek_;
  size_t bytesWhenReady_ = 0;
  // Lets work posted by the inner player's delegate see that this is gone.
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace tssc
