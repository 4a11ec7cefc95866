#pragma once
// The signal stages both part voices run after their sound source: "Low
// Boost", level, pan and the dry/effect-send switch.
//
// Not thread-safe: each stage belongs to one voice and runs on the audio
// thread (the constructors run wherever the voice is built). Real-time-safe:
// no allocation, no locks.

#include <algorithm>
#include <cstdint>

#include "engine/voices/fixed_point.h"
#include "engine/voices/pan_lanes.h"
#include "engine/voices/param_smoother.h"
#include "engine/voices/voice_tables.h"

// "Low Boost": a one-pole filter y = a·y + b·x with b = 1 - c·a. Small values
// of a lift the top, values near 1 lift (and saturate) the bass. When the
// note's gate closes the input is ignored and the stored output dies away by
// a each sample; the tail is over once it falls below 8192.
class LowBoost {
 public:
  explicit LowBoost(float sampleRate) : c_(lowBoostConstant(sampleRate)) {}

  void start(int32_t lowBoost) {
    coefficient_.setValue(lowBoostCoefficient(lowBoost));
    a_ = coefficient_.value();
    b_ = bFor(a_);
    gate_ = true;
    tailFinished_ = false;
  }
  void setTarget(int32_t lowBoost) { coefficient_.setTarget(lowBoostCoefficient(lowBoost)); }
  void closeGate() { gate_ = false; }
  // The voice is silenced at once: nothing of the last note's output is
  // left for the next one to start from.
  void silence() {
    y_ = 0;
    gate_ = false;
    tailFinished_ = true;
  }

  [[gnu::always_inline]] int32_t process(int32_t s) {
    if (!gate_) return processTail();
    const int32_t a = coefficient_.value();
    coefficient_.step();
    return processGated(s, a);
  }

  // The frame loops take the coefficient ahead, for `n` gated frames at
  // once (coefficients() writes them and moves the glide on), and then run
  // processGated() with each frame's value. Once the gate closes the glide
  // no longer matters: the tail dies away by the last coefficient used, and
  // the next note starts the glide afresh.
  void coefficients(int32_t* out, uint32_t n) { coefficient_.run(out, n); }
  [[gnu::always_inline]] int32_t processGated(int32_t s, int32_t a) {
    if (a != a_) {
      a_ = a;
      b_ = bFor(a);
    }
    y_ = q23::clamp(q23::mul(a_, y_) + q23::mul(b_, s));
    return y_;
  }
  // The ungated step (process() with the gate closed).
  [[gnu::always_inline]] int32_t processTail() {
    y_ = q23::clamp(q23::mul(y_, a_));
    if (y_ > -8192 && y_ < 8192) tailFinished_ = true;
    return y_;
  }

  bool gate() const { return gate_; }
  bool tailFinished() const { return tailFinished_; }
  int32_t a() const { return a_; }
  int32_t b() const { return b_; }
  int32_t constant() const { return c_; }

 private:
  int32_t bFor(int32_t a) const { return 8388607 - static_cast<int32_t>(q23::mul(c_, a)); }

  int32_t c_;
  ParamSmoother coefficient_;
  int32_t a_ = 0;
  int32_t b_ = 0;
  int32_t y_ = 0;
  bool gate_ = false;
  bool tailFinished_ = true;
};

// Level: the gain of "Level" and the note's velocity, 0 when muted. Mute and
// velocity are fixed for a note; "Level" can move while it plays.
class LevelStage {
 public:
  explicit LevelStage(uint64_t constant) : constant_(constant) {}

  void start(int32_t level, int32_t velocity, bool mute) {
    level_ = level;
    velocity_ = velocity;
    mute_ = mute;
    gain_.setValue(levelGain(level_, velocity_, mute_, constant_));
  }
  void setLevel(int32_t level) {
    level_ = level;
    gain_.setTarget(levelGain(level_, velocity_, mute_, constant_));
  }
  [[gnu::always_inline]] int32_t process(int32_t y) {
    const int32_t g = gain_.value();
    gain_.step();
    return scale(g, y);
  }
  int32_t gain() const { return gain_.value(); }
  // The gains of the next `n` frames, the glide moved on by them; a loop
  // that used only `used` of them puts the glide where those left it with
  // keepGains(the stage as it was before, used).
  void gains(int32_t* out, uint32_t n) { gain_.run(out, n); }
  void keepGains(const LevelStage& before, uint32_t used) {
    gain_ = before.gain_;
    gain_.skip(used);
  }
  // process() with the frame's gain taken ahead.
  [[gnu::always_inline]] static int32_t scale(int32_t g, int32_t y) { return q23::clamp(q23::mul(g, y)); }

 private:
  uint64_t constant_;
  int32_t level_ = 0;
  int32_t velocity_ = 0;
  bool mute_ = false;
  ParamSmoother gain_;
};

// Linear pan: right gets q·s, left (1 - q)·s.
class PanStage {
 public:
  void start(int32_t pan) { position_.setValue(panPosition(pan)); }
  void setPan(int32_t pan) { position_.setTarget(panPosition(pan)); }
  [[gnu::always_inline]] void process(int32_t s, int32_t& left, int32_t& right) {
    const int64_t q = position_.value();
    position_.step();
    const int64_t r = q23::mul(q, s);
    right = static_cast<int32_t>(r > q23::kMax ? q23::kMax : r);
    left = q23::clamp(q23::mul(8388607 - q, s));
  }
  // Moves the glide one frame on without an output.
  void step() { position_.step(); }
  // `n` frames of process() with each output shifted to bus scale
  // (sample >> 8, as bus16::addScaled takes it): left into `left`, right
  // into `right`, at most kMaxRun frames. A Q23 input keeps both within 16
  // bits: each is then (q × s) >> 31 (for left with 1 - q), which the clamps
  // can no longer reach.
  static constexpr uint32_t kMaxRun = 64;
  void processRun(const int32_t* s, uint32_t n, int16_t* left, int16_t* right) {
    // The glide's positions first (a holding glide's all alike).
    int32_t q[kMaxRun];
    position_.run(q, n);
    uint32_t j = panLanes(s, q, n, left, right);
    for (; j < n; ++j) {
      const int64_t r = q23::mul(q[j], s[j]);
      right[j] = static_cast<int16_t>((r > q23::kMax ? q23::kMax : static_cast<int32_t>(r)) >> 8);
      left[j] = static_cast<int16_t>(q23::clamp(q23::mul(8388607 - int64_t{q[j]}, s[j])) >> 8);
    }
  }
  int32_t position() const { return position_.value(); }
  bool holding() const { return position_.holding(); }

 private:
  ParamSmoother position_;
};

// Gains of the two bus pairs (0 dry, 1 effect send): "FX Send" 1 sends to
// the effect only, 0 to the dry buses only. A change glides over a few
// samples so that switching does not click.
class SendGains {
 public:
  static constexpr int kPairs = 2;

  void setAtOnce(int32_t fxSend) {
    targetsFor(fxSend);
    for (int p = 0; p < kPairs; ++p) {
      current_[p] = target_[p];
      state_[p] = target_[p] * 32768;
    }
    smoothing_ = false;
  }
  void setTargets(int32_t fxSend) {
    const int32_t old0 = target_[0];
    const int32_t old1 = target_[1];
    targetsFor(fxSend);
    if (target_[0] != old0 || target_[1] != old1) smoothing_ = true;
  }
  void step() {
    if (!smoothing_) return;
    bool changed = false;
    for (int p = 0; p < kPairs; ++p) {
      if (current_[p] == target_[p]) continue;
      state_[p] += (target_[p] - (state_[p] >> 15)) * 32511;
      current_[p] = state_[p] >> 15;
      changed = true;
    }
    if (!changed) smoothing_ = false;
  }
  int32_t current(int pair) const { return current_[pair]; }
  int32_t target(int pair) const { return target_[pair]; }
  bool smoothing() const { return smoothing_; }

 private:
  void targetsFor(int32_t fxSend) {
    target_[0] = fxSend == 1 ? 0 : 32767;
    target_[1] = fxSend == 1 ? 32767 : 0;
  }

  int32_t target_[kPairs] = {32767, 0};
  int32_t state_[kPairs] = {32767 * 32768, 0};
  int32_t current_[kPairs] = {32767, 0};
  bool smoothing_ = false;
};

// Adds a panned Q23 pair into the four bus cursors (0 dry left, 1 dry right,
// 2 send left, 3 send right) at frame `i`, through each pair's gain.
inline void addToBuses(int16_t* const* buses, uint32_t i, const SendGains& sends, int32_t left,
                       int32_t right) {
  for (int p = 0; p < SendGains::kPairs; ++p) {
    const int32_t g = sends.current(p);
    if (g == 0) continue;
    bus16::addScaled(buses[2 * p][i], left, g);
    bus16::addScaled(buses[2 * p + 1][i], right, g);
  }
}

// The last stages of a voice over `n` frames of level-stage output `s`:
// pan, send gains, and the sums into the four bus cursors from frame
// `first`. Each stage's state moves as it would frame by frame. While the
// send gains hold still (every stretch but a switch's few frames) the pan
// runs once per frame into bus-scaled pairs, which are then added into the
// pairs that sound in whole runs.
inline void panIntoBuses(PanStage& pan, SendGains& sends, const int32_t* s, uint32_t n, int16_t* const* buses,
                         uint32_t first) {
  PanStage p = pan;
  if (sends.smoothing()) {
    for (uint32_t j = 0; j < n; ++j) {
      int32_t left;
      int32_t right;
      p.process(s[j], left, right);
      sends.step();
      addToBuses(buses, first + j, sends, left, right);
    }
  } else if (sends.current(0) == 0 && sends.current(1) == 0) {
    if (!p.holding()) {
      for (uint32_t j = 0; j < n; ++j) p.step();
    }
  } else {
    constexpr uint32_t kRun = PanStage::kMaxRun;
    int16_t left[kRun];
    int16_t right[kRun];
    for (uint32_t c = 0; c < n; c += kRun) {
      const uint32_t m = n - c < kRun ? n - c : kRun;
      p.processRun(s + c, m, left, right);
      for (int pair = 0; pair < SendGains::kPairs; ++pair) {
        const int32_t g = sends.current(pair);
        if (g == 0) continue;
        bus16::addScaledRun(buses[2 * pair] + first + c, left, m, g);
        bus16::addScaledRun(buses[2 * pair + 1] + first + c, right, m, g);
      }
    }
  }
  pan = p;
}
