#pragma once
// The off-line bounce: renders the engine's pattern `loops` times into the
// recorder's file, in the order the main screen's bounce uses — begin the
// bounce (the engine settles what was asked of it before), read the
// pattern's length, start the sequencer for it, open the file, render and
// write blocks of at most 1,024 frames until the length is done, stop
// playback, render one more frame (not written), close the file, end the
// bounce. Only one block is held in memory, however long the bounce; the
// recorder ends it at its two-hour limit.
//
// The recorder is one made in mode 0 with its delegate and bounce mode set.
// Main thread. The recorder's last outcome tells whether a rendered pattern
// was saved; its delegate has then been told, and on failure why (except
// when the file could not be created).

#include <cstdint>

#include "audio/audio_file_recorder.h"
#include "engine/interfaces/recording_source.h"

enum class BounceResult {
  Refused,   // the live output did not let go of the engine: nothing rendered
  Empty,     // a pattern of no frames: the engine passed through, no file
  Rendered,  // the pattern was rendered into the recorder
};

BounceResult bounceCurrentPattern(RecordingSource& engine, AudioFileRecorder& recorder, uint32_t loops = 1);
