#pragma once
// One connected MIDI source: its byte parser and the routing of complete
// messages by the kind of device behind it.
//
// The parser is a byte-level state machine without running status:
// real-time bytes pass through inside any message, SysEx is collected from
// 0xF0 to 0xF7, other system status bytes and stray data bytes are dropped.
// Complete messages go to the engine: the generic handler for any device,
// the controller mappings for the two supported controllers, whose layout
// (fader controller) and scene (pad controller) buttons are kept here.
//
// Threads: receive(), parseByte() and dispatchMessage() run on the MIDI
// input thread; the queries may be read from any thread.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <vector>

class Synth;
class MidiControllerOutput;

class MidiInputConnection {
 public:
  enum ControllerKind : uint32_t { kAnyDevice = 0, kFaderController = 1, kPadController = 2 };
  enum ParserState : uint32_t { kIdle = 0, kInSysEx = 1, kFirstOfTwo = 2, kSecondOfTwo = 3, kSingleData = 4 };
  // A SysEx message longer than this is dropped, so a source that never
  // sends 0xF7 cannot grow the buffer without end.
  static constexpr size_t kMaxSysExBytes = 4096;

  // `synth` may be null (messages then go nowhere). The port on the
  // platform's MIDI client is made by the device layer; `client` and
  // `source` name what this connection listens to.
  MidiInputConnection(Synth* synth, uint32_t client, uint32_t source, uint32_t controllerKind);
  MidiInputConnection(const MidiInputConnection&) = delete;
  MidiInputConnection& operator=(const MidiInputConnection&) = delete;

  // One packet from the source: every byte has the packet's time stamp, or
  // the current host time when the stamp is 0.
  void receive(uint64_t timeStamp, const uint8_t* bytes, size_t length);
  void parseByte(uint64_t hostTime, uint8_t byte);
  void dispatchMessage(uint64_t hostTime, const uint8_t* bytes, size_t length);

  void addControllerOutput(MidiControllerOutput* output);
  void removeControllerOutput(MidiControllerOutput* output);
  const std::vector<MidiControllerOutput*>& controllerOutputs() const { return controllerOutputs_; }

  Synth* synth() const { return synth_; }
  uint32_t client() const { return client_; }
  uint32_t inputPort() const { return inputPort_; }
  uint32_t source() const { return source_; }
  uint32_t controllerKind() const { return controllerKind_; }
  uint32_t parserState() const { return parserState_; }
  bool clockSeen() const { return clockSeen_.load(std::memory_order_relaxed); }
  int32_t sceneIndex() const { return sceneIndex_.load(std::memory_order_relaxed); }
  // The fader controller's layout and the presses that chose it. Each press
  // flips the layout, so both come from one count: a reader on another thread
  // never sees the layout of one press with the count of another.
  struct Layout {
    int32_t index;
    // Presses so far: two presses between two looks leave the index as it
    // was, and still each one counts.
    uint32_t presses;
  };
  Layout layout() const {
    const uint32_t presses = layoutPresses_.load(std::memory_order_relaxed);
    return {static_cast<int32_t>(presses & 1u), presses};
  }
  int32_t layoutIndex() const { return layout().index; }
  uint32_t layoutPresses() const { return layout().presses; }
  // SysEx messages dropped for length.
  uint64_t droppedSysEx() const { return droppedSysEx_; }

 private:
  Synth* synth_;
  uint32_t client_;
  uint32_t inputPort_ = 0;
  uint32_t source_;
  uint32_t parserState_ = kIdle;
  std::vector<uint8_t> messageBytes_;
  std::vector<uint8_t> sysExBytes_;
  uint32_t controllerKind_;
  std::atomic<bool> clockSeen_{false};
  std::vector<MidiControllerOutput*> controllerOutputs_;
  std::atomic<int32_t> sceneIndex_{0};
  std::atomic<uint32_t> layoutPresses_{0};
  bool sysExOverflow_ = false;
  uint64_t droppedSysEx_ = 0;
};
