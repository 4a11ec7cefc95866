#pragma once
// Tempo, swing, pattern length and last step turned into step lengths.
//
// Everything is 32-bit float on purpose: the order of the operations in
// update() decides the exact frame at which every step starts, and the
// pattern files, the bounce length and the effects' tempo sync all assume
// those frames. Render thread only.

#include <cstdint>

class StepClock {
 public:
  StepClock(uint32_t ppqn, float sampleRate);

  // Takes the layout from "Pattern Length" and "Last Step" every time; the
  // step lengths only when tempo (tenths of BPM) or swing changed.
  void update(int32_t tempo, int32_t swing, int32_t patternLength, int32_t lastStep);

  float sampleRate() const { return sampleRate_; }
  uint32_t ppqn() const { return ppqn_; }
  // The unswung step, and the two steps of a swung pair.
  float halfPair() const { return halfPair_; }
  float evenStep() const { return evenStep_; }
  float oddStep() const { return oddStep_; }
  int32_t tempo() const { return tempo_; }
  int32_t length() const { return length_; }
  int32_t stepsPerBar() const { return stepsPerBar_; }
  int32_t totalSteps() const { return totalSteps_; }
  int32_t swing() const { return swing_; }

  // The unswung length of the pattern, truncated to whole frames.
  int32_t lengthInFrames() const;

 private:
  float sampleRate_;
  uint32_t ppqn_;
  float halfPair_ = 0.0f;
  float evenStep_ = 0.0f;
  float oddStep_ = 0.0f;
  int32_t tempo_ = 1200;
  int32_t length_ = 1;
  int32_t stepsPerBar_ = 16;
  int32_t totalSteps_ = 16;
  int32_t swing_ = 0;
};
