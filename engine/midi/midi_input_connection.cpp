#include "engine/midi/midi_input_connection.h"

#include <algorithm>

#include "engine/synth/synth.h"
#include "platform/foundation/host_time.h"

MidiInputConnection::MidiInputConnection(Synth* synth, uint32_t client, uint32_t source, uint32_t controllerKind)
    : synth_(synth), client_(client), source_(source), controllerKind_(controllerKind) {
  messageBytes_.reserve(3);
  sysExBytes_.reserve(128);
}

void MidiInputConnection::receive(uint64_t timeStamp, const uint8_t* bytes, size_t length) {
  if (!bytes) return;
  const uint64_t t = timeStamp != 0 ? timeStamp : platform::hostTime();
  for (size_t i = 0; i < length; ++i) parseByte(t, bytes[i]);
}

void MidiInputConnection::parseByte(uint64_t hostTime, uint8_t byte) {
  switch (byte) {
    case 0xF8:
      clockSeen_.store(true, std::memory_order_relaxed);
      [[fallthrough]];
    case 0xFA:
    case 0xFB:
    case 0xFC:
    case 0xFE:
      dispatchMessage(hostTime, &byte, 1);
      return;
    case 0xF0:
      sysExBytes_.assign(1, 0xF0);
      sysExOverflow_ = false;
      parserState_ = kInSysEx;
      return;
    case 0xF7:
      // Only the end of a SysEx being collected: a stray 0xF7 would
      // otherwise send the previous message again.
      if (parserState_ == kInSysEx) {
        if (sysExOverflow_) {
          ++droppedSysEx_;
        } else {
          sysExBytes_.push_back(0xF7);
          dispatchMessage(hostTime, sysExBytes_.data(), sysExBytes_.size());
        }
      }
      parserState_ = kIdle;
      return;
    default: break;
  }
  if (byte >= 0xF0) {
    parserState_ = kIdle;
    return;
  }
  if (byte >= 0x80) {
    messageBytes_.assign(1, byte);
    parserState_ = (byte >= 0xC0 && byte <= 0xDF) ? kSingleData : kFirstOfTwo;
    return;
  }
  switch (parserState_) {
    case kInSysEx:
      if (sysExBytes_.size() + 1 >= kMaxSysExBytes) sysExOverflow_ = true;
      else sysExBytes_.push_back(byte);
      break;
    case kFirstOfTwo:
      messageBytes_.push_back(byte);
      parserState_ = kSecondOfTwo;
      break;
    case kSecondOfTwo:
    case kSingleData:
      messageBytes_.push_back(byte);
      parserState_ = kIdle;
      dispatchMessage(hostTime, messageBytes_.data(), messageBytes_.size());
      break;
    default: break;
  }
}

void MidiInputConnection::dispatchMessage(uint64_t hostTime, const uint8_t* bytes, size_t length) {
  if (!bytes || length == 0) return;
  const bool controllerCc = length == 3 && bytes[0] == 0xBF;
  if (controllerKind_ == kFaderController) {
    if (controllerCc && (bytes[1] == 58 || bytes[1] == 59)) {
      if (bytes[2] == 127) {
        layoutPresses_.fetch_add(1, std::memory_order_relaxed);
        // The controller outputs follow the layout once they exist.
      }
      return;
    }
    if (synth_) synth_->handleFaderControllerInput(layoutIndex(), hostTime, bytes, length);
    return;
  }
  if (controllerKind_ == kPadController) {
    if (controllerCc && bytes[1] == 57) {
      if (bytes[2] == 127) sceneIndex_.store((sceneIndex() + 1) % 5, std::memory_order_relaxed);
      return;
    }
    if (synth_) synth_->handlePadControllerMessage(sceneIndex(), hostTime, bytes, length);
    return;
  }
  if (synth_) synth_->handleMidiMessage(hostTime, bytes, length);
}

void MidiInputConnection::addControllerOutput(MidiControllerOutput* output) {
  if (!output) return;
  if (std::find(controllerOutputs_.begin(), controllerOutputs_.end(), output) != controllerOutputs_.end()) return;
  controllerOutputs_.push_back(output);
}

void MidiInputConnection::removeControllerOutput(MidiControllerOutput* output) {
  controllerOutputs_.erase(std::remove(controllerOutputs_.begin(), controllerOutputs_.end(), output),
                           controllerOutputs_.end());
}
