#pragma once
// One of the four drum-sample parts ("HiHat Closed", "HiHat Open", "Cymbal",
// "Clap Snare"): a monophonic player of the four sounds of its group in the
// drum sample memory, with pitch, modulation, a hold-then-staircase decay,
// "Low Boost", level, pan and the dry/effect-send switch. The closed and the
// open hi-hat parts are choke partners: a note on one sends the other
// straight into its short tail.
//
// Threads and real time, per operation:
// - constructor: any thread, before rendering starts; allocates nothing
//   after it returns.
// - setParameter, parameter, setMotionValue, restoreMotionValue: any thread,
//   lock-free (relaxed atomics), heard at the next parameter pick-up (every
//   64 frames of a render call, "Wave" only at the next note). Real-time-safe.
// - noteOn (which also chokes the partner), setPlaying, reset, resetVoice,
//   freezeParameters, setChokePartner, setDrumData, seedNoise and render:
//   the audio thread only (or any single thread while no render runs).
//   Real-time-safe: no allocation, no locks, no I/O.
//
// Bus cursors as for SynthPart: 0 dry left, 1 dry right, 2 send left,
// 3 send right, each at the first frame of the slice.

#include <cstdint>

#include "engine/voices/decay_envelope.h"
#include "engine/voices/drum_data.h"
#include "engine/voices/modulation_source.h"
#include "engine/voices/part_voice.h"
#include "engine/voices/voice_stages.h"

class PcmPart : public PartVoice {
 public:
  static const int32_t kDefaults[kNumParams];

  // `firstRow` is the part's first row of the sample table (drum part
  // index × 4); `memory` defaults to the global drum sample memory. A null
  // memory plays silence.
  PcmPart(uint32_t firstRow, float sampleRate, const DrumData* memory = drumData());
  // Velocity rule as SynthPart::noteOn; then the choke partner loses a
  // pending note, stops sounding and dies away in its tail.
  void noteOn(int32_t velocity);
  // Ignored for the part itself. The engine links the two hi-hats both ways.
  void setChokePartner(PcmPart* partner);
  PcmPart* chokePartner() const { return partner_; }
  void resetVoice();
  void setDrumData(const DrumData* memory) { memory_ = memory; }
  void seedNoise(uint32_t seed) { mod_.resetNoise(seed); }

  void render(int16_t* const* buses, uint32_t frames);

  // One memory read with the linear interpolation the player uses: the
  // sample at start + (position >> 12) moved towards the next one by the
  // 12 fractional bits; 0 beyond the memory.
  static int32_t interpolatedSample(const DrumData* memory, uint32_t start, uint32_t position);
  // s0 moved towards s1 by the 12 fractional bits of `position`.
  static int32_t interpolate(int32_t s0, int32_t s1, uint32_t position) {
    return s0 + (((s1 - s0) * static_cast<int32_t>(position & 4095u)) >> 12);
  }
  // Playback step (Q16) for "Pitch" with a row recorded at `rowRate`.
  static int32_t playbackStep(int32_t pitch, uint32_t rowRate, float sampleRate);

  uint32_t firstRow() const { return firstRow_; }
  bool hasSampleEnded() const { return sampleEnded_; }
  uint32_t position() const { return position_; }
  int32_t currentStep() const { return step_.value(); }
  const DecayEnvelope& decayEnvelope() const { return decay_; }

 private:
  void startSample();
  void pickUp();
  template <int K>
  uint32_t renderStretch(int32_t* levels, uint32_t from, uint32_t end);

  float sampleRate_;
  uint32_t firstRow_;
  const DrumData* memory_;
  PcmPart* partner_ = nullptr;

  bool sampleEnded_ = true;

  // The current sample row.
  bool sampleValid_ = false;
  uint32_t sampleStart_ = 0;
  uint32_t sampleEnd_ = 0;
  uint32_t sampleLength_ = 0;
  uint32_t sampleRateOfRow_ = 44100;
  float rateRatio_ = 1.0f;
  uint32_t position_ = 0;  // 12 fractional bits

  int32_t current_[kNumParams] = {};
  int32_t depthAmount_ = 0;

  ParamSmoother step_;  // playback step, Q16
  ModulationSource mod_;
  DecayEnvelope decay_;
  LowBoost lowBoost_;
  LevelStage level_;
  PanStage pan_;
  const VoiceTables& tables_;
};
