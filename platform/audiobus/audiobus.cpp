#include "platform/audiobus/audiobus.h"

#include <algorithm>
#include <chrono>

#include "platform/audio/audio_output_unit.h"

namespace platform {

namespace {

std::vector<std::string> portNamesFor(const std::string& title, uint32_t channels) {
  std::vector<std::string> names;
  if (channels == 2) return {title + " L", title + " R"};
  for (uint32_t c = 0; c < channels; ++c) names.push_back(title + " " + std::to_string(c + 1));
  return names;
}

}  // namespace

// --- ABAudioSenderPort ---

ABAudioSenderPort::ABAudioSenderPort(std::string name, std::string title,
                                     AudioComponentDescription description, AudioOutputUnit* audioUnit)
    : name_(std::move(name)), title_(std::move(title)), description_(description), unit_(audioUnit) {
  if (!unit_) return;
  // The client name can only change when the client is opened again; the
  // owner names the unit's client before it initialises it.
  unit_->setClientName(name_);
  unit_->setJackPortNames(portNamesFor(title_, unit_->channels()), title_);
}

ABAudioSenderPort::~ABAudioSenderPort() {
  if (unit_) unit_->setJackPortNames({}, {});
}

bool ABAudioSenderPort::connected() const {
  if (!unit_) return false;
  for (const AudioOutputUnit::JackConnection& c : unit_->jackConnections()) {
    if (!c.physical) return true;
  }
  return false;
}

// --- ABTrigger ---

std::shared_ptr<ABTrigger> ABTrigger::triggerWithSystemType(int type, Block block) {
  return std::shared_ptr<ABTrigger>(new ABTrigger(type, std::move(block)));
}

void ABTrigger::press() {
  std::lock_guard<std::mutex> lock(pressMutex_);
  if (block_) block_(*this);
}

// --- AudiobusController ---

// Lets the output unit's service thread reach the controller only while it
// exists: clearing `controller` under the lock waits for a call in progress.
struct AudiobusController::Hook {
  std::mutex mutex;
  AudiobusController* controller = nullptr;
};

AudiobusController::AudiobusController(std::string apiKey) : apiKey_(std::move(apiKey)) {
  thread_ = std::thread([this] { run(); });
}

AudiobusController::~AudiobusController() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    quit_ = true;
  }
  wake_.notify_all();
  if (thread_.joinable()) thread_.join();
  std::vector<std::shared_ptr<ABAudioSenderPort>> ports;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    ports = ports_;
  }
  for (const auto& p : ports) removeAudioSenderPort(p);
}

void AudiobusController::addAudioSenderPort(std::shared_ptr<ABAudioSenderPort> port) {
  if (!port) return;
  AudioOutputUnit* unit = port->audioUnit();
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (std::find(ports_.begin(), ports_.end(), port) != ports_.end()) return;
    ports_.push_back(port);
  }
  if (unit) {
    auto hook = std::make_shared<Hook>();
    hook->controller = this;
    {
      std::lock_guard<std::mutex> lock(hooksMutex_);
      hooks_.push_back({unit, hook});
    }
    unit->setGraphChangedHandler([hook] {
      std::lock_guard<std::mutex> lock(hook->mutex);
      if (hook->controller) hook->controller->graphChanged();
    });
  }
}

void AudiobusController::removeAudioSenderPort(const std::shared_ptr<ABAudioSenderPort>& port) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = std::find(ports_.begin(), ports_.end(), port);
    if (it == ports_.end()) return;
    ports_.erase(it);
  }
  AudioOutputUnit* unit = port->audioUnit();
  std::vector<std::shared_ptr<Hook>> released;
  {
    std::lock_guard<std::mutex> lock(hooksMutex_);
    for (auto it = hooks_.begin(); it != hooks_.end();) {
      if (it->first == unit) {
        released.push_back(it->second);
        it = hooks_.erase(it);
      } else {
        ++it;
      }
    }
  }
  if (unit && !released.empty()) unit->setGraphChangedHandler(nullptr);
  for (const auto& hook : released) {
    std::lock_guard<std::mutex> lock(hook->mutex);
    hook->controller = nullptr;
  }
  if (unit) unit->setJackPortNames({}, {});
}

void AudiobusController::addTrigger(std::shared_ptr<ABTrigger> trigger) {
  if (!trigger) return;
  std::lock_guard<std::mutex> lock(mutex_);
  if (std::find(triggers_.begin(), triggers_.end(), trigger) == triggers_.end()) triggers_.push_back(trigger);
}

void AudiobusController::removeTrigger(const std::shared_ptr<ABTrigger>& trigger) {
  std::lock_guard<std::mutex> lock(mutex_);
  triggers_.erase(std::remove(triggers_.begin(), triggers_.end(), trigger), triggers_.end());
}

bool AudiobusController::connected() const {
  std::vector<std::shared_ptr<ABAudioSenderPort>> ports;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    ports = ports_;
  }
  return std::any_of(ports.begin(), ports.end(), [](const auto& p) { return p->connected(); });
}

int AudiobusController::addConnectionsChangedObserver(Observer observer) {
  std::lock_guard<std::mutex> lock(mutex_);
  const int token = nextToken_++;
  observers_.emplace_back(token, std::move(observer));
  return token;
}

void AudiobusController::removeConnectionsChangedObserver(int token) {
  std::lock_guard<std::mutex> delivery(deliveryMutex_);
  std::lock_guard<std::mutex> lock(mutex_);
  observers_.erase(std::remove_if(observers_.begin(), observers_.end(),
                                  [token](const auto& o) { return o.first == token; }),
                   observers_.end());
}

void AudiobusController::graphChanged() {
  // Every change is posted and the observer asks connected() itself:
  // comparing with an earlier answer here would lose a connection made and
  // broken between two looks.
  std::lock_guard<std::mutex> delivery(deliveryMutex_);
  std::vector<Observer> observers;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    for (const auto& o : observers_) observers.push_back(o.second);
  }
  for (const Observer& o : observers) {
    if (o) o();
  }
}

void AudiobusController::checkTransport() {
  std::vector<std::shared_ptr<ABAudioSenderPort>> ports;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    ports = ports_;
  }
  std::optional<bool> rolling;
  for (const auto& p : ports) {
    if (p->audioUnit()) rolling = p->audioUnit()->jackTransportRolling();
    if (rolling) break;
  }
  std::vector<std::shared_ptr<ABTrigger>> toPress;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    const std::optional<bool> before = lastRolling_;
    lastRolling_ = rolling;
    if (!rolling || !before || *before == *rolling) return;
    for (const auto& t : triggers_) {
      if (t->systemType() != ABTrigger::kSystemTypePlayToggle) continue;
      const bool showsPlaying = t->state() == ABTrigger::ABTriggerStateSelected;
      if (*rolling != showsPlaying) toPress.push_back(t);
    }
  }
  for (const auto& t : toPress) t->press();
}

void AudiobusController::run() {
  using namespace std::chrono_literals;
  for (;;) {
    {
      std::unique_lock<std::mutex> lock(mutex_);
      wake_.wait_for(lock, 50ms, [this] { return quit_; });
      if (quit_) return;
    }
    checkTransport();
  }
}

}  // namespace platform
