#pragma once
// The engine's constant parameter tables and the display texts of values.

#include <cstdint>
#include <string>

#include "engine/record/param_id.h"

struct PartParamInfo {
  const char* name;
  int32_t min;
  int32_t max;
};

struct EffectTypeInfoRow {
  const char* name;
  const char* edit1;
  const char* edit2;
};

// 13 rows each, indexed by the part parameter index. The synthesizer and the
// drum-sample parts keep separate tables which hold the same rows.
extern const PartParamInfo kSynthPartParamInfo[13];
extern const PartParamInfo kPcmPartParamInfo[13];
// "Accent Level" 0-127, "Accent Motion" 0-2.
extern const PartParamInfo kAccentParamInfo[2];
// Rows 0-7 are the effect types; rows 8-12 have no effect behind them.
inline constexpr int kNumEffectTypeInfo = 13;
inline constexpr int kNumEffectTypes = 8;
extern const EffectTypeInfoRow EffectTypeInfo[kNumEffectTypeInfo];

// Names of the synthesizer waveforms, modulation types and motion modes.
extern const char* const kWaveNames[4];
extern const char* const kModTypeNames[6];
extern const char* const kMotionSeqNames[3];
// "Synth 1" ... "Clap Snare".
extern const char* const kPartNames[8];

// The parameter table row for a part (0-7) and index (0-12); nullptr outside.
const PartParamInfo* partParamInfo(int32_t part, int32_t index);

// Display text of a part parameter value; empty for a part of 8 or more and
// for values without a text (a waveform past its list, say).
std::string partParameterText(int32_t part, int32_t index, int32_t value);
// Display text of an effect parameter (index 0 type, 1-2 edits, 3 on/off).
std::string effectParameterText(int32_t set, int32_t index, int32_t value);
// Decimal text of an integer.
std::string numberText(int64_t value);
