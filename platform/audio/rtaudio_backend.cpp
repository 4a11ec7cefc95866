// PulseAudio and ALSA through RtAudio 5.2. RtAudio gives no device time for
// a buffer, so the time stamps say "no host time" and the listener side
// falls back to now plus the latency.

#include <alsa/asoundlib.h>
#include <rtaudio/RtAudio.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/audio/audio_backend.h"

namespace platform::audio_detail {

namespace {

void silentAlsa(const char*, int, const char*, int, const char*, ...) {}

// alsa-lib prints to standard error for every card it cannot find while
// RtAudio probes; with no sound card that is a screenful per start.
struct AlsaQuiet {
  AlsaQuiet() { snd_lib_error_set_handler(&silentAlsa); }
  ~AlsaQuiet() { snd_lib_error_set_handler(nullptr); }
};

class RtAudioBackend final : public Backend {
 public:
  explicit RtAudioBackend(AudioDriver driver) : driver_(driver) {}
  ~RtAudioBackend() override { close(); }

  AudioDriver driver() const override { return driver_; }

  bool open(const BackendConfig& config, std::string* why) override {
    config_ = config;
    const RtAudio::Api api = driver_ == AudioDriver::Pulse ? RtAudio::LINUX_PULSE : RtAudio::LINUX_ALSA;
    std::vector<RtAudio::Api> compiled;
    RtAudio::getCompiledApi(compiled);
    if (std::find(compiled.begin(), compiled.end(), api) == compiled.end()) {
      if (why) *why = "RtAudio was built without it";
      return false;
    }
    AlsaQuiet quiet;
    try {
      audio_ = std::make_unique<RtAudio>(api);
      audio_->showWarnings(false);
      if (audio_->getDeviceCount() == 0) {
        if (why) *why = "no device";
        audio_.reset();
        return false;
      }
      RtAudio::StreamParameters out;
      out.deviceId = audio_->getDefaultOutputDevice();
      out.nChannels = config.channels;
      out.firstChannel = 0;
      RtAudio::StreamOptions options;
      options.flags = driver_ == AudioDriver::Alsa ? RTAUDIO_ALSA_USE_DEFAULT : 0;
      options.numberOfBuffers = 2;
      options.streamName = config.clientName;
      unsigned int frames = config.preferredFrames;
      audio_->openStream(&out, nullptr, RTAUDIO_SINT16, static_cast<unsigned int>(config.sampleRate), &frames,
                         &RtAudioBackend::callback, this, &options, &RtAudioBackend::errorCallback);
      frames_ = frames;
      rate_ = audio_->getStreamSampleRate();
      if (rate_ == 0) rate_ = static_cast<unsigned int>(config.sampleRate);
      const long latency = audio_->getStreamLatency();
      latencyFrames_ = std::max<long>(latency, frames_);
    } catch (const std::exception& e) {
      if (why) *why = e.what();
      audio_.reset();
      return false;
    }
    return true;
  }

  bool start() override {
    if (!audio_) return false;
    AlsaQuiet quiet;
    try {
      if (!audio_->isStreamRunning()) audio_->startStream();
    } catch (const std::exception&) {
      return false;
    }
    return true;
  }

  bool stop() override {
    if (!audio_) return false;
    try {
      if (audio_->isStreamRunning()) audio_->stopStream();
    } catch (const std::exception&) {
      return false;
    }
    return true;
  }

  void close() override {
    if (!audio_) return;
    try {
      if (audio_->isStreamRunning()) audio_->abortStream();
      if (audio_->isStreamOpen()) audio_->closeStream();
    } catch (const std::exception&) {
    }
    audio_.reset();
  }

  uint32_t bufferFrames() const override { return frames_; }
  double sampleRate() const override { return rate_; }
  uint64_t outputLatencyNanos() const override {
    return rate_ ? static_cast<uint64_t>(static_cast<double>(latencyFrames_) * 1e9 / rate_) : 0;
  }

 private:
  static int callback(void* output, void* /*input*/, unsigned int frames, double /*streamTime*/,
                      RtAudioStreamStatus /*status*/, void* user) {
    auto* self = static_cast<RtAudioBackend*>(user);
    auto* data = static_cast<int16_t*>(output);
    std::memset(data, 0, sizeof(int16_t) * frames * self->config_.channels);
    const AudioTimeStamp ts;  // RtAudio knows no device time
    self->config_.render(self->config_.renderContext, ts, data, frames);
    return 0;
  }

  static void errorCallback(RtAudioError::Type /*type*/, const std::string& /*text*/) {
    // Given so that RtAudio reports through results instead of throwing
    // from its own threads; start and stop tell the unit what failed.
  }

  AudioDriver driver_;
  BackendConfig config_;
  std::unique_ptr<RtAudio> audio_;
  uint32_t frames_ = 0;
  unsigned int rate_ = 0;
  long latencyFrames_ = 0;
};

}  // namespace

std::unique_ptr<Backend> makeRtAudioBackend(AudioDriver driver) {
  return std::make_unique<RtAudioBackend>(driver);
}

}  // namespace platform::audio_detail
