// The drum sounds in the bundle: our generator's output, checked by numbers
// for what each row's name promises.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "engine/record/drum_sample_info.h"
#include "engine/voices/drum_data.h"
#include "tools/drumdata/drum_synth.h"
#include "voice_test_support.h"

namespace {

const std::string kBundleFile = std::string(IGB_BUNDLE_DIR) + "/drumdata.bin";

class DrumSounds : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    memory_ = new DrumData;
    status_ = loadDrumData(*memory_, kBundleFile);
  }
  static void TearDownTestSuite() {
    delete memory_;
    memory_ = nullptr;
  }

  static std::vector<double> row(uint32_t r) {
    const DrumSampleInfo info = drumSampleInfo(r);
    std::vector<double> x;
    for (uint32_t i = info.start; i <= info.end; ++i) x.push_back(memory_->sample(i));
    return x;
  }
  static double rate(uint32_t r) { return drumSampleInfo(r).rate; }

  // RMS per window of `ms` milliseconds.
  static std::vector<double> envelope(const std::vector<double>& x, double fs, double ms) {
    const size_t w = static_cast<size_t>(fs * ms / 1000.0);
    std::vector<double> env;
    for (size_t i = 0; i + w <= x.size(); i += w) env.push_back(voicetest::rms(voicetest::toDouble(x, i, i + w)));
    return env;
  }
  // Seconds until the 5 ms envelope falls for good below -30 dB of its peak.
  static double duration(uint32_t r) {
    const auto env = envelope(row(r), rate(r), 5.0);
    const double top = *std::max_element(env.begin(), env.end());
    size_t last = 0;
    for (size_t i = 0; i < env.size(); ++i) {
      if (env[i] > top * 0.0316) last = i;
    }
    return (last + 1) * 0.005;
  }
  static double shareAbove(uint32_t r, double hz) {
    const auto s = voicetest::spectrum(row(r), rate(r));
    return s.band(hz, 1e9) / s.total();
  }

  static DrumData* memory_;
  static DrumDataStatus status_;
};

DrumData* DrumSounds::memory_ = nullptr;
DrumDataStatus DrumSounds::status_ = DrumDataStatus::kMissing;

TEST_F(DrumSounds, BundleHoldsTheWholeTableBigEndian) {
  ASSERT_EQ(status_, DrumDataStatus::kLoaded) << kBundleFile;
  std::ifstream f(kBundleFile, std::ios::binary);
  const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
  EXPECT_EQ(bytes.size(), 726672u);
  // The file is exactly what the generator makes, and making it again gives
  // the same bytes.
  const std::vector<int16_t> generated = drumgen::generateDrumData();
  EXPECT_EQ(bytes, drumgen::encodeBigEndian(generated));
  EXPECT_EQ(generated, drumgen::generateDrumData());
  ASSERT_EQ(memory_->count(), generated.size());
  for (size_t i = 0; i < generated.size(); i += 997) ASSERT_EQ(memory_->sample(i), generated[i]) << i;
}

TEST_F(DrumSounds, GapSamplesBetweenRowsAreSilent) {
  for (uint32_t r = 1; r < kNumDrumSamples; ++r) {
    for (uint32_t i = drumSampleInfo(r - 1).end + 1; i < drumSampleInfo(r).start; ++i) {
      EXPECT_EQ(memory_->sample(i), 0) << "gap before row " << r;
    }
  }
}

TEST_F(DrumSounds, EveryRowIsLoudThenDecaysToSilence) {
  for (uint32_t r = 0; r < kNumDrumSamples; ++r) {
    const auto x = row(r);
    ASSERT_EQ(x.size(), drumSampleInfo(r).end - drumSampleInfo(r).start + 1);
    EXPECT_GT(voicetest::peak(x), 25000.0) << drumSampleInfo(r).name;
    EXPECT_LE(voicetest::peak(x), 32767.0);
    EXPECT_GT(*std::min_element(x.begin(), x.end()), -32768.0);
    const size_t tenth = x.size() / 10;
    const double head = voicetest::rms(voicetest::toDouble(x, 0, tenth));
    const double tail = voicetest::rms(voicetest::toDouble(x, x.size() - tenth));
    EXPECT_LT(tail, head * 0.1) << drumSampleInfo(r).name;
    EXPECT_LT(std::abs(x.back()), 20.0) << drumSampleInfo(r).name;
  }
}

TEST_F(DrumSounds, HiHatsAreBrightWithMostEnergyAbove5kHz) {
  for (uint32_t r = 0; r < 8; ++r) {
    EXPECT_GT(shareAbove(r, 5000.0), 0.8) << drumSampleInfo(r).name;
  }
}

TEST_F(DrumSounds, OpenHiHatsRingLongerThanClosedOnes) {
  double longestClosed = 0.0;
  double shortestOpen = 1e9;
  for (uint32_t r = 0; r < 4; ++r) longestClosed = std::max(longestClosed, duration(r));
  for (uint32_t r = 4; r < 8; ++r) shortestOpen = std::min(shortestOpen, duration(r));
  EXPECT_LT(longestClosed, 0.15);
  EXPECT_GT(shortestOpen, 1.3 * longestClosed);
}

TEST_F(DrumSounds, CymbalsAreLongAndBright) {
  for (uint32_t r = 8; r < 12; ++r) {
    EXPECT_GT(duration(r), 0.4) << drumSampleInfo(r).name;
    EXPECT_GT(duration(r), duration(4 + (r - 8)) * 0.9) << drumSampleInfo(r).name;
    EXPECT_GT(shareAbove(r, 3000.0), 0.85) << drumSampleInfo(r).name;
    const auto s = voicetest::spectrum(row(r), rate(r));
    double centroid = 0.0;
    for (size_t k = 0; k < s.power.size(); ++k) centroid += k * s.binHz * s.power[k];
    EXPECT_GT(centroid / s.total(), 5000.0) << drumSampleInfo(r).name;
  }
}

TEST_F(DrumSounds, ClapsAreSeveralBurstsInTheMidrange) {
  for (uint32_t r = 12; r < 14; ++r) {
    const auto env = envelope(row(r), rate(r), 1.0);
    // Count maxima in the first 60 ms that stand out of the dip before them.
    int bursts = 0;
    double lastPeak = 0.0;
    double dip = 1e9;
    for (size_t i = 1; i + 1 < std::min<size_t>(env.size(), 60); ++i) {
      dip = std::min(dip, env[i]);
      if (env[i] >= env[i - 1] && env[i] > env[i + 1] && env[i] > 1000.0 &&
          (bursts == 0 || dip < 0.6 * std::min(lastPeak, env[i]))) {
        ++bursts;
        lastPeak = env[i];
        dip = 1e9;
      }
    }
    EXPECT_GE(bursts, 3) << drumSampleInfo(r).name;
    const auto s = voicetest::spectrum(row(r), rate(r));
    EXPECT_GT(s.band(600.0, 4000.0) / s.total(), 0.6) << drumSampleInfo(r).name;
  }
}

TEST_F(DrumSounds, SnaresHaveATonalBodyAndNoise) {
  for (uint32_t r = 14; r < 16; ++r) {
    const auto s = voicetest::spectrum(row(r), rate(r));
    const double body = s.peakFrequency(60.0, 1000.0);
    EXPECT_GT(body, 120.0) << drumSampleInfo(r).name;
    EXPECT_LT(body, 400.0) << drumSampleInfo(r).name;
    // A tone: the peak's neighbourhood holds far more than its share of the
    // low band.
    const double around = s.band(body - 15.0, body + 15.0) / 30.0;
    const double lowBand = s.band(60.0, 1000.0) / 940.0;
    EXPECT_GT(around / lowBand, 8.0) << drumSampleInfo(r).name;
    // Noise: a good part of the energy lies above 2 kHz.
    const double noise = s.band(2000.0, 1e9) / s.total();
    EXPECT_GT(noise, 0.2) << drumSampleInfo(r).name;
    EXPECT_LT(noise, 0.8) << drumSampleInfo(r).name;
  }
}

}  // namespace
