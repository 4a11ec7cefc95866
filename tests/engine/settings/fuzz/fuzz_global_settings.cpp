// libFuzzer target for the reader of "global.dat" in every version. The
// input is the file, read once where the program keeps it and once from
// where an older layout kept it ("gbx_global.dat", moved in on start-up).
// Besides crashes, sanitizer reports, leaks and runaway memory, the run
// stops when:
// - a setting comes out of its range, or without a text;
// - the settings differ from the file's (a version 0-6 word followed by
//   at least that version's 2, 4, 5, 6, 7, 8 or 9 values, each clamped,
//   defaults for the rest) or, for any other file, from the defaults;
// - loading changes the file, or the moved older file reads differently;
// - what is saved reads back differently.

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <span>
#include <string>

#include "engine/settings/global_settings.h"
#include "tests/support/fuzz/fuzz_support.h"

namespace fs = std::filesystem;

namespace {

constexpr const char* kTarget = "fuzz_global_settings";
constexpr std::array<int32_t, GlobalSettings::kCount> kDefaults = {0, 1, 127, 0, 0, 1, 1, 1, 0};

struct Folders {
  fs::path root, data, docs;
};

const Folders& folders() {
  static const Folders f = [] {
    Folders x;
    x.root = igbfuzz::makeTempDir("global-settings");
    x.docs = x.root;
    x.data = x.root / ".igroovebix.d";
    fs::create_directories(x.data);
    return x;
  }();
  return f;
}

std::array<int32_t, GlobalSettings::kCount> valuesOf(const GlobalSettings& g) {
  std::array<int32_t, GlobalSettings::kCount> v{};
  for (uint32_t i = 0; i < GlobalSettings::kCount; ++i) v[i] = g.get(static_cast<int32_t>(i));
  return v;
}

int32_t word(std::span<const uint8_t> bytes, size_t index) {
  const uint8_t* p = bytes.data() + 4 * index;
  return static_cast<int32_t>(uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24));
}

// What the file format says the input holds.
std::array<int32_t, GlobalSettings::kCount> expectedFrom(std::span<const uint8_t> input) {
  std::array<int32_t, GlobalSettings::kCount> v = kDefaults;
  if (input.size() < 4) return v;
  const uint32_t version = static_cast<uint32_t>(word(input, 0));
  if (version > GlobalSettings::kFileVersion) return v;
  const size_t count = version == 0 ? 2 : version + 3;
  if ((input.size() - 4) / 4 < count) return v;
  for (size_t i = 0; i < count; ++i)
    v[i] = std::clamp(word(input, i + 1), GlobalSettings::kInfo[i].min, GlobalSettings::kInfo[i].max);
  return v;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const Folders& f = folders();
  const std::span<const uint8_t> input(data, size);
  const fs::path current = f.data / "global.dat";
  const fs::path older = f.docs / "gbx_global.dat";
  const auto want = expectedFrom(input);

  std::error_code ec;
  fs::remove(older, ec);
  igbfuzz::writeAll(current, input);
  std::array<int32_t, GlobalSettings::kCount> got{};
  {
    GlobalSettings g(f.data, f.docs);
    got = valuesOf(g);
    for (uint32_t i = 0; i < GlobalSettings::kCount; ++i) {
      if (got[i] < GlobalSettings::kInfo[i].min || got[i] > GlobalSettings::kInfo[i].max)
        igbfuzz::stop(kTarget, GlobalSettings::name(i) + " out of range: " + std::to_string(got[i]));
      if (g.valueText(static_cast<int32_t>(i)).empty()) igbfuzz::stop(kTarget, GlobalSettings::name(i) + " has no text");
    }
    if (got != want) igbfuzz::stop(kTarget, "the settings are not the file's");
    if (igbfuzz::readAll(current) != std::vector<uint8_t>(input.begin(), input.end()))
      igbfuzz::stop(kTarget, "loading changed the file");
    if (!g.saveGlobalSettings()) igbfuzz::stop(kTarget, "cannot save");
  }
  {
    GlobalSettings again(f.data, f.docs);
    if (valuesOf(again) != got) igbfuzz::stop(kTarget, "the saved settings read back differently");
  }

  // The same file where the older layout kept it.
  fs::remove(current, ec);
  igbfuzz::writeAll(older, input);
  GlobalSettings moved(f.data, f.docs);
  if (valuesOf(moved) != want) igbfuzz::stop(kTarget, "the older file reads differently");
  if (fs::exists(older, ec) || igbfuzz::readAll(current) != std::vector<uint8_t>(input.begin(), input.end()))
    igbfuzz::stop(kTarget, "the older file was not moved in as it is");
  return 0;
}
