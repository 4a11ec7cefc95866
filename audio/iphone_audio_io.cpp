#include "audio/iphone_audio_io.h"

namespace {

IPhoneAudioIO* gAudioIO = nullptr;

}  // namespace

IPhoneAudioIO::IPhoneAudioIO(std::shared_ptr<GBVAudioSession> session) : session_(std::move(session)) {}

IPhoneAudioIO::~IPhoneAudioIO() {
  if (!session_) return;
  session_->stop();
  // The session may outlive us through another owner; it must not call a
  // dead adapter.
  if (session_->io() == this) session_->setIo(nullptr);
}

void IPhoneAudioIO::setListener(AudioIOListener* l) {
  AudioIO::setListener(l);
  session_->setListener(l);
}

IPhoneAudioIO* createAudioIO(float sampleRate) { return createAudioIO(sampleRate, {}); }

IPhoneAudioIO* createAudioIO(float sampleRate, GBVAudioSession::Environment environment) {
  if (gAudioIO) return gAudioIO;
  auto session = std::make_shared<GBVAudioSession>(sampleRate, std::move(environment));
  auto* io = new IPhoneAudioIO(session);
  session->setIo(io);
  gAudioIO = io;
  return io;
}

IPhoneAudioIO* audioIO() { return gAudioIO; }

void destroyAudioIO() {
  IPhoneAudioIO* io = gAudioIO;
  gAudioIO = nullptr;
  delete io;
}
