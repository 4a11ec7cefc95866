#pragma once
// The program's MIDI manager behind the main screen's MIDI service: what
// main() puts into AppServices::createMidiDeviceManager. The manager runs
// over the ALSA sequencer; without one it has no devices and says so once.

#include <functional>
#include <memory>

#include "app/app_services.h"
#include "audio/midi/midi_device_manager.h"

class MidiDeviceManagerAdapter final : public MidiDeviceManagerService {
 public:
  MidiDeviceManagerAdapter(Synth* synth, bool nativeMode)
      : manager_(MidiDeviceManager::createMidiDeviceManager(synth, nativeMode)) {}
  ~MidiDeviceManagerAdapter() override {
    // Only the manager this adapter made (a newer one may have replaced it).
    if (manager_ && MidiDeviceManager::instance() == manager_) MidiDeviceManager::destroyMidiDeviceManager();
  }
  MidiDeviceManagerAdapter(const MidiDeviceManagerAdapter&) = delete;
  MidiDeviceManagerAdapter& operator=(const MidiDeviceManagerAdapter&) = delete;

  void setNetworkMidiEnabled(bool enabled) override {
    if (live()) manager_->setNetworkMidiEnabled(enabled);
  }
  void resendControllerSetup() override {
    if (live()) manager_->resendControllerSetup();
  }
  void updateControllerOutputs() override {
    if (live()) manager_->updateControllerOutputs();
  }

 private:
  bool live() const { return manager_ && MidiDeviceManager::instance() == manager_; }
  MidiDeviceManager* manager_;
};

inline std::function<std::unique_ptr<MidiDeviceManagerService>(Synth*, bool)> midiDeviceManagerFactory() {
  return [](Synth* synth, bool nativeMode) -> std::unique_ptr<MidiDeviceManagerService> {
    return std::make_unique<MidiDeviceManagerAdapter>(synth, nativeMode);
  };
}
