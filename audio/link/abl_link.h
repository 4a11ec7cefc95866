#pragma once
// The Link kit: a plain function interface on one opaque handle over an
// Ableton Link session.
//
// The sequencer makes one handle at start-up with its initial tempo and uses
// it through LinkKit (abl_link_kit.h); the settings screen and the in-app
// banner of the interface layer use the settings operations at the end of this
// file. Link's network activity follows two switches: the user's setting
// ("ABLLinkEnabledKey" in the user defaults) and whether the application is
// in the foreground; Link runs exactly when both are on.
//
// Time: every host time here is in host ticks (platform/foundation/host_time.h),
// the clock of the audio output's time stamps; Link reads the same clock
// (CLOCK_MONOTONIC_RAW). Tempo is in BPM; beats and quanta are in beats.
//
// Threads
// - Render thread: ABLLinkSnapshotAudioState, ABLLinkPublishAudioState, the
//   session functions on the audio record, ABLLinkEnabled, ABLLinkHasPeers.
//   None of them allocates or waits for a lock: atomic reads, and Link's
//   real-time capture and commit (the commit of a changed state wakes Link's
//   hand-over thread, a condition-variable signal that never waits).
// - Main thread: everything else, including making and deleting the handle.
// - Link's own threads raise the peer-count, tempo and start/stop changes;
//   the kit re-posts each to the main queue, so every callback below runs on
//   the main thread. Deliveries still queued when the handle is deleted run
//   and do nothing.
//
// A snapshot pointer stays valid, with its contents, until the next snapshot
// of the same kind on the same handle or until ABLLinkDelete. No function
// checks for a null handle (except ABLLinkSettingsScreenOf).

#include <cstdint>
#include <functional>
#include <memory>

namespace platform {
class Bundle;
class UserDefaults;
}  // namespace platform

class ABLLink;
class ABLLinkSessionState;

// The six places the kit delivers to. Every slot always holds a callable
// (no-ops by default), so no delivery can find one empty.
struct ABLLinkCallbacks {
  // Peers appeared (true) or all left (false); main thread.
  std::function<void(bool)> connected;
  // The user switched Link; also once at construction with the stored setting.
  std::function<void(bool)> enabled;
  // The peer count changed; the kit's own handler sits here.
  std::function<void(unsigned long)> peerCount;
  // The session tempo changed (BPM).
  std::function<void(double)> sessionTempo;
  // The session's transport started (true) or stopped (false); only with
  // start/stop sync on.
  std::function<void(bool)> startStop;
  // The user switched start/stop sync.
  std::function<void(bool)> startStopSyncEnabled;

  // Empty functions are taken as no-ops.
  ABLLinkCallbacks(std::function<void(bool)> connected, std::function<void(bool)> enabled,
                   std::function<void(unsigned long)> peerCount, std::function<void(double)> sessionTempo,
                   std::function<void(bool)> startStop, std::function<void(bool)> startStopSyncEnabled);
  // All six as no-ops.
  static ABLLinkCallbacks noOps();
};

// The kit's settings screen, as the kit drives it: one per handle, made at
// construction. The interface layer provides the real screen; without one
// the kit keeps the count in a plain record of its own.
class ABLLinkSettingsScreen {
 public:
  virtual ~ABLLinkSettingsScreen() = default;
  // The peer count the status row shows (0 before any count arrives).
  virtual uint64_t numberOfPeers() const = 0;
  virtual void setNumberOfPeers(uint64_t count) = 0;
  // The handle is going: stop observing and forget it.
  virtual void deinit() = 0;
};

// Where a handle keeps its settings and what it shows them with. Pointers
// must outlive the handle; null and empty members take the defaults.
struct ABLLinkEnvironment {
  // Null: the standard user defaults.
  platform::UserDefaults* userDefaults = nullptr;
  // Whose information dictionary answers "ABLLinkStartStopSyncSupported";
  // null: the main bundle.
  const platform::Bundle* bundle = nullptr;
  // Makes the settings screen for a handle; empty: the kit's plain record.
  std::function<std::shared_ptr<ABLLinkSettingsScreen>(ABLLink*)> makeSettingsScreen;
  // The in-app banner's entry, given every peer count the kit takes while
  // Link runs (the banner decides whether to show it); empty: no banner.
  std::function<void(unsigned long)> showNotificationMessage;
  // The enabled slot's first occupant, which construction calls with the
  // stored setting; empty: a no-op.
  std::function<void(bool)> enabledSlot;
};

// User-default keys and the information-dictionary key.
inline constexpr const char* kABLLinkEnabledKey = "ABLLinkEnabledKey";
inline constexpr const char* kABLStartStopSyncEnabledKey = "ABLStartStopSyncEnabled";
inline constexpr const char* kABLNotificationEnabledKey = "ABLNotificationEnabled";
inline constexpr const char* kABLLinkStartStopSyncSupportedKey = "ABLLinkStartStopSyncSupported";

using ABLLinkSessionTempoCallback = void (*)(double sessionTempo, void* context);
using ABLLinkBoolCallback = void (*)(bool value, void* context);

// --- Handle ------------------------------------------------------------------
// Makes the handle (Link with the initial tempo, the stored settings applied)
// and puts the kit's peer-count handler into its peer-count slot.
ABLLink* ABLLinkNew(double initialTempo);
ABLLink* ABLLinkNewWithEnvironment(double initialTempo, ABLLinkEnvironment environment);
// Deinitialises the settings screen, empties every slot, stops Link and
// frees the handle.
void ABLLinkDelete(ABLLink* link);

// The application went to the background (false) or came back (true); the
// stored setting is untouched.
void ABLLinkSetAppActive(ABLLink* link, bool active);
// Starts or stops Link after the user's setting changed.
void ABLLinkApplyEnabledSetting(ABLLink* link);
// The user's Link setting (atomic read; render thread too).
bool ABLLinkEnabled(ABLLink* link);
// Link runs and has at least one peer (atomic reads; render thread too).
bool ABLLinkHasPeers(ABLLink* link);
void ABLLinkSetStartStopSync(ABLLink* link, bool on);
bool ABLLinkStartStopSyncOn(ABLLink* link);

// Fill a slot with a function pointer and its context; a null callback
// empties the slot (deliveries then call nothing).
void ABLLinkSetSessionTempoCallback(ABLLink* link, ABLLinkSessionTempoCallback callback, void* context);
void ABLLinkSetConnectedCallback(ABLLink* link, ABLLinkBoolCallback callback, void* context);
void ABLLinkSetEnabledCallback(ABLLink* link, ABLLinkBoolCallback callback, void* context);
void ABLLinkSetStartStopCallback(ABLLink* link, ABLLinkBoolCallback callback, void* context);
void ABLLinkSetStartStopSyncEnabledCallback(ABLLink* link, ABLLinkBoolCallback callback, void* context);

// --- Session state -------------------------------------------------------------
// Render thread: Link's real-time capture into the handle's audio record,
// and its real-time commit (only what changed since the capture is sent).
ABLLinkSessionState* ABLLinkSnapshotAudioState(ABLLink* link);
void ABLLinkPublishAudioState(ABLLink* link, ABLLinkSessionState* state);
// Main thread: the same for the app record, under Link's client-state lock.
ABLLinkSessionState* ABLLinkSnapshotAppState(ABLLink* link);
void ABLLinkPublishAppState(ABLLink* link, ABLLinkSessionState* state);

// The working timeline of a captured state. Changes stay in the record until
// it is published with the matching publish function.
double ABLLinkSessionTempo(const ABLLinkSessionState* state);
// New tempo (clamped to 20..999 BPM) from that host time on; the beat at that
// time stays. A tempo that is not a number changes nothing.
void ABLLinkSessionSetTempo(ABLLinkSessionState* state, double bpm, uint64_t hostTime);
// The beat at a host time; peers using the same quantum agree on its phase.
double ABLLinkSessionBeatAt(const ABLLinkSessionState* state, uint64_t hostTime, double quantum);
// The host time at which the timeline reaches a beat (0 for times before the
// host clock's start).
uint64_t ABLLinkSessionTimeOfBeat(const ABLLinkSessionState* state, double beat, double quantum);
// Puts the beat at the host time; when peers were present at capture, at
// the next time at or after it whose phase in the quantum matches.
void ABLLinkSessionRequestBeat(ABLLinkSessionState* state, double beat, uint64_t hostTime, double quantum);
// The session's transport (shared with peers only with start/stop sync on).
bool ABLLinkSessionIsPlaying(const ABLLinkSessionState* state);
void ABLLinkSessionSetIsPlaying(ABLLinkSessionState* state, bool playing, uint64_t hostTime);
uint64_t ABLLinkSessionTimeForIsPlaying(const ABLLinkSessionState* state);

// --- For the settings screen and the banner (main thread) ---------------------
// The screen made for the handle; null for a null handle.
ABLLinkSettingsScreen* ABLLinkSettingsScreenOf(ABLLink* link);
// The Link switch: stores the setting (and synchronizes), shows 0 peers when
// off, and on a real change updates the flag, calls the enabled slot and
// starts or stops Link. Returns whether the setting changed what the handle
// had (the screen then shows or hides its other sections).
bool ABLLinkUserSetEnabled(ABLLink* link, bool on);
// The notifications switch: stores "ABLNotificationEnabled" only.
void ABLLinkUserSetNotificationsEnabled(ABLLink* link, bool on);
// The start/stop-sync switch: stores the setting (and synchronizes); on a
// change sets Link's flag and calls the start/stop-sync-enabled slot.
void ABLLinkUserSetStartStopSyncEnabled(ABLLink* link, bool on);
// "ABLNotificationEnabled" of the handle's user defaults.
bool ABLLinkNotificationsEnabled(ABLLink* link);
// "ABLLinkStartStopSyncSupported" of the information dictionary: whether
// the screen offers the start/stop-sync row.
bool ABLLinkStartStopSyncSupported(ABLLink* link);
