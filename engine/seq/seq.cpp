#include <cmath>
#include "engine/seq/seq.h"

#include <algorithm>

namespace {

// Stands in while no listener is set, so the render path never tests for one.
class NullSeqListener final : public SeqListener {
 public:
  void stepTriggered(int32_t, int32_t, bool) override {}
  void motionValue(int32_t, ParamId, int32_t) override {}
  void targetTriggered(int32_t, ParamId) override {}
  int32_t loadPattern(int32_t, bool) override { return 1200; }
  void patternTop(int32_t) override {}
  void returnedToBeginning() override {}
  void setTempo(int32_t) override {}
  void tempoChanged() override {}
  void playStateChanged(bool) override {}
  void recordingStatusChanged(bool) override {}
  void patternSetSelected(uint16_t, uint16_t) override {}
  void patternChanged(int32_t) override {}
  void stopCommandProcessed() override {}
  void sequenceDidStart() override {}
  void sequenceDidStop() override {}
  void linkCountIn(int32_t, int32_t) override {}
  void linkSessionTempoChanged(double) override {}
  void linkEnabledChanged() override {}
  void linkConnectedChanged() override {}
};

NullSeqListener& nullListener() {
  static NullSeqListener listener;
  return listener;
}

}  // namespace

Seq::Seq(SeqListener* listener, float sampleRate, SeqServices services)
    : listener_(listener ? listener : &nullListener()),
      hasListener_(listener != nullptr),
      sampleRate_(sampleRate),
      clock_(services.clock ? services.clock : &systemHostClock()),
      patternChangeGrid_(std::move(services.patternChangeGrid)),
      stepClock_(kPpqn, sampleRate),
      position_(&stepClock_) {
  queue_.reserve(kQueueCapacity);
  if (services.makeClockTracker) clockTracker_ = services.makeClockTracker();
  for (int32_t p = 0; p < kNumParts; ++p) triggers_[p].attach(p, &stepClock_, listener_, &accentRow_);
  for (int32_t id = 0; id < kNumParamIds; ++id) motion_[id].attach(id, &stepClock_, listener_, &triggers_[0]);
  resetParams();
  preparePattern(0);
  patternTempo_.store(param(kSeqParamBpm), std::memory_order_relaxed);
  setInternalClock(true);
  if (services.makeLink) {
    link_ = services.makeLink(static_cast<double>(param(kSeqParamBpm)) / 10.0);
    if (link_) {
      link_->setSessionTempoCallback(&Seq::linkSessionTempoCallback, this);
      // Main thread here, so the app-side capture is allowed; after this the
      // render thread keeps the mirror current from its own captures.
      linkSessionTempo_.store(link_->snapshotAppState()->sessionTempo(), std::memory_order_relaxed);
    }
  }
}

Seq::~Seq() {
  if (link_) link_->setSessionTempoCallback(nullptr, nullptr);
  link_.reset();
}

// ------------------------------------------------------------ parameters

int32_t Seq::param(int32_t index) const {
  if (index < 0 || index > 3) return 0;
  return params_[index].load(std::memory_order_relaxed);
}

int32_t Seq::setParam(int32_t index, int32_t value) {
  if (index < 0 || index > 3) return value;
  const int32_t v = std::clamp(value, kSeqParams[index].min, kSeqParams[index].max);
  params_[index].store(v, std::memory_order_relaxed);
  return v;
}

void Seq::resetParams() {
  params_[kSeqParamBpm].store(1200, std::memory_order_relaxed);
  params_[kSeqParamSwing].store(50, std::memory_order_relaxed);
  params_[kSeqParamLastStep].store(16, std::memory_order_relaxed);
  params_[kSeqParamPatternLength].store(4, std::memory_order_relaxed);
  accentRow_.store(~uint64_t{0}, std::memory_order_relaxed);
  for (auto& t : triggers_) t.clearSteps();
  for (auto& m : motion_) m.remove();
}

int32_t Seq::currentTempo() const {
  if (internalClock_.load(std::memory_order_relaxed)) return param(kSeqParamBpm);
  if (link_ && link_->enabled()) {
    return static_cast<int32_t>(std::lround(linkSessionTempo_.load(std::memory_order_relaxed) * 10.0));
  }
  return followedTempo_.load(std::memory_order_relaxed);
}

int32_t Seq::patternLengthInFrames() const {
  StepClock clock(kPpqn, sampleRate_);
  clock.update(currentTempo(), param(kSeqParamSwing), param(kSeqParamPatternLength), param(kSeqParamLastStep));
  return clock.lengthInFrames();
}

bool Seq::isBeatLit() const {
  if (!isPlaying()) return positionStep_.load(std::memory_order_relaxed) % 4 == 0;
  return (currentHalfStep() & 6) == 0;
}

// ------------------------------------------------------------ tracks

void Seq::setTriggerStep(int32_t part, int32_t step, bool on) {
  if (part < 0 || part >= kNumParts) return;
  triggers_[part].setStep(step, on);
}

bool Seq::triggerStep(int32_t part, int32_t step) const {
  if (part < 0 || part >= kNumParts) return false;
  return triggers_[part].stepOn(step);
}

void Seq::shiftTriggerSteps(int32_t part, int32_t offset) {
  if (part < 0 || part >= kNumParts) return;
  triggers_[part].rotate(offset, param(kSeqParamLastStep), param(kSeqParamPatternLength) * 16);
}

int32_t Seq::motionTrackFor(ParamId id) {
  if (id < 0 || id >= kNumParamIds) return -1;
  motion_[id].request();
  return id;
}

void Seq::setMotionStep(int32_t track, int32_t step, bool trigger, int32_t value) {
  if (track < 0 || track >= kNumParamIds) return;
  motion_[track].setStep(step, trigger, value);
}

uint8_t Seq::motionStep(int32_t track, int32_t step) const {
  if (track < 0 || track >= kNumParamIds) return MotionTrack::kNoValue;
  return motion_[track].stepByte(step);
}

void Seq::shiftMotionSteps(int32_t track, int32_t offset) {
  if (track < 0 || track >= kNumParamIds) return;
  motion_[track].rotate(offset, param(kSeqParamLastStep), param(kSeqParamPatternLength) * 16);
}

void Seq::clearMotionTrack(int32_t track) {
  if (track < 0 || track >= kNumParamIds) return;
  motion_[track].clear();
}

void Seq::motionRecordStart(int32_t track) {
  if (track < 0 || track >= kNumParamIds) return;
  motion_[track].setRecording(true);
}

void Seq::motionRecordEnd(int32_t track) {
  if (track < 0 || track >= kNumParamIds) return;
  motion_[track].setRecording(false);
}

ParamId Seq::motionTrackParamId(int32_t track) const {
  if (track < 0 || track >= kNumParamIds) return kNoParam;
  return motion_[track].exists() ? track : kNoParam;
}

void Seq::setAccentStep(int32_t step, bool on) {
  if (step < 0 || step > 63) return;
  const uint64_t bit = uint64_t{1} << step;
  if (on) {
    accentRow_.fetch_or(bit, std::memory_order_relaxed);
  } else {
    accentRow_.fetch_and(~bit, std::memory_order_relaxed);
  }
}

bool Seq::accentStep(int32_t step) const {
  if (step < 0 || step > 63) return false;
  return (accentRow_.load(std::memory_order_relaxed) >> step) & 1;
}

void Seq::shiftAccentSteps(int32_t offset) {
  // A concurrent setAccentStep between the load and the store is lost; the
  // engine serialises its step edits, so only the player reads meanwhile.
  const uint64_t row = accentRow_.load(std::memory_order_relaxed);
  uint8_t values[64];
  for (int32_t i = 0; i < 64; ++i) values[i] = (row >> i) & 1;
  rotatePlayedSteps(values, offset, param(kSeqParamLastStep), param(kSeqParamPatternLength) * 16);
  uint64_t rotated = 0;
  for (int32_t i = 0; i < 64; ++i) rotated |= static_cast<uint64_t>(values[i]) << i;
  accentRow_.store(rotated, std::memory_order_relaxed);
}

// ------------------------------------------------------------ render side

int32_t Seq::changeGrid() const {
  if (!patternChangeGrid_) return 0;
  return std::clamp(patternChangeGrid_(), 0, 7);
}

void Seq::updateStepClock() {
  stepClock_.update(currentTempo(), param(kSeqParamSwing), param(kSeqParamPatternLength), param(kSeqParamLastStep));
}

int32_t Seq::process(AudioIO* io, int32_t offset, int32_t frames) {
  if (frames <= 0) return 0;
  linkWork(io, offset, frames);
  int32_t n = processCommands(io, offset, frames);
  position_.setChangeGrid(changeGrid());
  if (!isPlaying()) {
    loadPendingPattern(false, 0);
    if (n >= 1) {
      // The position keeps running while stopped so the beat lamp moves.
      updateStepClock();
      n = position_.advance(n);
    }
  } else if (n >= 1) {
    updateStepClock();
    if (!position_.internalClock()) {
      position_.applyClockTicks();
      for (auto& m : motion_) if (m.exists()) m.applyClockTicks();
      for (auto& t : triggers_) t.applyClockTicks();
    }
    // A change due now that a renumbering holds off is taken at a later
    // slice, from its change step; were this slice to play, that step would
    // sound from the old pattern here and from the new one there. So the
    // position and the tracks wait at the change point, and a short slice
    // passes with no step started before the change is tried again.
    if (!handlePatternEnd()) {
      n = std::min(n, kHeldChangeSliceFrames);
    } else {
      n = position_.advance(n);
      // Most parameters have no motion track: they are passed over here
      // rather than each called.
      for (auto& m : motion_) if (m.exists()) m.play(offset, n);
      for (auto& t : triggers_) t.play(offset, n);
      if (position_.resync()) {
        position_.clearResync();
        for (auto& m : motion_) if (m.exists()) m.syncTo(position_.step(), position_.posInStep());
        for (auto& t : triggers_) t.syncTo(position_.step(), position_.posInStep());
      }
    }
  }
  if (returnedToTop_) {
    if (!quiet_ && io) listener().returnedToBeginning();
    returnedToTop_ = false;
  }
  publishQueries();
  return n;
}

void Seq::publishQueries() {
  const TriggerTrack& t = triggers_[0];
  int32_t half = t.patternStep() * 2;
  if (t.posInStep() >= static_cast<float>(static_cast<int32_t>(t.stepLength() * 0.5f))) half += 1;
  halfStep_.store(std::clamp(half, 0, 127), std::memory_order_relaxed);
  positionStep_.store(position_.clampedPatternStep(), std::memory_order_relaxed);
}

void Seq::start() {
  if (isPlaying()) {
    const int32_t grid = changeGrid();
    const bool external = !internalClock_.load(std::memory_order_relaxed);
    if (grid != 0 && (patternSetMode_ || external)) {
      restartRequest_ = true;
      return;
    }
    if (grid == 0 && external) return;
    if (!loadPendingPattern(true, 0)) preparePattern(0);
    listener().playStateChanged(true);
    return;
  }
  restartRequest_ = false;
  if (!loadPendingPattern(false, 0)) preparePattern(0);
  listener().playStateChanged(true);
  playing_.store(true, std::memory_order_relaxed);
  listener().sequenceDidStart();
}

void Seq::stop() {
  listener().playStateChanged(false);
  listener().setTempo(patternTempo());
  loopOff();
  playing_.store(false, std::memory_order_relaxed);
  startPending_ = false;
  linkStartArmed_ = false;
  listener().recordingStatusChanged(false);
  listener().sequenceDidStop();
}

bool Seq::loadPendingPattern(bool whilePlaying, int32_t startStep) {
  if (!hasListener_ || pendingIndex() < 0 || commandsHeldOff_) return false;
  // The number is read and published (by the listener) with no renumbering
  // in between; while one runs the change waits for the next slice.
  std::unique_lock<platform::SpinTryLock> renumbering(renumberLock_, std::defer_lock);
  if (!tryHoldRenumbering(renumbering)) return false;
  return loadPendingPatternLocked(whilePlaying, startStep);
}

bool Seq::loadPendingPatternLocked(bool whilePlaying, int32_t startStep) {
  if (!hasListener_ || pendingIndex() < 0) return false;
  PatternSlot* slot = pendingSlot_;
  // The slot's number, not the one stored when the change arrived: a move
  // may have renumbered the slot since.
  const int32_t index = slot ? slot->index.load(std::memory_order_acquire) : pendingIndex();
  pendingPattern_ = -1;
  pendingSlot_ = nullptr;
  recordToLoad_ = slot ? &slot->record : nullptr;
  const int32_t tempo = listener().loadPattern(index, whilePlaying);
  recordToLoad_ = nullptr;
  // In use until here, so that a move renumbers it during the load.
  releaseSlot(slot);
  patternTempo_.store(tempo, std::memory_order_relaxed);
  loopOff();
  preparePattern(startStep);
  return true;
}

void Seq::preparePattern(int32_t startStep) {
  updateStepClock();
  position_.clearClockTicks();
  for (auto& m : motion_) if (m.exists()) m.clearClockTicks();
  for (auto& t : triggers_) t.clearClockTicks();
  position_.prepare(startStep);
  for (auto& m : motion_) if (m.exists()) m.prepare(startStep);
  for (auto& t : triggers_) t.prepare(startStep);
  const int32_t bars = stepClock_.length();
  if (loopBar_ >= bars) loopBar_ = std::max(bars - 1, 0);
  const bool loop = loop_.load(std::memory_order_relaxed);
  if ((loop && loopBar_ == 0) || (!loop && startStep == 0)) listener().patternTop(startStep);
  if (startStep == 0 && !quiet_) returnedToTop_ = true;
}

bool Seq::handlePatternEnd() {
  // A change due here while a renumbering runs keeps the change point for
  // the next slice rather than letting the pattern go round once more.
  // So does one due while a command posted before it waits for a
  // renumbering: that command may change what loads here.
  std::unique_lock<platform::SpinTryLock> renumbering(renumberLock_, std::defer_lock);
  if (position_.changePoint()) {
    if (hasListener_ && (commandsHeldOff_ || (pendingIndex() >= 0 && !tryHoldRenumbering(renumbering)))) return false;
    const int32_t changeStep = position_.changeStep();
    position_.clearChangePoint();
    bool done = false;
    if (changeGrid() != 0) {
      if (loadPendingPatternLocked(true, changeStep)) {
        done = true;
      } else if (restartRequest_) {
        preparePattern(0);
        restartRequest_ = false;
        done = true;
      } else if (changeStep != 0) {
        done = true;
      }
    } else if (loadPendingPatternLocked(true, 0)) {
      done = true;
    }
    if (!done) {
      listener().patternTop(0);
      if (!quiet_) returnedToTop_ = true;
    }
  }
  if (loop_.load(std::memory_order_relaxed) && position_.loopWrapped()) {
    position_.clearLoopWrapped();
    if (loopBar_ == 0) {
      listener().patternTop(0);
      if (!quiet_) returnedToTop_ = true;
    }
  }
  return true;
}

void Seq::loopOn() {
  if (loop_.load(std::memory_order_relaxed)) return;
  const int32_t spb = stepClock_.stepsPerBar();
  const int32_t step = isPlaying() ? position_.step() : 0;
  int32_t bar = spb > 0 ? step / spb : 0;
  bar = std::min(bar, std::max(stepClock_.length() - 1, 0));
  loop_.store(true, std::memory_order_relaxed);
  loopBar_ = bar;
  restartRequest_ = false;
  position_.setLoopBar(bar);
  for (auto& m : motion_) if (m.exists()) m.setLoopBar(bar);
  for (auto& t : triggers_) t.setLoopBar(bar);
}

void Seq::loopOff() {
  loop_.store(false, std::memory_order_relaxed);
  loopBar_ = 0;
  restartRequest_ = false;
  position_.clearLoop();
  for (auto& m : motion_) if (m.exists()) m.clearLoop();
  for (auto& t : triggers_) t.clearLoop();
}

void Seq::setInternalClock(bool on) {
  const bool changed = internalClock_.exchange(on, std::memory_order_relaxed) != on;
  position_.setInternalClock(on);
  for (auto& m : motion_) if (m.exists()) m.setInternalClock(on);
  for (auto& t : triggers_) t.setInternalClock(on);
  if (changed) listener().tempoChanged();
}

void Seq::beginBounceNow() {
  savedInternalClock_ = internalClock_.load(std::memory_order_relaxed);
  bounce_ = true;
  quiet_ = true;
  setInternalClock(true);
  preparePattern(0);
}

void Seq::endBounceNow() {
  bounce_ = false;
  quiet_ = false;
  setInternalClock(savedInternalClock_);
}

void Seq::beginBounce() {
  bouncePosting_.store(true, std::memory_order_relaxed);
  post(0, kBeginBounce);
}

void Seq::endBounce() {
  bouncePosting_.store(false, std::memory_order_relaxed);
  post(0, kEndBounce);
}
