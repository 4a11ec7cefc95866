#pragma once
// Test helpers shared by the audio tests: capture of the audio log, and a
// process environment in which no sound server answers.

#include <dirent.h>
#include <unistd.h>

#include <cstdlib>
#include <mutex>
#include <string>
#include <vector>

#include "platform/audio/audio_log.h"
#include "platform/audio/audio_output_unit.h"

namespace audiotest {

class LogCapture {
 public:
  LogCapture() {
    old_ = platform::setAudioLogSink([this](const std::string& m) {
      std::lock_guard<std::mutex> lock(mutex_);
      lines_.push_back(m);
    });
  }
  ~LogCapture() { platform::setAudioLogSink(std::move(old_)); }
  std::vector<std::string> lines() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return lines_;
  }
  int count(const std::string& needle) const {
    int n = 0;
    for (const std::string& l : lines()) n += l.find(needle) != std::string::npos;
    return n;
  }

 private:
  mutable std::mutex mutex_;
  std::vector<std::string> lines_;
  platform::AudioLogSink old_;
};

inline bool machineHasSoundCards() {
  DIR* d = opendir("/dev/snd");
  if (!d) return false;
  bool pcm = false;
  while (dirent* e = readdir(d)) pcm |= std::string(e->d_name).rfind("pcm", 0) == 0;
  closedir(d);
  return pcm;
}

// Points JACK and PulseAudio at servers nobody runs and returns the
// standard driver order for such a machine: ALSA stays in only when there
// is no sound card it could open. JACK_NO_START_SERVER stays unset on
// purpose: the output must not start a server on its own.
inline std::vector<platform::AudioDriver> driversWithNoServer() {
  const std::string none = "igbtest-nobody-" + std::to_string(getpid());
  setenv("JACK_DEFAULT_SERVER", none.c_str(), 1);
  unsetenv("JACK_NO_START_SERVER");
  setenv("PULSE_SERVER", "unix:/nonexistent/igbtest/native", 1);
  std::vector<platform::AudioDriver> drivers{platform::AudioDriver::Jack, platform::AudioDriver::Pulse};
  if (!machineHasSoundCards()) drivers.push_back(platform::AudioDriver::Alsa);
  return drivers;
}

}  // namespace audiotest
