#include "library/pattern_file.h"

#include <algorithm>

#include "engine/record/param_id.h"
#include "engine/record/param_tables.h"
#include "library/utilities.h"
#include "platform/foundation/atomic_file.h"
#include "platform/foundation/property_list.h"

namespace {

std::string infoValue(const char* key) {
  auto info = platform::readPropertyList(Utilities::bundleResourcePath() / "Info.plist");
  if (info) {
    if (const platform::Value* v = info->find(key); v && v->isString()) return *v->string();
  }
  return {};
}

template <typename T>
bool clampField(T& field, int32_t lo, int32_t hi) {
  const T v = std::clamp<T>(field, static_cast<T>(lo), static_cast<T>(hi));
  if (v == field) return false;
  field = v;
  return true;
}

bool clampFlag(uint8_t& b) {
  if (b <= 1) return false;
  b = 1;
  return true;
}

}  // namespace

std::string Version::version() {
  std::string v = infoValue("CFBundleShortVersionString");
  return v.empty() ? std::string(IGB_VERSION) : v;
}

std::string Version::buildDate() { return infoValue("Build Date"); }

PatternFileVersion readPatternRecord(std::span<const uint8_t> data, PatternRecord* record) {
  if (data.size() == PatternRecord::kSize) {
    *record = PatternRecord::fromBytes(std::span<const uint8_t, PatternRecord::kSize>(data.data(), data.size()));
    return kPatternFileCurrent;
  }
  if (data.size() == PatternRecord::kBodySize) {
    *record = PatternRecord::fromBodyBytes(
        std::span<const uint8_t, PatternRecord::kBodySize>(data.data(), data.size()));
    record->versionParams.dataVersion = Version::dataVersion();
    record->versionParams.allowableDevice = Version::allowableDevice();
    record->versionParams.alignment = 0;
    return kPatternFileConverted;
  }
  return kPatternFileUnusable;
}

bool writePatternFile(const std::filesystem::path& path, const PatternRecord& record, std::string* error) {
  PatternRecord copy = record;
  copy.versionParams.dataVersion = Version::dataVersion();
  copy.versionParams.allowableDevice = Version::allowableDevice();
  const auto bytes = copy.toBytes();
  return platform::writeFileAtomically(path, bytes, error);
}

bool clampPatternRecord(PatternRecord* r) {
  bool changed = false;
  fxParams& fx = r->effectParams[0];
  changed |= clampField(fx.type, 0, kNumEffectTypes - 1);
  changed |= clampField(fx.edit1, 0, 127);
  changed |= clampField(fx.edit2, 0, 127);
  changed |= clampField(fx.trigger, 0, 1);
  for (int p = 0; p < kNumParts; ++p) {
    for (int i = 0; i < kNumPartParams; ++i) {
      const PartParamInfo* info = partParamInfo(p, i);
      int32_t& v = r->synthParams[p][i];
      changed |= clampField(v, info->min, info->max);
    }
  }
  for (motionParams& m : r->motionParams) {
    // The engine gives every enabled slot its track when it loads the
    // pattern; a stale or foreign track number elsewhere means none.
    if (m.enabled != 0 && m.enabled != 1) {
      m.enabled = 1;
      changed = true;
    }
    if (m.motionId < kNoParam || m.motionId >= kNumParamIds || (!m.enabled && m.motionId != kNoParam)) {
      m.motionId = kNoParam;
      changed = true;
    }
    for (int s = 0; s < kNumSteps; ++s) {
      changed |= clampField(m.value[s], 0, 127);
      changed |= clampFlag(m.trigger[s]);
    }
  }
  seqParams& q = r->sequencerParams;
  changed |= clampField(q.tempo, 200, 6000);
  changed |= clampField(q.swing, 50, 75);
  changed |= clampField(q.length, 1, 4);
  changed |= clampField(q.lastStep, 1, 16);
  changed |= clampField(q.accentLevel, 0, 127);
  changed |= clampField(q.accentMotionType, 0, 2);
  changed |= clampField(q.crossRingMod, 0, 2);
  for (auto& row : q.trigger)
    for (uint8_t& b : row) changed |= clampFlag(b);
  for (uint8_t& b : q.accent) changed |= clampFlag(b);
  return changed;
}
