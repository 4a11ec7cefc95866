#pragma once
// Stand-ins for the engine in the audio tests: an engine the output's rules
// act on (records what it was asked), a recording source that renders a
// known pattern, and a listener that plays the same pattern live.

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "engine/interfaces/audio_io.h"
#include "engine/interfaces/audio_output_engine.h"
#include "engine/interfaces/recording_source.h"

namespace audiotest {

// A pattern of eight steps: at each step a sine burst of `kBurst` frames
// with the step's own level, then silence until the next step. Sample k of
// the pattern is a pure function of k, so a live rendering and an off-line
// one can be compared frame by frame.
struct TestPattern {
  static constexpr uint32_t kStep = 5512;  // a 16th at 120 BPM, rounded down
  static constexpr uint32_t kBurst = 2000;
  static constexpr uint32_t kSteps = 8;
  static constexpr int16_t kLevels[kSteps] = {30000, 9000, 18000, 6000, 24000, 12000, 15000, 3000};

  static int16_t left(uint64_t k) {
    const uint64_t step = (k / kStep) % kSteps;
    const uint64_t at = k % kStep;
    if (at >= kBurst) return 0;
    const double envelope = 1.0 - static_cast<double>(at) / kBurst;
    return static_cast<int16_t>(std::lround(kLevels[step] * envelope * std::sin(2.0 * M_PI * 441.0 * at / 44100.0)));
  }
  static int16_t right(uint64_t k) { return static_cast<int16_t>(-left(k) / 2); }
};

// The engine's side of the output's rules, recording each call in order.
class FakeOutputEngine : public AudioOutputEngine {
 public:
  std::atomic<bool> linkEnabled{false};
  std::atomic<bool> playing{false};

  void suspendLink() override { log("suspendLink"); }
  void resumeLink() override { log("resumeLink"); }
  bool isLinkEnabled() override { return linkEnabled.load(); }
  bool isPlaying() override { return playing.load(); }
  void resetSound() override { log("resetSound"); }
  void stopPlayback(uint64_t t) override { log("stopPlayback " + std::to_string(t)); }
  void startSequencer(uint64_t t) override { timed("startSequencer", t); }
  void stopSequencer(uint64_t t) override { timed("stopSequencer", t); }
  void linkStart(uint64_t t) override { timed("linkStart", t); }
  void linkStop(uint64_t t) override { timed("linkStop", t); }

  std::vector<std::string> calls() {
    std::lock_guard<std::mutex> lock(mutex_);
    return calls_;
  }
  void clear() {
    std::lock_guard<std::mutex> lock(mutex_);
    calls_.clear();
  }
  uint64_t lastTime() {
    std::lock_guard<std::mutex> lock(mutex_);
    return lastTime_;
  }

 private:
  void log(const std::string& s) {
    std::lock_guard<std::mutex> lock(mutex_);
    calls_.push_back(s);
  }
  void timed(const std::string& s, uint64_t t) {
    std::lock_guard<std::mutex> lock(mutex_);
    calls_.push_back(s);
    lastTime_ = t;
  }
  std::mutex mutex_;
  std::vector<std::string> calls_;
  uint64_t lastTime_ = 0;
};

// A recording source playing TestPattern from frame 0 once started for the
// bounce; silence before that and after the stop has been rendered.
class FakeRecordingSource : public RecordingSource {
 public:
  FakeRecordingSource(const std::string& name = "Test Pattern", int16_t tempoTenths = 1200) {
    record_ = PatternRecord::zeroed();
    setName(name);
    record_.sequencerParams.tempo = tempoTenths;
  }
  void setName(const std::string& name) {
    std::memset(record_.tagParams.name, 0, sizeof(record_.tagParams.name));
    std::memcpy(record_.tagParams.name, name.data(), std::min(name.size(), sizeof(record_.tagParams.name)));
  }

  bool acceptBounce = true;
  uint32_t length = TestPattern::kStep * TestPattern::kSteps;
  std::vector<std::string> calls;
  std::vector<int32_t> blockSizes;

  float sampleRate() const override { return 44100.0f; }
  PatternRecord* currentPattern() override { return &record_; }
  bool beginBounce() override {
    calls.push_back("beginBounce");
    return acceptBounce;
  }
  void endBounce() override { calls.push_back("endBounce"); }
  uint32_t bounceLength() override { return length; }
  void startForBounce(uint64_t t) override {
    calls.push_back("startForBounce " + std::to_string(t));
    startPending_ = true;
  }
  void stopPlayback(uint64_t t) override {
    calls.push_back("stopPlayback " + std::to_string(t));
    stopPending_ = true;
  }
  void renderBlock(AudioIO* io, int16_t** channels, int32_t frames) override {
    calls.push_back(io ? "render live" : "render");
    blockSizes.push_back(frames);
    // Commands take effect at the start of the next block, as the
    // sequencer's do.
    if (startPending_) {
      playing_ = true;
      position_ = 0;
      startPending_ = false;
    }
    if (stopPending_) {
      playing_ = false;
      stopPending_ = false;
    }
    for (int32_t i = 0; i < frames; ++i) {
      channels[0][i] = playing_ ? TestPattern::left(position_ + i) : 0;
      channels[1][i] = playing_ ? TestPattern::right(position_ + i) : 0;
    }
    if (playing_) position_ += static_cast<uint64_t>(frames);
  }

 private:
  PatternRecord record_;
  bool playing_ = false;
  bool startPending_ = false;
  bool stopPending_ = false;
  uint64_t position_ = 0;
};

// The live side: plays TestPattern from its first render call, and keeps
// what it was called with.
class PatternListener : public AudioIOListener {
 public:
  static constexpr int kMaxCalls = 65536;
  std::atomic<uint64_t> frames{0};
  std::atomic<int> calls{0};
  int32_t sizes[kMaxCalls] = {};
  uint64_t hostTimes[kMaxCalls] = {};
  AudioIO* ios[kMaxCalls] = {};
  std::atomic<bool> silent{false};

  void render(AudioIO* io, int16_t** channels, int32_t n) override {
    const int call = calls.load(std::memory_order_relaxed);
    if (call < kMaxCalls) {
      sizes[call] = n;
      hostTimes[call] = io ? io->hostTime() : 0;
      ios[call] = io;
    }
    const uint64_t base = frames.load(std::memory_order_relaxed);
    const bool quiet = silent.load(std::memory_order_relaxed);
    for (int32_t i = 0; i < n; ++i) {
      channels[0][i] = quiet ? 0 : TestPattern::left(base + static_cast<uint64_t>(i));
      channels[1][i] = quiet ? 0 : TestPattern::right(base + static_cast<uint64_t>(i));
    }
    frames.store(base + static_cast<uint64_t>(n), std::memory_order_relaxed);
    calls.store(call + 1, std::memory_order_release);
  }
};

}  // namespace audiotest
