#pragma once
// Fakes around the sequencer: a recording listener, an audio device with a
// settable clock, a pattern provider in memory, a MIDI clock tracker and a
// Link session with a plain linear timeline.

#include <atomic>
#include <cmath>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "engine/interfaces/audio_io.h"
#include "engine/interfaces/data_provider.h"
#include "engine/interfaces/seq_listener.h"
#include "engine/seq/seq.h"
#include "support/stepping_audio_io.h"

namespace seqtest {

inline constexpr float kRate = 44100.0f;

// Every listener call in order, as text for sequences and as typed lists for
// the playback checks.
class RecordingListener : public SeqListener {
 public:
  struct Trigger {
    int32_t frame;
    int32_t part;
    bool accent;
  };
  struct Motion {
    int32_t frame;
    ParamId id;
    int32_t value;  // -1: released to the knob value
  };

  void stepTriggered(int32_t frame, int32_t part, bool accent) override {
    triggers.push_back({base + frame, part, accent});
  }
  void motionValue(int32_t frame, ParamId id, int32_t value) override { motion.push_back({base + frame, id, value}); }
  void targetTriggered(int32_t frame, ParamId id) override { motion.push_back({base + frame, id, -1}); }
  int32_t loadPattern(int32_t index, bool whilePlaying) override {
    calls.push_back("loadPattern " + std::to_string(index) + (whilePlaying ? " playing" : " stopped"));
    loads.push_back({index, whilePlaying, base});
    if (seq && seq->recordToLoad()) {
      loadedRecords.push_back(*seq->recordToLoad());
      if (applyLoadedPattern) {
        const PatternRecord& r = *seq->recordToLoad();
        seq->resetParams();
        seq->setParam(kSeqParamBpm, r.sequencerParams.tempo);
        seq->setParam(kSeqParamSwing, r.sequencerParams.swing);
        seq->setParam(kSeqParamPatternLength, r.sequencerParams.length);
        seq->setParam(kSeqParamLastStep, r.sequencerParams.lastStep);
        for (int p = 0; p < kNumParts; ++p) {
          for (int s = 0; s < kNumSteps; ++s) seq->setTriggerStep(p, s, r.sequencerParams.trigger[p][s] != 0);
        }
      }
      return seq->recordToLoad()->sequencerParams.tempo;
    }
    loadedRecords.push_back(PatternRecord::zeroed());
    return 1200;
  }
  void patternTop(int32_t startStep) override { calls.push_back("patternTop " + std::to_string(startStep)); }
  void returnedToBeginning() override { calls.push_back("returnedToBeginning"); }
  void setTempo(int32_t tempo) override { calls.push_back("setTempo " + std::to_string(tempo)); }
  void tempoChanged() override { calls.push_back("tempoChanged"); }
  void playStateChanged(bool playing) override {
    calls.push_back(std::string("playStateChanged ") + (playing ? "1" : "0"));
  }
  void recordingStatusChanged(bool on) override {
    calls.push_back(std::string("recordingStatusChanged ") + (on ? "1" : "0"));
  }
  void patternSetSelected(uint16_t high, uint16_t low) override {
    calls.push_back("patternSetSelected " + std::to_string(high) + " " + std::to_string(low));
  }
  void patternChanged(int32_t index) override { calls.push_back("patternChanged " + std::to_string(index)); }
  void stopCommandProcessed() override { calls.push_back("stopCommandProcessed"); }
  void sequenceDidStart() override {
    calls.push_back("sequenceDidStart");
    startFrames.push_back(base);
  }
  void sequenceDidStop() override { calls.push_back("sequenceDidStop"); }
  void linkCountIn(int32_t ticksPerBar, int32_t tickIndex) override {
    calls.push_back("linkCountIn " + std::to_string(ticksPerBar) + " " + std::to_string(tickIndex));
    countIns.push_back(tickIndex);
  }
  void linkSessionTempoChanged(double tempo) override {
    calls.push_back("linkSessionTempoChanged " + std::to_string(static_cast<int>(tempo)));
  }
  void linkEnabledChanged() override { calls.push_back("linkEnabledChanged"); }
  void linkConnectedChanged() override { calls.push_back("linkConnectedChanged"); }

  bool saw(const std::string& call) const {
    for (const auto& c : calls) {
      if (c == call) return true;
    }
    return false;
  }
  int count(const std::string& call) const {
    int n = 0;
    for (const auto& c : calls) n += c == call;
    return n;
  }
  std::vector<int32_t> triggerFrames(int32_t part) const {
    std::vector<int32_t> out;
    for (const auto& t : triggers) {
      if (t.part == part) out.push_back(t.frame);
    }
    return out;
  }
  std::vector<Motion> motionOf(ParamId id) const {
    std::vector<Motion> out;
    for (const auto& m : motion) {
      if (m.id == id) out.push_back(m);
    }
    return out;
  }
  void clear() {
    calls.clear();
    triggers.clear();
    motion.clear();
    loads.clear();
    loadedRecords.clear();
    startFrames.clear();
    countIns.clear();
  }

  struct Load {
    int32_t index;
    bool whilePlaying;
    int64_t blockFrame;
  };

  Seq* seq = nullptr;
  bool applyLoadedPattern = true;
  // Absolute frame of the start of the current render call, so frames in
  // the lists count from the start of the run.
  int32_t base = 0;
  std::vector<std::string> calls;
  std::vector<Trigger> triggers;
  std::vector<Motion> motion;
  std::vector<Load> loads;
  std::vector<PatternRecord> loadedRecords;
  std::vector<int32_t> startFrames;
  std::vector<int32_t> countIns;
};

// An audio device that only tells the time of the chunk being rendered.
struct FakeAudioIO : igbtest::FakeAudioIO {
  FakeAudioIO() : igbtest::FakeAudioIO(1'000'000'000) {}
};

class FakeClock : public HostClock {
 public:
  uint64_t now() override { return time.load(); }
  std::atomic<uint64_t> time{1'000'000'000};
};

// Patterns in memory; pattern i has tempo 1000 + 10 i and a trigger on part
// 0 at step i % 64 so a load can be recognised by what it plays.
class MemoryProvider : public DataProvider {
 public:
  explicit MemoryProvider(int32_t count = 416) : records(static_cast<size_t>(count)) {
    for (int32_t i = 0; i < count; ++i) {
      PatternRecord& r = records[static_cast<size_t>(i)];
      r = PatternRecord::zeroed();
      r.sequencerParams.tempo = static_cast<int16_t>(1000 + 10 * (i % 400));
      r.sequencerParams.swing = 50;
      r.sequencerParams.length = 4;
      r.sequencerParams.lastStep = 16;
      r.sequencerParams.trigger[0][i % 64] = 1;
      r.motionParams[0].motionId = -1;
    }
  }
  PatternRecord patternAt(int32_t index) override {
    {
      std::lock_guard<std::mutex> lock(mutex);
      fetchThreads.push_back(std::this_thread::get_id());
    }
    fetches.fetch_add(1);
    return records.at(static_cast<size_t>(index));
  }
  PatternRecord patternAt(int32_t slot, int32_t bank) override { return patternAt(bank * 32 + slot); }
  int32_t numberOfPatterns() override { return static_cast<int32_t>(records.size()); }
  int32_t numberOfBanks() override { return numberOfPatterns() / 32; }
  int32_t numberOfPatternsInBank(int32_t) override { return 32; }
  void initializePattern(int32_t, int32_t) override {}
  void movePatterns(int32_t, int32_t, int32_t, int32_t) override {}
  bool storePattern(const PatternRecord&, int32_t, int32_t) override { return false; }
  bool storePattern(const PatternRecord&, int32_t) override { return false; }
  bool storeTagInfo(const PatternRecord&, int32_t, int32_t) override { return false; }
  bool storeTagInfo(const PatternRecord&, int32_t) override { return false; }
  int32_t indexOf(int32_t slot, int32_t bank) override { return bank * 32 + slot; }
  void slotAndBankOf(int32_t index, int32_t* slot, int32_t* bank) override {
    *slot = index % 32;
    *bank = index / 32;
  }
  std::string columnText(int32_t, int32_t) override { return {}; }
  bool editBufferExists() override { return false; }
  void loadEditBuffer(PatternRecord*, int32_t*) override {}
  void storeEditBuffer(const PatternRecord&, int32_t) override {}
  void removeEditBuffer() override {}
  void initPattern(PatternRecord* record) override { *record = PatternRecord::zeroed(); }

  std::vector<PatternRecord> records;
  std::mutex mutex;
  std::vector<std::thread::id> fetchThreads;
  std::atomic<int> fetches{0};
};

class FakeTracker : public ClockTempoTracker {
 public:
  void reset() override { ++resets; }
  void tick(uint64_t hostTime) override {
    ++ticks;
    lastTick = hostTime;
  }
  double tempo() const override { return bpm; }

  double bpm = 120.0;
  int resets = 0;
  int ticks = 0;
  uint64_t lastTick = 0;
};

// A session state with one straight timeline: beat(t) = origin beat +
// (t - origin time) × tempo / 60 s. No peers, so a requested beat lands
// exactly at the requested time.
class FakeSessionState : public LinkSessionState {
 public:
  double sessionTempo() const override { return tempo; }
  void setSessionTempo(double bpm, uint64_t hostTime) override {
    const double beat = beatAt(hostTime, 4.0);
    tempo = std::fmin(std::fmax(bpm, 20.0), 999.0);
    originBeat = beat;
    originTime = hostTime;
  }
  double beatAt(uint64_t hostTime, double) const override {
    return originBeat + (static_cast<double>(hostTime) - static_cast<double>(originTime)) * 1e-9 * tempo / 60.0;
  }
  uint64_t timeOfBeat(double beat, double) const override {
    return static_cast<uint64_t>(static_cast<double>(originTime) + (beat - originBeat) * 60.0 / tempo * 1e9);
  }
  void requestBeat(double beat, uint64_t hostTime, double quantum) override {
    uint64_t at = hostTime;
    if (peersPresent) {
      // With peers the beat waits for the session's next quantum boundary.
      const double next = std::ceil(beatAt(hostTime, quantum) / quantum) * quantum;
      at = timeOfBeat(next, quantum);
    }
    originBeat = beat;
    originTime = at;
  }

  double tempo = 120.0;
  double originBeat = 0.0;
  uint64_t originTime = 0;
  bool peersPresent = false;
};

class FakeLink : public LinkKit {
 public:
  explicit FakeLink(double initialTempo) { session.tempo = initialTempo; }
  bool enabled() override { return isEnabled.load(); }
  bool hasPeers() override { return peers.load(); }
  void setAppActive(bool active) override { appActive = active; }
  void setSessionTempoCallback(LinkSessionTempoCallback cb, void* ctx) override {
    callback = cb;
    context = ctx;
  }
  LinkSessionState* snapshotAudioState() override {
    ++audioSnapshots;
    audio = session;
    audio.peersPresent = peers.load();
    return &audio;
  }
  void publishAudioState(LinkSessionState* state) override {
    ++audioPublishes;
    session = *static_cast<FakeSessionState*>(state);
  }
  LinkSessionState* snapshotAppState() override {
    ++appSnapshots;
    app = session;
    app.peersPresent = peers.load();
    return &app;
  }
  void publishAppState(LinkSessionState* state) override {
    ++appPublishes;
    session = *static_cast<FakeSessionState*>(state);
  }
  void fireTempo(double tempo) {
    if (callback) callback(tempo, context);
  }

  std::atomic<bool> isEnabled{false};
  std::atomic<bool> peers{false};
  bool appActive = true;
  LinkSessionTempoCallback callback = nullptr;
  void* context = nullptr;
  FakeSessionState session;
  FakeSessionState audio;
  FakeSessionState app;
  int audioSnapshots = 0;
  int audioPublishes = 0;
  int appSnapshots = 0;
  int appPublishes = 0;
};

// Runs whole render calls the way the engine does: the Link check, then
// slices until the call is full. The device's host time follows the frames.
class Renderer {
 public:
  Renderer(Seq& seq, RecordingListener& listener, FakeAudioIO* io) : seq_(seq), listener_(listener), io_(io) {}

  // Renders `frames` frames in calls of at most `block`.
  void run(int64_t frames, int32_t block = 512) {
    while (frames > 0) {
      const int32_t n = static_cast<int32_t>(std::min<int64_t>(frames, block));
      renderCall(n);
      frames -= n;
    }
  }

  // Until the absolute frame `frame` has been rendered (block-aligned start).
  void runTo(int64_t frame, int32_t block = 512) { run(frame - rendered, block); }

  void renderCall(int32_t frames) {
    if (io_) io_->time = startHost + framesToNanos(rendered);
    listener_.base = static_cast<int32_t>(rendered);
    seq_.checkLinkState(io_);
    int32_t offset = 0;
    while (offset < frames) {
      const int32_t n = seq_.process(io_, offset, frames - offset);
      sliceStarts.push_back(rendered + offset);
      offset += n;
    }
    rendered += frames;
  }

  // Host time of an absolute frame (before latency).
  uint64_t hostAt(int64_t frame) const { return startHost + framesToNanos(frame); }
  static uint64_t framesToNanos(int64_t frames) {
    return static_cast<uint64_t>(std::llround(static_cast<double>(frames) * 1e9 / 44100.0));
  }

  int64_t rendered = 0;
  uint64_t startHost = 1'000'000'000;
  std::vector<int64_t> sliceStarts;

 private:
  Seq& seq_;
  RecordingListener& listener_;
  FakeAudioIO* io_;
};

}  // namespace seqtest
