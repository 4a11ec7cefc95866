#pragma once
// The edit modes: one object per mode, each a Z31647State. The base class
// holds the default answer to every event the main view controller forwards
// (so the base class is the Normal mode's behaviour); a mode overrides only
// the handlers whose meaning it changes, and a handler replaced by an empty
// one means the event does nothing in that mode.
//
// Every handler takes the main view controller (EditModeHost) first and
// works only through it and the engine. Main thread only.

#include <cstdint>
#include <string>
#include <vector>

#include "modes/edit_mode_host.h"

// A part, accent or effect value received over MIDI while recording, written
// again at every interface tick until the sequence wraps.
struct MidiSynthParameterEvent {
  int32_t active;     // 1 while it is written at every tick
  int32_t part;       // 0-7, -1 accent; the effect set in the effect list
  int32_t parameter;  // part 0-12, accent 0-1, effect 0-2
  int32_t value;      // clamped to the parameter's range
};

class Z31647State {
 public:
  static constexpr size_t kSynthEventCapacity = 128;
  static constexpr size_t kFxEventCapacity = 8;

  Z31647State();
  virtual ~Z31647State() = default;
  Z31647State(const Z31647State&) = delete;
  Z31647State& operator=(const Z31647State&) = delete;

  // ---- tips (the balloons are never shown)
  virtual void openSubTipsView(EditModeHost* ctl, const platform::Rect& frame, const std::string& text);
  virtual void openTipsView(EditModeHost* ctl, const platform::Rect& frame, const std::string& text);
  virtual void dismissTipsView(EditModeHost* ctl);
  virtual void dismissSubTipsView(EditModeHost* ctl);

  // ---- mode and layer hooks (the mediator calls them)
  virtual void stateChanged(EditModeHost* ctl);
  virtual void stateWillBeLeft(EditModeHost* ctl);
  virtual void modeWillBeLeft(EditModeHost* ctl);
  virtual void modeChanged(EditModeHost* ctl);

  // ---- panel events
  virtual void seqButtonPushed(EditModeHost* ctl, TIButton* sender);
  virtual void seqButtonReleased(EditModeHost* ctl, TIButton* sender);
  virtual void partButtonPushed(EditModeHost* ctl, int32_t part);
  virtual void partButtonReleased(EditModeHost* ctl, int32_t part);
  virtual void synthParameterValueChanged(EditModeHost* ctl, TIControl* sender);
  virtual void effectParameterValueChanged(EditModeHost* ctl, TIControl* sender);
  virtual void valueEditAboutToStart(EditModeHost* ctl, TIControl* sender);
  virtual void valueEditFinished(EditModeHost* ctl, TIControl* sender);
  virtual void crossButtonPushed(EditModeHost* ctl, TIButton* sender);
  virtual void ringButtonPushed(EditModeHost* ctl, TIButton* sender);
  virtual void soloButtonPushed(EditModeHost* ctl, TIButton* sender);
  virtual void changePattern(EditModeHost* ctl, int32_t number);
  virtual void patternChanged(EditModeHost* ctl);
  virtual void pushSeqView(EditModeHost* ctl, int32_t page);
  virtual void shiftSeqView(EditModeHost* ctl, int32_t size);
  virtual void muteButtonPushedAtPatternSet(EditModeHost* ctl, TIButton* sender);
  virtual void fxSendButtonPushedAtPatternSet(EditModeHost* ctl, TIButton* sender);
  // Only the pattern-set mode acts on a slot chosen over MIDI.
  virtual void patternSetPatternChangedFromMidi(EditModeHost* ctl, uint32_t bank, uint32_t slot);
  virtual void dissolveViewControllerDidDismiss(void* viewController);

  // ---- redraw
  virtual void refreshPartView(EditModeHost* ctl);
  virtual void refreshSeqView(EditModeHost* ctl);
  virtual void refreshSynthView(EditModeHost* ctl);
  virtual void refreshEffectView(EditModeHost* ctl);

  // ---- play position (the interface tick)
  virtual void seqButtonTriggeredOnWhenStepChanged(EditModeHost* ctl, int32_t step);
  virtual void seqButtonTriggeredOffWhenStepChanged(EditModeHost* ctl);
  virtual void partButtonTriggeredOnWhenStepChanged(EditModeHost* ctl, int32_t step);
  virtual void partButtonTriggeredOffWhenStepChanged(EditModeHost* ctl);
  virtual void synthParameterChangedWhenStepChanged(EditModeHost* ctl, int32_t step);
  virtual void effectParameterChangedWhenStepChanged(EditModeHost* ctl, int32_t step);
  virtual void synthMotionRecording(EditModeHost* ctl);
  virtual void effectMotionRecording(EditModeHost* ctl);
  virtual void pollingInSeqStop(EditModeHost* ctl);

  // ---- engine events that came over MIDI
  virtual void synthNoteOnFromMidi(EditModeHost* ctl, int32_t part);
  virtual void synthNoteRecFromMidi(EditModeHost* ctl, int32_t part);
  virtual void synthNoteOffFromMidi(EditModeHost* ctl, int32_t part);
  virtual void synthParameterValueChangedFromMidi(EditModeHost* ctl, int32_t part, int32_t number, int32_t value);
  virtual void synthParameterMuteChangedFromMidi(EditModeHost* ctl, int32_t part, int32_t value);
  virtual void synthParameterRecFromMidi(EditModeHost* ctl, int32_t part, int32_t number, int32_t value);
  virtual void effecrParameterValueChangedFromMidi(EditModeHost* ctl, int32_t effect, int32_t number, int32_t value);
  virtual void effecrParameterRecFromMidi(EditModeHost* ctl, int32_t effect, int32_t number, int32_t value);
  virtual void partChangedFromMidi(EditModeHost* ctl, int32_t part);
  virtual void crossModChangedFromMidi(EditModeHost* ctl, int32_t type, bool value);
  virtual void soloStateChangedFromMidi(EditModeHost* ctl, int32_t part);
  virtual void recordingStatusChanged(EditModeHost* ctl, bool on);
  virtual void seqReturnedToTheBeginning(EditModeHost* ctl);

  const std::vector<MidiSynthParameterEvent>& synthEvent() const { return synthEvent_; }
  const std::vector<MidiSynthParameterEvent>& fxEvent() const { return fxEvent_; }

 protected:
  // Updates the record of (part, parameter) or appends one, active.
  static void rememberEvent(std::vector<MidiSynthParameterEvent>& list, size_t capacity, int32_t part,
                            int32_t parameter, int32_t value);
  // Writes every active MIDI record of synthEvent at the play position.
  void writeMidiSynthEvents(EditModeHost* ctl);
  // Cross and ring lamps from the pattern's cross/ring mode.
  static void refreshCrossRingButtons(EditModeHost* ctl);
  // Mute dimming of the eight part buttons from the pattern.
  static void dimPartsByMute(EditModeHost* ctl);

  std::vector<MidiSynthParameterEvent> synthEvent_;
  std::vector<MidiSynthParameterEvent> fxEvent_;
};

// The normal layer's base mode (index 0): its layer hook puts the normal
// faces on the function buttons.
class Z31647UiStateNormal : public Z31647State {
 public:
  void modeChanged(EditModeHost* ctl) override;
};

// The shift layer's base mode (index 6).
class Z31647UiStateShifted : public Z31647State {
 public:
  void modeChanged(EditModeHost* ctl) override;
  void modeWillBeLeft(EditModeHost* ctl) override;
  void stateChanged(EditModeHost* ctl) override;
  void stateWillBeLeft(EditModeHost* ctl) override;
  void soloButtonPushed(EditModeHost*, TIButton*) override {}
  void recordingStatusChanged(EditModeHost*, bool) override {}
  void synthNoteRecFromMidi(EditModeHost*, int32_t) override {}
  void synthParameterRecFromMidi(EditModeHost*, int32_t, int32_t, int32_t) override {}
  void effecrParameterRecFromMidi(EditModeHost*, int32_t, int32_t, int32_t) override {}
};
