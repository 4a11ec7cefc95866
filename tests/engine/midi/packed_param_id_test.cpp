#include "engine/midi/packed_param_id.h"

#include <gtest/gtest.h>

#include <map>
#include <tuple>
#include <vector>
#include <utility>

namespace {

TEST(PackedParamId, RoundTripsGroupAndIndex) {
  for (int32_t g = 0; g <= 13; ++g) {
    for (int32_t i : {0, 1, 2, 3, 10, 12, 0xFFFF}) {
      const PackedParamId id = packedParamId(g, i);
      EXPECT_EQ(id, g * 65536 + i);
      EXPECT_EQ(packedGroup(id), g);
      EXPECT_EQ(packedIndex(id), i);
    }
  }
  EXPECT_EQ(packedGroup(kPackedUnassigned), -1);
  EXPECT_EQ(packedGroup(kPackedReserved), -1);
  EXPECT_EQ(packedIndex(kPackedReserved), -1);
}

TEST(MidiControlMap, FixedControls) {
  constexpr MidiControlMap m = makeMidiControlMap();
  const std::pair<int, PackedParamId> rows[] = {
      {0, -1},        {1, 0x80000},  {2, 0x80001},  {3, 0x90000},  {4, 0xB0001},  {5, 0xB0002},
      {6, 0xB0003},   {7, 0xD0000},  {8, 0xD0001},  {9, 0xD0002},  {10, 0xA0001}, {11, 0xA0000},
      {12, 0xC0000},  {13, 0xC0001}, {14, 0xC0002}, {32, -2},      {120, -1},     {127, -1},
      {15, 0x00000},  {27, 0x0000C}, {28, 0x10000}, {31, 0x10003}, {33, 0x10004}, {35, 0x10006},
      {41, 0x1000C},  {42, 0x20000}, {54, 0x2000C}, {55, 0x30000}, {67, 0x3000C}, {68, 0x40000},
      {80, 0x4000C},  {81, 0x50000}, {93, 0x5000C}, {94, 0x60000}, {106, 0x6000C}, {107, 0x70000},
      {119, 0x7000C},
  };
  for (const auto& [control, id] : rows) EXPECT_EQ(m[static_cast<size_t>(control)], id) << "control " << control;
}

TEST(MidiControlMap, EveryPartParameterHasExactlyOneControl) {
  const MidiControlMap m = makeMidiControlMap();
  std::map<PackedParamId, int> controlOf;
  int unassigned = 0;
  for (int c = 0; c < 128; ++c) {
    const PackedParamId id = m[static_cast<size_t>(c)];
    if (id == kPackedUnassigned) {
      ++unassigned;
      continue;
    }
    EXPECT_TRUE(controlOf.emplace(id, c).second) << "id " << id << " twice";
  }
  for (int part = 0; part < 8; ++part)
    for (int n = 0; n < 13; ++n) EXPECT_EQ(controlOf.count(packedParamId(part, n)), 1u) << part << "/" << n;
  // Control 0 and 120-127.
  EXPECT_EQ(unassigned, 9);
}

}  // namespace

#include "engine/midi/midi_parameter_hand_off.h"

namespace {

TEST(MidiParameterHandOff, EverySlotNamesOneIdentifier) {
  for (size_t s = 0; s < MidiParameterHandOff::kSlots; ++s) {
    const PackedParamId id = MidiParameterHandOff::idOf(s);
    EXPECT_EQ(MidiParameterHandOff::slotOf(id), static_cast<int32_t>(s)) << id;
  }
  for (PackedParamId id : {packedParamId(8, 2), packedParamId(11, 0), packedParamId(11, 4), packedParamId(12, 4),
                           packedParamId(13, 0), packedParamId(13, 1), packedParamId(14, 0), packedParamId(3, 13),
                           kPackedUnassigned, kPackedReserved}) {
    EXPECT_EQ(MidiParameterHandOff::slotOf(id), -1) << id;
  }
}

TEST(MidiParameterHandOff, KeepsTheLatestValueOfEachSlotInSlotOrder) {
  MidiParameterHandOff h;
  EXPECT_FALSE(h.takeChanged());
  for (int v = 0; v < 5000; ++v) h.store(packedParamId(2, 6), v, 4);
  h.store(packedParamId(13, 2), 3, 4);
  h.store(packedParamId(0, 0), 9, 5);
  h.store(packedParamId(14, 0), 1, 4);  // not kept
  ASSERT_TRUE(h.takeChanged());
  std::vector<std::tuple<PackedParamId, int32_t, uint16_t>> got;
  h.scan([&](PackedParamId id, int32_t v, uint16_t p) { got.emplace_back(id, v, p); });
  const std::vector<std::tuple<PackedParamId, int32_t, uint16_t>> want = {
      {packedParamId(0, 0), 9, 5}, {packedParamId(2, 6), 4999, 4}, {packedParamId(13, 2), 3, 4}};
  EXPECT_EQ(got, want);
  EXPECT_FALSE(h.takeChanged());
  h.store(packedParamId(12, 3), -7, 1);
  ASSERT_TRUE(h.takeChanged());
  got.clear();
  h.scan([&](PackedParamId id, int32_t v, uint16_t p) { got.emplace_back(id, v, p); });
  EXPECT_EQ(got, (std::vector<std::tuple<PackedParamId, int32_t, uint16_t>>{{packedParamId(12, 3), -7, 1}}));
}

}  // namespace
