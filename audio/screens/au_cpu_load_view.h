#pragma once
// A small translucent overlay that shows, twenty times a second, the audio
// output's load ("AU:"), the process's CPU load ("CPU:") and its resident
// memory in megabytes, with coloured bars for the two loads on a dark strip.
// Loads are per core (two busy cores read 200.0%); the bars are full only
// when every processor is busy. Nothing in the program places it; it is a
// diagnostic view for whoever wants one over the panel.
//
// stopTimer ends the refreshing; the view stops it itself when it goes.
// Main thread only.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

#include "platform/ui/view.h"

namespace platform {
class Label;
class Timer;
}  // namespace platform

// Where the overlay reads its numbers; each member may be replaced (tests).
struct AUCPULoadSources {
  struct AudioLoads {
    double average;
    double maximum;
  };
  // The audio output's average and maximum load; nothing without an output.
  std::function<std::optional<AudioLoads>()> audioLoads;
  // The process's CPU load, 1.0 per fully busy core; 0 when it cannot be read.
  std::function<double()> cpuLoad;
  // Resident memory in megabytes; 0 when it cannot be read.
  std::function<double()> realMemory;
  // Number of processors; 1 when it cannot be read.
  std::function<int32_t()> cpuCores;

  // The audio singleton and the operating system's answers.
  static AUCPULoadSources system();
};

class AUCPULoadView : public platform::View {
 public:
  static constexpr double kInterval = 0.05;

  explicit AUCPULoadView(const platform::Rect& frame = {}, AUCPULoadSources sources = AUCPULoadSources::system());
  ~AUCPULoadView() override;

  void startTimer();
  void stopTimer();
  void timerFired();

  void layoutSubviews() override;
  void drawRect(const platform::Rect& rect) override;
  void drawBackground(platform::GraphicsContext& c);
  void drawIndicator(platform::GraphicsContext& c);

  platform::Rect calcAuLabelFrame() const;
  platform::Rect calcCpuLabelFrame() const;
  platform::Rect calcMemoryLabelFrame() const;
  platform::Rect calcBarFrame() const;

  const std::shared_ptr<platform::Timer>& timer() const { return timer_; }
  double averageAULoad() const { return averageAULoad_; }
  double maxAULoad() const { return maxAULoad_; }
  double cpuLoad() const { return cpuLoad_; }
  int32_t numOfCpus() const { return numOfCpus_; }
  platform::Label* auLabel() const { return auLabel_.get(); }
  platform::Label* auCaption() const { return auCaption_.get(); }
  platform::Label* cpuLabel() const { return cpuLabel_.get(); }
  platform::Label* cpuCaption() const { return cpuCaption_.get(); }
  platform::Label* memoryLabel() const { return memoryLabel_.get(); }
  // CPU load, maximum audio load, average audio load.
  platform::View* bar0() const { return bar0_.get(); }
  platform::View* bar1() const { return bar1_.get(); }
  platform::View* bar2() const { return bar2_.get(); }

  // "12.3%" for 0.123.
  static std::string percentText(double load);
  // The width of a bar for `load` on `cpus` processors over `width` points.
  static double barWidth(double load, int32_t cpus, double width);

 private:
  AUCPULoadSources sources_;
  std::shared_ptr<platform::Timer> timer_;
  double averageAULoad_ = 0.0;
  double maxAULoad_ = 0.0;
  double cpuLoad_ = 0.0;
  std::shared_ptr<platform::Label> auLabel_;
  std::shared_ptr<platform::Label> auCaption_;
  std::shared_ptr<platform::Label> cpuLabel_;
  std::shared_ptr<platform::Label> cpuCaption_;
  std::shared_ptr<platform::Label> memoryLabel_;
  std::shared_ptr<platform::View> bar0_;
  std::shared_ptr<platform::View> bar1_;
  std::shared_ptr<platform::View> bar2_;
  int32_t numOfCpus_ = 1;
};

// The operating system's answers, for AUCPULoadSources::system().
int32_t countCPUCores();
double retrieveRealMemory();
// CPU time of the whole process since the previous call, per second of
// wall time (the first call answers 0).
double retrieveCpuLoad();
