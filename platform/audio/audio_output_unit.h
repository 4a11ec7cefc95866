#pragma once
// The output unit: one stream of interleaved signed 16-bit frames to a sound
// device, filled by a render callback on the device's real-time thread.
//
// Devices are tried in order: JACK, PulseAudio, ALSA (or the order given by
// $IGROOVEBIX_AUDIO_DRIVERS, e.g. "pulse,alsa"). When none opens, the unit
// plays to the null device, a thread that asks for buffers at the real-time
// pace and drops them, so the program always runs; it says so once in the
// log. JACK is opened without ever starting a server.
//
// Each buffer comes with the host time (platform/foundation/host_time.h) of
// its first frame where the driver tells it (JACK: the cycle start; the null
// device: its wake-up); RtAudio's drivers give none and the time stamp says
// so.
//
// A JACK server that goes away is an interruption: the unit stops, the
// session posts "began", and once the server answers again "ended"; start()
// then takes the server again.
//
// Threads: configuration, initialize, start, stop and the JACK queries are
// thread-safe (one internal mutex); the getters of figures are lock-free.
// The render callback runs on the driver's thread and must be real-time safe.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace platform {

class AudioSession;

namespace audio_detail {
class Backend;
}

enum class AudioDriver { Jack, Pulse, Alsa, Null };

const char* audioDriverName(AudioDriver driver);
std::optional<AudioDriver> audioDriverFromName(std::string_view name);
// $IGROOVEBIX_AUDIO_DRIVERS when set and valid, else JACK, PulseAudio, ALSA.
std::vector<AudioDriver> configuredAudioDrivers();

struct AudioTimeStamp {
  uint64_t hostTime = 0;  // host ticks of the buffer's first frame
  bool hostTimeValid = false;
};

// Fills `frames` interleaved frames into `data`, which arrives zeroed.
// Real-time thread. The unit does not act on the returned status.
using AudioRenderCallback = int32_t (*)(void* context, const AudioTimeStamp* timeStamp,
                                        uint32_t frames, int16_t* data);

class AudioOutputUnit {
 public:
  explicit AudioOutputUnit(AudioSession& session);
  ~AudioOutputUnit();
  AudioOutputUnit(const AudioOutputUnit&) = delete;
  AudioOutputUnit& operator=(const AudioOutputUnit&) = delete;

  // --- configuration (before initialize) ---
  // Drivers to try in order; the null device always comes last.
  void setDrivers(std::vector<AudioDriver> drivers);
  void setStreamFormat(double sampleRate, uint32_t channels);
  uint32_t channels() const;
  void setRenderCallback(AudioRenderCallback callback, void* context);
  // The JACK client's name.
  void setClientName(std::string name);
  // Connect the JACK ports to the physical playback ports (default on).
  void setJackAutoConnect(bool on);
  // Short names of the JACK ports (one per channel) and the pretty name in
  // their metadata; applied at once and whenever the server is taken again.
  void setJackPortNames(std::vector<std::string> names, std::string prettyName);

  // --- life cycle ---
  // Takes a device; false only when not even the null device runs.
  bool initialize();
  bool uninitialize();
  bool isInitialized() const { return state_.load() != State::Closed; }
  bool start();
  bool stop();
  bool isRunning() const { return state_.load() == State::Running; }
  bool isInterrupted() const { return state_.load() == State::Interrupted; }

  // --- figures (lock-free) ---
  AudioDriver driver() const { return driver_.load(); }
  double deviceSampleRate() const { return deviceRate_.load(); }
  // The open stream's buffer; while stopped, what the next start will use.
  uint32_t bufferFrames() const;
  uint64_t outputLatencyNanos() const { return outputLatency_.load(); }
  // Share of the buffer's duration the render callback took: a smoothed
  // current figure, and the highest since the last call to maxCpuLoad (or
  // the last start).
  float cpuLoad() const { return cpuLoad_.load(); }
  float maxCpuLoad();

  // --- JACK graph (empty answers on other drivers) ---
  // Full names of our ports.
  std::vector<std::string> jackPortNames() const;
  struct JackConnection {
    std::string port;  // full name of the port that reads ours
    bool physical;     // a device port rather than another program
  };
  std::vector<JackConnection> jackConnections() const;
  // Whether the JACK transport rolls; empty without a JACK server.
  std::optional<bool> jackTransportRolling() const;
  // Called on the service thread after a connection to one of our ports was
  // made or broken (and after the server was taken again).
  void setGraphChangedHandler(std::function<void()> handler);

 private:
  enum class State { Closed, Ready, Running, Interrupted };

  static void renderThunk(void* context, const AudioTimeStamp& timeStamp, int16_t* data,
                          uint32_t frames);
  bool acquireLocked(AudioDriver driver, std::string* why);
  void releaseLocked();
  uint32_t preferredFrames() const;
  void serviceLoop();
  void startServiceThread();
  void stopServiceThread();

  AudioSession& session_;

  mutable std::mutex mutex_;
  std::vector<AudioDriver> drivers_;
  double sampleRate_ = 44100.0;
  uint32_t channels_ = 2;
  std::string clientName_ = "iGROOVEBIX";
  bool autoConnect_ = true;
  std::vector<std::string> portNames_;
  std::string portPrettyName_;
  std::unique_ptr<audio_detail::Backend> backend_;
  uint32_t openedPreferredFrames_ = 0;
  bool loggedNullDevice_ = false;
  std::function<void()> graphHandler_;

  std::atomic<AudioRenderCallback> callback_{nullptr};
  std::atomic<void*> callbackContext_{nullptr};

  std::atomic<State> state_{State::Closed};
  std::atomic<AudioDriver> driver_{AudioDriver::Null};
  std::atomic<double> deviceRate_{44100.0};
  std::atomic<uint32_t> bufferFrames_{0};
  std::atomic<uint64_t> outputLatency_{0};
  std::atomic<bool> honoursPreferred_{true};
  std::atomic<float> cpuLoad_{0.0f};
  std::atomic<float> maxCpuLoad_{0.0f};

  std::mutex serviceMutex_;
  std::condition_variable serviceWake_;
  bool serviceQuit_ = false;
  std::thread serviceThread_;
};

}  // namespace platform
