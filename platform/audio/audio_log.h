#pragma once
// Where the audio platform layer says what it did with the devices (which
// driver opened, why one did not, the fallback to the null device).
//
// Never called on the render thread. Thread-safe.

#include <functional>
#include <string>

namespace platform {

using AudioLogSink = std::function<void(const std::string& message)>;

// Replaces the sink (standard error when none is set); returns the old one.
AudioLogSink setAudioLogSink(AudioLogSink sink);

void audioLog(const std::string& message);

}  // namespace platform
