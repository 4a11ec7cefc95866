#include "engine/record/pattern_record.h"

#include <cstring>

namespace {

// Walks every field of a record in layout order with its offset, so that
// reading and writing cannot disagree about the layout.
template <typename Rec, typename F>
void forEachField(Rec& r, F&& f) {
  f(r.versionParams.dataVersion);
  f(r.versionParams.allowableDevice);
  f(r.versionParams.alignment);
  for (char& c : r.tagParams.name) f(c);
  for (char& c : r.tagParams.author) f(c);
  for (char& c : r.tagParams.tags) f(c);
  f(r.effectParams[0].type);
  f(r.effectParams[0].edit1);
  f(r.effectParams[0].edit2);
  f(r.effectParams[0].trigger);
  for (auto& row : r.synthParams)
    for (int i = 0; i < kNumPartParams; ++i) f(row[i]);
  for (auto& m : r.motionParams) {
    f(m.motionId);
    for (auto& v : m.value) f(v);
    for (auto& t : m.trigger) f(t);
    f(m.enabled);
  }
  auto& s = r.sequencerParams;
  f(s.tempo);
  f(s.swing);
  f(s.length);
  f(s.lastStep);
  f(s.accentLevel);
  f(s.accentMotionType);
  f(s.crossRingMod);
  f(s.dummy);
  for (auto& part : s.trigger)
    for (auto& t : part) f(t);
  for (auto& a : s.accent) f(a);
}

template <typename T>
void putLE(uint8_t*& p, T value) {
  using U = std::make_unsigned_t<T>;
  U u = static_cast<U>(value);
  for (size_t i = 0; i < sizeof(T); ++i) *p++ = static_cast<uint8_t>(u >> (8 * i));
}

template <typename T>
void getLE(const uint8_t*& p, T& value) {
  using U = std::make_unsigned_t<T>;
  U u = 0;
  for (size_t i = 0; i < sizeof(T); ++i) u = static_cast<U>(u | (static_cast<U>(*p++) << (8 * i)));
  value = static_cast<T>(u);
}

}  // namespace

PatternRecord PatternRecord::zeroed() {
  PatternRecord r;
  std::memset(static_cast<void*>(&r), 0, sizeof r);
  return r;
}

void PatternRecord::toBytes(std::span<uint8_t, kSize> out) const {
  uint8_t* p = out.data();
  forEachField(const_cast<PatternRecord&>(*this), [&](auto& field) { putLE(p, field); });
}

std::array<uint8_t, PatternRecord::kSize> PatternRecord::toBytes() const {
  std::array<uint8_t, kSize> out{};
  toBytes(std::span<uint8_t, kSize>(out));
  return out;
}

PatternRecord PatternRecord::fromBytes(std::span<const uint8_t, kSize> in) {
  PatternRecord r = zeroed();
  const uint8_t* p = in.data();
  forEachField(r, [&](auto& field) { getLE(p, field); });
  return r;
}

void PatternRecord::bodyToBytes(std::span<uint8_t, kBodySize> out) const {
  const auto all = toBytes();
  std::memcpy(out.data(), all.data() + kHeaderSize, kBodySize);
}

PatternRecord PatternRecord::fromBodyBytes(std::span<const uint8_t, kBodySize> in) {
  std::array<uint8_t, kSize> all{};
  std::memcpy(all.data() + kHeaderSize, in.data(), kBodySize);
  return fromBytes(std::span<const uint8_t, kSize>(all));
}

bool PatternRecord::operator==(const PatternRecord& other) const {
  return toBytes() == other.toBytes();
}
