#pragma once
// The main view controller as the edit modes see it: the one object every
// mode handler gets first. The modes reach the engine, the panel's controls,
// the LCD and the controller's own interface state only through it; they
// keep no copy of the pattern (they read the engine's current record in
// place and change it only through the engine).
//
// The main view controller implements it; tests of the modes implement it
// over a panel of their own. Main thread only. Every control pointer is
// owned by the panel and lives as long as the host; a pointer may be null
// where the panel has no such control.

#include <cstdint>
#include <string>

#include "platform/gfx/geometry.h"

class Synth;
class DataProvider;
class TIControl;
class TIButton;
class TIToggleButton;
class UIMultipleStateButton;
class UISliderButton;
class TISeqView;
class TIPartView;
class TILedView;
class LedMediator;
class RadioButtonMediator;
class LCDManager;
class ImageManager;
class TIStateMediator;

class EditModeHost {
 public:
  virtual ~EditModeHost() = default;

  // ---- engine and interface state
  virtual Synth* synth() const = 0;
  // The pattern store (number labels and names for the LCD).
  virtual DataProvider* dataProvider() const = 0;
  // The engine's current part; 0 without an engine.
  virtual uint32_t currentPart() const = 0;
  virtual void setCurrentPart(uint32_t part) = 0;
  virtual uint32_t currentFx() const = 0;
  virtual uint32_t currentSeqPage() const = 0;
  virtual uint32_t currentStepTwice() const = 0;
  virtual uint32_t recording() const = 0;
  // Also tells the LCD and the engine's record flags.
  virtual void setRecording(uint32_t value) = 0;
  virtual bool isOriginalValue() const = 0;
  virtual void setIsOriginalValue(bool v) = 0;
  virtual void setReadyToDisplayDefaultContent(bool v) = 0;
  virtual TIStateMediator& stateMediator() = 0;
  // The panel's images (the shared image manager); may be null in tests.
  virtual ImageManager* imageManager() const = 0;

  // ---- controls
  virtual TISeqView* seqView() const = 0;
  virtual TIPartView* partView() const = 0;
  virtual RadioButtonMediator* partButtonMediator() const = 0;
  virtual RadioButtonMediator* utilButtonMediator() const = 0;
  virtual LCDManager* lcdManager() const = 0;
  virtual LedMediator* ledMediatorSeq() const = 0;
  virtual LedMediator* ledMediatorCurrent() const = 0;
  virtual LedMediator* ledMediatorWaveLeds() const = 0;
  virtual LedMediator* ledMediatorMotionType() const = 0;
  virtual LedMediator* ledMediatorModType() const = 0;
  virtual UISliderButton* mainDial() const = 0;

  virtual UISliderButton* synthPitchKnob() const = 0;
  virtual UISliderButton* synthModDepthKnob() const = 0;
  virtual UISliderButton* synthModSpeedKnob() const = 0;
  virtual UISliderButton* synthDecayKnob() const = 0;
  virtual UISliderButton* synthLevelKnob() const = 0;
  virtual UISliderButton* synthPanKnob() const = 0;
  virtual UISliderButton* synthLowBoostKnob() const = 0;
  virtual UISliderButton* synthFxTypeKnob() const = 0;
  virtual UISliderButton* synthFxEdit1Knob() const = 0;
  virtual UISliderButton* synthFxEdit2Knob() const = 0;
  virtual UISliderButton* masterVolumeKnob() const = 0;
  virtual UIMultipleStateButton* synthWaveButton() const = 0;
  virtual UIMultipleStateButton* synthModTypeButton() const = 0;
  virtual UIMultipleStateButton* synthMotionSeqButton() const = 0;

  virtual TIButton* effectSendButton() const = 0;
  virtual TIButton* crossButton() const = 0;
  virtual TIButton* accentButton() const = 0;
  virtual TIButton* muteButton() const = 0;
  virtual TIButton* soloButton() const = 0;
  virtual TIButton* tapTempoButton() const = 0;
  virtual TIButton* patternSetButton() const = 0;
  virtual TIButton* ringButton() const = 0;
  virtual TIButton* stepJumpButton() const = 0;
  virtual TIButton* playButton() const = 0;
  virtual TIToggleButton* recordButton() const = 0;
  // An analytics event (the main screen's recorder).
  virtual void reportEvent(const std::string& name) = 0;
  // The caption strip under the function buttons (none on this panel).
  virtual void setFunctionCaption(const std::string& /*imageName*/) {}
  // A banner line over the panel (the main view controller's notification
  // message; `displayTimeIndex` picks how long it shows).
  virtual void sendNotificationMessage(const std::string& /*text*/, uint64_t /*displayTimeIndex*/ = 8) {}

  // ---- display (the LCD operations of the main screen)
  virtual void displayValue(const std::string& title, const std::string& value) = 0;
  virtual void displayValue(const std::string& title, const std::string& value, int64_t type) = 0;
  virtual void displayDefaultContent() = 0;
  virtual void updateSynthParameterDisplay(int32_t index, int32_t value) = 0;
  virtual void updateEffectParameterDisplay(int32_t index, int32_t value) = 0;

  // ---- value editing
  virtual std::string changeNameExpression(const TIControl* control) const = 0;
  virtual std::string changeValueExpression(const TIControl* control) const = 0;
  virtual bool isEqualValue(int32_t value, int32_t index, int32_t part) const = 0;
  virtual bool isEqualFxValue(int32_t value, int32_t index) const = 0;
  virtual bool isEqualAccentValue(int32_t value, int32_t index) const = 0;
  virtual void updateOriginalValueLed() = 0;
  virtual void copyPatternData() = 0;
  // The control that edits a part parameter 0-8, or null.
  virtual TIControl* getSynthParamController(int32_t index) const = 0;
  // The effect knob 0-2, or null.
  virtual UISliderButton* getEffectParamController(int32_t index) const = 0;

  // ---- routing back into the controller
  virtual void changeFunction(int64_t key) = 0;
  virtual void refreshPartView() = 0;
  virtual void refreshSeqView() = 0;
  virtual void refreshSynthView() = 0;
  virtual void refreshEffectView() = 0;
  // Lights or darkens step button `step` of the step view.
  virtual void setStep(int32_t step, bool active) = 0;
  virtual void refreshPlayButton(bool playing) = 0;
  virtual void playButWaitUntilCurrentPatternFinished(bool wait) = 0;
  // The controller's own touch-down actions, so that a mode that lends a
  // button to another group can take its action away and give it back.
  virtual void installFunctionAction(TIButton* button) = 0;
  virtual void removeFunctionAction(TIButton* button) = 0;
  virtual void installPartAction(TIButton* button) = 0;
  virtual void removePartAction(TIButton* button) = 0;
};
