#include "platform/audio/audio_log.h"

#include <cstdio>
#include <mutex>

namespace platform {

namespace {

std::mutex& sinkMutex() {
  static std::mutex m;
  return m;
}

AudioLogSink& sinkSlot() {
  static AudioLogSink sink;
  return sink;
}

}  // namespace

AudioLogSink setAudioLogSink(AudioLogSink sink) {
  std::lock_guard<std::mutex> lock(sinkMutex());
  AudioLogSink old = std::move(sinkSlot());
  sinkSlot() = std::move(sink);
  return old;
}

void audioLog(const std::string& message) {
  std::lock_guard<std::mutex> lock(sinkMutex());
  if (sinkSlot()) {
    sinkSlot()(message);
    return;
  }
  std::fprintf(stderr, "igroovebix audio: %s\n", message.c_str());
}

}  // namespace platform
