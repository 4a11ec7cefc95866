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

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

class ParamSmoother {
 public:
  static constexpr int64_t kA = 8323071;
  static constexpr int64_t kB = 65536;

  // Jumps to `v` at once and settles there.
  void setValue(int32_t v) {
    y0_ = y1_ = y2_ = target_ = v;
    pull_ = pullOf(v);
    state_ = kSettled;
  }
  // Starts moving towards `t`.
  void setTarget(int32_t t) {
    target_ = t;
    pull_ = pullOf(t);
    state_ = kMoving;
  }
  [[gnu::always_inline]] void step() {
    if (state_ != kMoving) return;
    const int32_t y = next(y0_);
    if (y == target_) {
      setValue(target_);
      return;
    }
    // Rounded down, a chain can come to rest short of the target: once all
    // three outputs and the new one agree, every later step repeats them.
    if (y == y2_ && y == y1_ && y == y0_) {
      state_ = kStalled;
      return;
    }
    y0_ = y1_;
    y1_ = y2_;
    y2_ = y;
  }

  // `n` frames of value() then step(): out[j] is the value frame j reads.
  // Three steps at a time, the three chains being independent, until one
  // of them lands on the target; from there single steps settle it. A
  // chain at rest short of the target is not looked for on the way: its
  // steps repeat their values, as a stalled smoother's would, and the end
  // of the run marks it stalled (where single steps would mark it at the
  // next step: the values are the same). Works on a local copy, so that the
  // state stays in registers while `out` is written.
  void run(int32_t* out, uint32_t n) {
    if (n == 0) return;
    if (state_ != kMoving) {
      fill(out, n, y2_);
      return;
    }
    ParamSmoother s = *this;
    uint32_t j = 0;
    {
      // Every output lies within 32 bits; held in 64-bit registers, the
      // chains need no widening before each product, one step less on the
      // path from one output to the next.
      int64_t y0 = s.y0_;
      int64_t y1 = s.y1_;
      int64_t y2 = s.y2_;
      const int64_t pull = s.pull_;
      const int64_t target = s.target_;
      for (; j + 3 <= n; j += 3) {
        const int64_t c0 = follow(y0, pull);
        const int64_t c1 = follow(y1, pull);
        const int64_t c2 = follow(y2, pull);
        if (c0 == target || c1 == target || c2 == target) break;
        out[j] = static_cast<int32_t>(y2);
        out[j + 1] = static_cast<int32_t>(c0);
        out[j + 2] = static_cast<int32_t>(c1);
        y0 = c0;
        y1 = c1;
        y2 = c2;
      }
      s.y0_ = static_cast<int32_t>(y0);
      s.y1_ = static_cast<int32_t>(y1);
      s.y2_ = static_cast<int32_t>(y2);
    }
    for (; j < n; ++j) {
      out[j] = s.y2_;
      s.step();
    }
    if (s.state_ == kMoving && s.y0_ == s.y2_ && s.y1_ == s.y2_ && s.next(s.y2_) == s.y2_) s.state_ = kStalled;
    *this = s;
  }

  // `n` steps without their values.
  void skip(uint32_t n) {
    for (uint32_t j = 0; j < n && state_ == kMoving; ++j) step();
  }

  // The newest output.
  int32_t value() const { return y2_; }
  int32_t target() const { return target_; }
  bool settled() const { return state_ == kSettled; }
  // No step moves the output any more: settled, or at rest short of the
  // target.
  bool holding() const { return state_ != kMoving; }

 private:
  enum State : uint8_t { kMoving, kSettled, kStalled };

  // A holding glide's run: four values per store.
  static void fill(int32_t* out, uint32_t n, int32_t v) {
    uint32_t j = 0;
#if defined(__SSE2__)
    const __m128i four = _mm_set1_epi32(v);
    for (; j + 4 <= n; j += 4) _mm_storeu_si128(reinterpret_cast<__m128i*>(out + j), four);
#endif
    for (; j < n; ++j) out[j] = v;
  }

  // (b × target) >> 23, the part of every new output that the target gives.
  static int32_t pullOf(int32_t t) { return static_cast<int32_t>((kB * t) >> 23); }
  // The output that follows `y` in its chain, for a target's pull (within
  // 32 bits).
  [[gnu::always_inline]] static int64_t follow(int64_t y, int64_t pull) { return ((kA * y) >> 23) + pull; }
  [[gnu::always_inline]] int32_t next(int32_t y) const { return static_cast<int32_t>(follow(y, pull_)); }

  int32_t y0_ = 0;
  int32_t y1_ = 0;
  int32_t y2_ = 0;
  int32_t target_ = 0;
  int32_t pull_ = 0;
  State state_ = kSettled;
};
