// The bytes the supported controllers get: the native-mode set-up, the
// transport lamps and the three rows of the fader controller with the blink
// after a layout change, and the pad controller's scene lamps.
#include "audio/midi/midi_controller_output.h"

#include <gtest/gtest.h>

#include "midi_fixture.h"

namespace {

using miditest::Bytes;
using miditest::Lamps;

class ControllerOutput : public miditest::MidiSystemTest {
 protected:
  void SetUp() override {
    MidiSystemTest::SetUp();
    ASSERT_EQ(loopback.createClient("test", {}, &client), platform::MidiStatus::Ok);
    fader = loopback.plug(device("fader", "", "")).destinations[0];
    pad = loopback.plug(device("pad", "", "")).destinations[0];
    // A quiet record: no part muted, no FX send.
    for (int p = 0; p < 8; ++p) {
      synth->setPartMute(p, 0);
      synth->setPartParameter(p, 11, 0);
    }
  }
  void TearDown() override {
    client.reset();
    MidiSystemTest::TearDown();
  }

  std::unique_ptr<platform::MidiClient> client;
  platform::MidiEndpointRef fader = 0, pad = 0;
};

TEST_F(ControllerOutput, NativeModeSetUpOnCreationPerKind) {
  struct Case {
    const char* what;
    uint32_t kind;
    std::vector<Bytes> expected;
  } cases[] = {
      {"fader controller", MidiControllerOutput::kFaderController, miditest::setupMessages(0x13)},
      {"pad controller", MidiControllerOutput::kPadController, miditest::setupMessages(0x12)},
      {"any other device", MidiControllerOutput::kAnyDevice, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    MidiControllerOutput out(synth, client.get(), fader, c.kind);
    EXPECT_NE(out.outputPort(), 0u);
    EXPECT_EQ(takeSent(fader), c.expected);
    // Returning to the foreground sends the same again.
    out.sendSetupSysEx(MidiControllerOutput::kNativeMode);
    EXPECT_EQ(takeSent(fader), c.expected);
  }
  EXPECT_EQ(miditest::setupMessage(0x13, 5),
            (Bytes{0xF0, 0x42, 0x45, 0x00, 0x01, 0x13, 0x00, 0x00, 0x00, 0x01, 0xF7}));
}

TEST_F(ControllerOutput, WithoutPortOrDestinationNothingIsSent) {
  {
    MidiControllerOutput noClient(synth, nullptr, fader, MidiControllerOutput::kFaderController);
    EXPECT_EQ(noClient.outputPort(), 0u);
    noClient.refreshFirstController(0);
  }
  loopback.setFailPortCreation(true);
  {
    MidiControllerOutput noPort(synth, client.get(), fader, MidiControllerOutput::kFaderController);
    EXPECT_EQ(noPort.outputPort(), 0u);
    noPort.sendControlChange(41, 127);
  }
  loopback.setFailPortCreation(false);
  {
    MidiControllerOutput noDestination(synth, client.get(), 0, MidiControllerOutput::kPadController);
    noDestination.refreshSecondController(2);
  }
  EXPECT_TRUE(loopback.takeSent().empty());
}

TEST_F(ControllerOutput, FirstRefreshSendsEveryLampThenOnlyChanges) {
  MidiControllerOutput out(synth, client.get(), fader, MidiControllerOutput::kFaderController);
  takeSent(fader);
  synth->setPartMute(2, 1);
  synth->setPartParameter(5, 11, 1);
  out.refreshFirstController(0);
  std::vector<Bytes> expected{{0xBF, 41, 0}, {0xBF, 45, 0}, {0xBF, 46, 0}};
  for (uint8_t i = 0; i < 8; ++i) expected.push_back({0xBF, static_cast<uint8_t>(32 + i), 0});
  for (uint8_t i = 0; i < 8; ++i) expected.push_back({0xBF, static_cast<uint8_t>(48 + i), uint8_t(i == 2 ? 127 : 0)});
  for (uint8_t i = 0; i < 8; ++i) expected.push_back({0xBF, static_cast<uint8_t>(64 + i), uint8_t(i == 5 ? 127 : 0)});
  EXPECT_EQ(takeSent(fader), expected);

  out.refreshFirstController(0);
  EXPECT_TRUE(takeSent(fader).empty());

  synth->setPartMute(2, 0);
  synth->setPartMute(7, 1);
  out.refreshFirstController(0);
  EXPECT_EQ(takeSent(fader), (std::vector<Bytes>{{0xBF, 50, 0}, {0xBF, 55, 127}}));

  // Solo lights the soloed part's button.
  synth->setSoloMode(true);
  synth->setPartSolo(3, true, true);
  out.refreshFirstController(0);
  Lamps lamps;
  lamps.apply(takeSent(fader));
  EXPECT_EQ(lamps.at(35), 127);
  EXPECT_EQ(lamps.at(32), -1);  // unchanged lamps are not sent
}

TEST_F(ControllerOutput, TransportLampsFollowTheSequencer) {
  MidiControllerOutput out(synth, client.get(), fader, MidiControllerOutput::kFaderController);
  out.refreshFirstController(0);
  takeSent(fader);
  synth->startSequencer(platform::hostTime());
  synth->setLoop(true);
  synth->seq()->setRecording(platform::hostTime(), true);
  renderNow();
  renderNow();
  ASSERT_TRUE(synth->isPlaying());
  out.refreshFirstController(0);
  EXPECT_EQ(takeSent(fader), (std::vector<Bytes>{{0xBF, 41, 127}, {0xBF, 45, 127}, {0xBF, 46, 127}}));
  synth->stopSequencer(platform::hostTime());
  renderNow();
  renderNow();
  out.refreshFirstController(0);
  Lamps lamps;
  lamps.apply(takeSent(fader));
  EXPECT_EQ(lamps.at(41), 0);
}

TEST_F(ControllerOutput, LayoutChangeBlinksTheAnnouncedRowForTenRefreshes) {
  struct Case {
    int32_t layout;
    int announcedBase;  // the row that blinks
    int otherBase;
  } cases[] = {{1, 32, 48}, {0, 48, 32}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.layout);
    MidiControllerOutput out(synth, client.get(), fader, MidiControllerOutput::kFaderController);
    synth->setCurrentPart(5);
    synth->setPartMute(1, 1);
    Lamps lamps;
    out.refreshFirstController(c.layout == 1 ? 0 : 1);
    lamps.apply(takeSent(fader));
    out.setLayout(c.layout);
    EXPECT_EQ(out.blinkCountdown(), 10);
    EXPECT_EQ(out.layoutIndex(), c.layout);
    std::string seen;
    for (int refresh = 1; refresh <= 10; ++refresh) {
      out.refreshFirstController(c.layout);
      lamps.apply(takeSent(fader));
      const std::string announced = lamps.row(c.announcedBase);
      ASSERT_TRUE(announced == "########" || announced == "........") << announced;
      seen += announced[0];
      EXPECT_EQ(lamps.row(c.otherBase), "........") << refresh;
      EXPECT_EQ(lamps.row(64), "........") << refresh;
    }
    // Lit on the 2nd, 5th, 6th, 8th and 9th refresh.
    EXPECT_EQ(seen, ".#..##.##.");
    EXPECT_EQ(out.blinkCountdown(), 0);
    out.refreshFirstController(c.layout);
    lamps.apply(takeSent(fader));
    if (c.layout == 1) {
      EXPECT_EQ(lamps.row(32), "........");
      EXPECT_EQ(lamps.row(48), "........");
      EXPECT_EQ(lamps.row(64), ".....#..");
    } else {
      EXPECT_EQ(lamps.row(48), ".#......");
    }
    synth->setPartMute(1, 0);
  }
}

TEST_F(ControllerOutput, BlinkFrameSendsTheWholeRowAtOnce) {
  MidiControllerOutput out(synth, client.get(), fader, MidiControllerOutput::kFaderController);
  out.refreshFirstController(0);
  takeSent(fader);
  out.setLayout(1);
  out.refreshFirstController(1);  // countdown 10: dark, as everything already is
  EXPECT_TRUE(takeSent(fader).empty());
  out.refreshFirstController(1);  // countdown 9: the solo row lights
  std::vector<Bytes> expected;
  for (uint8_t i = 0; i < 8; ++i) expected.push_back({0xBF, static_cast<uint8_t>(32 + i), 127});
  EXPECT_EQ(takeSent(fader), expected);
}

TEST_F(ControllerOutput, PadControllerSceneLamps) {
  MidiControllerOutput out(synth, client.get(), pad, MidiControllerOutput::kPadController);
  EXPECT_EQ(takeSent(pad).size(), 16u);
  out.refreshSecondController(3);
  EXPECT_EQ(takeSent(pad), (std::vector<Bytes>{{0xBF, 121, 0}, {0xBF, 122, 0}, {0xBF, 123, 127}, {0xBF, 124, 0}}));
  out.refreshSecondController(3);
  EXPECT_TRUE(takeSent(pad).empty());
  out.refreshSecondController(0);
  EXPECT_EQ(takeSent(pad), (std::vector<Bytes>{{0xBF, 123, 0}}));
  out.refreshSecondController(1);
  EXPECT_EQ(takeSent(pad), (std::vector<Bytes>{{0xBF, 121, 127}}));
  // Each refresh acts on its own kind only; an out-of-range scene lights none.
  out.refreshFirstController(0);
  EXPECT_TRUE(takeSent(pad).empty());
  out.refreshSecondController(7);
  EXPECT_EQ(takeSent(pad), (std::vector<Bytes>{{0xBF, 121, 0}}));
  MidiControllerOutput faderOut(synth, client.get(), fader, MidiControllerOutput::kFaderController);
  takeSent(fader);
  faderOut.refreshSecondController(2);
  EXPECT_TRUE(takeSent(fader).empty());
}

}  // namespace
