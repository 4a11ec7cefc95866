#include "audio/bounce.h"

#include <algorithm>
#include <vector>

BounceResult bounceCurrentPattern(RecordingSource& engine, AudioFileRecorder& recorder, uint32_t loops) {
  constexpr uint32_t kBlock = 1024;
  if (!engine.beginBounce()) return BounceResult::Refused;
  // Read only now: a pattern change asked for before the bounce has been
  // loaded by beginBounce, and the length and the file name are its own.
  uint64_t remaining = uint64_t{engine.bounceLength()} * loops;
  if (remaining < 1) {
    engine.endBounce();
    return BounceResult::Empty;
  }
  std::vector<int16_t> left(kBlock), right(kBlock);
  int16_t* channels[2] = {left.data(), right.data()};
  engine.startForBounce(0);
  recorder.open(false);
  if (!recorder.isOpen()) remaining = 0;
  // The recorder closes the file itself when it reaches its frame limit.
  while (remaining > 0 && recorder.isOpen()) {
    const uint32_t n = static_cast<uint32_t>(std::min<uint64_t>(remaining, kBlock));
    engine.renderBlock(nullptr, channels, static_cast<int32_t>(n));
    recorder.write(left.data(), right.data(), n);
    remaining -= n;
  }
  engine.stopPlayback(0);
  // The stop command runs in the next block; the frame it renders is not
  // part of the pattern.
  engine.renderBlock(nullptr, channels, 1);
  recorder.close();
  engine.endBounce();
  return BounceResult::Rendered;
}
