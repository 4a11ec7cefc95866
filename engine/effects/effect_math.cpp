#include "engine/effects/effect_math.h"

#include <cstring>

namespace fx {
namespace {

// Built per instruction set with internal linkage: callers elsewhere reach
// it through the plain function below, which every compiler links alike.
FX_LANE_LOOP void mixWetLanes(int16_t* dry, const int16_t* fx, size_t count, int32_t wet) {
  using Ints = int32_t __attribute__((vector_size(32)));
  using Shorts = int16_t __attribute__((vector_size(16)));
  const int32_t keep = 32767 - wet;
  size_t i = 0;
  for (; i + 8 <= count; i += 8) {
    Shorts d;
    Shorts e;
    std::memcpy(&d, dry + i, sizeof d);
    std::memcpy(&e, fx + i, sizeof e);
    Ints v = ((__builtin_convertvector(e, Ints) * wet) >> 15) + ((__builtin_convertvector(d, Ints) * keep) >> 15);
    v = v > kFull ? Ints{} + kFull : v;
    v = v < -kFull ? Ints{} - kFull : v;
    const Shorts out = __builtin_convertvector(v, Shorts);
    std::memcpy(dry + i, &out, sizeof out);
  }
  for (; i < count; ++i) dry[i] = sat16(((wet * fx[i]) >> 15) + ((keep * dry[i]) >> 15));
}

}  // namespace

void mixWet(int16_t* dry, const int16_t* fx, size_t count, int32_t wet) { mixWetLanes(dry, fx, count, wet); }

}  // namespace fx
