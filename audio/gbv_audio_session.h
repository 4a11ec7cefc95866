#pragma once
// The platform object behind the audio output: it keeps the session's
// settings, owns the output unit, cuts each device buffer into chunks for
// the engine and keeps the host time of each chunk, follows the latency,
// reacts to interruptions, route changes and the program going to the
// background and coming back, and publishes the output as the inter-app
// sender port with its play/stop trigger.
//
// Chunks are at most 1,024 frames: the engine's buses hold 1,024 frames, so
// every request the engine sees fits them.
//
// Threads: Render runs on the device's real-time thread and neither
// allocates nor locks. The latency refresh it asks for about once a second
// runs on the session's own refresh thread. Everything else runs on the
// thread that calls it; the session's notices (interruption, route change,
// inter-app connection) are handed to the notice queue (see
// setNoticeQueue), which the program points at its main queue.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "audio/user_defaults_access.h"
#include "engine/interfaces/audio_io.h"
#include "engine/interfaces/audio_output_engine.h"
#include "platform/audio/audio_output_unit.h"
#include "platform/audio/audio_session.h"
#include "platform/audiobus/audiobus.h"

class IPhoneAudioIO;

// Everything the session takes from outside; empty members take the
// program's own (the shared audio session, the configured drivers, the
// standard user defaults, global setting 8).
struct GBVAudioSessionEnvironment {
  platform::AudioSession* session = nullptr;
  std::optional<std::vector<platform::AudioDriver>> drivers;
  UserDefaultsAccess* userDefaults = nullptr;
  std::function<bool()> backgroundAudioEnabled;
};

class GBVAudioSession : public platform::AudioSessionObserver {
 public:
  static constexpr uint32_t kBufferLength = 1024;
  static constexpr uint32_t kNumberOfOutputBus = 2;
  static constexpr uint32_t kDefaultIOBufferSize = 128;
  static constexpr const char* kAudioLatencyKey = "audio_latency";
  static constexpr const char* kSenderPortName = "iGROOVEBIX for iPhone";
  static constexpr const char* kSenderPortTitle = "iGROOVEBIX Output";
  // The inter-app controller's key: Base64 text, a colon, a Base64 signature.
  static const char* const kAudiobusApiKey;

  using NoticeQueue = std::function<void(std::function<void()>)>;

  using Environment = GBVAudioSessionEnvironment;

  // initWithSamplingRate: activates the session, sets the category and asks
  // for the IO buffer size from "audio_latency".
  explicit GBVAudioSession(float samplingRate, Environment environment = {});
  ~GBVAudioSession() override;
  GBVAudioSession(const GBVAudioSession&) = delete;
  GBVAudioSession& operator=(const GBVAudioSession&) = delete;

  // --- output graph ---
  bool open();
  bool close();
  bool isOpened() const;
  bool start();
  bool stop();
  bool isRunning() const;

  // --- session settings ---
  void activate();
  void deactivate();
  void setCategory();
  void SetIOBufferSize();
  void updateLatency();

  // --- buffer size ("audio_latency") ---
  void setBufferSize(uint32_t frames);
  void reloadAudioLatency();
  uint32_t defaultAudioBufferSize();
  static uint32_t defaultAudioBufferSizeByDevice() { return kDefaultIOBufferSize; }
  static uint32_t validateBufferSize(int64_t frames);

  // --- lifecycle ---
  void suspendAudioIO();
  void resumeAudioIO();
  void appHasGoneInBackground();
  void appHasGoneForeground();
  void sessionDidInterrupt(platform::AudioSessionInterruptionType type);
  void sessionRouteDidChange();
  void audiobusConnectionChanged();
  bool backgroundAudioEnabled() const;
  bool isAbletonLinkSyncOn() const;

  // --- inter-app audio ---
  void setupAudiobus();
  // The play/stop trigger's block.
  void audiobusPlayStopTrigger(platform::ABTrigger& trigger);

  float retrieveCPULoad() const;
  float retrieveMaxCPULoad();

  // The render callback's work: fills `frames` interleaved frames into
  // `ioData` by calling the listener in chunks. Real-time thread.
  int32_t Render(const platform::AudioTimeStamp* timeStamp, uint32_t busNumber, uint32_t frames,
                 int16_t* ioData);

  // --- properties ---
  void setListener(AudioIOListener* listener) { listener_.store(listener); }
  AudioIOListener* listener() const { return listener_.load(); }
  void setIo(IPhoneAudioIO* io) { io_.store(io); }
  IPhoneAudioIO* io() const { return io_.load(); }
  // The engine the background, foreground and trigger rules act on; null
  // means none (the rules then leave the engine out).
  void setEngine(AudioOutputEngine* engine) { engine_.store(engine); }
  AudioOutputEngine* engine() const { return engine_.load(); }
  // Where the session's notices run; inline on the delivering thread when
  // not set.
  void setNoticeQueue(NoticeQueue queue);

  uint32_t bufferLength() const { return kBufferLength; }
  uint32_t numberOfOutputBus() const { return kNumberOfOutputBus; }
  bool enableAudioIn() const { return false; }
  uint32_t ioBufferSize() const { return ioBufferSize_.load(); }
  float sampleRate() const { return sampleRate_; }
  uint64_t hostTime() const { return hostTime_.load(std::memory_order_relaxed); }
  uint64_t latencyNanosec() const { return latencyNanosec_.load(); }
  uint64_t outputLatencyNanosec() const { return outputLatencyNanosec_.load(); }
  uint64_t counterForUpdatingLatency() const { return counterForUpdatingLatency_; }
  bool isInBackground() const { return inBackground_.load(); }
  std::shared_ptr<platform::ABAudioSenderPort> auWrapper() const;
  std::shared_ptr<platform::AudiobusController> audiobusController() const;
  std::shared_ptr<platform::ABTrigger> playStopTrigger() const;
  platform::AudioOutputUnit& outputUnit() { return unit_; }
  platform::AudioSession& audioSession() { return session_; }

  // AudioSessionObserver
  void sessionInterruption(platform::AudioSessionInterruptionType type) override;
  void sessionRouteChange() override;

 private:
  static int32_t renderCallback(void* context, const platform::AudioTimeStamp* timeStamp, uint32_t frames,
                                int16_t* data);
  void post(std::function<void()> notice);
  void tearDownAudiobus();
  void refreshLoop();

  platform::AudioSession& session_;
  UserDefaultsAccess* defaults_;
  std::function<bool()> backgroundAudioSetting_;
  const float sampleRate_;
  platform::AudioOutputUnit unit_;

  std::vector<int16_t> dataBuffer_;
  int16_t* outputBuffer_[kNumberOfOutputBus] = {};
  int16_t* inputBuffer_[kNumberOfOutputBus] = {};

  std::atomic<uint32_t> ioBufferSize_{kDefaultIOBufferSize};
  std::atomic<IPhoneAudioIO*> io_{nullptr};
  std::atomic<AudioIOListener*> listener_{nullptr};
  std::atomic<AudioOutputEngine*> engine_{nullptr};
  std::atomic<uint64_t> hostTime_{0};
  std::atomic<uint64_t> latencyNanosec_{0};
  std::atomic<uint64_t> outputLatencyNanosec_{0};
  uint64_t counterForUpdatingLatency_ = 0;  // render thread only
  std::atomic<bool> latencyRefreshWanted_{false};
  std::atomic<bool> inBackground_{false};

  mutable std::mutex audiobusMutex_;
  std::shared_ptr<platform::AudiobusController> audiobusController_;
  std::shared_ptr<platform::ABAudioSenderPort> auWrapper_;
  std::shared_ptr<platform::ABTrigger> trigger_;
  int connectionsObserver_ = 0;

  std::mutex noticeMutex_;
  NoticeQueue noticeQueue_;
  std::shared_ptr<std::atomic<bool>> alive_ = std::make_shared<std::atomic<bool>>(true);

  std::mutex refreshMutex_;
  std::condition_variable refreshWake_;
  bool refreshQuit_ = false;
  std::thread refreshThread_;
};
