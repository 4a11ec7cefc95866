#include "soundcloud/screens/audio_streaming_player.h"

#include <cmath>

namespace tssc {

// Hears the inner file player: its end (a stop) is the stream's rate
// falling to 0.
class AudioStreamingPlayer::MediaDelegate : public ListBrowserPlayerDelegate {
 public:
  explicit MediaDelegate(AudioStreamingPlayer* owner) : owner_(owner) {}
  void listBrowserPlayerAboutToStop(ListBrowserPlayer&) override {
    // Told before the inner player stops (and rewinds): the rest comes right after.
    platform::RunLoop::main().perform([owner = owner_, alive = std::weak_ptr<bool>(owner_->alive_)] {
      if (alive.lock()) owner->endReached();
    });
  }
  AudioStreamingPlayer* owner_;
};

AudioStreamingPlayer::AudioStreamingPlayer(std::shared_ptr<ListBrowserTrack> track,
                                           std::vector<platform::AudioDriver> drivers)
    : ListBrowserPlayer(std::move(track)), drivers_(std::move(drivers)) {
  setParameter(kListBrowserPlayerParameterVolume, kListBrowserPlayerVolumeDescription.defaultValue);
}

AudioStreamingPlayer::~AudioStreamingPlayer() {
  alive_.reset();
  if (connection_) connection_->cancel();
  if (timeObserver_) timeObserver_->invalidate();
}

void AudioStreamingPlayer::attach(const platform::URL& url, uint64_t lengthMs) {
  detach();
  length_ = lengthMs;
  media_ = std::make_unique<AudioFilePlayer>(track(), drivers_);
  mediaDelegate_ = std::make_shared<MediaDelegate>(this);
  media_->setDelegate(mediaDelegate_);
  status_ = Status::Unknown;
  playWhenReady_ = false;
  locator_ = 0;
  httpStatus_ = 0;
  bodyBytes_ = 0;
  bytesWhenReady_ = 0;
  body_ = std::make_shared<EncodedBody>();
  stream_ = std::make_shared<DecodedStream>(body_);
  media_->attachStream(stream_);
  // The decoder tells of its progress from its thread; the status is
  // looked at on the main thread.
  stream_->setProgressHandler([this, alive = std::weak_ptr<bool>(alive_), stream = std::weak_ptr<DecodedStream>(stream_)] {
    platform::RunLoop::main().perform([this, alive, stream] {
      if (alive.lock() && stream.lock() == stream_) pollStatus();
    });
  });
  connection_ = platform::URLConnection::make(platform::URLRequest(url), this);
  connection_->start();
  timeObserver_ = platform::RunLoop::main().scheduleTimer(kTimeObserverInterval, true,
                                                          [this](platform::Timer&) { observeTime(); });
  setParameter(kListBrowserPlayerParameterVolume, volume_);
  tell(&ListBrowserPlayerDelegate::listBrowserPlayerAcceptedToStart);
}

void AudioStreamingPlayer::detach() {
  if (connection_) connection_->cancel();
  connection_.reset();
  if (timeObserver_) timeObserver_->invalidate();
  timeObserver_.reset();
  tell(&ListBrowserPlayerDelegate::listBrowserPlayerAcceptedToFinish);
  media_.reset();
  mediaDelegate_.reset();
  stream_.reset();
  body_.reset();
  status_ = Status::Unknown;
  playWhenReady_ = false;
}

void AudioStreamingPlayer::play() {
  if (isPlaying()) return;
  tell(&ListBrowserPlayerDelegate::listBrowserPlayerAcceptedToStart);
  if (!media_) return;
  if (status_ != Status::ReadyToPlay) {
    playWhenReady_ = status_ == Status::Unknown;
    return;
  }
  media_->play();
  rateChanged();
}

void AudioStreamingPlayer::pause() {
  if (!isPlaying()) return;
  tell(&ListBrowserPlayerDelegate::listBrowserPlayerAboutToPause);
  media_->pause();
}

void AudioStreamingPlayer::forceStop() {
  tell(&ListBrowserPlayerDelegate::listBrowserPlayerAboutToStop);
  detach();
}

uint64_t AudioStreamingPlayer::position() const {
  return static_cast<uint64_t>(static_cast<double>(locator_) * static_cast<double>(length_));
}

void AudioStreamingPlayer::seekTo(float position, bool /*startPlaying*/) {
  const uint64_t ms = static_cast<uint64_t>(static_cast<double>(length_) * static_cast<double>(position));
  lastSeek_ = static_cast<double>(ms) * 0.001;
  if (media_) media_->seekToSeconds(*lastSeek_);
  if (length_ > 0) locator_ = static_cast<float>(static_cast<double>(ms) / static_cast<double>(length_));
}

void AudioStreamingPlayer::setParameter(int32_t index, int32_t value) {
  if (index != kListBrowserPlayerParameterVolume) return;
  volume_ = value;
  if (media_) media_->setParameter(kListBrowserPlayerParameterVolume, value);
}

void AudioStreamingPlayer::endReached() {
  // The inner player rewinds when it stops at the end, but a stream that has
  // played out stays at its end, as a media player does: the locator shows
  // it played whole.
  if (media_) media_->seekToSeconds(static_cast<double>(media_->fileFrames()) / kPlayerSampleRate + 1.0);
  observeTime();
  rateChanged();
}

void AudioStreamingPlayer::rateChanged() {
  if (rate() == 1.0f) tell(&ListBrowserPlayerDelegate::listBrowserPlayerAboutToStart);
  else tell(&ListBrowserPlayerDelegate::listBrowserPlayerAboutToPause);
}

void AudioStreamingPlayer::observeTime() {
  if (!media_ || length_ == 0) return;
  const double elapsedSeconds = static_cast<double>(media_->readFrame()) / kPlayerSampleRate;
  locator_ = static_cast<float>(elapsedSeconds * 1000.0 / static_cast<double>(length_));
}

void AudioStreamingPlayer::pollStatus() {
  if (status_ != Status::Unknown || !stream_) return;
  if (httpStatus_ >= 400) return;  // told when the body ends
  const auto state = stream_->state();
  const bool whole = state == DecodedStream::State::Ended;
  if (state == DecodedStream::State::Failed && stream_->bufferedFrames() == 0) {
    connection_.reset();
    setStatus(Status::Failed);
  } else if (whole || state == DecodedStream::State::Failed || stream_->bufferedFrames() >= kStartBufferFrames) {
    bytesWhenReady_ = bodyBytes_;
    setStatus(Status::ReadyToPlay);
  }
}

void AudioStreamingPlayer::setStatus(Status s) {
  status_ = s;
  if (s == Status::Failed) {
    playWhenReady_ = false;
    if (connection_) connection_->cancel();
    connection_.reset();
    tell(&ListBrowserPlayerDelegate::listBrowserPlayerFailedToPlay);
  } else if (s == Status::ReadyToPlay && playWhenReady_) {
    playWhenReady_ = false;
    media_->play();
    rateChanged();
  }
}

void AudioStreamingPlayer::didReceiveResponse(platform::URLConnection&, const platform::HTTPURLResponse& response) {
  httpStatus_ = response.statusCode;
}

void AudioStreamingPlayer::didReceiveData(platform::URLConnection& connection, std::span<const uint8_t> data) {
  if (httpStatus_ >= 400) return;
  if (bodyBytes_ + data.size() > kMaxStreamBytes) {
    connection.cancel();
    connection_.reset();
    if (status_ == Status::Unknown) setStatus(Status::Failed);
    return;
  }
  bodyBytes_ += data.size();
  body_->append(data);
  stream_->wake();
}

void AudioStreamingPlayer::didFinishLoading(platform::URLConnection&) {
  connection_.reset();
  if (httpStatus_ >= 400) {
    setStatus(Status::Failed);
    return;
  }
  body_->finish();
  stream_->wake();
  pollStatus();
}

void AudioStreamingPlayer::didFailWithError(platform::URLConnection&, const platform::Error&) {
  connection_.reset();
  if (status_ == Status::Unknown) {
    setStatus(Status::Failed);
    return;
  }
  // What arrived plays; the stream ends there.
  body_->finish();
  stream_->wake();
}

}  // namespace tssc
