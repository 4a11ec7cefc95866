#include "audio/midi/midi_controller_output.h"

#include "engine/synth/synth.h"

MidiControllerOutput::MidiControllerOutput(Synth* synth, platform::MidiClient* client,
                                           platform::MidiEndpointRef destination, uint32_t controllerKind)
    : synth_(synth), client_(client), destination_(destination), controllerKind_(controllerKind) {
  if (!client_) return;
  platform::MidiPortRef port = 0;
  if (client_->createOutputPort("Output", &port) != platform::MidiStatus::Ok) return;
  outputPort_ = port;
  sendSetupSysEx(kNativeMode);
}

MidiControllerOutput::~MidiControllerOutput() {
  if (client_ && outputPort_) client_->disposePort(outputPort_);
}

void MidiControllerOutput::sendSetupSysEx(uint8_t mode) {
  if (controllerKind_ == kFaderController) sendFirstControllerSetup(mode);
  else if (controllerKind_ == kPadController) sendSecondControllerSetup(mode);
}

void MidiControllerOutput::sendFirstControllerSetup(uint8_t mode) { sendSetup(kFaderDeviceId, mode); }
void MidiControllerOutput::sendSecondControllerSetup(uint8_t mode) { sendSetup(kPadDeviceId, mode); }

void MidiControllerOutput::sendSetup(uint8_t deviceId, uint8_t mode) {
  for (uint8_t g = 0; g < 16; ++g) {
    const uint8_t message[11] = {0xF0, 0x42, static_cast<uint8_t>(0x40 + g), 0x00, 0x01, deviceId,
                                 0x00, 0x00, 0x00, mode, 0xF7};
    send(message, sizeof message);
  }
}

void MidiControllerOutput::sendControlChange(uint8_t control, uint8_t value) {
  const uint8_t message[3] = {kLampStatus, control, value};
  send(message, sizeof message);
}

void MidiControllerOutput::send(const uint8_t* bytes, size_t length) {
  if (!client_ || !outputPort_ || !destination_) return;
  if (client_->send(outputPort_, destination_, bytes, length) != platform::MidiStatus::Ok) ++failedSends_;
}

void MidiControllerOutput::setLayout(int32_t layout) {
  layoutIndex_.store(layout, std::memory_order_relaxed);
  blinkCountdown_.store(kBlinkRefreshes, std::memory_order_relaxed);
}

void MidiControllerOutput::sendLampIfChanged(uint8_t control, int32_t& last, int32_t value) {
  if (value == last) return;
  sendControlChange(control, static_cast<uint8_t>(value));
  last = value;
}

void MidiControllerOutput::sendChangedRow(uint8_t base, Row& last, const Row& values) {
  for (size_t i = 0; i < values.size(); ++i) {
    if (values[i] != last[i]) sendControlChange(static_cast<uint8_t>(base + i), static_cast<uint8_t>(values[i]));
  }
  last = values;
}

void MidiControllerOutput::refreshFirstController(int32_t layout) {
  if (controllerKind_ != kFaderController) return;
  int32_t play = kDark, rec = kDark, loop = kDark;
  if (synth_) {
    play = synth_->isPlaying() ? kLit : kDark;
    rec = synth_->isRecording() ? kLit : kDark;
    loop = synth_->seq() && synth_->seq()->isLoop() ? kLit : kDark;
  }
  sendLampIfChanged(kPlayControl, playLamp_, play);
  sendLampIfChanged(kRecControl, recLamp_, rec);
  sendLampIfChanged(kLoopControl, loopLamp_, loop);
  if (layout == 0) sendPartRowsLayout0();
  else if (layout == 1) sendPartRowsLayout1();
}

void MidiControllerOutput::sendPartRowsLayout0() {
  Row solo{}, mute{}, fx{};
  const PatternRecord* record = synth_ ? synth_->currentPattern() : nullptr;
  for (int p = 0; p < 8; ++p) {
    const size_t i = static_cast<size_t>(p);
    solo[i] = synth_ && synth_->isPartSolo(p) ? kLit : kDark;
    if (record) {
      mute[i] = record->synthParams[i].mute != 0 ? kLit : kDark;
      fx[i] = record->synthParams[i].fxSend != 0 ? kLit : kDark;
    }
  }
  sendRows(solo, mute, fx);
}

void MidiControllerOutput::sendPartRowsLayout1() {
  Row solo{}, mute{}, fx{};
  const uint32_t current = synth_ ? synth_->currentPart() : 8;
  if (current < 8) fx[current] = kLit;
  sendRows(solo, mute, fx);
}

void MidiControllerOutput::sendRows(Row solo, Row mute, Row fx) {
  const int32_t countdown = blinkCountdown_.load(std::memory_order_relaxed);
  if (countdown >= 1) {
    const int32_t k = countdown * 6 / 10;
    const bool lit = k % 2 == 1;
    const int32_t layout = layoutIndex_.load(std::memory_order_relaxed);
    mute.fill(lit && layout == 0 ? kLit : kDark);
    solo.fill(lit && layout == 1 ? kLit : kDark);
    fx.fill(kDark);
    blinkCountdown_.store(countdown - 1, std::memory_order_relaxed);
  }
  sendChangedRow(kSoloRowBase, soloRow_, solo);
  sendChangedRow(kMuteRowBase, muteRow_, mute);
  sendChangedRow(kFxRowBase, fxRow_, fx);
}

void MidiControllerOutput::refreshSecondController(int32_t scene) {
  if (controllerKind_ != kPadController) return;
  std::array<int32_t, 4> lamps{kDark, kDark, kDark, kDark};
  if (scene >= 1 && scene <= 4) lamps[static_cast<size_t>(scene - 1)] = kLit;
  if (lamps == sceneLamps_) return;
  for (size_t i = 0; i < lamps.size(); ++i) {
    if (lamps[i] != sceneLamps_[i]) sendControlChange(static_cast<uint8_t>(kSceneLampBase + i), static_cast<uint8_t>(lamps[i]));
  }
  sceneLamps_ = lamps;
}
