#include "controls/lcd_manager.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/runloop/run_loop.h"

namespace {

// A display that remembers what the manager told it.
class RecordingLCD : public LCDDisplay {
 public:
  void setTitle(const std::string& t) override { title_ = t; }
  void setValue(const std::string& v) override { value_ = v; }
  const std::string& title() const override { return title_; }
  const std::string& value() const override { return value_; }
  void setMessageType(int64_t t) override { type_ = t; }
  int64_t messageType() const override { return type_; }
  void setEnabled(bool e) override { enabled_ = e; }
  bool isEnabled() const override { return enabled_; }
  void setSignOn(int64_t sign, bool on) override { signCalls.emplace_back(sign, on); }
  void setPartSignIndex(int32_t i) override { partIndexCalls.push_back(i); }

  std::vector<std::pair<int64_t, bool>> signCalls;
  std::vector<int32_t> partIndexCalls;

 private:
  std::string title_, value_;
  int64_t type_ = 0;
  bool enabled_ = true;
};

// The manager driven by a repeating 0.05 s timer on a run loop with a
// virtual clock, as the main screen drives it.
class LCDManagerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    loop.bindToCurrentThread();
    loop.setClock(clock);
    manager.setLcd(lcd);
    timer = loop.scheduleTimer(LCDManager::kTickSeconds, true, [this](platform::Timer&) {
      ++ticks;
      manager.refreshDisplay();
    });
  }
  void TearDown() override { timer->invalidate(); }

  // One interface tick of virtual time (a hair more, so that rounding of
  // the due times never leaves a tick for the next step).
  void tick() {
    const int before = ticks;
    loop.advanceBy(LCDManager::kTickSeconds + 1e-7);
    ASSERT_EQ(ticks, before + 1);
  }
  void post(const char* detail, const char* title, LCDMessageType type) {
    manager.appendMessage(LCDMessage::message(detail, title, type));
  }
  struct Frame {
    std::string title;
    LCDMessageType type;
    bool enabled;
  };
  // The display after each of the next `n` ticks (index 0 = tick 1).
  std::vector<Frame> run(int n) {
    std::vector<Frame> frames;
    for (int i = 0; i < n; ++i) {
      tick();
      frames.push_back({lcd->title(), lcd->messageType(), lcd->isEnabled()});
    }
    return frames;
  }

  platform::RunLoop loop;
  std::shared_ptr<platform::VirtualClock> clock = std::make_shared<platform::VirtualClock>();
  std::shared_ptr<RecordingLCD> lcd = std::make_shared<RecordingLCD>();
  LCDManager manager;
  std::shared_ptr<platform::Timer> timer;
  int ticks = 0;
};

TEST_F(LCDManagerTest, AMessageIsShownAtOnceWithTitleAboveDetail) {
  post("120.0", "TEMPO", 0);
  EXPECT_EQ(lcd->title(), "TEMPO");
  EXPECT_EQ(lcd->value(), "120.0");
  EXPECT_EQ(manager.currentMessageType(), 0);
  EXPECT_EQ(manager.messageOfType(0)->detail(), "120.0");
}

TEST_F(LCDManagerTest, ValueMessageRevertsOnThe34thTick) {
  post("120.0", "TEMPO", 0);
  post("64", "CUTOFF", 1);
  const std::vector<Frame> f = run(40);
  for (int t = 1; t <= 33; ++t) {
    EXPECT_EQ(f[t - 1].title, "CUTOFF") << t;
    EXPECT_TRUE(f[t - 1].enabled) << t;
  }
  EXPECT_EQ(f[33].title, "TEMPO");  // tick 34
  EXPECT_EQ(f[33].type, 0);
  EXPECT_EQ(lcd->value(), "120.0");
  EXPECT_EQ(f[39].title, "TEMPO");
}

TEST_F(LCDManagerTest, ValueMessageRevertsOnePointSevenSecondsAfterItCame) {
  post("120.0", "TEMPO", 0);
  const double start = clock->now();  // a tick is due every 0.05 s from here
  post("64", "CUTOFF", 1);
  // The clock read in steps much finer than the tick, so the time of the
  // revert is measured, not counted in ticks.
  constexpr double kStep = 0.001;
  while (lcd->title() == "CUTOFF" && clock->now() - start < 3.0) loop.advanceBy(kStep);
  EXPECT_EQ(lcd->title(), "TEMPO");
  EXPECT_NEAR(clock->now() - start, 1.7, 2 * kStep);
}

TEST_F(LCDManagerTest, ASecondValueMessageRestartsTheCount) {
  post("120.0", "TEMPO", 0);
  post("64", "CUTOFF", 1);
  run(20);
  post("65", "CUTOFF", 1);
  const std::vector<Frame> f = run(40);
  for (int t = 1; t <= 33; ++t) EXPECT_EQ(f[t - 1].title, "CUTOFF") << t;
  EXPECT_EQ(f[33].title, "TEMPO");
  // The newer value message never became the one to return to.
  EXPECT_EQ(manager.previousMessageType(), 0);
}

TEST_F(LCDManagerTest, NoticeBlinksInItsLastTicksAndReverts) {
  post("120.0", "TEMPO", 0);
  post("SAVED", "PATTERN", 3);
  const std::vector<Frame> f = run(70);
  std::vector<int> blank;
  for (int t = 1; t <= 65; ++t) {
    EXPECT_EQ(f[t - 1].title, "PATTERN") << t;
    if (!f[t - 1].enabled) blank.push_back(t);
  }
  // Steady for 49 ticks, then one blank tick in every four (fresh blink counter).
  EXPECT_EQ(blank, std::vector<int>({54, 58, 62}));
  EXPECT_EQ(f[65].title, "TEMPO");  // tick 66
  EXPECT_TRUE(f[65].enabled);
  EXPECT_EQ(f[65].type, 0);
}

TEST_F(LCDManagerTest, PendingChoiceBlinksEveryFiveTicksWithoutTimeOut) {
  post("120.0", "TEMPO", 0);
  post("A-01 FUNK", "PATTERN", 2);
  const std::vector<Frame> f = run(200);
  for (int t = 1; t <= 200; ++t) {
    // Shown 1-5, blank 6-10, shown 11-15, ...: a period of 10 ticks, 0.5 s.
    const bool shown = ((t - 1) / 5) % 2 == 0;
    EXPECT_EQ(f[t - 1].enabled, shown) << t;
    EXPECT_EQ(f[t - 1].title, "PATTERN") << t;
  }
}

TEST_F(LCDManagerTest, NoticeOverAPendingChoiceReturnsToTheChoice) {
  post("120.0", "TEMPO", 0);
  post("A-01", "PATTERN", 2);
  run(7);  // into a blank phase
  post("LOADED", "NOTICE", 3);
  EXPECT_EQ(manager.previousMessageType(), 2);
  std::vector<Frame> f = run(66);
  EXPECT_TRUE(f[0].enabled);  // a notice re-enables the display
  EXPECT_EQ(f[64].title, "NOTICE");
  EXPECT_EQ(f[65].title, "PATTERN");
  EXPECT_EQ(f[65].type, 2);
  // Back to blinking.
  f = run(20);
  int blanks = 0;
  for (const Frame& fr : f) blanks += fr.enabled ? 0 : 1;
  EXPECT_EQ(blanks, 10);
}

TEST_F(LCDManagerTest, SteadyMessageDuringABlankPhaseShowsOnTheNextTick) {
  post("A-01", "PATTERN", 2);
  run(6);
  ASSERT_FALSE(lcd->isEnabled());
  post("120.0", "TEMPO", 0);
  // Written into the hidden cells at once ...
  EXPECT_EQ(lcd->title(), "TEMPO");
  EXPECT_FALSE(lcd->isEnabled());
  // ... and shown from the next tick.
  tick();
  EXPECT_TRUE(lcd->isEnabled());
  EXPECT_EQ(manager.previousMessageType(), 2);
}

TEST_F(LCDManagerTest, SteadyTypesClearTheOriginalValueFlagTemporaryTypesKeepIt) {
  const struct {
    LCDMessageType type;
    bool flagAfter;
  } cases[] = {{0, false}, {1, true}, {2, false}, {3, true}};
  for (const auto& c : cases) {
    manager.setOriginalValue(true);
    post("x", "y", c.type);
    EXPECT_EQ(manager.isOriginalValue(), c.flagAfter) << c.type;
  }
}

TEST_F(LCDManagerTest, FlagsAreForwardedOnlyWhenTheyChange) {
  manager.setShowsCurrentPart(true);  // already on at start
  manager.setCurrentPartIndex(0);     // already 0
  manager.setOriginalValue(false);
  EXPECT_TRUE(lcd->signCalls.empty());
  EXPECT_TRUE(lcd->partIndexCalls.empty());
  manager.setOriginalValue(true);
  manager.setShowsCurrentPart(false);
  manager.setCurrentPartIndex(5);
  manager.setCurrentPartIndex(5);
  using Call = std::pair<int64_t, bool>;
  EXPECT_EQ(lcd->signCalls, (std::vector<Call>{{1, true}, {3, false}}));
  EXPECT_EQ(lcd->partIndexCalls, std::vector<int32_t>({5}));
  EXPECT_EQ(manager.currentPartIndex(), 5);
}

TEST_F(LCDManagerTest, MotionRecordingSignFollowsTheCountWhileRecording) {
  using Call = std::pair<int64_t, bool>;
  manager.motionRecordingSignOn();
  manager.motionRecordingSignOn();
  manager.motionRecordingSignOff();
  EXPECT_EQ(manager.motionRecordingCount(), 1);
  // Not recording: sign 2 is asked off each time.
  EXPECT_EQ(lcd->signCalls, (std::vector<Call>{{2, false}, {2, false}, {2, false}}));
  lcd->signCalls.clear();
  manager.setRecording(true);
  EXPECT_EQ(lcd->signCalls, (std::vector<Call>{{0, true}, {2, true}}));
  lcd->signCalls.clear();
  manager.motionRecordingSignOff();
  EXPECT_EQ(lcd->signCalls, (std::vector<Call>{{2, false}}));
  lcd->signCalls.clear();
  manager.setRecording(true);
  EXPECT_TRUE(lcd->signCalls.empty());
}

TEST_F(LCDManagerTest, DisplayWritesTheRowsOnly) {
  post("120.0", "TEMPO", 0);
  post("64", "CUTOFF", 1);
  run(10);
  manager.display("RAW", "DIRECT");
  EXPECT_EQ(lcd->title(), "DIRECT");
  EXPECT_EQ(lcd->value(), "RAW");
  EXPECT_EQ(manager.currentMessageType(), 1);
  EXPECT_EQ(manager.messageOfType(1)->title(), "CUTOFF");
  EXPECT_EQ(manager.displayDurationCounter(), 10u);
  // The value message still times out on schedule.
  const std::vector<Frame> f = run(24);
  EXPECT_EQ(f[22].title, "DIRECT");
  EXPECT_EQ(f[23].title, "TEMPO");
}

TEST_F(LCDManagerTest, UnknownTypeIsShownSteadilyButKeptInNoSlot) {
  post("120.0", "TEMPO", 0);
  post("??", "ODD", 7);
  EXPECT_EQ(lcd->title(), "ODD");
  EXPECT_EQ(manager.messageOfType(7), nullptr);
  EXPECT_EQ(manager.messageOfType(-1), nullptr);
  run(100);
  EXPECT_EQ(lcd->title(), "ODD");
  EXPECT_TRUE(lcd->isEnabled());
  // It never becomes the one to return to.
  post("64", "CUTOFF", 1);
  EXPECT_EQ(manager.previousMessageType(), 0);
}

TEST(LCDManagerWithoutDisplayTest, EveryOperationIsHarmless) {
  LCDManager manager;
  manager.appendMessage(LCDMessage::message("a", "b", 1));
  manager.appendMessage(nullptr);
  for (int i = 0; i < 100; ++i) manager.refreshDisplay();
  manager.doBlink();
  manager.display("x", "y");
  manager.setRecording(true);
  manager.motionRecordingSignOn();
  EXPECT_EQ(manager.currentMessageType(), 0);
  EXPECT_EQ(manager.messageOfType(1)->title(), "b");
}

}  // namespace
