#include "engine/voices/voice_tables.h"

#include <math.h>

#include <algorithm>
#include <cmath>

namespace {

// Rows of the modulation tables that the curves only approximate: index and
// exact value. The tables follow the curve plus a correction that moves
// linearly between these rows, so they stay smooth and monotonic.
struct Pin {
  int k;
  int32_t value;
};
constexpr Pin kRatePins[] = {{0, 0},         {1, 1},          {2, 3},          {3, 5},
                             {64, 11376},    {100, 495344},   {126, 7554048},  {127, 8388607}};
constexpr Pin kEnvPins[] = {{0, 0},          {1, 146},        {2, 303},        {64, 137722},
                            {100, 1449326},  {126, 7860691},  {127, 8388607}};

template <size_t N>
void fillPinned(int32_t* out, double (*curve)(int), const Pin (&pins)[N]) {
  for (size_t p = 0; p + 1 < N; ++p) {
    const Pin lo = pins[p];
    const Pin hi = pins[p + 1];
    const double dLo = lo.value - curve(lo.k);
    const double dHi = hi.value - curve(hi.k);
    for (int k = lo.k; k <= hi.k; ++k) {
      const double t = static_cast<double>(k - lo.k) / (hi.k - lo.k);
      out[k] = static_cast<int32_t>(std::lround(curve(k) + dLo + (dHi - dLo) * t));
    }
  }
  for (const Pin& pin : pins) out[pin.k] = pin.value;
}

float sixDigits(double v) {
  const double scale = std::pow(10.0, 5 - static_cast<int>(std::floor(std::log10(v))));
  return static_cast<float>(std::round(v * scale) / scale);
}

int32_t q16(double v) { return static_cast<int32_t>(std::lround(v * 65536.0)); }

VoiceTables makeTables() {
  VoiceTables t{};
  fillPinned(t.modRate, modRateCurve, kRatePins);
  fillPinned(t.modEnvTime, modEnvTimeCurve, kEnvPins);
  for (int i = 0; i < kNumParamValues; ++i) {
    t.pitchRatio[i] = sixDigits(std::exp2((i - 64) / 32.0));
    const double e = (i - 64) / 63.0;
    const double mag = std::min(2147483647.0, std::round(2147483647.0 * e * e));
    t.depth[i] = static_cast<int32_t>(i < 64 ? -mag : mag);
    t.semitoneUp[i] = q16(std::exp2(i / 12.0));
    t.semitoneDown[i] = q16(std::exp2(-i / 12.0));
  }
  for (int c = 0; c < 100; ++c) {
    t.centUp[c] = q16(std::exp2(c / 1200.0));
    t.centDown[c] = q16(std::exp2(-c / 1200.0));
  }
  return t;
}

}  // namespace

double modRateCurve(int k) {
  return 8388607.0 * (std::pow(1.1104797, k) - 1.0) / (std::pow(1.1104797, 127) - 1.0);
}

double modEnvTimeCurve(int k) {
  return 8388607.0 * (std::pow(1.0671405, k) - 1.0) / (std::pow(1.0671405, 127) - 1.0);
}

const VoiceTables& voiceTables() {
  static const VoiceTables tables = makeTables();
  return tables;
}

int32_t frequencyScale(float sampleRate) {
  return static_cast<int32_t>(327679967232.0 / static_cast<double>(sampleRate));
}

uint32_t decayX(int k) {
  if (k <= 31) {
    const int64_t a = 4 * k - 127;
    const int64_t b = 127 - 4 * k;
    const uint64_t inner = static_cast<uint64_t>(2048383 + a * b * b);
    return 8136949u + static_cast<uint32_t>((inner * 7917u) >> 16);
  }
  const uint64_t d = static_cast<uint64_t>(65024 - 512 * k);
  const uint64_t inner = 36290u - ((d * d) >> 16);
  return 8384413u + static_cast<uint32_t>((inner * 476541784u) >> 32);
}

int32_t decayCoefficient(int k, float sampleRate) {
  const float x = static_cast<float>(decayX(k)) * 1.1920930e-7f;
  const float c = ::powf(x, 39062.5f / sampleRate) * 8388607.0f;
  return static_cast<int32_t>(c);
}

void buildDecayTable(float sampleRate, int32_t out[kNumParamValues]) {
  for (int k = 0; k < kNumParamValues; ++k) out[k] = decayCoefficient(k, sampleRate);
}

int32_t lowBoostConstant(float sampleRate) {
  return static_cast<int32_t>(::exp2f(-12575.319f / sampleRate) * 8388607.0f);
}
