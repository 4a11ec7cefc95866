#pragma once
// The inter-app audio sender port, its controller and its play/stop trigger,
// over JACK.
//
// A sender port publishes an output unit: on JACK the unit's client carries
// the port's name and its ports carry the title (as their short names, "<title>
// L" and "<title> R", and as their metadata pretty name). The controller is
// "connected" when another program reads one of those ports — a connection to
// a physical playback port (the sound card) does not count. Each change of
// the connections is posted to the connection observers.
//
// The play/stop trigger of system type 2 is pressed by the JACK transport: a
// transport that starts rolling while the trigger shows "stopped" (state 0),
// or stops while it shows "playing" (state 1), presses it. press() does the
// same for a caller in the program.
//
// Threads: every operation is thread-safe. Observers and trigger blocks run on
// the controller's own thread (trigger) or the unit's service thread
// (connections), never on the render thread.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace platform {

class AudioOutputUnit;

constexpr uint32_t fourCharCode(const char (&code)[5]) {
  return (uint32_t(uint8_t(code[0])) << 24) | (uint32_t(uint8_t(code[1])) << 16) |
         (uint32_t(uint8_t(code[2])) << 8) | uint32_t(uint8_t(code[3]));
}

struct AudioComponentDescription {
  uint32_t componentType = 0;
  uint32_t componentSubType = 0;
  uint32_t componentManufacturer = 0;
  uint32_t componentFlags = 0;
  uint32_t componentFlagsMask = 0;
};

class AudiobusController;

class ABAudioSenderPort {
 public:
  // Names the unit's JACK client and ports (see above). The unit must outlive
  // the port; removing the port from its controller or destroying it gives the
  // ports their plain names back.
  ABAudioSenderPort(std::string name, std::string title, AudioComponentDescription description,
                    AudioOutputUnit* audioUnit);
  ~ABAudioSenderPort();
  ABAudioSenderPort(const ABAudioSenderPort&) = delete;
  ABAudioSenderPort& operator=(const ABAudioSenderPort&) = delete;

  const std::string& name() const { return name_; }
  const std::string& title() const { return title_; }
  const AudioComponentDescription& audioComponentDescription() const { return description_; }
  AudioOutputUnit* audioUnit() const { return unit_; }

  // Another program reads one of the port's JACK ports.
  bool connected() const;

 private:
  friend class AudiobusController;
  std::string name_;
  std::string title_;
  AudioComponentDescription description_;
  AudioOutputUnit* unit_;
};

class ABTrigger {
 public:
  // The system play/stop toggle.
  static constexpr int kSystemTypePlayToggle = 2;
  enum State : int { ABTriggerStateNormal = 0, ABTriggerStateSelected = 1 };

  using Block = std::function<void(ABTrigger& trigger)>;
  static std::shared_ptr<ABTrigger> triggerWithSystemType(int type, Block block);

  int systemType() const { return type_; }
  void setState(int state) { state_.store(state); }
  int state() const { return state_.load(); }
  // What a press from outside does: runs the block.
  void press();

 private:
  ABTrigger(int type, Block block) : type_(type), block_(std::move(block)) {}
  int type_;
  Block block_;
  std::mutex pressMutex_;
  std::atomic<int> state_{ABTriggerStateNormal};
};

class AudiobusController {
 public:
  explicit AudiobusController(std::string apiKey);
  ~AudiobusController();
  AudiobusController(const AudiobusController&) = delete;
  AudiobusController& operator=(const AudiobusController&) = delete;

  const std::string& apiKey() const { return apiKey_; }

  void addAudioSenderPort(std::shared_ptr<ABAudioSenderPort> port);
  void removeAudioSenderPort(const std::shared_ptr<ABAudioSenderPort>& port);
  void addTrigger(std::shared_ptr<ABTrigger> trigger);
  void removeTrigger(const std::shared_ptr<ABTrigger>& trigger);

  // Some sender port is read by another program.
  bool connected() const;

  // The connections-changed notification: called on the unit's service
  // thread after a connection to a sender port was made or broken (several
  // changes close together may come as one); observers ask connected().
  using Observer = std::function<void()>;
  int addConnectionsChangedObserver(Observer observer);
  void removeConnectionsChangedObserver(int token);

 private:
  void graphChanged();
  void run();
  void checkTransport();

  std::string apiKey_;
  mutable std::mutex mutex_;
  std::vector<std::shared_ptr<ABAudioSenderPort>> ports_;
  std::vector<std::shared_ptr<ABTrigger>> triggers_;
  std::vector<std::pair<int, Observer>> observers_;
  int nextToken_ = 1;
  std::optional<bool> lastRolling_;

  std::mutex deliveryMutex_;  // one notification at a time, in order
  struct Hook;                // how a unit's service thread reaches us
  std::mutex hooksMutex_;
  std::vector<std::pair<AudioOutputUnit*, std::shared_ptr<Hook>>> hooks_;
  std::condition_variable wake_;
  bool quit_ = false;
  std::thread thread_;
};

}  // namespace platform
