#include "engine/record/param_tables.h"

#include <gtest/gtest.h>

#include "engine/record/drum_sample_info.h"
#include "engine/record/param_id.h"

namespace {

TEST(ParamId, MakeParamIdGroups) {
  struct Case { int group, part, index; ParamId expected; };
  const Case cases[] = {
      {0, 0, 0, 0},     {0, 3, 12, 60},   {64, 5, 2, 82},  {64, 7, 12, 124},
      {128, 0, 0, 128}, {128, 0, 1, 129}, {132, 0, 0, 132}, {132, 0, 3, 135},
      {7, 3, 3, 0},     {-1, 1, 1, 0},
  };
  for (const auto& c : cases)
    EXPECT_EQ(makeParamId(c.group, c.part, c.index), c.expected) << c.group << "/" << c.part << "/" << c.index;
}

TEST(ParamTables, PartParameterRows) {
  const char* names[13] = {"Pitch", "Wave", "Mod Depth", "Mod Speed", "Mod Type", "Decay", "Level",
                           "Pan", "Low Boost", "Motion Seq", "Mute", "FX Send", "Accent"};
  const int maxima[13] = {127, 3, 127, 127, 5, 127, 127, 127, 127, 2, 1, 1, 1};
  for (int i = 0; i < 13; ++i) {
    for (int part : {0, 4}) {
      const PartParamInfo* info = partParamInfo(part, i);
      ASSERT_NE(info, nullptr);
      EXPECT_STREQ(info->name, names[i]);
      EXPECT_EQ(info->min, 0);
      EXPECT_EQ(info->max, maxima[i]);
    }
  }
  EXPECT_EQ(partParamInfo(8, 0), nullptr);
  EXPECT_EQ(partParamInfo(0, 13), nullptr);
  EXPECT_EQ(partParamInfo(-1, 0), nullptr);
  EXPECT_STREQ(kAccentParamInfo[0].name, "Accent Level");
  EXPECT_EQ(kAccentParamInfo[1].max, 2);
}

TEST(ParamTables, PartParameterTexts) {
  struct Case { int part, index, value; const char* text; };
  const Case cases[] = {
      {0, kWave, 0, "Sine"},          {1, kWave, 3, "Saw"},          {2, kWave, 4, ""},
      {4, kWave, 0, "HH Closed 1"},   {5, kWave, 1, "HH Open 2"},    {6, kWave, 3, "Cymbal 4"},
      {7, kWave, 3, "Snare 2"},       {7, kWave, 4, ""},             {7, kWave, -1, ""},
      {0, kModDepth, 0, "-64"},       {0, kModDepth, 63, "-01"},     {0, kModDepth, 64, "000"},
      {0, kModDepth, 127, "+63"},     {0, kModType, 0, "Saw Down"},  {0, kModType, 3, "Sample&Hold"},
      {0, kModType, 5, "Envelope"},   {0, kModType, 6, ""},          {0, kPan, 0, "L63"},
      {0, kPan, 1, "L63"},            {0, kPan, 63, "L01"},          {0, kPan, 64, "Center"},
      {0, kPan, 65, "R01"},           {0, kPan, 127, "R63"},         {0, kPan, 128, ""},
      {0, kMotionSeq, 0, "Off"},      {0, kMotionSeq, 1, "Smooth"},  {0, kMotionSeq, 2, "Trig Hold"},
      {0, kMotionSeq, 3, ""},         {0, kPitch, 7, "007"},         {3, kDecay, 127, "127"},
      {4, kLevel, 0, "000"},          {8, kPitch, 7, ""},            {-1, kPitch, 7, ""},
  };
  for (const auto& c : cases)
    EXPECT_EQ(partParameterText(c.part, c.index, c.value), c.text) << c.part << "/" << c.index << "/" << c.value;
}

TEST(ParamTables, EffectParameterTexts) {
  EXPECT_EQ(effectParameterText(0, 0, 0), "Short Delay");
  EXPECT_EQ(effectParameterText(0, 0, 7), "Decimator");
  EXPECT_EQ(effectParameterText(0, 0, 12), "SmoothHall");
  EXPECT_EQ(effectParameterText(0, 0, 13), "");
  EXPECT_EQ(effectParameterText(0, 1, 5), "005");
  EXPECT_EQ(effectParameterText(0, 2, 127), "127");
  EXPECT_EQ(effectParameterText(0, 3, 0), "Off");
  EXPECT_EQ(effectParameterText(0, 3, 1), "On");
  EXPECT_EQ(effectParameterText(0, 4, 1), "");
  EXPECT_EQ(numberText(-42), "-42");
}

TEST(DrumSampleInfo, RowsAndOutOfRange) {
  const DrumSampleInfo first = drumSampleInfo(0);
  EXPECT_TRUE(first.valid);
  EXPECT_EQ(first.start, 0u);
  EXPECT_EQ(first.end, 6039u);
  EXPECT_EQ(drumSampleInfo(5).rate, 48000u);
  EXPECT_EQ(drumSampleInfo(11).rate, 32000u);
  EXPECT_EQ(drumSampleInfo(15).end, 363335u);
  for (uint32_t i = 1; i < 16; ++i) EXPECT_EQ(drumSampleInfo(i).start, drumSampleInfo(i - 1).end + 3) << i;
  const DrumSampleInfo none = drumSampleInfo(16);
  EXPECT_FALSE(none.valid);
  EXPECT_EQ(none.start, 0u);
  EXPECT_EQ(none.rate, 44100u);
  EXPECT_STREQ(none.name, "");
}

}  // namespace
