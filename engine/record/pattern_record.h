#pragma once
// One pattern: everything that sounds, as one fixed 29,320-byte record.
//
// The in-memory struct has exactly the byte layout of the pattern file on a
// little-endian host (the offsets are checked below), so the engine, the
// pattern store and the randomizer can all address members directly. Moving
// a record to and from bytes goes through toBytes/fromBytes, which write
// little-endian field by field and so keep the file format on any host.

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

inline constexpr int kNumParts = 8;
inline constexpr int kNumSynthParts = 4;
inline constexpr int kNumSteps = 64;
inline constexpr int kStepsPerBar = 16;
inline constexpr int kNumPartParams = 13;
inline constexpr int kNumParamIds = 140;

struct versionParams {
  uint32_t dataVersion;
  uint16_t allowableDevice;
  uint16_t alignment;
};

struct tagParamsT {
  char name[16];
  char author[16];
  char tags[256];
};

struct fxParams {
  int32_t type;     // 0-7
  int32_t edit1;    // 0-127
  int32_t edit2;    // 0-127
  int32_t trigger;  // effect on/off, 0-1
};

// One row per part; the field order is the part parameter index.
struct synthParams {
  int32_t pitch;
  int32_t waveform;
  int32_t modDepth;
  int32_t modSpeed;
  int32_t modType;
  int32_t decay;
  int32_t level;
  int32_t pan;
  int32_t lowBoost;
  int32_t motionType;
  int32_t mute;
  int32_t fxSend;
  int32_t accentStatus;

  int32_t& operator[](int index) { return (&pitch)[index]; }
  int32_t operator[](int index) const { return (&pitch)[index]; }
};

struct motionParams {
  int32_t motionId;  // sequencer motion track while loaded, -1 none
  int16_t value[kNumSteps];
  uint8_t trigger[kNumSteps];
  int32_t enabled;
};

struct seqParams {
  int16_t tempo;             // tenths of BPM, 200-6000
  int16_t swing;             // 50-75
  int16_t length;            // bars, 1-4
  int16_t lastStep;          // 1-16
  int16_t accentLevel;       // 0-127
  int16_t accentMotionType;  // 0-2
  int16_t crossRingMod;      // 0 off, 1 cross, 2 ring
  int16_t dummy;
  uint8_t trigger[kNumParts][kNumSteps];
  uint8_t accent[kNumSteps];
};

struct PatternRecord {
  static constexpr size_t kSize = 29320;
  static constexpr size_t kHeaderSize = 8;
  static constexpr size_t kBodySize = kSize - kHeaderSize;  // 29,312
  static constexpr uint32_t kDataVersion = 0x01000000;

  struct versionParams versionParams;
  tagParamsT tagParams;
  fxParams effectParams[1];
  struct synthParams synthParams[kNumParts];
  struct motionParams motionParams[kNumParamIds];
  seqParams sequencerParams;

  // Every byte zero: the state before any pattern is loaded.
  static PatternRecord zeroed();

  // Little-endian bytes, exactly kSize of them.
  void toBytes(std::span<uint8_t, kSize> out) const;
  std::array<uint8_t, kSize> toBytes() const;
  static PatternRecord fromBytes(std::span<const uint8_t, kSize> in);

  // The 29,312-byte body alone (the older header-less file form).
  void bodyToBytes(std::span<uint8_t, kBodySize> out) const;
  static PatternRecord fromBodyBytes(std::span<const uint8_t, kBodySize> in);

  bool operator==(const PatternRecord& other) const;
};

static_assert(sizeof(PatternRecord) == PatternRecord::kSize);
static_assert(offsetof(PatternRecord, versionParams) == 0);
static_assert(offsetof(PatternRecord, tagParams) == 8);
static_assert(offsetof(PatternRecord, effectParams) == 296);
static_assert(offsetof(PatternRecord, synthParams) == 312);
static_assert(offsetof(PatternRecord, motionParams) == 728);
static_assert(offsetof(PatternRecord, sequencerParams) == 28728);
static_assert(sizeof(motionParams) == 200);
static_assert(sizeof(synthParams) == 52);
static_assert(offsetof(seqParams, trigger) == 16);
static_assert(offsetof(seqParams, accent) == 528);
