#include "platform/midi/midi.h"

namespace platform {

const char* midiStatusText(MidiStatus status) {
  switch (status) {
    case MidiStatus::Ok: return "ok";
    case MidiStatus::NoSystem: return "no MIDI system";
    case MidiStatus::InvalidPort: return "invalid port";
    case MidiStatus::InvalidEndpoint: return "invalid endpoint";
    case MidiStatus::InvalidArgument: return "invalid argument";
    case MidiStatus::SystemError: return "system error";
  }
  return "unknown status";
}

}  // namespace platform
