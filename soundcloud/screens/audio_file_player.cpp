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
  const DecodedAudio* audio = audio_.get();
  const size_t total = audio ? audio->frames() : 0;
  const int16_t* in = audio ? audio->samples.data() : nullptr;
  const size_t start = std::min(readPos_.load(), total);
  size_t pos = start;
  int32_t g = current_.load(std::memory_order_relaxed);
  const int32_t t = target_.load(std::memory_order_relaxed);
  uint64_t delivered = 0;
  uint32_t left = frames;
  while (left > 0) {
    const uint32_t chunk = std::min(left, kChunkFrames);
    const size_t read = std::min<size_t>(chunk, total - pos);
    for (size_t i = 0; i < read; ++i) {
      const int32_t l = in[2 * (pos + i)];
      const int32_t r = in[2 * (pos + i) + 1];
      out[0] = static_cast<int16_t>((g * l) >> 15);
      out[1] = static_cast<int16_t>((g * r) >> 15);
      out += 2;
      g = (t * 984 + g * 31783) >> 15;
    }
    pos += read;
    delivered += read;
    // The end of the file: the main thread stops (and rewinds).
    if (read < chunk) endReached_.store(true);
    left -= chunk;
  }
  current_.store(g, std::memory_order_relaxed);
  played_.fetch_add(delivered);
  // A seek made meanwhile wins over the position read here.
  size_t expected = start;
  readPos_.compare_exchange_strong(expected, pos);
}

bool AudioFilePlayer::attach(const std::filesystem::path& url) {
  detach();
  auto decoded = decodeWavFile(url);
  if (!decoded) return false;
  attachDecoded(std::make_shared<const DecodedAudio>(std::move(*decoded)));
  return true;
}

void AudioFilePlayer::attachDecoded(std::shared_ptr<const DecodedAudio> audio) {
  detach();
  audio_ = std::move(audio);
  played_ = 0;
  tell(&ListBrowserPlayerDelegate::listBrowserPlayerAcceptedToStart);
  readPos_ = 0;
  endReached_ = false;
}

void AudioFilePlayer::seekToSeconds(double seconds) {
  if (!audio_) return;
  const double frame = std::max(0.0, seconds) * kPlayerSampleRate;
  readPos_ = static_cast<size_t>(std::min(frame, static_cast<double>(audio_->frames())));
}

void AudioFilePlayer::detach() {
  // The render thread reads the samples only while the unit runs.
  if (playing_) {
    unit_.stop();
    playing_ = false;
    if (endTimer_) endTimer_->invalidate();
    endTimer_.reset();
  }
  audio_.reset();
  readPos_ = 0;
}

void AudioFilePlayer::play() {
  if (!audio_ || playing_) return;
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
  readPos_ = 0;
  endReached_ = false;
  playing_ = false;
  if (endTimer_) endTimer_->invalidate();
  endTimer_.reset();
}

void AudioFilePlayer::seekTo(float position, bool startPlaying) {
  if (!audio_) return;
  const double fraction = std::clamp(static_cast<double>(position), 0.0, 1.0);
  readPos_ = static_cast<size_t>(fraction * static_cast<double>(audio_->frames()));
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
