#pragma once
// Engine parameter numbers. A ParamId (0-139) names every parameter that can
// be automated; it also indexes the record's motion slots and the
// sequencer's motion tracks.

#include <cstdint>

using ParamId = int32_t;

inline constexpr ParamId kNoParam = -1;
inline constexpr ParamId kParamAccentLevel = 128;
inline constexpr ParamId kParamAccentMotion = 129;
inline constexpr ParamId kParamEffectType = 132;
inline constexpr ParamId kParamEffectEdit1 = 133;
inline constexpr ParamId kParamEffectEdit2 = 134;
inline constexpr ParamId kParamEffectOnOff = 135;

// Part parameter indices (the field order of a synthParams row).
enum PartParam : int32_t {
  kPitch = 0,
  kWave = 1,
  kModDepth = 2,
  kModSpeed = 3,
  kModType = 4,
  kDecay = 5,
  kLevel = 6,
  kPan = 7,
  kLowBoost = 8,
  kMotionSeq = 9,
  kMute = 10,
  kFxSend = 11,
  kAccent = 12,
};

// Groups accepted by makeParamId.
inline constexpr int32_t kParamGroupSynth = 0;
inline constexpr int32_t kParamGroupPcm = 64;
inline constexpr int32_t kParamGroupAccent = 128;
inline constexpr int32_t kParamGroupEffect = 132;

// group 0 or 64: part × 16 + index (part is the absolute part 0-7);
// group 128: 128 + index; group 132: 132 + set × 8 + index; other groups: 0.
constexpr ParamId makeParamId(int32_t group, int32_t part, int32_t index) {
  switch (group) {
    case kParamGroupSynth:
    case kParamGroupPcm: return part * 16 + index;
    case kParamGroupAccent: return 128 + index;
    case kParamGroupEffect: return 132 + part * 8 + index;
    default: return 0;
  }
}

// The part (0-7) a part ParamId belongs to, or -1 for accent/effect ids.
constexpr int32_t partOfParamId(ParamId id) { return (id >= 0 && id < 128) ? id / 16 : -1; }
// The part parameter index (0-15) of a part ParamId.
constexpr int32_t indexOfParamId(ParamId id) { return id & 15; }
