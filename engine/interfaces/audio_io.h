#pragma once
// The abstract audio device and its one listener.
//
// The engine is the only listener; the audio output (audio/) implements the
// device. render() is called on the real-time audio thread.

#include <cstdint>

class AudioIO;

class AudioIOListener {
 public:
  virtual ~AudioIOListener() = default;
  // Fills `channels[0..1]`, `frames` samples each. Real-time: must not
  // allocate, lock or block. May read io->hostTime() and io->latencyNanosec().
  virtual void render(AudioIO* io, int16_t** channels, int32_t frames) = 0;
};

class AudioIO {
 public:
  virtual ~AudioIO() = default;
  virtual bool open() = 0;
  virtual bool close() = 0;
  virtual bool isOpened() = 0;
  virtual void activate() = 0;
  virtual void deactivate() = 0;
  virtual bool start() = 0;
  virtual bool stop() = 0;
  virtual bool isRunning() = 0;
  // Host time of the chunk being rendered (valid during render()).
  virtual uint64_t hostTime() = 0;
  // Scheduling latency: twice the IO buffer duration, in nanoseconds.
  virtual uint64_t latencyNanosec() = 0;
  virtual uint64_t outputLatencyNanosec() = 0;
  virtual void setListener(AudioIOListener* l) { listener = l; }

  AudioIOListener* listener = nullptr;
};
