// The engine's MIDI handlers: control-change commands, bank select, the
// queue's placement of events in the render, packed identifiers on both
// threads, and the controllers' layouts.
#include <gtest/gtest.h>

#include <cstring>

#include "midi_test_support.h"

namespace {

using miditest::Call;
using synthtest::firstNonZero;

class SynthMidi : public miditest::MidiTest {
 protected:
  void cc(uint32_t control, uint32_t value, uint32_t channel = 9) { synth->handleControlChange(io.time, channel, control, value); }
  void controller(int32_t layout, uint8_t control, uint8_t value) {
    const uint8_t b[3] = {0xBF, control, value};
    synth->handleFaderControllerInput(layout, io.time, b, 3);
  }
  bool has(const std::vector<Call>& calls, const Call& c) { return std::find(calls.begin(), calls.end(), c) != calls.end(); }
};

TEST_F(SynthMidi, PatternSelectControl) {
  std::vector<std::pair<int32_t, int32_t>> asked;
  synth->setPatternSetLookup([&](int32_t slot, int32_t bank) {
    asked.emplace_back(slot, bank);
    return 7;
  });
  cc(8, 64);
  cc(8, 127);
  renderChunk();
  EXPECT_TRUE(asked.empty());
  EXPECT_TRUE(recorder.take().empty());
  EXPECT_TRUE(drainQueue().empty());

  cc(8, 35);
  ASSERT_EQ(asked.size(), 1u);
  EXPECT_EQ(asked[0], std::make_pair(3, 2));
  EXPECT_TRUE(drainQueue().empty());
  renderChunk();
  renderChunk();
  const auto calls = recorder.take();
  EXPECT_TRUE(has(calls, {"set", 2, 3}));
  EXPECT_TRUE(has(calls, {"pattern", 7, 0}));
  // A stopped sequencer starts with the selected pattern.
  EXPECT_TRUE(synth->isPlaying());
  EXPECT_EQ(synth->currentPatternIndex(), 7);

  // While playing, another pattern only changes; the same one restarts.
  asked.clear();
  synth->setPatternSetLookup([&](int32_t, int32_t) { return 9; });
  cc(8, 0);
  renderChunk();
  EXPECT_TRUE(has(recorder.take(), {"pattern", 9, 0}));
  EXPECT_TRUE(synth->isPlaying());
}

TEST_F(SynthMidi, TransportControlValues) {
  struct Row {
    uint32_t value;
    bool playing;
  };
  cc(7, 6);
  renderChunk();
  EXPECT_FALSE(synth->isPlaying());
  cc(7, 1);
  EXPECT_TRUE(drainQueue().empty());
  renderChunk();
  EXPECT_TRUE(synth->isPlaying());
  cc(7, 3);
  renderChunk();
  EXPECT_TRUE(synth->seq()->isLoop());
  cc(7, 2);
  renderChunk();
  EXPECT_FALSE(synth->seq()->isLoop());
  recorder.take();
  cc(7, 5);
  renderChunk();
  EXPECT_TRUE(synth->isRecording());
  cc(7, 4);
  renderChunk();
  EXPECT_FALSE(synth->isRecording());
  EXPECT_EQ(recorder.take(), (std::vector<Call>{{"recording", 0, 0}, {"recording", 0, 0}}));
  cc(7, 0);
  renderChunk();
  EXPECT_FALSE(synth->isPlaying());
  // On another channel nothing happens.
  cc(7, 1, 0);
  renderChunk();
  EXPECT_FALSE(synth->isPlaying());
}

TEST_F(SynthMidi, BankSelectIsInForceForTheNextProgramChange) {
  PatternRecord quiet = synthtest::quietPattern();
  synth->setPatternRecord(&quiet);
  renderChunk();
  const PatternRecord before = *synth->currentPattern();
  // Applied on the render side they change nothing: not the record, and not
  // the bank select (that was taken on the MIDI thread).
  synth->applyControlChange(0, 5);
  synth->applyControlChange(32, 5);
  EXPECT_EQ(std::memcmp(&before, synth->currentPattern(), sizeof before), 0);
  // 64 stored patterns: a program change is posted only while the MSB is 0
  // and program + 128 x LSB is below 64.
  cc(0, 1);
  EXPECT_FALSE(synth->seq()->programChange(io.time, 3));
  cc(0, 0);
  EXPECT_TRUE(synth->seq()->programChange(io.time, 3));
  cc(32, 1);
  EXPECT_FALSE(synth->seq()->programChange(io.time, 3));
  cc(32, 0);
  EXPECT_TRUE(synth->seq()->programChange(io.time, 3));
  // The controls still travel to the interface, with their map entries.
  EXPECT_EQ(recorder.take(), (std::vector<Call>{{"param", -1, 1}, {"param", -1, 0}, {"param", -2, 1}, {"param", -2, 0}}));
}

TEST_F(SynthMidi, EventsPlayOneLatencyAfterTheirStamp) {
  synth->setPatternRecord(&(const PatternRecord&)synthtest::quietPattern());
  io.latency = 2'000'000;  // 2 ms = 88.2 frames
  struct Row {
    const char* what;
    int64_t stampOffsetNs;  // from the chunk's time
    int32_t chunk;          // the chunk (of 256 frames) it sounds in
    int32_t frame;          // its first frame there
  };
  const Row rows[] = {
      {"now", 0, 0, 88},
      {"1 ms in", 1'000'000, 0, 132},
      {"late", -1'000'000'000, 0, 0},
      {"stamped before the latency ran out", -1'500'000, 0, 22},
      {"two chunks ahead", 11'610'000, 2, 88},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.what);
    Synth::destroyInstance();
    synth = Synth::getInstance(44100.0f);
    synth->setDataProvider(&provider);
    synth->setListener(&recorder);
    PatternRecord quiet = synthtest::quietPattern();
    synth->setPatternRecord(&quiet);
    const uint64_t stamp = static_cast<uint64_t>(static_cast<int64_t>(io.time) + r.stampOffsetNs);
    synth->handleNoteOn(stamp, 9, 36, 127);
    for (int32_t c = 0; c <= r.chunk; ++c) {
      renderChunk();
      if (c < r.chunk) {
        EXPECT_EQ(firstNonZero(last), -1) << "chunk " << c;
        EXPECT_EQ(synth->midiEventQueue().size(), 1u);
      }
    }
    EXPECT_EQ(firstNonZero(last), r.frame);
    EXPECT_EQ(synth->midiEventQueue().size(), 0u);
  }
}

TEST_F(SynthMidi, ParameterByIdPerGroup) {
  PatternRecord base = synthtest::quietPattern();
  synth->setPatternRecord(&base);
  struct Row {
    const char* what;
    PackedParamId id;
    int32_t value;
    std::function<int32_t()> read;
    int32_t expected;
  };
  const Row rows[] = {
      {"part level", packedParamId(1, 6), 99, [&] { return synth->currentPattern()->synthParams[1].level; }, 99},
      {"part level sound", packedParamId(1, 6), 98, [&] { return synth->partParameter(1, 6); }, 98},
      {"drum pitch", packedParamId(6, 0), 12, [&] { return synth->partParameter(6, 0); }, 12},
      {"mute, any non-zero", packedParamId(4, 10), 5, [&] { return synth->currentPattern()->synthParams[4].mute; }, 1},
      {"unmute", packedParamId(4, 10), 0, [&] { return synth->currentPattern()->synthParams[4].mute; }, 0},
      {"accent level", packedParamId(8, 0), 50, [&] { return int32_t{synth->currentPattern()->sequencerParams.accentLevel}; }, 50},
      {"accent motion", packedParamId(8, 1), 2, [&] { return int32_t{synth->currentPattern()->sequencerParams.accentMotionType}; }, 2},
      {"ring", packedParamId(9, 7), 2, [&] { return int32_t{synth->currentPattern()->sequencerParams.crossRingMod}; }, 2},
      {"master volume", packedParamId(10, 0), 90, [&] { return synth->masterParameter(0); }, 90},
      {"tube gain", packedParamId(10, 1), 30, [&] { return synth->masterParameter(1); }, 30},
      {"swing", packedParamId(11, 1), 60, [&] { return synth->swing(); }, 60},
      {"last step", packedParamId(11, 2), 12, [&] { return synth->lastStep(); }, 12},
      {"length", packedParamId(11, 3), 2, [&] { return synth->patternLength(); }, 2},
      {"effect type", packedParamId(12, 0), 3, [&] { return synth->currentPattern()->effectParams[0].type; }, 3},
      {"effect edit 2", packedParamId(12, 2), 77, [&] { return synth->currentPattern()->effectParams[0].edit2; }, 77},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.what);
    synth->setParameterById(r.id, r.value);
    EXPECT_EQ(r.read(), r.expected);
  }
  // Identifiers that address nothing change nothing.
  const PatternRecord before = *synth->currentPattern();
  for (PackedParamId id : {packedParamId(11, 4), packedParamId(14, 0), packedParamId(13, 0), packedParamId(13, 1),
                           kPackedUnassigned, kPackedReserved}) {
    synth->setParameterById(id, 3);
  }
  EXPECT_EQ(std::memcmp(&before, synth->currentPattern(), sizeof before), 0);
  EXPECT_FALSE(synth->soloMode());
}

TEST_F(SynthMidi, SoloById) {
  synth->setParameterById(0xD0002, 3);
  EXPECT_TRUE(synth->soloMode());
  EXPECT_TRUE(synth->isPartSolo(3));
  EXPECT_EQ(synth->partParameter(3, kMute), 0);
  EXPECT_EQ(synth->partParameter(2, kMute), 1);
  synth->setParameterById(0xD0002, 9);
  EXPECT_FALSE(synth->soloMode());
  EXPECT_EQ(synth->partParameter(2, kMute), 0);
  synth->setParameterById(0xD0002, 9);
  EXPECT_FALSE(synth->soloMode());
  // The same entry as a plain function.
  Synth::setParameterByIdOf(synth, 0xD0002, 1);
  EXPECT_TRUE(synth->isPartSolo(1));
}

TEST_F(SynthMidi, QueuedControlsAndIdsReachSoundAndRecord) {
  PatternRecord base = synthtest::quietPattern();
  synth->setPatternRecord(&base);
  cc(35, 20);  // part 1 Level
  cc(4, 70);   // Swing, clamped to 75
  synth->pushMidiEvent(io.time, EngineEventQueueEntry::kPackedParam, static_cast<uint32_t>(packedParamId(6, 7)), 10);
  synth->pushMidiEvent(io.time, EngineEventQueueEntry::kPackedParam, static_cast<uint32_t>(packedParamId(2, 10)), 1);
  // Nothing is applied before the render takes the events.
  EXPECT_EQ(synth->partParameter(1, kLevel), 100);
  renderChunk();
  EXPECT_EQ(synth->partParameter(1, kLevel), 20);
  EXPECT_EQ(synth->partParameter(6, kPan), 10);
  EXPECT_EQ(synth->partParameter(2, kMute), 1);
  EXPECT_EQ(synth->seq()->param(1), 70);
  const PatternRecord& r = *synth->currentPattern();
  EXPECT_EQ(r.synthParams[1].level, 20);
  EXPECT_EQ(r.synthParams[6].pan, 10);
  EXPECT_EQ(r.synthParams[2].mute, 1);
  EXPECT_EQ(r.sequencerParams.swing, 70);

  // Solo from the queue sounds at once; the main thread keeps the solo
  // flags when it takes the record writes.
  cc(9, 5);
  renderChunk();
  EXPECT_TRUE(synth->soloMode());
  EXPECT_EQ(synth->partParameter(4, kMute), 1);
  EXPECT_EQ(synth->partParameter(5, kMute), 0);
  (void)synth->currentPattern();
  EXPECT_TRUE(synth->isPartSolo(5));
  cc(9, 100);
  renderChunk();
  EXPECT_FALSE(synth->soloMode());
  EXPECT_EQ(synth->partParameter(2, kMute), 1);  // the record's mute again
  (void)synth->currentPattern();
  EXPECT_FALSE(synth->isPartSolo(5));
  EXPECT_EQ(synth->partParameter(2, kMute), 1);  // the record's mute again
  EXPECT_EQ(synth->partParameter(4, kMute), 0);
}

TEST_F(SynthMidi, ManyValuesWhileTheMainThreadIsAwayKeepTheLast) {
  PatternRecord base = synthtest::quietPattern();
  synth->setPatternRecord(&base);
  // The render side applies far more values than any queue would hold
  // before the main thread looks again; the record gets the last of each.
  for (int i = 0; i < 5000; ++i) {
    synth->applyControlChange(35, static_cast<uint32_t>(i % 128));
    synth->applyControlChange(12, static_cast<uint32_t>(i % 8));
  }
  const PatternRecord& r = *synth->currentPattern();
  EXPECT_EQ(r.synthParams[1].level, 4999 % 128);
  EXPECT_EQ(r.effectParams[0].type, 4999 % 8);
  EXPECT_EQ(synth->partParameter(1, kLevel), 4999 % 128);
}

TEST_F(SynthMidi, ValuesForAReplacedPatternDoNotReachTheLoadedRecord) {
  PatternRecord base = synthtest::quietPattern();
  synth->setPatternRecord(&base);
  cc(35, 20);
  renderChunk();
  // A pattern load on the render side before the main thread looks.
  ASSERT_TRUE(synth->changePattern(3));
  // The change is stamped "now": the device's clock catches up with it.
  io.time = platform::hostTime();
  renderChunk();
  renderChunk();
  ASSERT_EQ(synth->currentPatternIndex(), 3);
  const PatternRecord loaded = provider.patternAt(3);
  EXPECT_EQ(synth->currentPattern()->synthParams[1].level, loaded.synthParams[1].level);
}

TEST_F(SynthMidi, FaderLayout0) {
  PatternRecord base = synthtest::quietPattern();
  base.synthParams[3].mute = 1;
  synth->setPatternRecord(&base);
  controller(0, 2, 55);    // Level of part 2
  controller(0, 21, 44);   // Pan of part 5
  controller(0, 51, 127);  // mute toggle of part 3 (muted: unmute)
  controller(0, 52, 127);  // mute toggle of part 4
  controller(0, 52, 0);    // release: nothing
  controller(0, 65, 127);  // FX send toggle of part 1 (dry: on)
  controller(0, 40, 127);  // nothing there
  controller(0, 34, 127);  // solo part 2
  EXPECT_EQ(recorder.take(), (std::vector<Call>{{"param", 0x20006, 55},
                                                {"param", 0x50007, 44},
                                                {"param", 0x3000A, 0},
                                                {"param", 0x4000A, 1},
                                                {"param", 0x1000B, 1},
                                                {"param", 0xD0002, 2}}));
  renderChunk();
  (void)synth->currentPattern();
  ASSERT_TRUE(synth->isPartSolo(2));
  // In solo mode every other voice is silent, but the mute buttons toggle
  // the record's mutes: part 3 was unmuted above, so it is muted now.
  controller(0, 51, 127);
  EXPECT_EQ(recorder.take(), (std::vector<Call>{{"param", 0x3000A, 1}}));
  renderChunk();
  EXPECT_EQ(synth->currentPattern()->synthParams[3].mute, 1);
  EXPECT_EQ(synth->partParameter(2, kMute), 0);  // still soloed
  // The lit solo button of the soloed part ends solo mode.
  controller(0, 34, 127);
  EXPECT_EQ(recorder.take(), (std::vector<Call>{{"param", 0xD0002, 127}}));
  renderChunk();
  (void)synth->currentPattern();
  EXPECT_FALSE(synth->soloMode());
}

TEST_F(SynthMidi, FaderLayout1AndTransport) {
  synth->setCurrentPart(5);
  const struct {
    uint8_t control, value;
    Call call;
  } rows[] = {
      {0, 9, {"param", 0xA0001, 9}},     {1, 8, {"param", 0xC0001, 8}},    {2, 7, {"param", 0xC0002, 7}},
      {3, 127, {"param", 0x50001, 3}},   {3, 64, {"param", 0x50001, 2}},   {4, 127, {"param", 0x50004, 5}},
      {4, 12, {"param", 0x50004, 0}},    {5, 32, {"param", 0x50009, 1}},   {6, 1, {"param", 0x50007, 1}},
      {7, 2, {"param", 0x50008, 2}},     {16, 3, {"param", 0xA0000, 3}},   {17, 127, {"param", 0xC0000, 7}},
      {19, 4, {"param", 0x50000, 4}},    {20, 5, {"param", 0x50002, 5}},   {21, 6, {"param", 0x50003, 6}},
      {22, 7, {"param", 0x50005, 7}},    {23, 8, {"param", 0x50006, 8}},   {66, 127, {"part", 2, 0}},
      {61, 127, {"page", -1, 0}},        {62, 127, {"page", 1, 0}},
  };
  for (const auto& r : rows) {
    controller(1, r.control, r.value);
    EXPECT_EQ(recorder.take(), std::vector<Call>{r.call}) << int(r.control) << "/" << int(r.value);
  }
  for (uint8_t ignored : {18, 32, 48, 70 /* value below 127 */}) {
    controller(1, ignored, 100);
    EXPECT_TRUE(recorder.take().empty()) << int(ignored);
  }
  // Transport buttons act on 127 only, whatever the layout.
  controller(1, 41, 0);
  renderChunk();
  EXPECT_FALSE(synth->isPlaying());
  controller(0, 41, 127);
  controller(1, 46, 127);
  renderChunk();
  EXPECT_TRUE(synth->isPlaying());
  EXPECT_TRUE(synth->seq()->isLoop());
  controller(0, 45, 127);
  renderChunk();
  EXPECT_TRUE(synth->isRecording());
  controller(0, 42, 127);
  renderChunk();
  EXPECT_FALSE(synth->isPlaying());
  // Above part 7 the current-part layout does nothing.
  synth->setCurrentPart(8);
  recorder.take();
  controller(1, 23, 8);
  EXPECT_TRUE(recorder.take().empty());
  EXPECT_TRUE(drainQueue().empty());
}

}  // namespace
