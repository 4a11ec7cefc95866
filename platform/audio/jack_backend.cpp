// The JACK driver, written on libjack itself rather than through RtAudio:
// it needs what RtAudio's JACK support does not give — the cycle's time
// for each buffer's host time, our own port names for the sender port, a
// server shutdown that only raises a flag (RtAudio closes the stream from a
// thread of its own), and a client that stays in the graph while stopped so
// that its connections survive a stop.

#include <jack/jack.h>
#include <jack/metadata.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/audio/audio_backend.h"
#include "platform/foundation/host_time.h"

namespace platform::audio_detail {

namespace {

void silentJack(const char*) {}

void quietLibjack() {
  // libjack prints every failed server connection; with no server that is
  // one line per probe. Our own log says what matters.
  static std::once_flag once;
  std::call_once(once, [] {
    jack_set_error_function(&silentJack);
    jack_set_info_function(&silentJack);
  });
}

std::string describeStatus(jack_status_t status) {
  if (status & JackServerFailed) return "no JACK server answers";
  if (status & JackServerError) return "the JACK server refused the client";
  if (status & JackVersionError) return "the JACK server speaks another protocol version";
  if (status & JackShmFailure) return "JACK shared memory could not be reached";
  if (status & JackNameNotUnique) return "the JACK client name is taken";
  if (status & JackInitFailure) return "the JACK client could not be initialised";
  return "the JACK client could not be opened";
}

constexpr jack_options_t kOpenOptions = static_cast<jack_options_t>(JackNoStartServer);

class JackBackend final : public Backend {
 public:
  static constexpr uint32_t kScratchFrames = 4096;

  ~JackBackend() override { close(); }

  AudioDriver driver() const override { return AudioDriver::Jack; }

  bool open(const BackendConfig& config, std::string* why) override {
    quietLibjack();
    config_ = config;
    jack_status_t status{};
    client_ = jack_client_open(config.clientName.c_str(), kOpenOptions, &status);
    if (!client_) {
      if (why) *why = describeStatus(status);
      return false;
    }
    rate_ = jack_get_sample_rate(client_);
    if (static_cast<double>(rate_) != config.sampleRate) {
      if (why) *why = "the JACK server runs at " + std::to_string(rate_) + " Hz";
      close();
      return false;
    }
    frames_.store(jack_get_buffer_size(client_));
    scratch_ = std::make_unique<int16_t[]>(size_t{kScratchFrames} * config.channels);
    jack_set_process_callback(client_, &JackBackend::process, this);
    jack_set_buffer_size_callback(client_, &JackBackend::bufferSize, this);
    jack_set_port_connect_callback(client_, &JackBackend::portConnect, this);
    jack_on_info_shutdown(client_, &JackBackend::shutdown, this);
    ports_.assign(config.channels, nullptr);
    for (uint32_t c = 0; c < config.channels; ++c) {
      const std::string name = portName(config.portNames, c);
      ports_[c] = jack_port_register(client_, name.c_str(), JACK_DEFAULT_AUDIO_TYPE, JackPortIsOutput, 0);
      if (!ports_[c]) {
        if (why) *why = "the JACK port \"" + name + "\" could not be registered";
        close();
        return false;
      }
    }
    if (!config.portPrettyName.empty()) setPrettyNames(config.portPrettyName);
    if (jack_activate(client_) != 0) {
      if (why) *why = "the JACK client could not be activated";
      close();
      return false;
    }
    active_ = true;
    if (config.autoConnect) connectToPlayback();
    return true;
  }

  bool start() override {
    running_.store(true, std::memory_order_release);
    return client_ != nullptr;
  }

  bool stop() override {
    running_.store(false);
    // A cycle already past the check finishes with the old state; once it
    // has, nothing of the caller's is touched any more.
    for (int i = 0; i < 2000 && inProcess_.load(); ++i) std::this_thread::sleep_for(std::chrono::microseconds(500));
    return true;
  }

  void close() override {
    running_.store(false);
    if (!client_) return;
    if (!deviceLost.load()) {
      if (active_) jack_deactivate(client_);
      for (jack_port_t* p : ports_) {
        if (p) jack_remove_properties(client_, jack_port_uuid(p));
      }
    }
    jack_client_close(client_);
    client_ = nullptr;
    ports_.clear();
    active_ = false;
  }

  uint32_t bufferFrames() const override { return frames_.load(); }
  double sampleRate() const override { return static_cast<double>(rate_); }
  bool honoursPreferredFrames() const override { return false; }

  uint64_t outputLatencyNanos() const override {
    if (!client_ || ports_.empty() || !ports_[0] || rate_ == 0) return 0;
    jack_latency_range_t range{0, 0};
    jack_port_get_latency_range(ports_[0], JackPlaybackLatency, &range);
    return static_cast<uint64_t>(static_cast<double>(range.max) * 1e9 / rate_);
  }

  jack_client_t* jackClient() const override { return client_; }
  jack_port_t* jackPort(uint32_t channel) const override {
    return channel < ports_.size() ? ports_[channel] : nullptr;
  }

  void applyPortNames(const std::vector<std::string>& names, const std::string& prettyName) override {
    if (!client_ || deviceLost.load()) return;
    for (size_t c = 0; c < ports_.size(); ++c) {
      if (!ports_[c]) continue;
      const std::string name = portName(names, c);
      if (name != jack_port_short_name(ports_[c])) jack_port_rename(client_, ports_[c], name.c_str());
    }
    setPrettyNames(prettyName);
  }

 private:
  static std::string portName(const std::vector<std::string>& names, size_t channel) {
    if (channel < names.size() && !names[channel].empty()) return names[channel];
    return "out_" + std::to_string(channel + 1);
  }

  void setPrettyNames(const std::string& prettyName) {
    for (jack_port_t* p : ports_) {
      if (!p) continue;
      if (prettyName.empty()) {
        jack_remove_property(client_, jack_port_uuid(p), JACK_METADATA_PRETTY_NAME);
      } else {
        jack_set_property(client_, jack_port_uuid(p), JACK_METADATA_PRETTY_NAME, prettyName.c_str(), "text/plain");
      }
    }
  }

  void connectToPlayback() {
    const char** targets =
        jack_get_ports(client_, nullptr, JACK_DEFAULT_AUDIO_TYPE, JackPortIsPhysical | JackPortIsInput);
    if (!targets) return;
    size_t n = 0;
    while (targets[n]) ++n;
    for (size_t c = 0; c < ports_.size() && n > 0; ++c) {
      jack_connect(client_, jack_port_name(ports_[c]), targets[std::min(c, n - 1)]);
    }
    jack_free(targets);
  }

  static int process(jack_nframes_t nframes, void* arg) {
    auto* self = static_cast<JackBackend*>(arg);
    const uint32_t channels = self->config_.channels;
    float* out[8] = {};
    const uint32_t used = std::min<uint32_t>(channels, 8);
    for (uint32_t c = 0; c < used; ++c) {
      out[c] = static_cast<float*>(jack_port_get_buffer(self->ports_[c], nframes));
    }
    self->inProcess_.store(true);
    if (!self->running_.load()) {
      for (uint32_t c = 0; c < used; ++c) std::memset(out[c], 0, sizeof(float) * nframes);
      self->inProcess_.store(false);
      return 0;
    }
    AudioTimeStamp ts;
    jack_nframes_t cycleFrames = 0;
    jack_time_t cycleStart = 0;
    jack_time_t nextCycle = 0;
    float period = 0;
    if (jack_get_cycle_times(self->client_, &cycleFrames, &cycleStart, &nextCycle, &period) == 0) {
      // JACK's clock is not ours: carry the distance from the cycle start
      // over to host time.
      const jack_time_t jackNow = jack_get_time();
      const uint64_t sinceStart = jackNow > cycleStart ? (jackNow - cycleStart) * 1000u : 0u;
      ts.hostTime = hostTime() - nanosToHostTicks(sinceStart);
      ts.hostTimeValid = true;
    }
    int16_t* scratch = self->scratch_.get();
    uint32_t done = 0;
    while (done < nframes) {
      const uint32_t n = std::min<uint32_t>(nframes - done, kScratchFrames);
      std::memset(scratch, 0, sizeof(int16_t) * n * channels);
      self->config_.render(self->config_.renderContext, ts, scratch, n);
      for (uint32_t c = 0; c < used; ++c) {
        float* dst = out[c] + done;
        for (uint32_t i = 0; i < n; ++i) dst[i] = static_cast<float>(scratch[i * channels + c]) * (1.0f / 32768.0f);
      }
      done += n;
      ts.hostTime += nanosToHostTicks(static_cast<uint64_t>(static_cast<double>(n) * 1e9 / self->rate_));
    }
    self->inProcess_.store(false);
    return 0;
  }

  static int bufferSize(jack_nframes_t nframes, void* arg) {
    auto* self = static_cast<JackBackend*>(arg);
    if (self->frames_.exchange(nframes) != nframes) self->bufferSizeChanged.store(true);
    return 0;
  }

  static void portConnect(jack_port_id_t a, jack_port_id_t b, int /*connect*/, void* arg) {
    auto* self = static_cast<JackBackend*>(arg);
    jack_port_t* pa = jack_port_by_id(self->client_, a);
    jack_port_t* pb = jack_port_by_id(self->client_, b);
    for (jack_port_t* p : self->ports_) {
      if (p && (p == pa || p == pb)) {
        self->graphChanged.store(true);
        return;
      }
    }
  }

  static void shutdown(jack_status_t /*code*/, const char* /*reason*/, void* arg) {
    auto* self = static_cast<JackBackend*>(arg);
    self->running_.store(false);
    self->deviceLost.store(true);
  }

  BackendConfig config_;
  jack_client_t* client_ = nullptr;
  std::vector<jack_port_t*> ports_;
  std::unique_ptr<int16_t[]> scratch_;
  jack_nframes_t rate_ = 0;
  std::atomic<uint32_t> frames_{0};
  std::atomic<bool> running_{false};
  std::atomic<bool> inProcess_{false};
  bool active_ = false;
};

}  // namespace

std::unique_ptr<Backend> makeJackBackend() { return std::make_unique<JackBackend>(); }

bool jackServerAvailable(const std::string& clientName) {
  quietLibjack();
  jack_status_t status{};
  const std::string name = clientName.substr(0, 40) + " probe";
  jack_client_t* c = jack_client_open(name.c_str(), kOpenOptions, &status);
  if (!c) return false;
  jack_client_close(c);
  return true;
}

}  // namespace platform::audio_detail
