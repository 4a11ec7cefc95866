#pragma once
// The ranges a pattern record may hold once the library or the engine has
// it, written out field by field from the record's own tables, so that a
// fuzz target checks what it is handed without asking the clamp it tests.

#include <cstdint>
#include <string>

#include "engine/record/param_id.h"
#include "engine/record/param_tables.h"
#include "engine/record/pattern_record.h"

namespace igbfuzz {

// The first field of `r` outside its range, with its value; empty when
// every field is in range.
inline std::string outOfRange(const PatternRecord& r) {
  std::string bad;
  // `what` and `index` name the field; the text is made only for the first
  // field out of range.
  auto test = [&](const char* what, int index, int64_t v, int64_t lo, int64_t hi) {
    if (bad.empty() && (v < lo || v > hi))
      bad = std::string(what) + (index >= 0 ? " " + std::to_string(index) : "") + " is " + std::to_string(v);
  };
  for (int p = 0; p < kNumParts; ++p)
    for (int i = 0; i < kNumPartParams; ++i) {
      const PartParamInfo* info = partParamInfo(p, i);
      test(info->name, p, r.synthParams[p][i], info->min, info->max);
    }
  const fxParams& fx = r.effectParams[0];
  test("effect type", -1, fx.type, 0, kNumEffectTypes - 1);
  test("effect edit 1", -1, fx.edit1, 0, 127);
  test("effect edit 2", -1, fx.edit2, 0, 127);
  test("effect switch", -1, fx.trigger, 0, 1);
  for (int m = 0; m < kNumParamIds; ++m) {
    const motionParams& motion = r.motionParams[m];
    test("motion switch", m, motion.enabled, 0, 1);
    test("motion track", m, motion.motionId, kNoParam, kNumParamIds - 1);
    for (int s = 0; s < kNumSteps; ++s) {
      test("motion value", m, motion.value[s], 0, 127);
      test("motion trigger", m, motion.trigger[s], 0, 1);
    }
  }
  const seqParams& q = r.sequencerParams;
  test("tempo", -1, q.tempo, 200, 6000);
  test("swing", -1, q.swing, 50, 75);
  test("length", -1, q.length, 1, 4);
  test("last step", -1, q.lastStep, 1, 16);
  test("accent level", -1, q.accentLevel, 0, 127);
  test("accent motion", -1, q.accentMotionType, 0, 2);
  test("cross/ring", -1, q.crossRingMod, 0, 2);
  for (int p = 0; p < kNumParts; ++p)
    for (int s = 0; s < kNumSteps; ++s) test("step of part", p, q.trigger[p][s], 0, 1);
  for (int s = 0; s < kNumSteps; ++s) test("accent step", s, q.accent[s], 0, 1);
  return bad;
}

}  // namespace igbfuzz
