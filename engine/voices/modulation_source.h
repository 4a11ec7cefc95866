#pragma once
// The parts' modulation source: one low-frequency oscillator (falling saw,
// square, triangle, sample-and-hold), a noise generator and a decaying
// envelope, of which "Mod Type" picks what comes out:
//   0 "Saw Down", 1 "Square", 2 "Triangle", 3 "Sample&Hold", 4 "Noise",
//   5 "Envelope".
// `output()` bends the pitch; for "Noise" the output stays 0 and the source
// instead disturbs the waveform through `outputOffset()` and `phaseOffset()`.
// With "Mod Depth" 64 every type is silent.
//
// Not thread-safe: owned by one voice, used on the audio thread only (apart
// from the constructor). Real-time-safe: no allocation, no locks.

#include <algorithm>
#include <cstdint>
#include <type_traits>

#include "engine/voices/fixed_point.h"

// The 48-bit linear congruential generator of POSIX mrand48(): the same
// multiplier, increment and default seed, but with its own state, so each
// voice's noise is reproducible whatever else in the process draws numbers.
class Rand48 {
 public:
  static constexpr uint64_t kDefaultState = 0x1234ABCD330Eull;

  Rand48() = default;
  // As srand48(seed): the high 32 bits are the seed, the low 16 bits 0x330E.
  explicit Rand48(uint32_t seed) { seed48(seed); }
  void seed48(uint32_t seed) { state_ = (static_cast<uint64_t>(seed) << 16) | 0x330Eu; }

  // A signed 32-bit value, as mrand48().
  int32_t next() {
    state_ = (state_ * 0x5DEECE66Dull + 0xBu) & 0xFFFFFFFFFFFFull;
    return static_cast<int32_t>(static_cast<uint32_t>(state_ >> 16));
  }

 private:
  uint64_t state_ = kDefaultState;
};

class ModulationSource {
 public:
  explicit ModulationSource(float sampleRate);

  // A note starts: saw and phase to 0, envelope to full, then the rates.
  void start(int32_t type, int32_t speed, int32_t depth);
  // "Mod Type", "Mod Speed" or "Mod Depth" changed while a note plays: the
  // phase and the envelope keep running, only the rates are recomputed.
  void setParameters(int32_t type, int32_t speed, int32_t depth);

  // What step() computes is fixed between parameter changes: which type,
  // or nothing at all ("Mod Depth" 64, or a type beyond the six).
  static constexpr int kSilent = -1;
  int kind() const { return depth_ == 0 || type_ < 0 || type_ > 5 ? kSilent : type_; }

  // Calls f(std::integral_constant<int, kind()>): the voices' frame loops
  // are compiled once per kind, so each sample's step has no branch on it.
  template <typename F>
  decltype(auto) withKind(F&& f) const {
    switch (kind()) {
      case 0: return f(std::integral_constant<int, 0>{});
      case 1: return f(std::integral_constant<int, 1>{});
      case 2: return f(std::integral_constant<int, 2>{});
      case 3: return f(std::integral_constant<int, 3>{});
      case 4: return f(std::integral_constant<int, 4>{});
      case 5: return f(std::integral_constant<int, 5>{});
      default: return f(std::integral_constant<int, kSilent>{});
    }
  }

  // One sample of a source of kind K (K == kind()). With Defer a kind
  // leaves alone what it does not read: the envelope (all kinds but
  // "Noise" and "Envelope", the silent kind among them) and the phase and
  // its saw ("Envelope" and the silent kind). pass<K>(n) then moves them on
  // by the n samples at once: the envelope falls linearly and stops at 0,
  // the phase turns by n increments, so one step lands where n would have.
  // The frame loops keep them out of their registers so.
  template <int K, bool Defer = false>
  [[gnu::always_inline]] void stepAs() {
    if constexpr (!Defer || readsEnvelope(K)) envelope_ = std::max(envelope_ - envelopeDecrement_, 0);
    if constexpr (!Defer || readsPhase(K)) {
      previousSaw_ = saw_;
      phase_ = q23::wrap(static_cast<int64_t>(phase_) + increment_);
      saw_ = q23::wrap(-8388607LL - phase_);
    }
    output_ = outputOffset_ = phaseOffset_ = 0;
    if constexpr (K == 0) {
      output_ = saw_;
    } else if constexpr (K == 1) {
      output_ = q23::clamp(static_cast<int64_t>(saw_) + phase_);
    } else if constexpr (K == 2) {
      output_ = triangle();
    } else if constexpr (K == 3) {
      const int32_t noise = noiseStep();
      if (previousSaw_ < saw_) held_ = noise;
      output_ = held_;
    } else if constexpr (K == 4) {
      const int64_t t = triangle();
      const int32_t noise = noiseStep();
      outputOffset_ = static_cast<int32_t>((static_cast<int64_t>(noiseAmount_) * envelope_) >> 24);
      phaseOffset_ = static_cast<int32_t>(q23::mul(q23::mul(t, noiseAmount_), noise));
    } else if constexpr (K == 5) {
      output_ = envelope_;
    }
  }
  void step() {
    withKind([this](auto k) { stepAs<decltype(k)::value>(); });
  }
  template <int K>
  void pass(uint32_t n) {
    if constexpr (!readsEnvelope(K)) {
      envelope_ = static_cast<int32_t>(std::max<int64_t>(int64_t{envelope_} - int64_t{envelopeDecrement_} * n, 0));
    }
    if constexpr (!readsPhase(K)) {
      if (n == 0) return;
      const int32_t before = q23::wrap(static_cast<int64_t>(phase_) + int64_t{increment_} * (n - 1));
      previousSaw_ = q23::wrap(-8388607LL - before);
      phase_ = q23::wrap(static_cast<int64_t>(before) + increment_);
      saw_ = q23::wrap(-8388607LL - phase_);
    }
  }
  static constexpr bool readsEnvelope(int kind) { return kind == 4 || kind == 5; }
  static constexpr bool readsPhase(int kind) { return kind >= 0 && kind <= 4; }

  int32_t output() const { return output_; }
  int32_t outputOffset() const { return outputOffset_; }
  int32_t phaseOffset() const { return phaseOffset_; }

  // Per-sample phase increment of the oscillator and envelope decrement.
  int32_t increment() const { return increment_; }
  int32_t envelopeDecrement() const { return envelopeDecrement_; }
  int32_t noiseAmount() const { return noiseAmount_; }
  int32_t envelope() const { return envelope_; }

  Rand48& random() { return random_; }
  // The noise generator from `seed` (as srand48) with its filter at rest, as
  // a new source seeded so: the noise that follows is the same every time.
  void resetNoise(uint32_t seed) {
    random_.seed48(seed);
    noiseA_ = noiseB_ = 0;
    held_ = 0;
  }

 private:
  void computeRates();
  int32_t triangle() const {
    const int64_t q = q23::clamp(static_cast<int64_t>(saw_) + phase_);
    return q23::clamp((((q * saw_) >> 22) - 8388606) & ~int64_t{1});
  }
  int32_t noiseStep() {
    // The filter's two values run one into the other from sample to
    // sample: they are held wide (within Q23 all the same), so that no
    // product waits on a widening.
    noiseA_ = q23::clampWide(noiseA_ + q23::mul(k2_, noiseB_));
    const int64_t noise = q23::clampWide(static_cast<int64_t>(random_.next() >> 8) - (noiseA_ + noiseB_));
    noiseB_ = q23::clampWide(noiseB_ + q23::mul(noise, k2_));
    return static_cast<int32_t>(noise);
  }

  int32_t k_;
  int64_t k2_;
  int32_t type_ = 0;
  int32_t speed_ = 0;
  int32_t depth_ = 0;  // "Mod Depth" - 64
  int32_t phase_ = 0;
  int32_t previousSaw_ = 0;
  int32_t saw_ = 0;
  int32_t held_ = 0;
  int32_t envelope_ = 0;
  int64_t noiseA_ = 0;
  int64_t noiseB_ = 0;
  int32_t noiseAmount_ = 0;
  int32_t increment_ = 0;
  int32_t envelopeDecrement_ = 0;
  int32_t output_ = 0;
  int32_t outputOffset_ = 0;
  int32_t phaseOffset_ = 0;
  Rand48 random_;
  const int32_t* rate_;
  const int32_t* envTime_;
};
