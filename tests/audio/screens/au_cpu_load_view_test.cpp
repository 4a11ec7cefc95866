// The audio-load overlay on the headless back end's clock, with the numbers
// it reads replaced: what each refresh shows, the bars' scale and limit, an
// unchanged load left alone, the layout, and the operating system's answers.

#include <gtest/gtest.h>
#include <time.h>
#include <unistd.h>

#include <chrono>

#include "audio/screens/au_cpu_load_view.h"
#include "platform/ui/headless/headless_backend.h"
#include "platform/ui/label.h"

using platform::Rect;

namespace {

class LoadViewTest : public ::testing::Test {
 protected:
  AUCPULoadSources fakes(int32_t cpus) {
    AUCPULoadSources s;
    s.audioLoads = [this]() -> std::optional<AUCPULoadSources::AudioLoads> { return audio; };
    s.cpuLoad = [this] {
      ++cpuReads;
      return cpu;
    };
    s.realMemory = [this] { return memory; };
    s.cpuCores = [cpus] { return cpus; };
    return s;
  }
  std::shared_ptr<AUCPULoadView> make(int32_t cpus) {
    auto v = std::make_shared<AUCPULoadView>(Rect{0, 0, 240, 30}, fakes(cpus));
    v->layoutSubviews();
    return v;
  }
  void tick() { backend.advance(AUCPULoadView::kInterval + 0.001); }

  platform::HeadlessBackend backend;
  std::optional<AUCPULoadSources::AudioLoads> audio;
  double cpu = 0.0;
  double memory = 0.0;
  int cpuReads = 0;
};

}  // namespace

TEST_F(LoadViewTest, WithoutAnAudioOutputOnlyCpuAndMemoryUpdate) {
  auto v = make(4);
  EXPECT_TRUE(v->timer() && v->timer()->isValid());
  EXPECT_FALSE(v->isUserInteractionEnabled());
  cpu = 0.5;
  memory = 42.25;
  tick();
  EXPECT_EQ(v->auLabel()->text(), "") << "blank until an output answers";
  EXPECT_EQ(v->bar1()->frame().width(), 0);
  EXPECT_EQ(v->cpuLabel()->text(), "50.0%");
  EXPECT_EQ(v->memoryLabel()->text(), "42.2 MB");
  EXPECT_EQ(v->auCaption()->text(), "AU:");
  EXPECT_EQ(v->cpuCaption()->text(), "CPU:");
  // Then an output: its loads and bars.
  audio = AUCPULoadSources::AudioLoads{0.25, 0.75};
  tick();
  EXPECT_EQ(v->auLabel()->text(), "25.0%");
  const Rect bar = v->calcBarFrame();
  EXPECT_EQ(v->bar2()->frame(), (Rect{bar.origin.x, bar.origin.y, std::trunc(0.25 * bar.width() / 4), bar.height()}));
  EXPECT_EQ(v->bar1()->frame().width(), std::trunc(0.75 * bar.width() / 4));
  // The output goes: the last values stay.
  audio.reset();
  tick();
  EXPECT_EQ(v->auLabel()->text(), "25.0%");
  EXPECT_EQ(v->averageAULoad(), 0.25);
}

TEST_F(LoadViewTest, BarsScaleByTheProcessorsAndStopAtFullWidth) {
  struct Case {
    int32_t cpus;
    double load;
    double fraction;
    const char* text;
  };
  for (const Case& k : {Case{2, 1.0, 0.5, "100.0%"}, Case{2, 2.0, 1.0, "200.0%"}, Case{2, 7.5, 1.0, "750.0%"},
                        Case{1, 0.125, 0.125, "12.5%"}}) {
    cpu = k.load;
    auto v = make(k.cpus);
    tick();
    const Rect bar = v->calcBarFrame();
    EXPECT_EQ(v->cpuLabel()->text(), k.text);
    EXPECT_EQ(v->bar0()->frame().width(), std::trunc(k.fraction * bar.width())) << k.load;
    EXPECT_EQ(v->numOfCpus(), k.cpus);
  }
}

TEST_F(LoadViewTest, AnUnchangedLoadIsNotWrittenAgainAndStoppingEndsTheRefresh) {
  cpu = 0.3;
  audio = AUCPULoadSources::AudioLoads{0.1, 0.2};
  auto v = make(2);
  tick();
  v->cpuLabel()->setText("kept");
  v->auLabel()->setText("kept");
  tick();
  EXPECT_EQ(v->cpuLabel()->text(), "kept");
  EXPECT_EQ(v->auLabel()->text(), "kept");
  cpu = 0.4;
  tick();
  EXPECT_EQ(v->cpuLabel()->text(), "40.0%");
  v->stopTimer();
  EXPECT_EQ(v->timer(), nullptr);
  const int reads = cpuReads;
  cpu = 0.9;
  tick();
  tick();
  EXPECT_EQ(cpuReads, reads);
}

TEST_F(LoadViewTest, LabelsShareThirdsOfTheTopRowAndTheBarsLieAtTheBottom) {
  auto v = make(1);
  EXPECT_EQ(v->calcAuLabelFrame(), (Rect{4, 2, 72, 13}));
  EXPECT_EQ(v->calcCpuLabelFrame(), (Rect{84, 2, 72, 13}));
  EXPECT_EQ(v->calcMemoryLabelFrame(), (Rect{164, 2, 72, 13}));
  EXPECT_EQ(v->auCaption()->frame(), v->auLabel()->frame());
  EXPECT_EQ(v->calcBarFrame(), (Rect{5, 19, 230, 6}));
  EXPECT_EQ(v->auLabel()->textAlignment(), platform::TextAlignment::Right);
  EXPECT_EQ(v->auCaption()->textAlignment(), platform::TextAlignment::Left);
  // It draws without an error on its own.
  EXPECT_TRUE(backend.renderView(*v));
}

TEST(LoadViewSystem, TheOperatingSystemAnswersCoresMemoryAndLoad) {
  EXPECT_GE(countCPUCores(), 1);
  EXPECT_GT(retrieveRealMemory(), 1.0);
  // Spin until the process has used 0.2 s of processor time, however long a
  // loaded machine makes that take, and compare with the kernel's own clock.
  const auto cpuNow = [] {
    timespec t{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
  };
  retrieveCpuLoad();
  const double cpuStart = cpuNow();
  const auto wallStart = std::chrono::steady_clock::now();
  volatile double x = 0;
  while (cpuNow() - cpuStart < 0.2) x = x + 1.0;
  const double load = retrieveCpuLoad();
  const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - wallStart).count();
  const double expected = (cpuNow() - cpuStart) / wall;
  // The stat file counts in clock ticks: allow a few of them.
  const double tickSlack = 3.0 / static_cast<double>(::sysconf(_SC_CLK_TCK)) / wall;
  EXPECT_NEAR(load, expected, 0.05 + tickSlack) << "a busy thread for the whole interval";
  EXPECT_LT(load, countCPUCores() + 0.5);
}
