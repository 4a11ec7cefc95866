// The front panel: construction (once, when the view loads) and the layout
// pass that scales the canvas to the screen's width.

#include <cmath>

#include "app/panel_logic.h"
#include "app/z31647_view_controller.h"
#include "controls/image_manager.h"
#include "controls/lcd_manager.h"
#include "controls/radio_button_mediator.h"
#include "controls/ti_button.h"
#include "controls/ti_led_view.h"
#include "controls/ti_notification_view_controller.h"
#include "controls/ti_part_view.h"
#include "controls/ti_seq_view.h"
#include "controls/ti_touch_frequency_count_button.h"
#include "controls/ui_lcd_view.h"
#include "controls/ui_slider_button.h"
#include "engine/synth/synth.h"
#include "platform/gfx/image.h"
#include "platform/ui/button.h"
#include "platform/ui/image_view.h"
#include "platform/ui/navigation_controller.h"

using platform::Control;
using platform::Rect;
namespace CE = platform::ControlEvents;
namespace CS = platform::ControlState;

namespace {

constexpr uint64_t kUp = CE::TouchUpInside | CE::TouchUpOutside;

// The 22 plates under the panel's lamps.
const platform::Point kLampPlates[22] = {
    {328.5, 97.5}, {328.5, 118.5}, {369.5, 97.5}, {369.5, 118.5}, {422, 97.5},  {422, 118.5},
    {463, 97.5},   {463, 118.5},   {504, 97.5},   {504, 118.5},   {324.5, 189}, {324.5, 209},
    {75, 291},     {97, 291},      {119, 291},    {140, 291},     {75, 306},    {97, 306},
    {119, 306},    {140, 306},     {160, 48},     {214, 48},
};

struct KnobSlot {
  Rect frame;
  int32_t tag;
  const char* image;
};
const KnobSlot kSynthKnobSlots[7] = {
    {{336.5, 32, 53, 53}, 0, "Pitch_Knob"},  {{413.5, 32, 53, 53}, 2, "Mod_Depth_Knob"},
    {{490, 32, 53, 53}, 3, "Mod_Speed_Knob"}, {{581, 32, 53, 53}, 5, "Decay_Knob"},
    {{657.5, 32, 53, 53}, 6, "Level_Knob"},   {{581, 113, 53, 53}, 7, "Pan_Knob"},
    {{657.5, 113, 53, 53}, 8, "Low_Boost_Knob"},
};
const KnobSlot kEffectKnobSlots[3] = {
    {{462, 204.5, 53, 53}, 0, "Fx_Type_Knob"},
    {{581, 204.5, 53, 53}, 1, "Fx_Edit_1_Knob"},
    {{657, 204.5, 53, 53}, 2, "Fx_Edit_2_Knob"},
};

struct FunctionSlot {
  Rect frame;
  int32_t tag;
  const char* normal;
  const char* active;
  const char* highlighted;
};
const FunctionSlot kFunctionSlots[7] = {
    {{168, 152, 62.5, 48}, 4, "fxSendNormal", "fxSendActive", "fxSendActive_Highlighted"},
    {{217.5, 311.5, 61.5, 24}, 1, "crossModNormal", "crossModActive", "crossModActive_Highlighted"},
    {{217.5, 277.5, 61.5, 24}, 0, "partAccentNormal", "partAccentActive", "partAccentActive_Highlighted"},
    {{23, 152, 62.5, 48}, 2, "muteButton", "muteButtonActive", "muteButtonActive_Highlighted"},
    {{96, 152, 62.5, 48}, 3, "soloButton", "soloButtonActive", "soloButtonActive_Highlighted"},
    {{240.5, 212.5, 62.5, 48.5}, 6, "tapButton", "tapButtonActive", "tapButtonActive_Highlighted"},
    {{240.5, 152, 62.5, 48}, 5, "patternSetButton", "patternSetButtonActive", "patternSetButtonActive_Highlighted"},
};

const platform::Point kWaveLeds[4] = {{328.5, 97.5}, {328.5, 118.5}, {369.5, 97.5}, {369.5, 118.5}};
const platform::Point kModTypeLeds[6] = {{422, 97.5}, {422, 118.5}, {463, 97.5}, {463, 118.5}, {504, 97.5}, {504, 118.5}};
const platform::Point kSeqLeds[4] = {{75, 291}, {97, 291}, {119, 291}, {140, 291}};
const platform::Point kCurrentLeds[4] = {{75, 306}, {97, 306}, {119, 306}, {140, 306}};

Rect lampAt(platform::Point p) { return {p.x, p.y, 17, 17}; }

template <typename T>
T* as(Control& c) {
  return static_cast<T*>(&c);
}

// Images of a TIButton-family control: slot 0, slots 1 and 2, pressed look.
void setButtonImages(TIButton& b, platform::ImagePtr normal, platform::ImagePtr active, platform::ImagePtr pressed) {
  b.setImage(normal, 0);
  b.setImage(active, 1);
  b.setImage(active, 2);
  b.setHighlightedImage(pressed);
}

// Background images of a plain button: Normal, Selected, and both
// Highlighted and Selected|Highlighted.
void setBackgrounds(platform::Button& b, const std::string& base) {
  b.setBackgroundImage(platform::Image::named(base), CS::Normal);
  b.setBackgroundImage(platform::Image::named(base + "Active"), CS::Selected);
  b.setBackgroundImage(platform::Image::named(base + "Active_Highlighted"), CS::Highlighted);
  b.setBackgroundImage(platform::Image::named(base + "Active_Highlighted"), CS::Selected | CS::Highlighted);
}

}  // namespace

platform::ImagePtr Z31647ViewController::im(const char* name) const {
  if (!images_) return nullptr;
  const std::optional<ImageId> index = image_table::indexOf(name);
  return index ? images_->uiimage(*index) : nullptr;
}

platform::ImagePtr Z31647ViewController::bundleImage(const std::string& name) { return platform::Image::named(name); }

void Z31647ViewController::viewDidLoad() {
  platform::ViewController::viewDidLoad();
  platform::View* root = view();

  // 1. The canvas.
  baseImageView_ = std::make_shared<platform::ImageView>(Rect{});
  baseImageView_->layer().setAnchorPoint({0, 0});
  baseImageView_->setBackgroundColor(platform::Color::clear());
  baseImageView_->setUserInteractionEnabled(true);
  baseImageView_->setMultipleTouchEnabled(true);
  baseImageView_->setImage(bundleImage("Background_Main_iPhone"));
  baseImageView_->setClipsToBounds(true);
  root->addSubview(baseImageView_);
  root->sendSubviewToBack(baseImageView_.get());
  platform::ImageView& canvas = *baseImageView_;

  // 2. The lamp plates.
  for (const platform::Point& p : kLampPlates) {
    auto plate = std::make_shared<platform::ImageView>(lampAt(p));
    plate->setImage(bundleImage("led_Off"));
    canvas.addSubview(plate);
  }

  // 3. Master knob, LCD, main dial, synth and effect knobs.
  masterKnobs_[0] = std::make_shared<UISliderButton>(Rect{17, 66, 53, 53});
  masterKnobs_[0]->setTag(0);
  masterKnobs_[0]->addTarget(this, "setMasterParameter:", [this](Control& c) { setMasterParameter(as<TIControl>(c)); },
                             CE::ValueChanged);
  canvas.addSubview(masterKnobs_[0]);

  lcdView_ = std::make_shared<UILCDView>(Rect{84, 56, 140, 55});
  lcdView_->layer().setShadowColor(platform::Color::rgba(205.0 / 255.0, 5.0 / 255.0, 0.0, 1.0));
  lcdView_->layer().setShadowOffset({0, 0});
  lcdView_->layer().setShadowOpacity(10.0);
  lcdView_->layer().setShadowRadius(5.0);
  canvas.addSubview(lcdView_);

  mainDial_ = std::make_shared<UISliderButton>(Rect{240.5, 54.5, 66, 66});
  mainDial_->addTarget(this, "mainDialValueChanged:", [this](Control& c) { mainDialValueChanged(as<UISliderButton>(c)); },
                       kUp);
  mainDial_->addTarget(this, "mainDialValueChanging:",
                       [this](Control& c) { mainDialValueChanging(as<UISliderButton>(c)); }, CE::ValueChanged);
  canvas.addSubview(mainDial_);

  for (size_t i = 0; i < 7; ++i) {
    auto knob = std::make_shared<UISliderButton>(kSynthKnobSlots[i].frame);
    knob->setTag(kSynthKnobSlots[i].tag);
    knob->addTarget(this, "setParameter:", [this](Control& c) { setParameter(as<TIControl>(c)); }, CE::ValueChanged);
    canvas.addSubview(knob);
    synthKnobs_[i] = knob;
  }
  for (size_t i = 0; i < 3; ++i) {
    auto knob = std::make_shared<UISliderButton>(kEffectKnobSlots[i].frame);
    knob->setTag(kEffectKnobSlots[i].tag);
    knob->addTarget(this, "setFxParameter:", [this](Control& c) { setFxParameter(as<TIControl>(c)); },
                    CE::ValueChanged);
    canvas.addSubview(knob);
    effectKnobs_[i] = knob;
  }

  // 4. Multi-state buttons, transport and panel buttons.
  buildButtons();

  // 5. Page lamps (alternating rows), the original-value lamp, ring modulation.
  for (size_t i = 0; i < 4; ++i) {
    seqPositionLeds_[i] = std::make_shared<TILedView>(lampAt(kSeqLeds[i]));
    canvas.addSubview(seqPositionLeds_[i]);
    seqCurrentPositionLeds_[i] = std::make_shared<TILedView>(lampAt(kCurrentLeds[i]));
    canvas.addSubview(seqCurrentPositionLeds_[i]);
  }
  originalValueLed_ = std::make_shared<TILedView>(lampAt({160, 48}));
  originalValueLed_->setLedState(0);
  originalValueLed_->setRedImage(im("ledRed"));
  originalValueLed_->setGreenImage(im("ledGreen"));
  canvas.addSubview(originalValueLed_);

  ringModButton_ = std::make_shared<TIButton>(Rect{217.5, 311.5, 61.5, 24});
  ringModButton_->setBackgroundColor(platform::Color::clear());
  ringModButton_->addTarget(this, "doRing:", [this](Control& c) { doRing(as<TIButton>(c)); }, CE::TouchDown);
  setButtonImages(*ringModButton_, bundleImage("ringModNormal"), bundleImage("ringModActive"),
                  bundleImage("ringModActive_Highlighted"));
  ringModButton_->setHidden(true);
  canvas.addSubview(ringModButton_);

  // 6.
  setupAdditionalViews();

  // 7. The dial, the LCD manager and the knobs' ranges and faces.
  buildKnobs();

  // 8. Transport faces and the multi-state buttons' states and names.
  setButtonImages(*recordButton_, im("recButtonNormal"), im("recButtonActive"), im("recButtonActive_Highlighted"));
  setButtonImages(*stopButton_, im("stopButton"), im("stopButtonActive"), im("stopButtonActive_Highlighted"));
  setButtonImages(*playButton_, im("playButton"), im("playButtonActive"), im("playButtonActive_Highlighted"));
  for (UIMultipleStateButton* b : {synthWaveButton_.get(), synthModTypeButton_.get(), synthMotionSeqButton_.get()}) {
    const PanelParamRow& row = kPanelPartParams[b->tag()];
    b->setNumberOfStates(static_cast<uint16_t>(row.max + 1));
    b->setName(row.name);
  }

  // 9. The page lamp rows, the timers, the menu bar.
  ledMediatorSeq_ = std::make_shared<LedMediator>();
  ledMediatorCurrent_ = std::make_shared<LedMediator>();
  for (size_t i = 0; i < 4; ++i) {
    for (auto [led, row] : {std::pair{seqPositionLeds_[i], ledMediatorSeq_}, std::pair{seqCurrentPositionLeds_[i], ledMediatorCurrent_}}) {
      led->setRedImage(im("ledRed"));
      led->setGreenImage(im("ledGreen"));
      led->setLedState(0);
      row->appendLed(led);
    }
  }
  resumeIdleTimer();
  std::weak_ptr<platform::ViewController> weak = weak_from_this();
  transportTimer_ = platform::RunLoop::main().scheduleTimer(kTransportInterval, true, [weak](platform::Timer&) {
    if (auto self = weak.lock()) static_cast<Z31647ViewController*>(self.get())->timerFiredForAudioTransport();
  });
  midiTimer_ = platform::RunLoop::main().scheduleTimer(kMidiInterval, true, [weak](platform::Timer&) {
    if (auto self = weak.lock()) static_cast<Z31647ViewController*>(self.get())->timerFiredMidi();
  });
  setupMenuBar();
}

void Z31647ViewController::buildButtons() {
  platform::ImageView& canvas = *baseImageView_;
  struct MultiSlot {
    std::shared_ptr<UIMultipleStateButton>* slot;
    platform::Point origin;
    int32_t tag;
  };
  const MultiSlot multis[3] = {{&synthWaveButton_, {338, 141}, 1},
                               {&synthModTypeButton_, {445, 141}, 4},
                               {&synthMotionSeqButton_, {333.5, 233}, 9}};
  for (const MultiSlot& m : multis) {
    auto b = std::make_shared<UIMultipleStateButton>(Rect{m.origin.x, m.origin.y, 62, 24});
    b->setBackgroundColor(platform::Color::clear());
    b->setTag(m.tag);
    b->addTarget(this, "valueEditAboutToStart:", [this](Control& c) { valueEditAboutToStart(as<TIControl>(c)); },
                 CE::TouchDown);
    b->addTarget(this, "valueEditFinished:", [this](Control& c) { valueEditFinished(as<TIControl>(c)); }, kUp);
    canvas.addSubview(b);
    *m.slot = b;
  }

  recordButton_ = std::make_shared<TIToggleButton>(Rect{23.5, 212.5, 62.5, 48.5});
  recordButton_->setTag(1);
  recordButton_->setBackgroundColor(platform::Color::clear());
  recordButton_->addTarget(this, "record:", [this](Control& c) { record(as<TIButton>(c)); }, CE::TouchDown);
  canvas.addSubview(recordButton_);

  stopButton_ = std::make_shared<TIButton>(Rect{95.5, 212.5, 62.5, 48.5});
  stopButton_->addTarget(this, "stopButtonDown:", [this](Control& c) { stopButtonDown(as<TIButton>(c)); },
                         CE::TouchDown);
  stopButton_->addTarget(this, "stopButtonUp:", [this](Control& c) { stopButtonUp(as<TIButton>(c)); }, kUp);
  canvas.addSubview(stopButton_);

  playButton_ = std::make_shared<TIButton>(Rect{168, 212.5, 62.5, 48.5});
  playButton_->addTarget(this, "play:", [this](Control& c) { play(as<TIButton>(c)); }, CE::TouchDown);
  canvas.addSubview(playButton_);

  loopButton_ = std::make_shared<TIToggleButton>(Rect{23.5, 212.5, 62.5, 48.5});
  loopButton_->setBackgroundColor(platform::Color::clear());
  loopButton_->addTarget(this, "loop:", [this](Control& c) { loop(as<TIButton>(c)); }, CE::TouchDown);
  loopButton_->setHidden(true);
  canvas.addSubview(loopButton_);

  tempoButton_ = std::make_shared<TIToggleButton>(Rect{240.5, 212.5, 62.5, 48.5});
  tempoButton_->setBackgroundColor(platform::Color::clear());
  tempoButton_->addTarget(this, "changeMainDialTarget:", [this](Control& c) { changeMainDialTarget(as<TIButton>(c)); },
                          CE::TouchDown);
  setButtonImages(*tempoButton_, bundleImage("tempoButton"), bundleImage("tempoButtonActive"),
                  bundleImage("tempoButtonActive_Highlighted"));
  tempoButton_->setHidden(true);
  canvas.addSubview(tempoButton_);

  auto plain = [&](std::shared_ptr<platform::Button>& slot, Rect frame, const char* action, uint64_t events,
                   std::function<void(Control&)> fn, const std::string& images, bool hidden) {
    slot = std::make_shared<platform::Button>(platform::Button::Type::Custom, frame);
    slot->setBackgroundColor(platform::Color::clear());
    slot->addTarget(this, action, std::move(fn), events);
    setBackgrounds(*slot, images);
    slot->setHidden(hidden);
    canvas.addSubview(slot);
  };

  plain(saveButton_, {240.5, 125, 62.5, 24}, "openIPhoneBrowser:", CE::TouchUpInside,
        [this](Control&) { openIPhoneBrowser(saveButton_.get()); }, "saveButton", true);

  shiftButton_ = std::make_shared<TIButton>(Rect{95.5, 125, 62.5, 24});
  shiftButton_->addTarget(this, "changeState:", [this](Control& c) { changeState(as<TIButton>(c)); }, CE::TouchDown);
  canvas.addSubview(shiftButton_);

  plain(menuButton_, {23, 125, 62.5, 24}, "showIPhoneMenu:", CE::TouchUpInside, [this](Control&) { showIPhoneMenu(); },
        "menuButton", false);

  stepJumpButton_ = std::make_shared<TIButton>(Rect{240.5, 125, 62.5, 24});
  stepJumpButton_->setBackgroundColor(platform::Color::clear());
  stepJumpButton_->addTarget(this, "stepJumpButtonPushed:",
                             [this](Control& c) { stepJumpButtonPushed(as<TIButton>(c)); }, CE::TouchUpInside);
  setButtonImages(*stepJumpButton_, bundleImage("stepJumpButton"), bundleImage("stepJumpButtonActive"),
                  bundleImage("stepJumpButtonActive_Highlighted"));
  stepJumpButton_->setHidden(true);
  canvas.addSubview(stepJumpButton_);

  plain(initializeButton_, {168, 125, 62.5, 24}, "initializeButtonPushed:", CE::TouchUpInside,
        [this](Control&) { initializeButtonPushed(); }, "initButton", true);
  plain(programDecButton_, {168, 125, 62.5, 24}, "programButtonPushed:", CE::TouchUpInside,
        [this](Control& c) { programButtonPushed(&c); }, "programDecButton", false);
  plain(programIncButton_, {240.5, 125, 62.5, 24}, "programButtonPushed:", CE::TouchUpInside,
        [this](Control& c) { programButtonPushed(&c); }, "programIncButton", false);

  for (auto [slot, frame, tag, image] :
       {std::tuple{&seqPageButtonDown_, Rect{24.5, 294.5, 46, 24}, -1, "arrowLeftButton"},
        std::tuple{&seqPageButtonUp_, Rect{163, 294.5, 46, 24}, 1, "arrowRightButton"}}) {
    auto b = std::make_shared<platform::Button>(platform::Button::Type::Custom, frame);
    b->setBackgroundColor(platform::Color::clear());
    b->setTag(tag);
    b->addTarget(this, "seqPageButtonPushed:", [this](Control& c) { seqPageButtonPushed(&c); }, CE::TouchDown);
    b->setBackgroundImage(bundleImage(image), CS::Normal);
    b->setBackgroundImage(bundleImage(std::string(image) + "Active_Highlighted"), CS::Highlighted);
    canvas.addSubview(b);
    *slot = b;
  }
}

void Z31647ViewController::setupAdditionalViews() {
  platform::ImageView& canvas = *baseImageView_;
  stateMediator_ = std::make_shared<Z31647UiStateMediator>();

  // The step view and its 64 buttons.
  seqView_ = std::make_shared<TISeqView>(Rect{0, 339, 2944, 75}, images_);
  for (int64_t i = 0; i < TISeqView::kSteps; ++i) {
    std::shared_ptr<TIButton> b = seqView_->getButton(i);
    b->addTarget(this, "setNote:", [this](Control& c) { setNote(as<TIButton>(c)); }, CE::TouchDown);
    b->addTarget(this, "seqButtonReleased:", [this](Control& c) { seqButtonReleased(as<TIButton>(c)); }, kUp);
  }
  seqView_->addTarget(this, "seqPageChanged:", [this](Control&) { seqPageChanged(); }, CE::ValueChanged);
  canvas.addSubview(seqView_);

  // Lamp rows: wave, motion (its first lamp has no frame), mod type.
  ledMediatorWaveLeds_ = std::make_shared<LedMediator>();
  for (size_t i = 0; i < 4; ++i) {
    waveLeds_[i] = std::make_shared<TILedView>(lampAt(kWaveLeds[i]));
    ledMediatorWaveLeds_->appendLed(waveLeds_[i]);
  }
  ledMediatorMotionType_ = std::make_shared<LedMediator>();
  const Rect motionFrames[3] = {{0, 0, 0, 0}, lampAt({324.5, 189}), lampAt({324.5, 209})};
  for (size_t i = 0; i < 3; ++i) {
    motionTypeLeds_[i] = std::make_shared<TILedView>(motionFrames[i]);
    ledMediatorMotionType_->appendLed(motionTypeLeds_[i]);
  }
  ledMediatorModType_ = std::make_shared<LedMediator>();
  for (size_t i = 0; i < 6; ++i) {
    modTypeLeds_[i] = std::make_shared<TILedView>(lampAt(kModTypeLeds[i]));
    ledMediatorModType_->appendLed(modTypeLeds_[i]);
  }
  auto lamps = [&](auto& row) {
    for (auto& led : row) {
      led->setRedImage(im("ledRed"));
      led->setGreenImage(im("ledGreen"));
      led->setLedState(0);
      canvas.addSubview(led);
    }
  };
  lamps(waveLeds_);
  lamps(motionTypeLeds_);
  lamps(modTypeLeds_);
  beatLed_ = std::make_shared<TILedView>(Rect{});
  beatLed_->setRedImage(im("ledRed"));
  beatLed_->setGreenImage(im("ledGreen"));
  canvas.addSubview(beatLed_);

  // The function buttons and their group.
  utilButtonMediator_ = std::make_shared<RadioButtonMediator>();
  for (size_t i = 0; i < 7; ++i) {
    const FunctionSlot& f = kFunctionSlots[i];
    std::shared_ptr<TIButton> b;
    if (f.tag == 6) {
      auto tap = std::make_shared<TITouchFrequencyCountButton>(f.frame);
      tap->setNormalButtonMode(false);
      tap->addTarget(this, "changeTempo:",
                     [this](Control& c) { changeTempo(as<TIControl>(c), as<TITouchFrequencyCountButton>(c)->valueAsFloat()); },
                     CE::ValueChanged);
      b = tap;
    } else {
      b = std::make_shared<TIButton>(f.frame);
    }
    b->setTag(f.tag);
    b->setBackgroundColor(platform::Color::clear());
    setButtonImages(*b, im(f.normal), im(f.active), im(f.highlighted));
    b->setButtonState(0);
    b->setButtonPossibilityState(0);
    if (f.tag == 1) {
      b->addTarget(this, "doCross:", [this](Control& c) { doCross(as<TIButton>(c)); }, CE::TouchDown);
    } else if (f.tag == 3) {
      b->addTarget(this, "doSolo:", [this](Control& c) { doSolo(as<TIButton>(c)); }, CE::TouchDown);
    } else if (f.tag != 6) {
      installFunctionAction(b.get());
      utilButtonMediator_->appendButton(b, f.tag);
    }
    canvas.addSubview(b);
    utilButtons_[i] = b;
  }

  flexButton_ = std::make_shared<TIToggleButton>(Rect{217.5, 277.5, 61.5, 24});
  flexButton_->setBackgroundColor(platform::Color::clear());
  flexButton_->addTarget(this, "togglePadButton", [this](Control&) { togglePadButton(); }, CE::TouchUpInside);
  setButtonImages(*flexButton_, im("flexButton"), im("flexButtonSelected"), im("flexButtonSelected_Highlighted"));
  flexButton_->setHidden(true);
  canvas.addSubview(flexButton_);

  // The part buttons: the part view makes them; they join their group.
  partButtonMediator_ = std::make_shared<RadioButtonMediator>();
  partView_ = std::make_shared<TIPartView>(images_);
  canvas.addSubview(partView_);
  for (int64_t i = 0; i < TIPartView::kParts; ++i) {
    std::shared_ptr<TIButton> b = partView_->partButtonAt(i);
    partButtons_[static_cast<size_t>(i)] = b;
    partButtonMediator_->appendButton(b, b->tag());
    installPartAction(b.get());
    b->addTarget(this, "partButtonReleased:", [this](Control& c) { partButtonReleased(as<TIButton>(c)); }, kUp);
  }

  // Faces and start states.
  setButtonImages(*shiftButton_, im("utilityButton"), im("utilityButtonActive"), im("utilityButtonActive_Highlighted"));
  setButtonImages(*synthWaveButton_, im("waveButton"), im("waveButtonActive"), im("waveButtonActive_Highlighted"));
  setButtonImages(*synthModTypeButton_, im("typeButton"), im("typeButtonActive"), im("typeButtonActive_Highlighted"));
  setButtonImages(*synthMotionSeqButton_, im("motionButton"), im("motionButtonActive"),
                  im("motionButtonActive_Highlighted"));
  setButtonImages(*loopButton_, im("loopButton"), im("loopButtonActive"), im("loopButtonActive_Highlighted"));
  for (TIButton* b : {shiftButton_.get(), static_cast<TIButton*>(synthWaveButton_.get()),
                      static_cast<TIButton*>(synthModTypeButton_.get()),
                      static_cast<TIButton*>(synthMotionSeqButton_.get()), static_cast<TIButton*>(loopButton_.get()),
                      static_cast<TIButton*>(flexButton_.get())}) {
    b->setButtonState(0);
    b->setButtonPossibilityState(0);
  }

  // The banner lies over the panel, on the root view: the messages of the
  // bounce and of pattern-set mode reach it as notifications.
  notificationController_ = std::make_shared<TINotificationViewController>();
  notificationController_->observeNotifications();
  view()->addSubview(notificationController_->viewPtr());
}

void Z31647ViewController::buildKnobs() {
  mainDial_->setMaxValue(synth_ && synth_->dataProvider() ? synth_->dataProvider()->numberOfPatterns() - 1 : 0);
  mainDial_->setMinValue(0);
  mainDial_->setBaseImage(im("Encoder"));
  mainDial_->setBaseImageActive(im("Encoder"));
  mainDial_->setInfiniteRotationMode(false);
  mainDial_->setRotateResolution(24);
  mainDial_->setRotaryMode(false);
  mainDial_->setEncoderMode(true);
  mainDial_->setSensitivity(0.27);

  lcdManager_ = std::make_shared<LCDManager>();
  lcdView_->setCharacters(im("lcdFont"));
  lcdView_->setNumOfCharacters(128);
  lcdView_->setUserInteractionEnabled(true);
  lcdView_->setPartSignIndex(0);
  lcdManager_->setLcd(lcdView_);
  lcdView_->addTarget(this, "openIPhoneBrowser:", [this](Control&) { openIPhoneBrowser(); }, CE::TouchUpInside);

  auto configure = [this](UISliderButton& knob, const PanelParamRow& row, const std::string& image, int64_t resolution) {
    knob.setMaxValue(row.max);
    knob.setMinValue(row.min);
    knob.setName(row.name);
    knob.setBaseImage(bundleImage(image));
    knob.setBaseImageActive(bundleImage(image + "_Active"));
    knob.setRotateResolution(resolution);
    knob.setInfiniteRotationMode(false);
    knob.setRotaryMode(false);
    knob.addTarget(this, "valueEditFinished:", [this](Control& c) { valueEditFinished(as<TIControl>(c)); }, kUp);
    knob.addTarget(this, "valueEditAboutToStart:", [this](Control& c) { valueEditAboutToStart(as<TIControl>(c)); },
                   CE::TouchDown);
  };
  for (size_t i = 0; i < 7; ++i) configure(*synthKnobs_[i], kPanelPartParams[kSynthKnobSlots[i].tag], kSynthKnobSlots[i].image, 128);
  for (size_t i = 0; i < 3; ++i) {
    const PanelParamRow& row = kPanelEffectParams[kEffectKnobSlots[i].tag];
    configure(*effectKnobs_[i], row, kEffectKnobSlots[i].image, row.max + 1);
  }
  // The effect type wraps round past its last type.
  effectKnobs_[0]->setInfiniteRotationMode(true);

  UISliderButton& master = *masterKnobs_[0];
  master.setTag(0);
  configure(master, kPanelMasterParams[0], "Master_Volume_Knob", 128);
  master.setValue(synth_ ? synth_->masterParameter(0) : 0);
}

void Z31647ViewController::viewWillLayoutSubviews() {
  platform::ViewController::viewWillLayoutSubviews();
  platform::View* root = view();
  const Rect b = root->bounds();
  const double w = b.width();
  beatLed_->setFrame({214, 48, 17, 17});
  baseImageView_->setTransform(platform::AffineTransform::makeScale(w / kCanvasWidth, w / kCanvasWidth));
  baseImageView_->setFrame({0, std::trunc(b.midY() - 0.28125 * w), w, 0.5625 * w});
  // In root-view points, not scaled with the panel.
  if (notificationController_) notificationController_->view()->setFrame({b.maxX() - 324, 15, 324, 100});
  layoutOverlays();
}

platform::Rect Z31647ViewController::menuBarFrame(bool shown) const {
  const Rect b = const_cast<Z31647ViewController*>(this)->view()->bounds();
  return {b.minX(), shown ? b.minY() : b.minY() - 32.0, b.width(), 32.0};
}

void Z31647ViewController::detachViewController(platform::ViewController* child) {
  if (!child) return;
  child->viewWillDisappear(false);
  child->viewDidDisappear(false);
  child->willMoveToParentViewController(nullptr);
  if (child->isViewLoaded()) child->view()->removeFromSuperview();
  child->removeFromParentViewController();
}
