#pragma once
// What the audio output asks of the engine besides render(): the rules for
// going to the background and coming back, and the inter-app play/stop
// trigger. `Synth` implements it.
//
// Threads: called on the thread that delivers the application's lifecycle
// notices and the session's notices (the main thread in the program), never
// on the audio thread.

#include <cstdint>

class AudioOutputEngine {
 public:
  virtual ~AudioOutputEngine() = default;

  virtual void suspendLink() = 0;
  virtual void resumeLink() = 0;
  virtual bool isLinkEnabled() = 0;
  // The sequencer's playing flag.
  virtual bool isPlaying() = 0;
  // Voices and effects silenced (audio resume).
  virtual void resetSound() = 0;
  // The sequencer's stop command; the output passes time 0.
  virtual void stopPlayback(uint64_t hostTime) = 0;
  virtual void startSequencer(uint64_t hostTime) = 0;
  virtual void stopSequencer(uint64_t hostTime) = 0;
  virtual void linkStart(uint64_t hostTime) = 0;
  virtual void linkStop(uint64_t hostTime) = 0;
};
