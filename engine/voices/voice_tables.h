#pragma once
// The voices' constant tables and the small formulas that turn a parameter
// value (0-127) into a fixed-point quantity.
//
// voiceTables() builds the sample-rate-independent tables once, on first use
// (thread-safe static initialisation; call it outside the render thread, the
// voices do so in their constructors). Everything else is pure arithmetic:
// thread-safe and real-time-safe.

#include <cstdint>

inline constexpr int kNumParamValues = 128;

struct VoiceTables {
  // Modulation rate R and envelope time E (Q23, 0 at speed 0, 8388607 at 127).
  int32_t modRate[kNumParamValues];
  int32_t modEnvTime[kNumParamValues];
  // Drum playback speed per "Pitch": 2^((i - 64) / 32), six significant digits.
  float pitchRatio[kNumParamValues];
  // Drum modulation depth D(d), signed, ±2147483647 at the ends.
  int32_t depth[kNumParamValues];
  // Q16 factors (65536 = 1.0): 2^(±h/12) for h = 0..127, 2^(±c/1200) for c = 0..99.
  int32_t semitoneUp[kNumParamValues];
  int32_t semitoneDown[kNumParamValues];
  int32_t centUp[100];
  int32_t centDown[100];
};

const VoiceTables& voiceTables();

// The smooth curves the modulation tables follow; the tables stay within 40
// (R) and 4 (E) of them and hit the listed rows exactly.
double modRateCurve(int k);
double modEnvTimeCurve(int k);

// Frequency scale K = trunc(327679967232 / sample rate) (7430384 at 44.1 kHz).
int32_t frequencyScale(float sampleRate);

// Decay: X(k) for k = 0..127 and the per-sample coefficient
// trunc(powf(X × 1.1920930e-7, 39062.5 / rate) × 8388607) in single precision.
uint32_t decayX(int k);
int32_t decayCoefficient(int k, float sampleRate);
void buildDecayTable(float sampleRate, int32_t out[kNumParamValues]);

// Low Boost: coefficient a(k) = -4194303 + 99012k and the stage constant
// c = trunc(exp2f(-12575.319 / rate) × 8388607) (6884140 at 44.1 kHz).
constexpr int32_t lowBoostCoefficient(int k) { return -4194303 + 99012 * k; }
int32_t lowBoostConstant(float sampleRate);

// Synthesizer pitch value ((p² × 21473502) >> 16) + 83886.
constexpr int32_t synthPitchValue(int p) {
  const uint64_t sq = static_cast<uint32_t>(p * p);
  return static_cast<int32_t>((sq * 21473502u) >> 16) + 83886;
}

// Signed modulation depth amount ((d - 64)² × 93952409) >> 16, negative below 64.
constexpr int32_t modDepthAmount(int d) {
  const int64_t e = d - 64;
  const int32_t amount = static_cast<int32_t>((static_cast<uint64_t>(e * e) * 93952409u) >> 16);
  return e < 0 ? -amount : amount;
}

inline constexpr uint64_t kSynthLevelConstant = 96946663;
inline constexpr uint64_t kPcmLevelConstant = 69247617;

// Level gain ((level × velocity)² × constant) >> 32, 0 when muted.
constexpr int32_t levelGain(int level, int velocity, bool mute, uint64_t constant) {
  if (mute) return 0;
  const uint64_t lv = static_cast<uint64_t>(level) * static_cast<uint64_t>(velocity);
  return static_cast<int32_t>((lv * lv * constant) >> 32);
}

// Linear pan position: 0 at pan 0 and 1, 4194304 at 64, 8388607 at 127.
constexpr int32_t panPosition(int pan) {
  const int32_t u = (pan & 127) * 66577;
  if (u < 66624) return 0;
  if (u > 8455231) return 8388607;
  return u - 66624;
}
