#pragma once
// A fresh engine per test: global settings in a temporary folder, the drum
// sample memory from the bundle, an in-memory pattern library, and helpers
// to render it off line or live and to read the result by numbers.

#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "engine/provider/memory_data_provider.h"
#include "engine/record/init_pattern.h"
#include "engine/record/param_id.h"
#include "engine/settings/global_settings.h"
#include "engine/synth/synth.h"
#include "engine/interfaces/synth_listener.h"
#include "engine/voices/drum_data.h"

namespace synthtest {

struct Stereo {
  std::vector<int16_t> left;
  std::vector<int16_t> right;
  size_t frames() const { return left.size(); }
  void append(const Stereo& more) {
    left.insert(left.end(), more.left.begin(), more.left.end());
    right.insert(right.end(), more.right.begin(), more.right.end());
  }
};

// First frame from `from` on where either channel is not zero; -1 if none.
inline int64_t firstNonZero(const Stereo& s, size_t from = 0) {
  for (size_t i = from; i < s.frames(); ++i)
    if (s.left[i] != 0 || s.right[i] != 0) return static_cast<int64_t>(i);
  return -1;
}

inline int32_t peak(const std::vector<int16_t>& v, size_t from = 0, size_t to = SIZE_MAX) {
  int32_t p = 0;
  for (size_t i = from; i < std::min(to, v.size()); ++i) p = std::max(p, std::abs(int32_t{v[i]}));
  return p;
}

inline double rms(const std::vector<int16_t>& v, size_t from = 0, size_t to = SIZE_MAX) {
  double sum = 0;
  size_t n = 0;
  for (size_t i = from; i < std::min(to, v.size()); ++i, ++n) sum += double(v[i]) * double(v[i]);
  return n ? std::sqrt(sum / double(n)) : 0.0;
}

// A quiet pattern: no steps, no motion, effect off, every part dry; one bar
// of sixteen steps at 120 BPM, so a step pair lasts exactly 11,025 frames.
inline PatternRecord quietPattern() {
  PatternRecord r = makeInitPattern();
  r.effectParams[0].trigger = 0;
  for (int p = 0; p < kNumParts; ++p) {
    r.synthParams[p].fxSend = 0;
    r.synthParams[p].waveform = 2;  // square: full level from the first frame
    r.synthParams[p].decay = 127;
    r.synthParams[p].level = 100;
  }
  r.sequencerParams.accentLevel = 100;
  for (auto& a : r.sequencerParams.accent) a = 0;
  return r;
}

// Keeps the names of the observer calls, in order.
class CallLog : public SynthListener {
 public:
  std::vector<std::string> calls;
  void synthTriggered(int, bool) override { calls.push_back("synthTriggered"); }
  void synthParameterChangedFromMidi(int, int) override { calls.push_back("parameterFromMidi"); }
  void patternChanged() override {
    calls.push_back("patternChanged");
    patternChanges.fetch_add(1);
  }
  void patternTagInfoDidUpdate() override { calls.push_back("tags"); }
  void recordingStatusChanged() override { calls.push_back("recording"); }
  void seqReturnedToTheBeginning() override { calls.push_back("beginning"); }
  void notifyPatternSetChangedFromMidi(uint16_t, uint16_t) override { calls.push_back("setFromMidi"); }
  void notifyPatternChangedFromMidi(int) override { calls.push_back("patternFromMidi"); }
  void currentPartChangedFromMidi(int) override { calls.push_back("partFromMidi"); }
  void seqPageShiftedFromMidi(int) override { calls.push_back("page"); }
  void sequenceDidStart() override { calls.push_back("start"); }
  void sequenceDidStop() override { calls.push_back("stop"); }
  void precountAbletonLinkSync(int, int) override { calls.push_back("precount"); }
  void abletonLinkSyncTempoChanged(double) override { calls.push_back("linkTempo"); }
  void abletonLinkSyncEnabledDidChange() override { calls.push_back("linkEnabled"); }
  void abletonLinkSyncConnectedDidChange() override { calls.push_back("linkConnected"); }
  long count(const std::string& name) const { return std::count(calls.begin(), calls.end(), name); }
  // Readable while another thread calls in (the names are not).
  std::atomic<long> patternChanges{0};
};

class EngineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/igb-synth-XXXXXX";
    ASSERT_NE(::mkdtemp(tmpl), nullptr);
    dir_ = tmpl;
    createGlobalSettings(dir_, dir_);
    createDrumData(IGB_BUNDLE_DIR);
    ASSERT_NE(drumData(), nullptr);
    synth = Synth::getInstance(44100.0f);
    synth->setDataProvider(&provider);
  }
  void TearDown() override {
    Synth::destroyInstance();
    destroyDrumData();
    destroyGlobalSettings();
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
  }

  GlobalSettings& settings() { return *globalSettings(); }

  // renderBlock in blocks of `block` frames (no device: the bounce's way).
  Stereo renderOffline(size_t frames, int32_t block = 1024) {
    Stereo s;
    s.left.assign(frames, 0);
    s.right.assign(frames, 0);
    for (size_t done = 0; done < frames;) {
      const int32_t n = static_cast<int32_t>(std::min<size_t>(static_cast<size_t>(block), frames - done));
      int16_t* ch[2] = {s.left.data() + done, s.right.data() + done};
      synth->renderBlock(nullptr, ch, n);
      done += static_cast<size_t>(n);
    }
    return s;
  }

  // The live entry, one call per `block` frames.
  Stereo renderLive(size_t frames, int32_t block = 256, AudioIO* io = nullptr) {
    Stereo s;
    s.left.assign(frames, 0x5555);
    s.right.assign(frames, 0x5555);
    for (size_t done = 0; done < frames;) {
      const int32_t n = static_cast<int32_t>(std::min<size_t>(static_cast<size_t>(block), frames - done));
      int16_t* ch[2] = {s.left.data() + done, s.right.data() + done};
      synth->render(io, ch, n);
      done += static_cast<size_t>(n);
    }
    return s;
  }

  // The record becomes what plays; the sequencer is started for a bounce
  // at time 0 and the first frame rendered next is the pattern's first.
  void startBounceOf(const PatternRecord& r) {
    synth->setPatternRecord(&r);
    ASSERT_TRUE(synth->beginBounce());
    synth->startForBounce(0);
  }

  MemoryDataProvider provider{2};
  Synth* synth = nullptr;

 private:
  std::filesystem::path dir_;
};

}  // namespace synthtest
