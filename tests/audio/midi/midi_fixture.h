#pragma once
// An engine (the MIDI tests' fixture) with an in-process MIDI system, and a
// model of a controller's lamps built from the bytes sent to it.

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "engine/midi/midi_test_support.h"
#include "platform/midi/loopback_midi.h"
#include "platform/notify/notification_center.h"
#include "platform/runloop/run_loop.h"

namespace miditest {

using Bytes = std::vector<uint8_t>;

// The supported controllers' set-up message for global channel g.
inline Bytes setupMessage(uint8_t deviceId, uint8_t g) {
  return {0xF0, 0x42, static_cast<uint8_t>(0x40 + g), 0x00, 0x01, deviceId, 0x00, 0x00, 0x00, 0x01, 0xF7};
}
inline std::vector<Bytes> setupMessages(uint8_t deviceId) {
  std::vector<Bytes> out;
  for (uint8_t g = 0; g < 16; ++g) out.push_back(setupMessage(deviceId, g));
  return out;
}

// Lamp state from the control changes on channel 16 a controller received.
struct Lamps {
  std::map<int, int> value;
  void apply(const std::vector<Bytes>& sent) {
    for (const Bytes& b : sent) {
      if (b.size() == 3 && b[0] == 0xBF) value[b[1]] = b[2];
    }
  }
  // The eight lamps from `base` as a string of '#' (lit) and '.' (dark),
  // '?' for one never sent.
  std::string row(int base) const {
    std::string s;
    for (int i = 0; i < 8; ++i) {
      auto it = value.find(base + i);
      s += it == value.end() ? '?' : it->second == 127 ? '#' : it->second == 0 ? '.' : '~';
    }
    return s;
  }
  int at(int control) const {
    auto it = value.find(control);
    return it == value.end() ? -1 : it->second;
  }
};

class MidiSystemTest : public MidiTest {
 protected:
  void SetUp() override {
    MidiTest::SetUp();
    platform::RunLoop::main().reset();
    platform::NotificationCenter::defaultCenter().addObserver(
        this, "midiDeviceNotification", [this](const platform::Notification& n) {
          const platform::Value* v = n.info("message");
          messages.push_back(v && v->isString() ? *v->string() : std::string("<no message>"));
        });
  }
  void TearDown() override {
    platform::NotificationCenter::defaultCenter().removeObserver(this);
    platform::RunLoop::main().reset();
    MidiTest::TearDown();
  }

  // One chunk whose clock has caught up with the host clock, so that what
  // was stamped "now" before the call falls into it, however long the test
  // took to get here.
  void renderNow() {
    io.time = std::max(io.time.load(), platform::hostTime());
    renderChunk();
  }

  // Runs the main queue's blocks (notifications, their re-posts).
  void drainMain() {
    for (int i = 0; i < 4; ++i) platform::RunLoop::main().drain();
  }

  // Bytes sent to the destination since the last call.
  std::vector<Bytes> takeSent(platform::MidiEndpointRef destination) {
    std::vector<Bytes> out;
    std::vector<platform::LoopbackMidiSystem::Sent> rest;
    for (auto& s : loopback.takeSent()) {
      if (s.destination == destination) out.push_back(s.bytes);
      else rest.push_back(std::move(s));
    }
    unclaimed.insert(unclaimed.end(), rest.begin(), rest.end());
    return out;
  }

  static platform::LoopbackMidiSystem::Device device(const std::string& name, const std::string& manufacturer,
                                                     const std::string& model, bool withOutput = true) {
    platform::LoopbackMidiSystem::Device d;
    d.manufacturer = manufacturer;
    d.model = model;
    d.sources = {name};
    if (withOutput) d.destinations = {name};
    return d;
  }

  platform::LoopbackMidiSystem loopback;
  std::vector<platform::LoopbackMidiSystem::Sent> unclaimed;
  std::vector<std::string> messages;
};

}  // namespace miditest
