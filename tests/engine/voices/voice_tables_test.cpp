#include "engine/voices/voice_tables.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

TEST(VoiceTables, ModulationRateTableFollowsItsCurveAndHitsTheListedRows) {
  const VoiceTables& t = voiceTables();
  struct Row {
    int k;
    int32_t value;
  };
  for (const Row r : {Row{0, 0}, Row{1, 1}, Row{2, 3}, Row{3, 5}, Row{64, 11376}, Row{100, 495344},
                      Row{126, 7554048}, Row{127, 8388607}}) {
    EXPECT_EQ(t.modRate[r.k], r.value) << "R[" << r.k << "]";
  }
  for (int k = 0; k < 128; ++k) {
    EXPECT_LE(std::abs(t.modRate[k] - modRateCurve(k)), 40.0) << "R[" << k << "]";
    if (k > 0) {
      EXPECT_GT(t.modRate[k], t.modRate[k - 1]) << "R rises at " << k;
    }
  }
}

TEST(VoiceTables, EnvelopeTimeTableFollowsItsCurveAndHitsTheListedRows) {
  const VoiceTables& t = voiceTables();
  struct Row {
    int k;
    int32_t value;
  };
  for (const Row r : {Row{0, 0}, Row{1, 146}, Row{2, 303}, Row{64, 137722}, Row{100, 1449326},
                      Row{126, 7860691}, Row{127, 8388607}}) {
    EXPECT_EQ(t.modEnvTime[r.k], r.value) << "E[" << r.k << "]";
  }
  for (int k = 0; k < 128; ++k) {
    EXPECT_LE(std::abs(t.modEnvTime[k] - modEnvTimeCurve(k)), 4.0) << "E[" << k << "]";
    if (k > 0) {
      EXPECT_GT(t.modEnvTime[k], t.modEnvTime[k - 1]) << "E rises at " << k;
    }
  }
}

TEST(VoiceTables, DrumPitchRatiosAreThirtyTwoStepsPerOctave) {
  const VoiceTables& t = voiceTables();
  EXPECT_FLOAT_EQ(t.pitchRatio[0], 0.25f);
  EXPECT_FLOAT_EQ(t.pitchRatio[32], 0.5f);
  EXPECT_FLOAT_EQ(t.pitchRatio[64], 1.0f);
  EXPECT_FLOAT_EQ(t.pitchRatio[96], 2.0f);
  EXPECT_NEAR(t.pitchRatio[127], 3.91429, 5e-6);
  for (int i = 0; i < 128; ++i) {
    const double exact = std::exp2((i - 64) / 32.0);
    // Six significant digits.
    EXPECT_LE(std::abs(t.pitchRatio[i] - exact) / exact, 5.1e-6) << i;
  }
}

TEST(VoiceTables, DrumDepthTableIsSignedSquareLaw) {
  const VoiceTables& t = voiceTables();
  EXPECT_EQ(t.depth[64], 0);
  EXPECT_EQ(t.depth[65], 541064);
  EXPECT_EQ(t.depth[63], -541064);
  EXPECT_EQ(t.depth[1], -2147483647);
  EXPECT_EQ(t.depth[0], -2147483647);
  EXPECT_EQ(t.depth[127], 2147483647);
  EXPECT_EQ(t.depth[96], static_cast<int32_t>(std::lround(2147483647.0 * (32.0 / 63) * (32.0 / 63))));
}

TEST(VoiceTables, CentAndSemitoneTablesAreQ16Powers) {
  const VoiceTables& t = voiceTables();
  EXPECT_EQ(t.semitoneUp[0], 65536);
  EXPECT_EQ(t.semitoneDown[0], 65536);
  EXPECT_EQ(t.semitoneUp[12], 131072);
  EXPECT_EQ(t.semitoneDown[12], 32768);
  EXPECT_EQ(t.semitoneUp[48], 16 * 65536);
  EXPECT_EQ(t.semitoneDown[48], 4096);
  EXPECT_EQ(t.centUp[0], 65536);
  EXPECT_EQ(t.centUp[50], std::lround(65536 * std::exp2(50 / 1200.0)));
  EXPECT_EQ(t.centDown[99], std::lround(65536 * std::exp2(-99 / 1200.0)));
  EXPECT_EQ(t.semitoneUp[127], std::lround(65536 * std::exp2(127 / 12.0)));
}

TEST(VoiceTables, FrequencyScaleAndLowBoostConstantAt44100) {
  EXPECT_EQ(frequencyScale(44100.0f), 7430384);
  EXPECT_EQ(frequencyScale(48000.0f), 6826665);
  EXPECT_EQ(lowBoostConstant(44100.0f), 6884140);
  EXPECT_EQ(lowBoostCoefficient(0), -4194303);
  EXPECT_EQ(lowBoostCoefficient(127), 8380221);
}

TEST(VoiceTables, DecayXFollowsBothSegments) {
  // k = 0: 2048383 + (-127)·127² = 0, so X is the segment's base.
  EXPECT_EQ(decayX(0), 8136949u);
  // k = 31: 2048383 + (-3)·3² = 2048356; × 7917 >> 16 = 247449.
  EXPECT_EQ(decayX(31), 8136949u + ((2048356ull * 7917) >> 16));
  // k = 127: (65024 - 65024)² = 0, so 36290 × 476541784 >> 32 = 4026.
  EXPECT_EQ(decayX(127), 8384413u + ((36290ull * 476541784ull) >> 32));
  EXPECT_EQ(decayX(32), 8384413u + (((36290ull - ((48640ull * 48640ull) >> 16)) * 476541784ull) >> 32));
  // Rising, though the two top rows round to the same value.
  for (int k = 1; k < 127; ++k) EXPECT_GT(decayX(k), decayX(k - 1)) << k;
  EXPECT_EQ(decayX(127), decayX(126));
}

TEST(VoiceTables, DecayCoefficientsGiveTheStatedExponentialLengths) {
  // An exponential c^n falls from full scale below 1 after
  // ln(8388607) / -ln(c) samples: about 591 samples at Decay 0, 0.8 s at 31,
  // 1.8 s at 64, 6.9 s at 100 and 20.2 s at 127.
  int32_t table[128];
  buildDecayTable(44100.0f, table);
  struct Row {
    int k;
    double samples;
    double tolerance;
  };
  for (const Row r : {Row{0, 591, 0.01}, Row{31, 0.8 * 44100, 0.07}, Row{64, 1.8 * 44100, 0.05},
                      Row{100, 6.9 * 44100, 0.03}, Row{127, 20.2 * 44100, 0.03}}) {
    const double c = table[r.k] / 8388608.0;
    const double n = std::log(8388607.0) / -std::log(c);
    EXPECT_NEAR(n / r.samples, 1.0, r.tolerance) << "Decay " << r.k;
  }
  for (int k = 1; k < 128; ++k) EXPECT_GE(table[k], table[k - 1]) << k;
  EXPECT_LT(table[127], 8388607);
  // At a higher rate each sample decays less.
  int32_t table96[128];
  buildDecayTable(96000.0f, table96);
  for (int k = 0; k < 128; ++k) EXPECT_GT(table96[k], table[k]) << k;
}

TEST(VoiceTables, PitchValueAndDepthAmount) {
  EXPECT_EQ(synthPitchValue(0), 83886);
  EXPECT_EQ(synthPitchValue(64), static_cast<int32_t>((4096ull * 21473502) >> 16) + 83886);
  EXPECT_EQ(synthPitchValue(127), static_cast<int32_t>((16129ull * 21473502) >> 16) + 83886);
  EXPECT_EQ(modDepthAmount(64), 0);
  EXPECT_EQ(modDepthAmount(127), static_cast<int32_t>((3969ull * 93952409) >> 16));
  EXPECT_EQ(modDepthAmount(1), -modDepthAmount(127));
  EXPECT_EQ(modDepthAmount(0), -static_cast<int32_t>((4096ull * 93952409) >> 16));
}

TEST(VoiceTables, LevelGainPins) {
  EXPECT_EQ(levelGain(127, 127, false, kSynthLevelConstant), 5872024);
  EXPECT_EQ(levelGain(127, 100, false, kSynthLevelConstant), 3640662);
  EXPECT_EQ(levelGain(100, 100, false, kSynthLevelConstant), 2257215);
  EXPECT_EQ(levelGain(127, 127, true, kSynthLevelConstant), 0);
  EXPECT_EQ(levelGain(0, 127, false, kSynthLevelConstant), 0);
  // The drum constant: level 127 at velocity 127 is half of full scale.
  EXPECT_NEAR(levelGain(127, 127, false, kPcmLevelConstant), 4194304, 32);
  // The curve is square in level × velocity.
  EXPECT_NEAR(static_cast<double>(levelGain(64, 127, false, kSynthLevelConstant)) /
                  levelGain(127, 127, false, kSynthLevelConstant),
              (64.0 / 127) * (64.0 / 127), 1e-6);
}

TEST(VoiceTables, PanPositionIsLinearWithClampedEnds) {
  EXPECT_EQ(panPosition(0), 0);
  EXPECT_EQ(panPosition(1), 0);
  EXPECT_EQ(panPosition(2), 2 * 66577 - 66624);
  EXPECT_EQ(panPosition(64), 4194304);
  EXPECT_EQ(panPosition(127), 8388607);
  for (int p = 2; p < 127; ++p) EXPECT_EQ(panPosition(p + 1) - panPosition(p), p == 126 ? 8388607 - panPosition(126) : 66577);
}

}  // namespace
