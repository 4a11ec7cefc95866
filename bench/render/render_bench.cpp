// Cost of the engine's render path on the dense test pattern (all eight
// parts on every step, motion on, accents, cross or ring modulation, the
// drive at its maximum): ns per output frame, the real-time factor (audio
// seconds per CPU second), and the worst block against its deadline.
//
//   bench_render [--benchmark_filter=...]
//
// Counters, from the time of the render calls alone: ns_per_frame, rtf,
// p99_block_us and p999_block_us (percentiles of the block times),
// worst_block_us, budget_us (the block's duration at 44,100 Hz),
// worst_vs_budget (worst ÷ budget), checksum (FNV-1a of the first 65,536
// left samples after the warm-up, so a change in what is rendered shows),
// checksum_8bars (the same over both channels of the first eight bars, 0
// if the run was shorter). The worst block includes whatever the
// machine did meanwhile (preemption): read it with the percentiles.
//
// The pattern brings every block round again (the block grid repeats
// after lcm(pattern length, block) frames), so each block position's
// cheapest pass is that block's own cost, without what the machine did
// meanwhile: own_p999_block_us, own_worst_block_us and own_worst_vs_budget
// are taken over those (0 unless the run covered the cycle twice).
// BM_MachineFloor times a plain arithmetic loop in the same way, for what
// the machine alone adds to the percentiles.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <limits>
#include <numeric>
#include <vector>

#include "engine/provider/memory_data_provider.h"
#include "engine/synth/synth.h"
#include "engine/voices/drum_data.h"
#include "tools/render/dense_pattern.h"

namespace {

struct DrumMemory {
  DrumMemory() { createDrumData(IGB_BUNDLE_DIR); }
  ~DrumMemory() { destroyDrumData(); }
};

// Block times in bins of 0.1 µs up to 20 ms; longer ones in the last bin.
class BlockTimes {
 public:
  void add(double seconds) {
    worst_ = std::max(worst_, seconds);
    ++count_;
    ++histogram_[std::min<size_t>(static_cast<size_t>(seconds / kBin), histogram_.size() - 1)];
  }
  double percentile(double q) const {
    const uint64_t rank = static_cast<uint64_t>(q * static_cast<double>(count_));
    uint64_t seen = 0;
    for (size_t i = 0; i < histogram_.size(); ++i) {
      seen += histogram_[i];
      if (seen > rank) return static_cast<double>(i + 1) * kBin;
    }
    return worst_;
  }
  double worst() const { return worst_; }

 private:
  static constexpr double kBin = 1e-7;
  std::vector<uint32_t> histogram_ = std::vector<uint32_t>(200000, 0);
  double worst_ = 0.0;
  uint64_t count_ = 0;
};

struct Setup {
  int32_t tempoTenths = 1200;
  int32_t effectType = 3;
  int32_t crossRing = 1;
  int32_t tubeGain = 127;
  bool switchEffectEveryBar = false;
};

// Renders the pattern off line in blocks of `block` frames for as long as
// the benchmark asks, timing every block.
void renderDense(benchmark::State& state, const Setup& setup, int32_t block) {
  static DrumMemory drums;
  MemoryDataProvider provider;
  Synth* synth = Synth::getInstance(44100.0f);
  synth->setDataProvider(&provider);
  synth->setMasterParameter(1, setup.tubeGain);
  const PatternRecord pattern = makeDensePattern({setup.tempoTenths, setup.effectType, setup.crossRing});
  synth->setPatternRecord(&pattern);
  synth->beginBounce();
  synth->startForBounce(0);

  std::vector<int16_t> left(static_cast<size_t>(block)), right(static_cast<size_t>(block));
  int16_t* channels[2] = {left.data(), right.data()};
  // Past the start: the first blocks take the effect switch and the loads.
  for (int i = 0; i < 64; ++i) synth->renderBlock(nullptr, channels, block);

  const int64_t barFrames = static_cast<int64_t>(synth->bounceLength() / 4);
  const int64_t cycleBlocks = std::lcm(static_cast<int64_t>(synth->bounceLength()), int64_t{block}) / block;
  std::vector<float> own(static_cast<size_t>(std::min<int64_t>(cycleBlocks, int64_t{1} << 22)),
                         std::numeric_limits<float>::infinity());
  int64_t frames = 0;
  int64_t nextSwitch = barFrames;
  int32_t type = setup.effectType;
  double total = 0.0;
  BlockTimes times;
  // The checksum covers the first frames only, so that it does not depend
  // on how many blocks the benchmark chose to run.
  constexpr int64_t kChecksumFrames = 65536;
  uint64_t checksum = 1469598103934665603ull;
  // Eight bars of both channels: long enough to cover effect switches
  // (BM_DenseEffectSwitching's first comes after a bar, past the short
  // checksum) and many line wraps of every effect.
  const int64_t longChecksumFrames = 8 * barFrames;
  uint64_t longChecksum = 1469598103934665603ull;
  for (auto _ : state) {
    if (setup.switchEffectEveryBar && frames >= nextSwitch) {
      type = (type + 1) % 8;
      synth->setEffectParameter(0, 0, type);
      nextSwitch += barFrames;
    }
    const auto t0 = std::chrono::steady_clock::now();
    synth->renderBlock(nullptr, channels, block);
    const auto t1 = std::chrono::steady_clock::now();
    const double took = std::chrono::duration<double>(t1 - t0).count();
    total += took;
    times.add(took);
    float& cheapest = own[static_cast<size_t>((frames / block) % static_cast<int64_t>(own.size()))];
    cheapest = std::min(cheapest, static_cast<float>(took));
    benchmark::DoNotOptimize(left.data());
    benchmark::ClobberMemory();
    if (frames < kChecksumFrames) {
      for (int32_t i = 0; i < block; ++i) checksum = (checksum ^ static_cast<uint16_t>(left[i])) * 1099511628211ull;
    }
    if (frames < longChecksumFrames) {
      for (int32_t i = 0; i < block; ++i) {
        longChecksum = (longChecksum ^ static_cast<uint16_t>(left[i])) * 1099511628211ull;
        longChecksum = (longChecksum ^ static_cast<uint16_t>(right[i])) * 1099511628211ull;
      }
    }
    frames += block;
  }
  synth->endBounce();
  Synth::destroyInstance();

  const double budget = static_cast<double>(block) / 44100.0;
  const uint64_t blocks = static_cast<uint64_t>(state.iterations());
  state.SetItemsProcessed(frames);
  state.counters["ns_per_frame"] = frames ? total * 1e9 / static_cast<double>(frames) : 0.0;
  state.counters["rtf"] = total > 0 ? static_cast<double>(frames) / 44100.0 / total : 0.0;
  state.counters["p99_block_us"] = times.percentile(0.99) * 1e6;
  state.counters["p999_block_us"] = times.percentile(0.999) * 1e6;
  state.counters["worst_block_us"] = times.worst() * 1e6;
  state.counters["budget_us"] = budget * 1e6;
  state.counters["worst_vs_budget"] = times.worst() / budget;
  if (static_cast<int64_t>(blocks) >= 2 * cycleBlocks && static_cast<int64_t>(own.size()) == cycleBlocks) {
    std::sort(own.begin(), own.end());
    state.counters["own_p999_block_us"] = own[own.size() * 999 / 1000] * 1e6;
    state.counters["own_worst_block_us"] = own.back() * 1e6;
    state.counters["own_worst_vs_budget"] = own.back() / budget;
  } else {
    state.counters["own_p999_block_us"] = 0.0;
    state.counters["own_worst_block_us"] = 0.0;
    state.counters["own_worst_vs_budget"] = 0.0;
  }
  state.counters["checksum"] = static_cast<double>(checksum % 1000000);
  // 0 when the run was shorter than the eight bars.
  state.counters["checksum_8bars"] = frames >= longChecksumFrames ? static_cast<double>(longChecksum % 1000000) : 0.0;
}

// The dense pattern at 120 BPM, ring or cross modulation, Tube Gain 127.
void BM_Dense(benchmark::State& state) {
  Setup s;
  s.crossRing = static_cast<int32_t>(state.range(1));
  renderDense(state, s, static_cast<int32_t>(state.range(0)));
}
BENCHMARK(BM_Dense)
    ->ArgNames({"block", "crossRing"})
    ->Args({64, 1})
    ->Args({128, 1})
    ->Args({1024, 1})
    ->Args({128, 2})
    ->Args({128, 0})
    ->Unit(benchmark::kMicrosecond);

// 600 BPM: more slices, more events per block.
void BM_DenseFast(benchmark::State& state) {
  Setup s;
  s.tempoTenths = 6000;
  renderDense(state, s, static_cast<int32_t>(state.range(0)));
}
BENCHMARK(BM_DenseFast)->ArgName("block")->Arg(128)->Unit(benchmark::kMicrosecond);

// Tube Gain 0: the drive only converts to float and back.
void BM_DenseNoDrive(benchmark::State& state) {
  Setup s;
  s.tubeGain = 0;
  renderDense(state, s, 128);
}
BENCHMARK(BM_DenseNoDrive)->Unit(benchmark::kMicrosecond);

// The effect type changes every bar (45-frame crossfades).
void BM_DenseEffectSwitching(benchmark::State& state) {
  Setup s;
  s.switchEffectEveryBar = true;
  renderDense(state, s, 128);
}
BENCHMARK(BM_DenseEffectSwitching)->Unit(benchmark::kMicrosecond);

// One case per effect type, the rest of the pattern the same.
void BM_EffectType(benchmark::State& state) {
  Setup s;
  s.effectType = static_cast<int32_t>(state.range(0));
  renderDense(state, s, 128);
}
BENCHMARK(BM_EffectType)->ArgName("type")->DenseRange(0, 7)->Unit(benchmark::kMicrosecond);

// A dependent chain of integer steps about as long as a dense 128-frame
// block, timed block by block like the engine: its percentiles and worst
// are what the machine adds (interrupts, the host taking the processor),
// since the work itself never changes.
void BM_MachineFloor(benchmark::State& state) {
  constexpr int kSteps = 9000;
  BlockTimes times;
  uint64_t x = 1;
  for (auto _ : state) {
    const auto t0 = std::chrono::steady_clock::now();
    for (int i = 0; i < kSteps; ++i) x = x * 6364136223846793005ull + 1442695040888963407ull;
    benchmark::DoNotOptimize(x);
    times.add(std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
  }
  state.counters["p50_block_us"] = times.percentile(0.5) * 1e6;
  state.counters["p999_block_us"] = times.percentile(0.999) * 1e6;
  state.counters["worst_block_us"] = times.worst() * 1e6;
}
BENCHMARK(BM_MachineFloor)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
