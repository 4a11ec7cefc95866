// Parameter changes reach the audio side only at frames that are multiples
// of 64, never by waiting for a lock.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "engine/effects/bpm_sync_delay.h"
#include "engine/effects/chorus_flanger.h"
#include "engine/effects/decimator.h"
#include "engine/effects/grain_shifter.h"
#include "engine/effects/reverb.h"
#include "engine/effects/sarnek_filter.h"
#include "engine/effects/short_delay.h"
#include "engine/effects/talking_modulator.h"
#include "tests/engine/effects/effect_test_support.h"

using namespace fxtest;

namespace {

// The decimator with "Frequency" 0 takes a new sample at every frame but one
// in 32768 (frame 16384 + k × 32768 of its hold phase keeps the old one);
// with a steady input its output changes exactly when the bit mask does.
constexpr int16_t kLevel = 12345;
bool holdsAt(uint64_t frame) { return frame % 32768 != 16384; }

TEST(ParameterPickup, TakenAtMultiplesOf64WhileAnotherThreadChangesThem) {
  Decimator d;
  // Let the gate open fully first: until then the level moves by itself.
  run(d, Stereo::mono(std::vector<int16_t>(1024, kLevel)), 1024);
  std::atomic<bool> stop{false};
  std::thread setter([&] {
    int v = 0;
    while (!stop.load()) d.setParameter(2, (v++ & 1) ? 127 : 0);
  });
  std::vector<int16_t> buf(1000, kLevel);
  int changes = 0;
  int16_t last = 0;
  uint64_t frame = 1024;
  bool first = true;
  // At least 3000 calls; on a loaded machine the setter may hardly have run
  // by then (sharing a processor with this loop, it changes the value only
  // between calls), so the calls go on, for at most ten seconds, until it
  // has been seen, each call leaving it room to run.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  for (int call = 0; call < 3000 || (changes <= 20 && std::chrono::steady_clock::now() < deadline); ++call) {
    std::this_thread::yield();
    std::fill(buf.begin(), buf.end(), kLevel);
    int16_t* ch[2] = {buf.data(), buf.data()};
    d.process(ch, static_cast<int32_t>(buf.size()));
    for (size_t i = 0; i < buf.size(); ++i, ++frame) {
      if (!first && buf[i] != last) {
        ++changes;
        // Calls are 1000 frames long: the grid counts from each call's
        // first frame, not from the effect's first.
        const bool onGrid = i % 64 == 0 || (i % 64 == 1 && !holdsAt(frame - 1));
        ASSERT_TRUE(onGrid) << "change at frame " << frame;
      }
      first = false;
      last = buf[i];
    }
  }
  stop.store(true);
  setter.join();
  EXPECT_GT(changes, 20);
}

TEST(ParameterPickup, BusyLockDefersWithoutWaitingAndLosesNothing) {
  Decimator d;
  run(d, Stereo::mono(std::vector<int16_t>(640, kLevel)), 64);
  TryLock& lock = d.parameterLock();
  ASSERT_TRUE(lock.try_lock());  // as if a setter were inside it
  // The setter that finds the lock busy returns at once ...
  EXPECT_EQ(d.setParameter(2, 127), 127);
  // ... and the audio side goes on with the old mask while the lock is held.
  auto held = run(d, Stereo::mono(std::vector<int16_t>(640, kLevel)), 64);
  for (int16_t v : held.left) ASSERT_EQ(v, (32761 * kLevel) >> 15);
  lock.unlock();
  // Released: the change is taken at the next grid frame, recomputed from
  // the value that was set meanwhile.
  auto after = run(d, Stereo::mono(std::vector<int16_t>(64, kLevel)), 64);
  EXPECT_EQ(after.left[0], ((32761 * kLevel) >> 15) & -8192);
}

// Every effect, whatever the slice lengths: a change made between two calls
// is taken on the first frame of the next call and heard from there on
// (compared with a twin left alone); before it, the twins are the same. The
// change falls at frame 4010, off every multiple of 64, so an effect that
// counted its grid across calls would take it 22 frames late.
template <typename E>
int32_t firstFrameThatHearsTheChange(int index, int before, int after, size_t slice) {
  const Stereo in(noise(4000 + 200, 12000, 41), noise(4000 + 200, 12000, 42));
  E reference;
  E changed;
  reference.setParameter(index, before);
  changed.setParameter(index, before);
  const Stereo head(std::vector<int16_t>(in.left.begin(), in.left.begin() + 4010),
                    std::vector<int16_t>(in.right.begin(), in.right.begin() + 4010));
  const Stereo tail(std::vector<int16_t>(in.left.begin() + 4010, in.left.end()),
                    std::vector<int16_t>(in.right.begin() + 4010, in.right.end()));
  const auto headA = run(reference, head, slice);
  const auto headB = run(changed, head, slice);
  EXPECT_EQ(headA.left, headB.left);
  changed.setParameter(index, after);
  const auto a = run(reference, tail, slice);
  const auto b = run(changed, tail, slice);
  for (size_t i = 0; i < a.size(); ++i)
    if (a.left[i] != b.left[i] || a.right[i] != b.right[i]) return static_cast<int32_t>(i);
  return -1;
}

TEST(ParameterPickup, EveryEffectTakesAChangeAtTheNextCallWhateverTheSliceLength) {
  for (size_t slice : {1u, 63u, 64u, 128u}) {
    SCOPED_TRACE(slice);
    EXPECT_EQ(firstFrameThatHearsTheChange<ShortDelay>(2, 0, 127, slice), 0);
    EXPECT_EQ(firstFrameThatHearsTheChange<BpmSyncDelay>(2, 0, 127, slice), 0);
    EXPECT_EQ(firstFrameThatHearsTheChange<GrainShifter>(2, 0, 127, slice), 0);
    EXPECT_EQ(firstFrameThatHearsTheChange<Reverb>(2, 0, 127, slice), 0);
    EXPECT_EQ(firstFrameThatHearsTheChange<ChorusFlanger>(2, 0, 127, slice), 0);
    // The filter glides from its old coefficients, starting on that frame.
    EXPECT_EQ(firstFrameThatHearsTheChange<SarnekFilter>(1, 40, 120, slice), 1);
    EXPECT_EQ(firstFrameThatHearsTheChange<TalkingModulator>(1, 0, 127, slice), 0);
    EXPECT_EQ(firstFrameThatHearsTheChange<Decimator>(2, 0, 127, slice), 0);
  }
}

}  // namespace
