// Nanoseconds per frame of the master multi-effect on each effect type, on
// the stereo send pair in engine-sized slices; plus the raw effect classes
// and a case that switches type every slice (crossfades all the time).

#include <benchmark/benchmark.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "engine/effects/bpm_sync_delay.h"
#include "engine/effects/chorus_flanger.h"
#include "engine/effects/decimator.h"
#include "engine/effects/grain_shifter.h"
#include "engine/effects/multi_effector.h"
#include "engine/effects/reverb.h"
#include "engine/effects/sarnek_filter.h"
#include "engine/effects/short_delay.h"
#include "engine/effects/talking_modulator.h"

namespace {

const char* const kTypeNames[8] = {"ShortDelay", "BpmSyncDelay", "GrainShifter", "Reverb",
                                   "ChorusFlanger", "Filter", "TalkingModulator", "Decimator"};

struct Send {
  explicit Send(size_t frames) : left(frames), right(frames) {
    uint32_t s = 1;
    for (size_t i = 0; i < frames; ++i) {
      s = s * 1664525u + 1013904223u;
      sourceL.push_back(static_cast<int16_t>(static_cast<int32_t>(s >> 16) - 32768) / 2);
      s = s * 1664525u + 1013904223u;
      sourceR.push_back(static_cast<int16_t>(static_cast<int32_t>(s >> 16) - 32768) / 2);
    }
    ptr[0] = left.data();
    ptr[1] = right.data();
  }
  void refill() {
    std::copy(sourceL.begin(), sourceL.end(), left.begin());
    std::copy(sourceR.begin(), sourceR.end(), right.begin());
  }
  std::vector<int16_t> left, right, sourceL, sourceR;
  int16_t* ptr[2];
};

void perFrame(benchmark::State& state, int64_t frames) {
  state.counters["per_frame"] = benchmark::Counter(static_cast<double>(state.iterations() * frames),
                                                   benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

// The unit with effect `type`, edits set to busy values, in slices.
void BM_MultiEffect(benchmark::State& state) {
  const int type = static_cast<int>(state.range(0));
  const int32_t frames = static_cast<int32_t>(state.range(1));
  Z5518MultiEffector unit;
  unit.setEffectParameter(0, type);
  unit.setEffectParameter(1, 100);
  unit.setEffectParameter(2, 100);
  Send send(static_cast<size_t>(frames));
  for (int i = 0; i < 50; ++i) {
    send.refill();
    unit.process(send.ptr, frames);
  }
  for (auto _ : state) {
    send.refill();
    unit.process(send.ptr, frames);
    benchmark::DoNotOptimize(send.left[0]);
    benchmark::ClobberMemory();
  }
  state.SetLabel(kTypeNames[type]);
  perFrame(state, frames);
}
BENCHMARK(BM_MultiEffect)->ArgsProduct({{0, 1, 2, 3, 4, 5, 6, 7}, {256, 1024}});

// A type switch every slice: both effects run and the crossfade mixes.
void BM_MultiEffectSwitching(benchmark::State& state) {
  const int32_t frames = static_cast<int32_t>(state.range(0));
  Z5518MultiEffector unit;
  Send send(static_cast<size_t>(frames));
  int type = 0;
  for (auto _ : state) {
    unit.setEffectParameter(0, type = (type + 1) % 8);
    send.refill();
    unit.process(send.ptr, frames);
    benchmark::DoNotOptimize(send.left[0]);
  }
  perFrame(state, frames);
}
BENCHMARK(BM_MultiEffectSwitching)->Arg(64)->Arg(256);

std::unique_ptr<Effector> makeEffect(int type) {
  switch (type) {
    case 0: return std::make_unique<ShortDelay>();
    case 1: return std::make_unique<BpmSyncDelay>();
    case 2: return std::make_unique<GrainShifter>();
    case 3: return std::make_unique<Reverb>();
    case 4: return std::make_unique<ChorusFlanger>();
    case 5: return std::make_unique<SarnekFilter>();
    case 6: return std::make_unique<TalkingModulator>();
    default: return std::make_unique<Decimator>();
  }
}

// The effect class alone, without the unit's copies and wet/dry mix.
void BM_Effect(benchmark::State& state) {
  const int type = static_cast<int>(state.range(0));
  const int32_t frames = 256;
  auto effect = makeEffect(type);
  effect->setParameter(1, 100);
  effect->setParameter(2, 100);
  Send send(frames);
  for (auto _ : state) {
    send.refill();
    effect->process(send.ptr, frames);
    benchmark::DoNotOptimize(send.left[0]);
    benchmark::ClobberMemory();
  }
  state.SetLabel(kTypeNames[type]);
  perFrame(state, frames);
}
BENCHMARK(BM_Effect)->DenseRange(0, 7);

}  // namespace

BENCHMARK_MAIN();
