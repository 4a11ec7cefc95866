// The device manager over the in-process MIDI system: recognition of the
// supported controllers, connections as devices come and go with their
// messages, input reaching the engine's queue with its time stamps, the
// virtual destination, the clock-lost rule, the network switch and the
// controllers' lamps through the 0.1 s refresh.
#include "audio/midi/midi_device_manager.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include "midi_fixture.h"

namespace {

using miditest::Bytes;
using miditest::Lamps;
using platform::MidiEndpointRef;

constexpr const char* kMaker = "TESK INC.";
constexpr const char* kFader = "quillaCONTROL2";
constexpr const char* kPad = "quillaPAD2";

struct Entry {
  uint64_t hostTime;
  uint32_t kind, a, b;
  bool operator==(const Entry& o) const {
    return hostTime == o.hostTime && kind == o.kind && a == o.a && b == o.b;
  }
};
std::ostream& operator<<(std::ostream& os, const Entry& e) {
  return os << "{" << e.hostTime << ": " << e.kind << "," << e.a << "," << e.b << "}";
}

class DeviceManager : public miditest::MidiSystemTest {
 protected:
  void TearDown() override {
    manager.reset();
    // The process's manager too, if a case stopped before destroying it.
    MidiDeviceManager::destroyMidiDeviceManager();
    MidiSystemTest::TearDown();
  }

  MidiDeviceManager& make(bool native = true) {
    manager = std::make_unique<MidiDeviceManager>(synth, "iGROOVEBIX", native, loopback);
    return *manager;
  }

  std::vector<Entry> queued() {
    std::vector<Entry> out;
    for (const auto& e : drainQueue()) out.push_back({e.hostTime, e.kind, e.a, e.b});
    return out;
  }

  // The connections and outputs of devices: the network session's (which
  // the loopback has and the manager connects) left out.
  size_t deviceInputs() {
    const MidiEndpointRef net = loopback.networkSession().sourceEndpoint();
    size_t n = 0;
    for (MidiInputConnection* c : manager->inputs()) n += c->source() != net;
    return n;
  }
  size_t deviceOutputs() {
    const MidiEndpointRef net = loopback.networkSession().destinationEndpoint();
    size_t n = 0;
    for (MidiControllerOutput* o : manager->outputs()) n += o->destination() != net;
    return n;
  }

  std::unique_ptr<MidiDeviceManager> manager;
};

TEST_F(DeviceManager, RecognitionByNameOrByMakerAndModel) {
  struct Case {
    const char* name;
    const char* manufacturer;
    const char* model;
    uint32_t native;  // kind with native mode on
  } cases[] = {
      {"quillaPAD2 _ PAD", "", "", 2},
      {"quillaPAD2 _ CTRL", "", "", 2},
      {"quillaCONTROL2 _ CTRL", "", "", 1},
      {"quillaCONTROL2 _ SLIDER/KNOB", "", "", 1},
      {"quillaCONTROL2 _ PAD", "", "", 0},
      {"quillaPAD2 _ SLIDER/KNOB", "", "", 0},
      {"quillaPAD2", "", "", 0},
      {"USB MIDI 1", kMaker, kFader, 1},
      {"USB MIDI 1", kMaker, kPad, 2},
      {"USB MIDI 1", kMaker, "quillaKEY2", 0},
      {"USB MIDI 1", "TESK", kPad, 0},
      {"USB MIDI 1", "tesk inc.", kFader, 0},
      {"USB MIDI 1", "", kFader, 0},
      {"", kMaker, kPad, 2},
      {"Synth", "Other Maker", "Synth", 0},
  };
  auto c = std::make_unique<MidiDeviceManager>(synth, "iGROOVEBIX", true, loopback);
  auto off = std::make_unique<MidiDeviceManager>(synth, "iGROOVEBIX", false, loopback);
  for (const Case& k : cases) {
    SCOPED_TRACE(std::string(k.name) + " / " + k.manufacturer + " / " + k.model);
    const auto p = loopback.plug(device(k.name, k.manufacturer, k.model));
    EXPECT_EQ(c->controllerKind(p.sources[0]), k.native);
    EXPECT_EQ(c->controllerKind(p.destinations[0]), k.native);
    EXPECT_EQ(off->controllerKind(p.sources[0]), 0u);
  }
  EXPECT_EQ(c->controllerKind(0), 0u);
  c.reset();
  off.reset();
  drainMain();
}

TEST_F(DeviceManager, ConnectsWhatIsThereAndPairsADevicesPorts) {
  const auto fader = loopback.plug(device(std::string(kFader) + " _ CTRL", kMaker, kFader));
  const auto box = loopback.plug(device("Box", "Maker", "Box"));
  MidiDeviceManager& m = make();
  ASSERT_TRUE(m.hasClient());
  ASSERT_EQ(deviceInputs(), 2u);
  ASSERT_EQ(deviceOutputs(), 2u);
  MidiInputConnection* in = m.inputFor(fader.sources[0]);
  ASSERT_NE(in, nullptr);
  EXPECT_EQ(in->controllerKind(), MidiInputConnection::kFaderController);
  EXPECT_NE(m.inputPortFor(fader.sources[0]), 0u);
  EXPECT_EQ(in->controllerOutputs(), std::vector<MidiControllerOutput*>{m.outputFor(fader.destinations[0])});
  EXPECT_EQ(m.inputFor(box.sources[0])->controllerKind(), 0u);
  EXPECT_EQ(m.inputFor(box.sources[0])->controllerOutputs(),
            std::vector<MidiControllerOutput*>{m.outputFor(box.destinations[0])});
  // Only the controller was put into native mode.
  EXPECT_EQ(takeSent(fader.destinations[0]), miditest::setupMessages(0x13));
  EXPECT_TRUE(takeSent(box.destinations[0]).empty());
  // Nothing is posted for what was there at the start.
  drainMain();
  EXPECT_TRUE(messages.empty());

  // The virtual destination is there for other programs.
  EXPECT_NE(m.virtualDestination(), 0u);
  std::unique_ptr<platform::MidiClient> other;
  ASSERT_EQ(loopback.createClient("other", {}, &other), platform::MidiStatus::Ok);
  const auto dests = other->destinations();
  EXPECT_NE(std::find(dests.begin(), dests.end(), m.virtualDestination()), dests.end());
  EXPECT_EQ(other->stringProperty(m.virtualDestination(), platform::MidiProperty::Name), "iGROOVEBIX");
}

TEST_F(DeviceManager, PlugAndUnplugPostTheirMessages) {
  MidiDeviceManager& m = make();
  EXPECT_EQ(deviceInputs(), 0u);
  const auto pad = loopback.plug(device(std::string(kPad) + " _ PAD", kMaker, kPad));
  drainMain();
  EXPECT_EQ(messages, std::vector<std::string>{"Connected quillaPAD2 (Native)"});
  ASSERT_NE(m.inputFor(pad.sources[0]), nullptr);
  EXPECT_EQ(m.inputFor(pad.sources[0])->controllerKind(), MidiInputConnection::kPadController);
  ASSERT_NE(m.outputFor(pad.destinations[0]), nullptr);
  // Its input and output came as two notifications and still paired up.
  EXPECT_EQ(m.inputFor(pad.sources[0])->controllerOutputs().size(), 1u);
  EXPECT_EQ(takeSent(pad.destinations[0]), miditest::setupMessages(0x12));

  messages.clear();
  const auto box = loopback.plug(device("Box", "Maker", "Box"));
  auto bare = device("Bare", "", "", false);
  const auto noModel = loopback.plug(bare);
  drainMain();
  EXPECT_EQ(messages, (std::vector<std::string>{"Connected Box", "Connected "}));

  messages.clear();
  loopback.unplug(pad.entity);
  drainMain();
  EXPECT_EQ(messages, std::vector<std::string>{"Disconnected quillaPAD2"});
  EXPECT_EQ(m.inputFor(pad.sources[0]), nullptr);
  EXPECT_EQ(m.outputFor(pad.destinations[0]), nullptr);
  EXPECT_EQ(deviceInputs(), 2u);
  EXPECT_EQ(deviceOutputs(), 1u);

  // A destination going alone leaves its device's input without it.
  messages.clear();
  loopback.unplug(box.destinations[0]);
  drainMain();
  EXPECT_TRUE(messages.empty());
  ASSERT_NE(m.inputFor(box.sources[0]), nullptr);
  EXPECT_TRUE(m.inputFor(box.sources[0])->controllerOutputs().empty());
  EXPECT_EQ(deviceOutputs(), 0u);
  (void)noModel;
}

TEST_F(DeviceManager, NativeModeOffTreatsAControllerAsAnyDevice) {
  const auto fader = loopback.plug(device(std::string(kFader) + " _ CTRL", kMaker, kFader));
  MidiDeviceManager& m = make(false);
  EXPECT_EQ(m.inputFor(fader.sources[0])->controllerKind(), 0u);
  EXPECT_TRUE(takeSent(fader.destinations[0]).empty());
  m.updateControllerOutputs();
  m.resendControllerSetup();
  EXPECT_TRUE(takeSent(fader.destinations[0]).empty());
  // Its messages take the generic road: channel 10 notes play parts.
  loopback.deliver(fader.sources[0], {0x99, 38, 90}, 4242);
  loopback.waitForDelivery();
  EXPECT_EQ(queued(), (std::vector<Entry>{{4242, 0, 1, 90}}));
}

TEST_F(DeviceManager, InputReachesTheEngineQueueWithItsTimeStamps) {
  const auto box = loopback.plug(device("Box", "Maker", "Box"));
  const auto fader = loopback.plug(device(std::string(kFader) + " _ CTRL", kMaker, kFader));
  const auto pad = loopback.plug(device(std::string(kPad) + " _ PAD", kMaker, kPad));
  MidiDeviceManager& m = make();
  ASSERT_EQ(deviceInputs(), 3u);

  loopback.deliver(box.sources[0], {0x99, 0x24, 0x64}, 1000);
  loopback.deliverPackets(box.sources[0], {{2000, {0xB9, 35}}, {3000, {77}}});
  loopback.waitForDelivery();
  // A message split over two packets takes the stamp of its last byte.
  EXPECT_EQ(queued(), (std::vector<Entry>{{1000, 0, 0, 100}, {3000, 2, 35, 77}}));

  const uint64_t before = platform::hostTime();
  loopback.deliver(box.sources[0], {0x99, 0x26, 0x20}, 0);
  loopback.waitForDelivery();
  const uint64_t after = platform::hostTime();
  auto q = queued();
  ASSERT_EQ(q.size(), 1u);
  EXPECT_GE(q[0].hostTime, before);
  EXPECT_LE(q[0].hostTime, after);
  EXPECT_EQ(q[0].a, 1u);

  // The fader controller's Level fader of part 2 (mixer layout), and the
  // pad controller's first pad in scene 0.
  loopback.deliver(fader.sources[0], {0xBF, 2, 99}, 5000);
  loopback.deliver(pad.sources[0], {0x91, 64, 110}, 6000);
  loopback.waitForDelivery();
  EXPECT_EQ(queued(), (std::vector<Entry>{{5000, 3, 0x20006, 99}, {6000, 0, 0, 110}}));

  // What another program sends to the virtual destination.
  std::unique_ptr<platform::MidiClient> other;
  ASSERT_EQ(loopback.createClient("other", {}, &other), platform::MidiStatus::Ok);
  platform::MidiPortRef out = 0;
  ASSERT_EQ(other->createOutputPort("Output", &out), platform::MidiStatus::Ok);
  const Bytes note{0x99, 39, 70};
  const uint64_t sendTime = platform::hostTime();
  ASSERT_EQ(other->send(out, m.virtualDestination(), note.data(), note.size()), platform::MidiStatus::Ok);
  loopback.waitForDelivery();
  q = queued();
  ASSERT_EQ(q.size(), 1u);
  EXPECT_EQ(q[0].kind, 0u);
  EXPECT_EQ(q[0].a, 7u);
  EXPECT_GE(q[0].hostTime, sendTime);

  // After the device goes, nothing more of it arrives.
  loopback.unplug(box.entity);
  drainMain();
  loopback.deliver(box.sources[0], {0x99, 0x24, 0x64}, 7000);
  loopback.waitForDelivery();
  EXPECT_TRUE(queued().empty());
}

TEST_F(DeviceManager, VirtualDestinationOutlivesTheFirstSource) {
  const auto first = loopback.plug(device("First", "Maker", "First"));
  MidiDeviceManager& m = make();
  std::unique_ptr<platform::MidiClient> other;
  ASSERT_EQ(loopback.createClient("other", {}, &other), platform::MidiStatus::Ok);
  platform::MidiPortRef out = 0;
  ASSERT_EQ(other->createOutputPort("Output", &out), platform::MidiStatus::Ok);
  loopback.unplug(first.entity);
  drainMain();
  EXPECT_EQ(deviceInputs(), 0u);
  const Bytes note{0x99, 36, 50};
  ASSERT_EQ(other->send(out, m.virtualDestination(), note.data(), note.size()), platform::MidiStatus::Ok);
  loopback.waitForDelivery();
  ASSERT_EQ(queued().size(), 1u);

  // Also made when no source exists at all.
  manager.reset();
  MidiDeviceManager& empty = make();
  EXPECT_NE(empty.virtualDestination(), 0u);
  EXPECT_NE(empty.virtualDestinationInput(), nullptr);
}

TEST_F(DeviceManager, LosingTheOnlyClockSourceTellsTheEngine) {
  struct Case {
    const char* what;
    bool otherSentClock;
    bool internalAfter;
  } cases[] = {{"the other never sent a clock", false, true}, {"the other sent clocks too", true, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const auto a = loopback.plug(device("A", "Maker", "A"));
    const auto b = loopback.plug(device("B", "Maker", "B"));
    MidiDeviceManager& m = make();
    loopback.deliver(a.sources[0], {0xF8}, platform::hostTime());
    if (c.otherSentClock) loopback.deliver(b.sources[0], {0xF8}, platform::hostTime());
    loopback.waitForDelivery();
    renderNow();
    ASSERT_FALSE(synth->isInternalClock());
    EXPECT_TRUE(m.inputFor(a.sources[0])->clockSeen());
    loopback.unplug(a.entity);
    drainMain();
    renderNow();
    EXPECT_EQ(synth->isInternalClock(), c.internalAfter);
    manager.reset();
    loopback.unplug(b.entity);
    drainMain();
    // Back to the internal clock for the next case.
    synth->seq()->externalClockLost();
    renderNow();
  }
}

TEST_F(DeviceManager, NetworkSwitchConnectsAndDropsTheSessionQuietly) {
  platform::MidiNetworkSession& s = loopback.networkSession();
  MidiDeviceManager& m = make();
  EXPECT_TRUE(m.networkMidiEnabled());
  EXPECT_TRUE(s.isEnabled());
  EXPECT_EQ(s.connectionPolicy(), platform::MidiNetworkSession::Anyone);
  ASSERT_NE(m.inputFor(s.sourceEndpoint()), nullptr);
  ASSERT_NE(m.outputFor(s.destinationEndpoint()), nullptr);

  // The session's input reaches the engine like any device's.
  loopback.deliver(s.sourceEndpoint(), {0x99, 40, 10}, 77);
  loopback.waitForDelivery();
  EXPECT_EQ(queued(), (std::vector<Entry>{{77, 0, 2, 10}}));

  const int changes = loopback.networkSessionChanges();
  m.setNetworkMidiEnabled(true);  // no change
  EXPECT_EQ(loopback.networkSessionChanges(), changes);

  m.setNetworkMidiEnabled(false);
  EXPECT_FALSE(s.isEnabled());
  EXPECT_EQ(s.connectionPolicy(), platform::MidiNetworkSession::NoOne);
  EXPECT_EQ(m.inputFor(s.sourceEndpoint()), nullptr);
  EXPECT_EQ(m.outputFor(s.destinationEndpoint()), nullptr);
  const int offChanges = loopback.networkSessionChanges();
  m.setNetworkMidiEnabled(false);
  EXPECT_EQ(loopback.networkSessionChanges(), offChanges);

  m.setNetworkMidiEnabled(true);
  EXPECT_NE(m.inputFor(s.sourceEndpoint()), nullptr);
  EXPECT_NE(m.outputFor(s.destinationEndpoint()), nullptr);
  drainMain();
  EXPECT_TRUE(messages.empty());

  // The session is put back as it was found.
  manager.reset();
  EXPECT_FALSE(s.isEnabled());
  EXPECT_EQ(s.connectionPolicy(), platform::MidiNetworkSession::NoOne);
}

TEST_F(DeviceManager, FaderLayoutButtonsReachTheLampsThroughTheRefresh) {
  const auto fader = loopback.plug(device(std::string(kFader) + " _ CTRL", kMaker, kFader));
  MidiDeviceManager& m = make();
  takeSent(fader.destinations[0]);
  synth->setCurrentPart(2);
  m.updateControllerOutputs();
  Lamps lamps;
  lamps.apply(takeSent(fader.destinations[0]));
  EXPECT_EQ(lamps.at(41), 0);
  EXPECT_NE(lamps.row(32), "????????");

  // The "next layout" button; a release (value 0) does nothing.
  loopback.deliver(fader.sources[0], {0xBF, 59, 127, 0xBF, 59, 0}, 1);
  loopback.waitForDelivery();
  EXPECT_EQ(m.inputFor(fader.sources[0])->layoutIndex(), 1);
  std::string seen;
  for (int i = 0; i < 10; ++i) {
    m.updateControllerOutputs();
    lamps.apply(takeSent(fader.destinations[0]));
    seen += lamps.row(32)[0];
  }
  EXPECT_EQ(seen, ".#..##.##.");
  m.updateControllerOutputs();
  lamps.apply(takeSent(fader.destinations[0]));
  EXPECT_EQ(lamps.row(32), "........");
  EXPECT_EQ(lamps.row(64), "..#.....");
  // A transport button reaches the sequencer and its lamp follows.
  loopback.deliver(fader.sources[0], {0xBF, 41, 127}, platform::hostTime());
  loopback.waitForDelivery();
  renderNow();
  renderNow();
  m.updateControllerOutputs();
  lamps.apply(takeSent(fader.destinations[0]));
  EXPECT_EQ(lamps.at(41), 127);
}

TEST_F(DeviceManager, TwoLayoutPressesBetweenRefreshesRestartTheBlink) {
  const auto fader = loopback.plug(device(std::string(kFader) + " _ CTRL", kMaker, kFader));
  MidiDeviceManager& m = make();
  takeSent(fader.destinations[0]);
  m.updateControllerOutputs();
  Lamps lamps;
  lamps.apply(takeSent(fader.destinations[0]));
  auto press = [&] {
    loopback.deliver(fader.sources[0], {0xBF, 58, 127}, 1);
    loopback.waitForDelivery();
  };
  press();
  for (int i = 0; i < 4; ++i) m.updateControllerOutputs();
  // Out of the layout and back in before the next refresh.
  press();
  press();
  ASSERT_EQ(m.inputFor(fader.sources[0])->layoutIndex(), 1);
  std::string seen;
  for (int i = 0; i < 11; ++i) {
    m.updateControllerOutputs();
    lamps.apply(takeSent(fader.destinations[0]));
    seen += lamps.row(32)[0];
  }
  EXPECT_EQ(seen, ".#..##.##..") << "the whole blink again, then dark";
}

TEST_F(DeviceManager, PadSceneButtonReachesTheSceneLamps) {
  const auto pad = loopback.plug(device(std::string(kPad) + " _ PAD", kMaker, kPad));
  MidiDeviceManager& m = make();
  takeSent(pad.destinations[0]);
  m.updateControllerOutputs();
  EXPECT_EQ(takeSent(pad.destinations[0]),
            (std::vector<Bytes>{{0xBF, 121, 0}, {0xBF, 122, 0}, {0xBF, 123, 0}, {0xBF, 124, 0}}));
  loopback.deliver(pad.sources[0], {0xBF, 57, 127, 0xBF, 57, 127, 0xBF, 57, 127}, 1);
  loopback.waitForDelivery();
  m.updateControllerOutputs();
  EXPECT_EQ(takeSent(pad.destinations[0]), (std::vector<Bytes>{{0xBF, 123, 127}}));
  m.resendControllerSetup();
  EXPECT_EQ(takeSent(pad.destinations[0]), miditest::setupMessages(0x12));
  // The lamps are not sent again after a set-up.
  m.updateControllerOutputs();
  EXPECT_TRUE(takeSent(pad.destinations[0]).empty());
}

TEST_F(DeviceManager, WithoutAClientEverythingIsEmptyAndSafe) {
  loopback.plug(device("Box", "Maker", "Box"));
  loopback.setFailClientCreation(true);
  MidiDeviceManager& m = make();
  EXPECT_FALSE(m.hasClient());
  EXPECT_FALSE(m.clientError().empty());
  EXPECT_TRUE(m.inputs().empty());
  EXPECT_TRUE(m.outputs().empty());
  EXPECT_EQ(m.virtualDestination(), 0u);
  m.updateControllerOutputs();
  m.resendControllerSetup();
  m.setNetworkMidiEnabled(false);
  EXPECT_FALSE(loopback.networkSession().isEnabled());
  EXPECT_EQ(m.addSource(123), nullptr);
}

TEST_F(DeviceManager, AConnectionWithoutAPortReceivesNothing) {
  const auto box = loopback.plug(device("Box", "Maker", "Box"));
  loopback.setFailPortCreation(true);
  MidiDeviceManager& m = make();
  loopback.setFailPortCreation(false);
  ASSERT_NE(m.inputFor(box.sources[0]), nullptr);
  EXPECT_EQ(m.inputPortFor(box.sources[0]), 0u);
  EXPECT_EQ(m.virtualDestination(), 0u);
  loopback.deliver(box.sources[0], {0x99, 0x24, 0x64}, 1);
  loopback.waitForDelivery();
  EXPECT_TRUE(queued().empty());
  // A second add of a known source makes nothing.
  EXPECT_EQ(m.addSource(box.sources[0]), nullptr);
  EXPECT_EQ(deviceInputs(), 1u);
}

TEST_F(DeviceManager, UnplugWhileInputArrivesIsSafe) {
  MidiDeviceManager& m = make();
  for (int round = 0; round < 20; ++round) {
    const auto box = loopback.plug(device("Box", "Maker", "Box"));
    drainMain();
    ASSERT_NE(m.inputFor(box.sources[0]), nullptr);
    for (int i = 0; i < 50; ++i) loopback.deliver(box.sources[0], {0x99, 0x24, 0x64, 0xF8}, 1);
    loopback.unplug(box.entity);
    drainMain();
    EXPECT_EQ(m.inputFor(box.sources[0]), nullptr);
  }
  loopback.waitForDelivery();
  drainQueue();
}

TEST_F(DeviceManager, TheProcessManager) {
  MidiDeviceManager* m = MidiDeviceManager::createMidiDeviceManager(synth, true, loopback);
  ASSERT_NE(m, nullptr);
  EXPECT_EQ(MidiDeviceManager::instance(), m);
  EXPECT_TRUE(m->hasClient());
  EXPECT_EQ(loopback.clientCount(), 1u);
  MidiDeviceManager::destroyMidiDeviceManager();
  EXPECT_EQ(MidiDeviceManager::instance(), nullptr);
  EXPECT_EQ(loopback.clientCount(), 0u);

  // Over the ALSA sequencer: a manager always, a client when the kernel has one.
  MidiDeviceManager* alsa = MidiDeviceManager::createMidiDeviceManager(synth, true);
  ASSERT_NE(alsa, nullptr);
  EXPECT_EQ(alsa->hasClient(), ::access("/dev/snd/seq", R_OK | W_OK) == 0) << alsa->clientError();
  MidiDeviceManager::destroyMidiDeviceManager();
}

}  // namespace
