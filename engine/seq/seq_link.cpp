// Following an external MIDI clock, and leading or following a Link session.

#include <cmath>
#include <algorithm>

#include "engine/seq/seq.h"
#include "platform/foundation/host_time.h"

namespace {

using Code = SeqCommandCode;

constexpr uint32_t code(Code c) { return static_cast<uint32_t>(c); }

// Link's tempo as tenths of BPM, never below the sequencer's minimum.
// Link carries a tempo as whole microseconds per beat, so 133 BPM comes back
// as 132.99995: round to the nearest tenth, never truncate.
int32_t linkTenths(double bpm) { return std::max(static_cast<int32_t>(std::lround(bpm * 10.0)), 200); }

}  // namespace

uint64_t Seq::framesToHostTicks(int64_t frames) const {
  if (frames <= 0 || sampleRate_ <= 0.0f) return 0;
  const double nanos = static_cast<double>(frames) * 1e9 / static_cast<double>(sampleRate_);
  return platform::nanosToHostTicks(static_cast<uint64_t>(nanos));
}

// ------------------------------------------------------------ MIDI clock

void Seq::clockTick(uint64_t hostTime) {
  lastClockTime_ = hostTime;
  if (!linkEnabled_ && isInternalClock() && !isPlaying()) setInternalClock(false);
  if (isInternalClock()) return;
  followClockTempo(hostTime);
  if (!isPlaying() && startPending_) {
    if (clockTracker_) clockTracker_->reset();
    start();
    startPending_ = false;
    return;
  }
  position_.countClockTick();
  if (isPlaying()) {
    for (auto& m : motion_) if (m.exists()) m.countClockTick();
    for (auto& t : triggers_) t.countClockTick();
  }
}

void Seq::followClockTempo(uint64_t hostTime) {
  int32_t tempo = followedTempo_.load(std::memory_order_relaxed);
  if (linkEnabled_) {
    if (!link_) {
      tempo = 1200;
    } else {
      // Render thread: only this slice's audio-side capture is read.
      tempo = linkTenths(audioState_ ? audioState_->sessionTempo() : linkSessionTempo_.load(std::memory_order_relaxed));
    }
  } else if (clockTracker_) {
    clockTracker_->tick(hostTime);
    tempo = std::max(static_cast<int32_t>(static_cast<float>(clockTracker_->tempo()) * 10.0f), 200);
  }
  if (tempo != followedTempo_.load(std::memory_order_relaxed)) {
    followedTempo_.store(tempo, std::memory_order_relaxed);
    listener().tempoChanged();
  }
}

// ------------------------------------------------------------ Link, render side

bool Seq::inLinkMode() const { return !bounce_ && linkEnabled_ && !isInternalClock() && linkStartArmed_; }

void Seq::checkLinkState(AudioIO*) {
  const bool enabled = link_ && link_->enabled();
  if (enabled != lastLinkEnabled_) {
    lastLinkEnabled_ = enabled;
    postFromRender(clock_->now(), code(Code::LinkEnabledChanged), enabled ? 1 : 0);
  }
  const bool connected = link_ && link_->hasPeers();
  if (connected != lastLinkConnected_) {
    lastLinkConnected_ = connected;
    listener().linkConnectedChanged();
  }
}

void Seq::linkWork(AudioIO* io, int32_t offset, int32_t frames) {
  audioState_ = nullptr;
  if (!link_ || !io) return;
  LinkSessionState* state = link_->snapshotAudioState();
  audioState_ = state;
  linkSessionTempo_.store(state->sessionTempo(), std::memory_order_relaxed);
  const uint64_t latencyNanos = io->latencyNanosec() + io->outputLatencyNanosec();
  linkLatencyNanos_.store(latencyNanos, std::memory_order_relaxed);
  const uint64_t hostTime = io->hostTime();

  if (linkEnabled_ && !bounce_ && !isInternalClock()) {
    const int64_t ticksPerBar = static_cast<int64_t>(quantum_ * 24.0);
    if (ticksPerBar >= 1) {
      int64_t tick = static_cast<int64_t>(state->beatAt(hostTime, quantum_) * 24.0);
      tick = ((tick % ticksPerBar) + ticksPerBar) % ticksPerBar;
      linkPhase_.store(static_cast<float>(tick) / static_cast<float>(ticksPerBar), std::memory_order_relaxed);
      linkTick_.store(tick, std::memory_order_relaxed);
    }
  }

  if (linkStartArmed_) {
    const uint64_t latency = platform::nanosToHostTicks(latencyNanos);
    const uint64_t sliceEnd = framesToHostTicks(static_cast<int64_t>(offset) + frames);
    const int64_t endBeatTick = static_cast<int64_t>(state->beatAt(latency + hostTime + sliceEnd, quantum_) * 24.0);
    for (int64_t k = nextLinkTick_; k <= endBeatTick; ++k) {
      const uint64_t beatTime = state->timeOfBeat(static_cast<double>(k) / 24.0, quantum_);
      // Stamp 0 would mean "now"; a tick that early is due now anyway.
      const uint64_t stamp = beatTime > latency + 1 ? beatTime - latency : 1;
      postFromRender(stamp, code(k < 0 ? Code::LinkCountIn : Code::LinkTick), static_cast<uint32_t>(k));
      nextLinkTick_ = k + 1;
    }
  } else if (linkEnabled_) {
    const int32_t tempo = linkTenths(state->sessionTempo());
    if (tempo != followedTempo_.load(std::memory_order_relaxed)) {
      followedTempo_.store(tempo, std::memory_order_relaxed);
      listener().tempoChanged();
    }
  }
}

void Seq::linkStartAtNextQuantum(uint64_t hostTime, AudioIO* io) {
  if (bounce_ || !linkEnabled_ || isInternalClock() || isPlaying() || startPending_ || !link_) return;
  quantum_ = static_cast<double>(stepClock_.stepsPerBar()) * 0.25;
  const uint64_t latencyNanos = io ? io->latencyNanosec() + io->outputLatencyNanosec() : 0;
  const uint64_t t = hostTime + platform::nanosToHostTicks(latencyNanos);
  LinkSessionState* state = link_->snapshotAudioState();
  audioState_ = state;
  state->requestBeat(0.0, t, quantum_);
  link_->publishAudioState(state);
  nextLinkTick_ = static_cast<int64_t>(state->beatAt(t, quantum_) * 24.0);
  linkStartArmed_ = true;
  startPending_ = true;
}

// ------------------------------------------------------------ Link, main side

bool Seq::isLinkEnabled() const { return link_ && link_->enabled(); }

bool Seq::isLinkConnected() const { return link_ && link_->hasPeers(); }

double Seq::linkTempo() {
  if (!link_) return 120.0;
  return link_->snapshotAppState()->sessionTempo();
}

void Seq::setTempoLink(uint64_t hostTime, double bpm) {
  if (!link_) return;
  LinkSessionState* state = link_->snapshotAppState();
  const uint64_t latency = platform::nanosToHostTicks(linkLatencyNanos_.load(std::memory_order_relaxed));
  state->setSessionTempo(std::clamp(bpm, 20.0, 999.0), hostTime + latency);
  link_->publishAppState(state);
}

void Seq::suspendLink() {
  if (link_) link_->setAppActive(false);
}

void Seq::resumeLink() {
  if (link_) link_->setAppActive(true);
}

void Seq::linkSessionTempoCallback(double sessionTempo, void* context) {
  static_cast<Seq*>(context)->listener().linkSessionTempoChanged(sessionTempo);
}
