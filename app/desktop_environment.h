#pragma once
// The program's environment on the desktop, built in one place: every
// service the application delegate and the main screen reach through
// AppServices is filled, and the screens built above the main screen (the
// menu bar's screens, the first-launch tutorial) are registered with it.
// main() runs the program with it; the end-to-end tests start the program
// with the same services, and change what a test must control: where the
// MIDI devices come from (the options below), and, in the returned
// environment, the user defaults, the sound drivers (a null device) and the
// start-up step observer.
//
//   MIDI manager        the ALSA sequencer (or the system in the options)
//   iCloud manager      made at start-up over the cloud folder; its upload of
//                       local backups runs when the delegate schedules it
//   crash reporting     an uncaught exception's text reaches standard error
//                       before the process aborts
//   notifications       the application's remote-notification registration
//   idle timer          the application's screen-saver inhibition
//
// Main thread only.

#include "app/app_delegate.h"

namespace platform {
class MidiSystem;
}

struct DesktopEnvironmentOptions {
  // Where MIDI devices come from; the ALSA sequencer when null. Must outlive
  // the program.
  platform::MidiSystem* midiSystem = nullptr;
};

AppEnvironment makeDesktopEnvironment(const DesktopEnvironmentOptions& options = {});
