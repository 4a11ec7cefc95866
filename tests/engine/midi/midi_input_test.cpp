// Bytes from a source to engine actions: the parser, the routing by device
// kind, and the generic handlers.
#include "engine/midi/midi_input_connection.h"

#include <gtest/gtest.h>

#include "midi_test_support.h"
#include "platform/foundation/host_time.h"

namespace {

using miditest::Call;
using Bytes = std::vector<uint8_t>;

struct Entry {
  uint32_t kind, a, b;
  bool operator==(const Entry& o) const { return kind == o.kind && a == o.a && b == o.b; }
};
std::ostream& operator<<(std::ostream& os, const Entry& e) { return os << "{" << e.kind << "," << e.a << "," << e.b << "}"; }

class MidiInput : public miditest::MidiTest {
 protected:
  std::vector<Entry> entries() {
    std::vector<Entry> out;
    for (const auto& e : drainQueue()) out.push_back({e.kind, e.a, e.b});
    return out;
  }
};

struct ParseCase {
  const char* what;
  Bytes bytes;
  std::vector<Entry> queued;
  std::vector<Call> calls;
};

TEST_F(MidiInput, GenericBytesToActions) {
  const ParseCase cases[] = {
      {"note on, no running status", {0x99, 0x24, 0x64, 0x26, 0x64}, {{0, 0, 100}}, {{"on", 0, 0}}},
      {"clock inside a note", {0x99, 0xF8, 0x24, 0x64}, {{0, 0, 100}}, {{"on", 0, 0}}},
      {"active sensing and continue inside", {0x99, 0x26, 0xFE, 0xFB, 0x7F}, {{0, 1, 127}}, {{"on", 1, 0}}},
      {"velocity 0", {0x99, 0x24, 0x00}, {}, {{"off", 0, 0}}},
      {"unmapped note on", {0x99, 60, 100}, {}, {}},
      {"unmapped note off", {0x89, 60, 0}, {}, {{"off", -1, 0}}},
      {"mapped note off", {0x89, 39, 64}, {}, {{"off", 7, 0}}},
      {"note on another channel", {0x98, 0x24, 0x64}, {}, {}},
      {"note off another channel", {0x88, 0x24, 0x64}, {}, {{"off", -1, 0}}},
      {"velocity 0 on another channel", {0x98, 0x24, 0x00}, {}, {{"off", -1, 0}}},
      {"control change", {0xB9, 35, 77}, {{2, 35, 77}}, {{"param", 0x10006, 77}}},
      {"unassigned control", {0xB9, 121, 5}, {{2, 121, 5}}, {{"param", -1, 5}}},
      {"solo control is queued", {0xB9, 9, 3}, {{2, 9, 3}}, {{"param", 0xD0002, 3}}},
      {"control on another channel", {0xB0, 35, 77}, {}, {}},
      {"undefined status ends a message", {0x99, 0x24, 0xF4, 0x64}, {}, {}},
      {"stray data", {0x24, 0x64, 0x11}, {}, {}},
      {"sysex is absorbed", {0xF0, 0x43, 0x24, 0x64, 0xF7, 0xF7}, {}, {}},
      {"pressure then a note", {0xD9, 0x10, 0x99, 0x26, 0x64}, {{0, 1, 100}}, {{"on", 1, 0}}},
      {"pitch bend and poly pressure", {0xE9, 0, 64, 0xA9, 0x24, 5}, {}, {}},
      {"program change is not queued", {0xC9, 3}, {}, {}},
  };
  for (const ParseCase& c : cases) {
    SCOPED_TRACE(c.what);
    MidiInputConnection conn(synth, 0, 1, MidiInputConnection::kAnyDevice);
    conn.receive(io.time, c.bytes.data(), c.bytes.size());
    EXPECT_EQ(entries(), c.queued);
    EXPECT_EQ(recorder.take(), c.calls);
  }
}

TEST_F(MidiInput, ParserStates) {
  MidiInputConnection conn(synth, 0, 1, MidiInputConnection::kAnyDevice);
  EXPECT_EQ(conn.parserState(), MidiInputConnection::kIdle);
  conn.parseByte(1, 0x99);
  EXPECT_EQ(conn.parserState(), MidiInputConnection::kFirstOfTwo);
  conn.parseByte(1, 0x24);
  EXPECT_EQ(conn.parserState(), MidiInputConnection::kSecondOfTwo);
  conn.parseByte(1, 0xF8);  // a real-time byte leaves the state alone
  EXPECT_EQ(conn.parserState(), MidiInputConnection::kSecondOfTwo);
  EXPECT_TRUE(conn.clockSeen());
  conn.parseByte(1, 0xC9);
  EXPECT_EQ(conn.parserState(), MidiInputConnection::kSingleData);
  conn.parseByte(1, 0xF0);
  EXPECT_EQ(conn.parserState(), MidiInputConnection::kInSysEx);
  conn.parseByte(1, 0xF7);
  EXPECT_EQ(conn.parserState(), MidiInputConnection::kIdle);
}

TEST_F(MidiInput, OversizedSysExIsDroppedAndTheParserRecovers) {
  MidiInputConnection conn(synth, 0, 1, MidiInputConnection::kAnyDevice);
  Bytes b{0xF0};
  b.insert(b.end(), MidiInputConnection::kMaxSysExBytes * 2, 0x11);
  b.push_back(0xF7);
  b.insert(b.end(), {0x99, 0x24, 0x64});
  conn.receive(io.time, b.data(), b.size());
  EXPECT_EQ(conn.droppedSysEx(), 1u);
  EXPECT_EQ(entries(), (std::vector<Entry>{{0, 0, 100}}));
}

TEST_F(MidiInput, StampZeroIsNow) {
  MidiInputConnection conn(synth, 0, 1, MidiInputConnection::kAnyDevice);
  const Bytes b{0x99, 0x24, 0x64};
  const uint64_t before = platform::hostTime();
  conn.receive(0, b.data(), b.size());
  const uint64_t after = platform::hostTime();
  conn.receive(12345, b.data(), b.size());
  const auto q = drainQueue();
  ASSERT_EQ(q.size(), 2u);
  EXPECT_GE(q[0].hostTime, before);
  EXPECT_LE(q[0].hostTime, after);
  EXPECT_EQ(q[1].hostTime, 12345u);
}

TEST_F(MidiInput, ClockStartStopReachTheSequencer) {
  MidiInputConnection conn(synth, 0, 1, MidiInputConnection::kAnyDevice);
  ASSERT_TRUE(synth->isInternalClock());
  const Bytes clock{0xF8};
  conn.receive(io.time, clock.data(), 1);
  renderChunk();
  // A clock while stopped switches the sequencer to the external clock.
  EXPECT_FALSE(synth->isInternalClock());
  const Bytes start{0xFA, 0xF8, 0xF8};
  conn.receive(io.time, start.data(), start.size());
  renderChunk();
  EXPECT_TRUE(synth->isPlaying());
  const Bytes stop{0xFC};
  conn.receive(io.time, stop.data(), 1);
  renderChunk();
  EXPECT_FALSE(synth->isPlaying());
}

TEST_F(MidiInput, FaderControllerLayoutButtons) {
  MidiInputConnection conn(synth, 0, 1, MidiInputConnection::kFaderController);
  const uint8_t table[][3] = {{0xBF, 58, 0}, {0xBF, 58, 127}, {0xBF, 59, 64}, {0xBF, 59, 127}, {0xBF, 58, 127}};
  const int32_t layoutAfter[] = {0, 1, 1, 0, 1};
  for (size_t i = 0; i < std::size(table); ++i) {
    conn.receive(io.time, table[i], 3);
    EXPECT_EQ(conn.layoutIndex(), layoutAfter[i]) << i;
  }
  EXPECT_TRUE(entries().empty());
  // Layout 1: current-part row. Control 4 is Mod Type scaled to 0-5.
  synth->setCurrentPart(5);
  const Bytes modType{0xBF, 4, 127, 0xBF, 4, 12};
  conn.receive(io.time, modType.data(), modType.size());
  EXPECT_EQ(entries(), (std::vector<Entry>{{3, 0x50004, 5}, {3, 0x50004, 0}}));
  EXPECT_EQ(recorder.take(), (std::vector<Call>{{"param", 0x50004, 5}, {"param", 0x50004, 0}}));
  // Generic messages from the controller are not the generic handler's.
  const Bytes note{0x99, 0x24, 0x64};
  conn.receive(io.time, note.data(), note.size());
  EXPECT_TRUE(entries().empty());
}

TEST_F(MidiInput, PadControllerScenes) {
  int32_t askedSlot = -1, askedBank = -1;
  synth->setPatternSetLookup([&](int32_t slot, int32_t bank) {
    askedSlot = slot;
    askedBank = bank;
    return 5;
  });
  MidiInputConnection conn(synth, 0, 1, MidiInputConnection::kPadController);
  // Scene 0: pads 0-7 play the parts.
  const Bytes pad{0x91, 64 + 2, 90, 0x81, 64 + 2, 0, 0x91, 64 + 9, 90};
  conn.receive(io.time, pad.data(), pad.size());
  EXPECT_EQ(entries(), (std::vector<Entry>{{0, 2, 90}}));
  EXPECT_EQ(recorder.take(), (std::vector<Call>{{"on", 2, 0}, {"off", 2, 0}}));
  // Two scene steps: scene 2 selects from bank 1.
  const Bytes steps{0xBF, 57, 127, 0xBF, 57, 10, 0xBF, 57, 127};
  conn.receive(io.time, steps.data(), steps.size());
  EXPECT_EQ(conn.sceneIndex(), 2);
  const Bytes select{0x91, 70, 100};
  conn.receive(io.time, select.data(), select.size());
  EXPECT_EQ(askedSlot, 6);
  EXPECT_EQ(askedBank, 1);
  renderChunk();
  auto calls = recorder.take();
  EXPECT_NE(std::find(calls.begin(), calls.end(), Call{"set", 1, 6}), calls.end());
  // The scene wraps after 4.
  for (int i = 0; i < 3; ++i) conn.receive(io.time, steps.data(), 3);
  EXPECT_EQ(conn.sceneIndex(), 0);
  // Effect edits on channel 16.
  const Bytes edits{0xBF, 9, 33, 0xBF, 10, 44, 0xBF, 11, 55, 0xB0, 9, 1};
  conn.receive(io.time, edits.data(), edits.size());
  EXPECT_EQ(entries(), (std::vector<Entry>{{3, 0xC0001, 33}, {3, 0xC0002, 44}}));
}

TEST_F(MidiInput, ControllerOutputsAreListedOnce) {
  MidiInputConnection conn(nullptr, 0, 1, MidiInputConnection::kFaderController);
  auto* a = reinterpret_cast<MidiControllerOutput*>(0x1000);
  auto* b = reinterpret_cast<MidiControllerOutput*>(0x2000);
  conn.addControllerOutput(a);
  conn.addControllerOutput(nullptr);
  conn.addControllerOutput(b);
  conn.addControllerOutput(a);
  EXPECT_EQ(conn.controllerOutputs(), (std::vector<MidiControllerOutput*>{a, b}));
  conn.removeControllerOutput(a);
  EXPECT_EQ(conn.controllerOutputs(), (std::vector<MidiControllerOutput*>{b}));
  // Without an engine complete messages go nowhere.
  const Bytes note{0x99, 0x24, 0x64, 0xBF, 58, 127};
  conn.receive(1, note.data(), note.size());
  EXPECT_EQ(conn.layoutIndex(), 1);
}

}  // namespace
