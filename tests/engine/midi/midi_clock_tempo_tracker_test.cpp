#include "engine/midi/midi_clock_tempo_tracker.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "platform/foundation/host_time.h"

namespace {

uint64_t msToTicks(double ms) { return platform::nanosToHostTicks(static_cast<uint64_t>(std::llround(ms * 1e6))); }

// Feeds clocks at the given spacings (ms), starting 1 s in, and returns the
// tempo after every clock.
std::vector<double> feed(MidiClockTempoTracker& t, const std::vector<double>& spacings, double start = 1000.0) {
  std::vector<double> tempos;
  double now = start;
  t.tick(msToTicks(now));
  tempos.push_back(t.tempo());
  for (double s : spacings) {
    now += s;
    t.tick(msToTicks(now));
    tempos.push_back(t.tempo());
  }
  return tempos;
}

TEST(MidiClockTempoTracker, StartsAt120AndAResetKeepsTheEstimate) {
  MidiClockTempoTracker t;
  t.reset();
  EXPECT_EQ(t.tempo(), 120.0);
  EXPECT_EQ(t.window(), 14);
  feed(t, std::vector<double>(30, 40.0));  // 62.5 -> 63 BPM
  EXPECT_EQ(t.tempo(), 63.0);
  t.reset();
  EXPECT_EQ(t.tickCount(), 0u);
  EXPECT_EQ(t.tempo(), 63.0);
}

TEST(MidiClockTempoTracker, SteadyClockGivesItsTempoFromTheSecondClock) {
  MidiClockTempoTracker t;
  const std::vector<double> tempos = feed(t, std::vector<double>(40, 20.0));
  EXPECT_EQ(tempos[0], 120.0);  // one clock says nothing yet
  for (size_t i = 1; i < tempos.size(); ++i) EXPECT_EQ(tempos[i], 125.0) << "clock " << i;
}

TEST(MidiClockTempoTracker, WindowFollowsTheTempo) {
  struct Row {
    double spacingMs;
    int32_t window;
  };
  // 2500 / spacing BPM; window = (BPM - 20) * 94 / 980 + 5, clamped.
  for (const Row& r : {Row{125.0, 5}, Row{2500.0 / 60, 8}, Row{2500.0 / 240, 26}, Row{1.0, 99}}) {
    MidiClockTempoTracker t;
    feed(t, std::vector<double>(120, r.spacingMs));
    EXPECT_EQ(t.window(), r.window) << r.spacingMs;
  }
}

TEST(MidiClockTempoTracker, JitteredClockSettlesOnTheRoundedMean) {
  MidiClockTempoTracker t;
  std::vector<double> spacings;
  for (int i = 0; i < 60; ++i) spacings.push_back(i % 2 ? 21.0 : 20.0);
  const std::vector<double> tempos = feed(t, spacings);
  EXPECT_EQ(t.window(), 14);
  // 2500 / 20.5 = 121.95: settles at 122 once the window is filled with the
  // alternating intervals.
  for (size_t i = 20; i < tempos.size(); ++i) EXPECT_EQ(tempos[i], 122.0) << "clock " << i;
}

TEST(MidiClockTempoTracker, FollowsATempoJumpWithinOneWindow) {
  MidiClockTempoTracker t;
  std::vector<double> spacings(40, 2500.0 / 120);  // 20.83 ms: whole ms 20/21
  feed(t, spacings);
  EXPECT_NEAR(t.tempo(), 120.0, 1.0);
  // Now 60 BPM: 41.67 ms per clock.
  double now = 1000.0 + 40 * 2500.0 / 120;
  int clocksToFollow = -1;
  for (int i = 1; i <= 40; ++i) {
    now += 2500.0 / 60;
    t.tick(msToTicks(now));
    if (std::abs(t.tempo() - 60.0) <= 1.0) {
      clocksToFollow = i;
      break;
    }
  }
  ASSERT_GT(clocksToFollow, 0);
  EXPECT_LE(clocksToFollow, 14 + 8);
}

TEST(MidiClockTempoTracker, NewRunStartsFromThePreviousTempo) {
  MidiClockTempoTracker t;
  feed(t, std::vector<double>(30, 20.0));
  ASSERT_EQ(t.tempo(), 125.0);
  // The clock stops; a later run starts after a long gap. The gap between
  // the runs is never counted as an interval.
  t.reset();
  const std::vector<double> tempos = feed(t, std::vector<double>(30, 25.0), 60000.0);
  EXPECT_EQ(tempos[0], 125.0);
  EXPECT_EQ(tempos[1], 100.0);
  EXPECT_EQ(tempos.back(), 100.0);
}

TEST(MidiClockTempoTracker, ClocksInTheSameMillisecondKeepTheEstimateFinite) {
  MidiClockTempoTracker t;
  feed(t, std::vector<double>(20, 20.0));
  ASSERT_EQ(t.tempo(), 125.0);
  t.reset();
  // First and second clock of a run in one millisecond: no division by zero.
  feed(t, {0.0});
  EXPECT_EQ(t.tempo(), 125.0);
  // A burst of clocks bunched into one millisecond (a mean of 0).
  MidiClockTempoTracker u;
  feed(u, std::vector<double>(30, 0.0));
  EXPECT_TRUE(std::isfinite(u.tempo()));
  EXPECT_GT(u.tempo(), 0.0);
  u.reset();
  feed(u, std::vector<double>(30, 20.0));
  EXPECT_EQ(u.tempo(), 125.0);
}

TEST(MidiClockTempoTracker, FactoryMakesATrackerForTheSequencer) {
  const ClockTempoTrackerFactory make = midiClockTempoTrackerFactory();
  std::unique_ptr<ClockTempoTracker> t = make();
  ASSERT_NE(t, nullptr);
  EXPECT_EQ(t->tempo(), 120.0);
  t->tick(msToTicks(1000));
  t->tick(msToTicks(1025));
  EXPECT_EQ(t->tempo(), 100.0);
}

}  // namespace
