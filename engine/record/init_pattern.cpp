#include "engine/record/init_pattern.h"

#include <cstring>

#include "engine/record/param_id.h"

PatternRecord makeInitPattern() {
  PatternRecord r = PatternRecord::zeroed();
  r.versionParams.dataVersion = PatternRecord::kDataVersion;
  r.versionParams.allowableDevice = 0;
  std::strncpy(r.tagParams.name, "Init Pattern", sizeof r.tagParams.name);
  r.effectParams[0] = fxParams{0, 64, 64, 0};
  for (int p = 0; p < kNumParts; ++p) {
    synthParams& s = r.synthParams[p];
    s.pitch = 64;
    s.waveform = 0;
    s.modDepth = 64;  // centre: no modulation
    s.modSpeed = 64;
    s.modType = 0;
    s.decay = 64;
    s.level = 100;
    s.pan = 64;
    s.lowBoost = 0;
    s.motionType = 0;
    s.mute = 0;
    s.fxSend = 0;
    s.accentStatus = 1;
  }
  for (auto& m : r.motionParams) m.motionId = kNoParam;
  seqParams& q = r.sequencerParams;
  q.tempo = 1200;
  q.swing = 50;
  q.length = 1;
  q.lastStep = 16;
  q.accentLevel = 100;
  q.accentMotionType = 0;
  q.crossRingMod = 0;
  return r;
}
