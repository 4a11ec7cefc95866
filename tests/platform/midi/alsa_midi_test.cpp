// The ALSA sequencer back end against sequencer clients of the test's own
// (a "device" made with alsa-lib directly). Without the kernel sequencer
// only the error report can be checked; the rest is skipped, saying why.
#include <alsa/asoundlib.h>
#include <poll.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <thread>

#include "platform/foundation/host_time.h"
#include "platform/midi/midi.h"
#include "platform/runloop/run_loop.h"

namespace {

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

bool haveSequencer() { return ::access("/dev/snd/seq", R_OK | W_OK) == 0; }

#define SKIP_WITHOUT_SEQUENCER()                                                                          \
  if (!haveSequencer()) GTEST_SKIP() << "no ALSA sequencer in this machine's kernel (/dev/snd/seq is "   \
                                        "missing: load snd-seq to run the sequencer tests)"

// Runs the main loop until `done` or two seconds pass.
bool pumpUntil(const std::function<bool()>& done) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(2);
  while (!done()) {
    if (std::chrono::steady_clock::now() > end) return false;
    platform::RunLoop::main().runOnce(0.01);
  }
  return true;
}

// A sequencer client standing for a device: one port that can be read from
// and written to.
class RawDevice {
 public:
  RawDevice() {
    if (snd_seq_open(&seq_, "default", SND_SEQ_OPEN_DUPLEX, 0) < 0) return;
    snd_seq_set_client_name(seq_, "igb test device");
    client_ = snd_seq_client_id(seq_);
    snd_midi_event_new(256, &coder_);
    snd_midi_event_no_status(coder_, 1);
  }
  ~RawDevice() {
    if (coder_) snd_midi_event_free(coder_);
    if (seq_) snd_seq_close(seq_);
  }
  bool ok() const { return seq_ && coder_; }
  int client() const { return client_; }
  int makePort() {
    port_ = snd_seq_create_simple_port(seq_, "igb test port",
                                       SND_SEQ_PORT_CAP_READ | SND_SEQ_PORT_CAP_SUBS_READ | SND_SEQ_PORT_CAP_WRITE |
                                           SND_SEQ_PORT_CAP_SUBS_WRITE,
                                       SND_SEQ_PORT_TYPE_MIDI_GENERIC | SND_SEQ_PORT_TYPE_APPLICATION);
    return port_;
  }
  void deletePort() { snd_seq_delete_simple_port(seq_, port_); }
  // Sends the bytes to the port's subscribers, or to `client:port`.
  void send(const Bytes& bytes, int destClient = -1, int destPort = 0) {
    snd_midi_event_reset_encode(coder_);
    for (uint8_t b : bytes) {
      snd_seq_event_t ev;
      snd_seq_ev_clear(&ev);
      if (snd_midi_event_encode_byte(coder_, b, &ev) != 1) continue;
      snd_seq_ev_set_source(&ev, port_);
      if (destClient < 0) snd_seq_ev_set_subs(&ev);
      else snd_seq_ev_set_dest(&ev, destClient, destPort);
      snd_seq_ev_set_direct(&ev);
      snd_seq_event_output_direct(seq_, &ev);
    }
  }
  // The bytes of the next event written to the port (empty after 2 s).
  Bytes receive() {
    pollfd fds[4];
    const int n = snd_seq_poll_descriptors(seq_, fds, 4, POLLIN);
    if (::poll(fds, static_cast<nfds_t>(n), 2000) <= 0) return {};
    snd_seq_event_t* ev = nullptr;
    if (snd_seq_event_input(seq_, &ev) < 0 || !ev) return {};
    if (ev->type == SND_SEQ_EVENT_SYSEX) {
      const auto* p = static_cast<const uint8_t*>(ev->data.ext.ptr);
      return Bytes(p, p + ev->data.ext.len);
    }
    uint8_t buf[16];
    snd_midi_event_reset_decode(coder_);
    const long len = snd_midi_event_decode(coder_, buf, sizeof buf, ev);
    return len > 0 ? Bytes(buf, buf + len) : Bytes{};
  }

 private:
  snd_seq_t* seq_ = nullptr;
  snd_midi_event_t* coder_ = nullptr;
  int client_ = -1;
  int port_ = -1;
};

struct Heard {
  std::mutex mutex;
  std::vector<std::pair<uint64_t, Bytes>> packets;
  void add(const MidiPacketList& l) {
    std::lock_guard<std::mutex> lock(mutex);
    for (const auto& p : l) packets.emplace_back(p.timeStamp, p.data);
  }
  size_t count() {
    std::lock_guard<std::mutex> lock(mutex);
    return packets.size();
  }
};

class AlsaMidi : public ::testing::Test {
 protected:
  void SetUp() override { platform::RunLoop::main().reset(); }
  void TearDown() override { platform::RunLoop::main().reset(); }

  std::unique_ptr<MidiClient> open() {
    platform::MidiClientOptions o;
    o.notify = [this](const MidiNotification& n) { notes.push_back(n); };
    std::unique_ptr<MidiClient> c;
    std::string error;
    EXPECT_EQ(platform::alsaMidiSystem().createClient("igb test", std::move(o), &c, &error), MidiStatus::Ok) << error;
    return c;
  }
  bool heardOf(MidiNotificationMessage m, MidiObjectType t, MidiEndpointRef* ref = nullptr) {
    for (const auto& n : notes) {
      if (n.message == m && n.childType == t) {
        if (ref) *ref = n.child;
        return true;
      }
    }
    return false;
  }

  std::vector<MidiNotification> notes;
};

TEST_F(AlsaMidi, ReportsAClearErrorWithoutTheKernelSequencer) {
  if (haveSequencer()) GTEST_SKIP() << "the kernel sequencer is present; this case checks its absence";
  std::unique_ptr<MidiClient> c;
  std::string error;
  EXPECT_EQ(platform::alsaMidiSystem().createClient("igb test", {}, &c, &error), MidiStatus::NoSystem);
  EXPECT_FALSE(c);
  EXPECT_NE(error.find("ALSA sequencer is not available"), std::string::npos) << error;
  EXPECT_NE(error.find("/dev/snd/seq"), std::string::npos) << error;
  // No error sink is fine too.
  EXPECT_EQ(platform::alsaMidiSystem().createClient("igb test", {}, &c), MidiStatus::NoSystem);
}

TEST_F(AlsaMidi, ADeviceComesIsListedAndGoes) {
  SKIP_WITHOUT_SEQUENCER();
  auto c = open();
  ASSERT_TRUE(c);
  RawDevice dev;
  ASSERT_TRUE(dev.ok());
  ASSERT_GE(dev.makePort(), 0);
  MidiEndpointRef src = 0, dst = 0;
  ASSERT_TRUE(pumpUntil([&] {
    return heardOf(MidiNotificationMessage::ObjectAdded, MidiObjectType::Source, &src) &&
           heardOf(MidiNotificationMessage::ObjectAdded, MidiObjectType::Destination, &dst);
  }));
  EXPECT_NE(src, dst);
  const auto sources = c->sources();
  EXPECT_NE(std::find(sources.begin(), sources.end(), src), sources.end());
  const auto dests = c->destinations();
  EXPECT_NE(std::find(dests.begin(), dests.end(), dst), dests.end());
  EXPECT_EQ(c->stringProperty(src, MidiProperty::Name), "igb test port");
  EXPECT_EQ(c->stringProperty(dst, MidiProperty::Name), "igb test port");
  // A software client has no card, so no USB strings.
  EXPECT_FALSE(c->stringProperty(src, MidiProperty::Model));
  EXPECT_NE(c->endpointEntity(src), 0u);
  EXPECT_EQ(c->endpointEntity(src), c->endpointEntity(dst));
  // Ids: one per direction, the same for the same port in a second client.
  ASSERT_TRUE(c->uniqueId(src));
  ASSERT_TRUE(c->uniqueId(dst));
  EXPECT_NE(*c->uniqueId(src), *c->uniqueId(dst));
  auto second = open();
  ASSERT_TRUE(second);
  EXPECT_EQ(second->uniqueId(src), c->uniqueId(src));
  second.reset();

  notes.clear();
  dev.deletePort();
  ASSERT_TRUE(pumpUntil([&] {
    return heardOf(MidiNotificationMessage::ObjectRemoved, MidiObjectType::Source) &&
           heardOf(MidiNotificationMessage::ObjectRemoved, MidiObjectType::Destination);
  }));
  const auto after = c->sources();
  EXPECT_EQ(std::find(after.begin(), after.end(), src), after.end());
}

TEST_F(AlsaMidi, InputIsStampedWithHostTimeAndOutputArrivesAsSent) {
  SKIP_WITHOUT_SEQUENCER();
  RawDevice dev;
  ASSERT_TRUE(dev.ok());
  ASSERT_GE(dev.makePort(), 0);
  auto c = open();
  ASSERT_TRUE(c);
  MidiEndpointRef src = 0, dst = 0;
  for (MidiEndpointRef r : c->sources()) {
    if (c->stringProperty(r, MidiProperty::Name) == "igb test port") src = r;
  }
  for (MidiEndpointRef r : c->destinations()) {
    if (c->stringProperty(r, MidiProperty::Name) == "igb test port") dst = r;
  }
  ASSERT_NE(src, 0u);
  ASSERT_NE(dst, 0u);

  Heard heard;
  MidiPortRef in = 0;
  ASSERT_EQ(c->createInputPort("Input", [&](const MidiPacketList& l) { heard.add(l); }, &in), MidiStatus::Ok);
  ASSERT_EQ(c->connectSource(in, src), MidiStatus::Ok);
  const uint64_t before = platform::hostTime();
  dev.send({0x99, 0x24, 0x64});
  dev.send({0xF0, 0x42, 0x11, 0xF7});
  dev.send({0xF8});
  ASSERT_TRUE(pumpUntil([&] { return heard.count() >= 3; }));
  const uint64_t after = platform::hostTime();
  EXPECT_EQ(heard.packets[0].second, (Bytes{0x99, 0x24, 0x64}));
  EXPECT_EQ(heard.packets[1].second, (Bytes{0xF0, 0x42, 0x11, 0xF7}));
  EXPECT_EQ(heard.packets[2].second, (Bytes{0xF8}));
  for (const auto& p : heard.packets) {
    EXPECT_GE(p.first, before);
    EXPECT_LE(p.first, after);
  }
  // A second note on the same channel keeps its status byte.
  dev.send({0x99, 0x26, 0x10});
  ASSERT_TRUE(pumpUntil([&] { return heard.count() >= 4; }));
  EXPECT_EQ(heard.packets[3].second, (Bytes{0x99, 0x26, 0x10}));

  ASSERT_EQ(c->disconnectSource(in, src), MidiStatus::Ok);
  dev.send({0xFA});
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_EQ(heard.count(), 4u);
  EXPECT_EQ(c->disposePort(in), MidiStatus::Ok);

  MidiPortRef out = 0;
  ASSERT_EQ(c->createOutputPort("Output", &out), MidiStatus::Ok);
  const Bytes sysex{0xF0, 0x42, 0x40, 0x00, 0x01, 0x12, 0x00, 0x00, 0x00, 0x01, 0xF7};
  ASSERT_EQ(c->send(out, dst, sysex.data(), sysex.size()), MidiStatus::Ok);
  EXPECT_EQ(dev.receive(), sysex);
  const Bytes cc{0xBF, 121, 127};
  ASSERT_EQ(c->send(out, dst, cc.data(), cc.size()), MidiStatus::Ok);
  EXPECT_EQ(dev.receive(), cc);
  EXPECT_EQ(c->send(out, src, cc.data(), cc.size()), MidiStatus::InvalidEndpoint);
  EXPECT_EQ(c->send(in, dst, cc.data(), cc.size()), MidiStatus::InvalidPort);
}

TEST_F(AlsaMidi, VirtualDestinationHearsOtherPrograms) {
  SKIP_WITHOUT_SEQUENCER();
  auto c = open();
  ASSERT_TRUE(c);
  Heard heard;
  MidiEndpointRef dest = 0;
  ASSERT_EQ(c->createDestination("iGROOVEBIX", [&](const MidiPacketList& l) { heard.add(l); }, &dest),
            MidiStatus::Ok);
  // Our own ports are not among the endpoints we list.
  const auto dests = c->destinations();
  EXPECT_EQ(std::find(dests.begin(), dests.end(), dest), dests.end());
  RawDevice dev;
  ASSERT_TRUE(dev.ok());
  ASSERT_GE(dev.makePort(), 0);
  int ourClient = static_cast<int>((dest >> 8) & 0xFF), ourPort = static_cast<int>(dest & 0xFF);
  dev.send({0x99, 0x28, 0x40}, ourClient, ourPort);
  ASSERT_TRUE(pumpUntil([&] { return heard.count() >= 1; }));
  EXPECT_EQ(heard.packets[0].second, (Bytes{0x99, 0x28, 0x40}));
  EXPECT_EQ(c->disposeEndpoint(dest), MidiStatus::Ok);
  EXPECT_EQ(c->disposeEndpoint(dest), MidiStatus::InvalidEndpoint);
}

TEST_F(AlsaMidi, NetworkSessionIsAbsentButKeepsItsSwitch) {
  SKIP_WITHOUT_SEQUENCER();
  auto c = open();
  ASSERT_TRUE(c);
  platform::MidiNetworkSession& s = c->networkSession();
  EXPECT_EQ(s.sourceEndpoint(), 0u);
  EXPECT_EQ(s.destinationEndpoint(), 0u);
  s.setEnabled(true);
  s.setConnectionPolicy(platform::MidiNetworkSession::Anyone);
  EXPECT_TRUE(s.isEnabled());
  EXPECT_EQ(s.connectionPolicy(), platform::MidiNetworkSession::Anyone);
}

}  // namespace
