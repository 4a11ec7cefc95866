#pragma once
// Which positions of an effect's delay lines may hold anything but zero.
// The effects write all their lines at one cursor that steps one position
// per frame and wraps at the line length, so what was written since the
// lines were last all zero is one circular run ending at the cursor: the
// effect's reset clears that run instead of the whole lines, and an effect
// that sits unused can have it cleared piece by piece ahead of its reset.
// Audio thread only (with the effect that owns it).

#include <algorithm>
#include <cstdint>

class DirtySpan {
 public:
  // `length`: the line length, a power of two.
  explicit constexpr DirtySpan(uint32_t length) : length_(length) {}

  // `frames` positions were written, the first at `cursor`.
  void wrote(uint32_t cursor, int32_t frames) {
    if (frames <= 0) return;
    if (count_ == 0) start_ = cursor;
    count_ = static_cast<uint32_t>(std::min<uint64_t>(length_, uint64_t{count_} + static_cast<uint32_t>(frames)));
  }

  // Positions that may hold non-zero samples.
  uint32_t dirty() const { return count_; }

  // Hands the oldest of them, at most `budget`, to clear(from, n) in pieces
  // that do not wrap; returns how many positions it handed over.
  template <typename Clear>
  uint32_t clear(uint32_t budget, Clear&& clearRange) {
    uint32_t done = 0;
    while (done < budget && count_ > 0) {
      const uint32_t n = std::min({budget - done, count_, length_ - start_});
      clearRange(start_, n);
      start_ = (start_ + n) & (length_ - 1);
      count_ -= n;
      done += n;
    }
    return done;
  }

 private:
  uint32_t length_;
  uint32_t start_ = 0;
  uint32_t count_ = 0;
};
