// MIDI into the engine: the generic handlers (clock and transport, program
// change, drum notes, control changes), the supported controllers' layouts,
// and the dispatch of packed parameter identifiers.
#include <algorithm>
#include <cmath>

#include "engine/synth/synth.h"

namespace {

constexpr uint32_t kControllerChannelCc = 0xBF;  // control change, channel 16

bool validPartIndex(int32_t part) { return part >= 0 && part < kNumParts; }

}  // namespace

// --- generic input (MIDI thread) ----------------------------------------------

void Synth::handleMidiMessage(uint64_t hostTime, const uint8_t* bytes, size_t length) {
  if (!bytes || length == 0) return;
  const uint8_t status = bytes[0];
  if (length == 1) {
    if (!seq_) return;
    if (status == 0xFC) seq_->midiStop(hostTime);
    else if (status == 0xFA) seq_->midiStart(hostTime);
    else if (status == 0xF8) seq_->midiClock(hostTime);
    return;
  }
  const uint32_t channel = status & 0x0F;
  if (length == 2) {
    if ((status & 0xF0) == 0xC0 && channel == midiNoteMap_.midiChannel && seq_) {
      seq_->programChange(hostTime, bytes[1] & 0x7F);
    }
    return;
  }
  if (length != 3) return;
  switch (status & 0xF0) {
    case 0x80: {
      int32_t part = -1;
      if (channel == midiNoteMap_.midiChannel) {
        const uint32_t note = bytes[1] & 0x7F;
        for (int32_t p = 0; p < kNumParts; ++p) {
          if (midiNoteMap_.partNotes[static_cast<size_t>(p)] == note) {
            part = p;
            break;
          }
        }
      }
      if (listener_) listener_->synthTriggered(part, false);
      break;
    }
    case 0x90: handleNoteOn(hostTime, channel, bytes[1], bytes[2]); break;
    case 0xB0: handleControlChange(hostTime, channel, bytes[1], bytes[2]); break;
    default: break;
  }
}

void Synth::handleNoteOn(uint64_t hostTime, uint32_t channel, uint32_t note, uint32_t velocity) {
  note &= 0x7F;
  velocity &= 0x7F;
  int32_t part = -1;
  for (int32_t p = 0; p < kNumParts; ++p) {
    if (midiNoteMap_.partNotes[static_cast<size_t>(p)] == note) {
      part = p;
      break;
    }
  }
  if (velocity > 0) {
    if (channel != midiNoteMap_.midiChannel || part < 0) return;
    pushMidiEvent(hostTime, EngineEventQueueEntry::kMidiNote, static_cast<uint32_t>(part), velocity);
    if (listener_) listener_->synthTriggered(part, true);
    return;
  }
  // Velocity 0 is a note off, reported like one (for any channel, as the
  // note-off message is reported with part -1 off the engine's channel).
  if (channel != midiNoteMap_.midiChannel) part = -1;
  if (listener_) listener_->synthTriggered(part, false);
}

void Synth::handleControlChange(uint64_t hostTime, uint32_t channel, uint32_t control, uint32_t value) {
  control &= 0x7F;
  value &= 0x7F;
  if (channel != midiNoteMap_.midiChannel) return;
  // The sequencer resolves a program change when it is posted, so the bank
  // select must be in force by then: it is handed over here, as it arrives,
  // not one latency later on the render side.
  if (seq_) {
    if (control == 0) seq_->setBankSelectMsb(value);
    else if (control == 32) seq_->setBankSelectLsb(value);
  }
  const PackedParamId id = midiControlMap_[control];
  if (packedGroup(id) == kPackedGroupCommand) {
    const int32_t index = packedIndex(id);
    if (index == kPackedPatternSelect) {
      if (value < 64) selectPatternFromMidi(hostTime, static_cast<int32_t>(value >> 4), static_cast<int32_t>(value & 15));
      return;
    }
    if (index == kPackedTransport) {
      switch (value) {
        case 0: stopFromMidi(hostTime); break;
        case 1: startFromMidi(hostTime); break;
        case 2:
        case 3:
          if (seq_) seq_->setLoop(hostTime, value == 3);
          break;
        case 4:
        case 5:
          if (seq_) seq_->setRecording(hostTime, value == 5);
          break;
        default: break;
      }
      return;
    }
  }
  pushMidiEvent(hostTime, EngineEventQueueEntry::kControlChange, control, value);
  if (listener_) listener_->synthParameterChangedFromMidi(id, static_cast<int>(value));
}

void Synth::startFromMidi(uint64_t hostTime) {
  if (isLinkEnabled()) linkStart(hostTime);
  else startSequencer(hostTime);
}

void Synth::stopFromMidi(uint64_t hostTime) {
  if (isLinkEnabled()) linkStop(hostTime);
  else stopSequencer(hostTime);
}

void Synth::selectPatternFromMidi(uint64_t hostTime, int32_t bank, int32_t slot) {
  if (!seq_) return;
  seq_->selectPatternSet(hostTime, static_cast<uint32_t>(bank), static_cast<uint32_t>(slot));
  if (!patternSetLookup_) return;
  const int32_t pattern = patternSetLookup_(slot, bank);
  if (pattern != seq_->pendingPattern()) {
    seq_->changePattern(hostTime, pattern);
    if (seq_->isPlaying()) return;
  }
  startFromMidi(hostTime);
}

// --- supported controllers (MIDI thread) --------------------------------------

void Synth::sendFromController(uint64_t hostTime, PackedParamId id, int32_t value) {
  pushMidiEvent(hostTime, EngineEventQueueEntry::kPackedParam, static_cast<uint32_t>(id), static_cast<uint32_t>(value));
  if (listener_) listener_->synthParameterChangedFromMidi(id, value);
}

void Synth::handleFaderControllerInput(int32_t layout, uint64_t hostTime, const uint8_t* bytes, size_t length) {
  if (!bytes || length != 3 || bytes[0] != kControllerChannelCc) return;
  if (handleControllerTransport(hostTime, bytes, length)) return;
  if (layout == 1) handleFaderControllerLayout1(hostTime, bytes, length);
  else if (layout == 0) handleFaderControllerLayout0(hostTime, bytes, length);
}

bool Synth::handleControllerTransport(uint64_t hostTime, const uint8_t* bytes, size_t length) {
  if (!bytes || length != 3 || bytes[0] != kControllerChannelCc) return false;
  const uint32_t control = bytes[1];
  switch (control) {
    case 41:
    case 42:
    case 45:
    case 46:
    case 61:
    case 62: break;
    default: return false;
  }
  if (bytes[2] != 127) return true;
  switch (control) {
    case 41: startFromMidi(hostTime); break;
    case 42: stopFromMidi(hostTime); break;
    case 45:
      if (seq_) seq_->setRecording(hostTime, !isRecording());
      break;
    case 46:
      if (seq_) seq_->setLoop(hostTime, !seq_->isLoop());
      break;
    case 61:
      if (listener_) listener_->seqPageShiftedFromMidi(-1);
      break;
    case 62:
      if (listener_) listener_->seqPageShiftedFromMidi(1);
      break;
    default: break;
  }
  return true;
}

void Synth::handleFaderControllerLayout0(uint64_t hostTime, const uint8_t* bytes, size_t length) {
  if (!bytes || length != 3 || bytes[0] != kControllerChannelCc) return;
  const int32_t control = bytes[1] & 0x7F;
  const int32_t value = bytes[2] & 0x7F;
  const int32_t p = control % 8;
  switch (control / 8) {
    case 0: sendFromController(hostTime, packedParamId(p, kLevel), value); break;
    case 2: sendFromController(hostTime, packedParamId(p, kPan), value); break;
    case 4:
      if (value == 127) {
        // The lit button of the soloed part ends solo mode.
        const bool soloed = soloMode() && isPartSolo(p);
        sendFromController(hostTime, packedParamId(kPackedGroupCommand, kPackedSolo), soloed ? 127 : p);
      }
      break;
    case 6: toggleMuteFromController(hostTime, p, static_cast<uint32_t>(value)); break;
    case 8: toggleEffectSendFromController(hostTime, p, static_cast<uint32_t>(value)); break;
    default: break;
  }
}

// The record belongs to the main thread, and this is the MIDI thread: the
// toggles read what the record holds from the voices' knob values (set
// together with the record), and in solo mode, where the voices' mutes are
// solo's, from the record's mutes as the main thread last published them.
void Synth::toggleMuteFromController(uint64_t hostTime, int32_t part, uint32_t value) {
  if (value != 127 || !validPartIndex(part)) return;
  const bool muted = soloMode_ ? (recordMutes_.load(std::memory_order_relaxed) >> part) & 1
                               : partParameter(part, kMute) != 0;
  sendFromController(hostTime, packedParamId(part, kMute), muted ? 0 : 1);
}

void Synth::toggleEffectSendFromController(uint64_t hostTime, int32_t part, uint32_t value) {
  if (value != 127 || !validPartIndex(part)) return;
  sendFromController(hostTime, packedParamId(part, kFxSend), partParameter(part, kFxSend) != 0 ? 0 : 1);
}

void Synth::handleFaderControllerLayout1(uint64_t hostTime, const uint8_t* bytes, size_t length) {
  if (!bytes || length != 3 || bytes[0] != kControllerChannelCc) return;
  const uint32_t c = currentPart();
  if (c > 7) return;
  const int32_t part = static_cast<int32_t>(c);
  const int32_t control = bytes[1] & 0x7F;
  const int32_t value = bytes[2] & 0x7F;
  // Round to nearest, ties to even, in single precision.
  auto scaled = [value](int32_t k) {
    return static_cast<int32_t>(std::nearbyintf(static_cast<float>(value) * static_cast<float>(k) / 127.0f));
  };
  switch (control) {
    case 0: sendFromController(hostTime, packedParamId(kPackedGroupMaster, 1), value); break;
    case 1: sendFromController(hostTime, packedParamId(kPackedGroupEffect, 1), value); break;
    case 2: sendFromController(hostTime, packedParamId(kPackedGroupEffect, 2), value); break;
    case 3: sendFromController(hostTime, packedParamId(part, kWave), scaled(3)); break;
    case 4: sendFromController(hostTime, packedParamId(part, kModType), scaled(5)); break;
    case 5: sendFromController(hostTime, packedParamId(part, kMotionSeq), scaled(2)); break;
    case 6: sendFromController(hostTime, packedParamId(part, kPan), value); break;
    case 7: sendFromController(hostTime, packedParamId(part, kLowBoost), value); break;
    case 16: sendFromController(hostTime, packedParamId(kPackedGroupMaster, 0), value); break;
    case 17: sendFromController(hostTime, packedParamId(kPackedGroupEffect, 0), scaled(7)); break;
    case 19: sendFromController(hostTime, packedParamId(part, kPitch), value); break;
    case 20: sendFromController(hostTime, packedParamId(part, kModDepth), value); break;
    case 21: sendFromController(hostTime, packedParamId(part, kModSpeed), value); break;
    case 22: sendFromController(hostTime, packedParamId(part, kDecay), value); break;
    case 23: sendFromController(hostTime, packedParamId(part, kLevel), value); break;
    default:
      if (control >= 64 && control <= 71 && value == 127 && listener_) listener_->currentPartChangedFromMidi(control - 64);
      break;
  }
}

void Synth::handlePadControllerMessage(int32_t scene, uint64_t hostTime, const uint8_t* bytes, size_t length) {
  if (!bytes || length != 3) return;
  const uint8_t status = bytes[0];
  const uint32_t data1 = bytes[1] & 0x7F;
  const uint32_t data2 = bytes[2] & 0x7F;
  if (status == kControllerChannelCc) {
    if (data1 == 9) sendFromController(hostTime, packedParamId(kPackedGroupEffect, 1), static_cast<int32_t>(data2));
    else if (data1 == 10) sendFromController(hostTime, packedParamId(kPackedGroupEffect, 2), static_cast<int32_t>(data2));
    return;
  }
  if ((status != 0x91 && status != 0x81) || data1 < 64 || data1 > 79) return;
  const int32_t pad = static_cast<int32_t>(data1) - 64;
  const bool noteOn = status == 0x91;
  if (scene >= 1 && scene <= 4) {
    if (noteOn) selectPatternFromMidi(hostTime, scene - 1, pad);
    return;
  }
  if (scene != 0 || pad > 7) return;
  if (noteOn) {
    handleNoteOn(hostTime, midiNoteMap_.midiChannel, midiNoteMap_.partNotes[static_cast<size_t>(pad)], data2);
  } else if (listener_) {
    listener_->synthTriggered(pad, false);
  }
}

// --- packed identifiers ---------------------------------------------------------

void Synth::setParameterById(PackedParamId id, int32_t value) {
  if (id < 0) return;
  const int32_t group = packedGroup(id);
  const int32_t index = packedIndex(id);
  if (group >= 0 && group < kNumParts) {
    if (index == kMute) setPartMute(group, value != 0 ? 1 : 0);
    else if (index >= 0 && index < kNumPartParams) setPartParameter(group, index, value);
    return;
  }
  switch (group) {
    case kPackedGroupAccent:
      if (index == 0 || index == 1) setAccentParameter(index, value);
      break;
    case kPackedGroupCrossRing: setCrossRingMod(value); break;
    case kPackedGroupMaster:
      if (index == 0 || index == 1) setMasterParameter(index, value);
      break;
    case kPackedGroupSequence:
      if (index == 1) setSwing(value);
      else if (index == 2) setLastStep(value);
      else if (index == 3) setPatternLength(value);
      break;
    case kPackedGroupEffect:
      if (index >= 0 && index <= 3) setEffectParameter(0, index, value);
      break;
    case kPackedGroupCommand:
      if (index == kPackedSolo) {
        if (value < 8) {
          if (!soloMode()) setSoloMode(true);
          setPartSolo(value, true, true);
        } else if (soloMode()) {
          setSoloMode(false);
        }
      }
      break;
    default: break;
  }
}

void Synth::applyParameterFromMidi(PackedParamId id, int32_t value) {
  if (id < 0) return;
  const int32_t group = packedGroup(id);
  const int32_t index = packedIndex(id);
  const uint16_t pattern = currentPatternIndex_.load(std::memory_order_relaxed);
  // The sound takes the value here, at its frame, through the sound
  // objects' own thread-safe setters; the record (the main thread's) takes
  // the stored value through the hand-off.
  auto hand = [&](int32_t stored) { midiParameterHandOff_.store(id, stored, pattern); };
  if (group >= 0 && group < kNumParts) {
    if (index < 0 || index >= kNumPartParams) return;
    const uint32_t i = static_cast<uint32_t>(index);
    if (index == kMute) {
      const int32_t on = value != 0 ? 1 : 0;
      // In solo mode the mute lives only in the record until solo ends.
      if (!soloMode_) {
        if (group < 4) synthParts_[static_cast<size_t>(group)]->setParameter(i, on);
        else pcmParts_[static_cast<size_t>(group - 4)]->setParameter(i, on);
      }
      hand(on);
      return;
    }
    hand(group < 4 ? synthParts_[static_cast<size_t>(group)]->setParameter(i, value)
                   : pcmParts_[static_cast<size_t>(group - 4)]->setParameter(i, value));
    return;
  }
  switch (group) {
    case kPackedGroupAccent:
      if (index == 0 || index == 1) hand(accentLevels_->set(index, value));
      break;
    case kPackedGroupCrossRing: hand(crossRingSwitch_->set(0, value)); break;
    case kPackedGroupMaster:
      // Kept in the global settings (atomics), not in the record.
      if (index == 0 || index == 1) setMasterParameter(index, value);
      break;
    case kPackedGroupSequence:
      if (index >= 1 && index <= 3 && seq_) hand(seq_->setParam(index, value));
      break;
    case kPackedGroupEffect:
      if (index >= 0 && index <= 3) hand(multiEffector().setEffectParameter(index, value));
      break;
    case kPackedGroupCommand:
      if (index != kPackedSolo) break;
      // The sound follows at once; ending solo puts back the record's mutes
      // as the main thread last published them. The main thread repeats it
      // with the record itself, and keeps the solo flags, when it takes the
      // hand-off.
      if (value < 8) {
        soloMode_ = 1;
        muteAllParts();
        if (value < 4) synthParts_[static_cast<size_t>(value)]->setParameter(kMute, 0);
        else pcmParts_[static_cast<size_t>(value - 4)]->setParameter(kMute, 0);
      } else if (soloMode_) {
        soloMode_ = 0;
        const uint8_t mutes = recordMutes_.load(std::memory_order_relaxed);
        for (int p = 0; p < kNumParts; ++p) {
          const int32_t m = (mutes >> p) & 1;
          if (p < 4) synthParts_[static_cast<size_t>(p)]->setParameter(kMute, m);
          else pcmParts_[static_cast<size_t>(p - 4)]->setParameter(kMute, m);
        }
      } else {
        break;
      }
      hand(value);
      break;
    default: break;
  }
}

void Synth::adoptMidiParameterChanges() const {
  takeMidiParameterChanges();
  uint8_t mutes = 0;
  for (int p = 0; p < kNumParts; ++p)
    if (pattern_.synthParams[p].mute) mutes = static_cast<uint8_t>(mutes | (1u << p));
  recordMutes_.store(mutes, std::memory_order_relaxed);
}

void Synth::takeMidiParameterChanges() const {
  if (!midiParameterHandOff_.pending() || !midiParameterHandOff_.takeChanged()) return;
  // Read after the mark: a load that came before these values is seen. A
  // record loaded since the last adoption is taken first (at the next
  // call), and the values are then judged against it.
  if (stagedMiddle_.load(std::memory_order_acquire) & kFresh) {
    midiParameterHandOff_.keepChanged();
    return;
  }
  const uint16_t current = currentPatternIndex_.load(std::memory_order_relaxed);
  midiParameterHandOff_.scan([&](PackedParamId id, int32_t value, uint16_t pattern) {
    // A value set for a pattern that has since been replaced is obsolete.
    if (pattern != current) return;
    const int32_t group = packedGroup(id);
    const int32_t index = packedIndex(id);
    if (group >= 0 && group < kNumParts) {
      pattern_.synthParams[group][index] = value;
      return;
    }
    seqParams& s = pattern_.sequencerParams;
    switch (group) {
      case kPackedGroupAccent:
        if (index == 0) s.accentLevel = static_cast<int16_t>(value);
        else s.accentMotionType = static_cast<int16_t>(value);
        break;
      case kPackedGroupCrossRing: s.crossRingMod = static_cast<int16_t>(value); break;
      case kPackedGroupSequence:
        if (index == 1) s.swing = static_cast<int16_t>(value);
        else if (index == 2) s.lastStep = static_cast<int16_t>(value);
        else s.length = static_cast<int16_t>(value);
        break;
      case kPackedGroupEffect: {
        fxParams& fx = pattern_.effectParams[0];
        if (index == 0) fx.type = value;
        else if (index == 1) fx.edit1 = value;
        else if (index == 2) fx.edit2 = value;
        else fx.trigger = value;
        break;
      }
      case kPackedGroupCommand: {
        // Solo works on the sound objects and reads the record directly
        // (going through record() here would re-enter this hand-off).
        Synth* self = const_cast<Synth*>(this);
        if (value < 8) {
          self->soloMode_ = 1;
          self->setPartSolo(value, true, true);
        } else if (!soloMode_) {
          for (auto& f : self->soloFlags_) f.store(0, std::memory_order_relaxed);
          for (int p = 0; p < kNumParts; ++p) {
            const int32_t m = pattern_.synthParams[p].mute;
            if (p < 4) synthParts_[static_cast<size_t>(p)]->setParameter(kMute, m);
            else pcmParts_[static_cast<size_t>(p - 4)]->setParameter(kMute, m);
          }
        }
        break;
      }
      default: break;
    }
  });
}
