#pragma once
// One of the four synthesizer parts ("Synth 1" to "Synth 4"): a monophonic
// voice with one oscillator (sine, triangle, square, saw), a modulation
// source, a one-shot exponential decay, "Low Boost", level, linear pan and
// the dry/effect-send switch. It adds its sound into the engine's buses.
//
// Threads and real time, per operation:
// - constructor: any thread, before rendering starts; allocates nothing
//   after it returns.
// - setParameter, parameter, setMotionValue, restoreMotionValue: any thread,
//   lock-free (relaxed atomics); the voice hears a change at its next
//   parameter pick-up (every 64 frames of a render call, or the next note).
//   Real-time-safe.
// - noteOn, setPlaying, reset, resetVoice, freezeParameters, seedNoise and
//   every render operation: the audio thread only (or any single thread while
//   no render runs). Real-time-safe: no allocation, no locks, no I/O.
// - the state queries: the audio thread (they read its plain state).
//
// Bus cursors: `buses` points at four cursors, 0 dry left, 1 dry right,
// 2 effect-send left, 3 effect-send right, each at the first frame of the
// slice. Samples are added with saturation to -32767..32767.

#include <cstdint>
#include <type_traits>

#include "engine/voices/modulation_source.h"
#include "engine/voices/oscillator.h"
#include "engine/voices/part_voice.h"
#include "engine/voices/voice_stages.h"

class SynthPart : public PartVoice {
 public:
  static const int32_t kDefaults[kNumParams];

  explicit SynthPart(float sampleRate);
  // The note starts at the next rendered frame. With "Accent" 0 every note
  // plays at velocity 100; with "Accent" 1 a velocity below 1 is ignored.
  void noteOn(int32_t velocity);
  // Silences the voice at once (audio resume, bounce start and end).
  void resetVoice();
  // Reseeds the noise generator (as srand48) and clears its filter; the
  // default seed is mrand48's.
  void seedNoise(uint32_t seed) { mod_.resetNoise(seed); }

  void render(int16_t* const* buses, uint32_t frames);
  // Renders into `modulation` (Q23, one value per frame, 0 while inactive)
  // instead of the buses: the modulator of cross and ring modulation.
  void renderModulator(int32_t* modulation, uint32_t frames);
  // As render, with `modulation[i]` added to the oscillator phase.
  void renderCrossModulated(int16_t* const* buses, const int32_t* modulation, uint32_t frames);
  // As render, with the level-stage output multiplied by modulation[i] >> 21.
  void renderRingModulated(int16_t* const* buses, const int32_t* modulation, uint32_t frames);

  int32_t frequencyScale() const { return k_; }
  int32_t decayTableEntry(int k) const { return decayTable_[k]; }

 private:
  enum class Mode { kNormal, kModulator, kCross, kRing };

  template <Mode M>
  void renderFrames(int16_t* const* buses, int32_t* modOut, const int32_t* modIn, uint32_t frames);
  // Frames from..end of one pick-up stretch while the note sounds (K: the
  // modulation source's kind), and while its tail dies away, up to the
  // level stage: `levels` takes one output per frame from `from` on. Each
  // returns the frame after the last it rendered, before `end` when the
  // voice changed state there.
  // W: the waveform, fixed between pick-ups (-1 for a "Wave" beyond the four,
  // which sounds as silence).
  template <Mode M, int K, int W>
  uint32_t soundingFrames(int32_t* levels, uint32_t from, uint32_t end, const int32_t* modIn);
  uint32_t tailFrames(int32_t* levels, uint32_t from, uint32_t end);
  void startNote();
  void pickUp();
  // Calls f(std::integral_constant<int, wave_>) (-1 beyond the four), so
  // that each frame's waveform has no branch on it.
  template <typename F>
  decltype(auto) withWave(F&& f) const {
    switch (wave_) {
      case kWaveSine: return f(std::integral_constant<int, kWaveSine>{});
      case kWaveTriangle: return f(std::integral_constant<int, kWaveTriangle>{});
      case kWaveSquare: return f(std::integral_constant<int, kWaveSquare>{});
      case kWaveSaw: return f(std::integral_constant<int, kWaveSaw>{});
      default: return f(std::integral_constant<int, -1>{});
    }
  }

  int32_t k_;
  int32_t decayTable_[kNumParamValues];

  int32_t current_[kNumParams] = {};  // the values the voice plays with
  int32_t wave_ = 0;
  int32_t depthAmount_ = 0;
  int32_t phase_ = 0;
  int32_t envelope_ = 0;
  int32_t decayCoefficient_ = 0;
  bool envelopeFinished_ = true;

  ParamSmoother pitch_;
  ModulationSource mod_;
  LowBoost lowBoost_;
  LevelStage level_;
  PanStage pan_;
};
