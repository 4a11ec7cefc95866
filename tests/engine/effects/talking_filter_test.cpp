#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <numbers>

#include "engine/effects/effect_tables.h"
#include "engine/effects/sarnek_filter.h"
#include "engine/effects/talking_modulator.h"
#include "tests/engine/effects/effect_test_support.h"

using namespace fxtest;

namespace {

// --- Talking modulator ---

struct FormantCase {
  int formant;
  int offset;
};

class TalkingModulatorFormants : public ::testing::TestWithParam<FormantCase> {};

// The bank's four band coefficients, from the formant tables and the
// offset factor (LN(offset) × 5/8 + 4096) / 16384.
std::array<int, 4> bandCoefficients(int formant, int offset) {
  const int s = ((static_cast<int>(std::floor(32767.0 * offset / 127.0)) * 5) >> 3) + 4096;
  return {(s * 1331) >> 14, (s * fx::kFormant1[formant]) >> 14, (s * fx::kFormant2[formant]) >> 14,
          (s * fx::kFormant3[formant]) >> 14};
}

// Steady-state output amplitude for a tone of `hz`.
double toneResponse(int formant, int offset, double hz, double amplitude = 1500.0) {
  TalkingModulator t;
  t.setParameter(1, formant);
  t.setParameter(2, offset);
  const auto out = run(t, Stereo::mono(sine(8192, hz, amplitude)), 512);
  return amplitudeAt(out.left, hz, 4096, 4096) / amplitude;
}

// Swept tones around each band: the response peaks at the frequency the
// band's coefficient tunes to, and dips well below between the bands. (The
// bank's integer leak damps small swings harder than large ones, so it is
// measured with tones at a working level rather than with faint noise.)
TEST_P(TalkingModulatorFormants, ResponsePeaksAtTheFourFormants) {
  const FormantCase c = GetParam();
  const auto coef = bandCoefficients(c.formant, c.offset);
  TalkingModulator probe;
  probe.setParameter(1, c.formant);
  probe.setParameter(2, c.offset);
  const auto check = run(probe, Stereo(noise(2000, 1000, 3), noise(2000, 1000, 4)), 100);
  EXPECT_EQ(check.left, check.right);
  for (int k = 0; k < 4; ++k) EXPECT_EQ(probe.bandCoefficient(k), coef[k]) << k;

  std::array<double, 4> fc{}, peakGain{};
  for (int k = 0; k < 4; ++k) fc[k] = svfFrequency(coef[k]);
  for (int k = 0; k < 4; ++k) {
    double bestHz = 0.0, best = 0.0;
    for (int step = -15; step <= 15; ++step) {
      const double hz = fc[k] * (1.0 + 0.004 * step);
      const double g = toneResponse(c.formant, c.offset, hz);
      if (g > best) {
        best = g;
        bestHz = hz;
      }
    }
    EXPECT_NEAR(bestHz, fc[k], 0.015 * fc[k]) << "band " << k;
    EXPECT_GT(best, 2.0) << "band " << k;  // a resonance, not a plain pass
    peakGain[k] = best;
  }
  for (int k = 0; k < 3; ++k) {
    const double valley = toneResponse(c.formant, c.offset, std::sqrt(fc[k] * fc[k + 1]));
    EXPECT_GT(db(peakGain[k] * peakGain[k] / (valley * valley)), 10.0) << "between " << k << " and " << k + 1;
    EXPECT_GT(db(peakGain[k + 1] * peakGain[k + 1] / (valley * valley)), 10.0) << "between " << k << " and " << k + 1;
  }
}

INSTANTIATE_TEST_SUITE_P(FormantAndOffset, TalkingModulatorFormants,
                         ::testing::Values(FormantCase{0, 127}, FormantCase{127, 64}, FormantCase{64, 100},
                                           FormantCase{32, 20}));

TEST(TalkingModulator, OffsetShiftsAllFormantsTogether) {
  const auto low = bandCoefficients(40, 0);
  const auto high = bandCoefficients(40, 127);
  for (int k = 0; k < 4; ++k) EXPECT_NEAR(static_cast<double>(high[k]) / low[k], 6.0, 0.05) << k;
  // The constructor's coefficients are those of "Formant" 0 and "Offset" 0.
  EXPECT_EQ(bandCoefficients(0, 0), (std::array<int, 4>{332, 1139, 2296, 4282}));
}

// --- Filter ---

// |H| of the low-pass output of h = x - l - q·b, b += f·h, l += f·b at
// `hz`, times the input gain g/32768 (x = g·in/64, out = l/512).
double lowPassGain(const SarnekFilter::Coefficients& c, int32_t gain, double hz) {
  const double f = c.frequency / 8388608.0;
  const double q = c.damping / 8388608.0;
  const std::complex<double> z1 = std::polar(1.0, -2.0 * std::numbers::pi * hz / kRate);
  const std::complex<double> one(1.0);
  const auto den = (one - z1) * (one - z1) + f * f * z1 + q * f * z1 * (one - z1);
  return std::abs(f * f / den) * gain / 32768.0;
}

// The frequency the coefficient tunes the filter to: f = 2 sin(π fc / fs).
double cutoffHz(const SarnekFilter::Coefficients& c) {
  return kRate / std::numbers::pi * std::asin(c.frequency / 8388608.0 / 2.0);
}

struct FilterCase {
  int cutoff;
  int resonance;
};

class SarnekFilterResponse : public ::testing::TestWithParam<FilterCase> {};

TEST_P(SarnekFilterResponse, MatchesTheTwoPoleResponseAroundCutoff) {
  const FilterCase c = GetParam();
  const auto coef = SarnekFilter::coefficientsFor(c.cutoff, c.resonance);
  const int32_t gain = SarnekFilter::targetsFor(c.cutoff, c.resonance).gain;
  const double fc = cutoffHz(coef);
  for (double ratio : {0.25, 1.0, 4.0}) {
    const double hz = fc * ratio;
    if (hz > 18000.0 || hz < 20.0) continue;
    SarnekFilter filter;
    filter.setParameter(1, c.cutoff);
    filter.setParameter(2, c.resonance);
    const double expected = lowPassGain(coef, gain, hz);
    const double amplitude = std::min(10000.0, 20000.0 / expected);
    const size_t n = 44100;
    const Stereo in(sine(n, hz, amplitude), sine(n, hz, amplitude, 1.0));
    const auto out = run(filter, in, 333);
    const double measured = amplitudeAt(out.left, hz, n / 2, n / 2) / amplitude;
    EXPECT_NEAR(db(measured * measured), db(expected * expected), 0.3)
        << "Cutoff " << c.cutoff << " Resonance " << c.resonance << " at " << hz << " Hz";
    EXPECT_NEAR(amplitudeAt(out.right, hz, n / 2, n / 2) / amplitude, measured, 0.01 * measured + 1e-3);
  }
}

INSTANTIATE_TEST_SUITE_P(CutoffAndResonance, SarnekFilterResponse,
                         ::testing::Values(FilterCase{40, 0}, FilterCase{64, 0}, FilterCase{90, 0},
                                           FilterCase{127, 0}, FilterCase{64, 64}, FilterCase{90, 100},
                                           FilterCase{64, 120}, FilterCase{100, 127}));

TEST(SarnekFilter, ResonanceZeroHasFullGainAndNoPeak) {
  for (int cutoff = 0; cutoff < 128; cutoff += 9) {
    EXPECT_EQ(SarnekFilter::targetsFor(cutoff, 0).gain, 32767);
    const auto coef = SarnekFilter::coefficientsFor(cutoff, 0);
    const double fc = cutoffHz(coef);
    // Never above unity; at low cutoffs (damping 2 - f near 2) half gain
    // at the cutoff.
    for (double r = 0.05; r < 4.0 && fc * r < 22000.0; r *= 1.1) {
      EXPECT_LE(lowPassGain(coef, 32767, fc * r), 1.0001) << cutoff << " x" << r;
    }
    if (cutoff < 50) {
      EXPECT_NEAR(lowPassGain(coef, 32767, fc), 0.5, 0.03) << cutoff;
    }
  }
  // And measured: a tone at the cutoff comes out at half its level.
  SarnekFilter filter;
  filter.setParameter(1, 40);
  const double fc = cutoffHz(SarnekFilter::coefficientsFor(40, 0));
  const auto out = run(filter, Stereo::mono(sine(88200, fc, 10000.0)), 256);
  EXPECT_NEAR(amplitudeAt(out.left, fc, 44100, 44100), 5000.0, 250.0);
}

TEST(SarnekFilter, RaisingResonanceGrowsThePeakAndLowersTheGain) {
  int32_t lastGain = 32768;
  double lastPeak = 0.0;
  for (int r = 0; r < 128; r += 4) {
    const int32_t g = SarnekFilter::targetsFor(64, r).gain;
    EXPECT_LE(g, lastGain) << r;
    lastGain = g;
    const auto coef = SarnekFilter::coefficientsFor(64, r);
    const double peak = lowPassGain(coef, g, cutoffHz(coef));
    EXPECT_GT(peak, lastPeak) << r;
    lastPeak = peak;
  }
  EXPECT_EQ(SarnekFilter::targetsFor(64, 100).gain, 32767);
  EXPECT_LT(SarnekFilter::targetsFor(64, 127).gain, 20000);
  EXPECT_GT(lastPeak, 20.0);  // a strong peak at full resonance
}

TEST(SarnekFilter, CutoffChangeGlidesLinearlyOverOneBlockOfACall) {
  const auto from = SarnekFilter::coefficientsFor(40, 0);
  const auto to = SarnekFilter::coefficientsFor(100, 0);
  const int64_t step = (to.frequency - from.frequency) >> 6;
  ASSERT_GT(step, 0);
  // After n frames of the call that follows the change: one equal step per
  // frame from the call's first frame, landing on the new value at its
  // 64th frame, the next pick-up.
  for (int n = 1; n <= 100; ++n) {
    SarnekFilter filter;
    filter.setParameter(1, 40);
    run(filter, Stereo(1000), 1000);
    ASSERT_EQ(filter.currentFrequency(), from.frequency);
    filter.setParameter(1, 100);
    run(filter, Stereo(static_cast<size_t>(n)), static_cast<size_t>(n));
    if (n < 64) {
      EXPECT_EQ(filter.currentFrequency(), from.frequency + step * n) << n;
    } else {
      EXPECT_EQ(filter.currentFrequency(), n == 64 ? from.frequency + step * 64 : to.frequency) << n;
    }
  }
}

TEST(SarnekFilter, AGlideEndsAtTheNextCallsFirstFrame) {
  // Every call starts with a pick-up: in calls of one frame the glide takes
  // one step, and the next call lands on the new value.
  SarnekFilter filter;
  filter.setParameter(1, 40);
  run(filter, Stereo(1000), 1000);
  const auto from = SarnekFilter::coefficientsFor(40, 0);
  const auto to = SarnekFilter::coefficientsFor(100, 0);
  filter.setParameter(1, 100);
  Stereo one(1);
  run(filter, one, 1);
  EXPECT_EQ(filter.currentFrequency(), from.frequency + ((to.frequency - from.frequency) >> 6));
  for (int i = 0; i < 5; ++i) {
    run(filter, one, 1);
    EXPECT_EQ(filter.currentFrequency(), to.frequency) << i;
  }
}

}  // namespace
