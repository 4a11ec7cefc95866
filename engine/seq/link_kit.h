#pragma once
// The Link session as the sequencer uses it: a handle on the session and the
// session-state records it captures and commits.
//
// Threads:
// - render thread: enabled(), hasPeers(), snapshotAudioState(),
//   publishAudioState() and the session functions on the audio record. These
//   must never wait for a lock another thread can hold.
// - main thread: setAppActive(), setSessionTempoCallback(), snapshotAppState(),
//   publishAppState() and the session functions on the app record.
// A snapshot pointer stays valid, with its contents, until the next snapshot
// of the same kind on the same handle, or until the handle is destroyed.

#include <cstdint>
#include <functional>
#include <memory>

// One captured session state. Changes stay local until published.
class LinkSessionState {
 public:
  // Tempo of the working timeline, BPM.
  virtual double sessionTempo() const = 0;
  // New tempo (clamped to 20..999 BPM) from this host time on; the beat at
  // that time stays where it is.
  virtual void setSessionTempo(double bpm, uint64_t hostTime) = 0;
  // The beat at a host time, phase-aligned to the quantum.
  virtual double beatAt(uint64_t hostTime, double quantum) const = 0;
  // The host time at which the timeline reaches a beat.
  virtual uint64_t timeOfBeat(double beat, double quantum) const = 0;
  // Puts the beat at the host time, or, with peers, at the next time whose
  // phase in the quantum matches.
  virtual void requestBeat(double beat, uint64_t hostTime, double quantum) = 0;

 protected:
  ~LinkSessionState() = default;
};

using LinkSessionTempoCallback = void (*)(double sessionTempo, void* context);

class LinkKit {
 public:
  virtual ~LinkKit() = default;
  // The user's Link setting (atomic read).
  virtual bool enabled() = 0;
  // Link runs and has at least one peer (atomic read).
  virtual bool hasPeers() = 0;
  // The application went to the background (false) or came back (true).
  virtual void setAppActive(bool active) = 0;
  // Called on the main thread whenever the session tempo changes; a null
  // callback clears it.
  virtual void setSessionTempoCallback(LinkSessionTempoCallback callback, void* context) = 0;
  // Real-time-safe capture and commit, render thread only.
  virtual LinkSessionState* snapshotAudioState() = 0;
  virtual void publishAudioState(LinkSessionState* state) = 0;
  // Capture and commit for the main thread (may wait for Link's own thread).
  virtual LinkSessionState* snapshotAppState() = 0;
  virtual void publishAppState(LinkSessionState* state) = 0;
};

// Makes the session handle with an initial tempo in BPM. The sequencer calls
// it once, in its constructor, and owns the result.
using LinkKitFactory = std::function<std::unique_ptr<LinkKit>(double initialTempo)>;
