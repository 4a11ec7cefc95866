// The two layers' hooks: the faces of the function buttons and the caption
// under them swap with the layer, the shift layer ends recording, lends the
// solo button to the function buttons and ignores recording news, and every
// return to the normal layer shows the engine's cross, ring and solo state.

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>

#include "controls/image_manager.h"
#include "modes/panel_host.h"

namespace {

// The panel host with the bundle's images and the caption it was given.
class ImagePanelHost : public PanelHost {
 public:
  ImageManager* imageManager() const override { return images(); }
  void setFunctionCaption(const std::string& name) override { caption = name; }

  static ImageManager* images() {
    static ImageManager* manager = new ImageManager(std::filesystem::path(IGB_BUNDLE_DIR), 2);
    return manager;
  }

  std::string caption;
};

class LayersTest : public ::testing::Test {
 protected:
  struct Faces {
    ImageId normal, active, selected, pressed;
  };
  void expectFaces(TIButton* b, Faces f, const char* what) {
    ImageManager* m = ImagePanelHost::images();
    EXPECT_EQ(b->imageNormal(), m->uiimage(f.normal)) << what;
    EXPECT_EQ(b->imageActive(), m->uiimage(f.active)) << what;
    EXPECT_EQ(b->imageSelected(), m->uiimage(f.selected)) << what;
    EXPECT_EQ(b->imageHighlighted(), m->uiimage(f.pressed)) << what;
  }
  void enter(UiStateIndex i) { host.stateMediator().changeState(&host, i); }
  Synth& synth() { return *host.synth(); }

  ImagePanelHost host;
};

}  // namespace

TEST_F(LayersTest, TheFunctionButtonsFacesAndCaptionSwapWithTheLayer) {
  for (ImageId id : {33, 36, 324, 327, 330, 333, 336, 339, 345}) ASSERT_NE(ImagePanelHost::images()->uiimage(id), nullptr) << id;
  enter(6);
  EXPECT_EQ(host.caption, "ShiftSilk.png");
  expectFaces(host.muteButton(), {327, 328, 328, 329}, "clear part");
  expectFaces(host.soloButton(), {324, 325, 325, 326}, "clear motion");
  expectFaces(host.effectSendButton(), {333, 334, 334, 335}, "copy step");
  expectFaces(host.patternSetButton(), {330, 331, 331, 332}, "move data");
  EXPECT_EQ(host.tapTempoButton()->imageNormal(), nullptr) << "the tap-tempo button keeps its images";

  enter(0);
  EXPECT_EQ(host.caption, "NormalSilk.png");
  expectFaces(host.muteButton(), {33, 34, 35, 39}, "mute");
  expectFaces(host.soloButton(), {36, 37, 38, 40}, "solo");
  expectFaces(host.tapTempoButton(), {336, 337, 337, 338}, "tap tempo");
  expectFaces(host.effectSendButton(), {345, 346, 346, 348}, "effect send");
  expectFaces(host.patternSetButton(), {339, 340, 340, 341}, "pattern set");

  // Into the shift layer straight from a function mode: the shift faces again.
  enter(1);
  enter(8);
  EXPECT_EQ(host.caption, "ShiftSilk.png");
  expectFaces(host.muteButton(), {327, 328, 328, 329}, "clear part from mute");
  // A switch inside a layer leaves the faces alone.
  host.caption.clear();
  enter(6);
  EXPECT_TRUE(host.caption.empty());
}

TEST_F(LayersTest, ReturningToTheNormalLayerShowsCrossRingAndSoloAsTheEngineHasThem) {
  enter(6);
  synth().setCrossRingMod(2);
  synth().setSoloMode(true);
  host.crossButton()->setButtonState(1);
  host.utilButtonMediator()->setButtonSelected(5, false);
  enter(0);
  EXPECT_EQ(host.crossButton()->buttonState(), 0);
  EXPECT_EQ(host.ringButton()->buttonState(), 1);
  EXPECT_EQ(host.soloButton()->buttonState(), 1);
  EXPECT_EQ(host.utilButtonMediator()->selected(), RadioButtonMediator::kNone);
  enter(6);
  EXPECT_EQ(host.soloButton()->buttonState(), 0) << "the solo button is Clear motion in the shift layer";
  synth().setSoloMode(false);
  synth().setCrossRingMod(1);
  enter(0);
  EXPECT_EQ(host.crossButton()->buttonState(), 1);
  EXPECT_EQ(host.ringButton()->buttonState(), 0);
  EXPECT_EQ(host.soloButton()->buttonState(), 0);
}

TEST_F(LayersTest, TheShiftLayerEndsRecordingAndIgnoresRecordingAndSolo) {
  host.setRecording(1);
  host.recordButton()->setOn(true);
  host.playButton()->enableBlink(true);
  host.effectSendButton()->setEnabled(false);
  host.stepJumpButton()->setButtonState(1);
  enter(6);
  EXPECT_EQ(host.recording(), 0u);
  EXPECT_FALSE(host.recordButton()->isOn());
  EXPECT_FALSE(host.playButton()->readyToBlink());
  EXPECT_TRUE(host.effectSendButton()->isEnabled());
  EXPECT_EQ(host.stepJumpButton()->buttonState(), 0);

  Z31647State& shifted = host.mode();
  synth().startSequencer(0);
  host.render();
  ASSERT_TRUE(synth().isPlaying());
  shifted.recordingStatusChanged(&host, true);
  EXPECT_EQ(host.recording(), 0u);
  EXPECT_FALSE(host.recordButton()->isOn());
  // Even with the flag forced on, MIDI recordings do nothing here.
  host.setRecording(1);
  host.stepTwice = 2 * 4;
  shifted.synthNoteRecFromMidi(&host, 2);
  shifted.synthParameterRecFromMidi(&host, 2, kPitch, 9);
  shifted.effecrParameterRecFromMidi(&host, 0, 1, 9);
  EXPECT_FALSE(synth().step(2, 4));
  EXPECT_TRUE(shifted.synthEvent().empty());
  EXPECT_TRUE(shifted.fxEvent().empty());
  // The solo handler does nothing as solo in this layer.
  shifted.soloButtonPushed(&host, host.soloButton());
  EXPECT_FALSE(synth().soloMode());
  EXPECT_EQ(host.soloButton()->buttonState(), 0);
}
