// The audio-load overlay.

#include "audio/screens/au_cpu_load_view.h"

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <mutex>
#include <sstream>
#include <string>

#include "audio/iphone_audio_io.h"
#include "platform/runloop/run_loop.h"
#include "platform/ui/label.h"

using platform::Color;
using platform::Rect;

namespace {

std::string formatted(const char* format, double v) {
  char buf[64];
  std::snprintf(buf, sizeof buf, format, v);
  return buf;
}

}  // namespace

// ---- the operating system -------------------------------------------------------------------

int32_t countCPUCores() {
  const long n = ::sysconf(_SC_NPROCESSORS_CONF);
  return n > 0 ? static_cast<int32_t>(n) : 1;
}

double retrieveRealMemory() {
  std::ifstream statm("/proc/self/statm");
  long size = 0;
  long resident = 0;
  if (!(statm >> size >> resident)) return 0.0;
  const long page = ::sysconf(_SC_PAGESIZE);
  if (page <= 0) return 0.0;
  return static_cast<double>(resident) * static_cast<double>(page) / 1048576.0;
}

double retrieveCpuLoad() {
  // utime and stime (fields 14 and 15 of /proc/self/stat) cover every thread.
  std::ifstream stat("/proc/self/stat");
  std::string line;
  if (!std::getline(stat, line)) return 0.0;
  const size_t close = line.rfind(')');
  if (close == std::string::npos) return 0.0;
  std::istringstream rest(line.substr(close + 2));
  std::string field;
  unsigned long long utime = 0;
  unsigned long long stime = 0;
  for (int i = 3; i <= 15; ++i) {
    if (!(rest >> field)) return 0.0;
    if (i == 14) utime = std::stoull(field);
    if (i == 15) stime = std::stoull(field);
  }
  const long hz = ::sysconf(_SC_CLK_TCK);
  if (hz <= 0) return 0.0;
  const double cpuSeconds = static_cast<double>(utime + stime) / static_cast<double>(hz);
  const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
  static std::mutex mutex;
  static double lastCpu = -1.0;
  static double lastWall = 0.0;
  std::lock_guard<std::mutex> lock(mutex);
  double load = 0.0;
  if (lastCpu >= 0.0 && wall > lastWall) load = std::max(0.0, (cpuSeconds - lastCpu) / (wall - lastWall));
  lastCpu = cpuSeconds;
  lastWall = wall;
  return load;
}

AUCPULoadSources AUCPULoadSources::system() {
  AUCPULoadSources s;
  s.audioLoads = []() -> std::optional<AudioLoads> {
    IPhoneAudioIO* io = audioIO();
    if (!io) return std::nullopt;
    return AudioLoads{io->cpuLoad(), io->maxCpuLoad()};
  };
  s.cpuLoad = retrieveCpuLoad;
  s.realMemory = retrieveRealMemory;
  s.cpuCores = countCPUCores;
  return s;
}

// ---- the view ---------------------------------------------------------------------------------

AUCPULoadView::AUCPULoadView(const Rect& frame, AUCPULoadSources sources)
    : platform::View(frame), sources_(std::move(sources)) {
  setBackgroundColor(Color::clear());
  setUserInteractionEnabled(false);
  setDrawsContent(true);
  auto bar = [this](Color c) {
    auto v = std::make_shared<platform::View>();
    v->setBackgroundColor(c);
    v->setAlpha(0.75);
    v->setUserInteractionEnabled(false);
    addSubview(v);
    return v;
  };
  bar0_ = bar(Color::rgba(0, 0, 1));
  bar1_ = bar(Color::rgba(1, 0, 0));
  bar2_ = bar(Color::rgba(0, 1, 0));
  auto label = [this](Color c, platform::TextAlignment a, const std::string& text) {
    auto l = std::make_shared<platform::Label>();
    l->setFont(platform::Font::named("HelveticaNeue", 11.0));
    l->setBackgroundColor(Color::clear());
    l->setTextColor(c);
    l->setTextAlignment(a);
    l->setText(text);
    addSubview(l);
    return l;
  };
  const Color caption = Color::white(1.0, 0.7);
  auCaption_ = label(caption, platform::TextAlignment::Left, "AU:");
  auLabel_ = label(Color::whiteColor(), platform::TextAlignment::Right, "");
  cpuCaption_ = label(caption, platform::TextAlignment::Left, "CPU:");
  cpuLabel_ = label(Color::whiteColor(), platform::TextAlignment::Right, "");
  memoryLabel_ = label(Color::whiteColor(), platform::TextAlignment::Right, "");
  numOfCpus_ = sources_.cpuCores ? std::max(1, sources_.cpuCores()) : 1;
  startTimer();
}

AUCPULoadView::~AUCPULoadView() { stopTimer(); }

void AUCPULoadView::startTimer() {
  stopTimer();
  // The view invalidates the timer before it goes (stopTimer in the
  // destructor), so the timer never reaches a view that is gone.
  timer_ = platform::RunLoop::main().scheduleTimer(kInterval, true, [this](platform::Timer&) { timerFired(); });
}

void AUCPULoadView::stopTimer() {
  if (timer_ && timer_->isValid()) timer_->invalidate();
  timer_.reset();
}

std::string AUCPULoadView::percentText(double load) { return formatted("%3.1f", load * 100.0) + "%"; }

double AUCPULoadView::barWidth(double load, int32_t cpus, double width) {
  const double n = static_cast<double>(std::max(1, cpus));
  return std::trunc(std::min(std::max(load, 0.0), n) * width / n);
}

void AUCPULoadView::timerFired() {
  const Rect bar = calcBarFrame();
  auto place = [&](platform::View& v, double load) {
    v.setFrame({bar.origin.x, bar.origin.y, barWidth(load, numOfCpus_, bar.width()), bar.height()});
  };
  if (sources_.audioLoads) {
    if (std::optional<AUCPULoadSources::AudioLoads> loads = sources_.audioLoads()) {
      const double oldAverage = averageAULoad_;
      const double oldMax = maxAULoad_;
      averageAULoad_ = loads->average;
      maxAULoad_ = loads->maximum;
      if (averageAULoad_ != oldAverage || maxAULoad_ != oldMax) {
        auLabel_->setText(percentText(averageAULoad_));
        place(*bar1_, maxAULoad_);
        place(*bar2_, averageAULoad_);
      }
    }
  }
  const double oldCpu = cpuLoad_;
  cpuLoad_ = sources_.cpuLoad ? sources_.cpuLoad() : 0.0;
  if (cpuLoad_ != oldCpu) {
    cpuLabel_->setText(percentText(cpuLoad_));
    place(*bar0_, cpuLoad_);
  }
  memoryLabel_->setText(formatted("%3.1f", sources_.realMemory ? sources_.realMemory() : 0.0) + " MB");
}

namespace {

Rect labelFrame(const Rect& bounds, int column) {
  const Rect b = bounds.insetBy(0, 2);
  const double third = b.width() / 3;
  return Rect{b.minX() + third * column, b.minY(), third, 13.0}.insetBy(4.0, 0);
}

}  // namespace

Rect AUCPULoadView::calcAuLabelFrame() const { return labelFrame(bounds(), 0); }
Rect AUCPULoadView::calcCpuLabelFrame() const { return labelFrame(bounds(), 1); }
Rect AUCPULoadView::calcMemoryLabelFrame() const { return labelFrame(bounds(), 2); }

Rect AUCPULoadView::calcBarFrame() const {
  const Rect r = bounds().insetBy(4.0, 4.0);
  return Rect{r.minX(), r.maxY() - 8.0, r.width(), 8.0}.insetBy(1.0, 1.0);
}

void AUCPULoadView::layoutSubviews() {
  auLabel_->setFrame(calcAuLabelFrame());
  auCaption_->setFrame(calcAuLabelFrame());
  cpuLabel_->setFrame(calcCpuLabelFrame());
  cpuCaption_->setFrame(calcCpuLabelFrame());
  memoryLabel_->setFrame(calcMemoryLabelFrame());
}

void AUCPULoadView::drawRect(const Rect& rect) {
  platform::GraphicsContext* c = platform::currentGraphicsContext();
  if (!c) return;
  c->clearRect(rect);
  drawBackground(*c);
  drawIndicator(*c);
}

void AUCPULoadView::drawBackground(platform::GraphicsContext& c) {
  c.saveGState();
  c.beginPath();
  c.addPath(platform::Path::roundedRect(bounds(), 6.0));
  c.setFillColor(Color::white(0.0, 0.65));
  c.setStrokeColor(Color::white(0.0, 0.65));
  c.fillPath();
  c.beginPath();
  c.addPath(platform::Path::roundedRect(bounds(), 6.0));
  c.strokePath();
  c.restoreGState();
}

void AUCPULoadView::drawIndicator(platform::GraphicsContext& c) {
  const Rect strip = calcBarFrame().insetBy(-1.0, -1.0);
  c.saveGState();
  c.clearRect(strip);
  c.setFillColor(Color::white(0.0, 0.8));
  c.fillRect(strip);
  c.restoreGState();
}
