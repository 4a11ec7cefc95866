#include "audio/midi/midi_device_manager.h"

#include <algorithm>
#include <cstdio>

#include "engine/synth/synth.h"
#include "platform/notify/notification_center.h"
#include "platform/runloop/run_loop.h"

namespace {

std::unique_ptr<MidiDeviceManager>& managerSlot() {
  static std::unique_ptr<MidiDeviceManager> slot;
  return slot;
}

}  // namespace

// ---- the process's manager ------------------------------------------------------------------------

MidiDeviceManager* MidiDeviceManager::createMidiDeviceManager(Synth* synth, bool nativeMode) {
  return createMidiDeviceManager(synth, nativeMode, platform::alsaMidiSystem());
}

MidiDeviceManager* MidiDeviceManager::createMidiDeviceManager(Synth* synth, bool nativeMode,
                                                              platform::MidiSystem& system,
                                                              MidiControllerModels models) {
  managerSlot().reset();
  // Every system version this runs on has what the manager needs.
  managerSlot() = std::make_unique<MidiDeviceManager>(synth, kClientName, nativeMode, system, std::move(models));
  return managerSlot().get();
}

void MidiDeviceManager::destroyMidiDeviceManager() { managerSlot().reset(); }

MidiDeviceManager* MidiDeviceManager::instance() { return managerSlot().get(); }

// ---- life ----------------------------------------------------------------------------------------------

MidiDeviceManager::MidiDeviceManager(Synth* synth, const std::string& clientName, bool nativeMode,
                                     platform::MidiSystem& system, MidiControllerModels models)
    : synth_(synth), nativeMode_(nativeMode), models_(std::move(models)) {
  platform::MidiClientOptions options;
  options.notify = [this](const platform::MidiNotification& n) { midiNotifyProc(n); };
  const platform::MidiStatus status = system.createClient(clientName, std::move(options), &client_, &clientError_);
  if (status != platform::MidiStatus::Ok || !client_) {
    client_.reset();
    if (clientError_.empty()) clientError_ = platform::midiStatusText(status);
    std::fprintf(stderr, "igroovebix: MIDI runs with no devices: %s\n", clientError_.c_str());
    return;
  }
  platform::MidiNetworkSession& session = client_->networkSession();
  savedNetworkEnabled_ = session.isEnabled();
  savedConnectionPolicy_ = session.connectionPolicy();

  for (platform::MidiEndpointRef source : client_->sources()) addSource(source);

  // The virtual destination parses with a connection of its own.
  virtualInput_ = std::make_unique<MidiInputConnection>(synth_, 1, 0, MidiInputConnection::kAnyDevice);
  MidiInputConnection* v = virtualInput_.get();
  platform::MidiEndpointRef destination = 0;
  if (client_->createDestination(clientName, [this, v](const platform::MidiPacketList& l) { readInto(v, l); },
                                 &destination) == platform::MidiStatus::Ok) {
    virtualDestination_ = destination;
  }

  for (platform::MidiEndpointRef d : client_->destinations()) addDestination(d);
  applyNetworkMidi(true);
}

MidiDeviceManager::~MidiDeviceManager() {
  if (!client_) return;
  platform::MidiNetworkSession& session = client_->networkSession();
  session.setEnabled(savedNetworkEnabled_);
  session.setConnectionPolicy(savedConnectionPolicy_);
  for (Input& in : inputs_) closeInput(in);
  inputs_.clear();
  outputs_.clear();
  if (virtualDestination_) client_->disposeEndpoint(virtualDestination_);
  virtualDestination_ = 0;
  virtualInput_.reset();
  client_.reset();
}

// ---- recognition ------------------------------------------------------------------------------------

std::string MidiDeviceManager::property(platform::MidiObjectRef object, platform::MidiProperty p) const {
  if (!client_) return {};
  return client_->stringProperty(object, p).value_or(std::string());
}

uint32_t MidiDeviceManager::controllerKind(platform::MidiEndpointRef endpoint) {
  if (!nativeMode_ || endpoint == 0) return MidiInputConnection::kAnyDevice;
  const std::string name = property(endpoint, platform::MidiProperty::Name);
  if (!name.empty()) {
    if (name == models_.padModel + " _ PAD" || name == models_.padModel + " _ CTRL") {
      return MidiInputConnection::kPadController;
    }
    if (name == models_.faderModel + " _ CTRL" || name == models_.faderModel + " _ SLIDER/KNOB") {
      return MidiInputConnection::kFaderController;
    }
  }
  if (property(endpoint, platform::MidiProperty::Manufacturer) != models_.manufacturer) {
    return MidiInputConnection::kAnyDevice;
  }
  const std::string model = property(endpoint, platform::MidiProperty::Model);
  if (model == models_.faderModel) return MidiInputConnection::kFaderController;
  if (model == models_.padModel) return MidiInputConnection::kPadController;
  return MidiInputConnection::kAnyDevice;
}

// ---- sources and destinations ---------------------------------------------------------------------------

void MidiDeviceManager::readInto(MidiInputConnection* connection, const platform::MidiPacketList& packets) {
  for (const platform::MidiPacket& p : packets) connection->receive(p.timeStamp, p.data.data(), p.data.size());
}

MidiInputConnection* MidiDeviceManager::addSource(platform::MidiEndpointRef endpoint) {
  if (!client_ || endpoint == 0 || inputFor(endpoint)) return nullptr;
  Input in;
  in.source = endpoint;
  in.model = property(endpoint, platform::MidiProperty::Model);
  in.connection = std::make_unique<MidiInputConnection>(synth_, 1, endpoint, controllerKind(endpoint));
  MidiInputConnection* c = in.connection.get();
  platform::MidiPortRef port = 0;
  // A connection whose port cannot be made stays, and receives nothing.
  if (client_->createInputPort("Input", [this, c](const platform::MidiPacketList& l) { readInto(c, l); }, &port) ==
      platform::MidiStatus::Ok) {
    in.port = port;
    client_->connectSource(port, endpoint);
  }
  inputs_.push_back(std::move(in));
  // A controller's input and output belong to one device.
  if (const platform::MidiEntityRef entity = client_->endpointEntity(endpoint)) {
    for (const auto& o : outputs_) {
      if (client_->endpointEntity(o->destination()) == entity) c->addControllerOutput(o.get());
    }
  }
  return c;
}

void MidiDeviceManager::addDestination(platform::MidiEndpointRef endpoint) {
  if (!client_ || endpoint == 0 || outputFor(endpoint)) return;
  auto output = std::make_unique<MidiControllerOutput>(synth_, client_.get(), endpoint, controllerKind(endpoint));
  MidiControllerOutput* o = output.get();
  outputs_.push_back(std::move(output));
  if (const platform::MidiEntityRef entity = client_->endpointEntity(endpoint)) {
    for (Input& in : inputs_) {
      if (client_->endpointEntity(in.source) == entity) in.connection->addControllerOutput(o);
    }
  }
}

void MidiDeviceManager::closeInput(Input& in) {
  if (client_ && in.port) {
    client_->disconnectSource(in.port, in.source);
    // Returns once no read proc of the port runs, so the connection may go.
    client_->disposePort(in.port);
    in.port = 0;
  }
  in.connection.reset();
}

bool MidiDeviceManager::dropSource(platform::MidiEndpointRef source, std::string* model) {
  bool dropped = false;
  for (Input& in : inputs_) {
    if (in.source == source) {
      if (model) *model = in.model;
      closeInput(in);
      dropped = true;
    }
  }
  inputs_.erase(std::remove_if(inputs_.begin(), inputs_.end(), [](const Input& in) { return !in.connection; }),
                inputs_.end());
  return dropped;
}

void MidiDeviceManager::dropDestination(platform::MidiEndpointRef destination) {
  for (auto it = outputs_.begin(); it != outputs_.end();) {
    if ((*it)->destination() != destination) {
      ++it;
      continue;
    }
    for (Input& in : inputs_) in.connection->removeControllerOutput(it->get());
    it = outputs_.erase(it);
  }
}

void MidiDeviceManager::checkClockLost() {
  const bool clockLeft =
      std::any_of(inputs_.begin(), inputs_.end(), [](const Input& in) { return in.connection->clockSeen(); }) ||
      (virtualInput_ && virtualInput_->clockSeen());
  if (!clockLeft && synth_ && synth_->seq()) synth_->seq()->externalClockLost();
}

// ---- notifications ------------------------------------------------------------------------------------------

void MidiDeviceManager::midiNotifyProc(const platform::MidiNotification& n) {
  if (n.message == platform::MidiNotificationMessage::ObjectAdded) handleNotification(n);
  else if (n.message == platform::MidiNotificationMessage::ObjectRemoved) removeObject(n);
}

void MidiDeviceManager::handleNotification(const platform::MidiNotification& n) {
  if (n.childType == platform::MidiObjectType::Destination) {
    addDestination(n.child);
  } else if (n.childType == platform::MidiObjectType::Source) {
    if (MidiInputConnection* c = addSource(n.child)) {
      const std::string model = property(n.child, platform::MidiProperty::Model);
      postMidiDeviceNotification(c->controllerKind() != 0 ? "Connected " + model + " (Native)" : "Connected " + model);
    }
  }
}

void MidiDeviceManager::removeObject(const platform::MidiNotification& n) {
  if (n.childType == platform::MidiObjectType::Destination) {
    dropDestination(n.child);
  } else if (n.childType == platform::MidiObjectType::Source) {
    // The endpoint is gone: its model is the one read when it came.
    std::string model;
    const bool dropped = dropSource(n.child, &model);
    checkClockLost();
    if (dropped) postMidiDeviceNotification("Disconnected " + model);
  }
}

void MidiDeviceManager::postMidiDeviceNotification(const std::string& text) {
  platform::dispatchAsyncMain([text] {
    platform::NotificationCenter::defaultCenter().post(kNotificationName, {},
                                                       platform::Dictionary{{kMessageKey, platform::Value(text)}});
  });
}

// ---- network session, refresh -----------------------------------------------------------------------------

void MidiDeviceManager::applyNetworkMidi(bool enabled) {
  if (!client_) return;
  platform::MidiNetworkSession& session = client_->networkSession();
  session.setEnabled(enabled);
  session.setConnectionPolicy(enabled ? platform::MidiNetworkSession::Anyone : platform::MidiNetworkSession::NoOne);
  const platform::MidiEndpointRef source = session.sourceEndpoint();
  const platform::MidiEndpointRef destination = session.destinationEndpoint();
  if (enabled) {
    addSource(source);
    addDestination(destination);
    return;
  }
  if (source) {
    dropSource(source);
    checkClockLost();
  }
  if (destination) dropDestination(destination);
}

void MidiDeviceManager::setNetworkMidiEnabled(bool enabled) {
  if (enabled == networkMidiEnabled_) return;
  networkMidiEnabled_ = enabled;
  applyNetworkMidi(enabled);
}

void MidiDeviceManager::updateControllerOutputs() {
  for (Input& in : inputs_) {
    MidiInputConnection& c = *in.connection;
    if (c.controllerKind() == MidiInputConnection::kPadController) {
      for (MidiControllerOutput* o : c.controllerOutputs()) o->refreshSecondController(c.sceneIndex());
    } else if (c.controllerKind() == MidiInputConnection::kFaderController) {
      // One read: the layout and its press count belong together.
      const MidiInputConnection::Layout now = c.layout();
      const int32_t layout = now.index;
      // Every press restarts the blink, also when presses in between brought
      // the layout back to the one shown.
      if (now.presses != in.shownLayoutPresses) {
        for (MidiControllerOutput* o : c.controllerOutputs()) o->setLayout(layout);
        in.shownLayoutPresses = now.presses;
      }
      for (MidiControllerOutput* o : c.controllerOutputs()) o->refreshFirstController(layout);
    }
  }
}

void MidiDeviceManager::resendControllerSetup() {
  for (const auto& o : outputs_) o->sendSetupSysEx(MidiControllerOutput::kNativeMode);
}

// ---- queries ----------------------------------------------------------------------------------------------------

std::vector<MidiInputConnection*> MidiDeviceManager::inputs() const {
  std::vector<MidiInputConnection*> out;
  for (const Input& in : inputs_) out.push_back(in.connection.get());
  return out;
}

std::vector<MidiControllerOutput*> MidiDeviceManager::outputs() const {
  std::vector<MidiControllerOutput*> out;
  for (const auto& o : outputs_) out.push_back(o.get());
  return out;
}

MidiInputConnection* MidiDeviceManager::inputFor(platform::MidiEndpointRef source) const {
  for (const Input& in : inputs_) {
    if (in.source == source) return in.connection.get();
  }
  return nullptr;
}

MidiControllerOutput* MidiDeviceManager::outputFor(platform::MidiEndpointRef destination) const {
  for (const auto& o : outputs_) {
    if (o->destination() == destination) return o.get();
  }
  return nullptr;
}

platform::MidiPortRef MidiDeviceManager::inputPortFor(platform::MidiEndpointRef source) const {
  for (const Input& in : inputs_) {
    if (in.source == source) return in.port;
  }
  return 0;
}
