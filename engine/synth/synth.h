#pragma once
// The sound engine: one object per process that owns everything that
// sounds and the pattern record that plays.
//
// Threads
// - Audio thread: render(), renderBlock() and every SeqListener callback.
//   Real-time: nothing there allocates, blocks or touches a file.
// - Main thread: the control operations. They write the engine's record and
//   the sequencer's tracks together, so the record is always what plays.
//   The record belongs to the main thread: the render side never writes it.
//   A pattern it loads, and the tempo a stop puts back, travel through a
//   wait-free hand-off that the main thread takes at the start of its next
//   operation on the record (currentPattern() included).
//   Parameter values reach the audio side through the voices' and effects'
//   own hand-offs and atomics; transport and pattern changes go through the
//   sequencer's command queue; live triggers through the event queue.
//   The voices' own state (freeze, reset, silence at a load or an output
//   resume) is never written here: it is asked of the next render block.
// - The step/motion edits marked "locked" hold patternEditMutex.
// Operations that forward to the sequencer do nothing (or answer 0) while
// the engine has no sequencer, which only happens during construction.

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>

#include "engine/effects/multi_effector.h"
#include "engine/interfaces/audio_io.h"
#include "engine/interfaces/audio_output_engine.h"
#include "engine/interfaces/data_provider.h"
#include "engine/interfaces/pattern_library_observer.h"
#include "engine/interfaces/recording_source.h"
#include "engine/interfaces/seq_listener.h"
#include "engine/interfaces/synth_listener.h"
#include "engine/interfaces/tempo_source.h"
#include "engine/midi/midi_parameter_hand_off.h"
#include "engine/midi/packed_param_id.h"
#include "engine/randomizer/pattern_randomizer.h"
#include "engine/record/pattern_record.h"
#include "engine/seq/seq.h"
#include "engine/synth/accent_levels.h"
#include "engine/synth/cross_ring_switch.h"
#include "engine/synth/engine_event.h"
#include "engine/synth/engine_event_queue.h"
#include "engine/synth/master_stages.h"
#include "engine/voices/pcm_part.h"
#include "engine/voices/synth_part.h"

// Besides its three faces for the audio output, the sequencer and the tempo
// readers, the engine is what the WAV recorder bounces (RecordingSource) and
// what the audio output starts, stops and resets (AudioOutputEngine).
class Synth : public AudioIOListener,
              public SeqListener,
              public TempoSource,
              public RecordingSource,
              public AudioOutputEngine,
              public PatternLibraryObserver {
 public:
  static constexpr int32_t kBusFrames = 1024;
  static constexpr uint16_t kNoPattern = 512;

  // Creates the engine on the first call; later calls return it whatever
  // rate they pass. Main thread, start-up. `services` reach the sequencer
  // (clock, MIDI clock tracker, Link); tests pass fakes.
  static Synth* getInstance(float sampleRate, SeqServices services = {});
  // The engine, or nullptr when none exists.
  static Synth* instance();
  // Destroys the engine; the next getInstance builds a new one.
  static void destroyInstance();

  ~Synth() override;

  // --- set-up (main thread) -------------------------------------------------
  void setListener(SynthListener* listener) { listener_ = listener; }
  SynthListener* listener() const { return listener_; }
  // Also where the sequencer fetches pattern changes from.
  void setDataProvider(DataProvider* provider);
  DataProvider* dataProvider() const { return dataProvider_; }

  float sampleRate() const override { return sampleRate_; }
  float referencePitch() const { return referencePitch_; }
  uint16_t currentPatternIndex() const { return currentPatternIndex_.load(std::memory_order_acquire); }
  // Only the number changes, with no reload and no report. Main thread.

  // --- library changes (main thread; the pattern store calls them) ----------
  // A waiting pattern change to a saved or initialized number plays the
  // saved record; a move renumbers the playing record and every waiting
  // change at once (so a save of the playing pattern goes to the number its
  // record has now); a replaced library drops every waiting change.
  void libraryStoredPattern(int32_t index) override;
  void libraryMovedPattern(int32_t from, int32_t to) override;
  void libraryRenumberedPatterns(const std::vector<int32_t>& numberOf) override;
  void libraryReplacedPatterns() override;

  // The record that plays, edited in place by the interface.
  // Main thread (or the bounce's thread). Takes what the render side loaded.
  PatternRecord* currentPattern() override { return &record(); }
  Seq* seq() { return seq_.get(); }
  SynthPart& synthPart(int i) { return *synthParts_[static_cast<size_t>(i)]; }
  PcmPart& pcmPart(int i) { return *pcmParts_[static_cast<size_t>(i)]; }
  Z5518MultiEffector& multiEffector() { return multiEffector_[0]; }
  AccentLevels& accentLevels() { return *accentLevels_; }
  CrossRingSwitch& crossRingSwitch() { return *crossRingSwitch_; }
  MasterDrive& masterDrive() { return *masterDrive_; }
  MasterFader& masterFader() { return *masterFader_; }
  Z31647PatternRandomizer& randomizer() { return *randomizer_; }
  std::mutex& patternEditMutex() { return patternEditMutex_; }
  EngineEventQueue& midiEventQueue() { return midiEventQueue_; }

  // --- render (audio thread) ------------------------------------------------
  // Live entry: silence while the output byte of the latch is clear; then
  // the output byte takes the request byte.
  void render(AudioIO* io, int16_t** channels, int32_t frames) override;
  // One block; longer requests are cut into calls of at most kBusFrames,
  // each seeing the host time of its own first frame. The bounce calls it
  // directly with no io.
  void renderBlock(AudioIO* io, int16_t** out, int32_t frames) override;
  void pushEvent(uint32_t frame, uint32_t type, uint32_t a, uint32_t b) { events_.push(frame, type, a, b); }
  void applyEvent(const EngineEvent& e);
  void applyParameterValue(ParamId id, int32_t value);
  void applyParameterRelease(ParamId id);
  // MIDI-originated events (types 0 and 6).
  void applyControlChange(uint32_t control, uint32_t value);
  void triggerPartFromMidi(uint32_t part, uint32_t velocity);
  // Moves the queued MIDI and live-trigger entries due in the slice into the
  // event list.
  void applyQueuedMidiEvents(AudioIO* io, int32_t sliceStart, int32_t sliceLength);
  // Any thread but the audio thread.
  void pushMidiEvent(uint64_t hostTime, uint32_t kind, uint32_t a, uint32_t b);

  // Output-enable latch: the request byte is what the bounce asks for, the
  // output byte what the live render obeys.
  bool outputEnabled() const { return audioEnableOutput_.load(); }
  bool outputRequested() const { return audioEnableRequest_.load(); }

  // --- bounce (bounce thread) -----------------------------------------------
  // Takes the engine away from the live output: from here on the live render
  // plays silence. Waits only for a live render call already in progress to
  // finish (so it returns at once when no live output runs); then runs the
  // sequencer commands that are due and resets voices, motion values, noise
  // and effects, so that the bounce plays the pattern as loaded. Queued
  // MIDI and live triggers are not played into the bounce. False only when
  // that render did not finish within half a second, and then the engine is
  // left as it was.
  bool beginBounce() override;
  // Resets voices and effects, drops the MIDI and live triggers queued
  // meanwhile, and hands the engine back: the live output returns at the
  // buffer after the next one.
  void endBounce() override;
  uint32_t bounceLength() override;
  void startForBounce(uint64_t time) override;
  void stopPlayback(uint64_t time) override;

  // --- parameters (main thread) ---------------------------------------------
  // Parts 0-7, index 0-12; other parts are rejected (answer 0, nothing written).
  int32_t setPartParameter(int32_t part, int32_t index, int32_t value);
  int32_t partParameter(int32_t part, int32_t index) const;
  // Effect set 0, index 0 type, 1-2 edits, 3 on/off; other sets are rejected.
  int32_t setEffectParameter(int32_t set, int32_t index, int32_t value);
  int32_t setAccentParameter(int32_t index, int32_t value);
  int32_t setCrossRingMod(int32_t mode);
  // which 0 "Master Volume", 1 "Tube Gain"; values above 127 are clamped.
  int32_t setMasterParameter(int32_t which, int32_t value);
  int32_t masterParameter(int32_t which) const;
  void setTempoFromUi(int32_t tempoTenths);
  int32_t setSwing(int32_t value);
  int32_t setPatternLength(int32_t value);
  int32_t setLastStep(int32_t value);
  int32_t swing() const { return record().sequencerParams.swing; }
  int32_t patternLength() const { return record().sequencerParams.length; }
  int32_t lastStep() const { return record().sequencerParams.lastStep; }
  void applyPartParameters(const synthParams* rows);

  // --- mute and solo --------------------------------------------------------
  int32_t setPartMute(int32_t part, int32_t on);
  void setSoloMode(bool on);
  bool soloMode() const { return soloMode_ != 0; }
  void setPartSolo(int32_t part, bool on, bool muteAllFirst);
  bool isPartSolo(int32_t part) const;
  void muteAllParts();

  // --- patterns ---------------------------------------------------------------
  void reloadPattern();
  void initializePattern();
  void setPatternRecord(const PatternRecord* source);
  void patternTagStored();
  bool restoreEditBuffer();
  void storeEditBuffer();
  int32_t changePatternSilently(int32_t index);
  int32_t pendingPattern() const;
  // Queues a change to pattern `index` (bounded by the provider's count).
  bool changePattern(int32_t index);
  // Render side (the audio thread, or the bounce's while it holds the
  // engine): knob values over the motion values, send gains at once.
  void resetVoices();
  // Silences every voice and clears the effects at the start of the next
  // render block (the output resuming). Any thread.
  void resetSound() override;

  // --- steps and accent -------------------------------------------------------
  void setStep(int32_t part, int32_t step, bool on);
  bool step(int32_t part, int32_t step) const;
  void clearPartSteps(int32_t part);
  bool isPartEmpty(int32_t part) const;
  void copyBar(int32_t sourceBar, int32_t destinationBar);
  void setAccentStep(int32_t step, bool on);
  bool accentStep(int32_t step) const;
  void fillAccent();  // locked
  bool isAccentFull() const;
  void shiftPartSteps(int32_t part, int32_t offset);   // locked
  void shiftAccentSteps(int32_t offset);               // locked
  void shiftEffectMotion(int32_t set, int32_t offset);  // locked
  void startStepJump(int32_t step, bool on);
  void endStepJump();

  // --- motion ---------------------------------------------------------------
  void setMotionStep(ParamId id, int32_t step, int32_t value, int32_t trigger);
  // False when the identifier or step is out of range.
  bool motionStep(ParamId id, int32_t step, bool* trigger, int32_t* value, bool* enabled) const;
  void valueEditStarted(ParamId id);
  void valueEditFinished(ParamId id);
  void clearMotion(ParamId id);                               // locked
  void copyMotionBar(int32_t sourceBar, int32_t destinationBar);  // locked per slot
  bool hasMotion(ParamId id) const;
  bool partMotionType(int32_t part) const;
  bool accentMotionType() const { return record().sequencerParams.accentMotionType != 0; }
  void fillEffectSwitchMotion(int32_t set);  // locked
  bool isEffectSwitchMotionFull(int32_t set);

  // --- randomizer hand-off ----------------------------------------------------
  void randomizePartSteps(int32_t part, seqParams* params);
  void randomizeCurrentPartSteps(int32_t part) { randomizePartSteps(part, &record().sequencerParams); }
  void randomizePartSound(int32_t part, PatternRecord* record);
  void randomizeCurrentPartSound(int32_t part) { randomizePartSound(part, &record()); }
  void setRandomizeAmount(int32_t id, int32_t value);

  // --- live play, transport, queries ------------------------------------------
  // Sounds the part in the next render block, always accented.
  void triggerPartLive(int32_t part);
  void startSequencer(uint64_t hostTime) override;
  void stopSequencer(uint64_t hostTime) override;
  void setLoop(bool on);
  void setPatternSetMode(bool on);
  bool isPlaying() override { return seq_ && seq_->isPlaying(); }
  // Half steps 0-127 when fine, else steps.
  int32_t currentStep(bool fine) const;
  bool isInternalClock() const { return !seq_ || seq_->isInternalClock(); }
  bool isBeatLit() const { return seq_ && seq_->isBeatLit(); }
  void setCurrentPart(uint32_t part) { currentPart_.store(part, std::memory_order_relaxed); }
  uint32_t currentPart() const { return currentPart_.load(std::memory_order_relaxed); }

  // --- Link pass-throughs -------------------------------------------------------
  void suspendLink() override;
  void resumeLink() override;
  bool isLinkEnabled() override { return seq_ && seq_->isLinkEnabled(); }
  bool isLinkConnected() const { return seq_ && seq_->isLinkConnected(); }
  void linkStart(uint64_t hostTime) override;
  void linkStop(uint64_t hostTime) override;
  void setLinkTempo(double bpm);
  double linkTempo();
  int64_t linkTick() const { return seq_ ? seq_->linkTick() : 0; }
  float linkPhase() const { return seq_ ? seq_->linkPhase() : 0.0f; }
  LinkKit* linkHandle() const { return seq_ ? seq_->linkHandle() : nullptr; }


  // --- MIDI input (MIDI thread, unless marked) --------------------------------
  // The engine listens on one channel and plays parts by the note map.
  struct MidiNoteMap {
    uint32_t midiChannel = 9;
    std::array<uint32_t, 8> partNotes{36, 38, 40, 41, 42, 46, 49, 39};
  };
  // The pattern number of (slot, bank) in the pattern sets; given by the
  // library, which the engine does not depend on. Runs on the MIDI thread.
  using PatternSetLookup = std::function<int32_t(int32_t slot, int32_t bank)>;
  void setPatternSetLookup(PatternSetLookup lookup) { patternSetLookup_ = std::move(lookup); }
  void resetMidiNoteMap() { midiNoteMap_ = MidiNoteMap{}; }
  void resetMidiControlMap() { midiControlMap_ = makeMidiControlMap(); }
  const MidiNoteMap& midiNoteMap() const { return midiNoteMap_; }
  const MidiControlMap& midiControlMap() const { return midiControlMap_; }
  // A complete message from a source that is not a supported controller.
  void handleMidiMessage(uint64_t hostTime, const uint8_t* bytes, size_t length);
  void handleNoteOn(uint64_t hostTime, uint32_t channel, uint32_t note, uint32_t velocity);
  void handleControlChange(uint64_t hostTime, uint32_t channel, uint32_t control, uint32_t value);
  void selectPatternFromMidi(uint64_t hostTime, int32_t bank, int32_t slot);
  // The supported controllers' messages (3 bytes; others are ignored).
  void handleFaderControllerInput(int32_t layout, uint64_t hostTime, const uint8_t* bytes, size_t length);
  bool handleControllerTransport(uint64_t hostTime, const uint8_t* bytes, size_t length);
  void handleFaderControllerLayout0(uint64_t hostTime, const uint8_t* bytes, size_t length);
  void handleFaderControllerLayout1(uint64_t hostTime, const uint8_t* bytes, size_t length);
  void toggleMuteFromController(uint64_t hostTime, int32_t part, uint32_t value);
  void toggleEffectSendFromController(uint64_t hostTime, int32_t part, uint32_t value);
  void handlePadControllerMessage(int32_t scene, uint64_t hostTime, const uint8_t* bytes, size_t length);
  // Main thread: the engine operation behind a packed identifier; negative
  // identifiers and unknown groups do nothing.
  void setParameterById(PackedParamId id, int32_t value);
  // The same, for callers that hold it as a plain function.
  static void setParameterByIdOf(Synth* synth, PackedParamId id, int32_t value) {
    if (synth) synth->setParameterById(id, value);
  }
  // Render side (event types 0 and 1): the value into the sound at once and,
  // through a hand-off, into the main thread's record.
  void applyParameterFromMidi(PackedParamId id, int32_t value);
  // The sequencer's recording flag as it last reported it.
  bool isRecording() const { return recording_.load(std::memory_order_relaxed); }
  // The panel's Rec state: the record-armed flag (the controllers' Rec lamp)
  // and the sequencer's recording flag (what a controller's Rec button
  // toggles) both become `on` at once. Neither posts a sequencer command
  // nor tells the listener: the panel already knows.
  void setRecordArmed(bool on) {
    recordArmed_.store(on, std::memory_order_relaxed);
    recording_.store(on, std::memory_order_relaxed);
  }
  bool isRecordArmed() const { return recordArmed_.load(std::memory_order_relaxed); }

  // --- SeqListener (audio thread) -------------------------------------------
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

  // --- TempoSource ------------------------------------------------------------
  int32_t tempo() override;

  const EngineEventList& events() const { return events_; }
  int16_t* bus(int index) { return buses_[static_cast<size_t>(index)].get(); }
  // Pattern loads the render thread had to skip because no record had been
  // fetched for them (should stay 0).
  uint64_t skippedLoads() const { return skippedLoads_.load(std::memory_order_relaxed); }

 private:
  // A library move or re-sort: the playing record and every waiting change
  // take their record's new number.
  void renumberPatterns(const std::function<int32_t(int32_t)>& numberOf);
  Synth(float sampleRate, SeqServices services);

  void renderSlice(AudioIO* io, int32_t offset, int32_t n);
  void renderParts(int32_t pos, int32_t frames);
  void triggerPart(uint32_t part, int32_t velocity);
  void applyPattern(PatternRecord& record);
  // Load steps 6-9 on `record`: the engine's own on the main thread, the
  // hand-off's back slot on the render side, which is then published before
  // the observer hears of the change. `index` (when given) becomes the
  // current pattern once the record is published, never before: a reader
  // that sees the new index reads the new record.
  // Each part's noise generator from its own fixed seed (two noise-modulated
  // parts differ): at construction, and at each bounce, so that a bounce of
  // a pattern is the same whatever played before it.
  void seedNoise();
  void freezeForLoad();
  void finishLoad(PatternRecord& record, bool publishFromRender = false, int32_t index = -1);
  // Voice state (the parts' plain fields, the effects' running state) is
  // written by the render side alone. What the main thread needs done to it
  // is asked for here and done by whoever renders the next block: the live
  // output, or the bounce, which also does it when it takes the engine.
  // Requests of the same kind merge; none is ever lost.
  enum VoiceWork : uint32_t { kFreezeVoices = 1, kResetVoices = 2, kSilenceVoices = 4 };
  void askVoiceWork(uint32_t work);
  void doVoiceWork();
  void publishStagedRecord();
  // Sequencer BPM and pattern tempo, the record's tempo and the effect tempo.
  void applyTempo(PatternRecord& record, int32_t tempoTenths);
  // The main thread's record, brought up to date with the render side.
  PatternRecord& record() const {
    adoptRenderChanges();
    return pattern_;
  }
  void adoptRenderChanges() const;
  // Main thread: the record writes of MIDI values the render side applied.
  void adoptMidiParameterChanges() const;
  void takeMidiParameterChanges() const;
  void sendFromController(uint64_t hostTime, PackedParamId id, int32_t value);
  void startFromMidi(uint64_t hostTime);
  void stopFromMidi(uint64_t hostTime);
  bool tempoLocked() const;
  // Rotation over the pattern's active steps, as the sequencer's tracks do.
  template <typename T>
  void rotateActiveSteps(T* row, int32_t offset) const;
  void shiftMotionSlot(ParamId id, int32_t offset);

  float sampleRate_;
  float referencePitch_;
  std::array<std::unique_ptr<SynthPart>, 4> synthParts_;
  std::array<std::unique_ptr<PcmPart>, 4> pcmParts_;
  std::unique_ptr<AccentLevels> accentLevels_;
  std::unique_ptr<CrossRingSwitch> crossRingSwitch_;
  // Read by a pattern load on the audio thread.
  std::atomic<uint32_t> soloMode_{0};
  // Read on the MIDI thread by the fader controller's solo buttons.
  std::array<std::atomic<uint8_t>, 8> soloFlags_{};
  std::atomic<uint16_t> currentPatternIndex_{kNoPattern};
  std::array<std::unique_ptr<int16_t[]>, 4> buses_;
  std::array<int16_t*, 4> busCursors_{};
  std::unique_ptr<int32_t[]> modulationBuffer_;
  std::unique_ptr<Seq> seq_;
  SynthListener* listener_ = nullptr;
  Z5518MultiEffector multiEffector_[1];
  std::unique_ptr<MasterDrive> masterDrive_;
  std::unique_ptr<MasterFader> masterFader_;
  DataProvider* dataProvider_ = nullptr;
  // Main thread; mutable because reading it first takes the hand-off.
  mutable PatternRecord pattern_;
  // The render side's hand-off of loaded records: a triple buffer. The
  // render side fills the back slot and swaps it with the middle one
  // (marked fresh); the main thread swaps a fresh middle with its front
  // slot and copies that. Neither side waits.
  static constexpr uint8_t kFresh = 0x80;
  mutable std::array<PatternRecord, 3> staged_{};
  mutable std::atomic<uint8_t> stagedMiddle_{1};
  uint8_t stagedBack_ = 0;           // render side
  mutable uint8_t stagedFront_ = 2;  // main thread
  // A tempo the render side wrote back (at a stop) after its last load; -1
  // when none is waiting.
  mutable std::atomic<int32_t> renderTempo_{-1};
  // The record's tempo as the render side and the tempo readers see it.
  std::atomic<int32_t> recordTempo_{0};
  std::unique_ptr<Z31647PatternRandomizer> randomizer_;
  std::atomic<uint8_t> audioEnableOutput_{1};
  std::atomic<uint8_t> audioEnableRequest_{1};
  // Set while a live render() call runs; with the output byte it lets the
  // bounce know when no live render can touch the engine any more.
  std::atomic<bool> inLiveRender_{false};
  // Set while the bounce's thread holds the engine (between the live
  // render letting go and the end of the bounce; the latch orders it with
  // the live render). Queued MIDI and live triggers are then not played:
  // they were meant for the live output, and go at the bounce's end.
  bool bounceHoldsEngine_ = false;
  EngineEventList events_;
  EngineEventQueue midiEventQueue_;
  std::mutex patternEditMutex_;
  std::atomic<uint32_t> currentPart_{0};
  std::atomic<uint64_t> skippedLoads_{0};
  std::atomic<uint32_t> voiceWork_{0};
  MidiNoteMap midiNoteMap_;
  MidiControlMap midiControlMap_ = makeMidiControlMap();
  PatternSetLookup patternSetLookup_;
  mutable MidiParameterHandOff midiParameterHandOff_;
  std::atomic<bool> recording_{false};
  std::atomic<bool> recordArmed_{false};
  // The record's Mute flags (bit per part) as of the main thread's last
  // engine call: what the controllers' mute buttons read on the MIDI thread
  // in solo mode, where the voices' mutes are solo's, not the record's.
  mutable std::atomic<uint8_t> recordMutes_{0};
};
