#pragma once
// The main view controller: the front panel and the hub the edit modes call
// back into.
//
// It builds the panel once when its view loads (every control in code, at
// fixed positions of one 736 × 414 canvas that is scaled to the screen's
// width), owns the edit-mode mediator and hands every editing event of the
// panel and of the engine to the current mode with itself as the first
// argument. Of its own it keeps only the transport buttons, the main dial
// (tempo or pattern), the LCD texts, the value-editing support (the pattern
// as loaded, for the original-value lamp) and three repeating timers:
// 0.05 s interface tick, 0.1 s controller lamps, 0.5 s (does nothing).
//
// It observes the engine's notifications only while its view is on screen.
// Main thread only.

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>

#include "app/tutorial_services.h"
#include "engine/record/pattern_record.h"
#include "modes/edit_mode_host.h"
#include "modes/ti_state_mediator.h"
#include "platform/notify/notification_center.h"
#include "platform/runloop/run_loop.h"
#include "platform/ui/view_controller.h"

namespace platform {
class Button;
class ImageView;
class Control;
}  // namespace platform

class UILCDView;
class RibbonInterfaceController;
class GBXMenuBarViewController;
class GBXSeqPreCountView;
class GBXSeqCountView;
class TITouchFrequencyCountButton;
class TINotificationViewController;

// Function-button index: the key of a function button in the function
// buttons' group (equal to its tag), which with the layer selects the mode.
using FunctionButtonIndex = int64_t;

class Z31647ViewController : public platform::ViewController,
                             public EditModeHost,
                             public GBXTutorialViewControllerDelegate,
                             public platform::PopoverPresentationControllerDelegate {
 public:
  // The canvas of the panel, in points.
  static constexpr double kCanvasWidth = 736.0;
  static constexpr double kCanvasHeight = 414.0;
  static constexpr double kTickInterval = 0.05;
  static constexpr double kMidiInterval = 0.1;
  static constexpr double kTransportInterval = 0.5;

  // initWithNibName:bundle: with no interface file.
  Z31647ViewController();
  ~Z31647ViewController() override;

  void setSynth(Synth* synth) { synth_ = synth; }
  // The application's save of its whole working state, which screens that
  // back up the library run first; false when something was not written
  // (or nothing is set).
  void setStoreDataAction(std::function<bool()> action) { storeDataAction_ = std::move(action); }
  bool storeData() { return storeDataAction_ ? storeDataAction_() : false; }
  // The user defaults of the program ("app_launched"); the standard ones
  // until set.
  void setUserDefaults(platform::UserDefaults* defaults) { defaults_ = defaults; }
  // Stops the timers and observations and lets go of the engine (the
  // program is about to delete it).
  void releaseEngine();

  // ---- view lifecycle
  void viewDidLoad() override;
  void setupAdditionalViews();
  void viewWillLayoutSubviews() override;
  void viewWillAppear(bool animated) override;
  void viewDidAppear(bool animated) override;
  void viewDidDisappear(bool animated) override;
  unsigned supportedInterfaceOrientations() const override { return 24; }
  void detachViewController(platform::ViewController* child);

  // ---- forwarded panel actions
  void setNote(TIButton* button);
  void seqButtonReleased(TIButton* button);
  void selectPart(TIButton* button);
  void partButtonReleased(TIButton* button);
  void setParameter(TIControl* control);
  void setFxParameter(TIControl* control);
  void seqPageButtonPushed(platform::Control* button);
  void changePattern(int32_t number);
  void refreshPartView() override;
  void refreshSeqView() override;
  void refreshSynthView() override;
  void refreshEffectView() override;

  // ---- mode switching
  void changeFunctionState(TIButton* button);
  void changeFunction(FunctionButtonIndex key) override;
  // The shift button: toggles the layer.
  void changeState(TIButton* button);
  void setMasterParameter(TIControl* knob);
  void setStep(int32_t step, bool active) override;

  // ---- engine notifications
  void patternChanged();
  void synthTriggeredOn(int32_t part);
  void synthTriggeredOff(int32_t part);
  void synthParameterChangedFromMidi(int64_t parameterId, int32_t value);
  void recordingStatusChanged();
  void notifyPatternSetChangedFromMidi(uint32_t number);
  void notifyPatternChangedFromMidi(int32_t patternNumber);
  void currentPartChangedFromMidi(int32_t partNumber);
  void seqPageShiftedFromMidi(int32_t offset);
  void patternTagInfoDidUpdate();
  void seqReturnedToTheBeginning();
  void sequenceDidStart();
  void sequenceDidStop();
  void patternStored(int32_t patternNumber);
  void patternTagStored(int32_t patternNumber);
  void patternOrderChanged(int32_t from, int32_t to);
  void randomizePurged();

  // Operations nothing in the system calls; each does what it says.
  void synthButtonDoubleTapped(TIControl* control);
  void effectButtonDoubleTapped(TIControl* control);
  void revertParameter(int32_t, int32_t) {}
  void mainDialValueWillChange(UISliderButton* dial);
  void jumpSeqPage(TIControl* control);
  void jumpSeqPageRelative(TIControl* control);
  void stopPattern();

  // ---- transport
  void startSeq();
  void stopSeq();
  void play(TIButton* sender);
  void playButWaitUntilCurrentPatternFinished(bool wait) override;
  void stopButtonDown(TIButton* sender);
  void stopButtonUp(TIButton* sender);
  void record(TIButton* sender);
  void refreshPlayButton(bool playing) override;
  void loop(TIButton* sender);
  void timerFired();
  void timerFiredForAudioTransport() { updateAudioCounter(); }
  void timerFiredMidi();
  void updateAudioCounter() {}
  void addObserver();
  void removeObserver();
  void applicationDidEnterBackground() { suspendIdleTimer(); }
  void applicationWillEnterForeground();
  void resumeIdleTimer();
  void suspendIdleTimer();
  static uint64_t playButtonBlinkCounter();

  // ---- tutorial and menu bar
  void startTutorialOnFirstLaunch();
  void startTutorial();
  void tutorialEnded(platform::ViewController* tutorial) override;
  void setupMenuBar();
  // The frames of the menu bar and the Link views, again at every layout pass.
  void layoutOverlays();
  platform::Rect menuBarFrame(bool shown) const;

  // ---- main dial, tempo, value display
  void changeMainDialTarget(TIButton* sender);
  void refreshMainDial();
  void mainDialValueChanging(UISliderButton* dial);
  void mainDialValueChanged(UISliderButton* dial);
  void setTempoByMainDial(double bpm);
  static double retrieveTempoMin();
  static double retrieveTempoMax();
  static double retrieveTempoMaxForAbletonLink();
  void abletonLinkSyncTempoChanged();
  // Tap tempo and the settings screen's tempo slider (beats per minute).
  void changeTempo(TIControl* sender, double bpm);
  void changeSwing(double value);
  void changeLength(double value);
  void changeLastStep(double value);
  void displayValueAsInteger(const std::string& title, int64_t value);
  void displayValue(const std::string& title, const std::string& value) override;
  void displayValue(const std::string& title, const std::string& value, int64_t type) override;
  void displayValueAsInteger(const std::string& title, int64_t value, int64_t type);
  void displayTempo();
  void displayTapTempo();
  void displayTempoWithTitle(const std::string& title, int64_t type);
  void displayDefaultContent() override;
  void sendNotificationMessage(const std::string& text, uint64_t displayTimeIndex = 8);
  void updateSynthParameterDisplay(int32_t index, int32_t value) override;
  void updateEffectParameterDisplay(int32_t index, int32_t value) override;
  void updateMasterParameterDisplay(int32_t index, int32_t value);
  static int64_t calcTubeValue(int64_t v) { return v * 10 / 128 + 1; }

  // ---- value editing support
  void valueEditAboutToStart(TIControl* control);
  void valueEditFinished(TIControl* control);
  void copyPatternData() override;
  const PatternRecord& patternData() const { return patternData_; }
  bool isEqualValue(int32_t value, int32_t index, int32_t part) const override;
  bool isEqualFxValue(int32_t value, int32_t index) const override;
  bool isEqualAccentValue(int32_t value, int32_t index) const override;
  void updateOriginalValueLed() override;
  std::string changeNameExpression(const TIControl* control) const override;
  std::string changeValueExpression(const TIControl* control) const override;
  TIButton* getPartButton(int32_t part) const;
  TIControl* getSynthParamController(int32_t index) const override;
  UISliderButton* getEffectParamController(int32_t index) const override;

  // ---- panel commands
  void doCross(TIButton* sender);
  void doSolo(TIButton* sender);
  void doRing(TIButton* sender);
  void doPatternSetMute(TIButton* sender);
  void doPatternSetFxSend(TIButton* sender);
  void seqPageChanged();
  void stepChanged();
  void stepJumpButtonPushed(TIButton* button);
  void initializeButtonPushed();
  void programButtonPushed(platform::Control* sender);
  void changeTempoLock(bool on);
  void changeKnobMode(int64_t mode);
  void changeGridMode(int64_t mode);
  void changeBackgroundAudioSwitch(bool on);
  void initializeAllPattern();
  void reloadPattern();
  void setRecording(uint32_t value) override;
  // ---- menu bar
  // The screens the menu bar (and the LCD and save button, for the browser)
  // open belong to other subsystems, which install them here; a screen not
  // installed opens nothing. The sender is the anchor of a popover (null
  // from the LCD and the save button).
  enum class MenuBarItem { Browser, Settings, Export, File, Help };
  using MenuBarAction = std::function<void(platform::Button* sender)>;
  void setMenuBarAction(MenuBarItem item, MenuBarAction action);
  void openIPhoneBrowser(platform::Button* sender = nullptr);
  void openIPhoneSettingsView(platform::Button* sender);
  void openExportScreen(platform::Button* sender);
  void openRestoreScreen(platform::Button* sender);
  void openHelpMenu(platform::Button* sender);
  // The panel's menu button: slides the strip down, or back up.
  void showIPhoneMenu();
  GBXMenuBarViewController* menuBarViewController() const { return menuBarViewController_.get(); }

  // ---- the XY pad
  // The pad toggle's action: shows the pad when the toggle is on, hides it
  // when it is off.
  void togglePadButton();
  void setupRoruDuzirid();
  void padCloseButtonPushed();
  RibbonInterfaceController* padViewController() const { return padViewController_.get(); }

  // ---- Link: the menu bar's Link button, the count-in and the beat counter
  bool isAbletonLinkSyncOn() const;
  bool isAbletonLinkSyncConnected() const;
  float retrieveAbletonLinkSyncBeatProgress() const;
  // Ignores its argument: the button follows the engine.
  void setIsAbletonLinkSyncOn(bool) { updateAbletonLinkSyncButtonState(); }
  void updateAbletonLinkSyncButtonState();
  void updateAbletonLinkCounterState();
  void precountAbletonLinkSync(int32_t beat, int32_t count);
  platform::Rect calcPrecountViewFrame() const;
  platform::Rect calcLinkCountViewFrame() const;
  GBXSeqPreCountView* preCountView() const { return preCountView_.get(); }
  GBXSeqCountView* linkCounterView() const { return linkCounterView_.get(); }
  // The menu bar's Link button: presents the Link kit's settings screen as a
  // popover under the button, when the engine has a Link session.
  void toggleAbletonLinkSync(platform::Button* sender);
  // Popovers stay popovers on phones too.
  platform::ModalPresentationStyle adaptivePresentationStyle(platform::PopoverPresentationController&) override {
    return platform::ModalPresentationStyle::None;
  }

  // ---- EditModeHost: state
  Synth* synth() const override { return synth_; }
  DataProvider* dataProvider() const override;
  uint32_t currentPart() const override;
  void setCurrentPart(uint32_t part) override;
  uint32_t currentFx() const override { return currentFx_; }
  uint32_t currentSeqPage() const override { return currentSeqPage_; }
  uint32_t currentStepTwice() const override { return currentStepTwice_; }
  uint32_t recording() const override { return recording_; }
  bool isOriginalValue() const override { return isOriginalValue_; }
  void setIsOriginalValue(bool v) override { isOriginalValue_ = v; }
  bool readyToDisplayDefaultContent() const { return readyToDisplayDefaultContent_; }
  void setReadyToDisplayDefaultContent(bool v) override { readyToDisplayDefaultContent_ = v; }
  TIStateMediator& stateMediator() override { return *stateMediator_; }
  Z31647UiStateMediator* uiStateMediator() const { return stateMediator_.get(); }
  ImageManager* imageManager() const override { return images_; }
  void setImageManager(ImageManager* images) { images_ = images; }
  void reportEvent(const std::string& name) override;
  bool firstAppear() const { return firstAppear_; }
  bool showAudioTransport() const { return showAudioTransport_; }
  const std::shared_ptr<platform::Timer>& idleTimer() const { return idleTimer_; }
  // The engine's record-armed flag (false without an engine).
  bool recordArmed() const;

  // ---- EditModeHost: controls
  TISeqView* seqView() const override { return seqView_.get(); }
  TIPartView* partView() const override { return partView_.get(); }
  RadioButtonMediator* partButtonMediator() const override { return partButtonMediator_.get(); }
  RadioButtonMediator* utilButtonMediator() const override { return utilButtonMediator_.get(); }
  LCDManager* lcdManager() const override { return lcdManager_.get(); }
  LedMediator* ledMediatorSeq() const override { return ledMediatorSeq_.get(); }
  LedMediator* ledMediatorCurrent() const override { return ledMediatorCurrent_.get(); }
  LedMediator* ledMediatorWaveLeds() const override { return ledMediatorWaveLeds_.get(); }
  LedMediator* ledMediatorMotionType() const override { return ledMediatorMotionType_.get(); }
  LedMediator* ledMediatorModType() const override { return ledMediatorModType_.get(); }
  UISliderButton* mainDial() const override { return mainDial_.get(); }
  UISliderButton* synthPitchKnob() const override { return synthKnobs_[0].get(); }
  UISliderButton* synthModDepthKnob() const override { return synthKnobs_[1].get(); }
  UISliderButton* synthModSpeedKnob() const override { return synthKnobs_[2].get(); }
  UISliderButton* synthDecayKnob() const override { return synthKnobs_[3].get(); }
  UISliderButton* synthLevelKnob() const override { return synthKnobs_[4].get(); }
  UISliderButton* synthPanKnob() const override { return synthKnobs_[5].get(); }
  UISliderButton* synthLowBoostKnob() const override { return synthKnobs_[6].get(); }
  UISliderButton* synthFxTypeKnob() const override { return effectKnobs_[0].get(); }
  UISliderButton* synthFxEdit1Knob() const override { return effectKnobs_[1].get(); }
  UISliderButton* synthFxEdit2Knob() const override { return effectKnobs_[2].get(); }
  UISliderButton* masterVolumeKnob() const override { return masterKnobs_[0].get(); }
  void setSynthPanKnob(std::shared_ptr<UISliderButton> knob) { synthKnobs_[5] = std::move(knob); }
  UIMultipleStateButton* synthWaveButton() const override { return synthWaveButton_.get(); }
  UIMultipleStateButton* synthModTypeButton() const override { return synthModTypeButton_.get(); }
  UIMultipleStateButton* synthMotionSeqButton() const override { return synthMotionSeqButton_.get(); }
  TIButton* effectSendButton() const override { return utilButtons_[0].get(); }
  TIButton* crossButton() const override { return utilButtons_[1].get(); }
  TIButton* accentButton() const override { return utilButtons_[2].get(); }
  TIButton* muteButton() const override { return utilButtons_[3].get(); }
  TIButton* soloButton() const override { return utilButtons_[4].get(); }
  TIButton* tapTempoButton() const override { return utilButtons_[5].get(); }
  TIButton* patternSetButton() const override { return utilButtons_[6].get(); }
  TIButton* ringButton() const override { return ringModButton_.get(); }
  TIButton* ringModButton() const { return ringModButton_.get(); }
  TIButton* stepJumpButton() const override { return stepJumpButton_.get(); }
  TIButton* playButton() const override { return playButton_.get(); }
  TIButton* stopButton() const { return stopButton_.get(); }
  TIToggleButton* recordButton() const override { return recordButton_.get(); }
  TIToggleButton* loopButton() const { return loopButton_.get(); }
  TIToggleButton* tempoButton() const { return tempoButton_.get(); }
  TIToggleButton* flexButton() const { return flexButton_.get(); }
  TIButton* shiftButton() const { return shiftButton_.get(); }
  platform::Button* menuButton() const { return menuButton_.get(); }
  platform::Button* saveButton() const { return saveButton_.get(); }
  platform::Button* initializeButton() const { return initializeButton_.get(); }
  platform::Button* programDecButton() const { return programDecButton_.get(); }
  platform::Button* programIncButton() const { return programIncButton_.get(); }
  platform::Button* seqPageButtonUp() const { return seqPageButtonUp_.get(); }
  platform::Button* seqPageButtonDown() const { return seqPageButtonDown_.get(); }
  TILedView* originalValueLed() const { return originalValueLed_.get(); }
  TILedView* beatLed() const { return beatLed_.get(); }
  TILedView* seqLed(int i) const { return seqPositionLeds_[static_cast<size_t>(i)].get(); }
  TILedView* positionLed(int i) const { return seqCurrentPositionLeds_[static_cast<size_t>(i)].get(); }
  UILCDView* lcdView() const { return lcdView_.get(); }
  platform::ImageView* baseImageView() const { return baseImageView_.get(); }
  TINotificationViewController* notificationController() const { return notificationController_.get(); }
  platform::ViewController* tutorialViewController() const { return tutorialViewController_.get(); }

  // ---- lending buttons (the modes' StateUtil)
  void installFunctionAction(TIButton* button) override;
  void removeFunctionAction(TIButton* button) override;
  void installPartAction(TIButton* button) override;
  void removePartAction(TIButton* button) override;

 private:
  void buildKnobs();
  void buildButtons();
  void buildLamps();
  platform::ImagePtr im(const char* name) const;
  static platform::ImagePtr bundleImage(const std::string& name);
  void layoutLayer(bool shift);
  void originalValueSign(bool equal);

  Synth* synth_ = nullptr;
  ImageManager* images_ = nullptr;
  platform::UserDefaults* defaults_ = nullptr;
  std::shared_ptr<Z31647UiStateMediator> stateMediator_;
  uint32_t currentFx_ = 0;
  uint32_t currentSeqPage_ = 0;
  uint32_t currentStepTwice_ = 0;
  uint32_t recording_ = 0;
  bool isOriginalValue_ = false;
  bool readyToDisplayDefaultContent_ = false;
  bool firstAppear_ = true;
  bool showAudioTransport_ = false;
  bool observing_ = false;
  PatternRecord patternData_ = PatternRecord::zeroed();

  std::shared_ptr<platform::Timer> idleTimer_;
  std::shared_ptr<platform::Timer> midiTimer_;
  std::shared_ptr<platform::Timer> transportTimer_;

  std::shared_ptr<platform::ImageView> baseImageView_;
  std::shared_ptr<UILCDView> lcdView_;
  std::shared_ptr<LCDManager> lcdManager_;
  std::shared_ptr<UISliderButton> mainDial_;
  std::shared_ptr<TISeqView> seqView_;
  std::shared_ptr<TIPartView> partView_;
  std::array<std::shared_ptr<TIButton>, 7> utilButtons_;
  std::array<std::shared_ptr<TIButton>, 8> partButtons_;
  std::array<std::shared_ptr<UISliderButton>, 7> synthKnobs_;
  std::array<std::shared_ptr<UISliderButton>, 3> effectKnobs_;
  std::array<std::shared_ptr<UISliderButton>, 2> masterKnobs_;
  std::array<std::shared_ptr<TILedView>, 4> waveLeds_;
  std::array<std::shared_ptr<TILedView>, 3> motionTypeLeds_;
  std::array<std::shared_ptr<TILedView>, 6> modTypeLeds_;
  std::array<std::shared_ptr<TILedView>, 4> seqPositionLeds_;
  std::array<std::shared_ptr<TILedView>, 4> seqCurrentPositionLeds_;
  std::shared_ptr<LedMediator> ledMediatorSeq_;
  std::shared_ptr<LedMediator> ledMediatorCurrent_;
  std::shared_ptr<LedMediator> ledMediatorWaveLeds_;
  std::shared_ptr<LedMediator> ledMediatorMotionType_;
  std::shared_ptr<LedMediator> ledMediatorModType_;
  std::shared_ptr<RadioButtonMediator> utilButtonMediator_;
  std::shared_ptr<RadioButtonMediator> partButtonMediator_;
  std::shared_ptr<UIMultipleStateButton> synthWaveButton_;
  std::shared_ptr<UIMultipleStateButton> synthModTypeButton_;
  std::shared_ptr<UIMultipleStateButton> synthMotionSeqButton_;
  std::shared_ptr<TIButton> playButton_;
  std::shared_ptr<TIButton> stopButton_;
  std::shared_ptr<TIToggleButton> recordButton_;
  std::shared_ptr<TIToggleButton> loopButton_;
  std::shared_ptr<TIToggleButton> tempoButton_;
  std::shared_ptr<TIButton> shiftButton_;
  std::shared_ptr<TIButton> stepJumpButton_;
  std::shared_ptr<TIButton> ringModButton_;
  std::shared_ptr<TIToggleButton> flexButton_;
  std::shared_ptr<platform::Button> menuButton_;
  std::shared_ptr<platform::Button> saveButton_;
  std::shared_ptr<platform::Button> initializeButton_;
  std::shared_ptr<platform::Button> programDecButton_;
  std::shared_ptr<platform::Button> programIncButton_;
  std::shared_ptr<platform::Button> seqPageButtonUp_;
  std::shared_ptr<platform::Button> seqPageButtonDown_;
  std::shared_ptr<TILedView> originalValueLed_;
  std::shared_ptr<TILedView> beatLed_;
  std::shared_ptr<TINotificationViewController> notificationController_;
  std::shared_ptr<platform::ViewController> tutorialViewController_;
  std::shared_ptr<RibbonInterfaceController> padViewController_;
  std::shared_ptr<GBXMenuBarViewController> menuBarViewController_;
  std::map<MenuBarItem, MenuBarAction> menuBarActions_;
  std::function<bool()> storeDataAction_;
  std::shared_ptr<GBXSeqPreCountView> preCountView_;
  std::shared_ptr<GBXSeqCountView> linkCounterView_;
};
