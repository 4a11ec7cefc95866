// Nanoseconds per frame of one synthesizer part and one drum-sample part,
// rendered in engine-sized slices into the four buses.

#include <benchmark/benchmark.h>

#include <array>
#include <cstdint>
#include <vector>

#include "engine/record/param_id.h"
#include "engine/voices/drum_data.h"
#include "engine/voices/oscillator.h"
#include "engine/voices/pcm_part.h"
#include "engine/voices/synth_part.h"

namespace {

constexpr float kRate = 44100.0f;

struct BusSet {
  explicit BusSet(size_t frames) {
    for (int b = 0; b < 4; ++b) {
      data[b].assign(frames, 0);
      ptr[b] = data[b].data();
    }
  }
  std::array<std::vector<int16_t>, 4> data;
  int16_t* ptr[4];
};

void perFrame(benchmark::State& state, int64_t frames) {
  state.counters["per_frame"] =
      benchmark::Counter(static_cast<double>(state.iterations() * frames),
                         benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

// Mode 0 plain, 1 noise modulation, 2 cross modulated, 3 ring modulated,
// 4 as the modulator.
void BM_SynthPart(benchmark::State& state) {
  const int mode = static_cast<int>(state.range(0));
  const uint32_t frames = static_cast<uint32_t>(state.range(1));
  SynthPart part(kRate);
  part.setParameter(kWave, kWaveSaw);
  part.setParameter(kLowBoost, 80);
  part.setParameter(kModType, mode == 1 ? 4 : 0);
  part.setParameter(kModSpeed, 70);
  part.setParameter(kModDepth, 100);
  BusSet buses(frames);
  std::vector<int32_t> mod(frames);
  for (uint32_t i = 0; i < frames; ++i) mod[i] = static_cast<int32_t>((i * 7919u) % 4000000u) - 2000000;
  int64_t rendered = 0;
  for (auto _ : state) {
    if (!part.isActive()) part.noteOn(127);
    switch (mode) {
      case 2: part.renderCrossModulated(buses.ptr, mod.data(), frames); break;
      case 3: part.renderRingModulated(buses.ptr, mod.data(), frames); break;
      case 4: part.renderModulator(mod.data(), frames); break;
      default: part.render(buses.ptr, frames); break;
    }
    benchmark::DoNotOptimize(buses.ptr[0][0]);
    benchmark::DoNotOptimize(mod[0]);
    rendered += frames;
    // Keep the pitch and level moving so the smoothers work.
    if ((rendered & 8191) < frames) part.setParameter(kPitch, static_cast<int32_t>((rendered >> 13) % 128));
  }
  perFrame(state, frames);
}
BENCHMARK(BM_SynthPart)
    ->ArgNames({"mode", "frames"})
    ->ArgsProduct({{0, 1, 2, 3, 4}, {64, 128, 1024}});

// Mode 0 plain, 1 with pitch modulation (the cent and semitone tables).
void BM_PcmPart(benchmark::State& state) {
  const int mode = static_cast<int>(state.range(0));
  const uint32_t frames = static_cast<uint32_t>(state.range(1));
  static DrumData* memory = createDrumData(IGB_BUNDLE_DIR);
  PcmPart part(8, kRate, memory);  // the cymbals: the longest rows
  part.setParameter(kDecay, 127);
  part.setParameter(kLowBoost, 80);
  part.setParameter(kPitch, 70);
  if (mode == 1) {
    part.setParameter(kModType, 2);
    part.setParameter(kModSpeed, 70);
    part.setParameter(kModDepth, 90);
  }
  BusSet buses(frames);
  for (auto _ : state) {
    if (!part.isActive()) part.noteOn(127);
    part.render(buses.ptr, frames);
    benchmark::DoNotOptimize(buses.ptr[0][0]);
  }
  perFrame(state, frames);
}
BENCHMARK(BM_PcmPart)->ArgNames({"mode", "frames"})->ArgsProduct({{0, 1}, {64, 128, 1024}});

// An idle part: what a part costs when nothing plays.
void BM_IdleParts(benchmark::State& state) {
  SynthPart synth(kRate);
  PcmPart drum(0, kRate, nullptr);
  BusSet buses(1024);
  for (auto _ : state) {
    synth.render(buses.ptr, 1024);
    drum.render(buses.ptr, 1024);
    benchmark::DoNotOptimize(buses.ptr[0][0]);
  }
  perFrame(state, 1024);
}
BENCHMARK(BM_IdleParts);

}  // namespace

BENCHMARK_MAIN();
