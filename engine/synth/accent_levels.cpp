#include "engine/synth/accent_levels.h"

#include <algorithm>

const uint8_t accentCurve[128] = {
    100, 100, 101, 102, 103, 103, 104, 104, 105, 106, 106, 107, 107, 107, 108, 108,
    109, 109, 109, 110, 110, 111, 111, 111, 112, 112, 112, 113, 113, 113, 113, 114,
    114, 114, 114, 115, 115, 115, 115, 116, 116, 116, 116, 117, 117, 117, 117, 117,
    118, 118, 118, 118, 118, 118, 119, 119, 119, 119, 119,
    120, 120, 120, 120, 120, 120, 120,                 // from 59
    121, 121, 121, 121, 121, 121, 121,                 // from 66
    122, 122, 122, 122, 122, 122, 122,                 // from 73
    123, 123, 123, 123, 123, 123, 123, 123,            // from 80
    124, 124, 124, 124, 124, 124, 124, 124, 124,       // from 88
    125, 125, 125, 125, 125, 125, 125, 125, 125,       // from 97
    126, 126, 126, 126, 126, 126, 126, 126, 126, 126,  // from 106
    127, 127, 127, 127, 127, 127, 127, 127, 127, 127, 127, 127,  // from 116
};
static_assert(sizeof(accentCurve) == 128);

namespace {
constexpr uint32_t kLevelMax = 127;
constexpr uint32_t kMotionTypeMax = 2;
}  // namespace

AccentLevels::AccentLevels()
    : knobLevel_(127), knobMotionType_(0), effectiveLevel_(127), effectiveMotionType_(0) {}

int32_t AccentLevels::set(int32_t index, int32_t value) {
  if (index == 0) {
    const uint32_t v = static_cast<uint32_t>(std::clamp<int32_t>(value, 0, kLevelMax));
    knobLevel_.store(v, std::memory_order_relaxed);
    effectiveLevel_.store(v, std::memory_order_relaxed);
    return static_cast<int32_t>(v);
  }
  if (index == 1) {
    const uint32_t v = static_cast<uint32_t>(std::clamp<int32_t>(value, 0, kMotionTypeMax));
    knobMotionType_.store(v, std::memory_order_relaxed);
    effectiveMotionType_.store(v, std::memory_order_relaxed);
    return static_cast<int32_t>(v);
  }
  return value;
}

int32_t AccentLevels::get(int32_t index) const {
  if (index == 0) return static_cast<int32_t>(knobLevel_.load(std::memory_order_relaxed));
  if (index == 1) return static_cast<int32_t>(knobMotionType_.load(std::memory_order_relaxed));
  return 0;
}

void AccentLevels::setMotionValue(int32_t index, int32_t value) {
  if (index != 0 || knobMotionType_.load(std::memory_order_relaxed) == 0) return;
  effectiveLevel_.store(static_cast<uint32_t>(std::clamp<int32_t>(value, 0, kLevelMax)),
                        std::memory_order_relaxed);
}

void AccentLevels::restoreMotionValue(int32_t index) {
  if (index != 0 || knobMotionType_.load(std::memory_order_relaxed) == 0) return;
  effectiveLevel_.store(std::min(knobLevel_.load(std::memory_order_relaxed), kLevelMax),
                        std::memory_order_relaxed);
}

void AccentLevels::reset() {
  effectiveLevel_.store(knobLevel_.load(std::memory_order_relaxed), std::memory_order_relaxed);
  effectiveMotionType_.store(knobMotionType_.load(std::memory_order_relaxed), std::memory_order_relaxed);
}

int32_t AccentLevels::velocityFor(int32_t level, bool accented) {
  const int32_t l = level & 127;
  if (accented) return accentCurve[l];
  return ((127 - l) * 140) / 256 + 30;
}

int32_t AccentLevels::stepVelocity(bool accented) const {
  const uint32_t type = knobMotionType_.load(std::memory_order_relaxed);
  const uint32_t level = (type == 1 || type == 2) ? effectiveLevel_.load(std::memory_order_relaxed)
                                                  : knobLevel_.load(std::memory_order_relaxed);
  return velocityFor(static_cast<int32_t>(level), accented);
}

int32_t AccentLevels::liveVelocity(bool accented) const {
  return velocityFor(static_cast<int32_t>(knobLevel_.load(std::memory_order_relaxed)), accented);
}
