// The in-process MIDI system: devices seen by clients, notifications, input
// on the MIDI thread, disposal while a read proc runs, sends, virtual
// destinations between clients.
#include "platform/midi/loopback_midi.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>

#include "platform/runloop/run_loop.h"

namespace {

using platform::LoopbackMidiSystem;
using platform::MidiClient;
using platform::MidiEndpointRef;
using platform::MidiNotification;
using platform::MidiNotificationMessage;
using platform::MidiObjectType;
using platform::MidiPacketList;
using platform::MidiPortRef;
using platform::MidiProperty;
using platform::MidiStatus;
using Bytes = std::vector<uint8_t>;

struct Heard {
  std::mutex mutex;
  std::vector<std::pair<uint64_t, Bytes>> packets;
  std::vector<std::thread::id> threads;
  void add(const MidiPacketList& list) {
    std::lock_guard<std::mutex> lock(mutex);
    for (const auto& p : list) packets.emplace_back(p.timeStamp, p.data);
    threads.push_back(std::this_thread::get_id());
  }
  size_t count() {
    std::lock_guard<std::mutex> lock(mutex);
    return packets.size();
  }
};

class LoopbackMidi : public ::testing::Test {
 protected:
  void SetUp() override { platform::RunLoop::main().reset(); }
  void TearDown() override { platform::RunLoop::main().reset(); }

  std::unique_ptr<MidiClient> client(std::vector<MidiNotification>* notes = nullptr) {
    platform::MidiClientOptions o;
    if (notes) o.notify = [notes](const MidiNotification& n) { notes->push_back(n); };
    std::unique_ptr<MidiClient> c;
    EXPECT_EQ(system.createClient("test", std::move(o), &c), MidiStatus::Ok);
    return c;
  }

  LoopbackMidiSystem::Device device() {
    LoopbackMidiSystem::Device d;
    d.manufacturer = "Maker";
    d.model = "Box";
    d.sources = {"Box Out"};
    d.destinations = {"Box In"};
    return d;
  }

  LoopbackMidiSystem system;
};

TEST_F(LoopbackMidi, DevicesAreListedWithPropertiesAndEntity) {
  auto c = client();
  EXPECT_TRUE(c->sources().empty());
  const auto plugged = system.plug(device());
  ASSERT_EQ(plugged.sources.size(), 1u);
  ASSERT_EQ(plugged.destinations.size(), 1u);
  EXPECT_EQ(c->sources(), plugged.sources);
  EXPECT_EQ(c->destinations(), plugged.destinations);
  const MidiEndpointRef src = plugged.sources[0], dst = plugged.destinations[0];
  EXPECT_NE(src, 0u);
  EXPECT_NE(src, dst);
  EXPECT_EQ(c->stringProperty(src, MidiProperty::Name), "Box Out");
  EXPECT_EQ(c->stringProperty(dst, MidiProperty::Name), "Box In");
  EXPECT_EQ(c->stringProperty(src, MidiProperty::Manufacturer), "Maker");
  EXPECT_EQ(c->stringProperty(dst, MidiProperty::Model), "Box");
  ASSERT_TRUE(c->uniqueId(src));
  ASSERT_TRUE(c->uniqueId(dst));
  EXPECT_NE(*c->uniqueId(src), 0);
  EXPECT_NE(*c->uniqueId(src), *c->uniqueId(dst));
  EXPECT_NE(plugged.entity, 0u);
  EXPECT_EQ(c->endpointEntity(src), plugged.entity);
  EXPECT_EQ(c->endpointEntity(dst), plugged.entity);

  // A second device has endpoints and an entity of its own; a device
  // without entity and model answers 0 and no property.
  LoopbackMidiSystem::Device bare;
  bare.sources = {"Bare"};
  bare.hasEntity = false;
  const auto other = system.plug(bare);
  EXPECT_EQ(c->sources().size(), 2u);
  EXPECT_EQ(c->endpointEntity(other.sources[0]), 0u);
  EXPECT_FALSE(c->stringProperty(other.sources[0], MidiProperty::Model));

  EXPECT_NE(c->uniqueId(other.sources[0]), c->uniqueId(src));
  // A device that names its ids keeps them when plugged in again.
  LoopbackMidiSystem::Device named = device();
  named.uniqueIds = {-12345, 777};
  auto first = system.plug(named);
  system.unplug(first.entity);
  auto again = system.plug(named);
  EXPECT_NE(again.sources[0], first.sources[0]);
  EXPECT_EQ(c->uniqueId(again.sources[0]), -12345);
  EXPECT_EQ(c->uniqueId(again.destinations[0]), 777);
  system.unplug(again.entity);

  system.unplug(plugged.entity);
  EXPECT_FALSE(c->uniqueId(src));
  EXPECT_EQ(c->sources(), other.sources);
  EXPECT_TRUE(c->destinations().empty());
  EXPECT_FALSE(c->stringProperty(src, MidiProperty::Name));
  EXPECT_EQ(c->endpointEntity(src), 0u);
}

TEST_F(LoopbackMidi, NotificationsArriveOnTheDispatcherPerEndpoint) {
  std::vector<MidiNotification> notes;
  auto c = client(&notes);
  const auto p = system.plug(device());
  // Nothing before the run loop runs the posted blocks.
  EXPECT_TRUE(notes.empty());
  platform::RunLoop::main().drain();
  ASSERT_EQ(notes.size(), 2u);
  EXPECT_EQ(notes[0].message, MidiNotificationMessage::ObjectAdded);
  EXPECT_EQ(notes[0].childType, MidiObjectType::Source);
  EXPECT_EQ(notes[0].child, p.sources[0]);
  EXPECT_EQ(notes[0].parent, p.entity);
  EXPECT_EQ(notes[1].childType, MidiObjectType::Destination);
  EXPECT_EQ(notes[1].child, p.destinations[0]);
  notes.clear();
  system.unplug(p.entity);
  platform::RunLoop::main().drain();
  ASSERT_EQ(notes.size(), 2u);
  EXPECT_EQ(notes[0].message, MidiNotificationMessage::ObjectRemoved);
  EXPECT_EQ(notes[0].child, p.sources[0]);
  EXPECT_EQ(notes[1].message, MidiNotificationMessage::ObjectRemoved);
  EXPECT_EQ(notes[1].child, p.destinations[0]);
}

TEST_F(LoopbackMidi, NotificationForAClientThatIsGoneIsDropped) {
  std::vector<MidiNotification> notes;
  auto c = client(&notes);
  system.plug(device());
  c.reset();
  platform::RunLoop::main().drain();
  EXPECT_TRUE(notes.empty());
  EXPECT_EQ(system.clientCount(), 0u);
}

TEST_F(LoopbackMidi, InputReachesConnectedPortsOnTheMidiThreadWithItsStamp) {
  auto c = client();
  const auto p = system.plug(device());
  Heard a, b;
  MidiPortRef pa = 0, pb = 0;
  ASSERT_EQ(c->createInputPort("Input", [&](const MidiPacketList& l) { a.add(l); }, &pa), MidiStatus::Ok);
  ASSERT_EQ(c->createInputPort("Input", [&](const MidiPacketList& l) { b.add(l); }, &pb), MidiStatus::Ok);
  ASSERT_EQ(c->connectSource(pa, p.sources[0]), MidiStatus::Ok);
  // Connecting twice is harmless; a destination is not a source.
  EXPECT_EQ(c->connectSource(pa, p.sources[0]), MidiStatus::Ok);
  EXPECT_EQ(c->connectSource(pb, p.destinations[0]), MidiStatus::InvalidEndpoint);
  EXPECT_EQ(c->connectSource(12345, p.sources[0]), MidiStatus::InvalidPort);

  system.deliver(p.sources[0], {0x99, 0x24, 0x64}, 777);
  system.deliverPackets(p.sources[0], MidiPacketList{{0, {0xF8}}, {888, {0xB9, 7, 1}}});
  system.waitForDelivery();
  ASSERT_EQ(a.count(), 3u);
  EXPECT_EQ(a.packets[0], (std::pair<uint64_t, Bytes>{777, {0x99, 0x24, 0x64}}));
  EXPECT_EQ(a.packets[1], (std::pair<uint64_t, Bytes>{0, {0xF8}}));
  EXPECT_EQ(a.packets[2], (std::pair<uint64_t, Bytes>{888, {0xB9, 7, 1}}));
  EXPECT_EQ(a.threads[0], system.midiThreadId());
  EXPECT_NE(a.threads[0], std::this_thread::get_id());
  EXPECT_EQ(b.count(), 0u);

  ASSERT_EQ(c->disconnectSource(pa, p.sources[0]), MidiStatus::Ok);
  EXPECT_EQ(c->disconnectSource(pa, p.sources[0]), MidiStatus::InvalidEndpoint);
  system.deliver(p.sources[0], {0xFA});
  system.waitForDelivery();
  EXPECT_EQ(a.count(), 3u);
}

TEST_F(LoopbackMidi, DisposingAPortWaitsForItsRunningReadProc) {
  auto c = client();
  const auto p = system.plug(device());
  std::atomic<bool> entered{false};
  std::atomic<int> active{0}, calls{0};
  MidiPortRef port = 0;
  ASSERT_EQ(c->createInputPort("Input",
                               [&](const MidiPacketList&) {
                                 ++active;
                                 ++calls;
                                 entered = true;
                                 std::this_thread::sleep_for(std::chrono::milliseconds(50));
                                 --active;
                               },
                               &port),
            MidiStatus::Ok);
  ASSERT_EQ(c->connectSource(port, p.sources[0]), MidiStatus::Ok);
  for (int i = 0; i < 3; ++i) system.deliver(p.sources[0], {0xF8});
  while (!entered) std::this_thread::yield();
  ASSERT_EQ(c->disposePort(port), MidiStatus::Ok);
  // No proc was running when dispose returned, and none runs afterwards.
  EXPECT_EQ(active, 0);
  const int atDispose = calls;
  system.waitForDelivery();
  EXPECT_EQ(calls, atDispose);
  EXPECT_EQ(c->disposePort(port), MidiStatus::InvalidPort);
}

TEST_F(LoopbackMidi, SendsAreKeptPerDestinationAndChecked) {
  auto c = client();
  const auto p = system.plug(device());
  MidiPortRef out = 0, in = 0;
  ASSERT_EQ(c->createOutputPort("Output", &out), MidiStatus::Ok);
  ASSERT_EQ(c->createInputPort("Input", {}, &in), MidiStatus::Ok);
  const Bytes sysex{0xF0, 0x42, 0x40, 0x00, 0x01, 0x13, 0x00, 0x00, 0x00, 0x01, 0xF7};
  const Bytes cc{0xBF, 41, 127};
  EXPECT_EQ(c->send(out, p.destinations[0], sysex.data(), sysex.size()), MidiStatus::Ok);
  EXPECT_EQ(c->send(out, p.destinations[0], cc.data(), cc.size()), MidiStatus::Ok);
  EXPECT_EQ(system.sent(p.destinations[0]), (std::vector<Bytes>{sysex, cc}));

  const Bytes data{0x10, 0x20};
  struct Case {
    const char* what;
    MidiPortRef port;
    MidiEndpointRef destination;
    const Bytes* bytes;
    MidiStatus expected;
  } cases[] = {
      {"input port", in, p.destinations[0], &cc, MidiStatus::InvalidPort},
      {"unknown port", 999999, p.destinations[0], &cc, MidiStatus::InvalidPort},
      {"a source", out, p.sources[0], &cc, MidiStatus::InvalidEndpoint},
      {"unknown endpoint", out, 999999, &cc, MidiStatus::InvalidEndpoint},
      {"no status byte", out, p.destinations[0], &data, MidiStatus::InvalidArgument},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.what);
    EXPECT_EQ(c->send(k.port, k.destination, k.bytes->data(), k.bytes->size()), k.expected);
  }
  EXPECT_EQ(c->send(out, p.destinations[0], cc.data(), 0), MidiStatus::InvalidArgument);
  const auto taken = system.takeSent();
  ASSERT_EQ(taken.size(), 2u);
  EXPECT_EQ(taken[0].port, out);
  EXPECT_TRUE(system.sent(p.destinations[0]).empty());
}

TEST_F(LoopbackMidi, VirtualDestinationReceivesWhatAnotherClientSends) {
  std::vector<MidiNotification> notesA, notesB;
  auto a = client(&notesA);
  auto b = client(&notesB);
  Heard heard;
  MidiEndpointRef dest = 0;
  ASSERT_EQ(a->createDestination("iGROOVEBIX", [&](const MidiPacketList& l) { heard.add(l); }, &dest),
            MidiStatus::Ok);
  platform::RunLoop::main().drain();
  // The other client hears of it and lists it; its owner does neither.
  ASSERT_EQ(notesB.size(), 1u);
  EXPECT_EQ(notesB[0].message, MidiNotificationMessage::ObjectAdded);
  EXPECT_EQ(notesB[0].child, dest);
  EXPECT_EQ(b->destinations(), std::vector<MidiEndpointRef>{dest});
  EXPECT_TRUE(a->destinations().empty());
  EXPECT_EQ(b->stringProperty(dest, MidiProperty::Name), "iGROOVEBIX");
  EXPECT_TRUE(notesA.empty());

  MidiPortRef out = 0;
  ASSERT_EQ(b->createOutputPort("Output", &out), MidiStatus::Ok);
  const Bytes note{0x99, 0x26, 0x50};
  ASSERT_EQ(b->send(out, dest, note.data(), note.size()), MidiStatus::Ok);
  system.waitForDelivery();
  ASSERT_EQ(heard.count(), 1u);
  EXPECT_EQ(heard.packets[0].second, note);
  EXPECT_EQ(heard.threads[0], system.midiThreadId());

  notesB.clear();
  EXPECT_EQ(b->disposeEndpoint(dest), MidiStatus::InvalidEndpoint);  // not its own
  ASSERT_EQ(a->disposeEndpoint(dest), MidiStatus::Ok);
  platform::RunLoop::main().drain();
  ASSERT_EQ(notesB.size(), 1u);
  EXPECT_EQ(notesB[0].message, MidiNotificationMessage::ObjectRemoved);
  EXPECT_EQ(b->send(out, dest, note.data(), note.size()), MidiStatus::InvalidEndpoint);
}

TEST_F(LoopbackMidi, NetworkSessionHasUnlistedEndpointsAndKeepsItsSwitch) {
  auto c = client();
  platform::MidiNetworkSession& s = c->networkSession();
  EXPECT_FALSE(s.isEnabled());
  EXPECT_EQ(s.connectionPolicy(), platform::MidiNetworkSession::NoOne);
  ASSERT_NE(s.sourceEndpoint(), 0u);
  ASSERT_NE(s.destinationEndpoint(), 0u);
  EXPECT_TRUE(c->sources().empty());
  EXPECT_TRUE(c->destinations().empty());
  s.setEnabled(true);
  s.setConnectionPolicy(platform::MidiNetworkSession::Anyone);
  EXPECT_TRUE(s.isEnabled());
  EXPECT_EQ(s.connectionPolicy(), platform::MidiNetworkSession::Anyone);
  EXPECT_EQ(system.networkSessionChanges(), 2);

  Heard heard;
  MidiPortRef in = 0, out = 0;
  ASSERT_EQ(c->createInputPort("Input", [&](const MidiPacketList& l) { heard.add(l); }, &in), MidiStatus::Ok);
  ASSERT_EQ(c->connectSource(in, s.sourceEndpoint()), MidiStatus::Ok);
  system.deliver(s.sourceEndpoint(), {0xFC}, 5);
  system.waitForDelivery();
  EXPECT_EQ(heard.count(), 1u);
  ASSERT_EQ(c->createOutputPort("Output", &out), MidiStatus::Ok);
  const Bytes cc{0xB9, 1, 2};
  EXPECT_EQ(c->send(out, s.destinationEndpoint(), cc.data(), cc.size()), MidiStatus::Ok);
  EXPECT_EQ(system.sent(s.destinationEndpoint()), std::vector<Bytes>{cc});
}

TEST_F(LoopbackMidi, InjectedFailures) {
  system.setFailClientCreation(true);
  std::unique_ptr<MidiClient> c;
  std::string error;
  EXPECT_EQ(system.createClient("x", {}, &c, &error), MidiStatus::NoSystem);
  EXPECT_FALSE(c);
  EXPECT_FALSE(error.empty());
  system.setFailClientCreation(false);
  c = client();
  system.setFailPortCreation(true);
  MidiPortRef port = 0;
  MidiEndpointRef dest = 0;
  EXPECT_EQ(c->createInputPort("Input", {}, &port), MidiStatus::SystemError);
  EXPECT_EQ(c->createOutputPort("Output", &port), MidiStatus::SystemError);
  EXPECT_EQ(c->createDestination("d", {}, &dest), MidiStatus::SystemError);
  EXPECT_EQ(port, 0u);
  system.setFailPortCreation(false);
  EXPECT_EQ(c->createOutputPort("Output", &port), MidiStatus::Ok);
}

TEST_F(LoopbackMidi, UnplugWaitsForARunningReadProcAndDisconnects) {
  auto c = client();
  const auto p = system.plug(device());
  std::atomic<bool> inside{false};
  std::atomic<int> active{0};
  MidiPortRef port = 0;
  ASSERT_EQ(c->createInputPort("Input",
                               [&](const MidiPacketList&) {
                                 ++active;
                                 inside = true;
                                 std::this_thread::sleep_for(std::chrono::milliseconds(30));
                                 --active;
                               },
                               &port),
            MidiStatus::Ok);
  ASSERT_EQ(c->connectSource(port, p.sources[0]), MidiStatus::Ok);
  system.deliver(p.sources[0], {0xF8});
  while (!inside) std::this_thread::yield();
  system.unplug(p.entity);
  EXPECT_EQ(active, 0);
  // The connection went with the source.
  EXPECT_EQ(c->disconnectSource(port, p.sources[0]), MidiStatus::InvalidEndpoint);
}

}  // namespace
