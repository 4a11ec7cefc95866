#pragma once
// An in-process MIDI system: devices that a caller plugs in and out, plays
// from and reads back, and clients that see them exactly as they see the
// system's devices. It is how the program's MIDI code is tested without a
// sequencer in the kernel, and how two clients of one process talk.
//
// - plug() adds a device (an entity with sources and destinations and their
//   name, manufacturer and model) and tells every client, unplug() removes
//   it; each endpoint gets one notification.
// - deliver() plays bytes from a source: the loopback's MIDI thread hands
//   them to every port connected to that source, with the time stamp given.
// - What a client sends to a device's destination (or the network session's)
//   is kept for sent(); what it sends to another client's virtual
//   destination reaches that destination's read proc on the MIDI thread.
// - The network session has one source and one destination, "Network
//   Session 1", which are not among the listed endpoints (as a session's are
//   not while it is off).
//
// Threads: every operation is thread-safe. Read procs run on the loopback's
// one MIDI thread; notifications through each client's dispatcher.
// Clients must be destroyed before the system.

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/midi/midi.h"

namespace platform {

class LoopbackMidiSystem final : public MidiSystem {
 public:
  struct Device {
    std::string manufacturer;
    std::string model;
    // One endpoint per name.
    std::vector<std::string> sources;
    std::vector<std::string> destinations;
    // False: the endpoints belong to no entity (as a virtual one does).
    bool hasEntity = true;
    // Unique ids of the sources, then the destinations; missing ones are
    // given by the system, each one new.
    std::vector<int32_t> uniqueIds;
  };
  struct Plugged {
    MidiEntityRef entity = 0;
    std::vector<MidiEndpointRef> sources;
    std::vector<MidiEndpointRef> destinations;
  };
  struct Sent {
    MidiPortRef port;
    MidiEndpointRef destination;
    std::vector<uint8_t> bytes;
  };

  LoopbackMidiSystem();
  ~LoopbackMidiSystem() override;
  LoopbackMidiSystem(const LoopbackMidiSystem&) = delete;
  LoopbackMidiSystem& operator=(const LoopbackMidiSystem&) = delete;

  MidiStatus createClient(const std::string& name, MidiClientOptions options, std::unique_ptr<MidiClient>* client,
                          std::string* error = nullptr) override;

  Plugged plug(const Device& device);
  // Every endpoint of the entity, or the one endpoint (an entity-less one).
  void unplug(MidiObjectRef entityOrEndpoint);

  // Plays bytes from a source (a device's, the network session's or
  // another client's virtual destination is not a source).
  void deliver(MidiEndpointRef source, std::vector<uint8_t> bytes, uint64_t timeStamp = 0);
  void deliverPackets(MidiEndpointRef source, MidiPacketList packets);
  // Returns once everything delivered or sent before the call has been
  // handed to the read procs.
  void waitForDelivery();

  // Sends kept for a destination, in order; takeSent() empties the record.
  std::vector<std::vector<uint8_t>> sent(MidiEndpointRef destination) const;
  std::vector<Sent> takeSent();

  MidiNetworkSession& networkSession();
  // How often the session was switched on or off, and its policy set.
  int networkSessionChanges() const;

  // Failure injection: the next client creations fail with NoSystem; port
  // creations fail with SystemError while set.
  void setFailClientCreation(bool fail);
  void setFailPortCreation(bool fail);

  size_t clientCount() const;
  // The MIDI thread's id, so a test can see where a read proc ran.
  std::thread::id midiThreadId() const { return thread_.get_id(); }

 private:
  class Client;
  class Session;
  friend class Client;

  struct Endpoint {
    MidiObjectType type;
    MidiEntityRef entity;
    std::string name, manufacturer, model;
    int32_t uniqueId = 0;
    Client* owner = nullptr;  // a client's virtual destination
    MidiReadProc readProc;    // of a virtual destination
    bool listed = true;
  };
  struct Port {
    Client* owner;
    bool input;
    MidiReadProc readProc;
    std::vector<MidiEndpointRef> sources;
  };
  struct Job {
    MidiEndpointRef endpoint;  // a source, or a virtual destination
    bool toDestination;
    MidiPacketList packets;
    uint64_t serial;
  };

  struct Notifier;
  using Pending = std::vector<std::pair<std::shared_ptr<Notifier>, MidiNotification>>;

  MidiObjectRef newRef() { return nextRef_++; }
  // Under the mutex: what every client is to hear; post() after unlocking,
  // so that a notify proc may call straight back into its client.
  // A client does not hear of its own virtual destination (`owner`).
  void notifyAll(Pending& pending, MidiNotificationMessage message, MidiEntityRef entity, MidiEndpointRef endpoint,
                 MidiObjectType type, const Client* owner = nullptr);
  static void post(Pending& pending);
  void enqueue(Job job);
  void run();

  mutable std::mutex mutex_;  // everything below but the thread's queue
  std::mutex dispatchMutex_;  // held while read procs run
  MidiObjectRef nextRef_ = 0x100;
  int32_t nextUniqueId_ = 0x10000;
  std::map<MidiObjectRef, Endpoint> endpoints_;
  std::map<MidiObjectRef, Port> ports_;
  std::vector<Client*> clients_;
  std::vector<Sent> sent_;
  std::unique_ptr<Session> session_;
  bool failClients_ = false;
  bool failPorts_ = false;

  std::mutex queueMutex_;
  std::condition_variable queueCv_;
  std::condition_variable doneCv_;
  std::deque<Job> queue_;
  uint64_t enqueued_ = 0;
  uint64_t delivered_ = 0;
  bool quit_ = false;
  std::thread thread_;
};

}  // namespace platform
