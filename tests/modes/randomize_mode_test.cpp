// The randomize pattern and randomize synth modes: a press rewrites the
// pressed part, then selects it, and the panel shows the new data.

#include <array>

#include "modes/function_mode_fixture.h"
#include "modes/z31647_ui_state_randomize.h"

namespace {

class RandomizeTest : public FunctionModeTest {
 protected:
  void SetUp() override {
    FunctionModeTest::SetUp();
    globalSettings()->set(GlobalSettings::kPreviewSounds, 0);
    synth().randomizer().seed(20261210u);
    // Each press adds triggers on about a fifth of the steps.
    synth().setRandomizeAmount(0, 8);
  }
  std::array<uint8_t, kNumSteps> steps(int part) {
    std::array<uint8_t, kNumSteps> out{};
    for (int s = 0; s < kNumSteps; ++s) out[static_cast<size_t>(s)] = rec().sequencerParams.trigger[part][s];
    return out;
  }
  std::array<int32_t, 9> sound(int part) {
    std::array<int32_t, 9> out{};
    for (int i = 0; i <= 8; ++i) out[static_cast<size_t>(i)] = rec().synthParams[part][i];
    return out;
  }
};

}  // namespace

TEST_F(RandomizeTest, RandomizePatternRewritesThePressedPartsStepsThenSelectsAndShowsIt) {
  enter(ui_state::kRandomizePattern);
  ASSERT_EQ(host.currentPart(), 0u);
  const auto other = steps(0);
  const auto before = steps(3);
  host.mode().partButtonPushed(&host, 3);
  const auto first = steps(3);
  EXPECT_NE(first, before);
  EXPECT_EQ(steps(0), other) << "only the pressed part changes";
  EXPECT_EQ(host.currentPart(), 3u);
  EXPECT_EQ(parts().selected(), 3u);
  for (int s = 0; s < 16; ++s) {
    EXPECT_EQ(synth().step(3, s), first[static_cast<size_t>(s)] != 0) << "the sequencer took step " << s;
    EXPECT_EQ(host.seqView()->getButton(s)->isActive(), first[static_cast<size_t>(s)] != 0) << s;
  }
  // Again: randomized anew.
  host.mode().partButtonPushed(&host, 3);
  EXPECT_NE(steps(3), first);
}

TEST_F(RandomizeTest, RandomizeSynthRewritesThePressedPartsSoundThenShowsItsKnobs) {
  enter(ui_state::kRandomizeSynth);
  const auto other = sound(0);
  const auto before = sound(5);
  host.mode().partButtonPushed(&host, 5);
  const auto first = sound(5);
  EXPECT_NE(first, before);
  EXPECT_EQ(sound(0), other);
  EXPECT_EQ(host.currentPart(), 5u);
  EXPECT_EQ(host.synthPitchKnob()->value(), first[kPitch]);
  EXPECT_EQ(host.synthDecayKnob()->value(), first[kDecay]);
  EXPECT_EQ(synth().partParameter(5, kLevel), first[kLevel]) << "applied to the part";
  host.mode().partButtonPushed(&host, 5);
  EXPECT_NE(sound(5), first);
}
