#pragma once
// The program's one MIDI client. Every source gets its own input connection
// (the byte parser and routing into the engine), every destination an output
// (which drives the lamps when it is a supported controller). The two
// supported controllers are recognised by their endpoint name or by their
// maker and model, so that their messages go to their own mappings; a
// controller's input and output (same device) are paired, so that the input's
// layout and scene are what its lamps show. Other programs can send to the
// virtual destination "iGROOVEBIX". Devices that come and go are followed,
// with a "midiDeviceNotification" posted on the main queue for each.
//
// On Linux (ALSA sequencer) the network session has no endpoints: there is
// no built-in network MIDI. Its switch and policy are still set and put back;
// a network MIDI daemon's ports are ordinary sequencer clients and are
// connected like any device.
//
// Differences from a plain reading, on purpose:
// - The virtual destination has an input connection of its own, made whether
//   or not a source exists, rather than borrowing the first source's: that
//   connection would be freed when its device is unplugged while other
//   programs still send.
// - An input connection's port is disposed (which waits for a read proc of it
//   that is running) before the connection is deleted.
// - A fader controller's layout change reaches its outputs on the main thread,
//   at the next refresh (which is where the blink is shown), so the MIDI
//   thread never touches an output. The refresh counts presses, not layouts:
//   two presses between refreshes still restart the blink.
//
// Main thread only (notifications arrive there); input runs on the MIDI
// thread inside each connection.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "audio/midi/midi_controller_output.h"
#include "engine/midi/midi_input_connection.h"
#include "platform/midi/midi.h"

class Synth;

// The names by which the supported controllers are recognised.
struct MidiControllerModels {
  std::string manufacturer = "TESK INC.";
  std::string faderModel = "quillaCONTROL2";
  std::string padModel = "quillaPAD2";
};

class MidiDeviceManager {
 public:
  static constexpr const char* kClientName = "iGROOVEBIX";
  static constexpr const char* kNotificationName = "midiDeviceNotification";
  static constexpr const char* kMessageKey = "message";

  // The process's manager (over the ALSA sequencer, client "iGROOVEBIX"),
  // replacing one that exists; null only when none can be made at all.
  static MidiDeviceManager* createMidiDeviceManager(Synth* synth, bool nativeMode);
  static MidiDeviceManager* createMidiDeviceManager(Synth* synth, bool nativeMode, platform::MidiSystem& system,
                                                    MidiControllerModels models = {});
  static void destroyMidiDeviceManager();
  static MidiDeviceManager* instance();

  MidiDeviceManager(Synth* synth, const std::string& clientName, bool nativeMode, platform::MidiSystem& system,
                    MidiControllerModels models = {});
  ~MidiDeviceManager();
  MidiDeviceManager(const MidiDeviceManager&) = delete;
  MidiDeviceManager& operator=(const MidiDeviceManager&) = delete;

  // 0 any device, 1 the fader controller, 2 the pad controller.
  uint32_t controllerKind(platform::MidiEndpointRef endpoint);
  // The new connection, or null (no endpoint, or one already connected).
  MidiInputConnection* addSource(platform::MidiEndpointRef endpoint);
  void addDestination(platform::MidiEndpointRef endpoint);
  void handleNotification(const platform::MidiNotification& notification);
  void removeObject(const platform::MidiNotification& notification);
  void midiNotifyProc(const platform::MidiNotification& notification);
  void applyNetworkMidi(bool enabled);
  // Applies the flag when it differs from the last applied.
  void setNetworkMidiEnabled(bool enabled);
  // The 0.1 s refresh of the controllers' lamps.
  void updateControllerOutputs();
  // Native mode again (return to the foreground).
  void resendControllerSetup();

  static void postMidiDeviceNotification(const std::string& text);

  // Queries (main thread).
  bool hasClient() const { return client_ != nullptr; }
  platform::MidiClient* client() const { return client_.get(); }
  // Why there is no client.
  const std::string& clientError() const { return clientError_; }
  bool nativeMode() const { return nativeMode_; }
  bool networkMidiEnabled() const { return networkMidiEnabled_; }
  platform::MidiEndpointRef virtualDestination() const { return virtualDestination_; }
  MidiInputConnection* virtualDestinationInput() const { return virtualInput_.get(); }
  std::vector<MidiInputConnection*> inputs() const;
  std::vector<MidiControllerOutput*> outputs() const;
  MidiInputConnection* inputFor(platform::MidiEndpointRef source) const;
  MidiControllerOutput* outputFor(platform::MidiEndpointRef destination) const;
  // The input port made for a source's connection; 0 when none could be made.
  platform::MidiPortRef inputPortFor(platform::MidiEndpointRef source) const;

 private:
  struct Input {
    std::unique_ptr<MidiInputConnection> connection;
    platform::MidiPortRef port = 0;
    platform::MidiEndpointRef source = 0;
    // Read while the endpoint exists, for the disconnect message.
    std::string model;
    // The connection's layout presses its outputs were last told of.
    uint32_t shownLayoutPresses = 0;
  };

  std::string property(platform::MidiObjectRef object, platform::MidiProperty p) const;
  // Disconnects, disposes the port, then deletes the connection.
  void closeInput(Input& input);
  // Drops every connection of the source; true when one was dropped, with
  // its device's model in `model`.
  bool dropSource(platform::MidiEndpointRef source, std::string* model = nullptr);
  void dropDestination(platform::MidiEndpointRef destination);
  void checkClockLost();
  void readInto(MidiInputConnection* connection, const platform::MidiPacketList& packets);

  Synth* synth_;
  std::unique_ptr<platform::MidiClient> client_;
  std::vector<Input> inputs_;
  std::vector<std::unique_ptr<MidiControllerOutput>> outputs_;
  bool savedNetworkEnabled_ = false;
  uint64_t savedConnectionPolicy_ = 0;
  bool nativeMode_;
  platform::MidiEndpointRef virtualDestination_ = 0;
  std::unique_ptr<MidiInputConnection> virtualInput_;
  bool networkMidiEnabled_ = true;
  MidiControllerModels models_;
  std::string clientError_;
};
