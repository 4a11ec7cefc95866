// The sender port over a real JACK server (the dummy driver): names,
// "connected", the connection notices and the transport-driven trigger.

#include <gtest/gtest.h>
#include <jack/jack.h>
#include <jack/metadata.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

#include "platform/audio/audio_output_unit.h"
#include "platform/audio/audio_session.h"
#include "platform/audio/jack_test_support.h"
#include "platform/audiobus/audiobus.h"

using platform::ABTrigger;
using platform::AudioDriver;
using namespace std::chrono_literals;

namespace {

template <typename F>
bool waitFor(F condition, std::chrono::milliseconds timeout) {
  const auto end = std::chrono::steady_clock::now() + timeout;
  while (!condition()) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(5ms);
  }
  return true;
}

std::string prettyName(jack_client_t* client, const std::string& port) {
  jack_port_t* p = jack_port_by_name(client, port.c_str());
  if (!p) return "(no port)";
  char* value = nullptr;
  char* type = nullptr;
  if (jack_get_property(jack_port_uuid(p), JACK_METADATA_PRETTY_NAME, &value, &type) != 0) return "(none)";
  std::string out = value;
  jack_free(value);
  jack_free(type);
  return out;
}

class AudiobusJackTest : public ::testing::Test {
 protected:
  void SetUp() override {
    server_ = std::make_unique<jacktest::Server>(jacktest::uniqueServerName("ab"));
    ASSERT_TRUE(server_->start());
    jacktest::useServer(server_->name());
    unit_ = std::make_unique<platform::AudioOutputUnit>(session_);
    unit_->setDrivers({AudioDriver::Jack});
    port_ = std::make_shared<platform::ABAudioSenderPort>(
        "iGROOVEBIX for iPhone", "iGROOVEBIX Output",
        platform::AudioComponentDescription{platform::fourCharCode("aurg"), platform::fourCharCode("gbdi"),
                                            platform::fourCharCode("tesk"), 0, 0},
        unit_.get());
    ASSERT_TRUE(unit_->initialize());
    ASSERT_TRUE(unit_->start());
    controller_ = std::make_unique<platform::AudiobusController>("key");
    controller_->addConnectionsChangedObserver([this] { changes_.fetch_add(1); });
    controller_->addAudioSenderPort(port_);
  }
  void TearDown() override {
    controller_.reset();
    port_.reset();
    unit_.reset();
    if (server_) server_->stop();
  }

  std::unique_ptr<jacktest::Server> server_;
  platform::AudioSession session_;
  std::unique_ptr<platform::AudioOutputUnit> unit_;
  std::shared_ptr<platform::ABAudioSenderPort> port_;
  std::unique_ptr<platform::AudiobusController> controller_;
  std::atomic<int> changes_{0};
};

}  // namespace

TEST_F(AudiobusJackTest, PortsCarryTheNameAndTitle) {
  const std::vector<std::string> ports = unit_->jackPortNames();
  ASSERT_EQ(ports, (std::vector<std::string>{"iGROOVEBIX for iPhone:iGROOVEBIX Output L",
                                             "iGROOVEBIX for iPhone:iGROOVEBIX Output R"}));
  jacktest::Recorder other("igbtest reader", 16);
  ASSERT_TRUE(other.ok());
  EXPECT_EQ(prettyName(other.client(), ports[0]), "iGROOVEBIX Output");
  EXPECT_EQ(prettyName(other.client(), ports[1]), "iGROOVEBIX Output");
}

// Connected means another program reads the ports; the sound card's
// playback ports, which the output feeds from the start, do not count. Each
// change is posted; the observer asks connected() itself.
TEST_F(AudiobusJackTest, ConnectedWhileAnotherProgramReads) {
  ASSERT_EQ(unit_->jackConnections().size(), 2u) << "fed to the playback ports";
  EXPECT_FALSE(controller_->connected());

  std::mutex m;
  std::vector<bool> seen;
  controller_->addConnectionsChangedObserver([&] {
    std::lock_guard<std::mutex> lock(m);
    seen.push_back(controller_->connected());
  });
  auto last = [&]() -> std::optional<bool> {
    std::lock_guard<std::mutex> lock(m);
    return seen.empty() ? std::nullopt : std::optional<bool>(seen.back());
  };

  jacktest::Recorder reader("igbtest reader", 16);
  ASSERT_TRUE(reader.ok());
  const std::vector<std::string> ports = unit_->jackPortNames();
  ASSERT_TRUE(reader.connectFrom(ports[0], 0));
  ASSERT_TRUE(waitFor([&] { return last() == std::optional<bool>(true); }, 3s)) << "no connection notice";
  EXPECT_TRUE(controller_->connected());
  EXPECT_TRUE(port_->connected());

  ASSERT_TRUE(reader.connectFrom(ports[1], 1));
  ASSERT_TRUE(reader.disconnectFrom(ports[0], 0));
  std::this_thread::sleep_for(200ms);
  EXPECT_EQ(last(), std::optional<bool>(true)) << "still read on the other port";

  ASSERT_TRUE(reader.disconnectFrom(ports[1], 1));
  ASSERT_TRUE(waitFor([&] { return last() == std::optional<bool>(false); }, 3s)) << "no notice of the loss";
  EXPECT_FALSE(controller_->connected());
}

// A connection made and broken between two looks still gives a notice,
// after which connected() tells the truth.
TEST_F(AudiobusJackTest, BriefConnectionIsStillPosted) {
  const int before = changes_.load();
  jacktest::Recorder reader("igbtest reader", 16);
  ASSERT_TRUE(reader.ok());
  const std::vector<std::string> ports = unit_->jackPortNames();
  ASSERT_TRUE(reader.connectFrom(ports[0], 0));
  ASSERT_TRUE(reader.disconnectFrom(ports[0], 0));
  ASSERT_TRUE(waitFor([&] { return changes_.load() > before; }, 3s));
  EXPECT_FALSE(controller_->connected());
}

// The JACK transport presses the play/stop trigger when it moves the other
// way than the trigger shows.
TEST_F(AudiobusJackTest, TransportPressesThePlayStopTrigger) {
  std::atomic<int> presses{0};
  auto trigger = ABTrigger::triggerWithSystemType(ABTrigger::kSystemTypePlayToggle, [&](ABTrigger& t) {
    presses.fetch_add(1);
    t.setState(t.state() == ABTrigger::ABTriggerStateSelected ? ABTrigger::ABTriggerStateNormal
                                                              : ABTrigger::ABTriggerStateSelected);
  });
  controller_->addTrigger(trigger);
  jacktest::Recorder other("igbtest transport", 16);
  ASSERT_TRUE(other.ok());
  std::this_thread::sleep_for(200ms);  // the controller has seen the stopped transport
  EXPECT_EQ(presses.load(), 0);

  jack_transport_start(other.client());
  ASSERT_TRUE(waitFor([&] { return presses.load() == 1; }, 3s));
  EXPECT_EQ(trigger->state(), ABTrigger::ABTriggerStateSelected);

  jack_transport_stop(other.client());
  ASSERT_TRUE(waitFor([&] { return presses.load() == 2; }, 3s));
  EXPECT_EQ(trigger->state(), ABTrigger::ABTriggerStateNormal);

  // The program stopped from its side already: a transport start while the
  // trigger shows playing presses nothing.
  trigger->setState(ABTrigger::ABTriggerStateSelected);
  jack_transport_start(other.client());
  std::this_thread::sleep_for(300ms);
  EXPECT_EQ(presses.load(), 2);
}

TEST_F(AudiobusJackTest, RemovingThePortGivesThePlainNamesBack) {
  controller_->removeAudioSenderPort(port_);
  port_.reset();
  EXPECT_EQ(unit_->jackPortNames(), (std::vector<std::string>{"iGROOVEBIX for iPhone:out_1",
                                                              "iGROOVEBIX for iPhone:out_2"}));
}
