#include "audio/gbv_audio_session.h"

#include <algorithm>
#include <cctype>
#include <chrono>

#include "audio/iphone_audio_io.h"
#include "engine/settings/global_settings.h"
#include "platform/foundation/host_time.h"

const char* const GBVAudioSession::kAudiobusApiKey =
    "eyJhcHAiOiJpR1JPT1ZFQklYIiwicGxhdGZvcm0iOiJsaW51eCIsInNlbmRlciI6ImlHUk9PVkVCSVggZm9yIGlQaG9uZSIsInRp"
    "dGxlIjoiaUdST09WRUJJWCBPdXRwdXQiLCJjb21wb25lbnQiOiJhdXJnL2diZGkvdGVzayIsInRyYW5zcG9ydCI6ImphY2siLCJu"
    "b3RlIjoic3RhbmRzIGluIGZvciB0aGUgaW50ZXItYXBwIGF1ZGlvIGtleTsgSkFDSyBuZWVkcyBub25lIiwicGFkIjoieHh4eHh4"
    "eHh4eHh4eCJ9:pxHLZmOPfG2Mr3CX/82YlJWdincBViBjSGf/vWtSB45Wbt9pDwSeURL/Tu7OX56nXfbv1FCdOCIchZ1iXhXVOg==";

namespace {

UserDefaultsAccess& standardDefaults() {
  static PlatformUserDefaultsAccess defaults(platform::UserDefaults::standardUserDefaults());
  return defaults;
}

// The stored object read as an integer the way the platform's objects read
// themselves: numbers convert, a text gives its leading decimal number (0
// when it has none).
int64_t integerValueOf(const platform::Value& value) {
  if (value.isNumber()) return value.integerValue();
  if (const std::string* s = value.string()) {
    size_t i = 0;
    while (i < s->size() && std::isspace(static_cast<unsigned char>((*s)[i]))) ++i;
    bool negative = false;
    if (i < s->size() && ((*s)[i] == '-' || (*s)[i] == '+')) negative = (*s)[i++] == '-';
    int64_t v = 0;
    while (i < s->size() && std::isdigit(static_cast<unsigned char>((*s)[i])) && v < (int64_t{1} << 40)) {
      v = v * 10 + ((*s)[i++] - '0');
    }
    return negative ? -v : v;
  }
  return 0;
}

}  // namespace

GBVAudioSession::GBVAudioSession(float samplingRate, Environment environment)
    : session_(environment.session ? *environment.session : platform::AudioSession::sharedInstance()),
      defaults_(environment.userDefaults ? environment.userDefaults : &standardDefaults()),
      backgroundAudioSetting_(std::move(environment.backgroundAudioEnabled)),
      sampleRate_(samplingRate),
      unit_(session_) {
  if (environment.drivers) unit_.setDrivers(*environment.drivers);
  unit_.setStreamFormat(sampleRate_, kNumberOfOutputBus);
  unit_.setClientName(kSenderPortName);
  ioBufferSize_.store(defaultAudioBufferSize());
  // Input channels take the first half of the buffer, output channels the
  // second.
  dataBuffer_.assign(size_t{kBufferLength} * kNumberOfOutputBus * 2, 0);
  for (uint32_t c = 0; c < kNumberOfOutputBus; ++c) {
    inputBuffer_[c] = dataBuffer_.data() + size_t{c} * kBufferLength;
    outputBuffer_[c] = dataBuffer_.data() + size_t{c + kNumberOfOutputBus} * kBufferLength;
  }
  refreshThread_ = std::thread([this] { refreshLoop(); });
  session_.addObserver(this);
  activate();
  setCategory();
  SetIOBufferSize();
}

GBVAudioSession::~GBVAudioSession() {
  // No notice may reach a half-destroyed session: observers go first.
  session_.removeObserver(this);
  alive_->store(false);
  tearDownAudiobus();
  {
    std::lock_guard<std::mutex> lock(refreshMutex_);
    refreshQuit_ = true;
  }
  refreshWake_.notify_all();
  if (refreshThread_.joinable()) refreshThread_.join();
  stop();
  close();
}

// --- output graph ---

int32_t GBVAudioSession::renderCallback(void* context, const platform::AudioTimeStamp* timeStamp,
                                        uint32_t frames, int16_t* data) {
  auto* self = static_cast<GBVAudioSession*>(context);
  return self ? self->Render(timeStamp, 0, frames, data) : 0;
}

bool GBVAudioSession::open() {
  if (isOpened()) return true;
  unit_.setStreamFormat(sampleRate_, kNumberOfOutputBus);
  unit_.setRenderCallback(&GBVAudioSession::renderCallback, this);
  if (!unit_.initialize()) return false;
  setupAudiobus();
  return true;
}

bool GBVAudioSession::close() {
  if (!unit_.isInitialized()) return false;
  return unit_.uninitialize();
}

bool GBVAudioSession::isOpened() const { return unit_.isInitialized(); }

bool GBVAudioSession::start() { return unit_.start(); }

bool GBVAudioSession::stop() { return unit_.stop(); }

bool GBVAudioSession::isRunning() const { return unit_.isRunning(); }

// --- session settings ---

void GBVAudioSession::activate() { session_.setActive(true); }

void GBVAudioSession::deactivate() { session_.setActive(false); }

void GBVAudioSession::setCategory() {
  session_.setCategory(enableAudioIn() ? platform::AudioSessionCategory::PlayAndRecord
                                       : platform::AudioSessionCategory::Playback,
                       platform::kAudioSessionCategoryOptionMixWithOthers);
}

void GBVAudioSession::SetIOBufferSize() {
  session_.setPreferredIOBufferDuration(static_cast<double>(ioBufferSize_.load()) / session_.sampleRate());
  updateLatency();
}

void GBVAudioSession::updateLatency() {
  latencyNanosec_.store(2 * static_cast<uint64_t>(session_.IOBufferDuration() * 1e9));
  outputLatencyNanosec_.store(static_cast<uint64_t>(session_.outputLatency() * 1e9));
}

// --- buffer size ---

uint32_t GBVAudioSession::validateBufferSize(int64_t frames) {
  return frames == 128 || frames == 256 || frames == 512 ? static_cast<uint32_t>(frames) : kDefaultIOBufferSize;
}

uint32_t GBVAudioSession::defaultAudioBufferSize() {
  if (std::optional<platform::Value> stored = defaults_->objectForKey(kAudioLatencyKey)) {
    // An invalid stored value is corrected in the result only.
    return validateBufferSize(integerValueOf(*stored));
  }
  const uint32_t size = validateBufferSize(defaultAudioBufferSizeByDevice());
  defaults_->setObject(platform::Value(static_cast<int64_t>(size)), kAudioLatencyKey);
  defaults_->synchronize();
  return size;
}

void GBVAudioSession::setBufferSize(uint32_t frames) {
  if (frames == ioBufferSize_.load()) return;
  if (!isRunning()) {
    ioBufferSize_.store(frames);
    SetIOBufferSize();
    return;
  }
  deactivate();
  stop();
  ioBufferSize_.store(frames);
  SetIOBufferSize();
  activate();
  start();
}

void GBVAudioSession::reloadAudioLatency() { setBufferSize(defaultAudioBufferSize()); }

// --- lifecycle ---

bool GBVAudioSession::backgroundAudioEnabled() const {
  if (backgroundAudioSetting_) return backgroundAudioSetting_();
  GlobalSettings* settings = globalSettings();
  return settings && settings->get(GlobalSettings::kBackgroundAudioEnabled) != 0;
}

bool GBVAudioSession::isAbletonLinkSyncOn() const {
  AudioOutputEngine* engine = engine_.load();
  return engine && engine->isLinkEnabled();
}

void GBVAudioSession::suspendAudioIO() {
  AudioOutputEngine* engine = engine_.load();
  if (engine) engine->suspendLink();
  if (!isRunning()) return;
  if (engine) engine->stopPlayback(0);
  stop();
  deactivate();
}

void GBVAudioSession::resumeAudioIO() {
  AudioOutputEngine* engine = engine_.load();
  if (engine) engine->resumeLink();
  if (!isOpened()) open();
  if (isRunning()) return;
  activate();
  setCategory();
  if (engine) {
    engine->resetSound();
    engine->stopPlayback(0);
  }
  start();
}

void GBVAudioSession::appHasGoneInBackground() {
  inBackground_.store(true);
  const std::shared_ptr<platform::AudiobusController> controller = audiobusController();
  AudioOutputEngine* engine = engine_.load();
  const bool keepRunning = backgroundAudioEnabled() || (controller && controller->connected()) ||
                           (engine && engine->isLinkEnabled() && engine->isPlaying());
  if (!keepRunning) suspendAudioIO();
}

void GBVAudioSession::appHasGoneForeground() {
  inBackground_.store(false);
  resumeAudioIO();
  reloadAudioLatency();
}

void GBVAudioSession::sessionDidInterrupt(platform::AudioSessionInterruptionType type) {
  if (type == platform::AudioSessionInterruptionType::Began) {
    stop();
  } else {
    activate();
    setCategory();
    start();
  }
}

void GBVAudioSession::sessionRouteDidChange() { SetIOBufferSize(); }

void GBVAudioSession::audiobusConnectionChanged() {
  if (!inBackground_.load() || backgroundAudioEnabled()) return;
  const std::shared_ptr<platform::AudiobusController> controller = audiobusController();
  if (controller && controller->connected()) {
    resumeAudioIO();
  } else {
    suspendAudioIO();
  }
}

void GBVAudioSession::sessionInterruption(platform::AudioSessionInterruptionType type) {
  post([this, type] { sessionDidInterrupt(type); });
}

void GBVAudioSession::sessionRouteChange() {
  post([this] { sessionRouteDidChange(); });
}

void GBVAudioSession::setNoticeQueue(NoticeQueue queue) {
  std::lock_guard<std::mutex> lock(noticeMutex_);
  noticeQueue_ = std::move(queue);
}

void GBVAudioSession::post(std::function<void()> notice) {
  NoticeQueue queue;
  {
    std::lock_guard<std::mutex> lock(noticeMutex_);
    queue = noticeQueue_;
  }
  if (!queue) {
    notice();
    return;
  }
  std::shared_ptr<std::atomic<bool>> alive = alive_;
  queue([alive, notice = std::move(notice)] {
    if (alive->load()) notice();
  });
}

// --- inter-app audio ---

void GBVAudioSession::tearDownAudiobus() {
  std::shared_ptr<platform::AudiobusController> controller;
  std::shared_ptr<platform::ABAudioSenderPort> port;
  int token = 0;
  {
    std::lock_guard<std::mutex> lock(audiobusMutex_);
    controller = std::move(audiobusController_);
    port = std::move(auWrapper_);
    trigger_.reset();
    token = connectionsObserver_;
    connectionsObserver_ = 0;
  }
  if (controller) {
    controller->removeConnectionsChangedObserver(token);
    if (port) controller->removeAudioSenderPort(port);
  }
}

void GBVAudioSession::setupAudiobus() {
  tearDownAudiobus();
  auto controller = std::make_shared<platform::AudiobusController>(kAudiobusApiKey);
  platform::AudioComponentDescription description;
  description.componentType = platform::fourCharCode("aurg");
  description.componentSubType = platform::fourCharCode("gbdi");
  description.componentManufacturer = platform::fourCharCode("tesk");
  auto port = std::make_shared<platform::ABAudioSenderPort>(kSenderPortName, kSenderPortTitle, description, &unit_);
  controller->addAudioSenderPort(port);
  auto trigger = platform::ABTrigger::triggerWithSystemType(
      platform::ABTrigger::kSystemTypePlayToggle, [this](platform::ABTrigger& t) { audiobusPlayStopTrigger(t); });
  controller->addTrigger(trigger);
  const int token = controller->addConnectionsChangedObserver([this] { post([this] { audiobusConnectionChanged(); }); });
  std::lock_guard<std::mutex> lock(audiobusMutex_);
  audiobusController_ = std::move(controller);
  auWrapper_ = std::move(port);
  trigger_ = std::move(trigger);
  connectionsObserver_ = token;
}

void GBVAudioSession::audiobusPlayStopTrigger(platform::ABTrigger& trigger) {
  AudioOutputEngine* engine = engine_.load();
  if (!engine) return;
  const uint64_t now = platform::hostTime();
  if (engine->isPlaying()) {
    if (isAbletonLinkSyncOn()) {
      engine->linkStop(now);
    } else {
      engine->stopSequencer(now);
    }
    trigger.setState(platform::ABTrigger::ABTriggerStateNormal);
  } else {
    if (isAbletonLinkSyncOn()) {
      engine->linkStart(now);
    } else {
      engine->startSequencer(now);
    }
    trigger.setState(platform::ABTrigger::ABTriggerStateSelected);
  }
}

std::shared_ptr<platform::ABAudioSenderPort> GBVAudioSession::auWrapper() const {
  std::lock_guard<std::mutex> lock(audiobusMutex_);
  return auWrapper_;
}

std::shared_ptr<platform::AudiobusController> GBVAudioSession::audiobusController() const {
  std::lock_guard<std::mutex> lock(audiobusMutex_);
  return audiobusController_;
}

std::shared_ptr<platform::ABTrigger> GBVAudioSession::playStopTrigger() const {
  std::lock_guard<std::mutex> lock(audiobusMutex_);
  return trigger_;
}

float GBVAudioSession::retrieveCPULoad() const { return isOpened() ? unit_.cpuLoad() : 0.0f; }

float GBVAudioSession::retrieveMaxCPULoad() { return isOpened() ? unit_.maxCpuLoad() : 0.0f; }

// --- render (real-time thread) ---

int32_t GBVAudioSession::Render(const platform::AudioTimeStamp* timeStamp, uint32_t /*busNumber*/,
                                uint32_t frames, int16_t* ioData) {
  counterForUpdatingLatency_ += frames;
  if (static_cast<float>(counterForUpdatingLatency_) > sampleRate_) {
    counterForUpdatingLatency_ = 0;
    // The refresh reads the session: it runs on the refresh thread.
    latencyRefreshWanted_.store(true, std::memory_order_release);
  }
  uint64_t t;
  if (timeStamp && timeStamp->hostTimeValid) {
    t = timeStamp->hostTime;
  } else {
    t = platform::hostTime() + platform::nanosToHostTicks(latencyNanosec_.load(std::memory_order_relaxed));
  }
  hostTime_.store(t, std::memory_order_relaxed);
  AudioIOListener* listener = listener_.load(std::memory_order_acquire);
  if (!listener) return 0;
  if (frames == 0 || !ioData) return 0;
  AudioIO* io = io_.load(std::memory_order_acquire);
  int16_t* out = ioData;
  uint32_t remaining = frames;
  while (remaining > 0) {
    const uint32_t chunk = std::min(remaining, kBufferLength);
    listener->render(io, outputBuffer_, static_cast<int32_t>(chunk));
    for (uint32_t f = 0; f < chunk; ++f) {
      for (uint32_t c = 0; c < kNumberOfOutputBus; ++c) out[f * kNumberOfOutputBus + c] = outputBuffer_[c][f];
    }
    out += size_t{kNumberOfOutputBus} * chunk;
    remaining -= chunk;
    const float advance = static_cast<float>(chunk) * 1e9f / sampleRate_;
    t += platform::nanosToHostTicks(static_cast<uint64_t>(advance));
    hostTime_.store(t, std::memory_order_relaxed);
  }
  return 0;
}

void GBVAudioSession::refreshLoop() {
  using namespace std::chrono_literals;
  std::unique_lock<std::mutex> lock(refreshMutex_);
  while (!refreshQuit_) {
    refreshWake_.wait_for(lock, 100ms, [this] { return refreshQuit_; });
    if (refreshQuit_) return;
    if (latencyRefreshWanted_.exchange(false, std::memory_order_acquire)) {
      lock.unlock();
      updateLatency();
      lock.lock();
    }
  }
}
