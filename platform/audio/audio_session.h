#pragma once
// The process's audio session: the settings the program asks of the sound
// system (active, category, preferred IO buffer duration), what it actually
// got (buffer duration, sample rate, output latency of the output unit in
// use), and the two system notices: interruption (the device went away or
// came back) and route change (the device's buffer changed).
//
// On this platform an interruption is a sound server that goes away (JACK
// shut down or killed): "began" when it is lost, "ended" once it answers
// again. A route change is a change of the server's buffer size.
//
// Thread-safe. Observers are called on the output unit's service thread,
// never on the render thread; an observer may call back into the session and
// into the output unit from its handler.

#include <atomic>
#include <cstdint>
#include <mutex>
#include <vector>

namespace platform {

class AudioOutputUnit;

enum class AudioSessionCategory { Playback, PlayAndRecord };
// The values the interruption notice carries: 1 began, 0 ended.
enum class AudioSessionInterruptionType : uint32_t { Ended = 0, Began = 1 };
inline constexpr uint32_t kAudioSessionCategoryOptionMixWithOthers = 1;

class AudioSessionObserver {
 public:
  virtual ~AudioSessionObserver() = default;
  virtual void sessionInterruption(AudioSessionInterruptionType type) = 0;
  virtual void sessionRouteChange() = 0;
};

class AudioSession {
 public:
  static constexpr double kDefaultSampleRate = 44100.0;
  static constexpr double kDefaultIOBufferDuration = 256.0 / kDefaultSampleRate;

  // The process's session. Tests make their own.
  static AudioSession& sharedInstance();

  AudioSession() = default;
  AudioSession(const AudioSession&) = delete;
  AudioSession& operator=(const AudioSession&) = delete;

  bool setActive(bool active);
  bool isActive() const { return active_.load(); }
  bool setCategory(AudioSessionCategory category, uint32_t options);
  AudioSessionCategory category() const { return category_.load(); }
  uint32_t categoryOptions() const { return categoryOptions_.load(); }

  // A request: the output unit takes it the next time it sets its stream
  // up; a JACK server keeps its own buffer size.
  bool setPreferredIOBufferDuration(double seconds);
  double preferredIOBufferDuration() const { return preferredIOBufferDuration_.load(); }

  // What the output unit in use has (or will have when it starts): buffer
  // frames ÷ device rate. Without a unit: the preferred duration.
  double IOBufferDuration() const;
  double sampleRate() const;
  double outputLatency() const;  // seconds

  void addObserver(AudioSessionObserver* observer);
  // Waits for a notice being delivered to finish; then the observer is
  // never called again.
  void removeObserver(AudioSessionObserver* observer);

  // The system's side: the output unit (or a test) posts the notices.
  void postInterruption(AudioSessionInterruptionType type);
  void postRouteChange();

  // The output unit whose figures the session reports; the unit attaches
  // itself while it holds a device.
  void attachOutputUnit(AudioOutputUnit* unit);
  void detachOutputUnit(AudioOutputUnit* unit);

 private:
  template <typename F>
  void notify(F&& f);

  std::atomic<bool> active_{false};
  std::atomic<AudioSessionCategory> category_{AudioSessionCategory::Playback};
  std::atomic<uint32_t> categoryOptions_{0};
  std::atomic<double> preferredIOBufferDuration_{kDefaultIOBufferDuration};

  mutable std::mutex unitMutex_;
  AudioOutputUnit* unit_ = nullptr;

  std::recursive_mutex deliveryMutex_;  // held while a notice is delivered
  std::mutex observersMutex_;
  std::vector<AudioSessionObserver*> observers_;
};

}  // namespace platform
