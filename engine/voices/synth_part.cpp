#include "engine/voices/synth_part.h"

#include <algorithm>

#include "engine/voices/oscillator.h"

const int32_t SynthPart::kDefaults[kNumParams] = {64, 1, 64, 0, 0, 127, 100, 64, 0, 0, 0, 1, 1};

SynthPart::SynthPart(float sampleRate)
    : PartVoice(kSynthPartParamInfo, kDefaults),
      k_(::frequencyScale(sampleRate)),
      mod_(sampleRate),
      lowBoost_(sampleRate),
      level_(kSynthLevelConstant) {
  buildDecayTable(sampleRate, decayTable_);
}

void SynthPart::noteOn(int32_t velocity) { queueNote(velocity); }

void SynthPart::resetVoice() {
  sends_.setAtOnce(params_.knob(kFxSend));
  active_ = false;
  sounding_ = false;
  lowBoost_.silence();
  triggerPending_ = false;
}

void SynthPart::startNote() {
  playingAtTrigger_ = playing_;
  loadAtNote_ = params_.loads();
  int32_t p[kNumParams];
  params_.readAtTrigger(playing_, p);
  std::copy(std::begin(p), std::end(p), current_);

  phase_ = 0;
  sends_.setTargets(p[kFxSend]);
  pitch_.setValue(synthPitchValue(p[kPitch]));
  depthAmount_ = modDepthAmount(p[kModDepth]);
  mod_.start(p[kModType], p[kModSpeed], p[kModDepth]);
  wave_ = p[kWave];
  lowBoost_.start(p[kLowBoost]);
  envelope_ = q23::kMax;
  envelopeFinished_ = false;
  decayCoefficient_ = decayTable_[p[kDecay]];
  level_.start(p[kLevel], pendingVelocity_, p[kMute] == 1);
  pan_.start(p[kPan]);
  active_ = sounding_ = following_ = true;
}

void SynthPart::pickUp() {
  if (!following_) return;
  int32_t p[kNumParams];
  if (!params_.readForPickUp(playingAtTrigger_, p)) return;
  // What a load wrote while this block renders is not this note's sound.
  if (params_.loadedSince(loadAtNote_)) {
    following_ = false;
    return;
  }
  int32_t* c = current_;

  if (p[kWave] != c[kWave]) wave_ = p[kWave];
  if (p[kPitch] != c[kPitch]) pitch_.setTarget(synthPitchValue(p[kPitch]));
  if (p[kFxSend] != c[kFxSend]) sends_.setTargets(p[kFxSend]);
  if (p[kModDepth] != c[kModDepth]) depthAmount_ = modDepthAmount(p[kModDepth]);
  if (p[kModType] != c[kModType] || p[kModSpeed] != c[kModSpeed] || p[kModDepth] != c[kModDepth]) {
    mod_.setParameters(p[kModType], p[kModSpeed], p[kModDepth]);
  }
  if (p[kLowBoost] != c[kLowBoost]) lowBoost_.setTarget(p[kLowBoost]);
  if (p[kLevel] != c[kLevel]) level_.setLevel(p[kLevel]);
  if (p[kDecay] != c[kDecay]) decayCoefficient_ = decayTable_[p[kDecay]];
  if (p[kPan] != c[kPan]) pan_.setPan(p[kPan]);
  // Mute and velocity belong to the note; they are not picked up.
  const int32_t mute = c[kMute];
  std::copy(std::begin(p), std::end(p), current_);
  current_[kMute] = mute;
}

template <SynthPart::Mode M, int K, int W>
uint32_t SynthPart::soundingFrames(int32_t* levels, uint32_t i, uint32_t end, const int32_t* modIn) {
  // The glides (pitch, "Low Boost"'s coefficient, the level's gain) move
  // alone, so their values for the stretch are taken ahead, three steps at
  // a time. The stages run on local copies: the stores into `levels` then
  // cannot be taken for writes into the voice's state, which stays in
  // registers.
  const uint32_t n = end - i;
  int32_t pitches[kPickUpFrames];
  int32_t coefficients[kPickUpFrames];
  int32_t gains[kPickUpFrames];
  const ParamSmoother pitchBefore = pitch_;
  pitch_.run(pitches, n);
  lowBoost_.coefficients(coefficients, n);
  LevelStage level = level_;
  level.gains(gains, n);
  ModulationSource mod = mod_;
  LowBoost lowBoost = lowBoost_;
  int32_t phase = phase_;
  int32_t envelope = envelope_;
  const int32_t depthAmount = depthAmount_;
  const int32_t k = k_;
  const int32_t decayCoefficient = decayCoefficient_;
  int32_t sawIncrement = 0;
  int32_t slope = sawSlope(0);
  uint32_t j = 0;
  for (; j < n; ++j) {
    int64_t p = pitches[j];
    mod.stepAs<K, true>();
    if (depthAmount != 0) p += q23::mul(mod.output(), depthAmount);
    const int64_t x = p < 0 ? 251658 : (p >= 8136950 ? 8388607 : p + 251658);
    const int32_t increment = static_cast<int32_t>(q23::mul((x * x) >> 23, k));
    if constexpr (M == Mode::kCross) phase = q23::wrap(static_cast<int64_t>(phase) + modIn[i + j]);
    phase = q23::wrap(static_cast<int64_t>(phase) + increment);
    int32_t wave;
    if constexpr (W == kWaveSaw) {
      // The slope is a division; the increment mostly holds from frame to
      // frame, and so does the slope.
      if (increment != sawIncrement) {
        sawIncrement = increment;
        slope = sawSlope(increment);
      }
      wave = sawSample(phase, slope, mod.phaseOffset(), mod.outputOffset());
    } else {
      wave = synthWaveSample(W, phase, increment, mod.phaseOffset(), mod.outputOffset());
    }
    const int32_t s = static_cast<int32_t>(q23::mul(wave, envelope));
    envelope = static_cast<int32_t>(q23::mul(decayCoefficient, envelope));
    levels[j] = LevelStage::scale(gains[j], lowBoost.processGated(s, coefficients[j]));
    if (envelope < 1) {
      // The note ends here: the tail goes on gliding the level from this
      // frame, and the pitch stays where this frame left it. The coefficient
      // no longer matters (the tail dies away by the last one used) until
      // the next note sets it.
      envelopeFinished_ = true;
      lowBoost.closeGate();
      sounding_ = false;
      ++j;
      level.keepGains(level_, j);
      pitch_ = pitchBefore;
      pitch_.skip(j);
      break;
    }
  }
  mod.pass<K>(j);
  mod_ = mod;
  lowBoost_ = lowBoost;
  level_ = level;
  phase_ = phase;
  envelope_ = envelope;
  return i + j;
}

// Silent oscillator: only "Low Boost"'s stored output dies away, through the
// level stage that keeps gliding. The envelope no longer matters (the next
// note starts it afresh).
uint32_t SynthPart::tailFrames(int32_t* levels, uint32_t i, uint32_t end) {
  for (; i < end; ++i) {
    *levels++ = level_.process(lowBoost_.process(0));
    if (lowBoost_.tailFinished()) {
      active_ = false;
      return i + 1;
    }
  }
  return end;
}

template <SynthPart::Mode M>
void SynthPart::renderFrames(int16_t* const* buses, int32_t* modOut, const int32_t* modIn, uint32_t frames) {
  // Within a stretch the voice moves one way: sounding, then the tail, then
  // silence. Each stretch runs stage by stage: the sound up to the level
  // stage, then the ring product, then pan and sends into the buses.
  int32_t stretch[kPickUpFrames];
  const uint32_t rendered = renderStretches(
      frames, [this] { startNote(); }, [this] { pickUp(); },
      [&](uint32_t start, uint32_t end) {
        uint32_t i = start;
        if (sounding_) {
          i = mod_.withKind(
              [&](auto kind) { return withWave([&](auto wave) {
                return soundingFrames<M, decltype(kind)::value, decltype(wave)::value>(stretch, i, end, modIn);
              }); });
        }
        if (i < end && !sounding_) i = tailFrames(stretch + (i - start), i, end);
        const uint32_t n = i - start;
        if constexpr (M == Mode::kRing) {
          for (uint32_t j = 0; j < n; ++j)
            stretch[j] = q23::clamp((static_cast<int64_t>(modIn[start + j]) * stretch[j]) >> 21);
        }
        if constexpr (M == Mode::kModulator) {
          std::copy(stretch, stretch + n, modOut + start);
          for (uint32_t j = 0; j < n && sends_.smoothing(); ++j) sends_.step();
        } else {
          panIntoBuses(pan_, sends_, stretch, n, buses, start);
        }
        return i;
      });
  if constexpr (M == Mode::kModulator) std::fill(modOut + rendered, modOut + frames, 0);
}

void SynthPart::render(int16_t* const* buses, uint32_t frames) {
  renderFrames<Mode::kNormal>(buses, nullptr, nullptr, frames);
}

void SynthPart::renderModulator(int32_t* modulation, uint32_t frames) {
  renderFrames<Mode::kModulator>(nullptr, modulation, nullptr, frames);
}

void SynthPart::renderCrossModulated(int16_t* const* buses, const int32_t* modulation, uint32_t frames) {
  renderFrames<Mode::kCross>(buses, nullptr, modulation, frames);
}

void SynthPart::renderRingModulated(int16_t* const* buses, const int32_t* modulation, uint32_t frames) {
  renderFrames<Mode::kRing>(buses, nullptr, modulation, frames);
}
