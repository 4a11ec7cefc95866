#pragma once
// Adds or thins one part's step triggers and nudges one part's sound by
// small random steps, for the randomize edit modes.
//
// Main thread only; no lock.

#include <cstdint>

#include "engine/record/pattern_record.h"

class PatternRandomizer {
 public:
  virtual void randomizeSteps(int part, seqParams* params) = 0;
  virtual void randomizeSynthParameters(int32_t* values) = 0;
  virtual void setParameter(int id, const int* value) = 0;
  virtual ~PatternRandomizer() = default;
  virtual void seed() = 0;
  virtual uint32_t next() = 0;
};

class Randomizable {
 public:
  virtual void seed() = 0;
  virtual uint32_t next() = 0;
  virtual ~Randomizable() = default;
};

class Z31647PatternRandomizer : public PatternRandomizer, public Randomizable {
 public:
  // Seeded from the calendar clock, so every launch differs.
  Z31647PatternRandomizer();

  // Amount > 0 adds triggers (each step with about 1 − (31/32)^amount),
  // amount −1..−7 keeps each existing one with about 1 − (3/4)^(amount + 8),
  // −8 or less clears all, 0 changes nothing. Parts outside 0-7 are ignored.
  void randomizeSteps(int part, seqParams* params) override;
  // Moves values 0-8 of one part's parameter row by ±1 or ± the step size,
  // clamped to each parameter's range.
  void randomizeSynthParameters(int32_t* values) override;
  // id 0: amount, id 1: step size.
  void setParameter(int id, const int* value) override;

  void seed() override;
  // A fixed starting state, for reproducible results.
  void seed(uint32_t state) { state_ = state; }
  uint32_t next() override;

  uint32_t state() const { return state_; }
  int32_t amount() const { return amount_; }
  int32_t stepSize() const { return stepSize_; }

 private:
  uint32_t state_ = 0;
  int32_t amount_ = 1;
  int32_t stepSize_ = 4;
};
