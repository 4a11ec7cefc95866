// The MIDI system over the ALSA sequencer.
//
// - The client is one sequencer client named as asked. Sources are the ports
//   of other clients that can be read and subscribed to, destinations those
//   that can be written and subscribed to; the kernel's System client, the
//   "Midi Through" client and our own ports are left out. An endpoint's
//   reference packs its client and port with a tag for its direction, so a
//   device port that is both has a source and a destination reference; the
//   entity is the client, which pairs a device's input and output.
// - Name is the port's name; manufacturer and model are the USB strings of
//   the sound card behind the client (empty for software clients).
// - Hot-plug comes from the System client's announce port: port start and
//   exit become "added" and "removed" notifications, one per direction.
// - Input: each input port is ours, subscribed to its sources; events are
//   turned back into bytes without running status (the parser above needs
//   every status byte) and stamped with the host time at which the reader
//   thread took them. Events from a source the port is not connected to are
//   dropped, as events sent straight to a port would otherwise slip in.
// - Output: bytes are encoded into sequencer events and sent at once
//   (direct) from our output port to the destination.
// - Linux has no network MIDI session of its own: the session keeps its
//   switch and policy and has no endpoints.
//
// Locks: seqMutex_ guards the sequencer handle (alsa-lib's handle is not
// thread-safe); dispatchMutex_ guards the ports' read procs and is held while
// they run, which is what lets a port be disposed safely from the main thread.

#include <alsa/asoundlib.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <set>
#include <mutex>
#include <thread>

#include "platform/foundation/host_time.h"
#include "platform/midi/midi.h"
#include "platform/runloop/run_loop.h"

namespace platform {

namespace {

constexpr uint32_t kTagMask = 0xFF000000u;
constexpr uint32_t kSourceTag = 0x01000000u;
constexpr uint32_t kDestinationTag = 0x02000000u;
constexpr uint32_t kEntityTag = 0x03000000u;
constexpr uint32_t kPortTag = 0x04000000u;
constexpr const char* kSequencerDevice = "/dev/snd/seq";
// Room for a whole SysEx message in the encoder.
constexpr size_t kEncoderBytes = 4096;

uint32_t pack(uint32_t tag, int client, int port) {
  return tag | (static_cast<uint32_t>(client & 0xFF) << 8) | static_cast<uint32_t>(port & 0xFF);
}
bool unpack(uint32_t ref, uint32_t tag, int* client, int* port) {
  if ((ref & kTagMask) != tag) return false;
  *client = static_cast<int>((ref >> 8) & 0xFF);
  *port = static_cast<int>(ref & 0xFF);
  return true;
}

constexpr unsigned kSourceCaps = SND_SEQ_PORT_CAP_READ | SND_SEQ_PORT_CAP_SUBS_READ;
constexpr unsigned kDestinationCaps = SND_SEQ_PORT_CAP_WRITE | SND_SEQ_PORT_CAP_SUBS_WRITE;

std::optional<std::string> readLine(const std::string& path) {
  std::ifstream in(path);
  std::string s;
  if (!in || !std::getline(in, s)) return std::nullopt;
  while (!s.empty() && (s.back() == '\n' || s.back() == '\r' || s.back() == ' ')) s.pop_back();
  if (s.empty()) return std::nullopt;
  return s;
}

class NullNetworkSession final : public MidiNetworkSession {
 public:
  bool isEnabled() const override { return enabled_; }
  void setEnabled(bool enabled) override { enabled_ = enabled; }
  uint64_t connectionPolicy() const override { return policy_; }
  void setConnectionPolicy(uint64_t policy) override { policy_ = policy; }
  MidiEndpointRef sourceEndpoint() const override { return 0; }
  MidiEndpointRef destinationEndpoint() const override { return 0; }

 private:
  bool enabled_ = false;
  uint64_t policy_ = NoOne;
};

class AlsaClient final : public MidiClient {
 public:
  AlsaClient(snd_seq_t* seq, MidiClientOptions options) : seq_(seq), options_(std::move(options)) {
    if (!options_.dispatcher) {
      options_.dispatcher = [](std::function<void()> block) { RunLoop::main().perform(std::move(block)); };
    }
  }

  // Second step of construction; false with `error` set when it fails.
  bool start(const std::string& name, std::string* error) {
    clientId_ = snd_seq_client_id(seq_);
    snd_seq_set_client_name(seq_, name.c_str());
    snd_midi_event_new(kEncoderBytes, &encoder_);
    snd_midi_event_new(16, &decoder_);
    if (!encoder_ || !decoder_) return fail(error, "cannot make the MIDI event coders");
    // Every status byte is written out, so the parser above sees whole messages.
    snd_midi_event_no_status(decoder_, 1);
    announcePort_ = snd_seq_create_simple_port(seq_, "announce", SND_SEQ_PORT_CAP_WRITE | SND_SEQ_PORT_CAP_NO_EXPORT,
                                               SND_SEQ_PORT_TYPE_APPLICATION);
    if (announcePort_ < 0) return fail(error, std::string("cannot make a port: ") + snd_strerror(announcePort_));
    const int r = snd_seq_connect_from(seq_, announcePort_, SND_SEQ_CLIENT_SYSTEM, SND_SEQ_PORT_SYSTEM_ANNOUNCE);
    if (r < 0) return fail(error, std::string("cannot hear the system announcements: ") + snd_strerror(r));
    scanPorts();
    wake_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (wake_ < 0) return fail(error, std::string("eventfd: ") + std::strerror(errno));
    reader_ = std::thread([this] { run(); });
    return true;
  }

  ~AlsaClient() override {
    *alive_ = false;
    if (reader_.joinable()) {
      const uint64_t one = 1;
      [[maybe_unused]] const ssize_t w = ::write(wake_, &one, sizeof one);
      reader_.join();
    }
    if (wake_ >= 0) ::close(wake_);
    if (encoder_) snd_midi_event_free(encoder_);
    if (decoder_) snd_midi_event_free(decoder_);
    snd_seq_close(seq_);
  }

  std::vector<MidiEndpointRef> sources() override { return list(kSourceTag); }
  std::vector<MidiEndpointRef> destinations() override { return list(kDestinationTag); }

  std::optional<std::string> stringProperty(MidiObjectRef object, MidiProperty property) override {
    int client = 0, port = 0;
    if (!unpack(object, kSourceTag, &client, &port) && !unpack(object, kDestinationTag, &client, &port)) {
      return std::nullopt;
    }
    std::lock_guard<std::mutex> lock(seqMutex_);
    if (property == MidiProperty::Name) {
      snd_seq_port_info_t* info;
      snd_seq_port_info_alloca(&info);
      if (snd_seq_get_any_port_info(seq_, client, port, info) < 0) return std::nullopt;
      const char* n = snd_seq_port_info_get_name(info);
      if (!n || !*n) return std::nullopt;
      return std::string(n);
    }
    snd_seq_client_info_t* cinfo;
    snd_seq_client_info_alloca(&cinfo);
    if (snd_seq_get_any_client_info(seq_, client, cinfo) < 0) return std::nullopt;
    const int card = snd_seq_client_info_get_card(cinfo);
    if (card < 0) return std::nullopt;
    // The card's device is the USB interface; its parent holds the strings.
    const std::string base = "/sys/class/sound/card" + std::to_string(card) + "/device/../";
    return readLine(base + (property == MidiProperty::Manufacturer ? "manufacturer" : "product"));
  }

  MidiEntityRef endpointEntity(MidiEndpointRef endpoint) override {
    int client = 0, port = 0;
    if (!unpack(endpoint, kSourceTag, &client, &port) && !unpack(endpoint, kDestinationTag, &client, &port)) return 0;
    std::lock_guard<std::mutex> lock(knownMutex_);
    return known_.count(endpoint) ? pack(kEntityTag, client, 0) : 0;
  }

  // A hash of what names the port across runs: the USB path of its card (or
  // its client's name for software), its name, number and direction.
  std::optional<int32_t> uniqueId(MidiEndpointRef endpoint) override {
    int client = 0, port = 0;
    if (!unpack(endpoint, kSourceTag, &client, &port) && !unpack(endpoint, kDestinationTag, &client, &port)) {
      return std::nullopt;
    }
    {
      std::lock_guard<std::mutex> k(knownMutex_);
      if (!known_.count(endpoint)) return std::nullopt;
    }
    std::string identity;
    {
      std::lock_guard<std::mutex> lock(seqMutex_);
      snd_seq_client_info_t* cinfo;
      snd_seq_port_info_t* pinfo;
      snd_seq_client_info_alloca(&cinfo);
      snd_seq_port_info_alloca(&pinfo);
      if (snd_seq_get_any_client_info(seq_, client, cinfo) < 0) return std::nullopt;
      if (snd_seq_get_any_port_info(seq_, client, port, pinfo) < 0) return std::nullopt;
      const int card = snd_seq_client_info_get_card(cinfo);
      std::error_code ec;
      if (card >= 0) {
        identity = std::filesystem::canonical("/sys/class/sound/card" + std::to_string(card) + "/device", ec).string();
      }
      if (identity.empty()) identity = snd_seq_client_info_get_name(cinfo);
      identity += '\n';
      identity += snd_seq_port_info_get_name(pinfo);
    }
    identity += '\n' + std::to_string(port) + ((endpoint & kTagMask) == kSourceTag ? "s" : "d");
    uint32_t h = 2166136261u;  // FNV-1a
    for (unsigned char ch : identity) h = (h ^ ch) * 16777619u;
    const auto id = static_cast<int32_t>(h);
    return id != 0 ? id : 1;
  }

  MidiStatus createInputPort(const std::string& name, MidiReadProc readProc, MidiPortRef* port) override {
    return makePort(name, SND_SEQ_PORT_CAP_WRITE | SND_SEQ_PORT_CAP_NO_EXPORT, PortKind::Input, std::move(readProc),
                    port);
  }
  MidiStatus createOutputPort(const std::string& name, MidiPortRef* port) override {
    return makePort(name, SND_SEQ_PORT_CAP_READ | SND_SEQ_PORT_CAP_NO_EXPORT, PortKind::Output, {}, port);
  }

  MidiStatus connectSource(MidiPortRef port, MidiEndpointRef source) override {
    int c = 0, p = 0, own = 0, ownPort = 0;
    if (!unpack(port, kPortTag, &own, &ownPort)) return MidiStatus::InvalidPort;
    if (!unpack(source, kSourceTag, &c, &p)) return MidiStatus::InvalidEndpoint;
    {
      std::lock_guard<std::mutex> d(dispatchMutex_);
      auto it = ports_.find(ownPort);
      if (it == ports_.end() || it->second.kind != PortKind::Input) return MidiStatus::InvalidPort;
    }
    int r;
    {
      std::lock_guard<std::mutex> lock(seqMutex_);
      r = snd_seq_connect_from(seq_, ownPort, c, p);
    }
    if (r < 0 && r != -EBUSY) return r == -EINVAL || r == -ENOENT ? MidiStatus::InvalidEndpoint : MidiStatus::SystemError;
    std::lock_guard<std::mutex> d(dispatchMutex_);
    auto& s = ports_[ownPort].sources;
    if (std::find(s.begin(), s.end(), source) == s.end()) s.push_back(source);
    return MidiStatus::Ok;
  }

  MidiStatus disconnectSource(MidiPortRef port, MidiEndpointRef source) override {
    int c = 0, p = 0, own = 0, ownPort = 0;
    if (!unpack(port, kPortTag, &own, &ownPort)) return MidiStatus::InvalidPort;
    if (!unpack(source, kSourceTag, &c, &p)) return MidiStatus::InvalidEndpoint;
    {
      std::lock_guard<std::mutex> d(dispatchMutex_);
      auto it = ports_.find(ownPort);
      if (it == ports_.end() || it->second.kind != PortKind::Input) return MidiStatus::InvalidPort;
      auto& s = it->second.sources;
      auto f = std::find(s.begin(), s.end(), source);
      if (f == s.end()) return MidiStatus::InvalidEndpoint;
      s.erase(f);
    }
    std::lock_guard<std::mutex> lock(seqMutex_);
    // The source may have gone already, taking the subscription with it.
    snd_seq_disconnect_from(seq_, ownPort, c, p);
    return MidiStatus::Ok;
  }

  MidiStatus disposePort(MidiPortRef port) override {
    int own = 0, ownPort = 0;
    if (!unpack(port, kPortTag, &own, &ownPort)) return MidiStatus::InvalidPort;
    return deletePort(ownPort, false);
  }

  MidiStatus createDestination(const std::string& name, MidiReadProc readProc, MidiEndpointRef* endpoint) override {
    MidiPortRef ref = 0;
    const MidiStatus s = makePort(name, kDestinationCaps, PortKind::Destination, std::move(readProc), &ref);
    if (s != MidiStatus::Ok) return s;
    if (endpoint) *endpoint = pack(kDestinationTag, clientId_, static_cast<int>(ref & 0xFF));
    return MidiStatus::Ok;
  }

  MidiStatus disposeEndpoint(MidiEndpointRef endpoint) override {
    int c = 0, p = 0;
    if (!unpack(endpoint, kDestinationTag, &c, &p) || c != clientId_) return MidiStatus::InvalidEndpoint;
    return deletePort(p, true);
  }

  MidiStatus send(MidiPortRef port, MidiEndpointRef destination, const uint8_t* bytes, size_t length) override {
    if (!bytes || length == 0 || bytes[0] < 0x80) return MidiStatus::InvalidArgument;
    int own = 0, ownPort = 0, c = 0, p = 0;
    if (!unpack(port, kPortTag, &own, &ownPort)) return MidiStatus::InvalidPort;
    if (!unpack(destination, kDestinationTag, &c, &p)) return MidiStatus::InvalidEndpoint;
    {
      std::lock_guard<std::mutex> d(dispatchMutex_);
      auto it = ports_.find(ownPort);
      if (it == ports_.end() || it->second.kind != PortKind::Output) return MidiStatus::InvalidPort;
    }
    std::lock_guard<std::mutex> lock(seqMutex_);
    snd_midi_event_reset_encode(encoder_);
    bool sentAny = false;
    for (size_t i = 0; i < length; ++i) {
      snd_seq_event_t ev;
      snd_seq_ev_clear(&ev);
      const int r = snd_midi_event_encode_byte(encoder_, bytes[i], &ev);
      if (r < 0) return MidiStatus::InvalidArgument;
      if (r == 0) continue;
      snd_seq_ev_set_source(&ev, ownPort);
      snd_seq_ev_set_dest(&ev, c, p);
      snd_seq_ev_set_direct(&ev);
      const int w = snd_seq_event_output_direct(seq_, &ev);
      if (w < 0) return w == -ENOENT || w == -EINVAL ? MidiStatus::InvalidEndpoint : MidiStatus::SystemError;
      sentAny = true;
    }
    return sentAny ? MidiStatus::Ok : MidiStatus::InvalidArgument;
  }

  MidiNetworkSession& networkSession() override { return session_; }

 private:
  enum class PortKind { Input, Output, Destination };
  struct Port {
    PortKind kind;
    MidiReadProc readProc;
    std::vector<MidiEndpointRef> sources;
  };
  struct Incoming {
    int destPort;
    MidiEndpointRef source;
    uint64_t stamp;
    std::vector<uint8_t> bytes;
  };

  static bool fail(std::string* error, const std::string& what) {
    if (error) *error = what;
    return false;
  }

  MidiStatus makePort(const std::string& name, unsigned caps, PortKind kind, MidiReadProc readProc, MidiPortRef* out) {
    int p;
    {
      std::lock_guard<std::mutex> lock(seqMutex_);
      p = snd_seq_create_simple_port(seq_, name.c_str(), caps,
                                     SND_SEQ_PORT_TYPE_MIDI_GENERIC | SND_SEQ_PORT_TYPE_APPLICATION);
    }
    if (p < 0) return MidiStatus::SystemError;
    {
      std::lock_guard<std::mutex> d(dispatchMutex_);
      ports_[p] = Port{kind, std::move(readProc), {}};
    }
    if (out) *out = pack(kPortTag, clientId_, p);
    return MidiStatus::Ok;
  }

  MidiStatus deletePort(int p, bool destination) {
    {
      // Waits for a read proc of this port that is running.
      std::lock_guard<std::mutex> d(dispatchMutex_);
      auto it = ports_.find(p);
      if (it == ports_.end() || (it->second.kind == PortKind::Destination) != destination) {
        return destination ? MidiStatus::InvalidEndpoint : MidiStatus::InvalidPort;
      }
      ports_.erase(it);
    }
    std::lock_guard<std::mutex> lock(seqMutex_);
    snd_seq_delete_simple_port(seq_, p);
    return MidiStatus::Ok;
  }

  // Directions of another client's port, as source/destination tags; 0 when
  // it is left out.
  unsigned directions(int client, unsigned caps, const char* clientName) const {
    if (client == SND_SEQ_CLIENT_SYSTEM || client == clientId_) return 0;
    if (clientName && std::strcmp(clientName, "Midi Through") == 0) return 0;
    if (caps & SND_SEQ_PORT_CAP_NO_EXPORT) return 0;
    unsigned d = 0;
    if ((caps & kSourceCaps) == kSourceCaps) d |= 1;
    if ((caps & kDestinationCaps) == kDestinationCaps) d |= 2;
    return d;
  }

  // Fills the cache of known endpoints from the sequencer (construction).
  void scanPorts() {
    std::lock_guard<std::mutex> lock(seqMutex_);
    snd_seq_client_info_t* cinfo;
    snd_seq_port_info_t* pinfo;
    snd_seq_client_info_alloca(&cinfo);
    snd_seq_port_info_alloca(&pinfo);
    snd_seq_client_info_set_client(cinfo, -1);
    std::lock_guard<std::mutex> k(knownMutex_);
    while (snd_seq_query_next_client(seq_, cinfo) >= 0) {
      const int client = snd_seq_client_info_get_client(cinfo);
      const char* cname = snd_seq_client_info_get_name(cinfo);
      snd_seq_port_info_set_client(pinfo, client);
      snd_seq_port_info_set_port(pinfo, -1);
      while (snd_seq_query_next_port(seq_, pinfo) >= 0) {
        const int port = snd_seq_port_info_get_port(pinfo);
        const unsigned d = directions(client, snd_seq_port_info_get_capability(pinfo), cname);
        if (d & 1) known_.insert(pack(kSourceTag, client, port));
        if (d & 2) known_.insert(pack(kDestinationTag, client, port));
      }
    }
  }

  std::vector<MidiEndpointRef> list(uint32_t tag) {
    std::lock_guard<std::mutex> k(knownMutex_);
    std::vector<MidiEndpointRef> out;
    for (MidiEndpointRef r : known_) {
      if ((r & kTagMask) == tag) out.push_back(r);
    }
    return out;
  }

  void notify(MidiNotificationMessage message, MidiEndpointRef endpoint, int client) {
    MidiNotifyProc proc = options_.notify;
    if (!proc) return;
    MidiNotification n;
    n.message = message;
    n.parent = pack(kEntityTag, client, 0);
    n.parentType = MidiObjectType::Entity;
    n.child = endpoint;
    n.childType = (endpoint & kTagMask) == kSourceTag ? MidiObjectType::Source : MidiObjectType::Destination;
    auto alive = alive_;
    options_.dispatcher([alive, proc, n] {
      if (*alive) proc(n);
    });
  }

  // Reader thread: a port appeared or went.
  void portStarted(int client, int port) {
    unsigned d = 0;
    {
      std::lock_guard<std::mutex> lock(seqMutex_);
      snd_seq_client_info_t* cinfo;
      snd_seq_port_info_t* pinfo;
      snd_seq_client_info_alloca(&cinfo);
      snd_seq_port_info_alloca(&pinfo);
      if (snd_seq_get_any_client_info(seq_, client, cinfo) < 0) return;
      if (snd_seq_get_any_port_info(seq_, client, port, pinfo) < 0) return;
      d = directions(client, snd_seq_port_info_get_capability(pinfo), snd_seq_client_info_get_name(cinfo));
    }
    for (unsigned bit : {1u, 2u}) {
      if (!(d & bit)) continue;
      const MidiEndpointRef ref = pack(bit == 1 ? kSourceTag : kDestinationTag, client, port);
      bool added;
      {
        std::lock_guard<std::mutex> k(knownMutex_);
        added = known_.insert(ref).second;
      }
      if (added) notify(MidiNotificationMessage::ObjectAdded, ref, client);
    }
  }

  void portExited(int client, int port) {
    for (uint32_t tag : {kSourceTag, kDestinationTag}) {
      const MidiEndpointRef ref = pack(tag, client, port);
      bool removed;
      {
        std::lock_guard<std::mutex> k(knownMutex_);
        removed = known_.erase(ref) > 0;
      }
      if (removed) notify(MidiNotificationMessage::ObjectRemoved, ref, client);
    }
  }

  void clientExited(int client) {
    std::vector<MidiEndpointRef> gone;
    {
      std::lock_guard<std::mutex> k(knownMutex_);
      for (auto it = known_.begin(); it != known_.end();) {
        if (static_cast<int>((*it >> 8) & 0xFF) == client) {
          gone.push_back(*it);
          it = known_.erase(it);
        } else {
          ++it;
        }
      }
    }
    for (MidiEndpointRef r : gone) notify(MidiNotificationMessage::ObjectRemoved, r, client);
  }

  void run() {
    std::vector<pollfd> fds;
    {
      std::lock_guard<std::mutex> lock(seqMutex_);
      const int n = snd_seq_poll_descriptors_count(seq_, POLLIN);
      fds.resize(static_cast<size_t>(std::max(n, 0)) + 1);
      snd_seq_poll_descriptors(seq_, fds.data(), static_cast<unsigned>(n), POLLIN);
    }
    fds.back() = pollfd{wake_, POLLIN, 0};
    std::vector<Incoming> incoming;
    std::vector<std::pair<int, snd_seq_addr_t>> announcements;
    uint8_t buffer[16];
    for (;;) {
      if (::poll(fds.data(), fds.size(), -1) < 0 && errno != EINTR) return;
      if (fds.back().revents & POLLIN) return;
      for (size_t i = 0; i + 1 < fds.size(); ++i) {
        if (fds[i].revents & (POLLERR | POLLHUP | POLLNVAL)) {
          // The sequencer went away under us: no more input or hot-plug.
          std::fprintf(stderr, "igroovebix: the ALSA sequencer stopped answering; MIDI input ends\n");
          return;
        }
      }
      incoming.clear();
      announcements.clear();
      {
        std::lock_guard<std::mutex> lock(seqMutex_);
        for (;;) {
          snd_seq_event_t* ev = nullptr;
          const int r = snd_seq_event_input(seq_, &ev);
          if (r == -ENOSPC) continue;  // the kernel's queue overflowed: what is left still counts
          if (r < 0 || !ev) break;
          const uint64_t stamp = hostTime();
          if (ev->dest.port == announcePort_) {
            if (ev->type == SND_SEQ_EVENT_PORT_START || ev->type == SND_SEQ_EVENT_PORT_EXIT ||
                ev->type == SND_SEQ_EVENT_CLIENT_EXIT) {
              announcements.emplace_back(ev->type, ev->data.addr);
            }
            continue;
          }
          Incoming in{ev->dest.port, pack(kSourceTag, ev->source.client, ev->source.port), stamp, {}};
          if (ev->type == SND_SEQ_EVENT_SYSEX) {
            const auto* p = static_cast<const uint8_t*>(ev->data.ext.ptr);
            if (p && ev->data.ext.len > 0) in.bytes.assign(p, p + ev->data.ext.len);
          } else {
            snd_midi_event_reset_decode(decoder_);
            const long n = snd_midi_event_decode(decoder_, buffer, sizeof buffer, ev);
            if (n > 0) in.bytes.assign(buffer, buffer + n);
          }
          if (!in.bytes.empty()) incoming.push_back(std::move(in));
        }
      }
      for (const auto& [type, addr] : announcements) {
        if (addr.client == clientId_) continue;
        if (type == SND_SEQ_EVENT_PORT_START) portStarted(addr.client, addr.port);
        else if (type == SND_SEQ_EVENT_PORT_EXIT) portExited(addr.client, addr.port);
        else clientExited(addr.client);
      }
      if (incoming.empty()) continue;
      std::lock_guard<std::mutex> d(dispatchMutex_);
      for (Incoming& in : incoming) {
        auto it = ports_.find(in.destPort);
        if (it == ports_.end() || !it->second.readProc || it->second.kind == PortKind::Output) continue;
        const auto& s = it->second.sources;
        if (it->second.kind == PortKind::Input && std::find(s.begin(), s.end(), in.source) == s.end()) continue;
        it->second.readProc(MidiPacketList{MidiPacket{in.stamp, std::move(in.bytes)}});
      }
    }
  }

  snd_seq_t* seq_;
  MidiClientOptions options_;
  std::shared_ptr<std::atomic<bool>> alive_ = std::make_shared<std::atomic<bool>>(true);
  int clientId_ = -1;
  int announcePort_ = -1;
  int wake_ = -1;
  snd_midi_event_t* encoder_ = nullptr;
  snd_midi_event_t* decoder_ = nullptr;
  std::mutex seqMutex_;
  std::mutex dispatchMutex_;
  std::map<int, Port> ports_;
  std::mutex knownMutex_;
  std::set<MidiEndpointRef> known_;
  NullNetworkSession session_;
  std::thread reader_;
};

class AlsaMidiSystem final : public MidiSystem {
 public:
  MidiStatus createClient(const std::string& name, MidiClientOptions options, std::unique_ptr<MidiClient>* client,
                          std::string* error) override {
    if (::access(kSequencerDevice, R_OK | W_OK) != 0) {
      if (error) {
        *error = std::string("the ALSA sequencer is not available: ") + kSequencerDevice + " " +
                 (errno == ENOENT ? "is missing (the kernel's snd-seq module is not loaded)" : std::strerror(errno));
      }
      return MidiStatus::NoSystem;
    }
    snd_seq_t* seq = nullptr;
    const int r = snd_seq_open(&seq, "default", SND_SEQ_OPEN_DUPLEX, SND_SEQ_NONBLOCK);
    if (r < 0 || !seq) {
      if (error) *error = std::string("cannot open the ALSA sequencer: ") + snd_strerror(r);
      return MidiStatus::NoSystem;
    }
    auto c = std::make_unique<AlsaClient>(seq, std::move(options));
    std::string why;
    if (!c->start(name, &why)) {
      if (error) *error = "cannot set up the ALSA sequencer client: " + why;
      return MidiStatus::SystemError;
    }
    if (client) *client = std::move(c);
    return MidiStatus::Ok;
  }
};

}  // namespace

MidiSystem& alsaMidiSystem() {
  static AlsaMidiSystem system;
  return system;
}

}  // namespace platform
