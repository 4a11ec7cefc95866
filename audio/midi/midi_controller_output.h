#pragma once
// The sending side towards one MIDI destination. Only the two supported
// controllers are ever sent anything: on creation (and on every return to the
// foreground) a set-up System Exclusive message puts the controller into its
// native mode, and afterwards its lamps follow the engine through control
// changes on channel 16, each sent only when its value changed.
//
// - Fader controller: play, record and loop lamps (controls 41, 45, 46) and
//   three rows of eight: solo (32-39), mute (48-55) and FX send (64-71) in
//   the mixer layout, the current part on the FX row in the current-part
//   layout; after a layout change the row of the new layout blinks for ten
//   refreshes.
// - Pad controller: the four scene lamps (121-124), the scene's lit.
//
// Main thread: construction, the set-up, the refreshes and destruction
// (manager, the main screen's 0.1 s timer, the foreground handler).

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>

#include "platform/midi/midi.h"

class Synth;

class MidiControllerOutput {
 public:
  enum ControllerKind : uint32_t { kAnyDevice = 0, kFaderController = 1, kPadController = 2 };
  static constexpr uint8_t kLampStatus = 0xBF;  // control change, channel 16
  static constexpr int32_t kLit = 127;
  static constexpr int32_t kDark = 0;
  static constexpr uint8_t kFaderDeviceId = 0x13;
  static constexpr uint8_t kPadDeviceId = 0x12;
  static constexpr uint8_t kNativeMode = 0x01;
  static constexpr int32_t kBlinkRefreshes = 10;
  static constexpr uint8_t kPlayControl = 41, kRecControl = 45, kLoopControl = 46;
  static constexpr uint8_t kSoloRowBase = 32, kMuteRowBase = 48, kFxRowBase = 64, kSceneLampBase = 121;

  using Row = std::array<int32_t, 8>;

  // Makes the output port "Output" when there is a client and, once it
  // exists, puts a supported controller into native mode.
  MidiControllerOutput(Synth* synth, platform::MidiClient* client, platform::MidiEndpointRef destination,
                       uint32_t controllerKind);
  ~MidiControllerOutput();
  MidiControllerOutput(const MidiControllerOutput&) = delete;
  MidiControllerOutput& operator=(const MidiControllerOutput&) = delete;

  // The set-up message for the kind (nothing for other devices), once per
  // global channel 0-15.
  void sendSetupSysEx(uint8_t mode);
  void sendFirstControllerSetup(uint8_t mode);
  void sendSecondControllerSetup(uint8_t mode);
  void sendControlChange(uint8_t control, uint8_t value);

  // Fader controller: its layout changed (0 mixer, 1 current part); the next
  // ten refreshes announce it.
  void setLayout(int32_t layout);
  // The periodic refreshes; each acts only on its own kind of controller.
  void refreshFirstController(int32_t layout);
  void refreshSecondController(int32_t scene);

  Synth* synth() const { return synth_; }
  platform::MidiPortRef outputPort() const { return outputPort_; }
  platform::MidiEndpointRef destination() const { return destination_; }
  uint32_t controllerKind() const { return controllerKind_; }
  int32_t blinkCountdown() const { return blinkCountdown_.load(std::memory_order_relaxed); }
  int32_t layoutIndex() const { return layoutIndex_.load(std::memory_order_relaxed); }
  // Sends the platform refused (they are otherwise ignored).
  uint64_t failedSends() const { return failedSends_; }

 private:
  void sendSetup(uint8_t deviceId, uint8_t mode);
  void send(const uint8_t* bytes, size_t length);
  // Sends base + i for every value that differs from the last sent, then
  // keeps the values.
  void sendChangedRow(uint8_t base, Row& last, const Row& values);
  void sendLampIfChanged(uint8_t control, int32_t& last, int32_t value);
  void sendPartRowsLayout0();
  void sendPartRowsLayout1();
  void sendRows(Row solo, Row mute, Row fx);

  Synth* synth_;
  platform::MidiClient* client_;
  platform::MidiPortRef outputPort_ = 0;
  platform::MidiEndpointRef destination_;
  uint32_t controllerKind_;
  std::array<int32_t, 4> sceneLamps_{-1, -1, -1, -1};
  Row soloRow_{-1, -1, -1, -1, -1, -1, -1, -1};
  Row muteRow_{-1, -1, -1, -1, -1, -1, -1, -1};
  Row fxRow_{-1, -1, -1, -1, -1, -1, -1, -1};
  int32_t playLamp_ = -1, recLamp_ = -1, loopLamp_ = -1;
  std::atomic<int32_t> blinkCountdown_{0};
  std::atomic<int32_t> layoutIndex_{-1};
  uint64_t failedSends_ = 0;
};
