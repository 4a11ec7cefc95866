#pragma once
// The one audio device of the program: an AudioIO that forwards every
// operation to its GBVAudioSession, plus the CPU loads for the audio-load
// overlay. One instance per process, made by createAudioIO.

#include <memory>

#include "audio/gbv_audio_session.h"
#include "engine/interfaces/audio_io.h"

class IPhoneAudioIO : public AudioIO {
 public:
  explicit IPhoneAudioIO(std::shared_ptr<GBVAudioSession> session);
  // Stops the session before letting it go.
  ~IPhoneAudioIO() override;

  bool open() override { return session_->open(); }
  bool close() override { return session_->close(); }
  bool isOpened() override { return session_->isOpened(); }
  void activate() override { session_->activate(); }
  void deactivate() override { session_->deactivate(); }
  bool start() override { return session_->start(); }
  bool stop() override { return session_->stop(); }
  bool isRunning() override { return session_->isRunning(); }
  uint64_t hostTime() override { return session_->hostTime(); }
  uint64_t latencyNanosec() override { return session_->latencyNanosec(); }
  uint64_t outputLatencyNanosec() override { return session_->outputLatencyNanosec(); }
  void setListener(AudioIOListener* l) override;

  float cpuLoad() const { return session_->retrieveCPULoad(); }
  float maxCpuLoad() { return session_->retrieveMaxCPULoad(); }

  GBVAudioSession& session() { return *session_; }

 private:
  std::shared_ptr<GBVAudioSession> session_;
};

// The audio singleton: made on the first call (a session at `sampleRate`
// whose io is the new adapter), returned unchanged afterwards. Main thread.
IPhoneAudioIO* createAudioIO(float sampleRate);
IPhoneAudioIO* createAudioIO(float sampleRate, GBVAudioSession::Environment environment);
// The singleton, or nullptr.
IPhoneAudioIO* audioIO();
// Deletes the singleton and clears it.
void destroyAudioIO();
