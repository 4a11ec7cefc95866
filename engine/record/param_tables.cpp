#include "engine/record/param_tables.h"

#include <cstdio>

#include "engine/record/drum_sample_info.h"

#define PART_PARAM_ROWS                                                                    \
  {"Pitch", 0, 127}, {"Wave", 0, 3}, {"Mod Depth", 0, 127}, {"Mod Speed", 0, 127},         \
      {"Mod Type", 0, 5}, {"Decay", 0, 127}, {"Level", 0, 127}, {"Pan", 0, 127},           \
      {"Low Boost", 0, 127}, {"Motion Seq", 0, 2}, {"Mute", 0, 1}, {"FX Send", 0, 1},      \
      {"Accent", 0, 1}

const PartParamInfo kSynthPartParamInfo[13] = {PART_PARAM_ROWS};
const PartParamInfo kPcmPartParamInfo[13] = {PART_PARAM_ROWS};
#undef PART_PARAM_ROWS

const PartParamInfo kAccentParamInfo[2] = {{"Accent Level", 0, 127}, {"Accent Motion", 0, 2}};

const EffectTypeInfoRow EffectTypeInfo[kNumEffectTypeInfo] = {
    {"Short Delay", "Time", "Depth"},   {"BPM Delay", "Time", "Depth"},
    {"GrainShifter", "Speed", "Balance"}, {"Reverb", "Time", "Level"},
    {"Chorus/Flg", "Speed", "Depth"},   {"Filter", "Cutoff", "Resonance"},
    {"Talking Mod", "Formant", "Offset"}, {"Decimator", "Frequency", "Bit"},
    {"Compressor", "Sens.", "Attack"},  {"EQ", "Low Gain", "High Gain"},
    {"BPF", "Cutoff", "Resonance"},     {"HPF", "Cutoff", "Resonance"},
    {"SmoothHall", "Time", "Level"},
};

const char* const kWaveNames[4] = {"Sine", "Triangle", "Square", "Saw"};
const char* const kModTypeNames[6] = {"Saw Down", "Square", "Triangle", "Sample&Hold", "Noise", "Envelope"};
const char* const kMotionSeqNames[3] = {"Off", "Smooth", "Trig Hold"};
const char* const kPartNames[8] = {"Synth 1",      "Synth 2",    "Synth 3", "Synth 4",
                                   "HiHat Closed", "HiHat Open", "Cymbal",  "Clap Snare"};

namespace {

std::string format(const char* fmt, int value) {
  char buf[16];
  std::snprintf(buf, sizeof buf, fmt, value);
  return buf;
}

template <size_t N>
std::string nameAt(const char* const (&names)[N], int32_t value) {
  if (value < 0 || static_cast<size_t>(value) >= N) return {};
  return names[value];
}

}  // namespace

const PartParamInfo* partParamInfo(int32_t part, int32_t index) {
  if (part < 0 || part >= 8 || index < 0 || index >= 13) return nullptr;
  return part < 4 ? &kSynthPartParamInfo[index] : &kPcmPartParamInfo[index];
}

std::string partParameterText(int32_t part, int32_t index, int32_t value) {
  if (part < 0 || part >= 8) return {};
  switch (index) {
    case kWave:
      if (part < 4) return nameAt(kWaveNames, value);
      if (value < 0 || value > 3) return {};
      return drumSampleInfo(static_cast<uint32_t>((part - 4) * 4 + value)).name;
    case kModDepth:
      if (value == 64) return "000";
      // The distance is shown with two digits: -64 .. +63.
      return value < 64 ? format("-%02d", 64 - value) : format("+%02d", value - 64);
    case kModType: return nameAt(kModTypeNames, value);
    case kPan:
      if (value < 64) return format("L%02d", (64 - value) < 63 ? (64 - value) : 63);
      if (value == 64) return "Center";
      if (value <= 127) return format("R%02d", value - 64);
      return {};
    case kMotionSeq: return nameAt(kMotionSeqNames, value);
    default: return format("%03d", value);
  }
}

std::string effectParameterText(int32_t /*set*/, int32_t index, int32_t value) {
  switch (index) {
    case 0:
      if (value < 0 || value >= kNumEffectTypeInfo) return {};
      return EffectTypeInfo[value].name;
    case 1:
    case 2: return format("%03d", value);
    case 3:
      if (value == 0) return "Off";
      if (value == 1) return "On";
      return {};
    default: return {};
  }
}

std::string numberText(int64_t value) { return std::to_string(value); }
