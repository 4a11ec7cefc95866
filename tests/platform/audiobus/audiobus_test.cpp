// The sender port, trigger and controller without a JACK server.

#include <gtest/gtest.h>

#include "platform/audio/audio_output_unit.h"
#include "platform/audio/audio_session.h"
#include "platform/audiobus/audiobus.h"

using platform::ABTrigger;

TEST(Audiobus, FourCharacterCodesAreBigEndianPacked) {
  EXPECT_EQ(platform::fourCharCode("aurg"), 0x61757267u);
  EXPECT_EQ(platform::fourCharCode("gbdi"), 0x67626469u);
  EXPECT_EQ(platform::fourCharCode("tesk"), 0x7465736Bu);
}

TEST(Audiobus, TriggerPressRunsItsBlockWhichSetsTheState) {
  int presses = 0;
  auto trigger = ABTrigger::triggerWithSystemType(ABTrigger::kSystemTypePlayToggle, [&](ABTrigger& t) {
    ++presses;
    t.setState(t.state() == ABTrigger::ABTriggerStateSelected ? ABTrigger::ABTriggerStateNormal
                                                              : ABTrigger::ABTriggerStateSelected);
  });
  EXPECT_EQ(trigger->systemType(), 2);
  EXPECT_EQ(trigger->state(), ABTrigger::ABTriggerStateNormal);
  trigger->press();
  EXPECT_EQ(presses, 1);
  EXPECT_EQ(trigger->state(), ABTrigger::ABTriggerStateSelected);
  trigger->press();
  EXPECT_EQ(trigger->state(), ABTrigger::ABTriggerStateNormal);
}

TEST(Audiobus, WithoutJackNothingIsConnected) {
  platform::AudioSession session;
  platform::AudioOutputUnit unit(session);
  unit.setDrivers({platform::AudioDriver::Null});
  ASSERT_TRUE(unit.initialize());
  platform::AudiobusController controller("key");
  EXPECT_EQ(controller.apiKey(), "key");
  auto port = std::make_shared<platform::ABAudioSenderPort>(
      "Sender", "Sender Output",
      platform::AudioComponentDescription{platform::fourCharCode("aurg"), platform::fourCharCode("gbdi"),
                                          platform::fourCharCode("tesk"), 0, 0},
      &unit);
  EXPECT_EQ(port->name(), "Sender");
  EXPECT_EQ(port->title(), "Sender Output");
  EXPECT_EQ(port->audioUnit(), &unit);
  EXPECT_EQ(port->audioComponentDescription().componentSubType, platform::fourCharCode("gbdi"));
  int changes = 0;
  controller.addConnectionsChangedObserver([&] { ++changes; });
  controller.addAudioSenderPort(port);
  EXPECT_FALSE(port->connected());
  EXPECT_FALSE(controller.connected());
  EXPECT_EQ(changes, 0);
  controller.removeAudioSenderPort(port);
}
