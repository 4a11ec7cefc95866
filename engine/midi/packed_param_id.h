#pragma once
// The one address of every parameter MIDI can reach: group << 16 | index.
// Groups 0-7 are the parts (index = the part parameter, 10 = Mute), 8 the
// accent, 9 cross/ring modulation, 10 the master, 11 the sequence (1 Swing,
// 2 Last Step, 3 Pattern Length), 12 the effect (0 type, 1-2 edits, 3 on/off)
// and 13 commands (0 transport, 1 pattern select, 2 solo). Negative values
// address nothing.
//
// Header only and constexpr: the engine builds its control-change map from
// it without linking the MIDI input library.

#include <array>
#include <cstddef>
#include <cstdint>

using PackedParamId = int32_t;

constexpr PackedParamId kPackedUnassigned = -1;
constexpr PackedParamId kPackedReserved = -2;

enum PackedGroup : int32_t {
  kPackedGroupAccent = 8,
  kPackedGroupCrossRing = 9,
  kPackedGroupMaster = 10,
  kPackedGroupSequence = 11,
  kPackedGroupEffect = 12,
  kPackedGroupCommand = 13,
};

enum PackedCommand : int32_t { kPackedTransport = 0, kPackedPatternSelect = 1, kPackedSolo = 2 };

constexpr PackedParamId packedParamId(int32_t group, int32_t index) {
  return static_cast<PackedParamId>((static_cast<uint32_t>(group) << 16) | (static_cast<uint32_t>(index) & 0xFFFFu));
}
constexpr int32_t packedGroup(PackedParamId id) { return id < 0 ? -1 : id >> 16; }
constexpr int32_t packedIndex(PackedParamId id) { return id < 0 ? -1 : id & 0xFFFF; }

// One identifier per control number on the engine's MIDI channel.
using MidiControlMap = std::array<PackedParamId, 128>;

constexpr int32_t kMidiMapParts = 8;
constexpr int32_t kMidiMapPartParams = 13;
constexpr int32_t kFirstPartControl = 15;

// The fixed controls first; then the 104 part parameters, part-major, each
// into the next still unassigned entry from control 15 on (so bank select
// LSB, control 32, is skipped); 120-127 stay unassigned.
constexpr MidiControlMap makeMidiControlMap() {
  MidiControlMap m{};
  for (auto& e : m) e = kPackedUnassigned;
  m[1] = packedParamId(kPackedGroupAccent, 0);
  m[2] = packedParamId(kPackedGroupAccent, 1);
  m[3] = packedParamId(kPackedGroupCrossRing, 0);
  m[4] = packedParamId(kPackedGroupSequence, 1);
  m[5] = packedParamId(kPackedGroupSequence, 2);
  m[6] = packedParamId(kPackedGroupSequence, 3);
  m[7] = packedParamId(kPackedGroupCommand, kPackedTransport);
  m[8] = packedParamId(kPackedGroupCommand, kPackedPatternSelect);
  m[9] = packedParamId(kPackedGroupCommand, kPackedSolo);
  m[10] = packedParamId(kPackedGroupMaster, 1);
  m[11] = packedParamId(kPackedGroupMaster, 0);
  m[12] = packedParamId(kPackedGroupEffect, 0);
  m[13] = packedParamId(kPackedGroupEffect, 1);
  m[14] = packedParamId(kPackedGroupEffect, 2);
  m[32] = kPackedReserved;
  std::size_t next = kFirstPartControl;
  for (int32_t part = 0; part < kMidiMapParts; ++part) {
    for (int32_t n = 0; n < kMidiMapPartParams; ++n) {
      while (next < m.size() && m[next] != kPackedUnassigned) ++next;
      if (next < m.size()) m[next++] = packedParamId(part, n);
    }
  }
  return m;
}
