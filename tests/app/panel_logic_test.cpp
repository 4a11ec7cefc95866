#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>

#include "app/panel_logic.h"
#include "engine/record/param_tables.h"

using namespace panel;

TEST(PanelLogicTest, TempoRuleClampsAndTruncatesToTenths) {
  struct Case {
    double bpm;
    bool link;
    int32_t tenths;
  };
  const Case cases[] = {
      {600.0, false, 6000}, {700.0, false, 6000}, {700.0, true, 7000},  {999.9, true, 9990},
      {1200.0, true, 9990}, {120.55, false, 1205}, {19.9, false, 200},   {20.0, false, 200},
      {-5.0, true, 200},    {std::numeric_limits<double>::infinity(), false, 6000},
      {std::numeric_limits<double>::quiet_NaN(), false, 200},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(tempoTenths(clampTempo(c.bpm, c.link)), c.tenths) << c.bpm << " link " << c.link;
  }
}

TEST(PanelLogicTest, TempoTextsAndLinkRounding) {
  EXPECT_EQ(tempoText(1205), "120.5");
  EXPECT_EQ(tempoText(1200), "120.0");
  EXPECT_EQ(tempoText(200), "20.0");
  // A session tempo of 99.96 is 999.6 tenths: 1000, so the dial shows 100.
  EXPECT_EQ(linkTempoTenths(99.96), 1000);
  EXPECT_EQ(static_cast<int>(linkTempoTenths(99.96) * 0.1), 100);
  EXPECT_EQ(linkTempoTenths(120.05), 1201) << "halves round away from zero";
  EXPECT_EQ(linkTempoTenths(120.04), 1200);
}

TEST(PanelLogicTest, ThreeDigitValueTexts) {
  EXPECT_EQ(threeDigits(7), "007");
  EXPECT_EQ(threeDigits(0), "000");
  EXPECT_EQ(threeDigits(120), "120");
  EXPECT_EQ(threeDigits(127), "127");
  EXPECT_EQ(threeDigits(1234), "1234");
  EXPECT_EQ(threeDigits(-5), "-005");
}

TEST(PanelLogicTest, PatternNumbersFollowAMove) {
  struct Case {
    int32_t p, from, to, expected;
  };
  const Case cases[] = {
      {5, 3, 7, 4}, {5, 7, 3, 6}, {3, 3, 7, 7}, {7, 7, 3, 3}, {7, 3, 7, 6},
      {3, 7, 3, 4}, {2, 3, 7, 2}, {8, 3, 7, 8}, {4, 4, 4, 4}, {0, 1, 0, 1},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(remapPatternNumber(c.p, c.from, c.to), c.expected) << c.p << " " << c.from << "->" << c.to;
  }
}

TEST(PanelLogicTest, TablesMatchTheEngine) {
  for (int i = 0; i < 13; ++i) {
    EXPECT_STREQ(kPanelPartParams[i].name, kSynthPartParamInfo[i].name);
    EXPECT_EQ(kPanelPartParams[i].min, kSynthPartParamInfo[i].min);
    EXPECT_EQ(kPanelPartParams[i].max, kSynthPartParamInfo[i].max);
  }
  for (int i = 0; i < kNumEffectEditLabels; ++i) {
    EXPECT_STREQ(kEffectEditLabels[i].name, EffectTypeInfo[i].name);
    EXPECT_STREQ(kEffectEditLabels[i].edit1, EffectTypeInfo[i].edit1);
    EXPECT_STREQ(kEffectEditLabels[i].edit2, EffectTypeInfo[i].edit2);
  }
  EXPECT_STREQ(effectEditLabels(5).edit1, "Cutoff");
  EXPECT_STREQ(effectEditLabels(5).edit2, "Resonance");
  EXPECT_STREQ(kPanelMasterParams[0].name, "Master Vol");
  EXPECT_STREQ(kPanelMasterParams[1].name, "Tube Gain");
}

TEST(PanelLogicTest, RecordNameStopsAtSixteenOrTheEnd) {
  char full[16];
  std::memcpy(full, "ABCDEFGHIJKLMNOP", 16);
  EXPECT_EQ(recordName(full, sizeof full), "ABCDEFGHIJKLMNOP");
  char shortName[16] = "Funk 01";
  EXPECT_EQ(recordName(shortName, sizeof shortName), "Funk 01");
}
