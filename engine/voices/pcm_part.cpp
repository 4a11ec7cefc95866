#include "engine/voices/pcm_part.h"

#include <algorithm>
#include <climits>

#include "engine/record/drum_sample_info.h"

const int32_t PcmPart::kDefaults[kNumParams] = {64, 0, 64, 0, 0, 127, 100, 64, 0, 0, 0, 1, 1};

PcmPart::PcmPart(uint32_t firstRow, float sampleRate, const DrumData* memory)
    : PartVoice(kPcmPartParamInfo, kDefaults),
      sampleRate_(sampleRate),
      firstRow_(firstRow),
      memory_(memory),
      mod_(sampleRate),
      lowBoost_(sampleRate),
      level_(kPcmLevelConstant),
      tables_(voiceTables()) {
  const DrumSampleInfo info = drumSampleInfo(firstRow_ + static_cast<uint32_t>(params_.knob(kWave)));
  sampleValid_ = info.valid;
  sampleStart_ = info.start;
  sampleEnd_ = info.end;
  sampleLength_ = info.valid ? info.end - info.start + 1 : 0;
  sampleRateOfRow_ = info.rate;
  rateRatio_ = static_cast<float>(info.rate) / sampleRate_;
}

int32_t PcmPart::interpolatedSample(const DrumData* memory, uint32_t start, uint32_t position) {
  if (memory == nullptr) return 0;
  const size_t a = static_cast<size_t>(start) + (position >> 12);
  return interpolate(memory->sample(a), memory->sample(a + 1), position);
}

int32_t PcmPart::playbackStep(int32_t pitch, uint32_t rowRate, float sampleRate) {
  const float ratio = voiceTables().pitchRatio[std::clamp(pitch, 0, 127)];
  const float rateRatio = static_cast<float>(rowRate) / sampleRate;
  return static_cast<int32_t>(ratio * 65536.0f * rateRatio);
}

void PcmPart::noteOn(int32_t velocity) {
  if (!queueNote(velocity)) return;
  if (partner_ != nullptr) {
    partner_->triggerPending_ = false;
    partner_->sounding_ = false;
    partner_->lowBoost_.closeGate();
  }
}

void PcmPart::setChokePartner(PcmPart* partner) {
  if (partner == this) return;
  partner_ = partner;
}

void PcmPart::resetVoice() {
  sends_.setAtOnce(params_.knob(kFxSend));
  active_ = false;
  sounding_ = false;
  lowBoost_.silence();
  sampleEnded_ = true;
  triggerPending_ = false;
}

void PcmPart::startSample() {
  playingAtTrigger_ = playing_;
  loadAtNote_ = params_.loads();
  int32_t p[kNumParams];
  params_.readAtTrigger(playing_, p);
  std::copy(std::begin(p), std::end(p), current_);

  const DrumSampleInfo info = drumSampleInfo(firstRow_ + static_cast<uint32_t>(p[kWave]));
  sampleValid_ = info.valid;
  sampleStart_ = info.start;
  sampleEnd_ = info.end;
  sampleLength_ = info.valid ? info.end - info.start + 1 : 0;
  sampleRateOfRow_ = info.rate;
  rateRatio_ = static_cast<float>(info.rate) / sampleRate_;
  position_ = 0;
  sampleEnded_ = false;

  sends_.setTargets(p[kFxSend]);
  step_.setValue(static_cast<int32_t>(tables_.pitchRatio[p[kPitch]] * 65536.0f * rateRatio_));
  mod_.start(p[kModType], p[kModSpeed], p[kModDepth]);
  depthAmount_ = tables_.depth[p[kModDepth]] >> 8;
  lowBoost_.start(p[kLowBoost]);
  decay_.start(p[kDecay], sampleLength_, sampleRateOfRow_, sampleRate_);
  level_.start(p[kLevel], pendingVelocity_, p[kMute] == 1);
  pan_.start(p[kPan]);
  sounding_ = true;
  active_ = sampleValid_;
  following_ = true;
}

void PcmPart::pickUp() {
  if (!following_) return;
  int32_t p[kNumParams];
  if (!params_.readForPickUp(playingAtTrigger_, p)) return;
  // What a load wrote while this block renders is not this note's sound.
  if (params_.loadedSince(loadAtNote_)) {
    following_ = false;
    return;
  }
  int32_t* c = current_;

  const bool pitchDirty = p[kPitch] != c[kPitch];
  const bool depthDirty = p[kModDepth] != c[kModDepth];
  if (p[kFxSend] != c[kFxSend]) sends_.setTargets(p[kFxSend]);
  if (p[kModType] != c[kModType] || p[kModSpeed] != c[kModSpeed] || depthDirty) {
    mod_.setParameters(p[kModType], p[kModSpeed], p[kModDepth]);
  }
  if (p[kLowBoost] != c[kLowBoost]) lowBoost_.setTarget(p[kLowBoost]);
  if (p[kLevel] != c[kLevel]) level_.setLevel(p[kLevel]);
  if (p[kPan] != c[kPan]) pan_.setPan(p[kPan]);
  if (p[kDecay] != c[kDecay] && !decay_.finished()) decay_.setDecay(p[kDecay]);
  if (depthDirty) depthAmount_ = tables_.depth[p[kModDepth]] >> 8;
  if (pitchDirty) {
    step_.setTarget(static_cast<int32_t>(tables_.pitchRatio[p[kPitch]] * 65536.0f * rateRatio_));
  }
  // "Wave" (the sample row), Mute and velocity belong to the note.
  const int32_t wave = c[kWave];
  const int32_t mute = c[kMute];
  std::copy(std::begin(p), std::end(p), current_);
  current_[kWave] = wave;
  current_[kMute] = mute;
}

// The frames from..end of one pick-up stretch up to the level stage, one
// output per frame into `levels`; returns the frame after the last it
// rendered, before `end` when the voice fell silent there. K is the
// modulation source's kind.
template <int K>
uint32_t PcmPart::renderStretch(int32_t* levels, uint32_t i, uint32_t end) {
  // Reads whose pair of samples lies inside the memory go straight to it;
  // only the pairs that reach past its end (the last row's final sample, a
  // row of a short memory) take the range-checked read.
  const int16_t* row = nullptr;
  size_t inMemory = 0;
  if (memory_ != nullptr && sampleStart_ < memory_->count()) {
    row = reinterpret_cast<const int16_t*>(memory_->words.data()) + sampleStart_;
    inMemory = memory_->count() - sampleStart_;
  }
  // The glides that move alone (the playback step while the sample plays,
  // "Low Boost"'s coefficient while the gate is open, the level's gain) are
  // taken ahead for the stretch, three steps at a time; the step and the
  // level are put back where the frames rendered left them. The coefficient
  // stops mattering once the gate closes (the tail dies away by the last
  // one used): the next note sets it afresh. The stages run on local
  // copies: the stores into `levels` then cannot be taken for writes into
  // the voice's state, which stays in registers.
  const uint32_t n = end - i;
  int32_t steps[kPickUpFrames];
  int32_t coefficients[kPickUpFrames];
  int32_t gains[kPickUpFrames];
  const ParamSmoother stepBefore = step_;
  if (!sampleEnded_) step_.run(steps, n);
  if (lowBoost_.gate()) lowBoost_.coefficients(coefficients, n);
  LevelStage level = level_;
  level.gains(gains, n);
  ModulationSource mod = mod_;
  DecayEnvelope decay = decay_;
  LowBoost lowBoost = lowBoost_;
  uint32_t position = position_;
  bool sampleEnded = sampleEnded_;
  bool sounding = sounding_;
  const uint32_t sampleLength = sampleLength_;
  const int32_t depthAmount = depthAmount_;
  const VoiceTables& tables = tables_;
  // No bend computes to this: the first frame looks its factor up.
  int64_t bend = INT64_MIN;
  int64_t bendFactor = 0;
  // The row plays (and the source steps) from the first frame until the
  // frame where it runs out, if it does in this stretch.
  uint32_t playedUntil = n;
  uint32_t j = 0;
  for (; j < n; ++j) {
    int32_t x = 0;
    if (!sampleEnded) {
      const uint32_t index = position >> 12;
      if (index < sampleLength) {
        const int64_t interpolated = index + size_t{1} < inMemory
                                         ? interpolate(row[index], row[index + 1], position)
                                         : interpolatedSample(memory_, sampleStart_, position);
        x = q23::clamp(mod.phaseOffset() + interpolated * 256);
        mod.stepAs<K, true>();
        int64_t r = steps[j];
        if (depthAmount != 0) {
          const int64_t m = (q23::mul(depthAmount, mod.output()) * 4800) >> 23;
          // The bend in cents moves far slower than the samples: its factor
          // is looked up again only when it changes.
          if (m != bend) {
            bend = m;
            // Both factors are within Q23, so |m| <= 4800: the split into
            // semitones and cents fits 32-bit division.
            const uint32_t am = static_cast<uint32_t>(m < 0 ? -m : m);
            const int h = static_cast<int>((am / 100) & 127);
            const int c = static_cast<int>(am % 100);
            bendFactor = m >= 0 ? (static_cast<int64_t>(tables.centUp[c]) * tables.semitoneUp[h]) >> 16
                                : (static_cast<int64_t>(tables.centDown[c]) * tables.semitoneDown[h]) >> 16;
          }
          r = (bendFactor * r) >> 16;
        }
        position += static_cast<uint32_t>(r >> 4);
      } else {
        sampleEnded = true;
        playedUntil = j;
      }
    }

    x = decay.process(x);
    levels[j] = LevelStage::scale(gains[j], lowBoost.gate() ? lowBoost.processGated(x, coefficients[j])
                                                            : lowBoost.processTail());

    if (!sounding) {
      if (lowBoost.tailFinished()) {
        active_ = false;
        ++j;
        level.keepGains(level_, j);
        break;
      }
    } else if (decay.finished() || sampleEnded) {
      lowBoost.closeGate();
      sounding = false;
    }
  }
  const uint32_t modSteps = sampleEnded_ ? 0 : std::min(playedUntil, j);
  // The step moved with the source, on the frames where the row played.
  if (modSteps < n) {
    step_ = stepBefore;
    step_.skip(modSteps);
  }
  mod.pass<K>(modSteps);
  mod_ = mod;
  decay_ = decay;
  lowBoost_ = lowBoost;
  level_ = level;
  position_ = position;
  sampleEnded_ = sampleEnded;
  sounding_ = sounding;
  return i + j;
}

void PcmPart::render(int16_t* const* buses, uint32_t frames) {
  // Each stretch runs stage by stage: the sound up to the level stage, then
  // pan and sends into the buses.
  int32_t stretch[kPickUpFrames];
  renderStretches(
      frames, [this] { startSample(); }, [this] { pickUp(); },
      [&](uint32_t start, uint32_t end) {
        const uint32_t i =
            mod_.withKind([&](auto kind) { return renderStretch<decltype(kind)::value>(stretch, start, end); });
        panIntoBuses(pan_, sends_, stretch, i - start, buses, start);
        return i;
      });
}
