// The engine's control operations: every edit writes the record and the
// sound objects or the sequencer together.
#include <algorithm>
#include <cstring>

#include "engine/settings/global_settings.h"
#include "engine/synth/synth.h"
#include "platform/foundation/host_time.h"

namespace {

bool validPart(int32_t part) { return part >= 0 && part < kNumParts; }
bool validStep(int32_t step) { return step >= 0 && step < kNumSteps; }
bool validParam(ParamId id) { return id >= 0 && id < kNumParamIds; }
bool validBar(int32_t bar) { return bar >= 0 && bar < kNumSteps / kStepsPerBar; }

// ParamId of the effect on/off switch of an effect set; only set 0 exists.
constexpr ParamId kEffectSwitchParam = 135;

}  // namespace

// --- parameters -------------------------------------------------------------

int32_t Synth::setPartParameter(int32_t part, int32_t index, int32_t value) {
  if (!validPart(part) || index < 0 || index >= kNumPartParams) return 0;
  const int32_t stored = part < 4 ? synthParts_[static_cast<size_t>(part)]->setParameter(static_cast<uint32_t>(index), value)
                                  : pcmParts_[static_cast<size_t>(part - 4)]->setParameter(static_cast<uint32_t>(index), value);
  record().synthParams[part][index] = stored;
  return stored;
}

int32_t Synth::partParameter(int32_t part, int32_t index) const {
  if (!validPart(part) || index < 0 || index >= kNumPartParams) return 0;
  return part < 4 ? synthParts_[static_cast<size_t>(part)]->parameter(index)
                  : pcmParts_[static_cast<size_t>(part - 4)]->parameter(index);
}

int32_t Synth::setEffectParameter(int32_t set, int32_t index, int32_t value) {
  if (set != 0) return 0;
  const int32_t stored = multiEffector().setEffectParameter(index, value);
  fxParams& fx = record().effectParams[0];
  switch (index) {
    case 0: fx.type = stored; break;
    case 1: fx.edit1 = stored; break;
    case 2: fx.edit2 = stored; break;
    case 3: fx.trigger = stored; break;
    default: break;
  }
  return stored;
}

int32_t Synth::setAccentParameter(int32_t index, int32_t value) {
  const int32_t stored = accentLevels_->set(index, value);
  if (index == 0) record().sequencerParams.accentLevel = static_cast<int16_t>(stored);
  else if (index == 1) record().sequencerParams.accentMotionType = static_cast<int16_t>(stored);
  return stored;
}

int32_t Synth::setCrossRingMod(int32_t mode) {
  const int32_t stored = crossRingSwitch_->set(0, mode);
  record().sequencerParams.crossRingMod = static_cast<int16_t>(stored);
  return stored;
}

int32_t Synth::setMasterParameter(int32_t which, int32_t value) {
  // Clamped, not masked: 128 must not wrap round to silence.
  const int32_t v = std::clamp(value, 0, 127);
  GlobalSettings* g = globalSettings();
  if (which == 0) {
    if (g) g->set(GlobalSettings::kMasterVolume, v);
    if (masterFader_->value() != v) masterFader_->setValue(v);
  } else if (which == 1) {
    if (g) g->set(GlobalSettings::kTubeGain, v);
    masterDrive_->setValue(v);
  } else {
    return 0;
  }
  return masterParameter(which);
}

int32_t Synth::masterParameter(int32_t which) const {
  const GlobalSettings* g = globalSettings();
  if (which == 0) return g ? g->get(GlobalSettings::kMasterVolume) : masterFader_->value();
  if (which == 1) return g ? g->get(GlobalSettings::kTubeGain) : masterDrive_->value();
  return 0;
}

int32_t Synth::setSwing(int32_t value) {
  const int32_t v = seq_ ? seq_->setParam(1, value) : std::clamp(value, 50, 75);
  record().sequencerParams.swing = static_cast<int16_t>(v);
  return v;
}

int32_t Synth::setPatternLength(int32_t value) {
  const int32_t v = seq_ ? seq_->setParam(3, value) : std::clamp(value, 1, 4);
  record().sequencerParams.length = static_cast<int16_t>(v);
  return v;
}

int32_t Synth::setLastStep(int32_t value) {
  const int32_t v = seq_ ? seq_->setParam(2, value) : std::clamp(value, 1, 16);
  record().sequencerParams.lastStep = static_cast<int16_t>(v);
  return v;
}

void Synth::applyPartParameters(const synthParams* rows) {
  if (!rows) return;
  static constexpr int kOrder[] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 10, 11, 12, 9};
  for (int part = 0; part < kNumParts; ++part) {
    for (int index : kOrder) {
      if (index == kMute && soloMode_) continue;
      const int32_t v = rows[part][index];
      if (part < 4) synthParts_[static_cast<size_t>(part)]->setParameter(static_cast<uint32_t>(index), v);
      else pcmParts_[static_cast<size_t>(part - 4)]->setParameter(static_cast<uint32_t>(index), v);
    }
  }
}

// --- mute and solo ------------------------------------------------------------

int32_t Synth::setPartMute(int32_t part, int32_t on) {
  const int32_t p = std::clamp(part, 0, 7);
  if (!soloMode_) {
    if (p < 4) synthParts_[static_cast<size_t>(p)]->setParameter(kMute, on);
    else pcmParts_[static_cast<size_t>(p - 4)]->setParameter(kMute, on);
  }
  record().synthParams[p].mute = on;
  return on;
}

void Synth::muteAllParts() {
  for (auto& s : synthParts_) s->setParameter(kMute, 1);
  for (auto& s : pcmParts_) s->setParameter(kMute, 1);
}

void Synth::setSoloMode(bool on) {
  soloMode_ = on ? 1 : 0;
  if (on) {
    muteAllParts();
  } else {
    for (int p = 0; p < kNumParts; ++p) {
      const int32_t m = record().synthParams[p].mute;
      if (p < 4) synthParts_[static_cast<size_t>(p)]->setParameter(kMute, m);
      else pcmParts_[static_cast<size_t>(p - 4)]->setParameter(kMute, m);
    }
  }
}

void Synth::setPartSolo(int32_t part, bool on, bool muteAllFirst) {
  if (!soloMode_) return;
  if (muteAllFirst) muteAllParts();
  for (auto& f : soloFlags_) f.store(0, std::memory_order_relaxed);
  const int32_t p = std::clamp(part, 0, 7);
  if (p < 4) synthParts_[static_cast<size_t>(p)]->setParameter(kMute, on ? 0 : 1);
  else pcmParts_[static_cast<size_t>(p - 4)]->setParameter(kMute, on ? 0 : 1);
  soloFlags_[static_cast<size_t>(p)].store(on ? 1 : 0, std::memory_order_relaxed);
}

bool Synth::isPartSolo(int32_t part) const {
  return soloMode_ && validPart(part) && soloFlags_[static_cast<size_t>(part)].load(std::memory_order_relaxed);
}

// --- patterns -------------------------------------------------------------------

void Synth::finishLoad(PatternRecord& r, bool publishFromRender, int32_t index) {
  seq_->resetParams();
  applyPartParameters(r.synthParams);
  applyPattern(r);
  // The voices belong to the render side: a load there resets them at
  // once, a load on the main thread asks the next render block to.
  if (publishFromRender) resetVoices();
  else askVoiceWork(kResetVoices);
  if (publishFromRender) publishStagedRecord();
  if (index >= 0) currentPatternIndex_.store(static_cast<uint16_t>(index), std::memory_order_release);
  if (listener_) listener_->patternChanged();
}

void Synth::applyPattern(PatternRecord& r) {
  seqParams& s = r.sequencerParams;
  seq_->setParam(0, s.tempo);
  seq_->setParam(1, s.swing);
  seq_->setParam(3, s.length);
  seq_->setParam(2, s.lastStep);
  Z5518MultiEffector& fx = multiEffector();
  fx.setEffectParameter(0, r.effectParams[0].type);
  fx.setEffectParameter(3, r.effectParams[0].trigger);
  fx.setEffectParameter(1, r.effectParams[0].edit1);
  fx.setEffectParameter(2, r.effectParams[0].edit2);
  applyTempo(r, s.tempo);
  accentLevels_->set(0, s.accentLevel);
  accentLevels_->set(1, s.accentMotionType);
  crossRingSwitch_->set(0, s.crossRingMod);
  for (int p = 0; p < kNumParts; ++p)
    for (int st = 0; st < kNumSteps; ++st) seq_->setTriggerStep(p, st, s.trigger[p][st] != 0);
  for (int st = 0; st < kNumSteps; ++st) seq_->setAccentStep(st, s.accent[st] != 0);
  for (ParamId id = 0; id < kNumParamIds; ++id) {
    motionParams& slot = r.motionParams[id];
    if (!slot.enabled) {
      // A file may carry any track number in a slot that plays nothing;
      // left there, a clear or a motion recording of this parameter would
      // act on another parameter's track.
      slot.motionId = kNoParam;
      continue;
    }
    const int32_t track = seq_->motionTrackFor(id);
    slot.motionId = track;
    if (track < 0) continue;
    for (int st = 0; st < kNumSteps; ++st) seq_->setMotionStep(track, st, slot.trigger[st] != 0, slot.value[st]);
  }
}

void Synth::reloadPattern() {
  if (!dataProvider_) return;
  const int32_t index = currentPatternIndex();
  freezeForLoad();
  const int32_t oldTempo = record().sequencerParams.tempo;
  record() = dataProvider_->patternAt(index);
  if (tempoLocked()) applyTempo(record(), oldTempo);
  finishLoad(record());
}

void Synth::initializePattern() {
  if (!dataProvider_) return;
  freezeForLoad();
  const int32_t oldTempo = record().sequencerParams.tempo;
  dataProvider_->initPattern(&record());
  if (tempoLocked()) applyTempo(record(), oldTempo);
  finishLoad(record());
}

void Synth::setPatternRecord(const PatternRecord* source) {
  if (!source) return;
  record() = *source;
  // The sequencer starts from nothing, as at a load: otherwise a motion
  // track of the previous record that this one does not have would go on
  // playing, and the record would no longer be what plays.
  seq_->resetParams();
  applyPartParameters(record().synthParams);
  applyPattern(record());
}

void Synth::patternTagStored() {
  if (!dataProvider_) return;
  const PatternRecord stored = dataProvider_->patternAt(currentPatternIndex());
  record().tagParams = stored.tagParams;
  if (listener_) listener_->patternTagInfoDidUpdate();
}

bool Synth::restoreEditBuffer() {
  if (!dataProvider_ || !dataProvider_->editBufferExists()) return false;
  int32_t index = 0;
  dataProvider_->loadEditBuffer(&record(), &index);
  currentPatternIndex_.store(static_cast<uint16_t>(std::clamp(index, 0, 0xFFFF)), std::memory_order_relaxed);
  finishLoad(record());
  dataProvider_->removeEditBuffer();
  return true;
}

void Synth::storeEditBuffer() {
  if (dataProvider_) dataProvider_->storeEditBuffer(record(), currentPatternIndex());
}

int32_t Synth::changePatternSilently(int32_t index) { return seq_ ? seq_->changePatternSilently(index) : 0; }

int32_t Synth::pendingPattern() const { return seq_ ? seq_->pendingPattern() : 0; }

bool Synth::changePattern(int32_t index) { return seq_ && seq_->changePattern(platform::hostTime(), index); }

void Synth::resetVoices() {
  for (auto& p : synthParts_) p->reset();
  for (auto& p : pcmParts_) p->reset();
  accentLevels_->reset();
  multiEffector().resetMotionValues();
}

void Synth::seedNoise() {
  for (size_t i = 0; i < synthParts_.size(); ++i) synthParts_[i]->seedNoise(static_cast<uint32_t>(i));
  for (size_t i = 0; i < pcmParts_.size(); ++i) pcmParts_[i]->seedNoise(static_cast<uint32_t>(i + synthParts_.size()));
}

void Synth::resetSound() { askVoiceWork(kSilenceVoices); }

void Synth::freezeForLoad() {
  // The next block freezes every voice; one rendering now stops following
  // at its next pick-up, before it can read the values written below.
  for (auto& p : synthParts_) p->beginLoad();
  for (auto& p : pcmParts_) p->beginLoad();
  askVoiceWork(kFreezeVoices);
}

void Synth::askVoiceWork(uint32_t work) { voiceWork_.fetch_or(work, std::memory_order_release); }

void Synth::doVoiceWork() {
  if (voiceWork_.load(std::memory_order_relaxed) == 0) return;
  const uint32_t work = voiceWork_.exchange(0, std::memory_order_acquire);
  if (work & kFreezeVoices) {
    for (auto& p : synthParts_) p->freezeParameters();
    for (auto& p : pcmParts_) p->freezeParameters();
  }
  if (work & kResetVoices) resetVoices();
  if (work & kSilenceVoices) {
    for (auto& p : synthParts_) p->resetVoice();
    for (auto& p : pcmParts_) p->resetVoice();
    multiEffector().resetEffects();
  }
}

// --- steps and accent -------------------------------------------------------------

void Synth::setStep(int32_t part, int32_t step, bool on) {
  if (!validPart(part) || !validStep(step)) return;
  seq_->setTriggerStep(part, step, on);
  record().sequencerParams.trigger[part][step] = on ? 1 : 0;
}

bool Synth::step(int32_t part, int32_t step) const {
  return validPart(part) && validStep(step) && record().sequencerParams.trigger[part][step] != 0;
}

void Synth::clearPartSteps(int32_t part) {
  if (!validPart(part)) return;
  for (int s = 0; s < kNumSteps; ++s) setStep(part, s, false);
}

bool Synth::isPartEmpty(int32_t part) const {
  if (!validPart(part)) return true;
  for (int s = 0; s < kNumSteps; ++s)
    if (record().sequencerParams.trigger[part][s]) return false;
  return true;
}

void Synth::copyBar(int32_t sourceBar, int32_t destinationBar) {
  if (!validBar(sourceBar) || !validBar(destinationBar)) return;
  for (int i = 0; i < kStepsPerBar; ++i) {
    const int from = sourceBar * kStepsPerBar + i;
    const int to = destinationBar * kStepsPerBar + i;
    for (int p = 0; p < kNumParts; ++p) setStep(p, to, record().sequencerParams.trigger[p][from] != 0);
    setAccentStep(to, record().sequencerParams.accent[from] != 0);
  }
}

void Synth::setAccentStep(int32_t step, bool on) {
  if (!validStep(step)) return;
  seq_->setAccentStep(step, on);
  record().sequencerParams.accent[step] = on ? 1 : 0;
}

bool Synth::accentStep(int32_t step) const { return validStep(step) && record().sequencerParams.accent[step] != 0; }

void Synth::fillAccent() {
  std::lock_guard<std::mutex> lock(patternEditMutex_);
  for (int s = 0; s < kNumSteps; ++s) setAccentStep(s, true);
  for (int p = 0; p < kNumParts; ++p) setPartParameter(p, kAccent, 1);
}

bool Synth::isAccentFull() const {
  for (int p = 0; p < kNumParts; ++p)
    if (!record().synthParams[p].accentStatus) return false;
  for (int s = 0; s < kNumSteps; ++s)
    if (!record().sequencerParams.accent[s]) return false;
  return true;
}

template <typename T>
void Synth::rotateActiveSteps(T* row, int32_t offset) const {
  const int32_t length = std::clamp<int32_t>(seq_->param(3), 1, 4);
  const int32_t last = std::clamp<int32_t>(seq_->param(2), 1, 16);
  int32_t active[kNumSteps];
  int32_t count = 0;
  for (int32_t s = 0; s < length * kStepsPerBar; ++s)
    if (s % kStepsPerBar < last) active[count++] = s;
  if (count == 0) return;
  int32_t k = offset % count;
  if (k < 0) k += count;
  T copy[kNumSteps];
  for (int32_t i = 0; i < count; ++i) copy[i] = row[active[i]];
  for (int32_t i = 0; i < count; ++i) row[active[i]] = copy[(i + k) % count];
}

void Synth::shiftMotionSlot(ParamId id, int32_t offset) {
  motionParams& slot = record().motionParams[id];
  if (seq_->motionTrackParamId(id) != id) return;
  seq_->shiftMotionSteps(id, offset);
  rotateActiveSteps(slot.trigger, offset);
  rotateActiveSteps(slot.value, offset);
}

void Synth::shiftPartSteps(int32_t part, int32_t offset) {
  if (!validPart(part)) return;
  std::lock_guard<std::mutex> lock(patternEditMutex_);
  seq_->shiftTriggerSteps(part, offset);
  rotateActiveSteps(record().sequencerParams.trigger[part], offset);
  for (ParamId id = part * 16; id < part * 16 + 16; ++id) shiftMotionSlot(id, offset);
}

void Synth::shiftAccentSteps(int32_t offset) {
  std::lock_guard<std::mutex> lock(patternEditMutex_);
  seq_->shiftAccentSteps(offset);
  rotateActiveSteps(record().sequencerParams.accent, offset);
  shiftMotionSlot(kParamAccentLevel, offset);
}

void Synth::shiftEffectMotion(int32_t set, int32_t offset) {
  if (set != 0) return;
  std::lock_guard<std::mutex> lock(patternEditMutex_);
  shiftMotionSlot(kEffectSwitchParam, offset);
}

void Synth::startStepJump(int32_t step, bool on) {
  if (seq_) seq_->startStepJump(step, on);
}

void Synth::endStepJump() {
  if (seq_) seq_->endStepJump();
}

// --- motion ---------------------------------------------------------------------

void Synth::setMotionStep(ParamId id, int32_t step, int32_t value, int32_t trigger) {
  if (!validParam(id) || !validStep(step)) return;
  const int32_t track = seq_->motionTrackFor(id);
  if (track < 0) return;
  seq_->setMotionStep(track, step, trigger != 0, value);
  motionParams& slot = record().motionParams[id];
  slot.enabled = 1;
  slot.motionId = track;
  slot.trigger[step] = trigger != 0 ? 1 : 0;
  slot.value[step] = static_cast<int16_t>(value);
}

bool Synth::motionStep(ParamId id, int32_t step, bool* trigger, int32_t* value, bool* enabled) const {
  if (!validParam(id) || !validStep(step)) return false;
  const motionParams& slot = record().motionParams[id];
  if (trigger) *trigger = slot.trigger[step] != 0;
  if (value) *value = slot.value[step];
  if (enabled) *enabled = slot.enabled != 0;
  return true;
}

void Synth::valueEditStarted(ParamId id) {
  if (validParam(id) && record().motionParams[id].motionId >= 0) seq_->motionRecordStart(record().motionParams[id].motionId);
}

void Synth::valueEditFinished(ParamId id) {
  if (validParam(id) && record().motionParams[id].motionId >= 0) seq_->motionRecordEnd(record().motionParams[id].motionId);
}

void Synth::clearMotion(ParamId id) {
  if (!validParam(id)) return;
  std::lock_guard<std::mutex> lock(patternEditMutex_);
  motionParams& slot = record().motionParams[id];
  if (slot.motionId < 0) return;
  const int32_t track = slot.motionId;
  slot.enabled = 0;
  slot.motionId = kNoParam;
  std::memset(slot.value, 0, sizeof slot.value);
  std::memset(slot.trigger, 0, sizeof slot.trigger);
  seq_->clearMotionTrack(track);
}

void Synth::copyMotionBar(int32_t sourceBar, int32_t destinationBar) {
  if (!validBar(sourceBar) || !validBar(destinationBar)) return;
  for (ParamId id = 0; id < kNumParamIds; ++id) {
    std::lock_guard<std::mutex> lock(patternEditMutex_);
    motionParams& slot = record().motionParams[id];
    for (int i = 0; i < kStepsPerBar; ++i) {
      const int from = sourceBar * kStepsPerBar + i;
      const int to = destinationBar * kStepsPerBar + i;
      slot.trigger[to] = slot.trigger[from];
      slot.value[to] = slot.value[from];
    }
    if (!slot.enabled) continue;
    const int32_t track = seq_->motionTrackFor(id);
    if (track < 0) continue;
    for (int i = 0; i < kStepsPerBar; ++i) {
      const int to = destinationBar * kStepsPerBar + i;
      seq_->setMotionStep(track, to, slot.trigger[to] != 0, slot.value[to]);
    }
    slot.enabled = 1;
    slot.motionId = track;
  }
}

bool Synth::hasMotion(ParamId id) const { return validParam(id) && record().motionParams[id].enabled != 0; }

bool Synth::partMotionType(int32_t part) const { return validPart(part) && record().synthParams[part].motionType != 0; }

void Synth::fillEffectSwitchMotion(int32_t set) {
  if (set != 0) return;
  std::lock_guard<std::mutex> lock(patternEditMutex_);
  const int32_t track = seq_->motionTrackFor(kEffectSwitchParam);
  if (track < 0) return;
  motionParams& slot = record().motionParams[kEffectSwitchParam];
  for (int s = 0; s < kNumSteps; ++s) {
    seq_->setMotionStep(track, s, true, 1);
    slot.trigger[s] = 1;
    slot.value[s] = 1;
  }
  slot.enabled = 1;
  slot.motionId = track;
  for (int p = 0; p < kNumParts; ++p) setPartParameter(p, kFxSend, 1);
}

bool Synth::isEffectSwitchMotionFull(int32_t set) {
  if (set != 0) return false;
  for (int p = 0; p < kNumParts; ++p)
    if (!record().synthParams[p].fxSend) return false;
  // A query makes no track: a missing one holds no "on" steps anyway.
  const int32_t track = kEffectSwitchParam;
  if (seq_->motionTrackParamId(track) != kEffectSwitchParam) return false;
  for (int s = 0; s < kNumSteps; ++s) {
    // Full means every step switches the effect on: a step byte without a
    // value (no trigger) or with the value 0 (off) does not count.
    const uint8_t b = seq_->motionStep(track, s);
    if ((b & MotionTrack::kNoValue) != 0 || b == 0) return false;
  }
  return true;
}

// --- randomizer hand-off ----------------------------------------------------------

void Synth::randomizePartSteps(int32_t part, seqParams* params) {
  if (!validPart(part) || !params) return;
  randomizer_->randomizeSteps(part, params);
  for (int s = 0; s < kNumSteps; ++s) seq_->setTriggerStep(part, s, params->trigger[part][s] != 0);
}

void Synth::randomizePartSound(int32_t part, PatternRecord* record) {
  if (!record || !validPart(part)) return;
  synthParams& row = record->synthParams[part];
  randomizer_->randomizeSynthParameters(&row[0]);
  for (int i = 0; i <= kLowBoost; ++i) setPartParameter(part, i, row[i]);
}

void Synth::setRandomizeAmount(int32_t id, int32_t value) { randomizer_->setParameter(id, &value); }

// --- live play and transport ----------------------------------------------------------

void Synth::triggerPartLive(int32_t part) {
  if (!validPart(part)) return;
  pushMidiEvent(platform::hostTime(), EngineEventQueueEntry::kLiveTrigger, static_cast<uint32_t>(part), 1);
}

void Synth::startSequencer(uint64_t hostTime) {
  if (seq_) seq_->play(hostTime);
}

void Synth::stopSequencer(uint64_t hostTime) {
  if (seq_) seq_->stopFromUi(hostTime);
}

void Synth::setLoop(bool on) {
  if (seq_) seq_->setLoop(platform::hostTime(), on);
}

void Synth::setPatternSetMode(bool on) {
  if (seq_) seq_->setPatternSetMode(on);
}

int32_t Synth::currentStep(bool fine) const {
  if (!seq_) return 0;
  const int32_t half = seq_->currentHalfStep();
  return fine ? half : half / 2;
}

// --- Link ------------------------------------------------------------------------------

void Synth::suspendLink() {
  if (seq_) seq_->suspendLink();
}

void Synth::resumeLink() {
  if (seq_) seq_->resumeLink();
}

void Synth::linkStart(uint64_t hostTime) {
  if (seq_) seq_->linkStart(hostTime);
}

void Synth::linkStop(uint64_t hostTime) {
  if (seq_) seq_->linkStop(hostTime);
}

void Synth::setLinkTempo(double bpm) {
  if (seq_) seq_->setTempoLink(platform::hostTime(), bpm);
}

double Synth::linkTempo() { return seq_ ? seq_->linkTempo() : 120.0; }
