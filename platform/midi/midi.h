#pragma once
// The MIDI services the program expects of its platform: a client that lists
// the sources and destinations of the system with their name, manufacturer
// and model, hears of endpoints as they appear and disappear, receives
// time-stamped bytes from the sources it connects, owns a virtual
// destination other programs can send to, and sends bytes to a destination.
//
// Two back ends stand behind MidiSystem:
// - the ALSA sequencer (alsaMidiSystem(), the program's), and
// - an in-process loopback (LoopbackMidiSystem, loopback_midi.h), whose
//   devices a test plugs, plays and reads back.
//
// References: every object is a non-zero 32-bit number; 0 is "none". A
// source and a destination of the same device are different endpoints with
// the same entity (their device).
//
// Threads
// - A client and its operations belong to the thread that made it (the main
//   thread); so do its notifications: they are delivered through the
//   client's dispatcher, the main run loop unless the options name another.
//   A notification that arrives after the client is gone is dropped.
// - Read procs run on the back end's MIDI input thread, one packet list at a
//   time. Disconnecting a source and disposing a port or endpoint wait for a
//   read proc that is running for it, and no read proc of it runs
//   afterwards, so what the proc uses may be freed right after. A read proc
//   must therefore never call back into its client.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace platform {

using MidiObjectRef = uint32_t;
using MidiEndpointRef = uint32_t;
using MidiEntityRef = uint32_t;
using MidiPortRef = uint32_t;

enum class MidiStatus {
  Ok = 0,
  // No MIDI system to talk to (the ALSA sequencer is absent).
  NoSystem,
  // A reference that is not (or no longer) what the call needs.
  InvalidPort,
  InvalidEndpoint,
  // The call's other arguments are unusable (empty data, a message that is
  // not MIDI).
  InvalidArgument,
  // The system refused; lastError() tells why.
  SystemError,
};
const char* midiStatusText(MidiStatus status);

// One packet: the bytes of one or more complete messages (or of a part of a
// SysEx message) and their host time (platform/foundation/host_time.h); 0
// means "now" to whoever reads it.
struct MidiPacket {
  uint64_t timeStamp = 0;
  std::vector<uint8_t> data;
};
using MidiPacketList = std::vector<MidiPacket>;
using MidiReadProc = std::function<void(const MidiPacketList& packets)>;

enum class MidiNotificationMessage : int32_t {
  SetupChanged = 1,
  ObjectAdded = 2,
  ObjectRemoved = 3,
};
enum class MidiObjectType : int32_t { Other = -1, Device = 0, Entity = 1, Source = 2, Destination = 3 };

struct MidiNotification {
  MidiNotificationMessage message = MidiNotificationMessage::SetupChanged;
  MidiObjectRef parent = 0;  // the entity, when known
  MidiObjectType parentType = MidiObjectType::Entity;
  MidiObjectRef child = 0;  // the endpoint
  MidiObjectType childType = MidiObjectType::Other;
};
using MidiNotifyProc = std::function<void(const MidiNotification& notification)>;

enum class MidiProperty { Name, Manufacturer, Model };

// The network session. Linux has none of its own: the ALSA back end keeps the
// switch and the policy and has no endpoints (a network MIDI daemon's ports
// are ordinary sequencer clients and show up as sources and destinations).
class MidiNetworkSession {
 public:
  enum ConnectionPolicy : uint64_t { NoOne = 0, HostsInContactList = 1, Anyone = 2 };
  virtual ~MidiNetworkSession() = default;
  virtual bool isEnabled() const = 0;
  virtual void setEnabled(bool enabled) = 0;
  virtual uint64_t connectionPolicy() const = 0;
  virtual void setConnectionPolicy(uint64_t policy) = 0;
  // 0 when the session has none.
  virtual MidiEndpointRef sourceEndpoint() const = 0;
  virtual MidiEndpointRef destinationEndpoint() const = 0;
};

class MidiClient {
 public:
  virtual ~MidiClient() = default;

  // The sources and destinations of the system, other than this client's
  // own; in a stable order (by device, then port).
  virtual std::vector<MidiEndpointRef> sources() = 0;
  virtual std::vector<MidiEndpointRef> destinations() = 0;
  // Empty when the endpoint is unknown or has no such property.
  virtual std::optional<std::string> stringProperty(MidiObjectRef object, MidiProperty property) = 0;
  // The endpoint's device; 0 when it has none or is unknown.
  virtual MidiEntityRef endpointEntity(MidiEndpointRef endpoint) = 0;
  // A non-zero number that names the endpoint across runs (a reference is
  // only good while the endpoint exists); empty when the endpoint is unknown.
  virtual std::optional<int32_t> uniqueId(MidiEndpointRef endpoint) = 0;

  // A port that receives what the sources connected to it send.
  virtual MidiStatus createInputPort(const std::string& name, MidiReadProc readProc, MidiPortRef* port) = 0;
  virtual MidiStatus connectSource(MidiPortRef port, MidiEndpointRef source) = 0;
  virtual MidiStatus disconnectSource(MidiPortRef port, MidiEndpointRef source) = 0;
  virtual MidiStatus createOutputPort(const std::string& name, MidiPortRef* port) = 0;
  // Input or output port; its connections go with it.
  virtual MidiStatus disposePort(MidiPortRef port) = 0;

  // A destination of this client that other programs see and send to.
  virtual MidiStatus createDestination(const std::string& name, MidiReadProc readProc, MidiEndpointRef* endpoint) = 0;
  virtual MidiStatus disposeEndpoint(MidiEndpointRef endpoint) = 0;

  // Sends complete messages (SysEx included) to the destination now, through
  // one of this client's output ports.
  virtual MidiStatus send(MidiPortRef port, MidiEndpointRef destination, const uint8_t* bytes, size_t length) = 0;

  virtual MidiNetworkSession& networkSession() = 0;
};

struct MidiClientOptions {
  MidiNotifyProc notify;
  // Where notifications run; the main run loop when empty.
  std::function<void(std::function<void()>)> dispatcher;
};

class MidiSystem {
 public:
  virtual ~MidiSystem() = default;
  // A client named `name`, or the reason there is none. `error` (optional)
  // receives a sentence for the log.
  virtual MidiStatus createClient(const std::string& name, MidiClientOptions options,
                                  std::unique_ptr<MidiClient>* client, std::string* error = nullptr) = 0;
};

// The ALSA sequencer (one per process).
MidiSystem& alsaMidiSystem();

}  // namespace platform
