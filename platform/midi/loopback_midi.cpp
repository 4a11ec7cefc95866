#include "platform/midi/loopback_midi.h"

#include <algorithm>
#include <atomic>

#include "platform/runloop/run_loop.h"

namespace platform {

namespace {

constexpr const char* kSessionEndpointName = "Network Session 1";

}  // namespace

struct LoopbackMidiSystem::Notifier {
  std::atomic<bool> alive{true};
  MidiNotifyProc proc;
  std::function<void(std::function<void()>)> dispatcher;
};

// ---- network session ---------------------------------------------------------------------------

class LoopbackMidiSystem::Session final : public MidiNetworkSession {
 public:
  Session(LoopbackMidiSystem& system, MidiEndpointRef source, MidiEndpointRef destination)
      : system_(system), source_(source), destination_(destination) {}
  bool isEnabled() const override {
    std::lock_guard<std::mutex> lock(system_.mutex_);
    return enabled_;
  }
  void setEnabled(bool enabled) override {
    std::lock_guard<std::mutex> lock(system_.mutex_);
    enabled_ = enabled;
    ++changes_;
  }
  uint64_t connectionPolicy() const override {
    std::lock_guard<std::mutex> lock(system_.mutex_);
    return policy_;
  }
  void setConnectionPolicy(uint64_t policy) override {
    std::lock_guard<std::mutex> lock(system_.mutex_);
    policy_ = policy;
    ++changes_;
  }
  MidiEndpointRef sourceEndpoint() const override { return source_; }
  MidiEndpointRef destinationEndpoint() const override { return destination_; }
  int changes() const {
    std::lock_guard<std::mutex> lock(system_.mutex_);
    return changes_;
  }

 private:
  LoopbackMidiSystem& system_;
  MidiEndpointRef source_;
  MidiEndpointRef destination_;
  bool enabled_ = false;
  uint64_t policy_ = NoOne;
  int changes_ = 0;
};

// ---- client ----------------------------------------------------------------------------------------

class LoopbackMidiSystem::Client final : public MidiClient {
 public:
  Client(LoopbackMidiSystem& system, std::string name, MidiClientOptions options)
      : system_(system), name_(std::move(name)), notifier_(std::make_shared<Notifier>()) {
    notifier_->proc = std::move(options.notify);
    notifier_->dispatcher = std::move(options.dispatcher);
    if (!notifier_->dispatcher) {
      notifier_->dispatcher = [](std::function<void()> block) { RunLoop::main().perform(std::move(block)); };
    }
  }

  ~Client() override {
    notifier_->alive = false;
    Pending pending;
    {
    // No read proc of ours may run once we are gone.
    std::lock_guard<std::mutex> dispatch(system_.dispatchMutex_);
    std::lock_guard<std::mutex> lock(system_.mutex_);
    for (auto it = system_.ports_.begin(); it != system_.ports_.end();) {
      it = it->second.owner == this ? system_.ports_.erase(it) : std::next(it);
    }
    std::vector<MidiEndpointRef> own;
    for (const auto& [ref, e] : system_.endpoints_) {
      if (e.owner == this) own.push_back(ref);
    }
    for (MidiEndpointRef ref : own) system_.endpoints_.erase(ref);
    auto& c = system_.clients_;
    c.erase(std::remove(c.begin(), c.end(), this), c.end());
    // Other clients hear that our virtual destinations went away.
    for (MidiEndpointRef ref : own) {
      system_.notifyAll(pending, MidiNotificationMessage::ObjectRemoved, 0, ref, MidiObjectType::Destination);
    }
    }
    post(pending);
  }

  std::vector<MidiEndpointRef> sources() override { return list(MidiObjectType::Source); }
  std::vector<MidiEndpointRef> destinations() override { return list(MidiObjectType::Destination); }

  std::optional<std::string> stringProperty(MidiObjectRef object, MidiProperty property) override {
    std::lock_guard<std::mutex> lock(system_.mutex_);
    auto it = system_.endpoints_.find(object);
    if (it == system_.endpoints_.end()) return std::nullopt;
    const std::string* s = nullptr;
    switch (property) {
      case MidiProperty::Name: s = &it->second.name; break;
      case MidiProperty::Manufacturer: s = &it->second.manufacturer; break;
      case MidiProperty::Model: s = &it->second.model; break;
    }
    if (!s || s->empty()) return std::nullopt;
    return *s;
  }

  MidiEntityRef endpointEntity(MidiEndpointRef endpoint) override {
    std::lock_guard<std::mutex> lock(system_.mutex_);
    auto it = system_.endpoints_.find(endpoint);
    return it == system_.endpoints_.end() ? 0 : it->second.entity;
  }

  std::optional<int32_t> uniqueId(MidiEndpointRef endpoint) override {
    std::lock_guard<std::mutex> lock(system_.mutex_);
    auto it = system_.endpoints_.find(endpoint);
    if (it == system_.endpoints_.end()) return std::nullopt;
    return it->second.uniqueId;
  }

  MidiStatus createInputPort(const std::string&, MidiReadProc readProc, MidiPortRef* port) override {
    return makePort(true, std::move(readProc), port);
  }
  MidiStatus createOutputPort(const std::string&, MidiPortRef* port) override { return makePort(false, {}, port); }

  MidiStatus connectSource(MidiPortRef port, MidiEndpointRef source) override {
    std::lock_guard<std::mutex> lock(system_.mutex_);
    Port* p = ownPort(port, true);
    if (!p) return MidiStatus::InvalidPort;
    auto e = system_.endpoints_.find(source);
    if (e == system_.endpoints_.end() || e->second.type != MidiObjectType::Source) return MidiStatus::InvalidEndpoint;
    if (std::find(p->sources.begin(), p->sources.end(), source) == p->sources.end()) p->sources.push_back(source);
    return MidiStatus::Ok;
  }

  MidiStatus disconnectSource(MidiPortRef port, MidiEndpointRef source) override {
    std::lock_guard<std::mutex> dispatch(system_.dispatchMutex_);
    std::lock_guard<std::mutex> lock(system_.mutex_);
    Port* p = ownPort(port, true);
    if (!p) return MidiStatus::InvalidPort;
    auto it = std::find(p->sources.begin(), p->sources.end(), source);
    if (it == p->sources.end()) return MidiStatus::InvalidEndpoint;
    p->sources.erase(it);
    return MidiStatus::Ok;
  }

  MidiStatus disposePort(MidiPortRef port) override {
    std::lock_guard<std::mutex> dispatch(system_.dispatchMutex_);
    std::lock_guard<std::mutex> lock(system_.mutex_);
    auto it = system_.ports_.find(port);
    if (it == system_.ports_.end() || it->second.owner != this) return MidiStatus::InvalidPort;
    system_.ports_.erase(it);
    return MidiStatus::Ok;
  }

  MidiStatus createDestination(const std::string& name, MidiReadProc readProc, MidiEndpointRef* endpoint) override {
    MidiEndpointRef ref = 0;
    Pending pending;
    {
      std::lock_guard<std::mutex> lock(system_.mutex_);
      if (system_.failPorts_) return MidiStatus::SystemError;
      ref = system_.newRef();
      Endpoint e{MidiObjectType::Destination, 0, name, "", "", system_.nextUniqueId_++, this, std::move(readProc),
                 true};
      system_.endpoints_.emplace(ref, std::move(e));
      system_.notifyAll(pending, MidiNotificationMessage::ObjectAdded, 0, ref, MidiObjectType::Destination, this);
    }
    post(pending);
    if (endpoint) *endpoint = ref;
    return MidiStatus::Ok;
  }

  MidiStatus disposeEndpoint(MidiEndpointRef endpoint) override {
    Pending pending;
    {
      std::lock_guard<std::mutex> dispatch(system_.dispatchMutex_);
      std::lock_guard<std::mutex> lock(system_.mutex_);
      auto it = system_.endpoints_.find(endpoint);
      if (it == system_.endpoints_.end() || it->second.owner != this) return MidiStatus::InvalidEndpoint;
      system_.endpoints_.erase(it);
      system_.notifyAll(pending, MidiNotificationMessage::ObjectRemoved, 0, endpoint, MidiObjectType::Destination,
                        this);
    }
    post(pending);
    return MidiStatus::Ok;
  }

  MidiStatus send(MidiPortRef port, MidiEndpointRef destination, const uint8_t* bytes, size_t length) override {
    if (!bytes || length == 0 || bytes[0] < 0x80) return MidiStatus::InvalidArgument;
    std::vector<uint8_t> data(bytes, bytes + length);
    std::unique_lock<std::mutex> lock(system_.mutex_);
    if (!ownPort(port, false)) return MidiStatus::InvalidPort;
    const bool network = destination == system_.session_->destinationEndpoint();
    auto e = system_.endpoints_.find(destination);
    if (!network && (e == system_.endpoints_.end() || e->second.type != MidiObjectType::Destination)) {
      return MidiStatus::InvalidEndpoint;
    }
    if (!network && e->second.owner) {
      lock.unlock();
      system_.enqueue({destination, true, {MidiPacket{0, std::move(data)}}, 0});
      return MidiStatus::Ok;
    }
    system_.sent_.push_back({port, destination, std::move(data)});
    return MidiStatus::Ok;
  }

  MidiNetworkSession& networkSession() override { return *system_.session_; }

  const std::shared_ptr<Notifier>& notifier() const { return notifier_; }

 private:
  std::vector<MidiEndpointRef> list(MidiObjectType type) {
    std::lock_guard<std::mutex> lock(system_.mutex_);
    std::vector<MidiEndpointRef> out;
    for (const auto& [ref, e] : system_.endpoints_) {
      if (e.type == type && e.listed && e.owner != this) out.push_back(ref);
    }
    return out;
  }

  MidiStatus makePort(bool input, MidiReadProc readProc, MidiPortRef* port) {
    std::lock_guard<std::mutex> lock(system_.mutex_);
    if (system_.failPorts_) return MidiStatus::SystemError;
    const MidiPortRef ref = system_.newRef();
    system_.ports_.emplace(ref, Port{this, input, std::move(readProc), {}});
    if (port) *port = ref;
    return MidiStatus::Ok;
  }

  // Under the system's mutex.
  Port* ownPort(MidiPortRef port, bool input) {
    auto it = system_.ports_.find(port);
    if (it == system_.ports_.end() || it->second.owner != this || it->second.input != input) return nullptr;
    return &it->second;
  }

  LoopbackMidiSystem& system_;
  std::string name_;
  std::shared_ptr<Notifier> notifier_;
};

// ---- system ------------------------------------------------------------------------------------------

LoopbackMidiSystem::LoopbackMidiSystem() {
  const MidiEndpointRef source = newRef();
  const MidiEndpointRef destination = newRef();
  endpoints_.emplace(source, Endpoint{MidiObjectType::Source, 0, kSessionEndpointName, "", "", nextUniqueId_++,
                                      nullptr, {}, false});
  endpoints_.emplace(destination, Endpoint{MidiObjectType::Destination, 0, kSessionEndpointName, "", "",
                                           nextUniqueId_++, nullptr, {}, false});
  session_ = std::make_unique<Session>(*this, source, destination);
  thread_ = std::thread([this] { run(); });
}

LoopbackMidiSystem::~LoopbackMidiSystem() {
  {
    std::lock_guard<std::mutex> lock(queueMutex_);
    quit_ = true;
  }
  queueCv_.notify_all();
  thread_.join();
}

MidiStatus LoopbackMidiSystem::createClient(const std::string& name, MidiClientOptions options,
                                            std::unique_ptr<MidiClient>* client, std::string* error) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (failClients_) {
    if (error) *error = "the loopback MIDI system refuses new clients";
    return MidiStatus::NoSystem;
  }
  auto c = std::make_unique<Client>(*this, name, std::move(options));
  clients_.push_back(c.get());
  if (client) *client = std::move(c);
  return MidiStatus::Ok;
}

LoopbackMidiSystem::Plugged LoopbackMidiSystem::plug(const Device& device) {
  Pending pending;
  Plugged p;
  {
  std::lock_guard<std::mutex> lock(mutex_);
  p.entity = device.hasEntity ? newRef() : 0;
  size_t index = 0;
  auto add = [&](MidiObjectType type, const std::string& name) {
    const MidiEndpointRef ref = newRef();
    const int32_t id = index < device.uniqueIds.size() && device.uniqueIds[index] != 0 ? device.uniqueIds[index]
                                                                                          : nextUniqueId_++;
    ++index;
    endpoints_.emplace(ref, Endpoint{type, p.entity, name, device.manufacturer, device.model, id, nullptr, {}, true});
    (type == MidiObjectType::Source ? p.sources : p.destinations).push_back(ref);
    notifyAll(pending, MidiNotificationMessage::ObjectAdded, p.entity, ref, type);
  };
  for (const std::string& n : device.sources) add(MidiObjectType::Source, n);
  for (const std::string& n : device.destinations) add(MidiObjectType::Destination, n);
  }
  post(pending);
  return p;
}

void LoopbackMidiSystem::unplug(MidiObjectRef entityOrEndpoint) {
  Pending pending;
  {
  std::lock_guard<std::mutex> dispatch(dispatchMutex_);
  std::lock_guard<std::mutex> lock(mutex_);
  std::vector<std::pair<MidiEndpointRef, Endpoint>> gone;
  for (auto it = endpoints_.begin(); it != endpoints_.end();) {
    const bool match = !it->second.owner && it->second.listed &&
                       (it->first == entityOrEndpoint || (it->second.entity != 0 && it->second.entity == entityOrEndpoint));
    if (match) {
      gone.emplace_back(it->first, it->second);
      it = endpoints_.erase(it);
    } else {
      ++it;
    }
  }
  for (auto& [ref, port] : ports_) {
    auto& s = port.sources;
    s.erase(std::remove_if(s.begin(), s.end(),
                           [&](MidiEndpointRef r) {
                             return std::any_of(gone.begin(), gone.end(), [&](const auto& g) { return g.first == r; });
                           }),
            s.end());
  }
  for (const auto& [ref, e] : gone) notifyAll(pending, MidiNotificationMessage::ObjectRemoved, e.entity, ref, e.type);
  }
  post(pending);
}

void LoopbackMidiSystem::notifyAll(Pending& pending, MidiNotificationMessage message, MidiEntityRef entity,
                                   MidiEndpointRef endpoint, MidiObjectType type, const Client* owner) {
  MidiNotification n;
  n.message = message;
  n.parent = entity;
  n.parentType = MidiObjectType::Entity;
  n.child = endpoint;
  n.childType = type;
  for (Client* c : clients_) {
    if (c != owner && c->notifier()->proc) pending.emplace_back(c->notifier(), n);
  }
}

void LoopbackMidiSystem::post(Pending& pending) {
  for (auto& [notifier, n] : pending) {
    std::shared_ptr<Notifier> keep = notifier;
    const MidiNotification note = n;
    keep->dispatcher([keep, note] {
      if (keep->alive) keep->proc(note);
    });
  }
}

void LoopbackMidiSystem::deliver(MidiEndpointRef source, std::vector<uint8_t> bytes, uint64_t timeStamp) {
  deliverPackets(source, MidiPacketList{MidiPacket{timeStamp, std::move(bytes)}});
}

void LoopbackMidiSystem::deliverPackets(MidiEndpointRef source, MidiPacketList packets) {
  enqueue({source, false, std::move(packets), 0});
}

void LoopbackMidiSystem::enqueue(Job job) {
  {
    std::lock_guard<std::mutex> lock(queueMutex_);
    job.serial = ++enqueued_;
    queue_.push_back(std::move(job));
  }
  queueCv_.notify_all();
}

void LoopbackMidiSystem::waitForDelivery() {
  std::unique_lock<std::mutex> lock(queueMutex_);
  const uint64_t target = enqueued_;
  doneCv_.wait(lock, [&] { return delivered_ >= target; });
}

void LoopbackMidiSystem::run() {
  for (;;) {
    Job job;
    {
      std::unique_lock<std::mutex> lock(queueMutex_);
      queueCv_.wait(lock, [&] { return quit_ || !queue_.empty(); });
      if (queue_.empty()) return;
      job = std::move(queue_.front());
      queue_.pop_front();
    }
    {
      std::lock_guard<std::mutex> dispatch(dispatchMutex_);
      std::vector<MidiReadProc*> procs;
      {
        std::lock_guard<std::mutex> lock(mutex_);
        if (job.toDestination) {
          auto it = endpoints_.find(job.endpoint);
          if (it != endpoints_.end() && it->second.readProc) procs.push_back(&it->second.readProc);
        } else {
          for (auto& [ref, port] : ports_) {
            if (port.input && port.readProc &&
                std::find(port.sources.begin(), port.sources.end(), job.endpoint) != port.sources.end()) {
              procs.push_back(&port.readProc);
            }
          }
        }
      }
      // The procs stay valid: removing a port or an endpoint takes the
      // dispatch lock that is held here.
      for (MidiReadProc* p : procs) (*p)(job.packets);
    }
    {
      std::lock_guard<std::mutex> lock(queueMutex_);
      delivered_ = job.serial;
    }
    doneCv_.notify_all();
  }
}

std::vector<std::vector<uint8_t>> LoopbackMidiSystem::sent(MidiEndpointRef destination) const {
  std::lock_guard<std::mutex> lock(mutex_);
  std::vector<std::vector<uint8_t>> out;
  for (const Sent& s : sent_) {
    if (s.destination == destination) out.push_back(s.bytes);
  }
  return out;
}

std::vector<LoopbackMidiSystem::Sent> LoopbackMidiSystem::takeSent() {
  std::lock_guard<std::mutex> lock(mutex_);
  std::vector<Sent> out;
  out.swap(sent_);
  return out;
}

MidiNetworkSession& LoopbackMidiSystem::networkSession() { return *session_; }
int LoopbackMidiSystem::networkSessionChanges() const { return session_->changes(); }

void LoopbackMidiSystem::setFailClientCreation(bool fail) {
  std::lock_guard<std::mutex> lock(mutex_);
  failClients_ = fail;
}

void LoopbackMidiSystem::setFailPortCreation(bool fail) {
  std::lock_guard<std::mutex> lock(mutex_);
  failPorts_ = fail;
}

size_t LoopbackMidiSystem::clientCount() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return clients_.size();
}

}  // namespace platform
