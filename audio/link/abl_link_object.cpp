#include "audio/link/abl_link_object.h"

#include <cmath>
#include <limits>

#include "platform/foundation/bundle.h"
#include "platform/foundation/user_defaults.h"
#include "platform/runloop/run_loop.h"

namespace {

// Without a screen from the interface layer the kit still needs the last
// count it showed: the peer-count handler compares against it.
class PeerCountRecord final : public ABLLinkSettingsScreen {
 public:
  uint64_t numberOfPeers() const override { return count_; }
  void setNumberOfPeers(uint64_t count) override { count_ = count; }
  void deinit() override {}

 private:
  uint64_t count_ = 0;
};

// First launch: the settings start as Link off, notifications on, start/stop
// sync off. Keys the user has already set keep their value.
void registerMissingDefaults(platform::UserDefaults& defaults) {
  const struct {
    const char* key;
    bool value;
  } entries[] = {
      {kABLLinkEnabledKey, false},
      {kABLNotificationEnabledKey, true},
      {kABLStartStopSyncEnabledKey, false},
  };
  for (const auto& e : entries) {
    if (!defaults.objectForKey(e.key)) defaults.setBool(e.value, e.key);
  }
}

double finiteOr(double value, double fallback) { return std::isfinite(value) ? value : fallback; }

// A quantum that is not a positive number means "no phase" (Link treats 0
// that way); anything else would feed its integer phase arithmetic garbage.
double saneQuantum(double quantum) { return std::isfinite(quantum) && quantum > 0.0 ? quantum : 0.0; }

}  // namespace

// ------------------------------------------------------------ ABLLinkSessionState

std::chrono::microseconds ABLLinkSessionState::toMicros(uint64_t hostTime) const {
  const uint64_t nanos = hostTime * timebase.numer / timebase.denom;
  return std::chrono::microseconds(static_cast<int64_t>((nanos + 500) / 1000));
}

uint64_t ABLLinkSessionState::toHostTime(std::chrono::microseconds micros) const {
  if (micros.count() <= 0) return 0;
  if (static_cast<uint64_t>(micros.count()) > std::numeric_limits<uint64_t>::max() / 1000) {
    return std::numeric_limits<uint64_t>::max();
  }
  const uint64_t nanos = static_cast<uint64_t>(micros.count()) * 1000;
  return nanos * timebase.denom / timebase.numer;
}

double ABLLinkSessionState::sessionTempo() const { return session->tempo(); }

void ABLLinkSessionState::setSessionTempo(double bpm, uint64_t hostTime) {
  if (std::isnan(bpm)) return;
  // Link clamps to 20..999 itself; infinities clamp the same way.
  session->setTempo(std::fmin(std::fmax(bpm, 20.0), 999.0), toMicros(hostTime));
}

double ABLLinkSessionState::beatAt(uint64_t hostTime, double quantum) const {
  return session->beatAtTime(toMicros(hostTime), saneQuantum(quantum));
}

uint64_t ABLLinkSessionState::timeOfBeat(double beat, double quantum) const {
  if (!std::isfinite(beat)) return beat > 0.0 ? std::numeric_limits<uint64_t>::max() : 0;
  return toHostTime(session->timeAtBeat(beat, saneQuantum(quantum)));
}

void ABLLinkSessionState::requestBeat(double beat, uint64_t hostTime, double quantum) {
  if (!std::isfinite(beat)) return;
  session->requestBeatAtTime(beat, toMicros(hostTime), saneQuantum(quantum));
}

// ------------------------------------------------------------ ABLLink

namespace {

// An empty slot would throw when a delivery calls it.
template <typename F>
F orNoOp(F f) {
  if (!f) return [](auto) {};
  return f;
}

}  // namespace

ABLLinkCallbacks::ABLLinkCallbacks(std::function<void(bool)> connected_, std::function<void(bool)> enabled_,
                                   std::function<void(unsigned long)> peerCount_,
                                   std::function<void(double)> sessionTempo_, std::function<void(bool)> startStop_,
                                   std::function<void(bool)> startStopSyncEnabled_)
    : connected(orNoOp(std::move(connected_))),
      enabled(orNoOp(std::move(enabled_))),
      peerCount(orNoOp(std::move(peerCount_))),
      sessionTempo(orNoOp(std::move(sessionTempo_))),
      startStop(orNoOp(std::move(startStop_))),
      startStopSyncEnabled(orNoOp(std::move(startStopSyncEnabled_))) {}

ABLLinkCallbacks ABLLinkCallbacks::noOps() {
  return ABLLinkCallbacks([](bool) {}, [](bool) {}, [](unsigned long) {}, [](double) {}, [](bool) {}, [](bool) {});
}

ABLLink::ABLLink(double initialTempo, ABLLinkEnvironment environment)
    : userDefaults(environment.userDefaults ? *environment.userDefaults
                                            : platform::UserDefaults::standardUserDefaults()),
      bundle(environment.bundle ? *environment.bundle : platform::Bundle::mainBundle()),
      showNotificationMessage(std::move(environment.showNotificationMessage)),
      callbacks(std::make_shared<ABLLinkCallbacks>(ABLLinkCallbacks::noOps())),
      link(finiteOr(initialTempo, 120.0)) {
  // Deliveries go to the main queue; make sure the constructing (main) thread
  // is the one that owns it before Link's threads post anything.
  platform::RunLoop::main();
  if (environment.enabledSlot) callbacks->enabled = std::move(environment.enabledSlot);

  // Both records are valid before any caller captures. No render thread runs
  // yet, so the real-time capture is safe here.
  audioState.session = link.captureAudioSessionState();
  appState.session = link.captureAppSessionState();

  registerMissingDefaults(userDefaults);
  settings = environment.makeSettingsScreen ? environment.makeSettingsScreen(this) : nullptr;
  if (!settings) settings = std::make_shared<PeerCountRecord>();

  // Link calls these on its own thread; they only post the value to the
  // main queue, with a reference that keeps the slots alive until it runs.
  std::shared_ptr<ABLLinkCallbacks> slots = callbacks;
  link.setNumPeersCallback([slots](std::size_t count) {
    platform::dispatchAsyncMain([slots, count] { slots->peerCount(static_cast<unsigned long>(count)); });
  });
  link.setTempoCallback([slots](double bpm) { platform::dispatchAsyncMain([slots, bpm] { slots->sessionTempo(bpm); }); });
  link.setStartStopCallback(
      [slots](bool isPlaying) { platform::dispatchAsyncMain([slots, isPlaying] { slots->startStop(isPlaying); }); });

  enabled.store(userDefaults.boolForKey(kABLLinkEnabledKey));
  callbacks->enabled(enabled.load());
  applyEnableRule();
  link.enableStartStopSync(userDefaults.boolForKey(kABLStartStopSyncEnabledKey));
}

ABLLink::~ABLLink() {
  // Members go in reverse: the screen, then Link (its threads stop and its
  // network goes quiet), then this object's reference to the slots.
  settings.reset();
}

void ABLLink::applyEnableRule() {
  // Link itself swaps the flag and asks its thread only when it changes.
  link.enable(active && enabled.load());
}
