#pragma once
// Inside the output unit: one sound device driver. The unit owns exactly one
// backend at a time and serialises every call to it; only the render
// function is called from elsewhere (the driver's real-time thread).
//
// Not part of the public interface of the module.

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/audio/audio_output_unit.h"

typedef struct _jack_client jack_client_t;
typedef struct _jack_port jack_port_t;

namespace platform::audio_detail {

// Called by a backend for every device buffer, on the device's thread.
// `data` holds `frames` interleaved frames and is zeroed by the backend.
using BackendRender = void (*)(void* context, const AudioTimeStamp& timeStamp, int16_t* data,
                               uint32_t frames);

struct BackendConfig {
  double sampleRate = 44100.0;
  uint32_t channels = 2;
  uint32_t preferredFrames = 256;
  std::string clientName;
  std::vector<std::string> portNames;  // JACK: one per channel; empty = defaults
  std::string portPrettyName;          // JACK: metadata pretty name of every port
  bool autoConnect = true;             // JACK: connect to the physical playback ports
  BackendRender render = nullptr;
  void* renderContext = nullptr;
};

class Backend {
 public:
  virtual ~Backend() = default;
  virtual AudioDriver driver() const = 0;
  // Takes the device; the stream is set up but not running. On failure
  // `why` says what the driver answered and nothing is held.
  virtual bool open(const BackendConfig& config, std::string* why) = 0;
  virtual bool start() = 0;
  virtual bool stop() = 0;
  // Lets the device go; safe after the device was lost.
  virtual void close() = 0;

  virtual uint32_t bufferFrames() const = 0;
  virtual double sampleRate() const = 0;
  virtual uint64_t outputLatencyNanos() const = 0;
  // Whether the buffer size follows the unit's preference (JACK's is the
  // server's).
  virtual bool honoursPreferredFrames() const { return true; }

  // Events a backend raises from driver threads; the unit's service thread
  // collects them.
  std::atomic<bool> deviceLost{false};
  std::atomic<bool> bufferSizeChanged{false};
  std::atomic<bool> graphChanged{false};

  // JACK only.
  virtual jack_client_t* jackClient() const { return nullptr; }
  virtual jack_port_t* jackPort(uint32_t /*channel*/) const { return nullptr; }
  virtual void applyPortNames(const std::vector<std::string>& /*names*/,
                              const std::string& /*prettyName*/) {}
};

std::unique_ptr<Backend> makeJackBackend();
std::unique_ptr<Backend> makeRtAudioBackend(AudioDriver driver);  // Pulse or Alsa
std::unique_ptr<Backend> makeNullBackend();

// Whether a JACK server answers (opens and closes a client without ever
// starting a server).
bool jackServerAvailable(const std::string& clientName);

}  // namespace platform::audio_detail
