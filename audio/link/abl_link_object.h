#pragma once
// The object behind a Link kit handle. Only the kit's own sources see it;
// everyone else goes through the functions of abl_link.h.

#include <ableton/Link.hpp>

#include <atomic>
#include <functional>
#include <memory>
#include <optional>

#include "audio/link/abl_link.h"
#include "engine/seq/link_kit.h"
#include "platform/foundation/host_time.h"

// One captured session state: Link's own record (captured and working
// timeline and transport, and whether peers were present) plus the host
// timebase its times are converted with. It is also the sequencer's view of a
// capture, so the kit hands out the record itself.
class ABLLinkSessionState final : public LinkSessionState {
 public:
  double sessionTempo() const override;
  void setSessionTempo(double bpm, uint64_t hostTime) override;
  double beatAt(uint64_t hostTime, double quantum) const override;
  uint64_t timeOfBeat(double beat, double quantum) const override;
  void requestBeat(double beat, uint64_t hostTime, double quantum) override;

  // Host ticks to Link's microseconds (rounded) and back (truncated; times
  // before the clock's start read as 0).
  std::chrono::microseconds toMicros(uint64_t hostTime) const;
  uint64_t toHostTime(std::chrono::microseconds micros) const;

  // Engaged from the handle's construction on (Link's state has no empty form).
  std::optional<ableton::Link::SessionState> session;
  platform::Timebase timebase = platform::hostTimebase();
};

class ABLLink {
 public:
  ABLLink(double initialTempo, ABLLinkEnvironment environment);
  ~ABLLink();
  ABLLink(const ABLLink&) = delete;
  ABLLink& operator=(const ABLLink&) = delete;

  // Link runs exactly when the app is active and the user's setting is on.
  void applyEnableRule();

  // Where the settings live and what shows them (fixed at construction).
  platform::UserDefaults& userDefaults;
  const platform::Bundle& bundle;
  std::function<void(unsigned long)> showNotificationMessage;

  // Queued main-queue deliveries hold further references, so the record
  // outlives the object when they are still waiting.
  std::shared_ptr<ABLLinkCallbacks> callbacks;
  // Main thread only.
  bool active = true;
  // Read by the render thread.
  std::atomic<bool> enabled{false};
  ableton::Link link;
  std::shared_ptr<ABLLinkSettingsScreen> settings;
  ABLLinkSessionState audioState;
  ABLLinkSessionState appState;
};
