#pragma once
// The main screen's fixed tables and the arithmetic behind the main dial,
// the tempo and the LCD texts, kept apart from the panel so that it is
// tested on its own.

#include <cstdint>
#include <string>

struct PanelParamRow {
  const char* name;
  int32_t min;
  int32_t max;
};

// Names and ranges of the panel's controls, indexed by the control's tag.
extern const PanelParamRow kPanelPartParams[13];
extern const PanelParamRow kPanelEffectParams[3];
extern const PanelParamRow kPanelMasterParams[2];

struct EffectEditLabels {
  const char* name;
  const char* edit1;
  const char* edit2;
};
// One row per effect type value: the LCD titles of the two edit knobs.
inline constexpr int kNumEffectEditLabels = 13;
extern const EffectEditLabels kEffectEditLabels[kNumEffectEditLabels];

namespace panel {

inline constexpr double kTempoMin = 20.0;
inline constexpr double kTempoMax = 600.0;
inline constexpr double kTempoMaxForAbletonLink = 999.0;

// The tempo rule's clamp: below the minimum gives the minimum, else the
// smaller of t and the maximum (999 with Link sync on, else 600). A value
// that is not a number counts as the minimum.
double clampTempo(double bpm, bool linkOn);
// trunc(bpm × 10): the tenths the engine is given.
int32_t tempoTenths(double bpm);
// A Link session tempo in tenths, rounded to the nearest (halves away from zero).
int32_t linkTempoTenths(double sessionBpm);
// "%.1f" of tenths × 0.1 (1205 shows "120.5").
std::string tempoText(int32_t tenths);
// "%.3d": at least three digits, zero-padded.
std::string threeDigits(int64_t value);
// The pattern number p after the pattern at `from` moved to `to`.
int32_t remapPatternNumber(int32_t p, int32_t from, int32_t to);
// Up to 16 characters of a fixed-size name field, stopping at its end.
std::string recordName(const char* field, size_t size);
// The edit label row of an effect type value; the first row outside the table.
const EffectEditLabels& effectEditLabels(int64_t type);

}  // namespace panel
