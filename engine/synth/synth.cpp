// Construction, lifetime and the sequencer's callbacks.
#include "engine/synth/synth.h"

#include <algorithm>
#include <cstring>

#include "engine/settings/global_settings.h"

namespace {
Synth* gSynth = nullptr;
}  // namespace

Synth* Synth::getInstance(float sampleRate, SeqServices services) {
  if (!gSynth) gSynth = new Synth(sampleRate, std::move(services));
  return gSynth;
}

Synth* Synth::instance() { return gSynth; }

void Synth::destroyInstance() {
  delete gSynth;
  gSynth = nullptr;
}

Synth::Synth(float sampleRate, SeqServices services)
    : sampleRate_(sampleRate),
      referencePitch_(440.0f),
      // Nothing defines the record before the first pattern load; zero it
      // so that what plays meanwhile is silence, not leftover memory.
      pattern_(PatternRecord::zeroed()),
      randomizer_(std::make_unique<Z31647PatternRandomizer>()) {
  modulationBuffer_ = std::make_unique<int32_t[]>(kBusFrames);
  std::memset(modulationBuffer_.get(), 0, sizeof(int32_t) * kBusFrames);
  for (auto& b : buses_) {
    b = std::make_unique<int16_t[]>(kBusFrames);
    std::memset(b.get(), 0, sizeof(int16_t) * kBusFrames);
  }
  for (size_t i = 0; i < buses_.size(); ++i) busCursors_[i] = buses_[i].get();

  for (size_t i = 0; i < synthParts_.size(); ++i) {
    synthParts_[i] = std::make_unique<SynthPart>(sampleRate);
  }
  for (size_t i = 0; i < pcmParts_.size(); ++i) {
    pcmParts_[i] = std::make_unique<PcmPart>(static_cast<uint32_t>(i * 4), sampleRate);
  }
  seedNoise();
  pcmParts_[0]->setChokePartner(pcmParts_[1].get());
  pcmParts_[1]->setChokePartner(pcmParts_[0].get());

  // The settings object exists before the engine in the application; tools
  // and tests may run without it and get the settings' defaults.
  const GlobalSettings* settings = globalSettings();
  masterDrive_ = std::make_unique<MasterDrive>();
  masterDrive_->setValue(settings ? settings->get(GlobalSettings::kTubeGain) : 0);
  masterFader_ = std::make_unique<MasterFader>();
  masterFader_->setValue(settings ? settings->get(GlobalSettings::kMasterVolume) : 127);

  accentLevels_ = std::make_unique<AccentLevels>();
  crossRingSwitch_ = std::make_unique<CrossRingSwitch>();

  if (!services.patternChangeGrid) {
    services.patternChangeGrid = [] {
      const GlobalSettings* g = globalSettings();
      return g ? g->get(GlobalSettings::kPatternChangeGrid) : 0;
    };
  }
  seq_ = std::make_unique<Seq>(this, sampleRate, std::move(services));
  // The sequencer starts with every accent step set; the empty record has
  // none, and the record is what plays.
  for (int st = 0; st < kNumSteps; ++st) seq_->setAccentStep(st, false);
}

Synth::~Synth() {
  // The sequencer calls back into the parts; it goes first.
  seq_.reset();
}

void Synth::setDataProvider(DataProvider* provider) {
  dataProvider_ = provider;
  if (seq_) seq_->setDataProvider(provider);
}

bool Synth::tempoLocked() const {
  const GlobalSettings* g = globalSettings();
  return g && g->get(GlobalSettings::kTempoLock) == 1;
}

// --- SeqListener ------------------------------------------------------------

void Synth::stepTriggered(int32_t frame, int32_t part, bool accent) {
  pushEvent(static_cast<uint32_t>(frame), EngineEvent::kStepTrigger, static_cast<uint32_t>(part), accent ? 1 : 0);
}

void Synth::motionValue(int32_t frame, ParamId id, int32_t value) {
  if (id == kNoParam) return;
  pushEvent(static_cast<uint32_t>(frame), EngineEvent::kMotionValue, static_cast<uint32_t>(id),
            static_cast<uint32_t>(value));
}

void Synth::targetTriggered(int32_t frame, ParamId id) {
  if (id == kNoParam) return;
  pushEvent(static_cast<uint32_t>(frame), EngineEvent::kMotionRelease, static_cast<uint32_t>(id), 0);
}

int32_t Synth::loadPattern(int32_t index, bool whilePlaying) {
  const int32_t oldTempo = recordTempo_.load(std::memory_order_relaxed);
  if (index == currentPatternIndex()) return oldTempo;
  // The sequencer fetched the record on the thread that asked for the
  // change; the render thread only copies it. Without one there is nothing
  // to load that would not mean reading a file here.
  const PatternRecord* fetched = seq_ ? seq_->recordToLoad() : nullptr;
  if (!fetched) {
    skippedLoads_.fetch_add(1, std::memory_order_relaxed);
    return oldTempo;
  }
  for (auto& p : synthParts_) p->freezeParameters();
  for (auto& p : pcmParts_) p->freezeParameters();
  // Loaded into the hand-off's back slot, never into the main thread's
  // record, which the interface may be reading or editing right now.
  PatternRecord& r = staged_[stagedBack_];
  std::memcpy(static_cast<void*>(&r), fetched, sizeof r);
  const int32_t newTempo = r.sequencerParams.tempo;
  if (whilePlaying && tempoLocked()) r.sequencerParams.tempo = static_cast<int16_t>(oldTempo);
  // No renumbering can run until this returns (Seq holds it off).
  finishLoad(r, true, index);
  return newTempo;
}

void Synth::libraryStoredPattern(int32_t index) {
  if (seq_) seq_->refreshPattern(index);
}

void Synth::libraryMovedPattern(int32_t from, int32_t to) {
  renumberPatterns([from, to](int32_t p) { return movedPatternNumber(p, from, to); });
}

void Synth::libraryRenumberedPatterns(const std::vector<int32_t>& numberOf) {
  renumberPatterns([&numberOf](int32_t p) { return renumberedPattern(p, numberOf); });
}

void Synth::renumberPatterns(const std::function<int32_t(int32_t)>& numberOf) {
  // The playing record's number together with the waiting changes', under
  // the lock the render side's loads try.
  auto current = [this, &numberOf] {
    uint16_t c = currentPatternIndex_.load(std::memory_order_acquire);
    while (c != kNoPattern &&
           !currentPatternIndex_.compare_exchange_weak(c, static_cast<uint16_t>(numberOf(c)), std::memory_order_acq_rel)) {
    }
  };
  if (seq_) seq_->renumberPatterns(numberOf, current);
  else current();
}

void Synth::libraryReplacedPatterns() {
  if (seq_) seq_->cancelPatternChanges(currentPatternIndex());
}

void Synth::publishStagedRecord() {
  // A tempo written back before this load belongs to the record before.
  renderTempo_.store(-1);
  stagedBack_ = stagedMiddle_.exchange(static_cast<uint8_t>(stagedBack_ | kFresh), std::memory_order_acq_rel) &
                static_cast<uint8_t>(~kFresh);
}

void Synth::adoptRenderChanges() const {
  // The record first, then a tempo written back after it (a load clears
  // that tempo before it publishes, so a later one is never overwritten).
  if (stagedMiddle_.load(std::memory_order_acquire) & kFresh) {
    stagedFront_ = stagedMiddle_.exchange(stagedFront_, std::memory_order_acq_rel) & static_cast<uint8_t>(~kFresh);
    pattern_ = staged_[stagedFront_];
  }
  if (renderTempo_.load(std::memory_order_relaxed) >= 0) {
    const int32_t t = renderTempo_.exchange(-1);
    if (t >= 0) pattern_.sequencerParams.tempo = static_cast<int16_t>(t);
  }
  adoptMidiParameterChanges();
}

void Synth::patternTop(int32_t /*startStep*/) { multiEffector().patternTop(); }

void Synth::returnedToBeginning() {
  if (listener_) listener_->seqReturnedToTheBeginning();
}

void Synth::applyTempo(PatternRecord& record, int32_t tempoTenths) {
  const int32_t t = std::clamp<int32_t>(tempoTenths, 200, 6000);
  if (seq_) {
    seq_->setParam(0, t);
    seq_->setPatternTempo(t);
  }
  record.sequencerParams.tempo = static_cast<int16_t>(t);
  recordTempo_.store(t, std::memory_order_relaxed);
  multiEffector().setEffectTempo(static_cast<uint32_t>(seq_ ? seq_->currentTempo() : t));
}

void Synth::setTempo(int32_t tempoTenths) {
  // The sequencer's call, on the render side (a stop puts the pattern's
  // tempo back): the record's copy goes through the hand-off.
  const int32_t t = std::clamp<int32_t>(tempoTenths, 200, 6000);
  if (seq_) {
    seq_->setParam(0, t);
    seq_->setPatternTempo(t);
  }
  recordTempo_.store(t, std::memory_order_relaxed);
  renderTempo_.store(t);
  multiEffector().setEffectTempo(static_cast<uint32_t>(seq_ ? seq_->currentTempo() : t));
}

void Synth::setTempoFromUi(int32_t tempoTenths) { applyTempo(record(), tempoTenths); }

void Synth::tempoChanged() {
  if (seq_) multiEffector().setEffectTempo(static_cast<uint32_t>(seq_->currentTempo()));
}

void Synth::playStateChanged(bool playing) {
  for (auto& p : synthParts_) p->setPlaying(playing);
  for (auto& p : pcmParts_) p->setPlaying(playing);
  multiEffector().selectParameterSet(playing);
}

void Synth::recordingStatusChanged(bool on) {
  recording_.store(on, std::memory_order_relaxed);
  if (listener_) listener_->recordingStatusChanged();
}

void Synth::patternSetSelected(uint16_t high, uint16_t low) {
  if (listener_) listener_->notifyPatternSetChangedFromMidi(high, low);
}

void Synth::patternChanged(int32_t index) {
  if (listener_) listener_->notifyPatternChangedFromMidi(index);
}

void Synth::stopCommandProcessed() {}

void Synth::sequenceDidStart() {
  if (listener_) listener_->sequenceDidStart();
}

void Synth::sequenceDidStop() {
  if (listener_) listener_->sequenceDidStop();
}

void Synth::linkCountIn(int32_t ticksPerBar, int32_t tickIndex) {
  if (listener_) listener_->precountAbletonLinkSync(ticksPerBar, tickIndex);
}

void Synth::linkSessionTempoChanged(double sessionTempo) {
  if (listener_) listener_->abletonLinkSyncTempoChanged(sessionTempo);
}

void Synth::linkEnabledChanged() {
  if (listener_) listener_->abletonLinkSyncEnabledDidChange();
}

void Synth::linkConnectedChanged() {
  if (listener_) listener_->abletonLinkSyncConnectedDidChange();
}

int32_t Synth::tempo() {
  if (seq_ && !seq_->isInternalClock()) return seq_->currentTempo();
  return recordTempo_.load(std::memory_order_relaxed);
}
