#pragma once
// The voices' parameter smoother: three interleaved one-pole chains. Each new
// output is computed from the output two steps before it, so a jump in the
// target is followed within three steps by all three chains.
//
//   y_new = ((a × y0) >> 23) + ((b × target) >> 23),  a = 8323071, b = 65536
//
// Once an output lands exactly on the target the smoother settles and stops
// working until the next target. Stages read value() before calling step().
//
// Not thread-safe: owned by one voice and used on the audio thread only.
// Real-time-safe (no allocation, no locks).

#include <cstdint>

class ParamSmoother {
 public:
  static constexpr int64_t kA = 8323071;
  static constexpr int64_t kB = 65536;

  // Jumps to `v` at once and settles there.
  void setValue(int32_t v) {
    y0_ = y1_ = y2_ = target_ = v;
    settled_ = true;
    stalled_ = false;
  }
  // Starts moving towards `t`.
  void setTarget(int32_t t) {
    target_ = t;
    settled_ = false;
    stalled_ = false;
  }
  [[gnu::always_inline]] void step() {
    if (settled_ || stalled_) return;
    const int32_t y = static_cast<int32_t>(((kA * y0_) >> 23) + ((kB * target_) >> 23));
    if (y == target_) {
      setValue(target_);
      return;
    }
    // Rounded down, a chain can come to rest short of the target: once all
    // three outputs and the new one agree, every later step repeats them.
    if (y == y0_ && y == y1_ && y == y2_) {
      stalled_ = true;
      return;
    }
    y0_ = y1_;
    y1_ = y2_;
    y2_ = y;
  }

  // The newest output.
  int32_t value() const { return y2_; }
  int32_t target() const { return target_; }
  bool settled() const { return settled_; }
  // No step moves the output any more: settled, or at rest short of the
  // target.
  bool holding() const { return settled_ || stalled_; }

 private:
  int32_t y0_ = 0;
  int32_t y1_ = 0;
  int32_t y2_ = 0;
  int32_t target_ = 0;
  bool settled_ = true;
  bool stalled_ = false;
};
