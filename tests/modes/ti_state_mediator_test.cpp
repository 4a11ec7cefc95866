// The mediator's switching rule: which hooks run, in which order, on which
// objects, within a layer and across layers; and the mode objects of the
// mediator in use.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "modes/ti_state_mediator.h"

namespace {

std::vector<std::string> gLog;

// A mode that only writes down its hooks.
class RecordingState : public Z31647State {
 public:
  explicit RecordingState(int index) : index_(index) {}
  void stateChanged(EditModeHost*) override { log("stateChanged"); }
  void stateWillBeLeft(EditModeHost*) override { log("stateWillBeLeft"); }
  void modeChanged(EditModeHost*) override { log("modeChanged"); }
  void modeWillBeLeft(EditModeHost*) override { log("modeWillBeLeft"); }

 private:
  void log(const char* hook) { gLog.push_back(std::to_string(index_) + " " + hook); }
  int index_;
};

class RecordingMediator : public TIStateMediator {
 public:
  RecordingMediator() {
    for (int i = 0; i < ui_state::kCount; ++i) states_[static_cast<size_t>(i)] = std::make_shared<RecordingState>(i);
    currentState_ = states_[0];
  }
  std::shared_ptr<Z31647State> getState(UiStateIndex index) const override {
    if (index < 0 || index >= ui_state::kCount) return nullptr;
    return states_[static_cast<size_t>(index)];
  }
  std::shared_ptr<Z31647State> states_[ui_state::kCount];
};

class MediatorTest : public ::testing::Test {
 protected:
  void SetUp() override { gLog.clear(); }
  RecordingMediator m;
};

}  // namespace

TEST_F(MediatorTest, SwitchesRunTheHooksOfTheirKind) {
  struct Case {
    UiStateIndex from, to;
    std::vector<std::string> hooks;
  };
  const Case cases[] = {
      {0, 0, {}},
      {0, 1, {"0 stateWillBeLeft", "1 stateChanged"}},
      {1, 8, {"1 modeWillBeLeft", "1 stateWillBeLeft", "8 stateChanged", "8 modeChanged"}},
      {6, 0, {"6 modeWillBeLeft", "6 stateWillBeLeft", "0 stateChanged", "0 modeChanged"}},
      {5, 6, {"5 modeWillBeLeft", "5 stateWillBeLeft", "6 stateChanged", "6 modeChanged"}},
      {7, 12, {"7 stateWillBeLeft", "12 stateChanged"}},
      {4, 4, {}},
  };
  for (const Case& c : cases) {
    m.changeState(nullptr, c.from);
    ASSERT_EQ(m.currentStateIndex(), c.from);
    gLog.clear();
    m.changeState(nullptr, c.to);
    EXPECT_EQ(gLog, c.hooks) << c.from << " -> " << c.to;
    EXPECT_EQ(m.currentStateIndex(), c.to);
    EXPECT_EQ(m.currentState(), m.getState(c.to).get());
  }
}

TEST_F(MediatorTest, LayerOfAnIndexAndTheCrossingQuestion) {
  for (UiStateIndex i = 0; i < ui_state::kCount; ++i) {
    m.changeState(nullptr, i);
    EXPECT_EQ(m.currentMode(), i > 5 ? 1 : 0) << i;
  }
  m.changeState(nullptr, 5);
  EXPECT_TRUE(m.modeWillChange(6));
  EXPECT_FALSE(m.modeWillChange(0));
  m.changeState(nullptr, 6);
  EXPECT_TRUE(m.modeWillChange(5));
  EXPECT_FALSE(m.modeWillChange(12));
}

TEST_F(MediatorTest, AnIndexWithoutAModeChangesNothing) {
  m.changeState(nullptr, 3);
  gLog.clear();
  m.changeState(nullptr, 13);
  m.changeState(nullptr, -1);
  EXPECT_TRUE(gLog.empty());
  EXPECT_EQ(m.currentStateIndex(), 3);
}

TEST(UiStateMediatorTest, StartsInNormalWithThirteenModesMadeOnce) {
  Z31647UiStateMediator m;
  EXPECT_EQ(m.currentStateIndex(), 0);
  EXPECT_EQ(m.currentMode(), 0);
  EXPECT_NE(dynamic_cast<Z31647UiStateNormal*>(m.currentState()), nullptr);
  EXPECT_EQ(m.currentState(), m.states()[0].get());
  // The class of each index.
  EXPECT_NE(dynamic_cast<Z31647UiStateMute*>(m.getState(1).get()), nullptr);
  EXPECT_NE(dynamic_cast<Z31647UiStateAccent*>(m.getState(2).get()), nullptr);
  EXPECT_NE(dynamic_cast<Z31647UiStateEffect*>(m.getState(3).get()), nullptr);
  EXPECT_NE(dynamic_cast<Z31647UiStatePatternSet*>(m.getState(4).get()), nullptr);
  EXPECT_NE(dynamic_cast<GBXUiStateStepJump*>(m.getState(5).get()), nullptr);
  EXPECT_NE(dynamic_cast<Z31647UiStateShifted*>(m.getState(6).get()), nullptr);
  EXPECT_NE(dynamic_cast<Z31647UiStateStepCopy*>(m.getState(7).get()), nullptr);
  EXPECT_NE(dynamic_cast<Z31647UiStatePartClear*>(m.getState(8).get()), nullptr);
  EXPECT_NE(dynamic_cast<Z31647UiStateMotionClear*>(m.getState(9).get()), nullptr);
  EXPECT_NE(dynamic_cast<Z31647UiStateRandomizeSynth*>(m.getState(10).get()), nullptr);
  EXPECT_NE(dynamic_cast<Z31647UiStateRandomizePattern*>(m.getState(11).get()), nullptr);
  EXPECT_NE(dynamic_cast<Z31647UiStateMoveData*>(m.getState(12).get()), nullptr);
  // Normal-layer modes derive from Normal, shift-layer ones from Shifted.
  for (UiStateIndex i = 0; i < 6; ++i) EXPECT_NE(dynamic_cast<Z31647UiStateNormal*>(m.getState(i).get()), nullptr);
  for (UiStateIndex i = 6; i < 13; ++i) EXPECT_NE(dynamic_cast<Z31647UiStateShifted*>(m.getState(i).get()), nullptr);
  // One object per mode, the same on every visit.
  for (UiStateIndex i = 0; i < 6; ++i) EXPECT_EQ(m.getState(i), m.states()[static_cast<size_t>(i)]);
  for (UiStateIndex i = 6; i < 13; ++i) EXPECT_EQ(m.getState(i), m.states2()[static_cast<size_t>(i - 6)]);
  EXPECT_EQ(m.getState(13), nullptr);
  EXPECT_EQ(m.getState(-1), nullptr);
}

TEST(UiStateMediatorTest, TheAbstractMediatorHasNoModes) {
  TIStateMediator m;
  EXPECT_EQ(m.getState(0), nullptr);
  EXPECT_EQ(m.currentState(), nullptr);
}
