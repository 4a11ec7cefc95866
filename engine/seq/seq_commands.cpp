// The command queue: posting from any thread, execution on the render thread.

#include <algorithm>

#include "engine/seq/seq.h"
#include "platform/foundation/host_time.h"

namespace {

using Code = SeqCommandCode;

constexpr uint32_t code(Code c) { return static_cast<uint32_t>(c); }

}  // namespace

// ------------------------------------------------------------ posting side

void Seq::post(uint64_t time, uint32_t c, uint32_t arg1, uint32_t arg2, PatternSlot* pattern) {
  const uint64_t order = commandOrder_.fetch_add(1, std::memory_order_relaxed);
  std::lock_guard<platform::SpinTryLock> lock(commandMutex_);
  posted_.push_back(QueuedCommand{SeqCommand{time, c, arg1, arg2}, order, pattern});
}

void Seq::postFromRender(uint64_t time, uint32_t c, uint32_t arg1, uint32_t arg2) {
  // Straight into the render thread's own queue: no lock, no allocation.
  if (queue_.size() >= queue_.capacity()) return;
  queue_.push_back(QueuedCommand{SeqCommand{time, c, arg1, arg2},
                                 commandOrder_.fetch_add(1, std::memory_order_relaxed), nullptr});
  unsorted_ = true;
}

int32_t Seq::numberOfPatterns() const {
  DataProvider* provider = provider_.load(std::memory_order_acquire);
  return provider ? provider->numberOfPatterns() : 0;
}

Seq::PatternSlot* Seq::claimSlot(int32_t index, bool numberOnly) {
  std::lock_guard<std::mutex> lock(slotMutex_);
  PatternSlot* slot = nullptr;
  for (auto& s : slots_) {
    if (!s->inUse.load(std::memory_order_acquire)) {
      slot = s.get();
      break;
    }
  }
  if (!slot) {
    slots_.push_back(std::make_unique<PatternSlot>());
    slot = slots_.back().get();
  }
  slot->inUse.store(true, std::memory_order_relaxed);
  slot->index.store(index, std::memory_order_relaxed);
  slot->numberOnly.store(numberOnly, std::memory_order_relaxed);
  return slot;
}

Seq::PatternSlot* Seq::fetchPattern(int32_t index) {
  DataProvider* provider = provider_.load(std::memory_order_acquire);
  if (!provider) return nullptr;
  PatternSlot* slot = claimSlot(index, false);
  // The file read happens here, on the asking thread, with no lock the
  // render thread takes; the caller's fetchMutex_ keeps a renumbering out
  // until the slot is posted.
  slot->record = provider->patternAt(index);
  return slot;
}

void Seq::releaseSlot(PatternSlot* slot) {
  if (slot) slot->inUse.store(false, std::memory_order_release);
}

void Seq::selectPatternSet(uint64_t time, uint32_t high, uint32_t low) {
  post(time, code(Code::SelectPatternSet), high, low);
}

void Seq::setPatternSetMode(bool on) {
  post(0, code(on ? Code::PatternSetModeOn : Code::PatternSetModeOff));
}

bool Seq::programChange(uint64_t time, uint32_t program) {
  if (bankSelectMsb_.load(std::memory_order_relaxed) != 0) return false;
  const int64_t index = static_cast<int64_t>(program) + 128 * static_cast<int64_t>(bankSelectLsb_.load(std::memory_order_relaxed));
  if (index >= numberOfPatterns()) return false;
  std::lock_guard<std::mutex> fetching(fetchMutex_);
  PatternSlot* slot = fetchPattern(static_cast<int32_t>(index));
  if (!slot) return false;
  post(time, code(Code::ProgramChange), program, static_cast<uint32_t>(index), slot);
  return true;
}

int32_t Seq::changePatternSilently(int32_t index) {
  if (index < 0 || index >= numberOfPatterns()) return pendingPattern();
  std::lock_guard<std::mutex> fetching(fetchMutex_);
  PatternSlot* slot = fetchPattern(index);
  if (!slot) return pendingPattern();
  post(0, code(Code::ChangePatternSilently), static_cast<uint32_t>(index), 0, slot);
  return index;
}

bool Seq::changePattern(uint64_t time, int32_t index) {
  if (index < 0 || index >= numberOfPatterns()) return false;
  std::lock_guard<std::mutex> fetching(fetchMutex_);
  PatternSlot* slot = fetchPattern(index);
  if (!slot) return false;
  post(time, code(Code::ChangePattern), static_cast<uint32_t>(index), 0, slot);
  return true;
}

void Seq::setRecording(uint64_t time, bool on) {
  post(time, code(on ? Code::RecordingOn : Code::RecordingOff));
}

void Seq::midiStart(uint64_t time) { post(time, code(Code::MidiStart)); }
void Seq::midiStop(uint64_t time) { post(time, code(Code::MidiStop)); }
void Seq::midiClock(uint64_t time) { post(time, code(Code::MidiClock)); }
void Seq::externalClockLost() { post(0, code(Code::ExternalClockLost)); }

void Seq::startForBounce(uint64_t time) {
  post(bouncePosting_.load(std::memory_order_relaxed) ? 0 : time, code(Code::Start));
}

void Seq::play(uint64_t time) {
  if (bouncePosting_.load(std::memory_order_relaxed)) return;
  post(time, code(Code::StartFromUi));
}

void Seq::stopPlayback(uint64_t time) {
  post(bouncePosting_.load(std::memory_order_relaxed) ? 0 : time, code(Code::Stop));
}

void Seq::stopFromUi(uint64_t time) {
  if (bouncePosting_.load(std::memory_order_relaxed)) return;
  post(time, code(Code::StopFromUi));
}

void Seq::setLoop(uint64_t time, bool on) { post(time, code(on ? Code::LoopOn : Code::LoopOff)); }

void Seq::linkStart(uint64_t time) { post(time ? time : clock_->now(), code(Code::LinkStart)); }
void Seq::linkStop(uint64_t time) { post(time ? time : clock_->now(), code(Code::LinkStop)); }

// ------------------------------------------------------------ library changes

void Seq::refreshPattern(int32_t index) {
  std::lock_guard<std::mutex> fetching(fetchMutex_);
  // Only when a change to that number waits: a slot in use holds it.
  bool waiting = false;
  {
    std::lock_guard<std::mutex> lock(slotMutex_);
    for (auto& s : slots_)
      waiting |= s->inUse.load(std::memory_order_acquire) && !s->numberOnly.load(std::memory_order_relaxed) &&
                 s->index.load(std::memory_order_relaxed) == index;
  }
  if (!waiting) return;
  if (PatternSlot* fresh = fetchPattern(index)) post(0, kRefreshPattern, static_cast<uint32_t>(index), 0, fresh);
}

void Seq::renumberPatterns(int32_t from, int32_t to) {
  renumberPatterns([from, to](int32_t p) { return movedPatternNumber(p, from, to); });
}

void Seq::renumberPatterns(const std::function<int32_t(int32_t)>& numberOf,
                           const std::function<void()>& alsoLocked) {
  // No fetch between its read and its post sees the numbers change.
  std::lock_guard<std::mutex> fetching(fetchMutex_);
  std::lock_guard<platform::SpinTryLock> renumbering(renumberLock_);
  if (alsoLocked) alsoLocked();
  int32_t r = requestedPattern_.load(std::memory_order_acquire);
  while (!requestedPattern_.compare_exchange_weak(r, numberOf(r), std::memory_order_acq_rel)) {
  }
  std::lock_guard<std::mutex> lock(slotMutex_);
  for (auto& s : slots_) {
    if (!s->inUse.load(std::memory_order_acquire)) continue;
    s->index.store(numberOf(s->index.load(std::memory_order_relaxed)), std::memory_order_release);
  }
}

void Seq::cancelPatternChanges(int32_t current) {
  // No renumbering between the store and the post: it would renumber the
  // one and miss the other.
  std::lock_guard<std::mutex> fetching(fetchMutex_);
  // Stored here for whoever asks before the next slice, and again by the
  // render side, where a change executing meanwhile could overwrite it. The
  // number travels in a slot, so that a move or sort before that slice
  // renumbers it as it does the waiting changes (the cancel may wait long:
  // no slice runs while the output is stopped).
  requestedPattern_.store(current, std::memory_order_release);
  post(0, kCancelPatternChanges, 0, 0, claimSlot(current, true));
}

void Seq::refreshNow(PatternSlot* fresh) {
  if (!fresh) return;
  const int32_t index = fresh->index.load(std::memory_order_acquire);
  auto refresh = [&](PatternSlot* s) {
    if (s && s != fresh && !s->numberOnly.load(std::memory_order_relaxed) &&
        s->index.load(std::memory_order_acquire) == index)
      s->record = fresh->record;
  };
  refresh(pendingSlot_);
  for (QueuedCommand& q : queue_) refresh(q.pattern);
  releaseSlot(fresh);
}

void Seq::cancelNow(uint64_t order, PatternSlot* current) {
  // The slot's number is stable here: the caller holds renumberLock_.
  requestedPattern_.store(current->index.load(std::memory_order_acquire), std::memory_order_release);
  releaseSlot(current);
  releaseSlot(pendingSlot_);
  pendingSlot_ = nullptr;
  pendingPattern_ = -1;
  // Changes asked for before the cancel and still queued go too; those
  // asked for after it were fetched from the new library and stay.
  for (QueuedCommand& q : queue_) {
    if (q.order >= order || !q.pattern) continue;
    releaseSlot(q.pattern);
    q.pattern = nullptr;
    q.command.code = kDropped;
  }
}

// ------------------------------------------------------------ render side

namespace {

// Internal transitions sort before every posted code of the same time.
int64_t rank(uint32_t c) { return c >= 0x100 ? -1 : static_cast<int64_t>(c); }

}  // namespace

namespace {

bool runsBefore(uint64_t timeA, uint32_t codeA, uint64_t orderA, uint64_t timeB, uint32_t codeB, uint64_t orderB) {
  if (timeA != timeB) return timeA < timeB;
  if (rank(codeA) != rank(codeB)) return rank(codeA) < rank(codeB);
  return orderA < orderB;
}

}  // namespace

void Seq::takePosted(bool wait) {
  if (wait) {
    commandMutex_.lock();
  } else if (!commandMutex_.try_lock()) {
    return;
  }
  const size_t room = queue_.capacity() - queue_.size();
  const size_t n = std::min(room, posted_.size());
  if (n > 0) {
    queue_.insert(queue_.end(), posted_.begin(), posted_.begin() + static_cast<std::ptrdiff_t>(n));
    posted_.erase(posted_.begin(), posted_.begin() + static_cast<std::ptrdiff_t>(n));
    unsorted_ = true;
  }
  commandMutex_.unlock();
}

bool Seq::tryHoldRenumbering(std::unique_lock<platform::SpinTryLock>& renumbering) {
  return renumberingHeld_ || renumbering.try_lock();
}

void Seq::runPostedCommands() {
  takePosted(true);
  // Not the audio thread: here a running renumbering is waited for rather
  // than leaving a change queued, where it would land in the bounce's first
  // block, or under the number from before the move.
  std::unique_lock<platform::SpinTryLock> renumbering(renumberLock_, std::try_to_lock);
  if (!renumbering.owns_lock()) {
    if (renumberingWaitHook_) renumberingWaitHook_();
    renumbering.lock();
  }
  renumberingHeld_ = true;
  processCommands(nullptr, 0, 1, clock_->now());
  if (!isPlaying()) loadPendingPatternLocked(false, 0);
  publishQueries();
  renumberingHeld_ = false;
}

int32_t Seq::processCommands(AudioIO* io, int32_t offset, int32_t frames, uint64_t dueBy) {
  commandsHeldOff_ = false;
  takePosted(false);
  if (queue_.empty()) return frames;

  if (unsorted_) {
    // Insertion sort: the queue is sorted but for its newest entries, and
    // this neither allocates nor reorders equal keys.
    for (size_t i = 1; i < queue_.size(); ++i) {
      const QueuedCommand c = queue_[i];
      size_t j = i;
      while (j > 0 && runsBefore(c.command.hostTime, c.command.code, c.order, queue_[j - 1].command.hostTime,
                                 queue_[j - 1].command.code, queue_[j - 1].order)) {
        queue_[j] = queue_[j - 1];
        --j;
      }
      queue_[j] = c;
    }
    unsorted_ = false;
  }

  const uint64_t blockTime = io ? io->hostTime() : 0;
  const uint64_t latency = io ? platform::nanosToHostTicks(io->latencyNanosec()) : 0;
  // Commands the render thread posts while these run (its own) join the end
  // of the queue and wait for the next slice.
  const size_t walk = queue_.size();
  size_t done = 0;
  int32_t result = frames;
  while (done < walk) {
    const QueuedCommand c = queue_[done];
    if (c.command.hostTime != 0) {
      // Everything from here on is timed and at least as late.
      if (!io) {
        if (c.command.hostTime > dueBy) break;
      } else {
        const int64_t ahead = static_cast<int64_t>(c.command.hostTime + latency - blockTime);
        const uint64_t nanos = platform::hostTicksToNanos(ahead > 0 ? static_cast<uint64_t>(ahead) : 0);
        const int64_t frame =
            static_cast<int64_t>(static_cast<double>(nanos) * static_cast<double>(sampleRate_) * 1e-9);
        if (frame >= static_cast<int64_t>(offset) + frames) break;  // stays queued
        if (frame > offset) {
          result = static_cast<int32_t>(frame - offset);  // cut the slice here
          break;
        }
      }
    }
    // A command with a slot reads its number and publishes it; a
    // renumbering running now would leave one of them stale, so it waits a
    // slice.
    std::unique_lock<platform::SpinTryLock> renumbering(renumberLock_, std::defer_lock);
    if (c.pattern && !tryHoldRenumbering(renumbering)) {
      // A load later in this slice would overtake it (a cancel that drops
      // the pending change, a newer change).
      commandsHeldOff_ = true;
      break;
    }
    // Its slot is the command's to hand on or release now: a refresh or a
    // cancel that runs later in this walk must not touch it.
    queue_[done++].pattern = nullptr;
    execute(c, io);
  }
  queue_.erase(queue_.begin(), queue_.begin() + static_cast<std::ptrdiff_t>(done));
  return result;
}

void Seq::changePatternCommand(int32_t index, PatternSlot* pattern, bool notify) {
  // The slot's number, not the command's: a move may have renumbered it.
  // Stable here: the caller holds renumberLock_.
  if (pattern) index = pattern->index.load(std::memory_order_acquire);
  requestedPattern_.store(index, std::memory_order_release);
  if (index == pendingIndex()) {
    releaseSlot(pattern);
    return;
  }
  if (notify) listener().patternChanged(index);
  loopOff();
  releaseSlot(pendingSlot_);
  pendingPattern_ = index;
  pendingSlot_ = pattern;
}

void Seq::execute(const QueuedCommand& c, AudioIO* io) {
  const SeqCommand& cmd = c.command;
  if (cmd.code >= 0x100) {
    switch (cmd.code) {
      case kBeginBounce: beginBounceNow(); break;
      case kEndBounce: endBounceNow(); break;
      case kRefreshPattern: refreshNow(c.pattern); break;
      case kCancelPatternChanges: cancelNow(c.order, c.pattern); break;
      default: break;  // kDropped
    }
    return;
  }
  const bool internal = internalClock_.load(std::memory_order_relaxed);
  switch (static_cast<Code>(cmd.code)) {
    case Code::SelectPatternSet:
      patternSetMode_ = true;
      listener().patternSetSelected(static_cast<uint16_t>(cmd.arg1 & 0xFFFF), static_cast<uint16_t>(cmd.arg2 & 0xFFFF));
      break;
    case Code::PatternSetModeOn:
      patternSetMode_ = true;
      break;
    case Code::PatternSetModeOff:
      patternSetMode_ = false;
      break;
    case Code::ProgramChange:
      // Resolved when posted: arg2 holds the pattern the bank select chose.
      if (c.pattern) changePatternCommand(static_cast<int32_t>(cmd.arg2), c.pattern, true);
      break;
    case Code::ChangePatternSilently:
      changePatternCommand(static_cast<int32_t>(cmd.arg1), c.pattern, false);
      break;
    case Code::ChangePattern:
      changePatternCommand(static_cast<int32_t>(cmd.arg1), c.pattern, true);
      break;
    case Code::RecordingOn:
    case Code::RecordingOff:
      listener().recordingStatusChanged(cmd.code == code(Code::RecordingOn));
      break;
    case Code::MidiStart:
      if (bounce_ || linkEnabled_ || isPlaying()) break;
      startPending_ = true;
      break;
    case Code::MidiStop:
      if (bounce_ || linkEnabled_) break;
      if (isPlaying()) stop();
      listener().stopCommandProcessed();
      startPending_ = false;
      break;
    case Code::MidiClock:
      if (bounce_ || linkEnabled_) break;
      clockTick(cmd.hostTime);
      break;
    case Code::ExternalClockLost:
      if (linkEnabled_ || internal) break;
      stop();
      listener().stopCommandProcessed();
      setInternalClock(true);
      break;
    case Code::Start:
      if (internal || isPlaying()) {
        start();
      } else {
        startPending_ = true;
      }
      break;
    case Code::StartFromUi:
      if (!internal && !isPlaying()) {
        startPending_ = true;
      } else {
        start();
      }
      break;
    case Code::Stop:
    case Code::StopFromUi:
      stop();
      listener().stopCommandProcessed();
      break;
    case Code::LoopOn:
      loopOn();
      break;
    case Code::LoopOff:
      if (loop_.load(std::memory_order_relaxed)) loopOff();
      break;
    case Code::LinkEnabledChanged:
      linkEnabled_ = cmd.arg1 != 0;
      linkStartArmed_ = false;
      stop();
      setInternalClock(!linkEnabled_);
      listener().linkEnabledChanged();
      break;
    case Code::LinkStart:
      linkStartAtNextQuantum(cmd.hostTime, io);
      break;
    case Code::LinkStop:
      stop();
      startPending_ = false;
      linkStartArmed_ = false;
      break;
    case Code::LinkTick:
      if (inLinkMode()) clockTick(cmd.hostTime);
      break;
    case Code::LinkCountIn:
      if (inLinkMode()) {
        listener().linkCountIn(static_cast<int32_t>(quantum_ * 24.0), static_cast<int32_t>(cmd.arg1));
      }
      break;
    default:
      break;  // 13, 16 and anything above 24 mean nothing
  }
}
