#pragma once
// The analytics recorder. The main screen and the edit modes report
// user actions here by name; nothing leaves the machine: the
// recorder only remembers the last event name while recording is enabled,
// and starting a session does nothing.
//
// Main thread only (sharedInstance itself is thread-safe).

#include <string>

// The event names the system reports.
namespace gq_event {
inline constexpr const char* kStart = "Start";
inline constexpr const char* kStop = "Stop";
inline constexpr const char* kRecord = "Record";
inline constexpr const char* kMute = "Mute";
inline constexpr const char* kSolo = "Solo";
inline constexpr const char* kLoop = "Loop";
inline constexpr const char* kTempo = "Tempo";
inline constexpr const char* kEffectSwitch = "Effect Switch";
inline constexpr const char* kPatternSet = "Pattern Set";
inline constexpr const char* kClearPart = "Clear Part";
inline constexpr const char* kClearMotion = "Clear Motion";
inline constexpr const char* kCopyStep = "Copy Step";
inline constexpr const char* kMoveData = "Move Data";
inline constexpr const char* kOscPitch = "Osc Pitch";
inline constexpr const char* kOscModDepth = "Osc Mod Depth";
inline constexpr const char* kOscModSpeed = "Osc Mod Speed";
inline constexpr const char* kAmpDecay = "Amp Decay";
inline constexpr const char* kAmpLevel = "Amp Level";
inline constexpr const char* kAmpPan = "Amp Pan";
inline constexpr const char* kAmpLowBoost = "Amp Low Boost";
inline constexpr const char* kEffectType = "Effect Type";
inline constexpr const char* kEffectEdit1 = "Effect Edit 1";
inline constexpr const char* kEffectEdit2 = "Effect Edit 2";
inline constexpr const char* kMasterVolume = "Master Volume";
inline constexpr const char* kWaveType = "Wave Type";
inline constexpr const char* kModType = "Mod Type";
inline constexpr const char* kMotionSeq = "Motion Seq";
inline constexpr const char* kAccent = "Accent";
inline constexpr const char* kCrossMod = "Cross Mod";
inline constexpr const char* kRingMod = "Ring Mod";
inline constexpr const char* kRoruDuzirid = "Roru Duzirid";
inline constexpr const char* kSynth1 = "Synth 1";
inline constexpr const char* kSynth2 = "Synth 2";
inline constexpr const char* kSynth3 = "Synth 3";
inline constexpr const char* kSynth4 = "Synth 4";
inline constexpr const char* kHiHatClosed = "HiHat Closed";
inline constexpr const char* kHiHatOpen = "HiHat Open";
inline constexpr const char* kCymbal = "Cymbal";
inline constexpr const char* kClapSnare = "Clap Snare";
inline constexpr const char* kInit = "Init";
inline constexpr const char* kSave = "Save";
inline constexpr const char* kTutorialSkip = "Tutorial Skip";
inline constexpr const char* kTutorialLinear = "Tutorial Linear";
inline constexpr const char* kTutorialRotary = "Tutorial Rotary";
}  // namespace gq_event

class GQFlurry {
 public:
  static GQFlurry& sharedInstance();

  GQFlurry() = default;

  // Does nothing: there is no analytics service to talk to.
  void startSession() {}
  // Remembers `name` as the last event while enabled and when it differs
  // from the last one; otherwise nothing changes.
  void reportEvent(const std::string& name);

  bool isEnabled() const { return enabled_; }
  void setIsEnabled(bool enabled) { enabled_ = enabled; }
  const std::string& lastEventType() const { return lastEventType_; }
  void setLastEventType(std::string type) { lastEventType_ = std::move(type); }

 private:
  bool enabled_ = false;
  std::string lastEventType_;
};
