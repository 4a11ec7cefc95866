#include "app/panel_logic.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "engine/interfaces/pattern_library_observer.h"

const PanelParamRow kPanelPartParams[13] = {
    {"Pitch", 0, 127},     {"Wave", 0, 3},       {"Mod Depth", 0, 127}, {"Mod Speed", 0, 127}, {"Mod Type", 0, 5},
    {"Decay", 0, 127},     {"Level", 0, 127},    {"Pan", 0, 127},       {"Low Boost", 0, 127}, {"Motion Seq", 0, 2},
    {"Mute", 0, 1},        {"FX Send", 0, 1},    {"Accent", 0, 1},
};

const PanelParamRow kPanelEffectParams[3] = {{"Effect Type", 0, 7}, {"FX Edit1", 0, 127}, {"FX Edit2", 0, 127}};

const PanelParamRow kPanelMasterParams[2] = {{"Master Vol", 0, 127}, {"Tube Gain", 0, 127}};

const EffectEditLabels kEffectEditLabels[kNumEffectEditLabels] = {
    {"Short Delay", "Time", "Depth"},       {"BPM Delay", "Time", "Depth"},    {"GrainShifter", "Speed", "Balance"},
    {"Reverb", "Time", "Level"},            {"Chorus/Flg", "Speed", "Depth"},  {"Filter", "Cutoff", "Resonance"},
    {"Talking Mod", "Formant", "Offset"},   {"Decimator", "Frequency", "Bit"}, {"Compressor", "Sens.", "Attack"},
    {"EQ", "Low Gain", "High Gain"},        {"BPF", "Cutoff", "Resonance"},    {"HPF", "Cutoff", "Resonance"},
    {"SmoothHall", "Time", "Level"},
};

namespace panel {

double clampTempo(double bpm, bool linkOn) {
  const double max = linkOn ? kTempoMaxForAbletonLink : kTempoMax;
  if (!(bpm >= kTempoMin)) return kTempoMin;  // also catches NaN
  return bpm < max ? bpm : max;
}

int32_t tempoTenths(double bpm) { return static_cast<int32_t>(std::trunc(bpm * 10.0)); }

int32_t linkTempoTenths(double sessionBpm) { return static_cast<int32_t>(std::lround(sessionBpm * 10.0)); }

std::string tempoText(int32_t tenths) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.1f", tenths * 0.1);
  return buf;
}

std::string threeDigits(int64_t value) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.3lld", static_cast<long long>(value));
  return buf;
}

int32_t remapPatternNumber(int32_t p, int32_t from, int32_t to) { return movedPatternNumber(p, from, to); }

std::string recordName(const char* field, size_t size) {
  const size_t n = std::min<size_t>(size, 16);
  return std::string(field, strnlen(field, n));
}

const EffectEditLabels& effectEditLabels(int64_t type) {
  if (type < 0 || type >= kNumEffectEditLabels) return kEffectEditLabels[0];
  return kEffectEditLabels[type];
}

}  // namespace panel
