// The null device: asks for one buffer per buffer duration, on a deadline
// so that the pace does not drift, and drops what it gets. It stands in for
// a sound card when none answers, so the engine, the sequencer and the MIDI
// timing run as they would with one.

#include <time.h>

#include <algorithm>
#include <cerrno>
#include <atomic>
#include <cstring>
#include <memory>
#include <thread>

#include "platform/audio/audio_backend.h"
#include "platform/foundation/host_time.h"

namespace platform::audio_detail {

namespace {

constexpr int64_t kNanos = 1000000000;

void addNanos(timespec& t, int64_t ns) {
  const int64_t total = t.tv_nsec + ns;
  t.tv_sec += static_cast<time_t>(total / kNanos);
  t.tv_nsec = static_cast<long>(total % kNanos);
}

int64_t toNanos(const timespec& t) { return int64_t(t.tv_sec) * kNanos + t.tv_nsec; }

class NullBackend final : public Backend {
 public:
  ~NullBackend() override { close(); }

  AudioDriver driver() const override { return AudioDriver::Null; }

  bool open(const BackendConfig& config, std::string* /*why*/) override {
    config_ = config;
    frames_ = std::max<uint32_t>(16, config.preferredFrames);
    buffer_ = std::make_unique<int16_t[]>(size_t{frames_} * config.channels);
    return true;
  }

  bool start() override {
    if (thread_.joinable()) return true;
    quit_.store(false);
    thread_ = std::thread([this] { run(); });
    return true;
  }

  bool stop() override {
    quit_.store(true);
    if (thread_.joinable()) thread_.join();
    return true;
  }

  void close() override { stop(); }

  uint32_t bufferFrames() const override { return frames_; }
  double sampleRate() const override { return config_.sampleRate; }
  uint64_t outputLatencyNanos() const override { return 0; }

 private:
  void run() {
    const int64_t period = static_cast<int64_t>(static_cast<double>(frames_) * 1e9 / config_.sampleRate);
    timespec deadline{};
    clock_gettime(CLOCK_MONOTONIC, &deadline);
    const size_t samples = size_t{frames_} * config_.channels;
    while (!quit_.load(std::memory_order_acquire)) {
      AudioTimeStamp ts;
      ts.hostTime = hostTime();
      ts.hostTimeValid = true;
      std::memset(buffer_.get(), 0, sizeof(int16_t) * samples);
      config_.render(config_.renderContext, ts, buffer_.get(), frames_);
      addNanos(deadline, period);
      timespec now{};
      clock_gettime(CLOCK_MONOTONIC, &now);
      // Far behind (a debugger, a stalled machine): start the pace afresh
      // rather than rush through the backlog.
      if (toNanos(now) - toNanos(deadline) > 8 * period) deadline = now;
      while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &deadline, nullptr) == EINTR) {
      }
    }
  }

  BackendConfig config_;
  uint32_t frames_ = 0;
  std::unique_ptr<int16_t[]> buffer_;
  std::atomic<bool> quit_{false};
  std::thread thread_;
};

}  // namespace

std::unique_ptr<Backend> makeNullBackend() { return std::make_unique<NullBackend>(); }

}  // namespace platform::audio_detail
