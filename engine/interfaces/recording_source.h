#pragma once
// What the WAV recorder needs of the engine: its sample rate and the pattern
// that plays (the file is named after the pattern and its tempo), and for
// the off-line bounce the block render and the output-enable latch. `Synth`
// implements it; tests use a source that renders a known signal.
//
// Threads: everything here is called on the thread that records (the main
// thread for a bounce), never on the audio thread.

#include <cstdint>

#include "engine/record/pattern_record.h"

class AudioIO;

class RecordingSource {
 public:
  virtual ~RecordingSource() = default;

  virtual float sampleRate() const = 0;
  // The record that plays; only its name and tempo are read.
  virtual PatternRecord* currentPattern() = 0;

  // Takes the engine away from the live output (the live render then plays
  // silence) and resets the voices and effects. The wait for the live render
  // to let go is bounded: false when it did not, and then the engine is left
  // as it was (no endBounce needed).
  virtual bool beginBounce() = 0;
  // Resets the voices and effects again and gives the engine back to the
  // live output.
  virtual void endBounce() = 0;
  // The pattern's length in frames: unswung step length × played steps.
  virtual uint32_t bounceLength() = 0;
  // The sequencer's start and stop commands; the bounce passes time 0.
  virtual void startForBounce(uint64_t hostTime) = 0;
  virtual void stopPlayback(uint64_t hostTime) = 0;
  // One block of at most 1,024 frames into `channels[0..1]`; `io` is null
  // off-line.
  virtual void renderBlock(AudioIO* io, int16_t** channels, int32_t frames) = 0;
};
