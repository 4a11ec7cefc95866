#include "engine/voices/drum_data.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

#include <sys/stat.h>

#include "engine/record/drum_sample_info.h"
#include "engine/voices/bundle_resource.h"

namespace {

std::atomic<DrumData*> gDrumData{nullptr};

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};

}  // namespace

size_t drumDataRequiredSamples() {
  size_t needed = 0;
  for (uint32_t row = 0; row < kNumDrumSamples; ++row) {
    const DrumSampleInfo info = drumSampleInfo(row);
    if (info.valid && info.end + 1u > needed) needed = info.end + 1u;
  }
  return needed;
}

DrumDataStatus loadDrumData(DrumData& data, const std::string& path) {
  data.words.clear();
  std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "rb"));
  if (!file) {
    const bool missing = errno == ENOENT || errno == ENOTDIR;
    std::fprintf(stderr, "drumdata: cannot open %s (%s); the drum parts are silent\n", path.c_str(),
                 std::strerror(errno));
    return missing ? DrumDataStatus::kMissing : DrumDataStatus::kUnreadable;
  }
  // Only a regular file has a size to trust (a folder opens, but its
  // "size" is meaningless).
  struct stat st {};
  if (::fstat(::fileno(file.get()), &st) != 0 || !S_ISREG(st.st_mode) || st.st_size < 0) {
    std::fprintf(stderr, "drumdata: cannot read %s; the drum parts are silent\n", path.c_str());
    return DrumDataStatus::kUnreadable;
  }
  const uint64_t size = static_cast<uint64_t>(st.st_size);
  const size_t count = static_cast<size_t>(size) / 2;
  std::vector<unsigned char> bytes(count * 2);
  const size_t got = count == 0 ? 0 : std::fread(bytes.data(), 2, count, file.get());
  data.words.resize(got);
  for (size_t i = 0; i < got; ++i) {
    data.words[i] = static_cast<uint16_t>((bytes[2 * i] << 8) | bytes[2 * i + 1]);
  }
  const size_t needed = drumDataRequiredSamples();
  if (got < needed) {
    std::fprintf(stderr, "drumdata: %s holds %zu of %zu samples; rows past its end are silent\n",
                 path.c_str(), got, needed);
    return got < count ? DrumDataStatus::kUnreadable : DrumDataStatus::kShort;
  }
  return DrumDataStatus::kLoaded;
}

DrumDataStatus loadDrumDataFromBundle(DrumData& data, std::string_view bundleDir) {
  return loadDrumData(data, bundleResourcePath("drumdata", "bin", bundleDir));
}

DrumData* createDrumData(std::string_view bundleDir) {
  auto data = std::make_unique<DrumData>();
  loadDrumDataFromBundle(*data, bundleDir);
  DrumData* created = data.release();
  delete gDrumData.exchange(created);
  return created;
}

void destroyDrumData() { delete gDrumData.exchange(nullptr); }

const DrumData* drumData() { return gDrumData.load(std::memory_order_acquire); }
