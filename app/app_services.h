#pragma once
// What the application delegate and the main screen need of subsystems that
// are built elsewhere and later: the MIDI manager, the iCloud manager, crash
// reporting, the notification registration and the display's idle timer.
//
// Each is a seam the real subsystem fills. A member left empty means the
// service is not there: no MIDI manager is made (the pointer stays null, as
// when the MIDI client cannot be created), the iCloud manager has nothing to
// upload, crash reporting and notification registration do nothing, and the
// idle-timer switch is only remembered.

#include <functional>
#include <memory>

class Synth;

// The MIDI manager as the main screen uses it.
class MidiDeviceManagerService {
 public:
  virtual ~MidiDeviceManagerService() = default;
  // Stores the network-MIDI flag; applies it only when it changed.
  virtual void setNetworkMidiEnabled(bool enabled) = 0;
  // Sends the start-up messages to each supported controller again.
  virtual void resendControllerSetup() = 0;
  // Refreshes every controller output (lamp control changes).
  virtual void updateControllerOutputs() = 0;
};

struct AppServices {
  // createMidiDeviceManager(engine, native controller mode); may answer null.
  std::function<std::unique_ptr<MidiDeviceManagerService>(Synth*, bool nativeMode)> createMidiDeviceManager;
  // [ICloudManager sharedInstance]: makes the manager (the result is not kept).
  std::function<void()> createICloudManager;
  // [[ICloudManager sharedInstance] uploadLocalBackupFile].
  std::function<void()> uploadLocalBackupFile;
  // [FIRApp configure].
  std::function<void()> configureCrashReporting;
  // Registration for badge | alert notifications (types 5).
  std::function<void(unsigned types)> registerForNotifications;
  // [UIApplication setIdleTimerDisabled:].
  std::function<void(bool disabled)> setIdleTimerDisabled;
};

// The MIDI manager of the running program, or null when none was made.
MidiDeviceManagerService* midiDeviceManager();
// Makes the manager through `services` (replacing one that exists).
MidiDeviceManagerService* createMidiDeviceManager(const AppServices& services, Synth* synth, bool nativeMode);
void destroyMidiDeviceManager();
