// The render path: slices, events, parts, effects, mix and master stages.
#include <algorithm>
#include <chrono>
#include <cstring>
#include <thread>

#include "engine/synth/synth.h"
#include "platform/foundation/host_time.h"

namespace {

// The device as one piece of a long render request sees it: the same
// device, with the host time of the piece's first frame. Lives on the stack
// of the render call.
class PieceAudioIO final : public AudioIO {
 public:
  PieceAudioIO(AudioIO* io, uint64_t offsetTicks) : io_(io), offset_(offsetTicks) {}
  bool open() override { return io_->open(); }
  bool close() override { return io_->close(); }
  bool isOpened() override { return io_->isOpened(); }
  void activate() override { io_->activate(); }
  void deactivate() override { io_->deactivate(); }
  bool start() override { return io_->start(); }
  bool stop() override { return io_->stop(); }
  bool isRunning() override { return io_->isRunning(); }
  uint64_t hostTime() override { return io_->hostTime() + offset_; }
  uint64_t latencyNanosec() override { return io_->latencyNanosec(); }
  uint64_t outputLatencyNanosec() override { return io_->outputLatencyNanosec(); }

 private:
  AudioIO* io_;
  uint64_t offset_;
};

}  // namespace

void Synth::render(AudioIO* io, int16_t** channels, int32_t frames) {
  // The flag goes up before the output byte is read: a bounce that clears
  // the byte and then sees the flag down knows that this call, and every
  // later one, reads the cleared byte (both sides are sequentially
  // consistent).
  inLiveRender_.store(true);
  if (!audioEnableOutput_.load()) {
    std::memset(channels[0], 0, sizeof(int16_t) * static_cast<size_t>(std::max(frames, 0)));
    std::memset(channels[1], 0, sizeof(int16_t) * static_cast<size_t>(std::max(frames, 0)));
  } else {
    renderBlock(io, channels, frames);
  }
  // The latch follows the request only at the end of a buffer, so the bounce
  // never shares a buffer with the live output.
  audioEnableOutput_.store(audioEnableRequest_.load());
  inLiveRender_.store(false);
}

void Synth::renderBlock(AudioIO* io, int16_t** out, int32_t frames) {
  // Whoever renders (the live output, the bounce, a test) does first what
  // the main thread asked of the voices since the last block.
  doVoiceWork();
  if (frames > kBusFrames) {
    // The buses hold kBusFrames; a longer request is rendered in pieces,
    // each placing timed commands and MIDI by its own first frame.
    int16_t* left = out[0];
    int16_t* right = out[1];
    for (int32_t done = 0; done < frames; done += kBusFrames) {
      int16_t* piece[2] = {left + done, right + done};
      const int32_t n = std::min(kBusFrames, frames - done);
      if (io) {
        const double nanos = static_cast<double>(done) * 1e9 / static_cast<double>(sampleRate_);
        PieceAudioIO pieceIo(io, platform::nanosToHostTicks(static_cast<uint64_t>(nanos)));
        renderBlock(&pieceIo, piece, n);
      } else {
        renderBlock(nullptr, piece, n);
      }
    }
    return;
  }
  const size_t bytes = sizeof(int16_t) * static_cast<size_t>(std::max(frames, 0));
  for (auto& b : buses_) std::memset(b.get(), 0, bytes);
  seq_->checkLinkState(io);

  int32_t offset = 0;
  int32_t remaining = frames;
  while (remaining >= 1) {
    int32_t n = seq_->process(io, offset, remaining);
    if (n < 1) {
      // A sequencer that cannot advance must not stall the audio: render
      // the rest without further boundaries.
      n = remaining;
    }
    n = std::min(n, remaining);
    renderSlice(io, offset, n);
    offset += n;
    remaining -= n;
  }

  int16_t* left = out[0];
  int16_t* right = out[1];
  if (frames <= 0) {
    masterFader_->process(left, right, 0);
    return;
  }
  mixSaturated(left, buses_[0].get(), buses_[2].get(), frames);
  mixSaturated(right, buses_[1].get(), buses_[3].get(), frames);
  masterDrive_->process(left, right, frames);
  masterFader_->process(left, right, frames);
  softClip(left, frames);
  softClip(right, frames);
}

void Synth::renderSlice(AudioIO* io, int32_t offset, int32_t n) {
  applyQueuedMidiEvents(io, offset, n);
  events_.sort();
  int32_t pos = offset;
  int32_t rest = n;
  for (const EngineEvent& e : events_) {
    int32_t d = static_cast<int32_t>(e.frame) - pos;
    if (d < 0) d = 0;
    if (d >= rest) {
      // This and every later event lie beyond the slice: dropped.
      break;
    }
    if (d >= 1) renderParts(pos, d);
    applyEvent(e);
    pos += d;
    rest -= d;
  }
  if (rest > 0) renderParts(pos, rest);
  events_.clear();
}

void Synth::renderParts(int32_t pos, int32_t frames) {
  const uint32_t n = static_cast<uint32_t>(frames);
  for (size_t i = 0; i < buses_.size(); ++i) busCursors_[i] = buses_[i].get() + pos;
  int16_t* const* cursors = busCursors_.data();
  const int32_t mode = crossRingSwitch_->get(0);
  if (mode == 0) {
    synthParts_[0]->render(cursors, n);
    synthParts_[1]->render(cursors, n);
  } else {
    int32_t* mod = modulationBuffer_.get() + pos;
    synthParts_[1]->renderModulator(mod, n);
    if (mode == 1) synthParts_[0]->renderCrossModulated(cursors, mod, n);
    else synthParts_[0]->renderRingModulated(cursors, mod, n);
  }
  synthParts_[2]->render(cursors, n);
  synthParts_[3]->render(cursors, n);
  for (auto& p : pcmParts_) p->render(cursors, n);
  int16_t* send[2] = {busCursors_[2], busCursors_[3]};
  multiEffector().process(send, frames);
}

void Synth::triggerPart(uint32_t part, int32_t velocity) {
  if (part < 4) synthParts_[part]->noteOn(velocity);
  else if (part < 8) pcmParts_[part - 4]->noteOn(velocity);
}

void Synth::applyEvent(const EngineEvent& e) {
  switch (e.type) {
    case EngineEvent::kControlChange: applyControlChange(e.a, e.b); break;
    case EngineEvent::kPackedParam: applyParameterFromMidi(static_cast<PackedParamId>(e.a), static_cast<int32_t>(e.b)); break;
    case EngineEvent::kMotionValue: applyParameterValue(static_cast<ParamId>(e.a), static_cast<int32_t>(e.b)); break;
    case EngineEvent::kMotionRelease: applyParameterRelease(static_cast<ParamId>(e.a)); break;
    case EngineEvent::kStepTrigger: triggerPart(e.a, accentLevels_->stepVelocity(e.b == 1)); break;
    case EngineEvent::kLiveTrigger: {
      const bool accented = e.b == 1;
      const int32_t v = isPlaying() ? accentLevels_->stepVelocity(accented) : accentLevels_->liveVelocity(accented);
      triggerPart(e.a, v);
      break;
    }
    case EngineEvent::kMidiNote: triggerPartFromMidi(e.a, e.b); break;
    default: break;
  }
}

void Synth::applyParameterValue(ParamId id, int32_t value) {
  if (id < 0) return;
  if (id < 64) {
    synthParts_[static_cast<size_t>(id / 16)]->setMotionValue(static_cast<uint32_t>(id % 16), value);
  } else if (id < 128) {
    pcmParts_[static_cast<size_t>(id / 16 - 4)]->setMotionValue(static_cast<uint32_t>(id % 16), value);
  } else if (id < 132) {
    accentLevels_->setMotionValue(id - 128, value);
  } else if (id < 140) {
    multiEffector().setMotionValue(id - 132, value);
  }
}

void Synth::applyParameterRelease(ParamId id) {
  if (id < 0) return;
  if (id < 64) {
    synthParts_[static_cast<size_t>(id / 16)]->restoreMotionValue(static_cast<uint32_t>(id % 16));
  } else if (id < 128) {
    pcmParts_[static_cast<size_t>(id / 16 - 4)]->restoreMotionValue(static_cast<uint32_t>(id % 16));
  } else if (id < 132) {
    accentLevels_->restoreMotionValue(id - 128);
  } else if (id < 140) {
    multiEffector().restoreMotionValue(id - 132);
  }
}

void Synth::applyControlChange(uint32_t control, uint32_t value) {
  // Bank select (controllers 0 and 32) is handed to the sequencer on the MIDI
  // thread as it arrives, because a program change is resolved when it is
  // posted; applying it here, one latency later, could pick a stale bank.
  if (control == 0 || control == 32 || control >= midiControlMap_.size()) return;
  applyParameterFromMidi(midiControlMap_[control], static_cast<int32_t>(value));
}

void Synth::triggerPartFromMidi(uint32_t part, uint32_t velocity) {
  if (velocity < 1) return;
  triggerPart(part, static_cast<int32_t>(std::min<uint32_t>(velocity, 127)));
}

void Synth::pushMidiEvent(uint64_t hostTime, uint32_t kind, uint32_t a, uint32_t b) {
  midiEventQueue_.push(hostTime, kind, a, b);
}

void Synth::applyQueuedMidiEvents(AudioIO* io, int32_t sliceStart, int32_t sliceLength) {
  // A note played during an export is not part of the pattern.
  if (bounceHoldsEngine_) return;
  const platform::Timebase tb = platform::hostTimebase();
  // Without a device (the bounce) there is no clock to place entries by:
  // they all play at the start of the slice.
  const uint64_t chunkTime = io ? io->hostTime() : 0;
  const uint64_t latencyTicks = io ? io->latencyNanosec() * tb.denom / tb.numer : 0;
  const double framesPerNano = 1e-9 * static_cast<double>(sampleRate_);
  const int32_t sliceEnd = sliceStart + sliceLength;
  auto frameOf = [&](const EngineEventQueueEntry& e) -> int64_t {
    if (!io) return sliceStart;
    const uint64_t t = e.hostTime + latencyTicks;
    const uint64_t d = t > chunkTime ? t - chunkTime : 0;
    return static_cast<int64_t>(static_cast<double>(d * tb.numer / tb.denom) * framesPerNano);
  };
  midiEventQueue_.drain([&](const EngineEventQueueEntry& e) { return frameOf(e) < sliceEnd; },
                        [&](const EngineEventQueueEntry& e) {
                          const int64_t frame = std::max<int64_t>(frameOf(e), sliceStart);
                          uint32_t type;
                          switch (e.kind) {
                            case EngineEventQueueEntry::kMidiNote: type = EngineEvent::kMidiNote; break;
                            case EngineEventQueueEntry::kLiveTrigger: type = EngineEvent::kLiveTrigger; break;
                            case EngineEventQueueEntry::kControlChange: type = EngineEvent::kControlChange; break;
                            case EngineEventQueueEntry::kPackedParam: type = EngineEvent::kPackedParam; break;
                            default: return;
                          }
                          pushEvent(static_cast<uint32_t>(frame), type, e.a, e.b);
                        });
}

// --- bounce -----------------------------------------------------------------

bool Synth::beginBounce() {
  audioEnableRequest_.store(0);
  // From the moment the output byte is clear, a live render call that
  // starts reads it and plays silence; only a call already past that read
  // can still be rendering. Wait for it (one buffer at most) and clear the
  // byte again, because at its end that call copies the request byte, which
  // it may have read before it was cleared. No live output at all means no
  // wait.
  for (int waited = 0;; ++waited) {
    audioEnableOutput_.store(0);
    if (!inLiveRender_.load() && !audioEnableOutput_.load()) break;
    if (waited >= 500) {
      // A live render that does not finish within half a second is stuck;
      // leave the engine to it as it was.
      audioEnableRequest_.store(1);
      audioEnableOutput_.store(1);
      return false;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  bounceHoldsEngine_ = true;
  // What the main thread asked of the voices before is done first: the
  // live render that would have done it is held now.
  doVoiceWork();
  // What was asked of the sequencer before the bounce (the bounce's own
  // stop of a playing pattern among it) takes effect now, not in the
  // bounce's first block.
  seq_->runPostedCommands();
  seq_->beginBounce();
  // The bounce plays the pattern as loaded, whatever played before it: no
  // motion value held from the live play, fresh noise, silent voices and
  // effects.
  resetVoices();
  for (auto& p : synthParts_) p->resetVoice();
  for (auto& p : pcmParts_) p->resetVoice();
  seedNoise();
  multiEffector().resetEffects();
  return true;
}

void Synth::endBounce() {
  for (auto& p : synthParts_) p->resetVoice();
  for (auto& p : pcmParts_) p->resetVoice();
  multiEffector().resetEffects();
  // Notes and knob moves that arrived for the silenced live output are
  // stale now; played after the bounce they would come all at once. The
  // live render does not drain the queue until the request below.
  while (!midiEventQueue_.drain([](const EngineEventQueueEntry&) { return true; },
                                [](const EngineEventQueueEntry&) {})) {
    std::this_thread::yield();
  }
  bounceHoldsEngine_ = false;
  audioEnableRequest_.store(1);
  seq_->endBounce();
}

uint32_t Synth::bounceLength() {
  return seq_ ? static_cast<uint32_t>(std::max(seq_->patternLengthInFrames(), 0)) : 0;
}

void Synth::startForBounce(uint64_t time) {
  if (seq_) seq_->startForBounce(time);
}

void Synth::stopPlayback(uint64_t time) {
  if (seq_) seq_->stopPlayback(time);
}
