#include "platform/audio/audio_output_unit.h"

#include <jack/jack.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <sstream>

#include "platform/audio/audio_backend.h"
#include "platform/audio/audio_log.h"
#include "platform/audio/audio_session.h"
#include "platform/foundation/host_time.h"

namespace platform {

using audio_detail::Backend;
using audio_detail::BackendConfig;

const char* audioDriverName(AudioDriver driver) {
  switch (driver) {
    case AudioDriver::Jack:
      return "jack";
    case AudioDriver::Pulse:
      return "pulse";
    case AudioDriver::Alsa:
      return "alsa";
    case AudioDriver::Null:
      return "null";
  }
  return "null";
}

std::optional<AudioDriver> audioDriverFromName(std::string_view name) {
  for (AudioDriver d : {AudioDriver::Jack, AudioDriver::Pulse, AudioDriver::Alsa, AudioDriver::Null}) {
    if (name == audioDriverName(d)) return d;
  }
  if (name == "pulseaudio") return AudioDriver::Pulse;
  return std::nullopt;
}

std::vector<AudioDriver> configuredAudioDrivers() {
  const std::vector<AudioDriver> standard{AudioDriver::Jack, AudioDriver::Pulse, AudioDriver::Alsa};
  const char* env = std::getenv("IGROOVEBIX_AUDIO_DRIVERS");
  if (!env || !*env) return standard;
  std::vector<AudioDriver> out;
  std::stringstream in(env);
  std::string item;
  while (std::getline(in, item, ',')) {
    item.erase(0, item.find_first_not_of(" \t"));
    item.erase(item.find_last_not_of(" \t") + 1);
    std::optional<AudioDriver> d = audioDriverFromName(item);
    if (!d) {
      audioLog("ignoring IGROOVEBIX_AUDIO_DRIVERS=\"" + std::string(env) + "\": unknown driver \"" +
               item + "\"");
      return standard;
    }
    if (std::find(out.begin(), out.end(), *d) == out.end()) out.push_back(*d);
  }
  return out.empty() ? standard : out;
}

AudioOutputUnit::AudioOutputUnit(AudioSession& session)
    : session_(session), drivers_(configuredAudioDrivers()) {}

AudioOutputUnit::~AudioOutputUnit() { uninitialize(); }

void AudioOutputUnit::setDrivers(std::vector<AudioDriver> drivers) {
  std::lock_guard<std::mutex> lock(mutex_);
  drivers_ = std::move(drivers);
}

void AudioOutputUnit::setStreamFormat(double sampleRate, uint32_t channels) {
  std::lock_guard<std::mutex> lock(mutex_);
  sampleRate_ = sampleRate > 0 ? sampleRate : 44100.0;
  channels_ = std::max<uint32_t>(1, channels);
  deviceRate_.store(sampleRate_);
}

uint32_t AudioOutputUnit::channels() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return channels_;
}

void AudioOutputUnit::setRenderCallback(AudioRenderCallback callback, void* context) {
  // The context first: the render thread reads the callback, then the context.
  callbackContext_.store(context);
  callback_.store(callback);
}

void AudioOutputUnit::setClientName(std::string name) {
  std::lock_guard<std::mutex> lock(mutex_);
  clientName_ = std::move(name);
}

void AudioOutputUnit::setJackAutoConnect(bool on) {
  std::lock_guard<std::mutex> lock(mutex_);
  autoConnect_ = on;
}

void AudioOutputUnit::setJackPortNames(std::vector<std::string> names, std::string prettyName) {
  std::lock_guard<std::mutex> lock(mutex_);
  portNames_ = std::move(names);
  portPrettyName_ = std::move(prettyName);
  if (backend_) backend_->applyPortNames(portNames_, portPrettyName_);
}

void AudioOutputUnit::setGraphChangedHandler(std::function<void()> handler) {
  std::lock_guard<std::mutex> lock(mutex_);
  graphHandler_ = std::move(handler);
}

uint32_t AudioOutputUnit::preferredFrames() const {
  const double frames = std::round(session_.preferredIOBufferDuration() * sampleRate_);
  return static_cast<uint32_t>(std::clamp(frames, 16.0, 8192.0));
}

uint32_t AudioOutputUnit::bufferFrames() const {
  const uint32_t open = bufferFrames_.load();
  if (isRunning() || !honoursPreferred_.load()) return open;
  // Stopped: the next start sets the stream up with the session's preference.
  const double frames = std::round(session_.preferredIOBufferDuration() * deviceRate_.load());
  return static_cast<uint32_t>(std::clamp(frames, 16.0, 8192.0));
}

void AudioOutputUnit::renderThunk(void* context, const AudioTimeStamp& timeStamp, int16_t* data,
                                  uint32_t frames) {
  auto* self = static_cast<AudioOutputUnit*>(context);
  AudioRenderCallback cb = self->callback_.load(std::memory_order_acquire);
  if (!cb) return;
  const uint64_t t0 = hostTime();
  cb(self->callbackContext_.load(std::memory_order_acquire), &timeStamp, frames, data);
  const uint64_t t1 = hostTime();
  const double budget = static_cast<double>(frames) * 1e9 / self->deviceRate_.load(std::memory_order_relaxed);
  if (budget <= 0) return;
  const float load = static_cast<float>(static_cast<double>(hostTicksToNanos(t1 - t0)) / budget);
  const float smoothed = self->cpuLoad_.load(std::memory_order_relaxed) * 0.9f + load * 0.1f;
  self->cpuLoad_.store(smoothed, std::memory_order_relaxed);
  float seen = self->maxCpuLoad_.load(std::memory_order_relaxed);
  while (load > seen && !self->maxCpuLoad_.compare_exchange_weak(seen, load, std::memory_order_relaxed)) {
  }
}

float AudioOutputUnit::maxCpuLoad() { return maxCpuLoad_.exchange(0.0f); }

bool AudioOutputUnit::acquireLocked(AudioDriver driver, std::string* why) {
  std::unique_ptr<Backend> backend;
  switch (driver) {
    case AudioDriver::Jack:
      backend = audio_detail::makeJackBackend();
      break;
    case AudioDriver::Pulse:
    case AudioDriver::Alsa:
      backend = audio_detail::makeRtAudioBackend(driver);
      break;
    case AudioDriver::Null:
      backend = audio_detail::makeNullBackend();
      break;
  }
  BackendConfig config;
  config.sampleRate = sampleRate_;
  config.channels = channels_;
  config.preferredFrames = preferredFrames();
  config.clientName = clientName_;
  config.portNames = portNames_;
  config.portPrettyName = portPrettyName_;
  config.autoConnect = autoConnect_;
  config.render = &AudioOutputUnit::renderThunk;
  config.renderContext = this;
  if (!backend || !backend->open(config, why)) return false;
  openedPreferredFrames_ = config.preferredFrames;
  driver_.store(driver);
  deviceRate_.store(backend->sampleRate());
  bufferFrames_.store(backend->bufferFrames());
  outputLatency_.store(backend->outputLatencyNanos());
  honoursPreferred_.store(backend->honoursPreferredFrames());
  backend_ = std::move(backend);
  return true;
}

void AudioOutputUnit::releaseLocked() {
  if (!backend_) return;
  backend_->stop();
  backend_->close();
  backend_.reset();
}

bool AudioOutputUnit::initialize() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (state_.load() != State::Closed) return true;
    std::vector<AudioDriver> order = drivers_;
    order.erase(std::remove(order.begin(), order.end(), AudioDriver::Null), order.end());
    std::string reasons;
    bool opened = false;
    for (AudioDriver d : order) {
      std::string why;
      if (acquireLocked(d, &why)) {
        opened = true;
        break;
      }
      if (!reasons.empty()) reasons += "; ";
      reasons += std::string(audioDriverName(d)) + ": " + (why.empty() ? "did not open" : why);
    }
    if (!opened) {
      std::string why;
      if (!acquireLocked(AudioDriver::Null, &why)) {
        audioLog("no output at all: " + why);
        return false;
      }
      if (!loggedNullDevice_) {
        loggedNullDevice_ = true;
        std::ostringstream msg;
        msg << (order.empty() ? std::string("no sound device configured")
                              : "no sound device answered (" + reasons + ")")
            << "; playing to the null device at " << deviceRate_.load() << " Hz, "
            << bufferFrames_.load() << " frames per buffer";
        audioLog(msg.str());
      }
    } else {
      std::ostringstream msg;
      msg << "output on " << audioDriverName(driver_.load()) << " at " << deviceRate_.load() << " Hz, "
          << bufferFrames_.load() << " frames per buffer";
      audioLog(msg.str());
    }
    state_.store(State::Ready);
  }
  session_.attachOutputUnit(this);
  startServiceThread();
  return true;
}

bool AudioOutputUnit::uninitialize() {
  if (state_.load() == State::Closed) return false;
  // The service thread may be inside an observer that calls back into the
  // unit: let it finish before taking the lock.
  stopServiceThread();
  session_.detachOutputUnit(this);
  std::lock_guard<std::mutex> lock(mutex_);
  releaseLocked();
  state_.store(State::Closed);
  return true;
}

bool AudioOutputUnit::start() {
  std::lock_guard<std::mutex> lock(mutex_);
  switch (state_.load()) {
    case State::Closed:
      return false;
    case State::Running:
      return true;
    case State::Interrupted: {
      std::string why;
      if (!acquireLocked(driver_.load(), &why)) return false;
      audioLog(std::string("took ") + audioDriverName(driver_.load()) + " again");
      if (graphHandler_) backend_->graphChanged.store(true);
      state_.store(State::Ready);
      break;
    }
    case State::Ready:
      break;
  }
  // A new preferred buffer size takes effect here, as the stream is set up again.
  if (backend_->honoursPreferredFrames() && preferredFrames() != openedPreferredFrames_) {
    const AudioDriver d = driver_.load();
    releaseLocked();
    std::string why;
    if (!acquireLocked(d, &why)) {
      audioLog(std::string("could not set ") + audioDriverName(d) + " up again: " + why);
      state_.store(State::Interrupted);
      return false;
    }
  }
  maxCpuLoad_.store(0.0f);
  if (!backend_->start()) return false;
  state_.store(State::Running);
  return true;
}

bool AudioOutputUnit::stop() {
  std::lock_guard<std::mutex> lock(mutex_);
  switch (state_.load()) {
    case State::Closed:
      return false;
    case State::Interrupted:
    case State::Ready:
      return true;
    case State::Running:
      break;
  }
  const bool ok = backend_->stop();
  state_.store(State::Ready);
  return ok;
}

std::vector<std::string> AudioOutputUnit::jackPortNames() const {
  std::lock_guard<std::mutex> lock(mutex_);
  std::vector<std::string> out;
  if (!backend_ || !backend_->jackClient()) return out;
  for (uint32_t c = 0; c < channels_; ++c) {
    if (jack_port_t* p = backend_->jackPort(c)) out.emplace_back(jack_port_name(p));
  }
  return out;
}

std::vector<AudioOutputUnit::JackConnection> AudioOutputUnit::jackConnections() const {
  std::lock_guard<std::mutex> lock(mutex_);
  std::vector<JackConnection> out;
  if (!backend_ || backend_->deviceLost.load()) return out;
  jack_client_t* client = backend_->jackClient();
  if (!client) return out;
  for (uint32_t c = 0; c < channels_; ++c) {
    jack_port_t* p = backend_->jackPort(c);
    if (!p) continue;
    const char** names = jack_port_get_all_connections(client, p);
    if (!names) continue;
    for (const char** n = names; *n; ++n) {
      jack_port_t* other = jack_port_by_name(client, *n);
      const bool physical = other && (jack_port_flags(other) & JackPortIsPhysical);
      out.push_back({*n, physical});
    }
    jack_free(names);
  }
  return out;
}

std::optional<bool> AudioOutputUnit::jackTransportRolling() const {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!backend_ || backend_->deviceLost.load()) return std::nullopt;
  jack_client_t* client = backend_->jackClient();
  if (!client) return std::nullopt;
  return jack_transport_query(client, nullptr) == JackTransportRolling;
}

void AudioOutputUnit::startServiceThread() {
  std::lock_guard<std::mutex> lock(serviceMutex_);
  if (serviceThread_.joinable()) return;
  serviceQuit_ = false;
  serviceThread_ = std::thread([this] { serviceLoop(); });
}

void AudioOutputUnit::stopServiceThread() {
  std::thread t;
  {
    std::lock_guard<std::mutex> lock(serviceMutex_);
    serviceQuit_ = true;
    t = std::move(serviceThread_);
  }
  serviceWake_.notify_all();
  if (t.joinable() && t.get_id() != std::this_thread::get_id()) t.join();
  if (t.joinable()) t.detach();
}

void AudioOutputUnit::serviceLoop() {
  using namespace std::chrono_literals;
  // Driver threads only raise flags; this thread turns them into notices,
  // outside the unit's lock so that observers may call back in.
  bool endedPosted = false;
  auto nextProbe = std::chrono::steady_clock::now();
  for (;;) {
    {
      std::unique_lock<std::mutex> lock(serviceMutex_);
      serviceWake_.wait_for(lock, 40ms, [this] { return serviceQuit_; });
      if (serviceQuit_) return;
    }
    bool began = false;
    bool routeChanged = false;
    bool graphChanged = false;
    bool probe = false;
    std::string client;
    std::function<void()> graphHandler;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      const State s = state_.load();
      if (backend_ && (s == State::Ready || s == State::Running) && backend_->deviceLost.load()) {
        audioLog(std::string(audioDriverName(driver_.load())) + " went away");
        releaseLocked();
        state_.store(State::Interrupted);
        began = true;
        endedPosted = false;
        nextProbe = std::chrono::steady_clock::now() + 200ms;
      } else if (backend_) {
        routeChanged = backend_->bufferSizeChanged.exchange(false);
        if (routeChanged) bufferFrames_.store(backend_->bufferFrames());
        if (routeChanged) outputLatency_.store(backend_->outputLatencyNanos());
        graphChanged = backend_->graphChanged.exchange(false);
      }
      if (state_.load() == State::Interrupted && !endedPosted &&
          std::chrono::steady_clock::now() >= nextProbe) {
        probe = true;
        client = clientName_;
      }
      graphHandler = graphHandler_;
    }
    if (began) {
      session_.postInterruption(AudioSessionInterruptionType::Began);
      if (graphHandler) graphHandler();
    }
    if (routeChanged) session_.postRouteChange();
    if (graphChanged && graphHandler) graphHandler();
    if (probe) {
      nextProbe = std::chrono::steady_clock::now() + 250ms;
      if (audio_detail::jackServerAvailable(client) && isInterrupted()) {
        endedPosted = true;
        session_.postInterruption(AudioSessionInterruptionType::Ended);
      }
    }
  }
}

}  // namespace platform
