#pragma once
// The sound engine: one object per process that owns everything that
// sounds and the pattern record that plays.
//
// Threads: render() and every SeqListener callback run on the audio thread.
// The control operations run on the main thread (and the MIDI thread for
// the MIDI handlers); they reach the audio side through atomics, the
// sequencer's command queue and the MIDI event queue, never by sharing
// unlocked state with render.

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>

#include "engine/interfaces/audio_io.h"
#include "engine/interfaces/data_provider.h"
#include "engine/interfaces/seq_listener.h"
#include "engine/interfaces/synth_listener.h"
#include "engine/interfaces/tempo_source.h"
#include "engine/record/pattern_record.h"
#include "engine/synth/accent_levels.h"
#include "engine/synth/cross_ring_switch.h"
#include "engine/synth/engine_event.h"
#include "engine/synth/master_stages.h"

class Synth : public AudioIOListener, public SeqListener, public TempoSource {
 public:
  static constexpr int32_t kBusFrames = 1024;
  static constexpr uint16_t kNoPattern = 512;

  // Creates the engine on the first call; later calls return it whatever
  // rate they pass. Main thread, start-up.
  static Synth* getInstance(float sampleRate);
  // The engine, or nullptr when none exists.
  static Synth* instance();
  // Destroys the engine; the next getInstance builds a new one.
  static void destroyInstance();

  ~Synth() override;

  // --- set-up (main thread) ---
  void setListener(SynthListener* listener) { listener_ = listener; }
  SynthListener* listener() const { return listener_; }
  void setDataProvider(DataProvider* provider) { dataProvider_ = provider; }
  DataProvider* dataProvider() const { return dataProvider_; }

  float sampleRate() const { return sampleRate_; }
  float referencePitch() const { return referencePitch_; }
  uint16_t currentPatternIndex() const { return currentPatternIndex_; }
  uint32_t currentPart() const { return currentPart_; }

  // The record that plays, edited in place by the interface.
  PatternRecord* currentPattern() { return &pattern_; }

  AccentLevels& accentLevels() { return *accentLevels_; }
  CrossRingSwitch& crossRingSwitch() { return *crossRingSwitch_; }
  MasterDrive& masterDrive() { return *masterDrive_; }
  MasterFader& masterFader() { return *masterFader_; }
  std::mutex& patternEditMutex() { return patternEditMutex_; }

  // Output-enable latch: the request byte is what the bounce asks for, the
  // output byte what the live render obeys; render copies request to output
  // at the end of every buffer.
  bool outputEnabled() const { return audioEnableOutput_.load(); }
  bool outputRequested() const { return audioEnableRequest_.load(); }

  // --- audio thread ---
  void render(AudioIO* io, int16_t** channels, int32_t frames) override;
  void pushEvent(uint32_t frame, uint32_t type, uint32_t a, uint32_t b) { events_.push(frame, type, a, b); }

  // --- SeqListener (audio thread) ---
  void stepTriggered(int32_t frame, int32_t part, bool accent) override;
  void motionValue(int32_t frame, ParamId id, int32_t value) override;
  void targetTriggered(int32_t frame, ParamId id) override;
  int32_t loadPattern(int32_t index, bool whilePlaying) override;
  void patternTop(int32_t startStep) override;
  void returnedToBeginning() override;
  void setTempo(int32_t tempoTenths) override;
  void tempoChanged() override;
  void playStateChanged(bool playing) override;
  void recordingStatusChanged(bool on) override;
  void patternSetSelected(uint16_t high, uint16_t low) override;
  void patternChanged(int32_t index) override;
  void stopCommandProcessed() override;
  void sequenceDidStart() override;
  void sequenceDidStop() override;
  void linkCountIn(int32_t ticksPerBar, int32_t tickIndex) override;
  void linkSessionTempoChanged(double sessionTempo) override;
  void linkEnabledChanged() override;
  void linkConnectedChanged() override;

  // --- TempoSource ---
  int32_t tempo() override;

  const EngineEventList& events() const { return events_; }
  int16_t* bus(int index) { return buses_[static_cast<size_t>(index)].get(); }

 private:
  explicit Synth(float sampleRate);

  float sampleRate_;
  float referencePitch_;
  std::unique_ptr<AccentLevels> accentLevels_;
  std::unique_ptr<CrossRingSwitch> crossRingSwitch_;
  uint32_t soloMode_ = 0;
  std::array<uint8_t, 8> soloFlags_{};
  uint16_t currentPatternIndex_ = kNoPattern;
  std::array<std::unique_ptr<int16_t[]>, 4> buses_;
  std::array<int16_t*, 4> busCursors_{};
  std::unique_ptr<int32_t[]> modulationBuffer_;
  SynthListener* listener_ = nullptr;
  std::unique_ptr<MasterDrive> masterDrive_;
  std::unique_ptr<MasterFader> masterFader_;
  DataProvider* dataProvider_ = nullptr;
  PatternRecord pattern_;
  std::atomic<uint8_t> audioEnableOutput_{1};
  std::atomic<uint8_t> audioEnableRequest_{1};
  EngineEventList events_;
  std::mutex patternEditMutex_;
  uint32_t currentPart_ = 0;
};
