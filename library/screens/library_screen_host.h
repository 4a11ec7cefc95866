#pragma once
// What the library's screens need of the main screen: the engine, pattern
// changes and playback, the current edit mode, and the resets after a
// restore or a factory reset. The main view controller implements it (the
// names and signatures match its own operations, so one override serves
// both this and the edit modes' host); tests implement it over a real
// engine and record the calls.
//
// The screens hold the host by a plain pointer: the main screen outlives
// every screen it opens. Main thread only.

#include <cstdint>

class Synth;

class LibraryScreenHost {
 public:
  virtual ~LibraryScreenHost() = default;

  // The engine whose current pattern, pending pattern, record and playing
  // flag the screens read.
  virtual Synth* synth() const = 0;
  // A pattern picked or saved elsewhere than the current number: the current
  // edit mode decides (the normal one queues the change and shows it on the
  // LCD).
  virtual void changePattern(int32_t number) = 0;
  // Starts (or restarts) playback unless `wait` is set and a sequence plays,
  // so that a pending change takes effect at the end of the pattern.
  virtual void playButWaitUntilCurrentPatternFinished(bool wait) = 0;
  // The engine changed pattern: the current edit mode's patternChanged.
  virtual void currentModePatternChanged() = 0;
  // 0 for the normal edit mode.
  virtual int32_t currentStateIndex() const = 0;
  // -1 leaves the current function mode.
  virtual void changeFunction(int64_t key) = 0;
  // After a restore: stop, reload the store, the sets and pattern 0.
  virtual void reloadPattern() = 0;
  // Factory reset of the library (backups untouched), then as reloadPattern.
  virtual void initializeAllPattern() = 0;
  // Saves the whole working state to its files (the application delegate's
  // storeData); false when something could not be written.
  virtual bool storeData() = 0;
};
