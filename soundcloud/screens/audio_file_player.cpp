#include "soundcloud/screens/audio_file_player.h"

#include <algorithm>

namespace tssc {

AudioFilePlayer::AudioFilePlayer(std::shared_ptr<ListBrowserTrack> track, std::vector<platform::AudioDriver> drivers)
    : ListBrowserPlayer(std::move(track)), unit_(session_) {
  // Silence first: the current gain starts at 0 and fades in to the default.
  setParameter(kListBrowserPlayerParameterVolume, kListBrowserPlayerVolumeDescription.defaultValue);
  unit_.setDrivers(std::move(drivers));
  unit_.setStreamFormat(kPlayerSampleRate, 2);
  unit_.setClientName("iGROOVEBIX player");
  unit_.setRenderCallback(&AudioFilePlayer::render, this);
  unit_.initialize();
}

AudioFilePlayer::~AudioFilePlayer() {
  if (endTimer_) endTimer_->invalidate();
  unit_.stop();
  unit_.uninitialize();
  detach();
}

int32_t AudioFilePlayer::render(void* context, const platform::AudioTimeStamp*, uint32_t frames, int16_t* data) {
  static_cast<AudioFilePlayer*>(context)->audioProcess(0, frames, data);
  return 0;
}

void AudioFilePlayer::audioProcess(uint32_t /*bus*/, uint32_t frames, int16_t* out) {
  DecodedStream* stream = stream_.get();
  const size_t start = readPos_.load();
  size_t pos = start;
  int32_t g = current_.load(std::memory_order_relaxed);
  const int32_t t = target_.load(std::memory_order_relaxed);
  uint64_t delivered = 0;
  uint32_t left = frames;
  while (left > 0) {
    const uint32_t chunk = std::min(left, kChunkFrames);
    const size_t read = stream ? stream->read(pos, buffer_.data(), chunk) : 0;
    const int16_t* in = buffer_.data();
    for (size_t i = 0; i < read; ++i) {
      const int32_t l = in[2 * i];
      const int32_t r = in[2 * i + 1];
      out[0] = static_cast<int16_t>((g * l) >> 15);
      out[1] = static_cast<int16_t>((g * r) >> 15);
      out += 2;
      g = (t * 984 + g * 31783) >> 15;
    }
    pos += read;
    delivered += read;
    if (read < chunk) {
      const std::optional<size_t> end = stream ? stream->endFrame() : std::optional<size_t>(0);
      // Not decoded yet: the rest of the block stays silent and the
      // position waits for the decoder.
      if (!end || pos < *end) break;
      // The end of the file: the main thread stops (and rewinds).
      endReached_.store(true);
    }
    left -= chunk;
  }
  current_.store(g, std::memory_order_relaxed);
  played_.fetch_add(delivered);
  // A seek made meanwhile wins over the position read here.
  size_t expected = start;
  if (readPos_.compare_exchange_strong(expected, pos) && stream) stream->setPlayhead(pos);
}

bool AudioFilePlayer::attach(const std::filesystem::path& url) {
  detach();
  std::error_code ec;
  if (!std::filesystem::is_regular_file(url, ec)) return false;
  auto stream = std::make_shared<DecodedStream>(url);
  // The header or the first frame tells within milliseconds; the bound
  // only keeps a stuck disk from holding the interface.
  if (!stream->waitForFormat(5.0)) return false;
  attachStream(std::move(stream));
  return true;
}

void AudioFilePlayer::attachStream(std::shared_ptr<DecodedStream> stream) {
  detach();
  stream_ = std::move(stream);
  played_ = 0;
  tell(&ListBrowserPlayerDelegate::listBrowserPlayerAcceptedToStart);
  moveTo(0);
  endReached_ = false;
}

void AudioFilePlayer::moveTo(size_t frame) {
  readPos_ = frame;
  if (stream_) {
    stream_->setPlayhead(frame);
    stream_->wake();
  }
}

void AudioFilePlayer::seekToSeconds(double seconds) {
  if (!stream_) return;
  const double frame = std::max(0.0, seconds) * kPlayerSampleRate;
  moveTo(static_cast<size_t>(std::min(frame, static_cast<double>(fileFrames()))));
}

void AudioFilePlayer::detach() {
  // The render thread reads the samples only while the unit runs.
  if (playing_) {
    unit_.stop();
    playing_ = false;
    if (endTimer_) endTimer_->invalidate();
    endTimer_.reset();
  }
  stream_.reset();
  readPos_ = 0;
}

void AudioFilePlayer::play() {
  if (!stream_ || playing_) return;
  tell(&ListBrowserPlayerDelegate::listBrowserPlayerAboutToStart);
  endReached_ = false;
  unit_.start();
  playing_ = true;
  endTimer_ = platform::RunLoop::main().scheduleTimer(kEndPollInterval, true, [this](platform::Timer&) { checkForEnd(); });
}

void AudioFilePlayer::checkForEnd() {
  if (endReached_.exchange(false)) stop();
}

void AudioFilePlayer::pause() {
  if (!playing_) return;
  tell(&ListBrowserPlayerDelegate::listBrowserPlayerAboutToPause);
  unit_.stop();
  playing_ = false;
  if (endTimer_) endTimer_->invalidate();
  endTimer_.reset();
}

void AudioFilePlayer::stop() {
  if (!playing_) return;
  tell(&ListBrowserPlayerDelegate::listBrowserPlayerAboutToStop);
  unit_.stop();
  moveTo(0);
  endReached_ = false;
  playing_ = false;
  if (endTimer_) endTimer_->invalidate();
  endTimer_.reset();
}

void AudioFilePlayer::seekTo(float position, bool startPlaying) {
  if (!stream_) return;
  const double fraction = std::clamp(static_cast<double>(position), 0.0, 1.0);
  moveTo(static_cast<size_t>(fraction * static_cast<double>(fileFrames())));
  if (startPlaying) play();
}

uint64_t AudioFilePlayer::position() const {
  return static_cast<uint64_t>(static_cast<double>(readPos_.load()) * 1000.0 / kPlayerSampleRate);
}

uint64_t AudioFilePlayer::totalLength() const {
  return static_cast<uint64_t>(static_cast<double>(fileFrames()) * 1000.0 / kPlayerSampleRate);
}

void AudioFilePlayer::setParameter(int32_t index, int32_t value) {
  if (index != kListBrowserPlayerParameterVolume) return;
  // Held to the described range: a larger value would overflow the gain.
  volume_ = std::clamp(value, kListBrowserPlayerVolumeDescription.minimum, kListBrowserPlayerVolumeDescription.maximum);
  target_.store((volume_ * volume_ * 65) >> 5, std::memory_order_relaxed);
}

std::optional<ListBrowserPlayerParameterDescription> AudioFilePlayer::parameterDescription(int32_t index) const {
  if (index != kListBrowserPlayerParameterVolume) return std::nullopt;
  return kListBrowserPlayerVolumeDescription;
}

}  // namespace tssc
