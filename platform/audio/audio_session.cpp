#include "platform/audio/audio_session.h"

#include <algorithm>

#include "platform/audio/audio_output_unit.h"

namespace platform {

AudioSession& AudioSession::sharedInstance() {
  static AudioSession session;
  return session;
}

bool AudioSession::setActive(bool active) {
  active_.store(active);
  return true;
}

bool AudioSession::setCategory(AudioSessionCategory category, uint32_t options) {
  category_.store(category);
  categoryOptions_.store(options);
  return true;
}

bool AudioSession::setPreferredIOBufferDuration(double seconds) {
  if (!(seconds > 0.0)) return false;
  preferredIOBufferDuration_.store(seconds);
  return true;
}

double AudioSession::IOBufferDuration() const {
  std::lock_guard<std::mutex> lock(unitMutex_);
  if (unit_ && unit_->deviceSampleRate() > 0) {
    return static_cast<double>(unit_->bufferFrames()) / unit_->deviceSampleRate();
  }
  return preferredIOBufferDuration_.load();
}

double AudioSession::sampleRate() const {
  std::lock_guard<std::mutex> lock(unitMutex_);
  if (unit_ && unit_->deviceSampleRate() > 0) return unit_->deviceSampleRate();
  return kDefaultSampleRate;
}

double AudioSession::outputLatency() const {
  std::lock_guard<std::mutex> lock(unitMutex_);
  return unit_ ? static_cast<double>(unit_->outputLatencyNanos()) * 1e-9 : 0.0;
}

void AudioSession::addObserver(AudioSessionObserver* observer) {
  if (!observer) return;
  std::lock_guard<std::mutex> lock(observersMutex_);
  if (std::find(observers_.begin(), observers_.end(), observer) == observers_.end()) {
    observers_.push_back(observer);
  }
}

void AudioSession::removeObserver(AudioSessionObserver* observer) {
  std::lock_guard<std::recursive_mutex> delivery(deliveryMutex_);
  std::lock_guard<std::mutex> lock(observersMutex_);
  observers_.erase(std::remove(observers_.begin(), observers_.end(), observer), observers_.end());
}

template <typename F>
void AudioSession::notify(F&& f) {
  std::lock_guard<std::recursive_mutex> delivery(deliveryMutex_);
  std::vector<AudioSessionObserver*> targets;
  {
    std::lock_guard<std::mutex> lock(observersMutex_);
    targets = observers_;
  }
  for (AudioSessionObserver* o : targets) {
    // An earlier observer may have removed a later one.
    bool present;
    {
      std::lock_guard<std::mutex> lock(observersMutex_);
      present = std::find(observers_.begin(), observers_.end(), o) != observers_.end();
    }
    if (present) f(o);
  }
}

void AudioSession::postInterruption(AudioSessionInterruptionType type) {
  notify([type](AudioSessionObserver* o) { o->sessionInterruption(type); });
}

void AudioSession::postRouteChange() {
  notify([](AudioSessionObserver* o) { o->sessionRouteChange(); });
}

void AudioSession::attachOutputUnit(AudioOutputUnit* unit) {
  std::lock_guard<std::mutex> lock(unitMutex_);
  unit_ = unit;
}

void AudioSession::detachOutputUnit(AudioOutputUnit* unit) {
  std::lock_guard<std::mutex> lock(unitMutex_);
  if (unit_ == unit) unit_ = nullptr;
}

}  // namespace platform
