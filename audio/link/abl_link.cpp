// The Link kit's function interface over its object.

#include "audio/link/abl_link.h"

#include "audio/link/abl_link_object.h"
#include "platform/foundation/bundle.h"
#include "platform/foundation/user_defaults.h"

namespace {

// Main thread (a main-queue delivery): counts that arrive while Link is off
// are stale and change nothing.
void peerCountHandler(ABLLink* link, unsigned long count) {
  if (!link->link.isEnabled()) return;
  const uint64_t previous = link->settings->numberOfPeers();
  if (count > 0 && previous == 0) {
    link->callbacks->connected(true);
  } else if (count == 0 && previous > 0) {
    link->callbacks->connected(false);
  }
  if (link->showNotificationMessage) link->showNotificationMessage(count);
  link->settings->setNumberOfPeers(count);
}

std::function<void(bool)> boolSlot(ABLLinkBoolCallback callback, void* context) {
  if (!callback) return [](bool) {};
  return [callback, context](bool value) { callback(value, context); };
}

}  // namespace

// ------------------------------------------------------------ handle

ABLLink* ABLLinkNew(double initialTempo) { return ABLLinkNewWithEnvironment(initialTempo, {}); }

ABLLink* ABLLinkNewWithEnvironment(double initialTempo, ABLLinkEnvironment environment) {
  auto* link = new ABLLink(initialTempo, std::move(environment));
  link->callbacks->peerCount = [link](unsigned long count) { peerCountHandler(link, count); };
  return link;
}

void ABLLinkDelete(ABLLink* link) {
  link->settings->deinit();
  // Deliveries still waiting on the main queue keep the record and run
  // after the object is gone: they must find nothing to call into.
  *link->callbacks = ABLLinkCallbacks::noOps();
  delete link;
}

void ABLLinkSetAppActive(ABLLink* link, bool active) {
  link->active = active;
  link->applyEnableRule();
}

void ABLLinkApplyEnabledSetting(ABLLink* link) { link->applyEnableRule(); }

bool ABLLinkEnabled(ABLLink* link) { return link->enabled.load(); }

bool ABLLinkHasPeers(ABLLink* link) { return link->link.isEnabled() && link->link.numPeers() != 0; }

void ABLLinkSetStartStopSync(ABLLink* link, bool on) { link->link.enableStartStopSync(on); }

bool ABLLinkStartStopSyncOn(ABLLink* link) { return link->link.isStartStopSyncEnabled(); }

void ABLLinkSetSessionTempoCallback(ABLLink* link, ABLLinkSessionTempoCallback callback, void* context) {
  if (!callback) {
    link->callbacks->sessionTempo = [](double) {};
    return;
  }
  link->callbacks->sessionTempo = [callback, context](double tempo) { callback(tempo, context); };
}

void ABLLinkSetConnectedCallback(ABLLink* link, ABLLinkBoolCallback callback, void* context) {
  link->callbacks->connected = boolSlot(callback, context);
}

void ABLLinkSetEnabledCallback(ABLLink* link, ABLLinkBoolCallback callback, void* context) {
  link->callbacks->enabled = boolSlot(callback, context);
}

void ABLLinkSetStartStopCallback(ABLLink* link, ABLLinkBoolCallback callback, void* context) {
  link->callbacks->startStop = boolSlot(callback, context);
}

void ABLLinkSetStartStopSyncEnabledCallback(ABLLink* link, ABLLinkBoolCallback callback, void* context) {
  link->callbacks->startStopSyncEnabled = boolSlot(callback, context);
}

// ------------------------------------------------------------ session state

ABLLinkSessionState* ABLLinkSnapshotAudioState(ABLLink* link) {
  link->audioState.session = link->link.captureAudioSessionState();
  return &link->audioState;
}

void ABLLinkPublishAudioState(ABLLink* link, ABLLinkSessionState* state) {
  link->link.commitAudioSessionState(*state->session);
}

ABLLinkSessionState* ABLLinkSnapshotAppState(ABLLink* link) {
  link->appState.session = link->link.captureAppSessionState();
  return &link->appState;
}

void ABLLinkPublishAppState(ABLLink* link, ABLLinkSessionState* state) {
  link->link.commitAppSessionState(*state->session);
}

double ABLLinkSessionTempo(const ABLLinkSessionState* state) { return state->sessionTempo(); }

void ABLLinkSessionSetTempo(ABLLinkSessionState* state, double bpm, uint64_t hostTime) {
  state->setSessionTempo(bpm, hostTime);
}

double ABLLinkSessionBeatAt(const ABLLinkSessionState* state, uint64_t hostTime, double quantum) {
  return state->beatAt(hostTime, quantum);
}

uint64_t ABLLinkSessionTimeOfBeat(const ABLLinkSessionState* state, double beat, double quantum) {
  return state->timeOfBeat(beat, quantum);
}

void ABLLinkSessionRequestBeat(ABLLinkSessionState* state, double beat, uint64_t hostTime, double quantum) {
  state->requestBeat(beat, hostTime, quantum);
}

bool ABLLinkSessionIsPlaying(const ABLLinkSessionState* state) { return state->session->isPlaying(); }

void ABLLinkSessionSetIsPlaying(ABLLinkSessionState* state, bool playing, uint64_t hostTime) {
  state->session->setIsPlaying(playing, state->toMicros(hostTime));
}

uint64_t ABLLinkSessionTimeForIsPlaying(const ABLLinkSessionState* state) {
  return state->toHostTime(state->session->timeForIsPlaying());
}

// ------------------------------------------------------------ settings

ABLLinkSettingsScreen* ABLLinkSettingsScreenOf(ABLLink* link) { return link ? link->settings.get() : nullptr; }

bool ABLLinkUserSetEnabled(ABLLink* link, bool on) {
  link->userDefaults.setBool(on, kABLLinkEnabledKey);
  link->userDefaults.synchronize();
  // Once Link stops no more counts arrive, so the screen clears its own.
  if (!on) link->settings->setNumberOfPeers(0);
  if (on == link->enabled.load()) return false;
  link->enabled.store(on);
  link->callbacks->enabled(on);
  link->applyEnableRule();
  return true;
}

void ABLLinkUserSetNotificationsEnabled(ABLLink* link, bool on) {
  link->userDefaults.setBool(on, kABLNotificationEnabledKey);
}

void ABLLinkUserSetStartStopSyncEnabled(ABLLink* link, bool on) {
  link->userDefaults.setBool(on, kABLStartStopSyncEnabledKey);
  link->userDefaults.synchronize();
  if (on == ABLLinkStartStopSyncOn(link)) return;
  ABLLinkSetStartStopSync(link, on);
  link->callbacks->startStopSyncEnabled(on);
}

bool ABLLinkNotificationsEnabled(ABLLink* link) { return link->userDefaults.boolForKey(kABLNotificationEnabledKey); }

bool ABLLinkStartStopSyncSupported(ABLLink* link) {
  const auto value = link->bundle.objectForInfoDictionaryKey(kABLLinkStartStopSyncSupportedKey);
  return value && value->boolValue();
}
