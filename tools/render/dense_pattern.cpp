#include "tools/render/dense_pattern.h"

#include <algorithm>
#include <cstring>

#include "engine/record/init_pattern.h"
#include "engine/record/param_id.h"

namespace {

// A motion slot whose value walks from `from` to `to` and back over the 64
// steps, with a value on every step: the tracks glide between all of them.
void triangleMotion(PatternRecord& r, ParamId id, int32_t from, int32_t to) {
  motionParams& m = r.motionParams[id];
  m.enabled = 1;
  m.motionId = kNoParam;
  for (int s = 0; s < kNumSteps; ++s) {
    const int32_t phase = s < 32 ? s : 63 - s;
    m.trigger[s] = 1;
    m.value[s] = static_cast<int16_t>(from + (to - from) * phase / 31);
  }
}

}  // namespace

PatternRecord makeDensePattern(const DensePatternOptions& o) {
  PatternRecord r = makeInitPattern();
  std::strncpy(r.tagParams.name, "Dense Test", sizeof r.tagParams.name);
  std::strncpy(r.tagParams.author, "render", sizeof r.tagParams.author);
  r.effectParams[0] = fxParams{std::clamp(o.effectType, 0, 7), 100, 90, 1};
  for (int p = 0; p < kNumParts; ++p) {
    synthParams& s = r.synthParams[p];
    s.pitch = 40 + p * 9;
    s.waveform = p % 4;
    s.modDepth = 96;
    s.modSpeed = 50 + p * 8;
    s.modType = p % 6;  // 4 is Noise, 3 Sample&Hold
    s.decay = 90;
    s.level = 110;
    s.pan = 16 + p * 14;
    s.lowBoost = p * 16;
    s.motionType = 1;  // smooth: motion is heard while playing
    s.mute = 0;
    s.fxSend = 1;
    s.accentStatus = 1;
    for (int st = 0; st < kNumSteps; ++st) r.sequencerParams.trigger[p][st] = 1;
    triangleMotion(r, p * 16 + kPitch, 30, 100);
    triangleMotion(r, p * 16 + kLevel, 60, 127);
    triangleMotion(r, p * 16 + kPan, 0, 127);
    triangleMotion(r, p * 16 + kModDepth, 20, 120);
  }
  triangleMotion(r, kParamAccentLevel, 0, 127);
  triangleMotion(r, kParamEffectEdit1, 10, 120);
  seqParams& q = r.sequencerParams;
  q.tempo = static_cast<int16_t>(std::clamp(o.tempoTenths, 200, 6000));
  q.swing = 50;
  q.length = 4;
  q.lastStep = 16;
  q.accentLevel = 100;
  q.accentMotionType = 1;
  q.crossRingMod = static_cast<int16_t>(std::clamp(o.crossRingMod, 0, 2));
  for (int st = 0; st < kNumSteps; ++st) q.accent[st] = st % 2 == 0 ? 1 : 0;
  return r;
}
