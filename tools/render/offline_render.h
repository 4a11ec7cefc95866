#pragma once
// Off-line rendering of a pattern through the engine, the way the bounce to
// a WAV file does it, and the pattern sources the render tool reads.
//
// Main thread (or any one thread while no live output renders the engine).
// Not real-time: everything here allocates and the sources read files.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "engine/record/pattern_record.h"

class Synth;

struct StereoBuffer {
  std::vector<int16_t> left;
  std::vector<int16_t> right;
  size_t frames() const { return left.size(); }
};

// The engine's bounce: beginBounce, startForBounce(0), renderBlock in blocks
// of at most `block` frames (at most 1,024) for bounceLength() × loops
// frames, stopPlayback(0), one more frame that is not kept, endBounce. The
// whole bounce in memory, for tests that compare it; the render tool streams
// its file instead (audio/bounce.h).
// False, with nothing rendered, when the engine would not leave the live
// output.
bool bouncePattern(Synth& synth, uint32_t loops, StereoBuffer* out, int32_t block = 1024);

// A pattern record file: 29,320 bytes (header and body) or the 29,312-byte
// body of the older form; values out of the engine's ranges are clamped.
std::optional<PatternRecord> readPatternFile(const std::string& path, std::string* error);

// Pattern `number` of the factory library: the library is installed from
// the bundle at `bundleDir` into a temporary documents folder, read through
// the pattern store, and the folder removed again.
std::optional<PatternRecord> factoryPattern(int32_t number, const std::string& bundleDir, std::string* error);
