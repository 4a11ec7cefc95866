#pragma once
// The off-line bounce: renders the engine's pattern once into the recorder's
// file, in the order the main screen's bounce uses — begin the bounce, start
// the sequencer for it, open the file, render and write blocks of at most
// 1,024 frames until the pattern's length is done, stop playback, render one
// more frame (not written), close the file, end the bounce.
//
// The recorder is one made in mode 0 with its delegate and bounce mode set.
// Main thread. Returns whether the file was saved; the recorder's delegate
// has then been told, and on failure it has been told why (except when the
// engine would not leave the live output, or the file could not be created).

#include "audio/audio_file_recorder.h"
#include "engine/interfaces/recording_source.h"

bool bounceCurrentPattern(RecordingSource& engine, AudioFileRecorder& recorder);
