// The multi-effect under RealtimeSanitizer: every effect type, type and
// on/off switches, motion values, tempo, pattern top and resets on the
// audio side, while another thread keeps changing parameters. Any
// allocation, lock wait, sleep or system call in the real-time span ends
// the child process with a report, and the test fails.

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <mutex>
#include <thread>
#include <vector>

#include "engine/effects/multi_effector.h"
#include "tests/engine/effects/effect_test_support.h"
#include "tests/support/rtsan/rtsan_scope.h"
#include "tests/support/rtsan/rtsan_test_environment.h"

namespace {

// Renders about two seconds through the unit on effect `type`, all audio-
// side calls inside the real-time span.
void exercise(int type) {
  Z5518MultiEffector unit;
  unit.setEffectParameter(0, type);
  unit.setEffectParameter(1, 100);
  unit.setEffectParameter(2, 127);
  auto in = fxtest::noise(1024, 20000, static_cast<uint32_t>(type + 1));
  std::vector<int16_t> left(1024), right(1024);
  std::atomic<bool> stop{false};
  std::thread ui([&] {
    int v = 0;
    while (!stop.load()) {
      unit.setEffectParameter(1 + (v & 1), (v * 37) & 127);
      if (v % 97 == 0) unit.setEffectParameter(3, 1);
      ++v;
    }
  });
  const int32_t slices[] = {1024, 64, 1, 63, 65, 500, 128, 7};
  for (int block = 0; block < 100; ++block) {
    std::copy(in.begin(), in.end(), left.begin());
    std::copy(in.begin(), in.end(), right.begin());
    igb::rtsan::RealtimeScope realtime;
    int32_t pos = 0;
    for (int s = 0; pos < 1024; ++s) {
      const int32_t n = std::min(slices[(block + s) % 8], 1024 - pos);
      int16_t* ch[2] = {left.data() + pos, right.data() + pos};
      unit.process(ch, n);
      pos += n;
    }
    // What the engine does on the audio thread between slices.
    if (block % 10 == 3) unit.setMotionValue(1, block);
    if (block % 10 == 5) unit.restoreMotionValue(1);
    if (block % 20 == 7) unit.setMotionValue(0, (type + 1) % 8);  // a switch and back
    if (block % 20 == 9) unit.restoreMotionValue(0);
    if (block % 25 == 11) unit.setMotionValue(3, 0);
    if (block % 25 == 13) unit.restoreMotionValue(3);
    if (block % 16 == 0) unit.patternTop();
    if (block % 30 == 1) unit.setEffectTempo(600 + 100 * static_cast<uint32_t>(block % 7));
    if (block == 40) unit.selectParameterSet(true);
    if (block == 70) unit.selectParameterSet(false);
    if (block == 90) unit.resetEffects();
  }
  stop.store(true);
  ui.join();
}

class EveryEffectType : public ::testing::TestWithParam<int> {};

TEST_P(EveryEffectType, ProcessIsRealtimeSafe) {
  EXPECT_EXIT(
      {
        exercise(GetParam());
        std::exit(0);
      },
      ::testing::ExitedWithCode(0), "");
}

INSTANTIATE_TEST_SUITE_P(Types, EveryEffectType, ::testing::Range(0, 8));

// The check is real: the same span catches an allocation and a lock wait.
TEST(RealtimeSanitizer, CatchesAnAllocationInTheSpan) {
  EXPECT_DEATH(
      {
        igb::rtsan::RealtimeScope realtime;
        auto* v = new std::vector<int>(64);
        delete v;
      },
      igb::rtsan::kViolationPattern);
}

TEST(RealtimeSanitizer, CatchesABlockingLockInTheSpan) {
  static std::mutex m;
  EXPECT_DEATH(
      {
        igb::rtsan::RealtimeScope realtime;
        std::lock_guard<std::mutex> lock(m);
      },
      "pthread_mutex");
}

TEST(RealtimeSanitizer, LeavesCodeOutsideTheSpanAlone) {
  { igb::rtsan::RealtimeScope realtime; }
  auto* v = new std::vector<int>(64);
  EXPECT_EQ(v->size(), 64u);
  delete v;
}

}  // namespace
