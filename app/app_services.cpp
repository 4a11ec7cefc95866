#include "app/app_services.h"

namespace {
std::unique_ptr<MidiDeviceManagerService>& midiSlot() {
  static std::unique_ptr<MidiDeviceManagerService> slot;
  return slot;
}
}  // namespace

MidiDeviceManagerService* midiDeviceManager() { return midiSlot().get(); }

MidiDeviceManagerService* createMidiDeviceManager(const AppServices& services, Synth* synth, bool nativeMode) {
  midiSlot().reset();
  if (services.createMidiDeviceManager) midiSlot() = services.createMidiDeviceManager(synth, nativeMode);
  return midiSlot().get();
}

void destroyMidiDeviceManager() { midiSlot().reset(); }
