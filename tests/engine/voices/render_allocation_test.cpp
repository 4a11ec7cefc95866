// The render path of both voices allocates nothing: every operator new in
// this test binary is counted, and rendering, notes and parameter changes
// must leave the count where it was.

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <vector>

#include "engine/record/param_id.h"
#include "engine/voices/pcm_part.h"
#include "engine/voices/synth_part.h"
#include "voice_test_support.h"

namespace {
std::atomic<long> gAllocations{0};

void* counted(std::size_t n) {
  gAllocations.fetch_add(1, std::memory_order_relaxed);
  if (void* p = std::malloc(n == 0 ? 1 : n)) return p;
  throw std::bad_alloc();
}
}  // namespace

void* operator new(std::size_t n) { return counted(n); }
void* operator new[](std::size_t n) { return counted(n); }
void* operator new(std::size_t n, const std::nothrow_t&) noexcept {
  gAllocations.fetch_add(1, std::memory_order_relaxed);
  return std::malloc(n == 0 ? 1 : n);
}
void* operator new[](std::size_t n, const std::nothrow_t&) noexcept {
  gAllocations.fetch_add(1, std::memory_order_relaxed);
  return std::malloc(n == 0 ? 1 : n);
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }

namespace {

TEST(RenderAllocation, VoicesAllocateNothingWhileRendering) {
  DrumData memory;
  memory.words.assign(drumDataRequiredSamples(), 1000);
  SynthPart a(44100.0f);
  SynthPart b(44100.0f);
  PcmPart closed(0, 44100.0f, &memory);
  PcmPart open(4, 44100.0f, &memory);
  closed.setChokePartner(&open);
  open.setChokePartner(&closed);
  voicetest::Buses buses(1024);
  std::vector<int32_t> mod(1024, 0);

  const long before = gAllocations.load();
  for (int round = 0; round < 200; ++round) {
    a.setParameter(kPitch, round % 128);
    a.setParameter(kModType, round % 6);
    b.setParameter(kModDepth, (round * 7) % 128);
    open.setParameter(kDecay, round % 128);
    closed.setParameter(kWave, round % 4);
    if (round % 5 == 0) {
      a.noteOn(100);
      b.noteOn(127);
      (round % 10 == 0 ? closed : open).noteOn(90);
    }
    const uint32_t n = static_cast<uint32_t>(64 + (round * 37) % 960);
    b.renderModulator(mod.data(), n);
    switch (round % 3) {
      case 0: a.render(buses.ptr, n); break;
      case 1: a.renderCrossModulated(buses.ptr, mod.data(), n); break;
      default: a.renderRingModulated(buses.ptr, mod.data(), n); break;
    }
    closed.render(buses.ptr, n);
    open.render(buses.ptr, n);
  }
  EXPECT_EQ(gAllocations.load(), before);
  // The counter does see allocations (so the check above can fail).
  auto* probe = new std::vector<int>(10);
  EXPECT_GT(gAllocations.load(), before);
  delete probe;
}

}  // namespace
