#include "engine/synth/synth.h"

#include <algorithm>
#include <cstring>

#include "engine/settings/global_settings.h"

namespace {
Synth* gSynth = nullptr;
}  // namespace

Synth* Synth::getInstance(float sampleRate) {
  if (!gSynth) gSynth = new Synth(sampleRate);
  return gSynth;
}

Synth* Synth::instance() { return gSynth; }

void Synth::destroyInstance() {
  delete gSynth;
  gSynth = nullptr;
}

Synth::Synth(float sampleRate)
    : sampleRate_(sampleRate),
      referencePitch_(440.0f),
      // Nothing defines the record before the first pattern load; zero it
      // so that what plays meanwhile is silence, not leftover memory.
      pattern_(PatternRecord::zeroed()) {
  modulationBuffer_ = std::make_unique<int32_t[]>(kBusFrames);
  for (auto& b : buses_) b = std::make_unique<int16_t[]>(kBusFrames);
  for (size_t i = 0; i < buses_.size(); ++i) busCursors_[i] = buses_[i].get();
  // The settings object exists before the engine in the application; tools
  // and tests may run without it and get the settings' defaults.
  const GlobalSettings* settings = globalSettings();
  masterDrive_ = std::make_unique<MasterDrive>();
  masterDrive_->setValue(settings ? settings->get(GlobalSettings::kTubeGain) : 0);
  masterFader_ = std::make_unique<MasterFader>();
  masterFader_->setValue(settings ? settings->get(GlobalSettings::kMasterVolume) : 127);
  accentLevels_ = std::make_unique<AccentLevels>();
  crossRingSwitch_ = std::make_unique<CrossRingSwitch>();
}

Synth::~Synth() = default;

void Synth::render(AudioIO* /*io*/, int16_t** channels, int32_t frames) {
  const int32_t n = std::clamp<int32_t>(frames, 0, kBusFrames);
  if (!audioEnableOutput_.load()) {
    std::memset(channels[0], 0, sizeof(int16_t) * static_cast<size_t>(frames));
    std::memset(channels[1], 0, sizeof(int16_t) * static_cast<size_t>(frames));
  } else {
    for (auto& b : buses_) std::memset(b.get(), 0, sizeof(int16_t) * static_cast<size_t>(n));
    int16_t* left = channels[0];
    int16_t* right = channels[1];
    std::memcpy(left, buses_[0].get(), sizeof(int16_t) * static_cast<size_t>(n));
    std::memcpy(right, buses_[1].get(), sizeof(int16_t) * static_cast<size_t>(n));
    if (n == 0) {
      masterFader_->process(left, right, 0);
    } else {
      for (int32_t i = 0; i < n; ++i) {
        left[i] = saturate16(left[i] + buses_[2][static_cast<size_t>(i)]);
        right[i] = saturate16(right[i] + buses_[3][static_cast<size_t>(i)]);
      }
      masterDrive_->process(left, right, n);
      masterFader_->process(left, right, n);
      softClip(left, n);
      softClip(right, n);
    }
  }
  audioEnableOutput_.store(audioEnableRequest_.load());
}

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

int32_t Synth::loadPattern(int32_t /*index*/, bool /*whilePlaying*/) { return pattern_.sequencerParams.tempo; }

void Synth::patternTop(int32_t /*startStep*/) {}

void Synth::returnedToBeginning() {
  if (listener_) listener_->seqReturnedToTheBeginning();
}

void Synth::setTempo(int32_t tempoTenths) {
  pattern_.sequencerParams.tempo = static_cast<int16_t>(std::clamp<int32_t>(tempoTenths, 200, 6000));
}

void Synth::tempoChanged() {}

void Synth::playStateChanged(bool /*playing*/) {}

void Synth::recordingStatusChanged(bool /*on*/) {
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

int32_t Synth::tempo() { return pattern_.sequencerParams.tempo; }
